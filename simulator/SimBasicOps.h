#pragma once
// The handlers of the instructions that make up most of a program: contacts,
// the logic and branch stacks, OUT and SET. They are the table's handlers for
// their rows (SimBasic.cpp) and are also inlined into the scan loop, which
// runs them without an indirect call; none of them changes the control flow.
#include <cstdint>

#include "simulator/SimEngine.h"

namespace simops {

using E = TSimEngine;
using S = TSimStep;

inline bool IsStepRelay(int bit) { return bit >= kBitS && bit < kBitS + kSimS; }
// Inputs are driven from outside only: OUT or SET of an X device (such as
// the compile-error word 0xC400, which reads as OUT X0) changes nothing.
inline bool IsInputRelay(int bit) { return bit >= kBitX && bit < kBitX + kSimX; }

// Each operation works on the flat bit index of its step's device.

// --- contacts -----------------------------------------------------------------

inline std::uint8_t Bit(const E& e, int bit) { return e.Memory().bits[bit]; }
inline void Ld(E& e, int bit) { e.Push(Bit(e, bit)); }
inline void Ldi(E& e, int bit) { e.Push(Bit(e, bit) ^ 1); }
inline void And(E& e, int bit) { e.SetTop(e.Top() & Bit(e, bit)); }
inline void Ani(E& e, int bit) { e.SetTop(e.Top() & (Bit(e, bit) ^ 1)); }
inline void Or(E& e, int bit) { e.SetTop(e.Top() | Bit(e, bit)); }
inline void Ori(E& e, int bit) { e.SetTop(e.Top() | (Bit(e, bit) ^ 1)); }

inline void Anb(E& e, int) {
    const std::uint8_t v = e.Pop();
    e.SetTop(e.Top() & v);
}
inline void Orb(E& e, int) {
    const std::uint8_t v = e.Pop();
    e.SetTop(e.Top() | v);
}
inline void Inv(E& e, int) { e.SetTop(e.Top() ^ 1); }

inline void Mps(E& e, int) { e.SaveBranch(); }
inline void Mrd(E& e, int) {
    std::uint8_t v;
    if (e.ReadBranch(v)) e.SetTop(v);
}
inline void Mpp(E& e, int) {
    std::uint8_t v;
    if (e.PopBranch(v)) e.SetTop(v);
}

// --- coils ----------------------------------------------------------------------

inline void Out(E& e, int bit) {
    if (IsInputRelay(bit)) return;
    const bool on = e.Cond();
    if (e.InStepBlock() && IsStepRelay(bit)) {
        // OUT of a step inside a block is a transfer, not a coil.
        if (on) e.TransferStep(bit);
        return;
    }
    if (bit < kBitT || (bit >= kBitM && bit < kBitC))
        e.Memory().bits[bit] = on;  // plain relays
    else
        SetSimBitAt(e.Memory(), bit, on);  // timer and counter contacts drop their values
}

inline void Set(E& e, int bit) {
    if (!e.Cond() || IsInputRelay(bit)) return;
    if (e.InStepBlock() && IsStepRelay(bit))
        e.TransferStep(bit);
    else
        SetSimBitAt(e.Memory(), bit, true);
}

// Every operation above with the handler the instruction table gets for it.
#define QEL_SIM_INLINE_HANDLERS(X)                                                                   \
    X(HLd, Ld) X(HLdi, Ldi) X(HAnd, And) X(HAni, Ani) X(HOr, Or) X(HOri, Ori) X(HAnb, Anb) X(HOrb, Orb) \
    X(HInv, Inv) X(HMps, Mps) X(HMrd, Mrd) X(HMpp, Mpp) X(HOut, Out) X(HSet, Set)

#define QEL_SIM_HANDLER(h, op) \
    inline void h(E& e, const S& s) { op(e, s.bit); }
QEL_SIM_INLINE_HANDLERS(QEL_SIM_HANDLER)
#undef QEL_SIM_HANDLER

}  // namespace simops
