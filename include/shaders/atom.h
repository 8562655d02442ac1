#ifndef SHADERS_ATOM_H
#define SHADERS_ATOM_H

#include "lit.h"

// Atoms as ray-cast sphere impostors: a screen-aligned quad per atom (four vertices, see
// impostor_corners) whose fragments find the sphere point under them.
//   uniforms: samplerBuffer atoms (texture unit 0; RGBA32F, texel i: centre of atom i in model
//     space, element radius), samplerBuffer colours (texture unit 1; RGBA8, texels 2i and 2i + 1:
//     element colour with alpha 0 for a selected atom, pick colour), the uniforms of atom_place
//   the atoms drawn: see impostor_drawn, and while culling usamplerBuffer shown (texture unit 3;
//     RGBA16UI, texel k: the first and last column and row of the pixels the k-th atom drawn may
//     show in, to which its quad is cut)
//   out: see atom_place

// What the quads and the points share: an atom's place, depth and colours.
//   uniforms: mat4 MV (View * Model), mat4 P (the orthographic projection), float S (radius factor),
//     int selected (atom drawn in C, -1 for none), vec3 C (selection colour, also of the atoms
//     marked selected in their colour while marks is not 0), vec4 Window (the viewport: corner and
//     size in window pixels); fragment uniforms: see impostor_light
//   out: flat centre (camera space), flat radius, flat outline (window centre and radii in pixels),
//     flat ourColor, flat pickColor
//   Place(atom): fills centre, radius and outline from the atom's record; false for a hidden atom
//     (radius 0).
//   Cut(pixels, low, high): the low and high window corners of the pixels an atom drawn may show in.
//   Put(place, drawn): the vertex at window place `place`, at the depth of the atom's front; for an
//     atom not drawn, outside the clip volume, where its primitive is dropped unrasterised (a quad
//     widened past the outline would still reach pixels).
//   Paint(id, own, pick): the colours of atom id, element colour `own`, pick colour `pick`.
// Software OpenGL runs the vertex stage of many atoms on one thread: no branch leaves it early, which
// would mask the rest of it, and clip w, 1 under the orthographic projection, divides nothing.
inline constexpr char atom_place[] = R"(
uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform int selected;
uniform int marks;
uniform vec3 C;
uniform vec4 Window;

flat out vec3 centre;
flat out float radius;
flat out vec4 outline;
flat out vec3 ourColor;
flat out vec3 pickColor;

bool Place(vec4 atom)
{
    radius = atom.w * S;
    centre = (MV * vec4(atom.xyz, 1.0)).xyz;
    vec2 clip = (P * vec4(centre, 1.0)).xy;
    outline = vec4(Window.xy + (clip * 0.5 + 0.5) * Window.zw, radius * vec2(P[0][0], P[1][1]) * 0.5 * Window.zw);
    return radius > 0.0;
}

void Cut(uvec4 pixels, out vec2 low, out vec2 high)
{
    low = Window.xy + vec2(pixels.xy);
    high = Window.xy + vec2(pixels.zw) + 1.0;
}

void Put(vec2 place, bool drawn)
{
    float depth = (P * vec4(centre + vec3(0.0, 0.0, radius), 1.0)).z;
    gl_Position = drawn ? vec4((place - Window.xy) / Window.zw * 2.0 - 1.0, depth, 1.0) : vec4(2.0, 2.0, 2.0, 1.0);
}

void Paint(int id, vec4 own, vec4 pick)
{
    ourColor = id == selected || (marks != 0 && own.a < 0.5) ? C : own.rgb;
    pickColor = pick.rgb;
}
)";

inline constexpr char atom_vs_main[] = R"(
uniform samplerBuffer atoms;
uniform samplerBuffer colours;
uniform usamplerBuffer shown;

void main()
{
    int k = Instance();
    int id = Drawn(k);
    bool drawn = Place(texelFetch(atoms, id));
    // The quad in window pixels, a pixel wider than the outline on every side, so that no pixel
    // centre inside the outline depends on how the rasteriser rounds the quad's corners (the
    // fragments leave out what lies outside). Cut to the pixels the atom may show in while culling:
    // the fragments find their sphere point from the window place, so a cut quad draws its pixels
    // as the whole one would.
    vec2 place = outline.xy + Corner() * (outline.zw + 1.0);
    if (Culled != 0) {
        vec2 low, high;
        Cut(texelFetch(shown, k), low, high);
        place = clamp(place, low, high);
    }
    Put(place, drawn);
    Paint(id, texelFetch(colours, 2 * id), texelFetch(colours, 2 * id + 1));
}
)";
inline constexpr auto atom_vs_text =
    ShaderText(glsl_version, impostor_corners, impostor_drawn, atom_place, atom_vs_main);
inline constexpr const char *atom_vs = atom_vs_text.data();

// The culled atoms of a single-sampled picture as points, one vertex each drawn with
// glDrawArrays(GL_POINTS) over the pixels the atom may show in, where a square of whole pixels
// covers what the quad covers. Software OpenGL spends less of its vertex stage on attributes fed in
// order than on texels fetched by index.
//   in: atom (location 0: centre in model space, element radius), own and pick (locations 1 and 2:
//     element and pick colour as for atom_vs), pixels (location 3: as a texel of shown), id
//     (location 4: the atom's index)
//   uniforms and out: see atom_place
inline constexpr char atom_point_vs_main[] = R"(
layout(location = 0) in vec4 atom;
layout(location = 1) in vec4 own;
layout(location = 2) in vec4 pick;
layout(location = 3) in uvec4 pixels;
layout(location = 4) in int id;

void main()
{
    bool drawn = Place(atom);
    vec2 low, high;
    Cut(pixels, low, high);
    gl_PointSize = max(high.x - low.x, high.y - low.y);
    Put(0.5 * (low + high), drawn);
    Paint(id, own, pick);
}
)";
inline constexpr auto atom_point_vs_text = ShaderText(glsl_version, atom_place, atom_point_vs_main);
inline constexpr const char *atom_point_vs = atom_point_vs_text.data();

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
