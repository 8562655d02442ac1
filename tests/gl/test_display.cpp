#include "gl_window.h"
#include "scene_test.h"

#include <cmath>
#include <memory>
#include <string>
#include <glm/gtc/matrix_transform.hpp>

#include "cdisplay.h"
#include "cimageexport.h"
#include "cwindowscene.h"
#include "png_file.h"
#include "scratch_folder.h"
#include "cshader.h"
#include "elements.h"
#include "shaders/pick.h"
#include "structure_builder.h"

namespace {

const glm::vec4 BACKGROUND(0.1f, 0.2f, 0.5f, 1.0f);
const char *const ROBOTO = "/usr/share/fonts/truetype/roboto/hinted/Roboto-Medium.ttf";
const char *const LIBERATION = "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf";

// The lit colour of the sphere point nearest the viewer in the unrotated view: there the normal,
// the eye and the light at (4, 4, 4) give cos(theta) = cos(alpha) = 3 / sqrt(41) at distance sqrt(41).
glm::vec3 FrontColour(const glm::vec3 &c)
{
    const double k = 3.0 / std::sqrt(41.0);
    const double diffuse = 0.6 * 50.0 * k / 41.0;
    const double specular = 0.3 * 0.6 * 50.0 * std::pow(k, 5.0) / 41.0;
    return glm::min(c * static_cast<float>(0.2 + diffuse) + glm::vec3(static_cast<float>(specular)), glm::vec3(1.0f));
}

glm::vec3 ElementColour(uint32_t e) { return glm::vec3(atom_rgbs[e]); }

// The pixel nearest a sphere's projected centre sees a slightly tilted normal: a few levels of slack.
bool Near(const glm::vec3 &a, const glm::vec3 &b, float tol = 6.0f / 255.0f)
{
    return std::fabs(a.r - b.r) <= tol && std::fabs(a.g - b.g) <= tol && std::fabs(a.b - b.b) <= tol;
}

bool IsBackground(const glm::vec3 &c) { return Near(c, glm::vec3(BACKGROUND), 1.5f / 255.0f); }
bool IsRed(const glm::vec3 &c) { return c.r > 0.15f && c.g < 0.05f && c.b < 0.05f; }
bool IsYellow(const glm::vec3 &c) { return c.r > 0.45f && c.g > 0.45f && c.b < 0.3f && std::fabs(c.r - c.g) < 0.1f; }
bool IsGrey(const glm::vec3 &c)
{
    return c.r > 0.1f && std::fabs(c.r - c.g) < 1.5f / 255.0f && std::fabs(c.g - c.b) < 1.5f / 255.0f;
}

struct Viewport {
    int x, y, w, h;
};
const Viewport FULL = {0, 0, 1280, 720};

glm::ivec2 ToPixel(const Viewport &v, const glm::vec2 &ndc)
{
    return glm::ivec2(static_cast<int>(std::floor(v.x + (ndc.x + 1.0f) * 0.5f * v.w)),
                      static_cast<int>(std::floor(v.y + (ndc.y + 1.0f) * 0.5f * v.h)));
}

struct Box {
    glm::ivec2 lo{1 << 30}, hi{-(1 << 30)};
    void Add(const glm::ivec2 &p)
    {
        lo = glm::min(lo, p);
        hi = glm::max(hi, p);
    }
};

class DisplayTest : public SceneTest {
protected:
    // One frame the way the application draws it, read back whole.
    Frame Draw(const Viewport &v = FULL)
    {
        viewport = v;
        PrepareFrame(v.x, v.y, v.w, v.h);
        display->DrawScene(v.w, v.h);
        glUseProgram(0);
        return Frame(WIDTH, HEIGHT);
    }

    // Where the last frame put a world point.
    glm::ivec2 PixelOf(const glm::vec3 &p) const
    {
        const glm::vec4 c = display->Projection * display->track.View * display->track.Model * glm::vec4(p, 1.0f);
        return ToPixel(viewport, glm::vec2(c) / c.w);
    }

