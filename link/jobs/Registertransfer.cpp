#include "link/jobs/Registertransfer.h"

#include <algorithm>
#include <cstdio>

#include "core/DeviceLimits.h"
#include "link/jobs/Registergrid.h"

namespace qel::link {

namespace {

constexpr std::uint16_t kD1001 = 0x13E9;  // type word, D1002, D1003
constexpr std::uint16_t kC200 = 0x0EC8;   // C200..C255: one 4-byte register each
constexpr int kMsgUnknownPlcType = 239;
constexpr int kMsgCancelled = 245;

enum : int { kStateIdle = 0, kStateWrite = 11, kStateRead = 12, kStateIdentify = 255 };

// Blocks of `step` registers over [first, last] of a page. A block holds
// only neighbours on the link: one never runs from D4095 into what follows
// its address (program memory) instead of D4096.
void AddBlocks(std::vector<TRegBlock>& plan, int first, int last, int step, std::uint16_t (*address)(int)) {
    for (int n = first; n <= last;) {
        int count = 1;
        while (count < step && n + count <= last && address(n + count) == address(n) + count) ++count;
        plan.push_back({address(n), n, count});
        n += count;
    }
}

std::uint16_t CAddr(int n) { return CRegisterAddress(n); }
std::uint16_t TAddr(int n) { return TRegisterAddress(n); }
std::uint16_t C32Addr(int index) { return static_cast<std::uint16_t>(kC200 + index); }

std::string Hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

std::vector<std::uint32_t> PageValues(const TRegisterData& d, int page) {
    switch (page) {
    case kRegPageD: return {d.DRegs.begin(), d.DRegs.end()};
    case kRegPageC: return {d.CRegs.begin(), d.CRegs.end()};
    case kRegPageC32: return {d.C32Regs.begin(), d.C32Regs.end()};
    default: return {d.TRegs.begin(), d.TRegs.end()};
    }
}

void StorePage(TRegisterData& d, int page, const std::vector<std::uint32_t>& v) {
    auto store = [&v](auto& array) {
        for (std::size_t i = 0; i < array.size() && i < v.size(); ++i)
            array[i] = static_cast<std::remove_reference_t<decltype(array[0])>>(v[i]);
    };
    switch (page) {
    case kRegPageD: store(d.DRegs); break;
    case kRegPageC: store(d.CRegs); break;
    case kRegPageC32: store(d.C32Regs); break;
    default: store(d.TRegs); break;
    }
}

}  // namespace

std::vector<TRegBlock> RegisterTransferPlan(int page, int family, bool read) {
    std::vector<TRegBlock> plan;
    if (page < kRegPageD || page > kRegPageT) return plan;
    if (page == kRegPageC32 && family == 0) {
        // The smallest family's counters go one at a time.
        for (int c : kHighSpeedCounterList) plan.push_back({C32Addr(c - 200), c - 200, 1});
        return plan;
    }
    // Every run of registers the view offers: a read moves all it shows, a
    // write all it lets the user change (never the special registers).
    auto moves = [&](int n) { return RegisterInUse(page, family, n) && (read || !SpecialRegister(page, family, n)); };
    std::uint16_t (*address)(int) = page == kRegPageD ? DRegisterAddress : page == kRegPageC ? CAddr
                                  : page == kRegPageC32 ? C32Addr : TAddr;
    const int step = page == kRegPageD && family == 1 && read ? 16 : 8;
    const int cells = RegPageCells(page, family);
    for (int n = 0; n < cells; ++n) {
        if (!moves(n)) continue;
        int last = n;
        while (last + 1 < cells && moves(last + 1)) ++last;
        AddBlocks(plan, n, last, step, address);
        n = last;
    }
    return plan;
}

TRegisterTransfer::TRegisterTransfer(TTransData& link, TRegisterHost& host) : link_(link), host_(host) {
    link_.RegisterJob(kJobRegisterView, this);
}

TRegisterTransfer::~TRegisterTransfer() {
    // The view goes: a transfer of its data must not outlive it.
    if (Running()) link_.CancelJob();
    link_.RegisterJob(kJobRegisterView, nullptr);
}

bool TRegisterTransfer::Start(TRegisterData& data, int page, bool read, int family) {
    // One job at a time: this one's own runs on, another is said to run.
    if (link_.JobNo == kJobRegisterView || !link_.MayPutRequests()) return false;
    if (link_.Monitoring()) {
        // Asked whether to stop it; either way the user starts again.
        host_.CheckStopMonitor();
        return false;
    }
    if (page < kRegPageD || page > kRegPageT || family < 0 || family >= kFamilyCount) return false;
    if (!link_.OpenPort()) return false;
    data_ = &data;
    page_ = page;
    family_ = family;
    read_ = read;
    plan_.clear();
    values_ = PageValues(data, page);  // a write sends the page as it is now
    CommState = kStateIdentify;
    CommOffset = 0;
    host_.TransferRunning(true, false);
    link_.StartJob(kJobRegisterView, 0);
    return true;
}

void TRegisterTransfer::Cancel() {
    if (!Running()) return;
    link_.CancelJob();
    // A write stopped half-way leaves the PLC holding part of the page.
    Finish(read_ ? kMsgCancelled : kMsgWriteStopped, false);
}

void TRegisterTransfer::Aborted(TTransData&) {
    // The link ended the job (time-out, exception, bad frame) and reports it;
    // whatever was read so far is dropped.
    CommState = kStateIdle;
    data_ = nullptr;
    values_.clear();
    host_.TransferRunning(false, false);
}

void TRegisterTransfer::RequestStep(TTransData&) {
    switch (CommState) {
    case kStateIdentify: link_.SendCommand(kD1001, 3, 3); break;
    case kStateRead:
    case kStateWrite: SendBlock(); break;
    default: break;
    }
}

void TRegisterTransfer::ReplyStep(TTransData&) {
    if (!data_) return;
    switch (CommState) {
    case kStateIdentify: IdentifyReply(); break;
    case kStateRead:
    case kStateWrite: BlockReply(); break;
    default: break;
    }
}

void TRegisterTransfer::IdentifyReply() {
    const std::uint16_t type = TTransData::ReplyWord(0);
    if (!link_.DecodePlcType(type)) {
        Finish(kMsgUnknownPlcType, false, " (D1001 = H" + Hex4(type) + ")");
        return;
    }
    if (link_.PlcFamilyClass != family_) {
        Finish(kMsgRegOtherModel, false);
        return;
    }
    // Older family 0 PLCs end at D1143 (the page loses its rows past it).
    LimitDevicesForPlc(link_.PlcFamilyClass, link_.PlcModelCode);
    plan_ = RegisterTransferPlan(page_, family_, read_);
    CommState = read_ ? kStateRead : kStateWrite;
    CommOffset = 0;
    host_.StartProgress(read_ ? kMsgRegReading : kMsgRegWriting, static_cast<int>(plan_.size()));
    if (plan_.empty()) Finish(read_ ? kMsgRegReadDone : kMsgRegWriteDone, false);
}

void TRegisterTransfer::SendBlock() {
    if (CommOffset >= plan_.size()) return;
    const TRegBlock& b = plan_[CommOffset];
    if (read_) {
        link_.SendCommand(b.address, static_cast<std::uint16_t>(b.count), 3);
        return;
    }
    std::uint32_t n = 0;
    for (int i = 0; i < b.count; ++i) {
        const std::uint32_t v = values_[static_cast<std::size_t>(b.first + i)];
        if (page_ == kRegPageC32) {
            // A high-speed counter is one register of 4 bytes, most significant first.
            gCommData[n++] = static_cast<std::uint8_t>(v >> 24);
            gCommData[n++] = static_cast<std::uint8_t>(v >> 16);
        }
        gCommData[n++] = static_cast<std::uint8_t>(v >> 8);
        gCommData[n++] = static_cast<std::uint8_t>(v);
    }
    gCommDataLen = n;
    link_.SendCommand(b.address, static_cast<std::uint16_t>(b.count), 16);
}

void TRegisterTransfer::BlockReply() {
    if (CommOffset >= plan_.size()) return;
    const TRegBlock& b = plan_[CommOffset];
    if (read_) {
        const int width = page_ == kRegPageC32 ? 4 : 2;
        const int bytes = width * b.count;
        // The link took only a reply carrying exactly the bytes asked for;
        // anything else is no data for these registers.
        if (gCommDataLen < static_cast<std::uint32_t>(3 + bytes) || gCommData[1] != bytes) {
            link_.CancelJob();
            Finish(kMsgBadFrame, false);
            return;
        }
        const std::uint8_t* p = gCommData + 2;
        for (int i = 0; i < b.count; ++i, p += width) {
            std::uint32_t v = 0;
            for (int k = 0; k < width; ++k) v = v << 8 | p[k];
            values_[static_cast<std::size_t>(b.first + i)] = v;
        }
    }
    ++CommOffset;
    Progress();
    if (CommOffset < plan_.size()) return;
    if (read_) StorePage(*data_, page_, values_);
    Finish(read_ ? kMsgRegReadDone : kMsgRegWriteDone, read_);
}

void TRegisterTransfer::Progress() { host_.SetProgress(static_cast<int>(CommOffset)); }

void TRegisterTransfer::Finish(int msgId, bool stored, const std::string& detail) {
    CommState = kStateIdle;
    data_ = nullptr;
    values_.clear();
    if (link_.JobNo == kJobRegisterView) link_.EndJob();
    link_.Frame->CloseProgress();
    host_.TransferRunning(false, stored);
    if (msgId) link_.ShowMessage(msgId, detail);
}

}  // namespace qel::link
