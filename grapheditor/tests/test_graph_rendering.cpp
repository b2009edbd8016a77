// Graph rendering on a recording canvas: layout boxes, edge points, the geometry
// of connection ends and midpoints, causal strokes, erasing exactly what was
// drawn, and the primitives of the demonstration model against a golden list.
#include "grapheditor/connection_checker.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/tests/demo_model.h"
#include "grapheditor/tests/drawing_test_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>

namespace {

using graphtest::entry;
using platform::Point;

class Rendering : public drawtest::DrawingTest {
protected:
    GraphModel& model = CurrentModel();
    LibraryEntry se = entry("se1");
    LibraryEntry junction = entry("1j1");
    LibraryEntry gain = entry("gain1");
    LibraryEntry plus = entry("plus1");
    LibraryEntry control = entry("ctl1");

    /// A bond or signal between two submodels, drawn by clicks.
    Connection* connect(Submodel* a, Submodel* b, int tool, std::initializer_list<std::pair<int, int>> midpoints = {})
    {
        std::vector<std::pair<int, int>> clicks{{a->x, a->y}};
        clicks.insert(clicks.end(), midpoints.begin(), midpoints.end());
        clicks.emplace_back(b->x, b->y);
        ConnectionDrawing drawing;
        Connection* made = nullptr;
        for (auto [x, y] : clicks)
            made = drawing.leftClick(x, y, tool);
        return made;
    }
};

TEST(IntegerRoot, IsTheLargestRootNotAboveTheNumber)
{
    const std::pair<int, int> cases[] = {{-5, 0},     {0, 0},         {1, 1},          {2, 1},
                                         {3, 1},      {4, 2},         {15, 3},         {16, 4},
                                         {17, 4},     {20000, 141},   {2147395599, 46339}, {2147395600, 46340},
                                         {INT_MAX, 46340}};
    for (auto [n, root] : cases)
        EXPECT_EQ(isqrt(n), root) << n;
}

TEST(Causality, FlipsOnlyAStrokeThatIsThere)
{
    EXPECT_EQ(FlipCausality(1), 2);
    EXPECT_EQ(FlipCausality(2), 1);
    EXPECT_EQ(FlipCausality(0), 0); // 3 - 0 would be no causality at all
    EXPECT_EQ(FlipCausality(3), 0);
    EXPECT_EQ(FlipCausality(-1), 0);
}

TEST_F(Rendering, LayoutBoxesFollowTheLookOfEachType)
{
    // Fixed metrics: 7 units a character, 13 a line; elements 16 x 15, blocks 30 x 22.
    Submodel* element = create_submodel(100, 100, se);      // "se_1"
    Submodel* block = create_submodel(300, 100, gain);      // "gain_1", signals only
    Submodel* sum = create_submodel(500, 100, plus);        // a summation point
    Submodel* ellipse = create_submodel(100, 300, control); // no file: power ports assumed
    Pio* pio = create_pio(300, 300);                        // "p_1"
    ASSERT_TRUE(element && block && sum && ellipse && pio);
    auto box = [](const auto& o) { return std::vector<int>{o.left, o.top, o.width, o.height}; };
    EXPECT_EQ(box(*element), (std::vector<int>{100 - 8 - 5, 100 - 6 - 5, 16 + 10 + 28 + 21, 23}));
    EXPECT_EQ(box(*block), (std::vector<int>{300 - 29, 100 - 24, 58, 48})); // 22 + 13 * 1.25 + 10; 42 * 1.15 + 10
    EXPECT_EQ(box(*sum), (std::vector<int>{500 - 11, 100 - 11, 23, 23}));
    EXPECT_EQ(box(*ellipse), (std::vector<int>{100 - 35, 300 - 24, 71, 49})); // 49 * 1.25 + 10; 13 * 3 + 10
    EXPECT_EQ(box(*pio), (std::vector<int>{300 - 16, 300 - 12, 33, 23}));

    // Without the name a block is only as high as its symbol and the margin, an
    // element as wide; a second layout changes nothing.
    block->showName = element->showName = 0;
    EXPECT_EQ(layout_submodel(*block), 4);
    EXPECT_EQ(box(*block), (std::vector<int>{300 - 22, 100 - 16, 44, 32}));
    EXPECT_EQ(layout_submodel(*element), 1);
    EXPECT_EQ(element->width, 26);
    EXPECT_EQ(layout_submodel(*element), 0);
    EXPECT_EQ(layout_pio(*pio), 0);
}

TEST_F(Rendering, EdgePointsLieOnTheOutlineInEveryDirection)
{
    Pio* pio = create_pio(200, 200);
    ASSERT_TRUE(pio);
    pio->left = 180, pio->top = 190, pio->width = 40, pio->height = 20; // outline 178..222 by 188..212
    struct Case {
        int towardX, towardY, x, y;
    };
    const Case cases[] = {
        {200, 200, 200, 200},     // toward the anchor itself: no direction, the anchor
        {200, 100, 200, 188},     // straight up
        {200, 900, 200, 212},     // straight down
        {100, 200, 178, 200},     // left
        {300, 200, 222, 200},     // right
        {300, 210, 222, 202},     // shallow: the right side
        {210, 300, 201, 212},     // steep: the bottom
        {100000, 200001, 205, 212}, // far away: the direction halved to (48, 97)
        {100000, 201, 222, 200},  // a part of 1 is not halved away
    };
    for (const Case& c : cases) {
        int x = -1, y = -1;
        edge_point(200, 200, c.towardX, c.towardY, END_PIO, pio, x, y);
        EXPECT_EQ(Point(x, y), Point(c.x, c.y)) << c.towardX << "," << c.towardY;
    }
    int x = 0, y = 0;
    edge_point(5, 6, 100, 100, END_NONE, nullptr, x, y);
    EXPECT_EQ(Point(x, y), Point(5, 6));

    // A submodel array reaches further down: (n - 1) * 6 + 3, and 3 more for a type of no library.
    Submodel* element = create_submodel(500, 500, se);
    Submodel* custom = create_submodel(700, 500, control);
    ParseSizeList("2, 3", element->size, model.arguments);
    edge_point(500, 500, 500, 900, END_SUBMODEL, element, x, y);
    EXPECT_EQ(y, element->top + element->height + 2 + 9);
    // A type with power ports of no library is an ellipse: the point lies on it.
    edge_point(700, 500, 800, 500, END_SUBMODEL, custom, x, y);
    EXPECT_EQ(Point(x, y), Point(700 + (custom->width + 4) / 2, 500));
    // At 45 degrees: half of 75 and of 53 times cos and sin, truncated.
    ASSERT_EQ(custom->width, 71);
    ASSERT_EQ(custom->height, 49);
    edge_point(700, 500, 800, 600, END_SUBMODEL, custom, x, y);
    EXPECT_EQ(Point(x, y), Point(726, 518));
}

TEST_F(Rendering, ConnectionEndsStartTheirLinesOnTheArrowOrAcrossTheBond)
{
    Submodel* a = create_submodel(100, 100, junction);
    Submodel* b = create_submodel(300, 100, junction);
    Connection* bond = connect(a, b, TOOL_BOND); // between submodels: direction 1, half-arrow at end 1
    ASSERT_TRUE(bond);
    ASSERT_EQ(bond->direction, 1);
    const Point e0{bond->ends[0].edgeX, bond->ends[0].edgeY}, e1{bond->ends[1].edgeX, bond->ends[1].edgeY};
    EXPECT_EQ(e0.y, 100);
    EXPECT_EQ(e1.y, 100);

    // A plain bond: one line from edge to edge; the half-arrow's barb goes back and to
    // the side from the tip (u = (-1, 0) at end 1, so the barb side is -v = (0, 1)).
    surface.context.clear();
    ConnectionEndPoints end1 = connection_end(*bond, 1, {100, 100}, 1);
    EXPECT_TRUE(end1.drawn);
    EXPECT_EQ(end1.count, 1);
    EXPECT_EQ(end1.lines[0], e1);
    EXPECT_EQ(surface.context.calls().back(), "lineTo " + std::to_string(e1.x - 12) + " 105");

    // A multibond of one dimension: two lines 12 apart; at the arrow end they start on the barb.
    ParseSizeList("4", bond->size, model.arguments);
    const ConnectionEndPoints start = connection_end(*bond, 0, {300, 100}, 1);
    ASSERT_EQ(start.count, 2);
    EXPECT_EQ(start.lines[0], Point(e0.x, 94));
    EXPECT_EQ(start.lines[1], Point(e0.x, 106));
    const ConnectionEndPoints arrow = connection_end(*bond, 1, {100, 100}, 1);
    // w = 6, h = 10: the barb from E - 6b to E + 12u + 10b, b = (0, 1); line i at 144 i / 16 along u.
    EXPECT_EQ(arrow.lines[0], Point(e1.x, 94));      // i = 0: offset -6 along b
    EXPECT_EQ(arrow.lines[1], Point(e1.x - 9, 106)); // i = 1: offset +6 along b, 9 along u
    // The same slot is the same line at both ends.
    EXPECT_EQ(start.lines[0].y, arrow.lines[0].y);

    // Nine dimensions are drawn with eight lines.
    bond->size.clear();
    for (int i = 1; i <= 9; ++i)
        bond->size.push_back(MakeConstant(i));
    EXPECT_EQ(connection_end(*bond, 0, {300, 100}, 1).count, 8);

    // The neighbouring point on the edge point: nothing is drawn at that end.
    surface.context.clear();
    const ConnectionEndPoints none = connection_end(*bond, 1, e1, 1);
    EXPECT_FALSE(none.drawn);
    EXPECT_EQ(none.lines[7], e1);
    EXPECT_TRUE(surface.context.calls().empty());
}

TEST_F(Rendering, SignalsGetAnArrowheadAndTheirLinesStartOnIt)
{
    Submodel* a = create_submodel(100, 100, gain);
    Submodel* b = create_submodel(300, 100, gain);
    Connection* signal = connect(a, b, TOOL_MULTISIGNAL);
    ASSERT_TRUE(signal && signal->isSignal);
    ParseSizeList("2", signal->size, model.arguments);
    const Point e1{signal->ends[1].edgeX, signal->ends[1].edgeY};
    surface.context.clear();
    const ConnectionEndPoints arrow = connection_end(*signal, 1, {100, 100}, 1);
    // h = w + 4 = 10; the line at offset o starts 10 |o| / h along u from the tip.
    EXPECT_EQ(arrow.lines[0], Point(e1.x - 6, 94));
    EXPECT_EQ(arrow.lines[1], Point(e1.x - 6, 106));
    const auto calls = surface.context.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "lineTo " + std::to_string(e1.x - 10) + " 90"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "lineTo " + std::to_string(e1.x - 10) + " 110"), calls.end());
}

