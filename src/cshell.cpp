#include "cshell.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits.h>
#include <stdlib.h>

#include <glad/gl.h>
#include <glm/gtc/constants.hpp>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <imgui_internal.h>

#include "cdisplay.h"
#include "cfspath.h"
#include "cimageexport.h"
#include "elements.h"
#include "fileformats.h"
#include "measure.h"
#include "menupie.h"
#include "version.h"

namespace {

const ImVec4 DEFAULT_CLEAR_COLOR(0.07f, 0.34f, 0.47f, 1.0f);

const float HALF_PI = glm::half_pi<float>();
// selected_zatom of an atom that has no element.
const uint32_t NO_ZATOM = 4294967295u;
// Atoms a measurement takes at most: a dihedral's four.
const size_t MAX_PICKED = 4;
const int IMAGE_SCALES[] = {1, 2, 4};
const float PANEL_MARGIN = 10.0f;
// Seconds between frames while a held button repeats (the GUI's repeat rate) and while a text
// cursor blinks.
const double HELD_BUTTON_WAIT = 0.05;
const double CURSOR_BLINK_WAIT = 0.4;
// Panels fit their contents at every frame, so that no control or text is ever cut.
const ImGuiWindowFlags PANEL_FLAGS = ImGuiWindowFlags_AlwaysAutoResize;
const ImVec2 ELEMENT_BUTTON_SIZE(30.0f, 20.0f);
const ImVec4 MESSAGE_COLOR(1.0f, 0.45f, 0.4f, 1.0f);
const char *const PIE_POPUP_ID = "##piepopup";
const char *const SETTINGS_TITLE = "Settings (ctrl+s)";
const char *const FILE_CHOOSER_TITLE = "Choose File (ctrl+f)";
const char *const ACTION_TITLE = "Action (ctrl+a)";
const char *const UNSAVED_TITLE = "Unsaved edits";
const ImU32 MARK_COLOR = IM_COL32(255, 230, 0, 255);
const ImU32 MARK_FILL = IM_COL32(20, 20, 20, 220);
const float MARK_RADIUS = 10.0f;

struct Shortcut {
    int key;
    bool enabled;
    bool repeats; // held down, the key acts again at the keyboard's repeat rate
    std::function<void()> command;
};

void Toggle(bool &flag) { flag = !flag; }

// The file chooser: while it is open nothing behind it takes the mouse or the keys.
bool IsModalOpen()
{
    return ImGui::GetTopMostPopupModal() != nullptr;
}

CShell *ShellOf(GLFWwindow *w)
{
    return static_cast<CShell *>(glfwGetWindowUserPointer(w));
}

void NoteEventOf(GLFWwindow *w)
{
    if (CShell *shell = ShellOf(w))
        shell->NoteEvent();
}

// Where a panel at `pos` of `size` goes so that it lies inside the display, or, larger than the
// display, starts at its top left corner.
ImVec2 PanelPlaceInside(const ImVec2 &pos, const ImVec2 &size, const ImVec2 &display)
{
    return ImVec2(std::max(std::min(pos.x, display.x - size.x), 0.0f),
                  std::max(std::min(pos.y, display.y - size.y), 0.0f));
}

bool IsPointerOverPanel()
{
    return ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem) ||
           ImGui::IsWindowHovered(ImGuiHoveredFlags_AnyWindow) ||
           ImGui::IsWindowHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem);
}

void PushDisabled(bool is_disabled)
{
    if (!is_disabled)
        return;
    ImGui::PushItemFlag(ImGuiItemFlags_Disabled, true);
    ImGui::PushStyleVar(ImGuiStyleVar_Alpha, ImGui::GetStyle().Alpha * 0.5f);
}

void PopDisabled(bool is_disabled)
{
    if (!is_disabled)
        return;
    ImGui::PopStyleVar();
    ImGui::PopItemFlag();
}

template <size_t N> void CopyPath(char (&to)[N], const char *from) { std::snprintf(to, N, "%s", from); }

bool CanOpen(const char *path)
{
    FILE *file = std::fopen(path, "r");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

// The absolute form of an existing path; the path as given when it cannot be resolved (the read
// then says why).
std::string Absolute(const char *path)
{
    char resolved[PATH_MAX];
    return ::realpath(path, resolved) != nullptr ? std::string(resolved) : std::string(path);
}

// `base` + ".png", or with "-2", "-3", ... before the extension: the first name no file has.
std::string FreeImageName(const std::string &base)
{
    std::string name = base + ".png";
    for (int k = 2; ImGuiFs::Path::Exists(name); k++)
        name = base + "-" + std::to_string(k) + ".png";
    return name;
}

const char *FormatLabel(int format)
{
    const SFileFormat *f = FindFormat(format);
    return f != nullptr ? f->label : "an unknown format";
}

} // namespace

