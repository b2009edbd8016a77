// Junctions of any number of bonds as a user draws them in the graph editor's main window:
// elements placed and bonded to one junction by canvas clicks, named in their attributes
// editors, saved and processed by the real model processor, and the processed model's rates
// compared with the textbook's; a bond reversed, a bond deleted, and junction arguments that
// a file brings stale or not at all.
#include "grapheditor/program/attribute_editors.h"
#include "grapheditor/program/connection_editor.h"
#include "grapheditor/program/submodel_attributes.h"
#include "grapheditor/program/tests/canvas_fixture.h"

#include "common/name_chooser_dialog.h"
#include "grapheditor/connection_drawing.h"
#include "simulator/interpreter.h"
#include "simulator/model_variables.h"
#include "simulator/tests/model_test_support.h"
#include "simulator/tests/processed_examples.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using modeltest::indexOf;
using testsupport::findControl;

namespace {

using Values = std::map<std::string, double>;

class DrawnJunctions : public editortest::CanvasWindow {
protected:
    struct Placed {
        const char* entry;
        int x, y;
        const char* name;
    };

    /// Places the elements from the popup's library, draws each bond with the bond tool from its
    /// first point to its second, and names every element in its attributes editor.
    void draw(const std::vector<Placed>& placed, const std::vector<std::array<int, 4>>& bonds)
    {
        openPopup();
        for (const Placed& p : placed) {
            pick("library", p.entry);
            click(p.x, p.y);
        }
        tool(TOOL_BOND);
        for (const auto& b : bonds) {
            click(b[0], b[1]);
            click(b[2], b[3]);
        }
        ASSERT_EQ(CurrentModel().connections.size(), bonds.size());
        tool(TOOL_SELECT);
        for (const Placed& p : placed) {
            doubleClick(p.x, p.y);
            TQNSubAttrDialog* editor = SubmodelAttributesEditor();
            ASSERT_NE(editor, nullptr) << p.name;
            typeInto(*editor, 603, p.name);
            QTest::keyClick(findControl<QLineEdit>(*editor, 603), Qt::Key_Return);
            ASSERT_NE(submodel(p.name), nullptr) << p.name << ": " << editor->text(ID_ATTR_STATUS);
        }
    }

    /// Save: the chooser takes the name of an untitled model; the check must let it through.
    void save(const std::string& name)
    {
        const bool untitled = Editor().modelName.empty();
        window->runCommand(CM_SAVE);
        if (untitled) {
            ASSERT_NO_FATAL_FAILURE(chooseName(name));
        }
        ASSERT_EQ(window->shownStatusText(), "Graphical info and Keldor saved.")
            << testing::PrintToString(sink.transcriptLines());
    }

    /// Complete processing by the real model processor; the code file's text.
    std::string process(const std::string& name)
    {
        window->runCommand(CM_COMPLETE_PROCESSING);
        EXPECT_TRUE(processed("Model processing completed succesfully."))
            << window->shownStatusText() << " " << testing::PrintToString(sink.transcriptLines());
        return testsupport::readText(models + "/" + name + ".l");
    }

    /// Selects what lies under the point and deletes it with the Delete key.
    void deleteAt(int x, int y)
    {
        click(x, y);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Delete);
    }

    /// The line of the saved model file that holds the text; empty when none does.
    std::string savedLine(const std::string& file, const std::string& text) const
    {
        const std::string saved = testsupport::readText(models + "/" + file);
        const std::size_t at = saved.find(text);
        if (at == std::string::npos)
            return {};
        const std::size_t begin = saved.rfind('\n', at) + 1;
        return saved.substr(begin, saved.find('\n', at) - begin);
    }
};

/// Loads the code file, evaluates it with the parameters and states given by name, and
/// returns the rate of each state given, by the state's name.
Values ratesOf(const std::string& code, const Values& parameters, const Values& states)
{
    modeltest::loadClean(code);
    const auto set = [](int kind, const Values& values) {
        for (const auto& [name, v] : values) {
            const int i = indexOf(kind, name);
            if (i < 0)
                ADD_FAILURE() << "no variable " << name;
            else
                Variables().kinds[kind].values[std::size_t(i)] = v;
        }
    };
    set(KindParameter, parameters);
    ModelEvaluators.initialization();
    EXPECT_EQ(Variables().kinds[KindState].count, int(states.size()));
    set(KindState, states);
    EvaluateModel(0.0);
    Values rates;
    // The rate of a state sits at the state's own position.
    for (const auto& [name, v] : states)
        if (const int i = indexOf(KindState, name); i >= 0)
            rates[name] = Variables().kinds[KindRate].values[std::size_t(i)];
    return rates;
}

