#include "serial/Dispatcher.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "serial/Serialerrors.h"

namespace qel {

namespace {

std::mutex gPortListSection;
std::vector<TBaseDispatcher*> gPortList;

constexpr uint32_t Index(uint64_t pos, uint32_t size) { return uint32_t(pos % size); }

}  // namespace

// ---------------------------------------------------------------- port list

TBaseDispatcher::TBaseDispatcher(TCustomComPort* owner) : Owner_(owner) {
    std::lock_guard lock(gPortListSection);
    auto it = std::find(gPortList.begin(), gPortList.end(), nullptr);
    if (it != gPortList.end()) {
        *it = this;
        Handle_ = int32_t(it - gPortList.begin());
    } else {
        gPortList.push_back(this);
        Handle_ = int32_t(gPortList.size() - 1);
    }
}

TBaseDispatcher::~TBaseDispatcher() {
    // The device layer's destructor has already stopped its threads; nothing
    // of this object is touched by another thread any more.
    std::lock_guard lock(gPortListSection);
    if (Handle_ >= 0 && size_t(Handle_) < gPortList.size()) gPortList[size_t(Handle_)] = nullptr;
    while (!gPortList.empty() && gPortList.back() == nullptr) gPortList.pop_back();
}

TBaseDispatcher* TBaseDispatcher::GetTComRecPtr(int32_t handle) {
    std::lock_guard lock(gPortListSection);
    if (handle < 0 || size_t(handle) >= gPortList.size()) return nullptr;
    return gPortList[size_t(handle)];
}

// ---------------------------------------------------------------- lifecycle

int32_t TBaseDispatcher::InitPort(const std::string& device, int32_t baud, uint32_t parity, uint8_t dataBits,
                                  uint8_t stopBits, uint32_t inSize, uint32_t outSize, uint32_t flowOptions) {
    if (ComOpen_ || DispActive_) return ecAlreadyOpen;
    EventBusy_ = false;
    KillThreads_ = false;
    ClosePending_ = false;
    LostError_ = 0;
    if (outSize == 0) outSize = 1;

    int32_t rc = OpenCom(device, inSize, outSize);
    if (rc < 0) return rc;
    ComOpen_ = true;

    auto fail = [this](int32_t code) {
        DonePort();
        return code;
    };
    if (int32_t e = SetupCom(inSize, outSize); e < 0) return fail(e);

    try {
        DispatchBuffer_ = std::make_unique<uint8_t[]>(DispatchBufferSize);
        std::lock_guard lock(OutputSection);
        OutBuffer_ = std::make_unique<uint8_t[]>(outSize);
        OutHead_ = OutTail_ = 0;
        OutQueSize_ = outSize;
    } catch (const std::bad_alloc&) {
        return fail(-8);
    }
    InQueSize_ = inSize;
    LineErrors_ = 0;
    OutputWritten_ = false;
    {
        std::lock_guard lock(DispatchSection);
        DispatchHead_ = DispatchTail_ = ScanPos_ = LastAvailPos_ = 0;
        InAvailMessage_ = false;
        AvailReadCount_ = AvailConsumed_ = 0;
    }
    {
        std::lock_guard lock(DataSection);
        GetComState(LineDCB_);
    }
    if (flowOptions & 0x10) {
        DtrFlow_ = true;
    } else {
        DtrFlow_ = false;
        if (int32_t e = SetDtr(flowOptions & 0x01); e < 0) return fail(e);
    }
    if (flowOptions & 0x20) {
        RtsFlow_ = true;
    } else {
        RtsFlow_ = false;
        if (int32_t e = SetRts(flowOptions & 0x02); e < 0) return fail(e);
    }
    RemoveAllTriggers();
    ModemStatus_ = 0;
    GetModemStatusPrim(0xF0);

    LastBaud_ = 115200;
    LineWritten_ = false;
    if (int32_t e = SetLine(baud, parity, dataBits, stopBits); e != 0) return fail(e);
    RefreshStatus();
    if (int32_t e = StartDispatcher(); e != 0) return fail(e);
    return 0;
}

bool TBaseDispatcher::DonePort() {
    if (!ComOpen_) {
        DonePortPrim();
        return true;
    }
    if (!ClosePending_) {
        // Output that left completely needs no purge; a purge of the device
        // would then only hit bytes the peer has not read yet (a
        // pseudo-terminal's purge reaches into the other side).
        const bool drained = LostError_ == 0 && DispActive_ && DrainOutput();
        if (!drained) FlushOutBuffer();
        FlushInBuffer();
    }
    bool running = false;
    {
        std::lock_guard lock(DeliveryMutex_);
        running = CurrentDelivery_ && CurrentDelivery_->GetState() == TDelivery::dsRunning;
    }
    // A handler called on the dispatcher thread itself cannot join it either.
    running = running || std::this_thread::get_id() == DispThreadId_.load();
    if (running) {
        // Called from inside the handler: the dispatcher thread is waiting for
        // it to return. Tell the threads to end; the owner finishes the
        // teardown with DonePortPrim once the handler has returned.
        ClosePending_ = true;
        KillThreads_ = true;
        WakeThreads();
        return false;
    }
    DonePortPrim();
    return true;
}

bool TBaseDispatcher::DrainOutput() {
    // Lets what is queued leave before the port closes, both the ring and what
    // the driver still holds: a purge of the driver discards bytes that were
    // written but not yet sent (on a pseudo-terminal, bytes the peer has not
    // read yet). A slow reader gets as long as the bytes need at the line's
    // speed plus a margin; a peer that stopped reading costs that and no
    // more. True when everything has left.
    uint64_t pending = uint64_t(OutBuffUsed()) + DriverOutQueue();
    if (pending == 0) return true;
    TLineDCB dcb;
    {
        std::lock_guard lock(DataSection);
        dcb = LineDCB_;
    }
    const int64_t deadline = SerialNowMs() + int64_t(DrainBoundMs(pending, LastBaud_, dcb));
    while (pending > 0 && LostError_ == 0 && SerialNowMs() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        pending = uint64_t(OutBuffUsed()) + DriverOutQueue();
    }
    return pending == 0;
}

void TBaseDispatcher::DonePortPrim() {
    // Threads first, the device last: a closed descriptor number may be reused
    // at once by another open() in this process.
    KillThreads_ = true;
    CancelPendingDelivery();
    if (DispActive_) StopDispatcher();
    if (ComOpen_) {
        CloseCom();
        ComOpen_ = false;
    }
    FreeRings();
    ClosePending_ = false;
}

void TBaseDispatcher::FreeRings() {
    {
        std::lock_guard lock(OutputSection);
        OutBuffer_.reset();
        OutHead_ = OutTail_ = 0;
    }
    std::lock_guard lock(DispatchSection);
    DispatchBuffer_.reset();
    DispatchHead_ = DispatchTail_ = ScanPos_ = LastAvailPos_ = 0;
}

void TBaseDispatcher::MarkDeviceLost(int err) {
    int32_t expected = 0;
    if (!LostError_.compare_exchange_strong(expected, -(err ? err : 5))) return;
    std::lock_guard lock(OutputSection);
    OutTail_ = OutHead_;  // nobody will take these bytes any more
}

// ---------------------------------------------------------------- line

uint32_t TBaseDispatcher::CharBits(const TLineDCB& dcb) {
    // Start bit, data bits, parity bit, and one or two stop bits (one and a
    // half counted as two).
    return dcb.ByteSize + 2u + (dcb.Parity ? 1u : 0u) + (dcb.StopBits != 0 ? 1u : 0u);
}

uint32_t TBaseDispatcher::DrainBoundMs(uint64_t bytes, uint32_t baud, const TLineDCB& dcb) {
    if (baud == 0) baud = 1;
    const uint64_t lineMs = (bytes * CharBits(dcb) * 1000 + baud - 1) / baud;
    return uint32_t(std::min<uint64_t>(lineMs + kDrainMarginMs, UINT32_MAX));
}

uint32_t TBaseDispatcher::TxMarginMs(uint32_t baud, const TLineDCB& dcb) {
    if (baud == 0) baud = 1;
    uint64_t t = 10000000ull / baud * CharBits(dcb);  // one character in 100 ns units
    uint64_t x = 18 * t;
    if (x < 10000) x = 36 * t;
    return uint32_t((x + 9999) / 10000);
}

int32_t TBaseDispatcher::WaitTxSent() {
    using namespace std::chrono;
    // Wait for the ring and then the driver's queue, so a line change never
    // garbles the last characters. Bounded, so a peer that stops reading
    // cannot hold the caller for ever.
    const auto deadline = steady_clock::now() + milliseconds(10000);
    bool drained = false;
    while (steady_clock::now() < deadline) {
        if (LostError_ != 0) return 0;
        if (OutBuffUsed() == 0 && DriverOutQueue() == 0) {
            drained = true;
            break;
        }
        std::this_thread::sleep_for(milliseconds(2));
    }
    TLineDCB dcb;
    {
        std::lock_guard lock(DataSection);
        dcb = LineDCB_;
    }
    std::this_thread::sleep_for(milliseconds(TxMarginMs(LastBaud_, dcb)));
    if (!drained) {
        FlushCom(0);
        return -110;  // ETIMEDOUT: the output could not drain and was discarded
    }
    return 0;
}

int32_t TBaseDispatcher::SetLine(int32_t baud, uint32_t parity, uint8_t dataBits, uint8_t stopBits) {
    TLineDCB want;
    {
        std::lock_guard lock(DataSection);
        if (int32_t e = GetComState(LineDCB_); e < 0) return e;
        want = LineDCB_;
    }
    if (baud != 0) want.Baud = uint32_t(baud);
    if (parity != 5) {
        if (parity > 4) return ecBadArgument;
        want.Parity = uint8_t(parity);
    }
    if (dataBits != 9) {
        if (dataBits < 5 || dataBits > 8) return ecByteSize;
        want.ByteSize = dataBits;
    }
    if (stopBits != 3) {
        if (stopBits < 1) stopBits = 1;
        if (stopBits > 2) stopBits = 2;
        want.StopBits = stopBits == 1 ? 0 : 2;
    }
    if (want.ByteSize == 5 && (stopBits != 3 || dataBits == 5)) want.StopBits = 1;

    {
        std::lock_guard lock(DataSection);
        if (LineWritten_ && want.Baud == LineDCB_.Baud && want.Parity == LineDCB_.Parity &&
            want.ByteSize == LineDCB_.ByteSize && want.StopBits == LineDCB_.StopBits)
            return 0;
    }
    // Nothing of ours can be on the line before the first write of an opening.
    int32_t waited = LineWritten_ ? WaitTxSent() : 0;
    std::lock_guard lock(DataSection);
    TLineDCB dcb = LineDCB_;
    dcb.Baud = want.Baud;
    dcb.Parity = want.Parity;
    dcb.ByteSize = want.ByteSize;
    dcb.StopBits = want.StopBits;
    int32_t rc = SetCommStateFix(dcb);
    return rc != 0 ? rc : waited;
}

// DataSection held.
int32_t TBaseDispatcher::SetCommStateFix(TLineDCB& dcb) {
    if (!DtrFlow_) dcb.DtrControl = DtrState_ ? 1 : 0;
    if (!RtsFlow_) dcb.RtsControl = RtsState_ ? 1 : 0;
    int32_t rc = SetComState(dcb);
    if (rc == 0) {
        LineDCB_ = dcb;
        LastBaud_ = dcb.Baud;
        LineWritten_ = true;
    }
    if (!DtrFlow_) EscapeComFunction(DtrState_ ? efSetDtr : efClrDtr);
    if (!RtsFlow_) EscapeComFunction(RtsState_ ? efSetRts : efClrRts);
    return rc;
}

int32_t TBaseDispatcher::GetLine(int32_t& baud, uint16_t& parity, uint8_t& dataBits, uint8_t& stopBits) {
    std::lock_guard lock(DataSection);
    if (int32_t e = GetComState(LineDCB_); e < 0) return e;
    baud = int32_t(LineDCB_.Baud);
    parity = LineDCB_.Parity;
    dataBits = LineDCB_.ByteSize;
    stopBits = LineDCB_.StopBits == 0 ? 1 : 2;
    return 0;
}

void TBaseDispatcher::BufferSizes(uint32_t& inSize, uint32_t& outSize) const {
    inSize = InQueSize_;
    outSize = OutQueSize_;
}

int32_t TBaseDispatcher::SetCommBuffers(uint32_t inSize, uint32_t outSize) { return SetupCom(inSize, outSize); }

// ---------------------------------------------------------------- status

int32_t TBaseDispatcher::GetComError(TComStatus& stat) {
    int32_t flags = GetComErrorPrim(stat);
    std::lock_guard lock(OutputSection);
    stat.OutQue = OutRingUsed_locked();
    return flags;
}

void TBaseDispatcher::RefreshStatus() {
    TComStatus st;
    int32_t flags = GetComError(st);
    std::lock_guard lock(DataSection);
    ComStatus_ = st;
    if (flags > 0) LineErrors_ |= uint32_t(flags) & 0x1F;
}

// DataSection must not be held.
uint8_t TBaseDispatcher::GetModemStatusPrim(uint8_t clearMask) {
    uint8_t lines = ModemLines() & 0xF0;
    std::lock_guard lock(DataSection);
    uint8_t old = ModemStatus_;
    uint8_t changed = uint8_t(((old ^ lines) & 0xF0) >> 4);
    ModemStatus_ = uint8_t(lines | (old & 0x0F) | changed);
    uint8_t result = ModemStatus_;
    ModemStatus_ &= clearMask;
    return result;
}

uint8_t TBaseDispatcher::GetModemStatus() { return GetModemStatusPrim(0xF0); }
bool TBaseDispatcher::CheckCTS() { return GetModemStatusPrim(0xFE) & 0x10; }
bool TBaseDispatcher::CheckDSR() { return GetModemStatusPrim(0xFD) & 0x20; }
bool TBaseDispatcher::CheckRI() { return GetModemStatusPrim(0xFB) & 0x40; }
bool TBaseDispatcher::CheckDCD() { return GetModemStatusPrim(0xF7) & 0x80; }
bool TBaseDispatcher::CheckDeltaCTS() { return GetModemStatusPrim(0xFF) & 0x01; }
bool TBaseDispatcher::CheckDeltaDSR() { return GetModemStatusPrim(0xFF) & 0x02; }
bool TBaseDispatcher::CheckTE() { return GetModemStatusPrim(0xFF) & 0x04; }
bool TBaseDispatcher::CheckDeltaDCD() { return GetModemStatusPrim(0xFF) & 0x08; }

int32_t TBaseDispatcher::GetLineError() {
    RefreshStatus();
    std::lock_guard lock(DataSection);
    static constexpr struct { uint32_t bit; int32_t code; } kOrder[] = {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {16, 9}};
    for (const auto& o : kOrder) {
        if (LineErrors_ & o.bit) {
            LineErrors_ &= 16;  // keep the break flag for CheckLineBreak
            return o.code;
        }
    }
    return 0;
}

bool TBaseDispatcher::CheckLineBreak() {
    RefreshStatus();
    std::lock_guard lock(DataSection);
    bool b = LineErrors_ & 16;
    LineErrors_ &= ~16u;
    return b;
}

void TBaseDispatcher::SendBreak(uint32_t ticks) {
    SetBreakPrim(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(ticks * kTickMs));
    SetBreakPrim(false);
}

void TBaseDispatcher::SetBreak(bool on) { SetBreakPrim(on); }

int32_t TBaseDispatcher::SetDtr(bool on) {
    if (DtrFlow_) return 1;
    if (EscapeComFunction(on ? efSetDtr : efClrDtr) != 0) return ecBadArgument;
    DtrState_ = on;
    return 0;
}

int32_t TBaseDispatcher::SetRts(bool on) {
    if (RtsFlow_) return 1;
    if (EscapeComFunction(on ? efSetRts : efClrRts) != 0) return ecBadArgument;
    RtsState_ = on;
    return 0;
}

int32_t TBaseDispatcher::SetModem(bool dtr, bool rts) {
    int32_t rc = SetDtr(dtr);
    if (rc == 0) SetRts(rts);
    return rc;
}

// ---------------------------------------------------------------- flow control

int32_t TBaseDispatcher::HWFlowOptions(uint16_t bufferFull, uint16_t bufferResume, uint32_t options) {
    if (!(bufferResume <= bufferFull && bufferFull <= InQueSize_)) return ecBadArgument;
    std::lock_guard lock(DataSection);
    TLineDCB dcb = LineDCB_;
    DtrFlow_ = options & 1;
    RtsFlow_ = options & 2;
    dcb.DtrControl = DtrFlow_ ? 2 : (DtrState_ ? 1 : 0);
    dcb.RtsControl = RtsFlow_ ? 2 : (RtsState_ ? 1 : 0);
    dcb.OutxDsrFlow = options & 4;
    dcb.OutxCtsFlow = options & 8;
    dcb.XoffLim = uint16_t(InQueSize_ - bufferFull);
    dcb.XonLim = bufferResume;
    return SetCommStateFix(dcb);
}

int32_t TBaseDispatcher::HWFlowState() {
    TLineDCB dcb;
    {
        std::lock_guard lock(DataSection);
        dcb = LineDCB_;
    }
    bool dtrHs = dcb.DtrControl == 2, rtsHs = dcb.RtsControl == 2;
    if (!dtrHs && !rtsHs && !dcb.OutxDsrFlow && !dcb.OutxCtsFlow) return 1;
    if (!dtrHs && !rtsHs) return 2;
    RefreshStatus();
    std::lock_guard lock(DataSection);
    if (dcb.OutxCtsFlow && (ComStatus_.Flags & 1)) return 4;
    if (dcb.OutxDsrFlow && (ComStatus_.Flags & 2)) return 3;
    return 2;
}

int32_t TBaseDispatcher::SWFlowEnable(uint16_t bufferFull, uint16_t bufferResume, uint32_t options) {
    if (!(bufferResume <= bufferFull && bufferFull <= InQueSize_)) return ecBadArgument;
    std::lock_guard lock(DataSection);
    TLineDCB dcb = LineDCB_;
    dcb.InX = options & 2;
    dcb.OutX = options & 1;
    dcb.XoffLim = uint16_t(InQueSize_ - bufferFull);
    dcb.XonLim = bufferResume;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return SetCommStateFix(dcb);
}

int32_t TBaseDispatcher::SWFlowDisable() {
    std::lock_guard lock(DataSection);
    TLineDCB dcb = LineDCB_;
    dcb.InX = dcb.OutX = false;
    return SetCommStateFix(dcb);
}

int32_t TBaseDispatcher::SWFlowState() {
    TLineDCB dcb;
    {
        std::lock_guard lock(DataSection);
        dcb = LineDCB_;
    }
    if (!dcb.InX && !dcb.OutX) return 1;
    RefreshStatus();
    std::lock_guard lock(DataSection);
    bool held = ComStatus_.Flags & 8, sent = ComStatus_.Flags & 16;
    if (held && sent) return 8;
    if (held) return 6;
    if (sent) return 7;
    return 2;
}

int32_t TBaseDispatcher::SWFlowChars(uint8_t on, uint8_t off) {
    std::lock_guard lock(DataSection);
    TLineDCB dcb = LineDCB_;
    dcb.XonChar = on;
    dcb.XoffChar = off;
    return SetCommStateFix(dcb);
}

// ---------------------------------------------------------------- input
// Inside a running characters-available or data notification, reads do not
// move DispatchTail: they count AvailReadCount from it, and the tail moves
// once, when the handler returns.

bool TBaseDispatcher::CharReady() {
    std::lock_guard lock(DispatchSection);
    if (!DispatchBuffer_) return false;
    uint32_t off = InAvailMessage_ ? AvailReadCount_ : 0;
    return Readable_locked() > off;
}

int32_t TBaseDispatcher::PeekChar(uint8_t& c, uint32_t position) {
    std::lock_guard lock(DispatchSection);
    uint32_t off = InAvailMessage_ ? AvailReadCount_ : 0;
    if (!DispatchBuffer_ || position == 0 || uint64_t(off) + position > Readable_locked()) return ecBufferIsEmpty;
    c = DispatchBuffer_[Index(DispatchTail_ + off + position - 1, DispatchBufferSize)];
    return 0;
}

int32_t TBaseDispatcher::GetChar(uint8_t& c) {
    bool wake = false;
    {
        std::lock_guard lock(DispatchSection);
        if (!DispatchBuffer_) return ecBufferIsEmpty;
        if (InAvailMessage_) {
            if (AvailReadCount_ >= Readable_locked()) return ecBufferIsEmpty;
            c = DispatchBuffer_[Index(DispatchTail_ + AvailReadCount_, DispatchBufferSize)];
            ++AvailReadCount_;
            return 0;
        }
        if (Readable_locked() == 0) return ecBufferIsEmpty;
        wake = Readable_locked() == DispatchBufferSize;
        c = DispatchBuffer_[Index(DispatchTail_, DispatchBufferSize)];
        ++DispatchTail_;
    }
    if (wake) WakeThreads();
    return 0;
}

int32_t TBaseDispatcher::PeekBlock(void* block, uint32_t len) {
    std::lock_guard lock(DispatchSection);
    uint32_t off = InAvailMessage_ ? AvailReadCount_ : 0;
    if (!DispatchBuffer_ || uint64_t(off) + len > Readable_locked()) return ecBufferIsEmpty;
    auto* out = static_cast<uint8_t*>(block);
    uint32_t start = Index(DispatchTail_ + off, DispatchBufferSize);
    uint32_t first = std::min(len, DispatchBufferSize - start);
    std::memcpy(out, &DispatchBuffer_[start], first);
    std::memcpy(out + first, &DispatchBuffer_[0], len - first);
    return int32_t(len);
}

int32_t TBaseDispatcher::GetBlock(void* block, uint32_t len) {
    int32_t rc = PeekBlock(block, len);
    if (rc < 0) return rc;
    bool wake = false;
    {
        std::lock_guard lock(DispatchSection);
        if (InAvailMessage_) {
            AvailReadCount_ += len;
        } else {
            wake = Readable_locked() == DispatchBufferSize && len > 0;
            DispatchTail_ += len;
        }
    }
    if (wake) WakeThreads();
    return rc;
}

uint32_t TBaseDispatcher::InBuffUsed() {
    std::lock_guard lock(DispatchSection);
    uint32_t used = Readable_locked();
    if (InAvailMessage_) used -= std::min(used, AvailReadCount_);
    return used;
}

uint32_t TBaseDispatcher::InBuffFree() { return DispatchBufferSize - InBuffUsed(); }

int32_t TBaseDispatcher::FlushInBuffer() {
    int32_t rc = ComOpen_ ? FlushCom(1) : 0;
    ResetDataTriggers();
    bool wake = false;
    {
        std::lock_guard lock(DispatchSection);
        // Flushed characters are neither announced nor offered to the data
        // triggers: the scan and announce positions jump past them too.
        if (InAvailMessage_) {
            AvailConsumed_ = Readable_locked();
            AvailReadCount_ = AvailConsumed_;
        } else {
            wake = Readable_locked() == DispatchBufferSize;
            DispatchTail_ = DispatchHead_;
            AvailReadCount_ = 0;
        }
        ScanPos_ = std::max(ScanPos_, DispatchHead_);
        LastAvailPos_ = DispatchHead_;
        PendingMatchPos_ = UINT64_MAX;
    }
    if (wake) WakeThreads();
    return rc;
}

// ---------------------------------------------------------------- output

int32_t TBaseDispatcher::PutBlock(const void* block, uint32_t len) {
    if (len == 0) return 0;
    if (int32_t lost = LostError_.load(); lost != 0) return lost;
    TComStatus st;
    int32_t flags = GetComError(st);
    {
        std::lock_guard lock(DataSection);
        ComStatus_ = st;
        if (flags > 0) LineErrors_ |= uint32_t(flags) & 0x1F;
    }
    std::lock_guard lock(OutputSection);
    if (!OutBuffer_) return ecCommNotOpen;
    uint32_t freeSpace = OutQueSize_ - OutRingUsed_locked();
    if (len > freeSpace) return ecOutputBufferTooSmall;
    if (WriteCom(static_cast<const uint8_t*>(block), len) <= 0) {
        return ecPutBlockFail;
    }
    OutputWritten_ = true;
    return 0;
}

// OutputSection held.
int32_t TBaseDispatcher::WriteCom(const uint8_t* block, uint32_t len) {
    uint32_t start = Index(OutHead_, OutQueSize_);
    uint32_t first = std::min(len, OutQueSize_ - start);
    std::memcpy(&OutBuffer_[start], block, first);
    std::memcpy(&OutBuffer_[0], block + first, len - first);
    OutHead_ += len;
    OutputQueued();
    return int32_t(len);
}

uint32_t TBaseDispatcher::OutBuffUsed() {
    std::lock_guard lock(OutputSection);
    return OutRingUsed_locked();
}

uint32_t TBaseDispatcher::OutBuffFree() {
    std::lock_guard lock(OutputSection);
    return OutQueSize_ - OutRingUsed_locked();
}

int32_t TBaseDispatcher::FlushOutBuffer() { return FlushCom(0); }

int32_t TBaseDispatcher::FlushCom(int queue) {
    if (queue == 0) {
        // The output thread copies to the device and advances OutTail in one
        // step under OutputSection, so emptying the ring here needs no
        // hand-shake with it.
        std::lock_guard lock(OutputSection);
        OutTail_ = OutHead_;
        return ComOpen_ ? FlushComPrim(0) : 0;
    }
    return ComOpen_ ? FlushComPrim(1) : 0;
}

}  // namespace qel
