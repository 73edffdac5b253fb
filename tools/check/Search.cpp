#include "tools/check/Search.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Digtest.h"
#include "core/Instruction.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"
#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderGrid.h"
#include "ladder/model/Ladtranslate.h"
#include "project/Qelglobals.h"

namespace {

// Shown when "All" meets places that cannot take the new device: nothing more is written.
constexpr int kMsgReplaceAllRefused = 148;

bool ParseInt(const std::string& s, int base, long& out) {
    if (s.empty()) return false;
    std::size_t i = 0;
    bool neg = false;
    if (base == 10 && s[0] == '-') {
        neg = true;
        i = 1;
    }
    if (i >= s.size()) return false;
    long v = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 99;
        if (d >= base || v > 100000000L) return false;
        v = v * base + d;
    }
    out = neg ? -v : v;
    return true;
}

std::string InBase(long v, int base) {
    if (v < 0) return "-" + InBase(-v, base);
    std::string s;
    do {
        const int d = static_cast<int>(v % base);
        s.insert(s.begin(), static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10));
        v /= base;
    } while (v > 0);
    return s;
}

// A typed name as the views show the device it names ("x010" is X10): what
// both Find and Replace compare the operands' texts with. A name with a "*"
// stays as typed, trimmed and upper-cased.
std::string SearchedName(std::string_view typed) {
    const std::string s = StrToUpper(typed);
    return s.find('*') != std::string::npos ? s : OperandTextAsShown(s);
}

// The device `k` places after `name` in its run ("X7" + 1 = "X10"); empty when it cannot be counted.
std::string DeviceAfter(const std::string& name, long k) {
    std::string out;
    return LastDeviceOfRun(name, k + 1, out) ? out : std::string();
}

// "*" stands for any ending: both sides are cut at the first "*".
bool WildcardEqual(const std::string& name, const std::string& candidate) {
    const std::size_t star = name.find('*');
    if (star == std::string::npos) return name == candidate;
    return candidate.substr(0, std::min(star, candidate.size())) + "*" == name.substr(0, star + 1) &&
           candidate.size() >= star;
}

// The first character of every text that can match one of `names` (whole, or
// up to a "*" after the first character); 0 when a text may start with any.
char MatchLead(const std::vector<std::string>& names) {
    char lead = 0;
    for (const std::string& n : names) {
        if (n.empty()) continue;  // matches no text
        if (n[0] == '*' || (lead != 0 && n[0] != lead)) return 0;
        lead = n[0];
    }
    return lead;
}

// Replacement classes: which two devices may take each other's place.
enum TRepClass { kContacts = 0, kStl = 1, kOutputs = 2, kSameLetter = 3, kNoTypes = 4, kRefused = 5 };

long DeviceNumber(const std::string& name) {
    long n = -1;
    const char l = name.empty() ? 0 : name[0];
    ParseInt(name.substr(1), (l == 'X' || l == 'Y') ? 8 : 10, n);
    return n;
}

