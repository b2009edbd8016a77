// The loadable generator as a program uses it: an offscreen host that links only the
// shared libraries loads orvantacod.so from a directory, fills its dialog and
// generates; the files equal those of the command-line driver. The module's boxes,
// choosers and window tables are the host's, it is gone once released, and a missing
// module or entry is reported by the caller.
#include "common/code_generator_module.h"
#include "common/message_boxes.h"
#include "common/startup.h"
#include "codegen/tests/program_runner.h"
#include "platform/core/choosers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_registry.h"
#include "platform/qt/window_widgets.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>
#include <dlfcn.h>

using testsupport::findControl;

namespace {

const std::string kModuleDirectory = CODEGEN_MODULE_DIR;
const std::string kFixtures = CODEGEN_FIXTURES;
const std::string kDriver = CODEGEN_DRIVER;

constexpr int kProgress = 1001, kSFunction = 1003, kStandAlone = 1008, kOutputDirectory = 1011, kGenerate = 1012,
              kFunction = 1015, kAfterTheRun = 1018, kStatus = 1025, kSubmodelList = 1029, kFunctionName = 1031;

/// Whether the module is still loaded in this process.
bool moduleLoaded()
{
    void* handle = dlopen(CodeGeneratorModulePath(kModuleDirectory).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

/// Every file of a folder by name with its contents.
std::map<std::string, std::string> folderContents(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const std::string& name : platform::listDirectory(folder).value_or(std::vector<std::string>{}))
        if (name != "." && name != "..")
            files[name] = testsupport::readText(platform::joinPath(folder, name));
    return files;
}

class CodegenModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* file : {"crankrg1.e", "crank.p", "crank.r", "crank.u"})
            dir.write(file, testsupport::readText(kFixtures + "/" + file));
        host.setWindowTitle("host");
        hostHandle = platform::attachWindowWidget(host, "TestHostWindow", [](const platform::Message&) {});
        SetMessageOwner(hostHandle);
        topLevelBefore = QApplication::topLevelWidgets().size();
    }
    void TearDown() override
    {
        EXPECT_FALSE(moduleLoaded()) << "the module is released after each call";
        EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevelBefore) << "no window of the module is left";
        EXPECT_EQ(platform::findWindowByClass("CodeGeneratorDialog"), 0u);
        SetMessageOwner(0);
        platform::detachWindowWidget(hostHandle);
    }

    /// The command-line driver's files for the same model and experiment.
    std::map<std::string, std::string> driverFiles(const std::string& options) const
    {
        const std::string out = dir.mkdir("driver-" + std::to_string(++driverRuns));
        const std::string command = "'" + kDriver + "' -experiment '" + dir.file("crank") + "' " + options + " '" +
                                    dir.file("crankrg1.e") + "' '" + out + "' > /dev/null";
        EXPECT_EQ(codegentest::runCommand(command), 0) << command;
        return folderContents(out);
    }
    /// The boxes' first lines.
    std::vector<std::string> headings() const
    {
        std::vector<std::string> lines;
        for (const platform::MessageBoxRequest& box : sink.transcript())
            lines.push_back(box.lines.empty() ? "" : box.lines.front());
        return lines;
    }

    platform::Application& application = testsupport::testApplication();
    testsupport::TempDir dir;
    QWidget host;
    platform::WindowHandle hostHandle = 0;
    qsizetype topLevelBefore = 0;
    mutable int driverRuns = 0;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    platform::ScriptedChooserSink choosers;
    platform::ScopedChooserSink scopedChoosers{choosers};
};

