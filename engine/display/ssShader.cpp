#include "engine/display/ssShader.h"

#include "engine/base/ssMessage.h"

#include <epoxy/gl.h>

#include <string>

namespace {

void logInfo(GLuint object, bool program)
{
    GLint length = 0;
    program ? glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length) : glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 1)
        return;
    std::string text(static_cast<size_t>(length), '\0');
    program ? glGetProgramInfoLog(object, length, nullptr, text.data())
            : glGetShaderInfoLog(object, length, nullptr, text.data());
    ssMessage(2, "%s", text.c_str());
}

// The GL error when there is one, else -1: a failed compile or link must never read as success.
int32_t failure(const char* message)
{
    const GLenum error = glGetError();
    ssMessage(2, "%s", message);
    return error != GL_NO_ERROR ? static_cast<int32_t>(error) : -1;
}

int32_t compile(GLuint shader, const char* source, const char* loadMessage, const char* compileMessage)
{
    glShaderSource(shader, 1, &source, nullptr);
    if (glGetError() != GL_NO_ERROR)
        return failure(loadMessage);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        const int32_t result = failure(compileMessage);
        logInfo(shader, false);
        return result;
    }
    return 0;
}

} // namespace

int32_t ssCompileShader(ssShader* shader, const char* vertexSource, const char* fragmentSource)
{
    if (const GLenum pending = glGetError(); pending != GL_NO_ERROR) {
        ssMessage(2, "Pending GL Error Cleared. %i", static_cast<int>(pending));
        while (glGetError() != GL_NO_ERROR) {
        }
    }
    ssShader made;
    int32_t result = 0;
    auto fail = [&](int32_t code) {
        ssDeleteShader(&made);
        return code;
    };
    made.vertexShader = glCreateShader(GL_VERTEX_SHADER);
    if (made.vertexShader == 0)
        return fail(failure("Shader Error:Create VS"));
    made.fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
    if (made.fragmentShader == 0)
        return fail(failure("Shader Error:Create FS"));
    if ((result = compile(made.vertexShader, vertexSource, "Shader Error:Load VS", "Shader Error:Compile VS")) != 0)
        return fail(result);
    if ((result = compile(made.fragmentShader, fragmentSource, "Shader Error:Load FS", "Shader Error:Compile FS")) != 0)
        return fail(result);
    made.program = glCreateProgram();
    glAttachShader(made.program, made.vertexShader);
    if (glGetError() != GL_NO_ERROR)
        return fail(failure("Shader Error:Attach VS"));
    glAttachShader(made.program, made.fragmentShader);
    if (glGetError() != GL_NO_ERROR)
        return fail(failure("Shader Error:Attach FS"));
    glLinkProgram(made.program);
    GLint linked = GL_FALSE;
    glGetProgramiv(made.program, GL_LINK_STATUS, &linked);
    if (const GLenum error = glGetError(); error != GL_NO_ERROR) {
        ssMessage(2, "Shader Error:glGetProgramiv = %X", static_cast<unsigned>(error));
        return fail(static_cast<int32_t>(error));
    }
    if (linked != GL_TRUE) {
        result = failure("Shader Error:glLinkProgram");
        logInfo(made.program, true);
        return fail(result);
    }
    *shader = made;
    return 0;
}

void ssDeleteShader(ssShader* shader)
{
    if (shader->program)
        glDeleteProgram(shader->program);
    if (shader->vertexShader)
        glDeleteShader(shader->vertexShader);
    if (shader->fragmentShader)
        glDeleteShader(shader->fragmentShader);
    *shader = ssShader{};
}
