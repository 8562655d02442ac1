#ifndef CPERIODICBONDS_H
#define CPERIODICBONDS_H

#include <cstdint>
#include <functional>
#include <vector>
#include <glm/glm.hpp>

// Bonds across the boundary of a periodic cell: atom i bonded to an image of atom j (or of
// itself) moved by a non-zero lattice translation. Bonds within the cell are the model's own
// search; together they give every atom all its neighbours, as bulk silicon's four.
class CPeriodicBonds {
public:
    // Atom i bonds to atom j moved by the cell vectors times `image`.
    struct SBond {
        uint32_t i, j;
        glm::ivec3 image;
    };
    // Whether atoms i and j at squared distance d2 bond: the model's radius rule.
    using BondRule = std::function<bool(uint32_t i, uint32_t j, float d2)>;

    // `p`: positions; `corner`: where the cell's origin is among them; `cell`: columns a, b, c;
    // `reach`: the longest possible bond; `periodic`: the axes the structure repeats along
    // (images are taken only along those); `threads`: how many may search at once (`bonded` is
    // then called from each); `pairs`, when given, grows by the pairs compared. The bonds come
    // in the same order whatever the threads.
    static std::vector<SBond> Find(const std::vector<glm::vec3> &p, const glm::dmat3 &cell,
                                   const glm::vec3 &corner, float reach, const BondRule &bonded,
                                   const glm::bvec3 &periodic = glm::bvec3(true), unsigned threads = 1,
                                   uint64_t *pairs = nullptr);
    // The two half-bonds drawn for a bond: from p_i towards the image of p_j (displaced by `d`)
    // up to where the segment leaves the cell through a face of a periodic axis, and likewise
    // from p_j back along -d.
    static glm::vec3 FaceCrossing(const glm::vec3 &p, const glm::vec3 &d, const glm::dmat3 &inverse,
                                  const glm::vec3 &corner, const glm::bvec3 &periodic = glm::bvec3(true));
};

#endif
