#pragma once
// Which code the program's ladder belongs to. The ladder rows are the
// program's other form: drawn from the code by a conversion, or the source
// the code is compiled from. gLadderStamp names the program image they last
// matched; an edit of the code elsewhere (the instruction list, a transfer
// that could not be drawn) leaves the ladder stale, and a stale ladder is
// never compiled over the code: the program would lose those edits.
#include <cstdint>
#include <vector>

// Stamp of the program image the ladder rows last matched; 0 when none.
extern std::uint64_t gLadderStamp;
// The rows are the ones read from the ladder file (taken because their stamp
// names the program's code) and have not matched the program since: no
// conversion, no compile, no check found them the program's, and no ladder
// window took them over as its edits.
extern bool gLadderFromFile;
// The rows of a ladder file that did not name the program's code (an older
// file without a stamp, or one of other code): not the ladder, but where the
// rung comments and block comments read with it stand. The next conversion of
// the program gives those comments their rungs through these rows (or drops
// and counts them) and empties the list; empty when there are none.
extern std::vector<std::uint8_t> gCommentLadderRows;

// FNV-1a 64 over `bytes` bytes of a code image (the whole image, empty steps
// included, so that no used length has to be known).
std::uint64_t CodeImageStamp(const std::uint8_t* code, std::uint32_t bytes);
// The stamp of gProgram (gProgramCapacity bytes); 0 without a program buffer.
std::uint64_t ProgramImageStamp();

// The ladder now matches the program as it stands (after a conversion, a
// compile, a new project, or a check that it compiles into the code).
void MarkLadderOfProgram();
// True when the ladder's stamp names the program as it stands.
bool LadderMatchesProgram();

// The one answer to whether the ladder stands for the program as it stands,
// asked by the view, the compile, the save and the leave questions alike: its
// stamp names the program, or it compiles into the program's code (exactly,
// or as the code's own drawing does; then it is marked so). Rows read from the
// ladder file do not stand for it by their stamp alone: a file keeps the
// user's edits that did not compile as well as drawings, so they stand only
// when they compile into the code. A ladder that does not stand for the
// program is a drawing of other code, or holds edits the program does not have.
bool LadderStandsForProgram();
// Rows read from the ladder file that do not stand for the program: the
// user's edits of the code their stamp names, as if drawn in this session
// (the reader's step count, the frame's conversion of an opened program and
// the ladder window ask it).
bool LadderHoldsFileEdits();
// The program's ladder window takes such rows over as its own edits: true
// when there were any; from then on the window holds them (its edits are
// judged as this session's), and the rows no longer count as read.
bool TakeLadderFileEdits();
// The ladder model's check that the program's ladder, compiled aside, gives
// the program's code (exactly, or as the code's own drawing compiles): the
// project cannot compile. The program installs it where it is put together
// (InstallLadderCodeCheck); without it only the stamp answers, for rows read
// from the file too.
void SetLadderCodeCheck(bool (*compilesToProgram)());
