#ifndef SHADERS_FONT_H
#define SHADERS_FONT_H

// Text labels: one textured quad per glyph in the label plane at depth S.
//   in: vertex (vec4, location 0): xy quad corner in label space, zw texture coordinate
//   uniforms: mat4 MVP, float S (depth of the label plane)
inline constexpr const char *font_vs = R"(#version 330 core
layout(location = 0) in vec4 vertex;

out vec2 TexCoords;

uniform mat4 MVP;
uniform float S;

void main()
{
    gl_Position = MVP * vec4(vertex.x, vertex.y, S, 1.0);
    TexCoords = vertex.zw;
}
)";

// The glyph's coverage (red channel) becomes alpha; blending must be on.
//   uniforms: sampler2D text (texture unit 0), vec3 textColor
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
