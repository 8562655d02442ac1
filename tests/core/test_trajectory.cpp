// Files of many frames: the index, the frame shown, edits across frames and lossless saves.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cframeindex.h"
#include "cfspath.h"
#include "cmodel.h"
#include "elements.h"
#include "in_child.h"
#include "scratch_folder.h"

namespace {

const std::string XYZ3 = "2\nfirst\nC 0 0 0\nO 0 0 1.128\n"
                         "3\nsecond, other atoms\nC 0 0 5\nO 0 0 6.128\nH 1 0 5\n"
                         "\n"
                         "2\nthird Lattice=\"9 0 0 0 9 0 0 0 9\"\nC 0 0 0.5\nO 0 0 1.6\n";

const std::string XDATCAR_HEADER = "Si O\n 1.0\n 5 0 0\n 0 5 0\n 0 0 5\n Si O\n 1 2\n";
const std::string XDATCAR_FIXED = XDATCAR_HEADER +
                                  "Direct configuration=     1\n 0 0 0\n 0.5 0.5 0.5\n 0.25 0.25 0.25\n"
                                  "Direct configuration=     2\n 0.1 0 0\n 0.5 0.5 0.5\n 0.25 0.25 0.25\n";
// VASP with ISIF 3 and above writes the header again before each block, with the cell of the block.
const std::string XDATCAR_VARIABLE =
    XDATCAR_FIXED.substr(0, XDATCAR_FIXED.find("Direct configuration=     2")) +
    "Si O\n 1.0\n 6 0 0\n 0 6 0\n 0 0 6\n Si O\n 1 2\nDirect configuration=     2\n 0.1 0 0\n 0.5 0.5 0.5\n"
    " 0.25 0.25 0.25\n";

// A standard ATOM record of element `symbol` at (0, 0, z).
std::string PdbAtom(int serial, const char *symbol, double z)
{
    char line[96];
    std::snprintf(line, sizeof line, "ATOM  %5d  %-3s MOL A   1    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n",
                  serial, symbol, 0.0, 0.0, z, symbol);
    return line;
}

const std::string PDB_MODEL2 = "MODEL        2\n" + PdbAtom(1, "C", 0.5) + PdbAtom(2, "O", 1.6) + "ENDMDL\n";
const std::string PDB_MODELS = "CRYST1   10.000   10.000   10.000  90.00  90.00  90.00 P 1           1\n"
                               "MODEL        1\n" + PdbAtom(1, "C", 0) + PdbAtom(2, "O", 1.128) + "ENDMDL\n" +
                               PDB_MODEL2 + "CONECT    1    2\nEND\n";

struct SIndexCase {
    const char *name;
    EFrameLayout layout;
    std::string text;
    bool opens;
    std::vector<uint32_t> atoms;
    // The start of `warning` (when frames load) or of `error_message` (when none does).
    std::string message;
};

} // namespace

