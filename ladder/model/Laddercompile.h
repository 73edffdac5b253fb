#pragma once
// Ladder compile: turns a ladder grid back into machine code. The grid is cut
// into networks; each network is brought into one normal form (folded rows
// joined again into wide rows, outputs at the right end), converted into
// instruction-list lines (Netconvert.h) and every line is assembled into the
// code, one instruction after the other from offset 0. On the way the
// block-comment rows and row comments of the program's own ladder go to the
// temporary comment files, so that the next code-to-ladder conversion puts
// them back, and every line's grid cell is recorded in the step map.
//
// A compile either succeeds or leaves the target code exactly as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "ladder/model/Elecirgraph.h"
#include "ladder/model/LadderGrid.h"
#include "ladder/model/LadderTempFiles.h"
#include "ladder/model/Netconvert.h"

// One assembled line and the ladder cell it came from.
struct TStepMapEntry {
    std::int32_t row = 0;       // grid row of the element that starts the line
    std::int32_t column = 0;    // its cell, 1-based; 0 for a line without element
    std::uint32_t offset = 0;   // code byte offset of the line's instruction
    bool operator==(const TStepMapEntry&) const = default;
};

// The step map of the last compile, or null when none is wanted. Created and
// freed by the caller.
extern std::vector<TStepMapEntry>* gStepMapList;

// Compile state, kept after the call for the caller's report.
extern std::uint32_t gCompileCodeOffset;  // where the next instruction goes
extern std::int32_t gNetworkStartRow;     // first grid row of the current (failing) network
extern std::int32_t gNextNetworkRow;      // grid row where the next cut begins
extern std::int32_t gNetworkRowCount;     // rows of the current network as cut
extern std::int32_t gCompileStride;       // bytes per wide row of the current network
// 0 layout error (or success), 1 a line the assembler rejected (its text is in
// gInputText), 2 program capacity exceeded, 3 (CompileProgramLadder only) the
// ladder does not belong to the program's code: nothing compiled, 4 the code
// compiled does not pass the structure check (gCompileStructureFault).
extern std::uint8_t gCompileResult;
constexpr std::uint8_t kCompileLadderNotOfProgram = 3;
constexpr std::uint8_t kCompileStructureFault = 4;
// The structure fault of the last compile that failed the check: the PLC's
// error code (SyntaxErr) and the step it names.
struct TStructureFault {
    std::uint16_t code = 0;
    std::int32_t step = 0;
};
extern TStructureFault gCompileStructureFault;
// The structure check of a whole program's code (`used` bytes) that the PLC
// makes before it takes a program (CheckProgramSyntax): true when it passes,
// else `fault` receives the PLC's error code and the step.
bool ProgramStructureHolds(const std::uint8_t* code, std::uint32_t used, TStructureFault& fault);
// A structure fault as the failure messages name it: the fault's message, the
// code in hexadecimal ("C403"), then the word "Step" and the step.
std::string StructureFaultText(const TStructureFault& fault);
// The layout error of the last failed compile (grid row, 1-based column).
extern TLayoutError gCompileLayoutError;

// Progress of a compile, bound by the window that shows it: the maximum is
// the number of rows, the position the row reached.
class TCompileProgress {
public:
    virtual ~TCompileProgress() = default;
    virtual void SetMaximum(std::int32_t rows) = 0;
    virtual void SetPosition(std::int32_t row) = 0;
};

