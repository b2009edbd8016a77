// The simulator's main window and application. Commands reach one function from the
// menus, the tool bar, the pop-up menu, the accelerator and the command messages; a
// run advances only in idle turns, so every command acts between two chunks.
#include "simulator/program/simulator_window.h"

#include "simulator/program/experiment_printout.h"
#include "simulator/program/simulator_menus.h"

#include "common/about_dialog.h"
#include "common/dialog_fonts.h"
#include "common/document_printing.h"
#include "common/launcher.h"
#include "common/log_window.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/name_chooser.h"
#include "common/name_chooser_dialog.h"
#include "common/property_dialogs.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_messages.h"
#include "platform/qt/artwork.h"
#include "platform/qt/application.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/help.h"
#include "platform/qt/printing.h"
#include "simulator/experiment_description.h"
#include "simulator/experiment_editors.h"
#include "simulator/multiple_run_dialog.h"
#include "simulator/numeric_values_dialog.h"
#include "simulator/output_specs_dialog.h"
#include "simulator/value_editor_dialogs.h"
#include "simulator/numerics/optimization.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_canvas.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_export.h"
#include "simulator/run_control.h"
#include "simulator/run_specs_dialog.h"
#include "simulator/run_state.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"
#include "simulator/user_libraries.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPrinter>
#include <QScreen>
#include <QTimer>

#include <QSocketNotifier>
#include <QStatusBar>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <csignal>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

namespace {

TQNSIMApp* g_app = nullptr;

DescriptionSections sectionsOf(const std::array<int, 5>& flags)
{
    return {flags[0] != 0, flags[1] != 0, flags[2] != 0, flags[3] != 0, flags[4] != 0};
}

/// The window handle the start-up's -cmpnt named; 0 when none.
platform::WindowHandle notifyWindow()
{
    return static_cast<platform::WindowHandle>(Startup().NotifyWindowHandle);
}

/// Posts the lines of every box to the window that drives the simulator, then shows the
/// box as the sink it replaces does.
class BoxForwarder : public platform::MessageSink {
public:
    BoxForwarder(platform::WindowHandle driver, platform::MessageSink* shown) : m_driver(driver), m_shown(shown) {}
    ~BoxForwarder() override
    {
        if (platform::installedMessageSink() == this)
            platform::setMessageSink(m_shown);
    }
    platform::BoxAnswer show(const platform::MessageBoxRequest& box) override
    {
        std::string text;
        for (const std::string& line : box.lines)
            text += (text.empty() ? "" : "\n") + line;
        if (platform::isWindow(m_driver))
            platform::postMessage(m_driver, SM_BOX_TEXT, 0, 0, text);
        return (m_shown ? *m_shown : m_standardError).show(box);
    }

private:
    platform::WindowHandle m_driver;
    platform::MessageSink* m_shown;
    platform::StderrMessageSink m_standardError;
};

/// A run that a command or message requested starts at the next idle turn.
void resumeRuns()
{
    if (StartRequested)
        if (auto* application = platform::Application::instance())
            application->resumeIdleWork();
}

} // namespace

TQNSIMWindow::TQNSIMWindow()
    : FrameWindow("TQNSIMWindow"), m_held([this](const platform::Message& message) { dispatchMessage(message); }),
      m_clock([] { return std::time(nullptr); })
{
    setWindowTitle(QStringLiteral("Simulator"));
    platform::setWindowIcon(*this, "IC_QNSIM22", true);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->availableGeometry();
        setGeometry(desktop.left() + 75, desktop.top() + 75, std::max(desktop.width() - 150, 400),
                    std::max(desktop.height() - 150, 300));
    }
    m_canvas = new PlotCanvas(this);
    setCentralWidget(m_canvas);
    // The plot shows the plot specs, so every run checks them before it starts.
    PlotSpecsInForce = 1;
    setMenuDescription("MN_QNSIM", SimulatorMenu());
    setToolBar(SimulatorToolBar());
    setAccelerators({{"F1", CM_HELP_CONTENTS}});
    setStatusText("");
    m_held.setStopped([] { return QuitRequested != 0; });
}

