#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "cmodel.h"
#include "scratch_folder.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

bool Load(CModel &m, const std::string &relative, int fmt)
{
    const std::string path = DATA + "/" + relative;
    return m.ReadStructureFile(path.substr(0, path.rfind('/')), path, fmt);
}

// The positions a file holds, read by a fresh model.
std::vector<glm::dvec3> Saved(const std::string &path, int fmt)
{
    CModel m;
    EXPECT_TRUE(m.ReadStructureFile(path.substr(0, path.rfind('/')), path, fmt)) << m.error_message;
    return m.v_real_xyz;
}

} // namespace

TEST(Pipeline, LoadTakesOverAtomsCellAndCentresTheDisplayCopy)
{
    CModel m;
    ASSERT_TRUE(Load(m, "vasp/silicon.vasp", INPUT_FILE_TYPE_VSP)) << m.error_message;
    EXPECT_EQ(m.file_format, static_cast<int>(INPUT_FILE_TYPE_VSP));
    EXPECT_TRUE(m.is_periodic);
    EXPECT_EQ(m.m_cell_box, m.vasp.cell_xyz);
    EXPECT_EQ(m.v_real_xyz.size(), 8u);
    EXPECT_EQ(m.v_float_raw_xyz.size(), 8u);
    EXPECT_EQ(m.v_table_atoms, (std::vector<uint32_t>{6, 2}));
    for (size_t i = 0; i < m.v_real_xyz.size(); ++i)
        EXPECT_EQ(m.v_float_raw_xyz[i], glm::vec3(m.v_real_xyz[i]) - m.center_xyz);
    EXPECT_EQ(m.v_file_origin, glm::dvec3(m.center_xyz));
    EXPECT_TRUE(m.error_message.empty());
}

TEST(Pipeline, AFailedReadLeavesEverythingAsItWas)
{
    CModel m;
    ASSERT_TRUE(Load(m, "xyz/water.xyz", INPUT_FILE_TYPE_XYZ));
    const auto atoms = m.v_real_xyz;
    const auto drawn = m.v_float_raw_xyz;
    const auto bonds = m.i_number_of_bonds;
    const auto cell = m.m_cell_box;
    EXPECT_FALSE(Load(m, "vasp/bad/flags_missing.vasp", INPUT_FILE_TYPE_VSP));
    EXPECT_EQ(m.error_message, "line 11: expected 3 selective-dynamics flags, found 1");
    EXPECT_FALSE(Load(m, "xyz/water.xyz", INPUT_FILE_TYPE_GAU));
    EXPECT_EQ(m.error_message, "there is no reader for format 3");
    EXPECT_FALSE(Load(m, "pdb/missing.pdb", INPUT_FILE_TYPE_PDB));
    EXPECT_EQ(m.file_format, static_cast<int>(INPUT_FILE_TYPE_XYZ));
    EXPECT_FALSE(m.is_periodic);
    EXPECT_EQ(m.v_real_xyz, atoms);
    EXPECT_EQ(m.v_float_raw_xyz, drawn);
    EXPECT_EQ(m.i_number_of_bonds, bonds);
    EXPECT_EQ(m.m_cell_box, cell);
}

TEST(Pipeline, SavingKeepsUneditedAtomsInTheFileFrameAtFullPrecision)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(Load(m, "xyz/periodic.xyz", INPUT_FILE_TYPE_XYZ));
    const std::vector<glm::dvec3> read = m.v_real_xyz;
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "out.xyz", INPUT_FILE_TYPE_XYZ))
        << m.error_message;
    EXPECT_TRUE(m.IsUpdated());
    EXPECT_EQ(Saved(dir / "out.xyz", INPUT_FILE_TYPE_XYZ), read);
}

TEST(Pipeline, AMovedAtomIsSavedWhereItWasMovedToInTheFileFrame)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(Load(m, "xyz/water.xyz", INPUT_FILE_TYPE_XYZ));
    ASSERT_EQ(m.i_number_of_bonds, 2u);
    const std::vector<glm::dvec3> read = m.v_real_xyz;
    glm::vec3 moved = m.v_float_raw_xyz[2] + glm::vec3(0.0f, 0.0f, -5.0f);
    m.SetNewCoordinates(2, moved);
    EXPECT_FALSE(m.IsUpdated());
    EXPECT_EQ(m.v_float_raw_xyz[2], moved);
    // The bonds follow the moved atom.
    EXPECT_EQ(m.i_number_of_bonds, 1u);
    ASSERT_TRUE(m.SaveStructureFile(dir / "out.xyz", dir / "out.xyz", INPUT_FILE_TYPE_XYZ));
    const std::vector<glm::dvec3> saved = Saved(dir / "out.xyz", INPUT_FILE_TYPE_XYZ);
    EXPECT_EQ(saved[0], read[0]);
    EXPECT_EQ(saved[1], read[1]);
    EXPECT_NEAR(saved[2].x, read[2].x, 1e-6);
    EXPECT_NEAR(saved[2].y, read[2].y, 1e-6);
    EXPECT_NEAR(saved[2].z, read[2].z - 5.0, 1e-6);
}

