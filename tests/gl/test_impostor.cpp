// The ray-cast atoms and bonds against an independent ray march: the nearest surface under every
// pixel decides the depth, the colour and the atom a click picks.

#include "scene_test.h"

#include "cinstance.h"
#include "cscenetarget.h"

#include <algorithm>
#include <limits>

#include "elements.h"

namespace {

const int NONE = -1;

struct Hit {
    int object = NONE;
    float z = -std::numeric_limits<float>::infinity();
};

// Spheres and open tubes in camera space; the ray under a pixel runs along -z.
struct Oracle {
    struct Sphere {
        glm::vec3 c;
        float r;
    };
    struct Tube {
        glm::vec3 a, b;
        float r;
    };
    std::vector<Sphere> spheres; // object k
    std::vector<Tube> tubes;     // object spheres.size() + k

    static bool InTube(const Tube &t, const glm::vec3 &p)
    {
        const glm::vec3 axis = t.b - t.a;
        const float s = glm::dot(p - t.a, axis) / glm::dot(axis, axis);
        return s >= 0.0f && s <= 1.0f && glm::length(p - (t.a + s * axis)) <= t.r;
    }

    // Marches down the ray to the tube's first point, then bisects onto its surface.
    static float TubeFront(const Tube &t, const glm::vec2 &xy)
    {
        const float top = std::max(t.a.z, t.b.z) + t.r;
        const float bottom = std::min(t.a.z, t.b.z) - t.r;
        for (float z = top; z >= bottom; z -= 0.004f) {
            if (!InTube(t, glm::vec3(xy, z)))
                continue;
            float outside = z + 0.004f, inside = z;
            for (int k = 0; k < 30; k++) {
                const float mid = 0.5f * (outside + inside);
                (InTube(t, glm::vec3(xy, mid)) ? inside : outside) = mid;
            }
            return inside;
        }
        return -std::numeric_limits<float>::infinity();
    }

    Hit Nearest(const glm::vec2 &xy) const
    {
        Hit h;
        for (size_t k = 0; k < spheres.size(); k++) {
            const float d2 = glm::dot(xy - glm::vec2(spheres[k].c), xy - glm::vec2(spheres[k].c));
            const float r2 = spheres[k].r * spheres[k].r;
            if (d2 <= r2 && spheres[k].c.z + std::sqrt(r2 - d2) > h.z)
                h = {static_cast<int>(k), spheres[k].c.z + std::sqrt(r2 - d2)};
        }
        for (size_t k = 0; k < tubes.size(); k++) {
            const float z = TubeFront(tubes[k], xy);
            if (z > h.z)
                h = {static_cast<int>(spheres.size() + k), z};
        }
        return h;
    }
};

class ImpostorTest : public SceneTest {
protected:
    Oracle MakeOracle() const
    {
        Oracle o;
        const CDisplay &d = *display;
        for (size_t i = 0; i < d.v_float_raw_xyz.size(); i++)
            o.spheres.push_back({CameraOf(d.v_float_raw_xyz[i]), atom_rgbs[d.v_atom_index[i]].w * d.atom_scale});
        if (d.is_show_bond)
            for (uint32_t k = 0; k < d.i_number_of_bonds; k++)
                o.tubes.push_back({CameraOf(d.v_float_raw_xyz[d.m_bond_indices[k].x]),
                                   CameraOf(d.v_float_raw_xyz[d.m_bond_indices[k].y]), 0.1f});
        return o;
    }

    // Pixels (every `step`-th, around the structure) whose 3 x 3 neighbourhood sees one object
    // over a gentle slope, so that the pixel's own value is not a matter of rounding.
    struct Sample {
        glm::ivec2 p;
        Hit hit;
    };
    std::vector<Sample> ClearSamples(const Oracle &o, int step) const
    {
        glm::ivec2 lo(WIDTH, HEIGHT), hi(0);
        for (const Oracle::Sphere &s : o.spheres) {
            const int reach = static_cast<int>(s.r * PixelsPerUnit()) + 3;
            const glm::vec4 c = display->Projection * glm::vec4(s.c, 1.0f);
            const glm::ivec2 p((c.x + 1.0f) * 0.5f * WIDTH, (c.y + 1.0f) * 0.5f * HEIGHT);
            lo = glm::max(glm::min(lo, p - reach), glm::ivec2(1));
            hi = glm::min(glm::max(hi, p + reach), glm::ivec2(WIDTH - 2, HEIGHT - 2));
        }
        const float slope = 0.03f;
        std::vector<Sample> samples;
        for (int y = lo.y; y <= hi.y; y += step)
            for (int x = lo.x; x <= hi.x; x += step) {
                const Hit h = o.Nearest(RayOf(x, y));
                bool clear = true;
                for (int dy = -1; dy <= 1 && clear; dy++)
                    for (int dx = -1; dx <= 1 && clear; dx++) {
                        const Hit n = o.Nearest(RayOf(x + dx, y + dy));
                        clear = n.object == h.object && (h.object == NONE || std::fabs(n.z - h.z) < slope);
                    }
                if (clear)
                    samples.push_back({{x, y}, h});
            }
        return samples;
    }