// True when the trimmed, upper-cased text names a device or constant of the
// current family.
bool NamesDevice(const std::string& s) {
    if (s.size() < 2 || s.size() > 16 || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    using Check = bool (*)(std::string_view);
    static const Check kChecks[] = {CheckK16Operand, CheckK32Operand, CheckH16Operand, CheckH32Operand,
                                    CheckKnXOperand, CheckKnYOperand, CheckKnMOperand, CheckKnSOperand,
                                    CheckXOperand,   CheckYOperand,   CheckMOperand,   CheckSOperand,
                                    CheckTOperand,   CheckCOperand,   CheckDOperand,   CheckPOperand,
                                    CheckIOperand};
    for (Check c : kChecks)
        if (c(s)) return true;
    return false;
}

// `a` and `b` are names as the views show them (the run's devices).
bool DevicesCompatible(int cls, const std::string& a, const std::string& b) {
    if (!NamesDevice(a) || !NamesDevice(b)) return false;
    if ((cls == kContacts || cls == kOutputs) && (a[0] == 'M' || b[0] == 'M')) {
        const bool aHigh = a[0] == 'M' && DeviceNumber(a) >= 1536, bHigh = b[0] == 'M' && DeviceNumber(b) >= 1536;
        if (a[0] == 'M' && b[0] == 'M') {
            if (aHigh && bHigh)
                cls = kSameLetter;
            else if (aHigh != bHigh)
                return false;
        } else if (aHigh || bHigh) {
            return false;
        }
    }
    auto among = [](char c, const char* set) { return std::strchr(set, c) != nullptr; };
    switch (cls) {
    case kContacts: return among(a[0], "XYCTSM") && among(b[0], "XYCTSM");
    case kStl: return a[0] == 'S' && b[0] == 'S';
    case kOutputs: return among(a[0], "SYM") && among(b[0], "SYM");
    case kSameLetter:
    case kNoTypes: return a[0] == b[0];
    default: return false;
    }
}

int CodeClass(int index) {
    if ((index >= inst::LD && index <= inst::ORI) || (index >= kInstEdgeFirst && index <= kInstEdgeLast) ||
        (index >= kInstLongFirst && index <= kInstLongFirst + 5))
        return kContacts;
    if (index == inst::STL) return kStl;
    if (index == inst::OUT || index == inst::SET || index == inst::LONG_OUT || index == inst::LONG_SET) return kOutputs;
    return kSameLetter;
}

TLdbKind KindOfType(const std::string& t) {
    if (t == "LD") return TLdbKind::Open_Ry;
    if (t == "LDI") return TLdbKind::Close_Ry;
    if (t == "LDP") return TLdbKind::Tu_Ry;
    if (t == "LDF") return TLdbKind::Td_Ry;
    if (t == "Out") return TLdbKind::Out_Ry;
    if (t == "STL") return TLdbKind::State_Ry;
    if (t == "Fun.") return TLdbKind::Spec_Token;
    return TLdbKind::non_inst;
}

std::string TypeOfKind(TLdbKind k) {
    for (const std::string& t : SearchTypeTexts())
        if (t != "None" && KindOfType(t) == k) return t;
    return {};
}

int TypePairClass(std::string a, std::string b) {
    if (a == "None") a = b;
    if (b == "None") b = a;
    if (a == "None") return kNoTypes;
    auto contact = [](const std::string& t) { return t == "LD" || t == "LDI" || t == "LDP" || t == "LDF"; };
    if (contact(a) && contact(b)) return kContacts;
    if (a == "STL" && b == "STL") return kStl;
    if (a == "Out" && b == "Out") return kOutputs;
    if (a == "Fun." && b == "Fun.") return kSameLetter;
    return kRefused;
}

// ---------------------------------------------------------------------------
// Instruction-list positions

// Visits the operand positions of the instruction at `offset` in walk order:
// the opcode word, the timer or counter word of TMR/CNT/DCNT, every record.
void ForEachPosition(const std::uint8_t* code, std::uint32_t capacity, std::uint32_t offset,
                     const std::function<bool(std::uint32_t)>& fn) {
    const int index = OpcodeToIndex(ReadCodeWord(code, capacity, offset));
    const std::uint32_t length = InstructionLengthAt(code, capacity, offset);
    if (!fn(offset)) return;
    if (length <= 2 || index == kInstError) return;
    std::uint32_t p = offset + 2;
    if (index == inst::TMR || index == inst::CNT || index == inst::DCNT) {
        if (!fn(p)) return;
        p += 2;
    }
    const std::uint32_t size = (gInstFlags[index] & kInst32Bit) ? 8 : 4;
    for (; p + size <= offset + length; p += size)
        if (!fn(p)) return;
}

// Text of the operand at `position` of the instruction at `offset`, read from
// that instruction alone (no walk from the start of the code).
std::string OperandText(const std::uint8_t* code, std::uint32_t capacity, std::uint32_t offset,
                        std::uint32_t position) {
    const std::uint32_t length = InstructionLengthAt(code, capacity, offset);
    return CodeOperandToText(code + offset, length, position - offset);
}

// Writes `device` into the operand at `position` of the instruction at
// `offset` when the class rules and the instruction as a whole accept it.
bool WriteInstOperand(std::uint8_t* code, std::uint32_t capacity, std::uint32_t offset, std::uint32_t position,
                      const std::string& from, const std::string& to) {
    const int index = OpcodeToIndex(ReadCodeWord(code, capacity, offset));
    if (!DevicesCompatible(CodeClass(index), from, to)) return false;
    const std::uint32_t length = InstructionLengthAt(code, capacity, offset);
    std::vector<std::uint8_t> insn(code + offset, code + offset + length);
    if (!WriteOperandDevice(to, insn.data(), insn.size(), position - offset)) return false;
    // The new instruction must still be one the family runs, whole.
    if (!ValidateCode(insn, CurrentFamily())) return false;
    std::memcpy(code + offset, insn.data(), insn.size());
    return true;
}

// The places of a ladder row before its cells: its P label and its I label,
// in the order the list holds their lines, before the network's instructions.
constexpr std::int32_t kPLabelColumn = -2 * kLdbCellBytes;
constexpr std::int32_t kILabelColumn = -kLdbCellBytes;

// The class of the instruction a ladder cell stands for, as the list classes
// that instruction: a box's or compare's operand by the box's instruction.
int CellClass(const std::uint8_t* grid, std::int32_t row, std::int32_t col, const std::string& type) {
    if (type != "Fun.") return TypePairClass(type, type);
    const std::uint8_t* head = grid + static_cast<std::size_t>(row) * kLdbRowBytes + FindElementStart(grid, row, col);
    return CodeClass(OpcodeToIndex(static_cast<std::uint16_t>(head[3] | (head[4] << 8))));
}

// A label is matched as the list matches its label line, and like it is never
// rewritten: a replacement there is refused. A replacement type rewrites only
// an element of its own sort (a contact type a contact, "Out" a coil, "STL" a
// step, "Fun." an operand of a box or compare); any other element is refused
// and stays as it is. The search type has filtered the cells already, so the
// cell's own type stands for it.
bool WriteLadderCell(std::uint8_t* grid, std::int32_t row, std::int32_t col, const std::string& searchType,
                     const std::string& repType, const std::string& from, const std::string& to) {
    if (col < 0) return false;
    const std::uint8_t* cell = grid + static_cast<std::size_t>(row) * kLdbRowBytes + col;
    const TLdbKind own = CellKind(cell);
    const std::string ownType = TypeOfKind(own);
    if (ownType.empty()) return false;
    const int cls = searchType == "None" && repType == "None"
                        ? CellClass(grid, row, col, ownType)
                        : TypePairClass(ownType, repType == "None" ? ownType : repType);
    if (cls == kRefused || !DevicesCompatible(cls, from, to)) return false;
    const TLdbKind kind = repType == "None" ? own : KindOfType(repType);
    return SetCellDevice(to, grid, row, col / kLdbCellBytes, kind);
}

// ---------------------------------------------------------------------------
// Walks

struct TCodeWalk {
    const std::uint8_t* code;
    std::uint32_t capacity;
    std::uint32_t offset;
    int line;
    bool up;
};

TCodeWalk StartCodeWalk(const TCodeTarget& t, TSearchStart s) {
    std::uint32_t offset = t.cursorOffset;
    if (s.fromEnds) offset = s.up ? t.end : 0;
    offset = std::min(offset, t.capacity ? t.capacity - 2 : 0);
    return {t.code, t.capacity, offset, OffsetToLine(offset, t.code, t.capacity), s.up};
}

// Calls fn(offset, line) for each instruction from the start; fn returns false to stop.
void WalkCode(TCodeWalk w, const std::function<bool(std::uint32_t, int)>& fn) {
    while (w.offset + 2 <= w.capacity) {
        if (!fn(w.offset, w.line)) return;
        if (w.up) {
            if (w.offset == 0 || w.line <= 0) return;
            w.offset = PrevInstructionOffset(w.offset, w.code, w.capacity);
            --w.line;
        } else {
            const std::uint32_t next = NextInstructionOffset(w.offset, w.code, w.capacity);
            if (next <= w.offset) return;
            w.offset = next;
            ++w.line;
        }
    }
}

bool IsSkippedKind(TLdbKind k) {
    return k == TLdbKind::H_Line || k == TLdbKind::V_Line || k == TLdbKind::Re_Line || k == TLdbKind::Spec_Fun ||
           k == TLdbKind::Inv_Ry || k == TLdbKind::Comp_Ry;
}

// The labels of the grid's rows, as the list shows their lines ("P3", "I001"):
// the numbers of a row's P and I labels (-1 when none) by row, kept for the
// rows a walk of the target visits (none beyond its last row, its cursor's
// and the first), and made into texts only where a walk compares them.
class TRowLabels {
public:
    explicit TRowLabels(const TGridTarget& t) {
        const std::int32_t last = std::max({t.lastRow, t.cursorRow, 0});
        auto place = [&](const std::int32_t* rows, std::int32_t count, std::size_t which) {
            for (std::int32_t n = 0; rows && n < count; ++n) {
                if (rows[n] < 0 || rows[n] > last) continue;
                const auto row = static_cast<std::size_t>(rows[n]);
                if (row >= numbers_.size()) numbers_.resize(row + 1, {-1, -1});
                numbers_[row][which] = n;
            }
        };
        place(t.pLabelRows, kPLabelCount, 0);
        place(t.iLabelRows, kILabelCount, 1);
    }
    bool Any(std::int32_t row) const {
        return row >= 0 && static_cast<std::size_t>(row) < numbers_.size() &&
               (numbers_[row][0] >= 0 || numbers_[row][1] >= 0);
    }
    // The label at a label column of the row; empty when the row has none there.
    std::string Text(std::int32_t row, std::int32_t col) const {
        if (!Any(row)) return {};
        const std::int32_t n = numbers_[row][col == kPLabelColumn ? 0 : 1];
        if (n < 0) return {};
        if (col == kPLabelColumn) return "P" + std::to_string(n);
        char text[16];
        std::snprintf(text, sizeof text, "I%03d", static_cast<int>(n));
        return text;
    }

private:
    std::vector<std::array<std::int32_t, 2>> numbers_;
};

// Calls fn(row, col) for each place of the ladder walk from (row, col) on, the
// labels of a row (kPLabelColumn, kILabelColumn) before its cells; fn returns
// false to stop.
template <class Fn>
void WalkLadderFrom(const TGridTarget& t, const TRowLabels& labels, std::int32_t row, std::int32_t col, bool up,
                    Fn&& fn) {
    const std::int32_t last = std::max(t.lastRow, row);
    const int step = up ? -kLdbCellBytes : kLdbCellBytes;
    while (row >= 0 && row <= last) {
        const std::uint8_t* r = t.grid + static_cast<std::size_t>(row) * kLdbRowBytes;
        const bool hasLabel = labels.Any(row);
        auto label = [&](std::int32_t c) { return labels.Text(row, c).empty() || fn(row, c); };
        for (; !up && col < 0; col += kLdbCellBytes)
            if (hasLabel && !label(col)) return;
        bool comment = false;
        while (col >= 0 && col < kLdbRowBytes) {
            if (!fn(row, col)) return;
            if ((comment = IsBlockCommentRow(r))) break;
            for (col += step; col >= 0 && col < kLdbRowBytes; col += step) {
                const std::uint8_t* cell = r + col;
                if (cell[1] != 0 && !IsSkippedKind(CellKind(cell))) break;
            }
        }
        for (col = std::min(col, kILabelColumn); up && hasLabel && !comment && col >= kPLabelColumn;
             col -= kLdbCellBytes)
            if (!label(col)) return;
        row += up ? -1 : 1;
        col = up ? kLdbLastColumn : kPLabelColumn;
    }
}

// The ladder walk from the cursor or from the start or end.
template <class Fn>
void WalkLadder(const TGridTarget& t, const TRowLabels& labels, TSearchStart s, Fn&& fn) {
    std::int32_t row = t.cursorRow, col = std::max(t.cursorCol, 0);
    if (s.fromEnds) {
        row = s.up ? t.lastRow : 0;
        col = s.up ? kLdbLastColumn : 0;
    }
    col -= col % kLdbCellBytes;
    if (!s.up && col == 0) col = kPLabelColumn;  // from a row's start: its labels too
    WalkLadderFrom(t, labels, row, col, s.up, fn);
}

// The text a ladder place is matched by: the operand text the cell shows,
// which is the list's text of the same operand (digit group, index register,
// 32-bit value and all), or the row's label; empty for a cell of another
// kind than `filter` (a label has no kind). With a `lead` (MatchLead), a cell
// whose text starts with another character can match nothing: its text is
// not built, and it is passed over as an empty one is.
std::string LadderCandidate(const std::uint8_t* grid, const TRowLabels& labels, std::int32_t row, std::int32_t col,
                            TLdbKind filter, char lead) {
    if (col < 0) return filter == TLdbKind::non_inst ? labels.Text(row, col) : std::string();
    if (filter != TLdbKind::non_inst && CellKind(grid + static_cast<std::size_t>(row) * kLdbRowBytes + col) != filter)
        return {};
    if (lead != 0 && CellOperandLead(grid, row, col) != lead) return {};
    return CellOperandText(grid, row, col);
}

// The cell a ladder match selects: the head of a box or compare, else the
// cell; the row's first cell for its label.
std::int32_t SelectColumn(const std::uint8_t* grid, std::int32_t row, std::int32_t col) {
    if (col < 0) return 0;
    const std::int32_t start = FindElementStart(grid, row, col);
    const TLdbKind k = CellKind(grid + static_cast<std::size_t>(row) * kLdbRowBytes + start);
    return (k == TLdbKind::Spec_Fun || k == TLdbKind::Inv_Ry || k == TLdbKind::Comp_Ry) ? start : col;
}

// `place()` is the place a match selects, looked for only then.
template <class Place>
TSearchStep Confirm(const std::string& name, const std::string& candidate, Place place, bool findPage,
                    TSearchUi& ui) {
    if (candidate.empty() || !WildcardEqual(name, candidate)) return TSearchStep::NoMatch;
    ui.Select(place());
    if (!findPage) return TSearchStep::Match;
    if (ui.Ask(kMsgSearchFound, qel::AskButtons::YesNo) == qel::Answer::Yes) return TSearchStep::Match;
    ui.Show(kMsgSearchDone);
    return TSearchStep::Stop;
}

// The devices of a replacement's runs: search + k and replacement + k.
struct TRun {
    std::vector<std::string> search, rep;
    explicit TRun(const TReplaceRequest& r) {
        const std::string s = NormalizeDeviceName(r.search, false), p = NormalizeDeviceName(r.replacement, false);
        for (long k = 0; k < r.count; ++k) {
            search.push_back(DeviceAfter(s, k));
            rep.push_back(DeviceAfter(p, k));
        }
    }
};

// The k of the run whose device the candidate is; -1 when none. Both views
// match by it, an operand's whole text against the run's device names.
long RunIndex(const TRun& run, const std::string& candidate) {
    if (candidate.empty()) return -1;
    for (std::size_t k = 0; k < run.search.size(); ++k)
        if (run.search[k] == candidate) return static_cast<long>(k);
    return -1;
}

// The interactive part of a replace, the same for both views. `write` writes
// the k-th replacement at the place; `allPhase` checks and writes the rest of
// the walk from this place on (all or nothing) and returns the count written.
template <class Write, class AllPhase>
TSearchStep ReplaceStep(long k, const TSearchPlace& place, TSearchUi& ui, int& written, Write write,
                        AllPhase allPhase) {
    switch (ui.Ask(kMsgReplaceAsk, qel::AskButtons::YesAllCancelIgnore)) {
    case qel::Answer::Cancel: return TSearchStep::Stop;
    case qel::Answer::Ignore: return TSearchStep::Ignored;
    case qel::Answer::All:
        written += allPhase();
        return TSearchStep::Stop;  // the all-phase walked the rest
    default: break;
    }
    if (write(k)) {
        ++written;
        ui.Select(place);
        return ui.Ask(kMsgReplaceGoOn, qel::AskButtons::YesNo) == qel::Answer::Yes ? TSearchStep::Match
                                                                                  : TSearchStep::Stop;
    }
    return ui.Ask(kMsgReplaceRefused, qel::AskButtons::YesNo) == qel::Answer::Yes ? TSearchStep::NoMatch
                                                                                 : TSearchStep::Stop;
}

}  // namespace

