#include <gtest/gtest.h>

#include <cmath>

#include "piegeometry.h"

namespace {

// The GUI library's default item inner spacing.
constexpr float SPACING = 4.0f;

glm::vec2 AtDegrees(float degrees, float radius)
{
    const float a = degrees * 3.14159265f / 180.0f;
    return radius * glm::vec2(std::cos(a), std::sin(a));
}

int HoveredAt(float degrees, float radius, int items = 6)
{
    return PieGeometry::HoveredItem(AtDegrees(degrees, radius), items, SPACING);
}

}  // namespace

TEST(PieHover, SixItemsRunClockwiseFromTheRight)
{
    EXPECT_EQ(HoveredAt(0.0f, 50.0f), 0);
    EXPECT_EQ(HoveredAt(60.0f, 50.0f), 1);   // screen y points down: below-right
    EXPECT_EQ(HoveredAt(120.0f, 50.0f), 2);
    EXPECT_EQ(HoveredAt(180.0f, 50.0f), 3);  // left
    EXPECT_EQ(HoveredAt(-120.0f, 50.0f), 4);
    EXPECT_EQ(HoveredAt(-60.0f, 50.0f), 5);  // up-right
    EXPECT_EQ(HoveredAt(-25.0f, 50.0f), 0);  // item 0 straddles angle 0
    EXPECT_EQ(HoveredAt(25.0f, 50.0f), 0);
}

TEST(PieHover, DeadZoneAndGapsHoverNothing)
{
    EXPECT_EQ(HoveredAt(0.0f, 19.9f), -1);
    EXPECT_EQ(PieGeometry::HoveredItem(glm::vec2(20.0f, 0.0f), 6, SPACING), 0);
    EXPECT_EQ(PieGeometry::HoveredItem(glm::vec2(0.0f, 0.0f), 6, SPACING), -1);
    // Segment borders lie at odd multiples of 30 degrees; the spacing leaves a gap there.
    EXPECT_EQ(HoveredAt(30.0f, 50.0f), -1);
    EXPECT_EQ(HoveredAt(-30.0f, 50.0f), -1);
    EXPECT_EQ(HoveredAt(150.0f, 50.0f), -1);
}

TEST(PieHover, HasNoOuterLimit)
{
    EXPECT_EQ(HoveredAt(0.0f, 500.0f), 0);
    EXPECT_EQ(HoveredAt(180.0f, 2000.0f), 3);
}

TEST(PieHover, FewerItemsKeepSixPositionsMoreItemsShrinkThem)
{
    EXPECT_EQ(HoveredAt(120.0f, 50.0f, 3), 2);
    EXPECT_EQ(HoveredAt(180.0f, 50.0f, 3), -1);
    EXPECT_EQ(HoveredAt(-60.0f, 50.0f, 3), -1);
    EXPECT_EQ(HoveredAt(0.0f, 50.0f, 0), -1);
    EXPECT_EQ(HoveredAt(90.0f, 50.0f, 8), 2);
    EXPECT_EQ(HoveredAt(-45.0f, 50.0f, 8), 7);
}

TEST(PieClick, OnlyInsideTheOuterRadiusChooses)
{
    EXPECT_TRUE(PieGeometry::IsClickInside(glm::vec2(119.9f, 0.0f)));
    EXPECT_TRUE(PieGeometry::IsClickInside(glm::vec2(0.0f, 0.0f)));
    EXPECT_FALSE(PieGeometry::IsClickInside(glm::vec2(120.0f, 0.0f)));
    EXPECT_FALSE(PieGeometry::IsClickInside(glm::vec2(0.0f, -121.0f)));
    EXPECT_FALSE(PieGeometry::IsClickInside(glm::vec2(90.0f, 90.0f)));
}

TEST(PieLayout, ArcsLabelsAndSegments)
{
    const float span = PieGeometry::ItemArcSpan(6);
    EXPECT_FLOAT_EQ(span, 6.28318530718f / 6.0f);
    EXPECT_FLOAT_EQ(PieGeometry::ItemArcSpan(2), span);
    EXPECT_EQ(PieGeometry::ArcSegments(span), 6);

    const PieItemArc arc = PieGeometry::ItemArc(0, span, SPACING);
    EXPECT_FLOAT_EQ(arc.inner_min, -arc.inner_max);
    // The outer arc is wider in angle so that the gap keeps its pixel width.
    EXPECT_NEAR((0.5f * span - arc.outer_max) * RADIUS_MAX, (0.5f * span - arc.inner_max) * RADIUS_MIN, 1e-4f);
    EXPECT_LT(arc.outer_min, arc.inner_min);

    const glm::vec2 label0 = PieGeometry::LabelOffset(arc);
    EXPECT_NEAR(label0.x, 75.0f, 1e-4f);
    EXPECT_NEAR(label0.y, 0.0f, 1e-4f);
    const glm::vec2 label3 = PieGeometry::LabelOffset(PieGeometry::ItemArc(3, span, SPACING));
    EXPECT_NEAR(label3.x, -75.0f, 1e-3f);
    EXPECT_NEAR(label3.y, 0.0f, 1e-3f);
}

TEST(PieLayout, PointerAngleWrapsBelowHalfASegment)
{
    const float span = PieGeometry::ItemArcSpan(6);
    EXPECT_NEAR(PieGeometry::PointerAngle(AtDegrees(-29.0f, 1.0f), span), -29.0f * 3.14159265f / 180.0f, 1e-5f);
    EXPECT_NEAR(PieGeometry::PointerAngle(AtDegrees(-31.0f, 1.0f), span), 329.0f * 3.14159265f / 180.0f, 1e-5f);
}

TEST(PieAtomLabel, ShowsTheWholeAtomNumber)
{
    EXPECT_EQ(PieGeometry::AtomItemLabel(true, "C", 123), "C-123");
    EXPECT_EQ(PieGeometry::AtomItemLabel(true, "Fe", 1234567), "Fe-1234567");
    EXPECT_EQ(PieGeometry::AtomItemLabel(true, "H", 0), "H-0");
    EXPECT_EQ(PieGeometry::AtomItemLabel(false, "C", 123), "-");
}
