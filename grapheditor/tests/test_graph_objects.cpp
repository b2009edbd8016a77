// Graph objects: creation and naming, deletion with attachments, midpoints, hit
// tests and the grid, connection drawing by clicks, marks, the library and the
// cached interfaces of submodel types.
#include "grapheditor/connection_drawing.h"
#include "grapheditor/submodel_types.h"
#include "grapheditor/tests/graph_test_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using graphtest::entry;

class Objects : public graphtest::GraphTest {
protected:
    GraphModel& model = CurrentModel();
    LibraryEntry se = entry("se1");
    LibraryEntry junction = entry("1j1");
    LibraryEntry control = entry("ctl1");
};

TEST_F(Objects, CreationNamesObjectsAndRefusesTakenPoints)
{
    Submodel* first = create_submodel(100, 100, se);
    Submodel* second = create_submodel(200, 100, se);
    Submodel* custom = create_submodel(300, 100, control);
    ASSERT_TRUE(first && second && custom);
    EXPECT_EQ(first->name, "se_1");
    EXPECT_EQ(second->name, "se_2");
    EXPECT_EQ(custom->name, "ctl_1_1");
    EXPECT_EQ(se.counter, 2);
    EXPECT_EQ(second->number, 2);
    EXPECT_EQ(second->id, first->id + 1);
    EXPECT_EQ(first->type, second->type);
    EXPECT_EQ(model.submodels.head(), custom); // new submodels go first
    ASSERT_EQ(model.types.size(), 2u);
    EXPECT_EQ(model.types.head()->name, "se");
    EXPECT_EQ(model.types.head()->libraryIndex, 5);
    EXPECT_EQ(model.types.tail()->libraryIndex, -1);
    EXPECT_EQ(first->showName, 1);
    EXPECT_EQ(model.edited, 1);
    EXPECT_EQ(view.log.front(), "edited");

    // A click that snaps into a taken box makes nothing.
    EXPECT_EQ(create_submodel(105, 95, se), nullptr);
    EXPECT_EQ(create_pio(210, 110), nullptr);
    EXPECT_EQ(se.counter, 2);

    Pio* pio = create_pio(400, 200);
    ASSERT_TRUE(pio);
    EXPECT_EQ(pio->name, "p_1");
    EXPECT_EQ(pio->kind, PIO_PORT);
    EXPECT_EQ(pio->order, pio->id);
    EXPECT_EQ(model.names.find("p_1")->kind, NAME_PORT);

    // A freed name is the smallest free one again.
    delete_submodel(model, first);
    EXPECT_EQ(create_submodel(500, 100, se)->name, "se_1");

    EXPECT_EQ(RenameSubmodel(model, *second, "f"), 1);
    EXPECT_EQ(model.names.find("se_2"), nullptr);
    EXPECT_EQ(model.names.find("f")->object, second);
    EXPECT_EQ(RenameSubmodel(model, *custom, "f"), 0);
    EXPECT_EQ(RenameSubmodel(model, *custom, ""), 0);
}

TEST_F(Objects, WhenNoNameIsFreeNothingIsCreated)
{
    // Every name se_1 .. se_9999 taken: the next se gets no name and is not made.
    std::vector<int> dummies(kNameNumbers);
    for (int i = 1; i < kNameNumbers; ++i)
        model.names.add("se_" + std::to_string(i), NAME_SUBMODEL, &dummies[i]);
    EXPECT_EQ(create_submodel(100, 100, se), nullptr);
    EXPECT_TRUE(model.submodels.empty());
    EXPECT_TRUE(model.types.empty());
    EXPECT_EQ(se.counter, 0);
    ASSERT_FALSE(boxes().empty());
    EXPECT_EQ(boxes().front(), "No free name is left for a new submodel:");
    EXPECT_EQ(UniqueName(model.names, "se_"), "");
    EXPECT_EQ(UniqueName(model.names, std::string(200, 'x')), std::string(kMaxNameBase, 'x') + "1");
}

