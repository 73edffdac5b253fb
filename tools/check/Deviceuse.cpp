#include "tools/check/Deviceuse.h"

#include <algorithm>

#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"
#include "ladder/model/LadderGrid.h"
#include "tools/check/Instoperands.h"

namespace {

int Base(char letter) { return (letter == 'X' || letter == 'Y') ? 8 : 10; }

std::string InBase(int value, int base) {
    if (value == 0) return "0";
    std::string s;
    for (; value > 0; value /= base) s.insert(s.begin(), static_cast<char>('0' + value % base));
    return s;
}

void Mark(std::vector<bool>& used, int number) {
    if (number >= 0 && number < static_cast<int>(used.size())) used[static_cast<std::size_t>(number)] = true;
}

}  // namespace

int UseMapPageSize(char letter) { return Base(letter) * Base(letter); }

std::vector<bool> DevicesUsedInCode(const std::uint8_t* code, std::uint32_t capacity, char letter, int highest) {
    std::vector<bool> used(static_cast<std::size_t>(std::max(highest, 0)) + 1, false);
    if (!code) return used;
    for (std::uint32_t offset = 0; offset + 2 <= capacity;) {
        ForEachInstructionOperand(code, capacity, offset, [&](const TDeviceRecord& rec) {
            if (DeviceLetterFromType(rec.type) == letter) Mark(used, rec.number);
        });
        const std::uint32_t next = NextInstructionOffset(offset, code, capacity);
        if (next <= offset) break;
        offset = next;
    }
    return used;
}

std::vector<bool> DevicesUsedInLadder(const std::uint8_t* grid, std::int32_t lastRow, char letter, int highest) {
    std::vector<bool> used(static_cast<std::size_t>(std::max(highest, 0)) + 1, false);
    if (!grid) return used;
    for (std::int32_t row = 0; row <= lastRow; ++row) {
        const std::uint8_t* r = grid + static_cast<std::size_t>(row) * kLdbRowBytes;
        if (IsBlockCommentRow(r)) continue;  // its bytes are text, not devices
        for (int c = 0; c < kLdbRowCells; ++c) {
            const std::uint8_t* cell = r + c * kLdbCellBytes;
            if (DeviceLetterFromType(cell[2] & 0x0F) != letter) continue;
            Mark(used, cell[3] | (cell[4] << 8));
        }
    }
    return used;
}

long FirstStepUsing(const std::uint8_t* code, std::uint32_t capacity, char letter, int number) {
    if (!code) return -1;
    for (std::uint32_t offset = 0; offset + 2 <= capacity;) {
        bool hit = false;
        ForEachInstructionOperand(code, capacity, offset, [&](const TDeviceRecord& rec) {
            hit = hit || (DeviceLetterFromType(rec.type) == letter && static_cast<int>(rec.number) == number);
        });
        if (hit) return static_cast<long>(offset / 2);
        const std::uint32_t next = NextInstructionOffset(offset, code, capacity);
        if (next <= offset) break;
        offset = next;
    }
    return -1;
}

TUseMapPage BuildUseMapPage(char letter, int page, int highest, const std::vector<bool>& used) {
    TUseMapPage grid;
    grid.fill(std::string(kUseMapColumns, ' '));
    const int base = Base(letter);
    const int size = base * base;
    const int start = page * size;
    const int end = std::min(start + size - 1, highest);
    for (int k = 0; k < base; ++k) {
        grid[0][static_cast<std::size_t>(10 + 2 * k)] = '+';
        grid[0][static_cast<std::size_t>(11 + 2 * k)] = static_cast<char>('0' + k);
    }
    if (end < start) return grid;
    const int rows = (end - start + 1 + base - 1) / base;
    for (int r = 0; r < rows && r + 1 < kUseMapRows; ++r) {
        std::string& line = grid[static_cast<std::size_t>(r + 1)];
        line[0] = letter;
        const std::string label = InBase(start + r * base, base);
        line.replace(1, label.size(), label);
    }
    for (int d = start; d <= end; ++d) {
        if (d >= static_cast<int>(used.size()) || !used[static_cast<std::size_t>(d)]) continue;
        grid[static_cast<std::size_t>((d - start) / base + 1)][static_cast<std::size_t>(11 + 2 * ((d - start) % base))] = 'U';
    }
    return grid;
}

int DeviceAtUseMapCell(char letter, int page, int highest, int row, int column) {
    const int base = Base(letter);
    if (row < 1 || column < 11 || (column - 11) % 2 != 0 || (column - 11) / 2 >= base) return -1;
    const int d = page * base * base + (row - 1) * base + (column - 11) / 2;
    if (row - 1 >= base || d > highest) return -1;
    return d;
}
