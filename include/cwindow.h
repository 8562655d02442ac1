#ifndef CWINDOW_H
#define CWINDOW_H

#include <glad/gl.h>
#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <glm/glm.hpp>

// The 1280 x 720 window with an OpenGL 3.3 core context, 8-bit colour channels (the pick read-back
// needs them unconverted) and a 24-bit depth buffer, made current with vertical sync. A hidden
// window serves the tests. Needs glfwInit; null when the window cannot be created.
GLFWwindow *CreateKivoaWindow(bool visible);
// Framebuffer pixels per window unit of the current context's window; 1 without one.
glm::vec2 FramebufferScale();

#endif
