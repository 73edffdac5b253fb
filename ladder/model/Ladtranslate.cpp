#include "ladder/model/Ladtranslate.h"

#include <cstring>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Digtest.h"
#include "core/Instruction.h"
#include "core/InstructionTable.h"

namespace {

std::uint8_t* RowPtr(std::uint8_t* grid, std::int32_t row) { return CellAt(grid, row, 0); }

bool DeviceBearing(TLdbKind k) {
    switch (k) {
        case TLdbKind::Open_Ry: case TLdbKind::Close_Ry: case TLdbKind::Out_Ry:
        case TLdbKind::Spec_Token: case TLdbKind::State_Ry: case TLdbKind::Tu_Ry:
        case TLdbKind::Td_Ry:
            return true;
        default:
            return false;
    }
}

// The number lies within the current family's range for its letter; letters
// without a range (constants, E, F, N) pass.
bool WithinFamilyLimit(std::uint8_t type, std::int64_t number) {
    const char letter = DeviceLetterFromType(type);
    switch (letter) {
        case 'X': case 'Y': case 'M': case 'S': case 'T': case 'C': case 'D': case 'P': case 'I': {
            const std::int32_t limit = DeviceLimit(letter);
            return number >= 0 && limit >= 0 && number <= limit;
        }
        case 'E': case 'F':
            return number >= 0 && number <= 7;
        default:
            return true;
    }
}

// Operand kinds a parsed record belongs to (OperandKind bits).
std::uint32_t OperandKindsOf(const TDeviceRecord& rec) {
    std::uint32_t k = 0;
    if (rec.digits != 0) {
        switch (rec.type) {
            case kDevX: k = kOpKnX; break;
            case kDevY: k = kOpKnY; break;
            case kDevM: k = kOpKnM; break;
            case kDevS: k = kOpKnS; break;
            default: return 0;
        }
    } else {
        switch (rec.type) {
            case kDevK: k = kOpK; break;
            case kDevH: k = kOpH; break;
            case kDevX: k = kOpX; break;
            case kDevY: k = kOpY; break;
            case kDevM: k = kOpM; break;
            case kDevS: k = kOpS; break;
            case kDevT: k = kOpT | kOpTBit; break;
            case kDevC: k = kOpC | kOpCBit; break;
            case kDevD: k = kOpD; break;
            case kDevE: case kDevF: k = kOpEF; break;
            case kDevP: k = kOpP; break;
            case kDevI: k = kOpI; break;
            case kDevN: k = kOpN; break;
            case kDevText: k = kOpText; break;
            default: return 0;
        }
    }
    return k;
}

// Column index of the box head owning the token at `cellIndex`, -1 when the
// cells left of it up to the first non-token are not headed by a box.
int OwningBoxHead(const std::uint8_t* rowStart, int cellIndex) {
    int i = cellIndex;
    while (i > 0 && IsTokenCell(rowStart + i * kLdbCellBytes)) --i;
    return CellKind(rowStart + i * kLdbCellBytes) == TLdbKind::Spec_Fun ? i : -1;
}

// Instruction row of the box or compare head whose operand is the token at
// `cellIndex` (the head's column in `head`); ERROR when no head owns it. A
// compare head holds its compare code, not an instruction word: the row of the
// LD group stands for all three groups, which take the same operands.
int OwningHeadRow(const std::uint8_t* rowStart, int cellIndex, int& head) {
    head = cellIndex;
    while (head > 0 && IsTokenCell(rowStart + head * kLdbCellBytes)) --head;
    const std::uint8_t* cell = rowStart + head * kLdbCellBytes;
    if (head == cellIndex) return inst::ERROR;
    if (CellKind(cell) == TLdbKind::Spec_Fun) return OpcodeToIndex(CellOperand(cell));
    if (CellKind(cell) == TLdbKind::Comp_Ry && CellOperand(cell) < kCompareCodeCount)
        return kInstCompareFirst + CellOperand(cell);
    return inst::ERROR;
}

// A device of a cell the current family has as it stands, with every register
// and bit it reaches (OperandReachInFamily, the one judgement the list uses too):
// a box's or compare's operand as operand `ordinal` of row `headRow` (32-bit with
// `pair`, its Token_32bs), a contact's or coil's device (headRow ERROR) alone.
bool DeviceInFamily(int headRow, int ordinal, const TDeviceRecord& rec, std::int64_t number, bool pair) {
    if (!WithinFamilyLimit(rec.type, number)) return false;
    if (number > 0xFFFF) return true;  // a constant's value; no device to reach
    TDeviceRecord device = rec;
    device.number = static_cast<std::uint16_t>(number);
    const bool operand = headRow != inst::ERROR;
    return OperandReachInFamily(operand ? headRow : -1, operand ? ordinal : -1, device, pair, CurrentFamily());
}

// Writes a token. False, the row unchanged, when the operand does not fit.
bool WriteToken(std::uint8_t* rowStart, int cellIndex, const TDeviceRecord& rec, const TParsedDevice& parsed) {
    std::uint8_t* cell = rowStart + cellIndex * kLdbCellBytes;
    int head = -1;
    const int index = OwningHeadRow(rowStart, cellIndex, head);
    if (index == inst::ERROR || CellKind(cell) != TLdbKind::Spec_Token) return false;
    // Operand position: the Spec_Token cells between the head and this token.
    int ordinal = 0;
    for (int i = head + 1; i < cellIndex; ++i) {
        if (CellKind(rowStart + i * kLdbCellBytes) == TLdbKind::Spec_Token) ++ordinal;
    }
    const bool pair = cellIndex + 1 < kLdbRowCells &&
                      CellKind(cell + kLdbCellBytes) == TLdbKind::Token_32bs;
    const char letter = DeviceLetterFromType(rec.type);

    // The set or reset counter decides its width by number, not by the slot.
    if (index == inst::DCNT && ordinal == 0 && (letter != 'C' || parsed.number < 200)) return false;
    if (index == inst::CNT && ordinal == 0 && (letter != 'C' || parsed.number >= 200)) return false;

    if (index != inst::DCNT && index != inst::TMR && index != inst::CNT) {
        const TOperandForm& form = InstOperandForm(index);
        if (ordinal >= form.count) return false;
        const std::uint32_t allowed = form.kinds[ordinal];
        if ((OperandKindsOf(rec) & allowed) == 0) return false;
        if (rec.modifier != 0 && (allowed & kOpIndexed) == 0) return false;
    }
    // Everything the operand reaches (a 32-bit pair, a product, result bits ...)
    // must be the family's.
    if (!DeviceInFamily(index, ordinal, rec, parsed.number, pair)) return false;

    const bool constant = rec.type == kDevK || rec.type == kDevH;
    const bool counter = letter == 'C';
    if (constant && !pair && NeedsTwoWords(rec.type, parsed.number)) return false;
    if (!constant && !counter && !pair && parsed.number > 0xFFFF) return false;

    std::uint8_t modifier = cell[0];
    if (rec.modifier != 0) {
        const TIndexReg reg{(rec.modifier & kModF) ? 'F' : 'E',
                            static_cast<std::uint8_t>(rec.modifier & kModRegMask)};
        modifier = MakeTokenModifier(reg, TokenIs32(cell[0]));
    }
    cell[0] = modifier;
    SetCellDevType(cell, rec.type);
    if (rec.digits != 0) {
        SetCellNode(cell, static_cast<TLdbNode>(rec.digits & 0x0F));
    } else if (rec.type != kDevX && rec.type != kDevY && rec.type != kDevM && rec.type != kDevS) {
        SetCellNode(cell, TLdbNode::non_node);
    }
    if (pair) {
        std::uint8_t* next = cell + kLdbCellBytes;
        if (constant) {
            WriteCellNumber32(cell, parsed.number);
            SetCellDevType(next, rec.type);
        } else {
            WriteCellNumber16(cell, parsed.number);
            std::memset(next, 0, kLdbCellBytes);
            SetCellKind(next, TLdbKind::Token_32bs);
        }
    } else {
        WriteCellNumber16(cell, parsed.number);
    }
    return true;
}

}  // namespace

