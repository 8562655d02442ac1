#ifndef CPIEMENU_H
#define CPIEMENU_H

#include <string>
#include <vector>

#include "shellcommand.h"

class CDisplay;

// The right-click pie menu: Symbol, Index, Bonds, Edit, Delete and the picked atom's label
// around the point clicked. Needs a current ImGui frame.
class CPieMenu {
public:
    // Opens the menu around (x, y), window pixels.
    void Open(float x, float y);
    // While open: draws the menu and returns the command chosen in this frame (none without a
    // structure), ECommand::NONE otherwise.
    ECommand Show(const CDisplay &atom);

    bool is_select_pie = false; // the menu is open
    int selected = -1;          // the item last chosen

private:
    std::vector<std::string> items{"Symbol", "Index", "Bonds", "Edit", "Delete", "Build", "-"};
    float centre_x = 0, centre_y = 0;
};

#endif
