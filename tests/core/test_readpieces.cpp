// The readers cut a file's atom lines into pieces read on several threads. Whatever the cut,
// they must give what one pass over the file gives: the atoms, the first failure with its line,
// what a save writes back. Small files are read in one pass; the test hook cuts them at every few
// bytes so that lines, CR LF pairs, records, frames and bad lines fall at the edges of pieces.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "clinepieces.h"
#include "cpdb.h"
#include "cvasp.h"
#include "cxyz.h"
#include "scratch_folder.h"
#include "structure_read.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

// Piece sizes in bytes and threads: one line per piece, pieces cut inside lines, a few lines.
const struct {
    size_t bytes;
    unsigned threads;
} SPLITS[] = {{1, 2}, {1, 7}, {3, 3}, {17, 2}, {29, 5}, {64, 4}, {200, 3}};

// Restores the sizes chosen by the machine however a test ends.
struct SForcedSplit {
    SForcedSplit(size_t bytes, unsigned threads) { CLinePieces::SetSplitForTesting(bytes, threads); }
    ~SForcedSplit() { CLinePieces::SetSplitForTesting(0, 0); }
};

void Put(std::ostringstream &out, const glm::dvec3 &p) { out << std::hexfloat << p.x << ',' << p.y << ',' << p.z << ';'; }

template <class V>
void PutAll(std::ostringstream &out, const V &values)
{
    for (const auto &v : values)
        out << v << ',';
    out << '\n';
}

void Extra(std::ostringstream &out, const CXyz &r)
{
    out << r.comment << '|' << r.u_species_column << r.u_position_column << r.u_number_column << '\n';
}

void Extra(std::ostringstream &out, const CPdb &r)
{
    out << r.pdb_format << '\n';
    PutAll(out, r.v_atom_columns);
    for (uint8_t c : r.v_atom_altloc)
        out << int(c) << ',';
    PutAll(out, r.header_info);
}

void Extra(std::ostringstream &out, const CVasp &r)
{
    out << r.u_velocity_line << '\n';
    PutAll(out, r.v_atom_type);
    for (const glm::dvec3 &p : r.v_fract_xyz)
        Put(out, p);
    for (const Dyn &d : r.v_dynamics)
        out << std::string(d.d, 3) << ',';
    PutAll(out, r.header_info);
}

// Everything a read leaves behind, and what a save with the first atom moved would write.
template <class TReader>
std::string Outcome(const std::string &path)
{
    SRead<TReader> r = ReadStructure<TReader>(std::filesystem::path(path).parent_path(), path);
    std::ostringstream out;
    out << r.ok << '|' << r.reader.error_message << '\n';
    for (const glm::dvec3 &p : r.xyz)
        Put(out, p);
    PutAll(out, r.index);
    PutAll(out, r.reader.v_source_line);
    Extra(out, r.reader);
    if (r.ok) {
        std::vector<glm::dvec3> moved = r.xyz;
        moved[0] += glm::dvec3(0.25, -0.5, 1.0);
        std::string saved;
        out << r.reader.RewriteText(moved, r.index, saved) << '|' << r.reader.error_message << '\n' << saved;
    }
    return out.str();
}

template <class TReader>
void ExpectSameInPieces(const std::string &path)
{
    const std::string serial = Outcome<TReader>(path);
    for (const auto &split : SPLITS) {
        SForcedSplit forced(split.bytes, split.threads);
        EXPECT_EQ(Outcome<TReader>(path), serial) << path << " in pieces of " << split.bytes << " bytes on "
                                                  << split.threads << " threads";
    }
}

void ExpectSameInPieces(const std::string &format, const std::string &path)
{
    if (format == "xyz")
        ExpectSameInPieces<CXyz>(path);
    else if (format == "pdb")
        ExpectSameInPieces<CPdb>(path);
    else
        ExpectSameInPieces<CVasp>(path);
}

std::string Line(const char *format, double a, double b, double c)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// Files with every kind of line the readers meet, `atoms` atoms, CR LF or LF line ends; with
// `bad` > 0 atom `bad` (from 1) does not read.
std::string ExtendedXyz(int atoms, const char *end, int bad)
{
    std::string text = std::to_string(atoms) + end +
                       "Lattice=\"9 0 0 0 9 0 0 0 9\" Properties=species:S:1:pos:R:3:Z:I:1 pbc=\"T T F\"" + end;
    for (int i = 1; i <= atoms; ++i)
        text += (i % 3 == 0 ? "O " : "H ") + Line(i == bad ? "%.4f %.4f 1.2.3" : "%.4f %.4f %.5f", i * 0.7, -i * 0.3, i * 1e-3) +
                (i % 3 == 0 ? " 8" : " 1") + end;
    // A second frame, which the reader leaves for the frames' index.
    return text + "1" + end + "frame 2" + end + "H 0 0 0";
}

