// Native code against the interpreter: every operation over a grid of special values,
// the code files of the model-code tests, and random tables with forward and backward
// jumps. Every cell, flag, message, status text and floating-point exception flag must
// come out the same, to the bit.
#include "model_test_support.h"

#include "common/settings_table.h"
#include "platform/core/message_sink.h"
#include "simulator/fastcode/code_emitters.h"
#include "simulator/fastcode/fast_code.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

using modeltest::cell;
using modeltest::codeFile;

namespace {

const double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

/// Values that exercise the edges of every operation.
const std::vector<double> Specials = {
    0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 3.0, -2.5, 7.9, 1e-310, -1e-310, 708.5, -709.0, 710.0, 1e20, -1e20,
    1.7e308, -1.7e308, Inf, -Inf, NaN, -NaN, M_PI, 1e16 * M_PI, 9.3e18, -3e9,
};

/// What one evaluation sequence left behind.
struct Outcome {
    std::vector<std::uint64_t> cells;
    int runStop = 0, restart = 0, fpFlags = 0;
    UserCallRegisters userCall;
    std::vector<std::string> messages, status;
    long evaluations = 0;

    bool operator==(const Outcome& o) const
    {
        return cells == o.cells && runStop == o.runStop && restart == o.restart && fpFlags == o.fpFlags &&
               userCall.inputs == o.userCall.inputs && userCall.inputCount == o.userCall.inputCount &&
               userCall.outputs == o.userCall.outputs && userCall.outputCount == o.userCall.outputCount &&
               messages == o.messages && status == o.status && evaluations == o.evaluations;
    }
};

/// The first cell that differs, for the failure message.
std::string difference(const Outcome& a, const Outcome& b)
{
    std::ostringstream out;
    for (std::size_t i = 0; i < std::min(a.cells.size(), b.cells.size()); ++i)
        if (a.cells[i] != b.cells[i]) {
            double x, y;
            std::memcpy(&x, &a.cells[i], 8);
            std::memcpy(&y, &b.cells[i], 8);
            out << "cell " << i << ": " << x << " / " << y << "; ";
            break;
        }
    out << "stop " << a.runStop << "/" << b.runStop << " restart " << a.restart << "/" << b.restart << " flags "
        << a.fpFlags << "/" << b.fpFlags << " messages " << a.messages.size() << "/" << b.messages.size()
        << " status " << a.status.size() << "/" << b.status.size();
    return out.str();
}

/// Runs the four evaluators as a short run does: the first evaluation at t0, then `steps` more.
Outcome runSequence(const ModelEvaluatorSet* native, double t0, int steps)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    modeltest::StatusCapture status;
    SelectModelEvaluators(native);
    RunStopFlag = 0;
    RestartFlag = 0;
    EvaluationCount = 0;
    UserCall = UserCallRegisters{};
    SeedRandomGenerator(7);
    std::feclearexcept(FE_ALL_EXCEPT);
    FirstEvaluationFlag = 1;
    SimulationTime = t0;
    ModelEvaluators.initialization();
    ModelEvaluators.excitation();
    EvaluateModel(t0);
    FirstEvaluationFlag = 0;
    ModelEvaluators.output();
    double t = t0;
    for (int i = 0; i < steps; ++i) {
        t += 0.125;
        SimulationTime = t;
        ModelEvaluators.excitation();
        EvaluateModel(t);
        EvaluateModel(t + 0.0625);
        ModelEvaluators.output();
    }
    Outcome out;
    out.fpFlags = std::fetestexcept(FE_ALL_EXCEPT);
    out.cells = modeltest::cellBits();
    out.runStop = RunStopFlag;
    out.restart = RestartFlag;
    out.userCall = UserCall;
    out.messages = sink.transcriptLines();
    out.status = status.texts;
    out.evaluations = EvaluationCount;
    return out;
}

