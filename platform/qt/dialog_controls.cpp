// List items at tab stops and owner-drawn items and buttons.
#include "platform/qt/dialog_controls.h"

#include "platform/qt/fonts.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace platform {

namespace {

// Pixels between a list item's left edge and its text.
constexpr int kTextMargin = 2;

int nextStop(int end, const std::vector<int>& stops, int defaultSpacing)
{
    int spacing = std::max(defaultSpacing, 1);
    if (stops.size() == 1 && stops.front() > 0)
        spacing = stops.front();
    else
        for (int stop : stops)
            if (stop > end)
                return stop;
    int from = stops.size() > 1 ? stops.back() : 0;
    return from + ((end - from) / spacing + 1) * spacing;
}

} // namespace

std::vector<int> tabbedPieceOffsets(const std::vector<int>& pieceWidths, const std::vector<int>& stops,
                                    int defaultSpacing)
{
    std::vector<int> offsets;
    offsets.reserve(pieceWidths.size());
    for (std::size_t i = 0; i < pieceWidths.size(); ++i) {
        if (i == 0)
            offsets.push_back(0);
        else
            offsets.push_back(nextStop(offsets.back() + pieceWidths[i - 1], stops, defaultSpacing));
    }
    return offsets;
}

ListItemDelegate::ListItemDelegate(int controlId, QObject* parent)
    : QStyledItemDelegate(parent), m_controlId(controlId)
{
}

void ListItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    bool selected = item.state & QStyle::State_Selected;
    bool enabled = item.state & QStyle::State_Enabled;
    if (m_painter) {
        OwnerDrawItem draw;
        draw.controlId = m_controlId;
        draw.index = index.row();
        draw.rect = item.rect;
        draw.text = item.text.toStdString();
        draw.data = index.data(Qt::UserRole);
        draw.selected = selected;
        draw.focused = item.state & QStyle::State_HasFocus;
        draw.disabled = !enabled;
        painter->save();
        m_painter(*painter, draw);
        painter->restore();
        return;
    }
    const QWidget* widget = item.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, widget);

    QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    QFontMetrics metrics(item.font);
    QStringList pieces = item.text.split(QLatin1Char('\t'));
    std::vector<int> widths;
    for (const QString& piece : pieces)
        widths.push_back(metrics.horizontalAdvance(piece));
    DialogBaseUnits base = dialogBaseUnits(item.font);
    std::vector<int> stops;
    for (int units : m_tabStops)
        stops.push_back((units * base.x + 2) / 4);
    // Tabs without stops of their own come every eight letters.
    std::vector<int> offsets = tabbedPieceOffsets(widths, stops, 8 * base.x);
    int baseline = item.rect.top() + (item.rect.height() - metrics.height()) / 2 + metrics.ascent();
    for (qsizetype i = 0; i < pieces.size(); ++i)
        painter->drawText(QPoint(item.rect.left() + kTextMargin + offsets[std::size_t(i)], baseline), pieces[i]);
    painter->restore();
}

QSize ListItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(m_itemHeight > 0 ? m_itemHeight : QFontMetrics(option.font).height() + 1);
    return size;
}

OwnerDrawnButton::OwnerDrawnButton(int controlId, bool radio, QWidget* parent)
    : QAbstractButton(parent), m_controlId(controlId)
{
    setCheckable(radio);
    setAutoExclusive(false);
}

void OwnerDrawnButton::setPainter(OwnerDrawPainter painter)
{
    m_painter = std::move(painter);
    update();
}

void OwnerDrawnButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_painter) {
        OwnerDrawItem item;
        item.controlId = m_controlId;
        item.rect = rect();
        item.text = text().toStdString();
        item.focused = hasFocus();
        item.disabled = !isEnabled();
        item.checked = isChecked();
        item.selected = isChecked();
        item.pressed = isDown();
        m_painter(painter, item);
        return;
    }
    // Until the dialog paints it: a plain raised frame with the text.
    painter.fillRect(rect(), palette().button());
    painter.setPen(palette().color(isDown() || isChecked() ? QPalette::Dark : QPalette::Light));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.drawLine(0, 0, 0, height() - 1);
    painter.setPen(palette().color(isDown() || isChecked() ? QPalette::Light : QPalette::Dark));
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    painter.setPen(palette().color(isEnabled() ? QPalette::Normal : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

void OwnerDrawnButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_doubleClick)
        m_doubleClick();
    QAbstractButton::mouseDoubleClickEvent(event);
}

} // namespace platform
