#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include "cmodel.h"
#include "cperiodicbonds.h"
#include "scratch_folder.h"

namespace {

using Key = std::tuple<uint32_t, uint32_t, int, int, int>;

std::set<Key> Keys(const std::vector<CPeriodicBonds::SBond> &bonds)
{
    std::set<Key> keys;
    for (const auto &b : bonds)
        EXPECT_TRUE(keys.insert({b.i, b.j, b.image.x, b.image.y, b.image.z}).second) << "found twice";
    return keys;
}

// Every pair and every translation within `range` cells: bonds that cross the boundary, each
// once (i <= j; an atom and its own image once, for the positive translation).
std::set<Key> BruteForce(const std::vector<glm::vec3> &p, const glm::dmat3 &cell, float limit2,
                         int range)
{
    std::set<Key> keys;
    for (uint32_t i = 0; i < p.size(); ++i)
        for (uint32_t j = i; j < p.size(); ++j)
            for (int x = -range; x <= range; ++x)
                for (int y = -range; y <= range; ++y)
                    for (int z = -range; z <= range; ++z) {
                        const glm::ivec3 t(x, y, z);
                        if (t == glm::ivec3(0) || (i == j && !(x > 0 || (x == 0 && (y > 0 || (y == 0 && z > 0))))))
                            continue;
                        const glm::dvec3 d = glm::dvec3(p[j]) + cell * glm::dvec3(t) - glm::dvec3(p[i]);
                        if (glm::dot(d, d) < limit2)
                            keys.insert({i, j, x, y, z});
                    }
    return keys;
}

} // namespace

// Random cells, skewed ones and ones narrower than a bond, atoms inside and outside the cell.
TEST(PeriodicBonds, EveryBondAcrossTheBoundaryOnceAsABruteForceFindsIt)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int trial = 0; trial < 60; ++trial) {
        const double scale = trial % 3 == 0 ? 1.5 : 6.0;
        glm::dmat3 cell(scale, 0, 0, scale * (u(rng) - 0.5), scale, 0, scale * (u(rng) - 0.5),
                        scale * (u(rng) - 0.5), scale);
        const size_t n = 1 + rng() % 40;
        const glm::vec3 corner(-1.0f, 2.0f, 0.5f);
        std::vector<glm::vec3> p(n);
        for (glm::vec3 &x : p) {
            const float spread = trial % 4 == 0 ? 1.6f : 1.0f; // some atoms beyond the cell
            x = corner + glm::vec3(cell * glm::dvec3(u(rng) * spread, u(rng), u(rng) * spread - 0.3f));
        }
        const float reach = 2.5f;
        const auto rule = [&](uint32_t, uint32_t, float d2) { return d2 < reach * reach; };
        const std::set<Key> got = Keys(CPeriodicBonds::Find(p, cell, corner, reach, rule));
        const std::set<Key> want = BruteForce(p, cell, reach * reach, 5);
        EXPECT_EQ(got, want) << "trial " << trial << ", " << n << " atoms";
    }
}

// A cell many bonds wide, so that most atoms lie in interior cells of the search grid, with a few
// atoms outside the cell: an interior atom still bonds to the images of those beside it.
TEST(PeriodicBonds, InteriorAtomsBondToImagesOfAtomsOutsideTheCell)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const glm::dmat3 cell(15.0);
    std::vector<glm::vec3> p;
    for (int k = 0; k < 600; ++k)
        p.push_back(glm::vec3(cell * glm::dvec3(u(rng), u(rng), u(rng))));
    // Atoms just beyond each face, bonded to the images of interior atoms on the far side.
    for (int k = 0; k < 60; ++k) {
        glm::dvec3 f(u(rng), u(rng), u(rng));
        f[k % 3] = k % 2 == 0 ? -0.2 * u(rng) : 1.0 + 0.2 * u(rng);
        p.push_back(glm::vec3(cell * f));
    }
    const float reach = 2.5f;
    const auto rule = [&](uint32_t, uint32_t, float d2) { return d2 < reach * reach; };
    EXPECT_EQ(Keys(CPeriodicBonds::Find(p, cell, glm::vec3(0.0f), reach, rule)), BruteForce(p, cell, reach * reach, 1));
}

