#include "cstructurefile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "elements.h"

namespace {

// Room for the longest fixed-point double: 309 digits, sign, point and decimals.
constexpr size_t NUMBER_BUFFER = 400;
// Enough for any double to read back exactly.
constexpr int MAX_DECIMALS = 17;
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

const glm::dmat3 &CStructureFile::SavedCell() const { return is_cell_edited ? edited_cell : cell_xyz; }

void CStructureFile::ForgetSource()
{
    std::string().swap(source_text);
    std::vector<uint32_t>().swap(v_source_line);
    std::vector<uint32_t>().swap(v_source_index);
    std::vector<glm::dvec3>().swap(v_source_xyz);
    Clear();
    source_stamp = SFileStamp();
}

std::string CStructureFile::WhyNoSupercell() const
{
    return Grid() != nullptr ? "a structure read with a volumetric grid cannot be made a supercell" : "";
}

std::string CStructureFile::AsymmetricUnitOf(std::string_view space_group)
{
    std::string compact;
    for (char c : space_group)
        if (!CTextFile::IsSpace(c))
            compact += c;
    if (compact.empty() || compact == "P1")
        return {};
    return "the atoms are the asymmetric unit of space group " + std::string(CTextFile::Trim(space_group)) +
           ", not a whole cell, so repeating them would not build the crystal";
}

bool CStructureFile::ChangedOnDisk(const std::string &f) const
{
    return CDiskFile::IsStamped(source_stamp, f) && CDiskFile::Changed(source_stamp);
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
    return Fail("line " + std::to_string(line_map.FileLine(line)) + ": " + reason);
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

const char *CStructureFile::CellFault() const
{
    const glm::dmat3 &c = cell_xyz;
    const double volume = std::fabs(glm::determinant(c));
    const double scale = glm::length(c[0]) * glm::length(c[1]) * glm::length(c[2]);
    // Angles that give no cell leave NaN, which the volume test reports.
    for (int v = 0; v < 3; ++v)
        if (!glm::any(glm::isnan(c[v])) && !WithinRange(c[v]))
            return "the cell vectors reach beyond 1e15 angstrom";
    if (std::isfinite(volume) && std::isfinite(scale) && volume > MIN_CELL_SINE * scale)
        return nullptr;
    return "the cell vectors span no volume";
}

bool CStructureFile::CheckCell(uint32_t line)
{
    const char *fault = CellFault();
    return fault == nullptr || Fail(line, fault);
}

std::string_view CStructureFile::Field(std::string_view line, size_t k)
{
    std::string_view token;
    for (size_t i = 0; i <= k; ++i)
        if (!CTextFile::NextToken(line, token))
            return {};
    return token;
}

bool CStructureFile::AddPosition(const glm::dvec3 &p, uint32_t line, std::vector<glm::dvec3> &xyz)
{
    if (!WithinRange(p))
        return Fail(line, "the atom lies beyond 1e15 angstrom from the origin");
    xyz.push_back(p);
    v_source_line.push_back(line);
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
    if (!CDiskFile::Replace(f, text, error_message))
        return false;
    struct stat st;
    if (::stat(f.c_str(), &st) == 0)
        source_stamp = CDiskFile::Stamp(f, st, text);
    return true;
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

void CStructureFile::KeepSource(const std::string &d, CTextFile &file, const std::vector<glm::dvec3> &xyz,
                                const std::vector<uint32_t> &index)
{
    source_folder = d;
    source_stamp = file.stamp;
    source_text = file.TakeText();
    v_source_xyz.clear();
    ReserveLarge(v_source_xyz, xyz.size());
    v_source_xyz.assign(xyz.begin(), xyz.end());
    v_source_index = index;
    Restart(xyz.size());
}

std::vector<CStructureFile::SAtomEdit> CStructureFile::Edits(const std::vector<glm::dvec3> &xyz,
                                                             const std::vector<uint32_t> &index)
{
    const size_t read = v_source_index.size();
    std::vector<SAtomEdit> edits(read);
    for (uint32_t s = 0; s < edits.size(); ++s) {
        edits[s].source = s;
        edits[s].deleted = true;
    }
    const bool cell_moves = is_cell_edited && CellMovesAtoms();
    v_added.clear();
    u_deleted = read;
    for (size_t i = 0; i < v_atom_origin.size(); ++i) {
        const uint32_t origin = v_atom_origin[i];
        SAtomEdit added;
        if (origin >= read)
            added.source = v_added_template[origin - read];
        SAtomEdit &e = origin < read ? edits[origin] : v_added.emplace_back(added);
        e.deleted = false;
        e.xyz = xyz[i];
        e.element = index[i];
        e.moved = origin >= read || cell_moves || xyz[i] != v_source_xyz[e.source];
        e.retyped = origin >= read || index[i] != v_source_index[e.source];
        if (origin < read)
            --u_deleted;
    }
    return edits;
}

std::string_view CStructureFile::AtomLine(uint32_t source) const
{
    return v_atom_lines[source < v_atom_lines.size() ? source : v_atom_lines.size() - 1];
}

void CStructureFile::AppendAdded(std::string &text)
{
    const bool is_line_open = !text.empty() && text.back() != '\n';
    if (is_line_open)
        text += LineEnd();
    for (const SAtomEdit &added : v_added) {
        AddedAtomLine(added, text);
        text += LineEnd();
    }
    if (is_line_open)
        text.resize(text.size() - LineEnd().size());
}

bool CStructureFile::WriteBack(const std::string &f, const std::vector<glm::dvec3> &xyz,
                               const std::vector<uint32_t> &index)
{
    std::string text;
    return RewriteText(xyz, index, text) && WriteText(f, text);
}

bool CStructureFile::RewriteText(const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index,
                                 std::string &text)
{
    if (v_atom_origin.size() != xyz.size() || v_source_line.size() != v_source_index.size() ||
        v_source_line.empty())
        return Fail("the atoms are out of step with the file they were read from");
    const std::vector<SAtomEdit> edits = Edits(xyz, index);
    if (!v_added.empty())
        v_atom_lines = AtomLines();
    error_message.clear();
    PrepareRewrite(edits);
    text.clear();
    text.reserve(source_text.size() + source_text.size() / 8);
    size_t next = 0;
    uint32_t n = 0;
    bool is_adding = false;
    size_t pos = TextStart();
    text.append(source_text, 0, pos);
    u_own_lines_start = std::string::npos;
    while (pos < source_text.size()) {
        const size_t lf = source_text.find('\n', pos);
        const size_t end = lf == std::string::npos ? source_text.size() : lf + 1;
        size_t body = end;
        if (body > pos && source_text[body - 1] == '\n')
            --body;
        if (body > pos && source_text[body - 1] == '\r')
            --body;
        const std::string_view line(source_text.data() + pos, body - pos);
        ++n;
        const bool is_atom = next < edits.size() && v_source_line[next] == n;
        if (is_adding && (is_atom || !FollowsAtom(line))) {
            AppendAdded(text);
            is_adding = false;
        }
        const size_t mark = text.size();
        if (n == line_map.shared + 1)
            u_own_lines_start = mark;
        const bool kept = is_atom ? RewriteAtomLine(line, edits[next++], text) : RewriteOtherLine(line, n, text);
        // Added atoms follow the last atom read once the records that belong to it are past.
        if (is_atom && next == edits.size() && !v_added.empty())
            is_adding = true;
        if (kept)
            text.append(source_text, body, end - body);
        else
            text.resize(mark);
        pos = end;
    }
    if (is_adding)
        AppendAdded(text);
    u_own_lines_start = std::min(u_own_lines_start, text.size());
    // A format's rewrite says in error_message why a line could not be written.
    if (!error_message.empty())
        return false;
    std::vector<std::string_view>().swap(v_atom_lines);
    if (!ReadsBackAs(text, edits, xyz, index))
        return Fail("the edited file would not read back as the structure shown, so it was not saved");
    return true;
}

bool CStructureFile::ReadsBackAs(const std::string &text, const std::vector<SAtomEdit> &edits,
                                 const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index)
{
    std::vector<glm::dvec3> back;
    std::vector<uint32_t> back_index;
    if (!ParseText(text, back, back_index) || back_index != index || back.size() != xyz.size())
        return false;
    for (size_t i = 0; i < xyz.size(); ++i) {
        const bool moved = v_atom_origin[i] >= edits.size() || edits[v_atom_origin[i]].moved;
        for (int k = 0; k < 3; ++k) {
            const double error = std::fabs(back[i][k] - xyz[i][k]);
            if (moved ? !(error <= std::max(MOVED_ERROR, 1e-4 * std::fabs(xyz[i][k]))) : back[i][k] != xyz[i][k])
                return false;
        }
    }
    return true;
}

size_t CStructureFile::TextStart() const
{
    const std::string_view mark = CTextFile::BYTE_ORDER_MARK;
    return std::string_view(source_text).substr(0, mark.size()) == mark ? mark.size() : 0;
}

std::vector<std::string_view> CStructureFile::AtomLines() const
{
    std::vector<std::string_view> lines(v_source_line.size());
    size_t next = 0;
    uint32_t n = 0;
    for (size_t pos = TextStart(); pos < source_text.size() && next < lines.size();) {
        const size_t lf = source_text.find('\n', pos);
        const size_t end = lf == std::string::npos ? source_text.size() : lf;
        ++n;
        for (; next < lines.size() && v_source_line[next] == n; ++next) {
            std::string_view line(source_text.data() + pos, end - pos);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            lines[next] = line;
        }
        pos = end + 1;
    }
    return lines;
}

std::string_view CStructureFile::LineEnd() const
{
    const size_t lf = source_text.find('\n');
    return lf != std::string::npos && lf > 0 && source_text[lf - 1] == '\r' ? "\r\n" : "\n";
}

void CStructureFile::PrepareRewrite(const std::vector<SAtomEdit> &) {}

bool CStructureFile::RewriteOtherLine(std::string_view line, uint32_t, std::string &out)
{
    out.append(line);
    return true;
}

std::string CStructureFile::NumberLike(std::string_view like, double v, double tolerance)
{
    const size_t exp = like.find_first_of("eEdD");
    const std::string_view mantissa = like.substr(0, exp);
    const size_t point = mantissa.find('.');
    int decimals = std::max<int>(
        MIN_DECIMALS, point == std::string_view::npos ? 0 : static_cast<int>(mantissa.size() - point - 1));
    char text[NUMBER_BUFFER];
    const auto format = exp == std::string_view::npos ? std::chars_format::fixed
                                                      : std::chars_format::scientific;
    std::to_chars_result r{};
    for (double back = 0.0;; ++decimals) {
        r = std::to_chars(text, text + sizeof text, v, format, decimals);
        if (decimals >= MAX_DECIMALS ||
            (std::from_chars(text, r.ptr, back).ec == std::errc() && std::fabs(back - v) <= tolerance))
            break;
    }
    std::string out(text, r.ptr);
    if (exp != std::string_view::npos && std::isupper(static_cast<unsigned char>(like[exp])))
        for (char &c : out)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string CStructureFile::ReplaceFields(std::string_view line,
                                          std::vector<std::pair<size_t, std::string>> fields)
{
    std::sort(fields.begin(), fields.end());
    std::string out;
    out.reserve(line.size() + 16);
    size_t copied = 0, pos = 0, field = 0;
    for (auto next = fields.begin(); next != fields.end(); ++field) {
        size_t start = pos;
        while (start < line.size() && CTextFile::IsSpace(line[start]))
            ++start;
        if (start == line.size())
            break;
        size_t end = start;
        while (end < line.size() && !CTextFile::IsSpace(line[end]))
            ++end;
        if (field == next->first) {
            const std::string &text = next->second;
            out.append(line.substr(copied, pos - copied));
            if (start == 0) {
                // A field that opens the line is left-aligned: it keeps the column of the next
                // field, taking from the blanks after it when longer (one always stays).
                out += text;
                size_t blanks = 0;
                while (end + blanks < line.size() && CTextFile::IsSpace(line[end + blanks]))
                    ++blanks;
                if (text.size() < end)
                    out.append(end - text.size(), ' ');
                else if (blanks > 1)
                    end += std::min(text.size() - end, blanks - 1);
            } else {
                const size_t room = end - pos;
                out.append(text.size() < room ? room - text.size() : 1, ' ');
                out += text;
            }
            copied = end;
            ++next;
        }
        pos = end;
    }
    out.append(line.substr(copied));
    return out;
}
