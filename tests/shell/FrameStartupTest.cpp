// Start-up, zoom, model setting and shut-down of the frame.
#include <cstring>
#include <fstream>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include "platform/Paths.h"
#include "shell/Machinesetfrm.h"
#include "project/Msgtable.h"
#include "shell/Progfrm.h"
#include "project/Qelglobals.h"
#include "project/Settings.h"
#include "shell/Splashfrm.h"
#include "shell/Startup.h"
#include "shell/Titlepage.h"
#include "tests/shell/FrameFixture.h"
#include "tests/support/WaitLimit.h"

namespace fs = std::filesystem;

TEST_F(FrameTest, StartsWithMessagesSettingsAndWindowsInOrder) {
    // Settings of an earlier run: KD family, 8000 steps, zoom 1, hexadecimal values.
    SetDefaultSettings();
    gQel.Family = 1;
    gQel.CapacityIndex = 2;
    gQel.Zoom = 1;
    gQel.ValueFormat = 1;
    gQel.ComPort = 3;
    ASSERT_TRUE(WriteSettings());
    SetDefaultSettings();

    ASSERT_TRUE(Start());
    EXPECT_EQ(_QelMain, frame_.get());
    EXPECT_TRUE(frame_->isVisible());

    EXPECT_GE(gMsgTable.Count(), 249u);  // the file's table
    // The settings arrived and were applied to the buffers and the menus.
    EXPECT_EQ(gQel.Family, 1);
    EXPECT_EQ(gQel.CapacityIndex, 2);
    EXPECT_EQ(gProgramCapacity, 15840u);
    EXPECT_EQ(gQel.ComPort, 3);
    EXPECT_EQ(gCellWidth, 60);
    EXPECT_TRUE(frame_->Size75->isChecked());
    EXPECT_TRUE(frame_->Dig16->isChecked());
    EXPECT_EQ(gFileRegCount, 10000);

    for (const auto& [name, w] : frame_->StartupForms()) EXPECT_FALSE(w->isVisible()) << name;

    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(FrameTest, MissingMessageFileStopsStartUp) {
    fs::remove(home_ / "QEL.Txt");
    EXPECT_FALSE(Start());
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], "File " + (home_ / "QEL.Txt").string() + " was lost !!");
    EXPECT_EQ(_QelMain, nullptr);
}

TEST_F(FrameTest, SplashShowsTheDecodedPictureThenFreesItself) {
    ASSERT_TRUE(Start(/*splash=*/true));
    TSplash* splash = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* s = qobject_cast<TSplash*>(w); s && s->isVisible()) splash = s;
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->Picture().size(), QSize(420, 240));
    QPointer<TSplash> watch(splash);
    QTRY_VERIFY_WITH_TIMEOUT(watch.isNull(), qel::test::kWaitLimitMs);
}

TEST_F(FrameTest, ZoomItemsSetCellSizeAndFontFromTheTables) {
    ASSERT_TRUE(Start());
    QObject owner;
    std::vector<TZoomChange> changes;
    frame_->AddZoomListener(&owner, [&](const TZoomChange& c) { changes.push_back(c); });

    frame_->Size50->trigger();
    EXPECT_EQ(gQel.Zoom, 0);
    EXPECT_EQ(gCellWidth, 50);
    EXPECT_EQ(gCellHeight, 30);
    EXPECT_EQ(frame_->LadderFontSize(), 6);
    EXPECT_FALSE(frame_->MmZoomOut->isEnabled());

    frame_->Size200->trigger();
    EXPECT_EQ(gCellWidth, 110);
    EXPECT_EQ(gCellHeight, 90);
    EXPECT_EQ(frame_->LadderFontSize(), 12);
    EXPECT_TRUE(frame_->Size200->isChecked());
    EXPECT_FALSE(frame_->MmZoomIn->isEnabled());

    frame_->MmZoomOut->trigger();
    EXPECT_EQ(gCellWidth, 100);
    EXPECT_EQ(gCellHeight, 80);
    EXPECT_EQ(frame_->LadderFontSize(), 11);

    // Comment display doubles the height at the same zoom, and a zoom change
    // while it is on keeps it doubled.
    frame_->BnCmtType->trigger();
    EXPECT_EQ(gShowComments, 1);
    EXPECT_EQ(gCellHeight, 160);
    EXPECT_TRUE(frame_->MmCmtType->isChecked());
    frame_->Size100->trigger();
    EXPECT_EQ(gCellWidth, 70);
    EXPECT_EQ(gCellHeight, 100);
    frame_->MmCmtType->trigger();
    EXPECT_EQ(gShowComments, 0);
    EXPECT_EQ(gCellHeight, 50);

    // Every change reached the listening ladder windows with old and new sizes.
    ASSERT_EQ(changes.size(), 6u);
    EXPECT_EQ(changes[1].OldCellWidth, 50);
    EXPECT_EQ(changes[1].CellWidth, 110);
    EXPECT_EQ(changes[3].OldCellHeight, 80);
    EXPECT_EQ(changes[3].CellHeight, 160);
    EXPECT_EQ(changes[4].FontSize, 8);
}

