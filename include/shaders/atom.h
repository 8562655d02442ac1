#ifndef SHADERS_ATOM_H
#define SHADERS_ATOM_H

#include "lit.h"

// Atoms and the cell box: the unit sphere scaled uniformly by S.
//   uniforms: mat4 MVP, mat4 M, mat4 V, float S (radius), vec3 C (colour)
//   light at (4, 4, 4)
inline constexpr auto atom_vs_text = ShaderText(lit_vertex_common, R"(
uniform mat4 MVP;
uniform mat4 M;
uniform mat4 V;
uniform float S;
uniform vec3 C;

void main()
{
    gl_Position = MVP * vec4(S * position, 1.0);
    SetLighting(M, V, vec3(4.0, 4.0, 4.0), C);
}
)");
inline constexpr const char *atom_vs = atom_vs_text.data();

inline constexpr const char *atom_frag = lit_frag;

#endif
