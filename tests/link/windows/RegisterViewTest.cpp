// The register view in the frame: opened from the View menu with the
// program's register file, typed values with their checks, pages and display
// options, saving and opening register files through the frame's commands, a
// read and a write of the PLC through its transfer dialog against the
// emulator, and register pages printed as PDF.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <filesystem>
#include <functional>
#include <fstream>
#include <functional>
#include <random>
#include <sys/stat.h>

#include "link/jobs/Fileregs.h"
#include "link/jobs/Registertransfer.h"
#include "link/render/Registerpainter.h"
#include "link/windows/Devreg.h"
#include "link/windows/Filetmp.h"
#include "shell/Celledit.h"
#include "shell/Progfrm.h"
#include "tests/link/windows/LinkWindowFixture.h"
#include "tests/tools/windows/PdfProbe.h"

namespace fs = std::filesystem;

namespace {

// A command run over a value typed into a grid without Enter (or Enter
// itself), and the value it then finds where it should have gone. A row whose
// text the cell's check refuses expects message 0 alone; a command it stopped
// leaves the text in the cell's open editor, while Enter closes the editor and
// the cell shows `kept`, its old value, again.
struct TakenInRow {
    const char* name;
    const char* typed;
    std::vector<qel::Answer> answers;  // to the questions the command asks
    std::function<int()> run;
    int expected;
    const char* kept = nullptr;  // Enter on a refused text: what the cell shows
};

// Enter pressed in the open cell editor of `grid`, as the user does: the
// grid takes the text in on the loop's next turn and closes the editor, and a
// refusal is said after that. False when no cell was being edited or the
// editor stayed open.
bool PressEnterInCell(QTableView* grid) {
    QWidget* editor = grid ? OpenCellEditor(grid) : nullptr;
    if (!editor) return false;
    QTest::keyClick(editor, Qt::Key_Return);
    if (!PumpUntil([&] { return !OpenCellEditor(grid); })) return false;
    QCoreApplication::sendPostedEvents();
    return true;
}

// `grid` opens the window when needed; the text goes into value `index`.
void RunTakenInRows(qel::test::ScriptedMessages& messages, const std::vector<TakenInRow>& rows,
                    const std::function<QTableView*()>& grid, int index, const std::string& refused) {
    for (const TakenInRow& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(TypeWithoutEnter(grid(), index, row.typed));
        messages.Clear();
        for (qel::Answer a : row.answers) messages.QueueAnswer(a);
        EXPECT_EQ(row.run(), row.expected);
        EXPECT_FALSE(messages.UnscriptedQuestion());
        if (row.typed != refused && !row.kept) continue;
        EXPECT_EQ(messages.Shown(), std::vector<std::string>{gMsgTable.Get(0)});
        QTableView* view = grid();
        ASSERT_NE(view, nullptr);
        auto* editor = qobject_cast<QLineEdit*>(OpenCellEditor(view));
        if (row.kept) {
            EXPECT_EQ(editor, nullptr);
            EXPECT_EQ(view->model()->index(index / 10, index % 10).data().toString().toStdString(), row.kept);
            continue;
        }
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->text().toStdString(), refused);
    }
}

class RegisterViewTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        StartFrame();
        InstallRegisterView(frame_.get());
        _TransData->SetComTmrIntervalMs(0);
    }
    TDevReg* OpenView() {
        EXPECT_TRUE(frame_->Action("MmViewReg")->isEnabled());
        frame_->Action("MmViewReg")->trigger();
        EXPECT_NE(_DevReg, nullptr);
        return _DevReg;
    }
    // Opens the cell editor of register index i, as a double click or F2 does.
    QLineEdit* Edit(TDevReg* v, int i) { return EditCell(v->RegGrid, i); }
    // Types a text into the cell of register index i and presses Enter.
    void Type(TDevReg* v, int i, const QString& text) { TypeInCell(v->RegGrid, i, text); }
    bool Enabled(const char* name) const { return frame_->Action(name)->isEnabled(); }
};

