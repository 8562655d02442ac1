#include "cpdb.h"

#include "cellgeometry.h"
#include "elements.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

using namespace PdbRecord;

namespace {

const char *const PROJECT_ADDRESS = "https://kivoa.org";

// The serial number field, columns 7-11, without blanks.
std::string SerialField(std::string_view line)
{
    return std::string(CTextFile::Trim(line.substr(std::min<size_t>(line.size(), SERIAL_COLUMN), SERIAL_WIDTH)));
}

// `v` right-aligned in `width` columns with three decimals, or fewer when it is too wide; empty
// when even a whole number is.
std::string FixedField(double v, size_t width)
{
    for (int decimals = 3; decimals >= 0; --decimals) {
        char text[64];
        const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
        const size_t length = static_cast<size_t>(r.ptr - text);
        if (r.ec == std::errc() && length <= width)
            return std::string(width - length, ' ') + std::string(text, length);
    }
    return {};
}

std::string Capitals(std::string_view s)
{
    std::string up(s);
    for (char &ch : up)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return up;
}

// Columns 77-78, right-justified in capitals; a shorter record is padded to reach them.
void PutElementColumns(std::string &record, std::string_view symbol)
{
    if (record.size() < ELEMENT_COLUMN + 2)
        record.resize(ELEMENT_COLUMN + 2, ' ');
    record.replace(ELEMENT_COLUMN, 2, std::string(2 - symbol.size(), ' ') + Capitals(symbol));
}

// The element letters of the name (columns 13-16) as the reader finds them: columns 13-14
// right-justified, or column 13 of a four-letter hydrogen name (left as it is when a two-letter
// element would not fit there).
void PutNameElement(std::string &record, std::string_view symbol)
{
    if (record.size() < NAME_COLUMN + 4)
        record.resize(NAME_COLUMN + 4, ' ');
    char *name = &record[NAME_COLUMN];
    const std::string up = Capitals(symbol);
    if (name[0] == 'H' && !CTextFile::IsSpace(name[3])) {
        if (up.size() == 1)
            name[0] = up[0];
        return;
    }
    const bool two_letters = IsLetter(name[0]) && IsLetter(name[1]);
    if (up.size() == 2 || two_letters) {
        name[0] = up.size() == 2 ? up[0] : ' ';
        name[1] = up.back();
    } else if (IsLetter(name[0]))
        name[0] = up[0];
    else
        name[1] = up[0];
}

// Columns from `column`, padded with blanks to `width`.
std::string_view Columns(std::string_view line, size_t column, size_t width)
{
    return column < line.size() ? line.substr(column, width) : std::string_view();
}

std::string Padded(std::string_view text, size_t width)
{
    std::string padded(text);
    padded.resize(width, ' ');
    return padded;
}

// The atom's name (columns 13-16 of its record).
std::string NameField(std::string_view line) { return Padded(Columns(line, NAME_COLUMN, NAME_WIDTH), NAME_WIDTH); }

// Where an atom stands: alternate location, residue name, chain, residue number and insertion
// code (columns 17-27).
std::string Residue(std::string_view line) { return Padded(Columns(line, ALTLOC_COLUMN, RESIDUE_WIDTH), RESIDUE_WIDTH); }

// An atom's name and place as an atom record (from column 13) and a LINK record (from column 13
// and from column 43) give them.
std::string Place(std::string_view line, size_t column)
{
    return Padded(Columns(line, column, NAME_WIDTH + RESIDUE_WIDTH), NAME_WIDTH + RESIDUE_WIDTH);
}

// A name of the element and a number (" C1 ", "CL12"), the element letters where the reader
// looks for them.
std::string NumberedName(std::string_view symbol, int k)
{
    std::string name = (symbol.size() == 1 ? " " : "") + Capitals(symbol) + std::to_string(k);
    name.resize(NAME_WIDTH, ' ');
    return name;
}

// A CONECT record without the partners that were deleted; false when its own atom or all its
// partners are gone. The partner fields keep their columns, blanks taking the place of those
// removed.
bool RewriteConect(std::string_view line, const std::set<std::string> &deleted, std::string &out)
{
    if (deleted.count(SerialField(line)) != 0)
        return false;
    std::string kept;
    size_t partners = 0;
    bool removed = false;
    for (size_t at = CONECT_PARTNER_COLUMN; at < CONECT_END_COLUMN && at < line.size(); at += SERIAL_WIDTH) {
        const std::string_view field = line.substr(at, SERIAL_WIDTH);
        const std::string_view serial = CTextFile::Trim(field);
        if (serial.empty())
            continue;
        if (deleted.count(std::string(serial)) != 0) {
            removed = true;
            continue;
        }
        kept.append(field).append(SERIAL_WIDTH - field.size(), ' ');
        ++partners;
    }
    if (!removed) {
        out.append(line);
        return true;
    }
    if (partners == 0)
        return false;
    const size_t end = std::min(line.size(), CONECT_END_COLUMN);
    kept.resize(std::max(kept.size(), end - CONECT_PARTNER_COLUMN), ' ');
    out.append(line.substr(0, CONECT_PARTNER_COLUMN)).append(kept).append(line.substr(end));
    return true;
}

} // namespace

