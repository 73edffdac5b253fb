#include "ladder/model/Laddercompile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <unordered_map>

#include "core/Codetranslate.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/LadderTempFiles.h"
#include "ladder/model/Test.h"
#include "platform/Paths.h"
#include "project/Fileio.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"

std::vector<TStepMapEntry>* gStepMapList = nullptr;
std::uint32_t gCompileCodeOffset = 0;
std::int32_t gNetworkStartRow = 0;
std::int32_t gNextNetworkRow = 0;
std::int32_t gNetworkRowCount = 0;
std::int32_t gCompileStride = kLdbRowBytes;
std::uint8_t gCompileResult = 0;
TLayoutError gCompileLayoutError;
TStructureFault gCompileStructureFault;

namespace {

// Message ids of the compile's failure reports.
constexpr int kMsgProgramFull = 20;
constexpr int kMsgRejectedLine = 159;
constexpr int kMsgRowLabel = 14;
constexpr int kMsgLadderNotOfProgram = 251;
constexpr int kMsgLabelWithoutRung = 265;

// Records where the rows the cut passes stand in the code: each block-comment
// row with the offset of the instruction it stands before, each network row
// with its network's first offset, the end of its last instruction and its
// place among the network's rows.
// The comment files and the comments' carry through a conversion take it.
class TCommentExport final : public TCutHooks {
public:
    explicit TCommentExport(TSavedComments* places) : places_(places) {}
    void BlockComment(std::int32_t, const std::uint8_t* row60) override {
        if (!places_) return;
        TBlockCommentRecord r;
        r.offset = static_cast<std::uint16_t>(gCompileCodeOffset);
        std::memcpy(r.row, row60, sizeof r.row);
        places_->blocks.push_back(r);
    }
    void Row(std::int32_t row) override {
        if (places_ && row >= 0) pending_.push_back(row);
    }
    // After a cut: the rows met go out with their network (the code offset of
    // its first instruction, still to be assembled) and their place in it.
    void NetworkCut(const std::vector<std::int32_t>& gridRowOf) {
        cut_ = places_ ? places_->rows.size() : 0;
        for (const std::int32_t row : pending_) {
            const auto it = std::find(gridRowOf.begin(), gridRowOf.end(), row);
            const std::int32_t index = it == gridRowOf.end() ? -1 : static_cast<std::int32_t>(it - gridRowOf.begin());
            places_->rows.push_back(TRowComment{row, {}, gCompileCodeOffset, index});
        }
        pending_.clear();
    }
    // After the network's lines are assembled: its rows' network ends here.
    void NetworkAssembled() {
        if (!places_) return;
        for (std::size_t k = cut_; k < places_->rows.size(); ++k) places_->rows[k].networkEnd = gCompileCodeOffset;
    }

private:
    TSavedComments* places_;
    std::vector<std::int32_t> pending_;
    std::size_t cut_ = 0;  // the first row of the network last cut
};

// "symtable.pas": one record per assembled line, the line's step. Nothing
// reads it; it is written when the folder allows and never fails a compile.
// Like every file the system writes, it is made under a fresh name and renamed
// into place, so that a link standing under its name is never written through.
class TSymbolTableFile {
public:
    void Add(std::uint32_t offset) {
        const std::uint16_t step = static_cast<std::uint16_t>(offset / 2);
        bytes_.push_back(static_cast<char>(step & 0xFF));
        bytes_.push_back(static_cast<char>(step >> 8));
    }
    void Write() const { qelfile::WriteFileReplacing(qel::TempDir() / "symtable.pas", bytes_); }

private:
    std::string bytes_;
};

// Assembles gInputText into the target code: 0 appended, 1 rejected, 2 full.
std::uint8_t AssembleLine(const TCompileTarget& t, TSymbolTableFile& sym) {
    if (AssembleInstruction() != 1) return 1;
    if (gCompileCodeOffset + gInsnBuf.length > t.capacity) return 2;
    std::memcpy(t.code + gCompileCodeOffset, gInsnBuf.code, gInsnBuf.length);
    sym.Add(gCompileCodeOffset);
    gCompileCodeOffset += gInsnBuf.length;
    return 0;
}

// The label of the network that starts on `row`: first P, then I, -1 when none.
std::int32_t LabelOf(const std::int32_t* table, int count, std::int32_t row) {
    if (!table) return -1;
    for (int n = 0; n < count; ++n)
        if (table[n] == row) return n;
    return -1;
}

// Where each assembled line went, the first grid row of its ladder network
// and the row where the next network's cut began.
struct TLineStart {
    std::uint32_t offset;
    std::int32_t row;
    std::int32_t next;
};

// The step marks of compiled code: each network of the code (as the
// conversion cuts it) marked with its first step beside the first row of the
// ladder network that holds its first line; one mark a row.
std::vector<TStepMark> StepMarksOf(const std::uint8_t* code, std::uint32_t used, const std::vector<TLineStart>& lines) {
    std::vector<TStepMark> marks;
    auto line = lines.begin();
    for (const std::uint32_t start : CodeNetworkStarts(code, used)) {
        while (line != lines.end() && line->offset < start) ++line;
        if (line == lines.end()) break;
        if (line->offset != start || (!marks.empty() && marks.back().row == line->row)) continue;
        marks.push_back(TStepMark{static_cast<std::uint16_t>(line->row), static_cast<std::uint16_t>(start / 2)});
    }
    return marks;
}

// Every label of the tables stands on a row where a network starts (the
// rows are in ascending order): a label beside an empty row, a block comment,
// a rung's later row or past the last rung would jump nowhere, so it fails
// the compile at the first such row, as any other drawing that cannot go in.
bool LabelsMarkRungs(const TCompileTarget& t, const std::vector<std::int32_t>& networkRows) {
    if (!t.strayLabelsFail) return true;
    std::int32_t stray = -1;
    auto check = [&](const std::int32_t* table, int count) {
        for (int n = 0; table && n < count; ++n) {
            const std::int32_t row = table[n];
            if (row < 0 || std::binary_search(networkRows.begin(), networkRows.end(), row)) continue;
            if (stray < 0 || row < stray) stray = row;
        }
    };
    check(t.labels.pRows, kPLabelCount);
    check(t.labels.iRows, kILabelCount);
    if (stray < 0) return true;
    gNetworkStartRow = stray;
    gNextNetworkRow = stray + 1;
    gCompileLayoutError = TLayoutError{kMsgLabelWithoutRung, stray, 0, {}};
    return false;
}

// The network loop; false on the first failure.
bool CompileNetworks(const TCompileTarget& t, TCompileProgress* progress, TCommentExport& hooks,
                     TSymbolTableFile& sym, std::vector<TLineStart>& starts) {
    gCompileCodeOffset = 0;
    gInsnBuf.length = 0;
    gInsnBuf.flag32 = 0;
    gNetworkStartRow = gNextNetworkRow = 0;
    std::vector<std::uint8_t> buf;
    std::vector<std::int32_t> gridRowOf;
    std::vector<TInstTextLine> lines;
    const std::int32_t lastRow = std::min(t.lastRow, t.gridRows - 1);
    // Where the last network that ended in open wire began, -1 when none.
    std::int32_t openRow = -1;
    TLayoutError openAt;

    // The rows networks start on: a label anywhere else has no rung to mark.
    std::vector<std::int32_t> networkRows;

    while (gNextNetworkRow <= lastRow) {
        if (progress) progress->SetPosition(gNextNetworkRow);
        const std::int32_t rows = CutNetwork(t.grid, lastRow, buf, gridRowOf, &hooks);
        hooks.NetworkCut(gridRowOf);
        if (rows == 0) continue;  // only blank or comment rows were left
        networkRows.push_back(gNetworkStartRow);

        TUnfolded wide;
        TLayoutError err;
        if (!UnfoldNetwork(buf, rows, wide, err)) {
            err.row = err.row >= 0 && err.row < rows ? gridRowOf[err.row] : gNetworkStartRow;
            err.col += 1;
            gCompileLayoutError = err;
            return false;
        }
        gCompileStride = wide.stride;
        RightAlignOutputs(wide.stride, wide.wideRows - 1, wide.grid.data(), wide.origin.data());

        // Each cell's grid cell, carried through the unfold: the step map and
        // the error positions name the cells the user sees.
        TWideOrigins origins;
        origins.segments = wide.stride / kLdbRowBytes;
        origins.gridRow.resize(wide.bufRow.size(), -1);
        for (std::size_t k = 0; k < wide.bufRow.size(); ++k)
            if (wide.bufRow[k] >= 0) origins.gridRow[k] = gridRowOf[wide.bufRow[k]];
        origins.gridCell.resize(wide.origin.size(), -1);
        for (std::size_t k = 0; k < wide.origin.size(); ++k) {
            const std::int32_t o = wide.origin[k];
            if (o >= 0) origins.gridCell[k] = gridRowOf[o / kLdbRowCells] * kLdbRowCells + o % kLdbRowCells;
        }

        const std::int32_t pLabel = LabelOf(t.labels.pRows, kPLabelCount, gNetworkStartRow);
        const std::int32_t iLabel = LabelOf(t.labels.iRows, kILabelCount, gNetworkStartRow);
        bool endsOpen = false;
        if (!ConvertNetworkToInst(wide.grid.data(), wide.stride, wide.wideRows, gNetworkStartRow, pLabel, iLabel,
                                  &origins, lines, err, t.condition ? &endsOpen : nullptr)) {
            gCompileLayoutError = err;
            return false;
        }
        if (openRow >= 0 && !lines.empty()) {
            // A condition is the transition's last rung: an open end with
            // rungs after it stays the dead end it is everywhere else.
            gNetworkStartRow = openRow;
            gCompileLayoutError = openAt;
            return false;
        }
        if (endsOpen) {
            openRow = gNetworkStartRow;
            openAt = TLayoutError{33, gNetworkStartRow, 1, {}};
            for (const TInstTextLine& line : lines)
                if (line.column > 0) openAt.row = line.row, openAt.col = line.column;
        }
        for (const TInstTextLine& line : lines) {
            std::memset(gInputText, 0, sizeof gInputText);
            if (!SetInputText(line.text)) {
                // A line too long for the assembler is refused, never cut.
                std::memcpy(gInputText, line.text.data(), std::min<std::size_t>(line.text.size(), kInputTextSize - 1));
                gCompileResult = 1;
                return false;
            }
            const std::uint32_t at = gCompileCodeOffset;
            gCompileResult = AssembleLine(t, sym);
            if (gCompileResult != 0) return false;
            if (gStepMapList) gStepMapList->push_back({line.row, line.column, at});
            starts.push_back({at, gNetworkStartRow, gNextNetworkRow});
        }
        hooks.NetworkAssembled();
    }
    return LabelsMarkRungs(t, networkRows);
}

// The compiled code (`used` bytes) passes the structure check the PLC makes
// before it takes a program; else the fault goes to gCompileStructureFault
// and the rows of the rung whose line holds the faulty step become the
// failing rows.
bool StructureHolds(const std::uint8_t* code, std::uint32_t used, const std::vector<TLineStart>& starts) {
    if (ProgramStructureHolds(code, used, gCompileStructureFault)) return true;
    gCompileResult = kCompileStructureFault;  // the check has cleared it
    const std::uint32_t at = static_cast<std::uint32_t>(std::max(gCompileStructureFault.step, 0)) * 2;
    auto line = std::upper_bound(starts.begin(), starts.end(), at,
                                 [](std::uint32_t offset, const TLineStart& s) { return offset < s.offset; });
    if (line != starts.begin()) --line;
    if (line != starts.end()) {
        gNetworkStartRow = line->row;
        gNextNetworkRow = line->next;
    }
    return false;
}

std::string RowRange() {
    return " [" + gMsgTable.Get(kMsgRowLabel) + ": " + std::to_string(gNetworkStartRow) + " - " +
           std::to_string(std::max(gNetworkStartRow, gNextNetworkRow - 1)) + " ]";
}

}  // namespace

