#include "cmodel.h"

#include "elements.h"
#include "fileformats.h"
#include "largepages.h"
#include "stretches.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <iterator>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>

CModel::CModel() {}

// ---- model core and bonds -------------------------------------------------

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

} // namespace

void CModel::SetModel()
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

void CModel::EvalModel()
{
    Composition(v_atom_index, v_table_index, v_table_atoms);
}

void CModel::Composition(const std::vector<uint32_t> &index, std::vector<uint32_t> &elements,
                         std::vector<uint32_t> &counts)
{
    elements.clear();
    counts.clear();
    // Element numbers are small: a table counts a million atoms several times faster than a hash
    // map, which keeps only the rare numbers beyond it.
    const uint32_t table_size = 1024;
    std::vector<size_t> table(table_size, SIZE_MAX);
    std::unordered_map<uint32_t, size_t> beyond;
    for (uint32_t idx : index) {
        size_t &slot = idx < table_size ? table[idx] : beyond.try_emplace(idx, SIZE_MAX).first->second;
        if (slot == SIZE_MAX) {
            slot = elements.size();
            elements.push_back(idx);
            counts.push_back(0);
        }
        ++counts[slot];
    }
}

std::vector<uint32_t> CModel::AtomsOfElement(const std::vector<uint32_t> &index, uint32_t idx)
{
    std::vector<uint32_t> atoms;
    for (size_t i = 0; i < index.size(); ++i)
        if (index[i] == idx)
            atoms.push_back(static_cast<uint32_t>(i));
    return atoms;
}

std::string CModel::CheckInvariants() const
{
    const size_t n = v_atom_index.size();
    if (v_real_xyz.size() != n || v_float_raw_xyz.size() != n)
        return "positions and elements differ in number";
    for (size_t i = 0; i < n; ++i)
        if (v_atom_index[i] >= periodic_table_atoms)
            return "atom " + std::to_string(i) + " has no element";
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
    if (!v_atom_hidden.empty() && v_atom_hidden.size() != n)
        return "the hidden atoms are out of step with the atoms";
    const CStructureFile *file = Handler(file_format);
    if (file != nullptr && file->v_atom_origin.size() != n)
        return "the atoms are out of step with the file read";
    return {};
}

void CModel::CenterView()
{
    for (glm::vec3 &p : v_float_raw_xyz)
        p -= center_xyz;
    v_grid_min -= center_xyz; // the grid stays round the atoms
    ForgetBondRecords();
}

void CModel::SetInverseCell() { v_cell_frac = glm::vec3(v_cell_side) / v_grid_size; }

// ---- edits ------------------------------------------------------------------

namespace {

constexpr uint32_t NO_ATOM = 0xFFFFFFFFu;
// A supercell beyond this many atoms is refused: its atoms and bonds would not fit in memory.
constexpr uint64_t MAX_SUPERCELL_ATOMS = 50000000;

// Drops the entries of the atoms that are gone, keeping the order of the others; a per-atom list
// left empty (no conformers, nothing hidden) stays empty.
template <class T>
void Compact(std::vector<T> &v, const std::vector<uint8_t> &gone)
{
    if (v.size() != gone.size())
        return;
    size_t w = 0;
    for (size_t r = 0; r < v.size(); ++r)
        if (gone[r] == 0)
            v[w++] = std::move(v[r]);
    v.resize(w);
}

// Puts `values` back at the ascending places `atoms` of the list as it was, n long; no values
// stand for default ones (a list kept empty stays so).
template <class T>
void Expand(std::vector<T> &v, const std::vector<uint32_t> &atoms, const std::vector<T> &values, size_t n)
{
    if (values.empty() && v.empty())
        return;
    if (v.size() + atoms.size() != n)
        v.assign(n - atoms.size(), T{});
    v.resize(n);
    size_t r = n - atoms.size();
    size_t k = atoms.size();
    for (size_t w = n; w-- > 0;) {
        if (k > 0 && atoms[k - 1] == w) {
            --k;
            v[w] = values.empty() ? T{} : values[k];
        } else
            v[w] = std::move(v[--r]);
    }
}

template <class T>
void Take(std::vector<T> &v, size_t from, size_t to)
{
    v[to] = v[from];
}

bool FinitePosition(const glm::dvec3 &p)
{
    for (int k = 0; k < 3; ++k)
        if (!(std::fabs(p[k]) <= CStructureFile::MAX_COORDINATE))
            return false;
    return true;
}

} // namespace

std::vector<uint32_t> CModel::ValidAtoms(std::vector<uint32_t> atoms) const
{
    std::sort(atoms.begin(), atoms.end());
    atoms.erase(std::unique(atoms.begin(), atoms.end()), atoms.end());
    atoms.erase(std::lower_bound(atoms.begin(), atoms.end(), static_cast<uint32_t>(AtomCount())), atoms.end());
    return atoms;
}

