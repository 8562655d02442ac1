#include "cwindowscene.h"

#include "cdisplay.h"

namespace {

// Samples per pixel of the window's picture with smooth edges.
const int WINDOW_SAMPLES = 4;

glm::vec4 Colour(const ImVec4 &c) { return glm::vec4(c.x, c.y, c.z, c.w); }

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

// The picture drawn last is shown again while nothing it shows changed: the frames that only
// settle the GUI, and the events that do not reach the scene, cost a copy rather than a scene
// (over a million atoms, a scene costs as much as several hundred milliseconds). Behind a modal
// (the chooser, a question) the picture as it opened is shown again whatever changed: over a
// million atoms the chooser then answers at the GUI's pace, and its double click is not lost in
// one slow frame. A pick pass, the frame after a quick picture, and an export are always drawn.
void CWindowScene::Show(CDisplay *atom, const ImVec4 &background, int w, int h, bool is_held, bool is_redraw)
{
    const bool is_picking = atom != nullptr && atom->is_picking;
    is_kept = !is_picking && !is_redraw && kept_scene.HasSize(w, h) &&
              ((is_held && was_held) || kept_key == CSceneKey(atom, Colour(background), w, h));
    was_held = is_held;
    if (is_kept) {
        kept_scene.ResolveTo(0);
        return;
    }
    RenderWindow(atom, background, w, h);
    // The scene of a pick pass is cleared in the display's own colour, and a quick one is followed
    // by the full picture: neither is shown again.
    if (is_picking || (atom != nullptr && atom->NeedsFullFrame())) {
        kept_scene.Release();
        return;
    }
    kept_scene.CopyFrom(0, w, h);
    kept_key = CSceneKey(atom, Colour(background), w, h);
}

void CWindowScene::Release()
{
    window_target.Release();
    kept_scene.Release();
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
