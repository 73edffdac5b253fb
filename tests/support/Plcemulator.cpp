#include "tests/support/Plcemulator.h"
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace qel::test {

namespace {
// Function 100 error code of a PLC that is locked by its password.
constexpr std::uint8_t kErrLocked = 5;
// Function 100 error codes of a card that takes no writes.
constexpr std::uint8_t kErrCardWriteProtected = 6, kErrCardFull = 7;
}  // namespace

// ---------------------------------------------------------------------------
// Codec

namespace emu {

std::string Frame(const std::vector<std::uint8_t>& bytes) {
    std::string out = ":";
    int sum = 0;
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        out += pair;
        sum += b;
    }
    std::snprintf(pair, sizeof pair, "%02X", (256 - sum % 256) % 256);
    out += pair;
    out += "\r\n";
    return out;
}

bool Parse(const std::string& text, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (text.size() < 9 || text.front() != ':' || text.compare(text.size() - 2, 2, "\r\n") != 0)
        return false;
    const std::string hex = text.substr(1, text.size() - 3);
    if (hex.size() % 2) return false;
    for (char c : hex)
        if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'A' || c > 'F')) return false;
    int sum = 0;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int b = std::stoi(hex.substr(i, 2), nullptr, 16);
        bytes.push_back(static_cast<std::uint8_t>(b));
        sum += b;
    }
    if (sum % 256 != 0) {
        bytes.clear();
        return false;
    }
    bytes.pop_back();  // the LRC
    return bytes.size() >= 2;
}

}  // namespace emu

// ---------------------------------------------------------------------------
// State

std::uint32_t PlcState::Capacity() const {
    static constexpr std::uint32_t kCap[4] = {3616, 7584, 15840, 31744};
    return kCap[capacityCode & 3];
}

std::uint16_t PlcState::TypeWord() const {
    static constexpr std::uint16_t kClassBits[4] = {0x4000, 0x6000, 0x8000, 0xA000};
    return static_cast<std::uint16_t>(kClassBits[familyClass & 3] | (capacityCode & 3) << 10 |
                                      (modelCode & 0xFF));
}

PlcEmulator::PlcEmulator(QObject* parent) : PtyPeer(parent) {
    S.coils.assign(65536, 0);
    S.regs.assign(65536, 0);
    Configure(1, 3, 90);
    S.cardArea[1].assign(31744, 0xFF);
    S.cardArea[2].assign(32768, 0xFF);
    S.cardArea[3].assign(32768, 0xFF);
    S.cardArea[4].assign(31744, 0xFF);
}

PlcEmulator::~PlcEmulator() {
    StopPacer();
}

void PlcEmulator::Configure(int familyClass, int capacityCode, int modelCode) {
    S.familyClass = familyClass;
    S.capacityCode = capacityCode;
    S.modelCode = modelCode;
    S.program.assign(S.Capacity(), 0xFF);
    S.fileRegs.assign(familyClass == 1 ? 10000 : familyClass == 2 ? 1600 : 0, 0);
    S.regs[kD1001] = S.TypeWord();
    S.regs[kD1001 + 1] = static_cast<std::uint16_t>(S.Capacity());
    S.regs[kD1001 + 2] = 0;
    S.regs[kD1119] = 10;
}

void PlcEmulator::OnFrameStart() {
    requestStartNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
    if (paceBaud_ > 0) {
        std::lock_guard lock(pacerMutex_);
        if (replyDoneNs_ > 0) gapNs_ += requestStartNs_ - replyDoneNs_;
        replyDoneNs_ = 0;
    }
}

