#include "ui/picture_box.h"

#include "ui/window_thread.h"

#include <utility>

#include "ui/form_window.h"

namespace {

const ControlTraits kPictureTraits{L"Static", 120, 120, 0, SS_NOTIFY | SS_OWNERDRAW, 0, 0, nullptr};

constexpr char kImageName[] = "pBackImage";
constexpr char kPlayerName[] = "pGifPlayer";
constexpr int kDefaultPlacement = 3;

using PlayerRef = std::shared_ptr<GifPlayer>;

SharedImage* HeldImage(WindowRecord* record) {
    return BagObject<SharedImage>(record, kImageName);
}

PlayerRef* HeldPlayer(WindowRecord* record) {
    return BagObject<PlayerRef>(record, kPlayerName);
}

bool PaintPicture(WindowRecord* record, HWND hwnd, HDC dc) {
    PropertyBag& bag = record->Bag();
    SharedImage* image = HeldImage(record);
    const bool hasImage = image != nullptr && *image && !(*image)->IsEmpty();
    if (!hasImage && !bag.Has("BackColor")) return false;
    RECT client{};
    ::GetClientRect(hwnd, &client);
    const int placement =
        bag.Has("ShowImageType") ? bag.GetInt("ShowImageType") : kDefaultPlacement;
    return PaintBackground(dc, client, static_cast<COLORREF>(bag.GetPtr("BackColor")), placement,
                           hasImage ? (*image)->Handle() : nullptr);
}

LRESULT ShowFrame(WindowRecord* record, HWND hwnd, WPARAM index) {
    SharedImage* image = HeldImage(record);
    if (image == nullptr || !*image || !(*image)->SelectFrame(static_cast<UINT>(index))) {
        return 1;
    }
    ::InvalidateRect(hwnd, nullptr, TRUE);
    return 0;
}

}  // namespace

PictureBox::PictureBox()
    : ControlWindow(&PictureBox::PictureMessage, &ControlWindow::ButtonReflected,
                    &PictureBox::PictureCleanup) {
    SetProperty("ShowImageType", kDefaultPlacement);
}

const ControlTraits& PictureBox::Traits() const {
    return kPictureTraits;
}

void PictureBox::AfterCreate() {
    // An image given before the window existed starts playing now.
    if (HeldImage(record_) != nullptr) StartAnimation();
    Repaint();
}

SharedImage PictureBox::Image() const {
    SharedImage* image = HeldImage(record_);
    return image ? *image : SharedImage();
}

bool PictureBox::Image(SharedImage image) {
    CheckWindowThread(GetHandle(), "Image");
    if (record_ == nullptr) return false;
    // The player belongs to the old picture: a new animation loads it again below.
    if (PlayerRef* player = HeldPlayer(record_)) (*player)->Unload();
    DeleteBagObject<SharedImage>(record_, kImageName);
    SetProperty("PlayGif", 0);
    if (image && !image->IsEmpty()) {
        SetProperty(kImageName, reinterpret_cast<INT_PTR>(new SharedImage(std::move(image))));
        StartAnimation();
    }
    Repaint();
    return true;
}

bool PictureBox::Image(ImageObject&& image) {
    return Image(std::make_shared<ImageObject>(std::move(image)));
}

ByteBuffer PictureBox::Picture() const {
    SharedImage image = Image();
    return image ? image->SaveToBytes() : ByteBuffer();
}

bool PictureBox::Picture(const ByteBuffer& bytes) {
    auto image = std::make_shared<ImageObject>();
    if (!image->LoadFromBytes(bytes)) {
        Image(SharedImage());  // the old picture is not what the caller asked to show
        return false;
    }
    return Image(std::move(image));
}

int PictureBox::ShowImageType() const {
    return HasProperty("ShowImageType") ? static_cast<int>(GetProperty("ShowImageType"))
                                        : kDefaultPlacement;
}

void PictureBox::ShowImageType(int placement) {
    CheckWindowThread(GetHandle(), "ShowImageType");
    SetProperty("ShowImageType", placement);
    Repaint();
}

COLORREF PictureBox::BackColor() const {
    return static_cast<COLORREF>(GetProperty("BackColor"));
}

void PictureBox::BackColor(COLORREF colour) {
    CheckWindowThread(GetHandle(), "BackColor");
    SetProperty("BackColor", static_cast<INT_PTR>(colour));
    Repaint();
}

bool PictureBox::PlayGif() const {
    return GetProperty("PlayGif") != 0;
}

bool PictureBox::PlayGif(bool play) {
    CheckWindowThread(GetHandle(), "PlayGif");
    if (record_ == nullptr) return false;
    SetProperty("PlayGif", play ? 1 : 0);
    if (PlayerRef* player = HeldPlayer(record_)) {
        if (play) {
            (*player)->Play();
        } else {
            (*player)->Pause();
        }
    }
    return true;
}

std::shared_ptr<GifPlayer> PictureBox::Player() const {
    PlayerRef* player = HeldPlayer(record_);
    return player ? *player : PlayerRef();
}

void PictureBox::StartAnimation() {
    SharedImage image = Image();
    const HWND hwnd = GetHandle();
    if (!image || hwnd == nullptr) return;
    const UINT frames = image->GetFrameCount(kFrameDimensionTime);
    if (frames <= 1) return;  // a still image; a player, if any, stays paused
    std::vector<std::uint32_t> delays = image->GetFrameDelays();
    if (delays.empty()) return;  // no delay table: shown as a still image
    image->SelectFrame(0);
    PlayerRef* player = HeldPlayer(record_);
    if (player == nullptr) {
        PlayerRef started = GifPlayer::Start(hwnd);
        if (!started) return;
        player = new PlayerRef(std::move(started));
        SetProperty(kPlayerName, reinterpret_cast<INT_PTR>(player));
    }
    (*player)->Load(std::move(delays), frames);
    SetProperty("PlayGif", 1);
}

void PictureBox::Repaint() const {
    if (HWND hwnd = GetHandle()) ::InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT PictureBox::PictureMessage(WindowRecord* record, HWND hwnd, UINT message, WPARAM wParam,
                                   LPARAM lParam, int* handled) {
    const LRESULT result = ControlMessage(record, hwnd, message, wParam, lParam, handled);
    if (message == WM_NCDESTROY) {
        ReleasePictureResources(record);
        return result;
    }
    if (*handled != 0) return result;
    switch (message) {
        case WM_ERASEBKGND:
            if (PaintPicture(record, hwnd, reinterpret_cast<HDC>(wParam))) {
                *handled = 1;
                return 1;
            }
            return result;
        case kGifFrameMessage:
            *handled = 1;
            return ShowFrame(record, hwnd, wParam);
        default:
            return result;
    }
}

void PictureBox::PictureCleanup(WindowRecord* record) {
    ReleasePictureResources(record);
    WindowRecord::BaseCleanup(record);
}

void PictureBox::ReleasePictureResources(WindowRecord* record) {
    if (record == nullptr) return;
    // Stop first: the thread may be blocked on its event or about to send the next frame.
    if (PlayerRef* player = HeldPlayer(record)) (*player)->Stop();
    DeleteBagObject<PlayerRef>(record, kPlayerName);
    DeleteBagObject<SharedImage>(record, kImageName);
    ReleaseCommonResources(record);
}
