#pragma once
// WindowRecord: the shared, reference-counted state behind every WindowObject bound to one
// native window: a six-entry callback table, the reference count and the PropertyBag.
//
// Event handlers are typed C++ callables kept by the record under the event's name. Each takes
// the seven argument slots of an event (pointer-sized, zero beyond the event's own arguments);
// MakeEventHandler adapts a callable that declares fewer (or typed) parameters, so a handler can
// ignore whatever it does not need.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>

#include "ui/property_bag.h"

class WindowRecord;

// Record callbacks. Entries 3 and 4 receive the message and a handled flag the callee sets to
// non-zero when its result is the message result.
using RecordQueryFn = INT_PTR (*)(WindowRecord*);
using RecordRefFn = void (*)(WindowRecord*);
using RecordMessageFn = LRESULT (*)(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);

struct RecordCallbackTable {
    RecordQueryFn query = nullptr;        // 0: reserved, answers 0
    RecordRefFn addRef = nullptr;         // 1: add a reference
    RecordRefFn release = nullptr;        // 2: drop a reference; the last one frees the record
    RecordMessageFn message = nullptr;    // 3: the window's own messages
    RecordMessageFn reflected = nullptr;  // 4: notifications the parent hands down
    RecordRefFn cleanup = nullptr;        // 5: final clean-up before the record is freed
};

// The seven argument slots every handler receives.
struct EventArgs {
    INT_PTR slot[7] = {};
    INT_PTR operator[](int i) const { return (i >= 0 && i < 7) ? slot[i] : 0; }
};

using EventHandler = std::function<INT_PTR(const EventArgs&)>;

namespace event_detail {

template <class T>
T FromSlot(INT_PTR v) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(v);
    } else if constexpr (std::is_same_v<T, bool>) {
        return v != 0;
    } else {
        static_assert(std::is_integral_v<T> || std::is_enum_v<T>,
                      "handler parameters must be integers, enums, handles or pointers");
        return static_cast<T>(v);
    }
}

template <class R>
INT_PTR ToResult(R r) {
    if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<INT_PTR>(r);
    } else {
        return static_cast<INT_PTR>(r);
    }
}

template <class Sig>
struct Signature;
template <class R, class... P>
struct Signature<R(P...)> {
    using Result = R;
    using Params = std::tuple<std::decay_t<P>...>;
    static constexpr size_t kArity = sizeof...(P);
};
template <class R, class... P>
struct Signature<R (*)(P...)> : Signature<R(P...)> {};
template <class C, class R, class... P>
struct Signature<R (C::*)(P...)> : Signature<R(P...)> {};
template <class C, class R, class... P>
struct Signature<R (C::*)(P...) const> : Signature<R(P...)> {};
template <class C, class R, class... P>
struct Signature<R (C::*)(P...) noexcept> : Signature<R(P...)> {};
template <class C, class R, class... P>
struct Signature<R (C::*)(P...) const noexcept> : Signature<R(P...)> {};

template <class F, class = void>
struct CallableSignature : Signature<std::decay_t<F>> {};
template <class F>
struct CallableSignature<F, std::void_t<decltype(&std::decay_t<F>::operator())>>
    : Signature<decltype(&std::decay_t<F>::operator())> {};

template <class Sig, class F, size_t... I>
INT_PTR Invoke(F& f, const EventArgs& a, std::index_sequence<I...>) {
    using R = typename Sig::Result;
    if constexpr (std::is_void_v<R>) {
        f(FromSlot<std::tuple_element_t<I, typename Sig::Params>>(a.slot[I])...);
        return 0;
    } else {
        return ToResult(f(FromSlot<std::tuple_element_t<I, typename Sig::Params>>(a.slot[I])...));
    }
}

}  // namespace event_detail

// Wraps any callable taking up to seven integer/handle/pointer parameters (or one EventArgs).
template <class F>
EventHandler MakeEventHandler(F&& f) {
    using D = std::decay_t<F>;
    if constexpr (std::is_same_v<D, EventHandler>) {
        return std::forward<F>(f);
    } else if constexpr (std::is_same_v<D, std::nullptr_t>) {
        return EventHandler{};
    } else if constexpr (std::is_invocable_v<D&, const EventArgs&>) {
        return [fn = D(std::forward<F>(f))](const EventArgs& a) mutable -> INT_PTR {
            using R = std::invoke_result_t<D&, const EventArgs&>;
            if constexpr (std::is_void_v<R>) {
                fn(a);
                return 0;
            } else {
                return event_detail::ToResult(fn(a));
            }
        };
    } else {
        using Sig = event_detail::CallableSignature<D>;
        static_assert(Sig::kArity <= 7, "an event passes at most seven arguments");
        return [fn = D(std::forward<F>(f))](const EventArgs& a) mutable -> INT_PTR {
            return event_detail::Invoke<Sig>(fn, a, std::make_index_sequence<Sig::kArity>{});
        };
    }
}

