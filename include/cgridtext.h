#ifndef CGRIDTEXT_H
#define CGRIDTEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The values of a volumetric grid as text, parsed on every core straight into float32: the
// text is cut into pieces of whole lines, the fields of each piece are counted (so that every
// piece knows where its first value goes) and then converted in place, with the same number
// rules as every structure reader (CTextFile::ScanDouble).
class CGridText {
public:
    // Reads `count` values from the start of `text`, whose first line is line `first_line` of
    // the file, each times `scale`: value t goes to to[t % m][t / m] for the m vectors of `to`
    // (interleaved blocks), each sized to count / m once the text is known to hold the values.
    // False (error_line and error_reason say where and why) when a field is no finite number
    // within float range or the text ends first.
    bool Read(std::string_view text, uint64_t first_line, size_t count, double scale,
              std::vector<std::vector<float>> &to);
    // Where the line after the last value starts in `text` (its end when there is none).
    size_t end = 0;
    // Line feeds in the text before `end`.
    uint64_t lines = 0;
    uint64_t error_line = 0;
    std::string error_reason;

    // For tests: pieces of about `bytes` bytes on `threads` threads, however small the text;
    // (0, 0) brings back the sizes chosen by the machine.
    static void SetSplitForTesting(size_t bytes, unsigned threads);

private:
    struct SPiece {
        size_t begin = 0, end = 0;
        // Fields in the piece, and values before it.
        size_t fields = 0, first = 0;
        uint64_t line_feeds = 0;
        // Where in the text its first bad field stands, and why (empty when none).
        size_t bad_at = 0;
        std::string bad;
    };
    std::vector<SPiece> v_pieces;

    // Cuts and counts pieces from `from` until `count` fields are found or the text ends; the
    // last piece ends just after the field that completes the count.
    void CountPieces(std::string_view text, size_t count);
    void ParsePiece(std::string_view text, SPiece &piece, size_t count, double scale,
                    const std::vector<float *> &to) const;
    // The fields found before the text ended (count when all were).
    size_t Found() const;
    bool Fail(std::string_view text, size_t at, uint64_t first_line, std::string reason);
};

#endif
