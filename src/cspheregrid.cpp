#include "cspheregrid.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "stretches.h"

namespace {

// Places farther out than this (in any unit a structure uses) go with those that are not numbers,
// so that no extent overflows.
const float FAR = 1e18f;

// A sphere drawn as a ball of finite place and radius (a comparison with a number that is not one
// fails).
inline bool IsBall(const glm::vec4 &s)
{
    return std::abs(s.x) < FAR && std::abs(s.y) < FAR && std::abs(s.z) < FAR && s.w > 0.0f &&
           s.w < std::numeric_limits<float>::infinity();
}

// Boxes of `side` along each axis of `extent`, at least one.
glm::ivec3 Boxes(const glm::vec3 &extent, float side)
{
    return glm::max(glm::ivec3(glm::ceil(extent / side)), glm::ivec3(1));
}

double Product(const glm::ivec3 &n) { return static_cast<double>(n.x) * n.y * n.z; }

// The side of the boxes: the smallest of a falling series from the whole extent whose grid has at
// most `cells` boxes (a flat or thin structure gets boxes of the same side, one deep).
float Side(const glm::vec3 &extent, double cells)
{
    float side = std::max(extent.x, std::max(extent.y, extent.z));
    if (!(side > 0.0f))
        return 1.0f;
    for (float next = 0.8f * side; Product(Boxes(extent, next)) <= cells; next *= 0.8f)
        side = next;
    return side;
}

// Below this many spheres per thread a thread costs more than it saves.
const size_t MIN_SPHERES_PER_THREAD = 50000;

// How much wider than when grouped the cells may grow by refits before they are grouped afresh.
const double MAX_REFIT_SPREAD = 1.5;

// The box of a sphere of radius 0, which draws nothing and is left out.
const uint32_t NOT_DRAWN = UINT32_MAX;

} // namespace

// Boxes of one side from a corner; after the last, one more for the spheres that are not balls.
struct CSphereGrid::SLattice {
    glm::vec3 low{0.0f};
    float per_side = 1.0f; // 1 / the side
    glm::ivec3 n{1};

    size_t Odd() const { return static_cast<size_t>(Product(n)); }
    uint32_t BoxOf(const glm::vec4 &s) const
    {
        if (!IsBall(s))
            return static_cast<uint32_t>(Odd());
        const glm::ivec3 b = glm::min(glm::ivec3((glm::vec3(s) - low) * per_side), n - 1);
        return static_cast<uint32_t>((b.z * n.y + b.y) * n.x + b.x);
    }
};

// The lattice over the balls among `spheres`, about `per_cell` to a box.
CSphereGrid::SLattice CSphereGrid::LatticeOf(const std::vector<glm::vec4> &spheres, size_t per_cell)
{
    glm::vec3 low(std::numeric_limits<float>::infinity()), high(-std::numeric_limits<float>::infinity());
    size_t balls = 0;
    for (const glm::vec4 &s : spheres)
        if (IsBall(s)) {
            low = glm::min(low, glm::vec3(s));
            high = glm::max(high, glm::vec3(s));
            ++balls;
        }
    SLattice lattice;
    if (balls == 0)
        return lattice;
    const glm::vec3 extent = high - low;
    lattice.low = low;
    const float side = Side(extent, std::max(static_cast<double>(balls) / static_cast<double>(std::max<size_t>(per_cell, 1)), 1.0));
    lattice.per_side = 1.0f / side;
    lattice.n = Boxes(extent, side);
    return lattice;
}

void CSphereGrid::Build(const std::vector<glm::vec4> &spheres, size_t per_cell)
{
    u_size = spheres.size();
    const SLattice lattice = LatticeOf(spheres, per_cell);
    FindCells(SortByBox(spheres, lattice), lattice.Odd());
}

