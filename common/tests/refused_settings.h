// Test support: settings files that are no settings files (a device, a pipe, a directory, a
// file over the bound), given to a program's start-up with -rc_file, and what every program
// must do with them: tell the file by name, ask whether to go on, and stop or go on as answered.
#pragma once

#include "platform/core/message_sink.h"
#include "platform/core/profile_file.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

/// One thing at the settings path, and the line that tells its refusal.
struct RefusedSettingsFile {
    std::string kind;
    std::string path;
    std::string told;
};

/// The question after a settings file with errors.
inline const std::string SettingsFileQuestion = "There are errors reading initialization file. Continue startup?";

/// The things at the settings path: /dev/zero, a pipe (made and released as long as `pipe`
/// lives), a directory and a file one byte over the bound, in `dir`.
inline std::vector<RefusedSettingsFile> refusedSettingsFiles(const TempDir& dir, const PipeReleaser& pipe)
{
    const std::string folder = dir.mkdir("folder.ini");
    // A valid file but for its size: a comment makes it one byte too long.
    std::string large = "[Graph Editor]\ngrid=0\n;";
    large += std::string(platform::kProfileReadLimit - large.size(), 'x');
    const std::string big = dir.write("big.ini", large + "\n");
    const auto told = [](const std::string& path, const std::string& why) {
        return "Can not read settings file '" + path + "': " + why + ".";
    };
    return {
        {"a device", "/dev/zero", told("/dev/zero", "it is not a regular file")},
        {"a pipe", pipe.path(), told(pipe.path(), "it is not a regular file")},
        {"a directory", folder, told(folder, "it is a directory")},
        {"a file over the bound", big,
         told(big, "it is larger than " + std::to_string(platform::kProfileReadLimit) + " bytes")},
    };
}

/// Starts a program on each refused settings file twice, answering the question with Cancel and
/// then with Continue: each time the one box names the file, the question follows, and `start`
/// (the program's set-up on the words; true when it goes on) says that it stopped on Cancel and
/// went on after Continue. `reset` puts the process back as between two starts.
inline void expectRefusedSettingsFiles(const TempDir& dir, platform::ScriptedMessageSink& sink,
                                       const std::function<bool(const std::vector<std::string>& words)>& start,
                                       const std::function<void()>& reset)
{
    const PipeReleaser pipe(dir.file("pipe.ini"));
    const std::vector<RefusedSettingsFile> files = refusedSettingsFiles(dir, pipe);
    for (const RefusedSettingsFile& file : files) {
        for (const bool goOn : {false, true}) {
            SCOPED_TRACE(file.kind + (goOn ? ", continued" : ", cancelled"));
            reset();
            sink.clear();
            sink.queueAnswers({goOn ? platform::BoxAnswer::Ok : platform::BoxAnswer::Cancel});
            EXPECT_EQ(start({"PROGRAM.EXE", "-rc_file", file.path}), goOn);
            ASSERT_GE(sink.transcript().size(), 2u) << testing::PrintToString(sink.transcriptLines());
            EXPECT_EQ(sink.transcript()[0].lines, std::vector<std::string>{file.told});
            EXPECT_EQ(sink.transcript()[1].lines, std::vector<std::string>{SettingsFileQuestion});
            if (!goOn) {
                EXPECT_EQ(sink.transcript().size(), 2u) << testing::PrintToString(sink.transcriptLines());
            }
        }
    }
    reset();
}

} // namespace testsupport