bool CPdb::ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    return ReadInto(*this, d, f, xyz, index);
}
bool CPdb::Parse(const std::string &, CTextFile &file, std::vector<glm::dvec3> &xyz,
                 std::vector<uint32_t> &index)
{
    // Records split at white space read alone once the first atom record gave their layout.
    if (!ReadStart(file) ||
        !ReadPieces(*this, file, std::numeric_limits<uint32_t>::max(), pdb_format != 0, xyz, index))
        return false;
    FinishRead();
    return true;
}

bool CPdb::SaveFile(std::string, std::string f, std::vector<glm::dvec3> &xyz,
                    std::vector<uint32_t> &index)
{
    if (!CheckAtoms(xyz, index))
        return false;
    if (HasSource() && v_atom_origin.size() == xyz.size())
        return WriteBack(f, xyz, index);
    std::string text;
    AppendHeader(text);
    for (size_t i = 0; i < xyz.size(); ++i) {
        AppendAtom(text, "ATOM  ", i + 1, xyz[i], index[i]);
        text += '\n';
    }
    return WriteText(f, text);
}

void CPdb::AppendHeader(std::string &text) const
{
    if (header_info.size() < 2) {
        text += std::string("HEADER PDB structure file generated by KivoaView (") +
                PROJECT_ADDRESS + ") [" + Timer.GetDate() + "]\n";
        AppendCryst1(text);
        return;
    }
    for (size_t k = 0; k + 1 < header_info.size(); ++k)
        text.append(header_info[k]).append("\n");
}

bool CPdb::HoldsCell(const glm::dmat3 &cell)
{
    glm::dvec3 lengths, angles;
    CellParameters(cell, lengths, angles);
    const glm::dmat3 standard = CellMatrix(lengths, angles);
    for (int v = 0; v < 3; ++v)
        if (glm::length(standard[v] - cell[v]) > 1e-6 * glm::length(cell[v]))
            return false;
    return true;
}

// A cell turned otherwise than CRYST1 describes is left out rather than given to atoms it does
// not fit (the model says so).
void CPdb::AppendCryst1(std::string &text) const
{
    if (!is_periodic || !HoldsCell(SavedCell()))
        return;
    glm::dvec3 lengths, angles;
    CellParameters(SavedCell(), lengths, angles);
    text += "CRYST1";
    for (int k = 0; k < 3; ++k)
        AppendFixed(text, lengths[k], 9, 3);
    for (int k = 0; k < 3; ++k)
        AppendFixed(text, angles[k], 7, 2);
    text += " P 1           1\n";
}

// Columns: record name 1-6, serial 7-11 (wrapping after 99999, as the field holds five digits),
// name 14-16, residue LIG 1, x 31-38, y 39-46, z 47-54, occupancy 55-60, temperature factor
// 61-66, element 77-78 (in capitals, as the standard writes it). A number too wide for its
// columns gets one space and shifts what follows; the element column stays put while there is
// room.
void CPdb::AppendAtom(std::string &text, const char *record, size_t serial_number, const glm::dvec3 &p, uint32_t idx)
{
    const std::string serial = std::to_string(serial_number % 100000);
    const std::string_view symbol = SymbolOf(idx);
    const size_t start = text.size();
    text.append(record).append(5 - serial.size(), ' ').append(serial).append("  ");
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
}

