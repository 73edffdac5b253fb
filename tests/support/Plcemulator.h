#pragma once
// A PLC on a pseudo-terminal for tests: a Modbus ASCII slave that holds the
// program memory, devices, registers, password, monitor areas, file registers
// and a memory card, answers functions 1, 3, 5, 6, 8, 16, 17 and 100, and
// injects faults on demand. It runs in the test's Qt event loop, so a test
// stays single-threaded: it spins the loop until the link has done its work.
//
// Its frame codec is its own, written apart from the link's, so that a fault
// in one cannot hide itself in the other.
#include "tests/support/Pty.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qel::test {

enum class FaultAction {
    Drop,           // no reply
    BadLrc,         // LRC + 1
    BadHexDigit,    // one data character becomes "G"
    LowerCaseHex,   // hex digits in lower case
    NoCr,           // frame ends in LF only
    Garbage,        // text before the ":"
    DoubleColon,    // a broken start, then the whole frame again
    Fragment,       // reply in param chunks, param2 ms apart
    Tiny,           // ":" CR LF only
    Exception,      // function | 0x80 + code param
    Fn100Error,     // 0xE4 + code param
    ShortData,      // param data bytes fewer, byte count consistent
    BcLies,         // param data bytes fewer, byte count unchanged
    LongData,       // param extra data bytes, byte count unchanged
    WrongStation,   // reply from station param
    WrongFunction,  // reply with function code param
    Delay,          // reply after param ms
    AckTerminated,  // function 100 reply ending in ACK instead of CR LF
    Raw,            // text instead of the reply
    Duplicate,      // the reply, then the same reply again after param ms
};

struct FaultRule {
    FaultAction action = FaultAction::Drop;
    int function = -1;             // -1: any function
    int subCode = -1;              // function 100 sub-code, -1: any
    int addrLo = -1, addrHi = -1;  // inclusive address range, -1: any
    int skip = 0;                  // matching requests let through first
    int times = 1;                 // requests to apply it to; -1: every one
    int param = 0;
    int param2 = 0;
    std::string text;
    // The reply this rule shapes (an exception, a natural refusal) is
    // written this many ms late; 0: at once.
    int delay = 0;
};

struct Transaction {
    std::string request;               // characters received
    std::vector<std::uint8_t> bytes;   // decoded: station, function, fields (no LRC)
    bool valid = false;                // passed the frame check
    std::string reply;                 // characters sent; empty when none
    std::string fault;                 // name of the fault applied
};

// Everything a PLC holds, open to the tests.
struct PlcState {
    std::uint8_t station = 1;
    int familyClass = 1;   // 0..3
    int capacityCode = 3;  // 0..3 -> 3616, 7584, 15840, 31744 bytes
    int modelCode = 90;
    std::uint8_t slaveId = 0x31;
    bool running = false;

    std::vector<std::uint8_t> program;        // program memory, 0xFF when empty
    std::deque<std::uint16_t> resultCodes;     // next D1004 codes of program writes
    std::vector<std::uint8_t> coils;           // 65536 coil bits
    std::vector<std::uint16_t> regs;           // 65536 registers
    std::uint32_t c32[56] = {};                // C200..C255

    // Password of classes 1 and 2 (class 0 keeps it in D1013-D1014).
    std::optional<std::string> password;
    bool monitorCoil = false;
    bool wordListRewrittenWithZero = false;   // word list written while its count read 0

    std::vector<std::uint16_t> fileRegs;      // file registers (empty: none)

    bool cardPresent = true;
    std::optional<std::string> cardPassword;
    bool cardWriteProtected = false;  // writes to the card answer error 6
    bool cardFull = false;            // writes to the card answer error 7
    std::vector<std::uint8_t> cardArea[5];    // areas 1..4 (0 unused)

    // Program scan, off unless a test asks for it: while running, the
    // program's contact and coil logic runs once before each request is
    // answered.
    bool scanOnRequest = false;
    int scans = 0;

    // Register view ranges (register transfer tests): D, C and T registers
    // the family does not have answer exception 2 (family 0: D0-D599 and
    // D1000 to D1311, or D1143 below model code 73; C0-C127 and the 13
    // listed high-speed counters; T0-T127).
    bool registerRanges = false;

    std::uint32_t Capacity() const;
    std::uint16_t TypeWord() const;
};

class PlcEmulator : public PtyPeer {
public:
    explicit PlcEmulator(QObject* parent = nullptr);
    ~PlcEmulator() override;

    // Sets family, capacity and model, sizes program memory and file
    // registers to match and writes the identification registers.
    void Configure(int familyClass, int capacityCode, int modelCode);

    void AddFault(const FaultRule& rule) { faults_.push_back(rule); }
    void ClearFaults() { faults_.clear(); }

