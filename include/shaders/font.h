#ifndef SHADERS_FONT_H
#define SHADERS_FONT_H

#include "lit.h"

// Text labels, all in one draw: a quad per glyph of every label (four vertices, see
// impostor_corners) in a plane facing the viewer S times the element radius in front of the atom
// centre, textured from the glyph atlas and widened by the outline's room. A label is drawn whole
// or not at all: only when the front of its atom, under the atom's centre, is what the scene shows
// there (sceneDepth), or always with depthTest 0.
//   uniforms: samplerBuffer glyphs (texture unit 2; RGBA32F, texels 2i and 2i + 1: atom centre in
//     model space and element radius, then pen position in glyph pixels from the label's start
//     and character code),
//     mat4 MV (View * Model), mat4 P (projection), float S (radius factor), float F
//     (world units per glyph pixel), vec2 O (label start beside the atom centre, glyph pixels),
//     float Pad (outline room around each glyph, glyph pixels),
//     sampler2D metrics (texture unit 1; texel (code, 0) = left, bottom, width, height of the
//     glyph in pixels from the pen on the baseline; texel (code, 1) = its atlas rectangle u0,
//     v top, u1, v bottom),
//     sampler2D sceneDepth (texture unit 3), int depthTest, vec2 Viewport (pixels), vec2 Depth
//     (window depth = Depth.x * camera-space z + Depth.y); the glyphs drawn: see impostor_drawn
//     (texture unit 4)
//   out: TexCoords (vec2)
inline constexpr char font_vs_main[] = R"(
out vec2 TexCoords;

uniform samplerBuffer glyphs;
uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform float F;
uniform vec2 O;
uniform float Pad;
uniform sampler2D metrics;
uniform sampler2D sceneDepth;
uniform int depthTest;
uniform vec2 Viewport;
uniform vec2 Depth;

bool IsAtomSeen(vec3 centre, float radius)
{
    vec4 clip = P * vec4(centre, 1.0);
    vec2 pixel = (clip.xy / clip.w * 0.5 + 0.5) * Viewport;
    if (any(lessThan(pixel, vec2(0.0))) || any(greaterThanEqual(pixel, Viewport)))
        return false;
    if (depthTest == 0)
        return true;
    // The atom's own front lies a radius nearer than its centre; a tenth of the radius (and a
    // step of the depth buffer) absorbs rounding.
    float front = Depth.x * (centre.z + 1.1 * radius) + Depth.y;
    return texelFetch(sceneDepth, ivec2(pixel), 0).r >= front - 1e-6;
}

void main()
{
    int first = 2 * Drawn(Instance());
    vec4 anchor = texelFetch(glyphs, first);
    vec2 glyph = texelFetch(glyphs, first + 1).xy;
    int code = int(glyph.y);
    vec4 box = texelFetch(metrics, ivec2(code, 0), 0);
    vec4 uv = texelFetch(metrics, ivec2(code, 1), 0);
    vec2 corner = Corner() * 0.5 + 0.5;
    // The glyph box grown by Pad on each side; the atlas place follows it past the glyph.
    vec2 grown = corner * (box.zw + 2.0 * Pad) - Pad;
    vec2 t = grown / max(box.zw, vec2(1.0));
    vec2 xy = (O + vec2(glyph.x, 0.0) + box.xy + grown) * F;
    vec3 centre = (MV * vec4(anchor.xyz, 1.0)).xyz;
    float radius = anchor.w * S;
    gl_Position = IsAtomSeen(centre, radius) ? P * vec4(centre + vec3(xy, radius), 1.0) : vec4(0.0, 0.0, 2.0, 1.0);
    TexCoords = vec2(mix(uv.x, uv.z, t.x), mix(uv.w, uv.y, t.y));
}
)";
inline constexpr auto font_vs_text = ShaderText(glsl_version, impostor_corners, impostor_drawn, font_vs_main);
inline constexpr const char *font_vs = font_vs_text.data();

// The glyph's coverage (red channel of the atlas) in textColor over a dark outline: the coverage
// nearby, within Outline atlas texels, so that a label reads on any atom and background.
// Blending must be on.
//   uniforms: sampler2D text (texture unit 0, the atlas), vec3 textColor, float Outline
//   out: color (vec4)
inline constexpr const char *font_frag = R"(#version 330 core
in vec2 TexCoords;

out vec4 color;

uniform sampler2D text;
uniform vec3 textColor;
uniform float Outline;

const vec3 OUTLINE_COLOR = vec3(0.0, 0.0, 0.0);

void main()
{
    vec2 texel = Outline / vec2(textureSize(text, 0));
    float glyph = texture(text, TexCoords).r;
    float rim = glyph;
    for (int k = 0; k < 8; k++) {
        float a = 0.7853982 * float(k);
        rim = max(rim, texture(text, TexCoords + texel * vec2(cos(a), sin(a))).r);
    }
    color = vec4(mix(OUTLINE_COLOR, textColor, glyph), rim);
}
)";

#endif
