// The ladder's on-line monitor: lists from the visible cells, the poll states
// and the cell states the painter shows.
//
// States: 8 write the bit list, 9 read the bit states, 10 read one word
// (PLCs without block monitoring), 11 write the word list (count held at 0),
// 25 write the word count, 12 read the word values in blocks, 0 idle.
#include "link/online/Ladmonitor.h"

#include <algorithm>
#include <cstdio>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "ladder/model/LadderGrid.h"

namespace qel::link {

namespace {

constexpr int kListChunk = 16;
constexpr int kBlockEntries = 8;

enum { kCoilBase, kDevListBase, kBitValueBase, kWordListBase, kWordValueBase };

// First operand token of the box whose head is at (row, col): its device type.
std::uint8_t FirstTokenType(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    if (col + kLdbCellBytes > kLdbLastColumn) return CellDev::None;
    const std::uint8_t* t = CellAt(grid, row, col + kLdbCellBytes);
    return IsTokenCell(t) ? CellDevType(t) : CellDev::None;
}

}  // namespace

// ---------------------------------------------------------------------------
// Lists

int TLadMonitor::AddBit(std::uint16_t address) {
    if (gMonitorBitListBytes / 2 >= gMonitorBitList.size()) return -1;
    const int e = static_cast<int>(gMonitorBitListBytes / 2);
    gMonitorBitList[static_cast<std::size_t>(e)] = address;
    gMonitorBitListBytes += 2;
    return e;
}

void TLadMonitor::AddWord(Slots& s, char letter, unsigned n, bool wide) {
    const std::string name = letter + std::to_string(n);
    TWordAddress a = WordDeviceAddress(name, wide, CurrentFamily());
    // A 32-bit operand on a device without a pair (T255, C199): its own
    // register alone, never the next device's.
    if (a.Msg == kMsgSetRange) a = WordDeviceAddress(name, false, CurrentFamily());
    if (a.Msg >= 0) return;
    s.word = AddWordEntry(gMonitorWordList.data(), gMonitorWordReads.data(), gMonitorWordListBytes,
                          gMonitorWordList.size(), a, s.high);
    if (s.word >= 0) gMonitorWideFlags[static_cast<std::size_t>(s.word)] = wide;
}

void TLadMonitor::BuildMonitorList(TTransData& link) {
    gMonitorBitList.fill(0);
    gMonitorWordList.fill(0);
    gMonitorBitListBytes = gMonitorWordListBytes = 0;
    gMonitorWideFlags.fill(false);
    gMonitorWordReads.fill(TWordRead::One);
    gMonitorBlockOffset = 0;
    valueSlot_ = 0;
    ClearValues();
    cells_.clear();
    std::pair<std::int32_t, std::int32_t> rows = VisibleRows ? VisibleRows() : std::pair<std::int32_t, std::int32_t>{0, -1};
    // The last row is clamped to the grid.
    rows.first = std::max(rows.first, 0);
    rows.second = std::min(rows.second, Capacity - 1);
    BuiltRows = rows;
    if (Grid) {
        for (std::int32_t row = rows.first; row <= rows.second; ++row) {
            if (IsBlockCommentRow(Grid + static_cast<std::size_t>(row) * kLdbRowBytes)) continue;
            gMonitorOperandMode = 0;
            for (std::int32_t col = 0; col <= kLdbLastColumn && gMonitorBitListBytes < 2 * gMonitorBitList.size();
                 col += kLdbCellBytes)
                CollectCellDevices(row, col);
        }
    }
    gMonitorOperandMode = 0;
    MonitorIndex = 0;
    if (gMonitorBitListBytes) {
        MonitorState = 8;
        if (link.MaySend) link.StartComTmr();
    } else if (!gMonitorWordListBytes) {
        // Nothing on screen: the turns show the scan time and run state.
        MonitorState = 10;
        link.ClientReplyCount = 20;
        if (link.MaySend) link.RequestScanTime();
    } else {
        MonitorState = link.BlockMonitor ? 11 : 10;
        if (link.MaySend) link.StartComTmr();
    }
    if (OnValues) OnValues();
}

void TLadMonitor::CollectCellDevices(std::int32_t row, std::int32_t col) {
    const std::uint8_t* cell = CellAt(Grid, row, col);
    const TLdbKind kind = CellKind(cell);
    const std::uint16_t operand = CellOperand(cell);
    switch (kind) {
    case TLdbKind::Spec_Fun:
        if (operand == 3 || operand == 5)
            gMonitorOperandMode = 2;  // TMR, CNT
        else if (operand == 6)
            gMonitorOperandMode = 4;  // DCNT
        else if (operand == 525 || (cell[4] >> 4) == 0xD)
            gMonitorOperandMode = 5;  // SET (basic and long form)
        else if ((operand & 1) && operand != 7)
            gMonitorOperandMode = 3;  // a 32-bit instruction
        else
            gMonitorOperandMode = 1;
        return;
    case TLdbKind::Comp_Ry:
        gMonitorOperandMode = (operand & 1) ? 3 : 1;
        return;
    case TLdbKind::Spec_Token:
    case TLdbKind::Token_32bs:
        break;  // keep the mode of their box
    default:
        gMonitorOperandMode = 0;
        break;
    }
    if (kind != TLdbKind::Open_Ry && kind != TLdbKind::Close_Ry && kind != TLdbKind::Out_Ry &&
        kind != TLdbKind::Spec_Token && kind != TLdbKind::State_Ry)
        return;

    const std::uint8_t mode = kind == TLdbKind::Spec_Token ? gMonitorOperandMode : 0;
    const unsigned n = operand;
    Slots s;
    // An indexed operand (D0E) names a device only the running program
    // knows: no state or value is shown rather than those of D0.
    if (kind == TLdbKind::Spec_Token && TokenIndexReg(cell[0]).letter != 0) return;
    switch (CellDevType(cell)) {
    case CellDev::C:
        if (mode == 0) {
            s.bit = AddBit(static_cast<std::uint16_t>(0x0E00 + n));
        } else {
            AddWord(s, 'C', n, n >= 200 || mode == 3 || mode == 4);
            if (mode == 2 || mode == 4) s.bit = AddBit(static_cast<std::uint16_t>(0x8E00 + n));
        }
        break;
    case CellDev::T:
        if (mode == 0) {
            s.bit = AddBit(static_cast<std::uint16_t>(0x0600 + n));
        } else {
            AddWord(s, 'T', n, mode == 3);
            if (mode == 2) s.bit = AddBit(static_cast<std::uint16_t>(0x8600 + n));
        }
        break;
    case CellDev::D:
    case CellDev::E:
    case CellDev::F: {
        const char letter = CellDevType(cell) == CellDev::D ? 'D' : CellDevType(cell) == CellDev::E ? 'E' : 'F';
        AddWord(s, letter, n, mode == 3 || mode == 4);
        break;
    }
    case CellDev::M:
        if (mode == 0 || mode == 5) s.bit = AddBit(static_cast<std::uint16_t>(n < 1536 ? 0x0800 + n : 0xB000 + n - 1536));
        break;
    case CellDev::S:
        if (mode == 0 || mode == 5) s.bit = AddBit(static_cast<std::uint16_t>(n));
        break;
    case CellDev::X:
        if (mode == 0) s.bit = AddBit(static_cast<std::uint16_t>(0x0400 + n));
        break;
    case CellDev::Y:
        if (mode == 0 || mode == 5) s.bit = AddBit(static_cast<std::uint16_t>(0x0500 + n));
        break;
    default:
        break;
    }
    if (s.bit >= 0 || s.word >= 0) cells_[Key(row, col)] = s;
}

// ---------------------------------------------------------------------------
// Requests and replies

std::uint8_t TLadMonitor::WriteList(TTransData& link, std::uint16_t base, const std::uint16_t* list,
                                    std::uint32_t bytes, bool countFirst) {
    const std::uint32_t entries = bytes / 2;
    std::uint32_t sent = static_cast<std::uint32_t>(MonitorIndex) / 2;
    int regs = 0;
    auto put = [&regs](std::uint16_t v) {
        gCommData[2 * regs] = v >> 8;
        gCommData[2 * regs + 1] = v & 0xFF;
        ++regs;
    };
    const std::uint16_t address = static_cast<std::uint16_t>(sent == 0 ? base : base + 1 + sent);
    if (sent == 0) put(countFirst ? static_cast<std::uint16_t>(entries) : 0);
    while (sent < entries && regs < kListChunk) put(list[sent++]);
    MonitorIndex = static_cast<std::int32_t>(sent * 2);
    gCommDataLen = static_cast<std::uint32_t>(2 * regs);
    link.SendCommand(address, static_cast<std::uint16_t>(regs), 16);
    return 1;
}

std::uint8_t TLadMonitor::SendMonitorStep(TTransData& link) {
    const bool block = link.BlockMonitor != 0;
    const std::uint32_t words = gMonitorWordListBytes / 2;
    const bool nothing = gMonitorBitListBytes == 0 && words == 0;
    if (nothing && (MonitorState == 10 || MonitorState == 11)) {
        // Nothing on screen: the scan time, and the turn passes.
        link.ClientReplyCount = 20;
        link.RequestScanTime();
        return 0;
    }
    switch (MonitorState) {
    case 8:
        if (gMonitorBitListBytes == 0) {
            MonitorState = block ? 11 : 10;
            MonitorIndex = 0;
            link.StartComTmr();
            return 0;
        }
        return WriteList(link, link.MonitorBase[kDevListBase], gMonitorBitList.data(), gMonitorBitListBytes, true);
    case 9:
        link.SendCommand(link.MonitorBase[kBitValueBase],
                         static_cast<std::uint16_t>((gMonitorBitListBytes + 31) / 32), 3);
        return 1;
    case 10: {
        const std::uint32_t i = std::min<std::uint32_t>(static_cast<std::uint32_t>(MonitorIndex) / 2, words - 1);
        link.SendCommand(gMonitorWordList[i], ReadCount(gMonitorWordReads[i]), 3);
        return 1;
    }
    case 11:
        if (words == 0) {
            MonitorState = block ? 9 : 10;
            MonitorIndex = 0;
            link.StartComTmr();
            return 0;
        }
        return WriteList(link, link.MonitorBase[kWordListBase], gMonitorWordList.data(), gMonitorWordListBytes, false);
    case 25:
        gCommData[0] = static_cast<std::uint8_t>(words >> 8);
        gCommData[1] = static_cast<std::uint8_t>(words & 0xFF);
        gCommDataLen = 2;
        link.SendCommand(link.MonitorBase[kWordListBase], 1, 16);
        return 1;
    case 12: {
        const std::uint32_t index = std::min<std::uint32_t>(static_cast<std::uint32_t>(MonitorIndex), words);
        const std::uint16_t n = static_cast<std::uint16_t>(std::min<std::uint32_t>(kBlockEntries, words - index));
        if (n == 0) {
            MonitorState = 9;
            MonitorIndex = 0;
            link.StartComTmr();
            return 0;
        }
        if (TTransData::WordValuesReachPassword(gMonitorWordList.data() + index, n)) link.ReplyCarriesPassword();
        link.SendCommand(static_cast<std::uint16_t>(link.MonitorBase[kWordValueBase] + index), n, 3);
        return 1;
    }
    default:  // 0: nothing to send
        link.StartComTmr();
        return 0;
    }
}

// The end of a cycle: the PLC's monitor areas are shared, so with other
// clients the lists are written again; alone, only after the stop command.
std::uint8_t TLadMonitor::EndOfCycle(TTransData& link) {
    if (link.MonitorClients.size() > 1) {
        MonitorState = 8;
    } else if (link.BnStopTag) {
        link.BnStopTag = 0;
        MonitorState = 8;
    } else {
        MonitorState = 9;
    }
    MonitorIndex = 0;
    // Scrolled, resized or zoomed since the lists were built: build them again.
    if (VisibleRows) {
        auto rows = VisibleRows();
        rows.first = std::max(rows.first, 0);
        rows.second = std::min(rows.second, Capacity - 1);
        if (rows != BuiltRows) gLadderMonitorRefresh = 1;
    }
    return 1;
}

std::uint8_t TLadMonitor::ReceiveMonitorStep(TTransData& link) {
    const int count = gCommDataLen >= 3 ? std::min<int>(gCommData[1], static_cast<int>(gCommDataLen) - 3) : 0;
    const std::uint8_t* d = gCommData + 2;
    const std::uint32_t words = gMonitorWordListBytes / 2;
    std::uint8_t done = 0;
    switch (MonitorState) {
    case 8:
        if (static_cast<std::uint32_t>(MonitorIndex) >= gMonitorBitListBytes) {
            MonitorState = link.BlockMonitor ? 11 : 9;
            MonitorIndex = 0;
        }
        break;
    case 11:
        if (static_cast<std::uint32_t>(MonitorIndex) >= gMonitorWordListBytes) {
            MonitorState = 25;
            MonitorIndex = 0;
            gMonitorBlockOffset = 0;
        }
        break;
    case 25:
        MonitorState = 9;
        break;
    case 9:  // StoreBitStates
        std::copy_n(d, std::min(count, 12), gMonitorBitStates.begin());
        MonitorIndex = 0;
        valueSlot_ = 0;
        gMonitorBlockOffset = 0;
        if (words == 0) {
            done = EndOfCycle(link);
        } else {
            MonitorState = link.BlockMonitor ? 12 : 10;
        }
        if (OnValues) OnValues();
        break;
    case 10: {  // StoreWordValue
        const std::uint32_t i = static_cast<std::uint32_t>(MonitorIndex) / 2;
        if (i < words) StoreWordReply(gMonitorValues[i], gMonitorWordReads[i], d, count);
        if (static_cast<std::uint32_t>(MonitorIndex) + 2 < gMonitorWordListBytes) {
            MonitorIndex += 2;
        } else {
            done = EndOfCycle(link);
            if (OnValues) OnValues();
        }
        break;
    }
    case 12: {  // StoreWordBlock: bounded by the entries asked for
        for (int k = 0; k + 4 <= count; k += 4) {
            const std::uint32_t e = static_cast<std::uint32_t>(MonitorIndex) + static_cast<std::uint32_t>(k / 4);
            if (e >= words) break;
            StoreWordReply(gMonitorValues[e], gMonitorWordReads[e], d + k, 4);
            gMonitorBlockOffset += 4;
        }
        if (static_cast<std::uint32_t>(MonitorIndex) + kBlockEntries < words) {
            MonitorIndex += kBlockEntries;
        } else {
            done = EndOfCycle(link);
            if (OnValues) OnValues();
        }
        break;
    }
    default:
        break;
    }
    // The next request goes out from this reply at once (the link's nested tick).
    link.StartComTmr();
    return done;
}

// ---------------------------------------------------------------------------
// What the painter shows

bool TLadMonitor::Bit(int e) const {
    if (e < 0 || e >= 96) return false;
    return (gMonitorBitStates[static_cast<std::size_t>(e / 8)] >> (e % 8)) & 1;
}

void TLadMonitor::ClearValues() {
    gMonitorBitStates.fill(0);
    gMonitorValues.fill(0);
}

std::string TLadMonitor::ValueText(const Slots& entries) const {
    const auto e = static_cast<std::size_t>(entries.word);
    std::uint32_t v = gMonitorValues[e];
    if (entries.high >= 0) v = (v & 0xFFFF) | gMonitorValues[static_cast<std::size_t>(entries.high)] << 16;
    const bool wide = gMonitorWideFlags[e] || gMonitorWordReads[e] == TWordRead::Counter;
    const int format = ValueFormat ? ValueFormat() : 0;
    char buf[24];
    if (format == 0) {
        std::snprintf(buf, sizeof buf, "K%ld", wide ? static_cast<long>(static_cast<std::int32_t>(v))
                                                    : static_cast<long>(static_cast<std::int16_t>(v & 0xFFFF)));
        return buf;
    }
    if (format == 1) {
        std::snprintf(buf, sizeof buf, "H%X", wide ? v : (v & 0xFFFF));
        return buf;
    }
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = (v >> (8 * i)) & 0xFF;
        if (c == 0) break;
        s.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.');
    }
    return s;
}

