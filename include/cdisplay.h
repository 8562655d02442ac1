#ifndef CDISPLAY_H
#define CDISPLAY_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include <glad/gl.h>
#include <glm/glm.hpp>

#include "cinstance.h"
#include "cmodel.h"
#include "cpalette.h"
#include "cpick.h"
#include "cselection.h"
#include "cshader.h"
#include "csphereraster.h"
#include "ctrack.h"

// One rasterised glyph: the atlas texture holding it, its place there and its metrics in pixels
// (Advance in 1/64 pixel).
struct Character {
    GLuint TextureID;
    glm::ivec2 Size;
    glm::ivec2 Bearing;
    GLuint Advance;
    glm::ivec2 Offset;
};

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
    GLuint VAOM = 0, VBOM = 0;  // atoms: centres and radii (buffer texture TBOM)
    GLuint VBOK = 0;            // atoms: colours (buffer texture TBOK)
    GLuint VAOB = 0, VBOB = 0;  // bonds (buffer texture TBOB)
    GLuint VAOC = 0, VBOC = 0;  // cell box
    GLuint VAOA = 0, VBOA = 0;  // arrow shaft
    GLuint VAOT = 0, VBOT = 0;  // arrow head
    GLuint VAOF = 0, VBOF = 0;  // label glyphs (buffer texture TBOF)
    GLuint TBOM = 0, TBOK = 0, TBOB = 0, TBOF = 0;
    GLuint TEXM = 0;            // glyph metrics and atlas places, read by the label program
    GLuint TEXP = 0, TEXZ = 0;  // a quick picture's colours and depths (see CSphereRaster)
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
    GLfloat target_width = 0.0f;
    std::vector<glm::vec3> v_arrow, v_cone;
    std::map<char, Character> Characters;
    GLint arrow_vertex = 0;
    GLfloat fix_side = 0.0f;
    glm::vec4 CColor{0.0f, 0.0f, 0.0f, 1.0f};
    glm::vec3 initial_axis_position{0.85f, -0.8f, 0.5f};
    glm::vec3 axis_position{-0.85f, 0.8f, -0.5f};
    glm::vec2 view_offset{0.0f};
    glm::mat4 Projection{1.0f}, FixView{1.0f}, mvp{1.0f};
    CShader AtomShader, BondShader, FontShader, PickShader, ArrowShader, BoxShader;
    CShader AtomFillShader;
    int pcolor[2] = {0, 0};

    // Releases every GPU object this display created; safe to call more than once.
    void Delete();

    // View settings, effective from the next DrawScene.
    void ShowBonds(bool b);
    void ShowSymbols(bool b);
    void ShowIndex(bool b);
    void SetAtomScale(bool b);
    void SetZoom(float f);
    void SetFont(float f);
    void SetAxesPosition(glm::vec3 p);
    void SetViewOffset(glm::vec2 o);
    void SetClearColor(glm::vec4 c);
    void ResetZoom();
    void ResetAxes();
    void ResetScene();

    // Trackball forwarders; pointer positions in window pixels.
    void SetTrackLastPosition(float x, float y);
    void SetTrackCurretPosition(float x, float y);
    void SetTrackRotation(float x, float y);
    void SetTrackLastRotation();

    // The view moved under the user's hand (drag, wheel, pan keys) since the last frame: the next
    // DrawScene, if the view did change, draws the quick picture (the atoms drawn on the CPU,
    // bonds thinner than a pixel left out), whose cost keeps a million atoms turning smoothly. The
    // frame after it, without a new note, is the full picture again; NeedsFullFrame says one is due.
    void NoteViewMoved() { is_view_moved = true; }
    bool NeedsFullFrame() const { return is_quick_frame; }

    // Picking: SetPicking asks for the atom under window position (x, y), origin at the top
    // left; the next DrawScene resolves it into the selection through ProcessPicking.
    void SetPicking(int x, int y);
    void ProcessPicking(bool b);

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
    void BuildArrow(unsigned int res);
    void BuildCube();
    void SetArrowBuffer();

    // Drawing: one frame into the current framebuffer of w x h pixels.
    void DrawScene(int w, int h);
    // The pick pass alone, into the current framebuffer, which must be single-sampled so that
    // the code colour read back is exact; it is left cleared.
    void DrawPick(int w, int h);
    void DrawAtoms(GLuint Program, bool b);
    void DrawBonds(GLuint Program);
    void DrawAtomFill(int w, int h);
    void DrawBox(GLuint Program);
    void ShowAxes(GLuint Program);

    // Labels. LoadFont opens the first of font_paths that FreeType accepts and replaces the glyph
    // atlas with its glyphs; RenderText draws the labels of all atoms in one call.
    void LoadFont();
    void LoadFont(const std::vector<std::string> &font_paths);
    void RenderText();

