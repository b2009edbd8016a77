// A window message and its framing on the wire between processes.
#pragma once

#include "platform/core/message_numbers.h"
#include "platform/core/window_handle.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// A posted or sent message; a text travels with it by value.
struct Message {
    WindowHandle target = 0;
    MessageNumber number = 0;
    std::int64_t wParam = 0;
    std::int64_t lParam = 0;
    std::optional<std::string> text;

    bool operator==(const Message&) const = default;
};

/// The largest text a message carries between processes. The longest the suite's
/// programs send are command tails of a few paths, box lines and status texts, far
/// below this; a frame that claims more is refused before its body is read.
inline constexpr std::size_t kMaxMessageText = 64 * 1024;

/// One message as bytes: a magic word, the body length, then the fields in
/// little-endian order and the text.
std::string encodeMessage(const Message& message);

/// Turns a byte stream back into messages; a frame that breaks the format puts
/// the decoder in a failed state that drops everything after it.
class MessageDecoder {
public:
    /// Takes more bytes; the complete messages among them go to `out`.
    void feed(std::string_view bytes, std::vector<Message>& out);
    bool failed() const { return m_failed; }
    /// Why the decoder failed, in words: "bad magic word", "a frame of 2000000 bytes, more than ..."
    const std::string& failure() const { return m_failure; }
    /// True when bytes of an unfinished frame are held.
    bool pending() const { return !m_buffer.empty(); }

private:
    void fail(std::string why);

    std::string m_buffer;
    bool m_failed = false;
    std::string m_failure;
};

} // namespace platform
