// The shell's per-frame steps driven through real ImGui frames, with a real display in a GL
// window: mouse routing, picking, shortcuts, the pie menu and the three panels.

#include "gl_window.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <backends/imgui_impl_glfw.h>
#include <imgui_internal.h>

#include "cdisplay.h"
#include "cpanel.h"
#include "measure.h"
#include "png_file.h"
#include "scratch_folder.h"
#include "cshell.h"
#include "gui/imgui_driver.h"

namespace {

const char *const SETTINGS = "Settings (ctrl+s)";
const char *const FILES = "Choose File (ctrl+f)";
const char *const ACTION = "Action (ctrl+a)";
const char *const CHOOSER = "Please select a file##";
const char *const FRAMES = "Frames";
const float HALF_PI = 1.5707964f;
const ImVec2 EMPTY_VIEW(800.0f, 60.0f);
// Far enough from the edges for the whole pie ring and from the atoms.
const ImVec2 EMPTY_PIE_CENTRE(1060.0f, 560.0f);

const char *const WATER = "3\n"
                          "water\n"
                          "O 0.000 0.000 0.119\n"
                          "H 0.000 0.763 -0.477\n"
                          "H 0.000 -0.763 -0.477\n";

// Water, then its first hydrogen pulled away (the O-H bond breaks), then a fourth atom.
const char *const WATER_FRAMES = "3\n"
                                 "frame 0\n"
                                 "O 0.000 0.000 0.119\n"
                                 "H 0.000 0.763 -0.477\n"
                                 "H 0.000 -0.763 -0.477\n"
                                 "3\n"
                                 "frame 1\n"
                                 "O 0.000 0.000 0.119\n"
                                 "H 0.000 2.500 -0.477\n"
                                 "H 0.000 -0.763 -0.477\n"
                                 "4\n"
                                 "frame 2\n"
                                 "O 0.000 0.000 0.119\n"
                                 "H 0.000 0.763 -0.477\n"
                                 "H 0.000 -0.763 -0.477\n"
                                 "H 1.000 0.000 0.500\n";

struct Rect {
    ImVec2 min, max;
    bool Holds(ImVec2 a, ImVec2 b) const { return a.x >= min.x && a.y >= min.y && b.x <= max.x && b.y <= max.y; }
    bool Meets(const Rect &o) const { return min.x < o.max.x && o.min.x < max.x && min.y < o.max.y && o.min.y < max.y; }
};

Rect WindowRect(const std::string &name)
{
    const ImVec2 pos = ImGuiDriver::WindowPos(name.c_str());
    const ImVec2 size = ImGuiDriver::WindowSize(name.c_str());
    return Rect{pos, ImVec2(pos.x + size.x, pos.y + size.y)};
}

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
        // Input reaches the shell as in the program: GLFW callbacks on the window, chained to
        // the GUI's back-end, whose keyboard navigation may be on.
        ImGui_ImplGlfw_InitForOpenGL(window, false);
        ImGui::GetIO().ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
        shell = std::make_unique<CShell>();
        shell->atom = display.get();
        shell->ConnectWindow(window);
        shell->InitPanels();
        WriteText(folder / "water.xyz", WATER);
        driver->Frames(2, ui);
    }

    void TearDown() override
    {
        glfwSetWindowUserPointer(window, nullptr);
        glfwSetKeyCallback(window, nullptr);
        glfwSetCharCallback(window, nullptr);
        glfwSetMouseButtonCallback(window, nullptr);
        glfwSetScrollCallback(window, nullptr);
        glfwSetCursorEnterCallback(window, nullptr);
        glfwSetWindowFocusCallback(window, nullptr);
        glfwSetCursorPosCallback(window, nullptr);
        glfwSetFramebufferSizeCallback(window, nullptr);
        glfwSetWindowRefreshCallback(window, nullptr);
        glfwSetDropCallback(window, nullptr);
        glfwSetWindowShouldClose(window, GLFW_FALSE);
        shell.reset();
        GlDisplayTest::TearDown();
        ImGui_ImplGlfw_Shutdown();
        driver.reset();
    }

    // One pass of the program's frame loop between NewFrame and Render.
    void ShellFrame()
    {
        shell->display_w = frame_w;
        shell->display_h = HEIGHT;
        glViewport(0, 0, frame_w, HEIGHT);
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
        const glm::vec4 clip = display->Projection * display->track.View * display->ModelMatrix() *
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

    // A key event as GLFW delivers it to the window.
    void KeyEvent(int key, int action, int mods = 0) { CInput::KeyCallback(window, key, 0, action, mods); }

    // A key pressed and released, a frame after each, with Ctrl held around it when asked.
    void Press(int key, int mods = 0)
    {
        const bool ctrl = (mods & GLFW_MOD_CONTROL) != 0;
        if (ctrl)
            KeyEvent(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS, GLFW_MOD_CONTROL);
        KeyEvent(key, GLFW_PRESS, mods);
        driver->Frame(ui);
        KeyEvent(key, GLFW_RELEASE, mods);
        driver->Frame(ui);
        if (ctrl)
            KeyEvent(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE, 0);
    }

    // A click on the view away from the atoms and panels: the keys go to the view again.
    void ClickView()
    {
        driver->ClickAt(ImVec2(WIDTH / 2.0f, 20.0f), ui);
        driver->Frame(ui);
    }

    void DoubleClick(const std::string &label)
    {
        const ImGuiDriver::TextRun *run = driver->FindText(label);
        ASSERT_NE(run, nullptr) << label;
        const ImVec2 at = run->Centre();
        driver->ClickAt(at, ui);
        driver->ClickAt(at, ui);
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

    // Picks atom i (on the release) and lets the Action panel grow to its new contents.
    void PickAtom(uint32_t i)
    {
        driver->ClickAt(ScreenOf(i), ui);
        ASSERT_TRUE(display->is_atom_selected);
        ASSERT_EQ(display->selected_atom, i);
        driver->Frames(3, ui);
    }

    // The run drawn wholly inside `rect` that shows `text`, alone or next to a number (the reader
    // joins a label to the value before it when the gap is a whole number of spaces).
    const ImGuiDriver::TextRun *FindText(const std::string &text, const Rect &rect) const
    {
        for (const ImGuiDriver::TextRun &run : driver->Texts()) {
            const size_t at = run.text.find(text);
            const bool alone = at != std::string::npos && (at == 0 || run.text[at - 1] == ' ') &&
                               (at + text.size() == run.text.size() || run.text[at + text.size()] == ' ');
            if (alone && rect.Holds(run.min, run.max))
                return &run;
        }
        return nullptr;
    }

    // All text drawn inside the panel, lines joined by a space (wrapped text reads as one line).
    std::string TextOf(const char *panel) const
    {
        std::string all;
        for (const ImGuiDriver::TextRun &run : driver->Texts())
            if (WindowRect(panel).Holds(run.min, run.max))
                all += run.text + " ";
        return all;
    }

    void ExpectInsideTheWindow(const char *panel) const
    {
        const Rect window{ImVec2(0, 0), ImGui::GetIO().DisplaySize};
        EXPECT_TRUE(window.Holds(WindowRect(panel).min, WindowRect(panel).max))
            << panel << " at " << WindowRect(panel).min.x << ", " << WindowRect(panel).min.y;
    }

    // Opens `file` with the panel's Open button, going to its folder by typed location.
    void OpenWithChooser(const std::string &file)
    {
        ASSERT_TRUE(Click("Open"));
        driver->Frames(2, ui);
        ASSERT_TRUE(Click("L"));
        driver->TypeText(folder.Path(), ui);
        Press(GLFW_KEY_ENTER);
        driver->Frames(2, ui);
        driver->Frame(ui);
        DoubleClick(file);
        driver->Frames(2, ui);
    }

    size_t AtomCount() const { return display->v_float_raw_xyz.size(); }

    // Opens a file by name as the command line does, and lets the panels follow.
    void OpenByName(const std::string &path)
    {
        shell->OpenByName(path.c_str());
        driver->Frames(2, ui);
    }

    void ShiftClickAtom(uint32_t i)
    {
        ImGui::GetIO().KeyShift = true;
        driver->ClickAt(ScreenOf(i), ui);
        ImGui::GetIO().KeyShift = false;
        driver->Frames(3, ui);
    }

    // Replaces the text of the field whose drawn text run is `run` with `text`.
    void RetypeField(const ImGuiDriver::TextRun &run, const std::string &text)
    {
        driver->ClickAt(run.Centre(), ui);
        Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
        driver->TypeText(text, ui);
        Press(GLFW_KEY_ENTER);
        driver->Frame(ui);
    }

    // The lowest drawn run that reads `text` (a field under a listing that shows it too).
    const ImGuiDriver::TextRun *LowestText(const std::string &text) const
    {
        const ImGuiDriver::TextRun *lowest = nullptr;
        for (const ImGuiDriver::TextRun &run : driver->Texts())
            if (run.text == text && (lowest == nullptr || run.min.y > lowest->min.y))
                lowest = &run;
        return lowest;
    }

    bool IsAsking() const { return ImGuiDriver::IsWindowShown("Unsaved edits"); }

    // Frames until the panels have fitted their contents, as the frame loop draws them.
    void Settle()
    {
        driver->Frame(ui);
        for (int k = 0; k < 20 && CPanel::IsSettling(); k++)
            driver->Frame(ui);
        ASSERT_FALSE(CPanel::IsSettling());
    }

    int frame_w = WIDTH; // the window's framebuffer width the shell is told
    ScratchFolder folder;
    std::unique_ptr<ImGuiDriver> driver;
    std::unique_ptr<CShell> shell;
    const ImGuiDriver::Ui ui = [this] { ShellFrame(); };
};

} // namespace

// At their first-use places, also with an atom selected, the panels show every control and text
// whole, inside the window and clear of each other.
TEST_F(ShellTest, PanelsOpenWholeInsideTheWindowAndApart)
{
    LoadWater();
    PickAtom(0);
    const char *panels[] = {SETTINGS, FILES, ACTION};
    const std::vector<std::string> contents[] = {
        {"Kivoa beta 20.01(26)", "radius", "zoom", "font", "Backgroud", "Axes", "Reset", "View", "YZ", "ZX", "XY",
         "Cell", "Bonds", "Symbol", "Index", "Set", "(0,0,0)"},
        {"Input Format", "Open", "Reload", "Save", "File:"},
        {"Selected atom : No. 0, Symbol [O], Z [8]", "Symbol:", "XYZ", "X", "Y", "Z", "Edit", "Total Atoms: 3", ": 2"},
    };
    for (int k = 0; k < 3; k++) {
        ASSERT_TRUE(ImGuiDriver::IsWindowShown(panels[k])) << panels[k];
        ExpectInsideTheWindow(panels[k]);
        const Rect rect = WindowRect(panels[k]);
        for (const std::string &text : contents[k])
            EXPECT_NE(FindText(text, rect), nullptr) << panels[k] << ": " << text;
        EXPECT_NE(FindText("Close", rect), nullptr) << panels[k];
        for (int other = 0; other < k; other++)
            EXPECT_FALSE(rect.Meets(WindowRect(panels[other]))) << panels[k] << " on " << panels[other];
    }
}

