#include "project/Fileio.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <system_error>
#include <unistd.h>

#include "project/Qelglobals.h"

namespace fs = std::filesystem;

namespace qelfile {

ReadResult ReadWholeFile(const fs::path& path, std::vector<std::uint8_t>& out) {
    out.clear();
    std::error_code ec;
    if (!fs::exists(path, ec)) return ec ? ReadResult::Unreadable : ReadResult::Missing;
    if (fs::is_directory(path, ec)) return ReadResult::Unreadable;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return ReadResult::Unreadable;
    std::uint8_t buf[65536];
    ReadResult result = ReadResult::Ok;
    for (;;) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, f);
        if (n > 0) {
            if (out.size() + n > kMaxFileBytes) {
                result = ReadResult::TooLarge;
                break;
            }
            out.insert(out.end(), buf, buf + n);
        }
        if (n < sizeof buf) {
            if (std::ferror(f)) result = ReadResult::Unreadable;
            break;
        }
    }
    std::fclose(f);
    if (result != ReadResult::Ok) out.clear();
    return result;
}

namespace {
// A name beside the target that no other writer uses at the same time.
fs::path TempNameFor(const fs::path& path) {
    static std::mt19937 rng{std::random_device{}()};
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.part", static_cast<unsigned>(rng()));
    fs::path tmp = path;
    tmp += suffix;
    return tmp;
}
}  // namespace

bool WriteTempBeside(const fs::path& path, std::string_view bytes, fs::path& tmp) {
    tmp = TempNameFor(path);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
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

bool KeepBackup(const fs::path& path, const fs::path& backup) {
    std::vector<std::uint8_t> old;
    switch (ReadWholeFile(path, old)) {
    case ReadResult::Missing: return true;
    case ReadResult::Ok: break;
    default: return false;
    }
    return WriteFileReplacing(backup, std::string_view(reinterpret_cast<const char*>(old.data()), old.size()));
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
