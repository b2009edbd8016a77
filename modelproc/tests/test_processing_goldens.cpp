// Complete processing of whole models, from the model file to the written code and equation
// files, against golden files: the example models, the front-end test models and generated
// chains of mass-spring cells of several sizes. The bytes of ".l" and ".e" and the texts the
// run reports must stay exactly as they are whatever is done to the speed of the phases.
#include "bench/modelproc/chain_model.h"
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/memory_estimate.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/golden_files.h"
#include "platform/core/file_system.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string golden(const std::string& name)
{
    return std::string(PROCESSING_GOLDEN_DIR) + "/" + name;
}

/// Compares with a golden file; ORVANTA_UPDATE_GOLDEN=1 rewrites it instead.
void expectGolden(const std::string& text, const std::string& name)
{
    goldentest::expectGoldenFile(text, golden(name));
}

using goldentest::fingerprint;

std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

/// One complete run: the result code, every text the hooks got, and the files written.
struct ProcessingRun {
    int result = 0;
    std::string log;
    std::string code;     ///< the ".l" file, empty when none was written
    std::string equation; ///< the ".e" file
};

/// Processes `model` (a file in `dir`) completely with `dir` and its library folder as model
/// directories; `base` names the processed-model files (empty: whatever they are named).
ProcessingRun process(const std::string& dir, const std::string& model, const std::string& base)
{
    ResetSettings();
    Settings().model_dirs = dir + ";" + dir + "/library";
    Settings().messages = 1; // errors go to the processor's log, where a test may read them
    Pipeline() = PipelineState{};
    Pipeline().modelFile = dir + "/" + model;
    Pipeline().depth = 6;
    Pipeline().workingDirectory = dir;
    const ProcessorDisplayHooks saved = DisplayHooks();
    ProcessingRun run;
    std::ostringstream log;
    ttset_error_callback([&log](const char* kind, const char* file, const char* submodel, int line,
                                const char* token, const char* message) {
        log << "error " << formatErrorLine(kind, file, submodel, line, token, message) << "\n";
    });
    ttset_progress_callback([&log](const char* text) { log << "progress " << text << "\n"; });
    ttset_diag_callback([&log](const char* text) { log << "diagnostics " << text << "\n"; });
    ttset_percent_callback([&log](int value) { log << "percent " << value << "\n"; });
    DisplayHooks().status = [&log](const char* text) { log << "status " << text << "\n"; };
    run.result = ttprocess_model();
    DisplayHooks() = saved;
    release_all();
    run.log = "result " + std::to_string(run.result) + "\n" + replaceAll(log.str(), dir, "<dir>");
    // The files are named after the class and its version; exactly one pair may be there.
    int written = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".l") {
            ++written;
            if (!base.empty()) {
                EXPECT_EQ(entry.path().stem().string(), base) << "the code file's name";
            }
            run.code = platform::readFile(entry.path().string()).value_or("");
            fs::path text = entry.path();
            run.equation = platform::readFile(text.replace_extension(".e").string()).value_or("");
        }
    EXPECT_LE(written, 1);
    return run;
}

/// A model directory with the element library in its subfolder "library".
void copyLibrary(const testsupport::TempDir& dir)
{
    fs::copy(PROCESSING_LIBRARY_DIR, dir.mkdir("library"));
}

/// The model files of a folder (not its subfolders), by name.
std::vector<std::string> modelFiles(const std::string& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && ext.size() == 4 && (ext[1] == 'm' || ext[1] == 's') &&
            (ext[2] == 'g' || ext[2] == 'f') && ext[3] == '0')
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

/// How the junctions of a folder's models are drawn.
enum class Junctions { Library, ThreePorts };

