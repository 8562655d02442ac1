#ifndef CELLGEOMETRY_H
#define CELLGEOMETRY_H

#include <glm/glm.hpp>

// Conversions between a periodic cell given by its lengths (angstrom) and angles alpha, beta,
// gamma (degrees: b^c, a^c, a^b) and the cell matrix whose columns are the vectors a, b, c.

// The crystallographic convention: a along x, b in the xy plane, c completing a right-handed
// cell. Angles that give no cell leave NaN in c.
glm::dmat3 CellMatrix(const glm::dvec3 &lengths, const glm::dvec3 &angles);

// The lengths and angles of any cell matrix.
void CellParameters(const glm::dmat3 &cell, glm::dvec3 &lengths, glm::dvec3 &angles);

#endif
