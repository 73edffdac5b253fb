#pragma once
// The SFC form of machine code, read into blocks.
//
// A program in SFC form is a sequence of blocks: plain ladder code, and step
// blocks opened by one STL Sn (a step) or several (a simultaneous
// convergence) and closed by RET or by the next STL that follows other code.
// Inside a step block, every network that contains a transfer (SET Sn or
// OUT Sn) is a transition: its condition and its targets; everything else is
// the step's actions. Both conversions read code through this one parser, so
// they agree on what a step, an action and a transition are.
#include <compare>
#include <cstdint>
#include <string>
#include <vector>

// A transfer word: SET Sn (to a step) or OUT Sn (a jump).
struct TSfcTransfer {
    std::uint16_t step = 0;
    bool isOut = false;
    auto operator<=>(const TSfcTransfer&) const = default;
};

// One transition of a step: its condition (the network less its transfer
// words) and its targets in order.
struct TSfcTransitionCode {
    std::vector<std::uint8_t> cond;
    std::vector<TSfcTransfer> targets;
    bool operator==(const TSfcTransitionCode&) const = default;
};

struct TSfcBlock {
    bool isLad = false;
    std::vector<std::uint8_t> code;       // a LAD block: its bytes, as they stand
    std::vector<std::uint16_t> steps;     // a step block: the STL run's step numbers
    std::vector<std::uint8_t> actions;    // the step's actions, in order (no RET)
    std::vector<TSfcTransitionCode> transitions;
    bool closedByRet = false;             // the block ended with RET
    std::uint32_t offset = 0;             // where the block starts in the code
    bool operator==(const TSfcBlock&) const = default;
};

struct TSfcParse {
    bool ok = false;
    std::vector<TSfcBlock> blocks;
    std::uint32_t failOffset = 0;  // the instruction that refused the code
    std::string why;               // for diagnostics and tests
};

// True for OUT Sn and SET Sn with n in the step range: a transfer word.
bool IsSfcTransferWord(std::uint16_t word);
// True for STL Sn with n in the step range.
bool IsSfcStlWord(std::uint16_t word);

// Reads code[0, used) into blocks. Refuses (ok false) code with a word the
// instruction table does not know, an instruction cut by the end, an STL of
// something other than a step of the range, a network the ladder scanner
// refuses, a transition network whose transfer words are followed by more
// conditions (its targets would change their condition if redrawn),
// actions inside a simultaneous convergence block, and an instruction that
// directs the scan (END, FEND, jumps, calls, returns, labels, loops, MC/MCR)
// that the chart would move across a transition or a transfer.
TSfcParse ParseSfcCode(const std::uint8_t* code, std::uint32_t used);
