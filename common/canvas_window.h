// The drawing surface the graph editor and the simulator place in their main
// windows: painted by its owner, input handed to the parent first.
#pragma once

#include "platform/qt/canvas_widget.h"
#include "platform/qt/scroller.h"

#include <string>

/// A child canvas, scrollable on request, that paints through a callback.
class TQNCanvas : public platform::CanvasWidget {
public:
    /// Paints in the given context (null when there is none).
    using PaintFunction = platform::CanvasWidget::PaintCallback;

    TQNCanvas(QWidget* parent, const std::string& title, bool scroll, PaintFunction paint);

    /// The scroller; null for a canvas made without scrolling.
    platform::Scroller* Scroller() const { return m_scroller; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    platform::Scroller* m_scroller = nullptr;
};