    glm::vec3 ColourAt(const Frame &f, const glm::vec3 &p) const
    {
        const glm::ivec2 q = PixelOf(p);
        return f.At(q.x, q.y);
    }

    float PixelsPerUnit() const { return viewport.w * 0.5f * display->Projection[0][0]; }

    Viewport viewport = FULL;
};

Atoms ThreeElements()
{
    Atoms atoms;
    atoms.Add(O_INDEX, {-3, 0, 0});
    atoms.Add(C_INDEX, {0, 0, 0});
    atoms.Add(H_INDEX, {3, 0, 0});
    return atoms;
}

} // namespace

TEST_F(DisplayTest, ConstructionLoadsTheFirstFontAndStartsRotated)
{
    testing::internal::CaptureStdout();
    CDisplay fresh;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("MESSAGE::FREETYPE: loaded font ") + ROBOTO + "\n");
    EXPECT_EQ(fresh.labels.Characters.size(), 128u);
    EXPECT_GT(fresh.labels.Characters['A'].Size.x, 0);
    EXPECT_EQ(fresh.gizmo.arrow_vertex, 20);
    const glm::mat4 start = glm::rotate(glm::mat4(1.0f), -1.4f, glm::vec3(1, 0, 0)) *
                            glm::rotate(glm::mat4(1.0f), -1.8f, glm::vec3(0, 0, 1));
    EXPECT_EQ(fresh.track.Model, start);
    fresh.Delete();
}

TEST_F(DisplayTest, ZoomNeverDropsBelowATenthAndResetSceneRestoresTheView)
{
    display->SetZoom(-5.0f);
    EXPECT_FLOAT_EQ(display->view_zoom, 0.1f);
    display->SetZoom(0.05f);
    EXPECT_NEAR(display->view_zoom, 0.15f, 1e-6f);
    display->SetAxesPosition(glm::vec3(0.1f, 0.2f, 0.3f));
    display->SetViewOffset(glm::vec2(2.0f, -1.0f));
    display->ResetScene();
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);
    EXPECT_EQ(display->view_offset, glm::vec2(0.0f));
    EXPECT_EQ(display->axis_position, glm::vec3(-0.85f, 0.8f, -0.5f));
}

TEST_F(DisplayTest, AtomsShowTheirElementColourAtTheirCentre)
{
    Load(ThreeElements());
    const Frame f = Draw();
    for (uint32_t i = 0; i < 3; i++) {
        SCOPED_TRACE(symbol[display->v_atom_index[i]]);
        const glm::vec3 c = ColourAt(f, display->v_float_raw_xyz[i]);
        EXPECT_TRUE(Near(c, FrontColour(ElementColour(display->v_atom_index[i]))))
            << c.r * 255 << " " << c.g * 255 << " " << c.b * 255;
    }
    EXPECT_TRUE(IsBackground(f.At(100, 600)));

    // The frame ends with the gizmo program current and no vertex array bound.
    display->DrawScene(WIDTH, HEIGHT);
    GLint program = 0, vao = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
    EXPECT_EQ(static_cast<GLuint>(program), display->ArrowShader.Program);
    EXPECT_EQ(vao, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DisplayTest, SelectedAtomIsHighlightedWhileSelected)
{
    Load(ThreeElements());
    const glm::vec3 carbon = display->v_float_raw_xyz[1];
    display->is_atom_selected = true;
    display->selected_atom = 1;
    Frame f = Draw();
    EXPECT_TRUE(Near(ColourAt(f, carbon), FrontColour(glm::vec3(1.5f, 0.75f, 0.45f))));
    EXPECT_TRUE(Near(ColourAt(f, display->v_float_raw_xyz[0]), FrontColour(ElementColour(O_INDEX))));

    display->is_atom_selected = false;
    f = Draw();
    EXPECT_TRUE(Near(ColourAt(f, carbon), FrontColour(ElementColour(C_INDEX))));

    // Deleting another atom clears the selection: nothing is highlighted afterwards.
    display->is_atom_selected = true;
    display->DeleteAtom(0);
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 0xFFFFFFu);
    EXPECT_EQ(display->pick._index_palette.size(), 3u);
    f = Draw();
    EXPECT_TRUE(Near(ColourAt(f, carbon), FrontColour(ElementColour(C_INDEX))));
}

