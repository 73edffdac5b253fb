#pragma once
// The coil-write and register-write queues of the link: device writes that
// any window may queue at any time and that the scheduler sends before the
// monitor polls and the job steps. Each holds 50 writes; a full queue refuses
// the next write instead of overwriting a pending one.
#include <array>
#include <cstddef>
#include <cstdint>

namespace qel::link {

inline constexpr std::size_t kWriteQueueSize = 50;

struct CoilWrite {
    std::uint16_t address = 0;
    bool on = false;
};

struct RegWrite {
    std::uint16_t address = 0;
    bool is32 = false;
    std::uint32_t value = 0;  // low 16 bits only for a 16-bit write
};

template <typename T>
class WriteRing {
public:
    bool Empty() const { return count_ == 0; }
    bool Full() const { return count_ == kWriteQueueSize; }
    std::size_t Count() const { return count_; }
    bool Push(const T& v) {
        if (Full()) return false;
        items_[(read_ + count_) % kWriteQueueSize] = v;
        ++count_;
        return true;
    }
    // Precondition: not empty.
    T Pop() {
        T v = items_[read_];
        read_ = (read_ + 1) % kWriteQueueSize;
        --count_;
        return v;
    }
    void Clear() { read_ = count_ = 0; }

private:
    std::array<T, kWriteQueueSize> items_{};
    std::size_t read_ = 0, count_ = 0;
};

using CoilWriteQueue = WriteRing<CoilWrite>;
using RegWriteQueue = WriteRing<RegWrite>;

}  // namespace qel::link
