#include "cfspath.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace ImGuiFs {

namespace {

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

std::string StartingFolder(const char* directory)
{
    if (directory == nullptr || directory[0] == '\0' || std::strlen(directory) >= MAX_PATH_BYTES)
        return "./";
    if (Path::IsDirectory(directory))
        return directory;
    const std::string parent = Path::GetDirectoryName(directory);
    return Path::IsDirectory(parent) ? parent : "./";
}

} // namespace

namespace Path {

bool Fits(const std::string& path)
{
    return path.size() < MAX_PATH_BYTES;
}

std::string GetDirectoryName(const std::string& path)
{
    if (path == "/")
        return path;
    std::string p = path;
    if (!p.empty() && IsSeparator(p.back()))
        p.pop_back();
    if (!p.empty() && p.back() == ':')
        return p;
    const size_t last = p.find_last_of("/\\");
    if (last == std::string::npos)
        return std::string();
    return last == 0 ? std::string("/") : p.substr(0, last);
}

std::string FolderOfFile(const std::string& path)
{
    const std::string folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? "." : folder;
}

std::vector<std::string> Split(const std::string& path)
{
    std::vector<std::string> components;
    std::string component;
    for (char c : path) {
        component += c == '\\' ? '/' : c;
        if (IsSeparator(c)) {
            components.push_back(component);
            component.clear();
        }
    }
    if (!component.empty())
        components.push_back(component);
    return components;
}

std::string WithoutTrailingSeparators(const std::string& path)
{
    size_t end = path.size();
    while (end > 0 && IsSeparator(path[end - 1]))
        --end;
    return path.substr(0, end);
}

std::string JoinComponents(const std::vector<std::string>& components, int last)
{
    std::string joined;
    for (int k = 0; k <= last && k < (int)components.size(); ++k)
        joined += components[k];
    joined = WithoutTrailingSeparators(joined);
    return joined.empty() ? std::string("/") : joined;
}

bool Append(const std::string& folder, const std::string& name, std::string& out)
{
    const std::string base = WithoutTrailingSeparators(folder);
    if (base.size() + 1 + name.size() >= MAX_PATH_BYTES)
        return false;
    out = base + "/" + name;
    return true;
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return !path.empty() && Fits(path) && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string Resolve(const std::string& path)
{
    if (path.empty() || !Fits(path))
        return std::string();
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return std::string();
    std::string result(resolved);
    std::free(resolved);
    return Fits(result) ? result : std::string();
}

std::string GetExtension(const std::string& name)
{
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ResolvedStartingFolder(const char* directory)
{
    for (const std::string& candidate : {StartingFolder(directory), std::string("./")}) {
        const std::string folder = Path::Resolve(candidate);
        if (!folder.empty())
            return folder;
    }
    return "/";
}

std::string JoinName(const std::string& folder, const char* name)
{
    if (name[0] == '\0' || name[0] == '/')
        return name;
    return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
}

} // namespace Path

bool History::switchTo(const std::string& folder)
{
    if (folder.empty() || !Path::Fits(folder))
        return false;
    const std::vector<std::string> components = Path::Split(folder);
    FolderInfo entry;
    entry.fullFolder = folder;
    entry.currentFolder = folder;
    entry.splitPathIndex = (int)components.size() - 1;
    if (info.empty()) {
        info.push_back(entry);
        currentInfoIndex = 0;
        return true;
    }
    // Showing the folder that is already shown would only add a duplicate entry.
    const FolderInfo& now = info[currentInfoIndex];
    if (now.currentFolder == folder)
        return false;
    const std::vector<std::string> fullComponents = Path::Split(now.fullFolder);
    for (int k = 0; k < (int)fullComponents.size(); ++k) {
        if (Path::JoinComponents(fullComponents, k) == folder) {
            entry.fullFolder = now.fullFolder;
            entry.splitPathIndex = k;
            break;
        }
    }
    pushAfterCurrent(entry);
    return true;
}

void History::pushAfterCurrent(const FolderInfo& entry)
{
    info.resize(currentInfoIndex + 1);
    info.push_back(entry);
    ++currentInfoIndex;
}

bool History::goBack()
{
    if (!canGoBack())
        return false;
    --currentInfoIndex;
    return true;
}

bool History::goForward()
{
    if (!canGoForward())
        return false;
    ++currentInfoIndex;
    return true;
}

const FolderInfo* History::current() const
{
    return currentInfoIndex >= 0 && currentInfoIndex < (int)info.size() ? &info[currentInfoIndex] : nullptr;
}

void History::reset()
{
    info.clear();
    currentInfoIndex = -1;
}

} // namespace ImGuiFs
