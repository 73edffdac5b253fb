#pragma once
// The link's line over the serial port component: COM 1, 9600 baud, 7 data
// bits, even parity, opened only on demand, RTS off. Received characters are
// drained from the component on its "characters available" and data-trigger
// events and handed to the link in one piece.
#include <memory>

#include "link/engine/Linkport.h"
#include "serial/Serialport.h"

namespace qel::link {

class TComPortLink final : public TLinkPort {
public:
    TComPortLink();
    ~TComPortLink() override;

    bool Open(std::string* error) override;
    void Close() override;
    bool IsOpen() const override;
    int ComNumber() const override { return QelCom.ComNumber(); }
    void SetComNumber(int n) { QelCom.SetComNumber(static_cast<std::uint16_t>(n)); }
    int Baud() const override { return QelCom.Baud(); }
    void SetBaud(int baud) override;
    bool ChangeBaud(int baud, std::string* error) override;
    std::size_t OutFree() const override;
    bool Write(const char* data, std::size_t len) override;
    void FlushIn() override;
    void FlushOut() override;
    bool CharWaiting() const override;

    // The component itself (published as QelCom in the link form).
    mutable TComPort QelCom;

private:
    void QelComTrigger(std::uint16_t msg, std::uint16_t handle, std::uint16_t data);
    bool triggersMade_ = false;
};

}  // namespace qel::link
