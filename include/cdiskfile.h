#ifndef CDISKFILE_H
#define CDISKFILE_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <sys/stat.h>

// What a file read looked like on disk, so that a later save can tell whether another program
// has changed it since: its resolved path, size and a hash of its text.
struct SFileStamp {
    std::string path;
    bool is_set = false;
    off_t size = 0;
    size_t hash = 0;
};

// Where a replace writes its new text, a chunk at a time, so that no text need be whole in memory.
class CFileSink {
public:
    explicit CFileSink(int fd) : fd(fd) {}
    // False when the chunk could not be written whole (a full disk); the reason is kept.
    bool Write(std::string_view text);
    // Ends the writing for a reason of the writer's own, which the replace reports as it is.
    bool Fail(const std::string &why);
    // Why the writing stopped, and whether the writer said so itself.
    const std::string &Reason() const { return reason; }
    bool IsOwnFailure() const { return is_own_failure; }

private:
    int fd;
    std::string reason;
    bool is_own_failure = false;
};

// The file-system side of reading and replacing structure files. Only regular files are read
// or replaced: a folder, FIFO, socket or device is refused at once with its reason, and no open
// or read ever waits for another program.
class CDiskFile {
public:
    // Writes a new text to its sink; false when it could not (the sink says why).
    using FWrite = std::function<bool(CFileSink &)>;

    // Opens a regular file (or a link to one) for reading; -1 with `error` saying why not. `st`
    // describes the file opened.
    static int OpenForReading(const std::string &path, struct stat &st, std::string &error);
    // Replaces the file at `path` by `content` so that it is never left half written.
    // A link is written through to the file it names (a dangling one creates that file and stays
    // a link). A replaced file keeps its permission bits, and its owner and group where the
    // saving user may set them; a file without write permission is refused, root included. A
    // file with more than one hard link is rewritten in place, a copy of its old text beside it
    // until the new text is complete, so that every name sees the edit.
    static bool Replace(const std::string &path, const std::string &content, std::string &error);
    // The same with the new text made by `write`, chunk by chunk. A file rewritten in place gets
    // the new text beside it first, so `write` may still read the old one (from a mapping). When
    // `old_copy` is given and the file was written in place (the save done or undone), it receives
    // an open, unlinked copy of the old text (else -1), for a reader that must go on reading it.
    static bool Replace(const std::string &path, const FWrite &write, std::string &error, int *old_copy = nullptr);
    // The stamp of `text` just read from or written to `path`, whose status is `st`.
    static SFileStamp Stamp(const std::string &path, const struct stat &st, std::string_view text);
    // Whether the file of `stamp` now holds other text than the stamp describes. A file that is
    // gone has nothing to lose, so it counts as unchanged.
    static bool Changed(const SFileStamp &stamp);
    // Whether `path` names the file of `stamp` (by name or as another link to it).
    static bool IsStamped(const SFileStamp &stamp, const std::string &path);
    // "a FIFO (named pipe)", "a folder", ... for a file type that is not a regular file.
    static const char *KindOf(mode_t mode);
    // Reads all of `fd` (a regular file of `hint` bytes) into `text`.
    static bool ReadAll(int fd, size_t hint, std::string &text, std::string &error);

    // Files beyond this size are refused rather than read into memory.
    static constexpr size_t MAX_FILE_BYTES = size_t(2) << 30;
};

#endif
