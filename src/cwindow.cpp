#include "cwindow.h"

GLFWwindow *CreateKivoaWindow(bool visible)
{
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 8);
    glfwWindowHint(GLFW_DEPTH_BITS, 24);
    glfwWindowHint(GLFW_REFRESH_RATE, GLFW_DONT_CARE);
    glfwWindowHint(GLFW_VISIBLE, visible ? GLFW_TRUE : GLFW_FALSE);
    GLFWwindow *window = glfwCreateWindow(1280, 720, "Kivoa ImGui GLFW+OpenGL3.3", nullptr, nullptr);
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    return window;
}

glm::vec2 FramebufferScale()
{
    GLFWwindow *window = glfwGetCurrentContext();
    if (window == nullptr)
        return glm::vec2(1.0f);
    int ww = 0, wh = 0, fw = 0, fh = 0;
    glfwGetWindowSize(window, &ww, &wh);
    glfwGetFramebufferSize(window, &fw, &fh);
    if (ww <= 0 || wh <= 0 || fw <= 0 || fh <= 0)
        return glm::vec2(1.0f);
    return glm::vec2(static_cast<float>(fw) / static_cast<float>(ww), static_cast<float>(fh) / static_cast<float>(wh));
}
