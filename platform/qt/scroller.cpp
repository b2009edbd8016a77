// Scroller positions kept in step with the window's scroll bars.
#include "platform/qt/scroller.h"

#include <QScrollBar>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace platform {

Scroller::Scroller(QWidget& window)
    : QObject(&window), m_window(window), m_horizontal(new QScrollBar(Qt::Horizontal, &window)),
      m_vertical(new QScrollBar(Qt::Vertical, &window))
{
    m_horizontal->setObjectName(QStringLiteral("horizontalScrollBar"));
    m_vertical->setObjectName(QStringLiteral("verticalScrollBar"));
    for (QScrollBar* bar : {m_horizontal, m_vertical}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (trackMode)
                barMoved();
        });
        connect(bar, &QScrollBar::sliderReleased, this, [this] { barMoved(); });
        bar->show();
    }
    updateBars();
    layoutBars();
}

void Scroller::setUnits(int xUnit, int yUnit)
{
    m_xUnit = std::max(1, xUnit);
    m_yUnit = std::max(1, yUnit);
    m_window.update();
}

void Scroller::setRange(int xRange, int yRange)
{
    m_xRange = std::max(0, xRange);
    m_yRange = std::max(0, yRange);
    m_xPos = std::clamp(m_xPos, 0, m_xRange);
    m_yPos = std::clamp(m_yPos, 0, m_yRange);
    updateBars();
    m_window.update();
}

void Scroller::scrollTo(int x, int y)
{
    int newX = std::clamp(x, 0, m_xRange);
    int newY = std::clamp(y, 0, m_yRange);
    if (newX == m_xPos && newY == m_yPos)
        return;
    m_xPos = newX;
    m_yPos = newY;
    updateBars();
    m_window.update();
}

void Scroller::scrollBy(int dx, int dy)
{
    scrollTo(m_xPos + dx, m_yPos + dy);
}

int Scroller::barExtent() const
{
    return m_window.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

void Scroller::layoutBars()
{
    int extent = barExtent();
    int width = m_window.width();
    int height = m_window.height();
    m_horizontal->setGeometry(0, height - extent, std::max(0, width - extent), extent);
    m_vertical->setGeometry(width - extent, 0, extent, std::max(0, height - extent));
}

void Scroller::updateBars()
{
    m_updating = true;
    m_horizontal->setRange(0, m_xRange);
    m_vertical->setRange(0, m_yRange);
    m_horizontal->setValue(m_xPos);
    m_vertical->setValue(m_yPos);
    m_updating = false;
}

void Scroller::barMoved()
{
    if (m_updating)
        return;
    scrollTo(m_horizontal->value(), m_vertical->value());
}

} // namespace platform
