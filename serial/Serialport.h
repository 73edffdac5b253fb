#pragma once
// TComPort: the component through which the PLC link owns one serial port.
//
// Everything runs on the thread that created the component (the GUI thread):
// properties, operations and the trigger events. Notifications from the
// dispatcher threads arrive through the Qt event loop of that thread, one at
// a time, in order, never nested. A handler may close the port; the teardown
// then finishes right after the handler returns.
//
// Port names are "COM" + number. The device path for a number comes from,
// in this order: the resolver set with SetComDeviceResolver; the environment
// variable QEL_COM<n>; the settings lookup set with SetComSettingsLookup;
// /dev/ttyS<n-1>. A port is held exclusively (flock) while open.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/Dispatcher.h"
#include "serial/Serialerrors.h"
#include "serial/Serialmisc.h"

class QObject;

namespace qel {

enum TPortState : uint8_t { psClosed, psShuttingDown, psOpen };
enum TParity : uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum TDeviceLayer : uint8_t { dlWin16, dlFossil, dlWin32, dlWinsock };
enum TTapiMode : uint8_t { tmNone, tmAuto, tmOn, tmOff };
enum THWFlowOption : uint8_t { hwfUseDTR = 1, hwfUseRTS = 2, hwfRequireDSR = 4, hwfRequireCTS = 8 };
using THWFlowOptions = uint8_t;  // a set of THWFlowOption bits
enum TSWFlowOptions : uint8_t { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState : uint8_t { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TThreadBoost : uint8_t { tbNone, tbPlusOne, tbPlusTwo };

class TCustomComPort;

using TTriggerEvent = std::function<void(TCustomComPort* CP, uint16_t Msg, uint16_t TriggerHandle, uint16_t Data)>;
using TTriggerAvailEvent = std::function<void(TCustomComPort* CP, uint16_t Count)>;
using TTriggerDataEvent = std::function<void(TCustomComPort* CP, uint16_t TriggerHandle)>;
using TTriggerStatusEvent = std::function<void(TCustomComPort* CP, uint16_t TriggerHandle)>;
using TTriggerTimerEvent = std::function<void(TCustomComPort* CP, uint16_t TriggerHandle)>;
using TTriggerLineErrorEvent = std::function<void(TCustomComPort* CP, uint16_t Error, bool LineBreak)>;
using TWaitCharEvent = std::function<void(TCustomComPort* CP, char C)>;
using TPortCallback = std::function<void(TCustomComPort* CP, bool Opening)>;
using TNotifyEvent = std::function<void(TCustomComPort* CP)>;

// Maps a port number to a device path; an empty answer means "no opinion".
using TComDeviceResolver = std::function<std::string(uint16_t)>;
// The program's (or a test's) own mapping; checked first.
void SetComDeviceResolver(TComDeviceResolver resolver);
// The settings entry of the port; the shell binds it to its settings file.
void SetComSettingsLookup(TComDeviceResolver lookup);
// The device path that opening "COM<n>" uses.
std::string ResolveComDevice(uint16_t comNumber);

// "COM" followed by the decimal number.
std::string ComName(uint16_t comNumber);

class TCustomComPort {
public:
    TCustomComPort();
    virtual ~TCustomComPort();
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // --- properties used by the system ---
    uint16_t ComNumber() const { return ComNumber_; }
    void SetComNumber(uint16_t n);
    int32_t Baud() const { return Baud_; }
    void SetBaud(int32_t v);
    TParity Parity() const { return Parity_; }
    void SetParity(TParity v);
    uint16_t DataBits() const { return DataBits_; }
    void SetDataBits(uint16_t v);
    uint16_t StopBits() const { return StopBits_; }
    void SetStopBits(uint16_t v);
    uint16_t InSize() const { return InSize_; }
    void SetInSize(uint16_t v);
    uint16_t OutSize() const { return OutSize_; }
    void SetOutSize(uint16_t v);
    bool AutoOpen() const { return AutoOpen_; }
    void SetAutoOpen(bool v) { AutoOpen_ = v; }
    bool Open() const { return Open_; }
    void SetOpen(bool v);
    bool PromptForPort() const { return PromptForPort_; }
    void SetPromptForPort(bool v) { PromptForPort_ = v; }
    bool DTR() const { return DTR_; }
    void SetDTR(bool v);
    bool RTS() const { return RTS_; }
    void SetRTS(bool v);
    THWFlowOptions HWFlowOptions() const { return HWFlowOptions_; }
    void SetHWFlowOptions(THWFlowOptions v);
    TDeviceLayer DeviceLayer() const { return DeviceLayer_; }
    void SetDeviceLayer(TDeviceLayer v) { DeviceLayer_ = v; }
    TTapiMode TapiMode() const { return TapiMode_; }
    void SetTapiMode(TTapiMode v) { TapiMode_ = v; }
    uint16_t TriggerLength() const { return TriggerLength_; }
    void SetTriggerLength(uint16_t v);
    TPortState PortState() const { return PortState_; }

