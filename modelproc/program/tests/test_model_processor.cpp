// The model processor: its request states, its run and log in this process,
// and the real program answering a requesting window.
#include "bench/modelproc/chain_model.h"
#include "modelproc/program/model_processor.h"
#include "modelproc/program/processor_requests.h"

#include "common/log_window.h"
#include "common/tests/refused_settings.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/qt/application.h"
#include "platform/qt/frame_window.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

using namespace platform;

namespace {

Application& app()
{
    static int argc = 1;
    static char name[] = "test_model_processor";
    static char* argv[] = {name, nullptr};
    static auto* instance = new Application(argc, argv);
    return *instance;
}

/// A requesting window of this process that keeps what it receives.
class Requester {
public:
    Requester() : m_window(createWindow([this](const Message& m) { received.push_back(m); }))
    {
        registerTopLevelWindow(m_window, "TQNBGEWindow");
    }
    ~Requester() { destroyWindow(m_window); }
    WindowHandle window() const { return m_window; }

    /// Pumps until a message with that number arrives; it is taken out.
    std::optional<Message> waitFor(MessageNumber number, int timeoutMs = 15000)
    {
        for (int waited = 0;; waited += 20) {
            for (auto it = received.begin(); it != received.end(); ++it) {
                if (it->number == number) {
                    Message found = *it;
                    received.erase(it);
                    return found;
                }
            }
            if (waited >= timeoutMs)
                return std::nullopt;
            QTest::qWait(20);
        }
    }

    std::vector<Message> received;

private:
    WindowHandle m_window;
};

/// A requesting main window with a frame, shown where the test puts it.
class RequesterFrame : public FrameWindow {
public:
    RequesterFrame() : FrameWindow("TQNBGEWindow") {}
    std::vector<Message> received;

protected:
    void handleMessage(const Message& message) override { received.push_back(message); }
};

/// Ends a started program that a failed test left running.
struct StartedProgram {
    pid_t pid;
    ~StartedProgram()
    {
        if (!waitForProgram(pid, 0)) {
            kill(pid, SIGKILL);
            waitForProgram(pid, 5000);
        }
    }
};

class ModelProcessor : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        ResetStartup();
        ResetSettings();
        m_models = m_dir.mkdir("models");
        m_dir.write("models/pend.mg0", "pend model\n");
        writeSettings(1);
    }
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void writeSettings(int messages, const std::string& modelDirectories = {})
    {
        m_settings = m_dir.write("orvanta.ini", "[General]\nmodel_dirs=" +
                                                    (modelDirectories.empty() ? m_models : modelDirectories) +
                                                    "\nalias_names=models\n"
                                                    "[Graph Editor]\ndef_bond_size=3\ngrid_snap_size=1\ngrid=1\n"
                                                    "snap=1\nshowname=1\n"
                                                    "[Equation Editor]\nee_messages=1\n"
                                                    "[Model Processor]\nmessages=" +
                                                    std::to_string(messages) +
                                                    "\ntempfiles=0\n"
                                                    "[Simulator]\nmode=0\nsim_grid=1\ncolors=1\ndashing=0\n"
                                                    "linewidth=1\nwarp=1\n");
    }

    std::vector<std::string> words(const std::string& tail)
    {
        return SplitCommandLine(tail + " -rc_file " + m_settings);
    }

    std::vector<std::string> logLines()
    {
        std::vector<std::string> lines = LogWindow()->lines();
        while (!lines.empty() && lines.back().empty())
            lines.pop_back();
        return lines;
    }

    testsupport::TempDir m_dir;
    std::string m_models;
    std::string m_settings;
    ScriptedMessageSink m_sink;
    ScopedMessageSink m_scoped{m_sink};
    Requester m_requester;
};

} // namespace

