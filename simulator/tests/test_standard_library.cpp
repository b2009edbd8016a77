// The element library's types, each in a small graph model taken through complete processing
// by the model processor and run by the run engine, checked against the textbook definition of
// what the type is: per family, one table of models and checks.
#include "model_test_support.h"
#include "processed_examples.h"

#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/integration_methods.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using modeltest::indexOf;
using modeltest::namesOf;

/// The output points of a run: their times and each watched quantity's value at each.
struct Trace {
    std::vector<double> times;
    std::map<std::string, std::vector<double>> series;

    /// The quantity at the output point nearest to the time.
    double at(const std::string& name, double time) const
    {
        std::size_t nearest = 0;
        for (std::size_t i = 0; i < times.size(); ++i)
            if (std::fabs(times[i] - time) < std::fabs(times[nearest] - time))
                nearest = i;
        return series.at(name).at(nearest);
    }
};

/// How a family's models run.
struct RunSettings {
    int method = MethodRungeKutta4;
    double finish = 1.0;
    double step = 1e-3;
};

/// One library type in a small model: the model's subclasses and connections (a graph model's
/// body), the values of its parameters and initial conditions, the quantities to watch and the
/// check of the run against the type's definition.
struct Case {
    std::string type;
    std::string model;
    std::vector<std::pair<std::string, double>> values;
    std::vector<std::string> watched;
    std::function<void(const Trace&)> check;
    RunSettings run = {};
    /// Text parameters, each naming one of the data files, which are written beside the model.
    std::vector<std::pair<std::string, std::string>> texts = {};
    std::vector<std::pair<std::string, std::string>> files = {};
};

/// The cell of a computed quantity (a variable, state or rate) of the loaded model by one of its
/// names; null when none has it.
double* quantity(const std::string& name)
{
    for (int kind : {KindVariable, KindState, KindRate, KindDependentState, KindDependentRate, KindLoopResult}) {
        const int index = indexOf(kind, name);
        if (index >= 0)
            return &Variables().kinds[kind].values[index];
    }
    return nullptr;
}

class Library : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunsAllowed = 1;
        ModelLoadErrors = 0;
        MathErrorOccurred = 0;
        InterruptRequested = 0;
    }
    void TearDown() override { RunOutput() = {}; }

    /// Processes and runs each case and hands its trace to its check.
    void runFamily(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.type);
            Trace trace;
            runCase(c, trace);
            if (HasFatalFailure())
                return;
            if (!trace.times.empty())
                c.check(trace);
        }
    }

    void runCase(const Case& c, Trace& trace)
    {
        const std::string work = modeltest::libraryFolder(m_dir);
        std::ofstream(work + "/m1.mg0") << "bond graph m version 1\nsubclasses\n  " << c.model << "\n";
        for (const auto& [name, text] : c.files)
            std::ofstream(work + "/" + name) << text;
        const modeltest::Processed processed = modeltest::processIn(work, "m1.mg0", 6);
        ASSERT_EQ(processed.result, 3) << testing::PrintToString(processed.messages);
        {
            modeltest::StatusCapture status;
            ASSERT_EQ(LoadCodeFile(processed.codeFile), 0) << LastCodeFileReport();
        }
        modeltest::resetRunFlags();
        for (int i = 0; i < Variables().kinds[KindInitial].count; ++i)
            ASSERT_TRUE(SetVariableValue(KindInitial, i, 0.0));
        for (const auto& [name, value] : c.values) {
            const bool initial = indexOf(KindInitial, name) >= 0;
            const int kind = initial ? KindInitial : KindParameter;
            const int index = indexOf(kind, name);
            ASSERT_GE(index, 0) << name << " among " << namesOf(KindParameter) << "/ " << namesOf(KindInitial);
            ASSERT_TRUE(SetVariableValue(kind, index, value));
        }
        for (const auto& [name, text] : c.texts) {
            const int index = indexOf(KindParameter, name);
            ASSERT_GE(index, 0) << name << " among " << namesOf(KindParameter);
            SetStringValue(Variables().kinds[KindParameter].values[index], work + "/" + text);
            Variables().kinds[KindParameter].hasValue[std::size_t(index)] = 1;
        }
        std::vector<std::pair<std::string, const double*>> cells;
        for (const std::string& name : c.watched) {
            const double* cell = quantity(name);
            ASSERT_NE(cell, nullptr) << name << " among " << namesOf(KindVariable) << "/ " << namesOf(KindState);
            cells.emplace_back(name, cell);
        }
        RunOutput() = {};
        RunOutput().step = [&trace, &cells] {
            trace.times.push_back(SimulationTime);
            for (const auto& [name, cell] : cells)
                trace.series[name].push_back(*cell);
        };
        RunSpecs() = RunSpecification::defaults();
        RunSpecs().method = c.run.method;
        RunSpecs().finishTime = c.run.finish;
        if (c.run.method == MethodBdf)
            RunSpecs().settings[MethodBdf][RowMaxStep].value = c.run.step;
        else
            RunSpecs().settings[c.run.method][RowStep].value = c.run.step;
        RequestRun();
        modeltest::StatusCapture status;
        ASSERT_GT(RunUntilIdle(100000000), 0);
        EXPECT_TRUE(m_sink.transcript().empty()) << testing::PrintToString(m_sink.transcriptLines());
        m_sink.clear();
        ASSERT_NEAR(SimulationTime, c.run.finish, 1e-9);
    }

    testsupport::TempDir m_dir;
    platform::ScriptedMessageSink m_sink;
    platform::ScopedMessageSink m_scoped{m_sink};
};

/// Expects the quantity at the output point nearest each time to be the wanted value.
void expectAt(const Trace& trace, const std::string& name, const std::vector<std::pair<double, double>>& points,
              double tolerance)
{
    for (const auto& [time, want] : points)
        EXPECT_NEAR(trace.at(name, time), want, tolerance) << name << " at t = " << time;
}

