// What CSphereCull keeps of a big sphere and things around it, in a 200 x 200 picture of 10 pixels
// per unit looking down -z (larger z nearer); the pixel tests in tests/gl compare whole pictures.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "cspherecull.h"

namespace {

const glm::vec4 BIG(0.0f, 0.0f, 0.0f, 2.0f);

CSphereCull::SView View(bool is_multisampled)
{
    CSphereCull::SView view;
    view.projection = glm::ortho(-10.0f, 10.0f, -10.0f, 10.0f, -100.0f, 100.0f);
    view.width = 200;
    view.height = 200;
    view.is_multisampled = is_multisampled;
    return view;
}

struct CullCase {
    std::string name;
    glm::vec4 other;
    bool is_multisampled;
    bool is_kept;
};

TEST(SphereCull, KeepsWhatMayShowBesideTheBigSphere)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const CullCase cases[] = {
        {"straight behind", {0.0f, 0.0f, -1.0f, 0.5f}, false, false},
        {"behind, its front just under the big one's surface", {0.0f, 0.0f, 1.45f, 0.5f}, false, true},
        {"behind but reaching past the outline", {1.8f, 0.0f, -1.0f, 0.5f}, false, true},
        {"in front", {0.0f, 0.0f, 2.5f, 0.5f}, false, true},
        {"at the same place", BIG, false, true},
        {"radius 0", {3.0f, 3.0f, 3.0f, 0.0f}, false, false},
        {"outside the picture", {50.0f, 0.0f, 0.0f, 1.0f}, false, false},
        {"not a number", {nan, 0.0f, 0.0f, 1.0f}, false, true},
        // Under the big sphere's rim: its pixel centres inside the outline, not all their samples.
        {"behind the rim", {1.93f, 0.0f, -1.0f, 0.05f}, false, false},
        {"behind the rim, multisampled", {1.93f, 0.0f, -1.0f, 0.05f}, true, true},
    };
    for (const CullCase &c : cases) {
        SCOPED_TRACE(c.name);
        CSphereCull cull;
        cull.Build({BIG, c.other}, View(c.is_multisampled));
        const std::vector<uint32_t> kept = c.is_kept ? std::vector<uint32_t>{0, 1} : std::vector<uint32_t>{0};
        EXPECT_EQ(cull.Spheres(), kept);
    }
}

TEST(SphereCull, DrawsAPartlyHiddenSphereOnlyWhereItMayShow)
{
    // Its outline spans columns 113 to 122 and rows 95 to 104; the big sphere's (80 to 119) covers
    // its first columns whole, all but the last under the rim.
    CSphereCull cull;
    cull.Build({BIG, {1.8f, 0.0f, -1.0f, 0.5f}}, View(false));
    ASSERT_EQ(cull.SphereRectangles().size(), 2u);
    EXPECT_EQ(cull.SphereRectangles()[0], glm::u16vec4(80, 80, 119, 119));
    EXPECT_EQ(cull.SphereRectangles()[1], glm::u16vec4(119, 95, 122, 104));
}

TEST(SphereCull, KeepsTubesAndLabelsThatMayShow)
{
    CSphereCull cull;
    cull.Build({BIG, {0.0f, 0.0f, -1.0f, 0.5f}}, View(false));
    // Mid-point and half vector: behind the sphere, then reaching out of it, then in front.
    const std::vector<CBondInstance> tubes = {{{0.0f, 0.0f, -1.0f, 0.0f}, {0.5f, 0.0f, 0.0f, 0.0f}},
                                              {{0.0f, 0.0f, -1.0f, 0.0f}, {3.0f, 0.0f, 0.0f, 0.0f}},
                                              {{0.0f, 0.0f, 2.5f, 0.0f}, {0.5f, 0.0f, 0.0f, 0.0f}}};
    EXPECT_EQ(cull.Segments(tubes, 0.1f), (std::vector<uint32_t>{1, 2}));
    // In front, between two atoms of radius r (in w): the bond program draws the stretch more than
    // a pixel (0.1) outside both, none once r > 1.105.
    const std::vector<CBondInstance> buried = {{{0.0f, 5.0f, 5.0f, 1.2f}, {1.0f, 0.0f, 0.0f, 1.2f}},
                                               {{0.0f, 5.0f, 5.0f, 1.09f}, {1.0f, 0.0f, 0.0f, 1.09f}}};
    EXPECT_EQ(cull.Segments(buried, 0.1f), (std::vector<uint32_t>{1}));
    // The label of the sphere behind is hidden; the big sphere's own is not, nor one whose point a
    // little before the centre comes out in front.
    const std::vector<glm::vec4> anchors = {BIG, {0.0f, 0.0f, -1.0f, 0.5f}, {0.0f, 0.0f, 1.4f, 0.7f}};
    EXPECT_EQ(cull.Labels(anchors, 1.1f), (std::vector<uint32_t>{0, 2}));
}

} // namespace
