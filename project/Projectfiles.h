#pragma once
// The program file set. A project is the ".kzp" file (header and machine code)
// and its siblings of the same base name: ".lad" ladder rows, ".lab" label
// tables, ".rcm" title page and device comments, ".lmt" rung comments, ".smt"
// block comments, ".dev" the device-monitor list and ".sfc" the SFC chart with
// its element code records. Layouts are in
// docs/file-formats.md.
//
// Readers check every count and size against the file and the buffers and
// refuse a short, foreign or corrupt file with a message; the open project is
// only replaced once the whole set has been read. Writers write a temporary
// file in the same folder and rename it over the old one, after keeping a
// backup of each file replaced (".kz~", ".la~", ".lb~", ".rc~", ".lm~",
// ".sm~", ".dv~", ".sf~").
//
// A companion is found under its name in any letter case ("PLANT.LAD" beside
// "PLANT.KZP" or "plant.kzp"), and a save writes it under the name it was
// found by, so that the next Open reads what the save wrote. The ladder file
// names the label, rung-comment and block-comment files written with it: a
// set put together from pieces of several saves never has its ladder rows
// compiled over the code with labels or comments of another version.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// Reads the project named by gQel.OpenFileName: the ".kzp" file and all its
/// siblings. A refused ".kzp" shows its message and leaves the open project
/// as it was. A damaged sibling asks (message 43) whether to open without it;
/// No or Cancel leaves the open project as it was. A missing ".lad" leaves the
/// ladder empty and gLadderRowCount 0 (the caller converts the code). On
/// success the file names, family, capacity, title page, comments and the
/// monitor list are those of the file, gQel.Modified is 0 and the file heads
/// the recent-file list (as a whole path; a link is followed to its file).
/// Label, rung-comment and block-comment files that do not belong with the
/// ladder file (missing, or of another save) are not read, and rows that
/// cannot stand for the code without their labels are drawn again from it:
/// one message (270) names what was not read.
bool ReadProgramFile();

/// Whether the program file a name opens (as ReadProgramFile finds it) reads
/// as a program; when not, its message says why. The open project stays as
/// it is.
bool ProgramFileOpens(const std::string& name);

/// Reads the siblings of the project named by gQel.BaseName into the open
/// project (the program image stays). Each sibling that is refused shows its
/// message and leaves its own part unchanged; missing siblings are skipped.
/// Returns false when any sibling was refused.
bool ReadSiblingFiles();

/// Writes the whole file set under gQel.ProgramFileName, which must name a
/// program file (IsProgramFileName; a program opened from a backup or under
/// another extension is saved under a name the user chose, never over the set
/// beside it). Each file replaced is kept as its backup (".kz~", ".la~",
/// ".lb~", ".rc~", ".lm~", ".sm~", ".dv~", ".sf~").
/// On a failure shows message 30 with the path and returns false; files
/// already in place stay whole (each is replaced only by a complete new file).
/// A file of the set that its reader would refuse (a comment that is not
/// UTF-8 or holds a NUL) fails the save the same way before anything is written.
/// A save replaces only what this project read or wrote: a read-only file of
/// the set or of its backups is refused (ShowSaveFailed) before anything is
/// asked; files of the set that are not what this project last read or wrote
/// there (another run's save, a file that appeared since) are named in one
/// question (message 277) whose Cancel writes nothing. A file removed since
/// is written again without a word: no one's work is replaced. With
/// `filesThereAsked` (the user already let a Save As replace what stands
/// under the name) only the refusal holds.
/// On success clears gQel.Modified and sets gQel.Named.
bool SaveProject(bool filesThereAsked = false);

/// Notes that a message named the file `path` of the open set as not taken
/// (of other code, not read): the save that replaces it keeps it as its
/// backup, and the save after that keeps that backup aside rather than write
/// over it (message 287). Forgotten when the project is replaced.
void NoteFileNamedToUser(const std::string& path);

