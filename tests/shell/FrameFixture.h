#pragma once
// A frame started as main() starts it, over a private install folder that
// holds copies of the program's data files.
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "shell/Qelmain.h"
#include "tests/shell/ScriptedFileDialogs.h"
#include "tests/support/ScriptedMessages.h"

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Runs start-up; false when it stopped.
    bool Start(bool splash = false);
    /// Writes LD X0 / OUT Y0 / END into the program image.
    static void PutSmallProgram();
    /// Assembles instruction-list lines into the program image, as the editor does.
    static void PutProgram(std::initializer_list<const char*> lines);
    /// Saves the lines as a new program at `path` through Save As, without its
    /// ladder file unless kept (opening then draws the ladder from the code),
    /// and starts a new project; returns the path.
    std::string SaveProgram(const std::filesystem::path& path, std::initializer_list<const char*> lines,
                            bool keepLadder = false);

    std::filesystem::path home_;      ///< the install folder of this test
    std::filesystem::path projects_;  ///< where the test's program files go
    qel::test::ScriptedMessages messages_;
    ScriptedFileDialogs dialogs_;
    std::unique_ptr<TQelMain> frame_;
};
