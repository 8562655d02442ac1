#include "clabels.h"

#include <algorithm>
#include <iostream>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "cinstance.h"
#include "glhelpers.h"

namespace {

const unsigned int GLYPH_CODES = 128;
// Glyphs sit in rows of an atlas this wide, apart by a blank border that linear filtering may read.
const int ATLAS_WIDTH = 1024;
const int ATLAS_BORDER = 10;
// The texture unit of the list of glyphs drawn while culling (units 0 to 3 hold the rest).
const GLint DRAWN_UNIT = 4;
// The labels' dark outline: its reach round each glyph and the room the glyph quads leave for it,
// in glyph pixels (within ATLAS_BORDER, so that it never reads a neighbour glyph).
const float LABEL_OUTLINE = 4.0f;
const float LABEL_PAD = 5.0f;
const glm::vec3 LABEL_COLOR(1.0f, 1.0f, 0.0f);
// Where the first glyph of a label starts, relative to the atom centre, in glyph pixels.
const float LABEL_START = -30.0f;

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
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(CLabels::GLYPH_PIXELS));
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

void CLabels::Create() { glGenTextures(1, &TEXM); }

void CLabels::LoadFont(const std::vector<std::string> &font_paths)
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
    CreateQuadVertexArray(VAOF, IBOF);
    CreateBufferTexture(VBOF, TBOF, GL_RGBA32F);
}

void CLabels::Release()
{
    ReleaseBufferTexture(VBOF, TBOF);
    ReleaseBufferTexture(VBOD, TBOD);
    is_culled = false;
    culled_stamp = 0;
    ReleaseVertexArray(VAOF, IBOF);
    ReleaseTexture(TEXM);
    ReleaseTexture(depth_texture);
    if (depth_fbo != 0)
        glDeleteFramebuffers(1, &depth_fbo);
    depth_fbo = 0;
    depth_key = glm::ivec3(0);
    DeleteGlyphs();
    label_key = LabelKey();
}

// All glyphs share one atlas texture.
void CLabels::DeleteGlyphs()
{
    if (!Characters.empty()) {
        GLuint atlas = Characters.begin()->second.TextureID;
        ReleaseTexture(atlas);
    }
    Characters.clear();
}

void CLabels::Sync(const CModel &model, bool is_show_symbol, bool is_show_index)
{
    const LabelKey key{model.u_revision, u_font_generation, model.u_hidden_revision, is_show_symbol, is_show_index};
    if (key == label_key)
        return;
    std::vector<CGlyphInstance> glyphs;
    BuildGlyphInstances(model.v_float_raw_xyz, model.v_atom_index, is_show_symbol, is_show_index,
                        GlyphAdvances(Characters), glyphs, model.Hidden());
    UploadInstances(VBOF, glyphs);
    u_glyph_instances = glyphs.size();
    v_glyph_anchors.resize(glyphs.size());
    for (size_t i = 0; i < glyphs.size(); ++i)
        v_glyph_anchors[i] = glyphs[i].anchor;
    label_key = key;
}

void CLabels::Cull(const CSphereCull &cull, float lift)
{
    const bool is_same = is_culled && culled_stamp == cull.Stamp() && culled_key == label_key;
    is_culled = true;
    if (is_same)
        return;
    if (VBOD == 0)
        CreateBufferTexture(VBOD, TBOD, GL_R32UI);
    const std::vector<uint32_t> drawn = cull.Labels(v_glyph_anchors, lift);
    UploadInstances(VBOD, drawn);
    u_glyphs_drawn = drawn.size();
    culled_stamp = cull.Stamp();
    culled_key = label_key;
}

// The label depth texture of `format` at the view's size, made anew when either changed.
void CLabels::KeepDepthTexture(glm::vec2 view_size, GLenum format)
{
    const glm::ivec3 key(static_cast<int>(view_size.x), static_cast<int>(view_size.y), static_cast<int>(format));
    if (key == depth_key)
        return;
    ReleaseTexture(depth_texture);
    if (depth_fbo == 0)
        glGenFramebuffers(1, &depth_fbo);
    depth_texture = CreateDepthTexture(depth_fbo, format, key.x, key.y);
    depth_key = key;
}

// A multisampled picture's depth can't be copied into a single-sampled texture: the atoms' depth
// is drawn into it instead, so that labels behind atoms stay hidden in every picture.
void CLabels::BeginOwnDepth(glm::vec2 view_size)
{
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &scene_fbo);
    // With stencil, as window depth buffers are: llvmpipe refuses a depth-only one.
    KeepDepthTexture(view_size, GL_DEPTH24_STENCIL8);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, depth_fbo);
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
}

void CLabels::EndOwnDepth() const
{
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(scene_fbo));
}

bool CLabels::CopySceneDepth(glm::vec2 view_size)
{
    GLint draw = 0, read = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    const GLenum format = DepthFormat(static_cast<GLuint>(draw));
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    if (format == 0 || samples > 0)
        return false;
    const glm::ivec3 key(static_cast<int>(view_size.x), static_cast<int>(view_size.y), static_cast<int>(format));
    KeepDepthTexture(view_size, format);
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

void CLabels::Draw(GLuint program, bool is_depth_tested) const
{
    glUniform2f(Uniform(program, "O"), LABEL_START, LABEL_START);
    glUniform1f(Uniform(program, "Pad"), LABEL_PAD);
    glUniform1f(Uniform(program, "Outline"), LABEL_OUTLINE);
    glUniform1i(Uniform(program, "depthTest"), is_depth_tested ? 1 : 0);
    SetVector(Uniform(program, "textColor"), LABEL_COLOR);
    glUniform1i(Uniform(program, "text"), 0);
    glUniform1i(Uniform(program, "metrics"), 1);
    glUniform1i(Uniform(program, "sceneDepth"), 3);
    BindBufferTexture(program, "glyphs", 2, TBOF);
    BindDrawnList(program, DRAWN_UNIT, TBOD, is_culled);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, depth_texture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, TEXM);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, Characters.begin()->second.TextureID);
    if (is_depth_tested)
        glDisable(GL_DEPTH_TEST);
    DrawQuads(VAOF, is_culled ? u_glyphs_drawn : u_glyph_instances);
    glEnable(GL_DEPTH_TEST);
    for (const GLenum unit : {GL_TEXTURE3, GL_TEXTURE1, GL_TEXTURE0}) {
        glActiveTexture(unit);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
}

namespace {

// The widest atom's share of a label's em below which no label is drawn.
const float LABEL_ROOM = 0.5f;

} // namespace

bool HasRoomForLabels(float widest, float world_per_glyph_pixel)
{
    return widest >= LABEL_ROOM * world_per_glyph_pixel * static_cast<float>(CLabels::GLYPH_PIXELS);
}

float LabelWorldPerGlyphPixel(int label_pixels, float pixel_scale, float world_per_pixel, float font_scale)
{
    return label_pixels > 0 ? static_cast<float>(label_pixels) * pixel_scale /
                                  static_cast<float>(CLabels::GLYPH_PIXELS) * world_per_pixel
                            : font_scale;
}
