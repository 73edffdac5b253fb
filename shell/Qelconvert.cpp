// The ladder of a program opened without its ladder file: rebuilt from the
// code at once, so that the grid matches the code before anything shows or
// saves it; one read with its ladder gets the ladder's step numbers, and one
// read with edits the code does not have keeps them for the ladder window.
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "project/Ladderstamp.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"

void TQelMain::ConvertOpenedProgram() {
    // The reader marks a program whose ladder it read (a missing or refused
    // ".lad" leaves the grid empty and the program unchecked). A ladder read
    // from its file gets its networks' step numbers from its code.
    if (gQel.ProgramOk) {
        RestoreProgramStepMarks();
        return;
    }
    // Rows of the user's own that the code does not have are never drawn over.
    if (LadderHoldsFileEdits()) return;
    ConvertCodeToLadder();
    // A refused conversion changes nothing: the grid stays empty, and the
    // user is told the code cannot be drawn.
    if (ReportConvertAbort()) return;
    gQel.ProgramOk = 1;
}