/// Expects the quantity to follow the function of time at every output point.
void expectEverywhere(const Trace& trace, const std::string& name, const std::function<double(double)>& want,
                      double tolerance)
{
    const std::vector<double>& values = trace.series.at(name);
    int faults = 0;
    for (std::size_t i = 0; i < trace.times.size() && faults < 5; ++i)
        if (!(std::fabs(values[i] - want(trace.times[i])) <= tolerance)) {
            ++faults;
            ADD_FAILURE() << name << " at t = " << trace.times[i] << " is " << values[i] << ", expected "
                          << want(trace.times[i]);
        }
}

} // namespace

// Modulated sources impose their signal on the bond, the modulated resistor and the symplectic
// gyrator pass power by their laws, and the two-port storages hold the integral of what entered
// each port and answer with the efforts or flows of their energy.
TEST_F(Library, BondGraphElementsFollowTheirConstitutiveLaws)
{
    const double pi = M_PI;
    runFamily({
        {"mse", "sinwave;1 w\n  mse;1 src\n  r;1 load\nconnections\n  w`y -: src`e\n  src`p -> load`p",
         {{"w`amp", 3}, {"w`omega", 2 * pi}, {"w`phi", 0}, {"load`r", 2}},
         {"load`p.f"},
         [](const Trace& t) {
             expectEverywhere(t, "load`p.f", [](double x) { return 1.5 * std::sin(2 * M_PI * x); }, 1e-9);
         }},
        {"msf", "rampgen;1 w\n  msf;1 src\n  r;1 load\nconnections\n  w`y -: src`f\n  src`p -> load`p",
         {{"w`slope", 2}, {"w`tstart", 0.25}, {"load`r", 5}},
         {"load`p.e"},
         [](const Trace& t) {
             expectEverywhere(t, "load`p.e", [](double x) { return x < 0.25 ? 0.0 : 10 * (x - 0.25); }, 1e-9);
         }},
        {"mr", "se;1 src\n  con;1 k\n  mr;1 res\nconnections\n  k`y -: res`r\n  src`p -> res`p",
         {{"src`e", 6}, {"k`c", 4}},
         {"res`p.f"},
         [](const Trace& t) { expectAt(t, "res`p.f", {{0.5, 1.5}}, 1e-12); }},
        // e1 = f2 and e2 = f1: the source's effort E is the load's flow, and the load's effort R E
        // comes back as the source's flow.
        {"sgy", "se;1 src\n  sgy;1 g\n  r;1 load\nconnections\n  src`p -> g`p1\n  g`p2 -> load`p",
         {{"src`e", 3}, {"load`r", 2}},
         {"load`p.f", "src`p.f"},
         [](const Trace& t) {
             expectAt(t, "load`p.f", {{0.5, 3}}, 1e-12);
             expectAt(t, "src`p.f", {{0.5, 6}}, 1e-12);
         }},
        // Constant flows f1, f2 give q = f t, and e = C^-1 q.
        {"2c", "sf;1 a, b\n  2c;1 k\nconnections\n  a`p -> k`p1\n  b`p -> k`p2",
         {{"a`f", 1}, {"b`f", -2}, {"k`c11", 2}, {"k`c12", 0.5}, {"k`c22", 1}},
         {"k`p1.e", "k`p2.e"},
         [](const Trace& t) {
             const double q1 = 1.0, q2 = -2.0, det = 2 * 1 - 0.25; // at t = 1
             expectAt(t, "k`p1.e", {{1.0, (1 * q1 - 0.5 * q2) / det}}, 1e-9);
             expectAt(t, "k`p2.e", {{1.0, (2 * q2 - 0.5 * q1) / det}}, 1e-9);
         }},
        {"2i", "se;1 a, b\n  2i;1 m\nconnections\n  a`p -> m`p1\n  b`p -> m`p2",
         {{"a`e", 3}, {"b`e", 1}, {"m`i11", 1}, {"m`i12", 0.2}, {"m`i22", 0.5}},
         {"m`p1.f", "m`p2.f"},
         [](const Trace& t) {
             const double h1 = 1.5, h2 = 0.5, det = 0.5 - 0.04; // at t = 0.5
             expectAt(t, "m`p1.f", {{0.5, (0.5 * h1 - 0.2 * h2) / det}}, 1e-9);
             expectAt(t, "m`p2.f", {{0.5, (1 * h2 - 0.2 * h1) / det}}, 1e-9);
         }},
        {"ic", "se;1 a\n  sf;1 b\n  ic;1 f\nconnections\n  a`p -> f`p1\n  b`p -> f`p2",
         {{"a`e", 2}, {"b`f", 3}, {"f`i", 4}, {"f`c", 0.5}, {"f`g", 0.1}},
         {"f`p1.f", "f`p2.e"},
         [](const Trace& t) {
             const double h = 2.0, q = 3.0; // at t = 1
             expectAt(t, "f`p1.f", {{1.0, h / 4 + 0.1 * q}}, 1e-9);
             expectAt(t, "f`p2.e", {{1.0, 0.1 * h + q / 0.5}}, 1e-9);
         }},
    });
}

