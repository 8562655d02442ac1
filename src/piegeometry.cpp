#include "piegeometry.h"

#include <glm/gtc/constants.hpp>

#include <algorithm>
#include <cmath>

namespace PieGeometry {

float ItemArcSpan(int items_count)
{
    return glm::two_pi<float>() / static_cast<float>(std::max(ITEMS_MIN, items_count));
}

float PointerAngle(const glm::vec2 &delta, float item_arc_span)
{
    float angle = std::atan2(delta.y, delta.x);
    if (angle < -0.5f * item_arc_span) {
        angle += glm::two_pi<float>();
    }
    return angle;
}

PieItemArc ItemArc(int item_n, float item_arc_span, float item_inner_spacing)
{
    const float spacing = item_inner_spacing / RADIUS_MIN / 2.0f;
    const float n = static_cast<float>(item_n);
    const float outer_scale = RADIUS_MIN / RADIUS_MAX;
    PieItemArc arc;
    arc.inner_min = item_arc_span * (n - 0.5f + spacing);
    arc.inner_max = item_arc_span * (n + 0.5f - spacing);
    arc.outer_min = item_arc_span * (n - 0.5f + spacing * outer_scale);
    arc.outer_max = item_arc_span * (n + 0.5f - spacing * outer_scale);
    return arc;
}

int HoveredItem(const glm::vec2 &delta, int items_count, float item_inner_spacing)
{
    if (glm::dot(delta, delta) < RADIUS_INTERACT_MIN * RADIUS_INTERACT_MIN) {
        return -1;
    }
    const float span = ItemArcSpan(items_count);
    const float angle = PointerAngle(delta, span);
    int hovered = -1;
    for (int item_n = 0; item_n < items_count; ++item_n) {
        const PieItemArc arc = ItemArc(item_n, span, item_inner_spacing);
        if (angle >= arc.inner_min && angle < arc.inner_max) {
            hovered = item_n;
        }
    }
    return hovered;
}

bool IsClickInside(const glm::vec2 &delta)
{
    return glm::dot(delta, delta) < RADIUS_MAX * RADIUS_MAX;
}

int ArcSegments(float item_arc_span)
{
    return static_cast<int>(32.0f * item_arc_span / glm::two_pi<float>()) + 1;
}

glm::vec2 LabelOffset(const PieItemArc &arc)
{
    const float mid = (arc.inner_min + arc.inner_max) * 0.5f;
    return PIE_LABEL_RADIUS * glm::vec2(std::cos(mid), std::sin(mid));
}

std::string AtomItemLabel(bool is_atom_selected, const std::string &selected_symbol,
                          uint32_t selected_atom)
{
    if (!is_atom_selected) {
        return "-";
    }
    return selected_symbol + "-" + std::to_string(selected_atom);
}

}  // namespace PieGeometry
