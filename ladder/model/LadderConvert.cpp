#include "ladder/model/LadderConvert.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderFold.h"
#include "ladder/model/Laddercompile.h"
#include "ladder/model/Ladtranslate.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"

std::uint8_t gConvertAbort = 0;
std::uint8_t gStlState = 0;
std::int32_t gNetworkStride = kLdbRowBytes;
std::uint32_t gConvertCodePos = 0;
std::uint32_t gNetworkStart = 0;
std::uint32_t gNetworkEnd = 0;
std::vector<std::uint8_t> gNetworkBuf;

namespace {

constexpr std::int32_t kWorkStartRows = 1024;
constexpr std::int32_t kWorkGrowRows = 256;
constexpr std::int32_t kWorkTallestBytes = 15360;  // rows x stride of one network at most
constexpr int kMaxBranchWidths = 63;
constexpr int kMpsEntries = 10;
constexpr int kDepthOutsideStep = 9;
constexpr std::uint16_t kConvertMsgId = 162;
constexpr std::uint16_t kMsgCommentsDropped = 263;

// What an instruction does to the layout.
enum class Role {
    Nop, Label, LoadContact, AndContact, OrContact, LoadCompare, AndCompare, OrCompare,
    Inv, Stl, Anb, Orb, Mps, Mrd, Mpp, Coil, Box, Unknown,
};

struct TInsnInfo {
    Role role = Role::Unknown;
    TLdbKind kind = TLdbKind::non_inst;  // contact kind
    int cells = 1;                       // width of the element in cells
    bool ownBranch = false;              // an output that needs no input contacts
};


// Token cells of an output box of instruction `index`.
int OutputCells(int index) {
    switch (index) {
        case inst::OUT: case inst::LONG_OUT: return 1;
        case inst::SET: case inst::LONG_SET: return 2;
        case inst::TMR: case inst::CNT: return 3;
        case inst::DCNT: return 4;
        default: return (gInstLength[index] - 2) / 4 + 1;
    }
}

TInsnInfo Classify(std::uint16_t word, int index) {
    TInsnInfo i;
    if (word == kNopWord) {
        i.role = Role::Nop;
        return i;
    }
    if (index < 0 || index >= kInstError) return i;
    switch (index) {
        case inst::LD: case inst::LONG_LD: i.role = Role::LoadContact; i.kind = TLdbKind::Open_Ry; return i;
        case inst::LDI: case inst::LONG_LDI: i.role = Role::LoadContact; i.kind = TLdbKind::Close_Ry; return i;
        case inst::LDP: i.role = Role::LoadContact; i.kind = TLdbKind::Tu_Ry; return i;
        case inst::LDF: i.role = Role::LoadContact; i.kind = TLdbKind::Td_Ry; return i;
        case inst::AND: case inst::LONG_AND: i.role = Role::AndContact; i.kind = TLdbKind::Open_Ry; return i;
        case inst::ANI: case inst::LONG_ANI: i.role = Role::AndContact; i.kind = TLdbKind::Close_Ry; return i;
        case inst::ANDP: i.role = Role::AndContact; i.kind = TLdbKind::Tu_Ry; return i;
        case inst::ANDF: i.role = Role::AndContact; i.kind = TLdbKind::Td_Ry; return i;
        case inst::OR: case inst::LONG_OR: i.role = Role::OrContact; i.kind = TLdbKind::Open_Ry; return i;
        case inst::ORI: case inst::LONG_ORI: i.role = Role::OrContact; i.kind = TLdbKind::Close_Ry; return i;
        case inst::ORP: i.role = Role::OrContact; i.kind = TLdbKind::Tu_Ry; return i;
        case inst::ORF: i.role = Role::OrContact; i.kind = TLdbKind::Td_Ry; return i;
        case inst::PLABEL: case inst::ILABEL: i.role = Role::Label; return i;
        case inst::STL: i.role = Role::Stl; return i;
        case inst::ANB: i.role = Role::Anb; return i;
        case inst::ORB: i.role = Role::Orb; return i;
        case inst::MPS: i.role = Role::Mps; return i;
        case inst::MRD: i.role = Role::Mrd; return i;
        case inst::MPP: i.role = Role::Mpp; return i;
        case inst::INV: i.role = Role::Inv; return i;
        case inst::NOP: i.role = Role::Nop; return i;
        case inst::OUT: case inst::LONG_OUT: i.role = Role::Coil; i.cells = 1; return i;
        default: break;
    }
    const int group = CompareGroupOfIndex(index);
    if (group >= 0) {
        i.role = group == 0 ? Role::LoadCompare : group == 1 ? Role::AndCompare : Role::OrCompare;
        i.kind = TLdbKind::Comp_Ry;
        i.cells = (CompareCodeOfIndex(index) & 1) ? 5 : 3;
        return i;
    }
    i.role = Role::Box;
    i.cells = OutputCells(index);
    switch (gInstOpcode[index]) {
        case 0x000B: case 0x000E: case 0x000F:  // MCR, RET, END
        case 0x0014: case 0x0016: case 0x0018: case 0x001A: case 0x001C: case 0x0020: case 0x0022:
            i.ownBranch = true;
            break;
        default:
            break;
    }
    return i;
}

bool IsLoadRole(Role r) { return r == Role::LoadContact || r == Role::LoadCompare; }

bool IsContactKind(TLdbKind k) {
    return k == TLdbKind::Open_Ry || k == TLdbKind::Close_Ry || k == TLdbKind::Tu_Ry || k == TLdbKind::Td_Ry;
}

// One open branch: its running end (row, col), the lowest row it uses and
// the column it began in.
struct TLadderBranchNode {
    std::int32_t row = -1;
    std::int32_t col = -1;
    std::int32_t bottom = -1;
    std::int32_t start = -1;
    std::int32_t depth = 0;
    bool ownRung = false;  // opened by an output that needs no contacts (RET, END, ...)
    // An output or a stack instruction (MPS, MRD, MPP) has taken the running
    // result: a contact or block put in parallel now would feed those too.
    bool resultTaken = false;
    // An INV stands in the branch's own series (not inside a parallel part of
    // it): joined in series with ANB it would invert what stands before the
    // block as well, so such a block cannot be drawn.
    bool seriesInv = false;
};

struct TMpsEntry {
    std::int32_t row;
    std::int32_t col;
    // The lowest row that holds an output placed since the MPS: the branch an
    // MRD or MPP opens goes below it, so that its outputs run after them.
    std::int32_t lastOutputRow;
};

// ---------------------------------------------------------------------------
// Network scan

struct TScanResult {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::int32_t stride = kLdbRowBytes;
    TConvertFailure failure = TConvertFailure::None;
    std::uint32_t failOffset = 0;
};

TScanResult ScanOneNetwork(const std::uint8_t* code, std::uint32_t length, std::uint32_t from, bool stepCode) {
    TScanResult r;
    std::uint32_t pos = from;
    while (pos + 1 < length && ReadCodeWord(code, length, pos) == kNopWord) pos += 2;
    if (pos + 1 >= length) pos = length;
    r.start = r.end = pos;

    std::vector<std::int32_t> widths;
    std::vector<std::int32_t> saved;
    std::int32_t widest = 0;
    std::int32_t stepWidth = 0;
    bool inStep = stepCode;
    bool afterOutput = false;
    bool first = true;
    const auto fail = [&](TConvertFailure f, std::uint32_t at) {
        if (r.failure == TConvertFailure::None) {
            r.failure = f;
            r.failOffset = at;
        }
    };

    while (pos + 1 < length) {
        const std::uint16_t word = ReadCodeWord(code, length, pos);
        const int index = OpcodeToIndex(word);
        const TInsnInfo info = Classify(word, index);
        if (info.role == Role::Unknown) {
            fail(TConvertFailure::UnknownWord, pos);
            pos += 2;
            break;
        }
        const std::uint32_t len = info.role == Role::Nop ? 2u : gInstLength[index];
        if (pos + len > length) {
            fail(TConvertFailure::CodeOverrun, pos);
            pos = length;
            break;
        }
        if (info.role == Role::Label) {
            // A label starts the rows that follow it: before any element it is a
            // network of its own, after an output it ends the network before
            // itself. Anywhere else it would stand inside a rung the ladder
            // cannot split, and the compile would move it.
            if (first) {
                pos += len;
            } else if (!afterOutput) {
                fail(TConvertFailure::LabelMisplaced, pos);
            }
            break;
        }
        if (afterOutput && saved.empty() && !inStep && IsLoadRole(info.role)) break;
        if (afterOutput && info.role == Role::Stl) break;
        first = false;
        pos += len;

        const std::int32_t w = info.cells * kLdbCellBytes;
        switch (info.role) {
            case Role::LoadContact:
            case Role::LoadCompare:
                if (inStep && afterOutput) widths.clear();  // the step's previous rung is complete
                if (static_cast<int>(widths.size()) >= kMaxBranchWidths) {
                    fail(TConvertFailure::TooDeep, pos - len);
                    break;
                }
                widths.push_back(w);
                afterOutput = false;
                break;
            case Role::AndContact: case Role::AndCompare: case Role::Inv:
                if (!widths.empty()) widths.back() += w;
                break;
            case Role::OrCompare:
                if (!widths.empty()) widths.back() = std::max(widths.back(), w);
                break;
            case Role::Anb:
            case Role::Orb:
                if (widths.size() < 2) {
                    fail(TConvertFailure::BlockUnderflow, pos - len);
                    break;
                } else {
                    const std::int32_t b = widths.back();
                    widths.pop_back();
                    widths.back() = info.role == Role::Anb ? widths.back() + b : std::max(widths.back(), b);
                }
                break;
            case Role::Mps:
                if (static_cast<int>(saved.size()) >= kMpsEntries) {
                    fail(TConvertFailure::MpsOverflow, pos - len);
                    break;
                }
                saved.push_back(widths.empty() ? 0 : widths.back());
                break;
            case Role::Mrd:
            case Role::Mpp:
                if (saved.empty()) {
                    fail(TConvertFailure::MpsUnderflow, pos - len);
                    break;
                }
                if (!widths.empty()) widths.back() = saved.back();
                if (info.role == Role::Mpp) saved.pop_back();
                afterOutput = false;
                break;
            case Role::Stl:
                stepWidth += kLdbCellBytes;
                inStep = true;
                break;
            case Role::Coil:
            case Role::Box: {
                const std::int32_t base = (info.ownBranch || widths.empty()) ? 0 : widths.back();
                widest = std::max(widest, base + w);
                afterOutput = true;
                break;
            }
            default:
                break;
        }
        if (r.failure != TConvertFailure::None) break;
        if (word == 0x000E) break;  // RET closes the steps: the network ends after it
    }
    r.end = std::min(pos, length);
    std::int32_t need = widest + (stepWidth > 0 ? stepWidth : 0);
    need = (need + kLdbCellBytes - 1) / kLdbCellBytes * kLdbCellBytes;
    r.stride = std::max(need, kLdbRowBytes);
    return r;
}

// ---------------------------------------------------------------------------
// The converter

class TCodeToLadder {
public:
    TCodeToLadder(const TConvertInput& in, TLadderTarget& target) : in_(in), target_(target) {}
    TConvertResult Run();

private:
    // failure
    void Fail(TConvertFailure f) {
        if (!aborted_) {
            aborted_ = true;
            result_.cause = f;
            result_.failOffset = insnPos_;
        }
    }
    bool Aborted() const { return aborted_; }

