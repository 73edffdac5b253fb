#pragma once
// Modbus ASCII frames as the link writes and reads them: ":" + upper-case hex
// pairs of station, function, fields, payload and LRC + CR LF.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qel::link {

// Largest reply the link accepts, in characters. A standard Modbus ASCII frame
// is at most 513 characters; anything longer is noise and is refused as a bad
// frame instead of overrunning the receive buffer.
inline constexpr std::size_t kRxMax = 520;
// Largest decoded reply or request payload in bytes.
inline constexpr std::size_t kCommDataMax = kRxMax / 2;

// Reply kinds of the reply check.
enum ReplyKind : std::uint8_t { kBadFrame = 0, kNormalReply = 1, kExceptionReply = 2 };

// The byte that makes the sum of all frame bytes, LRC included, 0 modulo 256.
std::uint8_t Lrc(const std::uint8_t* bytes, std::size_t n);

// Appends the two upper-case hex digits of b, high nibble first.
void ByteToHexPair(std::uint8_t b, std::string& out);

// Decodes two hex digits; false when either is not "0"-"9" or "A"-"F".
bool HexPairToByte(char hi, char lo, std::uint8_t& out);

// Encodes a complete frame: ":" + hex(bytes) + hex(LRC) + CR LF, where bytes
// starts with the station address.
std::string EncodeFrame(const std::uint8_t* bytes, std::size_t n);

// Result of decoding a received frame.
struct DecodedReply {
    ReplyKind kind = kBadFrame;
    std::uint8_t station = 0;
    // Bytes after the station: function code first, LRC last.
    std::uint8_t data[kCommDataMax] = {};
    std::size_t len = 0;
};

// Decodes the hex pairs between ":" and CR LF into r (station, then the
// bytes from the function code to the LRC). False, with r.len 0, when a
// character is not an upper-case hex digit or the bytes do not sum to 0.
// The frame has passed CheckReply's framing checks (":" ... CR LF, at most
// kRxMax characters).
bool DecodeReply(std::string_view frame, DecodedReply& r);

// Checks and decodes a received frame. The frame must begin with ":", end
// with CR LF, hold only upper-case hex pairs in between, fit kRxMax, carry
// station + function + LRC at least, and sum to 0. Bit 7 of the function code
// marks an exception reply.
DecodedReply CheckReply(std::string_view frame);

}  // namespace qel::link
