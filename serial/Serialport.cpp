#include "serial/Serialport.h"

#include <QCoreApplication>
#include <QObject>

#include <cstdlib>
#include <mutex>

#include "platform/Messages.h"
#include "serial/Osdispatcher.h"

namespace qel {

// ---------------------------------------------------------------- device names

namespace {
std::mutex gResolverMutex;
TComDeviceResolver gResolver;
TComDeviceResolver gSettingsLookup;
}  // namespace

void SetComDeviceResolver(TComDeviceResolver resolver) {
    std::lock_guard lock(gResolverMutex);
    gResolver = std::move(resolver);
}

void SetComSettingsLookup(TComDeviceResolver lookup) {
    std::lock_guard lock(gResolverMutex);
    gSettingsLookup = std::move(lookup);
}

std::string ResolveComDevice(uint16_t comNumber) {
    TComDeviceResolver resolver, settings;
    {
        std::lock_guard lock(gResolverMutex);
        resolver = gResolver;
        settings = gSettingsLookup;
    }
    if (resolver) {
        std::string p = resolver(comNumber);
        if (!p.empty()) return p;
    }
    if (const char* env = std::getenv(("QEL_COM" + std::to_string(comNumber)).c_str()); env && *env) return env;
    if (settings) {
        std::string p = settings(comNumber);
        if (!p.empty()) return p;
    }
    return "/dev/ttyS" + std::to_string(comNumber > 0 ? comNumber - 1 : 0);
}

std::string ComName(uint16_t comNumber) { return "COM" + std::to_string(comNumber); }

// ---------------------------------------------------------------- trigger window

// Carries notifications to the thread that created the component: each one
// becomes a queued call on a QObject of that thread. If the component goes
// away first, Qt drops the queued calls with the object.
class TCustomComPort::TriggerWindow final : public TTriggerWindow {
public:
    explicit TriggerWindow(TCustomComPort* port) : Port_(port) {}
    void PostDelivery(std::shared_ptr<TDelivery> d) override {
        TCustomComPort* port = Port_;
        QMetaObject::invokeMethod(
            &Context_, [port, d] { port->RunDelivery(d); }, Qt::QueuedConnection);
    }

private:
    TCustomComPort* Port_;
    QObject Context_;
};

// ---------------------------------------------------------------- construction

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
    if (PortState_ == psOpen) {
        try {
            DonePort();
        } catch (...) {
        }
    }
    if (Dispatcher_) {
        Dispatcher_->DonePortPrim();
        TearDown();
    }
    Window_.reset();
    TBaseDispatcher::ClearSaveBuffers(SavedTriggers_);
}

// ---------------------------------------------------------------- open and close

void TCustomComPort::SetOpen(bool v) {
    if (v == Open_) return;
    if (v) {
        if (PortState_ == psClosed)
            InitPort();
        else
            OpenPending_ = true;  // opened when the close under way has finished
    } else {
        DonePort();
    }
}

void TCustomComPort::ValidateComport() {
    // The system always sets a port number; there is no port-selection dialog.
    if (ComNumber_ == 0) CheckException(ecNoPortSelected);
}

std::unique_ptr<TBaseDispatcher> TCustomComPort::ActivateDeviceLayer() {
    if (DeviceLayer_ != dlWin32) CheckException(ecNullApi);
    return std::make_unique<TOsDispatcher>(this);
}

int32_t TCustomComPort::InitializePort() {
    uint32_t options = 0;
    if (DTR_) options |= 1;
    if (RTS_) options |= 2;
    if (HWFlowOptions_ & hwfUseDTR) options |= 16;
    if (HWFlowOptions_ & hwfUseRTS) options |= 32;
    return Dispatcher_->InitPort(ResolveComDevice(ComNumber_), Baud_, Parity_, uint8_t(DataBits_), uint8_t(StopBits_),
                                 InSize_, OutSize_, options);
}

