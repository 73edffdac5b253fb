#include "tests/sfc/model/SfcTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <sstream>

#include "platform/Clock.h"
#include "sfc/model/Sfctocode.h"
#include "simulator/SimEngine.h"

namespace qel::test {

namespace {

// The numbered elements by their letter in the row notation.
const std::pair<char, std::uint8_t> kNumbered[] = {{'L', kSfcLad},       {'I', kSfcInitStep},   {'S', kSfcStep},
                                                   {'J', kSfcJump},      {'P', kSfcJumpSet},    {'R', kSfcResetMark},
                                                   {'M', kSfcStepMark}};

TSfcCell Numbered(std::uint8_t type, int n) {
    return {type, static_cast<std::uint8_t>(n & 0xFF), static_cast<std::uint8_t>((n >> 8) & 0xFF), 0xFF};
}

}  // namespace

TSfcChart ChartOf(const std::vector<std::string>& rows, const TCellCode& code) {
    TSfcChart chart = TSfcChart::Empty();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::istringstream in(rows[r]);
        std::string tok;
        for (int c = 0; in >> tok; ++c) {
            const int row = static_cast<int>(r);
            const char k = tok[0];
            const auto numbered = std::find_if(std::begin(kNumbered), std::end(kNumbered), [k](auto e) { return e.first == k; });
            if (numbered != std::end(kNumbered))
                chart.SetCell(row, c, Numbered(numbered->second, tok.size() > 1 ? std::stoi(tok.substr(1)) : 0));
            else if (k == 'T')
                chart.SetCell(row, c, Numbered(kSfcTransition, 0xFFFF));
            else if (k == '|')
                chart.SetCell(row, c, {kSfcLine, kShapeVertical, 0xFF, 0xFF});
            else if (k >= '0' && k <= '7')
                chart.SetCell(row, c, {kSfcLine, static_cast<std::uint8_t>(k - '0'), 0xFF, 0xFF});
            else if (k != '.')
                ADD_FAILURE() << "unknown cell " << tok;
        }
    }
    for (const auto& [at, lines] : code) {
        TSfcCodeRec rec;
        rec.row = at.first;
        rec.col = at.second * kSfcCellBytes;
        rec.code = AssembleLines(lines);
        chart.records.push_back(std::move(rec));
    }
    return chart;
}

std::vector<std::string> RowsOf(const TSfcChart& chart) {
    std::vector<std::string> rows;
    const int last = SfcLastUsedRow(chart.grid.data(), chart.rows);
    for (int r = 0; r <= last; ++r) {
        std::string line;
        int lastCol = -1;
        for (int c = 0; c < kSfcColumns; ++c)
            if (!chart.Cell(r, c).Empty()) lastCol = c;
        for (int c = 0; c <= lastCol; ++c) {
            const TSfcCell x = chart.Cell(r, c);
            const auto numbered =
                std::find_if(std::begin(kNumbered), std::end(kNumbered), [&x](auto e) { return e.second == x.type; });
            std::string tok = "?";
            if (numbered != std::end(kNumbered))
                tok = numbered->first + std::to_string(x.Number());
            else if (x.type == kSfcEmpty)
                tok = ".";
            else if (x.type == kSfcTransition)
                tok = "T";
            else if (x.type == kSfcLine)
                tok = x.Shape() == kShapeVertical ? "|" : std::to_string(x.Shape());
            line += (c ? " " : "") + tok;
        }
        rows.push_back(line);
    }
    return rows;
}

std::string RecordListing(const TSfcChart& chart, int row, int col) {
    const TSfcCodeRec* rec = chart.FindRec(row, col * kSfcCellBytes);
    return rec ? ListingOf(rec->code) : std::string("(none)");
}

TCode ToCode(const TSfcChart& chart, std::uint32_t capacity) {
    TCode out;
    std::vector<std::uint8_t> buf(capacity + 64, 0xA5);
    const TSfcToCodeResult r = SfcChartToCode(TSfcChartRef::Of(chart), buf.data(), capacity);
    for (std::uint32_t i = capacity; i < buf.size(); ++i)
        if (buf[i] != 0xA5) ADD_FAILURE() << "written past the capacity at " << i;
    out.ok = r.ok();
    out.capacity = r.failure == TSfcFailure::Capacity;
    out.unreached = r.unreached;
    if (out.ok) out.code.assign(buf.begin(), buf.begin() + r.length);
    return out;
}

std::string SimTrace(const std::vector<std::uint8_t>& code, std::uint32_t seed, int scans) {
    std::vector<std::uint8_t> image(code.size() + 64, 0xFF);
    std::copy(code.begin(), code.end(), image.begin());
    qel::ManualClock clock;
    TSimEngine engine(clock);
    engine.LoadProgram(image.data(), image.size());
    engine.ResetSimulator();
    TSimMemory& mem = engine.Memory();
    for (int s = 0; s < 10; ++s) SetSimBitAt(mem, SimBitIndexOf('S', s), true);
    std::mt19937 rng(seed);
    std::string trace;
    auto bits = [&](char letter, int count) {  // the devices that are on
        trace += letter;
        for (int i = 0; i < count; ++i)
            if (mem.bits[SimBitIndexOf(letter, i)]) trace += std::to_string(i) + ",";
        trace += " ";
    };
    for (int scan = 0; scan < scans; ++scan) {
        for (int x = 0; x < 8; ++x) SetSimBitAt(mem, SimBitIndexOf('X', x), rng() % 2 != 0);
        clock.AdvanceMs(10);
        engine.RunSimScan();
        bits('Y', 8);
        bits('S', 1024);
        bits('M', 100);
        for (int d = 0; d < 10; ++d) trace += std::to_string(mem.D[d]) + " ";
        trace += "\n";
    }
    return trace;
}

std::string Listing(const std::vector<std::uint8_t>& code) { return ListingOf(code); }

std::string Listing(const std::vector<std::string>& lines) { return ListingOf(AssembleLines(lines)); }

}  // namespace qel::test
