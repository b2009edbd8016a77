// Model and experiment file names: name checks, the pattern matcher, the
// newest-variant searches, overwrite and deletion of model files, builders.
#include "common/model_file_names.h"
#include "common/model_overwrite.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <tuple>

using platform::BoxAnswer;
using platform::ScopedMessageSink;
using platform::ScriptedMessageSink;
using testsupport::TempDir;
using testsupport::setModificationTime;

namespace {

using Lines = std::vector<std::string>;

// Writes a file with the given modification time.
std::string writeAt(const TempDir& dir, const std::string& name, std::int64_t time)
{
    const std::string path = dir.write(name, "x");
    setModificationTime(path, time);
    return path;
}

} // namespace

TEST(ModelNameChecks, CheckModelNameGivesTheFaultPosition)
{
    struct Case { const char* name; int expected; };
    const Case cases[] = {
        {"tank1", 0},      {"pump", 4},       {"ta-k1", 3},       {"tank1.mg0", 0},
        {"*ank1", 1},      {"/ank1", 1},      {"_ank1", 1},       {"2ank1", 1},
        {"tank1234", 0},   {"tank12345", 9},  {"ta-k-1", 5},      {"", 1},
        {"p", 1},          {"x1", 0},         {"/a/b1", 3},
    };
    for (const Case& c : cases) {
        ScriptedMessageSink sink;
        ScopedMessageSink use(sink);
        EXPECT_EQ(CheckModelName(c.name), c.expected) << c.name;
        EXPECT_TRUE(sink.transcript().empty()) << c.name;
    }
}

TEST(ModelNameChecks, ReservedWordBeforeTheDigitIsReportedAtOne)
{
    ScriptedMessageSink sink;
    ScopedMessageSink use(sink);
    EXPECT_EQ(CheckModelName("tank"), 1); // "tan" is reserved, whatever else was wrong
    EXPECT_EQ(sink.transcriptLines(), (Lines{"\"tan\"", "is a reserverd word"}));
    sink.clear();
    EXPECT_EQ(CheckModelName("SIN1"), 1);
    EXPECT_EQ(CheckModelName("Sin1"), 0);
    EXPECT_EQ(sink.transcript().size(), 1u);
}

TEST(ModelNameChecks, CheckNameCharactersAndNamesBeforeTheDot)
{
    struct Case { const char* name; int expected; };
    for (const Case& c : {Case{"run1", 0}, Case{"_1", 0}, Case{"abcdefgh", 0}, Case{"", 1},
                          Case{"abcdefghi", 9}, Case{"a.b", 2}, Case{"ab cd", 3}})
        EXPECT_EQ(CheckNameCharacters(c.name), c.expected) << c.name;

    struct NameCase { const char* file; std::size_t maximum; const char* name; int before; int model; };
    const NameCase names[] = {
        {"tank1.mg0", 14, "tank1", 1, 0}, {"pump.mgg", 14, "pump", 1, 4},
        {"tank12.x.y", 4, "tank", 1, 1},  {"noext", 14, "", 0, 0},
        {".mgg", 14, "", 0, 0},           {"tank1.mg0", 0, "", 0, 0},
    };
    ScriptedMessageSink sink;
    ScopedMessageSink use(sink);
    for (const NameCase& c : names) {
        std::string out = "stale";
        EXPECT_EQ(NameBeforeDot(out, c.file, c.maximum), c.before) << c.file;
        EXPECT_EQ(out, c.name) << c.file;
        out = "stale";
        EXPECT_EQ(ModelNameFromFileName(out, c.file, c.maximum), c.model) << c.file;
        EXPECT_EQ(out, c.name) << c.file;
    }
}

