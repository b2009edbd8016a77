// Message and confirm boxes: captions, the eight-line limit, owners and answers.
#include "common/message_boxes.h"

#include "platform/core/message_sink.h"

#include <gtest/gtest.h>

using platform::BoxAnswer;
using platform::BoxKind;

TEST(MessageBoxes, ShowMessageShowsTheFirstEightLinesWithItsCaption)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    ShowMessage({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].caption, "Orvanta: Message");
    EXPECT_EQ(sink.transcript()[0].kind, BoxKind::Message);
    EXPECT_EQ(sink.transcript()[0].lines, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
    MessagePopup({"1", "2", "3", "4", "5", "6", "7", "8", "9"}); // the popup itself shows what it is given
    EXPECT_EQ(sink.transcript()[1].lines.size(), 9u);
}

TEST(MessageBoxes, ConfirmIsOneForAnyAnswerButCancelWhateverTheLabels)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    sink.queueAnswers({BoxAnswer::Ok, BoxAnswer::Cancel});
    EXPECT_EQ(ShowConfirm("Cancel", "Overwrite", {"Model exists."}), 1);
    EXPECT_EQ(ShowConfirmLines("Continue", "Cancel", {"a", "b", "c", "d", "e", "f", "g", "h", "i"}), 0);
    EXPECT_EQ(sink.transcript()[1].caption, "Orvanta: Confirm");
    EXPECT_EQ(sink.transcript()[1].lines.size(), 8u);
}

TEST(MessageBoxes, TemporaryOwnerLastsUntilRestored)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    EXPECT_EQ(SetMessageOwner(7), 1);
    EXPECT_EQ(SetTempMessageOwner(0), 0u); // no window: the owner stays
    ShowMessage({"a"});
    SetTempMessageOwner(9);
    ShowMessage({"b"});
    RestoreMessageOwner();
    ShowMessage({"c"});
    EXPECT_EQ(sink.transcript()[0].owner, 7u);
    EXPECT_EQ(sink.transcript()[1].owner, 9u);
    EXPECT_EQ(sink.transcript()[2].owner, 7u);
    EXPECT_EQ(SetMessageOwner(0), 0);
}

TEST(MessageBoxes, WindowFailureIsReportedAndTheObjectDestroyed)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    struct Window {
        bool* destroyed;
        ~Window() { *destroyed = true; }
    };
    bool destroyed = false;
    Window* window = new Window{&destroyed};
    EXPECT_EQ(ReportWindowFailure(window), 1);
    EXPECT_EQ(CheckWindowHandle(42, window), 1);
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(CheckWindowHandle(0, window), 0);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(ReportWindowFailure(window), 0);
    ASSERT_EQ(sink.transcript().size(), 2u);
    EXPECT_EQ(sink.transcript()[0].lines.front(), "Sorry, could not create another window!");
}
