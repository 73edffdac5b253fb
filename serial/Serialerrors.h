#pragma once
// Result codes of the serial port component and the exceptions they become.
// Inside, the dispatcher reports failures as negative codes (negated errno
// values for device failures); at the component's surface CheckException
// turns them into the classes below.
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

namespace qel {

// Codes the component can produce. Numbers are part of the component's
// interface: callers compare ErrorCode() against them.
enum : int32_t {
    ecOK = 0,
    ecBadArgument = -1002,
    ecBadId = -2001,
    ecBaudRate = -2002,
    ecByteSize = -2003,
    ecDefault = -2004,
    ecHardware = -2005,
    ecMemory = -2006,
    ecCommNotOpen = -2007,
    ecAlreadyOpen = -2008,
    ecNoHandles = -2009,
    ecNoTimers = -2010,
    ecNoPortSelected = -2011,
    ecNotOpenedByTapi = -2012,
    ecNullApi = -3001,
    ecNotSupported = -3002,
    ecRegisterHandlerFailed = -3003,
    ecPutBlockFail = -3004,
    ecGetBlockFail = -3005,
    ecOutputBufferTooSmall = -3006,
    ecBufferIsEmpty = -3007,
    ecTracingNotEnabled = -3008,
    ecLoggingNotEnabled = -3009,
    ecBaseAddressNotSet = -3010,
    ecNoMoreTriggers = -5001,
    ecTriggerTooLong = -5002,
    ecBadTriggerHandle = -5003,
};

// Common base of every exception of the component. ErrorCode is the negative
// code that was raised (0 for the generic case).
class ESerialException : public std::runtime_error {
public:
    ESerialException(int32_t code, const std::string& msg) : std::runtime_error(msg), ErrorCode_(code) {}
    int32_t ErrorCode() const { return ErrorCode_; }

private:
    int32_t ErrorCode_;
};

// Category classes.
#define QEL_SERIAL_CLASS(Name, Base)                                                        \
    class Name : public Base {                                                              \
    public:                                                                                 \
        Name(int32_t code, const std::string& msg) : Base(code, msg) {}                     \
    };
QEL_SERIAL_CLASS(EGeneral, ESerialException)
QEL_SERIAL_CLASS(EOpenComm, ESerialException)
QEL_SERIAL_CLASS(ESerialIO, ESerialException)
QEL_SERIAL_CLASS(ETrigger, ESerialException)

QEL_SERIAL_CLASS(EBadArgument, EGeneral)
QEL_SERIAL_CLASS(EBadId, EOpenComm)
QEL_SERIAL_CLASS(EBaudRate, EOpenComm)
QEL_SERIAL_CLASS(EByteSize, EOpenComm)
QEL_SERIAL_CLASS(EDefault, EOpenComm)
QEL_SERIAL_CLASS(EHardware, EOpenComm)
QEL_SERIAL_CLASS(EMemory, EOpenComm)
QEL_SERIAL_CLASS(ECommNotOpen, EOpenComm)
QEL_SERIAL_CLASS(EAlreadyOpen, EOpenComm)
QEL_SERIAL_CLASS(ENoHandles, EOpenComm)
QEL_SERIAL_CLASS(ENoTimers, EOpenComm)
QEL_SERIAL_CLASS(ENoPortSelected, EOpenComm)
QEL_SERIAL_CLASS(ENotOpenedByTapi, EOpenComm)
QEL_SERIAL_CLASS(ENullApi, ESerialIO)
QEL_SERIAL_CLASS(ERegisterHandlerFailed, ESerialIO)
QEL_SERIAL_CLASS(EPutBlockFail, ESerialIO)
QEL_SERIAL_CLASS(EGetBlockFail, ESerialIO)
QEL_SERIAL_CLASS(EOutputBufferTooSmall, ESerialIO)
QEL_SERIAL_CLASS(EBufferIsEmpty, ESerialIO)
QEL_SERIAL_CLASS(ETracingNotEnabled, ESerialIO)
QEL_SERIAL_CLASS(ELoggingNotEnabled, ESerialIO)
QEL_SERIAL_CLASS(EBaseAddressNotSet, ESerialIO)
QEL_SERIAL_CLASS(ENoMoreTriggers, ETrigger)
QEL_SERIAL_CLASS(ETriggerTooLong, ETrigger)
QEL_SERIAL_CLASS(EBadTriggerHandle, ETrigger)
#undef QEL_SERIAL_CLASS

// The runtime's input/output error: an operating-system error number (positive)
// with its text. Raised for codes -2..-162 other than -8.
class EInOutError : public std::runtime_error {
public:
    EInOutError(int code, const std::string& msg) : std::runtime_error(msg), ErrorCode_(code) {}
    int ErrorCode() const { return ErrorCode_; }

private:
    int ErrorCode_;
};

// The text for a code: the component's own text for its codes, else the
// operating system's text for the number.
std::string SerialErrorText(int32_t code);

// Raises for a negative code, returns any other code unchanged.
int32_t CheckException(int32_t code);

// The reverse: the code an exception stands for (-9999 for a foreign one).
int32_t XlatException(const std::exception& e);

}  // namespace qel
