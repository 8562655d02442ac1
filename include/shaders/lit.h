#ifndef SHADERS_LIT_H
#define SHADERS_LIT_H

#include <array>
#include <cstddef>

// Pieces shared by the lit programs (atom, bond, arrow) and the impostor programs.

// Joins GLSL texts at compile time, so each program stays one null-terminated string.
template <std::size_t... N>
constexpr std::array<char, (N + ...) - sizeof...(N) + 1> ShaderText(const char (&...parts)[N])
{
    std::array<char, (N + ...) - sizeof...(N) + 1> text{};
    std::size_t k = 0;
    auto append = [&text, &k](const char *part, std::size_t size) {
        for (std::size_t i = 0; i + 1 < size; i++)
            text[k++] = part[i];
    };
    (append(parts, N), ...);
    return text;
}

inline constexpr char glsl_version[] = "#version 330 core\n";

// Ambient, diffuse and specular light of one point light at (4, 4, 4), attenuated by the squared
// distance. Nothing is clamped; values above 1 saturate in the framebuffer.
inline constexpr char lit_light[] = R"(
vec3 Light(vec3 Normal_cameraspace, vec3 Position_worldspace, vec3 EyeDirection_cameraspace,
           vec3 LightDirection_cameraspace, vec3 MaterialDiffuseColor)
{
    vec3 LightPosition_worldspace = vec3(4.0, 4.0, 4.0);
    vec3 LightColor = vec3(0.6, 0.6, 0.6);
    float LightPower = 50.0;
    vec3 MaterialAmbientColor = vec3(0.2, 0.2, 0.2) * MaterialDiffuseColor;
    vec3 MaterialSpecularColor = vec3(0.3, 0.3, 0.3);

    float distance = length(LightPosition_worldspace - Position_worldspace);
    vec3 n = normalize(Normal_cameraspace);
    vec3 l = normalize(LightDirection_cameraspace);
    float cosTheta = clamp(dot(n, l), 0.0, 1.0);
    vec3 E = normalize(EyeDirection_cameraspace);
    vec3 R = reflect(-l, n);
    float cosAlpha = clamp(dot(E, R), 0.0, 1.0);

    float cosAlpha2 = cosAlpha * cosAlpha;
    return MaterialAmbientColor
        + MaterialDiffuseColor * LightColor * LightPower * cosTheta / (distance * distance)
        + MaterialSpecularColor * LightColor * LightPower * (cosAlpha2 * cosAlpha2 * cosAlpha) / (distance * distance);
}
)";

// Vertex stage of the mesh programs: the input, the outputs the lit fragment stage reads, and
// SetLighting, which fills them for a mesh vertex. The unit-mesh vertex itself serves as the normal.
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

// Fragment stage of the mesh programs.
//   out: outColor (vec4)
inline constexpr char lit_frag_main[] = R"(
in vec3 ourColor;
in vec3 Normal_cameraspace;
in vec3 Position_worldspace;
in vec3 EyeDirection_cameraspace;
in vec3 LightDirection_cameraspace;

out vec4 outColor;

void main()
{
    outColor = vec4(Light(Normal_cameraspace, Position_worldspace, EyeDirection_cameraspace,
                          LightDirection_cameraspace, ourColor), 1.0);
}
)";
inline constexpr auto lit_frag_text = ShaderText(glsl_version, lit_light, lit_frag_main);
inline constexpr const char *lit_frag = lit_frag_text.data();

// Fragment helpers of the ray-cast impostors, which work in camera space under the orthographic
// projection (rays run along -z). CTrack's camera looks down -z without turning, so camera and
// world axes coincide: a mesh point n turned with the structure lies at n in the world and at
// n - Eye from the camera.
//   uniforms: vec3 Eye (camera position in the world), vec2 Depth (window depth = Depth.x *
//     camera-space z + Depth.y)
//   LightMeshPoint(n, colour): the light the mesh programs gave the unit-mesh point n, so
//     impostors look as the meshes did.
//   DepthOf(z): window depth of camera-space depth z, for gl_FragDepth.
//   Coverage(e): the share of the pixel inside an edge that lies e (any unit) beyond it, as
//     alpha for alpha-to-coverage in a multisampled framebuffer; e must be found before any
//     discard.
inline constexpr char impostor_light[] = R"(
uniform vec3 Eye;
uniform vec2 Depth;

vec3 LightMeshPoint(vec3 n, vec3 colour)
{
    vec3 eye = Eye - n;
    return Light(n, n, eye, vec3(4.0, 4.0, 4.0) - n, colour);
}

float DepthOf(float z)
{
    return Depth.x * z + Depth.y;
}

float Coverage(float e)
{
    return clamp(e / max(fwidth(e), 1e-6) + 0.5, 0.0, 1.0);
}
)";

// The batched quads: four vertices per instance, two triangles over them from an element buffer
// (see CreateQuadVertexArray), drawn without instancing, which software renderers run per
// instance; each vertex finds its instance and its quad corner from gl_VertexID and reads the
// instance's record from buffer textures.
inline constexpr char impostor_corners[] = R"(
const vec2 CORNERS[4] = vec2[4](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(1.0, 1.0));

int Instance()
{
    return gl_VertexID / 4;
}

vec2 Corner()
{
    return CORNERS[gl_VertexID % 4];
}
)";

// The record a batched quad draws: the quad's own, or the k-th of a list of records left to draw
// after the hidden ones were dropped.
//   uniforms: int Culled (0: every record in order), usamplerBuffer drawn (R32UI, the records
//     drawn, ascending; texture unit 2 for atoms and bonds, 4 for label glyphs)
inline constexpr char impostor_drawn[] = R"(
uniform int Culled;
uniform usamplerBuffer drawn;

int Drawn(int k)
{
    return Culled != 0 ? int(texelFetch(drawn, k).r) : k;
}
)";

#endif
