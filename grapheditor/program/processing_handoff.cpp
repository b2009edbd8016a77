// The processing request, the processor's log window, the result messages and
// the causality read back from the processed model.
#include "grapheditor/program/processing_handoff.h"

#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/navigation.h"

#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/processing_results.h"
#include "common/processor_run.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/graph_view.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <array>
#include <vector>

namespace {

ProcessorRun g_processor;
bool g_annotationPresent = false;
bool g_processed = false;

struct TypeRenaming {
    const char* oldName;
    int oldVersion;
    const char* newName;
    int newVersion;
};
constexpr std::array<TypeRenaming, 3> kTypeRenaming = {{
    {"Se", 1, "se", 1},
    {"sum", 1, "plus", 1},
    {"sub", 1, "minus", 1},
}};

struct PortRenaming {
    const char* typeName;
    int typeVersion;
    const char* oldPort;
    const char* newPort;
};
constexpr std::array<PortRenaming, 2> kPortRenaming = {{
    {"c", 1, "state", "outp"},
    {"i", 1, "state", "outp"},
}};

int clampCommand(int command)
{
    return command < PROCESS_CHECK ? PROCESS_CHECK : command > PROCESS_COMPLETE ? PROCESS_COMPLETE : command;
}

std::string withName(const char* format, const std::string& text)
{
    std::string out = format;
    const std::size_t at = out.find("%s");
    if (at != std::string::npos)
        out.replace(at, 2, text);
    return out;
}

const std::string& endName(const ConnectionEnd& end)
{
    static const std::string none;
    if (end.objectKind == END_SUBMODEL && end.submodel)
        return end.submodel->name;
    if (end.objectKind == END_PIO && end.pio)
        return end.pio->name;
    return none;
}

} // namespace

const char* ProcessingCommandName(int command)
{
    return ProcessingCommandText(command);
}

int StartProcessing(int command, bool saveFirst)
{
    command = clampCommand(command);
    const std::string name = ProcessingCommandName(command);
    ClearAnnotation();
    GraphEditorState& editor = Editor();
    if (saveFirst) {
        if (ModelHasPios()) {
            ShowMessage({withName("%s can not be performed on submodels.", name),
                         "Load the corresponding main model and try again."});
            return 0;
        }
        if (Hooks().checkConnections && Hooks().checkConnections() > 0) {
            ShowMessage({"There are errors in the model.", withName("%s could not be performed.", name)});
            return 0;
        }
        if (editor.modelName.empty()) {
            // The request comes again once the model is saved under the name the user gives.
            editor.commandAfterCheckAndSave = command;
            return CheckAndSave() == 1 ? -1 : 0;
        }
        if (CheckAndSave() != 1)
            return 0;
    }
    editor.commandAfterCheckAndSave = 0;
    std::string tail = editor.modelName;
    if (command == PROCESS_CAUSAL_ANALYSIS)
        tail += " -causal_analysis";
    const int posted = post_to_main_window(3, tail);
    if (posted)
        g_processor.startPosted();
    return posted;
}

void ClearAnnotation()
{
    g_processed = false;
    if (!g_annotationPresent)
        return;
    for (Connection& connection : CurrentModel().connections)
        connection.computedCausality = 0;
    View().redrawAll();
    g_annotationPresent = false;
}

bool AnnotationPresent()
{
    return g_annotationPresent;
}

bool ModelProcessed()
{
    return g_processed;
}

int ShowProcessingResult(int result, platform::WindowHandle logWindow)
{
    SetProcessorLogWindow(logWindow);
    g_processed = false;
    const ProcessingResultMeaning meaning = MeaningOfProcessingResult(result);
    int success = 0;
    if (!meaning.success) {
        ShowProcessingFailure(meaning.text);
    } else if (result == 3) {
        ShowStatus(meaning.text, 1);
        // With the temporary files kept, the drawing shows the causality of what was processed.
        if (Settings().tempfiles)
            read_processed_file();
        g_processed = !Settings().tempfiles || g_annotationPresent;
        success = g_processed ? 1 : 0;
    } else {
        if (result == 2)
            read_processed_file();
        ShowStatus(meaning.text, 1);
        success = 1;
    }
    if (!IsProcessorLogClosed())
        ShowProcessorLog();
    SendEditorEvent(EVENT_CHANGED);
    return success;
}

