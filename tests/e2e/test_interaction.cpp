// A newcomer's session in the real window: open a file with the chooser, pick and edit atoms,
// save, then open a POSCAR, use the pie menu and the S key. Coordinates are those of the panels'
// first-use places and of the GUI library's default style; a screenshot is kept after each step.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

#include <stb/stb_image.h>

#include "e2e/kivoa_session.h"

namespace {

using PixelTest = std::function<bool(const Rgb &)>;

// Places on screen, all at the panels' first-use positions.
const int OPEN_X = 36, BUTTONS_Y = 69;    // "Open"; "Save" is on the same row
const int SAVE_X = 138;
const int COMBO_X = 110, COMBO_Y = 46;    // "Input Format"
const int BY_NAME_X = 243;                 // the "by name" box, on the combo's row
const int VASP_ROW_Y = 86;                // its second row once open
const int CHOOSER_FIRST_FILE_Y = 140;     // the chooser lists the files of the working folder
const int CHOOSER_ROW = 17;
const int EDIT_X = 1009, EDIT_Y = 195;    // in the Action panel, with an atom selected
const int SYMBOL_X = 1019, SYMBOL_Y = 80;
const int X_FIELD_X = 1050, X_FIELD_Y = 126;
// The view between the panels and left of the axes gizmo.
const int VIEW_X0 = 350, VIEW_X1 = 980;
const int PIE_X = 800, PIE_Y = 560;
// "Discard" of the unsaved-edits question, which stands in the middle of the window.
const int DISCARD_X = 562, DISCARD_Y = 386;

const Rgb BACKGROUND = Rgb::FromFloat(0.07, 0.34, 0.47);

// Oxygen: green and blue equal, unlike the orange of a selected atom.
bool IsRed(const Rgb &c) { return c.r > 120 && c.g < 80 && std::abs(c.g - c.b) < 15; }
bool IsBlue(const Rgb &c) { return c.b > 120 && c.r < 80 && c.g < 80; }
bool IsSelected(const Rgb &c) { return c.r > 150 && c.r - c.g > 50 && c.g - c.b > 30 && c.g > 60; }
bool IsLabel(const Rgb &c) { return c.r > 200 && c.g > 200 && c.b < 60; }
bool IsNeutralGrey(const Rgb &c)
{
    return c.r > 100 && std::abs(c.r - c.g) < 8 && std::abs(c.g - c.b) < 8;
}

struct Blob {
    int count = 0;
    int x = 0, y = 0; // centre
};

Blob Find(const Image &image, const PixelTest &test, int x0 = VIEW_X0, int x1 = VIEW_X1)
{
    Blob blob;
    long sx = 0, sy = 0;
    for (int y = 0; y < image.height; y++)
        for (int x = x0; x < x1 && x < image.width; x++)
            if (test(image.At(x, y))) {
                blob.count++;
                sx += x;
                sy += y;
            }
    if (blob.count > 0) {
        blob.x = static_cast<int>(sx / blob.count);
        blob.y = static_cast<int>(sy / blob.count);
    }
    return blob;
}

struct SavedAtom {
    std::string symbol;
    double x, y, z;
};

std::vector<SavedAtom> ReadXyz(const std::string &text)
{
    std::istringstream in(text);
    size_t count = 0;
    std::string comment;
    in >> count;
    std::getline(in, comment);
    std::getline(in, comment);
    std::vector<SavedAtom> atoms(count);
    for (SavedAtom &a : atoms)
        in >> a.symbol >> a.x >> a.y >> a.z;
    if (!in)
        atoms.clear();
    return atoms;
}

class NewcomerSession : public ::testing::Test {
protected:
    // Lets a few frames pass, then keeps what the window shows.
    Image Step(const std::string &name)
    {
        usleep(400000);
        Image image = s.Screenshot();
        image.SavePng(std::string(KIVOA_BINARY_DIR) + "/e2e-interaction-" + std::to_string(++step) + "-" +
                      name + ".png");
        return image;
    }

    // Like Step, for slow frames: waits until two screenshots a while apart are the same.
    Image SteadyStep(const std::string &name)
    {
        Image last = Step(name);
        for (int k = 0; k < 20; k++) {
            usleep(500000);
            Image image = s.Screenshot();
            if (image.rgb == last.rgb)
                break;
            last = image;
        }
        last.SavePng(std::string(KIVOA_BINARY_DIR) + "/e2e-interaction-" + std::to_string(step) + "-" + name + ".png");
        return last;
    }