TEST_F(CodegenModuleTest, TheDialogWritesTheStandAloneProgramAsTheCommandLineDriverDoes)
{
    const std::string out = dir.file("program");
    sink.queueAnswers({platform::BoxAnswer::Ok}); // create the output directory
    bool ownedByHost = false;
    bool registered = false;
    bool loadedDuring = false;
    int progress = -1;
    std::string modelName;
    std::string status;
    testsupport::answerNextModal([&](QWidget& modal) {
        ownedByHost = modal.parentWidget() == &host;
        registered = platform::findWindowByClass("CodeGeneratorDialog") != 0;
        loadedDuring = moduleLoaded();
        modelName = findControl<QLineEdit>(modal, 1005)->text().toStdString();
        findControl<QRadioButton>(modal, kStandAlone)->click();
        findControl<QRadioButton>(modal, kAfterTheRun)->click();
        findControl<QLineEdit>(modal, kOutputDirectory)->setText(QString::fromStdString(out));
        findControl<QPushButton>(modal, kGenerate)->click();
        progress = findControl<QProgressBar>(modal, kProgress)->value();
        status = findControl<QLabel>(modal, kStatus)->text().toStdString();
        static_cast<QDialog&>(modal).reject();
    });
    EXPECT_EQ(RunCodeGenerator(dir.file("crankrg1").c_str(), "crank", nullptr, kModuleDirectory), 0)
        << "left with Cancel";
    EXPECT_EQ(status, "Stand-alone program written to " + out + " (10 files)");
    EXPECT_TRUE(ownedByHost) << "the module finds the host's window by its handle";
    EXPECT_TRUE(registered);
    EXPECT_TRUE(loadedDuring) << "the check of its release can see it";
    EXPECT_EQ(modelName, "crankrg1");
    EXPECT_EQ(progress, 100);
    // the module's boxes reach the host's sink: one copy of the shared libraries
    ASSERT_EQ(headings(), (std::vector<std::string>{"The given output directory does not exist,",
                                                     "Stand-alone code generated successfully"}));
    EXPECT_EQ(sink.transcript()[1].caption, "Orvanta Message");
    EXPECT_EQ(sink.transcript()[1].lines.back(), "    " + out);

    const std::map<std::string, std::string> written = folderContents(out);
    EXPECT_EQ(written.size(), 10u);
    EXPECT_EQ(written, driverFiles("-output after"));

    // the program written compiles and runs
    const codegentest::ProgramRun run = codegentest::compileAndRun(out, codegentest::kStrictFlags);
    EXPECT_EQ(run.compileStatus, 0) << run.compileOutput;
    EXPECT_EQ(run.runStatus, 0) << run.errors;
    EXPECT_FALSE(run.blocks.empty());
}

// An experiment without its parameter file: the dialog's generation names the file and the
// parameters and initial conditions the program gives 0, and writes the program.
TEST_F(CodegenModuleTest, TheDialogNamesWhatTheExperimentLeavesOut)
{
    std::remove(dir.file("crank.p").c_str());
    const std::string out = dir.mkdir("program");
    testsupport::answerNextModal([&](QWidget& modal) {
        findControl<QRadioButton>(modal, kStandAlone)->click();
        findControl<QLineEdit>(modal, kOutputDirectory)->setText(QString::fromStdString(out));
        findControl<QPushButton>(modal, kGenerate)->click();
        static_cast<QDialog&>(modal).reject();
    });
    EXPECT_EQ(RunCodeGenerator(dir.file("crankrg1").c_str(), "crank", nullptr, kModuleDirectory), 0);
    ASSERT_EQ(headings(), (std::vector<std::string>{"These files of the experiment could not be read:",
                                                     "While reading Parameters or Initial Conditions:",
                                                     "While reading Parameters or Initial Conditions:",
                                                     "Stand-alone code generated successfully"}));
    EXPECT_EQ(sink.transcript()[0].caption, "Orvanta Warning");
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{sink.transcript()[0].lines[0], dir.file("crank.p"), "",
                                        "Generated code will contain default settings for what they give"}));
    EXPECT_EQ(sink.transcript()[1].lines[1], "warning: 5 parameters without a value, 0 is used:");
    EXPECT_EQ(sink.transcript()[1].lines[2], "motor`amp");
    EXPECT_EQ(sink.transcript()[2].lines[1], "warning: 3 initial conditions without a value, 0 is used:");
    EXPECT_TRUE(platform::fileExists(out + "/xxmain.c"));
}

