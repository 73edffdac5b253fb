#include "ladder/model/LadderTempFiles.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "core/ProgramImage.h"
#include "core/SequenceMatch.h"
#include "ladder/model/LadderConvert.h"
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
// converted: which of its instructions are still there, and where. The
// instructions before the first change and after the last are the same in
// both; between them, a diff of whole instructions finds those that survived
// any number of separate edits (a rung typed at the top, another deleted
// further down).
struct TCodeEdit {
    // Inserted plus deleted instructions the diff works out at most; past
    // them only the unchanged ends are found again (see MatchWithEnds).
    static constexpr std::size_t kMaxDifferences = 1000;

    std::uint32_t oldUsed = 0, newUsed = 0;
    const std::uint8_t* newCode = nullptr;         // held by the caller while the edit is used
    std::vector<std::uint32_t> starts, newStarts;  // instruction offsets of the old and the new code
    std::vector<std::int32_t> newIndex;            // per old instruction: its index in the new code, -1 gone
    std::vector<bool> oldLabel;                    // per old instruction: a P or I label
    std::vector<std::uint32_t> newNetworks;        // where the new code's networks begin, once a rung needs them
    bool networksCut = false;

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

    // The old code and the row places from the stamp file's lines. A place
    // written without its network's end (an older stamp) names the network's
    // first instruction alone.
    static void ParseStamp(const std::vector<std::string>& lines, std::vector<std::uint8_t>& old,
                           std::map<std::int32_t, TRowComment>& rowPlaces) {
        for (std::size_t k = 1; k < lines.size(); ++k) {
            const std::string& l = lines[k];
            if (l.rfind("R ", 0) == 0) {
                long row = 0, offset = 0, index = 0, end = 0;
                const int fields = std::sscanf(l.c_str(), "R %ld %ld %ld %ld", &row, &offset, &index, &end);
                if (fields >= 3 && row >= 0 && offset >= 0 && index >= 0 && end >= 0)
                    rowPlaces[static_cast<std::int32_t>(row)] =
                        TRowComment{static_cast<std::int32_t>(row), {}, static_cast<std::uint32_t>(offset),
                                    static_cast<std::int32_t>(index), fields == 4 ? static_cast<std::uint32_t>(end) : 0};
            } else if (l.rfind("C ", 0) == 0 && l.size() % 2 == 0) {
                for (std::size_t i = 2; i + 1 < l.size(); i += 2) {
                    const auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
                    old.push_back(static_cast<std::uint8_t>(hex(l[i]) << 4 | hex(l[i + 1])));
                }
            }
        }
    }

