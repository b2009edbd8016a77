// Walks over long lists of equations: in parts, each done by a thread of its own, and with the
// records asked for ahead of their turn.
#pragma once

#include "modelproc/model_records.h"

#include <algorithm>
#include <cstddef>
#include <exception>
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
