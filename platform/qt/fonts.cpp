// Widget fonts and dialog units.
#include "platform/qt/fonts.h"

#include <QFontMetrics>

namespace platform {

QFont widgetFont(const FontSpec& font)
{
    QFont result(QString::fromStdString(font.family));
    result.setPixelSize(font.pixelHeight > 0 ? font.pixelHeight : FontSpec().pixelHeight);
    result.setBold(font.bold);
    return result;
}

QFont pinnedFont()
{
    return widgetFont(FontSpec());
}

DialogBaseUnits dialogBaseUnits(const QFont& font)
{
    QFontMetrics metrics(font);
    // The average of the 52 letters, rounded, as dialog layouts have always measured it.
    int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

int dialogUnitsToPixelsX(int units)
{
    static const DialogBaseUnits base = dialogBaseUnits(pinnedFont());
    return (units * base.x + 2) / 4;
}

int dialogUnitsToPixelsY(int units)
{
    static const DialogBaseUnits base = dialogBaseUnits(pinnedFont());
    return (units * base.y + 4) / 8;
}

} // namespace platform
