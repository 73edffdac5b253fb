#pragma once
// Helpers of the ladder model tests: instruction-list text to machine code and
// grids to a readable dump, one text line per row.
#include <cstdint>
#include <string>
#include <vector>

// Assembles instruction-list lines into code; fails the test on a bad line.
std::vector<std::uint8_t> AssembleLines(const std::vector<std::string>& lines);

// A program image of `capacity` bytes: the code, then 0xFF.
std::vector<std::uint8_t> ProgramImage(const std::vector<std::string>& lines, std::uint32_t capacity = 3616);

// The rows 0..rows-1 of a stored grid: per row its cells from the left up to the
// last non-empty one, each "Kind:node[v]:device" ("Open_Ry:hl:X0"), an empty
// cell as "."; a box or compare head, a connector and a Token_32bs show their
// operand word and device type ("Spec_Fun:hl:000F", "Token_32bs:n0:0001/4"), as
// does any other cell whose operand is no device; byte 0 shows when set
// ("#80"). Every byte of a cell is in its text, so equal dumps are equal bytes.
std::vector<std::string> DumpGrid(const std::uint8_t* grid, std::int32_t rows);
