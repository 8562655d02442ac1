#include "cframetrace.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include <unistd.h>

CFrameTrace::CFrameTrace(const char *target)
{
    if (target == nullptr || *target == '\0')
        return;
    if (std::string(target) == "-") {
        out = stderr;
        return;
    }
    out = std::fopen(target, "a");
    is_own_file = out != nullptr;
}

CFrameTrace::~CFrameTrace()
{
    if (is_own_file)
        std::fclose(out);
}

void CFrameTrace::Start()
{
    if (!IsOn())
        return;
    start_ms = SinceProcessStart();
    mark = Clock::now();
    parts.clear();
}

void CFrameTrace::Part(const char *name)
{
    if (!IsOn())
        return;
    const Clock::time_point now = Clock::now();
    char text[64];
    std::snprintf(text, sizeof text, " %s=%.1f", name, std::chrono::duration<double, std::milli>(now - mark).count());
    parts += text;
    mark = now;
}

void CFrameTrace::End(const std::string &reason, const std::string &kind, const std::string &extra)
{
    if (!IsOn())
        return;
    std::fprintf(out, "frame %lu start=%.1f reason=%s kind=%s%s%s%s\n", u_frames++, start_ms, reason.c_str(),
                 kind.c_str(), parts.c_str(), extra.empty() ? "" : " ", extra.c_str());
    std::fflush(out);
}

void CFrameTrace::EndStartup()
{
    if (!IsOn())
        return;
    std::fprintf(out, "startup start=%.1f%s\n", start_ms, parts.c_str());
    std::fflush(out);
}

// The start time in /proc/self/stat (field 22, clock ticks since boot) against the boot clock.
double CFrameTrace::SinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name, which may hold spaces, in parentheses.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    // Fields 3 to 22 follow the command; the start time is the last of them.
    for (int k = 3; k <= 22; ++k)
        fields >> field;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return 1000.0 * (static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec) -
                     std::strtod(field.c_str(), nullptr) / ticks);
}
