#ifndef CSCENETARGET_H
#define CSCENETARGET_H

#include <glad/gl.h>

// An offscreen framebuffer to draw the scene into: colour and depth renderbuffers of one size,
// single- or multisampled. Owns its GL objects (not copyable); needs the OpenGL context, and
// Release (or the destructor) must run before the context goes.
class CSceneTarget {
public:
    CSceneTarget() = default;
    ~CSceneTarget() { Release(); }
    CSceneTarget(const CSceneTarget &) = delete;
    CSceneTarget &operator=(const CSceneTarget &) = delete;

    // Binds a framebuffer of w x h pixels with `samples` samples per pixel (0: single-sampled) for
    // drawing and reading, made anew when the size or the samples changed; false (the window's
    // framebuffer bound) when the driver offers none such.
    bool Bind(int w, int h, int samples);
    // Filters the multisampled picture down (or copies it) into framebuffer `target` of the same
    // size and binds that one.
    void ResolveTo(GLuint target) const;
    // Copies framebuffer `source` of w x h pixels into this one, single-sampled, made to fit;
    // `source` is left bound.
    void CopyFrom(GLuint source, int w, int h);
    bool HasSize(int w, int h) const { return fbo != 0 && w == width && h == height; }
    GLuint Framebuffer() const { return fbo; }
    void Release();

    // The most samples per pixel the driver offers, up to `wanted`.
    static int Samples(int wanted);

private:
    GLuint fbo = 0;
    GLuint rbo[2] = {0, 0};
    int width = 0, height = 0, sample_count = 0;
};

#endif
