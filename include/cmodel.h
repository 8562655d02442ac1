#ifndef CMODEL_H
#define CMODEL_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "ctimer.h"
#include "cxyz.h"
#include "cvasp.h"
#include "cpdb.h"
#include "ccif.h"
#include "cperiodicbonds.h"

// Structure file formats; the "Input Format" combo lists those of the format table.
inline constexpr unsigned int INPUT_FILE_TYPE_XYZ = 0;
inline constexpr unsigned int INPUT_FILE_TYPE_VSP = 1;
inline constexpr unsigned int INPUT_FILE_TYPE_PDB = 2;
inline constexpr unsigned int INPUT_FILE_TYPE_GAU = 3;
inline constexpr unsigned int INPUT_FILE_TYPE_DLP = 4;
inline constexpr unsigned int INPUT_FILE_TYPE_ZMT = 5;
inline constexpr unsigned int INPUT_FILE_TYPE_CIF = 6;
inline constexpr unsigned int INPUT_FILE_TYPE_UNKNOWN = 100;

// Offsets of a cell and its 26 neighbours, in the order the cell search visits them.
inline const glm::ivec3 neighbor_cells[27] = {
    {0, 0, 0},    {1, 0, 0},   {1, 1, 0},   {0, 1, 0},   {-1, 1, 0},   {0, 0, 1},   {1, 0, 1},
    {-1, 0, 1},   {1, 1, 1},   {0, 1, 1},   {-1, 1, 1},  {-1, -1, 1},  {0, -1, 1},  {1, -1, 1},
    {0, 0, -1},   {1, 0, -1},  {-1, 0, -1}, {1, 1, -1},  {0, 1, -1},   {-1, 1, -1}, {-1, -1, -1},
    {0, -1, -1},  {1, -1, -1}, {-1, 0, 0},  {-1, -1, 0}, {0, -1, 0},   {1, -1, 0},
};

// The one loaded structure: atoms, cell, composition, linked-cell grid and bonds.
class CModel {
public:
    CModel();

    std::vector<uint32_t> v_table_index;
    std::vector<uint32_t> v_table_atoms;
    CXyz xyz;
    CVasp vasp;
    CPdb pdb;
    CCif cif;
    int file_format = INPUT_FILE_TYPE_UNKNOWN;
    int i_neighbor_cells = 0;
    uint32_t u_cell_number = 0;
    uint32_t i_number_of_bonds = 0;
    uint32_t i_number_of_bonds_pbc = 0;
    bool is_linked_cell = false;
    bool is_bond_eval = false;
    bool is_updated = true;
    bool is_periodic = false;
    bool is_linked_list = false;
    bool is_centered = false;
    float max_radius = 0.0f;
    float r_cut_radius = 0.0f;
    float r_cut_radius_2 = 0.0f;
    glm::vec3 v_cell_frac{0.0f};
    glm::vec3 v_box_size{0.0f};
    glm::vec3 v_box_middle{0.0f};
    glm::dmat3 m_cell_box{1.0};
    glm::ivec3 v_cell_side{0};
    std::vector<int> v_cell_head;
    std::vector<int> v_cell_list;
    std::vector<glm::ivec3> neighbor_cells_xyz;
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
    std::vector<uint32_t> v_bond_table, v_bond_number;
    std::vector<float> v_bond_length;
    std::vector<glm::vec3> m_bond_xyz;
    std::vector<glm::vec2> m_bond_ang;
    std::vector<glm::uvec2> m_bond_indices;
    // Bonds across the cell boundary of a periodic structure (i_number_of_bonds_pbc of them).
    std::vector<CPeriodicBonds::SBond> m_bond_pbc;
    CTimer timer;

    // Counts the changes to the atoms and bonds (loads, edits, undo and redo), so that a view of
    // them knows when it is out of date.
    uint64_t u_revision = 0;
    // Why the last ReadStructureFile or SaveStructureFile failed; empty after a success.
    std::string error_message;

    // Load/save pipeline. A failed read leaves the model as it was; saving writes the
    // coordinates in the file's own frame (v_real_xyz), with the format the file was read with.
    bool ReadStructureFile(std::string d, std::string f, int fmt);
    bool SaveStructureFile(std::string d, std::string f, int fmt);
    // The reader/writer of a format code; none for the codes without one.
    CStructureFile *Handler(int fmt);
    const CStructureFile *Handler(int fmt) const;
    // The display origin in the file's frame: display coordinates + v_file_origin = file
    // coordinates.
    glm::dvec3 v_file_origin{0.0};

