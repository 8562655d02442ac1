#include "cpiemenu.h"

#include <imgui.h>

#include "cdisplay.h"
#include "menupie.h"

namespace {

const char *const PIE_POPUP_ID = "##piepopup";
// What each item does; the last, the atom's label, does nothing.
const ECommand ITEM_COMMANDS[] = {ECommand::TOGGLE_SYMBOL, ECommand::TOGGLE_INDEX, ECommand::TOGGLE_BONDS,
                                  ECommand::UNLOCK_ATOM,   ECommand::DELETE_ATOM,  ECommand::OPEN_BUILD,
                                  ECommand::NONE};
const int ITEM_COUNT = 7;

} // namespace

void CPieMenu::Open(float x, float y)
{
    centre_x = x;
    centre_y = y;
    is_select_pie = true;
}

ECommand CPieMenu::Show(const CDisplay &atom)
{
    if (!is_select_pie)
        return ECommand::NONE;
    items[ITEM_COUNT - 1] = PieGeometry::AtomItemLabel(atom.is_atom_selected, atom.selected_symbol, atom.selected_atom);
    ImGui::OpenPopup(PIE_POPUP_ID);
    const int choice =
        PiePopupSelectMenu(ImVec2(centre_x, centre_y), PIE_POPUP_ID, items, ITEM_COUNT, &selected, &is_select_pie);
    if (choice < 0 || choice >= ITEM_COUNT || !atom.is_visible)
        return ECommand::NONE;
    return ITEM_COMMANDS[choice];
}
