// From Keldor text to a running C program: a model processed by the model processor,
// loaded by the simulator, which saves the experiment; the program generated from the
// processor's equation file and that experiment follows the simulator's own runs.
#include "codegen/generation.h"
#include "codegen/submodel_writer.h"
#include "codegen/tests/program_runner.h"
#include "common/settings_table.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/integration_methods.h"
#include "simulator/model_variables.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <string>
#include <vector>

using codegentest::ProgramRun;

namespace {

std::string sourcePath(const std::string& relative)
{
    return std::string(ORVANTA_SOURCE_DIR) + "/" + relative;
}

/// A model to take through the whole chain, with the values its experiment gets.
struct ModelCase {
    std::string source;                  ///< the Keldor file, relative to the source tree
    std::map<std::string, double> parameters; ///< by the last part of the parameter's name
    std::vector<double> initials;        ///< the initial conditions in order
};

void PrintTo(const ModelCase& model, std::ostream* out)
{
    *out << model.source;
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

/// The part of a hierarchical name after its last separator.
std::string lastPart(const std::string& name)
{
    std::size_t at = name.find_last_of("`\\.");
    return at == std::string::npos ? name : name.substr(at + 1);
}

/// One output sample: the time and each plotted quantity by its name.
struct Sample {
    double time = 0.0;
    std::map<std::string, double> values;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().messages = 1;
        setProcessorLog([this](const std::string& line) { log += line + "\n"; });
        ttset_error_callback(ttdisplay_error_comp);
        ttset_progress_callback(ttdisplay_progress_comp);
        ttset_diag_callback(ttdisplay_diag_comp);
        RunSpecs() = RunSpecification::defaults();
        RunsAllowed = 1;
        SimulatorState = StateNoModel;
        ExperimentEdited = 0;
    }
    void TearDown() override
    {
        setProcessorLog(nullptr);
        ttset_error_callback(nullptr);
        ttset_progress_callback(nullptr);
        ttset_diag_callback(nullptr);
        RunOutput() = {};
        ExperimentEdited = 0;
        ResetSettings();
        release_all();
    }

    /// Copies the model and its elements into the work folder and processes it fully;
    /// the processor's result code.
    int process(const ModelCase& model)
    {
        // Every element of the library and every submodel of the examples.
        for (const std::string folder : {"examples/library", "examples/models"}) {
            const std::string from = sourcePath(folder);
            for (const std::string& entry : platform::listDirectory(from).value_or(std::vector<std::string>{}))
                if (endsWith(entry, ".sf0") || endsWith(entry, ".sg0"))
                    copyIn(from + "/" + entry, entry);
        }
        const std::string file = copyIn(sourcePath(model.source), model.source.substr(model.source.rfind('/') + 1));
        Settings().model_dirs = dir.path();
        Pipeline() = PipelineState{};
        Pipeline().modelFile = file;
        Pipeline().depth = 6;
        Pipeline().workingDirectory = dir.path();
        return ttprocess_model();
    }

    /// Copies a file into the work folder under the name; its path there.
    std::string copyIn(const std::string& from, const std::string& name)
    {
        std::optional<std::string> text = platform::readFile(from);
        EXPECT_TRUE(text) << from;
        return dir.write(name, text.value_or(std::string()));
    }

    /// The one file of the work folder with that extension; empty when none or several.
    std::string onlyFileWith(const std::string& extension)
    {
        std::string found;
        for (const std::string& entry : platform::listDirectory(dir.path()).value_or(std::vector<std::string>{})) {
            if (endsWith(entry, extension)) {
                if (!found.empty())
                    return {};
                found = dir.file(entry);
            }
        }
        return found;
    }

    /// Gives every parameter and initial condition its value and plots every state and
    /// variable (as many as there are curves).
    void prepareExperiment(const ModelCase& model)
    {
        const VariableKind& parameters = Variables().kinds[KindParameter];
        for (int i = 0; i < parameters.count; ++i) {
            const std::string name = GetVariableName(KindParameter, i, 0);
            double value = 0.5 + 0.25 * (i % 5);
            if (!model.parameters.empty()) {
                auto given = model.parameters.find(lastPart(name));
                ASSERT_NE(given, model.parameters.end()) << "no value for parameter " << name;
                value = given->second;
            }
            ASSERT_TRUE(SetVariableValue(KindParameter, i, value));
        }
        const VariableKind& initials = Variables().kinds[KindInitial];
        if (!model.initials.empty()) {
            ASSERT_EQ(static_cast<std::size_t>(initials.count), model.initials.size());
        }
        for (int i = 0; i < initials.count; ++i) {
            const auto at = static_cast<std::size_t>(i);
            ASSERT_TRUE(SetVariableValue(KindInitial, i, model.initials.empty() ? 0.1 * (i + 1) : model.initials[at]));
        }

        PlotSpecification& specs = PlotSpecs();
        ResetPlotSpecs(specs);
        int curve = 0;
        for (int kind : {KindState, KindVariable}) {
            for (int i = 0; i < Variables().kinds[kind].count && curve < CurveCount; ++i) {
                PlotCurve& c = specs.curves[static_cast<std::size_t>(curve)];
                c.kind = kind;
                c.variable = i;
                c.nameIndex = 0;
                c.index = curve++;
                c.display = 1;
            }
        }
        CountPlotCurves(specs);
        ASSERT_GT(curve, 0);
    }

    /// Runs the loaded model with the method and step from 0 to `finish`; the samples of
    /// the plotted quantities.
    std::vector<Sample> simulate(int method, double step, double finish)
    {
        RunSpecs().method = method;
        RunSpecs().startTime = 0.0;
        RunSpecs().finishTime = finish;
        RunSpecs().settings[method][RowStep].value = step;
        std::vector<Sample> samples;
        RunOutput() = {};
        RunOutput().step = [&samples] {
            Sample sample{SimulationTime, {}};
            for (const PlotCurve& curve : PlotSpecs().curves)
                if (curve.hasVariable())
                    sample.values[PlotCurveName(curve)] = Variables().kinds[curve.kind].values[curve.variable];
            samples.push_back(sample);
        };
        RunStopFlag = 0;
        RestartFlag = 0;
        FirstEvaluationFlag = 0;
        EvaluationCount = 0;
        RequestRun();
        EXPECT_GT(RunUntilIdle(10000000), 0);
        RunOutput() = {};
        return samples;
    }

    /// Generates the program of the equation file and a saved experiment, builds it with
    /// the flags and runs it.
    ProgramRun generateAndRun(const std::string& equationFile, const std::string& experiment, const char* flags)
    {
        const std::string out = dir.mkdir("out_" + experiment);
        GenerationRequest request{equationFile, dir.file(experiment), experiment, out, 1};
        EXPECT_TRUE(GenerateStandAlone(request));
        ProgramRun run = codegentest::compileAndRun(out, flags);
        EXPECT_EQ(run.compileStatus, 0) << run.compileOutput;
        EXPECT_EQ(run.runStatus, 0) << run.errors;
        EXPECT_EQ(run.errors, "");
        return run;
    }

    testsupport::TempDir dir;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    std::string log;
};

/// The program's blocks equal the simulator's samples at equal times, each quantity to
/// `tolerance` relative to its largest magnitude over the run.
void expectSameTrajectory(const std::vector<codegentest::OutputBlock>& blocks, const std::vector<Sample>& samples,
                          double tolerance)
{
    ASSERT_EQ(blocks.size(), samples.size());
    ASSERT_FALSE(samples.empty());
    std::map<std::string, double> scale;
    for (const Sample& s : samples)
        for (const auto& [name, value] : s.values)
            scale[name] = std::max(scale[name], std::fabs(value));
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const Sample& s = samples[k];
        const codegentest::OutputBlock& b = blocks[k];
        ASSERT_NEAR(b.time, s.time, 1e-12 * std::max(1.0, std::fabs(s.time))) << "sample " << k;
        ASSERT_EQ(b.values.size(), s.values.size()) << "sample " << k;
        for (const auto& [name, value] : s.values) {
            auto printed = b.values.find(name);
            ASSERT_NE(printed, b.values.end()) << name << " is not printed";
            EXPECT_LE(std::fabs(printed->second - value), tolerance * std::max(scale[name], 1e-300))
                << name << " at t = " << s.time << ": program " << printed->second << ", simulator " << value;
        }
    }
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// A derivative gives the processor's file a dependent state, which the fixed-step
// program has no array for: the generator names it in one box and writes nothing.
TEST_F(EndToEnd, DependentStatesOfTheProcessorAreRefusedAndNothingIsWritten)
{
    ASSERT_EQ(process(ModelCase{"codegen/tests/fixtures/deriv.mf0", {}, {}}), 3) << log;
    const std::string out = dir.mkdir("out");
    const GenerationResult result = GenerateStandAlone(GenerationRequest{onlyFileWith(".e"), "", "", out, 1});
    EXPECT_FALSE(result);
    std::vector<std::string> lines = sink.transcriptLines();
    ASSERT_EQ(sink.transcript().size(), 1u) << joined(lines);
    EXPECT_EQ(lines.front(), "The quantity S0 (a dependent state, y_dep_state) has no array in the generated code")
        << joined(lines);
    ASSERT_EQ(lines.size(), 4u) << joined(lines);
    EXPECT_EQ(lines[1], "A model with a mass, an inertia or another storage in derivative causality, or a ddt, "
                        "cannot be exported.");
    EXPECT_EQ(lines[2], "in equation: S0 = s0 * s0");
    EXPECT_EQ(result.reason, lines.front());
    EXPECT_EQ(platform::listDirectory(out)->size(), 2u) << "only . and ..";
}

/// The entry of the kind with that name among its names, or -1.
int entryNamed(int kind, const std::string& name)
{
    for (int i = 0; i < Variables().kinds[kind].count; ++i)
        if (FindNameInEntry(kind, i, name.c_str()) >= 0)
            return i;
    return -1;
}

/// Sets the named parameters and initial conditions of the loaded model.
void setValues(int kind, const std::map<std::string, double>& values)
{
    for (const auto& [name, value] : values) {
        const int entry = entryNamed(kind, name);
        ASSERT_GE(entry, 0) << "no " << name;
        ASSERT_TRUE(SetVariableValue(kind, entry, value)) << name;
    }
}

// The DC motor inside mload, extracted and written as a function with the shaft's
// speed as its input and the shaft's torque as its output: at a constant speed its
// Runge-Kutta steps are those of the simulator running the motor alone.
TEST_F(EndToEnd, ExtractedMotorFunctionStepsAsTheSimulatorRunsTheMotorAlone)
{
    const std::map<std::string, double> motor{
        {"drive`u`e", 12.0}, {"drive`ra`r", 0.8}, {"drive`la`i", 0.05}, {"drive`km`r", 0.6}};
    const std::map<std::string, double> current{{"drive`ja`p[3].e_indep_state", 0.01}};
    const double speed = 3.0, step = 0.01, finish = 1.0;

    ASSERT_EQ(process(ModelCase{"examples/models/mload1.mg0", {}, {}}), 3) << log;
    ASSERT_EQ(LoadModel(dir.path(), "mload1"), 1) << joined(sink.transcriptLines());
    setValues(KindParameter, motor);
    setValues(KindParameter, {{"jm`i", 0.2}, {"b`r", 0.1}});
    setValues(KindInitial, current);
    if (HasFatalFailure())
        return;
    RunSpecs().method = MethodRungeKutta4;
    RunSpecs().startTime = 0.0;
    RunSpecs().finishTime = finish;
    RunSpecs().settings[MethodRungeKutta4][RowStep].value = step;
    ASSERT_EQ(SaveExperiment(dir.path(), "motor"), 1);

    const std::string out = dir.mkdir("function");
    ASSERT_TRUE(GenerateSubmodelFunction(GenerationRequest{dir.file("mload1.e"), dir.file("motor"), "motor", out, 0},
                                         BlockRequest{"drive", "dcm"}))
        << joined(sink.transcriptLines());
    const std::string block = testsupport::readText(out + "/xxsubmod.c");
    EXPECT_NE(block.find("XXInteger xx_number_of_inputs = 1;"), std::string::npos) << block;
    EXPECT_NE(block.find("XXInteger xx_number_of_outputs = 1;"), std::string::npos);
    ProgramRun function = codegentest::compileAndRunFiles(
        out, std::string(codegentest::kStrictFlags) + " -I.",
        "xxsubmod.c xxmodel.c xxinteg.c xxfuncs.c '" + sourcePath("codegen/tests/submodel_host.c") + "'",
        "100 " + std::to_string(speed) + " 0");
    ASSERT_EQ(function.compileStatus, 0) << function.compileOutput;
    ASSERT_EQ(function.runStatus, 0) << function.errors;

    ASSERT_EQ(process(ModelCase{"codegen/tests/fixtures/dcmsolo.mg0", {}, {}}), 3) << log;
    ASSERT_EQ(LoadModel(dir.path(), "dcmsolo1"), 1) << joined(sink.transcriptLines());
    setValues(KindParameter, motor);
    setValues(KindParameter, {{"w`f", speed}});
    setValues(KindInitial, current);
    if (HasFatalFailure())
        return;
    PlotSpecification& specs = PlotSpecs();
    ResetPlotSpecs(specs);
    const std::pair<int, std::string> curves[] = {{KindState, "drive`ja`p[3].e_indep_state"},
                                                  {KindVariable, "drive`km`p2.e"}};
    for (std::size_t i = 0; i < std::size(curves); ++i) {
        PlotCurve& curve = specs.curves[i];
        curve.kind = curves[i].first;
        curve.variable = entryNamed(curves[i].first, curves[i].second);
        ASSERT_GE(curve.variable, 0) << curves[i].second;
        curve.nameIndex = FindNameInEntry(curve.kind, curve.variable, curves[i].second.c_str());
        curve.index = static_cast<int>(i);
        curve.display = 1;
    }
    CountPlotCurves(specs);
    std::vector<Sample> samples = simulate(MethodRungeKutta4, step, finish);

    ASSERT_EQ(function.blocks.size(), samples.size());
    double largest = 0;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const Sample& sample = samples[k];
        const codegentest::OutputBlock& b = function.blocks[k];
        ASSERT_NEAR(b.time, sample.time, 1e-12) << "step " << k;
        const double flux = sample.values.at("drive`ja`p[3].e_indep_state");
        const double torque = sample.values.at("drive`km`p2.e");
        EXPECT_NEAR(b.values.at("s0"), flux, 1e-12 * std::max(1.0, std::fabs(flux))) << "t = " << sample.time;
        EXPECT_NEAR(b.values.at("y0"), torque, 1e-12 * std::max(1.0, std::fabs(torque))) << "t = " << sample.time;
        largest = std::max(largest, std::fabs(torque));
    }
    EXPECT_GT(largest, 1.0) << "the motor works";
}

