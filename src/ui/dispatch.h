#pragma once
// The one window procedure of every toolkit window and the dispatchers behind it.
#include <windows.h>

class WindowRecord;

// Registered as the class procedure of the toolkit's classes and set on attached windows.
// Gives "OnWndMsg" the first look at every message, then the record's entry 3.
LRESULT CALLBACK SharedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The generic dispatcher: mouse, keys, focus, wheel, characters, dropped files,
// timers, reflection to child records, layout, mnemonics.
LRESULT GenericDispatch(WindowRecord* record, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                        int* handled);

// What controls put in entry 3: cursor and clean-up first, then the generic dispatcher.
LRESULT ControlDispatch(WindowRecord* record, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                        int* handled);

// Undoes the binding: previous procedure back, registry entry and "hWnd" gone, layout released.
void DetachRecord(WindowRecord* record);

// Finds the button (class "button", then "koButton") under the parent of hwnd whose caption has
// '&' before ch (case-insensitive) and clicks it. True when one was found.
bool ClickMnemonic(HWND hwnd, wchar_t ch);