TQNSIMWindow::~TQNSIMWindow()
{
    if (!m_lastHelpFile.empty())
        platform::showHelp(handle(), m_lastHelpFile, platform::HELP_QUIT, 0);
    WindowHooks() = {};
    SetStatusFunction({});
    SetRunPump({});
    PlotSpecsInForce = 0;
    delete m_canvas;
    m_canvas = nullptr;
    ResetPlot();
    DeleteDialogFonts();
}

QPrinter& TQNSIMWindow::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

bool TQNSIMWindow::SetupWindow(const std::vector<std::string>& words)
{
    m_words = words;
    SetMessageOwner(handle());
    if (!CreateAboutBox(this)) {
        ShowMessage({"Error Creating the main window"});
        return false;
    }
    SetAboutBoxParent(this);
    SetPropertiesParent(this);
    SetLogOwner(this);
    GetDialogFont();
    m_programDirectory = platform::executableDirectory();
    if (Startup().StartupDirectory.empty())
        Startup().StartupDirectory = m_programDirectory;
    if (!StartupSettings(m_words, 1, ShowConfirmLines))
        return false;
    // The other programs hand their models to this simulator, unless it serves the window that started it.
    if (notifyWindow() == 0)
        PublishProgramState(handle(), std::string());
    if (notifyWindow() != 0) {
        m_boxForwarder = std::make_unique<BoxForwarder>(notifyWindow(), platform::installedMessageSink());
        platform::setMessageSink(m_boxForwarder.get());
    }

    // The editors and the plot are told of the state machine's changes through the window.
    WindowHooks().applyMask = [this](std::uint32_t mask) { applyMask(mask); };
    WindowHooks().setTitle = [this](const std::string& title) {
        m_title = title;
        showTitle();
        ShowExperimentEditorTitles();
    };
    WindowHooks().refreshEditors = [] {
        RefreshRunSpecsEditor();
        RefreshExperimentEditors();
    };
    WindowHooks().unappliedEdits = ExperimentEditorsHoldUnappliedEdits;
    WindowHooks().waitSeconds = [this](int seconds) {
        // The status line is painted before the program holds, so that it can be read.
        statusBar()->repaint();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
    };
    WireExperimentEditors(this);
    SetStatusFunction([this](const std::string& text, bool keep) { showStatus(text, keep); });
    WireRunEngine();
    ApplySimulatorSettings();
    PostSimulatorEvent(EventStartupDone);
    if (!Startup().StartupModelName.empty() && !Startup().WorkingDirectory.empty())
        LoadModel(Startup().WorkingDirectory, Startup().StartupModelName);
    return true;
}

void TQNSIMWindow::applyMask(std::uint32_t mask)
{
    for (const CommandRow& row : SimulatorCommands())
        enableCommand(row.id, CommandEnabled(row.id, mask));
    for (std::size_t position = 0; position < MenuBarBits.size(); ++position)
        enableMenuBarEntry(int(position), (mask >> MenuBarBits[position] & 1u) != 0);
}

void TQNSIMWindow::showStatus(const std::string& text, bool keep)
{
    if (keep) {
        if (!text.empty())
            AppendLog(text);
        m_keptStatus = text;
    }
    setStatusText(!keep && text.empty() ? m_keptStatus : text);
    if (!text.empty() && notifyWindow() != 0 && platform::isWindow(notifyWindow()))
        platform::postMessage(notifyWindow(), UM_STATUS_TEXT, 0, 0, text);
}

void TQNSIMWindow::showTitle()
{
    const ExperimentRecord& e = Experiment();
    if (isMinimized())
        setWindowTitle(QString::fromStdString((ExperimentEdited ? ">" : "") +
                                              (e.modelName.empty() ? std::string("untitled") : e.modelName)));
    else
        setWindowTitle(QString::fromStdString(m_title.empty() ? TitleText() : m_title));
}

