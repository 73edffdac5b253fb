#pragma once
// Line settings to termios and back. Pure functions: no device involved.
#include <termios.h>

#include <cstdint>

#include "serial/Dispatcher.h"

namespace qel {

// The termios speed constant for a rate, or 0 when the rate is not one the
// driver knows (the caller reports it rather than using another rate).
speed_t BaudToSpeed(uint32_t baud);
uint32_t SpeedToBaud(speed_t speed);

// Builds raw-mode settings for dcb on top of tio (whose other fields are
// kept). Returns 0, ecBaudRate or ecByteSize, or ecBadArgument for a DTR/DSR
// handshake, which Linux serial drivers do not offer.
int32_t DcbToTermios(const TLineDCB& dcb, termios& tio);
// Reads the line part of tio; fields termios cannot express are left as in dcb.
void TermiosToDcb(const termios& tio, TLineDCB& dcb);

}  // namespace qel