/// Builds native code for the loaded model and runs the sequence both ways from the same cells.
::testing::AssertionResult sameBothWays(double t0, int steps, bool build = true)
{
    if ((build || !FastCodeBuilt()) && !BuildFastCode())
        return ::testing::AssertionFailure() << "no native code";
    const std::vector<std::uint64_t> start = modeltest::cellBits();
    const Outcome interpreted = runSequence(nullptr, t0, steps);
    modeltest::restoreCellBits(start);
    const Outcome native = runSequence(ChosenFastCode(), t0, steps);
    modeltest::restoreCellBits(start);
    if (interpreted == native)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << difference(interpreted, native);
}

/// Fills every numeric cell of the loaded model from the special values.
void fillCells(std::mt19937_64& random)
{
    ModelVariables& model = Variables();
    for (int k = 0; k < KindCount; ++k) {
        VariableKind& kind = model.kinds[std::size_t(k)];
        if (!kind.values)
            continue;
        for (int i = 0; i < kind.count; ++i) {
            if (i < int(kind.entries.size()) && kind.entries[std::size_t(i)].type == TypeString)
                continue;
            kind.values[i] = random() % 3 == 0 ? Specials[random() % Specials.size()]
                                               : std::ldexp(double(random() % 2001) - 1000.0, -7);
        }
    }
}

/// Each test runs with cells addressed near a base register and with 64-bit addresses.
class FastCodeAgainstInterpreter : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        Settings().warp = 1;
        AllowNearCells(GetParam());
    }
    void TearDown() override
    {
        FreeFastCode();
        SelectModelEvaluators();
        AllowNearCells(true);
    }
};

} // namespace

TEST_P(FastCodeAgainstInterpreter, EveryOperationOverTheSpecialValues)
{
    for (const OpcodeRow& op : OpcodeTable) {
        const std::string mnemonic = op.mnemonic;
        if (op.token == ShapeJump || op.token == ShapeCondJump || op.token == ShapeNone)
            continue; // jumps below; `end` everywhere
        if (mnemonic == "dll" || mnemonic == "tab" || mnemonic == "inp")
            continue; // their operands name texts; the code files below cover them
        std::string line = "\t" + mnemonic + "\tV0";
        if (op.token == ShapeOne)
            line += "\tP0";
        else if (op.token == ShapeTwo)
            line += "\tP0\tP1";
        modeltest::loadClean(codeFile({"#DParam \t2", "\t#real\ta", "\t#real\tb", "#DVariable\t3", "\t#real\tv",
                                       "\t#real\tw", "\t#real\tx", "#Edynamic\t2", line, "\tmov\tV2\t1"}));
        FreeFastCode();
        for (double a : Specials)
            for (double b : Specials) {
                cell('P', 0) = a;
                cell('P', 1) = b;
                cell('V', 0) = -12345.0;
                cell('V', 1) = 0.0;
                cell('V', 2) = 0.0;
                // The time walks through the values too, for `stp`, `rmp` and `tim`.
                ASSERT_TRUE(sameBothWays(b, 0, false)) << mnemonic << "(" << a << ", " << b << ")";
            }
    }
}

TEST_P(FastCodeAgainstInterpreter, JumpsOverTheSpecialValues)
{
    for (const char* mnemonic : {"jeq", "jfa", "jge", "jgt", "jle", "jlt", "jne", "jmp"}) {
        const std::string jump = std::string("\t") + mnemonic + "\t3" + (std::string(mnemonic) == "jmp" ? "" : "\tP0");
        modeltest::loadClean(codeFile({"#DParam \t1", "\t#real\ta", "#DVariable\t2", "\t#real\tv", "\t#real\tw",
                                       "#Edynamic\t4", "\tmov\tV1\t1", jump, "\tmov\tV0\t1", "\tadd\tV1\tV1\tV0"}));
        FreeFastCode();
        for (double a : Specials) {
            cell('P', 0) = a;
            ASSERT_TRUE(sameBothWays(0.0, 0, false)) << mnemonic << " " << a;
        }
    }
}

