#include "cquickpicture.h"

#include "glhelpers.h"

namespace {

// A picture of w x h pixels into `texture`, whose storage is made afresh when its size changed.
void UploadPicture(GLuint &texture, bool is_new_size, GLint internal, GLenum format, GLenum type, const void *pixels,
                   int w, int h)
{
    if (texture == 0)
        glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (is_new_size) {
        glTexImage2D(GL_TEXTURE_2D, 0, internal, w, h, 0, format, type, pixels);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, format, type, pixels);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

} // namespace

void CQuickPicture::DecideFrame(const glm::mat4 &mvp)
{
    is_quick_frame = is_view_moved && mvp != drawn_view;
    is_view_moved = false;
    drawn_view = mvp;
}

void CQuickPicture::Upload(const std::vector<glm::vec4> &records, const std::vector<CAtomColours> &colours,
                           const CSphereRaster::SView &view, int w, int h)
{
    raster.Draw(records, colours, view, w, h);
    const bool is_new_size = quick_size != glm::ivec2(w, h);
    UploadPicture(TEXP, is_new_size, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, raster.Picture().data(), w, h);
    UploadPicture(TEXZ, is_new_size, GL_R32F, GL_RED, GL_FLOAT, raster.Depth().data(), w, h);
    quick_size = glm::ivec2(w, h);
}

void CQuickPicture::Draw(GLuint program, GLuint vao, int w, int h) const
{
    GLint viewport[4] = {0, 0, w, h};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glUniform2f(Uniform(program, "Origin"), static_cast<float>(viewport[0]), static_cast<float>(viewport[1]));
    glUniform1i(Uniform(program, "picture"), 0);
    glUniform1i(Uniform(program, "depth"), 1);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, TEXZ);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, TEXP);
    RebindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
}

void CQuickPicture::Release()
{
    ReleaseTexture(TEXP);
    ReleaseTexture(TEXZ);
    quick_size = glm::ivec2(0);
}