    // Published settings that play no part in this system; kept with their defaults.
    TSWFlowOptions SWFlowOptions = swfNone;
    uint8_t XOnChar = 17;
    uint8_t XOffChar = 19;
    uint16_t BufferFull = 0;
    uint16_t BufferResume = 0;
    TTraceLogState Tracing = tlOff;
    uint32_t TraceSize = 10000;
    std::string TraceName;
    bool TraceHex = true;
    bool TraceAllHex = false;
    TTraceLogState Logging = tlOff;
    uint32_t LogSize = 10000;
    std::string LogName;
    bool LogHex = true;
    bool LogAllHex = false;
    bool UseMSRShadow = true;
    bool UseEventWord = true;
    uint16_t CommNotificationLevel = 10;
    bool RS485Mode = false;
    std::string Name;
    intptr_t Tag = 0;

    // --- events (setting one updates the handler flag) ---
    void SetOnTrigger(TTriggerEvent e);
    void SetOnTriggerAvail(TTriggerAvailEvent e);
    void SetOnTriggerData(TTriggerDataEvent e);
    void SetOnTriggerStatus(TTriggerStatusEvent e);
    void SetOnTriggerTimer(TTriggerTimerEvent e);
    // Modem-status, line-error and output-level events: no trigger of this
    // system raises them, but assigning one still counts for the handler flag.
    void SetOnTriggerLineError(TTriggerLineErrorEvent e);
    void SetOnTriggerModemStatus(TNotifyEvent e);
    void SetOnTriggerOutbuffFree(TNotifyEvent e);
    void SetOnTriggerOutbuffUsed(TNotifyEvent e);
    void SetOnTriggerOutSent(TNotifyEvent e);
    void SetOnWaitChar(TWaitCharEvent e) { OnWaitChar_ = std::move(e); }
    void SetOnPortOpen(TNotifyEvent e) { OnPortOpen_ = std::move(e); }
    void SetOnPortClose(TNotifyEvent e) { OnPortClose_ = std::move(e); }
    // Other components told of opening and closing.
    void RegisterUserCallback(TPortCallback cb);

    // --- operations ---
    uint16_t PutBlock(const void* block, uint16_t len);
    void PutChar(char c);
    void PutString(const std::string& s);
    bool CharReady();
    char GetChar();
    char PeekChar(uint16_t position);
    void GetBlock(void* block, uint16_t len);
    void PeekBlock(void* block, uint16_t len);
    void FlushInBuffer();
    void FlushOutBuffer();
    uint16_t OutBuffFree();
    uint16_t GetOutBuffFree() { return OutBuffFree(); }
    uint16_t OutBuffUsed();
    uint16_t InBuffUsed();
    uint16_t InBuffFree();
    uint16_t AddTimerTrigger();
    uint16_t AddDataTrigger(const std::string& data, bool ignoreCase);
    uint16_t AddStatusTrigger(uint16_t kind);
    void SetTimerTrigger(uint16_t handle, int32_t ticks, bool activate);
    void SetStatusTrigger(uint16_t handle, uint16_t value, bool activate);
    void RemoveTrigger(uint16_t handle);
    void RemoveAllTriggers();
    void SendBreak(uint16_t ticks);
    void SetBreak(bool on);
    void ProcessCommunications();
    bool DSR();
    bool CTS();
    bool RI();
    bool DCD();
    bool DeltaDSR();
    bool DeltaCTS();
    bool DeltaRI();
    bool DeltaDCD();
    bool LineBreak();
    uint16_t LineError();
    uint8_t ModemStatus();

