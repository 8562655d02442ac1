#ifndef CWINDOWSCENE_H
#define CWINDOWSCENE_H

#include <imgui.h>

#include "cscenekey.h"
#include "cscenetarget.h"

class CDisplay;

// The window's picture: the background and the structure, drawn multisampled with smooth edges
// when the display asks for them, shown again while nothing it shows changed, and kept still
// behind an open modal. Needs the OpenGL context; Release must run before the context goes.
class CWindowScene {
public:
    // The background and the structure (when `atom` shows one) into the bound framebuffer of w x h
    // pixels.
    static void Render(CDisplay *atom, const ImVec4 &background, int w, int h);
    // The window's framebuffer of w x h pixels. The picture drawn last is shown again rather than
    // drawn anew while its key (see CSceneKey) is unchanged, or whatever changed while `is_held`
    // (nothing reaches the scene) since the frame before, unless a pick, a full frame after a quick
    // one, or `is_redraw` asks for a new one.
    void Show(CDisplay *atom, const ImVec4 &background, int w, int h, bool is_held, bool is_redraw = false);
    // The last Show showed the picture drawn before.
    bool IsKept() const { return is_kept; }
    // The offscreen pictures go.
    void Release();

private:
    CSceneTarget window_target; // the multisampled picture of the window, with smooth edges
    CSceneTarget kept_scene;    // the last full picture drawn, shown again while it is current
    CSceneKey kept_key;         // ... and what it shows
    bool is_kept = false;
    bool was_held = false; // the last Show was held

    void RenderWindow(CDisplay *atom, const ImVec4 &background, int w, int h);
};

#endif
