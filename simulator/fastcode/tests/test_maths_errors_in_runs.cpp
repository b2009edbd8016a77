// Maths errors during a run, with the interpreter and with native code: every operation
// that computes through the maths library ends the run with its own message, whether the
// error traps inside the routine or is read from the flags after it.
#include "model_test_support.h"

#include "common/settings_table.h"
#include "platform/core/message_sink.h"
#include "simulator/fastcode/code_emitters.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/integration_methods.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using modeltest::cell;
using modeltest::codeFile;

namespace {

class MathsErrorsInRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunSpecs() = RunSpecification::defaults();
        RunSpecs().method = MethodRungeKutta4;
        RunsAllowed = 1;
        ModelLoadErrors = 0;
        MathErrorOccurred = 0;
        InterruptRequested = 0;
        RunOutput() = {};
        m_warp = Settings().warp;
    }
    void TearDown() override
    {
        FreeFastCode();
        Settings().warp = m_warp;
    }

    /// Loads a model whose dynamic table is the one row over P0 and P1, and runs it.
    void run(const std::string& row, double p0, double p1, bool native)
    {
        ASSERT_EQ(LoadCodeText(codeFile({"#DParam \t2", "\t#real\tp", "\t#real\tq", "#DVariable\t1", "\t#real\tv",
                                         "#Edynamic\t1", row})),
                  0);
        modeltest::resetRunFlags();
        ASSERT_TRUE(BuildFastCode());
        Settings().warp = native ? 1 : 0;
        ASSERT_TRUE(SetVariableValue(KindParameter, 0, p0));
        ASSERT_TRUE(SetVariableValue(KindParameter, 1, p1));
        runToEnd();
    }

    /// Runs the loaded model until the run ends, by itself or by an error.
    void runToEnd()
    {
        sink.clear();
        RequestRun();
        ASSERT_GE(RunUntilIdle(1000000), 0);
    }

    /// The run ended with the one box of a division by zero in the model's dynamic equations,
    /// on their row `row` (counted from 1).
    void expectDivisionByZeroBox(int row)
    {
        ASSERT_EQ(sink.transcript().size(), 1u);
        EXPECT_EQ(sink.transcript()[0].lines,
                  (std::vector<std::string>{"Floating-point library exception", "", "Division by zero in user model.",
                                            "In dynamic-model equations, instruction nr. " + std::to_string(row) + ".",
                                            "The run ended at time 0."}));
    }

    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    modeltest::StatusCapture status;

private:
    int m_warp = 1;
};

} // namespace

TEST_F(MathsErrorsInRuns, EachOperationEndsTheRunWithItsOwnMessage)
{
    struct Case {
        const char* row;
        double p0, p1;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"\tach\tV0\tP0", 0.5, 0, "Domain error in function acosh(0.5)"},
        {"\tath\tV0\tP0", 1.0, 0, "Singularity error in function atanh(1)"},
        {"\tath\tV0\tP0", -3.0, 0, "Domain error in function atanh(-3)"},
        {"\tex2\tV0\tP0", 1100.0, 0, "Overflow error in function exp2(1100)"},
        {"\tex2\tV0\tP0", -1100.0, 0, "Underflow error in function exp2(-1100)"},
        {"\texx\tV0\tP0", 400.0, 0, "Overflow error in function exp10(400)"},
        {"\tlg2\tV0\tP0", 0.0, 0, "Singularity error in function log2(0)"},
        {"\tlgx\tV0\tP0", -1.0, 0, "Domain error in function log10(-1)"},
        {"\tipw\tV0\tP0\tP1", 0.0, -1.5, "Singularity error in function pow(0)"},
        {"\tipw\tV0\tP0\tP1", 1e10, 40.0, "Overflow error in function pow(1e+10)"},
        {"\tpow\tV0\tP0\tP1", 1e-300, 2.0, "Underflow error in function pow(1e-300)"},
        {"\tlog\tV0\tP0", -2.0, 0, "Domain error in function log(-2)"},
    };
    for (const Case& c : cases)
        for (bool native : {false, true}) {
            SCOPED_TRACE(std::string(c.text) + (native ? " (native)" : " (interpreter)"));
            run(c.row, c.p0, c.p1, native);
            ASSERT_EQ(sink.transcript().size(), 1u);
            EXPECT_EQ(sink.transcript()[0].lines,
                      (std::vector<std::string>{"Math-library exception", "", c.text, "The run ended at time 0.",
                                                "Check your model and integration method parameters"}));
            EXPECT_EQ(LastRunSummary().rfind("Floating point exception.  Model evaluations: ", 0), 0u) << LastRunSummary();
            EXPECT_EQ(Simulating, 0);
            EXPECT_EQ(SimulationTime, 0.0); // the very first evaluation ended the run
            EXPECT_EQ(fegetexcept(), 0);
        }
}

