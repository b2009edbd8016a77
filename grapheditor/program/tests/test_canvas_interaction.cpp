// The graph editor's interaction offscreen, driven by mouse and keys: the draw
// popup and its library, placing and drawing on the canvas, dragging, deleting,
// saving; the connection editor with the guard; the attribute editors.
#include "grapheditor/program/attribute_editors.h"
#include "grapheditor/program/canvas_mouse.h"
#include "grapheditor/program/connection_editor.h"
#include "grapheditor/program/draw_popup.h"
#include "grapheditor/program/main_arguments.h"
#include "grapheditor/program/main_window.h"
#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/selection.h"
#include "grapheditor/program/submodel_attributes.h"
#include "grapheditor/program/tests/canvas_fixture.h"

#include "common/about_dialog.h"
#include "common/canvas_window.h"
#include "common/name_chooser.h"
#include "common/name_chooser_dialog.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "grapheditor/connection_drawing.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/submodel_library.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "common/tests/clipped_controls.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>

using editortest::waitUntil;
using testsupport::findControl;

namespace {

class Interaction : public editortest::CanvasWindow {
protected:
    Pio* pio(const std::string& name) const
    {
        for (Pio& p : CurrentModel().pios)
            if (p.name == name)
                return &p;
        return nullptr;
    }

    /// Save As through the command and the chooser, with the errors' question answered.
    void saveAs(const std::string& name, bool expectErrors)
    {
        if (expectErrors)
            sink.queueAnswers({platform::BoxAnswer::Ok});
        window->runCommand(CM_SAVE_AS);
        chooseName(name);
    }

    /// A 0-junction of the library placed at (200, 280) and its attributes editor opened by a double click.
    TQNSubAttrDialog* placeJunctionAndOpenItsAttributes()
    {
        openPopup();
        pick("library", "0jv1");
        click(200, 280);
        tool(TOOL_SELECT);
        doubleClick(200, 280);
        return SubmodelAttributesEditor();
    }

    /// A summation point of the type at (300, 200) with signals into it from a sine at (120, 120)
    /// and a constant at (120, 280); the select tool is left chosen.
    void drawSummationPoint(const QString& type)
    {
        openPopup();
        pick("library", type);
        click(300, 200);
        pick("library", "sine1");
        click(120, 120);
        pick("library", "con1");
        click(120, 280);
        tool(TOOL_SIGNAL);
        click(120, 120);
        click(300, 200);
        click(120, 280);
        click(300, 200);
        tool(TOOL_SELECT);
    }

    /// A capacitor c_1 at (200, 200) with a bond from the PIO p_1 at (80, 200); the bond tool is left chosen.
    void drawPioBondedToCapacitor()
    {
        openPopup();
        pick("library", "c1");
        click(200, 200);
        tool(TOOL_PIO);
        click(80, 200);
        tool(TOOL_BOND);
        click(80, 200);
        click(200, 200);
    }

};

TEST_F(Interaction, APopupLibraryListsTheBuiltInTypesFirstOncePerNameWithTheirSymbols)
{
    ASSERT_TRUE(platform::writeFileAtomically(more + "/zed1.sf0", "class zed version 1\ninterface\n  ports: p\n"));
    ASSERT_TRUE(platform::writeFileAtomically(more + "/zed1.sg3", "bond graph zed version 1\n"));
    ASSERT_TRUE(platform::writeFileAtomically(more + "/plus1.sg0", "bond graph plus version 1\n"));
    openPopup();
    TQNDrawDialog& popup = *DrawPopup();
    EXPECT_EQ(popup.windowTitle().toStdString(), "GE: Draw");
    EXPECT_EQ(current_tool(), TOOL_SELECT);
    EXPECT_TRUE(popup.isChecked(ID_DRAW_FIRST_TOOL + int(TOOL_SELECT)));
    EXPECT_EQ(window->shownStatusText(), "Select item.");
    EXPECT_EQ(popup.itemText(ID_DRAW_DIRECTORIES, 2), "library");

    clickItem(popup, ID_DRAW_DIRECTORIES, "more");
    EXPECT_EQ(current_directory(), 1);
    ASSERT_EQ(popup.itemCount(ID_DRAW_LIBRARY), 2);
    EXPECT_EQ(popup.itemText(ID_DRAW_LIBRARY, 0), "plus1");
    EXPECT_EQ(popup.itemText(ID_DRAW_LIBRARY, 1), "zed1");

    clickItem(popup, ID_DRAW_DIRECTORIES, "library");
    std::vector<std::string> texts;
    for (int i = 0; i < popup.itemCount(ID_DRAW_LIBRARY); ++i)
        texts.push_back(popup.itemText(ID_DRAW_LIBRARY, i));
    // Every built-in element of the library, in the built-in order, then the others.
    std::vector<std::string> builtIn;
    for (const char* name : BuiltinNames)
        if (std::filesystem::exists(std::string(ORVANTA_LIBRARY_DIR) + "/" + name + "1.sf0"))
            builtIn.push_back(std::string(name) + "1");
    builtIn.push_back("0jv1");
    EXPECT_EQ(texts, builtIn);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 12),
              (std::vector<std::string>{"0j1", "1j1", "c1", "i1", "r1", "se1", "sf1", "tf1", "gy1", "sgy1", "mr1",
                                        "mse1"}));
    for (int i = 0; i + 1 < popup.itemCount(ID_DRAW_LIBRARY); ++i)
        EXPECT_NE(popup.itemData(ID_DRAW_LIBRARY, i).toULongLong(), 0u) << texts[std::size_t(i)];
    EXPECT_EQ(popup.itemData(ID_DRAW_LIBRARY, int(texts.size()) - 1).toULongLong(), 0u);

    clickItem(popup, ID_DRAW_LIBRARY, "c1");
    EXPECT_EQ(current_tool(), TOOL_SUBMODEL);
    EXPECT_FALSE(popup.isChecked(ID_DRAW_FIRST_TOOL + int(TOOL_SELECT)));
    ASSERT_NE(selected_library_entry_record(), nullptr);
    EXPECT_EQ(selected_library_entry_record()->text, "c1");
    tool(TOOL_PIO);
    EXPECT_EQ(current_tool(), TOOL_PIO);
    EXPECT_EQ(window->shownStatusText(), "Add PIO.");
    testsupport::grabToPng(popup, "grapheditor_draw_popup");
    EXPECT_EQ(testsupport::clippedControls(popup), std::vector<std::string>{}) << "grapheditor_draw_popup";

    // Showing it again reads the directories anew and goes back to selecting.
    window->runCommand(CM_DRAW_POPUP);
    EXPECT_EQ(current_tool(), TOOL_SELECT);
}

