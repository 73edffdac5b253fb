#include "project/Projectfiles.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "platform/Messages.h"
#include "platform/Paths.h"
#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "project/Commentrules.h"
#include "project/Chartstamp.h"
#include "project/Fileio.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"

namespace fs = std::filesystem;
using qelfile::ByteReader;
using qelfile::FileHeader;
using qelfile::Refusal;

namespace {

// First line of the text files of the set: tag, version, family.
constexpr const char* kRcmTag = "QELRCM";
constexpr const char* kLmtTag = "QELLMT";

// Highest kind code of a ladder cell ("Comp_Ry").
constexpr int kMaxCellKind = 14;

bool IsBlockCommentRow(const std::uint8_t* row) { return (row[0] & 0xF0) == 0x10; }

bool IsRowEmpty(const std::uint8_t* row) {
    return std::all_of(row, row + kLadderRowBytes, [](std::uint8_t b) { return b == 0; });
}

// Highest non-empty row of the program ladder, -1 when it is empty.
int LastUsedLadderRow() {
    for (int r = kLadderRows - 1; r >= 0; --r)
        if (!IsRowEmpty(gLadderRows + static_cast<std::size_t>(r) * kLadderRowBytes)) return r;
    return -1;
}

// Everything read from a file set, applied only once the whole set is accepted.
struct Staged {
    int family = 0;
    int capacityIndex = 0;
    std::string title;
    std::vector<std::uint8_t> image;

    bool hasLad = false;
    bool ladStamped = false;      // the ladder file names the code its rows belong to
    std::uint64_t ladStamp = 0;
    // The label, rung-comment and block-comment files the ladder file was
    // written with (stamps of their bytes); 0: a file written before these
    // stamps existed.
    std::uint64_t ladLabStamp = 0, ladLmtStamp = 0, ladSmtStamp = 0;
    // Stamps of the bytes of those files as read.
    std::uint64_t labStamp = 0, lmtStamp = 0, smtStamp = 0;
    std::int32_t ladRows = 0;
    std::vector<std::uint8_t> ladder;
    std::vector<std::uint8_t> commentRows;  // rows of a ladder file of other code (gCommentLadderRows)

    bool hasLab = false;
    std::array<std::int32_t, kPLabelCount> pLabels{};
    std::array<std::int32_t, kILabelCount> iLabels{};

    bool hasRcm = false;
    bool rcmHasTitle = false;
    std::string rcmTitle, company, designer;
    std::vector<std::tuple<int, int, std::string>> comments;  // list, number, text

    bool hasLmt = false;
    std::vector<std::pair<int, std::string>> rungComments;

    bool hasSmt = false;
    std::vector<std::pair<int, std::array<std::uint8_t, kLadderRowBytes>>> blockComments;

    bool hasDev = false;
    std::int32_t devCount = 0;
    std::array<TDevMoniEntry, kDevMoniMaxEntries> dev{};