TEST_F(MathsErrorsInRuns, SoundValuesRunToTheEndAlike)
{
    // Values near the edges that are no error: subnormal results (the library flags underflow
    // even for an exact one), huge arguments whose results are finite, an integer power of a
    // negative base.
    struct Case {
        const char* row;
        double p0, p1;
    };
    const std::vector<Case> cases = {
        {"\tash\tV0\tP0", -1e300, 0}, {"\tach\tV0\tP0", 1e300, 0}, {"\tsin\tV0\tP0", 1e-310, 0},
        {"\tipw\tV0\tP0\tP1", -2.0, 3.7}, {"\tlgx\tV0\tP0", 1e-300, 0}, {"\tex2\tV0\tP0", -1074.0, 0},
    };
    for (const Case& c : cases) {
        double results[2];
        for (bool native : {false, true}) {
            SCOPED_TRACE(std::string(c.row) + (native ? " (native)" : " (interpreter)"));
            run(c.row, c.p0, c.p1, native);
            EXPECT_TRUE(sink.transcript().empty());
            EXPECT_EQ(LastRunSummary().rfind("Simulation finished.", 0), 0u) << LastRunSummary();
            results[native] = cell('V', 0);
        }
        EXPECT_TRUE(std::isfinite(results[0])) << c.row;
        EXPECT_EQ(std::memcmp(&results[0], &results[1], sizeof(double)), 0) << c.row;
    }
}

TEST_F(MathsErrorsInRuns, ATrapInInlineArithmeticIsNoErrorOfTheMathsRowBeforeIt)
{
    // Native code sets the cursor only where it calls out: the division traps on its own row,
    // not on the `log` before it, and the message is the interpreter's.
    for (bool native : {false, true}) {
        SCOPED_TRACE(native ? "native" : "interpreter");
        ASSERT_EQ(LoadCodeText(codeFile({"#DParam \t2", "\t#real\tp", "\t#real\tq", "#DVariable\t2", "\t#real\tv",
                                         "\t#real\tw", "#Edynamic\t2", "\tlog\tV0\tP0", "\tdiv\tV1\tV0\tP1"})),
                  0);
        modeltest::resetRunFlags();
        ASSERT_TRUE(BuildFastCode());
        Settings().warp = native ? 1 : 0;
        ASSERT_TRUE(SetVariableValue(KindParameter, 0, 2.0));
        ASSERT_TRUE(SetVariableValue(KindParameter, 1, 0.0));
        ASSERT_NO_FATAL_FAILURE(runToEnd());
        ASSERT_NO_FATAL_FAILURE(expectDivisionByZeroBox(2));
        int index = -1;
        std::string name;
        EXPECT_EQ(LocateInstruction(index, name), -1);
        EXPECT_EQ(name, "dynamic-model");
    }
}

