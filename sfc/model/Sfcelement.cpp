#include "sfc/model/Sfcelement.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/Codetranslate.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "platform/Messages.h"
#include "project/Chartstamp.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "sfc/model/Codetosfc.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/model/Sfctocode.h"

namespace {

TSfcCell SharedCell(std::int32_t row, std::int32_t col) {
    if (!gSfcGrid || row < 0 || row >= gSfcRowCount || col < 0 || col >= kSfcColumns) return {};
    const std::uint8_t* p = gSfcGrid + static_cast<std::size_t>(row) * kSfcRowBytes + col * kSfcCellBytes;
    return {p[0], p[1], p[2], p[3]};
}

// Compiles the inner ladder into `out` (cut to the compiled length); a
// transition's as its condition.
bool CompileInnerLadder(std::vector<std::uint8_t>& out, bool condition) {
    if (!gInterLadderGrid) return false;
    const std::uint32_t capacity = std::max(gProgramCopySize, gProgramCapacity);
    out.assign(capacity, 0xFF);
    TCompileTarget t;
    t.grid = gInterLadderGrid;
    t.gridRows = gInterLadderRowCapacity;
    t.lastRow = FindLastUsedRow(gInterLadderGrid, kLadderRowBytes, gInterLadderRowCapacity - 1);
    t.labels = TLabelTables{gInterPLabelRows, gInterILabelRows};
    t.code = out.data();
    t.capacity = capacity;
    t.condition = condition;
    if (CompileLadder(t) != 0) return false;
    out.resize(std::min<std::size_t>(gCompileCodeOffset, out.size()));
    return true;
}

}  // namespace

bool SfcCellHasInnerProgram(std::int32_t row, std::int32_t col) {
    const TSfcCell x = SharedCell(row, col);
    return !x.Empty() && SfcTypeHasCode(x.type);
}

std::uint8_t SfcInnerStepFlag(std::int32_t row, std::int32_t col) {
    return SharedCell(row, col).type == kSfcLad ? 0 : 1;
}

bool SfcInnerIsCondition(std::int32_t row, std::int32_t col) {
    return SharedCell(row, col).type == kSfcTransition;
}

bool LoadSfcElementCode(std::int32_t row, std::int32_t col) {
    if (!SfcCellHasInnerProgram(row, col)) return false;
    const TSfcCodeRec* rec = FindSfcCodeRec(row, col * kSfcCellBytes);
    const std::size_t n = rec ? rec->code.size() : 0;
    GrowProgramCopy(static_cast<std::uint32_t>(n));
    if (!gProgramCopy) return false;
    std::memset(gProgramCopy, 0xFF, gProgramCopySize);
    if (n) std::memcpy(gProgramCopy, rec->code.data(), n);
    LocateProgramCopyEnd();
    return true;
}

std::vector<TCodeBlock> SfcOtherElementCode(std::int32_t row, std::int32_t col) {
    std::vector<TCodeBlock> blocks;
    for (const auto& rec : gSfcCodeList)
        if (rec && !(rec->row == row && rec->col == col * kSfcCellBytes) && !rec->code.empty())
            blocks.push_back({rec->code.data(), rec->code.size()});
    return blocks;
}

std::string SfcLabelHeldElsewhere(const std::uint8_t* code, std::size_t used, std::int32_t row, std::int32_t col) {
    const std::vector<TCodeBlock> others = SfcOtherElementCode(row, col);
    for (std::uint32_t at = 0; at < used;) {
        const std::uint16_t word = ReadCodeWord(code, used, at);
        const int index = OpcodeToIndex(word);
        if ((index == inst::PLABEL || index == inst::ILABEL) && !CheckWordUniqueInList(word, others))
            return DisassembleText(code, used, at);
        const std::uint32_t next = NextInstructionOffset(at, code, used);
        if (next <= at) break;
        at = next;
    }
    return {};
}

bool OpenSfcElementLadder(std::int32_t row, std::int32_t col) {
    if (!LoadSfcElementCode(row, col)) return false;
    return ConvertSfcCodeToLadder(SfcInnerStepFlag(row, col), SfcInnerIsCondition(row, col)) == 0;
}

