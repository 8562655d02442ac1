#ifndef CCHGCAR_H
#define CCHGCAR_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "cvasp.h"
#include "cvolumetricfile.h"

// VASP volumetric files (CHGCAR, CHG, PARCHG, AECCAR, LOCPOT, ELFCAR): the structure as a
// POSCAR, a blank line, the grid counts NX NY NZ and NX*NY*NZ values, x fastest. Each further
// block starts at the next line that repeats the counts (augmentation occupancies or per-atom
// moments may come first). Charge-like files hold rho times the cell volume, kept as electrons
// per cubic angstrom, their blocks the density and then the magnetisation (one block of a
// spin-polarised run, mx, my, mz of a non-collinear one); LOCPOT (eV) and ELFCAR values are kept
// as they stand, their blocks named by their order. The file is mapped, never copied, and never
// written back: the structure is saved in another format.
class CChgcar : public CVolumetricFile<CVasp> {
public:
    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;

    // The grid counts of a line that holds exactly three whole numbers from 1 up.
    static bool GridCounts(std::string_view line, glm::uvec3 &counts);

private:
    friend class CStructureFile;
    const char *KindName() const override { return "VASP volumetric file"; }
    // Whether the values are rho times the cell volume (not a LOCPOT or an ELFCAR).
    bool is_charge = true;

    bool Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &index);
    bool ReadGridCounts(CTextFile &lines);
    bool ReadBlocks(std::string_view text, CTextFile &lines);
    void NameBlocks();
};

#endif
