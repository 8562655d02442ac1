#ifndef CCIF_H
#define CCIF_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

#include "cstructurefile.h"

namespace gemmi {
struct Structure;
}

// Crystallographic Information Files. One data block is read: the one asked for
// (block_wanted), else the first with atom sites. A small-molecule block gives its cell and
// its sites, expanded by the block's own symmetry (its operations, else its Hall symbol, else
// its space-group name, else its number, else none: P1), wrapped into the cell; atoms of one
// element closer than CifReader::MERGE_DISTANCE are one, whichever sites they came from (the
// first is kept, and `notice` says how many went). A macromolecular block
// (mmCIF) is read as a PDB entry: the first model, every alternate location.
// A CIF is never written back in place, since that would expand its symmetry behind the
// user's back: a save writes a fresh P1 file, and refuses the very file that was read.
class CCif : public CStructureFile {
public:
    // The data block to read by name (letters in any case); empty for the first with atoms.
    std::string block_wanted;

    // Of the file read: the name of the block read and of every block, in file order.
    std::string block_name;
    std::vector<std::string> v_block_names;
    // Per block, what it is: its formula or a name (empty when it gives none).
    std::vector<std::string> v_block_titles;
    // "5910079  Fe2 O3": a block's name with what it is, for a list of the blocks.
    std::string BlockEntry(size_t k) const;
    // Where the expansion's operations came from ("operations", "Hall symbol", "space-group
    // name", "space-group number", "none") and how many there were.
    std::string symmetry_source;
    uint32_t u_operations = 1;
    // Atoms merged into an earlier one of their element at the same place.
    uint32_t u_merged = 0;
    // What the user should be told about a read that succeeded (no symmetry found, atoms
    // merged); empty when nothing.
    std::string notice;
    bool is_macromolecular = false;
    // Per atom read: its site label (each image of a site keeps it), and its occupancy (empty
    // when the file gives none).
    std::vector<std::string> v_label;
    std::vector<double> v_occupancy;

    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    // Writes the atoms as a P1 CIF: cell, identity operation, labels, type symbols, fractional
    // coordinates (Cartesian ones without a cell) and occupancies where known. Refuses the
    // file that was read.
    bool SaveFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    bool SavesInPlace() const override { return false; }
    // A macromolecular entry's atoms are the asymmetric unit of its space group.
    std::string WhyNoSupercell() const override;
    // Writes the macromolecular entry read as a PDB file by gemmi's writer, with the model's
    // atoms `xyz`/`index` in place of those read (moved, re-typed, deleted): its chains,
    // residues and records stay. The first model only, the one read.
    bool SaveEntryAsPdb(const std::string &f, const std::vector<glm::dvec3> &xyz,
                        const std::vector<uint32_t> &index);

    // The label and occupancy of atom i of the model (after deletions; a supercell's copy has its
    // site's); empty and 1 when none.
    std::string LabelOf(uint32_t i) const;
    double OccupancyOf(uint32_t i) const;

    // The element a type symbol (charge stripped: "O2-", "Fe3+") or, failing that, a site
    // label ("Fe1", "OW2") names; the dummy element when neither does.
    static uint32_t ElementOfSite(std::string_view type_symbol, std::string_view label);
    // The cell of lengths (angstrom) and angles (degrees), a along x and b in the xy plane.
    static glm::dmat3 CellOfParameters(const glm::dvec3 &lengths, const glm::dvec3 &angles);

private:
    friend class CStructureFile;
    // The path of the file read, which a save refuses to replace.
    std::string source_path;
    // The macromolecular entry read, as gemmi has it; none for a small-molecule block.
    std::shared_ptr<const gemmi::Structure> entry;

    bool ParseText(const std::string &text, std::vector<glm::dvec3> &xyz,
                   std::vector<uint32_t> &index) override
    {
        return ParseAs<CCif>(text, xyz, index);
    }
    bool Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &index);
    // Never asked for: a CIF is not written back line by line.
    bool RewriteAtomLine(std::string_view line, const SAtomEdit &, std::string &out) override
    {
        out.append(line);
        return true;
    }
    void AddedAtomLine(const SAtomEdit &, std::string &) override {}
    // The site read that atom i of the model is or copies; NO_TEMPLATE for a new atom.
    uint32_t SiteOf(uint32_t i) const;
    std::string P1Text(const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index) const;
};

#endif