/// Processes every model file of `folder`, each in a fresh copy of the folder, against the golden
/// files "<prefix><model>.log", ".l" and ".e"; models drawn with the three-port junctions find them
/// in front of the library.
void expectFolderGolden(const std::string& folder, const std::string& prefix, Junctions junctions)
{
    const std::vector<std::string> models = modelFiles(folder);
    ASSERT_FALSE(models.empty()) << folder;
    for (const std::string& model : models) {
        SCOPED_TRACE(model);
        testsupport::TempDir dir;
        fs::copy(folder, dir.path(), fs::copy_options::recursive);
        copyLibrary(dir);
        if (junctions == Junctions::ThreePorts)
            writeThreePortJunctions(dir.path());
        const std::string stem = fs::path(model).stem().string();
        const ProcessingRun run = process(dir.path(), model, "");
        expectGolden(run.log, prefix + stem + ".log");
        if (run.result == 3) {
            expectGolden(run.code, prefix + stem + ".l");
            expectGolden(run.equation, prefix + stem + ".e");
        } else {
            EXPECT_EQ(run.code, "") << "a failed run wrote a code file";
        }
    }
}

ProcessingRun processChain(int cells)
{
    testsupport::TempDir dir;
    copyLibrary(dir);
    writeThreePortJunctions(dir.path());
    dir.write("chain1.mg0", chainModel(cells));
    return process(dir.path(), "chain1.mg0", "chain1");
}

/// The chain with each cell a graph submodel of its own type; with `pairs`, each two cells a
/// graph submodel "pair" of two "cell" submodels, so that the cells lie two deep.
ProcessingRun processNestedChain(int cells, bool pairs)
{
    testsupport::TempDir dir;
    copyLibrary(dir);
    writeThreePortJunctions(dir.path());
    dir.write("cell1.sg0", kNestedChainCell);
    if (pairs) {
        dir.write("pair1.sg0", "bond graph pair version 1\ninterface\n  ports: a, b\nsubclasses\n  cell;1 x, y\n"
                               "connections\n  x`a -- a\n  x`b -> y`a\n  y`b -- b\n");
        std::string model = nestedChainModel(cells / 2);
        model = replaceAll(model, "cell;1", "pair;1");
        dir.write("chain1.mg0", model);
    } else {
        dir.write("chain1.mg0", nestedChainModel(cells));
    }
    return process(dir.path(), "chain1.mg0", "chain1");
}

/// The line of a run in a table of fingerprints.
std::string fingerprintLine(const std::string& label, const ProcessingRun& run)
{
    char line[240];
    std::snprintf(line, sizeof line, "%s: log %zu %016llx l %zu %016llx e %zu %016llx\n", label.c_str(),
                  run.log.size(), static_cast<unsigned long long>(fingerprint(run.log)), run.code.size(),
                  static_cast<unsigned long long>(fingerprint(run.code)), run.equation.size(),
                  static_cast<unsigned long long>(fingerprint(run.equation)));
    return line;
}

} // namespace

TEST(ProcessingGoldens, ExampleModelsWriteTheirFilesUnchanged)
{
    expectFolderGolden(PROCESSING_EXAMPLES_DIR, "examples_", Junctions::Library);
}

TEST(ProcessingGoldens, FrontEndTestModelsWriteTheirFilesUnchanged)
{
    expectFolderGolden(PROCESSING_KELDOR_MODELS_DIR, "keldor_", Junctions::ThreePorts);
    expectFolderGolden(std::string(PROCESSING_KELDOR_MODELS_DIR) + "/junction_arrays", "arrays_",
                       Junctions::ThreePorts);
}

// A small chain is kept whole; larger ones, where a phase's lists and tables grow past their
// first sizes, are kept as the size and fingerprint of each file and of the texts reported.
TEST(ProcessingGoldens, GeneratedChainsWriteTheirFilesUnchanged)
{
    const ProcessingRun small = processChain(3);
    ASSERT_EQ(small.result, 3) << small.log;
    expectGolden(small.log, "chain3.log");
    expectGolden(small.code, "chain3.l");
    expectGolden(small.equation, "chain3.e");

    std::string table;
    for (int cells : {1, 2, 40, 400, 3000}) {
        const ProcessingRun run = processChain(cells);
        ASSERT_EQ(run.result, 3) << cells << " cells\n" << run.log;
        table += fingerprintLine(std::to_string(cells) + " cells", run);
    }
    expectGolden(table, "chains.txt");
}

// Graph submodels nested one and two deep, arrays of graph and equation submodels bonded
// element to element, several bonds at one vector port, and signals through graph submodels.
TEST(ProcessingGoldens, GraphModelsWriteTheirFilesUnchanged)
{
    expectFolderGolden(PROCESSING_GRAPH_MODELS_DIR, "graph_", Junctions::ThreePorts);
}

