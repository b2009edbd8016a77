// Tool bar buttons as the suite describes them: a command id and the image
// of its button, with separators between groups.
#pragma once

#include <QPixmap>

#include <string>

namespace platform {

/// One button (id > 0) or a separator of 10 pixels (id 0).
struct ToolButton {
    int id = 0;
    /// The button's image: a Qt resource or file path; empty or missing gives a plain placeholder.
    std::string image;

    static ToolButton button(int id, std::string image = {});
    static ToolButton separator();
};

/// The size of a tool button's image in pixels.
inline constexpr int kToolImageSize = 20;

/// The image of a button: the picture at `image` when it loads, else a plain
/// placeholder of the tool image size.
QPixmap toolButtonImage(const std::string& image);

} // namespace platform