void TQNSIMWindow::changeEvent(QEvent* event)
{
    FrameWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        showTitle();
}

std::string TQNSIMWindow::commandHint(int id) const { return CommandHintText(id); }

void TQNSIMWindow::handleCommand(int id)
{
    runCommand(id);
}

void TQNSIMWindow::handleMessage(const platform::Message& message)
{
    m_held.take(message);
}

void TQNSIMWindow::dispatchMessage(const platform::Message& message)
{
    const platform::MessageNumber n = message.number;
    if (n >= SM_COMMAND_BASE && n < SM_COMMAND_BASE + 0x8000) {
        // A command message does what the menu does, and nothing while the menu greys it:
        // the state a greyed command would start from (a run going on) is one it cannot handle.
        const int id = int(n - SM_COMMAND_BASE);
        if (CommandEnabled(id, CommandMask))
            runCommand(id);
        return;
    }
    switch (n) {
    case UM_OPEN_MODEL:
        if (message.text && !message.text->empty())
            openModelWhenIdle(*message.text);
        break;
    case UM_SETTINGS_CHANGED:
        StartupSettings(m_words, 1, ShowConfirmLines);
        if (!Simulating)
            ApplyPlotSettings();
        break;
    case UM_LAUNCH:
        LaunchProgram(int(message.wParam), message.text, 0);
        break;
    case platform::WM_RBUTTONDOWN:
        if (!isMinimized())
            popupMenu(SimulatorPopupMenu(CommandMask),
                      m_canvas->mapToGlobal(QPoint(platform::paramX(message.lParam), platform::paramY(message.lParam))));
        break;
    case SM_OPEN_EXPERIMENT:
        // The name follows the rules of the chooser's names and stays in the model's folder; it is
        // loaded once a run in progress has ended.
        if (message.text && !Experiment().modelName.empty()) {
            const std::string name = AcceptGivenExperimentName(*message.text);
            if (!name.empty())
                whenIdle([this, name] {
                    if (!Experiment().modelName.empty() &&
                        LoadExperiment(PrepareExperimentDirectory(Experiment().modelName), name))
                        showStatus("Experiment " + name + " is loaded.", false);
                }, true);
        }
        break;
    case SM_SAVE_PLOT_PICTURE:
        // A bare name: the picture goes into the model's folder.
        if (message.text)
            savePlotPicture(*message.text);
        break;
    default:
        break;
    }
    resumeRuns();
}

