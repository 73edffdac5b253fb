#include "project/Sfcinnerstore.h"

#include <algorithm>
#include <memory>

#include "project/Qelglobals.h"

namespace {

TSfcCodeRec* RecordAt(int row, int col) {
    auto it = std::find_if(gSfcCodeList.begin(), gSfcCodeList.end(),
                           [&](const auto& rec) { return rec && rec->row == row && rec->col == col; });
    return it == gSfcCodeList.end() ? nullptr : it->get();
}

void PutRecord(int row, int col, const std::optional<std::vector<std::uint8_t>>& code) {
    if (!code) {
        std::erase_if(gSfcCodeList, [&](const auto& rec) { return rec && rec->row == row && rec->col == col; });
        return;
    }
    TSfcCodeRec* rec = RecordAt(row, col);
    if (!rec) {
        auto added = std::make_unique<TSfcCodeRec>();
        added->row = row;
        added->col = col;
        rec = added.get();
        gSfcCodeList.push_back(std::move(added));
    }
    rec->code = *code;
}

}  // namespace

bool TSfcInnerStore::Store(int row, int col, const std::uint8_t* code, std::size_t n, bool forGood,
                           bool emptyRemoves) {
    if (forGood) TakeBack(row, col);
    const TSfcCodeRec* rec = RecordAt(row, col);
    std::optional<std::vector<std::uint8_t>> next;
    if (n > 0 || !emptyRemoves) next.emplace(code, code + n);
    if (rec ? next && rec->code == *next : !next) return false;  // the element holds it already
    if (forGood) {
        if (BeforeStore) BeforeStore();
    } else if (!lent_) {
        lent_ = true;
        before_ = rec ? std::optional(rec->code) : std::nullopt;
    }
    PutRecord(row, col, next);
    return true;
}

bool TSfcInnerStore::TakeBack(int row, int col) {
    if (!lent_) return false;
    lent_ = false;
    PutRecord(row, col, before_);
    before_.reset();
    return true;
}
