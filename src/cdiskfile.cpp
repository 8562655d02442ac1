#include "cdiskfile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "largepages.h"

namespace {

constexpr size_t READ_CHUNK = size_t(1) << 16;
constexpr size_t COPY_CHUNK = size_t(1) << 20;
// Links followed before a chain of them is taken as a loop, as the kernel counts.
constexpr int MAX_LINK_HOPS = 40;
// The suffix mkstemp fills, after a dot.
constexpr size_t TEMP_SUFFIX = 7;

std::string ErrnoText() { return std::strerror(errno); }

std::string FolderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

// Appends the whole of the file `from` to `to` a chunk at a time; `copied` counts the bytes.
bool CopyAll(int from, int to, off_t &copied)
{
    std::vector<char> chunk(COPY_CHUNK);
    for (copied = 0;;) {
        const ssize_t n = ::pread(from, chunk.data(), chunk.size(), copied);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        if (!WriteFully(to, std::string_view(chunk.data(), static_cast<size_t>(n))))
            return false;
        copied += n;
    }
}

// The file a save writes: `path` with its links followed; a link to nothing yields the name it
// holds. Refuses what is not a regular file.
bool SaveTarget(const std::string &path, std::string &target, std::string &error)
{
    struct stat st;
    // stat first: it also sees through the links of /proc (/dev/stdout to a pipe).
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = "cannot write " + path + ": it is " + CDiskFile::KindOf(st.st_mode) +
                ", not a regular file";
        return false;
    }
    target = path;
    for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return true;
            error = "cannot write " + path + ": " + ErrnoText();
            return false;
        }
        if (!S_ISLNK(st.st_mode))
            return true;
        std::vector<char> link(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size() - 1);
        if (n < 0) {
            error = "cannot write " + path + ": " + ErrnoText();
            return false;
        }
        const std::string to(link.data(), static_cast<size_t>(n));
        target = to.front() == '/' ? to : FolderOf(target) + "/" + to;
    }
    error = "cannot write " + path + ": too many levels of symbolic links";
    return false;
}

// Root may write any file, but a file that grants no one write permission is meant to stay as
// it is, as editors take it.
bool Writable(const std::string &path, const std::string &target, const struct stat &st,
              std::string &error)
{
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
        error = "cannot write " + path + ": " + ErrnoText();
        return false;
    }
    if ((st.st_mode & 0222) == 0) {
        error = "cannot write " + path + ": the file is read-only";
        return false;
    }
    return true;
}

// A hidden name beside `target` for mkstemp, cut short so that it fits the folder's longest
// name.
std::string TemporaryPattern(const std::string &target)
{
    const std::string folder = FolderOf(target);
    long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (longest <= 0)
        longest = NAME_MAX;
    std::string name = NameOf(target);
    const size_t room = static_cast<size_t>(longest) - 2 - TEMP_SUFFIX;
    if (name.size() > room)
        name.resize(room);
    const std::string prefix = target.find('/') == std::string::npos ? "" : folder + "/";
    return prefix + "." + name + ".XXXXXX";
}

// A new file beside `target`; its name is left in `name`.
int CreateTemporary(const std::string &target, std::string &name, std::string &error)
{
    std::string pattern = TemporaryPattern(target);
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        error = "cannot create a file in " + FolderOf(target) + "/: " + ErrnoText();
    else
        name = pattern;
    return fd;
}

// The owner and group first: changing them clears set-id bits, which the mode then restores.
void CopyOwnership(int fd, const struct stat *old)
{
    if (old == nullptr) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        return;
    }
    // Where neither may be set, the saving user's ownership is all that is allowed.
    [[maybe_unused]] const bool kept = ::fchown(fd, old->st_uid, old->st_gid) == 0 ||
                                       ::fchown(fd, static_cast<uid_t>(-1), old->st_gid) == 0;
    ::fchmod(fd, old->st_mode & 07777);
}

