#include "csettingspanel.h"

#include "cdisplay.h"
#include "cpanel.h"
#include "cviewexport.h"

namespace {

const char *const SETTINGS_TITLE = "Settings (ctrl+s)";

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
    if (ImGui::SliderFloat("font", &font, 0.001f, 0.01f, "%.3f"))
        atom.SetFont(font);
    if (ImGui::ColorEdit3("Backgroud", &clear_color.x))
        command = ECommand::KEEP_BACKGROUND;
    if (ImGui::SliderFloat3("Axes", &axis_position.x, -1.0f, 1.0f, "%.3f"))
        atom.axis_position = -axis_position;
    ImGui::SameLine();
    if (ImGui::Button("Reset"))
        atom.ResetScene(); // unlike Esc, the Axes fields stay

    const ECommand view = ViewButtons();
    if (view != ECommand::NONE)
        command = view;
    ShownParts(atom);

    ImGui::InputFloat3("Set", &atom.center_xyz.x, "%.3f");
    ImGui::SameLine();
    if (ImGui::Button("(0,0,0)") && atom.is_visible)
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
