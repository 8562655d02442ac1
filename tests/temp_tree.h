#ifndef KIVOA_TESTS_TEMP_TREE_H
#define KIVOA_TESTS_TEMP_TREE_H

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>

// A folder tree under /tmp, removed again when the object goes.
class TempTree {
public:
    TempTree()
    {
        char pattern[] = "/tmp/kivoa-test-XXXXXX";
        m_root = mkdtemp(pattern) != nullptr ? pattern : "";
    }
    ~TempTree()
    {
        if (!m_root.empty())
            std::system(("chmod -R u+rwx '" + m_root + "' && rm -rf '" + m_root + "'").c_str());
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& relative) const { return m_root + "/" + relative; }
    void Folder(const std::string& relative) const { mkdir(Path(relative).c_str(), 0755); }
    // A file of size bytes; a non-zero modified time (seconds since the epoch) is set on it.
    void File(const std::string& relative, size_t size = 0, time_t modified = 0) const
    {
        std::ofstream(Path(relative)) << std::string(size, 'x');
        if (modified != 0) {
            const timespec times[2] = {{modified, 0}, {modified, 0}};
            utimensat(AT_FDCWD, Path(relative).c_str(), times, 0);
        }
    }

private:
    std::string m_root;
};

#endif