std::string Pdb(int atoms, const char *end, int bad)
{
    std::string text = std::string("CRYST1   20.000   20.000   20.000  90.00  90.00  90.00 P 1           1") + end;
    char record[160];
    for (int i = 1; i <= atoms; ++i) {
        // Records by the standard's columns, some with an alternate location, and records split
        // at white space.
        if (i % 5 == 0)
            std::snprintf(record, sizeof record, "HETATM %d CL HOH A %d %.3f %.3f %s", i, i, i * 0.5, 1.0,
                          i == bad ? "x2.0" : "-2.0");
        else
            std::snprintf(record, sizeof record, "HETATM%5d  O  %cHOH A   1    %8.3f%8.3f%8s  1.00  0.00           O",
                          i, i % 7 == 0 ? 'A' : ' ', i * 0.25, -1.5, i == bad ? "1.2.3" : "3.000");
        text += record + std::string(end);
        if (i % 4 == 0)
            text += "ANISOU" + std::string(record + 6, 24) + "  100    200    300      0      0      0       O" + end;
        if (i % 11 == 0)
            text += std::string("TER") + end;
    }
    // What follows the end of the first model is not read, even when it would not read.
    return text + "END" + end + "HETATM garbage" + end + "MODEL 2" + end;
}

std::string Poscar(int atoms, const char *end, int bad)
{
    const int o = atoms / 3, h = atoms - o;
    std::string text = std::string("water") + end + "1.0" + end + "9 0 0" + end + "0 9 0" + end + "0 0 9" + end + "O H" + end +
                       std::to_string(o) + " " + std::to_string(h) + end + "Selective dynamics" + end + "Direct" + end;
    for (int i = 1; i <= atoms; ++i)
        text += Line("%.6f %.6f %.6f", i * 1e-3, 0.5, 0.25) + (i == bad ? " T" : " T F T") + end;
    text += end;
    for (int i = 1; i <= atoms; ++i)
        text += Line("%.3f %.3f %.3f", 0.1, 0.2, 0.3) + end;
    return text;
}

} // namespace

TEST(ReadPieces, EveryTestFileReadsAlikeInPieces)
{
    int checked = 0;
    for (const std::string format : {"xyz", "pdb", "vasp"})
        for (const auto &entry : std::filesystem::recursive_directory_iterator(DATA + "/" + format)) {
            const std::string path = entry.path();
            if (!entry.is_regular_file() || entry.path().extension() == ".msg" || entry.path().filename() == "POTCAR")
                continue;
            ExpectSameInPieces(format, path);
            ++checked;
        }
    EXPECT_GE(checked, 40);
}

TEST(ReadPieces, GeneratedFilesWithBadLinesAnywhereReadAlike)
{
    ScratchFolder dir;
    const struct {
        const char *format;
        std::string (*make)(int, const char *, int);
    } kinds[] = {{"xyz", ExtendedXyz}, {"pdb", Pdb}, {"vasp", Poscar}};
    for (const auto &kind : kinds)
        for (const char *end : {"\n", "\r\n"})
            for (int bad : {0, 1, 2, 29, 30, 60}) {
                const std::string path = dir / (std::string("generated.") + kind.format);
                std::string text = kind.make(60, end, bad);
                // The last line without its line end, and (for a bad line) the file cut short.
                text.resize(text.size() - std::string(end).size());
                WriteText(path, bad == 2 ? text.substr(0, text.size() / 2) : text);
                ExpectSameInPieces(kind.format, path);
            }
}

TEST(ReadPieces, PiecesAreTheWantedLinesInOrder)
{
    const std::string texts[] = {"", "a", "a\n", "a\r\nbb\r\n\r\nccc", "\n\n\n", "one\ntwo\nthree\nfour\n"};
    for (const std::string &text : texts)
        for (uint32_t wanted : {0u, 1u, 2u, 3u, 100u})
            for (size_t bytes : {1, 2, 5, 100}) {
                SForcedSplit forced(bytes, 3);
                const CLinePieces pieces(text, 10, wanted);
                std::string joined;
                uint32_t lines = 10;
                for (size_t k = 0; k < pieces.Count(); ++k) {
                    EXPECT_EQ(pieces[k].lines_before, lines);
                    if (k + 1 < pieces.Count()) {
                        EXPECT_EQ(pieces[k].text.back(), '\n');
                    }
                    joined += pieces[k].text;
                    lines += pieces[k].lines;
                }
                CTextFile file;
                file.SetText(text);
                std::string_view line;
                size_t end = 0;
                uint32_t expected = 0;
                for (; expected < wanted && file.NextLine(line); ++expected)
                    end = text.size() - file.RemainingBytes();
                EXPECT_EQ(joined, text.substr(0, end)) << '"' << text << "\" " << wanted << " lines, " << bytes << " bytes";
                EXPECT_EQ(lines - 10, expected);
            }
}
