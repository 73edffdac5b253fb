#include "ladder/model/Elecirgraph.h"

#include <algorithm>
#include <functional>
#include <numeric>

namespace {

bool IsContactKind(TLdbKind k) {
    return k == TLdbKind::Open_Ry || k == TLdbKind::Close_Ry || k == TLdbKind::Tu_Ry || k == TLdbKind::Td_Ry ||
           k == TLdbKind::State_Ry || k == TLdbKind::Inv_Ry;
}

struct TEdge {
    int from = 0;
    int to = 0;  // the right rail (sink) for coils and boxes
    int elem = 0;
};

class TTreeBuilder {
public:
    TTreeBuilder(const std::uint8_t* grid, std::int32_t stride, std::int32_t rows, TNetworkGraph& out,
                 TLayoutError& err, bool openEnd)
        : grid_(grid), stride_(stride), rows_(rows), cells_(stride / kLdbCellBytes), out_(out), err_(err),
          openEnd_(openEnd) {}

    bool Run();

private:
    const std::uint8_t* Cell(int r, int c) const { return grid_ + r * stride_ + c * kLdbCellBytes; }
    int Junction(int r, int c) const { return r * (cells_ + 1) + c; }
    int Find(int j) {
        while (uf_[j] != j) j = uf_[j] = uf_[uf_[j]];
        return j;
    }
    void Join(int a, int b) { uf_[Find(a)] = Find(b); }
    bool Fail(int msg, const TLadElement& e, std::string detail = {}) { return Fail(msg, e.row, e.col, std::move(detail)); }
    bool Fail(int msg, int row, int col, std::string detail = {}) {
        err_ = TLayoutError{msg, row, col, std::move(detail)};
        return false;
    }

    bool ReadCells();
    bool ReadOperands(int r, int c, TLadElement& e);
    bool BuildEdges();
    void AddOpenEnd();
    bool Order();
    std::vector<int> EdgesFrom(int u, int comp, int stop);
    int PostDominator(int u, int comp);
    std::vector<int> SplitPaths(int u, int stop, int comp);
    bool Separable(const std::vector<int>& paths, int comp, int u);
    bool ParseSeries(int comp, int u, int target, TCircuitPath& path);
    std::unique_ptr<TCircuitNode> BuildParallelBlock(int comp, int u, int v);
    std::unique_ptr<TCircuitNode> BuildBranchGroup(int comp, int u);

    const std::uint8_t* grid_;
    int stride_, rows_, cells_;
    TNetworkGraph& out_;
    TLayoutError& err_;
    bool openEnd_ = false;
    std::vector<int> uf_;
    std::vector<std::pair<int, int>> verticals_;  // (row, col) of every down link
    std::vector<TEdge> edges_;
    std::vector<std::vector<int>> outEdges_;  // per node, in element order
    std::vector<int> rank_;                   // topological rank per node
    std::vector<int> edgeComp_;               // component stamp per edge
    int nodes_ = 0, sink_ = 0, rail_ = 0, nextComp_ = 1;
};

bool TTreeBuilder::ReadOperands(int r, int c, TLadElement& e) {
    int k = c + 1;
    while (k < cells_) {
        const std::uint8_t* t = Cell(r, k);
        if (CellKind(t) != TLdbKind::Spec_Token) {
            if (CellKind(t) == TLdbKind::Token_32bs) return Fail(33, r, k);  // a high word with no low word
            break;
        }
        TLadOperand op;
        op.col = k;
        op.device = CellDevType(t);
        op.value = CellOperand(t);
        op.index = TokenIndexReg(t[0]);
        op.digits = t[1] & 0x0F;
        ++k;
        if (k < cells_ && CellKind(Cell(r, k)) == TLdbKind::Token_32bs) {
            op.is32 = true;
            op.value |= static_cast<std::uint32_t>(CellOperand(Cell(r, k))) << 16;
            ++k;
        } else if (op.device == CellDev::K) {
            op.value = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int16_t>(op.value)));
        }
        e.operands.push_back(op);
    }
    e.width = k - c;
    return true;
}

