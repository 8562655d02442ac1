// The document's state machine without a GUI: loads, saves and the question asked before
// unsaved edits would go.

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "cdocument.h"
#include "scratch_folder.h"

namespace {

using EAnswer = CDocument::EAnswer;
using EPending = CDocument::EPending;
using EQuestion = CDocument::EQuestion;

const char *const WATER = "3\nwater\nO 0 0 0.119\nH 0 0.763 -0.477\nH 0 -0.763 -0.477\n";
const char *const FOUR = "4\nchain\nC 0 0 0\nC 1.4 0 0\nC 2.8 0 0\nC 4.2 0 0\n";
const int XYZ = INPUT_FILE_TYPE_XYZ;

class DocumentTest : public testing::Test {
protected:
    void SetUp() override { WriteFiles(); }

    // The two files as they start, also where a folder blocked the water's.
    void WriteFiles() const
    {
        ::rmdir(water.c_str());
        WriteText(water, WATER);
        WriteText(four, FOUR);
    }

    // The water opened and one atom deleted: an unsaved edit.
    void OpenAndEdit()
    {
        doc.Open(folder.Path(), water, XYZ);
        ASSERT_EQ(doc.Path(), water);
        model.DeleteAtomIndex(0);
        ASSERT_TRUE(doc.HasUnsavedEdits());
    }

    // Makes the water's file unwritable: a folder stands in its place.
    void BlockSaving() const
    {
        ASSERT_EQ(::unlink(water.c_str()), 0);
        ASSERT_EQ(::mkdir(water.c_str(), 0755), 0);
    }

    ScratchFolder folder;
    const std::string water = folder / "water.xyz";
    const std::string four = folder / "four.xyz";
    CModel model;
    int reads = 0;
    bool was_reload = false; // the last read was the file shown, read again
    CDocument doc{model, [this](bool is_reload) {
                      reads++;
                      was_reload = is_reload;
                  }};
};

} // namespace

TEST_F(DocumentTest, OpensWithoutAskingWhileNothingIsUnsaved)
{
    doc.Open(folder.Path(), water, XYZ);
    EXPECT_EQ(doc.Question(), EQuestion::NONE);
    EXPECT_EQ(doc.Path(), water);
    EXPECT_EQ(doc.Folder(), folder.Path());
    EXPECT_EQ(reads, 1);
    EXPECT_FALSE(was_reload);
    EXPECT_FALSE(doc.HasUnsavedEdits());

    // A failed read keeps the structure and its name, and says why by the file's name alone.
    WriteText(folder / "broken.xyz", "2\ncomment\nO 0 0\n");
    doc.Open(folder.Path(), folder / "broken.xyz", XYZ);
    EXPECT_EQ(doc.Message().rfind("Can't read broken.xyz as XYZ: ", 0), 0u) << doc.Message();
    EXPECT_EQ(doc.Path(), water);
    EXPECT_EQ(model.v_real_xyz.size(), 3u);
    EXPECT_EQ(reads, 1);

    // Reload reads with the format read with, whatever a load asked since, and keeps the name.
    doc.OpenByName(four, INPUT_FILE_TYPE_VSP);
    EXPECT_EQ(doc.Message().rfind("Can't read four.xyz as VASP", 0), 0u) << doc.Message();
    model.v_real_xyz[0].x = 9.0;
    doc.Reload();
    EXPECT_TRUE(doc.Message().empty()) << doc.Message();
    EXPECT_TRUE(was_reload); // the view of it may stay
    EXPECT_EQ(model.v_real_xyz[0].x, 0.0);
    EXPECT_EQ(doc.Path(), water);
    // A format chosen since is the one a misread file is read again with.
    doc.ChooseFormat(INPUT_FILE_TYPE_PDB);
    doc.Reload();
    EXPECT_EQ(doc.Message().rfind("Can't read water.xyz as PDB", 0), 0u) << doc.Message();
    EXPECT_EQ(doc.Path(), water);
}