void TQNSIMWindow::runCommand(int id)
{
    const std::string& model = Experiment().modelName;
    switch (id) {
    case CM_OPEN_MODEL:
        // The chooser stays open while the user goes on: a run may have started meanwhile.
        ChooseModelName(this, "Open model", 5, [this](const std::string& directory, const std::string& name) {
            whenIdle([directory, name] { LoadModel(directory, name); }, true);
        }, 0);
        break;
    case CM_OPEN_EXPERIMENT:
        ChooseExperimentName(this, "Open experiment of", model, [this](const std::string& directory,
                                                                       const std::string& name) {
            whenIdle([directory, name] { LoadExperiment(directory, name); }, true);
        }, 0);
        break;
    case CM_SAVE_EXPERIMENT:
        if (!Experiment().experimentDirectory.empty() && !Experiment().experimentName.empty())
            SaveExperiment(Experiment().experimentDirectory, Experiment().experimentName);
        else
            saveExperimentAs();
        break;
    case CM_SAVE_EXPERIMENT_AS:
        saveExperimentAs();
        break;
    case CM_PRINTER_SETUP:
        platform::setupPrinter(printer(), this);
        break;
    case CM_PRINT_SIMULATION:
        printSimulation();
        break;
    case CM_PRINT_EXPERIMENT:
        printExperiment();
        break;
    case CM_SIM_TO_METAFILE:
        CopySimulationToMetafile(1);
        break;
    case CM_SIM_TO_CLIPBOARD:
        CopySimulationToMetafile(0);
        break;
    case CM_EXPERIMENT_TO_CLIPBOARD:
        experimentToClipboard();
        break;
    case CM_SIM_EXIT:
        close();
        break;
    case CM_REDRAW:
        RedrawCommand();
        break;
    case CM_PLOT_REFRESH:
        PlotRefreshCommand();
        break;
    case CM_SQUARE_PLOT: {
        const std::string label = SquarePlotCommand();
        setCommandText(CM_SQUARE_PLOT, label == "Maximal Plot" ? "&Maximal Plot" : "&Square Plot");
        break;
    }
    case CM_MESSAGES:
        ShowLog("SIM: Integration Messages");
        break;
    case CM_TOOL_PROPS:
        ShowSimulatorProperties(ApplySimulatorSettings);
        break;
    case CM_LIBRARY_PROPS:
        ShowPathFinder(CopyDirectoriesFromSettings);
        break;
    case CM_RUN_SPECS:
        OpenRunSpecsEditor(this);
        break;
    case CM_PARAMETERS:
        ShowParametersEditor();
        break;
    case CM_INITIAL_CONDITIONS:
        ShowInitialConditionsEditor();
        break;
    case CM_PLOT_SPECS:
        OpenOutputSpecsEditor();
        break;
    case CM_NUMERICAL_VALUES:
        ShowNumericValues();
        break;
    case CM_MULTIPLE_RUN_SPECS:
        OpenMultipleRunEditor();
        break;
    case CM_START_SIMULATION:
        StartSimulationCommand();
        break;
    case CM_CONTINUE_SIMULATION:
        ContinueSimulationCommand();
        break;
    case CM_START_MULTIPLE_RUN:
        StartMultipleRunCommand();
        break;
    case CM_READ_DATAFILE:
        ReadDataCommand();
        break;
    case CM_CLEAR_LAST_RUN:
        ClearLastRunCommand();
        break;
    case CM_CLEAR_PREVIOUS_RUNS:
        ClearPreviousRunsCommand();
        break;
    case CM_CLEAR_ALL_RUNS:
        ClearAllRunsCommand();
        break;
    case CM_DISTRIBUTE_CURVES:
        DistributeCurves();
        break;
    case CM_CCODE:
        GenerateCCode();
        break;
    case CM_INTERRUPT:
        InterruptCommand();
        break;
    case CM_GRAPH_EDITOR:
    case CM_EQUATION_EDITOR:
        platform::postMessage(handle(), UM_LAUNCH, id == CM_GRAPH_EDITOR ? 0 : 1, 0, std::string());
        break;
    case CM_HELP_CONTENTS:
        help("/help/orvanta.hlp", platform::HELP_CONTEXT, 5);
        break;
    case CM_HELP_DEMO_MODELS:
        help("/help/orvantadmo.hlp", platform::HELP_CONTENTS, 0);
        break;
    case CM_HELP_TUTORIAL:
        help("/tutorial/orvantatut.hlp", platform::HELP_CONTENTS, 0);
        break;
    case CM_HELP_USING:
        help("/help/orvanta.hlp", platform::HELP_HELPONHELP, 5);
        break;
    case CM_ABOUT:
        ShowAboutBox("Orvanta  Simulator");
        break;
    default:
        // Camera and stick commands do nothing; the other editors' dialogs are not part of this window.
        break;
    }
    resumeRuns();
}

void TQNSIMWindow::whenIdle(std::function<void()> action, bool stopRuns)
{
    if (!Simulating && !StartRequested && !MultipleRunActive()) {
        action();
        return;
    }
    // The tables and files of a run are not replaced under it: the run and its series are
    // stopped as Interrupt stops them, or left to end, and the action follows.
    if (stopRuns) {
        StartRequested = 0;
        InterruptRequested = 1;
        if (MultipleRuns().stop)
            MultipleRuns().stop();
    }
    QTimer::singleShot(20, this, [this, action = std::move(action), stopRuns]() mutable {
        if (!QuitRequested)
            whenIdle(std::move(action), stopRuns);
    });
}

