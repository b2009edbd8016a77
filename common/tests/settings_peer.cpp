// A second program of the suite for the settings tests: it starts up on a
// settings file, and reads it again each time it is told the settings
// changed, answering with the values it then holds.
//   settings_peer REPLY_HANDLE SETTINGS_FILE
#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/message_numbers.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_messages.h"
#include "platform/tests/window_peer_protocol.h"

#include <chrono>
#include <string>
#include <unistd.h>

using namespace platform;

namespace {

/// The values the tests look at, as "key=value" lines.
std::string values()
{
    const SettingsValues& v = Settings();
    return "model_dirs=" + v.model_dirs + "\nalias_names=" + v.alias_names + "\ndef_bond_size=" + v.def_bond_size +
           "\ngrid=" + std::to_string(v.grid) + "\nsnap=" + std::to_string(v.snap) + "\nworking=" +
           Startup().WorkingDirectory + "\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    SilentMessageSink silent;
    setMessageSink(&silent);
    const WindowHandle reply = std::stoull(argv[1]);
    const std::vector<std::string> words{"PROGRAM.EXE", "-rc_file", argv[2]};
    if (!StartupSettings(words, 0, {}))
        return 3;
    bool closing = false;
    WindowHandle self = 0;
    self = createWindow([&](const Message& message) {
        if (message.number == PM_CLOSE_WINDOW) {
            closing = true;
            return;
        }
        if (message.number == UM_SETTINGS_CHANGED) {
            // As the programs do: the start-up sequence again, then the new values.
            StartupSettings(words, 0, {});
            postMessage(reply, kPeerEcho, message.number, static_cast<std::int64_t>(self), values());
        }
    });
    if (!registerTopLevelWindow(self, "TQNSettingsPeer"))
        return 5;
    postMessage(reply, kPeerReady, ::getpid(), static_cast<std::int64_t>(self), values());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!closing && std::chrono::steady_clock::now() < deadline)
        pumpMessages(200);
    destroyWindow(self);
    return closing ? 0 : 6;
}
