// Code-file reader: the scanner's modes, a hand-written model evaluated through
// its tables, CR LF files, files without equations, files cut between two sections,
// and the malformed-file table.
#include "model_test_support.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

using modeltest::cell;
using modeltest::codeFile;

namespace {

// m x'' + d x' + k x = F, F a step at t = 0.5.
const std::string MassSpringDamper = codeFile({
    "",
    "#DParam \t3",
    "\t#real\tm\tmass",
    "\t#real\td",
    "\t#real\tk",
    "",
    "#DIncond\t2",
    "\t#real\tx0",
    "\t#real\tv0",
    "",
    "#DVariable\t1",
    "\t#real\tF",
    "",
    "#Dstate_ind\t2",
    "\t#real\tx",
    "\t#real\tv",
    "",
    "#DRate_ind\t2",
    "\t#real\tdx",
    "\t#real\tdv",
    "",
    "#DUnnamed\t2",
    "\t#real",
    "\t#real",
    "",
    "#EInitial\t2",
    "\tmov\ts0\tI0",
    "\tmov\ts1\tI1",
    "",
    "#Einputs\t1",
    "\tstp\tV0\t5.000000e-01",
    "",
    "#Edynamic\t6",
    "\tmov\tR0\ts1",
    "\tmul\tU0\tP1\ts1",
    "\tsub\tU1\tV0\tU0",
    "\tmul\tU0\tP2\ts0",
    "\tsub\tU1\tU1\tU0",
    "\tdiv\tR1\tU1\tP0",
});

std::vector<std::pair<int, std::string>> scan(const std::string& text)
{
    CodeFileLexer lexer;
    lexer.ResetScanner(text);
    std::vector<std::pair<int, std::string>> tokens;
    for (int t = lexer.NextToken(); t != TokenEnd; t = lexer.NextToken())
        tokens.emplace_back(t, lexer.tokenText());
    return tokens;
}

using Tokens = std::vector<std::pair<int, std::string>>;

} // namespace

TEST(CodeFileLexer, KeywordTableIsSortedAndComplete)
{
    for (std::size_t i = 1; i < std::size(CodeKeywords); ++i)
        EXPECT_LT(std::string(CodeKeywords[i - 1].text), std::string(CodeKeywords[i].text));
    EXPECT_EQ(FindCodeKeyword("#Dstate_ind")->mode, ScanMode::Names);
    EXPECT_EQ(FindCodeKeyword("#sampletime")->token, TokenTypeWord);
    EXPECT_EQ(FindCodeKeyword("#dparam"), nullptr); // byte for byte
}

TEST(CodeFileLexer, ModesDecideWhatAWordIs)
{
    // Initial mode: names are errors; keywords switch modes.
    EXPECT_EQ(scan("abc"), (Tokens{{TokenError, "a"}, {TokenError, "b"}, {TokenError, "c"}, {TokenEndOfLine, ""}}));
    // Names mode: numbers win on equal length, longer names win.
    EXPECT_EQ(scan("#Hclass x[1,2] a`b.c 12ab 1e5 -3 -.5 1."),
              (Tokens{{TokenClass, "#Hclass"}, {TokenName, "x[1,2]"}, {TokenName, "a`b.c"}, {TokenName, "12ab"},
                      {TokenReal, "1e5"}, {TokenReal, "-3"}, {TokenReal, "-.5"}, {TokenReal, "1."},
                      {TokenEndOfLine, ""}}));
    // Quoted mode: a leading digit scans as a number first; a lone letter is an error.
    EXPECT_EQ(scan("#Load 12ab x lib\\a.b:c \" q"),
              (Tokens{{0x13B, "#Load"}, {TokenInteger, "12"}, {TokenName, "ab"}, {TokenError, "x"},
                      {TokenName, "lib\\a.b:c"}, {TokenQuote, "\""}, {TokenName, "q"}, {TokenEndOfLine, ""}}));
    // Equations mode: mnemonics, kind letters with their index, time; s10 is a state, not a mnemonic.
    EXPECT_EQ(scan("#Edynamic\n\tadd\ts10\ta2\tt\n\tfoo L 1.5E+20 # #Dunknown"),
              (Tokens{{TokenSectionKey, "#Edynamic"}, {TokenEndOfLine, ""}, {ShapeTwo, "add"}, {TokenKind, "s"},
                      {TokenInteger, "10"}, {TokenKind, "a"}, {TokenInteger, "2"}, {TokenTime, "t"},
                      {TokenEndOfLine, ""}, {TokenError, "foo"}, {TokenLoopLetter, "L"}, {TokenReal, "1.5E+20"},
                      {TokenError, "#"}, {TokenError, "#Dunknown"}, {TokenEndOfLine, ""}}));
}

