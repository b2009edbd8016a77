// The graph editor's main window.
#include "grapheditor/program/main_window.h"

#include "grapheditor/program/editor_interaction.h"
#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/navigation.h"
#include "grapheditor/program/processing_handoff.h"
#include "grapheditor/program/selection.h"

#include "common/about_dialog.h"
#include "common/canvas_window.h"
#include "common/dialog_fonts.h"
#include "common/document_printing.h"
#include "common/launcher.h"
#include "common/message_boxes.h"
#include "common/name_chooser_dialog.h"
#include "common/property_dialogs.h"
#include "common/startup.h"
#include "grapheditor/drawing_layer.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/symbol_tables.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"
#include "platform/qt/artwork.h"
#include "platform/qt/help.h"
#include "platform/qt/printing.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QStatusBar>

#include <filesystem>

namespace {

/// The selection tool's part of the canvas's mouse handling.
void selectAt(int x, int y)
{
    platform::Point point = device_to_drawing(x, y);
    int px = point.x, py = point.y;
    void* object = nullptr;
    const int kind = hit_object(CurrentModel(), px, py, object);
    if (kind == 1)
        select_object(SELECT_SUBMODEL, object, 0);
    else if (kind == 2)
        select_object(SELECT_PIO, object, 0);
    else if (Connection* connection = hit_connection(CurrentModel(), point.x, point.y))
        select_object(SELECT_CONNECTION, connection, 0);
    else
        clear_selection();
}

/// The name the model is printed under.
std::string printedName()
{
    return Editor().modelName.empty() ? "untitled" : Editor().modelName;
}

/// Before the printer names a file, it is given one named after the model in the model's
/// folder; a folder the user prints to afterwards is kept.
void proposeFileBesideModel(QPrinter& printer)
{
    const std::string folder = ModelFolder();
    if (!printer.outputFileName().isEmpty() || folder.empty())
        return;
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(folder, error) / (printedName() + ".pdf");
    printer.setOutputFileName(QString::fromStdString(path.lexically_normal().string()));
}

} // namespace

WindowHooks& MainWindowHooks()
{
    static WindowHooks hooks{SelectOnCanvas, {}, {}, {}, {}, {}};
    return hooks;
}

void SelectOnCanvas(const platform::Message& message)
{
    const int x = platform::paramX(message.lParam), y = platform::paramY(message.lParam);
    switch (message.number) {
    case platform::WM_LBUTTONDOWN:
    case platform::WM_RBUTTONDOWN:
        selectAt(x, y);
        break;
    case platform::WM_RBUTTONDBLCLK: {
        selectAt(x, y);
        if (Submodel* submodel = selected_submodel()) {
            if (submodel->type)
                ShowSubmodel(*submodel->type, submodel->name);
        } else if (!has_selection()) {
            ShowParent();
        }
        break;
    }
    default:
        break;
    }
}

TQNBGEWindow::TQNBGEWindow(std::vector<std::string> words)
    : FrameWindow(SiblingTable[0].windowClass), m_words(std::move(words))
{
    setWindowTitle(QStringLiteral("Graph Editor"));
    platform::setWindowIcon(*this, "IC_QNBGE22", true);
    move(205, 40);
    resize(780, 560);
    setMenuDescription("MN_QNBGE", GraphEditorMenu());
    setToolBar(GraphEditorToolBar());
    setCommandHints(GraphEditorHints());
    setAccelerators(GraphEditorAccelerators());
    for (QMenu* menu : menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, [] { RefreshCommands(); });

    m_item805 = new QLabel(this);
    m_item805->setObjectName(QStringLiteral("id805"));
    m_snapItem = new QLabel(this);
    m_snapItem->setObjectName(QStringLiteral("id806"));
    m_snapItem->setMinimumWidth(m_snapItem->fontMetrics().horizontalAdvance(QStringLiteral("Snap to Grid")) + 8);
    setStatusText("");
    statusBar()->addPermanentWidget(m_item805);
    statusBar()->addPermanentWidget(m_snapItem);

    m_canvas = new TQNCanvas(this, "Canvas", true, PaintGraphCanvas);
    setCentralWidget(m_canvas);
    m_surface = std::make_unique<CanvasSurface>(*m_canvas);
    UseSymbolResources();
    gdi_setup(*m_surface);
    set_mapping();
    load_symbols();
    SetGraphView(&m_view);
    InstallEditorInteraction(m_canvas);
    m_messageActions = {OnProcessModel, OnProcessorExited, OnProcessingDone,
                        [](const std::string& name) { OpenAskedModel(name); },
                        [this] { settingsChanged(); }, OnProgramLaunched, OnProcessorStart};
    // A message that opens a box waits for the one being handled, also when that one's box has just closed.
    m_held.setOneAtATime(true);
}

