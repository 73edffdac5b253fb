#pragma once
// Byte-level helpers for the project files: whole-file reads with a size
// limit, a bounds-checked little-endian reader, the common 128-byte header and
// the replace-by-rename writer that never leaves a half-written file behind.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qelfile {

/// Outcome of reading a whole file. NotRegular: a folder, FIFO, device or
/// socket stands under the name; it is refused without reading (a FIFO would
/// wait for a writer for ever).
enum class ReadResult { Ok, Missing, Unreadable, TooLarge, NotRegular };

/// Largest file the readers accept (the biggest project file is far smaller).
inline constexpr std::uintmax_t kMaxFileBytes = 16u * 1024u * 1024u;

/// The one way the system reads a file it is handed: opens `path` without
/// waiting (a FIFO under the name is not waited on), refuses anything but a
/// regular file, and reads at most `maxBytes` + 1 bytes into `out`, so that a
/// file larger than the limit, or one that grows past it while it is read, is
/// refused as TooLarge without ever being held whole. `out` is empty unless Ok.
ReadResult ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out,
                         std::uintmax_t maxBytes = kMaxFileBytes);

/// Splits text bytes into lines at LF, dropping a CR before it; a last line
/// without LF is kept.
std::vector<std::string> SplitLines(const std::vector<std::uint8_t>& bytes);

/// A name beside `path` under which nothing stands, for contents a save keeps
/// aside and names to the user: `path` + "." + 8 hex digits + ".kept". No
/// save removes a file of that form.
std::filesystem::path FreeKeptNameBeside(const std::filesystem::path& path);

/// Replaces the one file `path` by `bytes` the way ReplaceFiles replaces a set:
/// the rules on the name, a new file created exclusively under an
/// unpredictable name beside it, flushed, then renamed over it. On any failure
/// `path` is untouched, no temporary file is left and false is returned.
/// `modeOf`: the file whose contents `bytes` keep (NewFile::ModeOf).
bool WriteFileReplacing(const std::filesystem::path& path, std::string_view bytes,
                        const std::filesystem::path& modeOf = {});

/// Writes `bytes` to a new file beside `path`, created exclusively under a
/// name no one can foresee (so a link planted beside the target is never
/// followed), and flushes it; its name comes back in `tmp`. `mode`: the
/// permission bits it gets (-1: the usual ones for a new file). False (and
/// no file left behind) on failure.
bool WriteTempBeside(const std::filesystem::path& path, std::string_view bytes, std::filesystem::path& tmp,
                     int mode = -1);

/// A file of a set and its new contents.
struct NewFile {
    std::filesystem::path path;
    std::string bytes;
    /// The file whose contents these are (the file a backup keeps, the file
    /// a copy carries): the new file is no more open than it, nor than the
    /// file it replaces. Empty, or no file there: the permission bits of the
    /// file replaced, else the usual ones of a new file.
    std::filesystem::path ModeOf = {};
};

/// Why a name cannot be replaced (ReplaceRefusal).
enum class Unreplaceable {
    None,
    /// The folder cannot be written, or is no folder.
    Folder,
    /// Something other than a regular file stands under the name.
    NotRegular,
    /// Another user's file in a folder with the sticky bit.
    OthersInSticky,
    /// The file is read-only: no write bit at all, or none for this user.
    ReadOnly,
};

/// Whether a rename may put a new file under `target`, judged by the modes
/// themselves: a file (or folder) without write bits counts as read-only
/// even for root, whom the system would let through.
Unreplaceable ReplaceRefusal(const std::filesystem::path& target);

/// What ReplaceFiles left on disk.
struct ReplaceOutcome {
    bool ok = false;
    /// The file whose check, write or rename failed.
    std::filesystem::path failedPath;
    /// True when every file is as it was before (always so when the failure
    /// came before the first rename, and after a complete roll-back).
    bool unchanged = true;
    /// After an incomplete roll-back: the files that hold their new contents,
    /// and where the old contents of those that could not be put back are.
    std::vector<std::filesystem::path> newFiles;
    std::vector<std::filesystem::path> oldKeptAs;
};

/// Replaces every file of `files` by its new contents, all or nothing as far
/// as the file system allows: removes temporary files an interrupted earlier
/// save left beside these names (a ".keep" only when it is, or holds the bytes
/// of, the file under its name: one of other contents is the only copy of a
/// previous version, which a failed roll-back named, and stays); checks that
/// every name can be replaced (ReplaceRefusal: a regular file that is not
/// read-only, or nothing, in a writable folder, not another user's file in a
/// sticky folder); writes every new file completely beside its target (with
/// the permission bits of its ModeOf file and of the file it replaces, those
/// both allow); keeps a link (or copy) of every old file; only then renames,
/// in order, and rolls back the renames done when a later one fails. Disk
/// full, a permission or a rename failure leave the old files in place.
ReplaceOutcome ReplaceFiles(const std::vector<NewFile>& files);

