#include "ladder/model/Test.h"

#include <initializer_list>
#include <vector>

#include "core/InstructionTable.h"
#include "ladder/model/Laddercompile.h"

std::uint16_t gSyntaxError = 0;

namespace {

using namespace InsnClass;

// Nonterminal symbols of the reduction stack (byte values outside the classes).
constexpr std::uint8_t kLd = 0x21, kBlk = 0x22, kSer = 0x23, kStep = 0x24, kStepOut = 0x25;
constexpr std::uint8_t kMps = 0x30, kMrd = 0x31, kMpp = 0x32, kMcTail = 0x33;
constexpr std::uint8_t kProgram = 0x40, kA = 0x41, kB = 0x42, kC = 0x43, kD = 0x44, kE = 0x45;
constexpr std::uint8_t kF = 0x46, kG = 0x47, kH = 0x48, kQ = 0x51;
constexpr std::uint8_t kP = Output;  // 0x50: the output class, also a reduction result

// A set of up to six symbols; an empty set in n1 means the rule needs no
// following entry, in n2 that it needs only one.
struct TSymSet {
    std::uint8_t s[6] = {};
    std::uint8_t n = 0;
    constexpr TSymSet() = default;
    constexpr TSymSet(std::initializer_list<std::uint8_t> l) {
        for (std::uint8_t v : l) s[n++] = v;
    }
    constexpr bool Has(std::uint8_t v) const {
        for (std::uint8_t i = 0; i < n; ++i)
            if (s[i] == v) return true;
        return false;
    }
};

// One reduction: S followed by a symbol of n1 (and then one of n2) becomes result.
struct TRule {
    std::uint8_t s;
    TSymSet n1, n2;
    std::uint8_t result;
};

// The grammar. For each S the first matching rule wins, so the order matters.
const TRule kRules[] = {
    {Load, {}, {}, kLd},
    {Series, {Series}, {}, Series},
    {Series, {kSer}, {}, kSer},
    {Series, {Mc}, {}, Mc},
    {Series, {kMcTail}, {}, kMcTail},
    {Series, {kP, kQ}, {}, kF},
    {ILabel, {Iret}, {}, kB},
    {ILabel, {kA, kE}, {Iret}, kB},
    {PLabel, {Next}, {}, Next},
    {PLabel, {kA}, {}, kG},
    {PLabel, {kE}, {}, kH},
    {PLabel, {End}, {}, End},
    {PLabel, {Fend}, {}, Fend},
    {PLabel, {Sret}, {}, Sret},
    {PLabel, {Iret}, {}, Iret},
    {Mps, {kE, kF, kP, kQ}, {}, kMps},
    {Mrd, {kE, kF, kP, kQ}, {}, kMrd},
    {Mpp, {Mc, kMcTail}, {}, kMcTail},
    {Mpp, {kE, kF, kP, kQ}, {}, kMpp},
    {Ei, {}, {}, kA},
    {Di, {}, {}, kA},
    {Mcr, {}, {}, kA},
    {For, {Next}, {}, kA},
    {For, {kA, kE, kG, kH}, {Next}, kA},
    {Stl, {Stl}, {}, Stl},
    {Stl, {kE}, {}, kStepOut},
    {Stl, {Ei, Di, kP}, {}, kStep},
    {kLd, {Series, Parallel}, {}, kLd},
    {kLd, {Anb}, {}, kSer},
    {kLd, {Mc, kMcTail}, {}, kA},
    {kLd, {kP, kQ}, {}, kE},
    {kLd, {kLd, kBlk}, {Anb, Orb}, kBlk},
    {kBlk, {Series, Parallel}, {}, kBlk},
    {kBlk, {Anb}, {}, kSer},
    {kBlk, {Mc, kMcTail}, {}, kA},
    {kBlk, {kP, kQ}, {}, kE},
    {kBlk, {kLd, kBlk}, {Anb, Orb}, kBlk},
    {kSer, {kSer, Series}, {}, kSer},
    {kSer, {Mc}, {}, Mc},
    {kSer, {kMcTail}, {}, kMcTail},
    {kSer, {kP, kQ}, {}, kF},
    {kStep, {kE, kStepOut}, {}, kStepOut},
    {kStep, {kP, Ei, Di, kStep}, {}, kStep},
    {kStep, {Ret}, {}, kD},
    {kStepOut, {kE, kF, kP, kQ, kStepOut}, {}, kStepOut},
    {kStepOut, {Ret}, {}, kD},
    {kStepOut, {kStep}, {}, kStep},
    {kMps, {kE, kF, kP, kQ}, {}, kMps},
    {kMps, {kMcTail}, {}, kMcTail},
    {kMps, {kMrd}, {kMpp}, kQ},
    {kMps, {kMrd}, {kMcTail}, kMcTail},
    {kMps, {kMpp}, {}, kQ},
    {kMrd, {kMrd, kE, kF, kP, kQ}, {}, kMrd},
    {kMpp, {kE, kF, kP, kQ}, {}, kMpp},
    {kMpp, {Mc, kMcTail}, {}, kMcTail},
    {kProgram, {End}, {}, kProgram},
    {kA, {kE, kH}, {}, kE},
    {kA, {kG, kA}, {}, kA},
    {kA, {kD}, {}, kD},
    {kA, {Fend}, {}, kC},
    {kA, {End}, {}, kProgram},
    {kD, {kE, kH}, {}, kE},
    {kD, {kG, kA}, {}, kA},
    {kD, {kD}, {}, kD},
    {kD, {Fend}, {}, kC},
    {kD, {End}, {}, kProgram},
    {kC, {End}, {}, kProgram},
    {kC, {kB, kC}, {}, kC},
    {kE, {kE, kF, kH, kP, kQ}, {}, kE},
    {kE, {kG, kA, Mc, kMcTail}, {}, kA},
    {kE, {kD}, {}, kD},
    {kE, {Fend}, {}, kC},
    {kE, {End}, {}, kProgram},
    {kF, {kF}, {}, kF},
    {kF, {kQ}, {}, kQ},
    {kG, {kE, kH}, {}, kH},
    {kG, {kG, kD, kA}, {}, kG},
    {kG, {Fend}, {}, kC},
    {kG, {Sret}, {}, kB},
    {kG, {End}, {}, kProgram},
    {kH, {kE, kF, kH, kP, kQ}, {}, kH},
    {kH, {kD, kG, kA, Mc, kMcTail}, {}, kG},
    {kH, {End}, {}, kProgram},
    {kH, {Fend}, {}, kC},
    {kH, {Sret}, {}, kB},
    {kP, {Mc}, {}, Mc},
    {kP, {kP}, {}, kP},
    {kP, {kQ}, {}, kQ},
    {kQ, {kF}, {}, kQ},
};

// The symbol stack: each entry keeps the byte offset of the first instruction
// it stands for.
struct TSymbolStack {
    std::vector<std::uint8_t> sym;
    std::vector<std::uint32_t> pos;