// The chain with every cell a graph submodel, one deep and two deep, writes what it wrote.
TEST(ProcessingGoldens, NestedChainsWriteTheirFilesUnchanged)
{
    const ProcessingRun small = processNestedChain(3, false);
    ASSERT_EQ(small.result, 3) << small.log;
    expectGolden(small.log, "nested3.log");
    expectGolden(small.code, "nested3.l");
    expectGolden(small.equation, "nested3.e");

    std::string table;
    for (int cells : {1, 2, 40, 400}) {
        const ProcessingRun run = processNestedChain(cells, false);
        ASSERT_EQ(run.result, 3) << cells << " cells\n" << run.log;
        table += fingerprintLine(std::to_string(cells) + " cells", run);
    }
    for (int cells : {2, 40, 400}) {
        const ProcessingRun run = processNestedChain(cells, true);
        ASSERT_EQ(run.result, 3) << cells << " cells in pairs\n" << run.log;
        table += fingerprintLine(std::to_string(cells) + " cells in pairs", run);
    }
    expectGolden(table, "nested.txt");
}

// A run leaves nothing behind that a later run in the same process would read: each model
// processed again, after others, writes what it wrote the first time.
TEST(ProcessingGoldens, ModelsProcessedAgainInOneProcessWriteTheSameFiles)
{
    const auto runs = [] {
        std::vector<ProcessingRun> list;
        list.push_back(processChain(40));
        list.push_back(processNestedChain(40, true));
        list.push_back(processChain(3));
        list.push_back(processNestedChain(7, false));
        return list;
    };
    const std::vector<ProcessingRun> first = runs();
    const std::vector<ProcessingRun> second = runs();
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(first[i].result, 3) << first[i].log;
        EXPECT_EQ(second[i].log, first[i].log);
        EXPECT_EQ(second[i].code, first[i].code);
        EXPECT_EQ(second[i].equation, first[i].equation);
    }
}

namespace {

/// Holds the process to the address space it has and `headroom` bytes more while it lives: a size
/// taken from a model unchecked then fails its allocation at once instead of taking the machine's
/// memory.
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(std::uint64_t headroom)
    {
        getrlimit(RLIMIT_AS, &m_saved);
        std::uint64_t used = 0;
        std::istringstream status(platform::readFile("/proc/self/status").value_or(""));
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmSize:", 0) == 0)
                used = std::stoull(line.substr(7)) * 1024;
        rlimit cap = m_saved;
        cap.rlim_cur = std::min<rlim_t>(m_saved.rlim_max, used + headroom);
        setrlimit(RLIMIT_AS, &cap);
    }
    ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &m_saved); }

private:
    rlimit m_saved{};
};

/// A graph model of `count` instances of the submodel "big" that `processBeside` writes.
std::string instancesOfBig(int count)
{
    std::string text = "bond graph many version 1\nsubclasses\n  sf;1 f\n";
    for (int k = 0; k < count; ++k)
        text += "  big;1 b" + std::to_string(k) + "\n";
    return text + "connections\n  f`p -> b0`p\n";
}

/// Processes the model `text` as `file` beside the library and a submodel "big" of a large array
/// (and the arguments file `arguments` of "main1"): the run and the errors it logs.
std::pair<ProcessingRun, std::string> processBeside(const std::string& file, const std::string& text,
                                                    const std::string& arguments)
{
    testsupport::TempDir dir;
    copyLibrary(dir);
    dir.write("big1.sf0", "class big version 1\ninterface\n  ports: p\nvariables\n  real x[1048576]\n"
                          "equations\n  x = p.e\n  p.f = 1\n");
    dir.write(file, text);
    if (!arguments.empty())
        dir.write("main1.mga", arguments);
    std::string errors;
    setProcessorLog([&](const std::string& line) { errors += replaceAll(line, dir.path(), "<dir>") + "\n"; });
    ProcessingRun run = process(dir.path(), file, "");
    setProcessorLog(nullptr);
    return {std::move(run), errors};
}

} // namespace

