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
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - drawn1");
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

// A capacitor whose bond leaves it (its port takes power in) is crossed out by the check;
// what is wrong is named when it is selected and when its connection editor opens.
TEST_F(CanvasFeedback, ACrossedOutSubmodelNamesItsFaultWhenSelectedAndInItsConnectionEditor)
{
    ASSERT_TRUE(platform::writeFileAtomically(models + "/wrong1.mgg",
                                              "bond graph wrong version 1\n!gri_main 1500 1000 0 0\nsubclasses\n"
                                              "  se;1 f 320 200 !T\n  c;1 k 120 200 !T\nconnections\n"
                                              "  k`p -> f`p !gri_bond 120 200 320 200\n"));
    command(CM_OPEN)->trigger();
    ASSERT_TRUE(waitUntil([] { return NameChooserWindow() != nullptr; }, 3000));
    ASSERT_NO_FATAL_FAILURE(chooseName("wrong1"));
    ASSERT_EQ(Editor().modelName, "wrong1");

    // Save checks the model and asks whether to save the drawing only.
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    command(CM_SAVE)->trigger();
    ASSERT_NE(submodel("k"), nullptr);
    ASSERT_EQ(submodel("k")->errorMark, 1);
    ASSERT_EQ(submodel("f")->errorMark, 0);
    const std::string fault = "Error: wrong bond orientation for power port";

    click(120, 200);
    ASSERT_EQ(selected_submodel(), submodel("k"));
    EXPECT_EQ(window->shownStatusText(), "k: " + fault);
    click(320, 200);
    EXPECT_EQ(window->shownStatusText(), "Submodel \"se.1\" named \"f\"") << "f has no mark";

    click(120, 200);
    command(CM_CONNECTIONS)->trigger();
    TQNConEditorDialog* editor = ConnectionEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(ID_CE_MESSAGE), fault);
    EXPECT_EQ(editor->selectedIndex(ID_CE_ROWS), 0);
    EXPECT_FALSE(editor->isEdited());
    testsupport::grabToPng(*editor, "grapheditor_connection_fault");
    testsupport::grabToPng(*window, "grapheditor_fault_mark");

    // A correct submodel opens without a fault.
    clickButton(*editor, ID_CE_CANCEL);
    click(320, 200);
    command(CM_CONNECTIONS)->trigger();
    ASSERT_NE(ConnectionEditor(), nullptr);
    EXPECT_EQ(ConnectionEditor()->text(ID_CE_MESSAGE), "");
}

} // namespace