// The library holds over a hundred types: the popup made larger shows more of them, its other
// controls staying where they were; it is never made smaller than it opens.
TEST_F(Interaction, TheDrawPopupsLibraryListGrowsWithItsWindow)
{
    command(CM_DRAW_POPUP)->trigger();
    ASSERT_NE(DrawPopup(), nullptr);
    TQNDrawDialog& popup = *DrawPopup();
    clickItem(popup, ID_DRAW_DIRECTORIES, "library");
    auto* list = findControl<QListWidget>(popup, ID_DRAW_LIBRARY);
    ASSERT_GT(list->count(), 100);
    const auto shown = [list] {
        int rows = 0;
        for (int i = 0; i < list->count(); ++i)
            rows += list->viewport()->rect().contains(list->visualItemRect(list->item(i)));
        return rows;
    };
    const QSize opened = popup.size();
    const QRect listBefore = list->geometry();
    const QRect directoriesBefore = findControl<QListWidget>(popup, ID_DRAW_DIRECTORIES)->geometry();
    const int rowsBefore = shown();
    EXPECT_EQ(popup.minimumSize(), opened);

    popup.resize(opened + QSize(60, 400));
    QApplication::processEvents();
    EXPECT_EQ(list->geometry(), QRect(listBefore.topLeft(), listBefore.size() + QSize(60, 400)));
    EXPECT_EQ(findControl<QListWidget>(popup, ID_DRAW_DIRECTORIES)->geometry(), directoriesBefore);
    EXPECT_GE(shown(), rowsBefore + 400 / (list->visualItemRect(list->item(0)).height() + 1))
        << rowsBefore << " rows before";
    testsupport::grabToPng(popup, "grapheditor_draw_popup_enlarged");
    EXPECT_EQ(testsupport::clippedControls(popup), std::vector<std::string>{}) << "grapheditor_draw_popup_enlarged";

    popup.resize(opened - QSize(40, 100));
    QApplication::processEvents();
    EXPECT_EQ(popup.size(), opened);
    EXPECT_EQ(list->geometry(), listBefore);
}

