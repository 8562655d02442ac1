#ifndef STRETCHES_H
#define STRETCHES_H

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

// How many stretches pay for `n` items when a thread costs about what `min_per_thread` items do:
// one per core at most, one at least.
inline unsigned PayingParts(size_t n, size_t min_per_thread)
{
    return static_cast<unsigned>(std::min<size_t>(std::max(std::thread::hardware_concurrency(), 1u),
                                                  std::max<size_t>(n / min_per_thread, 1)));
}

// Runs work(k, begin, end) for `parts` consecutive stretches of [0, n): the first on the calling
// thread, each other one on a thread of its own; returns when all are done. Work that keeps its
// results per stretch and joins them in order gets those of one serial pass.
template <class Work>
void RunStretches(size_t n, unsigned parts, const Work &work)
{
    std::vector<std::thread> workers;
    for (unsigned k = 1; k < parts; ++k)
        workers.emplace_back([&work, k, n, parts] { work(k, n * k / parts, n * (k + 1) / parts); });
    work(0u, size_t(0), n / parts);
    for (std::thread &w : workers)
        w.join();
}

#endif
