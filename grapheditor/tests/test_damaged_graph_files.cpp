// Damaged copies of the bundled graph models, opened in the editor and given to the model
// processor: every file the processor processes completely opens, every file the processor's
// reader refuses is refused too, by a message naming the file, the line and the token; no
// reading marks the model edited, and a refused file leaves the model shown as it was.
#include "grapheditor/tests/damaged_graph_files.h"
#include "grapheditor/tests/graph_test_support.h"

#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

namespace {

namespace fs = std::filesystem;

/// What the model processor made of one file.
struct ProcessorVerdict {
    int parsed = 0;    ///< 0 read whole
    int processed = 0; ///< 3 processed completely
    std::string error; ///< the parse's first error
};

/// Runs the processor's reading and processing over the files, each in a folder of its own
/// beside a copy of the element library.
std::vector<ProcessorVerdict> processorVerdicts(const std::string& library, const std::vector<std::string>& files)
{
    std::string command = std::string("'") + PROCESSOR_READS + "' '" + library + "'";
    for (const std::string& file : files)
        command += " '" + file + "'";
    std::vector<ProcessorVerdict> verdicts;
    FILE* out = popen(command.c_str(), "r");
    if (!out)
        return verdicts;
    char line[4096];
    while (std::fgets(line, sizeof line, out)) {
        std::istringstream fields(line);
        ProcessorVerdict verdict;
        fields >> verdict.parsed >> verdict.processed;
        std::getline(fields >> std::ws, verdict.error);
        verdicts.push_back(verdict);
    }
    pclose(out);
    return verdicts;
}

class DamagedGraphFiles : public graphtest::GraphTest {
protected:
    testsupport::TempDir dir;
};

TEST_F(DamagedGraphFiles, AreOpenedWhenTheProcessorProcessesThemAndElseRefusedByFileLineAndToken)
{
    const std::vector<damagedfiles::DamagedFile> damaged = damagedfiles::damagedModels(ORVANTA_MODELS_DIR);
    ASSERT_GE(damaged.size(), 150u);
    // The processor renames what it reads: it has copies of its own, and of the library.
    const std::string library = dir.file("library");
    fs::copy(ORVANTA_LIBRARY_DIR, library);
    fs::copy_file(std::string(ORVANTA_MODELS_DIR) + "/dcm1.sg0", library + "/dcm1.sg0");
    std::vector<std::string> processorFiles;
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        const std::string folder = "processor/" + std::to_string(i);
        fs::create_directories(dir.file(folder));
        processorFiles.push_back(dir.write(folder + "/" + damaged[i].fileName, damaged[i].text));
    }
    const std::vector<ProcessorVerdict> verdicts = processorVerdicts(library, processorFiles);
    ASSERT_EQ(verdicts.size(), damaged.size());

    // A whole model shown before each, which a refused file leaves as it was.
    const std::string shown = dir.write("shown1.mgg", "bond graph shown version 1\nsubclasses\n  r;1 x 30 40 !T\n"
                                                      "connections\n");
    const std::regex place(R"(^.{1,40} in line [0-9]+: .*$)");
    int opened = 0, refused = 0;
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        const damagedfiles::DamagedFile& file = damaged[i];
        const ProcessorVerdict& processor = verdicts[i];
        SCOPED_TRACE(file.fileName + ", " + file.how + ": the processor " + std::to_string(processor.parsed) + "/" +
                     std::to_string(processor.processed) + " " + processor.error);
        ASSERT_EQ(load_model_file(shown), 0);
        sink.clear();
        view.log.clear();
        const std::string path = dir.write("editor/" + std::to_string(i) + "/" + file.fileName, file.text);
        const int loaded = load_model_file(path);
        EXPECT_EQ(CurrentModel().edited, 0) << "reading marks no model edited";
        EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "edited"), 0);
        if (processor.processed == 3)
            EXPECT_EQ(loaded, 0) << "the processor processes it: " << testing::PrintToString(boxes());
        if (processor.parsed != 0)
            EXPECT_EQ(loaded, -1) << "the processor's reader refuses it";
        if (loaded == 0) {
            ++opened;
            EXPECT_EQ(CurrentModel().name + std::to_string(CurrentModel().version),
                      file.fileName.substr(0, file.fileName.find('.')));
            continue;
        }
        ++refused;
        ASSERT_EQ(loaded, -1);
        ASSERT_EQ(sink.transcript().size(), 1u);
        const std::vector<std::string>& lines = sink.transcript()[0].lines;
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], "The model file can not be read:");
        EXPECT_EQ(lines[1], path);
        EXPECT_TRUE(std::regex_match(lines[2], place)) << lines[2];
        EXPECT_EQ(CurrentModel().name, "shown") << "the model shown stays";
        EXPECT_EQ(CurrentModel().submodels.size(), 1u);
        EXPECT_TRUE(view.log.empty()) << testing::PrintToString(view.log);
    }
    int processed = 0;
    for (const ProcessorVerdict& v : verdicts)
        processed += v.processed == 3;
    std::printf("damaged graph files: %d opened, %d refused, %d processed\n", opened, refused, processed);
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, int(damaged.size()) / 2);
}

} // namespace