// Open another file or close the window with unsaved edits: each answer, with a save that works
// and one that fails.
TEST_F(DocumentTest, EachAnswerToTheUnsavedEditsQuestion)
{
    struct Case {
        EPending what;
        EAnswer answer;
        bool is_save_blocked;
        bool goes_on; // the load or the close happens
        bool is_still_unsaved;
    };
    const Case cases[] = {
        {EPending::LOAD, EAnswer::CANCEL, false, false, true},
        {EPending::LOAD, EAnswer::DISCARD, false, true, false},
        {EPending::LOAD, EAnswer::SAVE, false, true, false},
        {EPending::LOAD, EAnswer::SAVE, true, false, true},
        {EPending::CLOSE, EAnswer::CANCEL, false, false, true},
        {EPending::CLOSE, EAnswer::DISCARD, false, true, true},
        {EPending::CLOSE, EAnswer::SAVE, false, true, false},
        {EPending::CLOSE, EAnswer::SAVE, true, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.what == EPending::LOAD ? "load" : "close") + ", answer " +
                     std::to_string(static_cast<int>(c.answer)) + (c.is_save_blocked ? ", save blocked" : ""));
        WriteFiles();
        CModel m;
        CDocument d(m);
        d.Open(folder.Path(), water, XYZ);
        m.DeleteAtomIndex(0);
        if (c.what == EPending::LOAD)
            d.Open(folder.Path(), four, XYZ);
        else
            EXPECT_FALSE(d.RequestClose());
        EXPECT_EQ(d.Question(), EQuestion::UNSAVED_EDITS);
        EXPECT_EQ(d.Pending(), c.what);
        EXPECT_EQ(m.v_real_xyz.size(), 2u); // nothing happens before the answer
        if (c.is_save_blocked)
            BlockSaving();

        EXPECT_EQ(d.Answer(c.answer), !c.is_save_blocked);
        EXPECT_EQ(d.Question(), EQuestion::NONE);
        EXPECT_EQ(d.Pending(), EPending::NONE);
        const bool loaded = c.goes_on && c.what == EPending::LOAD;
        EXPECT_EQ(d.Path(), loaded ? four : water);
        EXPECT_EQ(m.v_real_xyz.size(), loaded ? 4u : 2u);
        EXPECT_EQ(d.IsCloseConfirmed(), c.goes_on && c.what == EPending::CLOSE);
        EXPECT_EQ(d.RequestClose(), !c.is_still_unsaved || d.IsCloseConfirmed());
        EXPECT_EQ(d.HasUnsavedEdits(), c.is_still_unsaved);
        const bool saved = c.answer == EAnswer::SAVE && !c.is_save_blocked;
        if (!c.is_save_blocked) {
            EXPECT_EQ(ReadText(water), saved ? std::string("2\nwater\nH 0 0.763 -0.477\nH 0 -0.763 -0.477\n") : WATER);
        }
        EXPECT_EQ(d.Message().rfind("Can't save water.xyz as XYZ: ", 0) == 0, c.is_save_blocked) << d.Message();
    }
}

// A second reason while the question is open changes only what its answer does.
TEST_F(DocumentTest, ClosingWhileALoadWaitsTakesTheAnswer)
{
    OpenAndEdit();
    doc.Open(folder.Path(), four, XYZ);
    EXPECT_FALSE(doc.RequestClose());
    EXPECT_EQ(doc.Pending(), EPending::CLOSE);
    EXPECT_TRUE(doc.Answer(EAnswer::DISCARD));
    EXPECT_TRUE(doc.IsCloseConfirmed());
    EXPECT_EQ(doc.Path(), water);
}

// A failed save changes nothing: the edits stay unsaved, the name stays, the file is untouched.
TEST_F(DocumentTest, SaveAndSaveAsNameTheFileOnlyOnSuccess)
{
    OpenAndEdit();
    const std::string blocked = folder / "taken";
    ASSERT_EQ(::mkdir(blocked.c_str(), 0755), 0);
    EXPECT_FALSE(doc.SaveAs(blocked));
    EXPECT_EQ(doc.Message().rfind("Can't save taken as XYZ: ", 0), 0u) << doc.Message();
    EXPECT_EQ(doc.Path(), water);
    EXPECT_TRUE(doc.HasUnsavedEdits());

    folder.Folder("sub");
    const std::string copy = folder / "sub/copy.xyz";
    EXPECT_TRUE(doc.SaveAs(copy));
    EXPECT_TRUE(doc.Message().empty());
    EXPECT_EQ(doc.Path(), copy);
    EXPECT_EQ(doc.Folder(), folder / "sub");
    EXPECT_FALSE(doc.HasUnsavedEdits());
    EXPECT_EQ(ReadText(water), WATER);

    // Undo is an edit against the clean point of the save.
    ASSERT_TRUE(model.Undo());
    EXPECT_TRUE(doc.HasUnsavedEdits());
    ASSERT_TRUE(model.Redo());
    EXPECT_FALSE(doc.HasUnsavedEdits());
}

