#include <gtest/gtest.h>

#include <regex>

#include "cframetrace.h"
#include "scratch_folder.h"

// The lines bench/window_trace.sh reads: a start-up line, then a line per frame, each with its
// start since the process started and the milliseconds of its parts; nothing without a target.
TEST(CFrameTraceTest, WritesTheStartupAndEachFrameOnlyWhenAsked)
{
    ScratchFolder dir;
    const std::string file = dir / "trace.txt";
    {
        CFrameTrace trace(file.c_str());
        trace.Start();
        trace.Part("window");
        trace.Part("open");
        trace.EndStartup();
        trace.Start();
        trace.Part("scene");
        trace.End("events:cursor", "kept", "atoms_drawn=1/2");
    }
    const std::regex expected("startup start=[0-9.]+ window=[0-9.]+ open=[0-9.]+\n"
                              "frame 0 start=[0-9.]+ reason=events:cursor kind=kept scene=[0-9.]+ atoms_drawn=1/2\n");
    EXPECT_TRUE(std::regex_match(ReadText(file), expected)) << ReadText(file);

    for (const char *off : {static_cast<const char *>(nullptr), ""}) {
        CFrameTrace trace(off);
        trace.Start();
        trace.EndStartup();
        EXPECT_FALSE(trace.IsOn());
    }
    EXPECT_GT(CFrameTrace::SinceProcessStart(), 0.0);
}