TEST(NamePatterns, MatchPatternWalksTheName)
{
    struct Case { const char* name; const char* pattern; int expected; };
    const Case cases[] = {
        {"tank1.m", "*.[ms][fg][fg03]", 1},   // the name ends first
        {"tank1.mgg", "*.[ms][fg][fg03]", 1}, {"tank1.sf3", "*.[ms][fg][fg03]", 1},
        {"tank1.mg1", "*.[ms][fg][fg03]", 0}, {"tank1.xgg", "*.[ms][fg][fg03]", 0},
        {"tank1.mg0", "tank1.[ms][gfbs][0-3]", 1},
        {"tank1.mg-", "tank1.[ms][gfbs][0-3]", 1}, // '-' is a member of the set
        {"tank1.mg1", "tank1.[ms][gfbs][0-3]", 0}, // no ranges
        {"tank1.mg2", "tank1.[ms][gfbs][0-3]", 0},
        {"tank12.mg0", "tank1.[ms][gfbs][0-3]", 0},
        {"tank1.mg00", "tank1.[ms][gfbs][0-3]", 0}, // the pattern ends first
        {"a.b", "?.?", 1},                     {"ab.b", "?.?", 0},
        {"tank1.mg0", "*.[ms", 0},             // unterminated set matches nothing
        {"tank1.mg0", "tank1.[ms", 0},         {"tank1.m", "*.[ms", 0},
        {"anything.at.all", "*", 1},           // no further '.'
        {"run.r", "*.[rpu]", 1},               {"run.rx", "*.[rpu]", 0},
        {"abc", "*.x", 0},                     // no '.' in the name: one character skipped
        {"a.b.c", "*.*", 1},                   {"Tank1.mg0", "tank1.mg0", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchPattern(c.name, c.pattern), c.expected) << c.name << " ~ " << c.pattern;

    SetNamePattern("*.[ms][gfbs][0-3]"); // the filter also wants an extension, and ignores case
    for (const char* name : {".", "..", "tank1", "tank1.", "x.mg5"})
        EXPECT_EQ(AcceptModelName(name), 0) << name;
    for (const char* name : {"tank1.mg0", "TANK1.MG3", "Pump2.sb0"})
        EXPECT_EQ(AcceptModelName(name), 1) << name;
}

TEST(NamePatterns, ScanDirectoryKeepsNamesAsOnDiskSortedIgnoringCase)
{
    TempDir dir;
    for (const char* name : {"tank1.mg0", "Tank1.mg0", "abc2.SG3", "zeta1.mg3", "notes.txt", "x.mg"})
        dir.write(name, "");
    dir.mkdir("sub");
    std::vector<std::string> list{"old"};
    SetNamePattern("*.[ms][gfbs][0-3]");
    ASSERT_EQ(ScanDirectory(dir.path(), list, AcceptModelName, CompareNames), 5);
    EXPECT_EQ(list, (Lines{"abc2.SG3", "Tank1.mg0", "tank1.mg0", "x.mg", "zeta1.mg3"})); // x.mg ends first
    ASSERT_EQ(ScanDirectory(dir.path(), list, nullptr, nullptr), 7); // every name but . and ..
    EXPECT_EQ(list.front(), "abc2.SG3");
    EXPECT_EQ(ScanDirectory(dir.file("missing"), list, AcceptModelName, CompareNames), -1);
    FreeNameList(list);
    EXPECT_TRUE(list.empty());
    EXPECT_LT(CompareNames("abc", "ABD"), 0);
    EXPECT_GT(CompareNames("ab", "A"), 0);
}

TEST(YoungestFile, NewestVariantOfTheFirstDirectoryWithAMatch)
{
    TempDir first, second, third;
    writeAt(second, "tank1.mg0", 1000);
    writeAt(second, "tank1.sg3", 3000);
    writeAt(second, "tank1.mg1", 9000); // status 1 is not in the set [0-3]
    writeAt(second, "tank2.mg3", 9000);
    writeAt(third, "tank1.mg3", 8000);  // newer, but an earlier directory matched
    const std::string list = first.path() + ";" + second.path() + ";" + third.path();

    EXPECT_EQ(FindYoungestFile(list, "tank1", ".[ms][gfbs][0-3]"), second.file("tank1.sg3"));
    EXPECT_EQ(YoungestFileTime(), 3000);
    EXPECT_EQ(FindYoungestModelFile(5, list, "tank1", nullptr, nullptr), second.file("tank1.mg0"));
    EXPECT_EQ(YoungestFileTime(), 1000);
    EXPECT_EQ(FindYoungestSubmodelFile(list, "tank1", 0), second.file("tank1.sg3"));
    EXPECT_EQ(FindYoungestSubmodelFile(list, "tank1", 1), std::nullopt);
    EXPECT_EQ(FindYoungestFile(list, "pump1", ".[ms][gfbs][0-3]"), std::nullopt);
    EXPECT_EQ(YoungestFileTime(), 0);
}

TEST(YoungestFile, EqualTimesKeepTheEarlierNameAndNamesStayAsOnDisk)
{
    TempDir dir;
    writeAt(dir, "Tank1.SG0", 2000);
    writeAt(dir, "tank1.mg3", 2000);
    writeAt(dir, "tank1.mf0", 1500);
    // Sorted: tank1.mf0, tank1.mg3, Tank1.SG0; the two newest tie.
    EXPECT_EQ(FindYoungestFile(dir.path(), "TANK1", ".[ms][gfbs][0-3]"), dir.file("tank1.mg3"));
    writeAt(dir, "tank1.sg0", 2001);
    EXPECT_EQ(FindYoungestFile(dir.path(), "tank1", ".s[gfbs][0-3]"), dir.file("tank1.sg0"));
}

TEST(YoungestFile, YoungerEditFileWarns)
{
    struct Case { const char* edit; std::int64_t editTime; bool warns; };
    const Case cases[] = {
        {"tank1.mgg", 2001, true}, {"tank1.sgg", 2001, true}, // the other form's edit file too
        {"tank1.mgg", 2000, false}, {"tank1.mff", 5000, false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeAt(dir, "tank1.mg3", 2000);
        writeAt(dir, c.edit, c.editTime);
        ScriptedMessageSink sink;
        ScopedMessageSink use(sink);
        EXPECT_EQ(FindYoungestModelFile(1, dir.path(), "tank1", ShowMessageLines, nullptr), dir.file("tank1.mg3"));
        const Lines expected = c.warns ? Lines{"Warning:", "Model's edit file is younger."} : Lines{};
        EXPECT_EQ(sink.transcriptLines(), expected) << c.edit;
        int flag = 7;
        FindYoungestModelFile(1, dir.path(), "tank1", nullptr, &flag);
        EXPECT_EQ(flag, c.warns ? 1 : 0) << c.edit;
    }
    TempDir dir; // a name that ends inside the pattern has no edit files to compare
    writeAt(dir, ".m", 3000);
    writeAt(dir, ".mg", 2000);
    int flag = 7;
    EXPECT_EQ(FindYoungestModelFile(1, dir.path(), "", nullptr, &flag), dir.file(".m"));
    EXPECT_EQ(flag, 0);
}

TEST(FindModel, StatusVariantsAndEditFiles)
{
    ScriptedMessageSink sink;
    ScopedMessageSink use(sink);
    const ConfirmFunction confirm = ShowConfirmLines;
    {
        TempDir dir; // only variants 1 and 2: not looked at
        writeAt(dir, "tank1.mg1", 1000);
        writeAt(dir, "tank1.mg2", 1000);
        EXPECT_EQ(FindModelFile(1, dir.path(), "tank1", confirm), std::nullopt);
    }
    {
        TempDir dir; // the main model's 0 is newer than the submodel's 0
        writeAt(dir, "tank1.mg0", 2000);
        writeAt(dir, "tank1.sg0", 1000);
        EXPECT_EQ(FindModelFile(1, dir.path(), "tank1", confirm), dir.file("tank1.mg0"));
        writeAt(dir, "tank1.mg3", 3000); // 3 newer than 0 wins
        EXPECT_EQ(FindModelFile(1, dir.path(), "tank1", confirm), dir.file("tank1.mg3"));
    }
    {
        TempDir dir; // the equation form, found whatever the case on disk
        writeAt(dir, "Tank1.MFF", 1000);
        writeAt(dir, "tank1.mf0", 5000);
        EXPECT_EQ(FindModelFile(2, dir.path(), "tank1", confirm), dir.file("Tank1.MFF"));
        EXPECT_EQ(FindModelFile(1, dir.path(), "tank1", confirm), std::nullopt);
        EXPECT_EQ(FindModelFile(9, dir.path(), "tank1", confirm), std::nullopt);
    }
    EXPECT_TRUE(sink.transcript().empty());
}

TEST(FindModel, MainAndSubmodelFoundAsksWhichToUse)
{
    TempDir dir;
    writeAt(dir, "tank1.mgg", 1000);
    writeAt(dir, "tank1.sg0", 2000);
    ScriptedMessageSink sink;
    ScopedMessageSink use(sink);
    sink.queueAnswers({BoxAnswer::Ok, BoxAnswer::Cancel});
    EXPECT_EQ(FindModelFile(1, dir.path(), "tank1", ShowConfirmLines), dir.file("tank1.mgg"));
    EXPECT_EQ(FindModelFile(1, dir.path(), "tank1", ShowConfirmLines), dir.file("tank1.sg0"));
    EXPECT_EQ(FindModelFile(1, dir.path(), "tank1", nullptr), dir.file("tank1.mgg"));
    ASSERT_EQ(sink.transcript().size(), 2u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (Lines{"Main model and sub model found with the same name.",
                     "Press OK to use the main model", "or press Cancel to use the submodel."}));
}

TEST(OverwriteModel, ASubmodelsUsersAreTheGraphModelsWhoseSubclassesNameItsType)
{
    TempDir dir;
    const auto model = [](const std::string& types, const std::string& connections = "  a`p -> b`p\n") {
        return "# uses dcm;1 only in this comment\nbond graph m version 1\nsubclasses\n" + types +
               "connections\n" + connections;
    };
    dir.write("mload1.mg0", model("  dcm;1 drive 60 100 !T\n  i;1 jm 160 40\n"));
    dir.write("mload1.mgg", model("  dcm;1 drive 60 100 !T\n")); // the same model once
    dir.write("rack1.sg3", model("\ti;1\tjm 1 2 !T\r\n\tdcm;1\tm1 1 1 !T, m2 2 2 !T\r\n"));
    dir.write("wide1.mgg", model("  r;1 a\n  r;1 b\n  dcm;1 c 1 1 !T\n")); // the group header repeated
    dir.write("other1.mgg", model("  dcm;2 drive 1 1 !T\n  xdcm;1 d 1 1 !T\n")); // another version or type
    dir.write("named1.mgg", model("  i;1 jm 1 1 !T\n", "  dcm;1 -> x\n")); // not among its types
    dir.write("eqn1.mf0", "class x version 1\nsubclasses\n  dcm;1 d\n");    // equation models have none
    dir.write("dcm1.sg0", model("  dcm;1 self 1 1 !T\n"));
    EXPECT_EQ(ModelsUsingSubmodel(dir.path(), "dcm1"), (Lines{"mload1", "rack1", "wide1"}));
    EXPECT_EQ(ModelsUsingSubmodel(dir.path(), "DCM1"), (Lines{"mload1", "rack1", "wide1"}));
    EXPECT_EQ(ModelsUsingSubmodel(dir.path(), "pump1"), Lines{});
    // A long type name is cut to ten characters in its header.
    dir.write("big1.mgg", model("  abcdefghij;1 a 1 1 !T\n"));
    EXPECT_EQ(ModelsUsingSubmodel(dir.path(), "abcdefghijkl1"), Lines{"big1"});

    // The question names them; too many for the box end in a count.
    EXPECT_EQ(ModelOverwriteQuestion(dir.path(), "dcm1", {dir.file("dcm1.sg0")}),
              (Lines{"Model exists as graph submodel.", "These models of its directory use it:",
                     "mload1, rack1, wide1.", "OK to overwrite?"}));
    for (int i = 0; i < 60; ++i)
        dir.write("user" + std::to_string(10 + i) + "1.mgg", model("  dcm;1 d 1 1 !T\n"));
    const Lines many = ModelOverwriteQuestion(dir.path(), "dcm1", {dir.file("dcm1.sg0")});
    ASSERT_EQ(many.size(), 8u);
    EXPECT_EQ(many.back(), "OK to overwrite?");
    EXPECT_TRUE(many[6].starts_with("and ") && many[6].ends_with(" more.")) << many[6];
    for (const std::string& line : many)
        EXPECT_LE(line.size(), 56u) << line;
    // A main model found beside a submodel of the name: the submodel is what the user must hear of.
    EXPECT_EQ(ModelOverwriteQuestion(dir.path(), "big1", {dir.file("big1.mgg")}),
              Lines{"Model exists as graph model. OK to overwrite?"});
    EXPECT_EQ(ModelOverwriteQuestion(dir.path(), "rack1", {dir.file("rack1.mff"), dir.file("rack1.sg3")})[0],
              "Model exists as graph submodel.");
}

TEST(OverwriteModel, ClashesAnswersAndFailedDeletions)
{
    ScriptedMessageSink sink;
    ScopedMessageSink use(sink);
    const MessageFunction errors = ShowMessageLines;
    TempDir dir;
    writeAt(dir, "tank1.mgg", 1000); // the kind's own form is not a clash
    EXPECT_EQ(ConfirmModelOverwrite(1, dir.path(), "tank1", errors, ShowConfirmLines), 0);
    EXPECT_TRUE(sink.transcript().empty());

    writeAt(dir, "tank1.sf0", 1000);
    sink.queueAnswers({BoxAnswer::Cancel});
    EXPECT_EQ(ConfirmModelOverwrite(1, dir.path(), "tank1", errors, ShowConfirmLines), -1);
    EXPECT_TRUE(platform::fileExists(dir.file("tank1.sf0")));
    EXPECT_EQ(sink.transcriptLines(),
              (Lines{"Model exists as equation submodel.", "No model of its directory uses it.", "OK to overwrite?"}));

    EXPECT_EQ(ConfirmModelOverwrite(1, dir.path(), "tank1", errors, ShowConfirmLines), 2);
    EXPECT_FALSE(platform::fileExists(dir.file("tank1.sf0")));
    EXPECT_TRUE(platform::fileExists(dir.file("tank1.mgg")));
    EXPECT_EQ(ConfirmModelOverwrite(2, dir.path(), "tank1", errors, ShowConfirmLines), 1);
    EXPECT_FALSE(platform::fileExists(dir.file("tank1.mgg")));

    // A non-empty directory cannot be unlinked, even by root; the deletion after it succeeds.
    dir.write("tank1.mf0/keep", "");
    writeAt(dir, "Tank1.MF3", 1000);
    EXPECT_EQ(ConfirmModelOverwrite(1, dir.path(), "tank1", errors, ShowConfirmLines), -1);
    EXPECT_FALSE(platform::fileExists(dir.file("Tank1.MF3")));
    EXPECT_EQ(sink.transcript().back().lines, (Lines{"Error at deleting", dir.file("tank1.mf0"), "Errno = 21."}));
}

TEST(DeleteVariants, DeletesTheOtherVariantsOnly)
{
    TempDir dir;
    for (const char* name : {"tank1.mg0", "tank1.mgg", "TANK1.SF2", "tank1.mf3", "tank1.mga", "tank1.sga",
                             "tank2.mg3", "tank1.l"})
        dir.write(name, "");
    ScriptedMessageSink sink;
    ScopedMessageSink use(sink);
    const MessageFunction errors = ShowMessageLines;
    DeleteModelVariants(3, dir.file("tank1.mg0"), errors); // kind without variants
    DeleteModelVariants(1, dir.file("tank1"), errors);     // no extension
    DeleteModelVariants(1, dir.file("tank1.mg"), errors);
    DeleteModelVariants(1, dir.path() + "/.mg0", errors);  // no name before the dot
    EXPECT_TRUE(platform::fileExists(dir.file("tank1.mgg")));

    DeleteModelVariants(1, dir.file("TANK1.MG0"), errors);
    for (const char* name : {"tank1.mgg", "TANK1.SF2", "tank1.mf3"})
        EXPECT_FALSE(platform::fileExists(dir.file(name))) << name;
    for (const char* name : {"tank1.mg0", "tank1.mga", "tank1.sga", "tank2.mg3", "tank1.l"})
        EXPECT_TRUE(platform::fileExists(dir.file(name))) << name;

    DeleteModelVariants(10, dir.file("tank1.mga"), errors);
    EXPECT_FALSE(platform::fileExists(dir.file("tank1.sga")));
    EXPECT_TRUE(platform::fileExists(dir.file("tank1.mga")));
    EXPECT_TRUE(sink.transcript().empty());

    dir.write("tank1.sg1/keep", "");
    DeleteModelVariants(9, dir.file("tank1.mg0"), errors);
    EXPECT_EQ(sink.transcriptLines(), (Lines{"Error at deleting", dir.file("tank1.sg1"), "Errno = 21."}));
}

TEST(Builders, ModelAndProcessedFileNames)
{
    struct Case { int kind; int main; const char* file; };
    const Case cases[] = {{1, 1, "tank1.mgg"}, {1, 0, "tank1.sgg"}, {2, 1, "tank1.mff"},
                          {2, 0, "tank1.sff"}, {10, 1, "tank1.mga"}, {10, 0, "tank1.sga"},
                          {5, 1, "tank1"},     {9, 0, "tank1"}};
    for (const Case& c : cases)
        EXPECT_EQ(MakeModelFileName(c.kind, "/Data/Models", "Tank1", c.main), "/Data/Models/" + std::string(c.file));
    EXPECT_EQ(MakeCodeFileName("/P", "Tank1"), "/P/tank1.l");
    EXPECT_EQ(MakeEquationFileName("", "tank1"), "tank1.e");

    TempDir dir;
    dir.write("Tank1.L", "");
    EXPECT_EQ(FindCodeFile(dir.path(), "tank1"), dir.file("Tank1.L"));
    EXPECT_EQ(FindEquationFile(dir.path(), "tank1"), std::nullopt);
}

// A model name is never cut: a long name would otherwise be another model's, whose files
// would be read, processed or overwritten in its place.
TEST(Builders, ALongModelNameNamesNoOtherModelsFiles)
{
    TempDir dir;
    dir.write("longmodelname.mf3", "");
    dir.write("longmodelname.l", "");
    dir.write("longmodelname.mff", "");
    EXPECT_EQ(FindYoungestModelFile(4, dir.path(), "longmodelnameb", nullptr, nullptr), std::nullopt);
    EXPECT_EQ(FindCodeFile(dir.path(), "longmodelnameb"), std::nullopt);
    EXPECT_EQ(FindModelFile(2, dir.path(), "longmodelnameb", nullptr), std::nullopt);
    EXPECT_EQ(MakeModelFileName(1, "/m/", "AVeryLongModelName1", 1), "/m/averylongmodelname1.mgg");
    EXPECT_EQ(MakeCodeFileName("/m", "longmodelnameb"), "/m/longmodelnameb.l");
}

TEST(ModelNameChecks, AGivenNameThatNoModelsFilesCanHaveIsRefusedByName)
{
    const std::string tooLong = " is longer than 7 characters and a version digit.";
    const std::string character = " holds a character other than a letter, a digit or '_' at position ";
    struct Case { std::string name; std::string refusal; };
    const Case cases[] = {
        {"tank1", ""},
        {"x1.mf3", ""}, // the name of one of its files
        {"pend", ""},
        {"0j1", ""},
        {"tank1234", ""},
        {"tank12345", "the model name tank12345" + tooLong},
        {"longmodelnameb", "the model name longmodelnameb" + tooLong},
        {"longmodelnameb.mf3", "the model name longmodelnameb.mf3" + tooLong},
        {"../tank1", "the model name ../tank1" + character + "1."},
        {"a/b1", "the model name a/b1" + character + "2."},
        {"tank1./x", "the model name tank1./x" + character + "7."},
        {"tank 1", "the model name tank 1" + character + "5."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ModelNameRefusal(c.name), c.refusal) << c.name;

    ScriptedMessageSink sink;
    ScopedMessageSink use(sink);
    EXPECT_EQ(AcceptGivenModelName("tank1"), 1);
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(AcceptGivenModelName("longmodelnameb"), 0);
    EXPECT_EQ(sink.transcriptLines(), (Lines{"The model name longmodelnameb" + tooLong}));
}

TEST(Builders, ExperimentFileNames)
{
    using Make = std::string (*)(const std::string&, const std::string&, const std::string&);
    struct Case { Make make; const char* file; };
    const Case cases[] = {
        {MakeRunSpecFileName, "longexpe.r"},     {MakeParameterFileName, "longexpe.p"},
        {MakePlotSpecFileName, "longexpe.u"},    {MakeDataFileName, "longexpe.n"},
        {MakeMetafileName, "longexpe.wmf"},      {MakeExperimentSFileName, "longexpe.s"},
        {MakeExperimentAFileName, "longexpe.a"}, {MakeMultipleRunFileName, "longexpe.mr"},
        {MakeDataValuesFileName, "longexpe.v"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.make("/Exp/Tank1", "tank1", "LongExperiment"), "/Exp/Tank1/" + std::string(c.file));

    using Find = std::optional<std::string> (*)(const std::string&, const std::string&, const std::string&);
    TempDir dir;
    for (const char* name : {"RUN.R", "run.p", "run.u", "run.mr", "run.n", "run.s", "run.c"})
        dir.write(name, "");
    struct FindCase { Find find; const char* file; };
    const FindCase finds[] = {
        {FindRunSpecFile, "RUN.R"},   {FindParameterFile, "run.p"}, {FindPlotSpecFile, "run.u"},
        {FindMultipleRunFile, "run.mr"}, {FindDataFile, "run.n"},   {FindExperimentSFile, "run.s"},
        {FindExperimentAFile, "run.c"},
    };
    for (const FindCase& c : finds) {
        EXPECT_EQ(c.find(dir.path(), "tank1", "run"), dir.file(c.file)) << c.file;
        EXPECT_EQ(c.find(dir.path(), "tank1", "walk"), std::nullopt) << c.file;
    }
    dir.write("run.a", "");
    EXPECT_EQ(FindExperimentAFile(dir.path(), "tank1", "run"), dir.file("run.a"));
}

TEST(Builders, MatlabFilesGoToAMatlabFolderMadeWhenMissing)
{
    TempDir dir;
    EXPECT_EQ(MakeMatlabScriptFileName(dir.path(), "tank1", "LongExperiment"),
              dir.file("matlab/longexpe.m"));
    EXPECT_TRUE(platform::isDirectory(dir.file("matlab")));
    EXPECT_EQ(MakeMatlabDataFileName(dir.path(), "tank1", "run"), dir.file("matlab/run.d"));

    TempDir blocked;
    blocked.write("matlab", "a file in the way");
    EXPECT_EQ(MakeMatlabScriptFileName(blocked.path(), "tank1", "run"), std::nullopt);
    EXPECT_EQ(MakeMatlabDataFileName(blocked.file("missing"), "tank1", "run"), std::nullopt);
}

TEST(OverwriteExperiment, AsksOnlyWhenTheExperimentExists)
{
    TempDir dir;
    ScriptedMessageSink sink;
    ScopedMessageSink use(sink);
    dir.write("run.n", ""); // data files do not count
    EXPECT_EQ(ConfirmExperimentOverwrite(dir.path(), "tank1", "run", ShowConfirmLines), 0);
    EXPECT_TRUE(sink.transcript().empty());

    dir.write("RUN.U", "");
    sink.queueAnswers({BoxAnswer::Cancel, BoxAnswer::Ok});
    EXPECT_EQ(ConfirmExperimentOverwrite(dir.path(), "tank1", "run", ShowConfirmLines), -1);
    EXPECT_EQ(ConfirmExperimentOverwrite(dir.path(), "tank1", "run", ShowConfirmLines), 0);
    EXPECT_EQ(ConfirmExperimentOverwrite(dir.path(), "tank1", "run", nullptr), 0);
    EXPECT_EQ(sink.transcript().size(), 2u);
    EXPECT_EQ(sink.transcript()[0].lines, (Lines{"Experiment exists. OK to overwrite?"}));
}

TEST(ChooserCategories, CodesFillTheirGroups)
{
    ResetSettings();
    ResetStartup();
    Settings().model_dirs = "/Work;/Lib";
    Startup().ProcessedDirectory = "/Proc";
    Startup().ExperimentDirectory = "/Exp";
    Startup().ResultDirectory = "/Res";
    const Lines models{"/Work", "/Lib"};
    struct Case { int code; std::vector<ModelNameGroup> groups; };
    const Case cases[] = {
        {2, {{"Models", models, "*.[ms][fg][fg03]"}}},
        {4, {{"Models", models, "*.[m][gfbs][0-3]"}}},
        {5, {{"Processed models", {"/Proc"}, "*.[l]"}}},
        {8, {{"Models", models, "*.*"}, {"Run spec.s", {"/Exp"}, "*.[rpu]"}, {"Sim. results", {"/Res"}, "*.*"}}},
        {9, {{"User models", models, "*.[m][gfbs][gfbs]"}}},
        {3, {{"User models", models, "*.[m][gfbs][gfbs]"}}}, // unknown code: untouched
    };
    const auto fields = [](const ModelNameGroup& g) { return std::tie(g.title, g.directories, g.pattern); };
    ModelNameCategory category;
    for (const Case& c : cases) {
        FillModelNameCategory(category, c.code);
        ASSERT_EQ(category.groups.size(), c.groups.size()) << c.code;
        for (std::size_t i = 0; i < c.groups.size(); ++i)
            EXPECT_EQ(fields(category.groups[i]), fields(c.groups[i])) << c.code << " group " << i;
    }
    FillExperimentCategory(category, "Tank1"); // the directory keeps its case
    ASSERT_EQ(category.groups.size(), 1u);
    EXPECT_EQ(fields(category.groups[0]), fields({"Experiments", {"/Exp/Tank1"}, "*.[rpu]"}));
    ResetSettings();
    ResetStartup();
}
