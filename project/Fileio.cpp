#include "project/Fileio.h"

#include <cerrno>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <random>
#include <system_error>
#include <unistd.h>

#include "project/Ladderstamp.h"
#include "project/Qelglobals.h"

namespace fs = std::filesystem;

namespace qelfile {

ReadResult ReadWholeFile(const fs::path& path, std::vector<std::uint8_t>& out, std::uintmax_t maxBytes) {
    out.clear();
    // Opened without waiting: a FIFO under the name would otherwise block the
    // open until some writer came. Only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return ReadResult::Unreadable;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadResult::NotRegular;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return ReadResult::TooLarge;
    }
    std::uint8_t buf[65536];
    ReadResult result = ReadResult::Ok;
    for (;;) {
        // One byte past the limit at most: it tells a file that grew past the
        // limit after the size was looked at, and no more of it is read.
        const std::uintmax_t room = maxBytes + 1 - out.size();
        const ssize_t n = ::read(fd, buf, static_cast<std::size_t>(std::min<std::uintmax_t>(sizeof buf, room)));
        if (n < 0) {
            if (errno == EINTR) continue;
            result = ReadResult::Unreadable;
            break;
        }
        if (n == 0) break;
        out.insert(out.end(), buf, buf + n);
        if (out.size() > maxBytes) {
            result = ReadResult::TooLarge;
            break;
        }
    }
    ::close(fd);
    if (result != ReadResult::Ok) out.clear();
    return result;
}

namespace {
// A name beside the target that no other writer uses at the same time:
// target + "." + 8 hex digits + kind (".part" new contents, ".keep" old).
fs::path TempNameFor(const fs::path& path, const char* kind = ".part") {
    // Drawn from the system's random source each time: a name another user
    // could foresee would let them stand a file there first and stop the save.
    static std::random_device rng;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%s", static_cast<unsigned>(rng()), kind);
    fs::path tmp = path;
    tmp += suffix;
    return tmp;
}

// A TempNameFor name of `kind` under which nothing stands yet: a ".keep" a
// roll-back left is the only copy of a previous version, never written over.
fs::path FreeTempNameFor(const fs::path& path, const char* kind) {
    fs::path name = TempNameFor(path, kind);
    struct stat st {};
    for (int attempt = 0; attempt < 8 && ::lstat(name.c_str(), &st) == 0; ++attempt) name = TempNameFor(path, kind);
    return name;
}

}  // namespace

fs::path FreeKeptNameBeside(const fs::path& path) { return FreeTempNameFor(path, ".kept"); }

namespace {
// The kind (".part", ".keep") when `name` is `base` + one of TempNameFor's
// suffixes, else empty.
std::string TempKindOf(const std::string& name, const std::string& base) {
    if (name.size() != base.size() + 14 || name.compare(0, base.size(), base) != 0) return {};
    if (name[base.size()] != '.') return {};
    for (std::size_t i = base.size() + 1; i < base.size() + 9; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return {};
    const std::string kind = name.substr(base.size() + 9);
    return kind == ".part" || kind == ".keep" ? kind : std::string();
}

// Whether the ".keep" `keep` holds nothing but what stands under `target`:
// the link an interrupted save made to the file it was about to replace, or
// a copy of the same bytes.
bool KeepIsOfTarget(const fs::path& keep, const fs::path& target) {
    struct stat ks {}, ts {};
    if (::lstat(keep.c_str(), &ks) != 0 || ::lstat(target.c_str(), &ts) != 0 || !S_ISREG(ts.st_mode)) return false;
    if (ks.st_dev == ts.st_dev && ks.st_ino == ts.st_ino) return true;
    if (ks.st_size != ts.st_size) return false;
    std::vector<std::uint8_t> kept, there;
    return ReadWholeFile(keep, kept) == ReadResult::Ok && ReadWholeFile(target, there) == ReadResult::Ok &&
           kept == there;
}

// Temporary files of an earlier save stopped by a signal or a crash. A
// ".keep" that holds other contents than the file under its name stays: it
// is the previous version a roll-back could not put back (the failed save
// named it to the user), or the old file of a save stopped after its rename.
void RemoveStaleTemps(const std::vector<NewFile>& files) {
    std::vector<std::pair<fs::path, std::string>> bases;
    for (const NewFile& f : files) bases.emplace_back(f.path.parent_path(), f.path.filename().string());
    std::vector<fs::path> dirs;
    for (const auto& b : bases)
        if (std::find(dirs.begin(), dirs.end(), b.first) == dirs.end()) dirs.push_back(b.first);
    for (const fs::path& dir : dirs) {
        std::error_code ec;
        for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (!it->is_regular_file(ec)) continue;
            const std::string name = it->path().filename().string();
            for (const auto& b : bases) {
                if (b.first != dir) continue;
                const std::string kind = TempKindOf(name, b.second);
                if (kind.empty()) continue;
                if (kind == ".part" || KeepIsOfTarget(it->path(), dir / b.second)) {
                    std::error_code rm;
                    fs::remove(it->path(), rm);
                }
                break;
            }
        }
    }
}

RenameFunction gRename = &std::rename;
TempCreatedFunction gTempCreated = nullptr;
}  // namespace