TEST_F(RegisterViewTest, OpensWithTheProgramsRegisterFileAndChecksTypedValues) {
    // A program named motor with a save folder: motor.kzl there is loaded.
    gQel.BaseName = (projects_ / "motor").string();
    gQel.Named = 1;
    gQel.SaveDir = projects_.string();
    qel::link::TRegisterData file;
    file.DRegs[3] = 77;
    file.Title = "Line 4";
    ASSERT_TRUE(qel::link::WriteRegisterFile((projects_ / "motor.kzl").string(), file, gQel.Family, 0));
    TDevReg* v = OpenView();
    ASSERT_TRUE(v);
    EXPECT_EQ(gActiveView, TDevReg::kView);
    EXPECT_EQ(v->CellText(1, 4), "77");
    EXPECT_TRUE(v->ViewStatus->text().endsWith(":Line 4"));
    EXPECT_TRUE(Enabled("MmSave") && Enabled("BnPrn"));
    EXPECT_FALSE(Enabled("MmZoomIn") || Enabled("MmUndo"));
    // Family 0: 133 rows of D, D600 "No Use".
    EXPECT_EQ(v->RegGrid->model()->rowCount(), 132);
    EXPECT_EQ(v->CellText(61, 1), "No Use");

    Type(v, 5, "123");
    EXPECT_EQ(v->Data.DRegs[5], 123);
    EXPECT_EQ(v->Modified, 1);
    Type(v, 5, "-5");
    ASSERT_TRUE(PumpUntil([&] { return !messages_.Shown().empty(); }));
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(0));
    EXPECT_EQ(v->Data.DRegs[5], 123);
    EXPECT_EQ(v->CellText(1, 6), "123");
    // Down commits like Enter and moves to the register below.
    {
        QLineEdit* editor = Edit(v, 8);
        ASSERT_TRUE(editor);
        QTest::keyClicks(editor, "88");
        QTest::keyClick(editor, Qt::Key_Down);
        EXPECT_EQ(v->Data.DRegs[8], 88);
        EXPECT_EQ(v->RegGrid->currentIndex(), v->RegGrid->model()->index(1, 8));
    }
    Type(v, 700, "5");  // no such register
    EXPECT_EQ(v->CellText(71, 1), "No Use");

    // The counter page is 32-bit only; hexadecimal shows upper-case digits.
    v->PgContrl->setCurrentIndex(qel::link::kRegPageC32);
    EXPECT_TRUE(v->Len32->isChecked());
    EXPECT_FALSE(v->DigLenGp->isEnabled());
    v->PgContrl->setCurrentIndex(qel::link::kRegPageD);
    EXPECT_TRUE(v->DigLenGp->isEnabled());
    v->TypeHex->click();
    EXPECT_EQ(v->CellText(1, 6), "7B");

    // Save over the file (overwrite: Yes), then an open of another model's
    // file is refused and changes nothing.
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_EQ(v->Modified, 0);
    qel::link::TRegisterData read;
    ASSERT_EQ(qel::link::ReadRegisterFile((projects_ / "motor.kzl").string(), 0, read), qel::link::TRegFileResult::Ok);
    EXPECT_EQ(read.DRegs[5], 123);
    ASSERT_TRUE(qel::link::WriteRegisterFile((projects_ / "other.kzl").string(), file, 1, 0));
    dialogs_.QueuePath((projects_ / "other.kzl").string());
    const qel::link::TRegisterData before = v->Data;
    EXPECT_TRUE(frame_->RunCommand("MmOpen"));
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(220) + " " + (projects_ / "other.kzl").string());
    EXPECT_EQ(v->Data, before);

    // The title button asks for the title; the status line shows it.
    v->AskTitle = [](const std::string& caption, const std::string& current) -> std::optional<std::string> {
        EXPECT_EQ(caption, "功能标题");
        return current + " B";
    };
    QTest::mouseClick(v->FunTitleBtn, Qt::LeftButton);
    EXPECT_EQ(v->Data.Title, "Line 4 B");
    EXPECT_TRUE(v->ViewStatus->text().endsWith(":Line 4 B"));
    // Clear all asks, then zeroes the page.
    messages_.QueueAnswer(qel::Answer::Yes);
    QTest::mouseClick(v->ClearAllBtn, Qt::LeftButton);
    EXPECT_EQ(v->Data.DRegs[5], 0);
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(140));

    // Closing with changes asks; Cancel keeps the window.
    Type(v, 6, "1");
    messages_.QueueAnswer(qel::Answer::Cancel);
    v->parentWidget()->close();
    QApplication::processEvents();
    EXPECT_EQ(_DevReg, v);

    // New, and a file from the recent list, ask about the changed values
    // first: Cancel keeps everything.
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_TRUE(frame_->RunCommand("MmNew"));
    EXPECT_EQ(_DevReg, v);
    EXPECT_EQ(gQel.Modified, 0);  // register values are not the program's changes
    gQel.RecentFiles.insert(gQel.RecentFiles.begin(), (projects_ / "elsewhere.kzp").string());
    messages_.QueueAnswer(qel::Answer::Cancel);
    frame_->OpenRecentFile(0);
    EXPECT_EQ(_DevReg, v);
    EXPECT_EQ(v->Data.DRegs[6], 1);

    // A new model setting saves the changed values first, then the window goes.
    v->SaveFileName = (projects_ / "before-model.kzl").string();
    EXPECT_TRUE(frame_->ApplyModelSetting(1, 0, false));
    EXPECT_EQ(_DevReg, nullptr);
    ASSERT_EQ(qel::link::ReadRegisterFile((projects_ / "before-model.kzl").string(), 0, read), qel::link::TRegFileResult::Ok);
    EXPECT_EQ(read.DRegs[6], 1);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
    SetModelFamily(0);
}

