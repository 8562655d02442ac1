#ifndef PARALLELTASKS_H
#define PARALLELTASKS_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

// Calls work(k) once for each k below `count`, on up to `threads` threads (0: every core), tasks
// taken in order; the calling thread is one of them.
template <class F>
void RunTasks(size_t count, unsigned threads, F &&work)
{
    if (threads == 0)
        threads = std::max(std::thread::hardware_concurrency(), 1u);
    std::atomic<size_t> next{0};
    const auto take = [&] {
        for (size_t k = next++; k < count; k = next++)
            work(k);
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < std::min<size_t>(threads, count); ++t)
        workers.emplace_back(take);
    take();
    for (std::thread &w : workers)
        w.join();
}

#endif