    // work grid
    void StartNetwork(std::int32_t stride);
    bool EnsureRow(std::int32_t row);
    std::uint8_t* At(std::int32_t row, std::int32_t col) {
        return work_.data() + static_cast<std::size_t>(row) * stride_ + col;
    }
    bool Put(std::int32_t row, std::int32_t col, TLdbKind kind, std::uint8_t type, std::uint16_t operand);
    void LinkDown(std::int32_t col, std::int32_t fromRow, std::int32_t toRow);
    bool RowFreeFrom(std::int32_t row, std::int32_t col);

    // placement
    TLadderBranchNode& Top() { return branches_.back(); }
    // newRung: the branch starts a rung of its own (an output such as RET), which
    // in a step hangs off the step's line even while a block is open.
    bool PushBranch(bool newRung = false);
    bool EndStepRung();
    void Place(std::uint16_t word, int index, const TInsnInfo& info, const std::uint8_t* insn);
    bool SeriesSlot(std::int32_t width);
    bool DecodeContact(std::uint16_t word, int index, const std::uint8_t* insn, TDeviceRecord& rec);
    bool PutCompare(std::int32_t row, std::int32_t col, int index, const std::uint8_t* insn);
    bool PutToken(std::int32_t row, std::int32_t& col, const TDeviceRecord& rec, bool is32);
    void ParallelClose(const TLadderBranchNode& b, std::int32_t upperRow, std::int32_t lowerRow);
    void Anb();
    void Orb();
    void MpsRestore(bool drop);
    void Output(std::uint16_t word, int index, const TInsnInfo& info, const std::uint8_t* insn);
    void OutputPlaced(std::int32_t row);
    bool CompilesBack();
    void RecordLabel(std::uint16_t word);
    void AssignLabels(std::int32_t row);

    // network output
    void Flush();
    bool AppendRow(const std::uint8_t* row60);
    void AppendBlockComments(std::uint32_t upTo);

    const TConvertInput& in_;
    TLadderTarget& target_;
    TConvertResult result_;

    // The converter's own state: its work grid (one network at stride_), the
    // failure flag, the step state and the code position.
    std::vector<std::uint8_t> work_;
    bool aborted_ = false;
    std::uint8_t stlState_ = 0;  // 0 outside a step, 1 after STL, 2 once a load started a rung in it
    std::uint32_t pos_ = 0;

    std::int32_t stride_ = kLdbRowBytes;
    std::int32_t rowsAlloc_ = 0;
    std::int32_t maxRows_ = 0;
    std::int32_t touched_ = 0;  // rows of the work grid written since the last clear
    std::vector<TLadderBranchNode> branches_;
    std::vector<TMpsEntry> mps_;
    std::int32_t curRow_ = 0;
    std::int32_t curCol_ = 0;
    bool afterOutput_ = false;
    std::uint32_t insnPos_ = 0;

