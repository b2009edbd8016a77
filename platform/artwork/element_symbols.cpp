// The symbols of the built-in library's elements and of the connections in the
// connection editor's lists. Bond-graph elements (with power ports) are one line
// of text high, so that the name after them fits the box of their layout; signal
// blocks are framed pictures 22 pixels high, drawn above their name.
#include "artwork_tables.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace artwork {

namespace {

constexpr int kElementHeight = 15;
constexpr int kBlockHeight = 22;
constexpr int kBlockWidth = 30;

/// The width of a text in the bold symbol font of that pixel size.
int textWidth(const std::string& text, int size)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(size);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    return QFontMetrics(font).horizontalAdvance(QString::fromStdString(text));
}

std::string num(double value)
{
    return std::to_string(static_cast<int>(std::lround(value)));
}

/// A bond-graph element: its letters in one colour, as wide as the letters ask.
Picture letters(const std::string& name, const std::string& text, const std::string& colour)
{
    const int width = std::max(8, textWidth(text, 13) + 3);
    return {name, width, kElementHeight,
            "pen " + colour + "; ctext " + num(width / 2) + " 12 13 bold '" + text + "'"};
}

std::string frame(int width)
{
    return "pen black; rect 1 1 " + num(width - 1) + " " + num(kBlockHeight - 1);
}

/// A framed block with a label; wider than the standard block when the label asks.
Picture block(const std::string& name, const std::string& label, const std::string& colour, int size = 11)
{
    const int width = std::max(kBlockWidth, textWidth(label, size) + 8);
    return {name, width, kBlockHeight,
            frame(width) + "; pen " + colour + "; ctext " + num(width / 2.0) + " " + num(11 + size / 2.0 - 1) + " " +
                num(size) + " bold '" + label + "'"};
}

/// A framed block showing a curve y(t), t and y from 0 to 1, over the inner area.
Picture curveBlock(const std::string& name, const std::string& colour, const std::function<double(double)>& y,
                   int samples = 24, const std::string& extra = {})
{
    std::string line = "line";
    for (int i = 0; i <= samples; ++i) {
        const double t = static_cast<double>(i) / samples;
        line += " " + num(4 + t * (kBlockWidth - 9)) + " " + num(kBlockHeight - 5 - y(t) * (kBlockHeight - 10));
    }
    return {name, kBlockWidth, kBlockHeight, frame(kBlockWidth) + "; pen " + colour + "; " + line + extra};
}

/// A framed block with a polyline given in the block's pixels.
Picture pathBlock(const std::string& name, const std::string& colour, const std::string& points,
                  const std::string& extra = {})
{
    return {name, kBlockWidth, kBlockHeight, frame(kBlockWidth) + "; pen " + colour + "; line " + points + extra};
}

/// A logic gate: a frame with its label and, for an inverting gate, a small circle on its output.
Picture gate(const std::string& name, const std::string& label, bool inverting, const std::string& colour)
{
    Picture p = block(name, label, colour, 10);
    if (inverting) {
        const int r = p.width - 1;
        p.script += "; pen black; brush white; ellipse " + num(r - 5) + " 8 " + num(r + 1) + " 14";
    }
    return p;
}

/// A triangle pointing right with a label: amplifying blocks.
Picture triangle(const std::string& name, const std::string& label, const std::string& colour)
{
    return {name, kBlockWidth, kBlockHeight,
            "pen black; line 4 1 26 11 4 21 4 1; pen " + colour + "; ctext 12 15 " +
                num(label.size() > 1 ? 9 : 11) + " bold '" + label + "'"};
}

/// A summation point: a circle with its sign.
Picture summation(const std::string& name, bool plus)
{
    std::string script = "pen black; ellipse 1 1 21 21; pen #0040c0 2; line 6 11 16 11";
    if (plus)
        script += "; line 11 6 11 16";
    return {name, 22, kBlockHeight, script};
}

Picture withExtra(Picture picture, const std::string& extra)
{
    picture.script += extra;
    return picture;
}

const double pi = 3.14159265358979;

} // namespace

