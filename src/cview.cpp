#include "cview.h"

#include <algorithm>
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>

namespace {

// Keeps a degenerate volume (a lone point) from having no depth at all.
const float MIN_DEPTH_RADIUS = 1e-3f;

// Width over height of the framebuffer's shorter side against its longer side, and which is longer.
float Aspect(int w, int h)
{
    return w > h ? static_cast<float>(h) / static_cast<float>(w) : static_cast<float>(w) / static_cast<float>(h);
}

} // namespace

CViewProjection SceneProjection(float half_extent, const glm::vec2 &offset, int w, int h, CDepthRange scene_depth,
                                CDepthRange fixed_depth)
{
    const float b = half_extent;
    const float ox = offset.x;
    const float oy = offset.y;
    const float a = Aspect(w, h);
    CViewProjection p;
    if (w > h) {
        p.scene = glm::ortho(-b - ox, b - ox, (-b - oy) * a, (b - oy) * a, scene_depth.near_plane, scene_depth.far_plane);
        p.fixed = glm::ortho(-b, b, -b * a, b * a, fixed_depth.near_plane, fixed_depth.far_plane);
    } else {
        p.scene = glm::ortho((-b - ox) * a, (b - ox) * a, -b - oy, b - oy, scene_depth.near_plane, scene_depth.far_plane);
        p.fixed = glm::ortho(-b * a, b * a, -b, b, fixed_depth.near_plane, fixed_depth.far_plane);
    }
    return p;
}

CDepthRange EnclosingDepth(float distance, float radius)
{
    const float r = std::max(radius, MIN_DEPTH_RADIUS);
    return {distance - r, distance + r};
}

float FitHalfExtent(const std::vector<glm::vec3> &points, float radius, const glm::mat3 &rotation, int w, int h,
                    float margin, const glm::vec3 &centre)
{
    if (points.empty() || w <= 0 || h <= 0)
        return 1.0f;
    glm::vec2 reach(0.0f);
    for (const glm::vec3 &p : points) {
        const glm::vec3 q = rotation * (p - centre);
        reach = glm::max(reach, glm::abs(glm::vec2(q)));
    }
    reach += glm::vec2(std::max(radius, 0.0f));
    // The longer side shows B, the shorter one B times the aspect factor.
    const float a = Aspect(w, h);
    const float b = w > h ? std::max(reach.x, reach.y / a) : std::max(reach.x / a, reach.y);
    return std::max(b, MIN_DEPTH_RADIUS) * (1.0f + margin);
}

void GrowTurnedExtent(const std::vector<glm::vec3> &points, const glm::mat3 &rotation, glm::vec3 &low, glm::vec3 &high)
{
    for (const glm::vec3 &p : points) {
        const glm::vec3 q = rotation * p;
        low = glm::min(low, q);
        high = glm::max(high, q);
    }
}

glm::vec3 TurnedExtentCentre(const glm::mat3 &rotation, const glm::vec3 &low, const glm::vec3 &high)
{
    if (low.x > high.x)
        return glm::vec3(0.0f);
    return glm::transpose(rotation) * ((low + high) * 0.5f);
}

glm::vec2 WindowPoint(const glm::mat4 &mvp, const glm::vec3 &p, glm::vec2 size)
{
    const glm::vec4 clip = mvp * glm::vec4(p, 1.0f);
    const glm::vec2 ndc = glm::vec2(clip) / clip.w;
    return glm::vec2((ndc.x + 1.0f) * 0.5f * size.x, (1.0f - ndc.y) * 0.5f * size.y);
}

float Reach(const std::vector<glm::vec3> &points)
{
    float r2 = 0.0f;
    for (const glm::vec3 &p : points)
        r2 = std::max(r2, glm::dot(p, p));
    return std::sqrt(r2);
}
