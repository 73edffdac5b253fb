#pragma once
// Lines of instruction-list text that reach every row of the instruction table that can
// be typed, with representative operands of each slot, per model family.
#include <string>
#include <vector>

// The lines for one row in one family ("MOV K0 D0", "MOV K-5 D1311", ...); empty for the
// long forms (reached through their short rows with M1536 and above) and rows the family
// lacks.
std::vector<std::string> RowLines(int idx, int family);
