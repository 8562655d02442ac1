#include "clinepieces.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "paralleltasks.h"

namespace {

// Below this a text is parsed on the calling thread: starting threads would cost more.
constexpr size_t MIN_SPLIT_BYTES = size_t(1) << 20;
// Pieces per thread: small pieces even out the threads' shares and keep the copies a join
// makes at once small.
constexpr size_t PIECES_PER_THREAD = 8;
constexpr size_t MIN_PIECE_BYTES = size_t(64) << 10;

size_t forced_bytes = 0;
unsigned forced_threads = 0;

// memchr runs many times faster than a byte-by-byte count.
uint32_t CountLineFeeds(std::string_view text)
{
    uint32_t count = 0;
    if (text.empty())
        return 0;
    const char *end = text.data() + text.size();
    for (const char *at = text.data(); (at = static_cast<const char *>(std::memchr(at, '\n', end - at))) != nullptr; ++at)
        ++count;
    return count;
}

// The lines of a piece: its line feeds, and a last line without one.
uint32_t CountLines(std::string_view text)
{
    return CountLineFeeds(text) + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

} // namespace

void CLinePieces::SetSplitForTesting(size_t bytes, unsigned threads)
{
    forced_bytes = bytes;
    forced_threads = threads;
}

CLinePieces::CLinePieces(std::string_view text, uint32_t lines_before, uint32_t max_lines, bool is_splittable)
{
    const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
    if (!is_splittable || (forced_threads == 0 && text.size() < MIN_SPLIT_BYTES))
        u_threads = 1;
    else
        u_threads = forced_threads > 0 ? forced_threads : cores;
    size_t piece_bytes = text.size() + 1;
    if (is_splittable && forced_bytes > 0)
        piece_bytes = forced_bytes;
    else if (u_threads > 1)
        piece_bytes = std::max(MIN_PIECE_BYTES, text.size() / (u_threads * PIECES_PER_THREAD) + 1);
    Cut(text, piece_bytes);
    CountLines(lines_before, max_lines);
    u_threads = static_cast<unsigned>(std::min<size_t>(u_threads, v_pieces.size()));
}

void CLinePieces::Cut(std::string_view text, size_t piece_bytes)
{
    size_t start = 0;
    do {
        size_t end = text.size();
        if (text.size() - start > piece_bytes) {
            const size_t from = start + piece_bytes - 1;
            const void *lf = std::memchr(text.data() + from, '\n', text.size() - from);
            if (lf != nullptr)
                end = static_cast<size_t>(static_cast<const char *>(lf) - text.data()) + 1;
        }
        v_pieces.push_back({text.substr(start, end - start), 0, 0});
        start = end;
    } while (start < text.size());
}

void CLinePieces::CountLines(uint32_t lines_before, uint32_t max_lines)
{
    uint64_t counted = 0;
    size_t k = 0;
    // A round gives each thread a piece, so that a text with more lines than wanted (the frames
    // after the first) is not counted to its end.
    while (k < v_pieces.size() && counted < max_lines) {
        const size_t round_end = std::min(v_pieces.size(), k + u_threads);
        const size_t first = k;
        RunTasksUntil(round_end - first, u_threads, [this, first](size_t r) {
            SPiece &piece = v_pieces[first + r];
            piece.lines = ::CountLines(piece.text);
            return true;
        });
        for (; k < round_end && counted < max_lines; ++k) {
            SPiece &piece = v_pieces[k];
            if (counted + piece.lines > max_lines)
                CutAfterLines(piece, static_cast<uint32_t>(max_lines - counted));
            piece.lines_before = static_cast<uint32_t>(lines_before + counted);
            counted += piece.lines;
        }
    }
    // No line wanted: one empty piece.
    v_pieces.resize(std::max<size_t>(k, 1));
    if (k == 0)
        v_pieces[0] = {v_pieces[0].text.substr(0, 0), lines_before, 0};
}

void CLinePieces::CutAfterLines(SPiece &piece, uint32_t lines)
{
    size_t end = 0;
    for (uint32_t n = 0; n < lines; ++n)
        end = static_cast<size_t>(static_cast<const char *>(
                  std::memchr(piece.text.data() + end, '\n', piece.text.size() - end)) - piece.text.data()) + 1;
    piece.text = piece.text.substr(0, end);
    piece.lines = lines;
}

void CLinePieces::Run(const std::function<bool(size_t)> &work) const
{
    RunTasksUntil(v_pieces.size(), u_threads, work);
}

