#include "cperiodicbonds.h"

#include <algorithm>
#include <cmath>

#include "largepages.h"
#include "stretches.h"

namespace {

// At most this many grid cells per atom, as for the model's own grid.
constexpr double MAX_CELLS_PER_ATOM = 4.0;
constexpr int NO_ATOM = -1;
// Each further thread has at least this many atoms to place or search.
constexpr size_t MIN_ATOMS_PER_THREAD = 20000;

// Threads for `atoms`: a thread pays only for a stretch of many.
unsigned StretchesOf(size_t atoms, unsigned threads)
{
    return static_cast<unsigned>(std::clamp<size_t>(atoms / MIN_ATOMS_PER_THREAD, 1, std::max(threads, 1u)));
}

int FloorDiv(int a, int n) { return a >= 0 ? a / n : -((-a + n - 1) / n); }

bool Positive(const glm::ivec3 &t)
{
    return t.x > 0 || (t.x == 0 && (t.y > 0 || (t.y == 0 && t.z > 0)));
}

// What one stretch of the search found, and how many pairs it compared.
struct SSearched {
    std::vector<CPeriodicBonds::SBond> bonds;
    uint64_t pairs = 0;
};

// The grid over the cell in fractional coordinates: cells at least `reach` wide across their
// faces, so that bonded atoms lie in the same or adjacent cells, counted round the cell. Only the
// atoms that can meet an image are kept: those of the cells along the faces, the atoms wrapped
// into the cell and those near them. In a large cell with every atom inside, that is a thin shell
// of the atoms.
struct SGrid {
    glm::ivec3 side{1};
    // How many cells away a partner can be: 1, or more along an axis narrower than a bond.
    glm::ivec3 reach{1};
    // Per cell, its first atom kept (an index into the lists below).
    std::vector<int> head;
    // Per atom kept, in ascending order of the atoms: the atom, the next kept atom of its cell,
    // its cell, its place (fractional, in [0, 1) along the periodic axes) and the whole cells
    // taken off to wrap it.
    std::vector<uint32_t> atom;
    std::vector<int> next;
    std::vector<glm::ivec3> cell_of;
    std::vector<glm::dvec3> wrapped;
    std::vector<glm::ivec3> shift;
    bool all_inside = true;