CShell::CShell() : clear_color(DEFAULT_CLEAR_COLOR)
{
    std::snprintf(user_version, sizeof user_version, "Kivoa %s %s(%s)", AutoVersion::STATUS,
                  AutoVersion::UBUNTU_VERSION_STYLE, AutoVersion::DATE);
    win_title[0] = filePath[0] = dirPath[0] = image_path[0] = '\0';
}

// Without usable paths the run goes on with default settings and no layout file.
void CShell::PrepareConfig(const char *home)
{
    ImGuiIO &io = ImGui::GetIO();
    is_config = paths.SetUser(CConfig::UserName(), home);
    if (!is_config) {
        std::printf(" settings: not kept, %s\n", paths.error.c_str());
        io.IniFilename = nullptr;
        return;
    }
    if (CanOpen(paths.config)) {
        std::printf(" settings: %s\n", paths.config);
    } else {
        std::printf(" settings: %s\n", paths.cmd);
        CConfig::MakeDirectories(paths.folder);
    }
    io.IniFilename = paths.config;
}

void CShell::LoadSettings()
{
    if (!is_config)
        return;
    inicfg = CInit(paths.inidata);
    if (inicfg.ParseError() < 0) {
        std::printf("Can't load init%s\n", paths.inidata);
        return;
    }
    std::printf("Init found %s\n", paths.inidata);
    clear_color.x = inicfg.GetFloat("settings", "bgr", DEFAULT_CLEAR_COLOR.x);
    clear_color.y = inicfg.GetFloat("settings", "bgg", DEFAULT_CLEAR_COLOR.y);
    clear_color.z = inicfg.GetFloat("settings", "bgb", DEFAULT_CLEAR_COLOR.z);
}

// ---- mouse and keyboard ---------------------------------------------------------------------

void CShell::RouteMouse()
{
    // A drag rotates only when its press went to the view, not to a panel or the pie.
    if (ImGui::IsMouseClicked(0))
        is_view_press = false;
    if (is_select_pie || !ImGui::IsMousePosValid() || IsModalOpen()) {
        is_mouse = false;
        return;
    }
    // A drag that started over the view keeps rotating while the pointer crosses a panel.
    if (!is_mouse) {
        if (ImGui::IsAnyItemActive())
            return;
        if (IsPointerOverPanel()) {
            is_mouse = false;
            return;
        }
    }
    const ImGuiIO &io = ImGui::GetIO();
    if (!ImGui::IsWindowHovered() && ImGui::IsMouseClicked(1)) {
        pposx = io.MousePos.x;
        pposy = io.MousePos.y;
        if (atom->is_visible)
            atom->SetPicking(static_cast<int>(pposx), static_cast<int>(pposy));
        is_adding_pick = false;
        is_select_pie = true;
    } else if (ImGui::IsMouseClicked(0)) {
        iposx = io.MousePos.x;
        iposy = io.MousePos.y;
        atom->SetTrackLastPosition(iposx, iposy);
        is_view_press = true;
        if (atom->is_visible) {
            atom->SetPicking(static_cast<int>(iposx), static_cast<int>(iposy));
            is_atom_lock = true;
            is_adding_pick = io.KeyShift;
        }
    } else if (is_view_press && ImGui::IsMouseDown(0) && ImGui::IsMouseDragging(0)) {
        atom->SetTrackCurretPosition(io.MousePos.x, io.MousePos.y);
        atom->NoteViewMoved();
        is_mouse = true;
    } else if (is_mouse && ImGui::IsMouseReleased(0)) {
        atom->SetTrackLastRotation();
        is_mouse = false;
    } else if (io.MouseWheel != 0.0f) {
        atom->SetZoom(io.MouseWheel * 0.1f);
        atom->NoteViewMoved();
    }
}

// Shortcut keys act on the view only while no text field takes the typing: Delete or S typed
// into a coordinate field or the chooser's location edit that field, not the structure. Every
// press queued since the last frame acts once, with the Ctrl state it was pressed with.
void CShell::RouteKeys()
{
    std::vector<KeyPress> presses;
    presses.swap(key_queue);
    if (ImGui::GetIO().WantTextInput || IsModalOpen())
        return;
    for (const KeyPress &press : presses)
        if (press.action != GLFW_RELEASE)
            RunShortcut(press);
}

