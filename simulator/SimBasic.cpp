// Handlers of the basic instructions: contacts and the logic stack, the branch
// stack, coils, timers and counters, step blocks and program flow; and the
// table that gives every instruction row its handler.
#include <algorithm>

#include "simulator/SimBasicOps.h"
#include "simulator/SimEngine.h"

using namespace simops;

namespace {

// The long forms name M1536 and above through an operand record.
std::uint8_t OperandBit(const E& e, const S& s) {
    return s.slotCount ? static_cast<std::uint8_t>(e.ReadOperand(s, 0) & 1) : 0;
}
void HLongLd(E& e, const S& s) { e.Push(OperandBit(e, s)); }
void HLongLdi(E& e, const S& s) { e.Push(OperandBit(e, s) ^ 1); }
void HLongAnd(E& e, const S& s) { e.SetTop(e.Top() & OperandBit(e, s)); }
void HLongAni(E& e, const S& s) { e.SetTop(e.Top() & (OperandBit(e, s) ^ 1)); }
void HLongOr(E& e, const S& s) { e.SetTop(e.Top() | OperandBit(e, s)); }
void HLongOri(E& e, const S& s) { e.SetTop(e.Top() | (OperandBit(e, s) ^ 1)); }

// Edge contacts: the device's change since this contact last ran.
std::uint8_t Rising(E& e, const S& s) { return e.RisingEdge(s, OperandBit(e, s)) ? 1 : 0; }
std::uint8_t Falling(E& e, const S& s) { return e.FallingEdge(s, OperandBit(e, s)) ? 1 : 0; }
void HLdp(E& e, const S& s) { e.Push(Rising(e, s)); }
void HLdf(E& e, const S& s) { e.Push(Falling(e, s)); }
void HAndp(E& e, const S& s) { e.SetTop(e.Top() & Rising(e, s)); }
void HAndf(E& e, const S& s) { e.SetTop(e.Top() & Falling(e, s)); }
void HOrp(E& e, const S& s) { e.SetTop(e.Top() | Rising(e, s)); }
void HOrf(E& e, const S& s) { e.SetTop(e.Top() | Falling(e, s)); }

// Compare contacts: = > < <> <= >= in the order of the table's groups.
void HCompare(E& e, const S& s) {
    if (s.slotCount < 2) return;
    const std::int64_t a = e.ReadOperand(s, 0), b = e.ReadOperand(s, 1);
    bool r = false;
    switch (CompareCodeOfIndex(s.index) / 2) {
        case 0: r = a == b; break;
        case 1: r = a > b; break;
        case 2: r = a < b; break;
        case 3: r = a != b; break;
        case 4: r = a <= b; break;
        case 5: r = a >= b; break;
        default: break;
    }
    const std::uint8_t v = r ? 1 : 0;
    switch (CompareGroupOfIndex(s.index)) {
        case 0: e.Push(v); break;
        case 1: e.SetTop(e.Top() & v); break;
        case 2: e.SetTop(e.Top() | v); break;
        default: break;
    }
}

// --- coils ----------------------------------------------------------------------

void HLongOut(E& e, const S& s) {
    if (s.slotCount) e.WriteOperand(s, 0, e.Cond() ? 1 : 0);
}
void HLongSet(E& e, const S& s) {
    if (s.slotCount && e.Cond()) e.WriteOperand(s, 0, 1);
}

void HRst(E& e, const S& s) {
    if (!s.slotCount || !e.Cond()) return;
    TSimMemory& mem = e.Memory();
    const TSimSlot& slot = e.Slot(s, 0);
    // Bit devices through SetSimBitAt clear a timer's or counter's value too;
    // a word device is cleared, and a timer or counter value with its contact.
    e.WriteOperand(s, 0, 0);
    const std::int64_t n = SimSlotElement(mem, slot);
    if (slot.array == TSimArray::TPV && n >= 0 && n < kSimT)
        mem.T()[n] = 0;
    else if (slot.array == TSimArray::CPV && n >= 0 && n < kSimC16)
        mem.C()[n] = 0;
    else if (slot.array == TSimArray::CPV32 && n >= 0 && n < kSimC32)
        mem.C()[kSimC16 + n] = 0;
}

void HPls(E& e, const S& s) {
    if (s.slotCount) e.WriteOperand(s, 0, e.RisingEdge(s, e.Cond()) ? 1 : 0);
}
void HPlf(E& e, const S& s) {
    if (s.slotCount) e.WriteOperand(s, 0, e.FallingEdge(s, e.Cond()) ? 1 : 0);
}

// --- timers and counters --------------------------------------------------------

void HTmr(E& e, const S& s) {
    TSimMemory& mem = e.Memory();
    const int n = static_cast<int>(s.target);  // 0-255 by construction
    // A timer past the model's last T (a program read from a file or a PLC)
    // is no timer: it neither runs nor closes.
    if (!SimBitOfFamily(mem, kBitT + n)) return;
    const std::int64_t sv = s.slotCount ? e.ReadOperand(s, 0) : 0;
    mem.TSV[n] = static_cast<std::uint16_t>(sv);
    if (e.Cond()) {
        mem.TEnable[n] = 1;
        return;
    }
    mem.TEnable[n] = 0;
    if (n <= 245) {  // T246-T255 are retentive: only RST clears them
        mem.T()[n] = 0;
        mem.TPV[n] = 0;
    }
}

// Counts rising edges of the rung up to the set value; C0-C199 are 16-bit,
// C200-C255 32-bit.
void Count(E& e, int n, std::int64_t sv) {
    TSimMemory& mem = e.Memory();
    const bool on = e.Cond();
    std::int64_t pv;
    if (n < kSimC16) {
        mem.CSV[n] = static_cast<std::uint16_t>(sv);
        sv = static_cast<std::int16_t>(mem.CSV[n]);
        pv = static_cast<std::int16_t>(mem.CPV[n]);
    } else {
        mem.CSV32[n - kSimC16] = static_cast<std::int32_t>(sv);
        sv = mem.CSV32[n - kSimC16];
        pv = mem.CPV32[n - kSimC16];
    }
    if (mem.CLatch[n]) {
        if (!on) mem.CLatch[n] = 0;
        return;
    }
    if (!on) return;
    mem.CLatch[n] = 1;
    if (pv < sv) ++pv;
    if (pv >= sv) mem.C()[n] = 1;
    if (n < kSimC16)
        mem.CPV[n] = static_cast<std::uint16_t>(pv);
    else
        mem.CPV32[n - kSimC16] = static_cast<std::int32_t>(pv);
}

void HCnt(E& e, const S& s) { Count(e, static_cast<int>(s.target), s.slotCount ? e.ReadOperand(s, 0) : 0); }

// --- step blocks and program flow ------------------------------------------------

void HStl(E& e, const S& s) { e.OpenStep(s); }
void HRet(E& e, const S&) { e.CloseStepBlock(); }
void HEnd(E& e, const S&) { e.EndScan(); }
void HNop(E& e, const S& s) { e.JumpTo(s.target); }
void HNoEffect(E&, const S&) {}

bool Fires(E& e, const S& s) {
    const bool on = e.Cond();
    return (gInstFlags[s.index] & kInstPulse) ? e.RisingEdge(s, on) : on;
}

void HCj(E& e, const S& s) {
    if (Fires(e, s) && (s.flags & kStepHasTarget)) e.JumpTo(s.target);
}

void HCall(E& e, const S& s) {
    if (Fires(e, s) && (s.flags & kStepHasTarget) && e.PushCall(e.StepIndexOf(s) + 1)) e.JumpTo(s.target);
}

void HSret(E& e, const S&) {
    std::uint32_t back;
    if (e.PopCall(back))
        e.JumpTo(back);
    else
        e.EndScan();
}

// Applied instructions act while their rung is ON, pulse rows on its rising edge.
void HApplied(E& e, const S& s) {
    if (Fires(e, s) && s.body) s.body(e, s);
}

constexpr TSimHandler PickHandler(int i) {
    if (i >= kInstEdgeFirst && i <= kInstEdgeLast) {
        constexpr TSimHandler edge[] = {HLdp, HLdf, HAndp, HAndf, HOrp, HOrf};
        return edge[i - kInstEdgeFirst];
    }
    if (i >= kInstCompareFirst && i <= kInstCompareLast) return HCompare;
    switch (i) {
        case inst::LD: return HLd;
        case inst::LDI: return HLdi;
        case inst::AND: return HAnd;
        case inst::ANI: return HAni;
        case inst::OR: return HOr;
        case inst::ORI: return HOri;
        case inst::OUT: return HOut;
        case inst::SET: return HSet;
        case inst::STL: return HStl;
        case inst::ANB: return HAnb;
        case inst::ORB: return HOrb;
        case inst::MPS: return HMps;
        case inst::MRD: return HMrd;
        case inst::MPP: return HMpp;
        case inst::INV: return HInv;
        case inst::NOP: return HNop;
        case inst::RET: return HRet;
        case inst::END: return HEnd;
        case inst::FEND: return HEnd;  // the main program ends; subroutines follow
        case inst::RST: return HRst;
        case inst::TMR: return HTmr;
        case inst::CNT:
        case inst::DCNT: return HCnt;
        case inst::CJ:
        case inst::CJP: return HCj;
        case inst::CALL:
        case inst::CALLP: return HCall;
        case inst::SRET: return HSret;
        case inst::PLS: return HPls;
        case inst::PLF: return HPlf;
        case inst::LONG_LD: return HLongLd;
        case inst::LONG_LDI: return HLongLdi;
        case inst::LONG_AND: return HLongAnd;
        case inst::LONG_ANI: return HLongAni;
        case inst::LONG_OR: return HLongOr;
        case inst::LONG_ORI: return HLongOri;
        case inst::LONG_OUT: return HLongOut;
        case inst::LONG_SET: return HLongSet;
        // Labels, interrupts (not simulated), master control, loops, the
        // watchdog, user functions and the error row change nothing.
        case inst::PLABEL:
        case inst::ILABEL:
        case inst::MC:
        case inst::MCR:
        case inst::IRET:
        case inst::EI:
        case inst::DI:
        case inst::FOR:
        case inst::NEXT:
        case inst::WDT:
        case inst::WDTP:
        case inst::FUN1:
        case inst::DFUN1:
        case inst::FUN2:
        case inst::DFUN2:
        case inst::ERROR: return HNoEffect;
        default: break;
    }
    // Every other row is an applied instruction (CMP onwards).
    return HApplied;
}

constexpr std::array<TSimHandler, kInstCount> BuildSimHandlers() {
    std::array<TSimHandler, kInstCount> t{};
    for (int i = 0; i < kInstCount; ++i) t[static_cast<std::size_t>(i)] = PickHandler(i);
    return t;
}

}  // namespace

constinit const std::array<TSimHandler, kInstCount> gSimHandlers = BuildSimHandlers();
