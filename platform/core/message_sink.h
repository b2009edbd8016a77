// The one place message and confirm boxes go through; a program installs the
// sink that shows them (Qt boxes in the programs, a script in tests).
#pragma once

#include "platform/core/window_handle.h"

#include <deque>
#include <string>
#include <vector>

namespace platform {

/// A message box (OK), a confirm box (OK and Cancel) or a question with Yes, No and Cancel.
enum class BoxKind { Message, Confirm, YesNoCancel };
enum class BoxAnswer { Ok, Cancel, Yes, No };
/// The picture beside the lines; by default information for a message and a
/// question mark for the others.
enum class BoxIcon { Default, Information, Question, Exclamation, Stop };

/// One box: its caption, its lines and the window that owns it (0: the desktop).
struct MessageBoxRequest {
    BoxKind kind = BoxKind::Message;
    std::string caption;
    std::vector<std::string> lines;
    WindowHandle owner = 0;
    BoxIcon icon = BoxIcon::Default;
    /// A confirm box's own button texts; empty ones read OK and Cancel.
    std::string okLabel;
    std::string cancelLabel;
    /// Enter answers Cancel: the box asks before something is replaced.
    bool cancelIsDefault = false;
};

/// The icon a box shows: its own, else the one of its kind.
BoxIcon shownIcon(const MessageBoxRequest& box);

/// Shows boxes and returns the user's answer (always Ok for a message box).
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual BoxAnswer show(const MessageBoxRequest& box) = 0;
};

/// The sink in use: the one installed last, else one that writes each box to
/// standard error and answers a confirm box with Cancel.
MessageSink& messageSink();

/// Installs a sink (not owned); null goes back to the standard-error sink.
void setMessageSink(MessageSink* sink);

/// The sink installed last, or null when none is.
MessageSink* installedMessageSink();

/// Writes each box to standard error; confirm boxes get the answer it was made
/// with, and a Yes/No/Cancel question Yes for OK, else Cancel.
class StderrMessageSink : public MessageSink {
public:
    explicit StderrMessageSink(BoxAnswer confirmAnswer = BoxAnswer::Cancel)
        : m_confirmAnswer(confirmAnswer) {}
    BoxAnswer show(const MessageBoxRequest& box) override;

private:
    BoxAnswer m_confirmAnswer;
};

/// Answers every box with OK and keeps nothing (fuzzing and other long unattended runs).
class SilentMessageSink : public MessageSink {
public:
    BoxAnswer show(const MessageBoxRequest&) override { return BoxAnswer::Ok; }
};

/// For tests: answers confirm boxes and questions from a queue (the first
/// button, Ok or Yes, once the queue is empty) and records every box it was shown.
class ScriptedMessageSink : public MessageSink {
public:
    BoxAnswer show(const MessageBoxRequest& box) override;

    /// Queues the answers of the next confirm boxes, in order.
    void queueAnswers(std::initializer_list<BoxAnswer> answers);
    const std::vector<MessageBoxRequest>& transcript() const { return m_transcript; }
    /// Every box's lines, each line as it stands, boxes separated by "--".
    std::vector<std::string> transcriptLines() const;
    /// Confirm boxes and questions asked that found no queued answer.
    int unansweredConfirms() const { return m_unanswered; }
    void clear();

private:
    std::deque<BoxAnswer> m_answers;
    std::vector<MessageBoxRequest> m_transcript;
    int m_unanswered = 0;
};

/// Installs a sink for the lifetime of this object and puts the former one back.
class ScopedMessageSink {
public:
    explicit ScopedMessageSink(MessageSink& sink);
    ~ScopedMessageSink();
    ScopedMessageSink(const ScopedMessageSink&) = delete;
    ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

private:
    MessageSink* m_previous;
};

} // namespace platform
