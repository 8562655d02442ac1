#ifndef GL_WINDOW_H
#define GL_WINDOW_H

// A hidden 1280 x 720 GLFW window with an OpenGL 3.3 core context, shared by the tests of a suite,
// and a read-back of the default framebuffer. Needs an X display (the test command runs Xvfb).

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>
#include <glad/gl.h>
#include <GLFW/glfw3.h>
#include <glm/glm.hpp>

class GlWindowTest : public ::testing::Test {
protected:
    static constexpr int WIDTH = 1280;
    static constexpr int HEIGHT = 720;

    static void SetUpTestSuite()
    {
        if (!glfwInit())
            return;
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
        glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
        glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
        glfwWindowHint(GLFW_RED_BITS, 8);
        glfwWindowHint(GLFW_GREEN_BITS, 8);
        glfwWindowHint(GLFW_BLUE_BITS, 8);
        glfwWindowHint(GLFW_ALPHA_BITS, 8);
        glfwWindowHint(GLFW_DEPTH_BITS, 24);
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        window = glfwCreateWindow(WIDTH, HEIGHT, "kivoa gl test", nullptr, nullptr);
        if (window == nullptr)
            return;
        glfwMakeContextCurrent(window);
        if (gladLoadGL(glfwGetProcAddress) == 0) {
            glfwDestroyWindow(window);
            window = nullptr;
        }
    }

    static void TearDownTestSuite()
    {
        if (window != nullptr)
            glfwDestroyWindow(window);
        window = nullptr;
        glfwTerminate();
    }

    void SetUp() override { ASSERT_NE(window, nullptr) << "no OpenGL 3.3 core context (is an X display running?)"; }

    static inline GLFWwindow *window = nullptr;
};

// The colour buffer as read back, RGB bytes, row 0 at the bottom like OpenGL window coordinates.
class Frame {
public:
    Frame(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3)
    {
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    }

    glm::vec3 At(int x, int y) const
    {
        const size_t k = (static_cast<size_t>(y) * width + x) * 3;
        return glm::vec3(rgb[k], rgb[k + 1], rgb[k + 2]) / 255.0f;
    }

    // Pixels of the rectangle [x0, x1) x [y0, y1) that satisfy the test, clipped to the frame.
    template <typename Test>
    std::vector<glm::ivec2> Find(Test test, int x0 = 0, int y0 = 0, int x1 = 1 << 30, int y1 = 1 << 30) const
    {
        std::vector<glm::ivec2> found;
        for (int y = std::max(y0, 0); y < std::min(y1, height); y++)
            for (int x = std::max(x0, 0); x < std::min(x1, width); x++)
                if (test(At(x, y)))
                    found.emplace_back(x, y);
        return found;
    }

    int width, height;
    std::vector<uint8_t> rgb;
};

#endif
