// Canvas widgets: backing store, paint callback and input forwarding.
#include "platform/qt/canvas_widget.h"

#include "platform/core/window_messages.h"
#include "platform/qt/frame_window.h"
#include "platform/qt/painter_device_context.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace platform {

namespace {

std::int64_t buttonFlags(const QMouseEvent& event)
{
    std::int64_t flags = 0;
    Qt::MouseButtons buttons = event.buttons();
    if (buttons & Qt::LeftButton)
        flags |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        flags |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        flags |= MK_MBUTTON;
    if (event.modifiers() & Qt::ShiftModifier)
        flags |= MK_SHIFT;
    if (event.modifiers() & Qt::ControlModifier)
        flags |= MK_CONTROL;
    return flags;
}

// The message of a button event: the left-button number plus 0, 3 or 6 by the button.
MessageNumber buttonMessage(Qt::MouseButton button, MessageNumber leftNumber)
{
    switch (button) {
    case Qt::LeftButton: return leftNumber;
    case Qt::RightButton: return leftNumber + 3;
    case Qt::MiddleButton: return leftNumber + 6;
    default: return 0;
    }
}

} // namespace

int virtualKeyCode(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 0x70 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    default: return 0;
    }
}

bool isParentFirstMessage(MessageNumber number)
{
    return (number >= WM_KEYDOWN && number <= WM_CHAR) || (number >= WM_MOUSEMOVE && number <= WM_MBUTTONDBLCLK) ||
           (number >= WM_CUT && number <= WM_UNDO);
}

CanvasWidget::CanvasWidget(QWidget* parent, PaintCallback paint) : QWidget(parent), m_paint(std::move(paint))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    resizeStore(size());
    m_handle = createWindow([this](const Message& message) { dispatch(message); });
}

CanvasWidget::~CanvasWidget()
{
    destroyWindow(m_handle);
}

void CanvasWidget::handleMessage(const Message&) {}

void CanvasWidget::dispatch(const Message& message)
{
    if (isParentFirstMessage(message.number))
        forwardToParent(message.number, message.wParam, message.lParam);
    handleMessage(message);
}

std::unique_ptr<PainterDeviceContext> CanvasWidget::drawingContext()
{
    return std::make_unique<PainterDeviceContext>(m_store);
}

void CanvasWidget::setBackgroundColor(ColorRef color)
{
    m_background = color;
    m_store.fill(toQColor(color));
    update();
}

bool CanvasWidget::forwardToParent(MessageNumber number, std::int64_t wParam, std::int64_t lParam)
{
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (auto* frame = dynamic_cast<FrameWindow*>(ancestor))
            return frame->handle() != 0 && sendMessage(Message{frame->handle(), number, wParam, lParam, std::nullopt});
    }
    return false;
}

void CanvasWidget::resizeStore(const QSize& size)
{
    QSize wanted = size.expandedTo(QSize(1, 1));
    if (m_store.size() == wanted)
        return;
    QImage grown(wanted, QImage::Format_RGB32);
    grown.fill(toQColor(m_background));
    if (!m_store.isNull()) {
        QPainter painter(&grown);
        painter.drawImage(0, 0, m_store);
    }
    m_store = std::move(grown);
}

void CanvasWidget::resizeEvent(QResizeEvent* event)
{
    resizeStore(size());
    QWidget::resizeEvent(event);
}

void CanvasWidget::paintEvent(QPaintEvent* event)
{
    if (m_paint) {
        PainterDeviceContext context(m_store);
        m_paint(&context);
    }
    QPainter painter(this);
    painter.drawImage(event->rect(), m_store, event->rect());
}

void CanvasWidget::forwardInput(QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        bool press = event->type() == QEvent::KeyPress;
        int code = virtualKeyCode(key->key());
        if (code != 0)
            forwardToParent(press ? WM_KEYDOWN : WM_KEYUP, code, key->isAutoRepeat() ? 1 : 0);
        QString text = key->text();
        if (press && !text.isEmpty() && text.at(0).unicode() >= 0x20)
            forwardToParent(WM_CHAR, text.at(0).unicode(), 0);
        break;
    }
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        QPoint at = mouse->position().toPoint();
        MessageNumber number = WM_MOUSEMOVE;
        if (event->type() == QEvent::MouseButtonPress)
            number = buttonMessage(mouse->button(), WM_LBUTTONDOWN);
        else if (event->type() == QEvent::MouseButtonRelease)
            number = buttonMessage(mouse->button(), WM_LBUTTONUP);
        else if (event->type() == QEvent::MouseButtonDblClick)
            number = buttonMessage(mouse->button(), WM_LBUTTONDBLCLK);
        if (number != 0)
            forwardToParent(number, buttonFlags(*mouse), pointParam(at.x(), at.y()));
        break;
    }
    default:
        break;
    }
}

bool CanvasWidget::event(QEvent* event)
{
    forwardInput(event);
    return QWidget::event(event);
}

} // namespace platform