TEST_F(DisplayTest, EditsOnlyTouchValidAtoms)
{
    Load(ThreeElements());
    display->DeleteAtom(3);
    EXPECT_EQ(display->v_float_raw_xyz.size(), 3u);

    display->UpdateAtomType(O_INDEX);
    EXPECT_EQ(display->v_atom_index[1], C_INDEX) << "no atom is selected";
    display->is_atom_selected = true;
    display->selected_atom = 1;
    display->UpdateAtomType(200);
    EXPECT_EQ(display->v_atom_index[1], C_INDEX) << "not an element";
    display->UpdateAtomType(SI_INDEX);
    EXPECT_EQ(display->v_atom_index[1], SI_INDEX);
    EXPECT_EQ(display->selected_zatom, 14u);
    EXPECT_EQ(display->selected_symbol, "Si");
    EXPECT_FALSE(display->IsUpdated());
}

TEST_F(DisplayTest, BondsAreGreyTubesOnlyWhenShown)
{
    Atoms atoms;
    atoms.Add(C_INDEX, {-0.75, 0, 0});
    atoms.Add(C_INDEX, {0.75, 0, 0});
    Load(atoms);
    ASSERT_EQ(display->i_number_of_bonds, 1u);
    const glm::vec3 middle(0.0f);
    // Small atoms leave the middle of the bond free.
    display->SetAtomScale(true);
    Frame f = Draw();
    EXPECT_TRUE(IsBackground(ColourAt(f, middle)));

    display->is_show_bond = true;
    f = Draw();
    EXPECT_TRUE(IsGrey(ColourAt(f, middle)));
    EXPECT_TRUE(IsGrey(ColourAt(f, glm::vec3(0.2f, 0.0f, 0.0f))));
    // Radius 0.1 whatever the atom scale: about 0.2 units of grey across the tube.
    const glm::ivec2 m = PixelOf(middle);
    const auto column = f.Find(IsGrey, m.x, 0, m.x + 1, HEIGHT);
    EXPECT_NEAR(static_cast<float>(column.size()), 0.2f * PixelsPerUnit(), 3.0f);

    display->is_bond_eval = false;
    f = Draw();
    EXPECT_TRUE(IsBackground(ColourAt(f, middle)));

    // The bond pass itself checks both switches.
    for (const bool evaluated : {false, true}) {
        display->is_bond_eval = evaluated;
        display->is_show_bond = !evaluated;
        Draw();
        display->BondShader.Use();
        display->DrawBonds(display->BondShader.Program);
        EXPECT_TRUE(IsBackground(Frame(WIDTH, HEIGHT).At(PixelOf(middle).x, PixelOf(middle).y)));
    }
}

TEST_F(DisplayTest, CellBoxIsRedOnlyWhenShown)
{
    Atoms atoms;
    atoms.Add(C_INDEX, {-2, 0, 0});
    atoms.Add(H_INDEX, {2, 1, 0});
    Load(atoms);
    EXPECT_FALSE(display->is_show_box) << "a molecule hides its box after loading";
    // Away from the gizmo in the lower right, whose x arrow is red too.
    auto red_outside_gizmo = [](const Frame &f) {
        return f.Find(IsRed, 0, 0, 1000, 720).size() + f.Find(IsRed, 1000, 250, 1280, 720).size();
    };
    Frame f = Draw();
    EXPECT_EQ(red_outside_gizmo(f), 0u);

    display->is_show_box = true;
    f = Draw();
    EXPECT_GT(red_outside_gizmo(f), 100u);
    // The left and right faces of the padded box, drawn without the camera's distance.
    const float half = display->v_box_size.x * 0.5f;
    for (const float x : {-half, half}) {
        const glm::vec4 c = display->Projection * display->track.Model * glm::vec4(x, 0, 0, 1);
        const glm::ivec2 p = ToPixel(FULL, glm::vec2(c));
        EXPECT_FALSE(f.Find(IsRed, p.x - 2, p.y, p.x + 3, p.y + 1).empty()) << "x = " << x;
    }
}

