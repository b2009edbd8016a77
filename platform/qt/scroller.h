// The scroller of a canvas: positions and ranges in units, shown on two
// scroll bars along the canvas's right and bottom edges.
#pragma once

#include <QObject>

class QScrollBar;
class QWidget;

namespace platform {

/// Scroll position and range of a window, counted in units of pixels.
class Scroller : public QObject {
public:
    /// Adds both scroll bars to the window (which owns them).
    explicit Scroller(QWidget& window);

    void setUnits(int xUnit, int yUnit);
    /// The largest positions; the positions are kept within them.
    void setRange(int xRange, int yRange);
    void scrollTo(int x, int y);
    void scrollBy(int dx, int dy);

    int xUnit() const { return m_xUnit; }
    int yUnit() const { return m_yUnit; }
    int xRange() const { return m_xRange; }
    int yRange() const { return m_yRange; }
    int xPos() const { return m_xPos; }
    int yPos() const { return m_yPos; }

    /// Scrolling while the mouse is dragged past the edge.
    bool autoMode = false;
    /// The window follows the thumb while it is dragged (else on release).
    bool trackMode = true;

    QScrollBar* horizontalBar() const { return m_horizontal; }
    QScrollBar* verticalBar() const { return m_vertical; }

    /// Places the bars along the window's edges; call when its size changes.
    void layoutBars();

    /// The width of the vertical bar and the height of the horizontal one.
    int barExtent() const;

private:
    void updateBars();
    void barMoved();

    QWidget& m_window;
    QScrollBar* m_horizontal;
    QScrollBar* m_vertical;
    int m_xUnit = 1, m_yUnit = 1;
    int m_xRange = 1, m_yRange = 1;
    int m_xPos = 0, m_yPos = 0;
    bool m_updating = false;
};

} // namespace platform