TEST_F(CodegenModuleTest, BlocksAreChosenInTheChooserAndTheOutputFolderThroughTheScriptedChooser)
{
    const std::string sfunction = dir.mkdir("sfunction");
    const std::string function = dir.mkdir("function");
    choosers.answerFolder(sfunction);
    std::string secondPreset;
    std::string secondProposal;
    testsupport::answerNextModal([&](QWidget& modal) {
        EXPECT_TRUE(findControl<QRadioButton>(modal, kSFunction)->isChecked());
        // no output directory: the folder chooser asks after the submodel chooser
        testsupport::answerNextModal([&](QWidget& chooser) {
            auto* list = findControl<QListWidget>(chooser, kSubmodelList);
            const QList<QListWidgetItem*> crank = list->findItems("crank", Qt::MatchExactly);
            ASSERT_EQ(crank.size(), 1);
            list->setCurrentItem(crank.front());
            findControl<QLineEdit>(chooser, kFunctionName)->setText("crankmod");
            findControl<QPushButton>(chooser, platform::IDOK)->click();
        });
        findControl<QPushButton>(modal, kGenerate)->click();
        EXPECT_EQ(findControl<QLineEdit>(modal, kOutputDirectory)->text().toStdString(), sfunction);

        // the next generation offers the submodel chosen last
        findControl<QRadioButton>(modal, kFunction)->click();
        findControl<QLineEdit>(modal, kOutputDirectory)->setText(QString::fromStdString(function));
        testsupport::answerNextModal([&](QWidget& chooser) {
            auto* list = findControl<QListWidget>(chooser, kSubmodelList);
            secondPreset = list->currentItem() && list->currentItem()->isSelected()
                               ? list->currentItem()->text().toStdString()
                               : "";
            secondProposal = findControl<QLineEdit>(chooser, kFunctionName)->text().toStdString();
            findControl<QLineEdit>(chooser, kFunctionName)->setText("crankfn");
            findControl<QPushButton>(chooser, platform::IDOK)->click();
        });
        findControl<QPushButton>(modal, kGenerate)->click();
        static_cast<QDialog&>(modal).reject();
    });
    EXPECT_EQ(RunCodeGenerator(dir.file("crankrg1").c_str(), "crank", nullptr, kModuleDirectory), 0);

    ASSERT_EQ(choosers.transcript().size(), 1u);
    EXPECT_EQ(choosers.transcript()[0].folder.start, dir.path());
    EXPECT_EQ(secondPreset, "crank");
    EXPECT_EQ(secondProposal, "crank");
    EXPECT_EQ(headings(), (std::vector<std::string>{"S-Function code generated successfully",
                                                     "Submodel code generated successfully"}));
    EXPECT_EQ(sink.transcript()[0].lines[5], "    crankmod.c");

    EXPECT_EQ(folderContents(sfunction), driverFiles("-submodel crank -function crankmod -sfunction"));
    EXPECT_EQ(folderContents(function), driverFiles("-submodel crank -function crankfn"));
    EXPECT_EQ(folderContents(function).count("xxmain.c"), 1u);
}

TEST_F(CodegenModuleTest, TheCallerReportsAMissingModuleOrEntryAndGoesOn)
{
    testsupport::TempDir empty;
    EXPECT_EQ(RunCodeGenerator("m", nullptr, nullptr, empty.path()), -1);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].caption, "Orvanta: Message");
    EXPECT_EQ(sink.transcript()[0].owner, hostHandle);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"Could not load 'orvantacod.so'",
                                        "Could not load '" + empty.file("orvantacod.so") +
                                            "': No such file or directory"}));

    // a library of that name without the entry
    sink.clear();
    testsupport::TempDir broken;
    broken.write("orvantacod.so", testsupport::readText(BARE_LIBRARY));
    EXPECT_EQ(RunCodeGenerator("m", nullptr, nullptr, broken.path()), -1);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"DLL 'orvantacod.so' is corrupt",
                                        "Library '" + broken.file("orvantacod.so") +
                                            "' has no entry 'GenerateCCodePopup'"}));

    // a file that is no library at all
    sink.clear();
    testsupport::TempDir text;
    text.write("orvantacod.so", "not a library");
    EXPECT_EQ(RunCodeGenerator("m", nullptr, nullptr, text.path()), -1);
    EXPECT_EQ(headings(), (std::vector<std::string>{"Could not load 'orvantacod.so'"}));

    // without a directory the module is looked for in the installation directory, by absolute path
    const std::string install = Startup().InstallDirectory;
    Startup().InstallDirectory = kModuleDirectory;
    EXPECT_EQ(CodeGeneratorModulePath(), kModuleDirectory + "/orvantacod.so");
    Startup().InstallDirectory.clear();
    EXPECT_EQ(CodeGeneratorModulePath(), platform::executableDirectory() + "/orvantacod.so");
    Startup().InstallDirectory = install;
}

} // namespace
