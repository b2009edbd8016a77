// The symbols of the built-in library's elements. Bond-graph elements (with
// power ports) are one line of text high, so that the name after them fits
// the box of their layout; signal blocks are pictures of their own.
#include "artwork_tables.h"

namespace artwork {

namespace {

/// A symbol of letters in one colour, as wide as the letters ask.
Picture letters(const std::string& name, const std::string& text, int width, const std::string& colour)
{
    return {name, width, 15, "pen " + colour + "; ctext " + std::to_string(width / 2) + " 12 13 bold '" + text + "'"};
}

} // namespace

const std::vector<Picture>& elementSymbols()
{
    static const std::vector<Picture> symbols = {
        letters("0j", "0", 11, "black"),
        letters("1j", "1", 11, "black"),
        letters("c", "C", 12, "#0040c0"),
        letters("i", "I", 8, "#c00000"),
        letters("r", "R", 12, "#008000"),
        letters("se", "Se", 21, "#a05000"),
        letters("sf", "Sf", 19, "#a05000"),
        letters("tf", "TF", 21, "#800080"),
        letters("gy", "GY", 23, "#800080"),
        letters("mse", "MSe", 34, "#a05000"),
        letters("msf", "MSf", 32, "#a05000"),
        // Signal blocks
        {"gain", 30, 22, "pen black; poly 4 1 26 10 4 20; pen #0040c0; ctext 12 15 11 bold 'K'"},
        {"intgrl", 30, 22, "pen black; rect 1 1 29 21; pen #0040c0; ctext 15 16 14 bold '\xe2\x88\xab'"},
    };
    return symbols;
}

} // namespace artwork