    // Every clear pixel shows the oracle's depth (or the cleared depth where nothing is hit).
    void ExpectDepthOfNearestSurfaces(int step)
    {
        const Oracle o = MakeOracle();
        const std::vector<float> depth = AtomAndBondDepth();
        const std::vector<Sample> samples = ClearSamples(o, step);
        ASSERT_GT(samples.size(), 200u);
        const float tolerance = std::fabs(WindowDepthOf(0.002f) - WindowDepthOf(0.0f));
        int wrong = 0;
        for (const Sample &s : samples) {
            const float got = depth[static_cast<size_t>(s.p.y) * WIDTH + s.p.x];
            const float want = s.hit.object == NONE ? 1.0f : WindowDepthOf(s.hit.z);
            if (std::fabs(got - want) > tolerance && wrong++ < 5)
                ADD_FAILURE() << "pixel " << s.p.x << "," << s.p.y << " object " << s.hit.object << ": depth " << got
                              << ", nearest surface at " << want;
        }
        EXPECT_EQ(wrong, 0);
    }
};

// Two spheres that cut into each other, one red and one blue, in a turned view.
Atoms OverlappingSpheres()
{
    Atoms atoms;
    atoms.Add(O_INDEX, {-0.45, 0.0, 0.0});
    atoms.Add(N_INDEX, {0.4, 0.15, 0.35});
    return atoms;
}

} // namespace

TEST_F(ImpostorTest, IntersectingSpheresShowTheNearerSurfaceInDepthAndColour)
{
    Load(OverlappingSpheres());
    display->SetTrackRotation(0.4f, 0.9f);
    ExpectDepthOfNearestSurfaces(2);

    const Oracle o = MakeOracle();
    const Frame f = Draw();
    int checked = 0;
    for (const auto &s : ClearSamples(o, 3)) {
        if (s.hit.object == NONE)
            continue;
        // Oxygen is red, nitrogen blue.
        const glm::vec3 c = f.At(s.p.x, s.p.y);
        EXPECT_EQ(c.r > c.b, s.hit.object == 0) << "pixel " << s.p.x << "," << s.p.y;
        checked++;
    }
    EXPECT_GT(checked, 500);
}

TEST_F(ImpostorTest, BondsEnterTheirAtomsWhereTheSurfacesCross)
{
    Atoms atoms;
    const glm::dvec3 along = glm::normalize(glm::dvec3(1.5, 0.2, 0.65)) * 1.45;
    atoms.Add(C_INDEX, -0.5 * along);
    atoms.Add(C_INDEX, 0.5 * along);
    atoms.Add(H_INDEX, 0.5 * along + glm::dvec3(0.3, 1.0, -0.2));
    Load(atoms);
    ASSERT_GE(display->i_number_of_bonds, 2u);
    display->is_show_bond = true;
    display->SetAtomScale(true);
    for (const glm::vec2 turn : {glm::vec2(0.0f), glm::vec2(0.5f, 0.3f), glm::vec2(1.2f, -0.7f)}) {
        SCOPED_TRACE(testing::Message() << "view " << turn.x << "," << turn.y);
        display->SetTrackRotation(turn.x, turn.y);
        ExpectDepthOfNearestSurfaces(3);
    }
}

