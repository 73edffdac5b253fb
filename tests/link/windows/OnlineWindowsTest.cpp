// The on-line windows in the frame, against the PLC emulator over a
// pseudo-terminal: the device monitor opened from the PLC menu, rows typed
// into it, values and ON lamps shown as the PLC has them, force and set value
// from its popup and from the frame's dialogs, run and stop, and monitoring
// that ends cleanly when the line is lost or the window closes.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>

#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/render/Ladderpainter.h"
#include "link/online/Sfcmoni.h"
#include "link/windows/Colorstringgrid.h"
#include "link/windows/Devmonidlg.h"
#include "link/windows/Devmoniinput.h"
#include "link/windows/Forcedev.h"
#include "link/windows/Online.h"
#include "link/windows/Memcarddlg.h"
#include "link/windows/Pwddlg.h"
#include "link/windows/Setvaldlg.h"
#include "link/windows/Transdatafrm.h"
#include "project/Editorlink.h"
#include "project/Projectfiles.h"
#include "project/Settings.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/window/Sfcwin.h"
#include "tests/link/windows/LinkWindowFixture.h"
#include "tools/windows/Comdlg.h"
#include "tools/windows/Devcomment.h"
#include "tools/windows/Toolsinstall.h"

namespace {

class OnlineTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        RegisterOnlineForms();
        StartFrame();
        InstallLadder(frame_.get());
        InstallOnline(frame_.get());
    }

    // The device monitor from the PLC menu, its grid focused.
    TDevMoniDlg* OpenMonitor() {
        EXPECT_TRUE(frame_->RunCommand("MmMonitorDev"));
        if (_DevMoniDlg) _DevMoniDlg->DevGrid->setFocus();
        return _DevMoniDlg;
    }
    // Types a device and a count into the monitor-input dialog, opened by
    // typing the name's first character on the grid.
    void TypeRows(TDevMoniDlg* m, const QString& name, const QString& count) {
        QTest::keyClicks(m->DevGrid, name.left(1));
        ASSERT_TRUE(_MoniInput->isVisible());
        EXPECT_EQ(_MoniInput->DevInput->text(), name.left(1).toUpper());
        QTest::keyClicks(_MoniInput->DevInput, name.mid(1));
        _MoniInput->DevNumber->setText(count);
        QTest::mouseClick(_MoniInput->BtnOk, Qt::LeftButton);
        EXPECT_FALSE(_MoniInput->isVisible());
    }
    QString Cell(TDevMoniDlg* m, int row, int col) const {
        const QTableWidgetItem* item = m->DevGrid->item(row, col);
        return item ? item->text() : QString();
    }
    // The colour at the centre of a row's ON lamp, as painted.
    QColor LampPixel(TDevMoniDlg* m, int row) const {
        const QRect r = m->DevGrid->CircleRect(2, row);
        const QImage img = m->DevGrid->viewport()->grab().toImage();
        const QPoint c = r.isEmpty() ? m->DevGrid->visualRect(m->DevGrid->model()->index(row, 2)).center() : r.center();
        return img.pixelColor(c);
    }
};

}  // namespace

