#include "cconfig.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <pwd.h>
#include <unistd.h>

namespace {

// snprintf that refuses to cut: false when the text doesn't fit.
bool FormatWhole(char *buffer, size_t size, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    return n >= 0 && static_cast<size_t>(n) < size;
}

// Only a whole "." or ".." names another folder; dots inside a name ("a..b") are plain text.
bool LeavesFolder(const std::string &user)
{
    return user == "." || user == ".." || user.find('/') != std::string::npos;
}

} // namespace

CConfig::CConfig()
{
    Clear();
}

void CConfig::Clear()
{
    folder[0] = config[0] = inidata[0] = cmd[0] = '\0';
}

bool CConfig::SetUser(const std::string &user, const char *home)
{
    Clear();
    p_user = user;
    error.clear();
    if (user.empty()) {
        error = "no user name in USER or in the password database";
        return false;
    }
    if (LeavesFolder(user)) {
        error = "the user name \"" + user + "\" would leave " + home;
        return false;
    }
    const char *u = user.c_str();
    if (!FormatWhole(folder, sizeof folder, "%s/%s/.kivoa-org/", home, u) ||
        !FormatWhole(config, sizeof config, "%s/%s/.kivoa-org/kivoa.ini", home, u) ||
        !FormatWhole(inidata, sizeof inidata, "%s/%s/.kivoa-org/kivoadata.ini", home, u) ||
        !FormatWhole(cmd, sizeof cmd, "mkdir -p %s", folder)) {
        Clear();
        error = "the settings paths for the user name \"" + user + "\" are longer than " +
                std::to_string(PATH_SIZE - 1) + " characters";
        return false;
    }
    return true;
}

std::string CConfig::UserName()
{
    const char *user = std::getenv("USER");
    if (user != nullptr && user[0] != '\0')
        return user;
    const passwd *entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "";
}

bool CConfig::MakeDirectories(const char *path)
{
    std::error_code error;
    if (path[0] == '\0')
        return false;
    std::filesystem::create_directories(path, error);
    return !error && std::filesystem::is_directory(path, error);
}