bool TTreeBuilder::ReadCells() {
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < cells_;) {
            const std::uint8_t* cell = Cell(r, c);
            const TLdbKind kind = CellKind(cell);
            if (!IsTokenKind(kind) && CellLinksDown(cell) && r + 1 < rows_) verticals_.emplace_back(r, c);
            if (kind == TLdbKind::non_inst || kind == TLdbKind::V_Line) {
                ++c;
                continue;
            }
            if (kind == TLdbKind::H_Line || kind == TLdbKind::Re_Line) {
                Join(Junction(r, c), Junction(r, c + 1));
                ++c;
                continue;
            }
            if (IsTokenKind(kind)) return Fail(33, r, c);  // an operand with no box or compare
            TLadElement e;
            e.kind = kind;
            e.row = r;
            e.col = c;
            e.device = CellDevType(cell);
            e.operand = CellOperand(cell);
            if (kind == TLdbKind::Comp_Ry || kind == TLdbKind::Spec_Fun) {
                if (!ReadOperands(r, c, e)) return false;
                if (kind == TLdbKind::Comp_Ry && (e.operands.size() != 2 || e.operand >= kCompareCodeCount))
                    return Fail(33, r, c);
            } else if (!IsContactKind(kind) && kind != TLdbKind::Out_Ry) {
                return Fail(33, r, c);
            }
            c += e.width;
            out_.elements.push_back(std::move(e));
        }
    }
    for (auto [r, c] : verticals_) Join(Junction(r, c), Junction(r + 1, c));
    for (int r = 1; r < rows_; ++r) Join(Junction(r, 0), Junction(0, 0));  // the left rail
    return true;
}

bool TTreeBuilder::BuildEdges() {
    // Number the junction sets that elements touch; the sink follows them.
    std::vector<int> nodeOf(uf_.size(), -1);
    auto node = [&](int j) {
        int& n = nodeOf[Find(j)];
        if (n < 0) n = nodes_++;
        return n;
    };
    rail_ = node(Junction(0, 0));
    for (std::size_t i = 0; i < out_.elements.size(); ++i) {
        const TLadElement& e = out_.elements[i];
        TEdge edge;
        edge.elem = static_cast<int>(i);
        edge.from = node(Junction(e.row, e.col));
        edge.to = (e.kind == TLdbKind::Out_Ry || e.kind == TLdbKind::Spec_Fun) ? -1 : node(Junction(e.row, e.col + e.width));
        edges_.push_back(edge);
    }
    sink_ = nodes_++;
    // A coil or box ends its path: anything wired to its right side would
    // stand on a parallel path the output cuts off.
    for (const TLadElement& e : out_.elements) {
        if ((e.kind == TLdbKind::Out_Ry || e.kind == TLdbKind::Spec_Fun) && e.col + e.width < cells_ &&
            nodeOf[Find(Junction(e.row, e.col + e.width))] >= 0)
            return Fail(33, e, "output inside a parallel path");
    }
    for (TEdge& e : edges_) {
        if (e.to < 0) e.to = sink_;
        // A contact whose two ends are wired together is short-circuited.
        if (e.from == e.to) return Fail(33, out_.elements[e.elem], "short circuit");
    }
    // A vertical line that joins nothing is a stray wire.
    for (auto [r, c] : verticals_) {
        if (nodeOf[Find(Junction(r, c))] < 0) return Fail(33, r, c);
    }
    if (openEnd_) AddOpenEnd();
    outEdges_.assign(nodes_, {});
    for (std::size_t i = 0; i < edges_.size(); ++i) outEdges_[edges_[i].from].push_back(static_cast<int>(i));
    return true;
}

void TTreeBuilder::AddOpenEnd() {
    // Only a rung of contacts alone is a bare condition; with an output every
    // path must reach one.
    for (const TEdge& e : edges_)
        if (e.to == sink_) return;
    std::vector<char> leads(nodes_, 0);
    for (const TEdge& e : edges_) leads[e.from] = 1;
    int end = -1;
    const TLadElement* last = nullptr;
    for (const TEdge& e : edges_) {
        if (leads[e.to]) continue;
        if (end >= 0 && e.to != end) return;  // two results: no single condition
        end = e.to;
        last = &out_.elements[e.elem];
    }
    if (end < 0 || end == rail_) return;
    TLadElement open;  // kind non_inst: the open end
    open.row = last->row;
    open.col = std::min(last->col + last->width, cells_ - 1);
    open.width = 0;
    out_.elements.push_back(open);
    edges_.push_back(TEdge{end, sink_, static_cast<int>(out_.elements.size()) - 1});
    out_.endsOpen = true;
}

