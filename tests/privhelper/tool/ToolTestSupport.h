#pragma once
// A running tool over a scratch tree: <tree>/media is the allowed root, <tree>/outside is not.

#include "tests/privhelper/support/ScratchTree.h"
#include "tests/privhelper/support/ToolProcess.h"
#include "privhelper/shared/HelperService.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>

class ToolTest : public ::testing::Test {
protected:
    void startTool(const std::string& extraConfig = {}, const std::vector<std::string>& extraArgs = {})
    {
        media_ = tree_.makeDirectory("media");
        outside_ = tree_.makeDirectory("outside");
        tool_ = std::make_unique<privtest::ToolProcess>(
            tree_.path(), "allow-uid " + std::to_string(::geteuid()) + "\nroot " + media_ + "\n"
                + extraConfig,
            0644, extraArgs);
        ASSERT_TRUE(tool_->started()) << tool_->log();
    }

    privtest::ScratchTree tree_;
    std::string media_;
    std::string outside_;
    std::unique_ptr<privtest::ToolProcess> tool_;
};