// Dragged out, left outside by a smaller window or by a saved layout, a panel comes back whole.
TEST_F(ShellTest, PanelsComeBackInsideTheWindow)
{
    const Rect settings = WindowRect(SETTINGS);
    driver->MoveMouse(ImVec2(settings.min.x + 40.0f, settings.min.y + 8.0f), ui); // its title bar
    PressButton(0, true);
    driver->MoveMouse(ImVec2(1000.0f, 500.0f), ui);
    driver->MoveMouse(ImVec2(1279.0f, 719.0f), ui);
    PressButton(0, false);
    ExpectInsideTheWindow(SETTINGS);
    EXPECT_GT(WindowRect(SETTINGS).max.x, 1270.0f);
    EXPECT_GT(WindowRect(SETTINGS).max.y, 710.0f);

    ImGui::GetIO().DisplaySize = ImVec2(700.0f, 450.0f);
    driver->Frames(2, ui);
    for (const char *panel : {SETTINGS, FILES, ACTION})
        ExpectInsideTheWindow(panel);

    ImGui::LoadIniSettingsFromMemory("[Window][Action (ctrl+a)]\nPos=5000,-300\nSize=300,120\n");
    driver->Frames(2, ui);
    ExpectInsideTheWindow(ACTION);
}

TEST_F(ShellTest, LeftClickPicksTheAtomUnderThePointerAndRelocks)
{
    LoadWater();
    shell->action.is_atom_lock = false;
    PickAtom(0);
    EXPECT_EQ(display->selected_symbol, "O");
    EXPECT_EQ(display->selected_zatom, 8u);
    EXPECT_EQ(display->selected_xyz, display->v_float_raw_xyz[0]);
    EXPECT_TRUE(shell->action.is_atom_lock);
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
    driver->Frame(ui); // the pick came with the release, after the panel
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
    EXPECT_FALSE(shell->pie.is_select_pie);
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
    EXPECT_TRUE(shell->input.is_mouse);
    const glm::mat4 midway = display->track.rot_matrix;
    EXPECT_NE(midway, glm::mat4(1.0f));
    driver->MoveMouse(ImVec2(150.0f, 60.0f), ui); // over the Choose File panel
    EXPECT_TRUE(shell->input.is_mouse);
    EXPECT_NE(display->track.rot_matrix, midway);
    PressButton(0, false);
    EXPECT_FALSE(shell->input.is_mouse);
    const glm::mat4 turned = display->track.last_rotation;
    EXPECT_NE(turned, start);

    driver->MoveMouse(ImVec2(150.0f, 80.0f), ui); // inside the Choose File panel
    PressButton(0, true);
    driver->MoveMouse(ImVec2(600.0f, 400.0f), ui);
    driver->MoveMouse(ImVec2(900.0f, 500.0f), ui);
    EXPECT_FALSE(shell->input.is_mouse);
    PressButton(0, false);
    EXPECT_EQ(display->track.last_rotation, turned);
}

// The arrows and Space move through and press a panel's controls once the panel is clicked, and
// pan the view and play again after a click on the view, or once a chosen file is read.
TEST_F(ShellTest, TheArrowsAndSpaceGoToAFocusedPanelOnly)
{
    LoadWater();
    Press(GLFW_KEY_RIGHT); // panels that appeared take no keys
    EXPECT_EQ(display->view_offset.x, 1.0f);
    ASSERT_TRUE(Click("Bonds"));
    ASSERT_TRUE(display->is_show_bond);
    Press(GLFW_KEY_SPACE); // presses the box again
    EXPECT_FALSE(display->is_show_bond);
    Press(GLFW_KEY_RIGHT);
    Press(GLFW_KEY_DOWN);
    EXPECT_EQ(display->view_offset, glm::vec2(1.0f, 0.0f));
    ClickView();
    Press(GLFW_KEY_RIGHT);
    EXPECT_EQ(display->view_offset.x, 2.0f);
    OpenWithChooser("water.xyz");
    Press(GLFW_KEY_UP);
    EXPECT_EQ(display->view_offset.y, 1.0f);
}

TEST_F(ShellTest, ShortcutTableWithCtrlRules)
{
    Press(GLFW_KEY_S);
    EXPECT_FALSE(display->is_show_symbol);
    EXPECT_FALSE(display->is_show_label);
    Press(GLFW_KEY_S, GLFW_MOD_CONTROL);
    EXPECT_FALSE(shell->show_settings_window);
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(SETTINGS));
    EXPECT_FALSE(display->is_show_symbol);
    Press(GLFW_KEY_S, GLFW_MOD_CONTROL);
    EXPECT_TRUE(ImGuiDriver::IsWindowShown(SETTINGS));
    Press(GLFW_KEY_F, GLFW_MOD_CONTROL);
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(FILES));
    Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(ACTION));

    Press(GLFW_KEY_B);
    EXPECT_TRUE(display->is_show_bond);
    EXPECT_FLOAT_EQ(display->atom_scale, 0.6f);
    Press(GLFW_KEY_B, GLFW_MOD_CONTROL);
    EXPECT_TRUE(display->is_show_bond);
    Press(GLFW_KEY_B);
    EXPECT_FALSE(display->is_show_bond);
    EXPECT_FLOAT_EQ(display->atom_scale, 1.0f);
    Press(GLFW_KEY_C);
    EXPECT_TRUE(display->is_show_box);
    Press(GLFW_KEY_I);
    EXPECT_TRUE(display->is_show_index);
    EXPECT_TRUE(display->is_show_label);

    Press(GLFW_KEY_RIGHT);
    Press(GLFW_KEY_UP);
    Press(GLFW_KEY_UP);
    EXPECT_EQ(display->view_offset, glm::vec2(1.0f, 2.0f));
    Press(GLFW_KEY_LEFT, GLFW_MOD_CONTROL);
    Press(GLFW_KEY_DOWN);
    Press(GLFW_KEY_LEFT);
    Press(GLFW_KEY_LEFT);
    EXPECT_EQ(display->view_offset, glm::vec2(-1.0f, 1.0f));

    display->view_zoom = 3.0f;
    display->SetAxesPosition(glm::vec3(0.1f, 0.2f, 0.3f));
    shell->settings.axis_position = glm::vec3(0.1f, 0.2f, 0.3f);
    Press(GLFW_KEY_ESCAPE, GLFW_MOD_CONTROL);
    EXPECT_FLOAT_EQ(display->view_zoom, 3.0f);
    Press(GLFW_KEY_ESCAPE);
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);
    EXPECT_EQ(display->view_offset, glm::vec2(0.0f));
    EXPECT_EQ(shell->settings.axis_position, glm::vec3(0.85f, -0.8f, 0.5f));

    Press(GLFW_KEY_X, GLFW_MOD_CONTROL);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(HALF_PI, HALF_PI));
    Press(GLFW_KEY_Y, GLFW_MOD_CONTROL);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(HALF_PI, 0.0f));
    Press(GLFW_KEY_Z, GLFW_MOD_CONTROL);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(0.0f, HALF_PI));
    Press(GLFW_KEY_Z);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(0.0f, HALF_PI));
}

// However few frames are drawn, every press acts once, with the Ctrl state it was pressed with;
// a held key toggles once and only the pan keys go on.
TEST_F(ShellTest, EveryKeyPressActsOnceHoweverSlowTheFrames)
{
    const bool symbols = display->is_show_symbol;
    for (int i = 0; i < 3; i++) {
        KeyEvent(GLFW_KEY_B, GLFW_PRESS);
        KeyEvent(GLFW_KEY_B, GLFW_RELEASE);
    }
    driver->Frame(ui);
    EXPECT_TRUE(display->is_show_bond);

    KeyEvent(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS, GLFW_MOD_CONTROL);
    KeyEvent(GLFW_KEY_S, GLFW_PRESS, GLFW_MOD_CONTROL);
    KeyEvent(GLFW_KEY_S, GLFW_RELEASE, GLFW_MOD_CONTROL);
    KeyEvent(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE, 0);
    KeyEvent(GLFW_KEY_S, GLFW_PRESS);
    driver->Frame(ui);
    KeyEvent(GLFW_KEY_S, GLFW_RELEASE);
    EXPECT_FALSE(shell->show_settings_window);
    EXPECT_NE(display->is_show_symbol, symbols);

    KeyEvent(GLFW_KEY_C, GLFW_PRESS);
    for (int i = 0; i < 5; i++) {
        KeyEvent(GLFW_KEY_C, GLFW_REPEAT);
        KeyEvent(GLFW_KEY_RIGHT, i == 0 ? GLFW_PRESS : GLFW_REPEAT);
        driver->Frame(ui);
    }
    KeyEvent(GLFW_KEY_C, GLFW_RELEASE);
    KeyEvent(GLFW_KEY_RIGHT, GLFW_RELEASE);
    driver->Frame(ui);
    EXPECT_TRUE(display->is_show_box);
    EXPECT_EQ(display->view_offset, glm::vec2(5.0f, 0.0f));
}

// While the chooser is open, no click, drag, wheel, right click or key reaches the view, the
// pie menu or the panels; once it is closed they all act again.
// Behind the open chooser the scene is the picture drawn as it opened, not drawn anew at each of
// its frames (a changed background shows only once it is closed); playback still draws.
TEST_F(ShellTest, TheSceneBehindTheChooserIsHeldWhileItIsOpen)
{
    WriteText(folder / "frames.xyz", WATER_FRAMES);
    OpenByName(folder / "frames.xyz");
    ASSERT_TRUE(Click("Open"));
    driver->Frames(2, ui);
    const auto empty_view = [] {
        return Frame(WIDTH, HEIGHT).At(static_cast<int>(EMPTY_VIEW.x), HEIGHT - 1 - static_cast<int>(EMPTY_VIEW.y));
    };
    const glm::vec3 held = empty_view();
    shell->clear_color = ImVec4(1.0f, 0.0f, 0.0f, 1.0f);
    driver->Frames(2, ui);
    EXPECT_EQ(empty_view(), held);
    shell->frames.is_playing = true;
    driver->Frame(ui);
    EXPECT_NE(empty_view(), held);
    shell->frames.is_playing = false;
    ASSERT_TRUE(Click("Cancel"));
    EXPECT_EQ(empty_view(), glm::vec3(1.0f, 0.0f, 0.0f));
}

