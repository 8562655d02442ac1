#ifndef CATOMS_H
#define CATOMS_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "measure.h"

// The atoms of the structure shown: their elements and places (in the file's frame and as drawn),
// the per-atom extras a file may give, which are hidden, the composition, the cell and the box
// they span. The lowest layer of the model.
class CAtoms {
public:
    virtual ~CAtoms() = default;

    std::vector<uint32_t> v_table_index;
    std::vector<uint32_t> v_table_atoms;
    bool is_periodic = false;
    // The axes a periodic structure repeats along (extended XYZ's pbc="T T F" is a slab); all
    // three unless the file says otherwise. Only counts while is_periodic.
    glm::bvec3 is_periodic_axis{true};
    bool is_centered = false;
    glm::vec3 v_box_size{0.0f};
    glm::vec3 v_box_middle{0.0f};
    glm::dmat3 m_cell_box{1.0};
    glm::vec3 min_xyz{0.0f}, max_xyz{0.0f};
    glm::dvec3 dmin_xyz{0.0}, dmax_xyz{0.0};
    glm::vec3 center_xyz{0.0f};
    std::vector<glm::vec3> v_float_raw_xyz;
    std::vector<glm::dvec3> v_real_xyz;
    std::vector<uint32_t> v_atom_index;
    // Per atom, its conformer (alternate-location letter), 0 for none; empty when the file has
    // none. Atoms of two different conformers never bond.
    std::vector<uint8_t> v_atom_altloc;
    // Per atom, its site occupancy; empty when the file gives none. Two partially occupied
    // atoms closer than a bond allows are alternatives of one site and never bond.
    std::vector<double> v_atom_occupancy;
    // The display origin in the file's frame: display coordinates + v_file_origin = file
    // coordinates.
    glm::dvec3 v_file_origin{0.0};

    // Counts the changes to the atoms and bonds (loads, edits, undo and redo), so that a view of
    // them knows when it is out of date.
    uint64_t u_revision = 0;

    // The composition (v_table_index, v_table_atoms) of the atoms; checks the model in debug builds.
    void EvalModel();
    // Elements in order of first appearance and how many atoms each has.
    static void Composition(const std::vector<uint32_t> &index, std::vector<uint32_t> &elements,
                            std::vector<uint32_t> &counts);
    // The atoms of element idx, ascending.
    static std::vector<uint32_t> AtomsOfElement(const std::vector<uint32_t> &index, uint32_t idx);
    // What the model's own data breaks of its rules (sizes in step, element indices in the
    // table, bonds between atoms that exist); empty when nothing. Each layer adds its own rules.
    virtual std::string CheckInvariants() const;
    // Measurements to the nearest image along the periodic axes.
    CMeasure Measurer() const;
    // Where the cell's origin (the file frame's origin) lies in display coordinates.
    glm::vec3 CellCorner() const { return glm::vec3(-v_file_origin); }

    // Hidden atoms are a view setting, not an edit: they are not drawn, picked or bonded in the
    // view, and are still saved. Kept in step with the atoms through every edit.
    void SetHidden(const std::vector<uint32_t> &atoms, bool is_hidden);
    void ShowAll()
    {
        v_atom_hidden.clear();
        ++u_hidden_revision;
    }
    bool IsHidden(size_t i) const { return i < v_atom_hidden.size() && v_atom_hidden[i] != 0; }
    // Per atom, 1 when hidden; empty when none is.
    const std::vector<uint8_t> &Hidden() const { return v_atom_hidden; }
    // Counts the changes of what is hidden.
    uint64_t u_hidden_revision = 0;

protected:
    static constexpr uint32_t NO_ATOM = 0xFFFFFFFFu;

    // What the atoms that went held, per atom in ascending order, so that they can be put back.
    struct SAtomsRemoved {
        std::vector<glm::dvec3> place;
        std::vector<glm::vec3> drawn;
        std::vector<uint32_t> element;
        std::vector<uint8_t> altloc, hidden;
        std::vector<double> occupancy;
    };

    std::vector<uint8_t> v_atom_hidden;

    size_t AtomCount() const;
    // Sorted atom numbers without repeats or atoms that are not there.
    std::vector<uint32_t> ValidAtoms(std::vector<uint32_t> atoms) const;
    uint8_t ConformerOf(size_t i) const { return i < v_atom_altloc.size() ? v_atom_altloc[i] : 0; }
    double OccupancyOf(size_t i) const { return i < v_atom_occupancy.size() ? v_atom_occupancy[i] : 1.0; }
    void PlaceAtom(uint32_t u, const glm::dvec3 &p);
    // What the atoms `atoms` (ascending) hold, before they go.
    SAtomsRemoved Saved(const std::vector<uint32_t> &atoms) const;
    // Drops the atoms marked in `gone`, keeping the order of the others.
    void CompactAtoms(const std::vector<uint8_t> &gone);
    // Puts the atoms `atoms` (ascending places in the list as it was) back with what they held.
    void ExpandAtoms(const std::vector<uint32_t> &atoms, const SAtomsRemoved &saved);
    // Appends an atom of element idx at p; `like` names the atom whose conformer, occupancy and
    // visibility it copies (NO_ATOM: none).
    void AppendAtom(uint32_t idx, const glm::dvec3 &p, uint32_t like);
    void TruncateAtoms(size_t n);
};

// Per-atom list operations that keep an empty list (no conformers, nothing hidden) empty.
namespace AtomLists {

// Drops the entries of the atoms that are gone, keeping the order of the others.
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
// stand for default ones.
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

} // namespace AtomLists

#endif
