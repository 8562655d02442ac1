#ifndef SHADERS_ATOM_FILL_H
#define SHADERS_ATOM_FILL_H

#include "lit.h"

// Atoms while the view moves: one triangle over the whole view that copies CSphereRaster's picture
// and writes its depth, so that bonds, labels and lines drawn after it are hidden as in the full
// picture.
//   uniforms: sampler2D picture (texture unit 0; RGBA8, the view's pixels, alpha 0 where no atom
//     is), sampler2D depth (texture unit 1; R32F, camera-space depth), vec2 Origin (the view's
//     corner in window pixels); fragment uniforms: see impostor_light (Depth)
//   out: outColor (vec4, alpha 1)
inline constexpr char atom_fill_vs_main[] = R"(
void main()
{
    gl_Position = vec4(float((gl_VertexID & 1) << 2) - 1.0, float((gl_VertexID & 2) << 1) - 1.0, 0.0, 1.0);
}
)";
inline constexpr auto atom_fill_vs_text = ShaderText(glsl_version, atom_fill_vs_main);
inline constexpr const char *atom_fill_vs = atom_fill_vs_text.data();

inline constexpr char atom_fill_frag_main[] = R"(
uniform sampler2D picture;
uniform sampler2D depth;
uniform vec2 Origin;

out vec4 outColor;

void main()
{
    ivec2 pixel = ivec2(gl_FragCoord.xy - Origin);
    vec4 colour = texelFetch(picture, pixel, 0);
    if (colour.a == 0.0)
        discard;
    outColor = vec4(colour.rgb, 1.0);
    gl_FragDepth = DepthOf(texelFetch(depth, pixel, 0).r);
}
)";
inline constexpr auto atom_fill_frag_text = ShaderText(glsl_version, lit_light, impostor_light, atom_fill_frag_main);
inline constexpr const char *atom_fill_frag = atom_fill_frag_text.data();

#endif
