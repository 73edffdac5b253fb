#include "link/engine/Transdata.h"

#include "core/DeviceLimits.h"

#include <algorithm>
#include <cstring>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace qel::link {

std::uint8_t gCommData[kCommDataMax];
std::uint32_t gCommDataLen = 0;
std::uint8_t gLadderMonitorRefresh = 0;
std::uint8_t gDevMonitorRefresh = 0;
std::uint8_t gSfcMonitorRefresh = 0;
TTransData* _TransData = nullptr;

namespace {
constexpr std::uint16_t kC32First = 0x0EC8;  // C200..C255 travel as 4-byte registers
constexpr std::uint16_t kC32Last = 0x0EFF;
constexpr std::uint16_t kD1001 = 5097;
constexpr std::uint16_t kD1010 = 5106;
constexpr std::uint16_t kD1024 = 0x1400;
constexpr std::uint16_t kM1072 = 3120;
constexpr int kMaxResends = 3;
constexpr int kStatusPollEvery = 20;
constexpr std::uint8_t kSubBlockRead = 24;
constexpr std::uint8_t kSubBlockWrite = 17;
// Steps of the PLC information query.
constexpr int kInfoStepType = 255;
constexpr int kInfoStepVariant = 23;
// Function 100 requests that send a password or are answered with one: the
// PLC's (set, enter) and the card's (set, read).
constexpr std::uint8_t kSubSetPassword = 11, kSubEnterPassword = 13, kSubCardSetPassword = 16,
                       kSubCardReadPassword = 19;
// Where a family 0 PLC keeps its password: D1013-D1014.
constexpr std::uint16_t kPasswordRegFirst = 0x13F5, kPasswordRegLast = 0x13F6;
// Answers kept to recognise a repeated one. A repeat older than these is
// still never taken for another request's answer where the two differ; it is
// resent then, as a bad frame, instead of waited out.
constexpr std::size_t kAnsweredKept = 16;
constexpr char kAck = '\x06';
// The pause variant 2 PLCs need between a reply and the next request.
constexpr int kVariant2PauseMs = 5;

bool IsC32(std::uint16_t a) { return a >= kC32First && a <= kC32Last; }

}  // namespace

bool TTransData::ReachesPasswordRegisters(std::uint16_t first, std::uint32_t count) {
    const std::uint32_t last = first + std::max<std::uint32_t>(count, 1) - 1;
    return first <= kPasswordRegLast && last >= kPasswordRegFirst;
}

bool TTransData::WordValuesReachPassword(const std::uint16_t* entries, std::uint32_t n) {
    return std::any_of(entries, entries + n, [](std::uint16_t e) { return ReachesPasswordRegisters(e, 2); });
}

TTransData::TTransData(TLinkPort* port, TLinkFrame* frame, QObject* parent)
    : QObject(parent), QelCom(port), Frame(frame) {
    ComTmr.setInterval(1);
    ComTmr.setTimerType(Qt::PreciseTimer);  // the tick paces every request: 1 ms, not "about" 1 ms
    ComTmr.setSingleShot(false);
    ReplyTmr.setSingleShot(true);
    connect(&ComTmr, &QTimer::timeout, this, [this] { ComTmrTimer(); });
    connect(&ReplyTmr, &QTimer::timeout, this, [this] { OnReplyTimeout(); });
#ifdef __linux__
    // The kernel may let a thread's timers run up to 50 us late to group
    // wake-ups; with a request after every 1 ms tick that is several per cent
    // of a fast line. This thread's timers run late by 1 us at most.
    ::prctl(PR_SET_TIMERSLACK, 1000UL);
#endif
    QelCom->SetBytesHandler([this](const char* d, std::size_t n) { QelComTrigger(d, n); });
    gCommDataLen = 0;
    gLadderMonitorRefresh = gDevMonitorRefresh = gSfcMonitorRefresh = 0;
}

TTransData::~TTransData() {
    QelCom->SetBytesHandler(nullptr);
    if (_TransData == this) _TransData = nullptr;
}

void TTransData::RegisterJob(int jobNo, TLinkJob* job) { jobs_[jobNo] = job; }

void TTransData::RegisterMonitorClient(const std::string& id, TMonitorClient* client) {
    clients_[id] = client;
}

TLinkJob* TTransData::Job(int no) const {
    auto it = jobs_.find(no);
    return it == jobs_.end() ? nullptr : it->second;
}

TMonitorClient* TTransData::Client(const std::string& id) const {
    auto it = clients_.find(id);
    return it == clients_.end() ? nullptr : it->second;
}

void TTransData::Lamp(LampColor c) { Frame->SetLamp(c); }

bool TTransData::OpenPort() {
    gCommTimeoutTicks = 180;
    if (QelCom->IsOpen()) return true;
    std::string error;
    if (QelCom->Open(&error)) return true;
    QelCom->Close();
    ShowMessage(kMsgOpenFailed, "!! (COM" + std::to_string(QelCom->ComNumber()) + ")");
    return false;
}

bool TTransData::SetLinkBaud(int baud) {
    std::string error;
    if (QelCom->ChangeBaud(baud, &error)) return true;
    const std::string detail = std::to_string(baud) + " (COM" + std::to_string(QelCom->ComNumber()) +
                               ")" + (error.empty() ? "" : ": " + error);
    if (JobNo == kJobFrame && Frame->LinkMode() == 6)
        EndSpeedSearch(kMsgRateFailed, detail);
    else
        ShowMessage(kMsgRateFailed, detail);
    return false;
}

