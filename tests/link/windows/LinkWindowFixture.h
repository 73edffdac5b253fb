#pragma once
// A frame whose serial ports all lead to the PLC emulator over a
// pseudo-terminal, with reply time-outs of about a second.
#include <chrono>
#include <string>

#include "link/engine/Transdata.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "serial/Serialport.h"
#include "shell/Qellink.h"
#include "tests/shell/FrameFixture.h"
#include "tests/support/Plcemulator.h"
#include "tests/support/Pty.h"

// Fault rules name only the fields they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using qel::link::_TransData;
using qel::test::PlcEmulator;
using qel::test::PumpUntil;

class LinkWindowTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        ASSERT_TRUE(emu_.Start());
        emu_.Configure(1, 3, 90);
        qel::SetComDeviceResolver([path = emu_.SlavePath()](std::uint16_t) { return path; });
    }
    void TearDown() override {
        FrameTest::TearDown();
        qel::SetComDeviceResolver(nullptr);
    }
    void StartFrame() {
        ASSERT_TRUE(Start());
        _TransData->SetTickMs(5.0);
    }
    // No job runs and the link may send.
    static bool Idle() {
        return PumpUntil([] { return _TransData->JobNo == 0 && _TransData->MaySend; }, std::chrono::seconds(20));
    }

    PlcEmulator emu_;
};
