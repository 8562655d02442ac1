#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cpdb.h"
#include "elements.h"
#include "scratch_folder.h"
#include "structure_read.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

using SPdbRead = SRead<CPdb>;

SPdbRead ReadPdb(const std::string &path) { return ReadStructure<CPdb>("", path); }

SPdbRead ReadPdbText(const ScratchFolder &dir, const std::string &text)
{
    return ReadStructureText<CPdb>(dir, "t.pdb", text);
}

constexpr uint32_t N = 6, C = 5, O = 7, FE = 25, CA = 19, ZN = 29;

} // namespace

TEST(Pdb, StandardEntryWithTwoChainsAndInterleavedRecords)
{
    const SPdbRead r = ReadPdb(DATA + "/pdb/two_chains.pdb");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.reader.pdb_format, 7u);
    // Both chains; ANISOU and TER skipped; the HETATM10001 record read; END stops the block.
    ASSERT_EQ(r.xyz.size(), 8u);
    // Elements from columns 77-78: the alpha carbon CA is carbon, FE is iron.
    EXPECT_EQ(r.index, (std::vector<uint32_t>{N, C, C, O, N, C, FE, O}));
    EXPECT_EQ(r.xyz[0], glm::dvec3(-1.204, 2.55, 0.0));
    // Residue numbers with an insertion code, and columns that touch.
    EXPECT_EQ(r.xyz[4], glm::dvec3(-3.0, -4.0, 5.0));
    EXPECT_EQ(r.xyz[5], glm::dvec3(-100.5, -200.25, -10.125));
    EXPECT_EQ(r.xyz[7], glm::dvec3(11.0, 11.0, 11.0));
    EXPECT_TRUE(r.reader.is_periodic);
    EXPECT_EQ(r.reader.cell_xyz, glm::dmat3(20, 0, 0, 0, 30, 0, 0, 0, 40));
    EXPECT_EQ(r.reader.header_info.size(), 4u);
    EXPECT_EQ(r.reader.header_lines, 4u);
}

TEST(Pdb, LayoutOfTheAtomRecordsFollowsTheFirstOne)
{
    ScratchFolder dir;
    const struct {
        const char *record;
        uint32_t format;
    } cases[] = {
        {"ATOM 1 C 1.0 2.0 3.0", 1},
        {"ATOM 1 C 9 1.0 2.0 3.0", 2},
        {"ATOM 1 C 9 1.0 2.0 3.0 1.00", 3},
        {"ATOM 1 C 9 1.0 2.0 3.0 1.00 0.00", 4},
        {"ATOM 1 C 9 1.0 2.0 3.0 1.00 0.00 5.0", 5},
        {"ATOM 1 C LIG 9 1.0 2.0 3.0 1.00 0.00", 6},
        {"ATOM 1 C LIG A 9 1.0 2.0 3.0 1.00 0.00 C", 7},
        {"HETATM10001 C LIG A 9 1.0 2.0 3.0 1.00 0.00 C", 7},
    };
    for (const auto &c : cases) {
        const SPdbRead r = ReadPdbText(dir, std::string(c.record) + "\n" + c.record + "\n");
        ASSERT_TRUE(r.ok) << c.record << ": " << r.reader.error_message;
        EXPECT_EQ(r.reader.pdb_format, c.format) << c.record;
        ASSERT_EQ(r.xyz.size(), 2u) << c.record;
        EXPECT_EQ(r.xyz[1], glm::dvec3(1.0, 2.0, 3.0)) << c.record;
    }
}