// A trap in the model's own equations is told as in the model, on the table and row where it
// came (0 / 0 at t = 0, as a divider from the library gives it), whichever table holds the row
// and whether the rows run interpreted or as native code; a trap that comes after the model's
// evaluation, in what the method does with it, is still told as outside the model.
TEST_F(MathsErrorsInRuns, ATrapInTheModelsEquationsIsToldThereAndOneAfterThemOutside)
{
    struct Case {
        std::vector<std::string> rows;
        std::vector<std::string> lines; ///< the box's third and fourth lines
        bool raiseAfterTheModel = false;
    };
    const std::vector<Case> cases = {
        {{"#Edynamic\t1", "\tdiv\tV0\tP0\tP1"},
         {"Invalid operation in user model.", "In dynamic-model equations, instruction nr. 1."}},
        {{"#Edynamic\t3", "\tmov\tV1\tP0", "\tadd\tV1\tV1\tP1", "\tdiv\tV0\tV1\tP1"},
         {"Invalid operation in user model.", "In dynamic-model equations, instruction nr. 3."}},
        {{"#EInitial\t2", "\tmov\tV1\tP1", "\tdiv\tV0\tP0\tV1"},
         {"Invalid operation in user model.", "In initialization equations, instruction nr. 2."}},
        {{"#Eoutputs\t1", "\tdiv\tV0\tP0\tP1"},
         {"Invalid operation in user model.", "In output equations, instruction nr. 1."}},
        {{"#Edynamic\t1", "\tmov\tV0\tP0"},
         {"User program raised FPE signal outside user model.", "Probably in integration method."},
         true},
    };
    for (const Case& c : cases)
        for (bool native : {false, true}) {
            SCOPED_TRACE(c.lines[1] + (native ? " (native)" : " (interpreter)"));
            std::vector<std::string> text = {"#DParam \t2", "\t#real\tp", "\t#real\tq",
                                             "#DVariable\t2", "\t#real\tv", "\t#real\tw"};
            text.insert(text.end(), c.rows.begin(), c.rows.end());
            std::string code = "#Hclass\tmodel\n#Hversion\t1\n";
            for (const std::string& line : text)
                code += line + "\n";
            ASSERT_EQ(LoadCodeText(modeltest::withEquationSections(code)), 0);
            modeltest::resetRunFlags();
            ASSERT_TRUE(BuildFastCode());
            Settings().warp = native ? 1 : 0;
            ASSERT_TRUE(SetVariableValue(KindParameter, 0, 0.0));
            ASSERT_TRUE(SetVariableValue(KindParameter, 1, 0.0));
            if (c.raiseAfterTheModel)
                RunOutput().step = [] { std::raise(SIGFPE); };
            ASSERT_NO_FATAL_FAILURE(runToEnd());
            RunOutput() = {};
            ASSERT_EQ(sink.transcript().size(), 1u);
            EXPECT_EQ(sink.transcript()[0].lines,
                      (std::vector<std::string>{"Floating-point library exception", "", c.lines[0], c.lines[1],
                                                "The run ended at time 0."}));
            EXPECT_EQ(LastRunSummary().rfind("Floating point exception.", 0), 0u) << LastRunSummary();
            EXPECT_EQ(InUserModel, 0) << "the recovery point leaves the model's code behind";
            EXPECT_EQ(fegetexcept(), 0);
        }
}

TEST_F(MathsErrorsInRuns, ATrapInARunOfAlikeRowsIsPutOnItsRow)
{
    // Forty divisions of alike cells run as one loop in native code; the one by zero traps, and
    // its row is found from the trap's address and the repetition. Two or four repetitions at a
    // time, they run again one at a time from the trap: the trap comes on a later lane's row as
    // on the first lane's, with the results of the rows before it stored.
    constexpr int Rows = 40;
    std::string text = "#Hclass\trun\n#Hversion\t1\n#DParam \t" + std::to_string(Rows + 1) + "\n";
    for (int i = 0; i <= Rows; ++i)
        text += "\t#real\tp" + std::to_string(i) + "\n";
    text += "#DVariable\t" + std::to_string(Rows) + "\n";
    for (int i = 0; i < Rows; ++i)
        text += "\t#real\tv" + std::to_string(i) + "\n";
    text += "#EInitial\t0\n#Einputs\t0\n#Edynamic\t" + std::to_string(Rows) + "\n";
    for (int i = 0; i < Rows; ++i)
        text += "\tdiv\tV" + std::to_string(i) + "\tP0\tP" + std::to_string(i + 1) + "\n";
    text += "#Eoutputs\t0\n";
    struct Case {
        bool native;
        std::size_t lanes;
        int zero; ///< the row that divides by zero, where the trap is put, the first row left unstored
    };
    std::vector<Case> cases = {{false, 1, 23}};
    for (std::size_t lanes : {1, 2, 4})
        for (int zero : {20, 21, 22, 23, 38})
            cases.push_back({true, lanes, zero});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.native) + std::to_string(c.lanes) + " " + std::to_string(c.zero));
        LimitLoopLanes(c.lanes);
        ASSERT_EQ(LoadCodeText(text), 0);
        modeltest::resetRunFlags();
        ASSERT_TRUE(BuildFastCode());
        LimitLoopLanes(4);
        ASSERT_LT(FastCodeBlockSize(2), std::size_t(Rows) * 24 / 2); // a loop, not forty patterns
        Settings().warp = c.native ? 1 : 0;
        for (int i = 0; i <= Rows; ++i)
            ASSERT_TRUE(SetVariableValue(KindParameter, i, i == c.zero + 1 ? 0.0 : 2.0));
        ASSERT_NO_FATAL_FAILURE(runToEnd());
        ASSERT_NO_FATAL_FAILURE(expectDivisionByZeroBox(c.zero + 1));
        int index = -1;
        std::string name;
        EXPECT_EQ(LocateInstruction(index, name), -c.zero);
        EXPECT_EQ(name, "dynamic-model");
        EXPECT_EQ(cell('V', c.zero - 1), 1.0); // the rows before it ran, the rows after it did not
        EXPECT_EQ(cell('V', c.zero), 0.0);
        EXPECT_EQ(cell('V', c.zero + 1), 0.0);
    }
}

