#include "simulator/SimLadder.h"

#include <cstdio>

#include "ladder/model/LadderGrid.h"
#include "project/Qelglobals.h"
#include "simulator/SimOperand.h"
#include "simulator/Simuplc.h"

namespace {

// The cell at (row, col), or null for a column outside the row's cells or a
// block-comment row (whose bytes are text).
const std::uint8_t* ElementCell(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    if (!grid || row < 0 || col < 0 || col > kLdbLastColumn || col % kLdbCellBytes != 0) return nullptr;
    if (IsBlockCommentRow(CellAt(grid, row, 0))) return nullptr;
    return CellAt(grid, row, col);
}

char DeviceLetter(std::uint8_t type) {
    switch (type) {
        case CellDev::C: return 'C';
        case CellDev::D: return 'D';
        case CellDev::M: return 'M';
        case CellDev::S: return 'S';
        case CellDev::T: return 'T';
        case CellDev::X: return 'X';
        case CellDev::Y: return 'Y';
        default: return 0;
    }
}

std::int32_t CellNumber(const std::uint8_t* cell) { return static_cast<std::int16_t>(CellOperand(cell)); }

// The value of device `letter` `n` (T, C or D), 32 bits wide when `wide`.
bool DeviceValue(const TSimMemory& mem, char letter, std::int64_t n, bool& wide, std::int64_t& value) {
    switch (letter) {
        case 'T':
            if (n < 0 || n >= kSimT) return false;
            value = static_cast<std::int16_t>(mem.TPV[n]);
            wide = false;
            return true;
        case 'C':
            if (n < 0 || n >= kSimC) return false;
            wide = n >= kSimC16;
            value = wide ? mem.CPV32[n - kSimC16] : static_cast<std::int16_t>(mem.CPV[n]);
            return true;
        case 'D':
            if (n < 0 || n >= kSimD || (wide && n + 1 >= kSimD)) return false;
            value = wide ? static_cast<std::int32_t>(mem.D[n] | (std::uint32_t{mem.D[n + 1]} << 16))
                         : static_cast<std::int16_t>(mem.D[n]);
            return true;
        default: return false;
    }
}

std::string FormatValue(std::int64_t value, bool wide, TSimValueFormat format) {
    const std::uint32_t bits = wide ? static_cast<std::uint32_t>(value) : static_cast<std::uint16_t>(value);
    char text[24];
    switch (format) {
        case TSimValueFormat::Hexadecimal:
            std::snprintf(text, sizeof text, "H%x", static_cast<unsigned>(bits));
            return text;
        case TSimValueFormat::Characters: {
            std::string s;
            for (int shift = wide ? 24 : 8; shift >= 0; shift -= 8) {
                const unsigned char c = static_cast<unsigned char>(bits >> shift);
                s += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
            }
            return s;
        }
        case TSimValueFormat::Decimal: break;
    }
    std::snprintf(text, sizeof text, "K%lld", static_cast<long long>(value));
    return text;
}

}  // namespace

int SimCellDeviceArray(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    const std::uint8_t* cell = ElementCell(grid, row, col);
    if (!cell) return -1;
    switch (CellKind(cell)) {
        case TLdbKind::Open_Ry:
        case TLdbKind::Close_Ry:
        case TLdbKind::Out_Ry:
        case TLdbKind::State_Ry: break;
        default: return -1;
    }
    const char letter = DeviceLetter(CellDevType(cell));
    if (!letter || letter == 'D') return -1;
    return SimBitIndexOf(letter, CellNumber(cell));
}

int SimCellState(const TSimMemory& mem, const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    const int bit = SimCellDeviceArray(grid, row, col);
    if (bit < 0) return 0;
    const int on = mem.bits[bit] == 1 ? 1 : 0;
    return CellKind(CellAt(grid, row, col)) == TLdbKind::Close_Ry ? on ^ 1 : on;
}

std::string SimCellValueText(const TSimMemory& mem, const std::uint8_t* grid, std::int32_t row,
                             std::int32_t col, TSimValueFormat format) {
    const std::uint8_t* cell = ElementCell(grid, row, col);
    if (!cell) return {};
    const TLdbKind kind = CellKind(cell);
    const bool token = kind == TLdbKind::Spec_Token;
    if (!token && kind != TLdbKind::Open_Ry && kind != TLdbKind::Close_Ry && kind != TLdbKind::Tu_Ry &&
        kind != TLdbKind::Td_Ry)
        return {};
    const char letter = DeviceLetter(CellDevType(cell));
    if (letter != 'T' && letter != 'C' && letter != 'D') return {};
    // A digit group (K4M0) is a token of M, X, Y or S, so it never gets here.
    std::int64_t n = CellNumber(cell);
    bool wide = token && TokenIs32(cell[0]);
    if (token) {
        const TIndexReg reg = TokenIndexReg(cell[0]);
        if (reg.letter) {
            TSimSlot slot;
            slot.indexReg = static_cast<std::uint8_t>((reg.letter == 'E' ? 1 : 2) + 2 * reg.number);
            n += static_cast<std::int16_t>(mem.D[SimIndexRegisterD(slot.indexReg)]);
        }
    }
    std::int64_t value = 0;
    if (!DeviceValue(mem, letter, n, wide, value)) return {};
    return FormatValue(value, wide, format);
}

TSimLadderDisplay::TSimLadderDisplay(TPLC& plc) : plc_(plc), snapshot_(std::make_unique<TSimMemory>()) {
    ClearSimMemory(*snapshot_);
}

TSimLadderDisplay::~TSimLadderDisplay() = default;

void TSimLadderDisplay::TakeSnapshot() { plc_.ReadDevices(*snapshot_); }

TSimCellView TSimLadderDisplay::Cell(const std::uint8_t* grid, std::int32_t row, std::int32_t col,
                                     TSimValueFormat format) const {
    TSimCellView v;
    v.value = SimCellValueText(*snapshot_, grid, row, col, format);
    v.known = SimCellDeviceArray(grid, row, col) >= 0 || !v.value.empty();
    v.on = SimCellState(*snapshot_, grid, row, col) != 0;
    return v;
}

bool TSimLadderDisplay::ToggleSimCellDevice(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    const int bit = SimCellDeviceArray(grid, row, col);
    if (bit < 0) return false;
    plc_.ToggleBit(bit);
    return true;
}

TSimValueFormat SimValueFormat() {
    switch (gQel.ValueFormat) {
        case 1: return TSimValueFormat::Hexadecimal;
        case 2: return TSimValueFormat::Characters;
        default: return TSimValueFormat::Decimal;
    }
}
