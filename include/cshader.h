#ifndef CSHADER_H
#define CSHADER_H

#include <glad/gl.h>

// One linked GLSL program. Needs a current OpenGL 3.3 core context. Compile and link failures are
// reported on standard output and the program name is kept, so the application carries on (draws
// with a program that failed to link produce nothing).
class CShader {
public:
    CShader() = default;
    CShader(const CShader &) = delete;
    CShader &operator=(const CShader &) = delete;

    GLuint Program = 0;

    // A vertex and a fragment stage, and a geometry stage when gCode is given.
    void SetShader(const char *vCode, const char *fCode, const char *gCode = nullptr);
    void Use() const;
    // Deletes the program; safe to call again.
    void Delete();
};

#endif