/// Writes `bytes`, what another project's file `of` held before a Save As
/// replaces it, as its backup `backup`, whole or not at all and no more open
/// than `of`. A backup there that still holds another project's file an
/// earlier save kept (and the user was told of) is kept under a name beside
/// it first, and message 287 names it; the save after this one does the same
/// for this backup (SaveProject keeps the set's backups so). False when
/// nothing was written.
bool WriteBackupOfReplaced(const std::string& backup, std::string_view bytes, const std::string& of);

/// Says why a save of `path` failed: message 278 when the file is read-only,
/// else message 30; the path follows.
void ShowSaveFailed(const std::string& path);

/// Empties the project: program buffers 0xFF, ladder rows zeroed, label tables
/// -1, SFC grid 0xFF and its code records freed, inner ladder cleared, rung
/// comments, title page and the file-register template's values emptied, and
/// a new gProjectSerial. Every path that replaces the project (New, Open, a
/// program read from the PLC, the batch compile test's open) goes through it.
/// Device comments stay (see LoadDeviceCommentInit), as do the file names
/// (see MakeUntitledName) and the device-monitor list, which only a list file
/// read in its place replaces.
void ClearProject();
/// Called at the end of every ClearProject (empty: nothing): the frame tells
/// its windows through it that the project they showed results of is gone.
void SetProjectClearedHook(std::function<void()> hook);

/// The program's code (up to its END) fits the capacity `capacityIndex`.
bool ProgramFitsCapacity(int capacityIndex);

/// Moves the program's code into an image of capacity `capacityIndex` (a new
/// model): the buffers are reallocated and erased, the code up to its END
/// carried over. The ladder and the chart that stood for the code still stand
/// for it (their stamps follow the new image); a drawing of other code stays
/// one. False, nothing changed, where the code does not fit
/// (ProgramFitsCapacity).
bool CarryProgramToCapacity(int capacityIndex);

/// Sizes the nine device-comment lists to the family's highest device number + 1,
/// keeping the comments that still fit.
void FitCommentLists();

/// The device comments that fitting the lists to `family` would drop (devices
/// the family does not have), by letter: how many, and the first and last
/// device ("X 1 (X200), D 3 (D5000-D9999)"); empty when none would go.
std::string CommentsBeyondFamily(int family);

/// The device-monitor entries of devices `family` does not have, which a
/// change to it drops from the list: their names in list order ("D6000,
/// X200"); empty when none would go.
std::string MonitorEntriesBeyondFamily(int family);

/// The program's instructions `family` does not run as they stand (a row, a
/// device or a 32-bit pair it lacks), which a change to it keeps as they are:
/// their steps and texts in program order ("1 DMOV D1311 D200, 7 MOV K1
/// D6000"), the first ten and then "+n" for the rest; empty when there is none.
std::string ProgramBeyondFamily(int family);
/// The same over other code (`used` bytes of it: an element's inner code),
/// its steps counted from its own start.
std::string CodeBeyondFamily(std::span<const std::uint8_t> code, std::uint32_t used, int family);

/// Drops the device-monitor entries MonitorEntriesBeyondFamily names, keeping
/// the others in their order.
void DropMonitorEntriesBeyondFamily(int family);

/// Empties the device monitor's list: a project that brings none of its own
/// (File > New, a set without a list file) lists no device.
void ClearMonitorList();

/// Clears every device comment, then loads the defaults file
/// DeviceCommentInit.txt of the install folder (a missing file gives no
/// defaults). Names outside the family's lists are skipped.
void LoadDeviceCommentInit();

/// The comment of device `letter` number `number` (one of "XYMSTCDPI"); empty
/// for another letter or a number beyond the letter's list.
std::string GetDeviceComment(char letter, int number);

/// The comment of device `name` (letter then number, X and Y in octal).
std::string GetCommentByDeviceName(const std::string& name);

