#pragma once
// The undo and redo lists every editor keeps: whole-state snapshots, at most
// ten undo steps (the oldest is dropped), and a new edit empties the redo list.
// The editor decides what a snapshot holds; the history only orders them.
#include <deque>
#include <optional>
#include <utility>

template <class Snapshot>
class TEditHistory {
public:
    /// Undo steps kept; recording an eleventh drops the oldest.
    static constexpr int kDepth = 10;

    /// Records the state before an edit. A new edit ends every redo.
    void Record(Snapshot before) {
        undo_.push_back(std::move(before));
        Trim();
        redo_.clear();
    }

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    int UndoCount() const { return static_cast<int>(undo_.size()); }
    /// The state the next undo (redo) would restore; null when there is none.
    const Snapshot* NextUndo() const { return undo_.empty() ? nullptr : &undo_.back(); }
    const Snapshot* NextRedo() const { return redo_.empty() ? nullptr : &redo_.back(); }
    int RedoCount() const { return static_cast<int>(redo_.size()); }

    /// The state to restore for an undo; `current` is kept so that a redo can
    /// come back to it. Nothing when there is nothing to undo.
    std::optional<Snapshot> Undo(Snapshot current) {
        if (undo_.empty()) return std::nullopt;
        redo_.push_back(std::move(current));
        Snapshot s = std::move(undo_.back());
        undo_.pop_back();
        return s;
    }

    /// The state to restore for a redo; `current` goes back on the undo list.
    std::optional<Snapshot> Redo(Snapshot current) {
        if (redo_.empty()) return std::nullopt;
        undo_.push_back(std::move(current));
        Trim();
        Snapshot s = std::move(redo_.back());
        redo_.pop_back();
        return s;
    }

    /// Calls fn on every state kept, on the undo and the redo list alike (a
    /// change made outside the editor's history goes into each of them).
    template <class Fn>
    void ForEach(Fn&& fn) {
        for (Snapshot& s : undo_) fn(s);
        for (Snapshot& s : redo_) fn(s);
    }

    void Clear() {
        undo_.clear();
        redo_.clear();
    }

private:
    void Trim() {
        while (static_cast<int>(undo_.size()) > kDepth) undo_.pop_front();
    }

    std::deque<Snapshot> undo_, redo_;
};
