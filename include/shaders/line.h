#ifndef SHADERS_LINE_H
#define SHADERS_LINE_H

// Cell box: unlit lines in one flat colour, depth-tested with the atoms, drawn as quads W pixels
// wide so that a picture drawn larger has lines as much wider.
//   in: position (vec3, location 0)
//   uniforms: mat4 MVP, vec3 C (colour), float W (width in pixels), vec2 Viewport (pixels)
//   out: outColor (vec4, alpha 1)
inline constexpr const char *line_vs = R"(#version 330 core
layout(location = 0) in vec3 position;

uniform mat4 MVP;

void main()
{
    gl_Position = MVP * vec4(position, 1.0);
}
)";

inline constexpr const char *line_gs = R"(#version 330 core
layout(lines) in;
layout(triangle_strip, max_vertices = 4) out;

uniform float W;
uniform vec2 Viewport;

void main()
{
    vec4 a = gl_in[0].gl_Position;
    vec4 b = gl_in[1].gl_Position;
    vec2 d = (b.xy / b.w - a.xy / a.w) * Viewport;
    vec2 side = length(d) > 0.0 ? normalize(vec2(-d.y, d.x)) : vec2(0.0, 1.0);
    // Half the width on each side, in clip units (two per viewport).
    vec2 offset = side * W / Viewport;
    gl_Position = a + vec4(offset * a.w, 0.0, 0.0);
    EmitVertex();
    gl_Position = a - vec4(offset * a.w, 0.0, 0.0);
    EmitVertex();
    gl_Position = b + vec4(offset * b.w, 0.0, 0.0);
    EmitVertex();
    gl_Position = b - vec4(offset * b.w, 0.0, 0.0);
    EmitVertex();
    EndPrimitive();
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