    void InitSymbolStack() {
        sym.clear();
        pos.clear();
        sym.reserve(16);
        pos.reserve(16);
    }
    std::uint8_t At(std::size_t i) const { return i < sym.size() ? sym[i] : 0; }
    void PushSymbol(std::uint8_t s, std::uint32_t p) {
        sym.push_back(s);
        pos.push_back(p);
    }
    // Replaces entries i.. by one entry holding `s`, keeping entry i's position.
    void TruncateSymbols(std::size_t i, std::uint8_t s) {
        sym.resize(i + 1);
        pos.resize(i + 1);
        sym[i] = s;
    }
};

const TRule* MatchRule(const TSymbolStack& st, std::size_t i, std::size_t* used) {
    const std::uint8_t s = st.sym[i];
    for (const TRule& r : kRules) {
        if (r.s != s) continue;
        if (r.n1.n == 0) {
            *used = 1;
            return &r;
        }
        if (i + 1 >= st.sym.size() || !r.n1.Has(st.At(i + 1))) continue;
        if (r.n2.n == 0) {
            *used = 2;
            return &r;
        }
        if (i + 2 >= st.sym.size() || !r.n2.Has(st.At(i + 2))) continue;
        *used = 3;
        return &r;
    }
    return nullptr;
}

// Applies the rules from the bottom up until none applies.
void ReduceSymbols(TSymbolStack& st) {
    std::size_t i = 0;
    while (i < st.sym.size()) {
        std::size_t used = 0;
        if (const TRule* r = MatchRule(st, i, &used)) {
            st.TruncateSymbols(i, r->result);
            i = 0;
        } else {
            ++i;
        }
    }
}

bool IsComplete(std::uint8_t s) {
    return s == kA || s == kC || s == kD || s == kE || s == kG || s == kH || s == kProgram;
}

std::uint16_t WordAt(const std::uint8_t* code, std::uint32_t off) {
    return static_cast<std::uint16_t>(code[off] | (code[off + 1] << 8));
}

// Byte length of the instruction whose opcode word is `word`; 0 for a word the
// instruction set does not know.
std::uint32_t InstructionBytes(std::uint16_t word) {
    const int index = OpcodeToIndex(word);
    if (index < 0 || index >= kInstError) return 0;
    return gInstLength[index];
}

// The state of the linear pass.
struct TPass {
    int mcLevel = -1;
    std::vector<std::uint32_t> mcAt;  // offsets of the open MCs, innermost last
    int openLoads = 0;
    int mpsDepth = 0;
    int forDepth = 0;
    int stlRun = 0;
    bool inStep = false;
    int section = 0;  // 0 before the first FEND, 1 after FEND, SRET or IRET
    bool constructAfterFend = false;
    bool afterReturn = false;  // the previous instruction was FEND, SRET or IRET
    std::uint16_t error = 0;

