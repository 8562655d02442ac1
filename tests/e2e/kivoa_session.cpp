#include "kivoa_session.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <stb/stb_image_write.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// A frame of the program comfortably passes within this time, so input held this long is seen.
const std::chrono::milliseconds INPUT_HOLD(100);

Clock::time_point Deadline(double seconds)
{
    return Clock::now() + std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
}

void Pause(std::chrono::milliseconds ms = std::chrono::milliseconds(50))
{
    std::this_thread::sleep_for(ms);
}

// A window that went away mid-request must not end the test program.
int IgnoreXErrors(Display *, XErrorEvent *)
{
    return 0;
}

// Runs a helper program (no shell), its output dropped; true when it exits with 0.
bool RunTool(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool IsSingleFolderName(const std::string &name)
{
    return !name.empty() && name != "." && name.find('/') == std::string::npos &&
           name.find("..") == std::string::npos;
}

std::string VariableName(const std::string &entry)
{
    return entry.substr(0, entry.find('='));
}

// The inherited environment with the entries of `own` ("NAME=value") in place of their names.
std::vector<std::string> ChildEnvironment(const std::vector<std::string> &own)
{
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e) {
        bool replaced = false;
        for (const std::string &o : own)
            replaced = replaced || VariableName(o) == VariableName(*e);
        if (!replaced)
            env.push_back(*e);
    }
    env.insert(env.end(), own.begin(), own.end());
    return env;
}

std::vector<char *> Pointers(std::vector<std::string> &texts)
{
    std::vector<char *> p;
    for (std::string &t : texts)
        p.push_back(&t[0]);
    p.push_back(nullptr);
    return p;
}

unsigned long CardinalProperty(Display *d, Window w, Atom property)
{
    Atom type;
    int format;
    unsigned long count, left;
    unsigned char *data = nullptr;
    unsigned long value = 0;
    if (XGetWindowProperty(d, w, property, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &left, &data) == Success &&
        data != nullptr && count == 1 && format == 32)
        value = *reinterpret_cast<unsigned long *>(data);
    if (data != nullptr)
        XFree(data);
    return value;
}

bool IsShown(Display *d, Window w)
{
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) != 0 && a.map_state == IsViewable;
}

Window FindByPid(Display *d, Window parent, Atom pid_atom, unsigned long pid)
{
    Window root, up, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(d, parent, &root, &up, &children, &count) == 0)
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        if (CardinalProperty(d, children[i], pid_atom) == pid && IsShown(d, children[i]))
            found = children[i];
        else
            found = FindByPid(d, children[i], pid_atom, pid);
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

int MaskShift(unsigned long mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

unsigned char Channel(unsigned long pixel, unsigned long mask)
{
    unsigned long value = (pixel & mask) >> MaskShift(mask);
    unsigned long max = mask >> MaskShift(mask);
    return static_cast<unsigned char>(max == 0 ? 0 : value * 255 / max);
}

} // namespace

Rgb Rgb::FromFloat(double r, double g, double b)
{
    auto byte = [](double c) { return static_cast<int>(std::lround(c * 255.0)); };
    return Rgb{byte(r), byte(g), byte(b)};
}

bool Rgb::Near(const Rgb &o, int tolerance) const
{
    return std::abs(r - o.r) <= tolerance && std::abs(g - o.g) <= tolerance &&
           std::abs(b - o.b) <= tolerance;
}

std::string Rgb::Text() const
{
    return "(" + std::to_string(r) + ", " + std::to_string(g) + ", " + std::to_string(b) + ")";
}

Rgb Image::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return Rgb{-1, -1, -1};
    const unsigned char *p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return Rgb{p[0], p[1], p[2]};
}

bool Image::SavePng(const std::string &path) const
{
    return width > 0 && stbi_write_png(path.c_str(), width, height, 3, rgb.data(), width * 3) != 0;
}

