// Trajectories: time and memory from Open to the first frame of an 18-atom XYZ run of 10^3,
// 10^4 and 10^5 frames and of a PDB of 10^3 and 10^4 models of 18 atoms, with a step to a model
// at random; stepping to frames at random and playing frames in order (read, bonds and drawn),
// with where a step goes, for a 10^4-atom run; the peak memory of saving a run of 10^5 frames of
// 64 atoms (about 200 MB) onto itself, its text made whole first as saves did before, and streamed.
// Needs an X display for the playback: xvfb-run -a -s "-screen 0 1280x800x24" ./bench_trajectory
//   ./bench_trajectory open FRAMES   only the first part, for one XYZ run of FRAMES frames
//   ./bench_trajectory save [FRAMES] only the saves
//   ./bench_trajectory play          only the playback

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "cdiskfile.h"
#include "cframeindex.h"
#include "../tests/structure_builder.h"
#include "bench_window.h"
#include "elements.h"

namespace {

const int WIDTH = 1280;
const int HEIGHT = 720;
const size_t SMALL_ATOMS = 18;
const size_t LARGE_ATOMS = 10000;
const uint64_t LARGE_FRAMES = 40;
const int STEPS = 40;
const size_t SAVE_ATOMS = 64;
const uint64_t SAVE_FRAMES = 100000;

std::string TempPath(const std::string &name)
{
    const char *tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp") + "/kivoa_bench_" + name;
}

// A water box shaken a little in every frame, as XYZ frames or as PDB models.
bool WriteRun(size_t atoms, uint64_t frames, const std::string &path, bool is_pdb = false)
{
    FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr)
        return false;
    const Atoms water = WaterBox(atoms);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> shake(-0.05, 0.05);
    for (uint64_t k = 0; k < frames; ++k) {
        if (is_pdb)
            std::fprintf(f, "MODEL     %4llu\n", static_cast<unsigned long long>(k + 1));
        else
            std::fprintf(f, "%zu\nframe %llu\n", water.size(), static_cast<unsigned long long>(k));
        for (size_t i = 0; i < water.size(); i++) {
            const glm::dvec3 p(water.xyz[i].x + shake(rng), water.xyz[i].y + shake(rng), water.xyz[i].z + shake(rng));
            if (is_pdb)
                std::fprintf(f, "ATOM  %5zu  %-3s HOH A%4zu    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n", i + 1,
                             SymbolOf(water.index[i]), i / 3 + 1, p.x, p.y, p.z, SymbolOf(water.index[i]));
            else
                std::fprintf(f, "%s %.6f %.6f %.6f\n", SymbolOf(water.index[i]), p.x, p.y, p.z);
        }
        if (is_pdb)
            std::fprintf(f, "ENDMDL\n");
    }
    if (is_pdb)
        std::fprintf(f, "END\n");
    return std::fclose(f) == 0;
}

// Resident memory of the process by kind (kB): "RssAnon" (its own) or "RssFile" (mapped files).
long StatusKb(const char *key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + std::string(key).size() + 1, nullptr, 10);
    return -1;
}

int OpenFirstFrame(uint64_t frames, bool is_pdb = false)
{
    const std::string path = TempPath("run_" + std::to_string(frames) + (is_pdb ? ".pdb" : ".xyz"));
    if (!WriteRun(SMALL_ATOMS, frames, path, is_pdb))
        return 1;
    const long before = StatusKb("RssAnon");
    CModel model;
    const Clock::time_point open = Clock::now();
    const bool ok = model.ReadStructureFile("/tmp", path, is_pdb ? INPUT_FILE_TYPE_PDB : INPUT_FILE_TYPE_XYZ);
    const double ms = MillisecondsSince(open);
    const long anon = StatusKb("RssAnon") - before;
    if (!ok) {
        std::remove(path.c_str());
        std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), model.error_message.c_str());
        return 1;
    }
    std::printf("%7llu %s of %zu atoms: first frame in %6.1f ms, memory %6ld kB (%.1f bytes per frame), "
                "file pages resident %ld kB",
                static_cast<unsigned long long>(model.FrameCount()), is_pdb ? "models" : "frames", SMALL_ATOMS, ms,
                anon, 1024.0 * static_cast<double>(anon) / static_cast<double>(frames), StatusKb("RssFile"));
    std::mt19937 rng(5);
    const Clock::time_point steps = Clock::now();
    for (int s = 0; s < STEPS; ++s)
        model.ShowFrame(rng() % model.FrameCount());
    std::printf("; a step to a frame at random %.2f ms\n", MillisecondsSince(steps) / STEPS);
    std::remove(path.c_str());
    return 0;
}