TEST_F(Interaction, AJunctionDrawnAndDraggedWithItsBondsIsSavedAsExpected)
{
    openPopup();
    pick("library", "1j1");
    click(240, 200);
    click(440, 200);
    click(640, 200);
    pick("library", "c1");
    click(120, 120);
    pick("library", "r1");
    click(360, 320);
    ASSERT_EQ(CurrentModel().submodels.size(), 5u);
    Submodel* junction = submodel("1j_1");
    ASSERT_NE(junction, nullptr);
    EXPECT_EQ(junction->x, 240);

    tool(TOOL_BOND);
    EXPECT_EQ(window->shownStatusText(), "Start Bond or Signal.");
    click(120, 120);
    EXPECT_TRUE(connection_being_drawn());
    click(120, 200);
    click(120, 200); // the same empty point again adds no second midpoint
    click(240, 200);
    click(360, 320);
    click(240, 200);
    ASSERT_EQ(CurrentModel().connections.size(), 2u);
    Connection* rBond = CurrentModel().connections.head();
    Connection* cBond = rBond->next;
    ASSERT_EQ(cBond->midpoints.size(), 1u);
    EXPECT_EQ(cBond->midpoints[0].x, 120);
    EXPECT_EQ(cBond->midpoints[0].y, 200);
    EXPECT_EQ(selected_object(), rBond);

    tool(TOOL_SELECT);
    drag(240, 200, 280, 200);
    EXPECT_EQ(selected_submodel(), junction);
    EXPECT_EQ(junction->x, 280);
    EXPECT_EQ(cBond->ends[1].anchorX, 280);
    EXPECT_EQ(rBond->ends[1].anchorX, 280);
    EXPECT_EQ(window->shownStatusText(), "Select item.");
    testsupport::grabToPng(*window, "grapheditor_drawn_demo");

    // A drag past the left edge stops at the canvas.
    drag(640, 200, -200, 200);
    EXPECT_EQ(submodel("1j_3")->x, 0);
    drag(0, 200, 640, 200);
    EXPECT_EQ(submodel("1j_3")->x, 640);

    click(320, 260); // half way along the r bond
    ASSERT_EQ(selected_object(), rBond);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Delete);
    ASSERT_EQ(CurrentModel().connections.size(), 1u);
    EXPECT_EQ(has_selection(), 0);

    saveAs("demo1", true);
    const std::string saved = testsupport::readText(models + "/demo1.mgg");
    const std::string golden = testsupport::readText(GRAPHEDITOR_TEST_DIR "/golden/demo1_drawn.mgg");
    if (const char* update = std::getenv("ORVANTA_UPDATE_GOLDEN"); update && *update)
        platform::writeFileAtomically(GRAPHEDITOR_TEST_DIR "/golden/demo1_drawn.mgg", saved);
    EXPECT_EQ(saved, golden);
    EXPECT_EQ(Editor().modelName, "demo1");
}

TEST_F(Interaction, ADoubleClickOpensTheEditorOfWhatIsUnderIt)
{
    drawPioBondedToCapacitor();
    tool(TOOL_SELECT);

    doubleClick(200, 200);
    ASSERT_NE(SubmodelAttributesEditor(), nullptr);
    EXPECT_TRUE(SubmodelAttributesEditor()->isBoundTo(submodel("c_1")));
    EXPECT_EQ(SubmodelAttributesEditor()->text(601), "c");
    testsupport::grabToPng(*SubmodelAttributesEditor(), "grapheditor_submodel_attributes");
    EXPECT_EQ(testsupport::clippedControls(*SubmodelAttributesEditor()), std::vector<std::string>{}) << "grapheditor_submodel_attributes";

    doubleClick(140, 200);
    ASSERT_NE(ConnectionAttributesEditor(), nullptr);
    EXPECT_TRUE(ConnectionAttributesEditor()->isBoundTo(CurrentModel().connections.head()));
    EXPECT_EQ(ConnectionAttributesEditor()->text(414), "c : c_1");
    testsupport::grabToPng(*ConnectionAttributesEditor(), "grapheditor_bond_attributes");
    EXPECT_EQ(testsupport::clippedControls(*ConnectionAttributesEditor()), std::vector<std::string>{}) << "grapheditor_bond_attributes";

    doubleClick(80, 200);
    ASSERT_NE(PioAttributesEditor(), nullptr);
    EXPECT_TRUE(PioAttributesEditor()->isBoundTo(pio("p_1")));

    // With the connection editor open, a double click on a submodel goes there.
    SubmodelAttributesEditor()->endDialog(platform::IDCANCEL);
    click(200, 200);
    window->runCommand(CM_CONNECTIONS);
    ASSERT_NE(ConnectionEditor(), nullptr);
    // One undirected bond on the one port: connected as the editor opens.
    EXPECT_EQ(ConnectionEditor()->text(ID_CE_MESSAGE), "Submodel (partly) connected automatically.");
    EXPECT_EQ(ConnectionEditor()->selectedIndex(ID_CE_POWER_PORTS), 0);
    ConnectionEditor()->clear();
    doubleClick(80, 200);
    doubleClick(200, 200);
    EXPECT_EQ(ConnectionEditor()->submodel(), submodel("c_1"));
    EXPECT_EQ(SubmodelAttributesEditor(), nullptr);

    // Emptying the model, as opening another does, lets every editor go of what it held.
    typeInto(*PioAttributesEditor(), 101, "p_9");
    EXPECT_TRUE(PioAttributesEditor()->isEdited());
    clear_model();
    EXPECT_EQ(PioAttributesEditor()->boundObject(), nullptr);
    EXPECT_FALSE(PioAttributesEditor()->isEdited());
    EXPECT_EQ(ConnectionEditor()->submodel(), nullptr);
    EXPECT_EQ(ConnectionAttributesEditor()->boundObject(), nullptr);
}

