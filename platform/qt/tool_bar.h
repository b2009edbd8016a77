// Tool bar buttons as the suite describes them: a command id and the image
// of its button, with separators between groups.
#pragma once

#include <QPixmap>

#include <string>

namespace platform {

/// One button (id > 0) or a separator of 10 pixels (id 0).
struct ToolButton {
    int id = 0;
    /// The number of the button's image in the suite's artwork; the command's id when 0.
    int bitmap = 0;
    /// A picture file or resource to show instead of the artwork.
    std::string image;

    static ToolButton button(int id, int bitmap = 0);
    static ToolButton withImage(int id, std::string image);
    static ToolButton separator();
};

/// The size of a tool button's image in pixels.
inline constexpr int kToolImageSize = 20;

/// The image of a button: its own picture, else the artwork of its number,
/// else a plain placeholder of the tool image size.
QPixmap toolButtonImage(const ToolButton& button);

} // namespace platform
