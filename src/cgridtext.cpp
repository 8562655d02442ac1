#include "cgridtext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Byte classes for the scans, which look at every byte of the file.
constexpr uint8_t SPACE = 1, DIGIT_OR_POINT = 2, MINUS = 4;
struct SClasses {
    uint8_t of[256] = {};
    constexpr SClasses()
    {
        for (char c : {' ', '\t', '\r', '\n', '\v', '\f'})
            of[static_cast<unsigned char>(c)] = SPACE;
        for (int c = '0'; c <= '9'; ++c)
            of[c] = DIGIT_OR_POINT;
        of[static_cast<unsigned char>('.')] = DIGIT_OR_POINT;
        of[static_cast<unsigned char>('-')] = MINUS;
    }
};
constexpr SClasses CLASSES;

uint8_t ClassOf(char c) { return CLASSES.of[static_cast<unsigned char>(c)]; }

// Whether a field starts at a byte of class `c` after one of class `before`, as ScanDouble
// splits them: after a space, or at a minus sign that follows a digit or a point (fixed columns
// that touch).
bool StartsField(uint8_t before, uint8_t c)
{
    return ((before & SPACE) && !(c & SPACE)) || ((c & MINUS) && (before & DIGIT_OR_POINT));
}

// Fields of text[from, end) after a byte of class `before`, stopping at the start of field
// `limit`; `stop` is where that field starts (`end` when none does).
size_t CountFieldsFrom(std::string_view text, size_t from, uint8_t before, size_t limit, size_t &stop)
{
    size_t fields = 0;
    for (size_t i = from; i < text.size(); ++i) {
        const uint8_t c = ClassOf(text[i]);
        fields += StartsField(before, c);
        if (fields > limit) {
            stop = i;
            return limit;
        }
        before = c;
    }
    stop = text.size();
    return fields;
}

// Set bits of a 16-bit mask, without the library call a popcount becomes on plain x86-64.
size_t BitCount(uint32_t v)
{
    v = v - ((v >> 1) & 0x5555u);
    v = (v & 0x3333u) + ((v >> 2) & 0x3333u);
    v = (v + (v >> 4)) & 0x0F0Fu;
    return (v + (v >> 8)) & 0x1Fu;
}

// CountFieldsFrom from the start of `text`, sixteen bytes at a time where SSE2 is there: the
// bytes' classes as bit masks, a field starting where StartsField says.
size_t CountFields(std::string_view text, size_t limit, size_t &stop)
{
    size_t fields = 0, i = 0;
    uint8_t before = SPACE;
#ifdef __SSE2__
    uint32_t space_carry = 1, digit_carry = 0;
    const __m128i nine = _mm_set1_epi8(9), four = _mm_set1_epi8(4), zero = _mm_set1_epi8('0'),
                  nine_digits = _mm_set1_epi8(9), blank = _mm_set1_epi8(' '), point = _mm_set1_epi8('.'),
                  minus = _mm_set1_epi8('-');
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data() + i));
        const __m128i control = _mm_sub_epi8(x, nine), digit = _mm_sub_epi8(x, zero);
        const __m128i space = _mm_or_si128(_mm_cmpeq_epi8(x, blank),
                                           _mm_cmpeq_epi8(_mm_min_epu8(control, four), control));
        const __m128i digit_or_point = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(digit, nine_digits), digit),
                                                    _mm_cmpeq_epi8(x, point));
        const uint32_t s = uint32_t(_mm_movemask_epi8(space)), d = uint32_t(_mm_movemask_epi8(digit_or_point)),
                       m = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(x, minus)));
        const uint32_t starts = ((~s & ((s << 1) | space_carry)) | (m & ((d << 1) | digit_carry))) & 0xFFFFu;
        const size_t found = BitCount(starts);
        if (fields + found > limit)
            break;
        fields += found;
        space_carry = (s >> 15) & 1;
        digit_carry = (d >> 15) & 1;
    }
    if (i > 0)
        before = ClassOf(text[i - 1]);
#endif
    const size_t rest = CountFieldsFrom(text, i, before, limit - fields, stop);
    return fields + rest;
}