// Toggles and deletions act once per press; only the pan keys repeat while held.
void CShell::RunShortcut(const KeyPress &press)
{
    const bool ctrl = (press.mods & GLFW_MOD_CONTROL) != 0;
    const Shortcut table[] = {
        {GLFW_KEY_DELETE, atom->is_atom_selected, false, [this] { DeleteSelectedAtom(); }},
        {GLFW_KEY_S, ctrl, false, [this] { Toggle(show_settings_window); }},
        {GLFW_KEY_F, ctrl, false, [this] { Toggle(show_file_chooser); }},
        {GLFW_KEY_A, ctrl, false, [this] { Toggle(show_action_window); }},
        {GLFW_KEY_X, ctrl, false, [this] { atom->SetTrackRotation(HALF_PI, HALF_PI); }},
        {GLFW_KEY_Y, ctrl, false, [this] { atom->SetTrackRotation(HALF_PI, 0.0f); }},
        {GLFW_KEY_Z, ctrl, false, [this] { atom->SetTrackRotation(0.0f, HALF_PI); }},
        {GLFW_KEY_U, ctrl, false, [this] { UndoEdit(); }},
        {GLFW_KEY_R, ctrl, false, [this] { RedoEdit(); }},
        {GLFW_KEY_E, ctrl, false, [this] { is_export_requested = true; }},
        {GLFW_KEY_S, !ctrl, false, [this] { Toggle(atom->is_show_symbol); }},
        {GLFW_KEY_B, !ctrl, false, [this] { ToggleBonds(); }},
        {GLFW_KEY_C, !ctrl, false, [this] { Toggle(atom->is_show_box); }},
        {GLFW_KEY_I, !ctrl, false, [this] { Toggle(atom->is_show_index); }},
        {GLFW_KEY_ESCAPE, !ctrl, false, [this] { ResetView(); }},
        {GLFW_KEY_RIGHT, !ctrl, true, [this] { atom->view_offset.x += 1.0f; }},
        {GLFW_KEY_LEFT, !ctrl, true, [this] { atom->view_offset.x -= 1.0f; }},
        {GLFW_KEY_UP, !ctrl, true, [this] { atom->view_offset.y += 1.0f; }},
        {GLFW_KEY_DOWN, !ctrl, true, [this] { atom->view_offset.y -= 1.0f; }},
    };
    for (const Shortcut &shortcut : table) {
        if (shortcut.key == press.key && shortcut.enabled && (press.action == GLFW_PRESS || shortcut.repeats)) {
            shortcut.command();
            if (shortcut.repeats) // the pan keys
                atom->NoteViewMoved();
            return;
        }
    }
}

void CShell::QueueKey(int key, int action, int mods)
{
    key_queue.push_back(KeyPress{key, action, mods});
    NoteEvent();
}

bool CShell::TakeEvents()
{
    const bool was = is_event;
    is_event = false;
    return was;
}

double CShell::AnimationWait() const
{
    // A modal's dimmed background fades in over a few tenths of a second.
    if ((ImGui::IsAnyItemActive() && ImGui::IsAnyMouseDown()) ||
        (IsModalOpen() && ImGui::GetCurrentContext()->DimBgRatio < 1.0f))
        return HELD_BUTTON_WAIT;
    return ImGui::GetIO().WantTextInput ? CURSOR_BLINK_WAIT : 0.0;
}

void CShell::KeyCallback(GLFWwindow *w, int key, int scancode, int action, int mods)
{
    if (CShell *shell = ShellOf(w))
        shell->QueueKey(key, action, mods);
    ImGui_ImplGlfw_KeyCallback(w, key, scancode, action, mods);
}

void CShell::ConnectWindow(GLFWwindow *w)
{
    window = w;
    ImGui::GetIO().ConfigFlags &= ~ImGuiConfigFlags_NavEnableKeyboard;
    glfwSetWindowUserPointer(w, this);
    glfwSetKeyCallback(w, KeyCallback);
    glfwSetCharCallback(w, [](GLFWwindow *g, unsigned int c) {
        NoteEventOf(g);
        ImGui_ImplGlfw_CharCallback(g, c);
    });
    glfwSetMouseButtonCallback(w, [](GLFWwindow *g, int button, int action, int mods) {
        NoteEventOf(g);
        ImGui_ImplGlfw_MouseButtonCallback(g, button, action, mods);
    });
    glfwSetScrollCallback(w, [](GLFWwindow *g, double x, double y) {
        NoteEventOf(g);
        ImGui_ImplGlfw_ScrollCallback(g, x, y);
    });
    glfwSetCursorEnterCallback(w, [](GLFWwindow *g, int entered) {
        NoteEventOf(g);
        ImGui_ImplGlfw_CursorEnterCallback(g, entered);
    });
    glfwSetWindowFocusCallback(w, [](GLFWwindow *g, int focused) {
        NoteEventOf(g);
        ImGui_ImplGlfw_WindowFocusCallback(g, focused);
    });
    // The GUI back-end reads these by polling; they only need to wake the frame loop.
    glfwSetCursorPosCallback(w, [](GLFWwindow *g, double, double) { NoteEventOf(g); });
    glfwSetFramebufferSizeCallback(w, [](GLFWwindow *g, int, int) { NoteEventOf(g); });
    glfwSetWindowRefreshCallback(w, [](GLFWwindow *g) { NoteEventOf(g); });
    // One structure is shown at a time: of several files dropped together the first is opened.
    glfwSetDropCallback(w, [](GLFWwindow *g, int count, const char **paths) {
        if (CShell *shell = ShellOf(g); shell != nullptr && count > 0)
            shell->QueueDrop(paths[0]);
    });
}

