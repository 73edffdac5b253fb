#pragma once
// The port dispatcher: one per open port. It owns the device (through the
// primitives that TOsDispatcher implements), the dispatch buffer of received
// bytes, the output ring, the trigger tables and the delivery of trigger
// notifications to the owner's thread.
//
// Ring positions are 64-bit running counts; the index into a ring is the
// count modulo the ring size. A full ring and an empty one are therefore never
// confused, and a new arrival always changes the head.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/Serialmisc.h"

namespace qel {

class TCustomComPort;
class TBaseDispatcher;

// Notification codes.
constexpr uint32_t kTriggerAvail = 0x7E01;
constexpr uint32_t kTriggerData = 0x7E02;
constexpr uint32_t kTriggerTimer = 0x7E03;
constexpr uint32_t kTriggerStatus = 0x7E04;
constexpr uint32_t kPortOpenMsg = 0x7E08;
constexpr uint32_t kPortCloseMsg = 0x7E09;
constexpr uint32_t kClosePendingMsg = 0x7E0A;

constexpr uint32_t DispatchBufferSize = 8192;

enum TApHandlerFlagUpdate : uint8_t { fuKeepPort = 0, fuEnablePort = 1, fuDisablePort = 2 };

// Escape functions of the modem lines.
enum : int { efSetRts = 3, efClrRts = 4, efSetDtr = 5, efClrDtr = 6 };

// Line settings as the dispatcher keeps them; mapped onto termios by the
// device layer.
struct TLineDCB {
    uint32_t Baud = 9600;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    uint8_t DtrControl = 1;  // 0 disabled, 1 enabled, 2 handshake
    uint8_t RtsControl = 1;  // 0 disabled, 1 enabled, 2 handshake
    bool OutxCtsFlow = false;
    bool OutxDsrFlow = false;
    bool OutX = false;
    bool InX = false;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t XonChar = 0x11;
    uint8_t XoffChar = 0x13;
    bool operator==(const TLineDCB&) const = default;
};

struct TComStatus {
    uint32_t Flags = 0;   // 1 CTS hold, 2 DSR hold, 8 XOFF hold, 16 XOFF sent
    uint32_t InQue = 0;   // bytes waiting in the driver
    uint32_t OutQue = 0;  // bytes waiting in the output ring
};

// One notification on its way to the owner's thread. The dispatcher thread
// waits until the owner has run it (Done) or, if the owner never started it
// within the time-out, cancels it (Cancelled) and sends it again later. A
// delivery that has started is never abandoned.
class TDelivery {
public:
    enum State : int { dsPending, dsRunning, dsDone, dsCancelled };

    TDelivery(TBaseDispatcher* disp, uint32_t msg, uint32_t trigger, uint32_t lparam, uint64_t timerGen)
        : Msg(msg), TriggerHandle(trigger), LParam(lparam), TimerGeneration(timerGen), Disp_(disp) {}

    const uint32_t Msg;
    const uint32_t TriggerHandle;
    const uint32_t LParam;
    const uint64_t TimerGeneration;

    // Called on the owner's thread: true when the handler is to run now.
    // A cancelled delivery, or a time-out whose timer was re-armed since it
    // was found expired, answers false.
    bool Begin();
    // Called on the owner's thread after the handler has returned.
    void Finish();
    State GetState() const { return State(State_.load()); }

private:
    friend class TBaseDispatcher;
    bool Cancel();  // Pending -> Cancelled
    std::atomic<int> State_{dsPending};
    std::mutex Mutex_;
    std::condition_variable Cond_;
    TBaseDispatcher* Disp_;
    uint32_t Consumed_ = 0;
};

// A receiver of notifications that lives on the owner's thread: PostDelivery
// must arrange for Begin, the handler and Finish to run there, later.
class TTriggerWindow {
public:
    virtual ~TTriggerWindow() = default;
    virtual void PostDelivery(std::shared_ptr<TDelivery> d) = 0;
};

// Called directly on the dispatcher thread with (Msg, TriggerHandle, LParam).
using TProcTriggerHandler = std::function<void(uint32_t, uint32_t, uint32_t)>;

class TBaseDispatcher {
public:
    explicit TBaseDispatcher(TCustomComPort* owner);
    virtual ~TBaseDispatcher();
    TBaseDispatcher(const TBaseDispatcher&) = delete;
    TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

