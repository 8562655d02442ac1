#ifndef SHADERS_PICK_H
#define SHADERS_PICK_H

#include "atom.h"

// Pick pass: the atom impostors of atom_vs, unlit, in their pick colour, so the colour reaches the
// framebuffer as is and covers exactly the pixels the lit atoms cover.
//   vertex stage, inputs and uniforms: atom_vs, or atom_point_vs for points
//   out: outColor (vec4, alpha 1)
inline constexpr const char *pick_vs = atom_vs;
inline constexpr const char *pick_point_vs = atom_point_vs;

inline constexpr char pick_frag_main[] = R"(
flat in vec3 pickColor;

out vec4 outColor;

void main()
{
    SpherePoint(Corner());
    outColor = vec4(pickColor, 1.0);
}
)";
inline constexpr auto pick_frag_text = ShaderText(glsl_version, lit_light, impostor_light, sphere_point, pick_frag_main);
inline constexpr const char *pick_frag = pick_frag_text.data();

#endif
