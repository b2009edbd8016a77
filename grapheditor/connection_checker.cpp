// The connection checker and the automatic connection of unambiguous ports.
#include "grapheditor/connection_checker.h"

#include "common/model_file_rules.h"
#include "grapheditor/drawing_layer.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/submodel_types.h"

#include <algorithm>
#include <functional>
#include <map>

namespace {

/// What the last model check found wrong with each submodel it marked.
std::map<const Submodel*, std::string>& markedFaults()
{
    static std::map<const Submodel*, std::string> faults;
    return faults;
}

/// Puts a context in front of what was said so far.
void prepend(std::string& text, const std::string& piece)
{
    text = piece + text;
}

std::string cut(const std::string& text, std::size_t n)
{
    return text.substr(0, n);
}

bool enters(const ConnectionRow& row)
{
    return row_enters(row);
}

bool leaves(const ConnectionRow& row)
{
    return row_leaves(row);
}

bool isSignal(const ConnectionRow& row)
{
    return row.connection->isSignal != 0;
}

/// Evaluates a size list into values; an error names the item.
int evaluateSizes(std::string& text, std::vector<int>& out, const ExprList& list, const Submodel* instance)
{
    out.clear();
    if (list.size() > static_cast<std::size_t>(kMaxDimensions)) {
        text = "more than " + std::to_string(kMaxDimensions) + " dimensions";
        return CHECK_ERROR;
    }
    for (const ExprPtr& item : list) {
        int value = 0;
        std::string error;
        const int code = instance ? EvaluateForInstance(error, value, item.get(), *instance)
                                  : Evaluate(error, value, item.get());
        if (code != 0) {
            text = error;
            return CHECK_ERROR;
        }
        if (value < 0) {
            text = "size < 0";
            return CHECK_ERROR;
        }
        out.push_back(value);
    }
    return CHECK_OK;
}

/// The ranges of an index list against sizes: an item not given is 1..size.
int evaluateRanges(std::string& text, std::vector<IndexRange>& out, const ExprList& list,
                   const std::vector<int>& sizes)
{
    out.clear();
    const std::size_t count = list.empty() ? sizes.size() : list.size();
    if (count > static_cast<std::size_t>(kMaxDimensions)) {
        text = "more than " + std::to_string(kMaxDimensions) + " ranges";
        return CHECK_ERROR;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const Expr* item = i < list.size() ? list[i].get() : nullptr;
        IndexRange range;
        if (!item) {
            range.high = i < sizes.size() ? sizes[i] : 1;
        } else {
            std::string error;
            if (EvaluateRange(error, range.low, range.high, item) != 0) {
                text = error;
                return CHECK_ERROR;
            }
            // Elements count from 1: a range from 0 or below would reach before the first.
            if (range.low < 1) {
                text = "range starts below 1";
                return CHECK_ERROR;
            }
        }
        out.push_back(range);
    }
    return CHECK_OK;
}

/// The product of the sizes in 64 bits; false when it passes what one quantity may have, as the
/// model processor counts the elements of a port of an instance array.
bool elementCount(const std::vector<int>& a, const std::vector<int>& b, std::int64_t& n)
{
    n = 1;
    for (const std::vector<int>* sizes : {&a, &b}) {
        for (int s : *sizes) {
            n *= s;
            if (n > elementBounds().quantity)
                return false;
        }
    }
    return true;
}

/// The one power port of a junction whose bonds all share it; null for a
/// junction of several named power ports.
const PortSlot* junctionArrayPort(const SubmodelConnections& record)
{
    const PortSlot* found = nullptr;
    for (const PortSlot& slot : record.ports) {
        if (slot.pio->kind != PIO_PORT)
            continue;
        if (found)
            return nullptr;
        found = &slot;
    }
    return found;
}

bool singleArrayJunction(const SubmodelConnections& record)
{
    return is_junction(*record.submodel) && junctionArrayPort(record) != nullptr;
}

PortSlot* slotOf(SubmodelConnections& record, const Pio* port)
{
    for (PortSlot& slot : record.ports)
        if (slot.pio == port)
            return &slot;
    return nullptr;
}

/// Range evaluation of every row; a junction's power port gets the size its rows use.
int evaluateAllRanges(SubmodelConnections& record, std::string& text, int& faultRow)
{
    const bool junction = is_junction(*record.submodel);
    int largest = 0;
    for (std::size_t r = 0; r < record.rows.size(); ++r) {
        ConnectionRow& row = record.rows[r];
        faultRow = static_cast<int>(r);
        if (evaluateRanges(text, row.submodelRanges, row.instanceIndex, record.size) != CHECK_OK) {
            prepend(text, "submodel index: ");
            return CHECK_ERROR;
        }
        row.portRanges.clear();
        if (!row.port)
            continue;
        PortSlot* slot = slotOf(record, row.port);
        static const std::vector<int> none;
        if (evaluateRanges(text, row.portRanges, row.portIndex, slot ? slot->size : none) != CHECK_OK) {
            prepend(text, "PIO index: ");
            return CHECK_ERROR;
        }
        if (junction && row.port->kind == PIO_PORT && singleArrayJunction(record)) {
            if (row.portRanges.empty()) {
                text = "no power-port-usage index";
                return CHECK_ERROR;
            }
            largest = std::max(largest, row.portRanges.front().high);
        }
    }
    faultRow = -1;
    if (junction && singleArrayJunction(record)) {
        for (auto slot = record.ports.rbegin(); slot != record.ports.rend(); ++slot) {
            if (slot->pio->kind == PIO_PORT) {
                slot->size = {largest};
                break;
            }
        }
    }
    return CHECK_OK;
}

/// The index of the element the ranges point at, last dimension fastest.
void countElements(const std::vector<IndexRange>& ranges, const std::vector<int>& sizes,
                   const std::function<bool(std::int64_t)>& visit)
{
    std::vector<int> at;
    for (const IndexRange& r : ranges)
        at.push_back(r.low);
    for (;;) {
        std::int64_t index = 0;
        for (std::size_t i = 0; i < at.size(); ++i)
            index = index * sizes[i] + (at[i] - 1);
        if (!visit(index))
            return;
        std::size_t d = at.size();
        while (d > 0) {
            --d;
            if (at[d] < ranges[d].high) {
                ++at[d];
                break;
            }
            at[d] = ranges[d].low;
            if (d == 0)
                return;
        }
        if (at.empty())
            return;
    }
}

int checkRanges(std::string& text, const std::vector<IndexRange>& ranges, const std::vector<int>& sizes)
{
    if (ranges.size() < sizes.size()) {
        text = "not enough ranges";
        return CHECK_ERROR;
    }
    if (ranges.size() > sizes.size()) {
        text = "too many ranges";
        return CHECK_ERROR;
    }
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (ranges[i].high > sizes[i]) {
            text = "range exceeds size";
            return CHECK_ERROR;
        }
    }
    return CHECK_OK;
}

