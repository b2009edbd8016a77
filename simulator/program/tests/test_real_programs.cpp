// The real programs: the example run of orvanta-drive (model processor and simulator
// driven through their messages), the driver ending on a refused run, and the simulator
// ending on a termination signal in the middle of a run with the run's files closed, or killed
// with the earlier files kept.
#include "simulator_harness.h"

#include "platform/core/file_system.h"
#include "platform/core/metafile_reader.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"
#include "simulator/run_output.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QTest>

#include <cmath>
#include <csignal>
#include <cstdio>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

/// The examples copied afresh, the processor's log switched off.
std::string copyExamples(const testsupport::TempDir& dir)
{
    const fs::path source = ORVANTA_SOURCE_DIR "/examples";
    fs::copy(source / "models", dir.file("models"), fs::copy_options::recursive);
    fs::copy(source / "library", dir.file("library"), fs::copy_options::recursive);
    std::string settings = testsupport::readText(dir.file("models/orvanta.ini"));
    const std::size_t at = settings.find("\nmessages=") + 1;
    settings.replace(at, settings.find('\n', at) - at, "messages=0");
    dir.write("models/orvanta.ini", settings);
    return dir.file("models");
}

/// What orvanta-drive did on a model of the examples: whether it ended in time, its status and output.
struct DriveRun {
    bool ended = false;
    int status = -1;
    std::string output, errors;
};

/// Runs orvanta-drive on the model and its experiment "default" in the copied examples;
/// a driver that does not end in time is ended, and so is the simulator it left.
DriveRun drive(const std::string& models, const char* model, int timeoutMs)
{
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(models));
    process.start(QStringLiteral(ORVANTA_DRIVE_PATH), {"orvanta.ini", model, "default"});
    DriveRun run;
    run.ended = process.waitForFinished(timeoutMs);
    if (!run.ended) {
        process.kill();
        process.waitForFinished();
        if (const platform::WindowHandle left = platform::findWindowByClass("TQNSIMWindow"))
            ::kill(platform::windowProcess(left), SIGKILL);
    }
    run.status = process.exitCode();
    run.output = process.readAllStandardOutput().toStdString();
    run.errors = process.readAllStandardError().toStdString();
    return run;
}

} // namespace

// A table named without a folder is read from the model's experiment folder, where the model's
// experiments are: the one there serves the run, not one of the same name beside the models.
TEST(RealPrograms, ATableFileIsReadFromTheModelsExperimentFolder)
{
    testsupport::TempDir dir;
    const std::string models = copyExamples(dir);
    simtest::WriteBlockModel(dir, "tab", "subclasses\n  time;1 w\n  tabfile;1 g\nconnections\n  w`y -: g`u\n",
                             "\tg`file\t\"tab.txt\"\n", "g`y", 2.0);
    dir.write("models/tab1/tab.txt", "0 0\n1 10\n2 40\n");
    dir.write("models/tab.txt", "0 0\n1 -1\n2 -2\n");
    const DriveRun run = drive(models, "tab1", 120000);
    ASSERT_TRUE(run.ended);
    ASSERT_EQ(run.status, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("simulator: Simulation finished."), std::string::npos) << run.output;
    // The last row of the MATLAB data: t = 2 first, the table's 40 there last.
    const std::string data = testsupport::readText(models + "/tab1/matlab/default.d");
    const std::size_t end = data.find_last_not_of("\r\n ");
    ASSERT_NE(end, std::string::npos);
    const std::size_t begin = data.find_last_of('\n', end) + 1;
    const std::string row = data.substr(begin, end + 1 - begin);
    double t = 0;
    ASSERT_EQ(std::sscanf(row.c_str(), "%lg", &t), 1) << row;
    EXPECT_NEAR(t, 2.0, 1e-9) << row;
    EXPECT_NEAR(std::stod(row.substr(row.find_last_of(' ') + 1)), 40.0, 1e-6) << row;
}

