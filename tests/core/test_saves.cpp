// Edits that must survive a save exactly as the next reader sees them: periodicity along some
// axes only, an atomic-number column beside the symbols, moved atoms in few-decimal fields of a
// long cell, and files that begin with a byte order mark.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cmodel.h"
#include "scratch_folder.h"
#include "structure_read.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;
constexpr uint32_t C = 5, O = 7;

bool Load(CModel &m, const ScratchFolder &dir, const std::string &name, const std::string &text, int fmt)
{
    WriteText(dir / name, text);
    return m.ReadStructureFile(dir.Path(), dir / name, fmt);
}

// A pair of carbons 0.7 apart across the x faces and a pair 0.7 apart across the z faces of a
// 3 x 10 x 3 cell.
std::string Slab(const char *pbc)
{
    return std::string("4\nLattice=\"3 0 0 0 10 0 0 0 3\" Properties=species:S:1:pos:R:3 pbc=\"") + pbc +
           "\"\nC 0.3 1 1.5\nC 2.6 1 1.5\nC 1.5 5 0.3\nC 1.5 5 2.6\n";
}

} // namespace

// Only the axes marked T repeat: bonds, half-bonds and nearest-image measurements take images
// along those alone, and the box is still the cell.
TEST(Saves, PbcMarksTheAxesThatRepeat)
{
    ScratchFolder dir;
    const struct {
        const char *pbc;
        glm::bvec3 axes;
        uint32_t bonds;
    } cases[] = {{"T T F", {true, true, false}, 1}, {"T T T", {true, true, true}, 2},
                 {"F F T", {false, false, true}, 1}, {"T", {true, true, true}, 2}};
    for (const auto &c : cases) {
        CModel m;
        ASSERT_TRUE(Load(m, dir, "slab.xyz", Slab(c.pbc), INPUT_FILE_TYPE_XYZ)) << m.error_message;
        EXPECT_TRUE(m.is_periodic) << c.pbc;
        EXPECT_EQ(m.is_periodic_axis, c.axes) << c.pbc;
        EXPECT_EQ(m.m_cell_box, glm::dmat3(3, 0, 0, 0, 10, 0, 0, 0, 3)) << c.pbc;
        EXPECT_EQ(m.i_number_of_bonds, 0u) << c.pbc;
        EXPECT_EQ(m.i_number_of_bonds_pbc, c.bonds) << c.pbc;
        const CMeasure measure = m.Measurer();
        EXPECT_NEAR(measure.Distance(m.v_real_xyz[0], m.v_real_xyz[1]), c.axes.x ? 0.7 : 2.3, 1e-9) << c.pbc;
        EXPECT_NEAR(measure.Distance(m.v_real_xyz[2], m.v_real_xyz[3]), c.axes.z ? 0.7 : 2.3, 1e-9) << c.pbc;
        // Each half-bond ends on a face of a repeating axis.
        std::vector<glm::vec3> from, to;
        m.HalfBonds(from, to);
        ASSERT_EQ(to.size(), 2 * c.bonds);
        for (size_t k = 0; k < to.size(); ++k) {
            const glm::vec3 end = to[k] - m.CellCorner();
            const bool on_x = std::fabs(end.x) < 1e-4f || std::fabs(end.x - 3.0f) < 1e-4f;
            const bool on_z = std::fabs(end.z) < 1e-4f || std::fabs(end.z - 3.0f) < 1e-4f;
            EXPECT_TRUE((on_x && c.axes.x) || (on_z && c.axes.z)) << c.pbc << " half-bond " << k;
        }
    }
    // The plain writer says so too, so that a file converted to XYZ keeps it.
    CXyz writer;
    writer.is_periodic = true;
    writer.is_periodic_axis = glm::bvec3(true, true, false);
    writer.cell_xyz = glm::dmat3(3, 0, 0, 0, 10, 0, 0, 0, 3);
    std::vector<glm::dvec3> xyz{{0.3, 1, 1.5}, {2.6, 1, 1.5}};
    std::vector<uint32_t> index{C, C};
    ASSERT_TRUE(writer.SaveFile(dir.Path(), dir / "plain.xyz", xyz, index)) << writer.error_message;
    CModel back;
    ASSERT_TRUE(back.ReadStructureFile(dir.Path(), dir / "plain.xyz", INPUT_FILE_TYPE_XYZ)) << back.error_message;
    EXPECT_EQ(back.is_periodic_axis, glm::bvec3(true, true, false));
    EXPECT_EQ(back.i_number_of_bonds_pbc, 1u);
}

