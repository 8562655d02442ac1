// The shell's per-frame steps driven through real ImGui frames, with a real display in a GL
// window: mouse routing, picking, shortcuts, the pie menu and the three panels.

#include "gl_window.h"

#include <cmath>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "cdisplay.h"
#include "scratch_folder.h"
#include "cshell.h"
#include "gui/imgui_driver.h"

namespace {

const char *const SETTINGS = "Settings (ctrl+s)";
const char *const FILES = "Choose File (ctrl+f)";
const char *const ACTION = "Action (ctrl+a)";
const float HALF_PI = 1.5707964f;
const ImVec2 EMPTY_VIEW(1200.0f, 80.0f);
// Far enough from the edges for the whole pie ring and from the atoms.
const ImVec2 EMPTY_PIE_CENTRE(1060.0f, 560.0f);

const char *const WATER = "3\n"
                          "water\n"
                          "O 0.000 0.000 0.119\n"
                          "H 0.000 0.763 -0.477\n"
                          "H 0.000 -0.763 -0.477\n";

glm::mat4 PresetRotation(float x, float y)
{
    CTrack track;
    track.SetInitialViewX(x, y);
    return track.last_rotation;
}

class ShellTest : public GlDisplayTest {
protected:
    void SetUp() override
    {
        GlDisplayTest::SetUp();
        if (HasFatalFailure())
            return;
        driver = std::make_unique<ImGuiDriver>();
        shell = std::make_unique<CShell>();
        shell->atom = display.get();
        shell->InitPanels();
        WriteText(folder / "water.xyz", WATER);
        driver->Frames(2, ui);
    }

    void TearDown() override
    {
        shell.reset();
        GlDisplayTest::TearDown();
        driver.reset();
    }

    // One pass of the program's frame loop between NewFrame and Render.
    void ShellFrame()
    {
        shell->display_w = WIDTH;
        shell->display_h = HEIGHT;
        glViewport(0, 0, WIDTH, HEIGHT);
        shell->RouteMouse();
        shell->RouteKeys();
        shell->ShowPieMenu();
        shell->ShowPanels();
        shell->DrawScene();
    }

    void LoadWater()
    {
        ASSERT_TRUE(display->ReadFile(folder.Path(), folder / "water.xyz")) << display->error_message;
        driver->Frame(ui);
    }

    // Where atom i's centre is drawn, in window pixels from the top left.
    ImVec2 ScreenOf(uint32_t i) const
    {
        const glm::vec4 clip = display->Projection * display->track.View * display->track.Model *
                               glm::vec4(display->v_float_raw_xyz[i], 1.0f);
        const glm::vec2 ndc = glm::vec2(clip) / clip.w;
        return ImVec2((ndc.x + 1.0f) * 0.5f * WIDTH, (1.0f - ndc.y) * 0.5f * HEIGHT);
    }

    void PressButton(int button, bool down)
    {
        ImGui::GetIO().MouseDown[button] = down;
        driver->Frame(ui);
    }

    void RightClickAt(ImVec2 pos)
    {
        driver->MoveMouse(pos, ui);
        PressButton(1, true);
        PressButton(1, false);
    }

    void Wheel(ImVec2 pos, float amount)
    {
        driver->MoveMouse(pos, ui);
        ImGui::GetIO().MouseWheel = amount;
        driver->Frame(ui);
    }

    // Moves and resizes a panel so that all its widgets show.
    void Unfold(const char *panel, ImVec2 pos, ImVec2 size)
    {
        driver->Frame([&] {
            ShellFrame();
            ImGui::SetWindowPos(panel, pos);
            ImGui::SetWindowSize(panel, size);
        });
        driver->Frame(ui);
    }

    bool Click(const std::string &label)
    {
        const bool found = driver->ClickItem(label, ui);
        driver->Frame(ui);
        return found;
    }