TEST_P(FastCodeAgainstInterpreter, CodeFilesOfTheModelCodeTests)
{
    // The code files kept in the tree, and hand-written ones for what they leave out.
    std::vector<std::string> texts;
    const std::filesystem::path root = ORVANTA_SOURCE_DIR;
    for (const char* folder : {"modelproc/tests/golden", "fuzz/corpus/code_file", "simulator/tests"}) {
        if (!std::filesystem::is_directory(root / folder))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(root / folder))
            if (entry.path().extension() == ".l") {
                std::ifstream in(entry.path());
                std::stringstream text;
                text << in.rdbuf();
                texts.push_back(text.str());
            }
    }
    ASSERT_GE(texts.size(), 3u);
    texts.push_back(codeFile({"#DParam \t3", "\t#real\ttau", "\t#real\tinit", "\t#real\tamp", "#DVariable\t6",
                              "\t#real\tv0", "\t#real\tv1", "\t#real\tv2", "\t#real\tv3", "\t#real\ta[1]",
                              "\t#real\ta[2]", "#Dstate_ind\t1", "\t#real\tx", "#DRate_ind\t1", "\t#real\tdx",
                              "#Einputs\t2", "\tran\tV3\tP2", "\trmp\tV2\tP0", "#Edynamic\t9", "\tsin\tV0\tt",
                              "\ttdl\tV1\tV0\tP0", "\tdly\tV2\tV0\tP1", "\tstp\tV3\tP0", "\tinv\tR0\ts0",
                              "\trst\tV3\ts0\tP1", "\tmra\tV4\t2\tV0", "\tmar\tV3\tV4\t2", "\texp\tV2\tV1",
                              "#Eoutputs\t3", "\ttim\tV5", "\tidv\tV5\tV5\tP0", "\tipw\tV5\tV5\tP1"}));
    texts.push_back(codeFile({"#DParam \t3", "\t#string\tlib", "\t#string\tfun", "\t#string\tfile", "#DVariable\t4",
                              "\t#real\tv0", "\t#real\tv1", "\t#real\tv2", "\t#real\tv3", "#Edynamic\t5",
                              "\thlg\tV2\tV0\t2", "\tflk\tV2\t2", "\tdll\tV2\tP0\tP1", "\ttab\tV3\tP2\tV0",
                              "\tinp\tV3\tP2\t2"}));
    std::mt19937_64 random(11);
    for (const std::string& text : texts) {
        modeltest::loadClean(text);
        for (int round = 0; round < 40; ++round) {
            fillCells(random);
            ASSERT_TRUE(sameBothWays(round % 4 == 0 ? 0.0 : 0.25 * round, 3, round == 0)) << text.substr(0, 200);
        }
    }
}

TEST_P(FastCodeAgainstInterpreter, CellsFarFromTheRunsGlobals)
{
    // A large model's cells lie in memory mapped far from the time and the flags: its rows
    // still reach their cells from the base register, the globals through 64-bit addresses.
    constexpr int Cells = 40000;
    std::string text = "#Hclass\tlarge\n#Hversion\t1\n#DParam \t2\n\t#real\ta\n\t#real\tb\n#DVariable\t" +
                       std::to_string(Cells) + "\n";
    for (int i = 0; i < Cells; ++i)
        text += "\t#real\tv" + std::to_string(i) + "\n";
    text += modeltest::lines({"#Edynamic\t9", "\ttim\tV0", "\tstp\tV1\tP0", "\trmp\tV2\tP0", "\tdly\tV3\tP0\tP1",
                              "\tadd\tV39999\tV0\tV2", "\tlog\tV4\tP1", "\tidv\tV5\tP0\tP1", "\texp\tV6\tV2",
                              "\tsqt\tV7\tV2"});
    modeltest::loadClean(modeltest::withEquationSections(text));
    ASSERT_TRUE(BuildFastCode());
    const auto distance = [](const void* a, const void* b) {
        const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
        return x > y ? x - y : y - x;
    };
    if (GetParam() && distance(&cell('V', 0), &SimulationTime) > (std::uintptr_t(1) << 32)) {
        const auto& offsets = FastCodeOffsets(2);
        EXPECT_EQ(offsets[5] - offsets[4], 24u); // add: load, add and store from the base
    }
    for (double a : {0.0, 1.5, -2.0, NaN})
        for (double b : {0.25, 2.0, 0.0, -1.0}) {
            cell('P', 0) = a;
            cell('P', 1) = b;
            ASSERT_TRUE(sameBothWays(b, 2, false)) << a << ", " << b;
        }
}