// Arithmetic blocks compute their function of constant inputs; the integrators integrate until a
// limit or a reset; the differentiator gives the slope and the delays the input of a step or of
// tau seconds before.
TEST_F(Library, ArithmeticBlocksIntegratorsAndDelaysFollowTheirDefinitions)
{
    const double pi = M_PI;
    auto constant = [](const std::string& name, double want) {
        return [name, want](const Trace& t) { expectAt(t, name, {{0.0, want}, {0.5, want}}, 1e-12); };
    };
    runFamily({
        {"att", "con;1 k\n  att;1 a\nconnections\n  k`y -: a`u", {{"k`c", 2}, {"a`k", 4}}, {"a`y"},
         constant("a`y", 0.5)},
        {"mul", "con;1 k1, k2\n  mul;1 m\nconnections\n  k1`y -: m`u1\n  k2`y -: m`u2",
         {{"k1`c", 2}, {"k2`c", -3}}, {"m`y"}, constant("m`y", -6)},
        {"divide", "con;1 k1, k2\n  divide;1 d\nconnections\n  k1`y -: d`u1\n  k2`y -: d`u2",
         {{"k1`c", 6}, {"k2`c", 4}}, {"d`y"}, constant("d`y", 1.5)},
        {"negate", "con;1 k\n  negate;1 n\nconnections\n  k`y -: n`u", {{"k`c", 2.5}}, {"n`y"},
         constant("n`y", -2.5)},
        // Up at slope 1 to the upper limit 0.5, held there; from t = 1 down to the lower limit.
        {"limintg", "sqrwave;1 w\n  limintg;1 li\nconnections\n  w`y -: li`u",
         {{"w`amp", 1}, {"w`period", 2}, {"li`ymin", -0.2}, {"li`ymax", 0.5}}, {"li`y"},
         [](const Trace& t) { expectAt(t, "li`y", {{0.25, 0.25}, {0.8, 0.5}, {1.3, 0.2}, {1.9, -0.2}}, 2e-3); },
         {MethodRungeKutta4, 2.0, 1e-3}},
        // Integrates 1 from 0; held at y0 = -1 while the reset pulse of [0.5, 0.6) lasts, then on.
        {"resintg", "con;1 k\n  pulsgen;1 rs\n  resintg;1 ri\nconnections\n  k`y -: ri`u\n  rs`y -: ri`r",
         {{"k`c", 1}, {"rs`amp", 1}, {"rs`period", 10}, {"rs`width", 0.1}, {"rs`tstart", 0.5}, {"ri`y0", -1}},
         {"ri`y"},
         [](const Trace& t) { expectAt(t, "ri`y", {{0.4, 0.4}, {0.55, -1}, {0.9, -0.7}}, 2e-3); }},
        // The slope of the integral of a sine is that sine (an implicit model: BDF, and it needs the
        // integral's state).
        {"diff", "sinwave;1 w\n  intgrl;1 i\n  diff;1 d\nconnections\n  w`y -: i`u\n  i`y -: d`u",
         {{"w`amp", 1}, {"w`omega", 2 * pi}, {"w`phi", 0}}, {"d`y"},
         [](const Trace& t) { expectEverywhere(t, "d`y", [](double x) { return std::sin(2 * M_PI * x); }, 1e-3); },
         {MethodBdf, 1.0, 1e-3}},
        // The time as input: each output point shows the time of the one before.
        {"delay", "time;1 tm\n  delay;1 d\nconnections\n  tm`y -: d`u", {{"d`y0", -1}}, {"d`y"},
         [](const Trace& t) {
             expectAt(t, "d`y", {{0.0, -1}}, 1e-12);
             expectEverywhere(t, "d`y", [](double x) { return x < 1e-9 ? -1 : x - 1e-3; }, 1e-9);
         }},
        {"tdelay", "sinwave;1 w\n  tdelay;1 d\nconnections\n  w`y -: d`u",
         {{"w`amp", 1}, {"w`omega", 2 * pi}, {"w`phi", 0}, {"d`tau", 0.25}}, {"d`y"},
         [](const Trace& t) {
             expectEverywhere(t, "d`y", [](double x) { return x < 0.25 ? 0.0 : std::sin(2 * M_PI * (x - 0.25)); },
                              1e-4);
         }},
    });
}

// Step responses of the linear blocks and controllers against their transfer functions.
TEST_F(Library, LinearBlocksAndControllersGiveTheirStepResponses)
{
    const std::string step = "stepgen;1 s\n  ";
    auto unitStep = std::vector<std::pair<std::string, double>>{{"s`amp", 1}, {"s`tstart", 0}};
    auto with = [&unitStep](std::vector<std::pair<std::string, double>> more) {
        more.insert(more.begin(), unitStep.begin(), unitStep.end());
        return more;
    };
    runFamily({
        // y(tau) = k (1 - 1/e): the time constant.
        {"forder", step + "forder;1 f\nconnections\n  s`y -: f`u", with({{"f`k", 2}, {"f`tau", 0.5}}), {"f`y"},
         [](const Trace& t) {
             expectAt(t, "f`y", {{0.5, 2 * (1 - std::exp(-1.0))}}, 1e-9);
             expectEverywhere(t, "f`y", [](double x) { return 2 * (1 - std::exp(-x / 0.5)); }, 1e-9);
         }},
        {"sorder", step + "sorder;1 f\nconnections\n  s`y -: f`u",
         with({{"f`k", 1.5}, {"f`omega", 2 * M_PI}, {"f`zeta", 0.2}}), {"f`y"},
         [](const Trace& t) {
             const double w = 2 * M_PI, z = 0.2, root = std::sqrt(1 - z * z), wd = w * root;
             expectEverywhere(t, "f`y", [=](double x) {
                 return 1.5 * (1 - std::exp(-z * w * x) * (std::cos(wd * x) + z / root * std::sin(wd * x)));
             }, 1e-8);
         }},
        // Jumps to k t1/t2 and settles at k with the time constant t2.
        {"leadlag", step + "leadlag;1 f\nconnections\n  s`y -: f`u", with({{"f`k", 2}, {"f`t1", 0.3}, {"f`t2", 0.1}}),
         {"f`y"},
         [](const Trace& t) {
             expectEverywhere(t, "f`y", [](double x) { return 2 * (1 + 2 * std::exp(-x / 0.1)); }, 1e-8);
         }},
        {"p", step + "p;1 c\nconnections\n  s`y -: c`u", with({{"c`kp", 3}}), {"c`y"},
         [](const Trace& t) { expectEverywhere(t, "c`y", [](double) { return 3.0; }, 1e-12); }},
        // kp (1 + t/ti): the integral time is when the integral part equals the proportional one.
        {"pi", step + "pi;1 c\nconnections\n  s`y -: c`u", with({{"c`kp", 2}, {"c`ti", 0.5}}), {"c`y"},
         [](const Trace& t) {
             expectAt(t, "c`y", {{0.5, 4}}, 1e-9);
             expectEverywhere(t, "c`y", [](double x) { return 2 * (1 + x / 0.5); }, 1e-9);
         }},
        // kp (1 + td/tf e^(-t/tf)): the filtered derivative's kick of the step.
        {"pd", step + "pd;1 c\nconnections\n  s`y -: c`u", with({{"c`kp", 2}, {"c`td", 0.1}, {"c`tf", 0.02}}),
         {"c`y"},
         [](const Trace& t) {
             expectEverywhere(t, "c`y", [](double x) { return 2 * (1 + 5 * std::exp(-x / 0.02)); }, 1e-6);
         }},
        {"pid", step + "pid;1 c\nconnections\n  s`y -: c`u",
         with({{"c`kp", 2}, {"c`ti", 0.5}, {"c`td", 0.1}, {"c`tf", 0.02}}), {"c`y"},
         [](const Trace& t) {
             expectEverywhere(t, "c`y", [](double x) { return 2 * (1 + x / 0.5 + 5 * std::exp(-x / 0.02)); }, 1e-6);
         }},
    });
}