class WindowRecord {
  public:
    // A new record with one reference, an empty text-keyed bag, entries 0-2 fixed and 3-5 as
    // given (null entries take the base behaviour). Null when the bag cannot be made.
    static WindowRecord* Create(RecordMessageFn message = nullptr,
                                RecordMessageFn reflected = nullptr, RecordRefFn cleanup = nullptr);

    // True for a live record made by Create (guards creation parameters and registry values).
    static bool IsRecord(const WindowRecord* r);
    // A new reference to r when it is live and its count has not reached zero, taken in one
    // step with that check, so a release on another thread cannot free r in between; null
    // otherwise (a record already being freed is never revived).
    static WindowRecord* AcquireLive(WindowRecord* r);

    // The base behaviour of entries 3, 4 and 5 (generic dispatcher, "not handled", detach).
    static LRESULT BaseMessage(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static LRESULT BaseReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int* handled);
    static void BaseCleanup(WindowRecord*);

    RecordCallbackTable callbacks;

    void AddRef() { callbacks.addRef(this); }
    void Release() { callbacks.release(this); }
    LONG RefCount() const { return refCount_; }

    PropertyBag& Bag() { return *bag_; }
    const PropertyBag& Bag() const { return *bag_; }

    // Stores the handler under the event's name (an empty handler unbinds). Binding
    // "OnMouseIn", "OnMouseHover" or "OnMouseLeave" also turns hover tracking on.
    void Bind(std::string_view event, EventHandler handler);
    bool IsBound(std::string_view event) const;
    // Calls the handler with the arguments (missing slots are 0). Empty when unbound.
    std::optional<INT_PTR> Fire(std::string_view event, std::initializer_list<INT_PTR> args = {});

    HWND Handle() const { return reinterpret_cast<HWND>(bag_->GetPtr("hWnd")); }

  private:
    WindowRecord() = default;
    ~WindowRecord();
    static INT_PTR DoQuery(WindowRecord*);
    static void DoAddRef(WindowRecord*);
    static void DoRelease(WindowRecord*);

    uint32_t magic_ = 0;
    volatile LONG refCount_ = 1;
    std::unique_ptr<PropertyBag> bag_;
    std::unordered_map<std::string, std::shared_ptr<EventHandler>> handlers_;
};

// A window keeps C++ objects and platform handles in its property bag under fixed names (other
// code reads them there). These helpers are the only code that frees what the bag holds: objects
// with delete, handles through their owner's Close.
template <class T>
T* BagObject(WindowRecord* record, std::string_view name) {
    if (record == nullptr) return nullptr;
    return reinterpret_cast<T*>(record->Bag().GetPtr(name));
}
// The object under `name`, made on first use.
template <class T>
T& EnsureBagObject(WindowRecord* record, std::string_view name) {
    if (T* held = BagObject<T>(record, name)) return *held;
    auto made = std::make_unique<T>();
    record->Bag().Set(name, BagValue::FromPointer(reinterpret_cast<INT_PTR>(made.get())));
    return *made.release();
}
template <class T>
void DeleteBagObject(WindowRecord* record, std::string_view name) {
    if (record == nullptr) return;
    T* object = reinterpret_cast<T*>(record->Bag().GetPtr(name));
    if (object == nullptr) return;
    record->Bag().Remove(name);
    delete object;
}

template <class Owner>
typename Owner::Handle BagHandle(const PropertyBag& bag, std::string_view name) {
    return reinterpret_cast<typename Owner::Handle>(bag.GetPtr(name));
}
// Stores the handle under `name`; the one it replaces (if another) is freed after the store.
template <class Owner>
void PutBagHandle(PropertyBag& bag, std::string_view name, Owner owned) {
    Owner old(BagHandle<Owner>(bag, name));
    if (old.Get() == owned.Get()) old.Release();
    bag.Set(name, BagValue::FromPointer(reinterpret_cast<INT_PTR>(owned.Release())));
}
// Removes the entry and frees its handle.
template <class Owner>
void CloseBagHandle(PropertyBag& bag, std::string_view name) {
    Owner old(BagHandle<Owner>(bag, name));
    bag.Remove(name);
}
