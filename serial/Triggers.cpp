// Trigger tables of the dispatcher, the evaluation pass of the dispatcher
// thread and the delivery of notifications to the owner's thread.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "serial/Dispatcher.h"
#include "serial/Serialerrors.h"

namespace qel {

namespace {
constexpr uint32_t kHandleLimit = 0x1000;

template <class List>
bool HandleIn(const List& list, uint32_t h) {
    return std::any_of(list.begin(), list.end(), [h](const auto& t) { return t.Handle == h; });
}
}  // namespace

// ---------------------------------------------------------------- tables (DataSection)

uint32_t TBaseDispatcher::GetTriggerHandle() {
    if (HandleCounter_ < kHandleLimit) return HandleCounter_++ * 8;
    for (uint32_t h = 8; h < kHandleLimit * 8; h += 8)
        if (!HandleIn(Timers_, h) && !HandleIn(Statuses_, h & ~7u) && !HandleIn(Datas_, h)) {
            bool statusClash = std::any_of(Statuses_.begin(), Statuses_.end(),
                                           [h](const TStatusTrigger& s) { return (s.Handle & ~7u) == h; });
            if (!statusClash) return h;
        }
    return 0;
}

void TBaseDispatcher::ChangeLengthTrigger(uint32_t length) {
    std::lock_guard lock(DataSection);
    AvailLength_ = length;
}

int32_t TBaseDispatcher::AddTimerTrigger() {
    std::lock_guard lock(DataSection);
    TTimerTrigger t;
    t.Handle = GetTriggerHandle();
    if (t.Handle == 0) return ecNoMoreTriggers;
    Timers_.push_back(t);
    return int32_t(t.Handle);
}

int32_t TBaseDispatcher::AddDataTriggerLen(const char* data, bool ignoreCase, uint32_t len) {
    if (len > kMaxTrigData) return ecTriggerTooLong;
    std::lock_guard lock(DataSection);
    TDataTrigger t;
    t.Handle = GetTriggerHandle();
    if (t.Handle == 0) return ecNoMoreTriggers;
    t.Length = len;
    t.IgnoreCase = ignoreCase;
    if (len) std::memcpy(t.Chars, data, len);
    if (ignoreCase)
        for (uint32_t i = 0; i < len; ++i) t.Chars[i] = char(UpCaseByte(uint8_t(t.Chars[i])));
    Datas_.push_back(t);
    DataTriggerCount_ = Datas_.size();
    return int32_t(t.Handle);
}

int32_t TBaseDispatcher::AddDataTrigger(const char* data, bool ignoreCase) {
    return AddDataTriggerLen(data, ignoreCase, uint32_t(std::strlen(data)));
}

int32_t TBaseDispatcher::AddStatusTrigger(uint32_t kind) {
    if (kind > 5) return ecBadArgument;
    std::lock_guard lock(DataSection);
    TStatusTrigger t;
    uint32_t h = GetTriggerHandle();
    if (h == 0) return ecNoMoreTriggers;
    t.Handle = h | kind;
    t.Kind = kind;
    Statuses_.push_back(t);
    return int32_t(t.Handle);
}

int32_t TBaseDispatcher::FindTriggerFromHandle(uint32_t handle, bool del, TTriggerType& type) {
    std::lock_guard lock(DataSection);
    type = ttNone;
    if (handle <= 1) return ecBadTriggerHandle;
    auto find = [&](auto& list, TTriggerType tt) {
        auto it = std::find_if(list.begin(), list.end(), [handle](const auto& t) { return t.Handle == handle; });
        if (it == list.end()) return false;
        type = tt;
        if (del) list.erase(it);
        return true;
    };
    bool found = find(Timers_, ttTimer) || find(Statuses_, ttStatus) || find(Datas_, ttData);
    DataTriggerCount_ = Datas_.size();
    if (found) return 0;
    return ecBadTriggerHandle;
}

int32_t TBaseDispatcher::RemoveTrigger(uint32_t handle) {
    if (handle == 1) {
        ChangeLengthTrigger(0);
        return 0;
    }
    TTriggerType type;
    return FindTriggerFromHandle(handle, true, type);
}

int32_t TBaseDispatcher::SetTimerTrigger(uint32_t handle, int32_t ticks, bool activate) {
    std::lock_guard lock(DataSection);
    for (auto& t : Timers_) {
        if (t.Handle != handle || handle <= 1) continue;
        if (activate) {
            if (ticks != 0) t.Ticks = ticks;
            NewTimer(t.Timer, t.Ticks);
        }
        t.Active = activate;
        t.Generation = ++TimerGenCounter_;
        return 0;
    }
    return ecBadTriggerHandle;
}

int32_t TBaseDispatcher::ExtendTimer(uint32_t handle, int32_t ticks) {
    std::lock_guard lock(DataSection);
    for (auto& t : Timers_)
        if (t.Handle == handle && handle > 1) {
            t.Timer.ExpireTicks += ticks;
            return 0;
        }
    return ecBadTriggerHandle;
}

int32_t TBaseDispatcher::TimerTicksRemaining(uint32_t handle, int32_t& ticks) {
    std::lock_guard lock(DataSection);
    ticks = 0;
    for (auto& t : Timers_)
        if (t.Handle == handle && handle > 1) {
            ticks = int32_t(RemainingTime(t.Timer));
            return 0;
        }
    return ecBadTriggerHandle;
}

int32_t TBaseDispatcher::SetStatusTrigger(uint32_t handle, uint16_t value, bool activate) {
    std::lock_guard lock(DataSection);
    for (auto& t : Statuses_)
        if (t.Handle == handle && handle > 1) {
            t.Value = value;
            t.Enabled = activate;
            t.Notified = false;
            return 0;
        }
    return ecBadTriggerHandle;
}

void TBaseDispatcher::RemoveAllTriggers() {
    std::lock_guard lock(DataSection);
    AvailLength_ = 0;
    Timers_.clear();
    Datas_.clear();
    DataTriggerCount_ = 0;
    Statuses_.clear();
    HandleCounter_ = 1;
}

void TBaseDispatcher::ResetDataTriggers() {
    std::lock_guard lock(DataSection);
    for (auto& d : Datas_) {
        std::memset(d.MatchState, 0, sizeof d.MatchState);
        d.Matched = false;
    }
}

void TBaseDispatcher::SaveTriggers(TTriggerSave& save) {
    std::lock_guard lock(DataSection);
    ClearSaveBuffers(save);
    save.AvailLength = AvailLength_;
    save.Timers = Timers_;
    save.Datas = Datas_;
    save.Statuses = Statuses_;
}

void TBaseDispatcher::RestoreTriggers(const TTriggerSave& save) {
    std::lock_guard lock(DataSection);
    AvailLength_ = save.AvailLength;
    Timers_ = save.Timers.value_or(std::vector<TTimerTrigger>{});
    Datas_ = save.Datas.value_or(std::vector<TDataTrigger>{});
    DataTriggerCount_ = Datas_.size();
    Statuses_ = save.Statuses.value_or(std::vector<TStatusTrigger>{});
    // Fresh handles start past every restored one, so none is given out twice.
    uint32_t highest = 0;
    for (auto& t : Timers_) highest = std::max(highest, t.Handle);
    for (auto& t : Datas_) highest = std::max(highest, t.Handle);
    for (auto& t : Statuses_) highest = std::max(highest, t.Handle & ~7u);
    HandleCounter_ = std::max(HandleCounter_, highest / 8 + 1);
    // Restored timers keep their expiry; a re-arm must still outdate any
    // time-out found for an earlier arming.
    for (auto& t : Timers_) TimerGenCounter_ = std::max(TimerGenCounter_, t.Generation);
}

void TBaseDispatcher::ClearSaveBuffers(TTriggerSave& save) {
    save.AvailLength = 0;
    save.Timers.reset();
    save.Datas.reset();
    save.Statuses.reset();
}

// ---------------------------------------------------------------- handlers

void TBaseDispatcher::RegisterWndTriggerHandler(TTriggerWindow* w) {
    std::lock_guard lock(DataSection);
    WndHandlers_.push_back({w, false});
    HandlersPresent_ = true;
}

void TBaseDispatcher::DeregisterWndTriggerHandler(TTriggerWindow* w) {
    {
        std::lock_guard lock(DataSection);
        auto it = std::find_if(WndHandlers_.begin(), WndHandlers_.end(),
                               [w](const WndHandler& h) { return h.Wnd == w && !h.Deleted; });
        if (it == WndHandlers_.end()) return;
        if (EventBusy_) {
            it->Deleted = true;
            HandlerRemoval_ = true;
            return;
        }
        WndHandlers_.erase(it);
    }
    UpdateHandlerFlags(fuKeepPort);
}

int TBaseDispatcher::RegisterProcTriggerHandler(TProcTriggerHandler p) {
    std::lock_guard lock(DataSection);
    int id = NextProcId_++;
    ProcHandlers_.push_back({id, std::move(p), false});
    HandlersPresent_ = true;
    return id;
}

void TBaseDispatcher::DeregisterProcTriggerHandler(int id) {
    {
        std::lock_guard lock(DataSection);
        auto it = std::find_if(ProcHandlers_.begin(), ProcHandlers_.end(),
                               [id](const ProcHandler& h) { return h.Id == id && !h.Deleted; });
        if (it == ProcHandlers_.end()) return;
        if (EventBusy_) {
            it->Deleted = true;
            HandlerRemoval_ = true;
            return;
        }
        ProcHandlers_.erase(it);
    }
    UpdateHandlerFlags(fuKeepPort);
}

void TBaseDispatcher::UpdateHandlerFlags(TApHandlerFlagUpdate update) {
    std::lock_guard lock(DataSection);
    bool others = WndHandlers_.size() > 1 || !ProcHandlers_.empty();
    switch (update) {
    case fuKeepPort: HandlersPresent_ = others || PortHandlerEnabled_; break;
    case fuEnablePort:
        PortHandlerEnabled_ = true;
        HandlersPresent_ = true;
        break;
    case fuDisablePort:
        PortHandlerEnabled_ = false;
        HandlersPresent_ = others;
        break;
    }
}

void TBaseDispatcher::SetEventBusy(bool& previous, bool value) {
    std::lock_guard lock(DataSection);
    previous = EventBusy_.exchange(value);
}

// ---------------------------------------------------------------- the pass

bool TBaseDispatcher::DispatchHasRoom() {
    std::lock_guard lock(DispatchSection);
    if (!DispatchBuffer_) return false;
    uint64_t keep = DataTriggerCount_ ? std::min(DispatchTail_, ScanPos_) : DispatchTail_;
    return DispatchHead_ - keep < DispatchBufferSize;
}

bool TBaseDispatcher::ExtractData() {
    uint32_t want = 0;
    {
        std::lock_guard lock(DispatchSection);
        if (!DispatchBuffer_) return false;
        // Room is what neither the reader nor the trigger scan still needs.
        uint64_t keep = DataTriggerCount_ ? std::min(DispatchTail_, ScanPos_) : DispatchTail_;
        want = DispatchBufferSize - uint32_t(DispatchHead_ - keep);
        if (want == 0) return true;
    }
    if (LostError_ != 0) return false;
    RefreshStatus();
    uint32_t waiting;
    {
        std::lock_guard lock(DataSection);
        waiting = ComStatus_.InQue;
    }
    if (waiting == 0) {
        // Some drivers do not report their queue; a read costs no more.
        waiting = want;
    }
    // ReadCom is called without DispatchSection: only this thread writes at
    // the head, and readers never look past it.
    uint32_t take = std::min(want, waiting);
    uint64_t head;
    uint8_t* buf;
    {
        std::lock_guard lock(DispatchSection);
        head = DispatchHead_;
        buf = DispatchBuffer_.get();
    }
    uint32_t total = 0;
    while (total < take) {
        uint32_t idx = uint32_t((head + total) % DispatchBufferSize);
        uint32_t run = std::min(take - total, DispatchBufferSize - idx);
        int32_t got = ReadCom(buf + idx, run);
        if (got <= 0) break;
        total += uint32_t(got);
        if (uint32_t(got) < run) break;
    }
    if (total == 0) return false;
    std::lock_guard lock(DispatchSection);
    DispatchHead_ += total;
    return true;
}

bool TBaseDispatcher::CheckTriggers() {
    if (KillThreads_ || ClosePending_) return false;
    if (CheckTimerTriggers()) return true;
    if (KillThreads_ || ClosePending_) return false;
    if (CheckStatusTriggers()) return true;
    if (KillThreads_ || ClosePending_) return false;
    return CheckReceiveTriggers();
}

void TBaseDispatcher::DispatcherPass() {
    ExtractData();
    // Repeat while triggers fire, so a burst of frames is delivered without
    // waiting for the next wake; bounded so a stuck handler cannot spin us.
    for (int i = 0; i < 64 && !KillThreads_ && !ClosePending_; ++i) {
        if (!CheckTriggers()) break;
        ExtractData();
    }
    PassCount_.fetch_add(1);
}

bool TBaseDispatcher::CheckTimerTriggers() {
    uint32_t handle = 0;
    uint64_t gen = 0;
    {
        std::lock_guard lock(DataSection);
        for (auto& t : Timers_) {
            if (t.Active && TimerExpired(t.Timer)) {
                t.Active = false;
                handle = t.Handle;
                gen = t.Generation;
                break;
            }
        }
    }
    if (handle == 0) return false;
    NotifyResult r = Notify(kTriggerTimer, handle, 0, gen);
    if (r == NotifyResult::Cancelled) {
        // Not delivered: arm it again so the next pass sends it.
        std::lock_guard lock(DataSection);
        for (auto& t : Timers_)
            if (t.Handle == handle && t.Generation == gen) t.Active = true;
        return false;
    }
    return r == NotifyResult::Delivered;
}

bool TBaseDispatcher::CheckStatusTriggers() {
    // No status kind is evaluated: the system creates no status triggers.
    return false;
}

bool TBaseDispatcher::CheckReceiveTriggers() {
    struct Hit {
        uint32_t Handle;
        uint32_t Length;
    };
    std::vector<Hit> hits;
    uint64_t p;
    uint32_t beforeCount = 0;
    bool announceBefore = false;
    {
        std::lock_guard dataLock(DataSection);
        std::lock_guard dispLock(DispatchSection);
        if (!DispatchBuffer_) return false;
        p = std::max(ScanPos_, DispatchHead_ - std::min<uint64_t>(DispatchHead_, DispatchBufferSize));
        uint32_t longest = 0;
        for (; p != DispatchHead_; ++p) {
            uint8_t c = DispatchBuffer_[p % DispatchBufferSize];
            longest = 0;
            // A character whose notifications were not delivered has already
            // been offered; only its marks count on the second try.
            const bool offered = p == PendingMatchPos_;
            for (auto& d : Datas_) {
                if (d.Length == 0) continue;
                if (!d.Matched && !offered) d.Matched = MatchDataTrigger(d, c);
                if (d.Matched) longest = std::max(longest, d.Length);
            }
            if (longest) break;
        }
        ScanPos_ = p;
        if (p == DispatchHead_) {
            uint32_t used = Readable_locked();
            if (AvailLength_ == 0 || LastAvailPos_ == p || used < AvailLength_ || used == 0) return false;
            beforeCount = used;
        } else {
            // Matched at p: characters before the matched string first.
            uint64_t startOfMatch = p + 1 - std::min<uint64_t>(p + 1, longest);
            uint32_t before = startOfMatch > DispatchTail_ ? uint32_t(startOfMatch - DispatchTail_) : 0;
            announceBefore = AvailLength_ != 0 && LastAvailPos_ != p && before >= AvailLength_ && before > 0;
            beforeCount = before;
            for (auto it = Datas_.rbegin(); it != Datas_.rend(); ++it)
                if (it->Matched) hits.push_back({it->Handle, it->Length});
        }
    }

    if (hits.empty()) {
        NotifyResult r = Notify(kTriggerAvail, beforeCount, 0, 0);
        if (r == NotifyResult::Cancelled) return false;
        std::lock_guard lock(DispatchSection);
        LastAvailPos_ = p;
        return r == NotifyResult::Delivered;
    }

    NotifyResult last = NotifyResult::Delivered;
    if (announceBefore) {
        last = Notify(kTriggerAvail, beforeCount, 0, 0);
        if (last == NotifyResult::Cancelled) return false;
        std::lock_guard lock(DispatchSection);
        LastAvailPos_ = p;
        if (last == NotifyResult::Stop) return false;
        // Characters left unread before the string do not hold back its notice.
    }
    for (const Hit& h : hits) {
        {
            std::lock_guard lock(DataSection);
            auto it = std::find_if(Datas_.begin(), Datas_.end(), [&](const TDataTrigger& d) { return d.Handle == h.Handle; });
            if (it == Datas_.end()) continue;  // removed by an earlier handler
            it->Matched = false;
        }
        last = Notify(kTriggerData, h.Handle, h.Length, 0);
        if (last == NotifyResult::Cancelled) {
            // Put the mark back; the next pass sends it (and the rest) again.
            std::lock_guard lock(DataSection);
            for (auto& d : Datas_)
                if (d.Handle == h.Handle) d.Matched = true;
            std::lock_guard dispLock(DispatchSection);
            PendingMatchPos_ = p;
            return false;
        }
        if (last == NotifyResult::Stop) return false;
    }
    std::lock_guard lock(DispatchSection);
    ScanPos_ = std::max(ScanPos_, p + 1);
    if (last == NotifyResult::Unread) return false;
    PendingMatchPos_ = UINT64_MAX;
    return true;
}

// ---------------------------------------------------------------- delivery

bool TBaseDispatcher::SendNotify(uint32_t msg, uint32_t trigger, uint32_t data) {
    return Notify(msg, trigger, data, 0) == NotifyResult::Delivered;
}

void TBaseDispatcher::DeliveryStarted(TDelivery& d) {
    std::lock_guard lock(DispatchSection);
    InAvailMessage_ = d.Msg == kTriggerAvail || d.Msg == kTriggerData;
    AvailReadCount_ = 0;
    AvailConsumed_ = 0;
}

void TBaseDispatcher::DeliveryFinished(TDelivery& d) {
    bool wake = false;
    {
        std::lock_guard lock(DispatchSection);
        AvailConsumed_ = std::max(AvailConsumed_, AvailReadCount_);
        d.Consumed_ = AvailConsumed_;
        if (InAvailMessage_) {
            InAvailMessage_ = false;
            if (!ClosePending_ && DispatchBuffer_) {
                uint32_t n = std::min(AvailConsumed_, Readable_locked());
                wake = n > 0 && Readable_locked() == DispatchBufferSize;
                DispatchTail_ += n;
            }
        }
        AvailReadCount_ = 0;
    }
    if (wake) WakeThreads();
}

bool TBaseDispatcher::TimerGenerationCurrent(uint32_t handle, uint64_t gen) {
    std::lock_guard lock(DataSection);
    for (auto& t : Timers_)
        if (t.Handle == handle) return t.Generation == gen;
    return false;
}

void TBaseDispatcher::CancelPendingDelivery() {
    std::shared_ptr<TDelivery> d;
    {
        std::lock_guard lock(DeliveryMutex_);
        d = CurrentDelivery_;
    }
    if (d && d->Cancel()) {
        std::lock_guard lock(d->Mutex_);
        d->Cond_.notify_all();
    }
}

TBaseDispatcher::NotifyResult TBaseDispatcher::Notify(uint32_t msg, uint32_t trigger, uint32_t data,
                                                      uint64_t timerGen) {
    if (KillThreads_ || ClosePending_) return NotifyResult::Stop;
    std::vector<TTriggerWindow*> windows;
    std::vector<TProcTriggerHandler> procs;
    {
        std::lock_guard lock(DataSection);
        if (!HandlersPresent_) return NotifyResult::Delivered;
        EventBusy_ = true;
        for (auto& p : ProcHandlers_)
            if (!p.Deleted && p.Proc) procs.push_back(p.Proc);
        if (WndHandlers_.size() > 1 || PortHandlerEnabled_)
            for (auto& w : WndHandlers_)
                if (!w.Deleted) windows.push_back(w.Wnd);
    }
    const uint32_t lparam = (uint32_t(Handle_) << 16) | (data & 0xFFFF);
    NotifyResult result = NotifyResult::Delivered;
    uint32_t consumed = 0;

    for (auto& proc : procs) {
        TDelivery d(this, msg, trigger, lparam, timerGen);
        d.State_ = TDelivery::dsRunning;
        DeliveryStarted(d);
        proc(msg, trigger, lparam);
        DeliveryFinished(d);
        consumed = std::max(consumed, d.Consumed_);
        if (ClosePending_ || KillThreads_) {
            result = NotifyResult::Stop;
            break;
        }
    }

    for (TTriggerWindow* w : windows) {
        if (result != NotifyResult::Delivered) break;
        auto d = std::make_shared<TDelivery>(this, msg, trigger, lparam, timerGen);
        {
            std::lock_guard lock(DeliveryMutex_);
            CurrentDelivery_ = d;
        }
        w->PostDelivery(d);
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + milliseconds(DeliveryTimeoutMs_);
        {
            std::unique_lock lock(d->Mutex_);
            for (;;) {
                int s = d->State_.load();
                if (s == TDelivery::dsDone || s == TDelivery::dsCancelled) break;
                if (s == TDelivery::dsPending && (KillThreads_ || steady_clock::now() >= deadline)) {
                    if (d->Cancel()) break;
                    continue;
                }
                // Short slices: a stop request needs no wake-up of its own.
                d->Cond_.wait_for(lock, milliseconds(20));
            }
        }
        {
            std::lock_guard lock(DeliveryMutex_);
            CurrentDelivery_.reset();
        }
        if (d->GetState() == TDelivery::dsCancelled) {
            result = NotifyResult::Cancelled;
            break;
        }
        consumed = std::max(consumed, d->Consumed_);
        if (ClosePending_ || KillThreads_) result = NotifyResult::Stop;
    }

    if (result == NotifyResult::Delivered && msg == kTriggerAvail && consumed != trigger)
        result = NotifyResult::Unread;

    {
        std::lock_guard lock(DataSection);
        EventBusy_ = false;
        if (HandlerRemoval_) {
            std::erase_if(WndHandlers_, [](const WndHandler& h) { return h.Deleted; });
            std::erase_if(ProcHandlers_, [](const ProcHandler& h) { return h.Deleted; });
            HandlerRemoval_ = false;
        }
    }
    UpdateHandlerFlags(fuKeepPort);
    return result;
}

bool TDelivery::Begin() {
    int expected = dsPending;
    if (!State_.compare_exchange_strong(expected, dsRunning)) return false;
    if (Msg == kTriggerTimer && !Disp_->TimerGenerationCurrent(TriggerHandle, TimerGeneration)) {
        // The time-out was re-armed after it was found expired: it no longer applies.
        Finish();
        return false;
    }
    Disp_->DeliveryStarted(*this);
    return true;
}

void TDelivery::Finish() {
    Disp_->DeliveryFinished(*this);
    std::lock_guard lock(Mutex_);
    State_ = dsDone;
    Cond_.notify_all();
}

bool TDelivery::Cancel() {
    int expected = dsPending;
    return State_.compare_exchange_strong(expected, dsCancelled);
}

}  // namespace qel