TEST_F(DisplayTest, LabelsAreYellowNextToTheirAtoms)
{
    Atoms atoms;
    atoms.Add(C_INDEX, {-2, 0, 0});
    atoms.Add(C_INDEX, {2, 0, 0});
    Load(atoms);
    Frame f = Draw();
    EXPECT_TRUE(f.Find(IsYellow).empty());

    display->is_show_label = true;
    f = Draw();
    const glm::ivec2 c = PixelOf(display->v_float_raw_xyz[0]);
    const int reach = static_cast<int>(PixelsPerUnit());
    const auto near_atom = f.Find(IsYellow, c.x - reach / 2, c.y - reach / 2, c.x + reach, c.y + reach / 2);
    EXPECT_GT(near_atom.size(), 30u);
    const auto all = f.Find(IsYellow);
    EXPECT_GT(all.size(), near_atom.size()) << "the second atom has its label too";
    Box symbol_only;
    for (const glm::ivec2 &p : near_atom)
        symbol_only.Add(p);

    // "C0" reaches further right than "C".
    display->ShowIndex(true);
    f = Draw();
    Box with_index;
    for (const glm::ivec2 &p : f.Find(IsYellow, c.x - reach / 2, c.y - reach / 2, c.x + reach, c.y + reach / 2))
        with_index.Add(p);
    EXPECT_GT(with_index.hi.x, symbol_only.hi.x + 5);
    EXPECT_NEAR(with_index.lo.x, symbol_only.lo.x, 1);

    // Seen from farther away, atoms narrower than half a label's em (18 pixels) carry none; a
    // little nearer they do again.
    const auto atom_pixels = [&](float zoom) {
        display->view_zoom = zoom;
        Draw();
        return 2.0f * display->instances.MaxAtomRadius() * display->atom_scale * PixelsPerUnit();
    };
    float zoom = 1.0f;
    while (atom_pixels(zoom) >= 9.0f)
        zoom *= 1.25f;
    EXPECT_TRUE(Draw().Find(IsYellow).empty());
    atom_pixels(zoom / 1.25f);
    EXPECT_FALSE(Draw().Find(IsYellow).empty());
}

