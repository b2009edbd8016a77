// The pictures of the equation editor's model wizard, one per page: the new
// model's heading and kind, its interface, the restrictions on its ports and
// the sections generated.
#include "artwork_tables.h"

namespace artwork {

const std::vector<Picture>& wizardPictures()
{
    static const std::vector<Picture> pictures = {
        {"BM_WIZARD1", 149, 203,
         "pen #b0c0e0; brush #eef2fa; rect 0 0 149 203; "
         // A new sheet with the class heading
         "pen #606060; brush white; poly 18 16 108 16 128 36 128 142 18 142; "
         "brush #d8d8d8; poly 108 16 108 36 128 36; "
         "pen #0040c0; text 26 46 12 bold 'class'; pen black; text 68 46 12 'pump'; "
         "pen #0040c0; text 26 64 12 bold 'version'; pen black; text 86 64 12 '1'; "
         "pen #a8a8a8 2; line 26 84 110 84; line 26 98 94 98; line 26 112 104 112; line 26 126 84 126; "
         // A submodel with its ports, or a main model closed in itself
         "pen #1c2c5c 1; brush #ffe9a8; rect 18 156 54 186; rect 94 156 136 186; "
         "pen black; ctext 36 175 11 'sub'; ctext 115 175 11 'main'; "
         "pen #0040c0 2; line 4 171 17 171; line 17 171 12 166; line 55 171 68 171; line 68 171 63 166; "
         "pen #606060 1; ctext 81 175 10 'or'"},
        {"BM_WIZARD2", 230, 68,
         "pen #b0c0e0; brush #eef2fa; rect 0 0 230 68; "
         "pen #1c2c5c; brush #ffe9a8; rect 88 12 142 56; pen black; ctext 115 38 11 'model'; "
         // Ports are bonds with their half-arrows, inputs and outputs signals
         "pen #0040c0 2; line 14 24 86 24; line 86 24 79 17; line 144 24 216 24; line 216 24 209 17; "
         "pen #c00000 2; brush #c00000; line 14 46 78 46; poly 78 42 86 46 78 50; "
         "line 144 46 208 46; poly 208 42 216 46 208 50; "
         "pen black; text 18 19 10 'port'; text 190 19 10 'port'; text 18 41 10 'input'; text 178 41 10 'output'"},
        {"BM_WIZARD3", 310, 100,
         "pen #b0c0e0; brush #eef2fa; rect 0 0 310 100; "
         "pen #1c2c5c; brush #ffe9a8; rect 128 28 182 72; pen black; ctext 155 54 11 'model'; "
         // Causality: the stroke at the model's end of p1's bond
         "pen #0040c0 2; line 30 50 126 50; line 126 50 118 42; pen #c00000 3; line 126 36 126 64; "
         // Orientation: p2's bond points out of the model
         "pen #0040c0 2; line 184 50 280 50; line 280 50 272 42; "
         "pen black; text 30 44 11 'p1'; text 264 66 11 'p2'; "
         "ctext 78 20 11 bold 'causality'; ctext 232 20 11 bold 'orientation'; "
         "pen #404040; ctext 78 88 10 'fixed effort p1'; ctext 232 88 10 'fixed out p2'"},
        {"BM_WIZARD4", 212, 153,
         "pen #b0c0e0; brush #eef2fa; rect 0 0 212 153; "
         "pen #606060; brush white; poly 44 10 170 10 192 32 192 144 44 144; "
         "brush #d8d8d8; poly 170 10 170 32 192 32; "
         "pen #0040c0; text 54 40 12 bold 'parameters'; text 54 78 12 bold 'variables'; "
         "text 54 116 12 bold 'equations'; "
         "pen #a8a8a8 2; line 62 54 150 54; line 62 92 140 92; line 62 130 160 130; "
         // The two optional sections ticked
         "pen #008000 3; line 14 34 21 42 34 24; line 14 72 21 80 34 62"},
    };
    return pictures;
}

} // namespace artwork
