// Volumetric files: the values where the file puts them, bad and cut files refused with their
// line however the text is cut into pieces, the structure beside the grid edited and saved as
// other formats only, and (tests/oracles/volume_files.py) files written by pymatgen and ASE read
// with their electron counts and isosurface areas.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cgridtext.h"
#include "cmodel.h"
#include "fileformats.h"
#include "scratch_folder.h"
#include "structure_read.h"

namespace {

const std::string POSCAR = "Si\n1.0\n3 0 0\n0 3 0\n0 0 3\nSi\n1\nDirect\n0 0 0\n";
const std::string CUBE_HEAD = "c1\nc2\n1 0 0 0\n2 1.0 0 0\n2 0 1.0 0\n2 0 0 1.0\n8 0 0.5 0.5 0.5\n";

// The same read with the values cut into pieces of a few bytes on three threads.
template <class T>
SRead<T> ReadBothWays(const ScratchFolder &dir, const std::string &name, const std::string &text)
{
    SRead<T> whole = ReadStructureText<T>(dir, name, text);
    CGridText::SetSplitForTesting(7, 3);
    SRead<T> pieces = ReadStructure<T>(dir.Path(), dir / name);
    CGridText::SetSplitForTesting(0, 0);
    EXPECT_EQ(pieces.ok, whole.ok) << name;
    EXPECT_EQ(pieces.reader.error_message, whole.reader.error_message) << name;
    EXPECT_EQ(pieces.reader.grid.v_blocks.size(), whole.reader.grid.v_blocks.size()) << name;
    for (size_t b = 0; b < whole.reader.grid.v_blocks.size() && b < pieces.reader.grid.v_blocks.size(); ++b)
        EXPECT_EQ(pieces.reader.grid.v_blocks[b].v_value, whole.reader.grid.v_blocks[b].v_value) << name;
    return whole;
}

} // namespace

