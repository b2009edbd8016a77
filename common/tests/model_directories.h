// Test support of the editors: two model directories in a temporary folder,
// the settings and start-up values fresh around them, and boxes answered by a
// script.
#pragma once

#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <string>

namespace testsupport {

/// "models" first, "more" second; what the settings point at is the editor's to say.
class ModelDirectories {
public:
    ModelDirectories() : models(dir.mkdir("models")), more(dir.mkdir("more"))
    {
        ResetStartup();
        ResetSettings();
    }
    ~ModelDirectories()
    {
        ResetSettings();
        ResetStartup();
    }

    std::string read(const std::string& path) const { return readText(path); }
    bool exists(const std::string& path) const { return platform::fileExists(path); }

    TempDir dir;
    std::string models, more;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scopedSink{sink};
};

} // namespace testsupport
