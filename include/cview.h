#ifndef CVIEW_H
#define CVIEW_H

#include <vector>
#include <glm/glm.hpp>

// The visible depth of an orthographic volume, as distances from the camera along its view
// direction (the near plane may lie behind the camera).
struct CDepthRange {
    float near_plane;
    float far_plane;
};

// Orthographic projections of one frame. The longer side of a w x h framebuffer spans 2B world
// units, the shorter one 2B times the aspect factor.
struct CViewProjection {
    glm::mat4 scene;   // with the pan offset (world units) applied
    glm::mat4 fixed;   // the same frame without panning and with its own depth, for the axes gizmo
};

CViewProjection SceneProjection(float half_extent, const glm::vec2 &offset, int w, int h, CDepthRange scene_depth,
                                CDepthRange fixed_depth);

// The depth that holds everything within `radius` of a point `distance` in front of the camera,
// whatever the zoom; never empty, so that a lone point still has depth to be drawn in.
CDepthRange EnclosingDepth(float distance, float radius);

// The half-extent B of SceneProjection that shows every point, taken about `centre`, turned by
// `rotation` and widened by `radius`, inside a w x h framebuffer centred on the origin, with
// `margin` (a fraction of B) to spare on the tighter side. 1 when there are no points.
float FitHalfExtent(const std::vector<glm::vec3> &points, float radius, const glm::mat3 &rotation, int w, int h,
                    float margin, const glm::vec3 &centre = glm::vec3(0.0f));

// Grows [low, high] to hold every point turned by `rotation`.
void GrowTurnedExtent(const std::vector<glm::vec3> &points, const glm::mat3 &rotation, glm::vec3 &low, glm::vec3 &high);
// The point (before the turn) that the middle of a turned extent [low, high] came from; the origin
// for an empty extent (low above high).
glm::vec3 TurnedExtentCentre(const glm::mat3 &rotation, const glm::vec3 &low, const glm::vec3 &high);

// Where the point p is drawn with `mvp` (projection x view x model) in a view of `size` pixels,
// origin at the top left.
glm::vec2 WindowPoint(const glm::mat4 &mvp, const glm::vec3 &p, glm::vec2 size);

// The distance of the farthest point from the origin; 0 for none.
float Reach(const std::vector<glm::vec3> &points);

#endif
