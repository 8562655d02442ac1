#ifndef CCONFIG_H
#define CCONFIG_H

#include <cstddef>
#include <string>

// Where a user's settings live: the folder <home>/<user>/.kivoa-org/ ("/home" in the program),
// holding kivoa.ini (the GUI library's window layout) and kivoadata.ini (the settings store).
// The paths sit in fixed buffers because they go to C library calls; a path that would not fit
// is refused, never cut.
class CConfig {
public:
    static const size_t PATH_SIZE = 200;
    static const size_t CMD_SIZE = 1024;

    CConfig();

    // Builds the paths for `user`. False, with `error` saying why, when the name is empty, could
    // leave `home` (it holds "/" or is "." or ".."), or makes a path too long for its buffer;
    // the buffers are then empty strings.
    bool SetUser(const std::string &user, const char *home = "/home");
    // USER, or the password database's name for this process when USER is unset or empty.
    static std::string UserName();
    // The directory with its parents, as "mkdir -p" would create them, without a shell.
    static bool MakeDirectories(const char *path);

    std::string p_user;
    char folder[PATH_SIZE];  // "<home>/<user>/.kivoa-org/"
    char config[PATH_SIZE];  // "<home>/<user>/.kivoa-org/kivoa.ini"
    char inidata[PATH_SIZE]; // "<home>/<user>/.kivoa-org/kivoadata.ini"
    char cmd[CMD_SIZE];      // "mkdir -p <folder>", the line shown when the folder is prepared
    std::string error;

private:
    void Clear();
};

#endif