// The picture drawn last is shown again only while nothing it shows changed: each change below
// draws the scene anew (a turn under the hand quick, then full; a pick, then its selection), and
// the frame after is kept.
TEST_F(ShellTest, TheSceneIsDrawnAgainWhenAnythingItShowsChanged)
{
    OpenByName(folder / "water.xyz");
    const struct {
        const char *what;
        int frames_drawn;
        std::function<void(CDisplay &)> change;
    } changes[] = {
        {"turn", 1, [](CDisplay &d) { d.SetTrackRotation(0.3f, 0.2f); }},
        {"turn by hand", 2, [](CDisplay &d) { d.SetTrackRotation(0.1f, 0.4f), d.NoteViewMoved(); }},
        {"zoom", 1, [](CDisplay &d) { d.SetZoom(0.5f); }},
        {"pan", 1, [](CDisplay &d) { d.view_offset.x += 1.0f; }},
        {"refit", 1, [](CDisplay &d) { d.ResetZoom(); }},
        {"window size", 1, [this](CDisplay &) { frame_w -= 10; }},
        {"background", 1, [this](CDisplay &) { shell->clear_color.x += 0.1f; }},
        {"atoms", 1, [](CDisplay &d) { d.StructureChanged(); }},
        {"selection", 1, [](CDisplay &d) { d.selection.SelectAll(d.Hidden()); }},
        {"hidden", 1, [](CDisplay &d) { d.SetHidden({1}, true); }},
        {"pick", 2, [](CDisplay &d) { d.SetPicking(WIDTH / 2, HEIGHT / 2); }},
        {"export", 1, [this](CDisplay &) { shell->exporter.Request(); }},
        {"picked atom", 1, [](CDisplay &d) { d.is_atom_selected = true, d.selected_atom = 2; }},
        {"highlight", 1, [](CDisplay &d) { d.is_show_highlight = false; }},
        {"bonds", 1, [](CDisplay &d) { d.is_show_bond = !d.is_show_bond; }},
        {"cell box", 1, [](CDisplay &d) { d.is_show_box = !d.is_show_box; }},
        {"cell", 1, [](CDisplay &d) { d.m_cell_box[0][0] += 1.0; }},
        {"symbols", 1, [](CDisplay &d) { d.is_show_symbol = !d.is_show_symbol; }},
        {"indices", 1, [](CDisplay &d) { d.is_show_index = !d.is_show_index; }},
        {"label size", 1, [](CDisplay &d) { d.label_pixels += 2; }},
        {"font size", 1, [](CDisplay &d) { d.label_pixels = 0, d.font_scale *= 2.0f; }},
        {"ball size", 1, [](CDisplay &d) { d.atom_scale *= 0.9f; }},
        {"smooth", 1, [](CDisplay &d) { d.is_smooth = !d.is_smooth; }},
        {"culling", 1, [](CDisplay &d) { d.is_cull = !d.is_cull; }},
        {"axes", 1, [](CDisplay &d) { d.axis_position.x += 0.1f; }},
    };
    driver->Frame(ui);
    ASSERT_TRUE(shell->IsSceneKept());
    for (const auto &c : changes) {
        c.change(*display);
        for (int k = 0; k < c.frames_drawn; k++) {
            driver->Frame(ui);
            EXPECT_FALSE(shell->IsSceneKept()) << c.what << ", frame " << k;
        }
        driver->Frame(ui);
        EXPECT_TRUE(shell->IsSceneKept()) << c.what;
    }
}

TEST_F(ShellTest, TheOpenChooserKeepsAllInputFromWhatIsBehindIt)
{
    LoadWater();
    ASSERT_TRUE(Click("Open"));
    driver->Frames(2, ui);
    const std::string chooser = ImGuiDriver::ShownWindowStartingWith(CHOOSER);
    ASSERT_NE(chooser, "");
    const Rect dialog = WindowRect(chooser);
    for (ImVec2 p : {ScreenOf(0), EMPTY_VIEW, EMPTY_PIE_CENTRE, ImVec2(EMPTY_VIEW.x + 100.0f, EMPTY_VIEW.y + 60.0f)})
        ASSERT_FALSE(dialog.Holds(p, p)) << p.x << ", " << p.y;
    const glm::mat4 rotation = display->track.last_rotation;
    const bool symbols = display->is_show_symbol;

    driver->ClickAt(ScreenOf(0), ui);
    driver->MoveMouse(EMPTY_VIEW, ui);
    PressButton(0, true);
    driver->MoveMouse(ImVec2(EMPTY_VIEW.x + 50.0f, EMPTY_VIEW.y + 30.0f), ui);
    driver->MoveMouse(ImVec2(EMPTY_VIEW.x + 100.0f, EMPTY_VIEW.y + 60.0f), ui);
    PressButton(0, false);
    Wheel(EMPTY_VIEW, 2.0f);
    RightClickAt(EMPTY_PIE_CENTRE);
    driver->Frame(ui);
    Press(GLFW_KEY_B);
    Press(GLFW_KEY_S);
    Press(GLFW_KEY_F, GLFW_MOD_CONTROL);
    Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
    const ImGuiDriver::TextRun *close = FindText("Close", WindowRect(SETTINGS));
    ASSERT_NE(close, nullptr);
    ASSERT_FALSE(dialog.Holds(close->min, close->max));
    driver->ClickAt(close->Centre(), ui);

    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_EQ(display->track.last_rotation, rotation);
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);
    EXPECT_FALSE(shell->pie.is_select_pie);
    EXPECT_FALSE(display->is_show_bond);
    EXPECT_EQ(display->is_show_symbol, symbols);
    EXPECT_TRUE(shell->show_file_chooser && shell->show_action_window && shell->show_settings_window);
    EXPECT_EQ(ImGuiDriver::ShownWindowStartingWith(CHOOSER), chooser);

    ASSERT_TRUE(Click("Cancel"));
    EXPECT_EQ(ImGuiDriver::ShownWindowStartingWith(CHOOSER), "");
    Press(GLFW_KEY_B);
    EXPECT_TRUE(display->is_show_bond);
    PickAtom(0);
}

// Standing still the viewer waits for input; a blinking text cursor or a held repeat button need
// frames without it.
TEST_F(ShellTest, FramesWithoutInputOnlyWhileTheGuiChangesByItself)
{
    Settle();
    EXPECT_EQ(shell->AnimationWait(), 0.0);
    LoadWater();
    PickAtom(0);
    ASSERT_TRUE(Click("Edit"));
    EXPECT_EQ(shell->AnimationWait(), 0.0);
    ClickField("X", 100.0f);
    EXPECT_GT(shell->AnimationWait(), 0.0);
    Press(GLFW_KEY_ENTER);
    driver->Frame(ui);
    EXPECT_EQ(shell->AnimationWait(), 0.0);

    const ImGuiDriver::TextRun *plus = FindText("+", WindowRect(ACTION));
    ASSERT_NE(plus, nullptr);
    driver->MoveMouse(plus->Centre(), ui);
    PressButton(0, true);
    EXPECT_GT(shell->AnimationWait(), 0.0);
    EXPECT_LT(shell->AnimationWait(), 0.1);
    PressButton(0, false);
    EXPECT_EQ(shell->AnimationWait(), 0.0);

    driver->MoveMouse(EMPTY_VIEW, ui); // a drag of the view moves only with the pointer
    PressButton(0, true);
    EXPECT_EQ(shell->AnimationWait(), 0.0);
    PressButton(0, false);
}

TEST_F(ShellTest, DeleteKeyRemovesOnlyASelectedAtom)
{
    LoadWater();
    Press(GLFW_KEY_DELETE);
    EXPECT_EQ(AtomCount(), 3u);
    PickAtom(1);
    Press(GLFW_KEY_DELETE);
    EXPECT_EQ(AtomCount(), 2u);
    EXPECT_EQ(display->v_atom_index[1], 0u);
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_FALSE(display->IsUpdated());
    Press(GLFW_KEY_DELETE);
    EXPECT_EQ(AtomCount(), 2u);
}

TEST_F(ShellTest, ShortcutsWaitWhileATextFieldHasTheKeyboard)
{
    LoadWater();
    PickAtom(0);
    ASSERT_TRUE(Click("Edit"));
    ClickField("X", 100.0f);
    Press(GLFW_KEY_DELETE);
    Press(GLFW_KEY_S);
    Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_TRUE(display->is_show_symbol);
    EXPECT_TRUE(shell->show_action_window);
    Press(GLFW_KEY_ENTER);
    Press(GLFW_KEY_S);
    EXPECT_FALSE(display->is_show_symbol);

    // The chooser's typed location.
    PickAtom(0);
    ASSERT_TRUE(Click("Open"));
    driver->Frames(2, ui);
    ASSERT_TRUE(Click("L"));
    Press(GLFW_KEY_DELETE);
    Press(GLFW_KEY_B);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_FALSE(display->is_show_bond);
}

TEST_F(ShellTest, EditingTheSelectedAtomNeedsTheLockOpened)
{
    LoadWater();
    PickAtom(0);
    ASSERT_TRUE(Click("Symbol:"));
    EXPECT_FALSE(driver->HasText("Select atom"));
    ClickField("X", 100.0f);
    driver->TypeText("7", ui);
    EXPECT_TRUE(display->IsUpdated());

    ASSERT_TRUE(Click("Edit"));
    EXPECT_FALSE(shell->action.is_atom_lock);
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
    EXPECT_FALSE(display->IsUpdated());

    ClickField("X", 100.0f);
    Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
    driver->TypeText("1.5", ui);
    Press(GLFW_KEY_ENTER);
    EXPECT_FLOAT_EQ(display->v_float_raw_xyz[0].x, 1.5f);
    EXPECT_FLOAT_EQ(display->selected_xyz.x, 1.5f);

    driver->ClickAt(EMPTY_VIEW, ui); // any pick locks again
    EXPECT_TRUE(shell->action.is_atom_lock);
}