TEST(MitrePoints, OffsetTheLinesAcrossTheTurn)
{
    // A right-angle turn: the lines keep their offsets on both legs.
    auto turn = mitre_points({0, 0}, {100, 0}, {100, 100}, 1);
    EXPECT_EQ(turn[0], Point(106, -6));
    EXPECT_EQ(turn[1], Point(94, 6));
    // On the straight line between its neighbours the lines are offset across it.
    auto straight = mitre_points({0, 0}, {100, 0}, {200, 0}, 2);
    EXPECT_EQ(straight[0], Point(100, -12));
    EXPECT_EQ(straight[1], Point(100, 0));
    EXPECT_EQ(straight[2], Point(100, 12));
    auto vertical = mitre_points({50, 0}, {50, 400}, {50, 900}, 1);
    EXPECT_EQ(vertical[0], Point(56, 400));
    EXPECT_EQ(vertical[1], Point(44, 400));
    // A midpoint that doubles the path back collapses every line onto it.
    auto back = mitre_points({0, 0}, {100, 0}, {20, 0}, 3);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(back[static_cast<std::size_t>(k)], Point(100, 0));
    // A neighbour on the midpoint gives no direction: the lines meet there.
    EXPECT_EQ(mitre_points({100, 0}, {100, 0}, {200, 50}, 1)[1], Point(100, 0));
}