namespace {

/// A static function block fed by the sine 2 sin(2 pi t + 0.3), which sweeps -2 .. 2 twice.
Case staticCase(const std::string& type, std::vector<std::pair<std::string, double>> values,
                std::function<double(double)> f, const std::string& output = "b`y")
{
    values.insert(values.begin(), {{"w`amp", 2}, {"w`omega", 2 * M_PI}, {"w`phi", 0.3}});
    return {type, "sinwave;1 w\n  " + type + ";1 b\nconnections\n  w`y -: b`u", values, {output},
            [f, output](const Trace& t) {
                expectEverywhere(t, output, [&f](double x) { return f(2 * std::sin(2 * M_PI * x + 0.3)); }, 1e-9);
            },
            {MethodRungeKutta4, 2.0, 1e-3}};
}

/// The input of the hysteretic blocks: a triangle of amplitude 2 and period 1, -2 + 8t on its
/// way up to t = 0.5, 2 - 8 (t - 0.5) on its way down.
Case triangleCase(const std::string& type, std::vector<std::pair<std::string, double>> values,
                  std::vector<std::pair<double, double>> points)
{
    values.insert(values.begin(), {{"w`amp", 2}, {"w`period", 1}});
    return {type, "triwave;1 w\n  " + type + ";1 b\nconnections\n  w`y -: b`u", values, {"b`y"},
            [points](const Trace& t) { expectAt(t, "b`y", points, 1e-6); }};
}

} // namespace

// The static nonlinearities and functions follow their function of the input everywhere; the
// hysteresis, the relay with hysteresis and the backlash switch or follow only after the input
// has passed their thresholds, and hold their output on the way back.
TEST_F(Library, NonlinearBlocksAndFunctionsFollowTheirCharacteristics)
{
    runFamily({
        staticCase("limit", {{"b`ymin", -1}, {"b`ymax", 1.5}}, [](double u) { return std::clamp(u, -1.0, 1.5); }),
        staticCase("dead", {{"b`umin", -0.5}, {"b`umax", 1}},
                   [](double u) { return u > 1 ? u - 1 : u < -0.5 ? u + 0.5 : 0; }),
        staticCase("relay", {{"b`yon", 3}, {"b`yoff", -1}}, [](double u) { return u > 0 ? 3 : -1; }),
        staticCase("cosine", {}, [](double u) { return std::cos(u); }),
        staticCase("power", {{"b`n", 3}}, [](double u) { return u * u * u; }),
        staticCase("sqrsgn", {}, [](double u) { return u * std::fabs(u); }),
        staticCase("sqrtsgn", {}, [](double u) { return std::copysign(std::sqrt(std::fabs(u)), u); }),
        staticCase("absolut", {}, [](double u) { return std::fabs(u); }),
        staticCase("signi", {}, [](double u) { return u > 0 ? 1 : u < 0 ? -1 : 0; }),
        staticCase("trunc", {}, [](double u) { return std::trunc(u); }),
        staticCase("nop", {}, [](double u) { return u; }),
        staticCase("display", {}, [](double u) { return u; }, "b`value"),
        {"sqt", "time;1 w\n  sqt;1 b\nconnections\n  w`y -: b`u", {}, {"b`y"},
         [](const Trace& t) { expectEverywhere(t, "b`y", [](double x) { return std::sqrt(x); }, 1e-12); }},
        {"minim", "sinwave;1 w\n  con;1 k\n  minim;1 b\nconnections\n  w`y -: b`u1\n  k`y -: b`u2",
         {{"w`amp", 2}, {"w`omega", 2 * M_PI}, {"w`phi", 0}, {"k`c", 0.5}}, {"b`y"},
         [](const Trace& t) {
             expectEverywhere(t, "b`y", [](double x) { return std::min(2 * std::sin(2 * M_PI * x), 0.5); }, 1e-9);
         }},
        {"maxim", "sinwave;1 w\n  con;1 k\n  maxim;1 b\nconnections\n  w`y -: b`u1\n  k`y -: b`u2",
         {{"w`amp", 2}, {"w`omega", 2 * M_PI}, {"w`phi", 0}, {"k`c", 0.5}}, {"b`y"},
         [](const Trace& t) {
             expectEverywhere(t, "b`y", [](double x) { return std::max(2 * std::sin(2 * M_PI * x), 0.5); }, 1e-9);
         }},
        // The time while the control is high (the first half of each 0.4 s), else the constant.
        {"switch", "time;1 w\n  con;1 k\n  clock;1 c\n  switch;1 b\nconnections\n  w`y -: b`u1\n  k`y -: b`u2\n"
                   "  c`y -: b`c",
         {{"k`c", -3}, {"c`period", 0.4}}, {"b`y"},
         [](const Trace& t) { expectAt(t, "b`y", {{0.1, 0.1}, {0.3, -3}, {0.5, 0.5}, {0.7, -3}}, 1e-9); }},
        // Up: switches at u = 0.5 (t = 0.3125); down: at u = -0.5 (t = 0.8125).
        triangleCase("hyst", {{"b`a", 1}, {"b`h", 0.5}}, {{0.0, -1}, {0.25, -1}, {0.4, 1}, {0.75, 1}, {0.9, -1}}),
        // Up: on at u = 1 (t = 0.375); down: off at u = -0.5 (t = 0.8125).
        triangleCase("relhys", {{"b`uon", 1}, {"b`uoff", -0.5}, {"b`yon", 2}, {"b`yoff", 0}},
                     {{0.3, 0}, {0.45, 2}, {0.7, 2}, {0.9, 0}}),
        // From -2 the output is dragged to u + b/2; on the way up it waits until u has come b above
        // it, at the top it stops at 2 - b/2 and waits on the way down until u is b below.
        triangleCase("backl", {{"b`b", 1}, {"b`y0", 0}},
                     {{0.0, -1.5}, {0.1, -1.5}, {0.25, -0.5}, {0.5, 1.5}, {0.6, 1.5}, {0.75, 0.5}}),
    });
}

