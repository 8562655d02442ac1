#include <gtest/gtest.h>

#include "cpalette.h"
#include "cpick.h"

TEST(PickPixel, WindowRowsFromTheTopBecomeFramebufferRowsFromTheBottom)
{
    for (const glm::ivec2 size : {glm::ivec2(1280, 720), glm::ivec2(3, 5), glm::ivec2(1, 1)}) {
        SCOPED_TRACE(testing::Message() << size.x << "x" << size.y);
        const int viewport[4] = {0, 0, size.x, size.y};
        EXPECT_EQ(PickPixel(0, 0, viewport), glm::ivec2(0, size.y - 1)) << "top row";
        EXPECT_EQ(PickPixel(size.x - 1, size.y - 1, viewport), glm::ivec2(size.x - 1, 0)) << "bottom row";
        // Every window row lands on its mirror row, and columns stay.
        for (int y = 0; y < size.y; y++)
            EXPECT_EQ(PickPixel(size.x / 2, y, viewport), glm::ivec2(size.x / 2, size.y - 1 - y));
        // Outside the viewport: its nearest edge pixel.
        EXPECT_EQ(PickPixel(-4, -9, viewport), glm::ivec2(0, size.y - 1));
        EXPECT_EQ(PickPixel(size.x + 7, size.y + 2, viewport), glm::ivec2(size.x - 1, 0));
    }
}

TEST(PickPixel, FramebufferScaleMultipliesThePointer)
{
    const int viewport[4] = {0, 0, 2560, 1440};
    EXPECT_EQ(PickPixel(10, 0, viewport, glm::vec2(2.0f)), glm::ivec2(20, 1439));
    EXPECT_EQ(PickPixel(1279, 719, viewport, glm::vec2(2.0f)), glm::ivec2(2558, 1));
}

TEST(PickedAtom, OnlyCodesOfExistingAtomsSelect)
{
    for (const size_t n : {size_t(1), size_t(3), size_t(256), size_t(0x1000005)}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(PickedAtom(0, n), 0u);
        // The last atom, unless the palette has no code for it.
        EXPECT_EQ(PickedAtom(static_cast<uint32_t>(n - 1), n), n - 1 < PICK_NO_ATOM ? n - 1 : PICK_NO_ATOM);
        EXPECT_EQ(PickedAtom(PICK_NO_ATOM - 1, n), n >= PICK_NO_ATOM ? PICK_NO_ATOM - 1 : PICK_NO_ATOM);
        EXPECT_EQ(PickedAtom(static_cast<uint32_t>(n), n), PICK_NO_ATOM) << "one past the last atom";
        // White is the background, however many atoms there are.
        CPalette palette;
        EXPECT_EQ(PickedAtom(palette.get_index_rgb(255, 255, 255), n), PICK_NO_ATOM);
    }
    EXPECT_EQ(PickedAtom(0, 0), PICK_NO_ATOM);
}
