#include "cimageexport.h"

#include <algorithm>
#include <glad/gl.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

const int CHANNELS = 4;

// The largest framebuffer side the GL can draw and read back.
int MaxSide()
{
    GLint renderbuffer = 0;
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    return std::min({renderbuffer, viewport[0], viewport[1]});
}

// A framebuffer with a colour and a depth renderbuffer, released with the object.
class OffscreenTarget {
public:
    OffscreenTarget(int w, int h)
    {
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glGenRenderbuffers(2, rbo);
        glBindRenderbuffer(GL_RENDERBUFFER, rbo[0]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rbo[0]);
        glBindRenderbuffer(GL_RENDERBUFFER, rbo[1]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rbo[1]);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
    }
    ~OffscreenTarget()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteRenderbuffers(2, rbo);
        glDeleteFramebuffers(1, &fbo);
    }
    OffscreenTarget(const OffscreenTarget &) = delete;
    OffscreenTarget &operator=(const OffscreenTarget &) = delete;

    bool IsComplete() const { return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE; }

private:
    GLuint fbo = 0;
    GLuint rbo[2] = {0, 0};
};

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
        OffscreenTarget target(w, h);
        if (!target.IsComplete()) {
            error = "the graphics driver offers no framebuffer of that size";
            return false;
        }
        glViewport(0, 0, w, h);
        draw(w, h);
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