TEST_F(OnlineTest, DeviceMonitorShowsThePlcAndForcesAndSetsFromItsRows) {
    emu_.S.regs[0x1064] = 7;     // D100
    emu_.S.regs[0x1065] = 1;     // D101
    emu_.S.coils[0x0500] = 1;    // Y0 ON
    TDevMoniDlg* m = OpenMonitor();
    ASSERT_TRUE(m);
    EXPECT_EQ(gActiveView, TDevMoniDlg::kView);
    EXPECT_TRUE(frame_->Action("MmSetVal")->isEnabled());
    TypeRows(m, "d100", "2");
    m->SetCurrentRow(3);
    TypeRows(m, "Y0", "2");
    for (int row = 0; row < 4; ++row) EXPECT_EQ(Cell(m, row, 0), QStringList({"D100", "D101", "Y0", "Y1"})[row]);
    EXPECT_EQ(Cell(m, 0, 6), QString::fromStdString(gMsgTable.Get(4)));
    EXPECT_EQ(gDevMoniEntryCount, 5);

    ASSERT_TRUE(PumpUntil([&] { return Cell(m, 0, 4) == "K7" && m->DevGrid->HasCellMark(2, 2); }));
    EXPECT_EQ(Cell(m, 0, 5), "K65543");
    EXPECT_EQ(LampPixel(m, 2), QColor(255, 0, 0));
    EXPECT_NE(LampPixel(m, 3), QColor(255, 0, 0));

    // "-" on Y0 forces it OFF; the lamp goes out.
    m->SetCurrentRow(3);
    QTest::keyClick(m->DevGrid, Qt::Key_Minus);
    ASSERT_TRUE(PumpUntil([&] { return !emu_.S.coils[0x0500] && !m->DevGrid->HasCellMark(2, 2); }));
    EXPECT_NE(LampPixel(m, 2), QColor(255, 0, 0));
    // A rising pulse on Y1 leaves it ON.
    m->SetCurrentRow(4);
    m->PopPulseUp->trigger();
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.coils[0x0501] != 0; }));
    // Force on a D row sends nothing.
    m->SetCurrentRow(1);
    m->PopON->trigger();
    EXPECT_TRUE(_TransData->CoilQueue.Empty());

    // Change value: the set-value dialog with the row's device and value.
    m->PopChgVal->trigger();
    ASSERT_TRUE(_ValSet->isVisible());
    EXPECT_EQ(_ValSet->DevSetText->text(), "D100");
    EXPECT_EQ(_ValSet->CurValText->text(), "K7");
    _ValSet->CurValText->setText("k-9");
    QTest::mouseClick(_ValSet->BOK, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.regs[0x1064] == 0xFFF7 && Cell(m, 0, 4) == "K-9"; }));
    EXPECT_TRUE(_ValSet->isVisible()) << "it stays open for the next value";
    // A refused value says why and writes nothing.
    _ValSet->DevSetText->setText("X0");
    QTest::mouseClick(_ValSet->BOK, Qt::LeftButton);
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(69));
    _ValSet->close();

    // The device comment of a row, edited in the comment dialog.
    m->SetCurrentRow(3);
    QTimer::singleShot(0, [] {
        ASSERT_NE(_CommentDlg, nullptr);
        _CommentDlg->DeviceListBox->setCurrentRow(0);
        _CommentDlg->DeviceListBoxClick();
        _CommentDlg->DevCmt_Txt->setText("lamp");
        _CommentDlg->DevCmt_TxtEdited("lamp");
        _CommentDlg->accept();
    });
    m->PopDevCmt->trigger();
    EXPECT_EQ(Cell(m, 2, 1), "lamp");
    m->SetCurrentRow(1);

    // Hexadecimal on the D row.
    m->PopHexi->trigger();
    EXPECT_EQ(Cell(m, 0, 6), QString::fromStdString(gMsgTable.Get(5)));
    ASSERT_TRUE(PumpUntil([&] { return Cell(m, 0, 4) == "HFFF7"; }));

    // Delete the D rows: the bit list is written again; no words are read.
    m->DevGrid->selectRow(0);
    m->DevGrid->selectionModel()->select(m->DevGrid->model()->index(1, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(m->DevGrid, Qt::Key_Delete);
    EXPECT_EQ(Cell(m, 0, 0), "Y0");
    ASSERT_TRUE(PumpUntil([&] { return m->List().gMoniWordBytes == 0 && m->List().gMoniBitBytes == 4; }));
    ASSERT_TRUE(PumpUntil([&] { return m->List().PollState == 9; }));
    EXPECT_EQ(emu_.S.regs[16384], 2);
    EXPECT_EQ(emu_.S.regs[16385], 0x0500);
    const std::size_t at = emu_.RequestCount();
    ASSERT_TRUE(PumpUntil([&] { return emu_.RequestCount() > at + 10; }));
    for (std::size_t i = at; i < emu_.RequestCount(); ++i) {
        const auto& b = emu_.Log()[i].bytes;
        EXPECT_FALSE(b[1] == 3 && (b[2] << 8 | b[3]) >= 16784 && (b[2] << 8 | b[3]) < 16984);
    }
}

TEST_F(OnlineTest, SetValueLandsOnTheNamedDeviceAndItsOwnPairOrIsRefused) {
    SetModelFamily(1);
    emu_.S.program[0] = 0x12;  // the program's first step, just past D4095's address
    emu_.S.program[1] = 0x34;
    TDevMoniDlg* m = OpenMonitor();
    ASSERT_TRUE(m);
    const char* rows[] = {"D4095", "C199", "T255", "D100", "C200"};
    for (int r = 0; r < 5; ++r) {
        m->SetCurrentRow(r + 1);
        TypeRows(m, rows[r], "1");
    }
    ASSERT_TRUE(PumpUntil([&] { return Cell(m, 0, 4) == "K0" && Cell(m, 4, 5) == "K0"; }));
    // The PLC's memory outside the monitor areas the monitor rewrites.
    auto plc = [&] {
        auto regs = emu_.S.regs;
        std::fill(regs.begin() + 16384, regs.begin() + 16984, 0);
        return std::make_tuple(regs, std::vector<std::uint32_t>(emu_.S.c32, emu_.S.c32 + 56), emu_.S.program);
    };
    struct Case {
        const char* what;
        int row;             // monitor row whose "change value" opens the dialog; 0: typed into it
        const char* device;  // typed when row is 0
        const char* value;
        bool is32;
        int msg;             // -1: written
        std::vector<std::pair<int, int>> regs;  // (register, value) the write leaves
        int c32 = -1;        // C200 + c32 holds value32, when not -1
        std::uint32_t value32 = 0;
        QString shown32;     // the monitor row's 32-bit column afterwards
    } cases[] = {
        {"D4095 32 bits: D4095 and D4096, not program memory", 1, "", "K100000", true, -1, {{0x1FFF, 0x86A0}, {0x9000, 1}}, -1, 0, "K100000"},
        {"D0E: an index suffix is no register", 0, "D0E", "K5", false, 69, {}},
        {"t0e: an index suffix is no register", 0, "t0e", "K5", false, 69, {}},
        {"C0E 32 bits: an index suffix is no register", 0, "C0E", "K5", true, 69, {}},
        {"C199 32 bits: C200 is a 32-bit counter, not its pair", 2, "", "K70000", true, 72, {}},
        {"T255 32 bits: the last timer has no pair", 3, "", "K70000", true, 72, {}},
        {"D100 32 bits: D100 and D101", 4, "", "K70000", true, -1, {{0x1064, 70000 & 0xFFFF}, {0x1065, 1}}, -1, 0, "K70000"},
        {"C200 32 bits: one 4-byte register", 5, "", "K-5", true, -1, {}, 0, 0xFFFFFFFBu, "K-5"},
        {"D100 K alone: 0", 4, "", "K", false, -1, {{0x1064, 0}}, -1, 0, "K65536"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages_.Clear();
        const auto before = plc();
        if (c.row) {
            m->SetCurrentRow(c.row);
            m->PopChgVal->trigger();
            ASSERT_TRUE(_ValSet->isVisible());
        } else {
            _ValSet->DevSetText->setText(c.device);
        }
        _ValSet->CurValText->setText(c.value);
        (c.is32 ? _ValSet->op32 : _ValSet->op16)->click();
        QTest::mouseClick(_ValSet->BOK, Qt::LeftButton);
        if (c.msg >= 0) {
            EXPECT_EQ(messages_.Shown(), std::vector<std::string>{gMsgTable.Get(c.msg)});
            EXPECT_TRUE(_TransData->RegQueue.Empty());
        } else {
            EXPECT_TRUE(messages_.Shown().empty());
            EXPECT_TRUE(PumpUntil([&] { return _TransData->RegQueue.Empty() && Cell(m, c.row - 1, 5) == c.shown32; }))
                << Cell(m, c.row - 1, 5).toStdString();
        }
        // Nothing but the named device and its own pair changed.
        auto [regs, c32, program] = before;
        for (auto [r, v] : c.regs) regs[static_cast<std::size_t>(r)] = static_cast<std::uint16_t>(v);
        if (c.c32 >= 0) c32[static_cast<std::size_t>(c.c32)] = c.value32;
        EXPECT_TRUE(plc() == std::make_tuple(regs, c32, program));
    }
    _ValSet->close();
    SetModelFamily(0);
}

TEST_F(OnlineTest, DeviceMonitorCommentsFollowCommentsEditedInOtherWindows) {
    InstallInstList(frame_.get());
    InstallTools(frame_.get());
    PutProgram({"LD X0", "OUT Y1", "END"});
    gQel.ProgramPresent = 1;
    TDevMoniDlg* m = OpenMonitor();
    ASSERT_TRUE(m);
    TypeRows(m, "X0", "1");
    m->SetCurrentRow(2);
    TypeRows(m, "Y1", "1");
    // The quick dialog from the instruction list (Ctrl+F2 on LD X0): every
    // key reaches the monitor's comment column at once.
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    bool seen = false;
    QTimer::singleShot(0, frame_.get(), [&] {
        ASSERT_TRUE(_CommentDlg && _CommentDlg->isVisible());
        QTest::keyClicks(_CommentDlg->DevCmt_Txt, "Start");
        EXPECT_EQ(Cell(m, 0, 1), "Start");
        QTest::mouseClick(_CommentDlg->CancelBtn, Qt::LeftButton);
        seen = true;
    });
    QTest::keyClick(_Inst, Qt::Key_F2, Qt::ControlModifier);
    ASSERT_TRUE(seen);
    // The device-comment window, Y page: the edited row, then the Delete command.
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    ASSERT_TRUE(_DevCom);
    _DevCom->SelectLetter(1);
    _DevCom->CommentGrid->item(1, 1)->setText(QStringLiteral("Lamp"));
    EXPECT_EQ(Cell(m, 1, 1), "Lamp");
    _DevCom->CommentGrid->setRangeSelected(QTableWidgetSelectionRange(1, 0, 1, 1), true);
    ASSERT_TRUE(frame_->RunCommand("MmDel"));
    EXPECT_EQ(GetDeviceComment('Y', 1), "");
    EXPECT_EQ(Cell(m, 1, 1), "");
    EXPECT_EQ(Cell(m, 0, 1), "Start");
}

// Comments read from the memory card are an edit of the project like any
// typed: the device monitor's comment column and the device-comment window
// show them at once, and New asks whether to save them.
TEST_F(OnlineTest, CardCommentsReadShowInEveryCommentWindowAndAskToBeSaved) {
    emu_.Configure(1, 3, 90);
    SetModelFamily(1);
    InstallTools(frame_.get());
    InstallProgramTransfer(frame_.get());
    PutProgram({"LD X0", "OUT Y1", "END"});
    gQel.ProgramPresent = 1;
    SetDeviceComment("D0", "old");
    TDevMoniDlg* m = OpenMonitor();
    ASSERT_TRUE(m);
    TypeRows(m, "D0", "1");
    EXPECT_EQ(Cell(m, 0, 1), "old");
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    ASSERT_TRUE(_DevCom);
    _DevCom->SelectLetter(6);
    EXPECT_EQ(_DevCom->CommentGrid->item(0, 1)->text(), "old");
    // The card holds D0 "Pump speed".
    std::vector<std::uint8_t>& area = emu_.S.cardArea[1];
    std::fill(area.begin(), area.end(), 0);
    const std::string record("D\0\0Pump speed\n", 14);
    std::copy(record.begin(), record.end(), area.begin());
    // A card job runs only while nothing polls: the monitor's polling stops,
    // its window stays.
    _TransData->RemoveMonitorClient("3");
    ASSERT_TRUE(Idle());
    gQel.Modified = 0;

    ASSERT_TRUE(frame_->RunCommand("MmCardCmtRw"));
    ASSERT_TRUE(Idle());
    _MemCardDlg->CmtReadRdo->setChecked(true);
    ASSERT_TRUE(_MemCardDlg->CmtOk_BtnClick());
    ASSERT_TRUE(Idle());
    _MemCardDlg->reject();
    EXPECT_EQ(Cell(m, 0, 1), "Pump speed");
    EXPECT_EQ(_DevCom->CommentGrid->item(0, 1)->text(), "Pump speed");

    // New asks; Cancel keeps the project with the card's comments.
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    ASSERT_TRUE(frame_->RunCommand("MmNew"));
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_NE(messages_.Asked()[0].find(gMsgTable.Get(kMsgSaveChanges)), std::string::npos);
    EXPECT_EQ(GetDeviceComment('D', 0), "Pump speed");
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(OnlineTest, FrameCommandsForceSetRunAndStop) {
    // The force dialog works without any monitor.
    ASSERT_TRUE(frame_->RunCommand("MmForceDev"));
    ASSERT_TRUE(_DevForce->isVisible());
    auto force = [&](const char* device) {
        _DevForce->DevName->setText(device);
        QTest::mouseClick(_DevForce->SetOK, Qt::LeftButton);
    };
    force("m5");
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.coils[0x0805] && !frame_->Link.PortOpen(); }));
    _DevForce->SetOff->click();
    EXPECT_FALSE(_DevForce->SetOn->isChecked());
    force("m5");
    ASSERT_TRUE(PumpUntil([&] { return !emu_.S.coils[0x0805] && !frame_->Link.PortOpen(); }));
    force("D0");
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(0));
    _DevForce->close();

    // Set value is offered only while something monitors.
    EXPECT_FALSE(frame_->Action("MmSetVal")->isEnabled());

    ASSERT_TRUE(frame_->RunCommand("MmRun"));
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.running && !frame_->Link.PortOpen(); }));
    ASSERT_TRUE(frame_->RunCommand("MmStop"));
    ASSERT_TRUE(PumpUntil([&] { return !emu_.S.running && !frame_->Link.PortOpen(); }));
    EXPECT_EQ(_TransData->BnStopTag, 1);
}

