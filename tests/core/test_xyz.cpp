#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cxyz.h"
#include "elements.h"
#include "scratch_folder.h"
#include "structure_read.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

using SXyzRead = SRead<CXyz>;

SXyzRead ReadXyz(const std::string &path) { return ReadStructure<CXyz>("", path); }

SXyzRead ReadXyzText(const ScratchFolder &dir, const std::string &text)
{
    return ReadStructureText<CXyz>(dir, "t.xyz", text);
}

std::vector<std::string> Fields(const std::string &line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; in >> f;)
        fields.push_back(f);
    return fields;
}

} // namespace

TEST(Xyz, ReadsSymbolsAndExactCoordinates)
{
    const SXyzRead r = ReadXyz(DATA + "/xyz/water.xyz");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.index, (std::vector<uint32_t>{7, 0, 0}));
    EXPECT_EQ(r.xyz[1], glm::dvec3(0.0, 0.763239, -0.477047));
    EXPECT_EQ(r.reader.GetMinCoordinate(), glm::dvec3(0.0, -0.763239, -0.477047));
    EXPECT_EQ(r.reader.GetMaxCoordinate(), glm::dvec3(0.0, 0.763239, 0.119262));
    EXPECT_EQ(r.reader.GetTotalAtoms(), 3u);
    EXPECT_FALSE(r.reader.is_periodic);
}

TEST(Xyz, LabelsLongerThanASymbolAndAnyCase)
{
    const SXyzRead r = ReadXyz(DATA + "/xyz/labels.xyz");
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    // C12, OXT, FE, fe, HG21 (mercury by its first two letters), Q (no element).
    EXPECT_EQ(r.index, (std::vector<uint32_t>{5, 7, 25, 25, 79, DUMMY_ELEMENT}));
}

TEST(Xyz, CountIsDecimalAndOnlyThatManyAtomsAreRead)
{
    ScratchFolder dir;
    std::string ten = "010\n\n";
    for (int i = 0; i < 10; ++i)
        ten += "H 0 0 " + std::to_string(i) + "\n";
    const SXyzRead r = ReadXyzText(dir, ten);
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.xyz.size(), 10u);

    const SXyzRead frames = ReadXyz(DATA + "/xyz/two_frames.xyz");
    ASSERT_TRUE(frames.ok);
    EXPECT_EQ(frames.xyz.size(), 2u);
    EXPECT_EQ(frames.xyz[1].z, 1.128);
}

TEST(Xyz, CellInTheCommentLine)
{
    ScratchFolder dir;
    const SXyzRead quoted = ReadXyz(DATA + "/xyz/periodic.xyz");
    ASSERT_TRUE(quoted.ok);
    EXPECT_TRUE(quoted.reader.is_periodic);
    EXPECT_EQ(quoted.reader.cell_xyz, glm::dmat3(10, 0, 0, 0, 12, 0, 0, 0, 15));
    EXPECT_EQ(quoted.reader.comment, "rock salt pair");

    const SXyzRead bare = ReadXyz(DATA + "/xyz/cell_unquoted.xyz");
    ASSERT_TRUE(bare.ok);
    EXPECT_TRUE(bare.reader.is_periodic);
    EXPECT_EQ(bare.reader.cell_xyz, glm::dmat3(10, 0, 0, 0, 12, 0, 0, 0, 15));

    const SXyzRead spaced = ReadXyzText(dir, "1\nbox Cell = \"1 2 3 0 5 0 0 0 6\"\nH 0 0 0\n");
    ASSERT_TRUE(spaced.ok);
    EXPECT_EQ(spaced.reader.cell_xyz[0], glm::dvec3(1, 2, 3));
    EXPECT_EQ(spaced.reader.comment, "box");

    for (const char *comment : {"cell=\"10 0 0 0 10 0 0 0 10\"", "CELL 10 0 0 0 10 0 0 0 10",
                                "Cellulose, Unit Cell of it"}) {
        const SXyzRead r = ReadXyzText(dir, std::string("1\n") + comment + "\nH 0 0 0\n");
        ASSERT_TRUE(r.ok) << comment;
        EXPECT_FALSE(r.reader.is_periodic) << comment;
        EXPECT_EQ(r.reader.comment, comment);
    }
}

