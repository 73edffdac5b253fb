#include "ladder/model/LadderTempFiles.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <cstring>
#include <sstream>
#include <string>
#include <system_error>

#include "core/ProgramImage.h"
#include "platform/Paths.h"
#include "project/Fileio.h"
#include "project/Qelglobals.h"

namespace {

constexpr const char* kStampTag = "QELSTAMP";

std::string StampText(const std::uint8_t* code, std::uint32_t used) {
    std::ostringstream s;
    s << kStampTag << ' ' << used << ' ' << std::hex << CodeStamp(code, used) << '\n';
    return s.str();
}

void RemoveQuietly(const std::filesystem::path& p) {
    std::error_code ec;
    if (!p.empty()) std::filesystem::remove(p, ec);
}

// How the code the comment files were written for became the code now
// converted: one stretch edited, the instructions before it (up to `prefixEnd`
// in both) and after it (from `oldSuffix` in the old, `newSuffix` in the new
// code) the same.
struct TCodeEdit {
    std::uint32_t prefixEnd = 0, oldSuffix = 0, newSuffix = 0, oldUsed = 0, newUsed = 0;

    static std::vector<std::uint32_t> Starts(const std::uint8_t* code, std::uint32_t used) {
        std::vector<std::uint32_t> s;
        for (std::uint32_t at = 0; at < used;) {
            s.push_back(at);
            const std::uint32_t next = NextInstructionOffset(at, code, used);
            if (next <= at) break;
            at = next;
        }
        return s;
    }
    static bool SameInsn(const std::vector<std::uint8_t>& a, std::uint32_t ao, std::uint32_t ae,
                         const std::uint8_t* b, std::uint32_t bo, std::uint32_t be) {
        return ae - ao == be - bo && std::equal(a.begin() + ao, a.begin() + ae, b + bo);
    }

    // The old code and the row places from the stamp file's lines.
    static void ParseStamp(const std::vector<std::string>& lines, std::vector<std::uint8_t>& old,
                           std::map<std::int32_t, std::pair<std::uint32_t, std::int32_t>>& rowPlaces) {
        for (std::size_t k = 1; k < lines.size(); ++k) {
            const std::string& l = lines[k];
            if (l.rfind("R ", 0) == 0) {
                long row = 0, offset = 0, index = 0;
                if (std::sscanf(l.c_str(), "R %ld %ld %ld", &row, &offset, &index) == 3 && row >= 0 && offset >= 0 &&
                    index >= 0)
                    rowPlaces[static_cast<std::int32_t>(row)] = {static_cast<std::uint32_t>(offset),
                                                                 static_cast<std::int32_t>(index)};
            } else if (l.rfind("C ", 0) == 0 && l.size() % 2 == 0) {
                for (std::size_t i = 2; i + 1 < l.size(); i += 2) {
                    const auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
                    old.push_back(static_cast<std::uint8_t>(hex(l[i]) << 4 | hex(l[i + 1])));
                }
            }
        }
    }

    bool Find(const std::vector<std::uint8_t>& old, const std::uint8_t* code, std::uint32_t used) {
        if (old.empty() || used == 0) return false;
        oldUsed = static_cast<std::uint32_t>(old.size());
        newUsed = used;
        const std::vector<std::uint32_t> a = Starts(old.data(), oldUsed), b = Starts(code, used);
        const auto endOf = [](const std::vector<std::uint32_t>& s, std::size_t i, std::uint32_t n) {
            return i + 1 < s.size() ? s[i + 1] : n;
        };
        std::size_t p = 0;
        while (p < a.size() && p < b.size() && a[p] == b[p] &&
               SameInsn(old, a[p], endOf(a, p, oldUsed), code, b[p], endOf(b, p, used)))
            ++p;
        std::size_t k = 0;
        while (k < a.size() - p && k < b.size() - p) {
            const std::size_t i = a.size() - 1 - k, j = b.size() - 1 - k;
            if (!SameInsn(old, a[i], endOf(a, i, oldUsed), code, b[j], endOf(b, j, used))) break;
            ++k;
        }
        // Another program is no edit of this one.
        if (2 * (p + k) < a.size() || 2 * (p + k) < b.size()) return false;
        prefixEnd = p < a.size() ? a[p] : oldUsed;
        oldSuffix = k > 0 ? a[a.size() - k] : oldUsed;
        newSuffix = k > 0 ? b[b.size() - k] : used;
        starts = a;
        return true;
    }
    // The new offset of the instruction at old offset `o` (the used length
    // maps to the used length); false when that instruction is gone.
    bool Map(std::uint32_t o, std::uint32_t& out) const {
        if (o == oldUsed) return out = newUsed, true;
        if (!std::binary_search(starts.begin(), starts.end(), o)) return false;
        if (o < prefixEnd) return out = o, true;
        if (o >= oldSuffix) return out = o - oldSuffix + newSuffix, true;
        return false;
    }
    // A block comment's new place: that of its instruction, or, where the
    // instruction it stood before was the first one edited, the same place
    // before whatever stands there now.
    bool MapBlock(std::uint32_t o, std::uint32_t& out) const {
        if (o == prefixEnd) return out = prefixEnd, true;
        return Map(o, out);
    }
    std::vector<std::uint32_t> starts;
};

}  // namespace