TTransData::Source TTransData::SenderNow() const {
    // Outside the steps only a window starting its job sends.
    return source_ != Source::None ? source_ : Source::Job;
}

void TTransData::ShowMessage(int msgId, const std::string& detail) {
    if (inNotification_ == 0 && heldMessages_.empty()) {
        Frame->ShowLinkMessage(msgId, detail);
        return;
    }
    // Inside the port's notification a box would stop the port's input and
    // its time-outs until closed: show it once the notification has returned.
    heldMessages_.emplace_back(msgId, detail);
    if (heldMessages_.size() == 1)
        QMetaObject::invokeMethod(this, [this] { FlushMessages(); }, Qt::QueuedConnection);
}

void TTransData::FlushMessages() {
    while (!heldMessages_.empty()) {
        const auto [id, detail] = heldMessages_.front();
        heldMessages_.erase(heldMessages_.begin());
        Frame->ShowLinkMessage(id, detail);
    }
}

// ---------------------------------------------------------------------------
// Requests

void TTransData::SendCommand(std::uint16_t address, std::uint16_t countOrValue,
                             std::uint8_t function) {
    Cmd64Mode = 0;
    std::uint8_t bytes[kCommDataMax + 8];
    std::size_t n = 0;
    bytes[n++] = Frame->StationByte();
    bytes[n++] = function;
    pending_ = Pending{SenderNow(), function, address, countOrValue, 0, -1};
    // A register read or write that reaches the PLC's password registers.
    pending_.secret = secretOverride_ || ((function == 3 || function == 16) && ReachesPasswordRegisters(address, countOrValue)) ||
                      (function == 6 && ReachesPasswordRegisters(address, 1));
    secretOverride_ = false;
    switch (function) {
    case 1:
    case 3:
    case 5:
    case 6:
        bytes[n++] = address >> 8;
        bytes[n++] = address & 0xFF;
        bytes[n++] = countOrValue >> 8;
        bytes[n++] = countOrValue & 0xFF;
        break;
    case 8:
        bytes[n++] = address & 0xFF;  // the sub-function only
        break;
    case 16: {
        bytes[n++] = address >> 8;
        bytes[n++] = address & 0xFF;
        bytes[n++] = countOrValue >> 8;
        bytes[n++] = countOrValue & 0xFF;
        const unsigned perReg = IsC32(address) ? 4 : 2;
        bytes[n++] = static_cast<std::uint8_t>(perReg * countOrValue);
        const std::size_t len = std::min<std::size_t>(gCommDataLen, kCommDataMax);
        std::memcpy(bytes + n, gCommData, len);
        n += len;
        break;
    }
    default:  // 17 and others carry no fields
        break;
    }
    if (function != 16) gCommDataLen = 0;
    if (function == 3 || function == 1)
        pending_.expectBytes = expectOverride_ >= 0 ? expectOverride_
                               : function == 3      ? ExpectedReadBytes(address, countOrValue)
                                                    : (countOrValue + 7) / 8;
    expectOverride_ = -1;
    gCommRetryCount = 0;  // each new request gets its own resends
    SendFrame(bytes, n);
}

void TTransData::SendCmd64(std::uint8_t byte3, std::uint8_t subCode, std::uint8_t length) {
    std::uint8_t bytes[kCommDataMax + 8];
    std::size_t n = 0;
    bytes[n++] = Frame->StationByte();
    bytes[n++] = 100;
    bytes[n++] = byte3;
    bytes[n++] = subCode;
    bytes[n++] = length;
    const std::size_t len = std::min<std::size_t>(length, kCommDataMax);
    std::memcpy(bytes + n, gCommData, len);
    n += len;
    pending_ = Pending{Source::Job, 100, 0, 0, subCode, -1};
    pending_.secret = secretOverride_ || subCode == kSubSetPassword || subCode == kSubEnterPassword ||
                      subCode == kSubCardSetPassword || subCode == kSubCardReadPassword;
    secretOverride_ = false;
    if ((subCode == kSubBlockRead || subCode == kSubBlockWrite) && len >= 4) {
        // A block read or write is answered with its own area, address and
        // word count.
        pending_.blockRead = subCode == kSubBlockRead;
        pending_.blockWrite = subCode == kSubBlockWrite;
        std::memcpy(pending_.blockHead, gCommData, 4);
    }
    expectOverride_ = -1;
    gCommRetryCount = 0;
    Cmd64Mode = 1;
    SendFrame(bytes, n);
}

void TTransData::RequestScanTime() {
    SenderScope sender(*this, Source::StatusPoll);
    SendCommand(kD1010, 1, 3);
}

int TTransData::ExpectedReadBytes(std::uint16_t address, std::uint16_t count) const {
    // Word values of the block monitor come 4 bytes per entry.
    if (BlockMonitor && address >= MonitorBase[4] && address < MonitorBase[4] + 200) return 4 * count;
    int bytes = 0;
    for (unsigned i = 0; i < count; ++i) bytes += IsC32(static_cast<std::uint16_t>(address + i)) ? 4 : 2;
    return bytes;
}