TEST(ProcessorRequestStates, FollowTheTableAndFallIntoTheErrorState)
{
    struct Case {
        const char* name;
        bool usable;
        std::vector<int> events;
        int state;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"a usable model is set and processed once", true, {kSetModel, kProcess}, kReady,
         {"setModel", "process", "diag -------------- ready -------------"}},
        {"without a model nothing is processed", false, {kSetModel, kProcess}, kRequestError, {}},
        {"a second run is allowed from ready", true, {kSetModel, kProcess, kModelSet, kProcess}, kReady,
         {"setModel", "process", "diag -------------- ready -------------", "process",
          "diag -------------- ready -------------"}},
        {"processing before a model is an error for good", true, {kProcess, kSetModel}, kRequestError, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> calls;
        ProcessorRequests* self = nullptr;
        ProcessorRequests requests({[&] { return c.usable; },
                                    [&] {
                                        calls.push_back("setModel");
                                        self->send(kModelSet);
                                    },
                                    [&] {
                                        calls.push_back("process");
                                        self->send(kProcessed);
                                    },
                                    [&](const char* text) { calls.push_back(std::string("diag ") + text); }});
        self = &requests;
        for (int event : c.events)
            requests.send(event);
        EXPECT_EQ(requests.state(), c.state);
        EXPECT_EQ(calls, c.calls);
    }
}

TEST(ProcessorRequestStates, AnAbortDuringProcessingIsRecorded)
{
    ProcessorRequests* self = nullptr;
    ProcessorRequests requests({[] { return true; }, [&] { self->send(kModelSet); },
                                [&] {
                                    self->send(kAbort);
                                    EXPECT_TRUE(self->abortRequested());
                                    self->send(kProcessed);
                                },
                                {}});
    self = &requests;
    requests.send(kSetModel);
    requests.send(kProcess);
    EXPECT_EQ(requests.state(), kReady);
    requests.send(kAbort);
    EXPECT_EQ(requests.state(), kRequestError);
}

TEST_F(ModelProcessor, ARunShowsItsLogAndPostsTheResultThenTheExitAfterTheLogCloses)
{
    TQNMPXApp processor(app(), words("-model pend -cmpnt " + std::to_string(m_requester.window())));
    ASSERT_TRUE(processor.InitInstance());
    EXPECT_EQ(processor.currentModelFile(), m_models + "/pend.mg0");
    ASSERT_NE(LogWindow(), nullptr);
    EXPECT_EQ(LogWindow()->windowTitle().toStdString(), "MP: Diagnostics - pend");
    std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Diagnostics on: pend");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines.back(), "-------------- ready -------------");
    // The model file does not parse: its errors stand between the two lines.
    EXPECT_EQ(lines[2].rfind("Parse error in file \"pend.mg0\" line 1", 0), 0u) << lines[2];
    EXPECT_EQ(findWindowByClass("TQNMPX"), processor.mainWindow()->handle());

    std::optional<Message> done = m_requester.waitFor(UM_PROCESSING_DONE);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->wParam, -1);
    WindowHandle log = static_cast<WindowHandle>(done->lParam);
    EXPECT_EQ(log, GetLogHandle());
    EXPECT_FALSE(processor.IdleAction());
    EXPECT_FALSE(m_requester.waitFor(UM_PROCESSOR_EXITED, 100));

    ASSERT_TRUE(postMessage(log, WM_SYSCOMMAND, SC_CLOSE, 0));
    for (int i = 0; i < 100 && IsLogOpen(); ++i)
        QTest::qWait(10);
    EXPECT_EQ(IsLogOpen(), 0);
    EXPECT_FALSE(processor.IdleAction());
    std::optional<Message> exited = m_requester.waitFor(UM_PROCESSOR_EXITED);
    ASSERT_TRUE(exited);
    EXPECT_EQ(exited->wParam, 0);
    EXPECT_EQ(exited->lParam, 0);
    EXPECT_EQ(m_sink.transcriptLines(), std::vector<std::string>{});
}