TEST(Trajectory, IndexFindsEveryFrameAndReportsACutShortOne)
{
    const std::vector<SIndexCase> cases = {
        {"xyz of three frames, one with other atoms", EFrameLayout::XYZ, XYZ3, true, {2, 3, 2}, ""},
        {"xyz without line end", EFrameLayout::XYZ, "1\n\nH 0 0 0\n1\n\nH 0 0 1", true, {1, 1}, ""},
        {"xyz cut short", EFrameLayout::XYZ, XYZ3.substr(0, XYZ3.size() - 10), true, {2, 3},
         "line 14: the file ends after 1 of 2 atoms of frame 2"},
        {"xyz without comment", EFrameLayout::XYZ, "1\n\nH 0 0 0\n1\n", true, {1},
         "line 5: expected the comment line of frame 1"},
        {"xyz with text after it", EFrameLayout::XYZ, "1\n\nH 0 0 0\n1\n\nH 0 0 1\nthe end\n", true,
         {1, 1}, "line 7: expected the atom count of frame 2, found \"the end\""},
        {"xyz without any frame", EFrameLayout::XYZ, "x\n", false, {}, "line 1: expected the atom count"},
        {"xdatcar", EFrameLayout::XDATCAR, XDATCAR_FIXED, true, {3, 3}, ""},
        {"xdatcar of variable cell", EFrameLayout::XDATCAR, XDATCAR_VARIABLE, true, {3, 3}, ""},
        {"xdatcar cut short", EFrameLayout::XDATCAR, XDATCAR_FIXED.substr(0, XDATCAR_FIXED.size() - 16),
         true, {3}, "line 15: the file ends after 2 of 3 atoms of frame 1"},
        {"xdatcar with bad counts", EFrameLayout::XDATCAR, "c\n1\n5 0 0\n0 5 0\n0 0 5\nSi\nx\nDirect configuration= 1\n",
         false, {}, "line 7: expected the atom counts of frame 0, found \"x\""},
        {"xdatcar without blocks", EFrameLayout::XDATCAR, XDATCAR_HEADER + "Direct\n0 0 0\n", false, {},
         "line 8: expected \"Direct configuration=\" after the header"},
        {"pdb models", EFrameLayout::PDB, PDB_MODELS, true, {2, 2}, ""},
        {"pdb model cut short", EFrameLayout::PDB, PDB_MODELS.substr(0, PDB_MODELS.find("ENDMDL\nCONECT")), true,
         {2}, "line 9: the file ends before ENDMDL of frame 1"},
        {"pdb without models", EFrameLayout::PDB, PdbAtom(1, "C", 0), false, {}, "the file holds no frame"},
    };
    ScratchFolder dir;
    for (const SIndexCase &c : cases) {
        WriteText(dir / "frames", c.text);
        CFrameIndex index;
        ASSERT_EQ(index.Open(dir / "frames", c.layout), c.opens) << c.name << ": " << index.error_message;
        std::vector<uint32_t> atoms;
        for (uint64_t k = 0; k < index.FrameCount(); ++k)
            atoms.push_back(index.FrameAtoms(k));
        EXPECT_EQ(atoms, c.atoms) << c.name;
        const std::string &message = c.opens ? index.warning : index.error_message;
        EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.name << ": " << message;
        if (!c.opens)
            continue;
        // The frames and what follows them are the file, byte for byte.
        std::string whole;
        for (uint64_t k = 0; k < index.FrameCount(); ++k)
            whole += index.FrameBytes(k);
        EXPECT_EQ(whole += index.Tail(), c.text) << c.name;
    }
}

TEST(Trajectory, FramesReadWithTheirOwnCellAndLines)
{
    ScratchFolder dir;
    CModel m;
    WriteText(dir / "XDATCAR", XDATCAR_VARIABLE);
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "XDATCAR", INPUT_FILE_TYPE_XDATCAR)) << m.error_message;
    EXPECT_EQ(m.FrameCount(), 2u);
    EXPECT_EQ(m.m_cell_box[0].x, 5.0);
    ASSERT_TRUE(m.ShowFrame(1)) << m.error_message;
    EXPECT_EQ(m.m_cell_box[0].x, 6.0);
    EXPECT_NEAR(m.v_real_xyz[0].x, 0.6, 1e-12);

    // A bad number in a later frame is reported with its line in the file, and the frame shown stays.
    WriteText(dir / "bad.xyz", XYZ3.substr(0, XYZ3.size() - 4) + "x.6\n");
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "bad.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(m.FrameCount(), 3u);
    EXPECT_TRUE(m.ShowFrame(1));
    EXPECT_EQ(m.v_atom_index.size(), 3u);
    EXPECT_FALSE(m.ShowFrame(2));
    EXPECT_EQ(m.error_message, "line 14: coordinate \"x.6\" is not a number");
    EXPECT_EQ(m.FrameShown(), 1u);
    EXPECT_EQ(m.v_atom_index.size(), 3u);

    // A file changed in place since it was opened is not trusted for the next frame.
    WriteText(dir / "frames.xyz", XYZ3);
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "frames.xyz", INPUT_FILE_TYPE_XYZ));
    ASSERT_EQ(truncate((dir / "frames.xyz").c_str(), 20), 0);
    EXPECT_FALSE(m.ShowFrame(1));
    EXPECT_EQ(m.error_message, "the file has changed since it was opened; open it again");
    EXPECT_FALSE(m.SaveStructureFile(dir.Path(), dir / "out.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(ReadText(dir / "out.xyz"), "<missing>");
    // Nor for the records after a PDB's models that a model saved alone ends with.
    WriteText(dir / "models.pdb", PDB_MODELS);
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "models.pdb", INPUT_FILE_TYPE_PDB));
    ASSERT_EQ(truncate((dir / "models.pdb").c_str(), 100), 0);
    EXPECT_FALSE(m.SaveStructureFile(dir.Path(), dir / "model.pdb", INPUT_FILE_TYPE_PDB, false, false));
    EXPECT_EQ(m.error_message, "the file has changed since it was opened; open it again");
    EXPECT_EQ(ReadText(dir / "model.pdb"), "<missing>");
}

