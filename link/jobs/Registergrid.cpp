#include "link/jobs/Registergrid.h"

#include <algorithm>
#include <cstdio>

#include "core/DeviceLimits.h"
#include "core/Digtest.h"

namespace qel::link {

namespace {

// The device letter of a page's registers.
char PageLetter(int page) { return page == kRegPageD ? 'D' : page == kRegPageT ? 'T' : 'C'; }

// Whether register index + 1 holds the high word of index's 32-bit value (a
// pair past it reads as 0 and is not stored).
bool PairsOnPage(int page, int family, int index) {
    return page != kRegPageC32 && PairsWithNext(PageLetter(page), index, family);
}

std::uint16_t* PageArray(TRegisterData& d, int page) {
    switch (page) {
    case kRegPageD: return d.DRegs.data();
    case kRegPageC: return d.CRegs.data();
    case kRegPageT: return d.TRegs.data();
    default: return nullptr;
    }
}

const std::uint16_t* PageArray(const TRegisterData& d, int page) {
    return PageArray(const_cast<TRegisterData&>(d), page);
}

std::uint32_t CellValue(const TRegisterData& data, const TRegView& v, int index) {
    if (v.Page == kRegPageC32) return data.C32Regs[static_cast<std::size_t>(index)];
    const std::uint16_t* a = PageArray(data, v.Page);
    std::uint32_t value = a[index];
    if (v.Is32 && PairsOnPage(v.Page, v.Family, index)) value |= static_cast<std::uint32_t>(a[index + 1]) << 16;
    return value;
}

// The typed text as the checks see it: trimmed, upper case, and in binary
// mode without the blanks between groups.
std::string Normalized(const std::string& text, int radix) {
    std::string t = StrToUpper(text);
    if (radix == kRegBinary) std::erase(t, ' ');
    return t;
}

}  // namespace

int HighestD(int family) { return DeviceLimitOf(family, 'D'); }
int HighestT(int family) { return DeviceLimitOf(family, 'T'); }

int RegGridRows(int page, int family) {
    switch (page) {
    case kRegPageD: return HighestD(family) / 10 + 2;
    case kRegPageC: {
        const int n = family == 0 ? 128 : 200;
        return n / 10 + 1 + (n % 10 ? 1 : 0);
    }
    case kRegPageC32: return 7;
    case kRegPageT: return HighestT(family) / 10 + 2;
    default: return 1;
    }
}

std::string RegColumnLabel(int column) { return column <= 0 ? "+" : std::to_string(column - 1); }

std::string RegRowLabel(int page, int row) {
    const int base = (row - 1) * 10;
    switch (page) {
    case kRegPageD: return "D" + std::to_string(base);
    case kRegPageC: return "C" + std::to_string(base);
    case kRegPageC32: return "C" + std::to_string(200 + base);
    default: return "T" + std::to_string(base);
    }
}

int RegDeviceNumber(int page, int index) { return page == kRegPageC32 ? 200 + index : index; }

bool RegisterInUse(int page, int family, int index) {
    if (page < kRegPageD || page > kRegPageT || index < 0 || index >= RegPageCells(page, family)) return false;
    return WordRegisterExists(PageLetter(page), RegDeviceNumber(page, index), family);
}

bool SpecialRegister(int page, int family, int index) {
    return page == kRegPageD && index >= 1000 && (family == 0 || index <= 1999) && RegisterInUse(page, family, index);
}

std::string FormatHex(std::uint32_t value) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%X", value);
    return buf;
}

std::string FormatBinary(std::uint32_t value, bool is32) { return IntToBinGroupStr(is32 ? 32 : 16, value); }

std::string RegCellText(const TRegisterData& data, const TRegView& v, int index) {
    if (!RegisterInUse(v.Page, v.Family, index)) return kNoUse;
    const bool is32 = v.Is32 || v.Page == kRegPageC32;
    std::uint32_t value = CellValue(data, v, index);
    if (!is32) value &= 0xFFFF;
    switch (v.Radix) {
    case kRegHex: return FormatHex(value);
    case kRegBinary: return FormatBinary(value, is32);
    default: return is32 ? std::to_string(static_cast<std::int32_t>(value)) : std::to_string(value);
    }
}

bool CheckDecimalEntry(const std::string& text, bool is32) {
    if (!IsDecimalDigits(text, static_cast<int>(text.size()))) return false;
    if (text.size() > 12) return false;  // far past either limit
    const long v = AtoL(text);
    return is32 ? v <= 2147483647L : v <= 32767L;
}

bool CheckHexEntry(const std::string& text, bool is32) {
    return text.size() <= (is32 ? 8u : 4u) && IsHexDigits(text, static_cast<int>(text.size()));
}

bool CheckBinaryEntry(const std::string& text, bool is32) {
    return text.size() <= (is32 ? 32u : 16u) && IsBinaryDigits(text, static_cast<int>(text.size()));
}

TRegCommit CommitRegisterEntry(TRegisterData& data, const TRegView& v, int index, const std::string& typed) {
    if (!RegisterInUse(v.Page, v.Family, index)) return TRegCommit::NoUse;
    const bool is32 = v.Is32 || v.Page == kRegPageC32;
    const std::string text = Normalized(typed, v.Radix);
    std::uint32_t value = 0;
    switch (v.Radix) {
    case kRegHex:
        if (!CheckHexEntry(text, is32)) return TRegCommit::Invalid;
        value = HexStrToUInt(text);
        break;
    case kRegBinary:
        if (!CheckBinaryEntry(text, is32)) return TRegCommit::Invalid;
        value = static_cast<std::uint32_t>(BinStrToDouble(text));
        break;
    default:
        if (!CheckDecimalEntry(text, is32)) return TRegCommit::Invalid;
        value = static_cast<std::uint32_t>(AtoL(text));
        break;
    }
    if (v.Page == kRegPageC32) {
        data.C32Regs[static_cast<std::size_t>(index)] = value;
        return TRegCommit::Stored;
    }
    // The special registers are the PLC's: shown and read, never written, so
    // a value typed into one (or a pair ending in one) would stay behind.
    const bool pair = is32 && PairsOnPage(v.Page, v.Family, index);
    if (SpecialRegister(v.Page, v.Family, index) || (pair && SpecialRegister(v.Page, v.Family, index + 1)))
        return TRegCommit::Protected;
    std::uint16_t* a = PageArray(data, v.Page);
    a[index] = static_cast<std::uint16_t>(value & 0xFFFF);
    if (pair) a[index + 1] = static_cast<std::uint16_t>(value >> 16);
    return TRegCommit::Stored;
}

void ClearRegisterPage(TRegisterData& data, int page) {
    switch (page) {
    case kRegPageD: data.DRegs.fill(0); break;
    case kRegPageC: data.CRegs.fill(0); break;
    case kRegPageC32: data.C32Regs.fill(0); break;
    case kRegPageT: data.TRegs.fill(0); break;
    default: break;
    }
}

}  // namespace qel::link
