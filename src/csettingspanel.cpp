#include "csettingspanel.h"

#include "cdisplay.h"
#include "cpanel.h"
#include "cviewexport.h"

namespace {

const char *const SETTINGS_TITLE = "Settings (ctrl+s)";
const float FONT_SLIDER_WIDTH = 120.0f;
const float LABEL_PIXELS_WIDTH = 70.0f;
const int MAX_LABEL_PIXELS = 64;

} // namespace

void CSettingsPanel::Init(const CDisplay &atom)
{
    font = atom.font_scale;
    axis_position = -atom.axis_position;
}

ECommand CSettingsPanel::Show(bool &is_shown, CDisplay &atom, ImVec4 &clear_color, CViewExport &exporter)
{
    ECommand command = ECommand::NONE;
    CPanel::Show(SETTINGS_TITLE, is_shown, CPanel::BOTTOM_LEFT,
                 [&] { command = Content(atom, clear_color, exporter); });
    return command;
}

ECommand CSettingsPanel::Content(CDisplay &atom, ImVec4 &clear_color, CViewExport &exporter)
{
    ECommand command = ECommand::NONE;
    ImGui::Text("%s", CPanel::VersionText());
    ImGui::SliderFloat("radius", &atom.atom_scale, 0.0f, 2.0f, "%.3f");
    ImGui::SliderFloat("zoom", &atom.view_zoom, 0.5f, 10.0f, "%.3f");
    // The two label sizes share a row, as narrow as the others.
    ImGui::SetNextItemWidth(FONT_SLIDER_WIDTH);
    if (ImGui::SliderFloat("font", &font, 0.001f, 0.01f, "%.3f"))
        atom.SetFont(font);
    ImGui::SameLine();
    // Labels sized in screen pixels read at any zoom; 0 gives the size back to the font slider.
    ImGui::SetNextItemWidth(LABEL_PIXELS_WIDTH);
    ImGui::SliderInt("label px", &atom.label_pixels, 0, MAX_LABEL_PIXELS, atom.label_pixels > 0 ? "%d" : "font");
    if (ImGui::ColorEdit3("Backgroud", &clear_color.x))
        command = ECommand::KEEP_BACKGROUND;
    if (ImGui::SliderFloat3("Axes", &axis_position.x, -1.0f, 1.0f, "%.3f"))
        atom.axis_position = -axis_position;
    ImGui::SameLine();
    if (ImGui::Button("Reset"))
        atom.ResetScene(); // unlike Esc, the Axes fields stay

    const ECommand view = ViewButtons();
    SmoothEdges(atom);
    if (view != ECommand::NONE)
        command = view;
    ShownParts(atom);

    // The middle of the atoms' box in the file's frame, which the button moves to the origin;
    // shown, not typed: nothing would follow a typed value.
    ImGui::InputFloat3("centre", &atom.center_xyz.x, "%.3f", ImGuiInputTextFlags_ReadOnly);
    ImGui::SameLine();
    if (ImGui::Button("Set (0,0,0)") && atom.is_visible)
        atom.CenterCoordinates();
    exporter.Controls();
    return command;
}

ECommand CSettingsPanel::ViewButtons()
{
    const std::pair<const char *, ECommand> presets[] = {
        {"YZ", ECommand::VIEW_YZ}, {"ZX", ECommand::VIEW_ZX}, {"XY", ECommand::VIEW_XY}};
    ECommand command = ECommand::NONE;
    ImGui::Text("View");
    for (const auto &preset : presets) {
        ImGui::SameLine();
        if (ImGui::Button(preset.first))
            command = preset.second;
    }
    return command;
}

void CSettingsPanel::SmoothEdges(CDisplay &atom)
{
    ImGui::SameLine();
    ImGui::Checkbox("Smooth", &atom.is_smooth);
}

void CSettingsPanel::ShownParts(CDisplay &atom)
{
    ImGui::Checkbox("Cell", &atom.is_show_box);
    ImGui::SameLine();
    if (ImGui::Checkbox("Bonds", &atom.is_show_bond))
        atom.SetAtomScale(atom.is_show_bond);
    ImGui::SameLine();
    ImGui::Checkbox("Symbol", &atom.is_show_symbol);
    ImGui::SameLine();
    ImGui::Checkbox("Index", &atom.is_show_index);
}
