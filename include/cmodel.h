#ifndef CMODEL_H
#define CMODEL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "ctimer.h"
#include "cxyz.h"
#include "cvasp.h"
#include "cpdb.h"
#include "ccif.h"
#include "cchgcar.h"
#include "ccube.h"
#include "cperiodicbonds.h"
#include "ctrajectory.h"
#include "measure.h"

// Structure file formats; the "Input Format" combo lists those of the format table.
inline constexpr unsigned int INPUT_FILE_TYPE_XYZ = 0;
inline constexpr unsigned int INPUT_FILE_TYPE_VSP = 1;
inline constexpr unsigned int INPUT_FILE_TYPE_PDB = 2;
inline constexpr unsigned int INPUT_FILE_TYPE_GAU = 3;
inline constexpr unsigned int INPUT_FILE_TYPE_DLP = 4;
inline constexpr unsigned int INPUT_FILE_TYPE_ZMT = 5;
inline constexpr unsigned int INPUT_FILE_TYPE_XDATCAR = 6;
inline constexpr unsigned int INPUT_FILE_TYPE_CIF = 7;
inline constexpr unsigned int INPUT_FILE_TYPE_CHGCAR = 8;
inline constexpr unsigned int INPUT_FILE_TYPE_CUBE = 9;
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
    // The frames of a file that has more than one (open only then); the handler of the format
    // holds the frame shown.
    CTrajectory trajectory;
    CCif cif;
    // Volumetric files: their structure, and the grid beside it.
    CChgcar chgcar;
    CCube cube;
    int file_format = INPUT_FILE_TYPE_UNKNOWN;
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
    bool is_periodic = false;
    // The axes a periodic structure repeats along (extended XYZ's pbc="T T F" is a slab); all
    // three unless the file says otherwise. Only counts while is_periodic.
    glm::bvec3 is_periodic_axis{true};
    // The last save was refused because the file had changed on disk since it was read.
    bool is_changed_on_disk = false;
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
    // Per bond, its middle and direction (azimuth, polar angle) for drawing: made from the atoms
    // by EvalBondRecords when first asked for, empty until then, since loading and kivoa-info
    // need only the bonds themselves.
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
    // A save onto the file read (or last saved) that another program has changed since is
    // refused with is_changed_on_disk set, unless `overwrite` says to write it anyway.
    bool ReadStructureFile(std::string d, std::string f, int fmt);
    // A file of frames is saved whole unless `all_frames` is unset; then only the frame shown
    // is written.
    bool SaveStructureFile(std::string d, std::string f, int fmt, bool overwrite = false,
                           bool all_frames = true);
    // Saves in format `fmt`: the format read (or NO_FORMAT) writes back the file read with the
    // edits; another format gets that format's plain file of the atoms and cell (of the frame
    // shown). The structure stays the one read from its own file.
    bool SaveStructureAs(std::string d, std::string f, int fmt, bool overwrite = false,
                         bool all_frames = true);
    // Whether `f` is the file read (or last saved) and another program has changed it since.
    bool ChangedOnDisk(const std::string &f) const;
    // Whether a save may rewrite the file read with the edits (not for a CIF: see CCif).
    bool SavesInPlace() const;
    // Measurements to the nearest image along the periodic axes.
    CMeasure Measurer() const;
    // Frames of the file read (1 for a single structure) and the one shown, from 0.
    uint64_t FrameCount() const { return trajectory.IsOpen() ? trajectory.FrameCount() : 1; }
    uint64_t FrameShown() const { return trajectory.IsOpen() ? trajectory.Shown() : 0; }
    // Shows frame k with the edits made to it; the view (its centre and box) stays.
    bool ShowFrame(uint64_t k);
    // The frame of the last deletion, element change, added atom or wrap in effect, which acts on
    // every frame with the same atoms; false when there is none.
    bool LastFramesEdit(uint64_t &frame) const;
    // A fresh reader/writer of a format code (for writing another format than the one read);
    // none for the codes without one.
    static std::unique_ptr<CStructureFile> NewHandler(int fmt);
    // The model's reader/writer of a format code; none for the codes without one.
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
    // The atoms of element idx, ascending.
    static std::vector<uint32_t> AtomsOfElement(const std::vector<uint32_t> &index, uint32_t idx);
    // What the model's own data breaks of its rules (sizes in step, element indices in the
    // table, bonds between atoms that exist); empty when nothing.
    std::string CheckInvariants() const;
    void CenterView();
    void CenterZero();
    void SetInverseCell();

    // Edits. Each is kept in the history as one step, so that it can be undone and redone. The
    // atom lists name atoms by their number now; out-of-range and repeated numbers are ignored.
    // Moves atom u to v3 (display coordinates) and its file-frame position with it.
    void SetNewCoordinates(uint32_t u, glm::vec3 &v3);
    // Moves atom u to p, given in the file's frame (exactly as a save writes it).
    void MoveAtom(uint32_t u, const glm::dvec3 &p);
    // Moves the atoms by `shift` (file frame, angstrom).
    void MoveAtoms(const std::vector<uint32_t> &atoms, const glm::dvec3 &shift);
    void SetElement(uint32_t num, uint32_t idx);
    void SetElements(const std::vector<uint32_t> &atoms, uint32_t idx);
    void DeleteAtomIndex(uint32_t u);
    // Deletes the atoms in one pass: the others keep their order and their bonds.
    void DeleteAtoms(const std::vector<uint32_t> &atoms);
    // Appends an atom of element idx at p (file frame); false (why says why) when idx is no
    // element, p is not a finite position or the structure is a trajectory, whose frames keep the
    // atoms read.
    bool AddAtom(uint32_t idx, const glm::dvec3 &p, std::string &why);
    // Repeats a periodic structure n.x x n.y x n.z times (1 to 20 each) along its cell vectors,
    // the copies after the atoms in the order of ASE's Atoms.repeat; false (why says why) when
    // refused, as it is for a trajectory.
    bool MakeSupercell(const glm::ivec3 &n, std::string &why);
    static constexpr int MAX_SUPERCELL = 20;
    // Supercells in effect: the structure shown is then a new one, to be saved under a new name.
    int SupercellsInEffect() const;
    glm::ivec3 SupercellRepeat() const;
    // Moves every atom of a periodic structure into the cell along its periodic axes; false when
    // the structure is not periodic. No step is kept when no atom moves.
    bool WrapIntoCell();
    bool CanUndo() const { return u_history_done > 0; }
    bool CanRedo() const { return u_history_done < v_history.size(); }
    // Steps back or forward through the edits; false when there is none.
    bool Undo();
    bool Redo();
    // True when the edits in effect are those of the last load or save (the history's clean
    // point): nothing is unsaved.
    bool IsUpdated() const { return u_history_done == u_history_clean; }

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

    // Linked cells and bonds.
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
    // Where the cell's origin (the file frame's origin) lies in display coordinates.
    glm::vec3 CellCorner() const { return glm::vec3(-v_file_origin); }
    // Re-derives the grid and the bonds from the current display coordinates after an edit,
    // without re-centring.
    void UpdateBonds();

