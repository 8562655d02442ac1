// Volumetric files: a generated 200^3 CHGCAR and a two-block (spin-polarised) 240^3 one, parsed
// by Kivoa, by pymatgen's Chgcar and by ASE's VaspChargeDensity in the same run, each in a
// process of its own (parse time inside it, peak memory from its rusage), warm cache; and the
// isosurface of the 200^3 grid beside scikit-image's marching_cubes on the same array and
// level. The files are written once to $TMPDIR (or /tmp) and reused.
//
// usage: bench_volume            (the whole comparison)
//        bench_volume --surface  (the isosurfaces only)
//        bench_volume --read F   (one read of F: prints its seconds; used by the comparison)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cchgcar.h"
#include "cisosurface.h"

extern char **environ;

namespace {

constexpr double EDGE = 10.0;     // cubic cell (angstrom)
constexpr double SIGMA = 0.6;     // width of each atom's density (angstrom)
constexpr double LEVEL = 0.05;    // isovalue (electrons per cubic angstrom)
constexpr int RUNS = 3;           // Kivoa's runs per measure; the median is reported

std::string Folder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp != nullptr ? tmp : "/tmp";
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor seconds this process has used, on all its threads.
double ProcessorSeconds()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// Eight atoms of rock salt, each a Gaussian of 8 electrons, periodic.
double Density(const glm::dvec3 &p, double electrons)
{
    double rho = 0.0;
    for (int a = 0; a < 8; ++a) {
        const glm::dvec3 site = EDGE * 0.5 * glm::dvec3(a & 1, (a >> 1) & 1, (a >> 2) & 1) +
                                glm::dvec3((a & 1) ^ ((a >> 1) & 1) ^ ((a >> 2) & 1) ? 0.3 : 0.0);
        glm::dvec3 d = p - site;
        d -= EDGE * glm::round(d / EDGE);
        rho += std::exp(-glm::dot(d, d) / (2 * SIGMA * SIGMA));
    }
    return rho * electrons / std::pow(2 * M_PI * SIGMA * SIGMA, 1.5);
}

// A VASP-style number, mantissa below 1: " 0.12345678901E+01".
void AppendValue(std::string &out, double v)
{
    char text[32];
    int e = v == 0.0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(v)))) + 1;
    double m = v / std::pow(10.0, e);
    if (std::fabs(m) >= 1.0) {
        m /= 10;
        ++e;
    }
    out.append(text, static_cast<size_t>(std::snprintf(text, sizeof text, " %.11fE%+03d", m, e)));
}

// n^3 points, `blocks` blocks (the second a magnetisation), written unless already there.
std::string Chgcar(int n, int blocks)
{
    const std::string path = Folder() + "/CHGCAR.kivoa-bench-" + std::to_string(n) + "-" + std::to_string(blocks);
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return path;
    std::printf("writing %s\n", path.c_str());
    FILE *f = std::fopen((path + ".part").c_str(), "w");
    std::fprintf(f, "rock salt\n1.0\n%.6f 0 0\n0 %.6f 0\n0 0 %.6f\nNa Cl\n4 4\nDirect\n", EDGE, EDGE, EDGE);
    for (int a = 0; a < 8; ++a)
        std::fprintf(f, "%.6f %.6f %.6f\n", 0.5 * (a & 1) + 0.03 * (((a & 1) ^ ((a >> 1) & 1) ^ ((a >> 2) & 1))),
                     0.5 * ((a >> 1) & 1) + 0.03 * (((a & 1) ^ ((a >> 1) & 1) ^ ((a >> 2) & 1))),
                     0.5 * ((a >> 2) & 1) + 0.03 * (((a & 1) ^ ((a >> 1) & 1) ^ ((a >> 2) & 1))));
    const double volume = EDGE * EDGE * EDGE;
    std::string line;
    for (int b = 0; b < blocks; ++b) {
        std::fprintf(f, "\n%5d%5d%5d\n", n, n, n);
        size_t k = 0;
        for (int z = 0; z < n; ++z)
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) {
                    AppendValue(line, volume * Density(EDGE * glm::dvec3(x, y, z) / double(n), b == 0 ? 8.0 : 1.0));
                    if (++k % 5 == 0 || k == size_t(n) * n * n) {
                        line += '\n';
                        std::fputs(line.c_str(), f);
                        line.clear();
                    }
                }
        std::fprintf(f, "augmentation occupancies   1  4\n  0.1 0.2 0.3 0.4\n");
    }
    std::fclose(f);
    std::rename((path + ".part").c_str(), path.c_str());
    return path;
}

struct SRun {
    double seconds = 0.0, processor = 0.0, triangles = 0.0;
    long peak_kb = 0;
};

