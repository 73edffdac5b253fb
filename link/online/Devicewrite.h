#pragma once
// Checks of the device writes a user types: a present value for a word
// device (the set-value dialog) and a bit device to force ON or OFF (the force
// dialog, the device monitor, the ladder). Each turns the texts into the link
// address and value to queue, or into the id of the message that says why
// not. Nothing here sends anything.
#include <cstdint>
#include <string>

#include "link/engine/Deviceaddress.h"

namespace qel::link {

class TTransData;

inline constexpr int kMsgSetPrefix = 70;    // value without K or H
inline constexpr int kMsgInvalid = 0;

struct TSetValueWrite {
    int Msg = -1;               // message id when refused, else -1
    std::string Device;         // the device text as checked (trimmed, upper case)
    std::string Value;          // the value text as checked
    std::uint16_t Address = 0;  // register address
    std::uint16_t Count = 1;    // 1: 16-bit write, 2: 32-bit write
    std::uint32_t Data = 0;     // the value (low 16 bits for a 16-bit write)
    TWordAddress Where;         // the device's register(s), for the pair's high word
};

// The set-value dialog's check: device T, C, D (within the current family's
// limits, a plain number), E or F with 0-7, and for 32 bits one whose next
// register is its pair; value K (signed decimal) or H (hexadecimal) within
// 16 or 32 bits. "K" alone is 0.
TSetValueWrite CheckSetValue(const std::string& device, const std::string& value, bool is32);

// Queues a checked write on the link: one register write, or for a pair
// whose registers are not neighbours on the link (D4095, D4096) two, low word
// first. False, nothing queued, when the queue has no room for it.
bool QueueSetValue(TTransData& link, const TSetValueWrite& w);

// The force dialog's check: an X, Y, M, S, T or C device of the current
// family; false when it is none.
bool CheckForceDevice(const std::string& text, std::uint16_t& address, std::string* checked = nullptr);

}  // namespace qel::link
