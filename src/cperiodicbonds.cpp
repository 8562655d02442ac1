#include "cperiodicbonds.h"

#include <algorithm>
#include <cmath>

namespace {

// At most this many grid cells per atom, as for the model's own grid.
constexpr double MAX_CELLS_PER_ATOM = 4.0;
constexpr int NO_ATOM = -1;

int FloorDiv(int a, int n) { return a >= 0 ? a / n : -((-a + n - 1) / n); }

bool Positive(const glm::ivec3 &t)
{
    return t.x > 0 || (t.x == 0 && (t.y > 0 || (t.y == 0 && t.z > 0)));
}

// The grid over the cell in fractional coordinates: cells at least `reach` wide across their
// faces, so that bonded atoms lie in the same or adjacent cells, counted round the cell.
struct SGrid {
    glm::ivec3 side{1};
    // How many cells away a partner can be: 1, or more along an axis narrower than a bond.
    glm::ivec3 reach{1};
    std::vector<int> head, next;
    std::vector<glm::ivec3> cell_of;
    std::vector<glm::dvec3> wrapped; // fractional, in [0, 1) along the periodic axes
    std::vector<glm::ivec3> shift;   // whole cells taken off to wrap
    // Per cell, whether an atom in it was wrapped (empty while none was).
    std::vector<uint8_t> has_wrapped;
    bool all_inside = true;

    int Index(const glm::ivec3 &c) const { return c.x + side.x * (c.y + side.y * c.z); }
};

// The grid's cells per axis and how many cells away a partner can lie. Along an axis that does
// not repeat there is one cell and no partner in another.
void SizeGrid(SGrid &g, const glm::dmat3 &cell, double reach, size_t atoms, const glm::bvec3 &periodic)
{
    const double volume = std::fabs(glm::determinant(cell));
    glm::dvec3 width(0.0), n(1.0);
    for (int a = 0; a < 3; ++a) {
        width[a] = volume / glm::length(glm::cross(cell[(a + 1) % 3], cell[(a + 2) % 3]));
        n[a] = periodic[a] ? std::max(1.0, std::floor(width[a] / reach)) : 1.0;
    }
    const double cap = MAX_CELLS_PER_ATOM * static_cast<double>(atoms) + 27.0;
    while (n.x * n.y * n.z > cap) {
        const int a = n.x >= n.y && n.x >= n.z ? 0 : (n.y >= n.z ? 1 : 2);
        n[a] = std::max(1.0, std::floor(n[a] / 2.0));
    }
    g.side = glm::ivec3(n);
    g.reach = glm::ivec3(glm::ceil(reach / (width / n))) * glm::ivec3(periodic);
}

SGrid BuildGrid(const std::vector<glm::vec3> &p, const glm::dmat3 &cell, const glm::vec3 &corner,
                double reach, const glm::bvec3 &periodic)
{
    SGrid g;
    SizeGrid(g, cell, reach, p.size(), periodic);
    const glm::dmat3 inverse = glm::inverse(cell);
    const glm::ivec3 side = g.side;
    g.head.assign(static_cast<size_t>(side.x) * side.y * side.z, NO_ATOM);
    g.next.resize(p.size());
    g.cell_of.resize(p.size());
    g.wrapped.resize(p.size());
    g.shift.resize(p.size());
    for (size_t i = 0; i < p.size(); ++i) {
        const glm::dvec3 s = inverse * glm::dvec3(p[i] - corner);
        const glm::dvec3 whole = glm::floor(s) * glm::dvec3(periodic);
        g.shift[i] = glm::ivec3(whole);
        g.wrapped[i] = s - whole;
        glm::ivec3 c = glm::ivec3(g.wrapped[i] * glm::dvec3(side));
        c = glm::clamp(c, glm::ivec3(0), side - 1);
        g.cell_of[i] = c;
        const int k = g.Index(c);
        if (g.shift[i] != glm::ivec3(0)) {
            g.all_inside = false;
            g.has_wrapped.resize(g.head.size());
            g.has_wrapped[k] = 1;
        }
        g.next[i] = g.head[k];
        g.head[k] = static_cast<int>(i);
    }
    return g;
}

// A cell whose partners all lie inside the grid, so none is a translated image (when all atoms
// are inside the cell).
bool Interior(const glm::ivec3 &c, const SGrid &g)
{
    return glm::all(glm::greaterThanEqual(c, g.reach)) && glm::all(glm::lessThan(c, g.side - g.reach));
}

// An unwrapped atom of an interior cell meets no image but those of wrapped atoms, so it has no
// partner to look for when none lies in the cells round it.
bool MeetsNoImage(uint32_t i, const glm::ivec3 &c, const SGrid &g)
{
    if (!Interior(c, g) || g.shift[i] != glm::ivec3(0))
        return false;
    if (g.all_inside)
        return true;
    const glm::ivec3 r = g.reach;
    for (int dz = -r.z; dz <= r.z; ++dz)
        for (int dy = -r.y; dy <= r.y; ++dy)
            for (int dx = -r.x; dx <= r.x; ++dx)
                if (g.has_wrapped[g.Index(c + glm::ivec3(dx, dy, dz))] != 0)
                    return false;
    return true;
}

} // namespace

