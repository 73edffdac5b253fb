#include "core/DeviceLimits.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t kDefaultLimits[kFamilyCount][kLimitLetterCount] = {
    // X   Y    M     S     T    C    D     P    I   (X and Y: highest index, i.e. X177 = 127)
    {127, 127, 1279, 127, 127, 255, 1311, 255, 499},
    {255, 255, 4095, 1023, 255, 255, 9999, 255, 899},
    {127, 127, 4095, 1023, 255, 255, 4999, 255, 899},
};

// The family is set from the GUI thread but read by checkers that may run elsewhere
// (batch compile), so keep it atomic.
std::atomic<int> gCurrentFamily{0};

constexpr char kTypeLetters[] = "?CDHKMSTEXYFPNIA";

}  // namespace

int32_t gDeviceLimitTable[kFamilyCount][kLimitLetterCount] = {
    {127, 127, 1279, 127, 127, 255, 1311, 255, 499},
    {255, 255, 4095, 1023, 255, 255, 9999, 255, 899},
    {127, 127, 4095, 1023, 255, 255, 4999, 255, 899},
};

void ResetDeviceLimits() { std::memcpy(gDeviceLimitTable, kDefaultLimits, sizeof(kDefaultLimits)); }

void LimitDevicesForPlc(int familyClass, int modelCode) {
    constexpr int kShortDModel = 73, kShortHighestD = 1143;
    if (familyClass == 0 && modelCode < kShortDModel) gDeviceLimitTable[0][kLimD] = kShortHighestD;
}

bool SetCurrentFamily(int family) {
    if (family < 0 || family >= kFamilyCount) return false;
    gCurrentFamily.store(family);
    return true;
}

int CurrentFamily() { return gCurrentFamily.load(); }

int32_t DeviceLimitOf(int family, char letter) {
    if (family < 0 || family >= kFamilyCount) return -1;
    int idx = DeviceLetterIndex(std::string_view(&letter, 1));
    if (idx >= kLimitLetterCount) return -1;
    return gDeviceLimitTable[family][idx];
}

int32_t DeviceLimit(char letter) { return DeviceLimitOf(CurrentFamily(), letter); }

bool WordPairInLimits(const int32_t* limits, int type, int64_t n) {
    constexpr int64_t kFirst32BitCounter = 200;
    constexpr int64_t kLastDOfFirstBlock = 4095;
    if (!limits || n < 0) return false;
    switch (type) {
    case kDevT: return n + 1 <= limits[kLimT];
    case kDevC:
        if (n >= kFirst32BitCounter) return n <= limits[kLimC];
        return n + 1 < kFirst32BitCounter && n + 1 <= limits[kLimC];
    case kDevD: return n != kLastDOfFirstBlock && n + 1 <= limits[kLimD];
    default: return false;
    }
}

bool WordPairInFamily(int type, int64_t n, int family) {
    if (family < 0 || family >= kFamilyCount) return false;
    return WordPairInLimits(gDeviceLimitTable[family], type, n);
}

char DeviceLetterFromType(int type) {
    if (type < 1 || type > 15) return '\0';
    return kTypeLetters[type];
}

int DeviceTypeFromLetter(char letter) {
    for (int t = 1; t <= 14; ++t)
        if (kTypeLetters[t] == letter) return t;
    return kDevNone;
}

int DeviceLetterIndex(std::string_view text) {
    if (text.empty()) return kLimitLetterCount;
    for (int i = 0; i < kLimitLetterCount; ++i)
        if (kDeviceLetters[i] == text[0]) return i;
    return kLimitLetterCount;
}

std::string DeviceName(int type, uint32_t number) {
    char letter = DeviceLetterFromType(type);
    if (letter == '\0' || type == kDevText) return std::string();
    char buf[16];
    if (type == kDevX || type == kDevY)
        std::snprintf(buf, sizeof buf, "%c%o", letter, number);
    else
        std::snprintf(buf, sizeof buf, "%c%u", letter, number);
    return buf;
}
