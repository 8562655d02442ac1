#ifndef CDISPLAY_H
#define CDISPLAY_H

#include <cstdint>
#include <string>
#include <vector>
#include <glad/gl.h>
#include <glm/glm.hpp>

#include "caxesgizmo.h"
#include "cinstancebuffers.h"
#include "clabels.h"
#include "cmodel.h"
#include "cpalette.h"
#include "cpick.h"
#include "cquickpicture.h"
#include "cselection.h"
#include "cshader.h"
#include "ctrack.h"

// The structure model together with its renderer and the view state the panels change. All
// operations need the OpenGL context that was current at construction; Delete releases the GPU
// objects and must run before that context goes.
//
// Atoms, bonds and labels are each drawn in one call, a quad per item, from records in buffer
// textures. The display's own edits and loads mark the structure changed; the next DrawScene
// uploads the records again (also when the atom or bond count changed behind its back), so
// nothing is uploaded per frame otherwise.
class CDisplay : public CModel {
public:
    CDisplay();
    CDisplay(const CDisplay &) = delete;
    CDisplay &operator=(const CDisplay &) = delete;

    // selected_atom when nothing is selected; also what the white pick background decodes to.
    static constexpr uint32_t NO_SELECTION = PICK_NO_ATOM;

    CTrack track;
    CPalette pick;
    bool is_atom_selected = false;
    bool is_picking = false;
    bool is_visible = false;
    bool is_show_bond = false;
    bool is_show_box = false;
    bool is_show_label = false;
    bool is_show_symbol = true;
    bool is_show_index = false;
    int input_format = INPUT_FILE_TYPE_XYZ;
    uint32_t selected_atom = NO_SELECTION;
    // The atoms the edits of the selection act on, marked in the selection colour.
    CSelection selection;
    uint32_t selected_zatom = 0;
    std::string selected_symbol;
    glm::vec3 selected_xyz{0.0f};
    // The atoms' and bonds' records on the GPU, and the labels' glyphs.
    CInstanceBuffers instances;
    CLabels labels;
    GLuint VAOC = 0, VBOC = 0;  // cell box
    GLfloat atom_scale = 1.0f;
    // Zoom factor on fit_width, the half-extent that fits the structure to the window; a load and
    // ResetZoom refit it at the next DrawScene.
    GLfloat view_zoom = 1.0f;
    GLfloat fit_width = 1.0f;
    bool is_fit_pending = true;
    GLfloat font_scale = 0.005f;
    // Label size: the glyphs' em in screen pixels, whatever the zoom; 0 for font_scale's size
    // in the structure's units.
    int label_pixels = 18;
    // Window pixels per drawn pixel: 1 in the window, the factor of a larger picture, so that
    // lines and labels keep their look.
    float pixel_scale = 1.0f;
    // The selected atom drawn in the selection colour.
    bool is_show_highlight = true;
    // Anti-aliased edges in the window (a multisampled picture resolved into the window).
    bool is_smooth = false;
    // The full picture leaves out the atoms and bonds that others hide (see CSphereCull).
    bool is_cull = true;
    GLfloat target_width = 0.0f;
    CAxesGizmo gizmo;
    GLfloat fix_side = 0.0f;
    glm::vec4 CColor{0.0f, 0.0f, 0.0f, 1.0f};
    glm::vec3 initial_axis_position{0.85f, -0.8f, 0.5f};
    glm::vec3 axis_position{-0.85f, 0.8f, -0.5f};
    glm::vec2 view_offset{0.0f};
    glm::mat4 Projection{1.0f}, FixView{1.0f}, mvp{1.0f};
    CShader AtomShader, BondShader, FontShader, PickShader, ArrowShader, BoxShader;
    CShader AtomFillShader;
    // The atom and pick programs for culled atoms drawn as points.
    CShader AtomPointShader, PickPointShader;
    int pcolor[2] = {0, 0};

    // Releases every GPU object this display created; safe to call more than once.
    void Delete();

    // View settings, effective from the next DrawScene.
    void ShowBonds(bool b) { is_show_bond = b; }
    void ShowSymbols(bool b) { is_show_symbol = b; }
    void ShowIndex(bool b) { is_show_index = b; }
    void SetAtomScale(bool b) { atom_scale = b ? 0.6f : 1.0f; }
    void SetZoom(float f);
    void SetFont(float f) { font_scale = f; }
    void SetAxesPosition(glm::vec3 p) { axis_position = -p; }
    void SetViewOffset(glm::vec2 o) { view_offset = o; }
    void SetClearColor(glm::vec4 c) { CColor = c; }
    void ResetZoom();
    void ResetAxes() { SetAxesPosition(initial_axis_position); }
    void ResetScene();

