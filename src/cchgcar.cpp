#include "cchgcar.h"

#include <algorithm>
#include <cctype>

#include "cgridtext.h"
#include "cmappedfile.h"

namespace {

// Grids beyond this many points are refused before anything is read.
constexpr double MAX_POINTS = 1e11;

bool StartsWith(std::string_view name, std::string_view start)
{
    return name.size() >= start.size() &&
           std::equal(start.begin(), start.end(), name.begin(),
                      [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); });
}

} // namespace

bool CChgcar::GridCounts(std::string_view line, glm::uvec3 &counts)
{
    double points = 1.0;
    for (int k = 0; k < 3; ++k) {
        long long n = 0;
        if (CTextFile::ScanInteger(line, n) != EField::OK || n < 1 || n > 0x7FFFFFFF)
            return false;
        counts[k] = static_cast<unsigned>(n);
        points *= static_cast<double>(n);
    }
    return CTextFile::SkipSpace(line).empty() && points <= MAX_POINTS;
}

bool CChgcar::ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                       std::vector<uint32_t> &index)
{
    CMappedFile map;
    if (!map.Open(f))
        return Fail(map.error_message);
    CTextFile file;
    file.SetPiece(map.Text(), 0);
    const size_t slash = f.rfind('/');
    const std::string_view base = std::string_view(f).substr(slash == std::string::npos ? 0 : slash + 1);
    CChgcar parsed;
    parsed.is_charge = !StartsWith(base, "LOCPOT") && !StartsWith(base, "ELFCAR");
    return ParseInto(*this, d, file, SLineMap{}, xyz, index, std::move(parsed));
}

// The POSCAR reader takes the structure (and looks past it for velocities); the grid is read
// from the line after the last position.
bool CChgcar::Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    const std::string_view text = file.Rest();
    if (!CVasp::Parse(d, file, xyz, index))
        return false;
    CTextFile lines;
    lines.SetPiece(text, 0);
    std::string_view line;
    for (size_t n = header_info.size() - 1 + total_atoms; n > 0; --n)
        lines.NextLine(line);
    if (!ReadGridCounts(lines) || !ReadBlocks(text, lines))
        return false;
    NameBlocks();
    grid.is_density = is_charge;
    grid.Summarise();
    return true;
}

bool CChgcar::ReadGridCounts(CTextFile &lines)
{
    std::string_view line;
    do
        if (!lines.NextLine(line))
            return Fail(lines.LineNumber() + 1, "expected the grid counts NX NY NZ, but the file ends");
    while (CTextFile::Trim(line).empty());
    if (!GridCounts(line, grid.u_counts))
        return Fail(lines.LineNumber(), "expected the grid counts NX NY NZ, found " + CTextFile::Shown(line));
    for (int k = 0; k < 3; ++k)
        grid.m_voxel[k] = cell_xyz[k] / double(grid.u_counts[k]);
    return true;
}

// `lines` stands at the counts line of the first block.
bool CChgcar::ReadBlocks(std::string_view text, CTextFile &lines)
{
    const double scale = is_charge ? 1.0 / std::abs(glm::determinant(cell_xyz)) : 1.0;
    uint64_t line = lines.LineNumber() + 1;
    size_t pos = static_cast<size_t>(lines.Rest().data() - text.data());
    for (bool is_block = true; is_block;) {
        std::vector<std::vector<float>> values(1);
        CGridText reader;
        if (!reader.Read(text.substr(pos), line, grid.PointCount(), scale, values))
            return Fail(static_cast<uint32_t>(reader.error_line), reader.error_reason);
        grid.v_blocks.emplace_back().v_value.swap(values[0]);
        pos += reader.end;
        line += reader.lines;
        // The next block starts after the next line that repeats the counts, if any.
        CTextFile after;
        after.SetPiece(text.substr(pos), 0);
        std::string_view next;
        glm::uvec3 counts;
        is_block = false;
        while (!is_block && after.NextLine(next))
            is_block = GridCounts(next, counts) && counts == grid.u_counts;
        pos += after.Rest().data() - text.substr(pos).data();
        line += after.LineNumber();
    }
    return true;
}

void CChgcar::NameBlocks()
{
    const size_t count = grid.v_blocks.size();
    static const char *const SPIN[] = {"total", "magnetization"};
    static const char *const NONCOLLINEAR[] = {"total", "mx", "my", "mz"};
    for (size_t b = 0; b < count; ++b)
        grid.v_blocks[b].name = is_charge && count == 2   ? SPIN[b]
                                : is_charge && count == 4 ? NONCOLLINEAR[b]
                                : is_charge && count == 1 ? "total"
                                                          : "block " + std::to_string(b);
}
