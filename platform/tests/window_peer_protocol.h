// The messages the test peer process answers with.
#pragma once

#include "platform/core/message_numbers.h"

/// The peer's window exists: wParam its process id, lParam its handle.
inline constexpr platform::MessageNumber kPeerReady = 0x6F01;
/// A message reached the peer: wParam its number, lParam the peer's handle, its text.
inline constexpr platform::MessageNumber kPeerEcho = 0x6F02;
/// The peer closes its window on request: lParam the handle.
inline constexpr platform::MessageNumber kPeerClosing = 0x6F03;
/// The frame of the window the peer asked about: its text "x y width height", or "none".
inline constexpr platform::MessageNumber kPeerFrame = 0x6F04;