namespace {

// What the code of a ladder depends on: its rows, its labels, the model family.
std::uint64_t LadderKey(const std::uint8_t* grid, std::int32_t lastRow, const TLabelTables& labels) {
    std::uint64_t h = kLadderHashStart;
    h = LadderHash(h, &gQel.Family, sizeof gQel.Family);
    h = LadderHash(h, &lastRow, sizeof lastRow);
    if (grid && lastRow >= 0) h = LadderHash(h, grid, static_cast<std::size_t>(lastRow + 1) * kLdbRowBytes);
    if (labels.pRows) h = LadderHash(h, labels.pRows, sizeof(std::int32_t) * kPLabelCount);
    if (labels.iRows) h = LadderHash(h, labels.iRows, sizeof(std::int32_t) * kILabelCount);
    return h;
}

// Where the rows of the program's ladder stood in its code when it last
// compiled or was drawn, and the rows it was then (their key): a conversion
// reads the comments through it without compiling the ladder again.
struct TProgramPlaces {
    bool valid = false;
    std::uint64_t key = 0;
    TCodeComments places;
    // Which rows they were (gQel.RungRowIds), and the rows of the block
    // comments of places.comments.blocks, in order: a ladder edited since so
    // that it does not compile finds its comments' places through them.
    std::vector<std::uint32_t> rowIds;
    std::vector<std::int32_t> blockRows;
} gProgramPlaces;

// The program's ladder rows (0..lastRow) are those gProgramPlaces now names.
void KeepPlaceRows(std::int32_t lastRow) {
    auto& ids = gQel.RungRowIds;
    GiveLadderRowIds(ids, lastRow, gQel.RungComments.size());
    gProgramPlaces.rowIds.assign(ids.begin(), ids.begin() + std::max(lastRow + 1, 0));
    gProgramPlaces.blockRows.clear();
    for (std::int32_t r = 0; gLadderRows && r <= lastRow; ++r)
        if (IsBlockCommentRow(gLadderRows + static_cast<std::size_t>(r) * kLdbRowBytes))
            gProgramPlaces.blockRows.push_back(r);
    // The compile hands every block-comment row over; if not, none is traced.
    if (gProgramPlaces.blockRows.size() != gProgramPlaces.places.comments.blocks.size())
        gProgramPlaces.blockRows.clear();
}

std::uint8_t CompileTarget(const TCompileTarget& t, TCompileProgress* progress, bool writeFiles,
                           std::vector<TStepMark>* marksOut = nullptr, TCodeComments* placesOut = nullptr) {
    gCompileResult = 0;
    gCompileLayoutError = TLayoutError{};
    gNetworkStartRow = gNextNetworkRow = 0;
    if (!t.code || t.capacity == 0) return 1;
    if (gStepMapList) gStepMapList->clear();
    if (progress) progress->SetMaximum(std::max(t.lastRow + 1, 0));

    // The previous code comes back if anything fails.
    std::vector<std::uint8_t> previous(t.code, t.code + t.capacity);
    std::memset(t.code, 0xFF, t.capacity);

    TSavedComments places;
    const bool wantPlaces = t.ownLadder || placesOut;
    TCommentExport hooks(wantPlaces ? &places : nullptr);
    std::vector<TLineStart> starts;
    TSymbolTableFile sym;
    const bool ok = t.grid && CompileNetworks(t, progress, hooks, sym, starts) &&
                    (!t.checkStructure || StructureHolds(t.code, gCompileCodeOffset, starts));
    if (writeFiles) sym.Write();
    if (!ok) {
        std::memcpy(t.code, previous.data(), t.capacity);
        if (gStepMapList) gStepMapList->clear();
        return 1;
    }
    if (t.ownLadder) {
        // The hand-over files of the next conversion, as the compile leaves
        // them; the comments themselves stay in the ladder and its rung
        // comments, placed through gProgramPlaces.
        TCommentFileWriter writer(ProgramCommentFiles());
        writer.SetOwner(ProgramCommentFilesOwner());
        if (writer.Open()) {
            for (const TBlockCommentRecord& b : places.blocks) writer.AddBlockComment(b.offset, b.row);
            for (const TRowComment& r : places.rows)
                if (t.rowComments && static_cast<std::size_t>(r.row) < t.rowComments->size())
                    writer.AddRowComment(r.row, (*t.rowComments)[static_cast<std::size_t>(r.row)], r.networkOffset,
                                         r.index, r.networkEnd);
            writer.Commit(t.code, gCompileCodeOffset);
        }
        gProgramPlaces.valid = true;
        gProgramPlaces.key = LadderKey(t.grid, t.lastRow, t.labels);
        gProgramPlaces.places.code.assign(t.code, t.code + gCompileCodeOffset);
        gProgramPlaces.places.comments = places;
        if (t.grid == gLadderRows) KeepPlaceRows(t.lastRow);
    }
    if (placesOut) {
        placesOut->code.assign(t.code, t.code + gCompileCodeOffset);
        placesOut->comments = std::move(places);
    }
    // The program's ladder shows the steps of the code it now stands for.
    if (t.ownLadder || marksOut) {
        std::vector<TStepMark> marks = StepMarksOf(t.code, gCompileCodeOffset, starts);
        if (marksOut) *marksOut = marks;
        if (t.ownLadder) gMarkList = std::move(marks);
    }
    if (progress) progress->SetPosition(std::max(t.lastRow + 1, 0));
    return 0;
}

}  // namespace