std::string FirstDeviceBeyondFamily(const std::uint8_t* cells, std::int32_t count) {
    for (std::int32_t i = 0; cells && i < count; ++i) {
        const std::uint8_t* cell = cells + i * kLdbCellBytes;
        if (!DeviceBearing(CellKind(cell))) continue;
        const std::uint8_t type = CellDevType(cell);
        const char letter = DeviceTypeToLetter(type);
        if (letter == 0 || type == CellDev::Text || type == CellDev::K || type == CellDev::H) continue;
        TDeviceRecord rec;
        rec.type = type;
        int head = -1, ordinal = 0, row = inst::ERROR;
        if (CellKind(cell) == TLdbKind::Spec_Token) {
            // An operand is judged by its box: its position there and the row's reach.
            rec.digits = static_cast<std::uint8_t>(cell[1] & 0x0F);
            row = OwningHeadRow(cells, i, head);
            for (int k = head + 1; k < i; ++k)
                if (CellKind(cells + k * kLdbCellBytes) == TLdbKind::Spec_Token) ++ordinal;
        }
        const std::int32_t number = CellOperand(cell);
        const bool pair = i + 1 < count && CellKind(cell + kLdbCellBytes) == TLdbKind::Token_32bs;
        if (!DeviceInFamily(row, ordinal, rec, number, pair)) {
            // Named as the cell shows it: its digit group and its index register.
            std::string name = DeviceName(type, static_cast<std::uint32_t>(number));
            if (CellKind(cell) == TLdbKind::Spec_Token) name += IndexRegText(TokenIndexReg(cell[0]));
            return rec.digits ? "K" + std::to_string(rec.digits) + name : name;
        }
    }
    return {};
}