TEST_F(ModelProcessor, WithoutAModelNothingIsProcessedAndTheExitIsReportedAtOnce)
{
    TQNMPXApp processor(app(), words("-cmpnt " + std::to_string(m_requester.window())));
    ASSERT_TRUE(processor.InitInstance());
    EXPECT_EQ(processor.requests().state(), kRequestError);
    EXPECT_EQ(LogNotCreated(), 1);
    EXPECT_FALSE(processor.IdleAction());
    ASSERT_TRUE(m_requester.waitFor(UM_PROCESSOR_EXITED));
    EXPECT_FALSE(m_requester.waitFor(UM_PROCESSING_DONE, 100));
    EXPECT_EQ(processor.exitCode(), 1) << "nothing was processed";
}

TEST_F(ModelProcessor, MinimalMessagesOpenNoLogAndPostALogHandleOfZero)
{
    writeSettings(0);
    TQNMPXApp processor(app(), words("-model pend -cmpnt " + std::to_string(m_requester.window())));
    ASSERT_TRUE(processor.InitInstance());
    EXPECT_EQ(LogNotCreated(), 1);
    std::optional<Message> done = m_requester.waitFor(UM_PROCESSING_DONE);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->lParam, 0);
}

// A name no model's files can have is refused by its name and shown whole; it is never cut into
// the name of another model, whose files would then be processed.
TEST_F(ModelProcessor, AModelNameBeyondTheFileNameRuleIsRefusedAndShownWhole)
{
    m_dir.write("models/longmodelname.mf3", "class longmod version 1\nvariables\n  real x\nequations\n  x = 1\n");
    m_dir.write("models/pend1.mf0", "class pend version 1\nvariables\n  real x\nequations\n  x = 1\n");
    const std::string tooLong = "7 characters and a version digit.";
    const struct {
        std::string name;
        std::string error;
    } cases[] = {
        {"longmodelnameb", "General error: the model name longmodelnameb is longer than " + tooLong},
        {std::string(120, 'q'), "General error: the model name " + std::string(120, 'q') + " is longer than " + tooLong},
        {"../pend1", "General error: the model name ../pend1 holds a character other than a letter, a digit or '_' at "
                     "position 1."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TQNMPXApp processor(app(), words("-model " + c.name + " -cmpnt " + std::to_string(m_requester.window())));
        ASSERT_TRUE(processor.InitInstance());
        ASSERT_NE(LogWindow(), nullptr);
        EXPECT_EQ(LogWindow()->windowTitle().toStdString(), "MP: Diagnostics - " + c.name);
        EXPECT_TRUE(processor.currentModelFile().empty());
        std::vector<std::string> lines = logLines();
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines.front(), "Diagnostics on: " + c.name);
        EXPECT_EQ(lines[2], c.error);
        std::optional<Message> done = m_requester.waitFor(UM_PROCESSING_DONE);
        ASSERT_TRUE(done);
        EXPECT_EQ(done->wParam, 0) << "loading failed";
        EXPECT_EQ(processor.exitCode(), 1);
        EXPECT_FALSE(platform::fileExists(m_models + "/longmod1.l"));
    }
    EXPECT_EQ(m_sink.transcriptLines(), std::vector<std::string>{});
}

// A name within the rule that no file has is reported by its name.
TEST_F(ModelProcessor, AModelWithoutAFileIsReportedByItsName)
{
    TQNMPXApp processor(app(), words("-model absent1 -cmpnt " + std::to_string(m_requester.window())));
    ASSERT_TRUE(processor.InitInstance());
    std::vector<std::string> lines = logLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "General error: no model file of absent1 found in the model directories " + m_models + ".");
    std::optional<Message> done = m_requester.waitFor(UM_PROCESSING_DONE);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->wParam, 0);
    EXPECT_EQ(processor.exitCode(), 1);
}

