#include "cdisplay.h"

#include <algorithm>
#include <cfloat>

#include <glm/gtc/matrix_transform.hpp>

#include "cmesh.h"
#include "cview.h"
#include "cwindow.h"
#include "elements.h"
#include "glhelpers.h"
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

const glm::vec3 SELECTED_COLOR(1.5f, 0.75f, 0.45f);
const glm::vec3 BOND_COLOR(0.9f, 0.9f, 0.9f);
const glm::vec3 BOX_COLOR(1.0f, 0.0f, 0.0f);
const float BOND_RADIUS = 0.1f;
// The texture unit of the pixels each atom drawn while culling may show in.
const GLint SHOWN_UNIT = 3;
// The texture unit of the list of atoms or bonds drawn while culling.
const GLint DRAWN_UNIT = 2;
// A label shows when the point of its atom this many radii before the centre is what the scene
// shows there (font_vs's IsAtomSeen).
const float LABEL_LIFT = 1.1f;
// From this many atoms on, whose full picture takes a while on software OpenGL, a structure shown
// afresh comes first as the quick picture, the full one in the frame after it.
const size_t QUICK_FIRST_ATOMS = 100000;
// Share of the fitted half-extent left free around the structure.
const float FIT_MARGIN = 0.05f;
// Headroom on the depth range, so that rounding never clips the front or back of the structure.
const float DEPTH_SLACK = 1.01f;
// The gizmo's depth range is this many arrow lengths deep on each side of its origin, so the
// arrows fill the middle half of it, and its depth shift is kept short of the clip planes. Its
// arrows reach from the origin to the tip of a head (2.4 units of fix_side long, 0.2 wide), which
// stays a little more than that from the window's edges.
const float GIZMO_ARROW_LENGTH = 2.4f;
const float GIZMO_DEPTH_ARROWS = 4.0f;

} // namespace

CDisplay::CDisplay()
{
    pick.set_color(0);
    gizmo.Build(20);
    instances.Create();
    labels.Create();
    AtomShader.SetShader(atom_vs, atom_frag);
    BondShader.SetShader(bond_vs, bond_frag);
    FontShader.SetShader(font_vs, font_frag);
    PickShader.SetShader(pick_vs, pick_frag);
    AtomPointShader.SetShader(atom_point_vs, atom_frag);
    PickPointShader.SetShader(pick_point_vs, pick_frag);
    AtomFillShader.SetShader(atom_fill_vs, atom_fill_frag);
    ArrowShader.SetShader(arrow_vs, arrow_frag);
    BoxShader.SetShader(line_vs, line_frag, line_gs);
    LoadFont();
    track.SetRotationMatrix();
}

void CDisplay::Delete()
{
    instances.Release();
    labels.Release();
    ReleaseVertexArray(VAOC, VBOC);
    gizmo.Release();
    quick.Release();
    AtomShader.Delete();
    BondShader.Delete();
    FontShader.Delete();
    PickShader.Delete();
    AtomPointShader.Delete();
    PickPointShader.Delete();
    AtomFillShader.Delete();
    ArrowShader.Delete();
    BoxShader.Delete();
}

// ---- view settings -------------------------------------------------------------------------

void CDisplay::SetZoom(float f)
{
    view_zoom += f;
    if (static_cast<double>(view_zoom) < 0.1)
        view_zoom = 0.1f;
}

// The window size is known only when drawing, so the fit itself waits for the next DrawScene.
void CDisplay::ResetZoom()
{
    view_zoom = 1.0f;
    is_fit_pending = true;
}

void CDisplay::ResetScene()
{
    ResetZoom();
    SetViewOffset(glm::vec2(0.0f));
    ResetAxes();
}

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
    is_atom_selected = true;
    selected_atom = index;
    FollowSelectedAtom();
}

