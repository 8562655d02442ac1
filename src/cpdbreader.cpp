#include "cpdbreader.h"

#include "cellgeometry.h"
#include "elements.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <iterator>

using namespace PdbRecord;

namespace {

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

constexpr uint32_t HYDROGEN = 0;
// CRYST1 of entries without a crystal cell (NMR, electron microscopy).
constexpr double NO_CELL_LENGTH = 1.0;
constexpr double RIGHT_ANGLE = 90.0;

// Variant 6, the standard record without chain.
constexpr uint32_t STANDARD_WITHOUT_CHAIN = 6;

// Variants 2 to 5: a residue number right after the name.
bool HasBareResidueNumber(const SLayout &layout)
{
    return layout.prefix_count == 3 && layout.prefix[2] == EPdbField::RESIDUE;
}

// What the fields of one atom record gave.
struct SRecord {
    std::string_view name;
    // The residue name, in the layouts that have one.
    std::string_view residue;
    glm::dvec3 xyz{0.0};
    int converted = 0;
    std::string failure;
};

bool IsAtom(std::string_view record) { return record == "ATOM" || record == "HETATM"; }

// Records after which no atom record belongs to the first model.
bool EndsFirstModel(std::string_view record)
{
    return record == "ENDMDL" || record == "END" || record == "MODEL";
}

bool IsDigit(char ch) { return std::isdigit(static_cast<unsigned char>(ch)) != 0; }

bool AllDigits(std::string_view s)
{
    for (char ch : s)
        if (!IsDigit(ch))
            return false;
    return !s.empty();
}

bool IsInteger(std::string_view token)
{
    long long value = 0;
    return CTextFile::ScanInteger(token, value) == EField::OK;
}

// A residue number, possibly with its insertion code (100A).
bool IsResidueNumber(std::string_view token)
{
    if (token.size() > 1 && IsLetter(token.back()))
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
        if (kind == EPdbField::SKIP) {
            // The first field skipped after the name is the residue name.
            if (rec.residue.empty())
                rec.residue = token;
            continue;
        }
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

// Residues whose atom names begin with their element's one letter, however the name is placed:
// the amino acids with the protonation and terminal forms of MD programs (HID, CYX, NALA, CALA),
// the caps ACE, NME and NH2, DNA and RNA nucleotides (DA, RA5, U3) and water.
bool IsStandardResidue(std::string_view name)
{
    static constexpr std::string_view AMINO[] = {
        "ALA", "ARG", "ASH", "ASN", "ASP", "CYM", "CYS", "CYX", "GLH", "GLN", "GLU", "GLY", "HID", "HIE", "HIP", "HIS",
        "HSD", "HSE", "HSP", "ILE", "LEU", "LYN", "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "VAL"};
    static constexpr std::string_view OTHER[] = {"ACE", "NME", "NH2", "HOH", "WAT", "TIP3", "SOL"};
    const auto amino = [](std::string_view r) { return std::binary_search(std::begin(AMINO), std::end(AMINO), r); };
    if (amino(name) || std::find(std::begin(OTHER), std::end(OTHER), name) != std::end(OTHER))
        return true;
    if (name.size() == 4 && (name[0] == 'N' || name[0] == 'C') && amino(name.substr(1)))
        return true;
    // A nucleotide: its base's letter, D or R before it, 5 or 3 after it at a chain's end.
    if (!name.empty() && (name.back() == '5' || name.back() == '3'))
        name.remove_suffix(1);
    if (name.size() == 2 && (name[0] == 'D' || name[0] == 'R'))
        name.remove_prefix(1);
    return name.size() == 1 && std::string_view("ACGTU").find(name[0]) != std::string_view::npos;
}

// The field of a standard record at `column`, blanks trimmed; empty when the line is shorter.
std::string_view FieldAt(std::string_view line, size_t column, size_t width)
{
    return column < line.size() ? CTextFile::Trim(line.substr(column, width)) : std::string_view();
}

bool Fits(std::string_view rest, const SLayout &layout)
{
    SRecord rec;
    ScanFields(rest, layout, 3 + layout.extra, rec);
    return rec.converted >= layout.min_fields && rec.converted <= layout.max_fields;
}

// A number with a decimal point (the standard's Real(8.3)) alone in its fixed field, blanks
// before or after it (some force-field tools write it one column to the left).
bool FixedNumber(std::string_view field, double &v)
{
    return field.find('.') != std::string_view::npos &&
           CTextFile::ScanDouble(field, v) == EField::OK && CTextFile::SkipSpace(field).empty();
}

// The coordinates of a record that holds them in the standard's columns 31-38, 39-46 and
// 47-54. A number that runs on from column 30 would lose its first digits or sign, so it rules
// the columns out; decimals running on past column 54 are cut, as the standard's columns say.
bool StandardCoordinates(std::string_view line, glm::dvec3 &p)
{
    if (line.size() < STANDARD_MIN_LENGTH)
        return false;
    const char before = line[X_COLUMN - 1];
    if (IsDigit(before) || before == '.' || before == '-' || before == '+')
        return false;
    for (int k = 0; k < 3; ++k)
        if (!FixedNumber(line.substr(X_COLUMN + COORDINATE_WIDTH * k, COORDINATE_WIDTH), p[k]))
            return false;
    return true;
}

} // namespace

namespace PdbRecord {

const SLayout &LayoutOf(uint32_t format)
{
    for (const SLayout &layout : LAYOUTS)
        if (layout.format == format)
            return layout;
    return LAYOUTS[0];
}

bool IsLetter(char ch) { return std::isalpha(static_cast<unsigned char>(ch)) != 0; }

std::string_view RecordName(std::string_view line, std::string_view &rest)
{
    for (std::string_view name : {"HETATM", "ANISOU", "SIGUIJ", "SIGATM", "CONECT"})
        if (line.substr(0, name.size()) == name) {
            rest = line.substr(name.size());
            return name;
        }
    std::string_view token;
    rest = line;
    if (!CTextFile::NextToken(rest, token))
        return token;
    for (std::string_view name : {"ATOM", "TER"})
        if (token.size() > name.size() && token.substr(0, name.size()) == name &&
            AllDigits(token.substr(name.size()))) {
            rest = line.substr(static_cast<size_t>(token.data() - line.data()) + name.size());
            return name;
        }
    return token;
}

bool ElementColumn(std::string_view line, std::string_view &element)
{
    if (line.size() <= ELEMENT_COLUMN)
        return false;
    const std::string_view e = CTextFile::Trim(line.substr(ELEMENT_COLUMN, 2));
    if (e.empty())
        return false;
    for (char ch : e)
        if (!IsLetter(ch))
            return false;
    if (line.size() > 78) {
        const char next = line[78];
        if (!CTextFile::IsSpace(next) && !IsDigit(next) && next != '+' && next != '-')
            return false;
    }
    element = e;
    return true;
}

} // namespace PdbRecord

bool CPdbReader::ReadStart(CTextFile &file)
{
    std::string_view line, rest;
    if (!ReadHeader(file, line))
        return false;
    header_lines = static_cast<uint32_t>(header_info.size());
    RecordName(line, rest);
    std::string failure;
    if (ChooseVariant(rest, failure))
        u_variant_line = file.LineNumber();
    file.UnreadLine();
    return true;
}

void CPdbReader::FinishRead()
{
    if (std::all_of(v_atom_altloc.begin(), v_atom_altloc.end(), [](uint8_t c) { return c == 0; }))
        v_atom_altloc.clear();
}

CStructureFile::EPiece CPdbReader::ReadLines(CTextFile &lines, std::vector<glm::dvec3> &xyz,
                                       std::vector<uint32_t> &index)
{
    std::string_view line, rest;
    while (lines.NextLine(line)) {
        const std::string_view record = RecordName(line, rest);
        if (EndsFirstModel(record))
            return EPiece::ENDED;
        if (!IsAtom(record))
            continue;
        glm::dvec3 p;
        const uint32_t n = lines.LineNumber();
        if (!(StandardCoordinates(line, p) ? ReadStandardAtom(line, p, n, xyz, index)
                                           : ReadSplitAtom(line, rest, n, xyz, index)))
            return EPiece::FAILED;
    }
    return EPiece::READ;
}

bool CPdbReader::ReadHeader(CTextFile &file, std::string_view &first)
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
        if (record == "CRYST1")
            space_group = CTextFile::Trim(line.substr(std::min<size_t>(line.size(), 55), 11));
    }
    return Fail(header_info.empty() ? "the file is empty" : "no ATOM or HETATM record found");
}