namespace {

/// A table of one run of alike rows that native code takes several repetitions at a time: each row
/// adds, subtracts, multiplies, divides, squares or copies cells of streams that advance by
/// one to three cells a repetition (streams of a stride interleaved), reading the parameters
/// or what the repetition's earlier rows wrote. The parameters hold 1 to 2, but one row divides
/// by a parameter that is zero in one repetition, so that the row traps there (or the run traps
/// before, on a division by what an earlier row made zero).
struct LaneRun {
    struct Stream {
        char kind;
        int start, stride;
        std::string at(int repetition) const
        {
            return std::string(1, kind) + std::to_string(start + repetition * stride);
        }
    };
    int period = 0, repeats = 0;
    std::vector<std::string> text;     ///< the rows
    std::vector<double> parameters;
    int trapRepetition = 0, trapRow = 0;

    static constexpr int Parameters = 600, Values = 800;

    explicit LaneRun(std::mt19937_64& random)
    {
        period = 1 + int(random() % 8);
        repeats = 16 + int(random() % 21);
        int nextP = 0, nextV = 0;
        auto streams = [&](char kind, int& next, int count) {
            std::vector<Stream> out;
            while (int(out.size()) < count) {
                const int stride = 1 + int(random() % 3);
                const int together = std::min(count - int(out.size()), 1 + int(random() % unsigned(stride)));
                for (int j = 0; j < together; ++j)
                    out.push_back({kind, next + j, stride});
                next += stride * repeats;
            }
            return out;
        };
        const std::vector<Stream> inputs = streams('P', nextP, 2 + int(random() % 3));
        const std::vector<Stream> results = streams('V', nextV, 2 + int(random() % 5));
        static const char* const operations[] = {"add", "sub", "mul", "div", "pw2", "mov"};
        struct Row {
            std::string mnemonic;
            Stream destination;
            std::vector<Stream> operands;
        };
        std::vector<Row> body;
        std::vector<Stream> written;
        for (int k = 0; k < period; ++k) {
            Row row{operations[random() % std::size(operations)], results[random() % results.size()], {}};
            const int operands = row.mnemonic == "pw2" || row.mnemonic == "mov" ? 1 : 2;
            for (int f = 0; f < operands; ++f) {
                const bool earlier = !written.empty() && random() % 2;
                row.operands.push_back(earlier ? written[random() % written.size()] : inputs[random() % inputs.size()]);
            }
            written.push_back(row.destination);
            body.push_back(row);
        }
        // The trap: one row divides by a parameter, which is zero in one repetition.
        trapRow = int(random() % unsigned(period));
        Row& trapping = body[std::size_t(trapRow)];
        trapping.mnemonic = "div";
        trapping.operands.resize(1, inputs[0]);
        trapping.operands.push_back(inputs[random() % inputs.size()]);
        trapRepetition = int(random() % unsigned(repeats));
        for (int r = 0; r < repeats; ++r)
            for (const Row& row : body) {
                std::string line = "\t" + row.mnemonic + "\t" + row.destination.at(r);
                for (const Stream& operand : row.operands)
                    line += "\t" + operand.at(r);
                text.push_back(line);
            }
        parameters.resize(Parameters);
        for (double& p : parameters)
            p = 1.0 + double(random() % 1024) / 1024.0;
        const Stream& divisor = trapping.operands[1];
        parameters[std::size_t(divisor.start + trapRepetition * divisor.stride)] = 0.0;
    }

