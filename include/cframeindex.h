#ifndef CFRAMEINDEX_H
#define CFRAMEINDEX_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cdiskfile.h"
#include "cmappedfile.h"
#include "cstructurefile.h"

// How a trajectory file lays out its frames.
enum class EFrameLayout {
    // Each frame a whole XYZ file: its count, comment line and atom lines.
    XYZ,
    // VASP's XDATCAR: a POSCAR header (comment, scale, lattice, symbols, counts) and blocks of
    // "Direct configuration= N" and one position line per atom; a variable cell repeats the
    // header before each block.
    XDATCAR,
    // PDB models: the lines before the first MODEL are the header every model shares, frame 0
    // starts at the top of the file, the others run from MODEL to ENDMDL; what follows the
    // last ENDMDL (CONECT, MASTER, END) is the tail.
    PDB,
};

// Where each frame of a trajectory starts in its mapped file, found in one pass that reads no
// more of a frame than its counts; a frame's text is copied out only when asked for. A frame
// cut short at the end of the file is left out, and `warning` names its line.
class CFrameIndex {
public:
    // Maps and indexes `path`; false when it cannot be mapped or holds no whole frame.
    bool Open(const std::string &path, EFrameLayout kind);
    void Close();
    uint64_t FrameCount() const { return frames.size(); }
    // How many frame starts the file has, the cut-short one included.
    uint64_t FramesFound() const { return frames.size() + (warning.empty() ? 0 : 1); }
    uint32_t FrameAtoms(uint64_t k) const { return frames[k].atoms; }
    EFrameLayout Layout() const { return layout; }
    // Frame k as the text of a file of its own (an XDATCAR block with the header before it),
    // and where its lines stand in the file; false when the file changed since it was indexed.
    bool FrameText(uint64_t k, std::string &text, CStructureFile::SLineMap &lines);
    // The bytes of frame k in the file (without the shared header), and the lines of the
    // shared header that FrameText puts before them.
    std::string_view FrameBytes(uint64_t k) const;
    uint32_t SharedLines(uint64_t k) const { return frames[k].is_own_header ? 0 : u_header_lines; }
    // What follows the last whole frame (a cut-short frame), kept for saves.
    std::string_view Tail() const;
    // Whether the tail is an XDATCAR block that takes its atom count from the shared header.
    bool TailSharesHeader() const;
    // Whether the file is as it was indexed and still at its path (error_message says when not).
    bool Unchanged();
    // Whether the text indexed is as it was, wherever the path now leads (error_message says when
    // not): what a save that copies frames from it needs.
    bool TextUnchanged();
    // Whether `path` is the file indexed (or last saved) and another file or other text is now there.
    bool ChangedOnDisk(const std::string &path) const;
    // Whether `path` names the file indexed (or last saved).
    bool IsFile(const std::string &path) const;
    // The file just saved at `path` is the one to watch from now on.
    void Saved(const std::string &path);
    // A save to `path` rewrote that file in place: when it is the file indexed, its old text is
    // read from `old_copy` (an open copy of it) from then on; -1 when no file was rewritten.
    void KeepText(const std::string &path, int old_copy);
    // Writes `bytes` (FrameBytes, Tail) to `sink` a chunk at a time and lets the pages behind
    // each go, so that a copy of any size stays out of memory.
    bool Copy(std::string_view bytes, CFileSink &sink);
    // A pass over every frame (a save) starts, and has read up to the end of frame k.
    void BeginPass() { file.BeginPass(); }
    void Passed(uint64_t k);

    std::string error_message;
    std::string warning;

private:
    // Per frame: where its text starts, the line it starts on (from 1) and its atom count.
    struct SFrame {
        uint64_t offset;
        uint64_t line;
        uint32_t atoms;
        bool is_own_header;
    };
    // A line of the file being indexed, and where the next one starts.
    struct SCursor {
        size_t pos = 0;
        uint64_t line = 1;
        bool Next(std::string_view text, std::string_view &line_text);
        bool Skip(std::string_view text, uint64_t lines);
    };

    bool ScanXyz(std::string_view text);
    bool ScanXdatcar(std::string_view text);
    bool ScanPdb(std::string_view text);
    // Reads a header up to its "Direct configuration=" line: the atoms its counts add up to, how
    // many lines it has and where the block's first line starts.
    bool ReadXdatcarHeader(std::string_view text, SCursor &at, uint32_t &atoms, uint32_t &header_lines,
                           size_t &block_start);
    // Steps past `atoms` atom lines of the next frame or, when the file ends before them, sets
    // `warning` and returns false.
    bool SkipAtoms(std::string_view text, SCursor &at, uint32_t atoms);
    bool Stop(uint64_t line, const std::string &reason);
    // The pass has read up to `pos`: the pages behind it may go.
    void Scanned(size_t pos);

    CMappedFile file;
    EFrameLayout layout = EFrameLayout::XYZ;
    std::vector<SFrame> frames;
    uint64_t u_tail = 0;
    uint32_t u_header_lines = 0;
    uint64_t u_header_bytes = 0;
    size_t u_scanned = 0;
};

#endif
