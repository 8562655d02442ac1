#include "cinput.h"

#include <iterator>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <imgui.h>
#include <imgui_internal.h>

#include "cdisplay.h"
#include "cframespanel.h"
#include "cpanel.h"

namespace {

using EMods = CInput::EMods;

// How far a left press may move before its release and still pick.
const float DRAG_PIXELS = 4.0f;

CInput *InputOf(GLFWwindow *w)
{
    return static_cast<CInput *>(glfwGetWindowUserPointer(w));
}

void NoteEventOf(GLFWwindow *w, CInput::EEvent kind)
{
    if (CInput *input = InputOf(w))
        input->NoteEvent(kind);
}

bool IsPointerOverPanel()
{
    return ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem) ||
           ImGui::IsWindowHovered(ImGuiHoveredFlags_AnyWindow) ||
           ImGui::IsWindowHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem);
}

bool ModsFit(EMods mods, int pressed)
{
    const bool ctrl = (pressed & GLFW_MOD_CONTROL) != 0;
    return mods == EMods::ANY || (mods == EMods::CTRL) == ctrl;
}

} // namespace

// Toggles and deletions act once per press; only the pan and frame step keys repeat while held.
const std::vector<CInput::SShortcut> &CInput::Shortcuts()
{
    static const std::vector<SShortcut> table = {
        {GLFW_KEY_DELETE, EMods::ANY, false, ECommand::DELETE_ATOM},
        {GLFW_KEY_S, EMods::CTRL, false, ECommand::TOGGLE_SETTINGS},
        {GLFW_KEY_F, EMods::CTRL, false, ECommand::TOGGLE_FILES},
        {GLFW_KEY_A, EMods::CTRL, false, ECommand::TOGGLE_ACTION},
        {GLFW_KEY_X, EMods::CTRL, false, ECommand::VIEW_YZ},
        {GLFW_KEY_Y, EMods::CTRL, false, ECommand::VIEW_ZX},
        {GLFW_KEY_Z, EMods::CTRL, false, ECommand::VIEW_XY},
        {GLFW_KEY_U, EMods::CTRL, false, ECommand::UNDO},
        {GLFW_KEY_R, EMods::CTRL, false, ECommand::REDO},
        {GLFW_KEY_E, EMods::CTRL, false, ECommand::EXPORT_IMAGE},
        {GLFW_KEY_L, EMods::CTRL, false, ECommand::TOGGLE_SELECTION_PANEL},
        {GLFW_KEY_H, EMods::CTRL, false, ECommand::SHOW_ALL},
        {GLFW_KEY_A, EMods::PLAIN, false, ECommand::SELECT_ALL},
        {GLFW_KEY_N, EMods::PLAIN, false, ECommand::SELECT_NONE},
        {GLFW_KEY_V, EMods::PLAIN, false, ECommand::SELECT_INVERT},
        {GLFW_KEY_H, EMods::PLAIN, false, ECommand::HIDE_SELECTED},
        {GLFW_KEY_S, EMods::PLAIN, false, ECommand::TOGGLE_SYMBOL},
        {GLFW_KEY_B, EMods::PLAIN, false, ECommand::TOGGLE_BONDS},
        {GLFW_KEY_C, EMods::PLAIN, false, ECommand::TOGGLE_BOX},
        {GLFW_KEY_I, EMods::PLAIN, false, ECommand::TOGGLE_INDEX},
        {GLFW_KEY_ESCAPE, EMods::PLAIN, false, ECommand::RESET_VIEW},
        {GLFW_KEY_RIGHT, EMods::PLAIN, true, ECommand::PAN_RIGHT},
        {GLFW_KEY_LEFT, EMods::PLAIN, true, ECommand::PAN_LEFT},
        {GLFW_KEY_UP, EMods::PLAIN, true, ECommand::PAN_UP},
        {GLFW_KEY_DOWN, EMods::PLAIN, true, ECommand::PAN_DOWN},
        {GLFW_KEY_COMMA, EMods::PLAIN, true, ECommand::FRAME_PREVIOUS},
        {GLFW_KEY_PERIOD, EMods::PLAIN, true, ECommand::FRAME_NEXT},
        {GLFW_KEY_HOME, EMods::PLAIN, false, ECommand::FRAME_FIRST},
        {GLFW_KEY_END, EMods::PLAIN, false, ECommand::FRAME_LAST},
        {GLFW_KEY_SPACE, EMods::PLAIN, false, ECommand::TOGGLE_PLAY},
    };
    return table;
}

