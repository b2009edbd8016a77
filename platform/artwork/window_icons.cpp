// The icons of the programs' windows, each drawn for 16, 22 and 32 pixels: the
// graph editor's bond between a 0 and a 1 junction on a blue tile, the equation
// editor's sheet with an equation, the simulator's screen with a damped
// response, and the log window's note pad.
#include "artwork_tables.h"

namespace artwork {

const std::vector<Picture>& windowIcons()
{
    static const std::vector<Picture> icons = {
        // Graph editor: "0" and "1" joined by a bond, its half-arrow pointing at the 1.
        {"IC_QNBGE22", 16, 16,
         "pen #0c2a66; brush #2858c0; rect 0 0 16 16; "
         "pen white; ctext 4 11 8 bold '0'; ctext 12 11 8 bold '1'; line 6 7 10 7; line 10 7 8 5"},
        {"IC_QNBGE22", 22, 22,
         "pen #0c2a66; brush #2858c0; rect 0 0 22 22; "
         "pen white; ctext 4 15 10 bold '0'; ctext 18 15 10 bold '1'; pen white 2; line 7 11 15 11; "
         "line 14 11 11 8"},
        {"IC_QNBGE22", 32, 32,
         "pen #0c2a66; brush #2858c0; rect 0 0 32 32; pen #5a86e0; rect 1 1 31 31; "
         "pen white; ctext 6 21 13 bold '0'; ctext 26 21 13 bold '1'; pen white 2; line 10 16 22 16; "
         "line 21 16 17 12"},

        // Equation editor: a sheet with an equation on it.
        {"IC_QNEE22", 16, 16,
         "pen #404040; brush white; poly 2 0 10 0 13 3 13 15 2 15; line 10 0 10 3 13 3; "
         "pen #909090; line 4 3 8 3; nopen; brush #1e8a3c; fill 4 7 12 9; fill 4 11 12 13"},
        {"IC_QNEE22", 22, 22,
         "pen #404040; brush white; poly 3 0 15 0 19 4 19 21 3 21; line 15 0 15 4 19 4; "
         "pen #909090; line 6 4 12 4; line 6 7 15 7; pen #1e8a3c; ctext 11 17 7 bold 'x=y'"},
        {"IC_QNEE22", 32, 32,
         "pen #404040; brush white; poly 4 0 22 0 28 6 28 31 4 31; brush #d8d8d8; poly 22 0 22 6 28 6; "
         "pen #909090; line 8 6 18 6; line 8 10 24 10; line 8 14 21 14; "
         "pen #1e8a3c; ctext 16 26 10 bold 'x=y'"},

        // Simulator: a screen with a damped response on its axes.
        {"IC_QNSIM22", 16, 16,
         "pen #303030; brush #d8d8d8; rect 0 1 16 12; brush white; rect 2 3 14 10; "
         "pen #c00000; line 3 8 5 4 7 7 9 5 11 6 13 6; pen #303030; brush #909090; rect 6 12 10 14; rect 3 14 13 16"},
        {"IC_QNSIM22", 22, 22,
         "pen #303030; brush #d8d8d8; rect 0 1 22 17; brush white; rect 2 3 20 15; pen #909090; line 3 4 3 13 19 13; "
         "pen #c00000 2; line 4 12 7 5 10 10 13 7 16 9 18 8; pen #303030 1; brush #909090; rect 8 17 14 19; "
         "rect 4 19 18 22"},
        {"IC_QNSIM22", 32, 32,
         "pen #303030; brush #d8d8d8; rect 0 2 32 25; brush white; rect 3 5 29 22; pen #909090; line 5 6 5 20 27 20; "
         "pen #c00000 2; line 6 19 9 8 12 7 15 15 18 16 21 11 24 12 27 13; pen #303030 1; brush #909090; "
         "rect 12 25 20 28; rect 6 28 26 32"},

        // Log window: a note pad of text lines under a blue binding.
        {"IC_LOG22", 16, 16,
         "pen #7a5a00; brush #fff4c0; rect 2 1 14 16; nopen; brush #2858c0; fill 2 0 14 3; "
         "pen #404040; line 4 6 11 6; line 4 8 12 8; line 4 10 10 10; line 4 12 12 12; line 4 14 8 14"},
        {"IC_LOG22", 22, 22,
         "pen #7a5a00; brush #fff4c0; rect 3 2 19 22; nopen; brush #2858c0; fill 3 0 19 4; "
         "pen #404040; line 6 8 15 8; line 6 11 16 11; line 6 14 13 14; line 6 17 16 17; line 6 20 11 20"},
        {"IC_LOG22", 32, 32,
         "pen #7a5a00; brush #fff4c0; rect 4 3 28 32; nopen; brush #2858c0; fill 4 0 28 6; brush white; "
         "fill 8 2 10 4; fill 15 2 17 4; fill 22 2 24 4; "
         "pen #404040 2; line 8 11 23 11; line 8 15 24 15; line 8 19 20 19; line 8 23 24 23; line 8 27 17 27"},
    };
    return icons;
}

} // namespace artwork
