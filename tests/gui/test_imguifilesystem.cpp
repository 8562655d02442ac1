#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "gui/imgui_driver.h"
#include "imguifilesystem.h"
#include "scratch_folder.h"

using Strings = std::vector<std::string>;

namespace {

const char* const TITLE = "Please select a file";

std::pair<float, float> P(ImVec2 v)
{
    return {v.x, v.y};
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? resolved : "";
}

// The Choose File panel's use of the dialog: called every frame from its window, triggered by a
// flag the test raises, results counted.
class FileDialogTest : public ::testing::Test {
protected:
    FileDialogTest()
    {
        tree.Folder("alpha");
        tree.Folder("alpha/beta");
        tree.Folder("alpha/beta/gamma");
        tree.File("alpha/zeta.xyz");
        tree.File("alpha/beta/delta.pdb", 30, 1000);
        tree.File("alpha/beta/epsilon.xyz", 10, 3000);
        tree.File("alpha/beta/Cfile", 20, 2000);
        tree.File("alpha/beta/.secret");
        tree.File("alpha/beta/old.xyz~");
        alpha = RealPath(tree.Path("alpha"));
        beta = alpha + "/beta";
        gamma = beta + "/gamma";
    }

    void Open(const std::string& directory, const char* title = nullptr)
    {
        start = directory;
        windowTitle = title;
        trigger = true;
        driver.Frames(3, ui);
    }

    // A click, then frames past the double-click time, so that the next click is a click.
    bool Click(const std::string& label, int nth = 0)
    {
        const bool found = driver.ClickItem(label, ui, nth);
        driver.Frames(20, ui);
        return found;
    }

    // Two clicks at the middle of the entry, a frame after each, well within the double-click
    // time; then the frames that the result takes to show.
    bool DoubleClick(const std::string& label)
    {
        const ImGuiDriver::TextRun* run = driver.FindText(label);
        if (run == nullptr)
            return false;
        const ImVec2 at = run->Centre();
        driver.ClickAt(at, ui);
        driver.ClickAt(at, ui);
        driver.Frames(2, ui);
        return true;
    }

    // Selects all of the location field's text and replaces it.
    void TypeLocation(const std::string& text)
    {
        const ImGuiDriver::TextRun* button = driver.FindText("L");
        ASSERT_NE(button, nullptr);
        driver.ClickAt(ImVec2(button->max.x + 60.0f, button->Centre().y), ui);
        driver.PressKey(GLFW_KEY_A, ui, true);
        driver.TypeText(text, ui);
        driver.PressKey(GLFW_KEY_ENTER, ui);
    }

    std::string Shown() const { return dialog.getLastDirectory(); }
    std::string DialogWindow() const { return ImGuiDriver::ShownWindowStartingWith(std::string(TITLE) + "##"); }

    // The given names in the order they appear: down each column, then the next column.
    Strings OnScreen(const Strings& names) const
    {
        std::vector<const ImGuiDriver::TextRun*> runs;
        for (const std::string& name : names)
            if (const ImGuiDriver::TextRun* run = driver.FindText(name))
                runs.push_back(run);
        std::sort(runs.begin(), runs.end(), [](const ImGuiDriver::TextRun* a, const ImGuiDriver::TextRun* b) {
            return a->min.x != b->min.x ? a->min.x < b->min.x : a->min.y < b->min.y;
        });
        Strings order;
        for (const ImGuiDriver::TextRun* run : runs)
            order.push_back(run->text);
        return order;
    }

    ScratchFolder tree;
    std::string alpha, beta, gamma;
    ImGuiDriver driver;
    ImGuiFs::Dialog dialog;
    bool trigger = false;
    std::string start;
    const char* windowTitle = nullptr;
    const char* extensions = nullptr;
    ImVec2 windowSize = ImVec2(-1, -1);
    ImVec2 windowPos = ImVec2(-1, -1);
    Strings results;

    const ImGuiDriver::Ui ui = [this] {
        ImGui::Begin("Choose File (ctrl+f)");
        const char* chosen = dialog.chooseFileDialog(trigger, start.c_str(), extensions, windowTitle, windowSize,
                                                     windowPos, 0.875f);
        if (chosen[0] != '\0')
            results.push_back(chosen);
        trigger = false;
        ImGui::End();
    };
};

const Strings BETA_FILES = {"Cfile", "delta.pdb", "epsilon.xyz"};

} // namespace

