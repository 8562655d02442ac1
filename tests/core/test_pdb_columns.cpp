// Standard atom records read by their columns, elements from the atom name, CRYST1 without a
// crystal cell, and conformers (alternate locations) in the bond search.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cmodel.h"
#include "cpdb.h"
#include "elements.h"
#include "scratch_folder.h"
#include "structure_read.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

using SPdbRead = SRead<CPdb>;

SPdbRead ReadPdbText(const ScratchFolder &dir, const std::string &text)
{
    return ReadStructureText<CPdb>(dir, "t.pdb", text);
}

constexpr uint32_t H = 0, HE = 1, C = 5, N = 6, O = 7, S = 15, CL = 16, CA = 19, FE = 25, SE = 33, HG = 79;

// An ATOM record in the standard's columns: name 13-16, alternate location 17, x y z 31-54,
// and the element in 77-78 when one is given.
std::string Record(const char *name, char altloc, const glm::dvec3 &p, const char *element = "")
{
    char text[96];
    std::snprintf(text, sizeof text, "ATOM      1 %-4s%cLIG A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s",
                  name, altloc, p.x, p.y, p.z, element);
    return text;
}

std::set<std::pair<uint32_t, uint32_t>> Bonds(const CModel &m)
{
    std::set<std::pair<uint32_t, uint32_t>> bonds;
    for (uint32_t k = 0; k < m.i_number_of_bonds; ++k)
        bonds.emplace(m.m_bond_indices[k].x, m.m_bond_indices[k].y);
    return bonds;
}

} // namespace

TEST(PdbColumns, RecordsThatSplitBadlyAtWhiteSpaceAreReadByTheirColumns)
{
    const SPdbRead r = ReadStructure<CPdb>("", DATA + "/pdb/standard_columns.pdb");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    // HG21AVAL: a four-character name touching its conformer letter and residue; HOH A2001 with
    // coordinates that fill their columns; CL16 336 without chain, its residue name a number;
    // serials ***** and A0000; records with and without chain, occupancy or element column.
    const std::vector<glm::dvec3> xyz{{-18.1, -3.2, 11.7},      {-1.0, 2.0, 3.0},
                                      {-1.1, 2.1, 3.1},         {-100.5, -200.25, -300.125},
                                      {182.921, 123.634, 33.671}, {1, 1, 1},
                                      {2, 2, 2},                {3, 3, 3},
                                      {4, 4, 4},                {5, 5, 5},
                                      {6, 6, 6}};
    EXPECT_EQ(r.xyz, xyz);
    EXPECT_EQ(r.index, (std::vector<uint32_t>{N, H, H, O, CL, C, C, CA, H, FE, O}));
    EXPECT_EQ(r.reader.v_atom_altloc,
              (std::vector<uint8_t>{0, 'A', 'B', 0, 0, 0, 0, 0, 0, 0, 0}));

    // A chain letter in the first record and not in the second.
    const SPdbRead chain = ReadStructure<CPdb>("", DATA + "/pdb/chain_missing.pdb");
    ASSERT_TRUE(chain.ok) << chain.reader.error_message;
    EXPECT_EQ(chain.xyz[1], glm::dvec3(0.0, 1.75, 0.0));
    EXPECT_TRUE(chain.reader.v_atom_altloc.empty());
}

TEST(PdbColumns, NumbersThatRunOutOfTheirColumnsAreSplitAtWhiteSpace)
{
    ScratchFolder dir;
    // The older writer's layout, one column to the left: columns 31-38 would hold "100.500 "
    // and "  1.500-".
    const SPdbRead left = ReadPdbText(dir, "ATOM      1  C   LIG     1   -100.500  -0.250   0.000  1.00  0.00\n"
                                           "ATOM      2  C   LIG     1      1.500-100.250   0.000  1.00  0.00\n");
    ASSERT_TRUE(left.ok) << left.reader.error_message;
    EXPECT_EQ(left.xyz, (std::vector<glm::dvec3>{{-100.5, -0.25, 0.0}, {1.5, -100.25, 0.0}}));
    // x one character too wide, from column 30: columns 31-38 would hold "1234.567".
    const SPdbRead wide = ReadPdbText(dir, "ATOM      1  C   LIG A   1   -1234.567  -0.250   0.000  1.00  0.00           C\n");
    ASSERT_TRUE(wide.ok) << wide.reader.error_message;
    EXPECT_EQ(wide.xyz[0], glm::dvec3(-1234.567, -0.25, 0.0));
    // y running on into the columns of z, which would hold "99999999".
    const SPdbRead long_y = ReadPdbText(dir, "ATOM      1  C   LIG A   1       0.000   1.79999999999   0.000  1.00  0.00\n");
    ASSERT_TRUE(long_y.ok) << long_y.reader.error_message;
    EXPECT_EQ(long_y.xyz[0], glm::dvec3(0.0, 1.79999999999, 0.0));
    // A whitespace list keeps the name rule: CA is calcium, but carbon in a standard residue.
    const SPdbRead list = ReadPdbText(dir, "ATOM 1 CA LIG A 1 1.0 2.0 3.0 1.00 0.00\n"
                                           "ATOM 2 CA GLY A 1 1.0 2.0 3.0 1.00 0.00\n");
    ASSERT_TRUE(list.ok) << list.reader.error_message;
    EXPECT_EQ(list.index, (std::vector<uint32_t>{CA, C}));
}

