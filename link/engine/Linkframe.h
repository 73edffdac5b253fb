#pragma once
// What the link engine needs of the frame window: the lamp, the station byte,
// the link mode, user messages by id, the progress window and the views that
// a link abort closes. The frame window implements it; TLinkFrameBase keeps
// the state itself and sends messages to the platform message service, so the
// engine also works before (or without) a frame window.
#include <cstdint>
#include <string>

namespace qel::link {

// Colours of the link lamp.
enum class LampColor : std::uint8_t {
    White,    // frame written
    Green,    // part of a reply received
    Red,      // good reply
    Blue,     // exception reply
    Fuchsia,  // bad frame, resent
    Black,    // reply of 3 characters or fewer
    Aqua,     // monitor round-robin tick
    Yellow,   // job tick
};

// 0x00BBGGRR values of the lamp colours, for the frame's colour helper.
std::uint32_t LampRgb(LampColor c);

class TLinkFrame {
public:
    virtual ~TLinkFrame() = default;

    // The lamp changed; the frame repaints its status bar at once.
    virtual void SetLamp(LampColor c) = 0;
    // Shows the message of the given id from the message table, followed by
    // a literal detail (may be empty).
    virtual void ShowLinkMessage(int msgId, const std::string& detail) = 0;

    virtual std::uint8_t StationByte() const = 0;
    virtual void SetStationByte(std::uint8_t s) = 0;
    // 5 while the baud menu changes, 6 during the baud-rate search, else 0.
    virtual int LinkMode() const = 0;
    virtual void SetLinkMode(int mode) = 0;

    // Closes the progress window when it is shown.
    virtual void CloseProgress() = 0;
    // Advances the progress bar by one step and refreshes its percentage.
    virtual void AdvanceProgress() = 0;
    // Panel 7: "PLC COM: " + the PLC variant read by the information query.
    virtual void ShowPlcVariant(std::uint16_t variant) = 0;
    // Frame monitor client "7" and the periodic status polls.
    virtual void ShowScanTime(std::uint16_t scanTime) = 0;
    virtual void ShowRunState(bool running) = 0;
    // The link stopped every monitor client (time-out or failed poll): close
    // the device monitor, raise the ladder and SFC monitor buttons, clear the
    // monitor modes and close the link window when it is shown.
    virtual void MonitoringStopped() = 0;
    // After a reply time-out in link mode 5: check the baud menu item of the
    // port's current rate.
    virtual void CheckBaudMenu() = 0;
    // A job whose result replaces project data runs (true) or has ended
    // (false): the windows holding that data take no edits meanwhile.
    virtual void HoldProjectEdits(bool hold) {}
};

// A frame that keeps its own station byte and link mode and shows messages
// through the platform message service.
class TLinkFrameBase : public TLinkFrame {
public:
    void SetLamp(LampColor c) override { lamp_ = c; }
    void ShowLinkMessage(int msgId, const std::string& detail) override;
    std::uint8_t StationByte() const override { return station_; }
    void SetStationByte(std::uint8_t s) override { station_ = s; }
    int LinkMode() const override { return linkMode_; }
    void SetLinkMode(int mode) override { linkMode_ = mode; }
    void CloseProgress() override {}
    void AdvanceProgress() override {}
    void ShowPlcVariant(std::uint16_t) override {}
    void ShowScanTime(std::uint16_t) override {}
    void ShowRunState(bool) override {}
    void MonitoringStopped() override {}
    void CheckBaudMenu() override {}

    LampColor Lamp() const { return lamp_; }

private:
    LampColor lamp_ = LampColor::White;
    std::uint8_t station_ = 1;
    int linkMode_ = 0;
};

}  // namespace qel::link