// Angles may be left out (90 degrees). A cell of 1 x 1 x 1 angstrom is what entries without a
// crystal cell carry, and lengths of 0 or below give no cell either.
bool CPdbReader::ReadCryst1(std::string_view rest, uint32_t n)
{
    glm::dvec3 length, angle(RIGHT_ANGLE);
    if (!ReadVector(rest, length, n, "cell length"))
        return false;
    if (!CTextFile::SkipSpace(rest).empty() && !ReadVector(rest, angle, n, "cell angle"))
        return false;
    a = static_cast<float>(length.x);
    b = static_cast<float>(length.y);
    c = static_cast<float>(length.z);
    alpha = static_cast<float>(angle.x);
    beta = static_cast<float>(angle.y);
    gamma = static_cast<float>(angle.z);
    is_periodic = length.x > 0.0 && length.y > 0.0 && length.z > 0.0 &&
                  length != glm::dvec3(NO_CELL_LENGTH);
    if (!is_periodic)
        return true;
    cell_xyz = CellMatrix(length, angle);
    return CheckCell(n);
}

// A record such as "HETATM 1 CL16 336 3001 182.921 ..." fits variant 5 (residue 336, x = 3001)
// as well as variant 6 (residue name 336, residue 3001): the variants take the coordinates from
// different fields, so neither is trusted.
bool CPdbReader::ChooseVariant(std::string_view rest, std::string &failure)
{
    for (const SLayout &layout : LAYOUTS) {
        if (!Fits(rest, layout))
            continue;
        if (HasBareResidueNumber(layout) && Fits(rest, LayoutOf(STANDARD_WITHOUT_CHAIN))) {
            failure = "the atom record fits two layouts that take its coordinates from different "
                      "fields";
            return false;
        }
        pdb_format = layout.format;
        return true;
    }
    failure = "the atom record matches none of the known layouts";
    return false;
}

