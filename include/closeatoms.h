#ifndef CLOSEATOMS_H
#define CLOSEATOMS_H

#include <cstdint>
#include <vector>
#include <glm/glm.hpp>

// Atoms of one element closer than `distance` (angstrom) are one atom, the first: atom i is a
// duplicate when an earlier atom of its element, not itself a duplicate, lies within `distance`
// of it. Positions are fractional in `box` (columns a, b, c), in [0, 1), and the nearest
// periodic image counts: a box around a molecule leaves `distance` free beyond its atoms. Each
// box width must exceed twice `distance`.
std::vector<bool> DuplicateAtoms(const std::vector<glm::dvec3> &fract, const std::vector<uint32_t> &element,
                                 const glm::dmat3 &box, double distance);

#endif
