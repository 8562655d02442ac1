#ifndef CEDITJOURNAL_H
#define CEDITJOURNAL_H

#include <cstdint>
#include <vector>
#include <glm/glm.hpp>

// What a file's writer needs to know of the edits beyond the atoms' places and elements: which
// atom read each atom of the model is, which atom read an added atom copies (a supercell's image
// carries everything its atom had in the file), and the cell an edit made. One journal serves the
// save of a single structure and the save of every frame of a file of frames alike: a frame read
// again takes the journal of the edits made to its atoms whole.
class CEditJournal {
public:
    static constexpr uint32_t NO_TEMPLATE = 0xFFFFFFFFu;

    // Per atom of the model: the atom read that it is, or for an atom added since the read,
    // u_atoms_read + its place in v_added_template. Follows the model's edits.
    std::vector<uint32_t> v_atom_origin;
    // Per atom added since the read: the atom read whose record it copies (a supercell's image of
    // it), or NO_TEMPLATE for a new atom, written in the layout of the last atom read.
    std::vector<uint32_t> v_added_template;
    // The cell a save writes when an edit (a supercell) changed it; is_cell_edited is false while
    // the cell is the one read.
    glm::dmat3 edited_cell{1.0};
    bool is_cell_edited = false;

    // The model appended an atom made from atom `model_atom` of its own (a supercell's image), or
    // a new one (NO_TEMPLATE). An image of an atom added earlier copies that atom's template.
    // RemoveLastAtom undoes that.
    void AddAtom(uint32_t model_atom);
    void RemoveLastAtom();
    // The model's cell is now `cell` (a supercell, or its undo) where `read` was read.
    void EditCell(const glm::dmat3 &cell, const glm::dmat3 &read);
    // The atom read whose record atom `origin` copies: itself for an atom read, its template for
    // an added one (NO_TEMPLATE for a new atom).
    uint32_t RecordOf(uint32_t origin) const;
    uint32_t AtomsRead() const { return u_atoms_read; }
    // The journal of a structure just read: each atom is the one read, nothing added or changed.
    void Restart(size_t atoms_read);
    void Clear();

private:
    uint32_t u_atoms_read = 0;
};

#endif
