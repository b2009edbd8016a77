// What the reader fuzz targets share: a property that must hold, and message boxes and
// status texts that go nowhere.
#pragma once

#include "platform/core/message_sink.h"

#include <string>

namespace fuzzsupport {

/// Ends the run as a finding when the condition does not hold.
inline void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

/// Boxes are answered OK and shown to nobody.
inline void silenceMessages()
{
    static platform::SilentMessageSink sink;
    platform::setMessageSink(&sink);
}

} // namespace fuzzsupport
