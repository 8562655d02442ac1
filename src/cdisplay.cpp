#include "cdisplay.h"

#include <algorithm>
#include <iostream>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "cmesh.h"
#include "cview.h"
#include "elements.h"
#include "shaders/arrow.h"
#include "shaders/atom.h"
#include "shaders/bond.h"
#include "shaders/font.h"
#include "shaders/pick.h"

namespace {

const std::vector<std::string> FONT_PATHS = {
    "/usr/share/fonts/truetype/roboto/hinted/Roboto-Medium.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
};
const FT_UInt GLYPH_PIXELS = 48;
const unsigned int GLYPH_CODES = 128;
// Six quad vertices of (x, y, s, t).
const GLsizeiptr GLYPH_QUAD_BYTES = 6 * 4 * sizeof(float);

const glm::vec3 SELECTED_COLOR(1.5f, 0.75f, 0.45f);
const glm::vec3 BOND_COLOR(0.9f, 0.9f, 0.9f);
const glm::vec3 BOX_COLOR(1.0f, 0.0f, 0.0f);
const glm::vec3 LABEL_COLOR(1.0f, 1.0f, 0.0f);
const float BOND_RADIUS = 0.1f;
// Where the first glyph of a label starts, relative to the atom centre, in label-space units.
const float LABEL_START = -0.15f;
const float HALF_PI = 1.5707964f;

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

// Locations of the per-object uniforms of the mesh programs, looked up once per pass. A uniform
// the program lacks (the pick program's M and V) gives -1, which the setters ignore.
struct ObjectUniforms {
    GLint mvp, m, v, s, c;
};

ObjectUniforms FindObjectUniforms(GLuint program)
{
    return {glGetUniformLocation(program, "MVP"), glGetUniformLocation(program, "M"),
            glGetUniformLocation(program, "V"), glGetUniformLocation(program, "S"),
            glGetUniformLocation(program, "C")};
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

void ReleaseVertexArray(GLuint &vao, GLuint &vbo)
{
    if (vao != 0)
        glDeleteVertexArrays(1, &vao);
    if (vbo != 0)
        glDeleteBuffers(1, &vbo);
    vao = 0;
    vbo = 0;
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

void RasteriseGlyphs(FT_Face face, std::map<char, Character> &glyphs)
{
    FT_Set_Pixel_Sizes(face, 0, GLYPH_PIXELS);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (unsigned int c = 0; c < GLYPH_CODES; c++) {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0) {
            std::cout << "ERROR::FREETYTPE: Failed to load Glyph" << std::endl;
            continue;
        }
        const FT_GlyphSlot g = face->glyph;
        GLuint texture;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, static_cast<GLsizei>(g->bitmap.width),
                     static_cast<GLsizei>(g->bitmap.rows), 0, GL_RED, GL_UNSIGNED_BYTE, g->bitmap.buffer);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        const Character ch = {texture,
                              glm::ivec2(g->bitmap.width, g->bitmap.rows),
                              glm::ivec2(g->bitmap_left, g->bitmap_top),
                              static_cast<GLuint>(g->advance.x)};
        if (!glyphs.emplace(static_cast<char>(c), ch).second)
            glDeleteTextures(1, &texture);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

} // namespace

CDisplay::CDisplay()
{
    pick.set_color(0);
    BuildCylinder(20);
    BuildArrow(20);
    BuildSphere(2);
    SetCylinderBuffer();
    SetArrowBuffer();
    SetSphereBuffer();
    AtomShader.SetShader(atom_vs, atom_frag);
    BondShader.SetShader(bond_vs, bond_frag);
    FontShader.SetShader(font_vs, font_frag);
    PickShader.SetShader(pick_vs, pick_frag);
    ArrowShader.SetShader(arrow_vs, arrow_frag);
    LoadFont();
    track.SetRotationMatrix();
}

void CDisplay::Delete()
{
    ReleaseVertexArray(VAOM, VBOM);
    ReleaseVertexArray(VAOB, VBOB);
    ReleaseVertexArray(VAOC, VBOC);
    ReleaseVertexArray(VAOA, VBOA);
    ReleaseVertexArray(VAOT, VBOT);
    ReleaseVertexArray(VAOF, VBOF);
    DeleteGlyphs();
    AtomShader.Delete();
    BondShader.Delete();
    FontShader.Delete();
    PickShader.Delete();
    ArrowShader.Delete();
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
void CDisplay::ResetZoom() { view_zoom = 1.0f; }
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

// The pixel under the pointer: window rows count from the top, framebuffer rows from the bottom.
void CDisplay::SetPicking(int x, int y)
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    pcolor[0] = std::clamp(x, 0, std::max(viewport[2] - 1, 0));
    pcolor[1] = std::clamp(viewport[3] - 1 - y, 0, std::max(viewport[3] - 1, 0));
    is_picking = true;
}

// Reads the code colour under the pointer. Only a value naming an atom of this structure selects
// it: white (the background) and anything else deselect.
void CDisplay::ProcessPicking(bool)
{
    unsigned char rgb[4] = {255, 255, 255, 255};
    glReadPixels(pcolor[0], pcolor[1], 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    const uint32_t index = pick.get_index_rgb(rgb[0], rgb[1], rgb[2]);
    if (index >= v_atom_index.size() || index >= v_float_raw_xyz.size()) {
        ClearSelection();
        return;
    }
    const uint32_t e = std::min<uint32_t>(v_atom_index[index], periodic_table_atoms - 1);
    is_atom_selected = true;
    selected_atom = index;
    selected_zatom = e + 1;
    selected_symbol = symbol[e];
    selected_xyz = v_float_raw_xyz[index];
}

void CDisplay::ClearSelection()
{
    is_atom_selected = false;
    selected_atom = NO_SELECTION;
}

void CDisplay::DeleteAtom(uint32_t i)
{
    if (i >= v_float_raw_xyz.size())
        return;
    DeleteAtomIndex(i);
    RefitPalette();
    ClearSelection();
}

void CDisplay::UpdateAtomType(uint32_t z)
{
    if (!is_atom_selected || selected_atom >= v_atom_index.size() || z >= periodic_table_atoms)
        return;
    SetElement(selected_atom, z);
    const uint32_t e = v_atom_index[selected_atom];
    selected_zatom = e + 1;
    selected_symbol = symbol[e];
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

void CDisplay::RefreshStructure()
{
    BuildCube();
    RefitPalette();
    // The old selection may name an atom the new structure does not have.
    ClearSelection();
    is_visible = true;
    is_show_box = is_periodic;
}

bool CDisplay::SaveFile(std::string f) { return SaveStructureFile(f, f, input_format); }

// ---- meshes --------------------------------------------------------------------------------

void CDisplay::BuildSphere(unsigned int res) { nvtx = BuildSphereMesh(res, v_sphere); }
void CDisplay::BuildCylinder(unsigned int res) { cylinder_vertex = BuildTubeMesh(res, v_cylinder); }
void CDisplay::BuildArrow(unsigned int res) { arrow_vertex = BuildArrowMesh(res, v_arrow, v_cone); }

void CDisplay::BuildCube()
{
    std::vector<glm::vec3> corners;
    BuildCellBoxMesh(m_cell_box, corners);
    UploadMesh(VAOC, VBOC, corners);
}

void CDisplay::SetSphereBuffer() { UploadMesh(VAOM, VBOM, v_sphere); }
void CDisplay::SetCylinderBuffer() { UploadMesh(VAOB, VBOB, v_cylinder); }

void CDisplay::SetArrowBuffer()
{
    UploadMesh(VAOA, VBOA, v_arrow);
    UploadMesh(VAOT, VBOT, v_cone);
}

// ---- drawing -------------------------------------------------------------------------------

void CDisplay::DrawScene(int w, int h)
{
    // A minimised window has nothing to draw into and no aspect ratio.
    if (w <= 0 || h <= 0)
        return;
    target_width = std::max({v_box_size.x, v_box_size.y, v_box_size.z}) * view_zoom;
    fix_side = target_width / 20.0f;
    track.SetViewSize(w, h);
    const CViewProjection projection = SceneProjection(target_width, view_offset, w, h);
    Projection = projection.scene;
    FixView = projection.fixed;

    // The pick pass draws into the framebuffer first and clears it again before the scene.
    if (is_picking) {
        PickShader.Use();
        DrawAtoms(PickShader.Program, true);
    }

    AtomShader.Use();
    if (is_show_box)
        DrawBox(AtomShader.Program);
    DrawAtoms(AtomShader.Program, is_picking);

    BondShader.Use();
    DrawBonds(BondShader.Program);

    if (is_show_label) {
        FontShader.Use();
        RenderText();
    }

    ArrowShader.Use();
    ShowAxes(ArrowShader.Program);
}

void CDisplay::DrawAtoms(GLuint Program, bool b)
{
    glBindVertexArray(VAOM);
    const ObjectUniforms u = FindObjectUniforms(Program);
    SetMatrix(u.m, track.Model);
    SetMatrix(u.v, track.View);
    if (b)
        ClearFramebuffer(glm::vec4(1.0f));
    if (!b && v_float_raw_xyz.empty())
        return;

    const glm::mat4 pvm = Projection * track.View * track.Model;
    const uint32_t n = static_cast<uint32_t>(v_float_raw_xyz.size());
    for (uint32_t i = 0; i < n; i++) {
        const glm::vec4 &element = atom_rgbs[v_atom_index[i]];
        mvp = pvm * glm::translate(glm::mat4(1.0f), v_float_raw_xyz[i]);
        SetMatrix(u.mvp, mvp);
        glUniform1f(u.s, element.w * atom_scale);
        if (b)
            SetVector(u.c, pick.get_index(i));
        else if (is_atom_selected && i == selected_atom)
            SetVector(u.c, SELECTED_COLOR);
        else
            SetVector(u.c, glm::vec3(element));
        glDrawArrays(GL_TRIANGLE_STRIP, 0, nvtx);
    }

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
    RebindVertexArray(VAOB);
    const ObjectUniforms u = FindObjectUniforms(Program);
    SetMatrix(u.v, track.View);

    const glm::mat4 pv = Projection * track.View;
    const size_t n = std::min({static_cast<size_t>(i_number_of_bonds), m_bond_xyz.size(), m_bond_ang.size(),
                               v_bond_length.size()});
    for (size_t k = 0; k < n; k++) {
        const glm::mat4 r = BondRotation(m_bond_ang[k]);
        SetMatrix(u.m, track.Model * r);
        mvp = pv * track.Model * glm::translate(glm::mat4(1.0f), m_bond_xyz[k]) * r;
        SetMatrix(u.mvp, mvp);
        const float half_length = static_cast<float>(0.5 * static_cast<double>(v_bond_length[k]));
        SetVector(u.s, glm::vec3(BOND_RADIUS, BOND_RADIUS, half_length));
        SetVector(u.c, BOND_COLOR);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, cylinder_vertex);
    }
}

void CDisplay::DrawBox(GLuint Program)
{
    // Without the view matrix: the box sits nearer by the camera distance than the atoms do.
    const ObjectUniforms u = FindObjectUniforms(Program);
    mvp = Projection * track.Model;
    SetMatrix(u.mvp, mvp);
    SetMatrix(u.m, track.Model);
    SetMatrix(u.v, track.View);
    glUniform1f(u.s, 1.0f);
    glBindVertexArray(VAOC);
    SetVector(u.c, BOX_COLOR);
    glDrawArrays(GL_LINE_STRIP, 0, CELL_BOX_VERTICES);
}

void CDisplay::ShowAxes(GLuint Program)
{
    DrawGizmoPart(Program, VAOA, GL_TRIANGLE_STRIP);
    DrawGizmoPart(Program, VAOT, GL_TRIANGLE_FAN);
    glBindVertexArray(0);
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
    SetVector(glGetUniformLocation(Program, "P"), axis_position);
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
        // Without a face there are no glyphs: labels then draw nothing.
        FT_Face face = OpenFirstFont(ft, font_paths);
        if (face != nullptr) {
            RasteriseGlyphs(face, Characters);
            FT_Done_Face(face);
        }
        FT_Done_FreeType(ft);
    }
    if (VAOF != 0)
        return;
    glGenVertexArrays(1, &VAOF);
    glGenBuffers(1, &VBOF);
    glBindVertexArray(VAOF);
    glBindBuffer(GL_ARRAY_BUFFER, VBOF);
    glBufferData(GL_ARRAY_BUFFER, GLYPH_QUAD_BYTES, nullptr, GL_DYNAMIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
}

void CDisplay::DeleteGlyphs()
{
    for (const auto &entry : Characters)
        glDeleteTextures(1, &entry.second.TextureID);
    Characters.clear();
}

void CDisplay::RenderText()
{
    const uint32_t n = static_cast<uint32_t>(v_float_raw_xyz.size());
    const glm::mat4 pvm = Projection * track.View * track.Model;
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t e = v_atom_index[i];
        mvp = pvm * glm::translate(glm::mat4(1.0f), v_float_raw_xyz[i]);
        std::string text;
        if (!is_show_symbol)
            text = std::to_string(i);
        else if (is_show_index)
            text = symbol[e] + std::to_string(i);
        else
            text = symbol[e];
        RenderText(FontShader.Program, atom_rgbs[e].w * atom_scale, text);
    }
}

void CDisplay::RenderText(GLuint Program, float s, std::string text)
{
    // Cancelling the rotation keeps the text upright and facing the viewer at the atom's place.
    mvp = mvp * glm::inverse(track.Model);
    SetMatrix(glGetUniformLocation(Program, "MVP"), mvp);
    SetVector(glGetUniformLocation(Program, "textColor"), LABEL_COLOR);
    glUniform1f(glGetUniformLocation(Program, "S"), s);
    glActiveTexture(GL_TEXTURE0);
    glBindVertexArray(VAOF);

    float x = LABEL_START;
    const float y = LABEL_START;
    for (const char c : text) {
        const auto glyph = Characters.find(c);
        if (glyph == Characters.end())
            continue;
        const Character &ch = glyph->second;
        const float xpos = x + ch.Bearing.x * font_scale;
        const float ypos = y - (ch.Size.y - ch.Bearing.y) * font_scale;
        const float w = ch.Size.x * font_scale;
        const float h = ch.Size.y * font_scale;
        // t is 0 at the top: the bitmap's first row is its top row.
        const float vertices[6][4] = {
            {xpos, ypos + h, 0.0f, 0.0f}, {xpos, ypos, 0.0f, 1.0f},     {xpos + w, ypos, 1.0f, 1.0f},
            {xpos, ypos + h, 0.0f, 0.0f}, {xpos + w, ypos, 1.0f, 1.0f}, {xpos + w, ypos + h, 1.0f, 0.0f},
        };
        glBindTexture(GL_TEXTURE_2D, ch.TextureID);
        glBindBuffer(GL_ARRAY_BUFFER, VBOF);
        glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(vertices), vertices);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        x += (ch.Advance >> 6) * font_scale;
    }
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

// ---- shell helpers -------------------------------------------------------------------------

void CDisplay::AfterEdit()
{
    BuildCube();
    RefitPalette();
    ClearSelection();
}

glm::vec2 CDisplay::ScreenPosition(uint32_t i, glm::vec2 size) const
{
    const glm::vec4 clip = Projection * track.View * track.Model * glm::vec4(v_float_raw_xyz[i], 1.0f);
    const glm::vec2 ndc = glm::vec2(clip) / clip.w;
    return glm::vec2((ndc.x + 1.0f) * 0.5f * size.x, (1.0f - ndc.y) * 0.5f * size.y);
}
