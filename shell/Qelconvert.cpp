// The ladder of a program opened without its ladder file: rebuilt from the
// code at once, so that the grid matches the code before anything shows or
// saves it; one read with its ladder gets the ladder's step numbers, and one
// read with edits the code does not have keeps them for the ladder window. A
// ladder that is only a drawing of older code but holds comments is drawn
// again before a save, so that the files keep the comments with their rungs.
#include <algorithm>

#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/LadderGrid.h"
#include "ladder/model/Laddercompile.h"
#include "project/Editorlink.h"
#include "project/Ladderstamp.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "shell/Qelmain.h"

void TQelMain::ConvertOpenedProgram() {
    // The reader marks a program whose ladder it read (a missing or refused
    // ".lad" leaves the grid empty and the program unchecked). A ladder read
    // from its file gets its networks' step numbers from its code.
    if (gQel.ProgramOk) {
        RestoreProgramStepMarks();
        return;
    }
    // Rows of the user's own that the code does not have are never drawn
    // over; where they stand in the code is known for their comments.
    if (LadderHoldsFileEdits()) {
        KeepReadLadderPlaces();
        return;
    }
    ConvertCodeToLadder();
    // A refused conversion changes nothing: the grid stays empty, and the
    // user is told the code cannot be drawn.
    if (ReportConvertAbort()) return;
    gQel.ProgramOk = 1;
}

void TQelMain::DrawCommentedLadderForSave() {
    // A drawing of older code is saved without rows, and the rows are what
    // place its comments: drawn again from the code, the comments go with
    // their rungs into the ladder file the code is drawn from on opening.
    if (!gQel.ProgramOk || !gLadderRows) return;
    const TEditorLink* ladder = LinkOfView(kViewLadder);
    if (ladder && ladder->HoldsEdits && ladder->HoldsEdits()) return;
    const std::int32_t last = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
    bool comments = std::any_of(gQel.RungComments.begin(), gQel.RungComments.end(),
                                [](const std::string& c) { return !c.empty(); });
    for (std::int32_t r = 0; r <= last && !comments; ++r)
        comments = IsBlockCommentRow(gLadderRows + static_cast<std::size_t>(r) * kLdbRowBytes);
    // Rows read from the file that the code does not have are the user's own.
    if (!comments || LadderHoldsFileEdits() || LadderStandsForProgram()) return;
    // An open ladder window draws it itself (its view and history follow).
    if (ladder && ladder->Run("MmCodeToLad")) return;
    ConvertCodeToLadder();
    ReportConvertAbort();
}
