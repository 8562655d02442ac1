#ifndef SHADERS_BOND_H
#define SHADERS_BOND_H

#include "lit.h"

// Bonds as ray-cast tube impostors: a screen-aligned quad per bond (four vertices, see
// impostor_corners) around the tube's outline, whose fragments intersect the tube of radius S.
// The tube is open like the mesh it replaces: its ends lie inside the atoms. Only the stretch that
// lies at most a pixel deep inside its end atoms is drawn: the atom's nearer surface hides the rest
// whole, rim samples included, so it would only cost fragments (all of a bond between overlapping
// atoms).
//   uniforms: samplerBuffer bonds (texture unit 0; RGBA32F, texels 2i and 2i + 1: mid-point of
//     bond i in model space, then the vector from it to one end; in w the element radius of the
//     atom at the other end, then at that end, 0 for none), mat4 MV (View * Model), mat4 P
//     (orthographic projection), float S (radius), float A (atom radius factor), float Pixel (a
//     pixel in camera units), vec3 C (colour), vec4 Window (the viewport: corner and size in window
//     pixels); the bonds drawn: see impostor_drawn; int Points (not 0: one point per bond drawn,
//     with glDrawArrays(GL_POINTS), over the whole pixels its quad covers; single-sampled only,
//     where the pixel centres decide); fragment uniforms: see impostor_light
//   out: flat centre (camera space), flat axis (unit), flat half_length, flat along (unit, the
//     axis on screen), flat ends (the stretch drawn widened by S, in camera units along `along`
//     from the centre), flat ourColor
inline constexpr char bond_vs_main[] = R"(
uniform samplerBuffer bonds;
uniform mat4 MV;
uniform mat4 P;
uniform float S;
uniform float A;
uniform float Pixel;
uniform vec3 C;
uniform vec4 Window;
uniform int Points;

flat out vec3 centre;
flat out vec3 axis;
flat out float half_length;
flat out vec2 along;
flat out vec2 ends;
flat out vec3 ourColor;

// How far past the outline the quad reaches, in pixels: four times the most a rasteriser may move a
// corner (OpenGL allows a grid of sixteenths). A whole pixel, as the atoms' quad has, would cost a
// thin tube several times its own fragments.
const float MARGIN = 0.125;

// How far from the centre of an atom of element radius r the tube lies more than a pixel inside it.
float Buried(float r)
{
    float inner = r * A - Pixel;
    return inner > S ? sqrt(inner * inner - S * S) : 0.0;
}