    bool hasSfc = false;
    std::uint64_t sfcProgramStamp = 0, sfcCodeStamp = 0, sfcChartStamp = 0;  // 0: a file without stamps
    std::int32_t sfcRows = 0;
    std::vector<std::uint8_t> sfcGrid;
    std::vector<TSfcCodeRec> sfcRecords;
};

// ----- binary siblings -------------------------------------------------------

std::uint64_t ReadU64(ByteReader& rd) {
    const std::uint64_t low = rd.U32();
    return low | static_cast<std::uint64_t>(rd.U32()) << 32;
}

// Checks the common header of a sibling against the program's family.
Refusal SiblingHeader(const std::vector<std::uint8_t>& bytes, int family) {
    FileHeader h;
    const Refusal r = qelfile::ReadHeader(bytes, h);
    if (r != Refusal::None) return r;
    return h.family == family ? Refusal::None : Refusal::OtherModel;
}

// A file is exactly `expected` bytes long.
Refusal ExactSize(std::size_t have, std::size_t expected) {
    if (have < expected) return Refusal::Short;
    return have == expected ? Refusal::None : Refusal::Corrupt;
}

Refusal ParseKzp(const std::vector<std::uint8_t>& bytes, Staged& st) {
    FileHeader h;
    if (const Refusal r = qelfile::ReadHeader(bytes, h); r != Refusal::None) return r;
    ByteReader rd(bytes);
    rd.Seek(qelfile::kHeaderBytes);
    const std::uint32_t length = rd.U32();
    if (rd.Failed()) return Refusal::Short;
    if (length != ProgramCapacityOf(h.capacityIndex)) return Refusal::Corrupt;
    if (const Refusal r = ExactSize(bytes.size(), qelfile::kHeaderBytes + 4 + length); r != Refusal::None) return r;
    st.family = h.family;
    st.capacityIndex = h.capacityIndex;
    st.title = h.title;
    st.image.assign(bytes.begin() + qelfile::kHeaderBytes + 4, bytes.end());
    return Refusal::None;
}

// Where the `.lad` header keeps the stamp of the code (u64, spare header bytes),
// then the stamps of the label, rung-comment and block-comment files saved
// with it (u64 each).
constexpr std::size_t kLadStampOffset = 66;
constexpr std::size_t kLadSetStampOffset = 74;

// The stamp of a file's bytes, never 0 (0 stands for "none recorded").
std::uint64_t FileBytesStamp(const std::uint8_t* bytes, std::size_t size) {
    const std::uint64_t h = CodeImageStamp(bytes, static_cast<std::uint32_t>(size));
    return h ? h : 1;
}
std::uint64_t FileBytesStamp(const std::vector<std::uint8_t>& bytes) { return FileBytesStamp(bytes.data(), bytes.size()); }
std::uint64_t FileBytesStamp(const std::string& bytes) {
    return FileBytesStamp(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

Refusal ParseLad(const std::vector<std::uint8_t>& bytes, Staged& st) {
    if (const Refusal r = SiblingHeader(bytes, st.family); r != Refusal::None) return r;
    ByteReader rd(bytes);
    rd.Seek(qelfile::kHeaderBytes);
    const std::uint32_t rows = rd.U32();
    if (rd.Failed()) return Refusal::Short;
    if (rows > static_cast<std::uint32_t>(kLadderRows)) return Refusal::Corrupt;
    const std::size_t body = static_cast<std::size_t>(rows) * kLadderRowBytes;
    if (const Refusal r = ExactSize(bytes.size(), qelfile::kHeaderBytes + 4 + body); r != Refusal::None) return r;
    st.ladder.assign(bytes.begin() + qelfile::kHeaderBytes + 4, bytes.end());
    // The stamp of the code the rows belong to stands in the header's spare
    // bytes; zero (a file written before the stamp existed) names no code.
    rd.Seek(kLadStampOffset);
    st.ladStamp = ReadU64(rd);
    st.ladStamped = st.ladStamp != 0;
    rd.Seek(kLadSetStampOffset);
    st.ladLabStamp = ReadU64(rd);
    st.ladLmtStamp = ReadU64(rd);
    st.ladSmtStamp = ReadU64(rd);
    for (std::uint32_t r = 0; r < rows; ++r) {
        const std::uint8_t* row = st.ladder.data() + static_cast<std::size_t>(r) * kLadderRowBytes;
        if (IsBlockCommentRow(row)) continue;
        for (int c = 0; c < 12; ++c)
            if ((row[c * 5 + 1] >> 4) > kMaxCellKind) return Refusal::Corrupt;
    }
    st.ladRows = static_cast<std::int32_t>(rows);
    st.hasLad = true;
    return Refusal::None;
}

Refusal ParseLab(const std::vector<std::uint8_t>& bytes, Staged& st) {
    if (const Refusal r = SiblingHeader(bytes, st.family); r != Refusal::None) return r;
    ByteReader rd(bytes);
    rd.Seek(qelfile::kHeaderBytes);
    const std::uint32_t pCount = rd.U32();
    const std::uint32_t iCount = rd.U32();
    if (rd.Failed()) return Refusal::Short;
    if (pCount != kPLabelCount || iCount != kILabelCount) return Refusal::Corrupt;
    const std::size_t expected = qelfile::kHeaderBytes + 8 + 4u * (kPLabelCount + kILabelCount);
    if (const Refusal r = ExactSize(bytes.size(), expected); r != Refusal::None) return r;
    auto take = [&](std::int32_t& v) {
        v = rd.I32();
        return v >= -1 && v < kLadderRows;
    };
    for (auto& v : st.pLabels)
        if (!take(v)) return Refusal::Corrupt;
    for (auto& v : st.iLabels)
        if (!take(v)) return Refusal::Corrupt;
    st.labStamp = FileBytesStamp(bytes);
    st.hasLab = true;
    return Refusal::None;
}

Refusal ParseSmt(const std::vector<std::uint8_t>& bytes, Staged& st) {
    if (const Refusal r = SiblingHeader(bytes, st.family); r != Refusal::None) return r;
    ByteReader rd(bytes);
    rd.Seek(qelfile::kHeaderBytes);
    const std::uint32_t count = rd.U32();
    if (rd.Failed()) return Refusal::Short;
    if (count > static_cast<std::uint32_t>(kLadderRows)) return Refusal::Corrupt;
    const std::size_t expected = qelfile::kHeaderBytes + 4 + static_cast<std::size_t>(count) * (4 + kLadderRowBytes);
    if (const Refusal r = ExactSize(bytes.size(), expected); r != Refusal::None) return r;
    st.blockComments.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t row = rd.U32();
        std::array<std::uint8_t, kLadderRowBytes> data{};
        rd.Bytes(data.data(), data.size());
        if (row >= static_cast<std::uint32_t>(kLadderRows) || !IsBlockCommentRow(data.data())) return Refusal::Corrupt;
        st.blockComments.emplace_back(static_cast<int>(row), data);
    }
    st.smtStamp = FileBytesStamp(bytes);
    st.hasSmt = true;
    return Refusal::None;
}

// The SFC chart: its grid rows and the element code records. Cells hold an
// element type 0-8 (line shapes 0-8) or 0xFF; records lie on cells of the
// types that carry code, one per cell.
constexpr std::uint32_t kSfcMaxRows = 65536;
constexpr std::uint32_t kSfcMaxRecordBytes = 65536;
// Where the `.sfc` header keeps the stamps of the program image, of the
// chart's code and of the chart itself when they last matched (three u64 in
// the spare header bytes).
constexpr std::size_t kSfcStampOffset = 66;

Refusal ParseSfc(const std::vector<std::uint8_t>& bytes, Staged& st) {
    if (const Refusal r = SiblingHeader(bytes, st.family); r != Refusal::None) return r;
    ByteReader rd(bytes);
    rd.Seek(qelfile::kHeaderBytes);
    const std::uint32_t rows = rd.U32();
    if (rd.Failed()) return Refusal::Short;
    if (rows > kSfcMaxRows) return Refusal::Corrupt;
    const std::size_t gridBytes = static_cast<std::size_t>(rows) * kSfcRowBytes;
    if (bytes.size() < qelfile::kHeaderBytes + 8 + gridBytes) return Refusal::Short;
    std::vector<std::uint8_t> grid(gridBytes);
    rd.Bytes(grid.data(), grid.size());
    for (std::size_t i = 0; i < grid.size(); i += 4) {
        const std::uint8_t type = grid[i];
        if (type == 0xFF) continue;
        if (type > 8 || (type == 5 && grid[i + 1] > 8)) return Refusal::Corrupt;
    }
    const std::uint32_t count = rd.U32();
    if (rd.Failed()) return Refusal::Short;
    if (count > rows * 16u) return Refusal::Corrupt;
    std::vector<TSfcCodeRec> records;
    std::vector<std::uint8_t> taken(static_cast<std::size_t>(rows) * 16, 0);
    for (std::uint32_t i = 0; i < count; ++i) {
        TSfcCodeRec rec;
        rec.row = rd.I32();
        rec.col = rd.I32();
        const std::uint32_t length = rd.U32();
        if (rd.Failed() || length > rd.Remaining()) return Refusal::Short;
        if (rec.row < 0 || static_cast<std::uint32_t>(rec.row) >= rows || rec.col < 0 || rec.col > 60 || rec.col % 4 ||
            length > kSfcMaxRecordBytes || length % 2)
            return Refusal::Corrupt;
        const std::size_t cell = static_cast<std::size_t>(rec.row) * 16 + static_cast<std::size_t>(rec.col / 4);
        const std::uint8_t type = grid[cell * 4];
        if (taken[cell] || !(type == 0 || type == 1 || type == 2 || type == 4 || type == 8)) return Refusal::Corrupt;
        taken[cell] = 1;
        rec.code.resize(length);
        rd.Bytes(rec.code.data(), length);
        if (rd.Failed()) return Refusal::Short;
        records.push_back(std::move(rec));
    }
    if (rd.Pos() != bytes.size()) return Refusal::Corrupt;
    rd.Seek(kSfcStampOffset);
    st.sfcProgramStamp = ReadU64(rd);
    st.sfcCodeStamp = ReadU64(rd);
    st.sfcChartStamp = ReadU64(rd);
    st.sfcRows = static_cast<std::int32_t>(rows);
    st.sfcGrid = std::move(grid);
    st.sfcRecords = std::move(records);
    st.hasSfc = true;
    return Refusal::None;
}

// A monitor row name: a letter, then digits, zero-filled after a shorter name.
bool ValidMonitorName(const char (&name)[6]) {
    if (name[0] < 'A' || name[0] > 'Z') return false;
    std::size_t len = 1;
    while (len < 6 && name[len] != '\0') {
        if (name[len] < '0' || name[len] > '9') return false;
        ++len;
    }
    if (len < 2) return false;
    for (std::size_t k = len; k < 6; ++k)
        if (name[k] != '\0') return false;
    return true;
}

Refusal ParseDev(const std::vector<std::uint8_t>& bytes, Staged& st) {
    if (bytes.size() < 132) return Refusal::Short;
    ByteReader rd(bytes);
    if (rd.U16() != kProgramVersion) return Refusal::Foreign;
    if (rd.U16() != st.family) return Refusal::OtherModel;
    rd.Seek(128);
    const std::uint16_t recordSize = rd.U16();
    const std::int16_t count = rd.I16();
    if (recordSize != sizeof(TDevMoniEntry) || count < 0 || count > kDevMoniMaxEntries) return Refusal::Corrupt;
    if (const Refusal r = ExactSize(bytes.size(), 132 + sizeof(TDevMoniEntry) * static_cast<std::size_t>(count));
        r != Refusal::None)
        return r;
    st.dev = {};
    int listed = 0;
    for (int i = 0; i < count; ++i) {
        TDevMoniEntry e;
        rd.Bytes(&e, sizeof e);
        // A record without a name is a row left empty to type into (files
        // end their list with one): it lists no device.
        if (e.Name[0] == '\0') continue;
        if (!ValidMonitorName(e.Name)) return Refusal::Corrupt;
        st.dev[static_cast<std::size_t>(listed++)] = e;
    }
    st.devCount = listed;
    st.hasDev = true;
    return Refusal::None;
}

// ----- text siblings ---------------------------------------------------------


// Splits "key<TAB>escaped text" into key and text.
bool SplitKeyed(const std::string& line, std::string& key, std::string& text) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) return false;
    key = line.substr(0, tab);
    return qelfile::UnescapeLine(std::string_view(line).substr(tab + 1), text);
}

// Checks the text file's first line "TAG<TAB>206<TAB>family" and returns its lines.
Refusal TextHeader(const std::vector<std::uint8_t>& bytes, const char* tag, int family,
                   std::vector<std::string>& lines) {
    if (bytes.empty()) return Refusal::Short;
    std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!qelfile::IsUtf8(all) || all.find('\0') != std::string_view::npos) return Refusal::Foreign;
    lines = qelfile::SplitLines(bytes);
    const std::string expected = std::string(tag) + "\t" + std::to_string(kProgramVersion) + "\t";
    if (lines.empty() || lines[0].rfind(expected, 0) != 0) return Refusal::Foreign;
    const std::string fam = lines[0].substr(expected.size());
    if (fam.size() != 1 || fam[0] < '0' || fam[0] >= '0' + kModelFamilyCount) return Refusal::Corrupt;
    return fam[0] - '0' == family ? Refusal::None : Refusal::OtherModel;
}

