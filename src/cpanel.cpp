#include "cpanel.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include <imgui.h>
#include <imgui_internal.h>

#include "elements.h"
#include "version.h"

namespace {

const float PANEL_MARGIN = 10.0f;
const ImVec2 ELEMENT_BUTTON_SIZE(30.0f, 20.0f);
// Panels fit their contents at every frame, so that no control or text is ever cut. A panel that
// appears leaves the keys where they were: the arrows pan the view until a panel is clicked.
const ImGuiWindowFlags PANEL_FLAGS = ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoFocusOnAppearing;

// Where a panel at `pos` of `size` goes so that it lies inside the display, or, larger than the
// display, starts at its top left corner.
ImVec2 PanelPlaceInside(const ImVec2 &pos, const ImVec2 &size, const ImVec2 &display)
{
    return ImVec2(std::max(std::min(pos.x, display.x - size.x), 0.0f),
                  std::max(std::min(pos.y, display.y - size.y), 0.0f));
}

// A panel's size and the extent of what it drew: while either changes, the panel is still
// fitting itself to new contents (wrapped text may take a few frames).
struct SPanelShape {
    ImVec2 size, content;
    bool operator!=(const SPanelShape &o) const
    {
        return size.x != o.size.x || size.y != o.size.y || content.x != o.content.x || content.y != o.content.y;
    }
};
std::map<std::string, SPanelShape> panel_shapes;
int reshaped_frame = -1;

void NoteShape(const char *title, const ImGuiWindow *panel)
{
    const SPanelShape shape{panel->SizeFull, ImVec2(panel->DC.CursorMaxPos.x - panel->Pos.x,
                                                    panel->DC.CursorMaxPos.y - panel->Pos.y)};
    SPanelShape &last = panel_shapes[title];
    if (shape != last)
        reshaped_frame = ImGui::GetFrameCount();
    last = shape;
}

// Up and Down stay in a column: the next control below (above) that covers the column's x. The
// GUI's own choice is the nearest row's control, in whatever column; when it lies outside the
// column, the request goes on from that row in the next frame, and when no row further has a
// control in the column, the GUI's first choice stands.
struct SColumnMove {
    ImGuiID panel = 0;
    float x = 0.0f; // the column, window-relative
    bool is_first = false;
    ImGuiNavItemData first;
    int frame = -1; // of the last request sent on; a search goes on only in the frame after it
};
SColumnMove column_move;

bool IsColumnMoveIn(const ImGuiWindow *panel)
{
    const ImGuiContext &g = *ImGui::GetCurrentContext();
    return g.NavMoveScoringItems && g.NavWindow != nullptr && g.NavWindow->RootWindow == panel &&
           (g.NavMoveDir == ImGuiDir_Up || g.NavMoveDir == ImGuiDir_Down) && g.NavLayer == ImGuiNavLayer_Main &&
           (g.NavMoveFlags & ImGuiNavMoveFlags_Tabbing) == 0;
}

void KeepToColumn(ImGuiWindow *panel)
{
    ImGuiContext &g = *ImGui::GetCurrentContext();
    if (!IsColumnMoveIn(panel))
        return;
    if (column_move.panel != panel->ID || column_move.frame != ImGui::GetFrameCount() - 1)
        column_move = SColumnMove{panel->ID, g.NavScoringRect.Min.x - panel->DC.CursorStartPos.x, false, {}, -1};
    ImGuiNavItemData &found = g.NavMoveResultLocal;
    const ImRect rect = found.RectRel;
    if (found.ID == 0 || (rect.Min.x <= column_move.x && column_move.x <= rect.Max.x)) {
        if (found.ID == 0 && column_move.is_first)
            found = column_move.first;
        column_move = SColumnMove();
        return;
    }
    if (!column_move.is_first) {
        column_move.first = found;
        column_move.is_first = true;
    }
    // The next request starts from that row, at the column's x.
    panel->NavRectRel[g.NavLayer] = ImRect(column_move.x - 1.0f, rect.Min.y, column_move.x, rect.Max.y);
    column_move.frame = ImGui::GetFrameCount();
    ImGui::NavMoveRequestForward(g.NavMoveDir, g.NavMoveClipDir, g.NavMoveFlags, g.NavMoveScrollFlags);
}

} // namespace

