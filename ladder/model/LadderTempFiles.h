#pragma once
// The two temporary files through which a compile of the ladder hands its
// block-comment rows and row comments to the next code-to-ladder conversion,
// so that comments survive the way from ladder to code and back.
//
//   ".tms"  binary; records of 62 bytes, no header: u16 little-endian code
//           offset in bytes (the instruction before which the row stands; the
//           used length for a row after the last network), then the 60-byte
//           block-comment row exactly as in the grid. Records stand in row
//           order, i.e. ascending offset.
//   ".tml"  text; one line per commented row: the row-comment grid row (ladder
//           row + 1) in decimal, "::", the comment text, line feed. A line
//           without "::" continues the comment of the line before it.
//
// A third file beside them, the stamp (".tck"), names the code the two files
// belong to: "QELSTAMP <used bytes> <hash>" of the code the compile produced,
// then "R <row> <network offset> <index> <network end>" per row comment of a
// network (a stamp without the end names the first instruction alone), then
// "C <hex>", the code itself. A conversion reads the comment files as they
// stand when the stamp names exactly the code it converts, and through the
// edits when the code came from that code by edits that left at least half of
// its instructions in place; so comments left by a failed compile or from
// before a read from the PLC are never merged into unrelated code. A stamp may
// also name whom the files are for, on a line "O <owner>": the program's own
// files name this run of the program, the project and the ladder they were
// written from (ProgramCommentFilesOwner), and are read for no other.
// TCommentFileWriter writes the stamp last, only when the compile succeeded.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// One ".tms" record.
struct TBlockCommentRecord {
    std::uint16_t offset = 0;    // code byte offset the row stands before
    std::uint8_t row[60] = {};   // the block-comment row (byte 0 has flag 0x10)
};

constexpr int kBlockCommentRecordBytes = 62;

// One row comment: the ladder row (0-based) and its text. A comment read back
// for code that changed since it was written (an instruction-list edit) is
// placed by its network instead: row -1, row `index` of the network whose
// first instruction stands at code offset `networkOffset`. Where comments are
// tied to code, `networkEnd` is the offset past that network's last
// instruction: the rung a comment follows through an edit; at most
// `networkOffset` when not known (the first instruction alone).
struct TRowComment {
    std::int32_t row = 0;
    std::string text;
    std::uint32_t networkOffset = 0;
    std::int32_t index = -1;
    std::uint32_t networkEnd = 0;
    bool operator==(const TRowComment&) const = default;
};

// Where the three files of one ladder lie.
struct TCommentFilePaths {
    std::filesystem::path blockFile;  // ".tms"
    std::filesystem::path rowFile;    // ".tml"
    // The stamp file: blockFile with the extension ".tck".
    std::filesystem::path StampFile() const;
};

// The files of the program's ladder: the shell's ".tms" and ".tml" names in the
// install folder's Temp/ sub-folder (qel::TempDir()).
TCommentFilePaths ProgramCommentFiles();

// The comments read back for one conversion.
struct TSavedComments {
    std::vector<TBlockCommentRecord> blocks;  // in file order
    std::vector<TRowComment> rows;            // in file order
};

// A token of this run of the program that no other run has, even one sharing
// the install folder and its Temp/ (so neither reads the other's files).
const std::string& CommentFilesRunToken();

// Stamp of a program's code: FNV-1a 64 over its first `used` bytes.
std::uint64_t CodeStamp(const std::uint8_t* code, std::uint32_t used);

// Reads the comment files into `out` when the stamp names this code (the first
// `used` bytes of `code`). When the stamp names code this code came from by
// edits in any number of places (at least half of the instructions of both
// are found again in the other, in order: the same instructions before the
// first change and after the last, and between them those a diff of whole
// instructions matches; past 1000 instructions inserted and deleted between
// them, only those of the unchanged ends), the comments follow their
// instructions: a block comment stays before its instruction; a row comment
// goes with its rung (its network's instructions): while any of them is still
// there it keeps its row in the new network that holds them (the one with the
// last of them, the rung's output where it stayed, when they fell apart), else
// that network's first row. Those whose instruction or rung is gone are
// dropped. Returns false and leaves `out` empty when there is no stamp, it
// names other code, or a file is unreadable, is no regular file or is larger
// than any the ladder writes; a short trailing ".tms" record is ignored.
// Row-comment lines are read whole, of any length. With an `owner`, only
// files whose stamp names that owner are read (see TCommentFileWriter::SetOwner).
bool LoadCommentFilesFor(const TCommentFilePaths& paths, const std::uint8_t* code, std::uint32_t used,
                         TSavedComments& out, std::string_view owner = {});

// Comments tied to the code they stand in: each block comment with the offset
// of the instruction it stands before, each row comment with the offset of its
// network's first instruction and its row's place in that network (index).
struct TCodeComments {
    std::vector<std::uint8_t> code;  // the code (its used bytes)
    TSavedComments comments;
};

// The comments of `from` carried onto `code` (first `used` bytes): all of them
// when it is from.code; through its edits as LoadCommentFilesFor carries the
// files' comments, except that a block comment whose instruction is gone and
// was the first of its changed stretch keeps its place there (before the first
// instruction that replaced the stretch, or the next one that stayed); none
// when `code` is no such edit of from.code. `dropped` counts the comments left
// without a place.
TSavedComments MoveComments(const TCodeComments& from, const std::uint8_t* code, std::uint32_t used,
                            std::size_t& dropped);

// Removes the three files; missing files are no error.
void DiscardCommentFiles(const TCommentFilePaths& paths);

// Gathers the comment files during a compile. Open() starts them empty;
// Commit() writes them with the stamp for the code produced, each created
// exclusively beside its name and renamed over it, so that nothing is written
// through a link standing in the folder. Discard(), or destroying a writer
// that was not committed, drops what was gathered: after a failed compile the
// files of the code that stays are as they were.
class TCommentFileWriter {
public:
    explicit TCommentFileWriter(TCommentFilePaths paths);
    ~TCommentFileWriter();
    TCommentFileWriter(const TCommentFileWriter&) = delete;
    TCommentFileWriter& operator=(const TCommentFileWriter&) = delete;

    // Starts both files (nothing is written before Commit); true.
    bool Open();
    // Appends a ".tms" record for a block-comment row standing before `offset`.
    void AddBlockComment(std::uint16_t offset, const std::uint8_t* row60);
    // Appends a ".tml" line for the comment of ladder row `row`; empty texts are
    // skipped. `networkOffset`, `networkEnd` and `index` name the row's
    // network (code offsets of its first instruction and past its last) and
    // the row's place in it (-1: no network), so that the comment can follow
    // an edit of the code.
    void AddRowComment(std::int32_t row, std::string_view text, std::uint32_t networkOffset = 0,
                       std::int32_t index = -1, std::uint32_t networkEnd = 0);
    // Writes the files and the stamp of `code` (first `used` bytes). False,
    // with the files removed, when anything failed to write.
    bool Commit(const std::uint8_t* code, std::uint32_t used);
    // Drops what was gathered; the files on disk stay as they are.
    void Discard();
    // Whom the files are for (one line, no line break): the stamp names it.
    void SetOwner(std::string owner) { owner_ = std::move(owner); }

private:
    TCommentFilePaths paths_;
    std::string owner_;
    std::string block_, row_;  // the ".tms" and ".tml" contents
    std::string places_;       // "R row offset index end" lines of the stamp file
    bool open_ = false;
};
