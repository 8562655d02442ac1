// kivoa-info on a generated box of about 10^6 atoms of water, as XYZ, as standard PDB records and
// as a POSCAR: the whole process, as a user runs it (parse, bonds, composition, JSON), with its
// peak memory; the in-process parts; and the floor of a load on this machine, the file's bytes
// read and the bond search alone. The boxes are written once to $TMPDIR (or /tmp) and reused.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cmodel.h"

extern char **environ;

namespace {

constexpr int MOLECULES = 333334; // 1 000 002 atoms
constexpr int GRID = 70;          // molecules per edge of the lattice they sit on
constexpr double SPACING = 3.1;   // angstrom, about the density of liquid water
constexpr double OH = 0.9572;
constexpr double HOH = 104.52 * 3.14159265358979323846 / 180.0;

std::string Folder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp != nullptr ? tmp : "/tmp";
}

// A unit vector from a small deterministic generator.
struct SRandom {
    uint64_t state = 0x2545F4914F6CDD1DULL;
    double Next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    }
    glm::dvec3 Direction()
    {
        const double z = 2.0 * Next() - 1.0, phi = 2.0 * 3.14159265358979323846 * Next();
        const double r = std::sqrt(1.0 - z * z);
        return {r * std::cos(phi), r * std::sin(phi), z};
    }
};

// The molecules of the box: each O, H, H with its position, in order.
template <class F>
void ForEachWaterAtom(F &&atom)
{
    SRandom random;
    for (int m = 0; m < MOLECULES; ++m) {
        const glm::dvec3 o(SPACING * (m % GRID), SPACING * (m / GRID % GRID),
                           SPACING * (m / (GRID * GRID)));
        const glm::dvec3 u = random.Direction();
        glm::dvec3 v = glm::normalize(glm::cross(u, random.Direction()));
        atom(m, "O", o);
        atom(m, "H", o + OH * u);
        atom(m, "H", o + OH * (std::cos(HOH) * u + std::sin(HOH) * v));
    }
}

void WriteXyz(FILE *f)
{
    std::fprintf(f, "%d\nwater box, %d molecules\n", 3 * MOLECULES, MOLECULES);
    ForEachWaterAtom([f](int, const char *symbol, const glm::dvec3 &p) {
        std::fprintf(f, "%s %.6f %.6f %.6f\n", symbol, p.x, p.y, p.z);
    });
}

// Standard HETATM records: serials and residue numbers wrap in their five and four columns.
void WritePdb(FILE *f)
{
    std::fprintf(f, "HEADER    WATER BOX, %d MOLECULES\n", MOLECULES);
    int serial = 0;
    ForEachWaterAtom([f, &serial](int m, const char *symbol, const glm::dvec3 &p) {
        const char *name = symbol[0] == 'O' ? " O  " : " H  ";
        serial = serial % 99999 + 1;
        std::fprintf(f, "HETATM%5d %s HOH A%4d    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n",
                     serial, name, m % 9999 + 1, p.x, p.y, p.z, symbol);
    });
    std::fprintf(f, "END\n");
}

// Cartesian positions, the oxygens first (a POSCAR lists its atoms by species), in a cell round
// the lattice of molecules.
void WritePoscar(FILE *f)
{
    const int layers = (MOLECULES + GRID * GRID - 1) / (GRID * GRID);
    std::fprintf(f, "water box, %d molecules\n1.0\n", MOLECULES);
    std::fprintf(f, "%.6f 0 0\n0 %.6f 0\n0 0 %.6f\n", SPACING * GRID, SPACING * GRID, SPACING * layers);
    std::fprintf(f, "O H\n%d %d\nCartesian\n", MOLECULES, 2 * MOLECULES);
    for (const char *species : {"O", "H"})
        ForEachWaterAtom([f, species](int, const char *symbol, const glm::dvec3 &p) {
            if (std::strcmp(symbol, species) == 0)
                std::fprintf(f, "%.6f %.6f %.6f\n", p.x, p.y, p.z);
        });
}

