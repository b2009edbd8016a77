// The tool bar buttons of the four programs, by command id.
#include "artwork_tables.h"

namespace artwork {

namespace {

// Parts that several buttons share.
const std::string kFolder = "pen #7a5a00; brush #f0c040; poly 1 5 7 5 9 7 17 7 17 17 1 17; "
                            "brush #ffe9a0; poly 4 10 19 10 16 17 1 17";
const std::string kDisk = "pen #1c2c5c; brush #3d5fa8; poly 2 2 16 2 18 4 18 18 2 18; "
                          "brush white; rect 5 2 15 9; pen #1c2c5c; line 7 4 13 4; line 7 6 13 6; "
                          "brush #c8c8c8; rect 6 12 15 18; fill 8 13 10 17";
const std::string kSheet = "pen #404040; brush white; poly 3 1 13 1 17 5 17 19 3 19; line 13 1 13 5 17 5";
const std::string kAxes = "pen black; line 2 2 2 17 18 17";
// A small curve in the lower right corner: the mark of experiment files.
const std::string kCurveMark = "pen white 3; line 9 18 12 13 15 16 19 10; pen #c00000 2; line 9 18 12 13 15 16 19 10";
const std::string kStroke = "pen #d02020 2; line ";

std::string sheetWithLetter(const std::string& letter, const std::string& colour)
{
    return kSheet + "; pen " + colour + "; ctext 10 16 12 bold '" + letter + "'";
}

} // namespace

const std::vector<Picture>& toolBarImages()
{
    static const std::vector<Picture> images = {
        // Files
        {"101", 20, 20, kFolder},
        {"110", 20, 20, kFolder + "; " + kCurveMark},
        {"102", 20, 20, kDisk},
        {"111", 20, 20, kDisk + "; " + kCurveMark},
        {"252", 20, 20, kDisk + "; pen white 4; line 8 12 12 16 19 6; pen #008000 2; line 8 12 12 16 19 6"},
        {"105", 20, 20,
         "pen #303030; brush white; rect 5 1 15 8; brush #d8d8d8; rect 1 7 19 15; brush #909090; fill 15 9 17 11; "
         "brush white; rect 5 12 15 19; pen #606060; line 7 15 13 15; line 7 17 12 17"},
        {"104", 20, 20,
         "pen #202020; brush #c03030; rect 2 3 6 18; brush #3060c0; rect 6 5 10 18; brush #30a040; rect 10 2 14 18; "
         "brush #e0b020; poly 14 6 17 5 20 17 17 18; pen white; line 3 6 4 6; line 7 8 8 8; line 11 5 12 5"},
        // Model hierarchy
        {"120", 20, 20,
         "pen black; brush white; rect 6 11 15 19; pen #0040c0 2; line 10 10 10 2; line 6 6 10 2 14 6"},
        {"121", 20, 20,
         "pen black; brush white; rect 2 1 18 9; pen #0040c0 2; line 10 4 10 17; line 6 13 10 17 14 13; "
         "pen black 1; rect 7 13 13 19"},
        // Processing and simulation
        {"122", 20, 20,
         kAxes + "; pen #c00000 2; line 3 13 6 7 9 11 12 9; nopen; brush #20a020; poly 11 8 19 13 11 18"},
        {"277", 20, 20, "pen #006000; brush #28b028; poly 5 2 17 10 5 18"},
        {"285", 20, 20, "pen #006000; brush #28b028; poly 2 3 11 10 2 17; poly 9 3 18 10 9 17"},
        {"280", 20, 20,
         "pen #700000; brush #d82020; poly 6 1 13 1 18 6 18 13 13 18 6 18 1 13 1 6; brush white; nopen; "
         "fill 5 8 15 12"},
        // The suite's programs
        {"201", 20, 20,
         "pen black; ctext 4 15 13 bold '0'; ctext 16 15 13 bold '1'; pen #0040c0 2; line 8 10 13 10; "
         "line 13 10 10 7"},
        {"202", 20, 20,
         kSheet + "; pen #404040; line 5 6 11 6; line 5 9 15 9; pen #0040c0; ctext 10 17 9 bold 'x=y'"},
        {"205", 20, 20,
         "pen #303030; brush #e8e8e8; rect 1 2 19 15; brush white; rect 3 4 17 13; pen #c00000; "
         "line 4 11 7 6 10 10 13 7 16 8; pen #303030; brush #a0a0a0; rect 7 15 13 17; rect 4 17 16 19"},
        {"901", 20, 20,
         "pen #103070; brush #2858c0; ellipse 1 1 19 19; pen white; ctext 10 15 13 bold '?'"},
        // Experiment editors
        {"271", 20, 20, sheetWithLetter("P", "#0040c0")},
        {"272", 20, 20, sheetWithLetter("I", "#0040c0")},
        {"273", 20, 20, sheetWithLetter("R", "#0040c0")},
        {"284", 20, 20, sheetWithLetter("M", "#0040c0")},
        {"274", 20, 20, kSheet + "; pen black; line 5 5 5 16 15 16; pen #c00000; line 6 13 9 8 12 12 15 7"},
        {"270", 20, 20,
         "pen #303030; brush white; rect 1 2 19 18; brush #5070b0; fill 2 3 18 7; pen #808080; line 2 10 18 10; "
         "line 2 14 18 14; line 8 7 8 17; pen #303030; nobrush; rect 1 2 19 18"},
        {"286", 20, 20,
         kAxes + "; pen #c00000; line 3 4 6 2 9 5 12 3 16 4; pen #008000; line 3 9 6 7 9 10 12 8 16 9; "
                 "pen #0040c0; line 3 14 6 12 9 15 12 13 16 14"},
        // Clearing runs: the curves that go are struck out
        {"281", 20, 20,
         kAxes + "; pen #909090; line 3 12 7 9 11 12 16 8; pen #c00000; line 3 8 7 4 11 7 16 3; " + kStroke +
             "8 2 16 10; " + kStroke + "16 2 8 10"},
        {"282", 20, 20,
         kAxes + "; pen #c00000; line 3 8 7 4 11 7 16 3; pen #909090; line 3 12 7 9 11 12 16 8; " + kStroke +
             "8 8 16 15; " + kStroke + "16 8 8 15"},
        {"283", 20, 20,
         kAxes + "; pen #c00000; line 3 8 7 4 11 7 16 3; pen #909090; line 3 12 7 9 11 12 16 8; " + kStroke +
             "4 2 17 15; " + kStroke + "17 2 4 15"},
    };
    return images;
}

const std::vector<std::pair<int, int>>& toolBarAliases()
{
    // The simulator's Open Model button shows bitmap 240, the same folder.
    static const std::vector<std::pair<int, int>> aliases = {{240, 101}};
    return aliases;
}

} // namespace artwork