void expectRates(const Values& got, const Values& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (const auto& [name, rate] : want)
        EXPECT_NEAR(got.at(name), rate, 1e-12 * std::max(1.0, std::fabs(rate))) << "d " << name << "/dt";
}

// The mass-spring-damper of the textbook: force, mass, spring and damper on one 1-junction,
// p the mass's momentum and q the spring's deflection:
//   dp/dt = F - q/C - R p/m,  dq/dt = p/m.
// The force's bond turned round turns its sign; the mass's bond deleted leaves the junction its
// other three bonds on its first three elements, and the spring and damper:
//   dq/dt = (-F - q/C) / R.
TEST_F(DrawnJunctions, ForceMassSpringAndDamperOnOneJunctionMoveAsTheTextbookSays)
{
    draw({{"se1", 40, 120, "f"}, {"1j1", 160, 120, "v"}, {"i1", 160, 40, "m"}, {"c1", 280, 120, "k"},
          {"r1", 160, 200, "d"}},
         {{40, 120, 160, 120}, {160, 120, 160, 40}, {160, 120, 280, 120}, {160, 120, 160, 200}});
    save("msd1");
    testsupport::grabToPng(*window, "grapheditor_drawn_msd");
    EXPECT_EQ(savedLine("msd1.mg0", "1j;1"), "\t1j;1\tv(4) 160 120 !T");
    EXPECT_EQ(savedLine("msd1.mg0", "m`p"), "\tv`p[2]\t-> \tm`p\t!gri_bond 160 120 160 40");

    // The connection editor tells the junction's port array has no fixed size.
    click(160, 120);
    window->runCommand(CM_CONNECTIONS);
    TQNConEditorDialog* connections = ConnectionEditor();
    ASSERT_NE(connections, nullptr);
    EXPECT_EQ(connections->text(ID_CE_PORT_SIZE), "unlimited");
    testsupport::grabToPng(*connections, "grapheditor_junction_connections");
    clickButton(*connections, ID_CE_CANCEL);

    const double F = 1.5, m = 2.0, C = 0.25, R = 0.4, p = 0.3, q = -0.2;
    const Values parameters{{"f`e", F}, {"m`i", m}, {"k`c", C}, {"d`r", R}};
    expectRates(ratesOf(process("msd1"), parameters, {{"m`p.e_indep_state", p}, {"k`p.f_indep_state", q}}),
                {{"m`p.e_indep_state", F - q / C - R * p / m}, {"k`p.f_indep_state", p / m}});

    // The force's bond turned round in its attributes editor.
    doubleClick(100, 120);
    TQNBondAttrDialog* bond = ConnectionAttributesEditor();
    ASSERT_NE(bond, nullptr);
    clickButton(*bond, 422);
    clickButton(*bond, ID_ATTR_OK);
    save("msd1");
    EXPECT_EQ(savedLine("msd1.mg0", "f`p"), "\tf`p\t<- \tv`p[1]\t!gri_bond 40 120 160 120");
    expectRates(ratesOf(process("msd1"), parameters, {{"m`p.e_indep_state", p}, {"k`p.f_indep_state", q}}),
                {{"m`p.e_indep_state", -F - q / C - R * p / m}, {"k`p.f_indep_state", p / m}});

    // The mass's bond deleted, then the mass.
    deleteAt(160, 80);
    ASSERT_EQ(CurrentModel().connections.size(), 3u);
    deleteAt(160, 40);
    ASSERT_EQ(submodel("m"), nullptr);
    save("msd1");
    EXPECT_EQ(savedLine("msd1.mg0", "1j;1"), "\t1j;1\tv(3) 160 120 !T");
    EXPECT_EQ(savedLine("msd1.mg0", "k`p"), "\tv`p[2]\t-> \tk`p\t!gri_bond 160 120 280 120");
    EXPECT_EQ(savedLine("msd1.mg0", "d`p"), "\tv`p[3]\t-> \td`p\t!gri_bond 160 120 160 200");
    expectRates(ratesOf(process("msd1"), {{"f`e", F}, {"k`c", C}, {"d`r", R}}, {{"k`p.f_indep_state", q}}),
                {{"k`p.f_indep_state", (-F - q / C) / R}});
    testsupport::grabToPng(*window, "grapheditor_drawn_junction");
}

