#include "cselectionpanel.h"

#include <imgui.h>

#include "cdisplay.h"
#include "cpanel.h"
#include "elements.h"

namespace {

const char *const SELECTION_TITLE = "Selection (ctrl+l)";
const char *const COORDINATE_FORMAT = "%.4f";

bool CommandButton(const char *label, ECommand command, ECommand &pressed)
{
    if (ImGui::Button(label))
        pressed = command;
    return pressed == command;
}

} // namespace

ECommand CSelectionPanel::Show(bool &is_shown, CDisplay &atom)
{
    ECommand command = ECommand::NONE;
    CPanel::Show(SELECTION_TITLE, is_shown, CPanel::BOTTOM_RIGHT, [&] { command = Content(atom); });
    return command;
}

ECommand CSelectionPanel::Content(CDisplay &atom)
{
    Composition(atom);
    const ECommand command = SetButtons(atom);
    if (atom.is_visible)
        SelectionEdits(atom);
    return command;
}

void CSelectionPanel::Composition(const CDisplay &atom)
{
    if (composed_selection != atom.selection.Revision() || composed_atoms != atom.u_revision) {
        std::vector<uint32_t> index;
        index.reserve(atom.selection.Count());
        for (uint32_t i : atom.selection.Atoms())
            if (i < atom.v_atom_index.size())
                index.push_back(atom.v_atom_index[i]);
        CModel::Composition(index, v_elements, v_counts);
        composed_selection = atom.selection.Revision();
        composed_atoms = atom.u_revision;
    }
    ImGui::Text("Selected: %zu of %zu atoms", atom.selection.Count(), atom.v_atom_index.size());
    std::string line;
    for (size_t k = 0; k < v_elements.size(); ++k)
        line += std::string(k > 0 ? ", " : "") + SymbolOf(v_elements[k]) + " " + std::to_string(v_counts[k]);
    if (!line.empty())
        ImGui::TextWrapped("%s", line.c_str());
    ImGui::TextDisabled("ctrl+drag: box, +shift: add, +alt: remove");
}

ECommand CSelectionPanel::SetButtons(const CDisplay &atom)
{
    ECommand pressed = ECommand::NONE;
    const bool is_empty = !atom.is_visible;
    CPanel::PushDisabled(is_empty);
    CommandButton("All (a)", ECommand::SELECT_ALL, pressed);
    ImGui::SameLine();
    CommandButton("None (n)", ECommand::SELECT_NONE, pressed);
    ImGui::SameLine();
    CommandButton("Invert (v)", ECommand::SELECT_INVERT, pressed);
    CommandButton("Hide (h)", ECommand::HIDE_SELECTED, pressed);
    ImGui::SameLine();
    CommandButton("Show all (ctrl+h)", ECommand::SHOW_ALL, pressed);
    ImGui::SameLine();
    CommandButton("Delete (del)", ECommand::DELETE_ATOM, pressed);
    CPanel::PopDisabled(is_empty);
    return pressed;
}

// Each is one undo step; the selection stays on the atoms it holds.
void CSelectionPanel::SelectionEdits(CDisplay &atom)
{
    const bool is_none = atom.selection.Count() == 0;
    CPanel::PushDisabled(is_none);
    uint32_t element = 0;
    if (ImGui::Button("Element of the selection"))
        ImGui::OpenPopup("selection element");
    if (CPanel::ElementTable("selection element", element))
        atom.SetElements(atom.selection.Atoms(), element);
    ImGui::InputScalarN("by XYZ", ImGuiDataType_Double, &shift.x, 3, nullptr, nullptr, COORDINATE_FORMAT);
    ImGui::SameLine();
    if (ImGui::Button("Move##xyz"))
        atom.MoveAtoms(atom.selection.Atoms(), shift);
    if (atom.is_periodic) {
        ImGui::InputScalarN("by abc", ImGuiDataType_Double, &fraction_shift.x, 3, nullptr, nullptr, COORDINATE_FORMAT);
        ImGui::SameLine();
        if (ImGui::Button("Move##abc"))
            atom.MoveAtoms(atom.selection.Atoms(), atom.m_cell_box * fraction_shift);
    }
    CPanel::PopDisabled(is_none);
}
