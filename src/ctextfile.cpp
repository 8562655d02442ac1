#include "ctextfile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t SHOWN_MAX = 40;
constexpr size_t READ_CHUNK = size_t(1) << 16;

std::string ErrnoText() { return std::strerror(errno); }

bool IsSign(char c) { return c == '+' || c == '-'; }

bool HasHexPrefix(const char *first, const char *last)
{
    return last - first > 1 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X');
}

// Reads all of `fd` into `text`; `hint` is the expected size (0 when unknown).
bool ReadAll(int fd, size_t hint, std::string &text, std::string &error)
{
    size_t filled = 0;
    text.resize(hint + 1);
    for (;;) {
        if (filled == text.size()) {
            if (text.size() > CTextFile::MAX_FILE_BYTES) {
                error = "the file is larger than 2 GiB";
                return false;
            }
            text.resize(std::max(text.size() * 2, READ_CHUNK));
        }
        const ssize_t n = ::read(fd, &text[filled], text.size() - filled);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = "cannot read the file: " + ErrnoText();
            return false;
        }
        filled += static_cast<size_t>(n);
    }
    if (filled > CTextFile::MAX_FILE_BYTES) {
        error = "the file is larger than 2 GiB";
        return false;
    }
    text.resize(filled);
    return true;
}

bool WriteFully(int fd, std::string_view content)
{
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The file a save replaces: the target of a symbolic link rather than the link itself.
std::string ResolvedTarget(const std::string &path)
{
    char *resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

// A new file gets the permissions a plain create would give it; a replaced one keeps its own.
void SetTargetMode(int fd, const std::string &target)
{
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
        return;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}

// The rename would bypass a read-only target's protection, so the target must pass the check
// the kernel applies to opening it for writing (which also holds for root on a read-only
// mount). O_NONBLOCK keeps a FIFO from blocking; nothing is truncated or written.
bool MayReplace(const std::string &target, std::string &error)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == ENOENT)
        return true;
    error = "cannot write " + target + ": " + ErrnoText();
    return false;
}

} // namespace

bool CTextFile::Open(const std::string &path)
{
    text.clear();
    u_pos = 0;
    u_line = 0;
    error_message.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error_message = "cannot open the file: " + ErrnoText();
        return false;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok)
        error_message = "cannot read the file: " + ErrnoText();
    else if (S_ISDIR(st.st_mode)) {
        error_message = "this is a folder, not a file";
        ok = false;
    } else if (S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) > MAX_FILE_BYTES) {
        error_message = "the file is larger than 2 GiB";
        ok = false;
    } else
        ok = ReadAll(fd, S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0, text,
                     error_message);
    ::close(fd);
    if (!ok)
        text.clear();
    return ok;
}

bool CTextFile::NextLine(std::string_view &line)
{
    if (!LineAt(text, u_pos, line))
        return false;
    ++u_line;
    return true;
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

bool CTextFile::WriteAtomically(const std::string &path, const std::string &content,
                                std::string &error)
{
    return WriteAtomically(path, [&content](const PieceWriter &write) { return write(content); }, error);
}

bool CTextFile::WriteAtomically(const std::string &path,
                                const std::function<bool(const PieceWriter &write)> &produce,
                                std::string &error)
{
    const std::string target = ResolvedTarget(path);
    if (!MayReplace(target, error))
        return false;
    const std::filesystem::path where(target);
    const std::string parent = where.parent_path();
    const std::string dir = parent.empty() ? "." : parent + (parent == "/" ? "" : "/");
    std::string pattern = (parent.empty() ? "" : dir) + "." + where.filename().string() + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot create a file in " + dir + ": " + ErrnoText();
        return false;
    }
    SetTargetMode(fd, target);
    bool ok = produce([fd](std::string_view piece) { return WriteFully(fd, piece); }) && ::fsync(fd) == 0;
    std::string reason = ok ? std::string() : ErrnoText();
    if (::close(fd) != 0 && ok) {
        ok = false;
        reason = ErrnoText();
    }
    if (ok && ::rename(temp.data(), target.c_str()) != 0) {
        ok = false;
        reason = ErrnoText();
    }
    if (!ok) {
        ::unlink(temp.data());
        error = "cannot write " + path + ": " + reason;
    }
    return ok;
}
