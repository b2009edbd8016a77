// File-system helpers on POSIX: stat, directory listing, case-insensitive lookup and atomic save.
#include "platform/core/file_system.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Keeps temporary names within NAME_MAX whatever the target's name.
constexpr std::size_t kMaxTempStem = 200;

std::optional<std::string> readLink(const std::string& path)
{
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string directoryPart(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string namePart(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process's umask, read without changing it (other threads may create files).
mode_t currentUmask()
{
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char* line = nullptr;
        std::size_t capacity = 0;
        std::optional<mode_t> mask;
        while (::getline(&line, &capacity, status) > 0) {
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
                break;
            }
        }
        std::free(line);
        std::fclose(status);
        if (mask)
            return *mask;
    }
    return 022;
}

/// Long texts go to the file a piece at a time: one write of tens of megabytes is often many
/// times slower than the same bytes written a megabyte at a time.
constexpr std::size_t kWriteChunk = std::size_t(1) << 20;

bool writeAll(int fd, std::string_view content)
{
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, std::min(left, kWriteChunk));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

void syncDirectory(const std::string& dir)
{
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::int64_t> modificationTime(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec);
}

int deleteFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int makeDirectory(const std::string& path)
{
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

bool makeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        makeDirectory(path.substr(0, slash));
    makeDirectory(path);
    return isDirectory(path);
}

std::optional<std::vector<std::string>> listDirectory(const std::string& path)
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return std::nullopt;
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    int error = errno;
    ::closedir(dir);
    if (error != 0)
        return std::nullopt;
    return names;
}

std::optional<std::string> findFileNoCase(const std::string& dir, std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    std::string exact = joinPath(dir, name);
    if (fileExists(exact))
        return exact;
    if (name.find('/') != std::string_view::npos)
        return std::nullopt;
    std::optional<std::vector<std::string>> names = listDirectory(dir.empty() ? "." : dir);
    if (!names)
        return std::nullopt;
    std::sort(names->begin(), names->end());
    for (const std::string& entry : *names) {
        if (equalsNoCase(entry, name))
            return joinPath(dir, entry);
    }
    return std::nullopt;
}

std::string joinPath(std::string_view dir, std::string_view name)
{
    if (dir.empty())
        return std::string(name);
    std::string path(dir);
    if (path.back() != '/')
        path += '/';
    path += name;
    return path;
}

