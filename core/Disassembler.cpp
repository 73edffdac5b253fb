// Machine code back to instruction-list text, and the operand access by byte position
// that find and replace use.
#include <cstdio>
#include <cstring>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "core/InstructionTable.h"
#include "core/OperandCodec.h"
#include "core/ProgramImage.h"

using namespace core_detail;

namespace {

std::string RecordText(const uint8_t* rec, int size) {
    DecodedOperand d;
    if (!DecodeRecord(rec, size == 8, d)) return "?";
    return DecodedText(d, size == 8);
}

std::string BasicText(uint16_t word) {
    TDeviceRecord r;
    if (!DecodeBasicAddress(word, r)) return "?";
    return DeviceName(r.type, r.number);
}

// Where the operand records of a row start, and their size.
struct RecordLayout {
    uint32_t first;   // byte offset of the first record from the opcode word
    int size;         // bytes per record
};

RecordLayout LayoutOf(int idx) {
    if (idx == inst::TMR || idx == inst::CNT || idx == inst::DCNT) return {4, InstIs32(idx) ? 8 : 4};
    return {2, InstIs32(idx) ? 8 : 4};
}

std::string TextAt(const uint8_t* program, std::size_t capacity, uint32_t offset) {
    const uint16_t word = ReadCodeWord(program, capacity, offset);
    const uint32_t len = InstructionLengthAt(program, capacity, offset);
    const uint32_t end = offset + len;
    if (word == kErrorWord) return gInstMnemonic[inst::ERROR];
    const int idx = OpcodeToIndex(word);
    std::string text = gInstMnemonic[idx];
    char buf[16];
    if (idx <= inst::STL) return text + " " + BasicText(word);
    if (idx == inst::PLABEL) {
        std::snprintf(buf, sizeof buf, "P%u", word & 0x0FFFu);
        return buf;
    }
    if (idx == inst::ILABEL) {
        std::snprintf(buf, sizeof buf, "I%03u", word - 0xB800u);
        return buf;
    }
    const int ops = InstOperandCount(idx);
    if (idx == inst::ERROR || ops == 0) return text;
    const RecordLayout lay = LayoutOf(idx);
    int first = 0;
    if (lay.first == 4) {
        text += " ";
        text += offset + 4 <= end ? BasicText(ReadCodeWord(program, capacity, offset + 2)) : "?";
        first = 1;
    }
    uint32_t pos = offset + lay.first;
    if (idx == inst::ASC) {
        std::string chars;
        for (int r = 0; r < 4; ++r, pos += 4) {
            if (pos + 4 > end) break;
            DecodedOperand d;
            if (DecodeRecord(program + pos, false, d) && d.rec.type == kDevText) chars += DecodedText(d, false);
        }
        text += ' ';
        text += chars.empty() ? std::string("?") : chars;
        first = 4;
    }
    for (int i = first; i < ops; ++i, pos += static_cast<uint32_t>(lay.size)) {
        text += " ";
        text += pos + static_cast<uint32_t>(lay.size) <= end ? RecordText(program + pos, lay.size) : "?";
    }
    return text;
}

}  // namespace

std::optional<TDisassembly> DisassembleAt(std::span<const uint8_t> code, uint32_t offset) {
    if (!code.data() || offset >= code.size()) return std::nullopt;
    TDisassembly d;
    d.text = TextAt(code.data(), code.size(), offset);
    const uint16_t word = ReadCodeWord(code.data(), code.size(), offset);
    d.index = word == kErrorWord ? inst::ERROR : OpcodeToIndex(word);
    d.length = InstructionLengthAt(code.data(), code.size(), offset);
    return d;
}

// ---- adapters over the shared buffers ------------------------------------------------

std::string DisassembleText(const uint8_t* program, std::size_t capacity, uint32_t offset) {
    if (!program) return std::string();
    std::optional<TDisassembly> d = DisassembleAt(std::span<const uint8_t>(program, capacity), offset);
    return d ? std::move(d->text) : std::string();
}

bool DisassembleForView(const uint8_t* program, std::size_t capacity, uint32_t offset) {
    if (!program || offset >= capacity) {
        gInstText[0] = '\0';
        return false;
    }
    const std::string text = DisassembleText(program, capacity, offset);
    const std::size_t n = text.size() < kInstTextSize - 1 ? text.size() : kInstTextSize - 1;
    std::memcpy(gInstText, text.data(), n);
    gInstText[n] = '\0';
    return true;
}

