// The help window: help commands show installed pages at their topic without a
// browser, links are followed in the window with Back, Forward and Contents,
// and missing help says so in a box.
#include "platform/qt/help.h"

#include "platform/core/message_sink.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <QAction>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace platform;

namespace {

/// A page long enough to scroll, with a heading for each anchor and the links given.
std::string page(const std::string& title, const std::vector<std::string>& anchors, const std::string& links)
{
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>\n";
    html += "<p>" + links + "</p>\n";
    for (const std::string& anchor : anchors) {
        for (int i = 0; i < 40; ++i)
            html += "<p>Text before " + anchor + ", line " + std::to_string(i) + ".</p>\n";
        html += "<h2 id=\"" + anchor + "\">Heading " + anchor + "</h2>\n";
    }
    return html + "<p>The end.</p>\n</body></html>\n";
}

class Help : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        m_dir.write("help/orvanta.html",
                    page("Orvanta Help: Contents", {"context-5", "using-help"},
                         "<a href=\"orvantadmo.html#demo-msd1\">to the demo</a> <a href=\"#using-help\">using</a> "
                         "<a href=\"orvantanone.html\">to nowhere</a> <a href=\"https://www.orvanta.org/\">outside</a>"));
        m_dir.write("help/orvantadmo.html", page("Orvanta Help: Demo Models", {"demo-msd1"}, "Demo"));
        m_file = m_dir.file("help/orvanta.hlp");
        m_page = m_dir.file("help/orvanta.html");
    }
    void TearDown() override { showHelp(0, m_file, HELP_QUIT, 0); }

    HelpWindow& window()
    {
        HelpWindow* shown = helpWindow();
        EXPECT_NE(shown, nullptr);
        return *shown;
    }

    /// Clicks a link of the page shown, found by its text, as the user does.
    void clickLink(const QString& text)
    {
        QTextBrowser& pages = window().pages();
        QTextCursor link = pages.document()->find(text);
        ASSERT_FALSE(link.isNull()) << text.toStdString();
        QTextCursor at(pages.document());
        at.setPosition(link.selectionStart() + 1);
        pages.setTextCursor(at);
        pages.ensureCursorVisible();
        QTest::mouseClick(pages.viewport(), Qt::LeftButton, {}, pages.cursorRect(at).center());
    }

    void trigger(const char* action)
    {
        QAction* tool = window().findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(tool, nullptr) << action;
        ASSERT_TRUE(tool->isEnabled()) << action;
        tool->trigger();
    }

    bool enabled(const char* action)
    {
        QAction* tool = window().findChild<QAction*>(QString::fromLatin1(action));
        return tool && tool->isEnabled();
    }

    std::string address(const std::string& file, const std::string& anchor = {})
    {
        return helpAddress({m_dir.file(file), anchor});
    }

    testsupport::TempDir m_dir;
    ScriptedMessageSink m_boxes;
    ScopedMessageSink m_useBoxes{m_boxes};
    testsupport::NoBrowser m_browser;
    std::string m_file;
    std::string m_page;
};

} // namespace

TEST_F(Help, AHelpCommandShowsItsPageAtTheTopicInTheProgramsOneHelpWindowWithoutABrowser)
{
    ASSERT_EQ(showHelp(7, m_file, HELP_CONTEXT, 5), 1);
    HelpWindow* first = helpWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowTitle().toStdString(), "Orvanta Help: Contents");
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvanta.html", "context-5"));
    EXPECT_GT(first->pages().verticalScrollBar()->value(), 0);

    ASSERT_EQ(showHelp(7, m_file, HELP_HELPONHELP, 5), 1);
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvanta.html", "using-help"));
    ASSERT_EQ(showHelp(7, m_dir.file("help/orvantadmo.hlp"), HELP_CONTENTS, 0), 1);
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvantadmo.html"));
    EXPECT_EQ(first->windowTitle().toStdString(), "Orvanta Help: Demo Models");
    EXPECT_EQ(helpWindow(), first) << "help opened again shows the same window";

    // Quitting help closes the window; the next command brings the same one back.
    EXPECT_EQ(showHelp(7, m_file, HELP_QUIT, 0), 1);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(testsupport::shownHelpPlace(), "(no help window)");
    ASSERT_EQ(showHelp(7, m_file, HELP_CONTEXT, 5), 1);
    EXPECT_EQ(helpWindow(), first);
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvanta.html", "context-5"));
    EXPECT_FALSE(first->testAttribute(Qt::WA_QuitOnClose)) << "an open help window keeps no program running";

    EXPECT_TRUE(m_browser.opened.empty());
    EXPECT_TRUE(m_boxes.transcript().empty()) << testing::PrintToString(m_boxes.transcriptLines());
}

