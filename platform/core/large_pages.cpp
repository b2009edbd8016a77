#include "platform/core/large_pages.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <fstream>
#include <malloc.h>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

bool largePagesOnRequest()
{
    // "always [madvise] never": the bracketed word is the system's setting.
    std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string text;
    std::getline(setting, text);
    return text.find("[always]") != std::string::npos || text.find("[madvise]") != std::string::npos;
}

void* mapLargePages(std::size_t size)
{
    if (size == 0 || size % kLargePageSize != 0 || size > SIZE_MAX - kLargePageSize)
        return nullptr;
    // Map a page more than asked for and cut the ends off, so that what stays begins at a bound.
    void* mapped = mmap(nullptr, size + kLargePageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kLargePageSize - 1) / kLargePageSize * kLargePageSize;
    if (aligned > start)
        munmap(mapped, aligned - start);
    const std::uintptr_t end = aligned + size;
    if (start + size + kLargePageSize > end)
        munmap(reinterpret_cast<void*>(end), start + size + kLargePageSize - end);
    void* memory = reinterpret_cast<void*>(aligned);
    // A request: the memory serves without it. Each large page is made present when first
    // touched, one fault for 2 MB, so that the untouched end of a mapping costs nothing.
    madvise(memory, size, MADV_HUGEPAGE);
    return memory;
}

namespace {

/// The threads that make pages present for `populateAhead`, and the ranges they have still to do,
/// oldest first. They are made when first asked for and never ended, so that arenas ended as the
/// program ends can still drop their ranges; the program's end ends the threads. A child process
/// forked meanwhile starts with nothing to do and no thread, which it makes when it needs one.
class PageFiller {
public:
    static PageFiller& instance()
    {
        static PageFiller* filler = new PageFiller; // never deleted: see above
        return *filler;
    }

    PageFiller()
    {
        pthread_atfork([] { instance().m_mutex.lock(); }, [] { instance().m_mutex.unlock(); },
                       [] {
                           PageFiller& filler = instance();
                           filler.m_pending.clear();
                           filler.m_current.fill({});
                           filler.m_started = 0;
                           filler.m_mutex.unlock();
                       });
    }

    void add(void* memory, std::size_t size)
    {
        std::lock_guard lock(m_mutex);
        // The system clears pages at a pace one thread cannot keep up with a big model's tables.
        while (m_started < kFillers) {
            try {
                std::thread([this, filler = m_started] { run(filler); }).detach();
            } catch (const std::system_error&) {
                break;
            }
            ++m_started;
        }
        if (m_started == 0)
            return; // no thread: each page is made present when first touched, as always
        // One large page at a time: while the system makes a range present, the program cannot
        // map or give back memory, so a long range would hold up a thread that does.
        auto* bytes = static_cast<unsigned char*>(memory);
        std::size_t done = 0;
        while (done < size) {
            const std::size_t toBound = kLargePageSize - reinterpret_cast<std::uintptr_t>(bytes + done) % kLargePageSize;
            const std::size_t piece = std::min(toBound, size - done);
            m_pending.push_back({bytes + done, piece});
            done += piece;
        }
        m_wake.notify_all();
    }

    /// Drops the ranges pending inside the mapping and waits until none inside it is being done.
    void forget(void* memory, std::size_t size)
    {
        const Range mapping{static_cast<unsigned char*>(memory), size};
        std::unique_lock lock(m_mutex);
        std::erase_if(m_pending, [&](const Range& r) { return r.overlaps(mapping); });
        m_done.wait(lock, [&] {
            return std::none_of(m_current.begin(), m_current.end(), [&](const Range& r) { return r.overlaps(mapping); });
        });
    }

private:
    struct Range {
        unsigned char* memory = nullptr;
        std::size_t size = 0;
        bool overlaps(const Range& other) const
        {
            return memory < other.memory + other.size && other.memory < memory + size;
        }
    };

    static constexpr std::size_t kFillers = 2;

    void run(std::size_t filler)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_pending.empty(); });
            const Range range = m_pending.front();
            m_pending.pop_front();
            m_current[filler] = range;
            lock.unlock();
#ifdef MADV_POPULATE_WRITE
            madvise(range.memory, range.size, MADV_POPULATE_WRITE); // a request: may fail
#endif
            lock.lock();
            m_current[filler] = {};
            m_done.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<Range> m_pending;
    std::array<Range, kFillers> m_current; ///< what each thread is doing; empty while it waits
    std::size_t m_started = 0;
};

} // namespace

void populateAhead(void* memory, std::size_t size)
{
    if (!memory || size == 0)
        return;
    // The system makes whole pages present: the pages the bytes lie in, which belong to the same
    // mapping as the bytes.
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(memory) / page * page;
    const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(memory) + size;
    try {
        PageFiller::instance().add(reinterpret_cast<void*>(first), (last - first + page - 1) / page * page);
    } catch (const std::bad_alloc&) {
        // Not done ahead: each page is made present when first touched.
    }
}

void unmapLargePages(void* memory, std::size_t size)
{
    if (!memory)
        return;
    PageFiller::instance().forget(memory, size);
    munmap(memory, size);
}

void mapLargeBlocksApart()
{
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kSeparateBlockSize)); // a request: the heap serves without it
}

} // namespace platform
