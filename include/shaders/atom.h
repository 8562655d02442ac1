#ifndef SHADERS_ATOM_H
#define SHADERS_ATOM_H

#include "lit.h"

// Atoms as ray-cast sphere impostors: one instance per atom, a screen-aligned quad of four
// vertices (triangle strip, gl_VertexID 0-3) whose fragments find the sphere point under them.
//   in, per instance (divisor 1):
//     atom (vec4, location 0): xyz centre in model space, w element radius
//     atom_colour (vec3, location 1): element colour, from 8-bit normalised bytes
//     atom_pick (vec3, location 2): pick colour, from 8-bit normalised bytes
//   uniforms: mat4 MV (View * Model), mat4 P (projection), mat4 V (view), float S (radius
//     factor), int selected (instance drawn in C, -1 for none), vec3 C (selection colour)
//   out: corner (quad point in radii), flat centre (camera space), flat radius, flat ourColor,
//     flat pickColor
inline constexpr char atom_vs_main[] = R"(
layout(location = 0) in vec4 atom;
layout(location = 1) in vec3 atom_colour;
layout(location = 2) in vec3 atom_pick;

uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform int selected;
uniform vec3 C;

out vec2 corner;
flat out vec3 centre;
flat out float radius;
flat out vec3 ourColor;
flat out vec3 pickColor;

void main()
{
    corner = CORNERS[gl_VertexID];
    radius = atom.w * S;
    centre = (MV * vec4(atom.xyz, 1.0)).xyz;
    gl_Position = P * vec4(centre + vec3(corner * radius, radius), 1.0);
    ourColor = gl_InstanceID == selected ? C : atom_colour;
    pickColor = atom_pick;
}
)";
inline constexpr auto atom_vs_text = ShaderText(glsl_version, impostor_corners, atom_vs_main);
inline constexpr const char *atom_vs = atom_vs_text.data();

// The sphere under a fragment, shared by the lit and the pick program so that both cover exactly
// the same pixels: its unit normal, with the fragment's depth written; pixels beside it discarded.
inline constexpr char sphere_point[] = R"(
in vec2 corner;
flat in vec3 centre;
flat in float radius;

vec3 SpherePoint()
{
    float q = dot(corner, corner);
    if (q > 1.0)
        discard;
    vec3 n = vec3(corner, sqrt(1.0 - q));
    gl_FragDepth = DepthOf(centre + radius * n);
    return n;
}
)";

//   out: outColor (vec4, alpha 1)
inline constexpr char atom_frag_main[] = R"(
flat in vec3 ourColor;

out vec4 outColor;

void main()
{
    outColor = vec4(LightMeshPoint(SpherePoint(), ourColor), 1.0);
}
)";
inline constexpr auto atom_frag_text = ShaderText(glsl_version, lit_light, impostor_light, sphere_point, atom_frag_main);
inline constexpr const char *atom_frag = atom_frag_text.data();

#endif