void CShell::QueueDrop(const char *path)
{
    dropped.emplace_back(path);
    NoteEvent();
}

// ---- pie menu -------------------------------------------------------------------------------

void CShell::ShowPieMenu()
{
    if (!is_select_pie)
        return;
    items[5] = PieGeometry::AtomItemLabel(atom->is_atom_selected, atom->selected_symbol, atom->selected_atom);
    ImGui::OpenPopup(PIE_POPUP_ID);
    const int choice = PiePopupSelectMenu(ImVec2(pposx, pposy), PIE_POPUP_ID, items, 6, &selected, &is_select_pie);
    if (choice >= 0 && atom->is_visible)
        RunPieCommand(choice);
}

void CShell::RunPieCommand(int choice)
{
    switch (choice) {
    case 0:
        Toggle(atom->is_show_symbol);
        break;
    case 1:
        Toggle(atom->is_show_index);
        break;
    case 2:
        ToggleBonds();
        break;
    case 3:
        is_atom_lock = false;
        break;
    case 4:
        DeleteSelectedAtom();
        break;
    default:
        break; // the atom label
    }
}

// ---- commands shared by keys, pie and panels ----------------------------------------------

void CShell::ToggleBonds()
{
    Toggle(atom->is_show_bond);
    atom->SetAtomScale(atom->is_show_bond);
}

void CShell::DeleteSelectedAtom()
{
    if (atom->is_atom_selected && atom->selected_atom < atom->v_float_raw_xyz.size())
        atom->DeleteAtom(atom->selected_atom);
}

void CShell::ResetView()
{
    atom->ResetScene();
    axis_position = -atom->axis_position;
}

void CShell::UndoEdit()
{
    if (atom->Undo())
        AfterHistoryStep();
}

void CShell::RedoEdit()
{
    if (atom->Redo())
        AfterHistoryStep();
}

// An undone delete or a redone one shifts the atom numbers: no selection survives a step.
void CShell::AfterHistoryStep()
{
    atom->AfterEdit();
    v_picked.clear();
}

// A resolved pick: a plain click starts the measurement with the atom it selected, a Shift+click
// adds the atom (a fifth replaces the oldest); a click on no atom ends it.
void CShell::NotePick()
{
    if (!atom->is_atom_selected) {
        v_picked.clear();
        return;
    }
    if (!is_adding_pick)
        v_picked.clear();
    const uint32_t u = atom->selected_atom;
    if (std::find(v_picked.begin(), v_picked.end(), u) != v_picked.end())
        return;
    if (v_picked.size() == MAX_PICKED)
        v_picked.erase(v_picked.begin());
    v_picked.push_back(u);
}

// Numbered discs on the picked atoms, readable on any atom colour, behind the panels.
void CShell::DrawPickMarks() const
{
    if (v_picked.size() < 2 || !atom->is_visible)
        return;
    ImDrawList *draw = ImGui::GetBackgroundDrawList();
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    for (size_t k = 0; k < v_picked.size(); k++) {
        if (v_picked[k] >= atom->v_float_raw_xyz.size())
            continue;
        const glm::vec2 p = atom->ScreenPosition(v_picked[k], glm::vec2(display.x, display.y));
        const ImVec2 centre(p.x, p.y);
        const std::string number = std::to_string(k + 1);
        const ImVec2 size = ImGui::CalcTextSize(number.c_str());
        draw->AddCircleFilled(centre, MARK_RADIUS, MARK_FILL);
        draw->AddCircle(centre, MARK_RADIUS, MARK_COLOR, 0, 2.0f);
        draw->AddText(ImVec2(centre.x - size.x * 0.5f, centre.y - size.y * 0.5f), MARK_COLOR, number.c_str());
    }
}

// ---- panels ---------------------------------------------------------------------------------

void CShell::ShowPanels()
{
    if (!dropped.empty() && !IsModalOpen()) {
        OpenByName(dropped.front().c_str());
        dropped.clear();
    }
    if (!atom->is_atom_selected)
        v_picked.clear();
    ShowPanel(SETTINGS_TITLE, show_settings_window, 0, &CShell::SettingsContent);
    ShowPanel(FILE_CHOOSER_TITLE, show_file_chooser, 1, &CShell::FileChooserContent);
    ShowPanel(ACTION_TITLE, show_action_window, 2, &CShell::ActionContent);
    ShowUnsavedQuestion();
    atom->is_show_label = atom->is_show_index || atom->is_show_symbol;
}