// The box as XYZ (".xyz"), PDB (".pdb") or POSCAR (".vasp"), written once.
const std::string &WaterBox(const std::string &extension)
{
    static const struct {
        const char *extension;
        void (*write)(FILE *);
    } kinds[] = {{".xyz", WriteXyz}, {".pdb", WritePdb}, {".vasp", WritePoscar}};
    static std::string paths[std::size(kinds)];
    size_t k = 0;
    while (kinds[k].extension != extension)
        ++k;
    std::string &path = paths[k];
    if (!path.empty())
        return path;
    const std::string p = Folder() + "/kivoa-bench-water-1e6" + extension;
    struct stat st;
    if (stat(p.c_str(), &st) != 0) {
        FILE *f = std::fopen(p.c_str(), "w");
        if (f == nullptr)
            std::abort();
        kinds[k].write(f);
        if (std::fclose(f) != 0)
            std::abort();
    }
    path = p;
    return path;
}

std::string Beside(const std::string &program)
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
    return dir.substr(0, dir.rfind('/') + 1) + program;
}

void KivoaInfoProcess(benchmark::State &state, const std::string &extension)
{
    const std::string program = Beside("kivoa-info");
    const std::string file = WaterBox(extension);
    long peak_kb = 0;
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char *argv[] = {const_cast<char *>(program.c_str()), const_cast<char *>(file.c_str()),
                        nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start kivoa-info");
            break;
        }
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        struct rusage usage;
        wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("kivoa-info failed");
            break;
        }
        peak_kb = std::max(peak_kb, usage.ru_maxrss);
    }
    state.counters["peak_MB"] = static_cast<double>(peak_kb) / 1024.0;
}

void ReadStructureFile(benchmark::State &state, const std::string &extension, int format)
{
    const std::string file = WaterBox(extension);
    for (auto _ : state) {
        CModel model;
        if (!model.ReadStructureFile(Folder(), file, format)) {
            state.SkipWithError(model.error_message.c_str());
            break;
        }
        state.counters["bonds"] = model.i_number_of_bonds;
    }
}

template <class TReader>
void Parse(benchmark::State &state, const std::string &extension)
{
    const std::string file = WaterBox(extension);
    for (auto _ : state) {
        TReader reader;
        std::vector<glm::dvec3> xyz;
        std::vector<uint32_t> index;
        if (!reader.ReadFile(Folder(), file, xyz, index)) {
            state.SkipWithError(reader.error_message.c_str());
            break;
        }
        benchmark::DoNotOptimize(xyz.data());
    }
}

void ParseXyz(benchmark::State &state) { Parse<CXyz>(state, ".xyz"); }
void ParsePdb(benchmark::State &state) { Parse<CPdb>(state, ".pdb"); }
void ParsePoscar(benchmark::State &state) { Parse<CVasp>(state, ".vasp"); }

// The floor, part one: the file's bytes read from the page cache into memory of their size,
// nothing more.
void FloorReadBytes(benchmark::State &state, const std::string &extension)
{
    const std::string file = WaterBox(extension);
    struct stat st;
    if (stat(file.c_str(), &st) != 0) {
        state.SkipWithError("cannot stat the box");
        return;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    for (auto _ : state) {
        const std::unique_ptr<char[]> text(new char[size]);
        const int fd = open(file.c_str(), O_RDONLY);
        for (size_t done = 0; done < size;) {
            const ssize_t n = read(fd, text.get() + done, size - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        close(fd);
        benchmark::DoNotOptimize(text.get());
    }
}

// The floor, part two: the bond search alone, on the atoms of the file already in the model.
void FloorBondSearch(benchmark::State &state, const std::string &extension, int format)
{
    CModel model;
    if (!model.ReadStructureFile(Folder(), WaterBox(extension), format)) {
        state.SkipWithError(model.error_message.c_str());
        return;
    }
    for (auto _ : state)
        model.UpdateBonds();
    state.counters["bonds"] = model.i_number_of_bonds;
}

} // namespace

BENCHMARK_CAPTURE(KivoaInfoProcess, xyz, ".xyz")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(KivoaInfoProcess, pdb, ".pdb")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(KivoaInfoProcess, poscar, ".vasp")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(ReadStructureFile, xyz, ".xyz", INPUT_FILE_TYPE_XYZ)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(ReadStructureFile, pdb, ".pdb", INPUT_FILE_TYPE_PDB)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(ReadStructureFile, poscar, ".vasp", INPUT_FILE_TYPE_VSP)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ParseXyz)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ParsePdb)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ParsePoscar)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(FloorReadBytes, xyz, ".xyz")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(FloorReadBytes, pdb, ".pdb")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(FloorReadBytes, poscar, ".vasp")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(FloorBondSearch, xyz, ".xyz", INPUT_FILE_TYPE_XYZ)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(FloorBondSearch, poscar, ".vasp", INPUT_FILE_TYPE_VSP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_MAIN();
