// The about box's picture: a small bond graph of a mass on a spring with its
// damping, beside the response it gives.
#include "artwork_tables.h"

namespace artwork {

const Picture& aboutPicture()
{
    static const Picture picture = {
        "BM_ABOUTW", 160, 100,
        "pen #b0c0e0; brush #eef2fa; rect 0 0 160 100; "
        // The bond graph: Se -> 1 -> C, I, R
        "pen black; ctext 14 30 13 bold 'Se'; ctext 56 30 13 bold '1'; ctext 98 30 13 bold 'C'; "
        "ctext 56 70 13 bold 'I'; ctext 98 70 13 bold 'R'; "
        "pen #0040c0 2; line 26 25 48 25; line 48 25 42 19; line 64 25 88 25; line 88 25 82 19; "
        "line 56 36 56 56; line 56 56 62 50; line 63 33 90 60; line 90 60 82 60; "
        // The damped response
        "pen #606060 1; line 114 12 114 48 154 48; "
        "pen #c00000 2; line 115 47 118 20 121 14 124 22 127 36 130 40 133 34 136 28 139 29 142 33 145 34 148 32 152 31; "
        // The name
        "pen #1c2c5c; ctext 80 93 15 bold 'Orvanta'"};
    return picture;
}

} // namespace artwork
