#ifndef KIVOA_SESSION_H
#define KIVOA_SESSION_H

#include <string>
#include <sys/types.h>
#include <vector>

#include <X11/Xlib.h>

#include "scratch_folder.h"

// Drives the built kivoa program in a real window on the X display named by DISPLAY (the test
// command provides Xvfb; no window manager is needed). Tests using it must not run in parallel:
// they share the display's pointer and keyboard.
//
// A session owns a test user: the name "kivoa-e2e-<pid>-<n>" plus an optional suffix. When that
// name is a single folder name, its home folder /home/<user> is created with the session (this
// needs write access to /home) and removed with everything in it afterwards. Each Start() runs kivoa with USER and HOME set to the
// user, in a scratch working folder, with standard output and error captured; the program can be
// started again once it has exited, over the same home folder.
//
// Typical use:
//     KivoaSession s;
//     ASSERT_TRUE(s.Start());
//     ASSERT_TRUE(s.WaitForWindow());
//     EXPECT_TRUE(s.WaitForPixel(1250, 700, Rgb::FromFloat(0.07, 0.34, 0.47)));
//     s.Key("ctrl+s");
//     s.Click(100, 80);
//     ASSERT_TRUE(s.Close());
//     EXPECT_EQ(s.WaitExit(), 0);
//     EXPECT_TRUE(HasLine(s.Output(), "Init found " + s.ConfigFolder() + "kivoadata.ini"));

struct Rgb {
    int r = 0, g = 0, b = 0;

    // A colour given in 0..1 components, as OpenGL writes it into an 8-bit framebuffer.
    static Rgb FromFloat(double r, double g, double b);
    // Each component within `tolerance` of the other's.
    bool Near(const Rgb &other, int tolerance = 2) const;
    std::string Text() const;
};

// A window's pixels, row by row from the top left, three bytes per pixel.
struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    Rgb At(int x, int y) const;
    bool SavePng(const std::string &path) const;
};

class KivoaSession {
public:
    explicit KivoaSession(const std::string &user_suffix = "");
    ~KivoaSession();
    KivoaSession(const KivoaSession &) = delete;
    KivoaSession &operator=(const KivoaSession &) = delete;

    const std::string &User() const { return user_; }
    std::string Home() const { return "/home/" + user_; }
    std::string ConfigFolder() const { return Home() + "/.kivoa-org/"; }
    bool HasHome() const { return has_home_; }
    // The program's working folder, empty at the start of the session.
    const std::string &WorkFolder() const { return work_.Path(); }

    // An environment variable for the following runs, over the inherited one.
    void SetEnv(const std::string &name, const std::string &value);
    // Starts kivoa (with `args` on its command line). False when it can't be started or a
    // previous run is still going.
    bool Start(const std::vector<std::string> &args = {});
    // Waits until the program's window is shown; later calls act on that window.
    bool WaitForWindow(double seconds = 20);
    bool Running();
    // The process id of the running program, -1 when none.
    pid_t Pid() const { return pid_; }

    std::string Title() const;
    Image Screenshot() const;
    // Waits until the pixel at (x, y) of the window is near `colour`.
    bool WaitForPixel(int x, int y, const Rgb &colour, int tolerance = 2, double seconds = 10);
    // Waits until standard output holds `text`.
    bool WaitForOutput(const std::string &text, double seconds = 10) const;

    // Input through xdotool, in window coordinates. Keys use xdotool's names ("ctrl+s",
    // "Delete", "Escape"); each is held long enough for a frame to see it.
    bool MoveMouse(int x, int y) const;
    bool Click(int x, int y, int button = 1) const;
    // A left click with Shift held.
    bool ShiftClick(int x, int y) const;
    // Two left clicks in quick succession, as a double click.
    bool DoubleClick(int x, int y) const;
    // Presses the left button at (x0, y0), moves to (x1, y1) and releases it there, with the keys
    // `held` ("ctrl", "ctrl+alt") held down throughout when given.
    bool Drag(int x0, int y0, int x1, int y1, const std::string &held = "") const;
    bool Key(const std::string &keys) const;
    bool Type(const std::string &text) const;

    // Asks the window to close as a window manager's close button does.
    bool Close() const;
    // The exit code, or -1 when the program died from a signal or didn't end in time (it is
    // then killed).
    int WaitExit(double seconds = 10);

    std::string Output() const { return ReadText(work_ / "stdout.txt"); }
    std::string Errors() const { return ReadText(work_ / "stderr.txt"); }

private:
    Window FindWindow() const;
    bool Focus() const;

    std::string user_;
    std::vector<std::string> env_;
    bool has_home_ = false;
    ScratchFolder work_;
    Display *display_ = nullptr;
    pid_t pid_ = -1;
    Window window_ = 0;
};

// `text` holds `line` as one whole line.
bool HasLine(const std::string &text, const std::string &line);

#endif