// What the records other than the atoms' own need to know before they are met (LINK and an
// early CONECT stand before the atoms they name): the serials and residue places of the atoms
// deleted, and the names re-typed atoms get.
void CPdb::PrepareRewrite(const std::vector<SAtomEdit> &edits)
{
    v_deleted_serial.clear();
    v_deleted_place.clear();
    deleted_serial.clear();
    m_new_name.clear();
    u_conect_dropped = 0;
    const std::vector<std::string_view> lines = AtomLines();
    for (const SAtomEdit &e : edits)
        if (e.deleted) {
            v_deleted_serial.insert(SerialField(lines[e.source]));
            if (v_atom_columns[e.source])
                v_deleted_place.insert(Place(lines[e.source], NAME_COLUMN));
        }
    NameRetypedAtoms(edits, lines);
    NumberAddedAtoms(edits, lines);
}

// A re-typed atom whose name changes keeps a name no other atom of its residue has: where the
// element letters would make it another's (C12A and C22A as Cl both read CL2A), it is numbered.
void CPdb::NameRetypedAtoms(const std::vector<SAtomEdit> &edits, const std::vector<std::string_view> &lines)
{
    std::map<std::string, std::multiset<std::string>> residues;
    for (const SAtomEdit &e : edits)
        if (e.retyped && v_atom_columns[e.source])
            residues[Residue(lines[e.source])];
    if (residues.empty())
        return;
    for (const SAtomEdit &e : edits) {
        auto found = residues.find(Residue(lines[e.source]));
        if (!e.deleted && v_atom_columns[e.source] && found != residues.end())
            found->second.insert(NameField(lines[e.source]));
    }
    for (const SAtomEdit &e : edits) {
        if (!e.retyped || !v_atom_columns[e.source])
            continue;
        std::string record(lines[e.source]);
        const std::string old(NameField(record));
        if (ElementOfName(record) != v_source_index[e.source])
            continue;
        PutNameElement(record, SymbolOf(e.element));
        std::string name = NameField(record);
        std::multiset<std::string> &names = residues[Residue(record)];
        for (int k = 1; name != old && names.count(name) != 0 && k < 100; ++k)
            name = NumberedName(SymbolOf(e.element), k);
        names.erase(names.find(old));
        names.insert(name);
        m_new_name[e.source] = name;
    }
}

bool CPdb::RewriteAtomLine(std::string_view line, const SAtomEdit &edit, std::string &out)
{
    deleted_serial.clear();
    if (edit.deleted) {
        deleted_serial = SerialField(line);
        return false;
    }
    std::string record(line);
    if (edit.moved || edit.retyped) {
        if (v_atom_columns[edit.source]) {
            if (!PatchColumns(record, edit))
                return true;
        } else
            PatchSplit(record, edit);
    }
    out += record;
    return true;
}

bool CPdb::FollowsAtom(std::string_view line) const
{
    std::string_view rest;
    const std::string_view record = RecordName(line, rest);
    return record == "ANISOU" || record == "SIGATM" || record == "SIGUIJ";
}

// A deleted atom's ANISOU (and SIGATM, SIGUIJ) records go with it, and so do CONECT entries
// that name it; a CONECT record whose atom is gone, or with no partner left, goes entirely.
bool CPdb::RewriteOtherLine(std::string_view line, uint32_t, std::string &out)
{
    std::string_view rest;
    const std::string_view record = RecordName(line, rest);
    if (record == "CRYST1" && is_cell_edited) {
        RewriteCryst1(line, out);
        return true;
    }
    if (IsScaleRecord(record) && is_cell_edited) {
        RewriteScale(line, static_cast<size_t>(record[5] - '1'), out);
        return true;
    }
    const bool follows_atom = FollowsAtom(line);
    if (follows_atom && !deleted_serial.empty() && SerialField(line) == deleted_serial)
        return false;
    if (!follows_atom)
        deleted_serial.clear();
    if (v_deleted_serial.empty()) {
        out.append(line);
        return true;
    }
    if (record == "CONECT") {
        const bool kept = RewriteConect(line, v_deleted_serial, out);
        u_conect_dropped += kept ? 0 : 1;
        return kept;
    }
    if (record == "LINK" && NamesDeletedPlace(line))
        return false;
    if (record != "MASTER") {
        out += line;
        return true;
    }
    const long long dropped = static_cast<long long>(DeletedCount()) - static_cast<long long>(AddedAtoms().size());
    out += RewriteMaster(line, dropped, static_cast<long long>(u_conect_dropped));
    return true;
}

void CPdb::AddDeletions(SDeletions &deleted) const
{
    deleted.serials.insert(v_deleted_serial.begin(), v_deleted_serial.end());
    deleted.records += DeletedCount();
}