// On first use Choose File stands in the top left corner, Settings in the bottom left one and
// Action in the top right one, away from the axes gizmo, so that the three never overlap. The two
// that grow with their contents (a message, a selected atom) hang from the top edge, so that
// their buttons stay where they are.
void CShell::ShowPanel(const char *title, bool &is_shown, int slot, void (CShell::*content)())
{
    if (!is_shown)
        return;
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    const ImVec2 corners[] = {ImVec2(0.0f, 1.0f), ImVec2(0.0f, 0.0f), ImVec2(1.0f, 0.0f)};
    const ImVec2 pivot = corners[slot];
    const ImVec2 corner(PANEL_MARGIN + pivot.x * (display.x - 2.0f * PANEL_MARGIN),
                        PANEL_MARGIN + pivot.y * (display.y - 2.0f * PANEL_MARGIN));
    ImGui::SetNextWindowPos(corner, ImGuiCond_FirstUseEver, pivot);
    if (ImGui::Begin(title, &is_shown, PANEL_FLAGS)) {
        (this->*content)();
        if (ImGui::Button("Close"))
            is_shown = false;
    }
    KeepPanelInside();
    ImGui::End();
}

// A panel dragged out, left outside by a smaller window or by a saved layout comes back whole
// (its title bar first when it is larger than the window), so that it can always be reached.
void CShell::KeepPanelInside() const
{
    const ImGuiWindow *panel = ImGui::GetCurrentWindow();
    if (panel->HiddenFramesCannotSkipItems > 0)
        return; // not laid out yet
    const ImVec2 inside = PanelPlaceInside(panel->Pos, panel->Size, ImGui::GetIO().DisplaySize);
    if (inside.x != panel->Pos.x || inside.y != panel->Pos.y)
        ImGui::SetWindowPos(inside);
}

void CShell::SettingsContent()
{
    ImGui::Text("%s", user_version);
    ImGui::SliderFloat("radius", &atom->atom_scale, 0.0f, 2.0f, "%.3f");
    ImGui::SliderFloat("zoom", &atom->view_zoom, 0.5f, 10.0f, "%.3f");
    if (ImGui::SliderFloat("font", &font, 0.001f, 0.01f, "%.3f"))
        atom->SetFont(font);
    if (ImGui::ColorEdit3("Backgroud", &clear_color.x))
        KeepBackground();
    if (ImGui::SliderFloat3("Axes", &axis_position.x, -1.0f, 1.0f, "%.3f"))
        atom->axis_position = -axis_position;
    ImGui::SameLine();
    if (ImGui::Button("Reset"))
        atom->ResetScene();

    ImGui::Text("View");
    ImGui::SameLine();
    if (ImGui::Button("YZ"))
        atom->SetTrackRotation(HALF_PI, HALF_PI);
    ImGui::SameLine();
    if (ImGui::Button("ZX"))
        atom->SetTrackRotation(HALF_PI, 0.0f);
    ImGui::SameLine();
    if (ImGui::Button("XY"))
        atom->SetTrackRotation(0.0f, HALF_PI);

    ImGui::Checkbox("Cell", &atom->is_show_box);
    ImGui::SameLine();
    if (ImGui::Checkbox("Bonds", &atom->is_show_bond))
        atom->SetAtomScale(atom->is_show_bond);
    ImGui::SameLine();
    ImGui::Checkbox("Symbol", &atom->is_show_symbol);
    ImGui::SameLine();
    ImGui::Checkbox("Index", &atom->is_show_index);

    ImGui::InputFloat3("Set", &atom->center_xyz.x, "%.3f");
    ImGui::SameLine();
    if (ImGui::Button("(0,0,0)") && atom->is_visible)
        atom->CenterCoordinates();
    ImageExportControls();
}

// The picture of the view: the file (empty for a free name beside the structure file) and the
// size as a multiple of the window's.
void CShell::ImageExportControls()
{
    ImGui::InputTextWithHint("##image", "default: beside the file", image_path, sizeof image_path);
    ImGui::SameLine();
    if (ImGui::Button("Export PNG"))
        is_export_requested = true;
    ImGui::Text("Size");
    for (const int scale : IMAGE_SCALES) {
        ImGui::SameLine();
        const std::string label = std::to_string(scale) + "x";
        ImGui::RadioButton(label.c_str(), &image_scale, scale);
    }
    if (!image_message.empty())
        ImGui::TextWrapped("%s", image_message.c_str());
}

std::string CShell::DefaultImagePath() const
{
    if (filePath[0] == '\0')
        return FreeImageName("kivoa");
    std::string base = filePath;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > base.rfind('/'))
        base.erase(dot);
    return FreeImageName(base);
}

// Runs after the window's scene is drawn: the offscreen picture leaves the window untouched.
void CShell::ExportImage()
{
    is_export_requested = false;
    const std::string path = image_path[0] != '\0' ? std::string(image_path) : DefaultImagePath();
    const int w = display_w * image_scale, h = display_h * image_scale;
    std::string error;
    if (CImageExport::SavePng([this](int width, int height) { RenderScene(width, height); }, w, h, path, error))
        image_message = "Saved " + path + " (" + std::to_string(w) + "x" + std::to_string(h) + ")";
    else
        image_message = "Can't save the image: " + error;
    glViewport(0, 0, display_w, display_h);
    atom->track.SetViewSize(display_w, display_h);
    show_settings_window = true;
}

