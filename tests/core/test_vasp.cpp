#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cvasp.h"
#include "elements.h"
#include "scratch_folder.h"
#include "structure_read.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;
constexpr uint32_t MG = 11, O = 7, SI = 13, GA = 30, AS = 32, CU = 28, GE = 31;

using SVaspRead = SRead<CVasp>;

SVaspRead ReadVasp(const std::string &dir, const std::string &path)
{
    return ReadStructure<CVasp>(dir, path);
}

// A file of the test data's vasp folder, which is also where its POTCAR would be.
SVaspRead ReadData(const std::string &name)
{
    return ReadVasp(DATA + "/vasp", DATA + "/vasp/" + name);
}

SVaspRead ReadVaspText(const ScratchFolder &dir, const std::string &text)
{
    return ReadStructureText<CVasp>(dir, "POSCAR", text);
}

std::string Flags(const Dyn &d) { return std::string(d.d, 3); }

// Saves what `r` holds to dir/out and splits the file written into lines.
bool SaveLines(SVaspRead &r, const ScratchFolder &dir, std::vector<std::string> &lines)
{
    if (!r.reader.SaveFile("", dir / "out", r.xyz, r.index))
        return false;
    lines = Lines(ReadText(dir / "out"));
    return true;
}

const std::string HEADER = "c\n1.0\n4 0 0\n0 4 0\n0 0 4\nSi\n1\n";

} // namespace

