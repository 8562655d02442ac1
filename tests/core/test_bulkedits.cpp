// Edits of many atoms at once: each is one step that gives what the same edits one atom at a time
// give, and undoing it gives back the structure exactly; selection by a window rectangle;
// supercells, wraps and added atoms.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <glm/gtc/matrix_transform.hpp>

#include "cmodel.h"
#include "cselection.h"
#include "elements.h"
#include "structure_builder.h"
#include "structure_read.h"

namespace {

constexpr double SI_CELL = 5.431;

// A periodic extended XYZ file of diamond silicon, n x n x n cubic cells.
std::string SiliconXyz(int n)
{
    const Atoms atoms = DiamondSilicon(static_cast<size_t>(8 * n * n * n));
    const double a = SI_CELL * n;
    std::string text = std::to_string(atoms.size()) + "\nLattice=\"" + std::to_string(a) + " 0 0 0 " +
                       std::to_string(a) + " 0 0 0 " + std::to_string(a) + "\" pbc=\"T T T\"\n";
    for (const glm::dvec3 &p : atoms.xyz)
        text += "Si " + std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) + "\n";
    return text;
}

struct SLoaded {
    ScratchFolder dir;
    CModel model;
};

void Load(SLoaded &s, const std::string &name, const std::string &text, int fmt)
{
    WriteText(s.dir / name, text);
    ASSERT_TRUE(s.model.ReadStructureFile(s.dir.Path(), s.dir / name, fmt)) << s.model.error_message;
}

std::string Saved(CModel &m, const ScratchFolder &dir, const std::string &name)
{
    EXPECT_TRUE(m.SaveStructureFile(dir.Path(), dir / name, m.file_format)) << m.error_message;
    return ReadText(dir / name);
}

using BondSet = std::set<std::tuple<uint32_t, uint32_t, int, int, int>>;

// Every bond, drawn or across the cell, as an unordered pair with its image.
BondSet Bonds(const CModel &m)
{
    BondSet bonds;
    for (const glm::uvec2 &b : m.m_bond_indices)
        bonds.emplace(std::min(b.x, b.y), std::max(b.x, b.y), 0, 0, 0);
    for (const CPeriodicBonds::SBond &b : m.m_bond_pbc) {
        const bool swap = b.i > b.j;
        const glm::ivec3 image = swap ? -b.image : b.image;
        bonds.emplace(swap ? b.j : b.i, swap ? b.i : b.j, image.x, image.y, image.z);
    }
    return bonds;
}

std::vector<int> Degrees(const CModel &m)
{
    std::vector<int> degree(m.v_atom_index.size(), 0);
    for (const glm::uvec2 &b : m.m_bond_indices) {
        ++degree[b.x];
        ++degree[b.y];
    }
    for (const CPeriodicBonds::SBond &b : m.m_bond_pbc) {
        ++degree[b.i];
        ++degree[b.j];
    }
    return degree;
}

std::vector<uint32_t> EveryOther(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> atoms;
    for (uint32_t i = 0; i < n; ++i)
        if (rng() % 3 == 0)
            atoms.push_back(i);
    atoms.push_back(static_cast<uint32_t>(n - 1)); // the last atom too, and a repeat
    atoms.push_back(atoms.front());
    return atoms;
}

} // namespace

