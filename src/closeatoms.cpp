#include "closeatoms.h"

#include <algorithm>
#include <cmath>

#include <glm/gtc/matrix_access.hpp>

namespace {

// Bins hold about this many atoms: an atom is compared with those of its bin, and of the bins
// beyond the faces it lies within the distance of.
constexpr double ATOMS_PER_BIN = 1.0;

// The bins along each axis: at least `distance` wide (so that close atoms are in neighbouring
// bins) and, together, about one per ATOMS_PER_BIN atoms (so that a large cell of few atoms
// takes little memory).
glm::ivec3 BinCounts(const glm::dmat3 &box, size_t atoms, double distance)
{
    const glm::dmat3 inverse = glm::inverse(box);
    const double volume = std::fabs(glm::determinant(box));
    double side = std::max(distance, std::cbrt(volume * ATOMS_PER_BIN / static_cast<double>(std::max<size_t>(atoms, 1))));
    glm::ivec3 n(1);
    for (;;) {
        double total = 1.0;
        for (int k = 0; k < 3; ++k) {
            // The width of the box across axis k: the distance between its faces.
            const double width = 1.0 / glm::length(glm::row(inverse, k));
            n[k] = static_cast<int>(std::clamp(std::floor(width / side), 1.0, 1e6));
            total *= n[k];
        }
        if (total <= 4.0 * static_cast<double>(atoms) + 64.0)
            return n;
        side *= 2.0;
    }
}

// The bins along an axis of n bins that may hold atoms within the distance of an atom in bin i:
// its own, and the one beyond each face it lies closer to than `margin` (in bins), each once.
int Neighbours(int i, int n, double t, double margin, int out[3])
{
    int count = 0;
    out[count++] = i;
    if (n > 1 && t < margin)
        out[count++] = (i + n - 1) % n;
    const int above = (i + 1) % n;
    if (n > 1 && 1.0 - t < margin && above != out[count - 1])
        out[count++] = above;
    return count;
}

} // namespace

std::vector<bool> DuplicateAtoms(const std::vector<glm::dvec3> &fract, const std::vector<uint32_t> &element,
                                 const glm::dmat3 &box, double distance)
{
    const size_t count = fract.size();
    const glm::ivec3 n = BinCounts(box, count, distance);
    const auto bin_of = [&](const glm::dvec3 &f) {
        glm::ivec3 b;
        for (int k = 0; k < 3; ++k)
            b[k] = std::clamp(static_cast<int>(f[k] * n[k]), 0, n[k] - 1);
        return b;
    };
    const auto flat = [&](const glm::ivec3 &b) { return (static_cast<size_t>(b.x) * n.y + b.y) * n.z + b.z; };
    // Atoms sorted by bin: bin b holds order[start[b]] to order[start[b + 1]].
    std::vector<uint32_t> start(static_cast<size_t>(n.x) * n.y * n.z + 1, 0), order(count);
    for (const glm::dvec3 &f : fract)
        ++start[flat(bin_of(f)) + 1];
    for (size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    std::vector<uint32_t> filled(start.begin(), start.end() - 1);
    for (size_t i = 0; i < count; ++i)
        order[filled[flat(bin_of(fract[i]))]++] = static_cast<uint32_t>(i);

    std::vector<bool> duplicate(count, false);
    const double limit = distance * distance;
    glm::dvec3 margin;
    const glm::dmat3 inverse = glm::inverse(box);
    for (int k = 0; k < 3; ++k)
        margin[k] = distance * glm::length(glm::row(inverse, k)) * n[k];
    for (size_t i = 0; i < count; ++i) {
        const glm::ivec3 b = bin_of(fract[i]);
        int nb[3][3], nn[3];
        for (int k = 0; k < 3; ++k)
            nn[k] = Neighbours(b[k], n[k], fract[i][k] * n[k] - b[k], margin[k], nb[k]);
        for (int x = 0; x < nn[0] && !duplicate[i]; ++x)
            for (int y = 0; y < nn[1] && !duplicate[i]; ++y)
                for (int z = 0; z < nn[2] && !duplicate[i]; ++z) {
                    const size_t cell = flat({nb[0][x], nb[1][y], nb[2][z]});
                    // Bins list their atoms in file order: only earlier ones can be kept first.
                    for (uint32_t s = start[cell]; s < start[cell + 1] && order[s] < i; ++s) {
                        const uint32_t j = order[s];
                        if (duplicate[j] || element[j] != element[i])
                            continue;
                        glm::dvec3 d = fract[i] - fract[j];
                        for (int k = 0; k < 3; ++k)
                            d[k] += d[k] > 0.5 ? -1.0 : d[k] < -0.5 ? 1.0 : 0.0;
                        const glm::dvec3 v = box * d;
                        if (glm::dot(v, v) < limit) {
                            duplicate[i] = true;
                            break;
                        }
                    }
                }
    }
    return duplicate;
}
