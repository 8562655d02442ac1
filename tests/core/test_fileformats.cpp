#include <gtest/gtest.h>

#include "cmodel.h"
#include "fileformats.h"

TEST(FileFormats, TheFileNameNotItsFolderPicksTheFormat)
{
    const struct {
        const char *path;
        int format;
    } cases[] = {
        {"water.xyz", INPUT_FILE_TYPE_XYZ},      {"/a/b/WATER.XYZ", INPUT_FILE_TYPE_XYZ},
        {"1abc.pdb", INPUT_FILE_TYPE_PDB},       {"pdb1abc.ent", INPUT_FILE_TYPE_PDB},
        {"POSCAR", INPUT_FILE_TYPE_VSP},         {"run/CONTCAR_7", INPUT_FILE_TYPE_VSP},
        {"poscar.relaxed", INPUT_FILE_TYPE_VSP}, {"Si.vasp", INPUT_FILE_TYPE_VSP},
        {"cell.POSCAR", INPUT_FILE_TYPE_VSP},    {"/data.xyz/POSCAR", INPUT_FILE_TYPE_VSP},
        {"/poscar/notes.txt", NO_FORMAT},        {"xyz", NO_FORMAT},
        {"", NO_FORMAT},                         {"archive.pdb.gz", NO_FORMAT},
        {"1abc.CIF", INPUT_FILE_TYPE_CIF},       {"cod/9008564.cif", INPUT_FILE_TYPE_CIF},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FormatOfFileName(c.path), c.format) << c.path;
    for (const SFileFormat &f : FILE_FORMATS) {
        EXPECT_EQ(FormatOfName(f.name), f.code);
        EXPECT_EQ(FindFormat(f.code), &f);
    }
    EXPECT_EQ(FormatOfName("XYZ"), NO_FORMAT);
    EXPECT_EQ(FindFormat(INPUT_FILE_TYPE_GAU), nullptr);
}