TEST_F(DisplayTest, LabelsDrawNothingWithoutAFont)
{
    for (const auto &entry : display->labels.Characters)
        glDeleteTextures(1, &entry.second.TextureID);
    display->labels.Characters.clear();
    const GLuint quad = display->labels.VAOF;
    testing::internal::CaptureStdout();
    display->LoadFont({"/nonexistent/one.ttf", "/nonexistent/two.ttf"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR::FREETYPE: Failed to load the follwing fonts\n/nonexistent/one.ttf\n/nonexistent/two.ttf\n");
    EXPECT_TRUE(display->labels.Characters.empty());
    EXPECT_EQ(display->labels.VAOF, quad);

    Load(ThreeElements());
    display->is_show_label = true;
    display->ShowIndex(true);
    const Frame f = Draw();
    EXPECT_TRUE(f.Find(IsYellow).empty());
    EXPECT_TRUE(Near(ColourAt(f, display->v_float_raw_xyz[1]), FrontColour(ElementColour(C_INDEX))));

    // The next font in the list is taken when the first does not open.
    testing::internal::CaptureStdout();
    display->LoadFont({"/nonexistent/one.ttf", LIBERATION});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("MESSAGE::FREETYPE: loaded font ") + LIBERATION + "\n");
    EXPECT_EQ(display->labels.Characters.size(), 128u);
}

TEST_F(DisplayTest, GizmoSitsLowerRightAtOneSizeWhateverTheZoom)
{
    Atoms atoms;
    atoms.Add(H_INDEX, {-5, 0, 0});
    atoms.Add(H_INDEX, {5, 0, 0});
    Load(atoms);
    auto gizmo = [](const Frame &f, int x0, int y0, int x1, int y1) {
        Box b;
        for (const glm::ivec2 &p : f.Find([](const glm::vec3 &c) { return !IsBackground(c); }, x0, y0, x1, y1))
            b.Add(p);
        return b;
    };
    const Box at_start = gizmo(Draw(), 1000, 0, 1280, 250);
    // At (0.85, -0.8), raised just enough that an arrow pointing straight down (2.5 twentieths of
    // the half-width long) stays in the landscape window.
    const glm::ivec2 origin = ToPixel(FULL, glm::vec2(0.85f, -1.0f + 2.5f / 20.0f * 1280.0f / 720.0f));
    EXPECT_LE(at_start.lo.x, origin.x);
    EXPECT_LE(at_start.lo.y, origin.y);
    EXPECT_GT(at_start.hi.x, origin.x + 50) << "x arrow to the right";
    EXPECT_GT(at_start.hi.y, origin.y + 50) << "y arrow upwards";

    display->SetZoom(2.0f);
    display->SetViewOffset(glm::vec2(3.0f, 2.0f));
    const Box zoomed = gizmo(Draw(), 1000, 0, 1280, 250);
    EXPECT_NEAR(zoomed.lo.x, at_start.lo.x, 1);
    EXPECT_NEAR(zoomed.lo.y, at_start.lo.y, 1);
    EXPECT_NEAR(zoomed.hi.x, at_start.hi.x, 1);
    EXPECT_NEAR(zoomed.hi.y, at_start.hi.y, 1);

    // Moved to the upper left by the Axes setting.
    display->ResetScene();
    display->SetAxesPosition(glm::vec3(-0.5f, 0.5f, 0.5f));
    const Frame moved = Draw();
    EXPECT_EQ(gizmo(moved, 1000, 0, 1280, 250).hi.x, -(1 << 30)) << "nothing left in the lower right";
    const glm::ivec2 upper_left = ToPixel(FULL, glm::vec2(-0.5f, 0.5f));
    const Box there = gizmo(moved, upper_left.x - 20, upper_left.y - 20, upper_left.x + 100, upper_left.y + 100);
    EXPECT_EQ(there.hi - there.lo, at_start.hi - at_start.lo);
}

TEST_F(DisplayTest, ZoomAndPanMoveThePicture)
{
    Atoms atoms;
    atoms.Add(H_INDEX, {-4, 0, 0});
    atoms.Add(O_INDEX, {4, 0, 0});
    Load(atoms);
    ASSERT_EQ(display->v_float_raw_xyz[1], glm::vec3(4.0f, 0.0f, 0.0f));
    const glm::vec3 oxygen = FrontColour(ElementColour(O_INDEX));

    struct Case {
        float zoom;
        glm::vec2 offset;
    };
    // Zoomed out a little from the fit, so that the panned atom stays in the window.
    const Case cases[] = {{1.25f, {0, 0}}, {2.0f, {0, 0}}, {1.25f, {1, 0}}, {1.25f, {0, 1}}, {1.5f, {-2, -1}}};
    const Viewport portrait = {100, 10, 400, 700};
    for (const Viewport &v : {FULL, portrait}) {
        for (const Case &k : cases) {
            SCOPED_TRACE(testing::Message() << "viewport " << v.w << "x" << v.h << " zoom " << k.zoom
                                            << " offset " << k.offset.x << "," << k.offset.y);
            display->ResetScene();
            display->SetZoom(k.zoom - 1.0f);
            display->SetViewOffset(k.offset);
            const Frame f = Draw(v);
            // The zoom scales the fitted half-extent; the longer side spans 2B, the offset moves
            // by offset / B of the half window.
            const float b = display->target_width;
            EXPECT_FLOAT_EQ(b, display->fit_width * k.zoom);
            const float aspect = v.w > v.h ? static_cast<float>(v.h) / v.w : static_cast<float>(v.w) / v.h;
            const float x_scale = v.w > v.h ? b : b * aspect;
            const glm::vec2 ndc(4.0f / x_scale + k.offset.x / b, k.offset.y / b);
            const glm::ivec2 p = ToPixel(v, ndc);
            // The pixel nearest the centre of a small exact sphere sees its curvature.
            EXPECT_TRUE(Near(f.At(p.x, p.y), oxygen, 8.0f / 255.0f));
        }
    }
    // Zooming out leaves the old place of the atom empty.
    display->ResetScene();
    Draw();
    const glm::ivec2 before = PixelOf(glm::vec3(4, 0, 0));
    display->SetZoom(1.0f);
    const Frame f = Draw();
    EXPECT_TRUE(IsBackground(f.At(before.x, before.y)));
}

TEST_F(DisplayTest, ShaderThatFailsToCompileIsReportedAndTheProgramGoesOn)
{
    CShader broken;
    testing::internal::CaptureStdout();
    broken.SetShader("#version 330 core\nvoid main() { gl_Position = undefined_value; }\n", pick_frag);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("ERROR::SHADER::VERTEX::COMPILATION_FAILED\n", 0), 0u) << out;
    EXPECT_EQ(out.find("#version"), std::string::npos) << "only the header and the driver's log";
    EXPECT_EQ(out.find("FRAGMENT"), std::string::npos);
    EXPECT_NE(out.find("ERROR::SHADER::PROGRAM::LINKING_FAILED\n"), std::string::npos);
    EXPECT_NE(broken.Program, 0u);

    testing::internal::CaptureStdout();
    broken.SetShader(pick_vs, "#version 330 core\nout vec4 c;\nvoid main() { c = nothing; }\n");
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("ERROR::SHADER::FRAGMENT::COMPILATION_FAILED\n", 0), 0u) << out;
    EXPECT_NE(out.find("ERROR::SHADER::PROGRAM::LINKING_FAILED\n"), std::string::npos);
    broken.Delete();
    EXPECT_EQ(broken.Program, 0u);
    while (glGetError() != GL_NO_ERROR) {
    }

    // Drawing goes on with the good programs.
    Load(ThreeElements());
    const Frame f = Draw();
    EXPECT_TRUE(Near(ColourAt(f, display->v_float_raw_xyz[0]), FrontColour(ElementColour(O_INDEX))));
}

