// The tutorial's steps 7 to 9 in the simulator's window.
#include "docs/tests/tutorial_simulator.h"

#include "common/name_chooser_dialog.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/testing/qt_support.h"
#include "simulator/dynamic_vars_dialog.h"
#include "simulator/model_variables.h"
#include "simulator/numeric_values_dialog.h"
#include "simulator/output_specs_dialog.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_specs.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/program/simulator_window.h"
#include "simulator/program/tests/dialog_actions.h"
#include "simulator/program/tests/experiment_run.h"
#include "simulator/run_specs.h"
#include "simulator/run_specs_dialog.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"
#include "simulator/value_editor_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <map>
#include <regex>

namespace tutorialtest {

namespace {

using simtest::click;
using simtest::selectLine;

bool runEnded()
{
    return simtest::serveEventsUntil([] { return !StartRequested && !Simulating; }, 30000);
}

/// Keys typed into an edit, as the user types them where the caret is.
void keys(platform::Dialog& dialog, int id, const std::string& text)
{
    QTest::keyClicks(testsupport::findControl<QLineEdit>(dialog, id), QString::fromStdString(text));
    QApplication::processEvents();
}

void enter(platform::Dialog& dialog, int id)
{
    QTest::keyClick(testsupport::findControl<QLineEdit>(dialog, id), Qt::Key_Return);
    QApplication::processEvents();
}

/// The name of a list line: its text up to its first tab.
std::string lineName(const platform::Dialog& dialog, int list, int line)
{
    const std::string text = dialog.itemText(list, line);
    return text.substr(0, text.find('\t'));
}

bool contains(const std::vector<std::string>& words, const std::string& word)
{
    return std::find(words.begin(), words.end(), word) != words.end();
}

/// The parameters the page gives: "<code>name</code>, what it is, value".
std::vector<std::pair<std::string, std::string>> pageParameters(const TutorialPage& page)
{
    const std::string html = page.section("experiment").html;
    const std::string item = html.substr(0, html.find("</li>"));
    std::vector<std::pair<std::string, std::string>> values;
    const std::regex pattern("<code>([^<]+)</code>,\\s+[^<;]*?,\\s+([-0-9.e]+)[;.]");
    for (auto it = std::sregex_iterator(item.begin(), item.end(), pattern); it != std::sregex_iterator(); ++it)
        values.emplace_back(PlainText((*it)[1].str()), (*it)[2].str());
    return values;
}

double value(int kind, const std::string& name)
{
    for (int i = 0; i < Variables().kinds[kind].count; ++i)
        if (FindNameInEntry(kind, i, name.c_str()) >= 0)
            return Variables().kinds[kind].values[i];
    ADD_FAILURE() << "no variable " << name;
    return NAN;
}

/// Experiment > Parameters: each value typed and applied, the last one slipped once.
void enterParameters(Reader& reader, TQNSIMWindow& window, platform::ScriptedMessageSink& boxes)
{
    using namespace valueeditor;
    const auto given = pageParameters(reader.page());
    ASSERT_EQ(given.size(), 4u) << "the page gives the four parameters";
    ASSERT_TRUE(reader.choose(window, "Experiment > Parameters"));
    TQNParEditorDialog* editor = ParametersEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->itemCount(List), 4);
    EXPECT_EQ(editor->selectedIndex(List), 0) << "the first line is chosen";
    // The button the page presses after each value but the last.
    const std::string pressed = reader.page().menuAfter("experiment", "type its value");
    const std::map<std::string, int> buttons = {{"Apply", Apply}, {"OK", Ok}, {"Cancel", Cancel}};
    ASSERT_TRUE(buttons.count(pressed)) << pressed;
    for (int i = 0; i < 4; ++i) {
        const auto& [name, typed] = given[std::size_t(i)];
        ASSERT_EQ(ParametersEditor(), editor) << "the editor is there for " << name;
        EXPECT_EQ(lineName(*editor, List, i), name);
        EXPECT_EQ(editor->selectedIndex(List), i) << "the line of " << name << " is chosen";
        if (i < 3) {
            keys(*editor, Value, typed);
            click(*editor, buttons.at(pressed));
            EXPECT_EQ(value(KindParameter, name), std::stod(typed)) << name << " is taken";
            continue;
        }
        // A comma for the decimal point: refused, the line stays chosen with the text to type over.
        keys(*editor, Value, "0,5");
        const std::size_t before = boxes.transcript().size();
        click(*editor, Ok);
        ASSERT_EQ(ParametersEditor(), editor) << "a refused value keeps the editor";
        ASSERT_EQ(boxes.transcript().size(), before + 1);
        EXPECT_EQ(boxes.transcript().back().lines,
                  (std::vector<std::string>{"Error in entered value at:", ",5", "Try again..."}));
        EXPECT_EQ(editor->selectedIndex(List), i);
        EXPECT_EQ(value(KindParameter, given[2].first), std::stod(given[2].second)) << "the others stay taken";
        keys(*editor, Value, typed);
        enter(*editor, Value);
        EXPECT_EQ(ParametersEditor(), nullptr) << "Enter presses OK: the value is taken and the editor closes";
    }
    for (const auto& [name, typed] : given)
        EXPECT_EQ(value(KindParameter, name), std::stod(typed)) << name;
}

/// Experiment > Initial Conditions: the states the page names, both 0.
void enterInitialConditions(Reader& reader, TQNSIMWindow& window)
{
    using namespace valueeditor;
    ASSERT_TRUE(reader.choose(window, "Experiment > Initial Conditions"));
    TQNInitialCondDialog* editor = InitialConditionsEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->itemCount(List), 2);
    const std::vector<std::string> codes = reader.page().codes("experiment");
    // What the page says each one is: the junction's second bond goes to the mass, the third to the spring.
    const std::pair<const char*, const char*> states[] = {{"v`p[2].e_indep_state", "m`p.e_indep_state"},
                                                          {"v`p[3].f_indep_state", "k`p.f_indep_state"}};
    for (int i = 0; i < 2; ++i) {
        const std::string shown = lineName(*editor, List, i);
        reader.saw(shown);
        EXPECT_TRUE(contains(codes, shown)) << "the page names the initial condition " << shown;
        EXPECT_EQ(shown, states[i].first);
        EXPECT_TRUE(contains(codes, states[i].second));
        EXPECT_GE(FindNameInEntry(KindState, i, states[i].second), 0)
            << shown << " is the state " << states[i].second;
    }
    keys(*editor, Value, "0");
    click(*editor, Apply);
    EXPECT_EQ(editor->selectedIndex(List), 1);
    keys(*editor, Value, "0");
    click(*editor, Ok);
    EXPECT_EQ(InitialConditionsEditor(), nullptr);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Variables().kinds[KindInitial].hasValue[std::size_t(i)], 1);
        EXPECT_EQ(Variables().kinds[KindInitial].values[i], 0.0);
    }
}

