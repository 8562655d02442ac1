#include "glhelpers.h"

#include <glm/gtc/type_ptr.hpp>

GLint Uniform(GLuint program, const char *name) { return glGetUniformLocation(program, name); }

void SetMatrix(GLint location, const glm::mat4 &m)
{
    glUniformMatrix4fv(location, 1, GL_FALSE, glm::value_ptr(m));
}

void SetVector(GLint location, const glm::vec3 &v) { glUniform3f(location, v.x, v.y, v.z); }

void ClearFramebuffer(const glm::vec4 &c)
{
    glClearColor(c.r, c.g, c.b, c.a);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void RebindVertexArray(GLuint vao)
{
    glBindVertexArray(0);
    glBindVertexArray(vao);
}

void ReleaseVertexArray(GLuint &vao)
{
    if (vao != 0)
        glDeleteVertexArrays(1, &vao);
    vao = 0;
}

void ReleaseVertexArray(GLuint &vao, GLuint &vbo)
{
    ReleaseVertexArray(vao);
    if (vbo != 0)
        glDeleteBuffers(1, &vbo);
    vbo = 0;
}

void ReleaseTexture(GLuint &texture)
{
    if (texture != 0)
        glDeleteTextures(1, &texture);
    texture = 0;
}

void UploadMesh(GLuint &vao, GLuint &vbo, const std::vector<glm::vec3> &v)
{
    ReleaseVertexArray(vao, vbo);
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(glm::vec3)), v.data(), GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(glm::vec3), nullptr);
    glEnableVertexAttribArray(0);
    glBindVertexArray(0);
}

void CreateEmptyVertexArray(GLuint &vao)
{
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glBindVertexArray(0);
}

void CreateBufferTexture(GLuint &buffer, GLuint &texture, GLenum format)
{
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_TEXTURE_BUFFER, buffer);
    glBufferData(GL_TEXTURE_BUFFER, 0, nullptr, GL_STATIC_DRAW);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_BUFFER, texture);
    glTexBuffer(GL_TEXTURE_BUFFER, format, buffer);
    glBindTexture(GL_TEXTURE_BUFFER, 0);
    glBindBuffer(GL_TEXTURE_BUFFER, 0);
}

void ReleaseBufferTexture(GLuint &buffer, GLuint &texture)
{
    if (buffer != 0)
        glDeleteBuffers(1, &buffer);
    buffer = 0;
    ReleaseTexture(texture);
}

void BindBufferTexture(GLuint program, const char *name, GLint unit, GLuint texture)
{
    glUniform1i(Uniform(program, name), unit);
    glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
    glBindTexture(GL_TEXTURE_BUFFER, texture);
    glActiveTexture(GL_TEXTURE0);
}

void BindDrawnList(GLuint program, GLint unit, GLuint texture, bool is_culled)
{
    glUniform1i(Uniform(program, "Culled"), is_culled ? 1 : 0);
    BindBufferTexture(program, "drawn", unit, texture);
}

void DrawQuads(GLuint vao, size_t instances)
{
    if (instances == 0)
        return;
    RebindVertexArray(vao);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(6 * instances));
    glBindVertexArray(0);
}
