// The device monitor's poll cycle: the request lists built from the rows and
// the state machine that writes them into the PLC's monitor areas and reads
// the values back, one request per turn of monitor client "3".
//
// States: 8 write the bit-device list, 9 read the bit values, 10 read one
// word device (PLCs without block monitoring), 11 write the word-device list
// (its count register held at 0), 25 write the word count, 12 read the word
// values in blocks, 13 read one set-value register, 0 idle.
#include <algorithm>

#include "core/DeviceLimits.h"
#include "link/online/Devmonilist.h"

namespace qel::link {

namespace {

constexpr int kListChunk = 16;  // registers per list write
constexpr int kBlockEntries = 8;

// Monitor bases of the link: coil, device list, bit values, word list, word values.
enum { kCoilBase, kDevListBase, kBitValueBase, kWordListBase, kWordValueBase };

}  // namespace

void TDevMoniList::BuildMonitorList(TTransData& link) {
    ResetLists();
    Family = CurrentFamily();
    for (TDevMoniRow& r : Rows) {
        r.SetSource.clear();
        const std::string name = r.Name.substr(0, 19);
        if (name.empty()) continue;
        std::uint16_t a = 0;
        if (MoniBitAddress(name, a) && gMoniBitBytes / 2 < gMoniDevList.size()) {
            r.BitIndex = static_cast<int>(gMoniBitBytes / 2);
            gMoniDevList[gMoniBitBytes / 2] = a;
            gMoniBitBytes += 2;
            if (name[0] == 'T' || name[0] == 'C') FindSetValue(r, gProgram, gProgram ? gProgramCapacity : 0);
        }
        TWordAddress w;
        if (MoniWordAddress(name, Family, w))
            r.WordSlot = AddWordEntry(gMoniWordList.data(), gMoniWordReads.data(), gMoniWordBytes,
                                      gMoniWordList.size(), w, r.HighSlot);
    }
    PollOffset = 0;
    if (gMoniBitBytes || gMoniWordBytes || gMoniSetRegBytes) {
        PollState = gMoniBitBytes ? 8 : gMoniWordBytes ? (link.BlockMonitor ? 11 : 10) : 13;
        if (link.MaySend) link.StartComTmr();
    } else {
        // Nothing to poll: the turns show the scan time and the run state
        // (state 13 with empty lists asks for them and passes the turn).
        PollState = 13;
        link.ClientReplyCount = 20;
        if (link.MaySend) link.RequestScanTime();
    }
    if (OnValues) OnValues();
}

// Writes the next part of a device list at `base`: the first request carries
// the count register (or 0 for the word list) and up to 15 addresses, later
// ones up to 16 addresses each. Values go big-endian on the wire.
std::uint8_t TDevMoniList::WriteList(TTransData& link, std::uint16_t base, const std::uint16_t* list,
                                     std::uint32_t bytes, bool countFirst) {
    const std::uint32_t entries = bytes / 2;
    std::uint32_t sent = PollOffset / 2;
    int regs = 0;
    std::uint16_t address;
    auto put = [&regs](std::uint16_t v) {
        gCommData[2 * regs] = v >> 8;
        gCommData[2 * regs + 1] = v & 0xFF;
        ++regs;
    };
    if (sent == 0) {
        address = base;
        put(countFirst ? static_cast<std::uint16_t>(entries) : 0);
        while (sent < entries && regs < kListChunk) put(list[sent++]);
    } else {
        address = static_cast<std::uint16_t>(base + 1 + sent);
        while (sent < entries && regs < kListChunk) put(list[sent++]);
    }
    PollOffset = sent * 2;
    gCommDataLen = static_cast<std::uint32_t>(2 * regs);
    link.SendCommand(address, static_cast<std::uint16_t>(regs), 16);
    return 1;
}

std::uint8_t TDevMoniList::SendMonitorStep(TTransData& link) {
    const bool block = link.BlockMonitor != 0;
    const std::uint32_t wordEntries = gMoniWordBytes / 2;
    switch (PollState) {
    case 0:
        if (link.MonitorClients.size() >= 2) {
            link.StartComTmr();
            return 0;
        }
        return 1;
    case 8:
        if (gMoniBitBytes == 0) {
            PollState = !block ? 10 : wordEntries ? 11 : 9;
            link.StartComTmr();
            return 0;
        }
        return WriteList(link, link.MonitorBase[kDevListBase], gMoniDevList.data(), gMoniBitBytes, true);
    case 9:
        if (gMoniBitBytes == 0) {
            PollState = block ? 12 : 10;
            gMoniBlockIndex = 0;
            PollOffset = 0;
            link.StartComTmr();
            return 1;
        }
        link.SendCommand(link.MonitorBase[kBitValueBase],
                         static_cast<std::uint16_t>((gMoniBitBytes / 2 + 15) / 16), 3);
        return 1;
    case 10: {
        if (wordEntries == 0) {
            PollState = 13;
            PollOffset = 0;
            link.StartComTmr();
            return 0;
        }
        const std::size_t i = std::min<std::size_t>(PollOffset / 2, wordEntries - 1);
        link.SendCommand(gMoniWordList[i], ReadCount(gMoniWordReads[i]), 3);
        return 1;
    }
    case 11:
        if (wordEntries == 0) {
            PollState = block ? 9 : 10;
            PollOffset = 0;
            link.StartComTmr();
            return 1;
        }
        return WriteList(link, link.MonitorBase[kWordListBase], gMoniWordList.data(), gMoniWordBytes, false);
    case 12: {
        if (wordEntries == 0) {
            PollState = EndOfCycleState(link, false);
            PollOffset = 0;
            link.StartComTmr();
            return 1;
        }
        const std::uint32_t left = wordEntries - std::min(PollOffset, wordEntries);
        const std::uint16_t n = static_cast<std::uint16_t>(std::min<std::uint32_t>(kBlockEntries, left));
        if (TTransData::WordValuesReachPassword(gMoniWordList.data() + PollOffset, n)) link.ReplyCarriesPassword();
        link.SendCommand(static_cast<std::uint16_t>(link.MonitorBase[kWordValueBase] + PollOffset), n, 3);
        return 1;
    }
    case 13: {
        const std::uint32_t regs = gMoniSetRegBytes / 2;
        if (regs == 0) {
            if (gMoniBitBytes || wordEntries) {
                // Nothing more in this cycle.
                PollState = EndOfCycleState(link, true);
                PollOffset = 0;
                link.StartComTmr();
                return 0;
            }
            // Nothing listed: the scan time, then the run state, and the
            // turn passes so that other clients are not starved.
            link.ClientReplyCount = 20;
            link.RequestScanTime();
            return 0;
        }
        const std::size_t i = std::min<std::size_t>(PollOffset / 2, regs - 1);
        link.SendCommand(gMoniSetRegList[i], ReadCount(gMoniSetRegReads[i]), 3);
        return 1;
    }
    case 25:
        gCommData[0] = static_cast<std::uint8_t>(wordEntries >> 8);
        gCommData[1] = static_cast<std::uint8_t>(wordEntries & 0xFF);
        gCommDataLen = 2;
        link.SendCommand(link.MonitorBase[kWordListBase], 1, 16);
        return 1;
    default:
        return 1;
    }
}

// The state that starts the next cycle. The PLC's monitor areas are shared by
// every monitor client, so the lists are written again unless the device
// monitor is the only client (and the stop command asked for no rewrite).
int TDevMoniList::EndOfCycleState(TTransData& link, bool anyClientRewrites) const {
    const std::size_t clients = link.MonitorClients.size();
    if (clients >= 2 || (anyClientRewrites && clients >= 1)) return 8;
    if (link.BnStopTag) {
        link.BnStopTag = 0;
        return 8;
    }
    return 9;
}

std::uint8_t TDevMoniList::ReceiveMonitorStep(TTransData& link) {
    // The link hands over only replies whose byte count matches the request;
    // every copy below is still bounded by the buffers.
    const int count = gCommDataLen >= 3 ? std::min<int>(gCommData[1], static_cast<int>(gCommDataLen) - 3) : 0;
    const std::uint8_t* data = gCommData + 2;
    const std::uint32_t wordEntries = gMoniWordBytes / 2;
    const bool anyClient = !link.MonitorClients.empty();
    std::uint8_t done = 0;
    switch (PollState) {
    case 8:
        if (PollOffset >= gMoniBitBytes) {
            PollState = link.BlockMonitor ? 11 : 9;
            PollOffset = 0;
        }
        break;
    case 11:
        if (PollOffset >= gMoniWordBytes) {
            PollState = 25;
            PollOffset = 0;
        }
        break;
    case 25:
        PollState = 9;
        break;
    case 9:
        std::copy_n(data, std::min<int>(count, static_cast<int>(gMoniBitValues.size())), gMoniBitValues.begin());
        PollOffset = 0;
        if (wordEntries) {
            PollState = link.BlockMonitor ? 12 : 10;
            gMoniBlockIndex = 0;
        } else if (anyClient) {
            PollState = 8;
            done = 1;
        } else {
            PollState = 9;
        }
        break;
    case 10: {
        const std::uint32_t i = PollOffset / 2;
        if (i < wordEntries) StoreWordReply(gMoniWordValues[i], gMoniWordReads[i], data, count);
        if (PollOffset + 2 < gMoniWordBytes) {
            PollOffset += 2;
        } else {
            PollOffset = 0;
            if (gMoniSetRegBytes) {
                PollState = 13;
            } else if (anyClient) {
                PollState = gMoniBitBytes ? 8 : wordEntries ? 10 : 0;
                done = 1;
            } else {
                PollState = 9;
            }
        }
        break;
    }
    case 12: {
        for (int k = 0; k + 4 <= count; k += 4) {
            const std::uint32_t entry = PollOffset + static_cast<std::uint32_t>(k / 4);
            const std::uint32_t slot = static_cast<std::uint32_t>(gMoniBlockIndex) / 4;
            if (entry >= wordEntries || slot >= gMoniWordValues.size()) break;
            StoreWordReply(gMoniWordValues[slot], gMoniWordReads[entry], data + k, 4);
            gMoniBlockIndex += 4;
        }
        if (PollOffset + kBlockEntries < wordEntries) {
            PollOffset += kBlockEntries;
        } else {
            PollOffset = 0;
            if (gMoniSetRegBytes) {
                PollState = 13;
            } else {
                PollState = EndOfCycleState(link, false);
                done = 1;
            }
        }
        break;
    }
    case 13: {
        const std::uint32_t i = PollOffset / 2;
        if (i < gMoniSetRegBytes / 2) StoreWordReply(gMoniSetRegValues[i], gMoniSetRegReads[i], data, count);
        if (PollOffset + 2 < gMoniSetRegBytes) {
            PollOffset += 2;
        } else {
            PollState = EndOfCycleState(link, true);
            PollOffset = 0;
            done = 1;
        }
        break;
    }
    default:
        break;
    }
    if (OnValues) OnValues();
    // The link sends the next request from this reply at once (its nested
    // tick) instead of a tick later: on a fast line the tick would cost as
    // much as the frames.
    link.StartComTmr();
    return done;
}

}  // namespace qel::link
