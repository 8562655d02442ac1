// Time from Open to the first picture for a water box (10^6 atoms by default) read from an XYZ file
// (a large structure's first picture is the quick one, the full one follows in the next frame), the
// frames while the structure turns, quick (moving under the hand) and full (at rest between steps;
// with and without leaving out what others hide, and the share drawn),
// the process's peak memory, and where the time to the first picture goes (each part timed again
// on its own after the measurement).
// Needs an X display: xvfb-run -a -s "-screen 0 1280x800x24" ./bench_open_frame [atoms]
//   ./bench_open_frame --write ATOMS FILE   writes the water box the benchmarks draw as XYZ

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../tests/structure_builder.h"
#include "bench_window.h"
#include "elements.h"

namespace {

const int WIDTH = 1280;
const int HEIGHT = 720;
const int TURNS = 5;
const int QUICK_TURNS = 20;

bool WriteWater(size_t atoms, const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr)
        return false;
    const Atoms water = WaterBox(atoms);
    std::fprintf(f, "%zu\nwater box\n", water.size());
    for (size_t i = 0; i < water.size(); i++)
        std::fprintf(f, "%s %.6f %.6f %.6f\n", SymbolOf(water.index[i]), water.xyz[i].x, water.xyz[i].y, water.xyz[i].z);
    return std::fclose(f) == 0;
}

// In a child process, so that the generator's memory stays out of the viewer's peak.
bool WriteWaterApart(size_t atoms, const std::string &path)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(WriteWater(atoms, path) ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double PeakMegabytes()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

template <typename Step>
double Milliseconds(Step step)
{
    const Clock::time_point start = Clock::now();
    step();
    return MillisecondsSince(start);
}

// One frame of a view turned to `angle`, drawn as the viewer draws it while the view moves
// (quick) or at rest (full).
void TurnedFrame(CDisplay &display, float angle, bool moving)
{
    display.SetTrackRotation(angle, 0.5f);
    if (moving)
        display.NoteViewMoved();
    DrawFrame(display, WIDTH, HEIGHT);
}

// Milliseconds per frame of `turns` frames of a turning view.
double TurningFrame(CDisplay &display, int turns, bool moving)
{
    const Clock::time_point start = Clock::now();
    for (int k = 1; k <= turns; k++)
        TurnedFrame(display, 0.05f * static_cast<float>(k), moving);
    return MillisecondsSince(start) / turns;
}

// The parts of Open and the first picture: the reader alone, the bond search (on as many threads as
// pay, and on one), the atom records' build and upload, and the drawing of the quick picture.
void PrintBreakdown(CDisplay &display, const std::string &folder, const std::string &path, double read_ms,
                    double first_picture_ms)
{
    const double reader_ms = Milliseconds([&] {
        CXyz reader;
        std::vector<glm::dvec3> xyz;
        std::vector<uint32_t> elements;
        reader.ReadFile(folder, path, xyz, elements);
    });
    const double bonds_ms = Milliseconds([&] { display.UpdateBonds(); });
    display.u_search_threads = 1;
    const double serial_bonds_ms = Milliseconds([&] { display.UpdateBonds(); });
    display.u_search_threads = 0;
    // After a full frame, so that only the second quick picture builds records.
    TurnedFrame(display, 0.0f, false);
    const double draw_ms = Milliseconds([&] { TurnedFrame(display, 0.5f, true); });
    display.StructureChanged();
    const double upload_ms = Milliseconds([&] { TurnedFrame(display, 0.0f, true); }) - draw_ms;
    std::printf("open: reader %.0f ms, bond search %.0f ms (%.0f ms on one thread), rest of the load %.0f ms\n",
                reader_ms, bonds_ms, serial_bonds_ms, read_ms - reader_ms - bonds_ms);
    std::printf("first picture %.0f ms: atom records built and uploaded %.0f ms, quick picture drawn %.0f ms\n",
                first_picture_ms - read_ms, upload_ms, draw_ms);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "--write")
        return WriteWater(std::strtoul(argv[2], nullptr, 10), argv[3]) ? 0 : 1;
    const size_t atoms = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    const char *tmp = std::getenv("TMPDIR");
    const std::string folder = tmp != nullptr ? tmp : "/tmp";
    const std::string path = folder + "/kivoa_open_frame_" + std::to_string(atoms) + ".xyz";
    if (!WriteWaterApart(atoms, path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    GLFWwindow *window = OpenBenchWindow(WIDTH, HEIGHT);
    if (window == nullptr)
        return 1;
    {
        CDisplay display;
        display.is_show_bond = true;
        display.SetAtomScale(true);
        const Clock::time_point open = Clock::now();
        if (!display.ReadFile(folder, path)) {
            std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), display.error_message.c_str());
            return 1;
        }
        const double read_ms = MillisecondsSince(open);
        const double read_peak = PeakMegabytes();
        DrawFrame(display, WIDTH, HEIGHT);
        const double first_picture_ms = MillisecondsSince(open);
        const bool first_quick = display.NeedsFullFrame();
        const double full_ms = Milliseconds([&] { DrawFrame(display, WIDTH, HEIGHT); });
        const double quick_turn_ms = TurningFrame(display, QUICK_TURNS, true);
        const double full_turn_ms = TurningFrame(display, TURNS, false);
        const double atoms_drawn = static_cast<double>(display.instances.AtomsDrawn()) /
                                   static_cast<double>(std::max<size_t>(display.instances.AtomQuads(), 1));
        const double bonds_drawn = static_cast<double>(display.instances.BondsDrawn()) /
                                   static_cast<double>(std::max<size_t>(display.instances.BondQuads(), 1));
        display.is_cull = false;
        const double unculled_turn_ms = TurningFrame(display, TURNS, false);
        display.is_cull = true;
        // The window's default: atoms without bonds.
        display.is_show_bond = false;
        const double atoms_only_turn_ms = TurningFrame(display, TURNS, false);
        display.is_show_bond = true;
        std::printf("atoms %zu bonds %u\n", display.v_float_raw_xyz.size(), display.i_number_of_bonds);
        std::printf("read %.0f ms, open to first picture (%s) %.0f ms, the full picture after it %.0f ms\n", read_ms,
                    first_quick ? "quick" : "full", first_picture_ms, full_ms);
        std::printf("turning: quick %.0f ms per frame (%.1f fps), full %.0f ms per frame (%.1f fps)\n", quick_turn_ms,
                    1000.0 / quick_turn_ms, full_turn_ms, 1000.0 / full_turn_ms);
        std::printf("full picture at rest: culled %.0f ms (%.1f%% of the atoms, %.1f%% of the bonds drawn), "
                    "everything drawn %.0f ms\n",
                    full_turn_ms, 100.0 * atoms_drawn, 100.0 * bonds_drawn, unculled_turn_ms);
        std::printf("full picture at rest without bonds (the window's default): culled %.0f ms\n", atoms_only_turn_ms);
        std::printf("batch records on the GPU %.1f MB (24 bytes per atom, 32 per bond)\n",
                    (24.0 * static_cast<double>(display.v_float_raw_xyz.size()) +
                     32.0 * static_cast<double>(display.i_number_of_bonds)) / 1e6);
        std::printf("peak memory %.0f MB (%.0f MB after reading, before the first picture)\n", PeakMegabytes(),
                    read_peak);
        PrintBreakdown(display, folder, path, read_ms, first_picture_ms);
        display.Delete();
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    std::remove(path.c_str());
    return 0;
}