Refusal ParseRcm(const std::vector<std::uint8_t>& bytes, Staged& st) {
    std::vector<std::string> lines;
    if (const Refusal r = TextHeader(bytes, kRcmTag, st.family, lines); r != Refusal::None) return r;
    st.comments.clear();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        std::string key, text;
        if (!SplitKeyed(lines[i], key, text)) return Refusal::Corrupt;
        if (key == "TITLE") {
            st.rcmTitle = text;
            st.rcmHasTitle = true;
        } else if (key == "COMPANY") {
            st.company = text;
        } else if (key == "DESIGNER") {
            st.designer = text;
        } else {
            int list, number;
            if (!ParseDeviceName(key, list, number)) return Refusal::Corrupt;
            // A file from elsewhere holds what it holds: its comments get the
            // rule every comment of the project keeps.
            st.comments.emplace_back(list, number, CleanComment(text, kDeviceCommentMaxBytes));
        }
    }
    st.hasRcm = true;
    return Refusal::None;
}

Refusal ParseLmt(const std::vector<std::uint8_t>& bytes, Staged& st) {
    std::vector<std::string> lines;
    if (const Refusal r = TextHeader(bytes, kLmtTag, st.family, lines); r != Refusal::None) return r;
    st.rungComments.clear();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        std::string key, text;
        if (!SplitKeyed(lines[i], key, text)) return Refusal::Corrupt;
        if (key.empty() || key.size() > 5 || !std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return Refusal::Corrupt;
        const int row = std::atoi(key.c_str());
        if (row >= kLadderRows) return Refusal::Corrupt;
        st.rungComments.emplace_back(row, std::move(text));
    }
    st.lmtStamp = FileBytesStamp(bytes);
    st.hasLmt = true;
    return Refusal::None;
}

// ----- writing ---------------------------------------------------------------

std::string BuildKzp() {
    std::string out;
    qelfile::PutHeader(out, gQel.Family, gQel.CapacityIndex, gQel.Title);
    qelfile::PutU32(out, gProgramCapacity);
    out.append(reinterpret_cast<const char*>(gProgram), gProgramCapacity);
    return out;
}

// `lab`, `lmt`, `smt`: the label, rung-comment and block-comment files saved
// with it, whose stamps it keeps.
std::string BuildLad(const std::string& lab, const std::string& lmt, const std::string& smt) {
    std::string out;
    qelfile::PutHeader(out, gQel.Family, gQel.CapacityIndex, gQel.Title);
    // Rows drawn from code that was changed since (typed in the instruction
    // list, say) hold nothing of the user's own: the ladder has no edits of
    // its own (ProgramOk). They are not kept, so that opening the project
    // draws the ladder from its code again without calling the file stale;
    // a ladder whose own edits are not in the code keeps its rows.
    const bool oldDrawing = gQel.ProgramOk && !LadderStandsForProgram();
    const int rows = oldDrawing ? 0 : LastUsedLadderRow() + 1;
    qelfile::PutU32(out, static_cast<std::uint32_t>(rows));
    out.append(reinterpret_cast<const char*>(gLadderRows), static_cast<std::size_t>(rows) * kLadderRowBytes);
    // The code the rows belong to: a stale ladder (the code was edited after
    // it was drawn) is saved with its own stamp and drawn again on opening.
    const std::uint64_t stamps[] = {gLadderStamp, FileBytesStamp(lab), FileBytesStamp(lmt), FileBytesStamp(smt)};
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t i = 0; i < 8; ++i) out[kLadStampOffset + 8 * k + i] = static_cast<char>(stamps[k] >> (8 * i));
    return out;
}

std::string BuildLab() {
    std::string out;
    qelfile::PutHeader(out, gQel.Family, gQel.CapacityIndex, gQel.Title);
    qelfile::PutU32(out, kPLabelCount);
    qelfile::PutU32(out, kILabelCount);
    for (std::int32_t v : gPLabelRows) qelfile::PutU32(out, static_cast<std::uint32_t>(v));
    for (std::int32_t v : gILabelRows) qelfile::PutU32(out, static_cast<std::uint32_t>(v));
    return out;
}

std::string BuildSmt() {
    std::string body;
    std::uint32_t count = 0;
    for (int r = 0; r < kLadderRows; ++r) {
        const std::uint8_t* row = gLadderRows + static_cast<std::size_t>(r) * kLadderRowBytes;
        if (!IsBlockCommentRow(row)) continue;
        qelfile::PutU32(body, static_cast<std::uint32_t>(r));
        body.append(reinterpret_cast<const char*>(row), kLadderRowBytes);
        ++count;
    }
    std::string out;
    qelfile::PutHeader(out, gQel.Family, gQel.CapacityIndex, gQel.Title);
    qelfile::PutU32(out, count);
    return out + body;
}

// The chart file; `oldDrawing`: the chart is only a drawing of other code
// (SfcChartIsOldDrawing, the question the SFC view asks before it shows it).
std::string BuildSfc(bool oldDrawing) {
    std::string out;
    qelfile::PutHeader(out, gQel.Family, gQel.CapacityIndex, gQel.Title);
    // A chart that is only a drawing of code changed since holds nothing of
    // the user's: it is saved without rows, so that opening draws it from the
    // code again without calling the file stale. A chart with edits of its
    // own keeps them, with the stamps of the code they were made on.
    if (oldDrawing) {
        qelfile::PutU32(out, 0);
        qelfile::PutU32(out, 0);
    } else {
        out += SfcChartBody();
    }
    const std::uint64_t stamps[] = {gSfcProgramStamp, gSfcCodeStamp, gSfcChartStamp};
    for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t i = 0; i < 8; ++i) out[kSfcStampOffset + 8 * k + i] = static_cast<char>(stamps[k] >> (8 * i));
    return out;
}

std::string TextFirstLine(const char* tag) {
    return std::string(tag) + "\t" + std::to_string(kProgramVersion) + "\t" + std::to_string(gQel.Family) + "\n";
}

// Device name of comment list `list`, number `number` (X and Y octal).
std::string CommentDeviceName(int list, int number) {
    return DeviceName(DeviceTypeFromLetter(kCommentLetters[list]), static_cast<std::uint32_t>(number));
}

std::string BuildRcm() {
    std::string out = TextFirstLine(kRcmTag);
    out += "TITLE\t" + qelfile::EscapeLine(gQel.Title) + "\n";
    out += "COMPANY\t" + qelfile::EscapeLine(gQel.Company) + "\n";
    out += "DESIGNER\t" + qelfile::EscapeLine(gQel.Designer) + "\n";
    for (int list = 0; list < kCommentListCount; ++list) {
        const auto& comments = gQel.DevComments[static_cast<std::size_t>(list)];
        for (std::size_t n = 0; n < comments.size(); ++n)
            if (!comments[n].empty())
                out += CommentDeviceName(list, static_cast<int>(n)) + "\t" + qelfile::EscapeLine(comments[n]) + "\n";
    }
    return out;
}

std::string BuildLmt() {
    std::string out = TextFirstLine(kLmtTag);
    const std::size_t rows = std::min<std::size_t>(gQel.RungComments.size(), kLadderRows);
    for (std::size_t r = 0; r < rows; ++r)
        if (!gQel.RungComments[r].empty())
            out += std::to_string(r) + "\t" + qelfile::EscapeLine(gQel.RungComments[r]) + "\n";
    return out;
}

// The rows that list a device, in their order: the monitor's rows left empty
// to type into hold nothing to keep (its window gives a list one again).
std::string BuildDev() {
    std::string records;
    int count = 0;
    for (int i = 0; i < std::clamp<std::int32_t>(gDevMoniEntryCount, 0, kDevMoniMaxEntries); ++i) {
        if (gDevMoniEntries[i].Name[0] == '\0') continue;
        records.append(reinterpret_cast<const char*>(&gDevMoniEntries[i]), sizeof(TDevMoniEntry));
        ++count;
    }
    std::string out;
    qelfile::PutU16(out, kProgramVersion);
    qelfile::PutU16(out, static_cast<std::uint16_t>(gQel.Family));
    out.resize(128, '\0');
    qelfile::PutU16(out, sizeof(TDevMoniEntry));
    qelfile::PutU16(out, static_cast<std::uint16_t>(count));
    return out + records;
}

// ----- reading ---------------------------------------------------------------

int RefusalMessage(Refusal r) {
    switch (r) {
    case Refusal::Short: return kMsgFileTooShort;
    case Refusal::Foreign: return kMsgFileNotProgram;
    case Refusal::OtherModel: return kMsgFileOtherModel;
    default: return kMsgFileCorrupt;
    }
}

// Shows message `id` followed by the file's path.
void ShowFileMsg(int id, const fs::path& path) {
    std::string detail(" ");
    detail += path.string();
    ShowMsg(id, detail);
}

