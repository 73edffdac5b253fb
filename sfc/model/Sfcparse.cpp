#include "sfc/model/Sfcparse.h"

#include "core/InstructionTable.h"
#include "sfc/model/Sfcchart.h"
#include "core/ProgramImage.h"
#include "ladder/model/LadderConvert.h"

namespace {

constexpr std::uint16_t kRetWord = 0x000E;

bool IsStlInstruction(std::uint16_t word) { return (word & 0xF000) == 0xA000; }

// Loads start a network: LD, LDI, LDP, LDF, the LD compares and long LD/LDI.
bool IsLoad(int index) {
    return index == inst::LD || index == inst::LDI || index == inst::LDP || index == inst::LDF ||
           index == inst::LONG_LD || index == inst::LONG_LDI || CompareGroupOfIndex(index) == 0;
}

// Instructions that change the condition of what follows them in a network:
// contacts, compares, block and stack operations, INV.
bool ChangesCondition(int index) {
    if (index <= inst::ORI) return true;  // LD .. ORI
    if (index >= inst::LONG_LD && index <= inst::LONG_ORI) return true;
    if (index >= kInstEdgeFirst && index <= kInstEdgeLast) return true;
    if (CompareGroupOfIndex(index) >= 0) return true;
    return index == inst::ANB || index == inst::ORB || index == inst::MPS || index == inst::MRD ||
           index == inst::MPP || index == inst::INV;
}

// Instructions that decide what runs after them: end of the program, jumps,
// calls, returns, labels, loops, master control. A chart keeps a step's
// actions before its transitions, so such an instruction cannot move across
// a transition or a transfer without changing what the program does.
bool DirectsTheScan(int index) {
    switch (index) {
        case inst::END: case inst::FEND: case inst::CJ: case inst::CJP: case inst::CALL: case inst::CALLP:
        case inst::SRET: case inst::IRET: case inst::PLABEL: case inst::ILABEL: case inst::FOR: case inst::NEXT:
        case inst::MC: case inst::MCR:
            return true;
        default:
            return false;
    }
}

void Append(std::vector<std::uint8_t>& to, const std::uint8_t* code, std::uint32_t from, std::uint32_t end) {
    to.insert(to.end(), code + from, code + end);
}

struct TParser {
    const std::uint8_t* code;
    std::uint32_t used;
    TSfcParse out;

    bool Fail(std::uint32_t at, const char* why) {
        if (out.why.empty()) {
            out.failOffset = at;
            out.why = why;
        }
        return false;
    }

    // Length of the instruction at `pos`, 0 when it is unknown or cut.
    std::uint32_t LengthAt(std::uint32_t pos) {
        const std::uint16_t w = ReadCodeWord(code, used, pos);
        if (w == kNopWord) return 2;
        const int index = OpcodeToIndex(w);
        if (index >= kInstError) return Fail(pos, "unknown word"), 0;
        const std::uint32_t len = gInstLength[index];
        if (len < 2 || pos + len > used) return Fail(pos, "instruction cut by the end"), 0;
        return len;
    }

