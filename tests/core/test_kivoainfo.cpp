// kivoa-info run as a user runs it: its standard output, standard error and exit status.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "scratch_folder.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

struct SRun {
    int status = -1;
    std::string out, err;
};

SRun Info(const std::string &args)
{
    ScratchFolder dir;
    const std::string command = std::string(KIVOA_BINARY_DIR) + "/kivoa-info " + args + " >" +
                                (dir / "out") + " 2>" + (dir / "err");
    SRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(dir / "out");
    run.err = ReadText(dir / "err");
    return run;
}

nlohmann::json Json(const SRun &run)
{
    return nlohmann::json::parse(run.out, nullptr, false);
}

} // namespace

TEST(KivoaInfo, SummaryOfAStructure)
{
    const SRun run = Info(DATA + "/pdb/two_chains.pdb");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty());
    const nlohmann::json j = Json(run);
    ASSERT_TRUE(j.is_object()) << run.out;
    EXPECT_EQ(j["format"], "pdb");
    EXPECT_EQ(j["atoms"], 8);
    EXPECT_EQ(j["periodic"], true);
    EXPECT_EQ(j["cell"], nlohmann::json::parse("[[20,0,0],[0,30,0],[0,0,40]]"));
    EXPECT_EQ(j["composition"][0], nlohmann::json::parse(R"({"symbol":"N","count":2})"));
    EXPECT_EQ(j["composition"].size(), 4u);
    EXPECT_TRUE(j["bonds"].is_number_unsigned());
    EXPECT_FALSE(j.contains("positions"));
    EXPECT_FALSE(j.contains("bond_pairs"));
}

TEST(KivoaInfo, AtomsInTheFileFrameAtFullPrecisionAndBondPairs)
{
    const SRun run = Info("--atoms --bonds " + DATA + "/xyz/periodic.xyz");
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json j = Json(run);
    EXPECT_EQ(j["symbols"], nlohmann::json::parse(R"(["Na","Cl"])"));
    EXPECT_EQ(j["positions"][0][0].get<double>(), 0.1234567890123);
    EXPECT_EQ(j["positions"][1][0].get<double>(), 2.8200000000001);
    EXPECT_EQ(j["bond_pairs"].size(), j["bonds"].get<size_t>());
}

TEST(KivoaInfo, FormatFromTheNameOrTheOption)
{
    EXPECT_EQ(Json(Info(DATA + "/vasp/vasp4/POSCAR"))["format"], "vasp");
    EXPECT_EQ(Json(Info(DATA + "/vasp/silicon.vasp"))["format"], "vasp");
    ScratchFolder dir;
    WriteText(dir / "molecule.txt", ReadText(DATA + "/xyz/water.xyz"));
    EXPECT_EQ(Json(Info("--format xyz " + dir / "molecule.txt"))["atoms"], 3);
    const SRun unknown = Info(dir / "molecule.txt");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.out.empty());
    EXPECT_NE(unknown.err.find("use --format"), std::string::npos);
    EXPECT_EQ(Info("--format cif " + dir / "molecule.txt").status, 2);
    EXPECT_EQ(Info("").status, 2);
}

TEST(KivoaInfo, AnUnreadableFileGivesOneLineOnStandardError)
{
    const std::string file = DATA + "/xyz/bad/missing_coordinate.xyz";
    const SRun run = Info(file);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(run.err, "kivoa-info: " + file + " (xyz): line 4: expected 3 coordinates, found 2\n");
    EXPECT_EQ(Info("--format pdb " + DATA + "/xyz/water.xyz").status, 1);
}