TEST(Pdb, WithoutAnElementColumnTheAtomNameGivesTheElement)
{
    ScratchFolder dir;
    // In a standard residue the name's first letter; elsewhere its first two when they make a
    // symbol.
    const SPdbRead r = ReadPdbText(dir, "ATOM 1 CA GLY 1 0 0 0 1.00 0.00\n"
                                        "ATOM 2 OW SOL 2 1 0 0 1.00 0.00\n"
                                        "ATOM 3 HB GLY 1 2 0 0 1.00 0.00\n"
                                        "ATOM 4 CA CA 3 3 0 0 1.00 0.00\n"
                                        "ATOM 5 CL LIG 4 4 0 0 1.00 0.00\n"
                                        "ATOM 6 CA NALA 5 5 0 0 1.00 0.00\n"
                                        "ATOM 7 HO5' DA5 6 6 0 0 1.00 0.00\n"
                                        "ATOM 8 OH2 TIP3 7 7 0 0 1.00 0.00\n"
                                        "ATOM 9 Fe ALA 8 8 0 0 1.00 0.00\n");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.index, (std::vector<uint32_t>{C, O, 0, CA, ElementIndexOfSymbol("Cl"), C, 0, O, FE}));
    // An atom of a standard residue re-typed where the records have no element columns keeps its
    // new element when saved and read again.
    std::vector<glm::dvec3> xyz = r.xyz;
    std::vector<uint32_t> index = r.index;
    SPdbRead edited = r;
    index[0] = ZN;
    ASSERT_TRUE(edited.reader.SaveFile(dir.Path(), dir / "retyped.pdb", xyz, index)) << edited.reader.error_message;
    EXPECT_EQ(ReadPdb(dir / "retyped.pdb").index, index);
    const SPdbRead old = ReadPdb(DATA + "/pdb/old_writer.pdb");
    ASSERT_TRUE(old.ok) << old.reader.error_message;
    EXPECT_EQ(old.index, (std::vector<uint32_t>{C, O, CA}));
    EXPECT_EQ(old.xyz[0], glm::dvec3(1.5, -0.25, 0.0));
}

// An MD program's peptide (ACE ALA PRO LEU HIE MET NME, a water, a calcium ion and a ligand's
// chlorine): names from column 13 ("CA  ", "HG2 ", "CD1 ", "NE2 ", "1HB "), no element columns.
// gemmi reads this file's CA as calcium, HG2 as mercury, CD1 as cadmium, HE1 as helium and NE2 as
// neon; in a standard residue the name's first letter is the element.
TEST(Pdb, MdProgramNamesInStandardResiduesTakeTheirFirstLetter)
{
    const SPdbRead r = ReadPdb(DATA + "/pdb/md_peptide.pdb");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(Formula(r.index), "C28 Ca1 Cl1 H48 N8 O7 S1");
    EXPECT_EQ(r.index[92], CA);
}

// The atom names an MD program writes for a peptide of 392 atoms, left-justified from column 13
// without element columns, on a helix: calcium, mercury, cadmium, helium and neon for a reader that
// takes two letters (CA, HG2, CD1, HE1, NE2), H 189, C 128, N 38, O 34, S 3 by the residue rule.
std::string MdPeptide()
{
    const std::map<std::string, std::string> names = {
        {"MET", "N H CA HA CB HB2 HB3 CG HG2 HG3 SD CE HE1 HE2 HE3 C O"},
        {"LEU", "N H CA HA CB HB2 HB3 CG HG CD1 HD11 HD12 HD13 CD2 HD21 HD22 HD23 C O"},
        {"GLU", "N H CA HA CB HB2 HB3 CG HG2 HG3 CD OE1 OE2 C O"},
        {"HIE", "N H CA HA CB HB2 HB3 CG ND1 CE1 HE1 NE2 HE2 CD2 HD2 C O"},
        {"PRO", "N CD HD2 HD3 CG HG2 HG3 CB HB2 HB3 CA HA C O"},
        {"LYS", "N H CA HA CB HB2 HB3 CG HG2 HG3 CD HD2 HD3 CE HE2 HE3 NZ HZ1 HZ2 HZ3 C O"},
        {"VAL", "N H CA HA CB HB CG1 HG11 HG12 HG13 CG2 HG21 HG22 HG23 C O"},
        {"GLN", "N H CA HA CB HB2 HB3 CG HG2 HG3 CD OE1 NE2 HE21 HE22 C O"}};
    const std::vector<std::string> sequence = {"MET", "PRO", "LEU", "HIE", "GLU", "PRO", "VAL", "HIE",
                                               "GLU", "MET", "PRO", "HIE", "LYS", "GLU", "VAL", "HIE",
                                               "PRO", "GLN", "HIE", "GLU", "MET", "VAL", "HIE", "PRO"};
    std::string text;
    size_t serial = 0;
    for (size_t r = 0; r < sequence.size(); ++r) {
        std::istringstream words(names.at(sequence[r]));
        std::vector<std::string> atoms(std::istream_iterator<std::string>(words), {});
        if (r == 0) // the N-terminal amine
            atoms.insert(atoms.erase(atoms.begin() + 1), {"H1", "H2", "H3"});
        if (r + 1 == sequence.size())
            atoms.push_back("OXT");
        for (const std::string &name : atoms) {
            const double turn = 1.745 * static_cast<double>(serial++);
            char line[96];
            std::snprintf(line, sizeof line, "ATOM  %5zu %-4s %3s A%4zu    %8.3f%8.3f%8.3f  1.00  0.00\n", serial,
                          name.c_str(), sequence[r].c_str(), r + 1, 2.3 * std::cos(turn), 2.3 * std::sin(turn),
                          0.15 * static_cast<double>(serial));
            text += line;
        }
    }
    return text + "END\n";
}

