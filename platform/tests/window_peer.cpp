// A second process for the message tests: posts to a window found by class,
// or serves a registered window that reports what reaches it.
//   window_peer post CLASS NUMBER WPARAM LPARAM [TEXT]
//   window_peer serve CLASS REPLY_HANDLE
//   window_peer frame CLASS REPLY_HANDLE
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/tests/window_peer_protocol.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace platform;

namespace {

int post(int argc, char** argv)
{
    if (argc < 6)
        return 2;
    WindowHandle target = findWindowByClass(argv[2]);
    if (target == 0)
        return 3;
    Message message;
    message.target = target;
    message.number = static_cast<MessageNumber>(std::stoul(argv[3]));
    message.wParam = std::stoll(argv[4]);
    message.lParam = std::stoll(argv[5]);
    if (argc > 6)
        message.text = argv[6];
    return postMessage(message) ? 0 : 4;
}

int serve(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    WindowHandle reply = std::stoull(argv[3]);
    bool closing = false;
    WindowHandle self = 0;
    self = createWindow([&](const Message& message) {
        if (message.number == PM_CLOSE_WINDOW) {
            postMessage(reply, kPeerClosing, 0, static_cast<std::int64_t>(self));
            destroyWindow(self);
            closing = true;
            return;
        }
        postMessage(reply, kPeerEcho, message.number, static_cast<std::int64_t>(self), message.text);
    });
    if (!registerTopLevelWindow(self, argv[2]))
        return 5;
    postMessage(reply, kPeerReady, ::getpid(), static_cast<std::int64_t>(self));
    // Ends by itself should the test that started it never ask.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!closing && std::chrono::steady_clock::now() < deadline)
        pumpMessages(200);
    return closing ? 0 : 6;
}

int frame(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    WindowHandle target = findWindowByClass(argv[2]);
    if (target == 0)
        return 3;
    std::optional<WindowFrame> found = queryWindowFrame(target, 5000);
    std::string text = found ? std::to_string(found->x) + " " + std::to_string(found->y) + " " +
                                   std::to_string(found->width) + " " + std::to_string(found->height)
                             : "none";
    return postMessage(std::stoull(argv[3]), kPeerFrame, 0, 0, text) ? 0 : 4;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "post")
        return post(argc, argv);
    if (mode == "serve")
        return serve(argc, argv);
    if (mode == "frame")
        return frame(argc, argv);
    std::fprintf(stderr, "usage: window_peer post|serve|frame ...\n");
    return 2;
}