TEST(Xyz, WindowsLineEndsAndAMissingFinalLineFeed)
{
    ScratchFolder dir;
    const SXyzRead unix = ReadXyz(DATA + "/xyz/periodic.xyz");
    std::string crlf;
    for (const std::string &line : Lines(ReadText(DATA + "/xyz/periodic.xyz")))
        crlf += line + "\r\n";
    crlf.resize(crlf.size() - 2);
    const SXyzRead r = ReadXyzText(dir, crlf);
    ASSERT_TRUE(r.ok) << r.reader.error_message;
    EXPECT_EQ(r.xyz, unix.xyz);
    EXPECT_EQ(r.reader.cell_xyz, unix.reader.cell_xyz);
    EXPECT_EQ(r.reader.comment, "rock salt pair");
}

TEST(Xyz, WriterLayoutKeepsTheCellAndTheComment)
{
    ScratchFolder dir;
    // Atoms that were not read from a file get the plain layout.
    CXyz writer;
    writer.comment = "rock salt pair";
    writer.is_periodic = true;
    writer.cell_xyz = glm::dmat3(10, 0, 0, 0, 12, 0, 0, 0, 15);
    std::vector<glm::dvec3> xyz{{1.5, -0.25, 0.0}, {1e14, -1e14, 123456789.0}};
    std::vector<uint32_t> index{5, 25};
    ASSERT_TRUE(writer.SaveFile("", dir / "out.xyz", xyz, index)) << writer.error_message;
    const std::vector<std::string> lines = Lines(ReadText(dir / "out.xyz"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "2");
    EXPECT_EQ(lines[1], "Cell=\"10 0 0 0 12 0 0 0 15\" rock salt pair");
    EXPECT_EQ(lines[2], "C        1.500000000000     -0.250000000000      0.000000000000");
    const std::vector<std::string> big = Fields(lines[3]);
    ASSERT_EQ(big.size(), 4u);
    EXPECT_EQ(big[0], "Fe");
    EXPECT_EQ(std::stod(big[1]), 1e14);
    EXPECT_EQ(std::stod(big[2]), -1e14);
}

TEST(Xyz, SavedFileReadsBackToTheSameAtomsCellAndComment)
{
    ScratchFolder dir;
    for (const char *name : {"periodic.xyz", "water.xyz", "labels.xyz", "cell_unquoted.xyz"}) {
        SXyzRead first = ReadXyz(DATA + "/xyz/" + name);
        ASSERT_TRUE(first.ok) << name;
        ASSERT_TRUE(first.reader.SaveFile("", dir / name, first.xyz, first.index));
        const SXyzRead again = ReadXyz(dir / name);
        ASSERT_TRUE(again.ok) << again.reader.error_message;
        EXPECT_EQ(again.index, first.index) << name;
        EXPECT_EQ(again.reader.is_periodic, first.reader.is_periodic) << name;
        EXPECT_EQ(again.reader.cell_xyz, first.reader.cell_xyz) << name;
        EXPECT_EQ(again.reader.comment, first.reader.comment) << name;
        EXPECT_EQ(again.xyz, first.xyz) << name;
    }
}

TEST(Xyz, WriterRefusesWhatCouldNotBeReadBack)
{
    ScratchFolder dir;
    CXyz writer;
    WriteText(dir / "keep.xyz", "untouched");
    std::vector<glm::dvec3> none;
    std::vector<uint32_t> no_index;
    EXPECT_FALSE(writer.SaveFile("", dir / "keep.xyz", none, no_index));
    EXPECT_EQ(writer.error_message, "the structure has no atoms to save");
    std::vector<glm::dvec3> xyz{{0, 0, 0}, {0, std::nan(""), 0}};
    std::vector<uint32_t> index{0, 0};
    EXPECT_FALSE(writer.SaveFile("", dir / "keep.xyz", xyz, index));
    EXPECT_EQ(writer.error_message, "atom 2 lies beyond 1e15 angstrom from the origin or is not finite");
    EXPECT_EQ(ReadText(dir / "keep.xyz"), "untouched");
}
