#ifndef CFRAMETRACE_H
#define CFRAMETRACE_H

#include <chrono>
#include <cstdio>
#include <string>

// A line per frame of the window, for finding where the time between an event and the picture
// goes: when the frame started (milliseconds since the process started), why (the events that
// woke the loop, or frames still due), its kind, and the milliseconds each part took; before the
// first frame, a line of the start-up's parts. Off unless KIVOA_FRAME_TRACE names a file to append
// to, or is "-" for standard error.
class CFrameTrace {
public:
    // Opens the trace `target` names (see above); stays off for an empty or null target or a file
    // that cannot be opened.
    explicit CFrameTrace(const char *target);
    ~CFrameTrace();
    CFrameTrace(const CFrameTrace &) = delete;
    CFrameTrace &operator=(const CFrameTrace &) = delete;

    bool IsOn() const { return out != nullptr; }
    // A frame begins: its parts are timed from here.
    void Start();
    // The part `name` ends now.
    void Part(const char *name);
    // The frame ends with its reason and kind and any extra `key=value` words; the line is written.
    void End(const std::string &reason, const std::string &kind, const std::string &extra = std::string());
    // The start-up before the first frame ends; its line ("startup", the parts) is written.
    void EndStartup();
    // Milliseconds since the process started (to the kernel's clock tick).
    static double SinceProcessStart();

private:
    using Clock = std::chrono::steady_clock;
    FILE *out = nullptr;
    bool is_own_file = false;
    unsigned long u_frames = 0;
    double start_ms = 0.0;
    Clock::time_point mark;
    std::string parts;
};

#endif