enum class Outcome { Read, Missing, Refused };

// The files of a set as a read found them, noted as seen once the project
// they were read for is the open one.
using SeenFiles = std::vector<std::pair<fs::path, qelfile::SeenFile>>;

// Reads one file through `parse`; a refusal shows its message. What was read
// goes into `seen`, taken or not: a save replaces it without asking.
template <typename Parse>
Outcome ReadOne(const fs::path& path, Staged& st, Parse parse, SeenFiles& seen) {
    std::vector<std::uint8_t> bytes;
    Refusal r = Refusal::None;
    switch (qelfile::ReadWholeFile(path, bytes)) {
    case qelfile::ReadResult::Missing: return Outcome::Missing;
    case qelfile::ReadResult::Unreadable:
    case qelfile::ReadResult::NotRegular: r = Refusal::None; break;
    case qelfile::ReadResult::TooLarge: r = Refusal::Corrupt; break;
    case qelfile::ReadResult::Ok:
        seen.emplace_back(path, qelfile::SeenFileOf(bytes));
        r = parse(bytes, st);
        if (r == Refusal::None) return Outcome::Read;
        break;
    }
    ShowFileMsg(r == Refusal::None ? kMsgFileOpenFailed : RefusalMessage(r), path.string());
    return Outcome::Refused;
}

struct Sibling {
    const char* ext;
    Refusal (*parse)(const std::vector<std::uint8_t>&, Staged&);
};

constexpr Sibling kSiblings[] = {
    {".lad", ParseLad}, {".lab", ParseLab}, {".rcm", ParseRcm},
    {".lmt", ParseLmt}, {".smt", ParseSmt}, {".dev", ParseDev}, {".sfc", ParseSfc},
};

std::string StripExtension(const std::string& path) {
    fs::path p(path);
    p.replace_extension();
    return p.string();
}

// The backups a save keeps, by the file they keep.
struct Backup {
    const char* ext;
    const char* backup;
};
constexpr Backup kBackups[] = {
    {".kzp", ".kz~"}, {".lad", ".la~"}, {".lab", ".lb~"}, {".rcm", ".rc~"},
    {".lmt", ".lm~"}, {".smt", ".sm~"}, {".dev", ".dv~"}, {".sfc", ".sf~"},
};
// The files the register view and the template keep beside the program (and
// their backups): not written by the program's own save, yet a Save As onto
// the name replaces them with this project's values or removes them.
constexpr Backup kSideFiles[] = {{kRegisterFileExt, kRegisterBackupExt}, {kTemplateFileExt, kTemplateBackupExt}};

// Files of the open set that a message named as not taken (not read, or of
// other code), by whole path: the save that replaces one keeps it as its
// backup, where the user then looks for it.
std::set<std::string> sFilesNamed;
// Backups a save filled with such a file, or with another project's file a
// Save As replaced, by whole path, with what they were given: the next save
// keeps one that still holds it under another name rather than write over
// it, and says where. Backups of the project's own versions turn over as
// always.
std::map<std::string, qelfile::SeenFile> sBackupsOfNamed;

std::string WholeKey(const fs::path& path) {
    std::error_code ec;
    const fs::path whole = fs::absolute(path, ec);
    return (ec ? path : whole).lexically_normal().string();
}
}  // namespace

void NoteFileNamedToUser(const std::string& path) { sFilesNamed.insert(WholeKey(path)); }

