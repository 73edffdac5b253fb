// Data tables: the first-in first-out table SFWR / SFRD, ZRST, SER and SORT.
#include <algorithm>
#include <array>

#include "core/DeviceLimits.h"
#include "simulator/SimApplied.h"

using namespace simapp;

namespace {

// SFWR S D n: D counts the entries of the table D+1 .. D+n-1. Each execution
// appends S; M1022 reports the table full (also when an entry is refused).
void Sfwr(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 2, 512, n) || Room(e, s, 1) < n) return;
    const std::int64_t count = e.ReadOperand(s, 1);
    if (count < 0 || count >= n - 1) {
        SetFlag(e, kFlagCarry, true);
        return;
    }
    e.WriteOperand(s, 1, e.ReadOperand(s, 0), static_cast<int>(count + 1));
    e.WriteOperand(s, 1, count + 1);
    SetFlag(e, kFlagCarry, count + 1 == n - 1);
}

// SFRD S D n: S counts the entries of the table S+1 .. S+n-1. Each execution
// takes the oldest entry (S+1) into D and moves the rest down; M1020 reports
// the table empty (also when there was nothing to take).
void Sfrd(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 2, 2, 512, n) || Room(e, s, 0) < n) return;
    const std::int64_t count = std::min(e.ReadOperand(s, 0), n - 1);
    if (count <= 0) {
        SetFlag(e, kFlagZero, true);
        return;
    }
    e.WriteOperand(s, 1, e.ReadOperand(s, 0, 1));
    for (int k = 1; k < count; ++k) e.WriteOperand(s, 0, e.ReadOperand(s, 0, k + 1), k);
    e.WriteOperand(s, 0, count - 1);
    SetFlag(e, kFlagZero, count - 1 == 0);
}

// Clears word element n of a timer or counter array with its contact, as RST
// does; a data register is just zeroed.
void ClearWordDevice(TSimMemory& mem, TSimArray array, std::int64_t n) {
    switch (array) {
        case TSimArray::D: mem.D[n] = 0; break;
        case TSimArray::TPV: mem.TPV[n] = 0, mem.T()[n] = 0; break;
        case TSimArray::CPV: mem.CPV[n] = 0, mem.C()[n] = 0; break;
        case TSimArray::CPV32: mem.CPV32[n] = 0, mem.C()[kSimC16 + n] = 0; break;
        default: break;
    }
}

// Whether word element n of a T, C or D array is a device of the memory's
// family: a range read from a file may run past its last T or D.
bool WordDeviceOfFamily(const TSimMemory& mem, TSimArray array, std::int64_t n) {
    if (array == TSimArray::TPV) return SimBitOfFamily(mem, kBitT + static_cast<int>(n));
    if (array == TSimArray::D) return !mem.familySet || n <= mem.familyLimits[kLimD];
    return true;  // every family has C0-C255
}

// ZRST D1 D2 clears every device from D1 to D2 when both lie in one array (a
// timer or counter with its contact); otherwise nothing happens.
void Zrst(E& e, const S& s) {
    TSimMemory& mem = e.Memory();
    const TSimSlot& a = Op(e, s, 0);
    const TSimSlot& b = Op(e, s, 1);
    if (a.array != b.array || a.array == TSimArray::None || a.digits || b.digits) return;
    const std::int64_t first = SimSlotElement(mem, a), last = SimSlotElement(mem, b);
    if (first > last || Room(e, s, 0) < last - first + 1 || Room(e, s, 1) < 1) return;
    if (IsBitArray(a.array)) {
        for (std::int64_t k = 0; k <= last - first; ++k) e.WriteOperand(s, 0, 0, static_cast<int>(k));
        return;
    }
    for (std::int64_t n = first; n <= last; ++n)
        if (WordDeviceOfFamily(mem, a.array, n)) ClearWordDevice(mem, a.array, n);
}

// SER S1 S2 D n: over the n elements from S1 (positions 0 to n-1), D = how
// many equal S2, D+1 the first equal one, D+2 the last equal one after the
// first, D+3 the last one below S2, D+4 the last one above; a position not
// found is 0.
void Ser(E& e, const S& s) {
    std::int64_t n;
    if (!CountIn(e, s, 3, 1, 255, n) || Room(e, s, 0) < n || Room(e, s, 2) < 5) return;
    const std::int64_t key = e.ReadOperand(s, 1);
    std::int64_t count = 0, first = 0, last = 0, below = 0, above = 0;
    for (int k = 0; k < n; ++k) {
        const std::int64_t v = e.ReadOperand(s, 0, k);
        if (v == key) {
            if (count == 0)
                first = k;
            else
                last = k;
            ++count;
        } else if (v < key) {
            below = k;
        } else {
            above = k;
        }
    }
    const std::int64_t results[] = {count, first, last, below, above};
    for (int k = 0; k < 5; ++k) e.WriteOperand(s, 2, results[k], k);
}

// SORT S m1 m2 D n: the table of m1 rows and m2 columns at S (column after
// column) goes to D with its rows in ascending order of column n.
void Sort(E& e, const S& s) {
    std::int64_t rows, cols, key;
    if (!CountIn(e, s, 1, 1, 32, rows) || !CountIn(e, s, 2, 1, 6, cols) || !CountIn(e, s, 4, 1, cols, key)) return;
    const std::int64_t size = rows * cols;
    if (Room(e, s, 0) < size || Room(e, s, 3) < size) return;
    std::array<std::int64_t, 32 * 6> table;
    for (int k = 0; k < size; ++k) table[static_cast<std::size_t>(k)] = e.ReadOperand(s, 0, k);
    std::array<int, 32> order;
    for (int r = 0; r < rows; ++r) order[static_cast<std::size_t>(r)] = r;
    const std::int64_t* column = table.data() + (key - 1) * rows;
    std::stable_sort(order.begin(), order.begin() + rows, [&](int x, int y) { return column[x] < column[y]; });
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r)
            e.WriteOperand(s, 3, table[static_cast<std::size_t>(c * rows + order[static_cast<std::size_t>(r)])],
                           static_cast<int>(c * rows + r));
}

constexpr TSimBodyRow kRows[] = {
    {inst::SFWR, Sfwr}, {inst::SFRD, Sfrd}, {inst::ZRST, Zrst}, {inst::SER, Ser},
    {inst::DSER, Ser},  {inst::SORT, Sort},
};

}  // namespace

std::span<const TSimBodyRow> SimTableBodies() { return kRows; }