    // Load-time model.
    void SetModel();
    // The composition (v_table_index, v_table_atoms) of the atoms; checks the model in debug builds.
    void EvalModel();
    // Elements in order of first appearance and how many atoms each has.
    static void Composition(const std::vector<uint32_t> &index, std::vector<uint32_t> &elements,
                            std::vector<uint32_t> &counts);
    // What the model's own data breaks of its rules (sizes in step, element indices in the
    // table, bonds between atoms that exist); empty when nothing.
    std::string CheckInvariants() const;
    void CenterView();
    void CenterZero();
    void SetInverseCell();

    // Edits. Each is kept in the history, so that it can be undone and redone.
    // Moves atom u to v3 (display coordinates) and its file-frame position with it.
    void SetNewCoordinates(uint32_t u, glm::vec3 &v3);
    // Moves atom u to p, given in the file's frame (exactly as a save writes it).
    void MoveAtom(uint32_t u, const glm::dvec3 &p);
    void SetElement(uint32_t num, uint32_t idx);
    void DeleteAtomIndex(uint32_t u);
    bool CanUndo() const { return u_history_done > 0; }
    bool CanRedo() const { return u_history_done < v_history.size(); }
    // Steps back or forward through the edits; false when there is none. Coming back to the
    // point of the last load or save clears is_updated's unsaved state.
    bool Undo();
    bool Redo();

    // Linked cells and bonds.
    void EvalCutRadius();
    void SetCells();
    void SetNeighbourList();
    void SetCellList();
    void EvalLinkedList();
    void EvalAtomicBonds();
    // The drawn halves of the bonds across the cell boundary: from each atom to the cell face,
    // two segments per bond (display coordinates).
    void HalfBonds(std::vector<glm::vec3> &from, std::vector<glm::vec3> &to) const;
    // Where the cell's origin (the file frame's origin) lies in display coordinates.
    glm::vec3 CellCorner() const { return glm::vec3(-v_file_origin); }
    // Re-derives the grid and the bonds from the current display coordinates after an edit,
    // without re-centring.
    void UpdateBonds();

private:
    // One edit, with what undoing it exactly needs: the atom, its element and position before
    // and after (a deleted atom's, and which atom read it was), or for "(0,0,0)" its shift and
    // the file frame it replaced (every atom moves, so it keeps every position).
    struct SEdit {
        enum EKind { MOVE, ELEMENT, DELETE, CENTER } kind;
        SEdit(EKind k, uint32_t a) : kind(k), atom(a) {}
        uint32_t atom = 0;
        uint32_t element_before = 0, element_after = 0;
        uint32_t origin = 0;
        uint8_t altloc_before = 0;
        double occupancy_before = 1.0;
        glm::dvec3 before{0.0}, after{0.0};
        glm::vec3 drawn_before{0.0f};
        std::vector<glm::dvec3> frame_before;
    };
    static constexpr size_t NO_CLEAN_POINT = ~size_t(0);
    std::vector<SEdit> v_history;
    // Edits in effect, and how many were in effect at the last load or save.
    size_t u_history_done = 0;
    size_t u_history_clean = 0;

    void Record(const SEdit &e);
    void Apply(const SEdit &e, bool forward);
    void MarkClean();
    void ForgetHistory();
    void PlaceAtom(uint32_t u, const glm::dvec3 &p);
    void RemoveAtom(uint32_t u);
    void InsertAtom(const SEdit &e);

    // The box the linked-cell grid covers: the padded box of the coordinates searched, which at
    // load time is the drawn box; after an edit the drawn box stays as loaded.
    glm::vec3 v_grid_min{0.0f};
    glm::vec3 v_grid_size{0.0f};

    size_t AtomCount() const;
    double MinCellWidth() const;
    void SetGridBox();
    int CellCoordinate(float p, int axis) const;
    uint8_t ConformerOf(size_t i) const { return i < v_atom_altloc.size() ? v_atom_altloc[i] : 0; }
    double OccupancyOf(size_t i) const { return i < v_atom_occupancy.size() ? v_atom_occupancy[i] : 1.0; }
    // Atoms that may not bond whatever their distance allows: other conformers, or alternatives
    // of one partially occupied site.
    bool Apart(uint32_t i, uint32_t j, float d2) const;
    void AppendBond(uint32_t i, uint32_t j, float d2);
    // The bond rule of the cell search: no dummy atoms, no two atoms Apart, within the radii's
    // limit and not on top of each other.
    bool Bonded(uint32_t i, uint32_t j, float d2) const;
    void FindPeriodicBonds();

    void SearchPairs(uint32_t i);
    void SearchCells(uint32_t i);
};

#endif