namespace {

// Names the backups a save kept aside, in one message.
void ShowKeptAside(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    std::string detail;
    for (const std::string& p : paths) detail += "\n" + p;
    ShowMsg(kMsgBackupsKeptAside, detail);
}

// A backup a save is about to fill with `bytes` that still holds what a
// message named: when those are other contents, what it holds goes into `set`
// under a free name beside it, listed in `keptAside`; when they are the same,
// the backup goes on holding it (added to `stillNamed`).
void KeepBackupOfNamed(const std::string& backupPath, const std::vector<std::uint8_t>& bytes,
                       std::vector<qelfile::NewFile>& set, std::vector<std::string>& keptAside,
                       std::vector<std::pair<std::string, qelfile::SeenFile>>& stillNamed) {
    const auto it = sBackupsOfNamed.find(WholeKey(backupPath));
    if (it == sBackupsOfNamed.end()) return;
    std::vector<std::uint8_t> held;
    if (qelfile::ReadWholeFile(backupPath, held) != qelfile::ReadResult::Ok || !(qelfile::SeenFileOf(held) == it->second))
        return;
    if (held == bytes) {
        stillNamed.push_back(*it);
        return;
    }
    const fs::path aside = qelfile::FreeKeptNameBeside(backupPath);
    set.push_back({aside, std::string(held.begin(), held.end()), backupPath});
    keptAside.push_back(aside.string());
}

std::string AsciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string AsciiUpper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The program file's extension is written in capitals ("PLANT.KZP"): its
// companions are named so too.
bool UpperCaseExtension(const fs::path& program) {
    const std::string ext = program.extension().string();
    return std::any_of(ext.begin(), ext.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) &&
           std::none_of(ext.begin(), ext.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// Whether `path` names something (a file, a dangling link).
bool NameTaken(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Names the set's own that were missing, refused or left out as not
// belonging: the user hears of them in one message.
void ShowNotRead(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    std::string detail;
    for (const std::string& p : paths) {
        detail += "\n" + p;
        NoteFileNamedToUser(p);
    }
    ShowMsg(kMsgSetPartsNotRead, detail);
}

// Whether a ladder file holds no used row.
bool LadderBlank(const Staged& st) {
    return std::all_of(st.ladder.begin(), st.ladder.end(), [](std::uint8_t b) { return b == 0; });
}

// Only a ladder file that names the code (`bytes` of `code`) is taken; any other is
// drawn again from the code. Rows dropped so are the user's to know of.
// A ladder file without a used row stands only for an empty program: one
// over code (written while an emptied ladder could not replace the code)
// would let the next compile empty the program, so the code is drawn again.
void DropStaleLadder(Staged& st, const std::uint8_t* code, std::uint32_t bytes, const fs::path& path) {
    const std::uint64_t codeStamp = CodeImageStamp(code, bytes);
    const bool codeEmpty = !code || std::all_of(code, code + bytes, [](std::uint8_t b) { return b == 0xFF; });
    const bool blank = LadderBlank(st);
    if (!st.hasLad || (st.ladStamped && st.ladStamp == codeStamp && (codeEmpty || !blank))) return;
    st.hasLad = false;
    if (blank) return;
    ShowFileMsg(kMsgLadderFileStale, path);
    NoteFileNamedToUser(path.string());
    // The comments read with the rows stand by them: kept for the conversion.
    st.commentRows = std::move(st.ladder);
    st.ladder.clear();
}

// Applies the ladder parts of a staged set (rows, labels, block comments).
void ApplyLadder(const Staged& st) {
    if (st.hasLad) {
        gLadderStamp = st.ladStamp;
        gLadderFromFile = true;
        std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLadderRowBytes);
        if (!st.ladder.empty()) std::memcpy(gLadderRows, st.ladder.data(), st.ladder.size());
        gLadderRowCount = st.ladRows;
        gQel.RungRowIds.clear();  // other rows: none is one of those before
    }
    if (st.hasLab) {
        std::copy(st.pLabels.begin(), st.pLabels.end(), gPLabelRows);
        std::copy(st.iLabels.begin(), st.iLabels.end(), gILabelRows);
    }
    // Rows of a file that named other code place the comments read with them
    // and are no drawing: the block comments go with them, not into the grid.
    std::uint8_t* rows = gLadderRows;
    std::size_t rowCount = kLadderRows;
    if (!st.commentRows.empty()) {
        gCommentLadderRows = st.commentRows;
        gCommentLadderRows.resize(static_cast<std::size_t>(kLadderRows) * kLadderRowBytes, 0);
        rows = gCommentLadderRows.data();
    }
    // Block comments fill rows that the ladder file left empty (a ladder written
    // without them); they never overwrite a network.
    if (!st.hasSmt) return;
    for (const auto& [row, data] : st.blockComments) {
        if (static_cast<std::size_t>(row) >= rowCount) continue;
        std::uint8_t* dst = rows + static_cast<std::size_t>(row) * kLadderRowBytes;
        if (IsRowEmpty(dst) || IsBlockCommentRow(dst)) std::memcpy(dst, data.data(), data.size());
    }
}

void ApplyComments(const Staged& st) {
    if (st.hasRcm) {
        for (auto& list : gQel.DevComments) std::fill(list.begin(), list.end(), std::string());
        for (const auto& [list, number, text] : st.comments) {
            auto& l = gQel.DevComments[static_cast<std::size_t>(list)];
            if (number >= 0 && static_cast<std::size_t>(number) < l.size()) l[static_cast<std::size_t>(number)] = text;
        }
        if (st.rcmHasTitle) gQel.Title = st.rcmTitle;
        gQel.Company = st.company;
        gQel.Designer = st.designer;
    }
    if (st.hasLmt) {
        gQel.RungComments.clear();
        for (const auto& [row, text] : st.rungComments) {
            if (static_cast<std::size_t>(row) >= gQel.RungComments.size())
                gQel.RungComments.resize(static_cast<std::size_t>(row) + 1);
            gQel.RungComments[static_cast<std::size_t>(row)] = text;
        }
    }
}

// The chart of a staged set replaces the open chart and its records.
void ApplyChart(const Staged& st) {
    if (st.hasSfc) {
        ResizeSfcGrid(std::max(st.sfcRows, kSfcRowsAtStart));
        std::memset(gSfcGrid, 0xFF, static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes);
        if (!st.sfcGrid.empty()) std::memcpy(gSfcGrid, st.sfcGrid.data(), st.sfcGrid.size());
        gSfcCodeList.clear();
        for (const TSfcCodeRec& rec : st.sfcRecords) gSfcCodeList.push_back(std::make_unique<TSfcCodeRec>(rec));
        gSfcProgramStamp = st.sfcProgramStamp;
        gSfcCodeStamp = st.sfcCodeStamp;
        gSfcChartStamp = st.sfcChartStamp;
        gSfcChartFromFile = !st.sfcGrid.empty();
    }
}

void ApplyMonitorList(const Staged& st) {
    if (st.hasDev) {
        ClearMonitorList();
        std::copy(st.dev.begin(), st.dev.begin() + st.devCount, gDevMoniEntries);
        gDevMoniEntryCount = st.devCount;
    }
}

// Which pieces of a set read at opening go together. Rows, labels, rung and
// block comments belong together: the ladder file names the others saved
// with it. A piece from another save, or one missing, is not read (the rows
// are then judged without it); a file written before these stamps existed
// names none, and only a missing label file beside its rows is judged so.
struct TSetPieces {
    bool labRead = false;         // a label file was read
    bool labelsBelong = true;     // it goes with the rows (or no rows judge it)
    bool commentsOfRows = true;   // the rung comments read stand by the rows read
    std::vector<std::string> notRead;  // the set's files left out, for the user
};

// Stages 1 and 2, before the open project is replaced; pieces that do not
// belong are taken out of `st`.
TSetPieces JudgeSetPieces(Staged& st, const std::string& path) {
    TSetPieces p;
    // 1. The rows. Rows of other code (a ladder file of another version or
    // project) are not taken but drawn again from the code: such a file
    // judges nothing, as if it were missing. (A ladder file saved without
    // rows belongs to the program file saved with it, and still names the
    // others.)
    const std::uint64_t codeStamp = CodeImageStamp(st.image.data(), static_cast<std::uint32_t>(st.image.size()));
    const bool ladRead = st.hasLad && (LadderBlank(st) || (st.ladStamped && st.ladStamp == codeStamp));
    const bool setStamped = ladRead && st.ladLabStamp != 0;
    // 2. What the rows name. Rows of other code place the rung comments read
    // with them only when the comment file is the one saved with them: the
    // project's own comments beside a ladder file of another save stand by
    // the code's own drawing.
    p.commentsOfRows = ladRead || st.ladLmtStamp == 0 || !st.hasLmt || st.lmtStamp == st.ladLmtStamp;
    p.labRead = st.hasLab;
    if (ladRead) {
        p.labelsBelong = setStamped ? st.hasLab && st.labStamp == st.ladLabStamp : st.hasLab;
        if (!p.labelsBelong) st.hasLab = false;
    }
    if (setStamped) {
        const auto leaveOut = [&](bool& has, std::uint64_t read, std::uint64_t saved, const char* ext) {
            if (has && read == saved) return;
            has = false;
            p.notRead.push_back(CompanionPath(path, ext));
        };
        leaveOut(st.hasLmt, st.lmtStamp, st.ladLmtStamp, ".lmt");
        leaveOut(st.hasSmt, st.smtStamp, st.ladSmtStamp, ".smt");
    }
    return p;
}

// Stage 3, once the project is cleared: the rows go in (a stale ladder
// file's only to place the comments read with them). Rows whose labels were
// not read stand for the code only if they compile into it without them;
// else they are not the user's edits but a set put together from several
// saves, and the code is drawn again (the frame converts a program whose
// ladder is not ok). True when the rows were taken.
bool TakeSetLadder(Staged& st, TSetPieces& p, const std::string& path) {
    DropStaleLadder(st, st.image.data(), static_cast<std::uint32_t>(st.image.size()), CompanionPath(path, ".lad"));
    if (!p.commentsOfRows) st.commentRows.clear();
    ApplyLadder(st);
    if (!st.hasLad || p.labelsBelong) return st.hasLad;
    if (LadderHoldsFileEdits()) {
        std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLadderRowBytes);
        gLadderRowCount = 0;
        gLadderStamp = 0;  // an empty grid is no drawing of this code
        gLadderFromFile = false;
        p.notRead.insert(p.notRead.begin(), CompanionPath(path, ".lad"));
        p.notRead.insert(p.notRead.begin() + 1, CompanionPath(path, ".lab"));
        return false;
    }
    // The rows stand for the code without the labels of another save.
    if (p.labRead) p.notRead.insert(p.notRead.begin(), CompanionPath(path, ".lab"));
    return true;
}

}  // namespace

// ----- public operations -----------------------------------------------------

bool SetModelFamily(int family) {
    if (family < 0 || family >= kModelFamilyCount) return false;
    // A device limit lowered for one PLC holds only as long as its family.
    if (family != gQel.Family) ResetDeviceLimits();
    gQel.Family = family;
    SetCurrentFamily(family);
    FitCommentLists();
    return true;
}

namespace {

// The program file a name opens.
std::string ProgramFileOf(const std::string& name) {
    // The project is known by its whole path: a name relative to the folder
    // the program was started in opens another project from another folder.
    std::string path = WholePath(name);
    std::error_code ec;
    // A program file opened through a link is the project the link names:
    // its companions and backups are those beside the file linked to.
    if (fs::is_symlink(fs::path(path), ec)) {
        const fs::path target = fs::canonical(fs::path(path), ec);
        if (!ec) path = target.string();
    }
    return path;
}

// Reads the program file itself into `st`; a file that is not there, or not
// a program, is named in its message.
bool ReadProgramOnly(const std::string& path, Staged& st, SeenFiles& seen) {
    const Outcome program = ReadOne(path, st, ParseKzp, seen);
    if (program == Outcome::Missing) ShowFileMsg(kMsgFileOpenFailed, path);
    return program == Outcome::Read;
}

}  // namespace

bool ProgramFileOpens(const std::string& name) {
    Staged st;
    SeenFiles seen;
    return ReadProgramOnly(ProgramFileOf(name), st, seen);
}

bool ReadProgramFile() {
    const std::string path = ProgramFileOf(gQel.OpenFileName);
    Staged st;
    SeenFiles seen;
    if (!ReadProgramOnly(path, st, seen)) return false;
    for (const Sibling& s : kSiblings) {
        const std::string sib = CompanionPath(path, s.ext);
        if (ReadOne(sib, st, s.parse, seen) == Outcome::Refused) {
            // The program itself is fine: offer to open it without the damaged part.
            if (qel::AskQuestion(gMsgTable.Get(kMsgSiblingDamaged).append(" ").append(sib), qel::AskButtons::YesNo) !=
                qel::Answer::Yes)
                return false;
        }
    }

    TSetPieces pieces = JudgeSetPieces(st, path);

    // The whole set is accepted: replace the open project. What a save may
    // replace without asking is what was read here (a refused set notes
    // nothing: the files read are not the open project's).
    ClearProject();
    for (const auto& [file, bytes] : seen) qelfile::NoteFileSeen(file, bytes);
    SetProgramCapacity(st.capacityIndex);
    std::memcpy(gProgram, st.image.data(), gProgramCapacity);
    LocateProgramEnd();
    SetModelFamily(st.family);
    gQel.Title = st.title;
    gQel.Company.clear();
    gQel.Designer.clear();
    if (!st.hasRcm) LoadDeviceCommentInit();
    const bool ladderTaken = TakeSetLadder(st, pieces, path);
    ApplyComments(st);
    // The list the set brings, or none: never the one of the project before.
    ClearMonitorList();
    ApplyMonitorList(st);
    ApplyChart(st);
    SetProjectPath(path);
    gQel.Named = 1;
    gQel.Modified = 0;
    gQel.ProgramPresent = 1;
    // Rows that do not compile into the code their stamp names are the
    // user's edits: the program does not have them (its step count says so).
    gQel.ProgramOk = ladderTaken && !LadderHoldsFileEdits() ? 1 : 0;
    gQel.OpenDir = fs::path(path).parent_path().string();
    AddRecentFile(gQel.ProgramFileName);
    ShowNotRead(pieces.notRead);
    return true;
}

bool ReadSiblingFiles() {
    bool allRead = true;
    for (const Sibling& s : kSiblings) {
        Staged st;
        st.family = gQel.Family;
        st.capacityIndex = gQel.CapacityIndex;
        SeenFiles seen;
        const Outcome o = ReadOne(SiblingPath(s.ext), st, s.parse, seen);
        for (const auto& [file, bytes] : seen) qelfile::NoteFileSeen(file, bytes);
        if (o == Outcome::Refused) allRead = false;
        if (o != Outcome::Read) continue;
        DropStaleLadder(st, gProgram, gProgramCapacity, SiblingPath(s.ext));
        ApplyLadder(st);
        ApplyComments(st);
        ApplyMonitorList(st);
        ApplyChart(st);
    }
    return allRead;
}

bool SaveProject(bool filesThereAsked) {
    if (!gProgram || !gLadderRows) return false;
    if (gQel.ProgramFileName.empty()) MakeUntitledName();
    if (gQel.BaseName.empty()) MakeFileNames();
    // A backup or a file of another extension is never the name a set is
    // saved under: its companions would be another set's.
    if (!IsProgramFileName(gQel.ProgramFileName)) {
        ShowFileMsg(kMsgFileSaveFailed, gQel.ProgramFileName);
        return false;
    }
    struct Out {
        const char* ext;
        std::string bytes;
    };
    std::vector<Out> files;
    std::string lab = BuildLab(), lmt = BuildLmt(), smt = BuildSmt();
    files.push_back({".kzp", BuildKzp()});
    files.push_back({".lad", BuildLad(lab, lmt, smt)});
    files.push_back({".lab", std::move(lab)});
    files.push_back({".rcm", BuildRcm()});
    files.push_back({".lmt", std::move(lmt)});
    files.push_back({".smt", std::move(smt)});
    files.push_back({".dev", BuildDev()});
    // A chart read from the chart file that is only a drawing of other code
    // is not written back: the user hears of it, as from the SFC view.
    const bool chartOldDrawing = SfcChartIsOldDrawing();
    const bool chartFileDropped = gSfcChartFromFile && chartOldDrawing;
    files.push_back({".sfc", BuildSfc(chartOldDrawing)});

    // Nothing is written that its reader would refuse: the next Open would
    // lose that file's part of the project (a device comment holding a NUL
    // would cost every comment and the title page).
    Staged check;
    for (const Out& f : files) {
        const std::vector<std::uint8_t> bytes(f.bytes.begin(), f.bytes.end());
        const auto* sibling = std::find_if(std::begin(kSiblings), std::end(kSiblings),
                                           [&](const Sibling& s) { return std::strcmp(s.ext, f.ext) == 0; });
        const Refusal r = sibling == std::end(kSiblings) ? ParseKzp(bytes, check) : sibling->parse(bytes, check);
        if (r != Refusal::None) {
            ShowFileMsg(kMsgFileSaveFailed, SiblingPath(f.ext));
            return false;
        }
    }

    // The set and its backups go to disk together: each backup is a copy of
    // the file it keeps, written beside the old backup, and replaces it only
    // with the new file. Nothing is renamed before every new file, backup
    // copy and roll-back link is complete; a failure then leaves the old set
    // and the old backups as they were.
    std::vector<qelfile::NewFile> set;
    // Files of the set that are not what this project read or wrote there:
    // another run's save, or a file that was not there before.
    std::string changed;
    // Backups holding what a message named that this save keeps aside, and
    // the backups it fills with such files.
    std::vector<std::string> keptAside;
    std::vector<std::pair<std::string, qelfile::SeenFile>> backupsOfNamed;
    for (auto& f : files) {
        const fs::path target = std::strcmp(f.ext, ".kzp") == 0 ? fs::path(gQel.ProgramFileName) : fs::path(SiblingPath(f.ext));
        set.push_back({target, std::move(f.bytes)});
        const auto* backup = std::find_if(std::begin(kBackups), std::end(kBackups),
                                          [&](const Backup& b) { return std::strcmp(b.ext, f.ext) == 0; });
        if (backup != std::end(kBackups)) {
            std::vector<std::uint8_t> old;
            switch (qelfile::ReadWholeFile(target, old)) {
            case qelfile::ReadResult::Missing: break;
            case qelfile::ReadResult::Ok: {
                if (!filesThereAsked && qelfile::ChangeSinceSeen(target, &old) != qelfile::DiskChange::Same)
                    changed += "\n" + target.string();
                // The backup is as private as the file it keeps.
                const std::string backupPath = SiblingPath(backup->backup);
                KeepBackupOfNamed(backupPath, old, set, keptAside, backupsOfNamed);
                set.push_back({backupPath, std::string(old.begin(), old.end()), target});
                // Another project's file a Save As replaces, a file a message
                // named, a chart file not used: their backup is what the user
                // was told of.
                if (filesThereAsked || sFilesNamed.count(WholeKey(target)) ||
                    (chartFileDropped && std::strcmp(f.ext, ".sfc") == 0))
                    backupsOfNamed.emplace_back(WholeKey(backupPath), qelfile::SeenFileOf(old));
                break;
            }
            default:
                ShowFileMsg(kMsgFileSaveFailed, target);
                return false;
            }
        }
    }
    // A name that cannot be replaced is said before anything is asked.
    for (const qelfile::NewFile& f : set)
        if (qelfile::ReplaceRefusal(f.path) != qelfile::Unreplaceable::None) {
            ShowSaveFailed(f.path.string());
            return false;
        }
    if (!changed.empty() && qel::AskQuestion(gMsgTable.Get(kMsgChangedOnDisk) + changed, qel::AskButtons::OkCancel) !=
                                qel::Answer::Ok)
        return false;
    const qelfile::ReplaceOutcome done = qelfile::ReplaceFiles(set);
    if (!done.ok) {
        if (done.unchanged) {
            ShowSaveFailed(done.failedPath.string());
        } else {
            std::string detail = " " + done.failedPath.string();
            for (const auto& p : done.newFiles) detail += "\n" + p.string() + " (new)";
            for (const auto& p : done.oldKeptAs) detail += "\n" + p.string() + " (previous)";
            ShowMsg(kMsgSaveLeftMixed, detail);
        }
        return false;
    }
    for (const qelfile::NewFile& f : set) {
        sBackupsOfNamed.erase(WholeKey(f.path));
        sFilesNamed.erase(WholeKey(f.path));
    }
    sBackupsOfNamed.insert(backupsOfNamed.begin(), backupsOfNamed.end());
    ShowKeptAside(keptAside);
    if (chartFileDropped) {
        gSfcChartFromFile = false;
        ShowFileMsg(kMsgChartFileStale, SiblingPath(".sfc"));
    }
    gQel.Modified = 0;
    gQel.Named = 1;
    gQel.SaveDir = fs::path(gQel.ProgramFileName).parent_path().string();
    AddRecentFile(gQel.ProgramFileName);
    return true;
}

bool WriteBackupOfReplaced(const std::string& backup, std::string_view bytes, const std::string& of) {
    const std::vector<std::uint8_t> given(bytes.begin(), bytes.end());
    std::vector<qelfile::NewFile> set;
    std::vector<std::string> keptAside;
    std::vector<std::pair<std::string, qelfile::SeenFile>> stillNamed;
    KeepBackupOfNamed(backup, given, set, keptAside, stillNamed);
    set.push_back({backup, std::string(bytes), of});
    if (!qelfile::ReplaceFiles(set).ok) return false;
    sBackupsOfNamed[WholeKey(backup)] = qelfile::SeenFileOf(given);
    ShowKeptAside(keptAside);
    return true;
}

namespace {
std::function<void()> sProjectCleared;
}  // namespace

void SetProjectClearedHook(std::function<void()> hook) { sProjectCleared = std::move(hook); }

void ShowSaveFailed(const std::string& path) {
    const bool readOnly = qelfile::ReplaceRefusal(path) == qelfile::Unreplaceable::ReadOnly;
    ShowFileMsg(readOnly ? kMsgFileReadOnly : kMsgFileSaveFailed, path);
}

void ClearProject() {
    // The files a message named were the project's before; their backups
    // stay known whatever project is open.
    sFilesNamed.clear();
    if (gProgram) std::memset(gProgram, 0xFF, gProgramCapacity);
    if (gProgramCopy) std::memset(gProgramCopy, 0xFF, gProgramCopySize);
    gProgramUsed = gProgramCopyUsed = gProgramCopyLastOffset = 0;
    if (gLadderRows) std::memset(gLadderRows, 0, static_cast<std::size_t>(kLadderRows) * kLadderRowBytes);
    gLadderRowCount = 0;
    std::fill(std::begin(gPLabelRows), std::end(gPLabelRows), -1);
    std::fill(std::begin(gILabelRows), std::end(gILabelRows), -1);
    if (gInterLadderGrid)
        std::memset(gInterLadderGrid, 0, static_cast<std::size_t>(gInterLadderRowCapacity) * kLadderRowBytes);
    std::fill(std::begin(gInterPLabelRows), std::end(gInterPLabelRows), -1);
    std::fill(std::begin(gInterILabelRows), std::end(gInterILabelRows), -1);
    if (gSfcGrid) std::memset(gSfcGrid, 0xFF, static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes);
    gSfcCodeList.clear();
    gQel.RungComments.clear();
    gQel.RungRowIds.clear();
    gCommentLadderRows.clear();
    gQel.Title.clear();
    gQel.Company.clear();
    gQel.Designer.clear();
    // The template's values are the project's: the count stays the family's.
    std::fill(gFileRegValues.begin(), gFileRegValues.end(), std::uint16_t{0});
    ++gProjectSerial;
    // An empty ladder is the ladder of the empty program, and so is an empty chart.
    MarkLadderOfProgram();
    MarkChartOfProgram(nullptr, 0);
    gQel.ProgramOk = 1;
    if (sProjectCleared) sProjectCleared();
}

bool ProgramFitsCapacity(int capacityIndex) {
    const std::uint32_t room = ProgramCapacityOf(capacityIndex);
    return room != 0 && LocateProgramEnd() <= room;
}

bool CarryProgramToCapacity(int capacityIndex) {
    if (!ProgramFitsCapacity(capacityIndex)) return false;
    const std::uint32_t used = gProgramUsed;  // located by ProgramFitsCapacity
    // The stamps cover the whole image, empty tail included: one that named
    // the image before names the same code in the new one.
    const std::uint64_t before = ProgramImageStamp();
    const bool ladderOfProgram = gProgram && gLadderStamp == before;
    const bool chartOfProgram = gProgram && gSfcProgramStamp == before;
    const std::vector<std::uint8_t> code(gProgram, gProgram + used);
    SetProgramCapacity(capacityIndex);
    if (!code.empty()) std::memcpy(gProgram, code.data(), code.size());
    LocateProgramEnd();
    // Restamped only: rows read from the ladder file stay what they were.
    if (ladderOfProgram) gLadderStamp = ProgramImageStamp();
    if (chartOfProgram) gSfcProgramStamp = ProgramImageStamp();
    return true;
}

void FitCommentLists() {
    for (int list = 0; list < kCommentListCount; ++list) {
        const int highest = DeviceLimitOf(gQel.Family, kCommentLetters[list]);
        gQel.DevComments[static_cast<std::size_t>(list)].resize(static_cast<std::size_t>(std::max(highest + 1, 0)));
    }
}

std::string CommentsBeyondFamily(int family) {
    std::string text;
    for (int list = 0; list < kCommentListCount; ++list) {
        const char letter = kCommentLetters[list];
        const auto& comments = gQel.DevComments[static_cast<std::size_t>(list)];
        int count = 0;
        std::size_t first = 0, last = 0;
        for (auto n = static_cast<std::size_t>(std::max(DeviceLimitOf(family, letter) + 1, 0)); n < comments.size(); ++n) {
            if (comments[n].empty()) continue;
            if (count++ == 0) first = n;
            last = n;
        }
        if (count == 0) continue;
        const int type = DeviceTypeFromLetter(letter);
        if (!text.empty()) text += ", ";
        text += std::string(1, letter) + " " + std::to_string(count) + " (" +
                DeviceName(type, static_cast<std::uint32_t>(first));
        if (last != first) text += "-" + DeviceName(type, static_cast<std::uint32_t>(last));
        text += ")";
    }
    return text;
}

namespace {
// Polled at an address the PLC does not have, were it kept.
bool MonitorEntryBeyondFamily(const TDevMoniEntry& e, int family) {
    int list = 0, number = 0;
    return ParseDeviceName(std::string(e.Name, strnlen(e.Name, sizeof e.Name)), list, number) &&
           number > DeviceLimitOf(family, kCommentLetters[list]);
}
}  // namespace

std::string MonitorEntriesBeyondFamily(int family) {
    std::string text;
    for (int i = 0; i < gDevMoniEntryCount; ++i) {
        const TDevMoniEntry& e = gDevMoniEntries[i];
        if (!MonitorEntryBeyondFamily(e, family)) continue;
        if (!text.empty()) text += ", ";
        text.append(e.Name, strnlen(e.Name, sizeof e.Name));
    }
    return text;
}

std::string ProgramBeyondFamily(int family) {
    if (!gProgram || gProgramUsed == 0) return {};
    return CodeBeyondFamily({gProgram, gProgramCapacity}, gProgramUsed, family);
}

std::string CodeBeyondFamily(std::span<const std::uint8_t> code, std::uint32_t used, int family) {
    constexpr std::size_t kNamed = 10;
    if (code.empty() || used == 0) return {};
    const std::vector<std::string> found = InstructionsBeyondFamily(code, used, family);
    std::string text;
    for (std::size_t i = 0; i < found.size() && i < kNamed; ++i) text += (i ? ", " : "") + found[i];
    if (found.size() > kNamed) text += ", +" + std::to_string(found.size() - kNamed);
    return text;
}

void DropMonitorEntriesBeyondFamily(int family) {
    int kept = 0;
    for (int i = 0; i < gDevMoniEntryCount; ++i)
        if (!MonitorEntryBeyondFamily(gDevMoniEntries[i], family)) gDevMoniEntries[kept++] = gDevMoniEntries[i];
    for (int i = kept; i < gDevMoniEntryCount; ++i) gDevMoniEntries[i] = TDevMoniEntry{};
    gDevMoniEntryCount = kept;
}

void ClearMonitorList() {
    std::memset(gDevMoniEntries, 0, sizeof gDevMoniEntries);
    gDevMoniEntryCount = 0;
}

void LoadDeviceCommentInit() {
    for (auto& list : gQel.DevComments) std::fill(list.begin(), list.end(), std::string());
    std::vector<std::uint8_t> bytes;
    // One line per device of the largest family stays well under this.
    constexpr std::uintmax_t kMaxCommentDefaultsBytes = 4u << 20;
    if (qelfile::ReadWholeFile(qel::InstallDir() / "DeviceCommentInit.txt", bytes, kMaxCommentDefaultsBytes) !=
        qelfile::ReadResult::Ok)
        return;
    if (!qelfile::IsUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) return;
    for (const std::string& line : qelfile::SplitLines(bytes)) {
        if (line.empty() || line[0] == '#') continue;
        std::string key, text;
        int list, number;
        if (!SplitKeyed(line, key, text) || !ParseDeviceName(key, list, number)) continue;
        auto& l = gQel.DevComments[static_cast<std::size_t>(list)];
        if (static_cast<std::size_t>(number) < l.size())
            l[static_cast<std::size_t>(number)] = CleanComment(text, kDeviceCommentMaxBytes);
    }
}

bool ParseDeviceName(const std::string& name, int& listIndex, int& number) {
    if (name.size() < 2 || name.size() > 6) return false;
    const char letter = static_cast<char>(name[0] >= 'a' && name[0] <= 'z' ? name[0] - 32 : name[0]);
    const char* pos = std::strchr(kCommentLetters, letter);
    if (!pos || letter == '\0') return false;
    const bool octal = letter == 'X' || letter == 'Y';
    int value = 0;
    for (std::size_t i = 1; i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > (octal ? '7' : '9')) return false;
        value = value * (octal ? 8 : 10) + (c - '0');
    }
    listIndex = static_cast<int>(pos - kCommentLetters);
    number = value;
    return true;
}