TEST_F(OnlineTest, LostLineEndsMonitoringWithItsMessageAndNothingLeftRunning) {
    TDevMoniDlg* m = OpenMonitor();
    ASSERT_TRUE(m);
    TypeRows(m, "X0", "3");
    ASSERT_TRUE(PumpUntil([&] { return frame_->QelStaBar->Panel(7) == "PLC COM: 0"; }));
    ASSERT_TRUE(PumpUntil([&] { return emu_.RequestCount() > 10; }));
    // The PLC stops answering.
    emu_.AddFault({qel::test::FaultAction::Drop, -1, -1, -1, -1, 0, -1});
    ASSERT_TRUE(PumpUntil([&] { return !messages_.Shown().empty(); }));
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(qel::link::kMsgTimeout));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(_DevMoniDlg, nullptr);
    EXPECT_TRUE(frame_->MdiArea->subWindowList().isEmpty());
    EXPECT_FALSE(frame_->Link.MonitorRunning());
    EXPECT_FALSE(frame_->Link.PortOpen());
    EXPECT_FALSE(_TransData->ComTmr.isActive());
    EXPECT_FALSE(_TransData->ReplyTmr.isActive());
    EXPECT_EQ(frame_->QelStaBar->Panel(7), "");
    EXPECT_EQ(frame_->Lamp(), LampColor(TLampState::Off));
    const std::size_t requests = emu_.RequestCount();
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(emu_.RequestCount(), requests);
    EXPECT_EQ(messages_.Shown().size(), 1u) << "one message, nothing sent after it";
    // The list stays for the next window.
    EXPECT_STREQ(gDevMoniEntries[0].Name, "X0");
}

