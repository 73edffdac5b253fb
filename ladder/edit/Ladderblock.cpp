#include "ladder/edit/Ladderblock.h"

#include <algorithm>
#include <cstring>

#include "project/Qelglobals.h"

namespace {

constexpr std::int32_t kW = kLdbCellBytes;

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

std::uint32_t GetU32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= static_cast<std::uint32_t>(p[k]) << (8 * k);
    return v;
}

// Cells of one part (a run of whole cells within a row): known kinds, nodes
// and device types, row flags only where a row starts whole, and operand
// tokens only right after their box, compare or another token.
bool PartIsSound(const std::uint8_t* p, std::int32_t length, bool wholeRow) {
    if (length % kW != 0 || length > kLdbRowBytes) return false;
    if (length == 0) return true;
    if (wholeRow && IsBlockCommentRow(p)) return (p[0] & 0x0F) == 0;
    TLdbKind before = TLdbKind::non_inst;
    for (std::int32_t off = 0; off < length; off += kW) {
        const std::uint8_t* cell = p + off;
        if ((cell[1] >> 4) > static_cast<int>(TLdbKind::Comp_Ry)) return false;
        if ((cell[1] & 0x0F) > static_cast<int>(TLdbNode::RD)) return false;
        if ((cell[2] & 0xE0) != 0) return false;
        const TLdbKind kind = CellKind(cell);
        if (IsTokenKind(kind)) {
            if (off == 0) return false;
            if (before != TLdbKind::Spec_Fun && before != TLdbKind::Comp_Ry && !IsTokenKind(before)) return false;
            if ((cell[0] & 0x60) != 0) return false;
        } else if (cell[0] != 0) {
            return false;
        }
        before = kind;
    }
    return true;
}

}  // namespace

TLadderBlock CopyLadderBlock(const std::uint8_t* grid, const TLadderSelection& sel) {
    TLadderBlock b;
    if (!grid || !sel.active) return b;
    const std::int32_t S = sel.startRow, s = std::clamp(sel.startCol, 0, kPastRowEnd);
    const std::int32_t E = sel.endRow, e = std::clamp(sel.endCol, 0, kPastRowEnd);
    if (E < S || (E == S && e <= s)) return b;
    if (E == S) {
        b.firstLength = e - s;
    } else {
        b.multiRow = true;
        b.firstLength = kPastRowEnd - s;
        if (E == S + 1) {
            b.lastLength = e;
        } else if (e < kPastRowEnd) {
            b.middleRows = E - S - 1;
            b.lastLength = e;
        } else {
            b.middleRows = E - S;
        }
    }
    const std::uint8_t* from = CellAt(grid, S, s);
    b.bytes.assign(from, from + b.Size());
    return b;
}

std::vector<std::uint8_t> EncodeLadderBlock(const TLadderBlock& b) {
    if (b.Size() <= 0) return {};
    std::vector<std::uint8_t> out(kLadderClipHeader + static_cast<std::size_t>(b.Size()));
    std::uint8_t* h = out.data();
    PutU32(h + 0, static_cast<std::uint32_t>(out.size()));
    PutU32(h + 4, static_cast<std::uint32_t>(b.middleRows));
    PutU32(h + 8, 0);
    PutU32(h + 12, static_cast<std::uint32_t>(b.firstLength));
    PutU32(h + 16, b.multiRow ? static_cast<std::uint32_t>(b.firstLength) : 0);
    PutU32(h + 20, static_cast<std::uint32_t>(b.MiddleLength()));
    PutU32(h + 24, b.multiRow ? static_cast<std::uint32_t>(b.firstLength + b.MiddleLength()) : 0);
    PutU32(h + 28, static_cast<std::uint32_t>(b.lastLength));
    std::memcpy(h + kLadderClipHeader, b.bytes.data(), b.bytes.size());
    return out;
}

