// The memory card dialog from the PLC menu against the emulator: the card
// status in its status bar, the program written to the card after the
// question, the PLC's own copy, and the family test of the copy command.
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>

#include <fstream>

#include "link/jobs/Memcard.h"
#include "link/windows/Memcarddlg.h"
#include "link/windows/Transdatafrm.h"
#include "tests/link/windows/LinkWindowFixture.h"

namespace {

class MemCardWindowTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        StartFrame();
        InstallProgramTransfer(frame_.get());
    }
};

}  // namespace

TEST_F(MemCardWindowTest, StatusWriteToCardAndCopyFromTheMenu) {
    SetModelFamily(1);
    SetProgramCapacity(3);
    gQel.CapacityIndex = 3;
    PutSmallProgram();
    emu_.S.cardPassword = std::string("abcd");
    ASSERT_TRUE(frame_->RunCommand("MmCardCodeRw"));
    ASSERT_NE(_MemCardDlg, nullptr);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(_MemCardDlg->CardMemStaBar->currentMessage().toStdString(), gMsgTable.Get(qel::link::kMsgCardHasPassword));

    // Written to the card after Yes; No sends nothing.
    messages_.QueueAnswer(qel::Answer::No);
    emu_.ClearLog();
    EXPECT_FALSE(_MemCardDlg->OkBtnClick());
    EXPECT_EQ(emu_.RequestCount(), 0u);
    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(_MemCardDlg->OkBtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(std::equal(gProgram, gProgram + 64, emu_.S.cardArea[4].begin()));

    // The PLC's own copy, card to PLC.
    emu_.S.cardArea[4][0] = 0x5A;
    _MemCardDlg->CardToPlcRdo->setChecked(true);
    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(_MemCardDlg->InterOK_BtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(emu_.S.program[0], 0x5A);
    _MemCardDlg->reject();

    // The comments of the checked lists to the card.
    gQel.DevComments[1].resize(8);
    gQel.DevComments[1][3] = "Lamp";
    ASSERT_TRUE(frame_->RunCommand("MmCardCmtRw"));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(_MemCardDlg->MemCard_Cmt_Rw_Grp->isVisible());
    EXPECT_FALSE(_MemCardDlg->MemCard_Code_Rw_Grp->isVisible());
    _MemCardDlg->DevChk[1]->setChecked(true);
    ASSERT_TRUE(_MemCardDlg->CmtOk_BtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(emu_.S.cardArea[1][0], 'Y');
    EXPECT_EQ(emu_.S.cardArea[1][3], 'L');
    _MemCardDlg->reject();

    // A user-instruction file, chosen and written after the question.
    const auto file = projects_ / "u.Bin";
    {
        std::ofstream out(file, std::ios::binary);
        out << "ABCD";
    }
    ASSERT_TRUE(frame_->RunCommand("MmUserInst"));
    ASSERT_TRUE(Idle());
    dialogs_.QueuePath(file.string());
    QTest::mouseClick(_MemCardDlg->CmdSet_Btn, Qt::LeftButton);
    _MemCardDlg->UserFun2Rdo->setChecked(true);
    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(_MemCardDlg->UserFunOk_BtnClick());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(std::string(emu_.S.cardArea[3].begin(), emu_.S.cardArea[3].begin() + 4), "ABCD");
    _MemCardDlg->reject();

    // A project of another family gets no copy dialog.
    SetModelFamily(2);
    messages_.Clear();
    frame_->RunCommand("MmPlcToCard");
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(qel::link::kMsgCardNotFamily));
    EXPECT_FALSE(_MemCardDlg->isVisible());
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}