std::string CPdb::RewriteTail(std::string_view tail, const SDeletions &deleted)
{
    if (deleted.records == 0)
        return std::string(tail);
    std::string out;
    size_t conect_dropped = 0;
    std::string_view line, rest;
    for (size_t pos = 0, start = 0; CTextFile::LineAt(tail, pos, line); start = pos) {
        const std::string_view record = RecordName(line, rest);
        // The line with its own line end, as the tail has it.
        const std::string_view whole = tail.substr(start, pos - start);
        const std::string_view end = whole.substr(line.size());
        if (record == "CONECT") {
            if (RewriteConect(line, deleted.serials, out))
                out.append(end);
            else
                ++conect_dropped;
        } else if (record == "MASTER")
            out.append(RewriteMaster(line, static_cast<long long>(deleted.records), static_cast<long long>(conect_dropped)))
                .append(end);
        else
            out.append(whole);
    }
    return out;
}

bool CPdb::NamesDeletedPlace(std::string_view link) const
{
    return v_deleted_place.count(Place(link, NAME_COLUMN)) != 0 ||
           v_deleted_place.count(Place(link, LINK_SECOND_COLUMN)) != 0;
}

// MASTER counts the coordinate records (columns 51-55) and the CONECT records (61-65).
std::string CPdb::RewriteMaster(std::string_view line, long long coordinates_dropped, long long conect_dropped)
{
    std::string out(line);
    const std::pair<size_t, long long> counts[] = {{MASTER_COORD_COLUMN, coordinates_dropped},
                                                   {MASTER_CONECT_COLUMN, conect_dropped}};
    for (const auto &[column, removed] : counts) {
        if (out.size() < column + SERIAL_WIDTH)
            continue;
        std::string_view field = std::string_view(out).substr(column, SERIAL_WIDTH);
        long long count = 0;
        if (CTextFile::ScanInteger(field, count) != EField::OK || count < removed)
            continue;
        const std::string text = std::to_string(count - removed);
        out.replace(column, SERIAL_WIDTH, std::string(SERIAL_WIDTH - text.size(), ' ') + text);
    }
    return out;
}

// Columns 31-54 in the standard's Real(8.3), with fewer decimals for numbers too wide for
// that; columns 77-78 the element, and the name's element letters where the name held the old
// element. False (with error_message) when a coordinate cannot be written in its columns.
bool CPdb::PatchColumns(std::string &record, const SAtomEdit &edit)
{
    return (!edit.moved || PutCoordinates(record, edit.xyz, "atom " + std::to_string(edit.source + 1))) &&
           (!edit.retyped || PatchElement(record, edit));
}

// Columns 31-54; false (with error_message naming `who`) when a coordinate does not fit them.
bool CPdb::PutCoordinates(std::string &record, const glm::dvec3 &p, const std::string &who)
{
    for (int k = 0; k < 3; ++k) {
        const std::string field = FixedField(p[k], COORDINATE_WIDTH);
        if (field.empty()) {
            error_message = who + ": coordinate " + std::to_string(p[k]) + " does not fit the 8 columns of a PDB record";
            return false;
        }
        record.replace(X_COLUMN + COORDINATE_WIDTH * k, COORDINATE_WIDTH, field);
    }
    return true;
}

// Added atoms are numbered on from the largest serial number read.
void CPdb::NumberAddedAtoms(const std::vector<SAtomEdit> &edits, const std::vector<std::string_view> &lines)
{
    u_next_serial = 1;
    if (AddedAtoms().empty())
        return;
    for (const SAtomEdit &e : edits) {
        const std::string serial = SerialField(lines[e.source]);
        long long value = 0;
        std::string_view rest = serial;
        if (CTextFile::ScanInteger(rest, value) == EField::OK && value >= static_cast<long long>(u_next_serial))
            u_next_serial = static_cast<size_t>(value) + 1;
    }
}

// A supercell's image copies its atom's record with a fresh serial and its own coordinates; a
// new atom is a HETATM record of its own.
void CPdb::AddedAtomLine(const SAtomEdit &added, std::string &out)
{
    const size_t serial = u_next_serial++;
    if (added.source == NO_TEMPLATE || !v_atom_columns[added.source]) {
        AppendAtom(out, "HETATM", serial, added.xyz, added.element);
        return;
    }
    std::string record(AtomLine(added.source));
    const std::string text = std::to_string(serial % 100000);
    record.replace(SERIAL_COLUMN, SERIAL_WIDTH, std::string(SERIAL_WIDTH - text.size(), ' ') + text);
    PutCoordinates(record, added.xyz, "added atom " + text);
    out += record;
}