TEST(CodeFileLexer, BlankLinesYieldNothingAndEveryLineFeedCounts)
{
    CodeFileLexer lexer;
    lexer.ResetScanner("\n  \t\r\n#Hclass\tm\r\n\n\n#Hversion 1");
    EXPECT_EQ(lexer.NextToken(), TokenClass);
    EXPECT_EQ(lexer.line(), 3);
    EXPECT_EQ(lexer.NextToken(), TokenName);
    EXPECT_EQ(lexer.NextToken(), TokenEndOfLine);
    EXPECT_EQ(lexer.NextToken(), TokenVersion);
    EXPECT_EQ(lexer.line(), 6);
    EXPECT_EQ(lexer.NextToken(), TokenInteger);
    EXPECT_EQ(lexer.NextToken(), TokenEndOfLine); // the last line needs no line feed
    EXPECT_EQ(lexer.NextToken(), TokenEnd);
}

TEST(CodeFileReader, MassSpringDamperEvaluatesThroughItsTables)
{
    modeltest::loadClean(MassSpringDamper);
    EXPECT_EQ(GetVariableName(KindParameter, 0, 1), std::string("mass"));
    EXPECT_EQ(GetVariableName(KindState, 1, 0), std::string("v"));
    EXPECT_EQ(Variables().integratedTotal, 2);
    EXPECT_FALSE(Variables().needsDae);
    cell('P', 0) = 2.0;
    cell('P', 1) = 0.5;
    cell('P', 2) = 8.0;
    cell('I', 0) = 0.3;
    cell('I', 1) = -0.2;

    ModelEvaluators.initialization();
    EXPECT_EQ(Variables().y[0], 0.3); // the states are the start of y
    EXPECT_EQ(Variables().y[1], -0.2);

    SimulationTime = 1.0;
    ModelEvaluators.excitation();
    EvaluateModel(1.0);
    // dv = (F - d v - k x) / m = (1 + 0.1 - 2.4) / 2
    EXPECT_DOUBLE_EQ(cell('R', 0), -0.2);
    EXPECT_DOUBLE_EQ(cell('R', 1), -0.65);
    EXPECT_EQ(EvaluationCount, 1);

    SimulationTime = 0.25; // before the step: F = 0
    ModelEvaluators.excitation();
    EvaluateModel(0.25);
    EXPECT_DOUBLE_EQ(cell('R', 1), -1.15);

    // Integrated with small Euler steps the free oscillation stays within its energy bound.
    cell('P', 1) = 0.0;
    cell('I', 0) = 1.0;
    cell('I', 1) = 0.0;
    ModelEvaluators.initialization();
    const double dt = 1e-4;
    for (int i = 0; i < 10000; ++i) {
        SimulationTime = 0.0; // F stays 0
        ModelEvaluators.excitation();
        EvaluateModel(0.0);
        Variables().y[0] += dt * cell('R', 0);
        Variables().y[1] += dt * cell('R', 1);
    }
    // x(t) = cos(2 t) for m = 2, k = 8
    EXPECT_NEAR(Variables().y[0], std::cos(2.0), 2e-3);
}