void PlcEmulator::OnLine(const std::string& text) {
    Transaction t;
    t.request = text;
    std::vector<std::uint8_t> req;
    t.valid = emu::Parse(text, req);
    t.bytes = req;
    if (!t.valid || req[0] != S.station) {
        log_.push_back(t);  // a real slave stays silent
        return;
    }
    if (S.running && S.scanOnRequest) ScanProgram();
    std::vector<std::uint8_t> reply = Answer(req);
    FaultRule* rule = MatchFault(req);
    if (rule) {
        const std::uint8_t fn = req[1];
        const std::size_t dataStart = fn == 100 ? 5 : (fn == 1 || fn == 3 || fn == 17) ? 3 : reply.size();
        const std::size_t countAt = fn == 100 ? 4 : 2;
        const std::size_t n = static_cast<std::size_t>(rule->param);
        switch (rule->action) {
        case FaultAction::Exception: reply = Error(fn, static_cast<std::uint8_t>(rule->param)); break;
        case FaultAction::Fn100Error: reply = {S.station, 0xE4, static_cast<std::uint8_t>(rule->param)}; break;
        case FaultAction::ShortData:
            if (reply.size() >= dataStart + n) {
                reply.resize(reply.size() - n);
                reply[countAt] = static_cast<std::uint8_t>(reply[countAt] - n);
            }
            break;
        case FaultAction::BcLies:
            if (reply.size() >= dataStart + n) reply.resize(reply.size() - n);
            break;
        case FaultAction::LongData: reply.insert(reply.end(), n, 0xAA); break;
        case FaultAction::WrongStation: reply[0] = static_cast<std::uint8_t>(rule->param); break;
        case FaultAction::WrongFunction: reply[1] = static_cast<std::uint8_t>(rule->param); break;
        default: break;
        }
    }
    std::string out = emu::Frame(reply);
    if (rule) {
        switch (rule->action) {
        case FaultAction::BadLrc: {
            const int lrc = std::stoi(out.substr(out.size() - 4, 2), nullptr, 16);
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02X", (lrc + 1) & 0xFF);
            out.replace(out.size() - 4, 2, pair);
            break;
        }
        case FaultAction::BadHexDigit: out[3] = 'G'; break;
        case FaultAction::LowerCaseHex:
            std::transform(out.begin(), out.end(), out.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            break;
        case FaultAction::NoCr: out.erase(out.size() - 2, 1); break;
        case FaultAction::Garbage: out = rule->text + out; break;
        case FaultAction::DoubleColon: out = ":01" + out; break;
        case FaultAction::Tiny: out = ":\r\n"; break;
        case FaultAction::AckTerminated: out.replace(out.size() - 2, 2, "\x06"); break;
        case FaultAction::Raw: out = rule->text; break;
        default: break;
        }
    }
    wireChars_ += text.size() + out.size();
    if (paceBaud_ > 0 && !(rule && rule->action == FaultAction::Drop)) {
        t.reply = out;
        log_.push_back(t);
        PaceReply(text.size(), out.size(), out);
        return;
    }
    Deliver(out, rule, t);
}

FaultRule* PlcEmulator::MatchFault(const std::vector<std::uint8_t>& req) {
    const int fn = req[1];
    const int sub = fn == 100 && req.size() > 3 ? req[3] : -1;
    const bool hasAddr = (fn == 1 || fn == 3 || fn == 5 || fn == 6 || fn == 16) && req.size() >= 4;
    const int addr = hasAddr ? (req[2] << 8 | req[3]) : -1;
    for (FaultRule& r : faults_) {
        if (r.times == 0) continue;
        if (r.function >= 0 && r.function != fn) continue;
        if (r.subCode >= 0 && r.subCode != sub) continue;
        if (r.addrLo >= 0 && (addr < r.addrLo || addr > r.addrHi)) continue;
        if (r.skip > 0) {
            --r.skip;
            continue;
        }
        if (r.times > 0) --r.times;
        return &r;
    }
    return nullptr;
}

void PlcEmulator::Deliver(std::string text, FaultRule* rule, Transaction& t) {
    static const char* kNames[] = {"Drop",       "BadLrc",       "BadHexDigit", "LowerCaseHex",
                                   "NoCr",       "Garbage",      "DoubleColon", "Fragment",
                                   "Tiny",       "Exception",    "Fn100Error",  "ShortData",
                                   "BcLies",     "LongData",     "WrongStation", "WrongFunction",
                                   "Delay",      "AckTerminated", "Raw",        "Duplicate"};
    if (rule) t.fault = kNames[static_cast<int>(rule->action)];
    if (rule && rule->action == FaultAction::Drop) {
        log_.push_back(t);
        return;
    }
    t.reply = text;
    log_.push_back(t);
    if (rule && (rule->action == FaultAction::Delay || rule->delay > 0)) {
        const int ms = rule->action == FaultAction::Delay ? rule->param : rule->delay;
        WriteLater(ms, text);
    } else if (rule && rule->action == FaultAction::Duplicate) {
        WriteOut(text);
        WriteLater(rule->param, text);
    } else if (rule && rule->action == FaultAction::Fragment && rule->param > 1) {
        const std::size_t k = static_cast<std::size_t>(rule->param);
        const std::size_t step = (text.size() + k - 1) / k;
        for (std::size_t i = 0; i * step < text.size(); ++i) {
            const std::string part = text.substr(i * step, step);
            if (i == 0)
                WriteOut(part);
            else
                WriteLater(static_cast<int>(i) * rule->param2, part);
        }
    } else {
        WriteOut(text);
    }
}

void PlcEmulator::WriteLater(int ms, const std::string& text) {
    ++lateWrites_;
    QTimer::singleShot(ms, this, [this, text] {
        --lateWrites_;
        WriteOut(text);
    });
}

void PlcEmulator::SendUnsolicited(const std::vector<std::uint8_t>& bytes) {
    WriteOut(emu::Frame(bytes));
}

void PlcEmulator::WriteOut(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(master_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            ::usleep(200);
        }
    }
}