void TTransData::SendFrame(const std::uint8_t* bytes, std::size_t n) {
    const std::string frame = EncodeFrame(bytes, n);
    ComTmr.stop();
    ReplyTmr.start(static_cast<int>(gCommTimeoutTicks * TickMs));
    gCommRxBuf.clear();
    rxOverflow_ = false;
    cancelledReply_ = false;
    if (!QelCom->IsOpen() || QelCom->OutFree() <= frame.size()) return;  // the time-out reports it
    // Whatever came in while nothing was asked (a late or repeated answer)
    // goes now, before it could be taken for the answer to this request.
    QelCom->FlushIn();
    Lamp(LampColor::White);
    ResendFrame = frame;
    QelCom->FlushOut();
    QelCom->Write(frame.data(), frame.size());
    MaySend = 0;
    ++Stats.framesSent;
}

void TTransData::Resend() {
    ++gCommRetryCount;
    ++Stats.resends;
    QelCom->FlushOut();
    ReplyTmr.start(static_cast<int>(gCommTimeoutTicks * TickMs));
    QelCom->Write(ResendFrame.data(), ResendFrame.size());
    MaySend = 0;
}

// ---------------------------------------------------------------------------
// The PC as a slave

void TTransData::SendSlaveReply(std::uint8_t function, std::uint8_t byteCount) {
    std::uint8_t bytes[kCommDataMax + 8];
    std::size_t n = 0;
    bytes[n++] = Frame->StationByte();
    bytes[n++] = function;
    if (function == 16) {
        for (int i = 1; i <= 4; ++i) bytes[n++] = gCommData[i];  // address and count echoed
    } else {
        bytes[n++] = byteCount;
    }
    const std::size_t len = std::min<std::size_t>(gCommDataLen, kCommDataMax);
    std::memcpy(bytes + n, gCommData, len);
    n += len;
    const std::string frame = EncodeFrame(bytes, n);
    if (!QelCom->IsOpen() || QelCom->OutFree() <= frame.size()) return;  // the master asks again
    Lamp(LampColor::White);
    QelCom->Write(frame.data(), frame.size());
    ++Stats.framesSent;
}

void TTransData::CancelJob() {
    ComTmr.stop();
    if (pending_.source == Source::Job || pending_.source == Source::None) {
        // The job's request is forgotten, but its reply may still be on the
        // way. Until it has come (and is dropped) or its time-out has passed,
        // nothing else is sent and the port stays open: closed, the reply
        // would wait in the device and be taken for the answer to the first
        // request of the next opening. A queued write or monitor request
        // keeps its reply and its time-out.
        if (!MaySend && !replyHeld_ && QelCom->IsOpen()) {
            cancelledReply_ = true;
        } else {
            ReplyTmr.stop();
            MaySend = 1;
        }
        pending_ = Pending{};
    }
    EndJob();
    Frame->CloseProgress();
    if (MaySend && QelCom->IsOpen() && (!MonitorClients.empty() || !CoilQueue.Empty() || !RegQueue.Empty()))
        StartComTmr();
    ClosePortIfIdle();
}

bool TTransData::JobWrites() const {
    const TLinkJob* job = Job(JobNo);
    return job && job->Writes();
}

bool TTransData::JobReads() const {
    const TLinkJob* job = Job(JobNo);
    return job && job->Reads();
}

void TTransData::StopJob() {
    if (JobNo == kJobNone) return;
    const bool writes = JobWrites();
    bool told = false;
    if (TLinkJob* job = Job(JobNo)) told = job->Stopped(*this);
    CancelJob();
    if (!told) ShowMessage(writes ? kMsgWriteStopped : kMsgJobStopped, "");
}

// ---------------------------------------------------------------------------
// Write queues

bool TTransData::QueueDeviceWrite(std::uint16_t address, std::uint16_t countOrValue,
                                  std::uint32_t value, std::uint8_t function) {
    bool queued = false;
    if (function == 5) {
        queued = CoilQueue.Push(CoilWrite{address, countOrValue == 0xFF00});
    } else if (function == 16) {
        const bool is32 = countOrValue != 1;
        queued = RegQueue.Push(RegWrite{address, is32, is32 ? value : (value & 0xFFFF)});
    } else {
        return false;
    }
    if (!queued) {
        ShowMessage(kMsgWriteQueueFull, "");
        return false;
    }
    if (QelCom->IsOpen() && !QelCom->CharWaiting() && MaySend) StartComTmr();
    return true;
}

void TTransData::ClearWriteQueues() {
    CoilQueue.Clear();
    RegQueue.Clear();
}

