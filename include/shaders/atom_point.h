#ifndef SHADERS_ATOM_POINT_H
#define SHADERS_ATOM_POINT_H

#include "atom.h"

// Atoms while the view moves: the sphere impostors of atom_vs as one point sprite per atom instead
// of a six-vertex quad, which cuts the vertex work (software renderers run it on one thread) to a
// sixth. A point covers the pixels the quad covers and is lit as the sphere point there, but keeps
// the depth of the sphere's front, so that hidden fragments fail the depth test before shading.
//   in: atom (vec4, location 0: centre in model space, element radius), colour (vec4, location 1:
//     element colour)
//   uniforms: mat4 MV (View * Model), mat4 P (projection), float S (radius factor), float Pixels
//     (window pixels per camera-space unit), int selected (atom drawn in C, -1 for none),
//     vec3 C (selection colour); fragment uniforms: see impostor_light
//   out: flat centre (camera space), flat radius, flat reach (the point's half side in radii, at
//     least 1: a point is never smaller than a pixel), flat ourColor
//   needs GL_PROGRAM_POINT_SIZE enabled
inline constexpr char atom_point_vs_main[] = R"(
layout(location = 0) in vec4 atom;
layout(location = 1) in vec4 colour;

uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform float Pixels;
uniform int selected;
uniform vec3 C;

flat out vec3 centre;
flat out float radius;
flat out float reach;
flat out vec3 ourColor;

void main()
{
    radius = atom.w * S;
    centre = (MV * vec4(atom.xyz, 1.0)).xyz;
    gl_Position = P * vec4(centre + vec3(0.0, 0.0, radius), 1.0);
    float side = max(2.0 * radius * Pixels, 1e-6);
    gl_PointSize = max(side, 1.0);
    reach = gl_PointSize / side;
    ourColor = gl_VertexID == selected ? C : colour.rgb;
}
)";
inline constexpr auto atom_point_vs_text = ShaderText(glsl_version, atom_point_vs_main);
inline constexpr const char *atom_point_vs = atom_point_vs_text.data();

// gl_PointCoord runs from the top left corner of the point; the quad's corner from its bottom left.
//   out: outColor (vec4, alpha 1)
inline constexpr char atom_point_frag_main[] = R"(
flat in float reach;
flat in vec3 ourColor;

out vec4 outColor;

void main()
{
    vec2 corner = vec2(2.0 * gl_PointCoord.x - 1.0, 1.0 - 2.0 * gl_PointCoord.y) * reach;
    outColor = vec4(LightMeshPoint(SphereNormal(corner), ourColor), 1.0);
}
)";
inline constexpr auto atom_point_frag_text =
    ShaderText(glsl_version, lit_light, impostor_light, sphere_point, atom_point_frag_main);
inline constexpr const char *atom_point_frag = atom_point_frag_text.data();

#endif
