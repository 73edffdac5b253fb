#pragma once
// The simulator thread and the controller the frame drives it through.
//
// The worker owns the engine while it runs: it scans without pause and never
// touches a window. It publishes a copy of the device memory every few
// milliseconds (and when asked), the scan count and the last scan time; the
// GUI reads those, and its input clicks are queued and applied at the start
// of the next scan. So nothing is shared without a lock or an atomic.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "simulator/SimEngine.h"

// Message shown when the worker stops a scan that never reaches END; the
// step follows it.
inline constexpr int kMsgSimRunaway = 153;

class TPLC {
public:
    explicit TPLC(const qel::Clock& clock = qel::SystemClock());
    ~TPLC();  // stops and joins the worker
    TPLC(const TPLC&) = delete;
    TPLC& operator=(const TPLC&) = delete;

    // Starts a run on a copy of the program image (capacity bytes): clears
    // the device memory, presets X0 = 1, X1 = 1, X2 = 0 and starts the worker.
    // False, nothing changed, while a run is going on or without an image.
    bool Start(const std::uint8_t* image, std::size_t capacity);
    // Ends the run: the scan in progress completes, then the worker is joined.
    // The device states stay readable until the next start.
    void Stop();
    // Ends the run as Stop does, for a reason the user is told: the message
    // is reported as that of a run that stopped on its own (TakeStopMessage).
    void StopSaying(const std::string& message);
    // The run goes on with the program as it is now (capacity bytes): from
    // the next scan on, with every device as it stands (TSimEngine::
    // FollowProgram). Nothing changes when the run has this program already;
    // false while no run is going on.
    bool FollowProgram(const std::uint8_t* image, std::size_t capacity);
    // True from Start until Stop, or until the worker stopped a runaway scan.
    bool Running() const;

    // Scans completed in this run, and the time the last one took.
    std::uint64_t ScanCount() const { return scans_.load(std::memory_order_relaxed); }
    std::uint32_t LastScanTimeUs() const { return scanTimeUs_.load(std::memory_order_relaxed); }
    // The status bar text for the last scan time, in tenths of a millisecond.
    std::string StatusText() const;

    // Copies the device states of a recent scan (at most a few ms old while
    // running, the final ones after a stop).
    void ReadDevices(TSimMemory& out) const;
    // State of one bit device (flat index, see SimBitIndexOf); 0 when none.
    int ReadBit(int bitIndex) const;
    // Sets or flips a bit device, as a click on a contact does: applied at the
    // start of the next scan, or at once while stopped.
    void SetBit(int bitIndex, bool on);
    void ToggleBit(int bitIndex);

    // The message of a run that stopped on its own (a scan that never reached
    // its end); empty when there is none. Cleared when read.
    std::string TakeStopMessage();

    // Worker threads of all controllers that are alive right now.
    static int LiveWorkers();

private:
    struct Pending {
        int bit;
        int action;  // 0 reset, 1 set, 2 toggle
    };
    void Execute();
    void Queue(int bit, int action);
    void ApplyPending();  // with mutex_ held
    void Publish();       // with mutex_ held

    const qel::Clock& clock_;
    TSimEngine engine_;
    std::thread worker_;

    std::atomic<bool> run_{false};
    std::atomic<bool> active_{false};       // the worker owns the engine
    std::atomic<bool> hasPending_{false};
    std::atomic<bool> hasProgram_{false};   // nextProgram_ waits for the next scan
    mutable std::atomic<bool> publishWanted_{false};
    std::atomic<std::uint64_t> scans_{0};
    std::atomic<std::uint32_t> scanTimeUs_{0};

    mutable std::mutex mutex_;  // guards everything below
    std::unique_ptr<TSimMemory> published_;
    std::vector<Pending> pending_;
    std::vector<std::uint8_t> nextProgram_;
    std::string stopMessage_;

    std::vector<std::uint8_t> program_;  // GUI thread: the program last handed to the run
};

// --- the frame's simulator ----------------------------------------------------------
// Flags the frame and the ladder window read; written on the GUI thread.
extern std::atomic<std::uint8_t> gSimRunning;        // a simulation runs
extern std::atomic<std::uint8_t> gSimLadderMonitor;  // the ladder window shows simulated states
extern std::atomic<std::uint8_t> gSimSfcMonitor;     // started from the SFC view
// The frame's simulator (null before the first start).
extern TPLC* gSimThread;

// The frame's simulator, created on first use (and then also gSimThread).
TPLC& SimPlc();

// The frame's simulate commands: start when stopped, stop when running.
// `fromSfc` sets gSimSfcMonitor instead of gSimLadderMonitor. Returns whether
// the simulation runs afterwards; after a stop the ladder window is to be
// repainted in its editing form.
bool ToggleSimulation(const std::uint8_t* image, std::size_t capacity, bool fromSfc = false);
// Stops the frame's simulator, if any, and clears the flags (frame closing).
void ShutdownSimulation();
