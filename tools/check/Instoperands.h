#pragma once
// The devices an instruction names, read from its machine code: the device of
// a basic word, the timer or counter word of TMR, CNT and DCNT, and every
// operand record of the others (index-modified ones included).
#include <cstdint>
#include <functional>

#include "core/Codetranslate.h"

/// Calls `fn` with each operand of the instruction at `offset` that decodes
/// to a device or constant. Returns the instruction's table row, or -1 when
/// the offset lies outside the code.
int ForEachInstructionOperand(const std::uint8_t* code, std::uint32_t capacity, std::uint32_t offset,
                              const std::function<void(const TDeviceRecord&)>& fn);