TEST_F(Interaction, ThePortsOfTwoUndirectedBondsAreAssignedInTheConnectionEditor)
{
    openPopup();
    pick("library", "tf1");
    click(280, 200);
    tool(TOOL_PIO);
    click(120, 200);
    click(440, 200);
    tool(TOOL_BOND);
    click(120, 200);
    click(280, 200);
    click(440, 200);
    click(280, 200);
    tool(TOOL_SELECT);
    Submodel* tf = submodel("tf_1");
    ASSERT_NE(tf, nullptr);

    // Save finds the fault; the model is not saved.
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    window->runCommand(CM_SAVE);
    EXPECT_EQ(tf->errorMark, 1);
    EXPECT_EQ(window->shownStatusText(),
              "The submodels displayed with an 'X' have errors in connections and/or attributes.");

    click(280, 200);
    window->runCommand(CM_CONNECTIONS);
    TQNConEditorDialog* editor = ConnectionEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->windowTitle().toStdString(), "GE: Connection Editor for tf_1");
    ASSERT_EQ(editor->itemCount(ID_CE_ROWS), 2);
    EXPECT_EQ(editor->itemText(ID_CE_ROWS, 0), "tf_1`*");
    EXPECT_EQ(editor->text(ID_CE_GROUP_LABEL), "Power Port");
    EXPECT_EQ(editor->itemCount(ID_CE_POWER_PORTS), 2);

    clickItem(*editor, ID_CE_POWER_PORTS, "p1");
    clickItem(*editor, ID_CE_ROWS, "tf_1`*");
    clickItem(*editor, ID_CE_POWER_PORTS, "p2");
    EXPECT_EQ(editor->itemText(ID_CE_ROWS, 0), "tf_1`p1");
    EXPECT_EQ(editor->itemText(ID_CE_ROWS, 1), "tf_1`p2");
    EXPECT_EQ(editor->windowTitle().toStdString(), "GE: Connection Editor for tf_1 (edited)");
    testsupport::grabToPng(*editor, "grapheditor_connection_editor");
    EXPECT_EQ(testsupport::clippedControls(*editor), std::vector<std::string>{}) << "grapheditor_connection_editor";

    // Unsaved edits keep the submodel from being deleted.
    sink.clear();
    click(280, 200);
    window->runCommand(CM_DELETE);
    EXPECT_NE(submodel("tf_1"), nullptr);
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcriptLines(),
              (std::vector<std::string>{"Action not allowed.",
                                        "This action would cause a conflict with the (unsaved) data in the",
                                        "Connection Editor. You must either Accept or Reset the data in the",
                                        "Connection Editor before this action can be performed."}));

    clickButton(*editor, ID_CE_APPLY);
    EXPECT_EQ(editor->text(ID_CE_MESSAGE), "Submodel connected correctly");
    EXPECT_EQ(tf->errorMark, 0);
    EXPECT_FALSE(editor->isEdited());
    std::vector<std::string> ports;
    for (const Attachment& a : tf->attachments)
        ports.push_back(a.connection->ends[a.end].portName);
    std::vector<std::string> applied = ports;
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<std::string>{"p1", "p2"}));

    // Cancel drops what was changed since.
    clickItem(*editor, ID_CE_ROWS, "tf_1`p1");
    clickItem(*editor, ID_CE_POWER_PORTS, "p2");
    EXPECT_TRUE(editor->isEdited());
    clickButton(*editor, ID_CE_CANCEL);
    EXPECT_EQ(ConnectionEditor(), nullptr);
    ports.clear();
    for (const Attachment& a : tf->attachments)
        ports.push_back(a.connection->ends[a.end].portName);
    EXPECT_EQ(ports, applied);
}

TEST_F(Interaction, APioRenamedToANumberOrAKeywordIsRefusedAndAGoodNameIsSaved)
{
    drawPioBondedToCapacitor();
    tool(TOOL_SELECT);
    doubleClick(80, 200);
    TQNPortAttrDialog* editor = PioAttributesEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(101), "p_1");

    for (const char* bad : {"123", "flow"}) {
        typeInto(*editor, 101, bad);
        EXPECT_EQ(editor->windowTitle().toStdString(), "GE: PIO Attributes (edited)");
        clickButton(*editor, ID_ATTR_APPLY);
        EXPECT_EQ(editor->text(ID_ATTR_STATUS),
                  std::string("Name ") + bad + " is read as a number or keyword in the model file.");
        EXPECT_NE(pio("p_1"), nullptr) << bad;
    }
    testsupport::grabToPng(*editor, "grapheditor_pio_refused");
    EXPECT_EQ(testsupport::clippedControls(*editor), std::vector<std::string>{}) << "grapheditor_pio_refused";
    typeInto(*editor, 101, "p_in");
    clickButton(*editor, ID_ATTR_OK);
    ASSERT_NE(pio("p_in"), nullptr);

    saveAs("pioname1", false);
    ASSERT_TRUE(platform::fileExists(models + "/pioname1.sgg")) << sink.transcriptLines().size();
    clear_model();
    ASSERT_EQ(load_model_file(models + "/pioname1.sgg"), 0);
    EXPECT_NE(pio("p_in"), nullptr);
}