TEST(RealPrograms, TheExampleRunProcessesSimulatesAndWritesEveryFile)
{
    testsupport::TempDir dir;
    const std::string models = copyExamples(dir);
    const DriveRun run = drive(models, "msd1", 240000);
    ASSERT_TRUE(run.ended);
    const std::string& output = run.output;
    ASSERT_EQ(run.status, 0) << output << run.errors;
    EXPECT_NE(output.find("simulator: Simulation finished.  Model evaluations: "), std::string::npos) << output;

    const std::string experiment = models + "/msd1";
    for (const std::string& file : {models + "/msd1.l", models + "/msd1.e", experiment + "/default.n",
                                    experiment + "/matlab/default.m", experiment + "/matlab/default.d",
                                    experiment + "/default.wmf", experiment + "/default.png"})
        EXPECT_NE(output.find(file), std::string::npos) << file << " is listed\n" << output;
    EXPECT_NE(testsupport::readText(experiment + "/matlab/default.m").find("plot (t, "), std::string::npos);
    std::string why;
    const auto metafile = platform::readMetafile(testsupport::readText(experiment + "/default.wmf"), &why);
    ASSERT_TRUE(metafile) << why;
    EXPECT_TRUE(metafile->checksumMatches);
    const QImage picture(QString::fromStdString(experiment + "/default.png"));
    ASSERT_FALSE(picture.isNull());
    int coloured = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            coloured += !(c.red() == c.green() && c.green() == c.blue());
        }
    EXPECT_GT(coloured, 500) << "the curves are in the picture";
    EXPECT_EQ(platform::findWindowByClass("TQNSIMWindow"), 0u) << "the simulator has ended";
}

// Two RC stages written in Keldor, driven by a sine and started at rest, run by the BDF method at
// rtol 1e-6 and atol 1e-12: the first stage's residual carries the forcing while its states are
// 0, and the run was refused at t = 0 with "The matrix of partial derivatives is singular.".
// Processed and simulated by the real programs, the model runs to its finish and ends there on
// the solution (Radau IIA at rtol 1e-12) within a hundred tolerances.
TEST(RealPrograms, TheBdfMethodRunsARegularModelStartedAtRestToItsFinish)
{
    testsupport::TempDir dir;
    const std::string models = copyExamples(dir);
    dir.write("models/rc1.mf0", "class rc version 1\nparameters\n  real R\nvariables\n  real v1, v2\nequations\n"
                                "  v1 = int((sin(6.283185307179586 * t) - 2.0 * v1 + v2) / (R * 1e-06))\n"
                                "  v2 = int((v1 - v2) / R)\n");
    dir.write("models/rc1/default.p", "#Formatver\t3\n#Hclass\trc1\n#DParam \n\tR\t1\n#DIncond\n\tv1\t0\n\tv2\t0\n");
    dir.write("models/rc1/default.r", "#Hclass\trc1\n#Iprocsr\t0\n#Imethod\t3\n#Tstart \t0\n#Tfinish\t2\n"
                                      "#Iabserr\t1E-12\n#Irelerr\t1E-06\n#Ialpabserr\t1E-05\n#Tstinit\t0\t0.001\n"
                                      "#Tstmax \t0\t1\n#Tcomint\t1\t0.01\n#Tignwarn\t0\t0\n#Tscaleode\t0\t0\n");
    dir.write("models/rc1/default.u", "#Formatver\t3\n#Hclass\trc1\n#Oxaxis\t#Otime\t0\t2\t0\n"
                                      "#Oyaxis\t0\tv1\t-1\t1\t0\t1\t1\t0\t0\tv1\n"
                                      "#Oyaxis\t0\tv2\t-1\t1\t1\t1\t1\t0\t0\tv2\n");
    const DriveRun run = drive(models, "rc1", 120000);
    ASSERT_TRUE(run.ended);
    ASSERT_EQ(run.status, 0) << run.output << run.errors;
    EXPECT_NE(run.output.find("simulator: Simulation finished."), std::string::npos) << run.output;
    const auto content = ReadDataFileContent(models + "/rc1/default.n", true);
    ASSERT_TRUE(content);
    ASSERT_GT(content->rows.size(), 100u);
    const std::vector<double>& last = content->rows.back();
    ASSERT_EQ(last.size(), 3u);
    EXPECT_EQ(last[0], 2.0);
    EXPECT_NEAR(last[1], -0.024994581306640416, 1e-4 * 0.025);
    EXPECT_NEAR(last[2], -0.04998600852569547, 1e-4 * 0.05);
}

/// The time of modification of a file, to the nanosecond.
fs::file_time_type modified(const std::string& path)
{
    return fs::last_write_time(path);
}

