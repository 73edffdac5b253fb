#include "ladder/model/LadderTempFiles.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <system_error>

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
    constexpr std::uintmax_t kMaxStampBytes = 256;
    constexpr std::uintmax_t kMaxBlockFileBytes = 1u << 20;
    constexpr std::uintmax_t kMaxRowFileBytes = 8u << 20;
    std::vector<std::uint8_t> stamp;
    if (qelfile::ReadWholeFile(paths.StampFile(), stamp, kMaxStampBytes) != qelfile::ReadResult::Ok) return false;
    const std::vector<std::string> stampLines = qelfile::SplitLines(stamp);
    if (stampLines.empty() || stampLines[0] + '\n' != StampText(code, used)) return false;

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
    out = std::move(read);
    return true;
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

namespace {

// The writer fills siblings of the files and renames them into place only
// when the compile succeeded: the files of the code a failed compile restores
// stay as they were.
std::filesystem::path Pending(const std::filesystem::path& p) {
    std::filesystem::path n = p;
    return n += ".new";
}

}  // namespace

bool TCommentFileWriter::Open() {
    RemoveQuietly(Pending(paths_.blockFile));
    RemoveQuietly(Pending(paths_.rowFile));
    block_.open(Pending(paths_.blockFile), std::ios::binary | std::ios::trunc);
    row_.open(Pending(paths_.rowFile), std::ios::trunc);
    open_ = true;
    failed_ = false;
    if (!block_ || !row_) {
        Discard();
        return false;
    }
    return true;
}

void TCommentFileWriter::AddBlockComment(std::uint16_t offset, const std::uint8_t* row60) {
    if (!open_) return;
    char rec[kBlockCommentRecordBytes];
    rec[0] = static_cast<char>(offset & 0xFF);
    rec[1] = static_cast<char>(offset >> 8);
    std::memcpy(rec + 2, row60, 60);
    block_.write(rec, kBlockCommentRecordBytes);
    if (!block_) failed_ = true;
}

void TCommentFileWriter::AddRowComment(std::int32_t row, std::string_view text) {
    if (!open_ || text.empty() || row < 0) return;
    row_ << (row + 1) << "::" << text << '\n';
    if (!row_) failed_ = true;
}

bool TCommentFileWriter::Commit(const std::uint8_t* code, std::uint32_t used) {
    if (!open_) return false;
    block_.close();
    row_.close();
    if (failed_ || block_.fail() || row_.fail()) {
        Discard();
        return false;
    }
    const std::filesystem::path stampFile = paths_.StampFile();
    std::ofstream stamp(Pending(stampFile), std::ios::trunc);
    stamp << StampText(code, used);
    stamp.close();
    if (!stamp) {
        Discard();
        return false;
    }
    // The old stamp goes first and the new one comes last, so that no moment
    // has a stamp beside files of other code.
    RemoveQuietly(stampFile);
    std::error_code ec;
    std::filesystem::rename(Pending(paths_.blockFile), paths_.blockFile, ec);
    if (!ec) std::filesystem::rename(Pending(paths_.rowFile), paths_.rowFile, ec);
    if (!ec) std::filesystem::rename(Pending(stampFile), stampFile, ec);
    open_ = false;
    if (ec) {
        DiscardCommentFiles(paths_);
        RemoveQuietly(Pending(paths_.blockFile));
        RemoveQuietly(Pending(paths_.rowFile));
        RemoveQuietly(Pending(stampFile));
        return false;
    }
    return true;
}

void TCommentFileWriter::Discard() {
    if (block_.is_open()) block_.close();
    if (row_.is_open()) row_.close();
    RemoveQuietly(Pending(paths_.blockFile));
    RemoveQuietly(Pending(paths_.rowFile));
    RemoveQuietly(Pending(paths_.StampFile()));
    open_ = false;
}
