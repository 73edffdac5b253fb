#pragma once
// The frame's side of the PLC link: the serial line, the link engine
// (_TransData) and what the engine asks of the frame window (lamp, messages,
// progress window, status panels, monitor buttons, station byte, link mode).
// Created by the frame at start-up; it fills in the frame's Link hooks.
#include <QObject>

#include <memory>

#include "link/engine/Linkframe.h"

class QColor;
class TQelMain;

namespace qel::link {
class TComPortLink;
class TTransData;
}  // namespace qel::link

/// The colour of a 0x00BBGGRR value.
QColor ColorFromBgr(std::uint32_t bgr);

class TQelLink final : public QObject, public qel::link::TLinkFrame {
public:
    explicit TQelLink(TQelMain* frame);
    ~TQelLink() override;

    qel::link::TTransData& Trans() { return *trans_; }
    qel::link::TComPortLink& Port() { return *port_; }

    /// Opens the port with the project's port number and baud rate when it is
    /// closed (the link shows message 168 on failure); false when not open.
    bool OpenPort();
    /// Stops the link's timers and closes the port.
    void ClosePort();
    /// Removes every monitor client and tells the frame monitoring stopped.
    void StopAllMonitoring();

    // What the link engine asks of the frame.
    void SetLamp(qel::link::LampColor c) override;
    void ShowLinkMessage(int msgId, const std::string& detail) override;
    std::uint8_t StationByte() const override;
    void SetStationByte(std::uint8_t s) override;
    int LinkMode() const override;
    void SetLinkMode(int mode) override;
    void CloseProgress() override;
    void AdvanceProgress() override;
    void ShowPlcVariant(std::uint16_t variant) override;
    void ShowScanTime(std::uint16_t scanTime) override;
    void ShowRunState(bool running) override;
    void MonitoringStopped() override;
    void CheckBaudMenu() override;
    void HoldProjectEdits(bool hold) override;

private:
    TQelMain* frame_;
    // Declared in this order so that the engine goes before its line.
    std::unique_ptr<qel::link::TComPortLink> port_;
    std::unique_ptr<qel::link::TTransData> trans_;
};