    // Clicks into the input box of the field labelled `label` (the box is left of its label).
    void ClickField(const std::string &label, float left_of_label)
    {
        const ImGuiDriver::TextRun *run = driver->FindText(label);
        ASSERT_NE(run, nullptr) << label;
        driver->ClickAt(ImVec2(run->min.x - left_of_label, run->Centre().y), ui);
    }

    void PickAtom(uint32_t i)
    {
        driver->ClickAt(ScreenOf(i), ui);
        ASSERT_TRUE(display->is_atom_selected);
        ASSERT_EQ(display->selected_atom, i);
    }

    // Opens `file` with the panel's Open button, going to its folder by typed location.
    void OpenWithChooser(const std::string &file)
    {
        ASSERT_TRUE(Click("Open"));
        driver->Frames(2, ui);
        ASSERT_TRUE(Click("L"));
        driver->TypeText(folder.Path(), ui);
        driver->PressKey(GLFW_KEY_ENTER, ui);
        driver->Frames(2, ui);
        ASSERT_TRUE(Click(file));
        driver->Frames(2, ui);
    }

    size_t AtomCount() const { return display->v_float_raw_xyz.size(); }

    ScratchFolder folder;
    std::unique_ptr<ImGuiDriver> driver;
    std::unique_ptr<CShell> shell;
    const ImGuiDriver::Ui ui = [this] { ShellFrame(); };
};

} // namespace

TEST_F(ShellTest, PanelsStartOneUnderAnotherDownTheLeftEdge)
{
    const char *panels[] = {SETTINGS, FILES, ACTION};
    for (int k = 0; k < 3; k++) {
        ASSERT_TRUE(ImGuiDriver::IsWindowShown(panels[k])) << panels[k];
        EXPECT_LT(ImGuiDriver::WindowPos(panels[k]).x, 20.0f);
        EXPECT_EQ(ImGuiDriver::WindowSize(panels[k]).x, 300.0f);
        EXPECT_EQ(ImGuiDriver::WindowSize(panels[k]).y, 120.0f);
        if (k > 0) {
            EXPECT_GE(ImGuiDriver::WindowPos(panels[k]).y,
                      ImGuiDriver::WindowPos(panels[k - 1]).y + ImGuiDriver::WindowSize(panels[k - 1]).y);
        }
    }
    EXPECT_LE(ImGuiDriver::WindowPos(ACTION).y + 120.0f, static_cast<float>(HEIGHT));
}

TEST_F(ShellTest, LeftClickPicksTheAtomUnderThePointerAndRelocks)
{
    LoadWater();
    Unfold(ACTION, ImVec2(10, 270), ImVec2(520, 400));
    shell->is_atom_lock = false;
    PickAtom(0);
    EXPECT_EQ(display->selected_symbol, "O");
    EXPECT_EQ(display->selected_zatom, 8u);
    EXPECT_EQ(display->selected_xyz, display->v_float_raw_xyz[0]);
    EXPECT_TRUE(shell->is_atom_lock);
    EXPECT_TRUE(driver->HasText("Selected atom : No. 0, Symbol [O], Z [8]"));
    EXPECT_TRUE(driver->HasText("Total Atoms: 3"));
    EXPECT_TRUE(driver->HasText("H"));
    EXPECT_TRUE(driver->HasText(": 2"));

    PickAtom(2);
    EXPECT_EQ(display->selected_symbol, "H");
    EXPECT_EQ(display->selected_zatom, 1u);

    driver->ClickAt(EMPTY_VIEW, ui);
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 0xFFFFFFu);
    EXPECT_FALSE(driver->HasText("Symbol:"));
}