TEST_F(OnlineTest, ClosingTheMonitorSwitchesThePlcMonitorCoilOff) {
    InstallProgramTransfer(frame_.get());
    // No program transfer or password dialogue while the monitor polls.
    auto transferAllowed = [&] { return frame_->Action("MmTrans")->isEnabled() && frame_->Action("MmPassWd")->isEnabled(); };
    EXPECT_TRUE(transferAllowed());
    TDevMoniDlg* m = OpenMonitor();
    ASSERT_TRUE(m);
    EXPECT_FALSE(frame_->Action("MmTrans")->isEnabled() || frame_->Action("MmPassWd")->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.monitorCoil; }));
    m->CloseWindow();
    ASSERT_TRUE(PumpUntil([&] { return !emu_.S.monitorCoil && !frame_->Link.PortOpen(); }));
    EXPECT_FALSE(frame_->Link.MonitorRunning());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(_DevMoniDlg, nullptr);
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_FALSE(frame_->Action("MmSetVal")->isEnabled());
    EXPECT_TRUE(transferAllowed());
}

// The monitor keeps one empty row to type into; its list is the project's,
// saved and opened again with the same devices in the same order, whether it
// was typed, cleared or typed again, and its window shows the empty row again.
TEST_F(OnlineTest, DeviceMonitorListSavesAndOpensAgainTypedClearedAndTypedAgain) {
    const std::string watch = (projects_ / "watch.kzp").string();
    // The monitor closed (its rows stay with the project), then the project
    // saved through `command`.
    auto save = [&](const char* command) {
        if (_DevMoniDlg) {
            EXPECT_TRUE(CloseWindow(_DevMoniDlg));
        }
        return frame_->RunCommand(command);
    };
    // The project opened again, its list changed since given up (the list is
    // the project's: changing it asks to save), the monitor opened on what
    // the file gave: its names, row by row.
    auto reopened = [&] {
        if (_DevMoniDlg) {
            EXPECT_TRUE(CloseWindow(_DevMoniDlg));
        }
        EXPECT_EQ(gQel.Modified, 1);
        messages_.QueueAnswer(qel::Answer::No);
        dialogs_.QueuePath(watch);
        EXPECT_TRUE(frame_->RunCommand("MmOpen"));
        TDevMoniDlg* m = OpenMonitor();
        QStringList names;
        for (int row = 0; m && row < m->DevGrid->rowCount(); ++row) names << Cell(m, row, 0);
        return names;
    };
    frame_->NewClick();  // a new project of one rung
    PutSmallProgram();
    TDevMoniDlg* m = OpenMonitor();
    ASSERT_TRUE(m);
    TypeRows(m, "d100", "2");
    m->SetCurrentRow(3);
    TypeRows(m, "Y0", "2");
    dialogs_.QueuePath(watch);
    ASSERT_TRUE(save("MmSaveAs"));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    ASSERT_TRUE(OpenMonitor());
    _DevMoniDlg->PopAllClr->trigger();  // not saved: the file's list comes back
    EXPECT_EQ(reopened(), QStringList({"D100", "D101", "Y0", "Y1", ""}));

    // Cleared and saved: the project opens with no device listed, over a
    // list typed since and not saved.
    _DevMoniDlg->PopAllClr->trigger();
    ASSERT_TRUE(save("MmSave"));
    TypeRows(OpenMonitor(), "M5", "1");
    EXPECT_EQ(reopened(), QStringList({""}));

    // Typed again into that empty row, saved, opened again.
    _DevMoniDlg->SetCurrentRow(1);
    TypeRows(_DevMoniDlg, "X10", "2");
    ASSERT_TRUE(save("MmSave"));
    OpenMonitor()->PopAllClr->trigger();
    EXPECT_EQ(reopened(), QStringList({"X10", "X11", ""}));
    EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// The monitor's grid after each way of editing it is the grid the project
// opens with after File > Save: the same devices in the same rows, and one
// empty row to type into after them while the grid has room.
TEST_F(OnlineTest, DeviceMonitorGridIsTheSameAfterEachEditAsAfterSaveAndOpen) {
    // The grid's device names, row by row.
    auto shown = [&](TDevMoniDlg* m) {
        QStringList names;
        for (int row = 0; m && row < m->DevGrid->rowCount(); ++row) names << Cell(m, row, 0);
        return names.join(',').toStdString();
    };
    // Grid rows `first`..`last` (1-based) selected, then the popup's Delete.
    auto deleteRows = [&](TDevMoniDlg* m, int first, int last) {
        QAbstractItemModel* model = m->DevGrid->model();
        m->DevGrid->selectionModel()->select(QItemSelection(model->index(first - 1, 0), model->index(last - 1, 0)),
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m->PopDel->trigger();
    };
    auto numbered = [](const char* letter, int from, int to) {
        QStringList names;
        for (int i = from; i <= to; ++i) names << QString("%1%2").arg(letter).arg(i);
        return names;
    };
    struct Row {
        const char* name;
        int family;
        std::function<void(TDevMoniDlg* m)> edit;
        QStringList expected;
    };
    const Row rows[] = {
        {"96 devices fill the grid, no row left to type into", 1, [&](TDevMoniDlg* m) { TypeRows(m, "M0", "96"); },
         numbered("M", 0, 95)},
        {"rows deleted in the middle", 1,
         [&](TDevMoniDlg* m) {
             TypeRows(m, "D0", "5");
             deleteRows(m, 2, 3);
         },
         QStringList({"D0", "D3", "D4", ""})},
        {"the last device deleted with the empty row after it", 1,
         [&](TDevMoniDlg* m) {
             TypeRows(m, "D0", "3");
             deleteRows(m, 3, 4);
         },
         QStringList({"D0", "D1", ""})},
        {"a row deleted from the full grid", 1,
         [&](TDevMoniDlg* m) {
             TypeRows(m, "M0", "96");
             deleteRows(m, 10, 10);
         },
         numbered("M", 0, 8) + numbered("M", 10, 95) + QStringList({""})},
        {"counting past the family's last timer, then a device typed after it", 1,
         [&](TDevMoniDlg* m) {
             TypeRows(m, "T254", "5");  // T256 is no device: said, and the rows before it stay
             m->SetCurrentRow(m->DevGrid->rowCount());
             TypeRows(m, "D0", "1");
         },
         QStringList({"T254", "T255", "D0", ""})},
        {"File > New after a project that lists devices", 1,
         [&](TDevMoniDlg* m) {
             TypeRows(m, "D0", "2");
             EXPECT_TRUE(CloseWindow(m));
             dialogs_.QueuePath((projects_ / "listed.kzp").string());
             ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
             frame_->NewClick();
         },
         QStringList({""})},
        {"a set without a list file opened over a project that lists devices", 1,
         [&](TDevMoniDlg* m) {
             TypeRows(m, "D5", "1");
             EXPECT_TRUE(CloseWindow(m));
             dialogs_.QueuePath((projects_ / "unlisted.kzp").string());
             ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
             std::filesystem::remove(projects_ / "unlisted.dev");
             dialogs_.QueuePath((projects_ / "unlisted.kzp").string());
             ASSERT_TRUE(frame_->RunCommand("MmOpen"));
         },
         QStringList({""})},
        {"a model change drops the devices the new family lacks", 1,
         [&](TDevMoniDlg* m) {
             TypeRows(m, "D1300", "2");
             m->SetCurrentRow(3);
             TypeRows(m, "D8000", "1");
             m->SetCurrentRow(4);
             TypeRows(m, "Y0", "1");
             EXPECT_TRUE(CloseWindow(m));
             messages_.QueueAnswer(qel::Answer::Ok);  // the entries beyond the family go
             EXPECT_TRUE(frame_->ApplyModelSetting(0, gQel.CapacityIndex, false));
             EXPECT_EQ(gQel.Family, 0);
         },
         QStringList({"D1300", "D1301", "Y0", ""})},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string kzp = (projects_ / ("watch" + std::to_string(n++) + ".kzp")).string();
        frame_->NewClick();
        ASSERT_TRUE(frame_->ApplyModelSetting(row.family, gQel.CapacityIndex, false));
        PutSmallProgram();
        row.edit(OpenMonitor());
        EXPECT_EQ(shown(OpenMonitor()), row.expected.join(',').toStdString()) << "while the program runs";
        EXPECT_TRUE(CloseWindow(_DevMoniDlg));
        dialogs_.QueuePath(kzp);
        ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
        // Another list in memory: the file must bring the saved one back.
        OpenMonitor()->PopAllClr->trigger();
        TypeRows(_DevMoniDlg, "X7", "1");
        EXPECT_TRUE(CloseWindow(_DevMoniDlg));
        messages_.QueueAnswer(qel::Answer::No);
        dialogs_.QueuePath(kzp);
        ASSERT_TRUE(frame_->RunCommand("MmOpen"));
        EXPECT_EQ(shown(OpenMonitor()), row.expected.join(',').toStdString()) << "after File > Open";
        EXPECT_TRUE(CloseWindow(_DevMoniDlg));
        EXPECT_FALSE(messages_.UnscriptedQuestion());
    }
}

namespace {

// The colour inside a ladder cell, away from its glyph and text.
QColor LadderCellPixel(TLDB* w, std::int32_t row, std::int32_t col) {
    const TLadderPaintOptions o = w->PaintOptions();
    const TLadderGeometry g{o.cellWidth, o.cellHeight, o.hScroll, o.vScroll, o.comments};
    const QImage img = w->viewport()->grab().toImage();
    return img.pixelColor(g.CellX(col) + 4, g.RowY(row) + o.cellHeight - 5);
}

}  // namespace

TEST_F(OnlineTest, LadderMonitorShowsTheRunningProgramAndForcesFromTheCursor) {
    PutProgram({"LD X0", "OUT Y0", "END"});
    gQel.ProgramPresent = 1;
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    emu_.S.program.assign(gProgram, gProgram + gProgramCapacity);
    emu_.S.running = true;
    emu_.S.scanOnRequest = true;

    // Wide enough for a whole row of cells.
    frame_->resize(1600, 900);
    frame_->show();
    ASSERT_TRUE(frame_->RunCommand("MmMonitorLad"));
    TLDB* w = _LDB;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(gMonitorMode, 1);
    EXPECT_TRUE(frame_->BnMonitorLad->isChecked());
    EXPECT_TRUE(frame_->Action("MmSetVal")->isEnabled());
    std::int32_t contact = -1, coil = -1;
    for (std::int32_t c = 0; c <= kLdbLastColumn; c += kLdbCellBytes) {
        const TLdbKind k = CellKind(CellAt(gLadderRows, 0, c));
        if (k == TLdbKind::Open_Ry) contact = c;
        if (k == TLdbKind::Out_Ry) coil = c;
    }
    ASSERT_GE(contact, 0);
    ASSERT_GE(coil, 0);
    // The whole row on screen: the smallest cells, scrolled to the left.
    frame_->Size50Click(0);
    w->horizontalScrollBar()->setValue(0);
    ASSERT_GT(w->viewport()->width(), (coil / kLdbCellBytes + 2) * gCellWidth) << "viewport " << w->viewport()->width();
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.regs[16384] == 2 && emu_.S.scans > 2; }));
    EXPECT_EQ(LadderCellPixel(w, 0, contact), LadderColors::Background);
    EXPECT_EQ(LadderCellPixel(w, 0, coil), LadderColors::Background);

    // "+" on the contact forces X0 ON; the program turns Y0 on, and both
    // cells are drawn ON.
    w->Edit().SetCursor(0, contact);
    w->setFocus();
    QTest::keyClick(w, Qt::Key_Plus);
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.coils[0x0500] && LadderCellPixel(w, 0, coil) == LadderColors::On; }));
    EXPECT_EQ(LadderCellPixel(w, 0, contact), LadderColors::On);
    // "-" forces it OFF again, and the coil follows.
    QTest::keyClick(w, Qt::Key_Minus);
    ASSERT_TRUE(PumpUntil([&] { return !emu_.S.coils[0x0500] && LadderCellPixel(w, 0, coil) == LadderColors::Background; }));
    // A wire cannot be forced: it says so and sends nothing.
    w->Edit().SetCursor(0, contact + kLdbCellBytes);
    ASSERT_TRUE(w->Link->Run("PopOFF"));
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(42));
    EXPECT_TRUE(_TransData->CoilQueue.Empty());

    // Monitoring off: the plain ladder, and the PLC's monitor coil goes OFF.
    ASSERT_TRUE(frame_->RunCommand("MmMonitorLad"));
    EXPECT_EQ(gMonitorMode, 0);
    EXPECT_FALSE(frame_->BnMonitorLad->isChecked());
    ASSERT_TRUE(PumpUntil([&] { return !emu_.S.monitorCoil && !frame_->Link.PortOpen(); }));
    QApplication::processEvents();
    EXPECT_EQ(LadderCellPixel(w, 0, coil), LadderColors::Background);
}