// Another program changes the file while its frames are shown: in place, or by writing a new file
// and renaming it over the old one (as a running calculation does). Either way no frame is read
// from it any more, and a save onto it asks first; a file replaced whole still holds the frames
// read, which an overwrite writes, while a file changed in place has lost them.
TEST(Trajectory, AFileChangedOrReplacedOnDiskIsNoticedBeforeEachReadAndSave)
{
    struct SCase {
        const char *name;
        bool is_rename;
        const char *read_error;
        bool overwrites;
    };
    const std::vector<SCase> cases = {
        {"changed in place", false, "the file has changed since it was opened; open it again", false},
        {"replaced by rename", true, "the file was replaced on disk since it was opened; open it again", true},
    };
    const std::string other = "1\nnew run\nH 0 0 0\n";
    for (const SCase &c : cases) {
        ScratchFolder dir;
        const std::string path = dir / "run.xyz";
        WriteText(path, XYZ3);
        CModel m;
        ASSERT_TRUE(m.ReadStructureFile(dir.Path(), path, INPUT_FILE_TYPE_XYZ)) << c.name;
        ASSERT_TRUE(m.ShowFrame(1)) << c.name;
        if (c.is_rename) {
            // Our own save, which also puts a new file in place, leaves the frames readable.
            ASSERT_TRUE(m.SaveStructureFile(dir.Path(), path, INPUT_FILE_TYPE_XYZ)) << m.error_message;
            EXPECT_FALSE(m.ChangedOnDisk(path));
            ASSERT_TRUE(m.ShowFrame(2)) << m.error_message;
            WriteText(dir / "new.xyz", other);
            ASSERT_EQ(std::rename((dir / "new.xyz").c_str(), path.c_str()), 0);
        } else {
            ASSERT_EQ(truncate(path.c_str(), 20), 0);
        }
        EXPECT_FALSE(m.ShowFrame(0)) << c.name;
        EXPECT_EQ(m.error_message, c.read_error) << c.name;
        EXPECT_TRUE(m.ChangedOnDisk(path)) << c.name;
        const std::string there = ReadText(path);
        EXPECT_FALSE(m.SaveStructureFile(dir.Path(), path, INPUT_FILE_TYPE_XYZ)) << c.name;
        EXPECT_TRUE(m.is_changed_on_disk) << c.name;
        EXPECT_EQ(m.SaveStructureFile(dir.Path(), path, INPUT_FILE_TYPE_XYZ, true), c.overwrites) << c.name;
        EXPECT_EQ(ReadText(path), c.overwrites ? XYZ3 : there) << c.name;
    }
}

// Frames come out right whichever way the steps go: on, back, jumps and round from the last to
// the first, as playback and the frame keys step (frames may be read ahead of their showing).
TEST(Trajectory, StepsInAnyOrderShowTheirOwnFrame)
{
    const uint64_t frames = 6;
    std::string text;
    for (uint64_t k = 0; k < frames; ++k)
        text += "1\nframe\nH 0 0 " + std::to_string(k) + "\n";
    ScratchFolder dir;
    WriteText(dir / "run.xyz", text);
    CModel m;
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "run.xyz", INPUT_FILE_TYPE_XYZ));
    for (uint64_t k : {1, 2, 3, 2, 1, 0, 5, 4, 3, 5, 0, 1, 1, 0}) {
        ASSERT_TRUE(m.ShowFrame(k)) << m.error_message;
        EXPECT_EQ(m.v_real_xyz[0].z, static_cast<double>(k)) << "frame " << k;
    }
}