TEST_F(ShellTest, PointerOverAPanelNeitherPicksNorZoomsNorOpensThePie)
{
    LoadWater();
    PickAtom(1);
    const ImVec2 on_panel(150.0f, 60.0f);
    driver->ClickAt(on_panel, ui);
    EXPECT_TRUE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 1u);
    RightClickAt(on_panel);
    EXPECT_FALSE(shell->is_select_pie);
    Wheel(on_panel, 1.0f);
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);

    Wheel(EMPTY_VIEW, 2.0f);
    EXPECT_FLOAT_EQ(display->view_zoom, 1.2f);
    Wheel(EMPTY_VIEW, -50.0f);
    EXPECT_FLOAT_EQ(display->view_zoom, 0.1f);
}

TEST_F(ShellTest, DragFromTheViewRotatesEvenAcrossAPanelButNotFromAPanel)
{
    LoadWater();
    const glm::mat4 start = display->track.last_rotation;
    driver->MoveMouse(ImVec2(900.0f, 400.0f), ui);
    PressButton(0, true);
    driver->MoveMouse(ImVec2(850.0f, 380.0f), ui);
    EXPECT_TRUE(shell->is_mouse);
    const glm::mat4 midway = display->track.rot_matrix;
    EXPECT_NE(midway, glm::mat4(1.0f));
    driver->MoveMouse(ImVec2(150.0f, 60.0f), ui); // over the Settings panel
    EXPECT_TRUE(shell->is_mouse);
    EXPECT_NE(display->track.rot_matrix, midway);
    PressButton(0, false);
    EXPECT_FALSE(shell->is_mouse);
    const glm::mat4 turned = display->track.last_rotation;
    EXPECT_NE(turned, start);

    driver->MoveMouse(ImVec2(150.0f, 200.0f), ui); // inside the Choose File panel
    PressButton(0, true);
    driver->MoveMouse(ImVec2(600.0f, 400.0f), ui);
    driver->MoveMouse(ImVec2(900.0f, 500.0f), ui);
    EXPECT_FALSE(shell->is_mouse);
    PressButton(0, false);
    EXPECT_EQ(display->track.last_rotation, turned);
}

TEST_F(ShellTest, ShortcutTableWithCtrlRules)
{
    driver->PressKey(GLFW_KEY_S, ui);
    EXPECT_FALSE(display->is_show_symbol);
    EXPECT_FALSE(display->is_show_label);
    driver->PressKey(GLFW_KEY_S, ui, true);
    EXPECT_FALSE(shell->show_settings_window);
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(SETTINGS));
    EXPECT_FALSE(display->is_show_symbol);
    driver->PressKey(GLFW_KEY_S, ui, true);
    EXPECT_TRUE(ImGuiDriver::IsWindowShown(SETTINGS));
    driver->PressKey(GLFW_KEY_F, ui, true);
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(FILES));
    driver->PressKey(GLFW_KEY_A, ui, true);
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(ACTION));

    driver->PressKey(GLFW_KEY_B, ui);
    EXPECT_TRUE(display->is_show_bond);
    EXPECT_FLOAT_EQ(display->atom_scale, 0.6f);
    driver->PressKey(GLFW_KEY_B, ui, true);
    EXPECT_TRUE(display->is_show_bond);
    driver->PressKey(GLFW_KEY_B, ui);
    EXPECT_FALSE(display->is_show_bond);
    EXPECT_FLOAT_EQ(display->atom_scale, 1.0f);
    driver->PressKey(GLFW_KEY_C, ui);
    EXPECT_TRUE(display->is_show_box);
    driver->PressKey(GLFW_KEY_I, ui);
    EXPECT_TRUE(display->is_show_index);
    EXPECT_TRUE(display->is_show_label);

    driver->PressKey(GLFW_KEY_RIGHT, ui);
    driver->PressKey(GLFW_KEY_UP, ui);
    driver->PressKey(GLFW_KEY_UP, ui);
    EXPECT_EQ(display->view_offset, glm::vec2(1.0f, 2.0f));
    driver->PressKey(GLFW_KEY_LEFT, ui, true);
    driver->PressKey(GLFW_KEY_DOWN, ui);
    driver->PressKey(GLFW_KEY_LEFT, ui);
    driver->PressKey(GLFW_KEY_LEFT, ui);
    EXPECT_EQ(display->view_offset, glm::vec2(-1.0f, 1.0f));

    display->view_zoom = 3.0f;
    display->SetAxesPosition(glm::vec3(0.1f, 0.2f, 0.3f));
    shell->axis_position = glm::vec3(0.1f, 0.2f, 0.3f);
    driver->PressKey(GLFW_KEY_ESCAPE, ui, true);
    EXPECT_FLOAT_EQ(display->view_zoom, 3.0f);
    driver->PressKey(GLFW_KEY_ESCAPE, ui);
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);
    EXPECT_EQ(display->view_offset, glm::vec2(0.0f));
    EXPECT_EQ(shell->axis_position, glm::vec3(0.85f, -0.8f, 0.5f));

    driver->PressKey(GLFW_KEY_X, ui, true);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(HALF_PI, HALF_PI));
    driver->PressKey(GLFW_KEY_Y, ui, true);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(HALF_PI, 0.0f));
    driver->PressKey(GLFW_KEY_Z, ui, true);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(0.0f, HALF_PI));
    driver->PressKey(GLFW_KEY_Z, ui);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(0.0f, HALF_PI));
}