std::uint8_t CompileLadder(const TCompileTarget& t, TCompileProgress* progress) {
    return CompileTarget(t, progress, true);
}

namespace {

// A compile that leaves the compile state as it was (see LadderCompiles), with
// the step marks of the code when `marks` is given.
bool TrialCompile(const TCompileTarget& target, std::vector<TStepMark>* marks, TCodeComments* places = nullptr) {
    // The state a caller may still be reporting from, kept across the trial.
    const auto stepMap = gStepMapList;
    const auto codeOffset = gCompileCodeOffset;
    const auto startRow = gNetworkStartRow, nextRow = gNextNetworkRow, rowCount = gNetworkRowCount;
    const auto stride = gCompileStride;
    const auto result = gCompileResult;
    const TLayoutError layoutError = gCompileLayoutError;
    const TInsnBuf insn = gInsnBuf;
    char inputText[sizeof gInputText];
    std::memcpy(inputText, gInputText, sizeof inputText);

    TCompileTarget t = target;
    t.ownLadder = false;
    t.rowComments = nullptr;
    gStepMapList = nullptr;
    const bool ok = CompileTarget(t, nullptr, false, marks, places) == 0;

    gStepMapList = stepMap;
    gCompileCodeOffset = codeOffset;
    gNetworkStartRow = startRow;
    gNextNetworkRow = nextRow;
    gNetworkRowCount = rowCount;
    gCompileStride = stride;
    gCompileResult = result;
    gCompileLayoutError = layoutError;
    gInsnBuf = insn;
    std::memcpy(gInputText, inputText, sizeof inputText);
    return ok;
}

}  // namespace

