// The frame's side of the PLC link. Everything here runs on the GUI thread:
// the serial component delivers its events there, and the link engine calls
// back into the frame from its timer and reply handlers.
#include "shell/Qellink.h"

#include <stdexcept>
#include <string>

#include <QAction>
#include <QColor>

#include "link/engine/Comportlink.h"
#include "link/engine/Transdata.h"
#include "serial/Serialport.h"
#include "project/Msgtable.h"
#include "shell/Progfrm.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"
#include "project/Viewcodes.h"

namespace {

constexpr int kMsgScanTime = 177;
constexpr int kLadderView = kViewLadder;
constexpr int kDevMonitorView = kViewDevMonitor;
constexpr std::uint16_t kRunStopCoil = 3120;  // M1072

}  // namespace

QColor ColorFromBgr(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF));
}

TQelLink::TQelLink(TQelMain* frame)
    : QObject(frame), frame_(frame), port_(std::make_unique<qel::link::TComPortLink>()) {
    setObjectName("QelLink");
    port_->SetComNumber(gQel.ComPort);
    port_->SetBaud(gQel.BaudRate);
    trans_ = std::make_unique<qel::link::TTransData>(port_.get(), this);
    qel::link::_TransData = trans_.get();
}

TQelLink::~TQelLink() {
    // Jobs and windows hung on the link go before the engine they talk to.
    qDeleteAll(findChildren<QObject*>(Qt::FindDirectChildrenOnly));
    // The engine first: it unhooks itself from the line and clears _TransData.
    trans_.reset();
    port_.reset();
}

bool TQelLink::OpenPort() {
    // The port number and baud rate are the project's; they may have changed
    // since the last opening.
    if (!port_->IsOpen()) {
        port_->SetComNumber(gQel.ComPort);
        port_->SetBaud(gQel.BaudRate);
    }
    return trans_->OpenPort();
}

void TQelLink::ClosePort() {
    trans_->ComTmr.stop();
    trans_->ReplyTmr.stop();
    port_->Close();
}

void TQelLink::StopAllMonitoring() {
    const std::vector<std::string> clients = trans_->MonitorClients;
    for (const std::string& id : clients) trans_->RemoveMonitorClient(id);
    MonitoringStopped();
    // The user stopped it: the PLC's monitor coil goes OFF before the port
    // closes (after a lost line nothing more is sent).
    if (!clients.empty() && port_->IsOpen()) {
        trans_->QueueDeviceWrite(trans_->MonitorBase[0], 0x0000, 0, 5);
        trans_->StartComTmr();
    }
    trans_->ClosePortIfIdle();
}

void TQelLink::SetLamp(qel::link::LampColor c) { frame_->SetLampColor(ColorFromBgr(qel::link::LampRgb(c))); }

void TQelLink::ShowLinkMessage(int msgId, const std::string& detail) { ShowMsg(msgId, detail); }

std::uint8_t TQelLink::StationByte() const { return gQel.Station; }

void TQelLink::SetStationByte(std::uint8_t s) { gQel.Station = s; }

int TQelLink::LinkMode() const { return gQel.LinkMode; }

void TQelLink::SetLinkMode(int mode) { gQel.LinkMode = mode; }

void TQelLink::CloseProgress() {
    if (_ProgBar && _ProgBar->isVisible()) _ProgBar->EndProgress();
}

void TQelLink::AdvanceProgress() {
    if (_ProgBar) _ProgBar->StepIt();
}

void TQelLink::ShowPlcVariant(std::uint16_t variant) {
    frame_->QelStaBar->SetPanel(7, QStringLiteral("PLC COM: %1").arg(variant));
}

void TQelLink::ShowScanTime(std::uint16_t scanTime) {
    frame_->QelStaBar->SetPanel(3, QString::fromStdString(gMsgTable.Get(kMsgScanTime)) + QString::number(scanTime));
}

void TQelLink::ShowRunState(bool running) {
    frame_->QelStaBar->SetPanel(6, running ? QStringLiteral("RUN") : QStringLiteral("STOP"));
}

void TQelLink::MonitoringStopped() {
    gMonitorMode = 0;
    for (QAction* a : {frame_->MmMonitorLad, frame_->BnMonitorLad, frame_->MmMonitorSfc, frame_->BnMonitorSfc})
        a->setChecked(false);
    // The ladder window drops its monitor display through its own handler;
    // the device monitor closes.
    frame_->Router().Dispatch("RepaintLadder", kLadderView);
    frame_->Router().Dispatch("DevMoniClose", kDevMonitorView);
    frame_->Router().Dispatch("SfcMoniStop", kViewSfc);
    // Nothing is polled any more: the lamp and the PLC's panels go blank.
    frame_->SetLamp(TLampState::Off);
    for (int panel : {3, 6, 7}) frame_->QelStaBar->SetPanel(panel, QString());
    frame_->RefreshCommands();
}

void TQelLink::CheckBaudMenu() {
    // A failed speed change leaves the port at the rate it really runs at; the
    // frame's baud setting follows it, so the next opening uses that rate.
    gQel.BaudRate = port_->Baud();
}

void TQelLink::HoldProjectEdits(bool hold) { frame_->HoldEditsForRead(hold); }

// ---------------------------------------------------------------------------
// The frame's link

void TQelMain::CreateLink() {
    // The port's device path may come from the settings file: the entry names
    // the device of the chosen port number (empty: the default rule).
    qel::SetComSettingsLookup([](std::uint16_t n) { return n == gQel.ComPort ? gQel.ComDevice : std::string(); });

    link_ = new TQelLink(this);
    TQelLink* link = link_;
    Link.MonitorRunning = [link] { return link->Trans().Monitoring(); };
    Link.StopAllMonitoring = [link] { link->StopAllMonitoring(); };
    Link.PortOpen = [link] { return link->Port().IsOpen(); };
    Link.OpenPort = [link] {
        if (!link->OpenPort()) throw std::runtime_error("serial port not opened");
    };
    Link.ClosePort = [link] { link->ClosePort(); };
    Link.JobRunning = [link] { return link->Trans().JobRunning(); };
    Link.JobWrites = [link] { return link->Trans().JobWrites(); };
    Link.JobReads = [link] { return link->Trans().JobReads(); };
    Link.StopJob = [link] { link->Trans().StopJob(); };
}

void TQelMain::RequestScanTime() {
    if (link_) link_->Trans().RequestScanTime();
}

void TQelMain::MmRunClick() {
    // Not during a job: a PLC started while its program is written or read
    // would run a program half there.
    if (!link_ || !link_->Trans().MayPutRequests() || !OpenComPort()) return;
    link_->Trans().QueueDeviceWrite(kRunStopCoil, 0xFF00, 0, 5);
}

void TQelMain::MmStopClick() {
    if (!link_ || !link_->Trans().MayPutRequests() || !OpenComPort()) return;
    link_->Trans().QueueDeviceWrite(kRunStopCoil, 0x0000, 0, 5);
    // The monitor clients write their lists into the PLC again.
    link_->Trans().BnStopTag = 1;
}