    void OpenFile(int row) { s.DoubleClick(40, CHOOSER_FIRST_FILE_Y + row * CHOOSER_ROW); }

    KivoaSession s;
    int step = 0;
};

TEST_F(NewcomerSession, OpensPicksEditsSavesAndUsesThePieMenu)
{
    ASSERT_TRUE(s.HasHome());
    // Listed by the chooser in name order: molecule.xyz, POSCAR, stderr.txt, stdout.txt.
    const std::string molecule = s.WorkFolder() + "/molecule.xyz";
    WriteText(molecule, ReadText(KIVOA_TEST_DATA "/e2e/molecule.xyz"));
    WriteText(s.WorkFolder() + "/POSCAR", ReadText(KIVOA_TEST_DATA "/e2e/POSCAR"));
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitForWindow()) << s.Output() << s.Errors();
    ASSERT_TRUE(s.WaitForPixel(1250, 700, BACKGROUND));

    // Choose File and Settings stand in the left corners, Action in the top right one.
    Image image = Step("start");
    for (auto [x, y] : {std::pair{150, 60}, {150, 600}, {1190, 50}})
        EXPECT_FALSE(image.At(x, y).Near(BACKGROUND, 20)) << "no panel at " << x << ", " << y;
    for (auto [x, y] : {std::pair{150, 300}, {640, 360}, {1190, 300}})
        EXPECT_TRUE(image.At(x, y).Near(BACKGROUND)) << "a panel at " << x << ", " << y;

    s.Click(OPEN_X, BUTTONS_Y);
    Step("chooser");
    OpenFile(0);
    image = Step("molecule-drawn");
    EXPECT_EQ(s.Title(), "Kivoa " + molecule);
    const Blob oxygen = Find(image, IsRed);
    const Blob nitrogen = Find(image, IsBlue);
    ASSERT_GT(oxygen.count, 500);
    ASSERT_GT(nitrogen.count, 500);

    s.Click(oxygen.x, oxygen.y);
    image = Step("oxygen-picked"); // the panel reads: No. 0, Symbol [O], Z [8]
    EXPECT_EQ(Find(image, IsRed).count, 0);
    EXPECT_GT(Find(image, IsSelected).count, 500);

    s.Click(EDIT_X, EDIT_Y);
    s.Click(SYMBOL_X, SYMBOL_Y);
    Step("periodic-table");
    s.Click(1193, 160); // S, group 16 of period 3
    Step("now-sulfur");
    s.Click(X_FIELD_X, X_FIELD_Y);
    s.Key("ctrl+a");
    s.Type("-4.5");
    s.Key("Return");
    Step("moved");

    s.Click(nitrogen.x, nitrogen.y);
    Step("nitrogen-picked");
    s.Key("Delete");
    image = Step("nitrogen-deleted");
    EXPECT_EQ(Find(image, IsBlue).count, 0);
    EXPECT_EQ(Find(image, IsSelected).count, 0);

    s.Click(SAVE_X, BUTTONS_Y);
    Step("saved");
    const std::vector<SavedAtom> saved = ReadXyz(ReadText(molecule));
    ASSERT_EQ(saved.size(), 3u) << ReadText(molecule);
    EXPECT_EQ(saved[0].symbol, "S");
    EXPECT_NEAR(saved[0].x, -4.5, 1e-6);
    EXPECT_NEAR(saved[0].y, 0.0, 1e-6);
    EXPECT_EQ(saved[1].symbol, "P");
    EXPECT_EQ(saved[2].symbol, "C");
    EXPECT_NEAR(saved[2].z, 1.0, 1e-6);

    // A POSCAR read as XYZ ("by name" unticked) fails: the panel says why, the title and the atoms
    // stay.
    s.Click(BY_NAME_X, COMBO_Y);
    s.Click(OPEN_X, BUTTONS_Y);
    Step("chooser-again");
    OpenFile(1);
    image = Step("wrong-format");
    EXPECT_EQ(s.Title(), "Kivoa " + molecule);
    EXPECT_GT(Find(image, IsLabel).count, 0);

