#pragma once
// Where the PLC keeps its word devices on the link, in one place: the
// register of T, C and D n, which registers each model family has, which two
// registers form a 32-bit pair, and the register(s) of a device name for a
// 16-bit or 32-bit access. Every writer (set value, the device monitor's
// change value) and every reader (device monitor, ladder monitor, register
// view and its transfer) asks here, so a value lands on the device the user
// named, with its own pair, or is refused.
//
// The D registers sit in two areas: D0-D4095 at 0x1000 + n and D4096 and up
// at 0x9000 + (n - 4096). D4095 and D4096 form a pair but are not neighbours
// on the link (0x2000 after D4095 is program memory), so such a pair is two
// accesses.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qel::link {

// Messages of a refused device.
inline constexpr int kMsgSetDevice = 69;  // no T, C, D, E or F device of the model (an index suffix, no number, past the last)
inline constexpr int kMsgSetC32 = 71;     // C200 and above are 32-bit
inline constexpr int kMsgSetRange = 72;   // the value does not fit (range, or 32 bits without a pair)

// The high-speed counters of the smallest family (C235 ... C254).
inline constexpr int kHighSpeedCounterList[] = {235, 236, 237, 238, 241, 242, 244, 246, 247, 249, 251, 252, 254};

// Register of T n (0x0600 + n), C n (0x0E00 + n; C200-C255 are one 4-byte
// register each) or D n (see above); 0xFFFF for another letter.
std::uint16_t WordRegisterAddress(char letter, int n);

// Whether `family` has register T, C or D n. Family 0: D0-D599 and D1000 to
// its highest D, C0-C127 and the 13 listed high-speed counters, T0-T127.
// Families 1 and 2: D0 to the highest D, C0-C199 and C200-C255, T0-T255.
bool WordRegisterExists(char letter, int n, int family);

// Whether register n + 1 holds the high word of register n's 32-bit value:
// both exist and n is a 16-bit register (not C199 before the 32-bit C200,
// not the last T or D, not D599 before the missing D600 of family 0).
bool PairsWithNext(char letter, int n, int family);

// The register(s) of one access.
struct TWordAddress {
    int Msg = -1;                // the refusal's message, -1 when the access may go out
    std::uint16_t Address = 0;   // the device's own register (the low word)
    std::uint16_t High = 0;      // 32 bits: the register of the high word
    bool Is32 = false;
    bool Counter32 = false;      // C200-C255: one register of 4 bytes (High == Address)
    // A 32-bit pair whose two registers are not neighbours on the link.
    bool Split() const { return Is32 && !Counter32 && High != Address + 1; }
};

// The register(s) of word device letter n (T, C, D) for a 16- or 32-bit
// access in `family`: 69 when the family's limits have no such device, 71
// for 16 bits of C200-C255, 72 for 32 bits of a device without a pair.
TWordAddress WordRegister(char letter, int n, bool is32, int family);

// The same for a typed name, upper case: T, C or D and a decimal number, or
// E, E0-E7, F, F0-F7 (the index registers, D1028/D1029 and D1182-D1195). A
// name that is not exactly that (an index suffix as in D0E, a sign, no
// number, another letter) is refused with 69, never turned into a number.
// F names the high word of an E/F pair: at 32 bits it is refused with 72.
TWordAddress WordDeviceAddress(std::string_view name, bool is32, int family);

// How a monitor reads a word device for its 16-bit and 32-bit columns.
enum class TWordRead : std::uint8_t {
    One,      // the device's register alone: its 32-bit value has no high word
    Pair,     // the register and the next one: low word, high word
    Counter,  // a 32-bit counter: one register of 4 bytes, most significant first
};
// The read of a device whose 32-bit access `a` was asked for: the pair when
// it may go out as one read, else the device alone (a split pair reads its
// high word as a device of its own).
TWordRead MonitorRead(const TWordAddress& a);
// Registers of one read request.
inline std::uint16_t ReadCount(TWordRead r) { return r == TWordRead::Pair ? 2 : 1; }
// Stores `n` reply bytes (big-endian words) of a read into a value slot (a
// u32 whose low half is the device's own register). A device read alone keeps
// no high word, whatever else a block reply carries beside it.
void StoreWordReply(std::uint32_t& slot, TWordRead read, const std::uint8_t* data, int n);
// Adds access `a` to a word list (addresses, reads, size in bytes): the entry
// of the device's own register, or -1 when the list is full. A pair split on
// the link also needs its high word's register: `high` is then the entry
// that reads it (one already listed, or one added), else -1.
int AddWordEntry(std::uint16_t* list, TWordRead* reads, std::uint32_t& bytes, std::size_t capacity,
                 const TWordAddress& a, int& high);

}  // namespace qel::link
