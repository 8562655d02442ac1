// The full picture drawn without the atoms, bonds and labels that others hide is the picture drawn
// with them, byte for byte, and a pick finds the same atom at every pixel.

#include "scene_test.h"

#include <algorithm>
#include <string>

#include "cscenetarget.h"

namespace {

struct CullCase {
    std::string name;
    bool is_small_atoms;
    // view_zoom: above 1 the structure is seen from farther away, its atoms a few pixels wide.
    float zoom;
    bool is_smooth;
    // The front half of the box hidden, so that atoms inside come into view.
    bool is_front_hidden;
    // Atoms a few pixels wide cover no multisampled pixel whole, so they hide no atom.
    bool is_any_left_out;
    bool is_labelled;
};

const CullCase CASES[] = {
    {"large atoms", false, 1.0f, false, false, true, false},
    {"small atoms", true, 1.0f, false, false, true, true},
    {"atoms a few pixels wide", true, 5.0f, false, false, true, false},
    {"large atoms smooth", false, 1.0f, true, false, true, true},
    {"small atoms smooth", true, 1.0f, true, false, true, false},
    {"far away smooth", true, 5.0f, true, false, false, true},
    {"front half hidden", true, 1.0f, false, true, true, true},
    {"front half hidden smooth", false, 1.0f, true, true, true, false},
};

// A water box with, behind some of its atoms, copies just behind them (straight behind at
// shrinking distances, a little aside, at the same place) and a smaller atom in front of each.
Atoms Crowd()
{
    Atoms atoms = WaterBox(3000);
    const size_t n = atoms.size();
    for (size_t i = 0; i < n; i += 7) {
        const glm::dvec3 p = atoms.xyz[i];
        const double shift = std::pow(10.0, -static_cast<double>(i % 4));
        atoms.Add(atoms.index[i], p - glm::dvec3(0.0, 0.0, shift));
        atoms.Add(atoms.index[i], p + glm::dvec3(0.02, -0.01, -0.001));
        atoms.Add(atoms.index[i], p);
    }
    return atoms;
}

class CullTest : public SceneTest {
protected:
    void Show(const CullCase &c)
    {
        Load(Crowd());
        display->is_show_bond = true;
        display->is_show_label = c.is_labelled;
        display->SetAtomScale(c.is_small_atoms);
        display->view_zoom = c.zoom;
        display->SetTrackRotation(0.0f, 0.0f);
        std::vector<uint32_t> front;
        for (uint32_t i = 0; i < display->v_float_raw_xyz.size(); ++i)
            if (c.is_front_hidden && display->v_float_raw_xyz[i].z > 0.0f)
                front.push_back(i);
        display->SetHidden(front, true);
        // The nearest atom selected, drawn in the selection colour.
        const std::vector<glm::vec3> &xyz = display->v_float_raw_xyz;
        const auto nearest = std::max_element(xyz.begin(), xyz.end(),
                                              [](const glm::vec3 &a, const glm::vec3 &b) { return a.z < b.z; });
        display->is_atom_selected = true;
        display->selected_atom = static_cast<uint32_t>(nearest - xyz.begin());
    }

    // The full picture, culled or not, drawn single-sampled or `smooth` into the window.
    Frame DrawFull(bool is_cull, bool is_smooth)
    {
        display->is_cull = is_cull;
        if (is_smooth) {
            EXPECT_TRUE(target.Bind(WIDTH, HEIGHT, CSceneTarget::Samples(4)));
        }
        PrepareFrame();
        display->DrawScene(WIDTH, HEIGHT);
        if (is_smooth) {
            target.ResolveTo(0);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        }
        glUseProgram(0);
        return Frame(WIDTH, HEIGHT);
    }

    // The full picture at rest, then the quick one of a turned view, culling or not.
    Frame DrawQuickAfterFull(bool is_cull)
    {
        display->SetTrackRotation(0.0f, 0.0f);
        DrawFull(is_cull, false);
        display->SetTrackRotation(0.05f, 0.1f);
        display->NoteViewMoved();
        return DrawFull(is_cull, false);
    }

    // The pick pass's colours over the whole window.
    Frame DrawPickColours(bool is_cull)
    {
        display->is_cull = is_cull;
        PrepareFrame();
        glDisable(GL_BLEND);
        display->PickShader.Use();
        display->DrawAtoms(display->PickShader.Program, false);
        glUseProgram(0);
        return Frame(WIDTH, HEIGHT);
    }

    CSceneTarget target;
};

size_t DifferentPixels(const Frame &a, const Frame &b)
{
    size_t differ = 0;
    for (size_t k = 0; k < a.rgb.size(); k += 3)
        differ += a.rgb[k] != b.rgb[k] || a.rgb[k + 1] != b.rgb[k + 1] || a.rgb[k + 2] != b.rgb[k + 2] ? 1 : 0;
    return differ;
}

TEST_F(CullTest, TheCulledPictureAndPickAreTheWholeOnesAndLeaveAtomsAndBondsOut)
{
    for (const CullCase &c : CASES) {
        SCOPED_TRACE(c.name);
        Show(c);
        const Frame whole = DrawFull(false, c.is_smooth);
        const Frame culled = DrawFull(true, c.is_smooth);
        EXPECT_EQ(DifferentPixels(whole, culled), 0u);
        // Drawn again at rest, labels and all, the picture keeps its cull.
        const uint64_t stamp = display->instances.Culler().Stamp();
        DrawFull(true, c.is_smooth);
        EXPECT_EQ(display->instances.Culler().Stamp(), stamp);
        EXPECT_TRUE(display->instances.AtomsDrawn() < display->instances.AtomQuads() || !c.is_any_left_out);
        EXPECT_TRUE(display->instances.BondsDrawn() < display->instances.BondQuads() || !c.is_any_left_out);
        // So does one with a new selection, which colours atoms but moves none.
        display->selection.SelectAll(display->Hidden());
        const Frame selected = DrawFull(true, c.is_smooth);
        EXPECT_EQ(display->instances.Culler().Stamp(), stamp);
        EXPECT_EQ(DifferentPixels(DrawFull(false, c.is_smooth), selected), 0u);
        EXPECT_EQ(DifferentPixels(DrawPickColours(false), DrawPickColours(true)), 0u);
        EXPECT_EQ(DifferentPixels(DrawQuickAfterFull(false), DrawQuickAfterFull(true)), 0u);
    }
    target.Release();
}

} // namespace
