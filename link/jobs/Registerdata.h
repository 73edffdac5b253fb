#pragma once
// The values of the PLC's word devices that the register view holds, edits,
// stores and exchanges with the PLC: D0-D9999, C0-C199 (16-bit), C200-C255
// (32-bit high-speed counters) and T0-T255, and the register data files.
//
// ".kzl" files are read and written (a 128-byte header, then four counted
// blocks); ".rvl" files, without header or counts, are only read. A reader
// checks the whole file before it changes anything, so a refused file leaves
// the data exactly as it was; a writer replaces the file through a temporary
// file, so a failed save never leaves a half-written file. No windows.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qel::link {

inline constexpr int kDRegCount = 10000;
inline constexpr int kCRegCount = 200;
inline constexpr int kC32RegCount = 56;  // C200..C255
inline constexpr int kTRegCount = 256;

// Exact sizes of the two file kinds.
inline constexpr std::size_t kKzlFileBytes = 21280;
inline constexpr std::size_t kRvlFileBytes = 21136;

struct TRegisterData {
    std::array<std::uint16_t, kDRegCount> DRegs{};
    std::array<std::uint16_t, kTRegCount> TRegs{};
    std::array<std::uint16_t, kCRegCount> CRegs{};
    std::array<std::uint32_t, kC32RegCount> C32Regs{};
    std::string Title;  // the function title; files keep up to 60 bytes of it

    // Sets all four arrays to zero (the title stays).
    void ClearRegisters();
    bool operator==(const TRegisterData&) const = default;
};

// Outcome of reading a register file. Everything but Ok and Missing leaves
// the data unchanged and has a message (RegisterFileMessage).
enum class TRegFileResult {
    Ok,
    Missing,     // no such file: nothing read (the normal case of a new program)
    Unreadable,  // exists but cannot be read, or is no regular file (a FIFO, a folder)
    Short,       // shorter than its layout
    Foreign,     // not a register file of this system (version word)
    Damaged,     // counts, sizes or header fields out of range, bytes left over
    OtherModel,  // written for another model family
};

// True when the path names an ".rvl" file: ".rvl" anywhere in it, in exactly
// these small letters (a name in capitals is read as ".kzl").
bool IsRvlPath(const std::string& path);

// Checks and decodes file bytes; on Ok `data` holds the file's values (and,
// for ".kzl", its title), otherwise `data` is untouched.
TRegFileResult DecodeRegisterFile(const std::vector<std::uint8_t>& bytes, bool rvl, int family,
                                  TRegisterData& data);
// Reads a file (".rvl" by IsRvlPath) into `data` with DecodeRegisterFile.
TRegFileResult ReadRegisterFile(const std::string& path, int family, TRegisterData& data);

// The ".kzl" bytes of the data under the given family and capacity index.
std::string EncodeRegisterFile(const TRegisterData& data, int family, int capacityIndex);
// Writes a ".kzl" file through a temporary file and a rename; false (the old
// file kept) when it cannot be written.
bool WriteRegisterFile(const std::string& path, const TRegisterData& data, int family, int capacityIndex);

// The message id that reports a refusal (the path follows it); 0 for Ok and
// Missing.
int RegisterFileMessage(TRegFileResult r);

}  // namespace qel::link
