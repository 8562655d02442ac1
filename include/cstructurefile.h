#ifndef CSTRUCTUREFILE_H
#define CSTRUCTUREFILE_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>
#include <glm/glm.hpp>

#include "ceditjournal.h"
#include "clinepieces.h"
#include "ctextfile.h"
#include "largepages.h"

class CVolumeGrid;

// What the XYZ, PDB and VASP readers/writers have in common: the members the model takes over
// after a read, the read and save entry points, and the checks and messages they share.
// A read either succeeds whole or changes nothing but error_message, so a failed read never
// disturbs the structure (and the state its next save needs) that is already loaded. The journal
// of the edits it holds is what its saves ask of them.
class CStructureFile : public CEditJournal {
public:
    // Coordinates (angstrom) beyond this are refused: the model's single-precision copies and
    // boxes of such structures would overflow.
    static constexpr double MAX_COORDINATE = 1e15;

    CStructureFile() = default;
    virtual ~CStructureFile() = default;
    // Declared, since the destructor would otherwise turn every move (a read taking over what it
    // parsed) into a copy of the file's text and atoms.
    CStructureFile(const CStructureFile &) = default;
    CStructureFile(CStructureFile &&) = default;
    CStructureFile &operator=(const CStructureFile &) = default;
    CStructureFile &operator=(CStructureFile &&) = default;

    uint32_t header_lines = 0;
    uint32_t total_atoms = 0;
    glm::dvec3 min_coord{0.0}, max_coord{0.0};
    // Columns 0, 1, 2 are the cell vectors a, b, c.
    glm::dmat3 cell_xyz{1.0};
    bool is_periodic = false;
    // Why the last read or save failed ("line 7: expected 3 coordinates, found 2").
    std::string error_message;

    // The file as read, kept so that a save writes back every byte the edits did not touch;
    // empty for a structure that was not read by this handler.
    std::string source_text;
    // Per atom read, in file order: the line it stands on (from 1), its element and position.
    std::vector<uint32_t> v_source_line;
    std::vector<uint32_t> v_source_index;
    std::vector<glm::dvec3> v_source_xyz;
    // The folder of the file read (where a POTCAR was looked for).
    std::string source_folder;
    // Where the lines of a trajectory frame's text stand in its file: the first `shared` lines
    // are the file's own first lines (a header all frames share), the rest start at line
    // `first`. Error messages name file lines through it.
    struct SLineMap {
        uint32_t shared = 0;
        uint64_t first = 1;
        uint64_t FileLine(uint32_t n) const { return n <= shared ? n : first + (n - shared - 1); }
    };
    SLineMap line_map;
    // The file as it was read or last saved, to tell whether another program changed it since.
    SFileStamp source_stamp;
    // Per axis of the cell, whether the structure repeats along it (all three for a crystal).
    glm::bvec3 is_periodic_axis{true};
    // Per atom read, its conformer (alternate location, disorder group), 0 for none; empty
    // when the file has none. The model takes it over after a read.
    std::vector<uint8_t> v_atom_altloc;