    TCustomComPort* Owner() const { return Owner_; }
    int32_t Handle() const { return Handle_; }
    std::string PortName;

    // --- lifecycle and line ---
    int32_t InitPort(const std::string& device, int32_t baud, uint32_t parity, uint8_t dataBits, uint8_t stopBits,
                     uint32_t inSize, uint32_t outSize, uint32_t flowOptions);
    // Closes the port. Called from inside a running notification the teardown
    // is left for later (ClosePending); DonePortPrim then finishes it once the
    // handler has returned. Returns true when the port is fully closed.
    bool DonePort();
    void DonePortPrim();
    bool ClosePending() const { return ClosePending_.load(); }
    bool IsOpen() const { return ComOpen_; }

    int32_t SetLine(int32_t baud, uint32_t parity, uint8_t dataBits, uint8_t stopBits);
    int32_t GetLine(int32_t& baud, uint16_t& parity, uint8_t& dataBits, uint8_t& stopBits);
    void BufferSizes(uint32_t& inSize, uint32_t& outSize) const;
    int32_t SetCommBuffers(uint32_t inSize, uint32_t outSize);

    // --- input ---
    bool CharReady();
    int32_t PeekChar(uint8_t& c, uint32_t position);
    int32_t GetChar(uint8_t& c);
    int32_t PeekBlock(void* block, uint32_t len);
    int32_t GetBlock(void* block, uint32_t len);
    uint32_t InBuffUsed();
    uint32_t InBuffFree();
    int32_t FlushInBuffer();

    // --- output ---
    int32_t PutBlock(const void* block, uint32_t len);
    int32_t PutChar(uint8_t c) { return PutBlock(&c, 1); }
    int32_t PutString(const std::string& s) { return PutBlock(s.data(), uint32_t(s.size())); }
    uint32_t OutBuffUsed();
    uint32_t OutBuffFree();
    int32_t FlushOutBuffer();

    // --- modem lines, line errors, break ---
    int32_t SetDtr(bool on);
    int32_t SetRts(bool on);
    int32_t SetModem(bool dtr, bool rts);
    bool DtrState() const { return DtrState_; }
    bool RtsState() const { return RtsState_; }
    uint8_t GetModemStatus();
    bool CheckCTS();
    bool CheckDSR();
    bool CheckRI();
    bool CheckDCD();
    bool CheckDeltaCTS();
    bool CheckDeltaDSR();
    bool CheckTE();
    bool CheckDeltaDCD();
    int32_t GetLineError();
    bool CheckLineBreak();
    void SendBreak(uint32_t ticks);
    void SetBreak(bool on);

    // --- flow control (off on the system's road) ---
    int32_t HWFlowOptions(uint16_t bufferFull, uint16_t bufferResume, uint32_t options);
    int32_t HWFlowState();
    int32_t SWFlowEnable(uint16_t bufferFull, uint16_t bufferResume, uint32_t options);
    int32_t SWFlowDisable();
    int32_t SWFlowState();
    int32_t SWFlowChars(uint8_t on, uint8_t off);

    // --- triggers ---
    uint32_t GetTriggerHandle();
    void ChangeLengthTrigger(uint32_t length);
    int32_t AddTimerTrigger();
    int32_t AddDataTriggerLen(const char* data, bool ignoreCase, uint32_t len);
    int32_t AddDataTrigger(const char* data, bool ignoreCase);
    int32_t AddStatusTrigger(uint32_t kind);
    int32_t FindTriggerFromHandle(uint32_t handle, bool del, TTriggerType& type);
    int32_t RemoveTrigger(uint32_t handle);
    int32_t SetTimerTrigger(uint32_t handle, int32_t ticks, bool activate);
    int32_t ExtendTimer(uint32_t handle, int32_t ticks);
    int32_t TimerTicksRemaining(uint32_t handle, int32_t& ticks);
    int32_t SetStatusTrigger(uint32_t handle, uint16_t value, bool activate);
    void RemoveAllTriggers();
    void ResetDataTriggers();
    void SaveTriggers(TTriggerSave& save);
    void RestoreTriggers(const TTriggerSave& save);
    static void ClearSaveBuffers(TTriggerSave& save);

