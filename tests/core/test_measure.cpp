#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "measure.h"

namespace {

glm::dvec3 Random(std::mt19937 &rng, double range)
{
    std::uniform_real_distribution<double> u(-range, range);
    return {u(rng), u(rng), u(rng)};
}

} // namespace

TEST(Measure, DistancesAnglesAndDihedralsOfKnownShapes)
{
    const CMeasure free;
    const glm::dvec3 o(0.0), x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
    EXPECT_DOUBLE_EQ(free.Distance(o, glm::dvec3(3, 4, 0)), 5.0);
    EXPECT_NEAR(free.Angle(x, o, y), 90.0, 1e-12);
    EXPECT_NEAR(free.Angle(x, o, -x), 180.0, 1e-12);
    // Trans, cis and gauche butane-like chains.
    EXPECT_NEAR(std::fabs(free.Dihedral(y, o, x, x - y)), 180.0, 1e-12);
    EXPECT_NEAR(free.Dihedral(y, o, x, x + y), 0.0, 1e-12);
    EXPECT_NEAR(free.Dihedral(y, o, x, x + z), 90.0, 1e-12);
    EXPECT_NEAR(free.Dihedral(y, o, x, x - z), -90.0, 1e-12);
}

// Any image of the atoms gives the same measures in a cell; without the cell they change.
TEST(Measure, PeriodicImagesMeasureAlikeAndTheNearestIsTaken)
{
    std::mt19937 rng(3);
    const glm::dmat3 cell(5.0, 0.0, 0.0, 4.0, 4.5, 0.0, -1.0, 1.5, 6.0); // strongly skewed
    const CMeasure pbc(cell);
    for (int trial = 0; trial < 300; ++trial) {
        glm::dvec3 p[4], q[4];
        for (int k = 0; k < 4; ++k) {
            p[k] = Random(rng, 3.0);
            q[k] = p[k] + cell * glm::dvec3(rng() % 5 - 2.0, rng() % 5 - 2.0, rng() % 5 - 2.0);
        }
        EXPECT_NEAR(pbc.Distance(q[0], q[1]), pbc.Distance(p[0], p[1]), 1e-9);
        EXPECT_NEAR(pbc.Angle(q[0], q[1], q[2]), pbc.Angle(p[0], p[1], p[2]), 1e-7);
        EXPECT_NEAR(pbc.Dihedral(q[0], q[1], q[2], q[3]), pbc.Dihedral(p[0], p[1], p[2], p[3]), 1e-6);
        // No image of b is nearer than the one taken.
        const double d = pbc.Distance(p[0], p[1]);
        for (int i = -2; i <= 2; ++i)
            for (int j = -2; j <= 2; ++j)
                for (int k = -2; k <= 2; ++k)
                    EXPECT_LE(d, glm::length(p[1] + cell * glm::dvec3(i, j, k) - p[0]) + 1e-9);
    }
}

// Three atoms on a line span no plane: the dihedral is undefined, not 0 or 180.
TEST(Measure, DihedralOfCollinearAtomsIsUndefined)
{
    const CMeasure free;
    const glm::dvec3 o(0.0), x(1, 0, 0), y(0, 1, 0);
    const glm::dvec3 cases[][4] = {
        {o, x, 2.0 * x, 2.0 * x + y}, // a, b, c on a line
        {y, o, x, 2.0 * x},           // b, c, d on a line
        {o, x, 2.0 * x, 3.0 * x},     // all four
        {y, o, o, x},                 // b and c on one place
    };
    for (const auto &c : cases)
        EXPECT_TRUE(std::isnan(free.Dihedral(c[0], c[1], c[2], c[3])));
    EXPECT_NEAR(std::fabs(free.Dihedral(y, o, x, x + y + glm::dvec3(0, 0, 1e-3))), 0.0573, 1e-3); // nearly flat
}
