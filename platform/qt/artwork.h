// The suite's artwork among the Qt resources: tool bar images by command id,
// the windows' icons, the bitmaps of the radio buttons and the about box, and
// element symbols.
#pragma once

#include "platform/core/bitmap.h"

#include <QIcon>
#include <QImage>
#include <QString>

class QWidget;

#include <optional>
#include <string_view>

namespace platform {

/// The resource path of a tool bar button's image: ":/orvanta/toolbar/<command id>.png".
QString toolBarImagePath(int commandId);

/// The image of a tool bar button; a null icon when the command has none.
QIcon toolBarIcon(int commandId);

/// A window's icon by its resource name ("IC_QNBGE22", "IC_QNEE22", "IC_QNSIM22",
/// "IC_LOG22") with its pictures for 16, 22 and 32 pixels; a null icon when there is none.
QIcon windowIcon(std::string_view name);

/// Gives a window the icon of that name; with `application` also the program
/// itself, whose other windows and dialogs then show it.
void setWindowIcon(QWidget& window, std::string_view name, bool application = false);

/// A bitmap resource by name: the radio pictures ("BM_SBOND", "BM_SBOND2",
/// "BM_SBOND3" ...), the about picture "BM_ABOUTW", the model wizard's page
/// pictures ("BM_WIZARD1" ...) and the element symbols
/// ("BM_C", "BM_CBW" ...). A null image when there is none.
QImage bitmapResourceImage(std::string_view name);

/// The same as a bitmap, with its drawing where the resources hold one (the
/// element symbols' colour forms); none when there is no such resource.
std::optional<Bitmap> loadBitmapResource(std::string_view name);

} // namespace platform
