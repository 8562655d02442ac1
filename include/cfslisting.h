#ifndef CFSLISTING_H
#define CFSLISTING_H

#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

// The file chooser's folder listings: the entries a folder lists, their filters and orders, the
// known folders, and the columns a listing fills. Nothing here draws.
namespace ImGuiFs {

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

struct ColumnLayout {
    int numColumns = 1;
    int entriesPerColumn = 0;
};

// Columns for totalEntries buttons in a region of the given size with rows of lineHeight.
ColumnLayout ComputeColumnLayout(int totalEntries, float height, float lineHeight, float width);

} // namespace ImGuiFs

#endif
