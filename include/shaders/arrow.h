#ifndef SHADERS_ARROW_H
#define SHADERS_ARROW_H

#include "lit.h"

// Axes gizmo: the arrow meshes scaled per axis by S, then shifted in clip space by -P, so the
// caller passes the negated position at which the gizmo appears.
//   uniforms: mat4 MVP, mat4 M, mat4 V, vec3 P (negated clip shift), vec3 S, vec3 C (colour)
//   light direction aimed at (10, 10, 10)
inline constexpr char arrow_vs_main[] = R"(
uniform mat4 MVP;
uniform mat4 M;
uniform mat4 V;
uniform vec3 P;
uniform vec3 S;
uniform vec3 C;

void main()
{
    gl_Position = MVP * vec4(S * position, 1.0) - vec4(P, 0.0);
    SetLighting(M, V, vec3(10.0, 10.0, 10.0), C);
}
)";
inline constexpr auto arrow_vs_text = ShaderText(lit_vertex_common, arrow_vs_main);
inline constexpr const char *arrow_vs = arrow_vs_text.data();

inline constexpr const char *arrow_frag = lit_frag;

#endif
