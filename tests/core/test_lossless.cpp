// Saving writes the file read back: nothing changes but what an edit touched.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cmodel.h"
#include "elements.h"
#include "structure_read.h"

namespace {

namespace fs = std::filesystem;
const std::string DATA = KIVOA_TEST_DATA;

int FormatOf(const fs::path &file)
{
    const std::string folder = file.parent_path().filename();
    const std::string ext = file.extension();
    if (folder == "pdb" || ext == ".pdb")
        return INPUT_FILE_TYPE_PDB;
    if (folder == "xyz" || ext == ".xyz")
        return INPUT_FILE_TYPE_XYZ;
    return INPUT_FILE_TYPE_VSP;
}

// Every structure file of the test data that reads, with the folder its POTCAR would be in.
std::vector<fs::path> GoodFiles()
{
    std::vector<fs::path> files;
    for (const auto &e : fs::recursive_directory_iterator(DATA)) {
        const fs::path p = e.path();
        const std::string name = p.filename();
        if (!e.is_regular_file() || p.string().find("/bad/") != std::string::npos ||
            p.string().find("/settings/") != std::string::npos || name == "POTCAR")
            continue;
        CModel m;
        if (m.ReadStructureFile(p.parent_path(), p, FormatOf(p)))
            files.push_back(p);
    }
    return files;
}

bool LoadText(CModel &m, const ScratchFolder &dir, const std::string &name, const std::string &text,
              int fmt)
{
    WriteText(dir / name, text);
    return m.ReadStructureFile(dir.Path(), dir / name, fmt);
}

std::string Saved(CModel &m, const ScratchFolder &dir)
{
    EXPECT_TRUE(m.SaveStructureFile(dir.Path(), dir / "saved", m.file_format)) << m.error_message;
    return ReadText(dir / "saved");
}

// Lines of `before` missing from `after` and lines of `after` new to it (a longest common
// subsequence diff), by line number from 0.
struct SDiff {
    std::vector<size_t> removed, added;
};

SDiff DiffLines(const std::vector<std::string> &a, const std::vector<std::string> &b)
{
    std::vector<std::vector<uint32_t>> lcs(a.size() + 1, std::vector<uint32_t>(b.size() + 1, 0));
    for (size_t i = a.size(); i-- > 0;)
        for (size_t j = b.size(); j-- > 0;)
            lcs[i][j] = a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
    SDiff d;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && a[i] == b[j]) {
            ++i;
            ++j;
        } else if (j < b.size() && (i == a.size() || lcs[i][j + 1] >= lcs[i + 1][j]))
            d.added.push_back(j++);
        else
            d.removed.push_back(i++);
    }
    return d;
}

using Lines_t = std::vector<size_t>;

} // namespace

TEST(Lossless, AnUneditedSaveIsTheFileReadByteForByte)
{
    ScratchFolder dir;
    const std::vector<fs::path> files = GoodFiles();
    ASSERT_GE(files.size(), 12u);
    for (const fs::path &file : files) {
        const std::string text = ReadText(file);
        // The same file with Windows line ends and without its last line end.
        std::string crlf;
        for (const std::string &line : Lines(text))
            crlf += line + "\r\n";
        for (const std::string &variant : {text, crlf, crlf.substr(0, crlf.size() - 2)}) {
            if (fs::exists(file.parent_path() / "POTCAR"))
                fs::copy_file(file.parent_path() / "POTCAR", dir / "POTCAR",
                              fs::copy_options::overwrite_existing);
            CModel m;
            ASSERT_TRUE(LoadText(m, dir, "in", variant, FormatOf(file))) << file << m.error_message;
            EXPECT_TRUE(m.IsUpdated());
            EXPECT_EQ(Saved(m, dir), variant) << file;
        }
    }
}