char DeviceTypeToLetter(std::uint8_t type) {
    if (type == CellDev::Text) return static_cast<char>(CellDev::Text);
    if (type == 0 || type > CellDev::I) return 0;
    return DeviceLetterFromType(type);
}

std::uint8_t LetterToDeviceType(char letter) {
    if (letter == static_cast<char>(CellDev::Text)) return CellDev::Text;
    const int t = DeviceTypeFromLetter(letter);
    return (t >= CellDev::C && t <= CellDev::I) ? static_cast<std::uint8_t>(t) : 0;
}

bool IsContactCellKind(TLdbKind kind) {
    return kind == TLdbKind::Open_Ry || kind == TLdbKind::Close_Ry || kind == TLdbKind::Tu_Ry ||
           kind == TLdbKind::Td_Ry;
}

bool IsBitDeviceLetter(char letter) {
    return letter == 'X' || letter == 'Y' || letter == 'C' || letter == 'T' || letter == 'S' || letter == 'M';
}

bool IsOutputDeviceLetter(char letter) { return letter == 'S' || letter == 'Y' || letter == 'M'; }

std::string CellDeviceText(const std::uint8_t* grid, std::int32_t row, std::int32_t cellIndex,
                           TLdbKind kindFilter) {
    if (cellIndex < 0 || cellIndex >= kLdbRowCells) return {};
    const std::uint8_t* rowStart = CellAt(grid, row, 0);
    if (IsBlockCommentRow(rowStart)) return {};
    const std::uint8_t* cell = rowStart + cellIndex * kLdbCellBytes;
    const TLdbKind kind = CellKind(cell);
    if (!DeviceBearing(kind)) return {};
    if (kindFilter != TLdbKind::non_inst && kind != kindFilter) return {};
    const std::uint8_t type = CellDevType(cell);
    const char letter = DeviceTypeToLetter(type);
    if (letter == 0 || type == CellDev::Text) return {};

    const bool wide = cellIndex + 1 < kLdbRowCells &&
                      CellKind(cell + kLdbCellBytes) == TLdbKind::Token_32bs;
    const std::uint32_t low = CellOperand(cell);
    const std::uint32_t value = wide ? (low | (static_cast<std::uint32_t>(CellOperand(cell + kLdbCellBytes)) << 16)) : low;

    std::string text(1, letter);
    switch (letter) {
        case 'X': case 'Y':
            text += IntToPaddedStr(0, value, 8);
            break;
        case 'H':
            text += IntToPaddedStr(0, value, 16);
            break;
        case 'E': case 'F':
            if (value != 0) text += std::to_string(value);
            break;
        case 'K': {
            const std::int32_t v = wide ? static_cast<std::int32_t>(value)
                                        : static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
            text += std::to_string(v);
            break;
        }
        default:
            text += std::to_string(value);
            break;
    }
    return text;
}