// The sources give their waves, the time and the step; the file sources read their data files.
TEST_F(Library, GeneratorsGiveTheirSignals)
{
    // A model needs a connection: the generator g feeds a pass-through.
    auto alone = [](const std::string& type) { return type + ";1 g\n  nop;1 o\nconnections\n  g`y -: o`u"; };
    auto generator = [&alone](const std::string& type, std::vector<std::pair<std::string, double>> values,
                        std::vector<std::pair<double, double>> points) {
        return Case{type, alone(type), values, {"g`y"},
                    [points](const Trace& t) { expectAt(t, "g`y", points, 1e-8); }};
    };
    runFamily({
        generator("rampgen", {{"g`slope", 2}, {"g`tstart", 0.3}}, {{0.1, 0}, {0.3, 0}, {0.8, 1}}),
        generator("pulsgen", {{"g`amp", 3}, {"g`period", 0.4}, {"g`width", 0.1}, {"g`tstart", 0.2}},
                  {{0.1, 0}, {0.2, 3}, {0.25, 3}, {0.3, 0}, {0.35, 0}, {0.6, 3}, {0.65, 3}, {0.7, 0}}),
        {"sinwave", alone("sinwave"), {{"g`amp", 2}, {"g`omega", 3}, {"g`phi", 0.5}}, {"g`y"},
         [](const Trace& t) { expectEverywhere(t, "g`y", [](double x) { return 2 * std::sin(3 * x + 0.5); }, 1e-12); }},
        {"coswave", alone("coswave"), {{"g`amp", 2}, {"g`omega", 3}, {"g`phi", 0.5}}, {"g`y"},
         [](const Trace& t) { expectEverywhere(t, "g`y", [](double x) { return 2 * std::cos(3 * x + 0.5); }, 1e-12); }},
        // The angular frequency 2t gives the phase t^2.
        {"frqwave", "rampgen;1 w\n  frqwave;1 g\nconnections\n  w`y -: g`omega",
         {{"w`slope", 2}, {"w`tstart", 0}, {"g`amp", 1.5}}, {"g`y"},
         [](const Trace& t) { expectEverywhere(t, "g`y", [](double x) { return 1.5 * std::sin(x * x); }, 1e-9); },
         {MethodRungeKutta4, 3.0, 1e-3}},
        generator("triwave", {{"g`amp", 2}, {"g`period", 0.5}}, {{0.0, -2}, {0.125, 0}, {0.25, 2}, {0.375, 0}}),
        // The edges at the periods' starts and middles fall on steps and come at those steps.
        generator("sqrwave", {{"g`amp", 1.5}, {"g`period", 0.4}},
                  {{0.1, 1.5}, {0.2, -1.5}, {0.3, -1.5}, {0.4, 1.5}, {0.5, 1.5}, {0.6, -1.5}}),
        generator("clock", {{"g`period", 0.5}}, {{0.1, 1}, {0.25, 0}, {0.4, 0}, {0.5, 1}, {0.75, 0}}),
        generator("sawwave", {{"g`amp", 1}, {"g`period", 0.5}},
                  {{0.0, -1}, {0.125, -0.5}, {0.375, 0.5}, {0.5, -1}, {0.625, -0.5}}),
        {"sweep", alone("sweep"), {{"g`amp", 1}, {"g`omega0", 2}, {"g`omega1", 10}, {"g`tsweep", 2}}, {"g`y"},
         [](const Trace& t) {
             expectEverywhere(t, "g`y", [](double x) { return std::sin(2 * x + 8 * x * x / 4); }, 1e-12);
         },
         {MethodRungeKutta4, 2.0, 1e-3}},
        // Uniform over -amp .. amp: every value inside, both ends reached, the mean near 0.
        {"randgen", alone("randgen"), {{"g`amp", 0.5}}, {"g`y"},
         [](const Trace& t) {
             const std::vector<double>& y = t.series.at("g`y");
             double sum = 0;
             for (double v : y)
                 sum += v;
             EXPECT_LE(*std::max_element(y.begin(), y.end()), 0.5);
             EXPECT_GE(*std::min_element(y.begin(), y.end()), -0.5);
             EXPECT_GT(*std::max_element(y.begin(), y.end()), 0.45);
             EXPECT_LT(*std::min_element(y.begin(), y.end()), -0.45);
             EXPECT_LT(std::fabs(sum / double(y.size())), 0.05);
         }},
        {"time", alone("time"), {}, {"g`y"},
         [](const Trace& t) { expectEverywhere(t, "g`y", [](double x) { return x; }, 1e-12); }},
        {"deltat", alone("deltat"), {}, {"g`y"},
         [](const Trace& t) { expectEverywhere(t, "g`y", [](double x) { return x < 1e-9 ? 0 : 2e-3; }, 1e-9); },
         {MethodRungeKutta4, 1.0, 2e-3}},
        // Time, then two columns: the second column at the time.
        {"fileinp", alone("fileinp"), {{"g`col", 2}}, {"g`y"},
         [](const Trace& t) { expectEverywhere(t, "g`y", [](double x) { return 10 + 20 * x; }, 1e-9); },
         {}, {{"g`file", "input.dat"}}, {{"input.dat", "0 1 10\n1 3 30\n2 5 50\n"}}},
        {"tabfile", "time;1 w\n  tabfile;1 g\nconnections\n  w`y -: g`u", {}, {"g`y"},
         [](const Trace& t) {
             expectEverywhere(t, "g`y", [](double x) { return x <= 1 ? 10 * x : 10 + 30 * (x - 1); }, 1e-9);
         },
         {MethodRungeKutta4, 2.0, 1e-3}, {{"g`file", "table.dat"}}, {{"table.dat", "0 0\n1 10\n2 40\n"}}},
    });
}

