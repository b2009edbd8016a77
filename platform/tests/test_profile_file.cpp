// Profile files: classic reading, one-line writes that keep the rest, and saves that fail safely.
#include "platform/core/file_system.h"
#include "platform/core/profile_file.h"
#include "platform/testing/permissions.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testsupport::readText;
using testsupport::TempDir;

namespace {

// The lines of a text, each with its line ending.
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// The names in a directory other than "." and "..", sorted.
std::vector<std::string> entriesOf(const std::string& dir)
{
    std::vector<std::string> names = listDirectory(dir).value_or(std::vector<std::string>{});
    std::erase_if(names, [](const std::string& n) { return n == "." || n == ".."; });
    std::sort(names.begin(), names.end());
    return names;
}

const char* const kHandWritten =
    "orphan=before any section\r\n"
    "; Orvanta settings\r\n"
    "\r\n"
    "[general]\r\n"
    "model_dirs =  /home/u/models;/opt/models  \r\n"
    "Alias_Names='project'\r\n"
    "unknown_key=whatever\r\n"
    "a line without an equals sign\r\n"
    "\r\n"
    "  [ Graph Editor ]  \r\n"
    "\tgrid = 1\r\n"
    "GRID=0\r\n"
    "def_bond_size = \" 3 \"\r\n"
    "showname=\"1'\r\n"
    "; snap=1\r\n"
    "empty=\r\n"
    "quoted_empty=''\r\n"
    "[Simulator]\n"
    "linewidth=2\n"
    "[graph editor]\n"
    "snap=1\n"
    "[Model Processor]\n"
    "messages=1";

} // namespace

TEST(ProfileFileRead, HandWrittenSettingsFile)
{
    ProfileFile profile = ProfileFile::fromText(kHandWritten);
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"General", "model_dirs", "/home/u/models;/opt/models"},  // trimmed, CR LF dropped
        {"GENERAL", "alias_names", "project"},                    // names ignore case, quotes removed
        {"general", "unknown_key", "whatever"},
        {"Graph Editor", "grid", "1"},                            // first of two keys wins
        {"graph editor", "def_bond_size", " 3 "},                 // inside quotes nothing is trimmed
        {"Graph Editor", "showname", "\"1'"},                     // quotes that do not match stay
        {"Graph Editor", "snap", std::nullopt},                   // commented out; later duplicate section unseen
        {"Graph Editor", "empty", ""},
        {"Graph Editor", "quoted_empty", ""},
        {"Simulator", "linewidth", "2"},                          // LF lines in the same file
        {"Model Processor", "messages", "1"},                     // last line without line ending
        {" Simulator ", " linewidth ", "2"},                      // names given with white space
        {"General", "orphan", std::nullopt},                      // keys before any section belong to none
        {"", "orphan", std::nullopt},
        {"General", "a line without an equals sign", std::nullopt},
        {"Missing", "grid", std::nullopt},
        {"General", "", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(profile.value(c.section, c.key), c.expected) << c.section << " / " << c.key;
    EXPECT_EQ(profile.getString("Simulator", "mode", "fallback"), "fallback");
    EXPECT_EQ(profile.getString("Simulator", "linewidth", "fallback"), "2");
}

TEST(ProfileFileRead, TextComesBackByteForByte)
{
    const std::string texts[] = {"", "\r\n", "[s]\nk=v\r\nx", "bare\r", "\r\r\n", kHandWritten,
                                 std::string("[s]\nk=a\0b\n", 11)};
    for (const std::string& text : texts)
        EXPECT_EQ(ProfileFile::fromText(text).text(), text);
}

// A UTF-8 byte-order mark before the first section hides nothing and is written back.
TEST(ProfileFileRead, ByteOrderMarkIsSkippedAndKept)
{
    ProfileFile profile = ProfileFile::fromText("\xEF\xBB\xBF[General]\ngrid=1\n");
    EXPECT_EQ(profile.value("General", "grid"), "1");
    ASSERT_TRUE(profile.setValue("General", "grid", "0"));
    EXPECT_EQ(profile.text(), "\xEF\xBB\xBF[General]\ngrid=0\n");
}

TEST(ProfileFileRead, LongLinesAreNotCut)
{
    std::string value(100000, 'x');
    ProfileFile profile = ProfileFile::fromText("[s]\nk=" + value + "\n");
    EXPECT_EQ(profile.value("s", "k"), value);
}