    s.Click(COMBO_X, COMBO_Y);
    Step("format-combo");
    s.Click(40, VASP_ROW_Y);
    s.Click(OPEN_X, BUTTONS_Y);
    Step("chooser-vasp");
    OpenFile(1);
    image = Step("poscar-drawn");
    EXPECT_EQ(s.Title(), "Kivoa " + s.WorkFolder() + "/POSCAR");
    const int grey_without_bonds = Find(image, IsNeutralGrey).count;
    EXPECT_GT(Find(image, IsLabel).count, 0);

    s.Click(PIE_X, PIE_Y, 3);
    image = Step("pie-menu");
    // Seven items clockwise from the right, 360/7 degrees each.
    EXPECT_TRUE(image.At(PIE_X + 17, PIE_Y + 73).Near(Rgb{0, 0, 0}, 12)); // the ring between items 1 and 2
    EXPECT_TRUE(image.At(PIE_X + 50, PIE_Y).Near(Rgb{70, 70, 70}, 12)); // item 0, "Symbol"
    s.Click(PIE_X - 17, PIE_Y + 73); // item 2, "Bonds"
    image = Step("bonds-shown");
    EXPECT_FALSE(image.At(PIE_X + 50, PIE_Y).Near(Rgb{70, 70, 70}, 12));
    EXPECT_GT(Find(image, IsNeutralGrey).count, grey_without_bonds + 500);

    s.Key("s");
    image = Step("labels-hidden");
    EXPECT_EQ(Find(image, IsLabel).count, 0);
    s.Key("s");
    image = Step("labels-shown");
    EXPECT_GT(Find(image, IsLabel).count, 50);

    ASSERT_TRUE(s.Close());
    EXPECT_EQ(s.WaitExit(), 0) << s.Errors();
}

// On a structure large enough to make frames slow, quick presses of B each toggle the bonds once.
// Before, a press and its release within one frame went unseen.
TEST_F(NewcomerSession, QuickKeyPressesOnABigStructureEachActOnce)
{
    ASSERT_TRUE(s.HasHome());
    std::string box;
    int atoms = 0;
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 10; j++)
            for (int k = 0; k < 10; k++) {
                const double x = 3.1 * i, y = 3.1 * j, z = 3.1 * k;
                char lines[200];
                std::snprintf(lines, sizeof lines, "O %.3f %.3f %.3f\nH %.3f %.3f %.3f\nH %.3f %.3f %.3f\n", x, y,
                              z + 0.119, x, y + 0.763, z - 0.477, x, y - 0.763, z - 0.477);
                box += lines;
                atoms += 3;
            }
    WriteText(s.WorkFolder() + "/a-water-box.xyz", std::to_string(atoms) + "\nwater box\n" + box);
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitForWindow()) << s.Output() << s.Errors();
    ASSERT_TRUE(s.WaitForPixel(1250, 700, BACKGROUND));
    s.Click(OPEN_X, BUTTONS_Y);
    SteadyStep("box-chooser");
    OpenFile(0);
    SteadyStep("box-drawn");
    ASSERT_EQ(s.Title(), "Kivoa " + s.WorkFolder() + "/a-water-box.xyz");
    s.Key("s"); // no labels: they would hide the bonds
    const int grey_without_bonds = Find(SteadyStep("box-no-labels"), IsNeutralGrey).count;

    // With bonds the atoms shrink: far fewer grey pixels of hydrogen.
    s.Type("bbbbb");
    const int grey_with_bonds = Find(SteadyStep("box-five-presses"), IsNeutralGrey).count;
    EXPECT_LT(grey_with_bonds, grey_without_bonds - 5000);
    s.Type("bbbb");
    EXPECT_NEAR(Find(SteadyStep("box-four-more"), IsNeutralGrey).count, grey_with_bonds, 500);
    s.Type("b");
    EXPECT_NEAR(Find(SteadyStep("box-one-more"), IsNeutralGrey).count, grey_without_bonds, 500);

    ASSERT_TRUE(s.Close());
    EXPECT_EQ(s.WaitExit(), 0) << s.Errors();
}

