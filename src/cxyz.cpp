#include "cxyz.h"

#include "elements.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>

namespace {

// More columns than any atom line could hold: a Properties entry beyond it is not believed.
constexpr long long MAX_PROPERTY_COLUMNS = 1 << 20;
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

// The value of `key=` in an extended-XYZ comment: the quoted text, or the field after the sign.
// The key must start the line or follow a blank.
std::optional<std::string_view> KeyValue(std::string_view line, std::string_view key)
{
    for (size_t at = line.find(key); at != std::string_view::npos; at = line.find(key, at + 1)) {
        if (at > 0 && !CTextFile::IsSpace(line[at - 1]))
            continue;
        std::string_view rest = CTextFile::SkipSpace(line.substr(at + key.size()));
        if (rest.empty() || rest[0] != '=')
            continue;
        rest = CTextFile::SkipSpace(rest.substr(1));
        if (!rest.empty() && rest[0] == '"') {
            const size_t close = rest.find('"', 1);
            if (close != std::string_view::npos)
                return rest.substr(1, close - 1);
            continue;
        }
        std::string_view token;
        CTextFile::NextToken(rest, token);
        return token;
    }
    return std::nullopt;
}

// pbc="T T F" (or 1 1 0, True True False) marks the axes the cell repeats along; one value
// stands for all three. Without pbc, or with one that does not read, all three repeat.
glm::bvec3 PeriodicAxes(std::string_view line)
{
    const std::optional<std::string_view> pbc = KeyValue(line, "pbc");
    if (!pbc)
        return glm::bvec3(true);
    glm::bvec3 axes(true);
    std::string_view rest = *pbc, token;
    int k = 0;
    for (; CTextFile::NextToken(rest, token); ++k) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(token[0])));
        if (k == 3 || (c != 'F' && c != '0' && c != 'T' && c != '1'))
            return glm::bvec3(true);
        axes[k] = c == 'T' || c == '1';
    }
    if (k == 1)
        return glm::bvec3(axes[0]);
    return k == 3 ? axes : glm::bvec3(true);
}

// A new atom's other columns (forces, charges) are zero in the type they have on the line copied.
std::string ZeroLike(std::string_view field)
{
    double v = 0.0;
    std::string_view rest = field;
    if (CTextFile::ScanDouble(rest, v) != EField::OK || !rest.empty())
        return std::string(field);
    return field.find_first_of(".eEdD") == std::string_view::npos ? "0" : CStructureFile::NumberLike(field, 0.0);
}

// The atomic number a Z or numbers column holds for an element (0 for the dummy, as ASE has it).
uint32_t AtomicNumber(uint32_t element) { return element >= DUMMY_ELEMENT ? 0 : element + 1; }

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
    ReadComment(line);
    return ReadAtoms(file, count, xyz, index);
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

void CXyz::ReadComment(std::string_view line)
{
    comment = line;
    is_periodic = ReadLattice(line);
    for (size_t at = line.find("Cell"); !is_periodic && at != std::string_view::npos;
         at = line.find("Cell", at + 1))
        is_periodic = ReadCell(line, at);
    is_periodic_axis = PeriodicAxes(line);
    if (!glm::any(is_periodic_axis))
        is_periodic = false;
    ReadProperties(line);
}

// A "Cell" followed by a quoted text of nine numbers, or by nine numbers, is the cell; any other
// is a word of the comment, as is a cell text that does not convert to a usable cell.
bool CXyz::ReadCell(std::string_view line, size_t at)
{
    std::string_view rest = CTextFile::SkipSpace(line.substr(at + 4));
    if (!rest.empty() && rest[0] == '=')
        rest = CTextFile::SkipSpace(rest.substr(1));
    const bool quoted = !rest.empty() && rest[0] == '"';
    std::string_view text = rest;
    if (quoted) {
        const size_t close = rest.find('"', 1);
        if (close == std::string_view::npos)
            return false;
        text = rest.substr(1, close - 1);
    }
    if (!TakeCell(text, quoted))
        return false;
    const size_t end = quoted ? static_cast<size_t>(rest.data() - line.data()) + rest.find('"', 1) + 1
                              : static_cast<size_t>(text.data() - line.data());
    comment = Join(line.substr(0, at), line.substr(end));
    return true;
}

