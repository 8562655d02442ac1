#ifndef SCRATCH_FOLDER_H
#define SCRATCH_FOLDER_H

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <ftw.h>
#include <stdlib.h>

// Removes a folder with everything inside it; symbolic links are removed, never followed.
inline bool RemoveTree(const std::string &path)
{
    auto remove_one = [](const char *p, const struct stat *, int, struct FTW *) {
        return std::remove(p);
    };
    return nftw(path.c_str(), remove_one, 16, FTW_DEPTH | FTW_PHYS) == 0;
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
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

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
