#ifndef BENCH_HIDDEN_WINDOW_H
#define BENCH_HIDDEN_WINDOW_H

// The benchmarks that draw run in the program's window, hidden; the loop never swaps, so vertical
// sync does not slow it. Needs an X display (xvfb-run).

#include <benchmark/benchmark.h>

#include <cstdio>

#include "cwindow.h"

inline GLFWwindow *OpenHiddenWindow()
{
    if (!glfwInit())
        return nullptr;
    GLFWwindow *window = CreateKivoaWindow(false);
    if (window == nullptr)
        return nullptr;
    return gladLoadGL(glfwGetProcAddress) != 0 ? window : nullptr;
}

// The benchmarks registered, run with the hidden window's context current.
inline int RunWithHiddenWindow(int argc, char **argv)
{
    GLFWwindow *window = OpenHiddenWindow();
    if (window == nullptr) {
        std::fprintf(stderr, "no OpenGL 3.3 core context (is an X display running?)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}

#endif