/// The names as a sentence lists them: "p", "p and m", "p1, p2 and p3".
std::string listedNames(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return text;
}

/// What to do when elements of the port `slot` are left unused: give the ports no connection
/// uses the bonds or signals drawn to the submodel that have no port yet, or draw them some;
/// or, with every port used, let the index ranges cover the whole port.
std::string unusedPortAdvice(const SubmodelConnections& record, const PortSlot& slot)
{
    std::vector<std::string> unused;
    bool wantsSignal = false;
    for (const PortSlot& port : record.ports) {
        const bool used = std::any_of(record.rows.begin(), record.rows.end(),
                                      [&](const ConnectionRow& row) { return row.port == port.pio; });
        if (port.pio->kind == PIO_OUTPUT || used)
            continue;
        unused.push_back(port.pio->name);
        wantsSignal = wantsSignal || port.pio->kind == PIO_INPUT;
    }
    std::size_t signals = 0, bonds = 0;
    for (const ConnectionRow& row : record.rows)
        if (!row.port)
            ++(isSignal(row) ? signals : bonds);
    if (unused.empty())
        return "; let the index ranges in Connections cover all of " + slot.pio->name;
    if (signals + bonds == 0)
        return std::string("; draw ") + (unused.size() == 1 ? "a " : "") + (wantsSignal ? "signal" : "bond") +
               (unused.size() == 1 ? "" : "s") + " to " + listedNames(unused);
    const std::string what = bonds == 0 ? (signals == 1 ? "signal" : "signals")
                             : signals == 0 ? (bonds == 1 ? "bond" : "bonds")
                                            : "bonds and signals";
    return "; assign the " + what + " to " + listedNames(unused) + " in Connections";
}

