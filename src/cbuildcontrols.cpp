#include "cbuildcontrols.h"

#include <imgui.h>

#include "cdisplay.h"
#include "coverlap.h"
#include "cpanel.h"
#include "elements.h"

namespace {

const char *const COORDINATE_FORMAT = "%.4f";

// The element button that opens the periodic table under `popup`.
void ElementButton(const char *label, const char *popup, uint32_t &element)
{
    const std::string text = std::string(label) + " " + SymbolOf(element) + "##" + popup;
    if (ImGui::Button(text.c_str()))
        ImGui::OpenPopup(popup);
    CPanel::ElementTable(popup, element);
}

} // namespace

void CBuildControls::Show(CDisplay &atom)
{
    if (!atom.is_visible)
        return;
    AddControls(atom);
    CellControls(atom);
    if (!message.empty())
        ImGui::TextWrapped("%s", message.c_str());
}

// A new atom at a typed place (file frame, or along the cell vectors), or in front of the picked
// atom towards the viewer; it becomes the selection. One put onto another atom is made, and said.
void CBuildControls::AddControls(CDisplay &atom)
{
    ElementButton("Add", "new element", new_element);
    ImGui::InputScalarN("at XYZ", ImGuiDataType_Double, &new_position.x, 3, nullptr, nullptr, COORDINATE_FORMAT);
    glm::dvec3 place(0.0);
    bool is_add = false;
    ImGui::SameLine();
    if (ImGui::Button("Add##xyz")) {
        place = new_position;
        is_add = true;
    }
    if (atom.is_periodic) {
        glm::dvec3 f = glm::inverse(atom.m_cell_box) * new_position;
        if (ImGui::InputScalarN("at abc", ImGuiDataType_Double, &f.x, 3, nullptr, nullptr, COORDINATE_FORMAT))
            new_position = atom.m_cell_box * f;
    }
    const bool is_picked = atom.is_atom_selected && atom.selected_atom < atom.v_real_xyz.size();
    CPanel::PushDisabled(!is_picked);
    ImGui::InputDouble("from picked atom", &new_distance, 0.1, 0.5, "%.3f");
    ImGui::SameLine();
    if (ImGui::Button("Add##view") && is_picked) {
        place = atom.v_real_xyz[atom.selected_atom] + new_distance * atom.ViewDirection();
        is_add = true;
    }
    CPanel::PopDisabled(!is_picked);
    if (!is_add || !atom.AddAtom(new_element, place, message))
        return;
    message = COverlap::Note(atom, static_cast<uint32_t>(atom.v_real_xyz.size() - 1));
    atom.AfterEdit();
    atom.selection.SelectAppended(atom.v_atom_index.size());
}

// The view follows the new extent, centre included, in the same orientation.
void CBuildControls::CellControls(CDisplay &atom)
{
    if (!atom.is_periodic)
        return;
    ImGui::Separator();
    ImGui::InputInt3("repeats", repeat);
    ImGui::SameLine();
    bool is_done = false;
    if (ImGui::Button("Supercell"))
        is_done = atom.MakeSupercell(glm::ivec3(repeat[0], repeat[1], repeat[2]), message);
    ImGui::SameLine();
    if (ImGui::Button("Wrap into cell"))
        is_done = atom.WrapIntoCell();
    if (!is_done)
        return;
    atom.AfterEdit();
    atom.ResetZoom();
}