// ---------------------------------------------------------------------------

const std::vector<std::string>& SearchTypeTexts() {
    static const std::vector<std::string> kTypes = {"None", "LD", "LDI", "LDP", "LDF", "STL", "Out", "Fun."};
    return kTypes;
}

std::string NormalizeDeviceName(std::string_view text, bool findPage) {
    const std::string s = StrToUpper(text);
    if (s.empty() || s.size() > 16 || !std::isalpha(static_cast<unsigned char>(s[0])) || s.size() == 1) return {};
    if (findPage && s.find('*', 1) != std::string::npos) return s;
    return NamesDevice(s) ? SearchedName(s) : std::string();
}

bool LastDeviceOfRun(std::string_view name, long n, std::string& out) {
    const std::string s = SearchedName(name);
    if (s.size() < 2) return false;
    const char letter = s[0];
    const int base = (letter == 'X' || letter == 'Y') ? 8 : letter == 'H' ? 16 : 10;
    long number = 0;
    if (!ParseInt(s.substr(1), base, number)) return false;
    out = SearchedName(std::string(1, letter) + InBase(number + n - 1, base));
    return true;
}

int CheckReplaceRequest(const TReplaceRequest& r) {
    if (NormalizeDeviceName(r.search, false).empty() || NormalizeDeviceName(r.replacement, false).empty())
        return kMsgSearchBadName;
    if (r.count <= 0) return kMsgReplaceDone;
    std::string lastSearch, lastRep;
    if (!LastDeviceOfRun(r.search, r.count, lastSearch) || !LastDeviceOfRun(r.replacement, r.count, lastRep) ||
        NormalizeDeviceName(lastSearch, false).empty() || NormalizeDeviceName(lastRep, false).empty())
        return kMsgSearchBadName;
    return -1;
}

