// Show Submodel and Show Parent over the chain of parents, the hand-off to the
// other programs through the editor's own main window, and the C-code module.
#include "grapheditor/program/navigation.h"

#include "grapheditor/program/editor_frame.h"
#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/processing_handoff.h"

#include "common/code_generator_module.h"
#include "common/message_boxes.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"

namespace {

std::vector<ParentFrame> g_chain;

std::string orNoName(const std::string& name)
{
    return name.empty() ? "No Name" : name;
}

} // namespace

std::vector<ParentFrame>& ParentChain()
{
    return g_chain;
}

void ForgetParentChain()
{
    g_chain.clear();
    RefreshCommands();
}

int HasParent()
{
    return g_chain.empty() ? 0 : 1;
}

int IsSubmodelShown()
{
    return ModelHasPios();
}

void ShowParent()
{
    if (g_chain.empty()) {
        if (IsSubmodelShown())
            ShowStatus("Parent of current submodel " + Editor().modelName + " unknown.", 1);
        else
            ShowStatus("Already at toplevel model.", 1);
        return;
    }
    ClearAnnotation();
    const ParentFrame frame = g_chain.back();
    const std::string shown = Editor().modelName;
    std::optional<std::string> parent;
    if (!frame.parentName.empty())
        parent = frame.parentName;
    if (parent && ModelHeldElsewhere(*parent)) {
        // The way back stays, for when the other editor has let the parent go.
    } else if (OpenModelAnywhere(parent)) {
        ShowStatus("Returned to parent " + orNoName(frame.parentName) + " of submodel " + shown + ".", 1);
        g_chain.pop_back();
    } else {
        ShowStatus("Could not open parent " + orNoName(frame.parentName) + ".", 1);
    }
    SendEditorEvent(EVENT_CHANGED);
}

void ShowSubmodel(const SubmodelType& type, const std::string& instanceName)
{
    const std::string target = type.name + std::to_string(type.version);
    if (type.isEquationModel == 1) {
        ClearAnnotation();
        if (post_to_main_window(1, target))
            ShowStatus("Opened Equation Editor with submodel " + target + ".", 1);
        SendEditorEvent(EVENT_CHANGED);
        return;
    }
    ParentFrame frame;
    frame.version = CurrentModel().version;
    if (!Editor().modelName.empty()) {
        frame.parentName = Editor().modelName;
        frame.submodelName = instanceName;
    }
    ClearAnnotation();
    if (ModelHeldElsewhere(target)) {
        // Shown in the editor that holds it; this one stays where it is.
    } else if (OpenModelAnywhere(target)) {
        g_chain.push_back(frame);
        ShowStatus("Opened submodel " + target + " of parent " + orNoName(frame.parentName) + ".", 1);
    } else {
        ShowStatus("Could not open submodel " + target + ".", 1);
    }
    SendEditorEvent(EVENT_CHANGED);
}

int TopModelName(std::string& name)
{
    if (!g_chain.empty()) {
        name = g_chain.front().parentName;
        return 1;
    }
    if (IsSubmodelShown()) {
        name.clear();
        return 0;
    }
    name = Editor().modelName;
    return 1;
}

void SubmodelPath(std::string& topModel, std::string& path, const std::string& lastName)
{
    TopModelName(topModel);
    path.clear();
    for (const ParentFrame& frame : g_chain)
        path += frame.submodelName + "`";
    path += lastName;
}

void generate_c_code(const std::string& selectedName)
{
    std::string top, path;
    SubmodelPath(top, path, selectedName);
    Editor().ccodeSelection = selectedName;
    if (!RequestCCode(top))
        return;
    ContinueCCodeGeneration(selectedName);
}

void ContinueCCodeGeneration(const std::string& selectedName)
{
    std::string top, path;
    SubmodelPath(top, path, selectedName);
    const std::string directory = FirstModelDirectory();
    const std::string model = top.empty() || directory.empty() ? top : directory + "/" + top;
    RunCodeGenerator(model.c_str(), nullptr, path.c_str());
    RestoreMessageOwner();
}

std::string ProcessedModelName()
{
    return Editor().modelName;
}

int StartSimulator()
{
    const std::string name = ProcessedModelName();
    if (!post_to_main_window(2, name))
        return 0;
    ShowStatus("Opened Simulator with model " + name + ".", 1);
    SendEditorEvent(EVENT_CHANGED);
    return 1;
}

int post_to_main_window(int program, const std::string& name)
{
    // Our own window, never one found by its class: another editor's would get the answers.
    EditorFrame* frame = Editor().frame;
    const platform::WindowHandle window = frame ? frame->mainWindowHandle() : 0;
    if (window == 0 || !platform::isWindow(window)) {
        ShowMessage({"Could not connect to Orvanta Main Window.", "Check if the Orvanta applications",
                     "are still accessible."});
        ShowStatus("Could not open submodel " + name + ".", 1);
        return 0;
    }
    std::string tail;
    if (program == 3)
        tail = " -cmpnt " + std::to_string(window);
    tail += " -model " + name;
    return platform::postMessage(window, UM_LAUNCH, program, 0, tail) ? 1 : 0;
}
