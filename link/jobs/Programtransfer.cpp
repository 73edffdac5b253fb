#include "link/jobs/Programtransfer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"
#include "ladder/model/LadderConvert.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"

namespace qel::link {

namespace {

// PLC devices of the program jobs.
constexpr std::uint16_t kM1069 = 3117;  // password set
constexpr std::uint16_t kM1073 = 3121;  // ON ends a program write
constexpr std::uint16_t kD1001 = 5097;  // type word, D1002, D1003
constexpr std::uint16_t kD1004 = 5100;  // result code of a program write
constexpr std::uint16_t kD1119 = 5215;  // model word
constexpr std::uint16_t kD0 = 0x1000;
constexpr std::uint16_t kD1002 = 0x13EA;

constexpr int kBlockBytes = 32;        // 16 registers per program block
constexpr int kWindowSplit = 16384;    // bytes below the first window (word 8192)
constexpr std::uint16_t kEndWord = 0x000F;

// Phases of the write and read jobs.
enum : int {
    kPhaseSlaveId = 1,
    kPhasePassword = 2,
    kPhaseBlocksWrite = 5,
    kPhaseEndWrite = 6,
    kPhaseBlocksRead = 7,
    kPhaseResult = 14,
    kPhaseType = 255,
    kPhaseModel = 256,
};

std::string Hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

// Data byte i of a function 3 reply in gCommData.
std::uint8_t ReplyByte(int i) { return gCommData[2 + i]; }

// Capacity code the hand-held programmer knows: 0, 4, 8, 12 by capacity,
// 3 for any other size.
std::uint8_t HandheldCapacityCode(std::uint32_t capacity) {
    for (int i = 0; i < kCapacityCount; ++i)
        if (kProgramCapacities[static_cast<std::size_t>(i)] == capacity) return static_cast<std::uint8_t>(4 * i);
    return 3;
}

}  // namespace

int PlcErrorMessage(std::uint16_t code) {
    struct Entry {
        std::uint16_t code;
        int msg;
    };
    static constexpr Entry kTable[] = {
        {0x0000, 137}, {0x0001, 91},  {0x0002, 99},  {0x0003, 101}, {0x0102, 100}, {0x0202, 97},  {0x0302, 98},
        {0x0401, 92},  {0x0403, 102}, {0x0501, 93},  {0x0503, 103}, {0x0601, 94},  {0x0604, 105}, {0x0801, 95},
        {0x0803, 104}, {0x0B01, 200}, {0x0D01, 110}, {0x1000, 206}, {0x10EF, 207}, {0x2000, 208}, {0x0D02, 111},
        {0x0D03, 112}, {0x0D04, 113}, {0x0D05, 114}, {0x0D06, 115}, {0x0D07, 201}, {0x0D08, 202}, {0x0D09, 203},
        {0x0D0A, 204}, {0x0D0B, 205}, {0x0E01, 96},  {0x0E04, 106}, {0x0E05, 108}, {0x0E18, 116}, {0x0E19, 117},
        {0x0F04, 107}, {0x0F05, 109}, {0x0F06, 118}, {0x0F07, 119}, {0x0F08, 120}, {0xC400, 121}, {0xC401, 123},
        {0xC402, 124}, {0xC403, 125}, {0xC404, 126}, {0xC405, 127}, {0xC407, 128}, {0xC408, 129}, {0xC409, 130},
        {0xC40A, 131}, {0xC40B, 132}, {0xC40C, 133}, {0xC40D, 134}, {0xC40E, 135}, {0xC41C, 122}, {0xC41D, 209},
        {0xC41E, 210}, {0xC41F, 211}, {0xC420, 212}, {0xC4EE, 136}, {0xC4FF, 213},
    };
    for (const Entry& e : kTable)
        if (e.code == code) return e.msg;
    return 0;
}

std::uint16_t ProgramWindowAddress(std::uint32_t offset) {
    const std::uint32_t word = offset / 2;
    return static_cast<std::uint16_t>(word < kWindowSplit / 2 ? 0x2000 + word : 0x3000 + word);
}

bool ProgramWindowOffset(std::uint16_t reg, std::uint32_t& offset) {
    if (reg >= 0x2000 && reg <= 0x3FFF)
        offset = 2u * (reg - 0x2000u);
    else if (reg >= 0x5000 && reg <= 0x6FFF)
        offset = 2u * (reg - 0x3000u);
    else
        return false;
    return true;
}

std::uint32_t EndOfProgram(const std::uint8_t* code, std::uint32_t length) {
    std::uint32_t at = 0;
    while (at + 2 <= length) {
        if (ReadCodeWord(code, length, at) == kEndWord) return at + 2;
        at += std::max<std::uint32_t>(2, InstructionLengthAt(code, length, at));
    }
    return 0;
}

bool InstallReceivedProgram(const std::vector<std::uint8_t>& image, int family, int capacityIndex) {
    const int oldFamily = gQel.Family;
    ClearProject();
    if (ProgramCapacityOf(capacityIndex) != gProgramCapacity) SetProgramCapacity(capacityIndex);
    gQel.CapacityIndex = capacityIndex;
    std::memcpy(gProgram, image.data(), std::min<std::size_t>(image.size(), gProgramCapacity));
    LocateProgramEnd();
    const bool familyChanged = family != oldFamily;
    if (familyChanged) {
        SetModelFamily(family);
        // Monitor-list devices a smaller family lacks would be polled at
        // addresses the PLC does not have.
        if ((oldFamily == 1 && family != 1) || (oldFamily == 2 && family == 0)) gDevMoniEntryCount = 0;
    }
    gQel.Title.clear();
    FitCommentLists();
    LoadDeviceCommentInit();
    // A program from a PLC is a new project: it never takes the open
    // project's name, so no save can overwrite that project's files unasked.
    MakeUntitledName();
    MakeFileNames();
    gQel.Modified = 1;
    gQel.ProgramPresent = 1;
    gQel.Named = 0;
    // The ladder comes from the code. A program that cannot be drawn stays
    // unchecked (ProgramOk 0); whoever shows the project reports that.
    gQel.ProgramOk = 0;
    if (gProgramUsed != 0) {
        gQel.ProgramOk = ConvertCodeToLadder() == 0 ? 1 : 0;
        gConvertAbort = 0;
    }
    return familyChanged;
}

void ReportUndrawnProgram(TTransData& link) {
    if (!gQel.ProgramPresent || gProgramUsed == 0 || gQel.ProgramOk) return;
    // Instructions the model does not run as they stand (a device past its
    // ranges, an operand reaching past them) are named, as the ladder names them.
    const std::string beyond = ProgramBeyondFamily(CurrentFamily());
    link.ShowMessage(kMsgNotDrawn, beyond.empty() ? "" : "\n" + gMsgTable.Get(kMsgCodeBeyondFamily) + " " + beyond);
}

// ---------------------------------------------------------------------------
// Jobs 4, 5 and 10

TProgramTransfer::TProgramTransfer(TTransData& link, TTransferHost& host) : link_(link), host_(host) {
    link_.RegisterJob(kJobWriteProgram, this);
    link_.RegisterJob(kJobReadProgram, this);
    link_.RegisterJob(kJobVerifyProgram, this);
}

TProgramTransfer::~TProgramTransfer() {
    link_.RegisterJob(kJobWriteProgram, nullptr);
    link_.RegisterJob(kJobReadProgram, nullptr);
    link_.RegisterJob(kJobVerifyProgram, nullptr);
}

bool TProgramTransfer::Running() const {
    return link_.JobNo == kJobWriteProgram || link_.JobNo == kJobReadProgram || link_.JobNo == kJobVerifyProgram;
}

bool TProgramTransfer::MayStart() {
    if (link_.Monitoring()) {
        link_.ShowMessage(kMsgMonitoring, "");
        return false;
    }
    // One job at a time: another one (a register transfer, a write) runs
    // to its end first; the hand-held link is this window's and ends here.
    if (link_.JobNo != kJobHandheld && !link_.MayPutRequests()) return false;
    if (link_.JobNo == kJobHandheld) link_.CancelJob();
    return true;
}

bool TProgramTransfer::StartWrite(int startStep, int endStep) {
    if (!MayStart()) return false;
    if (!gQel.ProgramPresent || !gProgram || gProgramCapacity == 0) {
        link_.ShowMessage(kMsgNothingToWrite, "");
        return false;
    }
    const int steps = static_cast<int>(gProgramCapacity / 2);
    if (startStep < 0 || endStep > steps || startStep >= endStep) {
        link_.ShowMessage(kMsgBadStepRange, " " + std::to_string(startStep) + "-" + std::to_string(endStep));
        return false;
    }
    if (!link_.OpenPort()) return false;
    // The program as it stands now goes out, whatever is edited meanwhile.
    received_.assign(gProgram, gProgram + gProgramCapacity);
    StartOffset = 2 * startStep;
    EndOffset = 2 * endStep;
    link_.Offset = StartOffset;
    blockSent_ = false;
    link_.StartJob(kJobWriteProgram, kPhaseSlaveId);
    return true;
}

bool TProgramTransfer::StartRead(bool partial) {
    if (!MayStart()) return false;
    if (!link_.OpenPort()) return false;
    PartialRead = partial;
    received_.clear();
    StartOffset = 0;
    link_.Offset = 0;
    link_.StartJob(kJobReadProgram, kPhasePassword);
    // What arrives replaces the project: nothing is typed meanwhile that it
    // would drop.
    link_.HoldEditsUntilJobEnds();
    return true;
}

bool TProgramTransfer::StartVerify() {
    if (!MayStart()) return false;
    if (!gQel.ProgramPresent || !gProgram || gProgramCapacity == 0) {
        link_.ShowMessage(kMsgNothingToWrite, "");
        return false;
    }
    if (!link_.OpenPort()) return false;
    received_.assign(gProgram, gProgram + gProgramCapacity);
    // Compared through END, and on through the last instruction when code
    // stands after END (a rung drawn below END is written all the same); a
    // program without END is compared whole.
    verifyEnd_ = EndOfProgram(received_.data(), gProgramCapacity);
    if (verifyEnd_ == 0)
        verifyEnd_ = gProgramCapacity;
    else
        verifyEnd_ = std::max(verifyEnd_, LocateCodeEnd(received_.data(), gProgramCapacity));
    // The result is about this program only: what replaces or changes it
    // meanwhile gets none.
    verifyProject_ = gProjectSerial;
    verifyName_ = gQel.ProgramFileName;
    StartOffset = 0;
    EndOffset = static_cast<int>(verifyEnd_);
    link_.Offset = 0;
    link_.StartJob(kJobVerifyProgram, 0);
    host_.StartProgress(VerifyCaption, EndOffset, kBlockBytes);
    return true;
}

void TProgramTransfer::Cancel() {
    if (!Running()) return;
    const bool partly = ReportPartWrite();
    link_.CancelJob();
    received_.clear();
    if (!partly) link_.ShowMessage(kMsgTransferCancelled, "");
}

void TProgramTransfer::Aborted(TTransData&) {
    // The link's own message (time-out, exception, bad frame) follows.
    ReportPartWrite();
    received_.clear();
}

bool TProgramTransfer::Stopped(TTransData&) {
    bool told = ReportPartWrite();
    // A verify stopped says which program it gives no result for.
    if (Verifying()) {
        link_.ShowMessage(kMsgVerifyNoResult, " " + verifyName_);
        told = true;
    }
    received_.clear();
    return told;
}

bool TProgramTransfer::ReportPartWrite() {
    // Once the PLC has answered the end of the write, its program is whole.
    if (link_.JobNo != kJobWriteProgram || !blockSent_ ||
        (link_.Phase != kPhaseBlocksWrite && link_.Phase != kPhaseEndWrite))
        return false;
    link_.ShowMessage(kMsgPartlyWritten, " " + std::to_string((link_.Offset - StartOffset) / 2));
    return true;
}

void TProgramTransfer::End(int msgId, const std::string& detail) {
    link_.EndJob();
    link_.Frame->CloseProgress();
    received_.clear();
    if (msgId) link_.ShowMessage(msgId, detail);
}

void TProgramTransfer::Progress(int position) {
    host_.SetProgress(position);
    host_.SetProgressLabel(std::to_string(position) + "/" + std::to_string(EndOffset));
}

void TProgramTransfer::RequestStep(TTransData&) {
    switch (link_.JobNo) {
    case kJobWriteProgram: WriteRequest(); break;
    case kJobReadProgram: ReadRequest(); break;
    case kJobVerifyProgram: VerifyRequest(); break;
    default: break;
    }
}

void TProgramTransfer::ReplyStep(TTransData&) {
    switch (link_.JobNo) {
    case kJobWriteProgram: WriteReply(); break;
    case kJobReadProgram: ReadReply(); break;
    case kJobVerifyProgram: VerifyReply(); break;
    default: break;
    }
}

// ---------------------------------------------------------------------------
// Write

void TProgramTransfer::WriteRequest() {
    switch (link_.Phase) {
    case kPhaseSlaveId: link_.SendCommand(0, 0, 17); break;
    case kPhasePassword: link_.SendCommand(kM1069, 1, 1); break;
    case kPhaseType: link_.SendCommand(kD1001, 3, 3); break;
    case kPhaseModel: link_.SendCommand(kD1119, 3, 3); break;
    case kPhaseBlocksWrite: SendProgramBlock(); break;
    case kPhaseEndWrite: link_.SendCommand(kM1073, 0xFF00, 5); break;
    case kPhaseResult: link_.SendCommand(kD1004, 1, 3); break;
    default: break;
    }
}

bool TProgramTransfer::TypeReply(bool write) {
    const std::uint16_t type = TTransData::ReplyWord(0);
    // Family class 3 has no family in this system: its program cannot be
    // edited here, nor can one of ours run there.
    if (!link_.DecodePlcType(type) || link_.PlcFamilyClass >= kModelFamilyCount) {
        End(kMsgUnknownPlcType, " (D1001 = H" + Hex4(type) + ")");
        return false;
    }
    if (write && link_.PlcCapacity != received_.size()) {
        End(kMsgCapacityDiffers);
        return false;
    }
    return true;
}

void TProgramTransfer::WriteReply() {
    switch (link_.Phase) {
    case kPhaseSlaveId:
        // The run indicator follows the byte count and the slave id.
        if (gCommData[1] >= 2 && gCommData[3] == 0xFF) return End(kMsgPlcRunning);
        link_.Phase = kPhasePassword;
        break;
    case kPhasePassword:
        if (gCommData[2] & 1) return End(kMsgPasswordSet);
        link_.Phase = kPhaseType;
        break;
    case kPhaseType:
        if (!TypeReply(true)) return;
        link_.Phase = kPhaseModel;
        break;
    case kPhaseModel: {
        const std::uint16_t word3 = TTransData::ReplyWord(2);
        link_.DecodePlcModel(TTransData::ReplyWord(0), gCommData[1] >= 6 ? &word3 : nullptr);
        if (gQel.Family != link_.PlcFamilyClass) return End(kMsgFamilyDiffers);
        link_.Phase = kPhaseBlocksWrite;
        host_.StartProgress(WriteCaption, EndOffset, kBlockBytes);
        Progress(link_.Offset);
        break;
    }
    case kPhaseBlocksWrite:
        link_.Offset += blockBytes_;
        Progress(link_.Offset);
        if (link_.Offset >= EndOffset) {
            link_.Frame->CloseProgress();
            link_.Phase = kPhaseEndWrite;
        }
        break;
    case kPhaseEndWrite: link_.Phase = kPhaseResult; break;
    case kPhaseResult: {
        const std::uint16_t code = TTransData::ReplyWord(0);
        const int msg = PlcErrorMessage(code);
        if (msg)
            End(msg);
        else
            End(kMsgUnknownResult, " H" + Hex4(code));
        break;
    }
    default: break;
    }
}

void TProgramTransfer::SendProgramBlock() {
    // A block never runs past the range nor across the line between the two
    // program windows; a full range from 0 goes in whole 32-byte blocks.
    const int offset = link_.Offset;
    int len = std::min(kBlockBytes, EndOffset - offset);
    if (offset < kWindowSplit) len = std::min(len, kWindowSplit - offset);
    len = std::min(len, static_cast<int>(received_.size()) - offset) & ~1;
    if (len <= 0) {
        // Nothing left (cannot happen for a checked range): end cleanly.
        End(kMsgNothingToWrite);
        return;
    }
    blockBytes_ = len;
    blockSent_ = true;
    std::memcpy(gCommData, received_.data() + offset, static_cast<std::size_t>(len));
    gCommDataLen = static_cast<std::uint32_t>(len);
    link_.SendCommand(ProgramWindowAddress(static_cast<std::uint32_t>(offset)), static_cast<std::uint16_t>(len / 2), 16);
}

// ---------------------------------------------------------------------------
// Read

void TProgramTransfer::ReadRequest() {
    switch (link_.Phase) {
    case kPhasePassword: link_.SendCommand(kM1069, 1, 1); break;
    case kPhaseType: link_.SendCommand(kD1001, 3, 3); break;
    case kPhaseModel: link_.SendCommand(kD1119, 1, 3); break;
    case kPhaseBlocksRead: RequestProgramBlock(); break;
    default: break;
    }
}

void TProgramTransfer::RequestProgramBlock() {
    host_.SetProgressLabel(std::to_string(link_.Offset) + "/" + std::to_string(EndOffset));
    link_.SendCommand(ProgramWindowAddress(static_cast<std::uint32_t>(link_.Offset)), kBlockBytes / 2, 3);
}

void TProgramTransfer::ReadReply() {
    switch (link_.Phase) {
    case kPhasePassword:
        if (gCommData[2] & 1) return End(kMsgPasswordSet);
        link_.Phase = kPhaseType;
        break;
    case kPhaseType:
        if (!TypeReply(false)) return;
        // The program arrives apart from the project, at the PLC's capacity.
        received_.assign(link_.PlcCapacity, 0xFF);
        EndOffset = static_cast<int>(link_.PlcCapacity);
        endScan_ = 0;
        link_.Phase = kPhaseModel;
        break;
    case kPhaseModel:
        link_.DecodePlcModel(TTransData::ReplyWord(0));
        link_.Phase = kPhaseBlocksRead;
        host_.StartProgress(ReadCaption, EndOffset, kBlockBytes);
        break;
    case kPhaseBlocksRead: {
        const int offset = link_.Offset;
        // The link took only a reply of exactly 32 data bytes.
        std::memcpy(received_.data() + offset, gCommData + 2,
                    static_cast<std::size_t>(std::min(kBlockBytes, EndOffset - offset)));
        link_.Offset = offset + kBlockBytes;
        if (PartialRead) {
            // Whole instructions only, so that an operand never reads as END.
            const std::uint32_t have = static_cast<std::uint32_t>(std::min(link_.Offset, EndOffset));
            while (endScan_ + 2 <= have) {
                if (ReadCodeWord(received_.data(), received_.size(), endScan_) == kEndWord) {
                    std::fill(received_.begin() + endScan_ + 2, received_.begin() + have, 0xFF);
                    link_.Offset = EndOffset;
                    break;
                }
                const std::uint32_t len =
                    std::max<std::uint32_t>(2, InstructionLengthAt(received_.data(), received_.size(), endScan_));
                if (endScan_ + len > have) break;  // its operands come with the next block
                endScan_ += len;
            }
        }
        Progress(std::min(link_.Offset, EndOffset));
        if (link_.Offset < EndOffset) break;
        // Every block is in: only now is the project's program replaced.
        const std::vector<std::uint8_t> image = std::move(received_);
        link_.EndJob();
        link_.Frame->CloseProgress();
        host_.BeforeProgramReplaced();
        const bool familyChanged = InstallReceivedProgram(image, link_.PlcFamilyClass, link_.PlcSizeClass);
        host_.AfterProgramReplaced(familyChanged);
        link_.ShowMessage(kMsgReadDone, "");
        ReportUndrawnProgram(link_);
        break;
    }
    default: break;
    }
}

// ---------------------------------------------------------------------------
// Verify

void TProgramTransfer::VerifyRequest() {
    if (link_.Offset < EndOffset)
        RequestProgramBlock();
    else
        EndVerify(kMsgVerifyEqual);
}

bool TProgramTransfer::ComparedProgramStillOpen() const {
    return gProjectSerial == verifyProject_ && gProgram && gProgramCapacity >= verifyEnd_ &&
           received_.size() >= verifyEnd_ && std::equal(received_.begin(), received_.begin() + verifyEnd_, gProgram) &&
           !host_.ProgramEditsPending();
}

void TProgramTransfer::EndVerify(int msgId, const std::string& detail) {
    if (ComparedProgramStillOpen())
        End(msgId, detail);
    else
        End(kMsgVerifyNoResult, " " + verifyName_);
}

void TProgramTransfer::VerifyReply() {
    const int offset = link_.Offset;
    const int n = std::min(kBlockBytes, EndOffset - offset);
    for (int i = 0; i < n; ++i) {
        if (ReplyByte(i) != received_[static_cast<std::size_t>(offset + i)]) {
            MismatchOffset = offset + i;
            EndVerify(kMsgVerifyDiffers, "Steps :" + std::to_string(MismatchOffset / 2));
            return;
        }
    }
    link_.Offset = offset + kBlockBytes;
    Progress(std::min(link_.Offset, EndOffset));
    if (link_.Offset >= EndOffset) EndVerify(kMsgVerifyEqual);
}

// ---------------------------------------------------------------------------
// Job 6: the hand-held programmer link

THandheldLink::THandheldLink(TTransData& link, TTransferHost& host) : link_(link), host_(host) {
    link_.RegisterJob(kJobHandheld, this);
}

THandheldLink::~THandheldLink() { link_.RegisterJob(kJobHandheld, nullptr); }

bool THandheldLink::Start() {
    if (!gProgram || gProgramCapacity == 0) {
        link_.ShowMessage(kMsgNoProgramForHandheld, "");
        return false;
    }
    if (link_.Monitoring()) {
        link_.ShowMessage(kMsgMonitoring, "");
        return false;
    }
    if (link_.JobNo != kJobHandheld && !link_.MayPutRequests()) return false;
    if (!link_.OpenPort()) return false;
    HppFullFlag = 0;
    Position = Maximum = 0;
    received_.clear();
    receiving_ = false;
    link_.StartJob(kJobHandheld, 0);
    return true;
}

void THandheldLink::Stop() {
    if (!Running()) return;
    received_.clear();
    receiving_ = false;
    link_.CancelJob();
}

void THandheldLink::Aborted(TTransData&) {
    // A time-out in the middle of a transfer: what arrived is dropped.
    received_.clear();
    receiving_ = false;
    host_.CloseLinkWindow();
}

void THandheldLink::Progress() { host_.SetProgress(std::min(Position, Maximum)); }

void THandheldLink::Finish(bool received) {
    link_.ReplyTmr.stop();
    link_.Frame->CloseProgress();
    host_.CloseLinkWindow();
    link_.EndJob();
    if (!received) return;
    const std::vector<std::uint8_t> image = std::move(received_);
    receiving_ = false;
    host_.BeforeProgramReplaced();
    // The programmer writes a whole KD-Series image of 16000 steps.
    const bool familyChanged = InstallReceivedProgram(image, 1, kCapacityCount - 1);
    host_.AfterProgramReplaced(familyChanged);
    ReportUndrawnProgram(link_);
}

void THandheldLink::ServeHandheld() {
    // Only the programmer's station is served; anything else gets no answer.
    if (link_.LastStation != 0x80 || gCommDataLen < 2) return;
    const std::size_t n = gCommDataLen - 1;  // function, fields and data, without the LRC
    const std::uint8_t fn = gCommData[0];
    const std::uint16_t address = n >= 3 ? static_cast<std::uint16_t>(gCommData[1] << 8 | gCommData[2]) : 0;
    const std::uint16_t count = n >= 5 ? static_cast<std::uint16_t>(gCommData[3] << 8 | gCommData[4]) : 0;
    const std::uint32_t capacity = gProgramCapacity;
    const bool read = fn == 3 && n == 5;
    // A register write carries a byte count of two per register and exactly
    // that many data bytes.
    const bool write = fn == 16 && n >= 6 && gCommData[5] == 2 * count && n == 6u + gCommData[5] && count > 0;
    auto data = [](int i) { return static_cast<std::uint16_t>(gCommData[6 + 2 * i] << 8 | gCommData[7 + 2 * i]); };
    auto echo = [this] {
        gCommDataLen = 0;  // the request's address and count go back as they came
        link_.SendSlaveReply(16, 0);
    };
    std::uint32_t offset = 0;

    if (fn == 17 && n == 1) {
        gCommData[0] = 0x80;
        gCommDataLen = 1;
        link_.SendSlaveReply(17, 1);
    } else if (write && address == kD0 && count >= 2) {
        HppFullFlag = data(1);
        Maximum = 2 * data(0);
        Position = 0;
        echo();
        host_.StartProgress("PC <==> HPP", Maximum, kBlockBytes);
    } else if (read && address == kD1001 && count == 1) {
        gCommData[0] = 0x00;
        gCommData[1] = HandheldCapacityCode(capacity);
        gCommDataLen = 2;
        link_.SendSlaveReply(3, 2);
    } else if (read && address == kD1001 && count == 3) {
        const std::uint8_t code = HandheldCapacityCode(capacity);
        gCommData[0] = code;  // the type word's capacity bits, high byte first
        gCommData[1] = 0x00;
        gCommData[2] = static_cast<std::uint8_t>(capacity >> 8);
        gCommData[3] = static_cast<std::uint8_t>(capacity);
        gCommDataLen = 4;
        link_.SendSlaveReply(3, 4);
        Maximum = static_cast<int>(HppFullFlag == 0xFFFF ? capacity : LocateProgramEnd());
        Position = 0;
        host_.StartProgress("PC <==> HPP", Maximum, kBlockBytes);
    } else if (write && address == kD1002) {
        // The program that follows is collected apart from the project.
        received_.assign(kProgramCapacities[kCapacityCount - 1], 0xFF);
        receiving_ = true;
        link_.Offset = 0;
        echo();
    } else if (read && count >= 1 && count <= 16 && ProgramWindowOffset(address, offset)) {
        const std::uint32_t bytes = 2u * count;
        link_.Offset = static_cast<int>(offset);
        for (std::uint32_t i = 0; i < bytes; ++i)
            gCommData[i] = offset + i < capacity ? gProgram[offset + i] : 0xFF;
        gCommDataLen = bytes;
        link_.SendSlaveReply(3, static_cast<std::uint8_t>(bytes));
        Position = static_cast<int>(offset + bytes);
        if (Maximum > 0 && Position >= Maximum)
            Finish(false);
        else
            Progress();
    } else if (write && count <= 16 && ProgramWindowOffset(address, offset)) {
        if (!receiving_) {
            received_.assign(kProgramCapacities[kCapacityCount - 1], 0xFF);
            receiving_ = true;
        }
        link_.Offset = static_cast<int>(offset);
        const std::uint32_t bytes = gCommData[5];
        // Clipped to the image: nothing lands outside it.
        if (offset < received_.size())
            std::memcpy(received_.data() + offset, gCommData + 6,
                        std::min<std::size_t>(bytes, received_.size() - offset));
        echo();
        link_.ReplyTmr.start(static_cast<int>(link_.gCommTimeoutTicks * link_.TickMs));
        Position = static_cast<int>(offset + bytes);
        if (Maximum > 0 && Position >= Maximum)
            Finish(true);
        else
            Progress();
    }
}

}  // namespace qel::link
