// The help commands: HTML help opened at a topic when it is installed, and
// "Help is not available." when it is not.
#include "platform/qt/help.h"

#include "platform/core/message_sink.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

class Help : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        setHelpOpener([this](const std::string& address) {
            m_opened.push_back(address);
            return m_browserWorks;
        });
    }
    void TearDown() override { setHelpOpener({}); }

    testsupport::TempDir m_dir;
    ScriptedMessageSink m_boxes;
    ScopedMessageSink m_useBoxes{m_boxes};
    std::vector<std::string> m_opened;
    bool m_browserWorks = true;
};

} // namespace

TEST_F(Help, AHelpFileIsFoundAsItsHtmlPage)
{
    EXPECT_EQ(htmlHelpFile("/opt/orvanta/help/orvanta.hlp"), "/opt/orvanta/help/orvanta.html");
    EXPECT_EQ(htmlHelpFile("/opt/orvanta/tutorial/orvantatut.HLP"), "/opt/orvanta/tutorial/orvantatut.html");
    EXPECT_EQ(htmlHelpFile("/opt/orvanta/help/orvanta.html"), "/opt/orvanta/help/orvanta.html");
    EXPECT_EQ(htmlHelpFile("/opt/orvanta.d/help/orvanta"), "/opt/orvanta.d/help/orvanta.html");
    EXPECT_EQ(helpAddress("/h/orvanta.html", HELP_CONTEXT, 5), "file:///h/orvanta.html#context-5");
    EXPECT_EQ(helpAddress("/h/orvanta.html", HELP_CONTENTS, 0), "file:///h/orvanta.html");
    EXPECT_EQ(helpAddress("/h/orvanta.html", HELP_HELPONHELP, 2), "file:///h/orvanta.html#using-help");
}

TEST_F(Help, InstalledHelpOpensAtTheTopicAsked)
{
    m_dir.write("help/orvanta.html", "<html></html>\n");
    std::string file = m_dir.file("help/orvanta.hlp");
    EXPECT_EQ(showHelp(7, file, HELP_CONTEXT, 5), 1);
    EXPECT_EQ(showHelp(7, file, HELP_HELPONHELP, 5), 1);
    EXPECT_EQ(showHelp(7, file, HELP_QUIT, 0), 1);
    std::string page = "file://" + m_dir.file("help/orvanta.html");
    EXPECT_EQ(m_opened, (std::vector<std::string>{page + "#context-5", page + "#using-help"}));
    EXPECT_TRUE(m_boxes.transcript().empty());
}

TEST_F(Help, MissingHelpSaysSoInABoxOwnedByTheWindow)
{
    std::string file = m_dir.file("help/orvantadmo.hlp");
    EXPECT_EQ(showHelp(42, file, HELP_CONTENTS, 0), 0);
    EXPECT_TRUE(m_opened.empty());
    ASSERT_EQ(m_boxes.transcript().size(), 1u);
    EXPECT_EQ(m_boxes.transcript()[0].caption, "Orvanta: Message");
    EXPECT_EQ(m_boxes.transcript()[0].owner, 42u);
    EXPECT_EQ(m_boxes.transcript()[0].lines,
              (std::vector<std::string>{"Help is not available.",
                                        "The help file " + m_dir.file("help/orvantadmo.html") + " is not installed."}));

    // Installed, but no browser to show it.
    m_dir.write("help/orvantadmo.html", "<html></html>\n");
    m_browserWorks = false;
    EXPECT_EQ(showHelp(42, file, HELP_CONTENTS, 0), 0);
    ASSERT_EQ(m_boxes.transcript().size(), 2u);
    EXPECT_EQ(m_boxes.transcript()[1].lines[1], "No browser could open " + m_dir.file("help/orvantadmo.html") + ".");
}