std::vector<CPeriodicBonds::SBond> CPeriodicBonds::Find(const std::vector<glm::vec3> &p,
                                                        const glm::dmat3 &cell, const glm::vec3 &corner,
                                                        float reach, const BondRule &bonded,
                                                        const glm::bvec3 &periodic)
{
    std::vector<SBond> bonds;
    if (p.empty() || !(reach > 0.0f) || !glm::any(periodic))
        return bonds;
    const SGrid g = BuildGrid(p, cell, corner, reach * (1.0 + 1e-5), periodic);
    const glm::ivec3 r = g.reach;
    for (uint32_t i = 0; i < p.size(); ++i) {
        const glm::ivec3 c = g.cell_of[i];
        if (MeetsNoImage(i, c, g))
            continue;
        for (int dz = -r.z; dz <= r.z; ++dz)
            for (int dy = -r.y; dy <= r.y; ++dy)
                for (int dx = -r.x; dx <= r.x; ++dx) {
                    const glm::ivec3 to = c + glm::ivec3(dx, dy, dz);
                    const glm::ivec3 s(FloorDiv(to.x, g.side.x), FloorDiv(to.y, g.side.y),
                                       FloorDiv(to.z, g.side.z));
                    if (g.all_inside && s == glm::ivec3(0))
                        continue;
                    for (int j = g.head[g.Index(to - s * g.side)]; j != NO_ATOM; j = g.next[j]) {
                        // The translation between the atoms as given, not as wrapped.
                        const glm::ivec3 image = s - g.shift[j] + g.shift[i];
                        const auto uj = static_cast<uint32_t>(j);
                        if (image == glm::ivec3(0) || uj < i || (uj == i && !Positive(image)))
                            continue;
                        const glm::dvec3 d = cell * (g.wrapped[uj] + glm::dvec3(s) - g.wrapped[i]);
                        if (bonded(i, uj, static_cast<float>(glm::dot(d, d))))
                            bonds.push_back({i, uj, image});
                    }
                }
    }
    return bonds;
}

glm::vec3 CPeriodicBonds::FaceCrossing(const glm::vec3 &p, const glm::vec3 &d, const glm::dmat3 &inverse,
                                       const glm::vec3 &corner, const glm::bvec3 &periodic)
{
    const glm::dvec3 s = inverse * glm::dvec3(p - corner), ds = inverse * glm::dvec3(d);
    double t = 1.0;
    for (int a = 0; a < 3; ++a) {
        if (!periodic[a])
            continue;
        if (ds[a] > 0.0)
            t = std::min(t, (1.0 - s[a]) / ds[a]);
        else if (ds[a] < 0.0)
            t = std::min(t, -s[a] / ds[a]);
    }
    // An atom outside the cell already: the half-bond ends half way.
    if (!(t > 0.0))
        t = 0.5;
    return p + static_cast<float>(t) * d;
}
