// The frame's project commands: a modified program is never dropped.
#include <fstream>

#include <QAction>
#include <QMenu>

#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Startup.h"
#include "tests/shell/FrameFixture.h"

namespace fs = std::filesystem;
using qel::Answer;

namespace {

std::vector<std::uint8_t> Image() { return {gProgram, gProgram + gProgramCapacity}; }

}  // namespace

TEST_F(FrameTest, SaveAsThenOpenRestoresTheProgramThroughTheCommands) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(frame_->MmSave->isEnabled()) << "nothing to save before New or Open";
    frame_->MmNew->trigger();
    EXPECT_TRUE(frame_->MmSave->isEnabled());
    PutSmallProgram();
    gQel.Title = "Mixer";
    gQel.Modified = 1;
    const auto saved = Image();

    const std::string path = (projects_ / "mixer.kzp").string();
    dialogs_.QueuePath(path);
    frame_->BnSave->trigger();  // unnamed: Save goes through Save As
    EXPECT_EQ(dialogs_.Calls(), 1);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(gQel.Modified, 0);
    EXPECT_EQ(gQel.Named, 1);
    EXPECT_EQ(gQel.ProgramFileName, path);
    ASSERT_FALSE(gQel.RecentFiles.empty());
    EXPECT_EQ(gQel.RecentFiles[0], path);
    // The title holds the program's name once, at its end, where the desktop
    // would add the application's display name otherwise.
    const QString title = frame_->windowTitle();
    EXPECT_TRUE(title.contains("mixer.kzp"));
    EXPECT_EQ(title.count("QEL"), 1) << title.toStdString();
    EXPECT_TRUE(title.endsWith("QEL")) << title.toStdString();

    // A second Save writes to the same file without a dialog.
    gQel.Modified = 1;
    frame_->MmSave->trigger();
    EXPECT_EQ(dialogs_.Calls(), 1);
    EXPECT_EQ(gQel.Modified, 0);

    frame_->MmNew->trigger();
    EXPECT_EQ(gProgram[0], 0xFF);
    EXPECT_TRUE(gQel.Title.empty());
    EXPECT_NE(gQel.ProgramFileName, path);

    dialogs_.QueuePath(path);
    frame_->MmOpen->trigger();
    EXPECT_EQ(Image(), saved);
    EXPECT_EQ(gQel.Title, "Mixer");
    EXPECT_EQ(gQel.ProgramFileName, path);
    EXPECT_EQ(gQel.Modified, 0);
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_TRUE(messages_.Shown().empty());

    // The file named on the command line is opened at start.
    frame_->close();
    frame_.reset();
    frame_.reset(StartQel({QString::fromStdString(path)}, TStartupOptions{false, 0}));
    ASSERT_TRUE(frame_);
    EXPECT_EQ(gQel.ProgramFileName, path);
    EXPECT_EQ(Image(), saved);
    EXPECT_EQ(gQel.ProgramPresent, 1);
}

TEST_F(FrameTest, RecentFileEntryOpensItsProgramWithItsModel) {
    ASSERT_TRUE(Start());
    frame_->MmNew->trigger();
    ASSERT_TRUE(frame_->ApplyModelSetting(1, 0, false));
    PutSmallProgram();
    const auto saved = Image();
    dialogs_.QueuePath((projects_ / "pump.kzp").string());
    frame_->MmSaveAs->trigger();
    frame_->MmNew->trigger();
    ASSERT_TRUE(frame_->ApplyModelSetting(0, 0, false));
    ASSERT_EQ(gFileRegCount, 0);
    gQel.Modified = 0;  // nothing to ask about before the recent file opens
    ASSERT_EQ(gProgram[0], 0xFF);

    const auto entries = frame_->RecentMenu->actions();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_TRUE(entries[0]->text().contains("pump.kzp"));
    entries[0]->trigger();
    EXPECT_EQ(Image(), saved);
    EXPECT_EQ(gQel.ProgramFileName, (projects_ / "pump.kzp").string());
    // The file's family brings its file registers, as the model setting does.
    EXPECT_EQ(gQel.Family, 1);
    EXPECT_EQ(gFileRegCount, 10000);
    EXPECT_TRUE(frame_->QelStaBar->Panel(5).startsWith("KD-Series"));
}

TEST_F(FrameTest, CancelOrARefusedFileKeepsAModifiedProgram) {
    ASSERT_TRUE(Start());
    frame_->MmNew->trigger();
    PutSmallProgram();
    gQel.Modified = 1;
    const auto before = Image();
    const std::string name = gQel.ProgramFileName;

    messages_.QueueAnswer(Answer::Cancel);
    frame_->MmNew->trigger();
    messages_.QueueAnswer(Answer::Cancel);
    frame_->MmOpen->trigger();
    messages_.QueueAnswer(Answer::Cancel);
    EXPECT_FALSE(frame_->close());

    ASSERT_EQ(messages_.Asked().size(), 3u);
    for (const auto& q : messages_.Asked()) EXPECT_EQ(q.rfind(gMsgTable.Get(kMsgSaveChanges), 0), 0u) << q;
    EXPECT_EQ(dialogs_.Calls(), 0) << "Open asks before its file dialog";
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_EQ(gQel.ProgramFileName, name);
    EXPECT_TRUE(frame_->isVisible());
    EXPECT_FALSE(frame_->ShutDownDone());
    EXPECT_FALSE(fs::exists(home_ / "Qel.ini")) << "a cancelled exit writes nothing";

    // Not saved, and the file chosen is then refused: the project stays.
    const fs::path bad = projects_ / "bad.kzp";
    std::ofstream(bad, std::ios::binary) << "not a program";
    messages_.QueueAnswer(Answer::No);
    dialogs_.QueuePath(bad.string());
    frame_->MmOpen->trigger();
    EXPECT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(gQel.ProgramFileName, name);
    EXPECT_EQ(gQel.Modified, 1);
}

TEST_F(FrameTest, YesSavesUnlessItsDialogIsCancelledNoDiscardsAndExitSaves) {
    ASSERT_TRUE(Start());
    frame_->MmNew->trigger();
    PutSmallProgram();
    gQel.Modified = 1;
    const auto before = Image();

    // Yes, then the Save As dialog is cancelled: nothing was saved, so New stops.
    messages_.QueueAnswer(Answer::Yes);
    frame_->MmNew->trigger();
    EXPECT_EQ(dialogs_.Calls(), 1);
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(gQel.Modified, 1);

    // Yes with a file chosen: saved, then the new project replaces it.
    const std::string path = (projects_ / "kept.kzp").string();
    messages_.QueueAnswer(Answer::Yes);
    dialogs_.QueuePath(path);
    frame_->MmNew->trigger();
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(gProgram[0], 0xFF);
    EXPECT_EQ(gQel.Modified, 0);

    dialogs_.QueuePath(path);
    frame_->MmOpen->trigger();
    EXPECT_EQ(Image(), before);

    // No discards the changes; Yes at exit saves them.
    gQel.Modified = 1;
    messages_.QueueAnswer(Answer::No);
    frame_->MmNew->trigger();
    EXPECT_EQ(gProgram[0], 0xFF);
    PutSmallProgram();
    gQel.Modified = 1;
    const std::string atExit = (projects_ / "atexit.kzp").string();
    messages_.QueueAnswer(Answer::Yes);
    dialogs_.QueuePath(atExit);
    EXPECT_TRUE(frame_->close());
    EXPECT_TRUE(frame_->ShutDownDone());
    EXPECT_TRUE(fs::exists(atExit));
}
