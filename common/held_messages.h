// The messages a main window keeps while one of its modal dialogs is open, to handle
// them in order once it has closed: bounded by count and bytes, a repeat of a message
// already kept folded into it, and what could not be kept counted for the log.
#pragma once

#include "platform/core/message_frame.h"

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <string>

struct HeldMessageLimits {
    std::size_t messages = 64;
    std::size_t bytes = 256 * 1024;
};

/// What a queue let go since it was last asked.
struct LetGoMessages {
    std::size_t folded = 0;       ///< repeats of a message already kept
    std::size_t dropped = 0;      ///< messages that found the queue full
    std::size_t droppedBytes = 0;
    std::map<platform::MessageNumber, std::size_t> droppedByNumber;

    bool empty() const { return folded == 0 && dropped == 0; }
};

class HeldMessages {
public:
    enum class Outcome { Kept, Folded, Dropped };

    explicit HeldMessages(HeldMessageLimits limits = {}) : m_limits(limits) {}

    /// Keeps the message after those kept before, unless an equal one (number, both
    /// parameters and text) is kept already, or it would take the queue beyond its limits.
    Outcome hold(const platform::Message& message);

    /// The oldest message kept, taken out of the queue; none when it is empty.
    std::optional<platform::Message> take();

    bool empty() const { return m_messages.empty(); }
    std::size_t size() const { return m_messages.size(); }
    /// The bytes the kept messages count for (their texts and a fixed share each).
    std::size_t bytes() const { return m_bytes; }
    const HeldMessageLimits& limits() const { return m_limits; }

    /// Forgets every message kept; they are not counted as let go.
    void clear();

    /// What was folded or dropped since the last call, and the count starts again.
    LetGoMessages takeLetGo();

    /// The bytes one message counts for.
    static std::size_t cost(const platform::Message& message);

private:
    HeldMessageLimits m_limits;
    std::deque<platform::Message> m_messages;
    std::size_t m_bytes = 0;
    LetGoMessages m_letGo;
};

/// The log line that tells what was let go; empty when nothing was.
std::string LetGoText(const LetGoMessages& letGo, const HeldMessageLimits& limits);
