#include "cdisplay.h"

#include <algorithm>
#include <iostream>

#include <ft2build.h>
#include FT_FREETYPE_H
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "cinstance.h"
#include "cmesh.h"
#include "cview.h"
#include "elements.h"
#include "shaders/arrow.h"
#include "shaders/atom.h"
#include "shaders/atom_fill.h"
#include "shaders/bond.h"
#include "shaders/font.h"
#include "shaders/line.h"
#include "shaders/pick.h"

namespace {

const std::vector<std::string> FONT_PATHS = {
    "/usr/share/fonts/truetype/roboto/hinted/Roboto-Medium.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
};
const FT_UInt GLYPH_PIXELS = 48;
const unsigned int GLYPH_CODES = 128;
// Glyphs sit in rows of an atlas this wide, apart by a blank border that linear filtering may read.
const int ATLAS_WIDTH = 1024;
const int ATLAS_BORDER = 10;
// The labels' dark outline: its reach round each glyph and the room the glyph quads leave for it,
// in glyph pixels (within ATLAS_BORDER, so that it never reads a neighbour glyph).
const float LABEL_OUTLINE = 4.0f;
const float LABEL_PAD = 5.0f;

const glm::vec3 SELECTED_COLOR(1.5f, 0.75f, 0.45f);
const glm::vec3 BOND_COLOR(0.9f, 0.9f, 0.9f);
const glm::vec3 BOX_COLOR(1.0f, 0.0f, 0.0f);
const glm::vec3 LABEL_COLOR(1.0f, 1.0f, 0.0f);
const float BOND_RADIUS = 0.1f;
// From this many atoms on, whose full picture takes a while on software OpenGL, a structure shown
// afresh comes first as the quick picture, the full one in the frame after it.
const size_t QUICK_FIRST_ATOMS = 100000;
// Where the first glyph of a label starts, relative to the atom centre, in glyph pixels.
const float LABEL_START = -30.0f;
const float HALF_PI = glm::half_pi<float>();
// Share of the fitted half-extent left free around the structure.
const float FIT_MARGIN = 0.05f;
// Headroom on the depth range, so that rounding never clips the front or back of the structure.
const float DEPTH_SLACK = 1.01f;
// The gizmo's depth range is this many arrow lengths deep on each side of its origin, so the
// arrows fill the middle half of it, and its depth shift is kept short of the clip planes. Its
// arrows reach from the origin to the tip of a head (2.4 units of fix_side long, 0.2 wide), which
// stays a little more than that from the window's edges.
const float GIZMO_ARROW_LENGTH = 2.4f;
const float GIZMO_REACH = 2.5f;
const float GIZMO_DEPTH_ARROWS = 4.0f;
const float GIZMO_MAX_SHIFT = 0.7f;

// The gizmo arrows: the rotation that turns the arrow's +z into the axis, and the axis colour.
struct GizmoAxis {
    glm::vec3 about;
    float angle;
    glm::vec3 color;
};
const GizmoAxis GIZMO_AXES[3] = {
    {{0.0f, 1.0f, 0.0f}, HALF_PI, {0.9f, 0.0f, 0.0f}},
    {{1.0f, 0.0f, 0.0f}, -HALF_PI, {0.0f, 0.9f, 0.0f}},
    {{0.0f, 0.0f, 1.0f}, HALF_PI, {0.0f, 0.0f, 0.9f}},
};

void SetMatrix(GLint location, const glm::mat4 &m)
{
    glUniformMatrix4fv(location, 1, GL_FALSE, glm::value_ptr(m));
}

void SetVector(GLint location, const glm::vec3 &v) { glUniform3f(location, v.x, v.y, v.z); }

GLint Uniform(GLuint program, const char *name) { return glGetUniformLocation(program, name); }

// Locations of the per-object uniforms of the gizmo program, looked up once per pass.
struct ObjectUniforms {
    GLint mvp, m, v, s, c;
};

ObjectUniforms FindObjectUniforms(GLuint program)
{
    return {Uniform(program, "MVP"), Uniform(program, "M"), Uniform(program, "V"), Uniform(program, "S"),
            Uniform(program, "C")};
}

// Lets go of whatever vertex array a previous pass left bound before binding vao.
void RebindVertexArray(GLuint vao)
{
    glBindVertexArray(0);
    glBindVertexArray(vao);
}

void ClearFramebuffer(const glm::vec4 &c)
{
    glClearColor(c.r, c.g, c.b, c.a);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void ReleaseVertexArray(GLuint &vao)
{
    if (vao != 0)
        glDeleteVertexArrays(1, &vao);
    vao = 0;
}

void ReleaseVertexArray(GLuint &vao, GLuint &vbo)
{
    ReleaseVertexArray(vao);
    if (vbo != 0)
        glDeleteBuffers(1, &vbo);
    vbo = 0;
}

void ReleaseTexture(GLuint &texture)
{
    if (texture != 0)
        glDeleteTextures(1, &texture);
    texture = 0;
}

// Uploads a vec3 array into a fresh vertex array (attribute 0), replacing the pair it held.
void UploadMesh(GLuint &vao, GLuint &vbo, const std::vector<glm::vec3> &v)
{
    ReleaseVertexArray(vao, vbo);
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(glm::vec3)), v.data(), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(glm::vec3), nullptr);
    glEnableVertexAttribArray(0);
    glBindVertexArray(0);
}

// A vertex array with no attributes: the batched passes read their records from buffer textures.
void CreateEmptyVertexArray(GLuint &vao)
{
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glBindVertexArray(0);
}