    bool Run();
    bool Body(TSfcBlock& b, std::uint32_t from, std::uint32_t end);
    // Adds a network to the block's actions or transitions. `directs`: it
    // holds an instruction that directs the scan.
    bool Network(TSfcBlock& b, std::uint32_t from, std::uint32_t end, bool& directs);
};

bool TParser::Run() {
    std::uint32_t pos = 0;
    while (pos < used) {
        TSfcBlock b;
        b.offset = pos;
        // The STL run.
        while (pos < used) {
            const std::uint16_t w = ReadCodeWord(code, used, pos);
            if (!IsStlInstruction(w)) break;
            if (!IsSfcStlWord(w)) return Fail(pos, "STL of no step");
            b.steps.push_back(static_cast<std::uint16_t>(w & 0x0FFF));
            pos += 2;
        }
        const std::uint32_t bodyStart = pos;
        // Up to RET (included) or the next STL.
        while (pos < used) {
            const std::uint16_t w = ReadCodeWord(code, used, pos);
            if (IsStlInstruction(w)) break;
            const std::uint32_t len = LengthAt(pos);
            if (len == 0) return false;
            pos += len;
            if (w == kRetWord) {
                b.closedByRet = true;
                break;
            }
        }
        if (b.steps.empty()) {
            b.isLad = true;
            Append(b.code, code, b.offset, pos);
        } else {
            const std::uint32_t bodyEnd = b.closedByRet ? pos - 2 : pos;
            if (!Body(b, bodyStart, bodyEnd)) return false;
            if (b.steps.size() > 1 && !b.actions.empty())
                return Fail(bodyStart, "actions in a simultaneous convergence");
        }
        out.blocks.push_back(std::move(b));
    }
    return true;
}

bool TParser::Body(TSfcBlock& b, std::uint32_t from, std::uint32_t end) {
    std::uint32_t pos = from;
    // Actions after a transition go before the transitions in the chart:
    // refused when the scan would run differently.
    bool directs = false;
    auto moves = [&](std::uint32_t at, bool directsHere) {
        return !b.transitions.empty() && (directs || directsHere) ? Fail(at, "an action would move across a jump") : true;
    };
    while (pos < end) {
        const std::uint16_t w = ReadCodeWord(code, used, pos);
        if (IsSfcTransferWord(w)) {
            // Transfers without a condition of their own.
            TSfcTransitionCode t;
            while (pos < end && IsSfcTransferWord(ReadCodeWord(code, used, pos))) {
                const std::uint16_t x = ReadCodeWord(code, used, pos);
                t.targets.push_back({static_cast<std::uint16_t>(x & 0x0FFF), (x & 0xF000) == 0xC000});
                pos += 2;
            }
            b.transitions.push_back(std::move(t));
            continue;
        }
        const std::uint32_t len = LengthAt(pos);
        if (len == 0) return false;
        if (w != kNopWord && IsLoad(OpcodeToIndex(w))) {
            gConvertCodePos = pos;
            ScanNetwork(code, end, false);
            if (gConvertAbort) return Fail(pos, "network the ladder cannot draw");
            if (gNetworkEnd <= pos || gNetworkEnd > end) return Fail(pos, "empty network");
            const std::uint32_t netEnd = gNetworkEnd;
            const std::size_t transitions = b.transitions.size();
            bool netDirects = false;
            if (!Network(b, pos, netEnd, netDirects)) return false;
            if (b.transitions.size() == transitions && !moves(pos, netDirects)) return false;
            directs = directs || netDirects;
            pos = netEnd;
            continue;
        }
        const bool here = w != kNopWord && DirectsTheScan(OpcodeToIndex(w));
        if (!moves(pos, here)) return false;
        directs = directs || here;
        Append(b.actions, code, pos, pos + len);
        pos += len;
    }
    return true;
}

bool TParser::Network(TSfcBlock& b, std::uint32_t from, std::uint32_t end, bool& directs) {
    TSfcTransitionCode t;
    bool afterTransfer = false;
    for (std::uint32_t pos = from; pos < end;) {
        const std::uint16_t w = ReadCodeWord(code, used, pos);
        const std::uint32_t len = LengthAt(pos);
        if (len == 0) return false;
        if (IsSfcTransferWord(w)) {
            t.targets.push_back({static_cast<std::uint16_t>(w & 0x0FFF), (w & 0xF000) == 0xC000});
            afterTransfer = true;
        } else {
            const int index = w == kNopWord ? inst::NOP : OpcodeToIndex(w);
            if (afterTransfer && ChangesCondition(index)) return Fail(pos, "condition after a transfer");
            // What follows a transfer goes before it in the chart.
            if (afterTransfer && DirectsTheScan(index)) return Fail(pos, "a jump after a transfer");
            directs = directs || DirectsTheScan(index);
            Append(t.cond, code, pos, pos + len);
        }
        pos += len;
    }
    if (t.targets.empty())
        Append(b.actions, code, from, end);
    else
        b.transitions.push_back(std::move(t));
    return true;
}

}  // namespace

bool IsSfcTransferWord(std::uint16_t word) {
    const std::uint16_t op = word & 0xF000;
    return (op == 0xC000 || op == 0xD000) && (word & 0x0FFF) <= kSfcMaxStep;
}

bool IsSfcStlWord(std::uint16_t word) { return (word & 0xF000) == 0xA000 && (word & 0x0FFF) <= kSfcMaxStep; }

TSfcParse ParseSfcCode(const std::uint8_t* code, std::uint32_t used) {
    TParser p{code, used, {}};
    const std::uint8_t abortBefore = gConvertAbort;
    gConvertAbort = 0;
    p.out.ok = used == 0 || (code != nullptr && p.Run());
    if (p.out.ok) gConvertAbort = abortBefore;
    if (!p.out.ok) p.out.blocks.clear();
    return std::move(p.out);
}
