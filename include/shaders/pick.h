#ifndef SHADERS_PICK_H
#define SHADERS_PICK_H

// Pick pass: unlit spheres in their identity colour, so the colour reaches the framebuffer as is.
//   in: position (vec3, location 0)
//   uniforms: mat4 MVP, mat4 M (unused), mat4 V (unused), float S (radius), vec3 C (pick colour)
inline constexpr const char *pick_vs = R"(#version 330 core
layout(location = 0) in vec3 position;

out vec3 ourColor;

uniform mat4 MVP;
uniform mat4 M;
uniform mat4 V;
uniform float S;
uniform vec3 C;

void main()
{
    gl_Position = MVP * vec4(S * position, 1.0);
    ourColor = C;
}
)";

//   out: outColor (vec4, alpha 1)
inline constexpr const char *pick_frag = R"(#version 330 core
in vec3 ourColor;

out vec4 outColor;

void main()
{
    outColor = vec4(ourColor, 1.0);
}
)";

#endif
