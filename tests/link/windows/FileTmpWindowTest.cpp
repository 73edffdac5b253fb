// The file-register template window in the frame, against the PLC emulator
// over a pseudo-terminal: values typed in each radix (refused texts change
// nothing), written to the PLC and read back through the transfer dialog, a
// template saved and reopened, a damaged or foreign template refused with the
// values kept, and no window for a family without file registers.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "link/jobs/Fileregs.h"
#include "link/windows/Filetmp.h"
#include "tests/link/windows/LinkWindowFixture.h"

namespace fs = std::filesystem;

namespace {

class FileTmpTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        emu_.Configure(2, 1, 90);
        StartFrame();
        InstallFileTemplate(frame_.get());
        gQel.Family = 2;
        SetFileRegCount(1600);
    }
    bool Type(TFileTmp* w, int index, const QString& text) {
        auto* m = w->PgRegGrid->model();
        return m->setData(m->index(index / 10, index % 10), text, Qt::EditRole);
    }
    QString Cell(TFileTmp* w, int index) {
        auto* m = w->PgRegGrid->model();
        return m->data(m->index(index / 10, index % 10), Qt::DisplayRole).toString();
    }
    bool Transfer(TFileTmp* w, bool write) {
        w->CommBtnClick();
        EXPECT_TRUE(w->Comm->isVisible());
        w->Comm->CommType_Box->setCurrentIndex(write ? 1 : 0);
        QTest::mouseClick(w->Comm->OkBtn, Qt::LeftButton);
        EXPECT_FALSE(w->Comm->isVisible());
        return PumpUntil([&] { return !w->Transferring(); }, std::chrono::seconds(20)) && Idle();
    }
};

}  // namespace