TEST_F(Objects, DeletingAnObjectDeletesItsConnectionsAtBothEnds)
{
    Submodel* a = create_submodel(100, 100, junction);
    Submodel* b = create_submodel(200, 100, junction);
    Pio* p = create_pio(300, 100);
    Connection* ab = AddConnection(model, {END_SUBMODEL, a}, {END_SUBMODEL, b}, {}, 0, 1, {});
    Connection* bp = AddConnection(model, {END_SUBMODEL, b}, {END_PIO, p}, {}, 0, 0, {});
    Connection* ap = AddConnection(model, {END_SUBMODEL, a}, {END_PIO, p}, {}, 0, 0, {});
    ASSERT_EQ(b->attachments.size(), 2u);
    EXPECT_EQ(b->attachments.front().connection, bp); // newest first
    EXPECT_EQ(b->attachments.back().end, 1);
    (void)ab;
    (void)ap;

    view.log.clear();
    delete_submodel(model, a);
    EXPECT_EQ(model.connections.size(), 1u);
    EXPECT_EQ(model.connections.head(), bp);
    ASSERT_EQ(b->attachments.size(), 1u);
    EXPECT_EQ(p->attachments.size(), 1u);
    EXPECT_EQ(model.names.find("1j_1"), nullptr);
    EXPECT_EQ(view.log.front(), "erase submodel 1j_1");

    delete_pio(model, p);
    EXPECT_TRUE(model.connections.empty());
    EXPECT_TRUE(b->attachments.empty());
}

TEST_F(Objects, MidpointsAreInsertedUnlessOneIsNear)
{
    Connection c;
    EXPECT_EQ(add_midpoint(c, 100, 100, 5), 0);
    EXPECT_EQ(add_midpoint(c, 110, 109, 0), 0); // 100 + 81 < 200: the same midpoint
    EXPECT_EQ(c.midpoints.size(), 1u);
    EXPECT_EQ(add_midpoint(c, 110, 110, 0), 0); // 200 is not near
    EXPECT_EQ(add_midpoint(c, 300, 300, 1), 1);
    EXPECT_EQ(add_midpoint(c, 500, 500, 9), 3);
    ASSERT_EQ(c.midpoints.size(), 4u);
    EXPECT_EQ(c.midpoints[0].x, 110);
    EXPECT_EQ(c.midpoints[1].x, 300);
    EXPECT_EQ(c.midpoints[2].x, 100);
    EXPECT_EQ(c.midpoints[3].x, 500);
}

TEST_F(Objects, HitTestsAndTheGrid)
{
    Submodel* s = create_submodel(100, 100, se);
    Pio* p = create_pio(300, 100);
    void* object = nullptr;
    int x = 120, y = 120; // the box's corner is inside
    EXPECT_EQ(hit_object(model, x, y, object), END_SUBMODEL);
    EXPECT_EQ(object, s);
    EXPECT_EQ(std::pair(x, y), std::pair(100, 100));
    x = 121;
    y = 100;
    EXPECT_EQ(hit_object(model, x, y, object), 0);
    x = 315;
    y = 110;
    EXPECT_EQ(hit_object(model, x, y, object), END_PIO);
    EXPECT_EQ(object, p);

    Connection* bond = AddConnection(model, {END_SUBMODEL, s}, {END_PIO, p}, {{200, 200}}, 0, 0, {});
    int segment = -1;
    EXPECT_EQ(hit_connection(model, 150, 156, &segment), bond); // 4.2 from the line
    EXPECT_EQ(segment, 0);
    EXPECT_EQ(hit_connection(model, 150, 160), nullptr);
    EXPECT_EQ(hit_connection(model, 250, 144, &segment), bond);
    EXPECT_EQ(segment, 1);
    EXPECT_EQ(hit_connection(model, 304, 96), bond); // past the end, within its radius
    ExprList two;
    two.push_back(MakeConstant(2));
    two.push_back(MakeConstant(2));
    bond->size = std::move(two);
    EXPECT_EQ(hit_connection(model, 150, 160), bond); // two dimensions: tolerance 144

    int gx = 9, gy = 10;
    snap_to_grid(gx, gy);
    EXPECT_EQ(std::pair(gx, gy), std::pair(0, 20));
    gx = -9;
    gy = -11;
    snap_to_grid(gx, gy);
    EXPECT_EQ(std::pair(gx, gy), std::pair(0, 0)); // the remainder truncates toward zero
    Settings().grid_snap_size = 7;
    EXPECT_EQ(GridStep(), 160);
    Settings().snap = 0;
    gx = 9;
    snap_to_grid(gx, gy);
    EXPECT_EQ(gx, 9);
}