// A slab thinner than two bonds, so that every atom meets images and the search is split over
// threads: the bonds and the pairs compared are those of one thread, in its order.
TEST(PeriodicBonds, ThreadsFindTheBondsOfOneInItsOrder)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const glm::dmat3 cell(glm::dvec3(110.0, 0.0, 0.0), glm::dvec3(3.0, 110.0, 0.0), glm::dvec3(0.0, 0.0, 2.0));
    std::vector<glm::vec3> p(45000);
    for (glm::vec3 &x : p)
        x = glm::vec3(cell * glm::dvec3(u(rng), u(rng), u(rng) * 1.2 - 0.1));
    const float reach = 0.8f;
    const auto rule = [&](uint32_t, uint32_t, float d2) { return d2 < reach * reach; };
    const auto Flat = [](const std::vector<CPeriodicBonds::SBond> &bonds) {
        std::vector<Key> keys;
        for (const auto &b : bonds)
            keys.emplace_back(b.i, b.j, b.image.x, b.image.y, b.image.z);
        return keys;
    };
    uint64_t one_pairs = 0;
    const std::vector<Key> one = Flat(CPeriodicBonds::Find(p, cell, glm::vec3(0.0f), reach, rule,
                                                           glm::bvec3(true), 1, &one_pairs));
    ASSERT_GT(one.size(), 1000u);
    for (unsigned threads : {2u, 3u}) {
        uint64_t pairs = 0;
        EXPECT_EQ(Flat(CPeriodicBonds::Find(p, cell, glm::vec3(0.0f), reach, rule, glm::bvec3(true), threads,
                                            &pairs)),
                  one)
            << threads << " threads";
        EXPECT_EQ(pairs, one_pairs) << threads << " threads";
    }
}

TEST(PeriodicBonds, HalfBondsEndOnTheCellFace)
{
    const glm::dmat3 cell(4, 0, 0, 0, 4, 0, 0, 0, 4);
    const glm::dmat3 inverse = glm::inverse(cell);
    const glm::vec3 corner(-2.0f);
    // From x = 1.5 towards an image 1 angstrom further on: the face at x = 2.
    EXPECT_EQ(CPeriodicBonds::FaceCrossing(glm::vec3(1.5f, 0, 0), glm::vec3(1, 0, 0), inverse, corner),
              glm::vec3(2.0f, 0, 0));
    EXPECT_EQ(CPeriodicBonds::FaceCrossing(glm::vec3(-1.5f, 0, 0), glm::vec3(-1, 0, 0), inverse, corner),
              glm::vec3(-2.0f, 0, 0));
    // An atom outside the cell: half way.
    EXPECT_EQ(CPeriodicBonds::FaceCrossing(glm::vec3(3.0f, 0, 0), glm::vec3(1, 0, 0), inverse, corner),
              glm::vec3(3.5f, 0, 0));
}

// Bulk silicon, primitive and conventional cell: four bonds per atom, counting those that cross
// the cell boundary; a molecule in a box has none across it.
TEST(PeriodicBonds, BulkSiliconHasFourBondsPerAtom)
{
    ScratchFolder dir;
    const std::string primitive = "Si primitive\n5.431\n0 0.5 0.5\n0.5 0 0.5\n0.5 0.5 0\nSi\n2\n"
                                  "Direct\n0 0 0\n0.25 0.25 0.25\n";
    const std::string conventional = "Si conventional\n5.431\n1 0 0\n0 1 0\n0 0 1\nSi\n8\nDirect\n"
                                     "0 0 0\n0 0.5 0.5\n0.5 0 0.5\n0.5 0.5 0\n0.25 0.25 0.25\n"
                                     "0.25 0.75 0.75\n0.75 0.25 0.75\n0.75 0.75 0.25\n";
    for (const std::string &text : {primitive, conventional}) {
        WriteText(dir / "POSCAR", text);
        CModel m;
        ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "POSCAR", INPUT_FILE_TYPE_VSP));
        std::vector<int> bonds(m.v_atom_index.size(), 0);
        for (const glm::uvec2 &b : m.m_bond_indices) {
            ++bonds[b.x];
            ++bonds[b.y];
        }
        for (const CPeriodicBonds::SBond &b : m.m_bond_pbc) {
            ++bonds[b.i];
            ++bonds[b.j];
        }
        EXPECT_EQ(bonds, std::vector<int>(m.v_atom_index.size(), 4)) << text;
        EXPECT_EQ(m.i_number_of_bonds_pbc, m.m_bond_pbc.size());
        std::vector<glm::vec3> from, to;
        m.HalfBonds(from, to);
        ASSERT_EQ(from.size(), 2 * m.m_bond_pbc.size());
        // Each half runs from its atom to the cell face, within the bond.
        for (size_t k = 0; k < from.size(); ++k)
            EXPECT_LE(glm::length(to[k] - from[k]), 2.36f);
    }
    CModel water;
    ASSERT_TRUE(water.ReadStructureFile(KIVOA_TEST_DATA, std::string(KIVOA_TEST_DATA) + "/xyz/water.xyz",
                                        INPUT_FILE_TYPE_XYZ));
    EXPECT_TRUE(water.m_bond_pbc.empty());
}