void FindDeviceInCode(const TCodeTarget& t, const std::string& typed, TSearchStart s, TSearchUi& ui) {
    const std::string name = SearchedName(typed);
    bool stopped = false;
    WalkCode(StartCodeWalk(t, s), [&](std::uint32_t offset, int line) {
        ForEachPosition(t.code, t.capacity, offset, [&](std::uint32_t pos) {
            const auto place = [&] { return TSearchPlace{offset, line}; };
            stopped = Confirm(name, OperandText(t.code, t.capacity, offset, pos), place, true, ui) == TSearchStep::Stop;
            return !stopped;
        });
        return !stopped;
    });
    if (!stopped) ui.Show(kMsgSearchDone);
}

void FindDeviceInLadder(const TGridTarget& t, const std::string& typed, const std::string& type, TSearchStart s,
                        TSearchUi& ui) {
    const std::string name = SearchedName(typed);
    bool stopped = false;
    const TLdbKind filter = KindOfType(type);
    const char lead = MatchLead({name});
    const TRowLabels labels(t);
    WalkLadder(t, labels, s, [&](std::int32_t row, std::int32_t col) {
        const std::string text = LadderCandidate(t.grid, labels, row, col, filter, lead);
        const auto place = [&] { return TSearchPlace{0, 0, row, SelectColumn(t.grid, row, col)}; };
        stopped = Confirm(name, text, place, true, ui) == TSearchStep::Stop;
        return !stopped;
    });
    if (!stopped) ui.Show(kMsgSearchDone);
}

