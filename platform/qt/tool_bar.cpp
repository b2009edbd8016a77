// Tool button images and their placeholder.
#include "platform/qt/tool_bar.h"

#include <QPainter>

namespace platform {

ToolButton ToolButton::button(int id, std::string image)
{
    return {id, std::move(image)};
}

ToolButton ToolButton::separator()
{
    return {};
}

QPixmap toolButtonImage(const std::string& image)
{
    if (!image.empty()) {
        QPixmap picture(QString::fromStdString(image));
        if (!picture.isNull())
            return picture;
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