// Whatever edited the picked atom (its own controls, an edit of the selection, undo), what the
// panels show of it is read from the atoms again.
void CDisplay::FollowSelectedAtom()
{
    if (!is_atom_selected || selected_atom >= v_atom_index.size())
        return;
    const uint32_t e = ElementOrDummy(v_atom_index[selected_atom]);
    selected_zatom = e + 1;
    selected_symbol = SymbolOf(e);
    selected_xyz = v_float_raw_xyz[selected_atom];
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
    FollowSelectedAtom();
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
    if (v_float_raw_xyz.size() >= QUICK_FIRST_ATOMS)
        quick.ForceNext();
    if (is_same_view)
        return;
    is_show_box = is_periodic;
    ResetZoom();
    SetViewOffset(glm::vec2(0.0f));
}

bool CDisplay::SaveFile(std::string f) { return SaveStructureFile(f, f, input_format); }

// ---- meshes -----------------------------------------------------------------------------

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

// The half-extent that shows the structure (and its box when shown) whole in this orientation.
void CDisplay::FitView(int w, int h)
{
    const glm::mat3 rotation(track.Model);
    // Centred in this orientation: the middle of what is seen of it is the window's.
    glm::vec3 low(FLT_MAX), high(-FLT_MAX);
    GrowTurnedExtent(v_float_raw_xyz, rotation, low, high);
    if (is_show_box)
        GrowTurnedExtent(CellBoxCorners(), rotation, low, high);
    view_centre = TurnedExtentCentre(rotation, low, high);
    fit_width = FitHalfExtent(v_float_raw_xyz, instances.MaxAtomRadius() * atom_scale, rotation, w, h, FIT_MARGIN,
                              view_centre);
    if (is_show_box)
        fit_width = std::max(fit_width, FitHalfExtent(CellBoxCorners(), 0.0f, rotation, w, h, FIT_MARGIN, view_centre));
    is_fit_pending = false;
}

// Half the depth of the volume around the structure's centre that holds every atom, label and
// box corner, whatever the zoom.
float CDisplay::DepthRadius() const
{
    return (std::max(centre_reach + instances.MaxAtomRadius() * std::max(atom_scale, 0.0f), box_reach) +
            glm::length(view_centre)) *
           DEPTH_SLACK;
}

// ---- drawing -------------------------------------------------------------------------------

// Buffers, fit and matrices of a frame of w x h pixels; false when there is nothing to draw into.
bool CDisplay::PrepareFrame(int w, int h)
{
    // A minimised window has nothing to draw into and no aspect ratio.
    if (w <= 0 || h <= 0)
        return false;
    if (instances.SyncAtoms(*this, pick, selection))
        centre_reach = Reach(v_float_raw_xyz);
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
    mvp = Projection * track.View * ModelMatrix();
    quick.DecideFrame(mvp);
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
    gizmo.Draw(ArrowShader.Program, {track.View, track.Model, FixView, fix_side, axis_position});
}

// Atoms and bonds; in a quick frame the atoms come from the CPU raster, and tubes thinner than a
// pixel, which the moving eye does not miss, are left out.
void CDisplay::DrawStructure(int w, int h)
{
    // Every frame decides afresh, so that no list of a view drawn before outlives it (the labels
    // of a quick frame, which draws no atom quads, read it too).
    CullHidden();
    const float pixels = 0.5f * static_cast<float>(w) * Projection[0][0];
    if (quick.IsQuickFrame()) {
        DrawAtomFill(w, h);
    } else {
        AtomShader.Use();
        DrawAtoms(AtomShader.Program, false);
        // Software OpenGL rasterises the atoms on its threads while this one takes the bonds in.
        glFlush();
    }
    if (quick.IsQuickFrame() && 2.0f * BOND_RADIUS * pixels < 1.0f)
        return;
    BondShader.Use();
    DrawBonds(BondShader.Program);
}