const std::vector<Picture>& elementSymbols()
{
    const std::string storage = "#0040c0", inertia = "#c00000", loss = "#008000", source = "#a05000",
                      transducer = "#800080", junction = "black";
    const std::string maths = "#0040c0", dynamics = "#006080", nonlinear = "#a00060", generator = "#008000",
                      discrete = "#805000", control = "#a05000", logic = "#800080", criteria = "#c00000";
    static const std::vector<Picture> symbols = {
        // Bond-graph elements
        letters("0j", "0", junction),
        letters("1j", "1", junction),
        letters("c", "C", storage),
        letters("i", "I", inertia),
        letters("r", "R", loss),
        letters("se", "Se", source),
        letters("sf", "Sf", source),
        letters("tf", "TF", transducer),
        letters("gy", "GY", transducer),
        letters("sgy", "SGY", transducer),
        letters("mr", "MR", loss),
        letters("mse", "MSe", source),
        letters("msf", "MSf", source),
        letters("mtf", "MTF", transducer),
        letters("mgy", "MGY", transducer),
        letters("2c", "2C", storage),
        letters("ic", "IC", storage),
        letters("2i", "2I", inertia),
        letters("mp_c", "mpC", storage),
        letters("mp_i", "mpI", inertia),
        letters("mp_r", "mpR", loss),
        letters("mp_tf", "mpTF", transducer),
        letters("mp_gy", "mpGY", transducer),
        letters("mp_mtf", "mpMTF", transducer),
        letters("mp_mgy", "mpMGY", transducer),
        // Signal blocks: operations
        summation("plus", true),
        summation("minus", false),
        triangle("gain", "K", maths),
        block("att", "1/K", maths, 10),
        {"mul", 22, kBlockHeight, "pen black; ellipse 1 1 21 21; pen #0040c0 2; line 7 7 15 15; line 15 7 7 15"},
        {"divide", 22, kBlockHeight,
         "pen black; ellipse 1 1 21 21; pen #0040c0 2; line 6 11 16 11; fill 10 6 12 8; fill 10 14 12 16"},
        triangle("negate", "-1", maths),
        block("intgrl", "\xe2\x88\xab", dynamics, 14),
        withExtra(block("limintg", "\xe2\x88\xab", dynamics, 14), "; pen #a00060; line 5 4 25 4; line 5 18 25 18"),
        withExtra(block("resintg", "\xe2\x88\xab", dynamics, 14), "; pen #a00060; text 20 19 8 bold 'R'"),
        block("diff", "d/dt", dynamics, 10),
        block("delay", "e\xe2\x81\xbb\xcb\xa2\xe1\xb5\x80", dynamics, 10),
        block("tdelay", "T\xe2\x82\x9c", dynamics),
        curveBlock("forder", dynamics, [](double t) { return 1 - std::exp(-5 * t); }),
        curveBlock("sorder", dynamics, [](double t) { return (1 - std::exp(-4 * t) * std::cos(12 * t)) / 1.5; }),
        // Non-linear blocks
        pathBlock("limit", nonlinear, "4 17 11 17 19 5 26 5"),
        pathBlock("dead", nonlinear, "4 19 10 14 20 14 26 9", "; pen grey; line 4 14 26 14"),
        pathBlock("relay", nonlinear, "4 17 15 17 15 5 26 5"),
        pathBlock("hyst", nonlinear, "4 17 18 17 18 5 26 5 12 5 12 17"),
        pathBlock("relhys", nonlinear, "4 17 17 17 17 5 26 5; line 13 17 13 5"),
        pathBlock("backl", nonlinear, "6 18 12 18 22 4 16 4 6 18"),
        {"tabfile", kBlockWidth, kBlockHeight,
         frame(kBlockWidth) + "; pen #a00060; line 4 8 26 8; line 4 14 26 14; line 12 3 12 20; line 20 3 20 20"},
        pathBlock("switch", nonlinear, "3 7 10 7; line 3 15 10 15; line 10 7 20 11 27 11",
                  "; pen black; fill 9 6 12 9; fill 9 14 12 17"),
        curveBlock("sine", maths, [](double t) { return 0.5 + 0.5 * std::sin(2 * pi * t); }),
        curveBlock("cosine", maths, [](double t) { return 0.5 + 0.5 * std::cos(2 * pi * t); }),
        block("power", "x\xca\xb8", maths),
        block("sqrsgn", "x|x|", maths, 10),
        block("sqt", "\xe2\x88\x9a", maths, 13),
        block("sqrtsgn", "\xc2\xb1\xe2\x88\x9a", maths, 12),
        block("absolut", "|x|", maths),
        block("signi", "sgn", maths, 10),
        block("trunc", "int", maths, 10),
        block("minim", "min", maths, 10),
        block("maxim", "max", maths, 10),
        // Generators
        pathBlock("stepgen", generator, "4 17 12 17 12 5 26 5"),
        curveBlock("cycloid", generator, [](double t) {
            const double a = 2 * pi * t * 2; // two arches
            return (1 - std::cos(a)) / 2;
        }),
        pathBlock("rampgen", generator, "4 17 10 17 24 5"),
        pathBlock("pulsgen", generator, "4 17 10 17 10 5 17 5 17 17 26 17"),
        curveBlock("sinwave", generator, [](double t) { return 0.5 + 0.5 * std::sin(4 * pi * t); }),
        curveBlock("coswave", generator, [](double t) { return 0.5 + 0.5 * std::cos(4 * pi * t); }),
        curveBlock("frqwave", generator, [](double t) { return 0.5 + 0.5 * std::sin(2 * pi * (1 + 3 * t) * t); }, 48),
        pathBlock("triwave", generator, "4 17 9 5 15 17 20 5 26 17"),
        pathBlock("sqrwave", generator, "4 17 4 5 10 5 10 17 16 17 16 5 22 5 22 17 26 17"),
        pathBlock("sawwave", generator, "4 17 11 5 11 17 18 5 18 17 25 5 25 17"),
        pathBlock("randgen", generator, "4 12 6 7 8 15 10 9 12 17 14 6 16 13 18 10 20 16 22 5 24 11 26 14"),
        curveBlock("sweep", generator, [](double t) { return 0.5 + 0.5 * t * std::sin(8 * pi * t); }, 48),
        {"fileinp", kBlockWidth, kBlockHeight,
         frame(kBlockWidth) + "; pen #008000; line 9 4 18 4 22 8 22 18 9 18 9 4; line 18 4 18 8 22 8; "
                              "line 12 11 19 11; line 12 14 19 14"},
        block("deltat", "\xce\x94t", generator),
        {"time", kBlockWidth, kBlockHeight,
         frame(kBlockWidth) + "; pen #008000; ellipse 8 4 23 19; line 15 7 15 11 19 13"},
        block("con", "C", generator),
        pathBlock("nop", maths, "3 11 27 11"),
        {"display", kBlockWidth, kBlockHeight,
         frame(kBlockWidth) + "; pen #0040c0; rect 5 4 25 16; line 7 13 11 9 15 12 19 7 23 10; pen black; "
                              "line 12 18 18 18"},
        // Discrete blocks
        block("z", "z\xe2\x81\xbb\xc2\xb9", discrete),
        block("dissum", "\xce\xa3", discrete, 13),
        block("disint", "\xce\xa3T", discrete),
        block("ad", "A/D", discrete, 10),
        block("da", "D/A", discrete, 10),
        pathBlock("strobe", discrete, "4 17 8 17 8 5 9 5 9 17 14 17 14 5 15 5 15 17 20 17 20 5 21 5 21 17 26 17"),
        block("latch", "L", discrete),
        pathBlock("smplhld", discrete, "4 17 8 17 8 13 13 13 13 9 18 9 18 6 22 6 22 10 26 10"),
        pathBlock("quantr", discrete, "4 18 8 18 8 14 12 14 12 10 16 10 16 6 20 6 20 3",
                  "; pen grey; line 4 19 22 3"),
        pathBlock("quantt", discrete, "4 17 10 17 10 11 16 11 16 5 22 5 22 11 26 11"),
        pathBlock("sample", discrete, "3 11 10 11 20 6; line 21 11 27 11", "; pen black; fill 20 10 22 12"),
        // Controllers
        block("p", "P", control),
        block("pd", "PD", control),
        block("pi", "PI", control),
        block("pid", "PID", control, 10),
        curveBlock("leadlag", control, [](double t) { return t < 0.1 ? 0.2 : 0.5 + 0.5 * std::exp(-6 * (t - 0.1)); }),
        // Logic
        gate("inv", "1", true, logic),
        gate("logand", "&", false, logic),
        gate("nand", "&", true, logic),
        gate("logor", "\xe2\x89\xa5" "1", false, logic),
        gate("nor", "\xe2\x89\xa5" "1", true, logic),
        gate("xor", "=1", false, logic),
        gate("srfflop", "SR", false, logic),
        gate("dfflop", "D", false, logic),
        gate("tfflop", "T", false, logic),
        pathBlock("clock", logic, "4 17 4 5 9 5 9 17 14 17 14 5 19 5 19 17 24 17 24 5 26 5"),
        pathBlock("clock1", logic, "4 17 8 17 8 5 12 5 12 17 26 17"),
        // Digital
        gate("dand", "&", false, discrete),
        gate("ddffkl", "D", false, discrete),
        gate("dinv", "1", true, discrete),
        gate("djkffkl", "JK", false, discrete),
        gate("dmem", "MEM", false, discrete),
        gate("dnand", "&", true, discrete),
        gate("dnor", "\xe2\x89\xa5" "1", true, discrete),
        gate("dnxor", "=1", true, discrete),
        gate("dor", "\xe2\x89\xa5" "1", false, discrete),
        gate("dsrffkl", "SR", false, discrete),
        {"dtribuf", kBlockWidth, kBlockHeight,
         frame(kBlockWidth) + "; pen #805000; line 8 4 22 11 8 18 8 4; line 15 2 15 7"},
        gate("dxor", "=1", false, discrete),
        // Criteria
        block("crite", "=", criteria, 12),
        block("critet", "=t", criteria, 10),
        block("critetu", "=tu", criteria, 10),
        block("criteu", "=u", criteria, 10),
        block("critne", "\xe2\x89\xa0", criteria, 12),
        block("critneu", "\xe2\x89\xa0u", criteria, 10),
    };
    return symbols;
}

