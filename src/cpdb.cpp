#include "cpdb.h"

#include "elements.h"

#include <cctype>
#include <climits>
#include <cmath>

namespace {

const char *const PROJECT_ADDRESS = "https://kivoa.org";
constexpr double PI = 3.14159265358979323846;

// The fields of an atom record before its coordinates.
enum class EPdbField { SERIAL, NAME, SKIP, RESIDUE };

struct SLayout {
    uint32_t format;
    EPdbField prefix[5];
    int prefix_count;
    // Numbers after the coordinates that the first record is tried with.
    int extra;
    // Converted fields (skipped ones not counted) that select this layout.
    int min_fields;
    int max_fields;
};

// Tried on the first atom record in this order; the first that fits is taken.
const SLayout LAYOUTS[] = {
    {5, {EPdbField::SERIAL, EPdbField::NAME, EPdbField::RESIDUE}, 3, 3, 9, 9},
    {4, {EPdbField::SERIAL, EPdbField::NAME, EPdbField::RESIDUE}, 3, 2, 8, 8},
    {3, {EPdbField::SERIAL, EPdbField::NAME, EPdbField::RESIDUE}, 3, 1, 7, 7},
    {2, {EPdbField::SERIAL, EPdbField::NAME, EPdbField::RESIDUE}, 3, 0, 6, 6},
    {1, {EPdbField::SERIAL, EPdbField::NAME}, 2, 0, 5, 5},
    {6, {EPdbField::SERIAL, EPdbField::NAME, EPdbField::SKIP, EPdbField::RESIDUE}, 4, 3, 6,
     INT_MAX},
    {7,
     {EPdbField::SERIAL, EPdbField::NAME, EPdbField::SKIP, EPdbField::SKIP, EPdbField::RESIDUE},
     5, 3, 8, INT_MAX},
};

const SLayout &LayoutOf(uint32_t format)
{
    for (const SLayout &layout : LAYOUTS)
        if (layout.format == format)
            return layout;
    return LAYOUTS[0];
}

// What the fields of one atom record gave.
struct SRecord {
    std::string_view name;
    glm::dvec3 xyz{0.0};
    int converted = 0;
    std::string failure;
};

bool IsAtom(std::string_view record) { return record == "ATOM" || record == "HETATM"; }

// Records that may stand between the atom records of one model.
bool IsInterleaved(std::string_view record)
{
    return record == "TER" || record == "ANISOU" || record == "SIGUIJ" || record == "SIGATM";
}

bool AllDigits(std::string_view s)
{
    for (char ch : s)
        if (!std::isdigit(static_cast<unsigned char>(ch)))
            return false;
    return !s.empty();
}

// The record name of a line, and in `rest` what follows it. A serial number joined to the
// name (HETATM10001, where the number fills its columns) is split off.
std::string_view RecordName(std::string_view line, std::string_view &rest)
{
    std::string_view token;
    rest = line;
    if (!CTextFile::NextToken(rest, token))
        return token;
    for (std::string_view name : {"HETATM", "ATOM", "ANISOU", "SIGUIJ", "SIGATM", "TER"})
        if (token.size() > name.size() && token.substr(0, name.size()) == name &&
            AllDigits(token.substr(name.size()))) {
            rest = line.substr(static_cast<size_t>(token.data() - line.data()) + name.size());
            return name;
        }
    return token;
}

bool IsInteger(std::string_view token)
{
    long long value = 0;
    return CTextFile::ScanInteger(token, value) == EField::OK;
}

// A residue number, possibly with its insertion code (100A).
bool IsResidueNumber(std::string_view token)
{
    if (token.size() > 1 && std::isalpha(static_cast<unsigned char>(token.back())))
        token.remove_suffix(1);
    return IsInteger(token);
}

std::string FieldName(EPdbField kind)
{
    return kind == EPdbField::SERIAL ? "serial number" : "residue number";
}

// Converts the layout's leading fields and then `numbers` numbers (the coordinates first),
// stopping at the first field that does not convert; `rec.failure` then says why.
bool ScanFields(std::string_view rest, const SLayout &layout, int numbers, SRecord &rec)
{
    for (int k = 0; k < layout.prefix_count; ++k) {
        const EPdbField kind = layout.prefix[k];
        std::string_view token;
        if (!CTextFile::NextToken(rest, token)) {
            rec.failure = "the atom record has too few fields";
            return false;
        }
        if (kind == EPdbField::SKIP)
            continue;
        if (kind == EPdbField::NAME)
            rec.name = token;
        else if (kind == EPdbField::SERIAL ? !IsInteger(token) : !IsResidueNumber(token)) {
            rec.failure = FieldName(kind) + " " + CTextFile::Shown(token) + " is not an integer";
            return false;
        }
        ++rec.converted;
    }
    for (int k = 0; k < numbers; ++k) {
        double v = 0.0;
        const std::string_view before = rest;
        const EField result = CTextFile::ScanDouble(rest, v);
        if (result != EField::OK) {
            rec.failure = result == EField::MISSING
                              ? "expected 3 coordinates, found " + std::to_string(k)
                              : CTextFile::BadNumber(before, result, k < 3 ? "coordinate" : "number");
            return false;
        }
        if (k < 3)
            rec.xyz[k] = v;
        ++rec.converted;
    }
    return true;
}

// The element of columns 77-78, when the record has that column.
bool ElementColumn(std::string_view line, std::string_view &element)
{
    if (line.size() < 77)
        return false;
    const std::string_view e = CTextFile::Trim(line.substr(76, 2));
    if (e.empty())
        return false;
    for (char ch : e)
        if (!std::isalpha(static_cast<unsigned char>(ch)))
            return false;
    if (line.size() > 78) {
        const char next = line[78];
        if (!CTextFile::IsSpace(next) && !std::isdigit(static_cast<unsigned char>(next)) &&
            next != '+' && next != '-')
            return false;
    }
    element = e;
    return true;
}

// Exact for the right angles that most cells have.
double CosDegrees(double angle) { return angle == 90.0 ? 0.0 : std::cos(angle * PI / 180.0); }

} // namespace

