// Test support: a fresh directory per test, removed afterwards, with helpers
// to lay files in it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

namespace testsupport {

/// A new empty directory, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    /// path() + "/" + name
    std::string file(std::string_view name) const;
    /// Writes a file (creating directories on the way); returns its path.
    std::string write(std::string_view name, std::string_view content) const;
    /// Creates a subdirectory (and its parents); returns its path.
    std::string mkdir(std::string_view name) const;

private:
    std::string m_path;
};

/// Reads a whole file ("" when it cannot be read).
std::string readText(const std::string& path);

/// Sets a file's modification time to `seconds` since the epoch.
void setModificationTime(const std::string& path, std::int64_t seconds);

/// Changes the process's current directory for the lifetime of this object.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::string& path);
    ~ScopedCurrentDirectory();

private:
    std::string m_previous;
};

/// Sets (or unsets, with a null value) an environment variable for the
/// lifetime of this object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();

private:
    std::string m_name;
    bool m_hadValue = false;
    std::string m_previous;
};

/// A named pipe at the path, made for the lifetime of this object; while it lives, a reader that
/// waits on it is let go at once and finds it empty, so that code that opens the pipe to read it
/// goes on (and fails its test) instead of hanging the test.
class PipeReleaser {
public:
    explicit PipeReleaser(std::string path);
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::jthread m_thread;
};

} // namespace testsupport