TEST_F(ShellTest, PieMenuCommands)
{
    // Without a structure the menu opens and its commands do nothing.
    RightClickAt(ImVec2(800.0f, 400.0f));
    driver->Frame(ui);
    EXPECT_TRUE(shell->pie.is_select_pie);
    EXPECT_TRUE(driver->HasText("-"));
    ASSERT_TRUE(Click("Bonds"));
    EXPECT_FALSE(shell->pie.is_select_pie);
    EXPECT_FALSE(display->is_show_bond);

    // The atom item names the whole atom number.
    display->is_atom_selected = true;
    display->selected_atom = 123;
    display->selected_symbol = "C";
    RightClickAt(ImVec2(800.0f, 400.0f));
    driver->Frame(ui);
    EXPECT_TRUE(driver->HasText("C-123"));
    ASSERT_TRUE(Click("C-123"));
    EXPECT_FALSE(shell->pie.is_select_pie);

    LoadWater();
    RightClickAt(ScreenOf(1));
    driver->Frame(ui);
    EXPECT_EQ(display->selected_atom, 1u);
    EXPECT_TRUE(driver->HasText("H-1"));
    ASSERT_TRUE(Click("Bonds"));
    EXPECT_TRUE(display->is_show_bond);
    EXPECT_FLOAT_EQ(display->atom_scale, 0.6f);
    EXPECT_EQ(shell->pie.selected, 2);

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
    EXPECT_FALSE(shell->action.is_atom_lock);

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
    for (const char *label : {"Kivoa beta 20.01(26)", "radius", "zoom", "font", "Backgroud", "Axes", "Reset", "View",
                              "YZ", "ZX", "XY", "Cell", "Bonds", "Symbol", "Index", "Set", "(0,0,0)", "Close"})
        EXPECT_NE(FindText(label, WindowRect(SETTINGS)), nullptr) << label;
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
    shell->settings.axis_position = glm::vec3(0.5f);
    display->SetAxesPosition(glm::vec3(0.5f));
    ASSERT_TRUE(Click("Reset"));
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);
    EXPECT_EQ(display->axis_position, glm::vec3(-0.85f, 0.8f, -0.5f));
    EXPECT_EQ(shell->settings.axis_position, glm::vec3(0.5f));

    // The background: Ctrl+click turns the red channel into a text field.
    const ImGuiDriver::TextRun *red = nullptr;
    for (const ImGuiDriver::TextRun &run : driver->Texts())
        if (run.text.rfind("R:", 0) == 0)
            red = &run;
    ASSERT_NE(red, nullptr);
    ImGui::GetIO().KeyCtrl = true;
    driver->ClickAt(red->Centre(), ui);
    ImGui::GetIO().KeyCtrl = false;
    Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
    driver->TypeText("51", ui);
    Press(GLFW_KEY_ENTER);
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
    WriteText(folder / "broken.xyz", "2\ncomment\nO 0 0\n");
    ASSERT_TRUE(Click("Save")); // disabled: nothing loaded, nothing edited
    EXPECT_TRUE(shell->document->Message().empty());

    OpenWithChooser("water.xyz");
    const std::string water = folder / "water.xyz";
    ASSERT_TRUE(display->is_visible);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_EQ(std::string(shell->win_title), "Kivoa " + water);
    EXPECT_TRUE(driver->HasText("File: " + water));

    // A failed open: the panel, the title, Reload and Save stay with the structure shown.
    OpenWithChooser("broken.xyz");
    EXPECT_TRUE(driver->HasText("File: " + water));
    const std::string prefix = "Can't read broken.xyz as XYZ: ";
    EXPECT_EQ(shell->document->Message().rfind(prefix, 0), 0u) << shell->document->Message();
    EXPECT_GT(shell->document->Message().size(), prefix.size());
    EXPECT_NE(TextOf(FILES).find(shell->document->Message()), std::string::npos) << TextOf(FILES);
    EXPECT_EQ(std::string(shell->win_title), "Kivoa " + water);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_EQ(std::string(shell->document->Path()), water);

    // Reload reads the structure shown again, and a success clears the line.
    display->v_float_raw_xyz[0].x = 5.0f;
    ASSERT_TRUE(Click("Reload"));
    EXPECT_TRUE(shell->document->Message().empty());
    EXPECT_NE(display->v_float_raw_xyz[0].x, 5.0f);

    // A save that cannot be written keeps the edits unsaved and says why.
    display->SetNewCoordinates(0, display->v_float_raw_xyz[0]);
    ASSERT_EQ(::unlink(water.c_str()), 0);
    ASSERT_EQ(::mkdir(water.c_str(), 0755), 0);
    ASSERT_TRUE(Click("Save"));
    EXPECT_EQ(shell->document->Message().rfind("Can't save water.xyz as XYZ: ", 0), 0u) << shell->document->Message();
    EXPECT_FALSE(display->IsUpdated());
    ASSERT_EQ(::rmdir(water.c_str()), 0);
    ASSERT_TRUE(Click("Save"));
    EXPECT_TRUE(shell->document->Message().empty());
    EXPECT_TRUE(display->IsUpdated());
    EXPECT_EQ(ReadText(water).rfind("3\n", 0), 0u);
    ASSERT_EQ(::unlink(water.c_str()), 0);
    ASSERT_TRUE(Click("Save")); // disabled again once saved
    EXPECT_EQ(ReadText(water), "<missing>");

    // Without "by name" the combo chooses the reader; it keeps showing the last choice.
    ASSERT_TRUE(Click("by name"));
    EXPECT_FALSE(shell->files.is_by_name);
    ASSERT_TRUE(Click("XYZ"));
    ASSERT_TRUE(Click("VASP"));
    EXPECT_EQ(display->input_format, 1);
    EXPECT_TRUE(driver->HasText("VASP"));
    WriteText(folder / "water.xyz", WATER);
    OpenWithChooser("water.xyz");
    EXPECT_EQ(shell->document->Message().rfind("Can't read water.xyz as VASP: ", 0), 0u) << shell->document->Message();

    // Open and then Cancel: the old failure is gone.
    ASSERT_TRUE(Click("Open"));
    driver->Frames(2, ui);
    ASSERT_TRUE(Click("Cancel"));
    EXPECT_EQ(ImGuiDriver::ShownWindowStartingWith(CHOOSER), "");
    EXPECT_TRUE(shell->document->Message().empty());
    EXPECT_EQ(TextOf(FILES).find("Can't"), std::string::npos) << TextOf(FILES);
    EXPECT_TRUE(driver->HasText("File: " + water));

    // Reload reads the structure shown as what it was read as, whatever the combo says now.
    display->v_float_raw_xyz[0].x = 5.0f;
    ASSERT_TRUE(Click("Reload"));
    EXPECT_TRUE(shell->document->Message().empty()) << shell->document->Message();
    EXPECT_NE(display->v_float_raw_xyz[0].x, 5.0f);
    EXPECT_EQ(display->input_format, 1);
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

namespace {

// Orthorhombic 4 x 5 x 6 cell: atom 0 near the a = 0 face, atom 1 near the a = 1 face.
const char *const CELL_POSCAR = "two atoms across a face\n"
                                "1.0\n"
                                "4.0 0.0 0.0\n"
                                "0.0 5.0 0.0\n"
                                "0.0 0.0 6.0\n"
                                "Na Cl\n"
                                "1 1\n"
                                "Direct\n"
                                "0.05 0.5 0.5\n"
                                "0.90 0.5 0.5\n";

// The callback GLFW would call on a drop onto the window.
void Drop(GLFWwindow *window, const std::vector<std::string> &paths)
{
    const GLFWdropfun callback = glfwSetDropCallback(window, nullptr);
    glfwSetDropCallback(window, callback);
    ASSERT_NE(callback, nullptr);
    std::vector<const char *> names;
    for (const std::string &p : paths)
        names.push_back(p.c_str());
    callback(window, static_cast<int>(names.size()), names.data());
}

} // namespace

