#pragma once
// The one top-level window: it starts the program, owns the album and size menus and routes
// every button and menu command to the flows. Its content, which the flows see as their view,
// is a WindowView.
#include <windows.h>

#include "app/app_state.h"
#include "app/window_view.h"
#include "draw/gdi_handles.h"
#include "ui/form_window.h"
#include "ui/menu.h"
#include "ui/message_tap.h"

class MainWindow {
  public:
    MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The start-up sequence, the message loop and the orderly end; the exit code.
    int Run(HINSTANCE instance);

    AppState& State() { return app_; }
    AppView& View() { return view_; }

  private:
    void BuildContent(HWND hwnd);
    void BuildAlbumMenu();
    void OpenAlbumMenu();
    bool OnTappedMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result);

    HINSTANCE instance_ = nullptr;
    FormWindow window_;
    WindowView view_;
    AppState app_;
    Menu albumMenu_;  // owns the size menu as its sub-menu
    IconHandle bigIcon_;
    IconHandle smallIcon_;
    MessageTap tap_;
};
