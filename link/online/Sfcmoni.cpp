#include "link/online/Sfcmoni.h"

#include <algorithm>

namespace qel::link {

namespace {

constexpr int kDevListBase = 1;
constexpr int kBitValueBase = 2;
constexpr std::uint32_t kFirstFrameBytes = 30;  // the count and 15 numbers fill 16 registers
constexpr std::uint32_t kFrameBytes = 32;       // 16 numbers

}  // namespace

void TSfcMonitor::StartMonitor(TTransData& link) {
    // The old bits belong to the old list.
    ClearBits();
    StepListBytes = 0;
    if (VisibleSteps) {
        const std::vector<std::uint16_t> steps = VisibleSteps();
        const std::size_t n = std::min<std::size_t>(steps.size(), kSfcMoniMaxSteps);
        std::copy_n(steps.begin(), n, StepList.begin());
        StepListBytes = static_cast<std::uint32_t>(2 * n);
    }
    MonitorState = 8;
    MonitorIndex = 0;
    if (StepListBytes == 0) {
        // Nothing on screen: the turns show the scan time.
        link.ClientReplyCount = 20;
        if (link.MaySend) link.RequestScanTime();
    } else if (link.MaySend) {
        link.StartComTmr();
    }
}

int TSfcMonitor::SendMonitorStep(TTransData& link) {
    switch (MonitorState) {
    case 0:
        link.StartComTmr();
        return 0;
    case 8: {
        if (StepListBytes == 0) {
            link.ClientReplyCount = 20;
            link.RequestScanTime();
            return 1;
        }
        // Every word high byte first; number k always lands in word k + 1.
        int regs = 0;
        auto put = [&regs](std::uint16_t v) {
            gCommData[2 * regs] = static_cast<std::uint8_t>(v >> 8);
            gCommData[2 * regs + 1] = static_cast<std::uint8_t>(v & 0xFF);
            ++regs;
        };
        const std::uint16_t base = link.MonitorBase[kDevListBase];
        std::uint16_t address = base;
        if (MonitorIndex == 0) {
            put(static_cast<std::uint16_t>(StepListBytes / 2));
            const std::uint32_t bytes = std::min(StepListBytes, kFirstFrameBytes);
            for (std::uint32_t b = 0; b < bytes; b += 2) put(StepList[b / 2]);
            MonitorIndex = bytes;
        } else {
            address = static_cast<std::uint16_t>(base + (MonitorIndex + 2) / 2);
            const std::uint32_t end = std::min(StepListBytes, MonitorIndex + kFrameBytes);
            for (std::uint32_t b = MonitorIndex; b < end; b += 2) put(StepList[b / 2]);
            MonitorIndex = end;
        }
        gCommDataLen = static_cast<std::uint32_t>(2 * regs);
        link.SendCommand(address, static_cast<std::uint16_t>(regs), 16);
        return 1;
    }
    case 9:
        link.SendCommand(link.MonitorBase[kBitValueBase], static_cast<std::uint16_t>((StepListBytes + 31) / 32), 3);
        return 1;
    default:
        return 1;
    }
}

bool TSfcMonitor::ReceiveMonitorStep(TTransData& link) {
    switch (MonitorState) {
    case 8:
        if (MonitorIndex >= StepListBytes) {
            MonitorState = 9;
            MonitorIndex = 0;
        }
        if (OnRedraw) OnRedraw();
        return false;
    case 9: {
        // At most 12 data bytes are kept, in the order received.
        const int count = gCommDataLen >= 3 ? std::min<int>(gCommData[1], static_cast<int>(gCommDataLen) - 3) : 0;
        const int keep = std::clamp(count, 0, kSfcMoniReplyBytes);
        ReplyBits.fill(0);
        std::copy_n(gCommData + 2, keep, ReplyBits.begin());
        MonitorIndex = 0;
        if (link.MonitorClients.size() > 1) {
            // The monitor areas are shared: the list goes out again first.
            MonitorState = 8;
        } else if (link.BnStopTag) {
            link.BnStopTag = 0;
            MonitorState = 8;
        } else {
            MonitorState = 9;
        }
        if (OnRedraw) OnRedraw();
        return true;
    }
    default:
        if (OnRedraw) OnRedraw();
        return false;
    }
}

}  // namespace qel::link
