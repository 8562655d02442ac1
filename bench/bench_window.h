#ifndef KIVOA_BENCH_WINDOW_H
#define KIVOA_BENCH_WINDOW_H

// What the drawing benchmarks share: a clock in milliseconds, a window with the viewer's GL
// state, and one frame drawn to completion.

#include <chrono>
#include <cstdio>

#include "cdisplay.h"
#include "cwindow.h"

using Clock = std::chrono::steady_clock;

inline double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A hidden window of the viewer's kind with its GL state, or nullptr (said on stderr).
inline GLFWwindow *OpenBenchWindow(int width, int height)
{
    GLFWwindow *window = glfwInit() ? CreateKivoaWindow(false) : nullptr;
    if (window == nullptr || gladLoadGL(glfwGetProcAddress) == 0) {
        std::fprintf(stderr, "no OpenGL 3.3 core context (is an X display running?)\n");
        return nullptr;
    }
    glViewport(0, 0, width, height);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    return window;
}

inline void DrawFrame(CDisplay &display, int width, int height)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    display.DrawScene(width, height);
    glFinish();
}

#endif