    // --- handlers ---
    void RegisterWndTriggerHandler(TTriggerWindow* w);
    void DeregisterWndTriggerHandler(TTriggerWindow* w);
    // Returns an id for deregistering.
    int RegisterProcTriggerHandler(TProcTriggerHandler p);
    void DeregisterProcTriggerHandler(int id);
    void UpdateHandlerFlags(TApHandlerFlagUpdate update);
    void SetEventBusy(bool& previous, bool value);
    bool EventBusy() const { return EventBusy_.load(); }

    // --- one pass of the dispatcher thread ---
    bool ExtractData();
    bool CheckTriggers();
    bool CheckTimerTriggers();
    bool CheckStatusTriggers();
    bool CheckReceiveTriggers();
    // ExtractData, then CheckTriggers until nothing more fires.
    void DispatcherPass();
    uint64_t PassCount() const { return PassCount_.load(); }
    bool SendNotify(uint32_t msg, uint32_t trigger, uint32_t data);

    // The delivery time-out (3000 ms); tests shorten it.
    void SetDeliveryTimeoutMs(int ms) { DeliveryTimeoutMs_ = ms; }

    // Set when the device has gone (hung up, unplugged); its negated errno.
    int32_t LostError() const { return LostError_.load(); }

    // Character time margin that a line change waits after the output has
    // drained: 18 character times (36 when that is under 1 ms), rounded up to ms.
    static uint32_t TxMarginMs(uint32_t baud, const TLineDCB& dcb);
    // Bits on the line per character of these settings.
    static uint32_t CharBits(const TLineDCB& dcb);
    // How long a close waits for `bytes` still queued to leave: their time
    // at `baud` plus kDrainMarginMs, rounded up to ms.
    static uint32_t DrainBoundMs(uint64_t bytes, uint32_t baud, const TLineDCB& dcb);
    // What a close allows beyond the line time: the driver's and the peer's
    // latency (a USB adapter's, a busy machine's).
    static constexpr uint32_t kDrainMarginMs = 500;

    // Process-wide list of dispatchers, indexed by Handle.
    static TBaseDispatcher* GetTComRecPtr(int32_t handle);

protected:
    // --- port primitives, implemented by the device layer ---
    virtual int32_t OpenCom(const std::string& device, uint32_t inSize, uint32_t outSize) = 0;
    virtual int32_t SetupCom(uint32_t inSize, uint32_t outSize) = 0;
    virtual int32_t GetComState(TLineDCB& dcb) = 0;
    virtual int32_t SetComState(const TLineDCB& dcb) = 0;
    // Error flags of the device (1 overflow, 2 overrun, 4 parity, 8 framing,
    // 16 break) as the result; InQue from the driver. OutQue is filled here.
    virtual int32_t GetComErrorPrim(TComStatus& stat) = 0;
    virtual int32_t ReadCom(uint8_t* buf, uint32_t size) = 0;
    // Called with OutputSection held, after the bytes were queued.
    virtual void OutputQueued() = 0;
    virtual int32_t FlushComPrim(int queue) = 0;
    virtual int32_t EscapeComFunction(int func) = 0;
    // Modem line levels in the high nibble (0x10 CTS, 0x20 DSR, 0x40 ring, 0x80 DCD).
    virtual uint8_t ModemLines() = 0;
    virtual void SetBreakPrim(bool on) = 0;
    // Bytes the driver still holds for sending.
    virtual uint32_t DriverOutQueue() = 0;
    virtual int32_t StartDispatcher() = 0;
    // Stops and joins the threads. Never called with a section held.
    virtual void StopDispatcher() = 0;
    virtual int32_t CloseCom() = 0;
    // Wakes the threads to look at KillThreads or at freed buffer space.
    virtual void WakeThreads() = 0;
    virtual int32_t ProcessCommunications() { std::this_thread::yield(); return 0; }

    int32_t GetComError(TComStatus& stat);
    int32_t FlushCom(int queue);
    int32_t WriteCom(const uint8_t* block, uint32_t len);  // OutputSection held
    void RefreshStatus();
    uint8_t GetModemStatusPrim(uint8_t clearMask);
    int32_t SetCommStateFix(TLineDCB& dcb);
    int32_t WaitTxSent();
    bool DrainOutput();
    void MarkDeviceLost(int err);
    // Whether ExtractData could take a byte now.
    bool DispatchHasRoom();
    // Cancels a notification that the owner has not started yet.
    void CancelPendingDelivery();

