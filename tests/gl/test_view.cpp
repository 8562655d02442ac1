// What the user sees of the whole: zooming never cuts the structure or the gizmo, the cell box sits
// among the atoms in red, and a load or a reset fits the structure to the window.

#include "scene_test.h"

#include <algorithm>

#include "elements.h"

namespace {

const float HALF_PI = 1.5707964f;

struct Box {
    glm::ivec2 lo{1 << 30}, hi{-(1 << 30)};
    void Add(const glm::ivec2 &p)
    {
        lo = glm::min(lo, p);
        hi = glm::max(hi, p);
    }
    bool Empty() const { return hi.x < lo.x; }
};

bool IsBackground(const glm::vec3 &c) { return glm::length(c - glm::vec3(0.1f, 0.2f, 0.5f)) < 0.02f; }
bool IsBoxRed(const glm::vec3 &c) { return c.r > 0.9f && c.g < 0.1f && c.b < 0.1f; }

// A gizmo pixel: one channel well above the others (the atoms in these tests are grey).
int GizmoAxis(const glm::vec3 &c)
{
    if (IsBackground(c))
        return -1;
    for (int k = 0; k < 3; k++)
        if (c[k] > 0.1f && c[k] > 2.0f * c[(k + 1) % 3] && c[k] > 2.0f * c[(k + 2) % 3])
            return k;
    return -1;
}

struct Gizmo {
    Box box;
    int pixels[3] = {0, 0, 0};
};

// The gizmo in the lower right quarter of the window.
Gizmo FindGizmo(const Frame &f)
{
    Gizmo g;
    for (const glm::ivec2 &p : f.Find([](const glm::vec3 &c) { return GizmoAxis(c) >= 0; }, f.width / 2, 0, f.width,
                                      f.height / 2)) {
        g.box.Add(p);
        g.pixels[GizmoAxis(f.At(p.x, p.y))]++;
    }
    return g;
}

} // namespace

class ViewTest : public SceneTest {};

TEST_F(ViewTest, ZoomingInNeverCutsTheStructureOrTheGizmo)
{
    Atoms one;
    one.Add(C_INDEX, {0, 0, 0});
    const glm::vec2 presets[] = {{-1.4f, -1.8f}, {HALF_PI, HALF_PI}, {HALF_PI, 0.0f}, {0.0f, HALF_PI}};
    for (const glm::vec2 &preset : presets) {
        SCOPED_TRACE(testing::Message() << "view " << preset.x << "," << preset.y);
        Load(one);
        display->SetTrackRotation(preset.x, preset.y);
        const Gizmo whole = FindGizmo(Draw());
        ASSERT_FALSE(whole.box.Empty());
        EXPECT_GT(whole.box.lo.x, 0);
        EXPECT_GT(whole.box.lo.y, 0) << "an arrow pointing down stays above the window's edge";
        EXPECT_LT(whole.box.hi.x, WIDTH - 1);
        // 15 wheel notches in, down to the smallest zoom.
        for (int notch = 1; notch <= 15; notch++) {
            SCOPED_TRACE(testing::Message() << "notch " << notch);
            display->SetZoom(-0.1f);
            const Frame f = Draw();
            const glm::ivec2 centre = PixelOf(glm::vec3(0.0f));
            EXPECT_FALSE(IsBackground(f.At(centre.x, centre.y))) << "the atom is there";
            const Gizmo g = FindGizmo(f);
            EXPECT_EQ(g.box.lo, whole.box.lo);
            EXPECT_EQ(g.box.hi, whole.box.hi);
            for (int k = 0; k < 3; k++)
                EXPECT_NEAR(g.pixels[k], whole.pixels[k], 0.05 * whole.pixels[k] + 2) << "axis " << k;
        }
    }
}

