#ifndef CFRAMESPANEL_H
#define CFRAMESPANEL_H

#include <cstdint>
#include <string>

#include "shellcommand.h"

class CDisplay;

// The Frames panel of a file of several frames: the frame shown, by slider or by its number typed
// or stepped; playback with Play/Pause, frames per second and Loop; and the frame keys. Frames
// are numbered from 0, as kivoa-info's --frame numbers them. Needs a current ImGui frame.
class CFramesPanel {
public:
    // Draws the panel while is_shown and the structure has more than one frame, and shows the
    // next frame when playback has one due.
    void Show(bool &is_shown, CDisplay &atom);
    // The frame keys: previous, next (both stop at the ends), first, last, play or pause.
    void Run(ECommand command, CDisplay &atom);
    // Seconds until playback has a frame due (above 0 while playing); 0 while stopped.
    double PlaybackWait() const;
    void Stop() { is_playing = false; }

    static constexpr const char *TITLE = "Frames";
    static constexpr int MIN_FPS = 1, MAX_FPS = 60;
    int fps = 10;
    bool is_loop = true;
    bool is_playing = false;

private:
    double next_due = 0.0; // the GUI time at which playback shows its next frame
    std::string message;   // why the last frame asked for could not be shown

    void Content(CDisplay &atom);
    void PlayOn(CDisplay &atom);
    void TogglePlay(CDisplay &atom);
    void Go(CDisplay &atom, uint64_t k);
};

#endif