TEST_F(ImpostorTest, APickNamesTheAtomWhoseSurfaceIsNearestUnderThePixel)
{
    Load(OverlappingSpheres());
    display->SetTrackRotation(0.4f, 0.9f);
    Draw();
    const Oracle o = MakeOracle();
    // Along rows across both spheres: over their edges and the line where they cut.
    const glm::ivec2 a = PixelOf(display->v_float_raw_xyz[0]);
    const glm::ivec2 b = PixelOf(display->v_float_raw_xyz[1]);
    const int reach = static_cast<int>(0.8f * PixelsPerUnit());
    int edges = 0;
    // Rows off the centres, where a sphere is narrower than its quad.
    for (const int row : {a.y + reach / 3, (a.y + b.y) / 2, b.y - reach / 3}) {
        const int x0 = std::min(a.x, b.x) - reach, x1 = std::max(a.x, b.x) + reach;
        std::vector<int> want;
        for (int x = x0; x <= x1; x++)
            want.push_back(o.Nearest(RayOf(x, row)).object);
        for (int x = x0; x <= x1; x++) {
            // Every pixel within two of a change of atom, and a few in between.
            const size_t k = static_cast<size_t>(x - x0);
            const bool near_change = (k > 1 && want[k - 2] != want[k]) || (k + 2 < want.size() && want[k + 2] != want[k]);
            edges += k > 0 && want[k - 1] != want[k];
            if (!near_change && k % 16 != 0)
                continue;
            display->SetPicking(x, HEIGHT - 1 - row);
            PrepareFrame();
            display->DrawScene(WIDTH, HEIGHT);
            EXPECT_EQ(display->is_atom_selected ? static_cast<int>(display->selected_atom) : NONE, want[k])
                << "pixel " << x << "," << row;
        }
    }
    EXPECT_GE(edges, 6) << "each row crosses both outer edges and the cut";
}

TEST_F(ImpostorTest, BuffersFollowEditsAndLoads)
{
    Atoms atoms;
    atoms.Add(O_INDEX, {-3, 0, 0});
    atoms.Add(C_INDEX, {0, 0, 0});
    atoms.Add(N_INDEX, {3, 0, 0});
    Load(atoms);
    const auto is_background = [](const glm::vec3 &c) { return glm::length(c - glm::vec3(BACKGROUND)) < 0.02f; };
    const auto is_label = [](const glm::vec3 &c) { return c.r > 0.45f && c.g > 0.45f && c.b < 0.3f; };
    Frame f = Draw();
    const glm::ivec2 oxygen = PixelOf({-3, 0, 0}), carbon = PixelOf({0, 0, 0}), nitrogen = PixelOf({3, 0, 0});
    const int r = static_cast<int>(PixelsPerUnit());
    const auto label_near = [&](const Frame &frame, glm::ivec2 p) {
        return !frame.Find(is_label, p.x - r, p.y - r, p.x + r, p.y + r).empty();
    };
    display->is_show_label = true;
    ASSERT_TRUE(label_near(Draw(), oxygen));

    display->DeleteAtom(0);
    EXPECT_FALSE(label_near(Draw(), oxygen)) << "its label went with it";
    display->is_show_label = false;
    f = Draw();
    EXPECT_TRUE(is_background(f.At(oxygen.x, oxygen.y)));
    EXPECT_GT(f.At(nitrogen.x, nitrogen.y).b, 0.4f);
    // The pick colours moved down with the atoms.
    display->SetPicking(nitrogen.x, HEIGHT - 1 - nitrogen.y);
    Draw();
    ASSERT_TRUE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 1u);

    display->selected_atom = 0;
    display->UpdateAtomType(O_INDEX);
    display->is_atom_selected = false;
    f = Draw();
    const glm::vec3 now_oxygen = f.At(carbon.x, carbon.y);
    EXPECT_GT(now_oxygen.r, 2.0f * now_oxygen.g) << "the carbon became an oxygen";

    glm::vec3 moved(0.0f, 2.0f, 0.0f);
    display->SetNewCoordinates(0, moved);
    f = Draw();
    EXPECT_TRUE(is_background(f.At(carbon.x, carbon.y)));
    const glm::ivec2 there = PixelOf(moved);
    EXPECT_GT(f.At(there.x, there.y).r, 0.4f);

    // An edit made on the model directly shows once the display is told.
    display->v_float_raw_xyz[0] = glm::vec3(-2.0f, -2.0f, 0.0f);
    display->StructureChanged();
    f = Draw();
    EXPECT_TRUE(is_background(f.At(there.x, there.y)));

    Atoms other;
    other.Add(N_INDEX, {0, 0, 0});
    Load(other);
    f = Draw();
    EXPECT_GT(f.At(PixelOf({0, 0, 0}).x, PixelOf({0, 0, 0}).y).b, 0.4f);
}

TEST_F(ImpostorTest, NoAtomsOrNoBondsDrawWithoutErrors)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    display->is_show_bond = true;
    display->is_show_label = true;
    display->is_show_box = true;
    Load(Atoms());
    display->is_show_bond = true;
    display->is_show_label = true;
    Draw();
    display->SetPicking(10, 10);
    Draw();
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    Atoms lone;
    lone.Add(C_INDEX, {0, 0, 0});
    Load(lone);
    display->is_show_bond = true;
    EXPECT_EQ(display->i_number_of_bonds, 0u);
    const Frame f = Draw();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const glm::ivec2 c = PixelOf({0, 0, 0});
    EXPECT_GT(glm::length(f.At(c.x, c.y) - glm::vec3(BACKGROUND)), 0.1f);
}