    std::vector<std::uint8_t> rows_;  // the converted rows, 60 bytes each
    std::vector<std::int32_t> pLabels_, iLabels_;
    struct TPendingLabel {
        bool isP;
        std::int32_t number;
    };
    std::vector<TPendingLabel> pendingLabels_;  // labels read and not yet given a row
    std::int32_t pendingStep_ = -1;             // step of the first network not yet flushed
    std::size_t nextBlock_ = 0;
};

std::int32_t RowsWritten(const std::vector<std::uint8_t>& rows) {
    return static_cast<std::int32_t>(rows.size() / kLdbRowBytes);
}

void TCodeToLadder::StartNetwork(std::int32_t stride) {
    // Clear what the last network used, at the stride it used.
    const std::size_t used = std::min(work_.size(), static_cast<std::size_t>(touched_) * stride_);
    std::fill(work_.begin(), work_.begin() + static_cast<std::ptrdiff_t>(used), 0);
    touched_ = 0;
    stride_ = stride;
    if (work_.size() < static_cast<std::size_t>(kWorkStartRows) * kLdbRowBytes) {
        work_.assign(static_cast<std::size_t>(kWorkStartRows) * kLdbRowBytes, 0);
    }
    rowsAlloc_ = static_cast<std::int32_t>(work_.size() / stride_);
    maxRows_ = kWorkTallestBytes / stride_;
    branches_.assign(1, TLadderBranchNode{});
    curRow_ = 0;
    curCol_ = 0;
    afterOutput_ = false;
}

bool TCodeToLadder::EnsureRow(std::int32_t row) {
    if (Aborted()) return false;
    if (row < 0 || row >= maxRows_) {
        Fail(TConvertFailure::TooTall);
        return false;
    }
    while (row >= rowsAlloc_) {
        work_.resize(work_.size() + static_cast<std::size_t>(kWorkGrowRows) * stride_, 0);
        rowsAlloc_ = static_cast<std::int32_t>(work_.size() / stride_);
    }
    touched_ = std::max(touched_, row + 1);
    return true;
}

bool TCodeToLadder::Put(std::int32_t row, std::int32_t col, TLdbKind kind, std::uint8_t type,
                        std::uint16_t operand) {
    if (Aborted()) return false;
    if (col < 0 || col + kLdbCellBytes > stride_) {
        Fail(TConvertFailure::TooWide);
        return false;
    }
    if (!EnsureRow(row)) return false;
    std::uint8_t* cell = At(row, col);
    SetCellKind(cell, kind);
    SetCellDevType(cell, type);
    SetCellOperand(cell, operand);
    return true;
}

// Vertical link at `col` from fromRow down to toRow: the junctions of the rows
// above toRow link down; empty cells become V_Line.
void TCodeToLadder::LinkDown(std::int32_t col, std::int32_t fromRow, std::int32_t toRow) {
    if (col < 0 || col + kLdbCellBytes > stride_) return;
    for (std::int32_t r = std::max(fromRow, 0); r < toRow; ++r) {
        if (!EnsureRow(r)) return;
        std::uint8_t* cell = At(r, col);
        if (CellKind(cell) == TLdbKind::non_inst) SetCellKind(cell, TLdbKind::V_Line);
        SetCellLinkDown(cell, true);
    }
}

bool TCodeToLadder::RowFreeFrom(std::int32_t row, std::int32_t col) {
    if (row >= touched_) return true;
    for (std::int32_t c = std::max(col, 0); c + kLdbCellBytes <= stride_; c += kLdbCellBytes) {
        const TLdbKind k = CellKind(At(row, c));
        if (k != TLdbKind::non_inst && k != TLdbKind::V_Line) return false;
    }
    return true;
}

bool TCodeToLadder::PushBranch(bool newRung) {
    if (Aborted()) return false;
    TLadderBranchNode& parent = Top();
    if (stlState_ == 0 && parent.depth >= kDepthOutsideStep) {
        Fail(TConvertFailure::TooDeep);
        return false;
    }
    TLadderBranchNode b;
    b.depth = parent.depth + 1;
    b.ownRung = newRung;
    b.start = b.col = curCol_;
    if (stlState_ == 0 || (parent.depth > 0 && !newRung)) {
        // A block inside an open branch goes below it, also in a step: ANB
        // lifts it to the branch's running end and ORB links it in, so it
        // needs no link of its own to the step's line.
        b.row = b.bottom = parent.bottom + 1;
    } else {
        // In a step a new rung hangs below the step contact.
        const std::int32_t last = std::max(parent.bottom, curRow_ - 1);
        LinkDown(curCol_, curRow_, last + 1);
        curRow_ = std::max(curRow_, last + 1);
        b.row = b.bottom = curRow_;
    }
    if (!EnsureRow(b.row)) return false;
    branches_.push_back(b);
    return true;
}

// Makes room for a series element of `width` bytes at the running end of the
// current branch: when that cell is taken and the row goes on to its right,
// the branch moves below its bottom row, linked down at the junction.
bool TCodeToLadder::SeriesSlot(std::int32_t width) {
    TLadderBranchNode& b = Top();
    if (!EnsureRow(b.row)) return false;
    if (b.col + kLdbCellBytes <= stride_) {
        const TLdbKind k = CellKind(At(b.row, b.col));
        if (k != TLdbKind::non_inst && k != TLdbKind::V_Line) {
            const std::int32_t row = b.bottom + 1;
            LinkDown(b.col, b.row, row);
            b.row = b.bottom = row;
        }
    }
    if (b.col + width > stride_) {
        Fail(TConvertFailure::TooWide);
        return false;
    }
    return EnsureRow(b.row);
}

bool TCodeToLadder::DecodeContact(std::uint16_t word, int index, const std::uint8_t* insn, TDeviceRecord& rec) {
    bool ok;
    if (index <= inst::STL) {
        ok = DecodeBasicAddress(word, rec);
    } else {
        ok = DecodeOperandWord(insn + 2, 4, rec);
    }
    if (!ok) Fail(TConvertFailure::BadOperand);
    return ok;
}

bool TCodeToLadder::PutToken(std::int32_t row, std::int32_t& col, const TDeviceRecord& rec, bool is32) {
    if (!Put(row, col, TLdbKind::Spec_Token, rec.type, rec.number)) return false;
    std::uint8_t* cell = At(row, col);
    TIndexReg reg;
    if (rec.modifier & (kModE | kModF)) {
        reg.letter = (rec.modifier & kModF) ? 'F' : 'E';
        reg.number = rec.modifier & kModRegMask;
    }
    cell[0] = MakeTokenModifier(reg, is32);
    SetCellNode(cell, static_cast<TLdbNode>(rec.digits & 0x0F));
    col += kLdbCellBytes;
    if (!is32) return true;
    const bool constant = rec.type == CellDev::K || rec.type == CellDev::H;
    if (!Put(row, col, TLdbKind::Token_32bs, constant ? rec.type : 0, constant ? rec.high : 0)) return false;
    col += kLdbCellBytes;
    return true;
}

bool TCodeToLadder::PutCompare(std::int32_t row, std::int32_t col, int index, const std::uint8_t* insn) {
    const int code = CompareCodeOfIndex(index);
    if (code < 0 || code >= kCompareCodeCount) {
        Fail(TConvertFailure::UnknownWord);
        return false;
    }
    const bool is32 = (code & 1) != 0;
    if (!Put(row, col, TLdbKind::Comp_Ry, 0, static_cast<std::uint16_t>(code))) return false;
    std::int32_t c = col + kLdbCellBytes;
    const int size = is32 ? 8 : 4;
    for (int k = 0; k < 2; ++k) {
        TDeviceRecord rec;
        if (!DecodeOperandWord(insn + 2 + k * size, size, rec)) {
            Fail(TConvertFailure::BadOperand);
            return false;
        }
        if (!PutToken(row, c, rec, is32)) return false;
    }
    return true;
}

// The vertical links that close a parallel part: at the branch's start column
// and at its running end, from upperRow down to lowerRow.
void TCodeToLadder::ParallelClose(const TLadderBranchNode& b, std::int32_t upperRow, std::int32_t lowerRow) {
    LinkDown(b.col, upperRow, lowerRow);
    LinkDown(b.start, upperRow, lowerRow);
}

void TCodeToLadder::Anb() {
    if (Top().depth < 2) {
        Fail(TConvertFailure::BlockUnderflow);
        return;
    }
    if (Top().resultTaken) return Fail(TConvertFailure::ParallelAfterOutput);
    if (Top().seriesInv) return Fail(TConvertFailure::InvInBlock);
    const TLadderBranchNode b = Top();
    branches_.pop_back();
    TLadderBranchNode& a = Top();
    const std::int32_t width = b.col - b.start;
    const std::int32_t height = b.bottom - b.row + 1;

    // Lift B out of the grid first, so that the copy never reads what it wrote.
    const std::int32_t span = width + kLdbCellBytes;  // B's cells and its closing junction
    const std::int32_t spanIn = std::min(span, stride_ - b.start);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(height) * span, 0);
    for (std::int32_t k = 0; k < height; ++k) {
        if (b.row + k >= touched_) break;
        std::memcpy(&block[static_cast<std::size_t>(k) * span], At(b.row + k, b.start), spanIn);
        std::memset(At(b.row + k, b.start), 0, spanIn);
    }

