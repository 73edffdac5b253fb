#pragma once
// The register view's exchange with the PLC, job 9 of the link: the PLC is
// identified first (D1001) and refused when it is of another model family;
// then the registers of one page move in blocks with function 3 (read) or 16
// (write), within the family's register limits, with progress and cancel.
//
// A read collects the page apart from the data and stores it only when every
// block has arrived, so a fault or a cancel in the middle leaves the data as
// it was. A write sends the page as it stood when the transfer started.
// No windows: the view answers the host's questions.
#include <cstdint>
#include <string>
#include <vector>

#include "link/jobs/Registerdata.h"
#include "link/engine/Deviceaddress.h"
#include "link/engine/Transdata.h"

namespace qel::link {

// Message ids of the register transfer.
inline constexpr int kMsgRegReadDone = 138;
inline constexpr int kMsgRegWriteDone = 139;
inline constexpr int kMsgRegOtherModel = 142;
inline constexpr int kMsgRegReading = 242;
inline constexpr int kMsgRegWriting = 243;

// Register addresses on the link.
inline std::uint16_t DRegisterAddress(int n) { return WordRegisterAddress('D', n); }
inline std::uint16_t CRegisterAddress(int n) { return WordRegisterAddress('C', n); }
inline std::uint16_t TRegisterAddress(int n) { return WordRegisterAddress('T', n); }

// One request of a transfer: `count` registers of the page from register
// index `first` (a high-speed counter block counts its 4-byte registers).
struct TRegBlock {
    std::uint16_t address = 0;
    int first = 0;
    int count = 0;
};
// The blocks that move page `page` of `family` in the given direction:
// D in blocks of 8 (16 for family 1 reads); family 0 reads D0-D599 and D1000
// to the highest D and writes D0-D599; families 1 and 2 write all but the
// special registers D1000-D1999. C0-C199 and C200-C255 (in blocks of 8) for
// families 1 and 2; C0-C127 and the 13 counters one at a time for family 0;
// T0 to the highest T. So a transfer moves every register the view offers.
std::vector<TRegBlock> RegisterTransferPlan(int page, int family, bool read);

// What the transfer asks of the register view (and, through it, the frame).
class TRegisterHost {
public:
    virtual ~TRegisterHost() = default;
    // True while the PLC is monitored (after asking whether to stop): the
    // transfer does not start.
    virtual bool CheckStopMonitor() { return false; }
    // The progress window: caption (message id), bar from 0 to `maximum`.
    virtual void StartProgress(int captionMsg, int maximum) {}
    virtual void SetProgress(int position) {}
    // A transfer began (true) or ended (false, with `changed` when a read
    // stored new values): the view disables or enables its controls and the
    // frame's file and PLC commands, and refills its grid.
    virtual void TransferRunning(bool running, bool changed) {}
};

class TRegisterTransfer final : public TLinkJob {
public:
    TRegisterTransfer(TTransData& link, TRegisterHost& host);
    ~TRegisterTransfer() override;

    // Starts the transfer of `page` (TRegPage) of `data` for the project's
    // `family`; false (and nothing sent) when the link is busy with another
    // job, monitoring goes on, or the port does not open.
    bool Start(TRegisterData& data, int page, bool read, int family);
    // The user's cancel: ends the transfer with message 245, data unchanged.
    void Cancel();
    bool Running() const { return link_.JobNo == kJobRegisterView && data_ != nullptr; }

    void RequestStep(TTransData& link) override;
    void ReplyStep(TTransData& link) override;
    void Aborted(TTransData& link) override;
    bool Writes() const override { return Running() && !read_; }
    bool Reads() const override { return Running() && read_; }

    // 0 idle, 255 identifying the PLC, 12 reading, 11 writing.
    int CommState = 0;
    // Index of the next block of the plan.
    std::uint32_t CommOffset = 0;

private:
    void SendBlock();
    void IdentifyReply();
    void BlockReply();
    void Finish(int msgId, bool stored, const std::string& detail = {});
    void Progress();

    TTransData& link_;
    TRegisterHost& host_;
    TRegisterData* data_ = nullptr;
    int page_ = 0;
    int family_ = 0;
    bool read_ = true;
    std::vector<TRegBlock> plan_;
    // The page's values: for a read the values collected so far (stored at
    // the end), for a write the values being sent.
    std::vector<std::uint32_t> values_;
};

}  // namespace qel::link
