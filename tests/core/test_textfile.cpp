#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ctextfile.h"
#include "scratch_folder.h"

namespace {

std::vector<std::string> LinesOf(const std::string &path)
{
    CTextFile file;
    std::vector<std::string> lines;
    if (!file.Open(path))
        return {"<" + file.error_message + ">"};
    std::string_view line;
    while (file.NextLine(line))
        lines.emplace_back(line);
    return lines;
}

EField Double(std::string text, double &v, std::string *rest = nullptr)
{
    std::string_view s = text;
    const EField r = CTextFile::ScanDouble(s, v);
    if (rest != nullptr)
        *rest = std::string(s);
    return r;
}

EField Integer(std::string text, long long &v)
{
    std::string_view s = text;
    return CTextFile::ScanInteger(s, v);
}

} // namespace

TEST(TextFile, LineEndsOfAnyKindAndALastLineWithoutOne)
{
    ScratchFolder dir;
    WriteText(dir / "unix", "a\nb\n\nc\n");
    WriteText(dir / "windows", "a\r\nb\r\n\r\nc\r\n");
    WriteText(dir / "unterminated", "a\nb\n\nc");
    WriteText(dir / "unterminated_crlf", "a\r\nb\r\n\r\nc\r");
    const std::vector<std::string> expected{"a", "b", "", "c"};
    EXPECT_EQ(LinesOf(dir / "unix"), expected);
    EXPECT_EQ(LinesOf(dir / "windows"), expected);
    EXPECT_EQ(LinesOf(dir / "unterminated"), expected);
    EXPECT_EQ(LinesOf(dir / "unterminated_crlf"), expected);
    WriteText(dir / "empty", "");
    EXPECT_TRUE(LinesOf(dir / "empty").empty());
}

TEST(TextFile, CountsLinesAndExplainsWhyAFileCannotBeOpened)
{
    ScratchFolder dir;
    WriteText(dir / "f", "x\ny\n");
    CTextFile file;
    ASSERT_TRUE(file.Open(dir / "f"));
    std::string_view line;
    file.NextLine(line);
    file.NextLine(line);
    EXPECT_EQ(file.LineNumber(), 2u);
    EXPECT_FALSE(file.NextLine(line));
    EXPECT_EQ(file.LineNumber(), 2u);

    EXPECT_FALSE(file.Open(dir / "missing"));
    EXPECT_EQ(file.error_message, "cannot open the file: No such file or directory");
    EXPECT_FALSE(file.Open(dir.Path()));
    EXPECT_EQ(file.error_message, "this is a folder, not a file");
}

TEST(TextFile, NumbersConvertAsStrtodReadsThemButOnlyWhole)
{
    double v = 0.0;
    std::string rest;
    EXPECT_EQ(Double("  -1.5e2 7", v, &rest), EField::OK);
    EXPECT_EQ(v, -150.0);
    EXPECT_EQ(rest, " 7");
    const struct {
        const char *text;
        double value;
    } good[] = {{"+.25", 0.25},
                {"0x1.8p1", 3.0},
                {"-0X10", -16.0},
                {"0.1234567890123456789", 0.1234567890123456789},
                {"1e-400", 0.0}};
    for (const auto &c : good) {
        EXPECT_EQ(Double(c.text, v), EField::OK) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }

    // Fixed columns that touch: a number ends where the next minus sign begins.
    EXPECT_EQ(Double("-100.500-200.250", v, &rest), EField::OK);
    EXPECT_EQ(v, -100.5);
    EXPECT_EQ(rest, "-200.250");

    for (const char *bad : {"abc", "1.5abc", "1.2.3", "1e", "+-1", "--1", "0x", "1,5", "-"})
        EXPECT_EQ(Double(bad, v), EField::INVALID) << bad;
    for (const char *infinite : {"inf", "-INF", "nan", "1e999", "-1e400"})
        EXPECT_EQ(Double(infinite, v), EField::NOT_FINITE) << infinite;
    EXPECT_EQ(Double("   ", v), EField::MISSING);
}

