// How long the file chooser takes on a folder of 10,000 files: reading and sorting the listing,
// one frame of the open dialog, and the frame that opens it (listing included).
#include <benchmark/benchmark.h>
#include <imgui.h>

#include <cstdlib>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "cfslisting.h"
#include "imguifilesystem.h"

namespace {

constexpr int NUM_FILES = 10000;

// The folder is made once for all benchmarks and removed at exit.
const std::string& Folder()
{
    static std::string folder;
    if (folder.empty()) {
        char pattern[] = "/tmp/kivoa-bench-XXXXXX";
        folder = mkdtemp(pattern);
        for (int i = 0; i < NUM_FILES; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "/structure_%05d.%s", (i * 7919) % NUM_FILES, i % 3 ? "xyz" : "pdb");
            if (FILE* f = std::fopen((folder + name).c_str(), "w")) {
                std::fprintf(f, "%d\n", i);
                std::fclose(f);
            }
        }
        std::atexit([] { std::system(("rm -rf '" + folder + "'").c_str()); });
    }
    return folder;
}

void ListFiles(benchmark::State& state)
{
    const std::string& folder = Folder();
    size_t count = 0;
    for (auto _ : state)
        count = ImGuiFs::Directory::GetFiles(folder, (int)state.range(0)).paths.size();
    if (count != NUM_FILES)
        state.SkipWithError("not every file was listed");
    state.SetItemsProcessed(state.iterations() * NUM_FILES);
}
BENCHMARK(ListFiles)
    ->Arg(ImGuiFs::SORT_ORDER_ALPHABETIC)
    ->Arg(ImGuiFs::SORT_ORDER_LAST_MODIFICATION)
    ->Arg(ImGuiFs::SORT_ORDER_SIZE_INVERSE)
    ->Arg(ImGuiFs::SORT_ORDER_TYPE)
    ->Unit(benchmark::kMillisecond);

// A headless ImGui context: the frames are built but never drawn.
class Gui {
public:
    Gui()
    {
        m_context = ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1280, 720);
        unsigned char* pixels;
        int w, h;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
    }
    ~Gui() { ImGui::DestroyContext(m_context); }

    const char* Frame(ImGuiFs::Dialog& dialog, bool trigger)
    {
        ImGui::GetIO().DeltaTime = 1.0f / 60.0f;
        ImGui::NewFrame();
        ImGui::Begin("Choose File (ctrl+f)");
        const char* chosen = dialog.chooseFileDialog(trigger, Folder().c_str());
        ImGui::End();
        ImGui::Render();
        return chosen;
    }

private:
    ImGuiContext* m_context;
};

void DialogFrame(benchmark::State& state)
{
    Gui gui;
    ImGuiFs::Dialog dialog;
    gui.Frame(dialog, true);
    gui.Frame(dialog, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(gui.Frame(dialog, false));
}
BENCHMARK(DialogFrame)->Unit(benchmark::kMillisecond);

void OpeningFrame(benchmark::State& state)
{
    Gui gui;
    ImGuiFs::Dialog dialog;
    for (auto _ : state)
        benchmark::DoNotOptimize(gui.Frame(dialog, true));
}
BENCHMARK(OpeningFrame)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
