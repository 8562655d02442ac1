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
    mtime_sec = other.mtime_sec;
    mtime_nsec = other.mtime_nsec;
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
        mtime_sec = other.mtime_sec;
        mtime_nsec = other.mtime_nsec;
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
    mtime_sec = st.st_mtim.tv_sec;
    mtime_nsec = st.st_mtim.tv_nsec;
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

void CMappedFile::LetPagesGo(size_t end)
{
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    end = end >= size ? size : end / page * page;
    if (data == nullptr || end <= u_released)
        return;
    ::madvise(const_cast<char *>(data) + u_released, end - u_released, MADV_DONTNEED);
    u_released = end;
}

bool CMappedFile::Unchanged()
{
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) == size &&
        st.st_mtim.tv_sec == mtime_sec && st.st_mtim.tv_nsec == mtime_nsec)
        return true;
    error_message = "the file has changed since it was opened; open it again";
    return false;
}
