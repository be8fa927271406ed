#pragma once
// The state the flows share, split by how long it lives: the login (cookies, viewer), the
// analysed owner and its albums, the user's settings (save folder, size) and the download runs.
// Each part guards itself, so no caller ever holds a lock across another part. The main window
// owns one AppState; tests make their own around a recording view.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/app_view.h"
#include "app/download/downloads.h"
#include "app/flow_slot.h"
#include "app/records.h"
#include "app/saved_settings.h"
#include "app/service/run_log.h"
#include "app/signin/saved_signin.h"
#include "app/service/service_client.h"
#include "threads/mutex.h"

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

// As long as the login: the cookies the service gave us and who signed in, and whether the
// service has stopped taking them (a run then waits for a new sign-in).
class LoginState {
  public:
    Text Cookies() const;
    void SetCookies(const Text& cookies);
    Text ViewerId() const { return viewerId_.Get(); }
    void SetViewerId(const Text& id) { viewerId_.Set(id); }

    // The service took the cookies now held (the viewer check passed): the sign-in is valid.
    void MarkSignedIn();
    // A request made with `used` found the sign-in gone. True for the first such report while
    // those cookies are held: that caller asks for a new sign-in. False when it was reported
    // already or the cookies were replaced since (the request may simply go again).
    bool ReportExpired(const Text& used);
    bool Expired() const;
    // Waits until no expiry is open (MarkSignedIn); false when the token asked to stop first,
    // which wakes the wait at once.
    [[nodiscard]] bool WaitSignedIn(const FlowToken& token) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable_any signedIn_;
    Text cookies_;
    bool expired_ = false;
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
class UserSettings {
  public:
    Text SaveFolder() const { return saveFolder_.Get(); }
    void SetSaveFolder(const Text& folder) { saveFolder_.Set(folder); }
    PictureSize Size() const { return size_.Get(); }
    void SetSize(PictureSize size) { size_.Set(size); }
    // The address segment of the chosen size.
    Text SizeSegment() const { return Text(VariantOf(Size()).segment); }
    // The home page analysed last; empty until one is.
    Text HomePage() const { return homePage_.Get(); }
    void SetHomePage(const Text& address) { homePage_.Set(address); }

  private:
    Guarded<Text> saveFolder_;
    Guarded<Text> homePage_;
    Guarded<PictureSize> size_{kDefaultSize};
};

class AppState {
  public:
    // The log goes to logFolder; empty: the user's local application data.
    explicit AppState(AppView& view, WideText logFolder = WideText());
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // The download pool and the lock; false when either cannot be made.
    [[nodiscard]] bool Start();
    // Retires every flow and stops the pool without waiting for running downloads.
    void Shutdown();
    // After Shutdown: waits until no thread of the flows or the pool can touch this object any
    // more. For tests; the program ends the process instead.
    [[nodiscard]] bool WaitForThreads(unsigned long timeoutMs);

    AppView& View() { return view_; }
    LoginState& Login() { return login_; }
    OwnerState& Owner() { return owner_; }
    UserSettings& Settings() { return settings_; }
    Downloads& Downloading() { return downloads_; }
    const RunBoard& Runs() const { return downloads_.Runs(); }
    ServiceClient& Client() { return client_; }
    RunLog& Log() { return log_; }
    // Where the sign-in is kept between starts; tests point it elsewhere.
    const SavedSignIn& SignInStore() const { return signInStore_; }
    void UseSignInStore(SavedSignIn store) { signInStore_ = std::move(store); }
    // Where the settings are kept between starts; tests point it elsewhere.
    const SavedSettings& SettingsStore() const { return settingsStore_; }
    void UseSettingsStore(SavedSettings store) { settingsStore_ = std::move(store); }

    FlowSlot& AnalysisFlow() { return analysisFlow_; }
    FlowSlot& DownloadFlow() { return downloadFlow_; }
    FlowSlot& LoginFlow() { return loginFlow_; }

    // Runs fn on the window thread only while stillCurrent() holds there; false when the flow
    // was retired (fn then did not run). The check runs on the window thread, where every
    // command that retires a flow runs too, so nothing can slip in between.
    bool OnWindowIf(const std::function<bool()>& stillCurrent, const std::function<void()>& fn);
    bool OnWindowIf(const FlowSlot& slot, const std::shared_ptr<FlowToken>& token,
                    const std::function<void()>& fn) {
        return OnWindowIf([&] { return slot.IsCurrent(token); }, fn);
    }
    // As OnWindowIf, holding the application lock, which keeps the updates of worker threads
    // in the order they were made. Nothing that waits for the user runs under it.
    bool ShowIf(const std::function<bool()>& stillCurrent, const std::function<void()>& fn);
    // Sets the status text under the lock, if the flow is still current.
    bool StatusIf(const std::function<bool()>& stillCurrent, const Text& text) {
        return ShowIf(stillCurrent, [&] { view_.SetStatus(text); });
    }
    bool StatusIf(const FlowSlot& slot, const std::shared_ptr<FlowToken>& token, const Text& text) {
        return StatusIf([&] { return slot.IsCurrent(token); }, text);
    }
    // Shows a box on the window thread and returns at once: a worker must never wait for the
    // user, least of all while it holds what other workers wait for. The box shows only if
    // stillCurrent() holds on the window thread when its turn comes.
    void PostBox(std::function<bool()> stillCurrent, const Text& text, const Text& title,
                 unsigned icon);

  private:
    AppView& view_;
    LoginState login_;
    OwnerState owner_;
    UserSettings settings_;
    RunLog log_;
    SavedSignIn signInStore_;
    SavedSettings settingsStore_;
    ServiceClient client_{&log_};
    Downloads downloads_;
    FlowSlot analysisFlow_;
    FlowSlot downloadFlow_;
    FlowSlot loginFlow_;
    Mutex lock_;  // serialises the window updates of worker threads
};