// Decimals of every length round as strtod rounds them, bit for bit, with the rest of the text
// after them, whichever way the conversion takes.
TEST(TextFile, DecimalsOfAnyLengthRoundAsStrtodRoundsThem)
{
    std::mt19937_64 rng(11);
    const auto digits = [&rng](size_t n) {
        std::string d;
        for (size_t k = 0; k < n; ++k)
            d += static_cast<char>('0' + rng() % 10);
        return d;
    };
    const char *const after[] = {"", " 7", "-2.5", "\t"};
    for (int trial = 0; trial < 20000; ++trial) {
        std::string number = (rng() % 3 == 0 ? "-" : "") + digits(1 + rng() % 17);
        if (rng() % 2 == 0) // tiny: few digits far after the point
            number += "." + std::string(rng() % 25, '0') + digits(1 + rng() % 15);
        else if (rng() % 3 != 0)
            number += "." + digits(rng() % 25);
        const std::string tail = after[rng() % std::size(after)];
        double v = 0.0;
        std::string rest;
        ASSERT_EQ(Double(number + tail, v, &rest), EField::OK) << number;
        const double want = std::strtod(number.c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&v, &want, sizeof v), 0) << number << ": " << v << " against " << want;
        EXPECT_EQ(rest, tail) << number;
    }
}

TEST(TextFile, IntegersAreDecimalWholeTokens)
{
    long long v = 0;
    const struct {
        const char *text;
        long long value;
    } good[] = {{" 010 atoms", 10}, {"+7", 7}, {"-3", -3}};
    for (const auto &c : good) {
        EXPECT_EQ(Integer(c.text, v), EField::OK) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    for (const char *bad : {"0x10", "2.5", "12a", "+-2", "99999999999999999999", "+"})
        EXPECT_EQ(Integer(bad, v), EField::INVALID) << bad;
    EXPECT_EQ(Integer("", v), EField::MISSING);
}

TEST(TextFile, MessagesShowFieldsQuotedShortAndPrintable)
{
    EXPECT_EQ(CTextFile::Shown("abc"), "\"abc\"");
    EXPECT_EQ(CTextFile::Shown(std::string("a\x01\xff", 3)), "\"a??\"");
    EXPECT_EQ(CTextFile::Shown(std::string(100, 'x')), "\"" + std::string(40, 'x') + "...\"");
    EXPECT_EQ(CTextFile::BadNumber(" 1.2.3 4", EField::INVALID, "coordinate"),
              "coordinate \"1.2.3\" is not a number");
}

TEST(TextFile, AtomicWriteReplacesTheTargetAndKeepsItsPermissions)
{
    ScratchFolder dir;
    const std::string target = dir / "out.xyz";
    WriteText(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    std::string error;
    ASSERT_TRUE(CDiskFile::Replace(target, "new text", error)) << error;
    EXPECT_EQ(ReadText(target), "new text");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link is followed: the file it points to is replaced, the link stays.
    ASSERT_EQ(symlink("out.xyz", (dir / "link").c_str()), 0);
    ASSERT_TRUE(CDiskFile::Replace(dir / "link", "through the link", error));
    EXPECT_EQ(ReadText(target), "through the link");
    struct stat lst;
    ASSERT_EQ(lstat((dir / "link").c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
}

// Names in `dir` other than `keep`.
static std::vector<std::string> Others(const std::string &dir, const std::string &keep)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename() != keep)
            names.push_back(entry.path().filename());
    return names;
}

TEST(TextFile, AFailedRenameLeavesNoTemporaryBehind)
{
    ScratchFolder dir;
    ASSERT_EQ(mkdir((dir / "taken").c_str(), 0700), 0);
    WriteText(dir / "taken/inside", "kept");
    std::string error;
    EXPECT_FALSE(CDiskFile::Replace(dir / "taken", "x", error));
    EXPECT_EQ(error.rfind("cannot write " + dir / "taken" + ": ", 0), 0u) << error;
    EXPECT_EQ(ReadText(dir / "taken/inside"), "kept");
    EXPECT_TRUE(Others(dir.Path(), "taken").empty());
}

TEST(TextFile, AFailedWriteLeavesTheTargetWhole)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    ScratchFolder dir;
    const std::string target = dir / "keep.pdb";
    WriteText(target, "precious");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0500), 0);
    std::string error;
    EXPECT_FALSE(CDiskFile::Replace(target, "replacement", error));
    chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(error, "cannot create a file in " + dir.Path() + "/: Permission denied");
    EXPECT_EQ(ReadText(target), "precious");

    EXPECT_FALSE(CDiskFile::Replace(dir / "no/such/folder.xyz", "x", error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos);
}

// A write that stops halfway (here at a file-size limit, which binds root too, as a full disk
// would) must leave the old file as it was and no temporary beside it.
TEST(TextFile, AWriteThatStopsHalfwayLeavesTheTargetWhole)
{
    ScratchFolder dir;
    const std::string target = dir / "keep.xyz";
    WriteText(target, "precious");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        std::string error;
        const bool refused = setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                             !CDiskFile::Replace(target, std::string(1 << 20, 'x'), error) &&
                             error.rfind("cannot write ", 0) == 0;
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadText(target), "precious");
    EXPECT_TRUE(Others(dir.Path(), "keep.xyz").empty());
}
