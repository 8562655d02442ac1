#ifndef SHADERS_BOND_H
#define SHADERS_BOND_H

#include "lit.h"

// Bonds: the unit tube scaled per axis by S (radius, radius, half length).
//   uniforms: mat4 MVP, mat4 M, mat4 V, mat4 P (unused), vec3 S, vec3 C (colour)
//   light at (4, 4, 4)
inline constexpr auto bond_vs_text = ShaderText(lit_vertex_common, R"(
uniform mat4 MVP;
uniform mat4 M;
uniform mat4 V;
uniform mat4 P;
uniform vec3 S;
uniform vec3 C;

void main()
{
    gl_Position = MVP * vec4(S * position, 1.0);
    SetLighting(M, V, vec3(4.0, 4.0, 4.0), C);
}
)");
inline constexpr const char *bond_vs = bond_vs_text.data();

inline constexpr const char *bond_frag = lit_frag;

#endif
