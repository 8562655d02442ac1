#ifndef CBUILDCONTROLS_H
#define CBUILDCONTROLS_H

#include <cstdint>
#include <string>
#include <glm/glm.hpp>

class CDisplay;

// The Build section of the Action panel: a new atom at a typed place or in front of the picked
// atom, a supercell and the wrap into the cell. A supercell or a wrap fits the view to the new
// extent. Needs a current ImGui frame.
class CBuildControls {
public:
    // Draws the section's controls; their edits act on `atom`.
    void Show(CDisplay &atom);
    // What the last build said: why it was refused, or the atom a new one lies on.
    std::string message;

private:
    uint32_t new_element = 7; // oxygen
    glm::dvec3 new_position{0.0};
    double new_distance = 1.5;
    int repeat[3] = {2, 2, 2};

    void AddControls(CDisplay &atom);
    void CellControls(CDisplay &atom);
};

#endif
