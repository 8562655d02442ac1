#include "ceditjournal.h"

#include <numeric>

void CEditJournal::AddAtom(uint32_t model_atom)
{
    const uint32_t from = model_atom < v_atom_origin.size() ? RecordOf(v_atom_origin[model_atom]) : NO_TEMPLATE;
    v_atom_origin.push_back(static_cast<uint32_t>(u_atoms_read + v_added_template.size()));
    v_added_template.push_back(from);
}

void CEditJournal::RemoveLastAtom()
{
    if (!v_atom_origin.empty())
        v_atom_origin.pop_back();
    if (!v_added_template.empty())
        v_added_template.pop_back();
}

void CEditJournal::EditCell(const glm::dmat3 &cell, const glm::dmat3 &read)
{
    edited_cell = cell;
    is_cell_edited = cell != read;
}

uint32_t CEditJournal::RecordOf(uint32_t origin) const
{
    if (origin < u_atoms_read)
        return origin;
    const size_t added = origin - u_atoms_read;
    return added < v_added_template.size() ? v_added_template[added] : NO_TEMPLATE;
}

void CEditJournal::Restart(size_t atoms_read)
{
    Clear();
    u_atoms_read = static_cast<uint32_t>(atoms_read);
    v_atom_origin.resize(atoms_read);
    std::iota(v_atom_origin.begin(), v_atom_origin.end(), 0u);
}

void CEditJournal::Clear()
{
    std::vector<uint32_t>().swap(v_atom_origin);
    std::vector<uint32_t>().swap(v_added_template);
    is_cell_edited = false;
    u_atoms_read = 0;
}
