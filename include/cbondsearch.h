#ifndef CBONDSEARCH_H
#define CBONDSEARCH_H

#include <cstdint>
#include <vector>
#include <glm/glm.hpp>

#include "catoms.h"
#include "cperiodicbonds.h"

// Offsets of a cell and its 26 neighbours, in the order the cell search visits them.
inline const glm::ivec3 neighbor_cells[27] = {
    {0, 0, 0},    {1, 0, 0},   {1, 1, 0},   {0, 1, 0},   {-1, 1, 0},   {0, 0, 1},   {1, 0, 1},
    {-1, 0, 1},   {1, 1, 1},   {0, 1, 1},   {-1, 1, 1},  {-1, -1, 1},  {0, -1, 1},  {1, -1, 1},
    {0, 0, -1},   {1, 0, -1},  {-1, 0, -1}, {1, 1, -1},  {0, 1, -1},   {-1, 1, -1}, {-1, -1, -1},
    {0, -1, -1},  {1, -1, -1}, {-1, 0, 0},  {-1, -1, 0}, {0, -1, 0},   {1, -1, 0},
};

// The bonds of the atoms: the linked-cell grid, the threaded search within it and across the
// cell boundary, and the bond records drawn.
class CBondSearch : public CAtoms {
public:
    int i_neighbor_cells = 0;
    uint32_t u_cell_number = 0;
    uint32_t i_number_of_bonds = 0;
    uint32_t i_number_of_bonds_pbc = 0;
    // Atom pairs the last bond search compared, within the cell and across its boundary.
    uint64_t u_pairs_tested = 0;
    // Threads the bond search runs on; 0 lets it take the cores when the structure is large
    // enough to pay for them. The bonds and their order are the same whatever the count.
    unsigned u_search_threads = 0;
    bool is_linked_cell = false;
    bool is_bond_eval = false;
    bool is_linked_list = false;
    float max_radius = 0.0f;
    float r_cut_radius = 0.0f;
    float r_cut_radius_2 = 0.0f;
    glm::vec3 v_cell_frac{0.0f};
    glm::ivec3 v_cell_side{0};
    std::vector<int> v_cell_head;
    std::vector<int> v_cell_list;
    std::vector<glm::ivec3> neighbor_cells_xyz;
    std::vector<uint32_t> v_bond_table, v_bond_number;
    std::vector<float> v_bond_length;
    // Per bond, its middle and direction (azimuth, polar angle) for drawing: made from the atoms
    // by EvalBondRecords when first asked for, empty until then, since loading and kivoa-info
    // need only the bonds themselves.
    std::vector<glm::vec3> m_bond_xyz;
    std::vector<glm::vec2> m_bond_ang;
    std::vector<glm::uvec2> m_bond_indices;
    // Bonds across the cell boundary of a periodic structure (i_number_of_bonds_pbc of them).
    std::vector<CPeriodicBonds::SBond> m_bond_pbc;

    // Load-time model: the padded box, the grid and the bonds of the coordinates just read, then
    // centred on the box.
    void SetModel();
    std::string CheckInvariants() const override;
    void CenterView();
    void SetInverseCell();

    void EvalCutRadius();
    void SetCells();
    void SetNeighbourList();
    void SetCellList();
    void EvalLinkedList();
    void EvalAtomicBonds();
    // Makes m_bond_xyz and m_bond_ang for the bonds, unless they are made already.
    void EvalBondRecords();
    // The drawn halves of the bonds across the cell boundary: from each atom to the cell face,
    // two segments per bond (display coordinates).
    void HalfBonds(std::vector<glm::vec3> &from, std::vector<glm::vec3> &to) const;
    // Re-derives the grid and the bonds from the current display coordinates after an edit,
    // without re-centring.
    void UpdateBonds();

protected:
    // The bonds that went with deleted atoms, with their places in the bond lists.
    struct SBondsRemoved {
        std::vector<size_t> bond_place, pbc_place;
        std::vector<glm::uvec2> bond_ends;
        std::vector<float> bond_length;
        std::vector<CPeriodicBonds::SBond> pbc_bonds;
    };

    // The bond records no longer fit the atoms or bonds: made again when next asked for.
    void ForgetBondRecords();
    // Drops the bonds of the atoms marked in `gone` into `removed` and renumbers the others as
    // the atoms will be after they go.
    void RemoveBonds(SBondsRemoved &removed, const std::vector<uint8_t> &gone);
    // Puts the removed bonds back; `old_number` maps each kept atom to its number before.
    void InsertBonds(const SBondsRemoved &removed, const std::vector<uint32_t> &old_number);
    // The composition and the grid after atoms went or came back; the bonds stay as they are.
    void AfterCountChange();

private:
    // The box the linked-cell grid covers: the padded box of the coordinates searched, which at
    // load time is the drawn box; after an edit the drawn box stays as loaded.
    glm::vec3 v_grid_min{0.0f};
    glm::vec3 v_grid_size{0.0f};

    double MinCellWidth() const;
    // The longest possible bond with a margin for the rounding of coordinates spread over
    // `extent` angstrom.
    double BondReach(double extent) const;
    void SetGridBox();
    int CellCoordinate(float p, int axis) const;
    // The bond records of one stretch of atoms, found by one thread.
    struct SBondBatch {
        std::vector<glm::uvec2> indices;
        std::vector<float> length;
        uint64_t pairs = 0; // atom pairs compared
        void Reserve(size_t bonds);
        void Append(SBondBatch &&b);
    };
    void AppendBond(SBondBatch &out, uint32_t i, uint32_t j, float d2) const;
    unsigned SearchThreads(size_t atoms) const;
    void SearchRange(size_t begin, size_t end, bool by_cells, SBondBatch &out) const;
    SBondBatch TakeBondRecords();
    void KeepBondRecords(std::vector<SBondBatch> &batches);
    // Atoms that may not bond whatever their distance allows: other conformers, or alternatives
    // of one partially occupied site.
    bool Apart(uint32_t i, uint32_t j, float d2) const;
    // The bond rule of the cell search: no dummy atoms, no two atoms Apart, within the radii's
    // limit and not on top of each other.
    bool Bonded(uint32_t i, uint32_t j, float d2) const;
    void FindPeriodicBonds();

    void SearchPairs(uint32_t i, SBondBatch &out) const;
    void SearchCells(uint32_t i, SBondBatch &out) const;
};

#endif