// `kivoa FILE` opens the file at start; Shift+click measures, Ctrl+U undoes, Ctrl+E writes a
// picture, and closing the window with unsaved edits asks first.
TEST_F(NewcomerSession, OpensByNameUndoesExportsAndAsksBeforeClosing)
{
    ASSERT_TRUE(s.HasHome());
    const std::string molecule = s.WorkFolder() + "/molecule.xyz";
    WriteText(molecule, ReadText(KIVOA_TEST_DATA "/e2e/molecule.xyz"));
    ASSERT_TRUE(s.Start({"molecule.xyz"}));
    ASSERT_TRUE(s.WaitForWindow()) << s.Output() << s.Errors();
    Image image = Step("opened-by-name");
    EXPECT_EQ(s.Title(), "Kivoa " + molecule);
    const Blob oxygen = Find(image, IsRed);
    const Blob nitrogen = Find(image, IsBlue);
    ASSERT_GT(oxygen.count, 500);
    ASSERT_GT(nitrogen.count, 500);

    // Without labels, yellow in the view is the numbered marks of the picked atoms.
    s.Key("s");
    s.Click(oxygen.x, oxygen.y);
    s.ShiftClick(nitrogen.x, nitrogen.y);
    image = Step("two-picked");
    EXPECT_GT(Find(image, IsLabel, nitrogen.x - 60, nitrogen.x + 60).count, 30);
    EXPECT_GT(Find(image, IsLabel, oxygen.x - 60, oxygen.x + 60).count, 30);
    s.Key("ctrl+e");
    Step("exported");
    int w = 0, h = 0, channels = 0;
    EXPECT_TRUE(stbi_info((s.WorkFolder() + "/molecule.png").c_str(), &w, &h, &channels));
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 720);

    s.Click(nitrogen.x, nitrogen.y);
    s.Key("Delete");
    image = Step("nitrogen-deleted");
    EXPECT_EQ(Find(image, IsBlue).count, 0);
    s.Key("ctrl+u");
    image = Step("undone");
    EXPECT_GT(Find(image, IsBlue).count, 500);
    s.Key("ctrl+r");
    image = Step("redone");
    EXPECT_EQ(Find(image, IsBlue).count, 0);

    // The window stays, dimmed behind the question, until Discard.
    ASSERT_TRUE(s.Close());
    image = Step("asked");
    EXPECT_TRUE(s.Running());
    EXPECT_FALSE(image.At(1250, 700).Near(BACKGROUND, 10));
    s.Click(DISCARD_X, DISCARD_Y);
    EXPECT_EQ(s.WaitExit(), 0) << s.Errors();
    EXPECT_EQ(ReadText(molecule), ReadText(KIVOA_TEST_DATA "/e2e/molecule.xyz"));
}

// Ctrl+drag selects the atoms in a box, Ctrl+Alt+drag takes them out again; Delete deletes the
// selection, and Save writes what is left.
TEST_F(NewcomerSession, BoxSelectsAndDeletes)
{
    ASSERT_TRUE(s.HasHome());
    const std::string molecule = s.WorkFolder() + "/molecule.xyz";
    WriteText(molecule, ReadText(KIVOA_TEST_DATA "/e2e/molecule.xyz"));
    ASSERT_TRUE(s.Start({"molecule.xyz"}));
    ASSERT_TRUE(s.WaitForWindow()) << s.Output() << s.Errors();
    s.Key("s");
    Image image = Step("box-start");
    const Blob oxygen = Find(image, IsRed);
    const Blob nitrogen = Find(image, IsBlue);
    ASSERT_GT(oxygen.count, 500);
    ASSERT_GT(nitrogen.count, 500);
    // Boxes a third of the way to the nearest other atom around each centre.
    const int r = std::max(std::abs(oxygen.x - nitrogen.x), std::abs(oxygen.y - nitrogen.y)) / 3;

    s.Drag(oxygen.x - r, oxygen.y - r, oxygen.x + r, oxygen.y + r, "ctrl");
    image = Step("oxygen-boxed");
    EXPECT_EQ(Find(image, IsRed).count, 0);
    EXPECT_GT(Find(image, IsSelected, oxygen.x - r, oxygen.x + r).count, 500);
    EXPECT_EQ(Find(image, IsSelected, nitrogen.x - r, nitrogen.x + r).count, 0);
    s.Key("Delete");
    image = Step("oxygen-deleted");
    EXPECT_EQ(Find(image, IsSelected).count, 0);
    EXPECT_EQ(Find(image, IsRed).count, 0);

    // All the others but the nitrogen.
    s.Key("a");
    s.Drag(nitrogen.x - r, nitrogen.y - r, nitrogen.x + r, nitrogen.y + r, "ctrl+alt");
    image = Step("all-but-nitrogen");
    EXPECT_GT(Find(image, IsBlue).count, 500);
    s.Key("Delete");
    image = Step("only-nitrogen");
    EXPECT_GT(Find(image, IsBlue).count, 500);
    s.Click(SAVE_X, BUTTONS_Y);
    Step("saved");
    const std::vector<SavedAtom> saved = ReadXyz(ReadText(molecule));
    ASSERT_EQ(saved.size(), 1u) << ReadText(molecule);
    EXPECT_EQ(saved[0].symbol, "N");
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(s.WaitExit(), 0) << s.Errors();
}

} // namespace