TEST(Pdb, AnMdProgramsHelixReadsAsItsResiduesHoldIt)
{
    ScratchFolder dir;
    const SPdbRead r = ReadPdbText(dir, MdPeptide());
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.index.size(), 392u);
    EXPECT_EQ(Formula(r.index), "C128 H189 N38 O34 S3");
}

TEST(Pdb, Cryst1Cells)
{
    ScratchFolder dir;
    const SPdbRead hex = ReadPdb(DATA + "/pdb/hexagonal.pdb");
    ASSERT_TRUE(hex.ok) << hex.reader.error_message;
    EXPECT_EQ(hex.index, (std::vector<uint32_t>{ZN, ZN}));
    EXPECT_NEAR(hex.reader.cell_xyz[1].x, -1.5, 1e-12);
    EXPECT_NEAR(hex.reader.cell_xyz[1].y, 1.5 * std::sqrt(3.0), 1e-12);
    EXPECT_EQ(hex.reader.cell_xyz[2], glm::dvec3(0, 0, 5));
    EXPECT_FLOAT_EQ(hex.reader.gamma, 120.0f);

    const SPdbRead none = ReadPdbText(dir, "CRYST1    0.000    0.000    0.000  90.00  90.00  90.00\n"
                                           "ATOM 1 C 0 0 0\n");
    ASSERT_TRUE(none.ok);
    EXPECT_FALSE(none.reader.is_periodic);
}

TEST(Pdb, WindowsLineEndsAndALastRecordWithoutLineFeed)
{
    ScratchFolder dir;
    const SPdbRead unix = ReadPdb(DATA + "/pdb/two_chains.pdb");
    std::string crlf;
    for (const std::string &line : Lines(ReadText(DATA + "/pdb/two_chains.pdb")))
        crlf += line + "\r\n";
    const SPdbRead r = ReadPdbText(dir, crlf);
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.xyz, unix.xyz);
    EXPECT_EQ(r.index, unix.index);

    const SPdbRead last = ReadPdbText(dir, "ATOM 1 C 0 0 0\nATOM 2 O 0 0 1.128");
    ASSERT_TRUE(last.ok);
    EXPECT_EQ(last.xyz.size(), 2u);
}

