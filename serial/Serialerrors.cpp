#include "serial/Serialerrors.h"

#include <cstdlib>
#include <system_error>

namespace qel {

namespace {

struct CodeText {
    int32_t code;
    const char* text;
};

// The component's own texts for the codes it raises with a class of their own.
constexpr CodeText kTexts[] = {
    {ecBadArgument, "ie_BadArg - bad argument"},
    {ecBadId, "ie_BadId - Specified comport doesn't exist"},
    {ecBaudRate, "ie_Baudrate - unsupported baud rate"},
    {ecByteSize, "ie_Bytesize - invalid byte size"},
    {ecDefault, "ie_Default - error in default parameters"},
    {ecHardware, "ie_Hardware - specified comport not present"},
    {ecMemory, "ie_Memory - unable to allocate queues"},
    {ecCommNotOpen, "ie_NOpen - device not open"},
    {ecAlreadyOpen, "ie_Open - device already open"},
    {ecNoHandles, "ie_NoHandles - no more handles, can't open port"},
    {ecNoTimers, "ie_NoTimers - no timers available"},
    {ecNoPortSelected, "The ComNumber property of the TComPort has not been set"},
    {ecNotOpenedByTapi, "Port not opened by the telephony layer"},
    {ecNullApi, "No device layer for this port"},
    {ecRegisterHandlerFailed, "Failed to register the trigger handler"},
    {ecPutBlockFail, "Failed to put entire block"},
    {ecGetBlockFail, "Failed to get entire block"},
    {ecOutputBufferTooSmall, "Output buffer too small for block"},
    {ecBufferIsEmpty, "Buffer is empty"},
    {ecTracingNotEnabled, "Tracing not enabled"},
    {ecLoggingNotEnabled, "Logging not enabled"},
    {ecBaseAddressNotSet, "Base address not set"},
    {ecNoMoreTriggers, "No more triggers available"},
    {ecTriggerTooLong, "Data trigger too long"},
    {ecBadTriggerHandle, "Bad trigger handle"},
};

constexpr const char* kGenericText = "Serial port error";

const char* OwnText(int32_t code) {
    for (const auto& t : kTexts)
        if (t.code == code) return t.text;
    return nullptr;
}

template <class E>
[[noreturn]] void Raise(int32_t code) {
    throw E(code, SerialErrorText(code));
}

}  // namespace

std::string SerialErrorText(int32_t code) {
    if (const char* t = OwnText(code)) return t;
    int n = code < 0 ? -code : code;
    if (n > 0 && n < 1000) return std::generic_category().message(n);
    return kGenericText;
}

int32_t CheckException(int32_t code) {
    if (code >= 0) return code;
    if (code <= -2 && code >= -162) {
        if (code == -8) throw std::bad_alloc();
        throw EInOutError(-code, std::generic_category().message(-code));
    }
    switch (code) {
    case ecBadArgument: Raise<EBadArgument>(code);
    case ecBadId: Raise<EBadId>(code);
    case ecBaudRate: Raise<EBaudRate>(code);
    case ecByteSize: Raise<EByteSize>(code);
    case ecDefault: Raise<EDefault>(code);
    case ecHardware: Raise<EHardware>(code);
    case ecMemory: Raise<EMemory>(code);
    case ecCommNotOpen: Raise<ECommNotOpen>(code);
    case ecAlreadyOpen: Raise<EAlreadyOpen>(code);
    case ecNoHandles: Raise<ENoHandles>(code);
    case ecNoTimers: Raise<ENoTimers>(code);
    case ecNoPortSelected: Raise<ENoPortSelected>(code);
    case ecNotOpenedByTapi: Raise<ENotOpenedByTapi>(code);
    case ecNullApi: Raise<ENullApi>(code);
    case ecRegisterHandlerFailed: Raise<ERegisterHandlerFailed>(code);
    case ecPutBlockFail: Raise<EPutBlockFail>(code);
    case ecGetBlockFail: Raise<EGetBlockFail>(code);
    case ecOutputBufferTooSmall: Raise<EOutputBufferTooSmall>(code);
    case ecBufferIsEmpty: Raise<EBufferIsEmpty>(code);
    case ecTracingNotEnabled: Raise<ETracingNotEnabled>(code);
    case ecLoggingNotEnabled: Raise<ELoggingNotEnabled>(code);
    case ecBaseAddressNotSet: Raise<EBaseAddressNotSet>(code);
    case ecTriggerTooLong: Raise<ETriggerTooLong>(code);
    case ecBadTriggerHandle: Raise<EBadTriggerHandle>(code);
    // Everything else, among them -1, -1001, -3002 and -5001: the common
    // class with code 0 and the generic text.
    default: throw ESerialException(0, kGenericText);
    }
}

int32_t XlatException(const std::exception& e) {
    if (auto* s = dynamic_cast<const ESerialException*>(&e)) return s->ErrorCode();
    if (auto* io = dynamic_cast<const EInOutError*>(&e)) return -io->ErrorCode();
    if (dynamic_cast<const std::bad_alloc*>(&e)) return -8;
    return -9999;
}

}  // namespace qel