// A buffer that the vertex stages read as a buffer texture of `format`.
void CreateBufferTexture(GLuint &buffer, GLuint &texture, GLenum format)
{
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_TEXTURE_BUFFER, buffer);
    glBufferData(GL_TEXTURE_BUFFER, 0, nullptr, GL_STATIC_DRAW);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_BUFFER, texture);
    glTexBuffer(GL_TEXTURE_BUFFER, format, buffer);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glBindBuffer(GL_TEXTURE_BUFFER, 0);
}

void ReleaseBufferTexture(GLuint &buffer, GLuint &texture)
{
    if (buffer != 0)
        glDeleteBuffers(1, &buffer);
    buffer = 0;
    ReleaseTexture(texture);
}

template <typename T>
void UploadInstances(GLuint buffer, const std::vector<T> &v)
{
    glBindBuffer(GL_TEXTURE_BUFFER, buffer);
    glBufferData(GL_TEXTURE_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(T)), v.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_TEXTURE_BUFFER, 0);
}

void BindBufferTexture(GLuint program, const char *name, GLint unit, GLuint texture)
{
    glUniform1i(Uniform(program, name), unit);
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(GL_TEXTURE_BUFFER, texture);
    glActiveTexture(GL_TEXTURE0);
}

// A picture of w x h pixels into `texture`, whose storage is made afresh when its size changed.
void UploadPicture(GLuint &texture, bool is_new_size, GLint internal, GLenum format, GLenum type, const void *pixels,
                   int w, int h)
{
    if (texture == 0)
        glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (is_new_size) {
        glTexImage2D(GL_TEXTURE_2D, 0, internal, w, h, 0, format, type, pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, format, type, pixels);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

// Six vertices per quad (see impostor_corners), in one call.
void DrawQuads(GLuint vao, size_t instances)
{
    if (instances == 0)
        return;
    RebindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(6 * instances));
    glBindVertexArray(0);
}

float Reach(const std::vector<glm::vec3> &points)
{
    float r2 = 0.0f;
    for (const glm::vec3 &p : points)
        r2 = std::max(r2, glm::dot(p, p));
    return std::sqrt(r2);
}

// The internal format that matches the depth buffer of framebuffer `fbo` (0: the window's), as a
// depth copy needs; 0 when it has none.
GLenum DepthFormat(GLuint fbo)
{
    const GLenum depth = fbo == 0 ? GL_DEPTH : GL_DEPTH_ATTACHMENT;
    const GLenum stencil = fbo == 0 ? GL_STENCIL : GL_STENCIL_ATTACHMENT;
    GLint type = GL_NONE, bits = 0, stencil_type = GL_NONE, stencil_bits = 0, component = GL_NONE;
    glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, depth, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    if (type == GL_NONE)
        return 0;
    glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, depth, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &bits);
    glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, depth, GL_FRAMEBUFFER_ATTACHMENT_COMPONENT_TYPE,
                                          &component);
    glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, stencil, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE,
                                          &stencil_type);
    if (stencil_type != GL_NONE)
        glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, stencil, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE,
                                              &stencil_bits);
    if (component == GL_FLOAT)
        return stencil_bits > 0 ? GL_DEPTH32F_STENCIL8 : GL_DEPTH_COMPONENT32F;
    if (stencil_bits > 0)
        return GL_DEPTH24_STENCIL8;
    return bits == 16 ? GL_DEPTH_COMPONENT16 : (bits == 32 ? GL_DEPTH_COMPONENT32 : GL_DEPTH_COMPONENT24);
}

// A w x h depth texture of `format`, attached to framebuffer `fbo`, read by texelFetch.
GLuint CreateDepthTexture(GLuint fbo, GLenum format, int w, int h)
{
    const bool has_stencil = format == GL_DEPTH24_STENCIL8 || format == GL_DEPTH32F_STENCIL8;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), w, h, 0,
                 has_stencil ? GL_DEPTH_STENCIL : GL_DEPTH_COMPONENT,
                 format == GL_DEPTH24_STENCIL8 ? GL_UNSIGNED_INT_24_8
                                               : (format == GL_DEPTH32F_STENCIL8 ? GL_FLOAT_32_UNSIGNED_INT_24_8_REV : GL_FLOAT),
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_NONE);
    glBindTexture(GL_TEXTURE_2D, 0);
    GLint draw = 0, read = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, has_stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                           GL_TEXTURE_2D, texture, 0);
    // Depth only: no colour buffer to draw into or read from.
    glDrawBuffer(GL_NONE);
    glReadBuffer(GL_NONE);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
    return texture;
}

// Framebuffer pixels per window unit of the current window; 1 without one.
glm::vec2 FramebufferScale()
{
    GLFWwindow *window = glfwGetCurrentContext();
    if (window == nullptr)
        return glm::vec2(1.0f);
    int ww = 0, wh = 0, fw = 0, fh = 0;
    glfwGetWindowSize(window, &ww, &wh);
    glfwGetFramebufferSize(window, &fw, &fh);
    if (ww <= 0 || wh <= 0 || fw <= 0 || fh <= 0)
        return glm::vec2(1.0f);
    return glm::vec2(static_cast<float>(fw) / static_cast<float>(ww), static_cast<float>(fh) / static_cast<float>(wh));
}