/// Experiment > Run Specifications: the step typed, the output interval's box ticked and its value typed.
void enterRunSpecifications(Reader& reader, TQNSIMWindow& window)
{
    using namespace runspecs;
    ASSERT_TRUE(reader.choose(window, "Experiment > Run Specifications"));
    TQNRunSpecsDialog* dialog = RunSpecsDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->text(Finish), "5");
    EXPECT_EQ(dialog->itemText(Method, dialog->selectedIndex(Method)), "Runge-Kutta-4");
    simtest::type(*dialog, FirstField + RowStep, "0.001");
    EXPECT_FALSE(dialog->isControlEnabled(FirstField + RowComInterval));
    click(*dialog, FlagBoxes[RowComInterval - RowInitialStep]);
    EXPECT_EQ(dialog->text(FirstField + RowStep), "0.001") << "the tick keeps the step typed";
    ASSERT_TRUE(dialog->isControlEnabled(FirstField + RowComInterval));
    simtest::type(*dialog, FirstField + RowComInterval, "0.01");
    click(*dialog, Ok);
    EXPECT_EQ(RunSpecsDialog(), nullptr);
    const RunSpecification& live = RunSpecs();
    EXPECT_EQ(live.method, MethodRungeKutta4);
    EXPECT_EQ(live.finishTime, 5.0);
    EXPECT_EQ(live.row(RowStep).value, 0.001);
    EXPECT_EQ(live.row(RowComInterval).switchOn, 1);
    EXPECT_EQ(live.row(RowComInterval).value, 0.01);
}

