#ifndef CPDB_H
#define CPDB_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

#include "cstructurefile.h"
#include "ctimer.h"

// Protein Data Bank records. An atom record whose coordinates stand in the standard's columns
// 31-54 is read by the standard's columns; any other is split at white space, with the layout
// (one of seven variants, `pdb_format`) recognised from the first atom record. Only the first
// model is read: every atom record up to ENDMDL or END, whatever records stand between them.
// CRYST1 gives the cell. Saving writes the file read back, changing only the coordinate and
// element fields of edited atoms and dropping the records of deleted ones (their ANISOU records,
// CONECT entries and LINK records too, MASTER's counts following); atoms that were not read from
// a file are written as column-exact ATOM records of one pseudo-residue.
class CPdb : public CStructureFile {
public:
    CTimer Timer;
    // Atom-record variant 1 to 7 of the records split at white space: 1 serial, name, x y z; 2 to
    // 5 a residue number before the coordinates and 0 to 3 numbers after them; 6 the standard
    // record without chain; 7 with. Taken from the first atom record when it fits one, else
    // from the first record that needs it; 0 while none was needed.
    uint32_t pdb_format = 0;
    // CRYST1 lengths (angstrom) and angles (degrees).
    float a = 0.0f, b = 0.0f, c = 0.0f, alpha = 0.0f, beta = 0.0f, gamma = 0.0f;
    // The lines before the first atom record, then that record.
    std::vector<std::string> header_info;
    // Per atom read: whether its record was read by the standard's columns (else split at
    // white space with the layout pdb_format).
    std::vector<bool> v_atom_columns;

    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    bool SaveFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;

    // What the rewrites of a file's models deleted, for the records that follow the models.
    struct SDeletions {
        std::set<std::string> serials;
        size_t records = 0;
    };
    // Adds what the last rewrite deleted to `deleted`.
    void AddDeletions(SDeletions &deleted) const;
    // The records after a file's models (CONECT, MASTER, END) without the atoms `deleted` names.
    static std::string RewriteTail(std::string_view tail, const SDeletions &deleted);

private:
    friend class CStructureFile;
    bool ParseText(const std::string &text, std::vector<glm::dvec3> &xyz,
                   std::vector<uint32_t> &index) override
    {
        return ParseAs<CPdb>(text, xyz, index);
    }
    bool Parse(const std::string &d, CTextFile &file, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &index);
    bool ReadHeader(CTextFile &file, std::string_view &first);
    // Records up to the end of the first model, as many as `lines` holds.
    EPiece ReadLines(CTextFile &lines, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    auto AtomVectors() { return std::tie(v_source_line, v_atom_columns, v_atom_altloc); }
    bool ReadCryst1(std::string_view rest, uint32_t n);
    // Sets pdb_format from a record, or says in `failure` why none can be trusted.
    bool ChooseVariant(std::string_view rest, std::string &failure);
    bool ReadStandardAtom(std::string_view line, const glm::dvec3 &p, uint32_t n,
                          std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    bool ReadSplitAtom(std::string_view line, std::string_view rest, uint32_t n,
                       std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    // SymbolIndex when `text` is exactly an element symbol, else the dummy element.
    uint32_t ExactSymbolIndex(std::string_view text);
    uint32_t ElementOfName(std::string_view line);
    // The element of a standard record: columns 77-78, else the name.
    uint32_t ElementOfRecord(std::string_view line);
    bool PatchElement(std::string &record, const SAtomEdit &edit);
    void AppendHeader(std::string &text) const;
    void AppendCryst1(std::string &text) const;
    static void AppendAtom(std::string &text, const char *record, size_t serial_number, const glm::dvec3 &p,
                           uint32_t idx);
    void PrepareRewrite(const std::vector<SAtomEdit> &edits) override;
    void NameRetypedAtoms(const std::vector<SAtomEdit> &edits, const std::vector<std::string_view> &lines);
    void NumberAddedAtoms(const std::vector<SAtomEdit> &edits, const std::vector<std::string_view> &lines);
    bool NamesDeletedPlace(std::string_view link) const;
    // MASTER with its coordinate and CONECT counts less those dropped (negative: atoms added).
    static std::string RewriteMaster(std::string_view line, long long coordinates_dropped, long long conect_dropped);
    void AddedAtomLine(const SAtomEdit &added, std::string &out) override;
    bool PutCoordinates(std::string &record, const glm::dvec3 &p, const std::string &who);
    void RewriteCryst1(std::string_view line, std::string &out) const;
    bool RewriteAtomLine(std::string_view line, const SAtomEdit &edit, std::string &out) override;
    bool RewriteOtherLine(std::string_view line, uint32_t n, std::string &out) override;
    bool FollowsAtom(std::string_view line) const override;
    bool PatchColumns(std::string &record, const SAtomEdit &edit);
    void PatchSplit(std::string &record, const SAtomEdit &edit) const;
    // Serial fields (columns 7-11, trimmed) of the atoms deleted, as the save met them, and of
    // the last atom record met when it was deleted (its ANISOU records follow it).
    std::set<std::string> v_deleted_serial;
    std::string deleted_serial;
    // Name and place (columns 13-27) of the deleted atoms read by columns, as LINK names them.
    std::set<std::string> v_deleted_place;
    // Per re-typed atom read (by columns) whose name changes: its new name, columns 13-16.
    std::map<uint32_t, std::string> m_new_name;
    size_t u_conect_dropped = 0;

    // The serial number the next added atom gets at a save.
    size_t u_next_serial = 1;
    // Line on which pdb_format was chosen.
    uint32_t u_variant_line = 0;
};

#endif