TEST(Trajectory, EditsFollowTheirFramesThroughSaveUndoAndRedo)
{
    ScratchFolder dir;
    CModel m;
    WriteText(dir / "frames.xyz", XYZ3);
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "frames.xyz", INPUT_FILE_TYPE_XYZ));
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "same.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(ReadText(dir / "same.xyz"), XYZ3);

    // Frame 2: a move there alone; the carbon deleted from frames 0 and 2 (the same atoms), not 1.
    ASSERT_TRUE(m.ShowFrame(2));
    m.MoveAtom(1, glm::dvec3(0, 0, 1.7));
    m.DeleteAtomIndex(0);
    EXPECT_EQ(m.v_atom_index, std::vector<uint32_t>{ElementIndexOfSymbol("O")});
    ASSERT_TRUE(m.ShowFrame(0));
    EXPECT_EQ(m.v_real_xyz, std::vector<glm::dvec3>{glm::dvec3(0, 0, 1.128)});
    ASSERT_TRUE(m.ShowFrame(1));
    EXPECT_EQ(m.v_atom_index.size(), 3u);
    m.SetElement(2, ElementIndexOfSymbol("F"));
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "edited.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(ReadText(dir / "edited.xyz"), "1\nfirst\nO 0 0 1.128\n"
                                            "3\nsecond, other atoms\nC 0 0 5\nO 0 0 6.128\nF 1 0 5\n"
                                            "\n"
                                            "1\nthird Lattice=\"9 0 0 0 9 0 0 0 9\"\nO 0.0000 0.0000 1.7000\n");
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "one.xyz", INPUT_FILE_TYPE_XYZ, false, false));
    EXPECT_EQ(ReadText(dir / "one.xyz"), "3\nsecond, other atoms\nC 0 0 5\nO 0 0 6.128\nF 1 0 5\n\n");

    // Undo goes back to frame 1, then to frame 2 for the deletion and the move.
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.FrameShown(), 1u);
    ASSERT_TRUE(m.ShowFrame(0));
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.FrameShown(), 2u);
    EXPECT_EQ(m.v_atom_index.size(), 2u);
    ASSERT_TRUE(m.ShowFrame(0));
    EXPECT_EQ(m.v_atom_index.size(), 2u);
    ASSERT_TRUE(m.Undo());
    EXPECT_EQ(m.FrameShown(), 2u);
    EXPECT_EQ(m.v_real_xyz[1], glm::dvec3(0, 0, 1.6));
    EXPECT_FALSE(m.CanUndo());
    EXPECT_FALSE(m.IsUpdated());
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "undone.xyz", INPUT_FILE_TYPE_XYZ));
    EXPECT_EQ(ReadText(dir / "undone.xyz"), XYZ3);
    ASSERT_TRUE(m.ShowFrame(0));
    ASSERT_TRUE(m.Redo());
    ASSERT_TRUE(m.Redo());
    EXPECT_EQ(m.FrameShown(), 2u);
    EXPECT_EQ(m.v_real_xyz, std::vector<glm::dvec3>{glm::dvec3(0, 0, 1.7)});
}

TEST(Trajectory, XdatcarSavesShareTheHeader)
{
    ScratchFolder dir;
    CModel m;
    // Atom 0 of frame 1 moves to x = 1 angstrom, in a cell of 5 and of 6 angstrom.
    const std::pair<std::string, std::string> cases[] = {{XDATCAR_FIXED, "0.2000"}, {XDATCAR_VARIABLE, "0.1667"}};
    for (const auto &[text, x] : cases) {
        WriteText(dir / "XDATCAR", text);
        ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "XDATCAR", INPUT_FILE_TYPE_XDATCAR));
        ASSERT_TRUE(m.ShowFrame(1));
        m.DeleteAtomIndex(1);
        m.MoveAtom(0, glm::dvec3(1, 0, 0));
        ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "XDATCAR_out", INPUT_FILE_TYPE_XDATCAR));
        std::string want = text;
        for (size_t at = 0; (at = want.find(" 1 2\n", at)) != std::string::npos;)
            want.replace(at, 5, " 1 1\n");
        for (size_t at = 0; (at = want.find(" 0.5 0.5 0.5\n", at)) != std::string::npos;)
            want.erase(at, 13);
        want.replace(want.rfind(" 0.1 0 0\n"), 9, " " + x + " 0.0000 0.0000\n");
        EXPECT_EQ(ReadText(dir / "XDATCAR_out"), want);
    }
}

