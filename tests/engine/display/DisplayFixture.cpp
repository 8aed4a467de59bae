#include "tests/engine/display/DisplayFixture.h"

#include <cstdlib>
#include <fstream>

void DisplayTest::SetUp()
{
    context_ = ssGLContext::CreateEngineContext();
    ASSERT_TRUE(context_) << "no EGL context";
    ASSERT_TRUE(context_->MakeCurrent());
    std::string pattern = (std::filesystem::temp_directory_path() / "klv-display-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
}

void DisplayTest::TearDown()
{
    if (framebuffer_) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &colour_);
    }
    if (context_)
        context_->DoneCurrent();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void DisplayTest::BindTarget(int width, int height)
{
    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(1, &colour_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
}

std::vector<uint8_t> DisplayTest::ReadPixels(int width, int height)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void DisplayTest::WriteResource(const std::string& relative, const std::vector<uint8_t>& bytes)
{
    const std::filesystem::path path = root_ / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good());
}

std::string DisplayTest::BuiltResources()
{
    const char* build = std::getenv("KLV_BINARY_DIR");
    return std::string(build ? build : ".") + "/resources";
}