// The password dialog from the PLC menu: a new password typed twice locks the
// PLC; the dialog then asks for it, refuses a wrong one and opens the PLC
// with the right one; the password is nowhere in the files the program writes.
TEST_F(OnlineTest, PasswordDialogLocksAndUnlocksThePlcAndKeepsThePasswordOutOfFiles) {
    const std::string secret = "Qw7z";
    ASSERT_TRUE(frame_->RunCommand("MmPassWd"));
    ASSERT_NE(_PwdDlg, nullptr);
    ASSERT_TRUE(_PwdDlg->isVisible());
    auto idle = [] { return _TransData->JobNo == 0 && _TransData->MaySend; };
    ASSERT_TRUE(PumpUntil([&] { return _PwdDlg->Job().Known && idle(); }));
    EXPECT_EQ(_PwdDlg->Job().EnterMode, 0);
    EXPECT_FALSE(_PwdDlg->Confirm_Txt->isHidden());

    QTest::keyClicks(_PwdDlg->Password, QString::fromStdString(secret));
    QTest::keyClicks(_PwdDlg->Confirm_Txt, QString::fromStdString(secret));
    messages_.QueueAnswer(qel::Answer::Yes);  // read the lock state back
    QTest::mouseClick(_PwdDlg->OKBtn, Qt::LeftButton);
    EXPECT_TRUE(_PwdDlg->Password->text().isEmpty());
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.coils[PlcEmulator::kM1069] && idle() && _PwdDlg->Job().EnterMode == 1; }));
    EXPECT_EQ(emu_.S.password, secret);
    EXPECT_TRUE(_PwdDlg->Confirm_Txt->isHidden());  // now the PLC's password is asked for

    // The right one, entered with Return, opens it (wrong ones: PasswordTest).
    QTest::keyClicks(_PwdDlg->Password, QString::fromStdString(secret));
    QTest::keyClick(_PwdDlg->Password, Qt::Key_Return);
    ASSERT_TRUE(PumpUntil([&] { return !emu_.S.coils[PlcEmulator::kM1069] && idle() && _PwdDlg->Job().EnterMode == 0; }));
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(qel::link::kMsgPwdNone));
    QTest::mouseClick(_PwdDlg->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(_PwdDlg->isVisible());

    // Nothing of it in a message, the settings or any other file written.
    for (const std::string& text : messages_.Shown()) EXPECT_EQ(text.find(secret), std::string::npos);
    ASSERT_TRUE(WriteSettings());
    frame_.reset();
    int files = 0;
    for (const auto& dir : {home_, projects_}) {
        if (!std::filesystem::exists(dir)) continue;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
            if (!e.is_regular_file()) continue;
            ++files;
            std::ifstream in(e.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(bytes.find(secret), std::string::npos) << e.path();
        }
    }
    EXPECT_GT(files, 0);
}