TEST_F(ShellTest, DeleteKeyRemovesOnlyASelectedAtom)
{
    LoadWater();
    driver->PressKey(GLFW_KEY_DELETE, ui);
    EXPECT_EQ(AtomCount(), 3u);
    PickAtom(1);
    driver->PressKey(GLFW_KEY_DELETE, ui);
    EXPECT_EQ(AtomCount(), 2u);
    EXPECT_EQ(display->v_atom_index[1], 0u);
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_FALSE(display->is_updated);
    driver->PressKey(GLFW_KEY_DELETE, ui);
    EXPECT_EQ(AtomCount(), 2u);
}

TEST_F(ShellTest, ShortcutsWaitWhileATextFieldHasTheKeyboard)
{
    LoadWater();
    Unfold(ACTION, ImVec2(10, 270), ImVec2(520, 400));
    PickAtom(0);
    ASSERT_TRUE(Click("Edit"));
    ClickField("X", 100.0f);
    driver->PressKey(GLFW_KEY_DELETE, ui);
    driver->PressKey(GLFW_KEY_S, ui);
    driver->PressKey(GLFW_KEY_A, ui, true);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_TRUE(display->is_show_symbol);
    EXPECT_TRUE(shell->show_action_window);
    driver->PressKey(GLFW_KEY_ENTER, ui);
    driver->PressKey(GLFW_KEY_S, ui);
    EXPECT_FALSE(display->is_show_symbol);

    // The chooser's typed location.
    PickAtom(0);
    ASSERT_TRUE(Click("Open"));
    driver->Frames(2, ui);
    ASSERT_TRUE(Click("L"));
    driver->PressKey(GLFW_KEY_DELETE, ui);
    driver->PressKey(GLFW_KEY_B, ui);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_FALSE(display->is_show_bond);
}

