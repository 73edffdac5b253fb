#pragma once
// The link engine: the Modbus ASCII master that every on-line function uses.
// One request is outstanding at a time. A 1 ms tick (ComTmr) sends the next
// request in a fixed order of service: the PLC information query, pending
// monitor set-ups, queued coil writes, queued register writes, the monitor
// round robin, else the running job's step. While a function 100 dialogue
// runs (Cmd64Mode) the tick and the replies go to that job alone.
//
// Everything runs on the GUI thread: the port delivers received bytes there.
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "link/engine/Linkframe.h"
#include "link/engine/Linkjobs.h"
#include "link/engine/Linkport.h"
#include "link/engine/Modbusframe.h"
#include "link/engine/Writequeues.h"

namespace qel::link {

class TTransData;

// The link's payload and decoded-reply buffer, read by every window that talks
// to the PLC: function code first, then (for reads) the byte count, the data,
// and the LRC byte last. Only a reply that passed every check is stored here.
extern std::uint8_t gCommData[kCommDataMax];
extern std::uint32_t gCommDataLen;

// Refresh flags: a view sets its flag when its monitor list must be written to
// the PLC again; the scheduler runs that view's set-up before anything else.
extern std::uint8_t gLadderMonitorRefresh;
extern std::uint8_t gDevMonitorRefresh;
extern std::uint8_t gSfcMonitorRefresh;

// Message ids the link shows (lines of the message file).
inline constexpr int kMsgTimeout = 83;
inline constexpr int kMsgOpenFailed = 168;
inline constexpr int kMsgRateFailed = 169;
inline constexpr int kMsgExceptionBase = 190;  // + exception code 1..8
inline constexpr int kMsgBadFrame = 199;
inline constexpr int kMsgSpeedSearchEnd = 227;
inline constexpr int kMsgWriteQueueFull = 249;
inline constexpr int kMsgJobRunning = 283;  // a command refused while a job runs
inline constexpr int kMsgJobStopped = 245;    // a job stopped before its end; nothing of it was kept
inline constexpr int kMsgWriteStopped = 285;  // a write stopped before its end: the PLC holds part of it

// A view that polls the PLC while it is registered in MonitorClients.
class TMonitorClient {
public:
    virtual ~TMonitorClient() = default;
    // Sends exactly one request with SendCommand and returns 1, or returns 0
    // when it has nothing to send (the turn passes to the next client).
    virtual int SendStep(TTransData& link) = 0;
    // Called with a good reply in gCommData; non-zero ends the client's cycle.
    virtual int ReplyStep(TTransData& link) = 0;
    // Writes the view's monitor lists to the PLC (its refresh flag was set).
    virtual void SetupStep(TTransData& link) {}
};

// A job keyed by JobNo: its request step runs on a tick, its reply step on
// each good reply (function 100 replies included, error replies with bit 7).
class TLinkJob {
public:
    virtual ~TLinkJob() = default;
    virtual void RequestStep(TTransData& link) = 0;
    virtual void ReplyStep(TTransData& link) = 0;
    // The link ended the job (time-out, exception, final bad frame): give
    // back the window's controls, close files. The link closes the progress
    // window and shows the message itself.
    virtual void Aborted(TTransData& link) {}
    // The job is stopped on purpose (leaving the program, another project):
    // gives back what Aborted gives back; true when the job has itself said
    // what the PLC now holds, so the link adds no message of its own.
    virtual bool Stopped(TTransData& link) {
        Aborted(link);
        return false;
    }
    // Whether the running job sends data into the PLC (or its card): stopped
    // before its end, it leaves the PLC holding part of what was sent.
    virtual bool Writes() const { return false; }
    // Whether the running job brings the user something from the PLC that a
    // stop loses (values or a program read, a verify's result): such a job
    // is asked about before a command ends it, as a write is.
    virtual bool Reads() const { return false; }
};

class TTransData : public QObject {
public:
    TTransData(TLinkPort* port, TLinkFrame* frame, QObject* parent = nullptr);
    ~TTransData() override;

    // --- set-up -----------------------------------------------------------
    // Length of one time-out tick of the serial timer (about 55 ms); tests
    // shorten it so that no test waits seconds for a time-out.
    void SetTickMs(double ms) { TickMs = ms; }
    // Interval of the scheduler tick (1 ms).
    void SetComTmrIntervalMs(int ms) { ComTmr.setInterval(ms); }
    void RegisterJob(int jobNo, TLinkJob* job);
    void RegisterMonitorClient(const std::string& id, TMonitorClient* client);

