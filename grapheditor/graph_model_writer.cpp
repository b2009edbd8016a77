// The graph model file and argument file writers. The model processor and the
// editor's own reader read what is written here, so nothing is written that they
// would refuse: a model with an end that names no object is not saved at all.
#include "grapheditor/graph_model_writer.h"

#include "common/message_boxes.h"
#include "grapheditor/graph_model_scanner.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <cerrno>
#include <tuple>

void SplitModelName(const std::string& modelName, std::string& base, int& version)
{
    const std::string name = modelName.substr(0, 10);
    if (!name.empty() && name.back() >= '0' && name.back() <= '9') {
        version = name.back() - '0';
        base = name.substr(0, name.size() - 1);
    } else {
        version = 0;
        base = name;
    }
}

namespace {

/// The widest a group line grows before its next entry goes on a new line.
constexpr std::size_t kLastColumn = 74;

/// Coordinates are written as numbers without a sign.
std::string point(int x, int y)
{
    return " " + std::to_string(std::max(x, 0)) + " " + std::to_string(std::max(y, 0));
}

/// Writes one group: its header, then its entries separated by ", ", starting the
/// group again on a new line before an entry that would pass the last column.
void writeGroup(std::string& out, const std::string& header, const std::vector<std::string>& entries)
{
    if (entries.empty())
        return;
    const std::size_t startColumn = ((header.size() + 8) / 8 + 1) * 8;
    out += "\t" + header + "\t";
    std::size_t column = startColumn;
    bool first = true;
    for (const std::string& entry : entries) {
        if (!first) {
            if (column + 2 + entry.size() > kLastColumn) {
                out += "\n\t" + header + "\t";
                column = startColumn;
            } else {
                out += ", ";
                column += 2;
            }
        }
        out += entry;
        column += entry.size();
        first = false;
    }
    out += "\n";
}

const ExprList& writtenPioSize(const Pio& pio)
{
    return pio.attachments.empty() ? pio.size : pio.attachments.front().connection->size;
}

std::string pioEntry(const Pio& pio, int withGraphics)
{
    std::string entry = pio.name;
    const ExprList& size = writtenPioSize(pio);
    if (!size.empty())
        entry += "[" + ListText(size) + "]";
    // A PIO read without a point has none to write.
    if (withGraphics && !(pio.x == -1 && pio.y == -1))
        entry += point(pio.x, pio.y);
    return entry;
}

std::string submodelEntry(const Submodel& submodel, int withGraphics)
{
    std::string entry = submodel.name;
    if (!submodel.arguments.empty())
        entry += "(" + ListText(submodel.arguments) + ")";
    if (!submodel.size.empty())
        entry += "[" + ListText(submodel.size) + "]";
    if (withGraphics)
        entry += point(submodel.x, submodel.y) + (submodel.showName ? " !T" : " !F");
    return entry;
}

std::string endText(const Connection& connection, int e)
{
    const ConnectionEnd& end = connection.ends[e];
    if (end.objectKind == END_SUBMODEL) {
        std::string text = end.submodel->name;
        if (end.portName.empty())
            return text;
        if (!end.instanceIndex.empty())
            text += "[" + ListText(end.instanceIndex) + "]";
        text += "`" + end.portName;
        if (!end.portIndex.empty())
            text += "[" + ListText(end.portIndex) + "]";
        return text;
    }
    std::string text = end.pio->name;
    if (!connection.size.empty())
        text += "[" + std::string(connection.size.size() - 1, ',') + "]";
    return text;
}

std::string operatorText(const Connection& connection)
{
    const bool sized = !connection.size.empty();
    std::string text;
    if (connection.causality == 2)
        text += "|";
    if (connection.direction == 2)
        text += connection.isSignal ? ":" : "<";
    text += sized ? "=" : "-";
    if (sized)
        text += ListText(connection.size) + "=";
    if (connection.direction == 1)
        text += connection.isSignal ? ":" : ">";
    else if (connection.direction == 0 && !sized)
        text += "-";
    if (connection.causality == 1)
        text += "|";
    return text;
}

bool hasCutReference(const Connection& connection)
{
    if (ListHasCutReference(connection.size))
        return true;
    for (const ConnectionEnd& end : connection.ends)
        if (ListHasCutReference(end.instanceIndex) || ListHasCutReference(end.portIndex))
            return true;
    return false;
}

std::string describe(const Connection& connection)
{
    std::string text = connection.isSignal ? "A signal" : "A bond";
    for (const ConnectionEnd& end : connection.ends) {
        if (end.objectKind == END_SUBMODEL && end.submodel)
            return text + " at submodel " + end.submodel->name;
        if (end.objectKind == END_PIO && end.pio)
            return text + " at PIO " + end.pio->name;
    }
    return text;
}

/// Whether the text reads back as a new name (not a keyword, a number or several tokens).
bool readsAsName(const std::string& text)
{
    return SingleToken(text) == GT_IDENTIFIER;
}

} // namespace

