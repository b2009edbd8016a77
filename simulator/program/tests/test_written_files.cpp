// What the simulator does with the files it is given: a settings file that is no regular file
// of its size is refused by name.
#include "simulator_harness.h"

#include "common/tests/refused_settings.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QApplication>

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