TEST_F(Interaction, AMidpointDraggedOntoItsNeighbourMergesAndARightClickCancelsADrawing)
{
    openPopup();
    pick("library", "c1");
    click(120, 120);
    pick("library", "1j1");
    click(280, 200);
    tool(TOOL_BOND);
    click(120, 120);
    click(120, 200);
    click(200, 200);
    click(280, 200);
    ASSERT_EQ(CurrentModel().connections.size(), 1u);
    Connection* bond = CurrentModel().connections.head();
    ASSERT_EQ(bond->midpoints.size(), 2u);

    // A right click ends a drawing and makes nothing.
    click(120, 120);
    click(200, 320);
    mouse(QEvent::MouseButtonPress, 200, 320, Qt::RightButton, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, 200, 320, Qt::RightButton, Qt::NoButton);
    if (QWidget* popup = QApplication::activePopupWidget())
        QTest::keyClick(popup, Qt::Key_Escape);
    EXPECT_FALSE(connection_being_drawn());
    EXPECT_EQ(CurrentModel().connections.size(), 1u);

    tool(TOOL_SELECT);
    mouse(QEvent::MouseButtonPress, 200, 200, Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(selected_object(), bond);
    for (int x : {201, 202, 160, 120})
        mouse(QEvent::MouseMove, x, 200, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 120, 200, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(bond->midpoints.size(), 1u);
    EXPECT_EQ(bond->midpoints[0].x, 120);
    EXPECT_EQ(bond->midpoints[0].y, 200);

    // A submodel moved onto another stays where it was.
    mouse(QEvent::MouseButtonPress, 280, 200, Qt::LeftButton, Qt::LeftButton);
    for (int x : {281, 282, 120})
        mouse(QEvent::MouseMove, x, x == 120 ? 120 : 200, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 120, 120, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(submodel("1j_1")->x, 280);
    EXPECT_EQ(submodel("1j_1")->y, 200);
}

TEST_F(Interaction, MainArgumentsRefuseBadNamesAndValuesAndAreSaved)
{
    window->runCommand(CM_MODEL_PROPERTIES);
    TQNMainArgDialog* editor = MainArgumentsEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(360), "untitled");
    clickButton(*editor, 366);
    ASSERT_EQ(editor->rows().size(), 1u);
    struct Case {
        const char* name;
        const char* value;
        const char* status;
    };
    const Case cases[] = {
        {"_n", "3", "Name must start with a letter at arg. 1."},
        {"n", "2.5", "Optional value of argument 1 is not an integer."},
        {"n", "4x", "Optional value of argument 1 is not an integer."},
        {"or", "4", "Name or is read as a number or keyword in the model file."},
    };
    for (const Case& test : cases) {
        typeInto(*editor, 363, test.name);
        typeInto(*editor, 362, test.value);
        clickButton(*editor, ID_ATTR_OK);
        EXPECT_EQ(editor->text(ID_ATTR_STATUS), test.status) << test.name << " " << test.value;
        ASSERT_NE(MainArgumentsEditor(), nullptr);
    }
    EXPECT_EQ(editor->windowTitle().toStdString(), "Main Model's Arguments (edited)");
    typeInto(*editor, 363, "n");
    typeInto(*editor, 362, "-4");
    testsupport::grabToPng(*editor, "grapheditor_main_arguments");
    EXPECT_EQ(testsupport::clippedControls(*editor), std::vector<std::string>{}) << "grapheditor_main_arguments";
    clickButton(*editor, ID_ATTR_OK);
    ASSERT_EQ(CurrentModel().arguments.size(), 1u);
    EXPECT_EQ(CurrentModel().arguments[0]->name, "n");
    EXPECT_EQ(CurrentModel().arguments[0]->value, -4);

    // The rows stop at 48.
    editor = OpenMainArguments(&canvas());
    for (int i = 0; i < 48; ++i)
        clickButton(*editor, 366);
    EXPECT_EQ(editor->rows().size(), 48u);
    EXPECT_EQ(editor->text(ID_ATTR_STATUS), "Not more than 48 arguments are allowed.");
    clickButton(*editor, ID_ATTR_CANCEL);
    EXPECT_EQ(CurrentModel().arguments.size(), 1u);

    drawPioBondedToCapacitor();
    saveAs("margs1", false);
    EXPECT_EQ(testsupport::readText(models + "/margs1.sga"), "n\t-4\n");
}

TEST_F(Interaction, TheSignalAndSubmodelEditorsApplyWhatTheyCheck)
{
    openPopup();
    pick("library", "con1");
    click(200, 120);
    pick("library", "0jv1");
    click(200, 280);
    tool(TOOL_PIO);
    click(360, 120);
    tool(TOOL_SIGNAL);
    click(200, 120);
    click(360, 120);
    tool(TOOL_SELECT);
    Pio* out = pio("p_1");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->kind, PIO_OUTPUT);

    // Turning the signal round turns the PIO into an input.
    doubleClick(280, 120);
    TQNBondAttrDialog* signal = ConnectionAttributesEditor();
    ASSERT_NE(signal, nullptr);
    EXPECT_EQ(signal->text(410), "Signal Between:");
    EXPECT_FALSE(signal->isControlEnabled(415)) << "a signal has no causality";
    clickButton(*signal, 422);
    EXPECT_TRUE(signal->isChecked(422));
    EXPECT_TRUE(signal->isEdited());
    clickButton(*signal, ID_ATTR_APPLY);
    EXPECT_EQ(signal->text(ID_ATTR_STATUS), "Bond/Signal attributes OK.");
    EXPECT_EQ(CurrentModel().connections.head()->direction, 2);
    EXPECT_EQ(out->kind, PIO_INPUT);

    // The junction's one argument takes one expression.
    doubleClick(200, 280);
    TQNSubAttrDialog* attributes = SubmodelAttributesEditor();
    ASSERT_NE(attributes, nullptr);
    ASSERT_EQ(attributes->rows().size(), 1u);
    EXPECT_EQ(attributes->rows()[0].name, "n");
    typeInto(*attributes, 608, "1, 2");
    clickButton(*attributes, ID_ATTR_APPLY);
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), "Argument expression error: too many expressions");
    typeInto(*attributes, 608, "3");
    typeInto(*attributes, 603, "1e5");
    clickButton(*attributes, ID_ATTR_APPLY);
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), "Name 1e5 is read as a number or keyword in the model file.");
    typeInto(*attributes, 603, "junction");
    clickButton(*attributes, ID_ATTR_OK);
    Submodel* junction = submodel("junction");
    ASSERT_NE(junction, nullptr);
    ASSERT_EQ(junction->arguments.size(), 1u);
    EXPECT_EQ(ExprText(junction->arguments[0].get(), 0), "3");
}

