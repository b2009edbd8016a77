// Variable table: allocation rules, the integration layout, cell extents, string
// values and the name look-ups of the editors.
#include "model_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using modeltest::codeFile;

TEST(ModelVariables, AllocationRefusesSecondDeclarationsAndHugeCounts)
{
    ClearVariables();
    std::string error;
    EXPECT_EQ(AllocateKind(KindParameter, 3, error), 0);
    EXPECT_EQ(AllocateKind(KindParameter, 1, error), -1);
    EXPECT_EQ(error, "variable array already allocated");
    EXPECT_EQ(AllocateKind(12, 1, error), -1);
    EXPECT_EQ(error, "wrong modifier");
    EXPECT_EQ(AllocateKind(KindConstant, MaxDeclaredCount + 1, error), -1);
    EXPECT_EQ(error, "variable array allocation failure");
    EXPECT_EQ(AllocateKind(KindState, 2, error), 0);
    EXPECT_EQ(Variables().kinds[KindState].values, nullptr); // states live in y once installed
    EXPECT_EQ(CellAddress(KindState, 0, error), nullptr);
    EXPECT_EQ(error, "bad array address");
    EXPECT_EQ(CellAddress(KindParameter, -1, error), nullptr);
    EXPECT_EQ(error, "negative array index");
    EXPECT_EQ(CellAddress(KindParameter, 3, error), nullptr);
    EXPECT_EQ(error, "index out of range");
}

TEST(ModelVariables, IntegrationVectorsHoldStatesDependentStatesAndLoopInputs)
{
    ClearVariables();
    std::string error;
    ASSERT_EQ(AllocateKind(KindState, 2, error), 0);
    ASSERT_EQ(AllocateKind(KindRate, 2, error), 0);
    ASSERT_EQ(AllocateKind(KindDependentState, 1, error), 0);
    ASSERT_EQ(AllocateKind(KindDependentRate, 1, error), 0);
    ASSERT_EQ(AllocateKind(KindLoopResult, 3, error), 0);
    ASSERT_EQ(InstallVariables(error), 0);
    const ModelVariables& m = Variables();
    EXPECT_EQ(m.integratedTotal, 2 + 1 + 3);
    EXPECT_TRUE(m.needsDae);
    EXPECT_EQ(m.y.size(), 7u);
    EXPECT_EQ(m.kinds[KindState].values, m.y.data());
    EXPECT_EQ(m.kinds[KindLoopInput].values, m.y.data() + 3);
    EXPECT_EQ(m.kinds[KindDependentRate].values, m.yPrime.data() + 2);
    EXPECT_EQ(m.kinds[KindLoopInput].count, 3);
    EXPECT_TRUE(m.kinds[KindVariable].declared);
    // Extents run to the end of each kind's cells.
    EXPECT_EQ(CellExtent(m.y.data()), 2);
    EXPECT_EQ(CellExtent(m.y.data() + 1), 1);
    EXPECT_EQ(CellExtent(m.y.data() + 4), 2);
    double loose = 0;
    EXPECT_EQ(CellExtent(&loose), 1);
}

TEST(ModelVariables, StringValuesAreNumbersOfAStringTable)
{
    ClearVariables();
    double cell = 0.0;
    EXPECT_EQ(StringOfValue(cell), nullptr);
    SetStringValue(cell, "libgain.so");
    ASSERT_NE(StringOfValue(cell), nullptr);
    EXPECT_EQ(*StringOfValue(cell), "libgain.so");
    for (double bad : {1.5, -1.0, 2.0, 1e300, std::nan("")})
        EXPECT_EQ(StringOfValue(bad), nullptr) << bad;
}

TEST(ModelVariables, NamesAliasesAndFormattedNames)
{
    modeltest::loadClean(codeFile({"#DParam \t2", "\t#real\tmass\tm\tM", "\t#int\tcount", "#DVariable\t2",
                                   "\t#string\tlabel", "\t#sampletime\tts", "#DUnnamed\t1", "\t#bool"}));
    EXPECT_EQ(FindNameInEntry(KindParameter, 0, "m"), 1);
    EXPECT_EQ(FindNameInEntry(KindParameter, 0, "M"), 2);
    EXPECT_EQ(FindNameInEntry(KindParameter, 0, "MASS"), -1);
    EXPECT_EQ(FindNameInEntry(KindParameter, 0, nullptr), -1);
    EXPECT_EQ(GetVariableNameCount(KindParameter, 0), 3);
    EXPECT_EQ(GetVariableType(KindParameter, 1), TypeInteger);
    EXPECT_EQ(GetVariableType(KindVariable, 0), TypeString);
    EXPECT_EQ(GetVariableType(KindVariable, 1), TypeSampleTime);
    EXPECT_EQ(GetVariableType(KindUnnamed, 0), TypeBoolean);
    EXPECT_EQ(GetVariableNameCount(KindUnnamed, 0), 0);
    ASSERT_NE(GetVariableNames(KindParameter, 0), nullptr);
    EXPECT_EQ(GetVariableNames(KindParameter, 0)->at(2), "M");

    // Outside the table: null, 0 or an empty text.
    for (auto [kind, index, number] : std::vector<std::tuple<int, int, int>>{
             {-1, 0, 0}, {12, 0, 0}, {KindParameter, 2, 0}, {KindParameter, -1, 0}, {KindParameter, 0, 3},
             {KindConstant, 0, 0}}) {
        EXPECT_EQ(GetVariableName(kind, index, number), nullptr);
        EXPECT_EQ(FormatVariableName(8, kind, index, number), "");
    }
    EXPECT_EQ(GetVariableNames(KindParameter, 2), nullptr);
    EXPECT_EQ(GetVariableNameCount(13, 0), 0);

    struct WidthCase {
        int width;
        const char* expected;
    };
    for (const WidthCase& c : std::vector<WidthCase>{{5, "count"}, {6, "count"}, {4, "<unt"}, {1, "<"}, {0, ""}})
        EXPECT_EQ(FormatVariableName(c.width, KindParameter, 1, 0), c.expected) << c.width;
}

TEST(ModelVariables, ClearKindFlagsZeroesOneKind)
{
    modeltest::loadClean(codeFile({"#DParam \t2", "\t#real\ta", "\t#real\tb", "#DIncond\t1", "\t#real\tc"}));
    Variables().kinds[KindParameter].flags[1] = 1;
    Variables().kinds[KindInitial].flags[0] = 1;
    ClearKindFlags(KindParameter);
    ClearKindFlags(99);
    EXPECT_EQ(Variables().kinds[KindParameter].flags[1], 0);
    EXPECT_EQ(Variables().kinds[KindInitial].flags[0], 1);
}
