// Reserved words: the exact, case-sensitive table and the report of a match.
#include "common/reserved_words.h"

#include "platform/core/message_sink.h"

#include <gtest/gtest.h>

TEST(ReservedWords, MatchIsExactAndCaseSensitive)
{
    const auto words = ReservedWords();
    ASSERT_EQ(words.size(), 103u);
    EXPECT_EQ(words.front(), "1_effort");
    EXPECT_EQ(words.back(), "table_from_file");
    const struct {
        const char* name;
        int reserved;
    } cases[] = {
        {"SIN", 1}, {"sin", 1}, {"Sin", 0}, {"1_flow", 1}, {"", 0}, {"from_files", 0}, {"tp", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsReservedWord(c.name, 0), c.reserved) << c.name;
}

TEST(ReservedWords, ReportShowsTheNameQuotedOnlyForAMatch)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    EXPECT_EQ(IsReservedWord("sin", 0), 1);
    EXPECT_EQ(IsReservedWord("pump", 1), 0);
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(IsReservedWord("ddt", 1), 1);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines, (std::vector<std::string>{"\"ddt\"", "is a reserverd word"}));
}