TEST_F(Objects, DrawingABondByClicks)
{
    Submodel* s = create_submodel(100, 100, se);
    Pio* p = create_pio(300, 100);
    ConnectionDrawing drawing;
    EXPECT_EQ(drawing.leftClick(500, 500, TOOL_BOND), nullptr); // nothing there
    EXPECT_EQ(drawing.state(), ConnectionDrawing::State::Idle);
    view.log.clear();
    drawing.leftClick(110, 90, TOOL_BOND);
    EXPECT_EQ(drawing.state(), ConnectionDrawing::State::Drawing);
    EXPECT_EQ(view.status, "LEFT: Midpoint or End  -  RIGHT: Cancel.");
    drawing.leftClick(151, 205, TOOL_BOND); // snapped to 160, 200
    drawing.leftClick(100, 110, TOOL_BOND); // the start again: refused, still drawing
    EXPECT_EQ(boxes(), (std::vector<std::string>{"A bond or signal starting and ending",
                                                 "on the same submodel or PIO is not allowed.",
                                                 "Last click is not accepted"}));
    EXPECT_EQ(drawing.state(), ConnectionDrawing::State::Drawing);
    Connection* bond = drawing.leftClick(300, 100, TOOL_BOND);
    ASSERT_TRUE(bond);
    EXPECT_EQ(drawing.state(), ConnectionDrawing::State::Idle);
    EXPECT_EQ(view.status, "Start bond/signal.");
    EXPECT_EQ(bond->isSignal, 0);
    EXPECT_EQ(bond->direction, 0); // a bond to a port has no direction
    EXPECT_TRUE(bond->size.empty());
    ASSERT_EQ(bond->midpoints.size(), 1u);
    EXPECT_EQ(std::pair(bond->midpoints[0].x, bond->midpoints[0].y), std::pair(160, 200));
    EXPECT_EQ(bond->ends[0].submodel, s);
    EXPECT_EQ(bond->ends[1].pio, p);
    EXPECT_EQ(std::pair(bond->ends[1].anchorX, bond->ends[1].anchorY), std::pair(300, 100));
    EXPECT_EQ(view.log, (std::vector<std::string>{"band from 100,100", "draw line 100,100 to 160,200", "band stop",
                                                  "band from 160,200", "band stop", "erase line 100,100 to 160,200",
                                                  "draw connection " + std::to_string(bond->id)}));

    // The port has its bond: it can neither start nor end another one.
    sink.clear();
    drawing.leftClick(300, 100, TOOL_BOND);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Only one bond may be connected to a port.",
                                                 "This click is not accepted"}));
    Submodel* other = create_submodel(100, 300, se);
    drawing.leftClick(100, 300, TOOL_BOND);
    sink.clear();
    EXPECT_EQ(drawing.leftClick(300, 100, TOOL_BOND), nullptr);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Only one bond or signal may be connected to a PIO.",
                                                 "Last click is not accepted"}));
    // Between two submodels a multibond is directed and takes the default size.
    Connection* multibond = drawing.leftClick(100, 100, TOOL_MULTIBOND);
    ASSERT_TRUE(multibond);
    EXPECT_EQ(multibond->ends[0].submodel, other);
    EXPECT_EQ(multibond->direction, 1);
    EXPECT_EQ(ListText(multibond->size), "3");
    EXPECT_EQ(s->attachments.front().connection, multibond);
}

TEST_F(Objects, DrawingSignalsSetsThePioKinds)
{
    create_submodel(100, 100, control);
    Pio* in = create_pio(300, 100);
    Pio* out = create_pio(300, 300);
    Pio* spare = create_pio(500, 300);
    ConnectionDrawing drawing;
    drawing.leftClick(300, 100, TOOL_SIGNAL);
    Connection* first = drawing.leftClick(100, 100, TOOL_SIGNAL);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->direction, 1);
    EXPECT_EQ(in->kind, PIO_INPUT);
    EXPECT_EQ(model.names.find(in->name)->kind, NAME_INPUT);
    // An input may feed further signals.
    drawing.leftClick(300, 100, TOOL_SIGNAL);
    EXPECT_EQ(drawing.state(), ConnectionDrawing::State::Drawing);
    drawing.cancel();

    drawing.leftClick(100, 100, TOOL_MULTISIGNAL);
    Connection* second = drawing.leftClick(300, 300, TOOL_MULTISIGNAL);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->isSignal, 1);
    EXPECT_EQ(out->kind, PIO_OUTPUT);
    EXPECT_EQ(ListText(second->size), "3");
    sink.clear();
    drawing.leftClick(300, 300, TOOL_SIGNAL);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Only one signal may be connected to an output.",
                                                 "This click is not accepted"}));
    // No connection between two PIOs.
    drawing.leftClick(300, 100, TOOL_SIGNAL);
    sink.clear();
    EXPECT_EQ(drawing.leftClick(500, 300, TOOL_SIGNAL), nullptr);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"A bond or signal between two PIOs is not allowed.",
                                                 "Last click is not accepted"}));
    EXPECT_TRUE(spare->attachments.empty());
}

