// A PLC that sends an answer twice while the next request waits for a late
// refusal, over a pseudo-terminal against the emulator: the repeat answers
// nothing, the refusal is shown as from a PLC that answers once, and no job
// reports its work done.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "core/DeviceLimits.h"
#include "link/jobs/Fileregs.h"
#include "link/jobs/Memcard.h"
#include "link/jobs/Programtransfer.h"
#include "link/jobs/Registergrid.h"
#include "link/jobs/Registertransfer.h"
#include "link/online/Devmonilist.h"
#include "tests/link/LinkTestSupport.h"

using namespace qel::test;
using namespace qel::link;

namespace {

class RepeatedReply : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        card = std::make_unique<TMemCard>(*link, cardHost);
        fileRegs = std::make_unique<TFileRegTransfer>(*link, regHost);
        registers = std::make_unique<TRegisterTransfer>(*link, viewHost);
        program = std::make_unique<TProgramTransfer>(*link, cardHost);
        link->RegisterMonitorClient("3", &monitor);
    }
    void TearDown() override {
        link->RemoveMonitorClient("3");
        ResetDeviceLimits();  // the older PLC of the monitor row lowers family 0's D
    }
    TestProject project_{"qel-repeat-"};
    TTransferHost cardHost;
    TFileRegHost regHost;
    TRegisterHost viewHost;
    TDevMoniList monitor;
    std::unique_ptr<TMemCard> card;
    std::unique_ptr<TFileRegTransfer> fileRegs;
    std::unique_ptr<TRegisterTransfer> registers;
    std::unique_ptr<TProgramTransfer> program;
};

}  // namespace

TEST_F(RepeatedReply, RepeatedAnswerNeverStandsForTheNextRequestAndALateRefusalIsShown) {
    // The template sized for the card, values typed into 9984-10015, written
    // to a PLC whose file registers end at 9999.
    std::vector<std::uint16_t> values(32768, 0);
    for (int i = 9984; i < 10016; ++i) values[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i);
    TRegisterData view;
    for (int i = 0; i < 16; ++i) view.TRegs[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(100 + i);
    const bool xmd[9] = {true, false, true, false, false, false, true, false, false};  // X, M and D comments

    struct Row {
        const char* path;
        std::function<bool()> start;
        FaultRule late;    // the refused request's answer, sent late
        FaultRule repeat;  // the answer before it, sent a second time
        std::vector<int> msgs;
        std::function<void()> check;  // what the accepted answers did
    } rows[] = {
        {"template block write",
         [&] {
             emu.Configure(1, 3, 90);  // file registers 0-9999
             SetModelFamily(1);
             return fileRegs->Start(values, true, 9984, 10016);
         },
         {.action = FaultAction::Delay, .function = 100, .subCode = 17, .skip = 1, .param = 500},
         {.action = FaultAction::Duplicate, .function = 100, .subCode = 17, .param = 120},
         {kMsgFileRegWriteError},
         [&] {
             EXPECT_EQ(emu.S.fileRegs[9984], 9984);
             EXPECT_EQ(emu.S.fileRegs[9999], 9999);
         }},
        {"card comment write",
         [&] {
             emu.Configure(1, 3, 90);
             emu.S.cardArea[1].assign(32, 0xFF);  // room for one block of 16 words
             SetModelFamily(1);
             auto& lists = gQel.DevComments;
             for (auto& l : lists) l.assign(std::max<std::size_t>(l.size(), 200), "");
             lists[0][8] = "Start button";  // X10
             lists[2][100] = "Motor on";    // M100
             lists[6][0] = "Setpoint";      // D0: 44 bytes in all, two blocks
             return card->WriteComments(xmd);
         },
         {.action = FaultAction::Delay, .function = 100, .subCode = 17, .skip = 1, .param = 500},
         {.action = FaultAction::Duplicate, .function = 100, .subCode = 17, .param = 120},
         {kMsgCardError},
         [&] { EXPECT_EQ(emu.S.cardArea[1][0], 'X'); }},
        {"register view write of T0-T255 (function 16)",
         [&] {
             emu.Configure(1, 3, 90);
             SetModelFamily(1);
             return registers->Start(view, kRegPageT, false, 1);
         },
         {.action = FaultAction::Exception, .function = 16, .addrLo = 0x0608, .addrHi = 0x0608, .param = 2, .delay = 500},
         {.action = FaultAction::Duplicate, .function = 16, .addrLo = 0x0600, .addrHi = 0x0600, .param = 120},
         {192},
         [&] {
             EXPECT_EQ(emu.S.regs[0x0600], 100);
             EXPECT_EQ(emu.S.regs[0x0607], 107);
         }},
        {"program write in blocks of 16 registers",
         [&] {
             emu.Configure(1, 3, 90);
             SetModelFamily(1);
             SetProgramCapacity(3);
             gQel.CapacityIndex = 3;
             WriteProgram({"LD X0", "OUT Y0", "END"});
             LocateProgramEnd();
             gQel.ProgramPresent = 1;
             return program->StartWrite(0, 32);  // two blocks
         },
         {.action = FaultAction::Exception, .function = 16, .addrLo = 0x2010, .addrHi = 0x2010, .param = 4, .delay = 500},
         {.action = FaultAction::Duplicate, .function = 16, .addrLo = 0x2000, .addrHi = 0x2000, .param = 120},
         {kMsgPartlyWritten, 194},  // one block of two went in
         [&] { EXPECT_TRUE(std::equal(gProgram, gProgram + 32, emu.S.program.begin())); }},
        {"device monitor read of D10 then D1143",
         [&] {
             emu.Configure(0, 0, 40);  // no block monitoring: each word is read on its own
             emu.S.regs[0x100A] = 5;
             emu.S.regs[0x1477] = 9;
             SetModelFamily(0);
             int cur = 0;
             monitor.AddDevices(1, "D10", "1", &cur);
             monitor.AddDevices(2, "D1143", "1", &cur);
             if (!link->OpenPort()) return false;
             monitor.PollState = 8;
             gDevMonitorRefresh = 1;
             link->AddMonitorClient("3");
             return true;
         },
         {.action = FaultAction::Exception, .function = 3, .addrLo = 0x1477, .addrHi = 0x1477, .param = 2, .delay = 500},
         {.action = FaultAction::Duplicate, .function = 3, .addrLo = 0x100A, .addrHi = 0x100A, .param = 120},
         {192},
         [&] {
             EXPECT_EQ(monitor.Cells(1).Value16, "K5");
             EXPECT_EQ(monitor.Cells(2).Value16, "K0");  // refused: never read, least of all as D10
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        std::size_t requests[2] = {};
        for (const bool repeats : {false, true}) {
            SCOPED_TRACE(repeats ? "the PLC repeats an answer" : "the PLC answers once");
            emu.ClearFaults();
            emu.AddFault(row.late);
            if (repeats) emu.AddFault(row.repeat);
            emu.ClearLog();
            frame.msgs.clear();
            link->Stats = {};
            ASSERT_TRUE(row.start());
            ASSERT_TRUE(WaitUntil([&] {
                return !frame.msgs.empty() && link->JobNo == 0 && link->MonitorClients.empty() && !port->IsOpen() &&
                       emu.LateWrites() == 0;
            }));
            EXPECT_EQ(frame.Ids(), row.msgs);
            EXPECT_EQ(link->Stats.strayFrames, repeats ? 1u : 0u);
            requests[repeats] = emu.RequestCount();
            row.check();
        }
        // The repeat answered nothing and had nothing sent again.
        EXPECT_EQ(requests[1], requests[0]);
    }
}