int ReplaceInCode(const TCodeTarget& t, const TReplaceRequest& r, TSearchStart s, TSearchUi& ui) {
    const TRun run(r);
    int written = 0;
    bool stopped = false;
    const TCodeWalk start = StartCodeWalk(t, s);
    WalkCode(start, [&](std::uint32_t offset, int line) {
        ForEachPosition(t.code, t.capacity, offset, [&](std::uint32_t pos) {
            const long k = RunIndex(run, OperandText(t.code, t.capacity, offset, pos));
            if (k < 0) return true;
            const TSearchPlace place{offset, line};
            ui.Select(place);
            auto write = [&](long kk) {
                return WriteInstOperand(t.code, t.capacity, offset, pos, run.search[kk], run.rep[kk]);
            };
            auto allPhase = [&] {
                // The rest of the walk, from this place on, written on a copy first.
                std::vector<std::uint8_t> copy(t.code, t.code + t.capacity);
                int count = 0, refused = 0;
                TSearchPlace lastPlace = place;
                TCodeWalk rest{copy.data(), t.capacity, offset, line, s.up};
                bool first = true;
                WalkCode(rest, [&](std::uint32_t off, int ln) {
                    ForEachPosition(copy.data(), t.capacity, off, [&](std::uint32_t p) {
                        if (first && p < pos) return true;  // positions before this one are done
                        const long kk = RunIndex(run, OperandText(copy.data(), t.capacity, off, p));
                        if (kk < 0) return true;
                        if (WriteInstOperand(copy.data(), t.capacity, off, p, run.search[kk], run.rep[kk])) {
                            ++count;
                            lastPlace = {off, ln};
                        } else {
                            ++refused;
                        }
                        return true;
                    });
                    first = false;
                    return true;
                });
                if (refused > 0) {
                    ui.Show(kMsgReplaceAllRefused, std::to_string(refused));
                    return 0;
                }
                std::memcpy(t.code, copy.data(), t.capacity);
                if (count > 0) ui.Select(lastPlace);
                return count;
            };
            const TSearchStep step = ReplaceStep(k, place, ui, written, write, allPhase);
            stopped = step == TSearchStep::Stop;
            return !stopped;
        });
        return !stopped;
    });
    ui.Show(kMsgReplaceDone, std::to_string(written));
    return written;
}