    void Fail(std::uint16_t code) {
        if (error == 0) error = code;  // the first error found in an instruction wins
    }

    // Checks one instruction of class c at offset off; the MC/MCR level check
    // needs the N number of the operand.
    void Check(std::uint8_t c, std::uint8_t n) {
        if (c == Mc) {
            ++mcLevel;
            if (n != mcLevel) Fail(SyntaxErr::McLevel);
        } else if (c == Mcr) {
            if (n != mcLevel) Fail(SyntaxErr::McrLevel);
            --mcLevel;
        }
        if (error) return;
        if (openLoads == 9) Fail(SyntaxErr::TooManyLoads);
        if (c == Load) ++openLoads;
        else if (c == Anb || c == Orb) --openLoads;
        else if (c == Output || c == Mc) openLoads = 0;

        if (c == Mps) ++mpsDepth;
        else if (c == Mpp) --mpsDepth;
        if (mpsDepth == 9) Fail(SyntaxErr::MpsTooDeep);

        if (c == For) ++forDepth;
        else if (c == Next) --forDepth;
        if (forDepth >= 1 && (c == Stl || c == Ret || c == Mc || c == Mcr || c == Iret || c == Sret ||
                              c == Fend || c == End))
            Fail(SyntaxErr::InsideFor);
        if (forDepth == 6) Fail(SyntaxErr::ForTooDeep);

        if (c == Stl) {
            ++stlRun;
            inStep = true;
        } else {
            stlRun = 0;
        }
        if (c == Ret) inStep = false;
        if (inStep) {
            if (c == Mc || c == Mcr || c == ILabel || c == PLabel) Fail(SyntaxErr::InsideStep);
            if (stlRun == 9) Fail(SyntaxErr::TooManyStl);
            if (c == For || c == Next) Fail(SyntaxErr::Incomplete);
        }

        if (section == 1 && (c == Stl || c == Ret || c == Mc || c == Mcr)) constructAfterFend = true;
        if (constructAfterFend && (c == Sret || c == Iret)) Fail(SyntaxErr::StepBeforeReturn);
        if (c == Fend) constructAfterFend = false;

        if ((c == Sret || c == Iret || c == ILabel) && mcLevel >= 0) Fail(SyntaxErr::ReturnInMc);
        if (c == ILabel && section == 0) Fail(SyntaxErr::LabelPlace);
        if (afterReturn) {
            if (c != ILabel && c != PLabel && c != End) Fail(SyntaxErr::LabelPlace);
            afterReturn = false;
        } else if (c == ILabel) {
            Fail(SyntaxErr::LabelPlace);
        }
        if (c == Fend || c == Sret || c == Iret) afterReturn = true;
        if ((c == Sret || c == Iret) && section == 0) Fail(SyntaxErr::ReturnBeforeFend);
        if (c == Sret || c == Iret || c == Fend) section = 1;
    }
};

}  // namespace