// ---------------------------------------------------------------------------
// Address space

bool PlcEmulator::CoilValid(std::uint16_t a) const {
    return a <= 0x06FF || (a >= 0x0800 && a <= 0x0EFF) || (a >= 0xB000 && a <= 0xB9FF);
}

bool PlcEmulator::InProgramWindow(std::uint16_t reg, std::uint32_t* byteOffset) const {
    std::uint32_t word;
    if (reg >= 0x2000 && reg <= 0x3FFF)
        word = reg - 0x2000u;
    else if (reg >= 0x5000 && reg <= 0x6FFF)
        word = reg - 0x3000u;
    else
        return false;
    *byteOffset = 2 * word;
    return true;
}

const std::uint16_t* PlcEmulator::MonitorBases() const {
    static constexpr std::uint16_t kStd[5] = {3072, 16384, 16584, 16604, 16784};
    static constexpr std::uint16_t kAlt[5] = {3128, 17084, 17284, 17304, 17484};
    return S.regs[kD1024] == 2 ? kAlt : kStd;
}

bool PlcEmulator::RegValid(std::uint16_t a) const {
    if (S.registerRanges && !FamilyRegister(a)) return false;
    std::uint32_t off;
    if (InProgramWindow(a, &off)) return off + 2 <= S.program.size();
    const std::uint16_t* b = MonitorBases();
    if (a >= b[1] && a < b[4] + 200) return true;
    if (a >= 0x0600 && a <= 0x06FF) return true;
    if (a >= 0x0E00 && a <= 0x0EFF) return true;
    return (a >= 0x1000 && a <= 0x1FFF) || (a >= 0x9000 && a <= 0xA70F);  // D registers
}

// ---------------------------------------------------------------------------
// Register view ranges

