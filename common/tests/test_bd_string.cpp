// BdString: substring views and their replacement, comparison, number
// formatting and stream reading without length limits.
#include "common/bd_string.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

TEST(BdString, TextIsNeverNullAndBeyondTheEndIsTheSharedEmptyCharacter)
{
    EXPECT_STREQ(BdString(static_cast<const char*>(nullptr)).c_str(), "");
    EXPECT_STREQ(BdString(BdString::Capacity{200}).c_str(), "");
    EXPECT_EQ(BdString('\0').length(), 0u);
    const BdString a("abc");
    const BdString empty;
    EXPECT_EQ(a[2], 'c');
    EXPECT_EQ(a[1000000], '\0');
    EXPECT_EQ(&a[3], &empty[0]);
}

TEST(BdString, SubstringIsCutToTheText)
{
    BdString text("abcdefghijkl");
    const struct {
        std::size_t start, length, viewStart;
        const char* viewed;
    } cases[] = {
        {10, 5, 10, "kl"}, {12, 1, 0, ""}, {50, 3, 0, ""}, {4, 0, 4, ""}, {3, std::string::npos, 3, "defghijkl"},
    };
    for (const auto& c : cases) {
        const BdSubString part = text.substring(c.start, c.length);
        EXPECT_EQ(part.start(), c.viewStart) << c.start << "," << c.length;
        EXPECT_EQ(BdString(part), c.viewed) << c.start << "," << c.length;
    }
}

TEST(BdString, SubstringAssignmentReplacesOnlyTheViewedPart)
{
    const struct {
        std::size_t start, length;
        const char* replacement;
        const char* result;
    } cases[] = {
        {2, 2, "XY", "abXYef"}, {2, 2, "X", "abXef"}, {2, 2, "WXYZ", "abWXYZef"},
        {0, 6, "", ""},         {4, 9, "Q", "abcdQ"}, {6, 1, "Z", "Zabcdef"},
    };
    for (const auto& c : cases) {
        BdString text("abcdef");
        text.substring(c.start, c.length) = c.replacement;
        EXPECT_EQ(text, c.result) << c.start << "," << c.length << " " << c.replacement;
    }
    BdString same("abcdef");
    same.substring(1, 6) = same;
    EXPECT_EQ(same, "aabcdef");
    same.substring(0, 3) = same.substring(4, 3);
    EXPECT_EQ(same, "defcdef");
}

TEST(BdString, AssignAndAppendAreSafeFromItself)
{
    BdString text("abcdef");
    text = text;
    text = text.c_str() + 2;
    EXPECT_EQ(text, "cdef");
    text += text;
    EXPECT_EQ(text, "cdefcdef");
}

TEST(BdString, AppendFormatsNumbersAsPrintfDoes)
{
    BdString text("x");
    text += 42;
    text += -7;
    text += "|";
    text += 1.5;
    text += -0.000123456789;
    EXPECT_EQ(text, "x42-7|1.500000e+00-1.234568e-04");
}

TEST(BdString, ComparisonIsByteWiseOnUnsignedBytes)
{
    const struct {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"abc", "abc", 0}, {"abc", "abd", -1}, {"abcd", "abc", 1}, {"", "a", -1}, {"\xe9", "z", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BdString(c.a).compare(BdString(c.b)), c.sign) << c.a << " " << c.b;
        EXPECT_EQ(BdString(c.a).compare(c.b), c.sign) << c.a << " " << c.b;
        EXPECT_EQ(c.b != BdString(c.a), c.sign != 0);
    }
}

TEST(BdString, StreamReadsWholeWordsAndLines)
{
    const std::string longWord(5000, 'w');
    const std::string longLine(3000, 'l');
    std::istringstream in(longWord + "\nline one\r\n" + longLine + "\nlast\r");
    BdString text;
    in >> text;
    EXPECT_EQ(text.str(), longWord);
    in.ignore(1);
    const std::vector<std::string> lines{"line one", longLine, "last\r"}; // no line feed after the last
    for (const std::string& line : lines) {
        text.readLine(in);
        EXPECT_EQ(text.str(), line);
    }
    EXPECT_FALSE(text.readLine(in));
    EXPECT_EQ(text, "");
}
