#ifndef CSHELL_H
#define CSHELL_H

#include <memory>
#include <string>
#include <vector>

#include <glm/glm.hpp>
#include <imgui.h>

#include "cconfig.h"
#include "cinit.h"
#include "imguifilesystem.h"

struct GLFWwindow;
class CDisplay;

// The application's state between frames: panel visibility, mouse and edit state, the background
// colour, the settings store and the configuration paths. `main` owns the window, the GUI
// context and the frame loop and calls the steps below in frame order; they need a current ImGui
// frame (and, for DrawScene, the OpenGL context).
class CShell {
public:
    CShell();

    // Start-up, once the GUI context exists: the user's configuration folder and the layout file.
    void PrepareConfig(const char *home = "/home");
    // Start-up: the settings file and the background colour kept in it.
    void LoadSettings();
    // Start-up, once `atom` exists: the font and Axes controls start from the display's values.
    void InitPanels();
    // Start-up, once the GUI's GLFW back-end is installed: key presses are queued for the
    // shortcuts and every input or window event is noted, each callback passing the event on
    // to the back-end's; the arrow keys pan the view instead of moving the GUI's focus.
    void ConnectWindow(GLFWwindow *w);
    static void KeyCallback(GLFWwindow *w, int key, int scancode, int action, int mods);

    // A key event as GLFW reports it (action GLFW_PRESS, GLFW_REPEAT or GLFW_RELEASE).
    void QueueKey(int key, int action, int mods);
    void NoteEvent() { is_event = true; }
    // True once for the events that came since the last call.
    bool TakeEvents();
    // Seconds after which the GUI changes without input (a held button repeats, a text cursor
    // blinks); 0 when it stands still.
    double AnimationWait() const;

    // Each frame, between ImGui::NewFrame and ImGui::Render, in this order.
    void RouteMouse();  // trackball drag, pick request, wheel zoom, pie menu opening
    void RouteKeys();   // keyboard shortcuts, each queued press once
    void ShowPieMenu(); // the pie menu and its command, while is_select_pie
    void ShowPanels();  // Settings, Choose File and Action panels
    void DrawScene();   // background, then the structure when one is loaded

    // Shutdown: writes the settings file.
    void SaveSettings();

    GLFWwindow *window = nullptr;
    CDisplay *atom = nullptr;
    CConfig paths; // p_user, config, inidata, cmd
    CInit inicfg;
    bool is_config = false; // the configuration paths are usable

    char user_version[64];
    char win_title[256];
    ImVec4 clear_color;
    bool show_settings_window = true;
    bool show_file_chooser = true;
    bool show_action_window = true;
    bool is_select_pie = false;
    bool is_mouse = false;
    bool is_atom_lock = true;
    float iposx = 0, iposy = 0;
    float pposx = 0, pposy = 0;
    int display_w = 0, display_h = 0;
    glm::vec3 axis_position{0.0f};
    float font = 0;
    const float f32_one = 0.1f;
    const char *format_items[3] = {"XYZ", "VASP", "PDB"};
    std::vector<std::string> items{"Symbol", "Index", "Bonds", "Edit", "Delete", "-"};
    int selected = -1;
    char filePath[16384];
    char dirPath[16384];
    // Preview of the Input Format combo and the file chooser, both set up on the Choose File
    // panel's first display.
    const char *item_current = nullptr;
    std::unique_ptr<ImGuiFs::Dialog> dlg;
    // Why the last load or save failed, shown in the Choose File panel; empty after a success.
    std::string file_message;

private:
    struct KeyPress {
        int key;
        int action;
        int mods;
    };

    bool is_view_press = false; // the left button went down over the view
    bool is_event = false;
    std::vector<KeyPress> key_queue;

    void RunShortcut(const KeyPress &press);

    void RunPieCommand(int choice);
    void ToggleBonds();
    void DeleteSelectedAtom();
    void ResetView();

    void ShowPanel(const char *title, bool &is_shown, int slot, void (CShell::*content)());
    void KeepPanelInside() const;
    void SettingsContent();
    void KeepBackground();
    void FileChooserContent();
    void ShowFormatCombo();
    void OpenChosenFile();
    void ReloadStructure();
    bool LoadStructure(const char *dir, const char *file);
    void SaveStructure();
    void ShowFileMessage() const;
    std::string FileMessage(const char *what, const char *file, int format) const;
    const char *FormatName(int format) const;
    void ActionContent();
    void SelectedAtomControls();
    void ShowElementChooser();
};

#endif
