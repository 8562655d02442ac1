#ifndef CLABELS_H
#define CLABELS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include <glad/gl.h>
#include <glm/glm.hpp>

#include "cmodel.h"
#include "cspherecull.h"

// One rasterised glyph: the atlas texture holding it, its place there and its metrics in pixels
// (Advance in 1/64 pixel).
struct Character {
    GLuint TextureID;
    glm::ivec2 Size;
    glm::ivec2 Bearing;
    GLuint Advance;
    glm::ivec2 Offset;
};

// The atoms' labels: the glyph atlas, the glyph quads of every label in one buffer texture, and the
// copy of the scene's depth they are tested against. Needs the OpenGL context; Release frees the GL
// objects and must run before that context goes.
class CLabels {
public:
    CLabels() = default;
    CLabels(const CLabels &) = delete;
    CLabels &operator=(const CLabels &) = delete;

    // Glyph size in the atlas, in pixels per em.
    static constexpr int GLYPH_PIXELS = 48;

    std::map<char, Character> Characters;
    GLuint TEXM = 0;            // glyph metrics and atlas places, read by the label program
    GLuint VAOF = 0, VBOF = 0;  // label glyphs (buffer texture TBOF)
    GLuint IBOF = 0;            // the corners of their quads
    GLuint TBOF = 0;
    GLuint VBOD = 0, TBOD = 0;  // the glyphs drawn while culling (buffer texture TBOD)

    void Create();
    // Opens the first of font_paths that FreeType accepts and replaces the glyph atlas with its
    // glyphs; without one the glyphs stay as they were.
    void LoadFont(const std::vector<std::string> &font_paths);
    // Releases the GL objects; safe to call more than once.
    void Release();

    // Rebuilds the glyph instances when the labels, the atoms or the font changed.
    void Sync(const CModel &model, bool is_show_symbol, bool is_show_index);
    // Copies the depth of the bound draw framebuffer of `view_size` pixels; false when the driver
    // refuses (the copy needs the same depth format on both sides) or the framebuffer is
    // multisampled.
    bool CopySceneDepth(glm::vec2 view_size);
    // Leaves out the glyphs of the labels that `cull` finds hidden under their atom's centre, the
    // atom's point `lift` radii before it tested (made again when the glyphs or the cull
    // changed); Uncull draws every glyph again.
    void Cull(const CSphereCull &cull, float lift);
    void Uncull() { is_culled = false; }
    // Where the scene's depth can't be copied: from Begin to End, what is drawn goes into the
    // label depth texture alone (cleared first), in place of the copy.
    void BeginOwnDepth(glm::vec2 view_size);
    void EndOwnDepth() const;
    // Draws the labels with `program` (in use, its view uniforms set).
    void Draw(GLuint program, bool is_depth_tested) const;

private:
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
    LabelKey label_key;

    void KeepDepthTexture(glm::vec2 view_size, GLenum format);
    size_t u_glyph_instances = 0;
    std::vector<glm::vec4> v_glyph_anchors; // each glyph's atom centre and element radius
    // Culling: the glyphs and the cull the list was made for, and the glyphs it keeps.
    bool is_culled = false;
    LabelKey culled_key;
    uint64_t culled_stamp = 0;
    size_t u_glyphs_drawn = 0;
    // The scene depth the labels are tested against: a copy of the bound framebuffer's.
    GLuint depth_fbo = 0, depth_texture = 0;
    glm::ivec3 depth_key{0}; // its width, height and internal format
    GLint scene_fbo = 0;     // the framebuffer drawn into before BeginOwnDepth

    void DeleteGlyphs();
};

// World units per glyph pixel of labels label_pixels screen pixels (times pixel_scale) to the em,
// world_per_pixel world units to the screen pixel; or the font slider's font_scale at 0.
float LabelWorldPerGlyphPixel(int label_pixels, float pixel_scale, float world_per_pixel, float font_scale);
// Whether atoms `widest` world units across, the widest drawn, carry labels of that size: atoms
// narrower than half a label's em carry none that can be read, and a crowd of them only hides
// itself under labels (at 10^6 atoms the labels would cost most of every frame).
bool HasRoomForLabels(float widest, float world_per_glyph_pixel);

#endif