void CModel::SetElement(uint32_t num, uint32_t idx) { SetElements({num}, idx); }

void CModel::SetElements(const std::vector<uint32_t> &atoms, uint32_t idx)
{
    SEdit e(SEdit::ELEMENT);
    e.atoms = ValidAtoms(atoms);
    if (e.atoms.empty() || idx >= periodic_table_atoms)
        return;
    for (uint32_t u : e.atoms)
        e.element_before.push_back(v_atom_index[u]);
    e.element_after = idx;
    Record(std::move(e));
}

void CModel::DeleteAtomIndex(uint32_t u) { DeleteAtoms({u}); }

void CModel::DeleteAtoms(const std::vector<uint32_t> &atoms)
{
    SEdit e(SEdit::DELETE);
    e.atoms = ValidAtoms(atoms);
    if (e.atoms.empty())
        return;
    const CStructureFile *file = Handler(file_format);
    const size_t n = e.atoms.size();
    e.before.reserve(n);
    e.drawn_before.reserve(n);
    e.element_before.reserve(n);
    for (uint32_t u : e.atoms) {
        e.before.push_back(v_real_xyz[u]);
        e.drawn_before.push_back(v_float_raw_xyz[u]);
        e.element_before.push_back(v_atom_index[u]);
        if (!v_atom_altloc.empty())
            e.altloc_before.push_back(v_atom_altloc[u]);
        if (!v_atom_occupancy.empty())
            e.occupancy_before.push_back(v_atom_occupancy[u]);
        if (!v_atom_hidden.empty())
            e.hidden_before.push_back(v_atom_hidden[u]);
        if (file != nullptr && u < file->v_atom_origin.size())
            e.origin.push_back(file->v_atom_origin[u]);
    }
    Record(std::move(e));
}

bool CModel::AddAtom(uint32_t idx, const glm::dvec3 &p, std::string &why)
{
    why = idx >= periodic_table_atoms ? "no element was chosen"
          : !FinitePosition(p)        ? "the position lies beyond 1e15 angstrom"
                                      : "";
    if (!why.empty())
        return false;
    SEdit e(SEdit::ADD);
    e.atoms = {static_cast<uint32_t>(AtomCount())};
    e.element_after = idx;
    e.after = {p};
    Record(std::move(e));
    return true;
}

bool CModel::MakeSupercell(const glm::ivec3 &n, std::string &why)
{
    if (!is_periodic || FrameCount() > 1) {
        why = is_periodic ? "a trajectory cannot be made a supercell: its frames keep the atoms read"
                          : "the structure has no periodic cell to repeat";
        return false;
    }
    // The grid of a volumetric file would no longer fit the cell.
    if (const CStructureFile *file = Handler(file_format); file != nullptr && file->Grid() != nullptr) {
        why = "a structure read with a volumetric grid cannot be made a supercell";
        return false;
    }
    uint64_t count = AtomCount();
    for (int a = 0; a < 3; ++a) {
        if (n[a] < 1 || n[a] > MAX_SUPERCELL) {
            why = "each repeat must be from 1 to " + std::to_string(MAX_SUPERCELL) + ", found " + std::to_string(n[a]);
            return false;
        }
        count *= static_cast<uint64_t>(n[a]);
    }
    if (count > MAX_SUPERCELL_ATOMS) {
        why = "the supercell would hold " + std::to_string(count) + " atoms, more than " +
              std::to_string(MAX_SUPERCELL_ATOMS);
        return false;
    }
    why.clear();
    if (n == glm::ivec3(1))
        return true;
    SEdit e(SEdit::SUPERCELL);
    e.repeat = n;
    e.count_before = static_cast<uint32_t>(AtomCount());
    e.cell_before = m_cell_box;
    Record(std::move(e));
    return true;
}

int CModel::SupercellsInEffect() const
{
    return static_cast<int>(std::count_if(v_history.begin(), v_history.begin() + static_cast<long>(u_history_done),
                                          [](const SEdit &e) { return e.kind == SEdit::SUPERCELL; }));
}

glm::ivec3 CModel::SupercellRepeat() const
{
    glm::ivec3 n(1);
    for (size_t k = 0; k < u_history_done; ++k)
        if (v_history[k].kind == SEdit::SUPERCELL)
            n *= v_history[k].repeat;
    return n;
}

