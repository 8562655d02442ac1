#ifndef CMMCIFENTRY_H
#define CMMCIFENTRY_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "ccifreader.h"

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

// The PDB text of `entry` with the model's atoms `xyz`/`index` in place of those read: atom k
// read is model atom i where origin[i] == k, its element read source_index[k]. The first
// model only. False with `failure` when gemmi's writer refuses.
bool PdbText(const gemmi::Structure &entry, const std::vector<uint32_t> &origin,
             const std::vector<uint32_t> &source_index, const std::vector<glm::dvec3> &xyz,
             const std::vector<uint32_t> &index, std::string &text, std::string &failure);

} // namespace MmcifEntry

#endif