void CShell::KeepBackground()
{
    atom->SetClearColor(glm::vec4(clear_color.x, clear_color.y, clear_color.z, clear_color.w));
    inicfg.SetFloat("settings", "bgr", clear_color.x);
    inicfg.SetFloat("settings", "bgg", clear_color.y);
    inicfg.SetFloat("settings", "bgb", clear_color.z);
}

void CShell::FileChooserContent()
{
    if (!dlg) {
        dlg = std::make_unique<ImGuiFs::Dialog>();
        save_dlg = std::make_unique<ImGuiFs::Dialog>();
    }
    ShowFormatCombo();
    const bool browseButtonPressed = ImGui::Button("Open");
    if (browseButtonPressed)
        file_message.clear(); // the old failure is not about the next choice
    const char *chosen = dlg->chooseFileDialog(browseButtonPressed, filePath, nullptr, nullptr, ImVec2(-1, -1),
                                               ImVec2(-1, -1), 0.875f);
    if (chosen != nullptr && chosen[0] != '\0')
        OpenChosenFile();
    ImGui::SameLine();
    if (ImGui::Button("Reload") && atom->is_visible)
        ReloadStructure();
    ImGui::SameLine();
    const bool is_saved = atom->is_updated;
    PushDisabled(is_saved);
    if (ImGui::Button("Save") && atom->is_visible)
        SaveStructure();
    PopDisabled(is_saved);
    ImGui::SameLine();
    const bool is_empty = !atom->is_visible;
    PushDisabled(is_empty);
    const bool saveAsPressed = ImGui::Button("Save As") && atom->is_visible;
    PopDisabled(is_empty);
    if (saveAsPressed)
        file_message.clear();
    const char *target = save_dlg->saveFileDialog(saveAsPressed, dirPath, filePath, "Save as");
    if (target != nullptr && target[0] != '\0')
        SaveStructureAs(target);
    ShowFileMessage();
    ImGui::Text("File: %s", filePath);
}

// Right under the buttons and wrapped to the panel's width, so that the panel does not widen.
void CShell::ShowFileMessage() const
{
    if (file_message.empty())
        return;
    ImGui::PushStyleColor(ImGuiCol_Text, MESSAGE_COLOR);
    ImGui::TextWrapped("%s", file_message.c_str());
    ImGui::PopStyleColor();
}

void CShell::ShowFormatCombo()
{
    if (!ImGui::BeginCombo("Input Format", FormatLabel(atom->input_format)))
        return;
    for (const SFileFormat &f : FILE_FORMATS) {
        const bool is_selected = f.code == atom->input_format;
        if (ImGui::Selectable(f.label, is_selected))
            atom->input_format = f.code;
        if (is_selected)
            ImGui::SetItemDefaultFocus();
    }
    ImGui::EndCombo();
}

void CShell::OpenChosenFile()
{
    RequestLoad(SLoad{dlg->getLastDirectory(), dlg->getChosenPath(), atom->input_format, false});
}

void CShell::OpenByName(const char *path)
{
    const int suggested = FormatOfFileName(path);
    if (suggested != NO_FORMAT)
        atom->input_format = suggested;
    const std::string file = Absolute(path);
    show_file_chooser = true; // where a failure is said
    RequestLoad(SLoad{ImGuiFs::Path::FolderOfFile(file), file, atom->input_format, false});
}

// Reads the structure shown again with the format it was read with, whatever the combo says now.
void CShell::ReloadStructure()
{
    RequestLoad(SLoad{dirPath, filePath, atom->file_format, true});
}

bool CShell::HasUnsavedEdits() const
{
    return atom->is_visible && !atom->is_updated;
}

// A load replaces the structure shown: its unsaved edits are asked about first.
void CShell::RequestLoad(const SLoad &load)
{
    if (!HasUnsavedEdits()) {
        RunLoad(load);
        return;
    }
    pending = EPending::LOAD;
    pending_load = load;
    is_asking = true;
}

// The path, folder and title change only once a new file has been read, so that Save and Reload
// keep naming the file of the structure shown.
void CShell::RunLoad(const SLoad &load)
{
    const int chosen = atom->input_format;
    atom->input_format = load.format;
    const bool is_read = LoadStructure(load.dir.c_str(), load.file.c_str());
    if (load.is_reload)
        atom->input_format = chosen;
    if (is_read && !load.is_reload) {
        NameFile(load.file);
        CopyPath(dirPath, load.dir.c_str());
    }
}