/// Experiment > Plot Specifications: three curves by name, each shown, stored and scaled Auto.
void enterPlotSpecifications(Reader& reader, TQNSIMWindow& window)
{
    using namespace outputspecs;
    ASSERT_TRUE(reader.choose(window, "Experiment > Plot Specifications"));
    TQNOutputSpecsDialog* editor = OutputSpecsEditorWindow();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isChecked(XTime)) << "the X axis is the time";
    EXPECT_EQ(editor->selectedIndex(List), 0);
    click(*editor, ChooseYName);
    TQNDynamicVarsDialog* names = DynamicVarsChooserWindow();
    ASSERT_NE(names, nullptr);
    // The kinds as the page tells them: the radio buttons' order is the kinds' order.
    const std::pair<const char*, int> curves[] = {{"k`p.f_indep_state", 1}, {"m`p.f", 0}, {"k`p.e", 0}};
    const std::vector<std::string> codes = reader.page().codes("experiment");
    for (int c = 0; c < 3; ++c) {
        const auto& [name, kind] = curves[c];
        EXPECT_TRUE(contains(codes, name));
        click(*names, dynvars::FirstRadio + kind);
        const int line = names->findItem(dynvars::Lists[std::size_t(kind)], name);
        ASSERT_GE(line, 0) << name;
        selectLine(*names, dynvars::Lists[std::size_t(kind)], line);
        click(*names, dynvars::Apply);
        EXPECT_EQ(editor->selectedIndex(List), c + 1) << "the next line is chosen";
    }
    click(*names, dynvars::Close);
    for (int c = 0; c < 3; ++c) {
        selectLine(*editor, List, c);
        EXPECT_TRUE(editor->isChecked(outputspecs::Display)) << "Display Plot is ticked already";
        click(*editor, Store);
        click(*editor, YAuto);
    }
    click(*editor, Ok);
    EXPECT_EQ(OutputSpecsEditorWindow(), nullptr);
    for (int c = 0; c < 3; ++c) {
        const PlotCurve& curve = PlotSpecs().curves[c];
        EXPECT_EQ(GetVariableName(curve.kind, curve.variable, curve.nameIndex), std::string(curves[c].first));
        EXPECT_EQ(curve.display, 1);
        EXPECT_EQ(curve.store, 1);
        EXPECT_EQ(curve.scaling, 2) << "Auto";
    }
}

/// The rows of the result file of the run, with the page's values: the force f, mass m,
/// compliance c and resistance r.
void expectTheRunOfThePage(const std::string& resultFile, const std::map<std::string, double>& p)
{
    const std::optional<simrun::ResultFile> data = simrun::readResultFile(resultFile);
    ASSERT_TRUE(data) << resultFile;
    EXPECT_EQ(data->names, (std::vector<std::string>{"k`p.f_indep_state", "m`p.f", "k`p.e"}));
    ASSERT_EQ(data->rows.size(), 501u) << "a row every 0.01 s from 0 to 5";
    const double F = p.at("f`e"), m = p.at("m`i"), c = p.at("k`c"), r = p.at("d`r");
    // m x'' + r x' + x / c = F from rest: x = c F (1 - e^(-at) (cos wt + a/w sin wt)).
    const double a = r / (2 * m), w = std::sqrt(1 / (m * c) - a * a), rest = c * F;
    double worst = 0;
    int crossings = 0;
    for (std::size_t i = 0; i < data->rows.size(); ++i) {
        const std::vector<double>& row = data->rows[i];
        const double t = row[0], decay = std::exp(-a * t);
        const double x = rest * (1 - decay * (std::cos(w * t) + a / w * std::sin(w * t)));
        worst = std::max(worst, std::fabs(row[1] - x) / rest);
        EXPECT_NEAR(row[3], row[1] / c, 1e-9) << "the spring's force at " << t;
        if (i > 0)
            crossings += (data->rows[i - 1][1] - rest) * (row[1] - rest) < 0;
    }
    EXPECT_LT(worst, 1e-6) << "the run follows the mass-spring-damper's solution";
    EXPECT_GE(crossings, 8) << "the mass swings about the position where the spring holds the force";
    const auto swing = [&](double from, double to) {
        double most = 0;
        for (const std::vector<double>& row : data->rows)
            if (row[0] >= from && row[0] <= to)
                most = std::max(most, std::fabs(row[1] - rest));
        return most;
    };
    EXPECT_LT(swing(4, 5), swing(0, 1) / 2) << "and the damper brings it to rest";
}