    std::int32_t target = a.row;
    const bool endFree = a.col + kLdbCellBytes <= stride_ &&
                         (CellKind(At(a.row, a.col)) == TLdbKind::non_inst ||
                          CellKind(At(a.row, a.col)) == TLdbKind::V_Line) &&
                         RowFreeFrom(a.row, a.col);
    if (!endFree) {
        target = a.bottom + 1;
        LinkDown(a.col, a.row, target);
    }
    if (a.col + width > stride_) {
        Fail(TConvertFailure::TooWide);
        return;
    }
    for (std::int32_t k = 0; k < height && !Aborted(); ++k) {
        const std::int32_t row = target + k;
        if (!EnsureRow(row)) return;
        const std::int32_t n = std::min(span, stride_ - a.col);
        const std::uint8_t* src = &block[static_cast<std::size_t>(k) * span];
        std::uint8_t* dst = At(row, a.col);
        // The first cell joins the junction already there: its link flags merge.
        const std::uint8_t keepLink = dst[2] & 0xF0;
        const std::uint8_t keepNode = dst[1] & 0x0F;
        std::memcpy(dst, src, n);
        dst[2] = static_cast<std::uint8_t>(dst[2] | keepLink);
        if (CellKind(dst) == TLdbKind::non_inst && keepNode) SetCellNode(dst, static_cast<TLdbNode>(keepNode));
        if (k + 1 < height) {
            if (CellKind(dst) == TLdbKind::non_inst) SetCellKind(dst, TLdbKind::V_Line);
            SetCellLinkDown(dst, true);
        }
    }
    // The running end is now on the block's first row, which is below the
    // branch's row when that row already went on to an output.
    a.row = target;
    a.col += width;
    a.bottom = std::max(a.bottom, target + height - 1);
}

void TCodeToLadder::Orb() {
    if (Top().depth < 2) {
        Fail(TConvertFailure::BlockUnderflow);
        return;
    }
    if (Top().resultTaken || branches_[branches_.size() - 2].resultTaken)
        return Fail(TConvertFailure::ParallelAfterOutput);
    const TLadderBranchNode b = Top();
    branches_.pop_back();
    TLadderBranchNode& a = Top();
    const std::int32_t common = std::max(a.col, b.col);
    if (common > stride_) {
        Fail(TConvertFailure::TooWide);
        return;
    }
    // Extend each row of the narrower branch to the common column.
    const auto extend = [&](std::int32_t fromRow, std::int32_t toRow, std::int32_t oldEnd) {
        for (std::int32_t r = fromRow; r <= toRow && r < touched_; ++r) {
            bool carry = false;
            for (std::int32_t c = oldEnd; c < common; c += kLdbCellBytes) {
                std::uint8_t* cell = At(r, c);
                if (c == oldEnd) carry = CellLinksDown(cell);
                // Wire goes on wherever the cell on the left passes the result
                // on: after a contact, a wire or a token, and after an INV too.
                const TLdbKind left = c >= kLdbCellBytes ? CellKind(cell - kLdbCellBytes) : TLdbKind::non_inst;
                if (IsContactKind(left) || left == TLdbKind::H_Line || IsTokenKind(left) ||
                    left == TLdbKind::Inv_Ry) {
                    std::memset(cell, 0, kLdbCellBytes);
                    SetCellKind(cell, TLdbKind::H_Line);
                    SetCellNode(cell, TLdbNode::hl);
                } else {
                    std::memset(cell, 0, kLdbCellBytes);
                }
            }
            if (carry && common + kLdbCellBytes <= stride_) {
                std::uint8_t* end = At(r, common);
                if (CellKind(end) == TLdbKind::non_inst) SetCellKind(end, TLdbKind::V_Line);
                SetCellLinkDown(end, true);
            }
        }
    };
    if (a.col < common) extend(a.row, a.bottom, a.col);
    if (b.col < common) extend(b.row, b.bottom, b.col);
    if (common + kLdbCellBytes <= stride_) LinkDown(common, a.row, b.row);
    LinkDown(b.start, a.row, b.row);
    a.seriesInv = false;
    a.col = common;
    a.bottom = std::max(a.bottom, b.bottom);
    a.start = b.start;
}

void TCodeToLadder::MpsRestore(bool drop) {
    if (Top().depth == 0) {
        Fail(TConvertFailure::NeedsBranch);
        return;
    }
    if (mps_.empty()) {
        Fail(TConvertFailure::MpsUnderflow);
        return;
    }
    const TMpsEntry saved = mps_.back();
    if (drop) mps_.pop_back();
    Top().resultTaken = true;
    if (saved.col + kLdbCellBytes > stride_) {
        Fail(TConvertFailure::TooWide);
        return;
    }
    TLadderBranchNode& b = Top();
    // The branch takes the first row that is empty from the saved point on.
    // Only a vertical line at the saved column itself may pass there (it is
    // the line this branch hangs from); one further right belongs to a block
    // or an output of the branch above, and a contact put on it would join
    // that circuit.
    const auto freeFrom = [&](std::int32_t r) {
        if (!RowFreeFrom(r, saved.col)) return false;
        for (std::int32_t c = saved.col + kLdbCellBytes; r < touched_ && c + kLdbCellBytes <= stride_;
             c += kLdbCellBytes) {
            if (CellKind(At(r, c)) != TLdbKind::non_inst) return false;
        }
        return true;
    };
    // The ladder runs its output branches from the top down: below every
    // output of the branches before this one, whatever room is left above.
    std::int32_t row = std::max(saved.row, saved.lastOutputRow) + 1;
    while (!Aborted() && !freeFrom(row)) ++row;
    if (!EnsureRow(row)) return;
    LinkDown(saved.col, saved.row, row);
    b.row = row;
    b.col = saved.col;
    b.bottom = std::max(b.bottom, row);
}

void TCodeToLadder::OutputPlaced(std::int32_t row) {
    afterOutput_ = true;
    Top().resultTaken = true;
    for (TMpsEntry& e : mps_) e.lastOutputRow = std::max(e.lastOutputRow, row);
}