TEST_F(Objects, CancellingErasesTheLinesDrawnSoFar)
{
    create_submodel(100, 100, se);
    ConnectionDrawing drawing;
    drawing.leftClick(100, 100, TOOL_BOND);
    drawing.leftClick(200, 200, TOOL_BOND);
    drawing.leftClick(300, 200, TOOL_BOND);
    view.log.clear();
    drawing.cancel();
    EXPECT_EQ(drawing.state(), ConnectionDrawing::State::Idle);
    EXPECT_TRUE(drawing.midpoints().empty());
    EXPECT_EQ(view.log, (std::vector<std::string>{"band stop", "erase line 100,100 to 200,200",
                                                  "erase line 200,200 to 300,200"}));
    EXPECT_TRUE(model.connections.empty());

    // A submodel held by an editor with unsaved data starts nothing.
    view.allowActions = 0;
    drawing.leftClick(100, 100, TOOL_BOND);
    EXPECT_EQ(drawing.state(), ConnectionDrawing::State::Idle);
    EXPECT_EQ(view.guardActions.back(), 4);
}

TEST_F(Objects, MarksRedrawOnlyOnChange)
{
    Submodel* s = create_submodel(100, 100, se);
    view.log.clear();
    SetSubmodelSelected(*s, 1);
    EXPECT_EQ(view.status, "Submodel \"se.1\" named \"se_1\"");
    SetSubmodelSelected(*s, 1);
    SetSubmodelErrorMark(*s, 0);
    EXPECT_EQ(view.log, (std::vector<std::string>{"erase submodel se_1", "draw submodel se_1"}));
    SetSubmodelSelected(*s, 0);
    EXPECT_EQ(view.status, "");
    EXPECT_EQ(s->selected, 0);
}

TEST_F(Objects, DeleteAtAsksTheGuard)
{
    Submodel* a = create_submodel(100, 100, se);
    Submodel* b = create_submodel(300, 100, junction);
    Connection* bond = AddConnection(model, {END_SUBMODEL, a}, {END_SUBMODEL, b}, {}, 0, 1, {});
    view.allowActions = 0;
    EXPECT_EQ(delete_at(200, 100), 0);
    EXPECT_EQ(view.guardActions.back(), 5);
    EXPECT_EQ(model.connections.head(), bond);
    view.allowActions = 1;
    EXPECT_EQ(delete_at(200, 100), 1);
    EXPECT_TRUE(model.connections.empty());
    EXPECT_EQ(delete_at(100, 100), 1);
    EXPECT_EQ(view.guardActions.back(), 6);
    EXPECT_EQ(model.submodels.size(), 1u);
    EXPECT_EQ(delete_at(700, 700), 0);
    EXPECT_TRUE(is_sum_type("Plus") && is_sum_type("minus") && !is_sum_type("plus1"));
}

// ---------------------------------------------------------------------------------------------
// Library and submodel types

TEST_F(Objects, LibraryListsBuiltInTypesFirst)
{
    testsupport::TempDir dir;
    for (const char* file : {"zeta1.sg0", "plus1.sg0", "plus1.sg3", "se1.sf0", "Alpha2.SF1", "notes.txt", "c1.mg0"})
        dir.write(file, "");
    Settings().model_dirs = dir.path() + ";" + dir.path() + "/missing";
    ReadAllLibraries();
    ASSERT_EQ(LibraryLists().size(), 2u);
    std::vector<std::string> texts;
    for (const LibraryEntry& e : LibraryLists()[0])
        texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"se1", "plus1", "alpha2", "zeta1"}));
    EXPECT_EQ(LibraryLists()[0][0].builtinIndex, 5);
    EXPECT_EQ(LibraryLists()[0][2].builtinIndex, -1);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Directory read error."}));
    EXPECT_TRUE(LibraryLists()[1].empty());

    EXPECT_EQ(library_equation_flag("se", 1), 1);
    EXPECT_EQ(library_equation_flag("plus", 1), 0);
    EXPECT_EQ(library_equation_flag("ALPHA", 2), 1);
    EXPECT_EQ(library_equation_flag("se", 2), -1);
    EXPECT_EQ(library_equation_flag("", 1), -2);
    EXPECT_EQ(type_name_text("LongTypeName", 3), "longtypen3");
    EXPECT_EQ(type_name_text("se", 0), "se");
    EXPECT_EQ(builtin_index("critneu"), kBuiltinCount - 1);

    LibraryLists()[0][0].counter = 4;
    clear_model();
    EXPECT_EQ(LibraryLists()[0][0].counter, 0);
}