std::string GetDeviceComment(char letter, int number) {
    if (letter == '\0') return {};
    const char* pos = std::strchr(kCommentLetters, letter);
    if (!pos || number < 0) return {};
    const auto& list = gQel.DevComments[static_cast<std::size_t>(pos - kCommentLetters)];
    return static_cast<std::size_t>(number) < list.size() ? list[static_cast<std::size_t>(number)] : std::string();
}

std::string GetCommentByDeviceName(const std::string& name) {
    int list, number;
    if (!ParseDeviceName(name, list, number)) return {};
    return GetDeviceComment(kCommentLetters[list], number);
}

namespace {
std::vector<std::pair<int, std::function<void()>>> gCommentListeners;
int gNextCommentListener = 1;
}  // namespace

int AddDeviceCommentListener(std::function<void()> changed) {
    gCommentListeners.emplace_back(gNextCommentListener, std::move(changed));
    return gNextCommentListener++;
}

void RemoveDeviceCommentListener(int token) {
    std::erase_if(gCommentListeners, [token](const auto& l) { return l.first == token; });
}

bool SetDeviceComment(const std::string& name, const std::string& comment) {
    gQel.Modified = 1;
    int list, number;
    if (!ParseDeviceName(name, list, number)) return false;
    return SetDeviceComments({{list, number, comment}}) == 1;
}