TEST(CodeFileReader, CarriageReturnLineFeedFilesLoadAlike)
{
    std::string crlf;
    for (char c : MassSpringDamper) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    modeltest::loadClean(crlf);
    EXPECT_EQ(InstructionTables()[2].rows.size(), 7u);
    EXPECT_EQ(GetVariableName(KindRate, 1, 0), std::string("dv")); // no '\r' in names
}

TEST(CodeFileReader, FileWithoutEquationsIsInstalledAndRunnable)
{
    modeltest::loadClean(codeFile({"#Dstate_ind\t1", "\t#real\tx", "#DAlgloop\t2", "\t#real\ta1", "\t#real\ta2"}));
    EXPECT_TRUE(Variables().installed);
    EXPECT_TRUE(Variables().kinds[KindVariable].declared); // an empty V array
    EXPECT_EQ(Variables().kinds[KindLoopInput].count, 2);   // a follows A
    EXPECT_EQ(Variables().integratedTotal, 3);
    EXPECT_TRUE(Variables().needsDae);
    EXPECT_EQ(&cell('a', 0), Variables().y.data() + 1);     // y = [s | S | a]
    for (const InstructionTable& table : InstructionTables()) {
        ASSERT_EQ(table.rows.size(), 1u);
        EXPECT_EQ(table.rows[0].handler, EndHandler());
    }
    ModelEvaluators.initialization();
    ModelEvaluators.excitation();
    EvaluateModel(0.0);
    ModelEvaluators.output();
    EXPECT_EQ(RunStopFlag, 0);
}

TEST(CodeFileReader, TwoDigitIndexesOfLowerCaseKindsAreVariables)
{
    std::string body = "#Dstate_ind\t11\n";
    for (int i = 0; i < 11; ++i)
        body += "\t#real\tx" + std::to_string(i) + "\n";
    body += "#DRate_ind\t11\n";
    for (int i = 0; i < 11; ++i)
        body += "\t#real\tdx" + std::to_string(i) + "\n";
    body += "#Edynamic\t11\n";
    for (int i = 0; i < 10; ++i)
        body += "\tmov\tR" + std::to_string(i) + "\t0\n";
    modeltest::loadClean(codeFile({body + "\tmul\tR10\ts10\t-2"}));
    cell('s', 10) = 1.5;
    EvaluateModel(0.0);
    EXPECT_EQ(cell('R', 10), -3.0);
}

TEST(CodeFileReader, HeaderKeepsVersionAndArgumentsInReverse)
{
    modeltest::loadClean(modeltest::withEquationSections("#Hclass\tm\n#Hargs\tn1\tn2\tn3\n#Hversion\t7\n"));
    EXPECT_EQ(LoadedCodeFileHeader().version, 7);
    EXPECT_EQ(LoadedCodeFileHeader().argumentNames, (std::vector<std::string>{"n3", "n2", "n1"}));
}

TEST(CodeFileReader, JumpToTheCountLandsOnTheFinalEnd)
{
    modeltest::loadClean(codeFile({"#DVariable\t1", "\t#real\tv", "#Edynamic\t2", "\tjmp\t2", "\tmov\tV0\t1"}));
    EvaluateModel(0.0);
    EXPECT_EQ(cell('V', 0), 0.0);
    EXPECT_EQ(RunStopFlag, 0);
}

// Vertical tabs and form feeds are blanks like blanks and tabs; a UTF-8 byte-order mark
// before the first line is no part of it.
TEST(CodeFileReader, EveryBlankCharacterSeparates)
{
    modeltest::loadClean("\xEF\xBB\xBF#Hclass\fm\n\v\n#Hversion\v1\n#DVariable\t1\n\f#real\vv\n#EInitial\v0\n"
                         "#Einputs\f0\n#Edynamic\t1\n\fmov\vV0\f2\n\f#Eoutputs\v0\n");
    EvaluateModel(0.0);
    EXPECT_EQ(cell('V', 0), 2.0);
}