TEST_F(Interaction, ARefusedTypeChangeLeavesTheSubmodelItsArgumentsAndTheTypeListAsTheyWere)
{
    TQNSubAttrDialog* attributes = placeJunctionAndOpenItsAttributes();
    ASSERT_NE(attributes, nullptr);
    Submodel* junction = selected_submodel();
    ASSERT_NE(junction, nullptr);
    typeInto(*attributes, 608, "3");
    clickButton(*attributes, ID_ATTR_APPLY);
    ASSERT_EQ(attributes->text(ID_ATTR_STATUS), "Submodel attributes OK.");
    // The list shows the value applied in the argument's row.
    EXPECT_EQ(findControl<QListWidget>(*attributes, 606)->item(0)->text().split('\t').value(1).trimmed(), "3");
    SubmodelType* type = junction->type;
    const std::size_t types = CurrentModel().types.size();

    // A type that has no description is refused, and nothing of the submodel changes with it.
    typeInto(*attributes, 601, "zzz");
    clickButton(*attributes, ID_ATTR_APPLY);
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), "Submodel type description not found.");
    testsupport::grabToPng(*attributes, "grapheditor_submodel_type_refused");
    EXPECT_EQ(testsupport::clippedControls(*attributes), std::vector<std::string>{});
    EXPECT_EQ(junction->type, type);
    EXPECT_EQ(CurrentModel().types.size(), types);
    ASSERT_EQ(attributes->rows().size(), 1u);
    EXPECT_EQ(attributes->rows()[0].actual, "3");

    // Back to its own type: the argument is still there, and is saved with it.
    typeInto(*attributes, 601, "0jv");
    clickButton(*attributes, ID_ATTR_APPLY);
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), "Submodel attributes OK.");
    EXPECT_EQ(junction->type, type);
    ASSERT_EQ(junction->arguments.size(), 1u);
    EXPECT_EQ(ExprText(junction->arguments[0].get(), 0), "3");
    EXPECT_EQ(CurrentModel().types.size(), types);
    saveAs("junct1", false);
    const std::string saved = testsupport::readText(models + "/junct1.mgg");
    EXPECT_NE(saved.find(junction->name + "(3)"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("zzz"), std::string::npos) << saved;

    // Another type read but refused for the name: its rows are not taken back to the junction.
    typeInto(*attributes, 601, "c");
    typeInto(*attributes, 603, "1e5");
    clickButton(*attributes, ID_ATTR_APPLY);
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), "Name 1e5 is read as a number or keyword in the model file.");
    typeInto(*attributes, 601, "0jv");
    typeInto(*attributes, 603, "junction");
    clickButton(*attributes, ID_ATTR_APPLY);
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), "Submodel attributes OK.");
    ASSERT_EQ(junction->arguments.size(), 1u);
    EXPECT_EQ(ExprText(junction->arguments[0].get(), 0), "3");

    // A type whose file has gone: the other fields are still applied, the arguments stay.
    std::filesystem::remove(library + "/0jv1.sf0");
    clickButton(*attributes, 609);
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), "Submodel type description not found.");
    typeInto(*attributes, 603, "node");
    clickButton(*attributes, ID_ATTR_OK);
    EXPECT_EQ(junction->name, "node");
    ASSERT_EQ(junction->arguments.size(), 1u);
    EXPECT_EQ(ExprText(junction->arguments[0].get(), 0), "3");
}

