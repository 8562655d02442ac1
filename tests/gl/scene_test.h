#ifndef SCENE_TEST_H
#define SCENE_TEST_H

// A display drawing whole frames as the application does, with the geometry tests need: where a
// world point lands, the camera-space ray under a pixel, and the depth buffer of the atom and bond
// passes.

#include "gl_window.h"

#include <cmath>
#include <vector>

#include "structure_builder.h"

inline constexpr uint32_t N_INDEX = 6;

class SceneTest : public GlDisplayTest {
protected:
    static inline const glm::vec4 BACKGROUND{0.1f, 0.2f, 0.5f, 1.0f};

    void SetUp() override
    {
        GlDisplayTest::SetUp();
        if (!HasFatalFailure())
            display->SetClearColor(BACKGROUND);
    }

    void Load(const Atoms &atoms)
    {
        LoadAtoms(*display, atoms);
        display->RefreshStructure();
    }

    static void PrepareFrame(int x = 0, int y = 0, int w = WIDTH, int h = HEIGHT)
    {
        glViewport(x, y, w, h);
        glClearColor(BACKGROUND.r, BACKGROUND.g, BACKGROUND.b, BACKGROUND.a);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthFunc(GL_LESS);
        glDisable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
    }

    // One frame the way the application draws it, read back whole.
    Frame Draw()
    {
        PrepareFrame();
        display->DrawScene(WIDTH, HEIGHT);
        glUseProgram(0);
        return Frame(WIDTH, HEIGHT);
    }

    // The window depth the atom and bond passes leave, row 0 at the bottom (the full frame ends
    // with the gizmo, which clears the depth first).
    std::vector<float> AtomAndBondDepth()
    {
        Draw();
        PrepareFrame();
        display->AtomShader.Use();
        display->DrawAtoms(display->AtomShader.Program, false);
        display->BondShader.Use();
        display->DrawBonds(display->BondShader.Program);
        glUseProgram(0);
        glFinish();
        std::vector<float> depth(static_cast<size_t>(WIDTH) * HEIGHT);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, WIDTH, HEIGHT, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        return depth;
    }

    glm::vec3 CameraOf(const glm::vec3 &world) const
    {
        return glm::vec3(display->track.View * display->track.Model * glm::vec4(world, 1.0f));
    }

    // The framebuffer pixel (row 0 at the bottom) whose centre is nearest a world point.
    glm::ivec2 PixelOf(const glm::vec3 &world) const
    {
        const glm::vec4 c = display->Projection * glm::vec4(CameraOf(world), 1.0f);
        return glm::ivec2(static_cast<int>(std::floor((c.x / c.w + 1.0f) * 0.5f * WIDTH)),
                          static_cast<int>(std::floor((c.y / c.w + 1.0f) * 0.5f * HEIGHT)));
    }

    // Camera-space x, y of a pixel centre (the orthographic ray runs along z there).
    glm::vec2 RayOf(int px, int py) const
    {
        const glm::vec2 ndc((px + 0.5f) * 2.0f / WIDTH - 1.0f, (py + 0.5f) * 2.0f / HEIGHT - 1.0f);
        return glm::vec2(glm::inverse(display->Projection) * glm::vec4(ndc, 0.0f, 1.0f));
    }

    float WindowDepthOf(float camera_z) const
    {
        const glm::vec4 c = display->Projection * glm::vec4(0.0f, 0.0f, camera_z, 1.0f);
        return 0.5f * c.z / c.w + 0.5f;
    }

    float PixelsPerUnit() const { return WIDTH * 0.5f * display->Projection[0][0]; }
};

#endif
