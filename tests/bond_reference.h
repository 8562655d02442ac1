#ifndef BOND_REFERENCE_H
#define BOND_REFERENCE_H

// A brute-force bond search to hold the model's bond list against, and checks of the records.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "elements.h"
#include "structure_builder.h"

using Pair = std::pair<uint32_t, uint32_t>;

struct Reference {
    std::set<Pair> bonds;
    std::set<Pair> borderline; // within rounding of a limit: either answer is right
    size_t longer_than_cut = 0; // bonds longer than twice the largest radius
};

// Every pair, in double precision, on the coordinates the model works with; pairs are only
// skipped when their x coordinates alone are too far apart for a bond (the atoms are swept in
// order of x).
inline Reference BruteForceBonds(const Atoms &a)
{
    Reference ref;
    float max_r = 0.0f;
    for (uint32_t e : a.index)
        max_r = std::max(max_r, atom_rgbs[e].w);
    std::vector<glm::dvec3> p(a.size());
    std::vector<uint32_t> by_x(a.size());
    for (uint32_t k = 0; k < a.size(); ++k) {
        p[k] = glm::dvec3(glm::vec3(a.xyz[k]));
        by_x[k] = k;
    }
    std::sort(by_x.begin(), by_x.end(), [&](uint32_t u, uint32_t v) { return p[u].x < p[v].x; });
    const double reach = 1.01 * std::sqrt(1.2) * 2.0 * max_r;
    for (size_t s = 0; s < by_x.size(); ++s) {
        for (size_t t = s + 1; t < by_x.size() && p[by_x[t]].x - p[by_x[s]].x <= reach; ++t) {
            const uint32_t i = std::min(by_x[s], by_x[t]), j = std::max(by_x[s], by_x[t]);
            if (a.index[i] == DUMMY_ELEMENT || a.index[j] == DUMMY_ELEMENT)
                continue;
            const double d2 = glm::dot(p[j] - p[i], p[j] - p[i]);
            const double r = static_cast<double>(atom_rgbs[a.index[i]].w) + atom_rgbs[a.index[j]].w;
            const double limit = 1.2 * r * r;
            if (std::fabs(d2 - limit) < 1e-5 * limit || std::fabs(d2 - 0.1) < 1e-6)
                ref.borderline.insert({i, j});
            else if (d2 < limit && d2 > 0.1) {
                ref.bonds.insert({i, j});
                if (std::sqrt(d2) > 2.0 * max_r)
                    ++ref.longer_than_cut;
            }
        }
    }
    return ref;
}

inline std::vector<Pair> BondList(const CModel &m)
{
    std::vector<Pair> list;
    for (uint32_t k = 0; k < m.i_number_of_bonds; ++k)
        list.push_back({m.m_bond_indices[k].x, m.m_bond_indices[k].y});
    return list;
}

inline std::set<Pair> BondSet(const CModel &m)
{
    const std::vector<Pair> list = BondList(m);
    std::set<Pair> bonds(list.begin(), list.end());
    EXPECT_EQ(bonds.size(), list.size()) << "a bond is recorded twice";
    return bonds;
}

inline void ExpectBondsMatch(CModel &m, const Reference &ref)
{
    m.EvalBondRecords();
    ASSERT_LE(m.i_number_of_bonds, m.m_bond_indices.size());
    ASSERT_LE(m.i_number_of_bonds, m.m_bond_xyz.size());
    ASSERT_LE(m.i_number_of_bonds, m.m_bond_ang.size());
    ASSERT_LE(m.i_number_of_bonds, m.v_bond_length.size());
    const std::set<Pair> found = BondSet(m);
    size_t missing = 0, extra = 0;
    for (const Pair &p : ref.bonds)
        missing += found.count(p) == 0;
    for (const Pair &p : found)
        extra += ref.bonds.count(p) == 0 && ref.borderline.count(p) == 0;
    EXPECT_EQ(missing, 0u) << "of " << ref.bonds.size() << " bonds";
    EXPECT_EQ(extra, 0u);
}

// Each record agrees with the display coordinates of its two atoms.
inline void ExpectRecordsDescribeAtoms(CModel &m)
{
    m.EvalBondRecords();
    for (uint32_t k = 0; k < m.i_number_of_bonds; ++k) {
        const glm::uvec2 ij = m.m_bond_indices[k];
        ASSERT_LT(ij.x, ij.y);
        ASSERT_LT(ij.y, m.v_float_raw_xyz.size());
        const glm::vec3 pi = m.v_float_raw_xyz[ij.x], pj = m.v_float_raw_xyz[ij.y];
        const float tol = 1e-4f * (1.0f + glm::length(pi));
        const glm::vec3 mid = (pi + pj) * 0.5f;
        EXPECT_NEAR(m.m_bond_xyz[k].x, mid.x, tol);
        EXPECT_NEAR(m.m_bond_xyz[k].y, mid.y, tol);
        EXPECT_NEAR(m.m_bond_xyz[k].z, mid.z, tol);
        EXPECT_NEAR(m.v_bond_length[k], glm::length(pj - pi), tol);
        const float phi = m.m_bond_ang[k].x, theta = m.m_bond_ang[k].y;
        const glm::vec3 dir(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta));
        const glm::vec3 along = dir * m.v_bond_length[k];
        EXPECT_NEAR(along.x, (pj - pi).x, tol);
        EXPECT_NEAR(along.y, (pj - pi).y, tol);
        EXPECT_NEAR(along.z, (pj - pi).z, tol);
    }
}

// The display coordinates and elements of a model, as a structure of its own.
inline Atoms DisplayedAtoms(const CModel &m)
{
    Atoms a;
    for (size_t k = 0; k < m.v_float_raw_xyz.size(); ++k)
        a.Add(m.v_atom_index[k], glm::dvec3(m.v_float_raw_xyz[k]));
    return a;
}

#endif