// Each bulk edit against the same edits made one atom at a time: the same atoms, bonds and saved
// file; one undo step gives back the structure as read, its bonds in their order and its file.
TEST(BulkEdits, SameAsSingleEditsAndUndoneExactly)
{
    enum EKind { DELETE, ELEMENT, MOVE };
    const glm::dvec3 shift(0.75, -0.5, 0.25);
    for (const EKind kind : {DELETE, ELEMENT, MOVE}) {
        SLoaded bulk, single;
        Load(bulk, "si.xyz", SiliconXyz(3), INPUT_FILE_TYPE_XYZ);
        Load(single, "si.xyz", SiliconXyz(3), INPUT_FILE_TYPE_XYZ);
        const std::vector<uint32_t> atoms = EveryOther(bulk.model.v_atom_index.size(), 7 + kind);
        const CModel before = bulk.model;
        if (kind == DELETE) {
            bulk.model.DeleteAtoms(atoms);
            std::set<uint32_t> descending(atoms.begin(), atoms.end());
            for (auto u = descending.rbegin(); u != descending.rend(); ++u)
                single.model.DeleteAtomIndex(*u);
        } else if (kind == ELEMENT) {
            bulk.model.SetElements(atoms, C_INDEX);
            for (uint32_t u : std::set<uint32_t>(atoms.begin(), atoms.end()))
                single.model.SetElement(u, C_INDEX);
        } else {
            bulk.model.MoveAtoms(atoms, shift);
            for (uint32_t u : std::set<uint32_t>(atoms.begin(), atoms.end()))
                single.model.MoveAtom(u, single.model.v_real_xyz[u] + shift);
        }
        EXPECT_EQ(bulk.model.CheckInvariants(), "");
        EXPECT_EQ(bulk.model.v_real_xyz, single.model.v_real_xyz) << kind;
        EXPECT_EQ(bulk.model.v_atom_index, single.model.v_atom_index) << kind;
        EXPECT_EQ(bulk.model.v_table_atoms, single.model.v_table_atoms) << kind;
        EXPECT_EQ(Bonds(bulk.model), Bonds(single.model)) << kind;
        EXPECT_EQ(Saved(bulk.model, bulk.dir, "a.xyz"), Saved(single.model, single.dir, "a.xyz")) << kind;

        ASSERT_TRUE(bulk.model.Undo());
        EXPECT_FALSE(bulk.model.CanUndo()) << "one step";
        EXPECT_EQ(bulk.model.v_real_xyz, before.v_real_xyz);
        EXPECT_EQ(bulk.model.v_float_raw_xyz, before.v_float_raw_xyz);
        EXPECT_EQ(bulk.model.v_atom_index, before.v_atom_index);
        EXPECT_EQ(bulk.model.m_bond_indices, before.m_bond_indices) << kind;
        EXPECT_EQ(Bonds(bulk.model), Bonds(before));
        EXPECT_EQ(Saved(bulk.model, bulk.dir, "b.xyz"), SiliconXyz(3)) << kind;
        ASSERT_TRUE(bulk.model.Redo());
        EXPECT_EQ(Bonds(bulk.model), Bonds(single.model)) << kind;
    }
}

// Hidden atoms stay hidden through a deletion of others and its undo, and are saved.
TEST(BulkEdits, HiddenAtomsFollowTheirAtomsAndAreSaved)
{
    SLoaded s;
    Load(s, "si.xyz", SiliconXyz(1), INPUT_FILE_TYPE_XYZ);
    CModel &m = s.model;
    const uint64_t revision = m.u_revision;
    m.SetHidden({2, 5}, true);
    EXPECT_EQ(m.u_revision, revision) << "hiding is no edit";
    EXPECT_TRUE(m.IsUpdated());
    EXPECT_FALSE(m.CanUndo());
    m.DeleteAtoms({0, 3});
    EXPECT_TRUE(m.IsHidden(1) && m.IsHidden(3));
    EXPECT_EQ(std::count(m.Hidden().begin(), m.Hidden().end(), 1), 2);
    m.SetHidden({0}, true);
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.Hidden(), std::vector<uint8_t>({0, 1, 1, 0, 0, 1, 0, 0}));
    EXPECT_EQ(m.CheckInvariants(), "");
    EXPECT_EQ(Lines(Saved(m, s.dir, "out.xyz")).size(), 10u);
    m.ShowAll();
    EXPECT_TRUE(m.Hidden().empty());
}

// The atoms whose centres fall in the rectangle: a view of 200 x 100 pixels showing x from -10
// to 10 and y from -5 to 5, so that one unit is 10 pixels and (0, 0) is pixel (100, 50).
TEST(Selection, RectangleTakesCentresInsideEachEdgeFrontAndBack)
{
    const glm::mat4 mvp = glm::ortho(-10.0f, 10.0f, -5.0f, 5.0f, -100.0f, 100.0f);
    const glm::vec2 size(200.0f, 100.0f);
    // Rectangle from pixel (60, 20) to (140, 80): x from -4 to 4, y from 3 down to -3.
    const glm::vec2 a(140.0f, 80.0f), b(60.0f, 20.0f);
    const float in = 0.01f;
    const std::vector<glm::vec3> xyz = {
        {-4.0f + in, 0, 0}, {-4.0f - in, 0, 0}, {4.0f - in, 0, 0}, {4.0f + in, 0, 0},
        {0, 3.0f - in, 0},  {0, 3.0f + in, 0},  {0, -3.0f + in, 0}, {0, -3.0f - in, 0},
        {1, 1, 50},         {1, 1, -50},        {1, 1, 0},          {2, 2, 0}};
    const std::vector<uint32_t> inside = {0, 2, 4, 6, 8, 9, 10, 11};
    EXPECT_EQ(CSelection::InRectangle(mvp, xyz, {}, a, b, size), inside);
    EXPECT_EQ(CSelection::InRectangle(mvp, xyz, {}, b, a, size), inside) << "either corner first";
    std::vector<uint8_t> hidden(xyz.size(), 0);
    hidden[8] = hidden[11] = 1;
    EXPECT_EQ(CSelection::InRectangle(mvp, xyz, hidden, a, b, size), std::vector<uint32_t>({0, 2, 4, 6, 9, 10}));
    // Turned a quarter about y, depth becomes width: the atoms behind one another now lie apart, and
    // those beside one another behind each other.
    const glm::mat4 turned = mvp * glm::rotate(glm::mat4(1.0f), glm::half_pi<float>(), glm::vec3(0, 1, 0));
    EXPECT_EQ(CSelection::InRectangle(turned, xyz, {}, a, b, size),
              std::vector<uint32_t>({0, 1, 2, 3, 4, 6, 10, 11}));
}