FT_Face OpenFirstFont(FT_Library ft, const std::vector<std::string> &paths)
{
    for (const std::string &path : paths) {
        FT_Face face;
        if (FT_New_Face(ft, path.c_str(), 0, &face) == 0) {
            std::cout << "MESSAGE::FREETYPE: loaded font " << path << std::endl;
            return face;
        }
    }
    std::cout << "ERROR::FREETYPE: Failed to load the follwing fonts" << std::endl;
    for (const std::string &path : paths)
        std::cout << path << std::endl;
    return nullptr;
}

// A rendered glyph waiting for its place in the atlas.
struct GlyphBitmap {
    char code;
    Character metrics;
    std::vector<unsigned char> pixels;
};

std::vector<GlyphBitmap> RenderGlyphs(FT_Face face)
{
    FT_Set_Pixel_Sizes(face, 0, GLYPH_PIXELS);
    std::vector<GlyphBitmap> glyphs;
    for (unsigned int c = 0; c < GLYPH_CODES; c++) {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) {
            std::cout << "ERROR::FREETYTPE: Failed to load Glyph" << std::endl;
            continue;
        }
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap &b = g->bitmap;
        GlyphBitmap glyph{static_cast<char>(c),
                          {0, glm::ivec2(b.width, b.rows), glm::ivec2(g->bitmap_left, g->bitmap_top),
                           static_cast<GLuint>(g->advance.x), glm::ivec2(0)},
                          {}};
        // Rows may be padded (pitch); the atlas wants them tight.
        for (unsigned int row = 0; row < b.rows; row++)
            glyph.pixels.insert(glyph.pixels.end(), b.buffer + row * b.pitch, b.buffer + row * b.pitch + b.width);
        glyphs.push_back(std::move(glyph));
    }
    return glyphs;
}

// Shelf packing: glyphs left to right in rows as high as their tallest glyph. Returns the height.
int PlaceGlyphs(std::vector<GlyphBitmap> &glyphs)
{
    int x = ATLAS_BORDER, y = ATLAS_BORDER, row_height = 0;
    for (GlyphBitmap &g : glyphs) {
        const glm::ivec2 size = g.metrics.Size;
        if (x + size.x + ATLAS_BORDER > ATLAS_WIDTH) {
            x = ATLAS_BORDER;
            y += row_height + ATLAS_BORDER;
            row_height = 0;
        }
        g.metrics.Offset = glm::ivec2(x, y);
        x += size.x + ATLAS_BORDER;
        row_height = std::max(row_height, size.y);
    }
    return y + row_height + ATLAS_BORDER;
}