TQNBGEWindow::~TQNBGEWindow()
{
    if (Editor().frame == this)
        Editor().frame = nullptr;
    RemoveEditorInteraction();
    clear_model();
    SetGraphView(nullptr);
    free_symbols();
    gdi_teardown();
    DeleteDialogFonts();
}

bool TQNBGEWindow::SetupWindow()
{
    startWindowTimer(StartupBoxTimerId, StartupBoxTimeoutMs);
    SetMessageOwner(handle());
    if (!ShowStartupBox() || !CreateAboutBox(m_canvas))
        return false;
    SetAboutBoxParent(m_canvas);
    SetPropertiesParent(m_canvas);
    Startup().StartupDirectory = platform::executableDirectory();
    if (!StartupSettings(m_words, 1, ShowConfirmLines))
        return false;
    InitEditor(*this);
    return true;
}

void TQNBGEWindow::setTitle(const std::string& title)
{
    setWindowTitle(QString::fromStdString(title));
}

void TQNBGEWindow::keepStatus(const std::string& text)
{
    clearPassingText();
    setStatusText(text);
}

void TQNBGEWindow::passStatus(const std::string& text)
{
    if (text.empty())
        clearPassingText();
    else
        showPassingText(text);
}

bool TQNBGEWindow::isMinimised() const
{
    return isMinimized();
}

CommandConditions TQNBGEWindow::commandConditions() const
{
    CommandConditions conditions;
    conditions.hasParent = HasParent() != 0;
    conditions.somethingSelected = has_selection() != 0;
    conditions.submodelSelected = selection_is_submodel() != 0;
    conditions.submodelShown = IsSubmodelShown() != 0;
    return conditions;
}

void TQNBGEWindow::applyCommandMask(std::uint32_t mask)
{
    const CommandConditions conditions = commandConditions();
    for (int position = 0; position < 8; ++position)
        enableMenuBarEntry(position, MenuBarEntryEnabled(position, mask, conditions));
    for (int id : EnabledCommandIds())
        enableCommand(id, CommandEnabled(id, mask, conditions));
}

void TQNBGEWindow::chooseModelName(const std::string& title, int category, ChosenNameCallback callback, int mode)
{
    ChooseModelName(m_canvas, title, category, std::move(callback), mode);
}

void TQNBGEWindow::setSnapText(const std::string& text)
{
    m_snapItem->setText(QString::fromStdString(text));
}

void TQNBGEWindow::repaintCanvas()
{
    invalidate_canvas();
    m_canvas->update();
}

void TQNBGEWindow::handleMessage(const platform::Message& message)
{
    m_held.take(message);
}

