// The scripted sink answers in order and records every box; the scoped sink
// puts the former sink back.
#include "platform/core/message_sink.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

MessageBoxRequest confirmBox(std::string line)
{
    MessageBoxRequest box;
    box.kind = BoxKind::Confirm;
    box.caption = "c";
    box.lines = {std::move(line)};
    return box;
}

} // namespace

TEST(ScriptedMessageSink, AnswersConfirmsFromTheQueueThenOk)
{
    ScriptedMessageSink sink;
    sink.queueAnswers({BoxAnswer::Cancel, BoxAnswer::Ok});
    MessageBoxRequest message;
    message.lines = {"info"};
    EXPECT_EQ(sink.show(message), BoxAnswer::Ok); // messages take no answer from the queue
    EXPECT_EQ(sink.show(confirmBox("a")), BoxAnswer::Cancel);
    EXPECT_EQ(sink.show(confirmBox("b")), BoxAnswer::Ok);
    EXPECT_EQ(sink.unansweredConfirms(), 0);
    EXPECT_EQ(sink.show(confirmBox("c")), BoxAnswer::Ok);
    EXPECT_EQ(sink.unansweredConfirms(), 1);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"info", "--", "a", "--", "b", "--", "c"}));
}

TEST(ScriptedMessageSink, AnswersYesNoCancelQuestionsFromTheSameQueueThenYes)
{
    ScriptedMessageSink sink;
    sink.queueAnswers({BoxAnswer::No, BoxAnswer::Cancel});
    MessageBoxRequest question = confirmBox("sub or main?");
    question.kind = BoxKind::YesNoCancel;
    EXPECT_EQ(sink.show(question), BoxAnswer::No);
    EXPECT_EQ(sink.show(question), BoxAnswer::Cancel);
    EXPECT_EQ(sink.show(question), BoxAnswer::Yes);
    EXPECT_EQ(sink.unansweredConfirms(), 1);
    EXPECT_EQ(shownIcon(question), BoxIcon::Question);
    question.icon = BoxIcon::Exclamation;
    EXPECT_EQ(shownIcon(question), BoxIcon::Exclamation);
    EXPECT_EQ(shownIcon(MessageBoxRequest{}), BoxIcon::Information);

    // Without a person to ask, a question is cancelled unless the sink was made to agree.
    EXPECT_EQ(StderrMessageSink().show(question), BoxAnswer::Cancel);
    EXPECT_EQ(StderrMessageSink(BoxAnswer::Ok).show(question), BoxAnswer::Yes);
}

TEST(ScopedMessageSink, RestoresTheFormerSink)
{
    ScriptedMessageSink outer, inner;
    ScopedMessageSink useOuter(outer);
    {
        ScopedMessageSink useInner(inner);
        EXPECT_EQ(&messageSink(), &inner);
    }
    EXPECT_EQ(&messageSink(), &outer);
}
