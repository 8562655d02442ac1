#include <gtest/gtest.h>

#include <sys/stat.h>

#include "cinit.h"
#include "scratch_folder.h"

namespace {

class CInitTest : public ::testing::Test {
protected:
    // Writes `text` as the settings file and parses it.
    CInit Parse(const std::string &text)
    {
        WriteText(file, text);
        return CInit(file);
    }

    // The saved file parses without error, and saving what was read writes the same text.
    void ExpectSavedTextReadsBackTheSame()
    {
        const std::string saved = ReadText(file);
        CInit again(file);
        EXPECT_EQ(again.ParseError(), 0);
        ASSERT_TRUE(again.SaveInit());
        EXPECT_EQ(ReadText(file), saved);
    }

    ScratchFolder dir;
    const std::string file = dir / "kivoadata.ini";
};

TEST_F(CInitTest, AcceptsCommentsSeparatorsAndAnyCase)
{
    CInit a = Parse("; made by hand\n# second comment\n[settings]\nbgr=0.5\n");
    EXPECT_EQ(a.ParseError(), 0);
    EXPECT_FLOAT_EQ(a.GetFloat("settings", "bgr", 0.07f), 0.5f);

    CInit b = Parse("[Settings]\n  BGR : 0.5   ; why this colour\nbgg = 0.25;no blank, kept\n");
    EXPECT_EQ(b.ParseError(), 0);
    EXPECT_FLOAT_EQ(b.GetFloat("settings", "bgr", 0.07f), 0.5f);
    EXPECT_FLOAT_EQ(b.GetFloat("SETTINGS", "Bgr", 0.07f), 0.5f);
    EXPECT_FLOAT_EQ(b.GetFloat("settings", "bgg", 0.34f), 0.25f);

    CInit bom = Parse("\xEF\xBB\xBF[settings]\nbgb=0.75\n");
    EXPECT_EQ(bom.ParseError(), 0);
    EXPECT_FLOAT_EQ(bom.GetFloat("settings", "bgb", 0.47f), 0.75f);

    CInit before_section = Parse("top=0.125\n[settings]\n");
    EXPECT_FLOAT_EQ(before_section.GetFloat("", "top", 0.0f), 0.125f);
}

TEST_F(CInitTest, RepeatedKeysAndContinuationLinesJoinLines)
{
    CInit store = Parse("[settings]\nbgr=0.2\nbgr=0.9\nbgg=0.3\n  0.8 ; note\n");
    EXPECT_EQ(store.ParseError(), 0);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "bgr", 0.07f), 0.2f);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "bgg", 0.34f), 0.3f);

    ASSERT_TRUE(store.SaveInit());
    EXPECT_EQ(ReadText(file), "[settings]\nbgg = 0.3\nbgg = 0.8\nbgr = 0.2\nbgr = 0.9\n\n");
    ExpectSavedTextReadsBackTheSame();
}

// Whatever the parser accepted is saved in a form that parses cleanly into the same store: saving
// the re-read store gives the same text again.
TEST_F(CInitTest, SavedFileReadsBackCleanlyIntoTheSameStore)
{
    const std::string long_value(196, 'v');
    const std::string long_name(60, 'n');
    const std::string cases[] = {
        // Nameless keys, once and twice, before any section and in one.
        "=a\n=b\n",
        "[s]\n=1\n= 2\nk=3\n",
        // Empty lines inside and at the end of a joined value.
        "[s]\nk=a\nk=\nk=b\nk=\n",
        // A value starting with ";" (no blank before it, so not a comment).
        "[s]\nk=;x\n  more\n",
        // Lines that only fit the buffer as written.
        "[s]\nk=" + long_value + "\n",
        "[s]\n" + long_name + "=" + std::string(137, 'w') + "\n",
        "[s]\nk=1\n " + std::string(198, 'c') + "\n",
        // A continuation line after a name too long for the parser's name buffer, cut at a blank.
        "[s]\n" + std::string(40, 'n') + std::string(20, ' ') + "x=1\n 2\n",
        "[s]\n" + std::string(60, 'n') + "=1\n " + std::string(198, 'c') + "\n",
        // Continuation lines that start like section headers or hold separators.
        "[s]\nk=1\n  [t]\n  a=b:c\n",
    };
    for (const std::string &text : cases) {
        SCOPED_TRACE(text);
        CInit store = Parse(text);
        ASSERT_EQ(store.ParseError(), 0);
        ASSERT_TRUE(store.SaveInit());
        ExpectSavedTextReadsBackTheSame();
    }
    CInit nameless = Parse("[settings]\n=0.5\n=0.25\n");
    EXPECT_FLOAT_EQ(nameless.GetFloat("settings", "", 0.0f), 0.5f);
    ASSERT_TRUE(nameless.SaveInit());
    EXPECT_EQ(ReadText(file), "[settings]\n=0.5\n=0.25\n\n");
}

