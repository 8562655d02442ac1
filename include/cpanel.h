#ifndef CPANEL_H
#define CPANEL_H

#include <cstdint>
#include <functional>

// What the shell's panels share: their window (placed at its first-use corner, fitted to its
// contents, kept inside the display, closed by its Close button) and the few widget habits they
// have in common. Needs a current ImGui frame.
class CPanel {
public:
    // First-use places: Choose File in the top left corner, Settings in the bottom left one,
    // Action in the top right one, Frames in the middle of the bottom edge and Selection in the
    // bottom right corner, away from the axes gizmo, so that they never overlap.
    enum ESlot { BOTTOM_LEFT, TOP_LEFT, TOP_RIGHT, BOTTOM_MIDDLE, BOTTOM_RIGHT };

    // Draws the panel `title` with `content` while is_shown; its Close button clears is_shown.
    static void Show(const char *title, bool &is_shown, ESlot slot, const std::function<void()> &content);
    // A panel drawn in this frame changed its size or contents' extent: it has not settled yet.
    static bool IsSettling();
    // A modal (a file chooser, a question) is open: nothing behind it takes the mouse or the keys.
    static bool IsModalOpen();
    // A panel has the keyboard's focus: given by a click into it, taken back by a click on the
    // view.
    static bool HasFocus();
    // The panel `title` (or a popup opened from it) has the keyboard's focus.
    static bool HasFocus(const char *title);
    // Greys out and disables the widgets between the two calls when is_disabled.
    static void PushDisabled(bool is_disabled);
    static void PopDisabled(bool is_disabled);
    // The periodic table as the popup `popup` (opened with ImGui::OpenPopup): one button per
    // element at its place in the table; true with `element` set when one was pressed.
    static bool ElementTable(const char *popup, uint32_t &element);
    // "Kivoa" with the version, as the Settings and Action panels head with it.
    static const char *VersionText();

private:
    static void KeepInside();
};

#endif