TEST_F(RegisterViewTest, ATitleOrAClearedPageIsAChangeThatClosingAndNewAskToSave) {
    gQel.BaseName = (projects_ / "press").string();
    gQel.Named = 1;  // the program press, named by the user
    gQel.SaveDir = projects_.string();
    const std::string kzl = (projects_ / "press.kzl").string();
    qel::link::TRegisterData file;
    file.DRegs[5] = 77;
    file.Title = "Line 1";
    ASSERT_TRUE(qel::link::WriteRegisterFile(kzl, file, gQel.Family, 0));
    qel::link::TRegisterData read;

    // A new title: New and closing ask about it, naming the register file;
    // Cancel keeps the window and the title.
    TDevReg* v = OpenView();
    ASSERT_TRUE(v);
    v->AskTitle = [](const std::string&, const std::string&) { return std::optional<std::string>("Line 2"); };
    QTest::mouseClick(v->FunTitleBtn, Qt::LeftButton);
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_TRUE(frame_->RunCommand("MmNew"));
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(messages_.Asked()[0], gMsgTable.Get(kMsgSaveChanges) + "\n" + kzl + "?");
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_FALSE(CloseWindow(v));
    ASSERT_EQ(_DevReg, v);
    // Yes (and Yes to overwrite): the file holds the new title.
    messages_.QueueAnswer(qel::Answer::Yes);
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(CloseWindow(v));
    EXPECT_EQ(_DevReg, nullptr);
    ASSERT_EQ(qel::link::ReadRegisterFile(kzl, gQel.Family, read), qel::link::TRegFileResult::Ok);
    EXPECT_EQ(read.Title, "Line 2");
    EXPECT_EQ(read.DRegs[5], 77);

    // A confirmed clear of the page: closing asks, Yes saves the zeros.
    v = OpenView();
    ASSERT_TRUE(v);
    messages_.QueueAnswer(qel::Answer::Yes);  // clear the page
    QTest::mouseClick(v->ClearAllBtn, Qt::LeftButton);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(CloseWindow(v));
    ASSERT_EQ(messages_.Asked().size(), 2u);
    EXPECT_EQ(messages_.Asked()[0], gMsgTable.Get(kMsgSaveChanges) + "\n" + kzl + "?");
    ASSERT_EQ(qel::link::ReadRegisterFile(kzl, gQel.Family, read), qel::link::TRegFileResult::Ok);
    EXPECT_EQ(read.DRegs[5], 0);
    EXPECT_EQ(gQel.Modified, 0);  // the program was not changed
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// A new model setting saves the view's changes before its window goes with
// the others: a save that is cancelled keeps the model, the window and the
// values; one that goes through lets the model change.
TEST_F(RegisterViewTest, ANewModelWhoseSaveOfTheValuesIsCancelledChangesNothing) {
    gQel.BaseName = (projects_ / "mixer").string();
    gQel.Named = 1;  // the program mixer, named by the user
    gQel.SaveDir = projects_.string();
    const std::string kzl = (projects_ / "mixer.kzl").string();
    qel::link::TRegisterData file;
    file.DRegs[5] = 77;
    ASSERT_TRUE(qel::link::WriteRegisterFile(kzl, file, gQel.Family, 0));
    TDevReg* v = OpenView();
    ASSERT_TRUE(v);
    Type(v, 5, "123");
    ASSERT_EQ(v->Modified, 1);
    const int family = gQel.Family, capacity = gQel.CapacityIndex, other = capacity == 1 ? 0 : 1;

    messages_.QueueAnswer(qel::Answer::Cancel);  // overwrite the register file?
    EXPECT_FALSE(frame_->ApplyModelSetting(family, other, false));
    EXPECT_EQ(gQel.CapacityIndex, capacity);
    ASSERT_EQ(_DevReg, v);
    EXPECT_EQ(v->Data.DRegs[5], 123);
    EXPECT_EQ(v->Modified, 1);
    qel::link::TRegisterData read;
    ASSERT_EQ(qel::link::ReadRegisterFile(kzl, family, read), qel::link::TRegFileResult::Ok);
    EXPECT_EQ(read.DRegs[5], 77);

    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(frame_->ApplyModelSetting(family, other, false));
    EXPECT_EQ(gQel.CapacityIndex, other);
    ASSERT_EQ(qel::link::ReadRegisterFile(kzl, family, read), qel::link::TRegFileResult::Ok);
    EXPECT_EQ(read.DRegs[5], 123);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(RegisterViewTest, AFrameFreedAfterLeavingWasCancelledFreesTheViewBeforeTheLink) {
    TDevReg* v = OpenView();
    ASSERT_TRUE(v);
    Type(v, 5, "123");
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_FALSE(frame_->close());
    ASSERT_EQ(_DevReg, v);
    // The view's transfer leaves the link's job table as the view goes.
    bool linkThere = false;
    QObject::connect(v, &QObject::destroyed, [&linkThere] { linkThere = _TransData != nullptr; });
    frame_.reset();
    EXPECT_EQ(_DevReg, nullptr);
    EXPECT_TRUE(linkThere);
}

TEST_F(RegisterViewTest, ReadsAndWritesThePlcThroughItsTransferDialog) {
    gQel.Family = 1;
    SetModelFamily(1);
    for (int n = 0; n < 256; ++n) emu_.S.regs[0x0600 + n] = static_cast<std::uint16_t>(1000 + n);
    TDevReg* v = OpenView();
    ASSERT_TRUE(v);
    v->PgContrl->setCurrentIndex(qel::link::kRegPageT);
    QTest::mouseClick(v->CommBtn, Qt::LeftButton);
    ASSERT_TRUE(v->NumComm->isVisible());
    QTest::mouseClick(v->NumComm->Ok_Btn, Qt::LeftButton);
    EXPECT_FALSE(v->NumComm->isVisible());
    EXPECT_TRUE(v->Transferring());
    EXPECT_FALSE(Enabled("MmSave"));  // file commands wait for the transfer
    EXPECT_FALSE(v->RegGrid->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return !v->Transferring() && !_TransData->MessagesPending(); }));
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(138));
    EXPECT_EQ(v->Data.TRegs[255], 1255);
    EXPECT_EQ(v->CellText(26, 6), "1255");
    EXPECT_EQ(v->Modified, 1);
    EXPECT_TRUE(v->RegGrid->isEnabled());
    EXPECT_FALSE(_ProgBar->isVisible());

    // Write: typed values reach the PLC.
    auto transfer = [&] {
        QTest::mouseClick(v->CommBtn, Qt::LeftButton);
        QTest::mouseClick(v->NumComm->Ok_Btn, Qt::LeftButton);
        return PumpUntil([&] { return !v->Transferring() && !_TransData->MessagesPending(); });
    };
    Type(v, 17, "4242");
    v->NumComm->WritePlcReg_Rdo->setChecked(true);
    ASSERT_TRUE(transfer());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(139));
    EXPECT_EQ(emu_.S.regs[0x0600 + 17], 4242);

    // A PLC that stops answering: message 83, the window's values kept.
    const qel::link::TRegisterData before = v->Data;
    v->NumComm->ReadPlcReg_Rdo->setChecked(true);
    emu_.AddFault({.action = qel::test::FaultAction::Drop, .function = 3, .addrLo = 0x0610, .addrHi = 0x06FF});
    messages_.QueueAnswer(qel::Answer::No);  // the typed values, never saved, may be read over
    ASSERT_TRUE(transfer());
    EXPECT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(83));
    EXPECT_EQ(v->Data, before);
    EXPECT_TRUE(v->RegGrid->isEnabled());
    SetModelFamily(0);
}

