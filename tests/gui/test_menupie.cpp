#include <gtest/gtest.h>

#include <cmath>

#include "gui/imgui_driver.h"
#include "menupie.h"

namespace {

const ImVec2 CENTER(600.0f, 400.0f);

ImVec2 Around(float degrees, float radius)
{
    const float a = degrees * 3.14159265f / 180.0f;
    return ImVec2(CENTER.x + radius * std::cos(a), CENTER.y + radius * std::sin(a));
}

// Draw-list vertices of one colour in the last frame.
int VerticesOfColor(ImU32 color)
{
    int count = 0;
    const ImDrawData *data = ImGui::GetDrawData();
    for (int n = 0; n < data->CmdListsCount; ++n)
        for (const ImDrawVert &v : data->CmdLists[n]->VtxBuffer)
            count += v.col == color ? 1 : 0;
    return count;
}

const ImU32 HOVERED = IM_COL32(100, 100, 150, 255);
const ImU32 SELECTED = IM_COL32(120, 120, 140, 255);

class PieMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui = [this] {
            if (!open)
                return;
            ImGui::OpenPopup("##piepopup");
            const int r = PiePopupSelectMenu(CENTER, "##piepopup", items, count, p_selected, &open);
            if (r != -1)
                result = r;
        };
    }

    // Opens the menu and points at `where`; a popup is hidden in the frame it opens.
    void OpenAndPoint(ImVec2 where)
    {
        open = true;
        driver.Frame(ui);
        driver.MoveMouse(where, ui);
    }

    ImGuiDriver driver;
    std::vector<std::string> items{"Symbol", "Index", "Bonds", "Edit", "Delete", "C-123"};
    int count = 6;
    int selected = 4;
    int *p_selected = &selected;
    bool open = false;
    int result = -1;
    ImGuiDriver::Ui ui;
};

} // namespace

TEST_F(PieMenu, LabelsSitOnTheRingClockwiseFromTheRight)
{
    OpenAndPoint(CENTER);
    const ImGuiDriver::TextRun *symbol = driver.FindText("Symbol");
    const ImGuiDriver::TextRun *edit = driver.FindText("Edit");
    const ImGuiDriver::TextRun *atom = driver.FindText("C-123");
    ASSERT_NE(symbol, nullptr);
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(atom, nullptr);
    EXPECT_NEAR(symbol->Centre().x, CENTER.x + 75.0f, 2.0f);
    EXPECT_NEAR(symbol->Centre().y, CENTER.y, 2.0f);
    EXPECT_NEAR(edit->Centre().x, CENTER.x - 75.0f, 2.0f);
    EXPECT_NEAR(atom->Centre().x, Around(-60.0f, 75.0f).x, 2.0f);
    EXPECT_NEAR(atom->Centre().y, Around(-60.0f, 75.0f).y, 2.0f);
}

TEST_F(PieMenu, ColoursHoveredAndSelectedItems)
{
    OpenAndPoint(CENTER);
    EXPECT_EQ(VerticesOfColor(HOVERED), 0);
    EXPECT_GT(VerticesOfColor(SELECTED), 0);
    driver.MoveMouse(Around(120.0f, 200.0f), ui); // beyond the ring still hovers
    EXPECT_GT(VerticesOfColor(HOVERED), 0);
    driver.MoveMouse(Around(-120.0f, 75.0f), ui); // hovering the selected item shows it hovered
    EXPECT_GT(VerticesOfColor(HOVERED), 0);
    EXPECT_EQ(VerticesOfColor(SELECTED), 0);
}

TEST_F(PieMenu, ClickOnAnItemChoosesItAndCloses)
{
    open = true;
    driver.ClickAt(Around(120.0f, 75.0f), ui);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(selected, 2);
    EXPECT_FALSE(open);
    driver.Frame(ui);
    EXPECT_FALSE(driver.HasText("Bonds"));
}

TEST_F(PieMenu, ClickInTheDeadZoneChoosesNothing)
{
    open = true;
    driver.ClickAt(Around(0.0f, 15.0f), ui);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(selected, -1);
    EXPECT_FALSE(open);
}

TEST_F(PieMenu, ClickBeyondTheOuterRadiusCancels)
{
    open = true;
    driver.ClickAt(Around(0.0f, 120.0f), ui);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(selected, 4);
    EXPECT_FALSE(open);
}

TEST_F(PieMenu, WorksWithoutASelectionAndWithFewItems)
{
    p_selected = nullptr;
    count = 3;
    OpenAndPoint(CENTER);
    EXPECT_TRUE(driver.HasText("Bonds"));
    EXPECT_FALSE(driver.HasText("Edit"));
    EXPECT_EQ(VerticesOfColor(SELECTED), 0);
    driver.ClickAt(Around(180.0f, 75.0f), ui); // the empty fourth position
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(open);

    count = 0;
    open = true;
    driver.ClickAt(Around(0.0f, 75.0f), ui);
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(open);
}

TEST_F(PieMenu, ShowsNothingUnlessItsPopupIsOpen)
{
    int r = 0;
    driver.Frame([&] { r = PiePopupSelectMenu(CENTER, "##piepopup", items, 6, &selected, &open); });
    EXPECT_EQ(r, -1);
    EXPECT_FALSE(driver.HasText("Symbol"));
}