// Two models of one folder driven one after the other, while a simulator that another user
// started runs beside: each run is that of the model named, in the simulator the driver
// started. A processed model of the other that looks newer by the clock is not taken for it.
TEST(RealPrograms, TwoModelsDrivenOneAfterTheOtherRunEachTheModelNamed)
{
    testsupport::TempDir dir;
    const std::string models = copyExamples(dir);
    QProcess bystander;
    const platform::WindowHandle other = simtest::StartProgramWindow(
        bystander, QStringLiteral(ORVANTASIM_PATH), models, {"-rc_file", "orvanta.ini"});
    ASSERT_NE(other, 0u);

    const DriveRun gears = drive(models, "gears1", 240000);
    ASSERT_TRUE(gears.ended);
    ASSERT_EQ(gears.status, 0) << gears.output << gears.errors;
    EXPECT_NE(gears.output.find("orvanta-drive: simulating gears1, experiment default"), std::string::npos)
        << gears.output;
    EXPECT_NE(gears.output.find(models + "/gears1/default.n\n"), std::string::npos) << gears.output;
    const fs::file_time_type gearsData = modified(models + "/gears1/default.n");
    fs::last_write_time(models + "/gears1.l", fs::file_time_type::clock::now() + std::chrono::hours(1));

    const DriveRun msd = drive(models, "msd1", 240000);
    ASSERT_TRUE(msd.ended);
    ASSERT_EQ(msd.status, 0) << msd.output << msd.errors;
    EXPECT_NE(msd.output.find("orvanta-drive: simulating msd1, experiment default"), std::string::npos) << msd.output;
    EXPECT_NE(msd.output.find(models + "/msd1/default.n\n"), std::string::npos) << msd.output;
    EXPECT_EQ(msd.output.find("gears1"), std::string::npos) << msd.output;
    EXPECT_TRUE(fs::exists(models + "/msd1/default.png"));
    EXPECT_EQ(modified(models + "/gears1/default.n"), gearsData) << "gears1 was not run again";

    EXPECT_EQ(bystander.state(), QProcess::Running) << "the other simulator was left alone";
    bystander.kill();
    bystander.waitForFinished(5000);
}

// A model whose processing fails, for its text or for a heading that names another model, ends
// the driver with a non-zero status before any run.
TEST(RealPrograms, AModelNotProcessedUnderItsNameEndsTheDriverBeforeAnyRun)
{
    testsupport::TempDir dir;
    const std::string models = copyExamples(dir);
    dir.write("models/broken1.mg0", "bond graph broken version 1\nthis is no model\n");
    fs::copy_file(models + "/gears1.mg0", models + "/other1.mg0");
    fs::copy(models + "/gears1", models + "/other1", fs::copy_options::recursive);
    const struct {
        const char* model;
        std::string error;
    } cases[] = {
        {"broken1", "orvanta-drive: processing broken1 ended with result "},
        {"other1", "orvanta-drive: processing other1 ended with result "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const DriveRun run = drive(models, c.model, 120000);
        ASSERT_TRUE(run.ended);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.errors.find(c.error), std::string::npos) << run.errors << run.output;
        EXPECT_EQ(run.output.find("orvanta-drive: simulating"), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(models + "/" + c.model + "/default.n"));
    }
    EXPECT_EQ(platform::findWindowByClass("TQNSIMWindow"), 0u) << "no simulator was left";
}

namespace {

/// The simulator program on the example model, running an experiment that would run for ever.
class EndlessRun {
public:
    /// Starts the run: the status "Simulating..." has been seen.
    void start()
    {
        testsupport::testApplication();
        models = copyExamples(dir);
        for (const char* extension : {".p", ".u"})
            fs::copy_file(models + "/msd1/default" + extension, models + "/msd1/long" + extension);
        std::string specs = testsupport::readText(models + "/msd1/default.r");
        specs.replace(specs.find("#Tfinish\t5"), 10, "#Tfinish\t1e9");
        dir.write("models/msd1/long.r", specs);
        fs::copy_file(simtest::ProcessedExamples().models + "/msd1.l", models + "/msd1.l");

        m_self = platform::createWindow([this](const platform::Message& m) {
            if (m.number == UM_STATUS_TEXT && m.text)
                m_statuses.push_back(*m.text);
        });
        ASSERT_TRUE(platform::registerTopLevelWindow(m_self, "SimulatorTest"));
        const platform::WindowHandle window =
            simtest::StartProgramWindow(simulator, QStringLiteral(ORVANTASIM_PATH), models,
                                        {"-rc_file", "orvanta.ini", "-model", "msd1", "-cmpnt", QString::number(m_self)});
        ASSERT_NE(window, 0u);
        platform::postMessage(window, SM_OPEN_EXPERIMENT, 0, 0, std::string("long"));
        ASSERT_TRUE(waitFor("Experiment long is loaded."));
        platform::postMessage(window, SM_COMMAND_BASE + 277, 0, 0);
        ASSERT_TRUE(waitFor("Simulating..."));
        QTest::qWait(300);
    }

