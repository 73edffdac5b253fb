// The table from instruction row to the body of an applied instruction.
//
// Rows that appear in no family list have no body: the motion and
// communication instructions (positioning, pulse output, high-speed counters,
// inverter and network links, special modules), the floating-point and
// matrix instructions, and the keyboard and display drivers, which a PC
// cannot act out. The engine passes them by their length.
#include <array>

#include "core/InstructionTable.h"
#include "simulator/SimApplied.h"

namespace {

std::array<TSimHandler, kInstCount> BuildBodyTable() {
    std::array<TSimHandler, kInstCount> table{};
    for (auto family : {SimMoveBodies(), SimArithmeticBodies(), SimCompareBodies(), SimShiftBodies(),
                        SimTableBodies(), SimConversionBodies(), SimTimeBodies()}) {
        for (const TSimBodyRow& r : family)
            if (r.row >= 0 && r.row < kInstCount) table[static_cast<std::size_t>(r.row)] = r.body;
    }
    // A pulse row (the plain row's opcode + 0x1000) runs its plain row's body.
    for (int i = inst::CMP; i < kInstCount; ++i) {
        if (!(gInstFlags[i] & kInstPulse) || table[static_cast<std::size_t>(i)]) continue;
        const int plain = OpcodeToIndex(static_cast<std::uint16_t>(gInstOpcode[i] - 0x1000));
        if (plain >= 0 && plain < kInstCount && plain != kInstError)
            table[static_cast<std::size_t>(i)] = table[static_cast<std::size_t>(plain)];
    }
    return table;
}

}  // namespace

TSimHandler SimAppliedBody(int index) {
    static const std::array<TSimHandler, kInstCount> table = BuildBodyTable();
    if (index < inst::CMP || index >= kInstCount) return nullptr;
    return table[static_cast<std::size_t>(index)];
}
