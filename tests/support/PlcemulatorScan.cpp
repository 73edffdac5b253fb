// The emulator's program scan: enough of a PLC to watch a program run while
// it is monitored and forced. Contacts read the coil bits at their basic
// address (the low 12 bits of the instruction word), coils write them.
#include <vector>

#include "tests/support/Plcemulator.h"

namespace qel::test {

void PlcEmulator::ScanProgram() {
    ++S.scans;
    bool acc = false;
    std::vector<bool> stack;  // blocks (LD inside a rung) and MPS branches
    std::vector<bool> mps;
    auto bit = [this](std::uint16_t w) { return S.coils[w & 0x0FFF] != 0; };
    for (std::size_t off = 0; off + 1 < S.program.size(); off += 2) {
        const std::uint16_t w = static_cast<std::uint16_t>(S.program[off] | S.program[off + 1] << 8);
        switch (w >> 12) {
        case 0x2: stack.push_back(acc); acc = bit(w); continue;   // LD
        case 0x3: stack.push_back(acc); acc = !bit(w); continue;  // LDI
        case 0x4: acc = acc && bit(w); continue;                  // AND
        case 0x5: acc = acc && !bit(w); continue;                 // ANI
        case 0x6: acc = acc || bit(w); continue;                  // OR
        case 0x7: acc = acc || !bit(w); continue;                 // ORI
        case 0xC: S.coils[w & 0x0FFF] = acc; continue;            // OUT
        case 0xD: if (acc) S.coils[w & 0x0FFF] = 1; continue;     // SET
        default: break;
        }
        auto pop = [&stack] {
            const bool v = !stack.empty() && stack.back();
            if (!stack.empty()) stack.pop_back();
            return v;
        };
        switch (w) {
        case 0xFFF8: acc = pop() && acc; break;  // ANB
        case 0xFFF9: acc = pop() || acc; break;  // ORB
        case 0xFFFA: mps.push_back(acc); break;  // MPS
        case 0xFFFB: acc = !mps.empty() && mps.back(); break;  // MRD
        case 0xFFFC:                                           // MPP
            acc = !mps.empty() && mps.back();
            if (!mps.empty()) mps.pop_back();
            break;
        case 0xFFFD: acc = !acc; break;  // INV
        case 0xFFFF: break;              // NOP
        default: return;                 // END, or an instruction the emulator does not run
        }
    }
}

}  // namespace qel::test
