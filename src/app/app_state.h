#pragma once
// The state the flows share, split by how long it lives: the login (cookies, viewer), the
// analysed owner and its albums, the user's settings (save folder, size) and the download runs.
// Each part guards itself, so no caller ever holds a lock across another part. The main window
// owns one AppState; tests make their own around a recording view.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/app_view.h"
#include "app/download_run.h"
#include "app/fetch_gate.h"
#include "app/flow_slot.h"
#include "app/records.h"
#include "threads/mutex.h"
#include "threads/thread_pool.h"

// A value several threads read and write whole: copied in and out under its own lock, so no
// caller ever holds it.
template <typename T>
class Guarded {
  public:
    Guarded() = default;
    explicit Guarded(T value) : value_(std::move(value)) {}
    T Get() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return value_;
    }
    void Set(T value) {
        std::lock_guard<std::mutex> guard(mutex_);
        value_ = std::move(value);
    }
    template <typename Fn>
    void Update(Fn change) {
        std::lock_guard<std::mutex> guard(mutex_);
        change(value_);
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
};

// As long as the login: the cookies the service gave us and who signed in.
class LoginState {
  public:
    Text Cookies() const { return cookies_.Get(); }
    void SetCookies(const Text& cookies) { cookies_.Set(cookies); }
    Text ViewerId() const { return viewerId_.Get(); }
    void SetViewerId(const Text& id) { viewerId_.Set(id); }

  private:
    Guarded<Text> cookies_;
    Guarded<Text> viewerId_;
};

// The owner of the analysed home page and that owner's albums; an analysis replaces it whole.
struct OwnerProfile {
    Text ownerId;
    Text ownerNick;
    std::vector<AlbumRecord> albums;  // album number n is albums[n - 1]
};

class OwnerState {
  public:
    OwnerProfile Get() const { return profile_.Get(); }
    void SetOwner(const Text& ownerId, const Text& ownerNick) {
        profile_.Update([&](OwnerProfile& p) {
            p.ownerId = ownerId;
            p.ownerNick = ownerNick;
        });
    }
    void SetAlbums(std::vector<AlbumRecord> albums) {
        profile_.Update([&](OwnerProfile& p) { p.albums = std::move(albums); });
    }
    void Clear() {
        profile_.Update([](OwnerProfile& p) { p.albums.clear(); });
    }

  private:
    Guarded<OwnerProfile> profile_;
};

// What the user chose: where pictures go and which size they come in.
class Settings {
  public:
    Text SaveFolder() const { return saveFolder_.Get(); }
    void SetSaveFolder(const Text& folder) { saveFolder_.Set(folder); }
    Text SizeSegment() const { return sizeSegment_.Get(); }
    void SetSizeSegment(const Text& segment) { sizeSegment_.Set(segment); }

  private:
    Guarded<Text> saveFolder_;
    Guarded<Text> sizeSegment_{Text("/mw1024/")};  // "高清"
};

class AppState {
  public:
    explicit AppState(AppView& view);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // Pool (1 to kParallelFetches + kWritingWorkers workers) and lock; false when either cannot
    // be made.
    bool Start();
    // Retires every flow and stops the pool without waiting for running downloads.
    void Shutdown();
    // After Shutdown: waits until no thread of the flows or the pool can touch this object any
    // more. For tests; the program ends the process instead.
    bool WaitForThreads(unsigned long timeoutMs);

    AppView& view;

    LoginState login;
    OwnerState owner;
    Settings settings;
    RunBoard runs;

    FlowSlot analysisThread;
    FlowSlot downloadThread;
    FlowSlot loginThread;

    ThreadPool pool;
    FetchGate pictureGate{kParallelFetches};  // the pool's picture requests in flight
    Mutex lock;  // serialises the status updates of worker threads and the jobs' error boxes

    // Jobs between "may I write?" and the end of their file write; shutdown waits for them so
    // the process never ends with a half-written temporary file.
    std::atomic<int> writers{0};

    // Runs fn on the window thread only while stillCurrent() holds there; false when the flow
    // was retired (fn then did not run). The check runs on the window thread, where every
    // command that retires a flow runs too, so nothing can slip in between.
    bool OnWindowIf(const std::function<bool()>& stillCurrent, const std::function<void()>& fn);
    bool OnWindowIf(const FlowSlot& slot, const std::shared_ptr<FlowToken>& token,
                    const std::function<void()>& fn) {
        return OnWindowIf([&] { return slot.IsCurrent(token); }, fn);
    }
    // Sets the status text under the lock, if the flow is still current.
    bool StatusIf(const std::function<bool()>& stillCurrent, const Text& text);
    bool StatusIf(const FlowSlot& slot, const std::shared_ptr<FlowToken>& token, const Text& text) {
        return StatusIf([&] { return slot.IsCurrent(token); }, text);
    }
};

// Waits about 500 ms in 15 ms slices, handling the thread's window messages after each, as the
// login poll does. Returns early when the token asks to stop.
void PumpedWait500(const FlowToken* token);
