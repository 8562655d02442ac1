#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include "cdisplay.h"
#include "cframetrace.h"
#include "cshell.h"
#include "cwindow.h"

namespace {

const char *const glsl_version = "#version 130";
// Frames drawn after an event, so that the GUI settles (popups and new panels appear a frame late,
// a button acts on its release, a pick shows in the next frame).
const int SETTLE_FRAMES = 3;

void glfw_error_callback(int error, const char *description)
{
    std::fprintf(stderr, "Error %d: %s\n", error, description);
}

void StartGui(GLFWwindow *window)
{
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL3_Init(glsl_version);
    ImGui::StyleColorsDark();
}

// Sleeps until something happens, unless frames are still due: nothing is drawn while the view
// and the panels stand still. Says what woke it: events, frames due, or the animation's timer.
std::string WaitForChange(CShell &shell, int &frames_due)
{
    const double animation = shell.AnimationWait();
    const std::string due = frames_due > 0 ? "due" : "timer";
    if (frames_due > 0)
        glfwPollEvents();
    else if (animation > 0.0)
        glfwWaitEventsTimeout(animation);
    else
        glfwWaitEvents();
    if (!shell.TakeEvents())
        return due;
    frames_due = SETTLE_FRAMES;
    return "events:" + shell.input.TakenEventNames();
}

// What the frame's scene was (the picture before shown again: "kept") and, while culling, the
// share of the atoms and bonds it drew.
std::string SceneKind(const CShell &shell)
{
    if (!shell.atom->is_visible)
        return "empty";
    if (shell.IsSceneKept())
        return "kept";
    return shell.atom->NeedsFullFrame() ? "quick" : "full";
}

std::string SceneShares(const CDisplay &atom)
{
    const CInstanceBuffers &b = atom.instances;
    return "atoms_drawn=" + std::to_string(b.AtomsDrawn()) + "/" + std::to_string(b.AtomQuads()) +
           " bonds_drawn=" + std::to_string(b.BondsDrawn()) + "/" + std::to_string(b.BondQuads());
}

void RunFrames(CShell &shell, CFrameTrace &trace)
{
    int frames_due = SETTLE_FRAMES;
    for (;;) {
        const std::string reason = WaitForChange(shell, frames_due);
        trace.Start();
        if (glfwWindowShouldClose(shell.window)) {
            if (shell.ConfirmClose())
                break;
            frames_due = SETTLE_FRAMES; // the question about unsaved edits comes up
        }
        if (frames_due > 0)
            frames_due--;
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplGlfw_NewFrame();
        ImGui::NewFrame();
        glfwGetFramebufferSize(shell.window, &shell.display_w, &shell.display_h);
        glViewport(0, 0, shell.display_w, shell.display_h);
        shell.RouteMouse();
        shell.RouteKeys();
        shell.ShowPieMenu();
        shell.ShowPanels();
        trace.Part("panels");
        shell.DrawScene();
        // The renderer works behind the calls; the trace waits for it to give the scene its time.
        if (trace.IsOn())
            glFinish();
        trace.Part("scene");
        // A quick picture drawn while the view moved is followed by the full one.
        if (shell.atom->NeedsFullFrame())
            frames_due = std::max(frames_due, 1);
        ImGui::Render();
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        glfwSwapBuffers(shell.window);
        trace.Part("gui_and_swap");
        trace.End(reason, SceneKind(shell), SceneShares(*shell.atom));
    }
}

} // namespace

// kivoa [FILE]: the structure file to open at start.
int main(int argc, char **argv)
{
    // Diagnostics leave line by line, also into a pipe or a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CFrameTrace trace(std::getenv("KIVOA_FRAME_TRACE"));
    trace.Start();
    glfwSetErrorCallback(glfw_error_callback);
    if (!glfwInit())
        return 1;
    GLFWwindow *window = CreateKivoaWindow(true);
    if (gladLoadGL(glfwGetProcAddress) == 0) {
        std::printf("Failed to initialize OpenGL context\n");
        glfwTerminate();
        return -1;
    }
    StartGui(window);
    trace.Part("window");

    CShell shell;
    shell.ConnectWindow(window);
    shell.PrepareConfig();
    shell.atom = new CDisplay;
    shell.LoadSettings();
    const ImVec4 &c = shell.clear_color;
    shell.atom->SetClearColor(glm::vec4(c.x, c.y, c.z, c.w));
    shell.InitPanels();
    trace.Part("display");
    if (argc > 1)
        shell.OpenByName(argv[1]);
    trace.Part("open");
    trace.EndStartup();

    RunFrames(shell, trace);

    shell.SaveSettings();
    shell.atom->Delete();
    shell.ReleaseTargets();
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
