#ifndef CPANEL_H
#define CPANEL_H

#include <functional>

// What the shell's panels share: their window (placed at its first-use corner, fitted to its
// contents, kept inside the display, closed by its Close button) and the few widget habits they
// have in common. Needs a current ImGui frame.
class CPanel {
public:
    // First-use places: Choose File in the top left corner, Settings in the bottom left one and
    // Action in the top right one, away from the axes gizmo, so that the three never overlap.
    enum ESlot { BOTTOM_LEFT, TOP_LEFT, TOP_RIGHT };

    // Draws the panel `title` with `content` while is_shown; its Close button clears is_shown.
    static void Show(const char *title, bool &is_shown, ESlot slot, const std::function<void()> &content);
    // A modal (a file chooser, a question) is open: nothing behind it takes the mouse or the keys.
    static bool IsModalOpen();
    // Greys out and disables the widgets between the two calls when is_disabled.
    static void PushDisabled(bool is_disabled);
    static void PopDisabled(bool is_disabled);
    // "Kivoa" with the version, as the Settings and Action panels head with it.
    static const char *VersionText();

private:
    static void KeepInside();
};

#endif
