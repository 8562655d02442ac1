#ifndef CSPHERERASTER_H
#define CSPHERERASTER_H

#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

#include "cinstance.h"

// The picture of lit spheres under an orthographic view, drawn on the CPU: the picture of a moving
// view. Software OpenGL spends about half a microsecond on every sphere impostor, hidden or not,
// and more on every lit pixel, where this loop rejects a hidden sphere's pixels with one comparison
// each and lights only the pixels seen. A pixel shows a sphere when its centre lies inside the
// sphere's outline, as the impostors' ray cast decides, and the sphere point nearest the viewer
// wins; of two at the same depth the earlier stays, as under GL_LESS. The light is the impostors'
// (LightMeshPoint in shaders/lit.h).
class CSphereRaster {
public:
    // How the spheres are seen: view (model to camera space), projection (orthographic, camera to
    // clip space), the camera's place, the radius factor, and the colour of the selected sphere and
    // of those whose colour record is marked selected (alpha 0) while is_marks.
    struct SView {
        glm::mat4 view{1.0f}, projection{1.0f};
        glm::vec3 eye{0.0f};
        float scale = 1.0f;
        int64_t selected = -1;
        bool is_marks = true;
        glm::vec3 mark_colour{1.0f};
    };

    // spheres: centre in model space and radius (0: not drawn); colours: their records.
    void Draw(const std::vector<glm::vec4> &spheres, const std::vector<CAtomColours> &colours, const SView &view,
              int width, int height);
    // Per pixel, rows from the bottom: the lit colour as RGBA bytes (alpha 0 where no sphere is), and
    // the camera-space depth of the sphere point seen.
    const std::vector<uint32_t> &Picture() const { return v_picture; }
    const std::vector<float> &Depth() const { return v_depth; }

    // Threads the rows are shared among; 0: as many as pay.
    unsigned u_threads = 0;

private:
    // The view as the row loops use it: window x and y and camera depth of a model-space point,
    // window pixels and camera-space units per unit of a sphere's radius, the picture's size and
    // its tiles across.
    struct SFrame {
        glm::vec4 wx, wy, wz;
        float unit, scale;
        int width, height, tiles_wide;
    };
    std::vector<uint32_t> v_shown; // 1 + the sphere a pixel shows, 0 for none
    std::vector<uint16_t> v_cell;  // and the light grid's point nearest the sphere point there
    std::vector<uint32_t> v_picture;
    std::vector<float> v_depth;
    std::vector<float> v_tile_depth; // per tile, the farthest depth its pixels show
    // Runs of spheres, first to last, in the order they are drawn.
    struct SRun {
        size_t first, last;
        bool is_backward;
    };
    std::vector<SRun> v_runs;
    // The light's terms over a grid of sphere points (see TabulateLight), and the camera's place
    // they are for.
    std::vector<glm::vec2> v_light;
    glm::vec3 light_eye{0.0f};

    unsigned Threads(size_t spheres, int rows) const;
    void TabulateLight(glm::vec3 eye);
    void OrderRuns(const std::vector<glm::vec4> &spheres, const SFrame &f);
    void ClearRows(const SFrame &f, int begin, int end);
    void DrawRows(const std::vector<glm::vec4> &spheres, const SFrame &f, int begin, int end);
    void DrawSphere(const std::vector<glm::vec4> &spheres, size_t i, const SFrame &f, int begin, int end);
    bool IsHidden(float front, glm::ivec2 low, glm::ivec2 high, const SFrame &f) const;
    bool DrawPixels(size_t i, glm::vec3 c, float r, float rp, int y0, int y1, const SFrame &f);
    void UpdateTiles(glm::ivec2 low, glm::ivec2 high, const SFrame &f);
    void LightRows(const std::vector<CAtomColours> &colours, const SView &view, const SFrame &f, int begin,
                   int end);
};

// The light LightMeshPoint gives the unit sphere point n (camera axes) of a sphere of `colour`
// seen from `eye`, before the framebuffer saturates it.
glm::vec3 LightSpherePoint(glm::vec3 n, glm::vec3 eye, glm::vec3 colour);

#endif