TEST_F(FrameTest, ModelSettingDialogChangesFamilyAndCapacityKeepingTheProgramAndTheMonitorEntriesTheFamilyHas) {
    ASSERT_TRUE(Start());
    frame_->MmNew->trigger();
    PutSmallProgram();
    const std::vector<std::uint8_t> code(gProgram, gProgram + 6);
    ASSERT_EQ(gProgramUsed, 6u);

    frame_->MmMachineSet->trigger();
    ASSERT_TRUE(_MachineSet->isVisible());
    EXPECT_EQ(_MachineSet->MachineType_Box->currentIndex(), 0);
    EXPECT_FALSE(_MachineSet->ExtraMemChk->isEnabled());
    _MachineSet->MachineType_Box->setCurrentIndex(1);
    EXPECT_TRUE(_MachineSet->ExtraMemChk->isEnabled());
    _MachineSet->ExtraMemChk->setChecked(true);
    _MachineSet->Capacity_Box->setCurrentIndex(3);
    _MachineSet->OkBtn->click();

    EXPECT_FALSE(_MachineSet->isVisible());
    EXPECT_EQ(gQel.Family, 1);
    EXPECT_EQ(gQel.CapacityIndex, 3);
    EXPECT_EQ(gProgramCapacity, 31744u);
    EXPECT_EQ(gFileRegCount, 32768);
    EXPECT_EQ(static_cast<int>(gFileRegValues.size()), 32768);
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + 6), code);
    EXPECT_EQ(gProgram[6], 0xFF);
    EXPECT_EQ(gProgram[gProgramCapacity - 1], 0xFF);
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_TRUE(frame_->QelStaBar->Panel(5).contains("16000 Steps"));
    EXPECT_EQ(frame_->QelStaBar->Panel(4), "Steps: 3/15872");

    // Back to family 2 at the smallest capacity: the file registers follow the
    // family and the extra-memory box no longer applies.
    // Of the device monitor's entries it drops only those the family lacks.
    auto put = [](int i, const char* name) {
        gDevMoniEntries[i] = TDevMoniEntry{};
        std::memcpy(gDevMoniEntries[i].Name, name, std::strlen(name));
    };
    put(0, "D9000");  // KD has it, KE does not (D up to 4999)
    put(1, "M100");
    put(2, "D4000");
    gDevMoniEntryCount = 3;
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Ok);  // the entry KE lacks may go
    EXPECT_TRUE(frame_->ApplyModelSetting(2, 0, true));
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgMonitorBeyondFamily) + " D9000"});
    EXPECT_EQ(gFileRegCount, 1600);
    EXPECT_EQ(gProgramCapacity, 3616u);
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + 6), code);
    ASSERT_EQ(gDevMoniEntryCount, 2);
    EXPECT_STREQ(std::string(gDevMoniEntries[0].Name, 4).c_str(), "M100");
    EXPECT_STREQ(std::string(gDevMoniEntries[1].Name, 5).c_str(), "D4000");
    EXPECT_EQ(gDevMoniEntries[2].Name[0], 0);
}

