#pragma once
// Shared fixture of the shell state tests: a private install folder, scripted
// messages, fresh buffers, and a way to fill and compare whole projects.
#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "project/Qelglobals.h"
#include "tests/support/ScriptedMessages.h"

namespace shelltest {

// Everything a project consists of, copied out of the globals.
struct ProjectSnapshot {
    int family = 0, capacityIndex = 0;
    std::vector<std::uint8_t> program, ladder;
    std::vector<std::int32_t> pLabels, iLabels;
    std::string title, company, designer, programFile;
    std::array<std::vector<std::string>, kCommentListCount> comments;
    std::vector<std::string> rungComments;
    std::vector<std::uint8_t> monitor;
    std::vector<std::uint8_t> chart;
    std::vector<std::tuple<std::int32_t, std::int32_t, std::vector<std::uint8_t>>> chartRecords;
    bool operator==(const ProjectSnapshot&) const = default;
};

ProjectSnapshot TakeSnapshot();

// Fills the open project with seeded content: code, ladder rows (with block
// comments), labels, title page with Chinese text, device and rung comments,
// monitor rows.
void FillProject(int family, int capacityIndex, std::uint32_t seed);

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path Dir() const { return dir_; }
    std::string ProjectPath(const std::string& name) const { return (dir_ / name).string(); }

    qel::test::ScriptedMessages messages_;
    std::filesystem::path dir_;
};

}  // namespace shelltest
