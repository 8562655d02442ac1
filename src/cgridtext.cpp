#include "cgridtext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "ctextfile.h"
#include "largepages.h"
#include "paralleltasks.h"

namespace {

// Pieces of a few hundred kilobytes even out the threads' shares; a round of them is counted
// at a time, so that the text after the values wanted (the next block) is hardly looked at.
constexpr size_t PIECE_BYTES = size_t(256) << 10;
constexpr size_t PIECES_PER_ROUND = 16;

size_t forced_bytes = 0;
unsigned forced_threads = 0;

bool IsDigitOrPoint(char c) { return (c >= '0' && c <= '9') || c == '.'; }

// Where a field starts as ScanDouble splits them: after a space, or at a minus sign that
// follows a digit or a point (fixed columns that touch).
bool StartsField(char before, char c)
{
    return !CTextFile::IsSpace(c) && (CTextFile::IsSpace(before) || (c == '-' && IsDigitOrPoint(before)));
}

// Fields of `text`, stopping at the start of field `limit`: `stop` is where that field starts
// (the end of the text when it has no more).
size_t CountFields(std::string_view text, size_t limit, size_t &stop)
{
    size_t fields = 0;
    char before = ' ';
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (StartsField(before, c) && fields++ == limit) {
            stop = i;
            return limit;
        }
        before = c;
    }
    stop = text.size();
    return fields;
}

uint64_t LinesBefore(std::string_view text, size_t at)
{
    return static_cast<uint64_t>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

} // namespace

void CGridText::SetSplitForTesting(size_t bytes, unsigned threads)
{
    forced_bytes = bytes;
    forced_threads = threads;
}

bool CGridText::Read(std::string_view text, uint64_t first_line, size_t count, double scale,
                     std::vector<std::vector<float>> &to)
{
    error_reason.clear();
    CountPieces(text, count);
    // Storage only for values the text holds: a grid too large for its file is no allocation.
    std::vector<float *> columns;
    for (std::vector<float> &column : to) {
        column.clear();
        if (Found() == count) {
            ReserveLarge(column, count / to.size());
            column.resize(count / to.size());
        }
        columns.push_back(column.data());
    }
    RunTasks(v_pieces.size(), forced_threads, [&](size_t k) { ParsePiece(text, v_pieces[k], count, scale, columns); });
    for (const SPiece &piece : v_pieces)
        if (!piece.bad.empty())
            return Fail(text, piece.bad_at, first_line, piece.bad);
    if (Found() < count)
        return Fail(text, text.size(), first_line,
                    "the file ends after " + std::to_string(Found()) + " of " + std::to_string(count) + " grid values");
    lines = 0;
    for (const SPiece &piece : v_pieces)
        lines += piece.line_feeds;
    end = v_pieces.back().end;
    const void *lf = std::memchr(text.data() + end, '\n', text.size() - end);
    const size_t after = lf == nullptr ? text.size() : static_cast<size_t>(static_cast<const char *>(lf) - text.data()) + 1;
    lines += static_cast<uint64_t>(std::count(text.begin() + static_cast<long>(end), text.begin() + static_cast<long>(after), '\n'));
    end = after;
    return true;
}

size_t CGridText::Found() const
{
    return v_pieces.empty() ? 0 : v_pieces.back().first + v_pieces.back().fields;
}

void CGridText::CountPieces(std::string_view text, size_t count)
{
    v_pieces.clear();
    const size_t piece_bytes = forced_bytes > 0 ? forced_bytes : PIECE_BYTES;
    size_t found = 0, from = 0;
    while (found < count && from < text.size()) {
        const size_t first = v_pieces.size();
        for (size_t k = 0; k < PIECES_PER_ROUND && from < text.size(); ++k) {
            size_t to = text.size();
            if (text.size() - from > piece_bytes) {
                const void *lf = std::memchr(text.data() + from + piece_bytes - 1, '\n', text.size() - from - piece_bytes + 1);
                if (lf != nullptr)
                    to = static_cast<size_t>(static_cast<const char *>(lf) - text.data()) + 1;
            }
            SPiece &piece = v_pieces.emplace_back();
            piece.begin = from;
            piece.end = to;
            from = to;
        }
        RunTasks(v_pieces.size() - first, forced_threads, [&](size_t k) {
            SPiece &piece = v_pieces[first + k];
            size_t stop = 0;
            piece.fields = CountFields(text.substr(piece.begin, piece.end - piece.begin), count, stop);
        });
        for (size_t k = first; k < v_pieces.size(); ++k) {
            SPiece &piece = v_pieces[k];
            piece.first = found;
            if (found + piece.fields >= count) {
                // The piece ends after the last field wanted, before the blanks up to the next.
                size_t stop = 0;
                piece.fields = CountFields(text.substr(piece.begin, piece.end - piece.begin), count - found, stop);
                piece.end = piece.begin + stop;
                while (piece.end > piece.begin && CTextFile::IsSpace(text[piece.end - 1]))
                    --piece.end;
                v_pieces.resize(k + 1);
                found = count;
                break;
            }
            found += piece.fields;
        }
    }
}

void CGridText::ParsePiece(std::string_view text, SPiece &piece, size_t count, double scale,
                           const std::vector<float *> &to) const
{
    const size_t m = to.size();
    std::string_view rest = text.substr(piece.begin, piece.end - piece.begin);
    piece.line_feeds = static_cast<uint64_t>(std::count(rest.begin(), rest.end(), '\n'));
    // Without storage (the text is too short) the fields are still checked, so that a bad one
    // before the end is the one reported.
    const bool is_stored = to.front() != nullptr;
    const size_t last = std::min(count, piece.first + piece.fields);
    for (size_t t = piece.first; t < last; ++t) {
        const std::string_view before = rest;
        double v = 0.0;
        const EField result = CTextFile::ScanDouble(rest, v);
        v *= scale;
        if (result != EField::OK || !(std::fabs(v) <= std::numeric_limits<float>::max())) {
            piece.bad_at = static_cast<size_t>(CTextFile::SkipSpace(before).data() - text.data());
            piece.bad = result == EField::OK ? CTextFile::BadNumber(before, EField::NOT_FINITE, "grid value") +
                                                   " in single precision"
                        : result == EField::MISSING ? "expected a grid value"
                                                    : CTextFile::BadNumber(before, result, "grid value");
            return;
        }
        if (!is_stored)
            continue;
        if (m == 1)
            to[0][t] = static_cast<float>(v);
        else
            to[t % m][t / m] = static_cast<float>(v);
    }
}

bool CGridText::Fail(std::string_view text, size_t at, uint64_t first_line, std::string reason)
{
    error_line = first_line + LinesBefore(text, at);
    error_reason = std::move(reason);
    return false;
}
