#ifndef SHADERS_LINE_H
#define SHADERS_LINE_H

// Cell box: unlit lines in one flat colour, depth-tested with the atoms.
//   in: position (vec3, location 0)
//   uniforms: mat4 MVP, vec3 C (colour)
//   out: outColor (vec4, alpha 1)
inline constexpr const char *line_vs = R"(#version 330 core
layout(location = 0) in vec3 position;

uniform mat4 MVP;

void main()
{
    gl_Position = MVP * vec4(position, 1.0);
}
)";

inline constexpr const char *line_frag = R"(#version 330 core
uniform vec3 C;

out vec4 outColor;

void main()
{
    outColor = vec4(C, 1.0);
}
)";

#endif