void TCodeToLadder::Output(std::uint16_t word, int index, const TInsnInfo& info, const std::uint8_t* insn) {
    // A block opened and not joined (LD LD OUT) has no place in a rung: the
    // ladder would drop one of its loads.
    if (std::count_if(branches_.begin() + 1, branches_.end(), [](const TLadderBranchNode& b) { return !b.ownRung; }) >
        1) {
        Fail(TConvertFailure::OpenBlock);
        return;
    }
    if (info.ownBranch && !PushBranch(true)) return;
    if (Top().depth == 0 && stlState_ == 0) {
        Fail(TConvertFailure::NeedsBranch);
        return;
    }
    // At the top of a step the output hangs off the step's insertion point.
    TLadderBranchNode& b = Top();
    if (b.depth == 0) {
        if (b.row < 0) {
            b.row = curRow_;
            b.col = b.start = curCol_;
            b.bottom = std::max(b.bottom, curRow_);
        }
    }
    const std::int32_t head = stride_ - info.cells * kLdbCellBytes;
    if (!EnsureRow(b.row)) return;
    if (!RowFreeFrom(b.row, b.col)) {
        // The row already ends in an output: the next one goes below, fed by
        // a vertical link from the branch's running end.
        const std::int32_t row = b.bottom + 1;
        LinkDown(b.col, b.row, row);
        b.row = b.bottom = row;
        if (!EnsureRow(row)) return;
    }
    if (b.col > head) {
        Fail(TConvertFailure::TooWide);
        return;
    }
    for (std::int32_t c = b.col; c < head; c += kLdbCellBytes) {
        std::uint8_t* cell = At(b.row, c);
        SetCellKind(cell, TLdbKind::H_Line);
        SetCellNode(cell, TLdbNode::hl);
    }

    TDeviceRecord rec;
    if (info.role == Role::Coil) {
        if (!DecodeContact(word, index, insn, rec)) return;
        // A coil drives Y, M or S only (OUT of an input is the error word).
        if (word == kErrorWord || !IsOutputDeviceLetter(DeviceTypeToLetter(rec.type))) {
            Fail(TConvertFailure::ErrorWord);
            return;
        }
        Put(b.row, head, TLdbKind::Out_Ry, rec.type, rec.number);
        OutputPlaced(b.row);
        return;
    }
    std::int32_t col = head;
    if (index == inst::SET || index == inst::LONG_SET) {
        if (!DecodeContact(word, index, insn, rec)) return;
        if (!IsOutputDeviceLetter(DeviceTypeToLetter(rec.type))) {
            Fail(TConvertFailure::ErrorWord);
            return;
        }
        Put(b.row, col, TLdbKind::Spec_Fun, 0, index == inst::SET ? 0xD000 : 0x020D);
        col += kLdbCellBytes;
        PutToken(b.row, col, rec, false);
        OutputPlaced(b.row);
        return;
    }
    if (!Put(b.row, col, TLdbKind::Spec_Fun, 0, word)) return;
    col += kLdbCellBytes;
    const std::uint32_t length = gInstLength[index];
    std::uint32_t p = 2;
    if (index == inst::TMR || index == inst::CNT || index == inst::DCNT) {
        if (!DecodeOperandWord(insn + 2, 2, rec)) {
            Fail(TConvertFailure::BadOperand);
            return;
        }
        if (!PutToken(b.row, col, rec, false)) return;
        p = 4;
    }
    const bool is32 = (gInstFlags[index] & kInst32Bit) != 0;
    const std::uint32_t size = is32 ? 8 : 4;
    for (; p + size <= length && !Aborted(); p += size) {
        if (!DecodeOperandWord(insn + p, static_cast<int>(size), rec)) {
            Fail(TConvertFailure::BadOperand);
            return;
        }
        if (!PutToken(b.row, col, rec, is32)) return;
    }
    OutputPlaced(b.row);
}

void TCodeToLadder::RecordLabel(std::uint16_t word) {
    if (Top().depth != 0) {
        Fail(TConvertFailure::LabelMisplaced);
        return;
    }
    const bool isP = (word & 0xF800) == 0xB000;
    const std::int32_t n = isP ? (word - 0xB000) : (word - 0xB800);
    const std::int32_t size = isP ? kPLabelCount : kILabelCount;
    if (n < 0 || n >= size) {
        Fail(TConvertFailure::LabelOutOfRange);
        return;
    }
    pendingLabels_.push_back(TPendingLabel{isP, n});
}

// The labels read since the last network belong to the first row of the
// network about to be appended.
void TCodeToLadder::AssignLabels(std::int32_t row) {
    for (const TPendingLabel& l : pendingLabels_) {
        std::vector<std::int32_t>& table = l.isP ? pLabels_ : iLabels_;
        // A label defined twice, or two labels of one kind on a row, cannot be
        // drawn: one of them would vanish from the code at the next compile.
        if (table[l.number] != -1 || std::find(table.begin(), table.end(), row) != table.end()) {
            Fail(TConvertFailure::LabelTwice);
            return;
        }
        table[l.number] = row;
    }
    pendingLabels_.clear();
}

// In a step, a load after an output starts the step's next rung: the rung
// before is complete, its branches close and the next one hangs below it.
bool TCodeToLadder::EndStepRung() {
    if (stlState_ == 0 || !afterOutput_) return true;
    if (!mps_.empty()) {
        Fail(TConvertFailure::MpsLeftOpen);
        return false;
    }
    while (branches_.size() > 1) {
        const std::int32_t bottom = Top().bottom;
        branches_.pop_back();
        Top().bottom = std::max(Top().bottom, bottom);
    }
    return true;
}

void TCodeToLadder::Place(std::uint16_t word, int index, const TInsnInfo& info, const std::uint8_t* insn) {
    if (Aborted()) return;
    TDeviceRecord rec;
    switch (info.role) {
        case Role::Nop:
            return;
        case Role::Label:
            RecordLabel(word);
            return;
        case Role::LoadContact:
            if (!EndStepRung()) return;
            if (!DecodeContact(word, index, insn, rec) || !PushBranch()) return;
            if (Put(Top().row, Top().col, info.kind, rec.type, rec.number)) Top().col += kLdbCellBytes;
            if (stlState_ == 1) stlState_ = 2;
            afterOutput_ = false;
            return;
        case Role::LoadCompare:
            if (!EndStepRung()) return;
            if (!PushBranch()) return;
            if (Top().col + info.cells * kLdbCellBytes > stride_) {
                Fail(TConvertFailure::TooWide);
                return;
            }
            if (PutCompare(Top().row, Top().col, index, insn)) Top().col += info.cells * kLdbCellBytes;
            if (stlState_ == 1) stlState_ = 2;
            afterOutput_ = false;
            return;
        case Role::AndContact:
            if (Top().depth == 0) return Fail(TConvertFailure::NeedsBranch);
            if (!DecodeContact(word, index, insn, rec) || !SeriesSlot(kLdbCellBytes)) return;
            if (Put(Top().row, Top().col, info.kind, rec.type, rec.number)) Top().col += kLdbCellBytes;
            return;
        case Role::AndCompare:
            if (Top().depth == 0) return Fail(TConvertFailure::NeedsBranch);
            if (!SeriesSlot(info.cells * kLdbCellBytes)) return;
            if (PutCompare(Top().row, Top().col, index, insn)) Top().col += info.cells * kLdbCellBytes;
            return;
        case Role::Inv:
            if (Top().depth == 0) return Fail(TConvertFailure::NeedsBranch);
            if (!SeriesSlot(kLdbCellBytes)) return;
            if (Put(Top().row, Top().col, TLdbKind::Inv_Ry, 0, 0)) Top().col += kLdbCellBytes;
            Top().seriesInv = true;
            return;
        case Role::OrContact:
        case Role::OrCompare: {
            if (Top().depth == 0) return Fail(TConvertFailure::NeedsBranch);
            if (Top().resultTaken) return Fail(TConvertFailure::ParallelAfterOutput);
            Top().seriesInv = false;  // everything so far is one parallel part now
            if (info.role == Role::OrContact && !DecodeContact(word, index, insn, rec)) return;
            TLadderBranchNode& b = Top();
            const std::int32_t row = b.bottom + 1;
            const std::int32_t width = info.cells * kLdbCellBytes;
            if (b.start + width > stride_) return Fail(TConvertFailure::TooWide);
            if (!EnsureRow(row)) return;
            if (info.role == Role::OrContact) {
                if (!Put(row, b.start, info.kind, rec.type, rec.number)) return;
            } else if (!PutCompare(row, b.start, index, insn)) {
                return;
            }
            const std::int32_t end = b.start + width;
            if (end > b.col) {
                // The compare is wider than the branch: the branch row runs on to its end.
                for (std::int32_t c = b.col; c < end; c += kLdbCellBytes) {
                    std::uint8_t* cell = At(b.row, c);
                    if (CellKind(cell) == TLdbKind::non_inst || CellKind(cell) == TLdbKind::V_Line) {
                        SetCellKind(cell, TLdbKind::H_Line);
                        SetCellNode(cell, TLdbNode::hl);
                    }
                }
                b.col = end;
            }
            for (std::int32_t c = end; c < b.col; c += kLdbCellBytes) {
                std::uint8_t* cell = At(row, c);
                SetCellKind(cell, TLdbKind::H_Line);
                SetCellNode(cell, TLdbNode::hl);
            }
            const std::int32_t upper = b.row;
            b.bottom = row;
            if (b.col + kLdbCellBytes > stride_) return Fail(TConvertFailure::TooWide);
            ParallelClose(b, upper, row);
            return;
        }
        case Role::Stl:
            if (stlState_ == 2 || Top().depth > 0) return Fail(TConvertFailure::StlMisplaced);
            stlState_ = 1;
            if (curCol_ + kLdbCellBytes > stride_) return Fail(TConvertFailure::TooWide);
            if (!DecodeContact(word, index, insn, rec)) return;
            if (Put(curRow_, curCol_, TLdbKind::State_Ry, rec.type, rec.number)) curCol_ += kLdbCellBytes;
            return;
        case Role::Anb:
            return Anb();
        case Role::Orb:
            return Orb();
        case Role::Mps:
            if (Top().depth == 0) return Fail(TConvertFailure::NeedsBranch);
            if (static_cast<int>(mps_.size()) >= kMpsEntries) return Fail(TConvertFailure::MpsOverflow);
            mps_.push_back(TMpsEntry{Top().row, Top().col, -1});
            Top().resultTaken = true;
            return;
        case Role::Mrd:
            afterOutput_ = false;
            return MpsRestore(false);
        case Role::Mpp:
            afterOutput_ = false;
            return MpsRestore(true);
        case Role::Coil:
        case Role::Box:
            return Output(word, index, info, insn);
        case Role::Unknown:
            return Fail(TConvertFailure::UnknownWord);
    }
}