    int Index(const glm::ivec3 &c) const { return c.x + side.x * (c.y + side.y * c.z); }
    glm::ivec3 Cell(int k) const { return {k % side.x, (k / side.x) % side.y, k / (side.x * side.y)}; }
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

// The whole cells to take off the fractional place s to wrap it into the cell along the periodic
// axes; most atoms lie inside the cell already.
glm::dvec3 WholeCellsOf(const glm::dvec3 &s, const glm::bvec3 &periodic)
{
    glm::dvec3 whole(0.0);
    for (int a = 0; a < 3; ++a)
        if (periodic[a] && !(s[a] >= 0.0 && s[a] < 1.0))
            whole[a] = std::floor(s[a]);
    return whole;
}

// The grid cell of a place wrapped into the cell.
glm::ivec3 CellOf(const glm::dvec3 &wrapped, const SGrid &g)
{
    return glm::clamp(glm::ivec3(wrapped * glm::dvec3(g.side)), glm::ivec3(0), g.side - 1);
}

// Per cell, whether its atoms can meet an image: a cell along a face, or one within reach of a
// cell holding a wrapped atom (whose images its unwrapped neighbours meet inside the grid).
std::vector<uint8_t> CellsMeetingImages(const SGrid &g, const std::vector<int> &wrapped_cells)
{
    std::vector<uint8_t> meets(g.head.size(), 1);
    const glm::ivec3 r = g.reach;
    for (int z = r.z; z < g.side.z - r.z; ++z)
        for (int y = r.y; y < g.side.y - r.y; ++y)
            if (r.x < g.side.x - r.x)
                std::fill_n(meets.begin() + g.Index({r.x, y, z}), g.side.x - 2 * r.x, uint8_t(0));
    for (int k : wrapped_cells) {
        const glm::ivec3 c = g.Cell(k);
        for (int dz = -r.z; dz <= r.z; ++dz)
            for (int dy = -r.y; dy <= r.y; ++dy)
                for (int dx = -r.x; dx <= r.x; ++dx) {
                    const glm::ivec3 to = c + glm::ivec3(dx, dy, dz);
                    if (glm::all(glm::greaterThanEqual(to, glm::ivec3(0))) && glm::all(glm::lessThan(to, g.side)))
                        meets[g.Index(to)] = 1;
                }
    }
    return meets;
}

// Each atom's cell, and the cells (each once) that hold atoms wrapped into the cell.
std::vector<int> CellsOfAtoms(const std::vector<glm::vec3> &p, const glm::dmat3 &inverse, const glm::vec3 &corner,
                              const SGrid &g, const glm::bvec3 &periodic, unsigned parts,
                              std::vector<int> &wrapped_cells)
{
    std::vector<int> cell_index(p.size());
    std::vector<std::vector<int>> wrapped(parts);
    RunStretches(p.size(), parts, [&](unsigned k, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const glm::dvec3 s = inverse * glm::dvec3(p[i] - corner);
            const glm::dvec3 whole = WholeCellsOf(s, periodic);
            cell_index[i] = g.Index(CellOf(s - whole, g));
            if (whole != glm::dvec3(0.0))
                wrapped[k].push_back(cell_index[i]);
        }
    });
    wrapped_cells.clear();
    for (const std::vector<int> &w : wrapped)
        wrapped_cells.insert(wrapped_cells.end(), w.begin(), w.end());
    std::sort(wrapped_cells.begin(), wrapped_cells.end());
    wrapped_cells.erase(std::unique(wrapped_cells.begin(), wrapped_cells.end()), wrapped_cells.end());
    return cell_index;
}

// The atoms, in ascending order, whose cells can meet an image.
std::vector<uint32_t> AtomsMeetingImages(const std::vector<int> &cell_index, const std::vector<uint8_t> &meets,
                                         unsigned parts)
{
    std::vector<std::vector<uint32_t>> found(parts);
    RunStretches(cell_index.size(), parts, [&](unsigned k, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            if (meets[cell_index[i]] != 0)
                found[k].push_back(static_cast<uint32_t>(i));
    });
    for (size_t k = 1; k < found.size(); ++k)
        found[0].insert(found[0].end(), found[k].begin(), found[k].end());
    return std::move(found[0]);
}

// The atoms of the cells that can meet an image, linked per cell in descending atom order.
SGrid BuildGrid(const std::vector<glm::vec3> &p, const glm::dmat3 &cell, const glm::vec3 &corner,
                double reach, const glm::bvec3 &periodic, unsigned threads)
{
    SGrid g;
    SizeGrid(g, cell, reach, p.size(), periodic);
    const glm::dmat3 inverse = glm::inverse(cell);
    const size_t cells = static_cast<size_t>(g.side.x) * g.side.y * g.side.z;
    ReserveLarge(g.head, cells);
    g.head.assign(cells, NO_ATOM);
    const unsigned parts = StretchesOf(p.size(), threads);
    std::vector<int> wrapped_cells;
    const std::vector<int> cell_index = CellsOfAtoms(p, inverse, corner, g, periodic, parts, wrapped_cells);
    g.all_inside = wrapped_cells.empty();
    g.atom = AtomsMeetingImages(cell_index, CellsMeetingImages(g, wrapped_cells), parts);
    g.next.resize(g.atom.size());
    g.cell_of.resize(g.atom.size());
    g.wrapped.resize(g.atom.size());
    g.shift.resize(g.atom.size());
    for (size_t a = 0; a < g.atom.size(); ++a) {
        const glm::dvec3 s = inverse * glm::dvec3(p[g.atom[a]] - corner);
        const glm::dvec3 whole = WholeCellsOf(s, periodic);
        const int k = cell_index[g.atom[a]];
        g.next[a] = g.head[k];
        g.head[k] = static_cast<int>(a);
        g.cell_of[a] = CellOf(s - whole, g);
        g.wrapped[a] = s - whole;
        g.shift[a] = glm::ivec3(whole);
    }
    return g;
}

// The bonds of kept atom a to images of the kept atoms of its cell and the cells round it.
void SearchImages(const SGrid &g, size_t a, const glm::dmat3 &cell, const CPeriodicBonds::BondRule &bonded,
                  SSearched &out)
{
    const uint32_t i = g.atom[a];
    const glm::ivec3 c = g.cell_of[a];
    const glm::ivec3 r = g.reach;
    for (int dz = -r.z; dz <= r.z; ++dz)
        for (int dy = -r.y; dy <= r.y; ++dy)
            for (int dx = -r.x; dx <= r.x; ++dx) {
                const glm::ivec3 to = c + glm::ivec3(dx, dy, dz);
                const glm::ivec3 s(FloorDiv(to.x, g.side.x), FloorDiv(to.y, g.side.y), FloorDiv(to.z, g.side.z));
                if (g.all_inside && s == glm::ivec3(0))
                    continue;
                for (int b = g.head[g.Index(to - s * g.side)]; b != NO_ATOM; b = g.next[b]) {
                    // The translation between the atoms as given, not as wrapped.
                    const glm::ivec3 image = s - g.shift[b] + g.shift[a];
                    const uint32_t j = g.atom[b];
                    if (image == glm::ivec3(0) || j < i || (j == i && !Positive(image)))
                        continue;
                    ++out.pairs;
                    const glm::dvec3 d = cell * (g.wrapped[b] + glm::dvec3(s) - g.wrapped[a]);
                    if (bonded(i, j, static_cast<float>(glm::dot(d, d))))
                        out.bonds.push_back({i, j, image});
                }
            }
}

} // namespace

std::vector<CPeriodicBonds::SBond> CPeriodicBonds::Find(const std::vector<glm::vec3> &p,
                                                        const glm::dmat3 &cell, const glm::vec3 &corner,
                                                        float reach, const BondRule &bonded,
                                                        const glm::bvec3 &periodic, unsigned threads,
                                                        uint64_t *pairs)
{
    if (p.empty() || !(reach > 0.0f) || !glm::any(periodic))
        return {};
    const SGrid g = BuildGrid(p, cell, corner, reach * (1.0 + 1e-5), periodic, threads);
    const unsigned parts = StretchesOf(g.atom.size(), threads);
    std::vector<SSearched> found(parts);
    RunStretches(g.atom.size(), parts, [&](unsigned k, size_t begin, size_t end) {
        for (size_t a = begin; a < end; ++a)
            SearchImages(g, a, cell, bonded, found[k]);
    });
    for (size_t k = 1; k < found.size(); ++k) {
        found[0].bonds.insert(found[0].bonds.end(), found[k].bonds.begin(), found[k].bonds.end());
        found[0].pairs += found[k].pairs;
    }
    if (pairs != nullptr)
        *pairs += found[0].pairs;
    return std::move(found[0].bonds);
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