// The discrete blocks sample at the instants k ts, here every 0.1 s, and hold what they give
// until the next instant: a unit delay gives the sample before, a sum and an integrator
// accumulate the samples, the converters and quantizers round to their resolution.
TEST_F(Library, DiscreteBlocksSampleAndHoldAtTheirInstants)
{
    using Values = std::vector<std::pair<std::string, double>>;
    auto sampled = [](const std::string& type, const std::string& input, Values values,
                      std::vector<std::pair<double, double>> points) {
        values.emplace_back("b`ts", 0.1);
        return Case{type, input + "\n  " + type + ";1 b\nconnections\n  w`y -: b`u", values, {"b`y"},
                    [points](const Trace& t) { expectAt(t, "b`y", points, 1e-9); }};
    };
    const std::string time = "time;1 w";
    runFamily({
        // The time as input: y0 until the first instant after 0, then the time of the instant before.
        sampled("z", time, {{"b`y0", -1}}, {{0.0, -1}, {0.05, -1}, {0.15, 0}, {0.25, 0.1}, {0.55, 0.4}}),
        sampled("smplhld", time, {}, {{0.05, 0}, {0.15, 0.1}, {0.37, 0.3}, {0.999, 0.9}}),
        // 1 + 2 at the instant 0, then 2 more at each instant.
        sampled("dissum", "con;1 w", {{"w`c", 2}, {"b`y0", 1}}, {{0.0, 3}, {0.05, 3}, {0.15, 5}, {0.35, 9}}),
        // y(k) = y(k - 1) + ts u(k - 1) over u = t: 0, 0, 0.01, 0.03, 0.06.
        sampled("disint", time, {{"b`y0", 0}}, {{0.05, 0}, {0.15, 0}, {0.25, 0.01}, {0.35, 0.03}, {0.45, 0.06}}),
        // sin at 0.1, 0.3 and 0.7 in steps of 0.25: 2.35, 3.80 and -3.80 steps.
        sampled("ad", "sinwave;1 w", {{"w`amp", 1}, {"w`omega", 2 * M_PI}, {"w`phi", 0}, {"b`q", 0.25}},
                {{0.05, 0}, {0.15, 2}, {0.35, 4}, {0.75, -4}}),
        sampled("da", "con;1 w", {{"w`c", 2.6}, {"b`q", 0.25}}, {{0.05, 0.75}, {0.55, 0.75}}),
        sampled("sample", time, {}, {{0.3, 0.3}, {0.301, 0}, {0.35, 0}, {0.6, 0.6}}),
        {"strobe", "strobe;1 b\n  nop;1 o\nconnections\n  b`y -: o`u", {{"b`ts", 0.1}}, {"b`y"},
         [](const Trace& t) {
             const std::vector<double>& y = t.series.at("b`y");
             EXPECT_EQ(std::count(y.begin(), y.end(), 1.0), 11) << "once at each of 0, 0.1 .. 1";
             expectAt(t, "b`y", {{0.3, 1}, {0.301, 0}, {0.35, 0}}, 0);
         }},
        // Follows the time while the clock is high ([0, 0.2), [0.4, 0.6)), holds it in between.
        {"latch", "time;1 w\n  clock;1 c\n  latch;1 b\nconnections\n  w`y -: b`u\n  c`y -: b`c",
         {{"c`period", 0.4}, {"b`y0", -1}}, {"b`y"},
         [](const Trace& t) {
             expectAt(t, "b`y", {{0.1, 0.1}, {0.3, 0.199}, {0.5, 0.5}, {0.7, 0.599}, {0.9, 0.9}}, 1e-9);
         }},
        {"quantr", "sinwave;1 w\n  quantr;1 b\nconnections\n  w`y -: b`u",
         {{"w`amp", 2}, {"w`omega", 2 * M_PI}, {"w`phi", 0.3}, {"b`q", 0.5}}, {"b`y"},
         [](const Trace& t) {
             expectEverywhere(
                 t, "b`y", [](double x) { return 0.5 * std::round(4 * std::sin(2 * M_PI * x + 0.3)); }, 1e-9);
         }},
        {"quantt", "sinwave;1 w\n  quantt;1 b\nconnections\n  w`y -: b`u",
         {{"w`amp", 2}, {"w`omega", 2 * M_PI}, {"w`phi", 0.3}, {"b`q", 0.5}}, {"b`y"},
         [](const Trace& t) {
             expectEverywhere(
                 t, "b`y", [](double x) { return 0.5 * std::trunc(4 * std::sin(2 * M_PI * x + 0.3)); }, 1e-9);
         }},
    });
}

namespace {

/// Two clocks a (period 1) and b (period 0.5) give the four input rows (a, b) = (1, 1), (1, 0),
/// (0, 1), (0, 0) in the quarters of a second; the gate's output is read in their middles.
Case gateCase(const std::string& type, std::vector<double> table, bool clocked = false)
{
    std::vector<std::pair<std::string, double>> values = {{"a`period", 1}, {"b`period", 0.5}};
    if (clocked)
        values.emplace_back("g`ts", 0.1);
    // An inverter takes a alone, and b feeds a pass-through: a model has no unconnected output.
    const bool unary = type == "inv" || type == "dinv";
    const std::string model = "clock;1 a, b\n  nop;1 o\n  " + type + ";1 g\nconnections\n  " +
                              (unary ? "a`y -: g`u\n  b`y -: o`u" : "a`y -: g`u1\n  b`y -: g`u2\n  g`y -: o`u");
    // A clocked gate is read after the instants 0.1, 0.3, 0.6 and 0.8, where it took the rows.
    const double shift = clocked ? 0.025 : 0;
    const std::vector<std::pair<double, double>> points = {
        {0.125 + shift, table[0]}, {0.375 - shift, table[1]}, {0.625 + shift, table[2]}, {0.875 - shift, table[3]}};
    return {type, model, values, {"g`y"}, [points, clocked, first = table[0]](const Trace& t) {
                expectAt(t, "g`y", points, 0);
                // and holds what it took: b has fallen at 0.25, the row taken at 0.2 stays.
                if (clocked)
                    expectAt(t, "g`y", {{0.27, first}}, 0);
            }};
}

} // namespace