/// Sets the modified flag, then stores `comment` for device `name` (letter then
/// number, X and Y octal) when the letter is one of "XYMSTCDPI" and the number
/// lies within its list. What is stored keeps the comment rule (CleanComment
/// to kDeviceCommentMaxBytes; the windows refuse a text that breaks it before
/// they get here). Returns whether it was stored.
bool SetDeviceComment(const std::string& name, const std::string& comment);

/// A comment for device `number` of list `list` (0..8 over "XYMSTCDPI").
struct TDeviceCommentEntry {
    int list = 0;
    int number = 0;
    std::string comment;
};

/// Stores many comments as SetDeviceComment stores one (the modified flag set
/// when `entries` is not empty; entries outside the lists skipped), and tells
/// the listeners once. Returns how many were stored.
std::size_t SetDeviceComments(const std::vector<TDeviceCommentEntry>& entries);

/// Windows that show device comments (the device monitor, the device-comment
/// window) follow every comment SetDeviceComment(s) stores, whoever edits it:
/// each store, or each batch, calls every listener once. The token returned
/// removes the listener.
int AddDeviceCommentListener(std::function<void()> changed);
void RemoveDeviceCommentListener(int token);

/// Parses a device name into its list index 0..8 and number; X and Y numbers
/// are octal. Returns false for anything else (no letter, bad digits, letter
/// without a list).
bool ParseDeviceName(const std::string& name, int& listIndex, int& number);

/// The files kept beside the program that the set does not hold: the register
/// view's values and the file-register template, each with the backup a save
/// under another name keeps of another project's file it replaces.
inline constexpr const char* kRegisterFileExt = ".kzl";
inline constexpr const char* kRegisterBackupExt = ".kl~";
inline constexpr const char* kTemplateFileExt = ".qft";
inline constexpr const char* kTemplateBackupExt = ".qf~";

/// Makes the name of an untitled project in the save folder ("Untitled" plus
/// the first number of which no file exists that ExistingSetFiles names, a
/// kRegisterFileExt or kTemplateFileExt file included) and sets it as
/// gQel.ProgramFileName; clears
/// gQel.Named.
void MakeUntitledName();

/// Sets gQel.ProgramFileName to `path` (".kzp" added when it has no extension)
/// and makes the file names from it.
void SetProjectPath(const std::string& path);

/// Derives gQel.BaseName from gQel.ProgramFileName and the temporary file
/// names (gQel.TmsFileName, gQel.TmlFileName) in the install folder's Temp/.
void MakeFileNames();

/// The path of the sibling of the current project with extension `ext`
/// (".lad", ".dv~", ...): CompanionPath of gQel.ProgramFileName.
std::string SiblingPath(const char* ext);

/// The companion `ext` (".lad", ".kz~", ".kzp", ...) of the program file
/// `programPath`: the file of the same base name and that extension that
/// exists, its name compared in any letter case (the name in the program
/// file's own case first, then lower case, then any other); when none
/// exists, the name a save creates, in the case of the program file's
/// extension ("PLANT.LAD" for "PLANT.KZP").
std::string CompanionPath(const std::string& programPath, const char* ext);

/// Whether `path` names a program file a set can be saved under: its
/// extension is ".kzp" in any letter case.
bool IsProgramFileName(const std::string& path);

/// The program file a save under the name `typed` writes, as an absolute
/// path: `typed` when it ends in ".kzp" (any case), else the program file of
/// that name there in any case of ".kzp" ("PLANT" gives an existing
/// "PLANT.KZP"), else `typed` with ".kzp" added ("press" and "press.v2" give
/// "press.kzp" and "press.v2.kzp").
std::string ProgramFileNameFor(const std::string& typed);

/// The files of the set of program file `programPath` that exist: the
/// program file, its companions, the register view's and the template's
/// files beside it, and their backups, in any letter case; a program file
/// first.
std::vector<std::string> ExistingSetFiles(const std::string& programPath);

/// Deletes the ".tms", ".tml" and ".pas" files of the install folder's Temp/,
/// and the ".tck" stamps of the comment files (shut-down).
void DeleteTempFiles();