bool LadderCompiles(const TCompileTarget& target, TCodeComments* places) {
    return TrialCompile(target, nullptr, places);
}

namespace {

TCompileTarget ProgramTarget() {
    TCompileTarget t;
    t.grid = gLadderRows;
    t.gridRows = kLadderRows;
    t.lastRow = gLadderRows ? FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1) : -1;
    t.labels = TLabelTables{gPLabelRows, gILabelRows};
    t.code = gProgram;
    t.capacity = gProgramCapacity;
    t.ownLadder = true;
    t.rowComments = &gQel.RungComments;
    return t;
}

// Ladder rows 0..lastRow (60-byte rows) compiled aside, with the program's
// label tables, into `code` (the program's capacity): the compile marks the
// rows it joins, so it works on copies of the rows and label tables. No rows
// give the empty program.
bool CompileLadderAside(const std::uint8_t* rows, std::int32_t lastRow, std::vector<std::uint8_t>& code,
                        std::vector<TStepMark>* marks, TCodeComments* places, bool strayLabelsFail) {
    code.assign(gProgramCapacity, 0xFF);
    if (lastRow < 0) return true;
    std::vector<std::uint8_t> grid(rows, rows + static_cast<std::size_t>(lastRow + 1) * kLdbRowBytes);
    std::vector<std::int32_t> p(gPLabelRows, gPLabelRows + kPLabelCount);
    std::vector<std::int32_t> i(gILabelRows, gILabelRows + kILabelCount);
    TCompileTarget t;
    t.grid = grid.data();
    t.gridRows = lastRow + 1;
    t.lastRow = lastRow;
    t.labels = {p.data(), i.data()};
    t.code = code.data();
    t.capacity = gProgramCapacity;
    t.strayLabelsFail = strayLabelsFail;
    return TrialCompile(t, marks, places);
}

