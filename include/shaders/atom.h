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
//   the atoms drawn: see impostor_drawn, and while culling usamplerBuffer shown (texture unit 3;
//     RGBA16UI, texel k: the first and last column and row of the pixels the k-th atom drawn may
//     show in, to which its quad is cut); int Points (not 0: one point per atom drawn, with
//     glDrawArrays(GL_POINTS), over those pixels; culled and single-sampled only, where a square
//     of whole pixels covers what the quad covers); vec4 Window (the viewport: corner and size in
//     window pixels); fragment uniforms: see impostor_light
//   out: flat centre (camera space), flat radius, flat outline (window centre and radii in pixels),
//     flat ourColor, flat pickColor
inline constexpr char atom_vs_main[] = R"(
uniform samplerBuffer atoms;
uniform samplerBuffer colours;
uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform int selected;
uniform int marks;
uniform vec3 C;
uniform vec4 Window;
uniform usamplerBuffer shown;
uniform int Points;

flat out vec3 centre;
flat out float radius;
flat out vec4 outline;
flat out vec3 ourColor;
flat out vec3 pickColor;

void main()
{
    int k = Points != 0 ? gl_VertexID : Instance();
    int id = Drawn(k);
    vec4 atom = texelFetch(atoms, id);
    radius = atom.w * S;
    // A hidden atom (radius 0) draws nothing: outside the clip volume its primitive is dropped
    // unrasterised, where a quad widened past the outline would still reach pixels.
    if (!(radius > 0.0)) {
        gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
        return;
    }
    centre = (MV * vec4(atom.xyz, 1.0)).xyz;
    vec4 clip = P * vec4(centre, 1.0);
    outline = vec4(Window.xy + (clip.xy / clip.w * 0.5 + 0.5) * Window.zw, radius * vec2(P[0][0], P[1][1]) * 0.5 * Window.zw);
    // The quad in window pixels, a pixel wider than the outline on every side, so that no pixel
    // centre inside the outline depends on how the rasteriser rounds the quad's corners (the
    // fragments leave out what lies outside). Cut to the pixels the atom may show in while culling:
    // the fragments find their sphere point from the window place, so a cut quad draws its pixels
    // as the whole one would.
    vec2 place = outline.xy + Corner() * (outline.zw + 1.0);
    if (Culled != 0) {
        uvec4 pixels = texelFetch(shown, k);
        vec2 low = Window.xy + vec2(pixels.xy), high = Window.xy + vec2(pixels.zw) + 1.0;
        place = Points != 0 ? 0.5 * (low + high) : clamp(place, low, high);
        gl_PointSize = max(high.x - low.x, high.y - low.y);
    }
    gl_Position = vec4((place - Window.xy) / Window.zw * 2.0 - 1.0, (P * vec4(centre + vec3(0.0, 0.0, radius), 1.0)).z, 1.0);
    vec4 own = texelFetch(colours, 2 * id);
    ourColor = id == selected || (marks != 0 && own.a < 0.5) ? C : own.rgb;
    pickColor = texelFetch(colours, 2 * id + 1).rgb;
}
)";
inline constexpr auto atom_vs_text = ShaderText(glsl_version, impostor_corners, impostor_drawn, atom_vs_main);
inline constexpr const char *atom_vs = atom_vs_text.data();

// The sphere under a fragment, shared by the lit, the pick and the point program so that all cover
// exactly the same pixels whatever primitive covers them. Corner: the pixel centre's place in the
// outline, in radii, found from the window place alone so that any quad over the pixel gives the
// same. SphereNormal: the unit normal at `corner`; pixels beside it discarded. SpherePoint: the
// same, with the fragment's depth written.
inline constexpr char sphere_point[] = R"(
flat in vec3 centre;
flat in float radius;
flat in vec4 outline;

vec2 Corner()
{
    return (gl_FragCoord.xy - outline.xy) / outline.zw;
}

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
flat in vec3 ourColor;

out vec4 outColor;

void main()
{
    vec2 corner = Corner();
    float inside = Coverage(1.0 - length(corner));
    outColor = vec4(LightMeshPoint(SpherePoint(corner), ourColor), inside);
}
)";
inline constexpr auto atom_frag_text = ShaderText(glsl_version, lit_light, impostor_light, sphere_point, atom_frag_main);
inline constexpr const char *atom_frag = atom_frag_text.data();

#endif