// CONECT and MASTER after the models name and count the atoms of every model.
TEST(Trajectory, PdbModelsSaveAMoveInTheirFrameAndADeletionInEvery)
{
    ScratchFolder dir;
    CModel m;
    WriteText(dir / "models.pdb", PDB_MODELS);
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "models.pdb", INPUT_FILE_TYPE_PDB)) << m.error_message;
    EXPECT_EQ(m.FrameCount(), 2u);
    ASSERT_TRUE(m.ShowFrame(1));
    EXPECT_NEAR(m.v_real_xyz[1].z, 1.6, 1e-12);
    m.MoveAtom(1, glm::dvec3(0, 0, 1.7));
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "moved.pdb", INPUT_FILE_TYPE_PDB)) << m.error_message;
    std::string want = PDB_MODELS;
    want.replace(want.find(PDB_MODEL2), PDB_MODEL2.size(),
                 "MODEL        2\n" + PdbAtom(1, "C", 0.5) + PdbAtom(2, "O", 1.7) + "ENDMDL\n");
    EXPECT_EQ(ReadText(dir / "moved.pdb"), want);

    const auto master = [](int coordinates, int conect) {
        char line[96];
        std::snprintf(line, sizeof line, "MASTER    %40s%5d    0%5d    0\n", "", coordinates, conect);
        return std::string(line);
    };
    WriteText(dir / "master.pdb", PDB_MODELS.substr(0, PDB_MODELS.size() - 4) + master(4, 1) + "END\n");
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "master.pdb", INPUT_FILE_TYPE_PDB)) << m.error_message;
    ASSERT_TRUE(m.ShowFrame(1));
    m.DeleteAtomIndex(0);
    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "deleted.pdb", INPUT_FILE_TYPE_PDB)) << m.error_message;
    EXPECT_EQ(ReadText(dir / "deleted.pdb"), PDB_MODELS.substr(0, PDB_MODELS.find("MODEL")) + "MODEL        1\n" +
                                                 PdbAtom(2, "O", 1.128) + "ENDMDL\nMODEL        2\n" +
                                                 PdbAtom(2, "O", 1.6) + "ENDMDL\n" + master(2, 0) + "END\n");
}

namespace {

// Frames 0 to 2 hold the same atoms in cells of 4, 5 and 6 angstrom; frame 3 other atoms.
std::string CubicFrame(double a, const std::string &atoms, int count)
{
    const std::string side = std::to_string(static_cast<int>(a));
    return std::to_string(count) + "\nLattice=\"" + side + " 0 0 0 " + side + " 0 0 0 " + side +
           "\" Properties=species:S:1:pos:R:3 pbc=\"T T T\"\n" + atoms;
}

struct SFramesEditCase {
    const char *name;
    bool is_wrap;
    // Per frame of the same atoms, its cell side and where its atoms are after the edit.
    std::vector<std::vector<glm::dvec3>> want;
};

} // namespace

