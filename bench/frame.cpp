// DrawScene of a water box with bonds shown, into a hidden 1280 x 720 window: the plain frame, the
// frame with every atom labelled, the frame after a click (pick pass, read-back, scene), and the
// frames of a turning view, drawn full (at rest between steps) or quick (moving under the hand).
// Needs an X display: xvfb-run -a -s "-screen 0 1280x800x24" ./bench_frame

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

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

// A water box of `atoms` atoms loaded and shown with bonds, drawn once so the buffers are uploaded.
std::unique_ptr<CDisplay> WaterDisplay(size_t atoms)
{
    auto display = std::make_unique<CDisplay>();
    LoadAtoms(*display, WaterBox(atoms));
    display->RefreshStructure();
    display->is_show_bond = true;
    display->SetAtomScale(true);
    glViewport(0, 0, WIDTH, HEIGHT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    display->DrawScene(WIDTH, HEIGHT);
    glFinish();
    return display;
}

void DrawFrames(benchmark::State &state, CDisplay &display, bool pick)
{
    for (auto _ : state) {
        if (pick)
            display.SetPicking(WIDTH / 2, HEIGHT / 2);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        display.DrawScene(WIDTH, HEIGHT);
        glFinish();
    }
    state.counters["atoms"] = static_cast<double>(display.v_float_raw_xyz.size());
    state.counters["bonds"] = display.i_number_of_bonds;
    display.Delete();
}

void BM_DrawSceneWaterWithBonds(benchmark::State &state)
{
    DrawFrames(state, *WaterDisplay(static_cast<size_t>(state.range(0))), false);
}
BENCHMARK(BM_DrawSceneWaterWithBonds)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_DrawSceneWaterLabelled(benchmark::State &state)
{
    auto display = WaterDisplay(static_cast<size_t>(state.range(0)));
    display->is_show_label = true;
    display->ShowIndex(true);
    DrawFrames(state, *display, false);
}
BENCHMARK(BM_DrawSceneWaterLabelled)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawSceneWaterPicked(benchmark::State &state)
{
    DrawFrames(state, *WaterDisplay(static_cast<size_t>(state.range(0))), true);
}
BENCHMARK(BM_DrawSceneWaterPicked)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arguments: atoms, and 1 for the quick frames of a moving view, 0 for full frames.
void BM_DrawSceneWaterTurning(benchmark::State &state)
{
    auto display = WaterDisplay(static_cast<size_t>(state.range(0)));
    const bool moving = state.range(1) != 0;
    float angle = 0.0f;
    for (auto _ : state) {
        angle += 0.01f;
        display->SetTrackRotation(angle, 0.5f);
        if (moving)
            display->NoteViewMoved();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        display->DrawScene(WIDTH, HEIGHT);
        glFinish();
    }
    state.counters["quick"] = display->NeedsFullFrame() ? 1 : 0;
    display->Delete();
}
BENCHMARK(BM_DrawSceneWaterTurning)
    ->ArgsProduct({{100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