// Runs `job` in a child process, so that one run's memory stays out of the next one's figures.
template <class F> void InChild(F job)
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        const int result = job();
        std::fflush(stdout);
        _exit(result);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

// In a child process each.
void OpenFirstFrames()
{
    const struct {
        uint64_t frames;
        bool is_pdb;
    } runs[] = {{1000, false}, {10000, false}, {100000, false}, {1000, true}, {10000, true}};
    for (const auto &run : runs)
        InChild([&] { return OpenFirstFrame(run.frames, run.is_pdb); });
}

struct SSaveRun {
    const char *name;
    bool is_whole;
    bool deletes;
    bool is_linked;
};

// The save as it was before it streamed: the whole text made in memory, then written.
bool SaveWhole(const std::string &path, std::string &error)
{
    CFrameIndex index;
    if (!index.Open(path, EFrameLayout::XYZ)) {
        error = index.error_message;
        return false;
    }
    std::string text;
    for (uint64_t k = 0; k < index.FrameCount(); ++k)
        text.append(index.FrameBytes(k));
    text.append(index.Tail());
    return CDiskFile::Replace(path, text, error);
}

// One save of the run at `path` onto itself; the peak resident memory (its own and the file's
// pages) is counted from the moment before the save.
int SaveOnce(const std::string &path, const SSaveRun &run)
{
    CModel model;
    if (!run.is_whole && !model.ReadStructureFile("/tmp", path, INPUT_FILE_TYPE_XYZ))
        return 1;
    if (run.deletes)
        model.DeleteAtomIndex(0);
    const std::string other = path + ".link";
    if (run.is_linked && link(path.c_str(), other.c_str()) != 0)
        return 1;
    // Writing 5 resets the peak the kernel keeps.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKb("VmRSS");
    const Clock::time_point start = Clock::now();
    std::string error;
    const bool ok = run.is_whole ? SaveWhole(path, error) : model.SaveStructureFile("/tmp", path, INPUT_FILE_TYPE_XYZ);
    const double seconds = MillisecondsSince(start) / 1000.0;
    if (!ok)
        std::fprintf(stderr, "%s: %s\n", run.name, (run.is_whole ? error : model.error_message).c_str());
    else
        std::printf("  %-44s %6.1f s, peak resident memory %+7.1f MB over the %.1f MB before it\n", run.name,
                    seconds, static_cast<double>(StatusKb("VmHWM") - before) / 1024.0,
                    static_cast<double>(before) / 1024.0);
    std::remove(other.c_str());
    return ok ? 0 : 1;
}

int SaveRuns(uint64_t frames)
{
    const std::string path = TempPath("save.xyz");
    if (!WriteRun(SAVE_ATOMS, frames, path))
        return 1;
    struct stat st;
    stat(path.c_str(), &st);
    std::printf("saving %llu frames of %zu atoms (%.0f MB) onto the file:\n", static_cast<unsigned long long>(frames),
                SAVE_ATOMS, static_cast<double>(st.st_size) / (1 << 20));
    const SSaveRun runs[] = {
        {"whole text first (as before), unedited", true, false, false},
        {"streamed, unedited", false, false, false},
        {"streamed, an atom deleted from every frame", false, true, false},
        {"streamed, unedited, hard-linked (in place)", false, false, true},
    };
    for (const SSaveRun &run : runs)
        InChild([&] { return SaveOnce(path, run); });
    std::remove(path.c_str());
    return 0;
}

// Mean milliseconds of `step(k)` over the frames in order, wall clock and the process's CPU time
// (every thread, the renderer's included).
struct SMean {
    double wall, cpu;
};
template <class F> SMean MeanOverFrames(F step)
{
    const Clock::time_point start = Clock::now();
    const std::clock_t cpu = std::clock();
    for (uint64_t k = 0; k < LARGE_FRAMES; ++k)
        step(k);
    const double frames = static_cast<double>(LARGE_FRAMES);
    return {MillisecondsSince(start) / frames,
            1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC / frames};
}

