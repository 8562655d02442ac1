#ifndef CQUICKPICTURE_H
#define CQUICKPICTURE_H

#include <vector>
#include <glad/gl.h>
#include <glm/glm.hpp>

#include "cinstance.h"
#include "csphereraster.h"

// The quick picture shown while the view moves under the user's hand: when it is due, and its GL
// side, the atoms drawn by the CPU raster into a picture with depths that one triangle over the
// view copies into the framebuffer. Needs the OpenGL context; Release frees the textures and must
// run before that context goes.
class CQuickPicture {
public:
    CQuickPicture() = default;
    CQuickPicture(const CQuickPicture &) = delete;
    CQuickPicture &operator=(const CQuickPicture &) = delete;

    GLuint TEXP = 0, TEXZ = 0;  // the picture's colours and depths (see CSphereRaster)

    void NoteViewMoved() { is_view_moved = true; }
    // The next frame is quick whatever view it shows (a large structure shown afresh).
    void ForceNext()
    {
        is_view_moved = true;
        drawn_view = glm::mat4(0.0f);
    }
    // Decides the frame that shows view `mvp`: quick when the view moved since the last note and
    // differs from the last frame's.
    void DecideFrame(const glm::mat4 &mvp);
    bool IsQuickFrame() const { return is_quick_frame; }

    // Rasters the atoms of w x h pixels and uploads the picture.
    void Upload(const std::vector<glm::vec4> &records, const std::vector<CAtomColours> &colours,
                const CSphereRaster::SView &view, int w, int h);
    // Draws the uploaded picture with `program` (in use, its view uniforms set) and the empty vertex
    // array `vao`.
    void Draw(GLuint program, GLuint vao, int w, int h) const;
    // The camera-space depth of the uploaded picture (see CSphereRaster).
    const std::vector<float> &Depth() const { return raster.Depth(); }
    void Release();

private:
    // Asked for, drawn last frame, the view it was decided on, and the size of TEXP and TEXZ.
    bool is_view_moved = false;
    bool is_quick_frame = false;
    glm::mat4 drawn_view{0.0f};
    CSphereRaster raster;
    glm::ivec2 quick_size{0};
};

#endif
