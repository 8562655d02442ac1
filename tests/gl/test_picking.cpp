// Picking for real: the code image is drawn and read back from the window's framebuffer.

#include "gl_window.h"

#include <cmath>
#include <memory>

#include "cdisplay.h"
#include "cshell.h"
#include "structure_builder.h"

namespace {

const glm::vec4 BLACK(0.0f, 0.0f, 0.0f, 1.0f);

class PickingTest : public GlDisplayTest {
protected:
    void SetUp() override
    {
        GlDisplayTest::SetUp();
        if (HasFatalFailure())
            return;
        shell.atom = display.get();
        shell.display_w = WIDTH;
        shell.display_h = HEIGHT;
        SetBackground(glm::vec4(0.07f, 0.34f, 0.47f, 1.0f));
    }

    void SetBackground(const glm::vec4 &c)
    {
        shell.clear_color = ImVec4(c.r, c.g, c.b, c.a);
        display->SetClearColor(c);
    }

    void Load(const Atoms &atoms)
    {
        LoadAtoms(*display, atoms);
        display->RefreshStructure();
        DrawFrame();
    }

    void DrawFrame()
    {
        glViewport(0, 0, WIDTH, HEIGHT);
        shell.DrawScene();
    }

    glm::vec3 ClipOf(uint32_t i) const
    {
        const glm::vec4 clip = display->Projection * display->track.View * display->track.Model *
                               glm::vec4(display->v_float_raw_xyz[i], 1.0f);
        return glm::vec3(clip) / clip.w;
    }

    // Window position of atom i's centre, origin at the top left.
    glm::ivec2 ScreenOf(uint32_t i) const
    {
        const glm::vec3 ndc = ClipOf(i);
        return glm::ivec2(static_cast<int>((ndc.x + 1.0f) * 0.5f * WIDTH),
                          static_cast<int>((1.0f - ndc.y) * 0.5f * HEIGHT));
    }

    void PickAt(glm::ivec2 p)
    {
        display->SetPicking(p.x, p.y);
        DrawFrame();
    }

    CShell shell;
};

} // namespace

TEST_F(PickingTest, AtomZeroIsFoundOnABlackBackgroundAndTheCodeImageIsNeverShown)
{
    SetBackground(BLACK);
    Atoms atoms;
    atoms.Add(C_INDEX, glm::dvec3(0.0));
    Load(atoms);
    const glm::ivec2 centre = ScreenOf(0);
    PickAt(centre);
    EXPECT_FALSE(display->is_picking);
    ASSERT_TRUE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 0u);
    EXPECT_EQ(display->selected_zatom, 6u);
    EXPECT_EQ(display->selected_symbol, "C");
    EXPECT_EQ(display->selected_xyz, display->v_float_raw_xyz[0]);

    const Frame frame(WIDTH, HEIGHT);
    EXPECT_EQ(frame.At(5, 5), glm::vec3(0.0f)); // cleared back to the background after the read
    EXPECT_NE(frame.At(centre.x, HEIGHT - 1 - centre.y), glm::vec3(0.0f));

    PickAt(glm::ivec2(5, 5)); // the background deselects
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 0xFFFFFFu);
}

TEST_F(PickingTest, Atom256IsDecodedFromItsGreenByte)
{
    Atoms atoms;
    for (int k = 0; k < 300; k++)
        atoms.Add(C_INDEX, glm::dvec3(3.0 * (k % 20), 3.0 * (k / 20), 0.0));
    Load(atoms);
    for (uint32_t i : {256u, 255u, 257u, 0u, 299u}) {
        PickAt(ScreenOf(i));
        ASSERT_TRUE(display->is_atom_selected) << i;
        EXPECT_EQ(display->selected_atom, i);
        EXPECT_EQ(display->selected_xyz, display->v_float_raw_xyz[i]);
    }
}

TEST_F(PickingTest, TheAtomNearerTheViewerWins)
{
    Atoms atoms;
    atoms.Add(O_INDEX, glm::dvec3(0.0, 0.0, 0.0));
    atoms.Add(H_INDEX, glm::dvec3(0.1, 0.1, 1.2));
    Load(atoms);
    ASSERT_LT(ClipOf(1).z, ClipOf(0).z); // the hydrogen is in front
    PickAt(ScreenOf(0));
    EXPECT_EQ(display->selected_atom, 1u);
    EXPECT_EQ(display->selected_symbol, "H");

    display->SetTrackRotation(3.14159265f, 0.0f); // seen from behind
    DrawFrame();
    ASSERT_LT(ClipOf(0).z, ClipOf(1).z);
    PickAt(ScreenOf(1));
    EXPECT_EQ(display->selected_atom, 0u);
    EXPECT_EQ(display->selected_symbol, "O");
}

TEST_F(PickingTest, ACodeBeyondTheAtomsSelectsNothing)
{
    Atoms atoms;
    for (int k = 0; k < 3; k++)
        atoms.Add(H_INDEX, glm::dvec3(2.0 * k, 0.0, 0.0));
    Load(atoms);
    display->is_atom_selected = true;
    display->selected_atom = 1;

    // A pixel coded 5 under the pointer, as a stale or foreign image would leave it.
    display->SetPicking(100, 100);
    glClearColor(5.0f / 255.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    display->ProcessPicking(true);
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 0xFFFFFFu);

    glClearColor(2.0f / 255.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    display->ProcessPicking(true);
    EXPECT_TRUE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 2u);
}

TEST_F(PickingTest, PickPositionIsTheFramebufferPixelUnderThePointer)
{
    glViewport(0, 0, WIDTH, HEIGHT);
    display->SetPicking(10, 0);
    EXPECT_TRUE(display->is_picking);
    EXPECT_EQ(display->pcolor[0], 10);
    EXPECT_EQ(display->pcolor[1], HEIGHT - 1);
    display->SetPicking(WIDTH + 50, HEIGHT + 50); // outside the window: clamped to its edge
    EXPECT_EQ(display->pcolor[0], WIDTH - 1);
    EXPECT_EQ(display->pcolor[1], 0);
}