TEST_F(DisplayTest, DeleteReleasesEveryObjectOnce)
{
    Load(ThreeElements());
    CDisplay &d = *display;
    const std::vector<GLuint> arrays = {d.instances.VAOM, d.instances.VAOB, d.instances.VAOP, d.VAOC,
                                        d.gizmo.VAOA, d.gizmo.VAOT, d.labels.VAOF};
    const std::vector<GLuint> buffers = {d.instances.VBOM, d.instances.VBOB, d.instances.VBOP, d.VBOC,
                                         d.gizmo.VBOA, d.gizmo.VBOT, d.labels.VBOF};
    const std::vector<GLuint> programs = {d.AtomShader.Program, d.BondShader.Program, d.FontShader.Program,
                                          d.PickShader.Program, d.ArrowShader.Program, d.AtomPointShader.Program,
                                          d.PickPointShader.Program};
    const GLuint glyph = d.labels.Characters['A'].TextureID;
    const auto expect_alive = [&](bool alive) {
        for (GLuint name : arrays)
            EXPECT_EQ(glIsVertexArray(name) == GL_TRUE, alive) << "vertex array " << name;
        for (GLuint name : buffers)
            EXPECT_EQ(glIsBuffer(name) == GL_TRUE, alive) << "buffer " << name;
        for (GLuint name : programs)
            EXPECT_EQ(glIsProgram(name) == GL_TRUE, alive) << "program " << name;
        EXPECT_EQ(glIsTexture(glyph) == GL_TRUE, alive) << "glyph texture";
    };
    expect_alive(true);

    d.Delete();
    expect_alive(false);
    EXPECT_EQ(d.instances.VAOM | d.instances.VAOB | d.VAOC | d.gizmo.VAOA | d.gizmo.VAOT | d.labels.VAOF, 0u);
    EXPECT_EQ(d.instances.VBOM | d.instances.VBOB | d.VBOC | d.gizmo.VBOA | d.gizmo.VBOT | d.labels.VBOF, 0u);
    EXPECT_TRUE(d.labels.Characters.empty());
    d.Delete();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DisplayTest, ReadFileShowsTheStructureAndAFailedReadKeepsIt)
{
    display->is_show_box = true;
    display->ReadFile(KIVOA_TEST_DATA "/xyz", KIVOA_TEST_DATA "/xyz/water.xyz");
    ASSERT_TRUE(display->is_visible) << display->error_message;
    ASSERT_EQ(display->v_float_raw_xyz.size(), 3u);
    EXPECT_FALSE(display->is_show_box) << "a molecule hides its box";
    EXPECT_EQ(display->pick._index_palette.size(), 4u);
    Frame f = Draw();
    EXPECT_TRUE(Near(ColourAt(f, display->v_float_raw_xyz[0]), FrontColour(ElementColour(O_INDEX))));

    display->is_atom_selected = true;
    display->selected_atom = 2;
    const GLuint box = display->VAOC;
    display->ReadFile(KIVOA_TEST_DATA "/xyz", KIVOA_TEST_DATA "/xyz/does-not-exist.xyz");
    EXPECT_EQ(display->v_float_raw_xyz.size(), 3u);
    EXPECT_EQ(display->VAOC, box);
    EXPECT_TRUE(display->is_atom_selected);

    // A periodic structure shows its cell, and the old selection goes with the old structure.
    display->ReadFile(KIVOA_TEST_DATA "/xyz", KIVOA_TEST_DATA "/xyz/periodic.xyz");
    ASSERT_EQ(display->v_float_raw_xyz.size(), 2u) << display->error_message;
    EXPECT_TRUE(display->is_show_box);
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 0xFFFFFFu);
    EXPECT_EQ(display->pick._index_palette.size(), 3u);
    f = Draw();
    EXPECT_GT(f.Find(IsRed, 0, 250, 1000, 720).size(), 100u);

    // Centring rebuilds the box, which is still drawn.
    display->CenterCoordinates();
    EXPECT_EQ(display->center_xyz, glm::vec3(0.0f));
    f = Draw();
    EXPECT_GT(f.Find(IsRed, 0, 250, 1000, 720).size(), 100u);
}

