#include "link/engine/Deviceaddress.h"

#include <algorithm>
#include <iterator>

#include "core/DeviceLimits.h"

namespace qel::link {

namespace {

constexpr int kFirstCounter32 = 200;
// E0/F0 are D1028/D1029, E1..E7 and F1..F7 the pairs from D1182.
constexpr int kIndexRegD0 = 1028;
constexpr int kIndexRegD1 = 1182;
// Family 0 has no D600-D999.
constexpr int kFamily0LastLowD = 599;
constexpr int kFamily0FirstHighD = 1000;

bool InCounterList(int n) {
    return std::find(std::begin(kHighSpeedCounterList), std::end(kHighSpeedCounterList), n) !=
           std::end(kHighSpeedCounterList);
}

}  // namespace

std::uint16_t WordRegisterAddress(char letter, int n) {
    switch (letter) {
    case 'T': return static_cast<std::uint16_t>(0x0600 + n);
    case 'C': return static_cast<std::uint16_t>(0x0E00 + n);
    case 'D': return static_cast<std::uint16_t>(n < 4096 ? 0x1000 + n : 0x9000 + (n - 4096));
    default: return 0xFFFF;
    }
}

bool WordRegisterExists(char letter, int n, int family) {
    if (n < 0 || family < 0 || family >= kFamilyCount) return false;
    switch (letter) {
    case 'D':
        if (family == 0 && n > kFamily0LastLowD && n < kFamily0FirstHighD) return false;
        return n <= DeviceLimitOf(family, 'D');
    case 'C':
        if (n >= kFirstCounter32) return family == 0 ? InCounterList(n) : n <= DeviceLimitOf(family, 'C');
        return n <= (family == 0 ? 127 : 199);
    case 'T': return n <= DeviceLimitOf(family, 'T');
    default: return false;
    }
}

bool PairsWithNext(char letter, int n, int family) {
    if (letter == 'C' && n + 1 >= kFirstCounter32) return false;
    return WordRegisterExists(letter, n, family) && WordRegisterExists(letter, n + 1, family);
}

TWordAddress WordRegister(char letter, int n, bool is32, int family) {
    TWordAddress a;
    a.Is32 = is32;
    if (letter == 'C' && n >= kFirstCounter32 && !is32) {
        a.Msg = kMsgSetC32;
        return a;
    }
    if ((letter != 'T' && letter != 'C' && letter != 'D') || n < 0 || n > DeviceLimitOf(family, letter)) {
        a.Msg = kMsgSetDevice;
        return a;
    }
    a.Address = WordRegisterAddress(letter, n);
    if (!is32) return a;
    if (letter == 'C' && n >= kFirstCounter32) {
        a.Counter32 = true;
        a.High = a.Address;
        return a;
    }
    if (!PairsWithNext(letter, n, family)) {
        a.Msg = kMsgSetRange;
        return a;
    }
    a.High = WordRegisterAddress(letter, n + 1);
    return a;
}

TWordAddress WordDeviceAddress(std::string_view name, bool is32, int family) {
    TWordAddress refused;
    refused.Is32 = is32;
    refused.Msg = kMsgSetDevice;
    if (name.empty()) return refused;
    const char letter = name[0];
    const std::string_view digits = name.substr(1);
    // Only a plain decimal number: "D0E", "D+5", "D 5" or "D" name no register.
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return refused;
    if (letter == 'E' || letter == 'F') {
        if (digits.size() > 1 || (digits.size() == 1 && digits[0] > '7')) return refused;
        const int r = digits.empty() ? 0 : digits[0] - '0';
        const int odd = letter == 'F' ? 1 : 0;
        const int d = r == 0 ? kIndexRegD0 + odd : kIndexRegD1 + odd + 2 * (r - 1);
        TWordAddress a;
        a.Is32 = is32;
        a.Address = WordRegisterAddress('D', d);
        if (is32) {
            // F is the high word of its E's pair: the register after it is
            // the next E (F1 -> E2) or a plain D, never F's own high word.
            if (odd || !PairsWithNext('D', d, family)) {
                a.Msg = kMsgSetRange;
                return a;
            }
            a.High = WordRegisterAddress('D', d + 1);
        }
        return a;
    }
    if (digits.empty() || digits.size() > 8) return refused;  // the dialog keeps 9 characters
    int n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    return WordRegister(letter, n, is32, family);
}

TWordRead MonitorRead(const TWordAddress& a) {
    if (a.Counter32) return TWordRead::Counter;
    return a.Msg < 0 && a.Is32 && !a.Split() ? TWordRead::Pair : TWordRead::One;
}

void StoreWordReply(std::uint32_t& slot, TWordRead read, const std::uint8_t* d, int n) {
    if (read == TWordRead::Counter) {
        if (n >= 4) slot = static_cast<std::uint32_t>(d[0]) << 24 | d[1] << 16 | d[2] << 8 | d[3];
        return;
    }
    if (n < 2) return;
    const std::uint32_t low = static_cast<std::uint32_t>(d[0] << 8 | d[1]);
    const std::uint32_t high = read == TWordRead::Pair && n >= 4 ? static_cast<std::uint32_t>(d[2] << 8 | d[3]) : 0;
    slot = high << 16 | low;
}

int AddWordEntry(std::uint16_t* list, TWordRead* reads, std::uint32_t& bytes, std::size_t capacity,
                 const TWordAddress& a, int& high) {
    high = -1;
    auto add = [&](std::uint16_t address, TWordRead read) {
        if (bytes / 2 >= capacity) return -1;
        const int e = static_cast<int>(bytes / 2);
        list[e] = address;
        reads[e] = read;
        bytes += 2;
        return e;
    };
    const int own = add(a.Address, MonitorRead(a));
    if (own < 0 || !a.Split()) return own;
    for (std::uint32_t e = 0; e < bytes / 2; ++e)
        if (list[e] == a.High && reads[e] != TWordRead::Counter) high = static_cast<int>(e);
    if (high < 0) high = add(a.High, TWordRead::One);
    return own;
}

}  // namespace qel::link