int checkPorts(SubmodelConnections& record, std::string& text)
{
    for (std::size_t p = 0; p < record.ports.size(); ++p) {
        const PortSlot& slot = record.ports[p];
        record.faultPort = static_cast<int>(p);
        const bool output = slot.pio->kind == PIO_OUTPUT;
        std::int64_t n = 0;
        if (!elementCount(record.size, slot.size, n)) {
            text = "more than " + std::to_string(elementBounds().quantity) + " elements";
            return CHECK_ERROR;
        }
        if (n == 0) {
            text = "(part of) selected PIO not used";
            return CHECK_ERROR;
        }
        std::vector<int> all = record.size;
        all.insert(all.end(), slot.size.begin(), slot.size.end());
        std::vector<unsigned char> used(static_cast<std::size_t>(n), 0);
        for (std::size_t r = 0; r < record.rows.size(); ++r) {
            const ConnectionRow& row = record.rows[r];
            if (row.port != slot.pio)
                continue;
            record.faultRow = static_cast<int>(r);
            if (checkRanges(text, row.submodelRanges, record.size) != CHECK_OK) {
                prepend(text, "submodel index: ");
                return CHECK_ERROR;
            }
            if (checkRanges(text, row.portRanges, slot.size) != CHECK_OK) {
                prepend(text, "PIO index: ");
                return CHECK_ERROR;
            }
            std::vector<IndexRange> ranges = row.submodelRanges;
            ranges.insert(ranges.end(), row.portRanges.begin(), row.portRanges.end());
            bool twice = false;
            countElements(ranges, all, [&](std::int64_t index) {
                if (index < 0 || index >= n)
                    return true;
                if (used[std::size_t(index)] && !output)
                    twice = true;
                used[std::size_t(index)] = 1;
                return !twice;
            });
            if (twice) {
                text = "(part of) selected PIO used more than once";
                return CHECK_ERROR;
            }
        }
        record.faultRow = -1;
        if (!output && std::find(used.begin(), used.end(), 0) != used.end()) {
            text = "(part of) selected PIO not used" + unusedPortAdvice(record, slot);
            return CHECK_ERROR;
        }
    }
    record.faultPort = -1;
    return CHECK_OK;
}

/// The widths of the ranges against the connection's sizes.
bool widthsMatch(const ConnectionRow& row)
{
    std::size_t c = 0;
    for (const std::vector<IndexRange>* list : {&row.submodelRanges, &row.portRanges}) {
        for (const IndexRange& r : *list) {
            const int width = r.high - r.low + 1;
            if (c < row.size.size()) {
                if (width != row.size[c])
                    return false;
                ++c;
            } else if (width != 1) {
                return false;
            }
        }
    }
    for (; c < row.size.size(); ++c)
        if (row.size[c] != 1)
            return false;
    return true;
}

int checkRows(SubmodelConnections& record, std::string& text)
{
    for (std::size_t r = 0; r < record.rows.size(); ++r) {
        const ConnectionRow& row = record.rows[r];
        record.faultRow = static_cast<int>(r);
        record.faultPort = -1;
        if (!row.port) {
            text = "bond not connected";
            return CHECK_ERROR;
        }
        record.faultPort = port_slot_of(record, row.port);
        const int kind = row.port->kind;
        if (kind != PIO_PORT && !isSignal(row)) {
            text = "power bond to input or output port";
            return CHECK_ERROR;
        }
        if (kind == PIO_INPUT && leaves(row)) {
            text = "output signal to input port";
            return CHECK_ERROR;
        }
        if (kind == PIO_OUTPUT && enters(row)) {
            text = "input signal to output port";
            return CHECK_ERROR;
        }
        if (kind == PIO_PORT && isSignal(row)) {
            text = "signal to power port";
            return CHECK_ERROR;
        }
        if (kind == PIO_PORT && ((row.port->orientation == 2 && leaves(row)) ||
                                 (row.port->orientation == 1 && enters(row)))) {
            text = "wrong bond orientation for power port";
            return CHECK_ERROR;
        }
        if (!widthsMatch(row)) {
            text = "range width not equal to size";
            return CHECK_ERROR;
        }
    }
    record.faultRow = record.faultPort = -1;
    return CHECK_OK;
}

