// Sample operands per operand kind, chosen to lie inside every family's limits unless
// added for a family; indexed forms for slots that take an index register.
#include "tests/core/RowLines.h"

#include <algorithm>
#include <cctype>

#include "core/Codetranslate.h"
#include "core/InstructionTable.h"

namespace {

struct KindSamples {
    uint32_t kind;
    std::vector<std::string> narrow;  // 16-bit instructions
    std::vector<std::string> wide;    // 32-bit instructions
};

// Operands valid in every family; family-specific ones are added below.
const std::vector<KindSamples>& Samples() {
    static const std::vector<KindSamples> s = {
        {kOpK, {"K0", "K-5", "K32767"}, {"K100000", "K-2147483648", "K7"}},
        {kOpH, {"H0", "HFFFF"}, {"H12345678", "HFFFFFFFF"}},
        {kOpKnX, {"K1X0", "K4X10"}, {"K8X0", "K2X100"}},
        {kOpKnY, {"K2Y0"}, {"K8Y0"}},
        {kOpKnM, {"K4M100"}, {"K8M100"}},
        {kOpKnS, {"K1S0"}, {"K3S10"}},
        {kOpX, {"X0", "X17"}, {"X0"}},
        {kOpY, {"Y7", "Y177"}, {"Y7"}},
        {kOpM, {"M100", "M1279"}, {"M100"}},
        {kOpS, {"S20", "S127"}, {"S20"}},
        {kOpTBit, {"T5"}, {"T5"}},
        {kOpCBit, {"C7"}, {"C7"}},
        {kOpT, {"T10", "T127"}, {"T10"}},
        {kOpC, {"C20"}, {"C200", "C255"}},
        {kOpD, {"D0", "D1311"}, {"D10", "D1310"}},
        {kOpEF, {"E", "F3", "E7"}, {"E", "F1"}},
        {kOpP, {"P0", "P255"}, {"P0"}},
        {kOpI, {"I100", "I499"}, {"I100"}},
        {kOpN, {"N0", "N7"}, {"N0"}},
    };
    return s;
}

// Indexed operands for slots that accept an index modifier.
const std::vector<std::string> kIndexedNarrow = {"D10E", "K4M0F2", "K5E1", "T3E1", "C4F", "D20E7"};
const std::vector<std::string> kIndexedWide = {"D10E", "K8M0F2", "K5E1"};

// Operands an instruction takes more than one device of, as its action is described:
// the three result bits of a compare, a product or a quotient with its remainder, a
// floating-point number, five search results, a sum with its parity, a time of three
// words, the seven clock words. Their samples keep room after the device, so every
// line stays one the family runs.
bool ReachesOn(const std::string& mnemonic, int operand) {
    struct Reach {
        const char* name;
        std::vector<int> operands;
    };
    static const std::vector<Reach> kReaching = {
        {"CMP", {2}},  {"ECMP", {2}}, {"ZCP", {3}},       {"EZCP", {3}},    {"MUL", {2}},    {"DIV", {2}},
        {"FLT", {1}},  {"SER", {2}},  {"CCD", {1}},       {"TCMP", {3, 4}}, {"TZCP", {0, 1, 2, 3}},
        {"TADD", {0, 1, 2}},          {"TSUB", {0, 1, 2}}, {"TRD", {0}},     {"TWR", {0}},
    };
    for (const Reach& r : kReaching) {
        const std::string n = r.name;
        if (mnemonic != n && mnemonic != "D" + n && mnemonic != n + "P" && mnemonic != "D" + n + "P") continue;
        return std::find(r.operands.begin(), r.operands.end(), operand) != r.operands.end();
    }
    return false;
}

// A sample with room for seven elements after it in every family.
std::string WithRoom(const std::string& t) {
    static const std::vector<std::pair<std::string, std::string>> kRoom = {
        {"M1279", "M1270"}, {"S127", "S120"},   {"Y177", "Y160"},   {"T127", "T120"},  {"C255", "C250"},
        {"D1311", "D1300"}, {"D1310", "D1300"}, {"D4999", "D4980"}, {"D4998", "D4980"}, {"K8Y0", "K2Y0"},
    };
    for (const auto& [last, room] : kRoom)
        if (t == last) return room;
    return t;
}

std::vector<std::string> Candidates(int idx, int operand, uint32_t kinds, bool is32, int family) {
    std::vector<std::string> out;
    if ((idx == inst::TMR || idx == inst::CNT || idx == inst::DCNT)) {
        if (operand == 0) {
            if (idx == inst::TMR) return {"T0", "T127"};
            if (idx == inst::CNT) return {"C0", "C199"};
            return {"C200", "C255"};
        }
        return is32 ? std::vector<std::string>{"K100000", "D5"} : std::vector<std::string>{"K10", "K0", "D5"};
    }
    for (const KindSamples& k : Samples())
        if (kinds & k.kind)
            for (const std::string& t : is32 ? k.wide : k.narrow) out.push_back(t);
    if (family > 0) {
        if (kinds & kOpM) out.push_back("M2000");  // long forms for basic contacts and coils
        // D4999 ends the KE-Series' data registers: at 32 bits it has no pair there.
        if (kinds & kOpD) out.push_back(is32 && family == 2 ? "D4998" : "D4999");
        if (kinds & kOpS) out.push_back("S1000");
        if (kinds & kOpI) out.push_back("I899");
    }
    if (family == 1 && (kinds & kOpX)) out.push_back("X377");
    if (kinds & kOpIndexed)
        for (const std::string& t : is32 ? kIndexedWide : kIndexedNarrow) {
            const bool group = t[0] == 'K' && t.size() > 2 && t[2] != 'E' && t[2] != 'F' && !std::isdigit(t[2]);
            const char c = group ? 'M' : t[0];
            const uint32_t need = c == 'D' ? kOpD : c == 'T' ? kOpT : c == 'C' ? kOpC : c == 'M' ? kOpKnM : kOpK;
            if (kinds & need) out.push_back(t);
        }
    return out;
}

}  // namespace

std::vector<std::string> RowLines(int idx, int family) {
    if (idx >= kInstLongFirst && idx <= kInstLongLast) return {};
    if (idx < 0 || idx >= kInstError || !InstAvailable(idx, family)) return {};
    if (idx == inst::PLABEL) return {"P0", "P12", "P255", "P 7"};
    if (idx == inst::ILABEL) return {"I000", "I100", "I499", "I 250"};
    if (idx == inst::ASC) return {"ASC A D0", "ASC ABCDEFGH D10E", "ASC Text12 T3"};
    const TOperandForm& form = InstOperandForm(idx);
    const bool is32 = InstIs32(idx);
    std::vector<std::vector<std::string>> cand;
    std::size_t variants = 1;
    for (int i = 0; i < form.count; ++i) {
        cand.push_back(Candidates(idx, i, form.kinds[i], is32, family));
        if (ReachesOn(gInstMnemonic[idx], i))
            for (std::string& t : cand.back()) t = WithRoom(t);
        if (cand.back().empty()) return {};
        variants = std::max(variants, cand.back().size());
    }
    std::vector<std::string> lines;
    for (std::size_t v = 0; v < variants; ++v) {
        std::string line = gInstMnemonic[idx];
        for (int i = 0; i < form.count; ++i) line += " " + cand[i][(v + i) % cand[i].size()];
        lines.push_back(line);
    }
    return lines;
}