void TCustomComPort::InitPort() {
    // No telephony layer opens ports here, so a port that is to come from one
    // is never open.
    if (TapiMode_ == tmOn) CheckException(ecNotOpenedByTapi);
    ValidateComport();
    Dispatcher_ = ActivateDeviceLayer();
    Dispatcher_->PortName = ComName(ComNumber_);
    try {
        // Device errors are already mapped by name in the device layer
        // (missing device -2001, held elsewhere -2008), so the result goes
        // straight to CheckException.
        if (int32_t rc = InitializePort(); rc != 0) CheckException(rc);
        PortState_ = psOpen;
        UpdateHandlerFlag();
        Force_ = true;
        SetHWFlowOptions(HWFlowOptions_);
        SetTriggerLength(TriggerLength_);
        SetDTR(DTR_);
        if (DeviceLayer_ != dlFossil) SetRTS(RTS_);
        Force_ = false;
        Open_ = true;
        RegisterComPort(true);
        if (TriggersSaved_) Dispatcher_->RestoreTriggers(SavedTriggers_);
        PortOpen();
        TriggersSaved_ = false;
    } catch (...) {
        // A failed opening leaves nothing behind: no window registration, no
        // thread, no descriptor. Saved triggers stay for the next attempt.
        Force_ = false;
        Open_ = false;
        RegisterComPort(false);
        Dispatcher_->DonePortPrim();
        Dispatcher_.reset();
        PortState_ = psClosed;
        throw;
    }
}

void TCustomComPort::DonePort() {
    Open_ = false;
    OpenPending_ = false;
    if (PortState_ != psOpen) return;
    PortState_ = psShuttingDown;
    PortClose();
    Dispatcher_->SaveTriggers(SavedTriggers_);
    TriggersSaved_ = true;
    // Inside a running notification the dispatcher thread is waiting for the
    // handler; the teardown finishes once the handler has returned.
    if (!Dispatcher_->DonePort()) return;
    TearDown();
}

void TCustomComPort::TearDown() {
    RegisterComPort(false);
    Dispatcher_.reset();
    PortState_ = psClosed;
}

void TCustomComPort::FinishDeferredClose() {
    Dispatcher_->DonePortPrim();
    TearDown();
    if (OpenPending_) {
        OpenPending_ = false;
        try {
            InitPort();
        } catch (const std::exception& e) {
            ShowMessage(std::string(e.what()) + " (" + ComName(ComNumber_) + ")", MsgKind::Error);
        }
    }
}

void TCustomComPort::RegisterComPort(bool enabling) {
    if (enabling) {
        if (!Window_) Window_ = std::make_unique<TriggerWindow>(this);
        Dispatcher_->RegisterWndTriggerHandler(Window_.get());
        UpdateHandlerFlag();
    } else if (Dispatcher_ && Window_) {
        Dispatcher_->DeregisterWndTriggerHandler(Window_.get());
    }
}

void TCustomComPort::PortOpen() {
    for (auto it = Users_.rbegin(); it != Users_.rend(); ++it)
        if (*it) (*it)(this, true);
    if (OnPortOpen_) OnPortOpen_(this);
}

void TCustomComPort::PortClose() {
    for (auto it = Users_.rbegin(); it != Users_.rend(); ++it)
        if (*it) (*it)(this, false);
    if (OnPortClose_) OnPortClose_(this);
}

void TCustomComPort::RegisterUserCallback(TPortCallback cb) { Users_.push_back(std::move(cb)); }

void TCustomComPort::SetComNumber(uint16_t n) {
    if (n == ComNumber_) return;
    bool wasOpen = PortState_ == psOpen;
    if (wasOpen) SetOpen(false);  // saves the triggers
    ComNumber_ = n;
    if (wasOpen) SetOpen(true);
}

// ---------------------------------------------------------------- settings

void TCustomComPort::SetBaud(int32_t v) {
    Baud_ = v;
    if (PortState_ == psOpen) CheckException(Dispatcher_->SetLine(Baud_, Parity_, uint8_t(DataBits_), uint8_t(StopBits_)));
}

void TCustomComPort::SetParity(TParity v) {
    Parity_ = v;
    if (PortState_ == psOpen) CheckException(Dispatcher_->SetLine(Baud_, Parity_, uint8_t(DataBits_), uint8_t(StopBits_)));
}

void TCustomComPort::SetDataBits(uint16_t v) {
    DataBits_ = v;
    if (PortState_ == psOpen) CheckException(Dispatcher_->SetLine(Baud_, Parity_, uint8_t(DataBits_), uint8_t(StopBits_)));
}

void TCustomComPort::SetStopBits(uint16_t v) {
    StopBits_ = v;
    if (PortState_ == psOpen) CheckException(Dispatcher_->SetLine(Baud_, Parity_, uint8_t(DataBits_), uint8_t(StopBits_)));
}

void TCustomComPort::SetInSize(uint16_t v) {
    InSize_ = v;
    if (PortState_ == psOpen) Dispatcher_->SetCommBuffers(InSize_, OutSize_);
}

