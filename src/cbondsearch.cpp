#include "cbondsearch.h"

#include "elements.h"
#include "largepages.h"
#include "stretches.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <iterator>

namespace {

// Bond records per atom the store is sized for; it grows beyond that when a structure needs it.
constexpr size_t BONDS_PER_ATOM = 15;
// The grid has at most this many cells per atom, and never fewer than 27 are allowed.
constexpr double MAX_CELLS_PER_ATOM = 4.0;
constexpr double MIN_CELL_CAP = 27.0;
constexpr double MAX_CELL_CAP = 1073741824.0;
// From this many cells on, bonds are searched cell by cell instead of pair by pair.
constexpr uint32_t MIN_CELLS_FOR_CELL_SEARCH = 9;
// Each further thread of the bond search has at least this many atoms to search, which pays for
// starting it.
constexpr size_t MIN_ATOMS_PER_THREAD = 20000;
// A pair closer than this (squared distance) is never bonded.
constexpr double MIN_BOND_DISTANCE_2 = 0.1;

// Indices past the table (never produced by the readers) are treated as the dummy element.
bool IsDummy(uint32_t idx) { return idx >= DUMMY_ELEMENT; }
float AtomRadius(uint32_t idx) { return atom_rgbs[ElementOrDummy(idx)].w; }

// Largest squared distance at which atoms of radii ri and rj are bonded.
float BondLimit(float ri, float rj)
{
    const float rr = (ri + rj) * (ri + rj);
    return static_cast<float>(static_cast<double>(rr) * 1.2);
}

// Atoms of two different conformers (both set and unequal) belong to different structures.
bool OtherConformer(uint8_t ci, uint8_t cj) { return ci != 0 && cj != 0 && ci != cj; }

// Partially occupied atoms closer than this share of their radii's sum are alternatives of one
// disordered site: the shortest real bonds (triple bonds, X-H) stay above it.
constexpr float MIN_PARTIAL_BOND_SHARE = 0.65f;

float Distance2(const glm::vec3 &d) { return d.x * d.x + d.y * d.y + d.z * d.z; }

// Margin around the atoms of the padded bounding box.
float BoxPad(float max_radius) { return static_cast<float>(static_cast<double>(max_radius) * 1.1); }

int WrapCell(int c, int side)
{
    if (c >= side)
        return 0;
    if (c < 0)
        return side - 1;
    return c;
}

// Cells along one axis when cells are at least `width` wide; an axis of unknown (non-finite)
// extent gets one cell.
double AxisCells(float size, double width)
{
    const double q = static_cast<double>(size) / width;
    if (!std::isfinite(q) || q < 1.0)
        return 1.0;
    return std::min(std::floor(q), MAX_CELL_CAP);
}

// The longest cell vector.
double CellExtent(const glm::dmat3 &cell)
{
    return std::max({glm::length(cell[0]), glm::length(cell[1]), glm::length(cell[2])});
}

template <class T>
void Take(std::vector<T> &v, size_t from, size_t to)
{
    v[to] = v[from];
}

} // namespace

void CBondSearch::SetModel()
{
    ++u_revision;
    is_linked_cell = false;
    is_linked_list = false;
    is_centered = false;
    center_xyz = (min_xyz + max_xyz) * 0.5f;
    EvalCutRadius();
    const float pad = BoxPad(max_radius);
    min_xyz -= pad;
    max_xyz += pad;
    v_box_size = max_xyz - min_xyz;
    if (!is_periodic) {
        m_cell_box = glm::dmat3(0.0);
        for (int a = 0; a < 3; ++a)
            m_cell_box[a][a] = v_box_size[a];
    }
    SetGridBox();
    is_linked_list = false;
    EvalAtomicBonds();
    CenterView();
}

