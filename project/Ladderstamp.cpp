#include "project/Ladderstamp.h"

#include "project/Qelglobals.h"

std::uint64_t gLadderStamp = 0;
bool gLadderFromFile = false;
std::vector<std::uint8_t> gCommentLadderRows;

namespace {

bool (*sCompilesToProgram)() = nullptr;

}  // namespace

std::uint64_t CodeImageStamp(const std::uint8_t* code, std::uint32_t bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint32_t i = 0; code && i < bytes; ++i) {
        h ^= code[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

std::uint64_t ProgramImageStamp() { return gProgram ? CodeImageStamp(gProgram, gProgramCapacity) : 0; }

void MarkLadderOfProgram() {
    gLadderStamp = ProgramImageStamp();
    gLadderFromFile = false;
}

bool LadderMatchesProgram() { return gProgram && gLadderStamp == ProgramImageStamp(); }

bool LadderStandsForProgram() {
    if (LadderMatchesProgram() && !(gLadderFromFile && sCompilesToProgram)) return true;
    if (!gProgram || !sCompilesToProgram || !sCompilesToProgram()) return false;
    MarkLadderOfProgram();
    return true;
}

bool LadderHoldsFileEdits() { return gLadderFromFile && !LadderStandsForProgram(); }

bool TakeLadderFileEdits() {
    const bool edits = LadderHoldsFileEdits();
    gLadderFromFile = false;
    return edits;
}

void SetLadderCodeCheck(bool (*compilesToProgram)()) { sCompilesToProgram = compilesToProgram; }