// Fractional coordinates in [0, 1) along each periodic axis (a slab keeps its height); the
// cell's origin is the file frame's. In a trajectory the frames with the same atoms follow.
bool CModel::WrapIntoCell()
{
    if (!is_periodic)
        return false;
    const glm::dmat3 inverse = glm::inverse(m_cell_box);
    std::vector<uint32_t> atoms;
    std::vector<glm::dvec3> after;
    for (size_t i = 0; i < AtomCount(); ++i) {
        const glm::dvec3 p = WrappedIntoCell(m_cell_box, inverse, is_periodic_axis, v_real_xyz[i]);
        if (p != v_real_xyz[i]) {
            atoms.push_back(static_cast<uint32_t>(i));
            after.push_back(p);
        }
    }
    const CStructureFile *file = Handler(file_format);
    SEdit e = MoveEdit(atoms, std::move(after));
    e.is_frames_wrap = trajectory.IsOpen() && file != nullptr && !trajectory.IsWrapped(*file);
    if (!atoms.empty() || e.is_frames_wrap)
        Record(std::move(e));
    return true;
}

void CModel::SetHidden(const std::vector<uint32_t> &atoms, bool is_hidden)
{
    if (v_atom_hidden.empty() && !is_hidden)
        return;
    v_atom_hidden.resize(AtomCount(), 0);
    for (uint32_t u : atoms)
        if (u < v_atom_hidden.size())
            v_atom_hidden[u] = is_hidden ? 1 : 0;
    if (std::find(v_atom_hidden.begin(), v_atom_hidden.end(), 1) == v_atom_hidden.end())
        v_atom_hidden.clear();
    ++u_hidden_revision;
}

// ---- edit history ----------------------------------------------------------

void CModel::Record(SEdit e)
{
    e.frame = FrameShown();
    v_history.erase(v_history.begin() + static_cast<long>(u_history_done), v_history.end());
    if (u_history_clean > u_history_done)
        u_history_clean = NO_CLEAN_POINT;
    v_history.push_back(std::move(e));
    ++u_history_done;
    Apply(v_history.back(), true);
}

bool CModel::ShowFrameOf(const SEdit &e) { return e.frame == FrameShown() || ShowFrame(e.frame); }

bool CModel::Undo()
{
    if (!CanUndo() || !ShowFrameOf(v_history[u_history_done - 1]))
        return false;
    Apply(v_history[--u_history_done], false);
    return true;
}

bool CModel::Redo()
{
    if (!CanRedo() || !ShowFrameOf(v_history[u_history_done]))
        return false;
    Apply(v_history[u_history_done++], true);
    return true;
}

void CModel::MarkClean()
{
    u_history_clean = u_history_done;
}

void CModel::ForgetHistory()
{
    v_history.clear();
    u_history_done = u_history_clean = 0;
}

void CModel::Apply(SEdit &e, bool forward)
{
    ++u_revision;
    switch (e.kind) {
    case SEdit::MOVE:
        ApplyMove(e, forward);
        break;
    case SEdit::ELEMENT:
        for (size_t k = 0; k < e.atoms.size(); ++k)
            v_atom_index[e.atoms[k]] = forward ? e.element_after : e.element_before[k];
        EvalModel();
        break;
    case SEdit::DELETE:
        // Deleting keeps the other atoms' bonds, and undoing it puts the bonds back as they were.
        if (forward)
            RemoveAtoms(e);
        else
            InsertAtoms(e);
        return;
    case SEdit::ADD:
        if (forward)
            AppendAtom(e.element_after, e.after[0], NO_ATOM);
        else
            TruncateAtoms(e.atoms[0]);
        EvalModel();
        break;
    case SEdit::SUPERCELL:
        if (forward)
            Repeat(e);
        else {
            TruncateAtoms(e.count_before);
            SetCell(e.cell_before);
        }
        EvalModel();
        break;
    case SEdit::CENTER:
        // The display copy stays where it is; only the file frame moves.
        if (forward) {
            for (glm::dvec3 &p : v_real_xyz)
                p -= e.shift;
            v_file_origin = e.origin_before - e.shift;
        } else {
            v_real_xyz = e.frame_before;
            v_file_origin = e.origin_before;
        }
        is_centered = forward;
        center_xyz = forward ? glm::vec3(0.0f) : glm::vec3(e.origin_before);
        return;
    }
    UpdateBonds();
}

CModel::SEdit CModel::MoveEdit(const std::vector<uint32_t> &atoms, std::vector<glm::dvec3> after) const
{
    SEdit e(SEdit::MOVE);
    e.atoms = atoms;
    for (uint32_t u : atoms) {
        e.before.push_back(v_real_xyz[u]);
        e.drawn_before.push_back(v_float_raw_xyz[u]);
    }
    e.after = std::move(after);
    return e;
}

void CModel::ApplyMove(const SEdit &e, bool forward)
{
    if (e.is_frames_wrap)
        trajectory.SetWrapped(*Handler(file_format), forward);
    for (size_t k = 0; k < e.atoms.size(); ++k) {
        const uint32_t u = e.atoms[k];
        if (forward)
            PlaceAtom(u, e.after[k]);
        else {
            v_real_xyz[u] = e.before[k];
            v_float_raw_xyz[u] = e.drawn_before[k];
        }
    }
}

