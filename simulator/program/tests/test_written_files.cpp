// What the simulator does with the files it is given and the files it writes: a settings file
// that is no regular file is refused by name, and every file a session writes (the experiment's
// files, a run's data and MATLAB files, a continued run's data, the metafile, the picture, a
// printout) replaces a link planted at its name instead of writing through it.
#include "simulator_harness.h"

#include "common/startup.h"
#include "common/tests/refused_settings.h"
#include "platform/core/file_system.h"
#include "platform/core/metafile_reader.h"
#include "platform/core/window_messages.h"
#include "platform/qt/application.h"
#include "platform/qt/printing.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/program/simulator_messages.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include <filesystem>
#include <functional>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

bool isRegularFile(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

// A device, a pipe, a directory or a file over the bound as the settings file: the program
// names it, asks, and ends or goes on as the user answers.
TEST(WrittenFiles, ASettingsFileThatIsNoRegularFileOfItsSizeIsRefusedByName)
{
    testsupport::TempDir dir;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    std::unique_ptr<TQNSIMApp> app;
    testsupport::expectRefusedSettingsFiles(
        dir, sink,
        [&](const std::vector<std::string>& words) {
            app = std::make_unique<TQNSIMApp>(testsupport::testApplication(), words);
            return app->InitInstance();
        },
        [&] {
            app.reset();
            QApplication::processEvents();
            simtest::ResetSimulator();
        });
}

// A link planted at the name of each file the session writes, pointing out of the model's folder:
// the file written replaces the link, and the file outside keeps what it had.
TEST(WrittenFiles, EveryFileASessionWritesReplacesALinkAtItsName)
{
    const std::string folder = simtest::ProcessedExamples().models + "/msd1";
    testsupport::TempDir outside;
    simtest::Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 0.5;

    const auto plant = [&](const std::string& path, const std::string& content) {
        const std::string target = outside.write(fs::path(path).filename().string() + ".outside", content);
        fs::remove(path);
        fs::create_directories(fs::path(path).parent_path());
        fs::create_symlink(target, path);
        return target;
    };
    const std::string pdf = outside.file("printed/plot.pdf");
    const struct {
        const char* what;
        std::vector<std::string> files;
        std::function<void()> write;
        std::function<bool(const std::string& written)> looksRight;
        bool continued = false; ///< the link points at a copy of the file as it is
        std::size_t boxes = 0;  ///< the questions the step asks
    } cases[] = {
        {"the experiment's files",
         {folder + "/linked.p", folder + "/linked.r", folder + "/linked.u"},
         [&] {
             s.boxes().queueAnswers({platform::BoxAnswer::Ok}); // "Experiment exists. OK to overwrite?"
             s.command(CM_SAVE_EXPERIMENT_AS);
             s.chooseName("linked");
         },
         [](const std::string& text) { return text.rfind("#Formatver", 0) == 0 || text.rfind("#Hclass", 0) == 0; },
         false, 1},
        {"a run's data and MATLAB files",
         {folder + "/linked.n", folder + "/matlab/linked.m", folder + "/matlab/linked.d"},
         [&] {
             s.command(CM_START_SIMULATION);
             ASSERT_TRUE(s.waitForRunEnd());
         },
         [](const std::string& text) { return text.size() > 100; }},
        {"a continued run's data file",
         {folder + "/linked.n"},
         [&] {
             RunSpecs().finishTime = 1.0;
             ContinueCommand();
             testsupport::testApplication().resumeIdleWork();
             ASSERT_TRUE(s.waitForRunEnd());
         },
         [](const std::string& text) { return text.size() > 100; }, true},
        {"the metafile", {folder + "/linked.wmf"}, [&] { s.command(CM_SIM_TO_METAFILE); },
         [](const std::string& text) { return platform::readMetafile(text, nullptr).has_value(); }},
        {"the picture",
         {folder + "/linked.png"},
         [&] {
             platform::postMessage(s.window().handle(), SM_SAVE_PLOT_PICTURE, 0, 0, std::string("linked.png"));
             ASSERT_TRUE(s.waitFor([&] { return isRegularFile(folder + "/linked.png"); }));
         },
         [](const std::string& text) {
             return !QImage::fromData(reinterpret_cast<const uchar*>(text.data()), int(text.size()), "PNG").isNull();
         }},
        {"a printout",
         {pdf},
         [&] {
             platform::PrinterSettings settings = platform::PrinterSettings::defaults();
             settings.outputFile = pdf;
             s.choosers().answerPrinter(settings);
             s.boxes().queueAnswers({platform::BoxAnswer::Ok}); // "File exists. OK to overwrite?"
             s.command(CM_PRINT_SIMULATION);
         },
         [](const std::string& text) { return text.rfind("%PDF", 0) == 0; }, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        s.boxes().clear();
        std::vector<std::pair<std::string, std::string>> planted; // outside file, its content
        for (const std::string& file : c.files) {
            const std::string content = c.continued ? testsupport::readText(file) : std::string("outside ") + c.what;
            planted.emplace_back(plant(file, content), content);
        }
        c.write();
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            SCOPED_TRACE(c.files[i]);
            EXPECT_EQ(testsupport::readText(planted[i].first), planted[i].second) << "the outside file is untouched";
            EXPECT_TRUE(isRegularFile(c.files[i])) << "the link is replaced";
            const std::string written = testsupport::readText(c.files[i]);
            EXPECT_TRUE(c.looksRight(written)) << written.substr(0, 80);
            if (c.continued) {
                EXPECT_EQ(written.substr(0, planted[i].second.size()), planted[i].second) << "the old rows come first";
                EXPECT_GT(written.size(), planted[i].second.size());
            }
        }
        EXPECT_EQ(s.boxes().transcript().size(), c.boxes) << testing::PrintToString(s.boxes().transcriptLines());
    }
    for (const char* name : {"linked.p", "linked.r", "linked.u", "linked.n", "matlab/linked.m", "matlab/linked.d",
                             "linked.wmf", "linked.png"})
        fs::remove(folder + "/" + name);
}
