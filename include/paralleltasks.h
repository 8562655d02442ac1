#ifndef PARALLELTASKS_H
#define PARALLELTASKS_H

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

// Calls work(k) for each k below `count`, on up to `threads` threads (0: every core), tasks taken
// in order; the calling thread is one of them. A task whose work returns false says stop: the
// tasks after the first such one are not started (those already running finish).
template <class F>
void RunTasksUntil(size_t count, unsigned threads, F &&work)
{
    if (threads == 0)
        threads = std::max(std::thread::hardware_concurrency(), 1u);
    std::atomic<size_t> next{0};
    std::atomic<size_t> stop{count};
    const auto take = [&] {
        for (size_t k = next++; k < count && k <= stop; k = next++)
            if (!work(k)) {
                size_t seen = stop.load();
                while (k < seen && !stop.compare_exchange_weak(seen, k)) {
                }
            }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < std::min<size_t>(threads, count); ++t)
        workers.emplace_back(take);
    take();
    for (std::thread &w : workers)
        w.join();
}

// Calls work(k) once for each k below `count`, as RunTasksUntil does.
template <class F>
void RunTasks(size_t count, unsigned threads, F &&work)
{
    RunTasksUntil(count, threads, [&work](size_t k) {
        work(k);
        return true;
    });
}

#endif
