#pragma once
// The double-coil check: every output, timer or counter that the program
// drives from more than one place (OUT, SET, RST, TMR, CNT, DCNT), as report
// lines "Step <step>:<device>".
#include <cstdint>
#include <string>
#include <vector>

/// The instruction kinds to check, as the six boxes of the dialog.
struct TDoubleCoilKinds {
    bool out = false, cnt = false, tmr = false, dcnt = false, set = false, rst = false;
    bool Any() const { return out || cnt || tmr || dcnt || set || rst; }
};

/// Scans the code from its start to END (or its capacity) and returns the
/// report: for every device used by the chosen kinds more than once, one line
/// per use, in ascending steps. Devices are grouped as the report always was
/// (Y and T by number, then C0-C199, then M and S by number, then C200 up);
/// tables are as large as the family's device limits. Uses of OUT, SET and
/// RST of one device add up, as do TMR, CNT and DCNT of one timer or counter.
std::vector<std::string> FindDoubleCoils(const std::uint8_t* code, std::uint32_t capacity, int family,
                                         const TDoubleCoilKinds& kinds);

/// The step a report line names ("Step 20:Y0" gives 20); -1 for another line.
long StepOfReportLine(const std::string& line);