TEST_F(ShellTest, EditingTheSelectedAtomNeedsTheLockOpened)
{
    LoadWater();
    Unfold(ACTION, ImVec2(10, 270), ImVec2(520, 400));
    PickAtom(0);
    ASSERT_TRUE(Click("Symbol:"));
    EXPECT_FALSE(driver->HasText("Select atom"));
    ClickField("X", 100.0f);
    driver->TypeText("7", ui);
    EXPECT_TRUE(display->is_updated);

    ASSERT_TRUE(Click("Edit"));
    EXPECT_FALSE(shell->is_atom_lock);
    ASSERT_TRUE(Click("Symbol:"));
    driver->Frame(ui);
    ASSERT_TRUE(driver->HasText("Select atom"));
    const ImGuiDriver::TextRun *h = driver->FindText("H");
    const ImGuiDriver::TextRun *he = driver->FindText("He");
    const ImGuiDriver::TextRun *lr = driver->FindText("Lr");
    ASSERT_TRUE(h && he && lr);
    EXPECT_NEAR(he->min.x - h->min.x, 510.0f, 8.0f); // groups 1 and 18 of period 1
    EXPECT_NEAR(lr->min.y - h->min.y, 180.0f, 1.0f); // the actinide row
    ASSERT_TRUE(Click("N"));
    EXPECT_FALSE(driver->HasText("Select atom"));
    EXPECT_EQ(display->v_atom_index[0], 6u);
    EXPECT_EQ(display->selected_zatom, 7u);
    EXPECT_TRUE(driver->HasText("Selected atom : No. 0, Symbol [N], Z [7]"));
    EXPECT_FALSE(display->is_updated);

    ClickField("X", 100.0f);
    driver->PressKey(GLFW_KEY_A, ui, true);
    driver->TypeText("1.5", ui);
    driver->PressKey(GLFW_KEY_ENTER, ui);
    EXPECT_FLOAT_EQ(display->v_float_raw_xyz[0].x, 1.5f);
    EXPECT_FLOAT_EQ(display->selected_xyz.x, 1.5f);

    driver->ClickAt(EMPTY_VIEW, ui); // any pick locks again
    EXPECT_TRUE(shell->is_atom_lock);
}

TEST_F(ShellTest, PieMenuCommands)
{
    // Without a structure the menu opens and its commands do nothing.
    RightClickAt(ImVec2(800.0f, 400.0f));
    driver->Frame(ui);
    EXPECT_TRUE(shell->is_select_pie);
    EXPECT_TRUE(driver->HasText("-"));
    ASSERT_TRUE(Click("Bonds"));
    EXPECT_FALSE(shell->is_select_pie);
    EXPECT_FALSE(display->is_show_bond);

    // The atom item names the whole atom number.
    display->is_atom_selected = true;
    display->selected_atom = 123;
    display->selected_symbol = "C";
    RightClickAt(ImVec2(800.0f, 400.0f));
    driver->Frame(ui);
    EXPECT_TRUE(driver->HasText("C-123"));
    ASSERT_TRUE(Click("C-123"));
    EXPECT_FALSE(shell->is_select_pie);

    LoadWater();
    RightClickAt(ScreenOf(1));
    driver->Frame(ui);
    EXPECT_EQ(display->selected_atom, 1u);
    EXPECT_TRUE(driver->HasText("H-1"));
    ASSERT_TRUE(Click("Bonds"));
    EXPECT_TRUE(display->is_show_bond);
    EXPECT_FLOAT_EQ(display->atom_scale, 0.6f);
    EXPECT_EQ(shell->selected, 2);

    const std::pair<const char *, bool *> toggles[] = {{"Symbol", &display->is_show_symbol},
                                                       {"Index", &display->is_show_index}};
    for (const auto &toggle : toggles) {
        const bool before = *toggle.second;
        RightClickAt(EMPTY_PIE_CENTRE);
        driver->Frame(ui);
        ASSERT_TRUE(Click(toggle.first));
        EXPECT_NE(*toggle.second, before) << toggle.first;
    }

    RightClickAt(EMPTY_PIE_CENTRE);
    driver->Frame(ui);
    EXPECT_FALSE(display->is_atom_selected);
    ASSERT_TRUE(Click("Edit"));
    EXPECT_FALSE(shell->is_atom_lock);

    RightClickAt(ScreenOf(2));
    driver->Frame(ui);
    ASSERT_TRUE(Click("Delete"));
    EXPECT_EQ(AtomCount(), 2u);
    RightClickAt(EMPTY_PIE_CENTRE); // nothing selected: Delete does nothing
    driver->Frame(ui);
    ASSERT_TRUE(Click("Delete"));
    EXPECT_EQ(AtomCount(), 2u);
}

