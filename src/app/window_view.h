#pragma once
// The main window's content: a tab control with the login, operate and about pages, and the
// status line. It is the flows' view: every change a flow makes reaches the controls through the
// operations below, on the window's thread. What the user asks for leaves it through the hooks,
// so the content knows no command and no flow.
#include <windows.h>

#include <functional>
#include <vector>

#include "app/app_view.h"
#include "draw/gdi_handles.h"
#include "draw/image_list.h"
#include "ui/controls_basic.h"
#include "ui/dpi.h"
#include "ui/form_window.h"
#include "ui/list_view.h"
#include "ui/menu.h"
#include "ui/picture_box.h"
#include "ui/status_bar.h"
#include "ui/tab_control.h"
#include "ui/taskbar_progress.h"

class WindowView final : public AppView {
  public:
    struct Hooks {
        std::function<void(int id)> onCommand;  // a button's identifier
        std::function<void()> onAlbumMenu;      // a right click on the album list
    };

    // The content of `window`, which outlives it.
    explicit WindowView(FormWindow& window);
    WindowView(const WindowView&) = delete;
    WindowView& operator=(const WindowView&) = delete;

    // While the window is being made: the pages, their controls and the status line.
    void Build(HINSTANCE instance, const Text& saveFolder, Hooks hooks);
    // The size menu whose radio mark MarkSize moves; owned by the window's menu.
    void UseSizeMenu(MenuRef sizes) { sizeMenu_ = sizes; }
    UINT Dpi() const { return dpi_; }
    // Font, cover size, icon spacing and layout for a dpi; at start and on every change.
    void ApplyDpi(UINT dpi);
    // The window's client area took a new size.
    void Layout(int width, int height);
    // The shell made the window's taskbar button (again, after a restart of the shell).
    void ConnectTaskbarButton();

    // The change log shown on the about page.
    static Text AboutText();

    // AppView
    void RunOnWindowThread(const std::function<void()>& fn) override;
    void PostToWindowThread(std::function<void()> fn) override;
    void SetStatus(const Text& text) override;
    void ShowPage(Page page) override;
    bool LoginPageShown() override;
    void ShowLoginPicture(const ByteBuffer& picture) override;
    Text HomeAddress() override;
    // The home page kept from the last start, in place of the example address.
    void ShowHomeAddress(const Text& address);
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

  private:
    void BuildLoginPage();
    void BuildOperatePage(const Text& saveFolder);
    void BuildAboutPage(HINSTANCE instance);
    void LayoutOperatePage(int width, int height);
    void LayoutAboutPage(int width, int height);
    void PlaceQrImage();
    // A figure of the layout (given at 96 dpi) at the window's dpi.
    int Scaled(int value) const { return ScaleForDpi(value, dpi_); }
    void ApplyCoverSize();

    FormWindow& window_;
    Hooks hooks_;
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
    MenuRef sizeMenu_;
    UINT dpi_ = kBaseDpi;
    FontHandle font_;
    // The covers as received, to draw them again at another size when the dpi changes.
    std::vector<ByteBuffer> coverBytes_;
    TaskbarProgress taskbar_;
};
