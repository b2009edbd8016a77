// File-system helpers: times, deletion, case-insensitive lookup, paths, directories, atomic save.
#include "platform/core/file_system.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <tuple>
#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using testsupport::readText;
using testsupport::TempDir;

namespace {

// Sets the umask for the lifetime of the object.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : m_previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

mode_t permissionsOf(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::vector<std::string> sortedEntries(const std::string& dir)
{
    std::vector<std::string> names = listDirectory(dir).value_or(std::vector<std::string>{});
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(FileTimes, WholeSecondsInSixtyFourBits)
{
    TempDir dir;
    std::string path = dir.write("model.bg", "x");
    for (std::int64_t seconds : {std::int64_t{0}, std::int64_t{1234567890}, std::int64_t{4102444800}}) {
        testsupport::setModificationTime(path, seconds);
        EXPECT_EQ(modificationTime(path), seconds);
    }
    EXPECT_EQ(modificationTime(dir.file("missing")), std::nullopt);
}

TEST(FileChanges, ExistenceDeletionAndDirectories)
{
    TempDir dir;
    std::string file = dir.write("gone", "x");
    ASSERT_EQ(::symlink("nowhere", dir.file("dangling").c_str()), 0);
    EXPECT_FALSE(fileExists(dir.file("dangling")));  // links are followed
    EXPECT_FALSE(isDirectory(file));
    EXPECT_EQ(deleteFile(file), 0);
    EXPECT_FALSE(fileExists(file));
    EXPECT_EQ(deleteFile(file), ENOENT);

    EXPECT_EQ(makeDirectory(dir.file("sub")), 0);
    EXPECT_TRUE(isDirectory(dir.file("sub")));
    EXPECT_EQ(makeDirectory(dir.file("sub")), EEXIST);
    EXPECT_EQ(makeDirectory(dir.file("a/b")), ENOENT);
}

TEST(DirectoryListing, FindFileNoCase)
{
    TempDir dir;
    dir.write("Model.BG", "");
    dir.write("model.bg", "");
    dir.write("Data.TXT", "");
    dir.write("sub/Deep.Txt", "");
    struct Case {
        const char* name;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"model.bg", "model.bg"},        // exact match wins over an earlier case variant
        {"Model.BG", "Model.BG"},
        {"MODEL.bg", "Model.BG"},        // otherwise the first in sorted order
        {"data.txt", "Data.TXT"},        // returned as spelled on disk
        {"sub/Deep.Txt", "sub/Deep.Txt"},
        {"sub/deep.txt", std::nullopt},  // only the last component is matched by listing
        {"missing", std::nullopt},
        {"", std::nullopt},
        {"data.tx", std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<std::string> expected;
        if (c.expected)
            expected = dir.file(*c.expected);
        EXPECT_EQ(findFileNoCase(dir.path(), c.name), expected) << c.name;
    }
    EXPECT_EQ(findFileNoCase(dir.file("missing-dir"), "x"), std::nullopt);
    EXPECT_EQ(sortedEntries(dir.path()),
              (std::vector<std::string>{".", "..", "Data.TXT", "Model.BG", "model.bg", "sub"}));

    testsupport::ScopedCurrentDirectory inDir(dir.path());
    EXPECT_EQ(findFileNoCase("", "DATA.txt"), "Data.TXT");
}

TEST(PathText, JoinAndCase)
{
    const std::tuple<const char*, const char*, const char*> joins[] = {
        {"/home/u", "m.bg", "/home/u/m.bg"}, {"/home/u/", "m.bg", "/home/u/m.bg"},
        {"", "m.bg", "m.bg"},                {"/", "etc", "/etc"},
        {"rel", "a/b", "rel/a/b"},
    };
    for (const auto& [dir, name, expected] : joins)
        EXPECT_EQ(joinPath(dir, name), expected);

    EXPECT_EQ(toLower("MiXeD.BG \xC3\x84"), "mixed.bg \xC3\x84");
    EXPECT_TRUE(equalsNoCase("Graph Editor", "gRAPH eDITOR"));
    EXPECT_FALSE(equalsNoCase("Graph", "Graph "));
    EXPECT_FALSE(equalsNoCase("\xC3\x84", "\xC3\xA4"));  // non-ASCII letters are not folded
    EXPECT_FALSE(equalsNoCase("[", "{"));                // 0x5B and 0x7B differ only in bit 5
}

TEST(FileContent, ReadWholeFiles)
{
    TempDir dir;
    std::string binary("a\0b\r\n", 5);
    binary += std::string(200000, 'z');
    std::string path = dir.write("data", binary);
    EXPECT_EQ(readFile(path), binary);
    EXPECT_EQ(readFile(dir.write("empty", "")), "");
    int error = 0;
    EXPECT_EQ(readFile(dir.file("missing"), &error), std::nullopt);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(readFile(dir.path(), &error), std::nullopt);
    EXPECT_EQ(error, EISDIR);
}

// Only a regular file within the reader's bound is read, whole or as a stream: a device would
// fill the memory, a pipe would wait for a writer, and neither is opened to be read.
TEST(FileContent, OnlyRegularFilesWithinTheBoundAreRead)
{
    TempDir dir;
    const testsupport::PipeReleaser releaser(dir.file("pipe"));
    const std::string& pipe = releaser.path();
    const std::string exact = dir.write("exact", std::string(100, 'e'));
    ASSERT_EQ(::symlink("exact", dir.file("link").c_str()), 0);
    const struct {
        std::string path;
        std::uint64_t limit;
        int error; ///< 0: read
    } cases[] = {
        {"/dev/zero", kReadLimit, kNotRegularFile},
        {"/dev/null", kReadLimit, kNotRegularFile},
        {pipe, kReadLimit, kNotRegularFile},
        {dir.path(), kReadLimit, EISDIR},
        {exact, 99, EFBIG},
        {exact, 100, 0},
        {dir.file("link"), 100, 0}, // a link to a regular file is read
        {"/proc/self/status", 1u << 20, 0}, // of size 0 by its status, yet it has bytes
        {"/proc/self/status", 10, EFBIG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " within " + std::to_string(c.limit));
        int error = -1;
        const std::optional<std::string> text = readFile(c.path, &error, c.limit);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(text.has_value(), c.error == 0);
        EXPECT_EQ(isRefusedFile(error), c.error != 0);
        if (c.limit == kReadLimit) {
            error = -1;
            std::FILE* stream = openRegularFile(c.path, &error);
            EXPECT_EQ(stream, nullptr);
            EXPECT_EQ(error, c.error);
            if (stream)
                std::fclose(stream);
        }
    }
    int error = -1;
    std::FILE* stream = openRegularFile(exact, &error);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(std::fgetc(stream), 'e');
    std::fclose(stream);

    EXPECT_EQ(fileErrorText(kNotRegularFile), "it is not a regular file");
    EXPECT_EQ(fileErrorText(EISDIR), "it is a directory");
    EXPECT_EQ(fileErrorText(EFBIG, 1024), "it is larger than 1024 bytes");
    EXPECT_EQ(fileErrorText(ENOENT), "No such file or directory");
}

TEST(AtomicWrite, ReplacesKeepingPermissions)
{
    TempDir dir;
    std::string path = dir.write("orvanta.ini", "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    int error = -1;
    ASSERT_TRUE(writeFileAtomically(path, "new content", &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(readText(path), "new content");
    EXPECT_EQ(permissionsOf(path), 0640u);
    EXPECT_EQ(sortedEntries(dir.path()), (std::vector<std::string>{".", "..", "orvanta.ini"}));
}

TEST(AtomicWrite, NewFileTakesTheUmask)
{
    TempDir dir;
    ScopedUmask mask(027);
    ASSERT_TRUE(writeFileAtomically(dir.file("new.ini"), "x"));
    EXPECT_EQ(permissionsOf(dir.file("new.ini")), 0640u);
    EXPECT_EQ(readText(dir.file("new.ini")), "x");
}

TEST(AtomicWrite, PiecesFollowOneAnotherWhateverTheirSizes)
{
    // Long pieces go out a megabyte at a time: the bytes at the seams must all arrive, in order.
    TempDir dir;
    std::string path = dir.write("long.l", "old");
    std::string big(3u * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + (i * 7 + i / 4093) % 26);
    const std::string exact(1u << 20, 'x');
    const std::string_view pieces[] = {"head\n", "", big, exact, "tail"};
    int error = -1;
    ASSERT_TRUE(writeFileAtomically(path, pieces, &error));
    EXPECT_EQ(error, 0);
    const std::string text = readText(path);
    ASSERT_EQ(text.size(), 5 + big.size() + exact.size() + 4);
    EXPECT_TRUE(text == "head\n" + big + exact + "tail");
    EXPECT_EQ(sortedEntries(dir.path()), (std::vector<std::string>{".", "..", "long.l"}));

    ASSERT_TRUE(writeFileAtomically(path, std::span<const std::string_view>()));
    EXPECT_EQ(readText(path), "");
}

TEST(AtomicWrite, AFileWrittenInStepsReplacesTheOldOneOnlyWhenInstalled)
{
    TempDir dir;
    const std::string path = dir.write("model.e", "old");
    const auto pieces = [](std::initializer_list<std::string_view> list) { return std::vector<std::string_view>(list); };
    {
        AtomicFile file(path);
        EXPECT_EQ(file.error(), 0);
        EXPECT_TRUE(file.write(pieces({"head\n", "more\n"})));
        EXPECT_EQ(readText(path), "old");
        EXPECT_EQ(sortedEntries(dir.path()).size(), 3u); // the new file has no name yet
        EXPECT_TRUE(file.write(pieces({"tail"})));
        EXPECT_TRUE(file.install());
        EXPECT_EQ(file.error(), 0);
        EXPECT_FALSE(file.write(pieces({"after"})));
    }
    EXPECT_EQ(readText(path), "head\nmore\ntail");
    EXPECT_EQ(sortedEntries(dir.path()), (std::vector<std::string>{".", "..", "model.e"}));

    // Given up, or never installed: the file stays as it was and no temporary file is left.
    {
        AtomicFile file(path);
        EXPECT_TRUE(file.write(pieces({"lost"})));
    }
    {
        AtomicFile file(path);
        EXPECT_TRUE(file.write(pieces({"lost"})));
        file.abandon();
        EXPECT_FALSE(file.install());
    }
    EXPECT_EQ(readText(path), "head\nmore\ntail");
    EXPECT_EQ(sortedEntries(dir.path()), (std::vector<std::string>{".", "..", "model.e"}));

    // A file that cannot be made: every step fails with the system's error.
    AtomicFile missing(dir.file("no/such/model.e"));
    EXPECT_EQ(missing.error(), ENOENT);
    EXPECT_FALSE(missing.write(pieces({"x"})));
    EXPECT_FALSE(missing.install());
    EXPECT_EQ(missing.error(), ENOENT);
}

namespace {

/// Forks a writer of `path` that goes as far as `steps` take it, tells so and waits; the writer
/// is then killed. Its process id.
pid_t killedWriter(const std::string& path, const std::function<void(AtomicFile&)>& steps)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        AtomicFile file(path);
        steps(file);
        const char done = 1;
        [[maybe_unused]] ssize_t told = ::write(ready[1], &done, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char done = 0;
    const bool told = child > 0 && ::read(ready[0], &done, 1) == 1;
    ::close(ready[0]);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    return told ? child : -1;
}

} // namespace

// A writer killed at any step leaves the file it was replacing as it was. While it writes and
// flushes, its new content has no name, and goes with it; killed in the moment between naming the
// content and putting it in place, it leaves a temporary name that holds its process id, which
// the next writer of the same file removes. Temporary names of living writers stay.
TEST(AtomicWrite, AWriterKilledAtAnyStepLeavesTheOldFileAndNoTemporaryBehind)
{
    TempDir dir;
    const std::string path = dir.write("chain1.l", "earlier");
    const std::string big(4u << 20, 'x');
    const struct {
        const char* step;
        std::function<void(AtomicFile&)> steps;
        bool leavesName;
    } cases[] = {
        {"while writing", [&](AtomicFile& f) { f.write(std::vector<std::string_view>{big}); }, false},
        {"after flushing", [&](AtomicFile& f) { f.write(std::vector<std::string_view>{big}) && f.sync(); }, false},
        {"after naming", [&](AtomicFile& f) { f.write(std::vector<std::string_view>{big}) && f.link(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        const pid_t writer = killedWriter(path, c.steps);
        ASSERT_GT(writer, 0);
        EXPECT_EQ(readText(path), "earlier");
        std::vector<std::string> entries = sortedEntries(dir.path());
        ASSERT_EQ(entries.size(), c.leavesName ? 4u : 3u) << testing::PrintToString(entries);
        EXPECT_EQ(entries.back(), "chain1.l");
        if (c.leavesName) {
            EXPECT_EQ(entries[2].rfind(".chain1.l." + std::to_string(writer) + ".", 0), 0u) << entries[2];
        }
    }

    // The next writer removes what dead writers left, and leaves other names and living writers'.
    const std::string living = ".chain1.l.1.7"; // process 1 lives as long as the system
    for (const std::string& name : {living, std::string(".chain1.l.999999999.3"), std::string(".chain1.l.x.3"),
                                    std::string(".chain1.e.999999999.3")})
        dir.write(name, "left");
    ASSERT_TRUE(writeFileAtomically(path, "new"));
    EXPECT_EQ(readText(path), "new");
    EXPECT_EQ(sortedEntries(dir.path()), (std::vector<std::string>{".", "..", ".chain1.e.999999999.3", living,
                                                                  ".chain1.l.x.3", "chain1.l"}));
}

// A link at the path is replaced by the new file, whatever it points at: the file it points at
// (outside the folder, perhaps) keeps its content, and the new file has a new file's permissions.
TEST(AtomicWrite, ReplacesALinkAndNeverWritesThroughIt)
{
    TempDir dir;
    ScopedUmask mask(022);
    const std::string outside = dir.write("outside/pic.png", "outside");
    ASSERT_EQ(::chmod(outside.c_str(), 0600), 0);
    const std::string folder = dir.mkdir("msd1");
    // The links, all planted afresh before each write.
    const std::pair<const char*, std::string> links[] = {
        {"relative", "../outside/pic.png"}, {"absolute", outside},
        {"chain", dir.file("msd1/absolute")}, {"dangling", "../outside/made.png"},
        {"loop-a", "loop-b"},               {"loop-b", "loop-a"},
        {"folder", "../outside"},
    };
    const std::function<bool(const std::string&)> writers[] = {
        [](const std::string& path) { return writeFileAtomically(path, "new"); },
        [](const std::string& path) {
            AtomicFile file(path);
            std::FILE* stream = file.openStream();
            const bool written = stream && std::fputs("new", stream) >= 0;
            return stream && std::fclose(stream) == 0 && written && file.install();
        },
        [](const std::string& path) {
            return writeFileThroughName(path, [](const std::string& name) { return writeFileAtomically(name, "new"); });
        },
    };
    for (std::size_t writer = 0; writer < std::size(writers); ++writer) {
        for (const auto& [name, target] : links) {
            SCOPED_TRACE(std::string(name) + " by writer " + std::to_string(writer));
            for (const auto& [planted, pointer] : links) {
                ::unlink(dir.file("msd1/" + std::string(planted)).c_str());
                ASSERT_EQ(::symlink(pointer.c_str(), dir.file("msd1/" + std::string(planted)).c_str()), 0);
            }
            const std::string path = folder + "/" + name;
            ASSERT_TRUE(writers[writer](path));
            struct stat st;
            ASSERT_EQ(::lstat(path.c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_EQ(st.st_mode & 07777, 0644u);
            EXPECT_EQ(readText(path), "new");
            EXPECT_EQ(readText(outside), "outside");
            EXPECT_EQ(permissionsOf(outside), 0600u);
            EXPECT_FALSE(fileExists(dir.file("outside/made.png")));
        }
    }
    EXPECT_EQ(sortedEntries(dir.file("outside")), (std::vector<std::string>{".", "..", "pic.png"}));
    for (const std::string& entry : sortedEntries(folder))
        EXPECT_TRUE(entry == "." || entry == ".." || entry[0] != '.') << "a temporary is left: " << entry;
}

// A device, a pipe or a socket at the path is left as it is, and so is a directory: none of them
// is a file the suite replaces (as root, a rename would replace /dev/null itself).
TEST(AtomicWrite, ANonRegularFileAtThePathIsNotReplaced)
{
    TempDir dir;
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string folder = dir.mkdir("folder");
    for (const auto& [path, expected] : {std::pair{std::string("/dev/null"), kNotRegularFile},
                                         std::pair{pipe, kNotRegularFile}, std::pair{folder, EISDIR}}) {
        SCOPED_TRACE(path);
        struct stat before;
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        int error = 0;
        EXPECT_FALSE(writeFileAtomically(path, "x", &error));
        EXPECT_EQ(error, expected);
        error = 0;
        EXPECT_FALSE(writeFileThroughName(path, [](const std::string&) { return true; }, &error));
        EXPECT_EQ(error, expected);
        struct stat after;
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
    }
    EXPECT_EQ(sortedEntries(dir.path()), (std::vector<std::string>{".", "..", "folder", "pipe"}));
}

// A file continued from its old content: the new file begins with it (read through a link at the
// path, which is then replaced), what is written follows, and until installed the old file stays.
TEST(AtomicWrite, AFileCanBeContinuedFromItsOldContent)
{
    TempDir dir;
    const std::string path = dir.write("default.n", "head\nrow 1\n");
    const std::string big(3u << 20, 'b');
    const auto continued = [](const std::string& target, std::string_view more) {
        AtomicFile file(target, AtomicFile::Start::WithOldContent);
        std::FILE* stream = file.openStream();
        if (!stream)
            return false;
        const bool written = std::fwrite(more.data(), 1, more.size(), stream) == more.size();
        return std::fclose(stream) == 0 && written && file.install();
    };
    ASSERT_TRUE(continued(path, "row 2\n"));
    EXPECT_EQ(readText(path), "head\nrow 1\nrow 2\n");
    ASSERT_TRUE(continued(path, big));
    EXPECT_TRUE(readText(path) == "head\nrow 1\nrow 2\n" + big);
    ASSERT_TRUE(continued(dir.file("new.n"), "first"));
    EXPECT_EQ(readText(dir.file("new.n")), "first");

    const std::string outside = dir.write("outside.n", "outside\n");
    ASSERT_EQ(::symlink("outside.n", dir.file("linked.n").c_str()), 0);
    ASSERT_TRUE(continued(dir.file("linked.n"), "more"));
    EXPECT_EQ(readText(dir.file("linked.n")), "outside\nmore");
    EXPECT_EQ(readText(outside), "outside\n");
    struct stat st;
    ASSERT_EQ(::lstat(dir.file("linked.n").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));

    {
        AtomicFile given(path, AtomicFile::Start::WithOldContent);
        EXPECT_TRUE(given.write(std::vector<std::string_view>{"lost"}));
    }
    EXPECT_TRUE(readText(path) == "head\nrow 1\nrow 2\n" + big);
    EXPECT_EQ(sortedEntries(dir.path()),
              (std::vector<std::string>{".", "..", "default.n", "linked.n", "new.n", "outside.n"}));
}

// A writer that takes a file name fills the new file beside the path, which replaces the old one
// only when the writer succeeded; the old file's permissions are kept.
TEST(AtomicWrite, AWriterByNameReplacesTheFileOnlyWhenItSucceeded)
{
    TempDir dir;
    const std::string path = dir.write("print.pdf", "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    std::string named;
    int error = -1;
    EXPECT_FALSE(writeFileThroughName(path, [&](const std::string& name) {
        named = name;
        return writeFileAtomically(name, "half") && false;
    }, &error));
    EXPECT_EQ(error, EIO);
    EXPECT_EQ(readText(path), "old");
    EXPECT_EQ(named.rfind(dir.file(".print.pdf."), 0), 0u) << named;
    EXPECT_FALSE(fileExists(named));

    EXPECT_TRUE(writeFileThroughName(path, [&](const std::string& name) {
        EXPECT_EQ(permissionsOf(name), 0640u);
        return writeFileAtomically(name, "new");
    }, &error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(readText(path), "new");
    EXPECT_EQ(permissionsOf(path), 0640u);
    EXPECT_EQ(sortedEntries(dir.path()), (std::vector<std::string>{".", "..", "print.pdf"}));
}

TEST(SuiteDirectories, SettingsDirectory)
{
    struct Case {
        const char* config;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/cfg", "/home/u", "/cfg/orvanta"},
        {"/cfg/", "/home/u", "/cfg/orvanta"},
        {nullptr, "/home/u", "/home/u/.config/orvanta"},
        {"", "/home/u", "/home/u/.config/orvanta"},
        {"relative", "/home/u", "/home/u/.config/orvanta"},
        {nullptr, nullptr, "/tmp/orvanta-config-" + std::to_string(::getuid())},
    };
    for (const Case& c : cases) {
        testsupport::ScopedEnvironment config("XDG_CONFIG_HOME", c.config);
        testsupport::ScopedEnvironment home("HOME", c.home);
        EXPECT_EQ(settingsDirectory(), c.expected);
    }
}

TEST(SuiteDirectories, CurrentAndExecutableDirectory)
{
    TempDir dir;
    // A path longer than the first guess of the buffer.
    std::string relative = std::string(40, 'd');
    for (int i = 0; i < 12; ++i)
        relative += "/" + std::string(40, 'd');
    std::string deep = dir.mkdir(relative);
    char* real = ::realpath(deep.c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    std::string expected = real;
    std::free(real);
    {
        testsupport::ScopedCurrentDirectory inDeep(deep);
        EXPECT_EQ(currentDirectory(), expected);
    }

    std::string exeDir = executableDirectory();
    ASSERT_FALSE(exeDir.empty());
    EXPECT_EQ(exeDir.front(), '/');
    EXPECT_TRUE(fileExists(joinPath(exeDir, "test_file_system")));
}
