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

/// Names the junction's end of a connection as element k of its port array p.
inline void setJunctionEnd(Connection* connection, int end, int k)
{
    connection->ends[end].portName = "p";
    connection->ends[end].portIndex.push_back(MakeConstant(k));
}

/// In the current model, the mass-spring-damper of the examples: a force f, the mass m,
/// the spring k and the damper d on the one 1-junction v of four bonds.
inline void drawMassSpringDamper()
{
    GraphModel& model = CurrentModel();
    LibraryEntry se = entry("se1"), junction = entry("1j1"), i = entry("i1"), c = entry("c1"), r = entry("r1");
    // New submodels and connections go first in their lists: made in reverse order.
    RenameSubmodel(model, *create_submodel(40, 100, se), "f");
    Submodel* v = create_submodel(160, 100, junction);
    RenameSubmodel(model, *v, "v");
    v->arguments.push_back(MakeConstant(4));
    RenameSubmodel(model, *create_submodel(160, 40, i), "m");
    RenameSubmodel(model, *create_submodel(280, 100, c), "k");
    RenameSubmodel(model, *create_submodel(160, 160, r), "d");
    const std::pair<int, int> far[] = {{160, 160}, {280, 100}, {160, 40}};
    for (int k = 4; k >= 2; --k) {
        Connection* bond = draw({{160, 100}, far[4 - k]}, TOOL_BOND);
        setJunctionEnd(bond, 0, k);
        bond->ends[1].portName = "p";
    }
    Connection* force = draw({{40, 100}, {160, 100}}, TOOL_BOND);
    force->ends[0].portName = "p";
    setJunctionEnd(force, 1, 1);
}

} // namespace graphtest