// ---------------------------------------------------------------------------
// SFC monitoring in the frame against the PLC emulator over a pseudo-terminal:
// the running chart's active step drawn red and moving with the PLC's step
// relays, all steps off at once after a scroll and the new rows' states a
// second later, and monitoring that ends cleanly when the window closes, the
// project changes or the line is lost.
namespace {

void PutCell(int row, int col, std::uint8_t type, std::uint16_t number) {
    std::uint8_t* c = gSfcGrid + static_cast<std::size_t>(row) * kSfcRowBytes + col * kSfcCellBytes;
    c[0] = type;
    c[1] = number & 0xFF;
    c[2] = number >> 8;
}

bool Red(const QColor& c) { return c.red() > 200 && c.green() < 80 && c.blue() < 80; }

class SfcMonitorWindowTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        StartFrame();
        InstallInstList(frame_.get());
        InstallLadder(frame_.get());
        InstallSfc(frame_.get());
        frame_->resize(1200, 800);
        OpenChart();
    }
    // S0, a transition, S20, a transition, S21, a transition, a jump to S0.
    void OpenChart() {
        gQel.Modified = 0;
        frame_->NewClick();
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        ASSERT_NE(_Sfc, nullptr);
        const std::pair<std::uint8_t, std::uint16_t> cells[] = {{kSfcInitStep, 0}, {kSfcTransition, 0}, {kSfcStep, 20},
                                                                {kSfcTransition, 0}, {kSfcStep, 21}, {kSfcTransition, 0},
                                                                {kSfcJump, 0}};
        for (int row = 0; row < 7; ++row) PutCell(row, 0, cells[row].first, cells[row].second);
        _Sfc->MarkSynced();
        _Sfc->RedrawChart();
    }
    // The fill of the element in column 0 of `row` on screen.
    QColor Fill(int row) {
        const QImage image = _Sfc->viewport()->grab().toImage();
        const int top = row * _Sfc->CellHeight() - _Sfc->verticalScrollBar()->value();
        return image.pixelColor(_Sfc->CellWidth() - 6, top + _Sfc->CellHeight() - 6);
    }
    bool Running() const {
        return std::find(_TransData->MonitorClients.begin(), _TransData->MonitorClients.end(), "2") !=
               _TransData->MonitorClients.end();
    }
    // Monitoring is off in the frame; `plcToo`: the PLC's monitor coil goes
    // off and the port closes.
    void ExpectStopped(bool plcToo = true) {
        EXPECT_EQ(gSfcMonitorOn, 0);
        EXPECT_FALSE(Running());
        EXPECT_FALSE(frame_->MmMonitorSfc->isChecked());
        if (plcToo) {
            EXPECT_TRUE(PumpUntil([&] { return !emu_.S.monitorCoil && !frame_->Link.PortOpen(); }));
        }
    }
};

}  // namespace