TEST_F(ShellTest, SettingsPanelWidgets)
{
    shell->show_file_chooser = shell->show_action_window = false;
    Unfold(SETTINGS, ImVec2(10, 10), ImVec2(560, 330));
    for (const char *label : {"Kivoa beta 20.01(26)", "radius", "zoom", "font", "Backgroud", "Axes", "Reset", "View",
                              "YZ", "ZX", "XY", "Cell", "Bonds", "Symbol", "Index", "Set", "(0,0,0)", "Close"})
        EXPECT_TRUE(driver->HasText(label)) << label;
    EXPECT_TRUE(driver->HasText("0.005")); // the font slider starts at the display's scale

    ASSERT_TRUE(Click("Bonds"));
    EXPECT_TRUE(display->is_show_bond);
    EXPECT_FLOAT_EQ(display->atom_scale, 0.6f);
    ASSERT_TRUE(Click("Cell"));
    EXPECT_TRUE(display->is_show_box);
    ASSERT_TRUE(Click("YZ"));
    EXPECT_EQ(display->track.last_rotation, PresetRotation(HALF_PI, HALF_PI));
    ASSERT_TRUE(Click("ZX"));
    EXPECT_EQ(display->track.last_rotation, PresetRotation(HALF_PI, 0.0f));
    ASSERT_TRUE(Click("XY"));
    EXPECT_EQ(display->track.last_rotation, PresetRotation(0.0f, HALF_PI));

    // Reset restores the view but, unlike Esc, leaves the Axes fields alone.
    display->view_zoom = 4.0f;
    shell->axis_position = glm::vec3(0.5f);
    display->SetAxesPosition(glm::vec3(0.5f));
    ASSERT_TRUE(Click("Reset"));
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);
    EXPECT_EQ(display->axis_position, glm::vec3(-0.85f, 0.8f, -0.5f));
    EXPECT_EQ(shell->axis_position, glm::vec3(0.5f));

    // The background: Ctrl+click turns the red channel into a text field.
    const ImGuiDriver::TextRun *red = nullptr;
    for (const ImGuiDriver::TextRun &run : driver->Texts())
        if (run.text.rfind("R:", 0) == 0)
            red = &run;
    ASSERT_NE(red, nullptr);
    ImGui::GetIO().KeyCtrl = true;
    driver->ClickAt(red->Centre(), ui);
    ImGui::GetIO().KeyCtrl = false;
    driver->PressKey(GLFW_KEY_A, ui, true);
    driver->TypeText("51", ui);
    driver->PressKey(GLFW_KEY_ENTER, ui);
    EXPECT_FLOAT_EQ(shell->clear_color.x, 0.2f);
    EXPECT_FLOAT_EQ(display->CColor.r, 0.2f);
    EXPECT_FLOAT_EQ(shell->inicfg.GetFloat("settings", "bgr", 0.0f), 0.2f);
    EXPECT_NEAR(shell->inicfg.GetFloat("settings", "bgb", 0.0f), 0.47f, 1.0f / 255.0f); // kept in 8 bits

    ASSERT_TRUE(Click("Close"));
    EXPECT_FALSE(shell->show_settings_window);
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(SETTINGS));
}

