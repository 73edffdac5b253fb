#include "link/jobs/Registergrid.h"

#include <algorithm>
#include <cstdio>

#include "core/DeviceLimits.h"
#include "core/Digtest.h"

namespace qel::link {

namespace {

bool InCounterList(int number) {
    return std::find(std::begin(kHighSpeedCounterList), std::end(kHighSpeedCounterList), number) !=
           std::end(kHighSpeedCounterList);
}

// Highest register index whose value pairs with the one before it in 32-bit
// mode (the high word of a pair past it reads as 0 and is not stored).
int PairBound(int page, int family) {
    switch (page) {
    case kRegPageD: return family == 0 ? 599 : HighestD(family);
    case kRegPageC: return family == 0 ? 127 : 199;
    case kRegPageT: return HighestT(family);
    default: return -1;
    }
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
    if (v.Is32 && index + 1 <= PairBound(v.Page, v.Family)) value |= static_cast<std::uint32_t>(a[index + 1]) << 16;
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
        const int n = family == 1 ? 200 : 128;
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
    if (index < 0 || index >= RegPageCells(page, family)) return false;
    switch (page) {
    case kRegPageD:
        if (family == 0) return index <= 599 || (index >= 1000 && index <= HighestD(0));
        return index <= HighestD(family);
    case kRegPageC: return index <= (family == 0 ? 127 : 199);
    case kRegPageC32:
        if (family == 0) return InCounterList(200 + index);
        return 200 + index <= DeviceLimitOf(family, 'C');
    case kRegPageT: return index <= HighestT(family);
    default: return false;
    }
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
    // Family 0's special registers D1000 and up are the PLC's: shown, not set here.
    if (v.Page == kRegPageD && v.Family == 0 && index >= 600) return TRegCommit::Protected;
    std::uint16_t* a = PageArray(data, v.Page);
    a[index] = static_cast<std::uint16_t>(value & 0xFFFF);
    if (is32 && index + 1 <= PairBound(v.Page, v.Family)) a[index + 1] = static_cast<std::uint16_t>(value >> 16);
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
