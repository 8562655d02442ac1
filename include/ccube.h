#ifndef CCUBE_H
#define CCUBE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

#include "cstructurefile.h"
#include "cvolumetricfile.h"

// Gaussian cube files: two comment lines; the atom count and the origin; per axis the point
// count and the voxel vector (a positive first count means bohr for every length, a negative
// one angstrom); one line per atom (atomic number, charge, position); with a negative atom count
// a line of orbital indices, the orbital then running fastest; then the values, z fastest.
// Voxel vectors may be oblique. The grid is taken as periodic over the cell it spans, which is
// the structure's cell. The file is mapped, never copied, and never written back.
class CCube : public CVolumetricFile<CStructureFile> {
public:
    static constexpr double BOHR = 0.529177210903;

    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;

private:
    friend class CStructureFile;
    const char *KindName() const override { return "cube file"; }
    // Angstrom per unit of the file's lengths.
    double unit = BOHR;
    long long i_atoms = 0;
    // The orbital indices of an orbital cube, in file order; empty for one block of values.
    std::vector<long long> v_orbitals;

    bool Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &index);
    bool NextLine(CTextFile &file, std::string_view &line, const char *expected);
    bool ReadOrigin(CTextFile &file);
    bool ReadAxes(CTextFile &file);
    bool ReadAtoms(CTextFile &file, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    bool ReadOrbitals(CTextFile &file);
    bool ReadValues(std::string_view text, CTextFile &file);
    bool ReadCount(std::string_view &rest, long long &n, uint32_t line, const char *what);

    bool ParseText(const std::string &text, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index) override
    {
        return ParseAs<CCube>(text, xyz, index);
    }
    bool RewriteAtomLine(std::string_view, const SAtomEdit &, std::string &) override { return false; }
    void AddedAtomLine(const SAtomEdit &, std::string &) override {}
};

#endif
