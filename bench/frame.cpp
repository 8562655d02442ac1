// DrawScene of a water box with bonds shown, into a hidden 1280 x 720 window: the plain frame, the
// frame with every atom labelled, the frame after a click (pick pass, read-back, scene), and the
// frames of a turning view, drawn full (at rest between steps) or quick (moving under the hand),
// and the frame with smooth edges (drawn 4x multisampled and filtered into the window, as "Smooth"
// does).
// Needs an X display: xvfb-run -a -s "-screen 0 1280x800x24" ./bench_frame

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "../tests/structure_builder.h"
#include "cdisplay.h"
#include "bench_window.h"
#include "cscenetarget.h"

namespace {

const int WIDTH = 1280;
const int HEIGHT = 720;

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

// Frames into the window, or into `smooth` with `samples` and then filtered into the window. The
// counter process_cpu_ms is the CPU time of every thread (the renderer's too) per frame, which
// other work on the machine disturbs less than the wall clock.
void DrawFrames(benchmark::State &state, CDisplay &display, bool pick, CSceneTarget *smooth = nullptr,
                int samples = 0)
{
    const std::clock_t cpu = std::clock();
    for (auto _ : state) {
        if (pick)
            display.SetPicking(WIDTH / 2, HEIGHT / 2);
        if (smooth != nullptr)
            smooth->Bind(WIDTH, HEIGHT, samples);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        display.DrawScene(WIDTH, HEIGHT);
        if (smooth != nullptr)
            smooth->ResolveTo(0);
        glFinish();
    }
    state.counters["process_cpu_ms"] =
        1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC / static_cast<double>(state.iterations());
    state.counters["samples"] = samples;
    state.counters["atoms"] = static_cast<double>(display.v_float_raw_xyz.size());
    state.counters["bonds"] = display.i_number_of_bonds;
    display.Delete();
}

// The share of the atoms and bonds the last frame drew (1 without culling).
void CountDrawn(benchmark::State &state, const CDisplay &display)
{
    const CInstanceBuffers &b = display.instances;
    state.counters["atoms_drawn"] = static_cast<double>(b.AtomsDrawn()) / static_cast<double>(std::max<size_t>(b.AtomQuads(), 1));
    state.counters["bonds_drawn"] = static_cast<double>(b.BondsDrawn()) / static_cast<double>(std::max<size_t>(b.BondQuads(), 1));
}

// The full picture at rest, with (1) and without (0) leaving out what others hide.
void BM_DrawSceneWaterCulled(benchmark::State &state)
{
    auto display = WaterDisplay(static_cast<size_t>(state.range(0)));
    display->is_cull = state.range(1) != 0;
    float angle = 0.0f;
    for (auto _ : state) {
        angle += 0.01f;
        display->SetTrackRotation(angle, 0.5f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        display->DrawScene(WIDTH, HEIGHT);
        glFinish();
    }
    CountDrawn(state, *display);
    display->Delete();
}
BENCHMARK(BM_DrawSceneWaterCulled)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
    CountDrawn(state, *display);
    display->Delete();
}
BENCHMARK(BM_DrawSceneWaterTurning)
    ->ArgsProduct({{100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_DrawSceneWaterSmooth(benchmark::State &state)
{
    CSceneTarget target;
    const int samples = CSceneTarget::Samples(4);
    DrawFrames(state, *WaterDisplay(static_cast<size_t>(state.range(0))), false, &target, samples);
}
BENCHMARK(BM_DrawSceneWaterSmooth)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) { return RunWithHiddenWindow(argc, argv); }
