#ifndef CDISKFILE_H
#define CDISKFILE_H

#include <cstdint>
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

// The file-system side of reading and replacing structure files. Only regular files are read
// or replaced: a folder, FIFO, socket or device is refused at once with its reason, and no open
// or read ever waits for another program.
class CDiskFile {
public:
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
