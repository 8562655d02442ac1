#ifndef GL_WINDOW_H
#define GL_WINDOW_H

// The program's window, hidden, with its OpenGL 3.3 core context, shared by all tests, and a
// read-back of the default framebuffer. Needs an X display (the test command runs Xvfb).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>
#include <glm/glm.hpp>

#include "cdisplay.h"
#include "cwindow.h"

// One hidden window for the whole test process. GLFW is never terminated between suites: closing
// the last connection makes the X server reset, and a reconnect during the reset fails.
class GlWindowTest : public ::testing::Test {
protected:
    static constexpr int WIDTH = 1280;
    static constexpr int HEIGHT = 720;

    static void SetUpTestSuite()
    {
        static GLFWwindow *const shared = OpenSharedWindow();
        window = shared;
        if (window != nullptr)
            glfwMakeContextCurrent(window);
    }

    void SetUp() override { ASSERT_NE(window, nullptr) << "no OpenGL 3.3 core context (is an X display running?)"; }

    static inline GLFWwindow *window = nullptr;

private:
    static GLFWwindow *OpenSharedWindow()
    {
        // A server started or reset just before (another test process has just left) refuses
        // connections for a moment.
        bool ready = glfwInit();
        for (int attempt = 0; !ready && attempt < 50; attempt++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ready = glfwInit();
        }
        if (!ready)
            return nullptr;
        GLFWwindow *w = CreateKivoaWindow(false);
        if (w == nullptr || gladLoadGL(glfwGetProcAddress) == 0)
            return nullptr;
        std::atexit(glfwTerminate);
        return w;
    }
};

// A fresh display object per test, in the unrotated view: x to the right, y up, z towards the viewer.
class GlDisplayTest : public GlWindowTest {
protected:
    void SetUp() override
    {
        GlWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        display = std::make_unique<CDisplay>();
        display->SetTrackRotation(0.0f, 0.0f);
    }

    void TearDown() override
    {
        if (display)
            display->Delete();
    }

    std::unique_ptr<CDisplay> display;
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