bool CXyz::ReadLattice(std::string_view line)
{
    std::optional<std::string_view> lattice = KeyValue(line, "Lattice");
    return lattice && TakeCell(*lattice, true);
}

// Nine numbers from the start of `text` (exactly nine when `whole`) as the cell vectors a, b, c,
// taken only when they make a usable cell.
bool CXyz::TakeCell(std::string_view &text, bool whole)
{
    glm::dmat3 cell;
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 3; ++k)
            if (CTextFile::ScanDouble(text, cell[v][k]) != EField::OK)
                return false;
    if (whole && !CTextFile::SkipSpace(text).empty())
        return false;
    const glm::dmat3 before = cell_xyz;
    cell_xyz = cell;
    if (CellFault() == nullptr)
        return true;
    cell_xyz = before;
    return false;
}

// Extended XYZ's "Properties=species:S:1:pos:R:3:..." names the columns; without a species and
// a three-column pos entry the plain layout stays.
void CXyz::ReadProperties(std::string_view line)
{
    const std::optional<std::string_view> value = KeyValue(line, "Properties");
    if (!value)
        return;
    std::vector<std::string_view> parts;
    for (std::string_view rest = *value;;) {
        const size_t colon = rest.find(':');
        parts.push_back(rest.substr(0, colon));
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    if (parts.size() % 3 != 0)
        return;
    uint32_t column = 0, species = NO_COLUMN, position = NO_COLUMN, number = NO_COLUMN;
    for (size_t k = 0; k < parts.size(); k += 3) {
        std::string_view count_text = parts[k + 2];
        long long count = 0;
        if (CTextFile::ScanInteger(count_text, count) != EField::OK || count < 1 ||
            count > MAX_PROPERTY_COLUMNS)
            return;
        if (parts[k] == "species" && count == 1)
            species = column;
        else if (parts[k] == "pos" && count == 3)
            position = column;
        else if ((parts[k] == "Z" || parts[k] == "numbers") && count == 1)
            number = column;
        column += static_cast<uint32_t>(count);
    }
    if (species != NO_COLUMN && position != NO_COLUMN) {
        u_species_column = species;
        u_position_column = position;
        u_number_column = number;
    }
}

bool CXyz::ReadAtoms(CTextFile &file, uint32_t count, std::vector<glm::dvec3> &xyz,
                     std::vector<uint32_t> &index)
{
    if (!ReadPieces(*this, file, count, true, xyz, index))
        return false;
    if (xyz.size() < count)
        return Fail(file.LineNumber() + 1, "the file ends after " + std::to_string(xyz.size()) + " of " +
                                               std::to_string(count) + " atoms");
    return true;
}

CStructureFile::EPiece CXyz::ReadLines(CTextFile &lines, std::vector<glm::dvec3> &xyz,
                                       std::vector<uint32_t> &index)
{
    std::string_view line;
    while (lines.NextLine(line))
        if (!ReadAtom(line, lines.LineNumber(), xyz, index))
            return EPiece::FAILED;
    return EPiece::READ;
}

bool CXyz::ReadAtom(std::string_view line, uint32_t n, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    if (CTextFile::SkipSpace(line).empty())
        return Fail(n, "expected an element symbol and 3 coordinates, found an empty line");
    std::string_view rest = line, token, symbol;
    glm::dvec3 p;
    bool has_symbol = false, has_position = false;
    for (uint32_t column = 0; !has_symbol || !has_position;) {
        if (column == u_position_column) {
            if (!ReadVector(rest, p, n, "coordinate"))
                return false;
            has_position = true;
            column += 3;
            continue;
        }
        if (!CTextFile::NextToken(rest, token))
            break;
        if (column == u_species_column) {
            symbol = token;
            has_symbol = true;
        }
        ++column;
    }
    if (!has_symbol)
        return Fail(n, "expected an element symbol in column " + std::to_string(u_species_column + 1));
    if (!has_position)
        return Fail(n, "expected 3 coordinates from column " + std::to_string(u_position_column + 1));
    if (!AddPosition(p, n, xyz))
        return false;
    index.push_back(SymbolIndex(symbol));
    return true;
}

bool CXyz::SaveFile(std::string, std::string f, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    if (!CheckAtoms(xyz, index))
        return false;
    if (HasSource() && v_atom_origin.size() == xyz.size())
        return WriteBack(f, xyz, index);
    return SaveFresh(f, xyz, index);
}

// Atoms that are not the ones read get the plain layout.
bool CXyz::SaveFresh(const std::string &f, const std::vector<glm::dvec3> &xyz,
                     const std::vector<uint32_t> &index)
{
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

bool CXyz::RewriteAtomLine(std::string_view line, const SAtomEdit &edit, std::string &out)
{
    if (edit.deleted)
        return false;
    std::vector<std::pair<size_t, std::string>> fields;
    if (edit.retyped)
        fields.emplace_back(u_species_column, SymbolOf(edit.element));
    if (edit.retyped && u_number_column != NO_COLUMN)
        fields.emplace_back(u_number_column, std::to_string(AtomicNumber(edit.element)));
    if (edit.moved)
        for (int k = 0; k < 3; ++k)
            fields.emplace_back(u_position_column + k,
                                NumberLike(Field(line, u_position_column + k), edit.xyz[k]));
    out += ReplaceFields(line, std::move(fields));
    return true;
}

// The count line follows deletions and added atoms, the comment line's cell a new cell; later
// frames stay as they were.
bool CXyz::RewriteOtherLine(std::string_view line, uint32_t n, std::string &out)
{
    if (n == 1 && (DeletedCount() > 0 || !AddedAtoms().empty()))
        out += ReplaceFields(line, {{0, std::to_string(v_atom_origin.size())}});
    else if (n == 2 && is_cell_edited)
        RewriteCell(line, out);
    else
        out.append(line);
    return true;
}

// The nine numbers of Lattice="..." or Cell="..." replaced by the edited cell.
void CXyz::RewriteCell(std::string_view line, std::string &out)
{
    std::optional<std::string_view> cell = KeyValue(line, "Lattice");
    if (!cell)
        cell = KeyValue(line, "Cell");
    if (!cell) {
        error_message = "the comment line holds its cell in a form that cannot be rewritten";
        return;
    }
    const size_t at = static_cast<size_t>(cell->data() - line.data());
    out.append(line.substr(0, at));
    AppendCellNumbers(out, edited_cell);
    out.append(line.substr(at + cell->size()));
}

void CXyz::AddedAtomLine(const SAtomEdit &added, std::string &out)
{
    const std::string_view like = AtomLine(added.source);
    std::vector<std::pair<size_t, std::string>> fields;
    std::string_view rest = like, token;
    for (size_t k = 0; CTextFile::NextToken(rest, token); ++k) {
        if (k == u_species_column)
            fields.emplace_back(k, SymbolOf(added.element));
        else if (k >= u_position_column && k < u_position_column + 3)
            fields.emplace_back(k, NumberLike(token, added.xyz[k - u_position_column]));
        else if (added.source == NO_TEMPLATE)
            fields.emplace_back(k, ZeroLike(token));
    }
    out += ReplaceFields(like, std::move(fields));
}

void CXyz::AppendCellNumbers(std::string &text, const glm::dmat3 &cell)
{
    for (int v = 0; v < 3; ++v)
        for (int k = 0; k < 3; ++k) {
            if (v + k > 0)
                text += ' ';
            AppendExact(text, cell[v][k]);
        }
}

void CXyz::AppendCommentLine(std::string &text) const
{
    if (is_periodic) {
        text += "Cell=\"";
        AppendCellNumbers(text, is_cell_edited ? edited_cell : cell_xyz);
        text += '"';
        if (!glm::all(is_periodic_axis) && !KeyValue(comment, "pbc"))
            for (int k = 0; k < 3; ++k)
                text.append(k == 0 ? " pbc=\"" : " ").append(is_periodic_axis[k] ? "T" : "F").append(k == 2 ? "\"" : "");
        if (!comment.empty())
            text += ' ';
    }
    text.append(comment).append("\n");
}