void TCustomComPort::SetOutSize(uint16_t v) {
    OutSize_ = v;
    if (PortState_ == psOpen) Dispatcher_->SetCommBuffers(InSize_, OutSize_);
}

void TCustomComPort::SetDTR(bool v) {
    if (PortState_ == psOpen) {
        if (CheckException(Dispatcher_->SetDtr(v)) == 0) DTR_ = v;
    } else {
        DTR_ = v;
    }
}

void TCustomComPort::SetRTS(bool v) {
    if (PortState_ == psOpen) {
        if (CheckException(Dispatcher_->SetRts(v)) == 0) RTS_ = v;
    } else {
        RTS_ = v;
    }
}

void TCustomComPort::SetHWFlowOptions(THWFlowOptions v) {
    HWFlowOptions_ = v;
    if (PortState_ != psOpen) return;
    if (v == 0 && Force_) return;  // nothing to switch off on a fresh port
    uint32_t opts = 0;
    if (v & hwfUseDTR) opts |= 1;
    if (v & hwfUseRTS) opts |= 2;
    if (v & hwfRequireDSR) opts |= 4;
    if (v & hwfRequireCTS) opts |= 8;
    CheckException(Dispatcher_->HWFlowOptions(BufferFull, BufferResume, opts));
}

void TCustomComPort::SetTriggerLength(uint16_t v) {
    TriggerLength_ = v;
    if (PortState_ == psOpen) Dispatcher_->ChangeLengthTrigger(v);
}

// ---------------------------------------------------------------- events

