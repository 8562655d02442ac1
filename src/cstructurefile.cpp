#include "cstructurefile.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "elements.h"

namespace {

// Room for the longest fixed-point double: 309 digits, sign, point and decimals.
constexpr size_t NUMBER_BUFFER = 400;
// Cells whose volume is below this fraction of |a| |b| |c| are taken as flat.
constexpr double MIN_CELL_SINE = 1e-9;

// What the symbol lookup depends on: the first two characters, case folded as it folds them.
uint32_t SymbolKey(std::string_view token)
{
    const auto c0 = static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(token[0])));
    const auto c1 = token.size() > 1
                        ? static_cast<uint32_t>(std::tolower(static_cast<unsigned char>(token[1])))
                        : 0u;
    return 0x10000u | (c0 << 8) | c1;
}

// False also for coordinates that are not finite.
bool WithinRange(const glm::dvec3 &p)
{
    const double limit = CStructureFile::MAX_COORDINATE;
    return std::fabs(p.x) <= limit && std::fabs(p.y) <= limit && std::fabs(p.z) <= limit;
}

} // namespace

bool CStructureFile::GetFormat(std::string d, std::string f)
{
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> index;
    return ReadFile(d, f, xyz, index);
}

uint32_t CStructureFile::GetAtomIndex(std::string s) const
{
    const uint32_t idx = ElementIndexOfSymbol(std::move(s));
    return idx == NO_ELEMENT ? DUMMY_ELEMENT : idx;
}

uint32_t CStructureFile::SymbolIndex(std::string_view token)
{
    if (token.empty())
        return DUMMY_ELEMENT;
    const uint32_t key = SymbolKey(token);
    auto &slot = symbol_memo[((key >> 8) + 5 * key) % SYMBOL_MEMO_SLOTS];
    if (slot.first != key)
        slot = {key, GetAtomIndex(std::string(token.substr(0, 2)))};
    return slot.second;
}

bool CStructureFile::Fail(const std::string &reason)
{
    error_message = reason;
    return false;
}

bool CStructureFile::Fail(uint32_t line, const std::string &reason)
{
    return Fail("line " + std::to_string(line) + ": " + reason);
}

bool CStructureFile::ReadNumber(std::string_view &rest, double &v, uint32_t line,
                                const char *what)
{
    const std::string_view before = rest;
    const EField result = CTextFile::ScanDouble(rest, v);
    if (result == EField::OK)
        return true;
    if (result == EField::MISSING)
        return Fail(line, std::string("expected a ") + what);
    return Fail(line, CTextFile::BadNumber(before, result, what));
}

bool CStructureFile::ReadVector(std::string_view &rest, glm::dvec3 &v, uint32_t line,
                                const char *what)
{
    for (int k = 0; k < 3; ++k) {
        const std::string_view before = rest;
        const EField result = CTextFile::ScanDouble(rest, v[k]);
        if (result == EField::MISSING)
            return Fail(line, "expected 3 " + std::string(what) + "s, found " + std::to_string(k));
        if (result != EField::OK)
            return Fail(line, CTextFile::BadNumber(before, result, what));
    }
    return true;
}

bool CStructureFile::CheckCell(uint32_t line)
{
    const glm::dmat3 &c = cell_xyz;
    const double volume = std::fabs(glm::determinant(c));
    const double scale = glm::length(c[0]) * glm::length(c[1]) * glm::length(c[2]);
    // Angles that give no cell leave NaN, which the volume test reports.
    for (int v = 0; v < 3; ++v)
        if (!glm::any(glm::isnan(c[v])) && !WithinRange(c[v]))
            return Fail(line, "the cell vectors reach beyond 1e15 angstrom");
    if (std::isfinite(volume) && std::isfinite(scale) && volume > MIN_CELL_SINE * scale)
        return true;
    return Fail(line, "the cell vectors span no volume");
}

bool CStructureFile::AddPosition(const glm::dvec3 &p, uint32_t line, std::vector<glm::dvec3> &xyz)
{
    if (!WithinRange(p))
        return Fail(line, "the atom lies beyond 1e15 angstrom from the origin");
    xyz.push_back(p);
    return true;
}

void CStructureFile::SetBounds(const std::vector<glm::dvec3> &xyz)
{
    min_coord = max_coord = xyz.empty() ? glm::dvec3(0.0) : xyz.front();
    for (const glm::dvec3 &p : xyz) {
        min_coord = glm::min(min_coord, p);
        max_coord = glm::max(max_coord, p);
    }
}

bool CStructureFile::CheckAtoms(const std::vector<glm::dvec3> &xyz,
                                const std::vector<uint32_t> &index)
{
    error_message.clear();
    if (xyz.empty())
        return Fail("the structure has no atoms to save");
    if (index.size() != xyz.size())
        return Fail("the structure has " + std::to_string(xyz.size()) + " positions but " +
                    std::to_string(index.size()) + " elements");
    for (size_t i = 0; i < xyz.size(); ++i)
        if (!WithinRange(xyz[i]))
            return Fail("atom " + std::to_string(i + 1) +
                        " lies beyond 1e15 angstrom from the origin or is not finite");
    return true;
}

bool CStructureFile::WriteText(const std::string &f, const std::string &text)
{
    error_message.clear();
    return CTextFile::WriteAtomically(f, text, error_message);
}

void CStructureFile::AppendFixed(std::string &out, double v, int width, int decimals)
{
    char text[NUMBER_BUFFER];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
    const int length = static_cast<int>(r.ptr - text);
    out.append(length < width ? static_cast<size_t>(width - length) : 1, ' ');
    out.append(text, r.ptr);
}

void CStructureFile::AppendExact(std::string &out, double v)
{
    char text[NUMBER_BUFFER];
    const auto r = std::to_chars(text, text + sizeof text, v);
    out.append(text, r.ptr);
}