bool PlcEmulator::FamilyRegister(std::uint16_t a) const {
    const int family = S.familyClass;
    if (a >= 0x0600 && a <= 0x06FF) return a - 0x0600 <= (family == 0 ? 127 : 255);
    if (a >= 0x0E00 && a <= 0x0EFF) {
        const int n = a - 0x0E00;
        if (n < 200) return n <= (family == 0 ? 127 : 199);
        static constexpr int kList[] = {235, 236, 237, 238, 241, 242, 244, 246, 247, 249, 251, 252, 254};
        return family != 0 || std::find(std::begin(kList), std::end(kList), n) != std::end(kList);
    }
    int d = -1;
    if (a >= 0x1000 && a <= 0x1FFF) d = a - 0x1000;
    if (a >= 0x9000 && a <= 0xA70F) d = a - 0x8000;
    if (d < 0) return true;  // not a D, C or T register
    switch (family) {
    case 0: return d <= 599 || (d >= 1000 && d <= (S.modelCode < 73 ? 1143 : 1311));
    case 2: return d <= 4999;
    default: return d <= 9999;
    }
}

void PlcEmulator::SetCoil(std::uint16_t a, bool on) {
    S.coils[a] = on;
    const std::uint16_t* b = MonitorBases();
    if (a == b[0]) S.monitorCoil = on;
    if (a == kM1072) {
        S.running = on;
        S.coils[kM1000] = on;
    }
    if (a == kM1073 && on) {
        std::uint16_t code = 0;
        if (!S.resultCodes.empty()) {
            code = S.resultCodes.front();
            S.resultCodes.pop_front();
        }
        S.regs[kD1004] = code;
        S.coils[kM1073] = 0;
    }
}

void PlcEmulator::PutRegister(std::vector<std::uint8_t>& out, std::uint16_t reg) const {
    std::uint32_t off;
    const std::uint16_t* b = MonitorBases();
    auto put16 = [&out](std::uint16_t v) {
        out.push_back(v >> 8);
        out.push_back(v & 0xFF);
    };
    auto put32 = [&out](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out.push_back((v >> s) & 0xFF);
    };
    if (InProgramWindow(reg, &off)) {
        out.push_back(S.program[off]);
        out.push_back(S.program[off + 1]);
    } else if (reg >= 0x0EC8 && reg <= 0x0EFF) {
        put32(S.c32[reg - 0x0EC8]);
    } else if (reg >= b[4] && reg < b[4] + 200) {
        // Word values: 4 bytes per listed device.
        const unsigned entry = reg - b[4];
        const std::uint16_t dev = entry < S.regs[b[3]] ? S.regs[b[3] + 1 + entry] : 0;
        if (dev >= 0x0EC8 && dev <= 0x0EFF) {
            put32(S.c32[dev - 0x0EC8]);
        } else {
            put16(S.regs[dev]);
            put16(S.regs[static_cast<std::uint16_t>(dev + 1)]);
        }
    } else if (reg >= b[2] && reg < b[3]) {
        // Bit values: byte k bit j is list entry 8k + j.
        const unsigned count = S.regs[b[1]];
        for (unsigned half = 0; half < 2; ++half) {
            std::uint8_t v = 0;
            for (unsigned j = 0; j < 8; ++j) {
                const unsigned e = (reg - b[2]) * 16 + half * 8 + j;
                if (e < count && S.coils[S.regs[b[1] + 1 + e]]) v |= 1u << j;
            }
            out.push_back(v);
        }
    } else {
        put16(S.regs[reg]);
    }
}

// ---------------------------------------------------------------------------
// Functions

std::vector<std::uint8_t> PlcEmulator::Error(std::uint8_t function, std::uint8_t code) const {
    return {S.station, static_cast<std::uint8_t>(function | 0x80), code};
}

std::vector<std::uint8_t> PlcEmulator::Answer(const std::vector<std::uint8_t>& req) {
    switch (req[1]) {
    case 1: return ReadCoils(req);
    case 3: return ReadRegisters(req);
    case 5: return WriteCoil(req);
    case 6:
        if (req.size() != 6) return Error(6, 3);
        if (!RegValid(static_cast<std::uint16_t>(req[2] << 8 | req[3]))) return Error(6, 2);
        S.regs[req[2] << 8 | req[3]] = static_cast<std::uint16_t>(req[4] << 8 | req[5]);
        return req;
    case 8: return Diagnostics(req);
    case 16: return WriteRegisters(req);
    case 17:
        if (req.size() != 2) return Error(17, 3);
        return {S.station, 0x11, 2, S.slaveId, static_cast<std::uint8_t>(S.running ? 0xFF : 0x00)};
    case 100: return Function100(req);
    default: return Error(req[1], 1);
    }
}

