#ifndef SHADERS_FONT_H
#define SHADERS_FONT_H

// Text labels, all in one instanced draw: one instance per glyph of every label, a quad of four
// vertices (triangle strip, gl_VertexID 0-3) in a plane facing the viewer S times the element
// radius in front of the atom centre, textured from the glyph atlas.
//   in, per instance (divisor 1):
//     anchor (vec4, location 0): xyz atom centre in model space, w element radius
//     glyph (vec2, location 1): x pen position in glyph pixels from the label's start, y code
//   uniforms: mat4 MV (View * Model), mat4 P (projection), float S (radius factor), float F
//     (world units per glyph pixel), vec2 O (label start beside the atom centre, world units),
//     sampler2D metrics (texture unit 1; texel (code, 0) = left, bottom, width, height of the
//     glyph in pixels from the pen on the baseline; texel (code, 1) = its atlas rectangle u0,
//     v top, u1, v bottom)
//   out: TexCoords (vec2)
inline constexpr const char *font_vs = R"(#version 330 core
layout(location = 0) in vec4 anchor;
layout(location = 1) in vec2 glyph;

out vec2 TexCoords;

uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform float F;
uniform vec2 O;
uniform sampler2D metrics;

const vec2 CORNERS[4] = vec2[4](vec2(0.0, 0.0), vec2(1.0, 0.0), vec2(0.0, 1.0), vec2(1.0, 1.0));

void main()
{
    int code = int(glyph.y);
    vec4 box = texelFetch(metrics, ivec2(code, 0), 0);
    vec4 uv = texelFetch(metrics, ivec2(code, 1), 0);
    vec2 corner = CORNERS[gl_VertexID];
    vec2 xy = O + (vec2(glyph.x, 0.0) + box.xy + corner * box.zw) * F;
    vec3 centre = (MV * vec4(anchor.xyz, 1.0)).xyz;
    gl_Position = P * vec4(centre + vec3(xy, anchor.w * S), 1.0);
    TexCoords = vec2(mix(uv.x, uv.z, corner.x), mix(uv.w, uv.y, corner.y));
}
)";

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
