// Editing many atoms in a 10^6-atom diamond-silicon crystal read from a file: box selection of a
// slab of 10^5 atoms, their deletion in one step and its undo; and a 10 x 10 x 10 supercell of a
// 64-atom cell built, then drawn (first frame, uploads included). Run under Xvfb.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include <glm/gtc/matrix_transform.hpp>

#include "../tests/structure_builder.h"
#include "cdisplay.h"
#include "cselection.h"
#include "bench_window.h"

namespace {

constexpr size_t ATOMS = 1000000;
constexpr double SI_CELL = 5.431;
const glm::vec2 VIEW(1000.0f, 1000.0f);


// n x n x n cubic cells of silicon as an extended XYZ file with its lattice.
std::string WriteSilicon(size_t atoms, const std::string &path)
{
    const Atoms si = DiamondSilicon(atoms);
    size_t n = 1;
    while (8 * n * n * n < atoms)
        ++n;
    const std::string a = std::to_string(SI_CELL * static_cast<double>(n));
    std::string text = std::to_string(si.size()) + "\nLattice=\"" + a + " 0 0 0 " + a + " 0 0 0 " + a + "\"\n";
    char line[96];
    for (const glm::dvec3 &p : si.xyz) {
        std::snprintf(line, sizeof line, "Si %.6f %.6f %.6f\n", p.x, p.y, p.z);
        text += line;
    }
    FILE *f = std::fopen(path.c_str(), "w");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
}

CModel &Crystal()
{
    static std::unique_ptr<CModel> model = [] {
        auto m = std::make_unique<CModel>();
        const std::string path = WriteSilicon(ATOMS, "/tmp/kivoa-bench-bulkedits.xyz");
        m->ReadStructureFile("/tmp", path, INPUT_FILE_TYPE_XYZ);
        std::remove(path.c_str());
        return m;
    }();
    return *model;
}

// Looking down z at the whole crystal, the box takes the slab of the lowest tenth along x.
std::vector<uint32_t> SelectSlab(const CModel &m)
{
    const float half = 0.5f * m.v_box_size.x;
    const glm::mat4 mvp = glm::ortho(-half, half, -half, half, -1e4f, 1e4f);
    return CSelection::InRectangle(mvp, m.v_float_raw_xyz, m.Hidden(), glm::vec2(0.0f),
                                   glm::vec2(0.1f * VIEW.x, VIEW.y), VIEW);
}

void BM_BoxSelect(benchmark::State &state)
{
    CModel &m = Crystal();
    size_t selected = 0;
    for (auto _ : state)
        selected = SelectSlab(m).size();
    state.counters["atoms"] = static_cast<double>(m.v_atom_index.size());
    state.counters["selected"] = static_cast<double>(selected);
}

void BM_DeleteSelection(benchmark::State &state)
{
    CModel &m = Crystal();
    const std::vector<uint32_t> slab = SelectSlab(m);
    for (auto _ : state) {
        m.DeleteAtoms(slab);
        state.PauseTiming();
        m.Undo();
        state.ResumeTiming();
    }
    state.counters["deleted"] = static_cast<double>(slab.size());
}

void BM_UndoDeletion(benchmark::State &state)
{
    CModel &m = Crystal();
    const std::vector<uint32_t> slab = SelectSlab(m);
    for (auto _ : state) {
        state.PauseTiming();
        m.DeleteAtoms(slab);
        state.ResumeTiming();
        m.Undo();
    }
    state.counters["restored"] = static_cast<double>(slab.size());
}

// A 64-atom cell (2 x 2 x 2 cubic cells) made 10 x 10 x 10: the edit with its bonds, then the first
// frame that shows it.
void BM_Supercell10x10x10BuiltAndDrawn(benchmark::State &state)
{
    auto display = std::make_unique<CDisplay>();
    LoadAtoms(*display, DiamondSilicon(64));
    display->is_periodic = true;
    display->m_cell_box = glm::dmat3(2.0 * SI_CELL);
    display->RefreshStructure();
    display->is_show_bond = true;
    std::string why;
    size_t atoms = 0;
    for (auto _ : state) {
        display->MakeSupercell(glm::ivec3(10), why);
        display->AfterEdit();
        display->DrawScene(1280, 720);
        glFinish();
        atoms = display->v_atom_index.size();
        state.PauseTiming();
        display->Undo();
        state.ResumeTiming();
    }
    state.counters["atoms"] = static_cast<double>(atoms);
    display->Delete();
}

} // namespace

BENCHMARK(BM_BoxSelect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteSelection)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_UndoDeletion)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Supercell10x10x10BuiltAndDrawn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char **argv) { return RunWithHiddenWindow(argc, argv); }
