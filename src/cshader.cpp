#include "cshader.h"

#include <iostream>
#include <sstream>
#include <string>

namespace {

const GLsizei LOG_SIZE = 512;

// The source with line numbers, so that the driver's "0:12(3)" positions can be found.
void PrintNumberedSource(const char *code)
{
    std::istringstream in(code);
    std::string line;
    for (int n = 1; std::getline(in, line); n++)
        std::cout << n << ": " << line << '\n';
}

GLuint CompileStage(GLenum type, const char *code, const char *header)
{
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &code, nullptr);
    glCompileShader(shader);
    GLint success = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &success);
    if (!success) {
        char log[LOG_SIZE];
        glGetShaderInfoLog(shader, LOG_SIZE, nullptr, log);
        std::cout << header << log << std::endl;
        PrintNumberedSource(code);
        std::cout.flush();
    }
    return shader;
}

} // namespace

void CShader::SetShader(const char *vCode, const char *fCode)
{
    Delete();
    GLuint vertex = CompileStage(GL_VERTEX_SHADER, vCode, "ERROR::SHADER::VERTEX::COMPILATION_FAILED\n");
    GLuint fragment = CompileStage(GL_FRAGMENT_SHADER, fCode, "ERROR::SHADER::FRAGMENT::COMPILATION_FAILED\n");
    Program = glCreateProgram();
    glAttachShader(Program, vertex);
    glAttachShader(Program, fragment);
    glLinkProgram(Program);
    GLint success = 0;
    glGetProgramiv(Program, GL_LINK_STATUS, &success);
    if (!success) {
        char log[LOG_SIZE];
        glGetProgramInfoLog(Program, LOG_SIZE, nullptr, log);
        std::cout << "ERROR::SHADER::PROGRAM::LINKING_FAILED\n" << log << std::endl;
    }
    glDeleteShader(vertex);
    glDeleteShader(fragment);
}

void CShader::Use() const { glUseProgram(Program); }

void CShader::Delete()
{
    if (Program != 0)
        glDeleteProgram(Program);
    Program = 0;
}
