#ifndef SHADERS_ATOM_H
#define SHADERS_ATOM_H

#include "lit.h"

// Atoms as ray-cast sphere impostors: a screen-aligned quad per atom (four vertices, see
// impostor_corners) whose fragments find the sphere point under them.
//   uniforms: samplerBuffer atoms (texture unit 0; RGBA32F, texel i: centre of atom i in model
//     space, element radius), samplerBuffer colours (texture unit 1; RGBA8, texels 2i and 2i + 1:
//     element colour with alpha 0 for a selected atom, pick colour),
//     mat4 MV (View * Model), mat4 P (projection), float S (radius factor),
//     int selected (atom drawn in C, -1 for none), vec3 C (selection colour, also of the atoms
//     marked selected in their colour while marks is not 0)
//   the atoms drawn: see impostor_drawn; fragment uniforms: see impostor_light
//   out: corner (quad point in radii), flat centre (camera space), flat radius, flat ourColor,
//     flat pickColor
inline constexpr char atom_vs_main[] = R"(
uniform samplerBuffer atoms;
uniform samplerBuffer colours;
uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform int selected;
uniform int marks;
uniform vec3 C;

out vec2 corner;
flat out vec3 centre;
flat out float radius;
flat out vec3 ourColor;
flat out vec3 pickColor;

void main()
{
    int id = Drawn(Instance());
    corner = Corner();
    vec4 atom = texelFetch(atoms, id);
    radius = atom.w * S;
    centre = (MV * vec4(atom.xyz, 1.0)).xyz;
    gl_Position = P * vec4(centre + vec3(corner * radius, radius), 1.0);
    vec4 own = texelFetch(colours, 2 * id);
    ourColor = id == selected || (marks != 0 && own.a < 0.5) ? C : own.rgb;
    pickColor = texelFetch(colours, 2 * id + 1).rgb;
}
)";
inline constexpr auto atom_vs_text = ShaderText(glsl_version, impostor_corners, impostor_drawn, atom_vs_main);
inline constexpr const char *atom_vs = atom_vs_text.data();

// The sphere under a fragment, shared by the lit, the pick and the point program so that all cover
// exactly the same pixels. SphereNormal: its unit normal at `corner` (the fragment's place on the
// quad, in radii); pixels beside it discarded. SpherePoint: the same, with the fragment's depth
// written.
inline constexpr char sphere_point[] = R"(
flat in vec3 centre;
flat in float radius;

vec3 SphereNormal(vec2 corner)
{
    float q = dot(corner, corner);
    if (q > 1.0)
        discard;
    return vec3(corner, sqrt(1.0 - q));
}

vec3 SpherePoint(vec2 corner)
{
    vec3 n = SphereNormal(corner);
    gl_FragDepth = DepthOf(centre.z + radius * n.z);
    return n;
}
)";

//   out: outColor (vec4, alpha: the pixel's share inside the outline)
inline constexpr char atom_frag_main[] = R"(
in vec2 corner;
flat in vec3 ourColor;

out vec4 outColor;

void main()
{
    float inside = Coverage(1.0 - length(corner));
    outColor = vec4(LightMeshPoint(SpherePoint(corner), ourColor), inside);
}
)";
inline constexpr auto atom_frag_text = ShaderText(glsl_version, lit_light, impostor_light, sphere_point, atom_frag_main);
inline constexpr const char *atom_frag = atom_frag_text.data();

#endif
