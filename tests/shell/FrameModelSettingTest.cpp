// The model setting and the device comments: a family that lacks devices
// holding comments asks before the comments go, naming them; Cancel keeps the
// old model and every comment, also in the saved files.
#include <QComboBox>
#include <QPushButton>

#include <cstring>
#include <filesystem>

#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "shell/Machinesetfrm.h"
#include "tests/shell/FrameFixture.h"

namespace fs = std::filesystem;

TEST_F(FrameTest, ANewFamilyAsksBeforeItDropsDeviceCommentsAndCancelKeepsThemAll) {
    ASSERT_TRUE(Start());
    frame_->NewClick();
    ASSERT_TRUE(frame_->ApplyModelSetting(1, 0, false));  // KD-Series
    PutSmallProgram();
    ASSERT_TRUE(SetDeviceComment("X200", "Feed sensor"));  // KE-Series: X up to X177
    ASSERT_TRUE(SetDeviceComment("D6000", "Speed"));       // KE-Series: D up to D4999
    ASSERT_TRUE(SetDeviceComment("D7000", "Length"));
    ASSERT_TRUE(SetDeviceComment("D100", "Count"));        // every family has it
    const fs::path kzp = projects_ / "line.kzp";
    dialogs_.QueuePath(kzp.string());
    ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));

    // KE-Series: the question names how many comments of which devices go.
    messages_.Clear();
    _MachineSet->open();
    _MachineSet->MachineType_Box->setCurrentIndex(2);
    messages_.QueueAnswer(qel::Answer::Cancel);
    _MachineSet->OkBtn->click();
    ASSERT_EQ(messages_.Asked(),
              std::vector<std::string>{gMsgTable.Get(kMsgCommentsBeyondFamily) + " X 1 (X200), D 2 (D6000-D7000)"});
    // Cancel: the old model, every comment, and nothing to save.
    EXPECT_TRUE(_MachineSet->isVisible());
    EXPECT_EQ(gQel.Family, 1);
    EXPECT_EQ(gQel.Modified, 0);
    EXPECT_EQ(GetCommentByDeviceName("X200"), "Feed sensor");
    EXPECT_EQ(GetCommentByDeviceName("D6000"), "Speed");
    _MachineSet->CancelBtn->click();
    // What the files hold comes back whole.
    frame_->NewClick();
    dialogs_.QueuePath(kzp.string());
    frame_->OpenClick();
    ASSERT_EQ(gQel.ProgramFileName, kzp.string());
    EXPECT_EQ(GetCommentByDeviceName("X200"), "Feed sensor");
    EXPECT_EQ(GetCommentByDeviceName("D7000"), "Length");

    // OK: the comments the KE-Series lacks go, the others stay.
    messages_.Clear();
    _MachineSet->open();
    _MachineSet->MachineType_Box->setCurrentIndex(2);
    messages_.QueueAnswer(qel::Answer::Ok);
    _MachineSet->OkBtn->click();
    EXPECT_FALSE(_MachineSet->isVisible());
    EXPECT_EQ(gQel.Family, 2);
    EXPECT_EQ(GetCommentByDeviceName("X200"), "");
    EXPECT_EQ(GetCommentByDeviceName("D6000"), "");
    EXPECT_EQ(GetCommentByDeviceName("D100"), "Count");
    // A family that has every commented device asks nothing.
    EXPECT_TRUE(frame_->ApplyModelSetting(1, 0, false));
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(GetCommentByDeviceName("D100"), "Count");
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// The device monitor's entries of devices a new family lacks are named in the
// same question as the comments; Cancel keeps the old model, every entry and
// every comment, also as the project's files hold them.
TEST_F(FrameTest, ANewFamilyNamesTheMonitorEntriesItWouldDropWithTheComments) {
    ASSERT_TRUE(Start());
    frame_->NewClick();
    ASSERT_TRUE(frame_->ApplyModelSetting(1, 0, false));  // KD-Series
    PutSmallProgram();
    ASSERT_TRUE(SetDeviceComment("D6000", "Speed"));  // KE-Series: D up to D4999
    std::memset(gDevMoniEntries, 0, sizeof gDevMoniEntries);
    for (const char* name : {"D6000", "X200", "D100"})
        std::memcpy(gDevMoniEntries[gDevMoniEntryCount++].Name, name, std::strlen(name));
    const fs::path kzp = projects_ / "line.kzp";
    dialogs_.QueuePath(kzp.string());
    ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
    gDevMoniEntryCount = 0;
    dialogs_.QueuePath(kzp.string());
    frame_->OpenClick();
    ASSERT_EQ(gDevMoniEntryCount, 3);  // as the list file holds them

    const auto keTried = [&](qel::Answer answer) {
        messages_.Clear();
        _MachineSet->open();
        _MachineSet->MachineType_Box->setCurrentIndex(2);
        messages_.QueueAnswer(answer);
        _MachineSet->OkBtn->click();
    };
    keTried(qel::Answer::Cancel);
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgCommentsBeyondFamily) + " D 1 (D6000)\n" +
                                                          gMsgTable.Get(kMsgMonitorBeyondFamily) + " D6000, X200"});
    EXPECT_EQ(gQel.Family, 1);
    EXPECT_EQ(gDevMoniEntryCount, 3);
    EXPECT_EQ(GetCommentByDeviceName("D6000"), "Speed");
    EXPECT_EQ(gQel.Modified, 0);
    _MachineSet->CancelBtn->click();

    // With no comment to lose, the entries alone are asked about; OK drops
    // them and keeps the others in their order.
    ASSERT_TRUE(SetDeviceComment("D6000", ""));
    keTried(qel::Answer::Ok);
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgMonitorBeyondFamily) + " D6000, X200"});
    EXPECT_EQ(gQel.Family, 2);
    ASSERT_EQ(gDevMoniEntryCount, 1);
    EXPECT_EQ(std::string(gDevMoniEntries[0].Name), "D100");
    // And back: every entry left is the family's; nothing is asked.
    messages_.Clear();
    EXPECT_TRUE(frame_->ApplyModelSetting(1, 0, false));
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_EQ(gDevMoniEntryCount, 1);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}
