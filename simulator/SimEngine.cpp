#include "simulator/SimEngine.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/InstructionTable.h"
#include "simulator/SimBasicOps.h"

namespace {

// Handlers the scan loop runs inline, numbered from 1.
enum InlineOp : std::uint8_t {
    kCallHandler = 0,
#define QEL_OP(h, op) kInline_##h,
    QEL_SIM_INLINE_HANDLERS(QEL_OP)
#undef QEL_OP
};

std::uint8_t InlineOpOf(TSimHandler h) {
#define QEL_OP(n, op) \
    if (h == &simops::n) return kInline_##n;
    QEL_SIM_INLINE_HANDLERS(QEL_OP)
#undef QEL_OP
    return kCallHandler;
}

// Pointer operand (P0-P255) of a CJ or CALL record: number low byte, class
// 0x88, number high byte.
int PointerNumber(const std::uint8_t* record) {
    if ((record[1] & 0x0F) != 0x08) return -1;
    return record[0] | ((record[2] & 0x7F) << 8);
}

bool EndsStepBlock(int index) {
    return index == inst::STL || index == inst::RET || index == inst::END || index == inst::FEND;
}

// Runs the timers first..last of a group `ticks` times. Each tick either
// grows the present value by one or, once it has reached the set value, closes
// the contact: a timer with K10 shows 10 after ten ticks and closes on the
// eleventh; with K0 it closes on the first.
void TickRange(TSimMemory& mem, int first, int last, std::uint32_t ticks) {
    if (ticks == 0) return;
    for (int n = first; n <= last; ++n) {
        if (!mem.TEnable[n]) continue;
        std::int64_t pv = static_cast<std::int16_t>(mem.TPV[n]);
        const std::int64_t sv = static_cast<std::int16_t>(mem.TSV[n]);
        const std::int64_t growth = pv < sv ? sv - pv : 0;  // ticks spent growing
        if (std::int64_t{ticks} > growth) {
            pv = sv;
            mem.T()[n] = 1;
        } else {
            pv += ticks;
        }
        mem.TPV[n] = static_cast<std::uint16_t>(pv);
    }
}

std::uint32_t ClampTicks(std::uint64_t n) {
    // No timer needs more than 65536 ticks to reach any set value.
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0x10000));
}

}  // namespace

TSimEngine::TSimEngine(const qel::Clock& clock) : clock_(clock) { ResetSimulator(); }

void TSimEngine::ResetSimulator() {
    // The run's family is no device: it stays.
    const bool familySet = mem_.familySet;
    std::int32_t limits[std::size(mem_.familyLimits)];
    std::memcpy(limits, mem_.familyLimits, sizeof limits);
    ClearSimMemory(mem_);
    mem_.familySet = familySet;
    std::memcpy(mem_.familyLimits, limits, sizeof limits);
    std::memset(logic_, 0, sizeof logic_);
    top_ = 0;
    branchTop_ = -1;
    callDepth_ = 0;
    CloseStepBlock();
    std::fill(edge_.begin(), edge_.end(), 0);
    std::fill(blockWasActive_.begin(), blockWasActive_.end(), 0);
    acc10_ = acc100_ = 0;
    std::fill(std::begin(accClock_), std::end(accClock_), 0u);
    lastMs_ = clock_.NowMs();
    scanTimeUs_ = 0;
    runawayOffset_ = 0;
}

void TSimEngine::LoadProgram(const std::uint8_t* image, std::size_t capacity) {
    image_.assign(image, image + capacity);
    Decode(image_.data(), image_.size());
    LinkSteps();
    hot_.resize(steps_.size());
    for (std::size_t i = 0; i < steps_.size(); ++i) hot_[i] = {InlineOpOf(steps_[i].handler), steps_[i].bit};
    edge_.assign(steps_.size(), 0);
    blockWasActive_.assign(steps_.size(), 0);
    // A scan may run each step about a hundred times (subroutines, backward
    // jumps) before it counts as a runaway.
    stepBudget_ = 100 * std::uint64_t{steps_.size()} + 1000;
}