std::vector<std::string> ModelFileProblems(const GraphModel& model)
{
    std::vector<std::string> problems;
    if (!model.name.empty() && !readsAsName(model.name))
        problems.push_back("The model name " + model.name + " is not a name the model file can hold.");
    for (const auto& argument : model.arguments)
        if (!argument->name.empty() && !readsAsName(argument->name))
            problems.push_back("Argument " + argument->name + " has a name the model file can not hold.");
    for (const SubmodelType& type : model.types)
        if (!readsAsName(type.name))
            for (const Submodel& submodel : model.submodels)
                if (submodel.type == &type) {
                    problems.push_back("Submodel type " + type.name + " has a name the model file can not hold.");
                    break;
                }
    for (const Connection& connection : model.connections) {
        for (const ConnectionEnd& end : connection.ends) {
            const bool known = (end.objectKind == END_SUBMODEL && end.submodel) ||
                               (end.objectKind == END_PIO && end.pio);
            if (!known) {
                problems.push_back(describe(connection) + " has an end without a submodel or PIO.");
                break;
            }
            if (end.objectKind == END_SUBMODEL && !end.portName.empty() &&
                SingleToken("`" + end.portName, true) != GT_PORT_WORD)
                problems.push_back(describe(connection) + " names the port " + end.portName +
                                   ", which the model file can not hold.");
        }
        if (hasCutReference(connection))
            problems.push_back(describe(connection) + " uses an argument that was deleted.");
    }
    for (const Submodel& submodel : model.submodels) {
        if (!readsAsName(submodel.name))
            problems.push_back(submodel.name.empty() ? "A submodel has no name."
                                                     : "Submodel " + submodel.name + " has a name the model file can not hold.");
        else if (ListHasCutReference(submodel.size) || ListHasCutReference(submodel.arguments))
            problems.push_back("Submodel " + submodel.name + " uses an argument that was deleted.");
    }
    for (const Pio& pio : model.pios) {
        if (!readsAsName(pio.name))
            problems.push_back(pio.name.empty() ? "A PIO has no name."
                                                : "PIO " + pio.name + " has a name the model file can not hold.");
        else if (ListHasCutReference(writtenPioSize(pio)))
            problems.push_back("PIO " + pio.name + " uses an argument that was deleted.");
    }
    return problems;
}

std::string GraphModelText(const GraphModel& model, int withGraphics)
{
    std::string out = "bond graph " + model.name;
    std::vector<std::string> arguments;
    for (const auto& argument : model.arguments)
        if (!argument->name.empty())
            arguments.push_back(argument->name);
    if (!arguments.empty()) {
        out += "(";
        for (std::size_t i = 0; i < arguments.size(); ++i)
            out += (i ? ", " : "") + arguments[i];
        out += ")";
    }
    out += " version " + std::to_string(model.version) + "\n";

    if (withGraphics) {
        int scrollX = model.scrollX;
        int scrollY = model.scrollY;
        if (&model == &CurrentModel())
            if (auto position = View().scrollPosition())
                std::tie(scrollX, scrollY) = *position;
        out += "\t!gri_main" + point(model.width, model.height) + point(scrollX, scrollY) + " \n";
    }

    if (!model.pios.empty()) {
        out += "interface\n";
        static const char* const headers[] = {"ports:", "inputs:  real", "outputs: real"};
        for (int kind = PIO_PORT; kind <= PIO_OUTPUT; ++kind) {
            std::vector<std::string> entries;
            for (const Pio& pio : model.pios)
                if (pio.kind == kind)
                    entries.push_back(pioEntry(pio, withGraphics));
            writeGroup(out, headers[kind], entries);
        }
    }

    if (!model.submodels.empty()) {
        out += "subclasses\n";
        for (const SubmodelType& type : model.types) {
            std::vector<std::string> entries;
            for (const Submodel& submodel : model.submodels)
                if (submodel.type == &type)
                    entries.push_back(submodelEntry(submodel, withGraphics));
            writeGroup(out, type.name.substr(0, 10) + ";" + std::to_string(type.version), entries);
        }
    }

    out += "connections\n";
    for (const Connection& connection : model.connections) {
        out += "\t" + endText(connection, 0) + "\t" + operatorText(connection) + " \t" + endText(connection, 1);
        if (withGraphics) {
            out += "\t!gri_bond" + point(connection.ends[0].anchorX, connection.ends[0].anchorY) +
                   point(connection.ends[1].anchorX, connection.ends[1].anchorY);
            for (const Midpoint& midpoint : connection.midpoints)
                out += point(midpoint.x, midpoint.y);
        }
        out += "\n";
    }
    return out;
}

int write_model_file(const std::string& path, const std::string& modelName, int withGraphics, GraphModel& model)
{
    SplitModelName(modelName, model.name, model.version);
    std::vector<std::string> problems = ModelFileProblems(model);
    if (model.name.empty())
        problems.insert(problems.begin(), "The model has no name.");
    if (!problems.empty()) {
        ShowMessage({"The model can not be saved:", problems.front(), "The file " + path + " is left as it was."});
        return 1;
    }
    int error = 0;
    if (!platform::writeFileAtomically(path, GraphModelText(model, withGraphics), &error)) {
        const bool writeFailure = error == ENOSPC || error == EIO || error == EDQUOT || error == EFBIG;
        if (writeFailure) {
            ShowMessage({"File write error."});
            return 1;
        }
        ShowMessage({"Can not open for writing:", path});
        return -1;
    }
    if (withGraphics)
        MarkEdited(model, 0);
    return 0;
}

int write_model_file(const std::string& path, const std::string& modelName, int withGraphics)
{
    return write_model_file(path, modelName, withGraphics, CurrentModel());
}

int write_argument_file(const std::string& path, const GraphModel& model)
{
    std::string text;
    for (const auto& argument : model.arguments)
        if (argument->hasValue && !argument->name.empty())
            text += argument->name + "\t" + std::to_string(argument->value) + "\n";
    if (text.empty()) {
        if (platform::fileExists(path))
            if (int error = platform::deleteFile(path)) {
                ShowMessage({"Error at deleting", path, "Errno = " + std::to_string(error) + "."});
                return -1;
            }
        return 0;
    }
    if (!platform::writeFileAtomically(path, text)) {
        ShowMessage({"Can not open argument file for writing:", path});
        return -1;
    }
    return 0;
}

int write_argument_file(const std::string& path)
{
    return write_argument_file(path, CurrentModel());
}