TEST(Selection, ModesAllInvertAndHiddenAtoms)
{
    CSelection s;
    s.Reset(6);
    const std::vector<uint8_t> hidden = {0, 0, 1, 0, 0, 0};
    s.Change({1, 2, 3}, CSelection::EMode::REPLACE);
    s.Change({3, 4}, CSelection::EMode::ADD);
    s.Change({1}, CSelection::EMode::REMOVE);
    EXPECT_EQ(s.Atoms(), std::vector<uint32_t>({2, 3, 4}));
    s.Invert(hidden);
    EXPECT_EQ(s.Atoms(), std::vector<uint32_t>({0, 1, 5}));
    s.SelectAll(hidden);
    EXPECT_EQ(s.Count(), 5u);
    s.SelectOne(9);
    EXPECT_EQ(s.Count(), 0u);
    s.SelectAppended(7);
    EXPECT_EQ(s.Atoms(), std::vector<uint32_t>({6}));
}

// Bulk silicon repeated along each axis keeps four bonds per atom, across the new cell faces too;
// the supercell is one step and refused where it cannot be.
TEST(Supercell, SiliconKeepsFourBondsPerAtomAndUndoes)
{
    SLoaded s;
    Load(s, "si.xyz", SiliconXyz(1), INPUT_FILE_TYPE_XYZ);
    CModel &m = s.model;
    std::string why;
    ASSERT_TRUE(m.MakeSupercell(glm::ivec3(2, 1, 3), why)) << why;
    EXPECT_EQ(m.v_atom_index.size(), 48u);
    EXPECT_EQ(m.m_cell_box[2], glm::dvec3(0, 0, 3 * SI_CELL));
    const std::vector<int> degrees = Degrees(m);
    EXPECT_TRUE(std::all_of(degrees.begin(), degrees.end(), [](int d) { return d == 4; }));
    EXPECT_EQ(m.SupercellsInEffect(), 1);
    EXPECT_EQ(m.SupercellRepeat(), glm::ivec3(2, 1, 3));
    EXPECT_EQ(m.CheckInvariants(), "");
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.v_atom_index.size(), 8u);
    EXPECT_EQ(m.m_cell_box[2], glm::dvec3(0, 0, SI_CELL));
    EXPECT_EQ(m.SupercellsInEffect(), 0);
    EXPECT_EQ(Saved(m, s.dir, "back.xyz"), SiliconXyz(1));
    EXPECT_FALSE(m.MakeSupercell(glm::ivec3(1, 21, 1), why));
    EXPECT_NE(why.find("from 1 to 20"), std::string::npos) << why;
    CModel molecule;
    LoadAtoms(molecule, DiamondSilicon(4));
    EXPECT_FALSE(molecule.MakeSupercell(glm::ivec3(2), why));
    EXPECT_FALSE(molecule.WrapIntoCell());
}

