#include "ladder/edit/Laddertexts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/InstructionTable.h"
#include "ladder/model/Lad.h"
#include "ladder/model/Ladtranslate.h"

namespace {

std::string Radix(std::uint8_t type, std::int64_t value, bool is32) {
    char buf[32];
    switch (type) {
        case CellDev::H:
            std::snprintf(buf, sizeof buf, "%llX",
                          static_cast<unsigned long long>(is32 ? static_cast<std::uint32_t>(value)
                                                               : static_cast<std::uint16_t>(value)));
            return buf;
        case CellDev::X:
        case CellDev::Y:
            std::snprintf(buf, sizeof buf, "%llo", static_cast<unsigned long long>(value & 0xFFFF));
            return buf;
        case CellDev::K:
            if (is32)
                std::snprintf(buf, sizeof buf, "%d", static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
            else
                std::snprintf(buf, sizeof buf, "%d", static_cast<std::int16_t>(static_cast<std::uint16_t>(value)));
            return buf;
        default:
            std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(value & 0xFFFF));
            return buf;
    }
}

// The cell at (row, col) when it shows an operand text, else null: not in a
// block-comment row, of a kind that bears a device, with a device letter; of
// a text operand only its first cell, which shows all eight characters.
const std::uint8_t* OperandCell(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    if (col < 0 || col > kLdbLastColumn) return nullptr;
    const std::uint8_t* rowStart = CellAt(grid, row, 0);
    if (IsBlockCommentRow(rowStart)) return nullptr;
    const std::uint8_t* cell = rowStart + col;
    switch (CellKind(cell)) {
        case TLdbKind::Open_Ry: case TLdbKind::Close_Ry: case TLdbKind::Out_Ry: case TLdbKind::State_Ry:
        case TLdbKind::Tu_Ry: case TLdbKind::Td_Ry: case TLdbKind::Spec_Token:
            break;
        default:
            return nullptr;
    }
    const std::uint8_t type = CellDevType(cell);
    if (type == CellDev::Text) return col == 35 ? cell : nullptr;
    const char letter = DeviceTypeToLetter(type);
    return letter == 0 || letter == 15 ? nullptr : cell;
}

// The digit count of a "Kn" group before a token's device; 0 when none.
int DigitGroup(const std::uint8_t* cell) {
    return CellKind(cell) == TLdbKind::Spec_Token ? (cell[1] & 0x0F) : 0;
}

}  // namespace

std::string CellOperandText(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    const std::uint8_t* cell = OperandCell(grid, row, col);
    if (!cell) return {};
    const std::uint8_t type = CellDevType(cell);
    if (type == CellDev::Text) {
        // Eight characters held two per cell in the tokens of columns 35..50.
        std::string text;
        for (const std::uint8_t* t = cell; t <= cell + 15; t += kLdbCellBytes) {
            for (int k = 3; k <= 4; ++k) {
                if (t[k] == 0) return text;
                text += static_cast<char>(t[k]);
            }
        }
        return text;
    }
    const char letter = DeviceTypeToLetter(type);
    const bool token = CellKind(cell) == TLdbKind::Spec_Token;
    const bool is32 = token && col + kLdbCellBytes <= kLdbLastColumn &&
                      CellKind(cell + kLdbCellBytes) == TLdbKind::Token_32bs;
    std::int64_t value = CellOperand(cell);
    if (is32 && (type == CellDev::K || type == CellDev::H))
        value |= static_cast<std::int64_t>(CellOperand(cell + kLdbCellBytes)) << 16;
    std::string text;
    const int digits = DigitGroup(cell);
    if (digits != 0) text = "K" + std::to_string(digits);
    text += letter;
    if (!((letter == 'E' || letter == 'F') && value == 0)) text += Radix(type, value, is32);
    if (token && letter != 'E' && letter != 'F') text += IndexRegText(TokenIndexReg(cell[0]));
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::toupper(ch); });
    return text;
}

char CellOperandLead(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    const std::uint8_t* cell = OperandCell(grid, row, col);
    if (!cell) return 0;
    if (CellDevType(cell) == CellDev::Text) return static_cast<char>(cell[3]);  // shown as typed
    if (DigitGroup(cell) != 0) return 'K';
    return static_cast<char>(std::toupper(static_cast<unsigned char>(DeviceTypeToLetter(CellDevType(cell)))));
}

std::string RowLabelText(TLabelTables labels, std::int32_t row) {
    if (!labels.pRows || !labels.iRows || row < 0) return {};
    std::int32_t n = 0;
    switch (FindRowLabelIn(labels, row, n)) {
        case TLabelKind::P: return "P" + std::to_string(n);
        case TLabelKind::I: {
            char buf[8];
            std::snprintf(buf, sizeof buf, "I%03d", static_cast<int>(n));
            return buf;
        }
        default: return {};
    }
}

std::vector<std::string> CommentLines(std::string_view text, std::size_t lineBytes, std::size_t maxLines) {
    // Widths count as in the double-byte code page comments were sized for:
    // one unit for an ASCII character, two for any other, which is never split.
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size() && lines.size() < maxLines) {
        std::size_t width = 0, end = at;
        while (end < text.size()) {
            const unsigned char lead = static_cast<unsigned char>(text[end]);
            std::size_t len = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            len = std::min(len, text.size() - end);
            const std::size_t w = lead < 0x80 ? 1 : 2;
            if (width + w > lineBytes) break;
            width += w;
            end += len;
        }
        if (end == at) break;  // nothing fits a line this narrow
        lines.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

bool CellCommentDevice(const std::uint8_t* cell, char& letter, std::int32_t& number) {
    switch (CellKind(cell)) {
        case TLdbKind::Open_Ry: case TLdbKind::Close_Ry: case TLdbKind::Out_Ry: case TLdbKind::State_Ry:
        case TLdbKind::Tu_Ry: case TLdbKind::Td_Ry: case TLdbKind::Spec_Token:
            break;
        default:
            return false;
    }
    const char l = DeviceTypeToLetter(CellDevType(cell));
    if (l == 0 || std::strchr("XYMSTCDPI", l) == nullptr) return false;
    letter = l;
    number = CellOperand(cell);
    return true;
}

std::string BoxMnemonic(const std::uint8_t* cell) {
    const int index = OpcodeToIndex(CellOperand(cell));
    if (index < 0 || index >= kInstCount) return "?";
    return gInstMnemonic[index];
}
