// The element library as a user meets it in the graph editor's main window: every type the draw
// popup lists is placed on the canvas with its symbol and its interface read from its file, and a
// controller driving a modulated source through a two-port onto a load is drawn by canvas clicks,
// connected by the model check, saved, processed by the real model processor and evaluated.
#include "grapheditor/program/tests/canvas_fixture.h"

#include "grapheditor/connection_drawing.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/submodel_library.h"
#include "grapheditor/submodel_types.h"
#include "grapheditor/symbol_tables.h"
#include "simulator/interpreter.h"
#include "simulator/model_variables.h"
#include "simulator/tests/model_test_support.h"
#include "simulator/tests/processed_examples.h"

#include <gtest/gtest.h>

#include <QListWidget>

#include <string>
#include <vector>

using modeltest::indexOf;

namespace {

class DrawnLibrary : public editortest::CanvasWindow {
protected:
    /// The texts of the popup's library list for the directory "library".
    std::vector<std::string> libraryEntries()
    {
        clickItem(*DrawPopup(), ID_DRAW_DIRECTORIES, "library");
        std::vector<std::string> texts;
        for (int i = 0; i < DrawPopup()->itemCount(ID_DRAW_LIBRARY); ++i)
            if (!DrawPopup()->itemText(ID_DRAW_LIBRARY, i).empty())
                texts.push_back(DrawPopup()->itemText(ID_DRAW_LIBRARY, i));
        return texts;
    }

    /// The submodel whose anchor is the point; null when none is.
    static Submodel* placedAt(int x, int y)
    {
        for (Submodel& s : CurrentModel().submodels)
            if (s.x == x && s.y == y)
                return &s;
        return nullptr;
    }
};

} // namespace

// Each entry is placed from the popup: the submodel takes the entry's type, the editor reads the
// type's interface from the library file (its ports, inputs and outputs as the file declares
// them) and draws it with the element's symbol, as a bond-graph element when it has a power port.
TEST_F(DrawnLibrary, EveryListedTypeIsPlacedWithItsSymbolAndTheInterfaceItsFileDeclares)
{
    openPopup();
    const std::vector<std::string> entries = libraryEntries();
    ASSERT_GE(entries.size(), 100u);
    constexpr int columns = 6, rows = 4;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& entry = entries[i];
        SCOPED_TRACE(entry);
        const int slot = int(i % (columns * rows));
        if (slot == 0 && i > 0) {
            testsupport::grabToPng(*window, "grapheditor_library_page" + std::to_string(i / (columns * rows)));
            sink.queueAnswers({platform::BoxAnswer::Ok});
            NewGraphCommand();
            ASSERT_TRUE(CurrentModel().submodels.empty());
            sink.clear();
        }
        const int x = 80 + 120 * (slot % columns), y = 80 + 80 * (slot / columns);
        pick("library", QString::fromStdString(entry));
        click(x, y);
        Submodel* placed = placedAt(x, y);
        ASSERT_NE(placed, nullptr);
        ASSERT_NE(placed->type, nullptr);
        EXPECT_EQ(type_name_text(placed->type->name, placed->type->version), entry);
        ASSERT_NE(placed->type->interface, nullptr) << testing::PrintToString(sink.transcriptLines());
        EXPECT_TRUE(sink.transcript().empty()) << testing::PrintToString(sink.transcriptLines());

        // The interface as the file declares it, in its words.
        const std::string text = testsupport::readText(library + "/" + entry + ".sf0");
        int ports = 0, others = 0;
        for (const Pio& pio : placed->type->interface->pios) {
            (pio.kind == PIO_PORT ? ports : others) += 1;
            const char* section = pio.kind == PIO_PORT ? "ports:" : pio.kind == PIO_INPUT ? "inputs:" : "outputs:";
            const std::size_t line = text.find(section);
            ASSERT_NE(line, std::string::npos) << pio.name;
            std::string declared = text.substr(line, text.find('\n', line) - line) + ",";
            for (std::size_t bracket = declared.find('['); bracket != std::string::npos; bracket = declared.find('['))
                declared.erase(bracket, declared.find(']') - bracket + 1);
            EXPECT_NE(declared.find(" " + pio.name + ","), std::string::npos) << pio.name << " in " << declared;
        }
        EXPECT_GT(ports + others, 0);
        EXPECT_EQ(type_has_only_signals(*placed), ports == 0 ? 1 : 0);

        const int index = builtin_index(placed->type->name);
        if (entry != "0jv1") {
            ASSERT_GE(index, 0);
            EXPECT_NE(element_symbol(index).colour, nullptr);
        }
        EXPECT_GT(placed->width, 0);
        EXPECT_GT(placed->height, 0);
    }
    testsupport::grabToPng(*window, "grapheditor_library_page_last");
}

