// The models the file tests draw through the object API: a demonstration model
// with every kind of object, and the mass-spring-damper of the examples.
#pragma once

#include "grapheditor/connection_drawing.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/tests/graph_test_support.h"

#include <initializer_list>
#include <string>
#include <utility>

namespace graphtest {

/// Draws a connection by clicks on the anchors and midpoints given, with the tool.
inline Connection* draw(std::initializer_list<std::pair<int, int>> clicks, int tool)
{
    ConnectionDrawing drawing;
    Connection* made = nullptr;
    for (auto [x, y] : clicks)
        made = drawing.leftClick(x, y, tool);
    return made;
}

inline void setPorts(Connection* connection, const char* port0, const char* port1)
{
    connection->ends[0].portName = port0;
    connection->ends[1].portName = port1;
}

/// In the current model: built-in se and 1j submodels (enough 1j that their
/// subclasses line wraps), a submodel of the non-library type ctl with an actual
/// argument, a port and an input PIO, a bond with two midpoints, a multibond of
/// size n + 1 with a causal stroke, a multibond to the port and a signal; the main
/// argument n is -5.
inline void drawDemoModel()
{
    GraphModel& model = CurrentModel();
    auto n = std::make_unique<Argument>();
    n->name = "n";
    n->hasValue = 1;
    n->value = -5;
    model.names.add("n", NAME_ARGUMENT, n.get());
    model.arguments.push_back(std::move(n));

    LibraryEntry se = entry("se1");
    LibraryEntry junction = entry("1j1");
    LibraryEntry control = entry("ctl1");
    create_submodel(100, 100, se);
    for (int i = 0; i < 5; ++i)
        create_submodel(200 + 100 * i, 100, junction);
    Submodel* ctl = create_submodel(300, 300, control);
    ParseSizeList("-n", ctl->arguments, model.arguments);
    create_pio(700, 200);
    create_pio(100, 300);

    setPorts(draw({{100, 100}, {140, 60}, {180, 60}, {200, 100}}, TOOL_BOND), "p", "p1");
    Connection* multibond = draw({{200, 100}, {300, 100}}, TOOL_MULTIBOND);
    setPorts(multibond, "p2", "p1");
    ParseSizeList("n + 1", multibond->size, model.arguments);
    multibond->causality = 1;
    Connection* toPort = draw({{600, 100}, {700, 200}}, TOOL_MULTIBOND);
    toPort->ends[0].portName = "p3";
    ParseSizeList("2, n", toPort->size, model.arguments);
    draw({{100, 300}, {300, 300}}, TOOL_SIGNAL)->ends[1].portName = "u";
}

/// In the current model, the mass-spring-damper of the examples: a force f on the
/// 1-junction v with the mass m, the junction w with the spring k and the damper d.
inline void drawMassSpringDamper()
{
    GraphModel& model = CurrentModel();
    LibraryEntry se = entry("se1"), junction = entry("1j1"), i = entry("i1"), c = entry("c1"), r = entry("r1");
    // New submodels and connections go first in their lists: made in reverse order.
    RenameSubmodel(model, *create_submodel(40, 100, se), "f");
    RenameSubmodel(model, *create_submodel(200, 100, junction), "w");
    RenameSubmodel(model, *create_submodel(120, 100, junction), "v");
    RenameSubmodel(model, *create_submodel(120, 40, i), "m");
    RenameSubmodel(model, *create_submodel(200, 40, c), "k");
    RenameSubmodel(model, *create_submodel(200, 160, r), "d");
    setPorts(draw({{200, 100}, {200, 160}}, TOOL_BOND), "p3", "p");
    setPorts(draw({{200, 100}, {200, 40}}, TOOL_BOND), "p2", "p");
    setPorts(draw({{120, 100}, {200, 100}}, TOOL_BOND), "p3", "p1");
    setPorts(draw({{120, 100}, {120, 40}}, TOOL_BOND), "p2", "p");
    setPorts(draw({{40, 100}, {120, 100}}, TOOL_BOND), "p", "p1");
}

} // namespace graphtest