std::string CBondSearch::CheckInvariants() const
{
    std::string broken = CAtoms::CheckInvariants();
    if (!broken.empty())
        return broken;
    const size_t n = v_atom_index.size();
    const bool records = m_bond_xyz.size() == i_number_of_bonds && m_bond_ang.size() == i_number_of_bonds;
    const bool no_records = m_bond_xyz.empty() && m_bond_ang.empty();
    if (m_bond_indices.size() != i_number_of_bonds || v_bond_length.size() != i_number_of_bonds ||
        !(records || no_records))
        return "the bond records differ in number";
    for (const glm::uvec2 &b : m_bond_indices)
        if (b.x >= n || b.y >= n)
            return "a bond names an atom that is not there";
    for (const CPeriodicBonds::SBond &b : m_bond_pbc)
        if (b.i >= n || b.j >= n)
            return "a bond names an atom that is not there";
    return {};
}

void CBondSearch::CenterView()
{
    for (glm::vec3 &p : v_float_raw_xyz)
        p -= center_xyz;
    v_grid_min -= center_xyz; // the grid stays round the atoms
    ForgetBondRecords();
}

void CBondSearch::SetInverseCell() { v_cell_frac = glm::vec3(v_cell_side) / v_grid_size; }

// The bonds of the atoms that go are kept with their places; the others are
// renumbered in place.
void CBondSearch::RemoveBonds(SBondsRemoved &removed, const std::vector<uint8_t> &gone)
{
    std::vector<uint32_t> number(gone.size());
    for (uint32_t i = 0, next = 0; i < gone.size(); ++i)
        number[i] = gone[i] != 0 ? NO_ATOM : next++;
    removed.bond_place.clear();
    removed.bond_ends.clear();
    removed.bond_length.clear();
    size_t w = 0;
    for (size_t k = 0; k < i_number_of_bonds; ++k) {
        const glm::uvec2 b = m_bond_indices[k];
        if (gone[b.x] != 0 || gone[b.y] != 0) {
            removed.bond_place.push_back(k);
            removed.bond_ends.push_back(b);
            removed.bond_length.push_back(v_bond_length[k]);
            continue;
        }
        m_bond_indices[w] = glm::uvec2(number[b.x], number[b.y]);
        Take(v_bond_length, k, w);
        ++w;
    }
    i_number_of_bonds = static_cast<uint32_t>(w);
    m_bond_indices.resize(w);
    v_bond_length.resize(w);
    ForgetBondRecords();
    removed.pbc_place.clear();
    removed.pbc_bonds.clear();
    w = 0;
    for (size_t k = 0; k < m_bond_pbc.size(); ++k) {
        const CPeriodicBonds::SBond b = m_bond_pbc[k];
        if (gone[b.i] != 0 || gone[b.j] != 0) {
            removed.pbc_place.push_back(k);
            removed.pbc_bonds.push_back(b);
        } else
            m_bond_pbc[w++] = {number[b.i], number[b.j], b.image};
    }
    m_bond_pbc.resize(w);
    i_number_of_bonds_pbc = static_cast<uint32_t>(w);
}

// Merges the kept bonds, numbered as before the deletion, with the bonds that went, each at its
// old place.
void CBondSearch::InsertBonds(const SBondsRemoved &removed, const std::vector<uint32_t> &old_number)
{
    const size_t total = i_number_of_bonds + removed.bond_place.size();
    m_bond_indices.resize(total);
    v_bond_length.resize(total);
    for (size_t w = total, r = i_number_of_bonds, k = removed.bond_place.size(); w-- > 0;) {
        if (k > 0 && removed.bond_place[k - 1] == w) {
            --k;
            m_bond_indices[w] = removed.bond_ends[k];
            v_bond_length[w] = removed.bond_length[k];
        } else {
            --r;
            const glm::uvec2 b = m_bond_indices[r];
            m_bond_indices[w] = glm::uvec2(old_number[b.x], old_number[b.y]);
            Take(v_bond_length, r, w);
        }
    }
    i_number_of_bonds = static_cast<uint32_t>(total);
    ForgetBondRecords();
    const size_t pbc_total = m_bond_pbc.size() + removed.pbc_place.size();
    m_bond_pbc.resize(pbc_total);
    for (size_t w = pbc_total, r = pbc_total - removed.pbc_place.size(), k = removed.pbc_place.size(); w-- > 0;) {
        if (k > 0 && removed.pbc_place[k - 1] == w)
            m_bond_pbc[w] = removed.pbc_bonds[--k];
        else {
            const CPeriodicBonds::SBond b = m_bond_pbc[--r];
            m_bond_pbc[w] = {old_number[b.i], old_number[b.j], b.image};
        }
    }
    i_number_of_bonds_pbc = static_cast<uint32_t>(pbc_total);
}