// What to compile and where the code goes.
struct TCompileTarget {
    std::uint8_t* grid = nullptr;  // stride 60
    std::int32_t gridRows = 0;     // rows the grid holds
    std::int32_t lastRow = -1;     // last used row (FindLastUsedRow), -1 when empty
    TLabelTables labels{nullptr, nullptr};
    std::uint8_t* code = nullptr;  // the code buffer
    std::uint32_t capacity = 0;    // its size in bytes
    // The program's own ladder: write the comment files; on success the step
    // marks (gMarkList) become each network's first row and step. Its row comments (entry r = ladder row r) go to the files.
    bool ownLadder = false;
    const std::vector<std::string>* rowComments = nullptr;
    // A transition's condition: a rung of contacts alone whose right end is
    // open wire compiles to its contacts' instructions, no output. Only the
    // last rung may end so (what follows it would cut the condition off the
    // transfer); every other ladder keeps such a dead end a layout error.
    bool condition = false;
    // A label beside a row where no rung starts fails the compile; where the
    // rows stand in the code (the comments' places) is taken without it.
    bool strayLabelsFail = true;
    // The code compiled is a whole program: it must pass the structure check
    // the PLC makes before it takes a program (CheckProgramSyntax), or the
    // compile fails with the fault's code and step, at the fault's rung.
    bool checkStructure = false;
};

// Compiles the target's grid into its code buffer. The buffer is erased to
// 0xFF first, so everything behind the compiled code reads as empty steps. On
// failure the buffer holds its previous contents again and the comment files
// are removed; gCompileResult, gNetworkStartRow .. gNextNetworkRow - 1 and
// gInputText tell what failed. Returns 0 on success, 1 on failure.
std::uint8_t CompileLadder(const TCompileTarget& target, TCompileProgress* progress = nullptr);

// A trial compile: true when the target's grid compiles into its code buffer
// (which receives the code either way). It writes no file, records no step map
// and leaves the compile state (gCompileResult, the rows, gInputText) as it
// was, so a conversion can test what it drew without disturbing a report.
// `places`, when given, receives the code and where the grid's rows stand in
// it (as ProgramLadderComments gives them, without texts).
bool LadderCompiles(const TCompileTarget& target, TCodeComments* places = nullptr);

// The comments of the program's ladder (its block-comment rows and the rung
// comments of gQel.RungComments), tied to the code the ladder compiles to: a
// block comment to the instruction it stands before, a rung comment to its
// row's place in its network. Where the rows stood when the ladder last
// compiled or was drawn is kept, so that the ladder is compiled aside only
// when its rows or labels changed since. `loose` receives the rung comments
// of rows that belong to no network (by their row). False when the ladder
// does not compile: the comments are then tied to the code through where
// their rows (known by gQel.RungRowIds) stood when it last compiled or was
// drawn, and those on rows added since are counted in `dropped`, never kept
// by a row number that now names another rung.
bool ProgramLadderComments(TCodeComments& out, std::vector<TRowComment>& loose, std::size_t& dropped);
// The program's ladder holds rows read from its file that do not compile
// (edits of the code they were saved with): where its rows stood in that code
// is taken from the code's own drawing, for each row read that the drawing
// draws the same, so that the comments of rows still there are carried if the
// edits are discarded over code changed since. Nothing else changes.
void KeepReadLadderPlaces();

// The comments read with a ladder file that named other code: `rows`, the
// file's rows (gCommentLadderRows), and the rung comments of gQel.RungComments
// by those rows, tied to the code the rows compile to with the program's label
// tables (read with them). A comment on a row of no network, or every one when
// the rows do not compile, has no rung to stand with: counted in `dropped`.
bool FileLadderComments(const std::vector<std::uint8_t>& rows, TCodeComments& out, std::size_t& dropped);
// Whom the program's hand-over files are for, as things now stand: this run
// of the program, the project (gProjectSerial), and the program's ladder with
// its labels and rung comments. The compile names it in the files' stamp; the
// conversion reads only files that name it, so that neither another project,
// another run nor a comment the user deleted since comes back from them.
std::string ProgramCommentFilesOwner();
// The rows of the program's ladder as they now are stand at `places` (the
// code just drawn into them, with the places its trial compile found).
void KeepProgramLadderPlaces(TCodeComments places);

