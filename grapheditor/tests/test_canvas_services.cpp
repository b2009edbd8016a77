// The services the canvas editing rests on: the editor-conflict guard over the
// table of modeless editors, the symbol tables, and hit testing on a laid-out drawing.
#include "grapheditor/editor_guard.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/tests/drawing_test_support.h"
#include "grapheditor/tests/graph_test_support.h"

#include <gtest/gtest.h>

namespace {

using graphtest::entry;

class FakeEditor : public GuardedEditor {
public:
    const void* heldObject() const override { return held; }
    int allowsAction() override
    {
        ++asked;
        return allow;
    }
    const void* held = nullptr;
    int allow = 1;
    int asked = 0;
};

class FakeConnectionEditor : public GuardedConnectionEditor {
public:
    Submodel* submodel() const override { return held; }
    std::vector<const Connection*> connections() const override { return shown; }
    bool hasUnsavedData() const override { return unsaved; }
    void empty() override { ++emptied; }
    void bringToFront() override { ++fronted; }
    int checkSubmodel() override { return errors; }
    void applyData() override { ++applied; }
    void setUnchanged() override { unsaved = false; }

    Submodel* held = nullptr;
    std::vector<const Connection*> shown;
    bool unsaved = true;
    int emptied = 0, fronted = 0, errors = 0, applied = 0;
};

class Guard : public drawtest::DrawingTest {
protected:
    void SetUp() override
    {
        DrawingTest::SetUp();
        a = create_submodel(100, 100, se);
        b = create_submodel(300, 100, se);
        c = create_submodel(500, 100, control);
        p = create_pio(300, 300);
        ab = AddConnection(model, {END_SUBMODEL, a}, {END_SUBMODEL, b}, {}, 0, 1, {});
        ap = AddConnection(model, {END_SUBMODEL, a}, {END_PIO, p}, {}, 0, 0, {});
        bc = AddConnection(model, {END_SUBMODEL, b}, {END_SUBMODEL, c}, {}, 0, 1, {});
        connectionEditor.held = a;
        connectionEditor.shown = {ab, ap};
        GuardedEditorTable().connectionEditor = &connectionEditor;
        sink.clear();
    }

