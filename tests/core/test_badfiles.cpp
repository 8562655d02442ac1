// Every file under tests/data/<format>/bad must fail to read with the message in its .msg file,
// and a failed read must leave the reader (and what its next save writes) as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ccif.h"
#include "cpdb.h"
#include "cvasp.h"
#include "cxyz.h"
#include "scratch_folder.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

std::unique_ptr<CStructureFile> ReaderFor(const std::string &format)
{
    if (format == "xyz")
        return std::make_unique<CXyz>();
    if (format == "pdb")
        return std::make_unique<CPdb>();
    if (format == "cif")
        return std::make_unique<CCif>();
    return std::make_unique<CVasp>();
}

std::string Expected(const std::filesystem::path &file)
{
    std::filesystem::path msg = file;
    std::string text = ReadText(msg.replace_extension(".msg"));
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const std::string folder = file.parent_path();
    const size_t at = text.find("{folder}");
    if (at != std::string::npos)
        text.replace(at, 8, folder);
    return text;
}

class BadFiles : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(BadFiles, EachFailsWithItsMessageAndTouchesNothing)
{
    const std::string dir = DATA + "/" + GetParam() + "/bad";
    int checked = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::filesystem::path file = entry.path();
        if (file.extension() == ".msg")
            continue;
        auto reader = ReaderFor(GetParam());
        std::vector<glm::dvec3> xyz{glm::dvec3(7.0)};
        std::vector<uint32_t> index{42};
        EXPECT_FALSE(reader->ReadFile(dir, file, xyz, index)) << file;
        EXPECT_EQ(reader->error_message, Expected(file)) << file;
        EXPECT_EQ(xyz.size(), 1u) << file;
        EXPECT_EQ(index, std::vector<uint32_t>{42}) << file;
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

INSTANTIATE_TEST_SUITE_P(Formats, BadFiles, ::testing::Values("xyz", "pdb", "vasp", "cif"));

TEST(BadFiles, AFailedReadKeepsWhatTheNextSaveWrites)
{
    const struct {
        std::string good, bad;
    } cases[] = {
        {"xyz/periodic.xyz", "xyz/bad/missing_coordinate.xyz"},
        {"pdb/two_chains.pdb", "pdb/bad/chain_missing.pdb"},
        {"vasp/dynamics.vasp", "vasp/bad/flags_missing.vasp"},
        {"cif/gdfeo3_pbnm_name_only.cif", "cif/bad/zero_cell_length.cif"},
    };
    ScratchFolder out;
    for (const auto &c : cases) {
        const std::string format = c.good.substr(0, c.good.find('/'));
        auto reader = ReaderFor(format);
        std::vector<glm::dvec3> xyz;
        std::vector<uint32_t> index;
        ASSERT_TRUE(reader->ReadFile(DATA, DATA + "/" + c.good, xyz, index)) << reader->error_message;
        ASSERT_TRUE(reader->SaveFile("", out / "before", xyz, index)) << reader->error_message;
        const glm::dmat3 cell = reader->cell_xyz;
        const uint32_t atoms = reader->total_atoms;
        EXPECT_FALSE(reader->ReadFile(DATA, DATA + "/" + c.bad, xyz, index));
        EXPECT_EQ(reader->cell_xyz, cell) << c.good;
        EXPECT_EQ(reader->total_atoms, atoms) << c.good;
        ASSERT_TRUE(reader->SaveFile("", out / "after", xyz, index)) << reader->error_message;
        EXPECT_EQ(ReadText(out / "after"), ReadText(out / "before")) << c.good;
    }
}
