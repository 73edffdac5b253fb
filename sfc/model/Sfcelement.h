#pragma once
// The inner program of one chart element, as the inner views see it: the
// element's code record lent to the instruction list through gProgramCopy,
// and to the inner ladder through gInterLadderGrid, and stored back.
//
// A LAD block's code is plain ladder code; a step's or a transition's code
// hangs off the step (the inner ladder draws it without the STL contact).
// Every store is all or nothing: code that does not compile leaves the record
// as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "core/ProgramImage.h"

// True when the cell (row, column 0..15) of the shared chart is an element
// that carries an inner program (LAD block, step, initial step, transition,
// step mark).
bool SfcCellHasInnerProgram(std::int32_t row, std::int32_t col);

// 1 when the element's code is step code (anything but a LAD block).
std::uint8_t SfcInnerStepFlag(std::int32_t row, std::int32_t col);

// True when the element's code is a transition's condition (a transition
// cell): its inner ladder's last rung may end in open wire.
bool SfcInnerIsCondition(std::int32_t row, std::int32_t col);

// Copies the element's code into gProgramCopy (erased to 0xFF first, grown
// when the code needs more room) and sets its used length; an element
// without a record gives an empty buffer. False, nothing changed, for a cell
// without an inner program.
bool LoadSfcElementCode(std::int32_t row, std::int32_t col);

// The code of every other element of the chart (records other than the one
// of cell row, col): the rest of the program an element's list is part of.
std::vector<TCodeBlock> SfcOtherElementCode(std::int32_t row, std::int32_t col);
// The first P or I label of `code` (used bytes) that another element of the
// chart holds already, as its text ("P7"); empty when there is none.
std::string SfcLabelHeldElsewhere(const std::uint8_t* code, std::size_t used, std::int32_t row, std::int32_t col);

// Loads the element's code and draws it into the inner ladder grid. False when
// the cell has no inner program or the code cannot be drawn (gConvertAbort set,
// the grid as it was): the instruction list still shows it.
bool OpenSfcElementLadder(std::int32_t row, std::int32_t col);

// Compiles the inner ladder grid into gProgramCopy (the list view of the same
// element). False, gProgramCopy unchanged, when the ladder does not compile
// (CompileFailureText() tells why). `condition` for a transition's ladder.
bool SfcInnerLadderToList(bool condition = false);

// Stores `code` as the element's code, creating its record when there is
// none. False, nothing changed, for a cell without an inner program.
bool StoreSfcElementCode(std::int32_t row, std::int32_t col, const std::vector<std::uint8_t>& code);

// Compiles the inner ladder and stores the code into the element's record.
// False, the record unchanged, when the ladder does not compile or the cell
// has no inner program.
bool StoreSfcElementLadder(std::int32_t row, std::int32_t col);

// True when the shared chart converts to exactly the program's code (the
// chart still describes the program, so the SFC view keeps it instead of
// drawing a new one from the code).
bool SfcChartMatchesProgram();

// What the shared chart is to the program as it stands.
enum class TSfcChartState {
    Empty,       // nothing drawn
    OfProgram,   // it stands for the program: converts to it, or is the drawing made of it
    OldDrawing,  // a drawing of code changed since (or of code not known): nothing of the user's own
    Edited,      // edits of its own that the program does not have
};
TSfcChartState SfcChartState();
// Lends the project the chart's state: the save asks through the project
// (SfcChartIsOldDrawing), which cannot convert a chart. The program installs
// it where it is put together, before any project is read or saved.
void InstallSfcChartJudge();

// The shared chart, when it converts, is marked as matching the program as it
// stands (its stamps, Chartstamp.h).
void MarkSfcChartOfProgram();

// The SFC window's and the frame's code-to-chart command: rebuilds the shared
// chart (gSfcGrid, gSfcCodeList) from gProgram[0, gProgramUsed) and marks it
// as the program's. When the code cannot be laid out it shows message 1, sets
// gSfcChartError and leaves the chart and its records as they were. Returns
// true on success.
bool ConvertCodeToSfc();

// The shared chart holds work the program does not carry, which drawing it
// anew from the program would drop: edits of its own, elements no chain
// reaches, or (a chart file of an older version, which names no code) a
// chart other than the program's.
bool SfcChartHoldsOwnWork();

// The shared chart converts, and the program was changed elsewhere (the list,
// the ladder, a transfer, an undo) since the chart last matched it: the
// chart's code, which replaces the whole program, would replace those changes.
// A chart whose file names no program (an older version's) would replace
// them whenever its code is not the program's.
bool SfcChartWouldReplaceChangedCode();

// Before the chart's code goes into the program: when it would replace
// changes made elsewhere (SfcChartWouldReplaceChangedCode), the user says
// which stays (question 259): the chart (Go), the program, the chart to be
// drawn from it (KeepProgram), or nothing changed (Cancel). Go unasked
// otherwise.
enum class TChartOverChangedCode { Go, KeepProgram, Cancel };
TChartOverChangedCode AskChartOverChangedCode();

// What the SFC view shows when it opens: a chart holding edits of its own or
// standing for the program is shown as it is; an empty chart, or one that is
// only a drawing of older code, is drawn from the code (nothing for an empty
// program), and when that replaces a chart read from the project's chart file
// the user is told (message 258). Returns false when the code could not be
// drawn (message shown, chart left as it was).
bool PrepareSfcChartForView();
