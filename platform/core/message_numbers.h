// Message numbers: the system's own that the suite uses, the messages between
// the suite's programs, and the platform layer's requests on a window.
#pragma once

#include <cstdint>

namespace platform {

/// A message number.
using MessageNumber = std::uint32_t;

inline constexpr MessageNumber WM_CLOSE = 0x0010;
inline constexpr MessageNumber WM_SYSCOMMAND = 0x0112;
inline constexpr std::int64_t SC_CLOSE = 0xF060;
inline constexpr MessageNumber WM_USER = 0x0400;

/// Keyboard, mouse and clipboard messages that a canvas hands to its parent.
inline constexpr MessageNumber WM_KEYDOWN = 0x0100;
inline constexpr MessageNumber WM_KEYUP = 0x0101;
inline constexpr MessageNumber WM_CHAR = 0x0102;
inline constexpr MessageNumber WM_MOUSEMOVE = 0x0200;
inline constexpr MessageNumber WM_LBUTTONDOWN = 0x0201;
inline constexpr MessageNumber WM_LBUTTONUP = 0x0202;
inline constexpr MessageNumber WM_LBUTTONDBLCLK = 0x0203;
inline constexpr MessageNumber WM_RBUTTONDOWN = 0x0204;
inline constexpr MessageNumber WM_RBUTTONUP = 0x0205;
inline constexpr MessageNumber WM_RBUTTONDBLCLK = 0x0206;
inline constexpr MessageNumber WM_MBUTTONDOWN = 0x0207;
inline constexpr MessageNumber WM_MBUTTONUP = 0x0208;
inline constexpr MessageNumber WM_MBUTTONDBLCLK = 0x0209;
inline constexpr MessageNumber WM_CUT = 0x0300;
inline constexpr MessageNumber WM_COPY = 0x0301;
inline constexpr MessageNumber WM_PASTE = 0x0302;
inline constexpr MessageNumber WM_CLEAR = 0x0303;
inline constexpr MessageNumber WM_UNDO = 0x0304;

/// Button and key flags in the wParam of a mouse message.
inline constexpr std::int64_t MK_LBUTTON = 0x01;
inline constexpr std::int64_t MK_RBUTTON = 0x02;
inline constexpr std::int64_t MK_SHIFT = 0x04;
inline constexpr std::int64_t MK_CONTROL = 0x08;
inline constexpr std::int64_t MK_MBUTTON = 0x10;

/// A point in the lParam of a mouse message: x in the low 16 bits, y in the next 16.
inline constexpr std::int64_t pointParam(int x, int y)
{
    return static_cast<std::int64_t>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) |
                                     static_cast<std::uint32_t>(x & 0xFFFF));
}
inline constexpr int paramX(std::int64_t lParam)
{
    return static_cast<std::int16_t>(lParam & 0xFFFF);
}
inline constexpr int paramY(std::int64_t lParam)
{
    return static_cast<std::int16_t>((lParam >> 16) & 0xFFFF);
}

/// Requests that another process makes on a window it owns; the layer in the
/// owning process handles them before the window's own handler sees anything.
inline constexpr MessageNumber PM_FIRST_REQUEST = 0x7F00;
inline constexpr MessageNumber PM_CLOSE_WINDOW = 0x7F01;     ///< close, asking the window first
inline constexpr MessageNumber PM_SHOW_NORMAL_RAISE = 0x7F02; ///< show normally and bring to the top
inline constexpr MessageNumber PM_HIDE_WINDOW = 0x7F03;
inline constexpr MessageNumber PM_QUERY_FRAME = 0x7F04;     ///< answer with PM_FRAME_ANSWER to the window in wParam
inline constexpr MessageNumber PM_LAST_REQUEST = 0x7F04;

/// The answer to PM_QUERY_FRAME: the frame's x, y, width and height on the screen, as text.
inline constexpr MessageNumber PM_FRAME_ANSWER = 0x7F10;

} // namespace platform

/// The messages the suite's programs post one another.
enum SiblingMessages : platform::MessageNumber {
    UM_LAUNCH = platform::WM_USER + 1,
    UM_PROCESSING_DONE = platform::WM_USER + 2,
    UM_PROCESS_MODEL = platform::WM_USER + 3,
    UM_PROCESSOR_EXITED = platform::WM_USER + 4,
    UM_OPEN_MODEL = platform::WM_USER + 5,
    UM_NEW_WIZARD_MODEL = platform::WM_USER + 8,
    UM_NEW_BLANK_MODEL = platform::WM_USER + 9,
    UM_STATUS_TEXT = platform::WM_USER + 10,
    UM_SETTINGS_CHANGED = platform::WM_USER + 11,
};