TEST(Volume, ValuesStandWhereTheFilePutsThem)
{
    ScratchFolder dir;
    // Two blocks with augmentation lines and per-atom moments between them; x fastest; rho
    // times the volume (27).
    const auto chgcar = ReadBothWays<CChgcar>(
        dir, "CHGCAR",
        POSCAR + "\n2 2 2\n27 54 81 108 135\n162 189 216\naugmentation occupancies 1 4\n 0.1 0.2\n"
                 " 0.5\n2 2 2\n-27 0 0 0 0 0 0 27\n");
    ASSERT_TRUE(chgcar.ok) << chgcar.reader.error_message;
    const CVolumeGrid &g = chgcar.reader.grid;
    ASSERT_EQ(g.v_blocks.size(), 2u);
    EXPECT_EQ(g.v_blocks[0].v_value, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(g.v_blocks[1].name, "magnetization");
    EXPECT_EQ(g.v_blocks[1].v_value.front(), -1.0f);
    EXPECT_DOUBLE_EQ(g.Integral(0), 4.5 * 27);
    EXPECT_EQ(g.m_voxel, glm::dmat3(1.5));
    // LOCPOT values stand as they are.
    EXPECT_EQ(ReadBothWays<CChgcar>(dir, "LOCPOT", POSCAR + "\n1 1 2\n5 -6\n").reader.grid.v_blocks[0].v_value,
              (std::vector<float>{5, -6}));
    // A cube lists z fastest: its values stand in file order with the axes reversed; lengths in
    // bohr unless the counts are negative.
    const auto cube = ReadBothWays<CCube>(dir, "a.cube", CUBE_HEAD + "1 2 3 4 5 6\n7 8\n");
    ASSERT_TRUE(cube.ok) << cube.reader.error_message;
    EXPECT_EQ(cube.reader.grid.v_blocks[0].v_value, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(cube.reader.grid.is_reversed);
    EXPECT_NEAR(cube.xyz[0].x, 0.5 * CCube::BOHR, 1e-12);
    EXPECT_NEAR(cube.reader.cell_xyz[0].x, 2 * CCube::BOHR, 1e-12);
    // The orbital runs fastest.
    const auto orbitals = ReadBothWays<CCube>(
        dir, "o.cube", "c1\nc2\n-1 0 0 0\n-1 1 0 0\n-1 0 1 0\n-2 0 0 1\n8 0 0 0 0\n2\n 3 4\n1 -1 2 -2\n");
    ASSERT_TRUE(orbitals.ok) << orbitals.reader.error_message;
    EXPECT_EQ(orbitals.reader.grid.v_blocks[1].name, "orbital 4");
    EXPECT_EQ(orbitals.reader.grid.v_blocks[1].v_value, (std::vector<float>{-1, -2}));
    EXPECT_EQ(orbitals.reader.grid.FileCounts(), glm::uvec3(1, 1, 2));
}

// The grid's own fast conversion gives what the shared one (CTextFile::ScanDouble) gives, over
// the forms files use: VASP's mantissas below 1, C's exponents, plain decimals, long digit runs.
TEST(Volume, ValuesConvertAsEveryReaderConvertsThem)
{
    const char *const forms[] = {"%.11E", "%.6e", "%g", "%.17g", "%.5f", "%.0f", "%+.3E", "%.19f"};
    uint64_t state = 12345;
    std::string text;
    std::vector<float> expected;
    for (int i = 0; i < 4000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const double v = std::ldexp(double(state >> 11) / 9007199254740992.0 - 0.5, int(state % 90) - 60);
        char field[64];
        std::snprintf(field, sizeof field, forms[i % 8], i % 8 == 0 ? v / std::pow(10.0, std::ceil(std::log10(std::fabs(v))))
                                                                    : v);
        std::string_view rest = field;
        double scanned = 0.0;
        ASSERT_EQ(CTextFile::ScanDouble(rest, scanned), EField::OK) << field;
        expected.push_back(static_cast<float>(scanned * (1.0 / 3.0)));
        text += field;
        text += i % 5 == 4 ? "\n" : " ";
    }
    CGridText reader;
    std::vector<std::vector<float>> values(1);
    ASSERT_TRUE(reader.Read(text, 1, expected.size(), 1.0 / 3.0, values)) << reader.error_reason;
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(values[0][i], expected[i]) << i;
}

TEST(Volume, BadAndCutFilesSayTheirLine)
{
    const struct {
        const char *name;
        std::string text, message;
    } cases[] = {
        {"CHGCAR", POSCAR + "\n2 2 2\n1 2 3 4 5\n6 7\n", "line 14: the file ends after 7 of 8 grid values"},
        {"CHGCAR", POSCAR + "\n2 2 2\n1 2 3 4 5\n6 x7 8\n", "line 13: grid value \"x7\" is not a number"},
        {"CHGCAR", POSCAR + "\n2 2 2\n1 2 3 4 5\n6 7 1e40\n",
         "line 13: grid value \"1e40\" is not finite in single precision"},
        {"CHGCAR", POSCAR + "\n", "line 11: expected the grid counts NX NY NZ, but the file ends"},
        {"CHGCAR", POSCAR + "\n2 0 2\n", "line 11: expected the grid counts NX NY NZ, found \"2 0 2\""},
        {"CHGCAR", POSCAR + "\n1 1 1\n1\n1 1 1\n", "line 14: the file ends after 0 of 1 grid values"},
        {"x.cube", CUBE_HEAD + "1 2 3 4 5 6\n7\n", "line 10: the file ends after 7 of 8 grid values"},
        {"x.cube", CUBE_HEAD.substr(0, CUBE_HEAD.size() - 16), "line 7: expected an atom line, but the file ends"},
        {"x.cube", "c1\nc2\n0 0 0 0\n", "line 3: the atom count must be from 1 to 2147483647 (negative for "
                                        "orbitals), found 0"},
        {"x.cube", "c1\nc2\n1 0 0 0\n2 1 0 0\n0 0 1 0\n", "line 5: the point count must not be 0, found 0"},
        {"x.cube", "c1\nc2\n1 0 0 0\n2 1 0 0\nz 0 1 0\n", "line 5: expected a point count, found \"z\""},
        {"x.cube", "c1\nc2\n-1 0 0 0\n1 1 0 0\n1 0 1 0\n1 0 0 1\n8 0 0 0 0\n0\n",
         "line 8: expected the orbital count (1 to 65536) and indices, found \"\""},
        {"x.cube", "c1\nc2\n1 0 0 0\n1 1 0 0\n1 0 1 0\n1 0 0 0\n", "line 6: the cell vectors span no volume"},
    };
    ScratchFolder dir;
    for (const auto &c : cases) {
        const bool is_cube = std::string(c.name) == "x.cube";
        const std::string message = is_cube ? ReadBothWays<CCube>(dir, c.name, c.text).reader.error_message
                                            : ReadBothWays<CChgcar>(dir, c.name, c.text).reader.error_message;
        EXPECT_EQ(message, c.message) << c.text;
    }
}

// Chosen by name; the structure is edited like any other and saved as another format, never
// over the volumetric file; a supercell, which the grid cannot follow, is refused.
TEST(Volume, TheStructureIsEditedAndSavedElsewhere)
{
    for (const auto &[name, format] : std::vector<std::pair<std::string, int>>{
             {"CHG", INPUT_FILE_TYPE_CHGCAR}, {"CHG_up", INPUT_FILE_TYPE_CHGCAR}, {"parchg.0001", INPUT_FILE_TYPE_CHGCAR},
             {"AECCAR2", INPUT_FILE_TYPE_CHGCAR}, {"ELFCAR", INPUT_FILE_TYPE_CHGCAR}, {"d/o.CUB", INPUT_FILE_TYPE_CUBE},
             {"CHGX", NO_FORMAT}})
        EXPECT_EQ(FormatOfFileName(name), format) << name;
    ScratchFolder dir;
    WriteText(dir / "CHGCAR", POSCAR + "\n1 1 1\n27\n");
    CModel model;
    ASSERT_TRUE(model.ReadStructureFile(dir.Path(), dir / "CHGCAR", INPUT_FILE_TYPE_CHGCAR)) << model.error_message;
    std::string why;
    EXPECT_FALSE(model.MakeSupercell(glm::ivec3(2, 1, 1), why));
    EXPECT_EQ(why, "a structure read with a volumetric grid cannot be made a supercell");
    EXPECT_FALSE(model.SavesInPlace());
    model.MoveAtom(0, glm::dvec3(1.0, 0.5, 0.25));
    EXPECT_FALSE(model.SaveStructureFile(dir.Path(), dir / "CHGCAR", INPUT_FILE_TYPE_CHGCAR));
    EXPECT_EQ(ReadText(dir / "CHGCAR"), POSCAR + "\n1 1 1\n27\n");
    ASSERT_TRUE(model.SaveStructureAs(dir.Path(), dir / "moved.vasp", INPUT_FILE_TYPE_VSP)) << model.error_message;
    const auto back = ReadStructure<CVasp>(dir.Path(), dir / "moved.vasp");
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.xyz[0], glm::dvec3(1.0, 0.5, 0.25));
    // Another file read lets the grid go.
    ASSERT_TRUE(model.ReadStructureFile(dir.Path(), dir / "moved.vasp", INPUT_FILE_TYPE_VSP));
    EXPECT_TRUE(model.chgcar.grid.v_blocks.empty());
}

TEST(Volume, GridOptionsThatCannotBeMetSayWhy)
{
    ScratchFolder dir;
    WriteText(dir / "CHGCAR", POSCAR + "\n1 1 2\n27 -27\n");
    const std::pair<std::string, std::string> cases[] = {
        {"--grid-block 1 " + dir / "CHGCAR", "--grid-block: no block 1 (the file has 1, numbered from 0)"},
        {"--write-mesh " + dir / "m.obj " + dir / "CHGCAR", "--write-mesh needs --isosurface"},
        {"--isosurface -1 " + dir / "CHGCAR", "--isosurface: \"-1\" is not a positive number"},
        {"--isosurface 0.5 " + std::string(KIVOA_TEST_DATA) + "/xyz/water.xyz", "the file holds no volumetric grid"},
    };
    for (const auto &[args, reason] : cases) {
        const std::string command = std::string(KIVOA_BINARY_DIR) + "/kivoa-info " + args + " >/dev/null 2>" + dir / "err";
        EXPECT_NE(std::system(command.c_str()), 0) << args;
        EXPECT_NE(ReadText(dir / "err").find(reason), std::string::npos) << args << ": " << ReadText(dir / "err");
    }
}

// Files written by pymatgen and ASE (python3-pymatgen, python3-ase) read by kivoa-info.
TEST(Volume, FilesOfPymatgenAndAseReadWithTheirElectronsAndSurfaces)
{
    ScratchFolder dir;
    const std::string command = "/usr/bin/python3 -W ignore " + std::string(KIVOA_SOURCE_DIR) +
                                "/tests/oracles/volume_files.py " + KIVOA_BINARY_DIR + "/kivoa-info " + dir.Path();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}
