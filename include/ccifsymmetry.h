#ifndef CCIFSYMMETRY_H
#define CCIFSYMMETRY_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

namespace gemmi {
struct SpaceGroup;
struct GroupOps;
}

// A CIF's symmetry in the reader's terms: space groups found by the names files write, and
// operations as fractional rotations and translations.
namespace CifSymmetry {

struct SOperation {
    glm::dmat3 rotation{1.0};
    glm::dvec3 translation{0.0};
};

// A space-group name as files write it: spaces, screw-axis underscores, a trailing setting
// letter (ICSD's "S"/"Z" for origin choice 1/2, "H"/"R"), a note in braces naming the axes and
// cubic names without the bar ("F d 3 m") are all taken; nullptr when none fits.
const gemmi::SpaceGroup *FindSpaceGroup(const std::string &name, double alpha, double gamma);
std::vector<SOperation> ToOperations(const gemmi::GroupOps &ops);
// One operation as the file writes it ("-x+1/2, y, -z") on `line`; throws CifReader::SBadCif
// when it does not read or does not map the lattice onto itself.
SOperation ParseOperation(const std::string &triplet, uint32_t line);

} // namespace CifSymmetry

#endif
