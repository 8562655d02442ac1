// kivoa-info on a generated P1 CIF of about 10^5 atoms (a copper supercell, every atom listed),
// the whole process as a user runs it, against ASE's CIF reader of the same file in the same run
// (its read alone, timed inside Python, without the interpreter's start). The file has no
// occupancy column, on which ASE's reader compares every site with every other. It is written
// once to $TMPDIR (or /tmp) and reused.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int CELLS = 29;      // per edge: 29^3 cells of 4 atoms, 97 556 atoms
constexpr double SIDE = 3.615; // angstrom, copper's fcc cell

std::string Folder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp != nullptr ? tmp : "/tmp";
}

const std::string &P1File()
{
    static const std::string path = [] {
        const std::string p = Folder() + "/kivoa-bench-cu-p1.cif";
        struct stat st;
        if (stat(p.c_str(), &st) == 0)
            return p;
        FILE *f = std::fopen(p.c_str(), "w");
        if (f == nullptr)
            std::abort();
        const double a = SIDE * CELLS;
        std::fprintf(f, "data_cu_supercell\n_cell_length_a %.4f\n_cell_length_b %.4f\n_cell_length_c %.4f\n"
                        "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n"
                        "_space_group_name_H-M_alt 'P 1'\nloop_\n_space_group_symop_operation_xyz\n'x, y, z'\n"
                        "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n"
                        "_atom_site_fract_y\n_atom_site_fract_z\n",
                     a, a, a);
        const double basis[4][3] = {{0, 0, 0}, {0.5, 0.5, 0}, {0.5, 0, 0.5}, {0, 0.5, 0.5}};
        int n = 0;
        for (int i = 0; i < CELLS; ++i)
            for (int j = 0; j < CELLS; ++j)
                for (int k = 0; k < CELLS; ++k)
                    for (const auto &b : basis)
                        std::fprintf(f, "Cu%d Cu %.6f %.6f %.6f\n", ++n, (i + b[0]) / CELLS,
                                     (j + b[1]) / CELLS, (k + b[2]) / CELLS);
        if (std::fclose(f) != 0)
            std::abort();
        return p;
    }();
    return path;
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
    const std::string command = Beside("kivoa-info") + " " + P1File() + " >/dev/null";
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
                                "print(time.perf_counter() - t, n)\" " + P1File();
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

BENCHMARK(KivoaInfo)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
// One read: ASE takes long on a file of this size.
BENCHMARK(AseRead)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

BENCHMARK_MAIN();