void SyncFolder(const std::string &target)
{
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string WriteError(const std::string &path, const CFileSink &sink)
{
    return sink.IsOwnFailure() ? sink.Reason() : "cannot write " + path + ": " + sink.Reason();
}

// A new file beside `target` with the text `write` makes, synced and still open; -1 (the file
// gone again) when that fails. Its name is left in `name`.
int WriteTemporary(const std::string &path, const std::string &target, const CDiskFile::FWrite &write,
                   std::string &name, std::string &error)
{
    const int fd = CreateTemporary(target, name, error);
    if (fd < 0)
        return -1;
    CFileSink sink(fd);
    if (write(sink) && (::fsync(fd) == 0 || sink.Fail("cannot write " + path + ": " + ErrnoText())))
        return fd;
    ::close(fd);
    ::unlink(name.c_str());
    error = WriteError(path, sink);
    return -1;
}

bool ReplaceByRename(const std::string &path, const std::string &target, const struct stat *old,
                     const CDiskFile::FWrite &write, std::string &error)
{
    std::string temp;
    const int fd = WriteTemporary(path, target, write, temp, error);
    if (fd < 0)
        return false;
    CopyOwnership(fd, old);
    bool ok = ::close(fd) == 0;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0)
        ok = false;
    if (!ok) {
        error = "cannot write " + path + ": " + ErrnoText();
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(target);
    return true;
}

// Puts the text of the file `from` over the whole of the open file `fd`.
bool Overwrite(int fd, int from)
{
    off_t size = 0;
    return ::lseek(fd, 0, SEEK_SET) == 0 && CopyAll(from, fd, size) && ::ftruncate(fd, size) == 0 &&
           ::fsync(fd) == 0;
}

// Every name of a file with hard links must see the new text, so the file itself is rewritten:
// from the new text made beside it first (the old one is still there to make it from), with a
// copy of the old text beside it to undo a failure from.
bool RewriteInPlace(const std::string &path, const std::string &target, const CDiskFile::FWrite &write,
                    std::string &error, int *old_copy)
{
    struct stat st;
    const int in = CDiskFile::OpenForReading(target, st, error);
    if (in < 0) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    std::string made, backup;
    const int fresh = WriteTemporary(path, target, write, made, error);
    const int copy = fresh < 0 ? -1 : CreateTemporary(target, backup, error);
    off_t size = 0;
    const bool kept = copy >= 0 && CopyAll(in, copy, size) && ::fsync(copy) == 0;
    const std::string copy_reason = ErrnoText();
    ::close(in);
    if (!kept) {
        if (copy >= 0) {
            ::close(copy);
            ::unlink(backup.c_str());
            error = "cannot keep a copy of " + path + ": " + copy_reason;
        }
        if (fresh >= 0) {
            ::close(fresh);
            ::unlink(made.c_str());
        }
        return false;
    }
    const int out = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    std::string reason = out < 0 ? ErrnoText() : "the file was replaced while it was saved";
    struct stat now;
    const bool same = out >= 0 && ::fstat(out, &now) == 0 && now.st_ino == st.st_ino && now.st_dev == st.st_dev;
    const bool written = same && Overwrite(out, fresh);
    if (same && !written)
        reason = ErrnoText();
    // Nothing was written when the file could not be opened as the one read.
    const bool intact = written || !same || Overwrite(out, copy);
    if (out >= 0)
        ::close(out);
    ::close(fresh);
    ::unlink(made.c_str());
    if (intact)
        ::unlink(backup.c_str());
    if (old_copy != nullptr && same)
        *old_copy = copy;
    else
        ::close(copy);
    if (written)
        return true;
    error = "cannot write " + path + ": " + reason;
    if (!intact)
        error += "; its old text is in " + backup;
    return false;
}

} // namespace

const char *CDiskFile::KindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    return S_ISREG(mode) ? "a regular file" : "a special file";
}

