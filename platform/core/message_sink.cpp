// Message sinks: the standard-error fallback and the scripted sink of tests.
#include "platform/core/message_sink.h"

#include <cstdio>

namespace platform {

namespace {

MessageSink* g_installed = nullptr;

} // namespace

BoxIcon shownIcon(const MessageBoxRequest& box)
{
    if (box.icon != BoxIcon::Default)
        return box.icon;
    return box.kind == BoxKind::Message ? BoxIcon::Information : BoxIcon::Question;
}

MessageSink& messageSink()
{
    static StderrMessageSink fallback;
    return g_installed ? *g_installed : fallback;
}

MessageSink* installedMessageSink()
{
    return g_installed;
}

void setMessageSink(MessageSink* sink)
{
    g_installed = sink;
}

BoxAnswer StderrMessageSink::show(const MessageBoxRequest& box)
{
    std::fprintf(stderr, "%s\n", box.caption.c_str());
    for (const std::string& line : box.lines)
        std::fprintf(stderr, "  %s\n", line.c_str());
    if (box.kind == BoxKind::Message)
        return BoxAnswer::Ok;
    BoxAnswer answer = m_confirmAnswer;
    if (box.kind == BoxKind::YesNoCancel)
        answer = m_confirmAnswer == BoxAnswer::Ok ? BoxAnswer::Yes : BoxAnswer::Cancel;
    static const char* const names[] = {"OK", "Cancel", "Yes", "No"};
    std::fprintf(stderr, "  -> %s\n", names[static_cast<int>(answer)]);
    return answer;
}

BoxAnswer ScriptedMessageSink::show(const MessageBoxRequest& box)
{
    m_transcript.push_back(box);
    if (box.kind == BoxKind::Message)
        return BoxAnswer::Ok;
    if (m_answers.empty()) {
        ++m_unanswered;
        return box.kind == BoxKind::YesNoCancel ? BoxAnswer::Yes : BoxAnswer::Ok;
    }
    BoxAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void ScriptedMessageSink::queueAnswers(std::initializer_list<BoxAnswer> answers)
{
    m_answers.insert(m_answers.end(), answers.begin(), answers.end());
}

std::vector<std::string> ScriptedMessageSink::transcriptLines() const
{
    std::vector<std::string> lines;
    for (const MessageBoxRequest& box : m_transcript) {
        if (!lines.empty())
            lines.push_back("--");
        lines.insert(lines.end(), box.lines.begin(), box.lines.end());
    }
    return lines;
}

void ScriptedMessageSink::clear()
{
    m_answers.clear();
    m_transcript.clear();
    m_unanswered = 0;
}

ScopedMessageSink::ScopedMessageSink(MessageSink& sink) : m_previous(installedMessageSink())
{
    setMessageSink(&sink);
}

ScopedMessageSink::~ScopedMessageSink()
{
    setMessageSink(m_previous);
}

} // namespace platform
