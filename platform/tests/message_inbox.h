// Test support: a window of this process that keeps the messages it receives.
#pragma once

#include "platform/core/window_messages.h"

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace testsupport {

class MessageInbox {
public:
    MessageInbox()
        : m_window(platform::createWindow([this](const platform::Message& m) { m_received.push_back(m); }))
    {
    }
    ~MessageInbox() { platform::destroyWindow(m_window); }
    MessageInbox(const MessageInbox&) = delete;
    MessageInbox& operator=(const MessageInbox&) = delete;

    platform::WindowHandle window() const { return m_window; }
    std::vector<platform::Message>& received() { return m_received; }

    /// Delivers what waits in this process's queue; the messages of one number, taken out.
    std::vector<platform::Message> take(platform::MessageNumber number)
    {
        platform::dispatchPendingMessages();
        std::vector<platform::Message> found, rest;
        for (platform::Message& m : m_received)
            (m.number == number ? found : rest).push_back(std::move(m));
        m_received = std::move(rest);
        return found;
    }

    /// Pumps messages until one received satisfies `match`; it is taken out.
    std::optional<platform::Message> waitFor(const std::function<bool(const platform::Message&)>& match,
                                             int timeoutMs = 10000)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            for (auto it = m_received.begin(); it != m_received.end(); ++it) {
                if (match(*it)) {
                    platform::Message found = *it;
                    m_received.erase(it);
                    return found;
                }
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return std::nullopt;
            platform::pumpMessages(50);
        }
    }

private:
    platform::WindowHandle m_window;
    std::vector<platform::Message> m_received;
};

} // namespace testsupport
