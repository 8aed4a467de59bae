#pragma once
// A GLSL program loaded from a ".vert" and ".frag" pair.
#include <cstdint>

struct ssShader
{
    uint32_t vertexShader = 0;
    uint32_t fragmentShader = 0;
    uint32_t program = 0;
};

// Compiles and links the two sources with the display's context current. 0 on success, else the
// GL error, or -1 when compiling or linking failed without one. Failures are logged.
int32_t ssCompileShader(ssShader* shader, const char* vertexSource, const char* fragmentSource);
// Deletes the program and its shaders.
void ssDeleteShader(ssShader* shader);