    // False when `code` is another program: fewer than half the instructions
    // of either are found again in the other.
    bool Find(const std::vector<std::uint8_t>& old, const std::uint8_t* code, std::uint32_t used) {
        if (old.empty() || used == 0) return false;
        oldUsed = static_cast<std::uint32_t>(old.size());
        newUsed = used;
        newCode = code;
        starts = Starts(old.data(), oldUsed);
        newStarts = Starts(code, used);
        oldLabel.assign(starts.size(), false);
        for (std::size_t i = 0; i < starts.size(); ++i)
            if (starts[i] + 1 < oldUsed) oldLabel[i] = IsLabelWord(static_cast<std::uint16_t>(old[starts[i]] | old[starts[i] + 1] << 8));
        const std::size_t na = starts.size(), nb = newStarts.size();
        const auto endOf = [](const std::vector<std::uint32_t>& s, std::size_t i, std::uint32_t n) {
            return i + 1 < s.size() ? s[i + 1] : n;
        };
        const auto same = [&](std::size_t i, std::size_t j) {
            return SameInsn(old, starts[i], endOf(starts, i, oldUsed), code, newStarts[j], endOf(newStarts, j, used));
        };
        // Half of both programs found again takes at most this many
        // differences in the middle; more is another program.
        const auto limitOf = [](std::size_t p, std::size_t k, std::size_t n, std::size_t m) {
            return std::min(kMaxDifferences, p + k + std::min(n, m));
        };
        const TMatchedEnds ends = MatchWithEnds(na, nb, same, limitOf, newIndex);
        if (ends.middle) return true;
        // Too many differences to work out: the unchanged ends alone, when
        // they are half of both.
        const std::size_t kept = ends.prefix + ends.suffix;
        return 2 * kept >= na && 2 * kept >= nb;
    }
    // The index of the old instruction at offset `o`, or -1.
    std::ptrdiff_t IndexOf(std::uint32_t o) const {
        const auto at = std::lower_bound(starts.begin(), starts.end(), o);
        return at != starts.end() && *at == o ? at - starts.begin() : -1;
    }
    std::uint32_t NewOffset(std::size_t j) const { return j < newStarts.size() ? newStarts[j] : newUsed; }
    bool NewIsLabel(std::size_t j) const {
        return j < newStarts.size() && newStarts[j] + 1 < newUsed &&
               IsLabelWord(static_cast<std::uint16_t>(newCode[newStarts[j]] | newCode[newStarts[j] + 1] << 8));
    }
    // The new offset of the instruction at old offset `o` (the used length
    // maps to the used length); false when that instruction is gone.
    bool Map(std::uint32_t o, std::uint32_t& out) const {
        if (o == oldUsed) return out = newUsed, true;
        const std::ptrdiff_t i = IndexOf(o);
        if (i < 0 || newIndex[static_cast<std::size_t>(i)] < 0) return false;
        out = NewOffset(static_cast<std::size_t>(newIndex[static_cast<std::size_t>(i)]));
        return true;
    }
    // The first instruction of a rung comment's network in the new code, from
    // the old network's first instruction and the end of its last: the rung
    // is there while any instruction of it is. A network that came through
    // whole (nothing of it deleted, nothing put inside it) is found through
    // its first instruction; any other goes to the new network that holds the
    // last instruction still there, its output where that stayed, so that a
    // comment stays with the output it was written for when its contacts were
    // edited or the rung was split in two. An end not known (at most `first`)
    // is the first instruction's own: the comment follows that alone.
    bool MapRung(std::uint32_t first, std::uint32_t end, std::uint32_t& out) {
        const std::ptrdiff_t from = IndexOf(first);
        if (from < 0) return false;
        bool whole = true;
        std::ptrdiff_t last = -1, kept = -1;
        const std::size_t next = static_cast<std::size_t>(from) + 1;
        end = std::max(end, next < starts.size() ? starts[next] : oldUsed);
        for (std::size_t i = static_cast<std::size_t>(from); i < starts.size() && starts[i] < end; ++i) {
            if (newIndex[i] < 0) {
                whole = false;
                continue;
            }
            if (kept >= 0 && newIndex[i] != newIndex[static_cast<std::size_t>(kept)] + 1) whole = false;
            kept = static_cast<std::ptrdiff_t>(i);
            // A label left alone marks whatever rung now follows it: the rung
            // is there while one of its own instructions is.
            if (!oldLabel[i]) last = static_cast<std::ptrdiff_t>(i);
        }
        if (last < 0) return false;
        if (whole) {
            // Labels left standing before it (their own rung deleted) are
            // now part of its network, which begins with them.
            std::int32_t j = newIndex[static_cast<std::size_t>(from)];
            while (j > 0 && NewIsLabel(static_cast<std::size_t>(j - 1))) --j;
            out = NewOffset(static_cast<std::size_t>(j));
            return true;
        }
        if (!networksCut) {
            newNetworks = CodeNetworkStarts(newCode, newUsed);
            networksCut = true;
        }
        const std::uint32_t at = NewOffset(static_cast<std::size_t>(newIndex[static_cast<std::size_t>(last)]));
        const auto after = std::upper_bound(newNetworks.begin(), newNetworks.end(), at);
        if (after == newNetworks.begin()) return false;
        out = *(after - 1);
        return true;
    }
    // A block comment's new place: that of its instruction; where that
    // instruction is gone and was the first of its changed stretch, the
    // place where that stretch now begins: before the first instruction
    // that replaced it, or else the next one that stayed.
    bool MapBlock(std::uint32_t o, std::uint32_t& out) const {
        if (Map(o, out)) return true;
        const std::ptrdiff_t i = IndexOf(o);
        if (i < 0) return false;
        if (i == 0) return out = NewOffset(0), true;
        const std::int32_t before = newIndex[static_cast<std::size_t>(i - 1)];
        if (before < 0) return false;
        out = NewOffset(static_cast<std::size_t>(before) + 1);
        return true;
    }
};

}  // namespace

std::filesystem::path TCommentFilePaths::StampFile() const {
    std::filesystem::path p = blockFile;
    return p.replace_extension(".tck");
}

const std::string& CommentFilesRunToken() {
    static const std::string token = [] {
        std::random_device random;
        const std::uint64_t high = (std::uint64_t{random()} << 32) ^ random();
        const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        std::ostringstream s;
        s << std::hex << high << '-' << ::getpid() << '-' << (now ^ (std::uint64_t{random()} << 16));
        return s.str();
    }();
    return token;
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
                         TSavedComments& out, std::string_view owner) {
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
    if (!owner.empty() && std::none_of(stampLines.begin() + 1, stampLines.end(), [&](const std::string& l) {
            return l.size() == owner.size() + 2 && l.compare(0, 2, "O ") == 0 && l.compare(2, owner.size(), owner) == 0;
        }))
        return false;
    TCodeEdit edit;
    std::vector<std::uint8_t> old;
    std::map<std::int32_t, TRowComment> rowPlaces;
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
            if (place == rowPlaces.end() || !edit.MapRung(place->second.networkOffset, place->second.networkEnd, at))
                continue;
            moved.rows.push_back(TRowComment{-1, c.text, at, place->second.index});
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
        if (c.index < 0 || !edit.MapRung(c.networkOffset, c.networkEnd, at)) continue;
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
                                       std::int32_t index, std::uint32_t networkEnd) {
    if (!open_ || text.empty() || row < 0) return;
    row_ += std::to_string(row + 1) + "::";
    row_ += text;
    row_ += '\n';
    if (index >= 0)
        places_ += "R " + std::to_string(row) + ' ' + std::to_string(networkOffset) + ' ' + std::to_string(index) + ' ' +
                   std::to_string(networkEnd) + '\n';
}

bool TCommentFileWriter::Commit(const std::uint8_t* code, std::uint32_t used) {
    if (!open_) return false;
    open_ = false;
    // The places of the row comments, and the code itself, so that comments
    // can follow their instructions through an edit of the code.
    std::string stamp = StampText(code, used);
    if (!owner_.empty()) stamp += "O " + owner_ + '\n';
    stamp += places_ + "C ";
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