void TQNSIMWindow::openModelWhenIdle(const std::string& model)
{
    // The model open, handed over again as it is: its experiment, edits and runs stay, and a
    // run goes on. Changed, it is loaded again with the experiment open.
    if (LoadedModelIsCurrent(Startup().WorkingDirectory, model)) {
        ShowStatus("Model " + Experiment().modelName + " is open.", false);
        return;
    }
    whenIdle([model] { ReloadModel(Startup().WorkingDirectory, model); }, true);
}

void TQNSIMWindow::saveExperimentAs()
{
    const std::string model = Experiment().modelName;
    ChooseExperimentName(this, "Save experiment of", model, [this, model](const std::string& directory,
                                                                          const std::string& name) {
        if (ConfirmExperimentOverwrite(directory, model, name, ShowConfirmLines) != 0) {
            ShowStatus("Experiment not saved!", true);
            return;
        }
        // A run that started meanwhile ends first; the experiment is saved as it then is.
        whenIdle([directory, name] { SaveExperiment(directory, name); }, false);
    }, 0);
}

void TQNSIMWindow::help(const std::string& file, unsigned command, long data)
{
    // The installation directory is the program's own directory, as the editors find their help.
    m_lastHelpFile = Startup().InstallDirectory + file;
    platform::showHelp(handle(), m_lastHelpFile, command, data);
}

void TQNSIMWindow::printSimulation()
{
    if (m_canvas->print(printer(), true, PrinterCheckFlag() == 0, Experiment().modelName))
        ShowStatus("Simulation result is sent to the printer.", true);
}

void TQNSIMWindow::printExperiment()
{
    std::array<int, 5> flags{};
    TQNPrintExpDialog sections(this, "Orvanta: Print Experiment", &flags);
    if (sections.runModal() != platform::IDOK)
        return;
    ExperimentPrintout printout(WriteExperimentDescription(sectionsOf(flags), m_clock()));
    printout.setDocumentName(Experiment().modelName);
    if (PrintDocument(printout, printer(), true, this))
        ShowStatus("Experiment is sent to the printer.", true);
}

void TQNSIMWindow::experimentToClipboard()
{
    std::array<int, 5> flags{};
    TQNPrintExpDialog sections(this, "Orvanta: Export Experiment", &flags);
    if (sections.runModal() != platform::IDOK)
        return;
    const std::string text = DescriptionClipboardText(WriteExperimentDescription(sectionsOf(flags), m_clock()));
    if (!platform::putOnClipboard(platform::textItems(text))) {
        ShowMessage({"Error: Could not get control of the clipboard", "since it is used by another program."});
        ShowStatus("Error: Clipboard in use.", true);
        return;
    }
    ShowStatus("Experiment is copied to the clipboard.", true);
}

void TQNSIMWindow::savePlotPicture(const std::string& given)
{
    // The picture is a file of the model's folder, named as its experiments are: a name with a
    // path is refused by its name. The model's picture of that name is replaced whole, as its
    // metafile is, or stays as it was.
    const std::string name = AcceptGivenPictureName(given);
    if (name.empty())
        return;
    if (Experiment().modelName.empty()) {
        showStatus("Error: could not save the picture " + name + ": no model is loaded.", false);
        return;
    }
    std::error_code error;
    const std::string path =
        std::filesystem::absolute(platform::joinPath(PrepareExperimentDirectory(Experiment().modelName), name), error)
            .lexically_normal();
    FlushPlotSteps();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!error && m_canvas->picture().save(&buffer, "PNG") &&
        platform::writeFileAtomically(path, std::string_view(bytes.constData(), std::size_t(bytes.size()))))
        showStatus("Simulation result is saved as picture: " + path, false);
    else
        showStatus("Error: could not save the picture " + path, false);
}