namespace {

/// Random tables over a fixed model: V0..V23 values, P0..P7 operands, U0..U7 loop counters
/// that only the counting rows write, P7 = 1 for them.
class TableFuzzer {
public:

    void loadModel()
    {
        std::vector<std::string> lines = {"#DParam \t8"};
        for (int i = 0; i < 8; ++i)
            lines.push_back("\t#real\tp" + std::to_string(i));
        lines.push_back("#DVariable\t24");
        for (int i = 0; i < 24; ++i)
            lines.push_back("\t#real\tv" + std::to_string(i));
        lines.push_back("#DUnnamed\t8");
        for (int i = 0; i < 8; ++i)
            lines.push_back("\t#real");
        std::string text = "#Hclass\tfuzz\n#Hversion\t1\n";
        for (const std::string& line : lines)
            text += line + "\n";
        modeltest::loadClean(modeltest::withEquationSections(text));
    }

    /// The random tables and cells of a seed, with fresh private memory (no delay samples).
    void fill(std::uint64_t seed)
    {
        m_random.seed(seed);
        ClearInstructionTables();
        for (int t = 0; t < TableCount; ++t)
            fillTable(InstructionTables()[std::size_t(t)], int(m_random() % 32));
        for (int i = 0; i < 24; ++i)
            cell('V', i) = value();
        for (int i = 0; i < 7; ++i)
            cell('P', i) = value();
        cell('P', 7) = 1.0;
        for (int i = 0; i < 8; ++i)
            cell('U', i) = double(m_random() % 4);
    }

    double time() { return m_random() % 4 == 0 ? value() : 0.125 * double(m_random() % 16); }

private:
    double value()
    {
        switch (m_random() % 4) {
        case 0: return Specials[m_random() % Specials.size()];
        case 1: return double(int(m_random() % 9) - 2); // small indices and counts
        default: return std::ldexp(double(m_random() % 4001) - 2000.0, -8);
        }
    }
    double* v(int low = 0) { return &cell('V', low + int(m_random() % unsigned(24 - low))); }
    double* operand() { return m_random() % 3 == 0 ? &cell('P', int(m_random() % 8)) : v(); }

    void fillTable(InstructionTable& table, int count)
    {
        table.allocated = true;
        table.declaredCount = count;
        table.rows.clear();
        table.details.clear();
        table.rows.reserve(std::size_t(count) + 1);
        std::vector<std::int64_t> targets;
        std::vector<bool> loops; // rows that jump back: entered only through their counting row
        int counter = 0;
        for (int i = 0; i < count; ++i) {
            const OpcodeRow& op = OpcodeTable[m_random() % OpcodeTable.size()];
            const std::string_view mnemonic = op.mnemonic;
            Instruction row;
            InstructionDetail detail;
            row.handler = op.handler;
            std::int64_t target = -1;
            if (op.token == ShapeJump || op.token == ShapeCondJump) {
                if (i > 0 && counter < 8 && m_random() % 3 == 0) {
                    // A loop: count U[k] down and jump back while it stays above 0.
                    Instruction down;
                    down.handler = FindOpcode("sub")->handler;
                    down.destination = down.operand1 = &cell('U', counter);
                    down.operand2 = &cell('P', 7);
                    table.rows.push_back(down);
                    table.details.emplace_back();
                    targets.push_back(-1);
                    loops.push_back(false);
                    row.handler = FindOpcode("jgt")->handler;
                    row.operand1 = &cell('U', counter++);
                    target = std::int64_t(m_random() % table.rows.size());
                } else {
                    row.operand1 = operand();
                    target = std::int64_t(table.rows.size() + 1 + m_random() % std::size_t(count - i + 1));
                }
            } else if (mnemonic == "mar" || mnemonic == "hlg") {
                row.destination = v();
                row.operand1 = v();
                row.operand2 = operand();
                detail.extent = CellExtent(row.operand1);
            } else if (mnemonic == "mra" || mnemonic == "flk") {
                row.destination = v();
                row.operand1 = operand();
                row.operand2 = operand();
                detail.extent = CellExtent(row.destination);
            } else if (mnemonic == "rst") {
                row.destination = operand();
                row.operand1 = v();
                row.operand2 = operand();
            } else {
                row.destination = v();
                row.operand1 = operand();
                row.operand2 = op.token == ShapeTwo ? operand() : nullptr;
            }
            detail.privateMemory = PrivateMemoryFor(row.handler);
            loops.push_back(target >= 0 && target < std::int64_t(table.rows.size()));
            table.rows.push_back(row);
            table.details.push_back(detail);
            targets.push_back(target);
        }
        loops.push_back(false);
        Instruction end;
        end.handler = EndHandler();
        table.rows.push_back(end);
        table.details.emplace_back();
        const std::int64_t last = std::int64_t(table.rows.size()) - 1;
        for (std::size_t i = 0; i < targets.size(); ++i)
            if (targets[i] >= 0) {
                std::int64_t target = std::min(targets[i], last);
                if (!loops[i] && loops[std::size_t(target)])
                    ++target; // landing on a loop's jump would skip its count
                SetJumpTarget(table.rows[i], &table.rows[std::size_t(target)]);
            }
    }