TEST_F(CInitTest, MalformedLinesGiveFirstLineNumberAndKeepTheRest)
{
    CInit store = Parse("[settings]\nbgr=0.5\njustaname\n[broken\nbgg=0.25\n");
    EXPECT_EQ(store.ParseError(), 3);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "bgr", 0.07f), 0.5f);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "bgg", 0.34f), 0.25f);

    // A line past the 200-byte buffer: its remainder counts as a malformed line of its own.
    CInit long_line = Parse("[s]\nk=" + std::string(300, 'a') + "\nm=1\n");
    EXPECT_EQ(long_line.ParseError(), 3);
    EXPECT_FLOAT_EQ(long_line.GetFloat("s", "m", 0.0f), 1.0f);
}

TEST_F(CInitTest, MissingFileIsNegativeAndSavesAnEmptyFile)
{
    CInit store(file);
    EXPECT_EQ(store.ParseError(), -1);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "bgr", 0.07f), 0.07f);
    ASSERT_TRUE(store.SaveInit());
    EXPECT_EQ(ReadText(file), "");

    CInit unbound;
    EXPECT_EQ(unbound.ParseError(), -1);
    EXPECT_FALSE(unbound.SaveInit());
}

TEST_F(CInitTest, GetFloatReadsTheLeadingNumberOrFallsBack)
{
    CInit store = Parse("[settings]\nletters=abc\nmixed=0.2xyz\nempty=\nnegative=-1.5e-1\n");
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "letters", 0.07f), 0.07f);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "mixed", 0.07f), 0.2f);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "empty", 0.07f), 0.07f);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "negative", 0.07f), -0.15f);
    EXPECT_FLOAT_EQ(store.GetFloat("settings", "absent", 0.07f), 0.07f);
    EXPECT_FLOAT_EQ(store.GetFloat("other", "mixed", 0.07f), 0.07f);
}

TEST_F(CInitTest, SaveWritesSortedSectionsWithTheirOwnKeys)
{
    CInit store(file);
    store.SetFloat("settings", "bgr", 0.03f);
    store.SetFloat("settings", "bgg", 0.12f);
    store.SetFloat("settings", "bgb", 0.33f);
    ASSERT_TRUE(store.SaveInit());
    EXPECT_EQ(ReadText(file), "[settings]\nbgb = 0.330000\nbgg = 0.120000\nbgr = 0.030000\n\n");
    EXPECT_EQ(ReadText(file + ".tmp"), "<missing>");

    CInit two = Parse("[settings]\nbgr=0.1\n[set]\nBgr=0.9\nExtra=text kept\n");
    two.SetFloat("settings", "bgr", 0.5f);
    ASSERT_TRUE(two.SaveInit());
    EXPECT_EQ(ReadText(file),
              "[set]\nbgr = 0.9\nextra = text kept\n\n[settings]\nbgr = 0.500000\n\n");
}

TEST_F(CInitTest, SectionsWithCapitalsOrEqualSignsKeepTheirKeys)
{
    CInit store = Parse("[Settings]\nBGR=0.5\n[settings]\nbgg=0.25\n[a=b]\nc=1\n[a]\nd=2\n");
    ASSERT_TRUE(store.SaveInit());
    EXPECT_EQ(ReadText(file),
              "[Settings]\nbgg = 0.25\nbgr = 0.5\n\n[a]\nd = 2\n\n[a=b]\nc = 1\n\n");
    CInit again(file);
    EXPECT_EQ(again.ParseError(), 0);
    EXPECT_FLOAT_EQ(again.GetFloat("settings", "bgr", 0.07f), 0.5f);
    EXPECT_FLOAT_EQ(again.GetFloat("a=b", "c", 0.0f), 1.0f);
}

TEST_F(CInitTest, FailedSaveLeavesTheOldFileWhole)
{
    // A leftover of a fixed temporary name no longer blocks the save, and stays as it was.
    CInit store = Parse("[settings]\nbgr=0.5\n");
    store.SetFloat("settings", "bgr", 0.9f);
    ASSERT_EQ(mkdir((file + ".tmp").c_str(), 0700), 0);
    EXPECT_TRUE(store.SaveInit());
    EXPECT_EQ(ReadText(file), "[settings]\nbgr = 0.900000\n\n");

    CInit nowhere(dir / "no-such-folder/kivoadata.ini");
    nowhere.SetFloat("settings", "bgr", 0.9f);
    EXPECT_FALSE(nowhere.SaveInit());
    EXPECT_EQ(ReadText(dir / "no-such-folder/kivoadata.ini"), "<missing>");
}

} // namespace