TEST(Trajectory, WrapAndAddActOnEveryFrameWithTheSameAtoms)
{
    const std::string other = CubicFrame(4, "H 9 9 9\n", 1);
    const std::string text = CubicFrame(4, "H -1 0 0\nO 4.5 1 7\n", 2) + CubicFrame(5, "H -1 0 0\nO 4.5 1 7\n", 2) +
                             CubicFrame(6, "H -1 0 0\nO 4.5 1 7\n", 2) + other;
    const glm::dvec3 h(-1, 0, 0), o(4.5, 1, 7), added(0.5, 0.25, 0.75);
    const std::vector<SFramesEditCase> cases = {
        {"wrap", true, {{{3, 0, 0}, {0.5, 1, 3}}, {{4, 0, 0}, {4.5, 1, 2}}, {{5, 0, 0}, {4.5, 1, 1}}}},
        {"add", false, {{h, o, 4.0 * added}, {h, o, 5.0 * added}, {h, o, 6.0 * added}}},
    };
    ScratchFolder dir;
    for (const SFramesEditCase &c : cases) {
        CModel m;
        WriteText(dir / "in.xyz", text);
        ASSERT_TRUE(m.ReadStructureFile(dir.Path(), dir / "in.xyz", INPUT_FILE_TYPE_XYZ));
        ASSERT_TRUE(m.ShowFrame(1));
        std::string why;
        const bool edited = c.is_wrap ? m.WrapIntoCell() : m.AddAtom(ElementIndexOfSymbol("N"), 5.0 * added, why);
        ASSERT_TRUE(edited) << c.name << ": " << why;
        ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "out.xyz", INPUT_FILE_TYPE_XYZ)) << c.name;
        const std::string saved = ReadText(dir / "out.xyz");
        // The frame with other atoms is copied as it was.
        EXPECT_EQ(saved.substr(saved.size() - other.size()), other) << c.name;

        CModel back;
        ASSERT_TRUE(back.ReadStructureFile(dir.Path(), dir / "out.xyz", INPUT_FILE_TYPE_XYZ)) << c.name;
        ASSERT_EQ(back.FrameCount(), 4u) << c.name;
        for (uint64_t k = 0; k < c.want.size(); ++k) {
            ASSERT_TRUE(back.ShowFrame(k)) << c.name;
            ASSERT_EQ(back.v_real_xyz.size(), c.want[k].size()) << c.name << " frame " << k;
            for (size_t i = 0; i < c.want[k].size(); ++i)
                EXPECT_LT(glm::length(back.v_real_xyz[i] - c.want[k][i]), 1e-4) << c.name << " frame " << k << " atom " << i;
            EXPECT_EQ(back.v_atom_index.back(), ElementIndexOfSymbol(c.is_wrap ? "O" : "N")) << c.name;
        }

        // One undo step takes every frame back, byte for byte; redo makes the same file again.
        ASSERT_TRUE(m.ShowFrame(0));
        ASSERT_TRUE(m.Undo());
        EXPECT_FALSE(m.CanUndo());
        ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "undone.xyz", INPUT_FILE_TYPE_XYZ));
        EXPECT_EQ(ReadText(dir / "undone.xyz"), text) << c.name;
        ASSERT_TRUE(m.ShowFrame(2));
        ASSERT_TRUE(m.Redo());
        ASSERT_TRUE(m.SaveStructureFile(dir.Path(), dir / "redone.xyz", INPUT_FILE_TYPE_XYZ));
        EXPECT_EQ(ReadText(dir / "redone.xyz"), saved) << c.name;
    }
}

namespace {

// Every frame `m` shows is the frame of a fresh read of `path`.
void ExpectFramesOf(CModel &m, const std::string &path, const char *name)
{
    CModel fresh;
    ASSERT_TRUE(fresh.ReadStructureFile(ImGuiFs::Path::FolderOfFile(path), path, INPUT_FILE_TYPE_XYZ)) << name;
    ASSERT_EQ(m.FrameCount(), fresh.FrameCount()) << name;
    for (uint64_t k = 0; k < fresh.FrameCount(); ++k) {
        ASSERT_TRUE(m.ShowFrame(k)) << name << " frame " << k << ": " << m.error_message;
        ASSERT_TRUE(fresh.ShowFrame(k)) << name << " frame " << k << ": " << fresh.error_message;
        EXPECT_EQ(m.v_real_xyz, fresh.v_real_xyz) << name << " frame " << k;
        EXPECT_EQ(m.v_atom_index, fresh.v_atom_index) << name << " frame " << k;
    }
}

} // namespace