TEST_F(Help, LinksAreFollowedInTheWindowAndBackForwardAndContentsWalkThem)
{
    ASSERT_EQ(showHelp(7, m_file, HELP_CONTEXT, 5), 1);
    EXPECT_FALSE(enabled("help_forward"));

    clickLink("to the demo");
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvantadmo.html", "demo-msd1"));
    EXPECT_EQ(window().windowTitle().toStdString(), "Orvanta Help: Demo Models");
    trigger("help_back");
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvanta.html", "context-5"));
    EXPECT_TRUE(enabled("help_forward"));
    trigger("help_forward");
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvantadmo.html", "demo-msd1"));
    EXPECT_FALSE(enabled("help_forward"));

    // Contents: the top of the page the help command opened.
    trigger("help_contents");
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvanta.html"));
    EXPECT_EQ(window().pages().verticalScrollBar()->value(), 0);
    clickLink("using");
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvanta.html", "using-help"));
    trigger("help_back");
    trigger("help_back");
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvantadmo.html", "demo-msd1"));
    EXPECT_TRUE(m_browser.opened.empty());
    EXPECT_TRUE(m_boxes.transcript().empty()) << testing::PrintToString(m_boxes.transcriptLines());
}

TEST_F(Help, ADeadLinkSaysSoAndAnOutsideAddressOrOpenInBrowserGoesToTheBrowser)
{
    ASSERT_EQ(showHelp(7, m_file, HELP_CONTENTS, 0), 1);
    const WindowHandle helpHandle = window().handle();
    ASSERT_NE(helpHandle, 0u);

    clickLink("to nowhere");
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvanta.html")) << "the page stays";
    ASSERT_EQ(m_boxes.transcript().size(), 1u);
    EXPECT_EQ(m_boxes.transcript()[0].owner, helpHandle);
    EXPECT_EQ(m_boxes.transcript()[0].lines,
              (std::vector<std::string>{"Help is not available.",
                                        "The help file " + m_dir.file("help/orvantanone.html") + " is not installed."}));

    clickLink("outside");
    trigger("help_browser");
    EXPECT_EQ(m_browser.opened, (std::vector<std::string>{"https://www.orvanta.org/", address("help/orvanta.html")}));
    ASSERT_EQ(m_boxes.transcript().size(), 3u) << "no browser could open either";
    EXPECT_EQ(m_boxes.transcript()[1].lines[0], "No browser could open https://www.orvanta.org/.");
    EXPECT_EQ(m_boxes.transcript()[2].lines[0], "No browser could open " + m_page + ".");
    EXPECT_EQ(m_boxes.transcript()[2].owner, helpHandle);
    EXPECT_EQ(testsupport::shownHelpPlace(), address("help/orvanta.html"));

    // With a browser, an outside address opens there and no box shows.
    setHelpOpener([](const std::string&) { return true; });
    clickLink("outside");
    EXPECT_EQ(m_boxes.transcript().size(), 3u);
}

TEST_F(Help, MissingHelpSaysSoInABoxOwnedByTheWindow)
{
    std::string file = m_dir.file("tutorial/orvantatut.hlp");
    EXPECT_EQ(showHelp(42, file, HELP_CONTENTS, 0), 0);
    EXPECT_EQ(testsupport::shownHelpPlace(), "(no help window)");
    ASSERT_EQ(m_boxes.transcript().size(), 1u);
    EXPECT_EQ(m_boxes.transcript()[0].caption, "Orvanta: Message");
    EXPECT_EQ(m_boxes.transcript()[0].owner, 42u);
    EXPECT_EQ(m_boxes.transcript()[0].lines,
              (std::vector<std::string>{"Help is not available.",
                                        "The help file " + m_dir.file("tutorial/orvantatut.html") + " is not installed."}));
    EXPECT_TRUE(m_browser.opened.empty());
}
