// Memory backed by the system's large pages where it has them. A big model is millions of records
// walked all over its memory; with 2 MB pages the processor finds the place of each page it
// touches without the misses that millions of 4 KB pages cost, and the system maps them at a
// fraction of the work.
#pragma once

#include <cstddef>

namespace platform {

/// The size of one large page.
constexpr std::size_t kLargePageSize = std::size_t(2) << 20;

/// Whether the system backs memory with large pages where a program asks for them.
bool largePagesOnRequest();

/// `size` bytes, a whole number of large pages, laid at a large-page bound and asked to be backed
/// by large pages, each made present when first touched; null when the system refuses them. They
/// are given back with `unmapLargePages(memory, size)`, which first drops what `populateAhead`
/// still has to do in them and waits for what it is doing there.
void* mapLargePages(std::size_t size);
void unmapLargePages(void* memory, std::size_t size);

/// Has helper threads make the pages the `size` bytes at `memory` lie in present ahead of their
/// first use while the caller goes on, one large page at a time. On a big model the system's
/// clearing of fresh pages is a good part of the work, and another processor does it meanwhile.
/// A request: the memory serves as well without it. The bytes are part of a mapping of
/// `mapLargePages`, whose giving back drops what is still to do there, or a block of the heap:
/// making pages present changes no byte, and pages of a block freed meanwhile are made present
/// only while they are mapped.
void populateAhead(void* memory, std::size_t size);

/// Blocks the C library maps on their own, each given back to the system when freed. Smaller
/// blocks, the many mid-sized tables of a big model's phases, stay in the heap: mapping each of
/// them anew costs more time than the heap room they would give back.
constexpr std::size_t kSeparateBlockSize = std::size_t(4) << 20;

/// Has the C library map every block of `kSeparateBlockSize` or more on its own, and keep to that
/// size. By default it raises the size each time such a block is freed, up to 32 MB: once a big
/// model's file or tables have come and gone, the next ones are laid in the heap, whose freed
/// room stays with the program. A program that processes big models calls it first in `main`.
void mapLargeBlocksApart();

} // namespace platform
