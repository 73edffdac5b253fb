#include "link/online/Devicewrite.h"

#include <cctype>
#include <cstdlib>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "link/engine/Transdata.h"

namespace qel::link {

namespace {

// Trimmed and upper case.
std::string Normalised(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    const auto e = s.find_last_not_of(" \t");
    std::string t = s.substr(b, e - b + 1);
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t;
}

bool Digits(const std::string& s, std::size_t from, bool hex) {
    for (std::size_t i = from; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (!(std::isdigit(c) || (hex && c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

}  // namespace

TSetValueWrite CheckSetValue(const std::string& device, const std::string& value, bool is32) {
    TSetValueWrite w;
    // A text longer than the dialog takes is refused, not cut: "D0000000001"
    // cut to nine characters would name D0, a value cut would be another one.
    constexpr std::size_t kDeviceMax = 9, kValueMax = 14;
    w.Device = Normalised(device);
    w.Value = Normalised(value);
    const std::string& d = w.Device;
    const std::string& v = w.Value;
    const char letter = d.empty() ? '\0' : d[0];
    if (d.size() > kDeviceMax || (letter != 'T' && letter != 'C' && letter != 'D' && letter != 'E' && letter != 'F')) {
        w.Msg = kMsgSetDevice;
        return w;
    }
    if (v.empty() || (v[0] != 'K' && v[0] != 'H')) {
        w.Msg = kMsgSetPrefix;
        return w;
    }
    if (v.size() > kValueMax) {
        w.Msg = kMsgSetRange;
        return w;
    }
    // The device's register(s): exactly the device named and, for 32 bits,
    // its own pair, or a refusal.
    w.Where = WordDeviceAddress(d, is32, CurrentFamily());
    w.Msg = w.Where.Msg;
    w.Address = w.Where.Address;
    if (w.Msg >= 0) return w;

    long long x = 0;
    if (v[0] == 'H') {
        if (!Digits(v, 1, true)) {
            w.Msg = kMsgInvalid;
            return w;
        }
        x = v.size() > 1 ? std::strtoll(v.c_str() + 1, nullptr, 16) : 0;
        if (x > (is32 ? 0xFFFFFFFFLL : 0xFFFFLL)) w.Msg = kMsgSetRange;
    } else {
        const std::size_t from = v.size() > 1 && (v[1] == '-' || v[1] == '+') ? 2 : 1;
        if (!Digits(v, from, false)) {
            w.Msg = kMsgInvalid;
            return w;
        }
        x = v.size() > from ? std::strtoll(v.c_str() + from, nullptr, 10) : 0;
        if (from == 2 && v[1] == '-') x = -x;
        const long long lo = is32 ? -2147483648LL : -32768;
        const long long hi = is32 ? 2147483647LL : 32767;
        if (x < lo || x > hi) w.Msg = kMsgSetRange;
    }
    if (w.Msg >= 0) return w;
    w.Count = is32 ? 2 : 1;
    w.Data = is32 ? static_cast<std::uint32_t>(x) : static_cast<std::uint32_t>(x) & 0xFFFF;
    return w;
}

bool CheckForceDevice(const std::string& text, std::uint16_t& address, std::string* checked) {
    const std::string t = Normalised(text).substr(0, 10);
    if (checked) *checked = t;
    if (!(CheckXOperand(t) || CheckYOperand(t) || CheckMOperand(t) || CheckSOperand(t) ||
          CheckTOperand(t) || CheckCOperand(t)))
        return false;
    return EncodeOperand(t, 0, address);
}

bool QueueSetValue(TTransData& link, const TSetValueWrite& w) {
    if (w.Msg >= 0) return false;
    if (!w.Where.Split()) return link.QueueDeviceWrite(w.Address, w.Count, w.Data, 16);
    // Both halves or neither: a pair half written would be a value nobody set.
    if (link.RegQueue.Count() + 2 > kWriteQueueSize) {
        link.ShowMessage(kMsgWriteQueueFull, "");
        return false;
    }
    return link.QueueDeviceWrite(w.Where.Address, 1, w.Data & 0xFFFF, 16) &&
           link.QueueDeviceWrite(w.Where.High, 1, w.Data >> 16, 16);
}

}  // namespace qel::link
