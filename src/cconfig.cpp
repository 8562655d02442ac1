#include "cconfig.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
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

bool MakeOneDirectory(const std::string &path)
{
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    struct stat st;
    return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
    const std::string whole(path);
    if (whole.empty())
        return false;
    for (size_t slash = whole.find('/', 1); slash != std::string::npos;
         slash = whole.find('/', slash + 1)) {
        if (whole[slash - 1] != '/' && !MakeOneDirectory(whole.substr(0, slash)))
            return false;
    }
    return whole.back() == '/' || MakeOneDirectory(whole);
}
