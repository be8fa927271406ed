#include "draw/gdiplus_session.h"

#include <mutex>

#include "draw/gdiplus_api.h"

namespace {

std::mutex sessionLock;
int sessionCount = 0;
ULONG_PTR sessionToken = 0;

}  // namespace

GdiplusSession::GdiplusSession() {
    std::lock_guard<std::mutex> hold(sessionLock);
    if (sessionCount == 0) {
        Gdiplus::GdiplusStartupInput input;
        if (!GpOk(Gdiplus::GdiplusStartup(&sessionToken, &input, nullptr))) return;
    }
    ++sessionCount;
    ok_ = true;
}

GdiplusSession::~GdiplusSession() {
    if (!ok_) return;
    std::lock_guard<std::mutex> hold(sessionLock);
    if (--sessionCount == 0) {
        Gdiplus::GdiplusShutdown(sessionToken);
        sessionToken = 0;
    }
}

bool GdiplusSession::IsRunning() {
    std::lock_guard<std::mutex> hold(sessionLock);
    return sessionCount > 0;
}