int ReplaceInLadder(const TGridTarget& t, const TReplaceRequest& r, TSearchStart s, TSearchUi& ui) {
    const TRun run(r);
    const TLdbKind filter = KindOfType(r.searchType);
    const char lead = MatchLead(run.search);
    const TRowLabels labels(t);
    const std::int32_t last = std::max(t.lastRow, s.fromEnds ? t.lastRow : t.cursorRow);
    const std::size_t bytes = static_cast<std::size_t>(last + 1) * kLdbRowBytes;
    int written = 0;
    bool stopped = false;
    WalkLadder(t, labels, s, [&](std::int32_t row, std::int32_t col) {
        const long k = RunIndex(run, LadderCandidate(t.grid, labels, row, col, filter, lead));
        if (k < 0) return true;
        const TSearchPlace place{0, 0, row, SelectColumn(t.grid, row, col)};
        ui.Select(place);
        auto write = [&](long kk) {
            return WriteLadderCell(t.grid, row, col, r.searchType, r.repType, run.search[kk], run.rep[kk]);
        };
        auto allPhase = [&] {
            // The rest of the walk, from this place on, written on a copy first.
            std::vector<std::uint8_t> copy(t.grid, t.grid + bytes);
            int count = 0, refused = 0;
            TSearchPlace lastPlace = place;
            TGridTarget rest = t;
            rest.grid = copy.data();
            WalkLadderFrom(rest, labels, row, col, s.up, [&](std::int32_t rr, std::int32_t cc) {
                const long kk = RunIndex(run, LadderCandidate(copy.data(), labels, rr, cc, filter, lead));
                if (kk < 0) return true;
                if (WriteLadderCell(copy.data(), rr, cc, r.searchType, r.repType, run.search[kk], run.rep[kk])) {
                    ++count;
                    lastPlace = {0, 0, rr, SelectColumn(copy.data(), rr, cc)};
                } else {
                    ++refused;
                }
                return true;
            });
            if (refused > 0) {
                ui.Show(kMsgReplaceAllRefused, std::to_string(refused));
                return 0;
            }
            std::memcpy(t.grid, copy.data(), bytes);
            if (count > 0) ui.Select(lastPlace);
            return count;
        };
        stopped = ReplaceStep(k, place, ui, written, write, allPhase) == TSearchStep::Stop;
        return !stopped;
    });
    ui.Show(kMsgReplaceDone, std::to_string(written));
    return written;
}

