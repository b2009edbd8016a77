// Finding the artwork among the resources built into the program.
#include "platform/qt/artwork.h"

#include "platform/qt/painter_device_context.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

// The resources live in a static library: nothing would pull them in without this.
static void initialiseArtwork()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(orvanta_artwork);
        return true;
    }();
    (void)done;
}

namespace platform {

QString toolBarImagePath(int commandId)
{
    return QStringLiteral(":/orvanta/toolbar/%1.png").arg(commandId);
}

QIcon toolBarIcon(int commandId)
{
    initialiseArtwork();
    QString path = toolBarImagePath(commandId);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

QIcon windowIcon(std::string_view name)
{
    initialiseArtwork();
    QIcon icon;
    const QString base = QStringLiteral(":/orvanta/icons/") + QString::fromUtf8(name.data(), qsizetype(name.size()));
    for (int size : {16, 22, 32}) {
        QString path = QStringLiteral("%1-%2.png").arg(base).arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

void setWindowIcon(QWidget& window, std::string_view name, bool application)
{
    const QIcon icon = windowIcon(name);
    window.setWindowIcon(icon);
    if (application)
        QApplication::setWindowIcon(icon);
}

QImage bitmapResourceImage(std::string_view name)
{
    initialiseArtwork();
    QString file = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) + ".png";
    for (const char* folder : {":/orvanta/bitmaps/", ":/orvanta/symbols/"}) {
        QImage image(QString::fromLatin1(folder) + file);
        if (!image.isNull())
            return image;
    }
    return QImage();
}

std::optional<Bitmap> loadBitmapResource(std::string_view name)
{
    QImage image = bitmapResourceImage(name);
    if (image.isNull())
        return std::nullopt;
    Bitmap bitmap = toBitmap(image);
    QFile drawing(QStringLiteral(":/orvanta/symbols/") + QString::fromUtf8(name.data(), qsizetype(name.size())) +
                  QStringLiteral(".svg"));
    if (drawing.open(QIODevice::ReadOnly))
        bitmap.setDrawing(drawing.readAll().toStdString());
    return bitmap;
}

} // namespace platform