struct MalformedCase {
    const char* what;
    std::string text;
    const char* report;
};

TEST(CodeFileReader, MalformedFilesGiveTheMessageAndLine)
{
    const std::string head = "#Hclass\tm\n#Hversion\t1\n";
    const std::string v2 = head + "#DVariable\t2\n\t#real\ta\n\t#real\tb\n";
    // Up to the dynamic section, whose header then stands in line 8.
    const std::string d = v2 + "#EInitial\t0\n#Einputs\t0\n";
    const std::vector<MalformedCase> cases = {
        {"bad key", head + "#DParm\t1\n", "parse error in line 3: '#DParm'"},
        {"missing #Hversion", "#Hclass\tm\n\n#DParam \t1\n\t#real\tp\n", "parse error in line 3: '#DParam'"},
        {"missing #Hclass", "#Hversion\t1\n", "parse error in line 1: '#Hversion'"},
        {"name in #DUnnamed", head + "#DUnnamed\t1\n\t#real\tx\n", "parse error in line 4: 'x'"},
        {"more declarations than counted", head + "#DParam \t1\n\t#real\ta\n\t#real\tb\n", "index out of range in line 5"},
        {"kind declared twice", head + "#DParam \t0\n#DParam \t1\n", "variable array already allocated in line 4"},
        {"negative count", head + "#DParam \t-1\n", "parse error in line 3: '-1'"},
        {"overflowing count", head + "#DParam \t99999999999\n", "integer out of range in line 3: '99999999999'"},
        {"count beyond memory", head + "#DParam \t2000000000\n", "variable array allocation failure in line 3"},
        // A file cut short: a section with fewer entries than its count.
        {"cut inside a declaration section", head + "#DParam \t3\n\t#real\ta\n\t#real\tb\n",
         "section #DParam ends after 2 of its 3 entries, in line 6: ''"},
        {"declarations missing before the next section", head + "#DVariable\t3\n\t#real\ta\n#Edynamic\t1\n\tmov\tV0\t1\n",
         "section #DVariable ends after 1 of its 3 entries, in line 5: '#Edynamic'"},
        {"cut inside the instructions", d + "#Edynamic\t3\n\tmov\tV0\tV1\n",
         "section #Edynamic ends after 1 of its 3 instructions, in line 10: ''"},
        {"instructions missing before the next table", v2 + "#EInitial\t2\n\tmov\tV0\tV1\n#Einputs\t0\n",
         "section #EInitial ends after 1 of its 2 instructions, in line 8: '#Einputs'"},
        // Sections stand in their order, each once.
        {"sections out of order", v2 + "#Einputs\t0\n#EInitial\t0\n",
         "section #EInitial out of order, in line 7: '#EInitial'"},
        {"section written twice", d + "#Edynamic\t0\n#Eoutputs\t0\n#Eoutputs\t0\n",
         "section #Eoutputs out of order, in line 10: '#Eoutputs'"},
        {"count the text cannot hold", head + "#DParam \t4000\n\t#real\ta\n",
         "section #DParam counts 4000 entries, more than the file holds, in line 3"},
        {"more instructions than counted", d + "#Edynamic\t1\n\tmov\tV0\tV1\n\tmov\tV1\tV0\n",
         "more instructions as declared, in line 10"},
        {"jump past the table", d + "#Edynamic\t2\n\tjmp\t3\n", "wrong jump address in line 9"},
        {"jump back", d + "#Edynamic\t2\n\tmov\tV0\tV1\n\tjne\t1\tV0\n", "wrong jump address in line 10"},
        {"jump to itself", d + "#Edynamic\t2\n\tjmp\t0\n", "wrong jump address in line 9"},
        {"unknown mnemonic", d + "#Edynamic\t1\n\tfoo\tV0\tV1\n", "parse error in line 9: 'foo'"},
        {"variable index out of range", d + "#Edynamic\t1\n\tmov\tV2\tV0\n", "index out of range in line 9: '2'"},
        {"overflowing variable index", d + "#Edynamic\t1\n\tmov\tV0\tV3000000000\n",
         "integer out of range in line 9: '3000000000'"},
        {"operand kind never declared", d + "#Edynamic\t1\n\tmov\tV0\tP0\n", "index out of range in line 9: '0'"},
        {"constant as destination", d + "#Edynamic\t1\n\tmov\t1.0\tV0\n", "parse error in line 9: '1.0'"},
        {"missing operand", d + "#Edynamic\t1\n\tadd\tV0\tV1\n", "parse error in line 10: ''"},
        {"loop letter", d + "#Edynamic\t1\n\tmov\tV0\tL\n", "parse error in line 9: 'L'"},
        {"instruction outside a section", v2 + "\tmov\tV0\tV1\n", "parse error in line 6: 'mov'"},
        {"declaration after the equations", d + "#Edynamic\t0\n#Eoutputs\t0\n#DParam \t1\n\t#real\tp\n",
         "parse error in line 10: '#DParam'"},
        {"arguments line without names", "#Hclass\tm\n#Hargs\n#Hversion\t1\n", "parse error in line 3: ''"},
    };
    for (const MalformedCase& c : cases) {
        modeltest::StatusCapture status;
        EXPECT_GT(LoadCodeText(c.text), 0) << c.what;
        EXPECT_EQ(LastCodeFileReport(), c.report) << c.what;
        ASSERT_EQ(status.texts.size(), 1u) << c.what;
        // Whatever failed, every table still ends in `end` and runs.
        modeltest::resetRunFlags();
        SelectModelEvaluators();
        ModelEvaluators.initialization();
        EvaluateModel(0.0);
        ModelEvaluators.output();
    }
}