GLuint UploadAtlas(const std::vector<GlyphBitmap> &glyphs, int height)
{
    std::vector<unsigned char> atlas(static_cast<size_t>(ATLAS_WIDTH) * height, 0);
    for (const GlyphBitmap &g : glyphs)
        for (int row = 0; row < g.metrics.Size.y; row++)
            std::copy_n(g.pixels.begin() + static_cast<ptrdiff_t>(row) * g.metrics.Size.x, g.metrics.Size.x,
                        atlas.begin() + static_cast<ptrdiff_t>(g.metrics.Offset.y + row) * ATLAS_WIDTH + g.metrics.Offset.x);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, ATLAS_WIDTH, height, 0, GL_RED, GL_UNSIGNED_BYTE, atlas.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

// The label program's table, one column per code: row 0 the glyph box in pixels from the pen on
// the baseline (left, bottom, width, height), row 1 its atlas rectangle (u0, v top, u1, v bottom).
void UploadGlyphMetrics(GLuint texture, const std::map<char, Character> &glyphs, int atlas_height)
{
    std::vector<glm::vec4> table(2 * GLYPH_CODES, glm::vec4(0.0f));
    const glm::vec2 atlas(ATLAS_WIDTH, std::max(atlas_height, 1));
    for (const auto &[code, ch] : glyphs) {
        const size_t c = static_cast<unsigned char>(code);
        if (c >= GLYPH_CODES)
            continue;
        table[c] = glm::vec4(ch.Bearing.x, ch.Bearing.y - ch.Size.y, ch.Size.x, ch.Size.y);
        const glm::vec2 lo = glm::vec2(ch.Offset) / atlas;
        const glm::vec2 hi = glm::vec2(ch.Offset + ch.Size) / atlas;
        table[GLYPH_CODES + c] = glm::vec4(lo.x, lo.y, hi.x, hi.y);
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, GLYPH_CODES, 2, 0, GL_RGBA, GL_FLOAT, table.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
}

CGlyphAdvances GlyphAdvances(const std::map<char, Character> &glyphs)
{
    CGlyphAdvances advances;
    advances.fill(-1);
    for (const auto &[code, ch] : glyphs)
        if (static_cast<unsigned char>(code) < GLYPH_CODES)
            advances[static_cast<unsigned char>(code)] = static_cast<int>(ch.Advance >> 6);
    return advances;
}

} // namespace

CDisplay::CDisplay()
{
    pick.set_color(0);
    BuildArrow(20);
    SetArrowBuffer();
    CreateBatchBuffers();
    AtomShader.SetShader(atom_vs, atom_frag);
    BondShader.SetShader(bond_vs, bond_frag);
    FontShader.SetShader(font_vs, font_frag);
    PickShader.SetShader(pick_vs, pick_frag);
    AtomFillShader.SetShader(atom_fill_vs, atom_fill_frag);
    ArrowShader.SetShader(arrow_vs, arrow_frag);
    BoxShader.SetShader(line_vs, line_frag, line_gs);
    LoadFont();
    track.SetRotationMatrix();
}

void CDisplay::Delete()
{
    ReleaseBufferTexture(VBOM, TBOM);
    ReleaseBufferTexture(VBOK, TBOK);
    ReleaseBufferTexture(VBOB, TBOB);
    ReleaseBufferTexture(VBOF, TBOF);
    ReleaseVertexArray(VAOM, VBOM);
    ReleaseVertexArray(VAOB, VBOB);
    ReleaseVertexArray(VAOC, VBOC);
    ReleaseVertexArray(VAOA, VBOA);
    ReleaseVertexArray(VAOT, VBOT);
    ReleaseVertexArray(VAOF, VBOF);
    ReleaseTexture(TEXM);
    ReleaseTexture(TEXP);
    ReleaseTexture(TEXZ);
    quick_size = glm::ivec2(0);
    ReleaseTexture(depth_texture);
    if (depth_fbo != 0)
        glDeleteFramebuffers(1, &depth_fbo);
    depth_fbo = 0;
    depth_key = glm::ivec3(0);
    DeleteGlyphs();
    AtomShader.Delete();
    BondShader.Delete();
    FontShader.Delete();
    PickShader.Delete();
    AtomFillShader.Delete();
    ArrowShader.Delete();
    BoxShader.Delete();
    uploaded = Uploaded();
    label_key = LabelKey();
}

// ---- view settings -------------------------------------------------------------------------

void CDisplay::ShowBonds(bool b) { is_show_bond = b; }
void CDisplay::ShowSymbols(bool b) { is_show_symbol = b; }
void CDisplay::ShowIndex(bool b) { is_show_index = b; }
void CDisplay::SetAtomScale(bool b) { atom_scale = b ? 0.6f : 1.0f; }

void CDisplay::SetZoom(float f)
{
    view_zoom += f;
    if (static_cast<double>(view_zoom) < 0.1)
        view_zoom = 0.1f;
}

void CDisplay::SetFont(float f) { font_scale = f; }
void CDisplay::SetAxesPosition(glm::vec3 p) { axis_position = -p; }
void CDisplay::SetViewOffset(glm::vec2 o) { view_offset = o; }
void CDisplay::SetClearColor(glm::vec4 c) { CColor = c; }

// The window size is known only when drawing, so the fit itself waits for the next DrawScene.
void CDisplay::ResetZoom()
{
    view_zoom = 1.0f;
    is_fit_pending = true;
}

void CDisplay::ResetAxes() { SetAxesPosition(initial_axis_position); }

void CDisplay::ResetScene()
{
    ResetZoom();
    SetViewOffset(glm::vec2(0.0f));
    ResetAxes();
}

void CDisplay::SetTrackLastPosition(float x, float y) { track.SetLastVector(x, y); }
void CDisplay::SetTrackCurretPosition(float x, float y) { track.SetTrackMotion(x, y); }
void CDisplay::SetTrackRotation(float x, float y) { track.SetInitialViewX(x, y); }
void CDisplay::SetTrackLastRotation() { track.SetLastRotation(); }

// ---- edits, load and save ------------------------------------------------------------------

void CDisplay::RefitPalette()
{
    const uint32_t n = static_cast<uint32_t>(v_float_raw_xyz.size());
    pick.zmin = 0;
    pick._lvls = n;
    pick.zmax = n;
    pick.update_palette_index();
}

// ---- picking -------------------------------------------------------------------------------

void CDisplay::SetPicking(int x, int y)
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const glm::ivec2 pixel = PickPixel(x, y, viewport, FramebufferScale());
    pcolor[0] = pixel.x;
    pcolor[1] = pixel.y;
    is_picking = true;
}