void CModel::PlaceAtom(uint32_t u, const glm::dvec3 &p)
{
    v_real_xyz[u] = p;
    v_float_raw_xyz[u] = glm::vec3(p - v_file_origin);
}

void CModel::RemoveAtoms(SEdit &e)
{
    std::vector<uint8_t> gone(AtomCount(), 0);
    for (uint32_t u : e.atoms)
        gone[u] = 1;
    RemoveBonds(e, gone);
    Compact(v_real_xyz, gone);
    Compact(v_float_raw_xyz, gone);
    Compact(v_atom_index, gone);
    Compact(v_atom_altloc, gone);
    Compact(v_atom_occupancy, gone);
    Compact(v_atom_hidden, gone);
    if (CStructureFile *file = Handler(file_format))
        Compact(file->v_atom_origin, gone);
    AfterCountChange();
}

void CModel::InsertAtoms(const SEdit &e)
{
    const size_t n = AtomCount() + e.atoms.size();
    std::vector<uint32_t> old_number;
    old_number.reserve(AtomCount());
    for (uint32_t u = 0, k = 0; u < n; ++u) {
        if (k < e.atoms.size() && e.atoms[k] == u)
            ++k;
        else
            old_number.push_back(u);
    }
    Expand(v_real_xyz, e.atoms, e.before, n);
    Expand(v_float_raw_xyz, e.atoms, e.drawn_before, n);
    Expand(v_atom_index, e.atoms, e.element_before, n);
    Expand(v_atom_altloc, e.atoms, e.altloc_before, n);
    Expand(v_atom_occupancy, e.atoms, e.occupancy_before, n);
    Expand(v_atom_hidden, e.atoms, e.hidden_before, n);
    if (CStructureFile *file = Handler(file_format))
        Expand(file->v_atom_origin, e.atoms, e.origin, n);
    InsertBonds(e, old_number);
    AfterCountChange();
}

