// The assembler (a line and a family -> an instruction or the reason it was refused) and
// the validator of encoded instructions, with their adapters over gInputText and gInsnBuf.
// Both take the operand kinds and family availability from the instruction table, and
// both judge an operand by decoding its record, so they can never disagree.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "core/InstructionTable.h"
#include "core/OperandCodec.h"

using namespace core_detail;

namespace {

constexpr int kMaxTokens = kMaxOperands + 2;

void PutWord(uint8_t* at, uint16_t w) {
    at[0] = static_cast<uint8_t>(w);
    at[1] = static_cast<uint8_t>(w >> 8);
}

uint16_t GetWord(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

std::string Upper(const char* t) {
    std::string s(t);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Kind of a device named by a basic instruction word.
uint32_t BasicKind(int type) {
    switch (type) {
    case kDevX: return kOpX;
    case kDevY: return kOpY;
    case kDevM: return kOpM;
    case kDevS: return kOpS;
    case kDevT: return kOpTBit;
    case kDevC: return kOpCBit;
    default: return 0;
    }
}

// Encodes one operand text into a record for operand `operand` of row `index`, checking
// kind and limits. `unpaired` tells a refusal for what the operand reaches beyond its
// device alone (its 32-bit pair, a product, result bits), the device being the family's.
int EncodeChecked(std::string_view text, uint32_t kinds, bool is32, int family, uint8_t* out, int index = -1,
                  int operand = -1, bool* unpaired = nullptr) {
    ParsedOperand p;
    if (!ParseOperand(text, p) || !ConstantInRange(p, is32)) return 0;
    const int n = EncodeParsed(p, kinds, is32, out);
    if (n == 0) return 0;
    DecodedOperand d;
    if (!DecodeRecord(out, is32, d)) return 0;
    if (!OperandFits(d, kinds, is32, family, index, operand)) {
        if (unpaired) {
            // The device named is the family's; what it reaches from there is not.
            DecodedOperand alone = d;
            alone.rec.digits = 0;
            *unpaired = d.rec.digits <= (is32 ? 8 : 4) && OperandFits(alone, kinds, false, family);
        }
        return 0;
    }
    return n;
}

// A timer or counter set value: K (not negative) or D.
bool SetValueFits(const DecodedOperand& d) { return d.rec.type != kDevK || d.value >= 0; }

bool TimerWordFits(int idx, uint16_t word, int family) {
    const int hi = word >> 8, n = word & 0xFF;
    if (idx == inst::TMR) return hi == 0x81 && n <= gDeviceLimitTable[family][kLimT];
    if (hi != 0x83 || n > gDeviceLimitTable[family][kLimC]) return false;
    return idx == inst::DCNT ? n >= 200 : n < 200;
}

// The 32-bit half of a record: a device repeats its first half, a constant carries
// the high bytes with the same class and code.
bool SecondHalfCanonical(const uint8_t* rec) {
    const uint8_t lo = rec[1] & 0x0F;
    if (lo == 0x0 || lo == 0x2) return rec[5] == rec[1] && rec[7] == rec[3];
    return std::memcmp(rec, rec + 4, 4) == 0;
}

// The eight characters of ASC's four text records: printable, at least one, and only
// zeros after the first zero (the way the assembler fills them), so the text reads back.
bool AscTextCanonical(const uint8_t* records) {
    bool ended = false;
    for (int i = 0; i < 8; ++i) {
        const uint8_t ch = records[(i / 2) * 4 + (i % 2) * 2];
        if (ch == 0) {
            if (i == 0) return false;
            ended = true;
        } else if (ended || ch <= ' ' || ch >= 0x7F) {
            return false;
        }
    }
    return true;
}

// Checks the operands of an encoded instruction of row idx (len = gInstLength[idx]).
bool OperandsValid(const uint8_t* code, int idx, int family) {
    const TOperandForm& form = InstOperandForm(idx);
    const bool is32 = InstIs32(idx);
    const uint16_t word = GetWord(code);
    if (idx <= inst::STL) {
        TDeviceRecord r;
        if (!DecodeBasicAddress(word, r)) return false;
        DecodedOperand d;
        d.rec = r;
        d.kind = BasicKind(r.type);
        return OperandFits(d, form.kinds[0], false, family);
    }
    if (idx == inst::PLABEL) return (word & 0x0FFF) <= static_cast<uint32_t>(gDeviceLimitTable[family][kLimP]);
    if (idx == inst::ILABEL) return word - 0xB800u <= static_cast<uint32_t>(gDeviceLimitTable[family][kLimI]);
    int pos = 2, first = 0;
    if (idx == inst::TMR || idx == inst::CNT || idx == inst::DCNT) {
        if (!TimerWordFits(idx, GetWord(code + 2), family)) return false;
        pos = 4;
        first = 1;
    }
    const bool asc = idx == inst::ASC;
    const int rs = is32 ? 8 : 4;
    for (int i = first; i < form.count; ++i) {
        const bool text = asc && i < 4;
        const int size = text ? 4 : rs;
        DecodedOperand d;
        if (!DecodeRecord(code + pos, size == 8, d)) return false;
        if (!OperandFits(d, form.kinds[i], size == 8, family, idx, i)) return false;
        if (size == 8 && !SecondHalfCanonical(code + pos)) return false;
        if (first && !SetValueFits(d)) return false;
        // A long form exists for M1536 and above only; below that the short form is the
        // instruction, and a long one would not read back to the same words.
        if (idx >= kInstLongFirst && idx <= kInstLongLast && !(d.rec.type == kDevM && d.rec.number >= 1536))
            return false;
        pos += size;
    }
    if (asc && !AscTextCanonical(code + 2)) return false;
    return pos == gInstLength[idx];
}

TAssembly Refuse(TAsmRefusal why, int mnemonic, int operand = 0) {
    TAssembly a;
    a.refusal = why;
    a.mnemonicIndex = mnemonic;
    a.operand = operand;
    return a;
}

// The encoded instruction of row idx; refused when its length is not the table's.
TAssembly Finish(const uint8_t* code, int len, int idx, int mnemonic) {
    if (len != gInstLength[idx] || len > kInsnBufBytes) return Refuse(TAsmRefusal::BadOperand, mnemonic);
    TAssembly a;
    a.mnemonicIndex = mnemonic;
    a.instruction = TInstruction{idx, std::vector<uint8_t>(code, code + len)};
    return a;
}

TAssembly AssembleTokens(std::string* tok, int count, int family) {
    int idx = FindMnemonic(tok[0]);
    const int mnemonic = idx;
    uint8_t code[kInsnBufBytes] = {};
    // Labels typed as "P12" / "I100", or as "P 12" / "I 100".
    if (idx == kInstNotFound && count == 1) {
        const int pn = PLabelNumber(tok[0]), in = ILabelNumber(tok[0]);
        if (pn >= 0) idx = inst::PLABEL;
        else if (in >= 0) idx = inst::ILABEL;
        else return Refuse(TAsmRefusal::UnknownMnemonic, mnemonic);
        const int n = pn >= 0 ? pn : in;
        PutWord(code, static_cast<uint16_t>(gInstOpcode[idx] + n));
        if (!OperandsValid(code, idx, family)) return Refuse(TAsmRefusal::BadLabel, mnemonic, 1);
        return Finish(code, 2, idx, mnemonic);
    }
    if (idx == inst::PLABEL || idx == inst::ILABEL) {
        if (count != 2) return Refuse(TAsmRefusal::OperandCount, mnemonic);
        const int n = idx == inst::PLABEL ? PLabelNumber("P" + tok[1]) : ILabelNumber("I" + tok[1]);
        if (n < 0) return Refuse(TAsmRefusal::BadLabel, mnemonic, 1);
        PutWord(code, static_cast<uint16_t>(gInstOpcode[idx] + n));
        if (!OperandsValid(code, idx, family)) return Refuse(TAsmRefusal::BadLabel, mnemonic, 1);
        return Finish(code, 2, idx, mnemonic);
    }
    if (idx >= kInstCount) return Refuse(TAsmRefusal::UnknownMnemonic, mnemonic);
    if (idx == inst::ERROR || !InstAvailable(idx, family)) return Refuse(TAsmRefusal::NotInFamily, mnemonic);

    const TOperandForm& form = InstOperandForm(idx);
    const bool is32 = InstIs32(idx);
    const int ops = InstOperandCount(idx);
    const bool asc = idx == inst::ASC;
    if (count - 1 != (asc ? 2 : ops)) return Refuse(TAsmRefusal::OperandCount, mnemonic);

    if (idx <= inst::STL) {
        // Basic instruction: the device goes into the opcode word, M1536 and above into the
        // long form's record.
        uint8_t rec[8];
        if (!EncodeChecked(tok[1], form.kinds[0] | kOpM, false, family, rec))
            return Refuse(TAsmRefusal::BadOperand, mnemonic, 1);
        DecodedOperand d;
        DecodeRecord(rec, false, d);
        if (d.rec.type == kDevM && d.rec.number >= 1536) {
            const int longIdx = LongFormOf(idx);
            if (longIdx < 0 || !(form.kinds[0] & kOpM)) return Refuse(TAsmRefusal::BadOperand, mnemonic, 1);
            PutWord(code, gInstOpcode[longIdx]);
            std::memcpy(code + 2, rec, 4);
            return Finish(code, 6, longIdx, mnemonic);
        }
        if (!OperandFits(d, form.kinds[0], false, family)) return Refuse(TAsmRefusal::BadOperand, mnemonic, 1);
        PutWord(code, static_cast<uint16_t>(gInstOpcode[idx] | DeviceToBasicAddress(d.rec.type, d.rec.number)));
        return Finish(code, 2, idx, mnemonic);
    }

    PutWord(code, gInstOpcode[idx]);
    int pos = 2, first = 0;
    if (idx == inst::TMR || idx == inst::CNT || idx == inst::DCNT) {
        ParsedOperand p;
        const int type = idx == inst::TMR ? kDevT : kDevC;
        if (!ParseOperand(tok[1], p) || p.type != type || p.digits || p.indexReg >= 0 || p.value > 255)
            return Refuse(TAsmRefusal::BadOperand, mnemonic, 1);
        const uint16_t w = static_cast<uint16_t>((idx == inst::TMR ? 0x8100 : 0x8300) | p.value);
        if (!TimerWordFits(idx, w, family)) return Refuse(TAsmRefusal::BadOperand, mnemonic, 1);
        PutWord(code + 2, w);
        pos = 4;
        first = 1;
    }
    int tokenAt = 1 + first;
    if (asc) {
        // The text (1 to 8 characters, as typed) fills four records of two characters.
        const std::string& text = tok[1];
        if (text.empty() || text.size() > 8) return Refuse(TAsmRefusal::BadOperand, mnemonic, 1);
        for (char ch : text)
            if (ch <= ' ' || ch >= 0x7F) return Refuse(TAsmRefusal::BadOperand, mnemonic, 1);
        for (int r = 0; r < 4; ++r) {
            const std::size_t a = static_cast<std::size_t>(2 * r);
            code[pos] = a < text.size() ? static_cast<uint8_t>(text[a]) : 0;
            code[pos + 1] = kClassText;
            code[pos + 2] = a + 1 < text.size() ? static_cast<uint8_t>(text[a + 1]) : 0;
            code[pos + 3] = 0x80;
            pos += 4;
        }
        first = 4;
        tokenAt = 2;
    }
    for (int i = first; i < form.count; ++i, ++tokenAt) {
        bool unpaired = false;
        const int n = EncodeChecked(tok[tokenAt], form.kinds[i], is32, family, code + pos, idx, i, &unpaired);
        if (n == 0 && unpaired) {
            TAssembly a = Refuse(TAsmRefusal::NoPair, mnemonic, tokenAt);
            a.operandText = tok[tokenAt];
            return a;
        }
        if (n == 0) return Refuse(TAsmRefusal::BadOperand, mnemonic, tokenAt);
        pos += n;
    }
    // Checks between operands (a negative set value, a long form below M1536).
    if (!OperandsValid(code, idx, family)) return Refuse(TAsmRefusal::BadOperand, mnemonic);
    return Finish(code, pos, idx, mnemonic);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool EndsToken(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool TInstruction::Is32() const { return InstIs32(index); }

TAssembly AssembleLine(std::string_view line, int family) {
    if (family < 0 || family >= kFamilyCount) return Refuse(TAsmRefusal::NotInFamily, -1);
    if (line.size() >= static_cast<std::size_t>(kInputTextSize)) return Refuse(TAsmRefusal::LineTooLong, -1);
    // Tokens end at a blank, a tab, a line end or NUL; the line ends at the first token
    // of no characters (so at a CR, LF or NUL).
    std::string tok[kMaxTokens];
    int count = 0;
    std::size_t at = 0;
    for (;;) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        const std::size_t start = at;
        while (at < line.size() && !EndsToken(line[at])) ++at;
        const std::size_t n = at - start;
        if (n == 0) break;
        if (n > static_cast<std::size_t>(kTokenMax) || count == kMaxTokens) return Refuse(TAsmRefusal::TokenTooLong, -1);
        tok[count++] = std::string(line.substr(start, n));
    }
    if (count == 0) return Refuse(TAsmRefusal::EmptyLine, -1);
    tok[0] = Upper(tok[0].c_str());
    const bool asc = FindMnemonic(tok[0]) == inst::ASC;
    for (int i = 1; i < count; ++i)
        if (!(asc && i == 1)) tok[i] = Upper(tok[i].c_str());
    return AssembleTokens(tok, count, family);
}

bool ValidateCode(std::span<const uint8_t> code, int family) {
    const std::size_t len = code.size();
    if (len < 2 || len > kInsnBufBytes || family < 0 || family >= kFamilyCount) return false;
    const uint16_t word = GetWord(code.data());
    const int idx = OpcodeToIndex(word);
    if (idx == inst::ERROR || word == kErrorWord) return false;
    if (len != gInstLength[idx]) return false;
    if (!InstAvailable(idx, family)) return false;
    return OperandsValid(code.data(), idx, family);
}

bool OperandReachInFamily(int index, int operand, const TDeviceRecord& device, bool is32, int family) {
    DecodedOperand d;
    d.rec = device;
    // A T or C is a word where the row's operand takes words, a contact elsewhere.
    const bool rowOperand = index >= 0 && index < kInstCount && operand >= 0 && operand < kMaxOperands;
    const uint32_t kinds = rowOperand ? InstOperandForm(index).kinds[operand] : 0;
    switch (device.type) {
    case kDevT: d.kind = (kinds & kOpT) ? kOpT : kOpTBit; break;
    case kDevC: d.kind = (kinds & kOpC) ? kOpC : kOpCBit; break;
    case kDevD: d.kind = kOpD; break;
    default: d.kind = kOpM; break;  // bits, digit groups, labels: counted by number alone
    }
    return ReachFits(d, is32, family, rowOperand ? index : -1, operand);
}

std::vector<std::string> InstructionsBeyondFamily(std::span<const uint8_t> code, uint32_t used, int family) {
    std::vector<std::string> out;
    used = std::min<uint32_t>(used, static_cast<uint32_t>(code.size()));
    for (uint32_t at = 0; at + 2 <= used;) {
        const std::optional<TDisassembly> d = DisassembleAt(code.first(used), at);
        if (!d || d->length == 0) break;
        if (GetWord(code.data() + at) != kNopWord &&
            !ValidateCode(code.subspan(at, std::min<uint32_t>(d->length, used - at)), family))
            out.push_back(std::to_string(at / 2) + " " + d->text);
        at += d->length;
    }
    return out;
}

// ---- adapters over the shared buffers ------------------------------------------------

int AssembleInstruction() {
    gInsnBuf.length = 0;
    gInsnBuf.flag32 = 0;
    const void* nul = std::memchr(gInputText, 0, kInputTextSize);
    if (!nul) return 0;  // no line end: over-long
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(nul) - gInputText);
    gLinePos = static_cast<int32_t>(length);
    const TAssembly a = AssembleLine(std::string_view(gInputText, length), CurrentFamily());
    if (a.mnemonicIndex >= 0) gInstIndex = a.mnemonicIndex;
    if (!a) return 0;
    const TInstruction& insn = *a.instruction;
    std::memcpy(gInsnBuf.code, insn.bytes.data(), insn.bytes.size());
    gInsnBuf.length = static_cast<uint32_t>(insn.bytes.size());
    gInsnBuf.flag32 = insn.Is32() ? kInst32Bit : 0;
    gInstIndex = insn.index;
    return 1;
}

int ValidateInstruction() {
    const uint32_t len = gInsnBuf.length;
    if (len < 2 || len > kInsnBufBytes) return 0;
    const std::span<const uint8_t> code(gInsnBuf.code, len);
    if (!ValidateCode(code, CurrentFamily())) return 0;
    const int idx = OpcodeToIndex(GetWord(gInsnBuf.code));
    return ((gInsnBuf.flag32 & kInst32Bit) != 0) == InstIs32(idx) ? 1 : 0;
}