bool TCodeToLadder::AppendRow(const std::uint8_t* row60) {
    const std::int32_t next = RowsWritten(rows_);
    if (next >= target_.rowCapacity && !target_.grow) {
        Fail(TConvertFailure::GridFull);
        return false;
    }
    rows_.insert(rows_.end(), row60, row60 + kLdbRowBytes);
    return true;
}

void TCodeToLadder::AppendBlockComments(std::uint32_t upTo) {
    if (!in_.comments) return;
    const auto& blocks = in_.comments->blocks;
    while (nextBlock_ < blocks.size() && blocks[nextBlock_].offset <= upTo && !Aborted()) {
        const TBlockCommentRecord& rec = blocks[nextBlock_++];
        if (!IsBlockCommentRow(rec.row)) continue;  // only comment rows come from this file
        AppendRow(rec.row);
    }
}

void TCodeToLadder::Flush() {
    if (Aborted()) return;
    if (!mps_.empty()) return Fail(TConvertFailure::MpsLeftOpen);

    // In a step, the vertical line that joins the step's rungs ends at the last rung.
    if (curCol_ != 0 && curCol_ + kLdbCellBytes <= stride_) {
        std::int32_t r = touched_ - 1;
        while (r > 0) {
            std::uint8_t* cell = At(r, curCol_);
            const TLdbKind k = CellKind(cell);
            if (k != TLdbKind::non_inst && k != TLdbKind::V_Line) break;
            if (k == TLdbKind::V_Line) SetCellKind(cell, TLdbKind::non_inst);
            SetCellLinkDown(cell, false);
            SetCellLinkDown(At(r - 1, curCol_), false);
            --r;
        }
    }

    std::int32_t lastRow = FindLastUsedRow(work_.data(), stride_, touched_ - 1);
    if (lastRow < 0) return;
    const std::int32_t rowCount = lastRow + 1;
    RecalcRows(stride_, lastRow, work_.data(), rowCount);
    const std::int32_t folded = FoldNetworkRows(work_, stride_, lastRow);
    if (folded <= 0) return Fail(TConvertFailure::TooWide);
    if (folded != stride_) {
        stride_ = folded;
        rowsAlloc_ = static_cast<std::int32_t>(work_.size() / stride_);
        touched_ = rowCount;
    }
    RecalcRows(stride_, lastRow, work_.data(), rowCount);
    if (stride_ > kLdbRowBytes) {
        PullOutputLeft(work_.data(), stride_, lastRow);
        RecalcRows(stride_, lastRow, work_.data(), rowCount);
        MarkConnectors(work_.data(), stride_, lastRow);
        RecalcRows(stride_, lastRow, work_.data(), rowCount);
    }

    const std::int32_t firstRow = RowsWritten(rows_);
    AssignLabels(firstRow);
    if (Aborted()) return;
    if (result_.marks.empty() || result_.marks.back().row != firstRow) {
        result_.marks.push_back(TStepMark{static_cast<std::uint16_t>(firstRow),
                                          static_cast<std::uint16_t>(pendingStep_)});
    }
    pendingStep_ = -1;
    for (std::int32_t seg = 0; seg < stride_ / kLdbRowBytes && !Aborted(); ++seg) {
        for (std::int32_t r = 0; r <= lastRow && !Aborted(); ++r) {
            const std::uint8_t* row = At(r, seg * kLdbRowBytes);
            if (!IsLadderRowEmpty(row)) AppendRow(row);
        }
    }
}

bool TCodeToLadder::CompilesBack() {
    const std::int32_t count = RowsWritten(rows_);
    if (count == 0) return true;
    TCompileTarget t;
    t.grid = rows_.data();
    t.gridRows = count;
    t.lastRow = count - 1;
    t.labels = TLabelTables{pLabels_.data(), iLabels_.data()};
    // The compiled code may hold what the conversion dropped (NOPs) in other
    // forms; it never needs more than twice the code's room.
    std::vector<std::uint8_t> code(std::max<std::size_t>(static_cast<std::size_t>(in_.length) * 2, 64), 0xFF);
    t.code = code.data();
    t.capacity = static_cast<std::uint32_t>(code.size());
    t.condition = in_.condition;
    // Rung comments to place need the rungs' rows as the compile cuts them.
    const bool places = in_.wantPlaces || (in_.comments && !in_.comments->rows.empty());
    return LadderCompiles(t, places ? &result_.places : nullptr);
}