    GraphModel& model = CurrentModel();
    LibraryEntry se = entry("se1");
    LibraryEntry control = entry("ctl1");
    Submodel *a = nullptr, *b = nullptr, *c = nullptr;
    Pio* p = nullptr;
    Connection *ab = nullptr, *ap = nullptr, *bc = nullptr;
    FakeConnectionEditor connectionEditor;
};

TEST_F(Guard, TheConnectionEditorRefusesActionsOnWhatItHoldsWhileItHasUnsavedData)
{
    struct Case {
        int action;
        const void* object;
        int refused; // while the editor holds unsaved data
    };
    const Case cases[] = {
        {4, a, 1},  {4, b, 0},  {9, a, 1},  {9, c, 0},         // the editor's submodel
        {5, ab, 1}, {5, bc, 0}, {7, ap, 1}, {7, bc, 0},        // its connections
        {6, a, 1},  {6, b, 1},  {6, c, 0},                     // its submodel, or a far end of its connections
        {8, p, 1},                                             // a PIO at a far end
        {10, a->type, 1}, {10, c->type, 0},                    // the type of its submodel
        {2, nullptr, 1}, {3, nullptr, 1},                      // whole-model operations
    };
    for (const Case& test : cases) {
        SCOPED_TRACE("action " + std::to_string(test.action));
        connectionEditor.unsaved = true;
        connectionEditor.emptied = connectionEditor.fronted = 0;
        sink.clear();
        EXPECT_EQ(editor_guard(test.action, test.object), test.refused ? 0 : 1);
        EXPECT_EQ(connectionEditor.fronted, test.refused);
        if (test.refused) {
            EXPECT_EQ(sink.transcriptLines(),
                      (std::vector<std::string>{"Action not allowed.",
                                                "This action would cause a conflict with the (unsaved) data in the",
                                                "Connection Editor. You must either Accept or Reset the data in the",
                                                "Connection Editor before this action can be performed."}));
        }
        // Without unsaved data the editor allows and is emptied when it was asked.
        connectionEditor.unsaved = false;
        EXPECT_EQ(editor_guard(test.action, test.object), 1);
        EXPECT_EQ(connectionEditor.emptied, test.refused);
    }
    // Unknown actions are refused; without any editor the rest is allowed.
    EXPECT_EQ(editor_guard(11, a), 0);
    EXPECT_EQ(editor_guard(-1, a), 0);
    GuardedEditorTable().connectionEditor = nullptr;
    EXPECT_EQ(editor_guard(6, a), 1);
    EXPECT_EQ(editor_guard(0, nullptr), 1);
}

TEST_F(Guard, TheAttributeEditorsAreAskedAboutTheObjectsTheyHold)
{
    connectionEditor.unsaved = false;
    FakeEditor submodelAttributes, connectionAttributes, pioAttributes, mainArguments;
    GuardedEditorTable() = {&connectionEditor, &submodelAttributes, &connectionAttributes, &pioAttributes,
                            &mainArguments};
    submodelAttributes.held = c;
    connectionAttributes.held = bc;
    pioAttributes.held = p;
    submodelAttributes.allow = connectionAttributes.allow = pioAttributes.allow = 0;

    EXPECT_EQ(editor_guard(6, c), 0); // the submodel attributes hold it
    EXPECT_EQ(submodelAttributes.asked, 1);
    EXPECT_EQ(connectionAttributes.asked, 0);
    submodelAttributes.allow = 1;
    EXPECT_EQ(editor_guard(6, c), 0); // then the bond attributes hold one of its connections
    EXPECT_EQ(connectionAttributes.asked, 1);
    EXPECT_EQ(editor_guard(5, bc), 0);
    EXPECT_EQ(editor_guard(5, ab), 1);
    EXPECT_EQ(editor_guard(8, p), 0);
    EXPECT_EQ(pioAttributes.asked, 1);
    EXPECT_EQ(editor_guard(6, a), 1); // none of them holds a or its connections
    EXPECT_EQ(editor_guard(7, bc), 1); // changing a connection asks the connection editor only

    // Whole-model operations ask every editor in order and stop at the first refusal.
    submodelAttributes.asked = connectionAttributes.asked = pioAttributes.asked = 0;
    EXPECT_EQ(editor_guard(2, nullptr), 0);
    EXPECT_EQ((std::vector<int>{submodelAttributes.asked, connectionAttributes.asked, pioAttributes.asked,
                                mainArguments.asked}),
              (std::vector<int>{1, 1, 0, 0}));
    connectionAttributes.allow = pioAttributes.allow = 1;
    EXPECT_EQ(editor_guard(3, nullptr), 1);
    EXPECT_EQ(mainArguments.asked, 1);
}

TEST_F(Guard, AcceptingTheConnectionEditorChecksAppliesAndClearsTheMark)
{
    a->errorMark = 1;
    model.edited = 0;
    connectionEditor.errors = 2;
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_EQ(editor_guard(0, nullptr), 0); // "Cancel" to reconnect
    EXPECT_EQ(connectionEditor.applied, 0);
    EXPECT_EQ(sink.transcriptLines(),
              (std::vector<std::string>{"The submodel is not connected correctly.",
                                        "Press Cancel to reconnect the submodel or",
                                        "press OK to accept the incorrect data."}));
    sink.queueAnswers({platform::BoxAnswer::Ok});
    EXPECT_EQ(editor_guard(1, b), 1); // before another submodel: the data are accepted first
    EXPECT_EQ(connectionEditor.applied, 1);
    EXPECT_EQ(model.edited, 1);
    EXPECT_FALSE(connectionEditor.unsaved);
    EXPECT_EQ(a->errorMark, 1); // accepted with errors: still crossed out

    connectionEditor.errors = 0;
    connectionEditor.unsaved = true;
    sink.clear();
    EXPECT_EQ(editor_guard(0, nullptr), 1);
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(a->errorMark, 0);
    EXPECT_EQ(editor_guard(1, b), 1); // nothing unsaved: nothing to accept
    EXPECT_EQ(connectionEditor.applied, 2);
}

class Symbols : public drawtest::DrawingTest {
protected:
    void SetUp() override
    {
        DrawingTest::SetUp();
        free_symbols();
        sink.clear();
    }
};

TEST_F(Symbols, BothTablesLoadOnceWithTheSizesOfTheirBitmaps)
{
    int loads = 0;
    SetSymbolLoader([&](std::string_view name) {
        ++loads;
        return drawtest::plainSymbol(name);
    });
    ASSERT_EQ(load_symbols(), 1);
    EXPECT_EQ(loads, 2 * 122 + 18);
    ASSERT_EQ(ElementSymbols().size(), 122u);
    EXPECT_EQ(ElementSymbols()[2].resource, "BM_C");
    EXPECT_EQ(ElementSymbols()[18].resource, "BM_MP_C");
    int w = 0, h = 0;
    element_symbol_size(2, w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(16, 15));
    element_symbol_size(27, w, h); // gain
    EXPECT_EQ(std::pair(w, h), std::pair(30, 22));
    EXPECT_TRUE(element_symbol(121).colour && element_symbol(121).blackAndWhite);
    EXPECT_FALSE(element_symbol(122).colour);
    EXPECT_FALSE(element_symbol(-1).colour);
    ASSERT_EQ(ConnectionSymbols().size(), 18u);
    EXPECT_TRUE(connection_symbol("mbrlc"));
    EXPECT_TRUE(connection_symbol("ssr"));
    EXPECT_FALSE(connection_symbol("mbx"));
    ASSERT_EQ(load_symbols(), 1);
    EXPECT_EQ(loads, 2 * 122 + 18); // loaded rows are skipped
    EXPECT_TRUE(sink.transcript().empty());
    free_symbols();
    EXPECT_FALSE(connection_symbol("ssr"));
}

TEST_F(Symbols, AMissingBitmapIsNamedAndStopsTheLoading)
{
    SetSymbolLoader([](std::string_view name) {
        return name == "BM_CBW" ? std::nullopt : drawtest::plainSymbol(name);
    });
    EXPECT_EQ(load_symbols(), 0);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Name not found", "BM_CBW", "--",
                                                                "Error in creating Black&White bond-graph symbols."}));
    EXPECT_FALSE(connection_symbol("sb")); // the connection table was not loaded
    EXPECT_TRUE(element_symbol(1).colour); // the rows before stay

    sink.clear();
    SetSymbolLoader([](std::string_view name) {
        return name == "BM_SSR" ? std::nullopt : drawtest::plainSymbol(name);
    });
    EXPECT_EQ(load_symbols(), 0);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Error in creating Color bond-graph symbols."}));
    EXPECT_TRUE(connection_symbol("sb"));
}

