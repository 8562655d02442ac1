#ifndef LARGEPAGES_H
#define LARGEPAGES_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include <sys/mman.h>

// Asks for the storage of a large buffer not yet written to be backed by 2 MiB pages where the
// system allows it: a million atoms' coordinates or a file's text otherwise fault in 4 KiB at a
// time, which takes longer than reading them. Only whole large pages inside the buffer are
// asked for, so nothing beside it changes.
inline void AdviseLargePages(const void *data, size_t bytes)
{
    constexpr uintptr_t LARGE = uintptr_t(2) << 20;
    if (bytes < 4 * LARGE)
        return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + LARGE - 1) & ~(LARGE - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(LARGE - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

// Reserves room for n elements of `v` (a vector or string), in large pages when it is large.
template <class V>
void ReserveLarge(V &v, size_t n)
{
    const bool fresh = v.capacity() < n;
    v.reserve(n);
    if (fresh)
        AdviseLargePages(v.data(), v.capacity() * sizeof(*v.data()));
}

// Bits have no storage of their own to advise on.
template <class A>
void ReserveLarge(std::vector<bool, A> &v, size_t n)
{
    v.reserve(n);
}

#endif
