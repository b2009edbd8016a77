// A main window's messages held while one of its modal dialogs is open.
#include "common/modal_message_holder.h"

#include "platform/core/message_numbers.h"
#include "platform/testing/qt_support.h"
#include "test_application.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTest>

#include <vector>

using platform::Message;

namespace {

struct Recorder {
    std::vector<Message> handled;
    std::vector<std::string> logged;
    ModalMessageHolder holder;

    explicit Recorder(ModalMessageHolder::Filter waits = {}, HeldMessageLimits limits = {})
        : holder([this](const Message& m) { handled.push_back(m); }, std::move(waits), limits)
    {
        holder.setLog([this](const std::string& line) { logged.push_back(line); });
    }

    /// Runs `during` while a modal dialog is open, then lets the held messages go.
    void withDialogOpen(const std::function<void()>& during)
    {
        QDialog dialog;
        testsupport::answerNextModal([&](QWidget& modal) {
            during();
            static_cast<QDialog&>(modal).accept();
        });
        dialog.exec();
        for (int turn = 0; turn < 200 && holder.holds(); ++turn)
            QTest::qWait(10);
    }
};

Message numbered(platform::MessageNumber number, std::int64_t wParam = 0, std::optional<std::string> text = {})
{
    return Message{1, number, wParam, 0, std::move(text)};
}

} // namespace

TEST(ModalMessageHolder, WithoutADialogMessagesAreHandledAtOnce)
{
    testApplication();
    Recorder r;
    r.holder.take(numbered(UM_OPEN_MODEL, 0, "tank1"));
    r.holder.take(numbered(UM_OPEN_MODEL, 0, "tank1"));
    EXPECT_EQ(r.handled.size(), 2u);
    EXPECT_FALSE(r.holder.holds());
}

TEST(ModalMessageHolder, ABurstDuringADialogIsBoundedAndWhatIsKeptIsHandledInOrderAfterIt)
{
    testApplication();
    const HeldMessageLimits limits{16, 64 * 1024};
    Recorder r({}, limits);
    std::size_t handledWhileOpen = 1, heldMost = 0, bytesMost = 0;
    r.withDialogOpen([&] {
        for (int i = 0; i < 1000; ++i) {
            r.holder.take(numbered(UM_OPEN_MODEL, i % 4, std::string(8 * 1024, char('a' + i % 4))));
            r.holder.take(numbered(0xA000 + platform::MessageNumber(100 + i % 50)));
            heldMost = std::max(heldMost, r.holder.held().size());
            bytesMost = std::max(bytesMost, r.holder.held().bytes());
        }
        handledWhileOpen = r.handled.size();
    });
    EXPECT_EQ(handledWhileOpen, 0u);
    EXPECT_LE(heldMost, limits.messages);
    EXPECT_LE(bytesMost, limits.bytes);
    EXPECT_FALSE(r.holder.holds());
    // The four texts and the first commands, as they came, each once.
    ASSERT_EQ(r.handled.size(), limits.messages);
    EXPECT_EQ(r.handled[0].wParam, 0);
    EXPECT_EQ(r.handled[1].number, 0xA000u + 100);
    EXPECT_EQ(r.handled[2].wParam, 1);
    EXPECT_EQ(r.handled[15].number, 0xA000u + 111);
    ASSERT_EQ(r.logged.size(), 2u);
    EXPECT_EQ(r.logged[0],
              "A dialog is open and 16 messages wait for it to close: further messages are dropped until it has.");
    EXPECT_EQ(r.logged[1].rfind("While a dialog was open, ", 0), 0u) << r.logged[1];
    EXPECT_NE(r.logged[1].find("0xA070 x20"), std::string::npos) << r.logged[1];
}

TEST(ModalMessageHolder, OnlyTheMessagesThatWaitAreHeldTheOthersPass)
{
    testApplication();
    Recorder r([](const Message& m) { return m.number == UM_OPEN_MODEL; });
    std::size_t handledWhileOpen = 0;
    r.withDialogOpen([&] {
        r.holder.take(numbered(UM_OPEN_MODEL, 0, "tank1"));
        r.holder.take(numbered(UM_PROCESSING_DONE, 1));
        r.holder.take(numbered(UM_OPEN_MODEL, 0, "tank2"));
        handledWhileOpen = r.handled.size();
    });
    EXPECT_EQ(handledWhileOpen, 1u);
    ASSERT_EQ(r.handled.size(), 3u);
    EXPECT_EQ(r.handled[0].number, UM_PROCESSING_DONE);
    EXPECT_EQ(r.handled[1].text, "tank1");
    EXPECT_EQ(r.handled[2].text, "tank2");
    EXPECT_TRUE(r.logged.empty());
}

TEST(ModalMessageHolder, OnceStoppedTheHeldMessagesAreForgotten)
{
    testApplication();
    Recorder r;
    bool stopped = false;
    r.holder.setStopped([&] { return stopped; });
    r.withDialogOpen([&] {
        r.holder.take(numbered(UM_OPEN_MODEL, 0, "tank1"));
        stopped = true;
    });
    EXPECT_TRUE(r.handled.empty());
    EXPECT_FALSE(r.holder.holds());
}

TEST(ModalMessageHolder, AMessageInsideAnothersHandlingWaitsForItOnlyWhenOneAtATime)
{
    testApplication();
    // The first message's handler takes the second, as a handler that waits in a loop of
    // its own for what later messages bring (a series of runs) does.
    for (bool oneAtATime : {false, true}) {
        std::vector<std::string> order;
        ModalMessageHolder* self = nullptr;
        ModalMessageHolder holder([&](const Message& m) {
            order.push_back("begin " + *m.text);
            if (*m.text == "outer")
                self->take(numbered(UM_OPEN_MODEL, 0, "inner"));
            order.push_back("end " + *m.text);
        });
        self = &holder;
        holder.setLog([](const std::string&) {});
        holder.setOneAtATime(oneAtATime);
        holder.take(numbered(UM_OPEN_MODEL, 0, "outer"));
        for (int turn = 0; turn < 200 && holder.holds(); ++turn)
            QTest::qWait(10);
        const std::vector<std::string> expected =
            oneAtATime ? std::vector<std::string>{"begin outer", "end outer", "begin inner", "end inner"}
                       : std::vector<std::string>{"begin outer", "begin inner", "end inner", "end outer"};
        EXPECT_EQ(order, expected) << (oneAtATime ? "one at a time" : "inside");
    }
}