/// Experiment > C-Code Generation: a stand-alone program printing after the run, then the
/// page's shell lines build and run it.
void generateCode(Reader& reader, TQNSIMWindow& window, platform::ScriptedMessageSink& boxes,
                  const std::string& folder)
{
    const std::string out = folder + "/program";
    ASSERT_TRUE(platform::makeDirectories(out));
    std::map<int, std::string> shown;
    testsupport::answerNextModal([&](QWidget& modal) {
        for (int id : {1005, 1007}) // the model and the experiment
            shown[id] = testsupport::findControl<QLineEdit>(modal, id)->text().toStdString();
        for (int id : {1008, 1018, 1012}) // Stand-alone ANSI-C, After the run, Generate Code
            shown[id] = MenuEntryName(testsupport::findControl<QAbstractButton>(modal, id)->text().toStdString());
        testsupport::findControl<QAbstractButton>(modal, 1008)->click();
        testsupport::findControl<QAbstractButton>(modal, 1018)->click();
        testsupport::findControl<QLineEdit>(modal, 1011)->setText(QString::fromStdString(out));
        testsupport::findControl<QAbstractButton>(modal, 1012)->click();
        static_cast<QDialog&>(modal).reject();
    }, 30000);
    const std::size_t before = boxes.transcript().size();
    ASSERT_TRUE(reader.choose(window, "Experiment > C-Code Generation"));
    EXPECT_EQ(shown[1005], "msd1");
    EXPECT_EQ(shown[1007], "default");
    const std::string html = reader.page().section("ccode").html;
    for (int id : {1008, 1018, 1012})
        EXPECT_NE(html.find("<span class=\"menu\">" + shown[id] + "</span>"), std::string::npos)
            << "the page names the control " << shown[id];
    ASSERT_EQ(boxes.transcript().size(), before + 1) << testing::PrintToString(boxes.transcriptLines());
    const std::vector<std::string>& listed = boxes.transcript().back().lines;
    EXPECT_EQ(listed.front(), "Stand-alone code generated successfully");
    for (const std::string& code : reader.page().codes("ccode"))
        if (code.rfind("xx", 0) == 0) {
            EXPECT_TRUE(contains(listed, "    " + code)) << "the box lists " << code;
        }

    const std::vector<std::string> blocks = reader.page().shellBlocks("ccode");
    ASSERT_EQ(blocks.size(), 1u);
    std::string lines = blocks[0];
    lines.replace(lines.find("output-directory"), 16, out);
    QProcess shell;
    shell.start("bash", {"-e", "-c", QString::fromStdString(lines)});
    ASSERT_TRUE(shell.waitForFinished(60000));
    const std::string printed = shell.readAllStandardOutput().toStdString();
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    EXPECT_TRUE(std::regex_search(printed, std::regex("^time = 5(\\.0*[0-9]*)?, steps = [0-9]+\n"))) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 4) << "the time and the three stored curves";
}

} // namespace

