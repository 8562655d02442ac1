#ifndef CXYZ_H
#define CXYZ_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

#include "cstructurefile.h"

// XYZ: the atom count, a comment line that may carry the cell (Cell="ax ay az bx by bz cx cy
// cz", or extended XYZ's Lattice="..." with pbc= and Properties= naming the columns of the
// species and the positions), then one line per atom with its element symbol and x, y, z in
// angstrom. With pbc= only the axes marked T repeat. Lines after the atoms (later frames) are kept for saving but not read.
class CXyz : public CStructureFile {
public:
    // The comment line of the file read, without its Cell text.
    std::string comment;
    // Columns (white-space separated fields, from 0) of the symbol and of x (y, z follow).
    uint32_t u_species_column = 0;
    uint32_t u_position_column = 1;
    // Column of the atomic numbers (extended XYZ's Z or numbers), kept in step with re-typed
    // atoms; NO_COLUMN when the file has none.
    static constexpr uint32_t NO_COLUMN = 0xFFFFFFFFu;
    uint32_t u_number_column = NO_COLUMN;

    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    bool SaveFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;

private:
    friend class CStructureFile;
    bool ParseText(const std::string &text, std::vector<glm::dvec3> &xyz,
                   std::vector<uint32_t> &index) override
    {
        return ParseAs<CXyz>(text, xyz, index);
    }
    bool Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &index);
    bool ReadCount(CTextFile &file, uint32_t &count);
    void ReadComment(std::string_view line);
    bool ReadCell(std::string_view line, size_t at);
    bool TakeCell(std::string_view &text, bool whole);
    bool ReadLattice(std::string_view line);
    void ReadProperties(std::string_view line);
    bool ReadAtom(std::string_view line, uint32_t n, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index);
    bool ReadAtoms(CTextFile &file, uint32_t count, std::vector<glm::dvec3> &xyz,
                   std::vector<uint32_t> &index);
    // Atom lines, as many as `lines` holds.
    EPiece ReadLines(CTextFile &lines, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    bool SaveFresh(const std::string &f, const std::vector<glm::dvec3> &xyz,
                   const std::vector<uint32_t> &index);
    void AppendCommentLine(std::string &text) const;
    static void AppendCellNumbers(std::string &text, const glm::dmat3 &cell);
    void RewriteCell(std::string_view line, std::string &out);
    void AddedAtomLine(const SAtomEdit &added, std::string &out) override;
    bool RewriteAtomLine(std::string_view line, const SAtomEdit &edit, std::string &out) override;
    bool RewriteOtherLine(std::string_view line, uint32_t n, std::string &out) override;
};

#endif
