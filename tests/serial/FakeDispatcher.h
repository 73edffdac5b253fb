#pragma once
// A dispatcher over a scripted device: received bytes come from a queue,
// written bytes stay in the output ring until the test takes them, and no
// thread runs, so each pass is driven by the test itself.
#include <deque>
#include <vector>

#include "serial/Dispatcher.h"

namespace qel::test {

class FakeDispatcher : public TBaseDispatcher {
public:
    FakeDispatcher() : TBaseDispatcher(nullptr) {}
    ~FakeDispatcher() override { DonePortPrim(); }

    std::deque<uint8_t> Incoming;
    int32_t EscapeResult = 0;
    int32_t ErrorFlags = 0;
    uint8_t Lines = 0;
    int SetComStateCalls = 0;
    // Bytes the driver still holds; each look finds one byte fewer, as if
    // the line were sending them.
    uint32_t DriverQueue = 0;
    uint32_t DriverQueueAtOutputPurge = UINT32_MAX;
    uint32_t DriverQueueAtClose = UINT32_MAX;
    TLineDCB Device;

    void Feed(const std::string& s) { Incoming.insert(Incoming.end(), s.begin(), s.end()); }
    void Feed(size_t n, uint8_t first) {
        for (size_t i = 0; i < n; ++i) Incoming.push_back(uint8_t(first + i));
    }
    std::vector<uint8_t> TakeOutput(size_t max) {
        std::lock_guard lock(OutputSection);
        std::vector<uint8_t> out;
        while (OutTail_ != OutHead_ && out.size() < max) out.push_back(OutBuffer_[OutTail_++ % OutQueSize_]);
        return out;
    }
    int32_t Open(uint32_t outSize = 4096) { return InitPort("fake", 9600, 2, 7, 1, 4096, outSize, 0); }

protected:
    int32_t OpenCom(const std::string&, uint32_t, uint32_t) override { return 3; }
    int32_t SetupCom(uint32_t, uint32_t) override { return 0; }
    int32_t GetComState(TLineDCB& dcb) override {
        dcb = Device;
        return 0;
    }
    int32_t SetComState(const TLineDCB& dcb) override {
        ++SetComStateCalls;
        Device = dcb;
        return 0;
    }
    int32_t GetComErrorPrim(TComStatus& st) override {
        st.InQue = uint32_t(Incoming.size());
        int32_t f = ErrorFlags;
        ErrorFlags = 0;
        return f;
    }
    int32_t ReadCom(uint8_t* buf, uint32_t size) override {
        uint32_t n = 0;
        while (n < size && !Incoming.empty()) {
            buf[n++] = Incoming.front();
            Incoming.pop_front();
        }
        return int32_t(n);
    }
    void OutputQueued() override {}
    int32_t FlushComPrim(int queue) override {
        if (queue != 0) Incoming.clear();
        else DriverQueueAtOutputPurge = DriverQueue;
        return 0;
    }
    int32_t EscapeComFunction(int) override { return EscapeResult; }
    uint8_t ModemLines() override { return Lines; }
    void SetBreakPrim(bool) override {}
    uint32_t DriverOutQueue() override { return DriverQueue > 0 ? DriverQueue-- : 0; }
public:
    int32_t StartDispatcher() override {
        if (DispActive_) throw std::runtime_error("Dispatcher already started");
        DispActive_ = true;
        return 0;
    }

protected:
    void StopDispatcher() override { DispActive_ = false; }
    int32_t CloseCom() override {
        DriverQueueAtClose = DriverQueue;
        return 0;
    }
    void WakeThreads() override {}
};

// Records every notification; an optional action runs inside each.
struct Recorder {
    struct Notice {
        uint32_t Msg, Trigger, Data;
    };
    std::vector<Notice> Notices;
    std::function<void(const Notice&)> Action;
    int Id = 0;

    void Attach(TBaseDispatcher& d) {
        Id = d.RegisterProcTriggerHandler([this](uint32_t m, uint32_t t, uint32_t lp) {
            Notice n{m, t, lp & 0xFFFF};
            Notices.push_back(n);
            if (Action) Action(n);
        });
    }
};

}  // namespace qel::test
