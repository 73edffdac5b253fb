#pragma once
// Instruction emission: walks the circuit tree of a network (Elecirgraph.h) and
// lists its instructions in program order: loads and series contacts, OR forms
// for single-contact parallel paths, ORB and ANB for composite paths, MPS, MRD
// and MPP around output branches, STL, compares, coils and boxes.
#include <cstdint>
#include <string>
#include <vector>

#include "ladder/model/Elecirgraph.h"

// Instruction node classes.
namespace InstNodeClass {
constexpr std::uint8_t Device = 0;     // contact, coil, STL, INV
constexpr std::uint8_t Compare = 1;    // compare contact; two operand nodes follow
constexpr std::uint8_t Applied = 2;    // box; its operand nodes follow
constexpr std::uint8_t Operand = 3;    // one operand of the node before
constexpr std::uint8_t Bare = 4;       // labels, ANB, ORB, MPS, MRD, MPP
}  // namespace InstNodeClass

// One instruction (or operand) in program order.
struct TInstNode {
    std::uint8_t cls = InstNodeClass::Bare;
    std::string mnemonic;
    const TLadElement* elem = nullptr;  // the element it comes from; null for Bare nodes
    const TLadOperand* op = nullptr;    // for Operand nodes
    std::int32_t row = 0;               // wide row of the element
    std::int32_t col = -1;              // its cell index; -1 without element
};

// Appends the instructions of the network's tree to `nodes`. False with `err`
// set (position of the offending element) when the layout has no instruction
// form: an STL after another contact or inside a branch, a lone INV or step
// contact as a parallel path, a box without its operands.
bool EmitCircuit(const TCircuitPath& top, std::vector<TInstNode>& nodes, TLayoutError& err);
