#ifndef CVIEW_H
#define CVIEW_H

#include <glm/glm.hpp>

// Orthographic projections of one frame. The longer side of a w x h framebuffer spans 2B world
// units, the shorter one 2B times the aspect factor; depth spans -10B..10B.
struct CViewProjection {
    glm::mat4 scene;   // with the pan offset (world units) applied
    glm::mat4 fixed;   // the same volume without panning, for the axes gizmo
};

CViewProjection SceneProjection(float half_extent, const glm::vec2 &offset, int w, int h);

#endif