void TCustomComPort::SetOnTrigger(TTriggerEvent e) {
    OnTrigger_ = std::move(e);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent e) {
    OnTriggerAvail_ = std::move(e);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerData(TTriggerDataEvent e) {
    OnTriggerData_ = std::move(e);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent e) {
    OnTriggerStatus_ = std::move(e);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent e) {
    OnTriggerTimer_ = std::move(e);
    UpdateHandlerFlag();
}

void TCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent e) {
    OnTriggerLineError_ = std::move(e);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerModemStatus(TNotifyEvent e) {
    OnTriggerModemStatus_ = std::move(e);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent e) {
    OnTriggerOutbuffFree_ = std::move(e);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent e) {
    OnTriggerOutbuffUsed_ = std::move(e);
    UpdateHandlerFlag();
}
void TCustomComPort::SetOnTriggerOutSent(TNotifyEvent e) {
    OnTriggerOutSent_ = std::move(e);
    UpdateHandlerFlag();
}

void TCustomComPort::UpdateHandlerFlag() {
    if (PortState_ != psOpen || !Dispatcher_) return;
    bool any = OnTrigger_ || OnTriggerAvail_ || OnTriggerData_ || OnTriggerStatus_ || OnTriggerTimer_ ||
               OnTriggerLineError_ || OnTriggerModemStatus_ || OnTriggerOutbuffFree_ || OnTriggerOutbuffUsed_ ||
               OnTriggerOutSent_;
    Dispatcher_->UpdateHandlerFlags(any ? fuEnablePort : fuDisablePort);
}

void TCustomComPort::Trigger(uint16_t Msg, uint16_t TriggerHandle, uint16_t Data) {
    if (OnTrigger_) OnTrigger_(this, Msg, TriggerHandle, Data);
}
void TCustomComPort::TriggerAvail(uint16_t Count) {
    if (OnTriggerAvail_) OnTriggerAvail_(this, Count);
}
void TCustomComPort::TriggerData(uint16_t TriggerHandle) {
    if (OnTriggerData_) OnTriggerData_(this, TriggerHandle);
}
void TCustomComPort::TriggerStatus(uint16_t TriggerHandle) {
    if (OnTriggerStatus_) OnTriggerStatus_(this, TriggerHandle);
}
void TCustomComPort::TriggerTimer(uint16_t TriggerHandle) {
    if (OnTriggerTimer_) OnTriggerTimer_(this, TriggerHandle);
}

void TCustomComPort::TriggerLineError(uint16_t Error, bool LineBreak) {
    if (OnTriggerLineError_) OnTriggerLineError_(this, Error, LineBreak);
}
void TCustomComPort::TriggerModemStatus() {
    if (OnTriggerModemStatus_) OnTriggerModemStatus_(this);
}
void TCustomComPort::TriggerOutbuffFree() {
    if (OnTriggerOutbuffFree_) OnTriggerOutbuffFree_(this);
}
void TCustomComPort::TriggerOutbuffUsed() {
    if (OnTriggerOutbuffUsed_) OnTriggerOutbuffUsed_(this);
}
void TCustomComPort::TriggerOutSent() {
    if (OnTriggerOutSent_) OnTriggerOutSent_(this);
}
void TCustomComPort::WaitChar(char C) {
    if (OnWaitChar_) OnWaitChar_(this, C);
}

void TCustomComPort::RunDelivery(const std::shared_ptr<TDelivery>& d) {
    if (!d->Begin()) return;
    ++InDelivery_;
    try {
        const uint16_t data = uint16_t(d->LParam & 0xFFFF);
        switch (d->Msg) {
        case kTriggerAvail: {
            // The first parameter of a characters-available notice is the count.
            const uint16_t count = uint16_t(d->TriggerHandle);
            Trigger(uint16_t(d->Msg), 1, count);
            TriggerAvail(count);
            break;
        }
        case kTriggerData:
            Trigger(uint16_t(d->Msg), uint16_t(d->TriggerHandle), data);
            TriggerData(uint16_t(d->TriggerHandle));
            break;
        case kTriggerTimer:
            Trigger(uint16_t(d->Msg), uint16_t(d->TriggerHandle), 0);
            TriggerTimer(uint16_t(d->TriggerHandle));
            break;
        case kTriggerStatus:
            Trigger(uint16_t(d->Msg), uint16_t(d->TriggerHandle), data);
            TriggerStatus(uint16_t(d->TriggerHandle));
            break;
        default: Trigger(uint16_t(d->Msg), uint16_t(d->TriggerHandle), data); break;
        }
    } catch (const std::exception& e) {
        // Nothing above the event loop could catch it: show it, as the
        // program's top-level handler would.
        ShowMessage(e.what(), MsgKind::Error);
    } catch (...) {
        ShowMessage("Unknown error in a serial port event", MsgKind::Error);
    }
    --InDelivery_;
    d->Finish();
    if (InDelivery_ == 0 && PortState_ == psShuttingDown && Dispatcher_ && Dispatcher_->ClosePending())
        FinishDeferredClose();
}

// ---------------------------------------------------------------- operations

TBaseDispatcher& TCustomComPort::NeedDispatcher() {
    if (!Dispatcher_ && AutoOpen_ && PortState_ != psOpen) SetOpen(true);
    if (!Dispatcher_ || PortState_ != psOpen) CheckException(ecCommNotOpen);
    return *Dispatcher_;
}

uint16_t TCustomComPort::PutBlock(const void* block, uint16_t len) {
    // Output asked for while the port is closing is refused, not dropped.
    if (PortState_ == psShuttingDown) CheckException(ecCommNotOpen);
    CheckException(NeedDispatcher().PutBlock(block, len));
    return 0;
}

void TCustomComPort::PutChar(char c) { PutBlock(&c, 1); }

void TCustomComPort::PutString(const std::string& s) { PutBlock(s.data(), uint16_t(s.size())); }

bool TCustomComPort::CharReady() {
    if (PortState_ == psShuttingDown) return false;
    return NeedDispatcher().CharReady();
}

char TCustomComPort::GetChar() {
    if (PortState_ == psShuttingDown) return 0;
    uint8_t c = 0;
    if (int32_t rc = NeedDispatcher().GetChar(c); rc != 0) {
        CheckException(rc);
        return 0;
    }
    return char(c);
}

char TCustomComPort::PeekChar(uint16_t position) {
    if (PortState_ == psShuttingDown) return 0;
    uint8_t c = 0;
    if (int32_t rc = NeedDispatcher().PeekChar(c, position); rc != 0) {
        CheckException(rc);
        return 0;
    }
    return char(c);
}

void TCustomComPort::GetBlock(void* block, uint16_t len) {
    if (PortState_ == psShuttingDown) return;
    CheckException(NeedDispatcher().GetBlock(block, len));
}

void TCustomComPort::PeekBlock(void* block, uint16_t len) {
    if (PortState_ == psShuttingDown) return;
    CheckException(NeedDispatcher().PeekBlock(block, len));
}

void TCustomComPort::FlushInBuffer() {
    if (PortState_ == psShuttingDown) return;
    CheckException(NeedDispatcher().FlushInBuffer());
}

void TCustomComPort::FlushOutBuffer() {
    if (PortState_ == psShuttingDown) return;
    CheckException(NeedDispatcher().FlushOutBuffer());
}

uint16_t TCustomComPort::OutBuffFree() {
    if (PortState_ != psOpen) return OutSize_;
    return uint16_t(Dispatcher_->OutBuffFree());
}

uint16_t TCustomComPort::OutBuffUsed() { return PortState_ == psOpen ? uint16_t(Dispatcher_->OutBuffUsed()) : 0; }
uint16_t TCustomComPort::InBuffUsed() { return PortState_ == psOpen ? uint16_t(Dispatcher_->InBuffUsed()) : 0; }
uint16_t TCustomComPort::InBuffFree() {
    return PortState_ == psOpen ? uint16_t(Dispatcher_->InBuffFree()) : uint16_t(DispatchBufferSize);
}

uint16_t TCustomComPort::AddTimerTrigger() {
    if (PortState_ == psShuttingDown) return 0;
    return uint16_t(CheckException(NeedDispatcher().AddTimerTrigger()));
}

uint16_t TCustomComPort::AddDataTrigger(const std::string& data, bool ignoreCase) {
    if (PortState_ == psShuttingDown) return 0;
    std::string s = data.substr(0, 255);
    return uint16_t(CheckException(NeedDispatcher().AddDataTriggerLen(s.data(), ignoreCase, uint32_t(s.size()))));
}

uint16_t TCustomComPort::AddStatusTrigger(uint16_t kind) {
    if (PortState_ == psShuttingDown) return 0;
    return uint16_t(CheckException(NeedDispatcher().AddStatusTrigger(kind)));
}

void TCustomComPort::SetTimerTrigger(uint16_t handle, int32_t ticks, bool activate) {
    if (PortState_ == psShuttingDown) return;
    CheckException(NeedDispatcher().SetTimerTrigger(handle, ticks, activate));
}

void TCustomComPort::SetStatusTrigger(uint16_t handle, uint16_t value, bool activate) {
    if (PortState_ == psShuttingDown) return;
    CheckException(NeedDispatcher().SetStatusTrigger(handle, value, activate));
}

void TCustomComPort::RemoveTrigger(uint16_t handle) {
    if (PortState_ == psOpen) CheckException(Dispatcher_->RemoveTrigger(handle));
}

void TCustomComPort::RemoveAllTriggers() {
    if (PortState_ != psOpen) return;
    Dispatcher_->RemoveAllTriggers();
    TriggerLength_ = 0;
}

void TCustomComPort::SendBreak(uint16_t ticks) {
    if (PortState_ == psShuttingDown) return;
    NeedDispatcher().SendBreak(ticks);
}

void TCustomComPort::SetBreak(bool on) {
    if (PortState_ == psShuttingDown) return;
    NeedDispatcher().SetBreak(on);
}

void TCustomComPort::ProcessCommunications() {
    if (PortState_ == psShuttingDown) return;
    NeedDispatcher();
}

bool TCustomComPort::DSR() { return PortState_ == psOpen && Dispatcher_->CheckDSR(); }
bool TCustomComPort::CTS() { return PortState_ == psOpen && Dispatcher_->CheckCTS(); }
bool TCustomComPort::RI() { return PortState_ == psOpen && Dispatcher_->CheckRI(); }
bool TCustomComPort::DCD() { return PortState_ == psOpen && Dispatcher_->CheckDCD(); }
bool TCustomComPort::DeltaDSR() { return PortState_ == psOpen && Dispatcher_->CheckDeltaDSR(); }
bool TCustomComPort::DeltaCTS() { return PortState_ == psOpen && Dispatcher_->CheckDeltaCTS(); }
bool TCustomComPort::DeltaRI() { return PortState_ == psOpen && Dispatcher_->CheckTE(); }
bool TCustomComPort::DeltaDCD() { return PortState_ == psOpen && Dispatcher_->CheckDeltaDCD(); }
bool TCustomComPort::LineBreak() { return PortState_ == psOpen && Dispatcher_->CheckLineBreak(); }
uint16_t TCustomComPort::LineError() { return PortState_ == psOpen ? uint16_t(Dispatcher_->GetLineError()) : 0; }
uint8_t TCustomComPort::ModemStatus() { return PortState_ == psOpen ? Dispatcher_->GetModemStatus() : 0; }

bool TCustomComPort::DeviceLost() const { return Dispatcher_ && Dispatcher_->LostError() != 0; }

}  // namespace qel