// Runs a program; its output starts with the seconds it measured (then, for a surface, its
// processor seconds and triangles).
SRun Spawn(std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = Folder() + "/kivoa-bench-volume-out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    SRun run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        struct rusage usage;
        wait4(pid, &status, 0, &usage);
        run.peak_kb = usage.ru_maxrss;
        if (FILE *f = std::fopen(out.c_str(), "r")) {
            if (std::fscanf(f, "%lf %lf %lf", &run.seconds, &run.processor, &run.triangles) < 1)
                run.seconds = NAN;
            std::fclose(f);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

SRun Python(const std::string &code, const std::string &path)
{
    return Spawn({"/usr/bin/python3", "-W", "ignore", "-c",
                  "import sys, time\n" + code + "\nprint(time.perf_counter() - t)", path});
}

const char *const PYMATGEN = "from pymatgen.io.vasp.outputs import Chgcar\n"
                             "t = time.perf_counter(); Chgcar.from_file(sys.argv[1])";
const char *const ASE = "from ase.calculators.vasp import VaspChargeDensity\n"
                        "t = time.perf_counter(); VaspChargeDensity(sys.argv[1])";

SRun Median(std::vector<SRun> runs)
{
    std::sort(runs.begin(), runs.end(), [](const SRun &a, const SRun &b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
}

void CompareReads(const std::string &self, const std::string &path, size_t floats)
{
    struct stat st;
    ::stat(path.c_str(), &st);
    std::vector<SRun> kivoa;
    Spawn({self, "--read", path}); // warms the cache
    for (int r = 0; r < RUNS; ++r)
        kivoa.push_back(Spawn({self, "--read", path}));
    const SRun k = Median(kivoa), p = Python(PYMATGEN, path), a = Python(ASE, path);
    const double floor_kb = (floats * 4.0 + double(st.st_size)) / 1024.0;
    std::printf("%s (%.0f MB)\n", path.c_str(), st.st_size / 1e6);
    std::printf("  kivoa     %7.3f s  peak %7.0f MB\n", k.seconds, k.peak_kb / 1024.0);
    std::printf("  pymatgen  %7.3f s  peak %7.0f MB  (%.1fx kivoa's time)\n", p.seconds, p.peak_kb / 1024.0,
                p.seconds / k.seconds);
    std::printf("  ase       %7.3f s  peak %7.0f MB  (%.1fx kivoa's time)\n", a.seconds, a.peak_kb / 1024.0,
                a.seconds / k.seconds);
    std::printf("  kivoa's peak / (float32 grid + file pages) = %.2f\n", k.peak_kb / floor_kb);
}

void CompareSurfaces(const std::string &path)
{
    CChgcar chgcar;
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> index;
    if (!chgcar.ReadFile("", path, xyz, index)) {
        std::printf("%s\n", chgcar.error_message.c_str());
        return;
    }
    const CVolumeGrid &grid = chgcar.grid;
    std::vector<double> seconds, processor;
    CIsosurface surface;
    for (int r = 0; r < RUNS; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const double used = ProcessorSeconds();
        surface.Extract(grid, 0, static_cast<float>(LEVEL), false);
        seconds.push_back(Seconds(start));
        processor.push_back(ProcessorSeconds() - used);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(processor.begin(), processor.end());
    // The same array for scikit-image: axis 0 of numpy's C order is the slowest, z.
    const std::string npy = Folder() + "/kivoa-bench-volume.npy";
    FILE *f = std::fopen(npy.c_str(), "wb");
    std::string header = "{'descr': '<f4', 'fortran_order': False, 'shape': (" + std::to_string(grid.u_counts.z) +
                         ", " + std::to_string(grid.u_counts.y) + ", " + std::to_string(grid.u_counts.x) + "), }";
    header.append(64 - (10 + header.size() + 1) % 64, ' ');
    header += '\n';
    const unsigned short length = static_cast<unsigned short>(header.size());
    std::fwrite("\x93NUMPY\x01\x00", 1, 8, f);
    std::fwrite(&length, 2, 1, f);
    std::fwrite(header.data(), 1, header.size(), f);
    std::fwrite(grid.v_blocks[0].v_value.data(), 4, grid.PointCount(), f);
    std::fclose(f);
    const SRun sk = Python("import numpy\nfrom skimage.measure import marching_cubes\n"
                           "v = numpy.load(sys.argv[1]); marching_cubes(v, " + std::to_string(LEVEL) +
                               ")\nt = time.perf_counter(); c = time.process_time()\n"
                               "verts, faces, n, _ = marching_cubes(v, " + std::to_string(LEVEL) +
                               ")\nprint(time.perf_counter() - t, time.process_time() - c, len(faces))\nsys.exit()",
                           npy);
    std::printf("isosurface of %s at %.3f e/A^3\n", path.c_str(), LEVEL);
    std::printf("  kivoa         %7.3f s  (processor %.3f s; %zu triangles, %.1f A^2)\n", seconds[RUNS / 2],
                processor[RUNS / 2], surface.m_triangle.size(), surface.Area());
    std::printf("  scikit-image  %7.3f s  (processor %.3f s; %.0f triangles)  %.1fx kivoa's time\n", sk.seconds,
                sk.processor, sk.triangles, sk.seconds / seconds[RUNS / 2]);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--read") {
        CChgcar chgcar;
        std::vector<glm::dvec3> xyz;
        std::vector<uint32_t> index;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = chgcar.ReadFile("", argv[2], xyz, index);
        std::printf("%.6f\n", ok ? Seconds(start) : NAN);
        std::fflush(stdout);
        std::_Exit(ok ? 0 : 1);
    }
    const std::string self = argv[0][0] == '/' ? argv[0] : std::string(getcwd(nullptr, 0)) + "/" + argv[0];
    const std::string small = Chgcar(200, 1);
    std::printf("%u cores\n", std::thread::hardware_concurrency());
    if (argc < 2 || std::string(argv[1]) != "--surface") {
        const std::string large = Chgcar(240, 2);
        CompareReads(self, small, size_t(200) * 200 * 200);
        CompareReads(self, large, size_t(2) * 240 * 240 * 240);
    }
    CompareSurfaces(small);
    return 0;
}
