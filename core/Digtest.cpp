#include "core/Digtest.h"

#include <cctype>
#include <climits>
#include <cstdio>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string_view Trim(std::string_view t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    return t;
}

}  // namespace

uint32_t OctStrToInt(std::string_view text) {
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '7') break;
        v = v * 8 + static_cast<uint32_t>(c - '0');
    }
    return v;
}

uint32_t HexStrToUInt(std::string_view text) {
    uint32_t v = 0;
    for (char c : text) {
        int d = HexValue(c);
        if (d < 0) break;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    return v;
}

int32_t HexStrToInt(std::string_view text) { return static_cast<int32_t>(HexStrToUInt(text)); }

long AtoL(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(LONG_MAX)) {
            v = static_cast<long long>(LONG_MAX) + (neg ? 1 : 0);
            break;
        }
    }
    return neg ? static_cast<long>(-v) : static_cast<long>(v);
}

double HexStrToDouble(std::string_view text) {
    double v = 0;
    for (char c : text) {
        int d = HexValue(c);
        if (d < 0) break;
        v = v * 16 + d;
    }
    return v;
}

double BinStrToDouble(std::string_view text) {
    double v = 0;
    for (char c : text) {
        if (c != '0' && c != '1') break;
        v = v * 2 + (c - '0');
    }
    return v;
}

bool IsDecimalDigits(std::string_view text, int n) {
    if (n <= 0) return true;
    if (text.size() < static_cast<std::size_t>(n)) return false;
    for (int i = 0; i < n; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

bool IsHexDigits(std::string_view text, int n) {
    if (n <= 0) return true;
    if (text.size() < static_cast<std::size_t>(n)) return false;
    for (int i = 0; i < n; ++i) {
        char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

bool IsBinaryDigits(std::string_view text, int n) {
    if (n <= 0) return true;
    if (text.size() < static_cast<std::size_t>(n)) return false;
    for (int i = 0; i < n; ++i)
        if (text[i] != '0' && text[i] != '1') return false;
    return true;
}

bool IsHex4Str(std::string_view text) {
    return !text.empty() && text.size() <= 4 && IsHexDigits(text, static_cast<int>(text.size()));
}

bool IsUInt16Str(std::string_view text) {
    if (text.empty() || text.size() >= 6 || !IsDecimalDigits(text, static_cast<int>(text.size())))
        return false;
    return AtoL(text) < 65536;
}

bool IsInt16Str(std::string_view text) {
    if (text.empty() || text.size() > 6) return false;
    std::string_view digits = text;
    if (digits.front() == '+' || digits.front() == '-') digits.remove_prefix(1);
    if (digits.empty() || !IsDecimalDigits(digits, static_cast<int>(digits.size()))) return false;
    long v = AtoL(text);
    return v >= -32768 && v <= 32767;
}

std::string WordToStr(uint16_t value, int radix) {
    char buf[8];
    if (radix == 10) {
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(value));
        return buf;
    }
    if (radix == 16) {
        std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(value));
        return buf;
    }
    return std::string();
}

std::string FormatValueStr(int64_t value, int format, bool is32) {
    const uint32_t u = is32 ? static_cast<uint32_t>(value) : static_cast<uint16_t>(value);
    char buf[24];
    switch (format) {
    case 1:
        if (is32)
            std::snprintf(buf, sizeof buf, "%d", static_cast<int32_t>(u));
        else
            std::snprintf(buf, sizeof buf, "%d", static_cast<int16_t>(u));
        break;
    case 2:
    case 3:
        std::snprintf(buf, sizeof buf, is32 ? "%08X" : "%04X", u);
        break;
    case 6:
        std::snprintf(buf, sizeof buf, "%o", u);
        break;
    default:
        std::snprintf(buf, sizeof buf, "%u", u);
        break;
    }
    return buf;
}

std::string IntToBinGroupStr(int bits, int64_t value) {
    if (bits != 32) bits = 16;
    const uint64_t u = static_cast<uint64_t>(value);
    std::string out;
    out.reserve(bits + bits / 8);
    for (int b = bits - 1; b >= 0; --b) {
        out.push_back(((u >> b) & 1) ? '1' : '0');
        if (b % 8 == 0) out.push_back(' ');
    }
    return out;
}

std::string IntToPaddedStr(int width, uint32_t value, int radix) {
    if (radix < 2 || radix > 16) radix = 10;
    static const char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value % static_cast<uint32_t>(radix)]);
        value /= static_cast<uint32_t>(radix);
    } while (value != 0);
    const int pad = width - 1 - static_cast<int>(digits.size());
    if (pad > 0) digits.insert(0, static_cast<std::size_t>(pad), '0');
    return digits;
}

void UpperCase16(char* text) {
    if (!text) return;
    for (int i = 0; i < 16 && text[i]; ++i)
        text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
}

std::string StrToUpper(std::string_view text) {
    std::string out(Trim(text));
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

void StrToUpperBuf(char* dest, std::size_t destSize, std::string_view text) {
    if (!dest || destSize == 0) return;
    std::string up = StrToUpper(text);
    std::size_t n = up.size() < destSize - 1 ? up.size() : destSize - 1;
    for (std::size_t i = 0; i < n; ++i) dest[i] = up[i];
    dest[n] = '\0';
}

bool FindByte(uint8_t value, const uint8_t* buffer, int n) {
    if (!buffer) return false;
    for (int i = 0; i < n; ++i)
        if (buffer[i] == value) return true;
    return false;
}

void ReverseCopy(void* dest, const void* src, int n) {
    auto* d = static_cast<uint8_t*>(dest);
    const auto* s = static_cast<const uint8_t*>(src);
    for (int i = 0; i < n; ++i) d[i] = s[n - 1 - i];
}

void ReverseCopyBytes(void* dest, const void* src, int n) { ReverseCopy(dest, src, n); }