// The gates' truth tables over the four rows of two clocks, the clocked gates' the same at their
// instants; the flip-flops set, reset, take their data and toggle at their edges or instants and
// keep their state in between.
TEST_F(Library, LogicGatesAndFlipFlopsFollowTheirTruthTables)
{
    auto flipFlop = [](const std::string& type, const std::string& sources, const std::string& connections,
                       std::vector<std::pair<std::string, double>> values, std::vector<std::pair<double, double>> q) {
        std::vector<std::pair<double, double>> qn;
        for (const auto& [time, value] : q)
            qn.emplace_back(time, 1 - value);
        return Case{type, sources + "\n  " + type + ";1 f\nconnections\n  " + connections, values, {"f`q", "f`qn"},
                    [q, qn](const Trace& t) {
                        expectAt(t, "f`q", q, 0);
                        expectAt(t, "f`qn", qn, 0);
                    }};
    };
    // Set pulses at [0.1, 0.2), [0.5, 0.6), [0.9, 1); reset pulses at [0.3, 0.4), [0.55, 0.65), [0.8, 0.9).
    const std::string setReset = "pulsgen;1 s, r";
    const std::vector<std::pair<std::string, double>> pulses = {
        {"s`amp", 1}, {"s`period", 0.4}, {"s`width", 0.1}, {"s`tstart", 0.1},
        {"r`amp", 1}, {"r`period", 0.25}, {"r`width", 0.1}, {"r`tstart", 0.3}};
    auto withPulses = [&pulses](std::vector<std::pair<std::string, double>> more) {
        more.insert(more.begin(), pulses.begin(), pulses.end());
        return more;
    };
    runFamily({
        gateCase("logand", {1, 0, 0, 0}),
        gateCase("nand", {0, 1, 1, 1}),
        gateCase("logor", {1, 1, 1, 0}),
        gateCase("nor", {0, 0, 0, 1}),
        gateCase("xor", {0, 1, 1, 0}),
        gateCase("inv", {0, 0, 1, 1}),
        gateCase("dand", {1, 0, 0, 0}, true),
        gateCase("dnand", {0, 1, 1, 1}, true),
        gateCase("dor", {1, 1, 1, 0}, true),
        gateCase("dnor", {0, 0, 0, 1}, true),
        gateCase("dxor", {0, 1, 1, 0}, true),
        gateCase("dnxor", {1, 0, 0, 1}, true),
        gateCase("dinv", {0, 0, 1, 1}, true),
        // Set, hold, reset, hold, set, both (reset wins), reset, hold, reset, set.
        flipFlop("srfflop", setReset, "s`y -: f`s\n  r`y -: f`r", withPulses({{"f`q0", 0}}),
                 {{0.05, 0}, {0.15, 1}, {0.25, 1}, {0.35, 0}, {0.45, 0}, {0.52, 1}, {0.57, 0}, {0.62, 0}, {0.7, 0},
                  {0.85, 0}, {0.95, 1}}),
        // At the clock's rising edges 0.2, 0.4, 0.6, 0.8 q takes d (period 0.3) as it was just before.
        flipFlop("dfflop", "clock;1 d, c", "d`y -: f`d\n  c`y -: f`c",
                 {{"d`period", 0.3}, {"c`period", 0.2}, {"f`q0", 1}},
                 {{0.1, 1}, {0.3, 0}, {0.5, 1}, {0.7, 0}, {0.9, 0}}),
        // Toggles at the edges 0.2, 0.4, 0.6 while the toggle input is high ([0, 0.7)), then holds.
        flipFlop("tfflop", "clock;1 g, c", "g`y -: f`tg\n  c`y -: f`c",
                 {{"g`period", 1.4}, {"c`period", 0.2}, {"f`q0", 0}},
                 {{0.1, 0}, {0.3, 1}, {0.5, 0}, {0.7, 1}, {0.9, 1}}),
        // At the instants 0.1, 0.2 ... q takes d (period 0.3) as it was before the instant.
        flipFlop("ddffkl", "clock;1 d", "d`y -: f`d", {{"d`period", 0.3}, {"f`ts", 0.1}, {"f`q0", 0}},
                 {{0.05, 0}, {0.15, 1}, {0.25, 0}, {0.35, 0}, {0.45, 1}, {0.55, 0}}),
        // Hold, set, hold, reset, hold, both (reset wins) at the instants 0.1 .. 0.6.
        flipFlop("dsrffkl", setReset, "s`y -: f`s\n  r`y -: f`r", withPulses({{"f`ts", 0.1}, {"f`q0", 0}}),
                 {{0.15, 0}, {0.25, 1}, {0.35, 1}, {0.45, 0}, {0.55, 0}, {0.65, 0}}),
        // j high in [0, 0.4), k in [0, 0.2) and [0.4, 0.6): toggle, toggle, set, set, reset, reset, hold.
        flipFlop("djkffkl", "clock;1 j, k", "j`y -: f`j\n  k`y -: f`k",
                 {{"j`period", 0.8}, {"k`period", 0.4}, {"f`ts", 0.1}, {"f`q0", 0}},
                 {{0.05, 0}, {0.15, 1}, {0.25, 0}, {0.35, 1}, {0.45, 1}, {0.55, 0}, {0.65, 0}, {0.75, 0}}),
    });
}

// The criteria integrate their error measure: for e = -2 and u = -3 with rho = 0.5 over one
// second, e^2 t, e^2 t^2/2, (e^2 + rho u^2) t, e^2 t^2/2 + rho u^2 t, |e| t and (|e| + rho |u|) t.
TEST_F(Library, ErrorCriteriaIntegrateTheirMeasures)
{
    auto criterion = [](const std::string& type, bool effort, double want) {
        std::string model = "con;1 e, u\n  " + type + ";1 j\nconnections\n  e`y -: j`e";
        std::vector<std::pair<std::string, double>> values = {{"e`c", -2}, {"u`c", -3}};
        if (effort) {
            model += "\n  u`y -: j`u";
            values.emplace_back("j`rho", 0.5);
        } else {
            model = "con;1 e, u\n  nop;1 o\n  " + type + ";1 j\nconnections\n  e`y -: j`e\n  u`y -: o`u";
        }
        return Case{type, model, values, {"j`y"},
                    [want](const Trace& t) { expectAt(t, "j`y", {{0.0, 0}, {1.0, want}}, 1e-9); }};
    };
    runFamily({
        criterion("crite", false, 4),
        criterion("critet", false, 2),
        criterion("criteu", true, 8.5),
        criterion("critetu", true, 6.5),
        criterion("critne", false, 2),
        criterion("critneu", true, 3.5),
    });
}

