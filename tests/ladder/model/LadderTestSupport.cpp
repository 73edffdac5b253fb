#include "LadderTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "ladder/model/LadderGrid.h"
#include "ladder/model/Ladtranslate.h"

std::vector<std::uint8_t> AssembleLines(const std::vector<std::string>& lines) {
    SetCurrentFamily(2);
    std::vector<std::uint8_t> code;
    for (const std::string& line : lines) {
        EXPECT_TRUE(SetInputText(line)) << line;
        const int ok = AssembleInstruction();
        EXPECT_EQ(ok, 1) << "cannot assemble: " << line;
        if (ok != 1) continue;
        code.insert(code.end(), gInsnBuf.code, gInsnBuf.code + gInsnBuf.length);
    }
    return code;
}

std::vector<std::uint8_t> ProgramImage(const std::vector<std::string>& lines, std::uint32_t capacity) {
    std::vector<std::uint8_t> image(capacity, 0xFF);
    const std::vector<std::uint8_t> code = AssembleLines(lines);
    EXPECT_LE(code.size(), capacity);
    std::copy(code.begin(), code.begin() + std::min<std::size_t>(code.size(), capacity), image.begin());
    return image;
}

std::vector<std::string> DumpGrid(const std::uint8_t* grid, std::int32_t rows) {
    std::vector<std::string> out;
    for (std::int32_t r = 0; r < rows; ++r) {
        const std::uint8_t* row = CellAt(grid, r, 0);
        if (IsBlockCommentRow(row)) {
            out.push_back("comment:" + BlockCommentText(row));
            continue;
        }
        std::vector<std::string> cells;
        std::size_t lastUsed = 0;
        for (int i = 0; i < kLdbRowCells; ++i) {
            const std::uint8_t* cell = row + i * kLdbCellBytes;
            if (std::all_of(cell, cell + kLdbCellBytes, [](std::uint8_t b) { return b == 0; })) {
                cells.emplace_back(".");
                continue;
            }
            const TLdbKind kind = CellKind(cell);
            std::string s = LdbKindName(kind);
            s += ':';
            if (IsTokenKind(kind)) {
                s += 'n';
                s += std::to_string(cell[1] & 0x0F);
            } else {
                s += LdbNodeName(CellNode(cell));
            }
            if (CellLinksDown(cell)) s += 'v';
            char buf[16];
            if (cell[2] & 0xE0) {  // link bits that never occur
                std::snprintf(buf, sizeof buf, "!%02X", cell[2] & 0xE0);
                s += buf;
            }
            // Every byte shows: a device as its text, anything else as the raw
            // operand word and device type.
            const std::string dev = (kind == TLdbKind::Spec_Fun || kind == TLdbKind::Comp_Ry ||
                                     kind == TLdbKind::Re_Line || kind == TLdbKind::Token_32bs)
                                        ? std::string()
                                        : CellDeviceText(grid, r, i);
            if (!dev.empty()) {
                s += ':';
                s += dev;
            } else if (kind == TLdbKind::Spec_Fun || kind == TLdbKind::Comp_Ry || kind == TLdbKind::Re_Line ||
                       kind == TLdbKind::Token_32bs || CellOperand(cell) != 0 || CellDevType(cell) != 0) {
                std::snprintf(buf, sizeof buf, ":%04X", CellOperand(cell));
                s += buf;
                if (CellDevType(cell)) {
                    s += '/';
                    s += std::to_string(CellDevType(cell));
                }
            }
            if (cell[0] != 0) {  // token modifier, or the row flags in cell 0
                std::snprintf(buf, sizeof buf, "#%02X", cell[0]);
                s += buf;
            }
            cells.push_back(s);
            lastUsed = cells.size();
        }
        cells.resize(lastUsed);
        std::string line;
        for (const std::string& c : cells) {
            if (!line.empty()) line += ' ';
            line += c;
        }
        out.push_back(line);
    }
    return out;
}
