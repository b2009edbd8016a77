// Heap texts: ownership on append and prepend, ranges, and directory-list splitting.
#include "common/text_helpers.h"

#include <gtest/gtest.h>

#include <string>

TEST(HeapTexts, DupRangeAndFree)
{
    EXPECT_EQ(StrDup(nullptr), nullptr);
    const char* text = "abcdef";
    EXPECT_EQ(StrRange(text + 2, text + 2), nullptr);
    EXPECT_EQ(StrRange(text + 3, text + 1), nullptr);
    char* range = StrRange(text + 1, text + 4);
    EXPECT_STREQ(range, "bcd");
    StrFree(range);
    EXPECT_EQ(range, nullptr);
    StrFree(range); // a null reference is left alone
}

TEST(HeapTexts, AppendAndPrependOwnTheirText)
{
    char* text = StrDup("dir");
    EXPECT_EQ(StrAppend(text, ""), text);
    EXPECT_EQ(StrAppend(text, nullptr), text);
    EXPECT_EQ(StrPrepend(nullptr, text), text);
    text = StrPrepend("", text); // an empty head still makes a new text
    text = StrAppend(text, "/name");
    text = StrPrepend("/", text);
    EXPECT_STREQ(text, "/dir/name");
    StrFree(text);

    char* appended = StrAppend(nullptr, "tail");
    char* prepended = StrPrepend("head", nullptr);
    EXPECT_STREQ(appended, "tail");
    EXPECT_STREQ(prepended, "head");
    StrFree(appended);
    StrFree(prepended);
}

TEST(PathList, SplitsAtEverySeparatorWithoutLimits)
{
    const struct {
        const char* text;
        std::vector<std::string> entries;
    } cases[] = {
        {"/models", {"/models"}}, {"/models;/lib;", {"/models", "/lib", ""}},
        {"/a;;/b", {"/a", "", "/b"}}, {";", {"", ""}}, {"", {""}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitPathList(c.text), c.entries) << c.text;
    EXPECT_TRUE(SplitPathList(static_cast<const char*>(nullptr)).empty());

    const std::string longEntry(5000, 'd');
    std::string many;
    for (int i = 0; i < 400; ++i)
        many += longEntry + ";";
    const std::vector<std::string> entries = SplitPathList(many);
    ASSERT_EQ(entries.size(), 401u);
    EXPECT_EQ(entries[399], longEntry);
}

// The readers decide "blank line" and split words by the same rule, so a line that splits
// into no word is blank and every other line has a first word.
TEST(Words, BlankLinesAndWordsFollowOneRule)
{
    for (const char* line : {"", " ", "\t", "\v", "\f", "\r", " \v\f\t\r ", "x", "\vx\f", "a b", "\x01", "\xC2\xA0"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(line)));
        EXPECT_EQ(IsBlankLine(line), splitWords(line).empty());
    }
    EXPECT_EQ(splitWords("\va\fb\tc d\re"), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
}
