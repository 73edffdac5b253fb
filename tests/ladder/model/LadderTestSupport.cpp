#include "LadderTestSupport.h"

#include <gtest/gtest.h>

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
            bool empty = true;
            for (int b = (i == 0 ? 1 : 0); b < kLdbCellBytes; ++b) empty = empty && cell[b] == 0;
            if (empty) {
                cells.push_back(".");
                continue;
            }
            const TLdbKind kind = CellKind(cell);
            std::string s = LdbKindName(kind);
            if (IsTokenKind(kind)) {
                s += ":n" + std::to_string(cell[1] & 0x0F);
            } else {
                s += std::string(":") + LdbNodeName(CellNode(cell));
            }
            if (CellLinksDown(cell)) s += "v";
            char buf[16];
            if (kind == TLdbKind::Spec_Fun || kind == TLdbKind::Comp_Ry || kind == TLdbKind::Re_Line ||
                kind == TLdbKind::Token_32bs) {
                std::snprintf(buf, sizeof buf, ":%04X", CellOperand(cell));
                s += buf;
                if (CellDevType(cell)) s += "/" + std::to_string(CellDevType(cell));
            } else {
                const std::string dev = CellDeviceText(grid, r, i);
                if (!dev.empty()) s += ":" + dev;
            }
            if (i > 0 && cell[0] != 0) {
                std::snprintf(buf, sizeof buf, "#%02X", cell[0]);
                s += buf;
            }
            cells.push_back(s);
            lastUsed = cells.size();
        }
        cells.resize(lastUsed);
        std::string line;
        for (const std::string& c : cells) line += (line.empty() ? "" : " ") + c;
        out.push_back(line);
    }
    return out;
}