class ModelChain : public EndToEnd, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelChain, GeneratedProgramFollowsTheSimulatorsEulerAndRungeKuttaRuns)
{
    const ModelCase& model = GetParam();

    ASSERT_EQ(process(model), 3) << log;
    const std::string equationFile = onlyFileWith(".e");
    const std::string codeFile = onlyFileWith(".l");
    ASSERT_FALSE(codeFile.empty()) << log;
    ASSERT_FALSE(equationFile.empty()) << log;

    // A fixed-step program has no place for algebraic loops or dependent states: such
    // a model is refused with its message and nothing is written.
    const std::string equations = testsupport::readText(equationFile);
    if (equations.find("\n#DAlgloop") != std::string::npos || equations.find("\n#DState_dept") != std::string::npos) {
        const std::string out = dir.mkdir("refused");
        EXPECT_FALSE(GenerateStandAlone(GenerationRequest{equationFile, "", "", out, 1}));
        const std::vector<std::string> lines = sink.transcriptLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.front() == "Models with algebraic loops are not supported in code generation" ||
                    (lines.front().rfind("The quantity ", 0) == 0 &&
                     lines.front().find(" (a dependent ") != std::string::npos))
            << joined(lines);
        EXPECT_EQ(platform::listDirectory(out)->size(), 2u) << "only . and ..";
        return;
    }

    // The processed files are named after the class and its version.
    const std::string processedName = codeFile.substr(dir.path().size() + 1, codeFile.size() - dir.path().size() - 3);
    ASSERT_EQ(LoadModel(dir.path(), processedName), 1) << joined(sink.transcriptLines());
    prepareExperiment(model);
    if (HasFatalFailure())
        return;

    // The second program also runs under the address and undefined-behaviour sanitizers.
    struct Method {
        int method;
        double step;
        const char* experiment;
        const char* flags;
    };
    for (const Method& m : {Method{MethodEuler, 0.01, "euler", codegentest::kStrictFlags},
                            Method{MethodRungeKutta4, 0.02, "rk4", codegentest::kSanitizerFlags}}) {
        SCOPED_TRACE(m.experiment);
        std::vector<Sample> samples = simulate(m.method, m.step, 3.0);
        ASSERT_EQ(SaveExperiment(dir.path(), m.experiment), 1);
        ProgramRun run = generateAndRun(equationFile, m.experiment, m.flags);
        expectSameTrajectory(run.blocks, samples, 1e-9);
    }
    EXPECT_TRUE(sink.transcript().empty()) << joined(sink.transcriptLines());
}

