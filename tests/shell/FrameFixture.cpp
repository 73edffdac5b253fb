#include "tests/shell/FrameFixture.h"

#include <QCoreApplication>

#include "core/Codetranslate.h"
#include "core/ProgramImage.h"
#include "ladder/model/Laddercompile.h"
#include "project/Qelglobals.h"
#include "sfc/model/Sfcelement.h"
#include "shell/Startup.h"
#include "tests/support/TestInstallDir.h"

namespace fs = std::filesystem;

void FrameTest::SetUp() {
    home_ = qel::test::MakeTestInstallDir("qel-frame-", {"QEL.Txt", "DeviceCommentInit.txt", "Splash.jpg"});
    ASSERT_FALSE(home_.empty());
    projects_ = home_ / "projects";
    fs::create_directories(projects_);
}

void FrameTest::TearDown() {
    if (frame_) {
        frame_->Link = {};
        // Nothing is modified any more unless a test left it so on purpose.
        gQel.Modified = 0;
        frame_->close();
        frame_.reset();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::error_code ec;
    fs::remove_all(home_, ec);
}

bool FrameTest::Start(bool splash) {
    // The models' judgements are lent to the project as main() lends them.
    InstallLadderCodeCheck();
    InstallSfcChartJudge();
    TStartupOptions options;
    options.ShowSplash = splash;
    options.SplashMs = 50;
    frame_.reset(StartQel({}, options));
    return frame_ != nullptr;
}

void FrameTest::PutProgram(std::initializer_list<const char*> lines) {
    EraseCode(gProgram, gProgramCapacity);
    std::uint32_t used = 0;
    for (const char* line : lines) {
        ASSERT_TRUE(SetInputText(line)) << line;
        ASSERT_EQ(AssembleInstruction(), 1) << line;
        ASSERT_TRUE(InsertInstruction(gProgram, gProgramCapacity, used, used, gInsnBuf.code, gInsnBuf.length)) << line;
    }
    LocateProgramEnd();
}

void FrameTest::PutSmallProgram() {
    const std::uint16_t words[] = {0x2400, 0xC500, 0x000F};  // LD X0, OUT Y0, END
    for (size_t i = 0; i < 3; ++i) {
        gProgram[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
        gProgram[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
    }
    LocateProgramEnd();
}

std::string FrameTest::SaveProgram(const fs::path& path, std::initializer_list<const char*> lines, bool keepLadder) {
    frame_->NewClick();
    PutProgram(lines);
    dialogs_.QueuePath(path.string());
    EXPECT_TRUE(frame_->RunCommand("MmSaveAs"));
    if (!keepLadder) {
        EXPECT_TRUE(fs::remove(fs::path(path).replace_extension(".lad")));
    }
    frame_->NewClick();
    return path.string();
}