    // Output ring, guarded by OutputSection. The device layer's output
    // thread takes bytes from OutTail.
    uint32_t OutRingUsed_locked() const { return uint32_t(OutHead_ - OutTail_); }
    std::mutex OutputSection;
    std::unique_ptr<uint8_t[]> OutBuffer_;
    uint64_t OutHead_ = 0;
    uint64_t OutTail_ = 0;
    uint32_t OutQueSize_ = 0;

    std::mutex DataSection;
    std::mutex DispatchSection;

    std::atomic<bool> KillThreads_{false};
    std::atomic<bool> ClosePending_{false};
    std::atomic<bool> DispActive_{false};
    std::atomic<int> ActiveThreads_{0};
    std::atomic<int32_t> LostError_{0};
    bool ComOpen_ = false;
    // The thread that runs the passes; set by the device layer.
    std::atomic<std::thread::id> DispThreadId_{};

private:
    friend class TDelivery;
    // Delivered; Unread: delivered, but the handler left announced
    // characters unread; Stop: the port is closing; Cancelled: never started.
    enum class NotifyResult { Delivered, Unread, Stop, Cancelled };
    NotifyResult Notify(uint32_t msg, uint32_t trigger, uint32_t data, uint64_t timerGen);
    void DeliveryStarted(TDelivery& d);
    void DeliveryFinished(TDelivery& d);
    bool TimerGenerationCurrent(uint32_t handle, uint64_t gen);
    uint32_t Readable_locked() const { return uint32_t(DispatchHead_ - DispatchTail_); }
    void FreeRings();

    TCustomComPort* Owner_;
    int32_t Handle_ = -1;
    uint32_t LineErrors_ = 0;
    uint32_t InQueSize_ = 0;
    uint8_t ModemStatus_ = 0;
    TComStatus ComStatus_;
    TLineDCB LineDCB_;
    uint32_t LastBaud_ = 115200;
    // Set by the first successful write of the line settings after opening.
    // Until then a line change is written even when the device already reads
    // back the same rate and framing: the write is also what puts the device
    // into raw mode.
    bool LineWritten_ = false;
    bool DtrState_ = false, DtrFlow_ = false, RtsState_ = false, RtsFlow_ = false;
    std::atomic<bool> OutputWritten_{false};

    // Dispatch buffer and notification counters, guarded by DispatchSection.
    std::unique_ptr<uint8_t[]> DispatchBuffer_;
    uint64_t DispatchHead_ = 0;
    uint64_t DispatchTail_ = 0;
    uint64_t ScanPos_ = 0;        // next character not yet offered to the data triggers
    uint64_t LastAvailPos_ = 0;   // head position of the last characters-available notice
    uint64_t PendingMatchPos_ = UINT64_MAX;  // position whose data notices are still owed
    bool InAvailMessage_ = false;
    uint32_t AvailReadCount_ = 0;
    uint32_t AvailConsumed_ = 0;

    // Trigger and handler tables, guarded by DataSection.
    uint32_t HandleCounter_ = 1;
    uint32_t AvailLength_ = 0;
    uint64_t TimerGenCounter_ = 0;
    std::vector<TTimerTrigger> Timers_;
    std::vector<TDataTrigger> Datas_;
    std::atomic<size_t> DataTriggerCount_{0};  // Datas_.size(), readable without DataSection
    std::vector<TStatusTrigger> Statuses_;
    struct WndHandler { TTriggerWindow* Wnd; bool Deleted; };
    struct ProcHandler { int Id; TProcTriggerHandler Proc; bool Deleted; };
    std::vector<WndHandler> WndHandlers_;
    std::vector<ProcHandler> ProcHandlers_;
    int NextProcId_ = 1;
    bool HandlersPresent_ = false;
    bool PortHandlerEnabled_ = false;
    bool HandlerRemoval_ = false;
    std::atomic<bool> EventBusy_{false};

    std::mutex DeliveryMutex_;
    std::shared_ptr<TDelivery> CurrentDelivery_;
    int DeliveryTimeoutMs_ = 3000;
    std::atomic<uint64_t> PassCount_{0};
};

}  // namespace qel