TConvertResult TCodeToLadder::Run() {
    aborted_ = false;
    stlState_ = in_.stepCode ? 1 : 0;
    pLabels_.assign(kPLabelCount, -1);
    iLabels_.assign(kILabelCount, -1);
    rows_.reserve(static_cast<std::size_t>(std::min(target_.rowCapacity, 4096)) * kLdbRowBytes);
    touched_ = 0;
    stride_ = kLdbRowBytes;
    work_.assign(static_cast<std::size_t>(kWorkStartRows) * kLdbRowBytes, 0);
    mps_.clear();

    pos_ = 0;
    while (pos_ < in_.length && !Aborted()) {
        AppendBlockComments(pos_);
        if (Aborted()) break;
        const TScanResult scan = ScanOneNetwork(in_.code, in_.length, pos_, in_.stepCode);
        pos_ = scan.start;
        if (scan.start == scan.end) {
            if (scan.start < in_.length) {
                insnPos_ = scan.start;
                Fail(TConvertFailure::EmptyNetwork);
            }
            break;
        }
        if (pendingStep_ < 0) pendingStep_ = static_cast<std::int32_t>(scan.start / 2);
        if (!in_.stepCode) stlState_ = 0;
        StartNetwork(scan.stride);

        std::uint16_t lastWord = kNopWord;
        while (pos_ < scan.end && !Aborted()) {
            insnPos_ = pos_;
            const std::uint16_t word = ReadCodeWord(in_.code, in_.length, pos_);
            const int index = OpcodeToIndex(word);
            const TInsnInfo info = Classify(word, index);
            if (info.role == Role::Unknown) {
                Fail(TConvertFailure::UnknownWord);
                break;
            }
            const std::uint32_t len = info.role == Role::Nop ? 2u : gInstLength[index];
            if (pos_ + len > in_.length) {
                Fail(TConvertFailure::CodeOverrun);
                break;
            }
            Place(word, index, info, in_.code + pos_);
            if (word == 0x000E) stlState_ = 0;  // RET
            if (info.role != Role::Nop) lastWord = word;
            pos_ += len;
        }
        if (scan.failure != TConvertFailure::None && !Aborted()) {
            insnPos_ = scan.failOffset;
            Fail(scan.failure);
        }
        if (Aborted()) break;
        // A label belongs to the rows that follow it: nothing to flush.
        if (!IsLabelWord(lastWord)) Flush();
    }
    if (!Aborted() && in_.comments) {
        const std::uint32_t used = std::min(in_.used, in_.length);
        AppendBlockComments(used);
    }
    if (!Aborted() && !pendingLabels_.empty()) {
        insnPos_ = in_.used;
        Fail(TConvertFailure::LabelAtEnd);
    }

    work_.clear();
    work_.shrink_to_fit();
    branches_.clear();
    if (Aborted()) {
        result_.ok = false;
        result_.marks.clear();
        return result_;
    }

    // What is drawn must compile back: the ladder is the program's other
    // form, and a ladder the compile refuses would hold the program hostage
    // (every construct the drawing cannot carry is refused here, with 162).
    if (!CompilesBack()) {
        insnPos_ = 0;
        Fail(TConvertFailure::NotCompilable);
        result_.ok = false;
        result_.marks.clear();
        return result_;
    }

    // Commit: only now is the target touched.
    const std::int32_t count = RowsWritten(rows_);
    if (count > target_.rowCapacity) {
        std::uint8_t* grid = target_.grid;
        std::int32_t capacity = target_.rowCapacity;
        if (!target_.grow || !target_.grow(count + 32, grid, capacity) ||
            capacity < count) {
            aborted_ = true;
            result_.cause = TConvertFailure::GridFull;
            result_.ok = false;
            result_.marks.clear();
            return result_;
        }
        target_.grid = grid;
        target_.rowCapacity = capacity;
    }
    std::memset(target_.grid, 0, static_cast<std::size_t>(target_.rowCapacity) * kLdbRowBytes);
    if (!rows_.empty()) std::memcpy(target_.grid, rows_.data(), rows_.size());
    std::copy(pLabels_.begin(), pLabels_.end(), target_.labels.pRows);
    std::copy(iLabels_.begin(), iLabels_.end(), target_.labels.iRows);
    result_.ok = true;
    result_.rowCount = count;
    if (in_.comments) {
        std::size_t placedRows = 0;
        // A row shows one comment: a second one for the same row (two rungs
        // become one) is left out and counted, never written over the first.
        std::vector<bool> taken(static_cast<std::size_t>(count), false);
        // The network each drawn row compiles in: the rows the conversion
        // draws for a network can go on past its rung (an END on its own row
        // below it), and those are no rows of the rung.
        std::vector<std::uint32_t> network(static_cast<std::size_t>(count), UINT32_MAX);
        for (const TRowComment& p : result_.places.comments.rows)
            if (p.index >= 0 && p.row >= 0 && p.row < count) network[static_cast<std::size_t>(p.row)] = p.networkOffset;
        for (const TRowComment& c : in_.comments->rows) {
            std::int32_t row = c.row;
            if (c.index >= 0) {
                // Placed by its network: the row of that place while the
                // network still has it, else the network's first row (its
                // rung lost rows in the edit, the comment stays with it).
                row = -1;
                for (std::size_t m = 0; m < result_.marks.size(); ++m) {
                    if (result_.marks[m].step * 2u != c.networkOffset) continue;
                    const std::int32_t first = result_.marks[m].row;
                    const std::int32_t end = m + 1 < result_.marks.size() ? result_.marks[m + 1].row : count;
                    const std::int32_t r = first + c.index;
                    row = r < end && network[static_cast<std::size_t>(r)] == c.networkOffset ? r : first;
                    break;
                }
            }
            if (row >= 0 && row < count && !taken[static_cast<std::size_t>(row)]) {
                taken[static_cast<std::size_t>(row)] = true;
                result_.rowComments.push_back(TRowComment{row, c.text});
                ++placedRows;
            }
        }
        result_.unplacedComments = in_.comments->rows.size() - placedRows;
        if (!in_.wantPlaces) result_.places = {};
    }
    return result_;
}

}  // namespace

const char* ConvertFailureName(TConvertFailure f) {
    static const char* const kNames[] = {
        "None", "EmptyNetwork", "UnknownWord", "CodeOverrun", "BadOperand", "TooDeep",
        "NeedsBranch", "BlockUnderflow", "MpsOverflow", "MpsUnderflow", "MpsLeftOpen",
        "TooTall", "TooWide", "StlMisplaced", "ErrorWord", "LabelMisplaced", "LabelTwice",
        "LabelOutOfRange", "LabelAtEnd", "GridFull", "OpenBlock", "NotCompilable", "ParallelAfterOutput", "InvInBlock",
    };
    const auto i = static_cast<std::size_t>(f);
    return i < sizeof kNames / sizeof kNames[0] ? kNames[i] : "?";
}

std::vector<std::uint32_t> CodeNetworkStarts(const std::uint8_t* code, std::uint32_t length) {
    std::vector<std::uint32_t> starts;
    for (std::uint32_t pos = 0; pos < length;) {
        const TScanResult scan = ScanOneNetwork(code, length, pos, false);
        if (scan.start == scan.end) break;
        starts.push_back(scan.start);
        pos = scan.end;
    }
    return starts;
}

TConvertResult ConvertCodeToGrid(const TConvertInput& in, TLadderTarget& target) {
    TCodeToLadder conv(in, target);
    return conv.Run();
}

namespace {
// The shared flag of the entry points that work on the program's buffers.
// What 162 names after it: the instructions of the code the model does not
// run as they stand, which the ladder's compile would refuse.
std::string gConvertAbortDetail;

std::uint8_t SetConvertAbort(const TConvertResult& r, const TConvertInput& in) {
    gConvertAbort = r.ok ? 0 : 1;
    gConvertAbortDetail.clear();
    if (!r.ok && in.code)
        if (const std::string found = CodeBeyondFamily({in.code, in.length}, in.used, CurrentFamily()); !found.empty())
            gConvertAbortDetail = "\n" + gMsgTable.Get(kMsgCodeBeyondFamily) + " " + found;
    return gConvertAbort;
}
}  // namespace

std::size_t gConvertDroppedComments = 0;

bool IsLabelWord(std::uint16_t w) { return (w >> 8) >= 0xB0 && (w >> 8) <= 0xBF; }

std::vector<std::uint32_t> CarriedRowIds(const std::vector<std::uint8_t>& before, const std::vector<std::uint32_t>& ids,
                                         const std::uint8_t* grid, std::int32_t lastRow) {
    std::vector<std::uint32_t> out;
    if (lastRow < 0) return out;
    const auto same = [](const std::uint8_t* a, const std::uint8_t* b) {
        return (a[0] & ~kRowConsumed) == (b[0] & ~kRowConsumed) && std::memcmp(a + 1, b + 1, kLdbRowBytes - 1) == 0;
    };
    const auto hashOf = [](const std::uint8_t* row) {
        const std::uint8_t flags = row[0] & ~kRowConsumed;
        return LadderHash(LadderHash(kLadderHashStart, &flags, 1), row + 1, kLdbRowBytes - 1);
    };
    const std::int32_t old = static_cast<std::int32_t>(std::min(before.size() / kLdbRowBytes, ids.size()));
    const auto oldRow = [&](std::int32_t r) { return before.data() + static_cast<std::size_t>(r) * kLdbRowBytes; };
    // Old rows by content (hash, row), made only when a row is not where the
    // last one taken leads.
    std::vector<std::pair<std::uint64_t, std::int32_t>> index;
    out.reserve(static_cast<std::size_t>(lastRow) + 1);
    std::int32_t after = -1;  // the last old row taken: the order is kept
    for (std::int32_t r = 0; r <= lastRow; ++r) {
        const std::uint8_t* row = grid + static_cast<std::size_t>(r) * kLdbRowBytes;
        std::uint32_t id = 0;
        if (!IsBlankNetworkRow(row)) {
            // Mostly the rows come again in their order, blank rows left out.
            std::int32_t o = after + 1;
            while (o < old && IsBlankNetworkRow(oldRow(o))) ++o;
            if (o < old && same(oldRow(o), row)) {
                id = ids[static_cast<std::size_t>(o)];
                after = o;
            } else {
                if (index.empty()) {
                    for (std::int32_t k = 0; k < old; ++k)
                        if (!IsBlankNetworkRow(oldRow(k))) index.emplace_back(hashOf(oldRow(k)), k);
                    std::sort(index.begin(), index.end());
                }
                const std::uint64_t h = hashOf(row);
                for (auto it = std::upper_bound(index.begin(), index.end(), std::make_pair(h, after));
                     it != index.end() && it->first == h; ++it) {
                    if (!same(oldRow(it->second), row)) continue;
                    id = ids[static_cast<std::size_t>(it->second)];
                    after = it->second;
                    break;
                }
            }
        }
        out.push_back(id != 0 ? id : NewLadderRowId());
    }
    return out;
}

