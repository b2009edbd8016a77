// The pictures of the draw popup's tool radio buttons: what a click on the canvas draws.
#include "artwork_tables.h"

namespace artwork {

const std::vector<Picture>& radioPictures()
{
    static const std::vector<Picture> pictures = {
        // A bond with its half-arrow
        {"BM_SBOND", 36, 24, "pen ink; line 6 14 29 14; line 29 14 23 8"},
        // A multibond: two lines and a wider half-arrow
        {"BM_MBOND", 36, 24, "pen ink; line 6 12 29 12; line 6 16 29 16; line 29 16 21 8"},
        // A signal with its arrowhead
        {"BM_SSIGNAL", 36, 24, "pen ink; brush ink; line 6 12 24 12; poly 23 8 30 12 23 16"},
        // A multisignal
        {"BM_MSIGNAL", 36, 24, "pen ink; brush ink; line 6 10 24 10; line 6 14 24 14; poly 23 6 31 12 23 18"},
        // A port (PIO) box with its name
        {"BM_PORTS", 36, 24, "pen ink; rect 6 5 30 19; ctext 18 16 9 bold 'PIO'"},
        // The selection arrow
        {"BM_ARROW", 36, 24, "pen ink; brush ink; poly 14 3 14 19 18 15 21 21 23 20 20 14 25 14"},
    };
    return pictures;
}

} // namespace artwork
