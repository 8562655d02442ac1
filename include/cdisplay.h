#ifndef CDISPLAY_H
#define CDISPLAY_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include <glad/gl.h>
#include <glm/glm.hpp>

#include "cmodel.h"
#include "cpalette.h"
#include "cshader.h"
#include "ctrack.h"

// One rasterised glyph: its texture and metrics in pixels (Advance in 1/64 pixel).
struct Character {
    GLuint TextureID;
    glm::ivec2 Size;
    glm::ivec2 Bearing;
    GLuint Advance;
};

// The structure model together with its renderer and the view state the panels change. All
// operations need the OpenGL context that was current at construction; Delete releases the GPU
// objects and must run before that context goes.
class CDisplay : public CModel {
public:
    CDisplay();
    CDisplay(const CDisplay &) = delete;
    CDisplay &operator=(const CDisplay &) = delete;

    // selected_atom when nothing is selected; also what the white pick background decodes to.
    static constexpr uint32_t NO_SELECTION = 0xFFFFFF;

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
    uint32_t selected_zatom = 0;
    std::string selected_symbol;
    glm::vec3 selected_xyz{0.0f};
    GLuint VAOM = 0, VBOM = 0;  // sphere
    GLuint VAOB = 0, VBOB = 0;  // tube
    GLuint VAOC = 0, VBOC = 0;  // cell box
    GLuint VAOA = 0, VBOA = 0;  // arrow shaft
    GLuint VAOT = 0, VBOT = 0;  // arrow head
    GLuint VAOF = 0, VBOF = 0;  // glyph quad
    GLfloat atom_scale = 1.0f;
    GLfloat view_zoom = 1.0f;
    GLfloat font_scale = 0.005f;
    GLfloat target_width = 0.0f;
    std::vector<glm::vec3> v_cylinder, v_arrow, v_cone, v_sphere;
    std::map<char, Character> Characters;
    GLint nvtx = 0;
    GLint cylinder_vertex = 0;
    GLint arrow_vertex = 0;
    GLfloat fix_side = 0.0f;
    glm::vec4 CColor{0.0f, 0.0f, 0.0f, 1.0f};
    glm::vec3 initial_axis_position{0.85f, -0.8f, 0.5f};
    glm::vec3 axis_position{-0.85f, 0.8f, -0.5f};
    glm::vec2 view_offset{0.0f};
    glm::mat4 Projection{1.0f}, FixView{1.0f}, mvp{1.0f};
    CShader AtomShader, BondShader, FontShader, PickShader, ArrowShader;
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

    // Picking: SetPicking asks for the atom under window position (x, y), origin at the top
    // left; the next DrawScene resolves it into the selection through ProcessPicking.
    void SetPicking(int x, int y);
    void ProcessPicking(bool b);

    // Structure edits.
    void DeleteAtom(uint32_t i);
    void UpdateAtomType(uint32_t z);
    void CenterCoordinates();
    // After an edit made through the model (undo, redo): the per-atom display state follows.
    void AfterEdit();
    // Where atom i is drawn in a view of `size` pixels, origin at the top left (last DrawScene).
    glm::vec2 ScreenPosition(uint32_t i, glm::vec2 size) const;

    // Load and save with the format chosen in input_format.
    // False when the file could not be read or written; CModel::error_message says why.
    bool ReadFile(std::string d, std::string f);
    bool SaveFile(std::string f);
    // Display side of a successful load: cell box, pick palette, selection, visibility.
    void RefreshStructure();

    // Meshes.
    void BuildSphere(unsigned int res);
    void BuildCylinder(unsigned int res);
    void BuildArrow(unsigned int res);
    void BuildCube();
    void SetSphereBuffer();
    void SetCylinderBuffer();
    void SetArrowBuffer();

    // Drawing: one frame into the current framebuffer of w x h pixels.
    void DrawScene(int w, int h);
    void DrawAtoms(GLuint Program, bool b);
    void DrawBonds(GLuint Program);
    void DrawBox(GLuint Program);
    void ShowAxes(GLuint Program);

    // Labels. LoadFont opens the first of font_paths that FreeType accepts.
    void LoadFont();
    void LoadFont(const std::vector<std::string> &font_paths);
    void RenderText();
    void RenderText(GLuint Program, float s, std::string text);

private:
    void RefitPalette();
    void ClearSelection();
    void DeleteGlyphs();
    void DrawGizmoPart(GLuint Program, GLuint vao, GLenum mode);
};

#endif
