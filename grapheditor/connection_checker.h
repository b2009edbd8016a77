// The connection checker: for one submodel, a working record that pairs each
// bond and signal drawn to it with a port of its type and the elements it
// uses; what is unambiguous is connected automatically, and the whole is
// checked against the sizes. The model check runs it over every submodel.
#pragma once

#include "grapheditor/integer_expressions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Connection;
struct Pio;
struct Submodel;

/// Sizes, indices and ranges have at most this many dimensions.
inline constexpr int kMaxDimensions = 7;

/// Result codes of the record operations: 0 success, negative error, positive warning.
enum CheckResult : int { CHECK_OK = 0, CHECK_ERROR = -1, CHECK_MEMORY = -2, CHECK_USAGE = -4, CHECK_WARNING = 1 };

struct IndexRange {
    int low = 1;
    int high = 1;
};

/// One port of the submodel's type: power ports first, then inputs, then outputs.
struct PortSlot {
    const Pio* pio = nullptr;
    std::vector<int> size;
};

/// One bond or signal at the submodel, with what the record says about it.
struct ConnectionRow {
    Connection* connection = nullptr;
    int end = 0; ///< the connection's end at the submodel
    std::vector<int> size;
    ExprList instanceIndex;
    std::vector<IndexRange> submodelRanges;
    const Pio* port = nullptr; ///< the matched port of the type; null when none
    ExprList portIndex;
    std::vector<IndexRange> portRanges;
};

struct SubmodelConnections {
    Submodel* submodel = nullptr;
    std::vector<int> size;
    std::vector<ConnectionRow> rows;
    std::vector<PortSlot> ports;
    /// Where the last check found its fault: a row and a port index, -1 none.
    int faultRow = -1;
    int faultPort = -1;
    /// The text of the last check: "Submodel connected correctly" or "Error: " and the fault.
    std::string checkText;
};

/// The record of the submodel, or null with the reason in `text` (also a
/// warning such as unknown arguments stops the build).
std::unique_ptr<SubmodelConnections> build_connections(std::string& text, Submodel* submodel);

/// Evaluates the ranges and checks every port, then every row: 0, or -1 with
/// the fault in `checkText` and where it is in `faultRow`/`faultPort`.
int check_connections(SubmodelConnections& record, int report);

/// Connects the rows without a port where that is unambiguous; 1 when it connected any.
int auto_connect(SubmodelConnections& record);

/// Writes the rows back into the connection ends; a junction whose one power
/// port takes every bond gets the number of elements used as its argument.
void apply_connections(SubmodelConnections& record);

/// Whether the row's connection points into the submodel, or away from it (neither: undirected).
bool row_enters(const ConnectionRow& row);
bool row_leaves(const ConnectionRow& row);

/// 1 for the junction types "0j" and "1j" (library index 0 or 1).
int is_junction(const Submodel& submodel);

/// Gives a junction of one port array the size its bonds' port indices give that array (the
/// last element they use) as its one argument, also when the check finds other faults.
void set_junction_argument(SubmodelConnections& record);

/// The same for every junction of the current model with a bond: what it saves is what it has.
void update_junction_arguments();

/// The index of the port among the record's ports; -1 when none.
int port_slot_of(const SubmodelConnections& record, const Pio* port);

/// The type's PIO of that name; null when none.
const Pio* find_type_port(const SubmodelConnections& record, const std::string& name);

/// Checks and, where unambiguous, connects every submodel of the current model;
/// marks what is wrong: 0, or 2 after the status text that says what is marked.
int check_model();

/// Why the last model check marked the submodel, as the connection editor says it
/// ("Error: " and the first fault, or why its record could not be built); empty while
/// it carries no mark.
std::string marked_fault(const Submodel& submodel);
