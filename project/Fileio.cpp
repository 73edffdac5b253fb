#include "project/Fileio.h"

#include <cerrno>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <random>
#include <system_error>
#include <unistd.h>

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
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            result = ReadResult::Unreadable;
            break;
        }
        if (n == 0) break;
        // The file may grow while it is read: the limit holds for what is read.
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            result = ReadResult::TooLarge;
            break;
        }
        out.insert(out.end(), buf, buf + n);
    }
    ::close(fd);
    if (result != ReadResult::Ok) out.clear();
    return result;
}

namespace {
// A name beside the target that no other writer uses at the same time:
// target + "." + 8 hex digits + kind (".part" new contents, ".keep" old).
fs::path TempNameFor(const fs::path& path, const char* kind = ".part") {
    static std::mt19937 rng{std::random_device{}()};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x%s", static_cast<unsigned>(rng()), kind);
    fs::path tmp = path;
    tmp += suffix;
    return tmp;
}

// True when `name` is `base` + one of TempNameFor's suffixes.
bool IsTempNameOf(const std::string& name, const std::string& base) {
    if (name.size() != base.size() + 14 || name.compare(0, base.size(), base) != 0) return false;
    if (name[base.size()] != '.') return false;
    for (std::size_t i = base.size() + 1; i < base.size() + 9; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    const std::string kind = name.substr(base.size() + 9);
    return kind == ".part" || kind == ".keep";
}

// Temporary files of an earlier save stopped by a signal or a crash.
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
            for (const auto& b : bases)
                if (b.first == dir && IsTempNameOf(name, b.second)) {
                    std::error_code rm;
                    fs::remove(it->path(), rm);
                    break;
                }
        }
    }
}

// Whether a rename could put a new file under `target`.
bool CanReplace(const fs::path& target) {
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    struct stat ds {};
    if (::stat(dir.c_str(), &ds) != 0 || ::access(dir.c_str(), W_OK | X_OK) != 0) return false;
    struct stat ts {};
    if (::lstat(target.c_str(), &ts) != 0) return errno == ENOENT;
    if (!S_ISREG(ts.st_mode)) return false;
    // In a sticky folder only the file's or the folder's owner may replace it.
    const uid_t me = ::geteuid();
    if ((ds.st_mode & S_ISVTX) && me != 0 && ts.st_uid != me && ds.st_uid != me) return false;
    return true;
}

RenameFunction gRename = &std::rename;
}  // namespace

void SetRenameFunction(RenameFunction f) { gRename = f ? f : &std::rename; }

bool WriteTempBeside(const fs::path& path, std::string_view bytes, fs::path& tmp) {
    tmp = TempNameFor(path);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

bool CommitTemp(const fs::path& tmp, const fs::path& path) {
    if (std::rename(tmp.c_str(), path.c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    return false;
}

bool WriteFileReplacing(const fs::path& path, std::string_view bytes) {
    fs::path tmp;
    return WriteTempBeside(path, bytes, tmp) && CommitTemp(tmp, path);
}

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
        if (!CanReplace(f.path)) return refuse(f.path);
    // Every new file complete on disk (a full disk stops it here) ...
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!WriteTempBeside(files[i].path, files[i].bytes, steps[i].tmp)) {
            steps[i].tmp.clear();
            return refuse(files[i].path);
        }
    // ... and every old one kept aside for a roll-back, before the first rename.
    for (std::size_t i = 0; i < files.size(); ++i) {
        struct stat ts {};
        if (::lstat(files[i].path.c_str(), &ts) != 0) continue;
        const fs::path keep = TempNameFor(files[i].path, ".keep");
        if (::link(files[i].path.c_str(), keep.c_str()) == 0) {
            steps[i].keep = keep;
            continue;
        }
        std::vector<std::uint8_t> old;
        fs::path copy;
        if (ReadWholeFile(files[i].path, old) != ReadResult::Ok ||
            !WriteTempBeside(files[i].path, std::string_view(reinterpret_cast<const char*>(old.data()), old.size()),
                             copy))
            return refuse(files[i].path);
        const fs::path keepCopy = TempNameFor(files[i].path, ".keep");
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

bool IsUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len;
        std::uint32_t cp;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
        else return false;
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text.
        static constexpr std::uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
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