// `like` names the atom whose conformer and visibility (and line, at a save) an image copies.
void CBondSearch::AfterCountChange()
{
    EvalModel();
    EvalCutRadius();
    SetGridBox();
    is_linked_list = false;
    assert(CheckInvariants().empty());
}

void CBondSearch::EvalCutRadius()
{
    max_radius = 0.0f;
    for (size_t i = 0; i < AtomCount(); ++i)
        max_radius = std::max(max_radius, AtomRadius(v_atom_index[i]));
    r_cut_radius = max_radius + max_radius;
    r_cut_radius_2 = r_cut_radius * r_cut_radius;
}

// Cells are at least as wide as the longest possible bond, so that bonded atoms always lie in
// the same or adjacent cells, and the grid has at most a few cells per atom, however far apart
// the atoms are.
void CBondSearch::SetCells()
{
    if (AtomCount() == 0 || !(r_cut_radius > 0.0f)) {
        v_cell_side = glm::ivec3(0);
        u_cell_number = 0;
        return;
    }
    const double cap =
        std::clamp(MAX_CELLS_PER_ATOM * static_cast<double>(AtomCount()), MIN_CELL_CAP, MAX_CELL_CAP);
    double width = MinCellWidth();
    glm::dvec3 cells;
    double product;
    for (;;) {
        product = 1.0;
        double spread = 1.0;
        int split_axes = 0;
        for (int a = 0; a < 3; ++a) {
            cells[a] = AxisCells(v_grid_size[a], width);
            product *= cells[a];
            if (cells[a] > 1.0) {
                spread *= v_grid_size[a] / width;
                ++split_axes;
            }
        }
        if (product <= cap)
            break;
        // Widen the cells so that the split axes hold about `cap` cells together; an axis that
        // drops to one cell leaves fewer split axes for the next pass.
        width *= std::pow(spread / cap, 1.0 / split_axes) * (1.0 + 1e-9);
    }
    v_cell_side = glm::ivec3(cells);
    u_cell_number = static_cast<uint32_t>(product);
    if (u_cell_number > 1)
        SetNeighbourList();
}

void CBondSearch::SetNeighbourList()
{
    neighbor_cells_xyz.assign(std::begin(neighbor_cells), std::end(neighbor_cells));
    i_neighbor_cells = static_cast<int>(neighbor_cells_xyz.size());
    is_linked_cell = v_cell_side.y > 2;
}

void CBondSearch::SetCellList()
{
    v_cell_head.clear();
    ReserveLarge(v_cell_head, u_cell_number);
    v_cell_head.assign(u_cell_number, -1);
    v_cell_list.assign(AtomCount(), 0);
}

void CBondSearch::EvalLinkedList()
{
    SetCells();
    if (u_cell_number <= 1)
        return;
    SetInverseCell();
    SetCellList();
    for (size_t i = 0; i < AtomCount(); ++i) {
        const glm::vec3 &p = v_float_raw_xyz[i];
        const int c = (CellCoordinate(p.z, 2) * v_cell_side.y + CellCoordinate(p.y, 1)) * v_cell_side.x +
                      CellCoordinate(p.x, 0);
        v_cell_list[i] = v_cell_head[c];
        v_cell_head[c] = static_cast<int>(i);
    }
    is_linked_list = true;
}

