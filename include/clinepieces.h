#ifndef CLINEPIECES_H
#define CLINEPIECES_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// A text cut into pieces of whole lines, to parse them on every core: each piece knows how many
// lines come before it, so what is read from it names the file's own lines. A piece ends just
// after a line feed (a CR LF pair stays whole) or at the end of the text. A small text stays one
// piece, parsed on the calling thread.
class CLinePieces {
public:
    struct SPiece {
        std::string_view text;
        // Lines before the piece (of the whole file, not only of the text cut) and in it.
        uint32_t lines_before = 0;
        uint32_t lines = 0;
    };

    // Cuts the first `max_lines` lines of `text` (all of them when it has fewer); the file has
    // `lines_before` lines before `text`. With `is_splittable` false the text stays one piece.
    CLinePieces(std::string_view text, uint32_t lines_before, uint32_t max_lines, bool is_splittable = true);

    size_t Count() const { return v_pieces.size(); }
    const SPiece &operator[](size_t k) const { return v_pieces[k]; }
    // Calls work(k) once for each piece, on up to Threads() threads, pieces taken in order.
    // A piece for which work returns false is the last one that must be read: pieces after it
    // that have not started yet are left out.
    void Run(const std::function<bool(size_t)> &work) const;
    unsigned Threads() const { return u_threads; }

    // For tests: pieces of about `bytes` bytes on `threads` threads, however small the text;
    // (0, 0) brings back the sizes chosen by the text's size and the machine's cores.
    static void SetSplitForTesting(size_t bytes, unsigned threads);

private:
    void Cut(std::string_view text, size_t piece_bytes);
    // Counts the lines of the pieces, a round of pieces at a time, until `max_lines` are
    // reached; drops the pieces after that line and ends the last one with it.
    void CountLines(uint32_t lines_before, uint32_t max_lines);
    static void CutAfterLines(SPiece &piece, uint32_t lines);

    std::vector<SPiece> v_pieces;
    unsigned u_threads = 1;
};

#endif
