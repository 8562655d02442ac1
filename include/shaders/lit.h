#ifndef SHADERS_LIT_H
#define SHADERS_LIT_H

#include <array>
#include <cstddef>

// Pieces shared by the lit programs (atom, bond, arrow).

// Joins two GLSL texts at compile time, so each program stays one null-terminated string.
template <std::size_t A, std::size_t B>
constexpr std::array<char, A + B - 1> ShaderText(const char (&head)[A], const char (&tail)[B])
{
    std::array<char, A + B - 1> text{};
    for (std::size_t i = 0; i + 1 < A; i++)
        text[i] = head[i];
    for (std::size_t i = 0; i < B; i++)
        text[A - 1 + i] = tail[i];
    return text;
}

// Vertex stage: the input, the outputs the lit fragment stage reads, and SetLighting, which fills
// them for a mesh vertex. The unit-mesh vertex itself serves as the normal (exact for the sphere).
//   in:  position (vec3, location 0)
//   out: ourColor, Normal_cameraspace, Position_worldspace, EyeDirection_cameraspace,
//        LightDirection_cameraspace (vec3)
inline constexpr char lit_vertex_common[] = R"(#version 330 core
layout(location = 0) in vec3 position;

out vec3 ourColor;
out vec3 Normal_cameraspace;
out vec3 Position_worldspace;
out vec3 EyeDirection_cameraspace;
out vec3 LightDirection_cameraspace;

void SetLighting(mat4 M, mat4 V, vec3 LightPosition_worldspace, vec3 color)
{
    Position_worldspace = (M * vec4(position, 1.0)).xyz;
    vec3 vertexPosition_cameraspace = (V * M * vec4(position, 1.0)).xyz;
    EyeDirection_cameraspace = vec3(0.0, 0.0, 0.0) - vertexPosition_cameraspace;
    vec3 LightPosition_cameraspace = (V * vec4(LightPosition_worldspace, 1.0)).xyz;
    LightDirection_cameraspace = LightPosition_cameraspace + EyeDirection_cameraspace;
    Normal_cameraspace = (V * M * vec4(position, 0.0)).xyz;
    ourColor = color;
}
)";

// Fragment stage: ambient, diffuse and specular light of one point light at (4, 4, 4), attenuated
// by the squared distance. Nothing is clamped; values above 1 saturate in the framebuffer.
//   out: outColor (vec4)
inline constexpr const char *lit_frag = R"(#version 330 core
in vec3 ourColor;
in vec3 Normal_cameraspace;
in vec3 Position_worldspace;
in vec3 EyeDirection_cameraspace;
in vec3 LightDirection_cameraspace;

out vec4 outColor;

void main()
{
    vec3 LightPosition_worldspace = vec3(4.0, 4.0, 4.0);
    vec3 LightColor = vec3(0.6, 0.6, 0.6);
    float LightPower = 50.0;
    vec3 MaterialDiffuseColor = ourColor;
    vec3 MaterialAmbientColor = vec3(0.2, 0.2, 0.2) * MaterialDiffuseColor;
    vec3 MaterialSpecularColor = vec3(0.3, 0.3, 0.3);

    float distance = length(LightPosition_worldspace - Position_worldspace);
    vec3 n = normalize(Normal_cameraspace);
    vec3 l = normalize(LightDirection_cameraspace);
    float cosTheta = clamp(dot(n, l), 0.0, 1.0);
    vec3 E = normalize(EyeDirection_cameraspace);
    vec3 R = reflect(-l, n);
    float cosAlpha = clamp(dot(E, R), 0.0, 1.0);

    vec3 color = MaterialAmbientColor
        + MaterialDiffuseColor * LightColor * LightPower * cosTheta / (distance * distance)
        + MaterialSpecularColor * LightColor * LightPower * pow(cosAlpha, 5.0) / (distance * distance);
    outColor = vec4(color, 1.0);
}
)";

#endif
