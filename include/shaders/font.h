#ifndef SHADERS_FONT_H
#define SHADERS_FONT_H

#include "lit.h"

// Text labels, all in one draw: a quad per glyph of every label (six vertices, see
// impostor_corners) in a plane facing the viewer S times the element radius in front of the atom
// centre, textured from the glyph atlas.
//   uniforms: samplerBuffer glyphs (texture unit 2; RGBA32F, texels 2i and 2i + 1: atom centre in
//     model space and element radius, then pen position in glyph pixels from the label's start
//     and character code),
//     mat4 MV (View * Model), mat4 P (projection), float S (radius factor), float F
//     (world units per glyph pixel), vec2 O (label start beside the atom centre, world units),
//     sampler2D metrics (texture unit 1; texel (code, 0) = left, bottom, width, height of the
//     glyph in pixels from the pen on the baseline; texel (code, 1) = its atlas rectangle u0,
//     v top, u1, v bottom)
//   out: TexCoords (vec2)
inline constexpr char font_vs_main[] = R"(
out vec2 TexCoords;

uniform samplerBuffer glyphs;
uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform float F;
uniform vec2 O;
uniform sampler2D metrics;

void main()
{
    int first = 2 * Instance();
    vec4 anchor = texelFetch(glyphs, first);
    vec2 glyph = texelFetch(glyphs, first + 1).xy;
    int code = int(glyph.y);
    vec4 box = texelFetch(metrics, ivec2(code, 0), 0);
    vec4 uv = texelFetch(metrics, ivec2(code, 1), 0);
    vec2 corner = Corner() * 0.5 + 0.5;
    vec2 xy = O + (vec2(glyph.x, 0.0) + box.xy + corner * box.zw) * F;
    vec3 centre = (MV * vec4(anchor.xyz, 1.0)).xyz;
    gl_Position = P * vec4(centre + vec3(xy, anchor.w * S), 1.0);
    TexCoords = vec2(mix(uv.x, uv.z, corner.x), mix(uv.w, uv.y, corner.y));
}
)";
inline constexpr auto font_vs_text = ShaderText(glsl_version, impostor_corners, font_vs_main);
inline constexpr const char *font_vs = font_vs_text.data();

// The glyph's coverage (red channel of the atlas) becomes alpha; blending must be on.
//   uniforms: sampler2D text (texture unit 0, the atlas), vec3 textColor
//   out: color (vec4)
inline constexpr const char *font_frag = R"(#version 330 core
in vec2 TexCoords;

out vec4 color;

uniform sampler2D text;
uniform vec3 textColor;

void main()
{
    vec4 sampled = vec4(1.0, 1.0, 1.0, texture(text, TexCoords).r);
    color = vec4(textColor, 1.0) * sampled;
}
)";

#endif
