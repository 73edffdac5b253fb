#pragma once
// Which items of an old sequence are still there in a new one, in order: the
// ladder's comments follow their instructions through it, and a running
// simulation hands each instruction's memory on through it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

// The items two sequences have in common, in order: Myers' greedy diff of
// `n` old against `m` new items (`same(i, j)` compares old item i with new
// item j). It gives up past `limit` differences (items inserted plus
// deleted), so that sequences with little in common cost bounded time: about
// limit^2 / 2 values of memory and steps. On success `match` receives, per
// old item, the index of the same new item (entries of old items that are
// gone keep their value).
template <class Same>
bool MatchInOrder(std::size_t n, std::size_t m, std::size_t limit, const Same& same, std::vector<std::int32_t>& match) {
    const std::ptrdiff_t N = static_cast<std::ptrdiff_t>(n), M = static_cast<std::ptrdiff_t>(m);
    const std::ptrdiff_t maxD = static_cast<std::ptrdiff_t>(limit);
    if (std::abs(N - M) > maxD) return false;
    // v[k]: the furthest old index x reached on diagonal k = x - y. The
    // rounds' values are kept (round d: diagonals -d, -d+2, ..., d) so that
    // the path can be walked back.
    std::vector<std::int32_t> v(static_cast<std::size_t>(2 * maxD + 3), 0), trace;
    const auto V = [&](std::ptrdiff_t k) -> std::int32_t& { return v[static_cast<std::size_t>(k + maxD + 1)]; };
    const auto T = [&](std::ptrdiff_t d, std::ptrdiff_t k) {
        return trace[static_cast<std::size_t>(d * (d + 1) / 2 + (k + d) / 2)];
    };
    std::ptrdiff_t found = -1;
    for (std::ptrdiff_t d = 0; d <= maxD && found < 0; ++d) {
        for (std::ptrdiff_t k = -d; k <= d; k += 2) {
            std::ptrdiff_t x = k == -d || (k != d && V(k - 1) < V(k + 1)) ? V(k + 1) : V(k - 1) + 1;
            std::ptrdiff_t y = x - k;
            while (x < N && y < M && same(static_cast<std::size_t>(x), static_cast<std::size_t>(y))) ++x, ++y;
            V(k) = static_cast<std::int32_t>(x);
            if (x >= N && y >= M) {
                found = d;
                break;
            }
        }
        if (found < 0)
            for (std::ptrdiff_t k = -d; k <= d; k += 2) trace.push_back(V(k));
    }
    if (found < 0) return false;
    std::ptrdiff_t x = N, y = M;
    for (std::ptrdiff_t d = found; d > 0; --d) {
        const std::ptrdiff_t k = x - y;
        const bool down = k == -d || (k != d && T(d - 1, k - 1) < T(d - 1, k + 1));
        const std::ptrdiff_t prevK = down ? k + 1 : k - 1, prevX = T(d - 1, prevK);
        for (const std::ptrdiff_t from = down ? prevX : prevX + 1; x > from; --x, --y)
            match[static_cast<std::size_t>(x - 1)] = static_cast<std::int32_t>(y - 1);
        x = prevX;
        y = prevX - prevK;
    }
    for (; x > 0; --x, --y) match[static_cast<std::size_t>(x - 1)] = static_cast<std::int32_t>(y - 1);
    return true;
}

// What MatchWithEnds found: the unchanged items at the start and at the end,
// and whether the items between them were worked out.
struct TMatchedEnds {
    std::size_t prefix = 0, suffix = 0;
    bool middle = false;
};

// The items of `n` old and `m` new ones that are the same before the first
// change and after the last pair up one for one; between them MatchInOrder
// pairs the rest, giving up past limitOf(prefix, suffix, old middle, new
// middle) differences (then only the ends are paired). Anchoring the ends
// first makes an edit in one place pair every item beside it with itself,
// however many equal items the sequences hold. `match` receives, per old
// item, the index of its new item, or -1.
template <class Same, class LimitOf>
TMatchedEnds MatchWithEnds(std::size_t n, std::size_t m, const Same& same, const LimitOf& limitOf,
                           std::vector<std::int32_t>& match) {
    TMatchedEnds r;
    match.assign(n, -1);
    while (r.prefix < n && r.prefix < m && same(r.prefix, r.prefix)) ++r.prefix;
    while (r.suffix < n - r.prefix && r.suffix < m - r.prefix && same(n - 1 - r.suffix, m - 1 - r.suffix)) ++r.suffix;
    for (std::size_t i = 0; i < r.prefix; ++i) match[i] = static_cast<std::int32_t>(i);
    for (std::size_t i = 1; i <= r.suffix; ++i) match[n - i] = static_cast<std::int32_t>(m - i);
    const std::size_t p = r.prefix, a = n - p - r.suffix, b = m - p - r.suffix;
    std::vector<std::int32_t> middle(a, -1);
    const auto sameMiddle = [&](std::size_t i, std::size_t j) { return same(p + i, p + j); };
    r.middle = MatchInOrder(a, b, limitOf(p, r.suffix, a, b), sameMiddle, middle);
    if (r.middle)
        for (std::size_t i = 0; i < a; ++i)
            if (middle[i] >= 0) match[p + i] = static_cast<std::int32_t>(p) + middle[i];
    return r;
}
