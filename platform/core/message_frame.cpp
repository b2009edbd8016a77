// Encoding and length-checked decoding of messages sent through local sockets.
#include "platform/core/message_frame.h"

namespace platform {

namespace {

constexpr std::string_view kMagic = "OVM1";
// target, number, wParam, lParam, text flag, text length
constexpr std::size_t kFixedBody = 8 + 4 + 8 + 8 + 1 + 4;
constexpr std::size_t kHeader = 4 + 4;

void putUnsigned(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t getUnsigned(std::string_view in, std::size_t at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return value;
}

// Decodes one body whose length has been checked against the header.
std::optional<Message> decodeBody(std::string_view body)
{
    if (body.size() < kFixedBody)
        return std::nullopt;
    Message message;
    message.target = getUnsigned(body, 0, 8);
    message.number = static_cast<MessageNumber>(getUnsigned(body, 8, 4));
    message.wParam = static_cast<std::int64_t>(getUnsigned(body, 12, 8));
    message.lParam = static_cast<std::int64_t>(getUnsigned(body, 20, 8));
    unsigned char hasText = static_cast<unsigned char>(body[28]);
    std::uint64_t textLength = getUnsigned(body, 29, 4);
    if (hasText > 1 || (hasText == 0 && textLength != 0) || textLength != body.size() - kFixedBody)
        return std::nullopt;
    if (hasText)
        message.text = std::string(body.substr(kFixedBody));
    return message;
}

} // namespace

std::string encodeMessage(const Message& message)
{
    std::string_view text = message.text ? std::string_view(*message.text) : std::string_view();
    if (text.size() > kMaxMessageText)
        text = text.substr(0, kMaxMessageText);
    std::string out(kMagic);
    putUnsigned(out, kFixedBody + text.size(), 4);
    putUnsigned(out, message.target, 8);
    putUnsigned(out, message.number, 4);
    putUnsigned(out, static_cast<std::uint64_t>(message.wParam), 8);
    putUnsigned(out, static_cast<std::uint64_t>(message.lParam), 8);
    out.push_back(message.text ? 1 : 0);
    putUnsigned(out, text.size(), 4);
    out.append(text);
    return out;
}

void MessageDecoder::fail(std::string why)
{
    m_failed = true;
    m_failure = std::move(why);
}

void MessageDecoder::feed(std::string_view bytes, std::vector<Message>& out)
{
    if (m_failed)
        return;
    m_buffer.append(bytes);
    std::size_t at = 0;
    while (m_buffer.size() - at >= kHeader) {
        std::string_view rest(m_buffer.data() + at, m_buffer.size() - at);
        if (rest.substr(0, kMagic.size()) != kMagic) {
            fail("no frame (bad magic word)");
            break;
        }
        // Checked before any of the body is waited for: a claimed length is never taken on trust.
        std::uint64_t length = getUnsigned(rest, 4, 4);
        if (length < kFixedBody) {
            fail("a frame of " + std::to_string(length) + " bytes, shorter than its fixed fields");
            break;
        }
        if (length > kFixedBody + kMaxMessageText) {
            fail("a frame of " + std::to_string(kHeader + length) + " bytes, longer than the largest message (" +
                 std::to_string(kHeader + kFixedBody + kMaxMessageText) + " bytes)");
            break;
        }
        if (rest.size() - kHeader < length)
            break;
        std::optional<Message> message = decodeBody(rest.substr(kHeader, length));
        if (!message) {
            fail("a frame whose fields disagree with its length");
            break;
        }
        out.push_back(std::move(*message));
        at += kHeader + length;
    }
    if (m_failed)
        m_buffer.clear();
    else
        m_buffer.erase(0, at);
}

} // namespace platform