bool SfcInnerLadderToList(bool condition) {
    std::vector<std::uint8_t> code;
    if (!CompileInnerLadder(code, condition)) return false;
    GrowProgramCopy(static_cast<std::uint32_t>(code.size()));
    std::memset(gProgramCopy, 0xFF, gProgramCopySize);
    if (!code.empty()) std::memcpy(gProgramCopy, code.data(), code.size());
    LocateProgramCopyEnd();
    return true;
}

bool StoreSfcElementCode(std::int32_t row, std::int32_t col, const std::vector<std::uint8_t>& code) {
    if (!SfcCellHasInnerProgram(row, col)) return false;
    TSfcCodeRec* rec = FindSfcCodeRec(row, col * kSfcCellBytes);
    if (!rec) {
        rec = AddSfcCodeRec();
        rec->row = row;
        rec->col = col * kSfcCellBytes;
    }
    rec->code = code;
    return true;
}

bool StoreSfcElementLadder(std::int32_t row, std::int32_t col) {
    if (!SfcCellHasInnerProgram(row, col)) return false;
    std::vector<std::uint8_t> code;
    if (!CompileInnerLadder(code, SfcInnerIsCondition(row, col))) return false;
    return StoreSfcElementCode(row, col, code);
}

namespace {

// What the shared chart converts to: its code cut to its length (nothing when
// it does not convert), and whether it holds elements no chain reaches.
struct TSharedChartCode {
    std::optional<std::vector<std::uint8_t>> code;
    bool strays = false;
};

TSharedChartCode SharedChartCode() {
    if (!gProgram || gProgramCapacity == 0) return {};
    std::vector<std::uint8_t> out(gProgramCapacity, 0xFF);
    const TSfcToCodeResult r = SfcChartToCode(TSfcChartRef::Shared(), out.data(), gProgramCapacity);
    if (!r.ok()) return {};
    out.resize(r.length);
    return {std::move(out), r.strays > 0};
}

bool IsProgramCode(const std::vector<std::uint8_t>& code) {
    const std::uint32_t used = LocateProgramEnd();
    return code.size() == used && std::memcmp(code.data(), gProgram, used) == 0;
}

}  // namespace

bool SfcChartMatchesProgram() {
    if (SfcLastUsedRow(gSfcGrid, gSfcRowCount) < 0) return false;
    const auto code = SharedChartCode().code;
    return code && IsProgramCode(*code);
}

namespace {

bool ChartEmpty() { return !gProgram || SfcLastUsedRow(gSfcGrid, gSfcRowCount) < 0; }

// The state of a shared chart that is not empty, `shared` being what it
// converts to.
TSfcChartState ChartStateOf(const TSharedChartCode& shared) {
    const auto& code = shared.code;
    if (code && IsProgramCode(*code)) return TSfcChartState::OfProgram;
    // A chart file of an older version does not say which code it was drawn
    // for: taken for a drawing of other code, its rows could go in over
    // edits made in the list since. An element in it that no chain reaches
    // is in no code, and no drawing of code holds one: the user's work.
    if (gSfcCodeStamp == 0) return shared.strays ? TSfcChartState::Edited : TSfcChartState::OldDrawing;
    // The chart is as it stood when it last matched the program (its content
    // stamp), or it changed since only in ways its code does not show: it
    // converts to what it converted to then (code typed by hand may convert
    // to an equivalent form) and holds no element that no chain reaches. An
    // element placed off the chains is in no code: it is the user's work
    // whatever the code became, never only a drawing of it.
    const bool unchanged =
        SfcChartContentStamp() == gSfcChartStamp ||
        (code && !shared.strays &&
         CodeImageStamp(code->data(), static_cast<std::uint32_t>(code->size())) == gSfcCodeStamp);
    if (unchanged)
        return gSfcProgramStamp == ProgramImageStamp() ? TSfcChartState::OfProgram : TSfcChartState::OldDrawing;
    return TSfcChartState::Edited;
}

void MarkOfProgram(const TSharedChartCode& shared) {
    if (shared.code)
        MarkChartOfProgram(shared.code->data(), static_cast<std::uint32_t>(shared.code->size()));
    else
        MarkChartOfProgram(nullptr, 0);
}

}  // namespace