void SetRenameFunction(RenameFunction f) { gRename = f ? f : &std::rename; }

void SetTempCreatedFunction(TempCreatedFunction f) { gTempCreated = f; }

Unreplaceable ReplaceRefusal(const fs::path& target) {
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    // The write bits are looked at as well as the access the system grants:
    // root passes every access check, yet a folder or file its owner made
    // read-only is a statement that it is not to be written.
    struct stat ds {};
    if (::stat(dir.c_str(), &ds) != 0 || !S_ISDIR(ds.st_mode) || (ds.st_mode & 0222) == 0 ||
        ::access(dir.c_str(), W_OK | X_OK) != 0)
        return Unreplaceable::Folder;
    struct stat ts {};
    if (::lstat(target.c_str(), &ts) != 0) return errno == ENOENT ? Unreplaceable::None : Unreplaceable::NotRegular;
    if (!S_ISREG(ts.st_mode)) return Unreplaceable::NotRegular;
    // In a sticky folder only the file's or the folder's owner may replace it.
    const uid_t me = ::geteuid();
    if ((ds.st_mode & S_ISVTX) && me != 0 && ts.st_uid != me && ds.st_uid != me) return Unreplaceable::OthersInSticky;
    // A rename over it would succeed in a writable folder: the file's own
    // mode is what says it must stay.
    if ((ts.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) return Unreplaceable::ReadOnly;
    return Unreplaceable::None;
}

namespace {
// What this run last read or wrote, by whole path. Files are also written
// off the GUI thread (the compile's hand-over files): the list is locked.
std::mutex gSeenLock;
std::map<std::string, SeenFile>& FilesSeen() {
    static std::map<std::string, SeenFile> seen;
    return seen;
}
std::string SeenKey(const fs::path& path) {
    std::error_code ec;
    const fs::path whole = fs::absolute(path, ec).lexically_normal();
    return ec ? path.string() : whole.string();
}
}  // namespace

SeenFile SeenFileOf(std::string_view bytes) {
    // The stamp the ladder file keeps of its code, over the file's bytes
    // (the readers take no file past 16 MiB), with the size beside it.
    return {bytes.size(), CodeImageStamp(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         static_cast<std::uint32_t>(bytes.size()))};
}

SeenFile SeenFileOf(const std::vector<std::uint8_t>& bytes) {
    return SeenFileOf(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void NoteFileSeen(const fs::path& path, const SeenFile& seen) {
    const std::string key = SeenKey(path);
    const std::lock_guard lock(gSeenLock);
    FilesSeen()[key] = seen;
}

void NoteFileSeen(const fs::path& path, const std::vector<std::uint8_t>& bytes) { NoteFileSeen(path, SeenFileOf(bytes)); }

namespace {
std::optional<SeenFile> LastSeen(const fs::path& path) {
    const std::string key = SeenKey(path);
    const std::lock_guard lock(gSeenLock);
    const auto it = FilesSeen().find(key);
    return it == FilesSeen().end() ? std::nullopt : std::optional<SeenFile>(it->second);
}
}  // namespace

DiskChange ChangeSinceSeen(const fs::path& path, const std::vector<std::uint8_t>* now) {
    if (!now) return DiskChange::Gone;
    const std::optional<SeenFile> seen = LastSeen(path);
    if (!seen) return DiskChange::Unseen;
    return SeenFileOf(*now) == *seen ? DiskChange::Same : DiskChange::Changed;
}

DiskChange ChangeSinceSeen(const fs::path& path) {
    std::vector<std::uint8_t> bytes;
    switch (ReadWholeFile(path, bytes)) {
    case ReadResult::Missing: return DiskChange::Gone;
    case ReadResult::Ok: return ChangeSinceSeen(path, &bytes);
    default: return LastSeen(path) ? DiskChange::Changed : DiskChange::Unseen;
    }
}

bool WriteTempBeside(const fs::path& path, std::string_view bytes, fs::path& tmp, int mode) {
    // Created exclusively: whatever stands under the name (a file, a link to
    // anywhere) makes the open fail rather than be written through.
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        tmp = TempNameFor(path);
        // Created no more open than it is to be: its contents are readable
        // only as the file they come from was, even before the mode is set.
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    mode >= 0 ? static_cast<mode_t>(mode) & 0666 : 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return false;
    if (gTempCreated) gTempCreated(path, tmp);
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    if (ok && mode >= 0 && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) ok = false;
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

bool WriteFileReplacing(const fs::path& path, std::string_view bytes, const fs::path& modeOf) {
    return ReplaceFiles({NewFile{path, std::string(bytes), modeOf}}).ok;
}

namespace {
// Permission bits of the file at `path`, -1 when there is none.
int ModeOfFile(const fs::path& path) {
    struct stat ts {};
    return !path.empty() && ::lstat(path.c_str(), &ts) == 0 && S_ISREG(ts.st_mode) ? static_cast<int>(ts.st_mode & 0777)
                                                                                     : -1;
}
}  // namespace

ReplaceOutcome ReplaceFiles(const std::vector<NewFile>& files) {
    ReplaceOutcome out;
    RemoveStaleTemps(files);
    struct Step {
        fs::path tmp, keep;
        bool renamed = false;
    };
    std::vector<Step> steps(files.size());
    auto cleanUp = [&] {
        for (Step& s : steps) {
            if (!s.tmp.empty()) ::unlink(s.tmp.c_str());
            if (!s.keep.empty()) ::unlink(s.keep.c_str());
        }
    };
    auto refuse = [&](const fs::path& p) {
        cleanUp();
        out.failedPath = p;
        return out;
    };
    for (const NewFile& f : files)
        if (ReplaceRefusal(f.path) != Unreplaceable::None) return refuse(f.path);
    // Every new file complete on disk (a full disk stops it here), with the
    // permission bits of the file whose contents it keeps, and no more than
    // those of the file it replaces (a private file stays private, and so
    // does its backup) ...
    for (std::size_t i = 0; i < files.size(); ++i) {
        // A file it replaces does not become more open either (another
        // project's private register data replaced by Save As).
        const int replaced = ModeOfFile(files[i].path);
        int mode = ModeOfFile(files[i].ModeOf);
        mode = mode < 0 ? replaced : replaced < 0 ? mode : mode & replaced;
        if (!WriteTempBeside(files[i].path, files[i].bytes, steps[i].tmp, mode)) {
            steps[i].tmp.clear();
            return refuse(files[i].path);
        }
    }
    // ... and every old one kept aside for a roll-back, before the first rename
    // (the last file's rename is never taken back: it needs none).
    for (std::size_t i = 0; i + 1 < files.size(); ++i) {
        struct stat ts {};
        if (::lstat(files[i].path.c_str(), &ts) != 0) continue;
        const fs::path keep = FreeTempNameFor(files[i].path, ".keep");
        if (::link(files[i].path.c_str(), keep.c_str()) == 0) {
            steps[i].keep = keep;
            continue;
        }
        std::vector<std::uint8_t> old;
        fs::path copy;
        if (ReadWholeFile(files[i].path, old) != ReadResult::Ok ||
            !WriteTempBeside(files[i].path, std::string_view(reinterpret_cast<const char*>(old.data()), old.size()),
                             copy, static_cast<int>(ts.st_mode & 0777)))
            return refuse(files[i].path);
        const fs::path keepCopy = FreeTempNameFor(files[i].path, ".keep");
        if (std::rename(copy.c_str(), keepCopy.c_str()) != 0) {
            ::unlink(copy.c_str());
            return refuse(files[i].path);
        }
        steps[i].keep = keepCopy;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (gRename(steps[i].tmp.c_str(), files[i].path.c_str()) == 0) {
            steps[i].renamed = true;
            steps[i].tmp.clear();
            continue;
        }
        out.failedPath = files[i].path;
        // Roll back, newest first: the old file returns, or the new one that
        // had no predecessor goes.
        for (std::size_t j = i; j-- > 0;) {
            Step& s = steps[j];
            bool back;
            if (!s.keep.empty()) {
                back = gRename(s.keep.c_str(), files[j].path.c_str()) == 0;
                if (back) s.keep.clear();
            } else {
                back = ::unlink(files[j].path.c_str()) == 0;
            }
            if (!back) {
                out.unchanged = false;
                out.newFiles.push_back(files[j].path);
                if (!s.keep.empty()) {
                    out.oldKeptAs.push_back(s.keep);
                    s.keep.clear();  // the only copy of the old contents stays
                }
            }
        }
        cleanUp();
        return out;
    }
    cleanUp();  // the links to the old files
    for (const NewFile& f : files) NoteFileSeen(f.path, SeenFileOf(f.bytes));
    out.ok = true;
    return out;
}

bool ByteReader::Take(std::size_t n) {
    if (failed_ || pos_ > size_ || size_ - pos_ < n) {
        failed_ = true;
        return false;
    }
    return true;
}

std::uint8_t ByteReader::U8() {
    if (!Take(1)) return 0;
    return data_[pos_++];
}

std::uint16_t ByteReader::U16() {
    if (!Take(2)) return 0;
    const std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

std::uint32_t ByteReader::U32() {
    if (!Take(4)) return 0;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | data_[pos_ + static_cast<std::size_t>(i)];
    pos_ += 4;
    return v;
}

bool ByteReader::Bytes(void* dst, std::size_t n) {
    if (!Take(n)) return false;
    if (n) std::memcpy(dst, data_ + pos_, n);
    pos_ += n;
    return true;
}

void ByteReader::Seek(std::size_t pos) {
    if (pos > size_) failed_ = true;
    else pos_ = pos;
}

void PutU16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void PutU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutHeader(std::string& out, int family, int capacityIndex, const std::string& title) {
    const std::size_t start = out.size();
    PutU16(out, kProgramVersion);
    PutU16(out, static_cast<std::uint16_t>(family));
    PutU16(out, static_cast<std::uint16_t>(capacityIndex));
    out += CutUtf8(title, kHeaderTitleBytes);
    out.resize(start + kHeaderBytes, '\0');
}

Refusal ReadHeader(const std::vector<std::uint8_t>& bytes, FileHeader& h) {
    if (bytes.size() < kHeaderBytes) return Refusal::Short;
    ByteReader r(bytes);
    h.version = r.U16();
    h.family = r.U16();
    h.capacityIndex = r.U16();
    if (h.version != kProgramVersion) return Refusal::Foreign;
    if (h.family >= kModelFamilyCount || h.capacityIndex >= kCapacityCount) return Refusal::Corrupt;
    const char* t = reinterpret_cast<const char*>(bytes.data() + 6);
    h.title.assign(t, strnlen(t, kHeaderTitleBytes));
    if (!IsUtf8(h.title)) return Refusal::Corrupt;
    return Refusal::None;
}

namespace {
// Length of the well-formed UTF-8 character at s[i], or 0 when there is none;
// `taken` gets the bytes of its longest well-formed beginning (at least 1).
// Overlong forms, surrogates and values past U+10FFFF are no characters.
std::size_t Utf8CharAt(std::string_view s, std::size_t i, std::size_t& taken) {
    const auto c = static_cast<unsigned char>(s[i]);
    taken = 1;
    if (c < 0x80) return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        if (i + k >= s.size()) return 0;
        const auto d = static_cast<unsigned char>(s[i + k]);
        if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return 0;
        taken = k + 1;
    }
    return len;
}
}  // namespace

bool IsUtf8(std::string_view s) {
    std::size_t taken;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8CharAt(s, i, taken);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string ToValidUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    std::size_t taken;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8CharAt(s, i, taken);
        if (len) {
            out.append(s.substr(i, len));
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            i += taken;
        }
    }
    return out;
}

std::string CutUtf8(const std::string& s, std::size_t maxBytes) {
    if (s.size() <= maxBytes) return s;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

std::string EscapeLine(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

bool UnescapeLine(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size()) return false;
        switch (s[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return false;
        }
    }
    return true;
}

std::vector<std::string> SplitLines(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> lines;
    std::string cur;
    for (std::uint8_t b : bytes) {
        if (b == '\n') {
            if (!cur.empty() && cur.back() == '\r') cur.pop_back();
            lines.push_back(std::move(cur));
            cur.clear();
        } else {
            cur.push_back(static_cast<char>(b));
        }
    }
    if (!cur.empty()) lines.push_back(std::move(cur));
    return lines;
}

}  // namespace qelfile
