#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cconfig.h"
#include "scratch_folder.h"

namespace {

bool IsDirectory(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> Entries(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(path.c_str())) {
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

// Restores USER when the test is done with it.
class UserVariable {
public:
    UserVariable()
    {
        const char *v = std::getenv("USER");
        had_ = v != nullptr;
        if (had_)
            old_ = v;
    }
    ~UserVariable()
    {
        if (had_)
            setenv("USER", old_.c_str(), 1);
        else
            unsetenv("USER");
    }

private:
    bool had_;
    std::string old_;
};

TEST(CConfigTest, BuildsThePathsUnderHome)
{
    CConfig c;
    ASSERT_TRUE(c.SetUser("alice"));
    EXPECT_EQ(c.p_user, "alice");
    EXPECT_STREQ(c.folder, "/home/alice/.kivoa-org/");
    EXPECT_STREQ(c.config, "/home/alice/.kivoa-org/kivoa.ini");
    EXPECT_STREQ(c.inidata, "/home/alice/.kivoa-org/kivoadata.ini");
    EXPECT_STREQ(c.cmd, "mkdir -p /home/alice/.kivoa-org/");
    EXPECT_TRUE(c.error.empty());

    // Dots inside a name keep it in its own folder.
    ASSERT_TRUE(c.SetUser("a..b"));
    EXPECT_STREQ(c.folder, "/home/a..b/.kivoa-org/");
}

TEST(CConfigTest, RefusesNamesThatLeaveHome)
{
    for (const char *user : {"", ".", "..", "a/b", "../etc", "..//", "x;touch${IFS}/tmp/owned"}) {
        CConfig c;
        EXPECT_FALSE(c.SetUser(user)) << user;
        EXPECT_FALSE(c.error.empty()) << user;
        EXPECT_STREQ(c.folder, "") << user;
        EXPECT_STREQ(c.config, "") << user;
        EXPECT_STREQ(c.inidata, "") << user;
        EXPECT_STREQ(c.cmd, "") << user;
    }
}

TEST(CConfigTest, RefusesPathsLongerThanTheBuffers)
{
    // "/home/" + user + "/.kivoa-org/kivoadata.ini" is the longest path: 31 characters + user.
    CConfig fits;
    EXPECT_TRUE(fits.SetUser(std::string(168, 'u')));
    EXPECT_EQ(std::string(fits.inidata).size(), 199u);

    CConfig too_long;
    EXPECT_FALSE(too_long.SetUser(std::string(169, 'u')));
    EXPECT_NE(too_long.error.find("longer than 199"), std::string::npos);
    EXPECT_STREQ(too_long.folder, "");
    EXPECT_STREQ(too_long.config, "");
    EXPECT_STREQ(too_long.inidata, "");

    CConfig huge;
    EXPECT_FALSE(huge.SetUser(std::string(5000, 'u')));
}

TEST(CConfigTest, UserNameFallsBackToThePasswordDatabase)
{
    UserVariable keep;
    setenv("USER", "someone", 1);
    EXPECT_EQ(CConfig::UserName(), "someone");

    const passwd *entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    setenv("USER", "", 1);
    EXPECT_EQ(CConfig::UserName(), entry->pw_name);
    unsetenv("USER");
    EXPECT_EQ(CConfig::UserName(), entry->pw_name);
}

TEST(CConfigTest, MakeDirectoriesCreatesParentsAndNothingElse)
{
    ScratchFolder home;
    CConfig c;
    const std::string user = "x;touch${IFS}owned$(id)`id`";
    ASSERT_TRUE(c.SetUser(user, home.Path().c_str()));
    ASSERT_TRUE(CConfig::MakeDirectories(c.folder));
    EXPECT_TRUE(IsDirectory(home / user + "/.kivoa-org"));
    EXPECT_EQ(Entries(home.Path()), std::vector<std::string>{user});
    EXPECT_EQ(Entries(home / user), std::vector<std::string>{".kivoa-org"});
    EXPECT_TRUE(Entries(c.folder).empty());
    EXPECT_EQ(ReadText("owned"), "<missing>");

    // Again over existing folders, and without a trailing slash.
    EXPECT_TRUE(CConfig::MakeDirectories(c.folder));
    EXPECT_TRUE(CConfig::MakeDirectories((home / "a//b/c").c_str()));
    EXPECT_TRUE(IsDirectory(home / "a/b/c"));
}

TEST(CConfigTest, MakeDirectoriesFailsOnAFileInTheWay)
{
    ScratchFolder home;
    WriteText(home / "file", "x");
    EXPECT_FALSE(CConfig::MakeDirectories((home / "file/.kivoa-org/").c_str()));
    EXPECT_FALSE(CConfig::MakeDirectories((home / "file").c_str()));
    EXPECT_FALSE(CConfig::MakeDirectories(""));
}

} // namespace