std::size_t SetDeviceComments(const std::vector<TDeviceCommentEntry>& entries) {
    if (entries.empty()) return 0;
    gQel.Modified = 1;
    std::size_t stored = 0;
    for (const TDeviceCommentEntry& e : entries) {
        if (e.list < 0 || e.list >= kCommentListCount || e.number < 0) continue;
        auto& l = gQel.DevComments[static_cast<std::size_t>(e.list)];
        if (static_cast<std::size_t>(e.number) >= l.size()) continue;
        l[static_cast<std::size_t>(e.number)] = CleanComment(e.comment, kDeviceCommentMaxBytes);
        ++stored;
    }
    if (stored == 0) return 0;
    const auto listeners = gCommentListeners;  // a listener may remove itself
    for (const auto& [token, changed] : listeners) changed();
    return stored;
}

void MakeUntitledName() {
    fs::path folder = gQel.SaveDir;
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        const char* home = std::getenv("HOME");
        folder = home && *home ? fs::path(home) : qel::InstallDir();
    }
    // A name none of whose files is there: the register view and the
    // template save theirs beside an untitled program too, and an earlier
    // untitled project's must never show as the new one's.
    fs::path candidate;
    for (int n = 1;; ++n) {
        candidate = folder / ("Untitled" + std::to_string(n) + ".kzp");
        // No file of its set may exist: a companion left there is another
        // project's, which a save would write over; so is the register
        // view's or the template's file an earlier untitled project saved.
        if (ExistingSetFiles(candidate.string()).empty()) break;
    }
    gQel.ProgramFileName = candidate.string();
    gQel.Named = 0;
    MakeFileNames();
}

