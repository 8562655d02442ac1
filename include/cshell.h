#ifndef CSHELL_H
#define CSHELL_H

#include <memory>
#include <string>

#include <imgui.h>

#include "cactionpanel.h"
#include "cconfig.h"
#include "cdocument.h"
#include "cfilepanel.h"
#include "cframespanel.h"
#include "cinit.h"
#include "cinput.h"
#include "cmeasuremarks.h"
#include "cpiemenu.h"
#include "cselectionpanel.h"
#include "csettingspanel.h"
#include "cviewexport.h"
#include "cwindowscene.h"

struct GLFWwindow;
class CDisplay;

// The application between frames: the window's input, the document, the panels, the pie menu,
// the measurement marks and the image export, the background colour, the settings store and
// the configuration paths. `main` owns the window, the GUI context and the frame loop and calls
// the steps below in frame order; they need a current ImGui frame (and, for DrawScene, the
// OpenGL context).
class CShell {
public:
    CShell();

    // Start-up, once the GUI context exists: the user's configuration folder and the layout file.
    void PrepareConfig(const char *home = "/home");
    // Start-up: the settings file and the background colour kept in it.
    void LoadSettings();
    // Start-up, once `atom` exists: the document of its structure; the font and Axes controls
    // start from the display's values.
    void InitPanels();
    // Start-up, once the GUI's GLFW back-end is installed: the window's events come to `input`.
    void ConnectWindow(GLFWwindow *w);

    // Opens the file at `path` (the command line, a file dropped on the window) in the format its
    // name suggests, or the Input Format shown when it suggests none; unsaved edits are asked
    // about first. The combo then shows the format used.
    void OpenByName(const char *path);
    // The window was asked to close: true when it may, false when unsaved edits are asked about
    // first (the window then stays open until the answer).
    bool ConfirmClose();

    // True once for the events that came since the last call.
    bool TakeEvents() { return input.TakeEvents(); }
    // Seconds after which the GUI changes without input (a held button repeats, a text cursor
    // blinks); 0 when it stands still.
    double AnimationWait() const;

    // Each frame, between ImGui::NewFrame and ImGui::Render, in this order.
    void RouteMouse();  // trackball drag, pick request, wheel zoom, pie menu opening
    void RouteKeys();   // keyboard shortcuts, each queued press once
    void ShowPieMenu(); // the pie menu and its command, while it is open
    void ShowPanels();  // a dropped file; Frames, Settings, Choose File and Action panels; a question
    void DrawScene();   // background, the structure when one is loaded, picked-atom marks, a
                        // requested image export
    // The last DrawScene showed the picture drawn before, as nothing in it had changed.
    bool IsSceneKept() const { return scene.IsKept(); }

    // Shutdown: writes the settings file.
    void SaveSettings();
    // Shutdown, while the OpenGL context is still there: the offscreen pictures go.
    void ReleaseTargets();

    GLFWwindow *window = nullptr;
    CDisplay *atom = nullptr;
    CConfig paths; // p_user, config, inidata, cmd
    CInit inicfg;
    bool is_config = false; // the configuration paths are usable

    char win_title[256];
    ImVec4 clear_color;
    bool show_settings_window = true;
    bool show_file_chooser = true;
    bool show_action_window = true;
    bool show_frames_window = true; // again with each file read
    bool show_selection_window = false;
    bool is_keys_to_view = true; // at start and after a file is read, the view takes the keys
    int display_w = 0, display_h = 0;

    CInput input;
    // The file shown; made by InitPanels.
    std::unique_ptr<CDocument> document;
    CSettingsPanel settings;
    CFilePanel files;
    CActionPanel action;
    CFramesPanel frames;
    CSelectionPanel selection_panel;
    CPieMenu pie;
    CMeasureMarks marks;
    CViewExport exporter;

private:
    CWindowScene scene; // the window's picture
    std::string titled_path; // the file the window's title names
    bool is_titled_edited = false; // ... and whether it says the edits are unsaved

    void Run(ECommand command);
    void ToggleBonds();
    void DeleteSelection();
    void SelectBox();
    void RunSelection(ECommand command);
    void GiveKeysToView();
    void DrawBox() const;
    void ForgetPick();
    void ResetView();
    void StepHistory(bool is_undo);
    void KeepBackground();
    void ShowQuestion();
    void TitleWindow();
    void ExportImage();
};

#endif
