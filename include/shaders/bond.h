#ifndef SHADERS_BOND_H
#define SHADERS_BOND_H

#include "lit.h"

// Bonds as ray-cast tube impostors: a screen-aligned quad per bond (four vertices, see
// impostor_corners) around the tube's outline, whose fragments intersect the tube of radius S.
// The tube is open like the mesh it replaces: its ends lie inside the atoms. The quad leaves out
// the stretches that lie more than a pixel deep inside an end atom: that atom's nearer surface
// hides them whole, rim samples included, so they would only cost fragments (all of a bond
// between overlapping atoms).
//   uniforms: samplerBuffer bonds (texture unit 0; RGBA32F, texels 2i and 2i + 1: mid-point of
//     bond i in model space, then the vector from it to one end; in w the element radius of the
//     atom at the other end, then at that end, 0 for none), mat4 MV (View * Model), mat4 P
//     (projection), float S (radius), float A (atom radius factor), float Pixel (a pixel in camera
//     units), vec3 C (colour); the bonds drawn: see impostor_drawn; fragment uniforms: see impostor_light
//   out: footprint (camera-space x, y), flat centre (camera space), flat axis (unit),
//     flat half_length, flat ourColor
inline constexpr char bond_vs_main[] = R"(
uniform samplerBuffer bonds;
uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform float A;
uniform float Pixel;
uniform vec3 C;

out vec2 footprint;
flat out vec3 centre;
flat out vec3 axis;
flat out float half_length;
flat out vec3 ourColor;

// How far from the centre of an atom of element radius r the tube lies more than a pixel inside it.
float Buried(float r)
{
    float inner = r * A - Pixel;
    return inner > S ? sqrt(inner * inner - S * S) : 0.0;
}

void main()
{
    int first = 2 * Drawn(Instance());
    vec4 mid = texelFetch(bonds, first);
    vec4 end = texelFetch(bonds, first + 1);
    centre = (MV * vec4(mid.xyz, 1.0)).xyz;
    vec3 h = mat3(MV) * end.xyz;
    half_length = length(h);
    axis = half_length > 0.0 ? h / half_length : vec3(0.0, 0.0, 1.0);
    // The stretch drawn, in half lengths from the mid-point.
    float from = half_length > 0.0 ? Buried(mid.w) / half_length - 1.0 : -1.0;
    float to = half_length > 0.0 ? 1.0 - Buried(end.w) / half_length : 1.0;
    // The outline: that stretch of the axis on screen, widened by the radius on all sides.
    float reach = length(h.xy);
    vec2 along = reach > 0.0 ? h.xy / reach : vec2(1.0, 0.0);
    vec2 side = vec2(-along.y, along.x);
    vec2 corner = Corner();
    footprint = centre.xy + h.xy * (0.5 * (from + to)) + along * corner.x * (reach * (0.5 * (to - from)) + S) +
                side * corner.y * S;
    // A bond buried whole lies outside the clip volume, where its triangles are dropped unrasterised.
    gl_Position = from < to ? P * vec4(footprint, centre.z + abs(h.z) + S, 1.0) : vec4(2.0, 2.0, 2.0, 1.0);
    ourColor = C;
}
)";
inline constexpr auto bond_vs_text = ShaderText(glsl_version, impostor_corners, impostor_drawn, bond_vs_main);
inline constexpr const char *bond_vs = bond_vs_text.data();

// The ray through the fragment runs along +z from (footprint, 0); its nearer crossing of the tube
// gives the point, lit as the mesh point (radial direction + axial position in half lengths).
//   out: outColor (vec4, alpha: the pixel's share inside the tube's outline)
inline constexpr char bond_frag_main[] = R"(
in vec2 footprint;
flat in vec3 centre;
flat in vec3 axis;
flat in float half_length;
flat in vec3 ourColor;

uniform float S;

out vec4 outColor;

void main()
{
    vec2 across = length(axis.xy) > 0.0 ? normalize(vec2(-axis.y, axis.x)) : vec2(0.0, 1.0);
    float inside = Coverage(S - abs(dot(footprint - centre.xy, across)));
    float a = 1.0 - axis.z * axis.z;
    // Seen end-on the tube shows only its rim, which its atoms hide.
    if (half_length <= 0.0 || a < 1e-6)
        discard;
    vec3 w = vec3(footprint, 0.0) - centre;
    vec3 w_perp = w - dot(w, axis) * axis;
    float b = w_perp.z;
    float c = dot(w_perp, w_perp) - S * S;
    float disc = b * b - a * c;
    if (disc < 0.0)
        discard;
    vec3 hit = w + vec3(0.0, 0.0, (sqrt(disc) - b) / a);
    float along = dot(hit, axis);
    float t = along / half_length;
    if (abs(t) > 1.0)
        discard;
    vec3 radial = (hit - along * axis) / S;
    gl_FragDepth = DepthOf(centre.z + hit.z);
    outColor = vec4(LightMeshPoint(radial + t * axis, ourColor), inside);
}
)";
inline constexpr auto bond_frag_text = ShaderText(glsl_version, lit_light, impostor_light, bond_frag_main);
inline constexpr const char *bond_frag = bond_frag_text.data();

#endif
