#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "cfslisting.h"
#include "cfspath.h"
#include "scratch_folder.h"

using namespace ImGuiFs;
using Strings = std::vector<std::string>;

namespace {

Entry Make(const std::string& name, time_t modified = 0, off_t size = 0, bool hasStatus = true)
{
    Entry e;
    e.name = name;
    e.hasStatus = hasStatus;
    e.modified = modified;
    e.size = size;
    return e;
}

Strings Order(std::vector<Entry> entries, int mode)
{
    std::sort(entries.begin(), entries.end(), [mode](const Entry& a, const Entry& b) { return EntryBefore(a, b, mode); });
    Strings names;
    for (const Entry& e : entries)
        names.push_back(e.name);
    return names;
}

Strings Reversed(Strings s)
{
    std::reverse(s.begin(), s.end());
    return s;
}

} // namespace

TEST(FsEntries, NamesAndExtensions)
{
    EXPECT_TRUE(IsListedName("POSCAR"));
    EXPECT_FALSE(IsListedName(""));
    EXPECT_FALSE(IsListedName(".hidden"));
    EXPECT_FALSE(IsListedName(".."));
    EXPECT_FALSE(IsListedName("CONTCAR~"));

    EXPECT_TRUE(PassesExtensionFilter("a.XYZ", ".xyz;.pdb"));
    EXPECT_TRUE(PassesExtensionFilter("a.pdb", "xyz, *.pdb"));
    EXPECT_FALSE(PassesExtensionFilter("POSCAR", ".xyz"));
    EXPECT_FALSE(PassesExtensionFilter("a.xyz.bak", ".xyz"));
    EXPECT_TRUE(PassesExtensionFilter("POSCAR", nullptr));
    EXPECT_TRUE(PassesExtensionFilter("POSCAR", ""));
}

TEST(FsEntries, OrdersOfTheEightModes)
{
    const std::vector<Entry> entries = {Make("b.xyz", 300, 10), Make("A.pdb", 100, 30), Make("c", 200, 20)};
    EXPECT_EQ(Order(entries, SORT_ORDER_ALPHABETIC), (Strings{"A.pdb", "b.xyz", "c"}));
    EXPECT_EQ(Order(entries, SORT_ORDER_LAST_MODIFICATION), (Strings{"A.pdb", "c", "b.xyz"}));
    EXPECT_EQ(Order(entries, SORT_ORDER_SIZE), (Strings{"b.xyz", "c", "A.pdb"}));
    EXPECT_EQ(Order(entries, SORT_ORDER_TYPE), (Strings{"c", "A.pdb", "b.xyz"}));
    for (int mode = 0; mode < SORT_ORDER_COUNT; mode += 2)
        EXPECT_EQ(Order(entries, mode + 1), Reversed(Order(entries, mode))) << "mode " << mode;
    EXPECT_EQ(Order(entries, 99), Order(entries, SORT_ORDER_ALPHABETIC));
    // Extensions compare without case.
    EXPECT_EQ(Order({Make("a.XYZ"), Make("b.pdb"), Make("c.xyz")}, SORT_ORDER_TYPE), (Strings{"b.pdb", "a.XYZ", "c.xyz"}));
}

TEST(FsEntries, EntriesWithoutStatusComeFirstAscendingAndLastDescending)
{
    const std::vector<Entry> entries = {Make("new", 500, 50), Make("gone", 0, 0, false), Make("old", 100, 10)};
    EXPECT_EQ(Order(entries, SORT_ORDER_LAST_MODIFICATION), (Strings{"gone", "old", "new"}));
    EXPECT_EQ(Order(entries, SORT_ORDER_LAST_MODIFICATION_INVERSE), (Strings{"new", "old", "gone"}));
    EXPECT_EQ(Order(entries, SORT_ORDER_SIZE), (Strings{"gone", "old", "new"}));
    EXPECT_EQ(Order(entries, SORT_ORDER_SIZE_INVERSE), (Strings{"new", "old", "gone"}));
    // Two entries without status keep a definite order.
    EXPECT_EQ(Order({Make("y", 0, 0, false), Make("x", 0, 0, false)}, SORT_ORDER_SIZE), (Strings{"x", "y"}));
}

TEST(FsListing, SkipsHiddenAndBackupEntriesAndSortsByEveryKind)
{
    ScratchFolder t;
    t.File("b.xyz", 30, 3000);
    t.File("A.pdb", 10, 1000);
    t.File("c", 20, 2000);
    t.File(".hidden");
    t.File("backup.xyz~");
    t.Folder("sub2");
    t.Folder("Sub1");
    t.Folder(".git");
    t.Folder("old~");
    symlink("/no/such/target", t.Path("dangling").c_str());

    const Listing byName = Directory::GetFiles(t.Path(), SORT_ORDER_ALPHABETIC);
    EXPECT_EQ(byName.names, (Strings{"A.pdb", "b.xyz", "c"}));
    EXPECT_EQ(byName.paths, (Strings{t.Path("A.pdb"), t.Path("b.xyz"), t.Path("c")}));
    EXPECT_EQ(Directory::GetFiles(t.Path(), SORT_ORDER_ALPHABETIC_INVERSE).names, (Strings{"c", "b.xyz", "A.pdb"}));
    EXPECT_EQ(Directory::GetFiles(t.Path(), SORT_ORDER_LAST_MODIFICATION).names, (Strings{"A.pdb", "c", "b.xyz"}));
    EXPECT_EQ(Directory::GetFiles(t.Path(), SORT_ORDER_LAST_MODIFICATION_INVERSE).names, (Strings{"b.xyz", "c", "A.pdb"}));
    EXPECT_EQ(Directory::GetFiles(t.Path(), SORT_ORDER_SIZE).names, (Strings{"A.pdb", "c", "b.xyz"}));
    EXPECT_EQ(Directory::GetFiles(t.Path(), SORT_ORDER_SIZE_INVERSE).names, (Strings{"b.xyz", "c", "A.pdb"}));
    EXPECT_EQ(Directory::GetFiles(t.Path(), SORT_ORDER_TYPE).names, (Strings{"c", "A.pdb", "b.xyz"}));
    EXPECT_EQ(Directory::GetFiles(t.Path() + "/", SORT_ORDER_ALPHABETIC, ".XYZ").paths, (Strings{t.Path("b.xyz")}));

    EXPECT_EQ(Directory::GetDirectories(t.Path(), SORT_ORDER_ALPHABETIC).names, (Strings{"Sub1", "sub2"}));
    const int folderMode = Directory::FolderSortingMode(SORT_ORDER_SIZE_INVERSE);
    EXPECT_EQ(folderMode, SORT_ORDER_ALPHABETIC_INVERSE);
    EXPECT_EQ(Directory::GetDirectories(t.Path(), folderMode).names, (Strings{"sub2", "Sub1"}));
    EXPECT_EQ(Directory::FolderSortingMode(SORT_ORDER_TYPE), SORT_ORDER_ALPHABETIC);
    EXPECT_EQ(Directory::FolderSortingMode(SORT_ORDER_LAST_MODIFICATION_INVERSE), SORT_ORDER_LAST_MODIFICATION_INVERSE);
}

