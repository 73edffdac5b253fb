#include "tests/support/Hppmaster.h"

#include <cstdio>

#include "tests/support/Plcemulator.h"

namespace qel::test {

namespace {

std::string Hex(const std::vector<std::uint8_t>& b) {
    std::string s;
    char pair[4];
    for (std::uint8_t x : b) {
        std::snprintf(pair, sizeof pair, "%02X ", x);
        s += pair;
    }
    return s;
}

// An answer that must be exactly `want`.
auto Exactly(std::vector<std::uint8_t> want) {
    return [want](const std::vector<std::uint8_t>& got) {
        return got == want ? std::string() : "expected " + Hex(want) + "got " + Hex(got);
    };
}

std::uint8_t Hi(unsigned v) { return static_cast<std::uint8_t>(v >> 8); }
std::uint8_t Lo(unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); }

// Program-window register of a byte offset.
unsigned WindowReg(unsigned offset) {
    const unsigned word = offset / 2;
    return word < 8192 ? 0x2000 + word : 0x3000 + word;
}

}  // namespace

HppMaster::HppMaster(QObject* parent) : PtyPeer(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { OnTimeout(); });
}

void HppMaster::ReadFromPc(int bytes, bool full) {
    raw_ = false;
    const std::uint8_t s = station;
    const unsigned words = static_cast<unsigned>(bytes / 2);
    const unsigned flag = full ? 0xFFFF : 0;
    Image.assign(static_cast<std::size_t>(bytes), 0);
    std::vector<Step> steps;
    steps.push_back({{s, 17}, Exactly({s, 17, 1, 0x80})});
    steps.push_back({{s, 16, 0x10, 0x00, 0, 2, 4, Hi(words), Lo(words), Hi(flag), Lo(flag)},
                     Exactly({s, 16, 0x10, 0x00, 0, 2})});
    steps.push_back({{s, 3, 0x13, 0xE9, 0, 1}, [this, s](const std::vector<std::uint8_t>& a) {
                         if (a.size() != 5 || a[0] != s || a[1] != 3 || a[2] != 2 || a[3] != 0)
                             return "bad capacity code answer " + Hex(a);
                         CapacityCode = a[4];
                         return std::string();
                     }});
    steps.push_back({{s, 3, 0x13, 0xE9, 0, 3}, [this, s](const std::vector<std::uint8_t>& a) {
                         if (a.size() != 7 || a[0] != s || a[1] != 3 || a[2] != 4)
                             return "bad type answer " + Hex(a);
                         if (a[3] != CapacityCode || a[4] != 0) return "capacity bits disagree " + Hex(a);
                         CapacityBytes = a[5] << 8 | a[6];
                         return std::string();
                     }});
    for (unsigned off = 0; off < static_cast<unsigned>(bytes); off += 32) {
        const unsigned reg = WindowReg(off);
        steps.push_back({{s, 3, Hi(reg), Lo(reg), 0, 16}, [this, s, off](const std::vector<std::uint8_t>& a) {
                             if (a.size() != 35 || a[0] != s || a[1] != 3 || a[2] != 32)
                                 return "bad block answer " + Hex(a);
                             for (unsigned i = 0; i < 32 && off + i < Image.size(); ++i) Image[off + i] = a[3 + i];
                             return std::string();
                         }});
    }
    Run(std::move(steps));
}

void HppMaster::WriteToPc(const std::vector<std::uint8_t>& image) {
    raw_ = false;
    const std::uint8_t s = station;
    const unsigned words = static_cast<unsigned>(image.size() / 2);
    std::vector<Step> steps;
    steps.push_back({{s, 17}, Exactly({s, 17, 1, 0x80})});
    steps.push_back({{s, 16, 0x10, 0x00, 0, 2, 4, Hi(words), Lo(words), 0xFF, 0xFF},
                     Exactly({s, 16, 0x10, 0x00, 0, 2})});
    steps.push_back({{s, 16, 0x13, 0xEA, 0, 1, 2, Hi(words), Lo(words)}, Exactly({s, 16, 0x13, 0xEA, 0, 1})});
    for (unsigned off = 0; off < image.size(); off += 32) {
        const unsigned reg = WindowReg(off);
        std::vector<std::uint8_t> req{s, 16, Hi(reg), Lo(reg), 0, 16, 32};
        for (unsigned i = 0; i < 32; ++i) req.push_back(off + i < image.size() ? image[off + i] : 0xFF);
        steps.push_back({req, Exactly({s, 16, Hi(reg), Lo(reg), 0, 16})});
    }
    Run(std::move(steps));
}

void HppMaster::SendRaw(const std::vector<std::uint8_t>& bytes, bool answered) {
    raw_ = true;
    rawAnswered_ = answered;
    Run({{bytes, [this](const std::vector<std::uint8_t>& a) {
              Answers.push_back(a);
              return std::string();
          }}});
}

void HppMaster::Run(std::vector<Step> steps) {
    steps_ = std::move(steps);
    current_ = 0;
    tries_ = 0;
    garbled_ = false;
    done_ = false;
    error.clear();
    SendCurrent();
}

void HppMaster::SendCurrent() {
    if (stopAfterRequests >= 0 && RequestsSent >= stopAfterRequests) return;  // fallen silent
    std::string frame = emu::Frame(steps_[current_].request);
    if (RequestsSent == corruptRequest) {
        // The LRC off by one: the PC must not answer this.
        const int lrc = std::stoi(frame.substr(frame.size() - 4, 2), nullptr, 16);
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", (lrc + 1) & 0xFF);
        frame.replace(frame.size() - 4, 2, pair);
        garbled_ = true;
    }
    ++RequestsSent;
    ++tries_;
    rx_.clear();
    const bool last = current_ + 1 == steps_.size();
    if (last && tries_ == 1 && beforeLastRequest) beforeLastRequest();
    pty_->Write(frame);
    timer_.start(garbled_ || (raw_ && !rawAnswered_) ? answerTimeoutMs : kBusyPcMs);
    if (last && pauseBeforeLastAnswerMs > 0) PauseReading(pauseBeforeLastAnswerMs);
}

void HppMaster::OnLine(const std::string& text) {
    if (done_ || !timer_.isActive()) {
        if (!done_) Fail("answer without a request: " + text);
        return;
    }
    timer_.stop();
    std::vector<std::uint8_t> bytes;
    if (!emu::Parse(text, bytes)) return Fail("garbled answer: " + text);
    const std::string why = steps_[current_].check(bytes);
    if (!why.empty()) return Fail("request " + std::to_string(current_) + ": " + why);
    ++current_;
    tries_ = 0;
    garbled_ = false;
    if (current_ == steps_.size()) {
        done_ = true;
        return;
    }
    SendCurrent();
}

void HppMaster::OnTimeout() {
    if (raw_ && steps_.size() == 1) {
        // An adversarial request may rightly get no answer.
        done_ = true;
        return;
    }
    if (tries_ >= attempts) return Fail("no answer to request " + std::to_string(current_));
    ++Resends;
    SendCurrent();
}

void HppMaster::Fail(const std::string& why) {
    timer_.stop();
    if (error.empty()) error = why;
    done_ = true;
}

}  // namespace qel::test