// Reads the code colour under the pointer. Only a value naming an atom of this structure selects
// it: white (the background) and anything else deselect.
void CDisplay::ProcessPicking(bool)
{
    unsigned char rgb[4] = {255, 255, 255, 255};
    glReadPixels(pcolor[0], pcolor[1], 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    const uint32_t index = PickedAtom(pick.get_index_rgb(rgb[0], rgb[1], rgb[2]), v_atom_index.size());
    if (index == PICK_NO_ATOM) {
        ClearSelection();
        return;
    }
    const uint32_t e = ElementOrDummy(v_atom_index[index]);
    is_atom_selected = true;
    selected_atom = index;
    selected_zatom = e + 1;
    selected_symbol = SymbolOf(e);
    selected_xyz = v_float_raw_xyz[index];
}

void CDisplay::ClearSelection()
{
    is_atom_selected = false;
    selected_atom = NO_SELECTION;
    selection.Reset(v_atom_index.size());
}

void CDisplay::AfterEdit()
{
    BuildCube();
    RefitPalette();
    ClearSelection();
}

bool CDisplay::StepToFrame(uint64_t k)
{
    const std::vector<uint32_t> atoms_before = v_atom_index;
    if (!ShowFrame(k))
        return false;
    BuildCube();
    if (v_atom_index.size() != atoms_before.size())
        RefitPalette();
    if (v_atom_index != atoms_before)
        ClearSelection();
    else if (is_atom_selected)
        selected_xyz = v_float_raw_xyz[selected_atom];
    return true;
}

void CDisplay::DeleteAtom(uint32_t i)
{
    if (i >= v_float_raw_xyz.size())
        return;
    DeleteAtomIndex(i);
    AfterEdit();
}

void CDisplay::UpdateAtomType(uint32_t z)
{
    if (!is_atom_selected || selected_atom >= v_atom_index.size() || z >= periodic_table_atoms)
        return;
    SetElement(selected_atom, z);
    const uint32_t e = v_atom_index[selected_atom];
    selected_zatom = e + 1;
    selected_symbol = SymbolOf(e);
}

void CDisplay::CenterCoordinates()
{
    CenterZero();
    BuildCube();
}

bool CDisplay::ReadFile(std::string d, std::string f)
{
    if (!ReadStructureFile(d, f, input_format))
        return false;
    RefreshStructure();
    return true;
}

// A new structure is seen whole: fitted to the window, without the old zoom and pan. A file read
// again (a calculation rewriting it) keeps the view it is watched in.
void CDisplay::RefreshStructure(bool is_same_view)
{
    // The old selection may name an atom the new structure does not have.
    AfterEdit();
    is_visible = true;
    if (v_float_raw_xyz.size() >= QUICK_FIRST_ATOMS) {
        NoteViewMoved();
        drawn_view = glm::mat4(0.0f);
    }
    if (is_same_view)
        return;
    is_show_box = is_periodic;
    ResetZoom();
    SetViewOffset(glm::vec2(0.0f));
}

bool CDisplay::SaveFile(std::string f) { return SaveStructureFile(f, f, input_format); }

// ---- meshes and instance buffers -----------------------------------------------------------

void CDisplay::BuildArrow(unsigned int res) { arrow_vertex = BuildArrowMesh(res, v_arrow, v_cone); }

// A crystal's cell stands where the file puts it, its origin at the file frame's; the box of a
// molecule is centred on it.
std::vector<glm::vec3> CDisplay::CellBoxCorners() const
{
    std::vector<glm::vec3> corners;
    BuildCellBoxMesh(m_cell_box, corners);
    if (is_periodic) {
        const glm::vec3 centre = CellCorner() + glm::vec3(m_cell_box * glm::dvec3(0.5));
        for (glm::vec3 &c : corners)
            c += centre;
    }
    return corners;
}

void CDisplay::BuildCube()
{
    const std::vector<glm::vec3> corners = CellBoxCorners();
    box_reach = Reach(corners);
    UploadMesh(VAOC, VBOC, corners);
}

void CDisplay::SetArrowBuffer()
{
    UploadMesh(VAOA, VBOA, v_arrow);
    UploadMesh(VAOT, VBOT, v_cone);
}

void CDisplay::CreateBatchBuffers()
{
    CreateEmptyVertexArray(VAOM);
    CreateBufferTexture(VBOM, TBOM, GL_RGBA32F);
    CreateBufferTexture(VBOK, TBOK, GL_RGBA8);
    CreateEmptyVertexArray(VAOB);
    CreateBufferTexture(VBOB, TBOB, GL_RGBA32F);
    glGenTextures(1, &TEXM);
}

// Uploads the atoms when the structure changed since the last upload.
void CDisplay::SyncAtoms()
{
    if (uploaded.generation == u_revision && uploaded.selection == selection.Revision() &&
        uploaded.hidden == u_hidden_revision)
        return;
    std::vector<glm::vec4> centres;
    std::vector<CAtomColours> colours;
    BuildAtomInstances(v_float_raw_xyz, v_atom_index, pick, centres, colours);
    MarkAtoms(selection.Size() == centres.size() ? selection.Mask() : std::vector<uint8_t>(), Hidden(), centres,
              colours);
    UploadInstances(VBOM, centres);
    UploadInstances(VBOK, colours);
    max_atom_radius = 0.0f;
    for (const glm::vec4 &a : centres)
        max_atom_radius = std::max(max_atom_radius, a.w);
    centre_reach = Reach(v_float_raw_xyz);
    v_atom_records = std::move(centres);
    v_atom_colours = std::move(colours);
    uploaded.generation = u_revision;
    uploaded.selection = selection.Revision();
    uploaded.hidden = u_hidden_revision;
    uploaded.atom_quads = v_atom_records.size();
}

void CDisplay::SyncBonds()
{
    if (uploaded.bond_generation == u_revision && uploaded.bond_hidden == u_hidden_revision)
        return;
    std::vector<CBondInstance> bond_instances;
    const size_t bonds = is_bond_eval ? i_number_of_bonds : 0;
    EvalBondRecords();
    BuildBondInstances(m_bond_xyz, m_bond_ang, v_bond_length, bonds, bond_instances);
    if (is_bond_eval) {
        std::vector<glm::vec3> from, to;
        HalfBonds(from, to);
        AppendSegmentInstances(from, to, bond_instances);
    }
    const std::vector<glm::uvec2> ends = BondEnds();
    SetBondEndRadii(v_atom_records, ends, bond_instances);
    DropHiddenBonds(ends, Hidden(), bond_instances);
    UploadInstances(VBOB, bond_instances);
    uploaded.bond_generation = u_revision;
    uploaded.bond_hidden = u_hidden_revision;
    uploaded.bond_quads = bond_instances.size();
}

// The atoms of each drawn bond: the bonds, then both halves of each bond across the cell.
std::vector<glm::uvec2> CDisplay::BondEnds() const
{
    std::vector<glm::uvec2> ends(m_bond_indices.begin(), m_bond_indices.begin() + (is_bond_eval ? i_number_of_bonds : 0));
    for (const CPeriodicBonds::SBond &b : m_bond_pbc)
        ends.insert(ends.end(), 2, glm::uvec2(b.i, b.j));
    return ends;
}

// The half-extent that shows the structure (and its box when shown) whole in this orientation.
void CDisplay::FitView(int w, int h)
{
    const glm::mat3 rotation(track.Model);
    fit_width = FitHalfExtent(v_float_raw_xyz, max_atom_radius * atom_scale, rotation, w, h, FIT_MARGIN);
    if (is_show_box)
        fit_width = std::max(fit_width, FitHalfExtent(CellBoxCorners(), 0.0f, rotation, w, h, FIT_MARGIN));
    is_fit_pending = false;
}

// Half the depth of the volume around the structure's centre that holds every atom, label and
// box corner, whatever the zoom.
float CDisplay::DepthRadius() const
{
    return std::max(centre_reach + max_atom_radius * std::max(atom_scale, 0.0f), box_reach) * DEPTH_SLACK;
}

// ---- drawing -------------------------------------------------------------------------------

// Buffers, fit and matrices of a frame of w x h pixels; false when there is nothing to draw into.
bool CDisplay::PrepareFrame(int w, int h)
{
    // A minimised window has nothing to draw into and no aspect ratio.
    if (w <= 0 || h <= 0)
        return false;
    SyncAtoms();
    if (is_fit_pending)
        FitView(w, h);
    target_width = fit_width * view_zoom;
    fix_side = target_width / 20.0f;
    track.SetViewSize(w, h);
    view_size = glm::vec2(w, h);
    // The camera sits on +z looking at the origin, the centre of the structure and of the gizmo.
    const float camera_distance = -track.View[3].z;
    const CViewProjection projection =
        SceneProjection(target_width, view_offset, w, h, EnclosingDepth(camera_distance, DepthRadius()),
                        EnclosingDepth(camera_distance, GIZMO_DEPTH_ARROWS * GIZMO_ARROW_LENGTH * fix_side));
    Projection = projection.scene;
    FixView = projection.fixed;
    mvp = Projection * track.View * track.Model;
    is_quick_frame = is_view_moved && mvp != drawn_view;
    is_view_moved = false;
    drawn_view = mvp;
    return true;
}

void CDisplay::DrawPick(int w, int h)
{
    if (!PrepareFrame(w, h))
        return;
    PickShader.Use();
    DrawAtoms(PickShader.Program, true);
}

void CDisplay::DrawScene(int w, int h)
{
    if (!PrepareFrame(w, h))
        return;
    // The pick pass draws into the framebuffer first and clears it again before the scene.
    if (is_picking) {
        PickShader.Use();
        DrawAtoms(PickShader.Program, true);
    }

    if (is_show_box) {
        BoxShader.Use();
        DrawBox(BoxShader.Program);
    }
    // Impostor edges give their coverage as alpha: samples in a multisampled framebuffer, no
    // effect in a single-sampled one; blended, they would show what lies behind through the rim.
    const GLboolean is_blend = glIsEnabled(GL_BLEND);
    glDisable(GL_BLEND);
    glEnable(GL_SAMPLE_ALPHA_TO_COVERAGE);
    DrawStructure(w, h);
    glDisable(GL_SAMPLE_ALPHA_TO_COVERAGE);
    if (is_blend)
        glEnable(GL_BLEND);

    if (is_show_label) {
        FontShader.Use();
        RenderText();
    }

    // The gizmo is drawn over the structure, whatever lies in front of its corner.
    glClear(GL_DEPTH_BUFFER_BIT);
    ArrowShader.Use();
    ShowAxes(ArrowShader.Program);
}

// Atoms and bonds; in a quick frame the atoms come from the CPU raster, and tubes thinner than a
// pixel, which the moving eye does not miss, are left out.
void CDisplay::DrawStructure(int w, int h)
{
    const float pixels = 0.5f * static_cast<float>(w) * Projection[0][0];
    if (is_quick_frame) {
        DrawAtomFill(w, h);
    } else {
        AtomShader.Use();
        DrawAtoms(AtomShader.Program, false);
    }
    if (is_quick_frame && 2.0f * BOND_RADIUS * pixels < 1.0f)
        return;
    BondShader.Use();
    DrawBonds(BondShader.Program);
}

// Uniforms every impostor program reads: its matrices, the camera's place for the light, and the
// window depth of a camera-space depth under the orthographic projection.
void CDisplay::SetImpostorUniforms(GLuint Program)
{
    SetMatrix(Uniform(Program, "MV"), track.View * track.Model);
    SetMatrix(Uniform(Program, "P"), Projection);
    SetVector(Uniform(Program, "Eye"), glm::vec3(glm::inverse(track.View)[3]));
    GLfloat range[2] = {0.0f, 1.0f};
    glGetFloatv(GL_DEPTH_RANGE, range);
    const float half = 0.5f * (range[1] - range[0]);
    glUniform2f(Uniform(Program, "Depth"), half * Projection[2][2],
                half * Projection[3][2] + 0.5f * (range[0] + range[1]));
}

// The uniforms of the atom programs; `highlight` draws the selected atom in the selection colour.
void CDisplay::SetAtomUniforms(GLuint Program, bool highlight)
{
    SetImpostorUniforms(Program);
    glUniform1f(Uniform(Program, "S"), atom_scale);
    const bool shown = highlight && is_show_highlight && is_atom_selected && selected_atom < uploaded.atom_quads;
    glUniform1i(Uniform(Program, "marks"), is_show_highlight ? 1 : 0);
    glUniform1i(Uniform(Program, "selected"), shown ? static_cast<GLint>(selected_atom) : -1);
    SetVector(Uniform(Program, "C"), SELECTED_COLOR);
}

void CDisplay::DrawAtoms(GLuint Program, bool b)
{
    SetAtomUniforms(Program, !b);
    BindBufferTexture(Program, "atoms", 0, TBOM);
    BindBufferTexture(Program, "colours", 1, TBOK);
    if (b)
        ClearFramebuffer(glm::vec4(1.0f));
    DrawQuads(VAOM, uploaded.atom_quads);
    if (b) {
        ProcessPicking(b);
        ClearFramebuffer(CColor);
        is_picking = false;
    }
}

void CDisplay::DrawBonds(GLuint Program)
{
    if (!is_bond_eval || !is_show_bond)
        return;
    SyncBonds();
    SetImpostorUniforms(Program);
    BindBufferTexture(Program, "bonds", 0, TBOB);
    glUniform1f(Uniform(Program, "S"), BOND_RADIUS);
    glUniform1f(Uniform(Program, "A"), atom_scale);
    glUniform1f(Uniform(Program, "Pixel"), 2.0f / (view_size.x * Projection[0][0]));
    SetVector(Uniform(Program, "C"), BOND_COLOR);
    DrawQuads(VAOB, uploaded.bond_quads);
}

// The atoms as the raster sees them in this frame, in the colours the atom program gives them.
CSphereRaster::SView CDisplay::RasterView() const
{
    CSphereRaster::SView view;
    view.view = track.View * track.Model;
    view.projection = Projection;
    view.eye = glm::vec3(glm::inverse(track.View)[3]);
    view.scale = atom_scale;
    view.selected = is_show_highlight && is_atom_selected ? static_cast<int64_t>(selected_atom) : -1;
    view.is_marks = is_show_highlight;
    view.mark_colour = SELECTED_COLOR;
    return view;
}

// The quick picture's atoms: drawn by the raster into a picture with depths, which one triangle
// over the view copies into the framebuffer.
void CDisplay::DrawAtomFill(int w, int h)
{
    raster.Draw(v_atom_records, v_atom_colours, RasterView(), w, h);
    const bool is_new_size = quick_size != glm::ivec2(w, h);
    UploadPicture(TEXP, is_new_size, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, raster.Picture().data(), w, h);
    UploadPicture(TEXZ, is_new_size, GL_R32F, GL_RED, GL_FLOAT, raster.Depth().data(), w, h);
    quick_size = glm::ivec2(w, h);
    AtomFillShader.Use();
    const GLuint Program = AtomFillShader.Program;
    SetImpostorUniforms(Program);
    GLint viewport[4] = {0, 0, w, h};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glUniform2f(Uniform(Program, "Origin"), static_cast<float>(viewport[0]), static_cast<float>(viewport[1]));
    glUniform1i(Uniform(Program, "picture"), 0);
    glUniform1i(Uniform(Program, "depth"), 1);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, TEXZ);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, TEXP);
    RebindVertexArray(VAOM);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
}

