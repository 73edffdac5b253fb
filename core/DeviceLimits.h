#pragma once
// Device letters, type codes, the per-family device limits, and the current model
// family that the operand checkers work against (set by the shell).
#include <cstdint>
#include <string>
#include <string_view>

// Device type codes (ladder cells, decoded operand records).
enum DeviceType : uint8_t {
    kDevNone = 0,
    kDevC = 1, kDevD = 2, kDevH = 3, kDevK = 4, kDevM = 5, kDevS = 6, kDevT = 7,
    kDevE = 8, kDevX = 9, kDevY = 10, kDevF = 11, kDevP = 12, kDevN = 13, kDevI = 14,
    kDevText = 15,  // two characters of an ASC text
};

inline constexpr int kFamilyCount = 3;     // 0: KA/KB/KC, 1: KD, 2: KE
inline constexpr int kLimitLetterCount = 9;
// Letter order of every per-letter table.
inline constexpr char kDeviceLetters[] = "XYMSTCDPI";
enum LimitIndex : int { kLimX = 0, kLimY, kLimM, kLimS, kLimT, kLimC, kLimD, kLimP, kLimI };

// Highest number of each letter (order XYMSTCDPI) per family. Writable: the register
// transfer lowers family 0's D entry; ResetDeviceLimits restores the defaults.
extern int32_t gDeviceLimitTable[kFamilyCount][kLimitLetterCount];
void ResetDeviceLimits();
// What a PLC's identification (family class, model code) tells of the limits: older family 0
// PLCs (model code below 73) end at D1143, and once such a PLC answered every user of the
// table sees that for the rest of the run.
void LimitDevicesForPlc(int familyClass, int modelCode);

// Sets the current model family; a value outside 0..2 is refused (false, nothing changed).
bool SetCurrentFamily(int family);
int CurrentFamily();
// Highest number of a letter of "XYMSTCDPI" in the current family (or a given one); -1 for
// any other letter or family.
int32_t DeviceLimit(char letter);
int32_t DeviceLimitOf(int family, char letter);

// A 32-bit value of word device T, C or D n takes its register and the next one (the
// high word). Whether both are registers of a family, in one block: not the last T or
// D of the family, not C199 (from C200 each counter is one 32-bit register of its own,
// which always holds its whole value), not D4095 (D4096 begins the next block of data
// registers, elsewhere in the PLC's memory). False for any other type, for a number
// the family lacks, and for a family outside 0..2. The program's 32-bit operands, the
// ladder's 32-bit cells and the simulator's 32-bit accesses all ask here.
bool WordPairInFamily(int type, int64_t n, int family);
// The same over a row of limits (order XYMSTCDPI) kept apart from the table, as a
// simulation keeps the limits it started with.
bool WordPairInLimits(const int32_t* limits, int type, int64_t n);

// Type code 1..15 -> letter C D H K M S T E X Y F P N I (15 gives 'A' for text); '\0' otherwise.
char DeviceLetterFromType(int type);
// Letter -> type code; kDevNone when the letter is none of them.
int DeviceTypeFromLetter(char letter);
// Position of the text's first character in "XYMSTCDPI"; 9 when it is none of them
// (callers must test before indexing a nine-entry table).
int DeviceLetterIndex(std::string_view text);

// Device name as the system writes it: letter + number, octal for X and Y.
std::string DeviceName(int type, uint32_t number);
