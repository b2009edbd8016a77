// Message and confirm boxes shown as Qt message boxes.
#pragma once

#include "platform/core/message_sink.h"

namespace platform {

/// Shows each box as a modal QMessageBox over its owner window, when that is
/// a frame window or dialog of this process.
class QtMessageSink : public MessageSink {
public:
    BoxAnswer show(const MessageBoxRequest& box) override;
};

} // namespace platform
