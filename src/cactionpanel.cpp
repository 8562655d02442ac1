#include "cactionpanel.h"

#include <cstdio>

#include <imgui.h>

#include "cdisplay.h"
#include "cmeasuremarks.h"
#include "coverlap.h"
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
    else
        ApplyTypedMove(atom, -1);
    marks.ShowText(atom);
    ImGui::Text("Total Atoms: %u", static_cast<unsigned>(atom.v_float_raw_xyz.size()));
    ImGui::Text("Selected: %zu", atom.selection.Count());
    CompositionList(atom);
    const ECommand command = HistoryButtons(atom);
    BuildSection(atom);
    return command;
}

// Opened by the pie menu's Build item, or by a click on its header.
void CActionPanel::BuildSection(CDisplay &atom)
{
    if (is_build_wanted)
        ImGui::SetNextItemOpen(true);
    is_build_wanted = false;
    if (ImGui::CollapsingHeader("Build"))
        build.Show(atom);
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
    int active = -1;
    if (u < atom.v_real_xyz.size()) {
        const bool is_typed = typed.is_pending && typed.atom == u;
        glm::dvec3 p = is_typed ? typed.position : atom.v_real_xyz[u];
        const int edited = CoordinateControls(atom, p, active);
        if (edited >= 0) {
            if (typed.is_pending && (typed.atom != u || typed.field != edited))
                ApplyTypedMove(atom, -1);
            typed = STypedMove{true, u, atom.u_revision, edited, p};
        }
    }
    CPanel::PopDisabled(is_locked);
    ApplyTypedMove(atom, active);
    if (ImGui::Button("Edit"))
        is_atom_lock = false;
    if (!move_note.empty() && move_note_atoms == atom.u_revision)
        ImGui::TextWrapped("%s", move_note.c_str());
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
// fractional coordinates along the cell vectors (p is the new place after an edit).
int CActionPanel::CoordinateControls(const CDisplay &atom, glm::dvec3 &p, int &active) const
{
    const char *const format = "%.4f";
    int edited = -1;
    // Each field's widget, the field's number, and whether it changed p in this frame.
    const auto field = [&](int number, bool is_changed) {
        if (is_changed)
            edited = number;
        if (ImGui::IsItemActive())
            active = number;
    };
    field(0, ImGui::InputScalarN("XYZ", ImGuiDataType_Double, &p.x, 3, nullptr, nullptr, format));
    const char *const axes[] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; a++)
        field(1 + a, ImGui::InputScalar(axes[a], ImGuiDataType_Double, &p[a], &coordinate_step, nullptr, format));
    if (!atom.is_periodic || glm::determinant(atom.m_cell_box) == 0.0)
        return edited;
    glm::dvec3 f = glm::inverse(atom.m_cell_box) * p;
    const bool is_fraction = ImGui::InputScalarN("abc", ImGuiDataType_Double, &f.x, 3, nullptr, nullptr, format);
    if (is_fraction)
        p = atom.m_cell_box * f;
    field(4, is_fraction);
    return edited;
}

// Typing is not an edit yet: only a value the user has finished goes into the history, so that
// each typed value is one undo step and the half-typed ones are never applied.
void CActionPanel::ApplyTypedMove(CDisplay &atom, int active)
{
    if (!typed.is_pending || active == typed.field)
        return;
    typed.is_pending = false;
    if (typed.revision != atom.u_revision || typed.atom >= atom.v_real_xyz.size() ||
        typed.position == atom.v_real_xyz[typed.atom])
        return;
    atom.MoveAtom(typed.atom, typed.position);
    // Said while the atoms stay as the move left them.
    move_note = COverlap::Note(atom, typed.atom);
    move_note_atoms = atom.u_revision;
    if (atom.is_atom_selected && atom.selected_atom == typed.atom)
        atom.selected_xyz = atom.v_float_raw_xyz[typed.atom];
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
        char symbol_text[32];
        std::snprintf(symbol_text, sizeof symbol_text, " %3s##element%u", SymbolOf(atom.v_table_index[i]),
                      static_cast<unsigned>(i));
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