TEST_F(FrameTest, SmallerCapacityThatCannotHoldTheProgramIsRefused) {
    ASSERT_TRUE(Start());
    frame_->MmNew->trigger();
    ASSERT_TRUE(frame_->ApplyModelSetting(0, 1, false));
    // Fill 4000 bytes with NOPs before END: more than the 3616 of index 0.
    for (std::uint32_t i = 0; i < 4000; i += 2) {
        gProgram[i] = 0xFF;
        gProgram[i + 1] = 0xFF;
    }
    gProgram[4000] = 0x0F;
    gProgram[4001] = 0x00;
    LocateProgramEnd();
    ASSERT_EQ(gProgramUsed, 4002u);
    messages_.Clear();

    _MachineSet->open();
    _MachineSet->Capacity_Box->setCurrentIndex(0);
    _MachineSet->OkBtn->click();
    EXPECT_TRUE(_MachineSet->isVisible()) << "the dialog stays open for another choice";
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(20));
    EXPECT_EQ(gQel.CapacityIndex, 1);
    EXPECT_EQ(gProgramCapacity, 7584u);
    EXPECT_EQ(gProgram[4000], 0x0F);
    _MachineSet->CancelBtn->click();
}

TEST_F(FrameTest, TitlePageStoresTheTextsAndMarksTheProject) {
    ASSERT_TRUE(Start());
    frame_->MmNew->trigger();
    frame_->MmTitle->trigger();
    ASSERT_TRUE(_TitlePage->isVisible());
    EXPECT_EQ(_TitlePage->FileName_Lab->text().toStdString(), gQel.ProgramFileName);
    _TitlePage->Title_Txt->setText("  Conveyor line 3 ");
    _TitlePage->Company_Txt->setText("工厂");
    _TitlePage->OkBtn->click();
    EXPECT_EQ(gQel.Title, "Conveyor line 3");
    EXPECT_EQ(gQel.Company, "工厂");
    EXPECT_EQ(gQel.Modified, 1);

    // Unchanged texts leave the project unmodified.
    gQel.Modified = 0;
    _TitlePage->open();
    _TitlePage->OkBtn->click();
    EXPECT_EQ(gQel.Modified, 0);
}

TEST_F(FrameTest, ShutDownRemovesTemporaryFilesAndWritesSettings) {
    ASSERT_TRUE(Start());
    const fs::path temp = qel::TempDir();
    // The comment files' stamps go with the other temporary files.
    for (const char* f : {"a.tms", "b.tml", "a.tck", "symtable.pas", "keep.txt"}) std::ofstream(temp / f) << "x";
    frame_->Size125->trigger();
    frame_->DigASCI->trigger();
    ASSERT_FALSE(fs::exists(home_ / "Qel.ini"));

    EXPECT_TRUE(frame_->close());
    EXPECT_TRUE(frame_->ShutDownDone());
    for (const char* f : {"a.tms", "b.tml", "a.tck", "symtable.pas"}) EXPECT_FALSE(fs::exists(temp / f)) << f;
    EXPECT_TRUE(fs::exists(temp / "keep.txt"));
    ASSERT_TRUE(fs::exists(home_ / "Qel.ini"));

    SetDefaultSettings();
    ASSERT_TRUE(ReadSettings());
    EXPECT_EQ(gQel.Zoom, 3);
    EXPECT_EQ(gQel.ValueFormat, 2);
    EXPECT_TRUE(messages_.Asked().empty()) << "nothing was modified, nothing to ask";
}

TEST_F(FrameTest, ProgressWindowShowsWholePercentages) {
    ASSERT_TRUE(Start());
    _ProgBar->StartProgress("Writing", 300, 16);
    EXPECT_TRUE(_ProgBar->isVisible());
    EXPECT_EQ(_ProgBar->windowTitle(), "Writing");
    EXPECT_EQ(_ProgBar->Num_Lab->text(), "0%");
    _ProgBar->ProgBar->setValue(100);
    _ProgBar->UpdatePercent();
    EXPECT_EQ(_ProgBar->Num_Lab->text(), "33%");
    for (int i = 0; i < 30; ++i) _ProgBar->StepIt();
    EXPECT_EQ(_ProgBar->ProgBar->value(), 300);
    EXPECT_EQ(_ProgBar->Num_Lab->text(), "100%");
    // A job with nothing to do shows complete instead of dividing by zero.
    _ProgBar->StartProgress("Empty", 0, 1);
    EXPECT_EQ(_ProgBar->Num_Lab->text(), "100%");
    _ProgBar->close();
}