TLadMoniCell TLadMonitor::CellState(std::int32_t row, std::int32_t col) const {
    TLadMoniCell out;
    if (!Grid || row < BuiltRows.first || row > BuiltRows.second) return out;
    const std::uint8_t* cell = CellAt(Grid, row, col);
    const TLdbKind kind = CellKind(cell);
    auto slotsAt = [this](std::int32_t r, std::int32_t c) {
        auto it = cells_.find(Key(r, c));
        return it == cells_.end() ? Slots{} : it->second;
    };
    switch (kind) {
    case TLdbKind::Open_Ry:
    case TLdbKind::Out_Ry:
    case TLdbKind::State_Ry:
    case TLdbKind::Close_Ry: {
        const Slots s = slotsAt(row, col);
        out.known = true;
        out.on = s.bit >= 0 && Bit(s.bit);
        if (kind == TLdbKind::Close_Ry) out.on = s.bit >= 0 && !Bit(s.bit);
        break;
    }
    case TLdbKind::Spec_Fun: {
        // A timer, counter or SET box is lit by its device's state.
        out.known = true;
        const std::uint16_t op = CellOperand(cell);
        const std::uint8_t first = FirstTokenType(Grid, row, col);
        const bool lit = (op == 3 && first == CellDev::T) || ((op == 5 || op == 6) && first == CellDev::C) ||
                         ((op == 525 || (cell[4] >> 4) == 0xD) &&
                          (first == CellDev::Y || first == CellDev::M || first == CellDev::S));
        if (lit) {
            const Slots s = slotsAt(row, col + kLdbCellBytes);
            out.on = s.bit >= 0 && Bit(s.bit);
        }
        break;
    }
    case TLdbKind::Tu_Ry:
    case TLdbKind::Td_Ry:
    case TLdbKind::Comp_Ry:
    case TLdbKind::Re_Line:
        out.known = true;
        break;
    case TLdbKind::Spec_Token: {
        const Slots s = slotsAt(row, col);
        if (s.word >= 0) {
            out.known = true;
            out.value = ValueText(s);
        }
        break;
    }
    default:
        break;
    }
    return out;
}

int TLadMonitor::ForceAddress(std::int32_t row, std::int32_t col, bool off, std::uint16_t& address) const {
    const int refusal = off ? kMsgCannotForceOff : kMsgCannotForceOn;
    if (!Grid || row < 0 || row >= Capacity || col < 0 || col > kLdbLastColumn) return refusal;
    const std::uint8_t* cell = CellAt(Grid, row, col);
    switch (CellKind(cell)) {
    case TLdbKind::Open_Ry:
    case TLdbKind::Close_Ry:
    case TLdbKind::Out_Ry:
    case TLdbKind::State_Ry:
    case TLdbKind::Tu_Ry:
    case TLdbKind::Td_Ry:
        break;
    default:
        return refusal;
    }
    static constexpr int kType[] = {0, kDevC, kDevD, 0, 0, kDevM, kDevS, kDevT, 0, kDevX, kDevY};
    const std::uint8_t t = CellDevType(cell);
    const int type = t < std::size(kType) ? kType[t] : 0;
    address = DeviceToBasicAddress(type, CellOperand(cell));
    return address == 0xFFFF ? refusal : -1;
}

}  // namespace qel::link
