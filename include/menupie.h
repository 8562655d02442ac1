#ifndef MENUPIE_H
#define MENUPIE_H

#include <string>
#include <vector>

#include <imgui.h>

#include "piegeometry.h"

// Draws a radial menu around `center` while the popup `popup_id` is open and returns the item
// clicked in this frame, or -1. Any left click closes the menu and clears *sw; only a click
// inside RADIUS_MAX chooses, and then *p_selected (if given) receives the hovered item.
int PiePopupSelectMenu(const ImVec2 &center, const char *popup_id, std::vector<std::string> &items,
                       int items_count, int *p_selected, bool *sw);

#endif