TEST_F(FileDialogTest, OpensInTheStartingFolderWithOnlyVisibleEntries)
{
    driver.Frames(2, ui);
    EXPECT_EQ(DialogWindow(), "");
    EXPECT_FALSE(driver.HasText(TITLE));

    Open(tree.Path("alpha/beta/"));
    EXPECT_NE(DialogWindow(), "");
    EXPECT_TRUE(driver.HasText(TITLE));
    EXPECT_EQ(Shown(), beta);
    EXPECT_EQ(OnScreen({"gamma", "Cfile", "delta.pdb", "epsilon.xyz", ".secret", "old.xyz~"}),
              (Strings{"gamma", "Cfile", "delta.pdb", "epsilon.xyz"}));
    EXPECT_TRUE(driver.HasText("alpha/"));
    EXPECT_TRUE(driver.HasText("beta"));

    // A file starts in its folder; a missing file in an existing folder too.
    Open(tree.Path("alpha/beta/delta.pdb"));
    EXPECT_EQ(Shown(), beta);
    Open(tree.Path("alpha/missing.xyz"));
    EXPECT_EQ(Shown(), alpha);
    EXPECT_TRUE(driver.HasText("zeta.xyz"));

    // No starting folder, or one that cannot be used, gives the working folder.
    const std::string cwd = RealPath(".");
    Open("");
    EXPECT_EQ(Shown(), cwd);
    Open("/no/such/folder/file.xyz");
    EXPECT_EQ(Shown(), cwd);
    Open(alpha + "/" + std::string(20000, 'b'));
    EXPECT_EQ(Shown(), cwd);
}

TEST_F(FileDialogTest, PathButtonsKeepDeeperFoldersAndHistoryWalksBothWays)
{
    Open(alpha);
    ASSERT_TRUE(Click("beta"));
    EXPECT_EQ(Shown(), beta);
    ASSERT_TRUE(Click("gamma"));
    EXPECT_EQ(Shown(), gamma);

    // Up two levels with a path button: the deeper buttons stay.
    ASSERT_TRUE(Click("alpha/"));
    EXPECT_EQ(Shown(), alpha);
    EXPECT_TRUE(driver.HasText("zeta.xyz"));
    EXPECT_TRUE(driver.HasText("beta/"));
    EXPECT_TRUE(driver.HasText("gamma"));
    // Back down with the deepest one.
    ASSERT_TRUE(Click("gamma"));
    EXPECT_EQ(Shown(), gamma);
    EXPECT_FALSE(driver.HasText("zeta.xyz"));

    ASSERT_TRUE(Click("<"));
    EXPECT_EQ(Shown(), alpha);
    ASSERT_TRUE(Click("<"));
    EXPECT_EQ(Shown(), gamma);
    ASSERT_TRUE(Click(">"));
    EXPECT_EQ(Shown(), alpha);
    ASSERT_TRUE(Click(">"));
    ASSERT_TRUE(Click(">")); // at the newest entry ">" cannot act
    EXPECT_EQ(Shown(), gamma);
    EXPECT_NE(DialogWindow(), "");
}

TEST_F(FileDialogTest, TypedLocation)
{
    Open(beta);
    ASSERT_TRUE(Click("L"));
    EXPECT_FALSE(driver.HasText("beta")); // the field replaces the path buttons
    EXPECT_TRUE(driver.HasText(beta));
    // The field has the keyboard focus and its text selected: typing replaces it.
    driver.TypeText(tree.Path("alpha/beta/gamma/../../"), ui);
    driver.PressKey(GLFW_KEY_ENTER, ui);
    EXPECT_EQ(Shown(), alpha);
    EXPECT_TRUE(driver.HasText("zeta.xyz"));
    EXPECT_TRUE(driver.HasText("alpha/")); // path buttons are back, beta still among them
    EXPECT_TRUE(driver.HasText("beta"));

    // What is not an existing folder changes nothing and leaves the field open.
    ASSERT_TRUE(Click("L"));
    TypeLocation("/no/such/folder");
    EXPECT_EQ(Shown(), alpha);
    EXPECT_TRUE(driver.HasText("/no/such/folder"));
    EXPECT_FALSE(driver.HasText("alpha/"));
    TypeLocation(tree.Path("alpha/zeta.xyz"));
    EXPECT_EQ(Shown(), alpha);
    EXPECT_FALSE(driver.HasText("alpha/"));
    // The folder already shown just closes the field.
    TypeLocation(alpha + "/");
    EXPECT_TRUE(driver.HasText("alpha/"));
    ASSERT_TRUE(Click("<"));
    EXPECT_EQ(Shown(), beta);
}