int CDiskFile::OpenForReading(const std::string &path, struct stat &st, std::string &error)
{
    // The type is checked before the open, which itself may wait (a FIFO without a writer) or
    // act (a tape device rewinds); O_NONBLOCK and the second check cover a swap in between.
    if (::stat(path.c_str(), &st) != 0) {
        error = "cannot open the file: " + ErrnoText();
        return -1;
    }
    if (S_ISDIR(st.st_mode)) {
        error = "this is a folder, not a file";
        return -1;
    }
    const int fd = S_ISREG(st.st_mode) ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : -1;
    if (S_ISREG(st.st_mode) && fd < 0) {
        error = "cannot open the file: " + ErrnoText();
        return -1;
    }
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        return fd;
    if (fd >= 0)
        ::close(fd);
    error = std::string("this is ") + KindOf(st.st_mode) + ", not a regular file";
    return -1;
}

bool CDiskFile::ReadAll(int fd, size_t hint, std::string &text, std::string &error)
{
    if (hint > MAX_FILE_BYTES) {
        error = "the file is larger than 2 GiB";
        return false;
    }
    size_t filled = 0;
    ReserveLarge(text, hint + 1);
    text.resize(hint + 1);
    for (;;) {
        if (filled == text.size()) {
            if (text.size() > MAX_FILE_BYTES) {
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
    if (filled > MAX_FILE_BYTES) {
        error = "the file is larger than 2 GiB";
        return false;
    }
    text.resize(filled);
    return true;
}

bool CFileSink::Write(std::string_view text)
{
    if (WriteFully(fd, text))
        return true;
    reason = ErrnoText();
    return false;
}

bool CFileSink::Fail(const std::string &why)
{
    reason = why;
    is_own_failure = true;
    return false;
}

bool CDiskFile::Replace(const std::string &path, const std::string &content, std::string &error)
{
    return Replace(path, [&content](CFileSink &out) { return out.Write(content); }, error);
}

bool CDiskFile::Replace(const std::string &path, const FWrite &write, std::string &error, int *old_copy)
{
    if (old_copy != nullptr)
        *old_copy = -1;
    std::string target;
    if (!SaveTarget(path, target, error))
        return false;
    struct stat st;
    if (::stat(target.c_str(), &st) != 0)
        return ReplaceByRename(path, target, nullptr, write, error);
    if (!S_ISREG(st.st_mode)) {
        error = "cannot write " + path + ": it is " + KindOf(st.st_mode) + ", not a regular file";
        return false;
    }
    if (!Writable(path, target, st, error))
        return false;
    if (st.st_nlink > 1)
        return RewriteInPlace(path, target, write, error, old_copy);
    return ReplaceByRename(path, target, &st, write, error);
}

SFileStamp CDiskFile::Stamp(const std::string &path, const struct stat &st, std::string_view text)
{
    SFileStamp stamp;
    char *resolved = ::realpath(path.c_str(), nullptr);
    stamp.path = resolved != nullptr ? resolved : path;
    std::free(resolved);
    stamp.is_set = true;
    stamp.size = st.st_size;
    stamp.hash = std::hash<std::string_view>()(text);
    return stamp;
}

// The modification time proves nothing either way (a touch changes it, a copy that keeps times
// does not), so a file of the same size is compared by the hash of its text.
bool CDiskFile::Changed(const SFileStamp &stamp)
{
    if (!stamp.is_set)
        return false;
    struct stat st;
    // Gone or no longer a file: nothing to overwrite, and the save says why it can't write.
    if (::stat(stamp.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_size != stamp.size)
        return true;
    std::string error, text;
    const int fd = OpenForReading(stamp.path, st, error);
    if (fd < 0)
        return true;
    const bool read = ReadAll(fd, static_cast<size_t>(st.st_size), text, error);
    ::close(fd);
    return !read || std::hash<std::string_view>()(text) != stamp.hash;
}

bool CDiskFile::IsStamped(const SFileStamp &stamp, const std::string &path)
{
    if (!stamp.is_set)
        return false;
    struct stat a, b;
    if (::stat(path.c_str(), &a) == 0 && ::stat(stamp.path.c_str(), &b) == 0)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    char *resolved = ::realpath(path.c_str(), nullptr);
    const bool same = resolved != nullptr && stamp.path == resolved;
    std::free(resolved);
    return same;
}