TEST(ProfileFileWrite, ChangingOneKeyRewritesExactlyThatLine)
{
    const std::string before = kHandWritten;
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        std::size_t line;
        const char* expectedLine;
    };
    const Case cases[] = {
        {"graph editor", "GRID", "0", 10, "grid=0\r\n"},              // file's spelling and CR LF kept
        {"General", "MODEL_DIRS", "/x", 4, "model_dirs=/x\r\n"},
        {"Simulator", "linewidth", "3", 18, "linewidth=3\n"},
        {"Model Processor", "messages", "2", 22, "messages=2"},      // still no line ending
        {"General", "alias_names", " spaced ", 5, "Alias_Names=\" spaced \"\r\n"},
    };
    for (const Case& c : cases) {
        ProfileFile profile = ProfileFile::fromText(before);
        ASSERT_TRUE(profile.setValue(c.section, c.key, c.value)) << c.key;
        std::vector<std::string> oldLines = linesOf(before), newLines = linesOf(profile.text());
        ASSERT_EQ(newLines.size(), oldLines.size()) << c.key;
        for (std::size_t i = 0; i < oldLines.size(); ++i) {
            if (i == c.line)
                EXPECT_EQ(newLines[i], c.expectedLine) << c.key;
            else
                EXPECT_EQ(newLines[i], oldLines[i]) << c.key << " changed line " << i;
        }
        EXPECT_EQ(profile.value(c.section, c.key), c.value);
    }
}

TEST(ProfileFileWrite, SettingTheValueAlreadyThereKeepsTheLine)
{
    ProfileFile profile = ProfileFile::fromText(kHandWritten);
    ASSERT_TRUE(profile.setValue("Graph Editor", "grid", "1"));
    ASSERT_TRUE(profile.setValue("General", "alias_names", "project"));
    EXPECT_EQ(profile.text(), kHandWritten);
}

TEST(ProfileFileWrite, NewKeysAndSections)
{
    struct Case {
        const char* name;
        std::string before;
        const char* section;
        std::string after;
    };
    const Case cases[] = {
        {"after the section's last key, before its closing comment",
         "[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\ny=2\r\n", "a",
         "[A]\r\nx=1\r\nnew=v\n\r\n; about B\r\n[B]\r\ny=2\r\n"},
        {"into the last section, which lacks a final line ending",
         "[A]\nx=1", "A", "[A]\nx=1\nnew=v\n"},
        {"into a section with no keys", "[A]\n\n[B]\n", "A", "[A]\nnew=v\n\n[B]\n"},
        {"new section after a blank line", "[A]\nx=1\n", "B", "[A]\nx=1\n\n[B]\nnew=v\n"},
        {"new section, file already ends blank", "[A]\nx=1\n\n", "B", "[A]\nx=1\n\n[B]\nnew=v\n"},
        {"new section, file without final line ending", "[A]\r\nx=1", "B", "[A]\r\nx=1\n\n[B]\nnew=v\n"},
        {"new section in an empty file", "", "B", "[B]\nnew=v\n"},
        {"new section when only keys without section exist", "k=1\n", "B", "k=1\n\n[B]\nnew=v\n"},
    };
    for (const Case& c : cases) {
        ProfileFile profile = ProfileFile::fromText(c.before);
        ASSERT_TRUE(profile.setValue(c.section, "new", "v")) << c.name;
        EXPECT_EQ(profile.text(), c.after) << c.name;
        EXPECT_EQ(profile.value(c.section, "NEW"), "v") << c.name;
    }
}

TEST(ProfileFileWrite, ValuesThatWouldNotReadBackAreQuoted)
{
    const std::pair<const char*, const char*> cases[] = {
        {"plain value", "k=plain value\n"},
        {"", "k=\n"},
        {" lead", "k=\" lead\"\n"},
        {"trail\t", "k=\"trail\t\"\n"},
        {"'quoted'", "k=\"'quoted'\"\n"},
        {"\"x\"", "k=\"\"x\"\"\n"},
        {"\"", "k=\"\n"},
        {"'mixed\"", "k='mixed\"\n"},
        {"a;b=c", "k=a;b=c\n"},
    };
    for (const auto& [value, line] : cases) {
        ProfileFile profile = ProfileFile::fromText("[s]\n");
        ASSERT_TRUE(profile.setValue("s", "k", value)) << value;
        EXPECT_EQ(profile.text(), std::string("[s]\n") + line) << value;
        EXPECT_EQ(profile.value("s", "k"), value);
    }
}

TEST(ProfileFileWrite, RefusesWhatWouldCorruptTheFile)
{
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"s", "k", "two\nlines"}, {"s", "k", "cr\r"},     {"s", "k\n", "v"},  {"s\r\n[t", "k", "v"},
        {"s", "a=b", "v"},        {"s", "", "v"},         {"s", "  ", "v"},   {"s", ";k", "v"},
        {"s", "[k]", "v"},        {"s]x", "k", "v"},      {"", "k", "v"},
    };
    for (const Case& c : cases) {
        ProfileFile profile = ProfileFile::fromText(kHandWritten);
        EXPECT_FALSE(profile.setValue(c.section, c.key, c.value)) << c.section << " / " << c.key;
        EXPECT_EQ(profile.text(), kHandWritten);
    }
}