void CDisplay::DrawBox(GLuint Program)
{
    SetMatrix(Uniform(Program, "MVP"), Projection * track.View * track.Model);
    SetVector(Uniform(Program, "C"), BOX_COLOR);
    glUniform1f(Uniform(Program, "W"), pixel_scale);
    glUniform2f(Uniform(Program, "Viewport"), view_size.x, view_size.y);
    RebindVertexArray(VAOC);
    glDrawArrays(GL_LINE_STRIP, 0, CELL_BOX_VERTICES);
    glBindVertexArray(0);
}

void CDisplay::ShowAxes(GLuint Program)
{
    DrawGizmoPart(Program, VAOA, GL_TRIANGLE_STRIP);
    DrawGizmoPart(Program, VAOT, GL_TRIANGLE_FAN);
    glBindVertexArray(0);
}

// The clip-space shift of the gizmo, kept far enough from the window's edges and the depth range's
// ends that an arrow pointing anywhere stays whole.
glm::vec3 CDisplay::GizmoShift() const
{
    const float reach = GIZMO_REACH * fix_side;
    const glm::vec2 room = glm::max(glm::vec2(1.0f) - reach * glm::vec2(FixView[0][0], FixView[1][1]), glm::vec2(0.0f));
    return glm::vec3(glm::clamp(glm::vec2(axis_position), -room, room),
                     std::clamp(axis_position.z, -GIZMO_MAX_SHIFT, GIZMO_MAX_SHIFT));
}

