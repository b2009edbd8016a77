// The owner-drawn list box and the bitmap radio button.
#include "grapheditor/program/owner_drawn_controls.h"

#include "common/message_boxes.h"
#include "platform/qt/artwork.h"
#include "platform/qt/painter_device_context.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionFocusRect>

TQNListBox::TQNListBox(platform::Dialog& dialog, int id) : m_dialog(dialog), m_id(id)
{
    dialog.setOwnerDraw(id, &TQNListBox::paintItem);
}

void TQNListBox::setItemBitmap(int index, const platform::Bitmap* bitmap)
{
    m_dialog.setItemData(m_id, index, QVariant::fromValue(reinterpret_cast<qulonglong>(bitmap)));
}

QImage TQNListBox::maskedImage(const platform::Bitmap& bitmap, QColor text, QColor background)
{
    // (bitmap AND background) OR (NOT bitmap AND text), channel by channel.
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_RGB32);
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const QColor b = platform::toQColor(bitmap.pixel(x, y));
            auto mix = [](int bit, int back, int ink) { return (bit & back) | (~bit & ink & 0xFF); };
            image.setPixel(x, y,
                           qRgb(mix(b.red(), background.red(), text.red()),
                                mix(b.green(), background.green(), text.green()),
                                mix(b.blue(), background.blue(), text.blue())));
        }
    }
    return image;
}

void TQNListBox::paintItem(QPainter& painter, const platform::OwnerDrawItem& item)
{
    const QPalette palette = QApplication::palette();
    QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    QColor background = platform::toQColor(kLightGrey);
    if (item.disabled) {
        text = palette.color(QPalette::Disabled, QPalette::WindowText);
    } else if (item.selected) {
        text = palette.color(QPalette::Active, QPalette::HighlightedText);
        background = palette.color(QPalette::Active, QPalette::Highlight);
    }
    painter.fillRect(item.rect, background);
    painter.setPen(text);
    const QFontMetrics metrics(painter.font());
    painter.drawText(QPoint(item.rect.left() + kTextLeft, item.rect.top() + metrics.ascent()),
                     QString::fromStdString(item.text));
    if (const auto* bitmap = reinterpret_cast<const platform::Bitmap*>(item.data.toULongLong()))
        painter.drawImage(QPoint(item.rect.left(), item.rect.top()), maskedImage(*bitmap, text, background));
    if (item.focused) {
        QStyleOptionFocusRect focus;
        focus.rect = item.rect;
        focus.backgroundColor = background;
        QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter);
    }
}

TQNRadioButton::TQNRadioButton(platform::Dialog& dialog, int id, const std::string& name)
{
    std::array<QImage, 3> pictures;
    const std::array<std::string, 3> names = {name, name + "2", name + "3"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        pictures[i] = platform::bitmapResourceImage(names[i]);
        if (pictures[i].isNull()) {
            ShowMessage({"Some resources of Orvanta are inaccessible.", "Run the setup program again before",
                         "continuing the Orvanta session."});
            return;
        }
    }
    m_loaded = true;
    dialog.setOwnerDraw(id, [pictures](QPainter& painter, const platform::OwnerDrawItem& item) {
        const QImage& picture = pictures[std::size_t(pictureFor(!item.disabled, item.checked))];
        // A button at least as large as its bitmap shows it at its corner; a smaller one shrinks it to fit.
        if (item.rect.width() >= picture.width() && item.rect.height() >= picture.height())
            painter.drawImage(item.rect.topLeft(), picture);
        else
            painter.drawImage(item.rect, picture);
    });
}