int TTransData::SendNextQueued() {
    int sent = 1;
    auto setup = [this](std::uint8_t& flag, const char* id) {
        flag = 0;
        SenderScope sender(*this, Source::Setup);
        if (TMonitorClient* c = Client(id)) c->SetupStep(*this);
    };
    if (gLadderMonitorRefresh) {
        setup(gLadderMonitorRefresh, "1");
    } else if (gDevMonitorRefresh) {
        setup(gDevMonitorRefresh, "3");
    } else if (gSfcMonitorRefresh) {
        setup(gSfcMonitorRefresh, "2");
    } else if (!CoilQueue.Empty()) {
        const CoilWrite w = CoilQueue.Pop();
        SenderScope sender(*this, Source::QueuedWrite);
        SendCommand(w.address, w.on ? 0xFF00 : 0x0000, 5);
    } else if (!RegQueue.Empty()) {
        const RegWrite w = RegQueue.Pop();
        SenderScope sender(*this, Source::QueuedWrite);
        std::uint16_t count = 1;
        if (!w.is32) {
            gCommData[0] = (w.value >> 8) & 0xFF;
            gCommData[1] = w.value & 0xFF;
            gCommDataLen = 2;
        } else if (!IsC32(w.address)) {
            // Low word first, each word high byte first.
            gCommData[0] = (w.value >> 8) & 0xFF;
            gCommData[1] = w.value & 0xFF;
            gCommData[2] = (w.value >> 24) & 0xFF;
            gCommData[3] = (w.value >> 16) & 0xFF;
            gCommDataLen = 4;
            count = 2;
        } else {
            // A 32-bit counter is one register of 4 bytes, most significant first.
            gCommData[0] = (w.value >> 24) & 0xFF;
            gCommData[1] = (w.value >> 16) & 0xFF;
            gCommData[2] = (w.value >> 8) & 0xFF;
            gCommData[3] = w.value & 0xFF;
            gCommDataLen = 4;
        }
        SendCommand(w.address, count, 16);
    } else {
        sent = 0;
    }
    return sent;
}

// ---------------------------------------------------------------------------
// Scheduler

void TTransData::StartComTmr() {
    if (!ComTmr.isActive()) ComTmr.start();
}

void TTransData::ComTmrTimer() {
    if (Cmd64Mode)
        OnCmd64Timer();
    else
        ComTick();
}

void TTransData::ComTick() {
    ComTmr.stop();
    if (!MaySend) return;  // a reply is awaited
    if (PlcInfoMode) {
        PlcInfoRequest();
        return;
    }
    if (SendNextQueued()) {
        QueuedWriteSent = 1;
        // A set-up with nothing to write must not stall the link.
        if (MaySend) StartComTmr();
        return;
    }
    QueuedWriteSent = 0;
    if (!MonitorClients.empty()) {
        PollNextClient();
        Lamp(LampColor::Aqua);
        return;
    }
    if (TLinkJob* job = Job(JobNo)) {
        SenderScope sender(*this, Source::Job);
        job->RequestStep(*this);
        Lamp(LampColor::Yellow);
    }
    // Nothing left to send (the last client or job went away between
    // replies): the port closes here rather than staying open.
    if (MaySend) ClosePortIfIdle();
}

void TTransData::PollNextClient() {
    if (SendNextQueued()) {
        QueuedWriteSent = 1;
        if (MaySend) StartComTmr();
        return;
    }
    if (ClientIndex >= static_cast<int>(MonitorClients.size())) ClientIndex = 0;
    if (ClientReplyCount == kStatusPollEvery || ClientReplyCount == kStatusPollEvery + 1) {
        SenderScope sender(*this, Source::StatusPoll);
        if (ClientReplyCount == kStatusPollEvery)
            SendCommand(kD1010, 1, 3);
        else
            SendCommand(kM1072, 1, 1);
        return;
    }
    TMonitorClient* c = Client(MonitorClients[ClientIndex]);
    int sent = 0;
    if (c) {
        SenderScope sender(*this, Source::Client);
        sent = c->SendStep(*this);
    }
    if (sent == 0) {
        // Nothing to send: the turn passes, and the tick goes on.
        ClientIndex = (ClientIndex + 1) % static_cast<int>(MonitorClients.size());
        if (MaySend) StartComTmr();
    }
}

void TTransData::HandleClientReply() {
    if (ClientIndex >= static_cast<int>(MonitorClients.size())) ClientIndex = 0;
    if (pending_.source == Source::StatusPoll) {
        if (ClientReplyCount == kStatusPollEvery) {
            Frame->ShowScanTime(ReplyWord(0));
            ClientReplyCount = kStatusPollEvery + 1;
        } else {
            Frame->ShowRunState(gCommData[2] & 1);
            ClientReplyCount = 0;
        }
        // The next request follows at once, as after a client's own reply.
        ComTick();
        return;
    }
    const std::string id = MonitorClients[ClientIndex];
    TMonitorClient* c = Client(id);
    const int done = c ? c->ReplyStep(*this) : 1;
    if (id != "7") ++ClientReplyCount;
    if (done && !MonitorClients.empty())
        ClientIndex = (ClientIndex + 1) % static_cast<int>(MonitorClients.size());
    if (ComTmr.isActive()) ComTick();
}

void TTransData::DispatchReply() {
    const Source src = pending_.source;
    SenderScope sender(*this, src == Source::None ? Source::Job : src);
    switch (src) {
    case Source::InfoQuery:
        PlcInfoReply();
        break;
    case Source::Setup:
    case Source::QueuedWrite:
        break;  // the reply of a write is not looked at
    case Source::Client:
    case Source::StatusPoll:
        if (!MonitorClients.empty()) HandleClientReply();
        break;
    case Source::Job:
    case Source::None:
        if (TLinkJob* job = Job(JobNo)) job->ReplyStep(*this);
        break;
    }
}

void TTransData::PlcInfoRequest() {
    SenderScope sender(*this, Source::InfoQuery);
    if (PlcInfoStep == kInfoStepVariant)
        SendCommand(kD1024, 1, 3);
    else
        SendCommand(kD1001, 3, 3);
}