// For each format, each kind of edit on the first, a middle and the last atom: the file read
// back holds the edited atoms, and only the lines the edit must touch differ.
TEST(Lossless, EachEditChangesOnlyItsOwnLinesAndReadsBack)
{
    ScratchFolder dir;
    for (const fs::path &file : GoodFiles()) {
        const int fmt = FormatOf(file);
        CModel first;
        ASSERT_TRUE(first.ReadStructureFile(file.parent_path(), file, fmt));
        // Files of frames edit the atom in its other frames too (test_trajectory.cpp).
        if (first.FrameCount() > 1)
            continue;
        const CStructureFile &source = *first.Handler(fmt);
        const size_t n = first.v_atom_index.size();
        const std::vector<std::string> before = Lines(ReadText(file));
        for (size_t atom : {size_t(0), n / 2, n - 1}) {
            const size_t line = source.v_source_line[atom] - 1;
            for (int kind = 0; kind < 3; ++kind) {
                CModel m;
                ASSERT_TRUE(m.ReadStructureFile(file.parent_path(), file, fmt));
                std::vector<glm::dvec3> xyz = m.v_real_xyz;
                std::vector<uint32_t> index = m.v_atom_index;
                if (kind == 0) {
                    xyz[atom] += glm::dvec3(0.5, -0.25, 1.0);
                    m.MoveAtom(static_cast<uint32_t>(atom), xyz[atom]);
                } else if (kind == 1) {
                    index[atom] = index[atom] == 10 ? 18 : 10; // Na, or K for a sodium
                    m.SetElement(static_cast<uint32_t>(atom), index[atom]);
                } else if (n > 1) {
                    xyz.erase(xyz.begin() + atom);
                    index.erase(index.begin() + atom);
                    m.DeleteAtomIndex(static_cast<uint32_t>(atom));
                } else
                    continue;
                EXPECT_EQ(m.CheckInvariants(), "");
                WriteText(dir / "POTCAR", fs::exists(file.parent_path() / "POTCAR")
                                              ? ReadText(file.parent_path() / "POTCAR")
                                              : "");
                const std::string what = file.string() + " atom " + std::to_string(atom) +
                                         " edit " + std::to_string(kind);
                const SDiff d = DiffLines(before, Lines(Saved(m, dir)));
                CModel again;
                ASSERT_TRUE(again.ReadStructureFile(dir.Path(), dir / "saved", fmt))
                    << what << ": " << again.error_message;
                EXPECT_EQ(again.v_atom_index, index) << what;
                ASSERT_EQ(again.v_real_xyz.size(), xyz.size()) << what;
                for (size_t i = 0; i < xyz.size(); ++i)
                    for (int k = 0; k < 3; ++k)
                        EXPECT_NEAR(again.v_real_xyz[i][k], xyz[i][k], 1e-3) << what;
                // Lines besides the atom's own that an edit may rewrite: the XYZ count line, the
                // VASP species and counts lines.
                Lines_t header;
                if (fmt == INPUT_FILE_TYPE_XYZ)
                    header = {0};
                if (fmt == INPUT_FILE_TYPE_VSP)
                    header = {first.vasp.u_species_line - 1, first.vasp.u_counts_line - 1};
                if (kind == 0 || (kind == 1 && fmt != INPUT_FILE_TYPE_VSP)) {
                    EXPECT_EQ(d.removed, Lines_t{line}) << what;
                    EXPECT_EQ(d.added, Lines_t{line}) << what;
                    continue;
                }
                // A deleted PDB atom takes its ANISOU record and its CONECT entries along.
                const auto follows = [&](size_t r) {
                    return fmt == INPUT_FILE_TYPE_PDB && kind == 2 &&
                           (before[r].rfind("ANISOU", 0) == 0 || before[r].rfind("CONECT", 0) == 0);
                };
                for (size_t r : d.removed) {
                    EXPECT_TRUE((r == line && kind == 2) || follows(r) ||
                                std::find(header.begin(), header.end(), r) != header.end())
                        << what << ": line " << r + 1 << " went";
                }
                if (kind == 2) {
                    EXPECT_NE(std::find(d.removed.begin(), d.removed.end(), line), d.removed.end())
                        << what;
                    // The records right after a deleted atom's that describe it go too.
                    for (size_t r = line + 1; fmt == INPUT_FILE_TYPE_PDB && r < before.size() &&
                                              before[r].rfind("ANISOU", 0) == 0 &&
                                              before[r].substr(6, 5) == before[line].substr(6, 5);
                         ++r)
                        EXPECT_NE(std::find(d.removed.begin(), d.removed.end(), r), d.removed.end())
                            << what << ": its ANISOU on line " << r + 1 << " stayed";
                }
                EXPECT_LE(d.added.size(), header.size() + (fmt == INPUT_FILE_TYPE_VSP)) << what;
            }
        }
    }
}

