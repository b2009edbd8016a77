// The canvas window: the platform canvas with the dialog font and an optional scroller.
#include "common/canvas_window.h"

#include <QApplication>

TQNCanvas::TQNCanvas(QWidget* parent, const std::string& title, bool scroll, PaintFunction paint)
    : CanvasWidget(parent, std::move(paint))
{
    setObjectName(QStringLiteral("TQNCanvas"));
    setWindowTitle(QString::fromStdString(title));
    setFont(QApplication::font());
    if (scroll)
        m_scroller = new platform::Scroller(*this);
    show();
}

void TQNCanvas::resizeEvent(QResizeEvent* event)
{
    CanvasWidget::resizeEvent(event);
    if (m_scroller)
        m_scroller->layoutBars();
}
