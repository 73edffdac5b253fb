#pragma once
// Test fixtures in the PLC's own notation: instruction-list lines assembled by
// the instruction set's assembler into machine code.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qel::test {

// Machine code of the lines, in order; a line the assembler refuses fails the
// calling test (ADD_FAILURE) and contributes nothing.
std::vector<std::uint8_t> AssembleLines(const std::vector<std::string>& lines);
inline std::vector<std::uint8_t> Il(std::initializer_list<std::string_view> lines) {
    return AssembleLines(std::vector<std::string>(lines.begin(), lines.end()));
}

// Appends raw 16-bit words (little-endian) to a code buffer.
void AppendWords(std::vector<std::uint8_t>& code, std::initializer_list<std::uint16_t> words);

// The instruction-list text of a code buffer, one instruction a line, for
// readable failure output.
std::string ListingOf(const std::vector<std::uint8_t>& code);

}  // namespace qel::test
