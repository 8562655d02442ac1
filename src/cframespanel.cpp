#include "cframespanel.h"

#include <algorithm>

#include <imgui.h>

#include "cdisplay.h"
#include "cpanel.h"

namespace {

const float SLIDER_WIDTH = 300.0f;
const float FIELD_WIDTH = 120.0f;
// The shortest wait playback asks for, so that a frame late to come never makes it 0 (no wait).
const double MIN_WAIT = 1e-3;
const ImVec4 MESSAGE_COLOR(1.0f, 0.45f, 0.35f, 1.0f);

} // namespace

void CFramesPanel::Show(bool &is_shown, CDisplay &atom)
{
    if (atom.FrameCount() < 2) {
        is_playing = false;
        return;
    }
    PlayOn(atom);
    CPanel::Show(TITLE, is_shown, CPanel::BOTTOM_MIDDLE, [&] { Content(atom); });
}

// The typed number counts once Enter confirms it, so that typing "120" does not show 1 and 12.
void CFramesPanel::Content(CDisplay &atom)
{
    const uint64_t last = atom.FrameCount() - 1;
    const uint64_t first = 0;
    uint64_t k = atom.FrameShown();
    ImGui::SetNextItemWidth(SLIDER_WIDTH);
    if (ImGui::SliderScalar("Frame", ImGuiDataType_U64, &k, &first, &last, "%llu", ImGuiSliderFlags_AlwaysClamp))
        Go(atom, k);
    const uint64_t step = 1;
    ImGui::SetNextItemWidth(FIELD_WIDTH);
    if (ImGui::InputScalar("##number", ImGuiDataType_U64, &k, &step, nullptr, "%llu",
                           ImGuiInputTextFlags_EnterReturnsTrue))
        Go(atom, std::min(k, last));
    ImGui::SameLine();
    ImGui::Text("of %llu, from 0", static_cast<unsigned long long>(last + 1));

    if (ImGui::Button(is_playing ? "Pause###play" : "Play###play"))
        TogglePlay(atom);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(FIELD_WIDTH);
    ImGui::SliderInt("fps", &fps, MIN_FPS, MAX_FPS, "%d", ImGuiSliderFlags_AlwaysClamp);
    ImGui::SameLine();
    ImGui::Checkbox("Loop", &is_loop);
    uint64_t edited = 0;
    const uint64_t alike = atom.LastFramesEdit(edited) ? atom.trajectory.FramesWithAtomsOf(edited) : last + 1;
    if (alike <= last)
        ImGui::TextWrapped("Atom edits made in frame %llu leave %llu of %llu frames as they are: they have other atoms.",
                           static_cast<unsigned long long>(edited), static_cast<unsigned long long>(last + 1 - alike),
                           static_cast<unsigned long long>(last + 1));
    if (!message.empty())
        ImGui::TextColored(MESSAGE_COLOR, "%s", message.c_str());
}

void CFramesPanel::Run(ECommand command, CDisplay &atom)
{
    if (atom.FrameCount() < 2)
        return;
    const uint64_t shown = atom.FrameShown();
    const uint64_t last = atom.FrameCount() - 1;
    switch (command) {
    case ECommand::FRAME_PREVIOUS:
        Go(atom, shown > 0 ? shown - 1 : 0);
        break;
    case ECommand::FRAME_NEXT:
        Go(atom, std::min(shown + 1, last));
        break;
    case ECommand::FRAME_FIRST:
        Go(atom, 0);
        break;
    case ECommand::FRAME_LAST:
        Go(atom, last);
        break;
    case ECommand::TOGGLE_PLAY:
        TogglePlay(atom);
        break;
    default:
        break;
    }
}

// Play at the last frame without Loop starts again from the first.
void CFramesPanel::TogglePlay(CDisplay &atom)
{
    is_playing = !is_playing;
    if (!is_playing)
        return;
    if (!is_loop && atom.FrameShown() + 1 == atom.FrameCount())
        Go(atom, 0);
    next_due = ImGui::GetTime() + 1.0 / fps;
}

// Frames come at the rate asked for on average: a late frame shortens the wait for the next,
// but playback that falls behind does not race to catch up.
void CFramesPanel::PlayOn(CDisplay &atom)
{
    const double now = ImGui::GetTime();
    if (!is_playing || now < next_due)
        return;
    uint64_t k = atom.FrameShown() + 1;
    if (k == atom.FrameCount()) {
        if (!is_loop) {
            is_playing = false;
            return;
        }
        k = 0;
    }
    Go(atom, k);
    next_due = std::max(next_due + 1.0 / fps, now);
}

double CFramesPanel::PlaybackWait() const
{
    return is_playing ? std::max(next_due - ImGui::GetTime(), MIN_WAIT) : 0.0;
}

// A frame that cannot be shown (the file changed on disk) stops playback and is said.
void CFramesPanel::Go(CDisplay &atom, uint64_t k)
{
    if (atom.StepToFrame(k)) {
        message.clear();
        return;
    }
    message = "Can't show frame " + std::to_string(k) + ": " + atom.error_message;
    is_playing = false;
}
