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

void glfw_error_callback(int error, const char *description)
{
    std::fprintf(stderr, "Error %d: %s\n", error, description);
}

void StartGui(GLFWwindow *window)
{
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL3_Init(glsl_version);
    ImGui::StyleColorsDark();
}

void RunFrames(CShell &shell)
{
    while (!glfwWindowShouldClose(shell.window)) {
        glfwPollEvents();
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
        ImGui::Render();
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        glfwSwapBuffers(shell.window);
    }
}

} // namespace

int main(int, char **)
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
    shell.window = window;
    shell.PrepareConfig();
    shell.atom = new CDisplay;
    shell.LoadSettings();
    const ImVec4 &c = shell.clear_color;
    shell.atom->SetClearColor(glm::vec4(c.x, c.y, c.z, c.w));
    shell.InitPanels();

    RunFrames(shell);

    shell.SaveSettings();
    shell.atom->Delete();
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