TEST_F(FileDialogTest, NameFilterIncludesAndExcludes)
{
    Open(beta);
    ASSERT_TRUE(Click("Filtering##imguifs_fileNameFiltering"));
    const ImGuiDriver::TextRun* label = driver.FindText("Filter (inc,-exc)");
    ASSERT_NE(label, nullptr);
    driver.ClickAt(ImVec2(label->min.x - 40.0f, label->Centre().y), ui);
    driver.TypeText("xyz", ui);
    EXPECT_EQ(OnScreen({"gamma", "Cfile", "delta.pdb", "epsilon.xyz"}), (Strings{"epsilon.xyz"}));
    driver.PressKey(GLFW_KEY_A, ui, true);
    driver.TypeText("-eps", ui);
    EXPECT_EQ(OnScreen({"gamma", "Cfile", "delta.pdb", "epsilon.xyz"}), (Strings{"gamma", "Cfile", "delta.pdb"}));

    // Reopening clears the filter.
    ASSERT_TRUE(driver.ClickCloseButton(DialogWindow().c_str(), ui));
    Open(beta);
    EXPECT_EQ(OnScreen(BETA_FILES), BETA_FILES);
}

TEST_F(FileDialogTest, SortingButtonsToggleDirection)
{
    Open(beta);
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"Cfile", "delta.pdb", "epsilon.xyz"}));
    ASSERT_TRUE(Click("Name"));
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"epsilon.xyz", "delta.pdb", "Cfile"}));
    ASSERT_TRUE(Click("Name"));
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"Cfile", "delta.pdb", "epsilon.xyz"}));
    ASSERT_TRUE(Click("Size"));
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"epsilon.xyz", "Cfile", "delta.pdb"}));
    ASSERT_TRUE(Click("Size"));
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"delta.pdb", "Cfile", "epsilon.xyz"}));
    ASSERT_TRUE(Click("Modified"));
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"delta.pdb", "Cfile", "epsilon.xyz"}));
    ASSERT_TRUE(Click("Modified"));
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"epsilon.xyz", "Cfile", "delta.pdb"}));
    ASSERT_TRUE(Click("Type"));
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"Cfile", "delta.pdb", "epsilon.xyz"}));
    // Folders come first in every order.
    EXPECT_LT(driver.FindText("gamma")->min.y, driver.FindText("Cfile")->min.y);
}

TEST_F(FileDialogTest, ChoosingReturnsThePathOnceAndCancellingReturnsNothing)
{
    Open(beta);
    ASSERT_TRUE(Click("Choose")); // nothing selected yet
    ASSERT_TRUE(Click("epsilon.xyz"));
    ASSERT_TRUE(Click("delta.pdb"));
    EXPECT_TRUE(results.empty());
    EXPECT_NE(DialogWindow(), "");
    ASSERT_TRUE(Click("Choose"));
    EXPECT_EQ(results, (Strings{beta + "/delta.pdb"}));
    EXPECT_STREQ(dialog.getChosenPath(), (beta + "/delta.pdb").c_str());
    EXPECT_EQ(Shown(), beta);
    EXPECT_FALSE(dialog.hasUserJustCancelledDialog());
    EXPECT_EQ(DialogWindow(), "");
    driver.Frames(3, ui);
    EXPECT_EQ(results.size(), 1u);
    EXPECT_FALSE(driver.HasText("delta.pdb"));

    // Opening again from the chosen file starts in its folder; the old choice is gone at once.
    Open(dialog.getChosenPath());
    EXPECT_STREQ(dialog.getChosenPath(), "");
    EXPECT_EQ(Shown(), beta);
    EXPECT_TRUE(driver.HasText("delta.pdb"));
    ASSERT_TRUE(driver.ClickCloseButton(DialogWindow().c_str(), ui));
    driver.Frames(2, ui);
    EXPECT_EQ(results.size(), 1u);
    EXPECT_STREQ(dialog.getChosenPath(), "");
    EXPECT_TRUE(dialog.hasUserJustCancelledDialog());
    EXPECT_EQ(DialogWindow(), "");

    // A new trigger clears the cancel flag; a double click chooses; Cancel cancels.
    Open(beta);
    EXPECT_FALSE(dialog.hasUserJustCancelledDialog());
    ASSERT_TRUE(DoubleClick("epsilon.xyz"));
    EXPECT_EQ(results.back(), beta + "/epsilon.xyz");
    Open(beta);
    ASSERT_TRUE(Click("Cfile"));
    ASSERT_TRUE(Click("Cancel"));
    EXPECT_EQ(DialogWindow(), "");
    EXPECT_TRUE(dialog.hasUserJustCancelledDialog());
    EXPECT_EQ(results.size(), 2u);
}

