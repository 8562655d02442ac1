// Only regular files are read and replaced: special files are refused at once and left as they
// were, links are written through, a replaced file keeps what it was, and a save notices a file
// another program changed since it was read. Device nodes are private ones made in a scratch
// folder (as root), never those of the real /dev.

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "cdiskfile.h"
#include "cmodel.h"
#include "ctextfile.h"
#include "in_child.h"
#include "scratch_folder.h"

namespace {

const std::string DATA = KIVOA_TEST_DATA;

struct SSpecial {
    std::string path;
    const char *kind;
};

// A folder, a FIFO, a socket and (as root) a private null device in `dir`, each with the kind
// the refusal names.
std::vector<SSpecial> SpecialFiles(const ScratchFolder &dir)
{
    std::vector<SSpecial> files{{dir / "folder", "a folder"}, {dir / "fifo", "a FIFO (named pipe)"},
                                {dir / "socket", "a socket"}};
    mkdir(files[0].path.c_str(), 0755);
    mkfifo(files[1].path.c_str(), 0666);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    files[2].path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address);
    close(s);
    if (geteuid() == 0 && mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        files.push_back({dir / "null", "a character device"});
    return files;
}

mode_t TypeOf(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

} // namespace

TEST(DiskFile, SpecialFilesAreRefusedAtOnceForReading)
{
    ScratchFolder dir;
    for (const SSpecial &f : SpecialFiles(dir)) {
        // A FIFO without a writer would keep a blocking open waiting for ever.
        EXPECT_TRUE(InChild([&] {
            CTextFile file;
            return !file.Open(f.path) && (file.error_message == "this is " + std::string(f.kind) + ", not a regular file" ||
                                          file.error_message == "this is a folder, not a file");
        })) << f.path;
    }
    // Reading the real /dev/zero is harmless and used to take 4 GB before it stopped.
    EXPECT_TRUE(InChild([] {
        CTextFile file;
        return !file.Open("/dev/zero") && file.error_message == "this is a character device, not a regular file";
    }, 2));
}

TEST(DiskFile, SavingOntoSpecialFilesIsRefusedAndLeavesThem)
{
    ScratchFolder dir;
    for (const SSpecial &f : SpecialFiles(dir)) {
        const mode_t type = TypeOf(f.path);
        // A FIFO with a reader attached accepts a write-only open.
        const int reader = open(f.path.c_str(), O_RDONLY | O_NONBLOCK);
        symlink(f.path.c_str(), (dir / "link").c_str());
        for (const std::string &target : {f.path, dir / "link"}) {
            std::string error;
            EXPECT_FALSE(CDiskFile::Replace(target, "1\n\nH 0 0 0\n", error)) << target;
            EXPECT_EQ(error, "cannot write " + target + ": it is " + f.kind + ", not a regular file");
        }
        EXPECT_EQ(TypeOf(f.path), type) << f.path;
        EXPECT_EQ(TypeOf(dir / "link"), static_cast<mode_t>(S_IFLNK));
        unlink((dir / "link").c_str());
        if (reader >= 0)
            close(reader);
    }
}

TEST(DiskFile, LinksAreWrittenThroughAndADanglingOneCreatesItsFile)
{
    ScratchFolder dir;
    dir.Folder("sub");
    // sub/link -> ../chain -> sub/new.xyz, which does not exist yet.
    ASSERT_EQ(symlink("sub/new.xyz", (dir / "chain").c_str()), 0);
    ASSERT_EQ(symlink("../chain", (dir / "sub/link").c_str()), 0);
    std::string error;
    ASSERT_TRUE(CDiskFile::Replace(dir / "sub/link", "first", error)) << error;
    EXPECT_EQ(ReadText(dir / "sub/new.xyz"), "first");
    EXPECT_EQ(TypeOf(dir / "sub/link"), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(TypeOf(dir / "chain"), static_cast<mode_t>(S_IFLNK));
    ASSERT_TRUE(CDiskFile::Replace(dir / "sub/link", "second", error)) << error;
    EXPECT_EQ(ReadText(dir / "sub/new.xyz"), "second");
    EXPECT_EQ(TypeOf(dir / "sub/new.xyz"), static_cast<mode_t>(S_IFREG));
}

TEST(DiskFile, AReplacedFileKeepsModeOwnerAndGroupAndAReadOnlyOneIsRefused)
{
    ScratchFolder dir;
    const std::string target = dir / "kept.pdb";
    WriteText(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    // As root the file is given to another owner and group, which the save must keep.
    if (root) {
        ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
    }
    struct stat before, after;
    ASSERT_EQ(stat(target.c_str(), &before), 0);
    std::string error;
    ASSERT_TRUE(CDiskFile::Replace(target, "new", error)) << error;
    ASSERT_EQ(stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_NE(after.st_ino, before.st_ino);

    ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    EXPECT_FALSE(CDiskFile::Replace(target, "newer", error));
    EXPECT_EQ(error, "cannot write " + target + (root ? ": the file is read-only" : ": Permission denied"));
    EXPECT_EQ(ReadText(target), "new");
}

TEST(DiskFile, AFileWithHardLinksIsRewrittenInPlaceAndPutBackWhenThatFails)
{
    ScratchFolder dir;
    const std::string a = dir / "a.xyz", b = dir / "b.xyz";
    WriteText(a, "old text");
    ASSERT_EQ(link(a.c_str(), b.c_str()), 0);
    std::string error;
    ASSERT_TRUE(CDiskFile::Replace(a, "new text", error)) << error;
    EXPECT_EQ(ReadText(b), "new text");
    // A write stopped at a file-size limit (which binds root too, as a full disk would).
    EXPECT_TRUE(InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        std::string reason;
        return setrlimit(RLIMIT_FSIZE, &limit) == 0 && !CDiskFile::Replace(b, std::string(1 << 20, 'x'), reason) &&
               reason.rfind("cannot write " + b + ": ", 0) == 0;
    }));
    EXPECT_EQ(ReadText(a), "new text");
    struct stat st;
    ASSERT_EQ(stat(a.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
    // No copy is left beside them.
    EXPECT_EQ(dir.FileCount(), 2u);
}

// A writer that stops for a reason of its own (a frame it cannot rewrite) after some chunks are
// written: its reason is the error, and the file and the folder are as they were.
TEST(DiskFile, AWriterThatGivesUpLeavesTheFileAndSaysWhy)
{
    for (const bool is_linked : {false, true}) {
        ScratchFolder dir;
        const std::string a = dir / "a.xyz";
        WriteText(a, "old text");
        if (is_linked) {
            ASSERT_EQ(link(a.c_str(), (dir / "b.xyz").c_str()), 0);
        }
        std::string error;
        int old_copy = 0;
        EXPECT_FALSE(CDiskFile::Replace(
            a, [](CFileSink &out) { return out.Write("new ") && out.Write("text") && out.Fail("frame 3: why"); },
            error, &old_copy));
        EXPECT_EQ(error, "frame 3: why") << is_linked;
        EXPECT_EQ(old_copy, -1) << is_linked;
        EXPECT_EQ(ReadText(a), "old text") << is_linked;
        EXPECT_EQ(dir.FileCount(), is_linked ? 2u : 1u);
    }
}

TEST(DiskFile, TheLongestNamesSave)
{
    ScratchFolder dir;
    for (size_t length : {250u, 255u}) {
        const std::string target = dir / std::string(length - 4, 'n') + ".xyz";
        std::string error;
        EXPECT_TRUE(CDiskFile::Replace(target, "x", error)) << length << ": " << error;
        EXPECT_EQ(ReadText(target), "x");
    }
}

// A save onto the file read asks first when another program changed it, even to the same size
// with its old time put back; a touch alone, or a save elsewhere, does not.
TEST(DiskFile, ASaveNoticesAFileChangedOnDiskSinceItWasRead)
{
    ScratchFolder dir;
    const std::string file = dir / "w.xyz";
    const std::string text = ReadText(DATA + "/xyz/water.xyz");
    WriteText(file, text);
    CModel m;
    ASSERT_TRUE(m.ReadStructureFile(dir.Path(), file, INPUT_FILE_TYPE_XYZ));
    m.MoveAtom(0, glm::dvec3(1.0));
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    const timespec times[2] = {st.st_atim, st.st_mtim};

    std::string changed = text;
    changed[changed.size() - 2] = changed[changed.size() - 2] == '0' ? '1' : '0';
    WriteText(file, changed);
    utimensat(AT_FDCWD, file.c_str(), times, 0);
    EXPECT_TRUE(m.ChangedOnDisk(file));
    EXPECT_FALSE(m.SaveStructureFile(dir.Path(), file, INPUT_FILE_TYPE_XYZ));
    EXPECT_TRUE(m.is_changed_on_disk);
    EXPECT_EQ(m.error_message, "the file has changed on disk since it was read");
    EXPECT_EQ(ReadText(file), changed);
    EXPECT_TRUE(m.SaveStructureFile(dir.Path(), dir / "elsewhere.xyz", INPUT_FILE_TYPE_XYZ)) << m.error_message;
    EXPECT_FALSE(m.is_changed_on_disk);

    ASSERT_TRUE(m.SaveStructureFile(dir.Path(), file, INPUT_FILE_TYPE_XYZ, true)) << m.error_message;
    EXPECT_FALSE(m.ChangedOnDisk(file));
    const timespec later[2] = {{0, UTIME_NOW}, {st.st_mtim.tv_sec + 100, 0}};
    utimensat(AT_FDCWD, file.c_str(), later, 0);
    m.MoveAtom(1, glm::dvec3(2.0));
    EXPECT_TRUE(m.SaveStructureFile(dir.Path(), file, INPUT_FILE_TYPE_XYZ)) << m.error_message;
}
