// The base of drawing windows: a QImage backing store drawn through the
// device context, and keyboard, mouse and clipboard input handed to the
// parent frame window before the canvas handles it.
#pragma once

#include "platform/core/device_context.h"
#include "platform/core/message_frame.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

namespace platform {

class PainterDeviceContext;

/// A child window whose picture lives in a backing store.
class CanvasWidget : public QWidget {
public:
    /// Paints into the given context at each paint event (the context may be null).
    using PaintCallback = std::function<void(DeviceContext* context)>;

    CanvasWidget(QWidget* parent, PaintCallback paint = {});
    ~CanvasWidget() override;

    /// A context on the backing store for drawing outside a paint event;
    /// `update` the changed rectangle afterwards.
    std::unique_ptr<PainterDeviceContext> drawingContext();

    /// The backing store (the size of the canvas).
    const QImage& backingStore() const { return m_store; }

    /// The colour the store is cleared to and new areas get.
    void setBackgroundColor(ColorRef color);

    /// Sends a keyboard, mouse or clipboard message to the parent frame window
    /// (nothing when there is none); true when one received it.
    bool forwardToParent(MessageNumber number, std::int64_t wParam, std::int64_t lParam);

    /// The canvas's own window handle: a message sent or posted to it goes to
    /// the parent frame first when it is a keyboard, mouse or clipboard one,
    /// then to `handleMessage`.
    WindowHandle handle() const { return m_handle; }

protected:
    /// The canvas's own handling of a message sent to its handle; nothing by default.
    virtual void handleMessage(const Message& message);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void forwardInput(QEvent* event);
    void dispatch(const Message& message);
    void resizeStore(const QSize& size);

    PaintCallback m_paint;
    QImage m_store;
    ColorRef m_background = 0xFFFFFF;
    WindowHandle m_handle = 0;
};

/// True for the keyboard, mouse and clipboard messages a canvas hands to its parent first.
bool isParentFirstMessage(MessageNumber number);

/// The key code the suite's keyboard messages carry for a Qt key; 0 for none.
int virtualKeyCode(int qtKey);

} // namespace platform
