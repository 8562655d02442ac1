#ifndef CMMCIFENTRY_H
#define CMMCIFENTRY_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "ccifreader.h"
#include "ceditjournal.h"

namespace gemmi {
namespace cif {
struct Block;
}
}

// A macromolecular CIF block (mmCIF) as gemmi reads a PDB entry, and the entry written back
// as a PDB file by gemmi's writer.
namespace MmcifEntry {

// The first model of `block`, every alternate location, into `r` (with the entry itself);
// throws CifReader::SBadCif.
void Read(gemmi::cif::Block &block, CifReader::SRead &r);

// The PDB text of `entry` with the model's atoms `xyz`/`index` in place of those read, as the
// journal tells (atom k read is model atom i where v_atom_origin[i] == k, its element read
// source_index[k]); an added atom copies the record of its template (chain, residue, name) in a
// chain of copies after the others, a new one is a HETATM of its own residue. `cell`, when
// given, replaces the entry's. The first model only. False with `failure` when gemmi's writer
// refuses.
bool PdbText(const gemmi::Structure &entry, const CEditJournal &journal,
             const std::vector<uint32_t> &source_index, const std::vector<glm::dvec3> &xyz,
             const std::vector<uint32_t> &index, const glm::dmat3 *cell, std::string &text,
             std::string &failure);

} // namespace MmcifEntry

#endif