void TQNBGEWindow::actOnMessage(const platform::Message& message)
{
    if (HandleEditorMessage(message, m_messageActions)) {
        RefreshCommands();
        return;
    }
    switch (message.number) {
    case UM_STATUS_TEXT:
        if (message.text)
            ShowStatus(*message.text, 1);
        break;
    case platform::WM_LBUTTONDOWN:
    case platform::WM_LBUTTONUP:
    case platform::WM_LBUTTONDBLCLK:
    case platform::WM_RBUTTONDBLCLK:
    case platform::WM_MOUSEMOVE:
        if (MainWindowHooks().canvasMouse)
            MainWindowHooks().canvasMouse(message);
        break;
    case platform::WM_RBUTTONDOWN:
        // What is under the pointer is selected first, so that the pop-up works on it.
        if (MainWindowHooks().canvasMouse)
            MainWindowHooks().canvasMouse(message);
        if (!isMinimised())
            showCanvasPopup(platform::paramX(message.lParam), platform::paramY(message.lParam));
        break;
    case platform::WM_KEYDOWN:
    case platform::WM_KEYUP:
    case platform::WM_CHAR:
        if (MainWindowHooks().canvasKey)
            MainWindowHooks().canvasKey(message);
        break;
    default:
        break;
    }
    RefreshCommands();
}

void TQNBGEWindow::showCanvasPopup(int x, int y)
{
    const std::uint32_t mask = Editor().machine.mask();
    const CommandConditions conditions = commandConditions();
    std::vector<platform::MenuItem> items = CanvasPopupMenu();
    for (platform::MenuItem& item : items)
        item.grayed = !CommandEnabled(item.id, mask, conditions);
    popupMenu(items, m_canvas->mapToGlobal(QPoint(x, y)));
}

void TQNBGEWindow::handleCommand(int id)
{
    const std::string install = Startup().InstallDirectory;
    switch (id) {
    case CM_NEW_GRAPH:
        NewGraphCommand();
        break;
    case CM_NEW_WIZARD:
        LaunchProgram(1, std::nullopt, UM_NEW_WIZARD_MODEL);
        break;
    case CM_NEW_BLANK:
        LaunchProgram(1, std::nullopt, UM_NEW_BLANK_MODEL);
        break;
    case CM_OPEN:
        OpenCommand();
        break;
    case CM_SAVE:
    case CM_CHECK_SAVE:
        SaveCommand();
        break;
    case CM_SAVE_AS:
        SaveAsCommand();
        break;
    case CM_PRINT: {
        TQNBGEOut printout;
        printout.setDocumentName(printedName());
        proposeFileBesideModel(m_printer);
        PrintDocument(printout, m_printer, true, this);
        break;
    }
    case CM_PRINTER_SETUP:
        proposeFileBesideModel(m_printer);
        platform::setupPrinter(m_printer, this);
        break;
    case CM_EXPORT_METAFILE:
        export_drawing(1);
        break;
    case CM_EXPORT_CLIPBOARD:
        export_drawing(0);
        break;
    case CM_EXIT:
        close();
        break;
    case CM_REDRAW_ALL:
        layout_all(CurrentModel());
        repaintCanvas();
        ShowStatus("", 1);
        break;
    case CM_SHOW_PARENT:
        ShowParent();
        break;
    case CM_SHOW_SUBMODEL:
        if (Submodel* submodel = selected_submodel(); submodel && submodel->type)
            ShowSubmodel(*submodel->type, submodel->name);
        break;
    case CM_DELETE:
        deleteSelection();
        break;
    case CM_ATTRIBUTES:
        if (MainWindowHooks().attributes)
            MainWindowHooks().attributes();
        break;
    case CM_CONNECTIONS:
        if (MainWindowHooks().connections)
            MainWindowHooks().connections();
        break;
    case CM_DRAW_POPUP:
        if (MainWindowHooks().drawPopup)
            MainWindowHooks().drawPopup();
        break;
    case CM_MODEL_PROPERTIES:
        if (MainWindowHooks().modelProperties)
            MainWindowHooks().modelProperties();
        break;
    case CM_PROCESSOR_PROPERTIES:
        ShowModelProcessorProperties();
        break;
    case CM_TOOL_PROPERTIES:
        ShowGraphEditorProperties([] { return ApplyToolProperties(); });
        break;
    case CM_LIBRARY_PROPERTIES:
        ShowPathFinder([] {
            if (Hooks().refreshLibraryList)
                Hooks().refreshLibraryList();
        });
        break;
    case CM_CAUSAL_ANALYSIS:
        ProcessCommand(PROCESS_CAUSAL_ANALYSIS);
        break;
    case CM_COMPLETE_PROCESSING:
        ProcessCommand(PROCESS_COMPLETE);
        break;
    case CM_CCODE: {
        Submodel* submodel = selected_submodel();
        generate_c_code(submodel ? submodel->name : std::string());
        break;
    }
    case CM_SIMULATION:
        SimulationCommand();
        break;
    case CM_EQUATION_EDITOR:
        LaunchProgram(1, std::nullopt, 0);
        break;
    case CM_SIMULATOR:
        LaunchProgram(2, std::nullopt, 0);
        break;
    case CM_HELP_CONTENTS:
        showHelpFile(install + "/help/orvanta.hlp", platform::HELP_CONTEXT, 2);
        break;
    case CM_HELP_DEMO:
        showHelpFile(install + "/help/orvantadmo.hlp", platform::HELP_CONTENTS, 0);
        break;
    case CM_HELP_TUTORIAL:
        showHelpFile(install + "/tutorial/orvantatut.hlp", platform::HELP_CONTENTS, 0);
        break;
    case CM_HELP_USING:
        showHelpFile(install + "/help/orvanta.hlp", platform::HELP_HELPONHELP, 2);
        break;
    case CM_HELP_ABOUT:
        CreateAboutBox(m_canvas);
        ShowAboutBox("Orvanta  Graph Editor");
        break;
    default:
        // Undo, Cut, Copy, Paste and Ctrl+F4 do nothing.
        break;
    }
    if (id != CM_CHECK_SAVE)
        RestoreMessageOwner();
    RefreshCommands();
}

