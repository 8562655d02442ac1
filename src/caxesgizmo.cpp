#include "caxesgizmo.h"

#include <algorithm>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "cmesh.h"
#include "glhelpers.h"

namespace {

// The arrows reach 2.5 units of fix_side from the origin; the depth shift stays short of the clip
// planes.
const float GIZMO_REACH = 2.5f;
const float GIZMO_MAX_SHIFT = 0.7f;
const float HALF_PI = glm::half_pi<float>();

// The gizmo arrows: the rotation that turns the arrow's +z into the axis, and the axis colour.
struct GizmoAxis {
    glm::vec3 about;
    float angle;
    glm::vec3 color;
};
const GizmoAxis GIZMO_AXES[3] = {
    {{0.0f, 1.0f, 0.0f}, HALF_PI, {0.9f, 0.0f, 0.0f}},
    {{1.0f, 0.0f, 0.0f}, -HALF_PI, {0.0f, 0.9f, 0.0f}},
    {{0.0f, 0.0f, 1.0f}, HALF_PI, {0.0f, 0.0f, 0.9f}},
};

// Locations of the per-object uniforms of the gizmo program, looked up once per pass.
struct ObjectUniforms {
    GLint mvp, m, v, s, c;
};

ObjectUniforms FindObjectUniforms(GLuint program)
{
    return {Uniform(program, "MVP"), Uniform(program, "M"), Uniform(program, "V"), Uniform(program, "S"),
            Uniform(program, "C")};
}

} // namespace

void CAxesGizmo::Build(unsigned int res)
{
    arrow_vertex = BuildArrowMesh(res, v_arrow, v_cone);
    UploadMesh(VAOA, VBOA, v_arrow);
    UploadMesh(VAOT, VBOT, v_cone);
}

void CAxesGizmo::Release()
{
    ReleaseVertexArray(VAOA, VBOA);
    ReleaseVertexArray(VAOT, VBOT);
}

glm::vec3 CAxesGizmo::Shift(const SPlace &place)
{
    const float reach = GIZMO_REACH * place.fix_side;
    const glm::vec2 room =
        glm::max(glm::vec2(1.0f) - reach * glm::vec2(place.fix_view[0][0], place.fix_view[1][1]), glm::vec2(0.0f));
    return glm::vec3(glm::clamp(glm::vec2(place.position), -room, room),
                     std::clamp(place.position.z, -GIZMO_MAX_SHIFT, GIZMO_MAX_SHIFT));
}

void CAxesGizmo::Draw(GLuint program, const SPlace &place) const
{
    DrawPart(program, VAOA, GL_TRIANGLE_STRIP, place);
    DrawPart(program, VAOT, GL_TRIANGLE_FAN, place);
    glBindVertexArray(0);
}

// One part (shafts or heads) of the three arrows. The fixed projection has no pan, and the arrow
// size follows fix_side like it does, so the gizmo keeps its size on screen.
void CAxesGizmo::DrawPart(GLuint program, GLuint vao, GLenum mode, const SPlace &place) const
{
    RebindVertexArray(vao);
    const ObjectUniforms u = FindObjectUniforms(program);
    SetMatrix(u.v, place.view);
    const double side = place.fix_side;
    SetVector(u.s, glm::vec3(0.1 * side, 0.1 * side, 2.0 * side));
    SetVector(Uniform(program, "P"), Shift(place));
    for (const GizmoAxis &a : GIZMO_AXES) {
        const glm::mat4 m = place.model * glm::rotate(glm::mat4(1.0f), a.angle, a.about);
        SetMatrix(u.mvp, place.fix_view * place.view * m);
        SetMatrix(u.m, m);
        SetVector(u.c, a.color);
        glDrawArrays(mode, 0, arrow_vertex);
    }
}