// Wrapping puts every atom inside the cell, moves none already there, and is one step.
TEST(Wrap, AtomsOutsideComeIntoTheCell)
{
    SLoaded s;
    Load(s, "si.xyz", SiliconXyz(1), INPUT_FILE_TYPE_XYZ);
    CModel &m = s.model;
    const std::vector<glm::dvec3> inside = m.v_real_xyz;
    m.MoveAtoms({1, 6}, glm::dvec3(-SI_CELL, 2 * SI_CELL, 0.0));
    ASSERT_TRUE(m.WrapIntoCell());
    for (size_t i = 0; i < inside.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(m.v_real_xyz[i][k], inside[i][k], 1e-9) << i;
    EXPECT_EQ(m.v_real_xyz[0], inside[0]) << "an atom inside stays exactly";
    ASSERT_TRUE(m.Undo());
    EXPECT_NE(m.v_real_xyz[1], inside[1]);
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.v_real_xyz, inside);
    EXPECT_FALSE(m.CanUndo());
}

// An added atom in each format's own layout: a VASP file with selective dynamics and velocities
// gets a position line with T T T, a zero velocity and, for a new element, a species run of its
// own; an atom of the last run's element joins it.
TEST(AddAtom, VaspFileGetsItsLinesAndRuns)
{
    const std::string poscar = "MgO\n1.0\n4.2 0 0\n0 4.2 0\n0 0 4.2\nMg O\n1 1\nSelective dynamics\nDirect\n"
                               "0.0 0.0 0.0 F F F\n0.5 0.5 0.5 T T T\n\n0.1 0.2 0.3\n0.4 0.5 0.6\n";
    SLoaded s;
    Load(s, "POSCAR", poscar, INPUT_FILE_TYPE_VSP);
    CModel &m = s.model;
    std::string why;
    ASSERT_TRUE(m.AddAtom(ElementIndexOfSymbol("Fe"), glm::dvec3(2.1, 0.0, 0.0), why));
    ASSERT_TRUE(m.AddAtom(ElementIndexOfSymbol("Fe"), glm::dvec3(0.0, 2.1, 0.0), why));
    EXPECT_FALSE(m.AddAtom(periodic_table_atoms, glm::dvec3(0.0), why));
    EXPECT_EQ(Lines(Saved(m, s.dir, "two")),
              Lines("MgO\n1.0\n4.2 0 0\n0 4.2 0\n0 0 4.2\n Mg O Fe\n1 1 2\nSelective dynamics\nDirect\n"
                    "0.0 0.0 0.0 F F F\n0.5 0.5 0.5 T T T\n0.5000 0.0000 0.0000 T T T\n0.0000 0.5000 0.0000 T T T\n\n"
                    "0.1 0.2 0.3\n0.4 0.5 0.6\n0.0000 0.0000 0.0000\n0.0000 0.0000 0.0000\n"));
    ASSERT_TRUE(m.Undo());
    ASSERT_TRUE(m.Undo());
    ASSERT_TRUE(m.AddAtom(ElementIndexOfSymbol("O"), glm::dvec3(0.0, 0.0, 2.1), why));
    const std::vector<std::string> joined = Lines(Saved(m, s.dir, "joined"));
    EXPECT_EQ(joined[5], " Mg O");
    EXPECT_EQ(joined[6], "1 2");
    m.DeleteAtoms({1, 2});
    EXPECT_EQ(Lines(Saved(m, s.dir, "gone")),
              Lines("MgO\n1.0\n4.2 0 0\n0 4.2 0\n0 0 4.2\n Mg\n1\nSelective dynamics\nDirect\n"
                    "0.0 0.0 0.0 F F F\n\n0.1 0.2 0.3\n"));
}

// A PDB atom's ANISOU record stays with it: an added atom comes after the last atom's own records,
// also when the file's last line has no line end.
TEST(AddAtom, PdbRecordAfterTheLastAtomsAnisou)
{
    const std::string atom = "HETATM    1  O   HOH A   1       1.000   2.000   3.000  1.00  0.00           O\n";
    const std::string anisou = "ANISOU    1  O   HOH A   1      100    200    300      0      0      0       O\n";
    for (const std::string &end : {std::string("END\n"), std::string("")}) {
        SLoaded s;
        Load(s, "water.pdb", atom + anisou + end, INPUT_FILE_TYPE_PDB);
        std::string why;
        ASSERT_TRUE(s.model.AddAtom(ElementIndexOfSymbol("Na"), glm::dvec3(4.0, 5.0, 6.0), why)) << why;
        const std::vector<std::string> lines = Lines(Saved(s.model, s.dir, "added"));
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[1] + "\n", anisou) << end;
        EXPECT_EQ(lines[2].rfind("HETATM    2", 0), 0u) << lines[2];
        EXPECT_EQ(lines.size(), end.empty() ? 3u : 4u);
    }
}
