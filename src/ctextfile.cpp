#include "ctextfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <unistd.h>

namespace {

constexpr size_t SHOWN_MAX = 40;

bool IsSign(char c) { return c == '+' || c == '-'; }

bool HasHexPrefix(const char *first, const char *last)
{
    return last - first > 1 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X');
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A plain decimal (digits, perhaps a point and more digits) ended by the end of the text, a space
// or a minus sign: when its digits make an integer m <= 2^53 and it has at most 22 digits after
// the point, it is m divided by a power of ten, both exact, so that one division rounds it as
// from_chars would. Most coordinates in structure files are such decimals, and this is several
// times faster; anything else is left to from_chars.
bool PlainDecimal(const char *first, const char *last, double &value, const char *&end)
{
    static constexpr double POWERS[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr uint64_t EXACT = uint64_t(1) << 53;
    constexpr uint64_t ROOM = 100000000000000000; // 10^17: one more digit still fits
    uint64_t m = 0;
    const char *p = first;
    for (; p < last && IsDigit(*p); ++p) {
        if (m >= ROOM)
            return false;
        m = m * 10 + static_cast<uint64_t>(*p - '0');
    }
    if (p == first)
        return false;
    size_t decimals = 0;
    if (p < last && *p == '.')
        for (++p; p < last && IsDigit(*p); ++p, ++decimals) {
            if (m >= ROOM)
                return false;
            m = m * 10 + static_cast<uint64_t>(*p - '0');
        }
    if (m > EXACT || decimals >= std::size(POWERS) || (p < last && !CTextFile::IsSpace(*p) && *p != '-'))
        return false;
    value = static_cast<double>(m) / POWERS[decimals];
    end = p;
    return true;
}

} // namespace

bool CTextFile::Open(const std::string &path)
{
    SetText(std::string());
    error_message.clear();
    stamp = SFileStamp();
    struct stat st;
    const int fd = CDiskFile::OpenForReading(path, st, error_message);
    if (fd < 0)
        return false;
    const bool ok = CDiskFile::ReadAll(fd, static_cast<size_t>(st.st_size), text, error_message);
    ::close(fd);
    if (!ok) {
        text.clear();
        return false;
    }
    stamp = CDiskFile::Stamp(path, st, text);
    SetText(std::move(text));
    return true;
}

void CTextFile::SetText(std::string content)
{
    text = std::move(content);
    view = text;
    u_line = 0;
    // A byte order mark is no part of the first line.
    u_pos = view.substr(0, BYTE_ORDER_MARK.size()) == BYTE_ORDER_MARK ? BYTE_ORDER_MARK.size() : 0;
    u_last = u_pos;
}

void CTextFile::SetPiece(std::string_view piece, uint32_t lines_before)
{
    text.clear();
    view = piece;
    u_pos = u_last = 0;
    u_line = lines_before;
}

std::string CTextFile::TakeText()
{
    view = {};
    u_pos = u_last = 0;
    return std::move(text);
}

bool CTextFile::NextLine(std::string_view &line)
{
    const size_t start = u_pos;
    if (!LineAt(view, u_pos, line))
        return false;
    u_last = start;
    ++u_line;
    return true;
}

void CTextFile::UnreadLine()
{
    if (u_last < u_pos) {
        u_pos = u_last;
        --u_line;
    }
}

void CTextFile::Skip(size_t bytes, uint32_t lines)
{
    u_pos += std::min(bytes, view.size() - u_pos);
    u_last = u_pos;
    u_line += lines;
}

bool CTextFile::LineAt(std::string_view content, size_t &pos, std::string_view &line)
{
    if (pos >= content.size())
        return false;
    const char *begin = content.data() + pos;
    const size_t left = content.size() - pos;
    const char *lf = static_cast<const char *>(std::memchr(begin, '\n', left));
    size_t length = lf != nullptr ? static_cast<size_t>(lf - begin) : left;
    pos += lf != nullptr ? length + 1 : length;
    if (length > 0 && begin[length - 1] == '\r')
        --length;
    line = std::string_view(begin, length);
    return true;
}

bool CTextFile::IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view CTextFile::SkipSpace(std::string_view s)
{
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    return s.substr(i);
}

std::string_view CTextFile::Trim(std::string_view s)
{
    s = SkipSpace(s);
    size_t n = s.size();
    while (n > 0 && IsSpace(s[n - 1]))
        --n;
    return s.substr(0, n);
}

bool CTextFile::NextToken(std::string_view &rest, std::string_view &token)
{
    const std::string_view s = SkipSpace(rest);
    size_t n = 0;
    while (n < s.size() && !IsSpace(s[n]))
        ++n;
    token = s.substr(0, n);
    rest = s.substr(n);
    return n > 0;
}

EField CTextFile::ScanDouble(std::string_view &rest, double &value)
{
    const std::string_view s = SkipSpace(rest);
    if (s.empty())
        return EField::MISSING;
    const bool negative = s[0] == '-';
    const char *first = s.data() + (IsSign(s[0]) ? 1 : 0);
    const char *last = s.data() + s.size();
    auto format = std::chars_format::general;
    if (HasHexPrefix(first, last)) {
        first += 2;
        format = std::chars_format::hex;
    }
    // The sign was taken above; from_chars would accept a second one.
    if (first == last || IsSign(*first))
        return EField::INVALID;
    double magnitude = 0.0;
    const char *plain_end = nullptr;
    if (format == std::chars_format::general && PlainDecimal(first, last, magnitude, plain_end)) {
        value = negative ? -magnitude : magnitude;
        rest = s.substr(static_cast<size_t>(plain_end - s.data()));
        return EField::OK;
    }
    const auto [ptr, ec] = std::from_chars(first, last, magnitude, format);
    if (ec == std::errc::invalid_argument)
        return EField::INVALID;
    const size_t end = static_cast<size_t>(ptr - s.data());
    if (end < s.size() && !IsSpace(s[end]) && s[end] != '-')
        return EField::INVALID;
    if (ec == std::errc::result_out_of_range)
        value = std::strtod(std::string(s.substr(0, end)).c_str(), nullptr);
    else
        value = negative ? -magnitude : magnitude;
    if (!std::isfinite(value))
        return EField::NOT_FINITE;
    rest = s.substr(end);
    return EField::OK;
}

EField CTextFile::ScanInteger(std::string_view &rest, long long &value)
{
    std::string_view after = rest, token;
    if (!NextToken(after, token))
        return EField::MISSING;
    const char *first = token.data() + (token[0] == '+' ? 1 : 0);
    const char *last = token.data() + token.size();
    if (first == last || (first != token.data() && IsSign(*first)))
        return EField::INVALID;
    const auto [ptr, ec] = std::from_chars(first, last, value, 10);
    if (ec != std::errc() || ptr != last)
        return EField::INVALID;
    rest = after;
    return EField::OK;
}

std::string CTextFile::Shown(std::string_view text)
{
    std::string shown = "\"";
    for (size_t i = 0; i < text.size() && i < SHOWN_MAX; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        shown += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    if (text.size() > SHOWN_MAX)
        shown += "...";
    return shown + "\"";
}

std::string CTextFile::BadNumber(std::string_view field, EField result, const std::string &what)
{
    std::string_view token;
    NextToken(field, token);
    return what + " " + Shown(token) +
           (result == EField::NOT_FINITE ? " is not finite" : " is not a number");
}