TEST_F(ModelProcessor, StartUpStoppedByTheUserProcessesNothing)
{
    m_sink.queueAnswers({BoxAnswer::Cancel});
    TQNMPXApp processor(app(), words("-help_dir x -model pend -cmpnt " + std::to_string(m_requester.window())));
    EXPECT_FALSE(processor.InitInstance());
    EXPECT_NE(processor.exitCode(), 0);
    EXPECT_EQ(processor.mainWindow(), nullptr);
    EXPECT_EQ(LogNotCreated(), 1);
    EXPECT_FALSE(m_requester.waitFor(UM_PROCESSING_DONE, 100));
    ASSERT_FALSE(m_sink.transcript().empty());
    EXPECT_EQ(m_sink.transcript().back().kind, BoxKind::Confirm);
}

// A device, a pipe, a directory or a file over the bound as the settings file: the program
// names it, asks, and ends or goes on as the user answers.
TEST_F(ModelProcessor, ASettingsFileThatIsNoRegularFileOfItsSizeIsRefusedByName)
{
    std::unique_ptr<TQNMPXApp> processor;
    testsupport::expectRefusedSettingsFiles(
        m_dir, m_sink,
        [&](const std::vector<std::string>& words) {
            processor = std::make_unique<TQNMPXApp>(app(), words);
            const bool goesOn = processor->InitInstance();
            // Going on with the defaults, it has no model directory to look in, which it tells too.
            EXPECT_NE(processor->exitCode(), 0);
            return goesOn;
        },
        [&] {
            processor.reset();
            if (TQNLogWindow* log = LogWindow())
                delete log;
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ResetSettings();
            ResetStartup();
        });
}

// A link planted at the name of each file that processing writes (the code and equation files,
// the templates after expansion and causal analysis), pointing out of the model's folder: the
// real program's file replaces the link, and the file outside keeps what it had.
TEST_F(ModelProcessor, EveryFileProcessingWritesReplacesALinkAtItsName)
{
    std::filesystem::copy(ORVANTA_MODELS_DIR "/msd1.mg0", m_models + "/msd1.mg0");
    const std::string library = m_dir.file("library");
    std::filesystem::copy(ORVANTA_LIBRARY_DIR, library);
    writeSettings(0, m_models + ";" + library);
    const std::string settings = testsupport::readText(m_settings);
    m_settings = m_dir.write("orvanta.ini", settings.substr(0, settings.find("tempfiles=0")) + "tempfiles=1" +
                                                settings.substr(settings.find("tempfiles=0") + 11));
    const struct {
        const char* file;
        const char* begins; ///< how the written file begins
    } written[] = {{"msd1.l", "#Hclass"}, {"msd1.e", "#Hclass"}, {"msd1.t1", "bond graph msd"},
                   {"msd1.t2", "bond graph msd"}};
    for (const auto& w : written) {
        const std::string outside = m_dir.write(std::string("outside/") + w.file, "outside\n");
        std::filesystem::create_symlink(outside, m_models + "/" + w.file);
    }
    const int status = std::system(("'" + std::string(ORVANTAMPX_PATH) + "' -model msd1 -rc_file '" + m_settings +
                                    "' 2> '" + m_dir.file("errors.txt") + "'")
                                       .c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << testsupport::readText(m_dir.file("errors.txt"));
    for (const auto& w : written) {
        SCOPED_TRACE(w.file);
        EXPECT_EQ(testsupport::readText(m_dir.file(std::string("outside/") + w.file)), "outside\n");
        const std::string path = m_models + "/" + w.file;
        EXPECT_FALSE(std::filesystem::is_symlink(path));
        EXPECT_EQ(testsupport::readText(path).rfind(w.begins, 0), 0u) << testsupport::readText(path).substr(0, 80);
    }
}

// The program runs as it was started: it does not start itself again, with another environment,
// which would surprise whoever debugs or packages it.
TEST_F(ModelProcessor, TheProgramAnswersItsRequesterAndEndsWhenItsLogIsClosed)
{
    testsupport::ScopedEnvironment tunables("GLIBC_TUNABLES", nullptr);
    std::optional<pid_t> pid =
        startProgram(ORVANTAMPX_PATH, {"-model", "pend", "-cmpnt", std::to_string(m_requester.window()),
                                       "-rc_file", m_settings});
    ASSERT_TRUE(pid);
    StartedProgram guard{*pid};
    std::optional<Message> done = m_requester.waitFor(UM_PROCESSING_DONE);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->wParam, -1);
    WindowHandle log = static_cast<WindowHandle>(done->lParam);
    EXPECT_EQ(windowProcess(log), *pid);
    EXPECT_TRUE(isWindow(log));
    EXPECT_EQ(windowProcess(findWindowByClass("TQNMPX")), *pid);
    EXPECT_FALSE(waitForProgram(*pid, 200));
    const std::string environment = testsupport::readText("/proc/" + std::to_string(*pid) + "/environ");
    EXPECT_FALSE(environment.empty());
    EXPECT_EQ(environment.find("GLIBC_TUNABLES"), std::string::npos) << "the program was started again";

    ASSERT_TRUE(postMessage(log, WM_SYSCOMMAND, SC_CLOSE, 0));
    ASSERT_TRUE(m_requester.waitFor(UM_PROCESSOR_EXITED));
    // The model did not parse: the program ends with a status that says so.
    std::optional<int> status = waitForProgram(*pid, 10000);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 1);
    EXPECT_FALSE(isWindow(log));
}