TEST(ProfileFileSave, RoundTripThroughTheOneShotForms)
{
    TempDir dir;
    std::string path = dir.file("orvanta.ini");
    EXPECT_EQ(readProfileString(path, "General", "model_dirs", "none"), "none");
    int error = -1;
    ASSERT_TRUE(writeProfileString(path, "General", "model_dirs", "/a;/b", &error));
    EXPECT_EQ(error, 0);
    ASSERT_TRUE(writeProfileString(path, "Simulator", "grid", "1"));
    ASSERT_TRUE(writeProfileString(path, "general", "alias_names", "project"));
    EXPECT_EQ(readText(path), "[General]\nmodel_dirs=/a;/b\nalias_names=project\n\n[Simulator]\ngrid=1\n");
    EXPECT_EQ(readProfileString(path, "GENERAL", "Model_Dirs"), "/a;/b");

    ProfileFile loaded = ProfileFile::load(path);
    EXPECT_TRUE(loaded.existed());
    EXPECT_FALSE(ProfileFile::load(dir.file("missing.ini")).existed());
    EXPECT_FALSE(writeProfileString(path, "General", "bad=key", "v", &error));
    EXPECT_EQ(error, EINVAL);
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"orvanta.ini"});
}

// Each failure must leave what was there untouched, report an errno and leave
// no temporary file behind. These work as root, which ignores permissions.
TEST(ProfileFileSave, FileInPlaceOfTheDirectory)
{
    TempDir dir;
    dir.write("settings", "not a directory");
    ProfileFile profile(dir.file("settings/orvanta.ini"));
    ASSERT_TRUE(profile.setValue("General", "grid", "1"));
    int error = 0;
    EXPECT_FALSE(profile.save(&error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_EQ(readText(dir.file("settings")), "not a directory");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"settings"});
}

TEST(ProfileFileSave, DirectoryInPlaceOfTheFile)
{
    TempDir dir;
    dir.write("orvanta.ini/inside", "kept");
    ProfileFile profile = ProfileFile::load(dir.file("orvanta.ini"));
    EXPECT_FALSE(profile.existed());
    ASSERT_TRUE(profile.setValue("General", "grid", "1"));
    int error = 0;
    EXPECT_FALSE(profile.save(&error));
    EXPECT_NE(error, 0);
    EXPECT_EQ(readText(dir.file("orvanta.ini/inside")), "kept");
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"orvanta.ini"});

    // Without the refusal of the load, the rename itself must fail and clean up.
    ASSERT_TRUE(writeFileAtomically(dir.file("plain.ini"), "x"));
    error = 0;
    EXPECT_FALSE(writeFileAtomically(dir.file("orvanta.ini"), "[General]\n", &error));
    EXPECT_EQ(error, EISDIR);
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"orvanta.ini", "plain.ini"}));
}

TEST(ProfileFileSave, FullDiskLeavesTheOldFile)
{
    // A file-size limit makes write() fail with EFBIG part way, as a full disk would.
    TempDir dir;
    const std::string old = "[General]\nmodel_dirs=/old\n";
    std::string path = dir.write("orvanta.ini", old);
    ProfileFile profile = ProfileFile::load(path);
    ASSERT_TRUE(profile.setValue("General", "model_dirs", std::string(4096, 'm')));

    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int error = 0;
    bool savedOk = profile.save(&error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(savedOk);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(readText(path), old);
    EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"orvanta.ini"});
}

TEST(ProfileFileSave, ReadOnlyDirectory)
{
    TempDir dir;
    const std::string old = "[General]\ngrid=1\n";
    std::string path = dir.write("ro/orvanta.ini", old);
    ASSERT_EQ(::chmod(dir.file("ro").c_str(), 0555), 0);
    testsupport::ScopedOrdinaryPermissions ordinary; // root too
    if (!ordinary.binding())
        GTEST_SKIP() << "this process can write into a read-only directory";
    int error = 0;
    EXPECT_FALSE(writeProfileString(path, "General", "grid", "0", &error));
    EXPECT_EQ(error, EACCES);
    EXPECT_EQ(readText(path), old);
    EXPECT_EQ(entriesOf(dir.file("ro")), std::vector<std::string>{"orvanta.ini"});
}

TEST(ProfileFileSave, UnreadableFileIsNotOverwritten)
{
    TempDir dir;
    std::string path = dir.write("orvanta.ini", "[General]\nmodel_dirs=/mine\n");
    ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
    {
        testsupport::ScopedOrdinaryPermissions ordinary; // root too
        if (!ordinary.binding())
            GTEST_SKIP() << "this process can read a file without read permission";
        EXPECT_EQ(ProfileFile::load(path).loadError(), EACCES);
        int error = 0;
        EXPECT_FALSE(writeProfileString(path, "General", "grid", "1", &error));
        EXPECT_EQ(error, EACCES);
    }
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(readText(path), "[General]\nmodel_dirs=/mine\n");
}
