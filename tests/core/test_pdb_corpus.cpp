// Real Protein Data Bank entries, as Debian's documentation and test packages ship them, and the
// standard-column excerpts of tests/data/pdb, read by kivoa-info and by gemmi: the same atoms
// (element and position) and the same cell.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "scratch_folder.h"

namespace {

// Installed by scripts/install-deps.sh; between them they hold entries with several chains,
// waters, ligands, alternate locations, insertion codes, NMR models, files without element
// columns, and files of more than 99999 atoms numbered in hybrid-36 and in hexadecimal.
const char *const PACKAGES = "pdb2pqr-doc python3-prody-tests raster3d-doc";
const char *const PYTHON = "/usr/bin/python3";
constexpr size_t MIN_ENTRIES = 20;

struct SRun {
    int status = -1;
    std::string out;
};

SRun RunCommand(const std::string &command)
{
    SRun run;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

bool EndsWith(const std::string &s, const std::string &end)
{
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The PDB files of the packages; compressed ones are unpacked into `dir`.
std::vector<std::string> Entries(const ScratchFolder &dir)
{
    std::vector<std::string> files;
    const SRun listed = RunCommand(std::string("dpkg -L ") + PACKAGES);
    std::istringstream lines(listed.out);
    for (std::string path; std::getline(lines, path);) {
        if (EndsWith(path, ".pdb") || EndsWith(path, ".ent"))
            files.push_back(path);
        else if (EndsWith(path, ".pdb.gz") || EndsWith(path, ".ent.gz")) {
            const std::string base = path.substr(path.rfind('/') + 1);
            const std::string out = dir / std::to_string(files.size()) + "-" +
                                    base.substr(0, base.size() - 3);
            if (RunCommand("gunzip -c '" + path + "' > '" + out + "'").status == 0)
                files.push_back(out);
        }
    }
    return files;
}

} // namespace

TEST(PdbCorpus, EveryEntryReadsAsGemmiReadsIt)
{
    ScratchFolder dir;
    std::vector<std::string> files = Entries(dir);
    ASSERT_GE(files.size(), MIN_ENTRIES) << "run scripts/install-deps.sh: " << PACKAGES;
    const std::string compare = std::string(PYTHON) + " " + KIVOA_TEST_DATA +
                                "/../oracles/pdb_gemmi_compare.py " + KIVOA_BINARY_DIR +
                                "/kivoa-info ";
    for (const char *fixture : {"standard_columns.pdb", "chain_missing.pdb", "two_chains.pdb",
                                "hexagonal.pdb"})
        files.push_back(std::string(KIVOA_TEST_DATA) + "/pdb/" + fixture);
    for (const std::string &file : files) {
        const SRun run = RunCommand(compare + "'" + file + "' " + dir.Path());
        EXPECT_EQ(run.status, 0) << run.out;
    }
}
