#pragma once
// The dispatcher over a Linux serial device (termios). Two threads per open
// port: the dispatcher thread waits in poll() on the device and a wake-up
// descriptor (at most 50 ms, so timer triggers run without traffic) and runs
// the passes; the output thread writes the output ring to the device with
// non-blocking writes, taking bytes and advancing the ring in one locked step.
#include <linux/serial.h>

#include <mutex>
#include <thread>

#include "serial/Dispatcher.h"

namespace qel {

class TOsDispatcher : public TBaseDispatcher {
public:
    explicit TOsDispatcher(TCustomComPort* owner);
    ~TOsDispatcher() override;

    int Fd() const { return Fd_; }
    // False once the device refused the modem-line requests (a pseudo-terminal,
    // many USB adapters): DTR and RTS are then only remembered.
    bool HasModemLines() const { return HasModemLines_; }
    int RunningThreads() const { return ActiveThreads_.load(); }

    int32_t StartDispatcher() override;

protected:
    int32_t OpenCom(const std::string& device, uint32_t inSize, uint32_t outSize) override;
    int32_t SetupCom(uint32_t inSize, uint32_t outSize) override;
    int32_t GetComState(TLineDCB& dcb) override;
    int32_t SetComState(const TLineDCB& dcb) override;
    int32_t GetComErrorPrim(TComStatus& stat) override;
    int32_t ReadCom(uint8_t* buf, uint32_t size) override;
    void OutputQueued() override;
    int32_t FlushComPrim(int queue) override;
    int32_t EscapeComFunction(int func) override;
    uint8_t ModemLines() override;
    void SetBreakPrim(bool on) override;
    uint32_t DriverOutQueue() override;
    void StopDispatcher() override;
    int32_t CloseCom() override;
    void WakeThreads() override;

private:
    void DispThreadExecute();
    void OutThreadExecute();
    void WriteOut(bool& blocked);

    int Fd_ = -1;
    int DispWake_ = -1;
    int OutWake_ = -1;
    std::thread DispThread_;
    std::thread OutThread_;
    bool HasModemLines_ = true;
    // The error counters are read by the dispatcher thread (status refresh)
    // and by the owner's thread (PutBlock), so their snapshot is locked.
    std::mutex CountsMutex_;
    bool HasICount_ = true;
    serial_icounter_struct LastCounts_{};
    // Settings last written: a pseudo-terminal reads back 8N1 whatever was
    // asked, so comparisons are made against what the dispatcher wrote.
    TLineDCB Written_;
    bool HaveWritten_ = false;
};

}  // namespace qel