KivoaSession::KivoaSession(const std::string &user_suffix)
{
    static int sessions = 0;
    user_ = "kivoa-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++sessions) +
            user_suffix;
    has_home_ = IsSingleFolderName(user_) && mkdir(Home().c_str(), 0755) == 0;
    SetEnv("USER", user_);
    SetEnv("HOME", Home());
    XSetErrorHandler(IgnoreXErrors);
    display_ = XOpenDisplay(nullptr);
}

KivoaSession::~KivoaSession()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (display_ != nullptr)
        XCloseDisplay(display_);
    if (has_home_)
        RemoveTree(Home());
}

void KivoaSession::SetEnv(const std::string &name, const std::string &value)
{
    for (std::string &e : env_) {
        if (VariableName(e) == name) {
            e = name + "=" + value;
            return;
        }
    }
    env_.push_back(name + "=" + value);
}

bool KivoaSession::Start(const std::vector<std::string> &args)
{
    if (pid_ > 0 || work_.Path().empty())
        return false;
    std::vector<std::string> argv_text{KIVOA_BINARY_DIR "/kivoa"};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<std::string> env_text = ChildEnvironment(env_);
    std::vector<char *> argv = Pointers(argv_text), envp = Pointers(env_text);
    const std::string out = work_ / "stdout.txt", err = work_ / "stderr.txt";
    window_ = 0;

    pid_t pid = fork();
    if (pid == 0) {
        int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (chdir(work_.Path().c_str()) != 0 || out_fd < 0 || err_fd < 0 ||
            dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0)
            _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    pid_ = pid;
    return pid > 0;
}

bool KivoaSession::Running()
{
    // Looks without reaping, so WaitExit still gets the exit status.
    siginfo_t info{};
    return pid_ > 0 && waitid(P_PID, static_cast<id_t>(pid_), &info,
                              WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

Window KivoaSession::FindWindow() const
{
    if (display_ == nullptr || pid_ <= 0)
        return 0;
    Atom pid_atom = XInternAtom(display_, "_NET_WM_PID", False);
    return FindByPid(display_, DefaultRootWindow(display_), pid_atom,
                     static_cast<unsigned long>(pid_));
}

bool KivoaSession::WaitForWindow(double seconds)
{
    const auto deadline = Deadline(seconds);
    while (Clock::now() < deadline && Running()) {
        window_ = FindWindow();
        if (window_ != 0)
            return true;
        Pause();
    }
    return false;
}

std::string KivoaSession::Title() const
{
    if (window_ == 0)
        return "";
    Atom type;
    int format;
    unsigned long count, left;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False), 0,
                           1024, False, XInternAtom(display_, "UTF8_STRING", False), &type,
                           &format, &count, &left, &data) == Success &&
        data != nullptr && format == 8)
        title.assign(reinterpret_cast<char *>(data), count);
    if (data != nullptr)
        XFree(data);
    return title;
}