bool TTreeBuilder::Order() {
    // Every element must be fed from the left rail and lead to an output.
    std::vector<char> fwd(nodes_, 0), back(nodes_, 0);
    std::vector<std::vector<int>> inEdges(nodes_);
    for (std::size_t i = 0; i < edges_.size(); ++i) inEdges[edges_[i].to].push_back(static_cast<int>(i));
    std::vector<int> stack = {rail_};
    fwd[rail_] = 1;
    while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        for (int e : outEdges_[n])
            if (!fwd[edges_[e].to]) fwd[edges_[e].to] = 1, stack.push_back(edges_[e].to);
    }
    stack = {sink_};
    back[sink_] = 1;
    while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        for (int e : inEdges[n])
            if (!back[edges_[e].from]) back[edges_[e].from] = 1, stack.push_back(edges_[e].from);
    }
    for (const TEdge& e : edges_) {
        if (!fwd[e.from] || !back[e.to]) return Fail(33, out_.elements[e.elem]);
    }
    // Topological ranks; a cycle means paths that cross each other.
    std::vector<int> indeg(nodes_, 0);
    for (const TEdge& e : edges_) ++indeg[e.to];
    rank_.assign(nodes_, -1);
    std::vector<int> ready;
    for (int n = 0; n < nodes_; ++n)
        if (indeg[n] == 0) ready.push_back(n);
    int next = 0;
    while (!ready.empty()) {
        const int n = ready.back();
        ready.pop_back();
        rank_[n] = next++;
        for (int e : outEdges_[n])
            if (--indeg[edges_[e].to] == 0) ready.push_back(edges_[e].to);
    }
    for (const TEdge& e : edges_) {
        if (rank_[e.from] < 0) return Fail(248, out_.elements[e.elem], "MergeLine");
    }
    return true;
}

// The edges of the component reachable from u, not going on past `stop`.
std::vector<int> TTreeBuilder::EdgesFrom(int u, int comp, int stop) {
    std::vector<int> found;
    std::vector<char> seen(nodes_, 0);
    std::vector<int> stack = {u};
    seen[u] = 1;
    while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        for (int e : outEdges_[n]) {
            if (edgeComp_[e] != comp) continue;
            found.push_back(e);
            const int t = edges_[e].to;
            if (t != stop && !seen[t]) seen[t] = 1, stack.push_back(t);
        }
    }
    return found;
}

// The first junction after u that every path from u within the component
// passes: the first one (in topological order) that no edge jumps over.
int TTreeBuilder::PostDominator(int u, int comp) {
    std::vector<int> reach;
    for (int e : EdgesFrom(u, comp, -1)) reach.push_back(edges_[e].to);
    std::sort(reach.begin(), reach.end());
    reach.erase(std::unique(reach.begin(), reach.end()), reach.end());
    std::sort(reach.begin(), reach.end(), [&](int a, int b) { return rank_[a] < rank_[b]; });
    int maxReach = rank_[u];
    auto extend = [&](int n) {
        for (int e : outEdges_[n])
            if (edgeComp_[e] == comp) maxReach = std::max(maxReach, rank_[edges_[e].to]);
    };
    extend(u);
    for (int n : reach) {
        if (maxReach <= rank_[n]) return n;
        extend(n);
    }
    return sink_;
}

// Splits the edges that leave u (up to `stop`) into the paths that share no
// junction but u and stop; each path gets its own component stamp. The paths
// come back in row order of their first cells.
std::vector<int> TTreeBuilder::SplitPaths(int u, int stop, int comp) {
    const std::vector<int> found = EdgesFrom(u, comp, stop);
    // Edges meeting at an inner junction belong to the same path.
    std::vector<int> group(found.size());
    std::iota(group.begin(), group.end(), 0);
    std::function<int(int)> root = [&](int i) { return group[i] == i ? i : group[i] = root(group[i]); };
    std::vector<int> firstAt(nodes_, -1);
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (int n : {edges_[found[i]].from, edges_[found[i]].to}) {
            if (n == u || n == stop) continue;
            if (firstAt[n] < 0) firstAt[n] = static_cast<int>(i);
            else group[root(static_cast<int>(i))] = root(firstAt[n]);
        }
    }
    struct TPathKey {
        int row, col, comp;
    };
    std::vector<TPathKey> keys;
    std::vector<int> compOf(found.size(), -1);
    for (std::size_t i = 0; i < found.size(); ++i) {
        const int g = root(static_cast<int>(i));
        if (compOf[g] < 0) {
            compOf[g] = nextComp_++;
            keys.push_back({rows_, cells_, compOf[g]});
        }
        const TLadElement& e = out_.elements[edges_[found[i]].elem];
        for (TPathKey& k : keys) {
            if (k.comp != compOf[g]) continue;
            if (e.row < k.row || (e.row == k.row && e.col < k.col)) k.row = e.row, k.col = e.col;
        }
        edgeComp_[found[i]] = compOf[g];
    }
    std::sort(keys.begin(), keys.end(),
              [](const TPathKey& a, const TPathKey& b) { return a.row != b.row ? a.row < b.row : a.col < b.col; });
    std::vector<int> comps;
    for (const TPathKey& k : keys) comps.push_back(k.comp);
    return comps;
}

