// Fast-code compiler: block layout, the short and long jump forms, the fallback to
// the interpreter when executable memory is refused, the guard against blocks that
// outlived their tables, and the rows found from code addresses.
#include "mass_chain.h"
#include "model_test_support.h"

#include "common/settings_table.h"
#include "platform/core/message_sink.h"
#include "simulator/fastcode/code_emitters.h"
#include "platform/core/executable_memory.h"
#include "simulator/fastcode/fast_code.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

using modeltest::cell;
using modeltest::codeFile;

namespace {

/// Bytes of the `end` pattern: the cursor put on the row (movabs, and a store through the cell
/// base or through a movabs of its own), pop rbx, ret.
constexpr std::size_t NearEndSize = 10 + 7 + 2, FarEndSize = 10 + 10 + 3 + 2;

/// A dynamic table: `jmp` (or `jeq` on V0) over `skipped` rows of `mov`, then a last `mov`.
std::string jumpOver(const std::string& mnemonic, int skipped)
{
    std::vector<std::string> lines = {"#DVariable\t3", "\t#real\tc", "\t#real\tskipped", "\t#real\treached",
                                      "#Edynamic\t" + std::to_string(skipped + 2)};
    lines.push_back("\t" + mnemonic + "\t" + std::to_string(skipped + 1) + (mnemonic == "jmp" ? "" : "\tV0"));
    for (int i = 0; i < skipped; ++i)
        lines.push_back("\tmov\tV1\t1");
    lines.push_back("\tmov\tV2\t1");
    std::string text = "#Hclass\tjumps\n#Hversion\t1\n";
    for (const std::string& line : lines)
        text += line + "\n";
    return modeltest::withEquationSections(text);
}

class FastCode : public ::testing::Test {
protected:
    void SetUp() override { Settings().warp = 1; }
    void TearDown() override
    {
        FreeFastCode();
        Settings().warp = 1;
    }

    void load(const std::string& text)
    {
        modeltest::loadClean(text);
        ASSERT_TRUE(BuildFastCode());
        ASSERT_NE(ChosenFastCode(), nullptr);
        SelectModelEvaluators(ChosenFastCode());
    }
};

} // namespace

TEST_F(FastCode, EveryMnemonicHasAnEmitterNoLongerOnNearCells)
{
    InstallCodeEmitters();
    CodeEmission nearCells, farCells;
    nearCells.sizeOnly = farCells.sizeOnly = true;
    nearCells.nearCells = true;
    for (const OpcodeRow& op : OpcodeTable) {
        ASSERT_NE(op.emitter, nullptr) << op.mnemonic;
        EXPECT_EQ(op.emitter(nullptr), op.emitter(&farCells)) << op.mnemonic;
        EXPECT_GT(op.emitter(&nearCells), 0u) << op.mnemonic;
        EXPECT_LE(op.emitter(&nearCells), op.emitter(&farCells)) << op.mnemonic;
    }
    EXPECT_EQ(FindOpcode("jmp")->emitter(&nearCells), 5u);
    EXPECT_EQ(FindOpcode("end")->emitter(&farCells), FarEndSize);
}

TEST_F(FastCode, TableOfOnlyEndIsPrologueAndReturn)
{
    load(codeFile({"#DVariable\t1", "\t#real\tv", "#Edynamic\t0"}));
    // push rbx; movabs rbx, base; then the `end` row (the cursor put on it, pop rbx; ret) and
    // the block's own return.
    const std::size_t endSize = FastCodeBlockSize(2) - PrologueSize - EpilogueSize;
    ASSERT_TRUE(endSize == NearEndSize || endSize == FarEndSize) << endSize;
    const std::uint8_t* code = FastCodeBlock(2);
    EXPECT_EQ(std::vector<std::uint8_t>(code, code + 3), (std::vector<std::uint8_t>{0x53, 0x48, 0xBB}));
    const std::uint8_t* end = code + PrologueSize;
    EXPECT_EQ(std::vector<std::uint8_t>(end, end + 2), (std::vector<std::uint8_t>{0x48, 0xB8})); // movabs rax, row
    EXPECT_EQ(std::vector<std::uint8_t>(end + endSize - 2, end + endSize + 2),
              (std::vector<std::uint8_t>{0x5B, 0xC3, 0x5B, 0xC3}));
    EXPECT_EQ(FastCodeOffsets(2), (std::vector<std::uint32_t>{std::uint32_t(PrologueSize)}));
    // A table that was never declared gets a block that returns at once.
    EXPECT_EQ(FastCodeBlockSize(0), PrologueSize + endSize + EpilogueSize);
    EvaluateModel(0.0);
    ModelEvaluators.initialization();
}