void TTransData::PlcInfoReply() {
    if (PlcInfoStep != kInfoStepVariant) {
        // An older PLC's shorter D range holds for the monitors' pairs too.
        if (DecodePlcType(ReplyWord(0))) LimitDevicesForPlc(PlcFamilyClass, PlcModelCode);
        PlcInfoStep = kInfoStepVariant;
        return;
    }
    PlcVariant = ReplyWord(0);
    static constexpr std::uint16_t kStd[5] = {3072, 16384, 16584, 16604, 16784};
    static constexpr std::uint16_t kAlt[5] = {3128, 17084, 17284, 17304, 17484};
    std::copy(std::begin(PlcVariant == 2 ? kAlt : kStd), std::end(PlcVariant == 2 ? kAlt : kStd),
              MonitorBase);
    Frame->ShowPlcVariant(PlcVariant);
    BlockMonitor = (PlcFamilyClass == 1 || PlcFamilyClass == 2 ||
                    (PlcFamilyClass == 0 && PlcModelCode >= 82))
                       ? 1
                       : 0;
    PlcInfoStep = 0;
    PlcInfoMode = 0;
    QueueDeviceWrite(MonitorBase[0], 0xFF00, 0, 5);
}

bool TTransData::DecodePlcType(std::uint16_t typeWord) {
    static constexpr std::uint32_t kCapacity[4] = {3616, 7584, 15840, 31744};
    int family;
    switch (typeWord & 0xE000) {
    case 0x4000: family = 0; break;
    case 0x6000: family = 1; break;
    case 0x8000: family = 2; break;
    case 0xA000: family = 3; break;
    default: return false;  // no family of ours: keep the last identification whole
    }
    PlcFamilyClass = family;
    PlcModelCode = typeWord & 0xFF;
    PlcSizeClass = (typeWord >> 10) & 3;
    PlcCapacity = kCapacity[PlcSizeClass];
    PlcTypeBits = typeWord & 0xE000;
    return true;
}

void TTransData::DecodePlcModel(std::uint16_t modelWord, const std::uint16_t* word3) {
    struct Model {
        std::uint16_t word;
        int index;
        const char* name;
    };
    static constexpr Model kModels[] = {
        {3, 4, "KB"},  {4, 0, "KA"},       {7, 0, "KA"},       {6, 6, "KC"},       {10, 1, "KD"}, {11, 5, "KF"},
        {12, 2, "KE"}, {13, 7, "KC-Plus"}, {14, 3, "KD-Plus"}, {15, 8, "KF-Plus"}, {16, 9, "KG"},
    };
    for (const Model& m : kModels) {
        if (m.word != modelWord) continue;
        PlcModelIndex = m.index;
        PlcModelName = m.name;
        break;
    }
    if (word3) PlcModelWord3 = *word3;
}

std::uint16_t TTransData::ReplyWord(int n) {
    const std::size_t i = 2 + 2 * static_cast<std::size_t>(n);
    // Only words inside the reply's byte count; never the LRC or older bytes.
    if (gCommDataLen < 3 || i + 1 >= 2u + gCommData[1] || i + 1 >= gCommDataLen - 1) return 0;
    return static_cast<std::uint16_t>(gCommData[i] << 8 | gCommData[i + 1]);
}

// ---------------------------------------------------------------------------
// Jobs and monitor clients

void TTransData::StartJob(int jobNo, int phase) {
    JobNo = jobNo;
    Phase = phase;
    Cmd64Mode = 0;
    StartComTmr();
}

void TTransData::EndJob() {
    if (JobNo == kJobHandheld && handheldStationSaved_) {
        Frame->SetStationByte(handheldSavedStation_);
        handheldStationSaved_ = false;
    }
    JobNo = kJobNone;
    Phase = 0;
    Cmd64Mode = 0;
    if (editsHeld_) {
        editsHeld_ = false;
        Frame->HoldProjectEdits(false);
    }
}

void TTransData::HoldEditsUntilJobEnds() {
    if (editsHeld_ || JobNo == kJobNone) return;
    editsHeld_ = true;
    Frame->HoldProjectEdits(true);
}

bool TTransData::MayPutRequests() {
    if (JobNo == kJobNone) return true;
    ShowMessage(kMsgJobRunning, "");
    return false;
}

void TTransData::AddMonitorClient(const std::string& id) {
    if (MonitorClients.empty()) {
        PlcInfoMode = 1;
        PlcInfoStep = kInfoStepType;
        ClientIndex = 0;
        ClientReplyCount = 0;
    }
    if (std::find(MonitorClients.begin(), MonitorClients.end(), id) == MonitorClients.end())
        MonitorClients.push_back(id);
    // A function 100 dialogue that runs keeps its mode: its outstanding
    // request is answered in its form, and the monitors follow its end.
    if (JobNo == kJobNone) Cmd64Mode = 0;
    if (MaySend) StartComTmr();
}

void TTransData::RemoveMonitorClient(const std::string& id) {
    auto it = std::find(MonitorClients.begin(), MonitorClients.end(), id);
    if (it == MonitorClients.end()) return;
    const int pos = static_cast<int>(it - MonitorClients.begin());
    MonitorClients.erase(it);
    if (pos < ClientIndex) --ClientIndex;
    if (ClientIndex >= static_cast<int>(MonitorClients.size())) ClientIndex = 0;
    if (MonitorClients.empty() && PlcInfoMode) {
        PlcInfoMode = 0;
        PlcInfoStep = 0;
    }
}

