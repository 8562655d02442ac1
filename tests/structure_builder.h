#ifndef STRUCTURE_BUILDER_H
#define STRUCTURE_BUILDER_H

// Builds structures in memory and hands them to a CModel the way a structure reader does.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>
#include <glm/glm.hpp>

#include "cmodel.h"

struct Atoms {
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> index;

    void Add(uint32_t element, glm::dvec3 p)
    {
        index.push_back(element);
        xyz.push_back(p);
    }
    size_t size() const { return xyz.size(); }
};

inline constexpr uint32_t H_INDEX = 0, C_INDEX = 5, O_INDEX = 7, SI_INDEX = 13;

// What a reader leaves behind: coordinates, elements, bounding box and the display copy.
inline void FillModel(CModel &m, const Atoms &a)
{
    m.is_periodic = false;
    m.v_real_xyz = a.xyz;
    m.v_atom_index = a.index;
    glm::dvec3 lo(0.0), hi(0.0);
    if (!a.xyz.empty()) {
        lo = hi = a.xyz[0];
        for (const glm::dvec3 &p : a.xyz) {
            lo = glm::min(lo, p);
            hi = glm::max(hi, p);
        }
    }
    m.dmin_xyz = lo;
    m.dmax_xyz = hi;
    m.min_xyz = glm::vec3(lo);
    m.max_xyz = glm::vec3(hi);
    m.v_float_raw_xyz.assign(a.xyz.begin(), a.xyz.end());
}

inline void LoadAtoms(CModel &m, const Atoms &a)
{
    FillModel(m, a);
    m.SetModel();
    m.EvalModel();
}

// The first `count` atoms of a diamond-silicon supercell (a = 5.431 angstrom), cell by cell.
inline Atoms DiamondSilicon(size_t count)
{
    const double a = 5.431;
    const glm::dvec3 basis[8] = {{0, 0, 0},       {0, 0.5, 0.5},     {0.5, 0, 0.5},     {0.5, 0.5, 0},
                                 {0.25, 0.25, 0.25}, {0.25, 0.75, 0.75}, {0.75, 0.25, 0.75}, {0.75, 0.75, 0.25}};
    size_t n = 1;
    while (8 * n * n * n < count)
        ++n;
    Atoms atoms;
    for (size_t z = 0; z < n; ++z)
        for (size_t y = 0; y < n; ++y)
            for (size_t x = 0; x < n; ++x)
                for (const glm::dvec3 &b : basis) {
                    if (atoms.size() == count)
                        return atoms;
                    atoms.Add(SI_INDEX, (glm::dvec3(x, y, z) + b) * a);
                }
    return atoms;
}

// The first `count` atoms of randomly oriented water molecules on a cubic lattice at the density
// of liquid water (0.0334 molecules per cubic angstrom).
inline Atoms WaterBox(size_t count, unsigned seed = 1)
{
    const double spacing = std::cbrt(1.0 / 0.0334);
    const double oh = 0.9572, half_angle = 104.52 / 2.0 * M_PI / 180.0;
    const glm::dvec3 h1(oh * std::sin(half_angle), 0.0, oh * std::cos(half_angle));
    const glm::dvec3 h2(-h1.x, 0.0, h1.z);
    const size_t molecules = (count + 2) / 3;
    size_t n = 1;
    while (n * n * n < molecules)
        ++n;
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss;
    Atoms atoms;
    for (size_t k = 0; k < molecules; ++k) {
        // A uniformly random rotation from a normalised Gaussian quaternion.
        glm::dvec4 q(gauss(rng), gauss(rng), gauss(rng), gauss(rng));
        q /= glm::length(q);
        const double w = q.x, x = q.y, y = q.z, z = q.w;
        const glm::dmat3 r(1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y),
                           2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x),
                           2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y));
        const glm::dvec3 o = glm::dvec3(k % n, (k / n) % n, k / (n * n)) * spacing;
        for (const glm::dvec3 &p : {o, o + r * h1, o + r * h2}) {
            if (atoms.size() == count)
                return atoms;
            atoms.Add(atoms.size() % 3 == 0 ? O_INDEX : H_INDEX, p);
        }
    }
    return atoms;
}

#endif