std::string CInput::KeyLabel(const SShortcut &shortcut)
{
    const std::string ctrl = shortcut.mods == EMods::CTRL ? "Ctrl+" : "";
    if (shortcut.key >= GLFW_KEY_A && shortcut.key <= GLFW_KEY_Z)
        return ctrl + static_cast<char>('A' + (shortcut.key - GLFW_KEY_A));
    const std::pair<int, const char *> names[] = {
        {GLFW_KEY_DELETE, "Delete"}, {GLFW_KEY_ESCAPE, "Esc"}, {GLFW_KEY_RIGHT, "Right"}, {GLFW_KEY_LEFT, "Left"},
        {GLFW_KEY_UP, "Up"},         {GLFW_KEY_DOWN, "Down"},  {GLFW_KEY_COMMA, "Comma"}, {GLFW_KEY_PERIOD, "Period"},
        {GLFW_KEY_HOME, "Home"},     {GLFW_KEY_END, "End"},    {GLFW_KEY_SPACE, "Space"}};
    for (const auto &name : names)
        if (name.first == shortcut.key)
            return ctrl + name.second;
    return ctrl + "key " + std::to_string(shortcut.key);
}

ECommand CInput::Match(const SKeyPress &press)
{
    for (const SShortcut &shortcut : Shortcuts())
        if (shortcut.key == press.key && ModsFit(shortcut.mods, press.mods) &&
            (press.action == GLFW_PRESS || shortcut.repeats))
            return shortcut.command;
    return ECommand::NONE;
}

// The keys the GUI's keyboard navigation moves and presses with.
bool CInput::IsNavigationKey(int key)
{
    return key == GLFW_KEY_LEFT || key == GLFW_KEY_RIGHT || key == GLFW_KEY_UP || key == GLFW_KEY_DOWN ||
           key == GLFW_KEY_SPACE;
}

// Space plays and pauses also while the Frames panel has the keyboard (a click on its slider
// gives it), unless a text field takes the typing; the GUI never sees it then, so that it presses
// no control of the panel as well.
bool CInput::IsPlayKey(int key)
{
    return key == GLFW_KEY_SPACE && CPanel::HasFocus(CFramesPanel::TITLE) && !ImGui::GetIO().WantTextInput;
}

// Keyboard navigation (Tab, the arrows, Space) only while a panel has the focus; the arrows pan
// the view and Space plays otherwise. Off, it also gives the pointer its hover back, which keys
// would take away until the pointer moves (the chooser's double click needs it).
bool CInput::FollowPanelFocus()
{
    ImGuiIO &io = ImGui::GetIO();
    if (CPanel::HasFocus()) {
        io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
        return true;
    }
    io.ConfigFlags &= ~ImGuiConfigFlags_NavEnableKeyboard;
    ImGui::GetCurrentContext()->NavDisableMouseHover = false;
    return false;
}

// Shortcut keys act on the view only while no text field takes the typing: Delete or S typed
// into a coordinate field or the chooser's location edit that field, not the structure.
std::vector<ECommand> CInput::TakeShortcuts()
{
    const bool is_panel_navigation = FollowPanelFocus();
    std::vector<SKeyPress> presses;
    presses.swap(key_queue);
    std::vector<ECommand> commands;
    if (ImGui::GetIO().WantTextInput || CPanel::IsModalOpen())
        return commands;
    for (const SKeyPress &press : presses)
        if (press.action != GLFW_RELEASE &&
            (!is_panel_navigation || !IsNavigationKey(press.key) || IsPlayKey(press.key)))
            commands.push_back(Match(press));
    return commands;
}