void TSimEngine::Decode(const std::uint8_t* image, std::size_t capacity) {
    steps_.clear();
    slots_.clear();
    std::size_t off = 0;
    while (off + 2 <= capacity) {
        const std::uint16_t w = static_cast<std::uint16_t>(image[off] | (image[off + 1] << 8));
        int index = OpcodeToIndex(w);
        if (index < 0 || index >= kInstCount) index = kInstError;
        const int length = std::max<int>(2, gInstLength[index]);
        if (off + static_cast<std::size_t>(length) > capacity) break;  // cut off by the image end

        TSimStep s;
        s.handler = gSimHandlers[index];
        s.body = SimAppliedBody(index);
        s.offset = static_cast<std::uint32_t>(off);
        s.index = static_cast<std::uint16_t>(index);
        s.length = static_cast<std::uint16_t>(length);
        s.word = w;
        s.width = static_cast<std::uint8_t>((gInstFlags[index] & kInst32Bit) ? kSimWidth32 : kSimWidth16);
        if (index <= inst::STL) s.bit = static_cast<std::int16_t>(SimBitIndex(w));

        s.slot = static_cast<std::uint32_t>(slots_.size());
        TSimSlot decoded[kSimSlotCount];
        int count = 0;
        if (index == inst::TMR || index == inst::CNT || index == inst::DCNT) {
            // The timer or counter word comes first; the set value record follows it.
            s.target = image[off + 2];  // Tn / Cn: the number is the low byte
            if (length >= 8) {
                DecodeSimOperand(image + off + 4, decoded[0], s.width);
                count = 1;
            }
        } else if (index > inst::STL && length > 2) {
            count = DecodeSimOperands(image + off, length, s.width == kSimWidth32, decoded);
        }
        slots_.insert(slots_.end(), decoded, decoded + count);
        s.slotCount = static_cast<std::uint8_t>(count);

        if (index == inst::CJ || index == inst::CJP || index == inst::CALL || index == inst::CALLP)
            s.target = static_cast<std::uint32_t>(PointerNumber(image + off + 2));  // resolved in LinkSteps
        steps_.push_back(s);
        off += static_cast<std::size_t>(length);
    }
}

void TSimEngine::LinkSteps() {
    const std::uint32_t n = static_cast<std::uint32_t>(steps_.size());
    std::vector<std::int64_t> label(kPLabels, -1);
    for (std::uint32_t i = 0; i < n; ++i) {
        const TSimStep& s = steps_[i];
        if (s.index != inst::PLABEL) continue;
        const int p = s.word & 0x07FF;
        if (p < kPLabels && label[p] < 0) label[p] = i;
    }
    // One pass from the end: `blockEnd` is the first step after i that ends
    // a step block, `nopEnd` the first step after i that is not empty.
    std::uint32_t blockEnd = n;
    std::uint32_t nopEnd = n;
    for (std::uint32_t i = n; i-- > 0;) {
        TSimStep& s = steps_[i];
        switch (s.index) {
            case inst::CJ:
            case inst::CJP:
            case inst::CALL:
            case inst::CALLP:
                if (s.target < kPLabels && label[s.target] >= 0) {
                    s.target = static_cast<std::uint32_t>(label[s.target]);
                    s.flags |= kStepHasTarget;
                } else {
                    s.target = 0;
                }
                break;
            case inst::STL: {
                if (i == 0 || steps_[i - 1].index != inst::STL) s.flags |= kStepFirstStl;
                if (i + 1 == n || steps_[i + 1].index != inst::STL) {
                    s.flags |= kStepLastStl;
                    s.target = blockEnd;
                }
                break;
            }
            case inst::NOP:
                // Empty steps do nothing: a run of them is passed in one go.
                s.target = nopEnd;
                break;
            default: break;
        }
        if (EndsStepBlock(s.index)) blockEnd = i;
        if (s.index != inst::NOP) nopEnd = i;
    }
}

TSimScanEnd TSimEngine::RunSimScan() {
    const std::int64_t startUs = clock_.NowUs();
    UpdateSimTimeBase();
    CloseStepBlock();
    branchTop_ = -1;
    callDepth_ = 0;
    endScan_ = false;

    TSimScanEnd result = TSimScanEnd::ImageEnd;
    const TSimStep* steps = steps_.data();
    const std::uint32_t n = static_cast<std::uint32_t>(steps_.size());
    std::uint64_t executed = 0;
    std::uint32_t i = 0;
    const TSimHot* hot = hot_.data();
    while (i < n) {
        const TSimHot h = hot[i];
        switch (h.op) {
#define QEL_OP(handler, op)             \
    case kInline_##handler:             \
        simops::op(*this, h.bit);       \
        ++i;                            \
        break;
            QEL_SIM_INLINE_HANDLERS(QEL_OP)
#undef QEL_OP
            default:
                next_ = i + 1;
                steps[i].handler(*this, steps[i]);
                i = next_;
                break;
        }
        // The time base moves during long scans too; a scan that runs far
        // longer than its program (an endless backward jump) is stopped.
        if ((++executed & 63) == 0) {
            UpdateSimTimeBase();
            if (executed > stepBudget_) {
                runawayOffset_ = steps[std::min(i, n - 1)].offset;
                result = TSimScanEnd::Runaway;
                break;
            }
        }
    }
    if (endScan_) result = TSimScanEnd::End;
    UpdateSimTimeBase();
    const std::int64_t took = clock_.NowUs() - startUs;
    scanTimeUs_ = static_cast<std::uint32_t>(std::clamp<std::int64_t>(took, 0, UINT32_MAX));
    return result;
}