    // Trackball forwarders; pointer positions in window pixels.
    void SetTrackLastPosition(float x, float y) { track.SetLastVector(x, y); }
    void SetTrackCurretPosition(float x, float y) { track.SetTrackMotion(x, y); }
    void SetTrackRotation(float x, float y) { track.SetInitialViewX(x, y); }
    void SetTrackLastRotation() { track.SetLastRotation(); }

    // The view moved under the user's hand (drag, wheel, pan keys) since the last frame: the next
    // DrawScene, if the view did change, draws the quick picture (the atoms drawn on the CPU,
    // bonds thinner than a pixel left out), whose cost keeps a million atoms turning smoothly. The
    // frame after it, without a new note, is the full picture again; NeedsFullFrame says one is due.
    void NoteViewMoved() { quick.NoteViewMoved(); }
    bool NeedsFullFrame() const { return quick.IsQuickFrame(); }

    // Picking: SetPicking asks for the atom under window position (x, y), origin at the top
    // left; the next DrawScene resolves it into the selection through ProcessPicking.
    void SetPicking(int x, int y);
    void ProcessPicking(bool b);
    // The picked atom's element and place as the atoms have them now.
    void FollowSelectedAtom();

    // Structure edits.
    void DeleteAtom(uint32_t i);
    void UpdateAtomType(uint32_t z);
    void CenterCoordinates();
    // The display's own state after the atoms changed (an edit, undo, redo or a load): the cell
    // box, the pick palette, and no selection (atom numbers may have moved).
    void AfterEdit();
    // Shows frame k of a file of frames (false, error_message, when it cannot be read): the cell
    // box and the pick palette follow it, and the selection stays on its atom while the frame
    // has the same atoms as the one it replaces.
    bool StepToFrame(uint64_t k);
    // The unit vector from the structure towards the viewer, along the file frame's axes.
    glm::dvec3 ViewDirection() const;
    // The trackball's turn about the middle of the structure fitted last.
    glm::mat4 ModelMatrix() const;
    // Where atom i is drawn in a view of `size` pixels, origin at the top left (last DrawScene).
    glm::vec2 ScreenPosition(uint32_t i, glm::vec2 size) const;
    // Makes the next DrawScene upload atoms, bonds and labels again.
    void StructureChanged() { ++u_revision; }

    // Load and save with the format chosen in input_format.
    // False when the file could not be read or written; CModel::error_message says why.
    bool ReadFile(std::string d, std::string f);
    bool SaveFile(std::string f);
    // Display side of a successful load: cell box, pick palette, selection, visibility, and,
    // unless is_same_view (the file shown read again), a view fitted to the new structure.
    void RefreshStructure(bool is_same_view = false);

    // Meshes of the gizmo and the cell box.
    void BuildCube();

    // Drawing: one frame into the current framebuffer of w x h pixels.
    void DrawScene(int w, int h);
    // The pick pass alone, into the current framebuffer, which must be single-sampled so that
    // the code colour read back is exact; it is left cleared.
    void DrawPick(int w, int h);
    void DrawAtoms(GLuint Program, bool b);
    void DrawCulledAtoms(GLuint Program, bool b);
    void DrawBonds(GLuint Program);
    void DrawAtomFill(int w, int h);
    void DrawBox(GLuint Program);

    // Labels. LoadFont opens the first of font_paths that FreeType accepts and replaces the glyph
    // atlas with its glyphs; RenderText draws the labels of all atoms in one call.
    void LoadFont();
    void LoadFont(const std::vector<std::string> &font_paths);
    void RenderText();

private:
    // Reach of the structure from the origin: atom centres and the cell box corners (with the
    // largest element radius drawn, from the instances); the depth range and the fit are sized
    // from them.
    float centre_reach = 0.0f;
    float box_reach = 0.0f;
    // The middle of the atoms' box at the last fit, which the view turns about and centres.
    glm::vec3 view_centre{0.0f};
    CQuickPicture quick;
    // What the quick picture shows, for the labels drawn over it.
    CSphereCull quick_cull;
    glm::vec2 view_size{1.0f};

    void RefitPalette();
    std::vector<glm::vec3> CellBoxCorners() const;
    void ClearSelection();
    bool PrepareFrame(int w, int h);
    void SetLabelUniforms(GLuint Program);
    float WorldPerGlyphPixel() const;
    void FitView(int w, int h);
    float DepthRadius() const;
    void SetImpostorUniforms(GLuint Program);
    void SetAtomUniforms(GLuint Program, bool highlight);
    void DrawStructure(int w, int h);
    CSphereRaster::SView RasterView() const;
    void CullHidden();
    CSphereCull::SView CullView() const;
    void CullLabels();
};

#endif
