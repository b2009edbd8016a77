// File-system helpers: existence, times, deletion, listing, case-insensitive
// name matching, atomic replacement, and the suite's own directories.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

/// True when anything (file, directory, ...) stands at the path.
bool fileExists(const std::string& path);

/// True when the path names a directory.
bool isDirectory(const std::string& path);

/// Modification time in whole seconds since the epoch; none when it cannot be read.
std::optional<std::int64_t> modificationTime(const std::string& path);

/// Deletes a file; 0 on success, else the system error number.
int deleteFile(const std::string& path);

/// Creates one directory (mode 0777 less the umask); 0 on success, else the
/// system error number (EEXIST when something is already there).
int makeDirectory(const std::string& path);

/// Creates the directory and its missing parents; true when it is a directory afterwards.
bool makeDirectories(const std::string& path);

/// The names in a directory as they are on disk, "." and ".." included, in the
/// order the system gives them; none when it cannot be read.
std::optional<std::vector<std::string>> listDirectory(const std::string& path);

/// The path of the file `name` in `dir` whose name equals `name` ignoring case
/// of ASCII letters; an exact match is preferred, otherwise the first match in
/// sorted order. None when there is no such file.
std::optional<std::string> findFileNoCase(const std::string& dir, std::string_view name);

/// `dir` + '/' + `name`, without doubling a '/' that ends `dir`; `name` alone
/// when `dir` is empty.
std::string joinPath(std::string_view dir, std::string_view name);

/// Lower-cases ASCII letters; other bytes stay as they are.
std::string toLower(std::string_view text);

/// Compares ignoring the case of ASCII letters.
bool equalsNoCase(std::string_view a, std::string_view b);

/// The text without the UTF-8 byte-order mark that some editors put at its start.
std::string_view withoutByteOrderMark(std::string_view text);

/// The error of a file that is neither a regular file nor a directory (a device, a pipe, a
/// socket): it is neither read whole nor replaced. A directory gives EISDIR, a file over the
/// bound of its reader EFBIG.
inline constexpr int kNotRegularFile = 0x10000;

/// The bound of a whole-file read unless its reader names another: more than any model, code,
/// experiment or result file the suite makes.
inline constexpr std::uint64_t kReadLimit = std::uint64_t(2) << 30;

/// True when the error says that something stands at the path that is not read whole: a
/// directory, a device, pipe or socket, or a file over its reader's bound.
bool isRefusedFile(int error);

/// The reason of a file error as a sentence's end: "is not a regular file", "is a directory",
/// "is larger than N bytes" (with `limit`), or the system's text in lower case.
std::string fileErrorText(int error, std::uint64_t limit = kReadLimit);

/// Reads a whole regular file of at most `limit` bytes; none when it cannot be opened or read,
/// when it is not a regular file (a pipe or a device is not even opened for good) or is larger.
/// On failure the error number (a system one, `kNotRegularFile`, or EFBIG for a larger file)
/// goes to `error` when given (0 on success).
std::optional<std::string> readFile(const std::string& path, int* error = nullptr, std::uint64_t limit = kReadLimit);

/// Opens a regular file for reading as a stream, without waiting on a pipe; null when it cannot
/// be opened or is not a regular file, the error number in `error` when given.
std::FILE* openRegularFile(const std::string& path, int* error = nullptr);

/// Writes `content` to a temporary file in the same directory and renames it
/// over `path`, keeping the old file's permissions; a link at the path is replaced,
/// never written through. On failure the old file is untouched, the temporary file
/// removed, and the error number is stored in `error` when given.
bool writeFileAtomically(const std::string& path, std::string_view content, int* error = nullptr);
/// As above, with the content given as pieces written one after the other.
bool writeFileAtomically(const std::string& path, std::span<const std::string_view> pieces, int* error = nullptr);

/// As `writeFileAtomically`, for a writer that takes a file name (a printer, an image writer):
/// `write` is given the name of the new file beside `path`, which it overwrites; when it returns
/// true, that file replaces `path`, else it is removed and `error` gets EIO.
bool writeFileThroughName(const std::string& path, const std::function<bool(const std::string& name)>& write,
                          int* error = nullptr);

/// A new content for a file written in steps: the pieces go to a new file in the same directory,
/// which replaces the file only when installed. The new file keeps the permissions of a regular
/// file it replaces; a link at the path is replaced by it, never written through, and gets the
/// permissions of a new file; a device, pipe or socket at the path is not replaced
/// (`kNotRegularFile`). Until then, and when it fails or is given up, the old file stays as it
/// was and the new one is removed. The new file has no name until it is put in place where the
/// file system allows it, so that a program killed while it writes leaves nothing behind;
/// elsewhere its temporary name holds the writer's process id, and the next writer of the same
/// file removes it once that process has gone. `error` is the error number of a failure.
class AtomicFile {
public:
    /// How the new file begins.
    enum class Start { Empty, WithOldContent };

    /// Makes the new file; a failure shows in `error` and makes every step fail. With
    /// `WithOldContent` it begins with what the file holds now (read through a link), so that
    /// what is written is appended to it; a file that is not there gives an empty start.
    explicit AtomicFile(const std::string& path, Start start = Start::Empty);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Appends the pieces, one after the other.
    bool write(std::span<const std::string_view> pieces);
    /// The new file's descriptor, for a writer of its own; -1 once it failed or was linked.
    int descriptor() const { return m_fd; }
    /// A stream of its own on the new file, at its end ("wb"), for a writer that formats as it
    /// goes; the caller closes it before `install`. Null once the file failed.
    std::FILE* openStream();
    /// Flushes the new content to the disk.
    bool sync();
    /// Gives the new content the file's permissions and a temporary name beside it: the step
    /// before `replace` for a caller that puts several files in place together.
    bool link();
    /// The temporary name given by `link`; empty before.
    const std::string& temporaryPath() const { return m_temporary; }
    /// Puts the linked content in the file's place.
    bool replace();
    /// `sync`, `link` and `replace`.
    bool install();
    /// Gives the new content up.
    void abandon();
    int error() const { return m_error; }

private:
    bool failAndAbandon(int code);
    void copyOldContent();

    std::string m_target;
    std::string m_directory;
    std::string m_stem;      ///< the target's name, as temporary names hold it
    std::string m_temporary; ///< the new file's name beside the target; empty while it has none
    int m_fd = -1;
    int m_error = 0;
    bool m_synced = false;
    bool m_hadFile = false;
    unsigned m_uid = 0;
    unsigned m_gid = 0;
    unsigned m_mode = 0;
};

/// The process's current directory; none when it cannot be had.
std::optional<std::string> currentDirectory();

/// The directory of the running executable; empty when it cannot be had.
std::string executableDirectory();

/// Where the suite's own settings live when no other place has them:
/// $XDG_CONFIG_HOME/orvanta (when absolute), else $HOME/.config/orvanta, else
/// /tmp/orvanta-config-<uid> when HOME is unset (not created here).
std::string settingsDirectory();

} // namespace platform