void TSimEngine::UpdateSimTimeBase() {
    const std::int64_t now = clock_.NowMs();
    if (now <= lastMs_) return;
    const std::uint64_t units = static_cast<std::uint64_t>(now - lastMs_);
    lastMs_ = now;
    AdvanceTimeUnits(units);
}

void TSimEngine::AdvanceTimeUnits(std::uint64_t units) {
    if (units == 0) return;
    TickTimers1ms(ClampTicks(units));
    const std::uint64_t t10 = acc10_ + units;
    acc10_ = static_cast<std::uint32_t>(t10 % 10);
    if (t10 >= 10) TickTimers10ms(ClampTicks(t10 / 10));
    const std::uint64_t t100 = acc100_ + units;
    acc100_ = static_cast<std::uint32_t>(t100 % 100);
    if (t100 >= 100) TickTimers100ms(ClampTicks(t100 / 100));
    ApplyClockToggles(units);
}

void TSimEngine::ApplyClockToggles(std::uint64_t units) {
    for (int r = 0; r < 4; ++r) {
        const std::uint64_t half = static_cast<std::uint64_t>(kClockHalfPeriodMs[r]);
        const std::uint64_t t = accClock_[r] + units;
        accClock_[r] = static_cast<std::uint32_t>(t % half);
        if ((t / half) & 1) mem_.M()[kClock10ms + r] ^= 1;
    }
}

void TSimEngine::TickTimers1ms(std::uint32_t ticks) { TickRange(mem_, 246, 249, ticks); }

void TSimEngine::TickTimers10ms(std::uint32_t ticks) { TickRange(mem_, 200, 245, ticks); }

void TSimEngine::TickTimers100ms(std::uint32_t ticks) {
    TickRange(mem_, 0, 199, ticks);
    TickRange(mem_, 250, 255, ticks);
}

bool TSimEngine::RisingEdge(const TSimStep& step, bool now) {
    std::uint8_t& prev = edge_[StepIndexOf(step)];
    const bool fire = now && prev == 0;
    prev = now;
    return fire;
}

bool TSimEngine::FallingEdge(const TSimStep& step, bool now) {
    std::uint8_t& prev = edge_[StepIndexOf(step)];
    const bool fire = !now && prev == 1;
    prev = now;
    return fire;
}

bool TSimEngine::PushCall(std::uint32_t returnStep) {
    if (callDepth_ >= kCallDepth) return false;
    calls_[callDepth_++] = returnStep;
    return true;
}

bool TSimEngine::PopCall(std::uint32_t& returnStep) {
    if (callDepth_ == 0) return false;
    returnStep = calls_[--callDepth_];
    return true;
}

void TSimEngine::EndScan() {
    endScan_ = true;
    next_ = UINT32_MAX;
}

void TSimEngine::OpenStep(const TSimStep& step) {
    const std::uint8_t state = mem_.bits[step.bit] & 1;
    if ((step.flags & kStepFirstStl) || !inBlock_) {
        // A step contact starts from the left rail.
        inBlock_ = true;
        gate_ = state;
        sourceCount_ = 0;
        Push(state);
    } else {
        // Consecutive step contacts: the block needs all of their steps.
        gate_ &= state;
        SetTop(Top() & state);
    }
    // Only step relays are sources of a transfer: a damaged word naming
    // another device must not have the transfer reset an input or a coil.
    if (sourceCount_ < kMaxStlSources && simops::IsStepRelay(step.bit)) sources_[sourceCount_++] = step.bit;
    if (!(step.flags & kStepLastStl)) return;
    std::uint8_t& wasActive = blockWasActive_[StepIndexOf(step)];
    if (gate_) {
        wasActive = 1;
    } else if (wasActive) {
        // The step has just gone off: run its block once with the rung off
        // so that its coils and timers drop out.
        wasActive = 0;
    } else {
        JumpTo(step.target);
    }
}

void TSimEngine::CloseStepBlock() {
    inBlock_ = false;
    gate_ = 1;
    sourceCount_ = 0;
}

void TSimEngine::TransferStep(int bitIndex) {
    SetSimBitAt(mem_, bitIndex, true);
    for (int i = 0; i < sourceCount_; ++i)
        if (sources_[i] != bitIndex) SetSimBitAt(mem_, sources_[i], false);
}
