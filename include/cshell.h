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

    // Opens the file at `path` (the command line, a file dropped on the window) in the format its
    // name suggests, or the Input Format shown when it suggests none; unsaved edits are asked
    // about first. The combo then shows the format used.
    void OpenByName(const char *path);
    // A file dropped on the window, opened by the next ShowPanels.
    void QueueDrop(const char *path);
    // The window was asked to close: true when it may, false when unsaved edits are asked about
    // first (the window then stays open until the answer).
    bool ConfirmClose();

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
    void DrawScene();   // background, the structure when one is loaded, picked-atom marks, a
                        // requested image export

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
    const double coordinate_step = 0.1;
    std::vector<std::string> items{"Symbol", "Index", "Bonds", "Edit", "Delete", "-"};
    int selected = -1;
    char filePath[16384];
    char dirPath[16384];
    // The file choosers for Open and Save As, set up on the Choose File panel's first display.
    std::unique_ptr<ImGuiFs::Dialog> dlg;
    std::unique_ptr<ImGuiFs::Dialog> save_dlg;
    // Why the last load or save failed, shown in the Choose File panel; empty after a success.
    std::string file_message;
    // Atoms picked for a measurement (Shift+click adds), in picking order; the first is the one
    // a plain click selected. Empty while no atom is selected.
    std::vector<uint32_t> v_picked;
    // Image export: the file (empty: a free name beside the structure file), the size as a
    // multiple of the window's, and what the last export did.
    char image_path[4096];
    int image_scale = 1;
    std::string image_message;

private:
    struct KeyPress {
        int key;
        int action;
        int mods;
    };

    // A load waiting for the answer about unsaved edits, or to run now.
    struct SLoad {
        std::string dir, file;
        int format = 0;
        bool is_reload = false; // the file shown: its name stays, the combo keeps its choice
    };
    enum class EPending { NONE, LOAD, CLOSE };

    bool is_view_press = false; // the left button went down over the view
    bool is_event = false;
    bool is_adding_pick = false;    // the pending pick came from a Shift+click
    bool is_asking = false;         // the unsaved-edits question is to open
    bool is_close_confirmed = false;
    bool is_export_requested = false;
    EPending pending = EPending::NONE;
    SLoad pending_load;
    std::vector<KeyPress> key_queue;
    std::vector<std::string> dropped;

    void RunShortcut(const KeyPress &press);

    void RunPieCommand(int choice);
    void ToggleBonds();
    void DeleteSelectedAtom();
    void ResetView();
    void UndoEdit();
    void RedoEdit();
    void AfterHistoryStep();
    void NotePick();
    void DrawPickMarks() const;
    void RenderScene(int w, int h) const;
    void ExportImage();
    std::string DefaultImagePath() const;

    void ShowPanel(const char *title, bool &is_shown, int slot, void (CShell::*content)());
    void KeepPanelInside() const;
    void SettingsContent();
    void KeepBackground();
    void FileChooserContent();
    void ShowFormatCombo();
    void OpenChosenFile();
    void ReloadStructure();
    void RequestLoad(const SLoad &load);
    void RunLoad(const SLoad &load);
    bool HasUnsavedEdits() const;
    void ShowUnsavedQuestion();
    void AnswerUnsaved(bool save);
    bool LoadStructure(const char *dir, const char *file);
    void NameFile(const std::string &path);
    void SaveStructure();
    void SaveStructureAs(const std::string &path);
    void ShowFileMessage() const;
    std::string FileMessage(const char *what, const char *file, int format) const;
    void ActionContent();
    void SelectedAtomControls();
    bool CoordinateControls(glm::dvec3 &p);
    void MeasurementText() const;
    void HistoryButtons();
    void ShowElementChooser();
    void ImageExportControls();
};

#endif
