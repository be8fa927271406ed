#include "app/main_window.h"

#include <commctrl.h>

#include "app/commands.h"
#include "app/qr_login.h"
#include "app/texts.h"
#include "draw/image_object.h"
#include "app/res/resource_ids.h"
#include "text/text_helpers.h"
#include "ui/app_host.h"
#include "ui/marshal.h"

namespace {

// Figures at 96 dpi; the window scales them to its own.
constexpr int kCoverSize = 140;
constexpr int kQrSize = 182;
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 540;
// The spacing the large-icon view gives 140-pixel covers by itself at 96 dpi; set, so it scales.
constexpr int kCoverSpacingX = 183;
constexpr int kCoverSpacingY = 183;
// The account whose home page the address field offers at first.
constexpr const char* kDefaultHome = "http://weibo.com/u/1000001?from=myfollow_all";

void Place(const WindowObject& control, int x, int y, int width, int height) {
    if (HWND hwnd = control.GetHandle()) MoveWindow(hwnd, x, y, width, height, TRUE);
}

void SetFont(const WindowObject& control, HFONT font) {
    if (HWND hwnd = control.GetHandle())
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

ByteBuffer ResourceBytes(HINSTANCE instance, int id) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return ByteBuffer();
    HGLOBAL loaded = LoadResource(instance, found);  // resource memory: never freed by us
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return ByteBuffer();
    return ByteBuffer(static_cast<const char*>(data), SizeofResource(instance, found));
}

}  // namespace

MainWindow::MainWindow() : app_(*this), coverImages_(MakeSharedImageList()) {}

Text MainWindow::AboutText() {
    struct Block {
        const char* date;
        std::initializer_list<const char*> items;
    };
    const Block blocks[] = {
        {"2017.10.26", {kAbout2017_10_26}},
        {"2017.09.02", {kAbout2017_09_02a, kAbout2017_09_02b}},
        {"2017.06.23", {kAbout2017_06_23}},
        {"2016.11.23", {kAbout2016_11_23a, kAbout2016_11_23b}},
        {"2016.11.11", {kAbout2016_11_11a, kAbout2016_11_11b}},
    };
    Text out;
    for (const Block& block : blocks) {
        if (!out.empty()) out += "\r\n\r\n";
        out += JoinTexts("What's new:\r\n", block.date, "\r\n", Text(32, '='));
        for (const char* item : block.items) out += JoinTexts("\r\n", item);
    }
    return out;
}

