// The edit journal answers every save: undoing every edit of a file leaves nothing for a save to
// change, whatever the file kind and whatever the edits crossed on the way. (The crossings of file
// kinds, edits and saves read back by outside readers are tests/oracles/edit_matrix.py.)

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cmodel.h"
#include "elements.h"
#include "scratch_folder.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

const char *const XDATCAR = "Si C\n 1\n 5.43 0 0\n 0 5.43 0\n 0 0 5.43\n Si C\n 2 1\n"
                            "Direct configuration=     1\n 0 0 0.1\n 0.25 0.25 0.25\n 0.5 0.5 0\n"
                            "Direct configuration=     2\n 0 0 0.2\n 0.25 0.25 0.25\n 0.5 0.5 0\n"
                            "Direct configuration=     3\n 0.1 0.1\n";
const char *const MODELS = "CRYST1   10.000   10.000   10.000  90.00  90.00  90.00 P 1           1\n"
                           "LINK         N   ALA A   1                ZN    ZN A 101     1555   1555  2.10\n"
                           "MODEL        1\n"
                           "ATOM      1  N   ALA A   1       1.000   1.000   1.000  1.00  0.00           N\n"
                           "HETATM    2 ZN    ZN A 101       1.000   3.100   1.000  1.00  0.00          ZN\n"
                           "ENDMDL\nMODEL        2\n"
                           "ATOM      1  N   ALA A   1       1.100   1.000   1.000  1.00  0.00           N\n"
                           "HETATM    2 ZN    ZN A 101       1.100   3.100   1.000  1.00  0.00          ZN\n"
                           "ENDMDL\nEND\n";

using Edit = std::function<bool(CModel &)>;

bool Supercell(CModel &m)
{
    std::string why;
    return m.MakeSupercell({2, 1, 2}, why);
}

bool AddAtom(CModel &m)
{
    std::string why;
    return m.AddAtom(ElementIndexOfSymbol("O"), {0.5, 0.25, 1.0}, why);
}

} // namespace

// Rows: file kinds, single structures and files of frames; every edit the kind allows is made in
// turn (on the second frame where there are frames), then all are undone and the file saved under
// a new name: the bytes are those read.
TEST(Journal, UndoingEveryEditSavesTheFileAsRead)
{
    ScratchFolder dir;
    WriteText(dir / "XDATCAR", XDATCAR);
    WriteText(dir / "models.pdb", MODELS);
    const struct {
        std::string path;
        int format;
    } rows[] = {
        {DATA + "/xyz/water.xyz", INPUT_FILE_TYPE_XYZ},        {DATA + "/xyz/periodic.xyz", INPUT_FILE_TYPE_XYZ},
        {DATA + "/xyz/two_frames.xyz", INPUT_FILE_TYPE_XYZ},   {DATA + "/vasp/dynamics.vasp", INPUT_FILE_TYPE_VSP},
        {DATA + "/vasp/vasp4/POSCAR", INPUT_FILE_TYPE_VSP},    {DATA + "/pdb/standard_columns.pdb", INPUT_FILE_TYPE_PDB},
        {DATA + "/pdb/hexagonal.pdb", INPUT_FILE_TYPE_PDB},    {dir / "models.pdb", INPUT_FILE_TYPE_PDB},
        {dir / "XDATCAR", INPUT_FILE_TYPE_XDATCAR},
    };
    const std::vector<Edit> edits = {
        [](CModel &m) { return m.FrameCount() < 2 || m.ShowFrame(1); },
        [](CModel &m) {
            m.MoveAtom(0, m.v_real_xyz[0] + glm::dvec3(0.5, -0.25, 2.0));
            return true;
        },
        [](CModel &m) {
            m.SetElement(1, ElementIndexOfSymbol("Ge"));
            return true;
        },
        [](CModel &m) {
            m.DeleteAtoms({0});
            return true;
        },
        AddAtom,
        Supercell,
        [](CModel &m) { return m.WrapIntoCell(); },
    };
    for (const auto &row : rows) {
        CModel m;
        const std::string folder = std::filesystem::path(row.path).parent_path();
        ASSERT_TRUE(m.ReadStructureFile(folder, row.path, row.format)) << row.path << ": " << m.error_message;
        size_t made = 0;
        for (const Edit &edit : edits)
            made += edit(m) ? 1 : 0;
        EXPECT_GT(made, 2u) << row.path;
        while (m.CanUndo())
            ASSERT_TRUE(m.Undo()) << row.path << ": " << m.error_message;
        const std::string out = dir / "saved";
        ASSERT_TRUE(m.SaveStructureFile(dir.Path(), out, row.format)) << row.path << ": " << m.error_message;
        EXPECT_EQ(ReadText(out), ReadText(row.path)) << row.path;
    }
}

// A file of frames stays whole: a failed open keeps its frames shown, and the frame shown alone
// is written onto the file of the frames only when asked to drop the others.
TEST(Journal, AFileOfFramesIsNeverCutToTheFrameShownUnasked)
{
    ScratchFolder dir;
    WriteText(dir / "run.xyz", ReadText(DATA + "/xyz/two_frames.xyz"));
    WriteText(dir / "bad.xyz", "2\n\nH 0 0 0\n");
    CModel m;
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "run.xyz", INPUT_FILE_TYPE_XYZ)) << m.error_message;
    ASSERT_TRUE(m.ShowFrame(1));
    EXPECT_FALSE(m.ReadStructureFile(dir.Path(), dir / "bad.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(m.FrameCount(), 2u);
    EXPECT_EQ(m.FrameShown(), 1u);
    EXPECT_FALSE(m.SaveStructureFile(dir.Path(), dir / "run.xyz", INPUT_FILE_TYPE_XYZ, false, false));
    EXPECT_NE(m.error_message.find("would lose the others"), std::string::npos) << m.error_message;
    EXPECT_EQ(ReadText(dir / "run.xyz"), ReadText(DATA + "/xyz/two_frames.xyz"));
    EXPECT_TRUE(m.SaveStructureFile(dir.Path(), dir / "frame.xyz", INPUT_FILE_TYPE_XYZ, false, false));
    EXPECT_TRUE(m.SaveStructureFile(dir.Path(), dir / "run.xyz", INPUT_FILE_TYPE_XYZ, false, false, true));
    EXPECT_EQ(ReadText(dir / "run.xyz"), ReadText(dir / "frame.xyz"));
    EXPECT_EQ(m.FrameCount(), 1u);
}
