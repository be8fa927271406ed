#pragma once
// Running code on the thread that owns a window. Worker threads change windows only through
// this (or through SendMessageW themselves), never by touching window objects directly.
#include <windows.h>

#include <functional>

// Runs fn on hwnd's thread and waits for it: directly when already there, otherwise through a
// private registered message sent to the window. False when hwnd is not a toolkit window (fn
// did not run).
bool RunOnWindowThread(HWND hwnd, const std::function<void()>& fn);

// Queues fn to run on hwnd's thread and returns at once, so a worker never waits for the window
// thread. False when hwnd is not a toolkit window of this process (fn will not run). A call
// still queued when the window goes is dropped.
bool PostToWindowThread(HWND hwnd, std::function<void()> fn);

// Called by the shared window procedure: runs a call that RunOnWindowThread sent and stores the
// message result. False for any other message (including a forged one whose call is not
// pending in this process).
bool RunMarshalledCall(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

// The private message number (RegisterWindowMessageW), handled by the shared window procedure.
UINT RunOnWindowThreadMessage();
