#include "tools/check/Comments.h"

#include "core/DeviceLimits.h"
#include "ladder/model/LadderGrid.h"
#include "project/Qelglobals.h"

namespace {

// Family 0's high-speed counters that follow C127 in its list.
constexpr int kFamily0HighCounters[] = {235, 236, 237, 238, 241, 242, 244, 246, 247, 249, 251, 252, 254};

}  // namespace

std::vector<int> CommentRowNumbers(int family, int list) {
    std::vector<int> rows;
    if (list < 0 || list >= kCommentListCount) return rows;
    const char letter = kCommentLetters[list];
    const int limit = DeviceLimitOf(family, letter);
    if (family == 0 && letter == 'C') {
        for (int n = 0; n <= 127 && n <= limit; ++n) rows.push_back(n);
        for (int n : kFamily0HighCounters)
            if (n <= limit) rows.push_back(n);
    } else if (family == 0 && letter == 'I') {
        for (int h = 0; h <= 4; ++h)
            for (int n : {h * 100, h * 100 + 1})
                if (n <= limit) rows.push_back(n);
    } else if (family == 0 && letter == 'D') {
        for (int n = 0; n <= 599 && n <= limit; ++n) rows.push_back(n);
        for (int n = 1000; n <= limit; ++n) rows.push_back(n);
    } else {
        for (int n = 0; n <= limit; ++n) rows.push_back(n);
    }
    return rows;
}

std::string DeviceNameOf(int list, int number) {
    if (list < 0 || list >= kCommentListCount || number < 0) return {};
    const char letter = kCommentLetters[list];
    const int base = (letter == 'X' || letter == 'Y') ? 8 : 10;
    std::string digits;
    int v = number;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + v % base));
        v /= base;
    } while (v > 0);
    return std::string(1, letter) + digits;
}

std::string RungRowLabel(const std::uint8_t* rowBytes, int row) {
    std::string label = std::to_string(row);
    if (!rowBytes || IsBlockCommentRow(rowBytes)) return label;
    const std::uint8_t* last = rowBytes + kLdbLastColumn;
    switch (CellKind(last)) {
    case TLdbKind::Out_Ry:
    case TLdbKind::Spec_Fun:
    case TLdbKind::Spec_Token:
    case TLdbKind::Token_32bs: return "*" + label;
    default: return label;
    }
}

std::string EncodeCommentLines(const std::vector<std::string>& comments) {
    std::string text;
    for (const std::string& c : comments) text += c + "\r\n";
    return text;
}

std::vector<std::string> DecodeCommentLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            continue;
        }
        if (IsCommentControl(c)) return {};
        line += c;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}
