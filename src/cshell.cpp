#include "cshell.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <imgui_internal.h>

#include "cdisplay.h"
#include "elements.h"
#include "menupie.h"
#include "version.h"

namespace {

const ImVec4 DEFAULT_CLEAR_COLOR(0.07f, 0.34f, 0.47f, 1.0f);

const float HALF_PI = 1.5707964f;
// selected_zatom of an atom that has no element.
const uint32_t NO_ZATOM = 4294967295u;
const int FORMAT_COUNT = 3;
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

} // namespace

CShell::CShell() : clear_color(DEFAULT_CLEAR_COLOR)
{
    std::snprintf(user_version, sizeof user_version, "Kivoa %s %s(%s)", AutoVersion::STATUS,
                  AutoVersion::UBUNTU_VERSION_STYLE, AutoVersion::DATE);
    win_title[0] = filePath[0] = dirPath[0] = '\0';
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
        is_select_pie = true;
    } else if (ImGui::IsMouseClicked(0)) {
        iposx = io.MousePos.x;
        iposy = io.MousePos.y;
        atom->SetTrackLastPosition(iposx, iposy);
        is_view_press = true;
        if (atom->is_visible) {
            atom->SetPicking(static_cast<int>(iposx), static_cast<int>(iposy));
            is_atom_lock = true;
        }
    } else if (is_view_press && ImGui::IsMouseDown(0) && ImGui::IsMouseDragging(0)) {
        atom->SetTrackCurretPosition(io.MousePos.x, io.MousePos.y);
        is_mouse = true;
    } else if (is_mouse && ImGui::IsMouseReleased(0)) {
        atom->SetTrackLastRotation();
        is_mouse = false;
    } else if (io.MouseWheel != 0.0f) {
        atom->SetZoom(io.MouseWheel * 0.1f);
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
    if (ImGui::IsAnyItemActive() && ImGui::IsAnyMouseDown())
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

// ---- panels ---------------------------------------------------------------------------------

void CShell::ShowPanels()
{
    ShowPanel(SETTINGS_TITLE, show_settings_window, 0, &CShell::SettingsContent);
    ShowPanel(FILE_CHOOSER_TITLE, show_file_chooser, 1, &CShell::FileChooserContent);
    ShowPanel(ACTION_TITLE, show_action_window, 2, &CShell::ActionContent);
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
        item_current = format_items[atom->input_format];
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
    if (!ImGui::BeginCombo("Input Format", item_current))
        return;
    for (int n = 0; n < FORMAT_COUNT; n++) {
        const bool is_selected = item_current == format_items[n];
        if (ImGui::Selectable(format_items[n], is_selected))
            atom->input_format = n;
        item_current = format_items[atom->input_format];
        if (is_selected)
            ImGui::SetItemDefaultFocus();
    }
    ImGui::EndCombo();
}

// The path, folder and title change only once the file has been read, so that Save and Reload
// keep naming the file of the structure shown.
void CShell::OpenChosenFile()
{
    if (!LoadStructure(dlg->getLastDirectory(), dlg->getChosenPath()))
        return;
    CopyPath(filePath, dlg->getChosenPath());
    CopyPath(dirPath, dlg->getLastDirectory());
    CopyPath(win_title, (std::string("Kivoa ") + filePath).c_str()); // cut to the title's size
    if (window != nullptr)
        glfwSetWindowTitle(window, win_title);
}

// Reads the structure shown again with the format it was read with, whatever the combo says now.
void CShell::ReloadStructure()
{
    const int chosen = atom->input_format;
    atom->input_format = atom->file_format;
    LoadStructure(dirPath, filePath);
    atom->input_format = chosen;
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

// A failed save leaves the edits unsaved, so Save stays enabled for another try.
void CShell::SaveStructure()
{
    if (atom->SaveFile(filePath)) {
        file_message.clear();
        return;
    }
    atom->is_updated = false;
    file_message = FileMessage("Can't save ", filePath, atom->file_format);
}

// Names the file by its name alone: its path is on the panel's "File:" line.
std::string CShell::FileMessage(const char *what, const char *file, int format) const
{
    const char *slash = std::strrchr(file, '/');
    const char *name = slash != nullptr ? slash + 1 : file;
    std::string text = std::string(what) + name + " as " + FormatName(format);
    if (!atom->error_message.empty())
        text += ": " + atom->error_message;
    return text;
}

const char *CShell::FormatName(int format) const
{
    return format >= 0 && format < FORMAT_COUNT ? format_items[format] : "an unknown format";
}

void CShell::ActionContent()
{
    ImGui::Text("%s", user_version);
    if (atom->is_atom_selected)
        SelectedAtomControls();
    ImGui::Text("Total Atoms: %u", static_cast<unsigned>(atom->v_float_raw_xyz.size()));
    const size_t elements = std::min(atom->v_table_index.size(), atom->v_table_atoms.size());
    for (size_t i = 0; i < elements; i++) {
        const uint32_t e = atom->v_table_index[i];
        ImGui::Text(" %3s", e < periodic_table_atoms ? symbol[e] : "?");
        ImGui::SameLine();
        ImGui::Text(": %u", atom->v_table_atoms[i]);
    }
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

    glm::vec3 &xyz = atom->selected_xyz;
    bool is_moved = ImGui::InputFloat3("XYZ", &xyz.x, "%.3f");
    is_moved |= ImGui::InputScalar("X", ImGuiDataType_Float, &xyz.x, &f32_one);
    is_moved |= ImGui::InputScalar("Y", ImGuiDataType_Float, &xyz.y, &f32_one);
    is_moved |= ImGui::InputScalar("Z", ImGuiDataType_Float, &xyz.z, &f32_one);
    if (is_moved)
        atom->SetNewCoordinates(atom->selected_atom, xyz);
    PopDisabled(is_locked);
    if (ImGui::Button("Edit"))
        is_atom_lock = false;
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
    glClearColor(clear_color.x, clear_color.y, clear_color.z, clear_color.w);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (atom != nullptr && atom->is_visible) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        atom->DrawScene(display_w, display_h);
    }
    glUseProgram(0);
}

void CShell::SaveSettings()
{
    if (is_config && !inicfg.SaveInit())
        std::printf("Can't save init%s\n", paths.inidata);
}
