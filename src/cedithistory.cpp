#include "cedithistory.h"

#include "elements.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace {

// A supercell beyond this many atoms is refused: its atoms and bonds would not fit in memory.
constexpr uint64_t MAX_SUPERCELL_ATOMS = 50000000;

bool FinitePosition(const glm::dvec3 &p)
{
    for (int k = 0; k < 3; ++k)
        if (!(std::fabs(p[k]) <= CStructureFile::MAX_COORDINATE))
            return false;
    return true;
}

} // namespace

void CEditHistory::SetElement(uint32_t num, uint32_t idx) { SetElements({num}, idx); }

void CEditHistory::SetElements(const std::vector<uint32_t> &atoms, uint32_t idx)
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

void CEditHistory::DeleteAtomIndex(uint32_t u) { DeleteAtoms({u}); }

void CEditHistory::DeleteAtoms(const std::vector<uint32_t> &atoms)
{
    SEdit e(SEdit::DELETE);
    e.atoms = ValidAtoms(atoms);
    if (e.atoms.empty())
        return;
    e.removed = Saved(e.atoms);
    if (const CStructureFile *file = Handler(file_format))
        for (uint32_t u : e.atoms)
            if (u < file->v_atom_origin.size())
                e.origin.push_back(file->v_atom_origin[u]);
    Record(std::move(e));
}

bool CEditHistory::AddAtom(uint32_t idx, const glm::dvec3 &p, std::string &why)
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

bool CEditHistory::MakeSupercell(const glm::ivec3 &n, std::string &why)
{
    if (!is_periodic || FrameCount() > 1) {
        why = is_periodic ? "a trajectory cannot be made a supercell: its frames keep the atoms read"
                          : "the structure has no periodic cell to repeat";
        return false;
    }
    const CStructureFile *file = Handler(file_format);
    why = file != nullptr ? file->WhyNoSupercell() : std::string();
    if (!why.empty())
        return false;
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

bool CEditHistory::IsExtentStep(bool is_undo) const
{
    if (is_undo ? !CanUndo() : !CanRedo())
        return false;
    const SEdit &e = v_history[is_undo ? u_history_done - 1 : u_history_done];
    return e.kind == SEdit::SUPERCELL || e.is_wrap;
}

int CEditHistory::SupercellsInEffect() const
{
    return static_cast<int>(std::count_if(v_history.begin(), v_history.begin() + static_cast<long>(u_history_done),
                                          [](const SEdit &e) { return e.kind == SEdit::SUPERCELL; }));
}

glm::ivec3 CEditHistory::SupercellRepeat() const
{
    glm::ivec3 n(1);
    for (size_t k = 0; k < u_history_done; ++k)
        if (v_history[k].kind == SEdit::SUPERCELL)
            n *= v_history[k].repeat;
    return n;
}

// Fractional coordinates in [0, 1) along each periodic axis (a slab keeps its height); the
// cell's origin is the file frame's. In a trajectory the frames with the same atoms follow.
bool CEditHistory::WrapIntoCell()
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
    e.is_wrap = true;
    e.is_frames_wrap = trajectory.IsOpen() && file != nullptr && !trajectory.IsWrapped(*file);
    if (!atoms.empty() || e.is_frames_wrap)
        Record(std::move(e));
    return true;
}
void CEditHistory::Record(SEdit e)
{
    e.frame = FrameShown();
    v_history.erase(v_history.begin() + static_cast<long>(u_history_done), v_history.end());
    if (u_history_clean > u_history_done)
        u_history_clean = NO_CLEAN_POINT;
    v_history.push_back(std::move(e));
    ++u_history_done;
    Apply(v_history.back(), true);
}

bool CEditHistory::ShowFrameOf(const SEdit &e) { return e.frame == FrameShown() || ShowFrame(e.frame); }

bool CEditHistory::Undo()
{
    if (!CanUndo() || !ShowFrameOf(v_history[u_history_done - 1]))
        return false;
    Apply(v_history[--u_history_done], false);
    return true;
}