    // True once the device has gone away (unplugged, far end hung up) while
    // open. Output then fails with the device's error; the port stays open
    // until it is closed.
    bool DeviceLost() const;

    // Exposed for tests and for the link's diagnostics.
    TBaseDispatcher* Dispatcher() const { return Dispatcher_.get(); }
    bool InDelivery() const { return InDelivery_ > 0; }

protected:
    virtual std::unique_ptr<TBaseDispatcher> ActivateDeviceLayer();
    virtual void DeviceLayerChanged() {}
    virtual int32_t InitializePort();
    virtual void RegisterComPort(bool enabling);
    virtual void ValidateComport();
    virtual void Trigger(uint16_t Msg, uint16_t TriggerHandle, uint16_t Data);
    virtual void TriggerAvail(uint16_t Count);
    virtual void TriggerData(uint16_t TriggerHandle);
    virtual void TriggerStatus(uint16_t TriggerHandle);
    virtual void TriggerTimer(uint16_t TriggerHandle);
    virtual void UpdateHandlerFlag();
    virtual void TriggerLineError(uint16_t Error, bool LineBreak);
    virtual void TriggerModemStatus();
    virtual void TriggerOutbuffFree();
    virtual void TriggerOutbuffUsed();
    virtual void TriggerOutSent();
    virtual void WaitChar(char C);
    virtual void DonePort();
    void InitPort();
    void PortOpen();
    void PortClose();

private:
    class TriggerWindow;
    TBaseDispatcher& NeedDispatcher();
    void RunDelivery(const std::shared_ptr<TDelivery>& d);
    void FinishDeferredClose();
    void TearDown();

    uint16_t ComNumber_ = 0;
    int32_t Baud_ = 19200;
    TParity Parity_ = pNone;
    uint16_t DataBits_ = 8;
    uint16_t StopBits_ = 1;
    uint16_t InSize_ = 4096;
    uint16_t OutSize_ = 4096;
    bool AutoOpen_ = true;
    bool Open_ = false;
    bool PromptForPort_ = true;
    bool DTR_ = true;
    bool RTS_ = true;
    THWFlowOptions HWFlowOptions_ = 0;
    TDeviceLayer DeviceLayer_ = dlWin32;
    TTapiMode TapiMode_ = tmAuto;
    uint16_t TriggerLength_ = 1;
    TThreadBoost ThreadBoost_ = tbNone;

    bool Force_ = false;
    TPortState PortState_ = psClosed;
    bool OpenPending_ = false;
    bool TriggersSaved_ = false;
    TTriggerSave SavedTriggers_;
    std::vector<TPortCallback> Users_;
    std::unique_ptr<TBaseDispatcher> Dispatcher_;
    std::unique_ptr<TriggerWindow> Window_;
    int InDelivery_ = 0;

    TTriggerEvent OnTrigger_;
    TTriggerAvailEvent OnTriggerAvail_;
    TTriggerDataEvent OnTriggerData_;
    TTriggerStatusEvent OnTriggerStatus_;
    TTriggerTimerEvent OnTriggerTimer_;
    TTriggerLineErrorEvent OnTriggerLineError_;
    TNotifyEvent OnTriggerModemStatus_;
    TNotifyEvent OnTriggerOutbuffFree_;
    TNotifyEvent OnTriggerOutbuffUsed_;
    TNotifyEvent OnTriggerOutSent_;
    TWaitCharEvent OnWaitChar_;
    TNotifyEvent OnPortOpen_;
    TNotifyEvent OnPortClose_;
};

// The published component; all behaviour is in TCustomComPort.
class TComPort : public TCustomComPort {
public:
    TComPort() = default;
};

}  // namespace qel
