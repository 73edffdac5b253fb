#pragma once
// Moving the program between the project and the PLC: the write (job 4), read
// (job 5) and verify (job 10) jobs of the link, and the hand-held programmer
// link (job 6) in which the PC answers as a slave.
//
// Write and read identify the PLC first (run state, password flag, type word,
// model word) and refuse a PLC that cannot take or give this project's
// program. A read collects the program apart from the project and replaces
// the open program only once every block has arrived; a refused, failed or
// cancelled read leaves the project as it was. The same holds for a program
// received from the hand-held programmer.
//
// No windows: the frame answers the host's questions (progress window, link
// window, editors around a program replacement).
#include <cstdint>
#include <string>
#include <vector>

#include "link/engine/Transdata.h"

namespace qel::link {

// The job numbers (kJobWriteProgram, kJobReadProgram, kJobVerifyProgram, kJobHandheld)
// are those of link/engine/Linkjobs.h.

// Message ids of the program transfer.
inline constexpr int kMsgBadStepRange = 45;
inline constexpr int kMsgPasswordSet = 58;
inline constexpr int kMsgMonitoring = 81;
inline constexpr int kMsgNothingToWrite = 82;
inline constexpr int kMsgNoProgramForHandheld = 84;
inline constexpr int kMsgVerifyEqual = 85;
inline constexpr int kMsgVerifyDiffers = 86;
// A verify that ends with no result for the program open now: stopped, or
// the program it compared was replaced or changed meanwhile; the name of the
// program it compared follows.
inline constexpr int kMsgVerifyNoResult = 289;
inline constexpr int kMsgReadDone = 87;
inline constexpr int kMsgNotDrawn = 162;  // the code cannot be drawn as a ladder
inline constexpr int kMsgPlcRunning = 88;
inline constexpr int kMsgCapacityDiffers = 89;
inline constexpr int kMsgFamilyDiffers = 90;
inline constexpr int kMsgWriteOk = 137;
inline constexpr int kMsgSaveBeforeRead = 145;
inline constexpr int kMsgTransferCancelled = 245;
inline constexpr int kMsgUnknownResult = 246;
inline constexpr int kMsgUnknownPlcType = 239;
// A write that ended after its first block went out and before the PLC was
// told the program is whole (cancelled, or a request that failed); the
// number of steps the PLC answered as written follows.
inline constexpr int kMsgPartlyWritten = 284;

// The message of a program-write result code (D1004); 0 for a code the table
// does not know (the caller shows kMsgUnknownResult with the code).
int PlcErrorMessage(std::uint16_t code);

// Register of the program window that holds the byte at `offset`: 0x2000 +
// word offset below word 8192, 0x3000 + word offset from there on.
std::uint16_t ProgramWindowAddress(std::uint32_t offset);
// The byte offset a program-window register stands for; false outside the
// windows 0x2000-0x3FFF and 0x5000-0x6FFF.
bool ProgramWindowOffset(std::uint16_t reg, std::uint32_t& offset);

// Byte offset just past the END instruction of `code` (walking whole
// instructions, so an operand word 0x000F is never taken for END); 0 when
// there is no END within `length`.
std::uint32_t EndOfProgram(const std::uint8_t* code, std::uint32_t length);

// What the program jobs ask of the frame. The defaults do nothing, so the
// jobs also run without a frame (tests).
class TTransferHost {
public:
    virtual ~TTransferHost() = default;
    // The progress window: caption, bar from 0 to maximum, shown at once.
    virtual void StartProgress(const std::string& caption, int maximum, int step) {}
    virtual void SetProgress(int position) {}
    // The progress window's label under the bar ("4096/31744").
    virtual void SetProgressLabel(const std::string& text) {}
    // The job is over: closes the link window when it is shown.
    virtual void CloseLinkWindow() {}
    // Around replacing the project's program by one from the PLC or the
    // hand-held programmer: the editors let go of the shared buffers first
    // and are rebuilt over the new program afterwards.
    virtual void BeforeProgramReplaced() {}
    virtual void AfterProgramReplaced(bool familyChanged) {}
    // Whether an editor holds edits of the program that are not in the
    // program image yet (a verify's result would not be about what it shows).
    virtual bool ProgramEditsPending() const { return false; }
};

// The program read from a PLC (or received from the hand-held programmer)
// becomes the project's program: family and capacity of the PLC, the image,
// default device comments, an unnamed, modified project, and the ladder
// converted from the code (gQel.ProgramOk 0 when it cannot be; no message).
// Returns whether the family changed.
bool InstallReceivedProgram(const std::vector<std::uint8_t>& image, int family, int capacityIndex);
// After the job's own message: a received program whose ladder could not be
// drawn is reported (message 162); its code stays as it was received.
void ReportUndrawnProgram(TTransData& link);

// Jobs 4, 5 and 10. Registers itself with the link for those job numbers.
class TProgramTransfer final : public TLinkJob {
public:
    TProgramTransfer(TTransData& link, TTransferHost& host);
    ~TProgramTransfer() override;