std::vector<std::uint8_t> PlcEmulator::ReadCoils(const std::vector<std::uint8_t>& req) {
    if (req.size() != 6) return Error(1, 3);
    const std::uint16_t a = static_cast<std::uint16_t>(req[2] << 8 | req[3]);
    const unsigned n = req[4] << 8 | req[5];
    if (n == 0 || n > 2000) return Error(1, 3);
    for (unsigned i = 0; i < n; ++i)
        if (!CoilValid(static_cast<std::uint16_t>(a + i))) return Error(1, 2);
    std::vector<std::uint8_t> out{S.station, 1, static_cast<std::uint8_t>((n + 7) / 8)};
    for (unsigned i = 0; i < n; ++i) {
        if (i % 8 == 0) out.push_back(0);
        if (GetCoil(static_cast<std::uint16_t>(a + i))) out.back() |= 1u << (i % 8);
    }
    return out;
}

std::vector<std::uint8_t> PlcEmulator::ReadRegisters(const std::vector<std::uint8_t>& req) {
    if (req.size() != 6) return Error(3, 3);
    const std::uint16_t a = static_cast<std::uint16_t>(req[2] << 8 | req[3]);
    const unsigned n = req[4] << 8 | req[5];
    if (n == 0 || n > 125) return Error(3, 3);
    std::vector<std::uint8_t> out{S.station, 3, 0};
    for (unsigned i = 0; i < n; ++i) {
        const std::uint16_t r = static_cast<std::uint16_t>(a + i);
        if (!RegValid(r)) return Error(3, 2);
        PutRegister(out, r);
    }
    if (out.size() - 3 > 250) return Error(3, 3);
    out[2] = static_cast<std::uint8_t>(out.size() - 3);
    return out;
}

std::vector<std::uint8_t> PlcEmulator::WriteCoil(const std::vector<std::uint8_t>& req) {
    if (req.size() != 6) return Error(5, 3);
    const std::uint16_t a = static_cast<std::uint16_t>(req[2] << 8 | req[3]);
    const std::uint16_t v = static_cast<std::uint16_t>(req[4] << 8 | req[5]);
    if (v != 0xFF00 && v != 0x0000) return Error(5, 3);
    if (!CoilValid(a)) return Error(5, 2);
    SetCoil(a, v == 0xFF00);
    if (a == kM1069 && S.familyClass != 0 && v == 0) S.password.reset();
    return req;
}

std::vector<std::uint8_t> PlcEmulator::WriteRegisters(const std::vector<std::uint8_t>& req) {
    if (req.size() < 7) return Error(16, 3);
    const std::uint16_t a = static_cast<std::uint16_t>(req[2] << 8 | req[3]);
    const unsigned n = req[4] << 8 | req[5];
    const bool c32 = a >= 0x0EC8 && a <= 0x0EFF;
    const unsigned bc = req[6];
    if (n == 0 || bc != ((c32 ? 4 : 2) * n & 0xFF) || req.size() != 7 + bc) return Error(16, 3);
    const std::uint16_t* b = MonitorBases();
    std::size_t p = 7;
    for (unsigned i = 0; i < n; ++i) {
        const std::uint16_t r = static_cast<std::uint16_t>(a + i);
        if (!RegValid(r)) return Error(16, 2);
    }
    for (unsigned i = 0; i < n; ++i) {
        const std::uint16_t r = static_cast<std::uint16_t>(a + i);
        std::uint32_t off;
        if (InProgramWindow(r, &off)) {
            S.program[off] = req[p];
            S.program[off + 1] = req[p + 1];
            p += 2;
        } else if (c32) {
            S.c32[r - 0x0EC8] = static_cast<std::uint32_t>(req[p]) << 24 | req[p + 1] << 16 |
                                req[p + 2] << 8 | req[p + 3];
            p += 4;
        } else {
            if (r > b[3] && r < b[4] && S.regs[b[3]] == 0) S.wordListRewrittenWithZero = true;
            S.regs[r] = static_cast<std::uint16_t>(req[p] << 8 | req[p + 1]);
            p += 2;
        }
    }
    return {S.station, 16, req[2], req[3], req[4], req[5]};
}

