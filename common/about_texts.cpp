// The about box's texts and the placing of its picture.
#include "common/about_texts.h"

#include <cstdio>

namespace {

/// "%s %s %s" of the platform word, the release and the build text.
std::string versionLine()
{
    char line[64];
    std::snprintf(line, sizeof line, "%s %s %s", "PC Version", "2.3", "");
    return line;
}

} // namespace

AboutTexts& AboutBoxTexts()
{
    static AboutTexts texts = [] {
        AboutTexts t;
        t.lines = {"Graph Editor",
                   versionLine(),
                   "Modelling and simulation of dynamic physical systems",
                   "Bond graphs, block diagrams and equations",
                   "Six integration methods, sweeps, fitting",
                   "Plots, MATLAB files and ANSI C export",
                   "For Linux, with Qt 6"};
        return t;
    }();
    return texts;
}

void ResetAboutTexts()
{
    AboutBoxTexts().lines[0] = "Graph Editor";
    AboutBoxTexts().lines[1] = versionLine();
}

void SetAboutTitle(const std::string& title)
{
    AboutBoxTexts().lines[0] = title;
}

const std::string& AboutCreditsText()
{
    static const std::string credits =
        "Orvanta\n"
        "\n"
        "Written by the Orvanta developers.\n"
        "\n"
        "Stiff integration: CVODE of SUNDIALS.\n"
        "Algebraic loops: MINPACK.\n"
        "Vector arithmetic: BLAS, with libf2c.\n"
        "Windows, dialogs and printing: Qt 6.\n"
        "Letters: the DejaVu fonts.";
    return credits;
}

PictureRect AboutPicturePlace(int pictureWidth, int pictureHeight, const PictureRect& button)
{
    if (pictureWidth <= button.width && pictureHeight <= button.height)
        return {button.x, button.y, pictureWidth, pictureHeight};
    return button;
}
