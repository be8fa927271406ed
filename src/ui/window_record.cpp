#include "ui/window_record.h"

#include <new>
#include <unordered_set>

#include "ui/dispatch.h"

namespace {

constexpr uint32_t kRecordMagic = 0x6B6F5752;  // "koWR"

// Records alive now, so a creation parameter or a stale value can be checked before use.
struct LiveRecords {
    SRWLOCK lock = SRWLOCK_INIT;
    std::unordered_set<const WindowRecord*> set;
};

LiveRecords& Live() {
    static LiveRecords* live = new LiveRecords;  // outlives every static destructor
    return *live;
}

bool IsHoverEvent(std::string_view event) {
    return event == "OnMouseIn" || event == "OnMouseHover" || event == "OnMouseLeave";
}

}  // namespace

WindowRecord* WindowRecord::Create(RecordMessageFn message, RecordMessageFn reflected,
                                   RecordRefFn cleanup) {
    auto bag = PropertyBag::Create(BagKeyKind::Text);
    if (!bag) return nullptr;
    auto* r = new (std::nothrow) WindowRecord;
    if (!r) return nullptr;
    r->bag_ = std::move(bag);
    r->magic_ = kRecordMagic;
    r->callbacks.query = &DoQuery;
    r->callbacks.addRef = &DoAddRef;
    r->callbacks.release = &DoRelease;
    r->callbacks.message = message ? message : &BaseMessage;
    r->callbacks.reflected = reflected ? reflected : &BaseReflected;
    r->callbacks.cleanup = cleanup ? cleanup : &BaseCleanup;
    LiveRecords& live = Live();
    AcquireSRWLockExclusive(&live.lock);
    live.set.insert(r);
    ReleaseSRWLockExclusive(&live.lock);
    return r;
}

bool WindowRecord::IsRecord(const WindowRecord* r) {
    if (!r) return false;
    LiveRecords& live = Live();
    AcquireSRWLockShared(&live.lock);
    bool found = live.set.count(r) != 0;
    ReleaseSRWLockShared(&live.lock);
    return found && r->magic_ == kRecordMagic;
}

WindowRecord* WindowRecord::AcquireLive(WindowRecord* r) {
    if (!r) return nullptr;
    LiveRecords& live = Live();
    // The destructor leaves the set under the exclusive lock, so r stays whole while this holds
    // the shared one.
    AcquireSRWLockShared(&live.lock);
    WindowRecord* held = nullptr;
    if (live.set.count(r) != 0 && r->magic_ == kRecordMagic) {
        for (LONG n = r->refCount_; n > 0;) {
            const LONG seen = InterlockedCompareExchange(&r->refCount_, n + 1, n);
            if (seen == n) {
                held = r;
                break;
            }
            n = seen;
        }
    }
    ReleaseSRWLockShared(&live.lock);
    return held;
}

WindowRecord::~WindowRecord() {
    LiveRecords& live = Live();
    AcquireSRWLockExclusive(&live.lock);
    live.set.erase(this);
    ReleaseSRWLockExclusive(&live.lock);
    magic_ = 0;
}

INT_PTR WindowRecord::DoQuery(WindowRecord*) {
    return 0;
}

void WindowRecord::DoAddRef(WindowRecord* r) {
    InterlockedIncrement(&r->refCount_);
}

void WindowRecord::DoRelease(WindowRecord* r) {
    if (InterlockedDecrement(&r->refCount_) != 0) return;
    r->callbacks.cleanup(r);
    delete r;  // the bag goes with it, and with the bag its private heap
}

LRESULT WindowRecord::BaseMessage(WindowRecord* r, HWND hwnd, UINT message, WPARAM wParam,
                                  LPARAM lParam, int* handled) {
    return GenericDispatch(r, hwnd, message, wParam, lParam, handled);
}

LRESULT WindowRecord::BaseReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int*) {
    return 0;
}

void WindowRecord::BaseCleanup(WindowRecord* r) {
    DetachRecord(r);
}

void WindowRecord::Bind(std::string_view event, EventHandler handler) {
    std::string name(event);
    if (!handler) {
        handlers_.erase(name);
        bag_->Remove(event);
        return;
    }
    auto stored = std::make_shared<EventHandler>(std::move(handler));
    bag_->Set(event, BagValue::FromPointer(reinterpret_cast<INT_PTR>(stored.get())));
    handlers_[name] = std::move(stored);
    if (IsHoverEvent(event)) bag_->Set("EnlableHover", BagValue::FromPointer(1));
}

bool WindowRecord::IsBound(std::string_view event) const {
    return handlers_.find(std::string(event)) != handlers_.end();
}

std::optional<INT_PTR> WindowRecord::Fire(std::string_view event,
                                          std::initializer_list<INT_PTR> args) {
    auto it = handlers_.find(std::string(event));
    if (it == handlers_.end() || !it->second || !*it->second) return std::nullopt;
    // The handler may rebind itself (or drop the last object) while it runs: keep it alive.
    std::shared_ptr<EventHandler> keep = it->second;
    EventArgs a;
    int i = 0;
    for (INT_PTR v : args) {
        if (i >= 7) break;
        a.slot[i++] = v;
    }
    return (*keep)(a);
}
