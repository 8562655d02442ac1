#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "cellgeometry.h"

namespace {

// Cosines of angles that close into a cell with some volume.
bool FormsACell(const glm::dvec3 &angles)
{
    const glm::dvec3 c = glm::cos(glm::radians(angles));
    return 1.0 - c.x * c.x - c.y * c.y - c.z * c.z + 2.0 * c.x * c.y * c.z > 0.05;
}

} // namespace

TEST(CellGeometry, RandomTriclinicCellsGiveBackTheirLengthsAndAngles)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> length(1.0, 300.0), angle(30.0, 150.0);
    int checked = 0;
    while (checked < 1000) {
        const glm::dvec3 l(length(rng), length(rng), length(rng));
        const glm::dvec3 a(angle(rng), angle(rng), angle(rng));
        if (!FormsACell(a))
            continue;
        const glm::dmat3 cell = CellMatrix(l, a);
        glm::dvec3 l2, a2;
        CellParameters(cell, l2, a2);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(l2[k], l[k], 1e-9 * l[k]) << k;
            EXPECT_NEAR(a2[k], a[k], 1e-8) << k;
        }
        // a along x, b in the xy plane, c on the positive side: a right-handed cell.
        EXPECT_EQ(cell[0].y, 0.0);
        EXPECT_EQ(cell[0].z, 0.0);
        EXPECT_EQ(cell[1].z, 0.0);
        EXPECT_GT(glm::determinant(cell), 0.0);
        ++checked;
    }
}

TEST(CellGeometry, RightAnglesGiveAnExactlyDiagonalCell)
{
    EXPECT_EQ(CellMatrix({2.0, 3.0, 4.0}, glm::dvec3(90.0)), glm::dmat3(2, 0, 0, 0, 3, 0, 0, 0, 4));
}