// The parallel circuit of the textbook: a current source I, a resistor, an inductor and a
// capacitor on one 0-junction, lambda the inductor's flux and q the capacitor's charge:
//   dlambda/dt = q/C,  dq/dt = I - q/(R C) - lambda/L.
TEST_F(DrawnJunctions, CurrentSourceResistorInductorAndCapacitorOnOneJunctionMoveAsTheTextbookSays)
{
    draw({{"sf1", 40, 120, "src"}, {"0j1", 160, 120, "node"}, {"r1", 160, 40, "res"}, {"i1", 280, 120, "ind"},
          {"c1", 160, 200, "cap"}},
         {{40, 120, 160, 120}, {160, 120, 160, 40}, {160, 120, 280, 120}, {160, 120, 160, 200}});
    save("rlc1");
    EXPECT_EQ(savedLine("rlc1.mg0", "0j;1"), "\t0j;1\tnode(4) 160 120 !T");
    const double I = 0.7, R = 1.5, L = 0.5, C = 2.0, lambda = -0.4, q = 0.9;
    expectRates(ratesOf(process("rlc1"), {{"src`f", I}, {"res`r", R}, {"ind`i", L}, {"cap`c", C}},
                        {{"ind`p.e_indep_state", lambda}, {"cap`p.f_indep_state", q}}),
                {{"ind`p.e_indep_state", q / C}, {"cap`p.f_indep_state", I - q / (R * C) - lambda / L}});
}

// A file whose junction has a stale argument, or none, is saved with the count of its bonds,
// and processes; also when it is saved as graphical info only, with an error elsewhere.
TEST_F(DrawnJunctions, AJunctionIsSavedWithTheCountOfItsBondsAsItsArgument)
{
    const std::string bonds = "connections\n  f`p -> v`p[1] !gri_bond 40 120 160 120\n"
                              "  v`p[2] -> k`p !gri_bond 160 120 280 120\n"
                              "  v`p[3] -> d`p !gri_bond 160 120 160 200\n";
    const std::string elements = "  se;1 f 40 120 !T\n  c;1 k 280 120 !T\n  r;1 d 160 200 !T\n";
    struct Case {
        const char* what;
        const char* junction;
        const char* spare;     ///< a submodel left without bonds: an error elsewhere
        const char* saved;     ///< the file saved
        bool processes;
    } cases[] = {
        {"a bond taken from its end", "  1j;1 v(4) 160 120 !T\n", "", "sj1.mg0", true},
        {"no argument", "  1j;1 v 160 120 !T\n", "", "sj1.mg0", true},
        {"graphical info only", "  1j;1 v 160 120 !T\n", "  i;1 spare 400 400 !T\n", "sj1.mgg", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* file : {"/sj1.mg0", "/sj1.mgg"})
            std::filesystem::remove(models + file);
        ASSERT_TRUE(platform::writeFileAtomically(models + "/sj1.mgg", "bond graph sj version 1\nsubclasses\n" +
                                                                          elements + c.junction + c.spare + bonds));
        post(UM_OPEN_MODEL, 0, std::string("sj1"));
        ASSERT_EQ(Editor().modelName, "sj1");
        if (*c.spare) {
            // A move makes the model edited: Save asks whether to save the graphical info anyway.
            drag(400, 400, 400, 440);
            sink.queueAnswers({platform::BoxAnswer::Ok});
            window->runCommand(CM_SAVE);
            EXPECT_EQ(window->shownStatusText(), "Only graphical info saved.");
        } else {
            save("sj1");
        }
        EXPECT_EQ(savedLine(c.saved, "1j;1"), "\t1j;1\tv(3) 160 120 !T");
        if (c.processes) {
            const double F = 1.5, C = 0.25, R = 0.4, q = -0.2;
            expectRates(ratesOf(process("sj1"), {{"f`e", F}, {"k`c", C}, {"d`r", R}}, {{"k`p.f_indep_state", q}}),
                        {{"k`p.f_indep_state", (F - q / C) / R}});
        }
    }
}

} // namespace
