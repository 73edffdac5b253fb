#include "simulator/SimMonitor.h"

#include "platform/Messages.h"
#include "simulator/Simuplc.h"

TSimMonitor::TSimMonitor(TPLC& plc, QObject* parent) : QObject(parent), plc_(plc) {
    connect(&timer_, &QTimer::timeout, this, &TSimMonitor::Poll);
    timer_.start(kRepaintIntervalMs);
}

void TSimMonitor::Poll() {
    const bool running = plc_.Running();
    const std::uint64_t scans = plc_.ScanCount();
    if (running && scans != lastScans_) {
        lastScans_ = scans;
        emit ScanPublished();
        if (gSimLadderMonitor) emit LadderRepaintWanted();
        if (++polls_ >= kStatusEveryPolls || !wasRunning_) {
            polls_ = 0;
            emit StatusChanged(QString::fromStdString(plc_.StatusText()));
        }
    }
    if (running) {
        wasRunning_ = true;
        return;
    }
    lastScans_ = 0;
    wasRunning_ = false;
    const std::string message = plc_.TakeStopMessage();
    if (message.empty()) return;
    if (gSimThread == &plc_) {
        gSimRunning = 0;
        gSimLadderMonitor = 0;
        gSimSfcMonitor = 0;
    }
    qel::ShowMessage(message, qel::MsgKind::Warning);
    emit Stopped();
}
