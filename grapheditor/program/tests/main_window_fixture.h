// The graph editor's main window started offscreen as the program starts it,
// on two model directories and a copy of the element library, with scripted
// boxes and choosers and the suite's programs found beside it.
#pragma once

#include "grapheditor/program/main_window.h"

#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/processing_handoff.h"

#include "common/about_dialog.h"
#include "common/canvas_window.h"
#include "common/launcher.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "grapheditor/graph_objects.h"
#include "platform/core/choosers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_messages.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenuBar>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace editortest {

/// Pumps events until the condition holds; false after the time out.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    for (int waited = 0; !condition(); waited += 20) {
        if (waited >= timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        startFresh();
        models = dir.mkdir("models");
        more = dir.mkdir("more");
        // The processor renames the submodel files it reads: it works on a copy of the library.
        library = dir.file("library");
        std::filesystem::copy(ORVANTA_LIBRARY_DIR, library);
        settings = dir.file("orvanta.ini");
        writeSettings(0, 1);
    }
    /// The program's state as at its start, and the programs the editor starts found
    /// beside it, as in the installation.
    void startFresh()
    {
        testsupport::testApplication();
        ResetStartup();
        ResetSettings();
        ResetEditor();
        const char* path = std::getenv("PATH");
        pathVariable.emplace("PATH", (std::string(ORVANTA_BIN_DIR) + ":" + (path ? path : "")).c_str());
    }
    void TearDown() override
    {
        window.reset();
        CloseStartupBox();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ResetEditor();
        ResetSettings();
        ResetStartup();
    }

    /// The settings file: the three model directories, the processor's message and
    /// temporary-file switches and whether the canvas shows its grid.
    void writeSettings(int messages, int tempfiles, int grid = 1)
    {
        ASSERT_TRUE(platform::writeFileAtomically(
            settings, "[General]\nmodel_dirs=" + models + ";" + more + ";" + library +
                          "\nalias_names=models;more;library\n"
                          "[Graph Editor]\ndef_bond_size=3\ngrid_snap_size=1\ngrid=" + std::to_string(grid) +
                          "\nsnap=1\nshowname=1\n"
                          "[Equation Editor]\nee_messages=1\n"
                          "[Model Processor]\nmessages=" + std::to_string(messages) + "\ntempfiles=" +
                          std::to_string(tempfiles) + "\n"
                          "[Simulator]\nmode=0\nsim_grid=1\ncolors=1\ndashing=0\nlinewidth=1\nwarp=1\n"));
    }

    /// The example under a model name of the suite (its name with the version digit).
    void copyExample(const std::string& from, const std::string& directory, const std::string& to)
    {
        std::string text = testsupport::readText(std::string(ORVANTA_MODELS_DIR) + "/" + from);
        ASSERT_FALSE(text.empty());
        ASSERT_TRUE(platform::writeFileAtomically(directory + "/" + to, text));
    }

    /// The window started as the program starts it.
    void startWindow(const std::string& tail = {})
    {
        window = std::make_unique<TQNBGEWindow>(SplitCommandLine(tail + " -rc_file " + settings));
        window->show();
        ASSERT_TRUE(window->SetupWindow());
        // The code-generator module lies beside the programs.
        Startup().InstallDirectory = ORVANTA_BIN_DIR;
    }

    QAction* command(int id) const { return testsupport::findCommand(*window, id); }

    /// File > Open, and the model name chooser it shows; null when none came up.
    QWidget* openChooser()
    {
        command(CM_OPEN)->trigger();
        QWidget* chooser = nullptr;
        waitUntil([&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (widget->objectName() == "DLG_FILE" && widget->isVisible())
                    chooser = widget;
            return chooser != nullptr;
        }, 3000);
        return chooser;
    }
    bool enabled(int id) const { return command(id) && command(id)->isEnabled(); }
    QList<QAction*> menuEntries() const { return window->menuBar()->actions(); }

    /// Posts a message as another program would, and waits until it has been handled.
    void post(platform::MessageNumber number, std::int64_t wParam, std::optional<std::string> text = {})
    {
        ASSERT_TRUE(platform::postMessage(window->handle(), number, wParam, 0, std::move(text)));
        QTest::qWait(50);
    }

    /// Waits for the processing to be answered by the real model processor.
    bool processed(const std::string& kept)
    {
        return waitUntil([&] { return Editor().statusText == kept; }, 60000);
    }

    Submodel* submodel(const std::string& name) const
    {
        for (Submodel& s : CurrentModel().submodels)
            if (s.name == name)
                return &s;
        return nullptr;
    }

    /// A mouse message of the canvas at a point of the drawing, as the canvas hands it on.
    void canvasMessage(platform::MessageNumber number, int x, int y)
    {
        window->canvas().forwardToParent(number, 0, platform::pointParam(x, y));
    }

    testsupport::TempDir dir;
    std::string models, more, library, settings;
    std::optional<testsupport::ScopedEnvironment> pathVariable;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scopedSink{sink};
    platform::ScriptedChooserSink choosers;
    platform::ScopedChooserSink scopedChoosers{choosers};
    std::unique_ptr<TQNBGEWindow> window;
};


} // namespace editortest
