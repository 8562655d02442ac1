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

TEST(Vasp, WriterLayout)
{
    ScratchFolder dir;
    SVaspRead r = ReadData("dynamics.vasp");
    ASSERT_TRUE(r.ok);
    r.xyz[3] = glm::dvec3(0.0, 2.1, 1.05);
    r.xyz[1] = glm::dvec3(4.2e14, -4.2e14, 0.0);
    std::vector<std::string> lines;
    ASSERT_TRUE(SaveLines(r, dir, lines)) << r.reader.error_message;
    const std::vector<std::string> original = Lines(ReadText(DATA + "/vasp/dynamics.vasp"));
    ASSERT_EQ(lines.size(), 13u);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(lines[k], original[k]);
    EXPECT_EQ(lines[5], "Mg O");
    EXPECT_EQ(lines[6], "2 2");
    EXPECT_EQ(lines[7], "Selective Dynamics");
    EXPECT_EQ(lines[8], "Direct coordinates");
    EXPECT_EQ(lines[9], "   0.000000000000   0.000000000000   0.000000000000 T T T");
    EXPECT_EQ(lines[12], "   0.000000000000   0.500000000000   0.250000000000 F T F");
    std::istringstream big(lines[10]);
    double u = 0, v = 0, w = 0;
    big >> u >> v >> w;
    EXPECT_DOUBLE_EQ(u, 1e14);
    EXPECT_DOUBLE_EQ(v, -1e14);
}

TEST(Vasp, SavedFileReadsBackToTheSameAtomsCellAndFlags)
{
    ScratchFolder dir;
    const struct {
        const char *folder, *name;
    } files[] = {{"vasp", "silicon.vasp"}, {"vasp", "scaled_cartesian.vasp"},
                 {"vasp", "dynamics.vasp"}, {"vasp/vasp4", "POSCAR"}};
    for (const auto &f : files) {
        const std::string in = DATA + "/" + f.folder;
        SVaspRead first = ReadVasp(in, in + "/" + f.name);
        ASSERT_TRUE(first.ok) << f.name;
        ASSERT_TRUE(first.reader.SaveFile("", dir / "out", first.xyz, first.index));
        SVaspRead again = ReadVasp(dir.Path(), dir / "out");
        ASSERT_TRUE(again.ok) << f.name << ": " << again.reader.error_message;
        EXPECT_TRUE(again.reader.is_extended) << f.name;
        EXPECT_EQ(again.index, first.index) << f.name;
        EXPECT_EQ(again.reader.cell_xyz, first.reader.cell_xyz) << f.name;
        EXPECT_EQ(again.reader.is_dynamics, first.reader.is_dynamics) << f.name;
        EXPECT_EQ(again.reader.v_dynamics.size(), first.reader.v_dynamics.size()) << f.name;
        for (size_t i = 0; i < first.xyz.size(); ++i)
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(again.xyz[i][k], first.xyz[i][k], 1e-11) << f.name << " atom " << i;
        // Written once more, the file no longer changes.
        ASSERT_TRUE(again.reader.SaveFile("", dir / "out2", again.xyz, again.index));
        EXPECT_EQ(ReadText(dir / "out2"), ReadText(dir / "out")) << f.name;
    }
}

TEST(Vasp, UnmovedAtomsKeepTheFractionalCoordinatesRead)
{
    ScratchFolder dir;
    SVaspRead r = ReadData("silicon.vasp");
    ASSERT_TRUE(r.ok);
    r.xyz[0] = glm::dvec3(-0.543, 0.0, 0.0);
    std::vector<std::string> lines;
    ASSERT_TRUE(SaveLines(r, dir, lines));
    EXPECT_EQ(lines[8], "  -0.100000000000   0.000000000000   0.000000000000");
    EXPECT_EQ(lines[15], "   0.751234567890   0.750000000000   0.250000000000");
}

TEST(Vasp, DeletionsAndElementChangesRebuildTheSpecies)
{
    ScratchFolder dir;
    SVaspRead r = ReadData("dynamics.vasp");
    ASSERT_TRUE(r.ok);
    // Delete the first Mg as the model does: the reader's tables first, then the atom.
    r.reader.DeleteAtom(0);
    r.xyz.erase(r.xyz.begin());
    r.index.erase(r.index.begin());
    r.index[2] = GE; // the last O becomes a new species
    std::vector<std::string> lines;
    ASSERT_TRUE(SaveLines(r, dir, lines));
    EXPECT_EQ(lines[5], "Mg O Ge");
    EXPECT_EQ(lines[6], "1 1 1");
    EXPECT_EQ(lines[11], "   0.000000000000   0.500000000000   0.000000000000 F T F");

    r.index[0] = O; // Mg is gone; its atom joins the O block, in model order
    ASSERT_TRUE(SaveLines(r, dir, lines));
    EXPECT_EQ(lines[5], "O Ge");
    EXPECT_EQ(lines[6], "2 1");
    EXPECT_EQ(lines[9], "   0.500000000000   0.500000000000   0.000000000000 F F F");
    EXPECT_EQ(lines[10], "   0.500000000000   0.000000000000   0.000000000000 T T F");
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
    EXPECT_EQ(r.reader.error_message, "the selective-dynamics flags are out of step with the atoms");
    EXPECT_EQ(ReadText(dir / "keep"), "untouched");

    CVasp fresh;
    EXPECT_FALSE(fresh.SaveFile("", dir / "keep", r.xyz, r.index));
    EXPECT_EQ(ReadText(dir / "keep"), "untouched");
}
