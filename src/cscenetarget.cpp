#include "cscenetarget.h"

#include <algorithm>

bool CSceneTarget::Bind(int w, int h, int samples)
{
    if (fbo != 0 && w == width && h == height && samples == sample_count) {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        return true;
    }
    Release();
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glGenRenderbuffers(2, rbo);
    const GLenum formats[2] = {GL_RGBA8, GL_DEPTH_COMPONENT24};
    const GLenum attachments[2] = {GL_COLOR_ATTACHMENT0, GL_DEPTH_ATTACHMENT};
    for (int k = 0; k < 2; k++) {
        glBindRenderbuffer(GL_RENDERBUFFER, rbo[k]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, formats[k], w, h);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachments[k], GL_RENDERBUFFER, rbo[k]);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    width = w;
    height = h;
    sample_count = samples;
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE)
        return true;
    Release();
    return false;
}

void CSceneTarget::ResolveTo(GLuint target) const
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, target);
}

void CSceneTarget::CopyFrom(GLuint source, int w, int h)
{
    if (!Bind(w, h, 0))
        return;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, source);
}

void CSceneTarget::Release()
{
    if (fbo == 0)
        return;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(2, rbo);
    glDeleteFramebuffers(1, &fbo);
    fbo = 0;
    rbo[0] = rbo[1] = 0;
    width = height = sample_count = 0;
}

int CSceneTarget::Samples(int wanted)
{
    GLint most = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    return std::clamp(static_cast<int>(most), 0, wanted);
}
