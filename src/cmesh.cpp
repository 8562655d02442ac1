#include "cmesh.h"

#include <cmath>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>

namespace {

struct triangle {
    glm::vec3 pt[3];
};

// Poles and the two rings of five points at height +-1/sqrt(5), named by azimuth in degrees.
const glm::vec3 T(0.0f, 0.0f, 1.0f);
const glm::vec3 B(0.0f, 0.0f, -1.0f);
const glm::vec3 U90(0.0f, 0.89442718f, 0.44721359f);
const glm::vec3 U162(-0.85065079f, 0.27639320f, 0.44721359f);
const glm::vec3 U234(-0.52573109f, -0.72360682f, 0.44721359f);
const glm::vec3 U306(0.52573109f, -0.72360682f, 0.44721359f);
const glm::vec3 U18(0.85065079f, 0.27639320f, 0.44721359f);
const glm::vec3 L270(0.0f, -0.89442718f, -0.44721359f);
const glm::vec3 L198(-0.85065079f, -0.27639320f, -0.44721359f);
const glm::vec3 L126(-0.52573109f, 0.72360682f, -0.44721359f);
const glm::vec3 L54(0.52573109f, 0.72360682f, -0.44721359f);
const glm::vec3 L342(0.85065079f, -0.27639320f, -0.44721359f);

// pt[1] is the apex each face is subdivided from.
const triangle icosahedron[20] = {
    {{T, U234, U306}},    {{T, U162, U234}},    {{T, U90, U162}},     {{T, U18, U90}},
    {{T, U306, U18}},     {{U234, L198, L270}}, {{L198, U234, U162}}, {{U162, L126, L198}},
    {{L126, U162, U90}},  {{U90, L54, L126}},   {{L54, U90, U18}},    {{U18, L342, L54}},
    {{L342, U18, U306}},  {{U306, L270, L342}}, {{L270, U306, U234}}, {{L54, L342, B}},
    {{L126, L54, B}},     {{L198, L126, B}},    {{L270, L198, B}},    {{L342, L270, B}},
};

const glm::vec3 cube_strip2[CELL_BOX_VERTICES] = {
    {-0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f},  {0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, -0.5f},   {-0.5f, 0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f},
    {0.5f, -0.5f, 0.5f},   {-0.5f, -0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f},  {-0.5f, 0.5f, -0.5f},
    {0.5f, 0.5f, -0.5f},   {0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, 0.5f},  {0.5f, 0.5f, 0.5f},
};

unsigned int RingCount(unsigned int res) { return res < MESH_MIN_RING ? MESH_MIN_RING : res; }

// Angle step of a ring whose strip runs one step past the full turn, so that it closes.
double RingStep(unsigned int count) { return static_cast<double>(glm::two_pi<float>()) / (count - 2); }

glm::vec3 RingPoint(double radius, double phi, double z)
{
    return glm::vec3(radius * std::cos(phi), radius * std::sin(phi), z);
}

glm::vec3 Unit(const glm::vec3 &v) { return v / glm::length(v); }

} // namespace

int BuildSphereMesh(unsigned int res, std::vector<glm::vec3> &v)
{
    const unsigned int n = 1u << res;
    v.resize(static_cast<size_t>(20) * (n * n + 2 * n));
    size_t k = 0;
    for (const triangle &face : icosahedron) {
        const glm::vec3 &p0 = face.pt[0];
        const glm::vec3 &p1 = face.pt[1];
        const glm::vec3 &p2 = face.pt[2];
        for (unsigned int i = 0; i < n; i++) {
            const float lower = static_cast<float>(i + 1) / static_cast<float>(n);
            const float upper = static_cast<float>(i) / static_cast<float>(n);
            const glm::vec3 a = p1 + (p0 - p1) * lower;
            const glm::vec3 c = p1 + (p2 - p1) * lower;
            const glm::vec3 b = p1 + (p0 - p1) * upper;
            const glm::vec3 d = p1 + (p2 - p1) * upper;
            v[k++] = Unit(a);
            v[k++] = Unit(b);
            for (unsigned int j = 1; j <= i; j++) {
                v[k++] = Unit(a + (c - a) * (static_cast<float>(j) / static_cast<float>(i + 1)));
                v[k++] = Unit(b + (d - b) * (static_cast<float>(j) / static_cast<float>(i)));
            }
            v[k++] = Unit(c);
        }
    }
    return static_cast<int>(v.size());
}

int BuildTubeMesh(unsigned int res, std::vector<glm::vec3> &v)
{
    const unsigned int count = RingCount(res);
    const double step = RingStep(count);
    v.resize(count);
    for (unsigned int k = 0; k < count; k++)
        v[k] = RingPoint(1.0, k * step, k % 2 == 0 ? -1.0 : 1.0);
    return static_cast<int>(count);
}

int BuildArrowMesh(unsigned int res, std::vector<glm::vec3> &shaft, std::vector<glm::vec3> &head)
{
    const unsigned int count = RingCount(res);
    const double step = RingStep(count);
    shaft.resize(count);
    head.resize(count);
    for (unsigned int k = 0; k < count; k++)
        shaft[k] = RingPoint(1.0, k * step, k % 2 == 0 ? 0.0 : 1.0);
    head[0] = glm::vec3(0.0f, 0.0f, 1.2f);
    for (unsigned int k = 1; k < count; k++)
        head[k] = RingPoint(2.0, k * step, 1.0);
    return static_cast<int>(count);
}

void BuildCellBoxMesh(const glm::dmat3 &cell, std::vector<glm::vec3> &v)
{
    v.resize(CELL_BOX_VERTICES);
    for (unsigned int k = 0; k < CELL_BOX_VERTICES; k++)
        v[k] = glm::vec3(cell * glm::dvec3(cube_strip2[k]));
}

glm::mat4 BondRotation(const glm::vec2 &ang)
{
    const glm::mat4 rz = glm::rotate(glm::mat4(1.0f), ang.x, glm::vec3(0.0f, 0.0f, 1.0f));
    return glm::rotate(rz, ang.y, glm::vec3(0.0f, 1.0f, 0.0f));
}