TEST_F(RegisterViewTest, KeSeriesMovesEveryRegisterItsViewOffersAndTakesNoValueItCannotMove) {
    gQel.Family = 2;
    SetModelFamily(2);
    emu_.Configure(2, 3, 90);
    emu_.S.regs[0x1000 + 1500] = 31;  // D1500, a special register
    emu_.S.c32[1] = 777;              // C201
    TDevReg* v = OpenView();
    ASSERT_TRUE(v);
    auto last = [&] { return messages_.Shown().empty() ? std::string() : messages_.Shown().back(); };
    auto transfer = [&](bool read) {
        (read ? v->NumComm->ReadPlcReg_Rdo : v->NumComm->WritePlcReg_Rdo)->setChecked(true);
        QTest::mouseClick(v->CommBtn, Qt::LeftButton);
        QTest::mouseClick(v->NumComm->Ok_Btn, Qt::LeftButton);
        return PumpUntil([&] { return !v->Transferring() && !_TransData->MessagesPending(); });
    };
    struct Case {
        const char* what;
        int page, index;
        const char* typed;  // typed, then written; nullptr: the PLC's value is read
        int msg;            // the message the typing shows, -1 none
        std::function<std::uint32_t()> plc;  // the PLC's register afterwards
        std::uint32_t want;
        const char* shown;  // the cell afterwards
    } cases[] = {
        {"C128 typed reaches the PLC", qel::link::kRegPageC, 128, "9", -1, [&] { return emu_.S.regs[0x0E80]; }, 9, "9"},
        {"C199, the last 16-bit counter, typed reaches the PLC", qel::link::kRegPageC, 199, "199", -1,
         [&] { return emu_.S.regs[0x0EC7]; }, 199, "199"},
        {"C201 in the PLC is read", qel::link::kRegPageC32, 1, nullptr, -1, [&] { return emu_.S.c32[1]; }, 777, "777"},
        {"D1500, a special register, takes no value and keeps the PLC's", qel::link::kRegPageD, 1500, "5",
         kMsgSpecialRegister, [&] { return emu_.S.regs[0x1000 + 1500]; }, 31, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages_.Clear();
        v->PgContrl->setCurrentIndex(c.page);
        if (c.typed) {
            Type(v, c.index, c.typed);
            if (c.msg >= 0) {
                ASSERT_TRUE(PumpUntil([&] { return !messages_.Shown().empty(); }));
                EXPECT_EQ(last(), gMsgTable.Get(c.msg));
            }
            ASSERT_TRUE(transfer(false));
            EXPECT_EQ(last(), gMsgTable.Get(139));
        } else {
            messages_.QueueAnswer(qel::Answer::No);  // the typed values, never saved, may be read over
            ASSERT_TRUE(transfer(true));
            EXPECT_EQ(last(), gMsgTable.Get(138));
        }
        EXPECT_EQ(c.plc(), c.want);
        EXPECT_EQ(v->CellText(c.index / 10 + 1, c.index % 10 + 1).toStdString(), c.shown);
    }
    SetModelFamily(0);
}

// The text of every page, as a PDF reader sees it.
std::string PdfText(const fs::path& pdf) {
    std::string text;
    for (int page = 1, pages = qel::test::PdfPages(pdf); page <= pages; ++page)
        text += qel::test::PdfText(pdf, page).toStdString();
    return text;
}

TEST_F(RegisterViewTest, PrintsTheActivePageAsShown) {
    gQel.BaseName = (projects_ / "motor").string();
    gQel.Named = 1;  // the program motor, named by the user
    TDevReg* v = OpenView();
    ASSERT_TRUE(v);
    v->Data.DRegs[1234] = 4321;
    v->Data.DRegs[15] = 65535;
    v->FillGrid();
    const std::string pdf = (projects_ / "page.pdf").string();
    v->Printing.HasPrinter = [] { return false; };
    v->Printing.AskPdfFile = [&] { return QString::fromStdString(pdf); };

    // The whole D page of family 0: 133 grid rows in pages of 25 and 26.
    frame_->Action("MmPrn")->trigger();
    ASSERT_TRUE(v->DevPrn->isVisible());
    QTest::mouseClick(v->DevPrn->OkBtn, Qt::LeftButton);
    ASSERT_TRUE(fs::exists(pdf));
    EXPECT_EQ(qel::test::PdfPages(pdf), 6);
    std::string text = PdfText(pdf);
    EXPECT_NE(text.find("Name: motor"), std::string::npos);
    EXPECT_NE(text.find("4321"), std::string::npos);
    EXPECT_NE(text.find("No Use"), std::string::npos);
    EXPECT_NE(text.find("Page:6"), std::string::npos);

    // A range: indices 15 to 34 print grid rows 2 to 4 on one page, in the
    // display mode shown.
    v->TypeHex->click();
    v->DevPrn->DevPrnPart_Rdo->click();
    v->DevPrn->PrnStart_Txt->setText("15");
    v->DevPrn->PrnEnd_Txt->setText("34");
    QTest::mouseClick(v->DevPrn->OkBtn, Qt::LeftButton);
    EXPECT_EQ(qel::test::PdfPages(pdf), 1);
    text = PdfText(pdf);
    EXPECT_NE(text.find("FFFF"), std::string::npos);
    EXPECT_NE(text.find("D30"), std::string::npos);
    EXPECT_EQ(text.find("D40"), std::string::npos);
    EXPECT_EQ(text.find("D0 "), std::string::npos);

    // A bad range: message 141, nothing printed.
    fs::remove(pdf);
    v->DevPrn->PrnStart_Txt->setText("20");
    v->DevPrn->PrnEnd_Txt->setText("10");
    QTest::mouseClick(v->DevPrn->OkBtn, Qt::LeftButton);
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(141));
    EXPECT_FALSE(fs::exists(pdf));
    EXPECT_TRUE(v->DevPrn->isVisible());  // the dialog stays open

    // Column widths by display mode, and page counts of a whole page.
    EXPECT_EQ(RegPrintColumnWidth(2000, true, true), 4 * RegPrintColumnWidth(2000, false, false));
    EXPECT_EQ(RegPrintPageCount(0, 600), 3);  // 61 rows: 25, 26 and 10
}

