#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Clock.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "tests/support/ScriptedMessages.h"

using namespace qel;

TEST(Messages, ScriptedServiceRecordsAndAnswersInOrderThenRestores) {
    {
        test::ScriptedMessages script;
        script.QueueAnswer(Answer::Yes);
        script.QueueAnswer(Answer::No);
        ShowMessage("one");
        EXPECT_EQ(AskQuestion("q1", AskButtons::YesNo), Answer::Yes);
        EXPECT_EQ(AskQuestion("q2", AskButtons::YesNoCancel), Answer::No);
        EXPECT_FALSE(script.UnscriptedQuestion());
        EXPECT_EQ(AskQuestion("q3", AskButtons::YesNoCancel), Answer::Cancel);
        EXPECT_TRUE(script.UnscriptedQuestion());
        EXPECT_EQ(script.Shown(), std::vector<std::string>{"one"});
        EXPECT_EQ(script.Asked().size(), 3u);
    }
    // The fallback never says yes to a question nobody answered.
    EXPECT_EQ(AskQuestion("fallback", AskButtons::YesNo), Answer::No);
    EXPECT_EQ(AskQuestion("fallback", AskButtons::YesNoCancel), Answer::Cancel);
}

TEST(Clock, ManualClockMovesOnlyWhenTold) {
    ManualClock clock(5000);
    EXPECT_EQ(clock.NowMs(), 5);
    clock.AdvanceMs(55);
    EXPECT_EQ(clock.NowUs(), 60000);
    auto a = SystemClock().NowUs();
    auto b = SystemClock().NowUs();
    EXPECT_LE(a, b);
}

TEST(Paths, InstallDirFollowsSettingAndTempIsCreatedInside) {
    auto dir = std::filesystem::temp_directory_path() / "qel-paths-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    SetInstallDir(dir);
    EXPECT_EQ(InstallDir(), dir);
    EXPECT_EQ(TempDir(), dir / "Temp");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "Temp"));
    std::filesystem::remove_all(dir);
}