    std::mt19937_64 m_random;
};

} // namespace

TEST_P(FastCodeAgainstInterpreter, RandomTablesWithForwardAndBackwardJumps)
{
    // ORVANTA_FASTCODE_FUZZ sets the number of tables for a longer run by hand.
    long tables = 10000;
    if (const char* text = std::getenv("ORVANTA_FASTCODE_FUZZ"))
        tables = std::max(1L, std::atol(text));
    TableFuzzer fuzzer;
    fuzzer.loadModel();
    for (long i = 0; i < tables; ++i) {
        // The same tables twice, so that delay lines start empty for both evaluators.
        const std::uint64_t seed = 20261208u + std::uint64_t(i);
        fuzzer.fill(seed);
        const double t0 = fuzzer.time();
        const Outcome interpreted = runSequence(nullptr, t0, 1);
        fuzzer.fill(seed);
        ASSERT_TRUE(BuildFastCode());
        const Outcome native = runSequence(ChosenFastCode(), t0, 1);
        ASSERT_TRUE(interpreted == native) << "seed " << seed << ": " << difference(interpreted, native);
    }
    ClearInstructionTables();
}

namespace {

/// Tables of runs of alike rows, as a large model's cells give: each run repeats `period` rows
/// whose cells move by a fixed number of cells a repetition (back, not at all, or on, and also
/// onto the cells the run's earlier rows write), with rows that break a run, forward jumps to
/// the start or into the middle of a run, and a last row of each run that differs.
void fillRepeatingTable(std::mt19937_64& random, InstructionTable& table)
{
    static const char* const alike[] = {"abs", "add", "and", "div", "dly", "inv", "mov", "mul", "not", "orr", "pw2",
                                        "rmp", "stp", "sub", "teq", "tge", "tgt", "tim", "tle", "tlt", "tne"};
    static const char* const breaking[] = {"log", "sqt", "idv", "exp"};
    constexpr int Cells = 800;
    table = InstructionTable{};
    table.allocated = true;
    std::vector<std::size_t> jumps;
    const int runs = 1 + int(random() % 4);
    for (int run = 0; run < runs; ++run) {
        const int period = 1 + int(random() % 8);
        const int count = 14 + int(random() % 30);
        struct Field {
            bool parameter;
            int start, step;
        };
        std::vector<std::pair<const OpcodeRow*, std::array<Field, 3>>> body;
        for (int k = 0; k < period; ++k) {
            const OpcodeRow* op = FindOpcode(alike[random() % std::size(alike)]);
            std::array<Field, 3> fields{};
            for (Field& f : fields) {
                f.parameter = random() % 4 == 0;
                f.step = f.parameter ? 0 : int(random() % 6) - 2;
                const int span = std::abs(f.step) * count;
                f.start = f.parameter ? int(random() % 8) : (f.step < 0 ? span : 0) + int(random() % unsigned(Cells - span));
            }
            fields[0].parameter = false; // results go to values, never to the parameters
            body.push_back({op, fields});
        }
        for (int r = 0; r < count; ++r)
            for (int k = 0; k < period; ++k) {
                const auto& [op, fields] = body[std::size_t(k)];
                const OpcodeRow* used = op;
                if (r == count - 1 && k == period - 1 && random() % 2)
                    used = FindOpcode(breaking[random() % std::size(breaking)]);
                double* cells[3];
                for (int f = 0; f < 3; ++f)
                    cells[f] = fields[f].parameter ? &cell('P', fields[f].start)
                                                   : &cell('V', fields[f].start + r * fields[f].step);
                Instruction row;
                row.handler = used->handler;
                row.destination = cells[0];
                row.operand1 = used->token == ShapeOne || used->token == ShapeTwo ? cells[1] : nullptr;
                row.operand2 = used->token == ShapeTwo ? cells[2] : nullptr;
                table.rows.push_back(row);
            }
        if (random() % 2) {
            Instruction jump;
            jump.handler = FindOpcode(random() % 2 ? "jmp" : "jne")->handler;
            if (jump.handler != FindOpcode("jmp")->handler)
                jump.operand1 = &cell('P', int(random() % 8));
            jumps.push_back(table.rows.size());
            table.rows.push_back(jump);
        }
    }
    Instruction end;
    end.handler = EndHandler();
    table.rows.push_back(end);
    table.declaredCount = std::int64_t(table.rows.size()) - 1;
    for (std::size_t at : jumps) {
        // Forward only: to the next row, onto a run's start or into its middle, or to the end.
        const std::size_t target = at + 1 + random() % (table.rows.size() - at - 1);
        SetJumpTarget(table.rows[at], &table.rows[target]);
    }
}

} // namespace