// The program's ladder compiled aside into `code`; false without a program.
bool CompileProgramLadderAside(std::vector<std::uint8_t>& code, std::vector<TStepMark>* marks,
                               TCodeComments* places = nullptr, bool strayLabelsFail = true) {
    if (!gLadderRows || !gProgram) return false;
    const std::int32_t lastRow = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
    return CompileLadderAside(gLadderRows, lastRow, code, marks, places, strayLabelsFail);
}

// The program's code drawn aside and compiled again: the form its own drawing
// compiles into. Code typed in the list may be another form of the same
// circuits (LD LD ORB for LD OR), which its drawing does not reproduce.
// The program's code drawn on a grid of its own, apart from the ladder.
struct TProgramDrawing {
    std::vector<std::uint8_t> grid = std::vector<std::uint8_t>(static_cast<std::size_t>(kLadderRows) * kLdbRowBytes, 0);
    std::vector<std::int32_t> p = std::vector<std::int32_t>(kPLabelCount, -1);
    std::vector<std::int32_t> i = std::vector<std::int32_t>(kILabelCount, -1);
    TLadderTarget drawn;

    TConvertResult Draw(bool wantPlaces) {
        TConvertInput in;
        in.code = gProgram;
        in.length = gProgramCapacity;
        in.used = std::min(gProgramUsed, gProgramCapacity);
        in.wantPlaces = wantPlaces;
        drawn.grid = grid.data();
        drawn.rowCapacity = kLadderRows;
        drawn.labels = {p.data(), i.data()};
        return ConvertCodeToGrid(in, drawn);
    }
};

