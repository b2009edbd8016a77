// Pictures in three formats, and the clipboard's put, cut and take.
#include "platform/qt/clipboard.h"

#include "platform/core/metafile_writer.h"
#include "platform/qt/painter_device_context.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr int kMaxPicturePixels = 4096;

/// Maps the area onto a device of the given pixel size.
void mapArea(DeviceContext& dc, const PictureArea& area, QSize pixels)
{
    dc.setMapMode(MapMode::Anisotropic);
    dc.setWindowOrigin(area.left, area.top);
    dc.setWindowExtent(std::max(area.width, 1), std::max(area.height, 1));
    dc.setViewportOrigin(0, 0);
    dc.setViewportExtent(pixels.width(), pixels.height());
}

int pixelsOf(int units, int unitsPerInch)
{
    double pixels = std::round(std::max(units, 1) * 96.0 / std::max(unitsPerInch, 1));
    return static_cast<int>(std::clamp(pixels, 1.0, static_cast<double>(kMaxPicturePixels)));
}

/// The program's clipboard; null without a GUI application.
QClipboard* applicationClipboard()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

std::string bytesOf(const QByteArray& bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

Picture makePicture(const PictureArea& area, const std::function<void(DeviceContext&)>& draw)
{
    Picture picture;
    {
        MetafileDeviceContext dc(MetafileOptions{area.unitsPerInch}, std::make_unique<ImageDeviceContext>(1, 1));
        dc.setMapMode(MapMode::Anisotropic);
        dc.setWindowOrigin(area.left, area.top);
        dc.setWindowExtent(std::max(area.width, 1), std::max(area.height, 1));
        draw(dc);
        picture.metafile = dc.bytes();
    }
    QSize pixels(pixelsOf(area.width, area.unitsPerInch), pixelsOf(area.height, area.unitsPerInch));
    {
        ImageDeviceContext dc(pixels.width(), pixels.height());
        mapArea(dc, area, pixels);
        draw(dc);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        dc.image().save(&buffer, "PNG");
        picture.png = bytesOf(png);
    }
    {
        QByteArray svg;
        QBuffer buffer(&svg);
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setResolution(96);
        generator.setSize(pixels);
        generator.setViewBox(QRect(QPoint(0, 0), pixels));
        {
            PainterDeviceContext dc(generator);
            mapArea(dc, area, pixels);
            draw(dc);
        }
        picture.svg = bytesOf(svg);
    }
    return picture;
}

std::vector<ClipboardItem> pictureItems(const Picture& picture)
{
    return {{kMetafileMimeType, picture.metafile}, {kPngMimeType, picture.png}, {kSvgMimeType, picture.svg}};
}

std::vector<ClipboardItem> textItems(std::string_view text)
{
    return {{kTextMimeType, std::string(text)}};
}

bool putOnClipboard(const std::vector<ClipboardItem>& items)
{
    QClipboard* clipboard = applicationClipboard();
    if (!clipboard)
        return false;
    auto* data = new QMimeData;
    for (const ClipboardItem& item : items) {
        QByteArray bytes(item.data.data(), static_cast<qsizetype>(item.data.size()));
        if (item.mimeType == kTextMimeType)
            data->setText(QString::fromUtf8(bytes));
        else
            data->setData(QString::fromStdString(item.mimeType), bytes);
    }
    clipboard->setMimeData(data);
    return true;
}

bool cutToClipboard(const std::vector<ClipboardItem>& items, const std::function<void()>& removeSelection)
{
    if (!putOnClipboard(items))
        return false;
    if (removeSelection)
        removeSelection();
    return true;
}

std::optional<std::string> takeFromClipboard(std::string_view mimeType)
{
    QClipboard* clipboard = applicationClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data)
        return std::nullopt;
    QString type = QString::fromUtf8(mimeType.data(), static_cast<qsizetype>(mimeType.size()));
    if (!data->hasFormat(type))
        return std::nullopt;
    if (mimeType == kTextMimeType)
        return bytesOf(data->text().toUtf8());
    return bytesOf(data->data(type));
}

} // namespace platform