// The panels that grow with their contents (a message, a selected atom) hang from the top edge,
// so that their buttons stay where they are.
void CPanel::Show(const char *title, bool &is_shown, ESlot slot, const std::function<void()> &content)
{
    if (!is_shown)
        return;
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    const ImVec2 corners[] = {ImVec2(0.0f, 1.0f), ImVec2(0.0f, 0.0f), ImVec2(1.0f, 0.0f), ImVec2(0.5f, 1.0f),
                              ImVec2(1.0f, 1.0f)};
    const ImVec2 pivot = corners[slot];
    const ImVec2 corner(PANEL_MARGIN + pivot.x * (display.x - 2.0f * PANEL_MARGIN),
                        PANEL_MARGIN + pivot.y * (display.y - 2.0f * PANEL_MARGIN));
    ImGui::SetNextWindowPos(corner, ImGuiCond_FirstUseEver, pivot);
    if (ImGui::Begin(title, &is_shown, PANEL_FLAGS)) {
        content();
        if (ImGui::Button("Close"))
            is_shown = false;
    }
    KeepInside();
    KeepToColumn(ImGui::GetCurrentWindow());
    NoteShape(title, ImGui::GetCurrentWindow());
    ImGui::End();
}

bool CPanel::IsSettling()
{
    const int frame = ImGui::GetFrameCount();
    return reshaped_frame == frame || column_move.frame == frame;
}

// The GUI's own hidden fallback window never counts; the popups opened from a panel do.
bool CPanel::HasFocus()
{
    const ImGuiWindow *focused = ImGui::GetCurrentContext()->NavWindow;
    return focused != nullptr && !focused->IsFallbackWindow && focused->WasActive && !IsModalOpen();
}

bool CPanel::HasFocus(const char *title)
{
    const ImGuiWindow *focused = ImGui::GetCurrentContext()->NavWindow;
    return HasFocus() && std::strcmp(focused->RootWindow->Name, title) == 0;
}

// A panel dragged out, left outside by a smaller window or by a saved layout comes back whole
// (its title bar first when it is larger than the window), so that it can always be reached.
void CPanel::KeepInside()
{
    const ImGuiWindow *panel = ImGui::GetCurrentWindow();
    if (panel->HiddenFramesCannotSkipItems > 0)
        return; // not laid out yet
    const ImVec2 inside = PanelPlaceInside(panel->Pos, panel->Size, ImGui::GetIO().DisplaySize);
    if (inside.x != panel->Pos.x || inside.y != panel->Pos.y)
        ImGui::SetWindowPos(inside);
}

// Without a GUI (the scene drawn alone) no modal is open.
bool CPanel::IsModalOpen()
{
    return ImGui::GetCurrentContext() != nullptr && ImGui::GetTopMostPopupModal() != nullptr;
}

void CPanel::PushDisabled(bool is_disabled)
{
    if (!is_disabled)
        return;
    ImGui::PushItemFlag(ImGuiItemFlags_Disabled, true);
    ImGui::PushStyleVar(ImGuiStyleVar_Alpha, ImGui::GetStyle().Alpha * 0.5f);
}

void CPanel::PopDisabled(bool is_disabled)
{
    if (!is_disabled)
        return;
    ImGui::PopStyleVar();
    ImGui::PopItemFlag();
}

bool CPanel::ElementTable(const char *popup, uint32_t &element)
{
    if (!ImGui::BeginPopup(popup))
        return false;
    ImGui::Text("Select atom");
    ImGui::Separator();
    bool is_chosen = false;
    for (unsigned int i = 0; i < periodic_table_atoms; i++) {
        ImGui::SetCursorPos(ImVec2(ptable_position[i].x, ptable_position[i].y));
        if (ImGui::Button(symbol[i], ELEMENT_BUTTON_SIZE)) {
            element = i;
            is_chosen = true;
            ImGui::CloseCurrentPopup();
        }
        if (i % 10 != 9)
            ImGui::SameLine();
    }
    ImGui::EndPopup();
    return is_chosen;
}

const char *CPanel::VersionText()
{
    static const std::string text = std::string("Kivoa ") + AutoVersion::STATUS + " " +
                                    AutoVersion::UBUNTU_VERSION_STYLE + "(" + AutoVersion::DATE + ")";
    return text.c_str();
}
