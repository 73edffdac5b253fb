#pragma once
// The SFC chart's on-line monitor without its window: the step numbers of the
// step-like cells on screen written into the PLC's device-list area, then the
// on/off bits of those steps read from the bit-values area, one bit per step
// in the order the chart draws them. The link's round robin drives it as
// monitor client "2".
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/engine/Transdata.h"

namespace qel::link {

inline constexpr int kSfcMoniMaxSteps = 96;
inline constexpr int kSfcMoniReplyBytes = kSfcMoniMaxSteps / 8;

class TSfcMonitor : public TMonitorClient {
public:
    // The step numbers of the step-like cells on screen, in drawing order.
    std::function<std::vector<std::uint16_t>()> VisibleSteps;
    // The list was written or new bits arrived: the window repaints.
    std::function<void()> OnRedraw;

    // Monitor client "2".
    int SendStep(TTransData& link) override { return SendMonitorStep(link); }
    int ReplyStep(TTransData& link) override { return ReceiveMonitorStep(link) ? 1 : 0; }
    void SetupStep(TTransData& link) override { StartMonitor(link); }

    // Builds the list of the visible steps (at most 96) and arms the link.
    void StartMonitor(TTransData& link);
    // Sends one request of the current state; 0 when nothing was sent.
    int SendMonitorStep(TTransData& link);
    // Takes a reply from gCommData; true when the client's cycle is complete.
    bool ReceiveMonitorStep(TTransData& link);
    // All steps shown off (the view moved; a new list follows).
    void ClearBits() { ReplyBits.fill(0); }
    // The state of the k-th step-like cell drawn.
    bool StepOn(int k) const { return k >= 0 && k < kSfcMoniMaxSteps && ((ReplyBits[k / 8] >> (k % 8)) & 1); }

    // 0 before the first start, 8 writing the list, 9 reading the bits.
    int MonitorState = 0;
    std::uint32_t MonitorIndex = 0;  // bytes of the list written
    std::array<std::uint16_t, kSfcMoniMaxSteps> StepList{};
    std::uint32_t StepListBytes = 0;
    std::array<std::uint8_t, kSfcMoniReplyBytes> ReplyBits{};
};

}  // namespace qel::link
