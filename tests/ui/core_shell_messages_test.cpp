// The window's look at messages the toolkit has no event for, and the taskbar button's progress
// with and without the shell's interface.
#include "core_test_support.h"

#include <objbase.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/form_window.h"
#include "ui/message_tap.h"
#include "ui/taskbar_progress.h"

using namespace core_test;

namespace {

class ShellMessagesTest : public WindowTest {};

TEST_F(ShellMessagesTest, TapAnswersItsMessagesPassesTheRestAndLetsGoWithTheWindow) {
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    int sized = 0;
    form.OnSize([&](HWND, int, int) { ++sized; });
    std::vector<UINT> seen;
    MessageTap tap;
    ASSERT_TRUE(tap.Attach(form.GetHandle(), [&](UINT message, WPARAM w, LPARAM l, LRESULT& r) {
        seen.push_back(message);
        if (message != WM_DPICHANGED) return false;
        const RECT* suggested = reinterpret_cast<const RECT*>(l);
        r = HIWORD(w) + suggested->right;
        return true;
    }));
    RECT suggested{0, 0, 7, 9};
    EXPECT_EQ(SendMessageW(form.GetHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                           reinterpret_cast<LPARAM>(&suggested)),
              144 + 7);
    SetWindowPos(form.GetHandle(), nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_GT(sized, 0) << "a message the tap passes on still reaches the toolkit";
    EXPECT_NE(std::find(seen.begin(), seen.end(), static_cast<UINT>(WM_SIZE)), seen.end());

    DestroyWindow(form.GetHandle());
    const size_t before = seen.size();
    tap.Detach();  // after the window: nothing left to undo, nothing called
    EXPECT_EQ(seen.size(), before);
}

// Registered in this process as the shell's taskbar class: what the button was told, as text, or
// no object at all, like a system without the interface.
class FakeTaskbar final : public ITaskbarList3, public IClassFactory {
  public:
    bool refuse = false;
    HWND window = nullptr;
    std::string told;
    LONG refs = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
        } else if (iid == IID_IUnknown || iid == IID_ITaskbarList || iid == IID_ITaskbarList2 ||
                   iid == IID_ITaskbarList3) {
            *out = static_cast<ITaskbarList3*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
        *out = nullptr;
        return refuse ? REGDB_E_CLASSNOTREG : QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND h, ULONGLONG done, ULONGLONG total) override {
        told += (h == window ? "" : "elsewhere ") + std::to_string(done) + "/" +
                std::to_string(total) + " ";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND h, TBPFLAG flag) override {
        told += (h == window ? "" : "elsewhere ") + std::string("state ") + std::to_string(flag);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE HrInit() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }
};

TEST_F(ShellMessagesTest, ProgressIsShownOnlyWhereTheInterfaceExistsAndTheWindowLives) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    FormWindow form;
    ASSERT_TRUE(CreateQuick(form));
    Track(form.GetHandle());
    FakeTaskbar shell;
    shell.window = form.GetHandle();
    DWORD registration = 0;
    ASSERT_HRESULT_SUCCEEDED(
        CoRegisterClassObject(CLSID_TaskbarList, static_cast<IClassFactory*>(&shell),
                              CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &registration));
    const struct {
        TaskbarProgress::State state;
        int done, total;
        const char* told;  // the value (done/total) when there is one, then the TBPF_ state
    } calls[] = {{TaskbarProgress::State::kNormal, 0, 0, "state 2"},
                 {TaskbarProgress::State::kNormal, 5, 10, "5/10 state 2"},
                 {TaskbarProgress::State::kPaused, -1, 10, "0/10 state 8"},
                 {TaskbarProgress::State::kError, 20, 10, "10/10 state 4"},
                 {TaskbarProgress::State::kNone, 10, 10, "state 0"}};

    shell.refuse = true;
    TaskbarProgress missing;
    EXPECT_FALSE(missing.Connect(form.GetHandle()));
    EXPECT_FALSE(missing.Connected());
    for (const auto& c : calls) EXPECT_FALSE(missing.Show(c.state, c.done, c.total));

    shell.refuse = false;
    TaskbarProgress progress;
    EXPECT_FALSE(progress.Connect(nullptr));
    ASSERT_TRUE(progress.Connect(form.GetHandle()));
    EXPECT_TRUE(progress.Connected());
    for (const auto& c : calls) {
        shell.told.clear();
        EXPECT_TRUE(progress.Show(c.state, c.done, c.total));
        EXPECT_EQ(shell.told, c.told);
    }

    DestroyWindow(form.GetHandle());
    shell.told.clear();
    for (const auto& c : calls) EXPECT_FALSE(progress.Show(c.state, c.done, c.total));
    EXPECT_EQ(shell.told, "");
    progress.Release();
    EXPECT_FALSE(progress.Connected());
    CoRevokeClassObject(registration);
    EXPECT_EQ(shell.refs, 0) << "every reference taken was given back";
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace
