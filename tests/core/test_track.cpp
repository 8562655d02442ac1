#include <gtest/gtest.h>

#include <cmath>
#include <glm/gtc/matrix_transform.hpp>

#include "ctrack.h"

namespace {

const float HALF_PI = 1.5707964f;

glm::mat4 Rx(float a) { return glm::rotate(glm::mat4(1.0f), a, glm::vec3(1, 0, 0)); }
glm::mat4 Rz(float a) { return glm::rotate(glm::mat4(1.0f), a, glm::vec3(0, 0, 1)); }

void ExpectNear(const glm::vec3 &a, const glm::vec3 &b, float tol = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void ExpectNear(const glm::mat4 &a, const glm::mat4 &b, float tol = 1e-5f)
{
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++)
            EXPECT_NEAR(a[c][r], b[c][r], tol) << "column " << c << " row " << r;
}

bool AllFinite(const glm::mat4 &m)
{
    for (int c = 0; c < 4; c++)
        for (int r = 0; r < 4; r++)
            if (!std::isfinite(m[c][r]))
                return false;
    return true;
}

glm::vec3 Apply(const glm::mat4 &m, const glm::vec3 &v) { return glm::vec3(m * glm::vec4(v, 0.0f)); }

// A trackball as its owner has it before the first drag: start-up orientation in Model, and the
// viewport size the scene was last drawn with (0 x 0 before the first frame).
CTrack OwnedTrack(int w, int h)
{
    CTrack t;
    t.SetViewSize(w, h);
    t.SetRotationMatrix();
    return t;
}

// Orientation reset without rotation, drag state back to its rest values.
void ExpectRestingDrag(const CTrack &t)
{
    EXPECT_EQ(t.rot_matrix, glm::mat4(1.0f));
    EXPECT_EQ(t.Rot, glm::mat4(1.0f));
    EXPECT_EQ(t.angle, 0.0f);
    EXPECT_EQ(t.axis, glm::vec3(1.0f));
    EXPECT_EQ(t.current_position, glm::vec3(0.0f));
    EXPECT_EQ(t.last_position, glm::vec3(1.0f, 0.0f, 0.0f));
}

} // namespace

TEST(Trackball, StartsInTheStartUpOrientationWithTheCameraOnPlusZ)
{
    CTrack t;
    ExpectRestingDrag(t);
    EXPECT_EQ(t.Model, glm::mat4(1.0f)) << "the owner's first SetRotationMatrix sets it";
    t.SetRotationMatrix();
    ExpectNear(t.Model, Rx(-1.4f) * Rz(-1.8f));
    ExpectNear(t.last_rotation, Rx(-1.4f) * Rz(-1.8f));
    // The camera at (0, 0, 4) looking at the origin: the origin lands 4 units in front of it.
    ExpectNear(glm::vec3(t.View * glm::vec4(0, 0, 0, 1)), glm::vec3(0, 0, -4));
    ExpectNear(Apply(t.View, glm::vec3(0, 1, 0)), glm::vec3(0, 1, 0));
}

TEST(Trackball, PresetsReplaceTheOrientation)
{
    CTrack t;
    t.SetInitialViewX(0.0f, HALF_PI); // "XY"
    ExpectNear(t.Model, Rz(HALF_PI));
    ExpectNear(Apply(t.Model, glm::vec3(1, 0, 0)), glm::vec3(0, 1, 0));

    t.SetInitialViewX(HALF_PI, 0.0f); // "ZX"
    ExpectNear(t.Model, Rx(HALF_PI));
    ExpectNear(Apply(t.Model, glm::vec3(0, 1, 0)), glm::vec3(0, 0, 1));

    t.SetInitialViewX(HALF_PI, HALF_PI); // "YZ": x points at the viewer
    ExpectNear(t.Model, Rx(HALF_PI) * Rz(HALF_PI));
    ExpectNear(Apply(t.Model, glm::vec3(1, 0, 0)), glm::vec3(0, 0, 1));

    t.SetInitialViewX(-1.4f, -1.8f);
    ExpectNear(t.Model, Rx(-1.4f) * Rz(-1.8f));

    t.SetInitialViewZ();
    EXPECT_EQ(t.last_rotation, glm::mat4(1.0f));
    EXPECT_EQ(t.Model, glm::mat4(1.0f));
}

TEST(Trackball, PresetDiscardsADragInProgress)
{
    CTrack t;
    t.SetViewSize(800, 600);
    t.SetLastVector(400, 300);
    t.SetTrackMotion(700, 100);
    t.SetInitialViewX(0.0f, HALF_PI);
    ExpectRestingDrag(t);
    ExpectNear(t.Model, Rz(HALF_PI));
}

TEST(Trackball, PointerMapsOntoTheSphere)
{
    CTrack t;
    t.SetViewSize(800, 600);
    glm::vec3 v;
    t.PointToVector(400, 300, v);
    ExpectNear(v, glm::vec3(0, 0, 1));

    // Halfway to the right edge: height cos(pi/4), not sqrt(1 - 0.25), then normalised.
    t.PointToVector(600, 300, v);
    const glm::vec3 raw(0.5f, 0.0f, std::cos(0.25 * M_PI));
    ExpectNear(v, raw / glm::length(raw));

    // Up is +y although pixel rows grow downwards.
    t.PointToVector(400, 0, v);
    ExpectNear(v, glm::vec3(0, 1, 0), 1e-6f);

    // Outside the viewport: still a unit vector, on the equator.
    t.PointToVector(2000, -700, v);
    EXPECT_NEAR(glm::length(v), 1.0f, 1e-6f);
    EXPECT_NEAR(v.z, 0.0f, 1e-6f);
    EXPECT_GT(v.x, 0.0f);
    EXPECT_GT(v.y, 0.0f);
}

TEST(Trackball, CentreToRightEdgeTurnsAboutTheVerticalAxis)
{
    CTrack t = OwnedTrack(1280, 720);
    const glm::mat4 start = t.Model;
    t.SetLastVector(640, 360);
    ExpectNear(t.last_position, glm::vec3(0, 0, 1));
    EXPECT_EQ(t.Model, start) << "a press alone does not turn the view";

    t.SetTrackMotion(1280, 360);
    ExpectNear(t.current_position, glm::vec3(1, 0, 0));
    EXPECT_NEAR(t.angle, std::sqrt(2.0f), 1e-6f);
    ExpectNear(glm::normalize(t.axis), glm::vec3(0, 1, 0));
    const glm::mat4 turn = glm::rotate(glm::mat4(1.0f), std::sqrt(2.0f), glm::vec3(0, 1, 0));
    ExpectNear(t.Model, turn * start);
}

TEST(Trackball, DragIsMeasuredFromItsStartAndCommittedOnRelease)
{
    CTrack t = OwnedTrack(800, 600);
    t.SetLastVector(400, 300);
    t.SetTrackMotion(500, 250);
    t.SetTrackMotion(600, 200);
    const glm::mat4 two_steps = t.Model;
    CTrack once = OwnedTrack(800, 600);
    once.SetLastVector(400, 300);
    once.SetTrackMotion(600, 200);
    ExpectNear(two_steps, once.Model);

    t.SetLastRotation();
    ExpectNear(t.last_rotation, two_steps);
    ExpectNear(t.Model, two_steps);
    // A second drag starts from the committed orientation.
    t.SetLastVector(400, 300);
    t.SetTrackMotion(300, 300);
    ExpectNear(t.Model, t.rot_matrix * two_steps);
}

TEST(Trackball, ZeroAxisKeepsTheOrientationValid)
{
    CTrack t = OwnedTrack(800, 600);
    const glm::mat4 start = t.Model;
    // Pointer back on the press point: no axis to turn about.
    t.SetLastVector(123, 456);
    t.SetTrackMotion(123, 456);
    EXPECT_TRUE(AllFinite(t.Model));
    ExpectNear(t.Model, start);
    t.SetLastRotation();
    EXPECT_TRUE(AllFinite(t.last_rotation));
    ExpectNear(t.last_rotation, start);

    // A zero axis set from outside is treated the same way.
    t.axis = glm::vec3(0.0f);
    t.angle = 1.0f;
    t.SetRotationMatrix();
    ExpectNear(t.Model, start);
}

TEST(Trackball, DragBeforeTheViewportIsKnownDoesNothing)
{
    CTrack t = OwnedTrack(0, 0);
    const glm::mat4 start = t.Model;
    t.SetLastVector(10, 10);
    t.SetTrackMotion(300, 200);
    t.SetLastRotation();
    EXPECT_TRUE(AllFinite(t.Model));
    ExpectNear(t.Model, start);
    ExpectNear(t.last_rotation, start);
}
