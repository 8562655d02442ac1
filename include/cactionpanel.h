#ifndef CACTIONPANEL_H
#define CACTIONPANEL_H

#include <glm/glm.hpp>

#include "cbuildcontrols.h"
#include "shellcommand.h"

class CDisplay;
class CMeasureMarks;

// The Action panel: the selected atom (element, its CIF site and occupancy, coordinates, behind
// the Edit lock), the measurement of the picked atoms, the composition, Undo / Redo and the Build
// section. Needs a current ImGui frame.
class CActionPanel {
public:
    // Draws the panel while is_shown; returns Undo or Redo when pressed in this frame,
    // ECommand::NONE otherwise.
    ECommand Show(bool &is_shown, CDisplay &atom, const CMeasureMarks &marks);

    // The selected atom's controls are locked until Edit; any pick locks them again.
    bool is_atom_lock = true;
    // Shows the panel's Build section open from the next frame on.
    void OpenBuild() { is_build_wanted = true; }
    CBuildControls build;

private:
    // A typed position not yet applied: it becomes one edit when its field is left (Enter, Tab,
    // a click elsewhere) or a held step button is let go, as long as the atoms are as they were.
    struct STypedMove {
        bool is_pending = false;
        uint32_t atom = 0;
        uint64_t revision = 0;
        int field = -1;
        glm::dvec3 position{0.0};
    };

    const double coordinate_step = 0.1;
    STypedMove typed;
    bool is_build_wanted = false;
    // The atom a typed move put the atom onto, while the atoms are as that move left them.
    std::string move_note;
    uint64_t move_note_atoms = 0;

    ECommand Content(CDisplay &atom, const CMeasureMarks &marks);
    void SelectedAtomControls(CDisplay &atom);
    static void SiteText(const CDisplay &atom);
    // The fields of the position; the index of the field edited in this frame or -1, and in
    // `active` the one that has the keyboard or the pointer (-1 for none).
    int CoordinateControls(const CDisplay &atom, glm::dvec3 &p, int &active) const;
    void ApplyTypedMove(CDisplay &atom, int active);
    static ECommand HistoryButtons(const CDisplay &atom);
    static void ElementChooser(CDisplay &atom);
    static void CompositionList(CDisplay &atom);
    void BuildSection(CDisplay &atom);
};

#endif