void TTransData::StopMonitoring() {
    MonitorClients.clear();
    ClientIndex = 0;
    ClientReplyCount = 0;
    PlcInfoStep = 0;
    PlcInfoMode = 0;
    Frame->MonitoringStopped();
}

void TTransData::AbortJob() {
    if (TLinkJob* job = Job(JobNo)) job->Aborted(*this);
    EndJob();
    Frame->CloseProgress();
}

void TTransData::ClosePortIfIdle() {
    if (JobNo == kJobNone && MonitorClients.empty() && PlcInfoMode == 0 && CoilQueue.Empty() &&
        RegQueue.Empty() && MaySend && QelCom->IsOpen()) {
        ReplyTmr.stop();
        ComTmr.stop();
        QelCom->Close();
    }
}

// ---------------------------------------------------------------------------
// Replies

void TTransData::QelComTrigger(const char* data, std::size_t len) {
    ++inNotification_;
    ReceiveChars(data, len);
    --inNotification_;
}

void TTransData::ReceiveChars(const char* data, std::size_t len) {
    TimedOut = 0;
    std::size_t i = 0;
    while (i < len) {
        bool lf = false;
        for (; i < len; ++i) {
            const char c = data[i];
            if (c == ':') {
                gCommRxBuf.clear();
                rxOverflow_ = false;
            }
            if (gCommRxBuf.size() < kRxMax)
                gCommRxBuf.push_back(c);
            else
                rxOverflow_ = true;  // an over-long frame; it fails the check
            if (c == '\n') {
                ++i;
                lf = true;
                break;
            }
            // A function 100 reply may end with ACK instead of CR LF.
            if (c == kAck && Cmd64Mode && gCommRxBuf[0] == ':') {
                ++i;
                break;
            }
        }
        const bool begins = !gCommRxBuf.empty() && gCommRxBuf[0] == ':';
        const bool crlf = gCommRxBuf.size() >= 2 && gCommRxBuf[gCommRxBuf.size() - 2] == '\r' && lf;
        if (Cmd64Mode && begins && (crlf || gCommRxBuf.back() == kAck)) {
            if (OnFrameComplete(true)) continue;  // a repeat: its own answer may follow
            return;  // the rest of the input is flushed with the frame
        }
        if (gCommRxBuf.size() <= 3) {
            Lamp(LampColor::Black);  // kept until more characters come
            continue;
        }
        if (begins && crlf) {
            if (OnFrameComplete(false)) continue;
            ClosePortIfIdle();
            return;
        }
        if (begins && lf) {
            // A frame ended by LF without CR fails the check and is resent.
            if (OnFrameComplete(Cmd64Mode != 0)) continue;
            ClosePortIfIdle();
            return;
        }
        if (lf) {
            // A line that is no frame: noise on the line, dropped.
            gCommRxBuf.clear();
            continue;
        }
        Lamp(LampColor::Green);
    }
    ClosePortIfIdle();
}

bool TTransData::ReplyMatches(const DecodedReply& d) const {
    if (JobNo == kJobHandheld) return true;  // the hand-held programmer sends requests, not replies
    // The station is not compared: a PLC may answer from another station
    // address than the one asked (the hand-held programmer's 0x80 among them).
    const std::uint8_t fn = pending_.function;
    const std::size_t n = d.len;  // LRC included
    // An exception is its function code with bit 7, the code and the LRC; a
    // function 100 error reply may carry more after its code.
    if (d.kind == kExceptionReply) return d.data[0] == (fn | 0x80) && (fn == 100 ? n >= 3 : n == 3);
    if (d.data[0] != fn) return false;
    switch (fn) {
    case 1:
    case 3:
        return n >= 3 && d.data[1] == n - 3 && static_cast<int>(d.data[1]) == pending_.expectBytes;
    case 5:
    case 6:
        // The whole echo: a write answered with another value did not happen.
        return n == 6 && (d.data[1] << 8 | d.data[2]) == pending_.address &&
               (d.data[3] << 8 | d.data[4]) == pending_.count;
    case 8:
        // The echo of the one sub-function byte.
        return n == 3 && d.data[1] == (pending_.address & 0xFF);
    case 16:
        return n == 6 && (d.data[1] << 8 | d.data[2]) == pending_.address &&
               (d.data[3] << 8 | d.data[4]) == pending_.count;
    case 17:
        return n >= 3 && d.data[1] == n - 3;
    case 100:
        if (n < 5 || d.data[2] != pending_.subCode || d.data[3] != n - 5) return false;
        if (pending_.blockRead)
            return d.data[3] == 4 + 2 * pending_.blockHead[3] &&
                   std::memcmp(d.data + 4, pending_.blockHead, 4) == 0;
        if (pending_.blockWrite)
            // The answer to another block is no answer to this one. A PLC
            // that echoes nothing cannot be told apart, and is taken.
            return d.data[3] == 0 || (d.data[3] >= 4 && std::memcmp(d.data + 4, pending_.blockHead, 4) == 0);
        return true;
    default:
        return n >= 2;
    }
}

void TTransData::NoteAnswered(const std::string& frame) {
    if (AnsweredBefore(frame)) return;
    if (answered_.size() == kAnsweredKept) answered_.pop_front();
    answered_.push_back(frame);
}

