// A window built from the controls the program uses: three tab pages, a list view of 140 x 140
// cover icons made from decoded pictures, labels, buttons, edits and a status bar, all in
// Chinese. The test keeps a screenshot of it (PNG) in the folder named by PICT_ARTIFACTS, or
// beside the test program in the build folder, for a person to look at.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ctl_support.h"
#include "draw/image_list.h"
#include "ui/controls_basic.h"
#include "ui/list_view.h"
#include "ui/picture_box.h"
#include "ui/status_bar.h"
#include "ui/tab_control.h"

namespace {

std::wstring ArtifactPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"PICT_ARTIFACTS", folder, MAX_PATH);
    std::wstring path;
    if (n > 0 && n < MAX_PATH) {
        path = folder;
    } else {
        // Never the current folder: run from a checkout, that would leave pictures in it.
        const DWORD m = ::GetModuleFileNameW(nullptr, folder, MAX_PATH);
        path.assign(folder, m > 0 && m < MAX_PATH ? m : 0);
        path.erase(path.find_last_of(L"\\/") + 1);
    }
    if (path.empty()) path = L".";
    // Under Wine a Unix path arrives as it is; its root is drive Z:.
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    ::CreateDirectoryW(path.c_str(), nullptr);  // an existing folder is fine
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + name;
}

bool WriteFileBytes(const std::wstring& path, const ByteBuffer& bytes) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

// What the screen shows over the window: PNG bytes and the number of distinct colours.
struct Shot {
    ByteBuffer png;
    size_t colours = 0;
};

