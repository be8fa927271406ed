#pragma once
// A window double for the flows: it records every operation and plays the window thread with a
// re-entrant turn, so "check current, then change" stays atomic as on the real window thread.
// By default posted calls run at once; a test that needs the window to lag switches on
// QueueCalls, and a thread of the view's own then runs them in order, as the message loop does.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/app_view.h"

class FakeView : public AppView {
  public:
    struct Box {
        Text text;
        Text title;
        unsigned icon;
    };

    ~FakeView() override {
        EndQueue();
        EXPECT_EQ(offThread_.load(), 0) << "last off the window thread: " << lastOffThread_.load();
    }

    // From another thread than the window's, while calls are queued: queues fn and waits for it.
    void RunOnWindowThread(const std::function<void()>& fn) override {
        bool done = false;
        auto runThenSignal = [&] {
            fn();
            std::lock_guard<std::mutex> lock(queueMutex_);
            done = true;
        };
        if (turn_.Mine() || !Enqueue(runThenSignal, false)) return OnWindow(fn);
        std::unique_lock<std::mutex> lock(queueMutex_);
        queueChanged_.wait(lock, [&] { return done; });
    }
    // Unless calls are queued, posted calls run at once, still as the window thread: the flows
    // must not rely on a posted call running late or early.
    void PostToWindowThread(std::function<void()> fn) override {
        if (!Enqueue(fn, true)) OnWindow(fn);
    }
    void SetStatus(const Text& text) override { Here(__func__).statuses.push_back(text); }
    void ShowPage(Page p) override { Here(__func__).page = p; }
    bool LoginPageShown() override { return Here(__func__).page == Page::kLogin; }
    void ShowLoginPicture(const ByteBuffer& picture) override {
        Here(__func__).loginPictures.push_back(picture);
    }
    Text HomeAddress() override { return Here(__func__).homeAddress; }
    void ClearAlbumItems() override { Here(__func__).items.clear(); }
    void ClearCoverImages() override { Here(__func__).covers.clear(); }
    void AddCoverImage(const ByteBuffer& picture) override {
        Here(__func__).covers.push_back(picture);
    }
    void AppendAlbumItem(const Text& text, int imageIndex) override {
        Here(__func__).items.push_back({text, imageIndex});
    }
    std::optional<int> SelectedAlbumItem() override { return Here(__func__).selected; }
    void EnableButtons(bool enable) override { Here(__func__).buttonsEnabled.push_back(enable); }
    void ShowSaveFolder(const Text& folder) override { Here(__func__).shownFolder = folder; }
    void MarkSize(int position) override { Here(__func__).sizeMark = position; }
    void ShowTaskbarProgress(Progress state, int done, int total) override {
        Here(__func__).taskbar.push_back({state, done, total});
    }
    // While boxes are held the box stays open until ReleaseBoxes; on the window thread it goes
    // on running queued calls meanwhile, as a modal box's own message loop does.
    void ShowMessageBox(const Text& text, const Text& title, unsigned icon) override {
        {
            Turn::Held held(turn_);
            boxes.push_back({text, title, icon});
        }
        std::unique_lock<std::mutex> lock(queueMutex_);
        if (!boxesHeld_) return;
        ++openBoxes_;
        if (turn_.Mine()) {
            const int depth = turn_.Suspend();
            lock.unlock();
            Pump([this] { return !boxesHeld_; });
            turn_.Resume(depth);
            lock.lock();
        } else {
            queueChanged_.wait(lock, [this] { return !boxesHeld_; });
        }
        --openBoxes_;
    }

