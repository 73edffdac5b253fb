#pragma once
// Shared buffers and the frame's project state. The frame owns all of this for
// the whole run and lends it to the editors; everything here is used from the
// GUI thread only (the simulator thread only reads gProgram while it runs).
//
// Buffers keep the raw-pointer form the editors and converters work on; the
// storage behind them is owned here and replaced only through the functions
// below, which keep every size field in step with its buffer.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Sizes

/// Program capacities in bytes by capacity index 0..3 ("2000 Steps" .. "16000 Steps").
inline constexpr std::array<std::uint32_t, 4> kProgramCapacities = {3616, 7584, 15840, 31744};
/// Number of capacity indexes.
inline constexpr int kCapacityCount = 4;
/// Number of model families (0 KA/KB/KC, 1 KD, 2 KE).
inline constexpr int kModelFamilyCount = 3;
/// The program version word written into every binary file of the project.
inline constexpr std::uint16_t kProgramVersion = 206;

/// Bytes of one ladder row (twelve five-byte cells).
inline constexpr int kLadderRowBytes = 60;
/// Rows of the program's ladder grid.
inline constexpr int kLadderRows = 10000;
/// Rows of the SFC inner ladder grid at start-up.
inline constexpr int kInterLadderRowsAtStart = 2000;
/// Entries of a pointer-label table (P0..P255).
inline constexpr int kPLabelCount = 256;
/// Entries of an interrupt-label table (I000..I899).
inline constexpr int kILabelCount = 900;
/// Bytes of one SFC grid row (16 cells of 4 bytes).
inline constexpr int kSfcRowBytes = 64;
/// SFC grid rows allocated at start-up.
inline constexpr int kSfcRowsAtStart = 256;

/// Capacity in bytes of capacity index `index`; 0 for an index outside 0..3.
std::uint32_t ProgramCapacityOf(int index);

// ---------------------------------------------------------------------------
// Program image

/// The program image: little-endian 16-bit words, empty steps 0xFFFF.
extern std::uint8_t* gProgram;
/// Size of gProgram in bytes (one of kProgramCapacities).
extern std::uint32_t gProgramCapacity;
/// Used bytes of gProgram, up to and including END; set by LocateProgramEnd().
extern std::uint32_t gProgramUsed;

/// Second code buffer: the code of the SFC element whose inner views are open.
extern std::uint8_t* gProgramCopy;
/// Size of gProgramCopy in bytes (the program capacity, or more after GrowProgramCopy).
extern std::uint32_t gProgramCopySize;
/// Used bytes of gProgramCopy; set by LocateProgramCopyEnd().
extern std::uint32_t gProgramCopyUsed;
/// Byte offset of the last instruction in gProgramCopy; set by LocateProgramCopyEnd().
extern std::uint32_t gProgramCopyLastOffset;

/// Reallocates gProgram and gProgramCopy at capacity index `index` (0..3), both
/// erased to 0xFF, and sets the capacity, size and used fields. Returns false and
/// changes nothing for an index outside 0..3.
bool SetProgramCapacity(int index);

/// Enlarges gProgramCopy to at least `bytes`, keeping its contents and filling the
/// new part with 0xFF. Never shrinks.
void GrowProgramCopy(std::uint32_t bytes);

/// Walks gProgram from offset 0 and stores the used length (through END) in
/// gProgramUsed; returns it.
std::uint32_t LocateProgramEnd();

/// Walks gProgramCopy from offset 0 and stores its used length in gProgramCopyUsed
/// and the offset of its last instruction in gProgramCopyLastOffset; returns the
/// used length.
std::uint32_t LocateProgramCopyEnd();

// ---------------------------------------------------------------------------
// Ladder grids and label tables

/// The program's ladder grid: kLadderRows rows of kLadderRowBytes bytes.
extern std::uint8_t* gLadderRows;
/// Rows written by the last code-to-ladder conversion (or the last used row before a compile).
extern std::int32_t gLadderRowCount;
/// Grid row of each pointer label P0..P255 of gLadderRows, -1 when free.
extern std::int32_t gPLabelRows[kPLabelCount];
/// Grid row of each interrupt label I000..I899 of gLadderRows, -1 when free.
extern std::int32_t gILabelRows[kILabelCount];

/// The SFC inner ladder grid: gInterLadderRowCapacity rows of kLadderRowBytes bytes.
extern std::uint8_t* gInterLadderGrid;
/// Rows of gInterLadderGrid (kInterLadderRowsAtStart at start).
extern std::int32_t gInterLadderRowCapacity;
/// Pointer-label rows of the inner ladder, -1 when free.
extern std::int32_t gInterPLabelRows[kPLabelCount];
/// Interrupt-label rows of the inner ladder, -1 when free.
extern std::int32_t gInterILabelRows[kILabelCount];