TEST_F(Rendering, CausalStrokesShowTheSpecifiedTheComputedAndTheirConflict)
{
    Submodel* a = create_submodel(100, 100, junction);
    Submodel* b = create_submodel(300, 100, junction);
    Connection* bond = connect(a, b, TOOL_BOND);
    const int x0 = bond->ends[0].edgeX, x1 = bond->ends[1].edgeX;
    auto strokes = [&](int specified, int computed) {
        bond->causality = specified;
        bond->computedCausality = computed;
        surface.context.clear();
        draw_connection(*bond, 1);
        std::vector<std::string> out;
        std::string pen = "pen solid 1 000000";
        for (std::size_t i = 0; i < surface.context.calls().size(); ++i) {
            const std::string& call = surface.context.calls()[i];
            if (call.rfind("pen ", 0) == 0)
                pen = call;
            // Strokes and crosses are the lines that are not along the bond.
            if (call.rfind("moveTo", 0) == 0) {
                const std::string& to = surface.context.calls()[i + 1];
                int mx = 0, my = 0, tx = 0, ty = 0;
                std::sscanf(call.c_str(), "moveTo %d %d", &mx, &my);
                std::sscanf(to.c_str(), "lineTo %d %d", &tx, &ty);
                if (mx == tx)
                    out.push_back(pen + " at " + std::to_string(mx));
                else if (my != 100 && ty != 100 && my != ty)
                    out.push_back(pen + " cross at " + std::to_string((mx + tx) / 2));
            }
        }
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(strokes(1, 0), (V{"pen solid 1 000000 at " + std::to_string(x1)}));
    EXPECT_EQ(strokes(2, 0), (V{"pen solid 1 000000 at " + std::to_string(x0)}));
    EXPECT_EQ(strokes(0, 2), (V{"pen solid 1 FF0000 at " + std::to_string(x0)})); // blue
    EXPECT_EQ(strokes(1, 1), (V{"pen solid 1 000000 at " + std::to_string(x1)}));
    // The conflict: a red cross of 7.5 (truncated) about the end where processing put the stroke.
    const std::string cross = "pen solid 2 0000FF cross at " + std::to_string((x0 - 8 + x0 + 7) / 2);
    EXPECT_EQ(strokes(1, 2), (V{cross, cross, "pen solid 1 000000 at " + std::to_string(x1)}));
    // A causality that is none of 0, 1, 2 (a flip of none) draws nothing.
    EXPECT_EQ(strokes(3, 0), V{});
    EXPECT_EQ(strokes(0, 3), V{});
}

/// The geometry of a recording: the calls that place something, with bitmaps and
/// their erasing fills made one kind, and the pen and text colours dropped.
std::vector<std::string> geometry(const std::vector<std::string>& calls)
{
    std::vector<std::string> out;
    static const std::regex bitmap("^(bitmap|fillRect) (-?\\d+ -?\\d+ -?\\d+ -?\\d+).*");
    for (const std::string& call : calls) {
        std::smatch m;
        if (std::regex_match(call, m, bitmap))
            out.push_back("area " + m[2].str());
        else if (call.rfind("moveTo", 0) == 0 || call.rfind("lineTo", 0) == 0 || call.rfind("rectangle", 0) == 0 ||
                 call.rfind("ellipse", 0) == 0 || call.rfind("text", 0) == 0)
            out.push_back(call.rfind("textColor", 0) == 0 ? "" : call);
    }
    out.erase(std::remove(out.begin(), out.end(), ""), out.end());
    return out;
}

/// The colours a recording puts on the canvas: pens, text and fills.
std::set<std::string> colours(const std::vector<std::string>& calls)
{
    std::set<std::string> out;
    for (const std::string& call : calls) {
        if (call.rfind("pen ", 0) == 0 || call.rfind("textColor", 0) == 0 || call.rfind("fillRect", 0) == 0)
            out.insert(call.substr(call.rfind(' ') + 1));
        if (call.rfind("bitmap", 0) == 0)
            out.insert("bitmap");
    }
    return out;
}

// The library's summation points with two signals in, their inputs named by the check (plus)
// or, in the order of the type's inputs, as the connection editor names them (minus): each
// signal gets its sign, a horizontal stroke and for a plus a vertical one through it.
TEST_F(Rendering, TheLibrarysSummationPointsShowTheSignOfEachInput)
{
    struct Case {
        const char* type;
        int signs;
        int plusSigns;
    } cases[] = {{"plus1", 2, 2}, {"minus1", 2, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        clear_model();
        LibraryEntry summation = entry(c.type);
        Submodel* sum = create_submodel(300, 200, summation);
        ASSERT_TRUE(sum);
        connect(create_submodel(200, 100, gain), sum, TOOL_SIGNAL);
        connect(create_submodel(200, 300, gain), sum, TOOL_SIGNAL);
        std::string text;
        auto record = build_connections(text, sum);
        ASSERT_TRUE(record) << text;
        auto_connect(*record);
        std::vector<ConnectionRow*> drawn;
        for (ConnectionRow& row : record->rows)
            drawn.push_back(&row);
        std::sort(drawn.begin(), drawn.end(),
                  [](const ConnectionRow* a, const ConnectionRow* b) { return a->connection->id < b->connection->id; });
        std::size_t next = 0;
        for (ConnectionRow* row : drawn) {
            while (row->port == nullptr && next < record->ports.size()) {
                const Pio* input = record->ports[next++].pio;
                if (input->kind == PIO_INPUT)
                    row->port = input;
            }
        }
        ASSERT_EQ(check_connections(*record, 0), 0) << record->checkText;
        apply_connections(*record);

        surface.context.clear();
        draw_submodel(*sum, 1);
        const std::vector<std::string> calls = surface.context.calls();
        int horizontal = 0, vertical = 0;
        for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
            int x0, y0, x1, y1;
            if (std::sscanf(calls[i].c_str(), "moveTo %d %d", &x0, &y0) != 2 ||
                std::sscanf(calls[i + 1].c_str(), "lineTo %d %d", &x1, &y1) != 2)
                continue;
            horizontal += y0 == y1 && x1 - x0 == 7;
            vertical += x0 == x1 && y1 - y0 == 7;
        }
        EXPECT_EQ(horizontal, c.signs);
        EXPECT_EQ(vertical, c.plusSigns);
    }
}

// A sign stands half a radian on from where its input enters. Where that is on a
// neighbouring input's arrowhead or line, the sign moves on around the same side of its own
// input, or further out, until it is clear of every line drawn to the summation point.
TEST_F(Rendering, SummationSignsKeepTheirSideAndStayClearOfEveryLine)
{
    struct Case {
        const char* what;
        std::vector<Point> inputs;
        bool output;
    } cases[] = {
        {"one input from the left: the rule's place", {{100, 200}}, false},
        {"two inputs from the upper and lower left", {{120, 120}, {120, 280}}, true},
        {"five inputs round the left half", {{160, 200}, {200, 120}, {200, 280}, {300, 60}, {300, 340}}, true},
        {"two inputs from nearly the same side", {{160, 180}, {160, 230}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear_model();
        Submodel* sum = create_submodel(300, 200, plus);
        ASSERT_TRUE(sum);
        int k = 0;
        for (Point from : c.inputs) {
            Connection* input = connect(create_submodel(from.x, from.y, gain), sum, TOOL_SIGNAL);
            ASSERT_TRUE(input);
            input->ends[1].portName = (k % 2 ? "minus" : "plus") + std::to_string(k + 1);
            ++k;
        }
        if (c.output) {
            ASSERT_TRUE(connect(sum, create_submodel(460, 200, gain), TOOL_SIGNAL));
        }

        const std::vector<SummationSign> signs = summation_signs(*sum);
        ASSERT_EQ(signs.size(), c.inputs.size());
        std::vector<LineSegment> lines;
        for (const Connection& connection : model.connections)
            for (const LineSegment& line : connection_segments(connection))
                lines.push_back(line);
        std::size_t i = 0;
        for (const Attachment& a : sum->attachments) {
            const ConnectionEnd& end = a.connection->ends[a.end];
            if (end.portName.empty())
                continue;
            const SummationSign& sign = signs[i++];
            SCOPED_TRACE(end.portName);
            EXPECT_EQ(sign.plus, end.portName[0] == 'p');
            const double entry = std::atan2(end.edgeY - sum->y, end.edgeX - sum->x);
            if (c.inputs.size() == 1) {
                EXPECT_EQ(sign.centre.x, int(sum->x + sum->width * std::cos(entry + 0.5)));
                EXPECT_EQ(sign.centre.y, int(sum->y + sum->height * std::sin(entry + 0.5)));
            }
            // The side of its own input the rule gives it.
            double turn = std::atan2(sign.centre.y - sum->y, sign.centre.x - sum->x) - entry;
            while (turn <= -M_PI)
                turn += 2 * M_PI;
            while (turn > M_PI)
                turn -= 2 * M_PI;
            EXPECT_GT(turn, 0.0);
            EXPECT_LT(turn, M_PI);
            // Clear of every line: no line crosses the strokes' square.
            for (const LineSegment& line : lines) {
                const int l = sign.centre.x - 3, t = sign.centre.y - 3, r = sign.centre.x + 4, b = sign.centre.y + 4;
                bool crosses = false;
                for (int step = 0; step <= 200 && !crosses; ++step) {
                    const double x = line.from.x + (line.to.x - line.from.x) * step / 200.0;
                    const double y = line.from.y + (line.to.y - line.from.y) * step / 200.0;
                    crosses = l <= x && x <= r && t <= y && y <= b;
                }
                EXPECT_FALSE(crosses) << "line " << line.from.x << "," << line.from.y << " - " << line.to.x << ","
                                      << line.to.y << " under the sign at " << sign.centre.x << "," << sign.centre.y;
            }
            for (const SummationSign& other : signs) {
                if (&other != &sign) {
                    EXPECT_TRUE(std::abs(other.centre.x - sign.centre.x) > 7 ||
                                std::abs(other.centre.y - sign.centre.y) > 7)
                        << "two signs on one another";
                }
            }
        }

        // The drawing shows the signs where they were placed, and erases them there.
        surface.context.clear();
        draw_submodel(*sum, 1);
        const std::vector<std::string> drawn = surface.context.calls();
        for (const SummationSign& sign : signs) {
            const std::string stroke = "moveTo " + std::to_string(sign.centre.x - 3) + " " + std::to_string(sign.centre.y);
            EXPECT_NE(std::find(drawn.begin(), drawn.end(), stroke), drawn.end()) << stroke;
        }
    }
}

TEST_F(Rendering, ErasingDrawsTheSameShapesInTheWindowColourOnly)
{
    graphtest::drawDemoModel();
    Submodel* block = create_submodel(500, 300, gain);
    Submodel* sum = create_submodel(600, 300, plus);
    ParseSizeList("2", block->size, model.arguments);
    connect(block, sum, TOOL_SIGNAL)->ends[1].portName = "plus1";
    for (int selected = 0; selected < 2; ++selected) {
        for (int mark = 0; mark < 2; ++mark) {
            auto check = [&](auto& object, auto drawObject, const std::string& what) {
                object.selected = selected;
                if constexpr (requires { object.errorMark; })
                    object.errorMark = mark;
                surface.context.clear();
                drawObject(object, 1);
                const auto drawn = surface.context.calls();
                surface.context.clear();
                drawObject(object, 0);
                const auto erased = surface.context.calls();
                SCOPED_TRACE(what + " selected " + std::to_string(selected) + " mark " + std::to_string(mark));
                EXPECT_EQ(colours(erased), (std::set<std::string>{"FFFFFF"}));
                // Every line, shape and text drawn is drawn again when erasing; only a
                // symbol's box is erased whole, and a block's whole box with it.
                std::vector<std::string> drawnGeometry = geometry(drawn), erasedGeometry = geometry(erased);
                for (const std::string& call : drawnGeometry) {
                    if (call.rfind("area", 0) != 0 && call.rfind("text", 0) != 0 && call.rfind("rectangle", 0) != 0) {
                        EXPECT_NE(std::find(erasedGeometry.begin(), erasedGeometry.end(), call), erasedGeometry.end())
                            << call;
                    }
                }
            };
            for (Submodel& s : model.submodels)
                check(s, draw_submodel, s.name);
            for (Pio& p : model.pios)
                check(p, draw_pio, p.name);
            for (Connection& c : model.connections)
                check(c, draw_connection, "connection " + std::to_string(c.id));
        }
    }
}

TEST_F(Rendering, RedrawAllDrawsOnlyWhatTheCanvasShows)
{
    Submodel* near = create_submodel(100, 100, se);
    Submodel* far = create_submodel(3000, 2000, se);
    model.width = 4000;
    model.height = 3000;
    surface.context.clear();
    redraw_all(1, 0);
    auto texts = [&] {
        std::vector<std::string> out;
        for (const std::string& call : surface.context.calls())
            if (call.rfind("text ", 0) == 0)
                out.push_back(call);
        return out;
    };
    EXPECT_EQ(texts(), (std::vector<std::string>{"text 108 105 :" + near->name}));
    // Drawn into another context the whole graph is there.
    const auto all = render();
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& c) { return c.rfind("text ", 0) == 0; }), 2);
    // Clearing the marks clears them everywhere, also out of sight.
    far->errorMark = near->errorMark = 1;
    redraw_all(1, 1);
    EXPECT_EQ(far->errorMark, 0);
    EXPECT_EQ(near->errorMark, 0);
}

/// The demonstration model of the model core's tests, with a computed causality,
/// a crossed-out submodel and a selected PIO, drawn whole into a fresh recording.
TEST_F(Rendering, TheDemonstrationModelDrawsTheGoldenPrimitives)
{
    graphtest::drawDemoModel();
    for (Submodel& s : model.submodels)
        if (s.type && s.type->name == "ctl")
            s.errorMark = 1;
    for (Connection& c : model.connections)
        if (c.midpoints.size() == 2)
            c.computedCausality = 2;
    model.pios.head()->selected = 1;
    const std::vector<std::string> calls = render();

    const std::string golden = std::string(GRAPHEDITOR_TEST_DIR) + "/golden/demo1.draw";
    if (std::getenv("ORVANTA_UPDATE_GOLDEN")) {
        std::ofstream out(golden);
        for (const std::string& call : calls)
            out << call << "\n";
    }
    std::vector<std::string> expected;
    std::ifstream in(golden);
    for (std::string line; std::getline(in, line);)
        expected.push_back(line);
    EXPECT_EQ(calls, expected);
}

} // namespace
