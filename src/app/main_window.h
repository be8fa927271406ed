#pragma once
// The one top-level window: a tab control with the login, operate and about pages, the status
// line, the album and size menus. It is the flows' view: every change a flow makes reaches the
// controls through the operations below, on the window's thread.
#include <windows.h>

#include <vector>

#include "app/app_state.h"
#include "draw/gdi_handles.h"
#include "draw/image_list.h"
#include "ui/controls_basic.h"
#include "ui/dpi.h"
#include "ui/form_window.h"
#include "ui/list_view.h"
#include "ui/menu.h"
#include "ui/message_tap.h"
#include "ui/picture_box.h"
#include "ui/status_bar.h"
#include "ui/tab_control.h"
#include "ui/taskbar_progress.h"

class MainWindow final : public AppView {
  public:
    MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The start-up sequence, the message loop and the orderly end; the exit code.
    int Run(HINSTANCE instance);

    AppState& State() { return app_; }

    // AppView
    void RunOnWindowThread(const std::function<void()>& fn) override;
    void PostToWindowThread(std::function<void()> fn) override;
    void SetStatus(const Text& text) override;
    void ShowPage(Page page) override;
    bool LoginPageShown() override;
    void ShowLoginPicture(const ByteBuffer& picture) override;
    Text HomeAddress() override;
    void ClearAlbumItems() override;
    void ClearCoverImages() override;
    void AddCoverImage(const ByteBuffer& picture) override;
    void AppendAlbumItem(const Text& text, int imageIndex) override;
    std::optional<int> SelectedAlbumItem() override;
    void EnableButtons(bool enable) override;
    void ShowSaveFolder(const Text& folder) override;
    void MarkSize(int position) override;
    void ShowTaskbarProgress(Progress state, int done, int total) override;
    void ShowMessageBox(const Text& text, const Text& title, unsigned icon) override;

    // The change log shown on the about page.
    static Text AboutText();

  private:
    void BuildContent(HWND hwnd);
    void BuildLoginPage();
    void BuildOperatePage();
    void BuildAboutPage();
    void LayoutMain(int width, int height);
    void LayoutOperatePage(int width, int height);
    void LayoutAboutPage(int width, int height);
    void PlaceQrImage();
    void OpenAlbumMenu();
    // A figure of the layout (given at 96 dpi) at the window's dpi.
    int Scaled(int value) const { return ScaleForDpi(value, dpi_); }
    // Font, cover size and icon spacing for the window's dpi; at start and on every change.
    void ApplyDpi(UINT dpi);
    void ApplyCoverSize();
    bool OnTappedMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result);

    AppState app_;
    HINSTANCE instance_ = nullptr;
    FormWindow window_;
    TabControl tabs_;
    FormWindow loginPage_;
    FormWindow operatePage_;
    FormWindow aboutPage_;
    StatusBar statusLine_;
    PictureBox qrImage_;
    SharedImageList coverImages_;
    ListView albumList_;
    Label homeLabel_;
    Button analyzeButton_;
    Label folderLabel_;
    Button browseButton_;
    Edit homeEdit_;
    Edit folderEdit_;
    Label aboutLabel_;
    PictureBox tipImage_;
    Menu albumMenu_;  // owns the size menu as its sub-menu
    MenuRef sizeMenu_;
    IconHandle bigIcon_;
    IconHandle smallIcon_;
    UINT dpi_ = kBaseDpi;
    FontHandle font_;
    // The covers as received, to draw them again at another size when the dpi changes.
    std::vector<ByteBuffer> coverBytes_;
    MessageTap tap_;
    TaskbarProgress taskbar_;
};
