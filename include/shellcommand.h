#ifndef SHELLCOMMAND_H
#define SHELLCOMMAND_H

// What a key, a pie item or a panel button asks the shell to do; the shell runs each the same way
// whichever asked.
enum class ECommand {
    NONE,
    DELETE_ATOM,
    UNLOCK_ATOM,
    TOGGLE_SETTINGS,
    TOGGLE_FILES,
    TOGGLE_ACTION,
    TOGGLE_SYMBOL,
    TOGGLE_INDEX,
    TOGGLE_BONDS,
    TOGGLE_BOX,
    VIEW_YZ,
    VIEW_ZX,
    VIEW_XY,
    PAN_RIGHT,
    PAN_LEFT,
    PAN_UP,
    PAN_DOWN,
    RESET_VIEW, // the view and the Axes fields
    UNDO,
    REDO,
    EXPORT_IMAGE,
    KEEP_BACKGROUND,
    FRAME_PREVIOUS,
    FRAME_NEXT,
    FRAME_FIRST,
    FRAME_LAST,
    TOGGLE_PLAY,
    TOGGLE_SELECTION_PANEL,
    OPEN_BUILD, // the Action panel with its Build section open
    SELECT_ALL,
    SELECT_NONE,
    SELECT_INVERT,
    HIDE_SELECTED,
    SHOW_ALL,
};

#endif
