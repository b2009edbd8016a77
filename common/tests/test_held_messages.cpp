// The bounded queue of messages held while a modal dialog is open.
#include "common/held_messages.h"

#include "platform/core/message_numbers.h"

#include <gtest/gtest.h>

#include <vector>

using platform::Message;
using Outcome = HeldMessages::Outcome;

namespace {

Message command(platform::MessageNumber number, std::int64_t wParam = 0, std::optional<std::string> text = {})
{
    return Message{7, number, wParam, 0, std::move(text)};
}

std::vector<Message> drain(HeldMessages& held)
{
    std::vector<Message> out;
    while (auto message = held.take())
        out.push_back(*message);
    return out;
}

} // namespace

TEST(HeldMessages, KeepsFoldsAndDropsByTheLimits)
{
    struct Case {
        const char* what;
        HeldMessageLimits limits;
        std::vector<Message> arriving;
        std::vector<Outcome> outcomes;
        std::vector<Message> kept;
    };
    const Message open = command(UM_OPEN_MODEL, 0, "tank1");
    const Message other = command(UM_OPEN_MODEL, 0, "tank2");
    const Message settings = command(UM_SETTINGS_CHANGED);
    const Message big = command(UM_STATUS_TEXT, 0, std::string(1000, 'x'));
    const std::vector<Case> cases = {
        {"order kept", {}, {other, settings, open}, {Outcome::Kept, Outcome::Kept, Outcome::Kept}, {other, settings, open}},
        {"a repeat folds into the first, which keeps its place",
         {},
         {open, settings, open, settings},
         {Outcome::Kept, Outcome::Kept, Outcome::Folded, Outcome::Folded},
         {open, settings}},
        {"another text, parameter or number is no repeat",
         {},
         {open, other, command(UM_OPEN_MODEL, 1, "tank1"), command(UM_LAUNCH, 0, "tank1")},
         {Outcome::Kept, Outcome::Kept, Outcome::Kept, Outcome::Kept},
         {open, other, command(UM_OPEN_MODEL, 1, "tank1"), command(UM_LAUNCH, 0, "tank1")}},
        {"count bound: the newest is dropped",
         {2, 1 << 20},
         {open, other, settings},
         {Outcome::Kept, Outcome::Kept, Outcome::Dropped},
         {open, other}},
        {"a repeat of a kept one folds even when full", {1, 1 << 20}, {open, open}, {Outcome::Kept, Outcome::Folded}, {open}},
        {"byte bound: a text that does not fit is dropped, a smaller one still fits",
         {10, 64 + 1000 + 64 + 5},
         {big, big, command(UM_STATUS_TEXT, 0, std::string(2000, 'y')), open},
         {Outcome::Kept, Outcome::Folded, Outcome::Dropped, Outcome::Kept},
         {big, open}},
        {"one message beyond the bytes alone is never kept",
         {10, 100},
         {command(UM_STATUS_TEXT, 0, std::string(100, 'z'))},
         {Outcome::Dropped},
         {}},
    };
    for (const Case& c : cases) {
        HeldMessages held(c.limits);
        std::vector<Outcome> outcomes;
        for (const Message& m : c.arriving)
            outcomes.push_back(held.hold(m));
        EXPECT_EQ(outcomes, c.outcomes) << c.what;
        std::size_t bytes = 0;
        for (const Message& m : c.kept)
            bytes += HeldMessages::cost(m);
        EXPECT_EQ(held.bytes(), bytes) << c.what;
        EXPECT_EQ(held.size(), c.kept.size()) << c.what;
        EXPECT_EQ(drain(held), c.kept) << c.what;
        EXPECT_EQ(held.bytes(), 0u) << c.what;
    }
}

TEST(HeldMessages, ABurstStaysWithinItsBoundsAndRoomComesBackAsMessagesAreTaken)
{
    HeldMessages held({64, 256 * 1024});
    // A thousand messages of a megabyte each and ten thousand different commands.
    for (int i = 0; i < 1000; ++i)
        held.hold(command(UM_OPEN_MODEL, i, std::string(1 << 20, 'm')));
    for (int i = 0; i < 10000; ++i)
        held.hold(command(0xA000 + platform::MessageNumber(i % 300), i));
    EXPECT_LE(held.size(), 64u);
    EXPECT_LE(held.bytes(), 256u * 1024u);
    EXPECT_EQ(held.take()->wParam, 0);
    EXPECT_EQ(held.hold(command(UM_SETTINGS_CHANGED)), Outcome::Kept);
    const LetGoMessages letGo = held.takeLetGo();
    EXPECT_EQ(letGo.dropped, 11000u - 64u);
    EXPECT_EQ(letGo.droppedByNumber.at(UM_OPEN_MODEL), 1000u);
    EXPECT_TRUE(held.takeLetGo().empty());
    held.clear();
    EXPECT_TRUE(held.empty());
    EXPECT_EQ(held.bytes(), 0u);
}

TEST(HeldMessages, TheLogLineTellsWhatWasLetGo)
{
    HeldMessageLimits limits{2, 4096};
    HeldMessages held(limits);
    held.hold(command(UM_OPEN_MODEL, 0, "a"));
    held.hold(command(UM_OPEN_MODEL, 0, "a"));
    EXPECT_EQ(LetGoText(held.takeLetGo(), limits),
              "While a dialog was open, 1 repeat of a waiting message was folded into it.");
    held.hold(command(UM_OPEN_MODEL, 0, "b"));
    held.hold(command(UM_OPEN_MODEL, 0, "c"));
    held.hold(command(0xA065));
    held.hold(command(0xA065, 1));
    held.hold(command(UM_OPEN_MODEL, 0, "a"));
    EXPECT_EQ(LetGoText(held.takeLetGo(), limits),
              "While a dialog was open, 3 messages were dropped (193 bytes; at most 2 messages of 4096 bytes in all "
              "wait): 0xA065 x2, 0x405 x1; 1 repeat of a waiting message was folded into it.");
    EXPECT_EQ(LetGoText(held.takeLetGo(), limits), "");
}