/// What this run last read or wrote in a file, so that a save replaces only
/// that (a project replaced since is saved over another's files only through
/// Save As, which asks): the size and a stamp of the bytes. Contents rather
/// than times: a second save within the clock's step, or a copy that keeps
/// the old time, is still seen, and a file touched without a change asks
/// nothing.
struct SeenFile {
    std::uintmax_t size = 0;
    std::uint64_t stamp = 0;
    bool operator==(const SeenFile&) const = default;
};
SeenFile SeenFileOf(std::string_view bytes);
SeenFile SeenFileOf(const std::vector<std::uint8_t>& bytes);

/// Notes that this run read `bytes` from `path`. ReplaceFiles notes what it
/// writes itself.
void NoteFileSeen(const std::filesystem::path& path, const SeenFile& seen);
void NoteFileSeen(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

/// How a file stands against what this run last read or wrote there.
enum class DiskChange {
    Gone,     ///< no file there now (writing it again replaces no one's work)
    Same,     ///< the bytes last read or written
    Changed,  ///< other bytes than those last read or written
    Unseen,   ///< a file this run never read or wrote
};
/// `now`: the file's bytes as just read, or null when there is none.
DiskChange ChangeSinceSeen(const std::filesystem::path& path, const std::vector<std::uint8_t>* now);
/// The same, reading the file (one that cannot be read counts as Changed).
DiskChange ChangeSinceSeen(const std::filesystem::path& path);

/// The rename ReplaceFiles uses (tests put a failing one in place).
using RenameFunction = int (*)(const char* from, const char* to);
void SetRenameFunction(RenameFunction f);

/// Called with the target and the new file's name as soon as a new file
/// beside it is created, before anything is written into it (tests look at
/// what the file is then); null: nothing is called.
using TempCreatedFunction = void (*)(const std::filesystem::path& target, const std::filesystem::path& tmp);
void SetTempCreatedFunction(TempCreatedFunction f);

/// Bounds-checked little-endian reader over a byte buffer: a read past the end
/// yields 0 and marks the reader failed, so a caller checks once at the end.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit ByteReader(const std::vector<std::uint8_t>& v) : ByteReader(v.data(), v.size()) {}

    std::uint8_t U8();
    std::uint16_t U16();
    std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
    std::uint32_t U32();
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    /// Copies `n` bytes into `dst`; false (and failed) when fewer remain.
    bool Bytes(void* dst, std::size_t n);
    void Seek(std::size_t pos);
    std::size_t Pos() const { return pos_; }
    std::size_t Remaining() const { return pos_ <= size_ ? size_ - pos_ : 0; }
    bool Failed() const { return failed_; }

private:
    bool Take(std::size_t n);
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

/// Little-endian appenders.
void PutU16(std::string& out, std::uint16_t v);
void PutU32(std::string& out, std::uint32_t v);

/// Size of the common header of the binary project files.
inline constexpr std::size_t kHeaderBytes = 128;
/// Bytes of the title field of the header (offset 6).
inline constexpr std::size_t kHeaderTitleBytes = 60;

/// The common header: version word, family, capacity index, title.
struct FileHeader {
    std::uint16_t version = 0;
    std::uint16_t family = 0;
    std::uint16_t capacityIndex = 0;
    std::string title;
};

/// Appends a 128-byte header: u16 version 206, u16 family, u16 capacity index,
/// the title cut to 60 bytes on a character boundary and NUL-padded, zeros.
void PutHeader(std::string& out, int family, int capacityIndex, const std::string& title);

/// Why a header or file was refused.
enum class Refusal { None, Short, Foreign, Corrupt, OtherModel };

/// Reads and checks a header: Short under 128 bytes, Foreign for another
/// version word, Corrupt for a family or capacity index out of range or a
/// title that is not UTF-8.
Refusal ReadHeader(const std::vector<std::uint8_t>& bytes, FileHeader& h);

/// True when `s` is well-formed UTF-8.
bool IsUtf8(std::string_view s);

/// `s` as well-formed UTF-8: each byte sequence that is not (the longest
/// beginning of a character that cannot be completed, or a stray byte)
/// becomes one U+FFFD replacement character.
std::string ToValidUtf8(std::string_view s);

/// Cuts `s` to at most `maxBytes` without splitting a UTF-8 character.
std::string CutUtf8(const std::string& s, std::size_t maxBytes);

/// Escapes backslash, tab, CR and LF so a text fits on one line of a text file.
std::string EscapeLine(std::string_view s);
/// Reverses EscapeLine; false for a dangling or unknown escape.
bool UnescapeLine(std::string_view s, std::string& out);

}  // namespace qelfile