// ASE takes the element from a Z column when there is one, so it must follow a re-type.
TEST(Saves, AnAtomicNumberColumnFollowsARetype)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(Load(m, dir, "z.xyz",
                     "2\nProperties=species:S:1:pos:R:3:Z:I:1 pbc=\"F F F\"\n"
                     "C 0.0 0.0 0.0 6\nC 1.2 0.0 0.0 6\n",
                     INPUT_FILE_TYPE_XYZ));
    m.SetElement(1, O);
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "out.xyz", INPUT_FILE_TYPE_XYZ)) << m.error_message;
    EXPECT_EQ(Lines(ReadText(dir / "out.xyz"))[3], "O 1.2 0.0 0.0 8");
    const std::string ase = "/usr/bin/python3 -c \"import ase.io,sys; a = ase.io.read(sys.argv[1]); "
                            "sys.exit(a.get_chemical_symbols() != ['C', 'O'])\" " + dir / "out.xyz";
    EXPECT_EQ(std::system(ase.c_str()), 0) << ase;
    EXPECT_EQ(m.v_atom_index[0], C);
}

// Four decimals of a 30 angstrom axis are 1.5e-3 angstrom apart: a moved atom gets the decimals
// it needs to read back where it was put.
TEST(Saves, AMovedAtomGetsTheDecimalsItNeeds)
{
    ScratchFolder dir;
    std::string poscar = "slab\n1.0\n5 0 0\n0 5 0\n0 0 30\nSi\n4\nDirect\n";
    for (int i = 0; i < 4; ++i)
        poscar += "  0.2500  0.2500  0." + std::to_string(1000 + 2000 * i) + "\n";
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        CModel m;
        ASSERT_TRUE(Load(m, dir, "POSCAR", poscar, INPUT_FILE_TYPE_VSP)) << m.error_message;
        const glm::dvec3 p = m.m_cell_box * glm::dvec3(u(rng), u(rng), u(rng));
        m.MoveAtom(trial % 4, p);
        ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "out", INPUT_FILE_TYPE_VSP)) << trial << ": " << m.error_message;
        CModel back;
        ASSERT_TRUE(back.ReadStructureFile(dir.Path(), dir / "out", INPUT_FILE_TYPE_VSP));
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(back.v_real_xyz[trial % 4][k], p[k], CStructureFile::MOVED_ERROR);
        // The file's own decimals stay the least: an untouched line keeps its four.
        EXPECT_EQ(Lines(ReadText(dir / "out"))[8 + (trial + 1) % 4], Lines(poscar)[8 + (trial + 1) % 4]);
    }
}

// A byte order mark before the first line is no part of it, and a save keeps it.
TEST(Saves, AByteOrderMarkIsSkippedInEveryFormat)
{
    ScratchFolder dir;
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char *name;
        std::string text;
        int fmt;
    } cases[] = {{"w.xyz", ReadText(DATA + "/xyz/water.xyz"), INPUT_FILE_TYPE_XYZ},
                 {"t.pdb", ReadText(DATA + "/pdb/two_chains.pdb"), INPUT_FILE_TYPE_PDB},
                 {"POSCAR", ReadText(DATA + "/vasp/silicon.vasp"), INPUT_FILE_TYPE_VSP}};
    for (const auto &c : cases) {
        CModel plain, marked;
        ASSERT_TRUE(Load(plain, dir, c.name, c.text, c.fmt)) << c.name;
        ASSERT_TRUE(Load(marked, dir, c.name, bom + c.text, c.fmt)) << c.name << ": " << marked.error_message;
        EXPECT_EQ(marked.v_real_xyz, plain.v_real_xyz) << c.name;
        marked.DeleteAtomIndex(0);
        plain.DeleteAtomIndex(0);
        ASSERT_TRUE(plain.SaveStructureFile(dir.Path(), dir / "plain", c.fmt)) << plain.error_message;
        ASSERT_TRUE(marked.SaveStructureFile(dir.Path(), dir / "marked", c.fmt)) << marked.error_message;
        EXPECT_EQ(ReadText(dir / "marked"), bom + ReadText(dir / "plain")) << c.name;
    }
}