TEST_F(SfcMonitorWindowTest, ActiveStepDrawnRedMovesWithTheStepRelaysAndScrollRefreshes) {
    emu_.S.coils[0] = 1;  // S0 active
    EXPECT_TRUE(frame_->Action("sBtn1")->isEnabled());
    ASSERT_TRUE(frame_->RunCommand("MmMonitorSfc"));
    EXPECT_TRUE(frame_->MmMonitorSfc->isChecked());
    EXPECT_EQ(gSfcMonitorOn, 1);
    // No drawing while monitoring: element and line buttons off, no popup.
    EXPECT_FALSE(frame_->Action("sBtn1")->isEnabled());
    EXPECT_FALSE(frame_->Action("ssBtn1")->isEnabled());
    {
        bool popped = false;
        QTimer::singleShot(0, [&popped] {
            if (QWidget* menu = QApplication::activePopupWidget()) {
                popped = true;
                menu->close();
            }
        });
        const QPoint at(10, 10);
        QContextMenuEvent popup(QContextMenuEvent::Mouse, at, _Sfc->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(_Sfc->viewport(), &popup);
        QCoreApplication::processEvents();
        EXPECT_FALSE(popped);
    }
    ASSERT_TRUE(PumpUntil([] { return _Sfc->Monitor()->StepOn(0); }));
    // The list: S0, S20, S21 and the jump's S0, in drawing order.
    EXPECT_EQ(_Sfc->Monitor()->StepListBytes, 8u);
    EXPECT_TRUE(Red(Fill(0)));
    EXPECT_FALSE(Red(Fill(2)));

    // The chart moves on to S20.
    emu_.S.coils[0] = 0;
    emu_.S.coils[20] = 1;
    ASSERT_TRUE(PumpUntil([] { return !_Sfc->Monitor()->StepOn(0) && _Sfc->Monitor()->StepOn(1); }));
    EXPECT_FALSE(Red(Fill(0)));
    EXPECT_TRUE(Red(Fill(2)));

    // One row down: every step is off at once; a second later the new list
    // (S20 first) goes out and S20 is red again.
    _Sfc->verticalScrollBar()->setValue(_Sfc->CellHeight());
    EXPECT_FALSE(_Sfc->Monitor()->StepOn(0));
    EXPECT_FALSE(_Sfc->Monitor()->StepOn(1));
    EXPECT_FALSE(Red(Fill(2)));
    ASSERT_TRUE(PumpUntil([] { return _Sfc->Monitor()->StepListBytes == 6 && _Sfc->Monitor()->StepOn(0); }));
    EXPECT_TRUE(Red(Fill(2)));

    // The command again stops it: white steps, the PLC's monitor coil off.
    ASSERT_TRUE(frame_->RunCommand("MmMonitorSfc"));
    EXPECT_TRUE(frame_->Action("sBtn1")->isEnabled());
    EXPECT_FALSE(Red(Fill(2)));
    ExpectStopped();
}

TEST_F(SfcMonitorWindowTest, ClosingTheWindowOrChangingTheProjectEndsMonitoring) {
    ASSERT_TRUE(frame_->RunCommand("MmMonitorSfc"));
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.monitorCoil && _Sfc->Monitor()->MonitorState == 9; }));
    auto* sub = qobject_cast<QMdiSubWindow*>(_Sfc->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(_Sfc, nullptr);
    EXPECT_EQ(qel::link::gSfcMonitorRefresh, 0);
    ExpectStopped();

    OpenChart();
    ASSERT_TRUE(frame_->RunCommand("MmMonitorSfc"));
    ASSERT_TRUE(PumpUntil([&] { return _Sfc->Monitor()->MonitorState == 9; }));
    // A new project while monitoring: the frame asks first. No keeps it
    // running and the chart open; Yes stops it (the chart stays until the
    // next command, which then goes through).
    gQel.Modified = 0;
    messages_.QueueAnswer(qel::Answer::No);
    frame_->NewClick();
    EXPECT_EQ(gSfcMonitorOn, 1);
    EXPECT_TRUE(Running());
    ASSERT_NE(_Sfc, nullptr);
    messages_.QueueAnswer(qel::Answer::Yes);
    frame_->NewClick();
    ExpectStopped();
    frame_->NewClick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(_Sfc, nullptr);
}

TEST_F(SfcMonitorWindowTest, LostLineEndsMonitoringWithItsMessage) {
    ASSERT_TRUE(frame_->RunCommand("MmMonitorSfc"));
    ASSERT_TRUE(PumpUntil([&] { return _Sfc->Monitor()->MonitorState == 9 && emu_.RequestCount() > 10; }));
    emu_.AddFault({qel::test::FaultAction::Drop, -1, -1, -1, -1, 0, -1});
    ASSERT_TRUE(PumpUntil([&] { return !messages_.Shown().empty(); }));
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(qel::link::kMsgTimeout));
    ExpectStopped(false);
    EXPECT_NE(_Sfc, nullptr);  // the chart stays open
    const std::size_t requests = emu_.RequestCount();
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(emu_.RequestCount(), requests);
}
