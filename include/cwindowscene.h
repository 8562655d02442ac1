#ifndef CWINDOWSCENE_H
#define CWINDOWSCENE_H

#include <imgui.h>

#include "cscenetarget.h"

class CDisplay;

// The window's picture: the background and the structure, drawn multisampled with smooth edges
// when the display asks for them, and kept still behind an open modal. Needs the OpenGL context;
// Release must run before the context goes.
class CWindowScene {
public:
    // The background and the structure (when `atom` shows one) into the bound framebuffer of w x h
    // pixels.
    static void Render(CDisplay *atom, const ImVec4 &background, int w, int h);
    // The window's framebuffer of w x h pixels. While `is_held` (nothing reaches the scene) the
    // picture drawn first is shown again rather than drawn anew, unless a pick or a full frame is
    // due.
    void Show(CDisplay *atom, const ImVec4 &background, int w, int h, bool is_held);
    // The offscreen pictures go.
    void Release();

private:
    CSceneTarget window_target; // the multisampled picture of the window, with smooth edges
    CSceneTarget still_scene;   // the picture behind an open modal, shown again while it is open

    void RenderWindow(CDisplay *atom, const ImVec4 &background, int w, int h);
};

#endif