TEST_F(Objects, TypeInterfacesAreKeptWhileTheirFileIsUnchanged)
{
    testsupport::TempDir dir;
    const std::string file = dir.write("gain1.sf0", "class gain version 1\ninterface\n  inputs: real u\n"
                                                    "  outputs: real y\nparameters\n  real k\n");
    testsupport::setModificationTime(file, 1000000);
    Settings().model_dirs = dir.path();
    SubmodelType* type = FindOrAddType(model, "gain", 1);
    EXPECT_EQ(type->isEquationModel, -1); // in no library list: looked for as an equation model
    ASSERT_EQ(read_submodel_type(type, 1), 0);
    ASSERT_TRUE(type->interface);
    EXPECT_EQ(type->interface->pios.size(), 2u);
    EXPECT_EQ(type->fileTime, 1000000);
    const GraphModel* held = type->interface.get();

    // Same file, same time: the held interface stays, the guard is not asked.
    view.guardActions.clear();
    EXPECT_EQ(read_submodel_type(type, 1), 0);
    EXPECT_EQ(type->interface.get(), held);
    EXPECT_TRUE(view.guardActions.empty());

    // A changed file is read again, after the guard allowed it.
    dir.write("gain1.sf0", "class gain version 1\ninterface\n  ports: p\n");
    testsupport::setModificationTime(file, 1000001);
    EXPECT_EQ(read_submodel_type(type, 1), 0);
    EXPECT_EQ(view.guardActions, (std::vector<int>{10}));
    ASSERT_EQ(type->interface->pios.size(), 1u);
    EXPECT_EQ(type->interface->pios.head()->kind, PIO_PORT);

    view.allowActions = 0;
    EXPECT_EQ(read_submodel_type(type, 0), -4);
    EXPECT_TRUE(type->interface);
    view.allowActions = 1;

    Submodel submodel;
    submodel.type = type;
    EXPECT_EQ(type_has_only_signals(submodel), 0);

    dir.write("gain1.sf0", "class gain version 1\ninterface\n  ports: p q\n");
    EXPECT_EQ(read_submodel_type(type, 0), -2);
    EXPECT_FALSE(type->interface);
    EXPECT_EQ(boxes().at(0), "There are errors reading submodel gain1.");
    EXPECT_EQ(boxes().at(1), "syntax error in line 3: q");
    EXPECT_EQ(type_has_only_signals(submodel), 0);

    EXPECT_EQ(read_submodel_type(FindOrAddType(model, "none", 1), 1), -1);
    EXPECT_EQ(read_submodel_type(nullptr, 1), -5);
}

TEST_F(Objects, TheLibraryElementsReadAtTheInterfaceDepth)
{
    // The shipped elements, whose restriction keywords stand on lines of their own.
    Settings().model_dirs = ORVANTA_LIBRARY_DIR;
    ReadAllLibraries();
    int read = 0;
    for (const LibraryEntry& library : LibraryLists()[0]) {
        std::string name;
        int version = 0;
        SplitEntryText(library.text, name, version);
        SubmodelType* type = FindOrAddType(model, name, version);
        EXPECT_EQ(type->isEquationModel, 1) << library.text;
        EXPECT_EQ(read_submodel_type(type, 1), 0) << library.text << " " << ParserErrorText();
        ++read;
    }
    EXPECT_GE(read, 19);
    const SubmodelType* transformer = FindOrAddType(model, "tf", 1);
    ASSERT_TRUE(transformer->interface);
    std::vector<int> orientations;
    for (const Pio& pio : transformer->interface->pios)
        orientations.push_back(pio.orientation);
    EXPECT_EQ(orientations, (std::vector<int>{2, 1}));
    // A junction takes its bonds on one port array of free orientation.
    const SubmodelType* junction = FindOrAddType(model, "1j", 1);
    ASSERT_TRUE(junction->interface);
    ASSERT_EQ(junction->interface->pios.size(), 1u);
    const Pio& port = *junction->interface->pios.head();
    EXPECT_EQ(port.name + "[" + ListText(port.size) + "]", "p[n]");
    EXPECT_EQ(port.orientation, 0);
    Submodel gain;
    gain.type = FindOrAddType(model, "gain", 1);
    EXPECT_EQ(type_has_only_signals(gain), 1);
}

} // namespace