TEST(Pdb, WriterPutsFieldsInTheirStandardColumns)
{
    ScratchFolder dir;
    SPdbRead r = ReadPdb(DATA + "/pdb/two_chains.pdb");
    ASSERT_TRUE(r.ok);
    std::vector<glm::dvec3> xyz{{1.5, -0.25, 0.0}, {-999.5, -100.25, 12345.678}, {1e14, 0, 0}};
    std::vector<uint32_t> index{C, FE, DUMMY_ELEMENT};
    ASSERT_TRUE(r.reader.SaveFile("", dir / "out.pdb", xyz, index)) << r.reader.error_message;
    const std::vector<std::string> lines = Lines(ReadText(dir / "out.pdb"));
    ASSERT_EQ(lines.size(), 6u);
    // The header is written back verbatim, the first atom record of the file read is not.
    EXPECT_EQ(lines[2], Lines(ReadText(DATA + "/pdb/two_chains.pdb"))[2]);
    EXPECT_EQ(lines[3], "ATOM      1  C   LIG     1       1.500  -0.250   0.000  1.00  0.00"
                        "           C");
    // Too wide for its columns: one space, the rest of the line shifted, the element in place.
    EXPECT_EQ(lines[4].substr(0, 30), "ATOM      2  Fe  LIG     1    ");
    EXPECT_EQ(lines[4].substr(30), "-999.500 -100.250 12345.678  1.00  0.00       FE");
    EXPECT_EQ(lines[5].substr(lines[5].size() - 2), " X");
    EXPECT_NE(lines[5].find(" 100000000000000.000 "), std::string::npos);

    const SPdbRead again = ReadPdb(dir / "out.pdb");
    ASSERT_TRUE(again.ok) << again.reader.error_message;
    EXPECT_EQ(again.xyz[1], xyz[1]);
    EXPECT_EQ(again.index, index);
}

TEST(Pdb, AtomsNotReadFromAFileGetAGeneratedHeader)
{
    ScratchFolder dir;
    CPdb writer;
    std::vector<glm::dvec3> xyz{{1.0, 2.0, 3.0}};
    std::vector<uint32_t> index{C};
    ASSERT_TRUE(writer.SaveFile("", dir / "out.pdb", xyz, index));
    const std::string first = Lines(ReadText(dir / "out.pdb"))[0];
    EXPECT_EQ(first.rfind("HEADER PDB structure file generated by KivoaView (https://kivoa.org) [", 0),
              0u);
    EXPECT_EQ(first.back(), ']');
}

TEST(Pdb, SavedFileReadsBackToTheSameAtomsAndCell)
{
    ScratchFolder dir;
    for (const char *name : {"two_chains.pdb", "old_writer.pdb", "hexagonal.pdb", "plain.pdb"}) {
        SPdbRead first = ReadPdb(DATA + "/pdb/" + name);
        ASSERT_TRUE(first.ok) << name;
        ASSERT_TRUE(first.reader.SaveFile("", dir / name, first.xyz, first.index));
        const SPdbRead again = ReadPdb(dir / name);
        ASSERT_TRUE(again.ok) << name << ": " << again.reader.error_message;
        EXPECT_EQ(again.xyz, first.xyz) << name;
        EXPECT_EQ(again.index, first.index) << name;
        EXPECT_EQ(again.reader.cell_xyz, first.reader.cell_xyz) << name;
        EXPECT_EQ(ReadText(dir / name), ReadText(DATA + "/pdb/" + name)) << name;
    }
}

TEST(Pdb, SerialNumbersWrapInTheirFiveColumns)
{
    ScratchFolder dir;
    CPdb writer;
    std::vector<glm::dvec3> xyz(100001, glm::dvec3(1.0, 2.0, 3.0));
    std::vector<uint32_t> index(xyz.size(), C);
    ASSERT_TRUE(writer.SaveFile("", dir / "big.pdb", xyz, index));
    const std::vector<std::string> lines = Lines(ReadText(dir / "big.pdb"));
    ASSERT_EQ(lines.size(), 100002u);
    EXPECT_EQ(lines[99999].substr(0, 13), "ATOM  99999  ");
    EXPECT_EQ(lines[100000].substr(0, 13), "ATOM      0  ");
    EXPECT_EQ(lines[100001].substr(0, 13), "ATOM      1  ");
    const SPdbRead again = ReadPdb(dir / "big.pdb");
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(again.xyz.size(), xyz.size());
}