// A size a model gives, in a junction's argument, a declaration, an arguments file or a bond, is
// refused by the quantity and its size before anything is made for it, and so are quantities
// whose elements together pass what a model may have: the run fails at once and writes nothing.
TEST(ProcessingBounds, SizesTakenFromAModelAreRefusedByNameBeforeAnythingIsMadeForThem)
{
    const std::string msd = platform::readFile(std::string(PROCESSING_EXAMPLES_DIR) + "/msd1.mg0").value_or("");
    ASSERT_NE(msd.find("1j;1 v(4) 160 100"), std::string::npos);
    std::string manyVariables = "class many version 1\nvariables\n";
    for (int k = 0; k <= 32; ++k)
        manyVariables += "  real x" + std::to_string(k) + "[1048576]\n";
    manyVariables += "equations\n  x0 = 1\n";
    const std::string manyInstances = instancesOfBig(33);
    const struct {
        const char* what;
        std::string file;
        std::string text;
        std::string arguments;
        std::string refusal;
        std::int64_t modelBound = 0; ///< the elements a model may have, when not as they are
    } cases[] = {
        {"junction argument", "msd1.mg0", replaceAll(msd, "1j;1 v(4) 160 100", "1j;1 v(2147483647) 160 100"), "",
         "Expansion error in file \"<dir>/msd1.mg0\": port p[2147483647] of submodel 1j1:v has 2147483647 "
         "elements, more than the 1048576 one quantity may have."},
        {"declaration", "big1.mf0",
         "class big version 1\nvariables\n  real x[100000, 100000]\nequations\n  x = 1\n", "",
         "Parse error in file \"big1.mf0\" line 3 at [NL]: variable x[100000,100000] has 10000000000 elements, "
         "more than the 1048576 one quantity may have."},
        {"arguments file", "main1.mg0",
         "bond graph main(n) version 1\nsubclasses\n  sf;1 s[n]\n  r;1 d[n]\nconnections\n  s`p =n=> d`p\n",
         "n\t2147483647\n",
         "Expansion error in file \"<dir>/main1.mg0\": submodel s[2147483647] of model main1 has 2147483647 "
         "elements, more than the 1048576 one quantity may have."},
        {"bond", "wide1.mg0", "bond graph wide version 1\nsubclasses\n  sf;1 s[2]\n  r;1 d[2]\nconnections\n"
                              "  s`p =2000000=> d`p\n", "",
         "Parse error in file \"wide1.mg0\" line 6 at \"d\": the bond of size [2000000] has 2000000 elements, "
         "more than the 1048576 one quantity may have."},
        {"quantities of a model together", "many1.mf0", manyVariables, "",
         "Parse error in file \"many1.mf0\" line 35 at [NL]: with variable x32 the model declares more than "
         "the 33554432 elements a model may have."},
        // With the elements a model may have lowered below the memory its instances take, so that
        // the elements are counted before the memory is.
        {"instances together", "many1.mg0", manyInstances, "", "with the elements of submodel big1:b1 the model has "
                                                               "more than the 2097152 elements a model may have.",
         std::int64_t(1) << 21},
    };
    AddressSpaceCap cap(std::uint64_t(2) << 30);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ElementBounds bounds = elementBounds();
        if (c.modelBound)
            elementBounds().model = c.modelBound;
        const auto [run, errors] = processBeside(c.file, c.text, c.arguments);
        elementBounds() = bounds;
        EXPECT_EQ(run.result, -1) << run.log;
        EXPECT_NE(errors.find(c.refusal), std::string::npos) << errors;
        EXPECT_EQ(run.code, "");
    }
}

namespace {

/// An equation model of `arrays` states of `elements` elements each.
std::string stateArrays(int arrays, int elements)
{
    std::string text = "class big version 1\nvariables\n";
    for (int k = 1; k <= arrays; ++k)
        text += "  real x" + std::to_string(k) + "[" + std::to_string(elements) + "]\n";
    text += "equations\n";
    for (int k = 1; k <= arrays; ++k)
        text += "  x" + std::to_string(k) + " = int(-x" + std::to_string(k) + ")\n";
    return text;
}

} // namespace