// Counting sort of the drawn spheres by box, a pass cheaper than sorting, on a stretch of them per
// thread (each counts its own, then puts its spheres after those of the stretches before it, so
// that the order is that of one pass): where each box's spheres start, the end after the last.
std::vector<uint32_t> CSphereGrid::SortByBox(const std::vector<glm::vec4> &spheres, const SLattice &lattice)
{
    const size_t boxes = lattice.Odd() + 1;
    const unsigned parts = PayingParts(spheres.size(), MIN_SPHERES_PER_THREAD);
    std::vector<uint32_t> box_of(spheres.size());
    std::vector<std::vector<uint32_t>> next(parts, std::vector<uint32_t>(boxes, 0));
    RunStretches(spheres.size(), parts, [&](unsigned k, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            box_of[i] = spheres[i].w == 0.0f ? NOT_DRAWN : lattice.BoxOf(spheres[i]);
            if (box_of[i] != NOT_DRAWN)
                ++next[k][box_of[i]];
        }
    });
    std::vector<uint32_t> starts(boxes + 1, 0);
    for (size_t b = 0; b < boxes; ++b) {
        starts[b + 1] = starts[b];
        for (std::vector<uint32_t> &part : next) {
            const uint32_t count = part[b];
            part[b] = starts[b + 1];
            starts[b + 1] += count;
        }
    }
    v_spheres.resize(starts[boxes]);
    v_indices.resize(starts[boxes]);
    glm::vec4 *sorted = v_spheres.data();
    uint32_t *indices = v_indices.data();
    RunStretches(spheres.size(), parts, [&](unsigned k, size_t begin, size_t end) {
        uint32_t *place = next[k].data();
        for (size_t i = begin; i < end; ++i)
            if (box_of[i] != NOT_DRAWN) {
                const uint32_t at = place[box_of[i]]++;
                sorted[at] = spheres[i];
                indices[at] = static_cast<uint32_t>(i);
            }
    });
    return starts;
}

// A cell for each box that holds spheres, with their bounds.
void CSphereGrid::FindCells(const std::vector<uint32_t> &starts, size_t odd)
{
    v_cells.clear();
    for (size_t b = 0; b <= odd; ++b) {
        if (starts[b] == starts[b + 1])
            continue;
        SCell cell;
        cell.begin = starts[b];
        cell.end = starts[b + 1];
        cell.is_bounded = b < odd;
        Bound(cell);
        v_cells.push_back(cell);
    }
    built_spread = Spread();
}

// The bounds of the cell's spheres that draw (none: a point with radius 0).
void CSphereGrid::Bound(SCell &cell) const
{
    cell.low = glm::vec3(std::numeric_limits<float>::infinity());
    cell.high = -cell.low;
    cell.radius = 0.0f;
    for (uint32_t k = cell.begin; k < cell.end; ++k)
        if (!(v_spheres[k].w == 0.0f)) {
            cell.low = glm::min(cell.low, glm::vec3(v_spheres[k]));
            cell.high = glm::max(cell.high, glm::vec3(v_spheres[k]));
            cell.radius = std::max(cell.radius, v_spheres[k].w);
        }
    if (cell.low.x > cell.high.x)
        cell.low = cell.high = glm::vec3(0.0f);
}

// How wide the bounded cells are together: the sum of their extents along the three axes.
double CSphereGrid::Spread() const
{
    double spread = 0.0;
    for (const SCell &cell : v_cells)
        if (cell.is_bounded) {
            const glm::vec3 extent = cell.high - cell.low;
            spread += static_cast<double>(extent.x) + extent.y + extent.z;
        }
    return spread;
}

bool CSphereGrid::Refit(const std::vector<glm::vec4> &spheres)
{
    if (spheres.size() != u_size)
        return false;
    size_t drawn = 0, grouped = 0;
    for (const glm::vec4 &s : spheres)
        drawn += s.w == 0.0f ? 0 : 1;
    for (SCell &cell : v_cells) {
        for (uint32_t k = cell.begin; k < cell.end; ++k) {
            const glm::vec4 &s = spheres[v_indices[k]];
            if (cell.is_bounded && !IsBall(s) && !(s.w == 0.0f))
                return false;
            grouped += s.w == 0.0f ? 0 : 1;
            v_spheres[k] = s;
        }
        Bound(cell);
    }
    // Every sphere that draws is grouped, and the cells are still about as tight as grouped afresh.
    return grouped == drawn && Spread() <= MAX_REFIT_SPREAD * built_spread;
}