// ---------------------------------------------------------------------------------------------
// Automatic connection

bool portUsed(const SubmodelConnections& record, const PortSlot& slot)
{
    if (slot.pio->kind == PIO_OUTPUT)
        return false;
    return std::any_of(record.rows.begin(), record.rows.end(),
                       [&](const ConnectionRow& row) { return row.port == slot.pio; });
}

/// The connection's size expressions, for the full ranges a connection gets.
const Expr* connectionSizeExpr(const ConnectionRow& row, std::size_t dimension)
{
    const ExprList& size = row.connection->size;
    return dimension < size.size() ? size[dimension].get() : nullptr;
}

ExprPtr fullRange(const ConnectionRow& row, std::size_t dimension)
{
    const Expr* high = connectionSizeExpr(row, dimension);
    return MakeOperator(EXPR_RANGE, MakeConstant(1), high ? CopyExpr(high) : MakeConstant(1));
}

/// Whether the sizes fit: the submodel's dimensions take the connection's
/// leading ones (or are 1 past them), the port's the following ones, and any
/// connection dimensions left are 1.
bool sizesFit(const SubmodelConnections& record, const ConnectionRow& row, const PortSlot& slot)
{
    std::size_t c = 0;
    for (const std::vector<int>* sizes : {&record.size, &slot.size}) {
        for (int s : *sizes) {
            if (c < row.size.size()) {
                if (s != row.size[c])
                    return false;
                ++c;
            } else if (s != 1) {
                return false;
            }
        }
    }
    for (; c < row.size.size(); ++c)
        if (row.size[c] != 1)
            return false;
    return true;
}

void connectRow(SubmodelConnections& record, ConnectionRow& row, const PortSlot& slot)
{
    row.port = slot.pio;
    row.instanceIndex.clear();
    row.portIndex.clear();
    std::size_t c = 0;
    for (std::size_t i = 0; i < record.size.size(); ++i, ++c)
        row.instanceIndex.push_back(fullRange(row, c));
    for (std::size_t i = 0; i < slot.size.size(); ++i, ++c)
        row.portIndex.push_back(fullRange(row, c));
}

bool tryConnect(SubmodelConnections& record, ConnectionRow* row, const PortSlot* slot)
{
    if (!row || !slot || !sizesFit(record, *row, *slot))
        return false;
    connectRow(record, *row, *slot);
    return true;
}

struct Unconnected {
    std::vector<ConnectionRow*> bondsIn, bondsOut, bondsFree, signalsIn, signalsOut;
    std::vector<const PortSlot*> portsOut, portsIn, portsFree, inputs, outputs;
};

Unconnected sortUnconnected(SubmodelConnections& record)
{
    Unconnected u;
    for (ConnectionRow& row : record.rows) {
        if (row.port)
            continue;
        if (isSignal(row)) {
            if (enters(row))
                u.signalsIn.push_back(&row);
            else if (leaves(row))
                u.signalsOut.push_back(&row);
        } else {
            (enters(row) ? u.bondsIn : leaves(row) ? u.bondsOut : u.bondsFree).push_back(&row);
        }
    }
    for (const PortSlot& slot : record.ports) {
        if (portUsed(record, slot))
            continue;
        if (slot.pio->kind == PIO_PORT)
            (slot.pio->orientation == 1 ? u.portsOut : slot.pio->orientation == 2 ? u.portsIn : u.portsFree)
                .push_back(&slot);
        else
            (slot.pio->kind == PIO_INPUT ? u.inputs : u.outputs).push_back(&slot);
    }
    return u;
}

template <class T>
T* onlyOne(const std::vector<T*>& list)
{
    return list.size() == 1 ? list.front() : nullptr;
}

