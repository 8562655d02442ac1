// CSphereGrid groups every drawn sphere once, within its cell's bounds; and a cull that passes over
// hidden cells keeps exactly what one cell of all the spheres keeps.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "../structure_builder.h"
#include "cinstance.h"
#include "cpalette.h"
#include "cspherecull.h"
#include "cspheregrid.h"

namespace {

std::vector<glm::vec4> WaterSpheres(size_t atoms)
{
    const Atoms water = WaterBox(atoms);
    const std::vector<glm::vec3> xyz(water.xyz.begin(), water.xyz.end());
    CPalette pick;
    std::vector<glm::vec4> spheres;
    std::vector<CAtomColours> colours;
    BuildAtomInstances(xyz, water.index, pick, spheres, colours);
    return spheres;
}

std::vector<glm::vec4> RandomSpheres(size_t n, glm::vec3 extent)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<glm::vec4> spheres;
    for (size_t i = 0; i < n; ++i)
        spheres.emplace_back(unit(rng) * extent.x, unit(rng) * extent.y, unit(rng) * extent.z, 0.5f + unit(rng));
    return spheres;
}

TEST(SphereGrid, GroupsEachDrawnSphereOnceWithinItsCell)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<glm::vec4> odd = RandomSpheres(500, glm::vec3(20.0f));
    odd[3].w = 0.0f;           // not drawn: left out
    odd[4].x = nan;            // may show anywhere
    odd[5].w = -1.0f;          // likewise
    odd[6].y = 1e30f;          // too far out for a box
    const struct {
        std::string name;
        std::vector<glm::vec4> spheres;
        size_t left_out, odd;
    } cases[] = {
        {"water box", WaterSpheres(3000), 0, 0},
        {"flat sheet", RandomSpheres(2000, glm::vec3(50.0f, 50.0f, 0.0f)), 0, 0},
        {"line", RandomSpheres(300, glm::vec3(100.0f, 0.0f, 0.0f)), 0, 0},
        {"all at one place", std::vector<glm::vec4>(100, glm::vec4(1.0f, 2.0f, 3.0f, 1.0f)), 0, 0},
        {"none", {}, 0, 0},
        {"radius 0, not numbers and far out", odd, 1, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CSphereGrid grid;
        grid.Build(c.spheres);
        EXPECT_EQ(grid.Size(), c.spheres.size());
        ASSERT_EQ(grid.Spheres().size(), c.spheres.size() - c.left_out);
        std::vector<int> seen(c.spheres.size(), 0);
        size_t unbounded = 0;
        for (const CSphereGrid::SCell &cell : grid.Cells()) {
            EXPECT_LT(cell.begin, cell.end);
            unbounded += cell.is_bounded ? 0 : cell.end - cell.begin;
            for (uint32_t k = cell.begin; k < cell.end; ++k) {
                const uint32_t i = grid.Indices()[k];
                ++seen[i];
                EXPECT_EQ(0, std::memcmp(&grid.Spheres()[k], &c.spheres[i], sizeof(glm::vec4)));
                if (cell.is_bounded) {
                    EXPECT_TRUE(glm::all(glm::lessThanEqual(cell.low, glm::vec3(c.spheres[i]))) &&
                                glm::all(glm::lessThanEqual(glm::vec3(c.spheres[i]), cell.high)) &&
                                c.spheres[i].w <= cell.radius);
                }
            }
        }
        EXPECT_EQ(unbounded, c.odd);
        for (size_t i = 0; i < c.spheres.size(); ++i)
            EXPECT_EQ(seen[i], c.spheres[i].w == 0.0f ? 0 : 1) << i;
        // A crowd of spheres gets many boxes, none of them far fuller than asked for on average.
        if (c.spheres.size() >= 1000) {
            EXPECT_GT(grid.Cells().size(), c.spheres.size() / CSphereGrid::SPHERES_PER_CELL / 4);
        }
    }
}

TEST(SphereGrid, CullPassingOverHiddenCellsKeepsWhatTestingEverySphereKeeps)
{
    const std::vector<glm::vec4> spheres = WaterSpheres(60000);
    glm::vec3 centre(0.0f);
    for (const glm::vec4 &s : spheres)
        centre += glm::vec3(s) / static_cast<float>(spheres.size());
    CSphereGrid cells, one;
    cells.Build(spheres);
    one.Build(spheres, spheres.size());
    ASSERT_EQ(one.Cells().size(), 1u);
    for (const float angle : {0.0f, 0.5f})
        for (const bool is_multisampled : {false, true}) {
            SCOPED_TRACE(testing::Message() << "angle " << angle << (is_multisampled ? " multisampled" : ""));
            CSphereCull::SView view;
            view.view = glm::translate(glm::rotate(glm::mat4(1.0f), angle, glm::vec3(0.3f, 1.0f, 0.2f)), -centre);
            view.view = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, -200.0f)) * view.view;
            view.projection = glm::ortho(-48.0f, 48.0f, -27.0f, 27.0f, 1.0f, 400.0f);
            view.scale = 0.6f;
            view.width = 640;
            view.height = 360;
            view.is_multisampled = is_multisampled;
            CSphereCull by_cell, all;
            by_cell.Build(cells, view);
            all.Build(one, view);
            EXPECT_EQ(by_cell.Spheres(), all.Spheres());
            EXPECT_EQ(by_cell.SphereRectangles(), all.SphereRectangles());
            if (!is_multisampled) { // the scene does hide spheres
                EXPECT_LT(all.Spheres().size(), spheres.size() / 2);
            }
        }
}

} // namespace
