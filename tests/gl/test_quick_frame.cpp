// The quick picture drawn while the view moves: clicks pick what the full picture shows, and the
// full picture comes back, byte for byte, in the first frame without motion.

#include "scene_test.h"

#include <string>

namespace {

struct QuickCase {
    std::string name;
    size_t atoms;
    // view_zoom: above 1 the structure is seen from farther away, its bonds thinner than a pixel.
    float zoom;
};

// Far: points and no bonds. Near: points and tubes. One atom filling the window: quads, since no
// renderer draws points that large.
const QuickCase CASES[] = {
    {"water far away", 3000, 6.0f},
    {"water near", 3000, 1.0f},
    {"one atom filling the window", 1, 0.1f},
};

class QuickFrameTest : public SceneTest {
protected:
    void Show(const QuickCase &c)
    {
        Load(WaterBox(c.atoms));
        display->is_show_bond = true;
        display->SetAtomScale(true);
        display->view_zoom = c.zoom;
        Draw();
    }

    // A turn of the view to one it has not shown before, drawn as a frame of the moving view.
    Frame DrawMoving()
    {
        angle += 0.01f;
        display->SetTrackRotation(angle, 0.4f);
        display->NoteViewMoved();
        return Draw();
    }

    // What a click at window position p (origin at the top left) selects in the frame drawn next.
    uint32_t PickNext(glm::ivec2 p, bool moving)
    {
        display->SetPicking(p.x, p.y);
        if (moving) {
            DrawMoving();
        } else {
            Draw();
        }
        return display->selected_atom;
    }

    // Atom centres, their rims and background between them.
    std::vector<glm::ivec2> ClickPlaces() const
    {
        std::vector<glm::ivec2> places;
        const size_t n = display->v_float_raw_xyz.size();
        for (size_t i = 0; i < n; i += std::max<size_t>(n / 8, 1)) {
            const glm::vec2 s = display->ScreenPosition(static_cast<uint32_t>(i), glm::vec2(WIDTH, HEIGHT));
            for (const glm::ivec2 d : {glm::ivec2(0), glm::ivec2(-2, 1), glm::ivec2(3, -3)})
                places.push_back(glm::ivec2(s) + d);
        }
        places.push_back(glm::ivec2(2, 2));
        return places;
    }

    float angle = 0.3f;
};

TEST_F(QuickFrameTest, AClickWhileTheViewMovesPicksWhatTheFullPictureShows)
{
    for (const QuickCase &c : CASES) {
        SCOPED_TRACE(c.name);
        Show(c);
        for (const glm::ivec2 p : ClickPlaces()) {
            const uint32_t moving = PickNext(p, true);
            ASSERT_TRUE(display->NeedsFullFrame());
            EXPECT_EQ(moving, PickNext(p, false)) << "click at " << p.x << ", " << p.y;
        }
    }
}

TEST_F(QuickFrameTest, TheFirstFrameWithoutMotionIsTheFullPicture)
{
    for (const QuickCase &c : CASES) {
        SCOPED_TRACE(c.name);
        Show(c);
        const Frame quick = DrawMoving();
        EXPECT_TRUE(display->NeedsFullFrame());
        const Frame after = Draw();
        EXPECT_FALSE(display->NeedsFullFrame());
        EXPECT_EQ(after.rgb, Draw().rgb);
        // Far away the quick picture leaves the bonds out.
        if (c.zoom > 1.0f) {
            EXPECT_NE(quick.rgb, after.rgb);
        }
    }
}

// The atoms of the quick picture are drawn on the CPU: they must look as the impostors draw them,
// selection colours included, apart from outline pixels where the two round differently.
TEST_F(QuickFrameTest, TheQuickPictureShowsTheAtomsAsTheFullPictureDoes)
{
    for (const QuickCase &c : CASES) {
        SCOPED_TRACE(c.name);
        Show(c);
        display->is_show_bond = false;
        display->is_atom_selected = true;
        display->selected_atom = 0;
        display->selection.SelectOne(static_cast<uint32_t>(c.atoms / 2));
        const Frame quick = DrawMoving();
        const Frame full = Draw();
        size_t seen = 0, apart = 0;
        for (size_t k = 0; k < full.rgb.size(); k += 3) {
            const glm::ivec3 a(full.rgb[k], full.rgb[k + 1], full.rgb[k + 2]);
            const glm::ivec3 b(quick.rgb[k], quick.rgb[k + 1], quick.rgb[k + 2]);
            seen += glm::vec3(a) != glm::round(glm::vec3(BACKGROUND) * 255.0f) ? 1 : 0;
            apart += glm::any(glm::greaterThan(glm::abs(a - b), glm::ivec3(3))) ? 1 : 0;
        }
        EXPECT_GT(seen, 1000u);
        EXPECT_LE(apart, seen / 50) << apart << " of " << seen << " pixels differ";
    }
}

// A pointer held still during a drag notes motion but leaves the view as it was.
TEST_F(QuickFrameTest, MotionThatLeavesTheViewAsItWasDrawsTheFullPicture)
{
    Show(CASES[0]);
    const Frame quick = DrawMoving();
    const Frame held = Draw();
    display->NoteViewMoved();
    EXPECT_EQ(Draw().rgb, held.rgb);
    EXPECT_FALSE(display->NeedsFullFrame());
    EXPECT_NE(quick.rgb, held.rgb);
}

} // namespace