bool CPdb::ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    return ReadInto(*this, d, f, xyz, index);
}

bool CPdb::Parse(const std::string &, CTextFile &file, std::vector<glm::dvec3> &xyz,
                 std::vector<uint32_t> &index)
{
    std::string_view line, rest;
    if (!ReadHeader(file, line))
        return false;
    header_lines = static_cast<uint32_t>(header_info.size());
    RecordName(line, rest);
    const uint32_t first = file.LineNumber();
    if (!ChooseVariant(rest, first))
        return false;
    do {
        const std::string_view record = RecordName(line, rest);
        if (IsInterleaved(record))
            continue;
        if (!IsAtom(record))
            break;
        if (!ReadAtom(line, rest, file.LineNumber(), first, xyz, index))
            return false;
    } while (file.NextLine(line));
    return true;
}

bool CPdb::ReadHeader(CTextFile &file, std::string_view &first)
{
    std::string_view line, rest;
    while (file.NextLine(line)) {
        header_info.emplace_back(line);
        const std::string_view record = RecordName(line, rest);
        if (IsAtom(record)) {
            first = line;
            return true;
        }
        if (record == "CRYST1" && !ReadCryst1(rest, file.LineNumber()))
            return false;
    }
    return Fail(header_info.empty() ? "the file is empty" : "no ATOM or HETATM record found");
}