Shot CaptureWindow(HWND hwnd) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int stride = ((width * 3 + 3) / 4) * 4;
    WindowDc screen(nullptr);
    MemoryDc memory(::CreateCompatibleDC(screen.Get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    BitmapHandle bitmap(::CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    Shot shot;
    if (bitmap) {
        {
            ScopedSelect select(memory.Get(), bitmap.Get());
            ::BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY);
        }
        ::GdiFlush();
        const auto* pixels = static_cast<const BYTE*>(bits);
        std::set<DWORD> colours;
        for (int y = 0; y < height; y += 2) {
            for (int x = 0; x < width; x += 2) {
                const BYTE* p = pixels + y * stride + x * 3;
                colours.insert(p[0] | (p[1] << 8) | (p[2] << 16));
            }
        }
        shot.colours = colours.size();
        BitmapObject view = BitmapObject::FromPixels(width, height, kPixelFormat24bppRGB, stride,
                                                     static_cast<BYTE*>(bits));
        shot.png = view.SaveToBytes(kImageFormatPng);
        view.Dispose();
    }
    return shot;
}

TEST(ControlsScreenshot, WindowWithTabsCoverListButtonsEditsAndStatusBar) {
    ctl::HostWindow host;
    const HWND window = host.Handle();
    ::SetWindowPos(window, HWND_TOP, 20, 20, 720, 560, SWP_SHOWWINDOW);
    host.form.SetText("Pictalon");
    RECT client{};
    ::GetClientRect(window, &client);

    TabControl tabs;
    ASSERT_TRUE(tabs.Create(host.form, {}, 10, 10, client.right - 20, client.bottom - 40));
    FormWindow pages[3];
    // "登录", "操作", "关于".
    const char* captions[] = {"\xB5\xC7\xC2\xBC", "\xB2\xD9\xD7\xF7", "\xB9\xD8\xD3\xDA"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(pages[i].CreatePanel(tabs.GetHandle()));
        ASSERT_EQ(tabs.InsertTab(pages[i], i, captions[i]), i);
    }
    StatusBar status;
    ASSERT_TRUE(status.Create(host.form, {}, {}, {}, {}, {}, {}, SBARS_SIZEGRIP));
    // "  状态:等待操作！"
    status.SetText("  \xD7\xB4\xCC\xAC:\xB5\xC8\xB4\xFD\xB2\xD9\xD7\xF7\xA3\xA1");

    // The operate page, laid out as the program lays it out.
    FormWindow& page = pages[1];
    RECT pageRect{};
    ::GetClientRect(page.GetHandle(), &pageRect);
    const int w = pageRect.right;
    const int h = pageRect.bottom;
    Label homeLabel;
    Label folderLabel;
    Button analyze;
    Button browse;
    Edit homeEdit;
    Edit folderEdit;
    ListView albums;
    // "用户主页：", "保存目录：", "分析", "浏览".
    ASSERT_TRUE(homeLabel.Create(page, Text("\xD3\xC3\xBB\xA7\xD6\xF7\xD2\xB3\xA3\xBA"), 20, 20, 70,
                                 25, {}, SS_RIGHT | SS_CENTERIMAGE));
    ASSERT_TRUE(analyze.Create(page, Text("\xB7\xD6\xCE\xF6"), w - 90, 20, 70, 25, 20001));
    ASSERT_TRUE(folderLabel.Create(page, Text("\xB1\xA3\xB4\xE6\xC4\xBF\xC2\xBC\xA3\xBA"), 20, 50,
                                   70, 25, {}, SS_RIGHT | SS_CENTERIMAGE));
    ASSERT_TRUE(browse.Create(page, Text("\xE4\xAF\xC0\xC0"), w - 90, 50, 70, 25, 20002));
    ASSERT_TRUE(homeEdit.Create(page, Text("http://weibo.com/u/1234567890?from=myfollow_all"), 100,
                                20, w - 200, 25));
    ASSERT_TRUE(folderEdit.Create(page, Text("C:\\\xCD\xBC\xC6\xAC\\"), 100, 50, w - 200, 25));
    ASSERT_TRUE(albums.Create(page, {}, 20, 80, w - 40, h - 100, {},
                              LVS_ICON | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_AUTOARRANGE));
    albums.AddStyle(WS_BORDER);
    albums.SetExtendedStyle(LVS_EX_DOUBLEBUFFER);
    albums.InsertColumn({}, "\xBD\xF8\xB6\xC8", 50);
    albums.InsertColumn({}, "\xD4\xCB\xD0\xD0\xD7\xB4\xCC\xAC", 450);

    SharedImageList covers = MakeSharedImageList();
    ASSERT_TRUE(covers->Create(140, 140, ILC_COLOR32 | ILC_MASK, 0));
    ASSERT_TRUE(albums.SetImageList(covers, ListView::kNormal));
    // Album captions: "默认相册", "头像相册", "旅行", "美食", "猫".
    const Text names[] = {"\xC4\xAC\xC8\xCF\xCF\xE0\xB2\xE1", "\xCD\xB7\xCF\xF1\xCF\xE0\xB2\xE1",
                          "\xC2\xC3\xD0\xD0", "\xC3\xC0\xCA\xB3", "\xC3\xA8"};
    for (int i = 0; i < 5; ++i) {
        ImageObject cover;
        ByteBuffer bytes = ctl::MakePng(200 + 20 * i, 150, i);
        if (i % 2 == 1) {
            // Some covers arrive as JPEG.
            ImageObject png;
            ASSERT_TRUE(png.LoadFromBytes(bytes));
            bytes = png.SaveToBytes(kImageFormatJpeg);
        }
        ASSERT_TRUE(cover.LoadFromBytes(bytes));
        const int index = covers->AddImage(cover);
        ASSERT_EQ(index, i);
        ASSERT_EQ(albums.InsertItem({}, names[i], index), i);
    }

    // The about page holds a picture box; the login page a QR-sized one.
    PictureBox about;
    ASSERT_TRUE(about.Create(pages[2], {}, 20, 20, 201, 272));
    ASSERT_TRUE(about.Picture(ctl::MakePng(200, 271, 3)));

    ASSERT_TRUE(tabs.SetCurSel(1));
    ListView_SetItemState(albums.GetHandle(), 2, LVIS_SELECTED, LVIS_SELECTED);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ctl::PumpFor(400);

    EXPECT_EQ(albums.GetItemCount(), 5);
    EXPECT_EQ(covers->GetCount(), 5);
    EXPECT_TRUE(::IsWindowVisible(albums.GetHandle()));

    const Shot shot = CaptureWindow(window);
    // A real picture of controls has many colours; a blank or failed capture has a few.
    EXPECT_GT(shot.colours, 100u);
    ASSERT_FALSE(shot.png.empty());
    const std::wstring path = ArtifactPath(L"controls_window.png");
    EXPECT_TRUE(WriteFileBytes(path, shot.png)) << "could not write the screenshot";
}

}  // namespace