const std::vector<Picture>& connectionSymbols()
{
    // The connection runs from the far side on the left to the submodel on the right:
    // "r" enters the submodel (its arrow points right), "l" leaves it; a causal
    // stroke "lc" stands at the far end, "rc" at the submodel's end.
    constexpr int width = 30, height = 14, left = 2, right = 27, mid = 7;
    auto bond = [&](const std::string& name, bool multi, char direction, const std::string& stroke) {
        std::string script = "pen black";
        if (multi)
            script += "; line " + num(left) + " " + num(mid - 2) + " " + num(right) + " " + num(mid - 2) + "; line " +
                      num(left) + " " + num(mid + 2) + " " + num(right) + " " + num(mid + 2);
        else
            script += "; line " + num(left) + " " + num(mid) + " " + num(right) + " " + num(mid);
        const int top = multi ? mid - 2 : mid;
        if (direction == 'r')
            script += "; line " + num(right) + " " + num(top) + " " + num(right - 6) + " " + num(top - 5);
        if (direction == 'l')
            script += "; line " + num(left) + " " + num(top) + " " + num(left + 6) + " " + num(top - 5);
        if (stroke == "lc")
            script += "; line " + num(left) + " 1 " + num(left) + " 13";
        if (stroke == "rc")
            script += "; line " + num(right) + " 1 " + num(right) + " 13";
        return Picture{name, width, height, script};
    };
    auto signal = [&](const std::string& name, bool multi, char direction) {
        // The lines of a multisignal stop at the arrowhead, at the far side at the edge.
        const int from = multi && direction == 'l' ? left + 4 : left;
        const int to = multi && direction == 'r' ? right - 4 : right;
        std::string script = "pen #0040c0; brush #0040c0";
        for (int y : multi ? std::vector<int>{mid - 2, mid + 2} : std::vector<int>{mid})
            script += "; line " + num(from) + " " + num(y) + " " + num(to) + " " + num(y);
        const int tip = direction == 'r' ? right : left;
        const int back = direction == 'r' ? right - 7 : left + 7;
        const int spread = multi ? 5 : 4;
        script += "; poly " + num(tip) + " " + num(mid) + " " + num(back) + " " + num(mid - spread) + " " +
                  num(back) + " " + num(mid + spread);
        return Picture{name, width, height, script};
    };
    static const std::vector<Picture> symbols = {
        bond("mb", true, 0, ""),       bond("mbl", true, 'l', ""),   bond("mbllc", true, 'l', "lc"),
        bond("mblrc", true, 'l', "rc"), bond("mbr", true, 'r', ""),  bond("mbrlc", true, 'r', "lc"),
        bond("mbrrc", true, 'r', "rc"), signal("msl", true, 'l'),    signal("msr", true, 'r'),
        bond("sb", false, 0, ""),      bond("sbl", false, 'l', ""),  bond("sbllc", false, 'l', "lc"),
        bond("sblrc", false, 'l', "rc"), bond("sbr", false, 'r', ""), bond("sbrlc", false, 'r', "lc"),
        bond("sbrrc", false, 'r', "rc"), signal("ssl", false, 'l'),  signal("ssr", false, 'r'),
    };
    return symbols;
}

} // namespace artwork
