// CSphereCull on a water box seen whole at 1280 x 720 as the full picture sees it (atoms at 0.6 of
// their radius, single-sampled and multisampled): the time to find the atoms that can show (their
// grid built once, as for every view of a structure), then the O-H bonds (tubes of radius 0.1), and
// their shares; and the time to build the grid, or to refit it.
// Needs no display: ./bench_cull

#include <benchmark/benchmark.h>

#include <glm/gtc/matrix_transform.hpp>

#include "../tests/structure_builder.h"
#include "cinstance.h"
#include "cpalette.h"
#include "cspherecull.h"

namespace {

const int WIDTH = 1280;
const int HEIGHT = 720;
const float BOND_RADIUS = 0.1f;

// The spheres of a water box of `atoms` atoms about its centre, its O-H bonds and the view.
struct Scene {
    std::vector<glm::vec4> spheres;
    std::vector<CBondInstance> bonds;
    CSphereCull::SView view;
};

Scene WaterScene(size_t atoms, bool is_multisampled)
{
    const Atoms water = WaterBox(atoms);
    std::vector<glm::vec3> xyz(water.xyz.begin(), water.xyz.end());
    glm::vec3 centre(0.0f);
    for (const glm::vec3 &p : xyz)
        centre += p / static_cast<float>(xyz.size());
    float reach = 0.0f;
    for (glm::vec3 &p : xyz) {
        p -= centre;
        reach = std::max(reach, glm::length(p));
    }
    Scene scene;
    CPalette pick;
    std::vector<CAtomColours> colours;
    BuildAtomInstances(xyz, water.index, pick, scene.spheres, colours);
    // Each molecule is O, H, H: a bond from the oxygen to each hydrogen, ends' radii in w.
    for (size_t o = 0; o + 2 < scene.spheres.size(); o += 3)
        for (size_t h : {o + 1, o + 2}) {
            const glm::vec3 a(scene.spheres[o]), b(scene.spheres[h]);
            scene.bonds.push_back({glm::vec4(0.5f * (a + b), scene.spheres[o].w), glm::vec4(0.5f * (b - a), scene.spheres[h].w)});
        }
    CSphereCull::SView &view = scene.view;
    view.view = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, -2.0f * reach)) *
                glm::rotate(glm::mat4(1.0f), 0.5f, glm::vec3(0.3f, 1.0f, 0.2f));
    const float aspect = static_cast<float>(WIDTH) / HEIGHT;
    view.projection = glm::ortho(-reach * aspect, reach * aspect, -reach, reach, reach, 3.0f * reach);
    view.scale = 0.6f;
    view.width = WIDTH;
    view.height = HEIGHT;
    view.is_multisampled = is_multisampled;
    return scene;
}

void BM_CullWater(benchmark::State &state)
{
    const Scene scene = WaterScene(static_cast<size_t>(state.range(0)), state.range(1) != 0);
    CSphereGrid grid;
    grid.Build(scene.spheres);
    CSphereCull cull;
    for (auto _ : state)
        cull.Build(grid, scene.view);
    state.counters["atoms_drawn"] =
        static_cast<double>(cull.Spheres().size()) / static_cast<double>(scene.spheres.size());
}
BENCHMARK(BM_CullWater)->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_CullWaterBonds(benchmark::State &state)
{
    const Scene scene = WaterScene(static_cast<size_t>(state.range(0)), false);
    CSphereCull cull;
    cull.Build(scene.spheres, scene.view);
    size_t drawn = 0;
    for (auto _ : state)
        drawn = cull.Segments(scene.bonds, BOND_RADIUS).size();
    state.counters["bonds_drawn"] = static_cast<double>(drawn) / static_cast<double>(scene.bonds.size());
}
BENCHMARK(BM_CullWaterBonds)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Grouped afresh (0), or refitted as for the next frame of a trajectory (1).
void BM_GridWater(benchmark::State &state)
{
    const Scene scene = WaterScene(static_cast<size_t>(state.range(0)), false);
    CSphereGrid grid;
    grid.Build(scene.spheres);
    for (auto _ : state)
        if (state.range(1) == 0)
            grid.Build(scene.spheres);
        else
            benchmark::DoNotOptimize(grid.Refit(scene.spheres));
    state.counters["cells"] = static_cast<double>(grid.Cells().size());
}
BENCHMARK(BM_GridWater)->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
