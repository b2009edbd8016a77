// User function libraries: a test library's gain called through hlg, flk and dll,
// its four life-cycle entries, and the messages of a failing call.
#include "model_test_support.h"

#include "common/startup.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/user_libraries.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

using modeltest::cell;
using modeltest::codeFile;

namespace {

namespace fs = std::filesystem;

/// The directory the test libraries are built in, which stands for the model's.
std::string libraryDirectory()
{
    return fs::path(TEST_USER_LIBRARY).parent_path().string();
}

/// A test library's bare file name.
std::string bareName(const char* library)
{
    return fs::path(library).filename().string();
}

/// v2..v3 = gain(v0..v1) with p2 inputs and p3 outputs.
const std::string GainModel = codeFile({"#DParam \t4", "\t#string\tlibrary", "\t#string\tfunction", "\t#int\tn_in",
                                        "\t#int\tn_out", "#DVariable\t5", "\t#real\tu1", "\t#real\tu2", "\t#real\ty1",
                                        "\t#real\ty2", "\t#real\tdummy", "#Edynamic\t4", "\thlg\tV4\tV0\tP2",
                                        "\tflk\tV2\tP3", "\tdll\tV4\tP0\tP1", "\tmov\tV4\t1"});

class UserLibraries : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Our own handle keeps the library, and so its call counts, alive across unloads.
        m_handle = dlopen(TEST_USER_LIBRARY, RTLD_NOW);
        ASSERT_NE(m_handle, nullptr) << dlerror();
        auto calls = reinterpret_cast<const int* (*)()>(dlsym(m_handle, "LifeCycleCalls"));
        ASSERT_NE(calls, nullptr);
        m_calls = calls();
        platform::setMessageSink(&m_sink);
        modeltest::loadClean(GainModel);
        SetUserDllModelDirectory(libraryDirectory());
        SetStringValue(cell('P', 0), bareName(TEST_USER_LIBRARY));
        SetStringValue(cell('P', 1), "gain");
        cell('P', 2) = 2;
        cell('P', 3) = 2;
        cell('V', 0) = 1.5;
        cell('V', 1) = -4.0;
    }
    void TearDown() override
    {
        TerminateUserDlls();
        SetMultipleRunActive(false);
        SetUserDllModelDirectory("");
        ResetStartup();
        platform::setMessageSink(nullptr);
        if (m_handle)
            dlclose(m_handle);
    }

    std::vector<int> calls() const { return {m_calls[0], m_calls[1], m_calls[2], m_calls[3]}; }

    void* m_handle = nullptr;
    const int* m_calls = nullptr;
    platform::ScriptedMessageSink m_sink;
};

} // namespace

TEST_F(UserLibraries, GainIsCalledWithTheRegistersOfHlgAndFlk)
{
    const std::vector<int> before = calls();
    EvaluateModel(0.0);
    EXPECT_EQ(RunStopFlag, 0);
    EXPECT_EQ(cell('V', 2), 3.0);
    EXPECT_EQ(cell('V', 3), -8.0);
    EXPECT_EQ(cell('V', 4), 1.0);
    EXPECT_EQ(UserDllCount(), 1);
    cell('V', 0) = 10.0;
    EvaluateModel(0.1); // the second call finds the library registered
    EXPECT_EQ(cell('V', 2), 20.0);
    EXPECT_EQ(calls()[0], before[0] + 1); // Initialize once
    EXPECT_TRUE(m_sink.transcript().empty());

    TerminateUserDlls();
    EXPECT_EQ(calls()[3], before[3] + 1);
    EXPECT_EQ(UserDllCount(), 0);
    EvaluateModel(0.2); // loads again, though the instruction had found the function before
    EXPECT_EQ(calls()[0], before[0] + 2);
    EXPECT_EQ(cell('V', 2), 20.0);

    SetStringValue(cell('P', 1), "gainx"); // a changed name is looked up again
    EvaluateModel(0.3);
    EXPECT_EQ(RunStopFlag, 1);
    EXPECT_EQ(m_sink.transcriptLines(), (std::vector<std::string>{"Function \"gainx\" could not be found in dll."}));
}

