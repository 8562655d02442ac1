#ifndef KIVOA_TESTS_SCRATCH_FOLDER_H
#define KIVOA_TESTS_SCRATCH_FOLDER_H

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

// Removes a folder with everything inside it, also folders a test left unreadable; symbolic
// links are removed, never followed. No shell is involved.
inline bool RemoveTree(const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec))) {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        for (const fs::directory_entry &entry : fs::directory_iterator(path, ec))
            RemoveTree(entry.path().string());
    }
    return fs::remove(path, ec);
}

// A fresh folder under /tmp for one test, removed with its contents afterwards.
class ScratchFolder {
public:
    ScratchFolder()
    {
        char name[] = "/tmp/kivoa-test-XXXXXX";
        if (mkdtemp(name) != nullptr)
            path_ = name;
    }
    ~ScratchFolder()
    {
        if (!path_.empty())
            RemoveTree(path_);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const std::string &Path() const { return path_; }
    std::string Path(const std::string &relative) const { return path_ + "/" + relative; }
    std::string operator/(const std::string &relative) const { return Path(relative); }

    void Folder(const std::string &relative) const { mkdir(Path(relative).c_str(), 0755); }
    // How many regular files the folder holds (temporaries left behind show here).
    size_t FileCount() const
    {
        size_t files = 0;
        for (const auto &entry : std::filesystem::directory_iterator(path_))
            files += entry.is_regular_file() ? 1 : 0;
        return files;
    }
    // A file of `size` bytes; a non-zero modified time (seconds since the epoch) is set on it.
    void File(const std::string &relative, size_t size = 0, time_t modified = 0) const
    {
        std::ofstream(Path(relative)) << std::string(size, 'x');
        if (modified != 0) {
            const timespec times[2] = {{modified, 0}, {modified, 0}};
            utimensat(AT_FDCWD, Path(relative).c_str(), times, 0);
        }
    }

private:
    std::string path_;
};

inline void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// The whole file, or "<missing>" when it can't be opened.
inline std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#endif
