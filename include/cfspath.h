#ifndef CFSPATH_H
#define CFSPATH_H

#include <cstddef>
#include <string>
#include <vector>

// The file chooser's way along paths: path text, what is at a path, and the visited-folder history.
// Nothing here lists a folder or draws.
namespace ImGuiFs {

// Paths cross into the C library and the location field through buffers of this many bytes; any
// path that would not fit with its terminator is refused rather than cut.
constexpr size_t MAX_PATH_BYTES = 16384;

namespace Path {
bool Fits(const std::string& path);
// Parent folder: "/" for "/", the text before the last separator, empty when there is none.
std::string GetDirectoryName(const std::string& path);
// The folder a file lies in, for opening it: "." for a bare name, "/" for a file in the root.
std::string FolderOfFile(const std::string& path);
// "/a/b/c" gives "/", "a/", "b/", "c": every component keeps its trailing separator.
std::vector<std::string> Split(const std::string& path);
// The folder made of components 0..last, without trailing separators ("/" for the root).
std::string JoinComponents(const std::vector<std::string>& components, int last);
std::string WithoutTrailingSeparators(const std::string& path);
// folder + "/" + name into out; false (out untouched) when the result would not fit.
bool Append(const std::string& folder, const std::string& name, std::string& out);
bool IsDirectory(const std::string& path);
// Whether anything (file, folder, link to something) is at `path`.
bool Exists(const std::string& path);
// Absolute path with links and dots resolved; empty when it cannot be resolved or would not fit.
std::string Resolve(const std::string& path);
// Text from the last '.' of the name, empty when there is none.
std::string GetExtension(const std::string& name);
// The absolute folder a chooser opens for `directory`: that folder, or the folder of a file in it
// (which need not exist); otherwise the working folder, and "/" when even that cannot be resolved.
std::string ResolvedStartingFolder(const char* directory);
// A typed file name in folder; an empty name, or one starting with '/', as it is.
std::string JoinName(const std::string& folder, const char* name);
} // namespace Path

// One visited folder: the path buttons show fullFolder, currentFolder is one of its components.
struct FolderInfo {
    std::string fullFolder;
    std::string currentFolder;
    int splitPathIndex = -1;
    int splitPathIndexOfZipFile = -1;
};

class History {
public:
    std::vector<FolderInfo> info;
    int currentInfoIndex = -1;

    // False when nothing changed (empty or over-long folder, or already the current entry).
    bool switchTo(const std::string& folder);
    bool canGoBack() const { return currentInfoIndex > 0; }
    bool canGoForward() const { return currentInfoIndex + 1 < (int)info.size(); }
    bool goBack();
    bool goForward();
    const FolderInfo* current() const;
    void reset();

private:
    void pushAfterCurrent(const FolderInfo& entry);
};

} // namespace ImGuiFs

#endif
