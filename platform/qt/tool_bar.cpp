// Tool button images: the button's own picture, the artwork, or a placeholder.
#include "platform/qt/tool_bar.h"

#include "platform/qt/artwork.h"

#include <QPainter>

namespace platform {

ToolButton ToolButton::button(int id, int bitmap)
{
    return {id, bitmap, {}};
}

ToolButton ToolButton::withImage(int id, std::string image)
{
    return {id, 0, std::move(image)};
}

ToolButton ToolButton::separator()
{
    return {};
}

QPixmap toolButtonImage(const ToolButton& button)
{
    if (!button.image.empty()) {
        QPixmap picture(QString::fromStdString(button.image));
        if (!picture.isNull())
            return picture;
    }
    if (button.id > 0) {
        QIcon artwork = toolBarIcon(button.bitmap > 0 ? button.bitmap : button.id);
        if (!artwork.isNull())
            return artwork.pixmap(kToolImageSize, kToolImageSize);
    }
    QPixmap placeholder(kToolImageSize, kToolImageSize);
    placeholder.fill(Qt::transparent);
    QPainter painter(&placeholder);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.setBrush(QColor(0xE0, 0xE0, 0xE0));
    painter.drawRect(2, 2, kToolImageSize - 5, kToolImageSize - 5);
    return placeholder;
}

} // namespace platform
