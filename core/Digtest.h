#pragma once
// Number and text helpers used everywhere: radix conversions, digit tests,
// padded and grouped number texts. None of them fails or writes past its output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Leading octal / hexadecimal (0-9, A-F, a-f) / decimal digits -> value; 0 without digits.
// Values wrap modulo 2^32 on overflow.
uint32_t OctStrToInt(std::string_view text);
int32_t HexStrToInt(std::string_view text);
uint32_t HexStrToUInt(std::string_view text);
// Decimal text with optional blanks and sign -> value (0 without digits); saturates.
long AtoL(std::string_view text);
// Leading hexadecimal digits, any count, as a double.
double HexStrToDouble(std::string_view text);
// Binary digits, most significant first, as a double (stops at the first other character).
double BinStrToDouble(std::string_view text);

// Each of the first n characters is 0-9 / 0-9 or capital A-F / 0 or 1; n <= 0 gives true;
// a text shorter than n gives false.
bool IsDecimalDigits(std::string_view text, int n);
bool IsHexDigits(std::string_view text, int n);
bool IsBinaryDigits(std::string_view text, int n);
// 1 to 4 characters of 0-9 and capital A-F.
bool IsHex4Str(std::string_view text);
// Decimal digits only, fewer than 6, value below 65536.
bool IsUInt16Str(std::string_view text);
// Optional + or -, decimal digits, at most 6 characters with the sign, -32768..32767.
bool IsInt16Str(std::string_view text);

// Radix 10: unsigned decimal text; radix 16: exactly 4 upper-case hex digits; other radixes "".
std::string WordToStr(uint16_t value, int radix);
// Format 1 signed decimal, 2 and 3 hexadecimal (4 digits unless 32-bit, 8 then), 6 octal,
// any other unsigned decimal. The value is taken at 16 or 32 bits.
std::string FormatValueStr(int64_t value, int format, bool is32);
// 16 or 32 bits of the value, most significant first, groups of 8 digits each followed by a blank.
std::string IntToBinGroupStr(int bits, int64_t value);
// Value in radix 2..16, upper case, left-padded with "0" to width - 1 characters.
std::string IntToPaddedStr(int width, uint32_t value, int radix);

// Upper-cases a NUL-terminated text in place, at most its first 16 characters.
void UpperCase16(char* text);
// Trimmed, upper-cased copy of a text.
std::string StrToUpper(std::string_view text);
// The same into a caller's zero-filled buffer of the given size (always NUL-terminated,
// cut to fit).
void StrToUpperBuf(char* dest, std::size_t destSize, std::string_view text);

// True when the byte occurs in the first n bytes.
bool FindByte(uint8_t value, const uint8_t* buffer, int n);
// dest[i] = src[n - 1 - i] for i in 0..n-1 (big-endian copies of 16- and 32-bit values).
void ReverseCopy(void* dest, const void* src, int n);
void ReverseCopyBytes(void* dest, const void* src, int n);