TEST_F(FileTmpTest, ValuesTypedWrittenReadBackSavedAndReopened) {
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    TFileTmp* w = _FileTmp;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->PgRegGrid->model()->rowCount(), 160);
    EXPECT_EQ(w->PgRegGrid->model()->headerData(159, Qt::Vertical).toString(), "1590");
    EXPECT_FALSE(w->ExtraMemChk->isEnabled());

    // Entry in each radix; texts that are no value change nothing.
    EXPECT_TRUE(Type(w, 0, "65535"));
    EXPECT_FALSE(Type(w, 1, "65536"));
    EXPECT_FALSE(Type(w, 1, "1x"));
    EXPECT_EQ(gFileRegValues[1], 0);
    QTest::mouseClick(w->SignRdo, Qt::LeftButton);
    EXPECT_EQ(Cell(w, 0), "-1");
    EXPECT_TRUE(Type(w, 2, "-32768"));
    EXPECT_FALSE(Type(w, 3, "-32769"));
    QTest::mouseClick(w->HexRdo, Qt::LeftButton);
    EXPECT_EQ(Cell(w, 2), "8000");
    EXPECT_FALSE(Type(w, 3, "1a2b"));
    EXPECT_TRUE(Type(w, 3, "1A2B"));
    EXPECT_EQ(gFileRegValues[3], 0x1A2B);
    EXPECT_EQ(w->Modified, 1);
    std::mt19937 rng(7);
    for (std::size_t i = 10; i < 1600; ++i) gFileRegValues[i] = static_cast<std::uint16_t>(rng());
    const std::vector<std::uint16_t> values = gFileRegValues;

    // To the PLC and back.
    ASSERT_TRUE(Transfer(w, true));
    EXPECT_EQ(emu_.S.fileRegs, values);
    std::fill(gFileRegValues.begin(), gFileRegValues.end(), 0);
    ASSERT_TRUE(Transfer(w, false));
    EXPECT_EQ(gFileRegValues, values);
    EXPECT_EQ(Cell(w, 3), "1A2B");

    // A partial range that does not fit is refused in the dialog.
    w->CommBtnClick();
    w->Comm->PartChk->setChecked(true);
    EXPECT_EQ(w->Comm->EndPost_Txt->text(), "1599");
    w->Comm->EndPost_Txt->setText("1600");
    EXPECT_FALSE(w->Comm->OkBtnClick());
    EXPECT_TRUE(w->Comm->isVisible());
    w->Comm->reject();

    // Saved, changed, reopened: the saved values and title come back.
    w->AskTitle = [](const std::string&, const std::string&) { return std::optional<std::string>("机台 A"); };
    w->FunTitleBtnClick();
    const std::string path = (projects_ / "regs.qft").string();
    w->SaveFileName = path;
    ASSERT_TRUE(w->SaveWithPrompt());
    EXPECT_EQ(std::filesystem::file_size(path), 3332u);
    EXPECT_EQ(w->Modified, 0);
    gFileRegValues[5] = 1;
    w->Title = "x";
    w->OpenFileName = path;
    ASSERT_TRUE(w->ReadQft());
    EXPECT_EQ(gFileRegValues, values);
    EXPECT_EQ(w->Title, "机台 A");

    // Through the Open command: a template of another family is refused; six
    // stray bytes are a damaged template, not one of another family; a FIFO or
    // a folder under the name cannot be opened. Each says so once, changes
    // nothing and never "Read completed".
    gFileRegValues[5] = 1;
    const fs::path other = projects_ / "other.qft", stray = projects_ / "stray.qft", fifo = projects_ / "fifo.qft",
                   folder = projects_ / "folder.qft";
    ASSERT_TRUE(qel::link::WriteQftFile(other, {.family = 1, .values = std::vector<std::uint16_t>(10000, 4)}));
    std::ofstream(stray, std::ios::binary) << "\x01\x02\x01\x00\x05\x06";  // family word 1
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    fs::create_directory(folder);
    for (const auto& [file, msg] :
         {std::pair{other, qel::link::kMsgFileRegOtherFamily}, std::pair{stray, qel::link::kMsgFileRegBadFile},
          std::pair{fifo, int{kMsgFileOpenFailed}}, std::pair{folder, int{kMsgFileOpenFailed}}}) {
        messages_.Clear();
        dialogs_.QueuePath(file.string());
        w->OpenWithPrompt();
        ASSERT_EQ(messages_.Shown().size(), 1u) << file;
        EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(msg) + " " + file.string());
        EXPECT_EQ(gFileRegValues[5], 1);
        EXPECT_EQ(gFileRegCount, 1600);
        EXPECT_EQ(w->Title, "机台 A");
    }

    // A new project would close the window: changed values are asked about
    // first; Cancel keeps the window and its values, No lets them go.
    EXPECT_TRUE(Type(w, 4, "9"));
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_TRUE(frame_->RunCommand("MmNew"));
    ASSERT_EQ(_FileTmp, w);
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_NE(messages_.Asked()[0].find(w->SaveFileName), std::string::npos);
    EXPECT_EQ(gFileRegValues[4], 9);
    messages_.QueueAnswer(qel::Answer::No);  // the template
    if (gQel.Modified) messages_.QueueAnswer(qel::Answer::No);  // then the program
    EXPECT_TRUE(frame_->RunCommand("MmNew"));
    EXPECT_EQ(_FileTmp, nullptr);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(FileTmpTest, FamilyWithoutFileRegistersGetsNoWindowAndTheCardGrowsFamily1) {
    gQel.Family = 0;
    SetFileRegCount(0);
    messages_.Clear();
    frame_->RunCommand("MmFileTmp");
    EXPECT_EQ(_FileTmp, nullptr);
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(qel::link::kMsgFileRegNone));

    gQel.Family = 1;
    SetFileRegCount(10000);
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    TFileTmp* w = _FileTmp;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->PgRegGrid->model()->rowCount(), 1000);
    ASSERT_TRUE(w->ExtraMemChk->isEnabled());
    QTest::mouseClick(w->ExtraMemChk, Qt::LeftButton);
    EXPECT_EQ(gFileRegCount, 32768);
    EXPECT_EQ(w->PgRegGrid->model()->rowCount(), 3277);
    EXPECT_TRUE(Type(w, 32767, "9"));
    EXPECT_EQ(gFileRegValues[32767], 9);
}
