#ifndef CINPUT_H
#define CINPUT_H

#include <cstdint>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "cselection.h"
#include "shellcommand.h"

struct GLFWwindow;
class CDisplay;

// What reaches the viewer from the window: key presses queued for the shortcuts, dropped files,
// a note that something happened (so that the frame loop wakes), and each frame's mouse routing
// between the view, the panels and the pie menu.
class CInput {
public:
    // Which keys act how: a key with Ctrl, without it, or either way. Held down, a key that
    // repeats acts again at the keyboard's repeat rate; the others act once per press.
    enum class EMods { PLAIN, CTRL, ANY };
    struct SShortcut {
        int key;
        EMods mods;
        bool repeats;
        ECommand command;
    };
    // The one table of shortcuts: the keys act by it, and the README's key list is checked
    // against it.
    static const std::vector<SShortcut> &Shortcuts();
    // How the README names a shortcut's key: "B", "Ctrl+S", "Delete", "Left".
    static std::string KeyLabel(const SShortcut &shortcut);

    // What a mouse press over the view started.
    enum class EClick { NONE, PICK, ADD_PICK, PIE, BOX };

    // Once the GUI's GLFW back-end is installed: every input or window event is noted, key
    // presses are queued and dropped files kept, each callback passing the event on to the
    // back-end's.
    void Connect(GLFWwindow *w);
    static void KeyCallback(GLFWwindow *w, int key, int scancode, int action, int mods);

    // A key event as GLFW reports it (action GLFW_PRESS, GLFW_REPEAT or GLFW_RELEASE).
    void QueueKey(int key, int action, int mods);
    void QueueDrop(const char *path);
    // The kinds of event that wake the frame loop, as bits.
    enum EEvent : uint32_t {
        EVENT_KEY = 1,
        EVENT_CHAR = 2,
        EVENT_BUTTON = 4,
        EVENT_SCROLL = 8,
        EVENT_ENTER = 16,
        EVENT_FOCUS = 32,
        EVENT_CURSOR = 64,
        EVENT_RESIZE = 128,
        EVENT_REFRESH = 256,
        EVENT_DROP = 512,
        EVENT_OTHER = 1024,
    };
    void NoteEvent(EEvent kind = EVENT_OTHER) { u_events |= kind; }
    // The pointer moved to (x, y) in window units; with is_left_press the left button went down
    // there.
    void NotePointer(double x, double y, bool is_left_press);
    // True once for the events that came since the last call.
    bool TakeEvents();
    // The kinds of the events the last TakeEvents took, named and joined by commas.
    std::string TakenEventNames() const;
    // The first file of the last drop, once (empty when none), while no modal is open.
    std::string TakeDrop();

    // Each frame: trackball drag, pick request and wheel zoom on the display; a right click
    // asks for the pie menu at (click_x, click_y). A left press released where it went down
    // picks there; one that moved further turns the view. Nothing while the pie menu or a modal
    // is open.
    EClick RouteMouse(CDisplay &atom, bool is_pie_open);
    // Each frame: the commands of the key presses queued since the last frame, in order, each
    // with the Ctrl state it was pressed with; none while a text field or a modal takes them,
    // and no arrow or Space while a panel has the focus (they move through the panel then).
    std::vector<ECommand> TakeShortcuts();

    bool is_mouse = false; // a drag is turning the view
    // A Ctrl+drag draws a selection box from box_from to box_to (window pixels); Shift adds its
    // atoms to the selection, Alt takes them out of it, else they replace it.
    bool is_box = false;
    glm::vec2 box_from{0.0f}, box_to{0.0f};
    CSelection::EMode box_mode = CSelection::EMode::REPLACE;
    float click_x = 0, click_y = 0; // where the last press over the view was

private:
    static bool IsNavigationKey(int key);
    static bool IsPlayKey(int key);
    static bool FollowPanelFocus();

    struct SKeyPress {
        int key;
        int action;
        int mods;
    };

    bool is_view_press = false; // the left button went down over the view
    bool is_shift_press = false; // ... with Shift held: a pick adds to the measured atoms
    uint32_t u_events = 0, u_taken_events = 0;
    glm::vec2 pointer{0.0f}, press_point{0.0f};
    bool is_pointer_known = false;
    bool is_press_noted = false;
    std::vector<SKeyPress> key_queue;
    std::vector<std::string> dropped;

    static ECommand Match(const SKeyPress &press);
    EClick FollowBox();
    glm::vec2 TakePressPoint();
};

#endif
