#ifndef CSETTINGSPANEL_H
#define CSETTINGSPANEL_H

#include <glm/glm.hpp>
#include <imgui.h>

#include "shellcommand.h"

class CDisplay;
class CViewExport;

// The Settings panel: atom radius, zoom, label font, background colour, axes gizmo place, view
// presets, what is drawn, the centre, and the image export controls. Needs a current ImGui frame.
class CSettingsPanel {
public:
    // The font and Axes controls start from the display's values.
    void Init(const CDisplay &atom);
    // Draws the panel while is_shown; returns what a control asks the shell to do in this frame
    // (a view preset, keeping a new background colour), ECommand::NONE otherwise.
    ECommand Show(bool &is_shown, CDisplay &atom, ImVec4 &clear_color, CViewExport &exporter);

    float font = 0;
    // The Axes fields: where the gizmo stands, as the user reads it.
    glm::vec3 axis_position{0.0f};

private:
    ECommand Content(CDisplay &atom, ImVec4 &clear_color, CViewExport &exporter);
    ECommand ViewButtons();
    static void ShownParts(CDisplay &atom);
};

#endif