    // Each start checks what can be checked before talking to the PLC and
    // shows its message when it refuses; true when the job runs.
    //
    // Write steps [startStep, endStep) of the program; a full write passes 0
    // and the capacity in steps.
    bool StartWrite(int startStep, int endStep);
    // Reads the whole program memory, or (partial) up to the block holding END.
    bool StartRead(bool partial);
    // Compares the program through its END with the PLC's.
    bool StartVerify();
    // The user's cancel: ends a running program job with message 245.
    void Cancel();
    bool Running() const;

    void RequestStep(TTransData& link) override;
    void ReplyStep(TTransData& link) override;
    void Aborted(TTransData& link) override;
    // A write stopped among its blocks says how far it came (284).
    bool Stopped(TTransData& link) override;
    bool Writes() const override { return link_.JobNo == kJobWriteProgram; }
    bool Reads() const override { return link_.JobNo == kJobReadProgram || Verifying(); }
    bool Verifying() const { return link_.JobNo == kJobVerifyProgram; }

    // Range and result of the running or last job, in bytes.
    int StartOffset = 0;
    int EndOffset = 0;
    int MismatchOffset = 0;
    bool PartialRead = false;
    // Caption of the progress window for write and read (the link window's
    // direction text).
    std::string WriteCaption = "写入PLC";
    std::string ReadCaption = "读取PLC";
    std::string VerifyCaption = "程序校验";

private:
    bool MayStart();
    void End(int msgId, const std::string& detail = {});
    void WriteRequest();
    void WriteReply();
    void ReadRequest();
    void ReadReply();
    void VerifyRequest();
    void VerifyReply();
    // Ends the verify with its result, or with kMsgVerifyNoResult when the
    // program open now is not the one compared.
    void EndVerify(int msgId, const std::string& detail = {});
    bool ComparedProgramStillOpen() const;
    void SendProgramBlock();
    void RequestProgramBlock();
    // Identification replies shared by write and read; false when the job ended.
    bool TypeReply(bool write);
    void Progress(int position);

    TTransData& link_;
    TTransferHost& host_;
    int blockBytes_ = 0;                 // bytes of the block in flight
    bool blockSent_ = false;             // the write has sent a program block
    // True, after its message, when the running write ends now with the
    // PLC's program partly replaced.
    bool ReportPartWrite();
    std::vector<std::uint8_t> received_; // the program being read
    std::uint32_t endScan_ = 0;          // next instruction to look at for END (partial read)
    std::uint32_t verifyEnd_ = 0;        // bytes compared by verify
    std::uint64_t verifyProject_ = 0;    // the project (gProjectSerial) verify compared
    std::string verifyName_;             // and its program file, to name it
};

// Job 6: the PC stands in for a PLC at station 0x80 for a hand-held
// programmer that reads the project's program or writes one into the PC.
class THandheldLink final : public TLinkJob {
public:
    THandheldLink(TTransData& link, TTransferHost& host);
    ~THandheldLink() override;

    // Job 6 runs from now on (the port is open); false with message 84 when
    // the project holds no program to serve.
    bool Start();
    void Stop();
    bool Running() const { return link_.JobNo == kJobHandheld; }

    void RequestStep(TTransData&) override {}
    void ReplyStep(TTransData& link) override { ServeHandheld(); }
    void Aborted(TTransData& link) override;

    // The second data word of the programmer's write to D0: 0xFFFF asks for
    // the whole capacity.
    std::uint16_t HppFullFlag = 0;
    // Progress of the transfer in bytes, and its end.
    int Position = 0;
    int Maximum = 0;

private:
    void ServeHandheld();
    void Finish(bool received);
    void Progress();

    TTransData& link_;
    TTransferHost& host_;
    std::vector<std::uint8_t> received_;  // the program being written into the PC
    bool receiving_ = false;
};

}  // namespace qel::link