TEST_F(ViewTest, CellBoxIsRedAndHiddenBehindTheAtomsInFrontOfIt)
{
    Atoms grid;
    for (int k = 0; k < 27; k++)
        grid.Add(C_INDEX, glm::dvec3(k % 3, (k / 3) % 3, k / 9) * 2.2);
    Load(grid);
    display->is_show_box = true;
    display->SetTrackRotation(0.5f, 0.6f);
    const Frame f = Draw();

    // Along every edge of the box: where an atom's surface lies in front of the edge, the atom
    // shows; where the edge is in front of everything, the box shows in full red.
    std::vector<glm::vec3> corners(8);
    for (int k = 0; k < 8; k++)
        corners[k] = glm::vec3(display->m_cell_box * (glm::dvec3(k & 1, (k >> 1) & 1, (k >> 2) & 1) - 0.5));
    const float r = atom_rgbs[C_INDEX].w * display->atom_scale;
    const float pixel = 1.0f / PixelsPerUnit();
    std::vector<std::pair<int, int>> edges;
    for (int a = 0; a < 8; a++)
        for (const int bit : {1, 2, 4})
            if (!(a & bit))
                edges.emplace_back(a, a | bit);
    // Screen distance in pixels from a point to an edge.
    const auto distance_to = [&](const glm::vec2 &p, const std::pair<int, int> &e) {
        const glm::vec2 a(PixelOf(corners[e.first])), b(PixelOf(corners[e.second]));
        const float t = glm::clamp(glm::dot(p - a, b - a) / std::max(glm::dot(b - a, b - a), 1e-6f), 0.0f, 1.0f);
        return glm::length(p - (a + t * (b - a)));
    };
    int hidden = 0, shown = 0;
    for (const auto &e : edges)
        for (float t = 0.02f; t < 0.98f; t += 0.01f) {
            const glm::vec3 point = glm::mix(corners[e.first], corners[e.second], t);
            const glm::vec3 edge = CameraOf(point);
            const glm::ivec2 p = PixelOf(point);
            // Away from the other edges' lines.
            bool alone = true;
            for (const auto &other : edges)
                alone = alone && (other == e || distance_to(glm::vec2(p), other) > 4.0f);
            // The atom nearest the viewer whose disc holds the pixel with room to spare.
            float front = -1e9f, gap = 1e9f;
            for (const glm::vec3 &atom : display->v_float_raw_xyz) {
                const glm::vec3 c = CameraOf(atom);
                const float d = glm::length(glm::vec2(edge - c));
                gap = std::min(gap, std::fabs(d - r));
                if (d < r)
                    front = std::max(front, c.z + std::sqrt(r * r - d * d));
            }
            if (!alone || gap < 3.0f * pixel || std::fabs(front - edge.z) < 0.05f)
                continue;
            const auto red_near = f.Find(IsBoxRed, p.x - 1, p.y - 1, p.x + 2, p.y + 2);
            if (front > edge.z) {
                hidden++;
                EXPECT_TRUE(red_near.empty()) << "edge behind an atom at " << p.x << "," << p.y;
            } else {
                shown++;
                EXPECT_FALSE(red_near.empty()) << "edge in front at " << p.x << "," << p.y;
            }
        }
    EXPECT_GT(hidden, 20);
    EXPECT_GT(shown, 100);
}

TEST_F(ViewTest, ALoadAndAResetFitTheWholeStructureToTheWindow)
{
    // A long chain, seen in the start-up orientation.
    Atoms chain;
    for (int k = 0; k < 12; k++)
        chain.Add(k % 2 == 0 ? C_INDEX : O_INDEX, glm::dvec3(1.4, 1.1, 0.4) * static_cast<double>(k));
    display->SetTrackRotation(-1.4f, -1.8f);
    display->SetZoom(1.5f);
    display->SetViewOffset(glm::vec2(4.0f, -3.0f));
    Load(chain);
    const Frame fitted = Draw();
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);
    EXPECT_EQ(display->view_offset, glm::vec2(0.0f));

    // Every atom whole inside the window, the structure filling it up to a small margin.
    Box drawn;
    const float ppu = PixelsPerUnit();
    for (size_t i = 0; i < display->v_float_raw_xyz.size(); i++) {
        const glm::ivec2 c = PixelOf(display->v_float_raw_xyz[i]);
        const int r = static_cast<int>(std::ceil(atom_rgbs[display->v_atom_index[i]].w * ppu));
        drawn.Add(c - r);
        drawn.Add(c + r);
    }
    EXPECT_GE(drawn.lo.x, 0);
    EXPECT_GE(drawn.lo.y, 0);
    EXPECT_LT(drawn.hi.x, WIDTH);
    EXPECT_LT(drawn.hi.y, HEIGHT);
    const glm::vec2 used = glm::vec2(drawn.hi - drawn.lo) / glm::vec2(WIDTH, HEIGHT);
    EXPECT_GT(std::max(used.x, used.y), 0.85f) << "the margin is small";
    for (int x = 0; x < WIDTH; x += 7)
        EXPECT_TRUE(IsBackground(fitted.At(x, HEIGHT - 1))) << "top row at " << x;

    // Zoom and pan, then the reset (Esc): the same picture as after the load.
    display->SetZoom(2.0f);
    display->SetViewOffset(glm::vec2(3.0f, 1.0f));
    Draw();
    display->ResetScene();
    const Frame reset = Draw();
    EXPECT_EQ(reset.rgb, fitted.rgb);
}
