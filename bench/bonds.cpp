// Load-time bond detection: SetModel on coordinates a reader has just delivered, for a
// diamond-silicon supercell and a box of water molecules. The second argument says whether the
// model is new (a first load: its arrays are allocated and touched for the first time) or has
// held the same structure before (a reload).

#include <benchmark/benchmark.h>

#include <memory>

#include "../tests/structure_builder.h"

namespace {

// `cell`, when given, makes the structure a crystal with that cell: the bonds across its faces
// are found too.
void RunSetModel(benchmark::State &state, const Atoms &atoms, const glm::dmat3 *cell = nullptr)
{
    const bool first_load = state.range(1) != 0;
    auto model = std::make_unique<CModel>();
    for (auto _ : state) {
        state.PauseTiming();
        if (first_load)
            model = std::make_unique<CModel>();
        FillModel(*model, atoms);
        if (cell != nullptr) {
            model->is_periodic = true;
            model->m_cell_box = *cell;
        }
        state.ResumeTiming();
        model->SetModel();
        benchmark::DoNotOptimize(model->i_number_of_bonds);
    }
    state.counters["atoms"] = static_cast<double>(atoms.size());
    state.counters["bonds"] = model->i_number_of_bonds;
    state.counters["periodic_bonds"] = model->i_number_of_bonds_pbc;
    state.counters["cells"] = model->u_cell_number;
    state.counters["per_atom"] = benchmark::Counter(static_cast<double>(atoms.size()),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

void BM_SetModelDiamondSilicon(benchmark::State &state)
{
    RunSetModel(state, DiamondSilicon(static_cast<size_t>(state.range(0))));
}

// The same supercell as a crystal, with the supercell's cell.
void BM_SetModelDiamondSiliconPeriodic(benchmark::State &state)
{
    const size_t n = static_cast<size_t>(state.range(0));
    size_t side = 1;
    while (8 * side * side * side < n)
        ++side;
    const glm::dmat3 cell(5.431 * static_cast<double>(side));
    RunSetModel(state, DiamondSilicon(n), &cell);
}

void BM_SetModelWater(benchmark::State &state)
{
    RunSetModel(state, WaterBox(static_cast<size_t>(state.range(0))));
}

void Sizes(benchmark::internal::Benchmark *b)
{
    for (int64_t first_load : {0, 1})
        for (int64_t n : {1000, 10000, 100000, 1000000})
            b->Args({n, first_load});
    b->ArgNames({"atoms", "first_load"})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_SetModelDiamondSilicon)->Apply(Sizes);
BENCHMARK(BM_SetModelDiamondSiliconPeriodic)->Apply(Sizes);
BENCHMARK(BM_SetModelWater)->Apply(Sizes);

BENCHMARK_MAIN();