void main()
{
    int first = 2 * Drawn(Points != 0 ? gl_VertexID : Instance());
    vec4 mid = texelFetch(bonds, first);
    vec4 end = texelFetch(bonds, first + 1);
    centre = (MV * vec4(mid.xyz, 1.0)).xyz;
    vec3 h = mat3(MV) * end.xyz;
    half_length = length(h);
    axis = half_length > 0.0 ? h / half_length : vec3(0.0, 0.0, 1.0);
    // The stretch drawn, in half lengths from the mid-point.
    float from = half_length > 0.0 ? Buried(mid.w) / half_length - 1.0 : -1.0;
    float to = half_length > 0.0 ? 1.0 - Buried(end.w) / half_length : 1.0;
    // A bond buried whole, or seen end-on (or of no length), where it shows only its rim, which its
    // atoms hide, lies outside the clip volume: its primitive is dropped unrasterised.
    if (!(from < to) || 1.0 - axis.z * axis.z < 1e-6) {
        gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
        return;
    }
    float reach = length(h.xy);
    along = reach > 0.0 ? h.xy / reach : vec2(1.0, 0.0);
    ends = vec2(from, to) * reach + vec2(-S, S);
    // The quad: that stretch on screen, widened by the radius on all sides and a margin beyond, so
    // that no pixel centre inside the outline depends on how the rasteriser rounds the quad's
    // corners (the fragments leave out what lies outside).
    vec2 middle = centre.xy + along * (0.5 * (ends.x + ends.y));
    vec2 lengthwise = along * (0.5 * (ends.y - ends.x) + MARGIN * Pixel);
    vec2 sideways = vec2(-along.y, along.x) * (S + MARGIN * Pixel);
    vec2 place = Points != 0 ? middle : middle + Corner().x * lengthwise + Corner().y * sideways;
    gl_Position = P * vec4(place, centre.z + abs(h.z) + S, 1.0);
    if (Points != 0) {
        // A point covers the whole pixels whose centres the quad's bounding box holds, cut to the
        // window (its centre then lies in the clip volume), half a pixel inside its edges whatever
        // the rounding; where the box holds no pixel centre, nothing is drawn.
        vec2 window = Window.xy + (gl_Position.xy * 0.5 + 0.5) * Window.zw;
        vec2 half_box = (abs(lengthwise) + abs(sideways)) * vec2(P[0][0], P[1][1]) * 0.5 * Window.zw;
        vec2 low = max(ceil(window - half_box - 0.5), Window.xy);
        vec2 high = min(floor(window + half_box - 0.5) + 1.0, Window.xy + Window.zw);
        gl_Position.xy = any(lessThanEqual(high, low)) ? vec2(2.0) : (low + high - 2.0 * Window.xy) / Window.zw - 1.0;
        gl_PointSize = max(high.x - low.x, high.y - low.y);
    }
    ourColor = C;
}
)";
inline constexpr auto bond_vs_text = ShaderText(glsl_version, impostor_corners, impostor_drawn, bond_vs_main);
inline constexpr const char *bond_vs = bond_vs_text.data();

// The ray through the fragment runs along +z from its footprint (camera-space x, y of the pixel
// centre, found from the window place alone so that any primitive over the pixel draws it the same
// way); its nearer crossing of the tube gives the point, lit as the mesh point (radial direction +
// axial position in half lengths). Pixels beyond the stretch's ends or beside its outline are left
// out here, not by the quad's edges, and in window terms: the tube's crossing, ill-conditioned for
// a bond seen nearly end-on, would keep some a quad does not reach.
//   out: outColor (vec4, alpha: the pixel's share inside the tube's outline)
inline constexpr char bond_frag_main[] = R"(
flat in vec3 centre;
flat in vec3 axis;
flat in float half_length;
flat in vec2 along;
flat in vec2 ends;
flat in vec3 ourColor;

uniform float S;
uniform mat4 P;
uniform vec4 Window;

out vec4 outColor;

vec2 Footprint()
{
    vec2 ndc = (gl_FragCoord.xy - Window.xy) / Window.zw * 2.0 - 1.0;
    return (ndc - vec2(P[3][0], P[3][1])) / vec2(P[0][0], P[1][1]);
}

void main()
{
    vec2 footprint = Footprint();
    vec2 offset = footprint - centre.xy;
    float aside = abs(dot(offset, vec2(-along.y, along.x)));
    float inside = Coverage(S - aside);
    float lengthwise = dot(offset, along);
    if (aside > S || lengthwise < ends.x || lengthwise > ends.y)
        discard;
    float a = 1.0 - axis.z * axis.z;
    vec3 w = vec3(footprint, 0.0) - centre;
    vec3 w_perp = w - dot(w, axis) * axis;
    float b = w_perp.z;
    float c = dot(w_perp, w_perp) - S * S;
    float disc = b * b - a * c;
    if (disc < 0.0)
        discard;
    vec3 hit = w + vec3(0.0, 0.0, (sqrt(disc) - b) / a);
    float axial = dot(hit, axis);
    float t = axial / half_length;
    if (abs(t) > 1.0)
        discard;
    vec3 radial = (hit - axial * axis) / S;
    gl_FragDepth = DepthOf(centre.z + hit.z);
    outColor = vec4(LightMeshPoint(radial + t * axis, ourColor), inside);
}
)";
inline constexpr auto bond_frag_text = ShaderText(glsl_version, lit_light, impostor_light, bond_frag_main);
inline constexpr const char *bond_frag = bond_frag_text.data();

#endif
