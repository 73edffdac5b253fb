#pragma once
// What an element's inner window (its ladder or its list) puts into the
// element's code record. Whatever reads the program takes the window's code
// through its element before the user has said whether to store it: that code
// is only lent to the element, and goes back out when the user says No. A
// store for good is one edit of the chart.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TSfcInnerStore {
public:
    // Called before a store for good changes the element (the chart records
    // its undo step then).
    std::function<void()> BeforeStore;

    // Puts `code` (n bytes) into the record of the element at (row, byte
    // column); with `emptyRemoves` no code removes the record. Lent
    // (forGood false): the element's code as it was before the first loan
    // is kept to be taken back. For good: what was lent is taken back first.
    // True when the record changed.
    bool Store(int row, int col, const std::uint8_t* code, std::size_t n, bool forGood, bool emptyRemoves);
    // The element holds again what it held before the first loan; false when
    // nothing was lent.
    bool TakeBack(int row, int col);

private:
    bool lent_ = false;
    std::optional<std::vector<std::uint8_t>> before_;  // none: the element had no record
};