    // Fills `xyz` (angstrom) and `index` (element indices) in file order. `d` is the folder
    // of `f`, where a POTCAR is looked for.
    virtual bool ReadFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                          std::vector<uint32_t> &index) = 0;
    // Replaces `f` by the given atoms; when that fails `f` is left as it was.
    virtual bool SaveFile(std::string d, std::string f, std::vector<glm::dvec3> &xyz,
                          std::vector<uint32_t> &index) = 0;
    // Whether a save may replace the file read with the edits; false for a format where that
    // would change more than the edits (a CIF's symmetry), whose saves go to another name.
    virtual bool SavesInPlace() const { return true; }
    // Why the atoms read are no cell that a supercell could repeat (a PDB entry's asymmetric
    // unit, a structure whose volumetric grid would no longer fit the cell); empty when they are one.
    virtual std::string WhyNoSupercell() const;
    // WhyNoSupercell of an entry whose atoms are the asymmetric unit of `space_group` (a
    // Hermann-Mauguin name; empty when the file gives none, which is taken as P 1).
    static std::string AsymmetricUnitOf(std::string_view space_group);

    // The cell a save writes: the one read unless an edit changed it.
    const glm::dmat3 &SavedCell() const;
    // Lets the file read go (another format's file has been read instead).
    virtual void ForgetSource();
    // The values on a grid that a volumetric file holds beside its structure; none for others.
    virtual const CVolumeGrid *Grid() const { return nullptr; }
    // The file read with the model's atoms `xyz`/`index` in place of those read, as a save
    // would write it; false (error_message says why) when it would not read back as them.
    bool RewriteText(const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index,
                     std::string &text);
    // Where, in the last RewriteText's text, the frame's own lines begin (those after the
    // line_map.shared lines of the header it shares with other frames, whose rewrite may have
    // gained or lost lines).
    size_t OwnLinesStart() const { return u_own_lines_start; }
    // Reads `text`, one frame of the trajectory at folder `d`, into `self` as if it were a file
    // of its own; `lines` tells where its lines stand in the trajectory's file.
    template <class T>
    static bool ReadFrameInto(T &self, const std::string &d, std::string text, const SLineMap &lines,
                              std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    // Whether `f` is the file read or last saved and another program has changed it since.
    bool ChangedOnDisk(const std::string &f) const;

    // Element index of a symbol read from a file; the dummy element when it names none.
    uint32_t GetAtomIndex(std::string s) const;
    uint32_t GetTotalAtoms() const { return total_atoms; }
    glm::dvec3 GetMinCoordinate() const { return min_coord; }
    glm::dvec3 GetMaxCoordinate() const { return max_coord; }

    // `v` in the style of the number text `like`: its decimals (at least MIN_DECIMALS, more
    // when needed to come within `tolerance` of v) and, if it had one, its exponent.
    static std::string NumberLike(std::string_view like, double v, double tolerance = MOVED_ERROR / 2);
    // `line` with some of its white-space separated fields (by position from 0) replaced, each
    // right-aligned in the room the old field and the blanks before it took, wider when needed;
    // all else stays as it was.
    static std::string ReplaceFields(std::string_view line,
                                     std::vector<std::pair<size_t, std::string>> fields);

    // The field at position k (from 0) of a white-space separated line; empty when none.
    static std::string_view Field(std::string_view line, size_t k);

    // The shortest text that reads back as exactly `v`.
    static void AppendExact(std::string &out, double v);

    static constexpr int MIN_DECIMALS = 4;
    // How far a moved atom may read back from where it was put (angstrom), at the least.
    static constexpr double MOVED_ERROR = 1e-3;

protected:
    // What one atom read has become by the time of a save, or an atom added since the read.
    struct SAtomEdit {
        // The atom read; for an added atom the one its line copies (NO_TEMPLATE for none).
        uint32_t source = 0;
        bool deleted = false;
        bool moved = false;
        bool retyped = false;
        // Where and what it is now (file frame); unset when deleted.
        glm::dvec3 xyz{0.0};
        uint32_t element = 0;
    };

    // Writes the file read back to `f` with the model's atoms `xyz`/`index`: each line goes
    // through RewriteAtomLine (the line an atom stands on) or RewriteOtherLine, keeping its line
    // end as read.
    bool WriteBack(const std::string &f, const std::vector<glm::dvec3> &xyz,
                   const std::vector<uint32_t> &index);
    // Formats append the new text of a line (without line end) to `out`, or return false to
    // drop the line. `n` is the line number from 1. PrepareRewrite sees every edit first.
    virtual void PrepareRewrite(const std::vector<SAtomEdit> &edits);
    virtual bool RewriteAtomLine(std::string_view line, const SAtomEdit &edit, std::string &out) = 0;
    virtual bool RewriteOtherLine(std::string_view line, uint32_t n, std::string &out);
    // Appends the line of an added atom (without line end); they follow the last atom line read
    // and the records that belong to it.
    virtual void AddedAtomLine(const SAtomEdit &added, std::string &out) = 0;
    // Whether a line that is not an atom's own belongs to the atom line before it (a PDB ANISOU).
    virtual bool FollowsAtom(std::string_view) const { return false; }
    // Whether a new cell changes how untouched atoms are written (fractional coordinates).
    virtual bool CellMovesAtoms() const { return false; }
    // The line of atom `source` read (the last atom's for NO_TEMPLATE), during a save.
    std::string_view AtomLine(uint32_t source) const;
    bool HasSource() const { return !source_text.empty(); }
    // Reads `text` as a file of this format from source_folder.
    virtual bool ParseText(const std::string &text, std::vector<glm::dvec3> &xyz,
                           std::vector<uint32_t> &index) = 0;
    template <class T>
    bool ParseAs(const std::string &text, std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index) const;
    // Where the first line of source_text starts: after a byte order mark, which a save keeps.
    size_t TextStart() const;
    // Per atom read, the line it stands on (without line end), in the text of source_text.
    std::vector<std::string_view> AtomLines() const;
    // The line end of the file read, for lines a save adds.
    std::string_view LineEnd() const;
    // Atoms read that are gone, and the atoms added, as a save met them.
    size_t DeletedCount() const { return u_deleted; }
    const std::vector<SAtomEdit> &AddedAtoms() const { return v_added; }

    // Parses into a fresh T (`parsed`, which may carry the read's settings) and takes it over
    // only when the whole file was read.
    template <class T>
    static bool ReadInto(T &self, const std::string &d, const std::string &f,
                         std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index, T parsed = T());
    template <class T>
    static bool ParseInto(T &self, const std::string &d, CTextFile &file, const SLineMap &lines,
                          std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index, T parsed = T());

    // How a run of atom lines ended: read to its end, at the end of the structure (what follows
    // is no part of it), or at a line that does not read (error_message says why).
    enum class EPiece { READ, ENDED, FAILED };
    // Reads at most `max_lines` of the lines of `file` not yet read with
    // self.ReadLines(lines, xyz, index), on every core where it pays: each piece of lines by a
    // copy of `self` (which holds what the header said), the pieces joined in file order, so that
    // the atoms, the lines they stand on and the first failure are those of one pass. With
    // `is_splittable` false (a format whose lines do not read alone) the lines are read in one
    // go. `file` moves past the lines read.
    template <class T>
    static bool ReadPieces(T &self, CTextFile &file, uint32_t max_lines, bool is_splittable,
                           std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index);
    // The vectors with an entry per atom read that ReadLines fills beside `xyz` and `index`; a
    // format with more of them hides this with its own list.
    auto AtomVectors() { return std::tie(v_source_line); }

    bool Fail(const std::string &reason);
    bool Fail(uint32_t line, const std::string &reason);
    // Three numbers from `rest`; `what` names one of them in the message ("coordinate").
    bool ReadVector(std::string_view &rest, glm::dvec3 &v, uint32_t line, const char *what);
    bool ReadNumber(std::string_view &rest, double &v, uint32_t line, const char *what);
    // Fails when cell_xyz is no usable cell (CellFault says why).
    bool CheckCell(uint32_t line);
    // Why cell_xyz is no usable cell (it spans no volume or reaches beyond MAX_COORDINATE), or
    // nullptr when it is one.
    const char *CellFault() const;

    // Takes an atom position read on `line`, or fails when it lies beyond MAX_COORDINATE.
    bool AddPosition(const glm::dvec3 &p, uint32_t line, std::vector<glm::dvec3> &xyz);
    // GetAtomIndex for the symbols of atom lines, remembering recent answers.
    uint32_t SymbolIndex(std::string_view token);

    // Refuses what could not be read back: no atoms, or a coordinate that is not finite.
    bool CheckAtoms(const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index);
    bool WriteText(const std::string &f, const std::string &text);
    // `v` in fixed point, right-aligned in `width` characters, and always after a space.
    static void AppendFixed(std::string &out, double v, int width, int decimals);

private:
    void SetBounds(const std::vector<glm::dvec3> &xyz);
    // Takes over the file text and the atoms read as the source of later saves.
    void KeepSource(const std::string &d, CTextFile &file, const std::vector<glm::dvec3> &xyz,
                    const std::vector<uint32_t> &index);
    // Whether `text`, read back, holds the model's atoms: the same elements, untouched atoms
    // exactly where they were and moved ones within the precision they were written with.
    bool ReadsBackAs(const std::string &text, const std::vector<SAtomEdit> &edits,
                     const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index);
    // The edits of the atoms read, by atom read; fills v_added and u_deleted.
    std::vector<SAtomEdit> Edits(const std::vector<glm::dvec3> &xyz, const std::vector<uint32_t> &index);

    size_t u_deleted = 0;
    size_t u_own_lines_start = 0;
    std::vector<SAtomEdit> v_added;
    // The atom lines read, while a save with added atoms runs.
    std::vector<std::string_view> v_atom_lines;
    // The added atoms' lines, each ended, at the end of `text` (which ends a line, or the file's
    // last line had no line end: then neither has the last added one).
    void AppendAdded(std::string &text);

    static constexpr size_t SYMBOL_MEMO_SLOTS = 64;
    std::array<std::pair<uint32_t, uint32_t>, SYMBOL_MEMO_SLOTS> symbol_memo{};
};