// The command line and a drop open by name: the name picks the reader and the combo shows it; a
// name that suggests nothing is read as the combo says; a failure is told in Choose File.
TEST_F(ShellTest, OpenByNameFollowsTheFileNameAndTellsFailures)
{
    WriteText(folder / "POSCAR_cell", CELL_POSCAR);
    WriteText(folder / "water.data", WATER);
    OpenByName(folder / "POSCAR_cell");
    EXPECT_EQ(display->file_format, 1);
    EXPECT_EQ(display->input_format, 1);
    EXPECT_EQ(AtomCount(), 2u);
    EXPECT_TRUE(FindText("VASP", WindowRect(FILES)) != nullptr);
    EXPECT_EQ(std::string(shell->win_title), "Kivoa " + (folder / "POSCAR_cell"));

    OpenByName(folder / "water.data"); // no suggestion: read as VASP, the combo's choice
    EXPECT_EQ(shell->document->Message().rfind("Can't read water.data as VASP: ", 0), 0u) << shell->document->Message();
    EXPECT_NE(TextOf(FILES).find("Can't read water.data as VASP"), std::string::npos);
    EXPECT_EQ(AtomCount(), 2u);
    EXPECT_EQ(std::string(shell->document->Path()), folder / "POSCAR_cell");

    // A relative name is opened from the working folder and named by its whole path.
    shell->show_file_chooser = false;
    char here[4096];
    ASSERT_NE(::getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(::chdir(folder.Path().c_str()), 0);
    OpenByName("missing.pdb");
    ASSERT_EQ(::chdir(here), 0);
    EXPECT_TRUE(shell->show_file_chooser); // shown again to say why
    EXPECT_EQ(display->input_format, 2);
    EXPECT_EQ(shell->document->Message().rfind("Can't read missing.pdb as PDB", 0), 0u) << shell->document->Message();

    // Of the files dropped together the first is opened, at the next frame.
    Drop(window, {folder / "water.xyz", folder / "POSCAR_cell"});
    EXPECT_EQ(AtomCount(), 2u);
    driver->Frames(2, ui);
    EXPECT_EQ(display->file_format, 0);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_TRUE(shell->document->Message().empty());
    EXPECT_TRUE(driver->HasText("File: " + (folder / "water.xyz")));
}

// Open, drop, Reload and closing the window ask before unsaved edits go; a failed save keeps them.
TEST_F(ShellTest, UnsavedEditsAreAskedAboutBeforeTheyGo)
{
    WriteText(folder / "POSCAR", CELL_POSCAR);
    const std::string water = folder / "water.xyz";
    OpenByName(water);
    PickAtom(1);
    Press(GLFW_KEY_DELETE);
    ASSERT_FALSE(display->IsUpdated());

    OpenByName(folder / "POSCAR");
    EXPECT_TRUE(IsAsking());
    EXPECT_EQ(AtomCount(), 2u);
    Press(GLFW_KEY_B); // the question keeps the keys
    EXPECT_FALSE(display->is_show_bond);
    ASSERT_TRUE(Click("Cancel"));
    EXPECT_FALSE(IsAsking());
    EXPECT_EQ(display->file_format, 0);
    EXPECT_FALSE(display->IsUpdated());

    ASSERT_TRUE(Click("Reload"));
    driver->Frame(ui);
    ASSERT_TRUE(IsAsking());
    ASSERT_TRUE(Click("Discard"));
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_TRUE(display->IsUpdated());

    // Save, then the dropped file; a save that fails opens nothing.
    PickAtom(1);
    Press(GLFW_KEY_DELETE);
    ASSERT_EQ(::unlink(water.c_str()), 0);
    ASSERT_EQ(::mkdir(water.c_str(), 0755), 0);
    Drop(window, {folder / "POSCAR"});
    driver->Frames(2, ui);
    ASSERT_TRUE(IsAsking());
    ASSERT_TRUE(Click("Save"));
    EXPECT_FALSE(IsAsking());
    EXPECT_EQ(AtomCount(), 2u);
    EXPECT_EQ(display->file_format, 0);
    EXPECT_EQ(shell->document->Message().rfind("Can't save water.xyz as XYZ", 0), 0u) << shell->document->Message();
    ASSERT_EQ(::rmdir(water.c_str()), 0);
    Drop(window, {folder / "POSCAR"});
    driver->Frames(2, ui);
    ASSERT_TRUE(Click("Save"));
    EXPECT_EQ(ReadText(water).rfind("2\n", 0), 0u);
    EXPECT_EQ(display->file_format, 1);
    EXPECT_TRUE(display->IsUpdated());

    // Closing: the window stays until the answer; Discard lets it close.
    EXPECT_TRUE(shell->ConfirmClose()); // nothing unsaved
    PickAtom(0);
    Press(GLFW_KEY_DELETE);
    glfwSetWindowShouldClose(window, GLFW_TRUE);
    EXPECT_FALSE(shell->ConfirmClose());
    EXPECT_FALSE(glfwWindowShouldClose(window));
    driver->Frames(2, ui);
    ASSERT_TRUE(IsAsking());
    EXPECT_TRUE(driver->HasText("Save them before closing?"));
    ASSERT_TRUE(Click("Discard"));
    EXPECT_TRUE(glfwWindowShouldClose(window));
    EXPECT_TRUE(shell->ConfirmClose());
}

// Save As writes the structure to a new file in its format, and from then on names that file.
TEST_F(ShellTest, SaveAsWritesANewFileAndNamesIt)
{
    const std::string water = folder / "water.xyz";
    OpenByName(water);
    PickAtom(1);
    Press(GLFW_KEY_DELETE);
    ASSERT_TRUE(Click("Save As"));
    driver->Frames(2, ui);
    ASSERT_NE(ImGuiDriver::ShownWindowStartingWith("Save as##"), "");
    EXPECT_TRUE(driver->HasText("Replace")); // the name starts as the file's own

    const ImGuiDriver::TextRun *field = LowestText("water.xyz");
    ASSERT_NE(field, nullptr);
    RetypeField(*field, "copy.xyz");
    EXPECT_FALSE(driver->HasText("Replace"));
    ASSERT_TRUE(Click("Save"));
    driver->Frame(ui);
    const std::string copy = folder / "copy.xyz";
    EXPECT_EQ(ImGuiDriver::ShownWindowStartingWith("Save as##"), "");
    EXPECT_EQ(ReadText(copy).rfind("2\n", 0), 0u);
    EXPECT_EQ(ReadText(water), WATER);
    EXPECT_EQ(std::string(shell->document->Path()), copy);
    EXPECT_EQ(std::string(shell->win_title), "Kivoa " + copy);
    EXPECT_TRUE(display->IsUpdated());

    // Reload and Save now go to the new file.
    PickAtom(0);
    Press(GLFW_KEY_DELETE);
    ASSERT_TRUE(Click("Save"));
    EXPECT_EQ(ReadText(copy).rfind("1\n", 0), 0u);
    EXPECT_EQ(ReadText(water), WATER);

    // A click on a listed file takes its name; a folder's name can't be saved to.
    ASSERT_TRUE(Click("Save As"));
    driver->Frames(2, ui);
    folder.Folder("sub");
    const ImGuiDriver::TextRun *name = LowestText("copy.xyz");
    ASSERT_NE(name, nullptr);
    RetypeField(*name, "sub");
    ASSERT_TRUE(Click("Save"));
    EXPECT_NE(ImGuiDriver::ShownWindowStartingWith("Save as##"), "");
    ASSERT_TRUE(Click("Cancel"));
    EXPECT_EQ(std::string(shell->document->Path()), copy);
}

// The panel edits the position in the file's frame, exactly, and in a periodic structure also
// its fractional coordinates.
TEST_F(ShellTest, CoordinatesInTheFileFrameAndFractional)
{
    WriteText(folder / "POSCAR", CELL_POSCAR);
    OpenByName(folder / "POSCAR");
    PickAtom(0);
    const Rect action = WindowRect(ACTION);
    EXPECT_NE(FindText("0.2000", action), nullptr); // x = 0.05 a
    EXPECT_NE(FindText("2.5000", action), nullptr);
    EXPECT_NE(FindText("0.0500", action), nullptr); // fractional a
    ASSERT_NE(FindText("abc", action), nullptr);
    ASSERT_TRUE(Click("Edit"));

    ClickField("X", 100.0f);
    Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
    driver->TypeText("1.2345", ui);
    Press(GLFW_KEY_ENTER);
    EXPECT_EQ(display->v_real_xyz[0], glm::dvec3(1.2345, 2.5, 3.0));
    EXPECT_EQ(display->selected_xyz, display->v_float_raw_xyz[0]);

    // a = 0.5 through the fractional field.
    const ImGuiDriver::TextRun *a = FindText("0.3086", WindowRect(ACTION));
    ASSERT_NE(a, nullptr);
    RetypeField(*a, "0.5");
    EXPECT_NEAR(display->v_real_xyz[0].x, 2.0, 1e-12);
    EXPECT_NEAR(display->v_real_xyz[0].y, 2.5, 1e-12);
    EXPECT_FALSE(display->IsUpdated());
}

// Shift+click builds a selection of up to four atoms; the panel measures it in the file's frame
// (to the nearest image in a cell) and the view numbers the atoms.
TEST_F(ShellTest, ShiftClickMeasuresAndMarksThePickedAtoms)
{
    LoadWater();
    const CMeasure measure;
    const std::vector<glm::dvec3> &p = display->v_real_xyz;
    PickAtom(0);
    ShiftClickAtom(1);
    EXPECT_EQ(shell->marks.v_picked, (std::vector<uint32_t>{0, 1}));
    // The driver reads each glyph back as one byte: the angstrom sign as 0xC5, the degree as 0xB0.
    char text[64];
    std::snprintf(text, sizeof text, "Distance 0-1: %.4f \xC5", measure.Distance(p[0], p[1]));
    EXPECT_TRUE(driver->HasText(text)) << TextOf(ACTION);
    const ImGuiDriver::TextRun *mark = driver->FindText("2");
    ASSERT_NE(mark, nullptr);
    EXPECT_NEAR(mark->Centre().x, ScreenOf(1).x, 2.0f);
    EXPECT_NEAR(mark->Centre().y, ScreenOf(1).y, 2.0f);

    ShiftClickAtom(2);
    std::snprintf(text, sizeof text, "Angle 0-1-2: %.2f\xB0", measure.Angle(p[0], p[1], p[2]));
    EXPECT_TRUE(driver->HasText(text)) << TextOf(ACTION);
    EXPECT_TRUE(driver->HasText("3"));

    ShiftClickAtom(1); // already picked: no change
    EXPECT_EQ(shell->marks.v_picked.size(), 3u);

    PickAtom(2); // a plain click starts again
    EXPECT_EQ(shell->marks.v_picked, (std::vector<uint32_t>{2}));
    EXPECT_EQ(TextOf(ACTION).find("Angle"), std::string::npos);
    ShiftClickAtom(0);
    driver->ClickAt(EMPTY_VIEW, ui);
    EXPECT_TRUE(shell->marks.v_picked.empty());

    // Four at most: a fifth replaces the oldest.
    WriteText(folder / "chain.xyz", "5\n\nC 0 0 0\nC 3 0 0\nC 3 3 0\nC 6 3 1\nC 9 0 0\n");
    OpenByName(folder / "chain.xyz");
    display->SetZoom(1.0f); // fitted to the window, the chain's ends would lie under the panels
    driver->Frames(2, ui);
    PickAtom(0);
    for (uint32_t i = 1; i < 5; i++)
        ShiftClickAtom(i);
    EXPECT_EQ(shell->marks.v_picked, (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_NE(TextOf(ACTION).find("Dihedral 1-2-3-4: "), std::string::npos) << TextOf(ACTION);

    // In a cell the distance is to the nearest image: 0.6 across the face, not 3.4.
    WriteText(folder / "POSCAR", CELL_POSCAR);
    OpenByName(folder / "POSCAR");
    PickAtom(0);
    ShiftClickAtom(1);
    EXPECT_TRUE(driver->HasText("Distance 0-1: 0.6000 \xC5")) << TextOf(ACTION);
}

// Every edit is undone and redone by keys and buttons, and the view follows (the pick colours
// are refitted to the atoms that are back).
TEST_F(ShellTest, UndoAndRedoByKeysAndButtons)
{
    LoadWater();
    const glm::vec3 start = display->v_float_raw_xyz[1];
    PickAtom(1);
    Press(GLFW_KEY_DELETE);
    ASSERT_EQ(AtomCount(), 2u);
    Press(GLFW_KEY_U, GLFW_MOD_CONTROL);
    EXPECT_EQ(AtomCount(), 3u);
    EXPECT_TRUE(display->IsUpdated());
    EXPECT_FALSE(display->is_atom_selected);
    PickAtom(2);
    Press(GLFW_KEY_R, GLFW_MOD_CONTROL);
    EXPECT_EQ(AtomCount(), 2u);
    EXPECT_FALSE(display->IsUpdated());
    EXPECT_FALSE(display->is_atom_selected);
    Press(GLFW_KEY_R, GLFW_MOD_CONTROL); // nothing to redo
    EXPECT_EQ(AtomCount(), 2u);

    ASSERT_TRUE(Click("Undo"));
    EXPECT_EQ(AtomCount(), 3u);
    PickAtom(1);
    ASSERT_TRUE(Click("Edit"));
    ClickField("Y", 100.0f);
    Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
    driver->TypeText("3", ui);
    Press(GLFW_KEY_ENTER);
    EXPECT_EQ(display->v_real_xyz[1].y, 3.0);
    ASSERT_TRUE(Click("Undo"));
    EXPECT_EQ(display->v_float_raw_xyz[1], start);
    ASSERT_TRUE(Click("Redo"));
    EXPECT_EQ(display->v_real_xyz[1].y, 3.0);
    Press(GLFW_KEY_Z, GLFW_MOD_CONTROL); // still the view along z
    EXPECT_EQ(display->v_real_xyz[1].y, 3.0);
    EXPECT_EQ(display->track.last_rotation, PresetRotation(0.0f, HALF_PI));
}

// The key and the button write the view beside the structure file, never over an earlier
// picture, at the window's size or a multiple of it, and say where.
TEST_F(ShellTest, ImageExportByKeyAndButton)
{
    OpenByName(folder / "water.xyz");
    ASSERT_NE(driver->FindText("2x"), nullptr);
    const ImVec2 size_button = driver->FindText("2x")->min;
    Press(GLFW_KEY_E, GLFW_MOD_CONTROL);
    int w = 0, h = 0, channels = 0;
    ASSERT_TRUE(stbi_info((folder / "water.png").c_str(), &w, &h, &channels));
    EXPECT_EQ(w, WIDTH);
    EXPECT_EQ(h, HEIGHT);

    driver->Frames(3, ui); // the panel settles to its new contents
    EXPECT_NE(TextOf(SETTINGS).find("Saved " + (folder / "water.png") + " (1280x720)"), std::string::npos)
        << TextOf(SETTINGS);
    ASSERT_NE(driver->FindText("2x"), nullptr);
    EXPECT_EQ(driver->FindText("2x")->min.y, size_button.y) << "the controls stay where they were";
    ASSERT_TRUE(Click("2x"));
    EXPECT_EQ(shell->exporter.image_scale, 2) << TextOf(SETTINGS);
    ASSERT_TRUE(Click("Export PNG"));
    ASSERT_TRUE(stbi_info((folder / "water-2.png").c_str(), &w, &h, &channels));
    EXPECT_EQ(w, 2 * WIDTH);
    EXPECT_EQ(h, 2 * HEIGHT);

    // A named file; one that can't be written is said.
    shell->exporter.image_scale = 1;
    std::snprintf(shell->exporter.image_path, sizeof shell->exporter.image_path, "%s", (folder / "no/view.png").c_str());
    Press(GLFW_KEY_E, GLFW_MOD_CONTROL);
    EXPECT_EQ(shell->exporter.image_message.rfind("Can't save the image: ", 0), 0u) << shell->exporter.image_message;
    // The window's own picture is untouched by the offscreen one.
    int viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], WIDTH);
}

// A typed coordinate is applied once, when Enter is pressed or the field is left (a click
// elsewhere, Tab to the next field): the values on the way never move the atom nor enter the
// history, and each finished value is one undo step.
TEST_F(ShellTest, TypedCoordinatesApplyOnceWhenTheFieldIsLeft)
{
    LoadWater();
    PickAtom(0);
    ASSERT_TRUE(Click("Edit"));
    const glm::dvec3 start = display->v_real_xyz[0];
    enum EEnd { ENTER, CLICK, TAB };
    const struct {
        const char *field;
        int axis;
        const char *text;
        EEnd end;
    } cases[] = {{"Z", 2, "19.5", ENTER}, {"X", 0, "0.1", CLICK}, {"Y", 1, "0.0000", ENTER}, {"X", 0, "-2", TAB}};
    int steps = 0;
    for (const auto &c : cases) {
        const glm::dvec3 before = display->v_real_xyz[0];
        ClickField(c.field, 100.0f);
        Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
        for (const char ch : std::string(c.text)) {
            driver->TypeText(std::string(1, ch), ui);
            EXPECT_EQ(display->v_real_xyz[0], before) << c.text;
        }
        if (c.end == CLICK)
            ASSERT_TRUE(Click("Total Atoms: 3"));
        else
            Press(c.end == TAB ? GLFW_KEY_TAB : GLFW_KEY_ENTER);
        driver->Frame(ui);
        EXPECT_EQ(ImGui::GetIO().WantTextInput, c.end == TAB) << "Tab goes on to the next field";
        const double typed = std::stod(c.text);
        EXPECT_EQ(display->v_real_xyz[0][c.axis], typed) << c.text;
        steps += typed != before[c.axis] ? 1 : 0; // an unchanged value is no edit
        if (c.end == TAB)
            Press(GLFW_KEY_ENTER);
    }
    PickAtom(2); // the next pick
    for (int k = 0; k < steps; k++)
        ASSERT_TRUE(display->Undo());
    EXPECT_FALSE(display->CanUndo());
    EXPECT_EQ(display->v_real_xyz[0], start);
}

// A value far outside a periodic cell costs what any move costs: the bond search across the cell
// boundary keeps its reach (it once compared every pair with 125 images, tens of seconds).
TEST_F(ShellTest, AFarAwayTypedValueKeepsTheBondSearchSmall)
{
    WriteText(folder / "POSCAR", CELL_POSCAR);
    OpenByName(folder / "POSCAR");
    const uint64_t pairs = display->u_pairs_tested;
    PickAtom(0);
    ASSERT_TRUE(Click("Edit"));
    ClickField("X", 100.0f);
    Press(GLFW_KEY_A, GLFW_MOD_CONTROL);
    driver->TypeText("123456789", ui);
    Press(GLFW_KEY_ENTER);
    EXPECT_EQ(display->v_real_xyz[0].x, 123456789.0);
    EXPECT_LE(display->u_pairs_tested, 2 * pairs + 8);
    EXPECT_TRUE(display->Undo());
    EXPECT_FALSE(display->CanUndo());
}

// A left press released where it went down picks; one that moved more than a few pixels turns
// the view and leaves the selection alone, also when the moves come with the release, all within
// one slow frame.
TEST_F(ShellTest, APressThatMovesTurnsTheViewAndOneInPlacePicks)
{
    LoadWater();
    const struct {
        float move;
        bool is_moved_with_release;
        bool picks;
    } cases[] = {{2.0f, false, true}, {30.0f, false, false}, {2.0f, true, true}, {30.0f, true, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.move << (c.is_moved_with_release ? " with the release" : ""));
        driver->ClickAt(EMPTY_VIEW, ui);
        ASSERT_FALSE(display->is_atom_selected);
        const glm::mat4 rotation = display->track.last_rotation;
        const ImVec2 at = ScreenOf(0);
        driver->MoveMouse(at, ui);
        PressButton(0, true);
        if (c.is_moved_with_release)
            ImGui::GetIO().MousePos = ImVec2(at.x + c.move, at.y);
        else
            driver->MoveMouse(ImVec2(at.x + c.move, at.y), ui);
        PressButton(0, false);
        driver->Frame(ui);
        EXPECT_EQ(display->is_atom_selected, c.picks);
        EXPECT_EQ(display->track.last_rotation == rotation, c.picks);
    }
}

// The chooser reads a file as its name says and shows that format, whatever the combo said.
TEST_F(ShellTest, TheChooserOpensAFileByItsName)
{
    WriteText(folder / "protein.pdb", ReadText(std::string(KIVOA_TEST_DATA) + "/pdb/plain.pdb"));
    ASSERT_EQ(display->input_format, 0);
    EXPECT_TRUE(shell->files.is_by_name);
    OpenWithChooser("protein.pdb");
    EXPECT_TRUE(shell->document->Message().empty()) << shell->document->Message();
    EXPECT_EQ(display->file_format, 2);
    EXPECT_EQ(display->input_format, 2);
    EXPECT_NE(FindText("PDB", WindowRect(FILES)), nullptr);
}

// The title marks unsaved edits; Reload keeps the view a file is watched in, another file is
// fitted; a dihedral of atoms on a line is undefined.
TEST_F(ShellTest, TitleReloadAndUndefinedDihedral)
{
    WriteText(folder / "line.xyz", "4\n\nC 0 0 0\nC 1.5 0 0\nC 3 0 0\nC 4.5 1.2 0\n");
    const std::string water = folder / "water.xyz";
    OpenByName(water);
    EXPECT_EQ(std::string(shell->win_title), "Kivoa " + water);
    PickAtom(1);
    Press(GLFW_KEY_DELETE);
    EXPECT_EQ(std::string(shell->win_title), "*Kivoa " + water);
    ASSERT_TRUE(Click("Save"));
    EXPECT_EQ(std::string(shell->win_title), "Kivoa " + water);

    Press(GLFW_KEY_X, GLFW_MOD_CONTROL);
    display->view_zoom = 3.0f;
    display->view_offset = glm::vec2(1.0f, 2.0f);
    const glm::mat4 rotation = display->track.last_rotation;
    ASSERT_TRUE(Click("Reload"));
    EXPECT_FLOAT_EQ(display->view_zoom, 3.0f);
    EXPECT_EQ(display->view_offset, glm::vec2(1.0f, 2.0f));
    EXPECT_EQ(display->track.last_rotation, rotation);

    Press(GLFW_KEY_Z, GLFW_MOD_CONTROL); // the line seen from the side once fitted
    OpenByName(folder / "line.xyz");
    EXPECT_FLOAT_EQ(display->view_zoom, 1.0f);
    EXPECT_EQ(display->view_offset, glm::vec2(0.0f));
    PickAtom(0);
    for (uint32_t i = 1; i < 4; i++)
        ShiftClickAtom(i);
    EXPECT_NE(TextOf(ACTION).find("Dihedral 0-1-2-3: undefined"), std::string::npos) << TextOf(ACTION);
}

namespace {

bool IsBoxRed(const glm::ivec3 &c) { return c.r > 200 && c.g < 60 && c.b < 60; }

} // namespace

// An exported picture leaves the selection out unless asked for, draws its lines as much wider as
// it is larger, and has smooth edges (drawn multisampled, unlike the single-sampled window).
TEST_F(ShellTest, ExportsLeaveOutTheSelectionScaleTheirLinesAndAreSmooth)
{
    WriteText(folder / "POSCAR", CELL_POSCAR);
    OpenByName(folder / "POSCAR");
    display->is_show_symbol = false; // no label over the atom's centre
    PickAtom(0);
    const ImVec2 atom = ScreenOf(0);
    const auto ExportAs = [&](const std::string &name, int scale, bool with_selection) {
        shell->exporter.image_scale = scale;
        shell->exporter.is_with_selection = with_selection;
        std::snprintf(shell->exporter.image_path, sizeof shell->exporter.image_path, "%s", (folder / name).c_str());
        Press(GLFW_KEY_E, GLFW_MOD_CONTROL);
        return PngFile(folder / name);
    };
    const PngFile plain = ExportAs("plain.png", 1, false);
    const PngFile selected = ExportAs("selected.png", 1, true);
    const PngFile twice = ExportAs("twice.png", 2, false);
    ASSERT_EQ(plain.width, WIDTH);
    ASSERT_EQ(twice.width, 2 * WIDTH);
    const int x = static_cast<int>(atom.x), y = static_cast<int>(atom.y);
    EXPECT_NE(plain.Bytes(x, y), selected.Bytes(x, y));
    driver->ClickAt(EMPTY_VIEW, ui); // nothing selected
    driver->Frame(ui);
    EXPECT_EQ(ExportAs("none.png", 1, true).Bytes(x, y), plain.Bytes(x, y));
    // Twice as long and twice as wide.
    EXPECT_GT(twice.Count(IsBoxRed), 3 * plain.Count(IsBoxRed));

    // Smooth: the picture differs from the window's own single-sampled one at edges only.
    driver->Frame(ui); // the window drawn single-sampled, as by default
    const Frame window(WIDTH, HEIGHT);
    size_t edges = 0, inside = 0;
    for (int row = 0; row < HEIGHT; row++)
        for (int col = 0; col < WIDTH; col++) {
            const glm::ivec3 ours = glm::ivec3(glm::round(window.At(col, HEIGHT - 1 - row) * 255.0f));
            if (glm::any(glm::greaterThan(glm::abs(ours - plain.Bytes(col, row)), glm::ivec3(2))))
                (glm::length(glm::vec2(col, row) - glm::vec2(atom.x, atom.y)) < 5.0f ? inside : edges)++;
        }
    EXPECT_GT(edges, 50u);
    EXPECT_EQ(inside, 0u);
}

// Keys and the panel step through the frames; the selection, the measurement and the bonds
// follow the frame shown while it has the same atoms, and go when it has others.
TEST_F(ShellTest, FramesStepByKeysAndPanel)
{
    LoadWater();
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(FRAMES));
    Press(GLFW_KEY_PERIOD); // one frame: nothing to step
    EXPECT_EQ(AtomCount(), 3u);
    WriteText(folder / "frames.xyz", WATER_FRAMES);
    OpenByName(folder / "frames.xyz");
    ASSERT_TRUE(ImGuiDriver::IsWindowShown(FRAMES));
    ExpectInsideTheWindow(FRAMES);
    for (const char *panel : {SETTINGS, FILES, ACTION})
        EXPECT_FALSE(WindowRect(FRAMES).Meets(WindowRect(panel))) << panel;
    EXPECT_NE(TextOf(FRAMES).find("of 3, from 0"), std::string::npos) << TextOf(FRAMES);

    PickAtom(0);
    ShiftClickAtom(1);
    const uint32_t bonds = display->i_number_of_bonds;
    Press(GLFW_KEY_PERIOD);
    ASSERT_EQ(display->FrameShown(), 1u);
    EXPECT_TRUE(display->is_atom_selected);
    EXPECT_EQ(display->selected_atom, 1u); // the Shift+click selects too
    EXPECT_EQ(display->selected_xyz, display->v_float_raw_xyz[1]);
    EXPECT_EQ(shell->marks.v_picked, (std::vector<uint32_t>{0, 1}));
    char text[64];
    std::snprintf(text, sizeof text, "Distance 0-1: %.4f \xC5",
                  CMeasure().Distance(display->v_real_xyz[0], display->v_real_xyz[1]));
    EXPECT_NE(TextOf(ACTION).find(text), std::string::npos) << TextOf(ACTION);
    EXPECT_EQ(display->i_number_of_bonds, bonds - 1);

    Press(GLFW_KEY_END);
    EXPECT_EQ(display->FrameShown(), 2u);
    EXPECT_EQ(AtomCount(), 4u);
    EXPECT_FALSE(display->is_atom_selected);
    EXPECT_TRUE(shell->marks.v_picked.empty());
    Press(GLFW_KEY_PERIOD); // the last frame stays
    EXPECT_EQ(display->FrameShown(), 2u);
    Press(GLFW_KEY_HOME);
    EXPECT_EQ(display->FrameShown(), 0u);
    Press(GLFW_KEY_COMMA);
    EXPECT_EQ(display->FrameShown(), 0u);
    EXPECT_EQ(display->i_number_of_bonds, bonds);

    const ImGuiDriver::TextRun *plus = FindText("+", WindowRect(FRAMES));
    ASSERT_NE(plus, nullptr);
    driver->ClickAt(ImVec2(plus->min.x + 4.0f, plus->Centre().y), ui); // the run goes on with "of 3"
    EXPECT_EQ(display->FrameShown(), 1u);
    driver->Frame(ui);
    const ImGuiDriver::TextRun *number = LowestText("1"); // the field under the slider
    ASSERT_NE(number, nullptr);
    ASSERT_TRUE(WindowRect(FRAMES).Holds(number->min, number->max));
    RetypeField(*number, "7"); // past the last frame: the last
    EXPECT_EQ(display->FrameShown(), 2u);
    EXPECT_TRUE(display->IsUpdated());

    // A deletion in the frame of 4 atoms leaves the frames of 3 as they are, and the panel says so.
    const std::string left = "leave 2 of 3 frames as they are";
    EXPECT_EQ(TextOf(FRAMES).find(left), std::string::npos);
    PickAtom(3);
    Press(GLFW_KEY_DELETE);
    ASSERT_EQ(AtomCount(), 3u);
    driver->Frame(ui);
    EXPECT_NE(TextOf(FRAMES).find(left), std::string::npos) << TextOf(FRAMES);
    display->Undo();
    driver->Frame(ui);
    EXPECT_EQ(TextOf(FRAMES).find(left), std::string::npos) << TextOf(FRAMES);
}