namespace {

bool IsDark(const glm::vec3 &c) { return c.r < 0.06f && c.g < 0.06f && c.b < 0.06f; }

} // namespace

// A label is drawn whole when its atom's centre is seen and not at all when an atom in front
// hides that centre (no digits peeking out beside the front atom); it has a dark outline, and
// its size is in screen pixels, the same at any zoom, until the font slider is asked for (0).
TEST_F(DisplayTest, LabelsWholeOrNotAtAllOutlinedAndSizedInPixels)
{
    display->is_show_label = true;
    display->ShowIndex(true);
    const auto yellow_box = [this](float zoom) {
        display->is_fit_pending = false;
        display->fit_width = 4.0f;
        display->view_zoom = zoom;
        const Frame f = Draw();
        Box box;
        for (const glm::ivec2 &p : f.Find(IsYellow))
            box.Add(p);
        return std::make_pair(f, box);
    };
    Atoms front;
    front.Add(O_INDEX, {0, 0, 1});
    Atoms both = front;
    both.Add(H_INDEX, {0.2, 0, -1}); // its centre right behind the front atom
    Load(front);
    const auto [alone, alone_box] = yellow_box(1.0f);
    Load(both);
    const auto [hidden, hidden_box] = yellow_box(1.0f);
    const size_t count = alone.Find(IsYellow).size();
    EXPECT_NEAR(static_cast<double>(hidden.Find(IsYellow).size()), static_cast<double>(count), count * 0.1);
    EXPECT_GT(alone.Find(IsDark, alone_box.lo.x - 3, alone_box.lo.y - 3, alone_box.hi.x + 4, alone_box.hi.y + 4).size(),
              count / 4);

    Load(front);
    const struct {
        int pixels;
        float zoom;
        float shrink; // how many times smaller the label gets at that zoom
    } cases[] = {{18, 4.0f, 1.0f}, {0, 4.0f, 4.0f}};
    for (const auto &c : cases) {
        display->label_pixels = c.pixels;
        const int base = yellow_box(1.0f).second.hi.y - yellow_box(1.0f).second.lo.y;
        const int zoomed = yellow_box(c.zoom).second.hi.y - yellow_box(c.zoom).second.lo.y;
        if (c.pixels > 0) {
            EXPECT_GE(base, 10) << "readable";
        }
        EXPECT_NEAR(zoomed * c.shrink, base, 2.0f * c.shrink) << c.pixels;
    }
}