std::vector<std::uint8_t> PlcEmulator::Diagnostics(const std::vector<std::uint8_t>& req) {
    if (req.size() != 3 || req[2] != 14) return Error(8, 1);
    if (S.regs[kD1141] != 0x6C2D || S.running) return Error(8, 3);
    S.regs[kD1013] = S.regs[kD1013 + 1] = 0;
    S.coils[kM1069] = 0;
    S.regs[kD1141] = 0;
    S.password.reset();
    return {S.station, 8, 14};
}

std::vector<std::uint8_t> PlcEmulator::Function100(const std::vector<std::uint8_t>& req) {
    auto err = [this](std::uint8_t code) { return std::vector<std::uint8_t>{S.station, 0xE4, code}; };
    if (req.size() < 5 || req.size() != 5u + req[4]) return err(3);
    const std::uint8_t sub = req[3];
    if (req[2] != 1 && !(req[2] == 0 && sub == 11)) return err(1);
    const std::uint8_t* pl = req.data() + 5;
    const unsigned len = req[4];
    std::vector<std::uint8_t> out{S.station, 100, 1, sub, 0};
    auto payload = [&out](std::initializer_list<std::uint8_t> bytes) {
        out.insert(out.end(), bytes);
        out[4] = static_cast<std::uint8_t>(out.size() - 5);
    };
    switch (sub) {
    case 0:
    case 6:
    case 7:
        return out;
    case 9:
    case 10: {
        if (!S.cardPresent) return err(4);
        if (sub == 9 && S.cardWriteProtected) return err(kErrCardWriteProtected);
        if (sub == 9 && S.cardFull) return err(kErrCardFull);
        auto& card = S.cardArea[4];
        const std::size_t n = std::min(card.size(), S.program.size());
        if (sub == 9)
            std::copy_n(S.program.begin(), n, card.begin());
        else
            std::copy_n(card.begin(), n, S.program.begin());
        return out;
    }
    case 11:
        if (len == 4) {
            // A locked PLC takes no new password until its own is entered;
            // four spaces clear the password.
            if (S.password && S.coils[kM1069]) return err(kErrLocked);
            const std::string p(pl, pl + 4);
            if (p == "    ") {
                S.password.reset();
                S.coils[kM1069] = 0;
            } else {
                S.password = p;
                S.coils[kM1069] = 1;
            }
        } else if (len != 0) {
            return err(3);
        }
        return out;
    case 12:
        payload({static_cast<std::uint8_t>(S.password ? 0xFF : 0x01)});
        return out;
    case 13:
        if (len != 4) return err(3);
        if (S.password && *S.password == std::string(pl, pl + 4)) {
            S.coils[kM1069] = 0;
            payload({pl[0], pl[1], pl[2], pl[3]});
        } else {
            payload({0, 0, 0, 0});
        }
        return out;
    case 15:
        if (!S.cardPresent) return err(4);
        payload({static_cast<std::uint8_t>(S.cardPassword ? 0xAA : 0xFF)});
        return out;
    case 16:
        if (!S.cardPresent) return err(4);
        if (len != 4) return err(3);
        if (S.cardWriteProtected) return err(kErrCardWriteProtected);
        S.cardPassword = std::string(pl, pl + 4);
        return out;
    case 19:
        if (!S.cardPresent) return err(4);
        if (S.cardPassword) {
            const std::string& p = *S.cardPassword;
            payload({std::uint8_t(p[0]), std::uint8_t(p[1]), std::uint8_t(p[2]), std::uint8_t(p[3])});
        } else {
            payload({0xCF, 0, 0, 0});
        }
        return out;
    case 17:
    case 24: {
        if (len < 4) return err(3);
        const std::uint8_t area = pl[0];
        const unsigned addr = pl[1] << 8 | pl[2];
        const unsigned n = pl[3];
        if (n == 0 || n > 16 || area > 4) return err(2);
        if (sub == 17 && len != 4 + 2 * n) return err(3);
        if (area == 0) {
            if (addr + n > S.fileRegs.size()) return err(2);
        } else {
            if (!S.cardPresent) return err(4);
            if (sub == 17 && S.cardWriteProtected) return err(kErrCardWriteProtected);
            if (sub == 17 && S.cardFull) return err(kErrCardFull);
            if (2 * (addr + n) > S.cardArea[area].size()) return err(2);
        }
        out.insert(out.end(), pl, pl + 4);
        for (unsigned i = 0; i < n; ++i) {
            if (area == 0) {
                std::uint16_t& w = S.fileRegs[addr + i];
                if (sub == 17)
                    w = static_cast<std::uint16_t>(pl[4 + 2 * i] << 8 | pl[5 + 2 * i]);
                else
                    out.insert(out.end(), {std::uint8_t(w >> 8), std::uint8_t(w & 0xFF)});
            } else {
                std::uint8_t* cell = &S.cardArea[area][2 * (addr + i)];
                if (sub == 17) {
                    cell[0] = pl[4 + 2 * i];
                    cell[1] = pl[5 + 2 * i];
                } else {
                    out.insert(out.end(), {cell[0], cell[1]});
                }
            }
        }
        out[4] = static_cast<std::uint8_t>(out.size() - 5);
        return out;
    }
    default:
        return err(1);
    }
}

