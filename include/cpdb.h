#ifndef CPDB_H
#define CPDB_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>
#include <glm/glm.hpp>

#include "cpdbreader.h"
#include "ctimer.h"

// Protein Data Bank files, read as CPdbReader reads them. Saving writes the file read back,
// changing only the coordinate and element fields of edited atoms and dropping the records of
// deleted ones (their ANISOU records, CONECT entries and LINK records too, MASTER's counts
// following); atoms that were not read from a file are written as column-exact ATOM records of
// one pseudo-residue.
class CPdb : public CPdbReader {
public:
    CTimer Timer;

    bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    bool SaveFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                  std::vector<uint32_t> &index) override;
    std::string WhyNoSupercell() const override { return AsymmetricUnitOf(space_group); }
    // Whether CRYST1 can describe `cell`: a along x and b in the xy plane.
    static bool HoldsCell(const glm::dmat3 &cell);

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
    static bool IsScaleRecord(std::string_view record);
    void RewriteScale(std::string_view line, size_t n, std::string &out) const;
    // SCALEn: the matrix row in columns 11-40, three fields of ten.
    static constexpr size_t SCALE_COLUMN = 10;
    static constexpr size_t SCALE_WIDTH = 10;
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
};

#endif
