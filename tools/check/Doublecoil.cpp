#include "tools/check/Doublecoil.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"
#include "tools/check/Instoperands.h"

namespace {

// Which instruction rows each kind covers and which devices it records. The
// long forms of OUT and SET reach M1536 and above.
struct TKindRule {
    bool TDoubleCoilKinds::*box;
    int rows[2];
    const char* letters;
};
constexpr TKindRule kKindRules[] = {
    {&TDoubleCoilKinds::out, {inst::OUT, inst::LONG_OUT}, "YMS"},
    {&TDoubleCoilKinds::cnt, {inst::CNT, -1}, "TC"},
    {&TDoubleCoilKinds::tmr, {inst::TMR, -1}, "TC"},
    {&TDoubleCoilKinds::dcnt, {inst::DCNT, -1}, "TC"},
    {&TDoubleCoilKinds::set, {inst::SET, inst::LONG_SET}, "YMS"},
    {&TDoubleCoilKinds::rst, {inst::RST, -1}, "YMS"},
};

std::string DeviceName(char letter, int number) {
    std::string digits;
    if (letter == 'X' || letter == 'Y') {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%o", number);
        digits = buf;
    } else {
        digits = std::to_string(number);
    }
    return std::string(1, letter) + digits;
}

}  // namespace

std::vector<std::string> FindDoubleCoils(const std::uint8_t* code, std::uint32_t capacity, int family,
                                         const TDoubleCoilKinds& kinds) {
    std::map<std::pair<char, int>, std::vector<std::uint32_t>> uses;
    if (!code || !kinds.Any()) return {};
    for (std::uint32_t offset = 0; offset + 2 <= capacity;) {
        const std::uint32_t next = NextInstructionOffset(offset, code, capacity);
        const int row = OpcodeToIndex(ReadCodeWord(code, capacity, offset));
        const int index = ForEachInstructionOperand(code, capacity, offset, [&](const TDeviceRecord& rec) {
            for (const TKindRule& rule : kKindRules) {
                if (!(kinds.*rule.box) || (row != rule.rows[0] && row != rule.rows[1])) continue;
                const char letter = DeviceLetterFromType(rec.type);
                // An indexed operand names no fixed device.
                if (!letter || rec.modifier != 0 || !std::strchr(rule.letters, letter)) continue;
                if (static_cast<int>(rec.number) > DeviceLimitOf(family, letter)) continue;
                uses[{letter, static_cast<int>(rec.number)}].push_back(offset / 2);
            }
        });
        if (index == inst::END || next <= offset) break;
        offset = next;
    }

    std::vector<std::string> lines;
    auto report = [&](char letter, int number) {
        auto it = uses.find({letter, number});
        if (it == uses.end() || it->second.size() < 2) return;
        std::vector<std::uint32_t> steps = it->second;
        std::sort(steps.begin(), steps.end());
        for (std::uint32_t step : steps)
            lines.push_back("Step " + std::to_string(step) + ":" + DeviceName(letter, number));
    };
    const int limY = DeviceLimitOf(family, 'Y'), limT = DeviceLimitOf(family, 'T');
    const int limC = DeviceLimitOf(family, 'C'), limM = DeviceLimitOf(family, 'M');
    const int limS = DeviceLimitOf(family, 'S');
    for (int n = 0; n <= std::max(limY, limT); ++n) {
        report('Y', n);
        report('T', n);
    }
    for (int n = 0; n <= std::min(199, limC); ++n) report('C', n);
    for (int n = 0; n <= std::max(limM, limS); ++n) {
        report('M', n);
        report('S', n);
    }
    for (int n = 200; n <= limC; ++n) report('C', n);
    return lines;
}

long StepOfReportLine(const std::string& line) {
    if (line.rfind("Step ", 0) != 0) return -1;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 5) return -1;
    long step = 0;
    for (std::size_t i = 5; i < colon; ++i) {
        if (line[i] < '0' || line[i] > '9') return -1;
        step = step * 10 + (line[i] - '0');
    }
    return step;
}