bool DecodeLadderBlock(const std::uint8_t* data, std::size_t size, std::int32_t maxRows, TLadderBlock& out) {
    if (!data || size < kLadderClipHeader) return false;
    const std::uint32_t total = GetU32(data + 0), rows = GetU32(data + 4);
    const std::uint32_t firstOff = GetU32(data + 8), firstLen = GetU32(data + 12);
    const std::uint32_t midOff = GetU32(data + 16), midLen = GetU32(data + 20);
    const std::uint32_t lastOff = GetU32(data + 24), lastLen = GetU32(data + 28);
    // Every length is checked small before any sum is formed.
    if (firstOff != 0 || firstLen == 0 || firstLen > kLdbRowBytes || lastLen > kLdbRowBytes) return false;
    // The rows it covers: the first, the middle ones and the last part's.
    if (maxRows < 0 || rows + (GetU32(data + 24) != 0 ? 2u : 1u) > static_cast<std::uint32_t>(maxRows)) return false;
    if (midLen != rows * kLdbRowBytes) return false;
    const std::uint64_t blockBytes = std::uint64_t{firstLen} + midLen + lastLen;
    if (total != kLadderClipHeader + blockBytes || total > size) return false;
    const bool multi = lastOff != 0;
    if (multi) {
        if (midOff != firstLen || lastOff != firstLen + midLen) return false;
    } else if (midOff != 0 || rows != 0 || lastLen != 0) {
        return false;
    }
    // A block reaching past its first row runs from the first part's start to
    // the row's end, so the first part then ends at column 60.
    const std::uint8_t* bytes = data + kLadderClipHeader;
    const bool firstWhole = firstLen == kLdbRowBytes;
    if (!PartIsSound(bytes, static_cast<std::int32_t>(firstLen), firstWhole)) return false;
    for (std::uint32_t r = 0; r < rows; ++r)
        if (!PartIsSound(bytes + firstLen + r * kLdbRowBytes, kLdbRowBytes, true)) return false;
    if (!PartIsSound(bytes + firstLen + midLen, static_cast<std::int32_t>(lastLen), lastLen == kLdbRowBytes))
        return false;
    TLadderBlock b;
    b.multiRow = multi;
    b.firstLength = static_cast<std::int32_t>(firstLen);
    b.middleRows = static_cast<std::int32_t>(rows);
    b.lastLength = static_cast<std::int32_t>(lastLen);
    b.bytes.assign(bytes, bytes + blockBytes);
    out = std::move(b);
    return true;
}

std::vector<std::uint8_t> EncodeBlockBeside(const TLadderBlock& b) {
    std::vector<std::uint8_t> out(4);
    PutU32(out.data(), static_cast<std::uint32_t>(b.beside.size()));
    for (const TBlockRowBeside& r : b.beside) {
        const std::size_t at = out.size();
        const std::size_t len = std::min(r.comment.size(), kBesideCommentMax);
        out.resize(at + 16 + len);
        PutU32(out.data() + at, static_cast<std::uint32_t>(r.row));
        PutU32(out.data() + at + 4, static_cast<std::uint32_t>(r.pLabel));
        PutU32(out.data() + at + 8, static_cast<std::uint32_t>(r.iLabel));
        PutU32(out.data() + at + 12, static_cast<std::uint32_t>(len));
        std::memcpy(out.data() + at + 16, r.comment.data(), len);
    }
    return out;
}

bool DecodeBlockBeside(const std::uint8_t* data, std::size_t size, TLadderBlock& block) {
    if (!data || size < 4) return false;
    const std::uint32_t count = GetU32(data);
    if (count > static_cast<std::uint32_t>(block.Rows())) return false;
    std::vector<TBlockRowBeside> list;
    std::size_t at = 4;
    for (std::uint32_t k = 0; k < count; ++k) {
        if (size - at < 16) return false;
        TBlockRowBeside r;
        r.row = static_cast<std::int32_t>(GetU32(data + at));
        r.pLabel = static_cast<std::int32_t>(GetU32(data + at + 4));
        r.iLabel = static_cast<std::int32_t>(GetU32(data + at + 8));
        const std::uint32_t len = GetU32(data + at + 12);
        at += 16;
        if (r.row < 0 || r.row >= block.Rows() || (!list.empty() && r.row <= list.back().row)) return false;
        if (r.pLabel < -1 || r.pLabel >= kPLabelCount || r.iLabel < -1 || r.iLabel >= kILabelCount) return false;
        if (len > kBesideCommentMax || size - at < len) return false;
        r.comment.assign(reinterpret_cast<const char*>(data + at), len);
        at += len;
        list.push_back(std::move(r));
    }
    if (at != size) return false;
    block.beside = std::move(list);
    return true;
}
