#pragma once
// What the application's flows need of the window, as one seam: the window's content
// (WindowView) implements it with real controls, the tests with a recording double.
#include <functional>
#include <optional>

#include "text/text_types.h"

class AppView {
  public:
    virtual ~AppView() = default;

    // Runs fn on the window thread and returns when it has run. Every operation below except
    // ShowMessageBox is called only from inside fn, so a flow's check "am I still current?"
    // and the change it guards cannot be separated by another command.
    virtual void RunOnWindowThread(const std::function<void()>& fn) = 0;
    // Queues fn for the window thread and returns at once: for updates a worker must not wait
    // for. fn must check for itself that what it shows is still current when it runs.
    virtual void PostToWindowThread(std::function<void()> fn) = 0;

    virtual void SetStatus(const Text& text) = 0;
    // The tab pages the flows bring forward: the login (QR code) and the operate page.
    enum class Page { kLogin, kOperate };
    virtual void ShowPage(Page page) = 0;
    // Whether the login page is the one on screen.
    virtual bool LoginPageShown() = 0;
    // Encoded picture bytes as received; replaces the picture on show.
    virtual void ShowLoginPicture(const ByteBuffer& picture) = 0;
    virtual Text HomeAddress() = 0;
    virtual void ClearAlbumItems() = 0;
    virtual void ClearCoverImages() = 0;
    // Encoded picture bytes; the image takes the next position, counted from 0.
    virtual void AddCoverImage(const ByteBuffer& picture) = 0;
    virtual void AppendAlbumItem(const Text& text, int imageIndex) = 0;
    // 0-based position of the first selected album item.
    virtual std::optional<int> SelectedAlbumItem() = 0;
    virtual void EnableButtons(bool enable) = 0;
    virtual void ShowSaveFolder(const Text& folder) = 0;
    // Moves the radio mark of the size menu to a position (0 to 3).
    virtual void MarkSize(int position) = 0;

    // The taskbar button's progress beside a download run (window thread).
    enum class Progress { kNone, kNormal, kPaused, kError };
    virtual void ShowTaskbarProgress(Progress state, int done, int total) = 0;

    // Any thread; no owner window; returns when the user has closed the box.
    // icon: MB_ICONERROR and friends.
    virtual void ShowMessageBox(const Text& text, const Text& title, unsigned icon) = 0;
};