void TQNSIMWindow::closeEvent(QCloseEvent* event)
{
    if (!QuitRequested) {
        if (!CanQuit(false)) {
            event->ignore();
            return;
        }
        ClearLog();
        RequestSimulatorQuit();
    }
    FrameWindow::closeEvent(event);
}

void RequestSimulatorQuit()
{
    QuitRequested = 1;
    RunsAllowed = 0;
    StartRequested = 0;
    InterruptRequested = 1;
    numerics::StopOptimization = 1;
    if (MultipleRuns().stop)
        MultipleRuns().stop();
    QCoreApplication::exit(0);
}

TQNSIMApp::TQNSIMApp(platform::Application& application, std::vector<std::string> words)
    : m_application(application), m_words(std::move(words))
{
    g_app = this;
}

TQNSIMApp::~TQNSIMApp()
{
    m_application.setIdleWork({});
    m_window.reset();
    if (g_app == this)
        g_app = nullptr;
}

TQNSIMApp* TQNSIMApp::instance() { return g_app; }

bool TQNSIMApp::InitInstance()
{
    m_window = std::make_unique<TQNSIMWindow>();
    if (!m_window->SetupWindow(m_words)) {
        m_window.reset();
        return false;
    }
    SetRunPump([this] { return PumpWhileSimulating(); });
    ReportIdleTraps();
    m_window->show();
    m_application.setIdleWork([this] { return IdleAction(); });
    return true;
}

int TQNSIMApp::Run()
{
    if (!InitInstance())
        return 0;
    return Exec();
}

void TQNSIMApp::QuitOnTermination()
{
    static int pipeEnds[2] = {-1, -1};
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(pipeEnds[1], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    m_termination = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(m_termination.get(), &QSocketNotifier::activated, [] {
        char bytes[16];
        while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
        }
        // Ended by the system: nobody is asked.
        CanQuit(true);
        RequestSimulatorQuit();
    });
}

void TQNSIMApp::ReportIdleTraps()
{
    static int pipeEnds[2] = {-1, -1};
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_sigaction = [](int, siginfo_t* info, void*) {
        if (info && info->si_code > 0) {
            // A fault of the program's own code (traps are off outside a run): returning would
            // only raise it again, so it ends the program as it would without this handler.
            ::signal(SIGFPE, SIG_DFL);
            return;
        }
        const char kind = char(140); // raised by a program
        [[maybe_unused]] const auto written = ::write(pipeEnds[1], &kind, 1);
    };
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGFPE, &action, nullptr) != 0)
        return;
    m_idleTraps = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(m_idleTraps.get(), &QSocketNotifier::activated, [] {
        unsigned char kinds[16];
        ssize_t count = 0;
        while ((count = ::read(pipeEnds[0], kinds, sizeof kinds)) > 0)
            for (ssize_t i = 0; i < count; ++i)
                ReportIdleTrap(kinds[i]);
    });
}

int TQNSIMApp::Exec()
{
    const int status = m_application.exec();
    // A run the quit interrupted still closes its files.
    if (Simulating) {
        RunStopFlag = 1;
        RunChunk(ContinueRun);
    }
    return status;
}

void TQNSIMApp::idleTurn()
{
    if (Simulating || RunStopFlag || StartRequested)
        RunChunk(ContinueRun);
}

bool TQNSIMApp::IdleAction()
{
    // Inside a series' pump the pump makes the turns itself.
    if (m_pumpDepth > 0)
        return true;
    if (QuitRequested)
        return false;
    idleTurn();
    return Simulating || StartRequested;
}

bool TQNSIMApp::PumpWhileSimulating()
{
    ++m_pumpDepth;
    idleTurn();
    while (Simulating && !QuitRequested) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!QuitRequested)
            idleTurn();
    }
    --m_pumpDepth;
    if (!QuitRequested && (Simulating || StartRequested))
        m_application.resumeIdleWork();
    return !QuitRequested;
}