TEST(Lossless, VaspSpeciesAreRunsInFileOrderWithTheirLabels)
{
    ScratchFolder dir;
    const std::string head = "FeO with a labelled species\n1.0\n4 0 0\n0 4 0\n0 0 4\n";
    const std::string atoms = "0 0 0\n0.5 0 0\n0 0.5 0\n0 0 0.5\n0.5 0.5 0.5\n";
    const std::string velocities = "\n1 0 0\n2 0 0\n3 0 0\n4 0 0\n5 0 0\n";
    const std::string text = head + "  Fe  Fe  O  Fe_pv\n  1  1  2  1\nDirect\n" + atoms + velocities;
    CModel m;
    ASSERT_TRUE(LoadText(m, dir, "POSCAR", text, INPUT_FILE_TYPE_VSP)) << m.error_message;
    EXPECT_EQ(m.v_atom_index, (std::vector<uint32_t>{25, 25, 7, 7, 25}));
    EXPECT_EQ(Saved(m, dir), text);

    m.SetElement(2, 6); // the first O becomes N: its run splits, nothing moves
    EXPECT_EQ(Lines(Saved(m, dir))[5], "  Fe  Fe  N  O  Fe_pv");
    EXPECT_EQ(Lines(Saved(m, dir))[6], "  1  1  1  1  1");
    m.DeleteAtomIndex(0);
    const std::vector<std::string> lines = Lines(Saved(m, dir));
    EXPECT_EQ(lines[5], "  Fe  N  O  Fe_pv");
    EXPECT_EQ(lines[6], "  1  1  1  1");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 8, lines.end()),
              (std::vector<std::string>{"0.5 0 0", "0 0.5 0", "0 0 0.5", "0.5 0.5 0.5", "",
                                        "2 0 0", "3 0 0", "4 0 0", "5 0 0"}));
    CModel again;
    ASSERT_TRUE(again.ReadStructureFile(dir.Path(), dir / "saved", INPUT_FILE_TYPE_VSP));
    EXPECT_EQ(again.v_atom_index, (std::vector<uint32_t>{25, 6, 7, 25}));
    // A structure just read has nothing to save, whatever the one before it had.
    m.MoveAtom(0, glm::dvec3(1.0));
    EXPECT_FALSE(m.IsUpdated());
    ASSERT_TRUE(LoadText(m, dir, "POSCAR", text, INPUT_FILE_TYPE_VSP));
    EXPECT_TRUE(m.IsUpdated());
    m.DeleteAtomIndex(0);
    // The model's own rules catch what would make a save write wrong atoms.
    EXPECT_EQ(m.CheckInvariants(), "");
    m.vasp.v_atom_origin.pop_back();
    EXPECT_EQ(m.CheckInvariants(), "the atoms are out of step with the file read");
    m.vasp.v_atom_origin.push_back(4);
    m.v_atom_index[1] = periodic_table_atoms;
    EXPECT_EQ(m.CheckInvariants(), "atom 1 has no element");
}