void read_processed_file()
{
    const std::string path = SetBaseDirectory(Startup().WorkingDirectory) + Editor().modelName + ".t2";
    if (!platform::fileExists(path)) {
        ShowMessage({"Can not open for reading:", path});
        return;
    }
    GraphModel processed;
    std::string error;
    ReaderRenaming().loading = true;
    const int parsed = parse_model_file(path, READ_ALL, processed, &error);
    ReaderRenaming().loading = false;
    if (parsed == -2) {
        ShowMessage({"Can not open for reading:", path});
        return;
    }
    if (parsed != 0) {
        ShowMessage({"There are errors in the processed file.", path, error, "Further processing is not possible."});
        return;
    }
    AnnotateFromProcessed(processed);
    View().redrawAll();
}

bool SameEndName(const std::string& a, const std::string& b)
{
    return a.substr(0, a.find('\'')) == b.substr(0, b.find('\''));
}

int AnnotateFromProcessed(GraphModel& processed)
{
    // Signals, and bonds within one object (its parts carry the object's name), show no causality.
    std::vector<const Connection*> candidates;
    for (const Connection& bond : processed.connections)
        if (!bond.isSignal && !SameEndName(endName(bond.ends[0]), endName(bond.ends[1])))
            candidates.push_back(&bond);

    for (Connection& bond : CurrentModel().connections) {
        if (bond.isSignal)
            continue;
        const std::string& name0 = endName(bond.ends[0]);
        const std::string& name1 = endName(bond.ends[1]);
        std::size_t found = candidates.size();
        bool crossed = false;
        int matches = 0;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const std::string& other0 = endName(candidates[i]->ends[0]);
            const std::string& other1 = endName(candidates[i]->ends[1]);
            const bool straight = SameEndName(name0, other0) && SameEndName(name1, other1);
            const bool cross = SameEndName(name0, other1) && SameEndName(name1, other0);
            if (straight || cross) {
                ++matches;
                found = i;
                crossed = !straight;
            }
        }
        if (matches != 1)
            continue;
        // The stroke's end is counted from end 0: a bond matched the other way round has it at the other end.
        const int causality = candidates[found]->causality;
        bond.computedCausality = crossed ? FlipCausality(causality) : causality;
        candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(found));
    }
    g_annotationPresent = true;
    return 1;
}

platform::WindowHandle ProcessorLogWindow()
{
    return g_processor.log().window();
}

void SetProcessorLogWindow(platform::WindowHandle window)
{
    g_processor.log().set(window);
}

void CloseProcessorLog()
{
    g_processor.log().close();
}

void HideProcessorLog()
{
    g_processor.log().hide();
}

void ShowProcessorLog()
{
    g_processor.log().show();
}

int IsProcessorLogClosed()
{
    return g_processor.log().closed() ? 1 : 0;
}

ProcessorRun& Processor()
{
    return g_processor;
}

void ProcessorLaunched(pid_t pid)
{
    g_processor.started(pid);
}

int IsProcessorOpen()
{
    return g_processor.busy() ? 1 : 0;
}

void CloseProcessor()
{
    g_processor.askToEnd();
}

void ForgetProcessor()
{
    g_processor.forget();
}

bool RenameOldType(std::string& name, int& version)
{
    for (const TypeRenaming& row : kTypeRenaming)
        if (name == row.oldName && version == row.oldVersion) {
            name = row.newName;
            version = row.newVersion;
            return true;
        }
    return false;
}

bool RenameOldPort(const SubmodelType& type, std::string& port)
{
    for (const PortRenaming& row : kPortRenaming)
        if (type.name == row.typeName && type.version == row.typeVersion && port == row.oldPort) {
            port = row.newPort;
            return true;
        }
    return false;
}

void InstallRenaming()
{
    ModelFileRenaming& renaming = ReaderRenaming();
    renaming.renameType = RenameOldType;
    renaming.renamePort = RenameOldPort;
}