/// Pairs the i-th row with the i-th port when there are as many of each.
bool pairInOrder(SubmodelConnections& record, const std::vector<ConnectionRow*>& rows,
                 const std::vector<const PortSlot*>& ports)
{
    if (rows.empty() || rows.size() != ports.size())
        return false;
    // Attachments are kept newest first: the pairs follow the order of drawing.
    std::vector<ConnectionRow*> drawn = rows;
    std::sort(drawn.begin(), drawn.end(),
              [](const ConnectionRow* a, const ConnectionRow* b) { return a->connection->id < b->connection->id; });
    bool any = false;
    for (std::size_t i = 0; i < drawn.size(); ++i)
        any |= tryConnect(record, drawn[i], ports[i]);
    return any;
}

/// A junction of one power port: every bond on it, each after the elements used so far.
bool connectArrayJunction(SubmodelConnections& record)
{
    const PortSlot* port = junctionArrayPort(record);
    int next = 1;
    for (ConnectionRow& row : record.rows) {
        if (row.port != port->pio || row.portIndex.empty())
            continue;
        std::string error;
        int low = 0, high = 0;
        if (EvaluateRange(error, low, high, row.portIndex.front().get()) == 0)
            next = std::max(next, high + 1);
    }
    // Attachments are kept newest first: the bonds are numbered in the order of drawing.
    std::vector<ConnectionRow*> drawn;
    for (ConnectionRow& row : record.rows)
        drawn.push_back(&row);
    std::sort(drawn.begin(), drawn.end(),
              [](const ConnectionRow* a, const ConnectionRow* b) { return a->connection->id < b->connection->id; });
    bool any = false;
    for (ConnectionRow* each : drawn) {
        ConnectionRow& row = *each;
        if (row.port || isSignal(row))
            continue;
        const int width = row.size.empty() ? 1 : std::max(row.size.front(), 1);
        row.port = port->pio;
        row.instanceIndex.clear();
        row.portIndex.clear();
        row.portIndex.push_back(width == 1 ? MakeConstant(next)
                                           : MakeOperator(EXPR_RANGE, MakeConstant(next),
                                                          MakeConstant(next + width - 1)));
        next += width;
        any = true;
    }
    return any;
}

} // namespace

bool row_enters(const ConnectionRow& row)
{
    const int d = row.connection->direction;
    return (d == 1 && row.end == 1) || (d == 2 && row.end == 0);
}

bool row_leaves(const ConnectionRow& row)
{
    const int d = row.connection->direction;
    return (d == 1 && row.end == 0) || (d == 2 && row.end == 1);
}

int is_junction(const Submodel& submodel)
{
    return is_junction_type(submodel.type);
}

int port_slot_of(const SubmodelConnections& record, const Pio* port)
{
    for (std::size_t i = 0; i < record.ports.size(); ++i)
        if (record.ports[i].pio == port)
            return static_cast<int>(i);
    return -1;
}

const Pio* find_type_port(const SubmodelConnections& record, const std::string& name)
{
    for (const PortSlot& slot : record.ports)
        if (slot.pio->name == name)
            return slot.pio;
    return nullptr;
}

