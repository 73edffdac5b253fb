#pragma once
// Code-to-ladder conversion: rebuilds a ladder grid from machine code. The
// code is cut into networks, each network is laid out cell by cell in a work
// grid (wider than a row when it must be), folded back to rows of twelve cells
// and appended to the target grid, with the block-comment rows and row
// comments a compile of the ladder saved (LadderTempFiles.h).
//
// A conversion either succeeds completely or changes nothing: any construct
// that cannot be drawn refuses the whole conversion (gConvertAbort = 1), and
// the target grid, its label tables, the step marks and the row comments are
// left exactly as they were. Nothing here shows a message; the caller does
// (ReportConvertAbort).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ladder/model/LadderGrid.h"
#include "ladder/model/LadderTempFiles.h"

// 1 when the last conversion of the program's or the SFC element's buffers (or
// network scan) was refused: the flag of the entry points over those buffers.
extern std::uint8_t gConvertAbort;
// 0 outside a step; 1 after an STL contact; 2 once a load started a branch in the step.
extern std::uint8_t gStlState;
// Row width in bytes of the work grid for the current network (>= 60, a multiple of 5).
extern std::int32_t gNetworkStride;
// Byte offset of the instruction being read; ScanNetwork starts from it.
extern std::uint32_t gConvertCodePos;
// Byte offsets of the network ScanNetwork delimited last: [gNetworkStart, gNetworkEnd).
extern std::uint32_t gNetworkStart;
extern std::uint32_t gNetworkEnd;
// The shared work grid of the editor's network rebuild (SetLadderCell,
// FoldWideNetwork) at stride gNetworkStride; a conversion has its own.
extern std::vector<std::uint8_t> gNetworkBuf;

// Why a conversion was refused (for tests and diagnostics).
enum class TConvertFailure {
    None,
    EmptyNetwork,      // a network without instructions while code remains
    UnknownWord,       // a word the instruction table does not know
    CodeOverrun,       // an instruction runs past the end of the code
    BadOperand,        // an operand record that decodes to no device
    TooDeep,           // more than 63 nested branches, or depth 9 outside a step
    NeedsBranch,       // AND, OR, INV, MPS, MRD, MPP or an output with no branch open
    BlockUnderflow,    // ANB or ORB without two branches
    MpsOverflow,       // an eleventh MPS
    MpsUnderflow,      // MRD or MPP without MPS
    MpsLeftOpen,       // a network ends with MPS entries left
    TooTall,           // a network taller than the work grid allows
    TooWide,           // an element or output that does not fit its row
    StlMisplaced,      // STL inside a branch or after a load of the same step
    ErrorWord,         // OUT of the error word or of an input
    LabelMisplaced,    // a label inside a branch
    LabelTwice,        // a second P (or I) label for one row
    LabelOutOfRange,   // a label number beyond the label tables
    LabelAtEnd,        // a label with no network after it
    GridFull,          // the target grid has no room for the rows
    OpenBlock,         // an output while a block is open and not joined (LD LD OUT)
    NotCompilable,     // the ladder drawn would not compile back into code
    ParallelAfterOutput,  // OR, an OR compare or ORB after an output or MPS/MRD/MPP of its branch
    InvInBlock,        // ANB of a block whose own series holds an INV (it would invert more)
};

// The text of a failure cause ("UnknownWord", ...), for traces.
const char* ConvertFailureName(TConvertFailure f);

// Where a conversion writes: a grid of rowCapacity rows (stride 60), its label
// tables and, for a grid that may grow (the SFC inner ladder), a function that
// enlarges it to at least the given number of rows and returns the grid's new
// address and capacity (false when it cannot).
struct TLadderTarget {
    std::uint8_t* grid = nullptr;
    std::int32_t rowCapacity = 0;
    TLabelTables labels{nullptr, nullptr};
    std::function<bool(std::int32_t minRows, std::uint8_t*& grid, std::int32_t& rowCapacity)> grow;
};

// What to convert.
struct TConvertInput {
    const std::uint8_t* code = nullptr;
    std::uint32_t length = 0;      // bytes to convert (the buffer's capacity; NOPs after the code)
    std::uint32_t used = 0;        // used bytes (block comments standing after the last network)
    // Step code of an SFC element: the whole code hangs off a step (outputs
    // need no contacts) and the step state is kept from network to network.
    bool stepCode = false;
    // Block comments and row comments to merge, or nullptr.
    const TSavedComments* comments = nullptr;
    // A transition's condition: a rung may end in open wire (TCompileTarget::condition).
    bool condition = false;
    // Where the drawn rows stand in the code they compile to (TConvertResult::places).
    bool wantPlaces = false;
};

