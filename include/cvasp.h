#ifndef CVASP_H
#define CVASP_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

#include "cstructurefile.h"

// Selective-dynamics flags of one atom for x, y and z as they stand in the file (T or F).
struct Dyn {
    char d[3];
};

// VASP POSCAR/CONTCAR: comment, scale factor (a negative one is the cell volume), lattice
// vectors, species and counts (species from the POTCAR beside the file when the symbol line is
// missing, else from the comment line when it names one per count), optional selective
// dynamics, then positions in fractional ("Direct") or Cartesian coordinates, optionally
// followed by a blank line and one velocity line per atom. Always periodic.
// Saving writes the file read back (atoms not read from a VASP file get a plain POSCAR): species are runs of atoms in file order, so an atom given
// another element splits its run and atoms are never reordered.
class CVasp : public CStructureFile {
public:
    double parameter = 1.0;
    // The file has a line of element symbols.
    bool is_extended = false;
    bool is_direct = false;
    bool is_dynamics = false;
    // The lines read up to and including the first position line, as read.
    std::vector<std::string> header_info;
    // Per species, in file order: element index and atom count.
    std::vector<uint32_t> v_table_index;
    std::vector<uint32_t> v_table_atoms;
    // Per atom read: its species, its fractional coordinates (Direct files) and its flags
    // (selective dynamics).
    std::vector<uint32_t> v_atom_type;
    std::vector<glm::dvec3> v_fract_xyz;
    std::vector<Dyn> v_dynamics;
    // The species line's fields as read (labels such as Fe_pv), and the counts as read.
    std::vector<std::string> v_species_label;
    std::vector<uint32_t> v_species_atoms;
    // Line numbers (from 1) of the symbol line (0 when none), the counts line and the first
    // velocity line (0 when the file has no velocities).
    uint32_t u_species_line = 0;
    uint32_t u_counts_line = 0;
    uint32_t u_velocity_line = 0;

    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    bool SaveFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    // Appends the species named by the VRHFIN lines of d/POTCAR to v_table_index.
    void ReadPotcar(std::string d);

protected:
    bool Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &index);

private:
    friend class CStructureFile;
    bool ParseText(const std::string &text, std::vector<glm::dvec3> &xyz,
                   std::vector<uint32_t> &index) override
    {
        return ParseAs<CVasp>(text, xyz, index);
    }
    bool NextHeaderLine(CTextFile &file, std::string_view &line, const char *expected);
    bool ReadScale(std::string_view line);
    bool ReadLattice(CTextFile &file);
    bool ReadSpecies(CTextFile &file, const std::string &d);
    void SpeciesFromComment(size_t wanted);
    bool ReadCounts(std::string_view line, uint32_t n);
    bool ReadMode(CTextFile &file);
    bool ReadAtoms(CTextFile &file, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    // Position lines, as many as `lines` holds; the species follow from the line numbers.
    EPiece ReadLines(CTextFile &lines, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    auto AtomVectors() { return std::tie(v_source_line, v_atom_type, v_fract_xyz, v_dynamics); }
    bool ReadFlags(std::string_view rest, uint32_t n);
    void FindVelocities(CTextFile &file);
    glm::dvec3 Cartesian(const glm::dvec3 &fract) const { return cell_xyz * fract; }

    bool SaveFresh(const std::string &f, const std::vector<glm::dvec3> &xyz,
                   const std::vector<uint32_t> &index);
    void PrepareRewrite(const std::vector<SAtomEdit> &edits) override;
    bool RewriteAtomLine(std::string_view line, const SAtomEdit &edit, std::string &out) override;
    bool RewriteOtherLine(std::string_view line, uint32_t n, std::string &out) override;
    void AddedAtomLine(const SAtomEdit &added, std::string &out) override;
    bool CellMovesAtoms() const override { return is_direct; }
    glm::dvec3 FileCoordinates(const glm::dvec3 &p) const;
    void RewriteLattice(std::string_view line, uint32_t n, std::string &out) const;
    void AppendZeroVelocities(std::string_view like, bool is_line_kept, std::string &out) const;

    // What a save writes: the runs of species (labels and counts) and which atoms read are gone.
    std::vector<std::string> v_run_label;
    std::vector<std::string> v_run_count;
    std::vector<bool> v_source_deleted;
    bool is_runs_changed = false;
    bool is_species_added = false;
    std::string SpeciesLabel(size_t s) const;
    glm::dmat3 m_inverse_cell{1.0};
    // How far a moved atom's written coordinate may be from its own, in the file's units.
    double position_tolerance = MOVED_ERROR;
    // Line number of the first position line.
    uint32_t u_first_atom_line = 0;
};

#endif