std::unique_ptr<SubmodelConnections> build_connections(std::string& text, Submodel* submodel)
{
    text.clear();
    if (!submodel || !submodel->type) {
        text = "<error in datastructure submodel>";
        return nullptr;
    }
    const std::string context = "Can not connect " + cut(submodel->name, 20) + ": ";
    SubmodelType* type = submodel->type;
    const int read = read_submodel_type(type, 1);
    if (read != 0 || !type->interface) {
        switch (read) {
        case -1: text = "submodel description not found"; break;
        case -2: text = ParserErrorText(); break;
        case -3: text = "memory allocation failure"; break;
        case -4: text = "conflict with Connection Editor"; break;
        default: break;
        }
        prepend(text, context);
        return nullptr;
    }
    const GraphModel& interface = *type->interface;
    if (!is_junction(*submodel)) {
        if (submodel->arguments.size() > interface.arguments.size()) {
            text = context + "too many arguments declared";
            return nullptr;
        }
        if (submodel->arguments.size() < interface.arguments.size()) {
            text = context + "unknown argument(s)";
            return nullptr;
        }
    }
    if (interface.pios.empty()) {
        text = context + "no PIOs in submodel found";
        return nullptr;
    }
    if (submodel->attachments.empty()) {
        text = context + "no bond or signal to submodel found";
        return nullptr;
    }
    auto record = std::make_unique<SubmodelConnections>();
    record->submodel = submodel;
    for (int kind : {PIO_PORT, PIO_INPUT, PIO_OUTPUT})
        for (const Pio& pio : interface.pios)
            if (pio.kind == kind)
                record->ports.push_back({&pio, {}});
    for (const Attachment& a : submodel->attachments) {
        ConnectionRow row;
        row.connection = a.connection;
        row.end = a.end;
        const ConnectionEnd& end = a.connection->ends[a.end];
        row.instanceIndex = CopyList(end.instanceIndex);
        row.portIndex = CopyList(end.portIndex);
        if (!end.portName.empty())
            row.port = find_type_port(*record, end.portName);
        record->rows.push_back(std::move(row));
    }
    std::string error;
    if (evaluateSizes(error, record->size, submodel->size, nullptr) != CHECK_OK) {
        text = context + "size of submodel " + cut(submodel->name, 12) + ": " + error;
        return nullptr;
    }
    const bool junction = is_junction(*submodel);
    for (PortSlot& slot : record->ports) {
        if (junction && slot.pio->kind == PIO_PORT)
            continue;
        if (evaluateSizes(error, slot.size, slot.pio->size, submodel) != CHECK_OK) {
            text = context + "size of PIO " + cut(slot.pio->name, 16) + ": " + error;
            return nullptr;
        }
    }
    for (ConnectionRow& row : record->rows) {
        if (evaluateSizes(error, row.size, row.connection->size, nullptr) != CHECK_OK) {
            text = context + "size of bond: " + error;
            return nullptr;
        }
    }
    return record;
}

int check_connections(SubmodelConnections& record, int report)
{
    std::string text;
    record.faultRow = record.faultPort = -1;
    int result = evaluateAllRanges(record, text, record.faultRow);
    if (result == CHECK_OK)
        result = checkPorts(record, text);
    if (result == CHECK_OK)
        result = checkRows(record, text);
    record.checkText = result == CHECK_OK ? "Submodel connected correctly" : "Error: " + text;
    (void)report;
    return result == CHECK_OK ? 0 : -1;
}

int auto_connect(SubmodelConnections& record)
{
    bool any = false;
    Unconnected u = sortUnconnected(record);
    if (is_junction(*record.submodel) && junctionArrayPort(record)) {
        any = connectArrayJunction(record);
    } else if (is_junction(*record.submodel)) {
        // A junction of several named power ports: its bonds in drawing order.
        any |= pairInOrder(record, u.bondsIn, u.portsIn);
        any |= pairInOrder(record, u.bondsOut, u.portsOut);
        u = sortUnconnected(record);
        any |= pairInOrder(record, u.bondsFree, u.portsFree);
    } else {
        any |= tryConnect(record, onlyOne(u.bondsOut), onlyOne(u.portsOut));
        u = sortUnconnected(record);
        any |= tryConnect(record, onlyOne(u.bondsFree), onlyOne(u.portsOut));
        u = sortUnconnected(record);
        any |= tryConnect(record, onlyOne(u.bondsIn), onlyOne(u.portsIn));
        u = sortUnconnected(record);
        any |= tryConnect(record, onlyOne(u.bondsFree), onlyOne(u.portsIn));
        u = sortUnconnected(record);
        const std::size_t bonds = u.bondsIn.size() + u.bondsOut.size() + u.bondsFree.size();
        if (u.portsFree.size() == 1 && bonds == 1) {
            ConnectionRow* row = !u.bondsIn.empty() ? u.bondsIn.front()
                                 : !u.bondsOut.empty() ? u.bondsOut.front() : u.bondsFree.front();
            any |= tryConnect(record, row, u.portsFree.front());
        }
    }
    u = sortUnconnected(record);
    any |= tryConnect(record, onlyOne(u.signalsIn), onlyOne(u.inputs));
    u = sortUnconnected(record);
    if (u.outputs.size() == 1)
        for (ConnectionRow* row : u.signalsOut)
            any |= tryConnect(record, row, u.outputs.front());
    const std::string& name = record.submodel->type->name;
    if (name == "plus" || name == "mul") {
        u = sortUnconnected(record);
        any |= pairInOrder(record, u.signalsIn, u.inputs);
    }
    return any ? 1 : 0;
}

