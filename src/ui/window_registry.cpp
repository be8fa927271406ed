#include "ui/window_registry.h"

#include "ui/property_bag.h"

namespace {

// Made once and kept for the life of the process: windows can still be destroyed while static
// objects are torn down, and they must find the table then.
PropertyBag* Table() {
    static PropertyBag* table = PropertyBag::Create(BagKeyKind::Integer).release();
    return table;
}

}  // namespace

namespace WindowRegistry {

void Initialise() {
    Table();
}

void Insert(HWND hwnd, WindowRecord* record) {
    if (!hwnd || !record) return;
    if (PropertyBag* t = Table()) {
        t->SetAt(reinterpret_cast<INT_PTR>(hwnd),
                 BagValue::FromPointer(reinterpret_cast<INT_PTR>(record)));
    }
}

void Remove(HWND hwnd) {
    if (!hwnd) return;
    if (PropertyBag* t = Table()) t->RemoveAt(reinterpret_cast<INT_PTR>(hwnd));
}

WindowRecord* Find(HWND hwnd) {
    if (!hwnd) return nullptr;
    PropertyBag* t = Table();
    return t ? reinterpret_cast<WindowRecord*>(t->GetPtrAt(reinterpret_cast<INT_PTR>(hwnd)))
             : nullptr;
}

int Count() {
    PropertyBag* t = Table();
    return t ? t->Count() : 0;
}

}  // namespace WindowRegistry
