// Tests of the display hooks, the parse-error report and the routing by the `messages` setting.
#include "modelproc/display_hooks.h"

#include "common/settings_table.h"
#include "platform/core/message_sink.h"

#include <gtest/gtest.h>

namespace {

class HooksTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        CurrentPosition() = ProcessingPosition{};
        setProcessorLog([this](const std::string& line) { log.push_back(line); });
    }
    void TearDown() override
    {
        setProcessorLog(nullptr);
        ttset_error_callback(nullptr);
        ResetSettings();
    }
    std::vector<std::string> log;
};

} // namespace

TEST(TokenDisplay, Forms)
{
    const struct {
        std::optional<std::string> token;
        const char* shown;
    } cases[] = {
        {std::nullopt, "[Unknown]"}, {std::string(), "[EOF]"},     {std::string("\b"), "[BS]"},
        {std::string("\t"), "[TAB]"}, {std::string("\n"), "[NL]"},  {std::string("\f"), "[FF]"},
        {std::string("\r"), "[CR]"},  {std::string("\nx"), "[NL]"}, {std::string("x1"), "\"x1\""},
        {std::string(600, 'a'), nullptr},
    };
    for (const auto& c : cases) {
        std::string expected = c.shown ? c.shown : "\"" + *c.token + "\""; // no length limit
        EXPECT_EQ(tokenDisplayForm(c.token), expected);
    }
}

TEST(ErrorLine, Pieces)
{
    EXPECT_EQ(formatErrorLine("General error", nullptr, nullptr, -1, nullptr, nullptr),
              "General error: <error: no further information available>");
    EXPECT_EQ(formatErrorLine("Parse error ", "m/x.mg3", nullptr, 4, "\"p\"", "syntax error"),
              "Parse error in file \"m/x.mg3\" line 4 at \"p\": syntax error");
    EXPECT_EQ(formatErrorLine(nullptr, "x.sg3", "sub", 0, nullptr, "bad"), "in file \"x.sg3:sub\" line 0: bad");
    std::string longMessage(2000, 'm');
    EXPECT_EQ(formatErrorLine(nullptr, nullptr, nullptr, -1, nullptr, longMessage.c_str()), ": " + longMessage);
    EXPECT_EQ(pathTail("/a/b/c.mg3"), "c.mg3");
    EXPECT_EQ(pathTail("c.mg3"), "c.mg3");
}

TEST_F(HooksTest, RoutingByMessagesSetting)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scope(sink);
    const struct {
        int messages;
        std::vector<std::string> expected;
    } cases[] = {
        {0, {}},
        {1, {"Parse error in file \"x.mg3\" line 2 at [NL]: syntax error", "diag"}},
        {2, {"***** Parse error in file \"x.mg3\" line 2 at [NL]: syntax error", "progress", "diag"}},
    };
    for (const auto& c : cases) {
        log.clear();
        Settings().messages = c.messages;
        CurrentPosition().errorCount = 0;
        ttdisplay_error_comp("Parse error ", "x.mg3", nullptr, 2, "[NL]", "syntax error");
        ttdisplay_progress_comp("progress");
        ttdisplay_diag_comp("diag");
        EXPECT_EQ(log, c.expected) << c.messages;
        EXPECT_EQ(CurrentPosition().errorCount, 1) << "errors count at every setting";
    }
    EXPECT_TRUE(sink.transcript().empty());
    for (int messages : {3, -1}) {
        sink.clear();
        log.clear();
        Settings().messages = messages;
        ttdisplay_error_comp(nullptr, nullptr, nullptr, -1, nullptr, nullptr);
        ttdisplay_progress_comp("p");
        ttdisplay_diag_comp("d");
        EXPECT_TRUE(log.empty());
        EXPECT_EQ(sink.transcriptLines(),
                  (std::vector<std::string>{"<error in ttdisplay_error_comp: ttmess > 2>", "--",
                                            "<error in ttdisplay_progress_comp: ttmess > 2>", "--",
                                            "<error in ttdisplay_diag_comp: ttmess > 2>"}));
    }
}

TEST_F(HooksTest, ParseErrorReportsTheCurrentPosition)
{
    ttset_error_callback(ttdisplay_error_comp);
    Settings().messages = 2;
    CurrentPosition().errorFile = "/models/pend1.mg3";
    CurrentPosition().line = 7;
    CurrentPosition().token = "\n";
    ttparse_error(nullptr);
    CurrentPosition().token = "x";
    ttparse_error("unknown name");
    CurrentPosition().token.reset();
    CurrentPosition().errorFile.clear();
    ttparse_error("late");
    EXPECT_EQ(log, (std::vector<std::string>{
                       "***** Parse error in file \"/models/pend1.mg3\" line 7 at [NL]: syntax error",
                       "***** Parse error in file \"/models/pend1.mg3\" line 7 at \"x\": unknown name",
                       "***** Parse error in file \"\" line 7 at [Unknown]: late",
                   }));
    EXPECT_EQ(CurrentPosition().errorCount, 3);
}

TEST_F(HooksTest, SettersFallBackToEmptyFunctions)
{
    ttset_error_callback(nullptr);
    ttset_progress_callback(nullptr);
    ttset_diag_callback(nullptr);
    ttset_percent_callback(nullptr);
    // Callable without a test; percent and status stay empty.
    DisplayHooks().error("k", nullptr, nullptr, -1, nullptr, nullptr);
    DisplayHooks().progress("p");
    DisplayHooks().diag("d");
    EXPECT_FALSE(DisplayHooks().percent);
    std::vector<int> percents;
    ttset_percent_callback([&](int p) { percents.push_back(p); });
    DisplayHooks().percent(90);
    EXPECT_EQ(percents, std::vector<int>{90});
    ttset_percent_callback(nullptr);
    EXPECT_TRUE(log.empty());
}