// Without a printer the print says so and offers a PDF file; it reports
// pages printed only when the file holds them.
TEST_F(RegisterViewTest, APrintWithoutAPrinterSaysSoAndOffersAPdf) {
    TDevReg* v = OpenView();
    ASSERT_TRUE(v);
    const fs::path pdf = projects_ / "registers.pdf", unwritable = projects_ / "no such folder" / "r.pdf";
    const struct {
        const char* name;
        fs::path answer;  // the PDF file named; empty: the dialog cancelled
        std::vector<int> shown;
    } rows[] = {
        {"a PDF file named", pdf, {250}},
        {"the PDF file dialog cancelled", {}, {250}},
        {"a PDF file that cannot be written", unwritable, {250, kMsgPagesNotWritten}},
    };
    v->Printing.HasPrinter = [] { return false; };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        messages_.Clear();
        v->Printing.AskPdfFile = [&] { return QString::fromStdString(row.answer.string()); };
        const bool printed = row.answer == pdf;
        EXPECT_EQ(v->PrintRegisters(true, "", ""), printed);
        const std::vector<std::string> shown = messages_.Shown();
        ASSERT_EQ(shown.size(), row.shown.size());
        for (std::size_t k = 0; k < shown.size(); ++k) EXPECT_EQ(shown[k].rfind(gMsgTable.Get(row.shown[k]), 0), 0u);
        EXPECT_EQ(fs::exists(row.answer) ? qel::test::PdfPages(row.answer) : 0, printed ? 6 : 0);
    }
}

