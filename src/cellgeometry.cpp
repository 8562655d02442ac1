#include "cellgeometry.h"

#include <cmath>

namespace {

// Exact for the right angles most cells have, where cos(pi/2) would leave 6e-17.
double CosDegrees(double angle) { return angle == 90.0 ? 0.0 : std::cos(glm::radians(angle)); }

double AngleDegrees(const glm::dvec3 &u, const glm::dvec3 &v)
{
    const double c = glm::dot(u, v) / (glm::length(u) * glm::length(v));
    return glm::degrees(std::acos(glm::clamp(c, -1.0, 1.0)));
}

} // namespace

glm::dmat3 CellMatrix(const glm::dvec3 &lengths, const glm::dvec3 &angles)
{
    const double ca = CosDegrees(angles.x), cb = CosDegrees(angles.y), cg = CosDegrees(angles.z);
    const double sg = std::sin(glm::radians(angles.z));
    const double c = lengths.z;
    const double cx = c * cb;
    const double cy = c * (ca - cb * cg) / sg;
    glm::dmat3 cell(0.0);
    cell[0] = glm::dvec3(lengths.x, 0.0, 0.0);
    cell[1] = glm::dvec3(lengths.y * cg, lengths.y * sg, 0.0);
    cell[2] = glm::dvec3(cx, cy, std::sqrt(c * c - cx * cx - cy * cy));
    return cell;
}

void CellParameters(const glm::dmat3 &cell, glm::dvec3 &lengths, glm::dvec3 &angles)
{
    lengths = glm::dvec3(glm::length(cell[0]), glm::length(cell[1]), glm::length(cell[2]));
    angles = glm::dvec3(AngleDegrees(cell[1], cell[2]), AngleDegrees(cell[0], cell[2]),
                        AngleDegrees(cell[0], cell[1]));
}
