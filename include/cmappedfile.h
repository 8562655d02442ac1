#ifndef CMAPPEDFILE_H
#define CMAPPEDFILE_H

#include <cstddef>
#include <string>
#include <string_view>

#include <sys/stat.h>
#include <sys/types.h>

// A regular file mapped read-only into memory, of any size: its text is read page by page as
// it is used and never copied whole. The file stays open, so that a change made to it in place
// (by another program) is noticed before its text is trusted again.
class CMappedFile {
public:
    CMappedFile() = default;
    ~CMappedFile();
    // A copy maps the same open file again (a copy of a model shows the same frames).
    CMappedFile(const CMappedFile &other);
    CMappedFile &operator=(const CMappedFile &other);
    CMappedFile(CMappedFile &&other) noexcept;
    CMappedFile &operator=(CMappedFile &&other) noexcept;

    // Maps `path`; false (error_message says why) for a file that is no regular file or cannot
    // be mapped.
    bool Open(const std::string &path);
    void Close();
    std::string_view Text() const { return {data, size}; }
    // Lets the pages before `end` leave this process's memory (they are read again when used),
    // so that a pass over a file larger than memory does not stay resident.
    void LetPagesGo(size_t end);
    // A new pass over the text starts at its top (a save), and LetPagesGo may let its pages go again.
    void BeginPass() { u_released = 0; }
    // Maps `copy`, an open copy of the text mapped (made when the file was rewritten in place),
    // in place of the file, which no longer holds that text; the copy is owned from then on.
    bool MapCopy(int copy);
    // Whether `path` names the file mapped.
    bool IsMappedAt(const std::string &path) const;
    // Whether the file mapped still has the size and modification time it had when mapped, and
    // its path still names it unchanged (or names nothing); when not, error_message says so.
    bool Unchanged();
    // Whether the file mapped still has the size and modification time it had when mapped.
    bool MappedUnchanged();
    // Whether the file at the path watched is no longer the one mapped or last saved, as it was
    // then: another program changed it or put another file there (by rename).
    bool PathChanged() const;
    // Watches `path`, just saved, as it is now instead of the path mapped.
    void Watch(const std::string &path);
    const std::string &WatchedPath() const { return watched_path; }

    std::string error_message;

private:
    // The identity and look of a file on disk, as stat gives them.
    struct SIdentity {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        time_t mtime_sec = 0;
        long mtime_nsec = 0;
        static SIdentity Of(const struct stat &st);
        bool operator==(const SIdentity &o) const;
    };
    // Maps the open file `fd` of `size` bytes.
    bool Map();

    int fd = -1;
    const char *data = nullptr;
    size_t size = 0;
    size_t u_released = 0;
    SIdentity mapped;
    std::string watched_path;
    SIdentity watched;
};

#endif