// Bond quads leave out the stretches their end atoms hide; the picture must stay the one of whole
// quads, single- and multisampled (where a bond enters an atom near its rim, the rim's samples
// show the bond). Whole quads come from the uploaded records with their end radii cleared; only
// rounding at the tubes' outlines may differ, in a few pixels.
TEST_F(ImpostorTest, BondsCutShortToWhatTheirAtomsLeaveShowAsWholeOnes)
{
    Load(WaterBox(24));
    display->is_show_bond = true;
    ASSERT_GT(display->i_number_of_bonds, 10u);
    CSceneTarget target;
    const auto draw = [&](int samples) {
        if (samples > 0) {
            ASSERT_TRUE(target.Bind(WIDTH, HEIGHT, samples));
        }
        PrepareFrame();
        display->DrawScene(WIDTH, HEIGHT);
        if (samples > 0)
            target.ResolveTo(0);
        glUseProgram(0);
    };
    const auto whole_bonds = [&]() {
        std::vector<CBondInstance> bonds(display->i_number_of_bonds);
        glBindBuffer(GL_TEXTURE_BUFFER, display->instances.VBOB);
        glGetBufferSubData(GL_TEXTURE_BUFFER, 0, static_cast<GLsizeiptr>(bonds.size() * sizeof(CBondInstance)),
                           bonds.data());
        for (CBondInstance &b : bonds)
            b.centre.w = b.half.w = 0.0f;
        glBufferSubData(GL_TEXTURE_BUFFER, 0, static_cast<GLsizeiptr>(bonds.size() * sizeof(CBondInstance)),
                        bonds.data());
        glBindBuffer(GL_TEXTURE_BUFFER, 0);
    };
    for (const bool ball_and_stick : {false, true})
        for (const int samples : {0, CSceneTarget::Samples(4)})
            for (const glm::vec2 turn : {glm::vec2(0.3f, 0.7f), glm::vec2(1.3f, -0.4f)}) {
                SCOPED_TRACE(testing::Message() << "scale " << ball_and_stick << ", samples " << samples << ", view "
                                                << turn.x << "," << turn.y);
                display->SetAtomScale(ball_and_stick);
                display->SetTrackRotation(turn.x, turn.y);
                display->StructureChanged();
                draw(samples);
                const Frame cut(WIDTH, HEIGHT);
                whole_bonds();
                draw(samples);
                const Frame whole(WIDTH, HEIGHT);
                int differing = 0;
                for (int y = 0; y < HEIGHT; y++)
                    for (int x = 0; x < WIDTH; x++)
                        differing += glm::length(cut.At(x, y) - whole.At(x, y)) > 0.02f;
                EXPECT_LE(differing, 10);
            }
}

// A chain along x through a cell 1.4 angstrom long: the atom bonds only to its own images, and
// that bond shows, with the other bonds, as far as the cell's face.
TEST_F(ImpostorTest, BondsAcrossTheCellShowUpToItsFace)
{
    Atoms chain;
    chain.Add(C_INDEX, {0, 0, 0});
    FillModel(*display, chain);
    display->is_periodic = true;
    display->m_cell_box = glm::dmat3(1.4, 0, 0, 0, 10, 0, 0, 0, 10);
    display->SetModel();
    display->EvalModel();
    display->RefreshStructure();
    ASSERT_EQ(display->i_number_of_bonds, 0u);
    ASSERT_EQ(display->i_number_of_bonds_pbc, 1u);
    display->is_show_box = false;
    Draw(); // fits the view
    const glm::ivec2 inside = PixelOf({1.2f, 0.0f, 0.0f}), beyond = PixelOf({1.6f, 0.0f, 0.0f});
    const auto is_background = [](const glm::vec3 &c) { return glm::length(c - glm::vec3(BACKGROUND)) < 0.02f; };
    display->is_show_bond = true;
    Frame f = Draw();
    EXPECT_FALSE(is_background(f.At(inside.x, inside.y)));
    EXPECT_TRUE(is_background(f.At(beyond.x, beyond.y)));
    display->is_show_bond = false;
    f = Draw();
    EXPECT_TRUE(is_background(f.At(inside.x, inside.y)));
}
