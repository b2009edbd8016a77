// The bounded queue of messages held while a modal dialog is open.
#include "common/held_messages.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// What a message costs besides its text: the message itself and the queue's share.
constexpr std::size_t kMessageOverhead = 64;

bool sameRequest(const platform::Message& a, const platform::Message& b)
{
    return a.number == b.number && a.wParam == b.wParam && a.lParam == b.lParam && a.text == b.text;
}

std::string hexNumber(platform::MessageNumber number)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", unsigned(number));
    return text;
}

} // namespace

std::size_t HeldMessages::cost(const platform::Message& message)
{
    return kMessageOverhead + (message.text ? message.text->size() : 0);
}

HeldMessages::Outcome HeldMessages::hold(const platform::Message& message)
{
    if (std::any_of(m_messages.begin(), m_messages.end(),
                    [&](const platform::Message& kept) { return sameRequest(kept, message); })) {
        ++m_letGo.folded;
        return Outcome::Folded;
    }
    const std::size_t bytes = cost(message);
    if (m_messages.size() >= m_limits.messages || m_bytes + bytes > m_limits.bytes) {
        ++m_letGo.dropped;
        m_letGo.droppedBytes += bytes;
        ++m_letGo.droppedByNumber[message.number];
        return Outcome::Dropped;
    }
    m_messages.push_back(message);
    m_bytes += bytes;
    return Outcome::Kept;
}

std::optional<platform::Message> HeldMessages::take()
{
    if (m_messages.empty())
        return std::nullopt;
    platform::Message message = std::move(m_messages.front());
    m_messages.pop_front();
    m_bytes -= cost(message);
    return message;
}

void HeldMessages::clear()
{
    m_messages.clear();
    m_bytes = 0;
}

LetGoMessages HeldMessages::takeLetGo()
{
    LetGoMessages letGo = std::move(m_letGo);
    m_letGo = {};
    return letGo;
}

std::string LetGoText(const LetGoMessages& letGo, const HeldMessageLimits& limits)
{
    if (letGo.empty())
        return {};
    std::string text = "While a dialog was open, ";
    if (letGo.dropped > 0) {
        text += std::to_string(letGo.dropped) + " message" + (letGo.dropped == 1 ? " was" : "s were") +
                " dropped (" + std::to_string(letGo.droppedBytes) + " bytes; at most " +
                std::to_string(limits.messages) + " messages of " + std::to_string(limits.bytes) +
                " bytes in all wait):";
        // The numbers dropped most often first, five at most.
        std::vector<std::pair<platform::MessageNumber, std::size_t>> numbers(letGo.droppedByNumber.begin(),
                                                                             letGo.droppedByNumber.end());
        std::stable_sort(numbers.begin(), numbers.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        for (std::size_t i = 0; i < numbers.size() && i < 5; ++i)
            text += (i == 0 ? " " : ", ") + hexNumber(numbers[i].first) + " x" + std::to_string(numbers[i].second);
        if (numbers.size() > 5)
            text += ", ...";
        text += letGo.folded > 0 ? "; " : ".";
    }
    if (letGo.folded > 0)
        text += std::to_string(letGo.folded) + " repeat" + (letGo.folded == 1 ? "" : "s") +
                " of a waiting message " + (letGo.folded == 1 ? "was" : "were") + " folded into it.";
    return text;
}
