// PDB records around the atoms: what stands between atom records, coordinates a column to the
// left inside their fields, and the records a deleted or re-typed atom must take along.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cmodel.h"
#include "scratch_folder.h"
#include "structure_read.h"

namespace {

constexpr uint32_t C = 5, N = 6, O = 7, CL = 16, ZN = 29;

// An atom record in the standard's columns; `name` is the four columns 13-16 as they stand.
std::string Atom(const char *record, const char *serial, const char *name, const char *residue, int number,
                 const glm::dvec3 &p, const char *element)
{
    char text[96];
    std::snprintf(text, sizeof text, "%-6s%5s %-4s %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00          %2s", record,
                  serial, name, residue, number, p.x, p.y, p.z, element);
    return text;
}

std::string Link(const char *name1, const char *residue1, int number1, const char *name2, const char *residue2,
                 int number2)
{
    char text[96];
    std::snprintf(text, sizeof text, "LINK        %-4s %3s A%4d                %-4s %3s A%4d     1555   1555  2.10",
                  name1, residue1, number1, name2, residue2, number2);
    return text;
}

bool Load(CModel &m, const ScratchFolder &dir, const std::string &text)
{
    WriteText(dir / "in.pdb", text);
    return m.ReadStructureFile(dir.Path(), dir / "in.pdb", INPUT_FILE_TYPE_PDB);
}

} // namespace

// gemmi reads every atom of the first model, whatever stands between the atom records.
TEST(PdbRecords, EveryAtomOfTheFirstModelWhateverStandsBetween)
{
    ScratchFolder dir;
    const std::string first = Atom("ATOM", "1", " N", "ALA", 1, {1, 2, 3}, "N");
    const std::string second = Atom("ATOM", "2", " CA", "ALA", 1, {2, 2, 3}, "C");
    const std::string third = Atom("HETATM", "4", " O", "HOH", 2, {3, 2, 3}, "O");
    const struct {
        std::string text;
        size_t atoms;
    } cases[] = {
        {first + "\nREMARK   2 between\n\nCONECT    1    2\n" + second + "\nTER       3\n" + third + "\n", 3},
        {first + "\n" + second + "\nENDMDL\nMODEL        2\n" + third + "\n", 2},
        {"MODEL        1\n" + first + "\nMODEL        2\n" + second + "\n", 1},
        {first + "\nEND\n" + second + "\n", 1},
    };
    for (const auto &c : cases) {
        CModel m;
        ASSERT_TRUE(Load(m, dir, c.text)) << m.error_message;
        EXPECT_EQ(m.v_atom_index.size(), c.atoms) << c.text;
    }
}

// Some force-field tools end x in column 37 and leave out occupancy and temperature factor; the
// fields are still the standard's, as gemmi reads them.
TEST(PdbRecords, CoordinatesOneColumnLeftInTheirFields)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(Load(m, dir,
                     "ATOM      1 HH31 ACE     1      2.000   1.000  -0.500 \n"
                     "ATOM    371 HH31 ACE B   1      5.447   5.604   7.039 \n"
                     "ATOM    372  CH3 ACE B   1    -15.447 -15.604 -17.039 \n"))
        << m.error_message;
    ASSERT_EQ(m.v_real_xyz.size(), 3u);
    EXPECT_EQ(m.v_real_xyz[1], glm::dvec3(5.447, 5.604, 7.039));
    EXPECT_EQ(m.v_real_xyz[2], glm::dvec3(-15.447, -15.604, -17.039));
    EXPECT_EQ(m.v_atom_index, (std::vector<uint32_t>{0, 0, C}));
}

// A deleted atom with a five-digit serial takes its ANISOU, CONECT entries in any of their
// columns (hybrid-36 too) and its LINK records along; MASTER counts what is left.
TEST(PdbRecords, ADeletedAtomTakesItsRecordsAlongAndMasterFollows)
{
    ScratchFolder dir;
    const std::string text =
        Link(" O", "HOH", 2, "ZN", " ZN", 3) + "\n" + Link(" N", "ALA", 1, " C", "LIG", 4) + "\n" +
        Atom("ATOM", "12191", " N", "ALA", 1, {1, 2, 3}, "N") + "\n" +
        Atom("HETATM", "12192", " O", "HOH", 2, {3, 2, 3}, "O") + "\n" +
        "ANISOU12192  O   HOH A   2      100    200    300      0      0      0       O\n" +
        "CONECT1219112192\n" +
        Atom("HETATM", "12193", "ZN", " ZN", 3, {5, 2, 3}, "ZN") + "\n" +
        Atom("HETATM", "A0000", " C", "LIG", 4, {7, 2, 3}, "C") + "\n" +
        "CONECT1219212191A0000\nCONECTA000012192\nCONECT12193A0000\n"
        "MASTER        0    0    0    0    0    0    0    0    4    0    4    0\nEND\n";
    CModel m;
    ASSERT_TRUE(Load(m, dir, text)) << m.error_message;
    EXPECT_EQ(m.v_atom_index, (std::vector<uint32_t>{N, O, ZN, C}));
    m.DeleteAtomIndex(1);
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "out.pdb", INPUT_FILE_TYPE_PDB)) << m.error_message;
    const std::vector<std::string> out = Lines(ReadText(dir / "out.pdb"));
    const std::vector<std::string> expected = {
        Link(" N", "ALA", 1, " C", "LIG", 4),
        Atom("ATOM", "12191", " N", "ALA", 1, {1, 2, 3}, "N"),
        Atom("HETATM", "12193", "ZN", " ZN", 3, {5, 2, 3}, "ZN"),
        Atom("HETATM", "A0000", " C", "LIG", 4, {7, 2, 3}, "C"),
        "CONECT12193A0000",
        "MASTER        0    0    0    0    0    0    0    0    3    0    1    0",
        "END"};
    EXPECT_EQ(out, expected);
}

// C12A and C22A as chlorine would both read CL2A: the second is numbered instead.
TEST(PdbRecords, ReTypedAtomsKeepDistinctNames)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(Load(m, dir, Atom("HETATM", "1", "C12A", "LIG", 1, {0, 0, 0}, "") + "\n" +
                                 Atom("HETATM", "2", "C22A", "LIG", 1, {1.5, 0, 0}, "") + "\n" +
                                 Atom("HETATM", "3", "CL1", "LIG", 1, {3, 0, 0}, "") + "\n"))
        << m.error_message;
    m.SetElement(0, CL);
    m.SetElement(1, CL);
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "out.pdb", INPUT_FILE_TYPE_PDB)) << m.error_message;
    std::vector<std::string> names;
    for (const std::string &line : Lines(ReadText(dir / "out.pdb")))
        names.push_back(line.substr(12, 4));
    EXPECT_EQ(names, (std::vector<std::string>{"CL2A", "CL2 ", "CL1 "}));
    CModel again;
    ASSERT_TRUE(again.ReadStructureFile(dir.Path(), dir / "out.pdb", INPUT_FILE_TYPE_PDB));
    EXPECT_EQ(again.v_atom_index, (std::vector<uint32_t>{CL, CL, CL}));
}
