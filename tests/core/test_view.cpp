#include <gtest/gtest.h>

#include <random>
#include <vector>
#include <glm/gtc/matrix_transform.hpp>

#include "cview.h"

namespace {

// How far the points reach on screen, in fractions of the visible half-width and half-height.
glm::vec2 ScreenReach(const std::vector<glm::vec3> &points, float radius, const glm::mat3 &rotation, float b, int w,
                      int h)
{
    const CViewProjection p = SceneProjection(b, glm::vec2(0.0f), w, h, {-1, 1}, {-1, 1});
    glm::vec2 reach(0.0f);
    for (const glm::vec3 &q : points) {
        const glm::vec2 centre = glm::abs(glm::vec2(p.scene * glm::vec4(rotation * q, 1.0f)));
        reach = glm::max(reach, centre + radius * glm::vec2(p.scene[0][0], p.scene[1][1]));
    }
    return reach;
}

} // namespace

TEST(FitHalfExtent, ShowsEveryPointWithTheMarginOnTheTighterSide)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int trial = 0; trial < 40; trial++) {
        // Elongated random clouds off the origin, turned at random, in landscape and portrait.
        std::vector<glm::vec3> points(1 + trial % 7);
        const glm::vec3 stretch(1.0f + 20.0f * (u(rng) + 1.0f), 1.0f, 0.2f);
        for (glm::vec3 &q : points)
            q = glm::vec3(u(rng), u(rng), u(rng)) * stretch + glm::vec3(3.0f, 0.0f, 0.0f);
        const glm::mat3 rotation(glm::rotate(glm::mat4(1.0f), 6.0f * u(rng), glm::normalize(glm::vec3(u(rng), u(rng), 1.0f))));
        const float radius = 0.5f * (u(rng) + 1.0f);
        for (const glm::ivec2 size : {glm::ivec2(1280, 720), glm::ivec2(400, 700), glm::ivec2(500, 500)}) {
            SCOPED_TRACE(testing::Message() << "trial " << trial << " window " << size.x << "x" << size.y);
            const float b = FitHalfExtent(points, radius, rotation, size.x, size.y, 0.05f);
            const glm::vec2 reach = ScreenReach(points, radius, rotation, b, size.x, size.y);
            EXPECT_NEAR(std::max(reach.x, reach.y), 1.0f / 1.05f, 1e-4f);
        }
    }
}

TEST(FitHalfExtent, ALonePointShowsItsRadiusAndNothingShowsOne)
{
    const glm::mat3 turn(glm::rotate(glm::mat4(1.0f), 0.7f, glm::vec3(0, 1, 0)));
    EXPECT_FLOAT_EQ(FitHalfExtent({glm::vec3(0.0f)}, 0.5f, turn, 1280, 720, 0.0f), 0.5f * 1280.0f / 720.0f);
    EXPECT_FLOAT_EQ(FitHalfExtent({}, 0.5f, turn, 1280, 720, 0.1f), 1.0f);
}

TEST(EnclosingDepth, HoldsTheStructureAtEveryZoom)
{
    const float distance = 4.0f;
    for (const float radius : {0.0f, 0.3f, 2.0f, 150.0f}) {
        const CDepthRange d = EnclosingDepth(distance, radius);
        for (const float b : {0.01f, 0.4f, 1.0f, 500.0f}) {
            SCOPED_TRACE(testing::Message() << "radius " << radius << " half-extent " << b);
            const CViewProjection p = SceneProjection(b, glm::vec2(0.0f), 1280, 720, d, d);
            // The front and back of the structure, camera-space z = -distance +- radius.
            for (const float z : {-distance + radius, -distance, -distance - radius}) {
                const float ndc = (p.scene * glm::vec4(0, 0, z, 1)).z;
                EXPECT_GE(ndc, -1.0f);
                EXPECT_LE(ndc, 1.0f);
            }
        }
        EXPECT_GT(d.far_plane - d.near_plane, 0.0f) << "a lone point still has depth";
    }
}