    // From now on posted calls wait in a queue for the view's window thread.
    void QueueCalls() {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (queued_) return;
        queued_ = true;
        pump_ = std::thread([this] { Pump([this] { return !queued_ && calls_.empty(); }); });
    }
    // Lets go of every hold, runs what is queued and goes back to running calls at once: before
    // the application state goes, as the queued calls refer to it.
    void EndQueue() {
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            queued_ = windowHeld_ = boxesHeld_ = false;
        }
        queueChanged_.notify_all();
        if (pump_.joinable()) pump_.join();
    }
    // The window thread is busy: queued calls wait until ReleaseWindow.
    void HoldWindow() { SetHeld(windowHeld_, true); }
    void ReleaseWindow() { SetHeld(windowHeld_, false); }
    // Boxes shown from now on stay open until ReleaseBoxes.
    void HoldBoxes() { SetHeld(boxesHeld_, true); }
    void ReleaseBoxes() { SetHeld(boxesHeld_, false); }
    int OpenBoxes() {
        std::lock_guard<std::mutex> lock(queueMutex_);
        return openBoxes_;
    }
    // The most posted calls that ever waited in the queue at once.
    int MostPostedWaiting() {
        std::lock_guard<std::mutex> lock(queueMutex_);
        return mostPostedWaiting_;
    }

    // Runs fn as the window thread would (commands are issued there).
    template <typename Fn>
    void OnWindow(Fn fn) {
        Turn::Held held(turn_);
        fn();
    }

    // Waits until pred() holds (checked as the window thread) or the flows have had ample
    // time; returns pred()'s last value. The bound only keeps a broken flow from hanging the
    // suite; nothing here measures speed.
    template <typename Pred>
    bool WaitFor(Pred pred, DWORD patienceMs = 60000) {
        const DWORD begin = GetTickCount();
        for (;;) {
            {
                Turn::Held held(turn_);
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
    // The window's operations, bar the box, belong to the window thread.
    FakeView& Here(const char* operation) {
        if (!turn_.Mine()) {
            lastOffThread_.store(operation);
            ++offThread_;
        }
        return *this;
    }
    std::atomic<int> offThread_{0};
    std::atomic<const char*> lastOffThread_{""};

    // Being the window thread: one thread at a time, re-entrant, and given up for the length of
    // a modal loop.
    class Turn {
      public:
        struct Held {
            explicit Held(Turn& turn) : turn(turn) { turn.Enter(); }
            ~Held() { turn.Leave(); }
            Turn& turn;
        };
        void Enter() { Resume(1); }
        void Leave() {
            std::lock_guard<std::mutex> lock(mutex_);
            if (--depth_ > 0) return;
            owner_ = 0;
            free_.notify_all();
        }
        bool Mine() {
            std::lock_guard<std::mutex> lock(mutex_);
            return owner_ == GetCurrentThreadId();
        }
        int Suspend() {
            std::lock_guard<std::mutex> lock(mutex_);
            const int depth = depth_;
            depth_ = 0;
            owner_ = 0;
            free_.notify_all();
            return depth;
        }
        void Resume(int depth) {
            std::unique_lock<std::mutex> lock(mutex_);
            const DWORD me = GetCurrentThreadId();
            if (owner_ != me) {
                free_.wait(lock, [this] { return owner_ == 0; });
                owner_ = me;
            }
            depth_ += depth;
        }

      private:
        std::mutex mutex_;
        std::condition_variable free_;
        DWORD owner_ = 0;
        int depth_ = 0;
    };
    struct Call {
        std::function<void()> fn;
        bool posted;
    };

    // False when calls are not queued: the caller runs fn itself.
    bool Enqueue(std::function<void()> fn, bool posted) {
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            if (!queued_) return false;
            calls_.push_back({std::move(fn), posted});
            if (posted) mostPostedWaiting_ = std::max(mostPostedWaiting_, ++postedWaiting_);
        }
        queueChanged_.notify_all();
        return true;
    }
    void SetHeld(bool& flag, bool held) {
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            flag = held;
        }
        queueChanged_.notify_all();
    }
    // Runs queued calls in order, as the window thread, until done() holds.
    template <typename Done>
    void Pump(Done done) {
        std::unique_lock<std::mutex> lock(queueMutex_);
        for (;;) {
            queueChanged_.wait(lock, [&] { return done() || (!windowHeld_ && !calls_.empty()); });
            if (done()) return;
            Call call = std::move(calls_.front());
            calls_.pop_front();
            if (call.posted) --postedWaiting_;
            lock.unlock();
            OnWindow(call.fn);
            lock.lock();
            queueChanged_.notify_all();
        }
    }

    Turn turn_;
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<Call> calls_;
    std::thread pump_;
    bool queued_ = false;
    bool windowHeld_ = false;
    bool boxesHeld_ = false;
    int openBoxes_ = 0;
    int postedWaiting_ = 0;
    int mostPostedWaiting_ = 0;
};