// The atoms are split into consecutive stretches, one per thread; each thread keeps the bonds of
// its stretch in the serial order, and the stretches are joined in atom order, so the records are
// those of a serial search.
void CBondSearch::EvalAtomicBonds()
{
    const size_t n = AtomCount();
    v_bond_table.clear();
    i_number_of_bonds_pbc = 0;
    if (!is_linked_list)
        EvalLinkedList();
    const bool by_cells = is_linked_list && u_cell_number >= MIN_CELLS_FOR_CELL_SEARCH;
    const size_t searched = n > 0 ? n - 1 : 0;
    const unsigned parts = SearchThreads(searched);
    std::vector<SBondBatch> batches(parts);
    batches[0] = TakeBondRecords();
    // Reserved rather than filled: a large structure does not pay for zeroing records it never
    // uses, and a crowded one simply grows the store.
    batches[0].Reserve(BONDS_PER_ATOM * n);
    RunStretches(searched, parts, [this, &batches, by_cells](unsigned k, size_t begin, size_t end) {
        if (k > 0)
            batches[k].Reserve(BONDS_PER_ATOM * (end - begin));
        SearchRange(begin, end, by_cells, batches[k]);
    });
    KeepBondRecords(batches);
    FindPeriodicBonds();
    is_bond_eval = true;
}

unsigned CBondSearch::SearchThreads(size_t atoms) const
{
    if (u_search_threads > 0)
        return u_search_threads;
    return PayingParts(atoms, MIN_ATOMS_PER_THREAD);
}

void CBondSearch::SearchRange(size_t begin, size_t end, bool by_cells, SBondBatch &out) const
{
    for (size_t i = begin; i < end; ++i) {
        if (IsDummy(v_atom_index[i]))
            continue;
        if (by_cells)
            SearchCells(static_cast<uint32_t>(i), out);
        else
            SearchPairs(static_cast<uint32_t>(i), out);
    }
}

// The model's own stores, emptied, so that the first stretch fills them in place.
CBondSearch::SBondBatch CBondSearch::TakeBondRecords()
{
    SBondBatch b{std::move(m_bond_indices), std::move(v_bond_length)};
    b.indices.clear();
    b.length.clear();
    return b;
}

void CBondSearch::SBondBatch::Reserve(size_t bonds)
{
    indices.reserve(bonds);
    length.reserve(bonds);
}

// Each column of `b` is let go as soon as it is copied, so that a large join does not hold both
// copies of every column at once.
void CBondSearch::SBondBatch::Append(SBondBatch &&b)
{
    indices.insert(indices.end(), b.indices.begin(), b.indices.end());
    std::vector<glm::uvec2>().swap(b.indices);
    length.insert(length.end(), b.length.begin(), b.length.end());
    std::vector<float>().swap(b.length);
    pairs += b.pairs;
}

// Joins the stretches, in order, into the model's stores.
void CBondSearch::KeepBondRecords(std::vector<SBondBatch> &batches)
{
    SBondBatch &all = batches[0];
    for (size_t k = 1; k < batches.size(); ++k)
        all.Append(std::move(batches[k]));
    m_bond_indices = std::move(all.indices);
    ForgetBondRecords();
    v_bond_length = std::move(all.length);
    i_number_of_bonds = static_cast<uint32_t>(m_bond_indices.size());
    u_pairs_tested = all.pairs;
}

// The search runs on coordinates wrapped into the cell, so its rounding margin is the cell's,
// not that of the grid round atoms that may lie far outside it.
void CBondSearch::FindPeriodicBonds()
{
    m_bond_pbc.clear();
    if (is_periodic)
        m_bond_pbc = CPeriodicBonds::Find(v_float_raw_xyz, m_cell_box, CellCorner(),
                                          static_cast<float>(BondReach(CellExtent(m_cell_box))),
                                          [this](uint32_t i, uint32_t j, float d2) { return Bonded(i, j, d2); },
                                          is_periodic_axis, SearchThreads(AtomCount()), &u_pairs_tested);
    i_number_of_bonds_pbc = static_cast<uint32_t>(m_bond_pbc.size());
}