// The label of an atom hidden behind another never shows, whichever way the picture is drawn: in
// the window, with "Smooth" (multisampled, resolved into the window), and in exports at 2x and 4x
// (multisampled offscreen, lines and labels scaled): the yellow of the labels is that of the front
// atom's alone.
TEST_F(DisplayTest, HiddenAtomsLabelsShowInNoDrawingPath)
{
    display->is_show_label = true;
    display->ShowIndex(true);
    ScratchFolder folder;
    const ImVec4 background(BACKGROUND.r, BACKGROUND.g, BACKGROUND.b, 1.0f);
    const auto yellow = [](const glm::ivec3 &b) { return IsYellow(glm::vec3(b) / 255.0f); };
    // Yellow pixels of one picture drawn by `path`.
    const auto count = [&](const std::string &path) -> size_t {
        display->is_fit_pending = false; // small atoms: a label reaches past its atom
        display->fit_width = 4.0f;
        if (path == "window" || path == "smooth") {
            display->is_smooth = path == "smooth";
            CWindowScene scene;
            scene.Show(display.get(), background, WIDTH, HEIGHT, false);
            const Frame f(WIDTH, HEIGHT);
            scene.Release();
            display->is_smooth = false;
            return f.Find(IsYellow).size();
        }
        const int factor = path == "2x" ? 2 : 4;
        display->pixel_scale = static_cast<float>(factor);
        std::string error;
        const std::string png = folder / (path + ".png");
        const bool is_saved = CImageExport::SavePng(
            [&](int w, int h) { CWindowScene::Render(display.get(), background, w, h); }, WIDTH / 2 * factor,
            HEIGHT / 2 * factor, png, error);
        display->pixel_scale = 1.0f;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, WIDTH, HEIGHT);
        EXPECT_TRUE(is_saved) << error;
        return PngFile(png).Count(yellow);
    };
    Atoms front;
    front.Add(O_INDEX, {0, 0, 1});
    Atoms both = front;
    both.Add(H_INDEX, {-0.7, 0, -1}); // behind the front atom's edge: its label reaches past it
    display->label_pixels = 40;
    for (const char *path : {"window", "smooth", "2x", "4x"}) {
        Load(front);
        const size_t alone = count(path);
        Load(both);
        const size_t behind = count(path);
        EXPECT_GT(alone, 0u) << path;
        EXPECT_NEAR(static_cast<double>(behind), static_cast<double>(alone), alone * 0.1) << path;
    }
}
