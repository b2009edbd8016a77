// Chooser requests without a desktop: the suite's filter texts, default
// extensions, printer settings that can or cannot be printed with, and the
// scripted sink of tests.
#include "platform/core/choosers.h"

#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Choosers, FilterTextsBecomeDescriptionsWithTheirPatterns)
{
    struct Case {
        const char* text;
        std::vector<FileFilter> filters;
    };
    for (const Case& c : {
             Case{"Simulation Model (*.e)|*.e|All Files (*.*)|*.*||",
                  {{"Simulation Model (*.e)", "*.e"}, {"All Files (*.*)", "*.*"}}},
             Case{"PDF Files (*.pdf)|*.pdf", {{"PDF Files (*.pdf)", "*.pdf"}}},
             Case{"Models| *.mgg;*.mg0 |", {{"Models", "*.mgg;*.mg0"}}},
             Case{"|*.e||", {{"*.e", "*.e"}}},
             Case{"Broken||All|*||", {{"All", "*"}}},
             Case{"Only a description", {}},
             Case{"", {}},
         }) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseFilterText(c.text), c.filters);
    }
}

TEST(Choosers, TheDefaultExtensionGoesOnlyToANameWithoutOne)
{
    struct Case {
        const char* path;
        const char* extension;
        const char* result;
    };
    for (const Case& c : {Case{"/models/msd1", "*.e", "/models/msd1.e"}, Case{"/models/msd1.p", "e", "/models/msd1.p"},
                          Case{"/run.d/msd1", ".e", "/run.d/msd1.e"}, Case{"/models/.hidden", "e", "/models/.hidden.e"},
                          Case{"msd1", "pdf", "msd1.pdf"}, Case{"/models/", "e", "/models/"},
                          Case{"msd1", "", "msd1"}, Case{"msd1", "*.*", "msd1"}}) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(withDefaultExtension(c.path, c.extension), c.result);
    }
}

TEST(Choosers, PrinterSettingsAreCheckedBeforeTheyPrint)
{
    testsupport::TempDir dir;
    PrinterSettings good;
    good.outputFile = dir.file("plot.pdf");
    EXPECT_EQ(checkPrinterSettings(good), "");
    EXPECT_EQ(checkPrinterSettings(PrinterSettings::defaults()), "") << "the home directory exists";
    EXPECT_EQ(PrinterSettings::defaults().paper, "A4");

    struct Case {
        PrinterSettings settings;
        std::string problem;
    };
    PrinterSettings noFile = good;
    noFile.outputFile.clear();
    PrinterSettings noFolder = good;
    noFolder.outputFile = dir.file("gone/plot.pdf");
    PrinterSettings folder = good;
    folder.outputFile = dir.path();
    PrinterSettings paper = good;
    paper.paper = "B5";
    for (const Case& c : {Case{noFile, "No file given to print to."},
                          Case{noFolder, "The folder " + dir.file("gone") + " does not exist."},
                          Case{folder, dir.path() + " is a folder, not a file."},
                          Case{paper, "Unknown paper size: B5"}}) {
        EXPECT_EQ(checkPrinterSettings(c.settings), c.problem);
    }
}

TEST(Choosers, TheScriptedSinkAnswersEachKindFromItsQueueAndRecordsTheRequests)
{
    ScriptedChooserSink sink;
    ScopedChooserSink use(sink);
    sink.answerFile("/models/msd1.e");
    sink.answerFile(std::nullopt);
    sink.answerFolder("/out");
    PrinterSettings landscape;
    landscape.landscape = true;
    landscape.outputFile = "/tmp/plot.pdf";
    sink.answerPrinter(landscape);

    FileChooserRequest open;
    open.title = "Select the simulation model";
    open.filters = parseFilterText("Simulation Model (*.e)|*.e||");
    EXPECT_EQ(chooserSink().chooseFolder({"Choose a destination folder for the code files:", "/models", 7}), "/out");
    EXPECT_EQ(chooserSink().chooseFile(open), "/models/msd1.e");
    EXPECT_EQ(chooserSink().chooseFile(open), std::nullopt) << "a queued Cancel";
    EXPECT_EQ(chooserSink().choosePrinter({}), landscape);
    EXPECT_EQ(sink.unanswered(), 0);
    EXPECT_EQ(chooserSink().chooseFolder({}), std::nullopt);
    EXPECT_EQ(sink.unanswered(), 1) << "an empty queue cancels";

    ASSERT_EQ(sink.transcript().size(), 5u);
    EXPECT_EQ(sink.transcript()[0].kind, ScriptedChooserSink::Kind::Folder);
    EXPECT_EQ(sink.transcript()[0].folder.owner, 7u);
    EXPECT_EQ(sink.transcript()[1].kind, ScriptedChooserSink::Kind::File);
    EXPECT_EQ(sink.transcript()[1].file.title, "Select the simulation model");
    EXPECT_EQ(sink.transcript()[3].kind, ScriptedChooserSink::Kind::Printer);

    // Without a sink every chooser is cancelled.
    setChooserSink(nullptr);
    EXPECT_EQ(chooserSink().chooseFile(open), std::nullopt);
    EXPECT_EQ(chooserSink().choosePrinter({}), std::nullopt);
}