// What a conversion produced. On failure only `cause` and `failOffset` mean anything.
struct TConvertResult {
    bool ok = false;
    std::int32_t rowCount = 0;               // rows written to the target
    std::vector<TStepMark> marks;            // first row and step of each network
    std::vector<TRowComment> rowComments;    // comments of rows that exist in the result
    std::size_t unplacedComments = 0;        // comments of `comments` that found no row free
    TCodeComments places;                    // with wantPlaces: the drawn rows' places in their code
    TConvertFailure cause = TConvertFailure::None;
    std::uint32_t failOffset = 0;            // code offset of the refused instruction
};

// Converts `in` into `target`. On success the target's first rowCount rows
// hold the ladder, every other row of the target is zero and the label tables
// name the labels' rows; on failure nothing of the target is changed. The
// converter owns its work grid and state: no global is read or written (the
// entry points below set gConvertAbort from the result). Whatever it accepts
// compiles back (a trial compile of the drawn rows is part of the conversion).
TConvertResult ConvertCodeToGrid(const TConvertInput& in, TLadderTarget& target);

// The code offsets where the networks of `code` begin, as the conversion cuts
// them (a label before a network counts as one of its own). Stops at the
// first place the conversion could not read past.
std::vector<std::uint32_t> CodeNetworkStarts(const std::uint8_t* code, std::uint32_t length);

// Converts the program (gProgram) into gLadderRows with gPLabelRows and
// gILabelRows; sets gLadderRowCount (rows written), gMarkList and the rung
// comments (gQel.RungComments). The comments come with their rungs: those the
// ladder holds (its block-comment rows and rung comments, ProgramLadderComments)
// are carried onto the code, a block comment before the instruction it stood
// before, a rung comment to its row of the network that holds what is left of
// its rung (MoveComments); a ladder
// without any takes those of the comment files of ProgramCommentFiles() when
// their stamp names this code and them as this run's, this project's and this
// ladder's (ProgramCommentFilesOwner). The comments that found no place are counted
// in gConvertDroppedComments (ReportConvertAbort tells the user). Result:
// gConvertAbort.
std::uint8_t ConvertCodeToLadder();
// Comments the last ConvertCodeToLadder could not place (their rung or their
// instruction is gone, or their row holds another comment), 0 when none.
extern std::size_t gConvertDroppedComments;

// True for the word of a P or I label instruction.
bool IsLabelWord(std::uint16_t w);

// The identities (gQel.RungRowIds) of rows 0..lastRow of a grid just drawn:
// each row drawn exactly as a row of the grid before (`before`, 60-byte rows,
// with identities `ids`), in the same order, keeps that row's identity; any
// other row gets one of its own.
std::vector<std::uint32_t> CarriedRowIds(const std::vector<std::uint8_t>& before, const std::vector<std::uint32_t>& ids,
                                         const std::uint8_t* grid, std::int32_t lastRow);

// Converts the SFC element code in gProgramCopy (gProgramCopyUsed bytes) into
// gInterLadderGrid with the inner label tables, growing the grid as needed;
// no comment files; the step marks (steps counted in the element's code) go
// to `marks` when given. `stepCode` as in TConvertInput (1 for a
// step's or transition's code); `condition` for a transition's code, whose
// last rung may be a bare condition drawn ending in open wire. Result: gConvertAbort.
std::uint8_t ConvertSfcCodeToLadder(std::uint8_t stepCode = 0, bool condition = false,
                                    std::vector<TStepMark>* marks = nullptr);

// Shows message 162 when gConvertAbort is set and clears the flag; true when
// it was set. Otherwise, when the conversion dropped comments, shows how many
// (message kMsgCommentsDropped) and clears the count. For the commands that
// start a conversion.
bool ReportConvertAbort();

// From gConvertCodePos, skips NOP words and delimits the next network of
// `code` (length bytes): sets gNetworkStart, gNetworkEnd (equal when no
// instruction is left) and returns the row width in bytes the network needs
// (at least 60). Sets gConvertAbort when the network cannot be converted.
// `stepCode` as in TConvertInput.
std::int32_t ScanNetwork(const std::uint8_t* code, std::uint32_t length, bool stepCode = false);

// Writes kind (node kept), device type (link flag kept) and operand of one
// cell of gNetworkBuf at the given stride; nothing when gConvertAbort is set
// or the cell lies outside the work grid.
void SetLadderCell(std::int32_t row, std::int32_t col, std::int32_t stride, TLdbKind kind,
                   std::uint8_t devType, std::uint16_t operand);

// Folds the network in gNetworkBuf (rows 0..lastRow at `stride`) so that no
// element, vertical link or box is cut by a 60-byte segment boundary, widens
// it to a multiple of 60 and moves each row's output to the right end.
// Returns the new stride (the stride itself when it is 60), or 0 when the
// network cannot be folded.
std::int32_t FoldWideNetwork(std::int32_t stride, std::int32_t lastRow);