TEST(Vasp, DirectCoordinatesAndTheSymbolLine)
{
    const SVaspRead r = ReadData("silicon.vasp");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_TRUE(r.reader.is_extended);
    EXPECT_TRUE(r.reader.is_direct);
    EXPECT_FALSE(r.reader.is_dynamics);
    EXPECT_EQ(r.reader.v_table_index, (std::vector<uint32_t>{SI, O}));
    EXPECT_EQ(r.reader.v_table_atoms, (std::vector<uint32_t>{6, 2}));
    EXPECT_EQ(r.index, (std::vector<uint32_t>{SI, SI, SI, SI, SI, SI, O, O}));
    EXPECT_EQ(r.reader.v_atom_type, (std::vector<uint32_t>{0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(r.reader.v_fract_xyz[7], glm::dvec3(0.7512345678901234, 0.75, 0.25));
    EXPECT_EQ(r.xyz[1], glm::dvec3(0.0, 2.715, 2.715));
    EXPECT_EQ(r.reader.cell_xyz, glm::dmat3(5.43, 0, 0, 0, 5.43, 0, 0, 0, 5.43));
    ASSERT_EQ(r.reader.header_info.size(), 9u);
    EXPECT_EQ(r.reader.header_lines, 9u);
    EXPECT_EQ(r.reader.header_info[8], "  0.0000000000000000  0.0000000000000000  0.0000000000000000");
}

TEST(Vasp, ScaleFactorAppliesToCartesianPositionsToo)
{
    const SVaspRead r = ReadData("scaled_cartesian.vasp");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_FALSE(r.reader.is_direct);
    EXPECT_EQ(r.reader.cell_xyz[0], glm::dvec3(3.0, 0.0, 0.0));
    EXPECT_EQ(r.xyz[0], glm::dvec3(0.5, 1.0, 1.5));
    EXPECT_EQ(r.index[0], CU);
}

TEST(Vasp, SelectiveDynamicsFlagsAndTabSeparatedCounts)
{
    const SVaspRead r = ReadData("dynamics.vasp");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_TRUE(r.reader.is_dynamics);
    EXPECT_EQ(r.reader.v_table_atoms, (std::vector<uint32_t>{2, 2}));
    ASSERT_EQ(r.reader.v_dynamics.size(), 4u);
    EXPECT_EQ(Flags(r.reader.v_dynamics[0]), "TTT");
    EXPECT_EQ(Flags(r.reader.v_dynamics[2]), "TTF");
    EXPECT_EQ(Flags(r.reader.v_dynamics[3]), "FTF");
    EXPECT_EQ(r.index, (std::vector<uint32_t>{MG, MG, O, O}));
}

TEST(Vasp, SpeciesFromPotcarWhenTheSymbolLineIsMissing)
{
    const SVaspRead r = ReadVasp(DATA + "/vasp/vasp4", DATA + "/vasp/vasp4/POSCAR");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_FALSE(r.reader.is_extended);
    EXPECT_EQ(r.index, (std::vector<uint32_t>{GA, AS}));

    ScratchFolder dir;
    WriteText(dir / "POTCAR", "   VRHFIN =Ga: d s p\n" + std::string(5000, 'x') + "\n");
    const SVaspRead mismatch = ReadVaspText(dir, ReadText(DATA + "/vasp/vasp4/POSCAR"));
    EXPECT_FALSE(mismatch.ok);
    EXPECT_EQ(mismatch.reader.error_message,
              "line 6: expected one atom count per species (1 species in POTCAR), found 2");
}

TEST(Vasp, CoordinateModeFromTheFirstLetterAfterSpaces)
{
    ScratchFolder dir;
    const struct {
        const char *mode;
        bool direct;
    } cases[] = {{"Direct", true}, {"  direct", true}, {"Cartesian", false}, {"K", false},
                 {" cart", false}};
    for (const auto &c : cases) {
        const SVaspRead r = ReadVaspText(dir, HEADER + c.mode + "\n0.5 0.5 0.5\n");
        ASSERT_TRUE(r.ok) << c.mode << ": " << r.reader.error_message;
        EXPECT_EQ(r.reader.is_direct, c.direct) << c.mode;
        EXPECT_EQ(r.xyz[0], glm::dvec3(c.direct ? 2.0 : 0.5)) << c.mode;
    }
    const SVaspRead dyn = ReadVaspText(dir, HEADER + " sel\nD\n0 0 0 F F T species label\n");
    ASSERT_TRUE(dyn.ok);
    EXPECT_EQ(Flags(dyn.reader.v_dynamics[0]), "FFT");
}

TEST(Vasp, WindowsLineEndsAndAMissingFinalLineFeed)
{
    ScratchFolder dir;
    const SVaspRead unix = ReadData("dynamics.vasp");
    std::string crlf;
    for (const std::string &line : Lines(ReadText(DATA + "/vasp/dynamics.vasp")))
        crlf += line + "\r\n";
    crlf.resize(crlf.size() - 2);
    const SVaspRead r = ReadVaspText(dir, crlf);
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.xyz, unix.xyz);
    EXPECT_EQ(Flags(r.reader.v_dynamics[3]), "FTF");
}

TEST(Vasp, MovedAtomsKeepTheLayoutAndPrecisionOfTheirLine)
{
    ScratchFolder dir;
    SVaspRead r = ReadData("dynamics.vasp");
    ASSERT_TRUE(r.ok);
    r.xyz[3] = glm::dvec3(0.0, 2.1, 1.05);
    r.xyz[1] = glm::dvec3(4.2e14, -4.2e14, 0.0);
    std::vector<std::string> lines;
    ASSERT_TRUE(SaveLines(r, dir, lines)) << r.reader.error_message;
    std::vector<std::string> expected = Lines(ReadText(DATA + "/vasp/dynamics.vasp"));
    expected[12] = "0.0000 0.5000 0.2500 F T F";
    expected[10] = "100000000000000.0000 -100000000000000.0000 0.0000 F F F";
    EXPECT_EQ(lines, expected);

    SVaspRead si = ReadData("silicon.vasp");
    ASSERT_TRUE(si.ok);
    si.xyz[0] = glm::dvec3(-0.543, 0.0, 0.0);
    ASSERT_TRUE(SaveLines(si, dir, lines));
    EXPECT_EQ(lines[8], " -0.1000000000000000  0.0000000000000000  0.0000000000000000");
}

TEST(Vasp, VolumeScaleFactor)
{
    const SVaspRead r = ReadData("volume_scale.vasp");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.reader.cell_xyz, glm::dmat3(10, 0, 0, 0, 10, 0, 0, 0, 10));
}

TEST(Vasp, Vasp4SpeciesFromTheCommentLineWhenItNamesOnePerCount)
{
    ScratchFolder dir;
    const std::string rest = "1.0\n4 0 0\n0 4 0\n0 0 4\n1 1\nDirect\n0 0 0\n0.5 0.5 0.5\n";
    const SVaspRead named = ReadVaspText(dir, "Fe O antiferromagnet\n" + rest);
    ASSERT_TRUE(named.ok) << named.reader.error_message;
    EXPECT_EQ(named.index, (std::vector<uint32_t>{25, O}));
    for (const char *comment : {"Fe bulk", "fe o", "no symbols"}) {
        const SVaspRead r = ReadVaspText(dir, comment + ("\n" + rest));
        EXPECT_FALSE(r.ok) << comment;
        EXPECT_EQ(r.reader.error_message.rfind("line 6: no element symbols", 0), 0u) << comment;
    }
}

TEST(Vasp, WriterRefusesFlagsOutOfStepWithTheAtoms)
{
    ScratchFolder dir;
    SVaspRead r = ReadData("dynamics.vasp");
    ASSERT_TRUE(r.ok);
    r.xyz.pop_back();
    r.index.pop_back();
    WriteText(dir / "keep", "untouched");
    EXPECT_FALSE(r.reader.SaveFile("", dir / "keep", r.xyz, r.index));
    EXPECT_EQ(r.reader.error_message, "the atoms are out of step with the file they were read from");
    EXPECT_EQ(ReadText(dir / "keep"), "untouched");

    CVasp fresh;
    EXPECT_FALSE(fresh.SaveFile("", dir / "keep", r.xyz, r.index));
    EXPECT_EQ(ReadText(dir / "keep"), "untouched");
}
