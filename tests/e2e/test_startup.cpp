#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "e2e/kivoa_session.h"

namespace {

// A corner that no panel covers at its default place.
const int FREE_X = 1250, FREE_Y = 700;
const Rgb DEFAULT_BACKGROUND = Rgb::FromFloat(0.07, 0.34, 0.47);

// CPU time (user and system) the process has used so far, in clock ticks.
long CpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int k = 3; k <= 15 && fields >> field; k++) {
        if (k == 14)
            utime = std::stol(field);
        if (k == 15)
            stime = std::stol(field);
    }
    return utime + stime;
}

// What `make` would run for the target, without running it.
std::string MakeDryRun(const std::string &target)
{
    const std::string command = "make -n -C " KIVOA_TEST_DATA "/../.. " + target + " 2>&1";
    std::string out;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

bool Exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// One run that only opens the window, checks the background and closes it again.
void RunOnce(KivoaSession &s, const Rgb &background, const std::string &screenshot = "")
{
    ASSERT_TRUE(s.Start({"--ignored", "argument"}));
    ASSERT_TRUE(s.WaitForWindow()) << s.Output() << s.Errors();
    EXPECT_EQ(s.Title(), "Kivoa ImGui GLFW+OpenGL3.3");
    EXPECT_TRUE(s.WaitForPixel(FREE_X, FREE_Y, background))
        << "background " << s.Screenshot().At(FREE_X, FREE_Y).Text() << ", expected "
        << background.Text();
    if (!screenshot.empty())
        s.Screenshot().SavePng(KIVOA_BINARY_DIR "/" + screenshot);
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(s.WaitExit(), 0) << s.Errors();
    EXPECT_EQ(s.Errors().find("Error "), std::string::npos) << s.Errors();
}

TEST(Startup, FirstRunPreparesTheFolderAndDrawsTheDefaultBackground)
{
    KivoaSession s;
    ASSERT_TRUE(s.HasHome()) << "can't create " << s.Home();
    RunOnce(s, DEFAULT_BACKGROUND, "e2e-first-run.png");

    const std::string folder = s.ConfigFolder();
    EXPECT_TRUE(HasLine(s.Output(), " settings: mkdir -p " + folder)) << s.Output();
    EXPECT_TRUE(HasLine(s.Output(), "Can't load init" + folder + "kivoadata.ini")) << s.Output();
    EXPECT_TRUE(Exists(folder + "kivoa.ini"));
    // Nothing was changed, so the settings file holds an empty store.
    EXPECT_EQ(ReadText(folder + "kivoadata.ini"), "");
    EXPECT_FALSE(Exists(folder + "kivoadata.ini.tmp"));
}

TEST(Startup, SecondRunReadsTheSettingsAndDrawsTheirBackground)
{
    KivoaSession s;
    ASSERT_TRUE(s.HasHome()) << "can't create " << s.Home();
    RunOnce(s, DEFAULT_BACKGROUND);

    const std::string folder = s.ConfigFolder();
    const std::string settings = "[settings]\nbgb = 0.330000\nbgg = 0.120000\nbgr = 0.030000\n\n"
                                 "[view]\nkept = as it was\n\n";
    WriteText(folder + "kivoadata.ini", settings);
    RunOnce(s, Rgb::FromFloat(0.03, 0.12, 0.33), "e2e-second-run.png");

    EXPECT_TRUE(HasLine(s.Output(), " settings: " + folder + "kivoa.ini")) << s.Output();
    EXPECT_TRUE(HasLine(s.Output(), "Init found " + folder + "kivoadata.ini")) << s.Output();
    EXPECT_EQ(s.Output().find("mkdir"), std::string::npos) << s.Output();
    EXPECT_EQ(ReadText(folder + "kivoadata.ini"), settings);
}

TEST(Startup, UserNamesWithShellTextRunNothing)
{
    // Without a slash the name is a folder name like any other, taken literally.
    const std::string marker = "kivoa-owned-" + std::to_string(getpid());
    KivoaSession plain(";touch${IFS}" + marker + "$(touch${IFS}" + marker + ")");
    ASSERT_TRUE(plain.HasHome());
    RunOnce(plain, DEFAULT_BACKGROUND);
    EXPECT_TRUE(HasLine(plain.Output(), " settings: mkdir -p " + plain.ConfigFolder()))
        << plain.Output();
    EXPECT_TRUE(Exists(plain.ConfigFolder() + "kivoadata.ini"));
    EXPECT_FALSE(Exists(plain.WorkFolder() + "/" + marker));
    EXPECT_FALSE(Exists(plain.Home() + "/" + marker));

    // With a slash it would leave /home: refused, and the program runs on with the defaults.
    const std::string target = "/tmp/" + marker;
    KivoaSession slash(";touch${IFS}" + target);
    ASSERT_FALSE(slash.HasHome());
    RunOnce(slash, DEFAULT_BACKGROUND);
    EXPECT_NE(slash.Output().find(" settings: not kept, the user name \"" + slash.User() +
                                  "\" would leave /home"),
              std::string::npos)
        << slash.Output();
    EXPECT_EQ(slash.Output().find("Can't load init"), std::string::npos) << slash.Output();
    EXPECT_EQ(slash.Output().find("Init found"), std::string::npos) << slash.Output();
    EXPECT_FALSE(Exists(target));
    EXPECT_FALSE(Exists(slash.Home().substr(0, slash.Home().find("${IFS}"))));
    EXPECT_FALSE(Exists(slash.WorkFolder() + "/" + marker));
}

TEST(Startup, FailedStartsEndWithTheirCodes)
{
    KivoaSession no_display;
    no_display.SetEnv("DISPLAY", "");
    ASSERT_TRUE(no_display.Start());
    EXPECT_EQ(no_display.WaitExit(), 1);
    EXPECT_EQ(no_display.Errors().rfind("Error ", 0), 0u) << no_display.Errors();
    EXPECT_EQ(no_display.Output(), "");

    // A driver that offers less than OpenGL 3.3 gives no window and no context.
    KivoaSession old_gl;
    old_gl.SetEnv("MESA_GL_VERSION_OVERRIDE", "3.0");
    ASSERT_TRUE(old_gl.Start());
    EXPECT_EQ(old_gl.WaitExit(), 255);
    EXPECT_TRUE(HasLine(old_gl.Output(), "Failed to initialize OpenGL context"))
        << old_gl.Output();
    EXPECT_EQ(old_gl.Errors().rfind("Error ", 0), 0u) << old_gl.Errors();
}

// Standing still, the viewer sleeps; input wakes it and the change shows.
TEST(Startup, TheIdleViewerSleepsUntilInputComes)
{
    KivoaSession s;
    ASSERT_TRUE(s.HasHome());
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.WaitForWindow()) << s.Output() << s.Errors();
    ASSERT_TRUE(s.WaitForPixel(FREE_X, FREE_Y, DEFAULT_BACKGROUND));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long before = CpuTicks(s.Pid());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const long used = CpuTicks(s.Pid()) - before;
    // A loop that draws without pause takes a whole core: 300 ticks of 100 per second.
    EXPECT_LT(used, 30) << "CPU ticks used in 3 s of standing still";

    const int settings_x = 150, settings_y = 600;
    ASSERT_FALSE(s.Screenshot().At(settings_x, settings_y).Near(DEFAULT_BACKGROUND, 20));
    s.Key("ctrl+s");
    EXPECT_TRUE(s.WaitForPixel(settings_x, settings_y, DEFAULT_BACKGROUND, 2, 3));
    s.Key("ctrl+s");
    EXPECT_FALSE(s.Screenshot().At(settings_x, settings_y).Near(DEFAULT_BACKGROUND, 20));
    ASSERT_TRUE(s.Close());
    EXPECT_EQ(s.WaitExit(), 0) << s.Errors();
}

// `make run` builds the viewer alone; `make test` builds everything.
TEST(Startup, MakeRunBuildsOnlyTheViewer)
{
    const std::string run = MakeDryRun("run");
    EXPECT_NE(run.find("--target kivoa\n"), std::string::npos) << run;
    EXPECT_NE(run.find("/kivoa\n"), std::string::npos) << run;
    const std::string test = MakeDryRun("test");
    EXPECT_EQ(test.find("--target kivoa\n"), std::string::npos) << test;
    EXPECT_NE(test.find("cmake --build build -j"), std::string::npos) << test;
}

} // namespace
