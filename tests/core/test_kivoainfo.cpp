// kivoa-info run as a user runs it: its standard output, standard error and exit status.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "scratch_folder.h"
#include "structure_read.h"

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
    EXPECT_EQ(j["pbc"], nlohmann::json::parse("[true,true,true]"));
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
    EXPECT_EQ(Info("--format mol2 " + dir / "molecule.txt").status, 2);
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

// The name says the format: the format read is written back losslessly, another one by its
// plain writer; a name that says none keeps the format read.
TEST(KivoaInfo, WriteSavesInTheFormatTheNameSays)
{
    ScratchFolder dir;
    const std::string vasp = DATA + "/vasp/dynamics.vasp";
    const nlohmann::json read = Json(Info("--atoms " + vasp));
    for (const char *name : {"copy.vasp", "copy.txt"}) {
        ASSERT_EQ(Info("--write " + dir / name + " " + vasp).status, 0) << name;
        EXPECT_EQ(ReadText(dir / name), ReadText(vasp)) << name;
    }
    const SRun run = Info("--write " + dir / "copy.xyz" + " " + vasp);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Json(run)["format"], "vasp");
    const nlohmann::json xyz = Json(Info("--atoms " + dir / "copy.xyz"));
    EXPECT_EQ(xyz["format"], "xyz");
    EXPECT_EQ(xyz["symbols"], read["symbols"]);
    EXPECT_EQ(xyz["cell"], read["cell"]);
    for (size_t i = 0; i < read["positions"].size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(xyz["positions"][i][k].get<double>(), read["positions"][i][k].get<double>(), 1e-9);

    const SRun fails = Info("--write " + dir.Path() + " " + DATA + "/xyz/water.xyz");
    EXPECT_EQ(fails.status, 1);
    EXPECT_TRUE(fails.out.empty());
    EXPECT_EQ(fails.err.rfind("kivoa-info: " + dir.Path() + " (xyz): cannot write ", 0), 0u);
}

// Species as runs in atom order (Ca between two O stays there), the cell kept, no atom moved.
TEST(KivoaInfo, ConvertingToPoscarNeedsACellAndKeepsTheAtomOrder)
{
    ScratchFolder dir;
    WriteText(dir / "in.xyz", "4\nCell=\"5 0 0 0 6 0 0 0 7\"\nO 0 0 0\nCa 1 1 1\nO 2 2 2\nO 3 3 3.5\n");
    ASSERT_EQ(Info("--write " + dir / "POSCAR" + " " + dir / "in.xyz").status, 0);
    const nlohmann::json in = Json(Info("--atoms " + dir / "in.xyz"));
    const nlohmann::json out = Json(Info("--atoms " + dir / "POSCAR"));
    EXPECT_EQ(out["format"], "vasp");
    EXPECT_EQ(out["symbols"], in["symbols"]);
    EXPECT_EQ(out["positions"], in["positions"]);
    EXPECT_EQ(out["cell"], in["cell"]);
    EXPECT_EQ(Lines(ReadText(dir / "POSCAR"))[5], "O Ca O");

    const SRun refused = Info("--write " + dir / "water.vasp" + " " + DATA + "/xyz/water.xyz");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("a POSCAR file needs a cell"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadText(dir / "water.vasp"), "<missing>");
}

TEST(KivoaInfo, PbcSaysWhichAxesRepeat)
{
    ScratchFolder dir;
    WriteText(dir / "slab.xyz", "1\nLattice=\"3 0 0 0 3 0 0 0 9\" pbc=\"T T F\"\nC 0 0 0\n");
    EXPECT_EQ(Json(Info(dir / "slab.xyz"))["pbc"], nlohmann::json::parse("[true,true,false]"));
    EXPECT_EQ(Json(Info(DATA + "/xyz/water.xyz"))["pbc"], nlohmann::json::parse("[false,false,false]"));
}

TEST(KivoaInfo, HelpAnEmptyWriteNameAndItsOwnOutput)
{
    const SRun help = Info("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: kivoa-info", 0), 0u);
    ScratchFolder dir;
    const std::string in = DATA + "/xyz/water.xyz";
    const SRun empty = Info("--write '' " + in);
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("--write needs a file name"), std::string::npos);
    EXPECT_TRUE(empty.out.empty());
    // Standard output is a file here: writing the structure over it would lose the output.
    const SRun own = Info("--write /dev/stdout " + in);
    EXPECT_EQ(own.status, 2);
    EXPECT_TRUE(own.out.empty());
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