// A step into a proportional controller, whose output sets the effort of a modulated source on
// the first port of a symplectic gyrator, whose second port drives a resistor: the model check
// gives every signal and bond its port (the two-port's by the bonds' directions), and the
// processed model has the gyrator's law: the load's flow is the source's effort kp amp, and its
// effort r kp amp comes back as the source's flow.
TEST_F(DrawnLibrary, AControllerDrivingAModulatedSourceIsConnectedByTheCheckAndProcessed)
{
    openPopup();
    const struct {
        const char* entry;
        int x, y;
    } placed[] = {{"stepgen1", 80, 80}, {"p1", 200, 80}, {"mse1", 320, 80}, {"sgy1", 320, 200}, {"r1", 320, 320}};
    for (const auto& p : placed) {
        pick("library", p.entry);
        click(p.x, p.y);
    }
    tool(TOOL_SIGNAL);
    click(80, 80);
    click(200, 80);
    click(200, 80);
    click(320, 80);
    tool(TOOL_BOND);
    click(320, 80);
    click(320, 200);
    click(320, 200);
    click(320, 320);
    ASSERT_EQ(CurrentModel().connections.size(), 4u);
    tool(TOOL_SELECT);

    window->runCommand(CM_SAVE);
    ASSERT_NO_FATAL_FAILURE(chooseName("ctl1"));
    ASSERT_EQ(window->shownStatusText(), "Graphical info and Keldor saved.")
        << testing::PrintToString(sink.transcriptLines());
    const std::string saved = testsupport::readText(models + "/ctl1.mg0");
    for (const char* connection : {"stepgen_1`y\t-: \tp_1`u", "p_1`y\t-: \tmse_1`e", "mse_1`p\t-> \tsgy_1`p1",
                                   "sgy_1`p2\t-> \tr_1`p"})
        EXPECT_NE(saved.find(connection), std::string::npos) << connection << " in\n" << saved;
    testsupport::grabToPng(*window, "grapheditor_drawn_controller");

    window->runCommand(CM_COMPLETE_PROCESSING);
    ASSERT_TRUE(processed("Model processing completed succesfully."))
        << window->shownStatusText() << " " << testing::PrintToString(sink.transcriptLines());
    modeltest::loadClean(testsupport::readText(models + "/ctl1.l"));
    const auto set = [](const std::string& name, double value) {
        const int i = indexOf(KindParameter, name);
        ASSERT_GE(i, 0) << name;
        Variables().kinds[KindParameter].values[std::size_t(i)] = value;
    };
    set("stepgen_1`amp", 2);
    set("stepgen_1`tstart", 0);
    set("p_1`kp", 3);
    set("r_1`r", 5);
    ModelEvaluators.initialization();
    ModelEvaluators.excitation();
    EvaluateModel(1.0);
    ModelEvaluators.output();
    const auto value = [](const std::string& name) {
        const int i = indexOf(KindVariable, name);
        return i < 0 ? -1e300 : Variables().kinds[KindVariable].values[std::size_t(i)];
    };
    EXPECT_DOUBLE_EQ(value("r_1`p.f"), 6);
    EXPECT_DOUBLE_EQ(value("r_1`p.e"), 30);
    EXPECT_DOUBLE_EQ(value("mse_1`p.f"), 30);
}