TEST_F(ModelProcessor, AModelThatIsNotFoundIsReportedAsLoadingFailedAndTheProgramFails)
{
    writeSettings(0);
    std::optional<pid_t> pid = startProgram(
        ORVANTAMPX_PATH, {"-model", "nosuch", "-cmpnt", std::to_string(m_requester.window()), "-rc_file", m_settings});
    ASSERT_TRUE(pid);
    StartedProgram guard{*pid};
    // The editors read 0 as "Loading of model failed.", -1 as a failed expansion.
    std::optional<Message> done = m_requester.waitFor(UM_PROCESSING_DONE);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->wParam, 0);
    EXPECT_TRUE(m_requester.waitFor(UM_PROCESSOR_EXITED));
    std::optional<int> status = waitForProgram(*pid, 10000);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 1);
}

// With no log window (messages 0) a failing run is not silent: each error and the run's outcome
// go to the standard error stream, where a script that started the program reads them. A run
// that succeeds writes nothing there.
TEST_F(ModelProcessor, AFailureIsToldOnTheStandardErrorStreamWhateverTheLogShows)
{
    writeSettings(0);
    m_dir.write("models/osc1.mf0", "class osc version 1\nvariables\n  real x, v\nequations\n  v = int(-x)\n"
                                   "  x = int(v)\n");
    const auto run = [&](const std::string& model) {
        const std::string errors = m_dir.file("errors.txt");
        const int status = std::system(("'" + std::string(ORVANTAMPX_PATH) + "'" + (model.empty() ? "" : " -model " + model) + " -rc_file '" +
                                        m_settings + "' 2> '" + errors + "'")
                                           .c_str());
        EXPECT_TRUE(WIFEXITED(status));
        return std::pair{WEXITSTATUS(status), testsupport::readText(errors)};
    };
    EXPECT_EQ(run("chemakzo1"),
              (std::pair{1, std::string("orvantampx: General error: the model name chemakzo1 is longer than 7 "
                                        "characters and a version digit.\n"
                                        "orvantampx: chemakzo1: no model was processed.\n")}));
    const std::string parse = "orvantampx: Parse error in file \"pend.mg0\" line ";
    EXPECT_EQ(run("pend"), (std::pair{1, parse + "1 at \"pend\": parse error\n" + parse +
                                             "2 at [EOF]: no equations or connections given\n" + parse +
                                             "2 at [EOF]: Fatal error found during compilation.\n"
                                             "orvantampx: pend: Processing failed during parsing.\n"}));
    EXPECT_EQ(run(""), (std::pair{1, std::string("orvantampx: no model given: name it with -model NAME; nothing was "
                                                 "processed.\n")}));
    EXPECT_EQ(run("osc1"), (std::pair{0, std::string()}));
    EXPECT_TRUE(fileExists(m_models + "/osc1.l"));
}