void FollowTheSimulatorSteps(Reader& reader, platform::ScriptedMessageSink& boxes,
                             platform::ScriptedChooserSink& choosers, const std::string& commandTail,
                             const std::string& folder)
{
    auto app = std::make_unique<TQNSIMApp>(testsupport::testApplication(), SplitCommandLine(commandTail));
    ASSERT_TRUE(app->InitInstance());
    TQNSIMWindow& window = *app->mainWindow();
    window.resize(900, 600);
    QApplication::processEvents();
    // The code generator's module lies beside the programs.
    Startup().InstallDirectory = ORVANTA_BIN_DIR;
    EXPECT_EQ(window.windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: untitled");
    EXPECT_TRUE(boxes.transcript().empty()) << testing::PrintToString(boxes.transcriptLines());

    reader.begin("experiment");
    enterParameters(reader, window, boxes);
    enterInitialConditions(reader, window);
    enterRunSpecifications(reader, window);
    // A run before a curve is shown or stored asks first; its OK runs nothing.
    ASSERT_TRUE(reader.choose(window, "Action > Start Simulation"));
    EXPECT_TRUE(runEnded());
    EXPECT_FALSE(HasCurrentRunData());
    enterPlotSpecifications(reader, window);
    ASSERT_TRUE(reader.choose(window, "File > Save Experiment As"));
    TQNFileDialog* chooser = NameChooserWindow();
    ASSERT_NE(chooser, nullptr);
    const std::string name = reader.page().codeAfter("experiment", "type the name");
    EXPECT_EQ(name, "default");
    QTest::keyClicks(testsupport::findControl<QLineEdit>(*chooser, 572), QString::fromStdString(name));
    click(*chooser, 801);
    EXPECT_EQ(window.windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: default");
    for (const char* file : {"/msd1/default.p", "/msd1/default.r", "/msd1/default.u"})
        EXPECT_TRUE(platform::fileExists(folder + file)) << file;
    reader.end();

    reader.begin("run");
    ASSERT_TRUE(reader.choose(window, "Action > Start Simulation"));
    ASSERT_TRUE(runEnded());
    const std::string summary = window.shownStatusText();
    reader.saw(summary);
    EXPECT_TRUE(std::regex_match(summary, std::regex("Simulation finished\\.  Model evaluations: [0-9]+\\. .*sec\\.")))
        << summary;
    std::map<std::string, double> values;
    for (const auto& [parameter, typed] : pageParameters(reader.page()))
        values[parameter] = std::stod(typed);
    expectTheRunOfThePage(folder + "/msd1/default.n", values);
    FlushPlotSteps();
    QApplication::processEvents();
    testsupport::grabToPng(window, "tutorial_plot");

    // d`r 2, a second run over the first, and the first one cleared.
    ASSERT_TRUE(reader.choose(window, "Experiment > Parameters"));
    TQNParEditorDialog* parameters = ParametersEditor();
    ASSERT_NE(parameters, nullptr);
    selectLine(*parameters, valueeditor::List, 3);
    keys(*parameters, valueeditor::Value, "2");
    enter(*parameters, valueeditor::Value);
    EXPECT_EQ(value(KindParameter, "d`r"), 2.0);
    ASSERT_TRUE(reader.choose(window, "Action > Start Simulation"));
    ASSERT_TRUE(runEnded());
    EXPECT_TRUE(HasEarlierRunData()) << "the new run is drawn over the old one";
    ASSERT_TRUE(reader.choose(window, "Action > Clear Previous Runs"));
    EXPECT_FALSE(HasEarlierRunData());
    EXPECT_TRUE(HasCurrentRunData());
    ASSERT_TRUE(reader.choose(window, "View > Numerical Values"));
    TQNNumericValuesDialog* numbers = NumericValuesDialog();
    ASSERT_NE(numbers, nullptr);
    for (const char* curve : {"k`p.f_indep_state", "m`p.f", "k`p.e"}) {
        bool listed = false;
        for (int i = 0; i < numbers->itemCount(numvalues::List); ++i)
            listed |= numbers->itemText(numvalues::List, i).find(curve) != std::string::npos;
        EXPECT_TRUE(listed) << "the values of " << curve << " are listed";
    }
    click(*numbers, numvalues::Cancel);
    platform::PrinterSettings printer = platform::PrinterSettings::defaults();
    printer.outputFile = folder + "/plot.pdf";
    choosers.answerPrinter(printer);
    ASSERT_TRUE(reader.choose(window, "File > Print Simulation"));
    EXPECT_EQ(testsupport::readText(printer.outputFile).rfind("%PDF", 0), 0u) << "the plot is printed to a PDF file";
    ASSERT_TRUE(reader.choose(window, "File > Export"));
    ASSERT_TRUE(reader.choose(window, "File > Export > Simulation To MetaFile"));
    const std::vector<std::string> codes = reader.page().codes("run");
    EXPECT_TRUE(contains(codes, "msd1/default.wmf"));
    EXPECT_TRUE(platform::fileExists(folder + "/msd1/default.wmf"));
    reader.end();

    reader.begin("ccode");
    generateCode(reader, window, boxes, folder);
    reader.end();

    ChooserClosed();
    app.reset();
}

} // namespace tutorialtest