namespace structure_pieces {

// Appends column I of every tuple in `from` to column I of `to`, in order, each freed once
// appended, so that a join holds little more than the atoms once.
template <size_t I, class Tuple>
void JoinColumn(Tuple &to, std::vector<Tuple> &from)
{
    auto &column = std::get<I>(to);
    size_t total = column.size();
    for (Tuple &part : from)
        total += std::get<I>(part).size();
    ReserveLarge(column, total);
    for (Tuple &part : from) {
        auto &piece = std::get<I>(part);
        column.insert(column.end(), piece.begin(), piece.end());
        std::decay_t<decltype(piece)>().swap(piece);
    }
}

template <class Tuple, size_t... I>
void JoinColumns(Tuple &to, std::vector<Tuple> &from, std::index_sequence<I...>)
{
    (JoinColumn<I>(to, from), ...);
}

} // namespace structure_pieces

template <class T>
bool CStructureFile::ReadPieces(T &self, CTextFile &file, uint32_t max_lines, bool is_splittable,
                                std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index)
{
    const CLinePieces pieces(file.Rest(), file.LineNumber(), max_lines, is_splittable);
    // How far the reading of a piece came.
    struct SRead {
        EPiece result = EPiece::FAILED;
        size_t bytes = 0;
        uint32_t lines = 0;
    };
    const auto read = [&pieces](size_t k, T &reader, std::vector<glm::dvec3> &to_xyz,
                                std::vector<uint32_t> &to_index) {
        CTextFile lines;
        lines.SetPiece(pieces[k].text, pieces[k].lines_before);
        to_xyz.reserve(to_xyz.size() + pieces[k].lines);
        to_index.reserve(to_index.size() + pieces[k].lines);
        reader.v_source_line.reserve(reader.v_source_line.size() + pieces[k].lines);
        SRead done;
        done.result = reader.ReadLines(lines, to_xyz, to_index);
        done.bytes = pieces[k].text.size() - lines.RemainingBytes();
        done.lines = lines.LineNumber() - pieces[k].lines_before;
        return done;
    };
    // One piece is read by `self` itself, on this thread.
    if (pieces.Count() == 1) {
        const SRead done = read(0, self, xyz, index);
        file.Skip(done.bytes, done.lines);
        return done.result != EPiece::FAILED;
    }
    struct SPart {
        T reader;
        std::vector<glm::dvec3> xyz;
        std::vector<uint32_t> index;
        SRead done;
    };
    std::vector<SPart> parts(pieces.Count());
    pieces.Run([&](size_t k) {
        SPart &part = parts[k];
        part.reader = self;
        part.done = read(k, part.reader, part.xyz, part.index);
        return part.done.result == EPiece::READ;
    });
    using Columns = decltype(std::tuple_cat(std::tie(xyz, index), self.AtomVectors()));
    std::vector<Columns> joined;
    size_t bytes = 0;
    uint32_t lines = 0;
    for (SPart &part : parts) {
        if (part.done.result == EPiece::FAILED)
            return self.Fail(part.reader.error_message);
        joined.push_back(std::tuple_cat(std::tie(part.xyz, part.index), part.reader.AtomVectors()));
        bytes += part.done.bytes;
        lines += part.done.lines;
        if (part.done.result == EPiece::ENDED)
            break;
    }
    Columns to = std::tuple_cat(std::tie(xyz, index), self.AtomVectors());
    structure_pieces::JoinColumns(to, joined, std::make_index_sequence<std::tuple_size_v<Columns>>());
    file.Skip(bytes, lines);
    return true;
}