// One part (shafts or heads) of the three gizmo arrows. FixView has no pan, and the arrow size
// follows target_width like FixView does, so the gizmo keeps its size on screen.
void CDisplay::DrawGizmoPart(GLuint Program, GLuint vao, GLenum mode)
{
    RebindVertexArray(vao);
    const ObjectUniforms u = FindObjectUniforms(Program);
    SetMatrix(u.v, track.View);
    const double side = fix_side;
    SetVector(u.s, glm::vec3(0.1 * side, 0.1 * side, 2.0 * side));
    SetVector(Uniform(Program, "P"), GizmoShift());
    for (const GizmoAxis &a : GIZMO_AXES) {
        const glm::mat4 m = track.Model * glm::rotate(glm::mat4(1.0f), a.angle, a.about);
        mvp = FixView * track.View * m;
        SetMatrix(u.mvp, mvp);
        SetMatrix(u.m, m);
        SetVector(u.c, a.color);
        glDrawArrays(mode, 0, arrow_vertex);
    }
}

// ---- labels --------------------------------------------------------------------------------

void CDisplay::LoadFont() { LoadFont(FONT_PATHS); }

void CDisplay::LoadFont(const std::vector<std::string> &font_paths)
{
    FT_Library ft;
    if (FT_Init_FreeType(&ft) != 0) {
        std::cout << "ERROR::FREETYPE: Could not init FreeType Library" << std::endl;
    } else {
        // Without a face the glyph set stays as it was (empty at start-up: labels draw nothing).
        FT_Face face = OpenFirstFont(ft, font_paths);
        if (face != nullptr) {
            std::vector<GlyphBitmap> glyphs = RenderGlyphs(face);
            FT_Done_Face(face);
            const int height = PlaceGlyphs(glyphs);
            DeleteGlyphs();
            const GLuint atlas = UploadAtlas(glyphs, height);
            for (GlyphBitmap &g : glyphs) {
                g.metrics.TextureID = atlas;
                Characters.emplace(g.code, g.metrics);
            }
            UploadGlyphMetrics(TEXM, Characters, height);
            u_font_generation++;
        }
        FT_Done_FreeType(ft);
    }
    if (VAOF != 0)
        return;
    CreateEmptyVertexArray(VAOF);
    CreateBufferTexture(VBOF, TBOF, GL_RGBA32F);
}

