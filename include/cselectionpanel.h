#ifndef CSELECTIONPANEL_H
#define CSELECTIONPANEL_H

#include <cstdint>
#include <string>
#include <vector>
#include <glm/glm.hpp>

#include "shellcommand.h"

class CDisplay;

// The Selection panel: how many atoms are selected and of which elements; select all, none or
// the inverse, hide and show; the edits of the selection (delete, element, move by a vector in
// angstrom or along the cell vectors).
// Needs a current ImGui frame.
class CSelectionPanel {
public:
    // Draws the panel while is_shown; returns the command of a button shared with the keys
    // (select, hide, show, delete), ECommand::NONE otherwise. Its own edits act on `atom`.
    ECommand Show(bool &is_shown, CDisplay &atom);

private:
    glm::dvec3 shift{0.0};
    glm::dvec3 fraction_shift{0.0};
    // The selection's composition, made again when the selection or the atoms change.
    uint64_t composed_selection = UINT64_MAX, composed_atoms = UINT64_MAX;
    std::vector<uint32_t> v_elements, v_counts;

    ECommand Content(CDisplay &atom);
    ECommand SetButtons(const CDisplay &atom);
    void Composition(const CDisplay &atom);
    void SelectionEdits(CDisplay &atom);
};

#endif