TEST_F(Interaction, ReloadShowsWhatKeptTheTypeFromBeingRead)
{
    TQNSubAttrDialog* attributes = placeJunctionAndOpenItsAttributes();
    ASSERT_NE(attributes, nullptr);
    const std::string file = library + "/0jv1.sf0";

    // A description that does not read: the reader's own text, and its box once.
    ASSERT_TRUE(platform::writeFileAtomically(file, "class 0jv(n) version 1\ninterface\n  ports p[n]\n"));
    clickButton(*attributes, 609);
    const std::string parseError = ParserErrorText();
    EXPECT_FALSE(parseError.empty());
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), parseError);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines.front(), "There are errors reading submodel 0jv1.");

    // No description at all.
    std::filesystem::remove(file);
    clickButton(*attributes, 609);
    EXPECT_EQ(attributes->text(ID_ATTR_STATUS), "Submodel type description not found.");
    EXPECT_EQ(sink.transcript().size(), 1u);
}

} // namespace

TEST_F(Interaction, TheCheckThatNamesASummationPointsInputsDrawsTheirSigns)
{
    drawSummationPoint("plus1");
    click(600, 500);
    canvas().grab();

    // The check gives the two signals the inputs p1 and p2; the canvas shows their signs as a
    // redraw does.
    window->runCommand(CM_CHECK_SAVE);
    ASSERT_NO_FATAL_FAILURE(chooseName("adder1"));
    ASSERT_EQ(window->shownStatusText(), "Graphical info and Keldor saved.");
    for (const Connection& c : CurrentModel().connections)
        EXPECT_EQ(c.ends[1].portName.rfind('p', 0), 0u) << c.ends[1].portName;
    const QImage checked = canvas().grab().toImage();
    window->runCommand(CM_REDRAW_ALL);
    EXPECT_TRUE(checked == canvas().grab().toImage()) << "the plus signs appear only after a redraw";
    testsupport::grabToPng(*window, "grapheditor_summation_signs");

    // The lower input's sign, half a radian on from where it enters, would stand on the upper
    // input's arrowhead: each sign's square shows nothing but its own strokes.
    Submodel* sum = submodel("plus_1");
    ASSERT_NE(sum, nullptr);
    const std::vector<SummationSign> signs = summation_signs(*sum);
    ASSERT_EQ(signs.size(), 2u);
    for (const SummationSign& sign : signs) {
        const QPoint centre = device(sign.centre.x, sign.centre.y);
        for (int dy = -3; dy <= 4; ++dy)
            for (int dx = -3; dx <= 4; ++dx) {
                const bool stroke = (dy == 0 && dx < 4) || (dx == 0 && dy < 4);
                const bool white = checked.pixelColor(centre + QPoint(dx, dy)) == QColor(Qt::white);
                EXPECT_EQ(white, !stroke) << sign.centre.x + dx << "," << sign.centre.y + dy;
            }
    }
}

TEST_F(Interaction, TheDrawPopupOpensBesideTheWindowNotOverTheCanvas)
{
    const QRect screen = window->screen()->availableGeometry();
    window->setGeometry(screen.left() + 10, screen.top() + 40, screen.width() / 2, screen.height() / 2);
    command(CM_DRAW_POPUP)->trigger();
    ASSERT_NE(DrawPopup(), nullptr);
    const QRect popup = DrawPopup()->frameGeometry();
    EXPECT_FALSE(popup.intersects(window->frameGeometry()))
        << popup.x() << "," << popup.y() << " over " << window->frameGeometry().x() << "," << window->frameGeometry().y();
    EXPECT_TRUE(screen.contains(popup));

    // Moved by the user, it stays where it was put when it is asked for again.
    DrawPopup()->move(popup.topLeft() + QPoint(0, 20));
    command(CM_DRAW_POPUP)->trigger();
    EXPECT_EQ(DrawPopup()->frameGeometry().topLeft(), popup.topLeft() + QPoint(0, 20));
}

