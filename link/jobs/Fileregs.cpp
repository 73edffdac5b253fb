#include "link/jobs/Fileregs.h"

#include <algorithm>
#include <cstring>

#include "project/Fileio.h"

namespace qel::link {

namespace {

constexpr std::uint16_t kD1001 = 0x13E9;
constexpr std::uint8_t kSubWrite = 17, kSubRead = 24, kAreaFileRegs = 0;
constexpr int kMaxBlock = 16;
constexpr int kMsgCancelled = 245;
constexpr int kMsgUnknownPlc = 239;
constexpr int kMsgMonitorRunning = 81;
enum : int { kWriting = 0, kReading = 1, kIdentify = 255 };

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

}  // namespace

int FileRegisterCount(int family, bool extraMemory) {
    switch (family) {
    case 1: return extraMemory ? 32768 : 10000;
    case 2: return 1600;
    default: return 0;
    }
}

std::vector<std::uint8_t> EncodeQft(const TFileTemplate& t) {
    std::vector<std::uint8_t> b(kQftHeaderSize + 2 * t.values.size(), 0);
    Put16(b, 0, t.version);
    Put16(b, 2, t.family);
    Put16(b, 4, t.capacityIndex);
    b[6] = t.extraMemory ? 1 : 0;
    const std::string title = qelfile::CutUtf8(t.title, kQftTitleMax);
    std::memcpy(b.data() + 7, title.data(), title.size());
    const auto n = static_cast<std::uint32_t>(t.values.size());
    for (int i = 0; i < 4; ++i) b[128 + i] = static_cast<std::uint8_t>(n >> (8 * i));
    for (std::size_t i = 0; i < t.values.size(); ++i) Put16(b, kQftHeaderSize + 2 * i, t.values[i]);
    return b;
}

bool DecodeQft(const std::uint8_t* data, std::size_t size, TFileTemplate& t) {
    if (!data || size < kQftHeaderSize) return false;
    TFileTemplate r;
    r.version = Get16(data);
    r.family = Get16(data + 2);
    r.capacityIndex = Get16(data + 4);
    if (data[6] > 1 || r.capacityIndex > 3) return false;
    r.extraMemory = data[6] == 1;
    if (r.extraMemory && r.family != 1) return false;  // only family 1 takes the card
    const std::uint32_t count = static_cast<std::uint32_t>(data[128]) | data[129] << 8 | data[130] << 16 |
                                static_cast<std::uint32_t>(data[131]) << 24;
    const int expected = FileRegisterCount(r.family, r.extraMemory);
    if (expected == 0 || count != static_cast<std::uint32_t>(expected)) return false;
    if (size != kQftHeaderSize + 2 * static_cast<std::size_t>(count)) return false;
    const auto* title = reinterpret_cast<const char*>(data + 7);
    r.title.assign(title, strnlen(title, kQftTitleMax));
    r.values.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) r.values[i] = Get16(data + kQftHeaderSize + 2 * i);
    t = std::move(r);
    return true;
}

TQftRead ReadQftFile(const std::filesystem::path& path, int family, TFileTemplate& t) {
    std::vector<std::uint8_t> bytes;
    // Nothing larger than the largest template is read into memory.
    switch (qelfile::ReadWholeFile(path, bytes, kQftHeaderSize + 2 * 32768)) {
    case qelfile::ReadResult::Missing: return TQftRead::Missing;
    case qelfile::ReadResult::Unreadable:
    case qelfile::ReadResult::NotRegular: return TQftRead::Unreadable;
    case qelfile::ReadResult::TooLarge: return TQftRead::Damaged;
    case qelfile::ReadResult::Ok: break;
    }
    qelfile::NoteFileSeen(path, bytes);  // a save of it later replaces what was read here
    TFileTemplate r;
    if (!DecodeQft(bytes.data(), bytes.size(), r)) return TQftRead::Damaged;
    // Only a template sound in every other way is one of another family.
    if (r.family != family) return TQftRead::OtherFamily;
    t = std::move(r);
    return TQftRead::Ok;
}

