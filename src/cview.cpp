#include "cview.h"

#include <glm/gtc/matrix_transform.hpp>

CViewProjection SceneProjection(float half_extent, const glm::vec2 &offset, int w, int h)
{
    const float b = half_extent;
    const float ox = offset.x;
    const float oy = offset.y;
    const float near_plane = -10.0f * b;
    const float far_plane = 10.0f * b;
    CViewProjection p;
    if (w > h) {
        const float a = static_cast<float>(h) / static_cast<float>(w);
        p.scene = glm::ortho(-b - ox, b - ox, (-b - oy) * a, (b - oy) * a, near_plane, far_plane);
        p.fixed = glm::ortho(-b, b, -b * a, b * a, near_plane, far_plane);
    } else {
        const float a = static_cast<float>(w) / static_cast<float>(h);
        p.scene = glm::ortho((-b - ox) * a, (b - ox) * a, -b - oy, b - oy, near_plane, far_plane);
        p.fixed = glm::ortho(-b * a, b * a, -b, b, near_plane, far_plane);
    }
    return p;
}
