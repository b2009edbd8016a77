// Find and replace over a text, and the bytes of an equation model file.
#include "equationeditor/equation_model_file.h"
#include "equationeditor/text_search.h"

#include <gtest/gtest.h>

TEST(TextSearch, FindsDownAndUpFromTheSelectionWithCaseAndWholeWords)
{
    const std::string text = "x = int(v)\nv = int(X) + vx\n";
    SearchRequest request;
    request.findText = "x";
    // Down from the start, then on from each found range; no wrap at the end.
    std::vector<std::size_t> found;
    TextRange at{0, 0};
    while (std::optional<TextRange> next = FindNext(text, at, request)) {
        found.push_back(next->start);
        at = *next;
    }
    EXPECT_EQ(found, (std::vector<std::size_t>{0, 19, 25}));
    request.matchCase = true;
    EXPECT_EQ(FindNext(text, {1, 0}, request)->start, 25u);
    request.matchCase = false;
    request.wholeWord = true;
    EXPECT_EQ(FindNext(text, {1, 0}, request)->start, 19u) << "vx is no whole word x";
    EXPECT_FALSE(FindNext(text, {20, 0}, request));
    request.wholeWord = false;
    request.down = false;
    EXPECT_EQ(FindNext(text, {25, 1}, request)->start, 19u);
    EXPECT_EQ(FindNext(text, {19, 1}, request)->start, 0u);
    EXPECT_FALSE(FindNext(text, {0, 1}, request));
    request.findText.clear();
    EXPECT_FALSE(FindNext(text, {0, 0}, request));
    request.findText = "a much longer text than the model";
    EXPECT_FALSE(FindNext(text, {0, 0}, request));
    EXPECT_EQ(NotFoundText(request), "Cannot find \"a much longer text than the model\".");
}

TEST(TextSearch, ReplaceTakesTheSelectedOccurrenceAndReplaceAllEveryOne)
{
    std::string text = "mu*x + mu*v + emu";
    SearchRequest request;
    request.findText = "mu";
    request.replaceText = "damping";
    request.wholeWord = true;
    // Nothing selected: only the first occurrence is found.
    std::optional<TextRange> next = ReplaceNext(text, {0, 0}, request);
    ASSERT_TRUE(next);
    EXPECT_EQ(text, "mu*x + mu*v + emu");
    EXPECT_EQ(*next, (TextRange{0, 2}));
    next = ReplaceNext(text, *next, request);
    EXPECT_EQ(text, "damping*x + mu*v + emu");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->start, 12u);
    next = ReplaceNext(text, *next, request);
    EXPECT_EQ(text, "damping*x + damping*v + emu");
    EXPECT_FALSE(next);

    std::string all = "a + A + aa + a";
    SearchRequest every{.findText = "a", .replaceText = "aa"};
    EXPECT_EQ(ReplaceAll(all, every), 5) << "what is put in is not searched again";
    EXPECT_EQ(all, "aa + aa + aaaa + aa");
    every.findText.clear();
    EXPECT_EQ(ReplaceAll(all, every), 0);
}

TEST(EquationModelFile, TheFileIsTheTextALineEndAndANulAndReadsBackUpToTheNul)
{
    using namespace std::string_literals;
    EXPECT_EQ(EquationModelFileContent("class x version 1"), "class x version 1\n\0"s);
    EXPECT_EQ(EquationModelFileContent("a\n"), "a\n\0"s);
    EXPECT_EQ(EquationModelFileContent(""), "\n\0"s);
    EXPECT_EQ(EquationModelText("a\r\nb\r\n\0garbage"s), "a\nb\n");
    EXPECT_EQ(EquationModelText("lone\rcr\n"), "lone\rcr\n");
    EXPECT_EQ(EquationModelText(EquationModelFileContent("x\ny")), "x\ny\n");
}