// All glyphs share one atlas texture.
void CDisplay::DeleteGlyphs()
{
    if (!Characters.empty()) {
        GLuint atlas = Characters.begin()->second.TextureID;
        ReleaseTexture(atlas);
    }
    Characters.clear();
}

// Rebuilds the glyph instances when the labels, the atoms or the font changed.
void CDisplay::SyncLabels()
{
    const LabelKey key{u_revision, u_font_generation, u_hidden_revision, is_show_symbol, is_show_index};
    if (key == label_key)
        return;
    std::vector<CGlyphInstance> glyphs;
    BuildGlyphInstances(v_float_raw_xyz, v_atom_index, is_show_symbol, is_show_index, GlyphAdvances(Characters),
                        glyphs, Hidden());
    UploadInstances(VBOF, glyphs);
    u_glyph_instances = glyphs.size();
    label_key = key;
}

// Labels are drawn whole over the scene when their atom is seen, tested against a copy of the
// scene's depth; without one (a framebuffer whose depth can't be copied) they are depth-tested
// glyph by glyph as planes in front of their atoms.
void CDisplay::RenderText()
{
    if (v_float_raw_xyz.empty() || Characters.empty())
        return;
    SyncLabels();
    const bool is_depth_tested = CopySceneDepth();
    const GLuint Program = FontShader.Program;
    SetLabelUniforms(Program, is_depth_tested);
    glUniform1i(Uniform(Program, "text"), 0);
    glUniform1i(Uniform(Program, "metrics"), 1);
    glUniform1i(Uniform(Program, "sceneDepth"), 3);
    BindBufferTexture(Program, "glyphs", 2, TBOF);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, depth_texture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, TEXM);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, Characters.begin()->second.TextureID);
    if (is_depth_tested)
        glDisable(GL_DEPTH_TEST);
    DrawQuads(VAOF, u_glyph_instances);
    glEnable(GL_DEPTH_TEST);
    for (const GLenum unit : {GL_TEXTURE3, GL_TEXTURE1, GL_TEXTURE0}) {
        glActiveTexture(unit);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}

// World units per glyph pixel: label_pixels screen pixels per em (times pixel_scale), or the
// font slider's size.
void CDisplay::SetLabelUniforms(GLuint Program, bool is_depth_tested)
{
    const float world_per_pixel = 2.0f / (Projection[1][1] * view_size.y);
    const float f = label_pixels > 0
                        ? static_cast<float>(label_pixels) * pixel_scale / static_cast<float>(GLYPH_PIXELS) * world_per_pixel
                        : font_scale;
    SetImpostorUniforms(Program);
    glUniform1f(Uniform(Program, "S"), atom_scale);
    glUniform1f(Uniform(Program, "F"), f);
    glUniform2f(Uniform(Program, "O"), LABEL_START, LABEL_START);
    glUniform1f(Uniform(Program, "Pad"), LABEL_PAD);
    glUniform1f(Uniform(Program, "Outline"), LABEL_OUTLINE);
    glUniform1i(Uniform(Program, "depthTest"), is_depth_tested ? 1 : 0);
    glUniform2f(Uniform(Program, "Viewport"), view_size.x, view_size.y);
    SetVector(Uniform(Program, "textColor"), LABEL_COLOR);
}

// Copies the depth of the bound draw framebuffer into depth_texture; false when the driver
// refuses (the copy needs the same depth format on both sides).
bool CDisplay::CopySceneDepth()
{
    GLint draw = 0, read = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    const GLenum format = DepthFormat(static_cast<GLuint>(draw));
    if (format == 0)
        return false;
    const glm::ivec3 key(static_cast<int>(view_size.x), static_cast<int>(view_size.y), static_cast<int>(format));
    if (key != depth_key) {
        ReleaseTexture(depth_texture);
        if (depth_fbo == 0)
            glGenFramebuffers(1, &depth_fbo);
        depth_texture = CreateDepthTexture(depth_fbo, format, key.x, key.y);
        depth_key = key;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(draw));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, depth_fbo);
    glBlitFramebuffer(0, 0, key.x, key.y, 0, 0, key.x, key.y, GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    const bool is_copied = glGetError() == GL_NO_ERROR;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
    if (!is_copied)
        depth_key = glm::ivec3(0);
    return is_copied;
}

// ---- shell helpers -------------------------------------------------------------------------

glm::dvec3 CDisplay::ViewDirection() const
{
    const glm::vec3 d = glm::inverse(glm::mat3(track.View * track.Model)) * glm::vec3(0.0f, 0.0f, 1.0f);
    return glm::normalize(glm::dvec3(d));
}

glm::vec2 CDisplay::ScreenPosition(uint32_t i, glm::vec2 size) const
{
    return WindowPoint(Projection * track.View * track.Model, v_float_raw_xyz[i], size);
}
