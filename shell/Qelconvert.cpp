// The ladder of a program opened without its ladder file: rebuilt from the
// code at once, so that the grid matches the code before anything shows or
// saves it.
#include "ladder/model/LadderConvert.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"

void TQelMain::ConvertOpenedProgram() {
    // The reader marks a program whose ladder it read (a missing or refused
    // ".lad" leaves the grid empty and the program unchecked).
    if (gQel.ProgramOk) return;
    ConvertCodeToLadder();
    // A refused conversion changes nothing: the grid stays empty, and the
    // user is told the code cannot be drawn.
    if (ReportConvertAbort()) return;
    gQel.ProgramOk = 1;
}