TEST(Lossless, ExtendedXyzColumnsCellAndLaterFrames)
{
    ScratchFolder dir;
    const std::string frame =
        "2\nLattice=\"5.0 0.0 0.0 0.0 6.0 0.0 0.0 0.0 7.0\" "
        "Properties=species:S:1:pos:R:3:forces:R:3 energy=-1.5 pbc=\"T T T\"\n"
        "Na       0.00000000       0.00000000       0.00000000       0.10000000       0.00000000       0.00000000\n"
        "Cl       2.50000000       3.00000000       3.50000000      -0.10000000       0.00000000       0.00000000\n";
    CModel m;
    ASSERT_TRUE(LoadText(m, dir, "in.xyz", frame + frame, INPUT_FILE_TYPE_XYZ)) << m.error_message;
    EXPECT_TRUE(m.is_periodic);
    EXPECT_EQ(m.m_cell_box, glm::dmat3(5, 0, 0, 0, 6, 0, 0, 0, 7));
    m.MoveAtom(1, glm::dvec3(2.25, 3.0, 3.5));
    const std::vector<std::string> lines = Lines(Saved(m, dir));
    EXPECT_EQ(lines[3], "Cl       2.25000000       3.00000000       3.50000000      -0.10000000       0.00000000       0.00000000");
    EXPECT_EQ(lines.size(), 8u);

    // Columns in another order; pbc F switches the cell off; a comment never makes a file
    // unreadable.
    CModel other;
    ASSERT_TRUE(LoadText(other, dir, "o.xyz",
                         "1\nProperties=id:I:1:pos:R:3:species:S:1 Lattice=\"3 0 0 0 3 0 0 0 3\" pbc=\"F F F\"\n"
                         "7 1.0 2.0 3.0 O\n",
                         INPUT_FILE_TYPE_XYZ))
        << other.error_message;
    EXPECT_FALSE(other.is_periodic);
    EXPECT_EQ(other.v_real_xyz[0], glm::dvec3(1, 2, 3));
    EXPECT_EQ(other.v_atom_index[0], 7u);
    for (const fs::path &f : fs::directory_iterator(DATA + "/xyz/no_cell")) {
        CModel nocell;
        EXPECT_TRUE(nocell.ReadStructureFile(DATA, f, INPUT_FILE_TYPE_XYZ)) << f << nocell.error_message;
        EXPECT_FALSE(nocell.is_periodic) << f;
    }
}

TEST(Lossless, ReplacedFieldsKeepEveryOtherCharacter)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-1000.0, 1000.0);
    std::uniform_int_distribution<int> blanks(0, 4), digits(0, 9);
    for (int trial = 0; trial < 500; ++trial) {
        std::string line;
        std::vector<std::string> fields;
        std::vector<size_t> room;
        for (int f = 0; f < 5; ++f) {
            const size_t start = line.size();
            line.append(f == 0 ? blanks(rng) : 1 + blanks(rng), ' ');
            std::string text = std::to_string(digits(rng)) + "." + std::string(digits(rng), '5');
            fields.push_back(text);
            line += text;
            room.push_back(line.size() - start);
        }
        line.append(blanks(rng), ' ');
        const size_t which = static_cast<size_t>(digits(rng) % 5);
        const double v = value(rng);
        const std::string text = CStructureFile::NumberLike(fields[which], v);
        const std::string out = CStructureFile::ReplaceFields(line, {{which, text}});
        for (size_t f = 0; f < 5; ++f)
            EXPECT_EQ(std::string(CStructureFile::Field(out, f)), f == which ? text : fields[f]) << line;
        EXPECT_NEAR(std::stod(text), v, 0.5e-4);
        // The fields after the replaced one keep their columns when it fits.
        if (which > 0 && text.size() < room[which]) {
            EXPECT_EQ(out.size(), line.size()) << line;
        }
    }
    EXPECT_EQ(CStructureFile::NumberLike("1.5E-03", 0.25), "2.5000E-01");
    EXPECT_EQ(CStructureFile::NumberLike("0.123456789", 1.0), "1.000000000");
}

