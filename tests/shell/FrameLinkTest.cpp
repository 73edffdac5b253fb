// The frame's PLC link over a pseudo-terminal against the PLC emulator.
#include <fstream>
#include <vector>

#include <QEvent>
#include <QFrame>

#include "project/Settings.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/link/windows/LinkWindowFixture.h"

namespace {

// Records every colour the lamp takes.
class LampRecorder : public QObject {
public:
    explicit LampRecorder(QWidget* lamp) { lamp->installEventFilter(this); }
    bool Saw(const QColor& c) const { return std::find(colours.begin(), colours.end(), c) != colours.end(); }
    std::vector<QColor> colours;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::PaletteChange)
            colours.push_back(static_cast<QWidget*>(watched)->palette().color(QPalette::Window));
        return false;
    }
};

QColor Lamp(qel::link::LampColor c) { return ColorFromBgr(qel::link::LampRgb(c)); }

using FrameLinkTest = LinkWindowTest;

}  // namespace

TEST_F(FrameLinkTest, MonitorPollsTurnTheLampAndFillTheStatusPanels) {
    // A running PLC on COM 3.
    emu_.S.regs[PlcEmulator::kD1024] = 1;
    emu_.S.regs[PlcEmulator::kD1010] = 12;
    emu_.S.running = true;
    emu_.S.coils[PlcEmulator::kM1072] = 1;
    ASSERT_TRUE(Start());
    gQel.ComPort = 3;
    LampRecorder lamp(frame_->MoniLight);
    qel::test::ReadClient client(0x1000, 1);  // D0 on each of its turns
    _TransData->RegisterMonitorClient("1", &client);
    frame_->MmMonitorLad->setChecked(true);
    frame_->BnMonitorLad->setChecked(true);
    gMonitorMode = 1;

    ASSERT_TRUE(frame_->OpenComPort());
    EXPECT_TRUE(frame_->Link.PortOpen());
    EXPECT_EQ(_TransData->gCommTimeoutTicks, 180u);
    // The first client starts the PLC information query, then the polls run;
    // after twenty replies come the scan time and the run state.
    _TransData->AddMonitorClient("1");
    EXPECT_TRUE(frame_->Link.MonitorRunning());
    ASSERT_TRUE(PumpUntil([&] { return frame_->QelStaBar->Panel(6) == "RUN"; }))
        << client.values.size() << " replies";
    EXPECT_EQ(frame_->QelStaBar->Panel(7), "PLC COM: 1");
    EXPECT_EQ(frame_->QelStaBar->Panel(3), QString::fromStdString(gMsgTable.Get(177)) + "12");
    EXPECT_GE(client.values.size(), 20u);
    EXPECT_TRUE(emu_.S.coils[3072]) << "the monitor coil was switched on";

    // Editing asks first; Yes stops every client and the port closes after
    // the last reply.
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(frame_->CheckStopMonitor());
    EXPECT_FALSE(frame_->Link.MonitorRunning());
    EXPECT_TRUE(PumpUntil([&] { return !frame_->Link.PortOpen(); }));
    EXPECT_EQ(gMonitorMode, 0);
    EXPECT_FALSE(frame_->BnMonitorLad->isChecked());
    EXPECT_FALSE(frame_->MmMonitorLad->isChecked());

    for (auto c : {qel::link::LampColor::White, qel::link::LampColor::Red, qel::link::LampColor::Aqua})
        EXPECT_TRUE(lamp.Saw(Lamp(c))) << Lamp(c).name().toStdString();
    EXPECT_EQ(frame_->Lamp(), Lamp(qel::link::LampColor::Red));
    EXPECT_EQ(frame_->MoniLight->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(FrameLinkTest, PortThatCannotOpenIsReportedOnceWithItsNumber) {
    qel::SetComDeviceResolver([](std::uint16_t) { return std::string("/nonexistent/qel-no-such-port"); });
    ASSERT_TRUE(Start());
    gQel.ComPort = 5;
    EXPECT_FALSE(frame_->OpenComPort());
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(168) + "!! (COM5)");
    EXPECT_FALSE(frame_->Link.PortOpen());
}

TEST_F(FrameLinkTest, SerialDeviceComesFromTheSettingsFileAndThePortNumberFromEachOpening) {
    qel::SetComDeviceResolver(nullptr);  // the device comes from the file alone
    const auto ini = home_ / "Qel.ini";

    // The device line is the last one; it reads back as written.
    SetDefaultSettings();
    gQel.ComPort = 2;
    gQel.ComDevice = emu_.SlavePath();
    ASSERT_TRUE(WriteSettings(ini));
    SetDefaultSettings();
    ASSERT_TRUE(ReadSettings(ini));
    EXPECT_EQ(gQel.ComPort, 2);
    EXPECT_EQ(gQel.ComDevice, emu_.SlavePath());

    // A file written before the line existed still reads, without a device.
    std::vector<std::string> lines;
    {
        std::ifstream in(ini);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
    }
    ASSERT_EQ(lines.back(), emu_.SlavePath());
    {
        std::ofstream out(ini.parent_path() / "old.ini");
        for (size_t i = 0; i + 1 < lines.size(); ++i) out << lines[i] << "\n";
    }
    SetDefaultSettings();
    ASSERT_TRUE(ReadSettings(ini.parent_path() / "old.ini"));
    EXPECT_EQ(gQel.ComPort, 2);
    EXPECT_EQ(gQel.ComDevice, "");

    // The frame reads Qel.ini at start and binds the entry to the port.
    ASSERT_TRUE(Start());
    EXPECT_EQ(qel::ResolveComDevice(2), emu_.SlavePath());
    EXPECT_NE(qel::ResolveComDevice(3), emu_.SlavePath()) << "only the chosen port";
    ASSERT_TRUE(frame_->OpenComPort());
    ASSERT_TRUE(_TransData->QueueDeviceWrite(0x0501, 0xFF00, 0, 5));  // Y1 ON
    EXPECT_TRUE(PumpUntil([&] { return emu_.S.coils[0x0501] && !frame_->Link.PortOpen(); }));
    EXPECT_EQ(frame_->Lamp(), Lamp(qel::link::LampColor::Red));

    // The port number is taken afresh at each opening.
    qel::SetComDeviceResolver([path = emu_.SlavePath()](std::uint16_t n) { return n == 6 ? path : std::string(); });
    gQel.ComPort = 6;
    ASSERT_TRUE(frame_->OpenComPort());
    ASSERT_TRUE(frame_->LinkFrame()->Port().IsOpen());
    EXPECT_EQ(frame_->LinkFrame()->Port().ComNumber(), 6);
    frame_->close();  // shut-down closes the port
    EXPECT_FALSE(frame_->LinkFrame()->Port().IsOpen());
    EXPECT_TRUE(messages_.Shown().empty());
}
