#include "tests/ladder/edit/LadderRig.h"

#include <cstring>

#include "core/Codetranslate.h"
#include "core/ProgramImage.h"
#include "ladder/model/Lad.h"
#include "ladder/model/Laddercompile.h"

namespace qel::test {

LadderRig::LadderRig(std::int32_t rows) : grid(static_cast<std::size_t>(rows) * 60, 0) {
    p.fill(-1);
    i.fill(-1);
    edit.SetDoc(TLadderDoc{grid.data(), rows, TLabelTables{p.data(), i.data()}, false});
}

std::vector<std::string> LadderRig::Compile(std::string* failure) const {
    std::vector<std::uint8_t> g = grid;  // the compile reads a grid it may renormalise
    auto pp = p;
    auto ii = i;
    std::vector<std::uint8_t> code(4000, 0xFF);
    TCompileTarget t;
    t.grid = g.data();
    t.gridRows = static_cast<std::int32_t>(g.size() / 60);
    t.lastRow = FindLastUsedRow(g.data(), 60, t.gridRows - 1);
    t.labels = {pp.data(), ii.data()};
    t.code = code.data();
    t.capacity = static_cast<std::uint32_t>(code.size());
    if (CompileLadder(t) != 0) {
        if (failure) *failure = CompileFailureText();
        return {};
    }
    std::vector<std::string> lines;
    std::uint32_t off = 0;
    while (off + 1 < code.size() && !(code[off] == 0xFF && code[off + 1] == 0xFF)) {
        lines.push_back(DisassembleText(code.data(), code.size(), off));
        const std::uint32_t next = NextInstructionOffset(off, code.data(), code.size());
        if (next <= off) break;
        off = next;
    }
    return lines;
}

std::vector<std::uint8_t> LadderRig::State() const {
    std::vector<std::uint8_t> s = grid;
    const auto* pb = reinterpret_cast<const std::uint8_t*>(p.data());
    const auto* ib = reinterpret_cast<const std::uint8_t*>(i.data());
    s.insert(s.end(), pb, pb + sizeof p);
    s.insert(s.end(), ib, ib + sizeof i);
    return s;
}

}  // namespace qel::test
