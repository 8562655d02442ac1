#include "cshader.h"

#include <iostream>

namespace {

const GLsizei LOG_SIZE = 512;

// Prints a failed stage's header line, then the driver's info log read with getLog (a shader or
// program log query) and an end of line.
template <typename GetLog>
void ReportFailure(GetLog getLog, GLuint object, const char *header)
{
    char log[LOG_SIZE] = "";
    getLog(object, LOG_SIZE, nullptr, log);
    std::cout << header << log << std::endl;
}

GLuint CompileStage(GLenum type, const char *code, const char *header)
{
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &code, nullptr);
    glCompileShader(shader);
    GLint success = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &success);
    if (!success)
        ReportFailure(glGetShaderInfoLog, shader, header);
    return shader;
}

} // namespace

void CShader::SetShader(const char *vCode, const char *fCode, const char *gCode)
{
    Delete();
    GLuint vertex = CompileStage(GL_VERTEX_SHADER, vCode, "ERROR::SHADER::VERTEX::COMPILATION_FAILED\n");
    GLuint fragment = CompileStage(GL_FRAGMENT_SHADER, fCode, "ERROR::SHADER::FRAGMENT::COMPILATION_FAILED\n");
    GLuint geometry =
        gCode != nullptr ? CompileStage(GL_GEOMETRY_SHADER, gCode, "ERROR::SHADER::GEOMETRY::COMPILATION_FAILED\n") : 0;
    Program = glCreateProgram();
    glAttachShader(Program, vertex);
    glAttachShader(Program, fragment);
    if (geometry != 0)
        glAttachShader(Program, geometry);
    glLinkProgram(Program);
    GLint success = 0;
    glGetProgramiv(Program, GL_LINK_STATUS, &success);
    if (!success)
        ReportFailure(glGetProgramInfoLog, Program, "ERROR::SHADER::PROGRAM::LINKING_FAILED\n");
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    if (geometry != 0)
        glDeleteShader(geometry);
}

void CShader::Use() const { glUseProgram(Program); }

void CShader::Delete()
{
    if (Program != 0)
        glDeleteProgram(Program);
    Program = 0;
}