uint32_t CPdbReader::ExactSymbolIndex(std::string_view text)
{
    const uint32_t idx = SymbolIndex(text);
    return std::string_view(SymbolOf(idx)).size() == text.size() ? idx : DUMMY_ELEMENT;
}

// The element as the standard places it in the name, columns 13-16: right-justified in columns
// 13-14, so " CA " is carbon and "CA  " calcium; a digit in column 13 (old hydrogen names such
// as "1HB ") leaves the one letter of column 14; a four-character name beginning with H (HG21,
// HD11) is a hydrogen.
uint32_t CPdbReader::ElementOfName(std::string_view line)
{
    char name[4] = {' ', ' ', ' ', ' '};
    for (size_t k = 0; k < 4 && NAME_COLUMN + k < line.size(); ++k)
        name[k] = line[NAME_COLUMN + k];
    if (name[0] == 'H' && !CTextFile::IsSpace(name[3]))
        return HYDROGEN;
    // Names are capitals; a symbol written as such (" Ca " by earlier versions of this program,
    // which wrote names from column 14) is taken whole.
    if (CTextFile::IsSpace(name[0]) && std::islower(static_cast<unsigned char>(name[2])))
        return ExactSymbolIndex(std::string_view(name + 1, 2));
    if (CTextFile::IsSpace(name[0]) || IsDigit(name[0]))
        return ExactSymbolIndex(std::string_view(name + 1, 1));
    return ExactSymbolIndex(std::string_view(name, IsLetter(name[1]) ? 2 : 1));
}

uint32_t CPdbReader::ElementOfStandardName(std::string_view name)
{
    // A symbol in its own case ("Fe") is no MD name, which are capitals: an atom re-typed in a
    // record without element columns carries its symbol so.
    if (name.size() == 2 && std::isupper(static_cast<unsigned char>(name[0])) &&
        std::islower(static_cast<unsigned char>(name[1])) && ExactSymbolIndex(name) != DUMMY_ELEMENT)
        return ExactSymbolIndex(name);
    while (!name.empty() && IsDigit(name[0]))
        name.remove_prefix(1);
    return name.empty() ? DUMMY_ELEMENT : ExactSymbolIndex(name.substr(0, 1));
}

uint32_t CPdbReader::ElementOfRecord(std::string_view line)
{
    std::string_view element;
    if (ElementColumn(line, element))
        return ExactSymbolIndex(element);
    if (IsStandardResidue(FieldAt(line, RESIDUE_NAME_COLUMN, RESIDUE_NAME_WIDTH)))
        return ElementOfStandardName(FieldAt(line, NAME_COLUMN, NAME_WIDTH));
    return ElementOfName(line);
}

bool CPdbReader::ReadStandardAtom(std::string_view line, const glm::dvec3 &p, uint32_t n,
                            std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    if (!AddPosition(p, n, xyz))
        return false;
    index.push_back(ElementOfRecord(line));
    v_atom_columns.push_back(true);
    const char altloc = line[ALTLOC_COLUMN];
    v_atom_altloc.push_back(CTextFile::IsSpace(altloc) ? 0 : static_cast<uint8_t>(altloc));
    return true;
}

// Read with the variant of the first atom record, or of this one when the first fitted none.
bool CPdbReader::ReadSplitAtom(std::string_view line, std::string_view rest, uint32_t n,
                         std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    if (pdb_format == 0) {
        std::string failure;
        if (!ChooseVariant(rest, failure))
            return Fail(n, failure);
        u_variant_line = n;
    }
    SRecord rec;
    if (!ScanFields(rest, LayoutOf(pdb_format), 3, rec))
        return Fail(n, rec.failure + " (read with the layout of the atom record on line " +
                           std::to_string(u_variant_line) + ")");
    std::string_view element;
    if (!AddPosition(rec.xyz, n, xyz))
        return false;
    if (ElementColumn(line, element))
        index.push_back(SymbolIndex(element));
    else
        index.push_back(IsStandardResidue(rec.residue) ? ElementOfStandardName(rec.name) : SymbolIndex(rec.name));
    v_atom_columns.push_back(false);
    v_atom_altloc.push_back(0);
    return true;
}