TEST(PdbColumns, ElementFromColumns77To78ElseFromTheAtomName)
{
    ScratchFolder dir;
    const struct {
        const char *name, *element;
        uint32_t expected;
    } cases[] = {
        {" CA ", "", C},   {"CA  ", "", CA},  {"1HB ", "", H},   {"HG21", "", H},
        {"HD11", "", H},   {" HG ", "", H},   {"HG  ", "", HG},  {"CL16", "", CL},
        {" SE ", "", S},  {"SE  ", "", SE},  {"OW  ", "", DUMMY_ELEMENT},
        {" OW ", "", O},   {"O1P ", "", O},   {" CA ", "CA", CA}, {"CA  ", " C", C},
        {" X  ", "", DUMMY_ELEMENT},          {"FE  ", "Fe", FE},
        // Three letters from column 13: the element is in columns 13-14, not a hydrogen.
        {"HG1 ", "", HG},  {"HE2 ", "", HE},
    };
    for (const auto &c : cases) {
        const SPdbRead r = ReadPdbText(dir, Record(c.name, ' ', glm::dvec3(1.0), c.element) + "\n");
        ASSERT_TRUE(r.ok) << c.name << ": " << r.reader.error_message;
        EXPECT_EQ(r.index, std::vector<uint32_t>{c.expected}) << '"' << c.name << "\" \"" << c.element << '"';
    }
}

TEST(PdbColumns, Cryst1WithoutACrystalCellOrWithoutAngles)
{
    ScratchFolder dir;
    const std::string atom = Record(" C  ", ' ', glm::dvec3(0.0)) + "\n";
    const SPdbRead nmr = ReadPdbText(dir, "CRYST1    1.000    1.000    1.000  90.00  90.00  90.00 P 1           1\n" + atom);
    ASSERT_TRUE(nmr.ok) << nmr.reader.error_message;
    EXPECT_FALSE(nmr.reader.is_periodic);
    const SPdbRead box = ReadPdbText(dir, "CRYST1   10.000   20.000   30.000\n" + atom);
    ASSERT_TRUE(box.ok) << box.reader.error_message;
    EXPECT_TRUE(box.reader.is_periodic);
    EXPECT_EQ(box.reader.cell_xyz, glm::dmat3(10, 0, 0, 0, 20, 0, 0, 0, 30));
}

// Atom 0 without conformer, atoms 1 and 3 of conformer A, atom 2 of conformer B: 1 and 2 lie
// within bonding distance of each other and of atom 0.
TEST(PdbConformers, AtomsOfDifferentConformersNeverBond)
{
    ScratchFolder dir;
    const auto motif = [](double x) {
        return Record(" C  ", ' ', {x, 0, 0}) + "\n" + Record(" C  ", 'A', {x + 1.5, 0, 0}) + "\n" +
               Record(" C  ", 'B', {x + 1.0, 1.0, 0}) + "\n" + Record(" C  ", 'A', {x + 3.0, 0, 0}) + "\n";
    };
    const std::set<std::pair<uint32_t, uint32_t>> expected{{0, 1}, {0, 2}, {1, 3}};
    WriteText(dir / "one.pdb", motif(0.0));
    CModel small;
    ASSERT_TRUE(small.ReadStructureFile(dir.Path(), dir / "one.pdb", INPUT_FILE_TYPE_PDB)) << small.error_message;
    EXPECT_EQ(Bonds(small), expected);

    // The same motif many times over, far enough apart for the search by cells.
    std::string text;
    for (int k = 0; k < 12; ++k)
        text += motif(10.0 * k);
    WriteText(dir / "many.pdb", text);
    CModel large;
    ASSERT_TRUE(large.ReadStructureFile(dir.Path(), dir / "many.pdb", INPUT_FILE_TYPE_PDB)) << large.error_message;
    ASSERT_TRUE(large.is_linked_list && large.u_cell_number >= 9);
    std::set<std::pair<uint32_t, uint32_t>> repeated;
    for (uint32_t k = 0; k < 12; ++k)
        for (const auto &bond : expected)
            repeated.emplace(bond.first + 4 * k, bond.second + 4 * k);
    EXPECT_EQ(Bonds(large), repeated);

    // Deleting an atom keeps every other atom's conformer.
    small.DeleteAtomIndex(0);
    EXPECT_EQ(small.v_atom_altloc, (std::vector<uint8_t>{'A', 'B', 'A'}));
    EXPECT_EQ(Bonds(small), (std::set<std::pair<uint32_t, uint32_t>>{{0, 2}}));

    // Another file brings no conformers along.
    ASSERT_TRUE(small.ReadStructureFile(DATA, DATA + "/xyz/water.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_TRUE(small.v_atom_altloc.empty());
}
