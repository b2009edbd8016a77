// Fuzzes the decoding of message frames read from other processes' sockets.
#include "platform/core/message_frame.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The whole input at once.
    platform::MessageDecoder whole;
    std::vector<platform::Message> all;
    whole.feed(bytes, all);

    // The same input cut into pieces of varying size gives the same messages.
    platform::MessageDecoder pieces;
    std::vector<platform::Message> again;
    std::size_t at = 0;
    for (std::size_t step = 1; at < bytes.size(); step = step % 7 + 1) {
        pieces.feed(bytes.substr(at, step), again);
        at += step;
    }
    check(again == all);
    check(pieces.failed() == whole.failed());

    // Every decoded message encodes back to a frame that decodes to itself.
    for (const platform::Message& message : all) {
        check(!message.text || message.text->size() <= platform::kMaxMessageText);
        platform::MessageDecoder round;
        std::vector<platform::Message> back;
        round.feed(platform::encodeMessage(message), back);
        check(back.size() == 1 && back[0] == message && !round.failed() && !round.pending());
    }
    return 0;
}