TEST(KivoaInfo, WriteSavesWithTheWriterOfTheFormatRead)
{
    ScratchFolder dir;
    const SRun run = Info("--write " + dir / "copy.xyz" + " " + DATA + "/vasp/dynamics.vasp");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Json(run)["format"], "vasp");
    const SRun again = Info("--format vasp --atoms " + dir / "copy.xyz");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Json(again)["positions"], Json(Info("--atoms " + DATA + "/vasp/dynamics.vasp"))["positions"]);

    const SRun fails = Info("--write " + dir.Path() + " " + DATA + "/xyz/water.xyz");
    EXPECT_EQ(fails.status, 1);
    EXPECT_TRUE(fails.out.empty());
    EXPECT_EQ(fails.err.rfind("kivoa-info: " + dir.Path() + " (xyz): cannot write ", 0), 0u);
}

TEST(KivoaInfo, ScriptedEditsAreAppliedInOrderAndABadOneWritesNothing)
{
    ScratchFolder dir;
    const std::string in = DATA + "/xyz/water.xyz";
    const SRun run = Info("--delete 0 --element 0 Na --move 1 1.5 -2 0.25 --atoms --write " +
                          (dir / "out.xyz") + " " + in);
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json saved = Json(Info("--atoms " + (dir / "out.xyz")));
    EXPECT_EQ(saved["symbols"], nlohmann::json::parse(R"(["Na","H"])"));
    EXPECT_EQ(saved["positions"][1], nlohmann::json::parse("[1.5,-2.0,0.25]"));
    EXPECT_EQ(Json(run)["symbols"], saved["symbols"]);

    for (const char *bad : {"--delete 3", "--delete -1", "--element 0 Xy", "--element 0 na",
                            "--move 0 1 2 z", "--move 9 1 2 3", "--delete 0 --delete 0 --delete 0 --delete 0"}) {
        const SRun r = Info(std::string(bad) + " --write " + (dir / "bad.xyz") + " " + in);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_FALSE(r.err.empty()) << bad;
        EXPECT_FALSE(std::ifstream(dir / "bad.xyz").good()) << bad;
    }
}

// Files written by ASE, edited by kivoa-info and read back by ASE (python3-ase).
TEST(KivoaInfo, EditedFilesReadBackInAse)
{
    ScratchFolder dir;
    const std::string command = "/usr/bin/python3 " + std::string(KIVOA_SOURCE_DIR) +
                                "/tests/oracles/ase_edits.py " + KIVOA_BINARY_DIR + "/kivoa-info " +
                                dir.Path();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// Bulk edits, added atoms, supercells and wraps saved by kivoa-info and read back by ASE
// (extended XYZ, POSCAR) and gemmi (PDB).
TEST(KivoaInfo, BulkEditsReadBackInAseAndGemmi)
{
    ScratchFolder dir;
    const std::string command = "/usr/bin/python3 " + std::string(KIVOA_SOURCE_DIR) +
                                "/tests/oracles/ase_bulk_edits.py " + KIVOA_BINARY_DIR + "/kivoa-info " +
                                dir.Path();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

TEST(KivoaInfo, StructureEditsThatCannotBeMadeSayWhy)
{
    const std::string water = DATA + "/xyz/water.xyz", crystal = DATA + "/xyz/periodic.xyz";
    const std::pair<std::string, std::string> cases[] = {
        {"--supercell 2 2 2 " + water, "no periodic cell"},
        {"--supercell 2 0 1 " + crystal, "from 1 to 20, found 0"},
        {"--supercell 2 1.5 1 " + crystal, "\"1.5\" is not a whole number"},
        {"--wrap " + water, "--wrap: the structure has no periodic cell"},
        {"--add Xx 0 0 0 " + crystal, "\"Xx\" is not an element symbol"},
        {"--delete-element q " + crystal, "\"q\" is not an element symbol"},
    };
    for (const auto &[args, reason] : cases) {
        const SRun run = Info(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find(reason), std::string::npos) << args << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << args;
    }
    const nlohmann::json j = Json(Info("--delete-element Cl --add O 1 2 3 --supercell 1 2 1 --wrap " + crystal));
    EXPECT_EQ(j["composition"], nlohmann::json::parse(R"([{"symbol":"Na","count":2},{"symbol":"O","count":2}])"));
}
