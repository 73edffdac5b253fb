#include "ladder/model/LadderGrid.h"

#include <algorithm>
#include <cstring>

const char* const kCompareOperatorText[kCompareCodeCount] = {
    "=", "D=", ">", "D>", "<", "D<", "<>", "D<>", "<=", "D<=", ">=", "D>=",
};

namespace {
const char* const kKindNames[16] = {
    "non_inst", "Open_Ry",    "Close_Ry", "Out_Ry", "Spec_Fun", "H_Line", "V_Line", "Re_Line",
    "Spec_Token", "Token_32bs", "State_Ry", "Tu_Ry", "Td_Ry",   "Inv_Ry", "Comp_Ry", "?",
};
const char* const kNodeNames[16] = {
    "non_node", "vl", "hl", "LU", "UhDv", "RU", "LvRh", "Cros", "LhRv", "LD", "UvDh", "RD",
    "?", "?", "?", "?",
};
}  // namespace

const char* LdbKindName(TLdbKind kind) { return kKindNames[static_cast<unsigned>(kind) & 0x0F]; }

const char* LdbNodeName(TLdbNode node) { return kNodeNames[static_cast<unsigned>(node) & 0x0F]; }

std::string BlockCommentText(const std::uint8_t* row) {
    const char* text = reinterpret_cast<const char*>(row + 1);
    return std::string(text, strnlen(text, kBlockCommentChars));
}

void SetBlockCommentRow(std::uint8_t* row, const std::string& text) {
    std::size_t n = std::min<std::size_t>(text.size(), kBlockCommentChars);
    // Never end inside a UTF-8 sequence: back off over continuation bytes.
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memset(row, 0, kLdbRowBytes);
    row[0] = kRowBlockComment;
    std::memcpy(row + 1, text.data(), n);
}

std::string IndexRegText(TIndexReg reg) {
    if (reg.letter != 'E' && reg.letter != 'F') return {};
    std::string s(1, reg.letter);
    if (reg.number != 0) s += static_cast<char>('0' + (reg.number & 0x07));
    return s;
}

void ResetLabelTables(TLabelTables tables) {
    std::fill(tables.pRows, tables.pRows + kPLabelCount, -1);
    std::fill(tables.iRows, tables.iRows + kILabelCount, -1);
}