/// Our own models with chosen values, then every main model shipped in examples/models
/// with plain values.
std::vector<ModelCase> chainModels()
{
    std::vector<ModelCase> models{
        {"codegen/tests/fixtures/msd.mg0", {{"e", 1.5}, {"i", 2.0}, {"c", 0.125}, {"r", 0.4}}, {0.3, -0.2}},
        {"codegen/tests/fixtures/drive.mf0", {{"l", 0.8}, {"g", 9.81}, {"d", 0.3}, {"a", 1.2}, {"w", 2.5}}, {0.4, 1.1}},
    };
    std::vector<std::string> examples =
        platform::listDirectory(sourcePath("examples/models")).value_or(std::vector<std::string>{});
    std::sort(examples.begin(), examples.end());
    for (const std::string& entry : examples)
        if (endsWith(entry, ".mg0") || endsWith(entry, ".mf0"))
            models.push_back(ModelCase{"examples/models/" + entry, {}, {}});
    return models;
}

INSTANTIATE_TEST_SUITE_P(Models, ModelChain, ::testing::ValuesIn(chainModels()),
                         [](const ::testing::TestParamInfo<ModelCase>& info) {
                             const std::string& source = info.param.source;
                             std::string name = source.substr(source.rfind('/') + 1);
                             name = name.substr(0, name.find('.'));
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return (source.rfind("examples/", 0) == 0 ? "example_" : "") + name;
                         });

} // namespace
