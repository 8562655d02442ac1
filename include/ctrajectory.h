#ifndef CTRAJECTORY_H
#define CTRAJECTORY_H

#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>
#include <glm/glm.hpp>

#include "cframeindex.h"
#include "cpdb.h"
#include "cstructurefile.h"

// A file of many frames (XYZ, XDATCAR, PDB models) opened for viewing and editing one frame at a
// time: the index of its frames, the frame shown, the last few frames read, and what the edits
// made of each frame, so that a save writes every frame and copies those the edits left alone.
// A move belongs to its frame. A deletion or new element belongs to every frame that read the
// same atoms (the same elements in the same order) as the frame it was made in, and so do an
// added atom (at the same fractional place, Cartesian without a cell) and a wrap into the cell.
class CTrajectory {
public:
    // Indexes `path`; false (error_message) when it cannot be read as frames of `layout`.
    bool Open(const std::string &path, EFrameLayout layout);
    void Close();
    bool IsOpen() const { return index.FrameCount() > 0; }
    uint64_t FrameCount() const { return index.FrameCount(); }
    uint64_t FramesFound() const { return index.FramesFound(); }
    uint64_t Shown() const { return u_shown; }
    EFrameLayout Layout() const { return index.Layout(); }
    // How many frames have as many atoms as frame k (it among them): those the deletions, new
    // elements, added atoms and wraps made in frame k may act on; the others are left as they are.
    uint64_t FramesWithAtomsOf(uint64_t k) const;
    // Why the file's last frame was left out (it is cut short); empty when none was.
    const std::string &Warning() const { return index.warning; }

    // Reads frame k into `reader` (a CXyz for XYZ, a CVasp for XDATCAR, a CPdb for PDB) with the
    // edits made to it, and makes it the frame shown.
    bool ReadFrame(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
                   std::vector<uint32_t> &elements);
    // Takes note of what the edits have made of the frame shown, as `reader` and the atoms hold it.
    void Remember(const CStructureFile &reader, const std::vector<glm::dvec3> &xyz,
                  const std::vector<uint32_t> &elements);
    // Wraps (or no longer wraps) every frame that read the same atoms as `reader` into its own
    // cell along its periodic axes; the wrap is made as each frame is read or saved.
    void SetWrapped(const CStructureFile &reader, bool is_wrapped);
    bool IsWrapped(const CStructureFile &reader) const;
    // Writes every frame to `path`: frames without edits as read, edited ones rewritten by their
    // format, then whatever followed the last whole frame (a PDB's CONECT and MASTER without the
    // atoms deleted), a frame at a time. The file saved is the one watched from then on, and the
    // frames read after the save are those saved, wherever it wrote (a file with hard links is
    // rewritten in place).
    bool Save(const std::string &path);
    // Writes the frame shown alone, held by `reader` with the atoms `xyz`/`elements`, to `path` as
    // a file of its own: a PDB model ends with the records after the models (its CONECT and END;
    // MASTER counts every model, so it is left out).
    bool SaveShown(const std::string &path, CStructureFile &reader, const std::vector<glm::dvec3> &xyz,
                   const std::vector<uint32_t> &elements);
    // Whether `path` is the file read (or last saved) and another program has changed it or put
    // another file in its place since.
    bool ChangedOnDisk(const std::string &path) const;
    // Whether `path` names the file of the frames (as read or last saved).
    bool IsFileOf(const std::string &path) const { return index.IsFile(path); }

    std::string error_message;

private:
    // The deletions, new elements, added atoms and cell of the frames that read `read_elements`:
    // the journal of the edits (the atoms that remain, the records added atoms copy, the cell),
    // the elements, and per added atom its place (fractional in a frame with a cell).
    struct SAtomsEdit {
        std::vector<uint32_t> read_elements;
        CEditJournal journal;
        std::vector<uint32_t> elements;
        std::vector<glm::dvec3> added_at;
    };
    // A frame as read (reader null when it did not read; error says why).
    struct SCached {
        uint64_t frame = 0;
        std::shared_ptr<CStructureFile> reader;
        std::vector<glm::dvec3> xyz;
        std::vector<uint32_t> elements;
        std::string error;
    };
    // The frame after the one shown (in the direction of the last step), read on a worker thread
    // while the one shown is drawn. The job owns all it reads, so it never outlives the file's
    // mapping. A copy of a trajectory starts without one.
    struct SReadAhead {
        std::future<SCached> job;
        uint64_t frame = 0;
        SReadAhead() = default;
        SReadAhead(const SReadAhead &) {}
        SReadAhead &operator=(const SReadAhead &)
        {
            job = {};
            return *this;
        }
        SReadAhead(SReadAhead &&) = default;
        SReadAhead &operator=(SReadAhead &&) = default;
    };
    static constexpr size_t CACHED_FRAMES = 3;

    // Frame k as read, from the cache when it is there.
    bool Parse(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
               std::vector<uint32_t> &elements);
    bool ParseFile(uint64_t k, SCached &frame);
    // Frame k of `text` (its lines in the file: `lines`) read by a new reader of `layout`.
    static SCached ParseText(EFrameLayout layout, const std::string &folder, uint64_t k, std::string text,
                             const CStructureFile::SLineMap &lines);
    // After a step from frame `before` to its neighbour k, starts reading the frame after k in
    // the same direction unless it is cached.
    void ReadAhead(uint64_t k, uint64_t before);
    // The frame read ahead when it is k, waited for.
    const SCached *FromReadAhead(uint64_t k);
    void Keep(SCached frame);
    // Applies the edits of frame k to it as read; false when there are none.
    bool Recall(uint64_t k, CStructureFile &reader, std::vector<glm::dvec3> &xyz,
                std::vector<uint32_t> &elements) const;
    const SAtomsEdit *AtomsEditOf(const std::vector<uint32_t> &read_elements) const;
    // Where the atom `origin` of a frame is before its moves.
    glm::dvec3 PlaceOf(const CStructureFile &reader, uint32_t origin, const SAtomsEdit *e) const;
    static std::unique_ptr<CStructureFile> NewReader(EFrameLayout layout);
    // Writes frame k as the save writes it to `out`, and adds a PDB model's deletions to `deleted`.
    bool WriteFrame(uint64_t k, CFileSink &out, CPdb::SDeletions &deleted);
    // Writes every frame and what follows them.
    bool WriteFrames(CFileSink &out);
    // Whether the edits delete or add atoms in some frames.
    bool ChangesAtomCount() const;

    CFrameIndex index;
    std::string folder;
    uint64_t u_shown = 0;
    std::vector<SAtomsEdit> atoms_edits;
    // The atoms read (elements in order) of the frames wrapped into their cells.
    std::vector<std::vector<uint32_t>> wrapped;
    // Per edited frame: the atoms read that were moved, and where to.
    std::unordered_map<uint64_t, std::vector<std::pair<uint32_t, glm::dvec3>>> moves;
    std::deque<SCached> cache;
    SReadAhead ahead;
    // The last answer of FramesWithAtomsOf (a count over every frame), for the atom count asked.
    mutable uint32_t u_counted_atoms = ~uint32_t(0);
    mutable uint64_t u_counted_frames = 0;
};

// `p` with its fractional coordinates in [0, 1) along the periodic `axes` of `cell` (`inverse`
// is the cell's inverse, made once for many atoms); `p` itself when it is inside.
glm::dvec3 WrappedIntoCell(const glm::dmat3 &cell, const glm::dmat3 &inverse, const glm::bvec3 &axes,
                           const glm::dvec3 &p);

#endif