bool CShell::ConfirmClose()
{
    if (is_close_confirmed || !HasUnsavedEdits())
        return true;
    if (window != nullptr)
        glfwSetWindowShouldClose(window, GLFW_FALSE);
    pending = EPending::CLOSE;
    is_asking = true;
    NoteEvent();
    return false;
}

// Save / Discard / Cancel before unsaved edits would go. Opens once no other modal (the file
// chooser that asked) is open.
void CShell::ShowUnsavedQuestion()
{
    if (is_asking && !IsModalOpen()) {
        ImGui::OpenPopup(UNSAVED_TITLE);
        is_asking = false;
    }
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(display.x * 0.5f, display.y * 0.5f), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    if (!ImGui::BeginPopupModal(UNSAVED_TITLE, nullptr, ImGuiWindowFlags_AlwaysAutoResize))
        return;
    is_asking = false; // open already: a second reason changes only what the answer does
    ImGui::Text("The structure has edits that are not saved.");
    ImGui::Text(pending == EPending::CLOSE ? "Save them before closing?" : "Save them before opening another file?");
    const bool save = ImGui::Button("Save");
    ImGui::SameLine();
    const bool discard = ImGui::Button("Discard");
    ImGui::SameLine();
    const bool cancel = ImGui::Button("Cancel");
    if (save || discard || cancel) {
        ImGui::CloseCurrentPopup();
        if (cancel)
            pending = EPending::NONE;
        else
            AnswerUnsaved(save);
    }
    ImGui::EndPopup();
}