CInput::EClick CInput::RouteMouse(CDisplay &atom, bool is_pie_open)
{
    // A drag rotates only when its press went to the view, not to a panel or the pie.
    if (ImGui::IsMouseClicked(0))
        is_view_press = false;
    if (is_pie_open || !ImGui::IsMousePosValid() || CPanel::IsModalOpen()) {
        is_mouse = false;
        is_box = false;
        return EClick::NONE;
    }
    // A box being drawn goes on over the panels too.
    if (is_box)
        return FollowBox();
    // A drag that started over the view keeps rotating while the pointer crosses a panel.
    if (!is_mouse) {
        if (ImGui::IsAnyItemActive())
            return EClick::NONE;
        if (IsPointerOverPanel()) {
            is_mouse = false;
            return EClick::NONE;
        }
    }
    const ImGuiIO &io = ImGui::GetIO();
    if (!ImGui::IsWindowHovered() && ImGui::IsMouseClicked(1)) {
        click_x = io.MousePos.x;
        click_y = io.MousePos.y;
        if (atom.is_visible)
            atom.SetPicking(static_cast<int>(click_x), static_cast<int>(click_y));
        return EClick::PIE;
    }
    if (ImGui::IsMouseClicked(0)) {
        const glm::vec2 at = TakePressPoint();
        click_x = at.x;
        click_y = at.y;
        if (io.KeyCtrl && atom.is_visible) {
            is_box = true;
            box_from = box_to = glm::vec2(click_x, click_y);
            box_mode = CSelection::ModeOf(io.KeyShift, io.KeyAlt);
            return EClick::NONE;
        }
        atom.SetTrackLastPosition(click_x, click_y);
        is_view_press = true;
        is_shift_press = io.KeyShift;
        return EClick::NONE;
    }
    // A press that wanders more than a few pixels is a turn of the view, never a pick.
    if (is_view_press && ImGui::IsMouseDown(0) && (is_mouse || ImGui::IsMouseDragging(0, DRAG_PIXELS))) {
        atom.SetTrackCurretPosition(io.MousePos.x, io.MousePos.y);
        atom.NoteViewMoved();
        is_mouse = true;
    } else if (is_view_press && ImGui::IsMouseReleased(0)) {
        is_view_press = false;
        // The moves of a drag may all come with its release, within one slow frame: a release away
        // from the press turns the view there, as the moves would have.
        const glm::vec2 release(io.MousePos.x, io.MousePos.y);
        if (!is_mouse && glm::distance(release, glm::vec2(click_x, click_y)) >= DRAG_PIXELS) {
            atom.SetTrackCurretPosition(io.MousePos.x, io.MousePos.y);
            atom.NoteViewMoved();
            is_mouse = true;
        }
        if (is_mouse) {
            atom.SetTrackLastRotation();
            is_mouse = false;
        } else if (atom.is_visible) {
            atom.SetPicking(static_cast<int>(click_x), static_cast<int>(click_y));
            return is_shift_press ? EClick::ADD_PICK : EClick::PICK;
        }
    } else if (io.MouseWheel != 0.0f) {
        atom.SetZoom(io.MouseWheel * 0.1f);
        atom.NoteViewMoved();
    }
    return EClick::NONE;
}

CInput::EClick CInput::FollowBox()
{
    const ImVec2 pointer = ImGui::GetIO().MousePos;
    box_to = glm::vec2(pointer.x, pointer.y);
    if (ImGui::IsMouseDown(0))
        return EClick::NONE;
    is_box = false;
    return EClick::BOX;
}

void CInput::NotePointer(double x, double y, bool is_left_press)
{
    pointer = glm::vec2(static_cast<float>(x), static_cast<float>(y));
    is_pointer_known = true;
    if (is_left_press) {
        press_point = pointer;
        is_press_noted = true;
    }
    NoteEvent(is_left_press ? EVENT_BUTTON : EVENT_CURSOR);
}

// Where the left button went down: the pointer's place among the window's events, which a fast
// first motion in the same frame has left behind (the GUI sees only where the pointer is now).
glm::vec2 CInput::TakePressPoint()
{
    const ImVec2 now = ImGui::GetIO().MouseClickedPos[0];
    const glm::vec2 at = is_press_noted ? press_point : glm::vec2(now.x, now.y);
    is_press_noted = false;
    return at;
}