// Playback keeps the frames coming at the rate asked for, loops or stops at the end, and the
// frame loop waits only until the next frame is due.
TEST_F(ShellTest, FramesPlayLoopAndPause)
{
    WriteText(folder / "frames.xyz", WATER_FRAMES);
    OpenByName(folder / "frames.xyz");
    Settle();
    EXPECT_EQ(shell->AnimationWait(), 0.0);
    shell->frames.fps = 20; // a frame every 3 GUI frames of 1/60 s
    ASSERT_TRUE(Click("Play"));
    ASSERT_TRUE(shell->frames.is_playing);
    EXPECT_GT(shell->AnimationWait(), 0.0);
    EXPECT_LE(shell->AnimationWait(), 0.05 + 1e-6);
    EXPECT_TRUE(driver->HasText("Pause"));
    driver->Frames(3, ui);
    EXPECT_EQ(display->FrameShown(), 1u);
    driver->Frames(6, ui); // 2, then 0 again
    EXPECT_EQ(display->FrameShown(), 0u);

    Press(GLFW_KEY_SPACE);
    EXPECT_FALSE(shell->frames.is_playing);
    EXPECT_EQ(shell->AnimationWait(), 0.0);
    const uint64_t paused = display->FrameShown();
    driver->Frames(10, ui);
    EXPECT_EQ(display->FrameShown(), paused);

    ASSERT_TRUE(Click("Loop"));
    EXPECT_FALSE(shell->frames.is_loop);
    ClickView(); // Space would press Loop again
    Press(GLFW_KEY_END);
    Press(GLFW_KEY_SPACE); // at the end without Loop: from the first frame
    EXPECT_EQ(display->FrameShown(), 0u);
    driver->Frames(12, ui);
    EXPECT_EQ(display->FrameShown(), 2u);
    EXPECT_FALSE(shell->frames.is_playing);

    // A new file stops playback.
    Press(GLFW_KEY_SPACE);
    OpenByName(folder / "water.xyz");
    EXPECT_FALSE(shell->frames.is_playing);
    EXPECT_FALSE(ImGuiDriver::IsWindowShown(FRAMES));
}

