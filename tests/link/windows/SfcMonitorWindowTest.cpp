// SFC monitoring in the frame against the PLC emulator over a pseudo-terminal:
// the running chart's active step drawn red and moving with the PLC's step
// relays, all steps off at once after a scroll and the new rows' states a
// second later, and monitoring that ends cleanly when the window closes, the
// project changes or the line is lost.
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTimer>

#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "link/online/Sfcmoni.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/window/Sfcwin.h"
#include "tests/link/windows/LinkWindowFixture.h"

namespace {

constexpr std::chrono::seconds kBound{20};

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
            EXPECT_TRUE(PumpUntil([&] { return !emu_.S.monitorCoil && !frame_->Link.PortOpen(); }, kBound));
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
        QContextMenuEvent popup(QContextMenuEvent::Mouse, QPoint(10, 10));
        QCoreApplication::sendEvent(_Sfc->viewport(), &popup);
        QCoreApplication::processEvents();
        EXPECT_FALSE(popped);
    }
    ASSERT_TRUE(PumpUntil([] { return _Sfc->Monitor()->StepOn(0); }, kBound));
    // The list: S0, S20, S21 and the jump's S0, in drawing order.
    EXPECT_EQ(_Sfc->Monitor()->StepListBytes, 8u);
    EXPECT_TRUE(Red(Fill(0)));
    EXPECT_FALSE(Red(Fill(2)));

    // The chart moves on to S20.
    emu_.S.coils[0] = 0;
    emu_.S.coils[20] = 1;
    ASSERT_TRUE(PumpUntil([] { return !_Sfc->Monitor()->StepOn(0) && _Sfc->Monitor()->StepOn(1); }, kBound));
    EXPECT_FALSE(Red(Fill(0)));
    EXPECT_TRUE(Red(Fill(2)));

    // One row down: every step is off at once; a second later the new list
    // (S20 first) goes out and S20 is red again.
    _Sfc->verticalScrollBar()->setValue(_Sfc->CellHeight());
    EXPECT_FALSE(_Sfc->Monitor()->StepOn(0));
    EXPECT_FALSE(_Sfc->Monitor()->StepOn(1));
    EXPECT_FALSE(Red(Fill(2)));
    ASSERT_TRUE(PumpUntil([] { return _Sfc->Monitor()->StepListBytes == 6 && _Sfc->Monitor()->StepOn(0); }, kBound));
    EXPECT_TRUE(Red(Fill(2)));

    // The command again stops it: white steps, the PLC's monitor coil off.
    ASSERT_TRUE(frame_->RunCommand("MmMonitorSfc"));
    EXPECT_TRUE(frame_->Action("sBtn1")->isEnabled());
    EXPECT_FALSE(Red(Fill(2)));
    ExpectStopped();
}

TEST_F(SfcMonitorWindowTest, ClosingTheWindowOrChangingTheProjectEndsMonitoring) {
    ASSERT_TRUE(frame_->RunCommand("MmMonitorSfc"));
    ASSERT_TRUE(PumpUntil([&] { return emu_.S.monitorCoil && _Sfc->Monitor()->MonitorState == 9; }, kBound));
    auto* sub = qobject_cast<QMdiSubWindow*>(_Sfc->parentWidget());
    ASSERT_NE(sub, nullptr);
    sub->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(_Sfc, nullptr);
    EXPECT_EQ(qel::link::gSfcMonitorRefresh, 0);
    ExpectStopped();

    OpenChart();
    ASSERT_TRUE(frame_->RunCommand("MmMonitorSfc"));
    ASSERT_TRUE(PumpUntil([&] { return _Sfc->Monitor()->MonitorState == 9; }, kBound));
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
    ASSERT_TRUE(PumpUntil([&] { return _Sfc->Monitor()->MonitorState == 9 && emu_.RequestCount() > 10; }, kBound));
    emu_.AddFault({qel::test::FaultAction::Drop, -1, -1, -1, -1, 0, -1});
    ASSERT_TRUE(PumpUntil([&] { return !messages_.Shown().empty(); }, kBound));
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(qel::link::kMsgTimeout));
    ExpectStopped(false);
    EXPECT_NE(_Sfc, nullptr);  // the chart stays open
    const std::size_t requests = emu_.RequestCount();
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(emu_.RequestCount(), requests);
}
