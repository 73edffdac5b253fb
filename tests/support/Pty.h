#pragma once
// Pseudo-terminal helpers for tests of the serial component and the PLC link.
// The test keeps the master side; the component opens the slave by its path.
#include <QObject>

#include "tests/support/WaitLimit.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QSocketNotifier;

namespace qel::test {

class Pty {
public:
    Pty();  // opens a raw pair; throws std::runtime_error on failure
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    // Writes every byte, waiting (bounded) while the pty is full. False on
    // time-out or error.
    bool Write(const void* data, size_t len, std::chrono::milliseconds limit = kWaitLimit);
    bool Write(const std::string& s) { return Write(s.data(), s.size()); }
    // Reads until n bytes have come or the limit passes; returns what came.
    std::vector<uint8_t> Read(size_t n, std::chrono::milliseconds limit = kWaitLimit);
    // Reads whatever is there now.
    std::vector<uint8_t> ReadAvailable();
    // Bytes the slave side has not read yet.
    int SlavePending() const;
    // Hangs up: the slave then sees end of file.
    void CloseMaster();

private:
    int master_ = -1;
    int slaveKeep_ = -1;  // keeps the slave alive between component openings
    std::string slavePath_;
};

// A station on the master side of a pseudo-terminal, in the test's Qt event
// loop: each line from ':' to LF that comes in goes to OnLine.
class PtyPeer : public QObject {
public:
    explicit PtyPeer(QObject* parent = nullptr);
    ~PtyPeer() override;
    // Opens the pseudo-terminal; false when the system refuses one.
    bool Start();
    // The device the link opens.
    std::string SlavePath() const { return pty_ ? pty_->SlavePath() : std::string(); }

protected:
    virtual void OnFrameStart() {}
    virtual void OnLine(const std::string& text) = 0;
    // The line is cut: this end closes, the other end hangs up.
    void Hangup();
    // Reads nothing for `ms`, then reads on a thread of its own until a whole
    // line has come: the event loop may be held up meanwhile (a closing port
    // waits for its output to leave). The line is handled in the event loop.
    void PauseReading(int ms);

    std::unique_ptr<Pty> pty_;  // raw both ends: a cooked line would turn the frame's CR into LF
    int master_ = -1;           // the pty's master while the line stands
    std::string rx_;            // the line coming in

private:
    void OnReadable();
    void Take(const char* data, size_t n);
    std::unique_ptr<QSocketNotifier> notifier_;
    std::thread pausedReader_;
};

// A QCoreApplication for tests that deliver through the event loop.
void EnsureCoreApp();

// Processes Qt events until pred() holds or the limit passes; returns pred().
bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = kWaitLimit);

// Open descriptors and threads of this process, for leak checks.
int OpenDescriptorCount();
int ThreadCount();

// CPU time (user + system) this process has used, in milliseconds.
double ProcessCpuMs();

}  // namespace qel::test