bool TTransData::AnsweredBefore(const std::string& frame) const {
    return std::find(answered_.begin(), answered_.end(), frame) != answered_.end();
}

void TTransData::Deliver(const DecodedReply& d) {
    std::memcpy(gCommData, d.data, d.len);
    gCommDataLen = static_cast<std::uint32_t>(d.len);
}

bool TTransData::OnFrameComplete(bool cmd64) {
    if (cancelledReply_) {
        // The answer to a cancelled request: nobody takes it.
        ++Stats.strayFrames;
        gCommRxBuf.clear();
        rxOverflow_ = false;
        QelCom->FlushIn();
        CancelledReplyOver();
        return false;
    }
    if ((MaySend || replyHeld_) && JobNo != kJobHandheld) {
        // Nothing was asked (a late or repeated reply): taking it would
        // answer a request twice or resend one that was already answered.
        ++Stats.strayFrames;
        gCommRxBuf.clear();
        rxOverflow_ = false;
        QelCom->FlushIn();
        return false;
    }
    const bool ack = cmd64 && !gCommRxBuf.empty() && gCommRxBuf.back() == kAck;
    DecodedReply d;
    if (!rxOverflow_ && !ack) d = CheckReply(gCommRxBuf);
    // A reply ended by ACK fails the check; its hex pairs, when sound, still
    // tell which request it answers.
    DecodedReply pairs;
    if (ack && !rxOverflow_ && gCommRxBuf.size() >= 2)
        pairs = CheckReply(gCommRxBuf.substr(0, gCommRxBuf.size() - 1) + "\r\n");
    const DecodedReply& sound = ack ? pairs : d;
    const bool answers = sound.kind != kBadFrame && ReplyMatches(sound);
    if (JobNo != kJobHandheld) {
        if (!answers && AnsweredBefore(gCommRxBuf)) {
            // A copy of an earlier answer (a PLC that repeats itself) answers
            // nothing asked now: the request waits on for its own answer, or
            // for its time-out, and whatever follows the copy is read on.
            ++Stats.strayFrames;
            gCommRxBuf.clear();
            rxOverflow_ = false;
            return true;
        }
        if (answers) NoteAnswered(gCommRxBuf);
    }
    if (d.kind != kBadFrame && !answers) d.kind = kBadFrame;
    if (JobNo != kJobHandheld || d.kind == kNormalReply) ReplyTmr.stop();
    gCommReplyKind = d.kind;
    AckReply = ack ? 1 : 0;
    const std::string received = gCommRxBuf;
    gCommRxBuf.clear();
    rxOverflow_ = false;
    QelCom->FlushIn();

    if (JobNo == kJobHandheld && d.kind != kNormalReply) {
        // The hand-held programmer's garbled (or exception-flagged) request
        // gets no answer, as from any slave; its master asks again.
        ++Stats.badReplies;
        MaySend = 1;
        return false;
    }

    if (d.kind != kBadFrame) {
        Deliver(d);
        LastStation = d.station;
        if (JobNo == kJobHandheld && d.station == 0x80 && Frame->StationByte() != 0x80) {
            handheldSavedStation_ = Frame->StationByte();
            handheldStationSaved_ = true;
            Frame->SetStationByte(0x80);
        }
    }

    if (ack) {
        // Complete, though it fails the reply check: the job's step decides.
        // Its bytes are offered only when they are sound and answer the request.
        if (answers)
            Deliver(pairs);
        else
            gCommDataLen = 0;
        ++Stats.goodReplies;
        MaySend = 1;
        gCommRetryCount = 0;
        OnCmd64Reply();
        return false;
    }

    if (cmd64) {
        if (d.kind == kBadFrame) {
            ++Stats.badReplies;
            if (JobNo == kJobFrame && Frame->LinkMode() == 6) {
                // The baud-rate search: a garbled reply means a wrong rate,
                // so the next rate is tried instead of resending.
                SpeedSwitchStep();
                return false;
            }
            if (gCommRetryCount < kMaxResends && QelCom->IsOpen())
                Resend();
            else
                FailRequest(kMsgBadFrame, BadFrameDetail(received));
            return false;
        }
        // A function 100 error reply (bit 7) goes to the job, which reports it.
        ++Stats.goodReplies;
        MaySend = 1;
        gCommRetryCount = 0;
        OnCmd64Reply();
        return false;
    }

    if (d.kind == kNormalReply) {
        ++Stats.goodReplies;
        gCommRetryCount = 0;
        Lamp(LampColor::Red);
        if (PlcVariant == 2) {
            // These PLCs need a short pause before the next request; wait on
            // a timer, so the GUI thread goes on meanwhile. No request may be
            // sent and no other frame taken until the reply is dispatched.
            replyHeld_ = true;
            QTimer::singleShot(kVariant2PauseMs, this, [this] {
                replyHeld_ = false;
                MaySend = 1;
                FinishGoodReply();
            });
            return false;
        }
        MaySend = 1;
        FinishGoodReply();
        return false;
    }
    if (JobNo == kJobFrame && Frame->LinkMode() == 6) {
        SpeedSwitchStep();
        return false;
    }
    if (d.kind == kExceptionReply) {
        ++Stats.exceptions;
        Lamp(LampColor::Blue);
        const int code = gCommData[1];
        if (code >= 1 && code <= 8)
            FailRequest(kMsgExceptionBase + code, "");
        else
            FailRequest(kMsgExceptionBase, std::to_string(code));
        return false;
    }
    ++Stats.badReplies;
    Lamp(LampColor::Fuchsia);
    if (gCommRetryCount < kMaxResends && QelCom->IsOpen())
        Resend();
    else
        FailRequest(kMsgBadFrame, BadFrameDetail(received));
    return false;
}

