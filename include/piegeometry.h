#ifndef PIEGEOMETRY_H
#define PIEGEOMETRY_H

// Geometry of the radial (pie) menu, free of any GUI library so that it can be checked alone.
// Positions are relative to the ring's centre in screen pixels (y grows downwards), so angles
// grow clockwise on screen and item 0 is centred on the direction to the right.

#include <cstdint>
#include <string>
#include <glm/glm.hpp>

inline constexpr float RADIUS_MIN = 30.0f;
inline constexpr float RADIUS_MAX = 120.0f;
inline constexpr float RADIUS_INTERACT_MIN = 20.0f;
inline constexpr int ITEMS_MIN = 6;

// Radius at which the ring background is stroked and the labels are centred.
inline constexpr float PIE_LABEL_RADIUS = (RADIUS_MIN + RADIUS_MAX) * 0.5f;

// Angular extent of one item's segment; spacing leaves a gap of equal pixel width at both radii.
struct PieItemArc {
    float inner_min;
    float inner_max;
    float outer_min;
    float outer_max;
};

namespace PieGeometry {

float ItemArcSpan(int items_count);

// Angle of the pointer, shifted by a full turn below minus half a segment so that item 0
// straddles angle 0 without a wrap.
float PointerAngle(const glm::vec2 &delta, float item_arc_span);

PieItemArc ItemArc(int item_n, float item_arc_span, float item_inner_spacing);

// Item under the pointer, or -1 in the dead zone, in a gap or where no item is. There is no
// outer limit: a pointer far outside the ring still hovers the item in its direction.
int HoveredItem(const glm::vec2 &delta, int items_count, float item_inner_spacing);

// A click only chooses when it lands closer to the centre than the outer radius.
bool IsClickInside(const glm::vec2 &delta);

// Number of straight pieces for one segment's arcs.
int ArcSegments(float item_arc_span);

// Centre of an item's label, relative to the ring's centre.
glm::vec2 LabelOffset(const PieItemArc &arc);

// Label of the menu's atom item: the selected atom's symbol and its whole index ("C-123"),
// or "-" with no atom selected.
std::string AtomItemLabel(bool is_atom_selected, const std::string &selected_symbol,
                          uint32_t selected_atom);

}  // namespace PieGeometry

#endif
