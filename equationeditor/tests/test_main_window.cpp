// The equation editor's main window offscreen: its start, menus, tool bar and
// status line, and the model commands, checks and hand-offs driven from it.
#include "equationeditor/main_window.h"

#include "equationeditor/editor_state.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/choosers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolBar>

using testsupport::findCommand;
using testsupport::findControl;

namespace {

class EquationWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        ResetStartup();
        ResetSettings();
        models = dir.mkdir("models");
        settings = dir.file("orvanta.ini");
        ASSERT_TRUE(platform::writeFileAtomically(
            settings, "[General]\nmodel_dirs=" + models + ";" + ORVANTA_LIBRARY_DIR +
                          "\nalias_names=models;library\n[Equation Editor]\nee_messages=0\n"
                          "[Model Processor]\nmessages=0\ntempfiles=0\n"));
    }
    void TearDown() override
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ResetSettings();
        ResetStartup();
    }

    void startWindow(const std::string& tail = {})
    {
        window = std::make_unique<TQNEEWindow>(SplitCommandLine(tail + " -rc_file " + settings));
        window->show();
        ASSERT_TRUE(window->SetupWindow());
    }

    QAction* command(int id) const { return findCommand(*window, id); }

    testsupport::TempDir dir;
    std::string models, settings;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scopedSink{sink};
    platform::ScriptedChooserSink choosers;
    platform::ScopedChooserSink scopedChoosers{choosers};
    std::unique_ptr<TQNEEWindow> window;
};

} // namespace

TEST_F(EquationWindow, StartsWithItsMenusToolBarIndicatorsAndMonospaceText)
{
    startWindow();
    EXPECT_EQ(platform::findWindowByClass("TQNEEWindow"), window->handle());
    EXPECT_EQ(window->menuBar()->objectName().toStdString(), "MN_QNEE");
    QStringList entries;
    for (QAction* entry : window->menuBar()->actions())
        entries << entry->text();
    EXPECT_EQ(entries.join('|').toStdString(), "&File|&Edit|&Search|&Properties|P&rocess|&Window|&Help");
    auto* edit = findControl<QPlainTextEdit>(*window, ID_EDIT);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->font().family().toStdString(), "DejaVu Sans Mono");
    EXPECT_TRUE(QFontInfo(edit->font()).fixedPitch());
    ASSERT_NE(window->toolBar(), nullptr);
    for (int id : {101, 252, 105, 104, 122, 201, 205, 901})
        EXPECT_NE(window->toolBar()->findChild<QWidget*>(QStringLiteral("tool_%1").arg(id)), nullptr) << id;
    for (int id : {EE_EXIT, EE_HELP_CONTENTS, EE_HELP_ABOUT})
        EXPECT_TRUE(command(id)->isEnabled()) << id;

    // Insert toggles overtype, and the indicator shows it.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Insert);
    EXPECT_EQ(window->indicator(2)->text().toStdString(), "OVR");
    EXPECT_TRUE(edit->overwriteMode());
    QTest::keyClick(edit, Qt::Key_Insert);
    EXPECT_EQ(window->indicator(2)->text().toStdString(), "");
    testsupport::grabToPng(*window, "equationeditor_started");
}