// An untitled model saved by Check & Save, or by the Complete Processing that saves it first,
// asks for its name with none proposed: the directory's first model is a submodel that another
// model uses, and taking it would replace it.
TEST_F(Interaction, SavingAnUntitledModelProposesNoNameOfTheModelsOfItsDirectory)
{
    for (const char* file : {"dcm1.sg0", "mload1.mg0"})
        copyExample(file, models, file);
    const std::string submodelText = testsupport::readText(models + "/dcm1.sg0");
    drawSummationPoint("plus1");

    for (int id : {CM_CHECK_SAVE, CM_COMPLETE_PROCESSING}) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(enabled(id));
        command(id)->trigger();
        ASSERT_TRUE(waitUntil([] { return NameChooserWindow() != nullptr; }, 3000));
        TQNFileDialog& chooser = *NameChooserWindow();
        EXPECT_EQ(chooser.windowTitle().toStdString(), "Check & Save model");
        EXPECT_EQ(chooser.itemText(ID_CHOOSER_LIST, 0), "dcm1");
        EXPECT_EQ(chooser.selectedIndex(ID_CHOOSER_LIST), -1);
        EXPECT_EQ(chooser.text(ID_CHOOSER_NAME), "");
        // OK without a name says so and saves nothing.
        clickButton(chooser, ID_CHOOSER_OK);
        EXPECT_EQ(sink.transcriptLines(), std::vector<std::string>{"No name chosen."});
        sink.clear();
        clickButton(chooser, ID_CHOOSER_CANCEL);
        ASSERT_TRUE(waitUntil([] { return NameChooserWindow() == nullptr; }, 3000));
        EXPECT_EQ(Editor().modelName, "");
    }
    EXPECT_EQ(testsupport::readText(models + "/dcm1.sg0"), submodelText);
    EXPECT_FALSE(platform::fileExists(models + "/dcm1.mg0"));

    command(CM_CHECK_SAVE)->trigger();
    ASSERT_NO_FATAL_FAILURE(chooseName("adder1"));
    EXPECT_EQ(window->shownStatusText(), "Graphical info and Keldor saved.");
    EXPECT_TRUE(platform::fileExists(models + "/adder1.mg0"));
    EXPECT_TRUE(sink.transcript().empty()) << testing::PrintToString(sink.transcriptLines());
}

// A summation point with two signals into it cannot tell which is added and which subtracted:
// it is crossed out, and what is said of it says what to do, in the status line when it is
// selected and in the connection editor, where the signals are then given their inputs.
TEST_F(Interaction, ASummationPointWhoseInputsAreNotAssignedSaysToAssignThemInConnections)
{
    drawSummationPoint("minus1");
    Submodel* sum = submodel("minus_1");
    ASSERT_NE(sum, nullptr);

    sink.queueAnswers({platform::BoxAnswer::Cancel});
    command(CM_CHECK_SAVE)->trigger();
    EXPECT_EQ(sum->errorMark, 1);
    const std::string fault = "Error: (part of) selected PIO not used; assign the signals to p and m in Connections";
    click(sum->x, sum->y);
    EXPECT_EQ(window->shownStatusText(), "minus_1: " + fault);
    testsupport::grabToPng(*window, "grapheditor_summation_fault");
    for (const QLabel* line : window->findChildren<QLabel*>()) {
        if (line->text().toStdString() == window->shownStatusText()) {
            EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->width())
                << "the status line shows it all";
        }
    }

    command(CM_CONNECTIONS)->trigger();
    TQNConEditorDialog* editor = ConnectionEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(ID_CE_MESSAGE), fault);
    testsupport::grabToPng(*editor, "grapheditor_connection_editor_advice");
    EXPECT_EQ(testsupport::clippedControls(*editor), std::vector<std::string>{})
        << "grapheditor_connection_editor_advice";
    // Both rows read minus_1`*: the signals are told apart by their place in the list.
    auto* rows = findControl<QListWidget>(*editor, ID_CE_ROWS);
    ASSERT_EQ(rows->count(), 2);
    for (int row = 0; row < 2; ++row) {
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, rows->visualItemRect(rows->item(row)).center());
        clickItem(*editor, ID_CE_INPUTS, row == 0 ? "p" : "m");
    }
    clickButton(*editor, ID_CE_OK);
    EXPECT_EQ(sum->errorMark, 0);
    command(CM_CHECK_SAVE)->trigger();
    ASSERT_NO_FATAL_FAILURE(chooseName("diff1"));
    EXPECT_EQ(window->shownStatusText(), "Graphical info and Keldor saved.");
}