void CInput::QueueKey(int key, int action, int mods)
{
    key_queue.push_back(SKeyPress{key, action, mods});
    NoteEvent(EVENT_KEY);
}

void CInput::QueueDrop(const char *path)
{
    dropped.emplace_back(path);
    NoteEvent(EVENT_DROP);
}

bool CInput::TakeEvents()
{
    u_taken_events = u_events;
    u_events = 0;
    return u_taken_events != 0;
}

std::string CInput::TakenEventNames() const
{
    static const char *const NAMES[] = {"key",    "char",    "button",  "scroll", "enter", "focus",
                                        "cursor", "resize", "refresh", "drop",   "other"};
    std::string names;
    for (size_t k = 0; k < std::size(NAMES); ++k)
        if ((u_taken_events >> k & 1u) != 0)
            names += (names.empty() ? "" : ",") + std::string(NAMES[k]);
    return names;
}

std::string CInput::TakeDrop()
{
    if (dropped.empty() || CPanel::IsModalOpen())
        return std::string();
    const std::string first = dropped.front();
    dropped.clear();
    return first;
}

void CInput::KeyCallback(GLFWwindow *w, int key, int scancode, int action, int mods)
{
    if (CInput *input = InputOf(w))
        input->QueueKey(key, action, mods);
    if (IsPlayKey(key))
        return;
    // The GUI hides its keyboard focus after a click and ignores Space until an arrow shows it
    // again; a navigation key shows it at once, so that Space presses the control just clicked.
    if ((ImGui::GetIO().ConfigFlags & ImGuiConfigFlags_NavEnableKeyboard) != 0 && IsNavigationKey(key))
        ImGui::GetCurrentContext()->NavDisableHighlight = false;
    ImGui_ImplGlfw_KeyCallback(w, key, scancode, action, mods);
}

void CInput::Connect(GLFWwindow *w)
{
    glfwSetWindowUserPointer(w, this);
    glfwSetKeyCallback(w, KeyCallback);
    glfwSetCharCallback(w, [](GLFWwindow *g, unsigned int c) {
        NoteEventOf(g, EVENT_CHAR);
        ImGui_ImplGlfw_CharCallback(g, c);
    });
    glfwSetMouseButtonCallback(w, [](GLFWwindow *g, int button, int action, int mods) {
        CInput *input = InputOf(g);
        if (input != nullptr && input->is_pointer_known)
            input->NotePointer(input->pointer.x, input->pointer.y, button == GLFW_MOUSE_BUTTON_LEFT && action == GLFW_PRESS);
        else
            NoteEventOf(g, EVENT_BUTTON);
        ImGui_ImplGlfw_MouseButtonCallback(g, button, action, mods);
    });
    glfwSetScrollCallback(w, [](GLFWwindow *g, double x, double y) {
        NoteEventOf(g, EVENT_SCROLL);
        ImGui_ImplGlfw_ScrollCallback(g, x, y);
    });
    glfwSetCursorEnterCallback(w, [](GLFWwindow *g, int entered) {
        NoteEventOf(g, EVENT_ENTER);
        ImGui_ImplGlfw_CursorEnterCallback(g, entered);
    });
    glfwSetWindowFocusCallback(w, [](GLFWwindow *g, int focused) {
        NoteEventOf(g, EVENT_FOCUS);
        ImGui_ImplGlfw_WindowFocusCallback(g, focused);
    });
    // The GUI back-end reads these by polling; they only need to wake the frame loop.
    glfwSetCursorPosCallback(w, [](GLFWwindow *g, double x, double y) {
        if (CInput *input = InputOf(g))
            input->NotePointer(x, y, false);
    });
    glfwSetFramebufferSizeCallback(w, [](GLFWwindow *g, int, int) { NoteEventOf(g, EVENT_RESIZE); });
    glfwSetWindowRefreshCallback(w, [](GLFWwindow *g) { NoteEventOf(g, EVENT_REFRESH); });
    // One structure is shown at a time: of several files dropped together the first is opened.
    glfwSetDropCallback(w, [](GLFWwindow *g, int count, const char **paths) {
        if (CInput *input = InputOf(g); input != nullptr && count > 0)
            input->QueueDrop(paths[0]);
    });
}