TEST_F(FastCode, JumpsTakeTheShortFormWhileTheDistanceFitsAByte)
{
    // The short form reaches over four `mov` patterns (14 bytes each on near cells), not ten.
    struct JumpCase {
        const char* mnemonic;
        int skipped;
        double condition; ///< a value that takes the jump
        std::vector<std::uint8_t> expected;
    };
    const std::vector<JumpCase> cases = {
        {"jmp", 0, 0.0, {0xEB, 0x03, 0x0F, 0x1F, 0x00}},
        {"jmp", 8, 0.0, {0xEB, 3 + 8 * 14, 0x0F, 0x1F, 0x00}},
        {"jmp", 9, 0.0, {0xE9, 9 * 14, 0, 0, 0}},
        {"jeq", 0, 0.0, {0x74, 0x04, 0x0F, 0x1F, 0x40, 0x00}}, // the next row: displacement 4
        {"jge", 8, 0.0, {0x73, 4 + 8 * 14, 0x0F, 0x1F, 0x40, 0x00}},
        {"jlt", 9, -1.0, {0x0F, 0x87, 9 * 14, 0, 0, 0}},
    };
    for (const JumpCase& c : cases) {
        load(jumpOver(c.mnemonic, c.skipped));
        const auto& offsets = FastCodeOffsets(2);
        ASSERT_EQ(offsets[2] - offsets[1], 14u);
        // The jump's slot ends its pattern.
        const std::uint8_t* slot = FastCodeBlock(2) + offsets[1] - c.expected.size();
        EXPECT_EQ(std::vector<std::uint8_t>(slot, slot + c.expected.size()), c.expected)
            << c.mnemonic << " over " << c.skipped;
        // Taken, the skipped rows leave their cell alone; the row after is reached either way.
        cell('V', 0) = c.condition;
        cell('V', 1) = 0.0;
        cell('V', 2) = 0.0;
        EvaluateModel(0.0);
        EXPECT_EQ(cell('V', 1), 0.0) << c.mnemonic;
        EXPECT_EQ(cell('V', 2), 1.0) << c.mnemonic;
    }
}

TEST_F(FastCode, BackwardJumpsTakeTheLongFormBeyondAByte)
{
    // Rows 0..9 `mov`, then a `jmp` whose target is set back by hand (the reader only makes
    // forward jumps); the code is inspected, not run.
    for (int back : {9, 10}) {
        std::vector<std::string> lines = {"#Hclass\tback", "#Hversion\t1", "#DVariable\t1", "\t#real\tv", "#Edynamic\t11"};
        for (int i = 0; i < 10; ++i)
            lines.push_back("\tmov\tV0\t1");
        lines.push_back("\tjmp\t11");
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        modeltest::loadClean(modeltest::withEquationSections(text));
        auto& rows = InstructionTables()[2].rows;
        SetJumpTarget(rows[10], &rows[10 - back]);
        ASSERT_TRUE(BuildFastCode());
        const std::uint8_t* slot = FastCodeBlock(2) + FastCodeOffsets(2)[10];
        const std::int64_t distance = -std::int64_t(back) * 14;
        if (back == 9) {
            EXPECT_EQ(slot[0], 0xEB);
            EXPECT_EQ(std::int8_t(slot[1]), distance - 2);
        } else {
            EXPECT_EQ(slot[0], 0xE9);
            std::int32_t rel;
            std::memcpy(&rel, slot + 1, 4);
            EXPECT_EQ(rel, distance - 5);
        }
    }
}

