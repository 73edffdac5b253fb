// The device monitor's rows and the texts they show. The poll cycle that fills
// the value buffers is in Devmonipoll.cpp.
#include "link/online/Devmonilist.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"

namespace qel::link {

namespace {

constexpr std::uint16_t kC32First = 0x0EC8;  // C200..C255 are 32-bit counters

std::string Trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool AllDigits(const std::string& s, std::size_t from = 0) {
    for (std::size_t i = from; i < s.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

char Letter(const std::string& name) { return name.empty() ? '\0' : name[0]; }

bool IsBitLetter(char c) { return std::strchr("XYMSTC", c) && c; }
bool IsWordLetter(char c) { return std::strchr("TCDEF", c) && c; }

// The number behind the letter, decimal (X and Y names are octal text and are
// read with ParseOctal).
long NumberOf(const std::string& name) {
    if (name.size() < 2 || !AllDigits(name, 1) || name.size() > 7) return -1;
    return std::strtol(name.c_str() + 1, nullptr, 10);
}

bool IsC32Name(const std::string& name) { return Letter(name) == 'C' && NumberOf(name) >= 200; }

// "ASCII" text of the low `n` bytes of a value, low byte first, up to the
// first zero byte; bytes outside the printable range show as '.'.
std::string AsciiText(std::uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) {
        const unsigned char c = (v >> (8 * i)) & 0xFF;
        if (c == 0) break;
        s.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.');
    }
    return s;
}

std::string HexText(std::uint32_t v, int minDigits = 1) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "H%0*X", minDigits, v);
    return buf;
}

std::string DecText(long long v) { return "K" + std::to_string(v); }

// A slot's value, or for a pair split on the link its low word with the
// high word read on its own.
std::uint32_t PairValue(const std::uint32_t* values, int own, int high) {
    const std::uint32_t v = values[own];
    return high < 0 ? v : (v & 0xFFFF) | values[high] << 16;
}

bool IsDeviceName(const std::string& t) {
    return CheckXOperand(t) || CheckYOperand(t) || CheckMOperand(t) || CheckSOperand(t) ||
           CheckTOperand(t) || CheckCOperand(t) || CheckDOperand(t);
}

}  // namespace

// ---------------------------------------------------------------------------
// Addresses

bool MoniBitAddress(const std::string& name, std::uint16_t& address) {
    if (!IsBitLetter(Letter(name))) return false;
    // Only names valid in the project's family: a list read from a file of
    // another model must not reach past the PLC's devices.
    if (!IsDeviceName(name)) return false;
    return EncodeOperand(name, 0, address);
}

bool MoniWordAddress(const std::string& name, int family, TWordAddress& a) {
    a = WordDeviceAddress(name, true, family);
    // No pair (C199, the last T or D): its own register alone.
    if (a.Msg == kMsgSetRange) a = WordDeviceAddress(name, false, family);
    return a.Msg < 0;
}

// ---------------------------------------------------------------------------
// Rows

TDevMoniList::TDevMoniList() : Rows(1) {}

void TDevMoniList::StoreRecords() const {
    const int n = std::min<int>(static_cast<int>(Rows.size()), kDevMoniMaxEntries);
    for (int i = 0; i < kDevMoniMaxEntries; ++i) gDevMoniEntries[i] = i < n ? Rows[i].Record : TDevMoniEntry{};
    gDevMoniEntryCount = n;
}

