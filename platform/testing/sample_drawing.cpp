// The sample drawing of the back-end tests.
#include "platform/testing/sample_drawing.h"

namespace testsupport {

using namespace platform;

Bitmap sampleBitmap()
{
    Bitmap bitmap(8, 8);
    for (int i = 0; i < 8; ++i) {
        bitmap.setPixel(i, 0, 0);
        bitmap.setPixel(i, 7, 0);
        bitmap.setPixel(0, i, 0);
        bitmap.setPixel(7, i, 0);
        bitmap.setPixel(i, i, 0);
    }
    bitmap.setPixel(3, 1, rgb(255, 0, 0));
    return bitmap;
}

void drawSample(DeviceContext& dc)
{
    dc.setPen(Pen{PenStyle::Solid, 1, 0});
    dc.setBrush(Brush{BrushStyle::Hollow, 0});
    dc.rectangle(2, 2, kSampleWidth - 2, kSampleHeight - 2);

    dc.setPen(Pen{PenStyle::Solid, 3, rgb(200, 0, 0)});
    dc.moveTo(10, 150);
    dc.lineTo(110, 60);
    dc.setPen(Pen{PenStyle::Dash, 1, rgb(0, 0, 200)});
    dc.polyline({{10, 130}, {40, 100}, {70, 130}, {100, 100}, {130, 130}});

    dc.setPen(Pen{PenStyle::Solid, 1, 0});
    dc.setBrush(Brush{BrushStyle::Solid, rgb(255, 230, 0)});
    dc.rectangle(130, 10, 180, 50);
    dc.setBrush(Brush{BrushStyle::Solid, rgb(0, 170, 0)});
    dc.ellipse(185, 10, 230, 50);
    dc.fillRect(130, 55, 150, 70, Brush{BrushStyle::Solid, rgb(0, 120, 255)});
    for (int x = 155; x < 175; x += 2)
        dc.setPixel(x, 62, rgb(255, 0, 255));

    dc.setFont(FontSpec{"DejaVu Sans", 14, 0, true});
    dc.setTextColor(0);
    dc.setTextAlign(TA_LEFT | TA_TOP);
    dc.textOut(10, 10, "Orvanta plot");
    dc.setFont(FontSpec{});
    dc.setTextAlign(TA_CENTER | TA_BASELINE);
    dc.setBackgroundColor(rgb(255, 255, 160));
    dc.setBackgroundMode(BackgroundMode::Opaque);
    dc.textOut(60, 45, "x = 1.5");
    dc.setBackgroundMode(BackgroundMode::Transparent);

    Bitmap bitmap = sampleBitmap();
    dc.drawBitmap(bitmap, 150, 100, BitmapMode::Copy);
    dc.drawBitmap(bitmap, 165, 100, 181, 116, BitmapMode::Copy);
    dc.setTextColor(rgb(0, 0, 255));
    dc.drawBitmap(bitmap, 190, 100, 206, 116, BitmapMode::Masked);
    dc.setTextColor(0);

    dc.setPen(Pen{PenStyle::Solid, 1, 0});
    dc.setRasterOp(RasterOp::Not);
    dc.moveTo(130, 75);
    dc.lineTo(230, 75);
    dc.setRasterOp(RasterOp::CopyPen);

    dc.setClipRect(150, 125, 230, 150);
    dc.setBrush(Brush{BrushStyle::Solid, rgb(255, 128, 0)});
    dc.ellipse(140, 120, 220, 180);
    dc.removeClip();
}

} // namespace testsupport