// ---------------------------------------------------------------------------
// Line pacing and line loss

void PlcEmulator::PaceLine(int baud) {
    StopPacer();
    paceBaud_ = baud;
    if (baud <= 0) return;
    pacerStop_ = false;
    pacer_ = std::thread([this] {
        std::unique_lock lock(pacerMutex_);
        for (;;) {
            pacerWake_.wait(lock, [this] { return pacerStop_ || !paced_.empty(); });
            if (pacerStop_) return;
            auto [due, text] = paced_.front();
            paced_.pop_front();
            lock.unlock();
            // A sleep wakes late by a fraction of a millisecond; sleep short of
            // the character time and wait out the rest, so the reply leaves when
            // its last character would have.
            std::this_thread::sleep_until(due - std::chrono::milliseconds(1));
            while (std::chrono::steady_clock::now() < due) {
            }
            WriteOut(text);
            lock.lock();
            replyDoneNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        }
    });
}

void PlcEmulator::StopPacer() {
    if (!pacer_.joinable()) return;
    {
        std::lock_guard lock(pacerMutex_);
        pacerStop_ = true;
    }
    pacerWake_.notify_all();
    pacer_.join();
    paced_.clear();
}

void PlcEmulator::PaceReply(std::size_t requestChars, std::size_t replyChars, const std::string& reply) {
    const double seconds = static_cast<double>(requestChars + replyChars) * 10.0 / paceBaud_;
    const auto due = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(requestStartNs_)) +
                     std::chrono::nanoseconds(static_cast<std::int64_t>(seconds * 1e9));
    {
        std::lock_guard lock(pacerMutex_);
        paced_.emplace_back(due, reply);
    }
    pacerWake_.notify_all();
}

void PlcEmulator::DropLine() {
    StopPacer();
    Hangup();
}

}  // namespace qel::test