// The cell lengths, columns 7-33, of an edited cell; the angles stay.
void CPdb::RewriteCryst1(std::string_view line, std::string &out) const
{
    std::string record(line);
    record.resize(std::max<size_t>(record.size(), CRYST1_ANGLE_COLUMN), ' ');
    for (int v = 0; v < 3; ++v)
        record.replace(CRYST1_LENGTH_COLUMN + CRYST1_FIELD_WIDTH * v, CRYST1_FIELD_WIDTH,
                       FixedField(glm::length(edited_cell[v]), CRYST1_FIELD_WIDTH));
    out += record;
}

bool CPdb::IsScaleRecord(std::string_view record)
{
    return record.size() == 6 && record.substr(0, 5) == "SCALE" && record[5] >= '1' && record[5] <= '3';
}

// SCALEn columns 11-40 hold row n of the matrix from Cartesian to fractional coordinates: after
// a supercell, that of the new cell; the translation after them stays.
void CPdb::RewriteScale(std::string_view line, size_t n, std::string &out) const
{
    const glm::dmat3 inverse = glm::inverse(edited_cell);
    std::string record(line);
    record.resize(std::max<size_t>(record.size(), SCALE_COLUMN + 3 * SCALE_WIDTH), ' ');
    for (int k = 0; k < 3; ++k) {
        char field[32];
        // Rounded first, so that a rounding error prints as 0.000000, not -0.000000.
        std::snprintf(field, sizeof field, "%10.6f", std::round(inverse[k][n] * 1e6) / 1e6 + 0.0);
        record.replace(SCALE_COLUMN + SCALE_WIDTH * k, SCALE_WIDTH, field);
    }
    out += record;
}

// The element columns, and the name's element letters where the name held the old element.
// Where the record would still not read as the new element (characters after the element
// columns that make the reader pass them over), the name carries the element plainly and
// columns 79-80 are cleared.
bool CPdb::PatchElement(std::string &record, const SAtomEdit &edit)
{
    const std::string_view symbol = SymbolOf(edit.element);
    const auto renamed = m_new_name.find(edit.source);
    if (renamed != m_new_name.end())
        record.replace(NAME_COLUMN, renamed->second.size(), renamed->second);
    PutElementColumns(record, symbol);
    if (ElementOfRecord(record) == edit.element)
        return true;
    record.replace(NAME_COLUMN, 2, std::string(2 - symbol.size(), ' ') + Capitals(symbol));
    if (record.size() > ELEMENT_COLUMN + 2)
        record.replace(ELEMENT_COLUMN + 2, std::min<size_t>(2, record.size() - ELEMENT_COLUMN - 2), "  ");
    if (ElementOfRecord(record) == edit.element)
        return true;
    error_message = "atom " + std::to_string(edit.source + 1) + ": its record cannot be given the element " +
                    std::string(symbol);
    return false;
}

// Records split at white space: the coordinate fields after the layout's leading ones, and the
// element columns when the record has them, else the name.
void CPdb::PatchSplit(std::string &record, const SAtomEdit &edit) const
{
    std::string_view rest;
    RecordName(record, rest);
    const size_t at = static_cast<size_t>(rest.data() - record.data());
    const SLayout &layout = LayoutOf(pdb_format);
    std::vector<std::pair<size_t, std::string>> fields;
    if (edit.moved)
        for (int k = 0; k < 3; ++k) {
            const size_t field = static_cast<size_t>(layout.prefix_count) + k;
            fields.emplace_back(field, NumberLike(Field(rest, field), edit.xyz[k]));
        }
    std::string_view element;
    const bool has_column = ElementColumn(record, element);
    if (edit.retyped && !has_column) {
        const size_t name = static_cast<size_t>(std::find(layout.prefix, layout.prefix + layout.prefix_count,
                                                          EPdbField::NAME) - layout.prefix);
        fields.emplace_back(name, SymbolOf(edit.element));
    }
    record = record.substr(0, at) + ReplaceFields(rest, std::move(fields));
    if (edit.retyped && has_column)
        PutElementColumns(record, SymbolOf(edit.element));
}
