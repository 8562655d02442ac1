#include "cquestiondialog.h"

#include <imgui.h>

#include "cpanel.h"

namespace {

using EAnswer = CDocument::EAnswer;
using EPending = CDocument::EPending;
using EQuestion = CDocument::EQuestion;

struct SButton {
    const char *label;
    EAnswer answer;
};

// One entry per question: its title, its first line, the second line by what waits for the
// answer, and its buttons.
struct SQuestion {
    EQuestion question;
    const char *title;
    const char *text;
    const char *before_load;
    const char *before_close;
    SButton buttons[3];
};

const SQuestion QUESTIONS[] = {
    {EQuestion::UNSAVED_EDITS,
     "Unsaved edits",
     "The structure has edits that are not saved.",
     "Save them before opening another file?",
     "Save them before closing?",
     {{"Save", EAnswer::SAVE}, {"Discard", EAnswer::DISCARD}, {"Cancel", EAnswer::CANCEL}}},
    {EQuestion::CHANGED_ON_DISK,
     "Changed on disk",
     "Another program changed the file since it was read.",
     "Overwrite it with the structure shown, or reload it and discard the edits?",
     "Overwrite it with the structure shown, or reload it and discard the edits?",
     {{"Overwrite", EAnswer::OVERWRITE}, {"Reload", EAnswer::RELOAD}, {"Cancel", EAnswer::CANCEL}}},
};

const SQuestion *Find(EQuestion question)
{
    for (const SQuestion &q : QUESTIONS)
        if (q.question == question)
            return &q;
    return nullptr;
}

EAnswer Buttons(const SQuestion &q)
{
    EAnswer answer = EAnswer::NONE;
    for (const SButton &button : q.buttons) {
        if (&button != q.buttons)
            ImGui::SameLine();
        if (ImGui::Button(button.label))
            answer = button.answer;
    }
    return answer;
}

} // namespace

EAnswer CQuestionDialog::Show(const CDocument &document)
{
    const SQuestion *q = Find(document.Question());
    if (q == nullptr)
        return EAnswer::NONE;
    if (!CPanel::IsModalOpen())
        ImGui::OpenPopup(q->title);
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(display.x * 0.5f, display.y * 0.5f), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    if (!ImGui::BeginPopupModal(q->title, nullptr, ImGuiWindowFlags_AlwaysAutoResize))
        return EAnswer::NONE;
    ImGui::Text("%s", q->text);
    ImGui::Text("%s", document.Pending() == EPending::CLOSE ? q->before_close : q->before_load);
    const EAnswer answer = Buttons(*q);
    if (answer != EAnswer::NONE)
        ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
    return answer;
}
