// CSphereCull on a water box seen whole at 1280 x 720 as the full picture sees it (atoms at 0.6 of
// their radius, single-sampled and multisampled): the time to find what can show, and its share.
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

void BM_CullWater(benchmark::State &state)
{
    const Atoms water = WaterBox(static_cast<size_t>(state.range(0)));
    std::vector<glm::vec3> xyz(water.xyz.begin(), water.xyz.end());
    glm::vec3 centre(0.0f);
    for (const glm::vec3 &p : xyz)
        centre += p / static_cast<float>(xyz.size());
    float reach = 0.0f;
    for (glm::vec3 &p : xyz) {
        p -= centre;
        reach = std::max(reach, glm::length(p));
    }
    CPalette pick;
    std::vector<glm::vec4> spheres;
    std::vector<CAtomColours> colours;
    BuildAtomInstances(xyz, water.index, pick, spheres, colours);
    CSphereCull::SView view;
    view.view = glm::translate(glm::mat4(1.0f), glm::vec3(0.0f, 0.0f, -2.0f * reach)) *
                glm::rotate(glm::mat4(1.0f), 0.5f, glm::vec3(0.3f, 1.0f, 0.2f));
    const float aspect = static_cast<float>(WIDTH) / HEIGHT;
    view.projection = glm::ortho(-reach * aspect, reach * aspect, -reach, reach, reach, 3.0f * reach);
    view.scale = 0.6f;
    view.width = WIDTH;
    view.height = HEIGHT;
    view.is_multisampled = state.range(1) != 0;
    CSphereCull cull;
    for (auto _ : state)
        cull.Build(spheres, view);
    state.counters["atoms_drawn"] = static_cast<double>(cull.Spheres().size()) / static_cast<double>(spheres.size());
}
BENCHMARK(BM_CullWater)->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