/// Enlarges gInterLadderGrid to at least `rows` rows, keeping its rows and zeroing
/// the new ones. Never shrinks.
void GrowInterLadderGrid(std::int32_t rows);

// ---------------------------------------------------------------------------
// SFC buffers

/// The SFC chart grid: gSfcRowCount rows of kSfcRowBytes bytes, 0xFF when empty.
extern std::uint8_t* gSfcGrid;
/// Rows of gSfcGrid.
extern std::int32_t gSfcRowCount;

/// Resizes gSfcGrid to `rows` rows, keeping the common rows; new rows are 0xFF.
void ResizeSfcGrid(std::int32_t rows);

/// Inner program of one SFC element cell.
struct TSfcCodeRec {
    std::int32_t row = -1;            ///< grid row of the cell
    std::int32_t col = -1;            ///< byte offset of the cell in its row (column x 4)
    std::vector<std::uint8_t> code;   ///< whole instructions, little-endian words
    /// Length of `code` in bytes.
    std::int32_t length() const { return static_cast<std::int32_t>(code.size()); }
};

/// The element code records of the chart, in order of creation; the list owns them.
extern std::vector<std::unique_ptr<TSfcCodeRec>> gSfcCodeList;

// ---------------------------------------------------------------------------
// File registers

/// File-register values of the template.
extern std::vector<std::uint16_t> gFileRegValues;
/// Number of file registers (0, 1600 or 10000, plus 22768 with extra memory).
extern std::int32_t gFileRegCount;

/// Sets gFileRegCount and resizes gFileRegValues to it (new values 0).
void SetFileRegCount(std::int32_t count);

/// What a smaller file-register count would drop: the values not zero from
/// index `count` up, how many and the first and last index ("2 (10000-20000)");
/// empty when none would go.
std::string FileRegValuesBeyond(std::int32_t count);

// ---------------------------------------------------------------------------
// View state

/// Code of the active view or input mode (1 instruction list, 2 ladder, 3 ladder
/// block-comment entry, 6 device comments, 7 device monitor, 8/9 go-to-step,
/// 13 register view, 16 SFC, 17 SFC inner ladder, 18 SFC inner list,
/// 19 go-to-step in the inner list, 20 file-register template); 0 when none.
extern std::int32_t gActiveView;
/// Ladder cell width in pixels, shared by all ladder windows.
extern std::int32_t gCellWidth;
/// Ladder cell height in pixels (doubled while gShowComments is 1).
extern std::int32_t gCellHeight;
/// Comment display flag: 0 at start, toggled by the comment-display command.
extern std::uint8_t gShowComments;
/// 1 while the ladder view monitors the PLC on line.
extern std::uint8_t gMonitorMode;

/// Cell widths by zoom index 0..6.
inline constexpr std::array<std::int32_t, 7> kZoomCellWidths = {50, 60, 70, 80, 90, 100, 110};
/// Cell heights by zoom index 0..6 (without the comment doubling).
inline constexpr std::array<std::int32_t, 7> kZoomCellHeights = {30, 40, 50, 60, 70, 80, 90};
/// Font sizes in points by zoom index 0..6.
inline constexpr std::array<std::int32_t, 7> kZoomFontSizes = {6, 7, 8, 9, 10, 11, 12};

// ---------------------------------------------------------------------------
// Device-monitor list (saved in the project's ".dev" file)

/// One listed device of the device monitor (16 bytes as stored in ".dev").
struct TDevMoniEntry {
    char Name[6];                 ///< letter then number, zero-terminated when shorter than 6
    std::uint8_t SetValue[4];     ///< constant set value of a timer or counter, little-endian
    std::uint8_t Reserved[6];     ///< zero
};
static_assert(sizeof(TDevMoniEntry) == 16);

/// Most rows the device monitor lists.
inline constexpr int kDevMoniMaxEntries = 96;
/// The device monitor's rows; record i belongs to grid row i + 1.
extern TDevMoniEntry gDevMoniEntries[kDevMoniMaxEntries];
/// Records of gDevMoniEntries in use (0..kDevMoniMaxEntries).
extern std::int32_t gDevMoniEntryCount;

// ---------------------------------------------------------------------------
// Device comments

/// The letters of the nine device-comment lists, in list order.
inline constexpr char kCommentLetters[] = "XYMSTCDPI";
/// Number of device-comment lists.
inline constexpr int kCommentListCount = 9;

// ---------------------------------------------------------------------------
// The frame's project and settings fields

/// What the frame knows about the open project and the link settings.
struct TQelState {
    // Model and program
    std::int32_t Family = 0;            ///< model family index 0..2
    std::int32_t CapacityIndex = 0;     ///< capacity index 0..3
    std::uint16_t Version = kProgramVersion;  ///< program version word

