#include "cactionpanel.h"

#include <cstdio>

#include <imgui.h>

#include "cdisplay.h"
#include "cmeasuremarks.h"
#include "cpanel.h"
#include "elements.h"

namespace {

const char *const ACTION_TITLE = "Action (ctrl+a)";
// selected_zatom of an atom that has no element.
const uint32_t NO_ZATOM = 4294967295u;

// A button that does nothing while is_disabled; true when pressed.
bool HistoryButton(const char *label, bool is_disabled)
{
    CPanel::PushDisabled(is_disabled);
    const bool is_pressed = ImGui::Button(label);
    CPanel::PopDisabled(is_disabled);
    return is_pressed;
}

} // namespace

ECommand CActionPanel::Show(bool &is_shown, CDisplay &atom, const CMeasureMarks &marks)
{
    ECommand command = ECommand::NONE;
    CPanel::Show(ACTION_TITLE, is_shown, CPanel::TOP_RIGHT, [&] { command = Content(atom, marks); });
    return command;
}

ECommand CActionPanel::Content(CDisplay &atom, const CMeasureMarks &marks)
{
    ImGui::Text("%s", CPanel::VersionText());
    if (atom.is_atom_selected)
        SelectedAtomControls(atom);
    marks.ShowText(atom);
    ImGui::Text("Total Atoms: %u", static_cast<unsigned>(atom.v_float_raw_xyz.size()));
    ImGui::Text("Selected: %zu", atom.selection.Count());
    CompositionList(atom);
    return HistoryButtons(atom);
}

void CActionPanel::SelectedAtomControls(CDisplay &atom)
{
    ImGui::Text("Selected atom : No. %u, Symbol [%s], Z [%u]", atom.selected_atom, atom.selected_symbol.c_str(),
                atom.selected_zatom);
    SiteText(atom);
    const bool is_locked = is_atom_lock;
    CPanel::PushDisabled(is_locked);
    if (ImGui::Button("Symbol:"))
        ImGui::OpenPopup("select");
    ImGui::SameLine();
    ImGui::Text("%s", atom.selected_zatom == NO_ZATOM ? "<None>" : atom.selected_symbol.c_str());
    ElementChooser(atom);

    const uint32_t u = atom.selected_atom;
    if (u < atom.v_real_xyz.size()) {
        glm::dvec3 p = atom.v_real_xyz[u];
        if (CoordinateControls(atom, p)) {
            atom.MoveAtom(u, p);
            atom.selected_xyz = atom.v_float_raw_xyz[u];
        }
    }
    CPanel::PopDisabled(is_locked);
    if (ImGui::Button("Edit"))
        is_atom_lock = false;
}

// The CIF site the atom is an image of and its occupancy, where the file gives them.
void CActionPanel::SiteText(const CDisplay &atom)
{
    const uint32_t u = atom.selected_atom;
    const std::string label = atom.file_format == INPUT_FILE_TYPE_CIF ? atom.cif.LabelOf(u) : std::string();
    if (!label.empty())
        ImGui::Text("Site: %s", label.c_str());
    if (u < atom.v_atom_occupancy.size()) {
        if (!label.empty())
            ImGui::SameLine();
        ImGui::Text("Occupancy: %g", atom.v_atom_occupancy[u]);
    }
}

// The position in the file's own frame, as a save writes it, and in a periodic structure its
// fractional coordinates along the cell vectors; true when one was changed (p is the new place).
bool CActionPanel::CoordinateControls(const CDisplay &atom, glm::dvec3 &p) const
{
    const char *const format = "%.4f";
    bool is_moved = ImGui::InputScalarN("XYZ", ImGuiDataType_Double, &p.x, 3, nullptr, nullptr, format);
    is_moved |= ImGui::InputScalar("X", ImGuiDataType_Double, &p.x, &coordinate_step, nullptr, format);
    is_moved |= ImGui::InputScalar("Y", ImGuiDataType_Double, &p.y, &coordinate_step, nullptr, format);
    is_moved |= ImGui::InputScalar("Z", ImGuiDataType_Double, &p.z, &coordinate_step, nullptr, format);
    if (!atom.is_periodic || glm::determinant(atom.m_cell_box) == 0.0)
        return is_moved;
    glm::dvec3 f = glm::inverse(atom.m_cell_box) * p;
    if (ImGui::InputScalarN("abc", ImGuiDataType_Double, &f.x, 3, nullptr, nullptr, format)) {
        p = atom.m_cell_box * f;
        is_moved = true;
    }
    return is_moved;
}

ECommand CActionPanel::HistoryButtons(const CDisplay &atom)
{
    ECommand command = ECommand::NONE;
    if (HistoryButton("Undo", !atom.CanUndo()))
        command = ECommand::UNDO;
    ImGui::SameLine();
    if (HistoryButton("Redo", !atom.CanRedo()))
        command = ECommand::REDO;
    return command;
}

void CActionPanel::ElementChooser(CDisplay &atom)
{
    uint32_t element = 0;
    if (CPanel::ElementTable("select", element))
        atom.UpdateAtomType(element);
}

// A click on an element selects its atoms (Shift adds them to the selection, Alt takes them out).
void CActionPanel::CompositionList(CDisplay &atom)
{
    const ImGuiIO &io = ImGui::GetIO();
    for (size_t i = 0; i < atom.v_table_index.size(); i++) {
        char symbol_text[16];
        std::snprintf(symbol_text, sizeof symbol_text, " %3s##element%zu", SymbolOf(atom.v_table_index[i]), i);
        const bool is_clicked =
            ImGui::Selectable(symbol_text, false, 0, ImVec2(ImGui::CalcTextSize(symbol_text, nullptr, true).x, 0));
        ImGui::SameLine();
        ImGui::Text(": %u", atom.v_table_atoms[i]);
        if (!is_clicked)
            continue;
        atom.selection.Change(CModel::AtomsOfElement(atom.v_atom_index, atom.v_table_index[i]),
                              CSelection::ModeOf(io.KeyShift, io.KeyAlt));
        atom.is_atom_selected = false;
    }
}