void TDevMoniList::LoadRecords() {
    Rows.clear();
    const int n = std::clamp<int>(gDevMoniEntryCount, 0, kDevMoniMaxEntries);
    for (int i = 0; i < n; ++i) {
        TDevMoniRow r;
        r.Record = gDevMoniEntries[i];
        r.Name.assign(r.Record.Name, strnlen(r.Record.Name, sizeof r.Record.Name));
        for (char& ch : r.Name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (IsWordLetter(Letter(r.Name))) r.Format = DefaultFormat;
        if (!r.Name.empty() && CommentOf) r.Comment = CommentOf(r.Name);
        Rows.push_back(std::move(r));
    }
    // A list file keeps only the rows that name a device.
    KeepRowToTypeInto();
}

void TDevMoniList::KeepRowToTypeInto() {
    // One empty row after the list, while the grid has room: the grid a list
    // opens with after a save is the one it had.
    if ((Rows.empty() || !Rows.back().Empty()) && GridRows() < kDevMoniGridMaxRows) Rows.emplace_back();
}

TMsgBoxes TDevMoniList::AddDevices(int row, const std::string& nameText, const std::string& countText,
                                   int* currentRow) {
    TMsgBoxes boxes;
    if (currentRow) *currentRow = row;
    const std::string count = Trimmed(countText);
    // A count of more than the grid can hold is cut below anyway.
    long n = count.size() > 4 ? 100000 : std::strtol(count.c_str(), nullptr, 10);
    if (!AllDigits(count) || n == 0) return {{kMsgBadCount, kMsgBadInput}};

    std::string name = Trimmed(nameText);
    if (name.size() > 5 || !AllDigits(name, 1)) return {{kMsgBadInput}};
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const bool bareIndex = name == "E" || name == "F";
    if (name.size() < 2 && !bareIndex) return {{kMsgBadInput}};
    if (!bareIndex) name = name.substr(0, 1) + std::to_string(std::strtol(name.c_str() + 1, nullptr, 10));
    if (!IsDeviceName(name) && !CheckIndexRegOperand(name)) return {{kMsgBadInput}};

    row = std::clamp(row, 1, kDevMoniGridMaxRows - 1);
    const long room = kDevMoniGridMaxRows - row;
    if (n > room) {
        boxes.push_back({kMsgNoRoom});
        n = room;
    }
    // The new rows, and one empty row after them while the grid has room.
    const int wanted = std::min<int>(row + static_cast<int>(n) + 1, kDevMoniGridMaxRows);
    const std::size_t before = Rows.size();
    if (GridRows() < wanted) Rows.resize(static_cast<std::size_t>(wanted - 1));

    for (long i = 0; i < n; ++i) {
        if (!IsDeviceName(name)) {
            // Counting up ran past the family's last device: the rows added
            // so far stay, and the rows made for the devices that do not
            // exist go again (a save would drop them, moving the rows
            // typed below them up), all but the one to type into.
            boxes.push_back({kMsgBadInput});
            const std::size_t keep = std::max<std::size_t>(before, static_cast<std::size_t>(row + i));
            while (Rows.size() > keep && Rows.back().Empty()) Rows.pop_back();
            KeepRowToTypeInto();
            break;
        }
        TDevMoniRow& r = Rows[static_cast<std::size_t>(row + i - 1)];
        r = TDevMoniRow{};
        r.Name = name;
        if (IsWordLetter(Letter(name))) r.Format = DefaultFormat;
        std::memcpy(r.Record.Name, name.data(), std::min<std::size_t>(name.size(), sizeof r.Record.Name));
        if (CommentOf) r.Comment = CommentOf(name);
        const char c = Letter(name);
        const bool octal = c == 'X' || c == 'Y';
        const unsigned long num = std::strtoul(name.c_str() + 1, nullptr, octal ? 8 : 10) + 1;
        char buf[16];
        std::snprintf(buf, sizeof buf, octal ? "%c%lo" : "%c%lu", c, num);
        name = buf;
    }
    const int last = GridRows() - 1;
    if (currentRow) *currentRow = row + n < last ? row + static_cast<int>(n) : last;
    StoreRecords();
    return boxes;
}

bool TDevMoniList::DeleteRows(int top, int bottom) {
    top = std::max(top, 1);
    bottom = std::min(bottom, GridRows() - 1);
    if (top > bottom) return false;
    if (top == bottom && Rows[static_cast<std::size_t>(top - 1)].Empty()) return false;
    Rows.erase(Rows.begin() + (top - 1), Rows.begin() + bottom);
    // The grid keeps one empty row to type into, also when the rows deleted
    // held it or the grid was full.
    KeepRowToTypeInto();
    StoreRecords();
    return true;
}

void TDevMoniList::ClearAll() {
    Rows.assign(1, TDevMoniRow{});
    ResetLists();
    StoreRecords();
    if (OnValues) OnValues();
}

bool TDevMoniList::SetFormat(int row, TMoniFormat format) {
    if (row < 1 || row >= GridRows()) return false;
    TDevMoniRow& r = Rows[static_cast<std::size_t>(row - 1)];
    if (r.Format == TMoniFormat::None) return false;
    r.Format = format;
    return true;
}

void TDevMoniList::ResetLists() {
    gMoniDevList.fill(0);
    gMoniBitBytes = gMoniWordBytes = gMoniSetRegBytes = 0;
    gMoniBitValues.fill(0);
    gMoniWordValues.fill(0);
    gMoniSetRegValues.fill(0);
    gMoniBlockIndex = 0;
    for (TDevMoniRow& r : Rows) r.BitIndex = r.WordSlot = r.SetRegSlot = r.HighSlot = r.SetRegHighSlot = -1;
}

// ---------------------------------------------------------------------------
// Set values

void TDevMoniList::FindSetValue(TDevMoniRow& row, const std::uint8_t* program, std::uint32_t capacity) {
    const char c = Letter(row.Name);
    const long n = NumberOf(row.Name);
    row.SetSource = "No Set";
    if ((c != 'T' && c != 'C') || n < 0 || !program) return;
    const std::uint8_t cls = c == 'T' ? 0x81 : 0x83;
    std::uint32_t off = 0;
    while (off < capacity) {
        const std::uint32_t len = InstructionLengthAt(program, capacity, off);
        if (len == 0) break;
        const std::uint16_t op = ReadCodeWord(program, capacity, off);
        const bool counter = op == 0x0005 || op == 0x0006;
        // TMR / CNT / DCNT: the T or C word, then the set value's record; the
        // whole instruction must lie inside the image.
        if ((op == 0x0003 || counter) && len >= 8 && off + len <= capacity &&
            program[off + 2] == (n & 0xFF) && program[off + 3] == cls) {
            const std::uint8_t* sv = program + off + 4;
            if (sv[1] == 0x86 && sv[3] == 0x86) {
                const unsigned reg = (sv[0] + 256u * sv[2]) / 2;
                // A 32-bit counter's set value is the register and its pair.
                TWordAddress a = WordRegister('D', static_cast<int>(reg), op == 0x0006, CurrentFamily());
                if (a.Msg == kMsgSetRange) a = WordRegister('D', static_cast<int>(reg), false, CurrentFamily());
                if (a.Msg < 0)
                    row.SetRegSlot = AddWordEntry(gMoniSetRegList.data(), gMoniSetRegReads.data(), gMoniSetRegBytes,
                                                  gMoniSetRegList.size(), a, row.SetRegHighSlot);
                row.SetSource = "D" + std::to_string(reg);
            } else if (op == 0x0006 && len >= 12) {
                row.Record.SetValue[0] = sv[0];
                row.Record.SetValue[1] = sv[2];
                row.Record.SetValue[2] = sv[4];
                row.Record.SetValue[3] = sv[6];
                row.SetSource = "Set";
            } else {
                row.Record.SetValue[0] = sv[0];
                row.Record.SetValue[1] = sv[2];
                row.SetSource = "Set";
            }
            return;
        }
        off += len;
    }
}

// ---------------------------------------------------------------------------
// Cell texts

TDevMoniCells TDevMoniList::Cells(int gridRow) const {
    TDevMoniCells out;
    if (gridRow < 1 || gridRow >= GridRows()) return out;
    const TDevMoniRow& r = Rows[static_cast<std::size_t>(gridRow - 1)];
    if (r.Empty()) return out;
    const char c = Letter(r.Name);
    if (r.BitIndex >= 0 && r.BitIndex < 96)
        out.On = (gMoniBitValues[static_cast<std::size_t>(r.BitIndex / 8)] >> (r.BitIndex % 8)) & 1;
    if (r.Format == TMoniFormat::None) return out;
    const bool c32 = IsC32Name(r.Name);

    if ((c == 'T' || c == 'C') && (r.SetSource == "Set" || r.SetSource.rfind('D', 0) == 0)) {
        std::uint32_t sv = 0;
        if (r.SetSource[0] == 'D') {
            if (r.SetRegSlot >= 0) sv = PairValue(gMoniSetRegValues.data(), r.SetRegSlot, r.SetRegHighSlot);
        } else {
            std::memcpy(&sv, r.Record.SetValue, 4);
            if (!c32) sv &= 0xFFFF;
        }
        switch (r.Format) {
        case TMoniFormat::Decimal:
            out.SetValue = c32 ? DecText(static_cast<std::int32_t>(sv)) : DecText(sv & 0xFFFF);
            break;
        case TMoniFormat::Hex: out.SetValue = c32 ? HexText(sv) : HexText(sv & 0xFFFF, 4); break;
        default: out.SetValue = AsciiText(sv, 4); break;
        }
    }
    if (r.WordSlot < 0) return out;
    const std::uint32_t v = PairValue(gMoniWordValues.data(), r.WordSlot, r.HighSlot);
    const std::uint16_t lo = v & 0xFFFF;
    if (c32) {
        switch (r.Format) {
        case TMoniFormat::Decimal: out.Value32 = DecText(static_cast<std::int32_t>(v)); break;
        case TMoniFormat::Hex: out.Value32 = HexText(v); break;
        default: out.Value32 = AsciiText(v, 4); break;
        }
        return out;
    }
    switch (r.Format) {
    case TMoniFormat::Decimal:
        out.Value16 = DecText(static_cast<std::int16_t>(lo));
        out.Value32 = DecText(static_cast<std::int32_t>(v));
        break;
    case TMoniFormat::Hex:
        out.Value16 = HexText(lo);
        out.Value32 = HexText(v);
        break;
    default:
        out.Value16 = AsciiText(lo, 2);
        out.Value32 = AsciiText(v, 4);
        break;
    }
    return out;
}

}  // namespace qel::link