TEST_F(ShellTest, ChooseFileOpensReloadsSavesAndReportsFailures)
{
    Unfold(FILES, ImVec2(10, 140), ImVec2(900, 200));
    WriteText(folder / "broken.xyz", "2\ncomment\nO 0 0\n");
    ASSERT_TRUE(Click("Save")); // disabled: nothing loaded, nothing edited
    EXPECT_TRUE(shell->file_message.empty());

    OpenWithChooser("water.xyz");
    const std::string water = folder / "water.xyz";
    ASSERT_TRUE(display->is_visible);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_EQ(std::string(shell->win_title), "Kivoa " + water);
    EXPECT_TRUE(driver->HasText("File: " + water));

    OpenWithChooser("broken.xyz");
    EXPECT_TRUE(driver->HasText("File: " + folder / "broken.xyz"));
    const std::string prefix = "Can't read broken.xyz as XYZ: ";
    EXPECT_EQ(shell->file_message.rfind(prefix, 0), 0u) << shell->file_message;
    EXPECT_GT(shell->file_message.size(), prefix.size());
    EXPECT_TRUE(driver->HasText(shell->file_message));
    EXPECT_EQ(std::string(shell->win_title), "Kivoa " + water);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_EQ(std::string(shell->filePath), water);

    // Reload reads the structure shown again, and a success clears the line.
    display->v_float_raw_xyz[0].x = 5.0f;
    ASSERT_TRUE(Click("Reload"));
    EXPECT_TRUE(shell->file_message.empty());
    EXPECT_NE(display->v_float_raw_xyz[0].x, 5.0f);

    // A save that cannot be written keeps the edits unsaved and says why.
    display->SetNewCoordinates(0, display->v_float_raw_xyz[0]);
    ASSERT_EQ(::unlink(water.c_str()), 0);
    ASSERT_EQ(::mkdir(water.c_str(), 0755), 0);
    ASSERT_TRUE(Click("Save"));
    EXPECT_EQ(shell->file_message.rfind("Can't save water.xyz as XYZ: ", 0), 0u) << shell->file_message;
    EXPECT_FALSE(display->is_updated);
    ASSERT_EQ(::rmdir(water.c_str()), 0);
    ASSERT_TRUE(Click("Save"));
    EXPECT_TRUE(shell->file_message.empty());
    EXPECT_TRUE(display->is_updated);
    EXPECT_EQ(ReadText(water).rfind("3\n", 0), 0u);
    ASSERT_EQ(::unlink(water.c_str()), 0);
    ASSERT_TRUE(Click("Save")); // disabled again once saved
    EXPECT_EQ(ReadText(water), "<missing>");

    // The combo chooses the reader; it keeps showing the last choice.
    ASSERT_TRUE(Click("XYZ"));
    ASSERT_TRUE(Click("VASP"));
    EXPECT_EQ(display->input_format, 1);
    EXPECT_TRUE(driver->HasText("VASP"));
    WriteText(folder / "water.xyz", WATER);
    OpenWithChooser("water.xyz");
    EXPECT_EQ(shell->file_message.rfind("Can't read water.xyz as VASP: ", 0), 0u) << shell->file_message;
}

TEST_F(ShellTest, SettingsFileReadAtStartAndWrittenAtExit)
{
    ASSERT_TRUE(shell->paths.SetUser("someone", folder.Path("homes").c_str()));
    shell->is_config = true;
    const std::string inidata = shell->paths.inidata;
    testing::internal::CaptureStdout();
    shell->LoadSettings();
    shell->inicfg.SetFloat("settings", "bgr", 0.25f);
    shell->SaveSettings(); // the folder is not there: the colour can't be kept, and that is said
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Can't load init" + inidata + "\nCan't save init" + inidata + "\n");
    EXPECT_EQ(ReadText(inidata), "<missing>");

    ASSERT_TRUE(CConfig::MakeDirectories(shell->paths.folder));
    testing::internal::CaptureStdout();
    shell->SaveSettings();
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ReadText(inidata), "[settings]\nbgr = 0.250000\n\n");

    CShell next;
    next.paths.SetUser("someone", folder.Path("homes").c_str());
    next.is_config = true;
    testing::internal::CaptureStdout();
    next.LoadSettings();
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Init found " + inidata + "\n");
    EXPECT_FLOAT_EQ(next.clear_color.x, 0.25f);
    EXPECT_FLOAT_EQ(next.clear_color.y, 0.34f);
    EXPECT_FLOAT_EQ(next.clear_color.z, 0.47f);
}