std::filesystem::path TCommentFilePaths::StampFile() const {
    std::filesystem::path p = blockFile;
    return p.replace_extension(".tck");
}

TCommentFilePaths ProgramCommentFiles() {
    const std::filesystem::path dir = qel::TempDir();
    TCommentFilePaths paths;
    paths.blockFile = dir / (gQel.TmsFileName.empty() ? std::string("ladder.tms") : gQel.TmsFileName);
    paths.rowFile = dir / (gQel.TmlFileName.empty() ? std::string("ladder.tml") : gQel.TmlFileName);
    return paths;
}

std::uint64_t CodeStamp(const std::uint8_t* code, std::uint32_t used) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint32_t i = 0; i < used; ++i) {
        h ^= code[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

bool LoadCommentFilesFor(const TCommentFilePaths& paths, const std::uint8_t* code, std::uint32_t used,
                         TSavedComments& out) {
    out = {};
    // Limits no file the ladder writes comes near (one record or line per
    // grid row): a larger or non-regular file in Temp is not ours.
    constexpr std::uintmax_t kMaxStampBytes = 1u << 20;
    constexpr std::uintmax_t kMaxBlockFileBytes = 1u << 20;
    constexpr std::uintmax_t kMaxRowFileBytes = 8u << 20;
    std::vector<std::uint8_t> stamp;
    if (qelfile::ReadWholeFile(paths.StampFile(), stamp, kMaxStampBytes) != qelfile::ReadResult::Ok) return false;
    const std::vector<std::string> stampLines = qelfile::SplitLines(stamp);
    if (stampLines.empty()) return false;
    TCodeEdit edit;
    std::vector<std::uint8_t> old;
    std::map<std::int32_t, std::pair<std::uint32_t, std::int32_t>> rowPlaces;
    const bool same = stampLines[0] + '\n' == StampText(code, used);
    if (!same) TCodeEdit::ParseStamp(stampLines, old, rowPlaces);
    if (!same && !edit.Find(old, code, used)) return false;

    TSavedComments read;
    std::vector<std::uint8_t> bytes;
    switch (qelfile::ReadWholeFile(paths.blockFile, bytes, kMaxBlockFileBytes)) {
    case qelfile::ReadResult::Ok:
        for (std::size_t at = 0; at + kBlockCommentRecordBytes <= bytes.size(); at += kBlockCommentRecordBytes) {
            TBlockCommentRecord r;
            r.offset = static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
            std::memcpy(r.row, bytes.data() + at + 2, sizeof r.row);
            read.blocks.push_back(r);
        }
        break;
    case qelfile::ReadResult::Missing: break;
    default: return false;
    }
    switch (qelfile::ReadWholeFile(paths.rowFile, bytes, kMaxRowFileBytes)) {
    case qelfile::ReadResult::Ok:
        for (const std::string& line : qelfile::SplitLines(bytes)) {
            const std::size_t sep = line.find("::");
            if (sep == std::string::npos) {
                // A comment that held a line break goes on on this line.
                if (!read.rows.empty()) read.rows.back().text += '\n' + line;
                continue;
            }
            const std::string number = line.substr(0, sep);
            char* end = nullptr;
            const long gridRow = std::strtol(number.c_str(), &end, 10);
            if (number.empty() || *end != '\0' || gridRow < 1 || gridRow > 1000000) continue;
            read.rows.push_back(TRowComment{static_cast<std::int32_t>(gridRow - 1), line.substr(sep + 2)});
        }
        break;
    case qelfile::ReadResult::Missing: break;
    default: return false;
    }
    if (!same) {
        // Through the edit: what stood before an instruction that is still
        // there goes with it; the rest is dropped.
        TSavedComments moved;
        for (TBlockCommentRecord b : read.blocks) {
            std::uint32_t at = 0;
            if (!edit.Map(b.offset, at) || at > 0xFFFF) continue;
            b.offset = static_cast<std::uint16_t>(at);
            moved.blocks.push_back(b);
        }
        for (const TRowComment& c : read.rows) {
            const auto place = rowPlaces.find(c.row);
            std::uint32_t at = 0;
            if (place == rowPlaces.end() || !edit.Map(place->second.first, at)) continue;
            moved.rows.push_back(TRowComment{-1, c.text, at, place->second.second});
        }
        if (moved.blocks.empty() && moved.rows.empty()) return false;
        read = std::move(moved);
    }
    out = std::move(read);
    return true;
}

TSavedComments MoveComments(const TCodeComments& from, const std::uint8_t* code, std::uint32_t used,
                            std::size_t& dropped) {
    dropped = 0;
    const std::size_t total = from.comments.blocks.size() + from.comments.rows.size();
    if (total == 0) return {};
    const bool same = from.code.size() == used && std::equal(from.code.begin(), from.code.end(), code);
    if (same) return from.comments;
    TCodeEdit edit;
    if (!edit.Find(from.code, code, used)) {
        dropped = total;
        return {};
    }
    TSavedComments moved;
    for (TBlockCommentRecord b : from.comments.blocks) {
        std::uint32_t at = 0;
        if (!edit.MapBlock(b.offset, at) || at > 0xFFFF) continue;
        b.offset = static_cast<std::uint16_t>(at);
        moved.blocks.push_back(b);
    }
    for (const TRowComment& c : from.comments.rows) {
        std::uint32_t at = 0;
        if (c.index < 0 || !edit.Map(c.networkOffset, at)) continue;
        moved.rows.push_back(TRowComment{-1, c.text, at, c.index});
    }
    dropped = total - moved.blocks.size() - moved.rows.size();
    return moved;
}

void DiscardCommentFiles(const TCommentFilePaths& paths) {
    RemoveQuietly(paths.StampFile());
    RemoveQuietly(paths.blockFile);
    RemoveQuietly(paths.rowFile);
}

TCommentFileWriter::TCommentFileWriter(TCommentFilePaths paths) : paths_(std::move(paths)) {}

TCommentFileWriter::~TCommentFileWriter() {
    if (open_) Discard();
}

bool TCommentFileWriter::Open() {
    block_.clear();
    row_.clear();
    places_.clear();
    open_ = true;
    return true;
}

void TCommentFileWriter::AddBlockComment(std::uint16_t offset, const std::uint8_t* row60) {
    if (!open_) return;
    block_.push_back(static_cast<char>(offset & 0xFF));
    block_.push_back(static_cast<char>(offset >> 8));
    block_.append(reinterpret_cast<const char*>(row60), 60);
}

void TCommentFileWriter::AddRowComment(std::int32_t row, std::string_view text, std::uint32_t networkOffset,
                                       std::int32_t index) {
    if (!open_ || text.empty() || row < 0) return;
    row_ += std::to_string(row + 1) + "::";
    row_ += text;
    row_ += '\n';
    if (index >= 0)
        places_ += "R " + std::to_string(row) + ' ' + std::to_string(networkOffset) + ' ' + std::to_string(index) + '\n';
}

bool TCommentFileWriter::Commit(const std::uint8_t* code, std::uint32_t used) {
    if (!open_) return false;
    open_ = false;
    // The places of the row comments, and the code itself, so that comments
    // can follow their instructions through an edit of the code.
    std::string stamp = StampText(code, used) + places_ + "C ";
    static const char kHex[] = "0123456789abcdef";
    for (std::uint32_t i = 0; i < used; ++i) {
        stamp += kHex[code[i] >> 4];
        stamp += kHex[code[i] & 15];
    }
    stamp += '\n';
    // Written as the project's files are: each new file created under a name
    // no one can foresee (never through a link someone stood in the folder),
    // then renamed into place. The old stamp goes first and the new one comes
    // last, so that no moment has a stamp beside files of other code.
    const std::filesystem::path stampFile = paths_.StampFile();
    RemoveQuietly(stampFile);
    const bool ok = qelfile::ReplaceFiles({{paths_.blockFile, std::move(block_)},
                                           {paths_.rowFile, std::move(row_)},
                                           {stampFile, std::move(stamp)}})
                        .ok;
    Discard();
    if (!ok) DiscardCommentFiles(paths_);
    return ok;
}

void TCommentFileWriter::Discard() {
    block_.clear();
    row_.clear();
    places_.clear();
    open_ = false;
}