// A value typed into a cell and not entered is what every command that reads
// the view's values reads; one its check refuses stops the command, and the
// window stays with the text in its cell.
TEST_F(RegisterViewTest, AValueTypedWithoutEnterGoesIntoEverySaveCloseWriteAndPrint) {
    SetModelFamily(1);
    const std::string kzl = (projects_ / "plant.kzl").string(), other = (projects_ / "other.kzl").string();
    const std::string pdf = (projects_ / "page.pdf").string();
    auto saved = [](const std::string& path) {  // T17 as the file holds it
        qel::link::TRegisterData d;
        return qel::link::ReadRegisterFile(path, 1, d) == qel::link::TRegFileResult::Ok ? d.TRegs[17] : -1;
    };
    auto save = [&] { return frame_->RunCommand("MmSave"), saved(kzl); };
    auto close = [&] { return CloseWindow(_DevReg), saved(kzl); };
    auto write = [&] {
        _DevReg->CommBtnClick();
        _DevReg->NumComm->WritePlcReg_Rdo->setChecked(true);
        QTest::mouseClick(_DevReg->NumComm->Ok_Btn, Qt::LeftButton);
        PumpUntil([&] { return !_DevReg->Transferring() && !_TransData->MessagesPending(); });
        return int{emu_.S.regs[0x0600 + 17]};
    };
    auto print = [&] {
        frame_->RunCommand("MmPrn");  // the print dialog, whose OK prints
        _DevReg->Printing.HasPrinter = [] { return false; };
        _DevReg->Printing.AskPdfFile = [&] { return QString::fromStdString(pdf); };
        const bool printed = _DevReg->DevPrn->isVisible() && _DevReg->PrintRegisters(true, "", "");
        _DevReg->DevPrn->reject();
        return printed && PdfText(pdf).find("127") != std::string::npos ? 127 : -1;
    };
    using A = qel::Answer;
    RunTakenInRows(messages_, {
        {"File > Save", "123", {}, save, 123},
        {"File > Save As", "124", {}, [&] { return dialogs_.QueuePath(other), frame_->RunCommand("MmSaveAs"), saved(other); },
         124},
        {"closing the view", "125", {A::Yes, A::Yes}, close, 125},
        {"a write to the PLC", "126", {}, write, 126},
        {"a print", "127", {}, print, 127},
        {"another page", "130", {}, [&] { return _DevReg->PgContrl->setCurrentIndex(0), int{_DevReg->Data.TRegs[17]}; },
         130},
        {"File > New", "128", {A::Yes, A::Yes}, [&] { return frame_->RunCommand("MmNew"), _DevReg ? -1 : saved(kzl); },
         128},
        {"a refused value, File > Save", "-5", {}, save, 128},
        {"a refused value, closing", "-5", {}, close, 128},
        {"leaving the program, Cancel", "129", {A::Cancel},
         [&] { return frame_->close() ? -1 : int{_DevReg->Data.TRegs[17]}; }, 129},
    }, [&]() -> QTableView* {
        if (!_DevReg && !OpenView()) return nullptr;
        _DevReg->SaveFileName = kzl;
        _DevReg->PgContrl->setCurrentIndex(qel::link::kRegPageT);
        return _DevReg->RegGrid;
    }, 17, "-5");
    SetModelFamily(0);
}

