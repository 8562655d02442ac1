#include "ctrack.h"

#include <cmath>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>

namespace {

const glm::mat4 IDENTITY(1.0f);
const glm::vec3 X_AXIS(1.0f, 0.0f, 0.0f);
const glm::vec3 Z_AXIS(0.0f, 0.0f, 1.0f);
// pi/2 rounded to single precision, widened: the sphere height uses this exact value.
const double HALF_PI = glm::half_pi<float>();
const float START_X = -1.4f;
const float START_Z = -1.8f;

} // namespace

CTrack::CTrack()
{
    SetInitialView();
    View = glm::lookAt(glm::vec3(0.0f, 0.0f, 4.0f), glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
}

void CTrack::ResetDrag()
{
    angle = 0.0f;
    Rot = IDENTITY;
    Model = IDENTITY;
    rot_matrix = IDENTITY;
    axis = glm::vec3(1.0f);
    current_position = glm::vec3(0.0f);
    last_position = X_AXIS;
}

void CTrack::SetInitialView()
{
    ResetDrag();
    last_rotation = glm::rotate(IDENTITY, START_X, X_AXIS) * glm::rotate(IDENTITY, START_Z, Z_AXIS);
}

void CTrack::SetInitialViewZ()
{
    ResetDrag();
    last_rotation = IDENTITY;
}

void CTrack::SetInitialViewX(float x, float y)
{
    ResetDrag();
    last_rotation = glm::rotate(IDENTITY, x, X_AXIS) * glm::rotate(IDENTITY, y, Z_AXIS);
    SetRotationMatrix();
}

void CTrack::SetViewSize(int w, int h)
{
    width = static_cast<float>(w);
    height = static_cast<float>(h);
}

void CTrack::PointToVector(float x, float y, glm::vec3 &v) const
{
    // Before the first frame has told us the viewport, every pointer maps to the sphere's pole,
    // which makes any drag a null rotation instead of a division by zero.
    if (!(width > 0.0f) || !(height > 0.0f)) {
        v = Z_AXIS;
        return;
    }
    const double w = width;
    const double h = height;
    v.x = static_cast<float>((2.0 * x - w) / w);
    v.y = static_cast<float>((h - 2.0 * y) / h);
    const float d = std::sqrt(v.x * v.x + v.y * v.y);
    v.z = d < 1.0f ? static_cast<float>(std::cos(d * HALF_PI)) : std::cos(static_cast<float>(HALF_PI));
    v /= std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

void CTrack::SetLastVector(float x, float y) { PointToVector(x, y, last_position); }

void CTrack::SetTrackMotion(float x, float y)
{
    PointToVector(x, y, current_position);
    angle = glm::length(current_position - last_position);
    axis = glm::cross(last_position, current_position);
    SetRotationMatrix();
}

void CTrack::SetRotationMatrix()
{
    // glm::rotate normalises the axis; a zero axis (pointer back on its start point or on the
    // opposite one) would fill the orientation with NaN for good, so it counts as no rotation.
    const float n2 = glm::dot(axis, axis);
    const bool valid = n2 > 0.0f && std::isfinite(n2) && std::isfinite(angle);
    rot_matrix = valid ? glm::rotate(IDENTITY, angle, axis) : IDENTITY;
    Model = rot_matrix * last_rotation;
}

void CTrack::SetLastRotation() { last_rotation = rot_matrix * last_rotation; }
