#include "menupie.h"

#include <cfloat>

namespace {

constexpr float RING_END_ANGLE = 6.28318530718f * 0.99f;
constexpr int RING_SEGMENTS = 32;

const ImU32 COLOR_HOVERED = IM_COL32(100, 100, 150, 255);
const ImU32 COLOR_SELECTED = IM_COL32(120, 120, 140, 255);
const ImU32 COLOR_OTHER = IM_COL32(70, 70, 70, 255);
const ImU32 COLOR_LABEL = IM_COL32(255, 255, 255, 255);
const ImU32 COLOR_RING = IM_COL32(0, 0, 0, 255);

ImVec2 Offset(const ImVec2 &center, const glm::vec2 &d)
{
    return ImVec2(center.x + d.x, center.y + d.y);
}

void DrawRing(ImDrawList *draw_list, const ImVec2 &center)
{
    draw_list->PathArcTo(center, PIE_LABEL_RADIUS, 0.0f, RING_END_ANGLE, RING_SEGMENTS);
    draw_list->PathStroke(COLOR_RING, ImDrawFlags_Closed, RADIUS_MAX - RADIUS_MIN);
    draw_list->PathClear();
}

ImU32 ItemColor(int item_n, bool hovered, const int *p_selected)
{
    if (hovered) {
        return COLOR_HOVERED;
    }
    if (p_selected != nullptr && *p_selected == item_n) {
        return COLOR_SELECTED;
    }
    return COLOR_OTHER;
}

void DrawItem(ImDrawList *draw_list, const ImVec2 &center, const PieItemArc &arc, int segments,
              float spacing, ImU32 color, const char *label)
{
    draw_list->PathArcTo(center, RADIUS_MAX - spacing, arc.outer_min, arc.outer_max, segments);
    draw_list->PathArcTo(center, RADIUS_MIN + spacing, arc.inner_max, arc.inner_min, segments);
    draw_list->PathFillConvex(color);
    draw_list->PathClear();

    const ImVec2 text_size = ImGui::GetFont()->CalcTextSizeA(ImGui::GetFontSize(), FLT_MAX, 0.0f, label);
    const ImVec2 mid = Offset(center, PieGeometry::LabelOffset(arc));
    draw_list->AddText(ImVec2(mid.x - text_size.x * 0.5f, mid.y - text_size.y * 0.5f), COLOR_LABEL, label);
}

// Draws the ring and its items; returns the hovered item or -1.
int DrawMenu(const ImVec2 &center, const glm::vec2 &delta, std::vector<std::string> &items,
             int items_count, const int *p_selected)
{
    ImDrawList *draw_list = ImGui::GetWindowDrawList();
    draw_list->PushClipRectFullScreen();
    DrawRing(draw_list, center);

    const float spacing = ImGui::GetStyle().ItemInnerSpacing.x;
    const float span = PieGeometry::ItemArcSpan(items_count);
    const int segments = PieGeometry::ArcSegments(span);
    const int hovered_item = PieGeometry::HoveredItem(delta, items_count, spacing);
    for (int item_n = 0; item_n < items_count; ++item_n) {
        const PieItemArc arc = PieGeometry::ItemArc(item_n, span, spacing);
        const ImU32 color = ItemColor(item_n, item_n == hovered_item, p_selected);
        DrawItem(draw_list, center, arc, segments, spacing, color, items[item_n].c_str());
    }
    draw_list->PopClipRect();
    return hovered_item;
}

}  // namespace

int PiePopupSelectMenu(const ImVec2 &center, const char *popup_id, std::vector<std::string> &items,
                       int items_count, int *p_selected, bool *sw)
{
    int result = -1;
    if (items_count > static_cast<int>(items.size())) {
        items_count = static_cast<int>(items.size());
    }
    ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(0.0f, 0.0f, 0.0f, 0.0f));
    ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(0.0f, 0.0f, 0.0f, 0.0f));
    ImGui::SetNextWindowPos(ImVec2(-100.0f, -100.0f), ImGuiCond_Always);
    if (ImGui::BeginPopup(popup_id)) {
        const ImVec2 mouse = ImGui::GetIO().MousePos;
        const glm::vec2 delta(mouse.x - center.x, mouse.y - center.y);
        const int item_hovered = DrawMenu(center, delta, items, items_count, p_selected);
        if (ImGui::IsMouseClicked(0)) {
            ImGui::CloseCurrentPopup();
            *sw = false;
            if (PieGeometry::IsClickInside(delta)) {
                result = item_hovered;
                if (p_selected != nullptr) {
                    *p_selected = item_hovered;
                }
            }
        }
        ImGui::EndPopup();
    }
    ImGui::PopStyleColor(2);
    return result;
}
