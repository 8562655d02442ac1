#include "cwindowscene.h"

#include "cdisplay.h"

namespace {

// Samples per pixel of the window's picture with smooth edges.
const int WINDOW_SAMPLES = 4;

} // namespace

void CWindowScene::Render(CDisplay *atom, const ImVec4 &background, int w, int h)
{
    glClearColor(background.x, background.y, background.z, background.w);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (atom != nullptr && atom->is_visible) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        atom->DrawScene(w, h);
    }
    glUseProgram(0);
}

// Behind a modal (the chooser, a question) the picture drawn as it opened is shown again: over a
// million atoms the chooser then answers at the GUI's pace, and its double click is not lost in
// one slow frame.
void CWindowScene::Show(CDisplay *atom, const ImVec4 &background, int w, int h, bool is_held)
{
    const bool is_still = atom != nullptr && is_held && !atom->is_picking && !atom->NeedsFullFrame();
    if (is_still && still_scene.HasSize(w, h)) {
        still_scene.ResolveTo(0);
        return;
    }
    RenderWindow(atom, background, w, h);
    if (is_still)
        still_scene.CopyFrom(0, w, h);
    else
        still_scene.Release();
}

void CWindowScene::Release()
{
    window_target.Release();
    still_scene.Release();
}

// Smooth edges: the scene is drawn multisampled and filtered into the window; the pick pass goes
// first, single-sampled into the window itself, so that the code colour it reads is exact.
void CWindowScene::RenderWindow(CDisplay *atom, const ImVec4 &background, int w, int h)
{
    const int samples = atom != nullptr && atom->is_smooth ? CSceneTarget::Samples(WINDOW_SAMPLES) : 0;
    if (samples == 0 || !window_target.Bind(w, h, samples)) {
        window_target.Release();
        Render(atom, background, w, h);
        return;
    }
    if (atom->is_visible && atom->is_picking) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        atom->DrawPick(w, h);
        window_target.Bind(w, h, samples);
    }
    Render(atom, background, w, h);
    window_target.ResolveTo(0);
}
