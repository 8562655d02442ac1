#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <unistd.h>
#include <vector>

#include "cfspath.h"

using namespace ImGuiFs;
using Strings = std::vector<std::string>;

TEST(FsPath, SplitKeepsTrailingSeparatorsOfComponents)
{
    EXPECT_EQ(Path::Split("/home/u/data"), (Strings{"/", "home/", "u/", "data"}));
    EXPECT_EQ(Path::Split("/home/u/"), (Strings{"/", "home/", "u/"}));
    EXPECT_EQ(Path::Split("/"), (Strings{"/"}));
    EXPECT_EQ(Path::Split("a\\b"), (Strings{"a/", "b"}));
    EXPECT_TRUE(Path::Split("").empty());

    const Strings c = Path::Split("/home/u/data");
    EXPECT_EQ(Path::JoinComponents(c, 0), "/");
    EXPECT_EQ(Path::JoinComponents(c, 1), "/home");
    EXPECT_EQ(Path::JoinComponents(c, 3), "/home/u/data");
}

TEST(FsPath, ParentRule)
{
    EXPECT_EQ(Path::GetDirectoryName("/"), "/");
    EXPECT_EQ(Path::GetDirectoryName("/a"), "/");
    EXPECT_EQ(Path::GetDirectoryName("/a/b.xyz"), "/a");
    EXPECT_EQ(Path::GetDirectoryName("/a/b/"), "/a");
    EXPECT_EQ(Path::GetDirectoryName("a\\b"), "a");
    EXPECT_EQ(Path::GetDirectoryName("C:"), "C:");
    EXPECT_EQ(Path::GetDirectoryName("C:\\"), "C:");
    EXPECT_EQ(Path::GetDirectoryName("file.xyz"), "");
    EXPECT_EQ(Path::GetDirectoryName(""), "");
}

TEST(FsPath, TypedNameJoinsTheFolderUnlessAbsolute)
{
    const struct {
        const char* folder;
        const char* name;
        const char* joined;
    } cases[] = {
        {"/a/b", "c.xyz", "/a/b/c.xyz"}, {"/", "c.xyz", "/c.xyz"}, {"/a", "sub/c", "/a/sub/c"},
        {"/a", "/x/c.xyz", "/x/c.xyz"}, {"/a", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Path::JoinName(c.folder, c.name), c.joined) << c.folder << " + " << c.name;
}

TEST(FsPath, PathsThatWouldNotFitAreRefusedWhole)
{
    const std::string folder = "/" + std::string(MAX_PATH_BYTES - 8, 'd');
    std::string out = "untouched";
    EXPECT_TRUE(Path::Append(folder, "abcde", out)); // 16383 characters: fits with its terminator
    EXPECT_EQ(out.size(), MAX_PATH_BYTES - 1);
    out = "untouched";
    EXPECT_FALSE(Path::Append(folder, "abcdef", out));
    EXPECT_EQ(out, "untouched");
    EXPECT_TRUE(Path::Append("/", "x", out));
    EXPECT_EQ(out, "/x");
    EXPECT_TRUE(Path::Append("/a//", "x", out));
    EXPECT_EQ(out, "/a/x");

    EXPECT_EQ(Path::Resolve(folder + "/abcdefgh"), "");
    EXPECT_FALSE(Path::IsDirectory(std::string(MAX_PATH_BYTES, '/')));
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(Path::Resolve("./"), cwd);
    EXPECT_EQ(Path::Resolve("/no/such/folder"), "");
}

TEST(FsHistory, SwitchingKeepsDeeperComponentsAndDropsForwardEntries)
{
    History h;
    EXPECT_FALSE(h.switchTo(""));
    EXPECT_EQ(h.currentInfoIndex, -1);
    EXPECT_TRUE(h.switchTo("/a/b/c"));
    ASSERT_EQ(h.currentInfoIndex, 0);
    EXPECT_EQ(h.current()->splitPathIndex, 3);
    EXPECT_FALSE(h.switchTo("/a/b/c"));

    // Up to an ancestor: the full folder stays, the index points at the ancestor.
    EXPECT_TRUE(h.switchTo("/a"));
    EXPECT_EQ(h.current()->fullFolder, "/a/b/c");
    EXPECT_EQ(h.current()->currentFolder, "/a");
    EXPECT_EQ(h.current()->splitPathIndex, 1);
    EXPECT_FALSE(h.switchTo("/a"));
    // Back down to the deeper component.
    EXPECT_TRUE(h.switchTo("/a/b/c"));
    EXPECT_EQ(h.current()->fullFolder, "/a/b/c");
    EXPECT_EQ(h.current()->splitPathIndex, 3);
    EXPECT_EQ(h.info.size(), 3u);

    EXPECT_TRUE(h.goBack());
    EXPECT_TRUE(h.goBack());
    EXPECT_FALSE(h.goBack());
    EXPECT_TRUE(h.canGoForward());
    // A folder off the path starts a new full folder and drops the entries after the current one.
    EXPECT_TRUE(h.switchTo("/x/y"));
    EXPECT_EQ(h.info.size(), 2u);
    EXPECT_FALSE(h.canGoForward());
    EXPECT_EQ(h.current()->fullFolder, "/x/y");
    EXPECT_EQ(h.current()->splitPathIndex, 2);
    EXPECT_EQ(h.current()->splitPathIndexOfZipFile, -1);

    EXPECT_FALSE(h.switchTo("/" + std::string(MAX_PATH_BYTES, 'z')));
    EXPECT_EQ(h.info.size(), 2u);
    EXPECT_TRUE(h.switchTo("/"));
    EXPECT_EQ(h.current()->splitPathIndex, 0);
    h.reset();
    EXPECT_EQ(h.current(), nullptr);
    EXPECT_FALSE(h.goForward());
}