std::int32_t ParseOperandNumber(std::string_view text) {
    if (text.empty()) return 0;
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if ((text[0] == 'K' || text[0] == 'k') && text.size() > 2 && isLetter(text[2])) {
        const char dev = static_cast<char>(text[2] & ~0x20);
        const std::string_view digits = text.substr(3);
        return (dev == 'X' || dev == 'Y') ? static_cast<std::int32_t>(OctStrToInt(digits))
                                          : static_cast<std::int32_t>(AtoL(digits));
    }
    if (!isLetter(text[0])) return 0;
    const char letter = static_cast<char>(text[0] & ~0x20);
    const std::string_view rest = text.substr(1);
    if (letter == 'X' || letter == 'Y') return static_cast<std::int32_t>(OctStrToInt(rest));
    if (letter == 'H') return static_cast<std::int32_t>(HexStrToUInt(rest));
    return static_cast<std::int32_t>(AtoL(rest));
}

TParsedDevice ParseDeviceText(std::string_view text) {
    char buf[kTokenMax + 1] = {};
    StrToUpperBuf(buf, sizeof buf, text);
    TParsedDevice d;
    d.type = LetterToDeviceType(buf[0]);
    d.number = ParseOperandNumber(buf);
    return d;
}

bool NeedsTwoWords(std::uint8_t type, std::int32_t number) {
    if (type == CellDev::H && static_cast<std::uint32_t>(number) >= 0x10000u) return true;
    if (type == CellDev::K && number >= 32768) return true;
    if (number < -32768) return true;
    return type == CellDev::C && number >= 200;
}

int BoxTokenClass(const std::uint8_t* rowStart, std::int32_t cellIndex) {
    if (cellIndex <= 0 || cellIndex >= kLdbRowCells) return inst::ERROR;
    const int head = OwningBoxHead(rowStart, cellIndex);
    if (head < 0) return inst::ERROR;
    const int index = OpcodeToIndex(CellOperand(rowStart + head * kLdbCellBytes));
    switch (index) {
        case inst::CNT: case inst::DCNT: case inst::TMR: case inst::RST:
            return index;
        default:
            return inst::ERROR;
    }
}

void WriteCellNumber16(std::uint8_t* cell, std::int32_t number) {
    SetCellOperand(cell, static_cast<std::uint16_t>(number & 0xFFFF));
}

void WriteCellNumber32(std::uint8_t* cell, std::int32_t number) {
    const auto u = static_cast<std::uint32_t>(number);
    SetCellOperand(cell, static_cast<std::uint16_t>(u & 0xFFFF));
    SetCellOperand(cell + kLdbCellBytes, static_cast<std::uint16_t>(u >> 16));
}

bool SetCellDevice(std::string_view text, std::uint8_t* grid, std::int32_t row, std::int32_t cellIndex,
                   TLdbKind kind) {
    if (cellIndex < 0 || cellIndex >= kLdbRowCells) return false;
    std::uint8_t* rowStart = RowPtr(grid, row);
    if (IsBlockCommentRow(rowStart)) return false;
    const std::string upper = StrToUpper(text);
    if (upper.empty() || upper.size() > static_cast<std::size_t>(kTokenMax)) return false;
    TDeviceRecord rec;
    if (!EncodeDeviceRecord(upper, rec)) return false;
    const TParsedDevice parsed = ParseDeviceText(upper);
    std::uint8_t* cell = rowStart + cellIndex * kLdbCellBytes;
    const char letter = DeviceLetterFromType(rec.type);
    const bool plainDevice = rec.modifier == 0 && rec.digits == 0;

    if (IsContactCellKind(kind) || kind == TLdbKind::State_Ry || kind == TLdbKind::Out_Ry) {
        const bool letterOk = kind == TLdbKind::State_Ry ? letter == 'S'
                              : kind == TLdbKind::Out_Ry ? IsOutputDeviceLetter(letter)
                                                         : IsBitDeviceLetter(letter);
        if (!plainDevice || !letterOk || !WithinFamilyLimit(rec.type, parsed.number)) return false;
        SetCellKind(cell, kind);
        SetCellDevType(cell, rec.type);
        WriteCellNumber16(cell, parsed.number);
        return true;
    }
    if (kind == TLdbKind::Spec_Token) return WriteToken(rowStart, cellIndex, rec, parsed);
    return false;
}