    // Link settings
    std::uint8_t Station = 1;           ///< station address put into every frame
    std::int32_t LinkMode = 0;          ///< 5 while the baud menu changes, 6 during the baud search
    std::uint16_t ComPort = 1;          ///< serial port number ("COM" + n)
    std::int32_t BaudRate = 9600;       ///< line speed
    std::string ComDevice;              ///< device path of port ComPort; empty: the default rule

    // Editing flags
    std::uint8_t InsertMode = 1;        ///< 1 insert, 0 overwrite
    std::uint8_t Modified = 0;          ///< project changed since the last save
    std::uint8_t ProgramOk = 0;         ///< program compiled and consistent with its ladder
    std::uint8_t ProgramPresent = 0;    ///< a program is open
    std::uint8_t Named = 0;             ///< the project has a file name of the user's choice

    // Title page
    std::string Title;                  ///< project title
    std::string Company;                ///< company
    std::string Designer;               ///< designer

    // Files
    std::string InstallFolder;          ///< install folder, with a trailing '/'
    std::string TmsFileName;            ///< block-comment temporary file (".tms") in Temp/
    std::string TmlFileName;            ///< row-comment temporary file (".tml") in Temp/
    std::string OpenFileName;           ///< the file the open dialog chose (read by ReadProgramFile)
    std::string ProgramFileName;        ///< the project's ".kzp" path (the save dialog's file)
    std::string BaseName;               ///< project path without extension (names siblings, register files)
    std::string OpenDir;                ///< initial folder of the open dialog
    std::string SaveDir;                ///< initial folder of the save dialog
    std::vector<std::string> RecentFiles;  ///< at most 5 paths, newest first

    // View settings kept across runs
    std::int32_t Zoom = 4;              ///< zoom index 0..6
    std::int32_t ValueFormat = 0;       ///< 0 decimal (Dig10), 1 hexadecimal (Dig16), 2 ASCII (DigASCI)
    std::uint8_t MatchSize = 0;         ///< 1: match the zoom to the screen on creation

    /// Device comments, one list per letter of kCommentLetters; entry n is the
    /// comment of device n (X and Y numbers counted in octal order).
    std::array<std::vector<std::string>, kCommentListCount> DevComments;

    /// Rung comments: entry r is the comment of ladder row r.
    std::vector<std::string> RungComments;
    /// Which row each ladder row is (entry r: row r), kept along with
    /// RungComments through every row operation, so that a comment can find
    /// its row again after rows moved (an undo, a conversion). Rows past the
    /// end have none yet (GiveLadderRowIds); identities are never reused, so a
    /// cleared list names none of the rows it named before. Not saved.
    std::vector<std::uint32_t> RungRowIds;
};

/// A row identity never handed out before in this run.
std::uint32_t NewLadderRowId();
/// Gives every row of a ladder that may hold something its identity: rows
/// 0..lastRow and the rows of its comment entries (0..commentRows - 1). A row
/// that has one keeps it; rows past these have none yet.
void GiveLadderRowIds(std::vector<std::uint32_t>& ids, std::int32_t lastRow, std::size_t commentRows);

/// The frame's state.
extern TQelState gQel;

/// Names the project now open: ClearProject gives every new project (New,
/// Open, a program read from the PLC) a number of its own, never one an
/// earlier project of the run had. What is kept aside for a project (values
/// a closed window left unsaved, the compile's hand-over files) is taken back
/// only while this is the number it was kept under.
extern std::uint64_t gProjectSerial;

/// Most entries of the recent-file list.
inline constexpr int kRecentFileMax = 5;

/// `name` as a whole path (absolute, "." and ".." taken out by name); `name`
/// itself when it is empty or the working folder cannot be known.
std::string WholePath(const std::string& name);

/// Puts `path` (made a whole path) at the head of the recent-file list,
/// removing an older copy and keeping at most kRecentFileMax entries.
void AddRecentFile(const std::string& path);

/// Sets the model family (0..2) of the project and hands it to the instruction
/// set's operand checkers; refits the comment lists. Returns false and changes
/// nothing for a family outside 0..2.
bool SetModelFamily(int family);

/// Sets gCellWidth/gCellHeight from a zoom index 0..6 (heights doubled while
/// gShowComments is 1) and stores it in gQel.Zoom; an index outside 0..6 is clamped.
void ApplyZoomIndex(int zoom);

/// Allocates every shared buffer at its start-up size and sets the defaults of a
/// fresh run (family 0, capacity index 0, COM 1, 9600 baud, version 206). Safe
/// to call again: it starts over.
void AllocateSharedBuffers();

/// Frees every shared buffer (shut-down); pointers become null and sizes 0.
void FreeSharedBuffers();
