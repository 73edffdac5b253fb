#include "link/engine/Modbusframe.h"

namespace qel::link {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case is refused: the PLC always answers in upper case
}
}  // namespace

std::uint8_t Lrc(const std::uint8_t* bytes, std::size_t n) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(-sum & 0xFF);
}

void ByteToHexPair(std::uint8_t b, std::string& out) {
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 0x0F]);
}

bool HexPairToByte(char hi, char lo, std::uint8_t& out) {
    const int h = HexValue(hi), l = HexValue(lo);
    if (h < 0 || l < 0) return false;
    out = static_cast<std::uint8_t>(h << 4 | l);
    return true;
}

std::string EncodeFrame(const std::uint8_t* bytes, std::size_t n) {
    std::string f;
    f.reserve(2 * n + 5);
    f.push_back(':');
    for (std::size_t i = 0; i < n; ++i) ByteToHexPair(bytes[i], f);
    ByteToHexPair(Lrc(bytes, n), f);
    f += "\r\n";
    return f;
}

bool DecodeReply(std::string_view frame, DecodedReply& r) {
    const std::size_t end = frame.size() - 2;  // the CR
    r.len = 0;
    if (!HexPairToByte(frame[1], frame[2], r.station)) return false;
    unsigned sum = r.station;
    std::uint8_t b = 0;
    for (std::size_t i = 3; i + 1 < end; i += 2) {
        if (!HexPairToByte(frame[i], frame[i + 1], b)) {
            r.len = 0;
            return false;
        }
        r.data[r.len++] = b;
        sum += b;
    }
    if ((sum & 0xFF) != 0) {
        r.len = 0;
        return false;
    }
    return true;
}

DecodedReply CheckReply(std::string_view frame) {
    DecodedReply r;
    const std::size_t n = frame.size();
    if (n < 5 || n > kRxMax || frame[0] != ':' || frame[n - 2] != '\r' || frame[n - 1] != '\n')
        return r;
    const std::size_t digits = n - 3;
    // Station, function and LRC at least, in whole pairs.
    if (digits % 2 != 0 || digits < 6) return r;
    if (!DecodeReply(frame, r)) return r;
    r.kind = (r.data[0] & 0x80) ? kExceptionReply : kNormalReply;
    return r;
}

}  // namespace qel::link
