#pragma once
// A full program image for round trips and benchmarks: mixed rungs (series,
// parallel, blocks, a stack, boxes, a timer, compares, an edge contact)
// repeated until the image is full, then END, the rest 0xFF.
#include <cstdint>
#include <vector>

namespace qel::test {

/// The image, `capacity` bytes; the current model family's assembler is used.
std::vector<std::uint8_t> MixedFullProgram(std::uint32_t capacity);

}  // namespace qel::test