std::string toLower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string_view withoutByteOrderMark(std::string_view text)
{
    return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

bool isRefusedFile(int error)
{
    return error == kNotRegularFile || error == EISDIR || error == EFBIG;
}

std::string fileErrorText(int error, std::uint64_t limit)
{
    switch (error) {
    case kNotRegularFile:
        return "it is not a regular file";
    case EISDIR:
        return "it is a directory";
    case EFBIG:
        return "it is larger than " + std::to_string(limit) + " bytes";
    default:
        break;
    }
    return std::strerror(error);
}

namespace {

/// The refusal of a file that is not read whole nor replaced; 0 for a regular file.
int refusalOf(const struct stat& status)
{
    if (S_ISREG(status.st_mode))
        return 0;
    return S_ISDIR(status.st_mode) ? EISDIR : kNotRegularFile;
}

/// Opens a regular file for reading. A pipe or a device is refused by its status before it is
/// opened, and the open itself does not wait for a pipe's writer, should the path have been
/// changed to one in between; what was opened is looked at again. The descriptor, or -1 with
/// the error in `error`; `status` is that of the file opened.
int openRegular(const std::string& path, struct stat& status, int& error)
{
    if (::stat(path.c_str(), &status) != 0) {
        error = errno;
        return -1;
    }
    if ((error = refusalOf(status)) != 0)
        return -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::fstat(fd, &status) != 0 || (error = refusalOf(status)) != 0) {
        if (error == 0)
            error = errno;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

std::optional<std::string> readFile(const std::string& path, int* error, std::uint64_t limit)
{
    const auto fail = [error](int code) -> std::optional<std::string> {
        if (error)
            *error = code;
        return std::nullopt;
    };
    struct stat status {};
    int openError = 0;
    const int fd = openRegular(path, status, openError);
    if (fd < 0)
        return fail(openError);
    if (status.st_size > 0 && static_cast<std::uint64_t>(status.st_size) > limit) {
        ::close(fd);
        return fail(EFBIG);
    }
    constexpr std::size_t chunk = 65536;
    std::string content;
    // Room for the whole of the file at once: a large model is then read without the copies a
    // growing buffer makes.
    if (status.st_size > 0)
        content.reserve(static_cast<std::size_t>(status.st_size) + chunk);
    // One byte more than the bound is asked for: a file that grew beyond it while it was read
    // is refused as well.
    std::uint64_t used = 0;
    for (;;) {
        const std::uint64_t wanted = std::min<std::uint64_t>(chunk, limit + 1 - used);
        content.resize(static_cast<std::size_t>(used + wanted));
        ssize_t n = ::read(fd, content.data() + used, static_cast<std::size_t>(wanted));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int readError = errno;
            ::close(fd);
            return fail(readError);
        }
        used += static_cast<std::uint64_t>(n);
        if (used > limit) {
            ::close(fd);
            return fail(EFBIG);
        }
    }
    content.resize(static_cast<std::size_t>(used));
    ::close(fd);
    if (error)
        *error = 0;
    return content;
}

std::FILE* openRegularFile(const std::string& path, int* error)
{
    struct stat status {};
    int openError = 0;
    const int fd = openRegular(path, status, openError);
    std::FILE* file = fd >= 0 ? ::fdopen(fd, "rb") : nullptr;
    if (fd >= 0 && !file) {
        openError = errno;
        ::close(fd);
    }
    if (error)
        *error = file ? 0 : openError;
    return file;
}

bool writeFileAtomically(const std::string& path, std::string_view content, int* error)
{
    return writeFileAtomically(path, std::span<const std::string_view>(&content, 1), error);
}

namespace {

/// Temporary names of this process are told apart by a number of their own.
std::atomic<unsigned long> g_temporaryCount{0};

/// The name a new content of the file `stem` has beside it until it replaces the file:
/// ".<stem>.<process id>.<number>", so that a later writer can tell whether its writer is gone.
std::string temporaryName(const std::string& stem)
{
    return "." + stem + "." + std::to_string(::getpid()) + "." + std::to_string(++g_temporaryCount);
}

/// The process id of a temporary name of `stem`; none for any other name.
std::optional<pid_t> temporaryWriter(std::string_view name, std::string_view stem)
{
    if (name.size() < stem.size() + 5 || name[0] != '.' || name.substr(1, stem.size()) != stem ||
        name[stem.size() + 1] != '.')
        return std::nullopt;
    const std::string_view rest = name.substr(stem.size() + 2);
    const std::size_t dot = rest.find('.');
    const auto allDigits = [](std::string_view digits) {
        return !digits.empty() && digits.size() <= 18 &&
               std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (dot == std::string_view::npos || !allDigits(rest.substr(0, dot)) || !allDigits(rest.substr(dot + 1)))
        return std::nullopt;
    return static_cast<pid_t>(std::strtoll(std::string(rest.substr(0, dot)).c_str(), nullptr, 10));
}

/// Removes the temporary files of `stem` in the directory whose writers have ended without
/// putting them in place (killed, for instance); those of living processes stay.
void removeLeftTemporaries(const std::string& directory, const std::string& stem)
{
    const std::optional<std::vector<std::string>> names = listDirectory(directory);
    if (!names)
        return;
    for (const std::string& name : *names) {
        const std::optional<pid_t> writer = temporaryWriter(name, stem);
        if (writer && *writer > 0 && *writer != ::getpid() && ::kill(*writer, 0) != 0 && errno == ESRCH)
            ::unlink(joinPath(directory, name).c_str());
    }
}

} // namespace

AtomicFile::AtomicFile(const std::string& path, Start start)
{
    if (path.empty()) {
        m_error = ENOENT;
        return;
    }
    // The path itself is replaced: a link planted there goes, and what it points at stays.
    m_target = path;
    struct stat old;
    if (::lstat(m_target.c_str(), &old) == 0) {
        if (S_ISREG(old.st_mode)) {
            m_hadFile = true;
            m_uid = old.st_uid;
            m_gid = old.st_gid;
        } else if (!S_ISLNK(old.st_mode)) {
            m_error = refusalOf(old);
            return;
        }
    }
    m_mode = m_hadFile ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    m_directory = directoryPart(m_target);
    m_stem = namePart(m_target).substr(0, kMaxTempStem);
    removeLeftTemporaries(m_directory, m_stem);
    // Without a name, the new content goes with the process when it is killed before it is put
    // in place; where the file system has no such files, a temporary name is the fallback.
    m_fd = ::open(m_directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            m_temporary = joinPath(m_directory, temporaryName(m_stem));
            m_fd = ::open(m_temporary.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        if (m_fd < 0) {
            m_error = errno;
            m_temporary.clear();
            return;
        }
    }
    if (start == Start::WithOldContent)
        copyOldContent();
}

void AtomicFile::copyOldContent()
{
    struct stat status {};
    int error = 0;
    const int from = openRegular(m_target, status, error);
    if (from < 0) {
        if (error != ENOENT)
            failAndAbandon(error);
        return;
    }
    std::string buffer(kWriteChunk, '\0');
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || !writeAll(m_fd, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
            const int copyError = errno;
            ::close(from);
            failAndAbandon(copyError);
            return;
        }
    }
    ::close(from);
}

AtomicFile::~AtomicFile()
{
    abandon();
}

bool AtomicFile::failAndAbandon(int code)
{
    abandon();
    m_error = code;
    return false;
}

void AtomicFile::abandon()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_temporary.empty())
        ::unlink(std::exchange(m_temporary, std::string()).c_str());
}

bool AtomicFile::write(std::span<const std::string_view> pieces)
{
    if (m_fd < 0)
        return false;
    for (std::string_view piece : pieces)
        if (!writeAll(m_fd, piece))
            return failAndAbandon(errno);
    return true;
}

std::FILE* AtomicFile::openStream()
{
    if (m_fd < 0)
        return nullptr;
    const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        failAndAbandon(errno);
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, "wb");
    if (!stream) {
        const int error = errno;
        ::close(fd);
        failAndAbandon(error);
    }
    return stream;
}