void SetProjectPath(const std::string& path) {
    fs::path p(path);
    if (!p.has_extension()) p += ".kzp";
    gQel.ProgramFileName = p.string();
    MakeFileNames();
}

void MakeFileNames() {
    gQel.BaseName = StripExtension(gQel.ProgramFileName);
    gQel.InstallFolder = (qel::InstallDir() / "").string();
    const fs::path temp = qel::TempDir();
    const std::string stem = fs::path(gQel.ProgramFileName).stem().string();
    gQel.TmsFileName = (temp / (stem + ".tms")).string();
    gQel.TmlFileName = (temp / (stem + ".tml")).string();
}

std::string SiblingPath(const char* ext) { return CompanionPath(gQel.ProgramFileName, ext); }

std::string CompanionPath(const std::string& programPath, const char* ext) {
    const fs::path program(programPath);
    // The program file itself, when it is the one asked for.
    if (AsciiLower(program.extension().string()) == AsciiLower(ext) && NameTaken(program)) return programPath;
    const std::string base = StripExtension(programPath);
    const std::string lower = AsciiLower(ext);
    const std::string own = UpperCaseExtension(program) ? AsciiUpper(ext) : lower;
    if (NameTaken(base + own)) return base + own;
    // Another letter case of the name ("Plant.Lad" beside "PLANT.KZP") is the
    // set's own only while no other program file shares the name in another
    // case: "plant.lad" beside "plant.kzp" and "PLANT.KZP" is plant.kzp's.
    const fs::path folder = program.has_parent_path() ? program.parent_path() : fs::path(".");
    const std::string stem = AsciiLower(fs::path(base).filename().string());
    const std::string wanted = stem + lower;
    std::vector<std::string> found;
    int programs = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string folded = AsciiLower(name);
        if (folded == stem + ".kzp") ++programs;
        if (folded == wanted) found.push_back(name);
    }
    // A program file not written yet shares the name as much as one on disk:
    // a save under "PLANT.kzp" beside "plant.kzp" writes a set of its own.
    if (!NameTaken(program) && IsProgramFileName(programPath)) ++programs;
    if (programs > 1 || found.empty()) return base + own;
    if (NameTaken(base + lower)) return base + lower;
    std::sort(found.begin(), found.end());
    return (program.parent_path() / found.front()).string();
}

bool IsProgramFileName(const std::string& path) {
    return AsciiLower(fs::path(path).extension().string()) == ".kzp";
}

std::string ProgramFileNameFor(const std::string& typed) {
    if (typed.empty()) return {};
    fs::path p = WholePath(typed);
    if (IsProgramFileName(p.string())) return p.string();
    // The name without its extension stands for the program file of that name
    // there, in whatever case it was written ("PLANT" for "PLANT.KZP").
    const fs::path folder = p.has_parent_path() ? p.parent_path() : fs::path(".");
    const std::string wanted = AsciiLower(p.filename().string() + ".kzp");
    std::vector<fs::path> found;
    std::error_code dec;
    for (fs::directory_iterator it(folder, dec), end; !dec && it != end; it.increment(dec))
        if (AsciiLower(it->path().filename().string()) == wanted) found.push_back(it->path());
    if (found.size() == 1) return (folder / found.front().filename()).string();
    p += ".kzp";
    return p.string();
}

std::vector<std::string> ExistingSetFiles(const std::string& programPath) {
    // One look at the folder: every name of the set, in any letter case.
    const fs::path program(programPath);
    const fs::path folder = program.has_parent_path() ? program.parent_path() : fs::path(".");
    const std::string stem = AsciiLower(StripExtension(program.filename().string()));
    std::vector<std::string> names;
    auto take = [&](const auto& table) {
        for (const Backup& b : table)
            for (const char* ext : {b.ext, b.backup}) names.push_back(stem + ext);
    };
    take(kBackups);
    take(kSideFiles);
    std::vector<std::string> found;
    if (NameTaken(program)) found.push_back(programPath);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (std::find(names.begin(), names.end(), AsciiLower(name)) == names.end()) continue;
        const std::string path = (folder / name).string();
        if (path != programPath) found.push_back(path);
    }
    // A program file first: it names the project.
    std::stable_sort(found.begin(), found.end(), [](const std::string& x, const std::string& y) {
        return IsProgramFileName(x) && !IsProgramFileName(y);
    });
    return found;
}

void DeleteTempFiles() {
    std::error_code ec;
    const fs::path temp = qel::InstallDir() / "Temp";
    if (!fs::is_directory(temp, ec)) return;
    std::vector<fs::path> doomed;
    for (const auto& entry : fs::directory_iterator(temp, ec)) {
        const auto ext = entry.path().extension();
        if (entry.is_regular_file(ec) && (ext == ".tms" || ext == ".tml" || ext == ".pas" || ext == ".tck"))
            doomed.push_back(entry.path());
    }
    for (const auto& p : doomed) fs::remove(p, ec);
}