bool WriteQftFile(const std::filesystem::path& path, const TFileTemplate& t) {
    const std::vector<std::uint8_t> bytes = EncodeQft(t);
    // Nothing is written that its reader would refuse: the next open would
    // lose the whole template (a card flag beside the count without the card).
    TFileTemplate check;
    if (!DecodeQft(bytes.data(), bytes.size(), check)) return false;
    return qelfile::WriteFileReplacing(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool ParseFileRegRange(const std::string& startText, const std::string& lastText, int count, int& first, int& end) {
    auto number = [](const std::string& s, int& v) {
        if (s.empty() || s.size() > 5 || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        v = std::stoi(s);
        return v < 65536;
    };
    int a = 0, b = 0;
    if (!number(startText, a) || !number(lastText, b)) return false;
    if (a > b || a >= count || b + 1 > count) return false;
    first = a;
    end = b + 1;
    return true;
}

TFileRegTransfer::TFileRegTransfer(TTransData& link, TFileRegHost& host) : link_(link), host_(host) {
    link_.RegisterJob(kJobWriteFileRegs, this);
    link_.RegisterJob(kJobReadFileRegs, this);
}

TFileRegTransfer::~TFileRegTransfer() {
    if (Running() && (link_.JobNo == kJobWriteFileRegs || link_.JobNo == kJobReadFileRegs)) link_.CancelJob();
    link_.RegisterJob(kJobWriteFileRegs, nullptr);
    link_.RegisterJob(kJobReadFileRegs, nullptr);
}

bool TFileRegTransfer::Start(std::vector<std::uint16_t>& values, bool write, int first, int end) {
    if (link_.JobNo == kJobWriteFileRegs || link_.JobNo == kJobReadFileRegs || !link_.MayPutRequests()) return false;
    if (link_.Monitoring()) {
        // The monitors keep the line; the user stops them first.
        link_.ShowMessage(kMsgMonitorRunning, "");
        return false;
    }
    if (first < 0 || first >= end || end > static_cast<int>(values.size())) return false;
    // Writes the user queued before (RUN, a force, a monitor's coil) go out
    // first: the order of service sends them before the job's first step.
    link_.PlcInfoMode = 0;
    if (!link_.OpenPort()) return false;
    values_ = &values;
    write_ = write;
    work_ = values;  // a write sends the values as they are now
    RangeStart = first;
    RangeEnd = end;
    Offset = first;
    State = kIdentify;
    host_.StartProgress(RangeEnd - RangeStart);
    link_.StartJob(write ? kJobWriteFileRegs : kJobReadFileRegs, 0);
    return true;
}

void TFileRegTransfer::Cancel() {
    if (!Running()) return;
    link_.CancelJob();
    // A write stopped half-way leaves the PLC holding part of the values.
    Finish(write_ ? kMsgWriteStopped : kMsgCancelled, false);
}

void TFileRegTransfer::Aborted(TTransData&) {
    values_ = nullptr;
    work_.clear();
    host_.TransferEnded(false);
}

int TFileRegTransfer::BlockWords() const { return std::min(kMaxBlock, RangeEnd - Offset); }

void TFileRegTransfer::RequestStep(TTransData&) {
    if (!Running()) return;
    if (State == kIdentify) {
        link_.SendCommand(kD1001, 3, 3);
        return;
    }
    const int n = BlockWords();
    if (n <= 0) return;
    gCommData[0] = kAreaFileRegs;
    gCommData[1] = static_cast<std::uint8_t>(Offset >> 8);
    gCommData[2] = static_cast<std::uint8_t>(Offset);
    gCommData[3] = static_cast<std::uint8_t>(n);
    gCommDataLen = 4;
    if (State == kWriting) {
        for (int i = 0; i < n; ++i) {
            const std::uint16_t v = work_[static_cast<std::size_t>(Offset + i)];
            gCommData[gCommDataLen++] = static_cast<std::uint8_t>(v >> 8);
            gCommData[gCommDataLen++] = static_cast<std::uint8_t>(v);
        }
    }
    link_.SendCmd64(1, State == kWriting ? kSubWrite : kSubRead, static_cast<std::uint8_t>(gCommDataLen));
    host_.SetProgress(Offset - RangeStart);
}

void TFileRegTransfer::ReplyStep(TTransData&) {
    if (!Running()) return;
    if (State == kIdentify) {
        const std::uint16_t type = TTransData::ReplyWord(0);
        if (!link_.DecodePlcType(type)) return Finish(kMsgUnknownPlc, false);
        if (link_.PlcFamilyClass == 0) return Finish(kMsgFileRegNone, false);
        State = write_ ? kWriting : kReading;
        return;
    }
    const int n = BlockWords();
    const int errorMsg = write_ ? kMsgFileRegWriteError : kMsgFileRegReadError;
    // An error reply, or one ending in ACK without sound bytes, ends the transfer.
    if (gCommDataLen < 4 || (gCommData[0] & 0x80) || gCommData[2] != (write_ ? kSubWrite : kSubRead))
        return Finish(errorMsg, false);
    if (!write_) {
        // Exactly the words asked for, or none of them.
        if (gCommData[3] != 4 + 2 * n || gCommDataLen < static_cast<std::uint32_t>(8 + 2 * n))
            return Finish(errorMsg, false);
        for (int i = 0; i < n; ++i)
            work_[static_cast<std::size_t>(Offset + i)] =
                static_cast<std::uint16_t>(gCommData[8 + 2 * i] << 8 | gCommData[9 + 2 * i]);
    }
    Offset += n;
    host_.SetProgress(Offset - RangeStart);
    if (Offset < RangeEnd) return;
    if (!write_) std::copy(work_.begin() + RangeStart, work_.begin() + RangeEnd, values_->begin() + RangeStart);
    Finish(write_ ? kMsgFileRegWriteDone : kMsgFileRegReadDone, !write_);
}

void TFileRegTransfer::Finish(int msgId, bool stored) {
    values_ = nullptr;
    work_.clear();
    if (link_.JobNo == kJobWriteFileRegs || link_.JobNo == kJobReadFileRegs) link_.EndJob();
    link_.Frame->CloseProgress();
    host_.TransferEnded(stored);
    if (msgId) link_.ShowMessage(msgId, "");
}

}  // namespace qel::link