std::uint8_t ConvertCodeToLadder() {
    gConvertDroppedComments = 0;
    gConvertAbortDetail.clear();
    TConvertInput in;
    in.code = gProgram;
    in.length = gProgramCapacity;
    in.used = std::min(gProgramUsed, gProgramCapacity);
    in.wantPlaces = true;
    TLadderTarget target;
    target.grid = gLadderRows;
    target.rowCapacity = gLadderRows ? kLadderRows : 0;
    target.labels = TLabelTables{gPLabelRows, gILabelRows};
    if (!gProgram || !gLadderRows) {
        gConvertAbort = 1;
        return gConvertAbort;
    }
    // The comments belong to their rungs: those the ladder holds go onto
    // the code through the instructions they stood with. Only a ladder that
    // holds none takes the compile's hand-over files (written for this code).
    TCodeComments held;
    std::vector<TRowComment> loose;
    std::size_t dropped = 0;
    // Comments read with a ladder file of other code stand by its rows, not
    // by the grid's.
    const bool fileRows = !gCommentLadderRows.empty();
    if (fileRows) FileLadderComments(gCommentLadderRows, held, dropped);
    else ProgramLadderComments(held, loose, dropped);
    // The rows as they are, so that the rows drawn again as they were keep
    // their identities (an undo finds a comment typed since by them).
    const std::int32_t lastBefore = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
    std::vector<std::uint8_t> before;
    if (!gQel.RungRowIds.empty())
        before.assign(gLadderRows, gLadderRows + static_cast<std::size_t>(lastBefore + 1) * kLdbRowBytes);
    TSavedComments comments;
    if (held.comments.blocks.empty() && held.comments.rows.empty() && loose.empty() && dropped == 0) {
        if (LoadCommentFilesFor(ProgramCommentFiles(), gProgram, in.used, comments, ProgramCommentFilesOwner()))
            in.comments = &comments;
    } else {
        std::size_t lost = 0;
        comments = MoveComments(held, gProgram, in.used, lost);
        dropped += lost;
        in.comments = &comments;
    }
    TConvertResult r = ConvertCodeToGrid(in, target);
    if (!r.ok) return SetConvertAbort(r, in);
    gLadderRowCount = r.rowCount;
    gMarkList = r.marks;
    if (fileRows) gCommentLadderRows.clear();
    gQel.RungRowIds = CarriedRowIds(before, gQel.RungRowIds, gLadderRows, r.rowCount - 1);
    MarkLadderOfProgram();
    KeepProgramLadderPlaces(std::move(r.places));
    // The rung comments are those of the ladder just drawn, each beside its
    // own row: the rows of the old ladder no longer mean anything.
    auto& rung = gQel.RungComments;
    rung.clear();
    for (const TRowComment& c : r.rowComments) {
        if (static_cast<std::size_t>(c.row) >= rung.size()) rung.resize(static_cast<std::size_t>(c.row) + 1);
        rung[static_cast<std::size_t>(c.row)] = c.text;
    }
    // A comment typed on a row of no rung had only its row: it stays there
    // while that row is free in the new ladder, and never goes beside a rung
    // the ladder it was typed in did not have there. Without rows (a project
    // saved before its ladder was drawn) the rows it names are the code's
    // own drawing, which this is.
    for (const TRowComment& c : loose) {
        const auto row = static_cast<std::size_t>(c.row);
        const std::uint8_t* now = gLadderRows + row * kLdbRowBytes;
        const bool free = c.row < r.rowCount && (row >= rung.size() || rung[row].empty()) &&
                          (lastBefore < 0 ? !IsBlockCommentRow(now) : IsBlankNetworkRow(now));
        if (!free) {
            ++dropped;
            continue;
        }
        if (row >= rung.size()) rung.resize(row + 1);
        rung[row] = c.text;
    }
    gConvertDroppedComments = dropped + r.unplacedComments;
    return SetConvertAbort(r, in);
}

std::uint8_t ConvertSfcCodeToLadder(std::uint8_t stepCode, bool condition, std::vector<TStepMark>* marks) {
    gConvertDroppedComments = 0;  // an inner ladder has no comments; none to report from an earlier conversion
    gConvertAbortDetail.clear();
    if (!gProgramCopy || !gInterLadderGrid) {
        gConvertAbort = 1;
        return gConvertAbort;
    }
    TConvertInput in;
    in.code = gProgramCopy;
    in.used = std::min(gProgramCopyUsed, gProgramCopySize);
    in.length = in.used;
    in.stepCode = stepCode != 0;
    in.condition = condition;
    TLadderTarget target;
    target.grid = gInterLadderGrid;
    target.rowCapacity = gInterLadderRowCapacity;
    target.labels = TLabelTables{gInterPLabelRows, gInterILabelRows};
    target.grow = [](std::int32_t minRows, std::uint8_t*& grid, std::int32_t& capacity) {
        std::int32_t rows = gInterLadderRowCapacity;
        while (rows < minRows) rows += kInterLadderGrowRows;
        GrowInterLadderGrid(rows);
        grid = gInterLadderGrid;
        capacity = gInterLadderRowCapacity;
        return capacity >= minRows;
    };
    const TConvertResult r = ConvertCodeToGrid(in, target);
    if (r.ok && marks) *marks = r.marks;
    return SetConvertAbort(r, in);
}

bool ReportConvertAbort() {
    if (!gConvertAbort) {
        if (gConvertDroppedComments > 0) ShowMsg(kMsgCommentsDropped, " " + std::to_string(gConvertDroppedComments));
        gConvertDroppedComments = 0;
        return false;
    }
    ShowMsg(kConvertMsgId, gConvertAbortDetail);
    gConvertAbortDetail.clear();
    gConvertAbort = 0;
    return true;
}

std::int32_t ScanNetwork(const std::uint8_t* code, std::uint32_t length, bool stepCode) {
    const TScanResult r = ScanOneNetwork(code, length, gConvertCodePos, stepCode);
    gNetworkStart = r.start;
    gNetworkEnd = r.end;
    if (r.failure != TConvertFailure::None) gConvertAbort = 1, gConvertAbortDetail.clear();
    gNetworkStride = r.stride;
    return r.stride;
}

void SetLadderCell(std::int32_t row, std::int32_t col, std::int32_t stride, TLdbKind kind,
                   std::uint8_t devType, std::uint16_t operand) {
    if (gConvertAbort || row < 0 || col < 0 || stride <= 0 || col + kLdbCellBytes > stride) return;
    const std::size_t at = static_cast<std::size_t>(row) * stride + col;
    if (at + kLdbCellBytes > gNetworkBuf.size()) return;
    std::uint8_t* cell = gNetworkBuf.data() + at;
    SetCellKind(cell, kind);
    SetCellDevType(cell, devType);
    SetCellOperand(cell, operand);
}

std::int32_t FoldWideNetwork(std::int32_t stride, std::int32_t lastRow) {
    return FoldNetworkRows(gNetworkBuf, stride, lastRow);
}
