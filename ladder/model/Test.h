#pragma once
// The program syntax checker: checks a compiled program's structure the way
// the PLC does before it accepts it (pairing and nesting of loads and block
// operations, MPS/MRD/MPP, MC/MCR levels, FOR/NEXT, STL/RET steps, the
// FEND/SRET/IRET sections and the places of P and I labels) and answers with
// the PLC's own error code 0xC400..0xC40E and the step where the fault lies.
//
// Two layers: a linear pass with counters for the counted limits, and a
// shift-reduce pass over a stack of instruction classes for what does not pair
// up. Nothing is drawn or shown; callers format the code and the step.
//
// Positions: the checker works on byte offsets and reports steps (2 bytes a
// step), converted in one place (OffsetToStep). An error found by the linear
// pass is reported at the instruction that caused it. An incomplete program
// (0xC401) is reported at the first stack entry that did not reduce, each
// entry keeping the step of the first instruction it stands for. An MC left
// open at the end (0xC40C) is reported at that MC.
#include <cstdint>

// Error codes of the PLC (0 = no error). 0xC406 is not used.
namespace SyntaxErr {
constexpr std::uint16_t None = 0;
constexpr std::uint16_t InvalidWord = 0xC400;      // not an instruction, or cut off by the end
constexpr std::uint16_t Incomplete = 0xC401;       // does not reduce; FOR/NEXT inside a step
constexpr std::uint16_t TooManyLoads = 0xC402;     // nine loads open without ANB/ORB
constexpr std::uint16_t MpsTooDeep = 0xC403;       // MPS nested nine deep
constexpr std::uint16_t ForTooDeep = 0xC404;       // FOR nested six deep
constexpr std::uint16_t InsideFor = 0xC405;        // STL, RET, MC, MCR, IRET, SRET, FEND, END in FOR
constexpr std::uint16_t TooManyStl = 0xC407;       // nine STL in a row
constexpr std::uint16_t InsideStep = 0xC408;       // MC, MCR, I or P label inside a step
constexpr std::uint16_t StepBeforeReturn = 0xC409; // SRET/IRET after a step or MC after FEND
constexpr std::uint16_t ReturnInMc = 0xC40A;       // SRET, IRET or I label inside an open MC
constexpr std::uint16_t McLevel = 0xC40B;          // MC whose N is not the next level
constexpr std::uint16_t McrLevel = 0xC40C;         // MCR not at the open level; MC left open
constexpr std::uint16_t LabelPlace = 0xC40D;       // I label misplaced; bad word after FEND
constexpr std::uint16_t ReturnBeforeFend = 0xC40E; // SRET or IRET before the first FEND
}  // namespace SyntaxErr

// Error code of the last check (SyntaxErr), read by the callers.
extern std::uint16_t gSyntaxError;

// Instruction classes: the terminal symbols of the checker's grammar.
namespace InsnClass {
constexpr std::uint8_t Load = 2, Series = 3, Parallel = 4, ILabel = 5, PLabel = 6;
constexpr std::uint8_t Anb = 7, Orb = 8, Mps = 9, Mrd = 10, Mpp = 11;
constexpr std::uint8_t Fend = 12, Sret = 13, Iret = 14, Ei = 15, Di = 16;
constexpr std::uint8_t End = 17, Mc = 18, Mcr = 19, Ret = 20, For = 21, Next = 22, Stl = 24;
constexpr std::uint8_t Output = 0x50, Invalid = 254, Skip = 255;
}  // namespace InsnClass

// The class of an instruction word (InsnClass).
std::uint8_t ClassifyInstruction(std::uint16_t word);

// The step (2 bytes a step) of a code byte offset: the one place where the
// checker's byte positions become the steps the user sees.
constexpr std::int32_t OffsetToStep(std::uint32_t offset) { return static_cast<std::int32_t>(offset / 2); }

// Checks `length` bytes of little-endian program words at `code`. Sets
// gSyntaxError and returns the step of the error (or the step where the check
// stopped when there is none). When an error is found, errSteps[0] and
// errSteps[1] receive the first and last step of the faulty stretch. Like
// every check it clears the compile's line-rejection flag (gCompileResult):
// callers read that flag right after a compile, before they check.
// The check never reads past `length` and touches no file: no step file
// ("ladpass1.pas") is read or removed, because nothing writes one and a stale
// file would move every reported position, and deleting it would remove a
// file of the program folder; positions are therefore always the code's own
// steps. The third argument receives the error steps (there is no work
// buffer to pass: the symbol stack is the check's own).
std::int32_t CheckProgramSyntax(const std::uint8_t* code, std::uint32_t length, std::int32_t errSteps[2]);
