#include "simulator/Simuplc.h"

#include "core/DeviceLimits.h"
#include "project/Msgtable.h"

#include <algorithm>
#include <cstring>

namespace {

std::atomic<int> gLiveWorkers{0};

// How often the worker copies the device memory out for the GUI.
constexpr std::int64_t kPublishIntervalUs = 10'000;

}  // namespace

std::atomic<std::uint8_t> gSimRunning{0};
std::atomic<std::uint8_t> gSimLadderMonitor{0};
std::atomic<std::uint8_t> gSimSfcMonitor{0};
TPLC* gSimThread = nullptr;

TPLC::TPLC(const qel::Clock& clock)
    : clock_(clock), engine_(clock), published_(std::make_unique<TSimMemory>()) {
    ClearSimMemory(*published_);
}

TPLC::~TPLC() { Stop(); }

bool TPLC::Start(const std::uint8_t* image, std::size_t capacity) {
    if (!image || active_.load()) return false;
    if (worker_.joinable()) worker_.join();  // a run that stopped on its own

    program_.assign(image, image + capacity);
    engine_.LoadProgram(image, capacity);
    // The family cannot change while the run goes on (a new model ends it).
    engine_.SetFamily(CurrentFamily());
    engine_.ResetSimulator();
    TSimMemory& mem = engine_.Memory();
    mem.X()[0] = 1;
    mem.X()[1] = 1;
    mem.X()[2] = 0;
    scans_.store(0);
    scanTimeUs_.store(0);
    {
        std::lock_guard lock(mutex_);
        pending_.clear();
        hasPending_.store(false);
        nextProgram_.clear();
        hasProgram_.store(false);
        stopMessage_.clear();
        Publish();
        active_.store(true);
    }
    run_.store(true);
    worker_ = std::thread(&TPLC::Execute, this);
    return true;
}

void TPLC::Stop() {
    run_.store(false);
    if (worker_.joinable()) worker_.join();
}

void TPLC::StopSaying(const std::string& message) {
    if (!active_.load()) return;
    Stop();
    std::lock_guard lock(mutex_);
    stopMessage_ = message;
}

bool TPLC::Running() const { return active_.load(); }

bool TPLC::FollowProgram(const std::uint8_t* image, std::size_t capacity) {
    if (!image || !active_.load()) return false;
    if (program_.size() == capacity && std::equal(program_.begin(), program_.end(), image)) return true;
    program_.assign(image, image + capacity);
    std::lock_guard lock(mutex_);
    nextProgram_ = program_;
    hasProgram_.store(true, std::memory_order_release);
    return true;
}

void TPLC::Execute() {
    ++gLiveWorkers;
    std::int64_t lastPublish = clock_.NowUs();
    std::vector<std::uint8_t> program;
    while (run_.load(std::memory_order_relaxed)) {
        if (hasProgram_.load(std::memory_order_acquire)) {
            {
                std::lock_guard lock(mutex_);
                program.swap(nextProgram_);
                hasProgram_.store(false, std::memory_order_relaxed);
            }
            engine_.FollowProgram(program.data(), program.size());
        }
        if (hasPending_.load(std::memory_order_acquire)) {
            std::lock_guard lock(mutex_);
            ApplyPending();
        }
        const TSimScanEnd end = engine_.RunSimScan();
        scanTimeUs_.store(engine_.SimScanTime(), std::memory_order_relaxed);
        scans_.fetch_add(1, std::memory_order_relaxed);
        if (end == TSimScanEnd::Runaway) {
            std::lock_guard lock(mutex_);
            stopMessage_ = gMsgTable.Get(kMsgSimRunaway) + " " + std::to_string(engine_.RunawayOffset() / 2);
            break;
        }
        const std::int64_t now = clock_.NowUs();
        if (now - lastPublish >= kPublishIntervalUs || publishWanted_.load(std::memory_order_relaxed)) {
            lastPublish = now;
            publishWanted_.store(false, std::memory_order_relaxed);
            std::lock_guard lock(mutex_);
            Publish();
        }
    }
    {
        // Hand the engine back: clicks that came in late still count, and the
        // final states stay visible.
        std::lock_guard lock(mutex_);
        ApplyPending();
        Publish();
        active_.store(false);
    }
    run_.store(false);
    --gLiveWorkers;
}

void TPLC::Publish() { std::memcpy(published_.get(), &engine_.Memory(), sizeof(TSimMemory)); }

void TPLC::ApplyPending() {
    TSimMemory& mem = engine_.Memory();
    for (const Pending& p : pending_) {
        // Only the bit: a timer or counter contact clicked keeps its value.
        const bool on = p.action == 2 ? mem.bits[p.bit] == 0 : p.action == 1;
        mem.bits[p.bit] = on ? 1 : 0;
    }
    pending_.clear();
    hasPending_.store(false, std::memory_order_release);
}

void TPLC::Queue(int bit, int action) {
    if (bit < 0 || bit >= kBitZero) return;
    std::lock_guard lock(mutex_);
    pending_.push_back({bit, action});
    if (active_.load()) {
        hasPending_.store(true, std::memory_order_release);
        publishWanted_.store(true, std::memory_order_relaxed);
    } else {
        ApplyPending();
        Publish();
    }
}

void TPLC::SetBit(int bitIndex, bool on) { Queue(bitIndex, on ? 1 : 0); }

void TPLC::ToggleBit(int bitIndex) { Queue(bitIndex, 2); }

void TPLC::ReadDevices(TSimMemory& out) const {
    publishWanted_.store(true, std::memory_order_relaxed);
    std::lock_guard lock(mutex_);
    std::memcpy(&out, published_.get(), sizeof(TSimMemory));
}

int TPLC::ReadBit(int bitIndex) const {
    if (bitIndex < 0 || bitIndex >= kBitCount) return 0;
    publishWanted_.store(true, std::memory_order_relaxed);
    std::lock_guard lock(mutex_);
    return published_->bits[bitIndex] & 1;
}

std::string TPLC::StatusText() const {
    return "掃瞄時間" + std::to_string(LastScanTimeUs() / 100) + "( ms/10)";
}

std::string TPLC::TakeStopMessage() {
    std::lock_guard lock(mutex_);
    std::string m;
    m.swap(stopMessage_);
    return m;
}

int TPLC::LiveWorkers() { return gLiveWorkers.load(); }

TPLC& SimPlc() {
    static TPLC plc;
    gSimThread = &plc;
    return plc;
}

bool ToggleSimulation(const std::uint8_t* image, std::size_t capacity, bool fromSfc) {
    TPLC& plc = SimPlc();
    if (gSimRunning) {
        plc.Stop();
        gSimRunning = 0;
        gSimLadderMonitor = 0;
        gSimSfcMonitor = 0;
        return false;
    }
    if (!plc.Start(image, capacity)) return false;
    gSimRunning = 1;
    (fromSfc ? gSimSfcMonitor : gSimLadderMonitor) = 1;
    return true;
}

void ShutdownSimulation() {
    if (gSimThread) gSimThread->Stop();
    gSimRunning = 0;
    gSimLadderMonitor = 0;
    gSimSfcMonitor = 0;
}
