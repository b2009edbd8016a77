// Test support: temporary directories, files, times, current directory and environment.
#include "platform/testing/temp_dir.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir()
{
    const char* root = std::getenv("ORVANTA_TEST_ROOT");
    std::string pattern = std::string(root && *root ? root : "/tmp") + "/t.XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Give back write permission that a test may have taken away, so that removal works.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::file(std::string_view name) const
{
    return m_path + "/" + std::string(name);
}

std::string TempDir::write(std::string_view name, std::string_view content) const
{
    std::string path = file(name);
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string TempDir::mkdir(std::string_view name) const
{
    std::string path = file(name);
    fs::create_directories(path);
    return path;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void setModificationTime(const std::string& path, std::int64_t seconds)
{
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot set the time of " + path);
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const std::string& path)
    : m_previous(fs::current_path().string())
{
    fs::current_path(path);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory()
{
    std::error_code ec;
    fs::current_path(m_previous, ec);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : m_name(name)
{
    if (const char* old = std::getenv(name)) {
        m_hadValue = true;
        m_previous = old;
    }
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (m_hadValue)
        ::setenv(m_name.c_str(), m_previous.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

PipeReleaser::PipeReleaser(std::string path) : m_path(std::move(path))
{
    ::unlink(m_path.c_str());
    if (::mkfifo(m_path.c_str(), 0600) != 0)
        throw std::runtime_error("cannot make the pipe " + m_path);
    m_thread = std::jthread([pipe = m_path](std::stop_token stop) {
        while (!stop.stop_requested()) {
            // Opens only while a reader has the pipe open, and lets it go at once.
            if (const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
}

} // namespace testsupport
