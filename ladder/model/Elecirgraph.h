#pragma once
// The circuit tree of one ladder network. The network's cells are read as an
// electrical graph: every cell's left edge is a junction; horizontal wires and
// vertical links join junctions; the cells of column 0 all stand on the left
// rail; every contact or compare runs from one junction to the junction past
// its last cell, and every coil or box runs into the right rail. The tree
// groups that graph into series items, parallel blocks (paths between a branch
// junction and the junction where they meet again) and output-branch groups
// (paths that leave one junction and end in their own outputs), each list of
// paths in row order. A layout that is no such circuit (a dead end, a
// short-circuited path, crossing blocks, an output inside a parallel path) is
// a layout error with the grid position of the offending cell.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ladder/model/LadderGrid.h"

// One operand of a box or compare, read from its token cells.
struct TLadOperand {
    std::uint8_t device = 0;   // CellDev type
    std::uint32_t value = 0;   // number; a 32-bit constant's whole value
    bool is32 = false;         // a Token_32bs follows the token
    TIndexReg index;           // index register (letter 0 = none)
    std::uint8_t digits = 0;   // n of a digit group Kn, 0 = none
    std::int32_t col = 0;      // cell index of the token in the wide row
};

// An element leaf: one contact, coil, box, compare, step contact or INV.
struct TLadElement {
    TLdbKind kind = TLdbKind::non_inst;
    std::uint8_t device = 0;    // CellDev type of a contact or coil
    std::uint16_t operand = 0;  // device number, the box's instruction word or the compare code
    std::int32_t row = 0;       // wide row in the network
    std::int32_t col = 0;       // cell index in the wide row
    std::int32_t width = 1;     // cells taken (head and tokens)
    std::vector<TLadOperand> operands;  // tokens of a box or compare
};

// A layout error: what went wrong and where (wide row, cell index).
struct TLayoutError {
    int msgId = 33;           // 33 layout error, 248 crossing blocks
    std::int32_t row = 0;
    std::int32_t col = 0;
    std::string detail;       // "MergeLine", "BranchLine" or a further text
};

// A node of the circuit tree.
struct TCircuitNode;
using TCircuitPath = std::vector<std::unique_ptr<TCircuitNode>>;  // items in column order

enum class TCircuitType : std::uint8_t { Element = 0, ParallelBlock = 1, BranchGroup = 2 };

struct TCircuitNode {
    TCircuitType type = TCircuitType::Element;
    const TLadElement* leaf = nullptr;  // for Element
    std::vector<TCircuitPath> paths;    // for ParallelBlock and BranchGroup, in row order
};

// A network read from a wide work grid (rows of `stride` bytes).
struct TNetworkGraph {
    std::vector<TLadElement> elements;  // every element of the network, in row then column order
    // The trees: one series from the left rail per rung. Rungs that share
    // nothing but the rail (a cut keeps the rows of a folded network together)
    // are separate rungs, in row order.
    std::vector<TCircuitPath> rungs;
    // The network was read as a condition whose rung ends in open wire (see
    // BuildCircuitTree): its last element is the open end, emitting nothing.
    bool endsOpen = false;
};

// Reads the first `rows` wide rows of `grid` (stride a multiple of 60) and
// builds the circuit tree into `out`. Returns false with `err` set on a layout
// error. A network without elements gives an empty tree.
//
// With `openEnd` (a transition's condition) a network without any coil or box
// may end in open wire: when exactly one junction leads nowhere, that junction
// is the condition's result and is joined to the right rail by an open-end
// element (kind non_inst) that emits no instruction. Any other dead end stays
// a layout error.
bool BuildCircuitTree(const std::uint8_t* grid, std::int32_t stride, std::int32_t rows, TNetworkGraph& out,
                      TLayoutError& err, bool openEnd = false);
