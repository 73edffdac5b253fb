#pragma once
// Which code the program's ladder belongs to. The ladder rows are the
// program's other form: drawn from the code by a conversion, or the source
// the code is compiled from. gLadderStamp names the program image they last
// matched; an edit of the code elsewhere (the instruction list, a transfer
// that could not be drawn) leaves the ladder stale, and a stale ladder is
// never compiled over the code: the program would lose those edits.
#include <cstdint>

// Stamp of the program image the ladder rows last matched; 0 when none.
extern std::uint64_t gLadderStamp;

// FNV-1a 64 over `bytes` bytes of a code image (the whole image, empty steps
// included, so that no used length has to be known).
std::uint64_t CodeImageStamp(const std::uint8_t* code, std::uint32_t bytes);
// The stamp of gProgram (gProgramCapacity bytes); 0 without a program buffer.
std::uint64_t ProgramImageStamp();

// The ladder now matches the program as it stands (after a conversion, a
// compile, a new project, or a ladder file read with its code).
void MarkLadderOfProgram();
// True when the ladder's stamp names the program as it stands.
bool LadderMatchesProgram();

// The one answer to whether the ladder stands for the program as it stands,
// asked by the view, the compile, the save and the leave questions alike: its
// stamp names the program, or it compiles into exactly the program's code
// (then it is marked so). A ladder that does not is a drawing of other code,
// or holds edits the program does not have.
bool LadderStandsForProgram();
// The ladder model's check that the program's ladder, compiled aside, gives
// exactly the program's code. Installed by the ladder model, which alone can
// compile; until then only the stamp answers.
void SetLadderCodeCheck(bool (*compilesToProgram)());
