#include "ccube.h"

#include <cmath>

#include "cgridtext.h"
#include "cmappedfile.h"
#include "elements.h"

namespace {

// More orbitals than this in one file are refused before anything is read.
constexpr long long MAX_ORBITALS = 1 << 16;
// Grids beyond this many points (times orbitals) are refused before anything is read.
constexpr double MAX_VALUES = 1e11;

} // namespace

bool CCube::ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    CMappedFile map;
    if (!map.Open(f))
        return Fail(map.error_message);
    CTextFile file;
    file.SetPiece(map.Text(), 0);
    return ParseInto(*this, d, file, SLineMap{}, xyz, index);
}

bool CCube::Parse(const std::string &, CTextFile &file, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    const std::string_view text = file.Rest();
    std::string_view line;
    if (!NextLine(file, line, "the first comment line") || !NextLine(file, line, "the second comment line") ||
        !ReadOrigin(file) || !ReadAxes(file) || !ReadAtoms(file, xyz, index) || !ReadOrbitals(file) ||
        !ReadValues(text, file))
        return false;
    header_lines = file.LineNumber();
    grid.Summarise();
    return true;
}

bool CCube::NextLine(CTextFile &file, std::string_view &line, const char *expected)
{
    if (file.NextLine(line))
        return true;
    return file.LineNumber() == 0 ? Fail("the file is empty")
                                  : Fail(file.LineNumber() + 1, std::string("expected ") + expected + ", but the file ends");
}

bool CCube::ReadCount(std::string_view &rest, long long &n, uint32_t line, const char *what)
{
    const std::string_view before = rest;
    const EField result = CTextFile::ScanInteger(rest, n);
    if (result == EField::OK)
        return true;
    std::string_view shown = before, token;
    CTextFile::NextToken(shown, token);
    return Fail(line, std::string("expected ") + what + ", found " +
                          (result == EField::MISSING ? "nothing" : CTextFile::Shown(token)));
}

bool CCube::ReadOrigin(CTextFile &file)
{
    std::string_view line;
    if (!NextLine(file, line, "the atom count and the origin") ||
        !ReadCount(line, i_atoms, file.LineNumber(), "the atom count") ||
        !ReadVector(line, grid.origin, file.LineNumber(), "origin coordinate"))
        return false;
    if (i_atoms == 0 || std::llabs(i_atoms) > 0x7FFFFFFF)
        return Fail(file.LineNumber(), "the atom count must be from 1 to 2147483647 (negative for orbitals), found " +
                                           std::to_string(i_atoms));
    return true;
}

// The sign of the first count gives the unit of every length, the origin's included.
bool CCube::ReadAxes(CTextFile &file)
{
    std::string_view line;
    glm::uvec3 counts{0};
    glm::dmat3 voxel{1.0};
    double points = 1.0;
    for (int k = 0; k < 3; ++k) {
        long long n = 0;
        if (!NextLine(file, line, "a point count and voxel vector") ||
            !ReadCount(line, n, file.LineNumber(), "a point count") ||
            !ReadVector(line, voxel[k], file.LineNumber(), "voxel vector component"))
            return false;
        if (n == 0 || std::llabs(n) > 0x7FFFFFFF)
            return Fail(file.LineNumber(), "the point count must not be 0, found " + std::to_string(n));
        if (k == 0)
            unit = n > 0 ? BOHR : 1.0;
        counts[k] = static_cast<unsigned>(std::llabs(n));
        points *= static_cast<double>(counts[k]);
    }
    if (points > MAX_VALUES)
        return Fail(file.LineNumber(), "the grid of " + std::to_string(points) + " points is too large");
    // Stored with the file's last axis first, so that the values stand in file order.
    grid.is_reversed = true;
    grid.u_counts = glm::uvec3(counts.z, counts.y, counts.x);
    grid.origin *= unit;
    for (int k = 0; k < 3; ++k) {
        grid.m_voxel[2 - k] = voxel[k] * unit;
        cell_xyz[k] = voxel[k] * unit * double(counts[k]);
    }
    is_periodic = true;
    return CheckCell(file.LineNumber());
}

bool CCube::ReadAtoms(CTextFile &file, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    std::string_view line;
    for (long long i = 0; i < std::llabs(i_atoms); ++i) {
        long long z = 0;
        double charge = 0.0;
        glm::dvec3 p;
        if (!NextLine(file, line, "an atom line") || !ReadCount(line, z, file.LineNumber(), "an atomic number") ||
            !ReadNumber(line, charge, file.LineNumber(), "charge") ||
            !ReadVector(line, p, file.LineNumber(), "coordinate") || !AddPosition(p * unit, file.LineNumber(), xyz))
            return false;
        index.push_back(z >= 1 && z <= DUMMY_ELEMENT ? static_cast<uint32_t>(z - 1) : DUMMY_ELEMENT);
    }
    return true;
}

// The orbital count and the indices may run over several lines.
bool CCube::ReadOrbitals(CTextFile &file)
{
    if (i_atoms > 0)
        return true;
    std::string_view line;
    long long wanted = -1;
    while (wanted < 0 || static_cast<long long>(v_orbitals.size()) < wanted) {
        if (!NextLine(file, line, "the orbital indices"))
            return false;
        bool is_bad = false;
        for (long long n = 0; !is_bad && CTextFile::ScanInteger(line, n) == EField::OK;)
            if (wanted < 0)
                is_bad = (wanted = n) < 1 || n > MAX_ORBITALS;
            else if (static_cast<long long>(v_orbitals.size()) < wanted)
                v_orbitals.push_back(n);
        if (is_bad || !CTextFile::SkipSpace(line).empty())
            return Fail(file.LineNumber(), "expected the orbital count (1 to 65536) and indices, found " +
                                               CTextFile::Shown(CTextFile::Trim(line)));
    }
    return true;
}

bool CCube::ReadValues(std::string_view text, CTextFile &file)
{
    const size_t blocks = std::max<size_t>(v_orbitals.size(), 1);
    if (static_cast<double>(grid.PointCount()) * static_cast<double>(blocks) > MAX_VALUES)
        return Fail(file.LineNumber(), "the grid holds too many values");
    std::vector<std::vector<float>> values(blocks);
    CGridText reader;
    const size_t pos = static_cast<size_t>(file.Rest().data() - text.data());
    if (!reader.Read(text.substr(pos), file.LineNumber() + 1, grid.PointCount() * blocks, 1.0, values))
        return Fail(static_cast<uint32_t>(reader.error_line), reader.error_reason);
    for (size_t b = 0; b < blocks; ++b) {
        CVolumeGrid::SBlock &block = grid.v_blocks.emplace_back();
        block.name = v_orbitals.empty() ? "block 0" : "orbital " + std::to_string(v_orbitals[b]);
        block.v_value.swap(values[b]);
    }
    return true;
}