Image KivoaSession::Screenshot() const
{
    Image shot;
    XWindowAttributes a;
    if (window_ == 0 || XGetWindowAttributes(display_, window_, &a) == 0)
        return shot;
    XImage *x = XGetImage(display_, window_, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    if (x == nullptr)
        return shot;
    shot.width = a.width;
    shot.height = a.height;
    shot.rgb.reserve(static_cast<size_t>(a.width) * a.height * 3);
    for (int y = 0; y < a.height; ++y) {
        for (int col = 0; col < a.width; ++col) {
            unsigned long pixel = XGetPixel(x, col, y);
            shot.rgb.push_back(Channel(pixel, x->red_mask));
            shot.rgb.push_back(Channel(pixel, x->green_mask));
            shot.rgb.push_back(Channel(pixel, x->blue_mask));
        }
    }
    XDestroyImage(x);
    return shot;
}

bool KivoaSession::WaitForPixel(int x, int y, const Rgb &colour, int tolerance, double seconds)
{
    const auto deadline = Deadline(seconds);
    while (Clock::now() < deadline) {
        if (Screenshot().At(x, y).Near(colour, tolerance))
            return true;
        Pause();
    }
    return false;
}

bool KivoaSession::WaitForOutput(const std::string &text, double seconds) const
{
    const auto deadline = Deadline(seconds);
    while (Clock::now() < deadline) {
        if (Output().find(text) != std::string::npos)
            return true;
        Pause();
    }
    return false;
}

bool KivoaSession::MoveMouse(int x, int y) const
{
    bool ok = window_ != 0 && RunTool({"xdotool", "mousemove", "--window",
                                        std::to_string(window_), std::to_string(x),
                                        std::to_string(y)});
    Pause(INPUT_HOLD);
    return ok;
}

bool KivoaSession::Click(int x, int y, int button) const
{
    if (!MoveMouse(x, y) || !RunTool({"xdotool", "mousedown", std::to_string(button)}))
        return false;
    Pause(INPUT_HOLD);
    bool ok = RunTool({"xdotool", "mouseup", std::to_string(button)});
    Pause(INPUT_HOLD);
    return ok;
}

bool KivoaSession::ShiftClick(int x, int y) const
{
    if (!Focus() || !RunTool({"xdotool", "keydown", "shift"}))
        return false;
    Pause(INPUT_HOLD);
    const bool ok = Click(x, y);
    return RunTool({"xdotool", "keyup", "shift"}) && ok;
}

bool KivoaSession::DoubleClick(int x, int y) const
{
    bool ok = MoveMouse(x, y) && RunTool({"xdotool", "click", "--repeat", "2", "--delay", "60", "1"});
    Pause(INPUT_HOLD);
    return ok;
}

bool KivoaSession::Drag(int x0, int y0, int x1, int y1, const std::string &held) const
{
    if (!held.empty()) {
        if (!Focus() || !RunTool({"xdotool", "keydown", held}))
            return false;
        Pause(INPUT_HOLD);
        const bool ok = Drag(x0, y0, x1, y1);
        return RunTool({"xdotool", "keyup", held}) && ok;
    }
    if (!MoveMouse(x0, y0) || !RunTool({"xdotool", "mousedown", "1"}))
        return false;
    Pause(INPUT_HOLD);
    // In steps, so that the program sees a drag and not a jump.
    const int steps = 8;
    bool ok = true;
    for (int k = 1; k <= steps && ok; k++)
        ok = MoveMouse(x0 + (x1 - x0) * k / steps, y0 + (y1 - y0) * k / steps);
    ok = RunTool({"xdotool", "mouseup", "1"}) && ok;
    Pause(INPUT_HOLD);
    return ok;
}

bool KivoaSession::Focus() const
{
    return window_ != 0 &&
           RunTool({"xdotool", "windowfocus", "--sync", std::to_string(window_)});
}

bool KivoaSession::Key(const std::string &keys) const
{
    if (!Focus() || !RunTool({"xdotool", "keydown", keys}))
        return false;
    Pause(INPUT_HOLD);
    bool ok = RunTool({"xdotool", "keyup", keys});
    Pause(INPUT_HOLD);
    return ok;
}

bool KivoaSession::Type(const std::string &text) const
{
    // "--" ends xdotool's options, so that a text such as "-4.5" is typed, not parsed.
    bool ok = Focus() && RunTool({"xdotool", "type", "--delay", "100", "--", text});
    Pause(INPUT_HOLD);
    return ok;
}

bool KivoaSession::Close() const
{
    if (window_ == 0)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window_;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    bool sent = XSendEvent(display_, window_, False, NoEventMask, &event) != 0;
    XFlush(display_);
    return sent;
}

int KivoaSession::WaitExit(double seconds)
{
    if (pid_ <= 0)
        return -1;
    const auto deadline = Deadline(seconds);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline)
        Pause();
    if (done == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    const bool exited = done > 0 && WIFEXITED(status);
    pid_ = -1;
    window_ = 0;
    return exited ? WEXITSTATUS(status) : -1;
}

bool HasLine(const std::string &text, const std::string &line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}
