#include "engine/display/ssDisplayGL.h"

#include "engine/base/ssMessage.h"
#include "engine/display/ssFontGL.h"
#include "engine/texture/ssTexture.h"

#include <epoxy/gl.h>

namespace {

struct UploadFormat
{
    GLint internalFormat;
    GLenum format;
    GLenum type;
    int bytesPerPixel;
};

// GL layout of each texture type; false for types with no upload path here.
bool uploadFormat(int32_t type, UploadFormat& out)
{
    switch (type) {
    case ssTexIndexed8:
        out = {GL_LUMINANCE8, GL_LUMINANCE, GL_UNSIGNED_BYTE, 1};
        return true;
    case ssTexRGB:
        out = {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, 3};
        return true;
    case ssTexRGBA:
    case ssTexRGBAAlt:
        out = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 4};
        return true;
    case ssTexRGB565:
        out = {GL_RGB, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2};
        return true;
    case ssTexRGBA4444:
        out = {GL_RGBA4, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4, 2};
        return true;
    case ssTexLuminanceAlpha:
        out = {GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 2};
        return true;
    default:
        return false;
    }
}

} // namespace

ssDisplayGL::ssDisplayGL(float scale, const char* resourceRoot) : ssDisplay(scale, resourceRoot) {}

ssDisplayGL::~ssDisplayGL()
{
    ReleaseAll();
}

void ssDisplayGL::Resize(int32_t width, int32_t height)
{
    ssDisplay::Resize(width, height);
    glViewport(0, 0, width, height);
}

ssFont* ssDisplayGL::CreateFont()
{
    return new ssFontGL(this, depth_);
}

int32_t ssDisplayGL::BeginFrame()
{
    glViewport(0, 0, width_, height_);
    glClearDepth(1.0);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glShadeModel(GL_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const GLfloat ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat diffuse[] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat position[] = {0.0f, 0.0f, 2.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_TEXTURE_1D);
    glEnable(GL_TEXTURE_RECTANGLE);
    return 0;
}

int32_t ssDisplayGL::UploadTexture(ssTexture* texture, int32_t filter)
{
    while (glGetError() != GL_NO_ERROR) {
    }
    UploadFormat format{GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 4};
    bool usable = uploadFormat(texture->type, format);
    if (texture->type == ssTexCompressedAlpha)
        ssMessage(2, "Loading compressed - with alpha");
    else if (texture->type == ssTexCompressed)
        ssMessage(2, "Loading compressed");
    if (!usable) {
        // Compressed containers carry data in a layout this GL has no upload for.
        ssMessage(2, "Texture %s of type %d refused: no upload path", texture->name.c_str(), texture->type);
        texture->Clear();
    } else if (texture->pixels.size()
        < static_cast<size_t>(texture->width) * texture->height * format.bytesPerPixel) {
        ssMessage(2, "Texture %s holds fewer pixels than its size", texture->name.c_str());
        texture->Clear();
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_RECTANGLE, name);
    const GLint sampling = filter ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, sampling);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MAG_FILTER, sampling);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, format.internalFormat, texture->width, texture->height, 0, format.format,
        format.type, nullptr);
    if (texture->width > 0 && texture->height > 0)
        glTexSubImage2D(GL_TEXTURE_RECTANGLE, 0, 0, 0, texture->width, texture->height, format.format, format.type,
            texture->pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    texture->glName = static_cast<int32_t>(name);
    if (glGetError() != GL_NO_ERROR)
        ssMessage(2, "Error Loading texture %s %d %d", texture->name.c_str(), texture->width, texture->height);
    return 0;
}

int32_t ssDisplayGL::DeleteTexture(ssTexture* texture)
{
    if (texture->glName != -1 && !abandoned_) {
        const GLuint name = static_cast<GLuint>(texture->glName);
        glDeleteTextures(1, &name);
    }
    texture->glName = -1;
    if (currentTexture_ == texture)
        currentTexture_ = nullptr;
    ssMessage(2, "Removing %s", texture->name.c_str());
    return 0;
}

int32_t ssDisplayGL::BindTexture(ssTexture* texture)
{
    if (!texture) {
        glDisable(GL_TEXTURE_RECTANGLE);
        glBindTexture(GL_TEXTURE_RECTANGLE, 0);
        currentTexture_ = nullptr;
        return 0;
    }
    if (texture->glName == -1) {
        ssMessage(2, "Invalid texture ID %s", texture->name.c_str());
        return -1;
    }
    glEnable(GL_TEXTURE_RECTANGLE);
    glBindTexture(GL_TEXTURE_RECTANGLE, static_cast<GLuint>(texture->glName));
    currentTexture_ = texture;
    return 0;
}
