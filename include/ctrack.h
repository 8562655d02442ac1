#ifndef CTRACK_H
#define CTRACK_H

#include <cstdint>
#include <glm/glm.hpp>

// Virtual trackball and the fixed camera. A drag maps its start and current pointer positions onto
// a sphere over the viewport and rotates about the axis perpendicular to both; the rotation of the
// drag in progress (rot_matrix) is folded into the committed orientation (last_rotation) on release.
class CTrack {
public:
    CTrack();

    bool tracking = false;
    bool animate = false;
    float width = 0.0f;
    float height = 0.0f;
    uint32_t lasttime = 0;
    int button = 0;
    float angle = 0.0f;
    glm::mat4 Projection{1.0f};
    glm::mat4 Model{1.0f};
    glm::mat4 Rot{1.0f};
    glm::mat4 View{1.0f};
    glm::mat4 mvp{1.0f};
    glm::vec3 axis{1.0f};
    glm::vec3 current_position{0.0f};
    glm::vec3 last_position{1.0f, 0.0f, 0.0f};
    glm::mat4 transform{1.0f};
    glm::mat4 rot_matrix{1.0f};
    glm::mat4 last_rotation{1.0f};

    void SetInitialView();
    void SetInitialViewZ();
    // Preset view: last_rotation = Rx(x) * Rz(y).
    void SetInitialViewX(float x, float y);
    void SetViewSize(int w, int h);
    // Pointer position in pixels to a unit vector on the trackball sphere.
    void PointToVector(float x, float y, glm::vec3 &v) const;
    void SetLastVector(float x, float y);
    void SetTrackMotion(float x, float y);
    void SetRotationMatrix();
    void SetLastRotation();

private:
    void ResetDrag();
};

#endif