TEST(Lossless, ATargetTheUserMayNotWriteIsRefusedAndKept)
{
    ScratchFolder dir;
    CModel m;
    ASSERT_TRUE(m.ReadStructureFile(DATA + "/xyz", DATA + "/xyz/water.xyz", INPUT_FILE_TYPE_XYZ));
    m.MoveAtom(0, glm::dvec3(1.0));
    chmod(dir.Path().c_str(), 0777);
    WriteText(dir / "locked.xyz", "protected");
    chmod((dir / "locked.xyz").c_str(), 0444);
    // Root may write anything, so the save runs as another user when the test runs as root.
    const pid_t child = fork();
    if (child == 0) {
        const passwd *nobody = getpwnam("nobody");
        if (geteuid() == 0 && (nobody == nullptr || setuid(nobody->pw_uid) != 0))
            _exit(3);
        const bool saved = m.SaveStructureFile(dir.Path(), dir / "locked.xyz", INPUT_FILE_TYPE_XYZ);
        _exit(!saved && m.error_message.find("Permission denied") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadText(dir / "locked.xyz"), "protected");
}

// Random edits, all undone, give back the structure read (and its file, byte for byte); all
// redone, the edited one. Save marks the point that counts as unsaved-free.
TEST(Lossless, UndoAndRedoWalkEveryEditBackAndForth)
{
    ScratchFolder dir;
    std::mt19937 rng(5);
    for (const char *name : {"vasp/dynamics.vasp", "xyz/water.xyz", "pdb/two_chains.pdb"}) {
        const fs::path file = DATA + "/" + name;
        CModel m;
        ASSERT_TRUE(m.ReadStructureFile(file.parent_path(), file, FormatOf(file)));
        const CModel read = m;
        for (int step = 0; step < 12 && m.v_atom_index.size() > 1; ++step) {
            const auto atom = static_cast<uint32_t>(rng() % m.v_atom_index.size());
            switch (rng() % 4) {
            case 0:
                m.MoveAtom(atom, m.v_real_xyz[atom] + glm::dvec3(0.5, 0.0, -1.0));
                break;
            case 1:
                m.SetElement(atom, rng() % 20);
                break;
            case 2:
                m.DeleteAtomIndex(atom);
                break;
            default:
                m.CenterZero();
            }
        }
        const CModel edited = m;
        EXPECT_FALSE(m.IsUpdated());
        while (m.Undo()) {
        }
        EXPECT_TRUE(m.IsUpdated()) << name;
        EXPECT_EQ(m.v_real_xyz, read.v_real_xyz) << name;
        EXPECT_EQ(m.v_float_raw_xyz, read.v_float_raw_xyz) << name;
        EXPECT_EQ(m.v_atom_index, read.v_atom_index) << name;
        EXPECT_EQ(m.i_number_of_bonds, read.i_number_of_bonds) << name;
        EXPECT_EQ(m.CheckInvariants(), "") << name;
        EXPECT_EQ(Saved(m, dir), ReadText(file)) << name;
        while (m.Redo()) {
        }
        EXPECT_EQ(m.v_real_xyz, edited.v_real_xyz) << name;
        EXPECT_EQ(m.v_atom_index, edited.v_atom_index) << name;
        EXPECT_EQ(m.Handler(m.file_format)->v_atom_origin, edited.Handler(m.file_format)->v_atom_origin);

        // A save is the new clean point; a new edit after an undo drops what could be redone.
        Saved(m, dir);
        EXPECT_TRUE(m.IsUpdated());
        m.Undo();
        EXPECT_FALSE(m.IsUpdated());
        m.Redo();
        EXPECT_TRUE(m.IsUpdated());
        m.Undo();
        m.MoveAtom(0, glm::dvec3(9.0));
        EXPECT_FALSE(m.CanRedo());
        EXPECT_FALSE(m.IsUpdated());
    }
}

// A re-typed PDB atom reads back as its new element even where the record's own columns would
// not carry it: characters after the element columns make the reader take the name instead.
TEST(Lossless, ARetypedPdbRecordReadsBackAsItsNewElement)
{
    ScratchFolder dir;
    const std::string record = "ATOM      3 HG21BVAL A   5      -1.100   2.100   3.100  0.50 20.00";
    for (const std::string &tail : {std::string(10, ' ') + " H?", std::string(), std::string(10, ' ') + " H  "}) {
        CModel m;
        ASSERT_TRUE(LoadText(m, dir, "in.pdb", record + tail + "\nATOM      4  CA  VAL A   5       0.000   0.000   0.000\n",
                             INPUT_FILE_TYPE_PDB))
            << m.error_message;
        ASSERT_EQ(m.v_atom_index[0], 0u) << tail;
        m.SetElement(0, 7);
        m.SetElement(1, 10);
        Saved(m, dir);
        CModel again;
        ASSERT_TRUE(again.ReadStructureFile(dir.Path(), dir / "saved", INPUT_FILE_TYPE_PDB));
        EXPECT_EQ(again.v_atom_index, (std::vector<uint32_t>{7, 10})) << tail;
    }
}