class HitTests : public drawtest::DrawingTest {
protected:
    GraphModel& model = CurrentModel();
    LibraryEntry se = entry("se1");
};

TEST_F(HitTests, TheLaidOutBoxesAndEdgePointsAreWhatClicksFind)
{
    Submodel* s = create_submodel(100, 100, se);
    Pio* pio = create_pio(400, 100);
    // The right and bottom edges of the box belong to it.
    void* object = nullptr;
    int x = s->left + s->width, y = s->top + s->height;
    EXPECT_EQ(hit_object(model, x, y, object), END_SUBMODEL);
    EXPECT_EQ(std::pair(x, y), std::pair(100, 100));
    x = s->left + s->width + 1, y = s->top;
    EXPECT_EQ(hit_object(model, x, y, object), 0);

    Connection* bond = AddConnection(model, {END_SUBMODEL, s}, {END_PIO, pio}, {}, 0, 0, {});
    const int endX = bond->ends[1].edgeX;
    ASSERT_EQ(endX, pio->left - 2);
    // Just past the end of the segment, within the radius of its end point (tolerance 50).
    EXPECT_EQ(hit_connection(model, endX + 7, 100), bond);
    EXPECT_EQ(hit_connection(model, endX + 8, 100), nullptr);
    EXPECT_EQ(hit_connection(model, 250, 107), bond);
    EXPECT_EQ(hit_connection(model, 250, 108), nullptr);
    // A one-dimensional multibond has the same tolerance; a two-dimensional one 144.
    bond->size.push_back(MakeConstant(4));
    EXPECT_EQ(hit_connection(model, 250, 108), nullptr);
    bond->size.push_back(MakeConstant(4));
    EXPECT_EQ(hit_connection(model, 250, 111), bond);
    EXPECT_EQ(hit_connection(model, 250, 112), nullptr);

    // The grid: with snap on and step 20, 9 goes to 0 and 10 to 20; with snap off nothing moves.
    int gx = 9, gy = 10;
    snap_to_grid(gx, gy);
    EXPECT_EQ(std::pair(gx, gy), std::pair(0, 20));
    Settings().snap = 0;
    gx = 9, gy = 10;
    snap_to_grid(gx, gy);
    EXPECT_EQ(std::pair(gx, gy), std::pair(9, 10));
}

} // namespace