private:
    // What the buffers on the GPU were built from (a difference means they are stale), and the
    // quads they hold. The bonds' are built when a frame first draws bonds, which a quick picture
    // (also the first of a large structure) may leave out.
    struct Uploaded {
        uint64_t generation = UINT64_MAX;
        // The selection's and the hidden atoms' revisions drawn.
        uint64_t selection = UINT64_MAX;
        uint64_t hidden = UINT64_MAX;
        size_t atom_quads = 0;
        uint64_t bond_generation = UINT64_MAX;
        uint64_t bond_hidden = UINT64_MAX;
        size_t bond_quads = 0;
    };
    struct LabelKey {
        uint64_t generation = UINT64_MAX;
        uint64_t font = 0;
        uint64_t hidden = 0;
        bool symbol = false;
        bool index = false;
        bool operator==(const LabelKey &o) const
        {
            return generation == o.generation && font == o.font && hidden == o.hidden && symbol == o.symbol &&
                   index == o.index;
        }
    };

    uint64_t u_font_generation = 0;
    Uploaded uploaded;
    LabelKey label_key;
    size_t u_glyph_instances = 0;
    // Reach of the structure from the origin: atom centres, the largest element radius drawn,
    // and the cell box corners; the depth range and the fit are sized from them.
    float centre_reach = 0.0f;
    float max_atom_radius = 0.0f;
    float box_reach = 0.0f;
    // The quick picture: asked for, drawn last frame, the view it was decided on; the atom records
    // as uploaded, which the raster reads, and the size of TEXP and TEXZ.
    bool is_view_moved = false;
    bool is_quick_frame = false;
    glm::mat4 drawn_view{0.0f};
    std::vector<glm::vec4> v_atom_records;
    std::vector<CAtomColours> v_atom_colours;
    CSphereRaster raster;
    glm::ivec2 quick_size{0};

    void RefitPalette();
    std::vector<glm::vec3> CellBoxCorners() const;
    void ClearSelection();
    void DeleteGlyphs();
    void CreateBatchBuffers();
    void SyncAtoms();
    void SyncBonds();
    std::vector<glm::uvec2> BondEnds() const;
    void SyncLabels();
    // The scene depth the labels are tested against: a copy of the bound framebuffer's.
    GLuint depth_fbo = 0, depth_texture = 0;
    glm::ivec3 depth_key{0}; // its width, height and internal format
    glm::vec2 view_size{1.0f};

    bool PrepareFrame(int w, int h);
    bool CopySceneDepth();
    void SetLabelUniforms(GLuint Program, bool is_depth_tested);
    void FitView(int w, int h);
    float DepthRadius() const;
    void SetImpostorUniforms(GLuint Program);
    void SetAtomUniforms(GLuint Program, bool highlight);
    void DrawStructure(int w, int h);
    CSphereRaster::SView RasterView() const;
    glm::vec3 GizmoShift() const;
    void DrawGizmoPart(GLuint Program, GLuint vao, GLenum mode);
};

#endif
