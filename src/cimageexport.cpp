#include "cimageexport.h"

#include <algorithm>
#include <glad/gl.h>

#include "cscenetarget.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

const int CHANNELS = 4;
// Samples per pixel of an exported picture: its edges anti-aliased.
const int EXPORT_SAMPLES = 4;

// The largest framebuffer side the GL can draw and read back.
int MaxSide()
{
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::min({renderbuffer, viewport[0], viewport[1]});
}

} // namespace

bool CImageExport::SavePng(const std::function<void(int, int)> &draw, int w, int h, const std::string &path,
                           std::string &error)
{
    const int max_side = MaxSide();
    if (w <= 0 || h <= 0 || w > max_side || h > max_side) {
        error = "the image size " + std::to_string(w) + "x" + std::to_string(h) + " is not between 1 and " +
                std::to_string(max_side);
        return false;
    }
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * CHANNELS);
    {
        // Drawn multisampled where the driver offers it, then filtered down to be read.
        CSceneTarget picture, samples;
        if (!picture.Bind(w, h, 0)) {
            error = "the graphics driver offers no framebuffer of that size";
            return false;
        }
        const bool is_multisampled = samples.Bind(w, h, CSceneTarget::Samples(EXPORT_SAMPLES));
        if (!is_multisampled)
            picture.Bind(w, h, 0);
        glViewport(0, 0, w, h);
        draw(w, h);
        if (is_multisampled)
            samples.ResolveTo(picture.Framebuffer());
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    }
    // An opaque picture, whatever the blending left in the alpha channel.
    for (size_t k = CHANNELS - 1; k < pixels.size(); k += CHANNELS)
        pixels[k] = 255;
    FlipRows(pixels, h);
    if (stbi_write_png(path.c_str(), w, h, CHANNELS, pixels.data(), w * CHANNELS) == 0) {
        error = "can't write " + path;
        return false;
    }
    error.clear();
    return true;
}

void CImageExport::FlipRows(std::vector<unsigned char> &pixels, int height)
{
    if (height <= 0)
        return;
    const size_t row = pixels.size() / static_cast<size_t>(height);
    for (size_t top = 0, bottom = static_cast<size_t>(height) - 1; top < bottom; top++, bottom--)
        std::swap_ranges(pixels.begin() + static_cast<long>(top * row), pixels.begin() + static_cast<long>((top + 1) * row),
                         pixels.begin() + static_cast<long>(bottom * row));
}
