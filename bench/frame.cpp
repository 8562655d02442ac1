// One DrawScene of a water box with bonds shown, into a hidden 1280 x 720 window.
// Needs an X display: xvfb-run -a -s "-screen 0 1280x800x24" ./bench_frame

#include <benchmark/benchmark.h>

#include <cstdio>

#include "../tests/structure_builder.h"
#include "cdisplay.h"
#include "cwindow.h"

namespace {

const int WIDTH = 1280;
const int HEIGHT = 720;

// The program's window, hidden; the loop never swaps, so vertical sync does not slow it.
GLFWwindow *OpenHiddenWindow()
{
    if (!glfwInit())
        return nullptr;
    GLFWwindow *window = CreateKivoaWindow(false);
    if (window == nullptr)
        return nullptr;
    return gladLoadGL(glfwGetProcAddress) != 0 ? window : nullptr;
}

void BM_DrawSceneWaterWithBonds(benchmark::State &state)
{
    const Atoms atoms = WaterBox(static_cast<size_t>(state.range(0)));
    CDisplay display;
    LoadAtoms(display, atoms);
    display.RefreshStructure();
    display.is_show_bond = true;
    display.SetAtomScale(true);
    glViewport(0, 0, WIDTH, HEIGHT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        display.DrawScene(WIDTH, HEIGHT);
        glFinish();
    }
    state.counters["atoms"] = static_cast<double>(atoms.size());
    state.counters["bonds"] = display.i_number_of_bonds;
    display.Delete();
}
BENCHMARK(BM_DrawSceneWaterWithBonds)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
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