TEST_P(FastCodeAgainstInterpreter, RunsOfAlikeRowsGiveTheInterpretersCells)
{
    std::vector<std::string> lines = {"#DParam \t8"};
    for (int i = 0; i < 8; ++i)
        lines.push_back("\t#real\tp" + std::to_string(i));
    lines.push_back("#DVariable\t800");
    for (int i = 0; i < 800; ++i)
        lines.push_back("\t#real\tv" + std::to_string(i));
    std::string text = "#Hclass\truns\n#Hversion\t1\n";
    for (const std::string& line : lines)
        text += line + "\n";
    std::mt19937_64 random(32);
    int shorter = 0;
    for (int round = 0; round < 300; ++round) {
        modeltest::loadClean(modeltest::withEquationSections(text));
        fillRepeatingTable(random, InstructionTables()[2]);
        fillRepeatingTable(random, InstructionTables()[3]);
        fillCells(random);
        AllowRowLoops(false);
        ASSERT_TRUE(BuildFastCode());
        const std::size_t straight = FastCodeBlockSize(2) + FastCodeBlockSize(3);
        AllowRowLoops(true);
        // One, two or four repetitions at a time where the rows allow it.
        LimitLoopLanes(std::size_t(1) << (round % 3));
        ASSERT_TRUE(BuildFastCode());
        LimitLoopLanes(4);
        shorter += FastCodeBlockSize(2) + FastCodeBlockSize(3) < straight;
        const double t0 = round % 3 == 0 ? 0.0 : 0.125 * double(round % 16);
        ASSERT_TRUE(sameBothWays(t0, 2, false)) << "round " << round;
    }
    // Most tables hold runs long enough to become loops.
    EXPECT_GT(shorter, 200);
    ClearInstructionTables();
}

INSTANTIATE_TEST_SUITE_P(CellAddressing, FastCodeAgainstInterpreter, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Near" : "Far"; });
