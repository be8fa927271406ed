#include "ui/gif_player.h"

#include <utility>

#include "threads/thread_helpers.h"

namespace {

volatile LONG g_liveThreads = 0;

constexpr DWORD kMsPerUnit = 11;
constexpr DWORD kZeroDelayUnits = 8;
constexpr DWORD kMissingDelayMs = 88;
constexpr DWORD kIdlePollMs = 100;

class SharedLock {
  public:
    explicit SharedLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockShared(&lock_); }
    ~SharedLock() { ::ReleaseSRWLockShared(&lock_); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

  private:
    SRWLOCK& lock_;
};

class ExclusiveLock {
  public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  private:
    SRWLOCK& lock_;
};

// A child window is neither iconic nor hidden when only its top-level window is minimised, so
// look at the root for the one and at the whole parent chain for the other.
bool ShouldIdle(HWND window) {
    const HWND root = ::GetAncestor(window, GA_ROOT);
    if (root != nullptr && ::IsIconic(root)) return true;
    return !::IsWindowVisible(window);
}

}  // namespace

std::shared_ptr<GifPlayer> GifPlayer::Start(HWND window) {
    if (!::IsWindow(window)) return nullptr;
    std::shared_ptr<GifPlayer> player(new GifPlayer());
    player->window_ = window;
    player->playEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    player->stopEvent_.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!player->playEvent_ || !player->stopEvent_) return nullptr;

    // The thread holds its own reference and drops it when it ends.
    auto threadRef = std::make_unique<std::shared_ptr<GifPlayer>>(player);
    ::InterlockedIncrement(&g_liveThreads);
    if (!StartThread(&GifPlayer::ThreadMain, threadRef.get(), nullptr, false, false, std::nullopt,
                     nullptr, false, std::nullopt, L"gif player")) {
        ::InterlockedDecrement(&g_liveThreads);
        return nullptr;
    }
    threadRef.release();  // ThreadMain owns it now
    return player;
}

GifPlayer::~GifPlayer() = default;

DWORD WINAPI GifPlayer::ThreadMain(void* parameter) {
    std::unique_ptr<std::shared_ptr<GifPlayer>> self(
        static_cast<std::shared_ptr<GifPlayer>*>(parameter));
    (*self)->Run();
    self.reset();
    ::InterlockedDecrement(&g_liveThreads);
    return 0;
}

void GifPlayer::Run() {
    const HANDLE stop = stopEvent_.Get();
    const HANDLE waits[2] = {stop, playEvent_.Get()};
    for (;;) {
        if (::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return;
        if (!::IsWindow(window_)) return;
        if (ShouldIdle(window_)) {
            if (::WaitForSingleObject(stop, kIdlePollMs) == WAIT_OBJECT_0) return;
            continue;
        }
        // Blocks while paused; a stop request frees it.
        const DWORD woken = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0) return;
        if (woken != WAIT_OBJECT_0 + 1) {
            if (::WaitForSingleObject(stop, kIdlePollMs) == WAIT_OBJECT_0) return;
            continue;
        }

        unsigned index;
        unsigned generation;
        std::vector<std::uint32_t> delays;
        {
            SharedLock hold(lock_);
            index = index_ < frameCount_ ? index_ : 0;
            generation = generation_;
            delays = delays_;
        }
        const LRESULT failed = ::SendMessageW(window_, kGifFrameMessage, index, 0);
        if (::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return;
        // Even a frame that could not be shown takes its time, or a player left with a picture
        // it cannot show would flood the window thread.
        if (::WaitForSingleObject(stop, FrameDelayMs(delays, index)) == WAIT_OBJECT_0) return;
        ExclusiveLock hold(lock_);
        if (generation == generation_) index_ = failed != 0 ? 0 : index + 1;
    }
}

void GifPlayer::Load(std::vector<std::uint32_t> delays, unsigned frameCount) {
    ::ResetEvent(playEvent_.Get());
    {
        ExclusiveLock hold(lock_);
        delays_ = std::move(delays);
        frameCount_ = frameCount;
        index_ = 0;
        ++generation_;
    }
    ::SetEvent(playEvent_.Get());
}

void GifPlayer::Unload() {
    ::ResetEvent(playEvent_.Get());
    ExclusiveLock hold(lock_);
    delays_.clear();
    frameCount_ = 0;
    index_ = 0;
    ++generation_;
}

void GifPlayer::Play() {
    // A still picture has nothing to play; the player would only repaint the same frame.
    if (FrameCount() > 1) ::SetEvent(playEvent_.Get());
}

void GifPlayer::Pause() {
    ::ResetEvent(playEvent_.Get());
}

bool GifPlayer::IsPlaying() const {
    return ::WaitForSingleObject(playEvent_.Get(), 0) == WAIT_OBJECT_0;
}

void GifPlayer::Stop() {
    ::SetEvent(stopEvent_.Get());
}

unsigned GifPlayer::Index() const {
    SharedLock hold(lock_);
    return index_;
}

unsigned GifPlayer::FrameCount() const {
    SharedLock hold(lock_);
    return frameCount_;
}

DWORD GifPlayer::FrameDelayMs(const std::vector<std::uint32_t>& delays, unsigned index) {
    if (index >= delays.size()) return kMissingDelayMs;
    const DWORD units = delays[index] == 0 ? kZeroDelayUnits : delays[index];
    // GIF delays are 16-bit, but the table comes from a decoder: keep the product in range.
    constexpr DWORD kMaxUnits = 0xFFFFu;
    return (units > kMaxUnits ? kMaxUnits : units) * kMsPerUnit;
}

long GifPlayer::LiveThreads() {
    return ::InterlockedCompareExchange(&g_liveThreads, 0, 0);
}