// Ctrl+drag selects the atoms in the box (Alt takes them out), the keys select all, none and the
// others, H hides the selection: a hidden atom is neither picked nor boxed; Delete acts on the set.
TEST_F(ShellTest, BoxKeysHideAndDeleteActOnTheSelection)
{
    LoadWater();
    ImGuiIO &io = ImGui::GetIO();
    const auto box = [&](ImVec2 from, ImVec2 to, bool alt) {
        io.KeyCtrl = true;
        io.KeyAlt = alt;
        driver->MoveMouse(from, ui);
        PressButton(0, true);
        driver->MoveMouse(to, ui);
        EXPECT_TRUE(shell->input.is_box);
        PressButton(0, false);
        io.KeyCtrl = io.KeyAlt = false;
        driver->Frame(ui);
    };
    const auto around = [&](uint32_t i, float r) {
        return std::pair{ImVec2(ScreenOf(i).x - r, ScreenOf(i).y - r), ImVec2(ScreenOf(i).x + r, ScreenOf(i).y + r)};
    };
    const auto [all_from, all_to] = around(0, 300.0f);
    box(all_from, all_to, false);
    EXPECT_EQ(display->selection.Count(), 3u);
    const auto [one_from, one_to] = around(1, 5.0f);
    box(one_from, one_to, true);
    EXPECT_EQ(display->selection.Atoms(), std::vector<uint32_t>({0, 2}));
    Press(GLFW_KEY_V);
    EXPECT_EQ(display->selection.Atoms(), std::vector<uint32_t>({1}));
    Press(GLFW_KEY_H);
    EXPECT_TRUE(display->IsHidden(1));
    EXPECT_EQ(display->selection.Count(), 0u);
    Press(GLFW_KEY_A);
    EXPECT_EQ(display->selection.Atoms(), std::vector<uint32_t>({0, 2}));
    driver->ClickAt(ScreenOf(1), ui);
    driver->Frame(ui);
    EXPECT_FALSE(display->is_atom_selected) << "a hidden atom is not picked";
    Press(GLFW_KEY_H, GLFW_MOD_CONTROL);
    EXPECT_FALSE(display->IsHidden(1));
    PickAtom(1);
    EXPECT_EQ(display->selection.Atoms(), std::vector<uint32_t>({1})) << "a click selects its atom alone";
    Press(GLFW_KEY_A);
    Press(GLFW_KEY_N);
    EXPECT_EQ(display->selection.Count(), 0u);
    box(all_from, all_to, false);
    Press(GLFW_KEY_DELETE);
    EXPECT_EQ(AtomCount(), 0u);
    Press(GLFW_KEY_U, GLFW_MOD_CONTROL);
    EXPECT_EQ(AtomCount(), 3u) << "one undo step";
}

