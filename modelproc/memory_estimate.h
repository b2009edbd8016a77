// What processing a model will take, estimated from its sizes before anything is made for their
// elements: a model whose quantities are each within bounds can still need more memory than the
// process has, and is then refused at once rather than after it has taken all there is.
#pragma once

#include "modelproc/model_records.h"
#include "platform/core/memory_room.h"

#include <cstdint>
#include <string>

/// What the processing of one instance or of a whole model takes: the elements that the element
/// bounds count, the bytes, and the quantity of the most elements.
struct Footprint {
    std::int64_t elements = 0;
    std::int64_t bytes = 0;
    std::string largest; ///< "variable x1[1048576] of submodel big1:b"; empty for none
    std::int64_t largestElements = 0;

    /// Adds the other's elements and bytes (the sums kept at the largest count) and keeps the
    /// larger of the two largest quantities.
    void add(const Footprint& other);
    /// Counts a quantity of `elements` elements named `name`.
    void addQuantity(const std::string& name, std::int64_t elements, std::int64_t bytesPerElement);
};

/// The bytes processing takes for each element of a declared quantity (its variables, their
/// flags and indices in the processed files), for each element of a bond or signal connection
/// (its records through the causal analysis), for each scalar equation and for each node of one
/// (its tree, its reshaped and sorted forms and its text in the code and equation files). Measured
/// on models of many large arrays and rounded up, so that a model the estimate passes fits.
inline constexpr std::int64_t kBytesPerQuantityElement = 40;
inline constexpr std::int64_t kBytesPerConnectionElement = 256;
inline constexpr std::int64_t kBytesPerEquation = 256;
inline constexpr std::int64_t kBytesPerEquationNode = 64;

/// The bytes of the equation's scalar equations in an instance array of `copies` elements: one
/// for each element of its widest name reference, each of its nodes (a name with one node for each
/// of its indices).
std::int64_t equationBytes(const EquationRec* eq, std::int64_t copies);

/// The address space processing maps for `bytes` of memory: twice what it fills, since the heap
/// keeps room it has given back and tables grow by doubling, and a fixed part for the records'
/// arenas and the helper threads. Measured with the memory as above, on the same models and on
/// chains of many small submodels, whose address space runs furthest ahead of their memory.
std::uint64_t addressSpaceFor(std::int64_t bytes);

/// Empty when the model's memory fits the physical memory the process may fill and its address
/// space fits what the process's limit leaves it; else "the model needs about %s of memory to be
/// processed, more than the %s of the machine's physical memory; its largest quantity is %s, of
/// %lld elements." (or of the memory of its control group) or "the model needs about %s of memory
/// to be processed and %s of address space, more than the %s the process's address-space limit
/// leaves it; its largest quantity is ...".
std::string MemoryRefusal(const Footprint& model, const platform::MemoryRoom& room);
