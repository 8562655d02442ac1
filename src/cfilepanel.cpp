#include "cfilepanel.h"

#include "cdisplay.h"
#include "cdocument.h"
#include "cpanel.h"
#include "fileformats.h"

namespace {

const char *const FILE_CHOOSER_TITLE = "Choose File (ctrl+f)";
const ImVec4 MESSAGE_COLOR(1.0f, 0.45f, 0.4f, 1.0f);
const float FORMAT_COMBO_WIDTH = 120.0f;
const ImVec4 NOTE_COLOR(1.0f, 0.85f, 0.4f, 1.0f);

} // namespace

void CFilePanel::Show(bool &is_shown, CDisplay &atom, CDocument &document)
{
    CPanel::Show(FILE_CHOOSER_TITLE, is_shown, CPanel::TOP_LEFT, [&] { Content(atom, document); });
}

void CFilePanel::Content(CDisplay &atom, CDocument &document)
{
    if (!dlg) {
        dlg = std::make_unique<ImGuiFs::Dialog>();
        save_dlg = std::make_unique<ImGuiFs::Dialog>();
    }
    FormatCombo(atom, document);
    ImGui::SameLine();
    ImGui::Checkbox("by name", &is_by_name);
    BlockCombo(atom, document);
    OpenButton(atom, document);
    ImGui::SameLine();
    if (ImGui::Button("Reload") && atom.is_visible)
        document.Reload();
    ImGui::SameLine();
    const bool is_saved = !document.HasUnsavedEdits();
    CPanel::PushDisabled(is_saved);
    if (ImGui::Button("Save") && atom.is_visible)
        document.Save();
    CPanel::PopDisabled(is_saved);
    ImGui::SameLine();
    SaveAsButton(atom, document);
    ShowMessage(document);
    ImGui::Text("File: %s", document.Path().c_str());
}

void CFilePanel::FormatCombo(CDisplay &atom, CDocument &document)
{
    // Narrow, so that "by name" beside it leaves the panel as wide as before.
    ImGui::SetNextItemWidth(FORMAT_COMBO_WIDTH);
    if (!ImGui::BeginCombo("Input Format", CDocument::FormatLabel(atom.input_format)))
        return;
    for (const SFileFormat &f : FILE_FORMATS) {
        const bool is_selected = f.code == atom.input_format;
        if (ImGui::Selectable(f.label, is_selected)) {
            atom.input_format = f.code;
            document.ChooseFormat(f.code);
        }
        if (is_selected)
            ImGui::SetItemDefaultFocus();
    }
    ImGui::EndCombo();
}

// Only for a CIF of more than one data block: choosing one reads it instead of the one shown.
void CFilePanel::BlockCombo(const CDisplay &atom, CDocument &document)
{
    const CCif &cif = atom.cif;
    if (atom.file_format != INPUT_FILE_TYPE_CIF || cif.v_block_names.size() < 2 ||
        !ImGui::BeginCombo("Data Block", cif.block_name.c_str()))
        return;
    for (size_t k = 0; k < cif.v_block_names.size(); ++k) {
        const std::string &name = cif.v_block_names[k];
        const bool is_selected = name == cif.block_name;
        const std::string entry = cif.BlockEntry(k) + "##" + name;
        if (ImGui::Selectable(entry.c_str(), is_selected) && !is_selected)
            document.OpenBlock(name);
        if (is_selected)
            ImGui::SetItemDefaultFocus();
    }
    ImGui::EndCombo();
}

void CFilePanel::OpenButton(CDisplay &atom, CDocument &document)
{
    const bool is_pressed = ImGui::Button("Open");
    if (is_pressed)
        document.ClearMessage(); // the old failure is not about the next choice
    const char *chosen = dlg->chooseFileDialog(is_pressed, document.Path().c_str(), nullptr, nullptr,
                                               ImVec2(-1, -1), ImVec2(-1, -1), 0.875f);
    if (chosen == nullptr || chosen[0] == '\0')
        return;
    if (is_by_name)
        atom.input_format = FormatByName(dlg->getChosenPath(), atom.input_format);
    document.Open(dlg->getLastDirectory(), dlg->getChosenPath(), atom.input_format);
}

void CFilePanel::SaveAsButton(const CDisplay &atom, CDocument &document)
{
    const bool is_empty = !atom.is_visible;
    CPanel::PushDisabled(is_empty);
    const bool is_pressed = ImGui::Button("Save As") && atom.is_visible;
    CPanel::PopDisabled(is_empty);
    // A Save that does not rewrite the file read (a CIF, a new supercell) opens the chooser too,
    // keeping its message.
    const bool is_wanted = document.TakeSaveAsWanted();
    if (is_pressed)
        document.ClearMessage();
    const std::string name = document.SuggestedPath();
    const char *target = save_dlg->saveFileDialog(is_pressed || is_wanted, document.Folder().c_str(), name.c_str(),
                                                  "Save as");
    if (target != nullptr && target[0] != '\0')
        document.SaveAs(target);
    else if (save_dlg->hasUserJustCancelledDialog())
        document.CancelSaveAs();
}

// Right under the buttons and wrapped to the panel's width, so that the panel does not widen:
// why the last load or save failed, else what the user should know about the file read.
void CFilePanel::ShowMessage(const CDocument &document)
{
    const bool is_failure = !document.Message().empty();
    const std::string &text = is_failure ? document.Message() : document.Note();
    if (text.empty())
        return;
    ImGui::PushStyleColor(ImGuiCol_Text, is_failure ? MESSAGE_COLOR : NOTE_COLOR);
    ImGui::TextWrapped("%s", text.c_str());
    ImGui::PopStyleColor();
}