void CBondSearch::HalfBonds(std::vector<glm::vec3> &from, std::vector<glm::vec3> &to) const
{
    from.clear();
    to.clear();
    const glm::dmat3 inverse = glm::inverse(m_cell_box);
    const glm::vec3 corner = CellCorner();
    for (const CPeriodicBonds::SBond &b : m_bond_pbc) {
        const glm::vec3 pi = v_float_raw_xyz[b.i], pj = v_float_raw_xyz[b.j];
        const glm::vec3 d = pj + glm::vec3(m_cell_box * glm::dvec3(b.image)) - pi;
        from.push_back(pi);
        to.push_back(CPeriodicBonds::FaceCrossing(pi, d, inverse, corner, is_periodic_axis));
        from.push_back(pj);
        to.push_back(CPeriodicBonds::FaceCrossing(pj, -d, inverse, corner, is_periodic_axis));
    }
}

// The grid keeps the box of the load: an atom moved outside it is counted in the border cell
// nearest to it (clamping keeps neighbours in neighbouring cells), so that one atom moved far
// away does not stretch every cell round the others.
void CBondSearch::UpdateBonds()
{
    EvalCutRadius();
    is_linked_list = false;
    EvalAtomicBonds();
    assert(CheckInvariants().empty());
}


// The longest bond is sqrt(1.2) x r_cut_radius. The relative margin covers the rounding of the
// distance test; the one proportional to the grid's extent covers the rounding of the cell
// coordinates, which grows with the distance from the grid's corner.
double CBondSearch::MinCellWidth() const
{
    double extent = 0.0;
    for (int a = 0; a < 3; ++a)
        if (std::isfinite(v_grid_size[a]))
            extent = std::max(extent, static_cast<double>(v_grid_size[a]));
    return BondReach(extent);
}

double CBondSearch::BondReach(double extent) const
{
    return std::sqrt(1.2) * r_cut_radius * (1.0 + 1e-5) + extent * 1e-6;
}

void CBondSearch::SetGridBox()
{
    if (v_float_raw_xyz.empty()) {
        v_grid_min = glm::vec3(0.0f);
        v_grid_size = glm::vec3(0.0f);
        return;
    }
    glm::vec3 lo = v_float_raw_xyz[0];
    glm::vec3 hi = lo;
    for (const glm::vec3 &p : v_float_raw_xyz) {
        lo = glm::min(lo, p);
        hi = glm::max(hi, p);
    }
    const float pad = BoxPad(max_radius);
    v_grid_min = lo - pad;
    v_grid_size = (hi + pad) - v_grid_min;
}

// Clamped, so that rounding never puts an atom on a face of the grid outside it.
int CBondSearch::CellCoordinate(float p, int axis) const
{
    const float u = (p - v_grid_min[axis]) * v_cell_frac[axis];
    if (!(u >= 0.0f))
        return 0;
    if (static_cast<double>(u) >= v_cell_side[axis])
        return v_cell_side[axis] - 1;
    return static_cast<int>(u);
}

void CBondSearch::AppendBond(SBondBatch &out, uint32_t i, uint32_t j, float d2) const
{
    out.indices.emplace_back(i, j);
    out.length.push_back(std::sqrt(d2));
}

void CBondSearch::EvalBondRecords()
{
    if (m_bond_xyz.size() == i_number_of_bonds && m_bond_ang.size() == i_number_of_bonds)
        return;
    m_bond_xyz.resize(i_number_of_bonds);
    m_bond_ang.resize(i_number_of_bonds);
    RunStretches(i_number_of_bonds, SearchThreads(i_number_of_bonds), [this](unsigned, size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) {
            const glm::vec3 &pi = v_float_raw_xyz[m_bond_indices[k].x];
            const glm::vec3 &pj = v_float_raw_xyz[m_bond_indices[k].y];
            const glm::vec3 d = pj - pi;
            const double dx = d.x, dy = d.y, dz = d.z;
            m_bond_xyz[k] = glm::vec3((pi.x + pj.x) * 0.5f, (pi.y + pj.y) * 0.5f, (pi.z + pj.z) * 0.5f);
            m_bond_ang[k] = glm::vec2(static_cast<float>(std::atan2(dy, dx)),
                                      static_cast<float>(std::fabs(std::atan2(std::sqrt(dx * dx + dy * dy), dz))));
        }
    });
}