// A double click on a folder opens it and no more: its second click, on whatever entry of the
// new listing lies under the pointer, neither chooses nor selects; not when frames are slow and
// it lands in the very frame that shows the new listing, nor a few frames later.
TEST_F(FileDialogTest, DoubleClickOnAFolderOpensJustTheFolder)
{
    tree.File("alpha/beta/gamma/inner.xyz");
    Open(beta);
    const ImGuiDriver::TextRun* folder = driver.FindText("gamma");
    ASSERT_NE(folder, nullptr);
    const ImVec2 at = folder->Centre();
    const std::pair<float, float> place = P(folder->min);
    ASSERT_TRUE(DoubleClick("gamma"));
    EXPECT_EQ(Shown(), gamma);
    ASSERT_NE(driver.FindText("inner.xyz"), nullptr);
    EXPECT_EQ(P(driver.FindText("inner.xyz")->min), place); // where the second click landed
    ASSERT_TRUE(Click("Choose"));
    EXPECT_TRUE(results.empty());
    EXPECT_NE(DialogWindow(), "");

    // Frames slower than the double-click time: the second press comes in the next frame.
    ASSERT_TRUE(Click("<"));
    ImGuiIO& io = ImGui::GetIO();
    const float doubleClickTime = io.MouseDoubleClickTime;
    io.MouseDoubleClickTime = 0.01f;
    driver.ClickAt(at, ui);
    io.MouseDown[0] = true;
    driver.Frame(ui);
    io.MouseDown[0] = false;
    driver.Frames(3, ui);
    io.MouseDoubleClickTime = doubleClickTime;
    EXPECT_EQ(Shown(), gamma);
    ASSERT_TRUE(Click("Choose"));
    EXPECT_TRUE(results.empty());
    EXPECT_NE(DialogWindow(), "");

    // Afterwards the new listing takes clicks as usual.
    ASSERT_TRUE(DoubleClick("inner.xyz"));
    EXPECT_EQ(results, (Strings{gamma + "/inner.xyz"}));
}

TEST_F(FileDialogTest, FolderThatCannotBeReadShowsEmpty)
{
    tree.File("alpha/beta/gamma/inner.xyz");
    Open(gamma);
    EXPECT_TRUE(driver.HasText("inner.xyz"));
    ASSERT_TRUE(Click("beta/"));
    std::system(("rm -rf '" + gamma + "'").c_str());
    ASSERT_TRUE(Click("gamma"));
    EXPECT_EQ(Shown(), gamma);
    EXPECT_FALSE(driver.HasText("inner.xyz"));
    EXPECT_TRUE(driver.HasText("Sorting by:"));
    ASSERT_TRUE(Click("beta/"));
    EXPECT_TRUE(driver.HasText("delta.pdb"));
}

TEST_F(FileDialogTest, WindowPlacementTitleAndExtensions)
{
    windowPos = ImVec2(2000, 2000);
    windowSize = ImVec2(300, -1);
    extensions = ".xyz";
    Open(beta, "Open structure");
    std::string name = ImGuiDriver::ShownWindowStartingWith("Open structure##");
    ASSERT_NE(name, "");
    EXPECT_EQ(P(ImGuiDriver::WindowPos(name.c_str())), std::make_pair(980.0f, 320.0f));
    EXPECT_EQ(P(ImGuiDriver::WindowSize(name.c_str())), std::make_pair(300.0f, 400.0f));
    EXPECT_EQ(OnScreen(BETA_FILES), (Strings{"epsilon.xyz"}));

    // Default size, centred on the mouse, kept inside the margins.
    windowPos = ImVec2(-1, -1);
    windowSize = ImVec2(0, 0);
    extensions = nullptr;
    ImGui::GetIO().MousePos = ImVec2(640, 360);
    Open(beta);
    EXPECT_EQ(P(ImGuiDriver::WindowPos(DialogWindow().c_str())), std::make_pair(340.0f, 160.0f));
    EXPECT_EQ(P(ImGuiDriver::WindowSize(DialogWindow().c_str())), std::make_pair(600.0f, 400.0f));
    ImGuiFs::Dialog::WindowLTRBOffsets = ImVec4(10, 20, 30, 40);
    ImGui::GetIO().MousePos = ImVec2(1270, 710);
    Open(beta);
    EXPECT_EQ(P(ImGuiDriver::WindowPos(DialogWindow().c_str())), std::make_pair(650.0f, 280.0f));
    ImGui::GetIO().MousePos = ImVec2(5, 5);
    Open(beta);
    EXPECT_EQ(P(ImGuiDriver::WindowPos(DialogWindow().c_str())), std::make_pair(10.0f, 20.0f));
    ImGuiFs::Dialog::WindowLTRBOffsets = ImVec4(0, 0, 0, 0);
}