namespace {

// A chain of silicon across the view (along y) through a cell as long as one bond: every bond crosses the cell.
const char *const SILICON_CHAIN = "silicon chain\n1.0\n10 0 0\n0 2.3 0\n0 0 10\nSi\n1\nDirect\n0.5 0.5 0.5\n";

} // namespace

// In a crystal B shows the bonds across the cell boundary too, as halves up to the cell faces.
TEST_F(NewcomerSession, BondsAcrossTheCellShowWithTheOthers)
{
    ASSERT_TRUE(s.HasHome());
    WriteText(s.WorkFolder() + "/POSCAR", SILICON_CHAIN);
    ASSERT_TRUE(s.Start({"POSCAR"}));
    ASSERT_TRUE(s.WaitForWindow()) << s.Output() << s.Errors();
    s.Key("s");
    const int grey_without_bonds = Find(SteadyStep("chain"), IsNeutralGrey).count;
    s.Key("b");
    EXPECT_GT(Find(SteadyStep("chain-bonds"), IsNeutralGrey).count, grey_without_bonds + 150);
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(s.WaitExit(), 0) << s.Errors();
}

namespace {

// An oxygen walking along x past a nitrogen that stays.
const char *const WALKING_OXYGEN = "2\nframe 0\nO -4 0 0\nN 0 5 0\n"
                                   "2\nframe 1\nO 0 0 0\nN 0 5 0\n"
                                   "2\nframe 2\nO 4 0 0\nN 0 5 0\n";

// The oxygen anywhere in the window (no panel is red).
Blob FindOxygen(const Image &image) { return Find(image, IsRed, 0, image.width); }

int Apart(const Blob &a, const Blob &b) { return std::abs(a.x - b.x) + std::abs(a.y - b.y); }

} // namespace

// The frame keys step through a trajectory in the real window, and playback keeps drawing
// frames without input until it is paused.
TEST_F(NewcomerSession, StepsAndPlaysTheFramesOfATrajectory)
{
    ASSERT_TRUE(s.HasHome());
    WriteText(s.WorkFolder() + "/walk.xyz", WALKING_OXYGEN);
    ASSERT_TRUE(s.Start({"walk.xyz"}));
    ASSERT_TRUE(s.WaitForWindow()) << s.Output() << s.Errors();
    const Blob first = FindOxygen(Step("frame-0"));
    ASSERT_GT(first.count, 500);
    s.Key("period");
    const Blob second = FindOxygen(Step("frame-1"));
    EXPECT_GT(Apart(second, first), 20);
    s.Key("End");
    EXPECT_GT(Apart(FindOxygen(Step("frame-2")), second), 20);
    s.Key("Home");
    EXPECT_LE(Apart(FindOxygen(Step("frame-0-again")), first), 2);

    s.Key("space");
    std::set<int> seen;
    for (int k = 0; k < 10; k++) {
        usleep(150000);
        const Blob oxygen = FindOxygen(s.Screenshot());
        seen.insert((oxygen.x / 10) * 1000 + oxygen.y / 10);
    }
    EXPECT_GE(seen.size(), 2u);
    s.Key("space");
    const Blob paused = FindOxygen(Step("paused"));
    EXPECT_EQ(Apart(FindOxygen(Step("still-paused")), paused), 0);
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(s.WaitExit(), 0) << s.Errors();
}
