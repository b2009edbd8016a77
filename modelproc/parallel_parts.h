// Walks over long lists of equations: in parts, each done by a thread of its own, and with the
// records asked for ahead of their turn; and blocks made side by side but taken in their order.
#pragma once

#include "modelproc/model_records.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

/// How many parts a list of `count` items is done in: one part per `perPart` items begun, at least
/// one, at most four and at most one per processor.
inline std::size_t partsFor(std::size_t count, std::size_t perPart = 50000)
{
    const std::size_t processors = std::max(1u, std::thread::hardware_concurrency());
    return std::max<std::size_t>(1, std::min<std::size_t>({4, processors, (count + perPart - 1) / perPart}));
}

/// The first item of part `part` when `count` items are split into `parts` parts.
inline std::size_t partBegin(std::size_t count, std::size_t parts, std::size_t part)
{
    return count * part / parts;
}

/// Asks for the record of the equation 16 places after `k` (before `end`) and for the two sides of
/// the one 8 places after it, so that a walk over equations far apart in memory waits less.
inline void prefetchEquationsAhead(const std::vector<EquationRec*>& equations, std::size_t k, std::size_t end)
{
    constexpr std::size_t kAhead = 16;
    if (k + kAhead < end)
        __builtin_prefetch(equations[k + kAhead]);
    if (k + kAhead / 2 < end) {
        const EquationRec* next = equations[k + kAhead / 2];
        __builtin_prefetch(next->left);
        __builtin_prefetch(next->right);
    }
}

/// Runs `work(part)` for every part, the first in this thread, and rethrows what a part threw once
/// all of them are done.
template <class Work>
void runParts(std::size_t parts, const Work& work)
{
    std::vector<std::exception_ptr> failures(parts);
    const auto run = [&](std::size_t part) {
        try {
            work(part);
        } catch (...) {
            failures[part] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> threads;
        for (std::size_t part = 1; part < parts; ++part)
            threads.emplace_back(run, part);
        if (parts > 0)
            run(0);
    }
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

/// Runs `work(part, begin, end)` for each of `parts` parts of `count` items, the items [begin,
/// end) of the part, as `runParts` runs its parts.
template <class Work>
void runPartRanges(std::size_t count, std::size_t parts, const Work& work)
{
    runParts(parts,
             [&](std::size_t part) { work(part, partBegin(count, parts, part), partBegin(count, parts, part + 1)); });
}

/// Makes `count` blocks and hands each one to `take(block, slot)` in this thread, in the blocks'
/// order. `make(block, slot)` fills one of the slots, by up to `workers` threads of their own when
/// there are two blocks or more; a slot is filled again once it has been taken, so that no more
/// blocks than slots are held at once. `take` returns false to stop: the blocks not yet made are
/// not made. What `make` or `take` throws is rethrown once the threads are done.
template <class Slot, class Make, class Take>
void makeInOrder(std::size_t count, std::size_t workers, std::vector<Slot>& slots, const Make& make, const Take& take)
{
    const std::size_t n = slots.size();
    if (count == 0 || n == 0)
        return;
    if (workers < 2 || count < 2 || n < 2) {
        for (std::size_t block = 0; block < count; ++block) {
            make(block, slots[0]);
            if (!take(block, slots[0]))
                return;
        }
        return;
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;                       // the next block to make
    std::size_t taken = 0;                      // the blocks taken so far
    std::vector<std::size_t> made(n, count);    // the block each slot holds, once made
    bool stop = false;
    std::exception_ptr failure;
    const auto fail = [&](std::exception_ptr e) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure)
            failure = e;
        stop = true;
    };
    const auto work = [&] {
        for (;;) {
            std::size_t block = 0;
            {
                std::unique_lock<std::mutex> lock(mutex);
                if (stop || next == count)
                    return;
                block = next++;
                // The slot is free once the block made in it before has been taken.
                changed.wait(lock, [&] { return stop || taken + n > block; });
                if (stop)
                    return;
            }
            try {
                make(block, slots[block % n]);
            } catch (...) {
                fail(std::current_exception());
                changed.notify_all();
                return;
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                made[block % n] = block;
            }
            changed.notify_all();
        }
    };
    {
        std::vector<std::jthread> threads;
        for (std::size_t w = 0; w < std::min(workers, count); ++w)
            threads.emplace_back(work);
        for (std::size_t block = 0; block < count; ++block) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || made[block % n] == block; });
                if (stop)
                    break;
            }
            bool more = false;
            try {
                more = take(block, slots[block % n]);
            } catch (...) {
                fail(std::current_exception());
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                ++taken;
                if (!more)
                    stop = true;
            }
            changed.notify_all();
            if (!more)
                break;
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}
