#include "cmappedfile.h"

#include "cdiskfile.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

CMappedFile::~CMappedFile() { Close(); }

CMappedFile::CMappedFile(const CMappedFile &other) { *this = other; }

CMappedFile &CMappedFile::operator=(const CMappedFile &other)
{
    if (this == &other)
        return *this;
    Close();
    error_message = other.error_message;
    mapped = other.mapped;
    watched_path = other.watched_path;
    watched = other.watched;
    if (other.fd < 0)
        return *this;
    fd = ::fcntl(other.fd, F_DUPFD_CLOEXEC, 0);
    size = other.size;
    if (fd < 0 || !Map())
        Close();
    return *this;
}

CMappedFile::CMappedFile(CMappedFile &&other) noexcept { *this = std::move(other); }

CMappedFile &CMappedFile::operator=(CMappedFile &&other) noexcept
{
    if (this != &other) {
        Close();
        fd = std::exchange(other.fd, -1);
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
        mapped = other.mapped;
        watched_path = std::move(other.watched_path);
        watched = other.watched;
        error_message = std::move(other.error_message);
    }
    return *this;
}

void CMappedFile::Close()
{
    if (data != nullptr)
        ::munmap(const_cast<char *>(data), size);
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    data = nullptr;
    size = 0;
    u_released = 0;
}

bool CMappedFile::Open(const std::string &path)
{
    Close();
    error_message.clear();
    struct stat st;
    fd = CDiskFile::OpenForReading(path, st, error_message);
    if (fd < 0)
        return false;
    size = static_cast<size_t>(st.st_size);
    mapped = SIdentity::Of(st);
    watched_path = path;
    watched = mapped;
    if (Map())
        return true;
    error_message = std::string("cannot map the file: ") + std::strerror(errno);
    Close();
    return false;
}

bool CMappedFile::Map()
{
    if (size == 0)
        return true;
    void *map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED)
        return false;
    data = static_cast<const char *>(map);
    return true;
}

bool CMappedFile::MapCopy(int copy)
{
    struct stat st;
    const bool same_size = ::fstat(copy, &st) == 0 && static_cast<size_t>(st.st_size) == size;
    if (data != nullptr)
        ::munmap(const_cast<char *>(data), size);
    ::close(fd);
    fd = copy;
    data = nullptr;
    u_released = 0;
    if (same_size && Map()) {
        mapped = SIdentity::Of(st);
        return true;
    }
    // Nothing is mapped: the next read finds the file changed and says so.
    size = 0;
    mapped = {};
    return false;
}

bool CMappedFile::IsMappedAt(const std::string &path) const
{
    struct stat a, b;
    return fd >= 0 && ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

void CMappedFile::LetPagesGo(size_t end)
{
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    end = end >= size ? size : end / page * page;
    if (data == nullptr || end <= u_released)
        return;
    ::madvise(const_cast<char *>(data) + u_released, end - u_released, MADV_DONTNEED);
    u_released = end;
}

CMappedFile::SIdentity CMappedFile::SIdentity::Of(const struct stat &st)
{
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

bool CMappedFile::SIdentity::operator==(const SIdentity &o) const
{
    return dev == o.dev && ino == o.ino && size == o.size && mtime_sec == o.mtime_sec && mtime_nsec == o.mtime_nsec;
}

bool CMappedFile::MappedUnchanged()
{
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && SIdentity::Of(st) == mapped)
        return true;
    error_message = "the file has changed since it was opened; open it again";
    return false;
}

// A file gone from its path has nothing to lose, and the text mapped is still whole.
bool CMappedFile::PathChanged() const
{
    struct stat st;
    if (::stat(watched_path.c_str(), &st) != 0)
        return false;
    return !(SIdentity::Of(st) == watched);
}

bool CMappedFile::Unchanged()
{
    if (!MappedUnchanged())
        return false;
    if (!PathChanged())
        return true;
    error_message = "the file was replaced on disk since it was opened; open it again";
    return false;
}

void CMappedFile::Watch(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return;
    watched_path = path;
    watched = SIdentity::Of(st);
}