// A CIF: its data blocks, the note on a block without symmetry, a picked atom's site and
// occupancy, and Save (also the Save answer before closing) going through Save As.
TEST_F(ShellTest, CifBlocksSitesAndSaveThroughSaveAs)
{
    const std::string cif = folder / "blocks.cif";
    const std::string text = ReadText(std::string(KIVOA_TEST_DATA) + "/cif/two_blocks.cif");
    WriteText(cif, text);
    OpenByName(cif);
    EXPECT_TRUE(driver->HasText("Data Block"));
    ASSERT_TRUE(Click("NaCl_rocksalt"));
    driver->Frames(2, ui);
    ASSERT_TRUE(Click("CsCl"));
    driver->Frames(2, ui);
    EXPECT_EQ(AtomCount(), 2u);
    EXPECT_NE(TextOf(FILES).find("read as P1"), std::string::npos) << TextOf(FILES);
    PickAtom(0);
    EXPECT_TRUE(driver->HasText("Site: Cs1")) << TextOf(ACTION);
    EXPECT_FALSE(driver->HasText("Occupancy:"));

    Press(GLFW_KEY_DELETE);
    ASSERT_TRUE(Click("Save"));
    driver->Frames(2, ui);
    ASSERT_NE(ImGuiDriver::ShownWindowStartingWith("Save as##"), "");
    // Offered a name that can be written; Enter in the field saves.
    const ImGuiDriver::TextRun *field = LowestText("blocks_P1.cif");
    ASSERT_NE(field, nullptr);
    RetypeField(*field, "p1.cif");
    driver->Frames(2, ui);
    EXPECT_EQ(ImGuiDriver::ShownWindowStartingWith("Save as##"), "");
    EXPECT_EQ(std::string(shell->document->Path()), folder / "p1.cif");
    EXPECT_EQ(ReadText(cif), text);
    EXPECT_EQ(AtomCount(), 1u);

    // Before closing: a cancelled Save As keeps the window, a Save As done closes it.
    display->MoveAtom(0, glm::dvec3(0.5, 0.25, 0.125));
    for (const char *chooser_answer : {"Cancel", "Save"}) {
        EXPECT_FALSE(shell->ConfirmClose());
        driver->Frames(2, ui);
        ASSERT_TRUE(IsAsking());
        ASSERT_TRUE(Click("Save"));
        driver->Frames(2, ui);
        ASSERT_NE(ImGuiDriver::ShownWindowStartingWith("Save as##"), "");
        if (std::string(chooser_answer) == "Save") {
            ASSERT_NE(LowestText("p1_P1.cif"), nullptr);
            RetypeField(*LowestText("p1_P1.cif"), "moved.cif"); // Enter saves
        } else {
            ASSERT_TRUE(Click(chooser_answer));
        }
        driver->Frames(2, ui);
        EXPECT_EQ(glfwWindowShouldClose(window) != 0, std::string(chooser_answer) == "Save");
    }

    // A mixed site: each atom's occupancy.
    glfwSetWindowShouldClose(window, GLFW_FALSE);
    OpenByName(std::string(KIVOA_TEST_DATA) + "/cif/fecr_mixed_site.cif");
    driver->ClickAt(ScreenOf(0), ui);
    driver->Frames(2, ui);
    EXPECT_TRUE(driver->HasText("Occupancy: 0.5")) << TextOf(ACTION);
}

// Daily use of the keys and panels, one case each, each starting from a file opened afresh: the
// Action panel follows an edit of the picked atom made elsewhere, Space plays after a click on the
// Frames slider, a Ctrl+drag box starts where the button went down however fast the pointer
// moves on, a panel is drawn until it has settled before the frame loop sleeps, and the
// centre beside "Set (0,0,0)" takes no typing.
TEST_F(ShellTest, DailyKeysAndPanels)
{
    WriteText(folder / "frames.xyz", WATER_FRAMES);
    ImGuiIO &io = ImGui::GetIO();
    struct Case {
        const char *name;
        const char *file;
        std::function<void()> check;
    };
    const Case cases[] = {
        // First, while the panel is as narrow as it starts.
        {"the Action panel is whole before the loop sleeps after a pick", "water.xyz",
         [&] {
             driver->MoveMouse(ScreenOf(2), ui);
             PressButton(0, true);
             PressButton(0, false); // the event: the loop draws 3 frames, then while it is asked to
             int frames = 1;
             for (; frames < 3 || (shell->AnimationWait() > 0.0 && frames < 20); frames++)
                 driver->Frame(ui);
             EXPECT_LT(frames, 20);
             EXPECT_NE(TextOf(ACTION).find("Symbol [H], Z [1]"), std::string::npos) << TextOf(ACTION);
             EXPECT_NE(FindText("Edit", WindowRect(ACTION)), nullptr) << TextOf(ACTION);
             ExpectInsideTheWindow(ACTION);
         }},
        {"the Action panel follows an element set elsewhere", "water.xyz",
         [&] {
             PickAtom(1);
             display->SetElements({1}, 31); // germanium
             Settle();
             EXPECT_NE(TextOf(ACTION).find("Symbol [Ge], Z [32]"), std::string::npos) << TextOf(ACTION);
             Press(GLFW_KEY_U, GLFW_MOD_CONTROL);
             PickAtom(1);
             display->MoveAtom(1, glm::dvec3(0.0, 2.0, 0.0));
             driver->Frame(ui);
             EXPECT_EQ(display->selected_xyz, display->v_float_raw_xyz[1]);
         }},
        {"Space plays and pauses after a click on the Frames slider", "frames.xyz",
         [&] {
             const ImGuiDriver::TextRun *slider = FindText("Frame", WindowRect(FRAMES));
             ASSERT_NE(slider, nullptr) << TextOf(FRAMES);
             driver->ClickAt(ImVec2(slider->min.x - 280.0f, slider->Centre().y), ui);
             EXPECT_EQ(display->FrameShown(), 0u);
             Press(GLFW_KEY_SPACE);
             EXPECT_TRUE(shell->frames.is_playing);
             Press(GLFW_KEY_SPACE);
             EXPECT_FALSE(shell->frames.is_playing);
             Press(GLFW_KEY_PERIOD);
             EXPECT_EQ(display->FrameShown(), 1u);
         }},
        {"a Ctrl+drag box starts where the button went down", "water.xyz",
         [&] {
             const ImVec2 from(300.0f, 300.0f), to(700.0f, 500.0f);
             io.KeyCtrl = true;
             driver->MoveMouse(from, ui);
             shell->input.NotePointer(from.x, from.y, true); // the window's events, in order
             io.MouseDown[0] = true;
             io.MousePos = to; // the first motion comes in the frame of the press
             driver->Frame(ui);
             EXPECT_TRUE(shell->input.is_box);
             EXPECT_EQ(shell->input.box_from, glm::vec2(from.x, from.y));
             PressButton(0, false);
             io.KeyCtrl = false;
         }},
        {"the centre beside Set (0,0,0) is shown, not typed", "water.xyz",
         [&] {
             const glm::vec3 centre = display->center_xyz;
             ClickField("centre", 40.0f);
             driver->TypeText("7", ui);
             Press(GLFW_KEY_ENTER);
             EXPECT_EQ(display->center_xyz, centre);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        OpenByName(folder / c.file);
        if (IsAsking()) {
            ASSERT_TRUE(Click("Discard"));
            driver->Frames(2, ui);
        }
        ClickView();
        c.check();
    }
}

// The pie's Build item opens the Action panel's Build section; a supercell, and its undo and redo,
// fit the view to the new extent and centre it, in the same orientation; an atom added onto
// another is made and said.
TEST_F(ShellTest, BuildSectionSupercellFitsTheViewAndAddOntoAnAtomIsSaid)
{
    OpenByName(std::string(KIVOA_TEST_DATA) + "/vasp/silicon.vasp");
    EXPECT_EQ(FindText("Supercell", WindowRect(ACTION)), nullptr);
    RightClickAt(EMPTY_PIE_CENTRE);
    driver->Frame(ui);
    ASSERT_TRUE(Click("Build"));
    Settle();
    ASSERT_NE(FindText("Supercell", WindowRect(ACTION)), nullptr) << TextOf(ACTION);

    display->is_show_box = false; // the atoms alone are measured
    display->SetTrackRotation(0.3f, 0.5f);
    const glm::mat4 turn = display->track.last_rotation;
    // The atoms' drawn centres fill the window about its middle, and none is cut.
    const auto expect_fitted = [&](size_t atoms) {
        Settle();
        ASSERT_EQ(AtomCount(), atoms);
        ImVec2 low(1e9f, 1e9f), high(-1e9f, -1e9f);
        for (uint32_t i = 0; i < atoms; i++) {
            const ImVec2 p = ScreenOf(i);
            low = ImVec2(std::min(low.x, p.x), std::min(low.y, p.y));
            high = ImVec2(std::max(high.x, p.x), std::max(high.y, p.y));
        }
        EXPECT_NEAR((low.x + high.x) * 0.5f, WIDTH * 0.5f, 2.0f) << atoms;
        EXPECT_NEAR((low.y + high.y) * 0.5f, HEIGHT * 0.5f, 2.0f) << atoms;
        EXPECT_GT(std::max(high.x - low.x, (high.y - low.y) * WIDTH / HEIGHT), WIDTH * 0.6f) << atoms;
        EXPECT_TRUE(low.x > 0.0f && low.y > 0.0f && high.x < WIDTH && high.y < HEIGHT) << atoms;
        EXPECT_EQ(display->track.last_rotation, turn);
    };
    ASSERT_TRUE(Click("Supercell"));
    expect_fitted(64);
    Press(GLFW_KEY_U, GLFW_MOD_CONTROL);
    expect_fitted(8);
    Press(GLFW_KEY_R, GLFW_MOD_CONTROL);
    expect_fitted(64);

    ASSERT_TRUE(Click("Add##xyz")); // at 0 0 0, an oxygen onto the first silicon
    Settle();
    EXPECT_EQ(AtomCount(), 65u);
    EXPECT_NE(TextOf(ACTION).find("Atom 64 (O) lies on atom 0 (Si)"), std::string::npos) << TextOf(ACTION);
}

// Up and Down in a panel stay in a column: from Reset (right of the Axes fields) Down goes to the
// next control below that covers its left edge, Index, not to the nearest row's Smooth; Up from
// Index to the Axes field above it, not to Smooth either.
TEST_F(ShellTest, UpAndDownMoveWithinAColumnOfAPanel)
{
    ASSERT_TRUE(Click("Reset"));
    ImGuiWindow *settings = ImGui::FindWindowByName(SETTINGS);
    ASSERT_NE(settings, nullptr);
    const ImGuiContext &g = *ImGui::GetCurrentContext();
    ASSERT_EQ(g.NavId, settings->GetID("Reset"));
    Press(GLFW_KEY_DOWN);
    Settle();
    EXPECT_EQ(g.NavId, settings->GetID("Index"));
    const ImRect index = settings->NavRectRel[0];
    const float column = index.Min.x + 1.0f;
    Press(GLFW_KEY_UP);
    Settle();
    EXPECT_NE(g.NavId, settings->GetID("Smooth"));
    EXPECT_LE(settings->NavRectRel[0].Min.x, column);
    EXPECT_GE(settings->NavRectRel[0].Max.x, column);
    EXPECT_LT(settings->NavRectRel[0].Max.y, index.Min.y);
}