// Another program rewrote the file after it was read: Save asks, and each answer keeps what the
// user chose, also when the question came from the Save answer before a load.
TEST_F(DocumentTest, EachAnswerToTheChangedOnDiskQuestion)
{
    const std::string theirs = "1\ntheirs\nHe 0 0 0\n";
    const std::string ours = "2\nwater\nH 0 0.763 -0.477\nH 0 -0.763 -0.477\n";
    struct Case {
        bool before_load;
        EAnswer answer;
        std::string file_after;
        size_t atoms_after;
        const std::string *path_after;
    };
    const Case cases[] = {
        {false, EAnswer::CANCEL, theirs, 2, &water},
        {false, EAnswer::OVERWRITE, ours, 2, &water},
        {false, EAnswer::RELOAD, theirs, 1, &water},
        {true, EAnswer::CANCEL, theirs, 2, &water},
        {true, EAnswer::OVERWRITE, ours, 4, &four},
        {true, EAnswer::RELOAD, theirs, 1, &water},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.before_load ? "before a load" : "plain save") + ", answer " +
                     std::to_string(static_cast<int>(c.answer)));
        WriteFiles();
        CModel m;
        CDocument d(m);
        d.Open(folder.Path(), water, XYZ);
        m.DeleteAtomIndex(0);
        WriteText(water, theirs);
        if (c.before_load) {
            d.Open(folder.Path(), four, XYZ);
            EXPECT_FALSE(d.Answer(EAnswer::SAVE));
            EXPECT_EQ(d.Pending(), EPending::LOAD);
        } else {
            EXPECT_FALSE(d.Save());
        }
        EXPECT_EQ(d.Question(), EQuestion::CHANGED_ON_DISK);
        EXPECT_EQ(ReadText(water), theirs);

        d.Answer(c.answer);
        EXPECT_EQ(d.Question(), EQuestion::NONE);
        EXPECT_EQ(ReadText(water), c.file_after);
        EXPECT_EQ(m.v_real_xyz.size(), c.atoms_after);
        EXPECT_EQ(d.Path(), *c.path_after);
        EXPECT_EQ(d.HasUnsavedEdits(), c.answer == EAnswer::CANCEL);
    }
}

// Save As goes by the name typed: another format's file is written and becomes the file shown.
TEST_F(DocumentTest, SaveAsWritesTheFormatTheNameSays)
{
    OpenAndEdit();
    const std::string pdb = folder / "water.pdb";
    ASSERT_TRUE(doc.SaveAs(pdb)) << doc.Message();
    EXPECT_NE(ReadText(pdb).find("\nATOM  "), std::string::npos) << ReadText(pdb);
    EXPECT_EQ(model.file_format, static_cast<int>(INPUT_FILE_TYPE_PDB));
    EXPECT_EQ(doc.Path(), pdb);
    EXPECT_EQ(model.v_real_xyz.size(), 2u);
    EXPECT_FALSE(doc.HasUnsavedEdits());
    EXPECT_EQ(ReadText(water), WATER);
}

namespace {

// A CIF of three blocks: one without atoms, NaCl by its group's name (8 atoms), CsCl without
// symmetry (2 atoms, read as P1 with a note).
class CifDocumentTest : public DocumentTest {
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        WriteText(cif, CIF_TEXT);
    }

    const std::string CIF_TEXT = ReadText(std::string(KIVOA_TEST_DATA) + "/cif/two_blocks.cif");
    const std::string cif = folder / "blocks.cif";
};

} // namespace

// The block list reads another block of the file shown; Reload keeps it, another file forgets it.
TEST_F(CifDocumentTest, BlocksOfTheFileShown)
{
    doc.Open(folder.Path(), cif, INPUT_FILE_TYPE_CIF);
    EXPECT_EQ(model.cif.block_name, "NaCl_rocksalt");
    EXPECT_EQ(model.v_real_xyz.size(), 8u);
    EXPECT_TRUE(doc.Note().empty()) << doc.Note();

    doc.OpenBlock("CsCl");
    EXPECT_EQ(model.v_real_xyz.size(), 2u);
    EXPECT_NE(doc.Note().find("read as P1"), std::string::npos) << doc.Note();
    doc.Reload();
    EXPECT_EQ(model.cif.block_name, "CsCl");
    EXPECT_EQ(doc.Path(), cif);

    // Another block is another load: unsaved edits are asked about first.
    model.DeleteAtomIndex(0);
    doc.OpenBlock("NaCl_rocksalt");
    EXPECT_EQ(doc.Question(), EQuestion::UNSAVED_EDITS);
    EXPECT_TRUE(doc.Answer(EAnswer::DISCARD));
    EXPECT_EQ(model.v_real_xyz.size(), 8u);
    EXPECT_TRUE(doc.Note().empty());

    doc.OpenBlock("CsCl");
    doc.Open(folder.Path(), water, XYZ);
    EXPECT_TRUE(doc.Note().empty());
    doc.Open(folder.Path(), cif, INPUT_FILE_TYPE_CIF);
    EXPECT_EQ(model.cif.block_name, "NaCl_rocksalt");
}