// The block read is named with the file's count of blocks; another is chosen by name, any case.
// A word on standard error when the block has no symmetry or atoms were merged.
TEST(KivoaInfo, CifBlocksByNameAndAWordWhenNoSymmetryIsFoundOrAtomsAreMerged)
{
    const std::string file = DATA + "/cif/two_blocks.cif";
    const SRun first = Info(file);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(first.err.empty());
    EXPECT_EQ(Json(first)["block"], "NaCl_rocksalt");
    EXPECT_EQ(Json(first)["blocks"], 3);
    EXPECT_EQ(Json(first)["atoms"], 8);
    EXPECT_EQ(Json(Info("--block CsCl " + file))["atoms"], 2); // letters in any case
    const SRun chosen = Info("--block cscl " + file);
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_EQ(Json(chosen)["block"], "CsCl");
    EXPECT_EQ(Json(chosen)["symmetry"], "none");
    EXPECT_EQ(chosen.err, "kivoa-info: " + file +
                              ": block CsCl gives no symmetry operations, Hall symbol or space-group name: read as P1\n");
    const SRun missing = Info("--block KCl " + file);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no data block \"KCl\" (its blocks: global_info, NaCl_rocksalt, CsCl)"),
              std::string::npos);
    const nlohmann::json mixed = Json(Info("--atoms " + DATA + "/cif/fecr_mixed_site.cif"));
    EXPECT_EQ(mixed["occupancy"], nlohmann::json::parse("[0.5,0.5,0.5,0.5]"));
    EXPECT_EQ(mixed["merged"], 0);
    // Atoms merged at one place are counted once, on standard error and in the output.
    const std::string listed = DATA + "/cif/coso4_listed_sites.cif";
    const SRun merged = Info(listed);
    EXPECT_EQ(Json(merged)["merged"], 104);
    EXPECT_EQ(merged.err, "kivoa-info: " + listed +
                              ": 104 atoms within 0.05 angstrom of another of the same element merged into it\n");
}

// Files written by ASE and gemmi, edited by kivoa-info and read back by them (python3-ase,
// python3-gemmi): single structures, trajectories frame by frame, and every file kind crossed with
// every edit and save.
TEST(KivoaInfo, EditedFilesReadBackInAse)
{
    for (const char *script : {"ase_edits.py", "ase_frames.py", "pdb_gemmi_frames.py", "edit_matrix.py"}) {
        ScratchFolder dir;
        const std::string command = "/usr/bin/python3 " + std::string(KIVOA_SOURCE_DIR) +
                                    "/tests/oracles/" + script + " " + KIVOA_BINARY_DIR +
                                    "/kivoa-info " + dir.Path();
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
}

TEST(KivoaInfo, FramesCountedChosenFromEitherEndAndACutShortOneSaid)
{
    ScratchFolder dir;
    WriteText(dir / "run.xyz", "1\n\nH 0 0 0\n2\n\nH 0 0 1\nH 0 0 2\n1\n\nH 0 0 3\n1\n\nH 0 0 4\n2\n\nH 0 0 5\n");
    const struct {
        const char *frame;
        int status;
        size_t atoms;
        double z;
    } cases[] = {{"0", 0, 1, 0.0}, {"1", 0, 2, 1.0}, {"-1", 0, 1, 4.0}, {"-4", 0, 1, 0.0}, {"4", 2, 0, 0.0},
                 {"-5", 2, 0, 0.0}, {"x", 2, 0, 0.0}};
    for (const auto &c : cases) {
        const SRun run = Info("--atoms --frame " + std::string(c.frame) + " " + dir / "run.xyz");
        EXPECT_EQ(run.status == 0 ? 0 : 2, c.status) << c.frame << run.err;
        if (c.status != 0)
            continue;
        const nlohmann::json j = Json(run);
        EXPECT_EQ(j["frames"], 4) << c.frame;
        EXPECT_EQ(j["atoms"], c.atoms) << c.frame;
        EXPECT_EQ(j["positions"][0][2], c.z) << c.frame;
        EXPECT_EQ(j["warning"], "line 17: the file ends after 1 of 2 atoms of frame 4 (from 0); the frames "
                                "before it are read");
        EXPECT_NE(run.err.find("line 17: the file ends"), std::string::npos);
    }
    // The frame shown alone, or every frame and the cut-short end as they were.
    EXPECT_EQ(Info("--frame 1 --frame-only --write " + dir / "one.xyz " + dir / "run.xyz").status, 0);
    EXPECT_EQ(ReadText(dir / "one.xyz"), "2\n\nH 0 0 1\nH 0 0 2\n");
    EXPECT_EQ(Info("--frame 1 --write " + dir / "all.xyz " + dir / "run.xyz").status, 0);
    EXPECT_EQ(ReadText(dir / "all.xyz"), ReadText(dir / "run.xyz"));
    EXPECT_EQ(Json(Info(DATA + "/xyz/water.xyz"))["frames"], 1);
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

// An atom added or moved onto another (within half the smaller element-table radius, through the
// cell's faces too) is kept, and standard error names the atom it lies on.
TEST(KivoaInfo, AnAtomPutOntoAnotherIsKeptAndSaid)
{
    const std::string si = " " + DATA + "/vasp/silicon.vasp";
    const std::pair<std::string, std::string> cases[] = {
        {"--add Si 0 0 0", "kivoa-info: Atom 8 (Si) lies on atom 0 (Si)\n"},
        {"--add Ge 5.40 5.43 0.02", "kivoa-info: Atom 8 (Ge) lies on atom 0 (Si)\n"},
        {"--add O 2.715 2.715 0.1", "kivoa-info: Atom 8 (O) lies on atom 3 (Si)\n"},
        {"--move 1 0.05 0 0", "kivoa-info: Atom 1 (Si) lies on atom 0 (Si)\n"},
        {"--add O 1.0 1.0 1.0", ""},
        {"--add Si 2.715 2.715 2.715", ""},
    };
    for (const auto &[args, note] : cases) {
        const SRun run = Info(args + si);
        EXPECT_EQ(run.status, 0) << args << ": " << run.err;
        EXPECT_EQ(run.err, note) << args;
        EXPECT_FALSE(Json(run).is_discarded()) << args;
    }
}
