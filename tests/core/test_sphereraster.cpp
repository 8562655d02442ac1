#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include <glm/gtc/matrix_transform.hpp>

#include "csphereraster.h"

namespace {

const int WIDTH = 97;
const int HEIGHT = 61;

// A view of the square [-10, 10] (wider in x) from the camera at z = 50.
CSphereRaster::SView View()
{
    CSphereRaster::SView v;
    v.view = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, -50.0f));
    const float aspect = static_cast<float>(WIDTH) / HEIGHT;
    v.projection = glm::ortho(-10.0f * aspect, 10.0f * aspect, -10.0f, 10.0f, 1.0f, 100.0f);
    v.eye = glm::vec3(0.0f, 0.0f, 50.0f);
    v.scale = 1.0f;
    return v;
}

CAtomColours Colour(uint8_t r, uint8_t g, uint8_t b)
{
    return CAtomColours{{r, g, b, 255}, {0, 0, 0, 0}};
}

// The colour word of pixel (x, y), row 0 at the bottom; 0 where no sphere is.
uint32_t PixelAt(const CSphereRaster &r, int x, int y) { return r.Picture()[static_cast<size_t>(y) * WIDTH + x]; }

} // namespace

// Every split of the rows among threads draws the same picture, ties and overlaps included.
TEST(SphereRaster, TheSplitAmongThreadsNeverChangesThePicture)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> place(-12.0f, 12.0f), size(0.0f, 3.0f);
    std::vector<glm::vec4> spheres;
    std::vector<CAtomColours> colours;
    for (int k = 0; k < 400; k++) {
        spheres.emplace_back(place(random), place(random), k % 5 == 0 ? 0.0f : place(random), size(random));
        colours.push_back(Colour(static_cast<uint8_t>(k), static_cast<uint8_t>(k * 7), 200));
    }
    CSphereRaster one;
    one.u_threads = 1;
    one.Draw(spheres, colours, View(), WIDTH, HEIGHT);
    for (const unsigned threads : {2u, 3u, 7u, 200u}) {
        SCOPED_TRACE(threads);
        CSphereRaster split;
        split.u_threads = threads;
        split.Draw(spheres, colours, View(), WIDTH, HEIGHT);
        EXPECT_EQ(split.Picture(), one.Picture());
        EXPECT_EQ(split.Depth(), one.Depth());
    }
}

// Which of two overlapping spheres a pixel shows: the nearer point, the earlier one at equal depth;
// spheres of radius 0, far outside the view or not numbers leave the pixels alone.
TEST(SphereRaster, ThePixelShowsTheNearestSpherePoint)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char *name;
        glm::vec4 first, second;
        int shown; // 0: first, 1: second, -1: none
    } const cases[] = {
        {"the second in front", {0, 0, 0, 2}, {0, 0, 1, 2}, 1},
        {"the first in front", {0, 0, 1, 2}, {0, 0, 0, 2}, 0},
        {"the larger reaching nearer", {0, 0, 0, 3}, {0, 0, 0.5f, 2}, 0},
        {"a tie", {0, 0, 0, 2}, {0, 0, 0, 2}, 0},
        {"radius 0 and far away", {0, 0, 5, 0}, {1e9f, 0, 0, 2}, -1},
        {"not numbers", {nan, 0, 0, 2}, {0, inf, 0, 2}, -1},
    };
    // A third sphere, nearest but aside, makes the raster read the spheres last to first.
    const glm::vec4 aside(-8.0f, 6.0f, 5.0f, 1.0f);
    const std::vector<CAtomColours> colours = {Colour(255, 0, 0), Colour(0, 0, 255), Colour(0, 255, 0)};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CSphereRaster r;
        r.Draw({c.first, c.second, aside}, colours, View(), WIDTH, HEIGHT);
        // The centre and a pixel off it, where the sphere points lie behind the fronts.
        for (const glm::ivec2 p : {glm::ivec2(WIDTH / 2, HEIGHT / 2), glm::ivec2(WIDTH / 2 + 3, HEIGHT / 2 - 2)}) {
            const uint32_t shown = PixelAt(r, p.x, p.y);
            const uint32_t red = shown & 0xff, blue = (shown >> 16) & 0xff;
            EXPECT_EQ(c.shown < 0, shown == 0) << std::hex << shown;
            if (c.shown >= 0) {
                EXPECT_EQ(c.shown == 0, red > blue) << std::hex << shown;
            }
        }
        if (c.shown < 0)
            continue;
        const glm::vec4 s = c.shown == 0 ? c.first : c.second;
        EXPECT_FLOAT_EQ(r.Depth()[static_cast<size_t>(HEIGHT / 2) * WIDTH + WIDTH / 2], s.z - 50.0f + s.w);
    }
}

// The outline: a pixel is drawn when its centre lies inside the sphere's disc.
TEST(SphereRaster, APixelIsDrawnWhenItsCentreLiesInsideTheOutline)
{
    CSphereRaster r;
    const CSphereRaster::SView v = View();
    r.Draw({glm::vec4(1.3f, -2.1f, 0.0f, 4.2f)}, {Colour(90, 90, 90)}, v, WIDTH, HEIGHT);
    const float unit = 0.5f * WIDTH * v.projection[0][0];
    const glm::vec2 centre = (glm::vec2(v.projection * v.view * glm::vec4(1.3f, -2.1f, 0.0f, 1.0f)) + 1.0f) * 0.5f *
                             glm::vec2(WIDTH, HEIGHT);
    for (int y = 0; y < HEIGHT; y++)
        for (int x = 0; x < WIDTH; x++) {
            const float d = glm::length(glm::vec2(x + 0.5f, y + 0.5f) - centre) / (4.2f * unit);
            if (std::abs(d - 1.0f) > 1e-4f) {
                EXPECT_EQ(PixelAt(r, x, y) != 0, d < 1.0f) << x << ", " << y;
            }
        }
}
