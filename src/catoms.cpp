#include "catoms.h"

#include "elements.h"

#include <algorithm>
#include <unordered_map>

void CAtoms::EvalModel()
{
    Composition(v_atom_index, v_table_index, v_table_atoms);
}

void CAtoms::Composition(const std::vector<uint32_t> &index, std::vector<uint32_t> &elements,
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

std::vector<uint32_t> CAtoms::AtomsOfElement(const std::vector<uint32_t> &index, uint32_t idx)
{
    std::vector<uint32_t> atoms;
    for (size_t i = 0; i < index.size(); ++i)
        if (index[i] == idx)
            atoms.push_back(static_cast<uint32_t>(i));
    return atoms;
}

std::string CAtoms::CheckInvariants() const
{
    const size_t n = v_atom_index.size();
    if (v_real_xyz.size() != n || v_float_raw_xyz.size() != n)
        return "positions and elements differ in number";
    for (size_t i = 0; i < n; ++i)
        if (v_atom_index[i] >= periodic_table_atoms)
            return "atom " + std::to_string(i) + " has no element";
    if (!v_atom_hidden.empty() && v_atom_hidden.size() != n)
        return "the hidden atoms are out of step with the atoms";
    return {};
}

CMeasure CAtoms::Measurer() const { return is_periodic ? CMeasure(m_cell_box, is_periodic_axis) : CMeasure(); }

void CAtoms::SetHidden(const std::vector<uint32_t> &atoms, bool is_hidden)
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

size_t CAtoms::AtomCount() const { return v_atom_index.size(); }

std::vector<uint32_t> CAtoms::ValidAtoms(std::vector<uint32_t> atoms) const
{
    std::sort(atoms.begin(), atoms.end());
    atoms.erase(std::unique(atoms.begin(), atoms.end()), atoms.end());
    atoms.erase(std::lower_bound(atoms.begin(), atoms.end(), static_cast<uint32_t>(AtomCount())), atoms.end());
    return atoms;
}

void CAtoms::PlaceAtom(uint32_t u, const glm::dvec3 &p)
{
    v_real_xyz[u] = p;
    v_float_raw_xyz[u] = glm::vec3(p - v_file_origin);
}

CAtoms::SAtomsRemoved CAtoms::Saved(const std::vector<uint32_t> &atoms) const
{
    SAtomsRemoved s;
    const size_t n = atoms.size();
    s.place.reserve(n);
    s.drawn.reserve(n);
    s.element.reserve(n);
    for (uint32_t u : atoms) {
        s.place.push_back(v_real_xyz[u]);
        s.drawn.push_back(v_float_raw_xyz[u]);
        s.element.push_back(v_atom_index[u]);
        if (!v_atom_altloc.empty())
            s.altloc.push_back(v_atom_altloc[u]);
        if (!v_atom_occupancy.empty())
            s.occupancy.push_back(v_atom_occupancy[u]);
        if (!v_atom_hidden.empty())
            s.hidden.push_back(v_atom_hidden[u]);
    }
    return s;
}

void CAtoms::CompactAtoms(const std::vector<uint8_t> &gone)
{
    AtomLists::Compact(v_real_xyz, gone);
    AtomLists::Compact(v_float_raw_xyz, gone);
    AtomLists::Compact(v_atom_index, gone);
    AtomLists::Compact(v_atom_altloc, gone);
    AtomLists::Compact(v_atom_occupancy, gone);
    AtomLists::Compact(v_atom_hidden, gone);
}

void CAtoms::ExpandAtoms(const std::vector<uint32_t> &atoms, const SAtomsRemoved &saved)
{
    const size_t n = AtomCount() + atoms.size();
    AtomLists::Expand(v_real_xyz, atoms, saved.place, n);
    AtomLists::Expand(v_float_raw_xyz, atoms, saved.drawn, n);
    AtomLists::Expand(v_atom_index, atoms, saved.element, n);
    AtomLists::Expand(v_atom_altloc, atoms, saved.altloc, n);
    AtomLists::Expand(v_atom_occupancy, atoms, saved.occupancy, n);
    AtomLists::Expand(v_atom_hidden, atoms, saved.hidden, n);
}

void CAtoms::AppendAtom(uint32_t idx, const glm::dvec3 &p, uint32_t like)
{
    if (!v_atom_altloc.empty())
        v_atom_altloc.push_back(like == NO_ATOM ? 0 : v_atom_altloc[like]);
    if (!v_atom_occupancy.empty())
        v_atom_occupancy.push_back(like == NO_ATOM ? 1.0 : v_atom_occupancy[like]);
    if (!v_atom_hidden.empty())
        v_atom_hidden.push_back(like == NO_ATOM ? 0 : v_atom_hidden[like]);
    v_real_xyz.push_back(p);
    v_float_raw_xyz.emplace_back(p - v_file_origin);
    v_atom_index.push_back(idx);
}

void CAtoms::TruncateAtoms(size_t n)
{
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