TEST_F(FastCode, RefusedMemoryFallsBackToTheInterpreterWithTheMessage)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    modeltest::loadClean(codeFile({"#DParam \t1", "\t#real\tp", "#DVariable\t1", "\t#real\tv", "#Edynamic\t1",
                                   "\tadd\tV0\tP0\t1"}));
    ASSERT_TRUE(BuildFastCode());
    {
        platform::ScopedExecutableMemoryRefusal refuse;
        EXPECT_FALSE(BuildFastCode());
    }
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Error allocation memory"}));
    EXPECT_EQ(Settings().warp, 0);
    EXPECT_FALSE(FastCodeBuilt());
    EXPECT_EQ(FastCodeBlock(2), nullptr);
    EXPECT_EQ(ChosenFastCode(), nullptr);
    SelectModelEvaluators(ChosenFastCode());
    cell('P', 0) = 2.0;
    EvaluateModel(0.0);
    EXPECT_EQ(cell('V', 0), 3.0);
}

TEST_F(FastCode, WarpOffOrChangedTablesChooseTheInterpreter)
{
    const std::string model = codeFile({"#DVariable\t1", "\t#real\tv", "#Edynamic\t1", "\tmov\tV0\t2"});
    load(model);
    Settings().warp = 0;
    EXPECT_EQ(ChosenFastCode(), nullptr);
    EXPECT_TRUE(FastCodeBuilt());
    Settings().warp = 1;
    EXPECT_NE(ChosenFastCode(), nullptr);

    // Blocks hold the addresses of the rows and cells they were built from: a new model
    // without a new build must never run them.
    modeltest::loadClean(codeFile({"#DVariable\t2", "\t#real\tv", "\t#real\tw", "#Edynamic\t1", "\tmov\tV1\t3"}));
    EXPECT_EQ(ChosenFastCode(), nullptr);
    EXPECT_FALSE(FastCodeBuilt());
    InstructionTables()[2].rows[0].operand1 = &cell('V', 0);
    ASSERT_TRUE(BuildFastCode());
    InstructionTables()[2].rows[0].operand1 = &cell('V', 1);
    EXPECT_EQ(ChosenFastCode(), nullptr);
}

TEST_F(FastCode, FailedIndexCheckEndsTheBlockAtOnce)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    load(codeFile({"#DParam \t1", "\t#real\ti", "#DVariable\t4", "\t#real\tv[1]", "\t#real\tv[2]", "\t#real\tr",
                   "\t#real\tafter", "#Edynamic\t3", "\tplf\tP0\t1\t2", "\tmar\tV2\tV0\tP0", "\tmov\tV3\t1"}));
    cell('V', 1) = 7.0;
    cell('P', 0) = 2.0;
    EvaluateModel(0.0);
    EXPECT_EQ(cell('V', 2), 7.0);
    EXPECT_EQ(cell('V', 3), 1.0);
    EXPECT_TRUE(sink.transcript().empty());

    cell('V', 3) = 0.0;
    cell('P', 0) = 3.0;
    EvaluateModel(0.0);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Error during simulation:", "Array index out of bounds",
                                                                "index is 3, and should be between 1 and 2"}));
    EXPECT_EQ(RunStopFlag, 1);
    EXPECT_EQ(cell('V', 3), 0.0);
}

TEST_F(FastCode, EveryCodeAddressLocatesItsRow)
{
    // A trap's address finds the row whose code holds it; a pass leaves the cursor on the
    // `end` row, as the interpreter does, so that nothing after the pass is put on a row.
    load(codeFile({"#DVariable\t2", "\t#real\tv", "\t#real\tw", "#Eoutputs\t3", "\tmov\tV0\t1", "\tlog\tV1\tV0",
                   "\tadd\tV0\tV1\t1"}));
    const auto& rows = InstructionTables()[3].rows;
    const auto& offsets = FastCodeOffsets(3);
    const auto block = reinterpret_cast<std::uintptr_t>(FastCodeBlock(3));
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const std::uintptr_t last = k + 1 < rows.size() ? block + offsets[k + 1] - 1 : block + FastCodeBlockSize(3) - 1;
        EXPECT_EQ(FastCodeRowAt(block + offsets[k]), &rows[k]) << k;
        EXPECT_EQ(FastCodeRowAt(last), &rows[k]) << k;
    }
    EXPECT_EQ(FastCodeRowAt(block), &rows[0]); // the prologue
    EXPECT_EQ(FastCodeRowAt(block + FastCodeBlockSize(3)), nullptr);
    EXPECT_EQ(FastCodeRowAt(reinterpret_cast<std::uintptr_t>(&EvaluateModel)), nullptr);

    int index = -1;
    std::string name;
    for (const ModelEvaluatorSet* native : {static_cast<const ModelEvaluatorSet*>(nullptr), ChosenFastCode()}) {
        SelectModelEvaluators(native);
        InstructionCursor = nullptr;
        ModelEvaluators.output();
        EXPECT_EQ(LocateInstruction(index, name), -3);
        EXPECT_EQ(name, "output");
    }
    FreeFastCode();
    EXPECT_EQ(FastCodeRowAt(block + offsets[1]), nullptr);
}