    std::string codeText() const
    {
        std::string out = "#Hclass\tlanes\n#Hversion\t1\n#DParam \t" + std::to_string(Parameters) + "\n";
        for (int i = 0; i < Parameters; ++i)
            out += "\t#real\tp" + std::to_string(i) + "\n";
        out += "#DVariable\t" + std::to_string(Values) + "\n";
        for (int i = 0; i < Values; ++i)
            out += "\t#real\tv" + std::to_string(i) + "\n";
        out += "#EInitial\t0\n#Einputs\t0\n#Edynamic\t" + std::to_string(text.size()) + "\n";
        for (const std::string& line : text)
            out += line + "\n";
        return out + "#Eoutputs\t0\n";
    }
};

} // namespace

TEST_F(MathsErrorsInRuns, ATrapInALoopOfSeveralLanesComesOnTheInterpretersRowWithItsCells)
{
    // Whichever repetition of two or four run side by side and whichever row of the body traps,
    // native code ends the run as the interpreter does: the same box, the same row, and the
    // same bits in every cell, written before the trap or not.
    std::mt19937_64 random(3205);
    struct Counts {
        int loops = 0, laterLane = 0, laterRow = 0;
    } counts[5];
    for (int round = 0; round < 200; ++round) {
        const LaneRun run(random);
        const std::size_t lanes = round % 2 ? 4 : 2;
        SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(lanes) + " lanes, period " +
                     std::to_string(run.period) + ", repeats " + std::to_string(run.repeats) +
                     ", trap in repetition " + std::to_string(run.trapRepetition) + " row " +
                     std::to_string(run.trapRow));
        struct Ending {
            std::vector<std::vector<std::string>> boxes;
            std::int64_t located = 0;
            std::string table, summary;
            std::vector<std::uint64_t> cells;
        } endings[2];
        std::size_t built = 1;
        for (bool native : {false, true}) {
            ASSERT_EQ(LoadCodeText(run.codeText()), 0);
            modeltest::resetRunFlags();
            LimitLoopLanes(lanes);
            ASSERT_TRUE(BuildFastCode());
            if (native) {
                CodeEmission emission;
                ChooseCellBase(InstructionTables()[2].rows, emission);
                const std::vector<RowLoop> loops = FindRowLoops(InstructionTables()[2].rows, emission);
                if (loops.size() == 1 && loops[0].period == std::size_t(run.period))
                    built = loops[0].lanes;
            }
            LimitLoopLanes(4);
            Settings().warp = native ? 1 : 0;
            for (int i = 0; i < LaneRun::Parameters; ++i)
                ASSERT_TRUE(SetVariableValue(KindParameter, i, run.parameters[std::size_t(i)]));
            ASSERT_NO_FATAL_FAILURE(runToEnd());
            Ending& ending = endings[native];
            for (const auto& box : sink.transcript())
                ending.boxes.push_back(box.lines);
            int index = -1;
            ending.located = LocateInstruction(index, ending.table);
            ending.summary = LastRunSummary();
            ending.cells = modeltest::cellBits();
        }
        ASSERT_EQ(endings[0].boxes.size(), 1u);
        EXPECT_EQ(endings[1].boxes, endings[0].boxes);
        EXPECT_EQ(endings[1].located, endings[0].located);
        EXPECT_EQ(endings[1].table, "dynamic-model");
        EXPECT_EQ(endings[1].summary.rfind("Floating point exception.", 0), 0u) << endings[1].summary;
        EXPECT_TRUE(endings[1].cells == endings[0].cells);
        const std::int64_t row = -endings[0].located, repetition = row / run.period;
        Counts& count = counts[built];
        ++count.loops;
        count.laterLane += repetition % std::int64_t(built) > 0 && repetition < run.repeats - run.repeats % std::int64_t(built);
        count.laterRow += row % run.period > 0;
    }
    // Most runs take several lanes, and traps come in the later lanes and on later rows.
    for (std::size_t lanes : {2, 4}) {
        SCOPED_TRACE(std::to_string(lanes) + " lanes");
        if (lanes == 4 && !__builtin_cpu_supports("avx"))
            continue; // two at most
        EXPECT_GT(counts[lanes].loops, 70);
        EXPECT_GT(counts[lanes].laterLane, 20);
        EXPECT_GT(counts[lanes].laterRow, 20);
    }
}