// Where a step to the next frame goes: the frame read from the file (alone, on another
// trajectory of the file), the rest of the model's refresh and within it the bond search, the
// upload to the GPU and the drawing.
void StepBreakdown(CDisplay &display, const std::string &path)
{
    CTrajectory frames;
    CXyz reader;
    std::vector<glm::dvec3> xyz;
    std::vector<uint32_t> elements;
    frames.Open(path, EFrameLayout::XYZ);
    const SMean read = MeanOverFrames([&](uint64_t k) { frames.ReadFrame(k, reader, xyz, elements); });
    const SMean bonds = MeanOverFrames([&](uint64_t) { display.UpdateBonds(); });
    const SMean step = MeanOverFrames([&](uint64_t k) { display.StepToFrame((k + 1) % LARGE_FRAMES); });
    const SMean played = MeanOverFrames([&](uint64_t k) {
        display.StepToFrame((k + 1) % LARGE_FRAMES);
        DrawFrame(display, WIDTH, HEIGHT);
    });
    const SMean draw = MeanOverFrames([&](uint64_t) { DrawFrame(display, WIDTH, HEIGHT); });
    std::printf("a step to the next frame, ms (wall / CPU): read %.1f / %.1f, the rest of the refresh %.1f / %.1f "
                "(of it bonds %.1f / %.1f), upload %.1f / %.1f, drawing %.1f / %.1f\n",
                read.wall, read.cpu, step.wall - read.wall, step.cpu - read.cpu, bonds.wall, bonds.cpu,
                played.wall - step.wall - draw.wall, played.cpu - step.cpu - draw.cpu, draw.wall, draw.cpu);
}

int StepAndPlay()
{
    const std::string path = TempPath("run_large.xyz");
    GLFWwindow *window = WriteRun(LARGE_ATOMS, LARGE_FRAMES, path) ? OpenBenchWindow(WIDTH, HEIGHT) : nullptr;
    if (window == nullptr)
        return 1;
    {
        CDisplay display;
        display.is_show_bond = true;
        if (!display.ReadFile("/tmp", path))
            return 1;
        DrawFrame(display, WIDTH, HEIGHT);
        std::mt19937 rng(11);
        double worst = 0.0, total = 0.0;
        for (int s = 0; s < STEPS; ++s) {
            const Clock::time_point step = Clock::now();
            display.StepToFrame(rng() % LARGE_FRAMES);
            const double ms = MillisecondsSince(step);
            worst = std::max(worst, ms);
            total += ms;
        }
        std::printf("%zu atoms, %llu frames: a step to a frame at random takes %.1f ms on average, %.1f ms at most "
                    "(read and bonds)\n",
                    display.v_atom_index.size(), static_cast<unsigned long long>(LARGE_FRAMES), total / STEPS, worst);
        const SMean play = MeanOverFrames([&](uint64_t k) {
            display.StepToFrame(k);
            DrawFrame(display, WIDTH, HEIGHT);
        });
        const SMean draw = MeanOverFrames([&](uint64_t) { DrawFrame(display, WIDTH, HEIGHT); });
        std::printf("playback: %.1f frames per second (read, bonds and drawn at %dx%d; CPU %.1f ms a frame); the "
                    "same frame drawn again: %.1f frames per second (CPU %.1f ms)\n",
                    1000.0 / play.wall, WIDTH, HEIGHT, play.cpu, 1000.0 / draw.wall, draw.cpu);
        StepBreakdown(display, path);
        display.Delete();
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    std::remove(path.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "open")
        return OpenFirstFrame(std::strtoull(argv[2], nullptr, 10));
    if (argc == 2 && std::string(argv[1]) == "play")
        return StepAndPlay();
    if (argc >= 2 && std::string(argv[1]) == "save")
        return SaveRuns(argc == 3 ? std::strtoull(argv[2], nullptr, 10) : SAVE_FRAMES);
    OpenFirstFrames();
    SaveRuns(SAVE_FRAMES);
    return StepAndPlay();
}
