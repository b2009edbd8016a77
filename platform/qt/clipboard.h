// The clipboard with the suite's formats: a picture goes on as a metafile, a
// PNG and an SVG together, text as text; cut, copy and paste all go through
// the helpers here.
#pragma once

#include "platform/core/device_context.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr char kMetafileMimeType[] = "image/x-wmf";
inline constexpr char kPngMimeType[] = "image/png";
inline constexpr char kSvgMimeType[] = "image/svg+xml";
inline constexpr char kTextMimeType[] = "text/plain";

/// The logical rectangle a picture shows, and how many units make an inch.
struct PictureArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int unitsPerInch = 96;
};

/// One drawing in the three picture formats (the bytes of each file).
struct Picture {
    std::string metafile;
    std::string png;
    std::string svg;
};

/// Draws the picture three times: into a placeable metafile, a white image
/// (96 pixels an inch, at most 4096 a side) and an SVG. Each context starts
/// with the anisotropic mapping of the area onto the whole picture (the
/// drawing may set a window of its own); an area of no size counts as one unit.
Picture makePicture(const PictureArea& area, const std::function<void(DeviceContext&)>& draw);

/// The data of one format on the clipboard.
struct ClipboardItem {
    std::string mimeType;
    std::string data;
};

/// The three formats of a picture.
std::vector<ClipboardItem> pictureItems(const Picture& picture);
/// Text (UTF-8) as the clipboard's text.
std::vector<ClipboardItem> textItems(std::string_view text);

/// Copy: the clipboard's content becomes these formats together. False when
/// the program has no clipboard.
bool putOnClipboard(const std::vector<ClipboardItem>& items);

/// Cut: as copy, then `removeSelection` when the items are on the clipboard.
bool cutToClipboard(const std::vector<ClipboardItem>& items, const std::function<void()>& removeSelection);

/// Paste: the data of a format on the clipboard; none when it holds no such
/// format (or there is no clipboard).
std::optional<std::string> takeFromClipboard(std::string_view mimeType);

} // namespace platform