TEST_F(ModelProcessor, TheLogIsMadeBesideTheWindowThatAskedAndShowsItsLastLine)
{
    RequesterFrame requester;
    requester.setGeometry(60, 120, 300, 200);
    requester.show();
    const QRect asked = requester.frameGeometry();
    TQNMPXApp processor(app(), words("-model pend -cmpnt " + std::to_string(requester.handle())));
    ASSERT_TRUE(processor.InitInstance());
    ASSERT_NE(LogWindow(), nullptr);
    const QRect log = LogWindow()->frameGeometry();
    EXPECT_FALSE(log.intersects(asked)) << "log at " << log.x() << "," << log.y();
    QScrollBar* bar = LogWindow()->edit()->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !requester.received.empty(); }, 5000));
    EXPECT_EQ(requester.received.front().number, UM_PROCESSING_DONE);
    LogWindow()->close();
}

namespace {

/// The hidden names of a directory: temporary files, "." and ".." left out.
std::vector<std::string> hiddenFiles(const std::string& directory)
{
    std::vector<std::string> hidden;
    for (const std::string& name : listDirectory(directory).value_or(std::vector<std::string>{}))
        if (name.front() == '.' && name != "." && name != "..")
            hidden.push_back(name);
    return hidden;
}

/// Whether the process has a new file of the directory open: one without a name, or a hidden one.
bool writesInto(pid_t pid, const std::string& directory)
{
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const std::string& fd : listDirectory(fds).value_or(std::vector<std::string>{})) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(fds + "/" + fd, error).string();
        if (!error && target.rfind(directory + "/", 0) == 0 &&
            (target[directory.size() + 1] == '.' || target[directory.size() + 1] == '#'))
            return true;
    }
    return false;
}

} // namespace

// The model processor killed while it writes a big model's processed files leaves the files of
// the run before as they were and no temporary file; what a kill could leave between naming a
// new file and putting it in place, the next run removes.
TEST_F(ModelProcessor, AProcessorKilledWhileItWritesLeavesTheEarlierFilesAndNoTemporary)
{
    const std::string chain = m_dir.file("chain");
    writeChainDirectory(chain, ORVANTA_LIBRARY_DIR, 5000);
    writeSettings(0, chain);
    m_dir.write("chain/chain1.l", "earlier code");
    m_dir.write("chain/chain1.e", "earlier equations");

    std::optional<pid_t> pid = startProgram(ORVANTAMPX_PATH, {"-model", "chain1", "-rc_file", m_settings});
    ASSERT_TRUE(pid);
    StartedProgram guard{*pid};
    bool writing = false;
    for (int i = 0; i < 2000000 && !writing && !waitForProgram(*pid, 0); ++i)
        writing = writesInto(*pid, chain);
    ASSERT_TRUE(writing) << "the processor was not seen writing";
    ::kill(*pid, SIGKILL);
    std::optional<int> status = waitForProgram(*pid, 10000);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status));
    EXPECT_EQ(testsupport::readText(chain + "/chain1.l"), "earlier code");
    EXPECT_EQ(testsupport::readText(chain + "/chain1.e"), "earlier equations");
    for (const std::string& name : hiddenFiles(chain))
        EXPECT_EQ(name.rfind(".chain1.", 0) == 0 && name.find("." + std::to_string(*pid) + ".") != std::string::npos,
                  true)
            << name << " is no temporary file of the killed processor";

    std::optional<pid_t> next = startProgram(ORVANTAMPX_PATH, {"-model", "chain1", "-rc_file", m_settings});
    ASSERT_TRUE(next);
    StartedProgram nextGuard{*next};
    status = waitForProgram(*next, 60000);
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(hiddenFiles(chain), std::vector<std::string>{});
    EXPECT_EQ(testsupport::readText(chain + "/chain1.l").rfind("#Hclass\tchain\n", 0), 0u);
}