    ~EndlessRun()
    {
        if (simulator.state() != QProcess::NotRunning) {
            simulator.kill();
            simulator.waitForFinished(5000);
        }
        if (m_self)
            platform::destroyWindow(m_self);
    }

    testsupport::TempDir dir;
    std::string models;
    QProcess simulator;

private:
    bool waitFor(const std::string& head)
    {
        const auto seen = [&] {
            for (const std::string& s : m_statuses)
                if (s.rfind(head, 0) == 0)
                    return true;
            return false;
        };
        for (int i = 0; i < 300 && !seen(); ++i)
            QTest::qWait(50);
        return seen();
    }

    std::vector<std::string> m_statuses;
    platform::WindowHandle m_self = 0;
};

} // namespace

// An example without its experiment: its run is refused for the parameters without values,
// in a box nobody can answer. The driver ends at once with the refusal's text and a non-zero
// status, and the simulator with it, instead of waiting for a run that never comes.
TEST(RealPrograms, ARefusedRunEndsTheDriverWithTheRefusal)
{
    testsupport::TempDir dir;
    const std::string models = copyExamples(dir);
    fs::remove_all(models + "/rlc1");
    const DriveRun run = drive(models, "rlc1", 90000);
    ASSERT_TRUE(run.ended) << "the driver waited for the run";
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.errors.find("orvanta-drive: the run did not start: Some parameters have no value yet. "
                              "No simulation is possible."),
              std::string::npos)
        << run.errors << run.output;
    for (int i = 0; i < 100 && platform::findWindowByClass("TQNSIMWindow"); ++i)
        QTest::qWait(50);
    EXPECT_EQ(platform::findWindowByClass("TQNSIMWindow"), 0u) << "the simulator has ended";
}

TEST(RealPrograms, ATerminationSignalDuringARunEndsTheSimulatorWithTheRunsFilesClosed)
{
    EndlessRun run;
    ASSERT_NO_FATAL_FAILURE(run.start());
    ::kill(pid_t(run.simulator.processId()), SIGTERM);
    ASSERT_TRUE(run.simulator.waitForFinished(20000)) << "ended by the signal";
    EXPECT_EQ(run.simulator.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.simulator.exitCode(), 0);
    EXPECT_TRUE(fs::exists(run.models + "/msd1/long.n")) << "the run's data file was finished and kept";
}

// Killed during a run, the simulator leaves the data files of the run before as they were, the
// MATLAB script with the data it reads, and no temporary file beside them.
TEST(RealPrograms, ASimulatorKilledDuringARunLeavesTheEarlierDataFilesAndNoTemporary)
{
    EndlessRun run;
    run.dir.write("models/msd1/long.n", "earlier data");
    run.dir.write("models/msd1/matlab/long.m", "earlier script");
    run.dir.write("models/msd1/matlab/long.d", "earlier matlab data");
    ASSERT_NO_FATAL_FAILURE(run.start());
    ::kill(pid_t(run.simulator.processId()), SIGKILL);
    ASSERT_TRUE(run.simulator.waitForFinished(20000));
    EXPECT_EQ(testsupport::readText(run.models + "/msd1/long.n"), "earlier data");
    EXPECT_EQ(testsupport::readText(run.models + "/msd1/matlab/long.m"), "earlier script");
    EXPECT_EQ(testsupport::readText(run.models + "/msd1/matlab/long.d"), "earlier matlab data");
    for (const std::string& folder : {run.models + "/msd1", run.models + "/msd1/matlab"})
        for (const std::string& name : platform::listDirectory(folder).value_or(std::vector<std::string>{}))
            EXPECT_TRUE(name == "." || name == ".." || name.front() != '.') << folder << "/" << name;
}