std::string TTransData::BadFrameDetail(const std::string& received) const {
    // A frame that carries a password (the password dialogue's, the card's
    // password, the PLC's password registers) is reported without its text:
    // a garbled one may still hold the password's bytes.
    return pending_.secret || JobNo == kJobPassword ? std::string() : received;
}

void TTransData::FinishGoodReply() {
    if (!QelCom->IsOpen()) return;
    DispatchReply();
    if (QelCom->IsOpen() && MaySend) StartComTmr();
    ClosePortIfIdle();
}

void TTransData::FailRequest(int msgId, const std::string& detail) {
    MaySend = 1;
    ReplyTmr.stop();
    const Source src = pending_.source;
    pending_ = Pending{};
    switch (src) {
    case Source::QueuedWrite:
        // This write is reported; the others and the running job go on.
        ShowMessage(msgId, detail);
        if (QelCom->IsOpen()) StartComTmr();
        break;
    case Source::InfoQuery:
    case Source::Setup:
    case Source::Client:
    case Source::StatusPoll:
        StopMonitoring();
        ShowMessage(msgId, detail);
        break;
    case Source::Job:
    case Source::None:
        AbortJob();
        ShowMessage(msgId, detail);
        break;
    }
    ClosePortIfIdle();
}

void TTransData::OnCmd64Timer() {
    ComTmr.stop();
    if (!MaySend) return;
    switch (JobNo) {
    case kJobPassword:
    case kJobWriteFileRegs:
    case kJobReadFileRegs:
    case kJobMemoryCard:
    case kJobFrame:
        if (TLinkJob* job = Job(JobNo)) {
            SenderScope sender(*this, Source::Job);
            job->RequestStep(*this);
        }
        // A step that ended the job without sending (the user declined its
        // last question) leaves nothing to do: the port closes, as after a
        // reply.
        if (MaySend) ClosePortIfIdle();
        break;
    default:
        // No function 100 job runs any more: back to the normal order of service.
        Cmd64Mode = 0;
        ComTick();
        break;
    }
}

void TTransData::OnCmd64Reply() {
    if (TLinkJob* job = Job(JobNo)) {
        SenderScope sender(*this, Source::Job);
        job->ReplyStep(*this);
    }
    // The next tick continues the dialogue, or, once the job has ended,
    // sends what was queued meanwhile and lets the idle port close.
    if (MaySend && QelCom->IsOpen()) StartComTmr();
}

void TTransData::CancelledReplyOver() {
    cancelledReply_ = false;
    ReplyTmr.stop();
    MaySend = 1;
    // What was started or queued meanwhile has waited for the line.
    if (QelCom->IsOpen() && (JobNo != kJobNone || !MonitorClients.empty() || PlcInfoMode || !CoilQueue.Empty() ||
                             !RegQueue.Empty()))
        StartComTmr();
    ClosePortIfIdle();
}

void TTransData::OnReplyTimeout() {
    if (cancelledReply_) {
        // The cancelled request was never answered: the user already knows
        // the job ended, so there is nothing to report.
        CancelledReplyOver();
        return;
    }
    ++Stats.timeouts;
    TimedOut = 1;
    MaySend = 1;
    if (JobNo == kJobFrame && Frame->LinkMode() == 6) {
        SpeedSwitchStep();
        return;
    }
    const bool jobRunning = JobNo != kJobNone;
    if (jobRunning) AbortJob();
    PlcInfoMode = 0;
    PlcInfoStep = 0;
    Phase = 0;
    Cmd64Mode = 0;
    pending_ = Pending{};
    Frame->CloseProgress();
    if (Frame->LinkMode() == 5) Frame->CheckBaudMenu();
    Frame->SetLinkMode(0);
    MonitorClients.clear();
    ClientIndex = 0;
    ClientReplyCount = 0;
    Frame->MonitoringStopped();
    ClosePortIfIdle();
    ShowMessage(kMsgTimeout, "");
}

void TTransData::SpeedSwitchStep() {
    if (QelCom->Baud() == 115200) {
        EndSpeedSearch(kMsgSpeedSearchEnd, "");
        return;
    }
    // The link job's next step tries the next rate.
    Cmd64Mode = 1;
    MaySend = 1;
    Frame->AdvanceProgress();
    StartComTmr();
}

void TTransData::EndSpeedSearch(int msgId, const std::string& detail) {
    Frame->SetStationByte(SavedStationByte);
    ReplyTmr.stop();
    ComTmr.stop();
    QelCom->Close();
    Frame->CloseProgress();
    Frame->SetLinkMode(0);
    EndJob();
    MaySend = 1;
    // Closed, the port takes any rate it knows; the search starts from 9600.
    std::string ignored;
    QelCom->ChangeBaud(9600, &ignored);
    ShowMessage(msgId, detail);
}

}  // namespace qel::link