private:
    // One edit, with what undoing it exactly needs.
    struct SEdit {
        enum EKind { MOVE, ELEMENT, DELETE, ADD, CENTER, SUPERCELL } kind;
        explicit SEdit(EKind k) : kind(k) {}
        // The frame shown when the edit was made; undo and redo show it again.
        uint64_t frame = 0;
        // The atoms edited, ascending (for ADD the new atom), and per atom what it was before:
        // its element, its place (file frame and drawn) and, for a deleted atom, the atom read it
        // is, its conformer, occupancy and whether it was hidden.
        std::vector<uint32_t> atoms;
        std::vector<uint32_t> element_before;
        std::vector<glm::dvec3> before, after;
        std::vector<glm::vec3> drawn_before;
        std::vector<uint32_t> origin;
        std::vector<uint8_t> altloc_before, hidden_before;
        std::vector<double> occupancy_before;
        uint32_t element_after = 0;
        // MOVE: a wrap that also wraps the other frames with the same atoms.
        bool is_frames_wrap = false;
        // DELETE: the bonds that went with the atoms, with their places in the bond lists.
        std::vector<size_t> bond_place, pbc_place;
        std::vector<glm::uvec2> bond_ends;
        std::vector<float> bond_length;
        std::vector<CPeriodicBonds::SBond> pbc_bonds;
        // CENTER: the shift and the file frame it replaced (every atom moves); SUPERCELL: the
        // repeats, and the atom count and cell before.
        glm::dvec3 shift{0.0}, origin_before{0.0};
        std::vector<glm::dvec3> frame_before;
        glm::ivec3 repeat{1};
        uint32_t count_before = 0;
        glm::dmat3 cell_before{1.0};
    };
    static constexpr size_t NO_CLEAN_POINT = ~size_t(0);
    std::vector<SEdit> v_history;
    // Edits in effect, and how many were in effect at the last load or save.
    size_t u_history_done = 0;
    size_t u_history_clean = 0;
    std::vector<uint8_t> v_atom_hidden;

    // Refuses (with the reason) a save onto a file changed on disk, unless `overwrite`.
    bool RefusedAsChanged(const std::string &f, bool overwrite);
    bool SavePlain(CStructureFile &writer, const std::string &d, const std::string &f);
    void Record(SEdit e);
    bool ShowFrameOf(const SEdit &e);
    // Opens `f` as frames when its format holds them and it has more than one.
    bool OpenFrames(const std::string &f, int fmt);
    // Takes the atoms and cell of a frame just read into the model, keeping the view.
    void TakeFrame(const CStructureFile &reader);
    void Apply(SEdit &e, bool forward);
    void MarkClean();
    void ForgetHistory();
    // The bond records no longer fit the atoms or bonds: made again when next asked for.
    void ForgetBondRecords();
    void PlaceAtom(uint32_t u, const glm::dvec3 &p);
    // Sorted atom numbers without repeats or atoms that are not there.
    std::vector<uint32_t> ValidAtoms(std::vector<uint32_t> atoms) const;
    SEdit MoveEdit(const std::vector<uint32_t> &atoms, std::vector<glm::dvec3> after) const;
    void ApplyMove(const SEdit &e, bool forward);
    void RemoveAtoms(SEdit &e);
    void InsertAtoms(const SEdit &e);
    void RemoveBonds(SEdit &e, const std::vector<uint8_t> &gone);
    void InsertBonds(const SEdit &e, const std::vector<uint32_t> &old_number);
    void AppendAtom(uint32_t idx, const glm::dvec3 &p, uint32_t like);
    void TruncateAtoms(size_t n);
    void Repeat(const SEdit &e);
    void SetCell(const glm::dmat3 &cell);
    // The composition and the grid after atoms went or came back; the bonds stay as they are.
    void AfterCountChange();

    // The box the linked-cell grid covers: the padded box of the coordinates searched, which at
    // load time is the drawn box; after an edit the drawn box stays as loaded.
    glm::vec3 v_grid_min{0.0f};
    glm::vec3 v_grid_size{0.0f};

    size_t AtomCount() const;
    double MinCellWidth() const;
    // The longest possible bond with a margin for the rounding of coordinates spread over
    // `extent` angstrom.
    double BondReach(double extent) const;
    void SetGridBox();
    int CellCoordinate(float p, int axis) const;
    uint8_t ConformerOf(size_t i) const { return i < v_atom_altloc.size() ? v_atom_altloc[i] : 0; }
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
    double OccupancyOf(size_t i) const { return i < v_atom_occupancy.size() ? v_atom_occupancy[i] : 1.0; }
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