void CBondSearch::ForgetBondRecords()
{
    m_bond_xyz.clear();
    m_bond_ang.clear();
}

bool CBondSearch::Apart(uint32_t i, uint32_t j, float d2) const
{
    if (OtherConformer(ConformerOf(i), ConformerOf(j)))
        return true;
    if (!(OccupancyOf(i) < 1.0 && OccupancyOf(j) < 1.0))
        return false;
    const float close = MIN_PARTIAL_BOND_SHARE * (AtomRadius(v_atom_index[i]) + AtomRadius(v_atom_index[j]));
    return d2 < close * close;
}

bool CBondSearch::Bonded(uint32_t i, uint32_t j, float d2) const
{
    return !IsDummy(v_atom_index[i]) && !IsDummy(v_atom_index[j]) && !Apart(i, j, d2) &&
           BondLimit(AtomRadius(v_atom_index[i]), AtomRadius(v_atom_index[j])) > d2 &&
           d2 > MIN_BOND_DISTANCE_2;
}

// Every later atom; a pair exactly at the limit is bonded.
void CBondSearch::SearchPairs(uint32_t i, SBondBatch &out) const
{
    const glm::vec3 pi = v_float_raw_xyz[i];
    const float ri = AtomRadius(v_atom_index[i]);
    for (uint32_t j = i + 1; j < AtomCount(); ++j) {
        ++out.pairs;
        if (IsDummy(v_atom_index[j]))
            continue;
        const float d2 = Distance2(v_float_raw_xyz[j] - pi);
        if (BondLimit(ri, AtomRadius(v_atom_index[j])) >= d2 && d2 > MIN_BOND_DISTANCE_2 && !Apart(i, j, d2))
            AppendBond(out, i, j, d2);
    }
}

// Later atoms of the atom's cell and its neighbours; a pair exactly at the limit is not bonded.
// No pair bonds beyond the limit of the two largest radii, so most pairs end at that test.
void CBondSearch::SearchCells(uint32_t i, SBondBatch &out) const
{
    const glm::vec3 pi = v_float_raw_xyz[i];
    const glm::ivec3 c(CellCoordinate(pi.x, 0), CellCoordinate(pi.y, 1), CellCoordinate(pi.z, 2));
    const glm::ivec3 &side = v_cell_side;
    // The wrapped cell coordinates of the offsets -1, 0 and 1 along each axis, in cells.
    int along[3][3];
    for (int a = 0; a < 3; ++a)
        for (int d = -1; d <= 1; ++d)
            along[a][d + 1] = WrapCell(c[a] + d, side[a]) * (a == 0 ? 1 : a == 1 ? side.x : side.x * side.y);
    const float reach2 = BondLimit(max_radius, max_radius);
    // With fewer than three cells along an axis, several offsets wrap onto the same cell.
    const bool may_repeat = side.x < 3 || side.y < 3 || side.z < 3;
    int visited[std::size(neighbor_cells)];
    size_t n_visited = 0;
    for (size_t o = 0; o < neighbor_cells_xyz.size() && o < std::size(neighbor_cells); ++o) {
        const glm::ivec3 &off = neighbor_cells_xyz[o];
        const int cell = along[0][off.x + 1] + along[1][off.y + 1] + along[2][off.z + 1];
        if (may_repeat) {
            if (std::find(visited, visited + n_visited, cell) != visited + n_visited)
                continue;
            visited[n_visited++] = cell;
        }
        // Chains run in descending index order: the partners j > i come first.
        for (int j = v_cell_head[cell]; j > static_cast<int>(i); j = v_cell_list[j]) {
            ++out.pairs;
            const float d2 = Distance2(v_float_raw_xyz[j] - pi);
            if (d2 < reach2 && Bonded(i, static_cast<uint32_t>(j), d2))
                AppendBond(out, i, static_cast<uint32_t>(j), d2);
        }
    }
}

