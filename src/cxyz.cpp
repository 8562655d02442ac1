#include "cxyz.h"

#include "elements.h"

#include <algorithm>
#include <limits>

namespace {

constexpr size_t CELL_VALUES = 9;
// The shortest atom line, "H 0 0 0" and its line end; bounds the room reserved up front.
constexpr size_t MIN_ATOM_LINE = 8;
constexpr int XYZ_SYMBOL_WIDTH = 3;
constexpr int XYZ_FIELD_WIDTH = 20;
constexpr int XYZ_DECIMALS = 12;

// The comment around a cell text, joined by one space.
std::string Join(std::string_view before, std::string_view after)
{
    before = CTextFile::Trim(before);
    after = CTextFile::Trim(after);
    std::string joined(before);
    if (!before.empty() && !after.empty())
        joined += ' ';
    return joined.append(after);
}

} // namespace

bool CXyz::ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    return ReadInto(*this, d, f, xyz, index);
}

bool CXyz::Parse(const std::string &, CTextFile &file, std::vector<glm::dvec3> &xyz,
                 std::vector<uint32_t> &index)
{
    uint32_t count = 0;
    if (!ReadCount(file, count))
        return false;
    std::string_view line;
    if (!file.NextLine(line))
        return Fail(2, "expected the comment line, but the file ends");
    header_lines = 1;
    return ReadComment(line, 2) && ReadAtoms(file, count, xyz, index);
}

bool CXyz::ReadCount(CTextFile &file, uint32_t &count)
{
    std::string_view line;
    if (!file.NextLine(line))
        return Fail("the file is empty");
    std::string_view rest = line, token;
    long long value = 0;
    switch (CTextFile::ScanInteger(rest, value)) {
    case EField::MISSING:
        return Fail(1, "expected the atom count, found an empty line");
    case EField::OK:
        break;
    default:
        CTextFile::NextToken(rest, token);
        return Fail(1, "expected the atom count, found " + CTextFile::Shown(token));
    }
    if (value < 1)
        return Fail(1, "the atom count must be at least 1, found " + std::to_string(value));
    if (value > std::numeric_limits<uint32_t>::max())
        return Fail(1, "the atom count " + std::to_string(value) + " is too large");
    count = static_cast<uint32_t>(value);
    return true;
}

bool CXyz::ReadComment(std::string_view line, uint32_t n)
{
    comment = line;
    is_periodic = false;
    for (size_t at = line.find("Cell"); at != std::string_view::npos;
         at = line.find("Cell", at + 1)) {
        if (!ReadCell(line, at, n))
            return false;
        if (is_periodic)
            return true;
    }
    return true;
}

// A "Cell" followed by a quoted text, or by a number, is the cell; any other is a word of the
// comment. The quoted text must hold exactly nine numbers; without quotes the nine numbers
// after the word are taken.
bool CXyz::ReadCell(std::string_view line, size_t at, uint32_t n)
{
    std::string_view rest = CTextFile::SkipSpace(line.substr(at + 4));
    if (!rest.empty() && rest[0] == '=')
        rest = CTextFile::SkipSpace(rest.substr(1));
    const bool quoted = !rest.empty() && rest[0] == '"';
    std::string_view text = rest;
    if (quoted) {
        const size_t close = rest.find('"', 1);
        if (close == std::string_view::npos)
            return Fail(n, "the cell text has no closing quote");
        text = rest.substr(1, close - 1);
    }
    double values[CELL_VALUES];
    std::string_view probe = text;
    const EField first = CTextFile::ScanDouble(probe, values[0]);
    if (!quoted && (first == EField::MISSING || first == EField::INVALID))
        return true;
    for (size_t k = 0; k < CELL_VALUES; ++k) {
        const std::string_view before = text;
        const EField result = CTextFile::ScanDouble(text, values[k]);
        if (result == EField::MISSING)
            return Fail(n, "expected 9 cell values, found " + std::to_string(k));
        if (result != EField::OK)
            return Fail(n, CTextFile::BadNumber(before, result, "cell value"));
    }
    if (quoted && !CTextFile::SkipSpace(text).empty())
        return Fail(n, "expected 9 cell values, found more");
    for (int v = 0; v < 3; ++v)
        cell_xyz[v] = glm::dvec3(values[3 * v], values[3 * v + 1], values[3 * v + 2]);
    if (!CheckCell(n))
        return false;
    const size_t end = quoted ? static_cast<size_t>(rest.data() - line.data()) + rest.find('"', 1) + 1
                              : static_cast<size_t>(text.data() - line.data());
    comment = Join(line.substr(0, at), line.substr(end));
    is_periodic = true;
    return true;
}

bool CXyz::ReadAtoms(CTextFile &file, uint32_t count, std::vector<glm::dvec3> &xyz,
                     std::vector<uint32_t> &index)
{
    const size_t room = std::min<size_t>(count, file.RemainingBytes() / MIN_ATOM_LINE + 1);
    xyz.reserve(room);
    index.reserve(room);
    std::string_view line, symbol;
    for (uint32_t i = 0; i < count; ++i) {
        if (!file.NextLine(line))
            return Fail(file.LineNumber() + 1, "the file ends after " + std::to_string(i) +
                                                   " of " + std::to_string(count) + " atoms");
        const uint32_t n = file.LineNumber();
        std::string_view rest = line;
        if (!CTextFile::NextToken(rest, symbol))
            return Fail(n, "expected an element symbol and 3 coordinates, found an empty line");
        glm::dvec3 p;
        if (!ReadVector(rest, p, n, "coordinate") || !AddPosition(p, n, xyz))
            return false;
        index.push_back(SymbolIndex(symbol));
    }
    return true;
}

bool CXyz::SaveFile(std::string, std::string f, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    if (!CheckAtoms(xyz, index))
        return false;
    std::string text = std::to_string(xyz.size()) + "\n";
    text.reserve(xyz.size() * (XYZ_SYMBOL_WIDTH + 3 * XYZ_FIELD_WIDTH + 1) + comment.size() + 256);
    AppendCommentLine(text);
    for (size_t i = 0; i < xyz.size(); ++i) {
        const std::string_view s = SymbolOf(index[i]);
        text.append(s).append(XYZ_SYMBOL_WIDTH - s.size(), ' ');
        for (int k = 0; k < 3; ++k)
            AppendFixed(text, xyz[i][k], XYZ_FIELD_WIDTH, XYZ_DECIMALS);
        text += '\n';
    }
    return WriteText(f, text);
}

void CXyz::AppendCommentLine(std::string &text) const
{
    if (is_periodic) {
        text += "Cell=\"";
        for (int v = 0; v < 3; ++v)
            for (int k = 0; k < 3; ++k) {
                if (v + k > 0)
                    text += ' ';
                AppendExact(text, cell_xyz[v][k]);
            }
        text += '"';
        if (!comment.empty())
            text += ' ';
    }
    text.append(comment).append("\n");
}
