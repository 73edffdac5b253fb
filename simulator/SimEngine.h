#pragma once
// The simulated PLC: a program image, its device memory, the time base and the
// scan loop. Plain C++; one thread drives an engine at a time (the simulator
// thread, or a test).
//
// LoadProgram decodes a copy of the image once into a list of steps
// (handler, place, operand slots, jump targets), so a scan neither touches
// the editor's buffer nor decodes anything. Handlers are picked per
// instruction row of the instruction table (SimBasic.cpp); applied
// instructions plug their bodies in through SimAppliedBody (SimApplied.cpp).
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/InstructionTable.h"
#include "platform/Clock.h"
#include "simulator/Simucomm.h"
#include "simulator/SimOperand.h"

class TSimEngine;
struct TSimStep;

// A handler runs one instruction step.
using TSimHandler = void (*)(TSimEngine& engine, const TSimStep& step);

// One decoded instruction of the program.
struct TSimStep {
    TSimHandler handler = nullptr;
    TSimHandler body = nullptr;  // the applied instruction's own work, run when its rung allows
    std::uint32_t offset = 0;    // byte offset in the program image
    std::uint16_t index = 0;     // instruction row
    std::uint16_t length = 0;    // bytes
    std::uint16_t word = 0;      // opcode word
    std::int16_t bit = 0;        // flat bit index of a basic contact or coil
    std::uint32_t target = 0;    // jump target, end of a step block, end of a run of empty
                                 // steps, or the timer/counter number
    std::uint32_t slot = 0;      // first operand slot (TSimEngine::Slot)
    std::uint8_t slotCount = 0;
    std::uint8_t width = kSimWidth16;
    std::uint8_t flags = 0;      // kStep* below
};

inline constexpr std::uint8_t kStepFirstStl = 0x01;  // STL that opens a block (not after another STL)
inline constexpr std::uint8_t kStepLastStl = 0x02;   // STL not followed by another STL
inline constexpr std::uint8_t kStepHasTarget = 0x04; // CJ/CALL whose label exists

// The handler of every instruction row 0-443, picked from the instruction
// table when the program is built (SimBasic.cpp).
extern const std::array<TSimHandler, kInstCount> gSimHandlers;

// The body of an applied instruction row, or null while the row has none;
// the engine runs it only while the rung is ON (pulse rows: on its rising
// edge). Rows without a body advance by their length (SimApplied.cpp).
TSimHandler SimAppliedBody(int index);

// Why a scan ended.
enum class TSimScanEnd { End, ImageEnd, Runaway };

class TSimEngine {
public:
    // Clock relays toggle every half period so that M1011-M1014 have periods
    // of 10 ms, 100 ms, 1 s and 1 min.
    static constexpr int kClockHalfPeriodMs[4] = {5, 50, 500, 30000};
    static constexpr int kLogicDepth = 8;
    static constexpr int kBranchDepth = 9;
    static constexpr int kCallDepth = 16;
    static constexpr int kMaxStlSources = 16;
    static constexpr int kPLabels = 256;

    explicit TSimEngine(const qel::Clock& clock);

    // Clears the device memory, the stacks, the edge memory and the time base
    // (the family set for the run stays).
    void ResetSimulator();
    // The model family whose registers the run has (SetSimFamily).
    void SetFamily(int family) { SetSimFamily(mem_, family); }

    // Copies the program image (capacity bytes of little-endian words) and
    // decodes it. An instruction that does not fit the image is not run.
    void LoadProgram(const std::uint8_t* image, std::size_t capacity);

    // Puts an edited program in the place of the one running, between two
    // scans, as a PLC takes a program written while it runs: every device
    // keeps its state and value, and the time base goes on. Each instruction
    // the edit left in the program keeps what it remembered of its last scan
    // (the edge of a pulse, a step block that was active), found by comparing
    // the two programs rung by rung (SimFollow.cpp), never another instruction
    // of the same code; one the edit put in takes its first scan as the state
    // it compares with, so it does not fire on the swap itself. A timer no
    // instruction drives any more stops where it stands.
    void FollowProgram(const std::uint8_t* image, std::size_t capacity);

    // One scan from the first step to END (or the end of the image).
    TSimScanEnd RunSimScan();

    // Consumes the whole milliseconds elapsed on the clock since the last call.
    void UpdateSimTimeBase();
    // Applies `units` milliseconds: every timer tick and clock toggle that
    // the interval covers is counted.
    void AdvanceTimeUnits(std::uint64_t units);

    // One or more ticks of a timer group.
    void TickTimers1ms(std::uint32_t ticks = 1);
    void TickTimers10ms(std::uint32_t ticks = 1);
    void TickTimers100ms(std::uint32_t ticks = 1);

    TSimMemory& Memory() { return mem_; }
    const TSimMemory& Memory() const { return mem_; }

    // Microseconds the last complete scan took, by the engine's clock.
    std::uint32_t SimScanTime() const { return scanTimeUs_; }
    // Byte offset of the step where a runaway scan was stopped.
    std::uint32_t RunawayOffset() const { return runawayOffset_; }
    std::size_t StepCount() const { return steps_.size(); }
    const std::vector<TSimStep>& Steps() const { return steps_; }

