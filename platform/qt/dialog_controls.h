// The controls of dialogs that Qt has no twin of: list items laid out at tab
// stops, list items and buttons the dialog paints itself.
#pragma once

#include <QAbstractButton>
#include <QRect>
#include <QStyledItemDelegate>
#include <QVariant>

#include <functional>
#include <string>
#include <vector>

namespace platform {

/// What an owner-drawn item or button is to look like.
struct OwnerDrawItem {
    int controlId = 0;
    int index = -1; ///< the list item; -1 for a button
    QRect rect;
    std::string text;
    QVariant data; ///< what the dialog gave the list item
    bool selected = false;
    bool focused = false;
    bool disabled = false;
    bool checked = false;
    bool pressed = false;
};

/// Paints one owner-drawn item or button.
using OwnerDrawPainter = std::function<void(QPainter& painter, const OwnerDrawItem& item)>;

/// Where each tab-separated piece of a text starts, in pixels from the text's
/// left edge: a piece after a tab starts at the first stop past the end of the
/// piece before it. One stop means a stop every so many pixels; past the last
/// of several stops (or with none) stops follow every `defaultSpacing` pixels.
std::vector<int> tabbedPieceOffsets(const std::vector<int>& pieceWidths, const std::vector<int>& stops,
                                    int defaultSpacing);

/// Draws list items: texts with tabs in columns at tab stops (in quarters of
/// the font's average letter), or through the dialog's painter.
class ListItemDelegate : public QStyledItemDelegate {
public:
    ListItemDelegate(int controlId, QObject* parent);

    void setTabStops(std::vector<int> dialogUnits) { m_tabStops = std::move(dialogUnits); }
    void setPainter(OwnerDrawPainter painter) { m_painter = std::move(painter); }
    bool hasPainter() const { return bool(m_painter); }
    /// Every item's height in pixels (0: the font's).
    void setItemHeight(int pixels) { m_itemHeight = pixels; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_controlId;
    std::vector<int> m_tabStops;
    OwnerDrawPainter m_painter;
    int m_itemHeight = 0;
};

/// A push or radio button that the dialog paints; a plain frame until it does.
class OwnerDrawnButton : public QAbstractButton {
public:
    OwnerDrawnButton(int controlId, bool radio, QWidget* parent);

    void setPainter(OwnerDrawPainter painter);
    /// Called on a double click with the left button.
    void setDoubleClickHandler(std::function<void()> handler) { m_doubleClick = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int m_controlId;
    OwnerDrawPainter m_painter;
    std::function<void()> m_doubleClick;
};

} // namespace platform