TEST(Pipeline, CentringMakesTheSavedStructureCentred)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(Load(m, "pdb/two_chains.pdb", INPUT_FILE_TYPE_PDB));
    m.CenterZero();
    EXPECT_TRUE(m.is_centered);
    EXPECT_FALSE(m.IsUpdated());
    EXPECT_EQ(m.center_xyz, glm::vec3(0.0f));
    const std::vector<glm::dvec3> centred = m.v_real_xyz;
    m.CenterZero();
    EXPECT_FALSE(m.IsUpdated());
    EXPECT_EQ(m.v_real_xyz, centred);

    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "centred.pdb", INPUT_FILE_TYPE_PDB));
    const std::vector<glm::dvec3> saved = Saved(dir / "centred.pdb", INPUT_FILE_TYPE_PDB);
    glm::dvec3 lo = saved[0], hi = saved[0];
    for (const glm::dvec3 &p : saved) {
        lo = glm::min(lo, p);
        hi = glm::max(hi, p);
    }
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(lo[k] + hi[k], 0.0, 0.001);

    // A move after centring is saved where the display shows it.
    glm::vec3 moved(1.0f, 2.0f, 3.0f);
    m.SetNewCoordinates(0, moved);
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "moved.pdb", INPUT_FILE_TYPE_PDB));
    const glm::dvec3 first = Saved(dir / "moved.pdb", INPUT_FILE_TYPE_PDB)[0];
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(first[k], moved[k], 0.001);
}

TEST(Pipeline, AFailedSaveSaysSoAndKeepsSaveEnabled)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(Load(m, "xyz/water.xyz", INPUT_FILE_TYPE_XYZ));
    m.DeleteAtomIndex(0);
    ASSERT_FALSE(m.IsUpdated());
    ASSERT_EQ(mkdir((dir / "taken").c_str(), 0700), 0);
    EXPECT_FALSE(m.SaveStructureFile(dir.Path(), dir / "taken", INPUT_FILE_TYPE_XYZ));
    EXPECT_FALSE(m.IsUpdated());
    EXPECT_EQ(m.error_message.rfind("cannot write " + dir / "taken" + ": ", 0), 0u);

    WriteText(dir / "keep.xyz", "untouched");
    m.DeleteAtomIndex(0);
    m.DeleteAtomIndex(0);
    EXPECT_FALSE(m.SaveStructureFile(dir.Path(), dir / "keep.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(m.error_message, "the structure has no atoms to save");
    EXPECT_EQ(ReadText(dir / "keep.xyz"), "untouched");

    CModel empty;
    EXPECT_FALSE(empty.SaveStructureFile(dir.Path(), dir / "keep.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(empty.error_message, "no structure has been read that could be saved");
}

TEST(Pipeline, TheFormatReadPicksTheWriter)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(Load(m, "vasp/dynamics.vasp", INPUT_FILE_TYPE_VSP));
    m.DeleteAtomIndex(1);
    // The reader knows which atoms read the model's atoms are.
    EXPECT_EQ(m.vasp.v_atom_origin, (std::vector<uint32_t>{0, 2, 3}));
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "out", INPUT_FILE_TYPE_XYZ))
        << m.error_message;
    CModel again;
    ASSERT_TRUE(again.ReadStructureFile(dir.Path(), dir / "out", INPUT_FILE_TYPE_VSP))
        << again.error_message;
    ASSERT_EQ(again.v_real_xyz.size(), 3u);
    EXPECT_EQ(again.v_real_xyz[1], glm::dvec3(2.1, 0.0, 0.0));
    EXPECT_EQ(std::string(again.vasp.v_dynamics[0].d, 3), "TTT");
    EXPECT_EQ(std::string(again.vasp.v_dynamics[1].d, 3), "TTF");
    EXPECT_EQ(std::string(again.vasp.v_dynamics[2].d, 3), "FTF");
}
