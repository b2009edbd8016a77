// Data tables: a generated 10,000-row table read through `tab` and `inp` forwards
// and backwards in time, extrapolation, one-row and empty tables, and the messages.
#include "model_test_support.h"

#include "platform/core/message_sink.h"
#include "simulator/data_tables.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>

using modeltest::cell;
using modeltest::codeFile;

namespace {

/// x = i / 10, column 1 = 20 x, column 2 = i * i, for i = 0 .. rows - 1.
std::string generatedTable(int rows)
{
    std::string text;
    for (int i = 0; i < rows; ++i)
        text += std::to_string(i / 10) + "." + std::to_string(i % 10) + "\t" + std::to_string(2 * i) + " " +
                std::to_string(std::int64_t(i) * i) + "\n";
    return text;
}

/// Column 2 between rows k and k + 1 at x, by hand: k^2 + f (2k + 1).
double squareColumn(double x)
{
    const double k = std::floor(x * 10 + 1e-9);
    const double f = x * 10 - k;
    return k * k + f * (2 * k + 1);
}

/// v0 = tab(p0, v2); v1 = inp(p0, p1) at time t.
const std::string TableModel = codeFile({"#DParam \t2", "\t#string\tfile", "\t#int\tcolumn", "#DVariable\t3",
                                         "\t#real\tv0", "\t#real\tv1", "\t#real\tx", "#Edynamic\t2",
                                         "\ttab\tV0\tP0\tV2", "\tinp\tV1\tP0\tP1"});

class DataTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setMessageSink(&m_sink);
        ClearTableFileCache();
        SetDataTableLocation(m_dir.path(), "msd");
        modeltest::loadClean(TableModel);
        cell('P', 1) = 2.0;
    }
    void TearDown() override
    {
        ClearTableFileCache();
        platform::setMessageSink(nullptr);
    }

    void useTable(const std::string& content)
    {
        m_dir.write("msd/table.txt", content);
        SetStringValue(cell('P', 0), "table.txt");
    }

    /// Evaluates at time t with tab's x = t; false when the run was stopped.
    bool at(double t)
    {
        cell('V', 2) = t;
        EvaluateModel(t);
        return RunStopFlag == 0;
    }

    testsupport::TempDir m_dir;
    platform::ScriptedMessageSink m_sink;
};

} // namespace

TEST_F(DataTables, TenThousandRowsForwardsAndBackwards)
{
    useTable(generatedTable(10000));
    double worst = 0.0;
    for (int i = 0; i <= 99990; ++i) { // forwards through the whole file in steps of 0.01
        const double t = i * 0.01;
        ASSERT_TRUE(at(t)) << t;
        worst = std::max({worst, std::fabs(cell('V', 0) - 20 * t), std::fabs(cell('V', 1) - squareColumn(t))});
    }
    EXPECT_LT(worst, 1e-5);
    EXPECT_EQ(TableFileCacheSize(), 1);
    for (int i = 99990; i >= 0; i -= 7) { // backwards: every step before the window rereads
        const double t = i * 0.01;
        ASSERT_TRUE(at(t)) << t;
        worst = std::max({worst, std::fabs(cell('V', 0) - 20 * t), std::fabs(cell('V', 1) - squareColumn(t))});
    }
    EXPECT_LT(worst, 1e-5);
    // Beyond the ends: extrapolated from the last (first) two rows.
    ASSERT_TRUE(at(1000.5));
    EXPECT_NEAR(cell('V', 0), 20 * 1000.5, 1e-6);
    EXPECT_NEAR(cell('V', 1), 9999.0 * 9999 + 6 * (2 * 9999 - 1), 1e-3);
    ASSERT_TRUE(at(-1.0));
    EXPECT_NEAR(cell('V', 0), -20.0, 1e-9);
    EXPECT_NEAR(cell('V', 1), -10.0, 1e-9);
    EXPECT_TRUE(m_sink.transcript().empty());
}

TEST_F(DataTables, WindowHoldsAtMost256RowsAndReadsOnlyAhead)
{
    useTable(generatedTable(1000));
    DataTable table;
    table.fileName = "table.txt";
    double value = 0.0;
    ASSERT_EQ(TableLookup(table, 1.0, 1, value), 1);
    EXPECT_EQ(table.rowsRead, 256);               // the row reaching x, then read ahead to a full window
    EXPECT_EQ(table.columnCount, 3);
    ASSERT_EQ(TableLookup(table, 50.0, 1, value), 1);
    EXPECT_EQ(value, 1000.0);
    EXPECT_EQ(table.rowsRead, 501 + 128);         // up to x = 50.0, then 128 rows ahead
    EXPECT_EQ(table.windowRows(), 256);
    EXPECT_NEAR(table.row(255)[0], 62.8, 1e-9);   // the newest row is the last of the window
    EXPECT_NEAR(table.row(0)[0], 37.3, 1e-9);
    // Before the window: the file is read again from its start.
    ASSERT_EQ(TableLookup(table, 0.05, 1, value), 1);
    EXPECT_NEAR(value, 1.0, 1e-9);
    EXPECT_EQ(table.rowsRead, 256);
}