template <class T>
bool CStructureFile::ReadInto(T &self, const std::string &d, const std::string &f,
                              std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index, T parsed)
{
    CTextFile file;
    if (!file.Open(f))
        return self.Fail(file.error_message);
    return ParseInto(self, d, file, SLineMap{}, xyz, index, std::move(parsed));
}

template <class T>
bool CStructureFile::ReadFrameInto(T &self, const std::string &d, std::string text,
                                   const SLineMap &lines, std::vector<glm::dvec3> &xyz,
                                   std::vector<uint32_t> &index)
{
    CTextFile file;
    file.SetText(std::move(text));
    return ParseInto(self, d, file, lines, xyz, index);
}

template <class T>
bool CStructureFile::ParseInto(T &self, const std::string &d, CTextFile &file, const SLineMap &lines,
                               std::vector<glm::dvec3> &xyz, std::vector<uint32_t> &index, T parsed)
{
    parsed.line_map = lines;
    std::vector<glm::dvec3> new_xyz;
    std::vector<uint32_t> new_index;
    if (!parsed.Parse(d, file, new_xyz, new_index)) {
        self.error_message = parsed.error_message;
        return false;
    }
    parsed.total_atoms = static_cast<uint32_t>(new_xyz.size());
    parsed.SetBounds(new_xyz);
    parsed.KeepSource(d, file, new_xyz, new_index);
    self = std::move(parsed);
    xyz.swap(new_xyz);
    index.swap(new_index);
    return true;
}

template <class T>
bool CStructureFile::ParseAs(const std::string &text, std::vector<glm::dvec3> &xyz,
                             std::vector<uint32_t> &index) const
{
    CTextFile file;
    file.SetText(text);
    T parsed;
    return parsed.Parse(source_folder, file, xyz, index);
}

#endif
