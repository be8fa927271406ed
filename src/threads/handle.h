#pragma once
// The one owner of platform handles, and the traits of every kind the program frees.
//
// `Owned<Traits>` holds one handle, is movable and never copied, and frees what it holds in one
// place: its Reset, through `Traits::Close`. Code that must keep a handle somewhere an owner
// cannot live (a window's property bag) frees it with the alias's static `Close`, never with the
// platform call itself, so each kind is freed in exactly one spot of the source.
#include <windows.h>
#include <commctrl.h>  // HIMAGELIST
#include <objbase.h>   // CoTaskMemFree, IStream, IUnknown
#include <shtypes.h>   // ITEMIDLIST

#include <type_traits>
#include <utility>

// WinHTTP and the shell's item-id lists are declared here rather than through their own headers:
// winhttp.h cannot share a file with wininet.h, and shlobj.h is a heavy include for one call. The
// declarations match the SDK's to the letter, so either header may come before or after this one.
extern "C" {
DECLSPEC_IMPORT WINBOOL WINAPI WinHttpCloseHandle(LPVOID handle);
DECLSPEC_IMPORT void WINAPI ILFree(ITEMIDLIST* list);
}

template <class Traits>
class Owned {
  public:
    using Handle = typename Traits::Handle;

    Owned() = default;
    // Adopts a handle the caller owns.
    explicit Owned(Handle h) : h_(h) {}
    ~Owned() { Reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : h_(other.Release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    // Whether h is a handle at all (some kinds have two "none" values).
    static bool IsValid(Handle h) { return Traits::IsValid(h); }
    // Frees a handle kept outside any owner; nothing for a "none" value. True when freed.
    static bool Close(Handle h) { return IsValid(h) && Traits::Close(h); }

    Handle Get() const { return h_; }
    explicit operator bool() const { return IsValid(h_); }
    Handle operator->() const requires std::is_class_v<std::remove_pointer_t<Handle>> { return h_; }

    // Gives the handle up without freeing it; the caller owns it now.
    Handle Release() { return std::exchange(h_, Handle{}); }
    // Frees the held handle (unless it is h itself) and takes h. True when a handle was freed.
    bool Reset(Handle h = Handle{}) {
        Handle old = std::exchange(h_, h);
        return old != h && Close(old);
    }
    // For a call that hands out a new handle through a pointer: frees what is held first.
    Handle* Receive() {
        Reset();
        return &h_;
    }

  private:
    Handle h_{};
};

// Most kinds: a null handle is none, and one call frees the rest.
template <class H, auto Free>
struct SimpleTraits {
    using Handle = H;
    static bool IsValid(H h) { return h != H{}; }
    static bool Close(H h) {
        if constexpr (std::is_void_v<decltype(Free(h))>) {
            Free(h);
            return true;
        } else {
            return Free(h) != 0;
        }
    }
};

// Kernel handles (threads, events, mutexes, ports, files). The platform reports failure with
// null or INVALID_HANDLE_VALUE depending on the call, so neither is ever closed.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return ::CloseHandle(h) != FALSE; }
};

// A directory search (FindFirstFileW): INVALID_HANDLE_VALUE is none.
struct FindHandleTraits {
    using Handle = HANDLE;
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE h) { return ::FindClose(h) != FALSE; }
};

// A window: gone already when the platform destroyed it with its parent.
struct WindowTraits {
    using Handle = HWND;
    static bool IsValid(HWND h) { return h != nullptr; }
    static bool Close(HWND h) { return ::IsWindow(h) && ::DestroyWindow(h) != FALSE; }
};

// A reference to a COM object.
template <class T>
struct ComTraits {
    using Handle = T*;
    static bool IsValid(T* p) { return p != nullptr; }
    static bool Close(T* p) {
        p->Release();
        return true;
    }
};

inline BOOL DeleteGdiObject(HGDIOBJ h) {
    return ::DeleteObject(h);
}
template <class H>
using GdiObjectTraits = SimpleTraits<H, &DeleteGdiObject>;

using UniqueHandle = Owned<KernelHandleTraits>;
using FindHandle = Owned<FindHandleTraits>;
// A WinHTTP session, connection or request.
using InternetHandle = Owned<SimpleTraits<LPVOID, &::WinHttpCloseHandle>>;

// Any GDI object whose kind is not known at compile time.
using GdiObjectHandle = Owned<GdiObjectTraits<HGDIOBJ>>;
using BitmapHandle = Owned<GdiObjectTraits<HBITMAP>>;
using BrushHandle = Owned<GdiObjectTraits<HBRUSH>>;
using PenHandle = Owned<GdiObjectTraits<HPEN>>;
using FontHandle = Owned<GdiObjectTraits<HFONT>>;
using RegionHandle = Owned<GdiObjectTraits<HRGN>>;
// A device context from CreateCompatibleDC / CreateDC (not GetDC: that one is released).
using MemoryDc = Owned<SimpleTraits<HDC, &::DeleteDC>>;
// Icons made at run time (CreateIconIndirect, CopyIcon, GdipCreateHICONFromBitmap,
// ImageList_GetIcon, LoadImage without LR_SHARED); never shared resource icons.
using IconHandle = Owned<SimpleTraits<HICON, &::DestroyIcon>>;
// A cursor made at run time (CreateCursor, LoadImage without LR_SHARED). HCURSOR and HICON are
// one type, so this alias is told apart from IconHandle only by its close call.
using CursorHandle = Owned<SimpleTraits<HCURSOR, &::DestroyCursor>>;
using MenuHandle = Owned<SimpleTraits<HMENU, &::DestroyMenu>>;
using AccelTableHandle = Owned<SimpleTraits<HACCEL, &::DestroyAcceleratorTable>>;
using ModuleHandle = Owned<SimpleTraits<HMODULE, &::FreeLibrary>>;
using WindowHandle = Owned<WindowTraits>;
using ImageListHandle = Owned<SimpleTraits<HIMAGELIST, &::ImageList_Destroy>>;
// An item-id list from the shell (SHBrowseForFolder, SHParseDisplayName).
using ItemIdList = Owned<SimpleTraits<ITEMIDLIST*, &::ILFree>>;
// A block from CoTaskMemAlloc or any call documented to return one (SHGetKnownFolderPath).
template <class T>
void FreeTaskMemory(T* p) {
    ::CoTaskMemFree(p);
}
template <class T>
using TaskMemory = Owned<SimpleTraits<T*, &FreeTaskMemory<T>>>;
// A block the platform allocated with LocalAlloc for the caller (CommandLineToArgvW).
template <class T>
void FreeLocalMemory(T* p) {
    ::LocalFree(p);
}
template <class T>
using LocalMemory = Owned<SimpleTraits<T*, &FreeLocalMemory<T>>>;
// A block from GlobalAlloc, freed unless handed to a stream that frees it.
inline bool FreeGlobalMemory(HGLOBAL h) {
    return ::GlobalFree(h) == nullptr;  // null means freed
}
using GlobalMemory = Owned<SimpleTraits<HGLOBAL, &FreeGlobalMemory>>;

template <class T>
using ComRef = Owned<ComTraits<T>>;
using StreamRef = ComRef<IStream>;

// A second reference to a COM object someone else holds.
template <class T>
ComRef<T> ShareRef(T* p) {
    if (p != nullptr) p->AddRef();
    return ComRef<T>(p);
}
