#include "app/main_window.h"

#include "app/commands.h"
#include "app/signin/qr_login.h"
#include "app/res/resource_ids.h"
#include "app/texts.h"
#include "ui/app_host.h"
#include "ui/dpi.h"

namespace {

// The window's size at 96 dpi; it is made at its own dpi's.
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 540;

}  // namespace

MainWindow::MainWindow() : view_(window_), app_(view_) {}

int MainWindow::Run(HINSTANCE instance) {
    instance_ = instance;
    bigIcon_ = IconHandle(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PICTALON),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                        GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_ = IconHandle(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PICTALON),
                                                          IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                          GetSystemMetrics(SM_CYSMICON), 0)));
    TheAppHost().Startup(instance);
    // Without its pools every download is refused at once; the window still signs in.
    if (!app_.Start()) app_.Log().AddLine("start-up: the download pools could not be made");
    app_.Settings().SetSaveFolder(ProgramFolder());
    ApplyStartSettings(app_);
    window_.OnCreate([this](HWND hwnd) { BuildContent(hwnd); });
    window_.OnSize([this](HWND, int width, int height) { view_.Layout(width, height); });
    window_.OnMenuItemClick([this](HWND, int id) { RunCommand(app_, id); });

    TopLevelOptions options;
    options.caption = kWindowTitle;
    const UINT startDpi = SystemDpi();
    options.size = SIZE{ScaleForDpi(kWindowWidth, startDpi), ScaleForDpi(kWindowHeight, startDpi)};
    options.style = WS_OVERLAPPEDWINDOW;
    if (!window_.CreateTopLevel(options)) return 1;
    if (const UINT dpi = view_.Dpi(); dpi != startDpi) {
        // Opened on a monitor of another scale than the primary one.
        SetWindowPos(window_.GetHandle(), nullptr, 0, 0, ScaleForDpi(kWindowWidth, dpi),
                     ScaleForDpi(kWindowHeight, dpi), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    window_.SetIcon(bigIcon_.Get(), true);
    window_.SetIcon(smallIcon_.Get(), false);
    TheAppHost().RunMessageLoop(window_);

    app_.Shutdown();
    return 0;
}

void MainWindow::BuildContent(HWND hwnd) {
    // Before the window shows: the shell announces the taskbar button once it is shown.
    tap_.Attach(hwnd, [this](UINT message, WPARAM w, LPARAM l, LRESULT& result) {
        return OnTappedMessage(message, w, l, result);
    });
    StartQrLogin(app_, kQrRetryUnitMs, LoginPurpose::kAtStart);
    BuildAlbumMenu();
    ChooseSize(app_, VariantOf(app_.Settings().Size()).Command());

    WindowView::Hooks hooks;
    hooks.onCommand = [this](int id) { RunCommand(app_, id); };
    hooks.onAlbumMenu = [this] { OpenAlbumMenu(); };
    view_.Build(instance_, app_.Settings().SaveFolder(), std::move(hooks));
    if (const Text home = app_.Settings().HomePage(); !home.empty()) view_.ShowHomeAddress(home);
}

void MainWindow::BuildAlbumMenu() {
    Menu sizes;
    sizes.CreatePopup();
    for (const auto& variant : kSizeVariants)
        sizes.AppendItem(Text(variant.menuText), static_cast<UINT_PTR>(variant.Command()));
    sizes.CheckRadioItem(0, 0, static_cast<int>(kSizeVariants.size()) - 1);
    view_.UseSizeMenu(sizes.Ref());
    albumMenu_.CreatePopup();
    albumMenu_.AppendItem(Text(kMenuDownload), kCmdDownloadSelected);
    albumMenu_.AppendItem(Text(kMenuOpenFolder), kCmdOpenFolder);
    albumMenu_.AppendSeparator();
    albumMenu_.AppendSubmenu(std::move(sizes), Text(kMenuSizes));
    albumMenu_.AppendSeparator();
    albumMenu_.AppendItem(Text(kMenuOpenLog), kCmdOpenLog);
    albumMenu_.AppendItem(Text(kMenuSignOut), kCmdSignOut);
    albumMenu_.AppendSeparator();
    albumMenu_.AppendItem(Text(kMenuDownloadAll), kCmdDownloadAll);
    albumMenu_.AppendItem(Text(kMenuDownloadChecked), kCmdDownloadChecked);
}

bool MainWindow::OnTappedMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
    if (message == WM_DPICHANGED) {
        const RECT* suggested = reinterpret_cast<const RECT*>(l);
        view_.ApplyDpi(HIWORD(w));
        SetWindowPos(window_.GetHandle(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        result = 0;
        return true;
    }
    if (message == TaskbarProgress::ButtonCreatedMessage()) {
        // Once per button; a restarted shell makes the button, and sends this, again.
        view_.ConnectTaskbarButton();
    }
    return false;
}

void MainWindow::OpenAlbumMenu() {
    POINT at{};
    GetCursorPos(&at);
    albumMenu_.EnableItem(kCmdDownloadAll,
                          !app_.Runs().UnderWay() && !app_.Owner().Get().albums.empty());
    albumMenu_.Popup(at.x, at.y, window_.GetHandle());
}