int FindableInstruction(std::string_view mnemonic) {
    const int index = FindMnemonic(StrToUpper(mnemonic));
    if ((index >= 18 && index <= 388) || (index >= 440 && index <= 442) || index == inst::OUT || index == inst::SET)
        return index;
    return -1;
}

void FindInstructionInCode(const TCodeTarget& t, int index, TSearchStart s, TSearchUi& ui) {
    WalkCode(StartCodeWalk(t, s), [&](std::uint32_t offset, int line) {
        if (OpcodeToIndex(ReadCodeWord(t.code, t.capacity, offset)) != index ||
            ReadCodeWord(t.code, t.capacity, offset) == kErrorWord)
            return true;
        ui.Select({offset, line});
        return ui.Ask(kMsgSearchFound, qel::AskButtons::YesNo) == qel::Answer::Yes;
    });
    ui.Show(kMsgSearchDone);
}

void FindInstructionInLadder(const TGridTarget& t, int index, TSearchStart s, TSearchUi& ui) {
    std::int32_t row = s.fromEnds ? (s.up ? t.lastRow : 0) : t.cursorRow;
    for (; row >= 0 && row <= t.lastRow; row += s.up ? -1 : 1) {
        const std::uint8_t* r = t.grid + static_cast<std::size_t>(row) * kLdbRowBytes;
        if (IsBlockCommentRow(r)) continue;
        const TLdbKind k = CellKind(r + kLdbLastColumn);
        if (k != TLdbKind::Out_Ry && k != TLdbKind::Spec_Token && k != TLdbKind::Token_32bs) continue;
        const std::int32_t start = FindElementStart(t.grid, row, kLdbLastColumn);
        const std::uint8_t* head = r + start;
        const int found = CellKind(head) == TLdbKind::Out_Ry
                              ? static_cast<int>(inst::OUT)
                              : OpcodeToIndex(static_cast<std::uint16_t>(head[3] | (head[4] << 8)));
        if (found != index) continue;
        ui.Select({0, 0, row, start});
        if (ui.Ask(kMsgSearchFound, qel::AskButtons::YesNo) != qel::Answer::Yes) break;
    }
    ui.Show(kMsgSearchDone);
}
