#pragma once
// A hand-held programmer on a pseudo-terminal for tests: the master at
// station 0x80 that reads the PC's program or writes one into it, one request
// at a time, repeating a request that got no answer. It checks every answer
// against what a programmer expects and records the first disagreement.
// Runs in the test's Qt event loop, like the PLC emulator.
#include <QTimer>

#include "tests/support/Pty.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qel::test {

class HppMaster : public PtyPeer {
public:
    explicit HppMaster(QObject* parent = nullptr);

    // "HPP reads PC": identification, then `bytes` of program in blocks of
    // 32 from the program window. `full` sends the whole-capacity flag.
    void ReadFromPc(int bytes, bool full);
    // "HPP writes PC": identification, D1002, then the image in blocks of 32.
    void WriteToPc(const std::vector<std::uint8_t>& image);
    // Sends one request of its own (an adversarial one) and records the
    // answer, if any, in Answers. One the PC should answer (`answered`) is
    // waited for as a whole request is; otherwise the wait ends after
    // answerTimeoutMs, long enough to show that no answer comes.
    void SendRaw(const std::vector<std::uint8_t>& bytes, bool answered);

    bool Done() const { return done_; }
    bool Failed() const { return !error.empty(); }

    // Options.
    std::uint8_t station = 0x80;
    // A garbled request (or one of SendRaw's not to be answered) without an
    // answer is sent again (given up on) after answerTimeoutMs; a request
    // sent whole waits up to kBusyPcMs for a busy PC, as sent again it would
    // be answered twice.
    int answerTimeoutMs = 400;
    static constexpr int kBusyPcMs = kWaitLimitMs;
    int attempts = 3;           // sends per request before the session fails
    int corruptRequest = -1;    // this request goes out once with a bad LRC
    int stopAfterRequests = -1; // the programmer falls silent after this many
    int pauseBeforeLastAnswerMs = 0;  // reads nothing this long after its last request
    std::function<void()> beforeLastRequest;  // runs just before the last request goes out

    // Results.
    std::string error;                     // first disagreement, empty when none
    std::vector<std::uint8_t> Image;       // the program read from the PC
    int CapacityCode = -1;                 // answer to D1001 x 1
    int CapacityBytes = -1;                // answer to D1001 x 3
    std::vector<std::vector<std::uint8_t>> Answers;  // answers to SendRaw
    int RequestsSent = 0;
    int Resends = 0;

private:
    struct Step {
        std::vector<std::uint8_t> request;  // without the LRC
        // Checks the answer's bytes (station first, no LRC); returns an error text.
        std::function<std::string(const std::vector<std::uint8_t>&)> check;
    };
    void Run(std::vector<Step> steps);
    void SendCurrent();
    void OnLine(const std::string& text) override;
    void OnTimeout();
    void Fail(const std::string& why);

    QTimer timer_;
    std::vector<Step> steps_;
    std::size_t current_ = 0;
    int tries_ = 0;
    bool garbled_ = false;  // this step went out garbled once
    bool done_ = false;
    bool raw_ = false;
    bool rawAnswered_ = false;
};

}  // namespace qel::test
