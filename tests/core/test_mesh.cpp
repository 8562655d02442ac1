#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>
#include <glm/gtc/matrix_transform.hpp>

#include "cmesh.h"
#include "cview.h"
#include "structure_builder.h"

namespace {

const glm::vec3 T(0, 0, 1), B(0, 0, -1);
const glm::vec3 U234(-0.52573109f, -0.72360682f, 0.44721359f);
const glm::vec3 U306(0.52573109f, -0.72360682f, 0.44721359f);
const glm::vec3 L270(0.0f, -0.89442718f, -0.44721359f);
const glm::vec3 L342(0.85065079f, -0.27639320f, -0.44721359f);

void ExpectNear(const glm::vec3 &a, const glm::vec3 &b, float tol = 1e-6f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

glm::vec3 Mid(const glm::vec3 &a, const glm::vec3 &b) { return glm::normalize(a + (b - a) * 0.5f); }

// Normalised device coordinates of a world point.
glm::vec2 Ndc(const glm::mat4 &p, float x, float y)
{
    const glm::vec4 c = p * glm::vec4(x, y, 0.0f, 1.0f);
    return glm::vec2(c) / c.w;
}

} // namespace

TEST(SphereMesh, CountsPerLevel)
{
    std::vector<glm::vec3> v;
    EXPECT_EQ(BuildSphereMesh(0, v), 60);
    EXPECT_EQ(BuildSphereMesh(1, v), 160);
    EXPECT_EQ(BuildSphereMesh(2, v), 480);
    EXPECT_EQ(v.size(), 480u);
    for (const glm::vec3 &p : v)
        EXPECT_NEAR(glm::length(p), 1.0f, 1e-6f);
    // Rebuilding at a lower level shortens the array, at a higher one lengthens it.
    EXPECT_EQ(BuildSphereMesh(0, v), 60);
    EXPECT_EQ(v.size(), 60u);
    EXPECT_EQ(BuildSphereMesh(1, v), 160);
    EXPECT_EQ(v.size(), 160u);
}

TEST(SphereMesh, LevelZeroIsTheIcosahedronInTableOrder)
{
    std::vector<glm::vec3> v;
    BuildSphereMesh(0, v);
    ExpectNear(v[0], T);
    ExpectNear(v[1], U234);
    ExpectNear(v[2], U306);
    ExpectNear(v[57], L342);
    ExpectNear(v[58], L270);
    ExpectNear(v[59], B);
    std::set<std::tuple<int, int, int>> corners;
    for (const glm::vec3 &p : v)
        corners.emplace(std::lround(p.x * 1e4f), std::lround(p.y * 1e4f), std::lround(p.z * 1e4f));
    EXPECT_EQ(corners.size(), 12u);
}

TEST(SphereMesh, LevelOneZigZagsFromTheApex)
{
    // First face (T, U234, U306), apex U234: row 0 is a, b, c; row 1 is a, b, a', b', c.
    std::vector<glm::vec3> v;
    BuildSphereMesh(1, v);
    const glm::vec3 expected[8] = {Mid(U234, T), U234, Mid(U234, U306), T,
                                   Mid(U234, T), Mid(T, U306), Mid(U234, U306), U306};
    for (int k = 0; k < 8; k++) {
        SCOPED_TRACE(k);
        ExpectNear(v[k], expected[k]);
    }
}

TEST(TubeMesh, ZigZagsBetweenTheRimsOneStepPastAFullTurn)
{
    std::vector<glm::vec3> v;
    EXPECT_EQ(BuildTubeMesh(5, v), 20);
    EXPECT_EQ(BuildTubeMesh(0, v), 20);
    EXPECT_EQ(v.size(), 20u);
    const double step = 6.2831855 / 18.0;
    for (int k = 0; k < 20; k++) {
        SCOPED_TRACE(k);
        ExpectNear(v[k], glm::vec3(std::cos(k * step), std::sin(k * step), k % 2 == 0 ? -1.0f : 1.0f));
    }
    ExpectNear(v[0], glm::vec3(1, 0, -1));
    EXPECT_NEAR(std::atan2(v[19].y, v[19].x), 2.0 * M_PI * 19.0 / 18.0 - 2.0 * M_PI, 1e-6);
    EXPECT_EQ(BuildTubeMesh(36, v), 36);
    EXPECT_EQ(v.size(), 36u);
}

TEST(ArrowMesh, ShaftAndConeHead)
{
    std::vector<glm::vec3> shaft, head;
    EXPECT_EQ(BuildArrowMesh(0, shaft, head), 20);
    ASSERT_EQ(shaft.size(), 20u);
    ASSERT_EQ(head.size(), 20u);
    const double step = 6.2831855 / 18.0;
    for (int k = 0; k < 20; k++) {
        SCOPED_TRACE(k);
        ExpectNear(shaft[k], glm::vec3(std::cos(k * step), std::sin(k * step), k % 2 == 0 ? 0.0f : 1.0f));
        if (k > 0)
            ExpectNear(head[k], glm::vec3(2 * std::cos(k * step), 2 * std::sin(k * step), 1.0f));
    }
    ExpectNear(head[0], glm::vec3(0, 0, 1.2f));
}

TEST(CellBoxMesh, RunsAlongEveryEdgeOfTheCell)
{
    const glm::dvec3 a(4, 0, 0), b(1, 5, 0), c(0.5, 0.5, 6);
    const glm::dmat3 cell(a, b, c);
    std::vector<glm::vec3> v(3);
    BuildCellBoxMesh(cell, v);
    ASSERT_EQ(v.size(), 16u);
    ExpectNear(v[0], glm::vec3(-(a + b + c) * 0.5));
    ExpectNear(v[15], glm::vec3((a + b + c) * 0.5));
    // Each step of the strip is one cell vector; together they cover the twelve edges.
    std::set<std::pair<std::tuple<long, long, long>, std::tuple<long, long, long>>> edges;
    auto key = [](const glm::vec3 &p) { return std::make_tuple(std::lround(p.x * 100), std::lround(p.y * 100), std::lround(p.z * 100)); };
    for (int k = 1; k < 16; k++) {
        const glm::dvec3 d = glm::dvec3(v[k] - v[k - 1]);
        const double la = glm::length(glm::cross(d, a)), lb = glm::length(glm::cross(d, b)), lc = glm::length(glm::cross(d, c));
        EXPECT_TRUE(la < 1e-5 || lb < 1e-5 || lc < 1e-5) << "step " << k;
        edges.emplace(std::min(key(v[k]), key(v[k - 1])), std::max(key(v[k]), key(v[k - 1])));
    }
    EXPECT_EQ(edges.size(), 12u);

    BuildCellBoxMesh(glm::dmat3(0.0), v);
    for (const glm::vec3 &p : v)
        ExpectNear(p, glm::vec3(0.0f));
}

TEST(BondOrientation, TurnsTheTubeAxisIntoTheBondDirection)
{
    const float angles[][2] = {{0, 0}, {0, 1.5707964f}, {-1.5707964f, 1.5707964f}, {0.7f, 2.1f}, {3.0f, 3.1415927f}};
    for (const auto &a : angles) {
        const glm::vec3 axis = glm::vec3(BondRotation(glm::vec2(a[0], a[1])) * glm::vec4(0, 0, 1, 0));
        ExpectNear(axis, glm::vec3(std::cos(a[0]) * std::sin(a[1]), std::sin(a[0]) * std::sin(a[1]), std::cos(a[1])));
    }
}

TEST(BondOrientation, TubesOfDetectedBondsJoinTheAtomCentres)
{
    // Bonds in all octants and along the axes, as bond detection records them.
    Atoms atoms;
    atoms.Add(C_INDEX, {0, 0, 0});
    const glm::dvec3 dirs[] = {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {-1, 1, 1}, {1, -1, -1}, {-1, -1, 0.5}};
    for (const glm::dvec3 &d : dirs)
        atoms.Add(H_INDEX, glm::normalize(d) * 1.1);
    CModel m;
    LoadAtoms(m, atoms);
    ASSERT_GE(m.i_number_of_bonds, 7u);
    m.EvalBondRecords();
    for (uint32_t k = 0; k < m.i_number_of_bonds; k++) {
        SCOPED_TRACE(k);
        const glm::mat4 r = BondRotation(m.m_bond_ang[k]);
        const glm::vec3 half = glm::vec3(r * glm::vec4(0, 0, 0.5f * m.v_bond_length[k], 0));
        const glm::vec3 ends[2] = {m.v_float_raw_xyz[m.m_bond_indices[k].x], m.v_float_raw_xyz[m.m_bond_indices[k].y]};
        const bool forward = glm::length(m.m_bond_xyz[k] + half - ends[1]) < 1e-4f;
        const bool backward = glm::length(m.m_bond_xyz[k] + half - ends[0]) < 1e-4f;
        EXPECT_TRUE(forward || backward);
        ExpectNear(m.m_bond_xyz[k] - half, forward ? ends[0] : ends[1], 1e-4f);
    }
}

const CDepthRange SCENE_DEPTH = {-6.0f, 14.0f};
const CDepthRange GIZMO_DEPTH = {3.0f, 5.0f};

TEST(SceneProjection, LongerSideSpansTwiceTheHalfExtent)
{
    const float b = 10.0f;
    const CViewProjection land = SceneProjection(b, glm::vec2(0.0f), 1280, 720, SCENE_DEPTH, GIZMO_DEPTH);
    EXPECT_NEAR(Ndc(land.scene, b, 0).x, 1.0f, 1e-6f);
    EXPECT_NEAR(Ndc(land.scene, 0, b * 720.0f / 1280.0f).y, 1.0f, 1e-6f);

    const CViewProjection port = SceneProjection(b, glm::vec2(0.0f), 720, 1280, SCENE_DEPTH, GIZMO_DEPTH);
    EXPECT_NEAR(Ndc(port.scene, b * 720.0f / 1280.0f, 0).x, 1.0f, 1e-6f);
    EXPECT_NEAR(Ndc(port.scene, 0, b).y, 1.0f, 1e-6f);

    const CViewProjection square = SceneProjection(b, glm::vec2(0.0f), 600, 600, SCENE_DEPTH, GIZMO_DEPTH);
    EXPECT_NEAR(Ndc(square.scene, b, b).x, 1.0f, 1e-6f);
    EXPECT_NEAR(Ndc(square.scene, b, b).y, 1.0f, 1e-6f);

    // Depth: each volume runs between its own planes, whatever the half-extent.
    EXPECT_NEAR((land.scene * glm::vec4(0, 0, 6, 1)).z, -1.0f, 1e-6f);
    EXPECT_NEAR((land.scene * glm::vec4(0, 0, -14, 1)).z, 1.0f, 1e-6f);
    EXPECT_NEAR((land.fixed * glm::vec4(0, 0, -3, 1)).z, -1.0f, 1e-6f);
    EXPECT_NEAR((land.fixed * glm::vec4(0, 0, -5, 1)).z, 1.0f, 1e-6f);
}

TEST(SceneProjection, OffsetPansTheSceneButNotTheGizmo)
{
    const float b = 8.0f;
    const glm::vec2 offset(2.0f, -3.0f);
    for (const auto &size : {glm::ivec2(1280, 720), glm::ivec2(720, 1280)}) {
        SCOPED_TRACE(size.x);
        const CViewProjection still = SceneProjection(b, glm::vec2(0.0f), size.x, size.y, SCENE_DEPTH, SCENE_DEPTH);
        const CViewProjection moved = SceneProjection(b, offset, size.x, size.y, SCENE_DEPTH, SCENE_DEPTH);
        const glm::vec2 shift = Ndc(moved.scene, 1.5f, 0.5f) - Ndc(still.scene, 1.5f, 0.5f);
        EXPECT_NEAR(shift.x, offset.x / b, 1e-6f);
        EXPECT_NEAR(shift.y, offset.y / b, 1e-6f);
        EXPECT_EQ(moved.fixed, still.fixed);
        EXPECT_EQ(still.fixed, still.scene);
    }
}
