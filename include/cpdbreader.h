#ifndef CPDBREADER_H
#define CPDBREADER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

#include "cstructurefile.h"

// The columns and layouts of PDB records, as the reader and the writer of CPdb both know them.
namespace PdbRecord {

// Standard columns (0-based offsets): name 13-16, alternate location 17, x y z 31-54 in
// fields of 8.
constexpr size_t SERIAL_COLUMN = 6;
constexpr size_t SERIAL_WIDTH = 5;
constexpr size_t NAME_COLUMN = 12;
constexpr size_t NAME_WIDTH = 4;
// The residue name, columns 18-20 and the 21st that four-letter names (TIP3, NALA) take.
constexpr size_t RESIDUE_NAME_COLUMN = 17;
constexpr size_t RESIDUE_NAME_WIDTH = 4;
// Alternate location to insertion code, columns 17-27.
constexpr size_t RESIDUE_WIDTH = 11;
// LINK: the second atom's name from column 43.
constexpr size_t LINK_SECOND_COLUMN = 42;
// MASTER: numCoord in columns 51-55, numConect in 61-65.
constexpr size_t MASTER_COORD_COLUMN = 50;
constexpr size_t MASTER_CONECT_COLUMN = 60;
constexpr size_t ELEMENT_COLUMN = 76;
// CONECT: the bonded atoms' serials in columns 12-31, five columns each.
constexpr size_t CONECT_PARTNER_COLUMN = 11;
constexpr size_t CONECT_END_COLUMN = 31;
constexpr size_t ALTLOC_COLUMN = 16;
constexpr size_t X_COLUMN = 30;
constexpr size_t COORDINATE_WIDTH = 8;
constexpr size_t STANDARD_MIN_LENGTH = X_COLUMN + 3 * COORDINATE_WIDTH;
// CRYST1: a, b, c in columns 7-15, 16-24, 25-33, the angles from column 34.
constexpr size_t CRYST1_LENGTH_COLUMN = 6;
constexpr size_t CRYST1_FIELD_WIDTH = 9;
constexpr size_t CRYST1_ANGLE_COLUMN = 33;

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

// The layout of atom-record variant `format` (see CPdbReader::pdb_format).
const SLayout &LayoutOf(uint32_t format);

bool IsLetter(char ch);

// The record name of a line, and in `rest` what follows it. The six-letter names fill columns
// 1-6, whatever the serial after them (10001, or A0000 in hybrid-36); a serial number joined
// to a shorter name (ATOM100000) is split off too.
std::string_view RecordName(std::string_view line, std::string_view &rest);

// The element of columns 77-78, when the record has that column.
bool ElementColumn(std::string_view line, std::string_view &element);

} // namespace PdbRecord

// Protein Data Bank records read; CPdb adds the writer. An atom record whose coordinates stand
// in the standard's columns 31-54 is read by the standard's columns; any other is split at white
// space, with the layout (one of seven variants, `pdb_format`) recognised from the first atom
// record. Only the first model is read: every atom record up to ENDMDL or END, whatever records
// stand between them. CRYST1 gives the cell.
class CPdbReader : public CStructureFile {
public:
    // Atom-record variant 1 to 7 of the records split at white space: 1 serial, name, x y z; 2 to
    // 5 a residue number before the coordinates and 0 to 3 numbers after them; 6 the standard
    // record without chain; 7 with. Taken from the first atom record when it fits one, else
    // from the first record that needs it; 0 while none was needed.
    uint32_t pdb_format = 0;
    // CRYST1 lengths (angstrom) and angles (degrees), and its space group (columns 56-66).
    float a = 0.0f, b = 0.0f, c = 0.0f, alpha = 0.0f, beta = 0.0f, gamma = 0.0f;
    std::string space_group;
    // The lines before the first atom record, then that record.
    std::vector<std::string> header_info;
    // Per atom read: whether its record was read by the standard's columns (else split at
    // white space with the layout pdb_format).
    std::vector<bool> v_atom_columns;

protected:
    // Reads the records before the first atom record and takes the layout of that record;
    // `file` is left before it.
    bool ReadStart(CTextFile &file);
    // Records up to the end of the first model, as many as `lines` holds.
    EPiece ReadLines(CTextFile &lines, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    auto AtomVectors() { return std::tie(v_source_line, v_atom_columns, v_atom_altloc); }
    // After the atom records: alternate locations are dropped when no atom has one.
    void FinishRead();
    // SymbolIndex when `text` is exactly an element symbol, else the dummy element.
    uint32_t ExactSymbolIndex(std::string_view text);
    uint32_t ElementOfName(std::string_view line);
    // The element of a name in a standard residue: its first letter after any digits ("CA" is
    // carbon, "1HB" hydrogen), however the name is placed; a symbol in its own case ("Fe") whole.
    uint32_t ElementOfStandardName(std::string_view name);
    // The element of a standard record: columns 77-78, else the name (ElementOfStandardName in
    // a standard residue, ElementOfName elsewhere).
    uint32_t ElementOfRecord(std::string_view line);

private:
    bool ReadHeader(CTextFile &file, std::string_view &first);
    bool ReadCryst1(std::string_view rest, uint32_t n);
    // Sets pdb_format from a record, or says in `failure` why none can be trusted.
    bool ChooseVariant(std::string_view rest, std::string &failure);
    bool ReadStandardAtom(std::string_view line, const glm::dvec3 &p, uint32_t n,
                          std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    bool ReadSplitAtom(std::string_view line, std::string_view rest, uint32_t n,
                       std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);

    // Line on which pdb_format was chosen.
    uint32_t u_variant_line = 0;
};

#endif
