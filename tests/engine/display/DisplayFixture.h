#pragma once
// A display test with an EGL surfaceless context current, a framebuffer to draw into, and a
// temporary resource root that is removed afterwards.
#include "engine/display/ssDisplayGL.h"
#include "platform/gl/ssGLContext.h"
#include "tests/support/EngineLog.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class DisplayTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A colour framebuffer of the display's size, bound for drawing.
    void BindTarget(int width, int height);
    // RGBA bytes of the bound framebuffer, bottom row first.
    std::vector<uint8_t> ReadPixels(int width, int height);
    void WriteResource(const std::string& relative, const std::vector<uint8_t>& bytes);
    std::string Root() const { return root_.string(); }
    // Built resources: shaders and misc.ark.
    static std::string BuiltResources();

    std::unique_ptr<ssGLContext> context_;
    std::filesystem::path root_;
    GLuint framebuffer_ = 0;
    GLuint colour_ = 0;
};

