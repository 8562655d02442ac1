#ifndef CACTIONPANEL_H
#define CACTIONPANEL_H

#include <glm/glm.hpp>

#include "shellcommand.h"

class CDisplay;
class CMeasureMarks;

// The Action panel: the selected atom (element, its CIF site and occupancy, coordinates, behind
// the Edit lock), the measurement of the picked atoms, the composition, and Undo / Redo. Needs a
// current ImGui frame.
class CActionPanel {
public:
    // Draws the panel while is_shown; returns Undo or Redo when pressed in this frame,
    // ECommand::NONE otherwise.
    ECommand Show(bool &is_shown, CDisplay &atom, const CMeasureMarks &marks);

    // The selected atom's controls are locked until Edit; any pick locks them again.
    bool is_atom_lock = true;

private:
    const double coordinate_step = 0.1;

    ECommand Content(CDisplay &atom, const CMeasureMarks &marks);
    void SelectedAtomControls(CDisplay &atom);
    static void SiteText(const CDisplay &atom);
    bool CoordinateControls(const CDisplay &atom, glm::dvec3 &p) const;
    static ECommand HistoryButtons(const CDisplay &atom);
    static void ElementChooser(CDisplay &atom);
    static void CompositionList(CDisplay &atom);
};

#endif