// Save of an edited CIF (also the Save answer before a load or a close) writes nothing and wants
// Save As; what waited goes on once Save As has written the structure, and never after the
// chooser was cancelled or the save failed.
TEST_F(CifDocumentTest, SaveOfACifWantsSaveAs)
{
    enum EChooser { NAMED, CANCELLED, FAILED };
    struct Case {
        EPending what;
        EChooser chooser;
        const char *name; // of the Save As that succeeds (after the cancel or failure)
        int format_after;
    };
    const Case cases[] = {
        {EPending::NONE, NAMED, "p1.cif", INPUT_FILE_TYPE_CIF},
        {EPending::LOAD, NAMED, "p1.xyz", XYZ},
        {EPending::LOAD, CANCELLED, "p1.cif", INPUT_FILE_TYPE_CIF},
        {EPending::LOAD, FAILED, "p1.cif", INPUT_FILE_TYPE_CIF},
        {EPending::CLOSE, NAMED, "p1.cif", INPUT_FILE_TYPE_CIF},
        {EPending::CLOSE, FAILED, "p1.xyz", XYZ},
    };
    const std::string taken = folder / "taken.cif";
    ASSERT_EQ(::mkdir(taken.c_str(), 0755), 0);
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.what)) + ", chooser " + std::to_string(c.chooser) + ", " + c.name);
        CModel m;
        CDocument d(m);
        d.Open(folder.Path(), cif, INPUT_FILE_TYPE_CIF);
        m.DeleteAtomIndex(0);
        if (c.what == EPending::NONE) {
            EXPECT_FALSE(d.Save());
        } else {
            if (c.what == EPending::LOAD)
                d.Open(folder.Path(), four, XYZ);
            else
                EXPECT_FALSE(d.RequestClose());
            EXPECT_FALSE(d.Answer(EAnswer::SAVE));
        }
        EXPECT_EQ(d.Question(), EQuestion::NONE);
        EXPECT_TRUE(d.Message().empty()) << d.Message();
        EXPECT_TRUE(d.TakeSaveAsWanted());
        EXPECT_FALSE(d.TakeSaveAsWanted());
        EXPECT_EQ(ReadText(cif), CIF_TEXT);
        EXPECT_EQ(m.v_real_xyz.size(), 7u);
        EXPECT_EQ(d.SuggestedPath(), folder / "blocks_P1.cif");

        if (c.chooser == CANCELLED)
            d.CancelSaveAs();
        if (c.chooser == FAILED) {
            EXPECT_FALSE(d.SaveAs(taken));
            EXPECT_EQ(d.Path(), cif);
            EXPECT_TRUE(d.HasUnsavedEdits());
        }
        const std::string target = folder / c.name;
        ASSERT_TRUE(d.SaveAs(target)) << d.Message();
        // The file written becomes the file shown, read back: 7 atoms in P1.
        const bool loaded = c.chooser == NAMED && c.what == EPending::LOAD;
        EXPECT_EQ(d.Path(), loaded ? four : target);
        EXPECT_EQ(m.file_format, loaded ? XYZ : c.format_after);
        EXPECT_EQ(m.v_real_xyz.size(), loaded ? 4u : 7u);
        EXPECT_FALSE(d.HasUnsavedEdits());
        EXPECT_EQ(d.IsCloseConfirmed(), c.chooser == NAMED && c.what == EPending::CLOSE);
        EXPECT_EQ(ReadText(cif), CIF_TEXT);
        ::unlink(target.c_str());
    }
}

// The count of atoms merged at one place reaches the Choose File panel's note.
TEST_F(CifDocumentTest, MergedAtomsAreNoted)
{
    doc.Open(std::string(KIVOA_TEST_DATA) + "/cif", std::string(KIVOA_TEST_DATA) + "/cif/coso4_listed_sites.cif",
             INPUT_FILE_TYPE_CIF);
    EXPECT_EQ(model.v_real_xyz.size(), 24u);
    EXPECT_NE(doc.Note().find("104 atoms within 0.05 angstrom"), std::string::npos) << doc.Note();
}

// The name Save As offers for a CIF can be written: never the file's own, a supercell's repeats
// before "_P1".
TEST_F(CifDocumentTest, SuggestedNameOfACifCanBeWritten)
{
    doc.Open(folder.Path(), cif, INPUT_FILE_TYPE_CIF);
    std::string why;
    ASSERT_TRUE(model.MakeSupercell(glm::ivec3(2, 2, 1), why)) << why;
    EXPECT_FALSE(doc.Save());
    EXPECT_TRUE(doc.TakeSaveAsWanted());
    const std::string name = doc.SuggestedPath();
    EXPECT_EQ(name, folder / "blocks_2x2x1_P1.cif");
    ASSERT_TRUE(doc.SaveAs(name)) << doc.Message();
    EXPECT_EQ(model.v_real_xyz.size(), 32u);
    EXPECT_EQ(doc.SuggestedPath(), folder / "blocks_2x2x1_P1_P1.cif");
}
