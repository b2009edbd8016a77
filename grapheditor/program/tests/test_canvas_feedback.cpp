// What the editor offers and says while a model is drawn by mouse: processing of a
// drawing that has no name yet, a library entry picked again after another tool, and
// the fault behind a crossed-out submodel.
#include "grapheditor/program/connection_editor.h"
#include "grapheditor/program/selection.h"
#include "grapheditor/program/tests/canvas_fixture.h"

#include "common/name_chooser_dialog.h"
#include "grapheditor/connection_drawing.h"
#include "platform/core/file_system.h"

#include <gtest/gtest.h>

using editortest::waitUntil;

namespace {

class CanvasFeedback : public editortest::CanvasWindow {};

// The drawing's last bond stays selected: the processing commands are there all the same,
// ask for a name and process the model under it.
TEST_F(CanvasFeedback, AnUntitledDrawingWithASelectionIsProcessedOnceNamed)
{
    openPopup();
    pick("library", "se1");
    click(120, 200);
    pick("library", "c1");
    click(320, 200);
    tool(TOOL_BOND);
    click(120, 200);
    click(320, 200);
    ASSERT_EQ(selection_kind(), SELECT_CONNECTION);
    ASSERT_EQ(Editor().machine.state(), STATE_UNTITLED_SELECTION);
    EXPECT_TRUE(enabled(CM_CAUSAL_ANALYSIS));
    EXPECT_TRUE(enabled(CM_COMPLETE_PROCESSING));
    EXPECT_TRUE(menuEntries()[4]->isEnabled());

    command(CM_CAUSAL_ANALYSIS)->trigger();
    ASSERT_TRUE(waitUntil([] { return NameChooserWindow() != nullptr; }, 3000));
    ASSERT_NO_FATAL_FAILURE(chooseName("drawn1"));
    EXPECT_TRUE(platform::fileExists(models + "/drawn1.mg0"));
    ASSERT_TRUE(processed("Causal analysis completed succesfully.")) << window->shownStatusText();
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta Graph Editor - drawn1");
}

TEST_F(CanvasFeedback, TheLibraryEntryStillPickedPlacesAgainAfterAnotherTool)
{
    openPopup();
    pick("library", "c1");
    click(200, 200);
    ASSERT_NE(submodel("c_1"), nullptr);
    tool(TOOL_BOND);
    ASSERT_EQ(current_tool(), TOOL_BOND);

    // The entry is still highlighted: a click on it takes it up again.
    clickItem(*DrawPopup(), ID_DRAW_LIBRARY, "c1");
    EXPECT_EQ(current_tool(), TOOL_SUBMODEL);
    click(400, 200);
    ASSERT_NE(submodel("c_2"), nullptr);
    EXPECT_EQ(submodel("c_2")->x, 400);
    for (int id = ID_DRAW_FIRST_TOOL; id < ID_DRAW_FIRST_TOOL + 6; ++id)
        EXPECT_FALSE(DrawPopup()->isChecked(id)) << id;
}

} // namespace