void TQNBGEWindow::deleteSelection()
{
    const int kind = selection_kind();
    void* object = selected_object();
    if (kind == SELECT_NONE)
        return;
    ClearAnnotation();
    clear_selection();
    static constexpr int kGuardAction[] = {0, 5, 6, 8};
    if (!View().editorGuard(kGuardAction[kind], object))
        return;
    GraphModel& model = CurrentModel();
    if (kind == SELECT_CONNECTION)
        delete_connection(model, static_cast<Connection*>(object));
    else if (kind == SELECT_SUBMODEL)
        delete_submodel(model, static_cast<Submodel*>(object));
    else
        delete_pio(model, static_cast<Pio*>(object));
    SetEdited();
}

void TQNBGEWindow::showHelpFile(const std::string& file, unsigned command, long data)
{
    m_helpUsed = true;
    m_lastHelpFile = file;
    platform::showHelp(handle(), file, command, data);
}

void TQNBGEWindow::handleTimer(int id)
{
    if (id != StartupBoxTimerId)
        return;
    killWindowTimer(id);
    CloseStartupBox();
}

void TQNBGEWindow::settingsChanged()
{
    StartupSettings(m_words, 1, ShowConfirmLines);
    if (Hooks().refreshLibraryList)
        Hooks().refreshLibraryList();
}

void TQNBGEWindow::closeEvent(QCloseEvent* event)
{
    CloseProcessor();
    if (CurrentModel().edited &&
        !ShowConfirm("Cancel, do NOT quit", "Discard edits, then Quit",
                     {"The model in the Bond-Graph Editor has been edited.", "Press OK to discard edits and quit,",
                      "or Cancel to go back and save the model."})) {
        event->ignore();
        return;
    }
    if (m_helpUsed)
        platform::showHelp(handle(), m_lastHelpFile, platform::HELP_QUIT, 0);
    FrameWindow::closeEvent(event);
}

void TQNBGEWindow::changeEvent(QEvent* event)
{
    FrameWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (isMinimized()) {
        HideProcessorLog();
    } else {
        repaintCanvas();
        ShowProcessorLog();
    }
    UpdateTitle(Editor().modelName);
}