    // Opens the port for an operation (time-out 180 ticks); shows message 168
    // with "!! (COMn)" and returns false when it cannot be opened.
    bool OpenPort();

    // --- requests (only from a tick or a reply step) ----------------------
    // Functions 1, 3, 5, 6, 8, 16, 17; function 16 takes its data from
    // gCommData / gCommDataLen.
    void SendCommand(std::uint16_t address, std::uint16_t countOrValue, std::uint8_t function);
    // Function 100: byte 3 (1, or 0 for the link job's sub-code 11), the
    // sub-code and the payload length; the payload is in gCommData.
    void SendCmd64(std::uint8_t byte3, std::uint8_t subCode, std::uint8_t length);
    // The data byte count the next function 3 reply must carry, when the
    // caller knows better than the address rules.
    void ExpectReplyBytes(int n) { expectOverride_ = n; }
    // Registers first .. first+count-1 reach D1013-D1014, where a family 0
    // PLC keeps its password.
    static bool ReachesPasswordRegisters(std::uint16_t first, std::uint32_t count);
    // The block monitor's word values of these n list entries (each answered
    // with its register and the next) reach them.
    static bool WordValuesReachPassword(const std::uint16_t* entries, std::uint32_t n);
    // The next request's answer carries the password registers though its
    // address does not tell (the block monitor's word values): a bad one is
    // reported without its text.
    void ReplyCarriesPassword() { secretOverride_ = true; }
    // Reads the PLC's scan time (D1010) as the status poll does: its reply
    // shows the scan time when ClientReplyCount is 20, and the run/stop poll
    // follows. Monitor clients with nothing to poll ask for it instead.
    void RequestScanTime();
    // A request sent outside a tick or a reply step (a window starting its
    // job) belongs to the running job; inside them, to whoever the step
    // serves. Either way it is tagged with its sender when it is sent.

    // Sets the line's rate (the frame's link job and its rate search). A rate
    // the port refuses is reported with the port's reason (message 169); during
    // the rate search that also ends the search. False when refused.
    bool SetLinkBaud(int baud);

    // --- from anywhere ----------------------------------------------------
    // Function 5: coil ON when countOrValue is 0xFF00. Function 16: a 16-bit
    // register write when countOrValue is 1, else 32-bit. Returns false (and
    // tells the user) when the queue is full.
    bool QueueDeviceWrite(std::uint16_t address, std::uint16_t countOrValue, std::uint32_t value,
                          std::uint8_t function);
    void ClearWriteQueues();

    // Starts a job at the given phase and the tick that drives it.
    void StartJob(int jobNo, int phase);
    // A job's last reply step ends it (also restores the station byte after
    // the hand-held programmer link, and lets the project's windows take
    // edits again when the job held them).
    void EndJob();
    // For a job whose result replaces project data (the program, comments):
    // the frame's windows take no edits from now until the job ends, however
    // it ends (done, refused, failed, cancelled, timed out), so that nothing
    // typed meanwhile is replaced unasked.
    void HoldEditsUntilJobEnds();
    // The one gate for a command that would put requests of its own on the
    // line (a monitor, a device write, run and stop, the password, the
    // memory card, the register and template transfers, another program
    // transfer): while a job runs it is refused with message kMsgJobRunning
    // and false, so that the job keeps the line, its step and its replies to
    // its end. A job's owner tests for its own job first: starting it twice
    // is no refusal to report.
    bool MayPutRequests();
    // Frame monitor commands: the first client starts the PLC information
    // query; the last one removed leaves the link idle. Neither touches the
    // running job's step.
    void AddMonitorClient(const std::string& id);
    void RemoveMonitorClient(const std::string& id);
    bool Monitoring() const { return !MonitorClients.empty(); }
    void StartComTmr();
    // Messages raised while the port's notification runs wait until it has
    // returned (a box shown inside it would hold up the port); true while one
    // waits.
    bool MessagesPending() const { return !heldMessages_.empty(); }