// Uniforms every impostor program reads: its matrices, the camera's place for the light, the
// window depth of a camera-space depth under the orthographic projection, and the viewport.
void CDisplay::SetImpostorUniforms(GLuint Program)
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glUniform4f(Uniform(Program, "Window"), static_cast<float>(viewport[0]), static_cast<float>(viewport[1]),
                static_cast<float>(viewport[2]), static_cast<float>(viewport[3]));
    SetMatrix(Uniform(Program, "MV"), track.View * ModelMatrix());
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
    const bool shown = highlight && is_show_highlight && is_atom_selected && selected_atom < instances.AtomQuads();
    glUniform1i(Uniform(Program, "marks"), is_show_highlight ? 1 : 0);
    glUniform1i(Uniform(Program, "selected"), shown ? static_cast<GLint>(selected_atom) : -1);
    SetVector(Uniform(Program, "C"), SELECTED_COLOR);
}

void CDisplay::DrawAtoms(GLuint Program, bool b)
{
    CullHidden();
    DrawCulledAtoms(Program, b);
}

// The atoms the last cull kept, or all when it drew every quad. `Program`, in use, is the atom or
// the pick program; points are drawn by its point counterpart.
void CDisplay::DrawCulledAtoms(GLuint Program, bool b)
{
    if (b)
        ClearFramebuffer(glm::vec4(1.0f));
    // Software OpenGL spends most of a frame of many small atoms on each primitive: a point is one
    // vertex where a quad is four and two triangles.
    if (instances.IsPointable()) {
        const CShader &points = Program == PickShader.Program ? PickPointShader : AtomPointShader;
        points.Use();
        SetAtomUniforms(points.Program, !b);
        DrawPoints(instances.VAOP, instances.AtomsDrawn());
        glUseProgram(Program);
    } else {
        SetAtomUniforms(Program, !b);
        BindBufferTexture(Program, "atoms", 0, instances.TBOM);
        BindBufferTexture(Program, "colours", 1, instances.TBOK);
        BindDrawnList(Program, DRAWN_UNIT, instances.TBOD, instances.IsCulled());
        BindBufferTexture(Program, "shown", SHOWN_UNIT, instances.TBOR);
        DrawQuads(instances.VAOM, instances.AtomsDrawn());
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
    CullHidden();
    instances.SyncBonds(*this);
    SetImpostorUniforms(Program);
    BindBufferTexture(Program, "bonds", 0, instances.TBOB);
    BindDrawnList(Program, DRAWN_UNIT, instances.TBOE, instances.IsCulled());
    glUniform1f(Uniform(Program, "S"), BOND_RADIUS);
    glUniform1f(Uniform(Program, "A"), atom_scale);
    glUniform1f(Uniform(Program, "Pixel"), 2.0f / (view_size.x * Projection[0][0]));
    SetVector(Uniform(Program, "C"), BOND_COLOR);
    DrawQuads(instances.VAOB, instances.BondsDrawn());
}

// The full picture leaves out what others hide in this view, culled against a picture of this
// framebuffer's size and samples; the quick one and a display without culling draw every quad.
void CDisplay::CullHidden()
{
    if (!is_cull || quick.IsQuickFrame()) {
        instances.Uncull();
        return;
    }
    instances.Cull(CullView(), BOND_RADIUS);
}

// This frame's view as the cull sees it, for a picture of this framebuffer's size and samples.
CSphereCull::SView CDisplay::CullView() const
{
    GLint sample_buffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &sample_buffers);
    CSphereCull::SView view;
    view.view = track.View * ModelMatrix();
    view.projection = Projection;
    view.scale = atom_scale;
    view.width = static_cast<int>(view_size.x);
    view.height = static_cast<int>(view_size.y);
    view.is_multisampled = sample_buffers != 0;
    return view;
}

// Culled glyphs are those the depth test would leave out, against the full picture's cull or the
// quick picture's depths; without the test every label shows.
void CDisplay::CullLabels()
{
    if (!is_cull) {
        labels.Uncull();
    } else if (quick.IsQuickFrame()) {
        quick_cull.BuildFromDepth(quick.Depth(), CullView());
        labels.Cull(quick_cull, LABEL_LIFT);
    } else {
        labels.Cull(instances.Culler(), LABEL_LIFT);
    }
}