TEST_F(FastCode, MassChainSimulationIsTheSameToTheLastBit)
{
    constexpr int Masses = 100;
    modeltest::loadClean(masschain::codeText(Masses));
    ASSERT_TRUE(BuildFastCode());
    auto simulate = [](const ModelEvaluatorSet* native, double& seconds) {
        SelectModelEvaluators(native);
        masschain::setUp(Masses);
        const auto start = std::chrono::steady_clock::now();
        std::vector<double> y = masschain::run(Masses, 2000, 1e-3);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return y;
    };
    double interpreted = 0.0, native = 0.0;
    const std::vector<double> expected = simulate(nullptr, interpreted);
    const std::vector<double> got = simulate(ChosenFastCode(), native);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_EQ(std::memcmp(got.data(), expected.data(), got.size() * sizeof(double)), 0);
    // The wave has travelled: the far half of the chain moves.
    EXPECT_NE(got[Masses - 1], 0.0);
    RecordProperty("interpreter_over_native", std::to_string(interpreted / native));
    std::printf("RK4 mass chain: interpreter %.3f s, native %.3f s, ratio %.2f\n", interpreted, native,
                interpreted / native);
}

namespace {
const char* g_reportedFunction = nullptr;
void rememberReport(int, const char* function, double) { g_reportedFunction = function; }
} // namespace

TEST(MathsRoutines, NativeCodeCallsWhatTheCheckedRoutinesCallUnderTheirNames)
{
    // Native maths rows call the library function directly and the checked routine only for a
    // result that is not plain: both must give the same bits, and errors the same name.
    const double values[] = {-INFINITY, -1e308, -710.0, -2.0, -1.0, -0.5, -1e-310, -0.0, 0.0,
                             1e-310,    0.5,    1.0,    2.0,  3.7,  710.0, 1e308,   INFINITY, NAN};
    auto same = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    const MathsErrorHandler before = SetMathsErrorHandler(rememberReport);
    int routines = 0, named = 0;
    for (const OpcodeRow& op : OpcodeTable) {
        const UnaryMaths checked1 = UnaryMathsOf(op.handler);
        const BinaryMaths checked2 = BinaryMathsOf(op.handler);
        const RawMaths raw = RawMathsOf(op.handler);
        if (!checked1 && !checked2) {
            EXPECT_TRUE(!raw.unary && !raw.binary && !raw.function) << op.mnemonic;
            continue;
        }
        SCOPED_TRACE(op.mnemonic);
        ++routines;
        ASSERT_NE(raw.function, nullptr);
        ASSERT_TRUE(checked1 ? raw.unary && !raw.binary : raw.binary && !raw.unary);
        bool reported = false;
        for (double a : values)
            for (double b : values) {
                g_reportedFunction = nullptr;
                const double expected = checked1 ? checked1(a) : checked2(a, b);
                const double got = checked1 ? raw.unary(a) : raw.binary(a, b);
                EXPECT_TRUE(same(got, expected)) << a << ", " << b;
                if (g_reportedFunction) {
                    EXPECT_STREQ(g_reportedFunction, raw.function) << a << ", " << b;
                    reported = true;
                }
                if (checked1)
                    break;
            }
        named += reported;
    }
    SetMathsErrorHandler(before);
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(routines, 23);
    EXPECT_GE(named, 18); // the others (asinh, atan, sinh, tanh, ...) have no error among the values
}