    // --- used by handlers ---------------------------------------------------
    // The rung condition: the top of the logic stack, gated by the active step.
    bool Cond() const { return (logic_[top_] & gate_) != 0; }
    std::uint8_t Top() const { return logic_[top_]; }
    void SetTop(std::uint8_t v) { logic_[top_] = v; }
    void Push(std::uint8_t v) {
        top_ = (top_ + 1) & (kLogicDepth - 1);
        logic_[top_] = v;
    }
    std::uint8_t Pop() {
        const std::uint8_t v = logic_[top_];
        top_ = (top_ - 1) & (kLogicDepth - 1);
        return v;
    }
    // Branch stack, used by MPS, MRD and MPP.
    bool SaveBranch() {
        if (branchTop_ + 1 >= kBranchDepth) return false;
        branch_[++branchTop_] = logic_[top_];
        return true;
    }
    bool ReadBranch(std::uint8_t& v) const {
        if (branchTop_ < 0) return false;
        v = branch_[branchTop_];
        return true;
    }
    bool PopBranch(std::uint8_t& v) {
        if (branchTop_ < 0) return false;
        v = branch_[branchTop_--];
        return true;
    }
    // True once per rising edge of `now`, as remembered for this step.
    bool RisingEdge(const TSimStep& step, bool now);
    // True once per falling edge of `now`, as remembered for this step.
    bool FallingEdge(const TSimStep& step, bool now);

    // Operand i of a step (an empty slot when the step has fewer operands).
    const TSimSlot& Slot(const TSimStep& step, int i) const {
        static const TSimSlot kEmpty{};
        return i >= 0 && i < step.slotCount ? slots_[step.slot + i] : kEmpty;
    }
    std::int64_t ReadOperand(const TSimStep& step, int i, int k = 0) const {
        return ReadSimOperand(mem_, Slot(step, i), step.width, k);
    }
    void WriteOperand(const TSimStep& step, int i, std::int64_t value, int k = 0) {
        WriteSimOperand(mem_, value, Slot(step, i), step.width, k);
    }
    // A second result beside the first (the remainder of DIV and DDIV): one
    // word further for a 16-bit instruction, two for a 32-bit one.
    void WriteSecondResult(const TSimStep& step, int i, std::int64_t value) {
        WriteSimOperand(mem_, value, Slot(step, i), step.width, 1);
    }
    // A result twice the instruction's width (the product of MUL and DMUL):
    // a 32-bit value into two words, or a 64-bit value into four.
    void WriteDoubleResult(const TSimStep& step, int i, std::int64_t value) {
        WriteSimOperand(mem_, value, Slot(step, i), kSimWidth32, 0);
        if (step.width == kSimWidth32) WriteSimOperand(mem_, value >> 32, Slot(step, i), kSimWidth32, 1);
    }

    // Control flow: the step index the scan goes on with, and the scan's end.
    std::uint32_t StepIndexOf(const TSimStep& step) const {
        return static_cast<std::uint32_t>(&step - steps_.data());
    }
    void JumpTo(std::uint32_t stepIndex) { next_ = stepIndex; }
    void EndScan();
    bool PushCall(std::uint32_t returnStep);
    bool PopCall(std::uint32_t& returnStep);

    // Step blocks.
    bool InStepBlock() const { return inBlock_; }
    void OpenStep(const TSimStep& step);
    void CloseStepBlock();
    // SET or OUT of a step relay inside a block: sets the target and resets
    // the steps of the block.
    void TransferStep(int bitIndex);

private:
    void Decode(const std::uint8_t* image, std::size_t capacity);
    void LinkSteps();
    void ApplyClockToggles(std::uint64_t units);

    const qel::Clock& clock_;
    TSimMemory mem_{};

    std::vector<std::uint8_t> image_;  // the program's code as loaded
    std::vector<TSimStep> steps_;
    // What the scan loop reads of each step first: the handler it runs
    // inline (0: call the step's handler) and the device of a basic step.
    struct TSimHot {
        std::uint8_t op;
        std::int16_t bit;
    };
    std::vector<TSimHot> hot_;
    std::vector<TSimSlot> slots_;
    // Edge memory of a step the scan has not run since its program came in:
    // neither a rising nor a falling edge fires on its first run.
    static constexpr std::uint8_t kEdgeUnseen = 2;
    std::vector<std::uint8_t> edge_;  // per step: the state seen at its last execution (kEdgeUnseen: none yet)
    std::vector<std::uint8_t> blockWasActive_;  // per step (used at block-opening STLs)

    // Logic ring and branch stack.
    std::uint8_t logic_[kLogicDepth] = {};
    int top_ = 0;
    std::uint8_t branch_[kBranchDepth] = {};
    int branchTop_ = -1;

    // Subroutine returns.
    std::uint32_t calls_[kCallDepth] = {};
    int callDepth_ = 0;

    // Step-block state.
    bool inBlock_ = false;
    std::uint8_t gate_ = 1;
    int sources_[kMaxStlSources] = {};
    int sourceCount_ = 0;

    // Scan control.
    std::uint32_t next_ = 0;
    bool endScan_ = false;
    std::uint32_t scanTimeUs_ = 0;
    std::uint32_t runawayOffset_ = 0;
    std::uint64_t stepBudget_ = 0;

    // Time base: the clock reading (ms) consumed so far and the period accumulators.
    std::int64_t lastMs_ = 0;
    std::uint32_t acc10_ = 0, acc100_ = 0;
    std::uint32_t accClock_[4] = {};
};
