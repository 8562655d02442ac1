#include <gtest/gtest.h>

#include <cmath>

#include "cpalette.h"

namespace {

CPalette PaletteFor(uint32_t atoms)
{
    CPalette p;
    p.set_color(0);
    p.zmin = 0;
    p._lvls = atoms;
    p.zmax = atoms;
    p.update_palette_index();
    return p;
}

// What the pick pass reads back: each channel as an 8-bit value.
uint32_t ReadBack(CPalette &p, uint32_t k)
{
    const glm::vec3 c = p.get_index(k) * 255.0f;
    return p.get_index_rgb(static_cast<int>(std::lround(c.x)), static_cast<int>(std::lround(c.y)),
                           static_cast<int>(std::lround(c.z)));
}

} // namespace

TEST(PaletteTest, SetColor)
{
    CPalette p;
    EXPECT_EQ(p._ipalette, 0u);
    EXPECT_TRUE(p._index_palette.empty());
    EXPECT_TRUE(p._color_palette.empty());
    p.set_color(3);
    EXPECT_EQ(p._ipalette, 3u);
    EXPECT_EQ(p.w0, 6.0);
}

TEST(PaletteTest, OneEntryMoreThanAtoms)
{
    CPalette p = PaletteFor(3);
    ASSERT_EQ(p._index_palette.size(), 4u);
    EXPECT_EQ(p.get_index(0), glm::vec3(0.0f));
    EXPECT_EQ(p.get_index(1), glm::vec3(1.0f / 255.0f, 0.0f, 0.0f));
    EXPECT_EQ(p.get_index(2), glm::vec3(2.0f / 255.0f, 0.0f, 0.0f));
    EXPECT_EQ(p.get_index(3), glm::vec3(3.0f / 255.0f, 0.0f, 0.0f));

    // Refitted after a deletion, the table shrinks.
    p._lvls = 2;
    p.update_palette_index();
    EXPECT_EQ(p._index_palette.size(), 3u);
}

TEST(PaletteTest, CountsRedThenGreenThenBlue)
{
    CPalette p = PaletteFor(70000);
    EXPECT_EQ(p.get_index(255), glm::vec3(1.0f, 0.0f, 0.0f));
    EXPECT_EQ(p.get_index(256), glm::vec3(0.0f, 1.0f / 255.0f, 0.0f));
    EXPECT_EQ(p.get_index(65535), glm::vec3(1.0f, 1.0f, 0.0f));
    EXPECT_EQ(p.get_index(65536), glm::vec3(0.0f, 0.0f, 1.0f / 255.0f));
    EXPECT_EQ(p.get_index(65536 + 513), glm::vec3(1.0f / 255.0f, 2.0f / 255.0f, 1.0f / 255.0f));
    for (uint32_t k = 0; k <= 70000; ++k)
        ASSERT_EQ(ReadBack(p, k), k);
}

TEST(PaletteTest, DecodesReadBackColours)
{
    CPalette p;
    EXPECT_EQ(p.get_index_rgb(255, 255, 255), 16777215u);
    EXPECT_EQ(p.get_index_rgb(0, 0, 0), 0u);
    EXPECT_EQ(p.get_index_rgb(-3, 2, 0), 512u);
    EXPECT_EQ(p.get_index_rgb(7, -1, 3), 3u * 65536u + 7u);
    EXPECT_EQ(p.get_index_rgb(254, 255, 255), 16777214u);
}

// Past the last code an atom would read back as another one; it gets the background colour.
TEST(PaletteTest, IndicesBeyondTheCodeAreUnpickable)
{
    CPalette p = PaletteFor(16777216);
    EXPECT_EQ(ReadBack(p, 16777214), 16777214u);
    EXPECT_EQ(p.get_index(16777215), glm::vec3(1.0f));
    EXPECT_EQ(p.get_index(16777216), glm::vec3(1.0f));
    EXPECT_EQ(p.get_index(16777217), glm::vec3(1.0f));
}
