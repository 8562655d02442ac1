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

namespace {

// Quads per batch of one draw: their corners are numbered by 16-bit indices, and each batch starts
// at its own base vertex, so that the element buffer stays small whatever the count.
const size_t QUAD_BATCH = 16384;

} // namespace

void CreateQuadVertexArray(GLuint &vao, GLuint &indices)
{
    // Vertex k of quad q is corner k of QUAD below; four vertices instead of six spare a third of
    // the vertex stage, which software OpenGL runs on the calling thread.
    const GLushort QUAD[6] = {0, 1, 2, 2, 1, 3};
    std::vector<GLushort> corners(6 * QUAD_BATCH);
    for (size_t i = 0; i < corners.size(); ++i)
        corners[i] = static_cast<GLushort>(4 * (i / 6) + QUAD[i % 6]);
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &indices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(corners.size() * sizeof(GLushort)), corners.data(),
                 GL_STATIC_DRAW);
    glBindVertexArray(0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
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
    const size_t batches = (instances + QUAD_BATCH - 1) / QUAD_BATCH;
    std::vector<GLsizei> counts(batches, static_cast<GLsizei>(6 * QUAD_BATCH));
    counts.back() = static_cast<GLsizei>(6 * (instances - (batches - 1) * QUAD_BATCH));
    std::vector<const void *> offsets(batches, nullptr);
    std::vector<GLint> bases(batches);
    for (size_t b = 0; b < batches; ++b)
        bases[b] = static_cast<GLint>(4 * QUAD_BATCH * b);
    RebindVertexArray(vao);
    glMultiDrawElementsBaseVertex(GL_TRIANGLES, counts.data(), GL_UNSIGNED_SHORT, offsets.data(),
                                  static_cast<GLsizei>(batches), bases.data());
    glBindVertexArray(0);
}

void DrawPoints(GLuint vao, size_t instances)
{
    if (instances == 0)
        return;
    RebindVertexArray(vao);
    glEnable(GL_PROGRAM_POINT_SIZE);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(instances));
    glDisable(GL_PROGRAM_POINT_SIZE);
    glBindVertexArray(0);
}

float LargestPointSize()
{
    GLfloat range[2] = {1.0f, 1.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, range);
    return range[1];
}
