#pragma once
// A ladder grid with its label tables and an editor on it, and the compile of
// the grid into instruction-list lines.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ladder/edit/Ladderedit.h"

namespace qel::test {

struct LadderRig {
    explicit LadderRig(std::int32_t rows = 200);

    /// Compiles the grid; the listing lines ("LD X0", ...), or empty with
    /// `failure` set when the compile refuses.
    std::vector<std::string> Compile(std::string* failure = nullptr) const;
    /// Places a typed line at the cursor; the result.
    TLadderEditResult Type(const std::string& line) { return edit.PlaceTyped(line); }
    /// Bytes of the grid and both label tables, for "nothing changed" checks.
    std::vector<std::uint8_t> State() const;
    std::uint8_t* Cell(std::int32_t row, std::int32_t col) { return grid.data() + row * 60 + col; }

    std::vector<std::uint8_t> grid;
    std::array<std::int32_t, 256> p{};
    std::array<std::int32_t, 900> i{};
    TLadderEdit edit;
};

/// Expects a placement that was taken without a message.
inline void Ok(const TLadderEditResult& r) {
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.message, LadMsg::None);
}

}  // namespace qel::test