constexpr double POWERS[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Eight digit characters at `p` as their number (the SWAR conversion fast_float made known);
// false when they are not all digits.
bool EightDigits(const char *p, uint64_t &value)
{
    uint64_t v = 0;
    std::memcpy(&v, p, 8);
    if (((v & 0xF0F0F0F0F0F0F0F0u) | (((v + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) >> 4)) != 0x3333333333333333u)
        return false;
    v -= 0x3030303030303030u;
    v = v * 10 + (v >> 8);
    v = (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
         (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >> 32;
    value = v;
    return true;
}

// Digits from `q` on into `m` (eight at a time while they last), counting them.
void ReadDigits(const char *&q, const char *end, uint64_t &m, int &digits)
{
    for (uint64_t eight = 0; end - q >= 8 && digits < 16 && EightDigits(q, eight); q += 8, digits += 8)
        m = m * 100000000u + eight;
    for (; q < end && *q >= '0' && *q <= '9' && digits < 20; ++q, ++digits)
        m = m * 10 + static_cast<uint64_t>(*q - '0');
}

// The common form of a grid value (sign, digits, a point and digits, an exponent after E or e)
// converted as ScanDouble converts it: a mantissa below 2^53 times or over a power of ten up to
// 10^22 is correctly rounded (Clinger's fast path). False for any other field, which ScanDouble
// then reads; `p` moves past the field on success.
bool FastValue(const char *&p, const char *end, double &v)
{
    const char *q = p;
    const bool negative = q < end && *q == '-';
    q += q < end && (*q == '-' || *q == '+');
    uint64_t m = 0;
    int digits = 0, decimals = 0;
    ReadDigits(q, end, m, digits);
    if (q < end && *q == '.') {
        const int before = digits;
        ReadDigits(++q, end, m, digits);
        decimals = digits - before;
    }
    // More digits than were read, or than 2^53 holds, are left to ScanDouble.
    if (digits == 0 || digits > 15 || (q < end && *q >= '0' && *q <= '9'))
        return false;
    int exponent = 0;
    if (q < end && (*q == 'E' || *q == 'e')) {
        ++q;
        const bool minus = q < end && *q == '-';
        q += q < end && (*q == '-' || *q == '+');
        int exponent_digits = 0;
        for (; q < end && *q >= '0' && *q <= '9' && exponent_digits < 4; ++q, ++exponent_digits)
            exponent = exponent * 10 + (*q - '0');
        if (exponent_digits == 0)
            return false;
        exponent = minus ? -exponent : exponent;
    }
    if (q < end && !(ClassOf(*q) & (SPACE | MINUS)))
        return false;
    const int scale = exponent - decimals;
    if (scale < -22 || scale > 22)
        return false;
    const double magnitude = scale < 0 ? double(m) / POWERS[-scale] : double(m) * POWERS[scale];
    v = negative ? -magnitude : magnitude;
    p = q;
    return true;
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
                while (piece.end > piece.begin && (ClassOf(text[piece.end - 1]) & SPACE))
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
    // Without storage (the text is too short) the fields are still checked, so that a bad one
    // before the end is the one reported.
    const bool is_stored = to.front() != nullptr;
    const size_t last = std::min(count, piece.first + piece.fields);
    const char *p = rest.data(), *const end = p + rest.size();
    uint64_t lines = 0;
    for (size_t t = piece.first; t < last; ++t) {
        // The blanks between the fields hold the line feeds.
        for (; p < end && (ClassOf(*p) & SPACE); ++p)
            lines += *p == '\n';
        double v = 0.0;
        EField result = EField::OK;
        const char *field = p;
        if (!FastValue(p, end, v)) {
            std::string_view scan(p, static_cast<size_t>(end - p));
            result = CTextFile::ScanDouble(scan, v);
            p = scan.data();
        }
        v *= scale;
        if (result != EField::OK || !(std::fabs(v) <= std::numeric_limits<float>::max())) {
            const std::string_view before(field, static_cast<size_t>(end - field));
            piece.bad_at = static_cast<size_t>(field - text.data());
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
    piece.line_feeds = lines + static_cast<uint64_t>(std::count(p, end, '\n'));
}

bool CGridText::Fail(std::string_view text, size_t at, uint64_t first_line, std::string reason)
{
    error_line = first_line + LinesBefore(text, at);
    error_reason = std::move(reason);
    return false;
}