// The open dialog takes all input, so it can't be dragged out of reach.
TEST_F(FileDialogTest, DraggedByItsTitleTheDialogStaysInside)
{
    ImGui::GetIO().MousePos = ImVec2(640, 360);
    Open(beta);
    const ImVec2 pos = ImGuiDriver::WindowPos(DialogWindow().c_str());
    ImGuiIO& io = ImGui::GetIO();
    driver.MoveMouse(ImVec2(pos.x + 100.0f, pos.y + 5.0f), ui);
    io.MouseDown[0] = true;
    driver.Frame(ui);
    for (ImVec2 to : {ImVec2(900, 600), ImVec2(1279, 719), ImVec2(1600, 1000)})
        driver.MoveMouse(to, ui);
    io.MouseDown[0] = false;
    driver.Frames(2, ui);
    EXPECT_EQ(P(ImGuiDriver::WindowPos(DialogWindow().c_str())), std::make_pair(680.0f, 320.0f));
}

TEST_F(FileDialogTest, KnownDirectoriesJumpThere)
{
    tree.Folder("Documents");
    tree.File("Documents/report.xyz");
    const char* saved = std::getenv("HOME");
    const std::string savedHome = saved != nullptr ? saved : "";
    setenv("HOME", tree.Path().c_str(), 1);
    ImGuiFs::Dialog detecting(false, false, false, true);
    const ImGuiDriver::Ui ui2 = [&] {
        ImGui::Begin("Choose File (ctrl+f)");
        detecting.chooseFileDialog(trigger, beta.c_str());
        trigger = false;
        ImGui::End();
    };
    trigger = true;
    driver.Frames(3, ui2);
    setenv("HOME", savedHome.c_str(), 1);

    ASSERT_TRUE(driver.ClickItem("Known Directories##imguifs_UserKnownDirectories", ui2));
    ASSERT_TRUE(driver.ClickItem("Documents", ui2));
    driver.Frames(2, ui2);
    EXPECT_EQ(std::string(detecting.getLastDirectory()), RealPath(tree.Path("Documents")));
    EXPECT_TRUE(driver.HasText("report.xyz"));
    ASSERT_TRUE(driver.ClickItem("Home", ui2));
    driver.Frames(2, ui2);
    EXPECT_EQ(std::string(detecting.getLastDirectory()), RealPath(tree.Path()));
}

TEST_F(FileDialogTest, ManyEntriesFillColumnsTopToBottom)
{
    tree.Folder("many");
    Strings names;
    for (int i = 0; i < 60; ++i) {
        names.push_back("f" + std::to_string(100 + i));
        tree.File("many/" + names.back());
    }
    static Strings iconPaths;
    iconPaths.clear();
    ImGuiFs::Dialog::DrawFileIconCallback = [](const char* path) {
        iconPaths.push_back(path);
        ImGui::TextUnformatted("*");
    };
    Open(tree.Path("many"));
    ImGuiFs::Dialog::DrawFileIconCallback = nullptr;

    const Strings shown = OnScreen(names);
    ASSERT_GE(shown.size(), 30u);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    const float firstColumn = driver.FindText(shown.front())->min.x;
    EXPECT_GT(driver.FindText(shown.back())->min.x, firstColumn);
    EXPECT_EQ(driver.FindText(shown[1])->min.x, firstColumn);
    EXPECT_GT(driver.FindText(shown[1])->min.y, driver.FindText(shown[0])->min.y);
    ASSERT_FALSE(iconPaths.empty());
    EXPECT_EQ(iconPaths.front(), RealPath(tree.Path("many")) + "/f100");

    // Filling rows instead: the second entry sits right of the first.
    ImGuiFs::Dialog::BrowsingPerRow = true;
    driver.Frames(2, ui);
    ImGuiFs::Dialog::BrowsingPerRow = false;
    EXPECT_EQ(driver.FindText("f101")->min.y, driver.FindText("f100")->min.y);
    EXPECT_GT(driver.FindText("f101")->min.x, driver.FindText("f100")->min.x);
}
