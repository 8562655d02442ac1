// kivoa-info on generated P1 CIFs (copper supercells, every atom listed), the whole process as a
// user runs it, against ASE's CIF reader of the same file in the same run (its read alone, timed
// inside Python, without the interpreter's start). ASE's reader grows faster than the square of
// the atoms (5 s at 2 000, 62 s at 8 000 on this machine kind), so it reads the 13^3-cell file
// (8 788 atoms) but not the 29^3-cell one (97 556 atoms), which it would take hours over. The
// files have no occupancy column, are written once to $TMPDIR (or /tmp) and reused.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double SIDE = 3.615; // angstrom, copper's fcc cell, 4 atoms

std::string Folder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp != nullptr ? tmp : "/tmp";
}

// The supercell of `cells` cells per edge.
std::string P1File(int cells)
{
    const std::string p = Folder() + "/kivoa-bench-cu-p1-" + std::to_string(cells) + ".cif";
    struct stat st;
    if (stat(p.c_str(), &st) != 0) {
        FILE *f = std::fopen(p.c_str(), "w");
        if (f == nullptr)
            std::abort();
        const double a = SIDE * cells;
        std::fprintf(f, "data_cu_supercell\n_cell_length_a %.4f\n_cell_length_b %.4f\n_cell_length_c %.4f\n"
                        "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                        "_space_group_name_H-M_alt 'P 1'\nloop_\n_space_group_symop_operation_xyz\n'x, y, z'\n"
                        "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                        "_atom_site_fract_y\n_atom_site_fract_z\n",
                     a, a, a);
        const double basis[4][3] = {{0, 0, 0}, {0.5, 0.5, 0}, {0.5, 0, 0.5}, {0, 0.5, 0.5}};
        int n = 0;
        for (int i = 0; i < cells; ++i)
            for (int j = 0; j < cells; ++j)
                for (int k = 0; k < cells; ++k)
                    for (const auto &b : basis)
                        std::fprintf(f, "Cu%d Cu %.6f %.6f %.6f\n", ++n, (i + b[0]) / cells,
                                     (j + b[1]) / cells, (k + b[2]) / cells);
        if (std::fclose(f) != 0)
            std::abort();
    }
    return p;
}

std::string Beside(const std::string &program)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string exe = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./x");
    return exe.substr(0, exe.rfind('/') + 1) + program;
}

void KivoaInfo(benchmark::State &state)
{
    const std::string command = Beside("kivoa-info") + " " + P1File(static_cast<int>(state.range(0))) + " >/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("kivoa-info failed");
            break;
        }
}

void AseRead(benchmark::State &state)
{
    const std::string command = "/usr/bin/python3 -W ignore -c \"import sys, time, ase.io; t = time.perf_counter(); "
                                "n = len(ase.io.read(sys.argv[1], format='cif')); "
                                "print(time.perf_counter() - t, n)\" " + P1File(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        FILE *pipe = popen(command.c_str(), "r");
        double seconds = -1.0, atoms = 0.0;
        const bool read = pipe != nullptr && std::fscanf(pipe, "%lf %lf", &seconds, &atoms) == 2;
        if (pipe != nullptr)
            pclose(pipe);
        if (!read || seconds < 0.0) {
            state.SkipWithError("ASE did not read the file");
            break;
        }
        state.SetIterationTime(seconds);
        state.counters["atoms"] = atoms;
    }
}

} // namespace

BENCHMARK(KivoaInfo)->Arg(13)->Arg(29)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(AseRead)->Arg(13)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

BENCHMARK_MAIN();