TEST_F(UserLibraries, RunEntriesFrameEachRunOfASeries)
{
    const std::vector<int> before = calls();
    SetMultipleRunActive(true);
    EvaluateModel(0.0); // loaded during a series: Initialize and InitializeRun
    EXPECT_EQ(calls()[1], before[1] + 1);
    TerminateUserDllRun();
    InitializeUserDllRun();
    TerminateUserDllRun();
    EXPECT_EQ(calls(), (std::vector<int>{before[0] + 1, before[1] + 2, before[2] + 2, before[3]}));
}

TEST_F(UserLibraries, LibraryWithoutLifeCycleEntriesRuns)
{
    SetMultipleRunActive(true);
    SetStringValue(cell('P', 0), bareName(TEST_BARE_LIBRARY));
    SetStringValue(cell('P', 1), "total");
    cell('P', 3) = 1;
    EvaluateModel(0.0);
    InitializeUserDllRun();
    TerminateUserDllRun();
    TerminateUserDlls();
    EXPECT_EQ(RunStopFlag, 0);
    EXPECT_EQ(cell('V', 2), -2.5);
    EXPECT_TRUE(m_sink.transcript().empty());
}

TEST_F(UserLibraries, FailuresShowTheirMessageAndStopTheRun)
{
    struct FailureCase {
        const char* what;
        const char* library;
        const char* function;
        double inputs, outputs;
        std::vector<std::string> message;
    };
    std::string where;
    for (const std::string& directory : UserDllDirectories())
        where += (where.empty() ? "" : "; ") + directory;
    const std::string gain = bareName(TEST_USER_LIBRARY);
    const std::vector<FailureCase> cases = {
        {"no library", "libnone.so", "gain", 2, 2,
         {"dll \"libnone.so\" could not be found, or could not be initialized.",
          "There is no file libnone.so in " + where + "."}},
        {"no function", gain.c_str(), "gainx", 2, 2, {"Function \"gainx\" could not be found in dll."}},
        {"function fails", gain.c_str(), "gain", 0, 2, {"Error occurred in user dll-function \"gain\"."}},
        {"outputs beyond the array", gain.c_str(), "gain", 2, 4,
         {"Error during simulation:", "Array index out of bounds", "index is 4, and should be between 0 and 3"}},
        {"inputs beyond the array", gain.c_str(), "gain", 6, 2,
         {"Error during simulation:", "Array index out of bounds", "index is 6, and should be between 0 and 5"}},
    };
    for (const FailureCase& c : cases) {
        m_sink.clear();
        RunStopFlag = 0;
        SetStringValue(cell('P', 0), c.library);
        SetStringValue(cell('P', 1), c.function);
        cell('P', 2) = c.inputs;
        cell('P', 3) = c.outputs;
        EvaluateModel(0.0);
        EXPECT_EQ(RunStopFlag, 1) << c.what;
        ASSERT_EQ(m_sink.transcript().size(), 1u) << c.what;
        EXPECT_EQ(m_sink.transcript()[0].lines, c.message) << c.what;
    }
}

