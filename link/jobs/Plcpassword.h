#pragma once
// The PLC password, job 8 of the link: finds out whether the PLC is locked,
// unlocks it with the typed password, sets a new one, changes or clears it.
//
// Family 0 PLCs keep the password in D1013-D1014 and the lock in M1069; they
// are served with standard requests (the typed password is compared with the
// PLC's own, then M1069 goes OFF). The other families take function 100:
// sub-code 11 sets (four spaces clear), 12 asks whether a password is set, 13
// unlocks with the typed password and answers with it when it was right.
//
// The password lives only in this object's buffers while it is needed, and
// they are overwritten as soon as it is not: it never reaches a message, a
// setting or a file. A password the PLC does not accept changes nothing.
// No windows: the dialog answers the host's questions.
#include <cstdint>
#include <string>

#include "link/engine/Transdata.h"

namespace qel::link {

// Message ids of the password dialogue.
inline constexpr int kMsgBadCharacter = 0;
inline constexpr int kMsgPwdLength = 51;
inline constexpr int kMsgPwdEnter = 52;
inline constexpr int kMsgPwdCleared = 53;
inline constexpr int kMsgPwdWrong = 54;
inline constexpr int kMsgPwdConfirm = 55;
inline constexpr int kMsgPwdMismatch = 56;
inline constexpr int kMsgPwdNone = 57;
inline constexpr int kMsgPwdLocked = 58;
inline constexpr int kMsgPwdUnsupported = 59;
inline constexpr int kMsgPwdPlcRuns = 60;
inline constexpr int kMsgPwdRefused = 62;
inline constexpr int kMsgPwdClearQuestion = 228;
inline constexpr int kMsgPwdReadBackQuestion = 231;
inline constexpr int kMsgPwdClearing = 232;
inline constexpr int kMsgPwdMonitoring = 81;
inline constexpr int kMsgPwdUnknownPlc = 239;

// What the password job asks of its dialog.
class TPasswordHost {
public:
    virtual ~TPasswordHost() = default;
    // The dialog's status panel (a message id; below 0: nothing shown).
    virtual void StatusText(int msgId) {}
    // EnterMode changed or a dialogue ended: the dialog shows or hides its
    // confirmation field and empties both edits.
    virtual void PrepareShow() {}
    // A message as a Yes/No question: true for Yes.
    virtual bool Ask(int msgId) { return false; }
    // The dialogue with the PLC ended (done, refused or failed).
    virtual void Finished() {}
};

class TPlcPassword final : public TLinkJob {
public:
    TPlcPassword(TTransData& link, TPasswordHost& host);
    ~TPlcPassword() override;

    // Asks the PLC whether it has a password (type word, then M1069, and for
    // family 0 the password itself); false when nothing could start (a job
    // runs, monitoring runs, the port does not open).
    bool Query();
    // The OK button with the two typed texts. Returns the message id of a
    // refusal of the typing (shown already, nothing sent), kStarted when a
    // dialogue with the PLC began, kNothing when nothing happened (busy, no
    // query yet, clearing not confirmed).
    static constexpr int kStarted = -1;
    static constexpr int kNothing = -2;
    int Apply(const std::string& password, const std::string& confirm);
    // The dialog closes: a dialogue still running is cancelled.
    void Close();
    bool Running() const { return !linkGone_ && link_.JobNo == kJobPassword; }
    // Query reads the lock state; what Apply starts sets, clears or enters a password.
    bool Writes() const override { return Running() && writing_; }
    // The link went first (the program ends): nothing more may reach it.
    void LinkGone() { linkGone_ = true; }

    void RequestStep(TTransData& link) override;
    void ReplyStep(TTransData& link) override;
    void Aborted(TTransData& link) override;

    // 1: the PLC is locked and the password must be entered; 0: a new
    // password may be set (with confirmation).
    std::uint8_t EnterMode = 0;
    // True once a query told the PLC's family and lock state, or the PLC took
    // a password or its clearing since. False again when a dialogue that may
    // have changed it failed: the next OK asks the PLC first.
    bool Known = false;

private:
    void End(int msgId = -1);
    void Wipe();
    void StandardRequest();
    void StandardReply();
    void ExtendedRequest();
    void ExtendedReply();
    // The PLC's lock state is known: status panel, EnterMode, and (box) the
    // same message in a box.
    void LockStateReply(bool locked, bool box);
    // The lock state the PLC now holds: status panel, EnterMode, the edits.
    void ShowLockState(bool locked);
    void ConfirmReadBack();
    void PutPassword(const std::string& p);

    TTransData& link_;
    TPasswordHost& host_;
    bool linkGone_ = false;
    bool changing_ = false;     // the dialogue may change the PLC's protection (OK, not a query)
    bool writing_ = false;      // the job runs for Apply, not for Query
    int family_ = 0;
    std::string plcPassword_;   // family 0: the PLC's password as read
    std::string typed_;         // what is being sent or compared
};

}  // namespace qel::link