// The bonds of the atoms that go are kept in the edit with their places; the others are
// renumbered in place.
void CModel::RemoveBonds(SEdit &e, const std::vector<uint8_t> &gone)
{
    std::vector<uint32_t> number(gone.size());
    for (uint32_t i = 0, next = 0; i < gone.size(); ++i)
        number[i] = gone[i] != 0 ? NO_ATOM : next++;
    e.bond_place.clear();
    e.bond_ends.clear();
    e.bond_length.clear();
    size_t w = 0;
    for (size_t k = 0; k < i_number_of_bonds; ++k) {
        const glm::uvec2 b = m_bond_indices[k];
        if (gone[b.x] != 0 || gone[b.y] != 0) {
            e.bond_place.push_back(k);
            e.bond_ends.push_back(b);
            e.bond_length.push_back(v_bond_length[k]);
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
    e.pbc_place.clear();
    e.pbc_bonds.clear();
    w = 0;
    for (size_t k = 0; k < m_bond_pbc.size(); ++k) {
        const CPeriodicBonds::SBond b = m_bond_pbc[k];
        if (gone[b.i] != 0 || gone[b.j] != 0) {
            e.pbc_place.push_back(k);
            e.pbc_bonds.push_back(b);
        } else
            m_bond_pbc[w++] = {number[b.i], number[b.j], b.image};
    }
    m_bond_pbc.resize(w);
    i_number_of_bonds_pbc = static_cast<uint32_t>(w);
}

// Merges the kept bonds, numbered as before the deletion, with the bonds that went, each at its
// old place.
void CModel::InsertBonds(const SEdit &e, const std::vector<uint32_t> &old_number)
{
    const size_t total = i_number_of_bonds + e.bond_place.size();
    m_bond_indices.resize(total);
    v_bond_length.resize(total);
    for (size_t w = total, r = i_number_of_bonds, k = e.bond_place.size(); w-- > 0;) {
        if (k > 0 && e.bond_place[k - 1] == w) {
            --k;
            m_bond_indices[w] = e.bond_ends[k];
            v_bond_length[w] = e.bond_length[k];
        } else {
            --r;
            const glm::uvec2 b = m_bond_indices[r];
            m_bond_indices[w] = glm::uvec2(old_number[b.x], old_number[b.y]);
            Take(v_bond_length, r, w);
        }
    }
    i_number_of_bonds = static_cast<uint32_t>(total);
    ForgetBondRecords();
    const size_t pbc_total = m_bond_pbc.size() + e.pbc_place.size();
    m_bond_pbc.resize(pbc_total);
    for (size_t w = pbc_total, r = pbc_total - e.pbc_place.size(), k = e.pbc_place.size(); w-- > 0;) {
        if (k > 0 && e.pbc_place[k - 1] == w)
            m_bond_pbc[w] = e.pbc_bonds[--k];
        else {
            const CPeriodicBonds::SBond b = m_bond_pbc[--r];
            m_bond_pbc[w] = {old_number[b.i], old_number[b.j], b.image};
        }
    }
    i_number_of_bonds_pbc = static_cast<uint32_t>(pbc_total);
}

// `like` names the atom whose conformer and visibility (and line, at a save) an image copies.
void CModel::AppendAtom(uint32_t idx, const glm::dvec3 &p, uint32_t like)
{
    if (!v_atom_altloc.empty())
        v_atom_altloc.push_back(like == NO_ATOM ? 0 : v_atom_altloc[like]);
    if (!v_atom_occupancy.empty())
        v_atom_occupancy.push_back(like == NO_ATOM ? 1.0 : v_atom_occupancy[like]);
    if (!v_atom_hidden.empty())
        v_atom_hidden.push_back(like == NO_ATOM ? 0 : v_atom_hidden[like]);
    if (CStructureFile *file = Handler(file_format))
        file->AddAtom(like);
    v_real_xyz.push_back(p);
    v_float_raw_xyz.emplace_back(p - v_file_origin);
    v_atom_index.push_back(idx);
}

void CModel::TruncateAtoms(size_t n)
{
    if (CStructureFile *file = Handler(file_format))
        while (file->v_atom_origin.size() > n)
            file->RemoveLastAtom();
    v_real_xyz.resize(n);
    v_float_raw_xyz.resize(n);
    v_atom_index.resize(n);
    if (!v_atom_altloc.empty())
        v_atom_altloc.resize(n);
    if (!v_atom_occupancy.empty())
        v_atom_occupancy.resize(n);
    if (!v_atom_hidden.empty())
        v_atom_hidden.resize(n);
}

// The copies in the order of ASE's Atoms.repeat: the first cell is the atoms as they are, then
// the translations with the last axis running fastest.
void CModel::Repeat(const SEdit &e)
{
    const size_t n = e.count_before;
    const size_t copies = static_cast<size_t>(e.repeat.x) * e.repeat.y * e.repeat.z;
    v_real_xyz.reserve(n * copies);
    v_float_raw_xyz.reserve(n * copies);
    v_atom_index.reserve(n * copies);
    for (int a = 0; a < e.repeat.x; ++a)
        for (int b = 0; b < e.repeat.y; ++b)
            for (int c = 0; c < e.repeat.z; ++c) {
                if (a == 0 && b == 0 && c == 0)
                    continue;
                const glm::dvec3 shift = e.cell_before * glm::dvec3(a, b, c);
                for (uint32_t i = 0; i < n; ++i)
                    AppendAtom(v_atom_index[i], v_real_xyz[i] + shift, i);
            }
    glm::dmat3 cell = e.cell_before;
    for (int a = 0; a < 3; ++a)
        cell[a] *= static_cast<double>(e.repeat[a]);
    SetCell(cell);
}

void CModel::SetCell(const glm::dmat3 &cell)
{
    m_cell_box = cell;
    if (CStructureFile *file = Handler(file_format))
        file->EditCell(cell);
}

void CModel::AfterCountChange()
{
    EvalModel();
    EvalCutRadius();
    SetGridBox();
    is_linked_list = false;
    assert(CheckInvariants().empty());
}

void CModel::EvalCutRadius()
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
void CModel::SetCells()
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

void CModel::SetNeighbourList()
{
    neighbor_cells_xyz.assign(std::begin(neighbor_cells), std::end(neighbor_cells));
    i_neighbor_cells = static_cast<int>(neighbor_cells_xyz.size());
    is_linked_cell = v_cell_side.y > 2;
}

void CModel::SetCellList()
{
    v_cell_head.clear();
    ReserveLarge(v_cell_head, u_cell_number);
    v_cell_head.assign(u_cell_number, -1);
    v_cell_list.assign(AtomCount(), 0);
}

void CModel::EvalLinkedList()
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
void CModel::EvalAtomicBonds()
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

unsigned CModel::SearchThreads(size_t atoms) const
{
    if (u_search_threads > 0)
        return u_search_threads;
    const size_t paying = std::max<size_t>(atoms / MIN_ATOMS_PER_THREAD, 1);
    return static_cast<unsigned>(std::min<size_t>(std::max(std::thread::hardware_concurrency(), 1u), paying));
}

void CModel::SearchRange(size_t begin, size_t end, bool by_cells, SBondBatch &out) const
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
CModel::SBondBatch CModel::TakeBondRecords()
{
    SBondBatch b{std::move(m_bond_indices), std::move(v_bond_length)};
    b.indices.clear();
    b.length.clear();
    return b;
}

void CModel::SBondBatch::Reserve(size_t bonds)
{
    indices.reserve(bonds);
    length.reserve(bonds);
}

// Each column of `b` is let go as soon as it is copied, so that a large join does not hold both
// copies of every column at once.
void CModel::SBondBatch::Append(SBondBatch &&b)
{
    indices.insert(indices.end(), b.indices.begin(), b.indices.end());
    std::vector<glm::uvec2>().swap(b.indices);
    length.insert(length.end(), b.length.begin(), b.length.end());
    std::vector<float>().swap(b.length);
    pairs += b.pairs;
}

// Joins the stretches, in order, into the model's stores.
void CModel::KeepBondRecords(std::vector<SBondBatch> &batches)
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
void CModel::FindPeriodicBonds()
{
    m_bond_pbc.clear();
    if (is_periodic)
        m_bond_pbc = CPeriodicBonds::Find(v_float_raw_xyz, m_cell_box, CellCorner(),
                                          static_cast<float>(BondReach(CellExtent(m_cell_box))),
                                          [this](uint32_t i, uint32_t j, float d2) { return Bonded(i, j, d2); },
                                          is_periodic_axis, SearchThreads(AtomCount()), &u_pairs_tested);
    i_number_of_bonds_pbc = static_cast<uint32_t>(m_bond_pbc.size());
}

void CModel::HalfBonds(std::vector<glm::vec3> &from, std::vector<glm::vec3> &to) const
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
void CModel::UpdateBonds()
{
    EvalCutRadius();
    is_linked_list = false;
    EvalAtomicBonds();
    assert(CheckInvariants().empty());
}

size_t CModel::AtomCount() const { return v_atom_index.size(); }

// The longest bond is sqrt(1.2) x r_cut_radius. The relative margin covers the rounding of the
// distance test; the one proportional to the grid's extent covers the rounding of the cell
// coordinates, which grows with the distance from the grid's corner.
double CModel::MinCellWidth() const
{
    double extent = 0.0;
    for (int a = 0; a < 3; ++a)
        if (std::isfinite(v_grid_size[a]))
            extent = std::max(extent, static_cast<double>(v_grid_size[a]));
    return BondReach(extent);
}

double CModel::BondReach(double extent) const
{
    return std::sqrt(1.2) * r_cut_radius * (1.0 + 1e-5) + extent * 1e-6;
}

void CModel::SetGridBox()
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
int CModel::CellCoordinate(float p, int axis) const
{
    const float u = (p - v_grid_min[axis]) * v_cell_frac[axis];
    if (!(u >= 0.0f))
        return 0;
    if (static_cast<double>(u) >= v_cell_side[axis])
        return v_cell_side[axis] - 1;
    return static_cast<int>(u);
}

void CModel::AppendBond(SBondBatch &out, uint32_t i, uint32_t j, float d2) const
{
    out.indices.emplace_back(i, j);
    out.length.push_back(std::sqrt(d2));
}

void CModel::EvalBondRecords()
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

void CModel::ForgetBondRecords()
{
    m_bond_xyz.clear();
    m_bond_ang.clear();
}

bool CModel::Apart(uint32_t i, uint32_t j, float d2) const
{
    if (OtherConformer(ConformerOf(i), ConformerOf(j)))
        return true;
    if (!(OccupancyOf(i) < 1.0 && OccupancyOf(j) < 1.0))
        return false;
    const float close = MIN_PARTIAL_BOND_SHARE * (AtomRadius(v_atom_index[i]) + AtomRadius(v_atom_index[j]));
    return d2 < close * close;
}

bool CModel::Bonded(uint32_t i, uint32_t j, float d2) const
{
    return !IsDummy(v_atom_index[i]) && !IsDummy(v_atom_index[j]) && !Apart(i, j, d2) &&
           BondLimit(AtomRadius(v_atom_index[i]), AtomRadius(v_atom_index[j])) > d2 &&
           d2 > MIN_BOND_DISTANCE_2;
}

// Every later atom; a pair exactly at the limit is bonded.
void CModel::SearchPairs(uint32_t i, SBondBatch &out) const
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
void CModel::SearchCells(uint32_t i, SBondBatch &out) const
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

// ---- load/save pipeline ---------------------------------------------------

CStructureFile *CModel::Handler(int fmt)
{
    return const_cast<CStructureFile *>(std::as_const(*this).Handler(fmt));
}

const CStructureFile *CModel::Handler(int fmt) const
{
    switch (fmt) {
    case INPUT_FILE_TYPE_XYZ:
        return &xyz;
    case INPUT_FILE_TYPE_VSP:
    case INPUT_FILE_TYPE_XDATCAR:
        return &vasp;
    case INPUT_FILE_TYPE_PDB:
        return &pdb;
    case INPUT_FILE_TYPE_CIF:
        return &cif;
    case INPUT_FILE_TYPE_CHGCAR:
        return &chgcar;
    case INPUT_FILE_TYPE_CUBE:
        return &cube;
    default:
        return nullptr;
    }
}

bool CModel::ReadStructureFile(std::string d, std::string f, int fmt)
{
    CStructureFile *reader = Handler(fmt);
    if (reader == nullptr) {
        error_message = "there is no reader for format " + std::to_string(fmt);
        return false;
    }
    if (!OpenFrames(f, fmt))
        return false;
    const bool read = trajectory.IsOpen() ? trajectory.ReadFrame(0, *reader, v_real_xyz, v_atom_index)
                                          : reader->ReadFile(d, f, v_real_xyz, v_atom_index);
    if (!read) {
        error_message = trajectory.IsOpen() ? trajectory.error_message : reader->error_message;
        trajectory.Close();
        return false;
    }
    file_format = fmt;
    for (int other : {INPUT_FILE_TYPE_XYZ, INPUT_FILE_TYPE_VSP, INPUT_FILE_TYPE_PDB, INPUT_FILE_TYPE_CIF,
                      INPUT_FILE_TYPE_CHGCAR, INPUT_FILE_TYPE_CUBE})
        if (Handler(other) != reader)
            Handler(other)->ForgetSource();
    v_atom_altloc.clear();
    v_atom_altloc.swap(reader->v_atom_altloc);
    v_atom_occupancy.clear();
    if (fmt == INPUT_FILE_TYPE_CIF)
        v_atom_occupancy = cif.v_occupancy;
    v_atom_hidden.clear();
    ++u_hidden_revision;
    is_periodic = reader->is_periodic;
    is_periodic_axis = reader->is_periodic_axis && glm::bvec3(is_periodic);
    if (is_periodic)
        m_cell_box = reader->cell_xyz;
    dmin_xyz = reader->GetMinCoordinate();
    dmax_xyz = reader->GetMaxCoordinate();
    min_xyz = glm::vec3(dmin_xyz);
    max_xyz = glm::vec3(dmax_xyz);
    v_float_raw_xyz.clear();
    ReserveLarge(v_float_raw_xyz, v_real_xyz.size());
    v_float_raw_xyz.assign(v_real_xyz.begin(), v_real_xyz.end());
    v_file_origin = glm::dvec3(0.0);
    SetModel();
    EvalModel();
    v_file_origin = glm::dvec3(center_xyz);
    ForgetHistory();
    MarkClean();
    error_message.clear();
    assert(CheckInvariants().empty());
    return true;
}

bool CModel::OpenFrames(const std::string &f, int fmt)
{
    // A failed read leaves the frames of the file shown as they are.
    CTrajectory frames;
    const bool xdatcar = fmt == INPUT_FILE_TYPE_XDATCAR;
    if (xdatcar || fmt == INPUT_FILE_TYPE_XYZ || fmt == INPUT_FILE_TYPE_PDB) {
        const bool indexed = frames.Open(f, xdatcar                      ? EFrameLayout::XDATCAR
                                            : fmt == INPUT_FILE_TYPE_XYZ ? EFrameLayout::XYZ
                                                                         : EFrameLayout::PDB);
        if (!indexed && xdatcar) {
            error_message = frames.error_message;
            return false;
        }
        // An XYZ or PDB file of one frame is read as a single structure, as it always was.
        if (indexed && !xdatcar && frames.FramesFound() < 2)
            frames.Close();
    }
    trajectory = std::move(frames);
    return true;
}

bool CModel::ShowFrame(uint64_t k)
{
    if (k == FrameShown())
        return true;
    CStructureFile *reader = Handler(file_format);
    if (!trajectory.IsOpen() || reader == nullptr) {
        error_message = "the structure has no frame " + std::to_string(k);
        return false;
    }
    trajectory.Remember(*reader, v_real_xyz, v_atom_index);
    if (!trajectory.ReadFrame(k, *reader, v_real_xyz, v_atom_index)) {
        error_message = trajectory.error_message;
        return false;
    }
    TakeFrame(*reader);
    error_message.clear();
    return true;
}

bool CModel::LastFramesEdit(uint64_t &frame) const
{
    for (size_t h = u_history_done; h > 0; --h) {
        const SEdit &e = v_history[h - 1];
        if (e.kind == SEdit::ELEMENT || e.kind == SEdit::DELETE || e.kind == SEdit::ADD || e.is_frames_wrap) {
            frame = e.frame;
            return true;
        }
    }
    return false;
}

void CModel::TakeFrame(const CStructureFile &reader)
{
    v_atom_altloc.clear();
    is_periodic = reader.is_periodic;
    is_periodic_axis = reader.is_periodic_axis && glm::bvec3(is_periodic);
    if (is_periodic)
        m_cell_box = reader.cell_xyz;
    v_float_raw_xyz.resize(v_real_xyz.size());
    for (size_t i = 0; i < v_real_xyz.size(); ++i)
        v_float_raw_xyz[i] = glm::vec3(v_real_xyz[i] - v_file_origin);
    EvalModel();
    UpdateBonds();
    ++u_revision;
}

// The format the structure was read with picks the writer, whatever `fmt` says.
bool CModel::SaveStructureFile(std::string d, std::string f, int, bool overwrite, bool all_frames)
{
    CStructureFile *writer = Handler(file_format);
    if (writer == nullptr) {
        error_message = "no structure has been read that could be saved";
        return false;
    }
    if (RefusedAsChanged(f, overwrite))
        return false;
    if (trajectory.IsOpen()) {
        trajectory.Remember(*writer, v_real_xyz, v_atom_index);
        if (all_frames ? !trajectory.Save(f) : !trajectory.SaveShown(f, *writer, v_real_xyz, v_atom_index)) {
            error_message = trajectory.error_message;
            return false;
        }
    } else if (!writer->SaveFile(d, f, v_real_xyz, v_atom_index)) {
        error_message = writer->error_message;
        return false;
    }
    MarkClean();
    error_message.clear();
    return true;
}

bool CModel::SaveStructureAs(std::string d, std::string f, int fmt, bool overwrite, bool all_frames)
{
    if (fmt == NO_FORMAT || fmt == file_format || Handler(file_format) == nullptr)
        return SaveStructureFile(d, f, fmt, overwrite, all_frames);
    // An mmCIF entry keeps its chains and residues in PDB.
    const bool is_entry = file_format == INPUT_FILE_TYPE_CIF && fmt == INPUT_FILE_TYPE_PDB && cif.is_macromolecular;
    std::unique_ptr<CStructureFile> writer = is_entry ? nullptr : NewHandler(fmt);
    if (!is_entry && writer == nullptr) {
        error_message = "there is no writer for format " + std::to_string(fmt);
        return false;
    }
    if (RefusedAsChanged(f, overwrite))
        return false;
    if (is_entry ? !cif.SaveEntryAsPdb(f, v_real_xyz, v_atom_index) : !SavePlain(*writer, d, f)) {
        error_message = is_entry ? cif.error_message : writer->error_message;
        return false;
    }
    error_message.clear();
    return true;
}

// Another format's plain file of the atoms and cell.
bool CModel::SavePlain(CStructureFile &writer, const std::string &d, const std::string &f)
{
    writer.is_periodic = is_periodic;
    writer.is_periodic_axis = is_periodic_axis;
    writer.cell_xyz = m_cell_box;
    return writer.SaveFile(d, f, v_real_xyz, v_atom_index);
}

bool CModel::RefusedAsChanged(const std::string &f, bool overwrite)
{
    is_changed_on_disk = !overwrite && ChangedOnDisk(f);
    if (is_changed_on_disk)
        error_message = "the file has changed on disk since it was read";
    return is_changed_on_disk;
}

bool CModel::ChangedOnDisk(const std::string &f) const
{
    if (trajectory.IsOpen())
        return trajectory.ChangedOnDisk(f);
    const CStructureFile *file = Handler(file_format);
    return file != nullptr && file->ChangedOnDisk(f);
}

bool CModel::SavesInPlace() const
{
    const CStructureFile *file = Handler(file_format);
    return file == nullptr || file->SavesInPlace();
}

CMeasure CModel::Measurer() const { return is_periodic ? CMeasure(m_cell_box, is_periodic_axis) : CMeasure(); }

std::unique_ptr<CStructureFile> CModel::NewHandler(int fmt)
{
    switch (fmt) {
    case INPUT_FILE_TYPE_XYZ:
        return std::make_unique<CXyz>();
    case INPUT_FILE_TYPE_VSP:
        return std::make_unique<CVasp>();
    case INPUT_FILE_TYPE_PDB:
        return std::make_unique<CPdb>();
    case INPUT_FILE_TYPE_CIF:
        return std::make_unique<CCif>();
    default:
        return nullptr;
    }
}

void CModel::SetNewCoordinates(uint32_t u, glm::vec3 &v3)
{
    MoveAtom(u, glm::dvec3(v3) + v_file_origin);
}

void CModel::MoveAtom(uint32_t u, const glm::dvec3 &p)
{
    if (u < AtomCount())
        Record(MoveEdit({u}, {p}));
}

void CModel::MoveAtoms(const std::vector<uint32_t> &atoms, const glm::dvec3 &shift)
{
    const std::vector<uint32_t> valid = ValidAtoms(atoms);
    if (valid.empty())
        return;
    std::vector<glm::dvec3> after;
    after.reserve(valid.size());
    for (uint32_t u : valid)
        after.push_back(v_real_xyz[u] + shift);
    Record(MoveEdit(valid, std::move(after)));
}

// Moves the file-frame coordinates so that the centre of the bounding box read is the origin;
// the display coordinates are centred on that point already.
void CModel::CenterZero()
{
    if (!is_centered) {
        SEdit e(SEdit::CENTER);
        e.shift = (dmin_xyz + dmax_xyz) * 0.5;
        e.origin_before = v_file_origin;
        e.frame_before = v_real_xyz;
        Record(std::move(e));
    }
}
