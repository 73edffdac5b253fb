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

// The code the shared chart converts to, cut to its length; nothing when it
// does not convert.
std::optional<std::vector<std::uint8_t>> SharedChartCode() {
    if (!gProgram || gProgramCapacity == 0) return std::nullopt;
    std::vector<std::uint8_t> out(gProgramCapacity, 0xFF);
    const TSfcToCodeResult r = SfcChartToCode(TSfcChartRef::Shared(), out.data(), gProgramCapacity);
    if (!r.ok()) return std::nullopt;
    out.resize(r.length);
    return out;
}

bool IsProgramCode(const std::vector<std::uint8_t>& code) {
    const std::uint32_t used = LocateProgramEnd();
    return code.size() == used && std::memcmp(code.data(), gProgram, used) == 0;
}

}  // namespace

bool SfcChartMatchesProgram() {
    if (SfcLastUsedRow(gSfcGrid, gSfcRowCount) < 0) return false;
    const auto code = SharedChartCode();
    return code && IsProgramCode(*code);
}

TSfcChartState SfcChartState() {
    if (!gProgram || SfcLastUsedRow(gSfcGrid, gSfcRowCount) < 0) return TSfcChartState::Empty;
    const auto code = SharedChartCode();
    if (code && IsProgramCode(*code)) return TSfcChartState::OfProgram;
    // A chart file of an older version does not say which code it was drawn
    // for: taken for a drawing of other code, its rows could go in over
    // edits made in the list since.
    if (gSfcCodeStamp == 0) return TSfcChartState::OldDrawing;
    // The chart converts to what it converted to when it last matched: no
    // edits of its own (code typed by hand may convert to an equivalent form).
    if (code && CodeImageStamp(code->data(), static_cast<std::uint32_t>(code->size())) == gSfcCodeStamp)
        return gSfcProgramStamp == ProgramImageStamp() ? TSfcChartState::OfProgram : TSfcChartState::OldDrawing;
    return TSfcChartState::Edited;
}

void InstallSfcChartJudge() {
    SetSfcChartJudge([] { return SfcChartState() == TSfcChartState::OldDrawing; });
}

bool SfcChartWouldReplaceChangedCode() {
    if (gSfcProgramStamp == 0 || gSfcProgramStamp == ProgramImageStamp()) return false;
    return SharedChartCode().has_value();
}

void MarkSfcChartOfProgram() {
    const auto code = SharedChartCode();
    if (code)
        MarkChartOfProgram(code->data(), static_cast<std::uint32_t>(code->size()));
    else
        MarkChartOfProgram(nullptr, 0);
}

bool PrepareSfcChartForView() {
    if (!gProgram || LocateProgramEnd() == 0) return true;
    switch (SfcChartState()) {
    case TSfcChartState::Edited: return true;
    case TSfcChartState::OfProgram:
        MarkSfcChartOfProgram();
        return true;
    case TSfcChartState::Empty: return ConvertCodeToSfc();
    case TSfcChartState::OldDrawing: break;
    }
    const bool fromFile = gSfcChartFromFile;
    if (!ConvertCodeToSfc()) return false;
    if (fromFile) ShowMsg(kMsgChartFileStale, " " + SiblingPath(".sfc"));
    return true;
}