TEST(FsListing, FoldersThatCannotBeReadListNothing)
{
    ScratchFolder t;
    t.File("plain");
    for (const std::string& folder : {t.Path("missing"), t.Path("plain"), std::string(), std::string(MAX_PATH_BYTES, 'a')}) {
        EXPECT_TRUE(Directory::GetFiles(folder, SORT_ORDER_SIZE).paths.empty());
        EXPECT_TRUE(Directory::GetDirectories(folder, SORT_ORDER_ALPHABETIC).paths.empty());
    }
    const Listing top = Directory::GetDirectories("/", SORT_ORDER_ALPHABETIC);
    EXPECT_NE(std::find(top.paths.begin(), top.paths.end(), "/tmp"), top.paths.end());
}

TEST(FsListing, LockedFolderListsNothing)
{
    ScratchFolder t;
    t.Folder("locked");
    t.File("locked/inside");
    chmod(t.Path().c_str(), 0755);
    chmod(t.Path("locked").c_str(), 0);
    const auto lockedListsNothing = [&t] {
        return Directory::GetFiles(t.Path("locked"), SORT_ORDER_ALPHABETIC).paths.empty() &&
               !Directory::GetDirectories("/", SORT_ORDER_ALPHABETIC).paths.empty();
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(lockedListsNothing());
    } else {
        // Permissions do not stop root: look as an unprivileged user from a child process.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            _exit(setgid(65534) == 0 && setuid(65534) == 0 && lockedListsNothing() ? 0 : 1);
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    chmod(t.Path("locked").c_str(), 0755);
}

TEST(FsListing, KnownDirectoriesStartWithHomeAndItsUsualFolders)
{
    ScratchFolder t;
    t.Folder("Music");
    t.Folder("Documents");
    t.File("Videos");
    const char* saved = std::getenv("HOME");
    const std::string savedHome = saved != nullptr ? saved : "";
    setenv("HOME", (t.Path() + "/").c_str(), 1);
    const Directory::KnownDirectories known = Directory::GetUserKnownDirectories();
    setenv("HOME", savedHome.c_str(), 1);

    ASSERT_EQ(known.numUserDirectories, 3);
    EXPECT_EQ(Strings(known.folders.names.begin(), known.folders.names.begin() + 3), (Strings{"Home", "Documents", "Music"}));
    EXPECT_EQ(Strings(known.folders.paths.begin(), known.folders.paths.begin() + 3),
              (Strings{t.Path(), t.Path("Documents"), t.Path("Music")}));
    for (size_t i = 3; i < known.folders.paths.size(); ++i)
        EXPECT_EQ(Path::Split(known.folders.paths[i]).back(), known.folders.names[i]);
}

TEST(FsColumns, ColumnArithmetic)
{
    auto layout = [](int total, float height, float width) {
        const ColumnLayout l = ComputeColumnLayout(total, height, 17.0f, width);
        return std::make_pair(l.numColumns, l.entriesPerColumn);
    };
    // 100 / 17: five rows fit.
    EXPECT_EQ(layout(0, 100, 600), std::make_pair(1, 0));
    EXPECT_EQ(layout(4, 100, 600), std::make_pair(1, 4));
    EXPECT_EQ(layout(5, 100, 600), std::make_pair(1, 5));
    EXPECT_EQ(layout(12, 100, 600), std::make_pair(2, 6)); // remainder 2 is not above half of 5
    EXPECT_EQ(layout(13, 100, 600), std::make_pair(3, 5)); // remainder 3 is
    EXPECT_EQ(layout(100, 100, 350), std::make_pair(3, 34)); // at most width / 100 columns
    EXPECT_EQ(layout(100, 100, 50), std::make_pair(1, 100));
    EXPECT_EQ(layout(200, 100, 0), std::make_pair(6, 34));  // no width yet: six columns
    EXPECT_EQ(layout(30, 0, 600), std::make_pair(1, 30));   // no height yet: twenty rows
    EXPECT_EQ(layout(41, -5, 600), std::make_pair(2, 21));
    EXPECT_EQ(layout(3, 10, 600), std::make_pair(3, 1));    // at least one row
    EXPECT_EQ(layout(-4, 100, 600), std::make_pair(1, 0));
}