bool ProgramDrawingCompiles(std::vector<std::uint8_t>& code) {
    TProgramDrawing d;
    if (!d.Draw(false).ok) return false;
    auto& grid = d.grid;
    auto& drawn = d.drawn;
    TCompileTarget t;
    t.grid = grid.data();
    t.gridRows = kLadderRows;
    t.lastRow = FindLastUsedRow(grid.data(), kLdbRowBytes, kLadderRows - 1);
    t.labels = drawn.labels;
    code.assign(gProgramCapacity, 0xFF);
    t.code = code.data();
    t.capacity = gProgramCapacity;
    return t.lastRow < 0 || TrialCompile(t, nullptr);
}

// The ladder holds nothing the program does not: it compiles into exactly the
// program's code, or into what the code's own drawing compiles into (a
// drawing of code typed in another form of the same circuits).
bool LadderCompilesToProgram() {
    std::vector<std::uint8_t> code;
    if (!CompileProgramLadderAside(code, nullptr)) return false;
    if (std::equal(code.begin(), code.end(), gProgram)) return true;
    std::vector<std::uint8_t> drawing;
    return ProgramDrawingCompiles(drawing) && drawing == code;
}

}  // namespace

void InstallLadderCodeCheck() { SetLadderCodeCheck(&LadderCompilesToProgram); }

bool RestoreProgramStepMarks() {
    // A ladder read from its file has no marks: they come from compiling it
    // aside, when it gives exactly the program's code.
    std::vector<std::uint8_t> code;
    std::vector<TStepMark> marks;
    if (!gLadderRows || FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1) < 0) return false;
    if (!CompileProgramLadderAside(code, &marks) || !std::equal(code.begin(), code.end(), gProgram)) return false;
    gMarkList = std::move(marks);
    return true;
}

std::uint8_t CompileProgramLadder(TCompileProgress* progress, bool checkStructure) {
    // The compile replaces the program: it must not replace code the ladder
    // does not stand for. A program with code takes only a ladder that was
    // drawn from (or compiled into) the code as it stands; an empty program
    // loses nothing. Such a ladder emptied by the user's own edits is the
    // empty program the user asked for; an empty ladder that never stood for
    // the code (one the code could not be drawn into) is refused.
    const bool programEmpty =
        !gProgram || std::all_of(gProgram, gProgram + gProgramCapacity, [](std::uint8_t b) { return b == 0xFF; });
    if (!programEmpty && !LadderStandsForProgram()) {
        gCompileResult = kCompileLadderNotOfProgram;
        gCompileLayoutError = TLayoutError{};
        gNetworkStartRow = gNextNetworkRow = 0;
        gInputText[0] = '\0';
        return 1;
    }
    TCompileTarget t = ProgramTarget();
    t.checkStructure = checkStructure;
    const std::uint8_t result = CompileLadder(t, progress);
    if (result == 0) MarkLadderOfProgram();
    return result;
}

std::string ProgramCommentFilesOwner() {
    const std::int32_t lastRow = gLadderRows ? FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1) : -1;
    std::uint64_t h = LadderKey(gLadderRows, lastRow, TLabelTables{gPLabelRows, gILabelRows});
    const auto& rung = gQel.RungComments;
    for (std::size_t r = 0; r < rung.size(); ++r) {
        if (rung[r].empty()) continue;
        h = LadderHash(h, &r, sizeof r);
        h = LadderHash(h, rung[r].data(), rung[r].size());
        h = LadderHash(h, "", 1);  // the end of the text: "a" on row 1 is not "" then "a1"
    }
    std::ostringstream s;
    s << CommentFilesRunToken() << ' ' << gProjectSerial << ' ' << std::hex << h;
    return s.str();
}

void KeepProgramLadderPlaces(TCodeComments places) {
    const std::int32_t lastRow = gLadderRows ? FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1) : -1;
    gProgramPlaces.valid = true;
    gProgramPlaces.key = LadderKey(gLadderRows, lastRow, TLabelTables{gPLabelRows, gILabelRows});
    gProgramPlaces.places = std::move(places);
    KeepPlaceRows(lastRow);
}

