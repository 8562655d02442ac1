#include "cfslisting.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cfspath.h"

namespace ImGuiFs {

namespace {

std::vector<std::string> ParseExtensions(const char* extensions)
{
    std::vector<std::string> list;
    if (extensions == nullptr)
        return list;
    std::string token;
    for (const char* c = extensions;; ++c) {
        if (*c == ';' || *c == ',' || *c == '\0') {
            if (!token.empty())
                list.push_back(token[0] == '.' ? token : "." + token);
            token.clear();
            if (*c == '\0')
                break;
        } else if (*c != ' ' && *c != '*') {
            token += *c;
        }
    }
    return list;
}

bool PassesExtensions(const std::string& name, const std::vector<std::string>& extensions)
{
    if (extensions.empty())
        return true;
    const std::string extension = Path::GetExtension(name);
    for (const std::string& allowed : extensions)
        if (strcasecmp(extension.c_str(), allowed.c_str()) == 0)
            return true;
    return false;
}

// Same text as Path::GetExtension without a copy: sorting compares extensions many times per entry.
const char* ExtensionOf(const std::string& name)
{
    const char* dot = std::strrchr(name.c_str(), '.');
    return dot != nullptr ? dot : "";
}

bool NameBefore(const Entry& a, const Entry& b)
{
    const int c = strcasecmp(a.name.c_str(), b.name.c_str());
    return c != 0 ? c < 0 : a.name < b.name;
}

// Entries without status first; equal keys fall back to the name so the order is total.
template <typename Key>
bool StatusKeyBefore(const Entry& a, const Entry& b, Key key)
{
    if (a.hasStatus != b.hasStatus)
        return !a.hasStatus;
    if (a.hasStatus && key(a) != key(b))
        return key(a) < key(b);
    return NameBefore(a, b);
}

bool AscendingBefore(const Entry& a, const Entry& b, int kind)
{
    switch (kind) {
    case 1:
        return StatusKeyBefore(a, b, [](const Entry& e) { return e.modified; });
    case 2:
        return StatusKeyBefore(a, b, [](const Entry& e) { return e.size; });
    case 3: {
        const int c = strcasecmp(ExtensionOf(a.name), ExtensionOf(b.name));
        return c != 0 ? c < 0 : NameBefore(a, b);
    }
    default:
        return NameBefore(a, b);
    }
}

bool NeedsStatus(int sortingMode)
{
    return sortingMode >= SORT_ORDER_LAST_MODIFICATION && sortingMode <= SORT_ORDER_SIZE_INVERSE;
}

unsigned char EntryType(int folderFd, const dirent* e)
{
    if (e->d_type != DT_UNKNOWN)
        return e->d_type;
    struct stat st;
    if (fstatat(folderFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return DT_UNKNOWN;
    if (S_ISDIR(st.st_mode))
        return DT_DIR;
    return S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
}

Listing ListEntries(const std::string& folder, unsigned char wantedType, int sortingMode, const char* extensions)
{
    Listing listing;
    DIR* dir = Path::Fits(folder) ? opendir(folder.c_str()) : nullptr;
    if (dir == nullptr)
        return listing;
    const int fd = dirfd(dir);
    const bool needsStatus = NeedsStatus(sortingMode);
    const std::vector<std::string> allowed = ParseExtensions(extensions);
    std::vector<Entry> entries;
    while (const dirent* e = readdir(dir)) {
        if (!IsListedName(e->d_name) || EntryType(fd, e) != wantedType)
            continue;
        Entry entry;
        entry.name = e->d_name;
        if (!PassesExtensions(entry.name, allowed))
            continue;
        struct stat st;
        if (needsStatus && fstatat(fd, e->d_name, &st, 0) == 0) {
            entry.hasStatus = true;
            entry.modified = st.st_mtime;
            entry.size = st.st_size;
        }
        entries.push_back(std::move(entry));
    }
    closedir(dir);

    std::sort(entries.begin(), entries.end(),
              [sortingMode](const Entry& a, const Entry& b) { return EntryBefore(a, b, sortingMode); });
    listing.paths.reserve(entries.size());
    listing.names.reserve(entries.size());
    std::string path;
    for (Entry& entry : entries) {
        if (!Path::Append(folder, entry.name, path))
            continue;
        listing.paths.push_back(path);
        listing.names.push_back(std::move(entry.name));
    }
    return listing;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    return home != nullptr ? Path::WithoutTrailingSeparators(home) : std::string();
}

void AddKnown(Listing& known, const std::string& path, const std::string& name)
{
    known.paths.push_back(path);
    known.names.push_back(name);
}

} // namespace

bool EntryBefore(const Entry& a, const Entry& b, int sortingMode)
{
    if (sortingMode < 0 || sortingMode >= SORT_ORDER_COUNT)
        sortingMode = SORT_ORDER_ALPHABETIC;
    const int kind = sortingMode / 2;
    return (sortingMode & 1) ? AscendingBefore(b, a, kind) : AscendingBefore(a, b, kind);
}

bool IsListedName(const char* name)
{
    const size_t length = std::strlen(name);
    return length > 0 && name[0] != '.' && name[length - 1] != '~';
}

bool PassesExtensionFilter(const std::string& name, const char* extensions)
{
    return PassesExtensions(name, ParseExtensions(extensions));
}

namespace Directory {

Listing GetDirectories(const std::string& folder, int sortingMode)
{
    return ListEntries(folder, DT_DIR, sortingMode, nullptr);
}

Listing GetFiles(const std::string& folder, int sortingMode, const char* extensions)
{
    return ListEntries(folder, DT_REG, sortingMode, extensions);
}

int FolderSortingMode(int sortingMode)
{
    if (sortingMode >= SORT_ORDER_SIZE && sortingMode < SORT_ORDER_COUNT)
        return SORT_ORDER_ALPHABETIC + (sortingMode & 1);
    return sortingMode;
}

KnownDirectories GetUserKnownDirectories()
{
    KnownDirectories known;
    const std::string home = HomeFolder();
    if (Path::IsDirectory(home)) {
        AddKnown(known.folders, home, "Home");
        for (const char* name : {"Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos"}) {
            std::string path;
            if (Path::Append(home, name, path) && Path::IsDirectory(path))
                AddKnown(known.folders, path, name);
        }
    }
    known.numUserDirectories = (int)known.folders.paths.size();

    const std::vector<std::string> homeComponents = Path::Split(home);
    const std::string user = homeComponents.empty() ? std::string() : Path::WithoutTrailingSeparators(homeComponents.back());
    for (const char* location : {"/media", "/mnt", "/Volumes", "/vol", "/data"}) {
        std::string mount;
        if (user.empty() || !Path::Append(location, user, mount) || !Path::IsDirectory(mount))
            mount = location;
        if (!Path::IsDirectory(mount))
            continue;
        const Listing drives = GetDirectories(mount, SORT_ORDER_ALPHABETIC);
        for (size_t i = 0; i < drives.paths.size(); ++i)
            AddKnown(known.folders, drives.paths[i], drives.names[i]);
    }
    return known;
}

} // namespace Directory

ColumnLayout ComputeColumnLayout(int totalEntries, float height, float lineHeight, float width)
{
    ColumnLayout layout;
    const int total = std::max(totalEntries, 0);
    const int approxPerColumn = (height > 0.0f && lineHeight > 0.0f) ? std::max(1, (int)(height / lineHeight)) : 20;
    if (total / approxPerColumn < 1) {
        layout.entriesPerColumn = total;
        return layout;
    }
    int columns = total / approxPerColumn;
    if (total % approxPerColumn > approxPerColumn / 2)
        ++columns;
    const int maxColumns = width > 0.0f ? std::max(1, (int)(width / 100.0f)) : 6;
    layout.numColumns = std::min(columns, maxColumns);
    layout.entriesPerColumn = (total + layout.numColumns - 1) / layout.numColumns;
    return layout;
}

} // namespace ImGuiFs
