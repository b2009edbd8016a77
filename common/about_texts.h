// The texts of the about box and the start-up box, shared by both, and where
// the about picture goes on its button.
#pragma once

#include <array>
#include <string>

/// The controls of the boxes that show the seven texts, in the order of
/// `AboutTexts::lines`: title, version line, third line and four more.
inline constexpr std::array<int, 7> AboutTextControls{580, 581, 582, 589, 590, 588, 583};

/// The credits' edit, shown in place of the texts.
inline constexpr int AboutCreditsControl = 579;

/// The seven texts both boxes show.
struct AboutTexts {
    std::array<std::string, 7> lines;
};

/// The program's texts.
AboutTexts& AboutBoxTexts();

/// Puts the title back to "Graph Editor" and formats the version line, as
/// making either box does.
void ResetAboutTexts();

/// Sets the title (the program's name).
void SetAboutTitle(const std::string& title);

/// The text the credits' edit shows.
const std::string& AboutCreditsText();

/// A rectangle in pixels.
struct PictureRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PictureRect&) const = default;
};

/// Where a picture of the given size is drawn on a button: at its own size in
/// the button's top-left corner when it fits both ways, else stretched to the
/// whole button.
PictureRect AboutPicturePlace(int pictureWidth, int pictureHeight, const PictureRect& button);
