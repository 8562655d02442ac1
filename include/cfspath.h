#ifndef CFSPATH_H
#define CFSPATH_H

#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

// The file chooser's file-system side: path text, folder listings, their orders, the visited-folder
// history and the arithmetic of the listing columns. Nothing here draws.
namespace ImGuiFs {

// Paths cross into the C library and the location field through buffers of this many bytes; any
// path that would not fit with its terminator is refused rather than cut.
constexpr size_t MAX_PATH_BYTES = 16384;

enum Sorting {
    SORT_ORDER_ALPHABETIC = 0,
    SORT_ORDER_ALPHABETIC_INVERSE = 1,
    SORT_ORDER_LAST_MODIFICATION = 2,
    SORT_ORDER_LAST_MODIFICATION_INVERSE = 3,
    SORT_ORDER_SIZE = 4,
    SORT_ORDER_SIZE_INVERSE = 5,
    SORT_ORDER_TYPE = 6,
    SORT_ORDER_TYPE_INVERSE = 7,
    SORT_ORDER_COUNT = 8
};

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
} // namespace Path

// One listed entry with what the orders need; hasStatus is false when stat failed.
struct Entry {
    std::string name;
    bool hasStatus = false;
    time_t modified = 0;
    off_t size = 0;
};

// Strict order "a before b" of the sorting mode; an entry without status comes first in the
// ascending modes and last in the descending ones.
bool EntryBefore(const Entry& a, const Entry& b, int sortingMode);

// Hidden entries, names ending in '~' and empty names are never listed.
bool IsListedName(const char* name);

// Extension list such as ".xyz;.pdb" (',' also separates, the dot is optional, case is ignored);
// an empty or null list accepts every name.
bool PassesExtensionFilter(const std::string& name, const char* extensions);

struct Listing {
    std::vector<std::string> paths;
    std::vector<std::string> names;
};

namespace Directory {
// Sub-folders or regular files of folder in the order of sortingMode; a folder that cannot be
// read lists nothing, and entries whose full path would not fit are left out.
Listing GetDirectories(const std::string& folder, int sortingMode);
Listing GetFiles(const std::string& folder, int sortingMode, const char* extensions = nullptr);
// Size and type say nothing about folders: those modes order them by name in the same direction.
int FolderSortingMode(int sortingMode);

struct KnownDirectories {
    Listing folders; // paths and display names
    int numUserDirectories = 0;
};
// The home folder and its usual sub-folders, then the drives under the usual mount locations.
KnownDirectories GetUserKnownDirectories();
} // namespace Directory

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

struct ColumnLayout {
    int numColumns = 1;
    int entriesPerColumn = 0;
};

// Columns for totalEntries buttons in a region of the given size with rows of lineHeight.
ColumnLayout ComputeColumnLayout(int totalEntries, float height, float lineHeight, float width);

} // namespace ImGuiFs

#endif
