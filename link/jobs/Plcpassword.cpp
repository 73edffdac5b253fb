#include "link/jobs/Plcpassword.h"

#include <algorithm>
#include <cctype>

namespace qel::link {

namespace {

constexpr std::uint16_t kD1001 = 0x13E9;  // type word
constexpr std::uint16_t kD1013 = 0x13F5;  // password, D1013-D1014
constexpr std::uint16_t kD1141 = 0x1475;  // unlock word
constexpr std::uint16_t kM1000 = 0x0BE8;  // running
constexpr std::uint16_t kM1035 = 0x0C0B;
constexpr std::uint16_t kM1036 = 0x0C0C;
constexpr std::uint16_t kM1069 = 0x0C2D;  // password set (the lock)
constexpr std::uint16_t kM1072 = 0x0C30;  // run
constexpr std::uint16_t kUnlockWord = 0x6C2D;
constexpr std::uint8_t kSubSet = 11, kSubAsk = 12, kSubEnter = 13;
// Family 0 PLCs below this model code have no password function.
constexpr int kFirstPasswordModel = 37;
constexpr const char* kClearing = "    ";

enum : int {
    kPhaseIdle = 0,
    kPhaseRunState = 15,
    kPhaseLock = 17,
    kPhaseReadPassword = 18,
    kPhaseUnlockWord = 19,
    kPhaseClear = 20,
    kPhaseWritePassword = 21,
    kPhaseSetLock = 22,
    kPhaseSendSet = 36,
    kPhaseConfirm = 37,
    kPhaseAsk = 38,
    kPhaseSendEnter = 39,
    kPhaseType = 255,
};

void Overwrite(std::string& s) {
    std::fill(s.begin(), s.end(), '\0');
    s.clear();
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// Characters of UTF-8 text (the dialog's edits count characters, not bytes).
std::size_t CharacterCount(const std::string& s) {
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool PasswordCharacters(const std::string& p) {
    return std::all_of(p.begin(), p.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x80 && (c == ' ' || std::isalnum(u));
    });
}

// Reply timeout of the clearing (the PLC erases its memory meanwhile).
std::uint32_t ClearTimeoutTicks(std::uint32_t capacity) {
    if (capacity <= 3616) return 90;
    if (capacity <= 7584) return 180;
    if (capacity <= 15840) return 240;
    return 360;
}

}  // namespace

TPlcPassword::TPlcPassword(TTransData& link, TPasswordHost& host) : link_(link), host_(host) {
    link_.RegisterJob(kJobPassword, this);
}

TPlcPassword::~TPlcPassword() {
    Close();
    Wipe();
    if (!linkGone_) link_.RegisterJob(kJobPassword, nullptr);
}

void TPlcPassword::Wipe() {
    Overwrite(plcPassword_);
    Overwrite(typed_);
    std::fill(gCommData, gCommData + kCommDataMax, std::uint8_t{0});
}

bool TPlcPassword::Query() {
    if (linkGone_ || link_.JobNo == kJobPassword || !link_.MayPutRequests()) return false;
    if (link_.Monitoring()) {
        link_.ShowMessage(kMsgPwdMonitoring, "");
        return false;
    }
    if (!link_.OpenPort()) return false;
    Known = false;
    changing_ = false;
    writing_ = false;
    link_.StartJob(kJobPassword, kPhaseType);
    return true;
}

void TPlcPassword::Close() {
    if (Running()) link_.CancelJob();
    Overwrite(typed_);
}

int TPlcPassword::Apply(const std::string& password, const std::string& confirm) {
    if (linkGone_ || link_.JobNo == kJobPassword || !link_.MayPutRequests()) return kNothing;
    if (!Known) {
        Query();
        return kNothing;
    }
    changing_ = true;
    auto refuse = [this](int msg) {
        link_.ShowMessage(msg, "");
        return msg;
    };
    if (CharacterCount(password) != 4) return refuse(kMsgPwdLength);
    if (EnterMode == 0) {
        if (CharacterCount(confirm) != 4) return refuse(kMsgPwdConfirm);
        if (!EqualNoCase(password, confirm)) return refuse(kMsgPwdWrong);
    }
    if (!PasswordCharacters(password)) return refuse(kMsgBadCharacter);
    if (EnterMode == 0 && password != confirm) {
        host_.StatusText(kMsgPwdNone);
        return refuse(kMsgPwdMismatch);
    }
    if (link_.Monitoring()) return refuse(kMsgPwdMonitoring);

    // Four spaces clear the password; only an unlocked PLC takes it (a
    // locked one first needs its password entered). A family 0 PLC erases
    // its memory to clear it, so the user confirms first. The question has
    // its own message: 51, where such PLCs ask it, is the length message here.
    const bool clearing = EnterMode == 0 && password == kClearing;
    if (family_ == 0 && clearing && !host_.Ask(kMsgPwdClearQuestion)) return kNothing;
    writing_ = true;  // every job started from here on writes

    if (family_ == 0 && EnterMode == 1) {
        // The PLC's own password was read with the lock state.
        if (!EqualNoCase(password, plcPassword_)) return refuse(kMsgPwdWrong);
        if (!link_.OpenPort()) return kNothing;
        link_.QueueDeviceWrite(kM1069, 0x0000, 0, 5);
        link_.StartJob(kJobPassword, kPhaseLock);
        return kStarted;
    }
    if (!link_.OpenPort()) return kNothing;
    typed_ = password;
    if (family_ == 0) {
        if (clearing) {
            link_.gCommTimeoutTicks = ClearTimeoutTicks(link_.PlcCapacity);
            // Such PLCs show 53 here, which in this message file already says
            // the password has been cleared: that comes when the PLC has done it.
            host_.StatusText(kMsgPwdClearing);
            // The PLC stops first.
            for (std::uint16_t coil : {kM1072, kM1035, kM1036}) link_.QueueDeviceWrite(coil, 0x0000, 0, 5);
            link_.StartJob(kJobPassword, kPhaseUnlockWord);
        } else {
            link_.StartJob(kJobPassword, kPhaseWritePassword);
        }
        return kStarted;
    }
    link_.StartJob(kJobPassword, EnterMode == 1 ? kPhaseSendEnter : kPhaseSendSet);
    return kStarted;
}

void TPlcPassword::PutPassword(const std::string& p) {
    for (std::size_t i = 0; i < 4; ++i) gCommData[i] = static_cast<std::uint8_t>(i < p.size() ? p[i] : ' ');
    gCommDataLen = 4;
}

void TPlcPassword::RequestStep(TTransData&) {
    switch (link_.Phase) {
    case kPhaseType: link_.SendCommand(kD1001, 1, 3); return;
    case kPhaseLock: link_.SendCommand(kM1069, 1, 1); return;
    default: break;
    }
    if (family_ == 0)
        StandardRequest();
    else
        ExtendedRequest();
}

void TPlcPassword::StandardRequest() {
    switch (link_.Phase) {
    case kPhaseReadPassword: link_.SendCommand(kD1013, 2, 3); break;
    case kPhaseUnlockWord: link_.SendCommand(kD1141, kUnlockWord, 6); break;
    case kPhaseRunState: link_.SendCommand(kM1000, 1, 1); break;
    case kPhaseClear: link_.SendCommand(14, 0, 8); break;
    case kPhaseWritePassword:
        PutPassword(typed_);
        link_.SendCommand(kD1013, 2, 16);
        break;
    case kPhaseSetLock: link_.SendCommand(kM1069, 0xFF00, 5); break;
    default: break;
    }
}

void TPlcPassword::ExtendedRequest() {
    switch (link_.Phase) {
    case kPhaseConfirm: ConfirmReadBack(); return;
    case kPhaseSendSet:
        PutPassword(typed_);
        link_.SendCmd64(1, kSubSet, 4);
        break;
    case kPhaseAsk:
        gCommData[0] = 0;
        gCommDataLen = 1;
        link_.SendCmd64(1, kSubAsk, 1);
        break;
    case kPhaseSendEnter:
        PutPassword(typed_);
        link_.SendCmd64(1, kSubEnter, 4);
        break;
    default: break;
    }
    // The frame is on its way (a resend keeps its own copy).
    std::fill(gCommData, gCommData + 4, std::uint8_t{0});
}

// The PLC took a new password (or four spaces): the user is asked before
// the lock state is read back. Such PLCs ask this with 228, which in this
// message file is the clearing question; the step keeps a text of its own.
void TPlcPassword::ConfirmReadBack() {
    link_.Phase = kPhaseIdle;  // a tick while the question is open sends nothing
    const bool yes = host_.Ask(kMsgPwdReadBackQuestion);
    if (link_.JobNo != kJobPassword) return;  // the dialog closed meanwhile
    if (!yes) return End();
    link_.Phase = kPhaseAsk;
    ExtendedRequest();
}

void TPlcPassword::ReplyStep(TTransData&) {
    switch (link_.Phase) {
    case kPhaseType: {
        const std::uint16_t type = TTransData::ReplyWord(0);
        if (!link_.DecodePlcType(type)) return End(kMsgPwdUnknownPlc);
        family_ = link_.PlcFamilyClass;
        if (family_ == 0 && link_.PlcModelCode < kFirstPasswordModel) return End(kMsgPwdUnsupported);
        link_.Phase = kPhaseLock;
        return;
    }
    case kPhaseLock: LockStateReply(gCommDataLen >= 3 && (gCommData[2] & 1), false); return;
    default: break;
    }
    if (family_ == 0)
        StandardReply();
    else
        ExtendedReply();
}

void TPlcPassword::ShowLockState(bool locked) {
    Known = true;
    EnterMode = locked ? 1 : 0;
    host_.StatusText(locked ? kMsgPwdLocked : kMsgPwdNone);
    host_.PrepareShow();
}

void TPlcPassword::LockStateReply(bool locked, bool box) {
    ShowLockState(locked);
    const int msg = locked ? kMsgPwdLocked : kMsgPwdNone;
    if (locked && family_ == 0) {
        link_.Phase = kPhaseReadPassword;
        return;
    }
    End(box ? msg : -1);
}

void TPlcPassword::StandardReply() {
    switch (link_.Phase) {
    case kPhaseReadPassword:
        Overwrite(plcPassword_);
        for (int i = 0; i < 4 && 2 + i < static_cast<int>(gCommDataLen); ++i)
            plcPassword_.push_back(static_cast<char>(gCommData[2 + i]));
        std::fill(gCommData, gCommData + gCommDataLen, std::uint8_t{0});
        End();
        return;
    case kPhaseUnlockWord: link_.Phase = kPhaseRunState; return;
    case kPhaseRunState:
        if (gCommDataLen >= 3 && (gCommData[2] & 1)) return End(kMsgPwdPlcRuns);
        link_.Phase = kPhaseClear;
        return;
    case kPhaseClear:
        // Cleared. Such PLCs show 62 here, which in this message file is the
        // PLC's refusal; 53 says what happened. The lock state follows.
        Overwrite(plcPassword_);
        link_.ShowMessage(kMsgPwdCleared, "");
        link_.Phase = kPhaseLock;
        return;
    case kPhaseWritePassword:
        host_.StatusText(kMsgPwdLocked);
        link_.Phase = kPhaseSetLock;
        return;
    case kPhaseSetLock: link_.Phase = kPhaseLock; return;
    default: End(); return;
    }
}

void TPlcPassword::ExtendedReply() {
    // An error reply, or one ending in ACK without sound bytes, is the PLC's
    // refusal: nothing changed.
    const bool refused = gCommDataLen < 4 || (gCommData[0] & 0x80) || gCommData[2] != (link_.Phase == kPhaseSendSet     ? kSubSet
                                                                                        : link_.Phase == kPhaseAsk ? kSubAsk
                                                                                                                   : kSubEnter);
    switch (link_.Phase) {
    case kPhaseSendSet:
        if (refused) return End(kMsgPwdRefused);
        // The PLC took it: a new password locks it, four spaces leave it
        // open. That shows (and the dialog follows) whether or not the user
        // has it read back.
        ShowLockState(typed_ != kClearing);
        link_.Phase = kPhaseConfirm;
        return;
    case kPhaseAsk: {
        if (refused || gCommDataLen < 5) return End(kMsgPwdRefused);
        const std::uint8_t state = gCommData[4];
        if (state == 0x00 || state == 0xFF)
            LockStateReply(true, true);
        else if (state == 0x01)
            LockStateReply(false, true);
        else
            End(kMsgPwdRefused);
        return;
    }
    case kPhaseSendEnter: {
        bool accepted = !refused && gCommData[3] == 4 && gCommDataLen >= 8 && !typed_.empty();
        for (std::size_t i = 0; accepted && i < 4; ++i) accepted = gCommData[4 + i] == static_cast<std::uint8_t>(typed_[i]);
        std::fill(gCommData, gCommData + gCommDataLen, std::uint8_t{0});
        if (!accepted) return End(refused ? kMsgPwdRefused : kMsgPwdWrong);
        // The PLC answered with the password: it is unlocked (sub-code 12
        // would still report that it has a password).
        LockStateReply(false, true);
        return;
    }
    default: End(); return;
    }
}

void TPlcPassword::End(int msgId) {
    Overwrite(typed_);
    if (link_.JobNo == kJobPassword) link_.EndJob();
    host_.Finished();
    if (msgId >= 0) link_.ShowMessage(msgId, "");
}

void TPlcPassword::Aborted(TTransData&) {
    Overwrite(typed_);
    // The next OK asks the PLC first. After an OK the PLC may have taken
    // what was sent, or not: no lock state is shown until it has been asked
    // again. A query shows only what it has read.
    Known = false;
    if (changing_) host_.StatusText(-1);
    host_.Finished();
}

}  // namespace qel::link
