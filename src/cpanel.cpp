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
    NoteShape(title, ImGui::GetCurrentWindow());
    ImGui::End();
}

bool CPanel::IsSettling()
{
    return reshaped_frame == ImGui::GetFrameCount();
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
