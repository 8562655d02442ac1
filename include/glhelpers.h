#ifndef GLHELPERS_H
#define GLHELPERS_H

#include <cstddef>
#include <vector>
#include <glad/gl.h>
#include <glm/glm.hpp>

// The GL calls the display's drawing units share: uniforms, releasing names, and the buffers that
// the batched passes read as buffer textures. All need the current OpenGL context.

GLint Uniform(GLuint program, const char *name);
void SetMatrix(GLint location, const glm::mat4 &m);
void SetVector(GLint location, const glm::vec3 &v);
void ClearFramebuffer(const glm::vec4 &c);

// Lets go of whatever vertex array a previous pass left bound before binding vao.
void RebindVertexArray(GLuint vao);
// Each release deletes a non-zero name and zeroes it.
void ReleaseVertexArray(GLuint &vao);
void ReleaseVertexArray(GLuint &vao, GLuint &vbo);
void ReleaseTexture(GLuint &texture);
// Uploads a vec3 array into a fresh vertex array (attribute 0), replacing the pair it held.
void UploadMesh(GLuint &vao, GLuint &vbo, const std::vector<glm::vec3> &v);

// A vertex array with no attributes (the batched passes read their records from buffer textures)
// and the element buffer `indices` of its quads: four corners each (see impostor_corners), shared
// by the quad's two triangles. Release both with ReleaseVertexArray(vao, indices).
void CreateQuadVertexArray(GLuint &vao, GLuint &indices);
// A buffer that the vertex stages read as a buffer texture of `format`.
void CreateBufferTexture(GLuint &buffer, GLuint &texture, GLenum format);
void ReleaseBufferTexture(GLuint &buffer, GLuint &texture);
void BindBufferTexture(GLuint program, const char *name, GLint unit, GLuint texture);
// The list of the records drawn (see impostor_drawn) from `texture` on `unit`, read only while
// is_culled.
void BindDrawnList(GLuint program, GLint unit, GLuint texture, bool is_culled);
// The first `instances` quads of a vertex array made by CreateQuadVertexArray, in one call.
void DrawQuads(GLuint vao, size_t instances);
// `instances` points of the size the vertex stage gives, in one call.
void DrawPoints(GLuint vao, size_t instances);
// The largest point size the vertex stage may give.
float LargestPointSize();

template <typename T>
void UploadInstances(GLuint buffer, const std::vector<T> &v)
{
    glBindBuffer(GL_TEXTURE_BUFFER, buffer);
    glBufferData(GL_TEXTURE_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(T)), v.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_TEXTURE_BUFFER, 0);
}

#endif