namespace {

// The comments of a ladder that does not compile, tied to the code through
// where their rows stood when the ladder last compiled or was drawn (rows
// known by identity): a row that was part of a network then takes its place
// there, a row of no network its row then; a comment whose row did not exist
// then (added since, with the edits that keep the ladder from compiling) has
// nothing to stand with and is counted in `dropped`.
void CommentsAtLastPlaces(std::int32_t lastRow, TCodeComments& out, std::vector<TRowComment>& loose,
                          std::size_t& dropped) {
    const auto& rung = gQel.RungComments;
    const TProgramPlaces& last = gProgramPlaces;
    std::unordered_map<std::uint32_t, std::int32_t> rowThen;
    if (last.valid)
        for (std::size_t r = 0; r < last.rowIds.size(); ++r) rowThen.emplace(last.rowIds[r], static_cast<std::int32_t>(r));
    auto& ids = gQel.RungRowIds;
    GiveLadderRowIds(ids, lastRow, rung.size());
    const auto then = [&](std::size_t r) {
        const auto it = rowThen.find(ids[r]);
        return it == rowThen.end() ? -1 : it->second;
    };
    const TCodeComments& p = last.places;
    out.code = p.code;
    std::unordered_map<std::int32_t, const TRowComment*> placeOf;
    for (const TRowComment& r : p.comments.rows)
        if (r.index >= 0 && r.networkOffset < p.code.size()) placeOf.emplace(r.row, &r);
    for (std::size_t r = 0; r < rung.size(); ++r) {
        if (rung[r].empty()) continue;
        const std::int32_t row = then(r);
        if (row < 0) {
            ++dropped;
            continue;
        }
        const auto it = placeOf.find(row);
        if (it == placeOf.end()) {
            loose.push_back(TRowComment{row, rung[r]});
            continue;
        }
        const TRowComment& at = *it->second;
        out.comments.rows.push_back(TRowComment{row, rung[r], at.networkOffset, at.index, at.networkEnd});
    }
    std::sort(out.comments.rows.begin(), out.comments.rows.end(),
              [](const TRowComment& a, const TRowComment& b) { return a.row < b.row; });
    for (std::int32_t r = 0; r <= lastRow; ++r) {
        const std::uint8_t* row = gLadderRows + static_cast<std::size_t>(r) * kLdbRowBytes;
        if (!IsBlockCommentRow(row)) continue;
        const std::int32_t was = then(static_cast<std::size_t>(r));
        const auto k = std::find(last.blockRows.begin(), last.blockRows.end(), was);
        if (was < 0 || k == last.blockRows.end()) {
            ++dropped;
            continue;
        }
        TBlockCommentRecord b = p.comments.blocks[static_cast<std::size_t>(k - last.blockRows.begin())];
        std::memcpy(b.row, row, sizeof b.row);  // its text as it reads now
        out.comments.blocks.push_back(b);
    }
    std::stable_sort(out.comments.blocks.begin(), out.comments.blocks.end(),
                     [](const TBlockCommentRecord& a, const TBlockCommentRecord& b) { return a.offset < b.offset; });
}

// The code and block comments of `p`, the places of the program's ladder
// rows, and the rung comment of each row there that belongs to a network
// (`placed` marks those rows, one entry per gQel.RungComments row).
void RungCommentsAtPlaces(const TCodeComments& p, TCodeComments& out, std::vector<bool>& placed) {
    const auto& rung = gQel.RungComments;
    out.code = p.code;
    out.comments.blocks = p.comments.blocks;
    for (const TRowComment& r : p.comments.rows) {
        const auto row = static_cast<std::size_t>(r.row);
        // A row of a network that gave no instruction stands on its row alone.
        if (r.index < 0 || r.networkOffset >= p.code.size() || row >= rung.size() || rung[row].empty()) continue;
        out.comments.rows.push_back(TRowComment{r.row, rung[row], r.networkOffset, r.index, r.networkEnd});
        placed[row] = true;
    }
}

}  // namespace

void KeepReadLadderPlaces() {
    if (!gLadderRows || !gProgram) return;
    TProgramDrawing d;
    TConvertResult r = d.Draw(true);
    if (!r.ok) return;
    auto& grid = d.grid;
    auto& drawn = d.drawn;
    const std::int32_t last = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
    auto& ids = gQel.RungRowIds;
    GiveLadderRowIds(ids, last, gQel.RungComments.size());
    const std::vector<std::uint8_t> rows(gLadderRows, gLadderRows + static_cast<std::size_t>(last + 1) * kLdbRowBytes);
    gProgramPlaces.valid = true;
    gProgramPlaces.key = LadderKey(grid.data(), r.rowCount - 1, drawn.labels);
    gProgramPlaces.rowIds = CarriedRowIds(rows, ids, grid.data(), r.rowCount - 1);
    gProgramPlaces.places = std::move(r.places);
    gProgramPlaces.blockRows.clear();  // the code's drawing has none
    gProgramPlaces.places.comments.blocks.clear();
}