std::uint8_t ClassifyInstruction(std::uint16_t w) {
    // Output ranges first, then WDT/WDTP and the long OUT/SET, then the rest.
    const bool compare = w >= 0x01D0 && w <= 0x01FF;
    const bool high02 = (w >> 8) == 0x02;
    if (((w >= 0x0001 && w <= 0x0013) || (w >= 0x0024 && w <= 0x0100) || (w >= 0x0107 && w <= 0x1FFF)) &&
        w != 0x000F && w != 0x000A && w != 0x000B && w != 0x000E && !compare && !high02)
        return Output;
    if ((w >= 0xC000 && w <= 0xCFFF && w != 0xC400) || (w >= 0xD000 && w <= 0xDFFF)) return Output;
    if (w == 0x001E || w == 0x101E || w == 0x020C || w == 0x020D) return Output;
    if (w == 0xFFFF) return Skip;
    if ((w >= 0x2000 && w <= 0x3FFF) || w == 0x0101 || w == 0x0102 || (w >= 0x01D0 && w <= 0x01DD) ||
        w == 0x0202 || w == 0x0203)
        return Load;
    if ((w >= 0x4000 && w <= 0x5FFF) || w == 0x0103 || w == 0x0104 || w == 0xFFFD ||
        (w >= 0x01E0 && w <= 0x01ED) || w == 0x0204 || w == 0x0205)
        return Series;
    if ((w >= 0x6000 && w <= 0x7FFF) || w == 0x0105 || w == 0x0106 || (w >= 0x01F0 && w <= 0x01FD) ||
        w == 0x0206 || w == 0x0207)
        return Parallel;
    if (w >= 0xB800 && w <= 0xBFFF) return ILabel;
    if (w >= 0xB000 && w <= 0xB0FF) return PLabel;
    switch (w) {
        case 0xFFF8: return Anb;
        case 0xFFF9: return Orb;
        case 0xFFFA: return Mps;
        case 0xFFFB: return Mrd;
        case 0xFFFC: return Mpp;
        case 0x001C: return Fend;
        case 0x0014: return Sret;
        case 0x0016: return Iret;
        case 0x0018: return Ei;
        case 0x001A: return Di;
        case 0x000F: return End;
        case 0x000A: return Mc;
        case 0x000B: return Mcr;
        case 0x000E: return Ret;
        case 0x0020: return For;
        case 0x0022: return Next;
        default: break;
    }
    if (w >= 0xA000 && w <= 0xA3FF) return Stl;
    return Invalid;
}

std::int32_t CheckProgramSyntax(const std::uint8_t* code, std::uint32_t length, std::int32_t errSteps[2]) {
    // A check starts a new verdict on the code: the compile's line-rejection
    // flag of an earlier compile no longer applies to it.
    gCompileResult = 0;
    length &= ~1u;  // whole words only
    TPass pass;
    TSymbolStack st;
    st.InitSymbolStack();
    std::uint32_t off = 0;
    std::uint32_t errorAt = 0;
    bool linearError = false;

    while (off < length) {
        const std::uint16_t w = WordAt(code, off);
        std::uint8_t c = ClassifyInstruction(w);
        if (c == Skip) {
            off += 2;
            continue;
        }
        const std::uint32_t bytes = c == Invalid ? 0 : InstructionBytes(w);
        // A word the instruction set does not know, or an instruction cut off
        // by the end of the code, is no instruction.
        if (bytes == 0 || off + bytes > length) {
            pass.Fail(SyntaxErr::InvalidWord);
        } else {
            const std::uint8_t n = (c == Mc || c == Mcr) ? code[off + 2] : 0;
            pass.Check(c, n);
            if (c == Mc && !pass.error) pass.mcAt.push_back(off);
            if (c == Mcr && !pass.error && !pass.mcAt.empty()) pass.mcAt.pop_back();
        }
        if (pass.error) {
            errorAt = off;
            linearError = true;
            break;
        }
        if (st.At(0) != kProgram) {
            st.PushSymbol(c, off);
            ReduceSymbols(st);
        }
        off += bytes;
        if (st.At(0) == kProgram) break;  // code after the END that completed the program is not examined
    }

    if (!linearError) {
        st.PushSymbol(End, off);
        ReduceSymbols(st);
        const std::uint8_t bottom = st.At(0);
        if (pass.mcLevel >= 0) {
            pass.Fail(SyntaxErr::McrLevel);
            errorAt = pass.mcAt.empty() ? off : pass.mcAt.back();
        } else if (bottom != kProgram && bottom != End) {
            pass.Fail(SyntaxErr::Incomplete);
            // The first entry that is no complete part of a program marks the
            // fault; failing that, the last entry before the final END.
            errorAt = off;
            std::uint32_t last = off;
            std::size_t k = 0;
            while (k < st.sym.size() && IsComplete(st.sym[k])) ++k;
            if (k < st.sym.size()) {
                errorAt = st.pos[k];
                last = k + 1 < st.sym.size() ? st.pos[k + 1] : errorAt;
            } else if (st.sym.size() > 2) {
                errorAt = last = st.pos[st.sym.size() - 2];
            }
            gSyntaxError = pass.error;
            errSteps[0] = OffsetToStep(errorAt);
            errSteps[1] = OffsetToStep(last);
            return errSteps[0];
        }
    }

    gSyntaxError = pass.error;
    if (pass.error == 0) return OffsetToStep(off);
    errSteps[0] = errSteps[1] = OffsetToStep(errorAt);
    return errSteps[0];
}