/// The text without its equation sections of count 0, as the model processor writes it.
std::string withoutEmptySections(std::string text)
{
    for (const char* section : {"#EInitial\t0\n", "#Einputs\t0\n", "#Edynamic\t0\n", "#Eoutputs\t0\n"})
        for (std::size_t at; (at = text.find(section)) != std::string::npos;)
            text.erase(at, std::string(section).size());
    return text;
}

// A section without equations is left out, or stands with the count 0 as this suite once wrote it.
// A file cut off at the start of a section holds only whole sections before it: it is refused all
// the same, naming the rate that the sections cut off would have computed.
TEST(CodeFileReader, EmptySectionsMayBeLeftOutAndAFileCutBeforeARatesEquationIsRefused)
{
    modeltest::loadClean(MassSpringDamper);
    const std::string specified = withoutEmptySections(MassSpringDamper);
    ASSERT_EQ(specified.find("#Eoutputs"), std::string::npos);
    modeltest::loadClean(specified);
    modeltest::loadClean("#Hclass\tm\n#Hversion\t1\n#DVariable\t1\n\t#real\tv\n#Eoutputs\t1\n\tmov\tV0\t1\n");
    for (const std::string section : {"#EInitial", "#Einputs", "#Edynamic"}) {
        const std::string cut = specified.substr(0, specified.find("\n" + section) + 1);
        const auto line = std::count(cut.begin(), cut.end(), '\n');
        EXPECT_GT(LoadCodeText(cut), 0) << section;
        EXPECT_EQ(LastCodeFileReport(), "no equation computes rate R0 (dx), in line " + std::to_string(line));
    }
    // A rate that only an element write at a computed offset may compute is taken as computed.
    modeltest::loadClean(codeFile({"#DParam \t1", "\t#real\tp", "#Dstate_ind\t2", "\t#real\tx[1]", "\t#real\tx[2]",
                                   "#DRate_ind\t3", "\t#real\tdx[1]", "\t#real\tdx[2]", "\t#real\tw",
                                   "#Edynamic\t3", "\tplf\tP0\t1\t2", "\tmra\tR0\tP0\ts0", "\tmov\tR2\t1"}));
    EXPECT_GT(LoadCodeText(codeFile({"#DParam \t1", "\t#real\tp", "#Dstate_ind\t1", "\t#real\tx",
                                     "#DRate_ind\t2", "\t#real\tdx", "\t#real\tw", "#Edynamic\t2",
                                     "\tplf\tP0\t1\t1", "\tmra\tR0\tP0\ts0"})),
              0);
    EXPECT_EQ(LastCodeFileReport().rfind("no equation computes rate R1 (w), in line", 0), 0u) << LastCodeFileReport();
}