// Paths that leave one junction but cannot be told apart (a wire links two
// of them between their ends, as in a bridge) have no instruction form: they
// are crossing blocks.
bool TTreeBuilder::Separable(const std::vector<int>& paths, int comp, int u) {
    if (paths.size() >= 2) return true;
    const int stamp = paths.empty() ? comp : paths.front();
    for (int e : outEdges_[u])
        if (edgeComp_[e] == stamp) return Fail(248, out_.elements[edges_[e].elem], "BranchLine");
    return Fail(248, 0, 0, "BranchLine");
}

std::unique_ptr<TCircuitNode> TTreeBuilder::BuildParallelBlock(int comp, int u, int v) {
    auto node = std::make_unique<TCircuitNode>();
    node->type = TCircuitType::ParallelBlock;
    const std::vector<int> split = SplitPaths(u, v, comp);
    if (!Separable(split, comp, u)) return nullptr;
    for (int pc : split) {
        TCircuitPath path;
        if (!ParseSeries(pc, u, v, path)) return nullptr;
        node->paths.push_back(std::move(path));
    }
    return node;
}

std::unique_ptr<TCircuitNode> TTreeBuilder::BuildBranchGroup(int comp, int u) {
    auto node = std::make_unique<TCircuitNode>();
    node->type = TCircuitType::BranchGroup;
    const std::vector<int> split = SplitPaths(u, sink_, comp);
    if (!Separable(split, comp, u)) return nullptr;
    for (int pc : split) {
        TCircuitPath path;
        if (!ParseSeries(pc, u, sink_, path)) return nullptr;
        node->paths.push_back(std::move(path));
    }
    return node;
}

bool TTreeBuilder::ParseSeries(int comp, int u, int target, TCircuitPath& path) {
    int cur = u;
    while (cur != target) {
        std::vector<int> out;
        for (int e : outEdges_[cur])
            if (edgeComp_[e] == comp) out.push_back(e);
        if (out.empty()) return Fail(33, 0, 0);  // cannot happen: every junction leads on
        if (out.size() == 1) {
            const TEdge& e = edges_[out[0]];
            if (e.to == sink_ && target != sink_) {
                // A coil or box inside a parallel path would drop its output.
                return Fail(33, out_.elements[e.elem], "output inside a parallel path");
            }
            auto leaf = std::make_unique<TCircuitNode>();
            leaf->leaf = &out_.elements[e.elem];
            path.push_back(std::move(leaf));
            cur = e.to;
            continue;
        }
        const int v = PostDominator(cur, comp);
        std::unique_ptr<TCircuitNode> node;
        if (v == sink_) {
            if (target != sink_) return Fail(33, out_.elements[edges_[out[0]].elem], "output inside a parallel path");
            node = BuildBranchGroup(comp, cur);
            if (!node) return false;
            path.push_back(std::move(node));
            return true;
        }
        node = BuildParallelBlock(comp, cur, v);
        if (!node) return false;
        path.push_back(std::move(node));
        cur = v;
    }
    return true;
}

bool TTreeBuilder::Run() {
    uf_.resize(static_cast<std::size_t>(rows_) * (cells_ + 1));
    std::iota(uf_.begin(), uf_.end(), 0);
    if (!ReadCells()) return false;
    if (out_.elements.empty()) return true;
    if (!BuildEdges() || !Order()) return false;
    edgeComp_.assign(edges_.size(), 0);
    std::vector<int> rungs = {0};
    if (outEdges_[rail_].size() > 1 && PostDominator(rail_, 0) == sink_) rungs = SplitPaths(rail_, sink_, 0);
    for (int comp : rungs) {
        out_.rungs.emplace_back();
        if (!ParseSeries(comp, rail_, sink_, out_.rungs.back())) return false;
    }
    return true;
}

}  // namespace

bool BuildCircuitTree(const std::uint8_t* grid, std::int32_t stride, std::int32_t rows, TNetworkGraph& out,
                      TLayoutError& err, bool openEnd) {
    out.elements.clear();
    out.rungs.clear();
    out.endsOpen = false;
    if (rows <= 0 || stride < kLdbRowBytes) return true;
    // Elements are referred to by address from the tree: reserve first.
    out.elements.reserve(static_cast<std::size_t>(rows) * (stride / kLdbCellBytes) + 1);
    TTreeBuilder builder(grid, stride, rows, out, err, openEnd);
    return builder.Run();
}