TSfcChartState SfcChartState() {
    if (ChartEmpty()) return TSfcChartState::Empty;
    return ChartStateOf(SharedChartCode());
}

void InstallSfcChartJudge() {
    SetSfcChartJudge([] { return SfcChartState() == TSfcChartState::OldDrawing; });
}

bool SfcChartHoldsOwnWork() {
    if (ChartEmpty()) return false;
    const TSharedChartCode shared = SharedChartCode();
    switch (ChartStateOf(shared)) {
    case TSfcChartState::Empty: return false;
    case TSfcChartState::Edited: return true;
    case TSfcChartState::OfProgram: return shared.strays;
    // Only a chart that names the code it was drawn for is known to be a
    // mere drawing; one of an older file may be the user's.
    case TSfcChartState::OldDrawing: return gSfcCodeStamp == 0;
    }
    return true;
}

bool SfcChartWouldReplaceChangedCode() {
    if (gSfcProgramStamp != 0 && gSfcProgramStamp == ProgramImageStamp()) return false;
    const auto code = SharedChartCode().code;
    if (!code) return false;
    // A chart file of an older version does not say which program it last
    // matched: whatever of the program its code differs from may have been
    // typed since.
    return gSfcProgramStamp != 0 || !IsProgramCode(*code);
}

TChartOverChangedCode AskChartOverChangedCode() {
    constexpr int kMsgChartOverChangedCode = 259;
    if (!SfcChartWouldReplaceChangedCode()) return TChartOverChangedCode::Go;
    switch (qel::AskQuestion(gMsgTable.Get(kMsgChartOverChangedCode), qel::AskButtons::YesNoOrCancel)) {
    case qel::Answer::Yes: return TChartOverChangedCode::Go;
    case qel::Answer::No: return TChartOverChangedCode::KeepProgram;
    default: return TChartOverChangedCode::Cancel;
    }
}

void MarkSfcChartOfProgram() { MarkOfProgram(SharedChartCode()); }

bool ConvertCodeToSfc() {
    constexpr int kMsgChartError = 1;
    if (!gProgram) return false;
    const std::uint32_t used = std::min(gProgramUsed, gProgramCapacity);
    TCodeToSfcResult r = ConvertCodeToChart(gProgram, used);
    if (!r.ok) {
        gSfcChartError = 1;
        ShowMsg(kMsgChartError);
        return false;
    }
    gSfcChartError = 0;
    CommitSfcChart(r.chart);
    // The chart drawn stands for this code: what it converts to is kept with it.
    MarkSfcChartOfProgram();
    return true;
}

bool PrepareSfcChartForView() {
    if (!gProgram || LocateProgramEnd() == 0) return true;
    // What the chart converts to, found once: its state, its stamps and its
    // strays all ask it.
    const bool empty = ChartEmpty();
    const TSharedChartCode shared = empty ? TSharedChartCode{} : SharedChartCode();
    switch (empty ? TSfcChartState::Empty : ChartStateOf(shared)) {
    case TSfcChartState::Edited: return true;
    case TSfcChartState::OfProgram: {
        // Found standing for the program it last matched: the chart keeps the
        // content it had then, so that an element placed off the chains
        // since stays the user's work once the code changes.
        // A chart of an older file, which names no code, may hold elements no
        // chain reaches: they were never part of a drawing either.
        const std::uint64_t asMatched = gSfcChartStamp;
        const bool again = gSfcProgramStamp == ProgramImageStamp();
        const bool namedNoCode = gSfcCodeStamp == 0;
        MarkOfProgram(shared);
        if (again || (namedNoCode && shared.strays)) gSfcChartStamp = asMatched;
        return true;
    }
    case TSfcChartState::Empty: return ConvertCodeToSfc();
    case TSfcChartState::OldDrawing: break;
    }
    const bool fromFile = gSfcChartFromFile;
    if (!ConvertCodeToSfc()) return false;
    if (fromFile) {
        ShowMsg(kMsgChartFileStale, " " + SiblingPath(".sfc"));
        NoteFileNamedToUser(SiblingPath(".sfc"));
    }
    return true;
}