bool FileLadderComments(const std::vector<std::uint8_t>& rows, TCodeComments& out, std::size_t& dropped) {
    out = {};
    dropped = 0;
    const auto& rung = gQel.RungComments;
    const std::int32_t count = static_cast<std::int32_t>(rows.size() / kLdbRowBytes);
    const std::int32_t lastRow = count > 0 ? FindLastUsedRow(rows.data(), kLdbRowBytes, count - 1) : -1;
    std::size_t blocks = 0;
    for (std::int32_t r = 0; r <= lastRow; ++r)
        blocks += IsBlockCommentRow(rows.data() + static_cast<std::size_t>(r) * kLdbRowBytes) ? 1 : 0;
    std::vector<bool> placed(rung.size(), false);
    TCodeComments places;
    std::vector<std::uint8_t> code;
    // A stray label moves no comment's rung.
    if (gProgram && lastRow >= 0 && CompileLadderAside(rows.data(), lastRow, code, nullptr, &places, false)) {
        RungCommentsAtPlaces(places, out, placed);
        blocks = 0;
    }
    dropped = blocks;
    for (std::size_t r = 0; r < rung.size(); ++r)
        if (!rung[r].empty() && !placed[r]) ++dropped;
    return out.comments.rows.size() + out.comments.blocks.size() > 0 || dropped == 0;
}

bool ProgramLadderComments(TCodeComments& out, std::vector<TRowComment>& loose, std::size_t& dropped) {
    out = {};
    loose.clear();
    dropped = 0;
    if (!gLadderRows || !gProgram) return true;
    const std::int32_t lastRow = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
    std::size_t blockComments = 0;
    for (std::int32_t r = 0; r <= lastRow; ++r)
        blockComments += IsBlockCommentRow(gLadderRows + static_cast<std::size_t>(r) * kLdbRowBytes) ? 1 : 0;
    const auto& rung = gQel.RungComments;
    const bool anyRung = std::any_of(rung.begin(), rung.end(), [](const std::string& c) { return !c.empty(); });
    if (blockComments == 0 && !anyRung) return true;
    const std::uint64_t key = LadderKey(gLadderRows, lastRow, TLabelTables{gPLabelRows, gILabelRows});
    if (!gProgramPlaces.valid || gProgramPlaces.key != key) {
        TCodeComments places;
        std::vector<std::uint8_t> code;
        // A label left where no rung starts does not move a comment's rung.
        if (!CompileProgramLadderAside(code, nullptr, &places, false)) {
            // The places of the last compile stay: they are what the
            // comments of this ladder are traced through.
            CommentsAtLastPlaces(lastRow, out, loose, dropped);
            return false;
        }
        gProgramPlaces.valid = true;
        gProgramPlaces.key = key;
        gProgramPlaces.places = std::move(places);
        KeepPlaceRows(lastRow);
    }
    std::vector<bool> placed(rung.size(), false);
    RungCommentsAtPlaces(gProgramPlaces.places, out, placed);
    for (std::size_t r = 0; r < rung.size(); ++r)
        if (!rung[r].empty() && !placed[r]) loose.push_back(TRowComment{static_cast<std::int32_t>(r), rung[r]});
    return true;
}

bool ProgramStructureHolds(const std::uint8_t* code, std::uint32_t used, TStructureFault& fault) {
    std::int32_t steps[2] = {0, 0};
    const std::int32_t step = CheckProgramSyntax(code, used, steps);
    if (gSyntaxError == SyntaxErr::None) return true;
    fault = TStructureFault{gSyntaxError, step};
    return false;
}

std::string StructureFaultText(const TStructureFault& fault) {
    char code[8];
    std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(fault.code));
    return gMsgTable.Get(kMsgStructureFault) + " " + code + ", " + gMsgTable.Get(kMsgStepWord) + " " +
           std::to_string(fault.step);
}

std::string CompileFailureText() {
    if (gCompileResult == kCompileLadderNotOfProgram) return gMsgTable.Get(kMsgLadderNotOfProgram);
    if (gCompileResult == 2) return gMsgTable.Get(kMsgProgramFull);
    if (gCompileResult == kCompileStructureFault) return StructureFaultText(gCompileStructureFault) + RowRange();
    if (gCompileResult == 1) {
        std::string s = gMsgTable.Get(kMsgRejectedLine) + RowRange();
        if (gInputText[0]) s += "\nCommands: " + std::string(gInputText);
        return s;
    }
    const TLayoutError& e = gCompileLayoutError;
    std::string s = gMsgTable.Get(e.msgId) + CellPositionText(e.row, e.col);
    if (!e.detail.empty()) s += " " + e.detail;
    return s + RowRange();
}