// The multiports are arrays of one-port or two-port elements over port arrays: each element of
// the array follows the law of the single element on its own bond, in the causality its own bond
// gives it.
TEST_F(Library, MultiportElementsActAsOneElementPerPortElement)
{
    // A two-port array of two: the first pair driven by an effort source E, the second by a flow
    // source F, each pair's second port on a resistor R.
    const std::string pairs = "se;1 a\n  sf;1 b\n  r;1 l1, l2\n";
    const std::string bonds = "  a`p -> x`p1[1]\n  b`p -> x`p1[2]\n  x`p2[1] -> l1`p\n  x`p2[2] -> l2`p";
    const std::vector<std::pair<std::string, double>> loads = {{"a`e", 4}, {"b`f", 1}, {"l1`r", 4}, {"l2`r", 1}};
    auto with = [](std::vector<std::pair<std::string, double>> values,
                   const std::vector<std::pair<std::string, double>>& more) {
        values.insert(values.end(), more.begin(), more.end());
        return values;
    };
    const std::vector<std::string> pairWatched = {"x`p1[1].f", "x`p2[1].e", "x`p1[2].e", "x`p2[2].f"};
    // e1 = m e2, f2 = m f1: pair 1 gives e2 = E / m, f1 = E / (m^2 R); pair 2 gives f2 = m F and
    // e1 = m R m F.
    const auto transformer = [](const Trace& t) {
        expectAt(t, "x`p2[1].e", {{0.5, 4.0 / 2}}, 1e-12);
        expectAt(t, "x`p1[1].f", {{0.5, 4.0 / (2 * 2 * 4)}}, 1e-12);
        expectAt(t, "x`p2[2].f", {{0.5, 0.5 * 1}}, 1e-12);
        expectAt(t, "x`p1[2].e", {{0.5, 0.5 * 1 * 0.5 * 1}}, 1e-12);
    };
    // e1 = r f2, e2 = r f1: pair 1 gives f2 = E / r and f1 = R E / r^2; pair 2 gives e2 = r F and
    // e1 = r (r F / R).
    const auto gyrator = [](const Trace& t) {
        expectAt(t, "x`p2[1].f", {{0.5, 4.0 / 2}}, 1e-12);
        expectAt(t, "x`p1[1].f", {{0.5, 4 * 4.0 / (2 * 2)}}, 1e-12);
        expectAt(t, "x`p2[2].e", {{0.5, 3 * 1}}, 1e-12);
        expectAt(t, "x`p1[2].e", {{0.5, 3 * (3 * 1 / 1.0)}}, 1e-12);
    };
    const std::vector<std::string> gyratorWatched = {"x`p2[1].f", "x`p1[1].f", "x`p2[2].e", "x`p1[2].e"};
    const std::string moduli = "  con;1 k1, k2\n";
    auto signals = [](const std::string& input) {
        return "\n  k1`y -: x`" + input + "[1]\n  k2`y -: x`" + input + "[2]";
    };
    runFamily({
        // Constant flows f give q = f t, and each effort is q / c.
        {"mp_c", "sf;1 a, b, d\n  mp_c;1 k(3)\nconnections\n  a`p -> k`p[1]\n  b`p -> k`p[2]\n  d`p -> k`p[3]",
         {{"a`f", 1}, {"b`f", -2}, {"d`f", 0.5}, {"k`c[1]", 2}, {"k`c[2]", 0.5}, {"k`c[3]", 4}},
         {"k`p[1].e", "k`p[2].e", "k`p[3].e"},
         [](const Trace& t) {
             expectAt(t, "k`p[1].e", {{1.0, 0.5}}, 1e-9);
             expectAt(t, "k`p[2].e", {{1.0, -4}}, 1e-9);
             expectAt(t, "k`p[3].e", {{1.0, 0.125}}, 1e-9);
         }},
        // Constant efforts e give h = e t, and each flow is h / i.
        {"mp_i", "se;1 a, b\n  mp_i;1 m(2)\nconnections\n  a`p -> m`p[1]\n  b`p -> m`p[2]",
         {{"a`e", 3}, {"b`e", -1}, {"m`i[1]", 2}, {"m`i[2]", 0.5}},
         {"m`p[1].f", "m`p[2].f"},
         [](const Trace& t) {
             expectAt(t, "m`p[1].f", {{1.0, 1.5}}, 1e-9);
             expectAt(t, "m`p[2].f", {{1.0, -2}}, 1e-9);
         }},
        // The first element takes an effort and gives e / r, the second a flow and gives r f.
        {"mp_r", "se;1 a\n  sf;1 b\n  mp_r;1 d(2)\nconnections\n  a`p -> d`p[1]\n  b`p -> d`p[2]",
         {{"a`e", 6}, {"b`f", 2}, {"d`r[1]", 3}, {"d`r[2]", 4}},
         {"d`p[1].f", "d`p[2].e"},
         [](const Trace& t) {
             expectAt(t, "d`p[1].f", {{0.5, 2}}, 1e-12);
             expectAt(t, "d`p[2].e", {{0.5, 8}}, 1e-12);
         }},
        {"mp_tf", pairs + "  mp_tf;1 x(2)\nconnections\n" + bonds, with(loads, {{"x`m[1]", 2}, {"x`m[2]", 0.5}}),
         pairWatched, transformer},
        {"mp_gy", pairs + "  mp_gy;1 x(2)\nconnections\n" + bonds, with(loads, {{"x`r[1]", 2}, {"x`r[2]", 3}}),
         gyratorWatched, gyrator},
        {"mp_mtf", pairs + moduli + "  mp_mtf;1 x(2)\nconnections\n" + bonds + signals("m"),
         with(loads, {{"k1`c", 2}, {"k2`c", 0.5}}), pairWatched, transformer},
        {"mp_mgy", pairs + moduli + "  mp_mgy;1 x(2)\nconnections\n" + bonds + signals("r"),
         with(loads, {{"k1`c", 2}, {"k2`c", 3}}), gyratorWatched, gyrator},
    });
}