// Compiles the program's ladder (gLadderRows up to its last used row, with the
// program's label tables and rung comments) into gProgram; gActiveView is not
// consulted. Returns as CompileLadder. A program with code is compiled over
// only by a ladder that stands for that code (LadderStandsForProgram: drawn
// from it or compiled into it since it last changed, or compiling into
// that code; rows read from the ladder file only by compiling); such a ladder emptied
// by the user compiles into the empty program. Otherwise nothing is compiled
// (gCompileResult 3, message 251) and the program stays as it is. The window
// rebuilds such a ladder from the code. The code compiled passes the structure
// check (TCompileTarget::checkStructure) or the program stays as it was;
// `checkStructure` false is for the batch test, which runs the check itself
// only when asked to.
std::uint8_t CompileProgramLadder(TCompileProgress* progress = nullptr, bool checkStructure = true);

// Lends the project the check that the program's ladder compiles into the
// program's code, exactly or as the code's own drawing compiles (code typed in
// another form of the same circuits): whether the ladder stands for the program
// (LadderStandsForProgram) is answered in the project, which cannot compile.
// The program installs it where it is put together, before any project is read.
void InstallLadderCodeCheck();

// Gives the program's ladder its step marks again (a ladder read from its file
// has none): true when the ladder, compiled aside, gives exactly the program's
// code, whose marks then replace gMarkList; nothing else changes.
bool RestoreProgramStepMarks();

// The message a caller shows for a failed compile: message 20 for a full
// program; message 159 with the rows and "Commands: " and the rejected line;
// the structure fault's message with its code (hexadecimal), step and rows;
// message 33 (248 for crossing blocks) with the rows and the cell otherwise.
std::string CompileFailureText();

// Copies the next network of a stored grid (rows gNextNetworkRow.. up to
// lastRow) into `buf` (60-byte rows) and returns its row count; `gridRowOf`
// receives each buffer row's grid row. Blank rows before a network are
// skipped, a blank row ends it; block-comment rows met on the way are handed
// to `onBlockComment` (they leave the network) and every row's comment to
// `onRow`. Rows past lastRow are never read.
struct TCutHooks {
    virtual ~TCutHooks() = default;
    virtual void BlockComment(std::int32_t row, const std::uint8_t* row60) {}
    virtual void Row(std::int32_t row) {}
};
std::int32_t CutNetwork(const std::uint8_t* grid, std::int32_t lastRow, std::vector<std::uint8_t>& buf,
                        std::vector<std::int32_t>& gridRowOf, TCutHooks* hooks = nullptr);

// Joins the folded rows of a cut network (`rows` rows of 60 bytes) into wide
// rows: a row that ends with a connector continues on the row that begins with
// the same connector, the rows hanging below a continuation follow it.
// Connectors become wires; each row's output moves to the right end. Returns
// false with `err` (buffer row, cell) for a continuation that no connector
// opens, a connector that nothing continues, or a row that joins nothing.
struct TUnfolded {
    std::vector<std::uint8_t> grid;  // wideRows rows of stride bytes
    std::int32_t stride = kLdbRowBytes;
    std::int32_t wideRows = 0;
    std::vector<std::int32_t> bufRow;  // per (wide row, segment): buffer row, -1 when none
    // Per cell (wide row w, cell index c at w * stride / 5 + c): where the cell
    // stood before the unfold, as buffer row x 12 + cell index; -1 for a cell
    // the unfold made (wires filling a gap, links through an inserted row).
    // Outputs moved to the row's right end keep their origin.
    std::vector<std::int32_t> origin;
};
bool UnfoldNetwork(const std::vector<std::uint8_t>& buf, std::int32_t rows, TUnfolded& out, TLayoutError& err);

// Moves the first coil or box of every wide row 0..lastRow that lies before
// the last 60-byte segment to the row's right end, filling the gap with wires.
// With `origin` (TUnfolded::origin of the grid) the moved cells take their
// origins along.
void RightAlignOutputs(std::int32_t stride, std::int32_t lastRow, std::uint8_t* grid,
                       std::int32_t* origin = nullptr);

// True when all 60 bytes of a row are zero.
bool IsBlankNetworkRow(const std::uint8_t* row60);
// True when a cell of a 60-byte segment (tokens aside) links down.
bool SegmentHasDownLink(const std::uint8_t* seg60);
