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

// Checks that each sphere that draws is grouped once, as it stands, within its cell's bounds (those
// hidden since a Refit may stay, once at most); returns how many are in the unbounded cell.
size_t ExpectEachDrawnOnceWithinItsCell(const CSphereGrid &grid, const std::vector<glm::vec4> &spheres)
{
    EXPECT_EQ(grid.Size(), spheres.size());
    std::vector<int> seen(spheres.size(), 0);
    size_t unbounded = 0;
    for (const CSphereGrid::SCell &cell : grid.Cells()) {
        EXPECT_LT(cell.begin, cell.end);
        unbounded += cell.is_bounded ? 0 : cell.end - cell.begin;
        for (uint32_t k = cell.begin; k < cell.end; ++k) {
            const uint32_t i = grid.Indices()[k];
            const glm::vec4 &s = spheres[i];
            ++seen[i];
            EXPECT_EQ(0, std::memcmp(&grid.Spheres()[k], &s, sizeof(glm::vec4)));
            if (cell.is_bounded && !(s.w == 0.0f)) {
                EXPECT_TRUE(glm::all(glm::lessThanEqual(cell.low, glm::vec3(s))) &&
                            glm::all(glm::lessThanEqual(glm::vec3(s), cell.high)) && s.w <= cell.radius);
            }
        }
    }
    for (size_t i = 0; i < spheres.size(); ++i) {
        if (spheres[i].w == 0.0f) {
            EXPECT_LE(seen[i], 1) << i;
        } else {
            EXPECT_EQ(seen[i], 1) << i;
        }
    }
    return unbounded;
}

glm::vec3 Centre(const std::vector<glm::vec4> &spheres)
{
    glm::vec3 centre(0.0f);
    for (const glm::vec4 &s : spheres)
        centre += glm::vec3(s) / static_cast<float>(spheres.size());
    return centre;
}

// A view of spheres about `centre` from 200 units away, 640 x 360 pixels of 0.15 units.
CSphereCull::SView View(glm::vec3 centre, float angle, bool is_multisampled)
{
    CSphereCull::SView view;
    view.view = glm::translate(glm::rotate(glm::mat4(1.0f), angle, glm::vec3(0.3f, 1.0f, 0.2f)), -centre);
    view.view = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, -200.0f)) * view.view;
    view.projection = glm::ortho(-48.0f, 48.0f, -27.0f, 27.0f, 1.0f, 400.0f);
    view.scale = 0.6f;
    view.width = 640;
    view.height = 360;
    view.is_multisampled = is_multisampled;
    return view;
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
        {"water box sorted on two threads", WaterSpheres(120000), 0, 0},
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
        ASSERT_EQ(grid.Spheres().size(), c.spheres.size() - c.left_out);
        const size_t unbounded = ExpectEachDrawnOnceWithinItsCell(grid, c.spheres);
        EXPECT_EQ(unbounded, c.odd);
        // A crowd of spheres gets many boxes, none of them far fuller than asked for on average.
        if (c.spheres.size() >= 1000) {
            EXPECT_GT(grid.Cells().size(), c.spheres.size() / CSphereGrid::SPHERES_PER_CELL / 4);
        }
    }
}

TEST(SphereGrid, CullPassingOverHiddenCellsKeepsWhatTestingEverySphereKeeps)
{
    const std::vector<glm::vec4> spheres = WaterSpheres(60000);
    const glm::vec3 centre = Centre(spheres);
    CSphereGrid cells, one;
    cells.Build(spheres);
    one.Build(spheres, spheres.size());
    ASSERT_EQ(one.Cells().size(), 1u);
    for (const float angle : {0.0f, 0.5f})
        for (const bool is_multisampled : {false, true}) {
            SCOPED_TRACE(testing::Message() << "angle " << angle << (is_multisampled ? " multisampled" : ""));
            const CSphereCull::SView view = View(centre, angle, is_multisampled);
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

TEST(SphereGrid, RefitBoundsSpheresMovedALittleOrSaysItCannot)
{
    std::vector<glm::vec4> built = WaterSpheres(30000);
    built[10].w = 0.0f; // left out
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
    std::vector<glm::vec4> moved = built;
    for (glm::vec4 &s : moved)
        s += glm::vec4(jitter(rng), jitter(rng), jitter(rng), 0.0f);
    moved[20].w = 0.0f; // hidden since
    const auto with = [&](size_t i, glm::vec4 s) {
        std::vector<glm::vec4> out = moved;
        out[i] = s;
        return out;
    };
    std::vector<glm::vec4> wider = moved;
    for (glm::vec4 &s : wider)
        s = glm::vec4(3.0f * glm::vec3(s), s.w);
    std::vector<glm::vec4> more = moved;
    more.push_back(moved[0]);
    const struct {
        std::string name;
        std::vector<glm::vec4> spheres;
        bool is_refit;
    } cases[] = {
        {"moved a little, one hidden", moved, true},
        {"one more", more, false},
        {"the one left out drawn", with(10, glm::vec4(1.0f, 1.0f, 1.0f, 0.7f)), false},
        {"one no longer a number", with(30, glm::vec4(std::numeric_limits<float>::quiet_NaN())), false},
        {"three times as wide", wider, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CSphereGrid grid, one;
        grid.Build(built);
        ASSERT_EQ(grid.Refit(c.spheres), c.is_refit);
        if (!c.is_refit)
            continue;
        ExpectEachDrawnOnceWithinItsCell(grid, c.spheres);
        one.Build(c.spheres, c.spheres.size());
        CSphereCull by_cell, all;
        const CSphereCull::SView view = View(Centre(c.spheres), 0.5f, false);
        by_cell.Build(grid, view);
        all.Build(one, view);
        EXPECT_LT(all.Spheres().size(), c.spheres.size() * 3 / 4); // the view hides some
        EXPECT_EQ(by_cell.Spheres(), all.Spheres());
        EXPECT_EQ(by_cell.SphereRectangles(), all.SphereRectangles());
    }
}

} // namespace
