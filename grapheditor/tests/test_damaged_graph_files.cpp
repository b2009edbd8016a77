// Damaged copies of the bundled graph models, opened in the editor and given to the model
// processor: every file the processor expands opens, every file the processor's reader refuses
// is refused too, by a message naming the file, the line and the token; no reading marks the
// model edited, and a refused file leaves the model shown as it was.
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

using damagedfiles::ProcessorVerdict;

class DamagedGraphFiles : public graphtest::GraphTest {
protected:
    testsupport::TempDir dir;
};

TEST_F(DamagedGraphFiles, AreRefusedByFileLineAndTokenWhenTheProcessorsReaderRefusesThemAndOpenedWhenItProcessesThem)
{
    const std::vector<damagedfiles::DamagedFile> damaged = damagedfiles::damagedModels(ORVANTA_MODELS_DIR);
    ASSERT_GE(damaged.size(), 1000u);
    // The processor renames what it reads: it has copies of its own, and of the library.
    const std::string library = dir.file("library");
    fs::copy(ORVANTA_LIBRARY_DIR, library);
    for (const char* submodel : damagedfiles::kSubmodelSources)
        fs::copy_file(std::string(ORVANTA_MODELS_DIR) + "/" + submodel, library + "/" + submodel);
    std::vector<std::string> files;
    for (std::size_t i = 0; i < damaged.size(); ++i)
        files.push_back(dir.write(std::to_string(i) + "/" + damaged[i].fileName, damaged[i].text));
    const std::vector<ProcessorVerdict> read = damagedfiles::processorVerdicts(PROCESSOR_READS, 3, library, files);
    ASSERT_EQ(read.size(), damaged.size());

    // A whole model shown before each, which a refused file leaves as it was.
    const std::string shown = dir.write("shown1.mgg", "bond graph shown version 1\nsubclasses\n  r;1 x 30 40 !T\n"
                                                      "connections\n");
    const std::regex place(R"(^.{1,100} in line [0-9]+: .*$)");
    std::vector<int> loaded(damaged.size());
    std::vector<std::string> refusals(damaged.size());
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        const damagedfiles::DamagedFile& file = damaged[i];
        SCOPED_TRACE(file.fileName + ", " + file.how + ": the processor's reader " + std::to_string(read[i].parsed) +
                     " " + read[i].error);
        ASSERT_EQ(load_model_file(shown), 0);
        sink.clear();
        view.log.clear();
        loaded[i] = load_model_file(files[i]);
        EXPECT_EQ(CurrentModel().edited, 0) << "reading marks no model edited";
        EXPECT_EQ(std::count(view.log.begin(), view.log.end(), "edited"), 0);
        if (read[i].parsed != 0) {
            EXPECT_EQ(loaded[i], -1) << "the processor's reader refuses it";
        }
        if (loaded[i] == 0) {
            // The editor names the model after its file; its heading is written again when it is saved.
            EXPECT_EQ(CurrentModel().name, file.fileName.substr(0, file.fileName.find('.') - 1));
            continue;
        }
        ASSERT_EQ(loaded[i], -1);
        ASSERT_EQ(sink.transcript().size(), 1u);
        const std::vector<std::string>& lines = sink.transcript()[0].lines;
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[0], "The model file can not be read:");
        EXPECT_EQ(lines[1], files[i]);
        EXPECT_TRUE(std::regex_match(lines[2], place)) << lines[2];
        refusals[i] = lines[2];
        EXPECT_EQ(CurrentModel().name, "shown") << "the model shown stays";
        EXPECT_EQ(CurrentModel().submodels.size(), 1u);
        EXPECT_TRUE(view.log.empty()) << testing::PrintToString(view.log);
    }

    // What the editor refuses and the processor's reader reads, the processor does not process
    // completely either; but a name declared twice is refused by the editor, whose model objects
    // all have names of their own, while the processor lets the later declaration hide the earlier.
    std::vector<std::size_t> readOnlyByTheProcessor;
    std::vector<std::string> toProcess;
    for (std::size_t i = 0; i < damaged.size(); ++i)
        if (loaded[i] != 0 && read[i].parsed == 0 && refusals[i].rfind("name used twice", 0) != 0) {
            readOnlyByTheProcessor.push_back(i);
            toProcess.push_back(files[i]);
        }
    const std::vector<ProcessorVerdict> processed = damagedfiles::processorVerdicts(PROCESSOR_READS, 6, library, toProcess);
    ASSERT_EQ(processed.size(), toProcess.size());
    for (std::size_t k = 0; k < processed.size(); ++k) {
        const damagedfiles::DamagedFile& file = damaged[readOnlyByTheProcessor[k]];
        EXPECT_NE(processed[k].processed, 3) << file.fileName << ", " << file.how << ": the processor processes it";
    }
    const auto opened = std::count(loaded.begin(), loaded.end(), 0);
    std::printf("damaged graph files: %zu, %td opened, %td refused, %zu of them read by the processor\n",
                damaged.size(), opened, std::ptrdiff_t(damaged.size()) - opened, toProcess.size());
    EXPECT_GT(opened, 0);
    EXPECT_LT(opened, std::ptrdiff_t(damaged.size()));
}

} // namespace