// ---------------------------------------------------------------------------
// The file-register template window in the frame, against the PLC emulator
// over a pseudo-terminal: values typed in each radix (refused texts change
// nothing), written to the PLC and read back through the transfer dialog, a
// template saved and reopened, a damaged or foreign template refused with the
// values kept, and no window for a family without file registers.

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
    // Types a text into the cell of value `index` as a user does: a click on
    // the cell, the keys, Return.
    void TypeKeys(TFileTmp* w, int index, const QString& text) { TypeInCell(w->PgRegGrid, index, text); }
    // What a template file of family 2 holds (nothing when it cannot be read).
    static qel::link::TFileTemplate FileHolds(const std::string& path) {
        qel::link::TFileTemplate t;
        return qel::link::ReadQftFile(path, 2, t) == qel::link::TQftRead::Ok ? t : qel::link::TFileTemplate{};
    }
    bool Transfer(TFileTmp* w, bool write) {
        w->CommBtnClick();
        EXPECT_TRUE(w->Comm->isVisible());
        w->Comm->CommType_Box->setCurrentIndex(write ? 1 : 0);
        QTest::mouseClick(w->Comm->OkBtn, Qt::LeftButton);
        EXPECT_FALSE(w->Comm->isVisible());
        return PumpUntil([&] { return !w->Transferring(); }) && Idle();
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
    messages_.QueueAnswer(qel::Answer::No);  // the typed values, never saved, may be read over
    ASSERT_TRUE(Transfer(w, false));
    EXPECT_EQ(messages_.Asked().size(), 1u);
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

TEST_F(FileTmpTest, ClosingAsksAboutTypedValuesTitleAndClearWhileTheProgramStaysUnchanged) {
    gQel.BaseName = (projects_ / "pump").string();
    gQel.Named = 1;  // the program pump, named by the user
    gQel.SaveDir = projects_.string();
    gQel.Modified = 0;  // the program was saved
    const std::string qft = (projects_ / "pump.qft").string();
    const std::string question = gMsgTable.Get(kMsgSaveChanges) + "\n" + qft + "?";

    // Register 5, 4321, Return: the template's change, not the program's.
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    TFileTmp* w = _FileTmp;
    ASSERT_NE(w, nullptr);
    TypeKeys(w, 5, "4321");
    EXPECT_EQ(gFileRegValues[5], 4321);
    EXPECT_EQ(gQel.Modified, 0);
    // Closing asks, naming the template: Cancel keeps the window.
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_FALSE(CloseWindow(w));
    ASSERT_EQ(_FileTmp, w);
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_EQ(messages_.Asked()[0], question);
    // Yes saves the template and the window goes.
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(CloseWindow(w));
    EXPECT_EQ(_FileTmp, nullptr);
    ASSERT_EQ(FileHolds(qft).values.size(), 1600u);
    EXPECT_EQ(FileHolds(qft).values[5], 4321);
    // Nothing else is left to ask about: New replaces the project at once.
    messages_.Clear();
    EXPECT_TRUE(frame_->RunCommand("MmNew"));
    EXPECT_TRUE(messages_.Asked().empty());

    // A new title: closing asks; No gives it up and the file keeps the old one.
    gQel.BaseName = (projects_ / "pump").string();
    gQel.Named = 1;  // the program pump, named by the user
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    w = _FileTmp;
    ASSERT_NE(w, nullptr);
    w->AskTitle = [](const std::string&, const std::string&) { return std::optional<std::string>("Batch 7"); };
    QTest::mouseClick(w->FunTitleBtn, Qt::LeftButton);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);
    EXPECT_TRUE(CloseWindow(w));
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{question});
    EXPECT_EQ(FileHolds(qft).values.size(), 1600u);
    EXPECT_EQ(FileHolds(qft).title, "");

    // A confirmed clear: closing asks; Yes (and Yes to overwrite) saves the zeros.
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    w = _FileTmp;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Cell(w, 5), "4321");
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);  // clear
    QTest::mouseClick(w->ClearBtn, Qt::LeftButton);
    messages_.QueueAnswer(qel::Answer::Yes);
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(CloseWindow(w));
    ASSERT_EQ(messages_.Asked().size(), 3u);
    EXPECT_EQ(messages_.Asked()[1], question);
    ASSERT_EQ(FileHolds(qft).values.size(), 1600u);
    EXPECT_EQ(FileHolds(qft).values[5], 0);

    // No at New gives typed values up for good: leaving asks nothing more.
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    ASSERT_NE(_FileTmp, nullptr);
    TypeKeys(_FileTmp, 6, "9");
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);
    EXPECT_TRUE(frame_->RunCommand("MmNew"));
    EXPECT_EQ(_FileTmp, nullptr);
    EXPECT_TRUE(frame_->close());
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{question});
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(FileTmpTest, ChangesAWindowWasFreedWithAreAskedAboutWhenLeavingAndAtNew) {
    gQel.BaseName = (projects_ / "pump").string();
    gQel.Named = 1;  // the program pump, named by the user
    gQel.SaveDir = projects_.string();
    const std::string qft = (projects_ / "pump.qft").string();
    const std::string question = gMsgTable.Get(kMsgSaveChanges) + "\n" + qft + "?";
    std::vector<std::uint16_t> saved(1600, 0);
    saved[5] = 7;
    ASSERT_TRUE(qel::link::WriteQftFile(qft, {.version = 206, .family = 2, .values = saved}));

    // A new model setting saves the changes first; the overwrite question
    // cancelled, the model stays, and so does the window with its changes.
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    ASSERT_NE(_FileTmp, nullptr);
    EXPECT_EQ(Cell(_FileTmp, 5), "7");
    TypeKeys(_FileTmp, 5, "4321");
    const int capacity = gQel.CapacityIndex;
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_FALSE(frame_->ApplyModelSetting(2, capacity == 1 ? 0 : 1, false));
    EXPECT_EQ(gQel.CapacityIndex, capacity);
    ASSERT_NE(_FileTmp, nullptr);
    EXPECT_EQ(Cell(_FileTmp, 5), "4321");
    EXPECT_EQ(_FileTmp->Modified, 1);
    EXPECT_EQ(FileHolds(qft).values, saved);

    // An Open that cannot read its file frees the windows after the question
    // (No: the changes were to go with the old project, which stays).
    auto openRefused = [&] {
        messages_.QueueAnswer(qel::Answer::No);
        dialogs_.QueuePath((projects_ / "missing.kzp").string());
        frame_->OpenClick();
    };
    openRefused();
    EXPECT_EQ(_FileTmp, nullptr);
    EXPECT_EQ(FileHolds(qft).values, saved);

    // Leaving asks about them; Cancel keeps the program running.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    EXPECT_FALSE(frame_->close());
    EXPECT_FALSE(frame_->ShutDownDone());
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{question});

    // The window opened again shows them, not the file's values.
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    ASSERT_NE(_FileTmp, nullptr);
    EXPECT_EQ(Cell(_FileTmp, 5), "4321");
    EXPECT_EQ(_FileTmp->Modified, 1);
    openRefused();
    ASSERT_EQ(_FileTmp, nullptr);

    // New asks about them with no window open: Yes writes them.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Yes);
    messages_.QueueAnswer(qel::Answer::No);  // the program's own question, should it come
    EXPECT_TRUE(frame_->RunCommand("MmNew"));
    ASSERT_GE(messages_.Asked().size(), 1u);
    EXPECT_EQ(messages_.Asked()[0], question);
    ASSERT_EQ(FileHolds(qft).values.size(), 1600u);
    EXPECT_EQ(FileHolds(qft).values[5], 4321);
    // Saved: leaving asks nothing more about them.
    messages_.Clear();
    EXPECT_TRUE(frame_->close());
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// A value typed into the template and not entered is what every command that
// reads the values reads; one its check refuses stops the command, and the
// window stays with the text in its cell. Entered, a refused value is said so
// and the old one shows again.
TEST_F(FileTmpTest, AValueTypedWithoutEnterGoesIntoEverySaveCloseAndWrite) {
    const std::string qft = (projects_ / "plant.qft").string(), other = (projects_ / "other.qft").string();
    auto saved = [&](const std::string& path) {  // value 7 as the file holds it
        const std::vector<std::uint16_t> v = FileHolds(path).values;
        return v.size() > 7 ? int{v[7]} : -1;
    };
    auto save = [&] { return frame_->RunCommand("MmSave"), saved(qft); };
    auto close = [&] { return CloseWindow(_FileTmp), saved(qft); };
    auto write = [&] {
        frame_->RunCommand("MmFileTmpTransfer");
        _FileTmp->Comm->CommType_Box->setCurrentIndex(1);
        if (_FileTmp->Comm->isVisible()) QTest::mouseClick(_FileTmp->Comm->OkBtn, Qt::LeftButton);
        PumpUntil([&] { return !_FileTmp->Transferring(); });
        return Idle() ? int{emu_.S.fileRegs.at(7)} : -1;
    };
    auto enter = [&] { return PressEnterInCell(_FileTmp->PgRegGrid) ? int{gFileRegValues.at(7)} : -1; };
    using A = qel::Answer;
    RunTakenInRows(messages_, {
        {"File > Save", "4321", {}, save, 4321},
        {"a value too large, Enter", "65536", {}, enter, 4321, "4321"},
        {"a letter in a decimal cell, Enter", "1x", {}, enter, 4321, "4321"},
        {"File > Save As", "4322", {}, [&] { return dialogs_.QueuePath(other), frame_->RunCommand("MmSaveAs"), saved(other); },
         4322},
        {"closing the window", "4323", {A::Yes, A::Yes}, close, 4323},
        {"a write to the PLC", "4324", {}, write, 4324},
        {"File > New", "4325", {A::Yes, A::Yes}, [&] { return frame_->RunCommand("MmNew"), _FileTmp ? -1 : saved(qft); },
         4325},
        {"a refused value, File > Save", "65536", {}, save, 4325},
        {"a refused value, closing", "65536", {}, close, 4325},
        {"leaving the program, Cancel", "4326", {A::Cancel},
         [&] { return frame_->close() ? -1 : int{gFileRegValues.at(7)}; }, 4326},
    }, [&]() -> QTableView* {
        if (!_FileTmp && !frame_->RunCommand("MmFileTmp")) return nullptr;
        _FileTmp->SaveFileName = qft;
        return _FileTmp->PgRegGrid;
    }, 7, "65536");
}
