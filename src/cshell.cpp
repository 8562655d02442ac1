#include "cshell.h"

#include <cstdio>

#include <glad/gl.h>
#include <glm/gtc/constants.hpp>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <imgui_internal.h>

#include "cdisplay.h"
#include "cpanel.h"
#include "cquestiondialog.h"
#include "fileformats.h"

namespace {

const ImVec4 DEFAULT_CLEAR_COLOR(0.07f, 0.34f, 0.47f, 1.0f);
const float HALF_PI = glm::half_pi<float>();
// Seconds between frames while a held button repeats (the GUI's repeat rate) and while a text
// cursor blinks.
const double HELD_BUTTON_WAIT = 0.05;
const double CURSOR_BLINK_WAIT = 0.4;
const double SETTLE_WAIT = 1e-3;

void Toggle(bool &flag) { flag = !flag; }

// The trackball angles of the views along x (YZ), y (ZX) and z (XY).
glm::vec2 ViewAngles(ECommand view)
{
    if (view == ECommand::VIEW_YZ)
        return glm::vec2(HALF_PI, HALF_PI);
    return view == ECommand::VIEW_ZX ? glm::vec2(HALF_PI, 0.0f) : glm::vec2(0.0f, HALF_PI);
}

glm::vec2 PanStep(ECommand pan)
{
    switch (pan) {
    case ECommand::PAN_RIGHT:
        return glm::vec2(1.0f, 0.0f);
    case ECommand::PAN_LEFT:
        return glm::vec2(-1.0f, 0.0f);
    case ECommand::PAN_UP:
        return glm::vec2(0.0f, 1.0f);
    default:
        return glm::vec2(0.0f, -1.0f);
    }
}

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
    win_title[0] = '\0';
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

void CShell::SaveSettings()
{
    if (is_config && !inicfg.SaveInit())
        std::printf("Can't save init%s\n", paths.inidata);
}

void CShell::ReleaseTargets()
{
    scene.Release();
}

void CShell::KeepBackground()
{
    atom->SetClearColor(glm::vec4(clear_color.x, clear_color.y, clear_color.z, clear_color.w));
    inicfg.SetFloat("settings", "bgr", clear_color.x);
    inicfg.SetFloat("settings", "bgg", clear_color.y);
    inicfg.SetFloat("settings", "bgb", clear_color.z);
}

void CShell::InitPanels()
{
    document = std::make_unique<CDocument>(*atom, [this](bool is_reload) {
        atom->RefreshStructure(is_reload);
        frames.Stop();
        show_frames_window = true;
        is_keys_to_view = true;
    });
    settings.Init(*atom);
}

void CShell::ConnectWindow(GLFWwindow *w)
{
    window = w;
    input.Connect(w);
}

// ---- the document ---------------------------------------------------------------------------

void CShell::OpenByName(const char *path)
{
    atom->input_format = FormatByName(path, atom->input_format);
    show_file_chooser = true; // where a failure is said
    document->OpenByName(path, atom->input_format);
}

bool CShell::ConfirmClose()
{
    if (document->RequestClose())
        return true;
    if (window != nullptr)
        glfwSetWindowShouldClose(window, GLFW_FALSE);
    input.NoteEvent();
    return false;
}

// A save that fails keeps the edits and the structure: the Choose File panel says why, or
// offers Save As when the format is not rewritten in place. A close may also be confirmed by a
// Save As done there.
void CShell::ShowQuestion()
{
    const CDocument::EAnswer answer = CQuestionDialog::Show(*document);
    if (answer != CDocument::EAnswer::NONE && !document->Answer(answer))
        show_file_chooser = true;
    if (document->IsCloseConfirmed() && window != nullptr)
        glfwSetWindowShouldClose(window, GLFW_TRUE);
}

// A leading '*' while edits are unsaved.
void CShell::TitleWindow()
{
    const bool is_edited = document->HasUnsavedEdits();
    if (document->Path() == titled_path && is_edited == is_titled_edited)
        return;
    titled_path = document->Path();
    is_titled_edited = is_edited;
    std::snprintf(win_title, sizeof win_title, "%sKivoa %s", is_edited ? "*" : "",
                  titled_path.c_str()); // cut to the title's size
    if (window != nullptr)
        glfwSetWindowTitle(window, win_title);
}

// ---- each frame -----------------------------------------------------------------------------

double CShell::AnimationWait() const
{
    // A modal's dimmed background fades in over a few tenths of a second.
    if ((ImGui::IsAnyItemActive() && ImGui::IsAnyMouseDown()) ||
        (CPanel::IsModalOpen() && ImGui::GetCurrentContext()->DimBgRatio < 1.0f))
        return HELD_BUTTON_WAIT;
    // A panel that changed size is drawn until it has settled, before the loop sleeps.
    if (CPanel::IsSettling())
        return SETTLE_WAIT;
    const double blink = ImGui::GetIO().WantTextInput ? CURSOR_BLINK_WAIT : 0.0;
    const double playback = frames.PlaybackWait();
    return playback > 0.0 && (blink == 0.0 || playback < blink) ? playback : blink;
}

void CShell::RouteMouse()
{
    const CInput::EClick click = input.RouteMouse(*atom, pie.is_select_pie);
    if (click == CInput::EClick::PIE) {
        marks.is_adding = false;
        pie.Open(input.click_x, input.click_y);
    } else if (click == CInput::EClick::BOX) {
        SelectBox();
    } else if (click != CInput::EClick::NONE) {
        action.is_atom_lock = true;
        marks.is_adding = click == CInput::EClick::ADD_PICK;
    }
}

void CShell::RouteKeys()
{
    for (const ECommand command : input.TakeShortcuts())
        Run(command);
}

void CShell::ShowPieMenu()
{
    Run(pie.Show(*atom));
}

void CShell::ShowPanels()
{
    const std::string drop = input.TakeDrop();
    if (!drop.empty())
        OpenByName(drop.c_str());
    frames.Show(show_frames_window, *atom);
    atom->FollowSelectedAtom(); // whatever edited it since
    if (!atom->is_atom_selected)
        marks.Clear();
    Run(settings.Show(show_settings_window, *atom, clear_color, exporter));
    files.Show(show_file_chooser, *atom, *document);
    Run(action.Show(show_action_window, *atom, marks));
    Run(selection_panel.Show(show_selection_window, *atom));
    ShowQuestion();
    GiveKeysToView();
    DrawBox();
    TitleWindow();
    atom->is_show_label = atom->is_show_index || atom->is_show_symbol;
}

// A structure just opened takes the keys, whichever panel or chooser opened it: the arrows pan it.
void CShell::GiveKeysToView()
{
    if (!is_keys_to_view || CPanel::IsModalOpen())
        return;
    ImGui::SetWindowFocus(nullptr);
    is_keys_to_view = false;
}

void CShell::DrawScene()
{
    const bool was_picking = atom != nullptr && atom->is_visible && atom->is_picking;
    // Behind a modal nothing reaches the scene; playback keeps drawing.
    scene.Show(atom, clear_color, display_w, display_h, CPanel::IsModalOpen() && !frames.is_playing,
               exporter.IsRequested());
    if (atom == nullptr)
        return;
    if (was_picking && !atom->is_picking) {
        marks.NotePick(*atom);
        // A plain click selects its atom alone (or nothing); Shift+click only measures.
        if (!marks.is_adding)
            atom->selection.SelectOne(atom->is_atom_selected ? atom->selected_atom : CDisplay::NO_SELECTION);
    }
    marks.DrawMarks(*atom);
    if (exporter.IsRequested())
        ExportImage();
}

// Runs after the window's scene is drawn: the offscreen picture leaves the window untouched. Its
// lines and labels grow with it, and the selection shows only when asked for.
void CShell::ExportImage()
{
    atom->pixel_scale = static_cast<float>(exporter.image_scale);
    atom->is_show_highlight = exporter.is_with_selection;
    exporter.Run([this](int w, int h) { CWindowScene::Render(atom, clear_color, w, h); }, display_w, display_h,
                 document->Path());
    atom->pixel_scale = 1.0f;
    atom->is_show_highlight = true;
    glViewport(0, 0, display_w, display_h);
    atom->track.SetViewSize(display_w, display_h);
    show_settings_window = true;
}

// ---- commands shared by keys, pie and panels ----------------------------------------------

void CShell::Run(ECommand command)
{
    switch (command) {
    case ECommand::NONE:
        break;
    case ECommand::DELETE_ATOM:
        DeleteSelection();
        break;
    case ECommand::UNLOCK_ATOM:
        action.is_atom_lock = false;
        break;
    case ECommand::TOGGLE_SETTINGS:
        Toggle(show_settings_window);
        break;
    case ECommand::TOGGLE_FILES:
        Toggle(show_file_chooser);
        break;
    case ECommand::TOGGLE_ACTION:
        Toggle(show_action_window);
        break;
    case ECommand::TOGGLE_SYMBOL:
        Toggle(atom->is_show_symbol);
        break;
    case ECommand::TOGGLE_INDEX:
        Toggle(atom->is_show_index);
        break;
    case ECommand::TOGGLE_BONDS:
        ToggleBonds();
        break;
    case ECommand::TOGGLE_BOX:
        Toggle(atom->is_show_box);
        break;
    case ECommand::VIEW_YZ:
    case ECommand::VIEW_ZX:
    case ECommand::VIEW_XY:
        atom->SetTrackRotation(ViewAngles(command).x, ViewAngles(command).y);
        break;
    case ECommand::PAN_RIGHT:
    case ECommand::PAN_LEFT:
    case ECommand::PAN_UP:
    case ECommand::PAN_DOWN:
        atom->view_offset += PanStep(command);
        atom->NoteViewMoved();
        break;
    case ECommand::RESET_VIEW:
        ResetView();
        break;
    case ECommand::UNDO:
    case ECommand::REDO:
        StepHistory(command == ECommand::UNDO);
        break;
    case ECommand::EXPORT_IMAGE:
        exporter.Request();
        break;
    case ECommand::KEEP_BACKGROUND:
        KeepBackground();
        break;
    case ECommand::FRAME_PREVIOUS:
    case ECommand::FRAME_NEXT:
    case ECommand::FRAME_FIRST:
    case ECommand::FRAME_LAST:
    case ECommand::TOGGLE_PLAY:
        frames.Run(command, *atom);
        break;
    case ECommand::TOGGLE_SELECTION_PANEL:
        Toggle(show_selection_window);
        break;
    case ECommand::OPEN_BUILD:
        show_action_window = true;
        action.OpenBuild();
        break;
    case ECommand::SELECT_ALL:
    case ECommand::SELECT_NONE:
    case ECommand::SELECT_INVERT:
    case ECommand::HIDE_SELECTED:
    case ECommand::SHOW_ALL:
        RunSelection(command);
        break;
    }
}

void CShell::ToggleBonds()
{
    Toggle(atom->is_show_bond);
    atom->SetAtomScale(atom->is_show_bond);
}

// Deleting renumbers the atoms: the selection and the pick go.
void CShell::DeleteSelection()
{
    const std::vector<uint32_t> atoms = atom->selection.Atoms();
    if (atoms.empty())
        return;
    atom->DeleteAtoms(atoms);
    atom->AfterEdit();
}

// The single picked atom gives way to a set built otherwise.
void CShell::ForgetPick()
{
    atom->is_atom_selected = false;
    atom->selected_atom = CDisplay::NO_SELECTION;
}

void CShell::SelectBox()
{
    const ImVec2 view = ImGui::GetIO().DisplaySize;
    atom->selection.Change(CSelection::InRectangle(atom->Projection * atom->track.View * atom->ModelMatrix(),
                                                   atom->v_float_raw_xyz, atom->Hidden(), input.box_from,
                                                   input.box_to, glm::vec2(view.x, view.y)),
                           input.box_mode);
    ForgetPick();
}

// Hidden atoms leave the selection, as they can be neither seen nor picked.
void CShell::RunSelection(ECommand command)
{
    CSelection &selection = atom->selection;
    if (command == ECommand::SELECT_ALL)
        selection.SelectAll(atom->Hidden());
    else if (command == ECommand::SELECT_NONE)
        selection.Reset(atom->v_atom_index.size());
    else if (command == ECommand::SELECT_INVERT)
        selection.Invert(atom->Hidden());
    else if (command == ECommand::HIDE_SELECTED) {
        atom->SetHidden(selection.Atoms(), true);
        selection.Reset(atom->v_atom_index.size());
    } else
        atom->ShowAll();
    ForgetPick();
}

void CShell::DrawBox() const
{
    if (!input.is_box)
        return;
    const ImU32 colour = IM_COL32(255, 255, 255, 200);
    ImGui::GetForegroundDrawList()->AddRect(ImVec2(input.box_from.x, input.box_from.y),
                                            ImVec2(input.box_to.x, input.box_to.y), colour);
}

void CShell::ResetView()
{
    atom->ResetScene();
    settings.axis_position = -atom->axis_position;
}

// An undone delete or a redone one shifts the atom numbers: no selection survives a step.
void CShell::StepHistory(bool is_undo)
{
    const bool is_extent = atom->IsExtentStep(is_undo);
    if (is_undo ? atom->Undo() : atom->Redo()) {
        atom->AfterEdit();
        marks.Clear();
        if (is_extent)
            atom->ResetZoom(); // the view follows a supercell or a wrap both ways
    }
}