void apply_connections(SubmodelConnections& record)
{
    for (ConnectionRow& row : record.rows) {
        ConnectionEnd& end = row.connection->ends[row.end];
        end.instanceIndex = CopyList(row.instanceIndex);
        end.portName = row.port ? row.port->name : std::string();
        end.portIndex = CopyList(row.portIndex);
    }
    set_junction_argument(record);
}

void set_junction_argument(SubmodelConnections& record)
{
    if (!singleArrayJunction(record))
        return;
    std::string text;
    int faultRow = -1;
    if (evaluateAllRanges(record, text, faultRow) != CHECK_OK)
        return;
    const PortSlot* port = junctionArrayPort(record);
    const int size = port && !port->size.empty() ? port->size.front() : 0;
    ExprList& arguments = record.submodel->arguments;
    int value = 0;
    std::string error;
    if (arguments.size() == 1 && Evaluate(error, value, arguments.front().get()) == 0 && value == size)
        return;
    arguments.clear();
    arguments.push_back(MakeConstant(size));
}

void update_junction_arguments()
{
    for (Submodel& submodel : CurrentModel().submodels) {
        if (!is_junction(submodel) || submodel.attachments.empty())
            continue;
        std::string text;
        if (std::unique_ptr<SubmodelConnections> record = build_connections(text, &submodel))
            set_junction_argument(*record);
    }
}

std::string marked_fault(const Submodel& submodel)
{
    if (!submodel.errorMark)
        return {};
    const auto found = markedFaults().find(&submodel);
    return found == markedFaults().end() ? std::string() : found->second;
}

int check_model()
{
    GraphModel& model = CurrentModel();
    Submodel* lastMarked = nullptr;
    bool markedVisible = false;
    markedFaults().clear();
    for (Submodel& submodel : model.submodels) {
        std::string text;
        std::unique_ptr<SubmodelConnections> record = build_connections(text, &submodel);
        bool wrong = !record;
        if (record) {
            const int connected = auto_connect(*record);
            wrong = check_connections(*record, 0) != 0;
            text = record->checkText;
            if (connected) {
                // A summation point shows the signs of the inputs it was just given.
                const bool signs = submodel.type && is_sum_type(submodel.type->name);
                if (signs)
                    View().drawSubmodel(submodel, 0);
                apply_connections(*record);
                if (signs)
                    View().drawSubmodel(submodel, 1);
            } else {
                // Applied connections give a junction its argument; unchanged ones need it all the same.
                set_junction_argument(*record);
            }
        }
        SetSubmodelErrorMark(submodel, wrong ? 1 : 0);
        if (wrong) {
            markedFaults()[&submodel] = text;
            lastMarked = &submodel;
            markedVisible = markedVisible || is_visible(submodel.x, submodel.y);
        }
    }
    if (lastMarked) {
        if (!markedVisible)
            centre_on(lastMarked->x, lastMarked->y);
        View().showStatus("The submodels displayed with an 'X' have errors in connections and/or attributes.", 1);
        return 2;
    }
    View().showStatus("", 1);
    Pio* lastPio = nullptr;
    bool pioVisible = false;
    for (Pio& pio : model.pios) {
        const bool unconnected = pio.attachments.empty();
        SetPioErrorMark(pio, unconnected ? 1 : 0);
        if (unconnected) {
            lastPio = &pio;
            pioVisible = pioVisible || is_visible(pio.x, pio.y);
        }
    }
    if (!lastPio) {
        View().showStatus("Connections and attributes O.K.", 1);
        return 0;
    }
    if (!pioVisible)
        centre_on(lastPio->x, lastPio->y);
    View().showStatus("The PIOs displayed with an 'X' are not connected.", 1);
    return 2;
}
