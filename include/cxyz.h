#ifndef CXYZ_H
#define CXYZ_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

#include "cstructurefile.h"

// Plain XYZ: the atom count, a comment line that may carry the cell (Cell="ax ay az bx by bz
// cx cy cz"), then one line per atom with its element symbol and x, y, z in angstrom.
class CXyz : public CStructureFile {
public:
    // The comment line of the file read, without its cell text; saving writes it back.
    std::string comment;

    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    bool SaveFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;

private:
    friend class CStructureFile;
    bool Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &index);
    bool ReadCount(CTextFile &file, uint32_t &count);
    bool ReadComment(std::string_view line, uint32_t n);
    bool ReadCell(std::string_view line, size_t at, uint32_t n);
    bool ReadAtoms(CTextFile &file, uint32_t count, std::vector<glm::dvec3> &xyz,
                   std::vector<uint32_t> &index);
    void AppendCommentLine(std::string &text) const;
};

#endif
