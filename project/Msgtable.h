#pragma once
// The message table: every user-visible message text, fetched by id. The id of
// a message is its line index in QEL.Txt (UTF-8, one message per line) in the
// install folder.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

/// Message ids the shell shows for its own refusals (ids no other window uses).
enum TShellMsg : int {
    kMsgFileTooShort = 6,        ///< file is shorter than its header says
    kMsgFileNotProgram = 21,     ///< file is not one of this system's files (bad version word)
    kMsgFileCorrupt = 25,        ///< a field of the file lies outside its range
    kMsgFileOpenFailed = 26,     ///< file cannot be opened for reading
    kMsgFileSaveFailed = 30,     ///< file cannot be written; the old file is kept
    kMsgSiblingDamaged = 43,     ///< question: a companion file is damaged, open without it?
    kMsgSaveChanges = 145,       ///< question: save the changed program?
    kMsgFileOtherModel = 220,    ///< file belongs to another model family
    kMsgSaveLeftMixed = 170,     ///< a save failed and could not put every old file back
    kMsgLadderEditsNotSaved = 255,  ///< saved, but the ladder file holds edits the code does not have
    kMsgLadderFileStale = 256,   ///< the ladder file is of other code: drawn again from the code
    kMsgChartEditsNotSaved = 257,  ///< saved, but the chart (or an element's inner program) holds edits the code does not have
    kMsgChartFileStale = 258,    ///< the chart file is of other code: drawn again from the code
    kMsgCommentsBeyondFamily = 261,  ///< question: a new family drops the comments of devices it lacks (which follow)
    kMsgFileRegsBeyondSetting = 262, ///< question: a new card setting drops file-register values (which follow)
    kMsgReadHoldsEdits = 269,    ///< a read from the PLC replaces the project: no edits until it ends
    kMsgSetPartsNotRead = 270,   ///< files of the set that do not belong with its program or ladder were not read (which follow)
    kMsgReplaceProject = 271,    ///< question: Save As would write over another project's files (its program file follows)
    kMsgMonitorBeyondFamily = 272,   ///< question: a new family drops device-monitor entries it lacks (which follow)
    kMsgSpecialRegister = 273,   ///< a value typed into the register view's special registers (D1000 and up) is not taken
    kMsgStructureFault = 274,    ///< a compiled program fails the PLC's structure check (code, step and rows follow)
    kMsgStepWord = 275,          ///< "Step" (the step of a structure fault)
    kMsgPagesNotWritten = 276,   ///< a printer or PDF file did not take the pages (where they were to go follows)
    kMsgChangedOnDisk = 277,     ///< question: files changed on disk since this project read or saved them would be replaced (which follow)
    kMsgFileReadOnly = 278,      ///< a read-only file is not replaced; nothing was saved (the path follows)
    kMsgSimEditsRefused = 279,   ///< a simulation ended: an editor's edits could not go into the program
    kMsgSimModelChanged = 280,   ///< a simulation ended: the model setting changed
    kMsgCodeBeyondFamily = 143,      ///< after 162: the code holds instructions the model does not run as they stand (which follow)
    kMsgProgramBeyondFamily = 282,   ///< question: a new family does not run instructions the program holds (which follow)
    kMsgBackupsKeptAside = 287,  ///< backups an earlier save filled with files not read or another project's were kept under other names (which follow)
    kMsgBatchHoldsEdits = 290,   ///< the batch compile test opens its files as the project: no edits until it ends
};

/// Largest message file read (the real one is a few kilobytes).
inline constexpr std::uintmax_t kMaxMessageFileBytes = 1u << 20;

/// A list of message texts indexed by id.
class TMsgTable {
public:
    /// Replaces the table with the lines of `path` (UTF-8; a trailing CR of each
    /// line and a leading byte-order mark are dropped). Returns false and keeps
    /// the table as it was when the file cannot be read, is no regular file or
    /// is larger than kMaxMessageFileBytes.
    bool LoadFromFile(const std::filesystem::path& path);

    /// The text of message `id`; empty for an id outside the table.
    std::string Get(int id) const;

    /// Number of messages held.
    std::size_t Count() const { return lines_.size(); }

    /// Replaces the table with `lines` (tests and tools).
    void Assign(std::vector<std::string> lines) { lines_ = std::move(lines); }

private:
    std::vector<std::string> lines_;
};

/// The message table of the run.
extern TMsgTable gMsgTable;

/// Path of the message file in the install folder.
std::filesystem::path MessageFilePath();

/// Loads gMsgTable from MessageFilePath(). When the file is missing, shows
/// "File " + path + " was lost !!" as an error and returns false: start-up
/// stops. A file that is there but refused says so instead.
bool LoadMessageTable();

/// Shows message `id`, followed by `detail`, through the installed message service.
void ShowMsg(int id, const std::string& detail = {});

/// Where a drawing (ladder grid, chart) could not be taken, as its failure
/// messages name it: " [Row: r Column: c ]" in the table's words.
std::string CellPositionText(int row, int col);