bool AtomicFile::sync()
{
    if (m_fd < 0)
        return false;
    if (!m_synced && ::fsync(m_fd) != 0)
        return failAndAbandon(errno);
    m_synced = true;
    return true;
}

bool AtomicFile::link()
{
    if (m_fd < 0)
        return false;
    if (m_hadFile && (m_uid != ::geteuid() || m_gid != ::getegid())) {
        // Keeping another owner needs privilege; without it the file becomes ours.
        [[maybe_unused]] int kept = ::fchown(m_fd, m_uid, m_gid);
    }
    if (::fchmod(m_fd, m_mode) != 0)
        return failAndAbandon(errno);
    if (m_temporary.empty()) {
        const std::string descriptor = "/proc/self/fd/" + std::to_string(m_fd);
        for (int attempt = 0; attempt < 100 && m_temporary.empty(); ++attempt) {
            std::string name = joinPath(m_directory, temporaryName(m_stem));
            if (::linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
                ::linkat(m_fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)
                m_temporary = std::move(name);
            else if (errno != EEXIST)
                return failAndAbandon(errno);
        }
        if (m_temporary.empty())
            return failAndAbandon(EEXIST);
    }
    if (::close(std::exchange(m_fd, -1)) != 0)
        return failAndAbandon(errno);
    return true;
}

bool AtomicFile::replace()
{
    if (m_fd >= 0 || m_temporary.empty())
        return false;
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return failAndAbandon(errno);
    m_temporary.clear();
    if (m_synced)
        syncDirectory(m_directory);
    m_error = 0;
    return true;
}

bool AtomicFile::install()
{
    return sync() && link() && replace();
}

bool writeFileAtomically(const std::string& path, std::span<const std::string_view> pieces, int* error)
{
    AtomicFile file(path);
    const bool written = file.write(pieces) && file.install();
    if (error)
        *error = file.error();
    return written;
}

bool writeFileThroughName(const std::string& path, const std::function<bool(const std::string& name)>& write,
                          int* error)
{
    AtomicFile file(path);
    // The new file is named first, with the permissions it is to have, for the writer to fill.
    bool written = file.link() && write(file.temporaryPath());
    int code = file.error();
    if (written) {
        const int fd = ::open(file.temporaryPath().c_str(), O_RDONLY | O_CLOEXEC);
        written = fd >= 0 && ::fsync(fd) == 0;
        code = written ? 0 : errno;
        if (fd >= 0)
            ::close(fd);
        written = written && file.replace();
        if (!written && code == 0)
            code = file.error();
    } else if (code == 0) {
        code = EIO; // the writer failed: its own words are the caller's to give
    }
    if (!written)
        file.abandon();
    if (error)
        *error = code;
    return written;
}

std::optional<std::string> currentDirectory()
{
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size())) {
            buffer.resize(std::strlen(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

std::string executableDirectory()
{
    std::optional<std::string> exe = readLink("/proc/self/exe");
    if (!exe || exe->empty() || (*exe)[0] != '/')
        return {};
    return directoryPart(*exe);
}

std::string settingsDirectory()
{
    // Relative values are ignored, as the XDG rules ask.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return joinPath(config, "orvanta");
    const char* home = std::getenv("HOME");
    if (home && *home)
        return joinPath(joinPath(home, ".config"), "orvanta");
    return "/tmp/orvanta-config-" + std::to_string(::getuid());
}

} // namespace platform