namespace {

// The instruction holding a byte position and where in it the position lies.
struct OperandSlot {
    int idx = inst::ERROR;
    uint32_t start = 0;     // instruction offset
    uint32_t len = 0;       // its full length from the table
    int operand = -1;       // -1 the opcode word, -2 the timer/counter word, else operand index
    uint32_t at = 0;        // byte offset of the record (or word)
    int size = 0;           // record size
};

bool FindSlot(const uint8_t* code, std::size_t capacity, uint32_t position, OperandSlot& s) {
    if (!code || position >= capacity) return false;
    s.start = InstructionStartOf(position, code, capacity);
    if (s.start >= capacity) return false;
    const uint16_t word = ReadCodeWord(code, capacity, s.start);
    // The compiler's error word is OUT X0 by its bits, but it marks a line that could not
    // be translated: it has no operand to show, and no replace may turn it into code.
    if (word == kErrorWord) return false;
    s.idx = OpcodeToIndex(word);
    s.len = gInstLength[s.idx];
    if (s.start + s.len > capacity) return false;
    const uint32_t rel = position - s.start;
    if (rel < 2) {
        s.operand = -1;
        s.at = s.start;
        s.size = 2;
        return true;
    }
    const RecordLayout lay = LayoutOf(s.idx);
    if (lay.first == 4 && rel < 4) {
        s.operand = -2;
        s.at = s.start + 2;
        s.size = 2;
        return true;
    }
    const uint32_t k = (rel - lay.first) / static_cast<uint32_t>(lay.size);
    s.operand = static_cast<int>(k) + (lay.first == 4 ? 1 : 0);
    s.at = s.start + lay.first + k * static_cast<uint32_t>(lay.size);
    s.size = lay.size;
    if (s.idx == inst::ASC) s.size = 4;
    return s.at + static_cast<uint32_t>(s.size) <= s.start + s.len;
}

}  // namespace

std::string CodeOperandToText(const uint8_t* code, std::size_t capacity, uint32_t position) {
    OperandSlot s;
    if (!FindSlot(code, capacity, position, s)) return std::string();
    const uint16_t word = ReadCodeWord(code, capacity, s.start);
    if (s.operand == -1) {
        if (s.idx <= inst::STL) return BasicText(word);
        if (s.idx == inst::PLABEL || s.idx == inst::ILABEL) return DisassembleText(code, capacity, s.start);
        return std::string();
    }
    if (s.operand == -2) return BasicText(ReadCodeWord(code, capacity, s.at));
    return RecordText(code + s.at, s.size);
}

bool WriteOperandDevice(std::string_view device, uint8_t* code, std::size_t capacity, uint32_t position) {
    OperandSlot s;
    if (!FindSlot(code, capacity, position, s)) return false;
    const int family = CurrentFamily();
    const TOperandForm& form = InstOperandForm(s.idx);
    const uint16_t word = ReadCodeWord(code, capacity, s.start);
    ParsedOperand p;
    if (!ParseOperand(device, p)) return false;
    uint8_t rec[8];
    DecodedOperand d;

    if (s.operand == -1) {
        if (s.idx > inst::STL) return false;
        // Basic word: a bit device below M1536, no index register.
        if (p.digits || p.indexReg >= 0 || p.isIndexRegister) return false;
        if (!EncodeParsed(p, form.kinds[0], false, rec) || !DecodeRecord(rec, false, d)) return false;
        if (!OperandFits(d, form.kinds[0], false, family)) return false;
        if (d.rec.type == kDevM && d.rec.number >= 1536) return false;
        const uint16_t address = DeviceToBasicAddress(d.rec.type, d.rec.number);
        WriteCodeWord(code, capacity, s.start, static_cast<uint16_t>((word & 0xF000) | address));
        return true;
    }
    if (s.operand == -2) {
        const int type = s.idx == inst::TMR ? kDevT : kDevC;
        if (p.type != type || p.digits || p.indexReg >= 0 || p.value > 255) return false;
        const int n = static_cast<int>(p.value);
        if (n > gDeviceLimitTable[family][type == kDevT ? kLimT : kLimC]) return false;
        if (s.idx == inst::CNT && n >= 200) return false;
        if (s.idx == inst::DCNT && n < 200) return false;
        WriteCodeWord(code, capacity, s.at, static_cast<uint16_t>((type == kDevT ? 0x8100 : 0x8300) | n));
        return true;
    }
    if (s.idx == inst::ASC && s.operand < 4) return false;  // the text is no device
    if (s.operand >= form.count) return false;
    const uint32_t kinds = form.kinds[s.operand];
    const bool is32 = s.size == 8;
    if (!ConstantInRange(p, is32)) return false;
    if (EncodeParsed(p, kinds, is32, rec) != s.size || !DecodeRecord(rec, is32, d)) return false;
    if (!OperandFits(d, kinds, is32, family, s.idx, s.operand)) return false;
    if (s.idx >= kInstLongFirst && s.idx <= kInstLongLast && !(d.rec.type == kDevM && d.rec.number >= 1536))
        return false;  // a long form holds only M1536 and above
    if ((s.idx == inst::TMR || s.idx == inst::CNT || s.idx == inst::DCNT) && d.rec.type == kDevK && d.value < 0)
        return false;
    std::memcpy(code + s.at, rec, static_cast<std::size_t>(s.size));
    return true;
}