    // Closes the port when nothing is left to do.
    void ClosePortIfIdle();
    // Decodes the first word of a D1001 read into the Plc* fields. A word
    // whose family bits name no known family changes nothing and gives false:
    // a program must never be taken for another family's.
    bool DecodePlcType(std::uint16_t typeWord);
    // Decodes the model word of a D1119 read (PlcModelIndex, PlcModelName);
    // unknown words leave both as they are. `word3` is the reply's third word
    // when the reply carries one.
    void DecodePlcModel(std::uint16_t modelWord, const std::uint16_t* word3 = nullptr);

    // --- the PC as a slave (the hand-held programmer link, job 6) ---------
    // Answers the request in gCommData: ":" + station + function, then for
    // function 16 the request's address and count (bytes 1-4 of gCommData),
    // otherwise `byteCount`; then gCommDataLen bytes of gCommData as payload.
    // A slave awaits nothing: no reply time-out, no resend copy, MaySend kept.
    void SendSlaveReply(std::uint8_t function, std::uint8_t byteCount);
    // Ends the running job at once (the user cancelled): the outstanding
    // request is forgotten, so a late reply is dropped as stray and no
    // time-out follows; the progress window closes and the port closes when
    // nothing else needs it.
    void CancelJob();
    // Whether a job runs, and whether it writes into the PLC (TLinkJob::Writes).
    bool JobRunning() const { return JobNo != kJobNone; }
    bool JobWrites() const;
    bool JobReads() const;
    // Ends the running job on the user's word (a question answered before
    // leaving, another project or a window's close): as when the link ends it,
    // the job gives back its window's controls and keeps nothing it read; the
    // message says what did not happen (kMsgWriteStopped for a write,
    // kMsgJobStopped otherwise).
    void StopJob();
    // Shows a message of the link's own or of a job's: at once, or, inside
    // the port's notification, as soon as that has returned.
    void ShowMessage(int msgId, const std::string& detail);

    // The n-th big-endian word of a function 3 reply in gCommData.
    static std::uint16_t ReplyWord(int n);

    // --- state (names as the rest of the system uses them) ---------------
    TLinkPort* QelCom;
    TLinkFrame* Frame;
    QTimer ComTmr;    // scheduler tick
    QTimer ReplyTmr;  // reply time-out, armed with every request
    double TickMs = 55.0;

    std::vector<std::string> MonitorClients;
    int ClientIndex = 0;
    int ClientReplyCount = 0;
    std::uint8_t QueuedWriteSent = 0;
    int JobNo = kJobNone;  // TLinkJobNo
    int Phase = 0;
    int Offset = 0;
    std::uint8_t PlcInfoMode = 0;
    // The information query's own step (255 type word, 23 D1024), apart from
    // the job's Phase.
    int PlcInfoStep = 0;
    std::uint16_t PlcVariant = 0;
    std::uint16_t MonitorBase[5] = {3072, 16384, 16584, 16604, 16784};
    std::uint32_t BlockMonitor = 0;
    std::uint8_t MaySend = 1;
    std::uint8_t Cmd64Mode = 0;
    std::uint8_t TimedOut = 0;
    // Set by the frame's stop command (the Tag of its STOP button): the monitor
    // clients write their lists to the PLC again at the end of their cycle,
    // and the first to do so clears it.
    std::uint8_t BnStopTag = 0;
    // Station byte saved by the link-speed search, restored at its end.
    std::uint8_t SavedStationByte = 1;

    // Identification of the PLC (DecodePlcType).
    std::uint32_t PlcCapacity = 0;
    int PlcSizeClass = 0;
    int PlcFamilyClass = 0;
    std::uint16_t PlcTypeBits = 0;
    std::uint8_t PlcModelCode = 0;
    int PlcModelIndex = 0;
    std::string PlcModelName;
    std::uint16_t PlcModelWord3 = 0;
    // Station of the last good frame received (the hand-held programmer
    // speaks as station 0x80).
    std::uint8_t LastStation = 0;

    std::uint16_t gCommRetryCount = 0;
    std::uint32_t gCommTimeoutTicks = 90;
    std::uint8_t gCommReplyKind = kBadFrame;
    // 1 when the last function 100 reply ended with ACK instead of CR LF. Such
    // a reply fails the reply check (gCommReplyKind 0) and still goes to the
    // job's reply step, which decides; gCommData then holds its bytes when the
    // hex pairs before the ACK are sound and answer the request, else
    // gCommDataLen is 0.
    std::uint8_t AckReply = 0;

