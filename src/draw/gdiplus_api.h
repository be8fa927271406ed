#pragma once
// The GDI+ flat interface for the drawing code and the window toolkit's painting. The SDK header
// needs the property and object interfaces that WIN32_LEAN_AND_MEAN leaves out.
#include <windows.h>
#include <objidl.h>
#include <propidl.h>
#include <gdiplus.h>

#include "threads/handle.h"

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpImage;
using Gdiplus::GpStatus;

inline bool GpOk(GpStatus status) {
    return status == Gdiplus::Ok;
}

// Owners of the GDI+ objects made for one drawing: the same owner as every other handle kind.
template <class T, GpStatus(WINGDIPAPI* Free)(T*)>
struct GdiplusTraits {
    using Handle = T*;
    static bool IsValid(T* p) { return p != nullptr; }
    static bool Close(T* p) { return GpOk(Free(p)); }
};
using GpGraphicsHandle = Owned<GdiplusTraits<Gdiplus::GpGraphics, &gp::GdipDeleteGraphics>>;
using GpBrushHandle = Owned<GdiplusTraits<Gdiplus::GpBrush, &gp::GdipDeleteBrush>>;
