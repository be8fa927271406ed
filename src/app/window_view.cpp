#include "app/window_view.h"

#include <commctrl.h>

#include "app/command_ids.h"
#include "app/res/resource_ids.h"
#include "app/texts.h"
#include "draw/image_object.h"
#include "text/text_helpers.h"
#include "ui/marshal.h"
#include "ui/window_thread.h"

namespace {

// Figures at 96 dpi; the view scales them to the window's.
constexpr int kCoverSize = 140;
constexpr int kQrSize = 182;
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

WindowView::WindowView(FormWindow& window) : window_(window), coverImages_(MakeSharedImageList()) {}

Text WindowView::AboutText() {
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

void WindowView::Build(HINSTANCE instance, const Text& saveFolder, Hooks hooks) {
    hooks_ = std::move(hooks);
    dpi_ = WindowDpi(window_.GetHandle());
    font_ = ControlFontForDpi(dpi_);
    loginPage_.OnCreate([this](HWND) { BuildLoginPage(); });
    operatePage_.OnCreate([this, saveFolder](HWND) { BuildOperatePage(saveFolder); });
    aboutPage_.OnCreate([this, instance](HWND) { BuildAboutPage(instance); });
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

void WindowView::BuildLoginPage() {
    const WindowSize tab = tabs_.GetSize();
    const int qr = Scaled(kQrSize);
    qrImage_.Create(loginPage_, std::nullopt, tab.width / 2 - qr / 2, tab.height / 2 - qr / 2, qr,
                    qr);
}

void WindowView::BuildOperatePage(const Text& saveFolder) {
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
        hooks_.onAlbumMenu();
        return 0;
    });

    const auto onClick = [this](HWND, int id) { hooks_.onCommand(id); };
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
    folderEdit_.Create(operatePage_, saveFolder);
}

void WindowView::BuildAboutPage(HINSTANCE instance) {
    aboutLabel_.Create(aboutPage_, AboutText(), std::nullopt, std::nullopt, std::nullopt,
                       std::nullopt, std::nullopt, SS_LEFT);
    tipImage_.Create(aboutPage_);
    tipImage_.Picture(ResourceBytes(instance, IDR_ABOUT_PNG));
}

void WindowView::ApplyDpi(UINT dpi) {
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
    if (GetClientRect(window_.GetHandle(), &client)) Layout(client.right, client.bottom);
}

void WindowView::ApplyCoverSize() {
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

void WindowView::Layout(int width, int height) {
    Place(tabs_, Scaled(10), Scaled(10), width - Scaled(20), height - Scaled(40));
    // The status bar places itself along the bottom when told of the new size.
    if (HWND bar = statusLine_.GetHandle()) SendMessageW(bar, WM_SIZE, 0, 0);
    PlaceQrImage();
}

void WindowView::PlaceQrImage() {
    const WindowSize tab = tabs_.GetSize();
    const int qr = Scaled(kQrSize);
    Place(qrImage_, tab.width / 2 - qr / 2, tab.height / 2 - qr / 2, qr, qr);
}

void WindowView::LayoutOperatePage(int w, int h) {
    const auto s = [this](int value) { return Scaled(value); };
    Place(homeLabel_, s(20), s(20), s(70), s(25));
    Place(analyzeButton_, w - s(90), s(20), s(70), s(25));
    Place(folderLabel_, s(20), s(50), s(70), s(25));
    Place(browseButton_, w - s(90), s(50), s(70), s(25));
    Place(homeEdit_, s(100), s(20), w - s(200), s(25));
    Place(folderEdit_, s(100), s(50), w - s(200), s(25));
    Place(albumList_, s(20), s(80), w - s(40), h - s(100));
}

void WindowView::LayoutAboutPage(int w, int h) {
    const auto s = [this](int value) { return Scaled(value); };
    Place(aboutLabel_, s(20), s(20), w - s(240), h);
    Place(tipImage_, w - s(220), s(20), s(201), s(272));
}

void WindowView::RunOnWindowThread(const std::function<void()>& fn) {
    // Once the window is gone nothing more is shown.
    ::RunOnWindowThread(window_.GetHandle(), fn);
}

void WindowView::PostToWindowThread(std::function<void()> fn) {
    ::PostToWindowThread(window_.GetHandle(), std::move(fn));
}

void WindowView::ConnectTaskbarButton() {
    taskbar_.Connect(window_.GetHandle());
}

void WindowView::ShowTaskbarProgress(Progress state, int done, int total) {
    CheckWindowThread(window_.GetHandle(), "ShowTaskbarProgress");
    static constexpr TaskbarProgress::State kStates[] = {
        TaskbarProgress::State::kNone, TaskbarProgress::State::kNormal,
        TaskbarProgress::State::kPaused, TaskbarProgress::State::kError};
    const auto at = static_cast<size_t>(state);
    if (at < std::size(kStates)) taskbar_.Show(kStates[at], done, total);
}

void WindowView::SetStatus(const Text& text) {
    CheckWindowThread(window_.GetHandle(), "SetStatus");
    statusLine_.SetText(text);
}

void WindowView::ShowPage(Page page) {
    CheckWindowThread(window_.GetHandle(), "ShowPage");
    tabs_.SetCurSel(page == Page::kLogin ? 0 : 1);
}

bool WindowView::LoginPageShown() {
    CheckWindowThread(window_.GetHandle(), "LoginPageShown");
    return tabs_.GetCurSel() == 0;
}

void WindowView::ShowLoginPicture(const ByteBuffer& picture) {
    CheckWindowThread(window_.GetHandle(), "ShowLoginPicture");
    qrImage_.Picture(picture);
}

Text WindowView::HomeAddress() {
    CheckWindowThread(window_.GetHandle(), "HomeAddress");
    return homeEdit_.Text();
}

void WindowView::ShowHomeAddress(const Text& address) {
    homeEdit_.Text(address);
}

void WindowView::ClearAlbumItems() {
    CheckWindowThread(window_.GetHandle(), "ClearAlbumItems");
    albumList_.DeleteAllItems();
}

void WindowView::ClearCoverImages() {
    CheckWindowThread(window_.GetHandle(), "ClearCoverImages");
    coverImages_->Remove(-1);
    coverBytes_.clear();
}

void WindowView::AddCoverImage(const ByteBuffer& picture) {
    CheckWindowThread(window_.GetHandle(), "AddCoverImage");
    coverBytes_.push_back(picture);
    ImageObject image;
    if (image.LoadFromBytes(picture) && coverImages_->AddImage(image) >= 0) return;
    // A cover that cannot be shown still takes its position, so later albums keep theirs.
    BitmapObject blank = BitmapObject::FromPixels(Scaled(kCoverSize), Scaled(kCoverSize));
    coverImages_->AddImage(blank);
}

void WindowView::AppendAlbumItem(const Text& text, int imageIndex) {
    CheckWindowThread(window_.GetHandle(), "AppendAlbumItem");
    albumList_.InsertItem(std::nullopt, text, imageIndex);
}

std::optional<int> WindowView::SelectedAlbumItem() {
    CheckWindowThread(window_.GetHandle(), "SelectedAlbumItem");
    const int selected = albumList_.GetNextSelected();
    if (selected < 0) return std::nullopt;
    return selected;
}

void WindowView::EnableButtons(bool enable) {
    CheckWindowThread(window_.GetHandle(), "EnableButtons");
    analyzeButton_.Disabled(!enable);
    browseButton_.Disabled(!enable);
}

void WindowView::ShowSaveFolder(const Text& folder) {
    CheckWindowThread(window_.GetHandle(), "ShowSaveFolder");
    folderEdit_.Text(folder);
}

void WindowView::MarkSize(int position) {
    CheckWindowThread(window_.GetHandle(), "MarkSize");
    sizeMenu_.CheckRadioItem(position, 0, static_cast<int>(kSizeVariants.size()) - 1);
}

// Any thread: the box is a window of its own, owned by none of ours.
void WindowView::ShowMessageBox(const Text& text, const Text& title, unsigned icon) {
    MessageBoxW(nullptr, WinStr(AnsiToWide(text)), WinStr(AnsiToWide(title)), icon);
}