// A library is named by its bare file name and looked for in the model's directory, the
// working directory and the program's directory, by absolute path; the system's library
// path is never searched, so a system library of that name is not taken for it.
TEST_F(UserLibraries, ANameWithoutADirectoryIsLookedForOnlyBesideTheModelAndTheProgram)
{
    testsupport::TempDir dir;
    const std::string model = dir.mkdir("model"), work = dir.mkdir("work"), program = dir.mkdir("program");
    fs::copy_file(TEST_USER_LIBRARY, model + "/testgain.so");
    fs::create_directories(model + "/lib");
    fs::copy_file(TEST_USER_LIBRARY, model + "/lib/libgain.so");
    // The working directory holds a library of the same name without the function.
    fs::copy_file(TEST_BARE_LIBRARY, work + "/testgain.so");
    fs::copy_file(TEST_BARE_LIBRARY, program + "/bare.so");
    Startup().WorkingDirectory = work;
    Startup().StartupDirectory = program;
    SetUserDllModelDirectory(model);
    EXPECT_EQ(UserDllDirectories(), (std::vector<std::string>{model, work, program}));

    struct Lookup {
        const char* name;
        std::optional<std::string> path;
    };
    const std::vector<Lookup> lookups = {
        {"testgain.so", model + "/testgain.so"},  // the model's directory comes first
        {"testgain", model + "/testgain.so"},     // no extension: ".so" is tried too
        {"lib/libgain.so", std::nullopt},         // a name with a directory is no library's
        {"bare", program + "/bare.so"},           // the program's directory last
        {"libm.so.6", std::nullopt},              // on the system's path only
        {"testgain.so/", std::nullopt},
        {"../model/testgain.so", std::nullopt},
        {"", std::nullopt},
    };
    for (const Lookup& l : lookups)
        EXPECT_EQ(FindUserDllFile(l.name), l.path) << l.name;
    EXPECT_EQ(FindUserDllFile(model + "/testgain.so"), std::nullopt) << "an absolute name is no library's";
    {
        // A model directory given relative to the current one, as the settings may give it.
        testsupport::ScopedCurrentDirectory here(model);
        SetUserDllModelDirectory(".");
        EXPECT_EQ(fs::path(UserDllDirectories().front()), fs::canonical(model));
        EXPECT_EQ(FindUserDllFile("testgain"), (fs::canonical(model) / "testgain.so").string());
        SetUserDllModelDirectory(model);
    }

    // The model calls the library beside it by its bare name.
    SetStringValue(cell('P', 0), "testgain");
    EvaluateModel(0.0);
    EXPECT_EQ(RunStopFlag, 0);
    EXPECT_EQ(cell('V', 2), 3.0);
    EXPECT_TRUE(m_sink.transcript().empty());

    // A system library's bare name is refused with the places looked in.
    SetStringValue(cell('P', 0), "libm.so.6");
    SetStringValue(cell('P', 1), "sin");
    EvaluateModel(0.1);
    EXPECT_EQ(RunStopFlag, 1);
    ASSERT_EQ(m_sink.transcript().size(), 1u);
    EXPECT_EQ(m_sink.transcript()[0].lines,
              (std::vector<std::string>{"dll \"libm.so.6\" could not be found, or could not be initialized.",
                                        "There is no file libm.so.6 in " + model + "; " + work + "; " + program + "."}));
    EXPECT_EQ(UserDllCount(), 1) << "only the library beside the model was loaded";
}

// An experiment that names a library by a path, absolute or relative, has it refused with a
// message that names it: the library is neither loaded nor its "Initialize" run, so that a
// model and its experiment run no code from outside the model's, the working and the
// program's directories.
TEST_F(UserLibraries, ALibraryNamedWithAPathIsRefusedAndNeverInitialized)
{
    testsupport::TempDir dir;
    const std::string model = dir.mkdir("model"), elsewhere = dir.mkdir("elsewhere");
    fs::copy_file(TEST_USER_LIBRARY, elsewhere + "/testgain.so");
    SetUserDllModelDirectory(model);
    Startup().StartupDirectory = model;
    const std::string where = model;
    const std::vector<int> before = calls();
    for (const std::string& name : {std::string(TEST_USER_LIBRARY), elsewhere + "/testgain.so",
                                    std::string("../elsewhere/testgain.so"), std::string("../elsewhere/testgain")}) {
        SCOPED_TRACE(name);
        m_sink.clear();
        RunStopFlag = 0;
        SetStringValue(cell('P', 0), name);
        EvaluateModel(0.0);
        EXPECT_EQ(RunStopFlag, 1);
        ASSERT_EQ(m_sink.transcript().size(), 1u);
        EXPECT_EQ(m_sink.transcript()[0].lines,
                  (std::vector<std::string>{"dll \"" + name + "\" could not be found, or could not be initialized.",
                                            "The library " + name + " is not named by its file name alone; it is "
                                            "looked for only in " + where + "."}));
        EXPECT_EQ(UserDllCount(), 0);
        EXPECT_EQ(calls(), before) << "no Initialize ran";
    }
}