// A save streams the frames to disk (a frame of more than one chunk among them) onto the file
// shown, which is replaced or, with another hard link, rewritten in place. A save stopped by a
// full disk leaves the file whole; one that is done leaves no copy behind, every name sees it,
// the frames read afterwards are those saved (no edit made twice), and undo still goes back to
// the text read.
TEST(Trajectory, ASaveOntoTheFileShownStreamsItAndKeepsItsFramesReadable)
{
    // A comment line of numbered words longer than a chunk, so that chunks out of order show.
    std::string big = "1\n";
    for (int i = 0; big.size() < (size_t(3) << 19); ++i)
        big += "w" + std::to_string(i) + " ";
    big += "\nHe 0 0 0\n";
    const std::string first = "2\nfirst\nC 0 0 0\nO 0 0 1.5\n", last = "2\nthird\nC 0 0 2\nO 0 0 3.5\n";
    const std::string text = first + big + last;
    const std::string want = "1\nfirst\nO 0 0 1.5\n" + big + "1\nthird\nO 0.0000 0.0000 4.2500\n";
    for (const bool is_linked : {false, true}) {
        const char *name = is_linked ? "hard-linked" : "one name";
        ScratchFolder dir;
        const std::string path = dir / "run.xyz", other = dir / "other.xyz";
        WriteText(path, text);
        if (is_linked) {
            ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
        }
        const size_t files = dir.FileCount();
        CModel m;
        ASSERT_TRUE(m.ReadStructureFile(dir.Path(), path, INPUT_FILE_TYPE_XYZ)) << m.error_message;
        ASSERT_TRUE(m.ShowFrame(2));
        m.MoveAtom(1, glm::dvec3(0, 0, 4.25));
        m.DeleteAtomIndex(0);

        // A file-size limit stops the writes as a full disk would, and binds root too.
        EXPECT_TRUE(InChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{1 << 18, 1 << 18};
            return setrlimit(RLIMIT_FSIZE, &limit) == 0 && !m.SaveStructureFile(dir.Path(), path, INPUT_FILE_TYPE_XYZ) &&
                   m.error_message == "cannot write " + path + ": File too large";
        })) << name;
        EXPECT_EQ(ReadText(path), text) << name;
        EXPECT_EQ(dir.FileCount(), files) << name;

        ASSERT_TRUE(m.SaveStructureFile(dir.Path(), path, INPUT_FILE_TYPE_XYZ)) << name << ": " << m.error_message;
        EXPECT_EQ(ReadText(path), want) << name;
        EXPECT_EQ(ReadText(is_linked ? other : path), want) << name;
        EXPECT_EQ(dir.FileCount(), files) << name;
        EXPECT_FALSE(m.ChangedOnDisk(path)) << name;
        ExpectFramesOf(m, path, name);

        ASSERT_TRUE(m.Undo()) << name << ": " << m.error_message;
        ASSERT_TRUE(m.Undo()) << name << ": " << m.error_message;
        EXPECT_FALSE(m.CanUndo()) << name;
        ASSERT_TRUE(m.SaveStructureFile(dir.Path(), path, INPUT_FILE_TYPE_XYZ)) << name << ": " << m.error_message;
        EXPECT_EQ(ReadText(path), text) << name;
        ExpectFramesOf(m, path, name);
    }
}

// An empty file maps to no memory: every reader and the index refuse it with a reason (the
// sanitizer run checks that nothing is handed a null pointer on the way).
TEST(Trajectory, EmptyFilesAreRefusedWithAReason)
{
    ScratchFolder dir;
    WriteText(dir / "empty", "");
    for (const unsigned format : {INPUT_FILE_TYPE_XYZ, INPUT_FILE_TYPE_PDB, INPUT_FILE_TYPE_VSP,
                                  INPUT_FILE_TYPE_XDATCAR, INPUT_FILE_TYPE_CIF}) {
        CModel m;
        EXPECT_FALSE(m.ReadStructureFile(dir.Path(), dir / "empty", format)) << format;
        EXPECT_FALSE(m.error_message.empty()) << format;
    }
    for (const EFrameLayout layout : {EFrameLayout::XYZ, EFrameLayout::XDATCAR, EFrameLayout::PDB}) {
        CFrameIndex index;
        EXPECT_FALSE(index.Open(dir / "empty", layout));
        EXPECT_FALSE(index.error_message.empty());
    }
}
