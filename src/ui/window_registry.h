#pragma once
// WindowRegistry: the one process-wide map from a native window handle to its WindowRecord.
// It holds no reference of its own: a record leaves the registry when it detaches, which
// always happens before it is freed.
#include <windows.h>

class WindowRecord;

namespace WindowRegistry {

// Makes the table (11 buckets, 0.75) if it does not exist yet; the app host calls it at start-up
// and the other calls make it on first use, so tests need no host.
void Initialise();
void Insert(HWND hwnd, WindowRecord* record);
void Remove(HWND hwnd);
WindowRecord* Find(HWND hwnd);  // null when absent
int Count();

}  // namespace WindowRegistry