bool CPdb::ReadCryst1(std::string_view rest, uint32_t n)
{
    glm::dvec3 length, angle;
    if (!ReadVector(rest, length, n, "cell length") || !ReadVector(rest, angle, n, "cell angle"))
        return false;
    a = static_cast<float>(length.x);
    b = static_cast<float>(length.y);
    c = static_cast<float>(length.z);
    alpha = static_cast<float>(angle.x);
    beta = static_cast<float>(angle.y);
    gamma = static_cast<float>(angle.z);
    is_periodic = length.x > 0.0 && length.y > 0.0 && length.z > 0.0;
    if (!is_periodic)
        return true;
    const double ca = CosDegrees(angle.x), cb = CosDegrees(angle.y), cg = CosDegrees(angle.z);
    const double sg = std::sin(angle.z * PI / 180.0);
    const double cx = length.z * cb;
    const double cy = length.z * (ca - cb * cg) / sg;
    cell_xyz[0] = glm::dvec3(length.x, 0.0, 0.0);
    cell_xyz[1] = glm::dvec3(length.y * cg, length.y * sg, 0.0);
    cell_xyz[2] = glm::dvec3(cx, cy, std::sqrt(length.z * length.z - cx * cx - cy * cy));
    return CheckCell(n);
}

bool CPdb::ChooseVariant(std::string_view rest, uint32_t n)
{
    for (const SLayout &layout : LAYOUTS) {
        SRecord rec;
        ScanFields(rest, layout, 3 + layout.extra, rec);
        if (rec.converted >= layout.min_fields && rec.converted <= layout.max_fields) {
            pdb_format = layout.format;
            return true;
        }
    }
    return Fail(n, "the atom record matches none of the known layouts");
}

// Every atom record is read with the layout of the first one (line `first`).
bool CPdb::ReadAtom(std::string_view line, std::string_view rest, uint32_t n, uint32_t first,
                    std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    SRecord rec;
    if (!ScanFields(rest, LayoutOf(pdb_format), 3, rec))
        return Fail(n, rec.failure + " (read with the layout of the atom record on line " +
                           std::to_string(first) + ")");
    std::string_view element;
    if (!AddPosition(rec.xyz, n, xyz))
        return false;
    index.push_back(SymbolIndex(ElementColumn(line, element) ? element : rec.name));
    return true;
}

bool CPdb::SaveFile(std::string, std::string f, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    if (!CheckAtoms(xyz, index))
        return false;
    std::string text;
    AppendHeader(text);
    for (size_t i = 0; i < xyz.size(); ++i)
        AppendAtom(text, i, xyz[i], index[i]);
    return WriteText(f, text);
}

void CPdb::AppendHeader(std::string &text) const
{
    if (header_info.size() < 2) {
        text += std::string("HEADER PDB structure file generated by KivoaView (") +
                PROJECT_ADDRESS + ") [" + Timer.GetDate() + "]\n";
        return;
    }
    for (size_t k = 0; k + 1 < header_info.size(); ++k)
        text.append(header_info[k]).append("\n");
}

// Columns: serial 7-11 (wrapping after 99999, as the field holds five digits), name 14-16,
// residue LIG 1, x 31-38, y 39-46, z 47-54, occupancy 55-60, temperature factor 61-66,
// element 77-78 (in capitals, as the standard writes it). A number too wide for its columns
// gets one space and shifts what follows; the element column stays put while there is room.
void CPdb::AppendAtom(std::string &text, size_t i, const glm::dvec3 &p, uint32_t idx)
{
    const std::string serial = std::to_string((i + 1) % 100000);
    const std::string_view symbol = SymbolOf(idx);
    const size_t start = text.size();
    text.append("ATOM  ").append(5 - serial.size(), ' ').append(serial).append("  ");
    text.append(symbol).append(3 - symbol.size(), ' ').append(" LIG     1   ");
    AppendFixed(text, p.x, 9, 3);
    AppendFixed(text, p.y, 8, 3);
    AppendFixed(text, p.z, 8, 3);
    AppendFixed(text, 1.0, 6, 2);
    AppendFixed(text, 0.0, 6, 2);
    const size_t used = text.size() - start;
    text.append(used < 76 ? 76 - used : 1, ' ');
    text.append(2 - symbol.size(), ' ');
    for (char ch : symbol)
        text += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    text += '\n';
}

bool CPdb::RewriteAtomLine(std::string_view line, const SAtomEdit &edit, std::string &out)
{
    if (edit.deleted)
        return false;
    out.append(line);
    return true;
}
