#ifndef MEASURE_H
#define MEASURE_H

#include <glm/glm.hpp>

// Geometry of picked atoms, in the file's frame (angstrom and degrees). In a periodic structure
// each step from one atom to the next goes to the nearest periodic image.
class CMeasure {
public:
    // No cell: plain differences.
    CMeasure() = default;
    // Columns 0, 1, 2 of `cell` are the cell vectors; images are taken only along the axes
    // marked in `periodic` (a slab repeats along a and b only).
    explicit CMeasure(const glm::dmat3 &cell, const glm::bvec3 &periodic = glm::bvec3(true));

    // The shortest vector from a to an image of b.
    glm::dvec3 Step(const glm::dvec3 &a, const glm::dvec3 &b) const;
    double Distance(const glm::dvec3 &a, const glm::dvec3 &b) const;
    // The angle a-b-c at b.
    double Angle(const glm::dvec3 &a, const glm::dvec3 &b, const glm::dvec3 &c) const;
    // The torsion of a-b-c-d about b-c, from -180 to 180 (IUPAC sign).
    double Dihedral(const glm::dvec3 &a, const glm::dvec3 &b, const glm::dvec3 &c,
                    const glm::dvec3 &d) const;

private:
    bool is_periodic = false;
    glm::bvec3 is_periodic_axis{false};
    glm::dmat3 m_cell{1.0};
    glm::dmat3 m_inverse{1.0};
};

#endif