    // Sends a frame nobody asked for, as a master on the line would (the
    // hand-held programmer) or as a PLC repeating itself.
    void SendUnsolicited(const std::vector<std::uint8_t>& bytes);

    // Replies written later than at once (delays, repeats, fragments) that
    // are still to go out.
    int LateWrites() const { return lateWrites_; }

    const std::vector<Transaction>& Log() const { return log_; }
    std::size_t RequestCount() const { return log_.size(); }
    void ClearLog() { log_.clear(); }

    PlcState S;

    // --- Line pacing and line loss (program transfer tests and bench) -----
    // Paces the line at `baud` (0: as fast as the pseudo-terminal goes): a
    // reply is written when the wire time of its request and of itself has
    // passed since the request's first character, at 10 bits a character
    // (start bit, 7 data bits, even parity, stop bit). A writer thread of its
    // own holds the reply back, so the master's thread is never blocked;
    // faults that shape a reply's timing (delay, fragments) do not apply.
    void PaceLine(int baud);
    // Characters of every request and reply so far: the session's wire time
    // is WireChars() x 10 / baud.
    std::uint64_t WireChars() const { return wireChars_; }
    // Time from each reply written to the next request's first character:
    // what the master adds on top of the line (paced replies only).
    std::int64_t MasterGapNs() const { return gapNs_; }
    // The line is cut: the emulator's end of the pseudo-terminal closes, and
    // the link's end hangs up.
    void DropLine();

    // Register addresses the emulator serves specially.
    static constexpr std::uint16_t kD1001 = 0x13E9, kD1004 = 0x13EC, kD1010 = 0x13F2,
                                   kD1013 = 0x13F5, kD1024 = 0x1400, kD1119 = 0x145F,
                                   kD1141 = 0x1475;
    static constexpr std::uint16_t kM1000 = 0x0BE8, kM1069 = 0x0C2D, kM1072 = 0x0C30,
                                   kM1073 = 0x0C31;

    // Runs the program once over the coils: LD, LDI, AND, ANI, OR, ORI, ANB,
    // ORB, MPS, MRD, MPP, INV, OUT, SET, NOP, END. Any other instruction ends
    // the scan there (the emulator is no simulator).
    void ScanProgram();

private:
    void OnFrameStart() override;
    void OnLine(const std::string& text) override;
    std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& req);
    std::vector<std::uint8_t> ReadCoils(const std::vector<std::uint8_t>& req);
    std::vector<std::uint8_t> ReadRegisters(const std::vector<std::uint8_t>& req);
    std::vector<std::uint8_t> WriteCoil(const std::vector<std::uint8_t>& req);
    std::vector<std::uint8_t> WriteRegisters(const std::vector<std::uint8_t>& req);
    std::vector<std::uint8_t> Diagnostics(const std::vector<std::uint8_t>& req);
    std::vector<std::uint8_t> Function100(const std::vector<std::uint8_t>& req);
    std::vector<std::uint8_t> Error(std::uint8_t function, std::uint8_t code) const;

    bool CoilValid(std::uint16_t a) const;
    bool RegValid(std::uint16_t a) const;
    bool FamilyRegister(std::uint16_t a) const;  // register view ranges
    bool InProgramWindow(std::uint16_t reg, std::uint32_t* byteOffset) const;
    const std::uint16_t* MonitorBases() const;
    bool GetCoil(std::uint16_t a) const { return S.coils[a] != 0; }
    void SetCoil(std::uint16_t a, bool on);
    void PutRegister(std::vector<std::uint8_t>& out, std::uint16_t reg) const;

    FaultRule* MatchFault(const std::vector<std::uint8_t>& req);
    void Deliver(std::string text, FaultRule* rule, Transaction& t);
    void WriteOut(const std::string& text);

    std::vector<FaultRule> faults_;
    std::vector<Transaction> log_;
    int lateWrites_ = 0;
    void WriteLater(int ms, const std::string& text);

    // Line pacing.
    void PaceReply(std::size_t requestChars, std::size_t replyChars, const std::string& reply);
    void StopPacer();
    std::thread pacer_;
    std::mutex pacerMutex_;
    std::condition_variable pacerWake_;
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::string>> paced_;
    bool pacerStop_ = false;
    int paceBaud_ = 0;
    std::uint64_t wireChars_ = 0;
    std::int64_t requestStartNs_ = 0;
    std::int64_t replyDoneNs_ = 0;
    std::int64_t gapNs_ = 0;
};

// The emulator's own frame codec.
namespace emu {
std::string Frame(const std::vector<std::uint8_t>& bytes);  // ":" hex LRC CR LF
// Decodes a strict frame (":" upper-case hex pairs, LRC, CR LF) into its bytes
// without the LRC; false when any rule fails.
bool Parse(const std::string& text, std::vector<std::uint8_t>& bytes);
}  // namespace emu

}  // namespace qel::test