    CoilWriteQueue CoilQueue;
    RegWriteQueue RegQueue;

    // Counters for the status and for measurements.
    struct Counters {
        std::uint64_t framesSent = 0, resends = 0, goodReplies = 0, badReplies = 0,
                      exceptions = 0, timeouts = 0, strayFrames = 0;
    } Stats;

private:
    bool editsHeld_ = false;
    // Who sent the outstanding request: decides where its reply goes and what
    // a failed request ends.
    enum class Source : std::uint8_t { None, InfoQuery, Setup, QueuedWrite, Client, StatusPoll, Job };

    struct Pending {
        Source source = Source::None;
        std::uint8_t function = 0;
        std::uint16_t address = 0;
        std::uint16_t count = 0;
        std::uint8_t subCode = 0;
        int expectBytes = -1;
        bool blockRead = false;          // function 100 block read
        bool blockWrite = false;         // function 100 block write
        std::uint8_t blockHead[4] = {};  // the block's area, address (2) and word count
        bool secret = false;             // the request or its answer carries a password
    };

    void ComTmrTimer();
    void ComTick();
    int SendNextQueued();
    void PollNextClient();
    void HandleClientReply();
    void DispatchReply();
    void OnCmd64Timer();
    void OnCmd64Reply();
    void PlcInfoRequest();
    void PlcInfoReply();

    // Reply collection: received characters, as the port delivers them.
    void QelComTrigger(const char* data, std::size_t len);
    void ReceiveChars(const char* data, std::size_t len);
    void FinishGoodReply();
    // Takes a complete frame. True when it was dropped as a copy of an
    // earlier answer while the request still waits: the characters after it
    // are read on.
    bool OnFrameComplete(bool cmd64);
    void OnReplyTimeout();
    // The reply of a cancelled request has come or timed out: the line is free.
    void CancelledReplyOver();
    /// The received text a bad-frame message shows: none when the request or
    /// its answer carries a password (the password job's, the card's, D1013-D1014).
    std::string BadFrameDetail(const std::string& received) const;
    void SpeedSwitchStep();

    // Sets the sender of the requests sent while it lives.
    class SenderScope {
    public:
        SenderScope(TTransData& l, Source s) : l_(l), saved_(l.source_) { l.source_ = s; }
        ~SenderScope() { l_.source_ = saved_; }

    private:
        TTransData& l_;
        Source saved_;
    };
    Source SenderNow() const;

    void SendFrame(const std::uint8_t* bytes, std::size_t n);
    void Deliver(const DecodedReply& d);
    void FlushMessages();
    void EndSpeedSearch(int msgId, const std::string& detail);
    void Resend();
    bool ReplyMatches(const DecodedReply& d) const;
    // The frames taken as answers lately, as received: a PLC that repeats
    // itself sends one of them again.
    void NoteAnswered(const std::string& frame);
    bool AnsweredBefore(const std::string& frame) const;
    int ExpectedReadBytes(std::uint16_t address, std::uint16_t count) const;
    void FailRequest(int msgId, const std::string& detail);
    void StopMonitoring();
    void AbortJob();
    void Lamp(LampColor c);
    TLinkJob* Job(int no) const;
    TMonitorClient* Client(const std::string& id) const;

    std::string gCommRxBuf;  // characters of the reply being received
    bool rxOverflow_ = false;
    std::string ResendFrame;  // copy of the last frame, for resending
    std::deque<std::string> answered_;
    Pending pending_;
    Source source_ = Source::None;  // sender of the step that runs; None outside steps
    int expectOverride_ = -1;
    bool secretOverride_ = false;
    bool handheldStationSaved_ = false;
    std::uint8_t handheldSavedStation_ = 1;

    int inNotification_ = 0;   // depth of the port's bytes handler
    bool replyHeld_ = false;   // a good reply waits for the variant-2 pause
    bool cancelledReply_ = false;  // the reply of a cancelled request may still come
    std::vector<std::pair<int, std::string>> heldMessages_;

    std::map<int, TLinkJob*> jobs_;
    std::map<std::string, TMonitorClient*> clients_;
};

// The link of the program, created by the frame window at start-up.
extern TTransData* _TransData;

}  // namespace qel::link