TEST_F(DataTables, OneRowTableIsAConstant)
{
    useTable("5 1.5 2.5\n");
    for (double t : {-3.0, 5.0, 100.0}) {
        ASSERT_TRUE(at(t));
        EXPECT_EQ(cell('V', 0), 1.5);
        EXPECT_EQ(cell('V', 1), 2.5);
    }
}

TEST_F(DataTables, EqualXWithEqualValuesActsAsOneRow)
{
    useTable("0 0 0\n1 10 10\n1 10 10\n2 30 30\n");
    ASSERT_TRUE(at(1.5));
    EXPECT_EQ(cell('V', 0), 20.0);
    ASSERT_TRUE(at(1.0));
    EXPECT_EQ(cell('V', 0), 10.0);
}

TEST_F(DataTables, FailuresShowTheirMessageAndStopTheRun)
{
    struct FailureCase {
        const char* what;
        std::string content; ///< empty: no file
        double t;
        int column;
        std::vector<std::string> message;
    };
    const std::vector<FailureCase> cases = {
        {"missing file", "", 0.0, 2, {"Error opening file :", "table.txt"}},
        {"empty file", "\n  \n", 0.0, 2, {"Table file holds no numbers :", "table.txt"}},
        {"column below 1", "0 1 2\n1 2 3\n", 0.5, 0, {"Column of table must be 1 or more"}},
        {"column beyond the row", "0 1 2\n1 2 3\n", 0.5, 3, {"Row size of table is smaller than desired"}},
        {"equal x met exactly", "1 1 1\n1 2 2\n2 3 3\n", 1.0, 2,
         {"Error: Entries in table equal but columns are different."}},
        {"equal first x below", "1 1 1\n1 2 2\n", 0.5, 2,
         {"Error: First entries in table equal but columns are different."}},
        {"equal last x above", "0 0 0\n1 1 1\n1 2 2\n", 1.5, 2,
         {"Error: Last entries in table equal but columns are different."}},
        {"row cut short", "0 0 0\n1 1\n", 0.5, 2, {}},
    };
    for (const FailureCase& c : cases) {
        ClearTableFileCache();
        m_sink.clear();
        RunStopFlag = 0;
        if (!c.content.empty())
            useTable(c.content);
        else
            SetStringValue(cell('P', 0), "missing.txt");
        cell('P', 1) = c.column;
        EXPECT_FALSE(at(c.t)) << c.what;
        std::vector<std::string> expected = c.message;
        if (c.content.empty())
            expected[1] = "missing.txt";
        if (!expected.empty()) {
            ASSERT_FALSE(m_sink.transcript().empty()) << c.what;
            EXPECT_EQ(m_sink.transcript().back().lines, expected) << c.what;
        }
    }
}

// A table that is no regular file is not read: a device would be read without end and a pipe
// waited on. The run stops with the name and the reason.
TEST_F(DataTables, ATableThatIsNoRegularFileIsRefusedByName)
{
    m_dir.mkdir("msd/folder.txt");
    const testsupport::PipeReleaser pipe(m_dir.file("msd/pipe.txt"));
    const std::pair<std::string, const char*> cases[] = {
        {"/dev/zero", "it is not a regular file"},
        {"pipe.txt", "it is not a regular file"},
        {"folder.txt", "it is a directory"},
    };
    for (const auto& [name, why] : cases) {
        SCOPED_TRACE(name);
        ClearTableFileCache();
        m_sink.clear();
        RunStopFlag = 0;
        SetStringValue(cell('P', 0), name);
        EXPECT_FALSE(at(0.5));
        ASSERT_FALSE(m_sink.transcript().empty());
        EXPECT_EQ(m_sink.transcript().back().lines, (std::vector<std::string>{"Error opening file :", name, why}));
    }
}

TEST_F(DataTables, NamesWithADirectoryAreUsedAsTheyStand)
{
    const std::string path = m_dir.write("elsewhere/t.dat", "0 0 0\n10 100 1000\n");
    SetStringValue(cell('P', 0), path);
    ASSERT_TRUE(at(2.5));
    EXPECT_EQ(cell('V', 0), 25.0);
    EXPECT_EQ(cell('V', 1), 250.0);
    EXPECT_EQ(DataTablePath("t.dat"), m_dir.path() + "/msd/t.dat");
}

// A bare name is read from the model's experiment folder, and where that has no such file, from the
// experiment directory itself, where earlier versions read it.
TEST_F(DataTables, ABareNameIsLookedForInTheModelsFolderThenInTheExperimentDirectory)
{
    SetStringValue(cell('P', 0), "t.dat");
    m_dir.write("t.dat", "0 0 0\n10 100 1000\n");
    EXPECT_EQ(DataTablePath("t.dat"), m_dir.path() + "/t.dat");
    ASSERT_TRUE(at(2.5));
    EXPECT_EQ(cell('V', 0), 25.0);
    m_dir.write("msd/t.dat", "0 0 0\n10 -100 -1000\n");
    EXPECT_EQ(DataTablePath("t.dat"), m_dir.path() + "/msd/t.dat");
    EXPECT_EQ(DataTablePath("absent.dat"), m_dir.path() + "/msd/absent.dat");
}
