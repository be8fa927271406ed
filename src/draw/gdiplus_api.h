#pragma once
// The GDI+ flat interface for this folder's sources only. The SDK header needs the property and
// object interfaces that WIN32_LEAN_AND_MEAN leaves out.
#include <windows.h>
#include <objidl.h>
#include <propidl.h>
#include <gdiplus.h>

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpImage;
using Gdiplus::GpStatus;

inline bool GpOk(GpStatus status) {
    return status == Gdiplus::Ok;
}