// A save that fails keeps the edits and the structure: nothing else happens, and the panel says why.
void CShell::AnswerUnsaved(bool save)
{
    const EPending what = pending;
    pending = EPending::NONE;
    if (save) {
        SaveStructure();
        if (!atom->is_updated) {
            show_file_chooser = true;
            return;
        }
    }
    if (what == EPending::LOAD) {
        RunLoad(pending_load);
    } else if (what == EPending::CLOSE) {
        is_close_confirmed = true;
        if (window != nullptr)
            glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
}

bool CShell::LoadStructure(const char *dir, const char *file)
{
    if (atom->ReadFile(dir, file)) {
        file_message.clear();
        return true;
    }
    file_message = FileMessage("Can't read ", file, atom->input_format);
    return false;
}

void CShell::NameFile(const std::string &path)
{
    CopyPath(filePath, path.c_str());
    CopyPath(win_title, ("Kivoa " + path).c_str()); // cut to the title's size
    if (window != nullptr)
        glfwSetWindowTitle(window, win_title);
}

// From then on the new file is the structure's: title, File line, Reload and Save name it.
void CShell::SaveStructureAs(const std::string &path)
{
    if (!atom->SaveFile(path)) {
        file_message = FileMessage("Can't save ", path.c_str(), atom->file_format);
        return;
    }
    file_message.clear();
    NameFile(path);
    CopyPath(dirPath, ImGuiFs::Path::FolderOfFile(path).c_str());
}

// A failed save leaves the edits unsaved (the model says so), so Save stays enabled for another
// try.
void CShell::SaveStructure()
{
    if (atom->SaveFile(filePath)) {
        file_message.clear();
        return;
    }
    file_message = FileMessage("Can't save ", filePath, atom->file_format);
}

// Names the file by its name alone: its path is on the panel's "File:" line.
std::string CShell::FileMessage(const char *what, const char *file, int format) const
{
    const char *slash = std::strrchr(file, '/');
    const char *name = slash != nullptr ? slash + 1 : file;
    std::string text = std::string(what) + name + " as " + FormatLabel(format);
    if (!atom->error_message.empty())
        text += ": " + atom->error_message;
    return text;
}

void CShell::ActionContent()
{
    ImGui::Text("%s", user_version);
    if (atom->is_atom_selected)
        SelectedAtomControls();
    MeasurementText();
    ImGui::Text("Total Atoms: %u", static_cast<unsigned>(atom->v_float_raw_xyz.size()));
    for (size_t i = 0; i < atom->v_table_index.size(); i++) {
        ImGui::Text(" %3s", SymbolOf(atom->v_table_index[i]));
        ImGui::SameLine();
        ImGui::Text(": %u", atom->v_table_atoms[i]);
    }
    HistoryButtons();
}

void CShell::SelectedAtomControls()
{
    ImGui::Text("Selected atom : No. %u, Symbol [%s], Z [%u]", atom->selected_atom, atom->selected_symbol.c_str(),
                atom->selected_zatom);
    const bool is_locked = is_atom_lock;
    PushDisabled(is_locked);
    if (ImGui::Button("Symbol:"))
        ImGui::OpenPopup("select");
    ImGui::SameLine();
    ImGui::Text("%s", atom->selected_zatom == NO_ZATOM ? "<None>" : atom->selected_symbol.c_str());
    ShowElementChooser();

    const uint32_t u = atom->selected_atom;
    if (u < atom->v_real_xyz.size()) {
        glm::dvec3 p = atom->v_real_xyz[u];
        if (CoordinateControls(p)) {
            atom->MoveAtom(u, p);
            atom->selected_xyz = atom->v_float_raw_xyz[u];
        }
    }
    PopDisabled(is_locked);
    if (ImGui::Button("Edit"))
        is_atom_lock = false;
}

// The position in the file's own frame, as a save writes it, and in a periodic structure its
// fractional coordinates along the cell vectors; true when one was changed (p is the new place).
bool CShell::CoordinateControls(glm::dvec3 &p)
{
    const char *const format = "%.4f";
    bool is_moved = ImGui::InputScalarN("XYZ", ImGuiDataType_Double, &p.x, 3, nullptr, nullptr, format);
    is_moved |= ImGui::InputScalar("X", ImGuiDataType_Double, &p.x, &coordinate_step, nullptr, format);
    is_moved |= ImGui::InputScalar("Y", ImGuiDataType_Double, &p.y, &coordinate_step, nullptr, format);
    is_moved |= ImGui::InputScalar("Z", ImGuiDataType_Double, &p.z, &coordinate_step, nullptr, format);
    if (!atom->is_periodic || glm::determinant(atom->m_cell_box) == 0.0)
        return is_moved;
    glm::dvec3 f = glm::inverse(atom->m_cell_box) * p;
    if (ImGui::InputScalarN("abc", ImGuiDataType_Double, &f.x, 3, nullptr, nullptr, format)) {
        p = atom->m_cell_box * f;
        is_moved = true;
    }
    return is_moved;
}

// Distance, angle or dihedral of the picked atoms in the file's frame, to the nearest periodic
// image in a periodic structure.
void CShell::MeasurementText() const
{
    const size_t n = v_picked.size();
    if (n < 2)
        return;
    glm::dvec3 p[MAX_PICKED];
    std::string atoms;
    for (size_t k = 0; k < n; k++) {
        if (v_picked[k] >= atom->v_real_xyz.size())
            return;
        p[k] = atom->v_real_xyz[v_picked[k]];
        atoms += (k > 0 ? "-" : "") + std::to_string(v_picked[k]);
    }
    const CMeasure measure = atom->is_periodic ? CMeasure(atom->m_cell_box) : CMeasure();
    if (n == 2)
        ImGui::Text("Distance %s: %.4f \xC3\x85", atoms.c_str(), measure.Distance(p[0], p[1]));
    else if (n == 3)
        ImGui::Text("Angle %s: %.2f\xC2\xB0", atoms.c_str(), measure.Angle(p[0], p[1], p[2]));
    else
        ImGui::Text("Dihedral %s: %.2f\xC2\xB0", atoms.c_str(), measure.Dihedral(p[0], p[1], p[2], p[3]));
}

void CShell::HistoryButtons()
{
    const bool no_undo = !atom->CanUndo();
    PushDisabled(no_undo);
    if (ImGui::Button("Undo"))
        UndoEdit();
    PopDisabled(no_undo);
    ImGui::SameLine();
    const bool no_redo = !atom->CanRedo();
    PushDisabled(no_redo);
    if (ImGui::Button("Redo"))
        RedoEdit();
    PopDisabled(no_redo);
}

// The periodic table: one button per element at its place in the table.
void CShell::ShowElementChooser()
{
    if (!ImGui::BeginPopup("select"))
        return;
    ImGui::Text("Select atom");
    ImGui::Separator();
    for (unsigned int i = 0; i < periodic_table_atoms; i++) {
        ImGui::SetCursorPos(ImVec2(ptable_position[i].x, ptable_position[i].y));
        if (ImGui::Button(symbol[i], ELEMENT_BUTTON_SIZE)) {
            atom->UpdateAtomType(i);
            ImGui::CloseCurrentPopup();
        }
        if (i % 10 != 9)
            ImGui::SameLine();
    }
    ImGui::EndPopup();
}


void CShell::InitPanels()
{
    font = atom->font_scale;
    axis_position = -atom->axis_position;
}

void CShell::DrawScene()
{
    const bool was_picking = atom != nullptr && atom->is_visible && atom->is_picking;
    RenderScene(display_w, display_h);
    if (atom == nullptr)
        return;
    if (was_picking && !atom->is_picking)
        NotePick();
    DrawPickMarks();
    if (is_export_requested)
        ExportImage();
}

// The background and the structure, into the bound framebuffer of w x h pixels.
void CShell::RenderScene(int w, int h) const
{
    glClearColor(clear_color.x, clear_color.y, clear_color.z, clear_color.w);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (atom != nullptr && atom->is_visible) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        atom->DrawScene(w, h);
    }
    glUseProgram(0);
}

void CShell::SaveSettings()
{
    if (is_config && !inicfg.SaveInit())
        std::printf("Can't save init%s\n", paths.inidata);
}
