#ifndef CCIFREADER_H
#define CCIFREADER_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

namespace gemmi {
struct Structure;
}

// Reading a CIF's data block into atoms: the block chosen, its cell, its sites expanded by the
// block's own symmetry; a macromolecular block is handed to MmcifEntry. CCif keeps the result.
namespace CifReader {

// Tags the reader and the P1 writer share.
inline const char *const LENGTH_TAGS[3] = {"_cell_length_a", "_cell_length_b", "_cell_length_c"};
inline const char *const ANGLE_TAGS[3] = {"_cell_angle_alpha", "_cell_angle_beta", "_cell_angle_gamma"};
inline const char *const FRACT_TAGS[3] = {"_atom_site_fract_x", "_atom_site_fract_y", "_atom_site_fract_z"};
inline const char *const CARTN_TAGS[3] = {"_atom_site_Cartn_x", "_atom_site_Cartn_y", "_atom_site_Cartn_z"};

// Atoms of one element closer than this (angstrom, nearest image) are one atom. Coordinates
// rounded to three decimals put the images of one place up to about 1e-3 of a cell length apart
// (0.0025 angstrom in graphite, 0.03 in a 30-angstrom cell); split disorder sites stand 0.3
// angstrom apart or more.
constexpr double MERGE_DISTANCE = 0.05;

// A reason to refuse the file, with the line it concerns (0 when none).
struct SBadCif {
    uint32_t line;
    std::string reason;
};

// What a file gives, before it becomes the handler's.
struct SRead {
    std::vector<std::string> block_names;
    // Per block: its _chemical_formula_sum, else its mineral, common or systematic name; empty
    // when it gives none.
    std::vector<std::string> block_titles;
    std::string block_name;
    bool is_macromolecular = false;
    glm::dmat3 cell{1.0};
    bool is_periodic = false;
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> index;
    std::vector<std::string> label;
    std::vector<double> occupancy;
    std::vector<uint8_t> group;
    std::string symmetry = "none";
    size_t operations = 1;
    // Atoms dropped as lying within MERGE_DISTANCE of an earlier one of their element.
    size_t merged = 0;
    std::shared_ptr<const gemmi::Structure> entry;
};

// Reads the block `wanted` (letters in any case), else the first with atom sites, of `text`
// into `r`; false with `bad` saying why.
bool Read(const std::string &text, const std::string &wanted, SRead &r, SBadCif &bad);

// Throws SBadCif when a coordinate lies beyond CStructureFile::MAX_COORDINATE.
void CheckPosition(const glm::dvec3 &p, uint32_t line);

// See CCif::ElementOfSite and CCif::CellOfParameters.
uint32_t ElementOfSite(std::string_view type_symbol, std::string_view label);
glm::dmat3 CellOfParameters(const glm::dvec3 &lengths, const glm::dvec3 &angles);

} // namespace CifReader

#endif