// A table or an array is given room for its declared rows or entries only as far as the text can
// hold them: a count written wrong takes no memory for rows that are not there.
TEST(CodeFileReader, RoomForDeclaredRowsIsBoundByTheText)
{
    const std::string head = "#Hclass\tm\n#Hversion\t1\n";
    EXPECT_GT(LoadCodeText(head + "#DVariable\t1\n\t#real\tb\n#EInitial\t0\n#Einputs\t0\n#Edynamic\t2000000000\n"
                                  "\tmov\tV0\tV0\n"),
              0);
    EXPECT_EQ(LastCodeFileReport(), "section #Edynamic ends after 1 of its 2000000000 instructions, in line 9: ''");
    EXPECT_LT(InstructionTables()[2].rows.capacity(), 100u);
    // A count the text can hold is given its room at once.
    modeltest::loadClean(modeltest::withEquationSections(head + "#DVariable\t2\n\t#real\ta\n\t#real\tb\n#Edynamic\t3\n"
                                                                "\tmov\tV0\tV1\n\tmov\tV1\tV0\n\tmov\tV0\tV1\n"));
    EXPECT_EQ(Variables().kinds[KindVariable].entries.capacity(), 2u);
    EXPECT_EQ(InstructionTables()[2].rows.size(), 4u); // and its final end
}

TEST(CodeFileReader, MissingFileLeavesTheModelAlone)
{
    modeltest::loadClean(MassSpringDamper);
    testsupport::TempDir dir;
    EXPECT_EQ(LoadCodeFile(dir.file("none.l")), -1);
    EXPECT_EQ(GetVariableName(KindParameter, 0, 0), std::string("m"));
    EXPECT_EQ(LoadCodeFile(dir.write("msd1.l", MassSpringDamper)), 0);
}

TEST(CodeFileReader, ReadsTheModelProcessorsWrittenFile)
{
    const std::string path = std::string(ORVANTA_SOURCE_DIR) + "/modelproc/tests/golden/pendulum2.l";
    const std::optional<std::string> text = platform::readFile(path);
    ASSERT_TRUE(text) << "no processed-model file written by the model processor at " << path;
    modeltest::loadClean(*text);
    EXPECT_EQ(LoadedCodeFileHeader().version, 2);
    EXPECT_EQ(FindNameInEntry(KindParameter, 1, "l"), 1);
    EXPECT_EQ(GetVariableType(KindParameter, 3), TypeInteger);
    EXPECT_EQ(GetVariableName(KindParameter, 5, 0), std::string("M[1,2]"));
    for (int i = 0; i < 8; ++i)
        cell('P', i) = 10.0 + i;
    cell('P', 0) = 9.81;
    cell('P', 1) = 0.5;
    cell('P', 3) = 1.0; // ip: M[ip, 2] is read in the initial section
    ModelEvaluators.initialization();
    EXPECT_DOUBLE_EQ(cell('V', 0), 9.81 / 0.5);
    EXPECT_DOUBLE_EQ(cell('V', 1), 2 * 9.81 / 0.5);
    EXPECT_EQ(cell('V', 11), cell('P', 5));
    cell('s', 1) = 0.25;
    EvaluateModel(0.0);
    EXPECT_EQ(cell('R', 0), 0.25);
    EXPECT_EQ(RunStopFlag, 0);
}
