#include <algorithm>
#include <cstdio>

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include "cdisplay.h"
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
// and the panels stand still.
void WaitForChange(CShell &shell, int &frames_due)
{
    const double animation = shell.AnimationWait();
    if (frames_due > 0)
        glfwPollEvents();
    else if (animation > 0.0)
        glfwWaitEventsTimeout(animation);
    else
        glfwWaitEvents();
    if (shell.TakeEvents())
        frames_due = SETTLE_FRAMES;
}

void RunFrames(CShell &shell)
{
    int frames_due = SETTLE_FRAMES;
    for (;;) {
        WaitForChange(shell, frames_due);
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
        shell.DrawScene();
        // A quick picture drawn while the view moved is followed by the full one.
        if (shell.atom->NeedsFullFrame())
            frames_due = std::max(frames_due, 1);
        ImGui::Render();
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        glfwSwapBuffers(shell.window);
    }
}

} // namespace

// kivoa [FILE]: the structure file to open at start.
int main(int argc, char **argv)
{
    // Diagnostics leave line by line, also into a pipe or a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
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

    CShell shell;
    shell.ConnectWindow(window);
    shell.PrepareConfig();
    shell.atom = new CDisplay;
    shell.LoadSettings();
    const ImVec4 &c = shell.clear_color;
    shell.atom->SetClearColor(glm::vec4(c.x, c.y, c.z, c.w));
    shell.InitPanels();
    if (argc > 1)
        shell.OpenByName(argv[1]);

    RunFrames(shell);

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