// The atoms as the raster sees them in this frame, in the colours the atom program gives them.
CSphereRaster::SView CDisplay::RasterView() const
{
    CSphereRaster::SView view;
    view.view = track.View * ModelMatrix();
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
    quick.Upload(instances.AtomRecords(), instances.AtomColours(), RasterView(), w, h);
    AtomFillShader.Use();
    SetImpostorUniforms(AtomFillShader.Program);
    quick.Draw(AtomFillShader.Program, instances.VAOM, w, h);
}

void CDisplay::DrawBox(GLuint Program)
{
    SetMatrix(Uniform(Program, "MVP"), Projection * track.View * ModelMatrix());
    SetVector(Uniform(Program, "C"), BOX_COLOR);
    glUniform1f(Uniform(Program, "W"), pixel_scale);
    glUniform2f(Uniform(Program, "Viewport"), view_size.x, view_size.y);
    RebindVertexArray(VAOC);
    glDrawArrays(GL_LINE_STRIP, 0, CELL_BOX_VERTICES);
    glBindVertexArray(0);
}

// ---- labels --------------------------------------------------------------------------------

void CDisplay::LoadFont() { LoadFont(FONT_PATHS); }

void CDisplay::LoadFont(const std::vector<std::string> &font_paths) { labels.LoadFont(font_paths); }

// Labels are drawn whole over the scene when their atom is seen, tested against a copy of the
// scene's depth, or, where it can't be copied (a multisampled picture: "Smooth", exports), against
// the atoms' depth drawn again for them.
void CDisplay::RenderText()
{
    // The widest atom decides for all.
    if (v_float_raw_xyz.empty() || labels.Characters.empty() ||
        !HasRoomForLabels(2.0f * instances.MaxAtomRadius() * atom_scale, WorldPerGlyphPixel()))
        return;
    labels.Sync(*this, is_show_symbol, is_show_index);
    if (!labels.CopySceneDepth(view_size)) {
        labels.BeginOwnDepth(view_size);
        AtomShader.Use();
        // Those the picture's own cull kept: a multisampled picture's keeps every atom that shows
        // at a pixel centre, and culling again for this single-sampled depth would throw it away.
        DrawCulledAtoms(AtomShader.Program, false);
        labels.EndOwnDepth();
        FontShader.Use();
    }
    CullLabels();
    SetLabelUniforms(FontShader.Program);
    labels.Draw(FontShader.Program, true);
}

// World units per glyph pixel of this view's labels.
float CDisplay::WorldPerGlyphPixel() const
{
    return LabelWorldPerGlyphPixel(label_pixels, pixel_scale, 2.0f / (Projection[1][1] * view_size.y), font_scale);
}

void CDisplay::SetLabelUniforms(GLuint Program)
{
    SetImpostorUniforms(Program);
    glUniform1f(Uniform(Program, "S"), atom_scale);
    glUniform1f(Uniform(Program, "F"), WorldPerGlyphPixel());
    glUniform2f(Uniform(Program, "Viewport"), view_size.x, view_size.y);
}

// ---- shell helpers -------------------------------------------------------------------------

glm::dvec3 CDisplay::ViewDirection() const
{
    const glm::vec3 d = glm::inverse(glm::mat3(track.View * track.Model)) * glm::vec3(0.0f, 0.0f, 1.0f);
    return glm::normalize(glm::dvec3(d));
}

glm::mat4 CDisplay::ModelMatrix() const
{
    return track.Model * glm::translate(glm::mat4(1.0f), -view_centre);
}

glm::vec2 CDisplay::ScreenPosition(uint32_t i, glm::vec2 size) const
{
    return WindowPoint(Projection * track.View * ModelMatrix(), v_float_raw_xyz[i], size);
}
