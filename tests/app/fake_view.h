#pragma once
// A window double for the flows: it records every operation and plays the window thread with a
// recursive lock, so "check current, then change" stays atomic as on the real window thread.
#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/app_view.h"

class FakeView : public AppView {
  public:
    struct Box {
        Text text;
        Text title;
        unsigned icon;
    };

    void RunOnWindowThread(const std::function<void()>& fn) override {
        std::lock_guard<std::recursive_mutex> guard(window_);
        fn();
    }
    // Posted calls run at once, still as the window thread: the flows must not rely on a
    // posted call running late or early.
    void PostToWindowThread(std::function<void()> fn) override {
        std::lock_guard<std::recursive_mutex> guard(window_);
        fn();
    }
    void SetStatus(const Text& text) override { statuses.push_back(text); }
    void ShowPage(Page p) override { page = p; }
    bool LoginPageShown() override { return page == Page::kLogin; }
    void ShowLoginPicture(const ByteBuffer& picture) override { loginPictures.push_back(picture); }
    Text HomeAddress() override { return homeAddress; }
    void ClearAlbumItems() override { items.clear(); }
    void ClearCoverImages() override { covers.clear(); }
    void AddCoverImage(const ByteBuffer& picture) override { covers.push_back(picture); }
    void AppendAlbumItem(const Text& text, int imageIndex) override {
        items.push_back({text, imageIndex});
    }
    std::optional<int> SelectedAlbumItem() override { return selected; }
    void EnableButtons(bool enable) override { buttonsEnabled.push_back(enable); }
    void ShowSaveFolder(const Text& folder) override { shownFolder = folder; }
    void MarkSize(int position) override { sizeMark = position; }
    void ShowTaskbarProgress(Progress state, int done, int total) override {
        taskbar.push_back({state, done, total});
    }
    void ShowMessageBox(const Text& text, const Text& title, unsigned icon) override {
        std::lock_guard<std::recursive_mutex> guard(window_);
        boxes.push_back({text, title, icon});
    }

    // Runs fn as the window thread would (commands are issued there).
    template <typename Fn>
    void OnWindow(Fn fn) {
        std::lock_guard<std::recursive_mutex> guard(window_);
        fn();
    }

    // Waits until pred() holds (checked under the window lock) or the flows have had ample
    // time; returns pred()'s last value. The bound only keeps a broken flow from hanging the
    // suite; nothing here measures speed.
    template <typename Pred>
    bool WaitFor(Pred pred, DWORD patienceMs = 60000) {
        const DWORD begin = GetTickCount();
        for (;;) {
            {
                std::lock_guard<std::recursive_mutex> guard(window_);
                if (pred()) return true;
            }
            if (GetTickCount() - begin > patienceMs) return false;
            Sleep(20);
        }
    }

    Text homeAddress;
    Page page = Page::kLogin;
    std::optional<int> selected;
    std::vector<Text> statuses;
    std::vector<ByteBuffer> loginPictures;
    std::vector<ByteBuffer> covers;
    std::vector<std::pair<Text, int>> items;
    std::vector<bool> buttonsEnabled;
    std::vector<Box> boxes;
    Text shownFolder;
    int sizeMark = -1;
    struct TaskbarCall {
        Progress state;
        int done;
        int total;
    };
    std::vector<TaskbarCall> taskbar;

  private:
    std::recursive_mutex window_;
};