// A model whose quantities are each within what a quantity may have can still need more memory
// than the process can take: its need is estimated from its sizes before anything is made for
// their elements, and a model that cannot fit is refused at once, named with the estimate and its
// largest quantity, while a model that fits is processed under the same limit.
TEST(ProcessingBounds, AModelThatCannotFitIsRefusedByItsEstimateAndLargestQuantityBeforeItIsBuilt)
{
    const std::string manyInstances = instancesOfBig(30);
    const struct {
        const char* what;
        std::string file;
        std::string text;
        int result;
        std::string refusal; ///< a pattern of the refusal, empty for a model that is processed
    } cases[] = {
        {"thirty arrays of states", "big1.mf0", stateArrays(30, 1 << 20), -3,
         "General error in file \"big1.mf0\": the model needs about 19.9 GB of memory to be processed and [0-9.]+ GB "
         "of address space, more than the [0-9.]+ [GM]B the process's address-space limit leaves it; its largest "
         "quantity is variable x1\\[1048576\\] of model big1, of 1048576 elements\\."},
        {"thirty instances of an array", "many1.mg0", manyInstances, -1,
         "Expansion error in file \"<dir>/many1.mg0\": the model needs about [0-9.]+ [GM]B of memory to be processed "
         "and [0-9.]+ GB of address space, more than the [0-9.]+ [GM]B the process's address-space limit leaves it; "
         "its largest quantity is variable x\\[1048576\\] of submodel big1:b0, of 1048576 elements\\."},
        {"four arrays that fit", "big1.mf0", stateArrays(4, 1 << 16), 3, ""},
    };
    AddressSpaceCap cap(std::uint64_t(1) << 30);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [run, errors] = processBeside(c.file, c.text, "");
        EXPECT_EQ(run.result, c.result) << run.log;
        if (c.refusal.empty()) {
            EXPECT_NE(run.code, "");
            continue;
        }
        EXPECT_TRUE(std::regex_search(errors, std::regex(c.refusal))) << errors;
        EXPECT_EQ(run.code, "");
    }
}

// What the estimate asks of the room: the memory within the machine's physical memory, and the
// address space it maps within what the process's limit leaves it, each up to the last byte.
TEST(ProcessingBounds, TheEstimateFitsUpToTheLastByteOfTheRoom)
{
    Footprint model;
    model.addQuantity("variable x[1000]", 1000, 1 << 20);
    const auto bytes = static_cast<std::uint64_t>(model.bytes);
    EXPECT_EQ(MemoryRefusal(model, platform::memoryRoomOf(bytes, 0, 0, 0)), "");
    EXPECT_EQ(MemoryRefusal(model, platform::memoryRoomOf(0, 0, 0, 0)), "") << "a machine that tells no memory";
    EXPECT_EQ(MemoryRefusal(model, platform::memoryRoomOf(bytes - 1, 0, 0, 0)),
              "the model needs about 1000 MB of memory to be processed, more than the 1000 MB of the machine's "
              "physical memory; its largest quantity is variable x[1000], of 1000 elements.");
    const std::uint64_t space = addressSpaceFor(model.bytes);
    EXPECT_GT(space, bytes);
    EXPECT_EQ(MemoryRefusal(model, platform::memoryRoomOf(bytes, 0, space + 500, 500)), "");
    EXPECT_EQ(MemoryRefusal(model, platform::memoryRoomOf(bytes, 0, space + 500, 501)),
              "the model needs about 1000 MB of memory to be processed and 2.20 GB of address space, more than the "
              "2.20 GB the process's address-space limit leaves it; its largest quantity is variable x[1000], of "
              "1000 elements.");
    // A control group that allows less than the machine has bounds the memory.
    EXPECT_EQ(MemoryRefusal(model, platform::memoryRoomOf(bytes * 2, bytes - 1, 0, 0)),
              "the model needs about 1000 MB of memory to be processed, more than the 1000 MB of the memory of the "
              "process's control group; its largest quantity is variable x[1000], of 1000 elements.");
    EXPECT_EQ(MemoryRefusal(model, platform::memoryRoomOf(bytes * 2, bytes * 3, 0, 0)), "");
    // A limit the process has already passed leaves it nothing.
    EXPECT_EQ(platform::memoryRoomOf(bytes, 0, 100, 200).addressSpace, std::optional<std::uint64_t>(0));
}