int MainWindow::Run(HINSTANCE instance) {
    instance_ = instance;
    bigIcon_ = IconHandle(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PICTALON),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                        GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_ = IconHandle(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PICTALON),
                                                          IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                          GetSystemMetrics(SM_CYSMICON), 0)));
    TheAppHost().Startup(instance);
    app_.Start();
    app_.Settings().SetSaveFolder(ProgramFolder());
    ApplyStartSettings(app_);
    window_.OnCreate([this](HWND hwnd) { BuildContent(hwnd); });
    window_.OnSize([this](HWND, int width, int height) { LayoutMain(width, height); });
    window_.OnMenuItemClick([this](HWND, int id) { RunCommand(app_, id); });

    TopLevelOptions options;
    options.caption = kWindowTitle;
    const UINT startDpi = SystemDpi();
    options.size = SIZE{ScaleForDpi(kWindowWidth, startDpi), ScaleForDpi(kWindowHeight, startDpi)};
    options.style = WS_OVERLAPPEDWINDOW;
    if (!window_.CreateTopLevel(options)) return 1;
    if (dpi_ != startDpi) {
        // Opened on a monitor of another scale than the primary one.
        SetWindowPos(window_.GetHandle(), nullptr, 0, 0, Scaled(kWindowWidth),
                     Scaled(kWindowHeight), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    dpi_ = WindowDpi(hwnd);
    font_ = ControlFontForDpi(dpi_);
    StartQrLogin(app_, kQrRetryUnitMs, LoginPurpose::kAtStart);

    Menu sizes;
    sizes.CreatePopup();
    for (const auto& variant : kSizeVariants)
        sizes.AppendItem(Text(variant.menuText), static_cast<UINT_PTR>(variant.Command()));
    sizes.CheckRadioItem(0, 0, static_cast<int>(kSizeVariants.size()) - 1);
    sizeMenu_ = sizes.Ref();
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

    RunCommand(app_, VariantOf(kDefaultSize).Command());

    loginPage_.OnCreate([this](HWND) { BuildLoginPage(); });
    operatePage_.OnCreate([this](HWND) { BuildOperatePage(); });
    aboutPage_.OnCreate([this](HWND) { BuildAboutPage(); });
    tabs_.Create(window_);
    loginPage_.CreatePanel(tabs_.GetHandle());
    operatePage_.CreatePanel(tabs_.GetHandle());
    aboutPage_.CreatePanel(tabs_.GetHandle());
    loginPage_.OnSize([](HWND) {});
    operatePage_.OnSize([this](HWND, int w, int h) { LayoutOperatePage(w, h); });
    aboutPage_.OnSize([this](HWND, int w, int h) { LayoutAboutPage(w, h); });

    statusLine_.Create(window_, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                       std::nullopt, std::nullopt, SBARS_SIZEGRIP);
    statusLine_.SetText(kStatusWaiting);

    tabs_.InsertTab(loginPage_, 0, kTabLogin);
    tabs_.InsertTab(operatePage_, 1, kTabOperate);
    tabs_.InsertTab(aboutPage_, 2, kTabAbout);
    ApplyDpi(dpi_);
}

void MainWindow::BuildLoginPage() {
    const WindowSize tab = tabs_.GetSize();
    const int qr = Scaled(kQrSize);
    qrImage_.Create(loginPage_, std::nullopt, tab.width / 2 - qr / 2, tab.height / 2 - qr / 2, qr,
                    qr);
}

void MainWindow::BuildOperatePage() {
    coverImages_->Create(Scaled(kCoverSize), Scaled(kCoverSize), ILC_COLOR32 | ILC_MASK, 0);
    albumList_.Create(operatePage_, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                      std::nullopt, std::nullopt,
                      LVS_ICON | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_AUTOARRANGE);
    albumList_.AddStyle(WS_BORDER);
    albumList_.SetExtendedStyle(LVS_EX_DOUBLEBUFFER);
    albumList_.InsertColumn(std::nullopt, kColumnProgress, 50);
    albumList_.InsertColumn(std::nullopt, kColumnRunState, 450);
    albumList_.SetImageList(coverImages_, ListView::kNormal);
    albumList_.OnRClick([this]() {
        OpenAlbumMenu();
        return 0;
    });

    const auto onClick = [this](HWND, int id) { RunCommand(app_, id); };
    homeLabel_.Create(operatePage_, Text(kHomeLabel), std::nullopt, std::nullopt, std::nullopt,
                      std::nullopt, std::nullopt, SS_RIGHT | SS_CENTERIMAGE);
    analyzeButton_.OnClick(onClick);
    analyzeButton_.Create(operatePage_, Text(kAnalyze), std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, kCmdAnalyze);
    folderLabel_.Create(operatePage_, Text(kFolderLabel), std::nullopt, std::nullopt, std::nullopt,
                        std::nullopt, std::nullopt, SS_RIGHT | SS_CENTERIMAGE);
    browseButton_.OnClick(onClick);
    browseButton_.Create(operatePage_, Text(kBrowse), std::nullopt, std::nullopt, std::nullopt,
                         std::nullopt, kCmdBrowse);
    homeEdit_.Create(operatePage_, Text(kDefaultHome));
    folderEdit_.Create(operatePage_, app_.Settings().SaveFolder());
}

void MainWindow::BuildAboutPage() {
    aboutLabel_.Create(aboutPage_, AboutText(), std::nullopt, std::nullopt, std::nullopt,
                       std::nullopt, std::nullopt, SS_LEFT);
    tipImage_.Create(aboutPage_);
    tipImage_.Picture(ResourceBytes(instance_, IDR_ABOUT_PNG));
}

void MainWindow::ApplyDpi(UINT dpi) {
    dpi_ = dpi;
    FontHandle font = ControlFontForDpi(dpi_);
    if (font) {
        const HFONT handle = font.Get();
        for (const WindowObject* control : {static_cast<const WindowObject*>(&tabs_),
                                            static_cast<const WindowObject*>(&statusLine_),
                                            static_cast<const WindowObject*>(&albumList_),
                                            static_cast<const WindowObject*>(&homeLabel_),
                                            static_cast<const WindowObject*>(&analyzeButton_),
                                            static_cast<const WindowObject*>(&folderLabel_),
                                            static_cast<const WindowObject*>(&browseButton_),
                                            static_cast<const WindowObject*>(&homeEdit_),
                                            static_cast<const WindowObject*>(&folderEdit_),
                                            static_cast<const WindowObject*>(&aboutLabel_)}) {
            SetFont(*control, handle);
        }
        // The controls hold the new font now; the old one may go.
        font_ = std::move(font);
    }
    tabs_.ScaleHeaders(dpi_);
    ApplyCoverSize();
    RECT client{};
    if (GetClientRect(window_.GetHandle(), &client)) LayoutMain(client.right, client.bottom);
}

void MainWindow::ApplyCoverSize() {
    HIMAGELIST list = coverImages_->Handle();
    const int size = Scaled(kCoverSize);
    int width = 0;
    int height = 0;
    if (list != nullptr && ImageList_GetIconSize(list, &width, &height) && width != size) {
        // Resizing empties the list: draw the covers again at the new size, in their order.
        ImageList_SetIconSize(list, size, size);
        const std::vector<ByteBuffer> covers = std::move(coverBytes_);
        coverBytes_.clear();
        for (const ByteBuffer& cover : covers) AddCoverImage(cover);
    }
    if (HWND view = albumList_.GetHandle()) {
        SendMessageW(view, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(list));
        SendMessageW(view, LVM_SETICONSPACING, 0,
                     MAKELPARAM(Scaled(kCoverSpacingX), Scaled(kCoverSpacingY)));
        SendMessageW(view, LVM_ARRANGE, LVA_DEFAULT, 0);
    }
}

bool MainWindow::OnTappedMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
    if (message == WM_DPICHANGED) {
        const RECT* suggested = reinterpret_cast<const RECT*>(l);
        ApplyDpi(HIWORD(w));
        SetWindowPos(window_.GetHandle(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        result = 0;
        return true;
    }
    if (message == TaskbarProgress::ButtonCreatedMessage()) {
        // Once per button; a restarted shell makes the button, and sends this, again.
        taskbar_.Connect(window_.GetHandle());
    }
    return false;
}

void MainWindow::LayoutMain(int width, int height) {
    Place(tabs_, Scaled(10), Scaled(10), width - Scaled(20), height - Scaled(40));
    // The status bar places itself along the bottom when told of the new size.
    if (HWND bar = statusLine_.GetHandle()) SendMessageW(bar, WM_SIZE, 0, 0);
    PlaceQrImage();
}

void MainWindow::PlaceQrImage() {
    const WindowSize tab = tabs_.GetSize();
    const int qr = Scaled(kQrSize);
    Place(qrImage_, tab.width / 2 - qr / 2, tab.height / 2 - qr / 2, qr, qr);
}

void MainWindow::LayoutOperatePage(int w, int h) {
    const auto s = [this](int value) { return Scaled(value); };
    Place(homeLabel_, s(20), s(20), s(70), s(25));
    Place(analyzeButton_, w - s(90), s(20), s(70), s(25));
    Place(folderLabel_, s(20), s(50), s(70), s(25));
    Place(browseButton_, w - s(90), s(50), s(70), s(25));
    Place(homeEdit_, s(100), s(20), w - s(200), s(25));
    Place(folderEdit_, s(100), s(50), w - s(200), s(25));
    Place(albumList_, s(20), s(80), w - s(40), h - s(100));
}

void MainWindow::LayoutAboutPage(int w, int h) {
    const auto s = [this](int value) { return Scaled(value); };
    Place(aboutLabel_, s(20), s(20), w - s(240), h);
    Place(tipImage_, w - s(220), s(20), s(201), s(272));
}

void MainWindow::OpenAlbumMenu() {
    POINT at{};
    GetCursorPos(&at);
    albumMenu_.EnableItem(kCmdDownloadAll,
                          !app_.Runs().UnderWay() && !app_.Owner().Get().albums.empty());
    albumMenu_.Popup(at.x, at.y, window_.GetHandle());
}

void MainWindow::RunOnWindowThread(const std::function<void()>& fn) {
    // Once the window is gone nothing more is shown.
    ::RunOnWindowThread(window_.GetHandle(), fn);
}

void MainWindow::PostToWindowThread(std::function<void()> fn) {
    ::PostToWindowThread(window_.GetHandle(), std::move(fn));
}

void MainWindow::ShowTaskbarProgress(Progress state, int done, int total) {
    static constexpr TaskbarProgress::State kStates[] = {
        TaskbarProgress::State::kNone, TaskbarProgress::State::kNormal,
        TaskbarProgress::State::kPaused, TaskbarProgress::State::kError};
    const auto at = static_cast<size_t>(state);
    if (at < std::size(kStates)) taskbar_.Show(kStates[at], done, total);
}

void MainWindow::SetStatus(const Text& text) {
    statusLine_.SetText(text);
}

void MainWindow::ShowPage(Page page) {
    tabs_.SetCurSel(page == Page::kLogin ? 0 : 1);
}

bool MainWindow::LoginPageShown() {
    return tabs_.GetCurSel() == 0;
}

void MainWindow::ShowLoginPicture(const ByteBuffer& picture) {
    qrImage_.Picture(picture);
}

Text MainWindow::HomeAddress() {
    return homeEdit_.Text();
}

void MainWindow::ClearAlbumItems() {
    albumList_.DeleteAllItems();
}

void MainWindow::ClearCoverImages() {
    coverImages_->Remove(-1);
    coverBytes_.clear();
}

void MainWindow::AddCoverImage(const ByteBuffer& picture) {
    coverBytes_.push_back(picture);
    ImageObject image;
    if (image.LoadFromBytes(picture) && coverImages_->AddImage(image) >= 0) return;
    // A cover that cannot be shown still takes its position, so later albums keep theirs.
    BitmapObject blank = BitmapObject::FromPixels(Scaled(kCoverSize), Scaled(kCoverSize));
    coverImages_->AddImage(blank);
}

void MainWindow::AppendAlbumItem(const Text& text, int imageIndex) {
    albumList_.InsertItem(std::nullopt, text, imageIndex);
}

std::optional<int> MainWindow::SelectedAlbumItem() {
    const int selected = albumList_.GetNextSelected();
    if (selected < 0) return std::nullopt;
    return selected;
}

void MainWindow::EnableButtons(bool enable) {
    analyzeButton_.Disabled(!enable);
    browseButton_.Disabled(!enable);
}

void MainWindow::ShowSaveFolder(const Text& folder) {
    folderEdit_.Text(folder);
}

void MainWindow::MarkSize(int position) {
    sizeMenu_.CheckRadioItem(position, 0, static_cast<int>(kSizeVariants.size()) - 1);
}

void MainWindow::ShowMessageBox(const Text& text, const Text& title, unsigned icon) {
    MessageBoxW(nullptr, WinStr(AnsiToWide(text)), WinStr(AnsiToWide(title)), icon);
}