bool CEditHistory::Redo()
{
    if (!CanRedo() || !ShowFrameOf(v_history[u_history_done]))
        return false;
    Apply(v_history[u_history_done++], true);
    return true;
}

void CEditHistory::MarkClean()
{
    u_history_clean = u_history_done;
}

void CEditHistory::ForgetHistory()
{
    v_history.clear();
    u_history_done = u_history_clean = 0;
}

void CEditHistory::Apply(SEdit &e, bool forward)
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
            AppendFileAtom(e.element_after, e.after[0], NO_ATOM);
        else
            TruncateFileAtoms(e.atoms[0]);
        EvalModel();
        break;
    case SEdit::SUPERCELL:
        if (forward)
            Repeat(e);
        else {
            TruncateFileAtoms(e.count_before);
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

CEditHistory::SEdit CEditHistory::MoveEdit(const std::vector<uint32_t> &atoms, std::vector<glm::dvec3> after) const
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

void CEditHistory::ApplyMove(const SEdit &e, bool forward)
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

void CEditHistory::RemoveAtoms(SEdit &e)
{
    std::vector<uint8_t> gone(AtomCount(), 0);
    for (uint32_t u : e.atoms)
        gone[u] = 1;
    RemoveBonds(e.bonds, gone);
    CompactAtoms(gone);
    if (CStructureFile *file = Handler(file_format))
        AtomLists::Compact(file->v_atom_origin, gone);
    AfterCountChange();
}

void CEditHistory::InsertAtoms(const SEdit &e)
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
    ExpandAtoms(e.atoms, e.removed);
    if (CStructureFile *file = Handler(file_format))
        AtomLists::Expand(file->v_atom_origin, e.atoms, e.origin, n);
    InsertBonds(e.bonds, old_number);
    AfterCountChange();
}

// `like` names the atom whose conformer and visibility (and line, at a save) an image copies.
void CEditHistory::AppendFileAtom(uint32_t idx, const glm::dvec3 &p, uint32_t like)
{
    if (CStructureFile *file = Handler(file_format))
        file->AddAtom(like);
    AppendAtom(idx, p, like);
}

void CEditHistory::TruncateFileAtoms(size_t n)
{
    if (CStructureFile *file = Handler(file_format))
        while (file->v_atom_origin.size() > n)
            file->RemoveLastAtom();
    TruncateAtoms(n);
}

void CEditHistory::Repeat(const SEdit &e)
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
                    AppendFileAtom(v_atom_index[i], v_real_xyz[i] + shift, i);
            }
    glm::dmat3 cell = e.cell_before;
    for (int a = 0; a < 3; ++a)
        cell[a] *= static_cast<double>(e.repeat[a]);
    SetCell(cell);
}

void CEditHistory::SetCell(const glm::dmat3 &cell)
{
    m_cell_box = cell;
    if (CStructureFile *file = Handler(file_format))
        file->EditCell(cell, file->cell_xyz);
}
bool CEditHistory::LastFramesEdit(uint64_t &frame) const
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

void CEditHistory::SetNewCoordinates(uint32_t u, glm::vec3 &v3)
{
    MoveAtom(u, glm::dvec3(v3) + v_file_origin);
}

void CEditHistory::MoveAtom(uint32_t u, const glm::dvec3 &p)
{
    if (u < AtomCount())
        Record(MoveEdit({u}, {p}));
}

void CEditHistory::MoveAtoms(const std::vector<uint32_t> &atoms, const glm::dvec3 &shift)
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

// The display coordinates are centred on the new origin already.
void CEditHistory::CenterZero()
{
    if (!is_centered) {
        SEdit e(SEdit::CENTER);
        e.shift = (dmin_xyz + dmax_xyz) * 0.5;
        e.origin_before = v_file_origin;
        e.frame_before = v_real_xyz;
        Record(std::move(e));
    }
}
