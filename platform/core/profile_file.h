// Private-profile (INI) files with the classic behaviour: section and key
// names match ignoring case, values are trimmed and may be quoted, and writing
// one key keeps every other line and comment byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// The largest profile file read: a settings file is a few hundred bytes.
inline constexpr std::uint64_t kProfileReadLimit = std::uint64_t(1) << 20;

/// One profile file held as its lines. Lookups go by the first section of a
/// name and the first key of a name in it.
class ProfileFile {
public:
    /// An empty profile that saves to `path`.
    explicit ProfileFile(std::string path = {});

    /// Reads `path`, a regular file of at most `kProfileReadLimit` bytes; a missing or
    /// unreadable file, or anything else at the path, gives an empty profile (check
    /// `existed()` and `loadError()`).
    static ProfileFile load(const std::string& path);

    /// A profile read from text (for tests and fuzzing); saves nowhere.
    static ProfileFile fromText(std::string_view text);

    const std::string& path() const { return m_path; }

    /// True when `load` read the file.
    bool existed() const { return m_existed; }

    /// The error number when `load` found something at the path but could not read it,
    /// or refused it (`isRefusedFile`), 0 otherwise; such a profile refuses to save over it.
    int loadError() const { return m_loadError; }

    /// The value of a key: trimmed, and without one pair of matching quotes
    /// ('...' or "...") around it. None when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    /// The value, or `fallback` when the section or key is missing.
    std::string getString(std::string_view section, std::string_view key,
                          std::string_view fallback = {}) const;

    /// Sets a key. An existing key line is rewritten in place (its key's spelling
    /// and line ending kept; left alone when it already holds the value); a new
    /// key goes after the section's last line that is neither blank nor a comment;
    /// a missing section is added at the end. A value that would not read back as
    /// it is (white space at either end, or wrapped in quotes) is written in double
    /// quotes. False (nothing changed) when the section, key or value holds a line
    /// break, the key holds '=', is empty or starts with ';' or '[', or the section
    /// holds ']' or is empty. Names are taken without surrounding white space.
    bool setValue(std::string_view section, std::string_view key, std::string_view value);

    /// The whole text as it would be saved.
    std::string text() const;

    /// Saves atomically to `path()`; on failure the old file stays as it was and
    /// the system error number goes to `error` when given.
    bool save(int* error = nullptr) const;

private:
    struct Line {
        std::string content;  // without its line ending
        std::string ending;   // "\n", "\r\n" or "" (last line without one)
    };

    std::optional<std::size_t> findSection(std::string_view section) const;
    std::optional<std::size_t> findKey(std::size_t sectionLine, std::string_view key) const;

    std::string m_path;
    bool m_existed = false;
    std::string m_byteOrderMark; ///< a UTF-8 mark before the first line, kept for writing

    int m_loadError = 0;
    std::vector<Line> m_lines;
};

/// One classic read: the value, or `fallback` when the file, section or key is missing.
std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback = {});

/// One classic write: loads the file (or starts an empty one), sets the key and
/// saves atomically. False when the key could not be set or the save failed.
bool writeProfileString(const std::string& path, std::string_view section,
                        std::string_view key, std::string_view value, int* error = nullptr);

} // namespace platform
