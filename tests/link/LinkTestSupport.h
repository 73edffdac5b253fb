#pragma once
// Shared pieces of the link tests: the Qt event loop, bounded waits, a frame
// that records what the link shows, scripted jobs and monitor clients, and a
// fixture that joins a link to the emulator over a pseudo-terminal.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/Codetranslate.h"
#include "link/engine/Transdata.h"
#include "project/Qelglobals.h"
#ifdef QEL_LINK_HAS_COMPORT
#include "link/engine/Comportlink.h"
#endif
#include "tests/support/Plcemulator.h"
#include "tests/support/PlcemulatorPort.h"
#include "tests/support/TestInstallDir.h"
#include "tests/support/WaitLimit.h"

// Fault rules name only the fields they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qel::test {

// Assembles instruction-list lines into the program image from offset 0.
inline void WriteProgram(const std::vector<std::string>& lines) {
    std::memset(gProgram, 0xFF, gProgramCapacity);
    std::uint32_t off = 0;
    for (const std::string& line : lines) {
        ASSERT_TRUE(SetInputText(line) && AssembleInstruction() == 1) << line;
        std::memcpy(gProgram + off, gInsnBuf.code, gInsnBuf.length);
        off += gInsnBuf.length;
    }
}

inline void EnsureApp() {
    static int argc = 1;
    static char name[] = "link_test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

// The reply time-out tick of the link tests.
inline constexpr double kTestTickMs = 5.0;

// Runs the event loop until pred holds or the bound passes, sleeping between
// events (a timer wakes it every few milliseconds), so that a long wait does
// not keep a core busy while other tests run beside it.
inline bool WaitUntil(const std::function<bool()>& pred, int boundMs = kWaitLimitMs) {
    QTimer wake;
    wake.start(5);
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > boundMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The first or last entry of what a job recorded, or nothing: a job that
// never ran leaves its record empty, and the test must fail on that rather
// than read past the end.
template <class V>
std::optional<typename V::value_type> First(const V& v) {
    if (v.empty()) return std::nullopt;
    return v.front();
}
template <class V>
std::optional<typename V::value_type> Last(const V& v) {
    if (v.empty()) return std::nullopt;
    return v.back();
}

// Runs the event loop for a while (only to show that nothing more happens).
inline void Spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A private install folder with the program's data files, and the shared
// program buffers, for the length of a test.
struct TestProject {
    explicit TestProject(const std::string& prefix)
        : home(MakeTestInstallDir(prefix, {"QEL.Txt", "DeviceCommentInit.txt"})) {
        std::filesystem::create_directories(home / "Temp");
        AllocateSharedBuffers();
        gQel.InstallFolder = home.string() + "/";
        gQel.SaveDir = home.string();
    }
    ~TestProject() {
        FreeSharedBuffers();
        std::filesystem::remove_all(home);
    }
    std::filesystem::path home;
};

class RecordingFrame : public link::TLinkFrameBase {
public:
    struct Msg {
        int id;
        std::string detail;
    };
    void SetLamp(link::LampColor c) override {
        TLinkFrameBase::SetLamp(c);
        lamps.push_back(c);
        if (c == link::LampColor::Red && onRed) onRed();
    }
    void ShowLinkMessage(int id, const std::string& detail) override { msgs.push_back({id, detail}); }
    // The ids of the messages shown, in order.
    std::vector<int> Ids() const {
        std::vector<int> ids;
        for (const Msg& m : msgs) ids.push_back(m.id);
        return ids;
    }
    void CloseProgress() override { ++progressClosed; }
    void AdvanceProgress() override { ++progressSteps; }
    void ShowPlcVariant(std::uint16_t v) override { variant = v; }
    void ShowScanTime(std::uint16_t v) override { scanTimes.push_back(v); }
    void ShowRunState(bool r) override { runStates.push_back(r); }
    void MonitoringStopped() override { ++monitoringStopped; }

    bool Saw(link::LampColor c) const {
        for (auto l : lamps)
            if (l == c) return true;
        return false;
    }

    std::function<void()> onRed;  // called at each good reply
    std::vector<link::LampColor> lamps;
    std::vector<Msg> msgs;
    std::vector<std::uint16_t> scanTimes;
    std::vector<bool> runStates;
    int progressClosed = 0, progressSteps = 0, monitoringStopped = 0, variant = -1;
};

// A job whose steps are lambdas; it records its replies.
class ScriptJob : public link::TLinkJob {
public:
    std::function<void(link::TTransData&)> request, reply;
    void RequestStep(link::TTransData& l) override {
        ++requests;
        if (request) request(l);
    }
    void ReplyStep(link::TTransData& l) override {
        replies.emplace_back(link::gCommData, link::gCommData + link::gCommDataLen);
        if (reply) reply(l);
    }
    void Aborted(link::TTransData&) override { ++aborted; }
    int requests = 0, aborted = 0;
    std::vector<std::vector<std::uint8_t>> replies;
};

// A job that sends one request per step and ends after the last.
struct SequenceJob : ScriptJob {
    explicit SequenceJob(std::vector<std::function<void(link::TTransData&)>> s) : steps(std::move(s)) {
        request = [this](link::TTransData& l) { steps[next++](l); };
        reply = [this](link::TTransData& l) {
            if (next == steps.size()) l.EndJob();
        };
    }
    std::vector<std::function<void(link::TTransData&)>> steps;
    std::size_t next = 0;
};

// A monitor client that reads one register per turn.
class ReadClient : public link::TMonitorClient {
public:
    ReadClient(std::uint16_t address, int perCycle) : address_(address), perCycle_(perCycle) {}
    int SendStep(link::TTransData& l) override {
        l.SendCommand(address_, 1, 3);
        return 1;
    }
    int ReplyStep(link::TTransData&) override {
        values.push_back(link::TTransData::ReplyWord(0));
        return ++inCycle_ % perCycle_ == 0;
    }
    void SetupStep(link::TTransData& l) override {
        ++setups;
        link::gCommData[0] = 0;
        link::gCommData[1] = 1;
        link::gCommDataLen = 2;
        l.SendCommand(address_, 1, 16);
    }
    std::vector<std::uint16_t> values;
    int setups = 0;

private:
    std::uint16_t address_;
    int perCycle_;
    int inCycle_ = 0;
};

// The line the tests drive the link through: the serial port component when
// it is built, else a raw device port.
inline std::unique_ptr<link::TLinkPort> MakePort(const std::string& path) {
#ifdef QEL_LINK_HAS_COMPORT
    // Tests never fall through to a real serial device.
    qel::SetComDeviceResolver([path](std::uint16_t) { return path; });
    return std::make_unique<link::TComPortLink>();
#else
    return std::make_unique<RawLinkPort>(path);
#endif
}

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        ASSERT_TRUE(emu.Start());
        port = MakePort(emu.SlavePath());
        link = std::make_unique<link::TTransData>(port.get(), &frame);
        // Short time-out ticks: 180 ticks take 900 ms, not ten seconds, and
        // still leave room for a machine busy with other work.
        link->SetTickMs(kTestTickMs);
    }
    // Runs a job until it has ended or the link went quiet.
    bool RunJob(int jobNo, ScriptJob& job, int phase = 1) {
        link->RegisterJob(jobNo, &job);
        if (!link->OpenPort()) return false;
        link->StartJob(jobNo, phase);
        return Idle();
    }
    // Waits until no job runs and every message of the link is shown. A link
    // that did not come back once stays stuck for the rest of the test: later
    // waits fail at once instead of each adding its bound, which would take
    // the binary past its time limit instead of failing the test.
    bool Idle(int boundMs = kWaitLimitMs) {
        if (stuck_) return false;
        stuck_ = !WaitUntil([&] { return link->JobNo == 0 && link->MaySend && !link->MessagesPending(); }, boundMs);
        return !stuck_;
    }
    // Runs what `start` began until the link is idle; the ids of the messages shown.
    std::vector<int> Ran(const std::function<bool()>& start) {
        frame.msgs.clear();
        emu.ClearLog();
        if (start()) {
            EXPECT_TRUE(Idle());
        }
        return frame.Ids();
    }
    // The requests of function `fn` at addresses [lo, hi), as bytes.
    std::vector<std::vector<std::uint8_t>> Requests(int fn, int lo, int hi) const {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& t : emu.Log()) {
            if (t.bytes.size() < 4 || t.bytes[1] != fn) continue;
            const int a = t.bytes[2] << 8 | t.bytes[3];
            if (a >= lo && a < hi) out.push_back(t.bytes);
        }
        return out;
    }

    // A derived fixture's members (its jobs and clients) go before the link,
    // the link before its port.
    PlcEmulator emu;
    RecordingFrame frame;
    std::unique_ptr<link::TLinkPort> port;
    std::unique_ptr<link::TTransData> link;

private:
    bool stuck_ = false;
};

}  // namespace qel::test
