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

// VASP POSCAR/CONTCAR: comment, scale factor, lattice vectors, species and counts (species
// from the POTCAR beside the file when the symbol line is missing), optional selective
// dynamics, then positions in fractional ("Direct") or Cartesian coordinates. Always periodic.
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
    // Per atom: its species, its fractional coordinates as read (Direct files) and its flags
    // (selective dynamics); kept in step with deletions by DeleteAtom.
    std::vector<uint32_t> v_atom_type;
    std::vector<glm::dvec3> v_fract_xyz;
    std::vector<Dyn> v_dynamics;

    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    bool SaveFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    // Appends the species named by the VRHFIN lines of d/POTCAR to v_table_index.
    void ReadPotcar(std::string d);
    void DeleteAtom(unsigned int i);

private:
    friend class CStructureFile;
    bool Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &index);
    bool NextHeaderLine(CTextFile &file, std::string_view &line, const char *expected);
    bool ReadScale(std::string_view line);
    bool ReadLattice(CTextFile &file);
    bool ReadSpecies(CTextFile &file, const std::string &d);
    bool ReadCounts(std::string_view line, uint32_t n);
    bool ReadMode(CTextFile &file);
    bool ReadAtoms(CTextFile &file, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    bool ReadFlags(std::string_view rest, uint32_t n);
    glm::dvec3 Cartesian(const glm::dvec3 &fract) const { return cell_xyz * fract; }
    glm::dvec3 FileCoordinates(size_t i, const glm::dvec3 &p, const glm::dmat3 &inverse) const;
    void RebuildSpecies(const std::vector<uint32_t> &index);
    std::vector<size_t> SpeciesOrder() const;
};

#endif
